// The words of the interpreter's singleton objects "sys" (requests for the host and the run
// settings of the state block), "dat" (save files), "sdat" (the system-data file), "ext" (the host's
// extension hooks) and "tcp" (which accepts every word and does nothing).
//
// "sys", "dat" and "sdat" act on the target interpreter: the parent while the target flag of the
// state block is set and there is a parent, else the interpreter itself. Requests are left in, and
// results written to, the interpreter that runs the statement. Words that give results evaluate
// their arguments, then clear "ResultInt", "ResultStr" and "ResultObj", then write.
//
// Save names are relative to "SaveData\"; a name that would leave the folder is refused as a file
// that cannot be read or written (KelSaveData::SaveFilePath).
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelSystemCommands {

// Each returns whether the word is its kind's, also when it failed.
bool DoSysCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoDatCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoSysDatCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoExtendCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoTCPCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// Registers the five handlers for their kinds.
void Register(TObjectKindRegistry& registry);

}  // namespace KelSystemCommands
