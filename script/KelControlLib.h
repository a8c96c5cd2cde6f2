// Control flow of the interpreter: the control words ("if", "else", "then", "fi", "end", "next",
// "for", "case", "ans"), the jump words ("jmp", "go", "sub", "ret", "brk", "cnt"), the label
// argument of jumps and the call of a subroutine by label for events. The control words see every
// statement first, skipped ones included: they keep the block stack balanced and swallow whatever
// else a skipped region holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;

namespace KelControlLib {

// args[0] is the command word, args[1..] the unevaluated arguments (at least 9 items).
bool DoControlCommand(TKelScript& script, int32_t code, TStringList& args);
bool DoJumpCommand(TKelScript& script, int32_t code, TStringList& args);
// Whether the code is one of the jump words; DoJumpCommand declines any other code without
// touching anything that the control words have not touched before it.
bool IsJumpWord(int32_t code);
// The label a word names. Nothing gives nothing; "@@" followed by at least one byte is taken as it
// stands; any other text is an expression whose value, as text, names the label.
std::string GetLabelArgument(TKelScript& script, std::string_view text);
// Runs "\sub" to the label and hands the argument to the new routine; false when the reader does
// not know the label.
bool CallSubroutineByLabel(TKelScript& script, const std::string& label, const std::string& argument);

// The handlers the interpreter installs for its control and jump words.
IScriptWordHandler& ControlWords();
IScriptWordHandler& JumpWords();

}  // namespace KelControlLib
