// A scroll bar: a track picture and a thumb picture, each a screen object of its own, with an
// integer value from 0 to a maximum. The thumb's centre travels along the track between two ends
// taken from the pictures' frame sizes, half a thumb in from each end of the track; pressing on
// the track or dragging along it with the left button sets the value under the pointer.
//
// Saved state, in this order:
//   the record, 706 bytes (TScrollBarRecord has the layout)
//   the thumb's saved state, then the track's (TImageLib)
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "objects/ImageLib.h"

class TARGB8888CellDraw;

// The bar's record; integers little-endian, short strings a length byte and their capacity.
//   0    i32   x                          4    i32   y
//   8    i32   z of the track (the thumb stands 10 layers above it)
//   12   4     zero                       16   i32   vertical: 0 horizontal, else vertical
//   20   128   thumb file (short string of 127)
//   148  128   track file
//   276  i32   value, 0..max              280  i32   max, 1 or more
//   284  8     zero
//   292  4 x 65  user strings (short strings of 64)
//   552  i32 x 4  user integers           568  u32   input mask
//   572  u32   draw mask                  576  i32   drag countdown, in updates
//   580  126   zero
struct TScrollBarRecord {
    static constexpr int32_t kSize = 706;
    static constexpr int32_t kFileCapacity = 127;
    static constexpr int32_t kUserStringCapacity = 64;
    static constexpr int32_t kTailSize = 126;

    int32_t X = 0, Y = 0, Z = 0;
    int32_t Vertical = 0;
    std::string ThumbFile, TrackFile;
    int32_t Value = 0;
    int32_t Max = 100;
    std::array<std::string, 4> UserStrings;
    std::array<int32_t, 4> UserInts{};
    uint32_t InputMask = 255, DrawMask = 255;
    int32_t DragCountdown = 0;

    void Write(TRecordWriter& w) const;
    // Length bytes beyond a string's capacity are taken as the capacity.
    void Read(TRecordReader& r);
    bool operator==(const TScrollBarRecord&) const = default;
};

class TImageScrollBar {
public:
    // Bit 3 of the pointer event's shift state: the left button is held.
    static constexpr uint32_t kLeftButton = 8;
    // Updates during which a click or drag still counts as recent.
    static constexpr int32_t kDragUpdates = 4;

    // Both pictures play their sounds through the facade (none: silent).
    explicit TImageScrollBar(const TPackSet& packs, IAnimationSound* sound = nullptr);
    ~TImageScrollBar();
    TImageScrollBar(const TImageScrollBar&) = delete;
    TImageScrollBar& operator=(const TImageScrollBar&) = delete;
    // The caches both pictures share their media through.
    void UseMedia(TMediaContext* media) {
        Thumb->UseMedia(media);
        Track->UseMedia(media);
    }
    // The random state both pictures draw from.
    void UseRandom(uMisc_Math::TRandomState* random) {
        Thumb->UseRandom(random);
        Track->UseRandom(random);
    }

    // Record defaults, both pictures cleared; the track is then one pixel long, so that a bar
    // that was never loaded still lays out and drags without dividing by zero.
    void Clear();
    // Clears, then loads both pictures (not forced, without memory slots) and keeps the names
    // given. False when either picture cannot be loaded; the bar then has what did load.
    bool Load(const std::string& thumbFile, const std::string& trackFile, bool vertical);
    // Both pictures jump to (x, y, z); the thumb finds its place on the track at the next Update.
    void SetPos(int32_t x, int32_t y, int32_t z);

    void Update(uint32_t mask, int32_t elapsed);
    void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy);
    // Hover for both pictures; with the left button held (kLeftButton in shift) also a drag.
    void MouseMove(uint32_t mask, uint32_t shift, int32_t x, int32_t y);
    void MouseDown(uint32_t mask, int32_t x, int32_t y);
    // Sets the value under the point when the masks meet and the point hits the track. The value
    // is the point's share of the track times max, rounded half to even, clamped to 0..max.
    void DragTo(uint32_t mask, int32_t x, int32_t y);

    // Clamped to 0..max; OnChange only when the value changes. The thumb is laid out either way.
    void SetValue(int32_t value);
    // Clamped and stored: no layout, no event.
    void SetValueSilent(int32_t value);
    // Ignored below 1; lowers a value above it, without OnChange.
    void SetMax(int32_t max);
    int32_t GetValue() const { return Record.Value; }
    int32_t GetMax() const { return Record.Max; }

    void Enable();
    void Disable();
    bool IsEnabled() const { return Thumb->IsEnabled(); }
    // The bar's masks and both pictures'.
    void SetInputMask(uint32_t bits);
    void SetDrawMask(uint32_t bits);
    void SetSoundChannel(int32_t channel);
    void SetEffectChannel(int32_t channel);

    void CaptureState();
    void RestoreState();
    // The save data above; false when the stream is missing.
    bool SaveToStream(TStream* stream);
    // Clears first. False for a stream that is damaged or too short, which leaves the bar
    // cleared. A max below 1 is taken as 1 and the value is clamped to 0..max.
    bool LoadFromStream(TStream* stream);

    // The bar's own script data; the bar never reads it.
    int32_t UserInt(int32_t index) const;  // 0 outside 0..3
    std::string UserString(int32_t index) const;
    void SetUserInt(int32_t index, int32_t value);
    void SetUserString(int32_t index, const std::string& text);  // cut to 64 bytes

    // The frame sizes of both pictures and the ends of the thumb's travel from them.
    void ReadThumbBounds();
    // The track at the bar's place, the thumb over it where the value puts it.
    void LayoutThumb();

    IAnimationSound* Sound() const { return SoundFacade; }

    // Called with the bar when SetValue or a drag changes the value.
    std::function<void(TImageScrollBar&)> OnChange;

    TScrollBarRecord Record;
    // Where the thumb's centre may stand, measured from the track's left (or top) edge; End > Start.
    int32_t TrackStart = 0, TrackEnd = 1;
    int32_t ThumbWidth = 0, ThumbHeight = 0;
    int32_t TrackWidth = 0, TrackHeight = 0;
    ImageLib::TPtr<TImageLib> Thumb;
    ImageLib::TPtr<TImageLib> Track;

private:
    IAnimationSound* SoundFacade = nullptr;
};
