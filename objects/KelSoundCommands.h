// The words of sound and movies. Every interpreter declares the object arrays "snd" and "dsnd" and
// the single object "show": element i of "snd" is stream i of the streamed sound library, element i
// of "dsnd" is effect channel i of the effect library, and "show" drives the interpreter's movie
// object. The channel is the number after the comma in the object's name; the libraries ignore
// channels outside their range. These words always act on the interpreter's own sound library and
// movie, whatever the target flag of "srct" says.
//
// Every handler returns true for its own words, also when one fails with a message, and false for
// any other word. Which words clear the result arrays first is not the "?" rule here: each word
// below says so where it does. A load that fails writes its message (which stops the script at
// the end of the frame, as every script error does) and is never raised through the interpreter.
//
// Movie words while the "MovieDecoder" setting is 0 (movies skipped by the player's choice): the
// movie object only keeps its record, and "l" writes no message, so that a game goes on past its
// movies instead of stopping with a script error.
#pragma once

#include <cstdint>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;
class TKelObjectDataCustom;

namespace KelSoundCommands {

bool DoSoundCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoDirectSoundCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool DoDirectShowCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The handlers under their kinds (Sound, DirectSound, DirectShow).
void Register(TObjectKindRegistry& registry);

}  // namespace KelSoundCommands
