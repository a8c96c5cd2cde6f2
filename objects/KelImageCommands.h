// The words of the screen objects that are images at heart: plain images ("img", "simg"), the
// interpreter's two cursor images ("csr", "scsr"), buttons ("btn", "sbtn") and scroll bars
// ("bar"). A message window or a button understands every image word as well: the handler of
// message windows offers each statement to the image words first, and the button handler offers
// it to the message-window words first, so a button's own words are tried last.
//
// Arguments are read through TKelCommandArgs: evaluated, an empty argument the integer 0, file
// names resolved through the interpreter's search folders. Results go to "ResultInt" and
// "ResultStr"; every word that begins with "?" clears the results before it writes them, while
// "gx", "gy", "gz", "gm", "ge" and "gf" only overwrite the elements they name. A word that fails
// writes its message to the error log and still counts as handled; a word that is not in a table
// is left to the dispatcher, which reports it as undefined.
//
// A script object whose engine object is missing (a cursor kind in an interpreter that has no
// cursor images) still accepts its words: they change nothing, and queries only clear the results.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;
class TImageLib;

namespace KelImageCommands {

// The image words on an image, a message window's frame or a button's picture.
bool DoImageCommand(TKelScript& script, int32_t code, TStringList& args, TImageLib& image);

// The entry points of the kinds: each picks its target and calls the table above.
bool ForwardImgCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
// The cursor images of the owner script while the target flag of "srct" is set, else this
// interpreter's.
bool ForwardCsrCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool ForwardScsrCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The words of the table, as scripts write them.
std::span<const char* const> ImageWords();

// Whether code is one of the words; a word of the table that reaches no object clears the results
// when it is a query, and is accepted.
bool AcceptWithoutTarget(TKelScript& script, int32_t code, std::span<const char* const> words);

// The handlers under the kinds img, simg, csr and scsr.
void Register(TObjectKindRegistry& registry);

}  // namespace KelImageCommands
