// Text drawing against a plain FreeType load-and-render of the same glyph at the same size, in the
// same run: a system glyph the cache misses (it renders through FreeType, reduces and crops), one
// it hits (the lookup alone, and the lookup with the drawing), a bitmap glyph drawn at its own size
// and scaled, and a line of 40 characters. The ratios (our time / FreeType's time per glyph) are
// printed after the table; the goal for a miss at supersampling factor 1 is 1.5 at most.
#include <benchmark/benchmark.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/SystemFonts.h"
#include "tools/kelfont/OfWriter.h"

namespace {

constexpr int32_t kSize = 24;
// More distinct characters than the cache holds, so that every lookup in a round misses.
constexpr size_t kMissCodes = 300;

std::vector<uint16_t> KanjiCodes() {
    std::vector<uint16_t> codes;
    for (uint32_t code = 0x889F; codes.size() < kMissCodes; ++code)
        if ((code & 0xFF) >= 0x40 && (code & 0xFF) != 0x7F && (code & 0xFF) <= 0xFC)
            codes.push_back(static_cast<uint16_t>(code));
    return codes;
}

std::string GothicFile() {
    FcInit();
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>("IPAGothic"));
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult r;
    FcPattern* m = FcFontMatch(nullptr, p, &r);
    std::string file;
    FcChar8* f = nullptr;
    if (m && FcPatternGetString(m, FC_FILE, 0, &f) == FcResultMatch) file = reinterpret_cast<const char*>(f);
    if (m) FcPatternDestroy(m);
    FcPatternDestroy(p);
    return file;
}

// The baseline: the glyph loaded, hinted and rendered in monochrome by FreeType itself, at the
// em size the engine asks for a 24-pixel cell.
void FreeTypeBaseline(benchmark::State& state) {
    FT_Library lib;
    FT_Face face;
    if (FT_Init_FreeType(&lib) || FT_New_Face(lib, GothicFile().c_str(), 0, &face)) {
        state.SkipWithError("no gothic face");
        return;
    }
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const int64_t cell = os2 ? os2->usWinAscent + os2->usWinDescent : face->units_per_EM;
    FT_Set_Char_Size(face, kSize * 64, kSize * 64 * face->units_per_EM / cell, 72, 72);
    const std::vector<uint16_t> codes = KanjiCodes();
    std::vector<uint32_t> unicode;
    for (uint16_t c : codes)
        unicode.push_back(SystemFonts::UnicodeOf(c));
    size_t i = 0;
    for (auto _ : state) {
        FT_Load_Glyph(face, FT_Get_Char_Index(face, unicode[i]), FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO);
        FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO);
        benchmark::DoNotOptimize(face->glyph->bitmap.buffer);
        i = (i + 1) % unicode.size();
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
}

TFreeTypeFonts& Provider() {
    static TFreeTypeFonts fonts;
    return fonts;
}

// The 8 fonts the text is drawn with.
TFontTable& Fonts() {
    static TFontTable fonts;
    return fonts;
}

void SystemMiss(benchmark::State& state) {
    TSystemFontCache cache;
    cache.SetProvider(&Provider());
    const std::string face = "ＭＳ ゴシック"_sj;
    const std::vector<uint16_t> codes = KanjiCodes();
    const int32_t factor = static_cast<int32_t>(state.range(0));
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cache.Lookup(face, codes[i], kSize, kSize, factor, 0).Coverage.data());
        i = (i + 1) % codes.size();
    }
    if (cache.Counts.RingHits + cache.Counts.ScanHits) state.SkipWithError("a lookup hit");
}

void SystemHitLookup(benchmark::State& state) {
    TSystemFontCache cache;
    cache.SetProvider(&Provider());
    const std::string face = "ＭＳ ゴシック"_sj;
    for (auto _ : state)
        benchmark::DoNotOptimize(cache.Lookup(face, 0x82A0, kSize, kSize, 2, 0).Coverage.data());
}

// One character drawn with a font of the 8, into a picture with something in it.
void DrawOne(benchmark::State& state, int32_t font, const std::string& character, int32_t size) {
    TARGB8888 image;
    image.SetSize(64, 64);
    image.FillRect(0, 0, 64, 32, 0xFF336699);
    int32_t w = 0, h = 0;
    for (auto _ : state) {
        image.TextOut(Fonts(), 4, 16, character, size, size, 0xFFFFFFFF, font, false, w, h);
        benchmark::ClobberMemory();
    }
}

void Line(benchmark::State& state, int32_t font) {
    const std::string text = "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじ"_sj;
    TARGB8888 image;
    image.SetSize(40 * kSize + 8, kSize + 8);
    int32_t w = 0, h = 0;
    for (auto _ : state) {
        image.TextOut(Fonts(), 4, 4, text, kSize, kSize, 0xFFFFFFFF, font, false, w, h);
        benchmark::ClobberMemory();
    }
    state.counters["chars"] = 40;
}

// A bitmap font of the same characters rendered from the gothic face, as kelfont makes one.
void SetUpFonts() {
    ARGB8888Font::Install(Fonts(), &Provider());
    Fonts().Slots[0].SetSystemFont("ＭＳ ゴシック"_sj, 2);
    OfWriter::TGlyphSetFile set;
    set.CellWidth = set.CellHeight = kSize;
    set.UseTextColor = true;
    for (uint32_t i = 0; i < 256; ++i)
        set.Palette[i] = i << 24;
    TSystemFontCache cache;
    cache.SetProvider(&Provider());
    const std::string text = "吾輩は猫である。名前はまだ無い。どこで生れたかとんと見当がつかぬ。何でも薄暗いじ"_sj;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        const uint32_t code = static_cast<uint8_t>(text[i]) << 8 | static_cast<uint8_t>(text[i + 1]);
        const TCachedGlyph& g = cache.Lookup("ＭＳ ゴシック"_sj, code, kSize, kSize, 4, 0);
        OfWriter::TGlyph glyph{code, std::vector<uint8_t>(kSize * kSize, 0), 128, 128};
        for (int32_t y = 0; y < g.InkHeight; ++y)
            for (int32_t x = 0; x < g.InkWidth; ++x)
                glyph.Cell[static_cast<size_t>((g.InkTop + y) * kSize + g.InkLeft + x)] =
                    g.Coverage[static_cast<size_t>(y * g.InkWidth + x)];
        set.Glyphs.push_back(std::move(glyph));
    }
    std::string bytes, error;
    OfWriter::Write(set, bytes, error);
    TMemoryStream s(bytes);
    Fonts().Slots[1].LoadBitmapFont("bench", &s, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    SetUpFonts();
    benchmark::RegisterBenchmark("glyph/freetype", FreeTypeBaseline);
    benchmark::RegisterBenchmark("glyph/system_miss", SystemMiss)->Arg(1)->Arg(2)->Arg(4);
    benchmark::RegisterBenchmark("glyph/system_hit_lookup", SystemHitLookup);
    benchmark::RegisterBenchmark("glyph/system_hit_draw",
                                 [](benchmark::State& s) { DrawOne(s, 0, "\x82\xA0", kSize); });
    benchmark::RegisterBenchmark("glyph/bitmap_exact", [](benchmark::State& s) { DrawOne(s, 1, "\x94\x4C", kSize); });
    benchmark::RegisterBenchmark("glyph/bitmap_scaled", [](benchmark::State& s) { DrawOne(s, 1, "\x94\x4C", 32); });
    benchmark::RegisterBenchmark("line40/system", [](benchmark::State& s) { Line(s, 0); });
    benchmark::RegisterBenchmark("line40/bitmap", [](benchmark::State& s) { Line(s, 1); });
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const auto base = collector.Times.find("glyph/freetype");
    if (base != collector.Times.end() && base->second > 0) {
        std::printf("\nratio = our time / FreeType's load-and-render of one glyph (below 1: cheaper)\n");
        for (const auto& [name, t] : collector.Times) {
            if (name == base->first) continue;
            std::printf("%-28s ratio %.2f", name.c_str(), t / base->second);
            if (name.rfind("line40/", 0) == 0) std::printf("   (%.2f per character)", t / base->second / 40);
            std::printf("\n");
        }
    }
    ARGB8888Font::Install(Fonts(), nullptr);
    benchmark::Shutdown();
    return 0;
}
