// The words of "inp" and "skey": the input device, the pointer, the cursor and the button focus,
// the clicks that buttons and scroll bars took, and the key bindings.
//
// "inp" asks this interpreter's input device (none linked: its queries give nothing). The cursor,
// focus and weight words ("ms", "mh", "bs", "bsv", "?bsv") act on the target script (the owner
// script while the target flag is set), whose frame step hands them on every frame. "sc" reports a
// click of the last four frame steps: once it has, it reports that click for the rest of its step
// only. "gbc" and "gsc" report each click of a button, each drag of a scroll bar once, the first
// in object order: the countdown the object runs down after a click marks it as not yet reported.
//
// "skey" changes the target's key bindings: "a" binds a key to an action ("click", "menu", "log",
// "quicksave", ... as the frame step knows them) with a label and a number, "d" unbinds it, "i"
// removes every binding, "lk" locks the table. A key bound already keeps its first binding.
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelInputCommands {

bool DoInputCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoSystemKeyCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// Both handlers under their kinds (Input, SystemKey).
void Register(TObjectKindRegistry& registry);

}  // namespace KelInputCommands
