// The words of string lists and of the reader's replace rules with arbitrary arguments. Each line
// of the input is one statement: its first byte picks the object (two lists, the replace object)
// and its second byte the word from that object's table; the rest of the line is the argument
// text, in which bytes from 0xF0 up stand for the tokens below. After the statements a short
// script is read through the rules the words left. Besides not crashing: no result text passes
// its limit, a list holds no more lines than the words can make, each list saves a state that
// loads again into an equal list consuming exactly what was written, and no line the reader
// hands out passes the text limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelGeneralCommands.h"
#include "script/KelListCommands.h"
#include "script/KelScriptLib.h"
#include "script/KelServiceCommands.h"
#include "script/uBregExpLib.h"
#include "script/uKelObjectKinds.h"

namespace {

const char* const kTokens[16] = {
    "-1", "0", "1",       "2",    "1048576",       "2147483647", "-2147483648", "\"k=v\"",
    "L",  "M", "\"a,b\"", "{ab}", "\"$7FFFFFFF\"", "\"/\"",      "\"line\"",    "{(.)}",
};

struct TWorld {
    TWorld() {
        FuzzSupport::ServeFiles(Context.Packs, Files);
        Files["a.s"] = "@@top\r\n\\line,ab\r\n\r\nline (x)\r\nk=v,a/b\r\n";
        KelListCommands::Register(Kinds);
        KelServiceCommands::Register(Kinds);
        Script.Kinds = &Kinds;
        Script.Words.General = &KelGeneralCommands::Handler();
        TScriptLinks links;
        links.Context = &Context.Context;
        links.Input = &Input;
        links.Clock = &FakeClock;
        links.RegExp = RegExp.get();
        Script.Setup(links);
        Script.ExecuteLine("\\var,list,L");
        Script.ExecuteLine("\\var,list,M");
        for (const char* variable : {"L", "M", "rep"})
            Targets.push_back(Script.Evaluate(variable).Text);
    }

    std::unique_ptr<TScriptRegExp> RegExp = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    FuzzSupport::TFuzzContext Context;
    TFakeClock FakeClock;
    THeadlessInputSource InputSource;
    TInput Input{InputSource, FakeClock};
    std::map<std::string, std::string> Files;
    TObjectKindRegistry Kinds;
    TKelScript Script;
    std::vector<std::string> Targets;  // the object names of the lists and of the replace object
};

void Check(bool ok) {
    if (!ok) std::abort();
}

// A list holds at most what "c" makes, and a line for each statement or each byte of the argument
// texts that "ad" splits.
void CheckList(TKelObjectDataCustom* object, size_t argumentBytes) {
    auto* list = dynamic_cast<TKelObjectDataStringList*>(object);
    Check(list != nullptr);
    Check(static_cast<size_t>(list->Lines().Count()) <= KelListCommands::kMaxCountLines + argumentBytes + 64);
    TMemoryStream saved;
    Check(list->SaveToStream(saved));
    saved.SetPosition(0);
    TKelObjectDataStringList copy("copy");
    Check(copy.LoadFromStream(saved) && saved.Remaining() == 0);
    Check(copy.Lines().Items == list->Lines().Items);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TKelScript& script = world.Script;
    world.Context.Log.ClearErrorLog();
    world.Context.Settings.Skipping = false;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::span<const char* const> tables[] = {KelListCommands::ListWords(), KelListCommands::ListWords(),
                                                   KelServiceCommands::ReplaceWords()};
    size_t argumentBytes = 0;
    FuzzSupport::ForEachStatement(bytes, 64, [&](std::string_view line, int) {
        const auto pick = static_cast<uint8_t>(line[0]) % 3;
        const std::span<const char* const> words = tables[pick];
        TScriptRoutine* routine = script.CurrentRoutine();
        Check(routine != nullptr);
        routine->ScopeNames[0] = world.Targets[pick];
        const char* word = words[static_cast<uint8_t>(line[1]) % words.size()];
        // Writing files is left out: an input must not leave files behind.
        if (std::string_view(word) == "stf") return;
        const std::string arguments = FuzzSupport::ExpandTokens(line.substr(2), kTokens);
        argumentBytes += arguments.size();
        script.ExecuteLine(std::string("\\") + word + "," + arguments);
        world.Context.Log.ErrorFlag = false;
        for (int32_t i = 0; i < 16; ++i) {
            TVariableIndexes idx;
            idx.I[0] = i;
            TCalcValue v;
            script.Variables->ReadElement(TVariableScope::Game, "ResultStr", idx, 0, v, true);
            Check(v.Text.size() <= kMaxTextSize);
        }
    });
    CheckList(script.Objects->Find(world.Targets[0]), argumentBytes);
    CheckList(script.Objects->Find(world.Targets[1]), argumentBytes);

    // The rules as the reader applies them to the lines it fetches.
    if (script.Reader->LoadScript("a.s", true) && script.Reader->JumpLabel("@@top", 0, 0)) {
        for (int i = 0; i < 8; ++i) {
            Check(script.Reader->CurrentLine().size() <= kMaxTextSize);
            if (!script.Reader->NextLine()) break;
        }
    }

    // The next input starts from empty lists and no rules.
    for (const std::string& target : world.Targets) {
        script.CurrentRoutine()->ScopeNames[0] = target;
        script.ExecuteLine("\\i");
    }
    return 0;
}
