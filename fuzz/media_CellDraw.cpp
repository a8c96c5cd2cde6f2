// The frame compositor under streams of commands: every recording operation with coordinates,
// layers and colours that lean towards the extremes (NaN, infinities, the ends of the integer
// range, layers far beyond any screen object's), renders over screens of odd and zero sizes that
// change between frames, invalidations, resets and presents to a canvas and to a headless display.
// Under the sanitizers nothing may read or write outside a picture or a band list.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "foundation/DisplayComponent.h"
#include "media/ARGB8888CellDrawLib.h"
#include "platform/Display.h"
#include "platform/headless/HeadlessDisplay.h"

namespace {

// The input, read front to back; past its end every read gives 0.
class TStreamOfBytes {
public:
    TStreamOfBytes(const uint8_t* data, size_t size) : At(data), End(data + size) {}
    bool Empty() const { return At >= End; }
    uint8_t Next() { return At < End ? *At++ : 0; }
    uint32_t Word() {
        uint32_t w = 0;
        for (int shift = 0; shift < 32; shift += 8)
            w |= uint32_t(Next()) << shift;
        return w;
    }
    // Mostly small screen coordinates, sometimes a value from the edges of float.
    float Coordinate() {
        static const float edges[] = {std::numeric_limits<float>::quiet_NaN(),
                                      std::numeric_limits<float>::infinity(),
                                      -std::numeric_limits<float>::infinity(),
                                      std::numeric_limits<float>::max(),
                                      -std::numeric_limits<float>::max(),
                                      2147483648.0f,
                                      -2147483904.0f,
                                      59.5f,
                                      60.0f,
                                      119.5f,
                                      -0.5f,
                                      0.49999997f,
                                      4095.0f,
                                      16777217.0f,
                                      -1e-30f,
                                      1e-4f};
        const uint8_t b = Next();
        if (b < 0xC0) return float(int32_t(b) - 40) * 1.5f;
        if (b < 0xF0) return edges[b & 15];
        const uint32_t bits = Word();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    float Layer() {
        static const float layers[] = {0,      1,      -1,     1000,  60000,
                                       65535,  -65536, -65537, 16383, 16384,
                                       -16384, 1e9f,   -1e9f,  2e10f, std::numeric_limits<float>::quiet_NaN(),
                                       0.5f};
        const uint8_t b = Next();
        return b < 0xE0 ? float(b % 8) : layers[b & 15];
    }
    float Scale() {
        static const float scales[] = {1, 2, 0.5f, 0.0001f, 0.00005f, -1, 1e6f, 0};
        return scales[Next() & 7];
    }
    float Angle() {
        static const float angles[] = {0, 1, 0.5f, 0.25f, -3, 0.1f, 1e9f, std::numeric_limits<float>::quiet_NaN()};
        return angles[Next() & 7];
    }

private:
    const uint8_t* At;
    const uint8_t* End;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TStreamOfBytes in(data, size);
    static const int32_t sides[] = {0, 1, 3, 59, 60, 61, 121, 7, -5, 2, 180, 119};

    // Pictures of a few shapes, opaque and not, one of them empty.
    TARGB8888 images[4];
    const int32_t shapes[4][2] = {{1, 1}, {7, 5}, {64, 70}, {0, 0}};
    for (int i = 0; i < 4; ++i) {
        images[i].SetSize(shapes[i][0], shapes[i][1]);
        for (int32_t y = 0; y < images[i].Height(); ++y)
            for (int32_t x = 0; x < images[i].Width(); ++x)
                images[i].ScanLine(y)[x] = (i == 2 ? 0xFF000000u : 0x80000000u) | uint32_t(x * 977 + y * 131);
        images[i].Transparent = i != 2;
    }
    auto image = [&]() -> TARGB8888* {
        const uint8_t b = in.Next();
        return b % 5 == 4 ? nullptr : &images[b % 5];
    };

    THeadlessDisplay device;
    TDDDD7 display(&device);
    display.AutoDisplayModeInitialize = false;
    display.OnHalt = [](const std::string&) {};
    display.Loaded();
    display.Start();

    TInterlace lace;
    TARGB8888CellDraw cd;
    cd.Interlace = &lace;
    auto resize = [&] {
        const int32_t w = sides[in.Next() % 12], h = sides[in.Next() % 12];
        cd.SetScreenSize(w, h);
        if (w > 0 && h > 0) display.InitializeWindowed(w, h);
    };
    if (in.Next() & 1) resize();  // sometimes the first frame comes before any size
    TMemoryDC canvas(64, 200);

    int32_t steps = 0;
    while (!in.Empty() && ++steps < 4000) {
        const uint8_t op = in.Next();
        const TBlendMode mode = in.Next() % 11;
        switch (op % 14) {
            case 0:
                cd.AddFill(in.Next(), in.Word(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                           in.Layer(), in.Angle(), in.Word(), mode);
                break;
            case 1:
                cd.AddFillRect(in.Word(), mode, in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                               in.Layer(), in.Angle());
                break;
            case 2:
                cd.AddDraw(image(), in.Word(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                           in.Coordinate(), in.Coordinate(), in.Layer(), in.Angle(), in.Next(), in.Word(), in.Word(),
                           mode);
                break;
            case 3:
                cd.AddStretchDraw(image(), in.Word(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                                  in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                                  in.Layer(), in.Angle(), in.Next(), in.Word(), in.Word(), mode);
                break;
            case 4:
                cd.AddRotateDraw(image(), in.Word(), in.Coordinate(), in.Coordinate(), in.Scale(), in.Scale(),
                                 in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Layer(),
                                 in.Angle(), in.Next(), in.Word(), in.Word(), mode);
                break;
            case 5:
                cd.AddRuleDraw(image(), in.Next(), in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate(),
                               in.Coordinate(), in.Coordinate(), in.Layer(), in.Angle(), in.Word(), in.Word(), mode);
                break;
            case 6:
                cd.AddFrameBlend();
                break;
            case 7:
                lace.ToggleField();
                cd.Render(in.Word(), in.Next() & 1, ARGB8888Lib::TruncSaturate(in.Layer()));
                break;
            case 8:
                cd.InvalidateRect(in.Coordinate(), in.Coordinate(), in.Coordinate(), in.Coordinate());
                break;
            case 9:
                if (in.Next() & 1)
                    cd.InvalidateAll();
                else if (in.Next() & 1)
                    cd.Reset();
                else
                    cd.Clear();
                break;
            case 10:
                cd.PresentToDC(&canvas, in.Next() & 1);
                break;
            case 11:
                cd.PresentToSurface(&display, in.Next() & 1, in.Next() & 1);
                break;
            case 12:
                resize();
                break;
            default:
                // Many commands at once, to reach the limits of a band and of a frame.
                for (int i = 0, n = in.Next() * 5; i < n; ++i)
                    cd.AddFillRect(0x80000000u | uint32_t(i), 2, 0, float(i % 50), 4, float(i % 50 + 2), float(i % 3),
                                   0);
                break;
        }
    }
    cd.Render(0xFF000000, false, 65535);
    cd.PresentToSurface(&display, false, false);
    return 0;
}
