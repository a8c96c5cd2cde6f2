#include "platform/fltk/FltkText.h"

#include <FL/Fl.H>

#include "platform/Encoding.h"

namespace FltkText {

// The first character of an FLTK face name is its style: a space for plain.
void UseJapaneseFaces() {
    static bool done = false;
    if (done) return;
    Fl::set_font(FL_HELVETICA, " IPAPGothic");
    Fl::set_font(FL_COURIER, " IPAGothic");
    done = true;
}

std::string ToolkitText(const std::string& sjis, bool escapeSymbols) {
    std::string utf8 = Encoding::SjisToUtf8(sjis);
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        if (c == '\r') {
            if (i + 1 < utf8.size() && utf8[i + 1] == '\n') continue;
            c = '\n';
        }
        if (c == '@' && escapeSymbols) out += '@';
        out += c;
    }
    return out;
}

}  // namespace FltkText
