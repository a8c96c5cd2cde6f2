// A motion movie as an image: the image shows the movie's picture for the time the compositor
// hands to its set-time hook, and takes a new serial whenever another picture comes up, so that
// the compositor redraws what it covers.
#pragma once

#include <cstdint>
#include <memory>

#include "media/ARGB8888Lib.h"
#include "media/uMovieDecoder.h"

class TStream;

class TARGB8888Movie {
public:
    // Installs the image's set-time and transparency hooks.
    TARGB8888Movie();
    ~TARGB8888Movie();
    TARGB8888Movie(const TARGB8888Movie&) = delete;
    TARGB8888Movie& operator=(const TARGB8888Movie&) = delete;

    // Copies size bytes from the stream's position (no more than it holds) and opens them as a
    // movie, showing its first picture. False for a nullptr stream and for a movie that cannot
    // be opened (Movie->Error() says why); the image is then empty.
    bool LoadFromStream(TStream* stream, int64_t size);
    // The image, showing the current frame's picture.
    TARGB8888* GetImage();
    int32_t GetLength() const { return Movie->GetLength(); }

    // The set-time hook: picks the frame for the time and shows its picture.
    void DoSetTime(int32_t time);
    // The transparency hook: whether the picture shown has alpha.
    bool DoIsTransparent() const { return Movie->HasAlpha(); }

    std::unique_ptr<TARGB8888> Image;
    std::unique_ptr<TMotionMovie> Movie;
    // The serial a picture's id counts from: the image's own at creation, renewed by each load so
    // that the pictures of a new movie never reuse the serials of the old one's.
    uint32_t BaseSerial = 0;

private:
    void ShowPicture();
};
