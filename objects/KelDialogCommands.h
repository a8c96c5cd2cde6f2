// The words of the "dlgs" object: the modal forms a script opens for one answer. The file open
// and save dialogs, the colour dialog, the font settings form, the one-line input form and the
// memo viewer go through the interpreter's linked forms (platform/ScriptForms.h); the one-, two-
// and three-button message forms through the message dialogs of the foundation.
//
// Every form belongs to the interpreter's dialog owner and is gone when the word ends; after each
// word the input device is reset, so that keys and clicks made in the form do not reach the
// script. An empty caption shows the application's title (the file dialogs keep their own title
// then). Words with results evaluate their arguments, clear "ResultInt", "ResultStr" and
// "ResultObj", then write them. Without linked forms a form ends as cancelled at once.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

namespace KelDialogCommands {

bool DoDialogsCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The words of the table, as scripts write them.
std::span<const char* const> DialogsWords();

// The handler under the kind dlgs.
void Register(TObjectKindRegistry& registry);

}  // namespace KelDialogCommands
