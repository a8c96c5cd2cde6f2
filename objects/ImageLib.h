// The base screen object: a ".b" animation, or a single picture played as a one-layer animation,
// standing somewhere on the game screen. The object adds what scripts and system screens ask of
// it: eased moves of x, y and layer, fades, the shown and enabled states and the motions they
// play when the animation has them ("*Enable", "*Disable", "*OnMouse", "*OffMouse"), anchors,
// input and draw masks, an extra hit rectangle, a rectangle outside which the pointer hides the
// object, a click point, four integers and four strings for the scripts, effect texts for the
// embedded pictures, eight in-memory pictures, and a fixed-size record saved with the game.
//
// Images, message windows, buttons and both halves of a scroll bar are TImageLib or derive from
// it. Construction is two-phase so that a derived class's Clear runs: construct, then Initialize;
// tear down with Finalize before destruction (ImageLib::Make and ImageLib::TPtr do both).
//
// Saved state, in this order:
//   the record, 4776 bytes (TImageRecord has the layout)
//   16 effect texts, each a stream string (u16 length, bytes)
//   for each memory slot whose flag in the record is 1, in slot order: its name with the
//   extension ".jpg" as a stream string, u32 n, n bytes of the picture as a JPEG of quality 90
// JPEG keeps no alpha: a slot's picture comes back opaque.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "media/AnimationBmpLib.h"
#include "platform/ClassLib.h"

class TARGB8888CellDraw;
class TPackSet;  // foundation/PackLib.h
class TRecordReader;
class TRecordWriter;

// How moves run from their start to their target.
enum class TMoveEasing : uint8_t {
    Jump = 0,  // straight to the target
    Linear = 1,
    BSpline = 2,     // soft start and finish
    Decelerate = 3,  // fast start
    Accelerate = 4,  // slow start
    Hermite = 5,
    Shake = 6,  // as Decelerate, shaken by up to 20 pixels that die out towards the end
};

// Which edge of the picture stands at the object's position; the same numbers name the points
// of GetAnchorX and GetAnchorY.
enum class TImageAnchor : int32_t {
    Start = 0,   // left, top
    Centre = 1,  // centre, middle
    End = 2,     // right, bottom
};

// The state record: every field at a fixed offset, integers little-endian, short strings a length
// byte and their capacity in bytes.
//   0     u8    visible                       1     u8    enabled
//   2     i32   sound volume 0..255           6     i32   motion index
//   10    i32 x 256  layer clocks, ms        1034  u32 x 256  layer waits, ms
//   2058  i32   x, y, z, alpha (current)      2074  i32   streamed-sound channel
//   2078  i32   effect-sound channel          2082  128   file 1 (short string of 127)
//   2210  128   file 2                        2338  i32 x 4  extra hit rectangle x1, y1, x2, y2
//   2354  i32 x 2  pointer x, y               2362  i32 x 4  show rectangle left, top, right, bottom
//   2378  i32 x 3  move start x, y, z         2390  i32 x 3  move target x, y, z
//   2402  i32   move time left                2406  i32   move duration
//   2410  i32   alpha start, target, time left, duration (4 x i32)
//   2426  u8    easing of moves               2427  i32 x 4  user integers
//   2443  4 x 64  user strings (short strings of 63)
//   2699  i32   horizontal, vertical anchor   2707  u32   input mask, draw mask
//   2715  i32 x 2  click point                2723  i32   motion index at the last Update
//   2727  u8    animation clock paused        2728  3 x 128  files 3, 4, 5
//   3112  u8 x 8  memory slots saved           3120  i32   animation speed in percent (-1: 0 %)
//   3124  1652  zero
// Motion index, clocks, waits, channels and speed are taken from the animation when saving.
struct TImageRecord {
    static constexpr int32_t kSize = 4776;
    static constexpr int32_t kFileCapacity = 127;
    static constexpr int32_t kUserStringCapacity = 63;
    static constexpr int32_t kReservedSize = 1652;
    static constexpr int32_t kNoPointer = -10000;

    uint8_t Visible = 0;
    uint8_t Enabled = 0;
    int32_t SoundVolume = 255;
    int32_t MotionIndex = 0;
    std::array<int32_t, AnimationBmpLib::kMaxLayers> LayerTimes{};
    std::array<uint32_t, AnimationBmpLib::kMaxLayers> LayerWaits{};
    int32_t X = 0, Y = 0, Z = 0;
    int32_t Alpha = 255;
    int32_t SoundChannel = 0;   // the stream whose level drives lip sync
    int32_t EffectChannel = 0;  // the effect channel of the embedded sounds
    std::array<std::string, 5> Files;
    int32_t HitX1 = 0, HitY1 = 0, HitX2 = 0, HitY2 = 0;
    int32_t PointerX = kNoPointer, PointerY = kNoPointer;
    int32_t ShowLeft = 0, ShowTop = 0, ShowRight = 0, ShowBottom = 0;
    int32_t StartX = 0, StartY = 0, StartZ = 0;
    int32_t TargetX = 0, TargetY = 0, TargetZ = 0;
    int32_t MoveLeft = 0, MoveDuration = 0;
    int32_t AlphaStart = 255, AlphaTarget = 255;
    int32_t AlphaLeft = 0, AlphaDuration = 0;
    uint8_t Easing = static_cast<uint8_t>(TMoveEasing::Linear);
    std::array<int32_t, 4> UserInts{};
    std::array<std::string, 4> UserStrings;
    int32_t AnchorX = 0, AnchorY = 0;
    uint32_t InputMask = 255, DrawMask = 255;
    int32_t ClickX = 0, ClickY = 0;
    int32_t SeenMotion = 0;
    uint8_t Paused = 0;
    std::array<uint8_t, 8> SlotSaved{};
    int32_t SpeedPercent = 100;

    void Write(TRecordWriter& w) const;
    // Length bytes beyond a string's capacity are taken as the capacity.
    void Read(TRecordReader& r);
    bool operator==(const TImageRecord&) const = default;
};

class TImageLib {
public:
    static constexpr int32_t kEffectCount = 16;
    static constexpr int32_t kMemorySlots = 8;
    static constexpr int32_t kFileCount = 5;
    using TFiles = std::array<std::string, kFileCount>;

    // Pictures are read through the pack set; the animation plays its sounds through the facade
    // (none: silent). Initialize before use.
    explicit TImageLib(const TPackSet& packs, IAnimationSound* sound = nullptr);
    virtual ~TImageLib();
    TImageLib(const TImageLib&) = delete;
    TImageLib& operator=(const TImageLib&) = delete;
    // The caches the animation shares its pictures and sounds through (none: its own copies).
    void UseMedia(TMediaContext* media) { Animation->Media = media; }
    // The game's random state the shakes and random waits draw from (none: the animation's own).
    void UseRandom(uMisc_Math::TRandomState* random) { Animation->Random = random; }

    // The second phase of construction: Clear of the most-derived class.
    void Initialize();
    // Clear of the most-derived class once, before destruction; later calls do nothing. A class
    // that is destroyed without it is cleared as a TImageLib only.
    void Finalize();

    // ---- the operations derived objects override, in this order ----
    // Plays "*OnMouse" while the pointer hits the object and "*OffMouse" when it leaves.
    virtual void UpdateHover();
    // Everything back to the state after construction: no picture, hidden, record defaults,
    // memory slots and effect texts empty, default sound channels; then CaptureState.
    virtual void Clear();
    // Runs the tweens and, while visible, the animation's clock; mask is not used here.
    virtual void Update(uint32_t mask, int32_t elapsed);
    // Records the animation into the target at the current position offset by (dx, dy).
    virtual void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy);
    virtual void Show();  // visible and enabled, the motion left alone
    virtual void Hide();  // neither visible nor enabled
    virtual void Enable();
    virtual void Disable();
    // Keeps the pointer; updates the hover motions while enabled and the masks meet.
    virtual void MouseMove(uint32_t mask, int32_t x, int32_t y);
    // Remembers the files, the enabled state and the motion's name, for RestoreState.
    virtual void CaptureState();
    virtual void RestoreState();
    // The save data above; false when the stream is missing. Loading clears first, and a stream
    // that is damaged or too short gives false and leaves the object cleared.
    virtual bool SaveToStream(TStream* stream);
    virtual bool LoadFromStream(TStream* stream);

    // ---- pictures ----
    // File 1 is the picture or animation; files 2 to 5 replace its embedded pictures 0 to 3.
    // File 1 "rect,x,y,w,h,colour" (6 items, any case) is a colour rectangle. Names are resolved
    // through the pack set. Unless forced, the same names as now load nothing (names of memory
    // pictures, beginning "$$$", always load). With useSlots the memory slots are read before the
    // packs and kept. False when file 1 cannot be found or loaded: the object then shows nothing.
    bool LoadImages(const std::string& file1, const std::string& file2, const std::string& file3,
                    const std::string& file4, const std::string& file5, bool force, bool useSlots);
    bool LoadImages(const TFiles& files, bool force, bool useSlots);
    bool LoadRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    // Hands effect text i to embedded picture i, for the pictures the animation has.
    void ApplyImageEffects();
    // Empties the slot, then keeps a copy of the whole stream under the name when the name is one
    // of a memory picture ("$$$..."). Slots outside 0..7 are left alone.
    void SetMemoryImage(int32_t slot, TStream* stream, const std::string& name);
    static bool IsMemoryImageName(const std::string& name);

    // ---- place and tweens ----
    // A move runs from the previous target, not from where the object is drawn now; 0 ms jumps.
    void MoveTo(int32_t x, int32_t y, int32_t z, int32_t ms);
    void FadeTo(int32_t alpha, int32_t ms);
    void SetMoveEasing(int32_t kind) { Record.Easing = static_cast<uint8_t>(kind); }
    void SetAnchor(int32_t horizontal, int32_t vertical) {
        Record.AnchorX = horizontal;
        Record.AnchorY = vertical;
    }
    // The x of the left, centre or right edge (point 0, 1, 2) where the move ends.
    int32_t GetAnchorX(int32_t point) const;
    int32_t GetAnchorY(int32_t point) const;
    int32_t GetZ() const { return Record.TargetZ; }
    int32_t GetWidth() const { return Animation->Data->Width; }
    int32_t GetHeight() const { return Animation->Data->Height; }
    // start at progress 0, end from progress 1024 on, in between by the easing kind; a shake
    // draws from random.
    static int32_t Ease(int32_t start, int32_t end, int32_t progress, int32_t kind, uMisc_Math::TRandomState& random);

    // ---- motions ----
    void SetMotion(const std::string& name, bool force);
    // -1 and the current motion (unless forced) change nothing; a motion chosen while the object
    // is not enabled hides it first.
    void SetMotionByIndex(int32_t index, bool force);
    int32_t MotionIndexOf(const std::string& name) const { return Animation->FindMotion(name); }
    int32_t GetMotionIndex() const { return Animation->GetMotionIndex(); }
    std::string GetMotionName(int32_t index) const;
    std::string GetCurrentMotionName() const { return GetMotionName(GetMotionIndex()); }

    // ---- pointer ----
    bool IsEnabled() const { return Record.Enabled != 0; }
    bool IsVisible() const { return Record.Visible != 0; }
    // The animation's hit areas and the extra hit rectangle, placed where the move ends.
    bool HitTest(int32_t x, int32_t y) const;
    void SetHitRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void SetHitSize(int32_t w, int32_t h) { SetHitRect(0, 0, w, h); }
    // While not empty, the object is drawn only while the pointer is inside this rectangle.
    void SetShowRect(int32_t left, int32_t top, int32_t right, int32_t bottom);
    bool PointerInShowRect() const;
    void SetClickPoint(int32_t x, int32_t y) {
        Record.ClickX = x;
        Record.ClickY = y;
    }
    void SetInputMask(uint32_t bits) { Record.InputMask = bits; }
    void SetDrawMask(uint32_t bits) { Record.DrawMask = bits; }

    // ---- sound ----
    void SetSoundChannel(int32_t channel);
    void SetEffectChannel(int32_t channel);
    void SetSoundVolume(int32_t volume);

    // ---- script data ----
    int32_t UserInt(int32_t index) const;  // 0 outside 0..3
    std::string UserString(int32_t index) const;
    void SetUserInt(int32_t index, int32_t value);
    void SetUserString(int32_t index, const std::string& text);  // cut to 63 bytes

    // Speed factor of the animation and the record's percent (0 counts as 100, -1 as 0).
    static float SpeedFromPercent(int32_t percent);
    static int32_t PercentFromSpeed(float speed);

    IAnimationSound* Sound() const { return SoundFacade; }
    const TPackSet& Packs() const { return *PackSet; }

    // Called by Update, with the object, when the animation's motion changed since the last one.
    std::function<void(TImageLib&)> OnMotionChange;

    std::unique_ptr<TAnimationBMP> Animation;
    TImageRecord Record;
    std::array<std::string, kEffectCount> EffectStrings;
    std::array<std::unique_ptr<TMemoryStream>, kMemorySlots> MemoryStreams;
    std::array<std::string, kMemorySlots> MemoryNames;
    TFiles CapturedFiles;
    std::string CapturedMotion;
    uint8_t CapturedEnabled = 0;

private:
    void ClearImages(bool useSlots);
    // File i through slot i (with useSlots) or the pack set, kept in slot i when it is a memory
    // picture; nullptr when it cannot be had.
    std::unique_ptr<TMemoryStream> OpenFile(int32_t slot, const std::string& name, bool useSlots);
    // A memory picture gets a name of its own, so that no cached picture of an earlier load is
    // taken for it.
    std::string LoadName(const std::string& name);
    uint32_t OwnMemoryLoads = 0;
    bool LoadRectText(const std::string& text);
    void RefreshFromAnimation();
    int32_t AnchorOffset(int32_t anchor, int32_t size) const;

    const TPackSet* PackSet;
    IAnimationSound* SoundFacade = nullptr;
    // Taken from the facade once: the object never asks it again, not even while it is torn down.
    int32_t DefaultSoundChannel = 0;
    int32_t DefaultEffectChannel = 0;
    bool Finalized = false;
};

namespace ImageLib {

// Finalizes before deleting, so that the object's own Clear runs at the end.
struct TFinalizingDelete {
    void operator()(TImageLib* image) const {
        image->Finalize();
        std::default_delete<TImageLib>()(image);
    }
};
template <typename T>
using TPtr = std::unique_ptr<T, TFinalizingDelete>;

// Constructs and initialises.
template <typename T, typename... TArgs>
TPtr<T> Make(TArgs&&... args) {
    TPtr<T> image(std::make_unique<T>(std::forward<TArgs>(args)...).release());
    image->Initialize();
    return image;
}

}  // namespace ImageLib
