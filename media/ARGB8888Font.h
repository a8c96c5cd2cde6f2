// The engine's 8 numbered fonts and the glyphs they draw into 32-bit images.
//
// A font is either a bitmap font, whose glyphs are palette-indexed cells on pages loaded from
// ".of" files (drawn cell for cell at their own size, bilinearly scaled at any other), or a
// system font, an installed face rendered on demand at 1, 2 or 4 times the size, reduced to a
// coverage mask and drawn in up to 16 layers (shadow, outline, the glyph itself). A game's 8 fonts
// are held by its font table, which keeps the rendered system glyphs of all of them in one cache
// of 256 glyphs.
//
// ".of" glyph set, all values little-endian (one file per writing direction: "<face>.of" holds
// the horizontal set, "@<face>.of" the vertical one):
//   0x0000  64 bytes           not used
//   0x0040  16384 x u16        glyph map by glyph index: 0 = no glyph, else page << 8 | cell,
//                              the cell being row << 4 | column of a 16-column grid
//   0x8040  16384 x u8         horizontal advance, 128ths of the cell width
//   0xC040  16384 x u8         vertical advance, 128ths of the cell height
//   0x10040 256 x u32          palette, 0xAARRGGBB of each page pixel value
//   0x10440 u16, u16           cell width, cell height
//   0x10444 u8                 page count (0: the set is empty)
//   0x10445 u16, u16           page width, page height
//   0x10449 u8                 use-text-colour flag
//   0x1044A                    the pages, one byte per pixel (0 = empty), rows top to bottom
// A glyph index is the code itself below 0x100, code - 0x8000 for 0x8100..0x9FFF and
// code - 0xC000 for 0xE000..0xFFFF; other codes have no glyph.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/SystemConfigLib.h"

class IFontProvider;
class TBitmap32;
class TStream;
class TSystemFontCache;

namespace ARGB8888Font {

constexpr int32_t kFontCount = 8;
constexpr int32_t kGlyphCount = 16384;
constexpr int32_t kOfHeaderSize = 0x1044A;
constexpr int32_t kEffectLayers = 16;
constexpr int32_t kCacheCapacity = 256;
// A system glyph is rendered at most this many pixels a side (size times supersampling factor).
constexpr int32_t kMaxRenderSide = 1024;

// The glyph index of a character code, or -1 when the code has none.
int32_t GlyphIndex(uint32_t code);

}  // namespace ARGB8888Font

// One glyph set of an ".of" file, its header taken apart.
struct TGlyphSet {
    std::array<uint16_t, ARGB8888Font::kGlyphCount> Map{};
    std::array<uint8_t, ARGB8888Font::kGlyphCount> AdvanceX{};
    std::array<uint8_t, ARGB8888Font::kGlyphCount> AdvanceY{};
    std::array<uint32_t, 256> Palette{};
    int32_t CellWidth = 0;
    int32_t CellHeight = 0;
    int32_t PageCount = 0;
    int32_t PageWidth = 0;
    int32_t PageHeight = 0;
    bool UseTextColor = false;
    std::vector<std::vector<uint8_t>> Pages;  // PageCount pages of PageWidth x PageHeight bytes
};

class TBitmapFont {
public:
    // Empties both sets and loads each stream given from its position. False when neither stream
    // is given, or when a stream ends before its header or its pages (both sets then stay empty
    // and Error says which file part was short).
    bool LoadFromStreams(TStream* horizontal, TStream* vertical);

    // Draws the text (Shift-JIS; the bytes 0x80..0x9F and 0xE0..0xFF lead two-byte codes) with
    // each glyph's cell scaled to width x height. The extent is the advance along the writing
    // direction and the other size of the last glyph; (0, 0) when no glyph was found.
    void DrawText(TBitmap32* target, int32_t x, int32_t y, std::string_view text, int32_t width, int32_t height,
                  uint32_t color, bool vertical, int32_t& extentX, int32_t& extentY);

    TGlyphSet Horizontal;
    TGlyphSet Vertical;
    std::string Error;

private:
    void Glyph(const TGlyphSet& set, TBitmap32* target, int64_t x, int64_t y, uint32_t code, int32_t width,
               int32_t height, uint32_t color, int32_t& extentX, int32_t& extentY);
    const std::array<uint32_t, 256>& Tinted(const TGlyphSet& set, uint32_t color);

    // The palette of the last set and text colour, already tinted: most text is drawn in one colour.
    std::array<uint32_t, 256> TintCache{};
    const TGlyphSet* TintSet = nullptr;
    uint32_t TintColor = 0;
};

// An installed face rendered on demand.
class TSystemFont {
public:
    // The face name; a leading "@" (the vertical variant of a face) is dropped.
    void SetName(const std::string& name);

    // The glyphs come from the cache, rendered there on a miss; without a cache the font is drawn
    // as without installed faces: only the spaces take room.
    void DrawText(TSystemFontCache* cache, TBitmap32* target, int32_t x, int32_t y, std::string_view text,
                  int32_t width, int32_t height, uint32_t color, bool vertical, int32_t& extentX, int32_t& extentY);

    std::string Name;
    TFontEffectTable Effects;  // layer 0 to 15 drawn in order
    int32_t Supersampling = 4;

private:
    void Glyph(TSystemFontCache* cache, TBitmap32* target, int64_t x, int64_t y, uint32_t code, int32_t width,
               int32_t height, uint32_t color, int32_t& extentX, int32_t& extentY);
};

// One rendered system glyph, as the cache hands it out: the coverage (0..255) of the part of the
// cell that has ink, where that part lies in the cell, and the text extent.
struct TCachedGlyph {
    std::vector<uint8_t> Coverage;  // InkWidth x InkHeight, rows top to bottom
    int32_t InkLeft = 0;
    int32_t InkTop = 0;
    int32_t InkWidth = 0;
    int32_t InkHeight = 0;
    int32_t ExtentX = 0;
    int32_t ExtentY = 0;
};

// The rendered glyphs of every system font, first in first out, with the 4 most recent hits
// checked before the slots are scanned.
class TSystemFontCache {
public:
    // The key of a glyph as bytes, compared as a whole: the face (its first 30 characters, as a
    // length byte and 30 bytes), then code, width, height, supersampling factor and weight.
    static constexpr size_t kKeySize = 52;
    using TKey = std::array<uint8_t, kKeySize>;

    explicit TSystemFontCache(int32_t capacity = ARGB8888Font::kCacheCapacity);

    // Where glyphs are rendered; nullptr renders nothing. Changing it empties the cache.
    void SetProvider(IFontProvider* provider);
    IFontProvider* Provider() const { return FontProvider; }

    // The glyph of a face and code at a size (width and height 1 or more), rendered on a miss.
    const TCachedGlyph& Lookup(const std::string& face, uint32_t code, int32_t width, int32_t height,
                               int32_t supersampling, int32_t weight);
    void Clear();

    static TKey MakeKey(const std::string& face, uint32_t code, int32_t width, int32_t height, int32_t supersampling,
                        int32_t weight);
    static uint32_t KeyHash(const TKey& key);

    // How lookups ended since the cache was last emptied, for tests and measurements.
    struct TCounts {
        uint64_t RingHits = 0;
        uint64_t ScanHits = 0;
        uint64_t Misses = 0;
    };
    TCounts Counts;

    struct TSlot {
        TKey Key{};  // all zero while the slot is free
        uint32_t Hash = 0;
        bool Used = false;
        TCachedGlyph Glyph;
    };
    const std::vector<TSlot>& Slots() const { return SlotList; }
    int32_t Cursor() const { return ReplaceCursor; }

private:
    void Render(TSlot& slot, const std::string& face, uint32_t code, int32_t width, int32_t height,
                int32_t supersampling, int32_t weight);

    IFontProvider* FontProvider = nullptr;
    std::vector<TSlot> SlotList;
    int32_t ReplaceCursor = 0;
    std::array<int32_t, 4> Ring{};
    int32_t RingPosition = 0;
    std::vector<uint8_t> Work;  // the work bitmap, 8 bits per pixel
};

// One of the 8 numbered fonts: a bitmap font or a system font (at most one of them).
class TARGB8888Font final : public IConfigFont {
public:
    // The system font "ＭＳ ゴシック" with supersampling factor 2 and the default layers.
    TARGB8888Font();

    const std::string& FaceName() const override { return Name; }
    bool IsBitmapFont() const override { return BitmapFont != nullptr; }
    // False when both streams are nil; otherwise the font becomes a bitmap font of that name and
    // the result is whether its glyph sets could be read.
    bool LoadBitmapFont(const std::string& name, TStream* horizontal, TStream* vertical) override;
    // The bitmap font's reason for its last failed load; empty otherwise.
    std::string Error() const override { return BitmapFont ? BitmapFont->Error : std::string(); }
    // The font becomes a system font with the default layers (layer 0 the glyph in the text
    // colour). Always true.
    bool SetSystemFont(const std::string& name, int32_t supersampling);
    void SetSystemFont(const std::string& name, int32_t supersampling, const TFontEffectTable& effects) override;

    // Draws with whichever font is set; extent (0, 0) when it has no glyph for the text.
    void DrawText(TBitmap32* target, int32_t x, int32_t y, std::string_view text, int32_t width, int32_t height,
                  uint32_t color, bool vertical, int32_t& extentX, int32_t& extentY);

    std::unique_ptr<TSystemFont> SystemFont;
    std::unique_ptr<TBitmapFont> BitmapFont;
    std::string Name;
    // Where a system font's glyphs are rendered and kept; none: a system font draws as without
    // installed faces. The font table links its fonts to its cache.
    TSystemFontCache* Cache = nullptr;
};

// The 8 numbered fonts of one game and the cache of their rendered system glyphs. The media
// context holds the game's; text is drawn with a font of it by number.
class TFontTable {
public:
    TFontTable();
    TFontTable(const TFontTable&) = delete;
    TFontTable& operator=(const TFontTable&) = delete;

    std::array<TARGB8888Font, ARGB8888Font::kFontCount> Slots;
    TSystemFontCache Cache;
};

namespace ARGB8888Font {

// The layers of a new system font: layer 0 draws the glyph in the text colour, the rest nothing.
TFontEffectTable DefaultEffects();

// Hands the host's installed faces to the table's fonts and, when a configuration is given, the
// table's 8 fonts and the face list to it (TSystemConfig::RegisterFonts, RegisterFontFaces). The
// main window calls it once at start with its media context's fonts, the host's font provider
// and the game context's configuration, and with nullptr before the provider goes away; without a
// provider system fonts draw nothing.
void Install(TFontTable& fonts, IFontProvider* provider, TSystemConfig* config = nullptr);

}  // namespace ARGB8888Font
