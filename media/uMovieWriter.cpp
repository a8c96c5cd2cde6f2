#include "media/uMovieWriter.h"

// jpeglib.h declares functions on FILE without including stdio.h itself.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "media/ARGB8888Lib.h"
#include "media/ImageCodecLib.h"
#include "platform/ClassLib.h"
#include "platform/LittleEndian.h"

namespace uMovieWriter {

namespace {

enum class TSamples : uint8_t { Colour, Luminance, Alpha };

struct TEncoder {
    jpeg_compress_struct Info;
    jpeg_error_mgr Error;  // first member of its own, so the library's pointer is ours
    std::jmp_buf Jump;
    unsigned char* Buffer = nullptr;
    unsigned long Length = 0;
    bool Created = false;
};

void EncoderErrorExit(j_common_ptr info) {
    std::longjmp(static_cast<TEncoder*>(info->client_data)->Jump, 1);
}

// Leaves by longjmp on an error; e and row live in the caller's frame.
bool Compress(TEncoder& e, const TBitmap32& picture, TSamples samples, int32_t quality, uint8_t* row) {
    if (setjmp(e.Jump)) return false;
    jpeg_create_compress(&e.Info);
    e.Created = true;
    e.Info.client_data = &e;
    jpeg_mem_dest(&e.Info, &e.Buffer, &e.Length);
    e.Info.image_width = static_cast<JDIMENSION>(picture.Width);
    e.Info.image_height = static_cast<JDIMENSION>(picture.Height);
    e.Info.input_components = samples == TSamples::Alpha ? 1 : 4;
    e.Info.in_color_space = samples == TSamples::Alpha ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_set_defaults(&e.Info);
    if (samples == TSamples::Luminance) jpeg_set_colorspace(&e.Info, JCS_GRAYSCALE);
    jpeg_set_quality(&e.Info, quality, TRUE);
    jpeg_start_compress(&e.Info, TRUE);
    while (e.Info.next_scanline < e.Info.image_height) {
        const uint32_t* src = picture.ScanLine(static_cast<int32_t>(e.Info.next_scanline));
        JSAMPROW rows[1];
        if (samples == TSamples::Alpha) {
            for (int32_t x = 0; x < picture.Width; ++x)
                row[x] = static_cast<uint8_t>(src[x] >> 24);
            rows[0] = row;
        } else {
            // Blue, green, red and a byte left over: the pixel's own bytes in memory order.
            for (int32_t x = 0; x < picture.Width; ++x)
                LittleEndian::Put32(row + 4 * x, src[x]);
            rows[0] = row;
        }
        jpeg_write_scanlines(&e.Info, rows, 1);
    }
    jpeg_finish_compress(&e.Info);
    return true;
}

std::string EncodeJpeg(const TBitmap32& picture, TSamples samples, int32_t quality) {
    if (picture.Width < 1 || picture.Height < 1 || picture.Width > JPEG_MAX_DIMENSION ||
        picture.Height > JPEG_MAX_DIMENSION)
        throw ImageCodecLib::ECodecError("JPEG: no picture of that size");
    TEncoder e;
    std::memset(&e.Info, 0, sizeof e.Info);
    e.Info.err = jpeg_std_error(&e.Error);
    e.Error.error_exit = EncoderErrorExit;
    e.Info.client_data = &e;
    std::vector<uint8_t> row(static_cast<size_t>(picture.Width) * 4);
    const bool ok = Compress(e, picture, samples, std::clamp(quality, 1, 100), row.data());
    std::string out = ok ? std::string(reinterpret_cast<const char*>(e.Buffer), e.Length) : std::string();
    if (e.Created) jpeg_destroy_compress(&e.Info);
    // The library hands its buffer over only when the picture is finished; after an error the
    // pointer may be stale, so the block is then left to the process.
    if (ok) std::free(e.Buffer);
    if (!ok) throw ImageCodecLib::ECodecError("JPEG: cannot encode");
    return out;
}

void Put32(std::string& s, uint32_t v) {
    uint8_t b[4];
    LittleEndian::Put32(b, v);
    s.append(reinterpret_cast<const char*>(b), 4);
}

void Put16(std::string& s, uint16_t v) {
    uint8_t b[2];
    LittleEndian::Put16(b, v);
    s.append(reinterpret_cast<const char*>(b), 2);
}

TMovieTag Tag(const char (&text)[9]) {
    TMovieTag tag{};
    std::memcpy(tag.data(), text, 8);
    return tag;
}

}  // namespace

std::string EncodePicture(const TBitmap32& picture, TMoviePictureType type, int32_t quality) {
    switch (type) {
        case TMoviePictureType::Jpeg:
            return EncodeJpeg(picture, TSamples::Colour, quality);
        case TMoviePictureType::GreyJpeg:
            return EncodeJpeg(picture, TSamples::Luminance, quality);
        case TMoviePictureType::JpegAlpha: {
            const std::string colour = EncodeJpeg(picture, TSamples::Colour, quality);
            const std::string alpha = EncodeJpeg(picture, TSamples::Alpha, quality);
            std::string s;
            Put32(s, static_cast<uint32_t>(colour.size()));
            s += colour;
            Put32(s, static_cast<uint32_t>(alpha.size()));
            s += alpha;
            return s;
        }
        default:
            break;
    }
    std::string s;
    Put32(s, static_cast<uint32_t>(picture.Width));
    Put32(s, static_cast<uint32_t>(picture.Height));
    for (int32_t y = 0; y < picture.Height; ++y) {
        const uint32_t* row = picture.ScanLine(y);
        for (int32_t x = 0; x < picture.Width; ++x) {
            const uint32_t p = row[x];
            const uint32_t a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            switch (type) {
                case TMoviePictureType::Raw24:
                    s += static_cast<char>(b);
                    s += static_cast<char>(g);
                    s += static_cast<char>(r);
                    break;
                case TMoviePictureType::Raw32:
                    Put32(s, p);
                    break;
                case TMoviePictureType::Raw565:
                    Put16(s, static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3)));
                    break;
                default:  // 4444
                    Put16(s, static_cast<uint16_t>(((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4)));
                    break;
            }
        }
    }
    return s;
}

std::string WriteMovie(const std::vector<TFrame>& frames, const TOptions& options, TLayout* layout) {
    const auto count = static_cast<int32_t>(frames.size());
    auto linked = [&](int32_t i) {
        const int32_t to = frames[static_cast<size_t>(i)].LinkTo;
        return to >= 0 && to < count && to != i;
    };
    // Records follow each other in frame order.
    std::vector<int32_t> offsets(frames.size());
    int64_t area = 0;
    for (int32_t i = 0; i < count; ++i) {
        offsets[static_cast<size_t>(i)] = static_cast<int32_t>(area);
        area += TMotionMovieFrame::kHeadSize + (linked(i) ? 0 : static_cast<int64_t>(frames[size_t(i)].Data.size()));
        if (area > INT32_MAX) throw std::length_error("movie: the frames exceed 2 GiB");
    }

    TMemoryStream out;
    TMotionMovieFileHeadder header;
    header.Tag = Tag("KELMHEAD");
    header.Version = 1;
    header.SaveToStream(out);
    TMotionMovieSound sound;
    sound.Tag = Tag("KELMSND_");
    sound.Data.WriteBuffer(options.Sound.data(), static_cast<int64_t>(options.Sound.size()));
    sound.SaveToStream(out);
    TMotionMovieMovie movie;
    movie.Tag = Tag("KELMMOVI");
    movie.Version = 1;
    movie.TotalTime = options.TotalTime;
    movie.FrameCount = count;
    movie.Width = options.Width;
    movie.Height = options.Height;
    movie.AreaSize = static_cast<int32_t>(area);
    movie.SaveToStream(out);
    const int64_t areaStart = out.Position();

    TMotionMovieFrame record;
    for (int32_t i = 0; i < count; ++i) {
        const TFrame& f = frames[static_cast<size_t>(i)];
        const int32_t at = offsets[static_cast<size_t>(i)];
        record.Next = i + 1 < count ? offsets[static_cast<size_t>(i) + 1] - at : 0;
        record.Back = i > 0 ? offsets[static_cast<size_t>(i) - 1] - at : 0;
        record.PictureId = i;
        record.Reserved = 0;
        record.Link = linked(i) ? offsets[static_cast<size_t>(f.LinkTo)] - at : 0;
        record.PictureType = linked(i) ? 0 : f.Type;
        if (linked(i)) {
            record.Data.clear();
        } else {
            record.Data.assign(f.Data.begin(), f.Data.end());
        }
        record.SaveToStream(out);
    }

    TMotionMovieIndex index;
    index.Tag = Tag("KELMINDX");
    if (options.IndexSpacing > 0)
        for (int64_t i = 0; i < count; i += options.IndexSpacing)
            index.Entries.push_back({static_cast<int32_t>(i), offsets[static_cast<size_t>(i)]});
    const int64_t indexStart = out.Position();
    index.SaveToStream(out);
    if (layout) {
        layout->AreaStart = areaStart;
        layout->RecordOffsets = offsets;
        layout->IndexStart = indexStart;
    }
    return out.AsString();
}

}  // namespace uMovieWriter
