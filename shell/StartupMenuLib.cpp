#include "shell/StartupMenuLib.h"

#include <algorithm>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Lib.h"
#include "media/AnimationBmpLib.h"
#include "platform/Clock.h"
#include "platform/Display.h"
#include "platform/Encoding.h"
#include "shell/KelConfigLib.h"
#include "shell/PadMenuLib.h"
#include "shell/SystemInfoReport.h"

using KelConfigLib::ItemOrNone;

namespace {

using K = TFormControlKind;

constexpr const char* kPreviewFile = "System\\Startup\\Startup.b";
constexpr int32_t kClientWidth = 570, kClientHeight = 242;
constexpr int32_t kFirstInterval = 30;
constexpr int32_t kMaxStep = 100;

enum TPage : int32_t { pgGraphic, pgSound, pgGamePad, pgOption, pgInfo };

std::vector<std::string> Items(std::initializer_list<const char*> utf8) {
    std::vector<std::string> items;
    for (const char* s : utf8)
        items.push_back(Encoding::Utf8ToSjis(s));
    return items;
}

// The item of the setting in the list; none when the setting has no item there.
int32_t FpsItem(int32_t fps) {
    return ItemOrNone((int64_t{fps} - 20) / 20, 4);
}
int32_t StreamItem(int32_t bytes) {
    return ItemOrNone((int64_t{bytes} / 1024 - 64) / 64, 3);
}

}  // namespace

TStartupMenu::TStartupMenu(TSystemConfig& config, IConfigForms& forms, const TFileRoot& root, const TPackSet& packs,
                           const IDialogOwner* owner, const TDialogHost& dialogs, IClock& clock)
    : Config(config), Forms(forms), Root(root), Packs(packs), Dialogs(dialogs), Clock(clock) {
    const TSystemData& c = Config.Config;
    Form.Owner = owner;
    LayOut();
    const bool defaults = !Packs.ResolveFileName(SystemConfigLib::kDefaultConfigFile).empty();
    for (int32_t reset : {C.GraphicReset, C.SoundReset, C.OptionReset})
        Form[reset].Visible = defaults;
    FillCombos(c, true, true, true);
    Form[C.GamePad].Value = ItemOrNone(c.UseGamePad, 2);
    Form.ActivePage = pgGraphic;
    CellDraw = std::make_unique<TARGB8888CellDraw>();
    CellDraw->SetScreenSize(kCellDrawSide, kCellDrawSide);
    Form.Pages[pgSound].Visible = c.ConfigSoundTab;
    Form.Pages[pgGamePad].Visible = c.ConfigGamePadTab;
    Form.Pages[pgOption].Visible = c.ConfigOptionTab;
    Form.Pages[pgInfo].Visible = c.ConfigSpecTab;
    Form[C.Movie].Visible = Form[C.MovieLabel].Visible = c.ConfigMovie;
    Form[C.Crc].Visible = Form[C.CrcLabel].Visible = c.ConfigCRC;
    Form[C.SurfaceMemory].Visible = Form[C.SurfaceMemoryLabel].Visible = c.ConfigSurfaceMemory;
    if (!Packs.ResolveFileName(kPreviewFile).empty()) {
        Animation = std::make_unique<TAnimationBMP>();
        // A preview that does not load shows nothing; the dialog works without it.
        if (!Animation->LoadFromFile(Packs, kPreviewFile)) Animation.reset();
    }
    StartFlag = false;
    LastStep = Clock.NowMs();
}

TStartupMenu::~TStartupMenu() = default;

void TStartupMenu::LayOut() {
    Form.Caption = "起動設定"_sj;
    Form.ClientWidth = kClientWidth;
    Form.ClientHeight = kClientHeight;
    Form.PagesLeft = 246, Form.PagesTop = 2, Form.PagesWidth = 320, Form.PagesHeight = 198;
    for (const char* caption : {"グラフィック", "サウンド", "ゲームパッド", "オプション", "情報"})
        Form.Pages.push_back({Encoding::Utf8ToSjis(caption), true});
    auto add = [&](K kind, const std::string& name, int32_t page, int32_t l, int32_t t, int32_t w, int32_t h,
                   const char* caption = "") {
        return Form.Add(kind, name, page, -1, l, t, w, h, Encoding::Utf8ToSjis(caption));
    };
    // A label and its combo box on row r of a page.
    auto row = [&](int32_t page, int32_t r, const std::string& label, const char* text, const std::string& combo,
                   std::vector<std::string> items, int32_t* labelIndex = nullptr) {
        const int32_t l = add(K::Label, label, page, 8, 12 + 32 * r, 110, 20, text);
        if (labelIndex) *labelIndex = l;
        const int32_t c = add(K::ComboBox, combo, page, 120, 8 + 32 * r, 188, 26);
        Form.SetItems(c, std::move(items));
        return c;
    };
    auto reset = [&](const std::string& name, int32_t page) {
        return add(K::Button, name, page, 184, 136, 124, 28, "初期設定に戻す");
    };
    const std::vector<std::string> offOn = Items({"使用しない", "使用する"});

    C.ScreenMode =
        row(pgGraphic, 0, "Label1", "画面モード", "ComboBox1", Items({"ウインドウモード", "フルスクリーン"}));
    C.ColorMode = row(pgGraphic, 1, "Label2", "色数", "ComboBox4", Items({"ハイカラー", "フルカラー"}));
    C.FpsLimit =
        row(pgGraphic, 2, "Label3", "フレームレート", "ComboBox5", Items({"20 FPS", "40 FPS", "60 FPS", "80 FPS"}));
    C.Interlace = row(pgGraphic, 3, "Label4", "インターレース", "ComboBox2", offOn);
    C.GraphicReset = reset("GraphicResetButton", pgGraphic);

    C.StreamLength = row(pgSound, 0, "Label5", "サウンドバッファ", "ComboBox6", Items({"短い", "普通", "長い"}));
    C.SoundReset = reset("SoundResetButton", pgSound);

    C.GamePad = row(pgGamePad, 0, "Label6", "ゲームパッド", "ComboBox3", offOn);
    C.PadButton = add(K::Button, "Button2", pgGamePad, 184, 44, 124, 28, "ボタン設定");

    C.Movie = row(pgOption, 0, "DirectShowLabel", "ムービー再生", "ComboBox7",
                  Items({"使用しない（ムービースキップ）", "使用する"}), &C.MovieLabel);
    C.Crc = row(pgOption, 1, "CRCLabel", "データチェック", "ComboBox8", offOn, &C.CrcLabel);
    C.SurfaceMemory = row(pgOption, 2, "SurfaceMemoryLabel", "画像メモリ", "ComboBox9",
                          Items({"デフォルト", "システムメモリ"}), &C.SurfaceMemoryLabel);
    C.OptionReset = reset("OptionResetButton", pgOption);

    C.Memo = add(K::Memo, "SystemInfoMemo", pgInfo, 4, 4, 306, 126);
    C.Copy = add(K::Button, "Button4", pgInfo, 128, 136, 180, 28, "クリップボードにコピー");

    C.Preview = add(K::Image, "Image1", -1, 1, 1, kPreviewSide, kPreviewSide);
    C.Start = add(K::Button, "Button1", -1, 380, 206, 90, 30, "起動");
    C.Quit = add(K::Button, "Button3", -1, 476, 206, 90, 30, "終了");
    Form.DefaultButton = C.Start;
    Form.CloseButton = C.Quit;
    // Black in its frame until the first step of the preview.
    std::vector<uint32_t> black(static_cast<size_t>(kPreviewSide) * kPreviewSide, 0xFF000000u);
    Form.SetPixels(C.Preview, std::move(black));
}

void TStartupMenu::FillCombos(const TSystemData& from, bool graphic, bool sound, bool option) {
    if (graphic) {
        Form[C.ScreenMode].Value = ItemOrNone(from.FullScreen, 2);
        Form[C.ColorMode].Value = ItemOrNone(from.ColorMode, 2);
        Form[C.FpsLimit].Value = FpsItem(from.FPSLimit);
        Form[C.Interlace].Value = ItemOrNone(from.Interlace, 2);
    }
    if (sound) Form[C.StreamLength].Value = StreamItem(from.StreamLength);
    if (option) {
        Form[C.Movie].Value = ItemOrNone(from.MovieDecoder, 2);
        Form[C.Crc].Value = ItemOrNone(from.CRCCheck, 2);
        Form[C.SurfaceMemory].Value = ItemOrNone(from.SurfaceMemory, 2);
    }
}

bool TStartupMenu::ShowModal() {
    Form.Closed = false;
    Form.TimerInterval = kFirstInterval;
    Forms.ShowModal(Form, *this);
    Form.TimerInterval = 0;
    return StartFlag;
}

int32_t TStartupMenu::PreviewInterval() const {
    const int32_t item = Form[C.FpsLimit].Value;
    if (item >= 0) return 1000 / (20 + 20 * item);
    return 1000 / std::max(Config.Config.FPSLimit, 10);
}

void TStartupMenu::StepPreview() {
    if (!Animation) return;
    const int64_t now = Clock.NowMs();
    const int32_t step = static_cast<int32_t>(std::clamp<int64_t>(now - LastStep, 0, kMaxStep));
    LastStep = now;
    Animation->Advance(step);
    Animation->Draw(CellDraw.get(), 0, 0, 0, 255, 0xFFFFFF, 0);
    if (Interlace) Interlace->ToggleField();
    CellDraw->Interlace = Interlace;
    CellDraw->Render(0xFF000000u, Config.Config.Interlace == 1, INT32_MAX);
    TMemoryDC picture(kPreviewSide, kPreviewSide);
    CellDraw->PresentToDC(&picture, true);
    for (int32_t i = 0; i < kPreviewSide; ++i) {
        picture.Pixels[static_cast<size_t>(i)] = 0xFF000000u;
        picture.Pixels[static_cast<size_t>(kPreviewSide - 1) * kPreviewSide + i] = 0xFF000000u;
        picture.Pixels[static_cast<size_t>(i) * kPreviewSide] = 0xFF000000u;
        picture.Pixels[static_cast<size_t>(i) * kPreviewSide + kPreviewSide - 1] = 0xFF000000u;
    }
    Form.SetPixels(C.Preview, std::move(picture.Pixels));
}

void TStartupMenu::Timer(IFormView&) {
    StepPreview();
    Form.TimerInterval = PreviewInterval();
    if (Form.ActivePage == pgInfo && Form[C.Memo].Text.empty())
        Form.SetText(C.Memo, SystemInfoReport::Build(Config.Config, SystemInfo, Dialogs.TitleText(), std::nullopt));
}

void TStartupMenu::PageChanged(IFormView& view) {
    Timer(view);
}

void TStartupMenu::Changed(IFormView&, int32_t control) {
    TFormControl& c = Form[control];
    if (c.Kind != K::ComboBox) return;
    if (c.Value < 0) c.Value = 0;
    // Interlacing shows in the preview at once; every other choice waits for "起動".
    if (control == C.Interlace) Config.Config.Interlace = c.Value;
}

void TStartupMenu::Clicked(IFormView& view, int32_t control) {
    TSystemData& c = Config.Config;
    if (control == C.Start) {
        auto store = [&](int32_t combo, int32_t& setting, int32_t value) {
            if (Form[combo].Value >= 0) setting = value;
        };
        auto item = [&](int32_t combo) { return Form[combo].Value; };
        store(C.ScreenMode, c.FullScreen, item(C.ScreenMode));
        store(C.GamePad, c.UseGamePad, item(C.GamePad));
        store(C.ColorMode, c.ColorMode, item(C.ColorMode));
        store(C.FpsLimit, c.FPSLimit, 20 + 20 * item(C.FpsLimit));
        store(C.StreamLength, c.StreamLength, (64 + 64 * item(C.StreamLength)) * 1024);
        store(C.Interlace, c.Interlace, item(C.Interlace));
        store(C.Movie, c.MovieDecoder, item(C.Movie));
        store(C.Crc, c.CRCCheck, item(C.Crc));
        store(C.SurfaceMemory, c.SurfaceMemory, item(C.SurfaceMemory));
        StartFlag = true;
        Form.Closed = true;
    } else if (control == C.Quit) {
        Form.Closed = true;
    } else if (control == C.PadButton) {
        TPadMenu pad(Forms, Root, view.Owner(), Dialogs, PadMenuLib::kPadFile, Log);
        pad.ShowModal();
    } else if (control == C.Copy) {
        view.CopyText(Form[C.Memo].Text);
    } else if (control == C.GraphicReset || control == C.SoundReset || control == C.OptionReset) {
        const TStringList& m = Config.MessageTable;
        if (uDialogMisc::ShowDialog2(Dialogs, "%%%app", m.Values("CONFIGRESET_Text"), m.Values("CONFIGRESET_Yes"),
                                     m.Values("CONFIGRESET_No"), view.Owner()) != 1)
            return;
        FillCombos(Config.DefaultConfig, control == C.GraphicReset, control == C.SoundReset, control == C.OptionReset);
    }
}
