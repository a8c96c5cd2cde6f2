// The words of the interpreter-wide services that have no engine object of their own: the screen
// compositor and its transitions ("eff"), the back-log store ("log") and the camera ("cam"). Each
// handler takes its service from the interpreter, or from the owner script (the parent interpreter
// when there is one) while the target flag of "srct" is set, so that a system script can fade, log
// and move the camera of the game script. Arguments are evaluated by the interpreter that runs the
// statement, and transition files are found through its search folders.
//
// Every handler returns true for its own words, also when one fails with a message, and false for
// any other word. Every word that begins with "?" clears the result arrays before it writes them.
// A service the interpreter lacks makes its words do nothing (queries only clear the results).
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelEffectCommands {

bool DoEffectCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoCameraCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The three handlers under their kinds (Effect, Log, Camera).
void Register(TObjectKindRegistry& registry);

}  // namespace KelEffectCommands
