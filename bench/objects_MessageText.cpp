// Typesetting a page of 400 characters (with colour changes, new lines and ruby) against drawing
// the same 400 characters one by one with TARGB8888::TextOut at the same places, in the same run:
// the ratio is what reading the commands, line breaking, ruby and the inked area add to the glyph
// drawing itself. Measured as a flush of the whole page, as single steps, and as a message window
// typing the page frame by frame at its default speed (50 ms a character, 16 ms frames), each
// frame an update and a draw into the compositor; that one is also printed per frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/PackLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "objects/MessageLib.h"
#include "platform/Encoding.h"

namespace {

constexpr int32_t kSize = 24;
constexpr int32_t kCharacters = 400;

// The fonts the text is drawn with.
TFontTable& Fonts() {
    static TFontTable fonts;
    return fonts;
}

// Fonts 0 and 7: a bitmap font of 24 x 24 cells with a glyph for every code, drawn at its own size.
void SetUpFonts() {
    for (size_t slot : {size_t{0}, size_t{7}}) {
        TARGB8888Font& font = Fonts().Slots[slot];
        font.SystemFont.reset();
        font.BitmapFont = std::make_unique<TBitmapFont>();
        TGlyphSet& set = font.BitmapFont->Horizontal;
        set.CellWidth = set.CellHeight = kSize;
        set.PageCount = 1;
        set.PageWidth = set.PageHeight = 16 * kSize;
        set.Palette[1] = 0xFFFFFFFFu;
        set.Pages.assign(1, std::vector<uint8_t>(static_cast<size_t>(set.PageWidth * set.PageHeight), 0));
        for (int32_t y = 0; y < kSize; ++y)
            for (int32_t x = kSize; x < 2 * kSize; ++x)
                set.Pages[0][static_cast<size_t>(y * set.PageWidth + x)] = static_cast<uint8_t>((x * 7 + y) % 3 == 0);
        for (size_t i = 0; i < ARGB8888Font::kGlyphCount; ++i) {
            set.Map[i] = 1;
            set.AdvanceX[i] = i < 0x100 ? 64 : 128;
            set.AdvanceY[i] = 128;
        }
    }
}

// 400 characters of kana and kanji in sentences, with a colour change, a ruby and a new line in
// every sentence.
std::string PageText() {
    const std::string sentence = Encoding::Utf8ToSjis("今日は[c,$FFFF8080]晴れ[c]ている。[rb,空,そら]が青い。[n]");
    const std::string plain = Encoding::Utf8ToSjis("今日は晴れている。空が青い。");
    std::string text;
    int32_t count = 0;
    while (count + 14 <= kCharacters) {
        text += sentence;
        count += 14;
    }
    for (int32_t i = count; i < kCharacters; ++i)
        text += plain.substr(0, 2);
    return text;
}

void Prepare(TMessageText& t) {
    t.Fonts = &Fonts();
    t.SetTextRect(0, 0, 840, 1080);
    t.SetSize(kSize, kSize);
    t.SetPitch(0, 12);
    t.ClearText();
}

// The whole page, flushed at once or typed step by step; either way the time is per page.
void Page(benchmark::State& state, bool flush) {
    TMessageText t;
    Prepare(t);
    const std::string text = PageText();
    for (auto _ : state) {
        t.ClearText();
        t.AppendText(text);
        if (flush)
            t.Flush();
        else
            while (!t.Step(false) && t.State == TMessageState::Printing) {
            }
        benchmark::DoNotOptimize(t.PenY);
    }
}

// The baseline: the characters the page places, drawn one by one where the typesetter put them on
// a page as empty as the typesetter's.
void GlyphsAlone(benchmark::State& state) {
    struct TPlaced {
        std::string Text;
        int32_t X, Y, W, H, Font;
        uint32_t Color;
    };
    struct TRecorder final : IMessageLayoutObserver {
        void GlyphPlaced(const TPlacedGlyph& g) override {
            Glyphs.push_back({g.Text, g.X, g.Y, g.Width, g.Height, g.Font, g.Color});
        }
        void StateChanged(const std::string&) override {}
        std::vector<TPlaced> Glyphs;
    } recorder;
    TMessageText t;
    Prepare(t);
    t.Observer = &recorder;
    t.AppendText(PageText());
    t.Flush();
    t.Observer = nullptr;
    TARGB8888 image;
    image.SetSize(840, 1080);
    int32_t ew = 0, eh = 0;
    for (auto _ : state) {
        // Each page starts empty, as the typesetter's does.
        std::fill(image.Active->Pixels.begin(), image.Active->Pixels.end(), MessageLib::kEmptyColor);
        for (const TPlaced& g : recorder.Glyphs)
            image.TextOut(Fonts(), g.X, g.Y, g.Text, g.W, g.H, g.Color, g.Font, false, ew, eh);
        benchmark::DoNotOptimize(ew);
    }
    state.counters["glyphs"] = static_cast<double>(recorder.Glyphs.size());
}

constexpr int32_t kFrameMs = 16;
// A bound far above the 1250 frames the page takes.
constexpr int32_t kMaxFrames = 10000;

// The frames the window took for the page, for the figure per frame.
int32_t TypedFrames = 0;

// The page typed by a message window, frame by frame; the time is per page.
void WindowTyping(benchmark::State& state) {
    const TPackSet packs;  // the window reads no file
    auto window = ImageLib::Make<TMessageLib>(packs);
    Prepare(*window);
    window->Show();
    TARGB8888CellDraw cells;
    cells.SetScreenSize(840, 1080);
    const std::string text = PageText();
    int32_t frames = 0;
    for (auto _ : state) {
        window->ClearText();
        window->AddText(text);
        frames = 0;
        while (window->GetState() != TMessageState::Done && frames < kMaxFrames) {
            window->Update(255, kFrameMs);
            cells.Reset();
            window->Draw(&cells, 255, 0, 0);
            ++frames;
        }
        benchmark::DoNotOptimize(window->PenY);
    }
    TypedFrames = frames;
    state.counters["frames"] = frames;
}

}  // namespace

int main(int argc, char** argv) {
    SetUpFonts();
    benchmark::RegisterBenchmark("page400/glyphs_alone", GlyphsAlone)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("page400/flush", [](benchmark::State& s) {
        Page(s, true);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("page400/steps", [](benchmark::State& s) {
        Page(s, false);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("page400/window_typing", WindowTyping)->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    const double base = collector.Time("page400/glyphs_alone");
    if (base > 0) {
        std::printf("\nratio = typesetting the page / drawing its glyphs alone (1: no overhead)\n");
        for (const char* name : {"page400/flush", "page400/steps", "page400/window_typing"}) {
            const double t = collector.Time(name);
            std::printf("%-24s ratio %.2f   (%.2f us per character)\n", name, t / base, t / kCharacters);
        }
        const double typing = collector.Time("page400/window_typing");
        if (TypedFrames > 0)
            std::printf("a window typing at %d ms a character: %.3f us per %d ms frame, over %d frames a page\n",
                        MessageLib::kOwnSpeed, typing / TypedFrames, kFrameMs, TypedFrames);
    }
    benchmark::Shutdown();
    return 0;
}
