// The installed faces of the host, reached by face name as a Windows program names them: listing
// the faces that cover Japanese, and rendering one character of a face into an 8-bit work bitmap
// the way a non-antialiased GDI font draws it (white on black, every inked pixel 255).
//
// Sizes follow the Windows convention: a positive height is the height of the character cell
// (ascent plus descent), not of the em, and the width is the average width of a character,
// which for the Japanese faces is half the em of a full-width character.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A face as the listing reports it.
struct TInstalledFace {
    std::string Name;         // Shift-JIS; resolves back to the same face
    bool FixedPitch = false;  // every character one or two cells wide
};

// One character to render. The sizes are those of the work bitmap's scale (already multiplied by
// any supersampling factor).
struct TGlyphRequest {
    std::string Face;      // Shift-JIS face name; a leading "@" (vertical variant) is ignored
    uint16_t Code = 0;     // one byte below 0x100, else lead byte x 256 + trail byte (Shift-JIS)
    int32_t Height = 0;    // cell height in pixels, 1 or more
    int32_t Width = 0;     // average character width in pixels; 0 keeps the face's own proportions
    int32_t Weight = 400;  // 0..1000; above 400 the strokes are thickened
};

// The 8-bit bitmap a character is drawn into, rows top to bottom with no padding. The caller
// clears it; rendering only sets pixels to 255.
struct TGlyphCanvas {
    uint8_t* Pixels = nullptr;
    int32_t Width = 0;
    int32_t Height = 0;
};

class IFontProvider {
public:
    virtual ~IFontProvider() = default;

    // The faces that cover Japanese, each family once, sorted by name.
    virtual std::vector<TInstalledFace> JapaneseFaces() = 0;

    // Draws the character with its cell's top-left corner at (0, 0) of the canvas and reports the
    // text extent as the window system measures it: the advance width and the cell height. False,
    // with nothing drawn and the extent (0, 0), when no face at all can be had.
    virtual bool RenderGlyph(const TGlyphRequest& request, TGlyphCanvas& canvas, int32_t& extentX,
                             int32_t& extentY) = 0;

    // The family a face name resolves to (UTF-8), for reports and tests; empty when none.
    virtual std::string ResolvedFamily(const std::string& face) = 0;
};

// The installed faces through fontconfig, rendered with FreeType: monochrome, hinted. The
// Japanese names that games use for the standard Windows faces are taken to the installed IPA
// faces; a name that leads to no installed face falls back to the gothic face, and a character
// the chosen face lacks is taken from the gothic face.
class TFreeTypeFonts final : public IFontProvider {
public:
    TFreeTypeFonts();
    ~TFreeTypeFonts() override;
    TFreeTypeFonts(const TFreeTypeFonts&) = delete;
    TFreeTypeFonts& operator=(const TFreeTypeFonts&) = delete;

    std::vector<TInstalledFace> JapaneseFaces() override;
    bool RenderGlyph(const TGlyphRequest& request, TGlyphCanvas& canvas, int32_t& extentX, int32_t& extentY) override;
    std::string ResolvedFamily(const std::string& face) override;

    // Why the library or the last face could not be opened; empty when all went well.
    const std::string& Error() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> Impl;
};

namespace SystemFonts {

// The Unicode character of a Shift-JIS code (as in TGlyphRequest::Code); 0 for a code that
// stands for no character. The table behind it is built once, on first use.
uint32_t UnicodeOf(uint16_t code);

}  // namespace SystemFonts
