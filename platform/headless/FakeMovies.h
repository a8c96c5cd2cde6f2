// A movie backend for tests that makes its movies up: pictures of one colour each and a sound
// whose every sample tells where in the movie it lies, so that a test can see exactly which
// picture is shown and which sample is heard. Any path opens (unless told otherwise) and the
// paths are recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Movie.h"

struct TFakeMovie {
    int32_t Width = 32;
    int32_t Height = 24;
    int32_t Pictures = 10;
    int64_t PictureUs = 100000;  // each picture's time on screen
    int32_t KeyEvery = 4;        // a seek lands on every KeyEvery-th picture and decodes on
    int64_t SoundUs = 1000000;   // 0: no sound
    int64_t DurationUs = 1000000;
    bool HasVideo = true;
};

namespace FakeMovies {

// Picture i is all this colour.
constexpr uint32_t PictureColor(int32_t index) {
    return 0xFF000000u | (static_cast<uint32_t>(index * 40 + 20) & 0xFF) << 16 | 0x00A000u |
           (static_cast<uint32_t>(index * 7) & 0xFF);
}
// The left sample of sound frame n (at 44100 Hz); the right one is its negation.
constexpr int16_t SoundSample(int64_t frame) {
    return static_cast<int16_t>(frame % 20000 + 1);
}

}  // namespace FakeMovies

class TFakeMovieBackend final : public IMovieBackend {
public:
    std::unique_ptr<IMovieSource> Open(const std::string& hostPath, std::string& error) override;

    TFakeMovie Movie;
    std::string Refuse;  // when not empty, every open fails with this reason
    std::vector<std::string> Opened;
};
