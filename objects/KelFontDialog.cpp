#include "objects/KelFontDialog.h"

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace {

TFontSetting& SlotSetting(TSystemConfig& config, int32_t slot) {
    return config.Config.Font[static_cast<size_t>(slot)];
}

const TStringList& SlotFaces(const TSystemConfig& config, int32_t slot) {
    return config.Config.FontLists[static_cast<size_t>(slot)];
}

constexpr uint32_t kPreviewBack = 0xFF888888;
constexpr uint32_t kPreviewText = 0x00888888;  // the text layer, clear where no glyph falls
constexpr uint32_t kFrame = 0xFF000000;
constexpr int32_t kFirstCell = 10;

}  // namespace

TKelFontDialog::TKelFontDialog(TSystemConfig& config, const TPackSet& packs, TErrorLog* log, TFontTable* fonts)
    : PreviewText("０１あい亜永翳麒―「」"_sj), Log(log), Fonts(fonts), Config(config), Packs(packs) {
    Updating = true;
    ApplyFonts();
    Refresh();
    Updating = false;
}

void TKelFontDialog::ApplyFonts() {
    Config.ApplyFonts(Config.Config, Packs, Log);
}

void TKelFontDialog::Setup(int32_t slot, const std::string& previewText, int32_t charWidth, int32_t charHeight) {
    if (slot >= 0 && slot < kFontSlotCount) Slot = slot;
    if (!previewText.empty()) PreviewText = previewText;
    if (charWidth > 0) CharWidth = charWidth;
    if (charHeight > 0) CharHeight = charHeight;
    // The face list now holds another slot's candidates: nothing in it is selected yet.
    Controls.FaceIndex = -1;
    const TFontSetting& s = SlotSetting(Config, Slot);
    SavedName = s.Name;
    SavedStyle = s.Style;
    SavedStyleColor = s.StyleColor;
    SavedAA = s.AA;
    Updating = true;
    Refresh();
    Updating = false;
}

std::vector<std::string> TKelFontDialog::FaceNames() {
    return SlotFaces(Config, Slot).Items;
}

void TKelFontDialog::Refresh() {
    const TFontSetting& s = SlotSetting(Config, Slot);
    const TStringList& faces = SlotFaces(Config, Slot);
    // The last name equal to the slot's wins; without one the selection stays.
    for (int32_t i = 0; i < faces.Count(); ++i)
        if (ClassLib::SameTextAscii(faces[i], s.Name)) Controls.FaceIndex = i;
    Controls.Style = s.Style & (FontStyle::Bold | FontStyle::Shadow | FontStyle::Outline | FontStyle::ThickOutline);
    Controls.SwatchColor = ScriptForms::SwapRedBlue(static_cast<uint32_t>(s.StyleColor));
    Controls.Quality = s.AA;
}

void TKelFontDialog::ControlsChanged(const TFontFormState& controls) {
    if (Updating) return;
    Updating = true;
    Controls = controls;
    const TStringList& faces = SlotFaces(Config, Slot);
    TFontSetting& s = SlotSetting(Config, Slot);
    s.Name = controls.FaceIndex >= 0 && controls.FaceIndex < faces.Count() ? faces[controls.FaceIndex] : std::string();
    s.AA = controls.Quality;
    int32_t style = controls.Style;
    // A thick outline needs an outline: without one its box goes off again.
    if ((style & FontStyle::Outline) == 0) style &= ~FontStyle::ThickOutline;
    s.Style = style & (FontStyle::Bold | FontStyle::Shadow | FontStyle::Outline | FontStyle::ThickOutline);
    ApplyFonts();
    Refresh();
    Updating = false;
}

uint32_t TKelFontDialog::StyleColorForDialog() {
    return ScriptForms::SwapRedBlue(static_cast<uint32_t>(SlotSetting(Config, Slot).StyleColor));
}

void TKelFontDialog::StyleColorChosen(uint32_t toolkitColor) {
    if (Updating) return;
    SlotSetting(Config, Slot).StyleColor = static_cast<int32_t>(ScriptForms::SwapRedBlue(toolkitColor) & 0x00FFFFFFu);
    Updating = true;
    ApplyFonts();
    Refresh();
    Updating = false;
}

void TKelFontDialog::Cancel() {
    TFontSetting& s = SlotSetting(Config, Slot);
    s.Name = SavedName;
    s.Style = SavedStyle;
    s.StyleColor = SavedStyleColor;
    s.AA = SavedAA;
    ApplyFonts();
    Refresh();
}

std::vector<uint32_t> TKelFontDialog::Preview() {
    const int32_t w = kPreviewWidth, h = kPreviewHeight;
    // The preview's pictures are linked to no interlace field: every row is drawn.
    TARGB8888 back, text;
    back.SetSize(w, h);
    text.SetSize(w, h);
    back.FillRect(0, 0, w, h, kPreviewBack);
    text.FillRect(0, 0, w, h, kPreviewText);
    const int32_t y = (h - CharHeight) / 2;
    const int32_t cells = static_cast<int32_t>(PreviewText.size() / 2);
    for (int32_t i = 0; i < cells; ++i) {
        // A single cell has no steps to shade across: it is drawn black.
        const int32_t gray = cells > 1 ? i * 255 / (cells - 1) : 0;
        const uint32_t color = ARGB8888Lib::MakeARGB(255, static_cast<uint32_t>(gray), static_cast<uint32_t>(gray),
                                                     static_cast<uint32_t>(gray));
        const int64_t x = kFirstCell + int64_t{i} * CharWidth;
        if (x > w) break;  // the rest lies beyond the picture
        int32_t extentW = 0, extentH = 0;
        if (Fonts)
            text.TextOut(*Fonts, static_cast<int32_t>(x), y, PreviewText.substr(static_cast<size_t>(i) * 2, 2),
                         CharWidth, CharHeight, color, Slot, false, extentW, extentH);
    }
    text.DrawEx(&back, 0, 0, 0, 0, 0, static_cast<float>(w), static_cast<float>(h), 0xFFFFFF, 255, bmBlend, 0, 1024);

    std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int32_t row = 0; row < h; ++row) {
        const uint32_t* line = back.ScanLine(row);
        for (int32_t col = 0; col < w; ++col) {
            const bool edge = row == 0 || row == h - 1 || col == 0 || col == w - 1;
            pixels[static_cast<size_t>(row) * static_cast<size_t>(w) + static_cast<size_t>(col)] =
                edge ? kFrame : line[col];
        }
    }
    return pixels;
}
