#include "objects/MessageLayoutDump.h"

#include <cstdio>

#include "platform/Encoding.h"

namespace {

std::string Hex(std::string_view bytes) {
    std::string out;
    char buffer[4];
    for (char c : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned>(static_cast<uint8_t>(c)));
        out += buffer;
    }
    return out;
}

std::string Pair(int32_t a, int32_t b) {
    return std::to_string(a) + "," + std::to_string(b);
}

const char* StateName(TMessageState state) {
    switch (state) {
        case TMessageState::Done:
            return "done";
        case TMessageState::Printing:
            return "printing";
        case TMessageState::PageFull:
            return "page full";
    }
    return "?";
}

}  // namespace

TMessageLayoutDump::TMessageLayoutDump(TMessageText& text) : Watched(text) {
    Watched.Observer = this;
}

TMessageLayoutDump::~TMessageLayoutDump() {
    if (Watched.Observer == this) Watched.Observer = nullptr;
}

void TMessageLayoutDump::GlyphPlaced(const TPlacedGlyph& g) {
    char colour[16];
    std::snprintf(colour, sizeof colour, "%08X", g.Color);
    Lines += std::string(g.Ruby ? "ruby  " : "glyph ") + Hex(g.Text) + " \"" + Encoding::SjisToUtf8(g.Text) + "\" at " +
             Pair(g.X, g.Y) + " extent " + Pair(g.ExtentWidth, g.ExtentHeight) + " font " + std::to_string(g.Font) +
             " size " + Pair(g.Width, g.Height) + " colour " + colour + " line " + std::to_string(g.Line);
    if (g.Hang == TGlyphHang::PastLineEnd) Lines += " hangs past the line end";
    if (g.Hang == TGlyphHang::IntoMargin) Lines += " hangs into the margin";
    Lines += "\n";
}

void TMessageLayoutDump::StateChanged(const std::string& what) {
    Lines += "  " + Encoding::SjisToUtf8(what) + "\n";
}

std::string TMessageLayoutDump::Text() const {
    const TMessageText& t = Watched;
    std::string ink =
        t.InkEmpty() ? std::string("none") : Pair(t.InkMinX, t.InkMinY) + " to " + Pair(t.InkMaxX, t.InkMaxY);
    return Lines + "end: " + StateName(t.State) + ", pen " + Pair(t.PenX, t.PenY) + ", ink " + ink + ", read " +
           std::to_string(t.MainPos) + " of " + std::to_string(t.MainText.size()) + ", inserted " +
           std::to_string(t.InsertPos) + " of " + std::to_string(t.InsertString.size()) + "\n";
}
