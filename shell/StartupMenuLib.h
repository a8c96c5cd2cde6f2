// The start-up settings dialog, shown before the display and the sound device start: the choices
// that can only change then (screen mode, colour depth, frame-rate limit, interlace, the sound
// buffer's length, the game pad, movies, pack checksums, surface memory), a preview of the game
// ("System\Startup\Startup.b" played at the frame rate being chosen), the game-pad dialog and the
// system information report. "起動" stores the choices in the live configuration and starts the
// game; "終了" (or the close box) leaves without starting.
//
// A setting whose value has no item in its list shows no item, and "起動" leaves such a setting
// as it is unless the player chose an item for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/ConfigForms.h"
#include "platform/Dialogs.h"

class IClock;
class TAnimationBMP;
class TARGB8888CellDraw;
class TFileRoot;  // platform/FileRoot.h
class TDllSystemInfo;
class TErrorLog;
class TPackSet;     // foundation/PackLib.h
struct TInterlace;  // media/ARGB8888Lib.h
struct TSystemData;
class TSystemConfig;

class TStartupMenu final : public IFormEvents {
public:
    // FormCreate: laid out and filled from the configuration; the game's settings decide which
    // pages and options show. Message forms (through dialogs) and the game-pad dialog are shown
    // over owner; the preview runs on the clock. The game-pad dialog's file is found below the
    // root, the game's folder; the default settings and the preview through the game's pack set.
    TStartupMenu(TSystemConfig& config, IConfigForms& forms, const TFileRoot& root, const TPackSet& packs,
                 const IDialogOwner* owner, const TDialogHost& dialogs, IClock& clock);
    ~TStartupMenu() override;

    // Shows the dialog modally; true when the player chose "起動".
    bool ShowModal();

    void Changed(IFormView& view, int32_t control) override;
    void Clicked(IFormView& view, int32_t control) override;
    void PageChanged(IFormView& view) override;
    void Timer(IFormView& view) override;

    // The preview's timer period: the frame rate chosen, or the configured one while no rate is.
    int32_t PreviewInterval() const;
    // One step of the preview: the animation advanced by the time since the last step (at most
    // 100 ms) and drawn into the preview picture.
    void StepPreview();

    static constexpr int32_t kPreviewSide = 240;
    static constexpr int32_t kCellDrawSide = 320;
    TConfigForm Form;
    struct TControls {
        int32_t ScreenMode, ColorMode, FpsLimit, Interlace, StreamLength, GamePad, Movie, Crc, SurfaceMemory;
        int32_t MovieLabel, CrcLabel, SurfaceMemoryLabel;
        int32_t GraphicReset, SoundReset, OptionReset, PadButton, Copy, Memo, Preview, Start, Quit;
    } C{};
    bool StartFlag = false;
    int64_t LastStep = 0;
    std::unique_ptr<TAnimationBMP> Animation;  // null when the game has no preview
    std::unique_ptr<TARGB8888CellDraw> CellDraw;
    // The game's error log, handed to the game-pad dialog; none: its warnings are not written.
    TErrorLog* Log = nullptr;
    // The game's system-information library, for the information page; none: its facts are "N/A".
    const TDllSystemInfo* SystemInfo = nullptr;
    // The game's interlace field, which the preview flips at each step as the game does at each
    // frame; none: the preview draws every row.
    TInterlace* Interlace = nullptr;

private:
    void LayOut();
    void FillCombos(const TSystemData& from, bool graphic, bool sound, bool option);

    TSystemConfig& Config;
    IConfigForms& Forms;
    const TFileRoot& Root;
    const TPackSet& Packs;
    TDialogHost Dialogs;
    IClock& Clock;
};
