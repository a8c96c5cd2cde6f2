// The back-log screen over a full back-log of 256 long entries (about 120 characters each, with
// a name header in the speaker's colour, a colour change and a ruby, in the installed gothic
// face at 24 pixels): opening it (the frozen game screen, the layout of the visible entries and
// the first frame drawn and rendered), and one frame of scrolling by a wheel step (the entries
// laid out again, drawn and rendered). Both are printed in milliseconds and as a share of a
// frame at 60 frames a second (16.7 ms), and against a named baseline measured in the same run:
// the compositor redrawing a full-screen picture in every band, which is what any frame that
// changes the whole screen costs. Only the entries that reach into the text area are typed (two
// of these, five or six lines each), so neither figure grows with the back-log.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "bench/BenchReport.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Font.h"
#include "media/MediaContext.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/SystemFonts.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelScriptLib.h"
#include "shell/KelLogLib.h"

namespace {

constexpr double kFrameMs = 1000.0 / 60;

const char* kLayout =
    "BGColor=$C0081020\r\nDefaultViewCount=4\r\nmsg.position=140,70\r\nmsg.TextSize=0,0,560,460\r\n"
    "msg.HitSize=0,0,560,460\r\nmsg.Space=16\r\nFont.Size=24,24\r\nFont.Pitch=0,16\r\nRuby.Size=12,12\r\n"
    "Ruby.Position=0,-14\r\nBorderLineColor=$60E8D8FF\r\nDivideNameFormat=[c,%%%actcolor]【%%%name】[c,$FFFFFFFF]\r\n"
    "no[0]=$30E86A8A,$FFFFE0E8,0,,花\r\nno[1]=$304A78C8,$FFE0ECFF,0,,空\r\n";

// A game interpreter with its compositor, a full back-log and the layout in a pack made in memory.
struct TScene {
    TScene() {
        ARGB8888Font::Install(Media.Fonts, &Fonts);
        Media.Fonts.Slots[0].SetSystemFont(Encoding::Utf8ToSjis("ＭＳ ゴシック"), 1);
        Files["system\\log\\layout.dat"] = Encoding::Utf8ToSjis(kLayout);
        Context.Packs.FileExistsHook = [this](const std::string& name) {
            return Files.count(ClassLib::LowerAscii(PackLib::NormalizePath(name))) > 0;
        };
        Context.Packs.LoadFileHook = [this](const std::string& name) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(ClassLib::LowerAscii(PackLib::NormalizePath(name)));
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        KelGraphicLib::Register(Kinds);
        Script.Kinds = &Kinds;
        TScriptLinks links;
        links.Context = &Context;
        links.Input = &Input;
        links.BackLog = &Data;
        links.Media = &Media;
        links.Clock = &FakeClock;
        Script.Setup(links);
        const std::string sentence = Encoding::Utf8ToSjis(
            "今日は[c,$FFFFD080]よく晴れて[c,$FFFFFFFF]いる。[rb,空,そら]が高くて、風も気持ちいい。");
        for (int32_t i = 0; i < TKelLogData::kEntryCount; ++i) {
            std::string text;
            for (int k = 0; k < 5; ++k)
                text += sentence;
            Data.Add(text, Encoding::Utf8ToSjis(i % 2 ? "花" : "空"), "", 0, 0, 255, 0);
        }
        Screen = std::make_unique<TKelLog>(Script);
        FakeClock.SleepMs(301);  // the input device's lock after it was made
        Input.Update();
    }
    ~TScene() {
        Screen.reset();
        Context.Packs.FileExistsHook = nullptr;
        Context.Packs.LoadFileHook = nullptr;
        ARGB8888Font::Install(Media.Fonts, nullptr);
    }
    void Frame(int32_t wheel) {
        if (wheel) Source.Wheel(wheel);
        FakeClock.SleepMs(16);
        Input.Update();
        Screen->Update(16);
        Screen->Draw();
    }

    TFakeClock FakeClock;
    TFreeTypeFonts Fonts;
    std::map<std::string, std::string> Files;
    TObjectKindRegistry Kinds;
    THeadlessInputSource Source;
    TInput Input{Source, FakeClock};
    TKelLogData Data;
    TGameContext Context;
    TMediaContext Media;
    TKelScript Script;
    std::unique_ptr<TKelLog> Screen;
};

TScene* Scene = nullptr;

void Open(benchmark::State& state) {
    for (auto _ : state) {
        Scene->Screen->Close();
        Scene->Screen->Open(0);
        Scene->Frame(0);
    }
    state.counters["rows"] = Scene->Screen->Entries ? Scene->Screen->Entries->RowCount() : 0;
    state.counters["lines"] = Scene->Screen->Entries ? Scene->Screen->Entries->LineNumber : 0;
}

void Scroll(benchmark::State& state) {
    Scene->Screen->Open(0);
    Scene->Frame(0);
    int32_t turn = 120;
    for (auto _ : state) {
        Scene->Frame(turn);
        turn = -turn;  // up and down again, so that every frame lays entries out anew
    }
}

void FullRedraw(benchmark::State& state) {
    TARGB8888CellDraw& cells = *KelGraphicLib::GraphicOf(Scene->Script)->CellDraw();
    TARGB8888 picture;
    picture.SetSize(cells.Width(), cells.Height());
    picture.FillRect(0, 0, cells.Width(), cells.Height(), 0xFF406080);
    for (auto _ : state) {
        cells.InvalidateAll();
        cells.AddDraw(&picture, 0, 0, 0, 0, 0, static_cast<float>(cells.Width()), static_cast<float>(cells.Height()), 0,
                      0, 255, 0, 0xFFFFFF, bmBlend);
        cells.Render(0xFF000000u, false, 0xFFFF);
        benchmark::DoNotOptimize(cells.FrameBuffer.get());
    }
}

}  // namespace

int main(int argc, char** argv) {
    TScene scene;
    Scene = &scene;
    benchmark::RegisterBenchmark("log256/full_redraw", FullRedraw)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("log256/open", Open)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("log256/scroll_frame", Scroll)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector(TTimeKind::Cpu);
    benchmark::RunSpecifiedBenchmarks(&collector);
    const double base = collector.Time("log256/full_redraw");
    std::printf("\nshare = time / a frame at 60 frames a second (%.1f ms); ratio = time / a full-screen redraw\n",
                kFrameMs);
    for (const char* name : {"log256/open", "log256/scroll_frame"}) {
        const double t = collector.Time(name);  // in the unit registered: ms
        if (t > 0)
            std::printf("%-20s %.3f ms   share %.1f %%   ratio %.2f\n", name, t, 100 * t / kFrameMs,
                        base > 0 ? t / base : 0.0);
    }
    benchmark::Shutdown();
    Scene = nullptr;
    return 0;
}
