// The typed reader that the command handlers of object kinds read their arguments through, so that
// each word states its arguments in one line and every handler reads them alike.
//
// A statement reaches a handler as a list whose item 0 is the word and items 1, 2, ... are the
// arguments as written (A1, A2, ...). Missing arguments read as empty items: the interpreter pads
// the list to 9 items, and Pad makes room for words that take more.
//
// How each reading treats an argument:
//   Raw(i)      the item exactly as written, not evaluated
//   Literal(i)  the text inside braces when the item begins with "{", else the item as written
//   Braced(i)   the text inside braces when the item begins with "{", else the evaluated text
//   Value(i)    evaluated by the interpreter at its current depth; an empty item is the integer 0
//               with an empty text and is never handed to the evaluator, so it writes no message
//   Int(i)      the integer of Value(i)
//   Text(i)     the text of Value(i)
//   Label(i)    a word starting "@@" taken as written, anything else evaluated to its text
//   File(i)     Text(i) resolved through the interpreter's search folders, telling the file-use log
//               of what was found; empty when no folder holds it
//   Object(i)   Text(i) looked up by name among the interpreter's script objects; null for none
//   Channel(i, effect)  Int(i) when it names a stream (effect false) or an effect channel of the
//               interpreter's sound library; otherwise -1, after the word's message that the
//               channel is out of range
//   Ints<N>(i)  N integers from item i on, evaluated in the order written
//
// Results go to element i of the game arrays "ResultInt", "ResultStr" and "ResultObj". Words that
// return values evaluate their arguments first, then ClearResults, then write.
//
// A handler reads like the table of its words:
//     bool DoCameraCommand(TKelScript& s, int32_t code, TStringList& args, TKelObjectDataCustom&) {
//         TKelCommandArgs a(s, args);
//         switch (code) {
//             case Cmd("p"): {
//                 auto [x, y, ms] = a.Ints<3>();
//                 camera->MoveTo(x, y, ms);
//                 return true;
//             }
//             case Cmd("?p"):
//                 a.ClearResults();
//                 a.SetInt(0, camera->TargetX);
//                 ...
//         }
//     }
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/ClassLib.h"
#include "script/KelCalcValue.h"

class TKelScript;
class TKelObjectDataCustom;

class TKelCommandArgs {
public:
    // Reads the arguments of the statement for the interpreter that runs it: its variables, depth,
    // search folders and objects.
    TKelCommandArgs(TKelScript& script, TStringList& args) : Owner(script), Args(args) {}

    TKelScript& Script() const { return Owner; }
    // The number of arguments after the word, empty ones included.
    int32_t Count() const { return Args.Count() > 0 ? Args.Count() - 1 : 0; }
    // Adds empty items until there are at least n arguments.
    void Pad(int32_t n);
    bool Empty(int32_t i) const { return Raw(i).empty(); }

    const std::string& Raw(int32_t i) const;
    std::string Literal(int32_t i) const;
    std::string Braced(int32_t i) const;
    TCalcValue Value(int32_t i) const;
    int32_t Int(int32_t i) const { return Value(i).Value; }
    std::string Text(int32_t i) const { return Value(i).Text; }
    std::string Label(int32_t i) const;
    std::string File(int32_t i) const;
    TKelObjectDataCustom* Object(int32_t i) const;
    int32_t Channel(int32_t i, bool effect) const;

    template <size_t N>
    std::array<int32_t, N> Ints(int32_t first = 1) const {
        std::array<int32_t, N> out{};
        for (size_t k = 0; k < N; ++k)
            out[k] = Int(first + static_cast<int32_t>(k));
        return out;
    }

    void ClearResults() const;
    void SetInt(int32_t i, int32_t value) const;
    void SetStr(int32_t i, const std::string& text) const;
    void SetObj(int32_t i, const std::string& objectName) const;

private:
    TKelScript& Owner;
    TStringList& Args;
};
