#include "platform/fltk/FltkText.h"

#include <FL/Fl.H>

#include "platform/ScriptForms.h"

namespace FltkText {

// The first character of an FLTK face name is its style: a space for plain, B for bold.
void UseJapaneseFaces() {
    static bool done = false;
    if (done) return;
    Fl::set_font(FL_HELVETICA, " IPAPGothic");
    Fl::set_font(FL_HELVETICA_BOLD, "BIPAPGothic");
    Fl::set_font(FL_COURIER, " IPAGothic");
    done = true;
}

std::string ToolkitText(const std::string& sjis, bool escapeSymbols) {
    std::string text = ScriptForms::ToolkitText(sjis);
    if (!escapeSymbols) return text;
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '@') out += '@';
        out += c;
    }
    return out;
}

}  // namespace FltkText
