// Statements per second through the interpreter's frame step in the engine's own configuration: the
// engine's general, control and jump words, game variables declared by the script, and the
// read-text and file-use logs that the engine core gives every interpreter. Lua 5.4 runs the
// equivalent loop on global variables in the same run.
//
// The script loops without end: a counted loop whose body computes, branches, writes an array
// element, formats a Shift-JIS text and calls a subroutine with an argument, and a jump back to
// the top. Every frame step runs exactly its budget of statements (label lines and the statements
// of skipped branches count, as they cost a pass), so statements = steps x budget. Lua runs the
// same body; each of its iterations counts as the statements of one iteration of the script.
//
// LabelPass passes label lines in scripts of 1,000 and of 100,000 labels, after a first pass that
// fills the read-text log: the cost of a label line must not grow with the number of labels.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "bench/BenchReport.h"
#include "foundation/GameContext.h"
#include "foundation/PackLib.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"
#include "script/uLabelLog.h"

#if __has_include(<lua5.4/lua.hpp>)
#include <lua5.4/lua.hpp>
#define KEL_HAVE_LUA 1
#elif __has_include(<lua.hpp>)
#include <lua.hpp>
#define KEL_HAVE_LUA 1
#endif

namespace {

constexpr uint32_t kBudget = 2048;
constexpr int kLoopCount = 100;

// The passes of one loop iteration: a, b, "if", the taken branch, "else", the skipped branch,
// "fi", the array element, "fmt", the text, "sub", the subroutine's label line, its statement,
// "ret" and "next".
constexpr int kStatementsPerIteration = 15;

const char* const kScript =
    "@@main\r\n"
    "\\gvar,int,n,a,b,c,d,i\r\n"
    "\\gvar,int,t[16]\r\n"
    "\\gvar,str,s\r\n"
    "\\jmp,@@top\r\n"
    "@@top\r\n"
    "\\cal,n=n+1\r\n"
    "\\for,i=0,i<100,i=i+1\r\n"
    "  \\cal,a=a+i\r\n"
    "  \\cal,b=a%7\r\n"
    "  \\if,b==3\r\n"
    "    \\cal,c=c+1\r\n"
    "  \\else\r\n"
    "    \\cal,c=c-1\r\n"
    "  \\fi\r\n"
    "  \\cal,t[i%16]=t[i%16]+b\r\n"
    "  \\fmt,\"%d回目：\",i,\"残り%d\",c\r\n"
    "  \\cal,s=ResultStr[0]\r\n"
    "  \\sub,@@count,,i\r\n"
    "\\next\r\n"
    "\\jmp,@@top\r\n"
    "@@count\r\n"
    "\\cal,d=d+ParamInt[0]\r\n"
    "\\ret\r\n";

// Serves scripts from memory through the pack layer's hooks.
struct TScriptFiles {
    TScriptFiles(TPackSet& packs, std::string text) {
        static std::string served;
        served = std::move(text);
        packs.FileExistsHook = [](const std::string& name) { return ClassLib::SameTextAscii(name, "bench.s"); };
        packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
            if (!ClassLib::SameTextAscii(name, "bench.s")) return nullptr;
            return std::make_unique<TMemoryStream>(served);
        };
    }
};

// An interpreter as the engine core sets one up: its words, its two label logs.
struct TEngineScript {
    TGameContext Context;
    TScriptFiles Files;
    TLabelLog ReadTextLog, FileUseLog;
    TKelScript Script;

    TEngineScript(std::string text, const char* label) : Files(Context.Packs, std::move(text)) {
        TScriptLinks links;
        links.Context = &Context;
        links.ReadTextLog = &ReadTextLog;
        links.FileUseLog = &FileUseLog;
        Script.Setup(links);
        Script.Reader->LoadScript("bench.s", true);
        Script.Reader->JumpLabel(label, 0, 0);
        Script.State.LinesPerFrame = kBudget;
    }
};

bool Failed(benchmark::State& state, const TErrorLog& log) {
    if (!log.ErrorFlag && log.ErrorList.Items.empty()) return false;
    state.SkipWithError(("the script reported an error: " + log.ErrorList.Items.front()).c_str());
    return true;
}

void Execute(benchmark::State& state) {
    TEngineScript b(Encoding::Utf8ToSjis(kScript), "@@main");
    int64_t steps = 0;
    for (auto _ : state) {
        b.Script.Execute(16, true);
        ++steps;
    }
    if (Failed(state, b.Context.Log)) return;
    state.SetItemsProcessed(steps * kBudget);
    state.counters["stmt/s"] = benchmark::Counter(static_cast<double>(steps * kBudget), benchmark::Counter::kIsRate);
}
BENCHMARK(Execute)->Unit(benchmark::kMicrosecond);

// A script of n labels, each followed by one statement, ending in a jump back to the first.
std::string ManyLabels(int n) {
    std::string s;
    for (int k = 0; k < n; ++k)
        s += "@@label" + std::to_string(k) + "\r\n\\cal,n=n+1\r\n";
    s += "\\jmp,@@label0\r\n";
    return s;
}

void LabelPass(benchmark::State& state) {
    const int labels = static_cast<int>(state.range(0));
    TEngineScript b(ManyLabels(labels), "@@label0");
    const int32_t one[4] = {1, 1, 1, 1};
    b.Script.Variables->Declare(TVariableScope::Game, "n", "", one, 0, TCalcValueType::Integer, 0xFF, false);
    // A frame step passes 1024 of the labels, then the script goes on where it stopped. The first
    // pass through the script, which fills the read-text log, is not timed.
    for (int k = 0; k < labels * 2 / static_cast<int>(kBudget) + 1; ++k)
        b.Script.Execute(16, true);
    int64_t steps = 0;
    for (auto _ : state) {
        b.Script.Execute(16, true);
        ++steps;
    }
    if (Failed(state, b.Context.Log)) return;
    state.counters["stmt/s"] = benchmark::Counter(static_cast<double>(steps * kBudget), benchmark::Counter::kIsRate);
}
BENCHMARK(LabelPass)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

#ifdef KEL_HAVE_LUA
const char* const kLua =
    "n, a, b, c, d, i, s = 0, 0, 0, 0, 0, 0, ''\n"
    "t = {}\n"
    "for k = 0, 15 do t[k] = 0 end\n"
    "function count(x) d = d + x end\n"
    "function run(rounds)\n"
    "  for r = 1, rounds do\n"
    "    n = n + 1\n"
    "    i = 0\n"
    "    while i < 100 do\n"
    "      a = a + i\n"
    "      b = a % 7\n"
    "      if b == 3 then c = c + 1 else c = c - 1 end\n"
    "      t[i % 16] = t[i % 16] + b\n"
    "      s = string.format('%d回目：', i) .. string.format('残り%d', c)\n"
    "      count(i)\n"
    "      i = i + 1\n"
    "    end\n"
    "  end\n"
    "  return a + b + c + d + n\n"
    "end\n";

void Lua(benchmark::State& state) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    if (luaL_dostring(L, kLua) != LUA_OK) {
        state.SkipWithError(lua_tostring(L, -1));
        lua_close(L);
        return;
    }
    const int rounds = 20;
    int64_t iterations = 0;
    for (auto _ : state) {
        lua_getglobal(L, "run");
        lua_pushinteger(L, rounds);
        lua_call(L, 1, 1);
        benchmark::DoNotOptimize(lua_tointeger(L, -1));
        lua_pop(L, 1);
        iterations += int64_t{rounds} * kLoopCount;
    }
    lua_close(L);
    state.counters["stmt/s"] =
        benchmark::Counter(static_cast<double>(iterations * kStatementsPerIteration), benchmark::Counter::kIsRate);
}
BENCHMARK(Lua)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

int main(int argc, char** argv) {
    TRatioReporter reporter;
    if (!reporter.RunBenchmarks(argc, argv)) return 1;
    const double ours = reporter.Counter("Execute", "stmt/s");
    const double lua = reporter.Counter("Lua", "stmt/s");
    std::printf("\nstatements per second (median of %d): %.2f M\n", reporter.Repetitions("Execute"), ours / 1e6);
    if (lua > 0) {
        std::printf("Lua 5.4, global variables:             %.2f M\n", lua / 1e6);
        std::printf("ratio (ours / Lua):                    %.4f\n", ours / lua);
    }
    const double few = reporter.Counter("LabelPass/1000", "stmt/s");
    const double many = reporter.Counter("LabelPass/100000", "stmt/s");
    if (few > 0 && many > 0)
        std::printf("label lines, 100,000 labels over 1,000: %.2fx the time per statement\n", few / many);
    benchmark::Shutdown();
    return 0;
}
