#include "shell/PadMenuLib.h"

#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/uDialogMisc.h"
#include "foundation/uMisc.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "shell/KelConfigLib.h"

using KelConfigLib::RoundRatio;

namespace PadMenuLib {

namespace {

std::string ButtonKey(int32_t button) {
    return "Button" + std::to_string(button);
}

bool ParseNumber(const std::string& text, int32_t& value) {
    int64_t v = 0;
    if (!uMisc::TryStrToInt(text, 32, uMisc::THexPrefix::Dollar, v)) return false;
    value = static_cast<int32_t>(v);
    return true;
}

bool IsAction(int32_t code) {
    return code == 0 || std::find(kMouseActions.begin(), kMouseActions.end(), code) != kMouseActions.end();
}

void Warn(TErrorLog* log, const std::string& fileName, const std::string& what) {
    if (log) log->WriteErrorLog("[WARNING]:"_sj + fileName + " " + what);
}

}  // namespace

TPadSettings ReadPadFile(const TFileRoot& root, const std::string& fileName, TErrorLog* log) {
    TPadSettings settings;
    if (!root.FileExists(fileName)) return settings;
    TStringList lines;
    if (!lines.LoadFromFile(root, fileName)) {
        Warn(log, fileName, "を読めないため、ゲームパッドの設定は初期値になります"_sj);
        return settings;
    }
    std::string damaged;
    // A key that is absent keeps its default quietly; one whose value cannot be used is noted.
    auto read = [&](const std::string& key, int32_t& into, bool (*valid)(int32_t)) {
        if (lines.IndexOfName(key) < 0) return;
        int32_t v = 0;
        if (ParseNumber(lines.Values(key), v) && valid(v)) {
            into = v;
        } else {
            damaged += (damaged.empty() ? "" : ", ") + key;
        }
    };
    for (int32_t b = 1; b <= kButtonCount; ++b)
        read(ButtonKey(b), settings.Buttons[static_cast<size_t>(b - 1)], IsAction);
    read("Speed", settings.Speed, [](int32_t) { return true; });
    read("DeadZone", settings.DeadZone, [](int32_t) { return true; });
    if (!damaged.empty()) Warn(log, fileName, "の値が正しくないため、初期値を使います: "_sj + damaged);
    return settings;
}

bool WritePadFile(const TFileRoot& root, const TPadSettings& settings, const std::string& fileName, TErrorLog* log) {
    TStringList lines;
    if (root.FileExists(fileName)) lines.LoadFromFile(root, fileName);
    for (int32_t b = 1; b <= kButtonCount; ++b)
        lines.SetValue(ButtonKey(b), std::to_string(settings.Buttons[static_cast<size_t>(b - 1)]));
    lines.SetValue("Speed", std::to_string(settings.Speed));
    lines.SetValue("DeadZone", std::to_string(settings.DeadZone));
    const size_t cut = fileName.rfind('\\');
    if (cut != std::string::npos) root.ForceDirectories(fileName.substr(0, cut));
    if (lines.SaveToFile(root, fileName)) return true;
    Warn(log, fileName, "を書き込めませんでした"_sj);
    return false;
}

}  // namespace PadMenuLib

using namespace PadMenuLib;

namespace {

// Full-width digits, as the button names are written: "ボタン１６".
std::string WideNumber(int32_t n) {
    std::string utf8;
    for (char d : std::to_string(n)) {
        utf8 += "\xEF\xBC";
        utf8 += static_cast<char>(0x90 + (d - '0'));
    }
    return Encoding::Utf8ToSjis(utf8);
}

constexpr int32_t kClientWidth = 400, kClientHeight = 448;

}  // namespace

TPadMenu::TPadMenu(IConfigForms& forms, const TFileRoot& root, const IDialogOwner* owner, const TDialogHost& dialogs,
                   std::string fileName, TErrorLog* log)
    : Forms(forms), Root(root), Dialogs(dialogs), FileName(std::move(fileName)), Log(log) {
    using K = TFormControlKind;
    Form.Caption = "ゲームパッド設定"_sj;
    Form.ClientWidth = kClientWidth;
    Form.ClientHeight = kClientHeight;
    Form.Owner = owner;

    std::vector<std::string> items{"なし"_sj};
    for (int32_t b = 1; b <= kButtonCount; ++b)
        items.push_back("ボタン"_sj + WideNumber(b));

    const int32_t mouse = Form.Add(K::GroupBox, "GroupBox1", -1, -1, 8, 8, 384, 236, "マウス"_sj);
    const char* mouseNames[kMouseActionCount] = {"左クリック", "右クリック", "ホイールクリック", "ホイールアップ",
                                                 "ホイールダウン"};
    for (int32_t i = 0; i < kMouseActionCount; ++i) {
        const int32_t top = 24 + 28 * i;
        Form.Add(K::Label, "Label" + std::to_string(i + 1), -1, mouse, 12, top + 3, 112, 18,
                 Encoding::Utf8ToSjis(mouseNames[i]));
        Combo[static_cast<size_t>(i)] =
            Form.Add(K::ComboBox, "ComboBox" + std::to_string(i + 1), -1, mouse, 128, top, 120, 24);
    }
    Form.Add(K::Label, "Label6", -1, mouse, 12, 171, 112, 18, "カーソルスピード"_sj);
    SpeedBar = Form.Add(K::TrackBar, "TrackBar1", -1, mouse, 124, 164, 150, 30);
    SpeedLabel = Form.Add(K::Label, "Label7", -1, mouse, 280, 171, 100, 18);
    Form.Add(K::Label, "Label8", -1, mouse, 12, 205, 112, 18, "デッドゾーン"_sj);
    DeadZoneBar = Form.Add(K::TrackBar, "TrackBar2", -1, mouse, 124, 198, 150, 30);
    DeadZoneLabel = Form.Add(K::Label, "Label9", -1, mouse, 280, 205, 100, 18);
    MouseResetButton = Form.Add(K::Button, "Button3", -1, mouse, 260, 24, 116, 26, "初期設定に戻す"_sj);
    Form[SpeedBar].Min = 1, Form[SpeedBar].Max = 10;
    Form[DeadZoneBar].Min = 0, Form[DeadZoneBar].Max = 10;

    const int32_t shortcuts = Form.Add(K::GroupBox, "GroupBox2", -1, -1, 8, 252, 384, 150, "ショートカット"_sj);
    const char* shortcutNames[6] = {"セーブ", "ロード", "画面切替", "ボスキタ", "履歴表示", "環境設定"};
    for (int32_t i = kMouseActionCount; i < kComboCount; ++i) {
        const int32_t k = i - kMouseActionCount, left = 12 + 186 * (k / 3), top = 24 + 30 * (k % 3);
        Form.Add(K::Label, "Label" + std::to_string(i + 5), -1, shortcuts, left, top + 3, 68, 18,
                 Encoding::Utf8ToSjis(shortcutNames[k]));
        Combo[static_cast<size_t>(i)] =
            Form.Add(K::ComboBox, "ComboBox" + std::to_string(i + 1), -1, shortcuts, left + 70, top, 104, 24);
    }
    ShortcutResetButton = Form.Add(K::Button, "Button4", -1, shortcuts, 260, 116, 116, 26, "初期設定に戻す"_sj);
    OkButton = Form.Add(K::Button, "Button1", -1, -1, 196, 412, 96, 28, "設定完了"_sj);
    CancelButton = Form.Add(K::Button, "Button2", -1, -1, 298, 412, 96, 28, "キャンセル"_sj);
    Form.CloseButton = CancelButton;
    Form.DefaultButton = CancelButton;

    for (int32_t c : Combo) {
        Form.SetItems(c, items);
        Form[c].Value = 0;
    }
    const TPadSettings settings = ReadPadFile(Root, FileName, Log);
    for (int32_t i = 0; i < kMouseActionCount; ++i) {
        const auto at =
            std::find(settings.Buttons.begin(), settings.Buttons.end(), kMouseActions[static_cast<size_t>(i)]);
        Form[Combo[static_cast<size_t>(i)]].Value =
            at == settings.Buttons.end() ? 0 : static_cast<int32_t>(at - settings.Buttons.begin()) + 1;
    }
    auto position = [](const TFormControl& bar, int64_t value, int64_t full) {
        return std::clamp(RoundRatio(bar.Max * value, full), bar.Min, bar.Max);
    };
    Form[SpeedBar].Value = position(Form[SpeedBar], settings.Speed, 1000);
    Form[DeadZoneBar].Value = position(Form[DeadZoneBar], settings.DeadZone, 100);
    UpdateLabels();
}

bool TPadMenu::ShowModal() {
    Form.Closed = false;
    Written = false;
    Forms.ShowModal(Form, *this);
    return Written;
}

void TPadMenu::UpdateLabels() {
    const TFormControl& speed = Form[SpeedBar];
    const TFormControl& dead = Form[DeadZoneBar];
    std::string text = "(";
    text += std::to_string(RoundRatio(int64_t{speed.Value} * 1000, speed.Max));
    Form[SpeedLabel].Caption = text + "pix/sec)";
    Form[DeadZoneLabel].Caption = std::to_string(RoundRatio(int64_t{dead.Value} * 100, dead.Max)) + " ％"_sj;
}

void TPadMenu::Changed(IFormView&, int32_t control) {
    if (control == SpeedBar || control == DeadZoneBar) return UpdateLabels();
    // A pad button does one thing: the other boxes that show it let it go.
    if (std::find(Combo.begin(), Combo.end(), control) == Combo.end()) return;
    const int32_t index = Form[control].Value;
    for (int32_t other : Combo)
        if (other != control && Form[other].Value == index) Form[other].Value = 0;
}

void TPadMenu::Clicked(IFormView& view, int32_t control) {
    auto ask = [&](const char* question) {
        return uDialogMisc::ShowDialog2(Dialogs, "", Encoding::Utf8ToSjis(question), "はい(Y)"_sj, "いいえ(N)"_sj,
                                        view.Owner()) == 1;
    };
    if (control == OkButton) {
        Save();
        Form.Closed = true;
    } else if (control == CancelButton) {
        Form.Closed = true;
    } else if (control == MouseResetButton) {
        if (!ask("マウスのキー設定を初期設定に戻します。宜しいですか？")) return;
        const int32_t buttons[kMouseActionCount] = {1, 2, 3, 0, 0};
        for (int32_t i = 0; i < kMouseActionCount; ++i)
            Form[Combo[static_cast<size_t>(i)]].Value = buttons[i];
        Form[SpeedBar].Value = 4;
        Form[DeadZoneBar].Value = 1;
        UpdateLabels();
    } else if (control == ShortcutResetButton) {
        if (!ask("ショートカットのキー設定を初期設定に戻します。宜しいですか？")) return;
        for (int32_t i = kMouseActionCount; i < kComboCount; ++i)
            Form[Combo[static_cast<size_t>(i)]].Value = 0;
    }
}

void TPadMenu::Save() {
    TPadSettings settings;
    // In action order, so that of two actions on one button the later one is written.
    for (int32_t i = 0; i < kMouseActionCount; ++i) {
        const int32_t n = Form[Combo[static_cast<size_t>(i)]].Value;
        if (n > 0 && n <= kButtonCount)
            settings.Buttons[static_cast<size_t>(n - 1)] = kMouseActions[static_cast<size_t>(i)];
    }
    const TFormControl& speed = Form[SpeedBar];
    const TFormControl& dead = Form[DeadZoneBar];
    settings.Speed = RoundRatio(int64_t{speed.Value} * 1000, speed.Max);
    settings.DeadZone = RoundRatio(int64_t{dead.Value} * 100, dead.Max);
    Written = WritePadFile(Root, settings, FileName, Log);
}
