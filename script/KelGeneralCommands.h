// The words that need no script object: declaring, deleting and copying variables, evaluating,
// choosing the scoped objects of the routine, the target script, the string and
// regular-expression functions, the waits of the current routine, the request that enters or
// leaves the system script, and the debug words, which do nothing.
//
// The interpreter offers every statement to this handler after the control words, the jump words
// and the label line, and before the scoped objects; a word it does not know goes on to them.
// Words that return values evaluate their arguments first, then clear "ResultInt", "ResultStr"
// and "ResultObj", then write their elements.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class TKelGeneralCommands final : public IScriptWordHandler {
public:
    // True when the word is one of these, also when it failed and reported an error.
    bool Handle(TKelScript& script, int32_t code, TStringList& args) override;
};

namespace KelGeneralCommands {

// The handler an interpreter uses when it was given none before its set-up.
IScriptWordHandler& Handler();

// The string helpers of the words, on Shift-JIS text: positions are found only where a character
// starts, and only ASCII letters change case.
// Byte position (from 1) of the first occurrence of sub, both compared lower-cased; 0 for none.
int32_t BytePos(std::string_view sub, std::string_view text);
// Every occurrence of from replaced by to, compared without regard to ASCII case. A result that
// grows past kMaxTextSize is cut short there, still longer than the limit, for the caller to refuse.
std::string ReplaceText(std::string_view text, std::string_view from, std::string_view to);
std::string UpperAscii(std::string_view text);

}  // namespace KelGeneralCommands
