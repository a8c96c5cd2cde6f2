// Byte-pair expansion of pack entries against zlib's inflate of the same files, as the pack layer
// expands them: a new output of the declared size, filled from the packed bytes. Three kinds of
// entry, each one file of realistic size:
//   script  a chapter of a scenario script in Shift-JIS (bench/data/scenario.s.utf8, converted);
//   bmp     a 640 x 480 24-bit BMP background: gradients, shaded shapes and a painter's grain;
//   jpeg    the same picture as a JPEG of quality 90, which does not compress: packed with
//           compression on, as the pack tool does by default, it is expanded all the same.
// zlib gets each file compressed at its default level. The ratios printed at the end are our time
// over inflate's; run with --benchmark_repetitions and random interleaving they are medians.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchReport.h"
#include "foundation/Compression.h"
#include "platform/Encoding.h"

namespace {

std::string ScriptFile() {
    std::ifstream in(KEL_BENCH_DATA "/scenario.s.utf8", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string sjis = Encoding::Utf8ToSjis(text.str());
    // Scripts are stored with CR LF line ends.
    std::string crlf;
    for (char c : sjis) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}

constexpr int kWidth = 640, kHeight = 480;

// Rows top to bottom, 3 bytes a pixel in B, G, R order.
std::vector<uint8_t> Picture() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    uint32_t seed = 12345;
    auto grain = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<int>((seed >> 16) % 5) - 2;
    };
    struct TBlob {
        double X, Y, R;
        int B, G, Rd;
    };
    const TBlob blobs[] = {{500, 90, 45, 120, 230, 255},
                           {120, 360, 110, 40, 110, 50},
                           {300, 400, 140, 50, 130, 60},
                           {560, 380, 90, 30, 90, 45},
                           {420, 250, 30, 180, 180, 190}};
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            double b, g, r;
            if (y < 300) {  // sky
                const double t = y / 300.0;
                b = 235 - 60 * t;
                g = 190 - 40 * t + 20 * std::sin(x / 90.0);
                r = 120 + 80 * t;
            } else {  // field
                const double t = (y - 300) / 180.0;
                b = 60 + 20 * t;
                g = 150 - 50 * t + 10 * std::sin(x / 25.0 + y / 40.0);
                r = 90 - 30 * t;
            }
            for (const TBlob& o : blobs) {
                const double d = std::hypot(x - o.X, y - o.Y);
                if (d < o.R) {
                    const double shade = 0.75 + 0.25 * (1 - d / o.R);
                    b = o.B * shade;
                    g = o.G * shade;
                    r = o.Rd * shade;
                }
            }
            uint8_t* p = &rgb[(static_cast<size_t>(y) * kWidth + x) * 3];
            auto clamp = [](double v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(b + grain());
            p[1] = clamp(g + grain());
            p[2] = clamp(r + grain());
        }
    }
    return rgb;
}

void Put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, v >> 16);
}

std::string BmpFile(const std::vector<uint8_t>& bgr) {
    const uint32_t rowBytes = kWidth * 3;  // 1920: a multiple of 4, no padding
    const uint32_t imageBytes = rowBytes * kHeight;
    std::string s = "BM";
    Put32(s, 54 + imageBytes);
    Put32(s, 0);
    Put32(s, 54);
    Put32(s, 40);
    Put32(s, kWidth);
    Put32(s, kHeight);
    Put16(s, 1);
    Put16(s, 24);
    Put32(s, 0);
    Put32(s, imageBytes);
    Put32(s, 2835);
    Put32(s, 2835);
    Put32(s, 0);
    Put32(s, 0);
    for (int y = kHeight - 1; y >= 0; --y)  // bottom-up rows
        s.append(reinterpret_cast<const char*>(&bgr[static_cast<size_t>(y) * rowBytes]), rowBytes);
    return s;
}

std::string JpegFile(const std::vector<uint8_t>& bgr) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row(kWidth * 3);
    while (c.next_scanline < c.image_height) {
        const uint8_t* src = &bgr[static_cast<size_t>(c.next_scanline) * kWidth * 3];
        for (int x = 0; x < kWidth; ++x) {
            row[x * 3] = src[x * 3 + 2];
            row[x * 3 + 1] = src[x * 3 + 1];
            row[x * 3 + 2] = src[x * 3];
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    std::string s(reinterpret_cast<const char*>(out), size);
    jpeg_destroy_compress(&c);
    free(out);
    return s;
}

struct TEntry {
    std::string Name;
    std::string Plain;
    TMemoryStream Packed;
    std::string Zlib;
};

std::vector<TEntry>& Entries() {
    static std::vector<TEntry> entries = [] {
        const std::vector<uint8_t> picture = Picture();
        std::vector<TEntry> e(3);
        e[0].Name = "script";
        e[0].Plain = ScriptFile();
        e[1].Name = "bmp";
        e[1].Plain = BmpFile(picture);
        e[2].Name = "jpeg";
        e[2].Plain = JpegFile(picture);
        for (TEntry& t : e) {
            const std::string packed = uMisc::BPECompressBytes(t.Plain.data(), t.Plain.size());
            t.Packed.Data.assign(packed.begin(), packed.end());
            uLongf n = compressBound(static_cast<uLong>(t.Plain.size()));
            t.Zlib.resize(n);
            compress2(reinterpret_cast<Bytef*>(t.Zlib.data()), &n, reinterpret_cast<const Bytef*>(t.Plain.data()),
                      static_cast<uLong>(t.Plain.size()), Z_DEFAULT_COMPRESSION);
            t.Zlib.resize(n);
        }
        return e;
    }();
    return entries;
}

void Expand(benchmark::State& state) {
    TEntry& e = Entries()[static_cast<size_t>(state.range(0))];
    state.SetLabel(e.Name);
    for (auto _ : state) {
        std::unique_ptr<TMemoryStream> out = uMisc::BPEExpand(e.Packed);
        benchmark::DoNotOptimize(out->Memory());
    }
    if (uMisc::BPEExpand(e.Packed)->AsString() != e.Plain) state.SkipWithError("the expansion differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * e.Plain.size()));
    state.counters["packed"] = static_cast<double>(e.Packed.Data.size()) / static_cast<double>(e.Plain.size());
}

void ZlibInflate(benchmark::State& state) {
    TEntry& e = Entries()[static_cast<size_t>(state.range(0))];
    state.SetLabel(e.Name);
    for (auto _ : state) {
        // The same work as the expander: a new output of the known size, filled.
        std::vector<uint8_t> out(e.Plain.size());
        z_stream z{};
        inflateInit(&z);
        z.next_in = reinterpret_cast<Bytef*>(e.Zlib.data());
        z.avail_in = static_cast<uInt>(e.Zlib.size());
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        inflate(&z, Z_FINISH);
        inflateEnd(&z);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * e.Plain.size()));
    state.counters["packed"] = static_cast<double>(e.Zlib.size()) / static_cast<double>(e.Plain.size());
}

BENCHMARK(Expand)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(ZlibInflate)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    TRatioReporter reporter;
    if (!reporter.RunBenchmarks(argc, argv)) return 1;
    std::printf("\nExpansion time over zlib inflate's time on the same file (below 1: faster than zlib)\n");
    const char* names[] = {"script", "bmp", "jpeg"};
    for (int k = 0; k < 3; ++k) {
        const std::string n = std::to_string(k);
        std::printf("%-7s", names[k]);
        reporter.PrintTimeRatio("Expand/" + n, "ZlibInflate/" + n, "inflate's time");
    }
    benchmark::Shutdown();
    return 0;
}
