// The words of the singletons that reach the interpreter's own services: the text-input dialog
// ("dlg"), the search folders ("path"), the reader's replace rules ("rep"), and the two label logs
// that the host shares between its interpreters, read text ("slog", the object "llog") and file
// use ("flog").
//
// "dlg", "path" and "rep" act on the owner script while the target flag is set, on this
// interpreter otherwise; the log words always act on this interpreter's switches and patterns.
// Results go to this interpreter's variables: query words evaluate their arguments, clear
// "ResultInt", "ResultStr" and "ResultObj", then write element 0. None of these words reports a
// failure.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

namespace KelServiceCommands {

// The longest line prefix and empty-line text of "rep" "et" and "nt": the reader saves them in
// fields of this size.
constexpr size_t kMaxLineText = 127;
// The longest file-log pattern of "flog" "a".
constexpr size_t kMaxPattern = 15;

bool DoDialogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoPathCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoReplaceCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoSkipLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoFileLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The words of the replace table, as scripts write them.
std::span<const char* const> ReplaceWords();

// The handlers under the kinds dlg, path, rep, slog and flog.
void Register(TObjectKindRegistry& registry);

}  // namespace KelServiceCommands
