// The configuration dialog of the running game and what the engine applies of it: the display
// mode, the three group volumes, the fonts, the message opacity, the cache capacities and the pack
// checksum switch, each taken from the live configuration (TSystemConfig::Config). The engine core
// applies all of them when it starts and whenever the dialog closes or a script asks.
//
// The dialog has six pages: system (screen mode, colour depth, interlace, frame-rate limit, cache
// size), volumes, voices (a volume and mute per speaker of "System\Voice\VoiceData.dat", up to 32
// panels in a scrolling list), message (speed, opacity and auto-mode waits with a typing preview),
// font (face, style, colour and smoothing of font 0 with a sample drawn by the engine's fonts) and
// information (the system information report). Every control writes its setting at once; volumes
// and opacity are heard and seen while the dialog is open. "キャンセル" puts back the user settings as
// they were when the dialog opened; closing either way applies the whole configuration.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "platform/ConfigForms.h"
#include "platform/Dialogs.h"
#include "shell/KelSystemSeams.h"

class TARGB8888;
class TDirectXPack;
class TDllSystemInfo;
class TFontTable;  // media/ARGB8888Font.h
class TMediaContext;
class TPackSet;  // foundation/PackLib.h

namespace KelConfigLib {

// The sound cache takes a sixth of the image cache's capacity, at most 8 MiB.
constexpr int32_t kSoundCacheLimit = 8388608;
int32_t SoundCacheCapacity(int32_t cacheSize);

// The volume a group plays at: the player's volume scaled by the game's factor in 256ths, or 0
// while the group is muted.
int32_t EffectiveVolume(int32_t volume, int32_t factor, int32_t mute);

// a / b to the nearest integer, halves to the even one (b > 0).
int32_t RoundRatio(int64_t a, int64_t b);
// The item a combo box shows for an index worked out from a setting: none (-1) when the setting
// has no item in the list.
int32_t ItemOrNone(int64_t index, size_t count);

// Copies the user settings of one record into another, exactly those that the user's file holds.
void CopyUserSettings(const TSystemData& from, TSystemData& to);

// The message page's typing preview at a time of its cycle: up to 15 ">" typed at the message
// speed, then a blinking "." while the page waits, then a blinking "_" for the auto mode's wait.
// The time advances by the timer's 50 ms and wraps at the end of the cycle.
int32_t NextPreviewTime(int32_t time, int32_t speed, int32_t charWait, int32_t pageWait);
std::string PreviewText(int32_t time, int32_t speed, int32_t charWait);

// The sample of font 0 of the fonts on the font page: the characters in grey steps from black to
// white on a grey ground, in a one-pixel black frame; without fonts the ground and the frame
// alone. Pixels 0xAARRGGBB, kSampleWidth x kSampleHeight.
constexpr int32_t kSampleWidth = 396, kSampleHeight = 51;
std::vector<uint32_t> FontSample(TFontTable* fonts);

}  // namespace KelConfigLib

class TKelConfig final : public IKelConfigDialog, public IFormEvents {
public:
    // The configuration is the game context's. The display starter belongs to the main window; null
    // leaves the display mode alone. Without forms the dialog is never shown. The pages are laid
    // out here, once, from the game's font and speaker data, read through the game's pack set;
    // owner is the window the dialog centres over. Its message forms and its report's title come
    // from dialogs.
    TKelConfig(TSystemConfig& config, TPackSet& packs, TDirectXPack* directXPack, IConfigForms* forms = nullptr,
               const IDialogOwner* owner = nullptr, const TDialogHost& dialogs = {});
    ~TKelConfig() override;

    // The caches whose sizes the configuration sets, and the fonts of the font page's sample and
    // installed faces; none: no cache is sized, and the sample shows no text and no face resolves.
    TMediaContext* Media = nullptr;

    void Init(TKelScript* gameScript, IKelSound* sound) override;

    // Display mode, volumes, fonts, message opacity, cache sizes, checksum switch, in this order.
    void ApplyConfig() override;
    // Changes the display mode when the starter has not set one yet, when FullScreen differs from
    // the mode it last set, or, in full screen, when ColorMode does.
    void ApplyDisplayMode();
    // Music, voices and effects (groups 0, 1, 2 of the sound library). Nothing before the game
    // interpreter exists; the groups change only when one of the three effective volumes differs
    // from what the library holds.
    void ApplyVolumes() override;
    void ApplyFonts() override;
    void ApplyMessageAlpha() override;
    void ApplyCacheSizes() override;
    void ApplyCrcCheck() override;

    // The page shown next: 0..5 when that page is there to be shown; other values (-1 above all)
    // keep the page last shown.
    void SelectPage(int32_t page) override;
    // Shows the dialog at the page to show and returns when it closed; the configuration is then
    // applied. Nothing happens without forms.
    void ShowModal() override;

    // The controls from the configuration, a fresh snapshot, the timer started.
    void LoadControls();
    void DrawFontPreview();
    // The information page's report, anew.
    void BuildSystemInfo();

    void Changed(IFormView& view, int32_t control) override;
    void Clicked(IFormView& view, int32_t control) override;
    void PageChanged(IFormView& view) override;
    void Timer(IFormView& view) override;

    enum TPage : int32_t { pgSystem, pgVolume, pgVoice, pgMessage, pgFont, pgInfo };
    static constexpr int32_t kPageCount = 6;
    static constexpr int32_t kBarMax = 10;  // every track bar runs 0..10
    static constexpr int32_t kPanelPitch = 74;
    static constexpr int32_t kVisiblePanels = 4;
    int32_t PageToShow = 0;
    bool FontPageEnabled = false;
    bool VoicePageEnabled = false;
    bool Loading = false;
    bool Confirmed = false;
    int32_t PreviewTime = 0;
    TSystemData Snapshot;
    // The game's system-information library, for the information page; none: its facts are "N/A".
    const TDllSystemInfo* SystemInfo = nullptr;

    // One speaker of the voice page: its panel exists only when the slot has a name.
    struct TSpeaker {
        uint32_t Color = 0;  // 0x00RRGGBB of the panel's caption
        std::string Name, AltName, Condition;
        std::unique_ptr<TARGB8888> Picture, AltPicture;  // 60 x 40
        int32_t Panel = -1, Volume = -1, Mute = -1, ValueLabel = -1, Image = -1;
    };
    std::array<TSpeaker, kVoiceChannelCount> Speakers;

    TConfigForm Form;
    // The controls the handlers tell apart.
    struct TControls {
        int32_t ScreenMode, ColorMode, Interlace, FpsLimit, CacheSize;
        std::array<int32_t, 3> VolumeBars, VolumeLabels;
        int32_t TotalVoiceGroup;
        int32_t VoiceList, ScrollBar, Template;
        std::array<int32_t, 4> MessageBars, MessageLabels;  // speed, opacity, wait per character, per page
        int32_t Preview;
        int32_t FontName, Bold, Shadow, Outline, StyleColor, ColorButton, FontAA, Sample;
        int32_t Memo, Refresh, Copy;
        std::array<int32_t, 5> Resets;  // system, volume, voice, message, font
        int32_t Ok, Cancel;
    } C{};

    TSystemConfig& Config;
    TPackSet& Packs;
    TDirectXPack* DirectXPack;
    TKelScript* GameScript = nullptr;
    IKelSound* Sound = nullptr;

private:
    void LayOut();
    void BuildVoicePanels();
    void PlacePanels();
    void ShowSpeakers();
    // Moves a track bar as the program would: its change handler runs when the position changed.
    void MoveBar(IFormView& view, int32_t bar, int32_t position);
    void StoreBar(int32_t bar);
    void UpdateLabels();
    void ResetPage(IFormView& view, int32_t page);
    bool IsOpen(const TSpeaker& speaker);

    IConfigForms* Forms;
    TDialogHost Dialogs;
};
