// Motion movies from arbitrary bytes: loaded into the movie image, then driven through a sweep of
// times and of frame numbers forward and back, every picture shown checked. A damaged file
// may show nothing or an older picture, never crash, hang or read outside its data.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

#include "media/uARGB8888Movie.h"
#include "platform/ClassLib.h"

namespace {

// The ends of every row: enough for the sanitizers to see a picture smaller than it claims,
// without reading a large one again and again.
void ReadWhole(TARGB8888* image) {
    if (!image || !image->Active) return;
    uint32_t all = 0;
    for (int32_t y = 0; y < image->Height(); ++y)
        if (image->Width() > 0) all |= image->ScanLine(y)[0] | image->ScanLine(y)[image->Width() - 1];
    (void)all;
    (void)image->IsTransparent();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TMemoryStream stream(std::string_view(reinterpret_cast<const char*>(data), size));
    TARGB8888Movie movie;
    movie.LoadFromStream(&stream, static_cast<int64_t>(size));
    TARGB8888* image = movie.GetImage();
    ReadWhole(image);

    const int64_t length = movie.GetLength();
    const int32_t times[] = {std::numeric_limits<int32_t>::min(),
                             -1,
                             0,
                             1,
                             17,
                             999,
                             static_cast<int32_t>(length / 3),
                             static_cast<int32_t>(length / 2),
                             static_cast<int32_t>(length - 1),
                             static_cast<int32_t>(length),
                             static_cast<int32_t>(std::min<int64_t>(length + 1, INT32_MAX)),
                             0,
                             std::numeric_limits<int32_t>::max()};
    for (int32_t t : times) {
        image->OnSetTime(t);
        ReadWhole(image);
    }
    const int32_t frames = std::min(movie.Movie->GetFrameCount(), 48);
    for (int32_t f = 0; f < frames; ++f) {
        movie.Movie->SetFrame(f);
        ReadWhole(movie.GetImage());
    }
    for (int32_t f = movie.Movie->GetFrameCount() - 1, n = 0; f >= 0 && n < 48; f -= 7, ++n) {
        movie.Movie->SetFrame(f);
        ReadWhole(movie.GetImage());
    }
    return 0;
}
