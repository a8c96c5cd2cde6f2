// Text at the boundary between the engine and FLTK: Shift-JIS becomes UTF-8 with single LF line
// ends, and the toolkit's faces become installed Japanese ones (its default faces have no Japanese
// glyphs).
#pragma once

#include <string>

namespace FltkText {

// FL_HELVETICA becomes the proportional Japanese face of the forms, FL_COURIER the fixed one.
void UseJapaneseFaces();

// Shift-JIS text as FLTK takes it: UTF-8, CR LF and lone CR become LF, and with escapeSymbols an
// "@" is doubled where FLTK would read a symbol.
std::string ToolkitText(const std::string& sjis, bool escapeSymbols);

}  // namespace FltkText
