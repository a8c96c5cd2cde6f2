// The words of the two script objects that hold lines of text: a string list ("list"), which
// scripts fill, edit, sort, join and write to a file, and a text file ("file"), which reads a data
// file through the packs and answers its keys and lines.
//
// Arguments are read through TKelCommandArgs (evaluated; an empty argument the integer 0 and the
// empty text). Query words evaluate their arguments, clear "ResultInt", "ResultStr" and
// "ResultObj", then write element 0. Line terms: a line's name is the text before its first "=",
// its value the text after it; names and lines compare without regard to ASCII case. A number
// read from a text is its 64-bit reading ("$" or "0x" for hexadecimal) cut to the low 32 bits,
// 0 when the text is no number.
//
// Every word that names a line checks its index and refuses one outside the list with its
// message, changing nothing. A joined text ("txt") above 65535 bytes is refused as well: save
// games keep texts with a 16-bit length.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

namespace KelListCommands {

// The most lines "c" makes a list hold; a larger count is refused like a negative one.
constexpr int32_t kMaxCountLines = 1 << 20;
// The longest text "txt" returns.
constexpr size_t kMaxJoinedText = 0xFFFF;

bool DoListCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoFileCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The words of each table, as scripts write them.
std::span<const char* const> ListWords();
std::span<const char* const> FileWords();

// The handlers under the kinds list and file.
void Register(TObjectKindRegistry& registry);

}  // namespace KelListCommands
