#include "media/ARGB8888Font.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "platform/SystemFonts.h"

namespace ARGB8888Font {

int32_t GlyphIndex(uint32_t code) {
    if (code < 0x100) return static_cast<int32_t>(code);
    if (code >= 0x8100 && code <= 0x9FFF) return static_cast<int32_t>(code - 0x8000);
    if (code >= 0xE000 && code <= 0xFFFF) return static_cast<int32_t>(code - 0xC000);
    return -1;
}

TFontEffectTable DefaultEffects() {
    TFontEffectTable t;
    t.Color[0] = 0xFFFFFFFFu;
    return t;
}

void Install(TFontTable& fonts, IFontProvider* provider, TSystemConfig* config) {
    fonts.Cache.SetProvider(provider);
    if (!config) return;
    config->RegisterFonts([&fonts](int32_t slot) -> IConfigFont* {
        return slot >= 0 && slot < kFontCount ? &fonts.Slots[static_cast<size_t>(slot)] : nullptr;
    });
    if (!provider) {
        config->RegisterFontFaces(nullptr);
        return;
    }
    config->RegisterFontFaces([provider] {
        std::vector<TFontFace> faces;
        for (const TInstalledFace& f : provider->JapaneseFaces()) {
            // Every listed face covers Japanese, which is what the Shift-JIS character set stands for.
            TFontFace face;
            face.FullName = f.Name;
            face.CharSet = 128;
            face.PitchAndFamily = f.FixedPitch ? 1 : 2;
            faces.push_back(std::move(face));
        }
        return faces;
    });
}

}  // namespace ARGB8888Font

namespace {

constexpr int32_t kCodeSpace = 0x20;
constexpr int32_t kCodeIdeographicSpace = 0x8140;

int32_t Saturate32(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

uint32_t Channel(uint32_t c, int shift) {
    return (c >> shift) & 0xFF;
}

// Per byte from + floor((to - from) x w / 128), w in 0..127: the same as
// (from x (128 - w) + to x w) div 128, which stays between the two and so needs no saturation.
// Two bytes at a time, in the 16-bit halves of a 32-bit word.
inline uint32_t Lerp128(uint32_t from, uint32_t to, uint32_t w) {
    const uint32_t v = 128 - w;
    const uint32_t rb = (((from & 0xFF00FFu) * v + (to & 0xFF00FFu) * w) >> 7) & 0xFF00FFu;
    const uint32_t ag = ((((from >> 8) & 0xFF00FFu) * v + ((to >> 8) & 0xFF00FFu) * w) >> 7) & 0xFF00FFu;
    return rb | (ag << 8);
}

// A tinted glyph colour over a destination pixel: an empty (alpha 0) pixel takes the colour as it
// is; otherwise each byte, alpha included, moves towards the opaque colour by alpha / 256.
void BlendGlyphPixel(uint32_t& d, uint32_t c) {
    d = (d >> 24) == 0 ? c : Lerp128(d, c | 0xFF000000u, c >> 25);
}

// The text colour applied to a palette colour: per byte min(c + add, 255) x multiplier / 256.
uint32_t Tint(uint32_t c, uint32_t add, uint32_t multiplier) {
    uint32_t out = 0;
    for (int s = 0; s < 32; s += 8) {
        const uint32_t v = std::min<uint32_t>(Channel(c, s) + Channel(add, s), 255);
        out |= ((v * Channel(multiplier, s)) >> 8) << s;
    }
    return out;
}

// How text splits into codes. Bitmap fonts take 0x80..0x9F and 0xE0..0xFF as lead bytes and pair a
// lead byte at the very end with a zero byte; system fonts take 0x81..0x9F and 0xE0..0xFF, and
// only when another byte follows.
enum class TLeadRule { Bitmap, System };

// Draws glyph after glyph along the writing direction, each at the advance so far; the extent is
// the whole advance along the direction and the other size of the last glyph.
template <class F>
void DrawLine(std::string_view text, TLeadRule rule, bool vertical, int32_t& extentX, int32_t& extentY, F&& glyph) {
    int64_t advanceX = 0, advanceY = 0;
    int32_t lastX = 0, lastY = 0;
    for (size_t i = 0; i < text.size();) {
        const uint32_t b = static_cast<uint8_t>(text[i++]);
        uint32_t code = b;
        if (rule == TLeadRule::Bitmap && ((b >= 0x80 && b <= 0x9F) || b >= 0xE0)) {
            code = b << 8;
            if (i < text.size()) code |= static_cast<uint8_t>(text[i++]);
        } else if (rule == TLeadRule::System && ((b >= 0x81 && b <= 0x9F) || b >= 0xE0) && i < text.size()) {
            code = b << 8 | static_cast<uint8_t>(text[i++]);
        }
        glyph(code, advanceX, advanceY, lastX, lastY);
        if (vertical)
            advanceY += lastY;
        else
            advanceX += lastX;
    }
    extentX = vertical ? lastX : Saturate32(advanceX);
    extentY = vertical ? Saturate32(advanceY) : lastY;
}

bool LoadGlyphSet(TStream& s, TGlyphSet& set, const char* which, std::string& error) {
    using namespace LittleEndian;
    const int64_t start = s.Position();
    std::vector<uint8_t> h;
    if (!ReadRecordBytes(s, ARGB8888Font::kOfHeaderSize, h)) {
        error = std::string(which) + " glyph set: the file has " + std::to_string(s.Remaining()) +
                " bytes, fewer than the " + std::to_string(ARGB8888Font::kOfHeaderSize) + " of its header";
        return false;
    }
    for (int32_t i = 0; i < ARGB8888Font::kGlyphCount; ++i) {
        const size_t k = static_cast<size_t>(i);
        set.Map[k] = Get16(&h[0x40 + 2 * k]);
        set.AdvanceX[k] = h[0x8040 + k];
        set.AdvanceY[k] = h[0xC040 + k];
    }
    for (size_t i = 0; i < 256; ++i)
        set.Palette[i] = Get32(&h[0x10040 + 4 * i]);
    set.CellWidth = Get16(&h[0x10440]);
    set.CellHeight = Get16(&h[0x10442]);
    set.PageCount = h[0x10444];
    set.PageWidth = Get16(&h[0x10445]);
    set.PageHeight = Get16(&h[0x10447]);
    set.UseTextColor = h[0x10449] != 0;
    const int64_t pageBytes = int64_t{set.PageWidth} * set.PageHeight;
    const int64_t rest = s.Remaining();
    if (rest < pageBytes * set.PageCount) {
        error = std::string(which) + " glyph set: " + std::to_string(set.PageCount) + " pages of " +
                std::to_string(set.PageWidth) + " x " + std::to_string(set.PageHeight) + " bytes declared, but only " +
                std::to_string(rest) + " bytes follow the header at offset " +
                std::to_string(start + ARGB8888Font::kOfHeaderSize);
        return false;
    }
    set.Pages.resize(static_cast<size_t>(set.PageCount));
    for (auto& page : set.Pages) {
        page.resize(static_cast<size_t>(pageBytes));
        if (pageBytes > 0 && s.Read(page.data(), pageBytes) != pageBytes) {
            error = std::string(which) + " glyph set: the pages cannot be read";
            return false;
        }
    }
    return true;
}

}  // namespace

// ---- TBitmapFont

bool TBitmapFont::LoadFromStreams(TStream* horizontal, TStream* vertical) {
    Horizontal = TGlyphSet{};
    Vertical = TGlyphSet{};
    TintSet = nullptr;
    Error.clear();
    bool ok = true;
    if (horizontal) ok = LoadGlyphSet(*horizontal, Horizontal, "horizontal", Error);
    if (ok && vertical) ok = LoadGlyphSet(*vertical, Vertical, "vertical", Error);
    if (!ok) {
        // Half a font would draw some text and not the rest: an unreadable file leaves none.
        Horizontal = TGlyphSet{};
        Vertical = TGlyphSet{};
        return false;
    }
    return horizontal || vertical;
}

const std::array<uint32_t, 256>& TBitmapFont::Tinted(const TGlyphSet& set, uint32_t color) {
    if (TintSet == &set && TintColor == color) return TintCache;
    // Without the flag the palette is multiplied by the text colour; with it the text colour's
    // RGB is added (a palette of black shades becomes shades of the text colour) and only its
    // alpha multiplies.
    const uint32_t add = set.UseTextColor ? (color & 0xFFFFFFu) : 0;
    const uint32_t multiplier = set.UseTextColor ? ((color & 0xFF000000u) | 0xFFFFFFu) : color;
    for (size_t i = 0; i < 256; ++i)
        TintCache[i] = Tint(set.Palette[i], add, multiplier);
    TintSet = &set;
    TintColor = color;
    return TintCache;
}

void TBitmapFont::DrawText(TBitmap32* target, int32_t x, int32_t y, std::string_view text, int32_t width,
                           int32_t height, uint32_t color, bool vertical, int32_t& extentX, int32_t& extentY) {
    extentX = extentY = 0;
    const TGlyphSet& set = vertical ? Vertical : Horizontal;
    if (set.PageCount == 0) return;
    DrawLine(text, TLeadRule::Bitmap, vertical, extentX, extentY,
             [&](uint32_t code, int64_t ax, int64_t ay, int32_t& gx, int32_t& gy) {
                 Glyph(set, target, x + ax, y + ay, code, width, height, color, gx, gy);
             });
}

void TBitmapFont::Glyph(const TGlyphSet& set, TBitmap32* target, int64_t x, int64_t y, uint32_t code, int32_t width,
                        int32_t height, uint32_t color, int32_t& extentX, int32_t& extentY) {
    extentX = extentY = 0;
    // A cell of no size has no glyph to show and nothing to advance by.
    if (width <= 0 || height <= 0) return;
    const int32_t index = ARGB8888Font::GlyphIndex(code);
    if (index < 0) return;
    const uint32_t entry = set.Map[static_cast<size_t>(index)];
    if (entry == 0) return;
    const int32_t advanceX = set.AdvanceX[static_cast<size_t>(index)];
    const int32_t advanceY = set.AdvanceY[static_cast<size_t>(index)];
    const bool exact = set.CellWidth == width && set.CellHeight == height;
    if (exact) {
        extentX = (set.CellWidth * advanceX) >> 7;
        extentY = (set.CellHeight * advanceY) >> 7;
    } else {
        extentX = Saturate32(int64_t{advanceX} * width / 128);
        extentY = Saturate32(int64_t{advanceY} * height / 128);
    }
    const int32_t page = static_cast<int32_t>(entry >> 8);
    if (code == kCodeSpace || code == kCodeIdeographicSpace || (color >> 24) == 0 || page >= set.PageCount) return;
    if (!target || target->Width <= 0 || target->Height <= 0) return;
    const std::vector<uint8_t>& pixels = set.Pages[static_cast<size_t>(page)];
    const int32_t pw = set.PageWidth, ph = set.PageHeight;
    const int32_t cellLeft = static_cast<int32_t>(entry & 15) * set.CellWidth;
    const int32_t cellTop = static_cast<int32_t>((entry >> 4) & 15) * set.CellHeight;

    if (exact) {
        int32_t dx = Saturate32(x), dy = Saturate32(y);
        int32_t left = cellLeft, top = cellTop, right = cellLeft + set.CellWidth, bottom = cellTop + set.CellHeight;
        if (ARGB8888Lib::ClipUnscaled(dx, dy, left, top, right, bottom, target->Width, target->Height, pw, ph)) return;
        if (right - left < 2 || bottom - top < 1) return;
        const auto& palette = Tinted(set, color);
        for (int32_t r = 0; r < bottom - top; ++r) {
            const uint8_t* src = pixels.data() + static_cast<size_t>(top + r) * static_cast<size_t>(pw) + left;
            uint32_t* dst = target->ScanLine(dy + r) + dx;
            for (int32_t c = 0; c < right - left; ++c)
                if (src[c]) BlendGlyphPixel(dst[c], palette[src[c]]);
        }
        return;
    }

    int32_t dl = Saturate32(x), dt = Saturate32(y), dr = Saturate32(x + width), db = Saturate32(y + height);
    int32_t sl = cellLeft, st = cellTop, sr = cellLeft + set.CellWidth, sb = cellTop + set.CellHeight;
    if (ARGB8888Lib::ClipRect(dl, dt, dr, db, sl, st, sr, sb, target->Width, target->Height, pw, ph)) return;
    // Steps and positions in 1024ths of a source pixel; weights in 128ths.
    const int64_t stepX = int64_t{sr - sl} * 1024 / (dr - dl);
    const int64_t stepY = int64_t{sb - st} * 1024 / (db - dt);
    const uint32_t add = set.UseTextColor ? (color & 0xFFFFFFu) : 0;
    const uint32_t multiplier = set.UseTextColor ? ((color & 0xFF000000u) | 0xFFFFFFu) : color;
    const std::array<uint32_t, 256>& palette = set.Palette;
    int64_t accY = 0;
    for (int32_t py = dt; py < db; ++py, accY += stepY) {
        const int32_t r0 = static_cast<int32_t>(accY >> 10) + st;
        const int32_t r1 = r0 + 1 < ph ? r0 + 1 : r0;
        const auto wy = static_cast<uint32_t>((1023 - (accY & 1023)) >> 3);
        const uint8_t* upperRow = pixels.data() + static_cast<size_t>(r0) * static_cast<size_t>(pw);
        const uint8_t* lowerRow = pixels.data() + static_cast<size_t>(r1) * static_cast<size_t>(pw);
        uint32_t* dst = target->ScanLine(py);
        int64_t accX = 0;
        for (int32_t px = dl; px < dr; ++px, accX += stepX) {
            const int32_t c0 = sl + static_cast<int32_t>(accX >> 10);
            const int32_t c1 = std::min(c0 + 1, pw - 1);
            const uint32_t ul = palette[upperRow[c0]], ur = palette[upperRow[c1]];
            const uint32_t ll = palette[lowerRow[c0]], lr = palette[lowerRow[c1]];
            // Four transparent samples mix to a transparent colour: most of a cell is empty.
            if (((ul | ur | ll | lr) >> 24) == 0) continue;
            const auto wx = static_cast<uint32_t>((1023 - (accX & 1023)) >> 3);
            const uint32_t c = Lerp128(Lerp128(lr, ll, wx), Lerp128(ur, ul, wx), wy);
            if ((c >> 24) == 0) continue;
            BlendGlyphPixel(dst[px], Tint(c, add, multiplier));
        }
    }
}

// ---- TSystemFont

void TSystemFont::SetName(const std::string& name) {
    Name = !name.empty() && name[0] == '@' ? name.substr(1) : name;
}

void TSystemFont::DrawText(TSystemFontCache* cache, TBitmap32* target, int32_t x, int32_t y, std::string_view text,
                           int32_t width, int32_t height, uint32_t color, bool vertical, int32_t& extentX,
                           int32_t& extentY) {
    extentX = extentY = 0;
    DrawLine(text, TLeadRule::System, vertical, extentX, extentY,
             [&](uint32_t code, int64_t ax, int64_t ay, int32_t& gx, int32_t& gy) {
                 Glyph(cache, target, x + ax, y + ay, code, width, height, color, gx, gy);
             });
}

void TSystemFont::Glyph(TSystemFontCache* cache, TBitmap32* target, int64_t x, int64_t y, uint32_t code, int32_t width,
                        int32_t height, uint32_t color, int32_t& extentX, int32_t& extentY) {
    extentX = extentY = 0;
    if (width <= 0 || height <= 0) return;
    if (code == kCodeSpace) {
        extentX = width / 2;
        extentY = height;
        return;
    }
    if (code == kCodeIdeographicSpace) {
        extentX = width;
        extentY = height;
        return;
    }
    if (!cache) return;
    for (size_t k = 0; k < static_cast<size_t>(ARGB8888Font::kEffectLayers); ++k) {
        const uint32_t layer = Effects.Color[k];
        uint32_t c = 0;
        for (int s = 0; s < 32; s += 8)
            c |= (Channel(layer, s) * Channel(color, s) / 255) << s;
        if (Effects.OwnColor[k]) c = (c & 0xFF000000u) | (layer & 0xFFFFFFu);
        if ((c >> 24) == 0) continue;
        const TCachedGlyph& g =
            cache->Lookup(Name, code, width, height, Supersampling, int32_t{Effects.Weight[k]} * 100);
        extentX = g.ExtentX;
        extentY = g.ExtentY;
        if (g.InkWidth <= 0 || !target || target->Width <= 0 || target->Height <= 0) continue;
        int32_t dx = Saturate32(x + Effects.X[k] + g.InkLeft), dy = Saturate32(y + Effects.Y[k] + g.InkTop);
        int32_t left = 0, top = 0, right = g.InkWidth, bottom = g.InkHeight;
        if (ARGB8888Lib::ClipUnscaled(dx, dy, left, top, right, bottom, target->Width, target->Height, g.InkWidth,
                                      g.InkHeight))
            continue;
        // Onto an empty pixel the colour goes with its alpha scaled by the coverage; over ink each
        // byte, alpha included, moves towards the colour by half the coverage in 128ths.
        const uint32_t empty =
            ((Channel(c, 16) * 255 >> 8) << 16) | ((Channel(c, 8) * 255 >> 8) << 8) | (Channel(c, 0) * 255 >> 8);
        const uint32_t alpha = c >> 24;
        for (int32_t r = 0; r < bottom - top; ++r) {
            const uint8_t* src = g.Coverage.data() + static_cast<size_t>(top + r) * static_cast<size_t>(g.InkWidth);
            uint32_t* dst = target->ScanLine(dy + r) + dx;
            for (int32_t i = 0; i < right - left; ++i) {
                const uint32_t v = src[left + i];
                if (v == 0) continue;
                uint32_t& d = dst[i];
                if ((d >> 24) == 0) {
                    d = empty | ((alpha * v >> 8) << 24);
                    continue;
                }
                d = Lerp128(d, c, v >> 1);
            }
        }
    }
}

// ---- TSystemFontCache

TSystemFontCache::TSystemFontCache(int32_t capacity) : SlotList(static_cast<size_t>(std::max(capacity, 1))) {}

void TSystemFontCache::SetProvider(IFontProvider* provider) {
    if (provider == FontProvider) return;
    FontProvider = provider;
    Clear();
}

void TSystemFontCache::Clear() {
    for (TSlot& s : SlotList)
        s = TSlot{};
    ReplaceCursor = 0;
    Ring = {};
    RingPosition = 0;
    Counts = {};
}

TSystemFontCache::TKey TSystemFontCache::MakeKey(const std::string& face, uint32_t code, int32_t width, int32_t height,
                                                 int32_t supersampling, int32_t weight) {
    TKey k{};
    const size_t n = std::min<size_t>(face.size(), 30);
    k[0] = static_cast<uint8_t>(n);
    std::memcpy(&k[1], face.data(), n);
    LittleEndian::Put32(&k[32], code);
    LittleEndian::Put32(&k[36], static_cast<uint32_t>(width));
    LittleEndian::Put32(&k[40], static_cast<uint32_t>(height));
    LittleEndian::Put32(&k[44], static_cast<uint32_t>(supersampling));
    LittleEndian::Put32(&k[48], static_cast<uint32_t>(weight));
    return k;
}

uint32_t TSystemFontCache::KeyHash(const TKey& key) {
    uint32_t h = 0;
    for (size_t i = 0; i < key.size(); ++i)
        h += key[i] * static_cast<uint32_t>(i & 255);
    return h;
}

const TCachedGlyph& TSystemFontCache::Lookup(const std::string& face, uint32_t code, int32_t width, int32_t height,
                                             int32_t supersampling, int32_t weight) {
    const TKey key = MakeKey(face, code, width, height, supersampling, weight);
    for (int32_t slot : Ring) {
        TSlot& s = SlotList[static_cast<size_t>(slot)];
        if (s.Used && s.Key == key) {
            ++Counts.RingHits;
            return s.Glyph;
        }
    }
    const uint32_t hash = KeyHash(key);
    for (size_t i = 0; i < SlotList.size(); ++i) {
        TSlot& s = SlotList[i];
        if (s.Used && s.Hash == hash && s.Key == key) {
            Ring[static_cast<size_t>(RingPosition)] = static_cast<int32_t>(i);
            RingPosition = (RingPosition + 1) & 3;
            ++Counts.ScanHits;
            return s.Glyph;
        }
    }
    ++Counts.Misses;
    const int32_t slot = ReplaceCursor;
    TSlot& s = SlotList[static_cast<size_t>(slot)];
    s = TSlot{};
    Render(s, face, code, width, height, supersampling, weight);
    s.Key = key;
    s.Hash = hash;
    s.Used = true;
    Ring[static_cast<size_t>(RingPosition)] = slot;
    RingPosition = (RingPosition + 1) & 3;
    ReplaceCursor = (ReplaceCursor + 1) % static_cast<int32_t>(SlotList.size());
    return s.Glyph;
}

void TSystemFontCache::Render(TSlot& slot, const std::string& face, uint32_t code, int32_t width, int32_t height,
                              int32_t supersampling, int32_t weight) {
    TCachedGlyph& g = slot.Glyph;
    if (!FontProvider || width <= 0 || height <= 0) return;
    // Scripts choose sizes without bound: a rendering that would pass the largest side gives up
    // supersampling first, then size.
    int32_t f = std::clamp(supersampling, 1, 16);
    constexpr int32_t kMax = ARGB8888Font::kMaxRenderSide;
    while (f > 1 && (int64_t{width} * f > kMax || int64_t{height} * f > kMax))
        --f;
    const int32_t w = std::min(width, kMax / f), h = std::min(height, kMax / f);
    const int32_t ww = w * f, wh = h * f;
    Work.assign(static_cast<size_t>(ww) * static_cast<size_t>(wh), 0);
    TGlyphCanvas canvas{Work.data(), ww, wh};
    TGlyphRequest request;
    request.Face = face;
    request.Code = static_cast<uint16_t>(code);
    request.Height = wh;
    request.Width = ww / 2;
    request.Weight = std::clamp(weight + 400, 0, 1000);
    int32_t ex = 0, ey = 0;
    if (!FontProvider->RenderGlyph(request, canvas, ex, ey)) return;
    g.ExtentX = ex / f;
    g.ExtentY = ey / f;

    // Box reduction by the factor, every inked work pixel counting 255; the ink's bounding box is
    // all the glyph keeps.
    int32_t minX = w, minY = h, maxX = -1, maxY = -1;
    std::vector<uint8_t> reduced(static_cast<size_t>(w) * static_cast<size_t>(h));
    const uint32_t area = static_cast<uint32_t>(f * f);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint32_t sum = 0;
            for (int32_t j = 0; j < f; ++j) {
                const uint8_t* row = Work.data() + static_cast<size_t>(y * f + j) * static_cast<size_t>(ww) + x * f;
                for (int32_t i = 0; i < f; ++i)
                    sum += row[i] ? 255 : 0;
            }
            const uint8_t v = static_cast<uint8_t>(sum / area);
            reduced[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)] = v;
            if (v) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
            }
        }
    if (maxX < 0) return;
    g.InkLeft = minX;
    g.InkTop = minY;
    g.InkWidth = maxX - minX + 1;
    g.InkHeight = maxY - minY + 1;
    g.Coverage.resize(static_cast<size_t>(g.InkWidth) * static_cast<size_t>(g.InkHeight));
    for (int32_t y = 0; y < g.InkHeight; ++y)
        std::memcpy(&g.Coverage[static_cast<size_t>(y) * static_cast<size_t>(g.InkWidth)],
                    &reduced[static_cast<size_t>(minY + y) * static_cast<size_t>(w) + static_cast<size_t>(minX)],
                    static_cast<size_t>(g.InkWidth));
}

// ---- TARGB8888Font

TARGB8888Font::TARGB8888Font() {
    SetSystemFont("ＭＳ ゴシック"_sj, 2);
}

bool TARGB8888Font::LoadBitmapFont(const std::string& name, TStream* horizontal, TStream* vertical) {
    if (!horizontal && !vertical) return false;
    SystemFont.reset();
    BitmapFont.reset();
    Name = name;
    BitmapFont = std::make_unique<TBitmapFont>();
    return BitmapFont->LoadFromStreams(horizontal, vertical);
}

bool TARGB8888Font::SetSystemFont(const std::string& name, int32_t supersampling) {
    SetSystemFont(name, supersampling, ARGB8888Font::DefaultEffects());
    return true;
}

void TARGB8888Font::SetSystemFont(const std::string& name, int32_t supersampling, const TFontEffectTable& effects) {
    BitmapFont.reset();
    Name = name;
    SystemFont = std::make_unique<TSystemFont>();
    SystemFont->SetName(name);
    SystemFont->Supersampling = supersampling;
    SystemFont->Effects = effects;
}

void TARGB8888Font::DrawText(TBitmap32* target, int32_t x, int32_t y, std::string_view text, int32_t width,
                             int32_t height, uint32_t color, bool vertical, int32_t& extentX, int32_t& extentY) {
    extentX = extentY = 0;
    if (BitmapFont)
        BitmapFont->DrawText(target, x, y, text, width, height, color, vertical, extentX, extentY);
    else if (SystemFont)
        SystemFont->DrawText(Cache, target, x, y, text, width, height, color, vertical, extentX, extentY);
}

// ---- TFontTable

TFontTable::TFontTable() {
    for (TARGB8888Font& font : Slots)
        font.Cache = &Cache;
}
