// Simple statements per second through the interpreter's frame step, against Lua 5.4 running the
// equivalent program in the same run. The script loops without end: a counted loop whose body
// assigns, computes, compares, branches and calls a subroutine, and a jump back to the top. Every
// frame step runs exactly its budget of statements (labels and the statements of skipped branches
// count, as they cost a pass), so statements = steps x budget. Lua runs the same body, and each of
// its loop iterations is counted as the same number of statements as one iteration of the script.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "script/KelScriptLib.h"

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

// The statements of one loop iteration as the interpreter passes them: two assignments, the
// condition, the taken branch, "else", the skipped branch, "fi", the call, the subroutine's label
// line, its assignment, the return, and "next".
constexpr int kStatementsPerIteration = 12;

const char* const kScript =
    "@@main\r\n"
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
    "  \\sub,@@!f\r\n"
    "\\next\r\n"
    "\\jmp,@@top\r\n"
    "@@!f\r\n"
    "\\cal,d=d+1\r\n"
    "\\ret\r\n";

// "cal": evaluates each non-empty argument, as the general words do.
class TCalWord final : public IScriptWordHandler {
public:
    bool Handle(TKelScript& script, int32_t code, TStringList& args) override {
        if (code != Cmd("cal")) return false;
        for (int32_t i = 1; i < args.Count(); ++i)
            if (!args[i].empty()) script.Evaluate(args[i]);
        return true;
    }
};

struct TBenchScript {
    TCalWord Cal;
    TKelScript Script;

    TBenchScript() {
        PackLib::FileExistsHook = [](const std::string& name) { return ClassLib::SameTextAscii(name, "bench.s"); };
        PackLib::LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
            if (!ClassLib::SameTextAscii(name, "bench.s")) return nullptr;
            return std::make_unique<TMemoryStream>(std::string(kScript));
        };
        Script.Words.General = &Cal;
        Script.Setup(TScriptLinks{});
        const int32_t one[4] = {1, 1, 1, 1};
        for (const char* v : {"a", "b", "c", "d", "i", "n"})
            Script.Variables->Declare(TVariableScope::Game, v, "", one, 0, TCalcValueType::Integer, 0xFF, false);
        Script.Reader->LoadScript("bench.s", true);
        Script.Reader->JumpLabel("@@main", 0, 0);
        Script.State.LinesPerFrame = kBudget;
    }
    ~TBenchScript() {
        PackLib::FileExistsHook = nullptr;
        PackLib::LoadFileHook = nullptr;
    }
};

double gOursRate = 0, gLuaRate = 0;

void BM_Execute(benchmark::State& state) {
    TBenchScript b;
    int64_t steps = 0;
    for (auto _ : state) {
        b.Script.Execute(16, true);
        ++steps;
    }
    if (ErrorLogLib::ErrorFlag || !ErrorLogLib::ErrorList.Items.empty()) {
        state.SkipWithError("the script reported an error");
        return;
    }
    state.SetItemsProcessed(steps * kBudget);
    state.counters["stmt/s"] = benchmark::Counter(static_cast<double>(steps * kBudget), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Execute)->Unit(benchmark::kMicrosecond);

#ifdef KEL_HAVE_LUA
const char* const kLua =
    "local n, a, b, c, d = 0, 0, 0, 0, 0\n"
    "local function f() d = d + 1 end\n"
    "function run(rounds)\n"
    "  for r = 1, rounds do\n"
    "    n = n + 1\n"
    "    for i = 0, 99 do\n"
    "      a = a + i\n"
    "      b = a % 7\n"
    "      if b == 3 then c = c + 1 else c = c - 1 end\n"
    "      f()\n"
    "    end\n"
    "  end\n"
    "  return a + b + c + d + n\n"
    "end\n";

void BM_Lua(benchmark::State& state) {
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
BENCHMARK(BM_Lua)->Unit(benchmark::kMicrosecond);
#endif

// Collects the statement rates to print the ratio after the run.
class TRateReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& r : runs) {
            auto it = r.counters.find("stmt/s");
            if (it == r.counters.end() || r.error_occurred) continue;
            if (r.benchmark_name().rfind("BM_Execute", 0) == 0) gOursRate = it->second.value;
            if (r.benchmark_name().rfind("BM_Lua", 0) == 0) gLuaRate = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    TRateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::printf("\nscript statements/s: %.0f\n", gOursRate);
    if (gLuaRate > 0) {
        std::printf("Lua 5.4 statements/s: %.0f\n", gLuaRate);
        std::printf("ratio (script / Lua): %.4f\n", gOursRate / gLuaRate);
    }
    return 0;
}
