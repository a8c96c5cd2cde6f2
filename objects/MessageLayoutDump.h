// A written record of what the typesetter did to a page, one line per event, for tests and for
// game makers who need to see why a line broke where it did: every placed character and ruby
// character with its bytes, pen, extent, font, cell, colour, line and hang, and between them the
// commands run or skipped, new lines, scrolls, full pages and waits. Texts appear in UTF-8 beside
// their Shift-JIS bytes, so that dumps read and compare as plain text.
#pragma once

#include <string>

#include "objects/MessageLib.h"

class TMessageLayoutDump final : public IMessageLayoutObserver {
public:
    // Watches the text until destroyed.
    explicit TMessageLayoutDump(TMessageText& text);
    ~TMessageLayoutDump() override;
    TMessageLayoutDump(const TMessageLayoutDump&) = delete;
    TMessageLayoutDump& operator=(const TMessageLayoutDump&) = delete;

    void GlyphPlaced(const TPlacedGlyph& glyph) override;
    void StateChanged(const std::string& what) override;

    // The lines so far, and a last line with the state, pen, inked area and read positions now.
    std::string Text() const;
    void Clear() { Lines.clear(); }

    std::string Lines;

private:
    TMessageText& Watched;
};
