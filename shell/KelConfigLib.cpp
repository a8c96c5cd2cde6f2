#include "shell/KelConfigLib.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/DisplayStarter.h"
#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "foundation/uMisc.h"
#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "media/MediaContext.h"
#include "media/uSoundLib.h"
#include "platform/Encoding.h"
#include "platform/SystemFonts.h"
#include "script/KelScriptLib.h"
#include "shell/SystemInfoReport.h"

namespace KelConfigLib {

int32_t SoundCacheCapacity(int32_t cacheSize) {
    return std::min(cacheSize / 6, kSoundCacheLimit);
}

int32_t EffectiveVolume(int32_t volume, int32_t factor, int32_t mute) {
    if (mute == 1) return 0;
    // Both come from files: the product is taken in 64 bits and the quotient kept in range.
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t{volume} * factor / 256, INT32_MIN, INT32_MAX));
}

int32_t RoundRatio(int64_t a, int64_t b) {
    const double r = std::nearbyint(static_cast<double>(a) / static_cast<double>(b));
    return static_cast<int32_t>(std::clamp(r, double{INT32_MIN}, double{INT32_MAX}));
}

int32_t ItemOrNone(int64_t index, size_t count) {
    return index >= 0 && index < static_cast<int64_t>(count) ? static_cast<int32_t>(index) : -1;
}

void CopyUserSettings(const TSystemData& from, TSystemData& to) {
    TMemoryStream stream;
    SystemConfigLib::SaveUserConfig(from, &stream);
    stream.SetPosition(0);
    SystemConfigLib::LoadUserConfig(to, &stream);
}

namespace {

constexpr int32_t kPreviewChars = 15;
constexpr int32_t kTimerMs = 50;

// The typing takes 15 characters at the slower of speed and wait per character (at least 1 ms).
int64_t TypingTime(int32_t speed, int32_t charWait) {
    return int64_t{std::max({speed, charWait, 1})} * kPreviewChars;
}

}  // namespace

int32_t NextPreviewTime(int32_t time, int32_t speed, int32_t charWait, int32_t pageWait) {
    // Settings come from files: a cycle that a negative page wait would make empty is 1 ms long,
    // and one longer than the time can count ends where the count does.
    const int64_t cycle = std::clamp<int64_t>(TypingTime(speed, charWait) + pageWait, 1, INT32_MAX);
    return static_cast<int32_t>((int64_t{time} + kTimerMs) % cycle);
}

std::string PreviewText(int32_t time, int32_t speed, int32_t charWait) {
    const int64_t typed = std::min<int64_t>(time / std::max(speed, 1), kPreviewChars);
    const int64_t rest = std::max<int64_t>(time - TypingTime(speed, charWait), 0);
    std::string text(static_cast<size_t>(std::max<int64_t>(typed, 0)), '>');
    if (rest == 0 && typed == kPreviewChars && time % 500 < 250) text += '.';
    if (rest > 1 && rest % 500 < 250) text += '_';
    return text;
}

std::vector<uint32_t> FontSample(TFontTable* fonts) {
    TARGB8888 ground, ink;
    ground.SetSize(kSampleWidth, kSampleHeight);
    ink.SetSize(kSampleWidth, kSampleHeight);
    ground.FillRect(0, 0, kSampleWidth, kSampleHeight, 0xFF888888);
    ink.FillRect(0, 0, kSampleWidth, kSampleHeight, 0x00888888);
    const std::string text = "０１あい亜永翳麒―「」"_sj;
    constexpr int32_t kCell = 32;
    int32_t k = 0;
    for (size_t i = 0; i < text.size(); i += 2, ++k) {
        const uint32_t g = static_cast<uint32_t>(k * 255 / 10);
        int32_t w = 0, h = 0;
        if (fonts)
            ink.TextOut(*fonts, 10 + kCell * k, (kSampleHeight - kCell) / 2, text.substr(i, 2), kCell, kCell,
                        0xFF000000u | g << 16 | g << 8 | g, 0, false, w, h);
    }
    ink.DrawEx(&ground, 0, 0, 0, 0, 0, kSampleWidth, kSampleHeight, 0xFFFFFFFF, 255, bmBlend, 0, kSampleHeight);
    std::vector<uint32_t> pixels(static_cast<size_t>(kSampleWidth) * kSampleHeight);
    for (int32_t y = 0; y < kSampleHeight; ++y)
        for (int32_t x = 0; x < kSampleWidth; ++x) {
            const bool edge = x == 0 || y == 0 || x == kSampleWidth - 1 || y == kSampleHeight - 1;
            pixels[static_cast<size_t>(y) * kSampleWidth + x] = edge ? 0xFF000000u : ground.ScanLine(y)[x];
        }
    return pixels;
}

}  // namespace KelConfigLib

using namespace KelConfigLib;

namespace {

using K = TFormControlKind;

constexpr int32_t kClientWidth = 439, kClientHeight = 464;
constexpr int32_t kPictureWidth = 60, kPictureHeight = 40;
constexpr int32_t kTemplateTop = 0;

const char* const kPageCaptions[TKelConfig::kPageCount] = {"システム",   "音量",     "ボイス",
                                                           "メッセージ", "フォント", "情報"};

std::vector<std::string> Items(std::initializer_list<const char*> utf8) {
    std::vector<std::string> items;
    for (const char* s : utf8)
        items.push_back(Encoding::Utf8ToSjis(s));
    return items;
}

std::string Percent(int32_t value) {
    return std::to_string(RoundRatio(int64_t{value} * 100, 255)) + " ％"_sj;
}

std::string Milliseconds(int32_t value) {
    return std::to_string(value) + " ミリ秒"_sj;
}

// A picture framed by one black pixel, as the speaker images show theirs: (w + 2) x (h + 2).
std::vector<uint32_t> Framed(const TARGB8888* picture, int32_t w, int32_t h) {
    std::vector<uint32_t> pixels(static_cast<size_t>(w + 2) * (h + 2), 0xFF000000u);
    if (!picture || picture->Width() <= 0) return pixels;
    for (int32_t y = 0; y < h && y < picture->Height(); ++y)
        for (int32_t x = 0; x < w && x < picture->Width(); ++x)
            pixels[static_cast<size_t>(y + 1) * (w + 2) + x + 1] = picture->ScanLine(y)[x];
    return pixels;
}

// A white picture, then the file over it when the pack layer has it and its kind is known.
std::unique_ptr<TARGB8888> SpeakerPicture(const TPackSet& packs, const std::string& file, const TDialogHost& notices) {
    auto picture = std::make_unique<TARGB8888>();
    picture->SetSize(kPictureWidth, kPictureHeight);
    picture->FillRect(0, 0, kPictureWidth, kPictureHeight, 0xFFFFFFFF);
    if (file.empty()) return picture;
    const std::string name = "system\\voice\\" + file;
    const std::string ext = ClassLib::LowerAscii(name.substr(std::min(name.size(), name.rfind('.'))));
    if (ext != ".bmp" && ext != ".jpg" && ext != ".png") return picture;
    auto stream = packs.LoadFile(name);
    if (!stream) return picture;
    TARGB8888 loaded;
    try {
        loaded.LoadFromStream(stream.get(), ext, notices);
    } catch (const std::exception&) {
        return picture;  // a damaged picture leaves the white one
    }
    if (loaded.Width() > 0) loaded.Draw(picture.get(), 0, 0, 0, 0, loaded.Width(), loaded.Height());
    return picture;
}

}  // namespace

TKelConfig::TKelConfig(TSystemConfig& config, TPackSet& packs, TDirectXPack* directXPack, IConfigForms* forms,
                       const IDialogOwner* owner, const TDialogHost& dialogs)
    : Config(config), Packs(packs), DirectXPack(directXPack), Forms(forms), Dialogs(dialogs) {
    Form.Owner = owner;
    Loading = true;
    LayOut();
    PageToShow = 0;
    Form.ActivePage = 0;
    if (auto fontData = Packs.LoadFile(SystemConfigLib::kFontDataFile)) {
        TStringList list;
        list.LoadFromStream(*fontData);
        FontPageEnabled = ClassLib::LowerAscii(list.Values("show")) == "enable";
    }
    const bool defaults = !Packs.ResolveFileName(SystemConfigLib::kDefaultConfigFile).empty();
    for (int32_t reset : C.Resets)
        Form[reset].Visible = defaults;
    BuildVoicePanels();
    Loading = false;
}

TKelConfig::~TKelConfig() = default;

void TKelConfig::Init(TKelScript* gameScript, IKelSound* sound) {
    GameScript = gameScript;
    Sound = sound;
}

void TKelConfig::ApplyConfig() {
    ApplyDisplayMode();
    ApplyVolumes();
    ApplyFonts();
    ApplyMessageAlpha();
    ApplyCacheSizes();
    ApplyCrcCheck();
}

void TKelConfig::ApplyDisplayMode() {
    if (!DirectXPack) return;
    const TSystemData& c = Config.Config;
    if (!DirectXPack->Started || c.FullScreen != DirectXPack->RememberedFullScreen ||
        (c.FullScreen == 1 && c.ColorMode != DirectXPack->RememberedColorMode))
        DirectXPack->ChangeDisplayMode();
}

void TKelConfig::ApplyVolumes() {
    TSound* library = Sound ? Sound->Library() : nullptr;
    if (!GameScript || !library) return;
    const TSystemData& c = Config.Config;
    const int32_t volumes[3] = {EffectiveVolume(c.BGMVolume, c.MulBGMVolume, c.BGMMute),
                                EffectiveVolume(c.VOICEVolume, c.MulVOICEVolume, c.VOICEMute),
                                EffectiveVolume(c.SEVolume, c.MulSEVolume, c.SEMute)};
    bool differs = false;
    for (uint32_t g = 0; g < 3; ++g)
        differs = differs || static_cast<int64_t>(library->GetGroupVolume(g)) != volumes[g];
    if (!differs) return;
    for (uint32_t g = 0; g < 3; ++g)
        library->SetGroupVolume(g, volumes[g]);
    library->UpdateGroupVolumes();
}

void TKelConfig::ApplyFonts() {
    Config.ApplyFonts(Config.Config, Packs, GameScript ? &GameScript->Log() : nullptr);
}

void TKelConfig::ApplyMessageAlpha() {
    if (Media) Media->MessageAlpha = std::clamp(Config.Config.MessageAlpha, 0, 255);
}

void TKelConfig::ApplyCacheSizes() {
    // A capacity is a byte count: a negative setting (from a file) is taken as none.
    const int32_t images = std::max(Config.Config.CacheSize, 0);
    const int32_t sounds = SoundCacheCapacity(images);
    if (!Media) return;
    if (Media->Pictures.GetCapacity() != images) Media->Pictures.SetCapacity(images);
    if (Media->Sounds.GetCapacity() != sounds) Media->Sounds.SetCapacity(sounds);
}

void TKelConfig::ApplyCrcCheck() {
    Packs.SetPackVerify(Config.Config.CRCCheck == 1);
}

void TKelConfig::SelectPage(int32_t page) {
    if (page < 0 || page >= kPageCount) return;
    if ((page == pgVoice && !VoicePageEnabled) || (page == pgFont && !FontPageEnabled)) return;
    PageToShow = page;
}

// ---- the form ----

void TKelConfig::LayOut() {
    Form.Caption = "コンフィグ設定"_sj;
    Form.ClientWidth = kClientWidth;
    Form.ClientHeight = kClientHeight;
    Form.PagesLeft = 4, Form.PagesTop = 4, Form.PagesWidth = 431, Form.PagesHeight = 420;
    for (const char* caption : kPageCaptions)
        Form.Pages.push_back({Encoding::Utf8ToSjis(caption), true});
    auto add = [&](K kind, const std::string& name, int32_t page, int32_t parent, int32_t l, int32_t t, int32_t w,
                   int32_t h, const char* caption = "") {
        return Form.Add(kind, name, page, parent, l, t, w, h, Encoding::Utf8ToSjis(caption));
    };
    auto bar = [&](const std::string& name, int32_t page, int32_t parent, int32_t l, int32_t t) {
        const int32_t b = add(K::TrackBar, name, page, parent, l, t, 220, 30);
        Form[b].Max = kBarMax;
        return b;
    };
    auto reset = [&](const std::string& name, int32_t page) {
        return add(K::Button, name, page, -1, 290, 356, 124, 28, "初期設定に戻す");
    };

    // System.
    const char* systemLabels[5] = {"画面モード", "色数（フルスクリーン）", "インターレース", "フレームレート上限",
                                   "キャッシュサイズ"};
    const char* systemNames[5] = {"ComboBox3", "ComboBox18", "ComboBox17", "ComboBox19", "ComboBox2"};
    const std::vector<std::string> systemItems[5] = {
        Items({"ウインドウモード", "フルスクリーン"}), Items({"ハイカラー", "フルカラー"}),
        Items({"使用しない", "使用する"}), Items({"20 FPS", "40 FPS", "60 FPS", "80 FPS"}),
        Items({"なし", "10 M", "20 M", "30 M", "40 M"})};
    int32_t* systemCombos[5] = {&C.ScreenMode, &C.ColorMode, &C.Interlace, &C.FpsLimit, &C.CacheSize};
    for (int32_t i = 0; i < 5; ++i) {
        add(K::Label, "LabelSystem" + std::to_string(i + 1), pgSystem, -1, 16, 24 + 40 * i, 170, 20, systemLabels[i]);
        *systemCombos[i] = add(K::ComboBox, systemNames[i], pgSystem, -1, 190, 20 + 40 * i, 210, 26);
        Form.SetItems(*systemCombos[i], systemItems[i]);
    }
    C.Resets[0] = reset("SysResetButton", pgSystem);

    // Volumes: music, voices (in their own group, hidden when the game has no voice page), effects.
    const char* volumeLabels[3] = {"BGM", "ボイス", "効果音"};
    C.TotalVoiceGroup = add(K::GroupBox, "TotalVoiceGroup", pgVolume, -1, 8, 70, 407, 62);
    for (int32_t i = 0; i < 3; ++i) {
        const int32_t parent = i == 1 ? C.TotalVoiceGroup : -1;
        const int32_t top = i == 1 ? 22 : 24 + 124 * (i / 2);
        const int32_t left = i == 1 ? 8 : 16;
        add(K::Label, "LabelVolume" + std::to_string(i + 1), pgVolume, parent, left, top + 5, 80, 20, volumeLabels[i]);
        C.VolumeBars[static_cast<size_t>(i)] =
            bar("TrackBar" + std::to_string(i + 1), pgVolume, parent, left + 92, top);
        C.VolumeLabels[static_cast<size_t>(i)] =
            add(K::Label, "Label" + std::to_string(44 + i), pgVolume, parent, left + 320, top + 5, 70, 20);
    }
    C.Resets[1] = reset("VolResetButton", pgVolume);

    // Voices: the panels lie in a clipped list of four rows with a scroll bar beside it.
    C.VoiceList = add(K::ClipArea, "VoiceList", pgVoice, -1, 8, 8, 384, kPanelPitch * kVisiblePanels);
    C.ScrollBar = add(K::ScrollBar, "ScrollBar1", pgVoice, -1, 396, 8, 18, kPanelPitch * kVisiblePanels);
    Form[C.ScrollBar].Visible = false;
    C.Template = add(K::GroupBox, "CharaGroupBox", pgVoice, C.VoiceList, 0, kTemplateTop, 380, 70);
    Form[C.Template].Visible = false;
    C.Resets[2] = reset("CharaResetButton", pgVoice);

    // Message.
    const char* messageLabels[4] = {"メッセージ速度", "メッセージ枠の濃さ", "オート：文字ごとの待ち",
                                    "オート：ページごとの待ち"};
    const int32_t messageBars[4] = {4, 5, 6, 7};
    for (int32_t i = 0; i < 4; ++i) {
        add(K::Label, "LabelMessage" + std::to_string(i + 1), pgMessage, -1, 16, 16 + 62 * i, 300, 20,
            messageLabels[i]);
        C.MessageBars[static_cast<size_t>(i)] =
            bar("TrackBar" + std::to_string(messageBars[i]), pgMessage, -1, 16, 38 + 62 * i);
        C.MessageLabels[static_cast<size_t>(i)] =
            add(K::Label, "Label" + std::to_string(47 + i), pgMessage, -1, 250, 44 + 62 * i, 150, 20);
    }
    const int32_t previewGroup = add(K::GroupBox, "PreviewGroup", pgMessage, -1, 8, 270, 270, 56, "プレビュー");
    C.Preview = add(K::Label, "Label22", pgMessage, previewGroup, 12, 24, 246, 22);
    C.Resets[3] = reset("MesResetButton", pgMessage);

    // Font.
    add(K::Label, "LabelFont1", pgFont, -1, 16, 20, 80, 20, "書体");
    C.FontName = add(K::ComboBox, "FontNameBox", pgFont, -1, 100, 16, 300, 26);
    C.Bold = add(K::CheckBox, "FontCheckBold", pgFont, -1, 16, 56, 90, 24, "太字");
    C.Shadow = add(K::CheckBox, "FontCheckShadow", pgFont, -1, 120, 56, 130, 24, "影をつける");
    C.Outline = add(K::CheckBox, "FontCheckOutline", pgFont, -1, 264, 56, 130, 24, "縁をつける");
    add(K::Label, "LabelFont2", pgFont, -1, 16, 96, 80, 20, "影・縁の色");
    C.StyleColor = add(K::Image, "FontImageStyleColor", pgFont, -1, 100, 94, 40, 24);
    C.ColorButton = add(K::Button, "Button1", pgFont, -1, 148, 92, 80, 28, "色変更");
    add(K::Label, "LabelFont3", pgFont, -1, 16, 136, 80, 20, "描画");
    C.FontAA = add(K::ComboBox, "FontAABox", pgFont, -1, 100, 132, 180, 26);
    Form.SetItems(C.FontAA, Items({"速度優先", "標準", "画質優先"}));
    C.Sample = add(K::Image, "FontImageSample", pgFont, -1, 12, 180, kSampleWidth, kSampleHeight);
    C.Resets[4] = reset("FontResetButton", pgFont);

    // Information.
    C.Memo = add(K::Memo, "SystemInfoMemo", pgInfo, -1, 8, 8, 407, 338);
    C.Refresh = add(K::Button, "Button3", pgInfo, -1, 120, 356, 100, 28, "更新");
    C.Copy = add(K::Button, "Button2", pgInfo, -1, 226, 356, 188, 28, "クリップボードにコピー");

    C.Ok = add(K::Button, "Button4", -1, -1, 250, 430, 88, 28, "設定");
    C.Cancel = add(K::Button, "Button5", -1, -1, 344, 430, 88, 28, "キャンセル");
    Form.CloseButton = C.Cancel;
    Form.DefaultButton = C.Ok;
}

void TKelConfig::BuildVoicePanels() {
    auto data = Packs.LoadFile(SystemConfigLib::kVoiceDataFile);
    if (!data) return;
    TStringList list;
    list.LoadFromStream(*data);
    int32_t count = 0;
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        TSpeaker& s = Speakers[static_cast<size_t>(i)];
        const std::string value = list.Values("gui[" + std::to_string(i) + "]");
        auto items = uMisc::SplitString(",", value, true, true, 6);
        int64_t color = 0;
        if (!uMisc::TryStrToInt((*items)[0], 32, uMisc::THexPrefix::Dollar, color)) color = 0;
        s.Color = static_cast<uint32_t>(color) & 0xFFFFFF;
        s.Name = (*items)[1], s.AltName = (*items)[2], s.Condition = (*items)[5];
        if (s.Name.empty()) continue;
        s.Picture = SpeakerPicture(Packs, (*items)[3], Dialogs);
        s.AltPicture = SpeakerPicture(Packs, (*items)[4], Dialogs);
        count = i + 1;
    }
    VoicePageEnabled = ClassLib::LowerAscii(list.Values("show")) == "enable";
    if (!VoicePageEnabled) Form[C.TotalVoiceGroup].Visible = false;

    const TFormControl t = Form[C.Template];
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        TSpeaker& s = Speakers[static_cast<size_t>(i)];
        if (s.Name.empty()) continue;
        const std::string n = std::to_string(i);
        s.Panel = Form.Add(K::GroupBox, "VoicePanel" + n, pgVoice, C.VoiceList, t.Left, t.Top + kPanelPitch * i,
                           t.Width, t.Height, s.Name);
        Form[s.Panel].TextColor = s.Color;
        s.Image = Form.Add(K::Image, "VoiceImage" + n, pgVoice, s.Panel, 8, 22, kPictureWidth + 2, kPictureHeight + 2);
        s.Volume = Form.Add(K::TrackBar, "VoiceVolume" + n, pgVoice, s.Panel, 80, 18, 200, 30);
        Form[s.Volume].Max = kBarMax;
        Form.Add(K::Label, "VoiceParam2_" + n, pgVoice, s.Panel, 84, 48, 30, 16, "0");
        Form.Add(K::Label, "VoiceParam3_" + n, pgVoice, s.Panel, 254, 48, 30, 16, "100");
        s.ValueLabel = Form.Add(K::Label, "VoiceParam1_" + n, pgVoice, s.Panel, 290, 20, 80, 18);
        s.Mute = Form.Add(K::CheckBox, "VoiceMute" + n, pgVoice, s.Panel, 290, 42, 84, 22, "ミュート"_sj);
    }
    // Four rows show at a time; the scroll bar moves the rest into them.
    Form[C.ScrollBar].Visible = count > kVisiblePanels;
    Form[C.ScrollBar].Max = std::max(count - kVisiblePanels, 0);
    // A game without any speaker has nothing to show on the page.
    if (count == 0) VoicePageEnabled = false;
    PlacePanels();
}

void TKelConfig::PlacePanels() {
    const bool was = std::exchange(Loading, true);
    const int32_t scroll = Form[C.ScrollBar].Value;
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        const TSpeaker& s = Speakers[static_cast<size_t>(i)];
        if (s.Panel >= 0) Form[s.Panel].Top = (i - scroll) * kPanelPitch + Form[C.Template].Top;
    }
    Loading = was;
}

bool TKelConfig::IsOpen(const TSpeaker& speaker) {
    if (speaker.Condition.empty()) return true;
    if (!GameScript || !GameScript->Variables) return false;
    IScriptVariables& vars = *GameScript->Variables;
    // A missing variable is no fault here: reports stay off while the condition is looked up.
    vars.SetErrorReport(false);
    const bool flag = GameScript->Log().ErrorFlag;
    const int32_t level = std::max(GameScript->Depth(), 0);
    bool open = false;
    const TVariableScope scope = vars.FindVariable(speaker.Condition, level);
    TCalcValue v;
    if (scope != TVariableScope::None && vars.ReadElement(scope, speaker.Condition, TVariableIndexes{}, level, v, true))
        open = v.Type == TCalcValueType::Integer && v.Value == 1;
    vars.SetErrorReport(true);
    GameScript->Log().ErrorFlag = flag;
    return open;
}

void TKelConfig::ShowSpeakers() {
    const TSystemData& c = Config.Config;
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        TSpeaker& s = Speakers[static_cast<size_t>(i)];
        if (s.Panel < 0) continue;
        const bool open = IsOpen(s);
        Form[s.Panel].Caption = open ? s.Name : s.AltName;
        Form.SetPixels(s.Image, Framed(open ? s.Picture.get() : s.AltPicture.get(), kPictureWidth, kPictureHeight));
        Form[s.Volume].Value =
            std::clamp(RoundRatio(int64_t{kBarMax} * c.ActorVolume[static_cast<size_t>(i)], 255), 0, kBarMax);
        Form[s.Mute].Value = c.ActorMute[static_cast<size_t>(i)] == 1 ? 1 : 0;
        Form[s.ValueLabel].Caption = Percent(c.ActorVolume[static_cast<size_t>(i)]);
    }
}

void TKelConfig::ShowModal() {
    if (!Forms) return;
    Form.Closed = false;
    LoadControls();
    Form.ActivePage = Form.Pages[static_cast<size_t>(PageToShow)].Visible ? PageToShow : int32_t{pgSystem};
    Forms->ShowModal(Form, *this);
    // Closing, by either button or the window's close box.
    if (!Confirmed) CopyUserSettings(Snapshot, Config.Config);
    ApplyConfig();
    PageToShow = Form.ActivePage;
    Form.TimerInterval = 0;
}

void TKelConfig::LoadControls() {
    const TSystemData& c = Config.Config;
    Loading = true;
    Confirmed = false;
    CopyUserSettings(c, Snapshot);
    Form.TimerInterval = kTimerMs;

    const TStringList& faces = c.FontLists[0];
    std::vector<std::string> families;
    IFontProvider* fonts = Media ? Media->Fonts.Cache.Provider() : nullptr;
    for (const std::string& face : faces.Items)
        families.push_back(fonts ? fonts->ResolvedFamily(face) : std::string());
    Form.SetItems(C.FontName, faces.Items, std::move(families));
    DrawFontPreview();
    Form.Pages[pgFont].Visible = FontPageEnabled;

    Form[C.ScreenMode].Value = ItemOrNone(c.FullScreen, 2);
    Form[C.ColorMode].Value = ItemOrNone(c.ColorMode, 2);
    Form[C.Interlace].Value = ItemOrNone(c.Interlace, 2);
    Form[C.FpsLimit].Value = ItemOrNone((int64_t{c.FPSLimit} - 20) / 20, 4);
    Form[C.CacheSize].Value = ItemOrNone(c.CacheSize / 10485760, 5);
    auto position = [](int32_t value, int32_t full) {
        return std::clamp(RoundRatio(int64_t{kBarMax} * value, full), 0, kBarMax);
    };
    Form[C.VolumeBars[0]].Value = position(c.BGMVolume, 255);
    Form[C.VolumeBars[1]].Value = position(c.VOICEVolume, 255);
    Form[C.VolumeBars[2]].Value = position(c.SEVolume, 255);
    Form[C.MessageBars[0]].Value = position(c.MessageSpeed, 100);
    Form[C.MessageBars[1]].Value = position(c.MessageAlpha, 255);
    Form[C.MessageBars[2]].Value = position(c.AutoPlayWaitTime, 200);
    Form[C.MessageBars[3]].Value = position(c.AutoPlayClickTime, 5000);
    UpdateLabels();
    ShowSpeakers();

    Form.Pages[pgVoice].Visible = VoicePageEnabled;
    Loading = false;
}

// The labels beside the bars show the settings as they stand.
void TKelConfig::UpdateLabels() {
    const TSystemData& c = Config.Config;
    Form[C.VolumeLabels[0]].Caption = Percent(c.BGMVolume);
    Form[C.VolumeLabels[1]].Caption = Percent(c.VOICEVolume);
    Form[C.VolumeLabels[2]].Caption = Percent(c.SEVolume);
    Form[C.MessageLabels[0]].Caption = Milliseconds(c.MessageSpeed);
    Form[C.MessageLabels[1]].Caption = Percent(c.MessageAlpha);
    Form[C.MessageLabels[2]].Caption = Milliseconds(c.AutoPlayWaitTime);
    Form[C.MessageLabels[3]].Caption = Milliseconds(c.AutoPlayClickTime);
}

void TKelConfig::DrawFontPreview() {
    const TFontSetting& f = Config.Config.Font[0];
    const TStringList& faces = Config.Config.FontLists[0];
    int32_t chosen = -1;
    for (int32_t i = 0; i < faces.Count(); ++i)
        if (ClassLib::SameTextAscii(faces[i], f.Name)) chosen = i;
    Form[C.FontName].Value = chosen;
    Form[C.Bold].Value = (f.Style & 1) != 0;
    Form[C.Shadow].Value = (f.Style & 2) != 0;
    Form[C.Outline].Value = (f.Style & 4) != 0;
    const TFormControl& swatch = Form[C.StyleColor];
    Form.SetPixels(C.StyleColor, std::vector<uint32_t>(static_cast<size_t>(swatch.Width) * swatch.Height,
                                                       0xFF000000u | (static_cast<uint32_t>(f.StyleColor) & 0xFFFFFF)));
    Form[C.FontAA].Value = ItemOrNone(f.AA, 3);
    Form.SetPixels(C.Sample, FontSample(FontsOf(Media)));
}

void TKelConfig::BuildSystemInfo() {
    Form.SetText(C.Memo, SystemInfoReport::Build(Config.Config, SystemInfo, Dialogs.TitleText(),
                                                 GameScript ? GameScript->VersionText : std::string()));
}

// ---- what the user does ----

void TKelConfig::StoreBar(int32_t bar) {
    TSystemData& c = Config.Config;
    const int32_t p = Form[bar].Value;
    const int64_t m = kBarMax;
    if (bar == C.VolumeBars[0] || bar == C.VolumeBars[1] || bar == C.VolumeBars[2]) {
        int32_t& volume = bar == C.VolumeBars[0] ? c.BGMVolume : bar == C.VolumeBars[1] ? c.VOICEVolume : c.SEVolume;
        volume = static_cast<int32_t>(p * 255 / m);
        UpdateLabels();
        ApplyVolumes();
    } else if (bar == C.MessageBars[1]) {
        c.MessageAlpha = static_cast<int32_t>(p * 255 / m);
        UpdateLabels();
        ApplyMessageAlpha();
    } else if (bar == C.MessageBars[0] || bar == C.MessageBars[2] || bar == C.MessageBars[3]) {
        if (bar == C.MessageBars[0]) c.MessageSpeed = RoundRatio(p * 100, m);
        if (bar == C.MessageBars[2]) c.AutoPlayWaitTime = RoundRatio(p * 200, m);
        if (bar == C.MessageBars[3]) c.AutoPlayClickTime = RoundRatio(p * 5000, m);
        UpdateLabels();
        PreviewTime = 0;
    } else {
        for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
            const TSpeaker& s = Speakers[static_cast<size_t>(i)];
            if (s.Volume != bar) continue;
            c.ActorVolume[static_cast<size_t>(i)] = RoundRatio(p * 255, m);
            Form[s.ValueLabel].Caption = Percent(c.ActorVolume[static_cast<size_t>(i)]);
        }
    }
}

void TKelConfig::Changed(IFormView&, int32_t control) {
    if (Loading) return;
    TSystemData& c = Config.Config;
    TFormControl& ctl = Form[control];
    if (ctl.Kind == K::ComboBox && ctl.Value < 0) ctl.Value = 0;
    const int32_t v = ctl.Value;
    if (control == C.ScreenMode) {
        c.FullScreen = v;
    } else if (control == C.ColorMode) {
        c.ColorMode = v;
    } else if (control == C.Interlace) {
        c.Interlace = v;
    } else if (control == C.FpsLimit) {
        c.FPSLimit = 20 + 20 * v;
    } else if (control == C.CacheSize) {
        c.CacheSize = v * 10485760;
    } else if (control == C.ScrollBar) {
        PlacePanels();
    } else if (ctl.Kind == K::TrackBar) {
        StoreBar(control);
    } else if (control == C.FontName || control == C.Bold || control == C.Shadow || control == C.Outline ||
               control == C.FontAA) {
        TFontSetting& f = c.Font[0];
        if (control == C.FontName) f.Name = ctl.Items[static_cast<size_t>(v)];
        if (control == C.FontAA) f.AA = v;
        if (control != C.FontName && control != C.FontAA)
            f.Style = Form[C.Bold].Value + 2 * Form[C.Shadow].Value + 4 * Form[C.Outline].Value;
        Loading = true;
        Config.ApplyFonts(c, Packs, GameScript ? &GameScript->Log() : nullptr);
        DrawFontPreview();
        Loading = false;
    } else if (ctl.Kind == K::CheckBox) {
        for (int32_t i = 0; i < kVoiceChannelCount; ++i)
            if (Speakers[static_cast<size_t>(i)].Mute == control) c.ActorMute[static_cast<size_t>(i)] = v;
    }
}

void TKelConfig::Clicked(IFormView& view, int32_t control) {
    if (control == C.Ok || control == C.Cancel) {
        Confirmed = control == C.Ok;
        Form.Closed = true;
    } else if (control == C.ColorButton) {
        TSystemData& c = Config.Config;
        uint32_t color = static_cast<uint32_t>(c.Font[0].StyleColor) & 0xFFFFFF;
        if (!view.ChooseColor(color)) return;
        c.Font[0].StyleColor = static_cast<int32_t>(color & 0xFFFFFF);
        Loading = true;
        Config.ApplyFonts(c, Packs, GameScript ? &GameScript->Log() : nullptr);
        DrawFontPreview();
        Loading = false;
    } else if (control == C.Refresh) {
        BuildSystemInfo();
    } else if (control == C.Copy) {
        view.CopyText(Form[C.Memo].Text);
    } else {
        for (int32_t page = 0; page < 5; ++page)
            if (C.Resets[static_cast<size_t>(page)] == control) ResetPage(view, page);
    }
}

void TKelConfig::PageChanged(IFormView& view) {
    Timer(view);
}

void TKelConfig::Timer(IFormView&) {
    const TSystemData& c = Config.Config;
    if (Form.ActivePage == pgMessage) {
        PreviewTime = NextPreviewTime(PreviewTime, c.MessageSpeed, c.AutoPlayWaitTime, c.AutoPlayClickTime);
        Form[C.Preview].Caption = PreviewText(PreviewTime, c.MessageSpeed, c.AutoPlayWaitTime);
    }
    if (Form.ActivePage == pgInfo && Form[C.Memo].Text.empty()) BuildSystemInfo();
}

void TKelConfig::MoveBar(IFormView& view, int32_t bar, int32_t position) {
    position = std::clamp(position, Form[bar].Min, Form[bar].Max);
    if (Form[bar].Value == position) return;
    Form[bar].Value = position;
    Changed(view, bar);
}

void TKelConfig::ResetPage(IFormView& view, int32_t page) {
    const TStringList& m = Config.MessageTable;
    if (uDialogMisc::ShowDialog2(Dialogs, "%%%app", m.Values("CONFIGRESET_Text"), m.Values("CONFIGRESET_Yes"),
                                 m.Values("CONFIGRESET_No"), view.Owner()) != 1)
        return;
    TSystemData& c = Config.Config;
    const TSystemData& d = Config.DefaultConfig;
    const int64_t m10 = kBarMax;
    switch (page) {
        case pgSystem:
            Form[C.ScreenMode].Value = ItemOrNone(d.FullScreen, 2);
            Form[C.ColorMode].Value = ItemOrNone(d.ColorMode, 2);
            Form[C.Interlace].Value = ItemOrNone(d.Interlace, 2);
            Form[C.FpsLimit].Value = ItemOrNone((int64_t{d.FPSLimit} - 20) / 20, 4);
            Form[C.CacheSize].Value = ItemOrNone(d.CacheSize / 10485760, 5);
            c.FullScreen = d.FullScreen, c.ColorMode = d.ColorMode, c.Interlace = d.Interlace;
            c.FPSLimit = d.FPSLimit, c.CacheSize = d.CacheSize;
            break;
        case pgVolume:
            MoveBar(view, C.VolumeBars[0], static_cast<int32_t>(d.BGMVolume * m10 / 255));
            MoveBar(view, C.VolumeBars[1], static_cast<int32_t>(d.VOICEVolume * m10 / 255));
            MoveBar(view, C.VolumeBars[2], static_cast<int32_t>(d.SEVolume * m10 / 255));
            break;
        case pgVoice:
            for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
                const TSpeaker& s = Speakers[static_cast<size_t>(i)];
                if (s.Panel < 0) continue;
                MoveBar(view, s.Volume, static_cast<int32_t>(d.ActorVolume[static_cast<size_t>(i)] * m10 / 255));
                const int32_t mute = d.ActorMute[static_cast<size_t>(i)] == 1 ? 1 : 0;
                if (Form[s.Mute].Value != mute) {
                    Form[s.Mute].Value = mute;
                    Changed(view, s.Mute);
                }
            }
            break;
        case pgMessage:
            MoveBar(view, C.MessageBars[1], RoundRatio(m10 * d.MessageAlpha, 255));
            MoveBar(view, C.MessageBars[0], RoundRatio(m10 * d.MessageSpeed, 100));
            MoveBar(view, C.MessageBars[2], RoundRatio(m10 * d.AutoPlayWaitTime, 200));
            MoveBar(view, C.MessageBars[3], RoundRatio(m10 * d.AutoPlayClickTime, 5000));
            break;
        case pgFont:
            c.Font[0].Name = d.Font[0].Name;
            c.Font[0].AA = d.Font[0].AA;
            c.Font[0].Style = d.Font[0].Style;
            c.Font[0].StyleColor = d.Font[0].StyleColor;
            Loading = true;
            Config.ApplyFonts(c, Packs, GameScript ? &GameScript->Log() : nullptr);
            DrawFontPreview();
            Loading = false;
            break;
        default:
            break;
    }
}
