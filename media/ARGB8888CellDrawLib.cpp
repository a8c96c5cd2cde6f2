#include "media/ARGB8888CellDrawLib.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "foundation/DisplayComponent.h"
#include "platform/Display.h"

namespace {

using ARGB8888Lib::RoundHalfAway;
using ARGB8888Lib::TruncSaturate;

constexpr int32_t kBackgroundLayer = -65536;
// Fills the background of screens up to this size; a larger screen keeps what lies beyond.
constexpr float kBackgroundSize = 2048;
// A frame blend covers any screen.
constexpr float kFrameBlendSize = 4095;

// Whole pixels, halves away from zero, as a coordinate.
float Round(double v) {
    return static_cast<float>(RoundHalfAway(v));
}

bool SameBits(float a, float b) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// Whether two band entries draw the same: every field but the time (and the sort key).
bool SameEntry(const TCellDrawCommand& a, const TCellDrawCommand& b) {
    return a.Type == b.Type && a.Mode == b.Mode && a.Image == b.Image && SameBits(a.Left, b.Left) &&
           SameBits(a.Top, b.Top) && SameBits(a.Right, b.Right) && SameBits(a.Bottom, b.Bottom) &&
           SameBits(a.X1, b.X1) && SameBits(a.Y1, b.Y1) && SameBits(a.X2, b.X2) && SameBits(a.Y2, b.Y2) &&
           SameBits(a.Angle, b.Angle) && a.AddColor == b.AddColor && a.MulColor == b.MulColor && a.Alpha == b.Alpha &&
           a.Serial == b.Serial;
}

bool SameList(const TARGB8888CellDraw::TBandList& a, const TARGB8888CellDraw::TBandList& b) {
    if (a.Count != b.Count) return false;
    for (int32_t i = 0; i < a.Count; ++i)
        if (!SameEntry(a.Entries[i], b.Entries[i])) return false;
    return true;
}

// Per channel min(255, a + b), low 24 bits.
uint32_t CoverColor(uint32_t add, uint32_t mul) {
    return ARGB8888Lib::AddColor(add, mul) & 0xFFFFFF;
}

enum class TCover : uint8_t { Nothing, Opaque, Translucent };
// The mark of a command that the last frame did not deal out to any band: it lay off the screen or
// above the layer limit.
constexpr uint8_t kNotDealt = 0xFF;

// What a command does to the pixels below it.
TCover Classify(const TCellDrawCommand& c) {
    if (c.Alpha == 0) return TCover::Nothing;
    const bool usesImage = c.Type == TCellDrawType::Draw || c.Type == TCellDrawType::Stretch ||
                           c.Type == TCellDrawType::Rotate || c.Type == TCellDrawType::Rule;
    if (usesImage && !c.Image) return TCover::Nothing;
    if (c.Alpha != 255) return TCover::Translucent;
    if (c.Type == TCellDrawType::Fill) {
        const uint32_t cover = CoverColor(c.AddColor, c.MulColor);
        switch (c.Mode) {
            case 1:
            case 2:
                return TCover::Opaque;
            case 3:
            case 6:
            case 8:
            case 9:
                return cover == 0xFFFFFF ? TCover::Opaque : TCover::Translucent;
            case 4:
            case 7:
                return cover == 0 ? TCover::Opaque : TCover::Translucent;
            default:
                return TCover::Translucent;
        }
    }
    if (c.Type != TCellDrawType::Draw && c.Type != TCellDrawType::Stretch) return TCover::Translucent;
    bool opaque = false;
    switch (c.Mode) {
        case 1:
        case 2:
            opaque = true;
            break;
        case 3:
        case 6:
        case 8:
        case 9:
            opaque = c.AddColor == 0xFFFFFF;
            break;
        case 4:
        case 7:
            opaque = c.MulColor == 0 && c.AddColor == 0;
            break;
        default:
            break;
    }
    // The picture itself must cover: no transparent pixel, and the source inside the image.
    if (!opaque || c.Image->IsTransparent() || !(c.Left >= 0) || !(c.Top >= 0) || !(c.Right <= c.Image->Width()) ||
        !(c.Bottom <= c.Image->Height()))
        return TCover::Translucent;
    return TCover::Opaque;
}

TCellDrawCommand Command(TCellDrawType type, TARGB8888* image, uint32_t time, float left, float top, float right,
                         float bottom, float x1, float y1, float x2, float y2, float angle, uint32_t alpha,
                         uint32_t addColor, uint32_t mulColor, TBlendMode mode) {
    TCellDrawCommand c;
    c.Type = type;
    c.Mode = mode;
    c.Image = image;
    c.Left = left;
    c.Top = top;
    c.Right = right;
    c.Bottom = bottom;
    c.X1 = x1;
    c.Y1 = y1;
    c.X2 = x2;
    c.Y2 = y2;
    c.Angle = angle;
    c.AddColor = addColor;
    c.MulColor = mulColor;
    c.Alpha = alpha;
    c.Time = time;
    return c;
}

int32_t Subtract(int32_t a, int32_t b) {
    return static_cast<int32_t>(std::clamp<int64_t>(int64_t(a) - b, INT32_MIN, INT32_MAX));
}

}  // namespace

TARGB8888CellDraw::TARGB8888CellDraw()
    : BandBuffer(std::make_unique<TARGB8888>()), FrameBuffer(std::make_unique<TARGB8888>()) {}

void TARGB8888CellDraw::SetScreenSize(int32_t width, int32_t height) {
    ScreenWidth = std::clamp(width, 0, INT32_MAX - 4);
    ScreenHeight = std::max(height, 0);
    FrameBuffer->SetSize(ScreenWidth + 4, ScreenHeight);
    BandBuffer->SetSize(ScreenWidth + 4, kBandHeight);
    Bands = ScreenHeight / kBandHeight + (ScreenHeight % kBandHeight > 0 ? 1 : 0);
    PreviousLists.resize(Bands);
    CurrentLists.resize(Bands);
    Invalidated.resize(Bands);
    BlendCounters.resize(Bands);
    RedrawCountdowns.resize(Bands);
    Reset();
}

void TARGB8888CellDraw::Reset() {
    Count = 0;
    for (TBandList& list : PreviousLists)
        list.Count = list.Dirty = 0;
    DrawnBands = 0;
    AtRest = false;
}

void TARGB8888CellDraw::Clear() {
    Count = 0;
    for (TBandList& list : PreviousLists)
        list.Count = list.Dirty = 0;
    DrawnBands = 0;
    AtRest = false;
    for (TBandList& list : CurrentLists)
        list.Count = list.Dirty = 0;
    std::fill(BlendCounters.begin(), BlendCounters.end(), 0);
}

void TARGB8888CellDraw::InvalidateRect(float /*x1*/, float y1, float /*x2*/, float y2) {
    if (Bands == 0) return;
    const int32_t first = std::clamp(TruncSaturate(double(y1) / kBandHeight), 0, Bands - 1);
    const int32_t last = std::clamp(TruncSaturate(double(y2) / kBandHeight), 0, Bands - 1);
    for (int32_t b = first; b <= last; ++b)
        Invalidated[b] = 1;
}

void TARGB8888CellDraw::InvalidateAll() {
    InvalidateRect(0, 0, float(ScreenWidth), float(ScreenHeight));
}

// ---- recording ----

void TARGB8888CellDraw::Record(const TCellDrawCommand& command, float layer) {
    if (Count >= kMaxCommands) return;
    if (command.Type != TCellDrawType::Rotate && std::fabs(double(command.X2) - command.X1) < 0.001 &&
        std::fabs(double(command.Y2) - command.Y1) < 0.001)
        return;
    TCellDrawCommand& c = Commands()[Count];
    c = command;
    c.Serial = command.Image ? command.Image->Serial : 0;
    c.Layer = RoundHalfAway(layer);
    c.Index = Count;
    ++Count;
}

void TARGB8888CellDraw::AddFill(uint32_t alpha, uint32_t addColor, float x1, float y1, float x2, float y2, float layer,
                                float angle, uint32_t mulColor, TBlendMode mode) {
    Record(Command(TCellDrawType::Fill, nullptr, 0, 0, 0, 0, 0, Round(x1), Round(y1), Round(x2), Round(y2), angle,
                   alpha, addColor, mulColor, mode),
           layer);
}

void TARGB8888CellDraw::AddFillRect(uint32_t color, TBlendMode mode, float x1, float y1, float x2, float y2,
                                    float layer, float angle) {
    AddFill(color >> 24, 0, x1, y1, x2, y2, layer, angle, color & 0xFFFFFF, mode);
}

void TARGB8888CellDraw::AddDraw(TARGB8888* image, uint32_t time, float x, float y, float left, float top, float right,
                                float bottom, float layer, float angle, uint32_t alpha, uint32_t addColor,
                                uint32_t mulColor, TBlendMode mode) {
    Record(Command(TCellDrawType::Draw, image, time, left, top, right, bottom, Round(x), Round(y),
                   Round(double(x) + right - left), Round(double(y) + bottom - top), angle, alpha, addColor, mulColor,
                   mode),
           layer);
}

void TARGB8888CellDraw::AddStretchDraw(TARGB8888* image, uint32_t time, float x1, float y1, float x2, float y2,
                                       float left, float top, float right, float bottom, float layer, float angle,
                                       uint32_t alpha, uint32_t addColor, uint32_t mulColor, TBlendMode mode) {
    if (double(x2) - x1 == double(right) - left && double(y2) - y1 == double(bottom) - top) {
        AddDraw(image, time, x1, y1, left, top, right, bottom, layer, angle, alpha, addColor, mulColor, mode);
        return;
    }
    Record(Command(TCellDrawType::Stretch, image, time, left, top, right, bottom, Round(x1), Round(y1), Round(x2),
                   Round(y2), angle, alpha, addColor, mulColor, mode),
           layer);
}

void TARGB8888CellDraw::AddRotateDraw(TARGB8888* image, uint32_t time, float x, float y, float scaleX, float scaleY,
                                      float left, float top, float right, float bottom, float layer, float angle,
                                      uint32_t alpha, uint32_t addColor, uint32_t mulColor, TBlendMode mode) {
    const double w = double(right) - left, h = double(bottom) - top;
    const double cx = x + w * scaleX * 0.5, cy = y + h * scaleY * 0.5;
    if (scaleX < 0.0001f || scaleY < 0.0001f || w < 1 || h < 1 || right < left || bottom < top) return;
    // A whole number of turns (in 4096ths) draws upright.
    if (RoundHalfAway(double(angle) * 4096) % 4096 == 0) {
        if (RoundHalfAway(double(scaleX) * 4096) == 4096 && RoundHalfAway(double(scaleY) * 4096) == 4096) {
            AddDraw(image, time, float(cx - w * 0.5), float(cy - h * 0.5), left, top, right, bottom, layer, angle,
                    alpha, addColor, mulColor, mode);
        } else {
            const double x1 = cx - w * scaleX * 0.5, y1 = cy - h * scaleY * 0.5;
            AddStretchDraw(image, time, float(x1), float(y1), float(x1 + w * scaleX), float(y1 + h * scaleY), left, top,
                           right, bottom, layer, angle, alpha, addColor, mulColor, mode);
        }
        return;
    }
    // Centre and scale stand where the destination would.
    Record(Command(TCellDrawType::Rotate, image, time, left, top, right, bottom, float(cx), float(cy), scaleX, scaleY,
                   angle, alpha, addColor, mulColor, mode),
           layer);
}

void TARGB8888CellDraw::AddRuleDraw(TARGB8888* image, uint32_t alpha, float x, float y, float left, float top,
                                    float right, float bottom, float layer, float angle, uint32_t addColor,
                                    uint32_t mulColor, TBlendMode mode) {
    Record(Command(TCellDrawType::Rule, image, 0, left, top, right, bottom, Round(x), Round(y),
                   Round(double(x) + right - left), Round(double(y) + bottom - top), angle, alpha, addColor, mulColor,
                   mode),
           layer);
}

void TARGB8888CellDraw::AddFrameBlend() {
    Record(Command(TCellDrawType::FrameBlend, nullptr, 0, 0, 0, 0, 0, 0, 0, kFrameBlendSize, kFrameBlendSize, 0, 255, 0,
                   0xFFFFFF, 0),
           0);
}

// ---- rendering ----

void TARGB8888CellDraw::Distribute(const TCellDrawCommand& c, bool& blend) {
    auto bandOf = [this](double v) { return std::clamp(RoundHalfAway(v) / kBandHeight, 0, Bands - 1); };
    int32_t first, last;
    if (c.Type == TCellDrawType::Rotate) {
        // The rows the turned picture can reach: its four corners about the centre.
        const double hw = (double(c.Right) - c.Left) * 0.5, hh = (double(c.Bottom) - c.Top) * 0.5;
        const double turn = 3.1415 * c.Angle / 0.5;
        const double s = std::sin(turn), co = std::cos(turn);
        double low = 0, high = 0;
        for (int i = 0; i < 4; ++i) {
            const double a = (i & 1 ? hw : -hw) * c.X2, b = (i & 2 ? hh : -hh) * c.Y2;
            const double y = a * s + b * co + c.Y1;
            low = i == 0 ? y : std::min(low, y);
            high = i == 0 ? y : std::max(high, y);
        }
        first = bandOf(low);
        last = bandOf(high);
    } else {
        if ((c.X1 < 0 && c.X2 < 0) || (c.Y1 < 0 && c.Y2 < 0) || (c.X1 >= ScreenWidth && c.X2 >= ScreenWidth) ||
            (c.Y1 >= ScreenHeight && c.Y2 >= ScreenHeight))
            return;
        first = bandOf(c.Y1);
        last = bandOf(c.Y2);
    }
    const TCover cover = Classify(c);
    LastCovers[static_cast<size_t>(c.Index)] = static_cast<uint8_t>(cover);
    for (int32_t b = first; b <= last; ++b) {
        if (c.Type == TCellDrawType::FrameBlend) {
            blend = true;
            continue;
        }
        TCover here = cover;
        // Opaque counts only where the command covers the whole band.
        if (here == TCover::Opaque && c.Type != TCellDrawType::Rotate &&
            !(c.X1 <= 0 && c.X2 >= ScreenWidth && c.Y1 <= b * kBandHeight &&
              c.Y2 >= std::min((b + 1) * kBandHeight, ScreenHeight)))
            here = TCover::Translucent;
        if (here == TCover::Nothing) continue;
        TBandList& list = CurrentLists[b];
        if (here == TCover::Opaque) list.Count = 0;
        if (list.Count >= kBandEntries) continue;
        list.Entries[list.Count++] = c;
    }
}

void TARGB8888CellDraw::DrawEntry(const TCellDrawCommand& c, TARGB8888* target, int32_t offset, int32_t clipTop,
                                  int32_t clipBottom) {
    const auto mode = static_cast<TBlendMode>(c.Mode);
    switch (c.Type) {
        case TCellDrawType::Fill:
            target->FillRectAdd(c.AddColor, c.MulColor, c.X1, c.Y1 - offset, c.X2, c.Y2 - offset, c.Alpha, mode,
                                clipTop, clipBottom);
            break;
        case TCellDrawType::Draw:
            c.Image->DrawEx(target, c.AddColor, c.X1, c.Y1 - offset, c.Left, c.Top, c.Right, c.Bottom, c.MulColor,
                            c.Alpha, mode, clipTop, clipBottom);
            break;
        case TCellDrawType::Stretch:
            c.Image->StretchDraw(target, c.AddColor, c.X1, c.Y1 - offset, c.X2, c.Y2 - offset, c.Left, c.Top, c.Right,
                                 c.Bottom, c.MulColor, c.Alpha, mode, clipTop, clipBottom);
            break;
        case TCellDrawType::Rotate:
            c.Image->RotateDraw(target, c.AddColor, c.X1, c.Y1 - offset, c.X2, c.Y2, c.Angle, c.Left, c.Top, c.Right,
                                c.Bottom, c.MulColor, c.Alpha, mode, clipTop, clipBottom);
            break;
        case TCellDrawType::Rule:
            c.Image->RuleDraw(target, RoundHalfAway(c.X1), Subtract(RoundHalfAway(c.Y1), offset), TruncSaturate(c.Left),
                              TruncSaturate(c.Top), TruncSaturate(c.Right), TruncSaturate(c.Bottom), c.AddColor,
                              c.MulColor, c.Alpha, mode, clipTop, clipBottom);
            break;
        default:
            break;
    }
}

bool TARGB8888CellDraw::Still(uint32_t background, int32_t maxLayer) const {
    if (!AtRest || Count != LastCount || background != LastBackground || maxLayer != LastMaxLayer) return false;
    for (const uint8_t invalid : Invalidated)
        if (invalid) return false;
    // Equal commands in equal layers sort alike and deal out alike, as long as each image still
    // covers as it did; an image with a set-time event is told its time while dealing out.
    const TCellDrawCommand* now = CommandSets[CurrentSet].data();
    const TCellDrawCommand* last = LastCommands();
    for (int32_t i = 0; i < Count; ++i) {
        const TCellDrawCommand& c = now[i];
        if (!SameEntry(c, last[i]) || c.Layer != last[i].Layer) return false;
        if (c.Image &&
            (c.Image->OnSetTime || (LastCovers[i] != kNotDealt && static_cast<uint8_t>(Classify(c)) != LastCovers[i])))
            return false;
    }
    return true;
}

void TARGB8888CellDraw::Render(uint32_t background, bool interlace, int32_t maxLayer) {
    if (Bands == 0) {
        Count = 0;
        return;
    }
    if (Still(background, maxLayer)) {
        // The lists stay as they are; only the marks of the bands the last frame drew go.
        if (DrawnBands > 0)
            for (TBandList& list : PreviousLists)
                list.Dirty = 0;
        DrawnBands = 0;
        Count = 0;
        return;
    }
    const TInterlace* field = interlace ? Interlace : nullptr;
    const TInterlaceScope frameScope(*FrameBuffer, field), bandScope(*BandBuffer, field);
    LastCount = Count;
    LastBackground = background;
    LastMaxLayer = maxLayer;
    TCellDrawCommand* commands = Commands();

    // The background sorts first by its layer. It has a slot of its own, so that a full frame
    // cannot crowd it out and leave bands without a ground.
    TCellDrawCommand& ground = commands[Count];
    ground = TCellDrawCommand{};
    ground.Type = TCellDrawType::Fill;
    ground.Mode = 2;
    ground.X2 = kBackgroundSize;
    ground.Y2 = kBackgroundSize;
    ground.MulColor = background & 0xFFFFFF;
    ground.Alpha = background >> 24;
    ground.Layer = kBackgroundLayer;
    ground.Index = Count;
    ++Count;

    for (TBandList& list : CurrentLists)
        list.Count = list.Dirty = 0;

    // Ascending layer, then recording order: equal layers never swap.
    for (int32_t i = 0; i < Count; ++i) {
        const TCellDrawCommand& c = commands[i];
        Order[i] = (uint64_t(uint32_t(c.Layer) ^ 0x80000000u) << 32) | uint32_t(c.Index);
    }
    std::sort(Order.begin(), Order.begin() + Count);

    bool blend = false;
    for (int32_t i = 0; i < Count; ++i) {
        const TCellDrawCommand& c = commands[Order[i] & 0xFFFFFFFFu];
        LastCovers[static_cast<size_t>(c.Index)] = kNotDealt;
        if (c.Layer >= maxLayer) continue;
        if (c.Image && c.Image->OnSetTime) c.Image->OnSetTime(static_cast<int32_t>(c.Time));
        Distribute(c, blend);
    }

    for (int32_t b = 0; b < Bands; ++b)
        if (Invalidated[b]) CurrentLists[b].Dirty = 1;
    std::fill(Invalidated.begin(), Invalidated.end(), 0);

    for (int32_t b = 0; b < Bands; ++b) {
        TBandList& list = CurrentLists[b];
        const bool changed = list.Dirty == 1 || BlendCounters[b] > 0 || !SameList(list, PreviousLists[b]);
        if (changed)
            RedrawCountdowns[b] = kRedrawFrames;
        else if (RedrawCountdowns[b] <= 0)
            continue;
        if (RedrawCountdowns[b] > 0) --RedrawCountdowns[b];
        if (blend) BlendCounters[b] = kBlendFrames;
        const bool blending = BlendCounters[b] > 0;
        TARGB8888* target = blending ? BandBuffer.get() : FrameBuffer.get();
        const int32_t offset = blending ? b * kBandHeight : 0;
        list.Dirty = 1;
        for (int32_t i = 0; i < list.Count; ++i) {
            const TCellDrawCommand& c = list.Entries[i];
            if (c.Image && c.Image->OnSetTime) c.Image->OnSetTime(static_cast<int32_t>(c.Time));
            DrawEntry(c, target, offset, b * kBandHeight - offset, (b + 1) * kBandHeight - offset);
        }
        if (blending) {
            BandBuffer->BlendHalf(FrameBuffer.get(), 0, b * kBandHeight, 0, 0, BandBuffer->Width(), kBandHeight);
            --BlendCounters[b];
        }
    }

    DrawnBands = 0;
    AtRest = true;
    for (int32_t b = 0; b < Bands; ++b) {
        DrawnBands += CurrentLists[b].Dirty == 1;
        AtRest = AtRest && RedrawCountdowns[b] <= 0 && BlendCounters[b] <= 0;
    }
    std::swap(PreviousLists, CurrentLists);
    CurrentSet ^= 1;
    Count = 0;
}

// ---- presenting ----

void TARGB8888CellDraw::PresentToDC(IDeviceContext* dc, bool whole) {
    if (!dc || ScreenWidth == 0 || ScreenHeight == 0) return;
    const int32_t dirty = whole ? 255 : DrawnBands;
    if (dirty == 0) return;
    const int32_t stride = FrameBuffer->Width();
    if (dirty >= Bands * 2 / 3) {
        dc->BitBlt(0, 0, ScreenWidth, ScreenHeight, FrameBuffer->ScanLine(0), stride);
    } else {
        for (int32_t b = 0; b < Bands; ++b) {
            if (PreviousLists[b].Dirty != 1) continue;
            const int32_t top = b * kBandHeight;
            dc->BitBlt(0, top, ScreenWidth, std::min(kBandHeight, ScreenHeight - top), FrameBuffer->ScanLine(top),
                       stride);
        }
    }
    dc->Flush();
}

void TARGB8888CellDraw::PresentToSurface(TDDDD7* display, bool whole, bool interlace) {
    if (!display || !display->BackBuffer) return;
    TDisplayLock lock;
    if (!display->BackBuffer->Lock(lock)) return;
    const TInterlaceScope scope(*FrameBuffer, interlace ? Interlace : nullptr);
    const TSurfaceDesc surface = TARGB8888::SurfaceOf(lock);
    if (whole) {
        FrameBuffer->TransferToSurface(surface, 0, 0, 0, 0, ScreenWidth, ScreenHeight);
        display->BackBuffer->Changed(0, ScreenHeight);
    } else if (DrawnBands > 0) {
        for (int32_t b = 0; b < Bands; ++b) {
            if (PreviousLists[b].Dirty != 1) continue;
            const int32_t top = b * kBandHeight;
            FrameBuffer->TransferToSurface(surface, 0, top, 0, top, ScreenWidth, top + kBandHeight);
            display->BackBuffer->Changed(top, top + kBandHeight);
        }
    }
    display->BackBuffer->Unlock();
    display->Flip(true);
}

bool TARGB8888CellDraw::SaveToStream(TStream* stream) const {
    TARGB8888 picture;
    picture.SetSize(ScreenWidth, ScreenHeight);
    for (int32_t y = 0; y < ScreenHeight; ++y) {
        const uint32_t* from = FrameBuffer->ScanLine(y);
        uint32_t* to = picture.ScanLine(y);
        for (int32_t x = 0; x < ScreenWidth; ++x)
            to[x] = from[x] | 0xFF000000;
    }
    return picture.SaveToStream(stream);
}
