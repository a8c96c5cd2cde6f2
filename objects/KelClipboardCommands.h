// The words of "clip": text to and from the desktop's clipboard, what it holds, a picture copied
// onto it, and string lists copied to and from it. The clipboard is the interpreter's linked one
// (TScriptLinks::Clipboard); without one the words change nothing and the queries give nothing.
// Failures of the clipboard are not reported; names of objects that are no string list are
// passed over in silence.
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelClipboardCommands {

bool DoClipboardCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

void Register(TObjectKindRegistry& registry);

}  // namespace KelClipboardCommands
