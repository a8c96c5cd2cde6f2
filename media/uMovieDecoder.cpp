#include "media/uMovieDecoder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>

#include "media/ImageCodecLib.h"
#include "platform/LittleEndian.h"

using LittleEndian::Get16;
using LittleEndian::Get32;

bool MoviePictureHasAlpha(int32_t type) {
    switch (static_cast<TMoviePictureType>(type)) {
        case TMoviePictureType::JpegAlpha:
        case TMoviePictureType::Raw32:
        case TMoviePictureType::Raw4444:
            return true;
        default:
            return false;
    }
}

namespace {

void ReadTag(TRecordReader& r, TMovieTag& tag) {
    for (uint8_t& b : tag)
        b = r.U8();
}

void WriteTag(TRecordWriter& w, const TMovieTag& tag) {
    for (uint8_t b : tag)
        w.U8(b);
}

std::string At(int64_t offset) {
    return " at offset " + std::to_string(offset);
}

}  // namespace

// ---------------------------------------------------------------- blocks

bool TMotionMovieFileHeadder::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kSize, bytes)) return false;
    TRecordReader r(bytes);
    ReadTag(r, Tag);
    Version = r.I32();
    return true;
}

void TMotionMovieFileHeadder::SaveToStream(TStream& stream) const {
    TRecordWriter w(kSize);
    WriteTag(w, Tag);
    w.I32(Version);
    w.WriteTo(stream);
}

bool TMotionMovieSound::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kHeadSize, bytes)) return false;
    TRecordReader r(bytes);
    ReadTag(r, Tag);
    Format = r.I32();
    const int32_t size = r.I32();
    Reserved = r.I32();
    Data.Clear();
    if (size < 0 || size > stream.Remaining()) return false;
    Data.SetSize(size);
    return stream.Read(Data.Memory(), size) == size;
}

void TMotionMovieSound::SaveToStream(TStream& stream) const {
    TRecordWriter w(kHeadSize);
    WriteTag(w, Tag);
    w.I32(Format);
    w.I32(static_cast<int32_t>(Data.Data.size()));
    w.I32(Reserved);
    w.WriteTo(stream);
    stream.WriteBuffer(Data.Memory(), static_cast<int64_t>(Data.Data.size()));
}

bool TMotionMovieMovie::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kSize, bytes)) return false;
    TRecordReader r(bytes);
    ReadTag(r, Tag);
    Version = r.I32();
    TotalTime = r.I32();
    FrameCount = r.I32();
    Width = r.I32();
    Height = r.I32();
    AreaSize = r.I32();
    return true;
}

void TMotionMovieMovie::SaveToStream(TStream& stream) const {
    TRecordWriter w(kSize);
    WriteTag(w, Tag);
    w.I32(Version);
    w.I32(TotalTime);
    w.I32(FrameCount);
    w.I32(Width);
    w.I32(Height);
    w.I32(AreaSize);
    w.WriteTo(stream);
}

bool TMotionMovieIndex::LoadFromStream(TStream& stream) {
    Entries.clear();
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(stream, kHeadSize, bytes)) return false;
    TRecordReader r(bytes);
    ReadTag(r, Tag);
    Reserved = r.I32();
    const int32_t count = r.I32();
    if (count < 0 || int64_t{count} * 8 > stream.Remaining()) return false;
    if (!ReadRecordBytes(stream, count * 8, bytes)) return false;
    TRecordReader e(bytes);
    Entries.resize(static_cast<size_t>(count));
    for (TMovieIndexEntry& entry : Entries) {
        entry.Frame = e.I32();
        entry.Offset = e.I32();
    }
    return true;
}

void TMotionMovieIndex::SaveToStream(TStream& stream) const {
    TRecordWriter w(kHeadSize + 8 * static_cast<int32_t>(Entries.size()));
    WriteTag(w, Tag);
    w.I32(Reserved);
    w.I32(static_cast<int32_t>(Entries.size()));
    for (const TMovieIndexEntry& entry : Entries) {
        w.I32(entry.Frame);
        w.I32(entry.Offset);
    }
    w.WriteTo(stream);
}

bool TMotionMovieFrame::LoadHeadFromStream(TStream& stream) {
    uint8_t b[kHeadSize];
    if (stream.Read(b, kHeadSize) != kHeadSize) return false;
    Next = static_cast<int32_t>(Get32(b));
    Back = static_cast<int32_t>(Get32(b + 4));
    PictureId = static_cast<int32_t>(Get32(b + 8));
    Reserved = static_cast<int32_t>(Get32(b + 12));
    Link = static_cast<int32_t>(Get32(b + 16));
    DataSize = static_cast<int32_t>(Get32(b + 20));
    PictureType = static_cast<int32_t>(Get32(b + 24));
    return true;
}

void TMotionMovieFrame::SaveToStream(TStream& stream) const {
    TRecordWriter w(kHeadSize);
    w.I32(Next);
    w.I32(Back);
    w.I32(PictureId);
    w.I32(Reserved);
    w.I32(Link);
    w.I32(static_cast<int32_t>(Data.size()));
    w.I32(PictureType);
    w.WriteTo(stream);
    stream.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
}

// ---------------------------------------------------------------- the movie

TMotionMovie::TMotionMovie() : Bitmap(std::make_unique<TBitmap32>()), Work(std::make_unique<TBitmap32>()) {
    // Colour rows land in the picture as they are: blue, green, red, 255 is a pixel's memory
    // order on the little-endian hosts the engine runs on.
    static_assert(std::endian::native == std::endian::little);
    Jpeg.OnColourRowTarget = [this](int32_t y) { return reinterpret_cast<uint8_t*>(Work->ScanLine(y)); };
}

TMotionMovie::~TMotionMovie() = default;

bool TMotionMovie::Fail(const std::string& why) {
    Close();
    ErrorText = why;
    return false;
}

void TMotionMovie::Close() {
    Stream.reset();
    Header = TMotionMovieFileHeadder();
    Sound.Data.Clear();
    MovieBlock = TMotionMovieMovie();
    Index.Entries.clear();
    AreaStart = 0;
    DecodedId = -1;
    LastProcessed = -1;
    Current = 0;
    CurrentOffset = 0;
    Alpha = false;
    *Bitmap = TBitmap32();
    ErrorText.clear();
}

bool TMotionMovie::LoadFromStream(std::unique_ptr<TStream> stream) {
    Close();
    if (!stream) return Fail("movie: no stream");
    stream->SetPosition(0);
    if (!Header.LoadFromStream(*stream)) return Fail("movie: header block cut short");
    const int64_t soundAt = stream->Position();
    if (!Sound.LoadFromStream(*stream)) return Fail("movie: sound block" + At(soundAt) + " runs past the end");
    const int64_t movieAt = stream->Position();
    if (!MovieBlock.LoadFromStream(*stream)) return Fail("movie: movie block" + At(movieAt) + " cut short");
    const TMotionMovieMovie m = MovieBlock;
    const int64_t areaStart = stream->Position();
    if (m.FrameCount < 0) return Fail("movie: frame count " + std::to_string(m.FrameCount) + At(movieAt));
    if (m.AreaSize < 0 || m.AreaSize > stream->Size() - areaStart)
        return Fail("movie: frame area of " + std::to_string(m.AreaSize) + " bytes" + At(areaStart) +
                    " runs past the end");
    // Every frame has a record of its own, so the count is bounded by the area; this also bounds
    // every walk through the records.
    if (m.FrameCount > m.AreaSize / TMotionMovieFrame::kHeadSize)
        return Fail("movie: " + std::to_string(m.FrameCount) + " frames do not fit in a frame area of " +
                    std::to_string(m.AreaSize) + " bytes");
    stream->SetPosition(areaStart + m.AreaSize);
    if (!Index.LoadFromStream(*stream)) return Fail("movie: index" + At(areaStart + m.AreaSize) + " cut short");
    stream->SetPosition(areaStart);
    MovieBlock = m;
    AreaStart = areaStart;
    Stream = std::move(stream);
    return true;
}

bool TMotionMovie::ReadHead(int64_t offset, TMotionMovieFrame& record) {
    if (offset < 0 || offset > int64_t{MovieBlock.AreaSize} - TMotionMovieFrame::kHeadSize) {
        ErrorText = "movie: record offset " + std::to_string(offset) + " outside the frame area";
        return false;
    }
    Stream->SetPosition(AreaStart + offset);
    if (!record.LoadHeadFromStream(*Stream)) {
        ErrorText = "movie: record" + At(AreaStart + offset) + " cut short";
        return false;
    }
    return true;
}

void TMotionMovie::LookUpKeyFrame(int32_t frame, int32_t& keyFrame, int32_t& keyOffset) const {
    const std::vector<TMovieIndexEntry>& e = Index.Entries;
    keyFrame = 0;
    keyOffset = 0;
    if (e.size() < 2) return;
    const int64_t n = static_cast<int64_t>(e.size());
    // Key frames come at a fixed spacing, so the search can start one entry before the frame's
    // own; without a spacing it starts at the first entry.
    const int64_t spacing = std::llabs(int64_t{e[1].Frame} - e[0].Frame);
    const int64_t start = spacing == 0 ? 0 : std::clamp<int64_t>(frame / spacing - 1, 0, n - 1);
    for (int64_t i = start; i < n; ++i) {
        if (e[i].Frame <= frame) continue;
        const int64_t p = std::max<int64_t>(i - 1, 0);
        // Ties go to the later key frame.
        const TMovieIndexEntry& pick =
            std::llabs(int64_t{frame} - e[i].Frame) > std::llabs(int64_t{frame} - e[p].Frame) ? e[p] : e[i];
        keyFrame = pick.Frame;
        keyOffset = pick.Offset;
        return;
    }
    keyFrame = e.back().Frame;
    keyOffset = e.back().Offset;
}

void TMotionMovie::SetFrame(int32_t frame) {
    const int32_t count = MovieBlock.FrameCount;
    if (count <= 0 || !Stream) return;
    const int32_t target = std::clamp(frame, 0, count - 1);
    if (target == Current) return;
    int32_t keyFrame = 0, keyOffset = 0;
    LookUpKeyFrame(target, keyFrame, keyOffset);
    int32_t at = Current;
    int64_t offset = CurrentOffset;
    if (keyFrame >= 0 && keyFrame < count &&
        std::llabs(int64_t{target} - keyFrame) <= std::llabs(int64_t{target} - Current)) {
        at = keyFrame;
        offset = keyOffset;
    }
    // At most frame count steps; a step that goes nowhere or leaves the area fails the frame,
    // and the current frame stays as it was.
    TMotionMovieFrame& record = Frame;
    while (at != target) {
        if (!ReadHead(offset, record)) return;
        const int32_t step = at < target ? record.Next : record.Back;
        if (step == 0) {
            ErrorText = "movie: record" + At(AreaStart + offset) + " links to itself";
            return;
        }
        offset += step;
        at += at < target ? 1 : -1;
    }
    if (offset < 0 || offset > int64_t{MovieBlock.AreaSize} - TMotionMovieFrame::kHeadSize) {
        ErrorText = "movie: frame " + std::to_string(target) + " lies outside the frame area";
        return;
    }
    Current = target;
    CurrentOffset = static_cast<int32_t>(offset);
}

void TMotionMovie::SetTime(int32_t time) {
    const int32_t total = MovieBlock.TotalTime;
    if (total <= 0) {
        SetFrame(0);
        return;
    }
    const int64_t t = std::clamp(time, 0, total);
    SetFrame(static_cast<int32_t>(int64_t{MovieBlock.FrameCount} * t / total));
}

TBitmap32* TMotionMovie::GetImage() {
    const int32_t count = MovieBlock.FrameCount;
    if (count <= 0 || !Stream) return nullptr;
    if (Current == LastProcessed || Current == DecodedId) return Bitmap.get();
    LastProcessed = Current;
    int64_t offset = CurrentOffset;
    TMotionMovieFrame& record = Frame;
    if (!ReadHead(offset, record)) return Bitmap.get();
    for (int32_t hops = 0; record.Link != 0; ++hops) {
        if (hops >= count) {
            ErrorText = "movie: picture links of frame " + std::to_string(Current) + " run in a circle";
            return Bitmap.get();
        }
        offset += record.Link;
        if (!ReadHead(offset, record)) return Bitmap.get();
    }
    if (record.PictureId == DecodedId) return Bitmap.get();
    const int64_t room = int64_t{MovieBlock.AreaSize} - offset - TMotionMovieFrame::kHeadSize;
    if (record.DataSize < 0 || record.DataSize > room) {
        ErrorText = "movie: picture data of " + std::to_string(record.DataSize) + " bytes" + At(AreaStart + offset) +
                    " runs past the frame area";
        return Bitmap.get();
    }
    record.Data.resize(static_cast<size_t>(record.DataSize));
    if (Stream->Read(record.Data.data(), record.DataSize) != record.DataSize) return Bitmap.get();
    // The picture counts as decoded before its type is looked at: a type that decodes nothing,
    // or data that does not decode, keeps the previous picture under this picture's id, so it is
    // not read again and the image's serial follows the id.
    DecodedId = record.PictureId;
    if (Decode(record)) {
        std::swap(*Bitmap, *Work);
        Alpha = MoviePictureHasAlpha(record.PictureType);
    } else {
        ErrorText = "movie: picture" + At(AreaStart + offset) + ": " + ErrorText;
    }
    return Bitmap.get();
}

void TMotionMovie::Prepare(int32_t width, int32_t height) {
    PictureWidth = width;
    PictureHeight = height;
    if (Work->Width != width || Work->Height != height) *Work = TBitmap32(width, height);
}

bool TMotionMovie::Decode(TMotionMovieFrame& record) {
    const uint8_t* data = record.Data.data();
    const auto size = static_cast<size_t>(record.DataSize);
    ErrorText.clear();
    switch (static_cast<TMoviePictureType>(record.PictureType)) {
        case TMoviePictureType::Jpeg:
            return DecodeJpeg(data, size, TJpegRowFormat::Bgr24, false);
        case TMoviePictureType::GreyJpeg:
            return DecodeJpeg(data, size, TJpegRowFormat::Grey8, false);
        case TMoviePictureType::JpegAlpha: {
            if (size < 4) break;
            const uint32_t colourSize = Get32(data);
            if (colourSize > size - 4 || size - 4 - colourSize < 4) break;
            const uint8_t* alpha = data + 4 + colourSize;
            const uint32_t alphaSize = Get32(alpha);
            if (alphaSize > size - 8 - colourSize) break;
            return DecodeJpeg(data + 4, colourSize, TJpegRowFormat::Bgr24, false) &&
                   DecodeJpeg(alpha + 4, alphaSize, TJpegRowFormat::Grey8, true);
        }
        case TMoviePictureType::Raw24:
        case TMoviePictureType::Raw32:
        case TMoviePictureType::Raw565:
        case TMoviePictureType::Raw4444:
            return DecodeRaw(record);
        default:
            ErrorText = "unknown picture type " + std::to_string(record.PictureType);
            return false;
    }
    ErrorText = "the two JPEG sizes do not fit the data";
    return false;
}

bool TMotionMovie::DecodeJpeg(const uint8_t* data, size_t size, TJpegRowFormat format, bool alphaPass) {
    bool refused = false;
    Jpeg.OnSize = [&](int32_t width, int32_t height, TJpegRowFormat announced) {
        // A picture must come in the layout its type promises, and the alpha of the size of
        // the colour, so that every pixel of the new picture gets written.
        if (announced != format || (alphaPass && (width != PictureWidth || height != PictureHeight))) {
            refused = true;
            return false;
        }
        RowFormat = announced;
        if (!alphaPass) Prepare(width, height);
        return true;
    };
    Jpeg.OnRow8 = [this, alphaPass](const uint8_t* row, int32_t y) {
        uint32_t* out = Work->ScanLine(y);
        if (alphaPass) {
            for (int32_t x = 0; x < PictureWidth; ++x)
                out[x] = (out[x] & 0x00FFFFFFu) | (static_cast<uint32_t>(row[x]) << 24);
        } else {
            for (int32_t x = 0; x < PictureWidth; ++x)
                out[x] = 0xFF000000u | (row[x] * 0x010101u);
        }
    };
    const bool ok = Jpeg.LoadFromMemory(data, size);
    Jpeg.OnSize = nullptr;  // it refers to this call's state
    if (!ok) ErrorText = refused ? "JPEG of the wrong kind or size for its picture type" : Jpeg.Error();
    return ok;
}

bool TMotionMovie::DecodeRaw(const TMotionMovieFrame& record) {
    const auto type = static_cast<TMoviePictureType>(record.PictureType);
    const size_t size = record.Data.size();
    if (size < 8) {
        ErrorText = "raw picture without its size";
        return false;
    }
    const uint8_t* data = record.Data.data();
    const uint32_t width = Get32(data), height = Get32(data + 4);
    const uint64_t bytesPerPixel = type == TMoviePictureType::Raw24 ? 3 : type == TMoviePictureType::Raw32 ? 4 : 2;
    if (width == 0 || height == 0 || !ImageCodecLib::SizeAllowed(width, height) ||
        uint64_t{width} * height * bytesPerPixel > size - 8) {
        ErrorText =
            "raw picture of " + std::to_string(width) + " x " + std::to_string(height) + " does not fit its data";
        return false;
    }
    Prepare(static_cast<int32_t>(width), static_cast<int32_t>(height));
    // Every column is written, an odd last one too.
    const uint8_t* s = data + 8;
    for (int32_t y = 0; y < PictureHeight; ++y) {
        uint32_t* out = Work->ScanLine(y);
        switch (type) {
            case TMoviePictureType::Raw24:
                for (int32_t x = 0; x < PictureWidth; ++x, s += 3)
                    out[x] =
                        0xFF000000u | (static_cast<uint32_t>(s[2]) << 16) | (static_cast<uint32_t>(s[1]) << 8) | s[0];
                break;
            case TMoviePictureType::Raw32:
                for (int32_t x = 0; x < PictureWidth; ++x, s += 4)
                    out[x] = Get32(s);
                break;
            case TMoviePictureType::Raw565:
                for (int32_t x = 0; x < PictureWidth; ++x, s += 2) {
                    const uint32_t v = Get16(s);
                    const uint32_t r = v >> 11, g = (v >> 5) & 0x3F, b = v & 0x1F;
                    out[x] = 0xFF000000u | (((r << 3) | (r >> 3)) << 16) | (((g << 2) | (g >> 4)) << 8) |
                             ((b << 3) | (b >> 3));
                }
                break;
            default:
                for (int32_t x = 0; x < PictureWidth; ++x, s += 2) {
                    const uint32_t v = Get16(s);
                    out[x] = ((v >> 12) * 17u << 24) | (((v >> 8) & 0xF) * 17u << 16) | (((v >> 4) & 0xF) * 17u << 8) |
                             ((v & 0xF) * 17u);
                }
                break;
        }
    }
    return true;
}
