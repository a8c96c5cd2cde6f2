// The words of message windows (kind "msg"). A window is an image with text typed into it, so each
// statement goes to the image words first (the frame's picture, place, fades, motions, and "e" and
// "d", which open and close the window) and only then to the window's own words: appenders of text
// and inline commands, the speaker and the voice, the typing and the layout.
//
// The text appenders go through TMessageLib::AddText, which opens an enabled window again and turns
// line breaks into new-line commands. Texts handed to "opc", "opr" and "orb" go in unchanged: a
// comma or a closing bracket inside them ends the argument or the command where the typesetter
// reads them.
//
// Results and messages follow the image words: every query clears the results first ("gt" as well,
// although it does not begin with "?"), a failing word writes its message and counts as handled, a
// word of neither table is left to the dispatcher.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;
class TMessageLib;

namespace KelMessageCommands {

// The image words, then the window's own, on a message window or a button's caption.
bool DoMessageCommand(TKelScript& script, int32_t code, TStringList& args, TMessageLib& window);

// The entry point of the kind: the script object's window.
bool ForwardMsgCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The window's own words, as scripts write them (the image words are KelImageCommands::ImageWords).
std::span<const char* const> MessageWords();

// The handler under the kind msg.
void Register(TObjectKindRegistry& registry);

}  // namespace KelMessageCommands
