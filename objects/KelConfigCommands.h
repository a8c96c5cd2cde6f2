// The words of "cfg": the user settings of the live configuration (TSystemConfig::Config) and the
// game's defaults for them (TSystemConfig::DefaultConfig).
//
// Every setting has three words: the bare word stores A1 after the setting's value rule, "?" and
// the word read the live value, "d" and the word the default. A store that leaves the setting as
// it was does nothing more; a change to a setting that the display, the sound or the fonts must
// take up leaves the request to apply the configuration (6) for the engine core, which applies the
// whole configuration after the script's slice. The font words work on the eight font slots, the
// speaker words on the 32 voice channels, found by a speaker's name in their lists.
//
// Reads clear the result arrays first, except "dfs", which writes "ResultInt"[0] alone. Values
// out of range are clamped, never reported; only a font slot outside 0..7 and a speaker name that
// no list holds are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelConfigCommands {

bool DoConfigCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

void Register(TObjectKindRegistry& registry);

// The words built from the settings table and the speaker table, as scripts write them; the font
// words are compared one by one in the handler and are not among them.
std::vector<std::string> TableWords();

}  // namespace KelConfigCommands
