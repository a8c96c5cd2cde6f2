// The records of a save game that the interpreter keeps besides its threads and variables, read
// from arbitrary bytes. The first byte picks the reader:
//   0 search folders, 1 key bindings, 2 the state block, 3 a text file object, 4 a label log,
//   5 a string-list object, 6 a game-variable table with script objects, made and loaded by an
//   interpreter through its object kinds.
// Whatever loads must save to a record that loads again and saves to the same bytes; a record
// that does not load leaves the reader as it was or empty, never broken.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "foundation/PackLib.h"
#include "foundation/uInputDevice.h"
#include "fuzz/FuzzSupport.h"
#include "platform/Clock.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelFileIO.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"
#include "script/uKelPath.h"
#include "script/uKelSystemKey.h"
#include "script/uLabelLog.h"

namespace {

// Saves with save, loads that into a fresh reader with load and saves again: both records must
// be the same bytes, and the load must use the whole record.
template <class TSave, class TLoad>
void CheckRoundTrip(TSave save, TLoad load) {
    TMemoryStream first;
    save(first);
    first.SetPosition(0);
    if (!load(first) || first.Remaining() != 0) std::abort();
    TMemoryStream second;
    save(second);
    if (second.AsString() != first.AsString()) std::abort();
}

// The files a text file object may name: a few lines, one without an end, and a long one.
const std::map<std::string, std::string>& Files() {
    static const std::map<std::string, std::string> files = {
        {"a.txt", "key=value\r\nline two\nthree\rlast"},
        {"system\\b.txt", "x=1"},
        {"empty.txt", ""},
    };
    return files;
}

TFakeClock& FakeClock() {
    static TFakeClock clock;
    return clock;
}

// The pack set serves the files above.
void ServeFiles(TPackSet& packs) {
    packs.FileExistsHook = [](const std::string& name) {
        return Files().count(ClassLib::LowerAscii(PackLib::NormalizePath(name))) > 0;
    };
    packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        auto it = Files().find(ClassLib::LowerAscii(PackLib::NormalizePath(name)));
        return it == Files().end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
    };
}

void SearchFolders(TMemoryStream& in) {
    TKelPath path;
    path.Add("kept\\");
    path.Lock = 7;
    if (!path.LoadFromStream(&in)) {
        if (path.Count() != 1 || path[0] != "kept\\" || path.Lock != 7) std::abort();
        return;
    }
    TKelPath copy;
    CheckRoundTrip([&](TStream& s) { path.SaveToStream(&s); }, [&](TStream& s) { return copy.LoadFromStream(&s); });
    std::string found;
    path.Resolve("a.txt", false, found);
}

void KeyBindings(TMemoryStream& in) {
    THeadlessInputSource source;
    TInput input(source, FakeClock());
    TKelSystemKey keys(&input);
    keys.Add(65, "click", "", "", "");
    if (!keys.LoadFromStream(&in)) {
        if (keys.Count() != 1 || keys.Items(0)->KeyCode != 65) std::abort();
        return;
    }
    // Bindings of one key code are added once: the table holds each code once.
    for (int32_t i = 0; i < keys.Count(); ++i)
        if (keys.IndexOfKey(keys.Items(i)->KeyCode) != i) std::abort();
    TKelSystemKey copy(&input);
    CheckRoundTrip([&](TStream& s) { keys.SaveToStream(&s); }, [&](TStream& s) { return copy.LoadFromStream(&s); });
    keys.GetPressed();
}

void StateBlock(TMemoryStream& in) {
    TScriptStateBlock block;
    if (!block.Read(in)) return;
    for (const auto& d : block.SaveDescriptions)
        if (d.size() > 63) std::abort();
    for (const std::string* f : {&block.LoadScreenFile, &block.SaveScreenFile, &block.MenuScreenFile,
                                 &block.LogScreenFile, &block.SceneReturnLabel})
        if (f->size() > 127) std::abort();
    TScriptStateBlock copy;
    CheckRoundTrip([&](TStream& s) { block.Write(s); }, [&](TStream& s) { return copy.Read(s); });
    TMemoryStream saved;
    block.Write(saved);
    if (saved.Size() != TScriptStateBlock::kSize) std::abort();
}

void TextFile(TMemoryStream& in) {
    TPackSet packs;
    ServeFiles(packs);
    TFileIOLib file(packs);
    if (!file.LoadFromStream(&in)) return;
    // A name that resolves is loaded under its resolved name; any other leaves the object empty.
    if (!file.FileName().empty() && Files().count(ClassLib::LowerAscii(file.FileName())) == 0) std::abort();
    if (file.FileName().empty() && file.Lines().Count() != 0) std::abort();
    TFileIOLib copy(packs);
    CheckRoundTrip([&](TStream& s) { file.SaveToStream(&s); }, [&](TStream& s) { return copy.LoadFromStream(&s); });
    if (copy.Lines().Items != file.Lines().Items) std::abort();
    file.GetValue("key");
    file.GetLine(file.Lines().Count() - 1);
}

void LabelLog(TMemoryStream& in) {
    TLabelLog log;
    if (!log.LoadFromStream(&in)) {
        if (log.Table().ItemCount() != 0) std::abort();
        return;
    }
    TLabelLog copy;
    CheckRoundTrip([&](TStream& s) { log.SaveToStream(&s); }, [&](TStream& s) { return copy.LoadFromStream(&s); });
    log.SetCount("start.s@@top", 3, false);
    log.GetCount("start.s@@top");
}

void StringList(TMemoryStream& in) {
    TKelObjectDataStringList list("lines");
    if (!list.LoadFromStream(in)) return;
    TKelObjectDataStringList copy("copy");
    CheckRoundTrip([&](TStream& s) { list.SaveToStream(s); }, [&](TStream& s) { return copy.LoadFromStream(s); });
}

void ObjectTable(TMemoryStream& in) {
    THeadlessInputSource source;
    TInput input(source, FakeClock());
    FuzzSupport::TFuzzContext context;
    ServeFiles(context.Packs);
    TKelScript script;
    TScriptLinks links;
    links.Context = &context.Context;
    links.Input = &input;
    links.Clock = &FakeClock();
    if (!script.Setup(links)) std::abort();
    IScriptVariables& vars = *script.Variables;
    if (!vars.LoadFromStream(TVariableScope::Game, in)) return;
    // Every object a loaded object variable names lives in the manager.
    TMemoryStream saved;
    vars.SaveToStream(TVariableScope::Game, saved);
    saved.SetPosition(0);
    TKelScript other;
    if (!other.Setup(links)) std::abort();
    if (!other.Variables->LoadFromStream(TVariableScope::Game, saved) || saved.Remaining() != 0) std::abort();
    TMemoryStream again;
    other.Variables->SaveToStream(TVariableScope::Game, again);
    if (again.AsString() != saved.AsString()) std::abort();
    if (other.Objects->Count() != script.Objects->Count()) std::abort();
    for (int32_t i = 0; i < script.Objects->Count(); ++i)
        script.Objects->Item(i)->GetInfo();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    TMemoryStream in(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
    switch (data[0] % 7) {
        case 0:
            SearchFolders(in);
            break;
        case 1:
            KeyBindings(in);
            break;
        case 2:
            StateBlock(in);
            break;
        case 3:
            TextFile(in);
            break;
        case 4:
            LabelLog(in);
            break;
        case 5:
            StringList(in);
            break;
        default:
            ObjectTable(in);
            break;
    }
    return 0;
}
