// Animations: ".b" files and the player that shows them.
//
// An animation is a set of motions, each picked by its name ("*Enable", "*OnClick", ...) when the
// state of the object showing it changes. A motion is a stack of layers of 32 key frames each; key
// frames draw the pictures and play the sounds embedded in the file. A single picture file (".bmp", ".jpg",
// ".png", ".argb" or a motion movie ".m") can be shown as a one-layer animation too.
//
// File layout of the current format; integers little-endian, a tag is 16 bytes of ASCII padded
// with zero bytes (compared exactly up to the first zero), a string is a u16 length and that many
// Shift-JIS bytes:
//
//   tag "abmp11" (or "abmp10")
//   data block    tag "abdata11" (or "abdata10"), u32 L, L bytes of a byte-pair-compressed stream
//                 holding: name, i32 width, i32 height, [abdata11: i32 length in ms, string text],
//                 u8 motion count, the motions
//     motion      tag "abmotion10", name, u8 layer count, the layers
//     layer       tag "ablayer10".."ablayer13", name, u8 count (ignored: there are always 32 key
//                 frames), [ablayer11..13: u8 key-stack mode], 32 key frames of 57 bytes
//   image block   tag "abimage10", u8 count, records: tag "abimgdat10", name, u8 type, u32 size,
//                 size bytes of the file (types 0 BMP, 1 JPEG, 2 and 3 PNG, 4 ".m", 5 ".argb",
//                 6 a nested ".b")
//   sound block   tag "absound10", u8 count, records: tag "absnddat10", name, u8 type, u32 size,
//                 size bytes of the file (types 0 RIFF wave, 1 Ogg Vorbis)
//
// Layers before version 13 keep their rectangles as corners (x1, y1, x2, y2); a file whose first
// layer is that old has every rectangle turned into position and size on loading. Layers of
// versions 10 and 11 number the frame blend 4 and the hit area 5 (6 and 7 today). An "abmp10"
// file pushes the first layer of each motion on the key stack. The older "ABMP7" format is
// imported into the same tree (AnimationBmpImport.cpp describes it).
//
// Loading checks every size and count against the bytes that remain. A damaged file fails as a
// whole and leaves the animation empty, with the reason in Error(); an embedded picture that
// cannot be decoded, or a nested animation that does not load, only leaves its own record empty.
// Nested animations load down to a depth of 8 below the file loaded first; deeper ones load
// nothing.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "foundation/uMisc_Math.h"
#include "media/ARGB8888Lib.h"
#include "media/ImageEffectLib.h"
#include "media/uCache.h"
#include "platform/ClassLib.h"

class TARGB8888CellDraw;
class TARGB8888Movie;
class TABMPLayer10;
class TPackSet;  // foundation/PackLib.h
class TAnimationBMP;
class TMediaContext;
class TRecordReader;
class TRecordWriter;

// Drawing kinds of a key frame.
enum class TABMPKind : uint8_t {
    None = 0,
    Fill = 1,
    Draw = 2,
    Stretch = 3,
    Rotate = 4,
    FrameBlend = 5,
    HitArea = 6,
    Nested = 7,
};

// Curves of the source and destination towards the next key frame; only the low 7 bits count,
// and numbers from 7 up hold like Hold.
enum class TABMPCurve : uint8_t {
    Hold = 0,
    Linear = 1,
    BSpline = 2,
    Decelerate = 3,
    Accelerate = 4,
    Hermite = 5,
    Shake = 6,
};

// How a layer uses the animation's key stack after it is evaluated (other values do neither).
enum class TKeyStackMode : uint8_t { Apply = 0, Push = 1, Pop = 2 };

// Commands a key frame runs in the player when it is reached.
enum class TABMPCommand : uint8_t {
    None = 0,
    Jump = 1,          // every step: to key frame Arg1 (to itself: stop there)
    Start = 2,         // a motion starts at the last such key frame
    RandomWait = 3,    // on arrival: wait a table-random number of ms below Arg1 seconds
    LipSync = 4,       // every step: to key frame Arg1 while the voice is louder than Arg2 (0: 32)
    Motion = 5,        // on arrival: switch to motion Arg1; the step ends
    Wait = 6,          // on arrival: wait Arg1 seconds
    End = 7,           // every step: every layer to its last key frame
    Sound = 8,         // on arrival: play sound Arg1 at volume Arg2 (0: 255), looping when Arg3
    RandomWaitCs = 9,  // on arrival: random wait below Arg1 hundredths of a second
    WaitCs = 10,       // on arrival: wait Arg1 hundredths of a second
    StopSound = 11,    // on arrival
    SetTime = 12,      // on arrival: every layer to Arg1 seconds plus the overshoot
    Sync = 13,         // on arrival: every layer to this layer's clock
};

// One key frame, 57 bytes in a file, fields in file order.
struct TABMPKeyFrame {
    int32_t Time = 0;                                // ms from the start of the motion, ascending within a layer
    uint8_t Kind = 0;                                // TABMPKind
    uint8_t Blend = 0;                               // 1..7 select blend modes 3..9; anything else alpha blend (2)
    uint8_t Image = 0;                               // embedded image drawn, or the nested animation of kind 7
    uint8_t Image2 = 0;                              // kind 7: the nested animation's motion
    int16_t SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;  // all 0: the whole picture
    int32_t Param = 0;   // time handed to the picture: a movie's frame time, a nested animation's time
    int32_t Param2 = 0;  // interpolated like Param; nothing uses it
    // Kind 4 keeps its horizontal and vertical scale in percent in DstW and DstH.
    int16_t DstX = 0, DstY = 0, DstW = 0, DstH = 0;
    int16_t Depth = 0;  // added to the animation's layer; the id of a hit area
    int16_t Angle = 0;  // degrees
    uint32_t AddColor = 0;
    uint32_t MulColor = 0xFFFFFF;  // also the colour of a fill
    uint8_t Alpha = 255;
    uint8_t SrcCurve = 0;
    uint8_t SrcTension = 100;  // percent
    uint8_t SrcAnchor = 0;     // 0..8 on a 3 x 3 grid: column anchor mod 3, row anchor div 3
    uint8_t DstCurve = 0;      // also drives Depth and Angle
    uint8_t DstTension = 100;
    uint8_t DstAnchor = 0;
    uint8_t ColorLerp = 0;  // 1: colours and alpha blend towards the next key frame; else they hold
    uint8_t Command = 0;    // TABMPCommand
    uint8_t Arg1 = 0, Arg2 = 0, Arg3 = 0, Arg4 = 0;

    bool operator==(const TABMPKeyFrame&) const = default;
};

// A key frame of the old "ABMP7" format, 32 bytes in a file; rectangles are corners.
struct TABMP7KeyFrame {
    int32_t Time = 0;
    std::array<int16_t, 4> Src{};  // x1, y1, x2, y2
    std::array<int16_t, 4> Dst{};
    int16_t Depth = 0;
    uint32_t Colour = 0;  // 0xAARRGGBB; a tint only for some kinds
    uint8_t Kind = 0;     // drawing kind and blend mode in one number, 0..20
    uint8_t SrcCurve = 0;
    uint8_t DstCurve = 0;
    uint8_t ColorLerp = 0;
    uint8_t Command = 0;
    uint8_t Arg = 0;
};

// A layer's state at a time, as the player draws it.
struct TABMPLayerState {
    uint8_t Kind = 0;
    uint8_t Mode = 0;  // TBlendMode
    uint32_t Image = 0;
    uint32_t Image2 = 0;
    float SrcX = 0, SrcY = 0, SrcW = 0, SrcH = 0;
    int32_t Param = 0;
    int32_t Param2 = 0;
    float DstX = 0, DstY = 0, DstW = 0, DstH = 0;  // kind 4: DstW and DstH are scales, 1.0 unscaled
    float Depth = 0;
    float Angle = 0;  // turns
    uint32_t AddColor = 0;
    uint32_t MulColor = 0;
    int32_t Alpha = 0;
    uint8_t Command = 0;
    uint32_t SrcAnchor = 0;
    uint32_t DstAnchor = 0;
    uint32_t Arg1 = 0, Arg2 = 0, Arg3 = 0, Arg4 = 0;
};

namespace AnimationBmpLib {

constexpr int32_t kKeyCount = 32;
constexpr int32_t kKeyFrameSize = 57;
constexpr int32_t kTagSize = 16;
// Layers the player keeps a clock for; a motion of the current format has at most 255.
constexpr int32_t kMaxLayers = 256;
// Nested ".b" files load down to this depth below the file loaded first.
constexpr int32_t kMaxNesting = 8;

constexpr int32_t kABMP7KeyFrameSize = 32;

// A key frame from its 57 bytes, and back; the same for the old 32-byte ones.
TABMPKeyFrame ReadKeyFrame(TRecordReader& r);
void WriteKeyFrame(TRecordWriter& w, const TABMPKeyFrame& k);
TABMP7KeyFrame ReadABMP7KeyFrame(TRecordReader& r);
void WriteABMP7KeyFrame(TRecordWriter& w, const TABMP7KeyFrame& k);
// A tag's 16 bytes: the text, then zero bytes.
std::string MakeTag(const std::string& text);
// The blend mode a key frame's Blend byte selects.
TBlendMode BlendMode(uint8_t blend);
// The top-left corner of a w x h rectangle placed at (x, y) by an anchor 0..8, as an offset:
// (w / 2) x column and (h / 2) x row.
void AnchorOffset(uint32_t anchor, float w, float h, float& ax, float& ay);
// The next size bytes of the stream in a stream of their own, at position 0; false (and nothing
// taken) when the stream holds fewer.
bool CopyItem(TStream& stream, uint32_t size, TMemoryStream& item);
// The file name without its extension; the folder stays.
std::string StripExtension(const std::string& fileName);
// To the nearest integer, halves to even, held to the i32 range; 0 for a value that is no number.
int32_t RoundHalfEven(double v);
// Turns the rectangles of a layer stored as corners (x1, y1, x2, y2) into position and size. The
// kind of a key frame and of the one before it decide which of its rectangles were corners.
void CornersToSizes(TABMPLayer10& layer);

}  // namespace AnimationBmpLib

// Every object of an animation's tree: a name, and the object that owns it.
class TABMPBaseClass {
public:
    TABMPBaseClass(TABMPBaseClass* parent, std::string name) : Parent(parent), Name(std::move(name)) {}
    virtual ~TABMPBaseClass() = default;
    TABMPBaseClass(const TABMPBaseClass&) = delete;
    TABMPBaseClass& operator=(const TABMPBaseClass&) = delete;

    // The names from the root down joined with "_": "<animation>_Image_ImgDat3" for an image
    // record, which is also the cache key of its picture (with the picture's extension).
    std::string GetFullName() const;

    TABMPBaseClass* Parent = nullptr;  // not owned; none for the animation itself
    std::string Name;

protected:
    // A load failed: the animation at the root keeps the first reason of the load.
    virtual void LoadFailed(const std::string& reason);
    // How deep below the file loaded first the animation of this object lies.
    virtual int32_t NestingDepth() const;
    // The caches the animation of this object shares its embedded media through; none: each
    // record decodes its own.
    virtual TMediaContext* MediaOf() const;
    bool Fail(TStream& stream, const std::string& what);
    // Reads a 16-byte tag; false (the stream put back) when it is none of the accepted texts.
    // index is the accepted text's place.
    bool ReadTag(TStream& stream, std::initializer_list<const char*> accepted, size_t& index);
    // The rest of a picture or sound record after its tag: name, type, and the data in a stream
    // of its own.
    bool ReadItem(TStream& stream, const char* what, std::string& name, uint8_t& type, TMemoryStream& item);
    // An image or sound block: the tag, a count, then that many records made afresh.
    template <typename TRecord>
    bool ReadRecords(TStream& stream, const char* tag, const char* what, std::vector<std::unique_ptr<TRecord>>& items);
};

class TABMPLayer10 : public TABMPBaseClass {
public:
    explicit TABMPLayer10(TABMPBaseClass* parent);

    // Version 12, name "NoName", mode 0, key frame k fresh with Time k x 1000.
    void Reset();
    // Key frame k (0..31) all 0 but MulColor 0xFFFFFF and Alpha 255; its Time stays.
    void ResetKey(int32_t k);
    // Moves key frame k by delta ms, and with following every key frame after it; times stay
    // strictly increasing and key frame 0 at 0 or later.
    void ShiftKeyTime(int32_t k, int32_t delta, bool following);
    // A layer always has 32 key frames.
    void SetKeyCount(int32_t) {}
    // The key frame in force at the time (rounded, halves to even): -1 before the first, 31 at
    // or after the last. A time that is not a number counts as before the first.
    int32_t FindKey(double time) const;
    // The layer's state at the time; all zero before the first key frame. Shake curves draw from
    // random's table in a fixed order: destination, depth and angle, then source.
    void Evaluate(TABMPLayerState& state, double time, uMisc_Math::TRandomState& random) const;
    bool LoadFromStream(TStream& stream);

    int32_t Version = 12;  // the layer tag's number 10..13, or 7 for the old format
    std::string LayerName = "NoName";
    std::array<TABMPKeyFrame, AnimationBmpLib::kKeyCount> Keys{};
    uint8_t KeyStackMode = 0;  // TKeyStackMode
};

class TABMPMotion10 : public TABMPBaseClass {
public:
    explicit TABMPMotion10(TABMPBaseClass* parent);

    // Name "NoName" and two fresh layers.
    void Reset();
    bool LoadFromStream(TStream& stream);

    int32_t Version = 10;
    std::string MotionName = "NoName";  // looked up without regard to case
    std::vector<std::unique_ptr<TABMPLayer10>> Layers;
};

class TABMPData10 : public TABMPBaseClass {
public:
    explicit TABMPData10(TABMPBaseClass* parent);

    // Version 10, name "NoName", one fresh motion, size 0 x 0, length 0, no text.
    void Reset();
    bool LoadFromStream(TStream& stream);

    int32_t Version = 10;  // 10 or 11; 7 for the old format
    std::string DataName = "NoName";
    std::vector<std::unique_ptr<TABMPMotion10>> Motions;
    int32_t Width = 0;  // the size a screen object takes for the animation
    int32_t Height = 0;
    int32_t Length = 0;  // natural playing length in ms
    std::string Text;    // free text for the scripts
};

// One embedded picture: a still picture (shared through the picture cache, or a copy of its own),
// a motion movie, or a nested animation; and the copy of the picture with its effects applied.
class TABMPImageData10 : public TABMPBaseClass {
public:
    TABMPImageData10(TABMPBaseClass* parent, int32_t index);
    ~TABMPImageData10() override;

    bool LoadFromStream(TStream& stream);
    // Loads the picture that the extension of name says (".bmp", ".jpg", ".png", ".argb", ".m",
    // ".b", any case) from the stream's position to its end, in place of what the record held.
    // Still pictures come through the picture cache under name. False when nothing could be
    // loaded; an effect text the record has is applied to the new picture.
    bool LoadImage(TStream* stream, const std::string& name);
    // Releases the picture, the movie, the nested animation and the effect copy.
    void Empty();
    // The picture to draw: the movie's current frame, else the effect copy, else the picture;
    // nullptr when the record is empty.
    TARGB8888* GetImage() const;
    // ms: the movie's length or the nested animation's length; 0 otherwise.
    int32_t GetLength() const;
    // Empties the record and keeps a copy of the image or bitmap.
    void SetImage(const TARGB8888* image);
    void SetBitmap(const TBitmap32* bitmap);
    // The effect text (the effect list of ImageEffectLib): a new text remakes the effect copy.
    void SetEffect(std::string_view effect);
    void ApplyEffects();

    uint8_t ImageType = 0;            // as in the file
    TImageEffect Effect;              // the effect text and the copy of the picture it makes
    TCacheHandle<TARGB8888> Picture;  // from the picture cache, or a copy of the record's own
    std::unique_ptr<TARGB8888Movie> Movie;
    std::unique_ptr<TAnimationBMP> Animation;
    std::string ImageName;  // from the file; may carry "*mesalpha" and "*messurface"
};

class TABMPImage10 : public TABMPBaseClass {
public:
    explicit TABMPImage10(TABMPBaseClass* parent);
    void Reset();  // one empty record
    bool LoadFromStream(TStream& stream);
    int32_t Count() const { return static_cast<int32_t>(Items.size()); }

    int32_t Version = 10;
    std::vector<std::unique_ptr<TABMPImageData10>> Items;
};

// One embedded sound, as PCM of the engine's format (44100 Hz, 16-bit, stereo).
class TABMPSoundData10 : public TABMPBaseClass {
public:
    TABMPSoundData10(TABMPBaseClass* parent, int32_t index);
    ~TABMPSoundData10() override;

    bool LoadFromStream(TStream& stream);
    // Loads a ".wav" or ".ogg" sound from the stream's position to its end; false when it cannot.
    bool LoadSound(TStream* stream, const std::string& name);
    void Empty();

    uint8_t SoundType = 0;  // as in the file
    std::string SoundName;
    TCacheHandle<TMemoryStream> Wave;  // from the sound cache; empty while the record has no sound
};

class TABMPSound10 : public TABMPBaseClass {
public:
    explicit TABMPSound10(TABMPBaseClass* parent);
    void Reset();  // one empty record
    bool LoadFromStream(TStream& stream);
    int32_t Count() const { return static_cast<int32_t>(Items.size()); }

    int32_t Version = 10;
    std::vector<std::unique_ptr<TABMPSoundData10>> Items;
};

// Transforms that a layer passes on to the layers after it: up to 31 entries, each the sum of
// its own and the entry below it. Only positions, depth, angle, colours and alpha are used.
class TKeyStack {
public:
    static constexpr int32_t kCapacity = 31;
    void Clear() { Count = 0; }
    void Push(const TABMPLayerState& s);   // ignored when full
    void Apply(TABMPLayerState& s) const;  // adds the top entry's transform
    void Pop() {
        if (Count > 0) --Count;
    }

    std::array<TABMPLayerState, kCapacity> Entries{};
    int32_t Count = 0;
};

// The hit areas of the current frame: up to 31 rectangles, right and bottom exclusive.
class THitStack {
public:
    static constexpr int32_t kCapacity = 31;
    struct TRect {
        int32_t X1 = 0, Y1 = 0, X2 = 0, Y2 = 0, Id = 0;
    };
    // Ignored when full or when the rectangle is a single point.
    void Push(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t id);
    bool HitTest(int32_t x, int32_t y) const;
    void Clear() { Count = 0; }

    std::array<TRect, kCapacity> Items{};
    int32_t Count = 0;
};

// The sound library as the player uses it (a facade of effect channels and streams). Channels
// hold PCM of the engine's format; a load under the name a channel already holds loads nothing.
class IAnimationSound {
public:
    virtual ~IAnimationSound() = default;
    virtual bool LoadFromMemory(int32_t channel, const TMemoryStream& pcm, int32_t group, bool force,
                                const std::string& name) = 0;
    virtual void SetVolume(int32_t channel, int32_t volume) = 0;  // 0..255, heard from the next play
    virtual void Play(int32_t channel, bool loop, int32_t startMs) = 0;
    virtual void Stop(int32_t channel) = 0;
    // The playing level of a stream, 0..1; which: 0 left, 1 right, anything else both.
    virtual float GetLevel(int32_t stream, int32_t which) = 0;
    // How many streams and effect channels the library has; screen objects take the second last
    // of each for their animations. A library of other sizes than the standard one says so.
    virtual int32_t StreamChannelCount() { return 16; }
    virtual int32_t EffectChannelCount() { return 15; }
};

// The animation and its player.
class TAnimationBMP : public TABMPBaseClass {
public:
    explicit TAnimationBMP(IAnimationSound* sound = nullptr);
    ~TAnimationBMP() override;

    // Empty: one motion of two empty layers, name "none", version 11, volume 255, speed 1.0,
    // every clock, wait and last key frame reset, one empty image and sound record. The sound
    // library, channels and the message surface stay.
    void Clear();

    // ---- loading ----
    // An animation (".b": "abmp11", "abmp10" or "ABMP7") or a single picture (".bmp", ".jpg",
    // ".png", ".argb", ".m") from the stream's position; the extension of fileName decides, and a
    // ".b" file takes its name from fileName without the extension (the cache keys of its media
    // start with it). False for a nil stream, another extension, or a file that does not load
    // (Error() says why; the animation is then empty).
    bool LoadFromStream(TStream* stream, const std::string& fileName);
    // The same for a file read through the pack set.
    bool LoadFromFile(const TPackSet& packs, const std::string& fileName);
    bool LoadABMP11(TStream& stream, const std::string& fileName);
    bool LoadABMP10(TStream& stream, const std::string& fileName);
    bool LoadABMP7(TStream& stream, const std::string& fileName);
    // Replaces embedded image i with the picture in the stream (TABMPImageData10::LoadImage);
    // false for a nil stream or an i outside the records.
    bool LoadImageData(int32_t i, TStream* stream, const std::string& name);
    const std::string& Error() const { return ErrorText; }

    // ---- motions ----
    // Starts motion i (ignored for an index outside the motions): every layer at the time of its
    // last key frame with command 2, or 0, without waits; every key frame counts as newly reached.
    void SetMotion(int32_t i);
    int32_t GetMotionIndex() const { return Motion; }
    int32_t FindMotion(const std::string& name) const;  // without regard to case; -1 when none
    // The motion name of motion i; name is left alone for an i outside the motions.
    void GetMotionName(int32_t i, std::string& name) const;
    int32_t MotionCount() const;
    // Every layer of the current motion at or past its last key frame (true without layers).
    bool IsFinished() const;

    // ---- time ----
    // Runs the clocks and the key-frame commands ms milliseconds on, in steps of at most 50 ms,
    // then collects the hit areas of the new frame.
    void Advance(int32_t ms);
    // One step of dt ms (Advance's steps).
    void Step(int32_t dt);
    // Clock (wait 0) or wait of one layer, or of all 256 for a layer outside 0..255.
    void SetLayerTime(int32_t layer, double time);
    void SetLayerWait(int32_t layer, int32_t ms);
    // After restoring clocks: no key frame counts as newly reached at the next step.
    void SyncKeyIndices();

    // ---- drawing ----
    // Records the current frame into the compositor at (x, y), on top of layer, with the alpha
    // (0..255) and tint (multiply 0xFFFFFF and add 0 leave the colours).
    void Draw(TARGB8888CellDraw* target, int32_t x, int32_t y, int32_t layer, int32_t alpha, uint32_t multiply,
              uint32_t add);
    // Draw's work, and the hit collection of Advance (hit areas pushed, nothing recorded). A time
    // other than -1 first sets every clock of the current motion.
    void Render(TARGB8888CellDraw* target, int32_t x, int32_t y, int32_t layer, int32_t alpha, int32_t time,
                uint32_t multiply, uint32_t add, bool hitCollection);
    // Motion 0 becomes one colour rectangle 0xAARRGGBB, in its second layer.
    void SetFillRect(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t colour);
    // The picture that layers and pictures named "*messurface" show while MessageSurfaceOn.
    void SetMessageSurface(TARGB8888* image) { MessageSurface = image; }

    // ---- sounds ----
    // Plays embedded sound i on SoundChannel at Volume x volume div 255.
    void PlaySoundData(int32_t i, int32_t volume, bool loop, int32_t startMs);
    void StopSound();

    // Whether the hit collection can find anything (a hit area, or a shake drawn by a layer that
    // passes transforms on); worked out on loading and by the operations that build motions.
    // Whoever edits key frames directly calls RefreshHitLayers.
    bool HasHitLayers() const { return HitLayers; }
    void RefreshHitLayers();

    int32_t LastMotion = 0;
    std::array<int32_t, AnimationBmpLib::kMaxLayers> LastKey{};
    int32_t Volume = 255;
    int32_t VoiceStream = 0;
    int32_t SoundChannel = 0;
    IAnimationSound* Sound = nullptr;     // not owned; may be none
    TARGB8888* MessageSurface = nullptr;  // not owned
    TKeyStack KeyStack;
    float Speed = 1.0f;
    int32_t Version = 11;
    std::unique_ptr<TABMPData10> Data;
    std::unique_ptr<TABMPImage10> Images;
    std::unique_ptr<TABMPSound10> Sounds;
    THitStack HitStack;
    bool MessageSurfaceOn = false;
    int32_t Motion = 0;
    std::array<double, AnimationBmpLib::kMaxLayers> LayerTime{};
    std::array<int32_t, AnimationBmpLib::kMaxLayers> LayerWait{};
    // The caches of the game's media, not owned; set before loading, by the animation's owner.
    TMediaContext* Media = nullptr;
    // The game's random state, not owned, set by the animation's owner; none: the animation draws
    // from a state of its own. Nested animations draw from their owner's.
    uMisc_Math::TRandomState* Random = nullptr;
    uMisc_Math::TRandomState& RandomState();  // the state draws come from

protected:
    void LoadFailed(const std::string& reason) override;
    int32_t NestingDepth() const override { return Depth; }
    TMediaContext* MediaOf() const override { return Media; }

private:
    friend class TABMPImageData10;
    bool LoadCurrent(TStream& stream, const std::string& fileName, bool eleven);
    bool LoadPicture(TStream& stream, const std::string& fileName);
    void ConvertCorners();
    void EvaluateLayer(const TABMPLayer10& layer, int32_t index, TABMPLayerState& s, int32_t x, int32_t y,
                       int32_t depth, int32_t alpha, bool hitCollection);
    void DrawLayer(const TABMPLayer10& layer, TABMPLayerState& s, TARGB8888CellDraw* target, uint32_t multiply,
                   uint32_t add);
    int32_t VoiceLevel() const;

    int32_t Depth = 0;  // nesting depth: 0 for the file loaded first
    // While a frame is drawn: the layers that nested animations may still evaluate in it, shared
    // by the whole tree, so that animations nesting each other many times over cannot stall a
    // frame. A frame takes 1024 commands; this is far more than that needs.
    static constexpr int64_t kNestedLayerBudget = 8192;
    int64_t* NestedBudget = nullptr;  // the outermost animation's BudgetLeft
    int64_t BudgetLeft = 0;
    std::unique_ptr<uMisc_Math::TRandomState> OwnRandom;  // made on the first draw without Random
    std::string ErrorText;
    bool HitLayers = false;
};
