// The words of buttons ("btn", "sbtn") and scroll bars ("bar").
//
// A button is a message window and an image as well, and understands their words: each statement
// is offered to those first, and only a word they do not know is tried as one of the button's:
//   lk / ?lk   lock or unlock (the low byte of the argument counts), or ask
//   ck / ?ck   check or uncheck, or ask
//   bc         a click on the button's click point, as the interpreter's update mask sees it
//   ?bc        1 when a click is recent; the answer is given once, the click counting as over
//              after the next update
//
// A scroll bar has a table of its own, close to the image words of the same names but acting on
// the bar's own record and both its pictures: i, in, ?in, out, ?out, ui, ?ui, us, ?us, sc, ?sc,
// dc, ?dc, l (thumb, track, vertical), ?l, p, ?p, e, ?e, d, v, ?v, mv, ?mv. Its value and maximum
// are reported only while the bar is enabled.
//
// Arguments and results follow the image words (KelImageCommands.h): a query clears the results
// before it writes, a failing word writes its message and still counts as handled, and a word
// of no table is left to the dispatcher. A script object without an engine object accepts the
// words and changes nothing.
#pragma once

#include <cstdint>
#include <span>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TButtonLib;
class TImageScrollBar;
class TKelObjectDataCustom;
class TKelScript;

namespace KelButtonCommands {

// The image and message-window words, then the button's own.
bool DoButtonCommand(TKelScript& script, int32_t code, TStringList& args, TButtonLib& button);
bool DoScrollBarCommand(TKelScript& script, int32_t code, TStringList& args, TImageScrollBar& bar);

// The entry points of the kinds: each finds its engine object and calls the table above.
bool ForwardBtnCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);
bool ForwardBarCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object);

// The words of the tables, as scripts write them: the button's own and the scroll bar's.
std::span<const char* const> ButtonWords();
std::span<const char* const> ScrollBarWords();

// The handlers under the kinds btn, sbtn and bar.
void Register(TObjectKindRegistry& registry);

}  // namespace KelButtonCommands
