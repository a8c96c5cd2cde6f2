// An example plug-in object library: counters that scripts count with, each with a label. Built by
// the engine's build as CounterObject.so; a game that copies it to its DLL folder names it in
// "System\etc\Game.dat":
//
//     DLLObject[0]=DLL\CounterObject.dll,counter
//
// and a script then uses the type "counter":
//
//     \gvar,counter,apples     a new counter, at 0
//     \scp,apples
//     \add,5                   adds 5 (1 without an argument); ResultInt[0] := the new value
//     \label,"red apples"      names it
//     \get                     ResultInt[0] := 5, ResultStr[0] := "red apples=5"
//     \set,0                   sets the value, no results
//
// A reset of the object sets it back to 0 without a label. Any other word is not this type's, and
// the script reports it as an undefined command.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "kel_plugin.h"

namespace {

struct TCounter {
    int32_t Value = 0;
    std::string Label;
};

// The counters by handle. The engine keeps the handle and gives it back with every call.
std::map<int32_t, TCounter> Counters;
int32_t LastHandle = 0;

// The word as the script wrote it, with its backslash and in any case.
bool IsWord(const char* name, const char* word) {
    if (*name == '\\') ++name;
    return strcasecmp(name, word) == 0;
}

// A text into a result field: at most 255 bytes and the terminating zero.
void PutResult(char (&field)[KEL_PLUGIN_STRING_SIZE], const std::string& text) {
    std::snprintf(field, sizeof field, "%s", text.c_str());
}

}  // namespace

extern "C" {

void _DLLInitialize(void) {
    Counters.clear();
}

void _DLLFinalize(void) {
    Counters.clear();
}

int32_t ObjectCreate(void) {
    // Handles start at 1 and are never given twice while the library is loaded.
    ++LastHandle;
    Counters[LastHandle] = TCounter{};
    return LastHandle;
}

void ObjectDestroy(int32_t handle) {
    Counters.erase(handle);
}

void ObjectInit(int32_t handle) {
    auto it = Counters.find(handle);
    if (it != Counters.end()) it->second = TCounter{};
}

void ObjectTimeMove(int32_t, int32_t) {}

int32_t ObjectOP(int32_t handle, const char* name, KelPluginBlock* block) {
    auto it = Counters.find(handle);
    if (it == Counters.end()) return KEL_OP_UNHANDLED;
    TCounter& counter = it->second;
    if (IsWord(name, "add")) {
        // An argument that was left out arrives as an empty text.
        const int32_t step = block->Strings[0][0] != 0 ? block->Ints[0] : 1;
        counter.Value = static_cast<int32_t>(static_cast<uint32_t>(counter.Value) + static_cast<uint32_t>(step));
        std::memset(block, 0, sizeof *block);
        block->Ints[0] = counter.Value;
        return KEL_OP_RESULTS;
    }
    if (IsWord(name, "set")) {
        counter.Value = block->Ints[0];
        return KEL_OP_HANDLED;
    }
    if (IsWord(name, "label")) {
        counter.Label = block->Strings[0];
        return KEL_OP_HANDLED;
    }
    if (IsWord(name, "get")) {
        std::memset(block, 0, sizeof *block);
        block->Ints[0] = counter.Value;
        PutResult(block->Strings[0], counter.Label + "=" + std::to_string(counter.Value));
        return KEL_OP_RESULTS;
    }
    return KEL_OP_UNHANDLED;
}

}  // extern "C"
