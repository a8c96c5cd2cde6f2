// The media services of one running game: the picture and sound caches that animations share
// their embedded media through, the message opacity, the fonts that text is drawn with and the
// field of interlaced drawing. The main window owns it beside the game context and hands it to the
// engine core, which links it to both interpreters; media units get it from their owners.
#pragma once

#include "media/ARGB8888Font.h"
#include "media/ARGB8888Lib.h"
#include "media/uARGB8888Manager.h"
#include "media/uWaveDataManager.h"

class TMediaContext {
public:
    TMediaContext();
    ~TMediaContext();
    TMediaContext(const TMediaContext&) = delete;
    TMediaContext& operator=(const TMediaContext&) = delete;

    // Both empty and with capacity 0 until the configuration sets their sizes. The animations
    // that hold cached media must be gone before the context.
    TARGB8888Manager Pictures{0};
    TWaveDataManager Sounds{0};
    // The message opacity 0..255 that layers and pictures named with "*message" or "*mesalpha"
    // are drawn with; the configuration sets it.
    int32_t MessageAlpha = 255;
    // The 8 numbered fonts and their glyph cache; the configuration's font hooks reach them.
    TFontTable Fonts;
    // Flipped once a frame; the screen's cell draws render and present in it.
    TInterlace Interlace;
};

// The fonts of a media context; none without one.
inline TFontTable* FontsOf(TMediaContext* media) {
    return media ? &media->Fonts : nullptr;
}
