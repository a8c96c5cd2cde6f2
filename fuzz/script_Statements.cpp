// Scripts of arbitrary bytes run by an interpreter with its own command words: control flow,
// jumps and subroutines, variables, the string and regular-expression words, waits. The input is
// cut at 0x00 0x00 into "a.s" and "b.s"; "a.s" is loaded and run for a few frames of a fake
// clock, a key and the pointer moving now and then. An error stops a frame's statements as in the
// engine; the next frame goes on. Besides not crashing, no text may pass the size limit and the
// thread may not grow past its stack limit.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelScriptLib.h"
#include "script/uBregExpLib.h"

namespace {

std::map<std::string, std::string> Files;

TFakeClock& FakeClock() {
    static TFakeClock clock;
    return clock;
}

// The regular expressions every run's interpreter links, bound once.
std::unique_ptr<TScriptRegExp>& RegExp() {
    static std::unique_ptr<TScriptRegExp> re;
    return re;
}

void Setup() {
    RegExp() = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
}

// The pack set serves the input's scripts.
void ServeFiles(TPackSet& packs) {
    auto key = [](const std::string& name) { return ClassLib::LowerAscii(PackLib::NormalizePath(name)); };
    packs.FileExistsHook = [key](const std::string& name) { return Files.count(key(name)) > 0; };
    packs.LoadFileHook = [key](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        auto it = Files.find(key(name));
        return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
    };
}

void CheckTexts(TKelScript& script) {
    for (int32_t i = 0; i < 16; ++i) {
        TVariableIndexes idx;
        idx.I[0] = i;
        TCalcValue v;
        script.Variables->ReadElement(TVariableScope::Game, "ResultStr", idx, 0, v, true);
        if (v.Text.size() > kMaxTextSize) std::abort();
    }
    if (script.Thread->Count() > kScriptStackLimit + 1) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = (Setup(), true);
    (void)ready;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t cut = input.find(std::string("\0\0", 2));
    Files.clear();
    Files["a.s"] = input.substr(0, cut);
    if (cut != std::string::npos) Files["b.s"] = input.substr(cut + 2);
    FakeClock().Now = 0;
    {
        THeadlessInputSource source;
        TInput keys(source, FakeClock());
        FuzzSupport::TFuzzContext context;
        ServeFiles(context.Packs);
        TKelScript script;
        TScriptLinks links;
        links.Context = &context.Context;
        links.Input = &keys;
        links.Clock = &FakeClock();
        links.RegExp = RegExp().get();
        if (!script.Setup(links)) std::abort();
        // Fewer statements a frame than the engine runs keep one input quick; loops still turn.
        script.State.LinesPerFrame = 300;
        if (script.Reader->LoadScript("a.s", true)) {
            for (int frame = 0; frame < 6; ++frame) {
                if (frame == 2) source.Press(13);
                if (frame == 3) source.Release(13);
                source.PointerAt = {frame * 40, frame * 30};
                FakeClock().Now += 16;
                keys.Update();
                script.Execute(16, true);
                CheckTexts(script);
                context.Log.ClearErrorLog();
                context.Log.ErrorFlag = false;
            }
        }
    }
    return 0;
}
