// The words of "math" and "misc".
//
// "math": integer functions whose result goes to "ResultInt"[0]. Real values are rounded half to
// even into 64 bits, of which the result keeps the low 32; a value that is no number or does not
// fit in 64 bits gives 0. Angles are integers in thousandths of a radian. "rnd" draws from the
// game's runtime generator (TRandomState::Random), the range 16777215 when no argument is written.
//
// "misc": checksums and scrambled texts, unique ids, the clock, Shift-JIS file-name parts, the
// user's special folders, files on the disk, opening files and starting programs through the
// desktop, copying a data file out to the disk, the system-information library and the packs.
// Failures of the desktop are not reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TDllSystemInfo;
class TKelScript;
class TKelObjectDataCustom;

namespace KelUtilityCommands {

bool DoMathCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoMiscCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The parts of a Shift-JIS path, whose delimiters are "\" and ":" (never the second byte of a
// two-byte character): the name after the last delimiter; the extension, from the last "." of the
// name, dot included ("" without one); the folder, up to and including the last delimiter; the
// path with its extension replaced (or the extension appended).
std::string FileNamePart(std::string_view path);
std::string ExtensionPart(std::string_view path);
std::string FolderPart(std::string_view path);
std::string ChangeExtension(std::string_view path, std::string_view extension);

// The answer of the system-information library to a key, memory and drive sizes in whole
// mebibytes: a key holding "mem,avail", "mem,total", "drive,avail" or "drive,total" (any case)
// has its decimal count of bytes divided by 1024 twice. An answer that is no such number stays.
// Without the library every answer is empty.
std::string SystemInfo(const TDllSystemInfo* library, const std::string& key);

// Both handlers under their kinds (Math, Misc).
void Register(TObjectKindRegistry& registry);

}  // namespace KelUtilityCommands
