// Motion-movie frames of 800 x 600 decoded one after another (row by row, the fast integer
// transform, rows converted to 32-bit pixels) against libjpeg-turbo decoding the same JPEG whole
// into one RGB buffer with its default settings. The ratio (ours / libjpeg-turbo) is printed
// after the table, with the frames per second; the goal is 1.2 or below.
#include <benchmark/benchmark.h>

#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "media/uMovieDecoder.h"
#include "media/uMovieWriter.h"
#include "platform/ClassLib.h"

namespace {

constexpr int32_t kWidth = 800, kHeight = 600;

// A picture with the texture of a game scene: soft gradients, a few hard-edged shapes, grain.
TBitmap32 Scene(uint32_t seed) {
    TBitmap32 b(kWidth, kHeight);
    std::mt19937 random(seed);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            const double s = std::sin(x * 0.013 + seed) * 0.5 + 0.5, c = std::cos(y * 0.021 - seed) * 0.5 + 0.5;
            uint32_t r = uint32_t(255 * s), g = uint32_t(255 * c), bl = uint32_t(128 + 100 * s * c);
            if (((x / 97) + (y / 61)) % 5 == 0) r = 255 - r, g = 40, bl = 220;
            const uint32_t grain = random() % 12;
            r = std::min(255u, r + grain), g = std::min(255u, g + grain), bl = std::min(255u, bl + grain);
            b.ScanLine(y)[x] = 0xFF000000u | (r << 16) | (g << 8) | bl;
        }
    return b;
}

struct TData {
    TData() {
        for (uint32_t i = 0; i < 2; ++i) {
            Jpegs.push_back(uMovieWriter::EncodePicture(Scene(i + 1), TMoviePictureType::Jpeg, 90));
            Frames.push_back({static_cast<int32_t>(TMoviePictureType::Jpeg), Jpegs.back()});
        }
        Movie = uMovieWriter::WriteMovie(Frames, {});
    }
    std::vector<std::string> Jpegs;
    std::vector<uMovieWriter::TFrame> Frames;
    std::string Movie;
};
const TData& Data() {
    static const TData data;
    return data;
}

void OurFrames(benchmark::State& state) {
    TMotionMovie movie;
    movie.LoadFromStream(std::make_unique<TMemoryStream>(Data().Movie));
    int32_t frame = 0;
    for (auto _ : state) {
        frame ^= 1;  // another picture every time: every step decodes
        movie.SetFrame(frame);
        benchmark::DoNotOptimize(movie.GetImage());
    }
    if (movie.DecodedPictureId() < 0) state.SkipWithError("the movie did not decode");
}

void noMessage(j_common_ptr) {}

void LibjpegWhole(benchmark::State& state) {
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    int32_t picture = 0;
    for (auto _ : state) {
        picture ^= 1;
        const std::string& jpeg = Data().Jpegs[size_t(picture)];
        jpeg_decompress_struct info;
        jpeg_error_mgr error;
        info.err = jpeg_std_error(&error);
        error.output_message = noMessage;
        jpeg_create_decompress(&info);
        jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
        jpeg_read_header(&info, TRUE);
        jpeg_start_decompress(&info);
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[16];
            const JDIMENSION at = info.output_scanline;
            for (int i = 0; i < 16; ++i)
                rows[i] = rgb.data() + size_t(std::min<JDIMENSION>(at + i, info.output_height - 1)) * kWidth * 3;
            jpeg_read_scanlines(&info, rows, 16);
        }
        jpeg_finish_decompress(&info);
        jpeg_destroy_decompress(&info);
        benchmark::DoNotOptimize(rgb.data());
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::RegisterBenchmark("movie/ours/800x600", OurFrames)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("movie/libjpeg-turbo/800x600", LibjpegWhole)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    TTimeCollector collector(TTimeKind::Cpu);
    benchmark::RunSpecifiedBenchmarks(&collector);
    const auto ours = collector.Times.find("movie/ours/800x600");
    const auto base = collector.Times.find("movie/libjpeg-turbo/800x600");
    if (ours != collector.Times.end() && base != collector.Times.end())
        std::printf(
            "\nmovie frames 800x600: %.0f per second; ratio %.2f (our time / libjpeg-turbo's whole decode; "
            "goal 1.2 or below)\n",
            1000.0 / ours->second, ours->second / base->second);
    benchmark::Shutdown();
    return 0;
}
