// Motion movies (".m"): a sequence of pictures with a total time, shown as an ordinary image.
//
// File layout, all integers i32 little-endian, each block opening with an 8-byte tag that nobody
// checks:
//   header   tag, i32                                                          12 bytes
//   sound    tag, i32, data size S, i32, S bytes                               20 + S bytes
//   movie    tag, i32, total time (ms), frame count, i32, i32, frame-area size A    32 bytes
//   frames   A bytes of frame records; offsets into this area count from its first byte
//   index    tag, i32, entry count N, N x (frame number, record offset)
//
// A frame record at offset R: next and back (the neighbouring frames' records, relative to R),
// picture id, i32, picture link (0: the picture is here; else it is in the record at R + link,
// which may link on), data size D, picture type, D bytes of picture data. The picture id is the
// number of the frame whose record holds the picture, so a run of frames that link to one picture
// decodes it once.
//
// Frames are reached by walking next or back from the current frame or from the nearest key frame
// of the index, whichever is closer. Every offset, size and walk is checked against the frame
// area: a damaged record fails its frame and leaves the picture shown before, never a crash or a
// hang.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/uJpegLoader.h"
#include "platform/ClassLib.h"

// The encodings of a frame's picture.
enum class TMoviePictureType : int32_t {
    Jpeg = 0,       // one colour JPEG
    GreyJpeg = 1,   // one greyscale JPEG, shown as its 236 dithered levels
    JpegAlpha = 2,  // u32 size, colour JPEG, u32 size, greyscale JPEG whose levels are the alpha
    Raw24 = 16,     // u32 width, u32 height, rows of blue, green, red bytes, top row first
    Raw32 = 17,     // ... rows of blue, green, red, alpha bytes
    Raw565 = 18,    // ... rows of u16: red bits 11-15, green 5-10, blue 0-4
    Raw4444 = 19,   // ... rows of u16: alpha bits 12-15, red 8-11, green 4-7, blue 0-3
};
// Whether pictures of the type carry alpha; false also for types that are not known.
bool MoviePictureHasAlpha(int32_t type);

using TMovieTag = std::array<uint8_t, 8>;

class TMotionMovieFileHeadder {
public:
    static constexpr int32_t kSize = 12;
    bool LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    TMovieTag Tag{};
    int32_t Version = 0;  // not read by the player
};

class TMotionMovieSound {
public:
    static constexpr int32_t kHeadSize = 20;
    // False when the declared data does not fit in the rest of the stream.
    bool LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    TMovieTag Tag{};
    int32_t Format = 0;  // not read by the player
    int32_t Reserved = 0;
    TMemoryStream Data;  // kept, never played
};

class TMotionMovieMovie {
public:
    static constexpr int32_t kSize = 32;
    bool LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    TMovieTag Tag{};
    int32_t Version = 0;  // not read by the player
    int32_t TotalTime = 0;
    int32_t FrameCount = 0;
    int32_t Width = 0;  // of the first picture; not read by the player
    int32_t Height = 0;
    int32_t AreaSize = 0;
};

struct TMovieIndexEntry {
    int32_t Frame = 0;
    int32_t Offset = 0;
};

class TMotionMovieIndex {
public:
    static constexpr int32_t kHeadSize = 16;
    // False when the entries do not fit in the rest of the stream.
    bool LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    TMovieTag Tag{};
    int32_t Reserved = 0;
    std::vector<TMovieIndexEntry> Entries;
};

class TMotionMovieFrame {
public:
    static constexpr int32_t kHeadSize = 28;
    // The fields before the data.
    bool LoadHeadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;  // head and data
    int32_t Next = 0;
    int32_t Back = 0;
    int32_t PictureId = 0;
    int32_t Reserved = 0;
    int32_t Link = 0;
    int32_t DataSize = 0;
    int32_t PictureType = 0;
    std::vector<uint8_t> Data;
};

class TMotionMovie {
public:
    TMotionMovie();
    ~TMotionMovie();
    TMotionMovie(const TMotionMovie&) = delete;
    TMotionMovie& operator=(const TMotionMovie&) = delete;

    // Closes the movie, then reads its blocks from the stream's start and keeps the stream.
    // False, with the movie left empty and LastError saying where, when the blocks do not fit.
    bool LoadFromStream(std::unique_ptr<TStream> stream);
    // Frees the stream; no frames afterwards.
    void Close();
    // Makes frame n (held to 0 .. frame count - 1) the current frame.
    void SetFrame(int32_t frame);
    // The frame for a time in milliseconds: frame count x t div total time, t held to 0 .. total
    // time. A total time of 0 or less always gives frame 0.
    void SetTime(int32_t time);
    // The current frame's picture, decoded when it is not the one shown; nullptr without frames.
    // When the picture cannot be decoded the one before stays.
    TBitmap32* GetImage();
    int32_t GetFrameCount() const { return MovieBlock.FrameCount; }
    int32_t GetLength() const { return MovieBlock.TotalTime; }

    int32_t CurrentFrame() const { return Current; }
    int32_t DecodedPictureId() const { return DecodedId; }
    bool HasAlpha() const { return Alpha; }
    // Why the last load, step or picture failed (kept until the next failure or load).
    const std::string& Error() const { return ErrorText; }

    TMotionMovieFileHeadder Header;
    TMotionMovieSound Sound;
    TMotionMovieMovie MovieBlock;
    TMotionMovieIndex Index;

private:
    bool Fail(const std::string& why);
    // The record head at an area offset; false when it does not lie inside the area.
    bool ReadHead(int64_t offset, TMotionMovieFrame& record);
    void LookUpKeyFrame(int32_t frame, int32_t& keyFrame, int32_t& keyOffset) const;
    bool Decode(TMotionMovieFrame& record);
    bool DecodeJpeg(const uint8_t* data, size_t size, TJpegRowFormat format, bool alphaPass);
    bool DecodeRaw(const TMotionMovieFrame& record);
    void Prepare(int32_t width, int32_t height);

    std::unique_ptr<TStream> Stream;
    int64_t AreaStart = 0;
    int32_t DecodedId = -1;
    int32_t LastProcessed = -1;
    int32_t Current = 0;
    int32_t CurrentOffset = 0;
    bool Alpha = false;
    TMotionMovieFrame Frame;
    TJpegLoader Jpeg;
    // Width, height and row format of the picture being decoded, as announced.
    int32_t PictureWidth = 0;
    int32_t PictureHeight = 0;
    TJpegRowFormat RowFormat = TJpegRowFormat::Bgr24;
    // The picture shown, and the one being decoded; they trade places when a picture is whole,
    // so a failure half-way leaves the shown one untouched. The shown bitmap keeps its address.
    std::unique_ptr<TBitmap32> Bitmap;
    std::unique_ptr<TBitmap32> Work;
    std::string ErrorText;
};
