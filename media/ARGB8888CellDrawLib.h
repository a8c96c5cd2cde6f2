// The frame compositor. During a frame its users record draw commands with a layer each instead
// of drawing; once per frame Render sorts them by layer, deals them out to bands of 60 rows and
// redraws only the bands whose lists of commands differ from the last frame's (and each such band
// twice more after it). A command that covers a whole band opaquely hides everything below it in
// that band. The composed frame is then copied, changed bands only, to a window canvas
// (PresentToDC) or into the display's back buffer (PresentToSurface).
//
// A still frame, one that records the very commands of the last frame while no band is due to be
// drawn again, is recognised from the commands alone: its bands' lists are not dealt out again.
//
// Layers: a command's layer is rounded to an integer (halves away from zero); commands are drawn
// in ascending layer and, within a layer, in the order they were recorded. The background of the
// frame is a fill at layer -65536 that Render records itself.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "media/ARGB8888Lib.h"

class IDeviceContext;
class TDDDD7;
class TStream;

enum class TCellDrawType : uint32_t {
    Fill = 0,
    Draw = 1,
    Stretch = 2,
    Rotate = 3,
    Rule = 4,
    FrameBlend = 5,
};

// One recorded command. A band compares the fields up to Serial with the last frame's, bit for
// bit; Time, Layer and Index do not count.
struct TCellDrawCommand {
    TCellDrawType Type = TCellDrawType::Fill;
    uint32_t Mode = 0;                               // TBlendMode
    TARGB8888* Image = nullptr;                      // not owned; none for fills and frame blends
    float Left = 0, Top = 0, Right = 0, Bottom = 0;  // source rectangle, image pixels
    // Destination, rounded to whole pixels; a rotate command keeps its centre and scale here.
    float X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
    float Angle = 0;        // turns; only rotate commands use it
    uint32_t AddColor = 0;  // 0x00RRGGBB, added after the multiply
    uint32_t MulColor = 0;  // 0x00RRGGBB, 0xFFFFFF leaves the colour
    uint32_t Alpha = 0;     // 0..255
    uint32_t Serial = 0;    // the image's serial when recorded, so a changed picture counts
    uint32_t Time = 0;      // handed to the image's set-time event before it is drawn
    int32_t Layer = 0;
    int32_t Index = 0;  // place in the frame's recording order
};

class TARGB8888CellDraw {
public:
    static constexpr int32_t kBandHeight = 60;
    static constexpr int32_t kBandEntries = 64;
    static constexpr int32_t kMaxCommands = 1024;
    static constexpr int32_t kRedrawFrames = 3;  // a changed band is drawn in this many frames
    static constexpr int32_t kBlendFrames = 16;  // frames a frame blend runs in each band

    // The commands of one band in drawing order, and whether the band was redrawn (or marked for
    // it) by the last Render.
    struct TBandList {
        int32_t Count = 0;
        int32_t Dirty = 0;
        std::array<TCellDrawCommand, kBandEntries> Entries;
    };

    TARGB8888CellDraw();

    // A new frame buffer of (width + 4) x height (and a band buffer of (width + 4) x 60), then
    // Reset. Negative sizes count as 0.
    void SetScreenSize(int32_t width, int32_t height);
    // Forgets the recorded commands and the last frame's lists: every band with commands is drawn
    // in the next Render.
    void Reset();
    // As Reset, and the frame's own lists and any frame blend are dropped too.
    void Clear();
    // The bands that rows y1..y2 touch are drawn in the next Render.
    void InvalidateRect(float x1, float y1, float x2, float y2);
    void InvalidateAll();

    // ---- recording; a full frame (1024 commands) takes no more ----
    // A fill of (alpha << 24) | the per-channel saturating sum of the two colours.
    void AddFill(uint32_t alpha, uint32_t addColor, float x1, float y1, float x2, float y2, float layer, float angle,
                 uint32_t mulColor, TBlendMode mode);
    void AddFillRect(uint32_t color, TBlendMode mode, float x1, float y1, float x2, float y2, float layer, float angle);
    void AddDraw(TARGB8888* image, uint32_t time, float x, float y, float left, float top, float right, float bottom,
                 float layer, float angle, uint32_t alpha, uint32_t addColor, uint32_t mulColor, TBlendMode mode);
    // A draw when the destination has the source's size exactly.
    void AddStretchDraw(TARGB8888* image, uint32_t time, float x1, float y1, float x2, float y2, float left, float top,
                        float right, float bottom, float layer, float angle, uint32_t alpha, uint32_t addColor,
                        uint32_t mulColor, TBlendMode mode);
    // The source scaled and turned about its centre, placed as if its unturned, scaled picture had
    // its top-left corner at (x, y). Whole turns become a draw or a stretch.
    void AddRotateDraw(TARGB8888* image, uint32_t time, float x, float y, float scaleX, float scaleY, float left,
                       float top, float right, float bottom, float layer, float angle, uint32_t alpha,
                       uint32_t addColor, uint32_t mulColor, TBlendMode mode);
    void AddRuleDraw(TARGB8888* image, uint32_t alpha, float x, float y, float left, float top, float right,
                     float bottom, float layer, float angle, uint32_t addColor, uint32_t mulColor, TBlendMode mode);
    // Every band drawn in this frame fades in over the next 16 frames instead of at once.
    void AddFrameBlend();

    // Composes the frame: background 0xAARRGGBB below everything, rows of the other parity left
    // alone when interlaced, layers at or above maxLayer not drawn. Before SetScreenSize it only
    // forgets the commands.
    void Render(uint32_t background, bool interlace, int32_t maxLayer);
    // Copies the bands the last Render drew (or the whole frame) to the canvas: one copy of the
    // whole frame once two thirds of the bands or more are to go, else one copy a band.
    void PresentToDC(IDeviceContext* dc, bool whole);
    // The same bands into the display's back buffer (rows of the other parity left alone when
    // interlaced), then a flip. Nothing when the back buffer cannot be locked.
    void PresentToSurface(TDDDD7* display, bool whole, bool interlace);
    // The frame as an opaque BMP; false when it cannot be written.
    bool SaveToStream(TStream* stream) const;

    int32_t Width() const { return ScreenWidth; }
    int32_t Height() const { return ScreenHeight; }
    int32_t BandCount() const { return Bands; }
    int32_t CommandCount() const { return Count; }
    // Whether the last Render drew band b.
    bool BandDrawn(int32_t b) const { return PreviousLists[b].Dirty == 1; }
    const TBandList& LastList(int32_t b) const { return PreviousLists[b]; }

    std::unique_ptr<TARGB8888> BandBuffer;   // target of bands that are being blended
    std::unique_ptr<TARGB8888> FrameBuffer;  // the composed frame; 4 spare columns on the right
    // The field that interlaced renders and presents write, linked by the owner; none: they
    // write every row.
    const TInterlace* Interlace = nullptr;

private:
    void Record(const TCellDrawCommand& command, float layer);
    void Distribute(const TCellDrawCommand& c, bool& blend);
    // Whether this frame's commands deal out to the bands exactly as the last frame's did while
    // no band is due again, so that Render has nothing to draw.
    bool Still(uint32_t background, int32_t maxLayer) const;
    TCellDrawCommand* Commands() { return CommandSets[CurrentSet].data(); }
    const TCellDrawCommand* LastCommands() const { return CommandSets[CurrentSet ^ 1].data(); }
    void DrawEntry(const TCellDrawCommand& c, TARGB8888* target, int32_t offset, int32_t clipTop, int32_t clipBottom);

    int32_t ScreenWidth = 0;
    int32_t ScreenHeight = 0;
    int32_t Bands = 0;
    std::vector<TBandList> PreviousLists;
    std::vector<TBandList> CurrentLists;
    std::vector<uint8_t> Invalidated;
    std::vector<int32_t> BlendCounters;
    std::vector<int32_t> RedrawCountdowns;
    int32_t Count = 0;
    // The bands the last Render drew, as their lists' Dirty flags count them.
    int32_t DrawnBands = 0;
    // This frame's commands and the last frame's, in turn. One slot more than a frame may record:
    // the background always finds its place.
    std::array<std::array<TCellDrawCommand, kMaxCommands + 1>, 2> CommandSets;
    int32_t CurrentSet = 0;
    std::array<uint64_t, kMaxCommands + 1> Order;  // layer and index of each command, sorted
    // What each of the last dealt-out frame's commands covers, by recording index.
    std::array<uint8_t, kMaxCommands + 1> LastCovers;
    // The last dealt-out frame: its number of recorded commands (the background not counted), its
    // background and its layer limit; and whether it left every band at rest (no band due to be
    // drawn again, no frame blend running), which a still frame needs.
    int32_t LastCount = 0;
    uint32_t LastBackground = 0;
    int32_t LastMaxLayer = 0;
    bool AtRest = false;
};
