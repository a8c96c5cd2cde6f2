#include "media/ImageCodecLib.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "platform/LittleEndian.h"

namespace ImageCodecLib {

bool SizeAllowed(int64_t width, int64_t height) {
    // Each side is bounded first, so that the product cannot overflow.
    return width >= 0 && height >= 0 && width <= MaxPixels && height <= MaxPixels && width * height <= MaxPixels;
}

namespace {

using LittleEndian::Append16;
using LittleEndian::Append32;
using LittleEndian::Get16;
using LittleEndian::Get32;

// ---------------------------------------------------------------- BMP

constexpr uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;

[[noreturn]] void BadBmp(const char* why) {
    throw ECodecError(std::string("BMP: ") + why);
}

// One colour channel described by a bit mask, widened to 8 bits (a 5-bit 31 becomes 255).
struct TChannel {
    explicit TChannel(uint32_t mask) {
        if (mask == 0) return;
        Shift = std::countr_zero(mask);
        Bits = std::countr_one(mask >> Shift);
    }
    uint32_t Get(uint32_t pixel) const {
        if (Bits == 0) return 0;
        uint32_t max = Bits >= 32 ? 0xFFFFFFFFu : (1u << Bits) - 1;
        uint32_t v = (pixel >> Shift) & max;
        if (Bits >= 8) return v >> (Bits - 8);
        return (v * 255 + max / 2) / max;
    }
    int Shift = 0;
    int Bits = 0;
};

struct TBmpInfo {
    int64_t Width = 0;
    int64_t Height = 0;
    bool TopDown = false;
    uint32_t Bits = 0;
    uint32_t Compression = BI_RGB;
    uint32_t Masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    bool HasAlphaMask = false;
    std::vector<uint32_t> Palette;  // 0x00RRGGBB
};

uint32_t PaletteColour(const TBmpInfo& info, uint32_t index) {
    return index < info.Palette.size() ? info.Palette[index] : 0;
}

// RLE8 and RLE4: pairs of (count, value) runs and escapes (0: end of line, 1: end of picture,
// 2: move right and up, 3..255: that many literal pixels padded to an even byte count). Rows go
// bottom-up; pixels a run or a move leaves out stay 0. The data must reach the end-of-picture
// escape, or close every row; data that stops short is a cut file.
void DecodeRle(const TBmpInfo& info, const uint8_t* p, size_t n, TBitmap32& out) {
    const bool rle8 = info.Compression == BI_RLE8;
    const int64_t w = info.Width, h = info.Height;
    int64_t x = 0, y = 0;
    size_t pos = 0;
    auto put = [&](uint32_t index) {
        if (x < w && y < h) out.ScanLine(static_cast<int32_t>(h - 1 - y))[x] = PaletteColour(info, index);
        ++x;
    };
    while (y < h) {
        if (pos == n && y == h - 1 && x >= w) return;  // the last row is complete
        if (n - pos < 2) BadBmp("truncated RLE data");
        uint8_t count = p[pos], value = p[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(rle8 ? value : (i % 2 == 0 ? value >> 4 : value & 15));
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (n - pos < 2) BadBmp("truncated RLE move");
            x += p[pos];
            y += p[pos + 1];
            pos += 2;
        } else {
            size_t bytes = rle8 ? value : (value + 1u) / 2u;
            if (n - pos < bytes) BadBmp("truncated RLE literal");
            for (int i = 0; i < value; ++i) {
                uint8_t b = rle8 ? p[pos + i] : p[pos + i / 2];
                put(rle8 ? b : (i % 2 == 0 ? b >> 4 : b & 15));
            }
            pos += std::min(n - pos, bytes + (bytes & 1));
        }
    }
}

void DecodeUncompressed(const TBmpInfo& info, const uint8_t* p, TBitmap32& out) {
    const int64_t w = info.Width, h = info.Height;
    const size_t stride = static_cast<size_t>((w * info.Bits + 31) / 32 * 4);
    const TChannel r(info.Masks[0]), g(info.Masks[1]), b(info.Masks[2]), a(info.Masks[3]);
    const bool rawPixels = info.Bits == 32 && info.Masks[0] == 0xFF0000 && info.Masks[1] == 0xFF00 &&
                           info.Masks[2] == 0xFF;  // the usual layout: all four bytes as stored
    for (int64_t row = 0; row < h; ++row) {
        const uint8_t* src = p + static_cast<size_t>(row) * stride;
        uint32_t* dst = out.ScanLine(static_cast<int32_t>(info.TopDown ? row : h - 1 - row));
        for (int64_t x = 0; x < w; ++x) {
            uint32_t c;
            switch (info.Bits) {
                case 1:
                    c = PaletteColour(info, (src[x >> 3] >> (7 - (x & 7))) & 1);
                    break;
                case 4:
                    c = PaletteColour(info, (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15);
                    break;
                case 8:
                    c = PaletteColour(info, src[x]);
                    break;
                case 16: {
                    uint32_t v = Get16(src + 2 * x);
                    c = (r.Get(v) << 16) | (g.Get(v) << 8) | b.Get(v);
                    break;
                }
                case 24:
                    c = src[3 * x] | (src[3 * x + 1] << 8) | (static_cast<uint32_t>(src[3 * x + 2]) << 16);
                    break;
                default: {
                    uint32_t v = Get32(src + 4 * x);
                    c = rawPixels ? v : (a.Get(v) << 24) | (r.Get(v) << 16) | (g.Get(v) << 8) | b.Get(v);
                    break;
                }
            }
            dst[x] = c;
        }
    }
}

// ---------------------------------------------------------------- JPEG

// The error manager leaves the library by longjmp to the setjmp of the function that called it,
// so the library never continues after an error. Those functions keep no objects with
// destructors in their own frames; everything they touch lives in the caller's frame.
struct TJpegError {
    jpeg_error_mgr Manager;  // first, so that the library's pointer is also ours
    std::jmp_buf Jump;
};

void JpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TJpegError*>(info->err)->Jump, 1);
}
void JpegOutputMessage(j_common_ptr) {}  // warnings about damaged data are not shown

struct TJpegDecoder {
    TJpegDecoder() {
        std::memset(&Info, 0, sizeof(Info));
        Info.err = jpeg_std_error(&Error.Manager);
        Error.Manager.error_exit = JpegErrorExit;
        Error.Manager.output_message = JpegOutputMessage;
    }
    ~TJpegDecoder() {
        if (Created) jpeg_destroy_decompress(&Info);
    }
    jpeg_decompress_struct Info;
    TJpegError Error;
    bool Created = false;
};

bool JpegReadHeader(TJpegDecoder& d, const uint8_t* data, size_t size) {
    if (setjmp(d.Error.Jump)) return false;
    jpeg_create_decompress(&d.Info);
    d.Created = true;
    jpeg_mem_src(&d.Info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d.Info, TRUE);
    return true;
}

bool JpegDecodeRows(TJpegDecoder& d, TBitmap32& out, uint8_t* row, bool grey) {
    if (setjmp(d.Error.Jump)) return false;
    jpeg_start_decompress(&d.Info);
    if (d.Info.output_width != static_cast<JDIMENSION>(out.Width) ||
        d.Info.output_height != static_cast<JDIMENSION>(out.Height) || d.Info.output_components != (grey ? 1 : 3))
        return false;
    while (d.Info.output_scanline < d.Info.output_height) {
        int32_t y = static_cast<int32_t>(d.Info.output_scanline);
        JSAMPROW rows[1] = {row};
        if (jpeg_read_scanlines(&d.Info, rows, 1) != 1) return false;
        uint32_t* dst = out.ScanLine(y);
        if (grey) {
            const JSAMPLE* map = d.Info.colormap[0];
            for (int32_t x = 0; x < out.Width; ++x)
                dst[x] = map[row[x]] * 0x010101u;
        } else {
            for (int32_t x = 0; x < out.Width; ++x)
                dst[x] = (static_cast<uint32_t>(row[3 * x]) << 16) | (row[3 * x + 1] << 8) | row[3 * x + 2];
        }
    }
    jpeg_finish_decompress(&d.Info);
    return true;
}

// A destination that grows a malloc'ed block; the encoder frees it, also after an error.
struct TJpegEncoder {
    TJpegEncoder() {
        std::memset(&Info, 0, sizeof(Info));
        std::memset(&Destination, 0, sizeof(Destination));
        Info.err = jpeg_std_error(&Error.Manager);
        Error.Manager.error_exit = JpegErrorExit;
        Error.Manager.output_message = JpegOutputMessage;
    }
    ~TJpegEncoder() {
        if (Created) jpeg_destroy_compress(&Info);
        std::free(Buffer);
    }
    jpeg_compress_struct Info;
    TJpegError Error;
    jpeg_destination_mgr Destination;
    uint8_t* Buffer = nullptr;
    size_t Capacity = 0;
    size_t Length = 0;
    bool Created = false;
};

TJpegEncoder& EncoderOf(j_compress_ptr info) {
    return *static_cast<TJpegEncoder*>(info->client_data);
}

void JpegInitDestination(j_compress_ptr info) {
    TJpegEncoder& e = EncoderOf(info);
    e.Capacity = 65536;
    e.Buffer = static_cast<uint8_t*>(std::malloc(e.Capacity));
    if (!e.Buffer) {
        info->err->msg_code = 0;
        info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    }
    e.Destination.next_output_byte = e.Buffer;
    e.Destination.free_in_buffer = e.Capacity;
}

boolean JpegEmptyBuffer(j_compress_ptr info) {
    TJpegEncoder& e = EncoderOf(info);
    auto* grown = static_cast<uint8_t*>(std::realloc(e.Buffer, e.Capacity * 2));
    if (!grown) info->err->error_exit(reinterpret_cast<j_common_ptr>(info));
    e.Buffer = grown;
    e.Destination.next_output_byte = e.Buffer + e.Capacity;
    e.Destination.free_in_buffer = e.Capacity;
    e.Capacity *= 2;
    return TRUE;
}

void JpegTermDestination(j_compress_ptr info) {
    TJpegEncoder& e = EncoderOf(info);
    e.Length = e.Capacity - e.Destination.free_in_buffer;
}

bool JpegEncodeRows(TJpegEncoder& e, const TBitmap32& bitmap, uint8_t* row, int32_t quality) {
    if (setjmp(e.Error.Jump)) return false;
    jpeg_create_compress(&e.Info);
    e.Created = true;
    e.Info.client_data = &e;
    e.Destination.init_destination = JpegInitDestination;
    e.Destination.empty_output_buffer = JpegEmptyBuffer;
    e.Destination.term_destination = JpegTermDestination;
    e.Info.dest = &e.Destination;
    e.Info.image_width = static_cast<JDIMENSION>(bitmap.Width);
    e.Info.image_height = static_cast<JDIMENSION>(bitmap.Height);
    e.Info.input_components = 3;
    e.Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&e.Info);
    jpeg_set_quality(&e.Info, quality, TRUE);
    jpeg_start_compress(&e.Info, TRUE);
    while (e.Info.next_scanline < e.Info.image_height) {
        const uint32_t* src = bitmap.ScanLine(static_cast<int32_t>(e.Info.next_scanline));
        for (int32_t x = 0; x < bitmap.Width; ++x) {
            row[3 * x] = static_cast<uint8_t>(src[x] >> 16);
            row[3 * x + 1] = static_cast<uint8_t>(src[x] >> 8);
            row[3 * x + 2] = static_cast<uint8_t>(src[x]);
        }
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&e.Info, rows, 1);
    }
    jpeg_finish_compress(&e.Info);
    return true;
}

// ---------------------------------------------------------------- PNG

// libpng leaves by longjmp as well; the same rule about the frames holds.
struct TPngDecoder {
    ~TPngDecoder() {
        if (Png) png_destroy_read_struct(&Png, Info ? &Info : nullptr, nullptr);
    }
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    const uint8_t* Data = nullptr;
    size_t Size = 0;
    size_t Pos = 0;
    png_uint_32 Width = 0, Height = 0;
    int BitDepth = 0, ColourType = 0, Interlace = 0;
    size_t RowBytes = 0;
};

void PngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void PngWarning(png_structp, png_const_charp) {}
void PngRead(png_structp png, png_bytep out, size_t count) {
    auto* d = static_cast<TPngDecoder*>(png_get_io_ptr(png));
    if (count > d->Size - d->Pos) png_error(png, "truncated");
    std::memcpy(out, d->Data + d->Pos, count);
    d->Pos += count;
}

bool PngReadHeader(TPngDecoder& d) {
    if (setjmp(png_jmpbuf(d.Png))) return false;
    png_set_read_fn(d.Png, &d, PngRead);
    png_set_user_limits(d.Png, static_cast<png_uint_32>(MaxPixels), static_cast<png_uint_32>(MaxPixels));
    png_set_chunk_malloc_max(d.Png, 8u << 20);
    png_read_info(d.Png, d.Info);
    png_get_IHDR(d.Png, d.Info, &d.Width, &d.Height, &d.BitDepth, &d.ColourType, &d.Interlace, nullptr, nullptr);
    // One byte per sample; palettes, grey levels and alpha are handled by our own loop, so that
    // no transparency chunk and no gamma changes a sample.
    if (d.BitDepth == 16) png_set_strip_16(d.Png);
    if (d.BitDepth < 8) png_set_packing(d.Png);
    png_set_interlace_handling(d.Png);
    png_read_update_info(d.Png, d.Info);
    d.RowBytes = png_get_rowbytes(d.Png, d.Info);
    return true;
}

bool PngReadImage(TPngDecoder& d, png_bytepp rows) {
    if (setjmp(png_jmpbuf(d.Png))) return false;
    png_read_image(d.Png, rows);
    return true;
}

}  // namespace

std::unique_ptr<TBitmap32> DecodeBmp(const uint8_t* data, size_t size) {
    if (size == 0) return std::make_unique<TBitmap32>();
    if (size < 18 || data[0] != 'B' || data[1] != 'M') BadBmp("not a BMP file");
    const uint32_t offBits = Get32(data + 10);
    const uint32_t headerSize = Get32(data + 14);
    TBmpInfo info;
    size_t paletteStart = 14 + static_cast<size_t>(headerSize);
    size_t entrySize = 4;
    uint32_t coloursUsed = 0;
    if (headerSize == 12) {
        if (size < 26) BadBmp("truncated header");
        info.Width = Get16(data + 18);
        info.Height = Get16(data + 20);
        info.Bits = Get16(data + 24);
        entrySize = 3;
        if (info.Bits > 24) BadBmp("bad depth");
    } else if (headerSize >= 40 && headerSize <= size - 14) {
        info.Width = static_cast<int32_t>(Get32(data + 18));
        info.Height = static_cast<int32_t>(Get32(data + 22));
        info.Bits = Get16(data + 28);
        info.Compression = Get32(data + 30);
        coloursUsed = Get32(data + 46);
        if (info.Height < 0) {
            info.TopDown = true;
            info.Height = -info.Height;
        }
        if (info.Compression == BI_BITFIELDS) {
            size_t masksAt = 54;
            if (headerSize < 52) {  // the three masks follow a 40-byte header
                if (size - paletteStart < 12) BadBmp("truncated masks");
                paletteStart += 12;
            }
            for (int i = 0; i < 3; ++i)
                info.Masks[i] = Get32(data + masksAt + 4 * i);
            if (headerSize >= 56) info.Masks[3] = Get32(data + 66);
        }
    } else {
        BadBmp("unknown header");
    }
    if (info.Compression == BI_RGB) {
        if (info.Bits == 16) {
            info.Masks[0] = 0x7C00, info.Masks[1] = 0x3E0, info.Masks[2] = 0x1F;
        } else if (info.Bits == 32) {
            info.Masks[0] = 0xFF0000, info.Masks[1] = 0xFF00, info.Masks[2] = 0xFF;
        }
    }
    const uint32_t b = info.Bits, c = info.Compression;
    const bool depthOk = b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32;
    const bool compressionOk = c == BI_RGB || (c == BI_RLE8 && b == 8 && !info.TopDown) ||
                               (c == BI_RLE4 && b == 4 && !info.TopDown) || (c == BI_BITFIELDS && (b == 16 || b == 32));
    if (!depthOk || !compressionOk) BadBmp("unsupported depth or compression");
    if (info.Width < 0 || !SizeAllowed(info.Width, info.Height)) BadBmp("bad size");

    if (b <= 8) {
        size_t entries = coloursUsed != 0 ? coloursUsed : (size_t(1) << b);
        if (paletteStart > size || (size - paletteStart) / entrySize < std::min<size_t>(entries, 1u << b))
            BadBmp("truncated palette");
        size_t used = std::min<size_t>(entries, size_t(1) << b);
        for (size_t i = 0; i < used; ++i) {
            const uint8_t* e = data + paletteStart + i * entrySize;
            info.Palette.push_back(e[0] | (e[1] << 8) | (static_cast<uint32_t>(e[2]) << 16));
        }
        paletteStart += std::min(entries, (size - paletteStart) / entrySize) * entrySize;
    }
    size_t pixelStart = offBits >= 14 + headerSize && offBits <= size ? offBits : std::min(paletteStart, size);

    auto out = std::make_unique<TBitmap32>(static_cast<int32_t>(info.Width), static_cast<int32_t>(info.Height));
    out->SourceBits = static_cast<int32_t>(b);
    if (info.Width == 0 || info.Height == 0) return out;
    if (c == BI_RLE8 || c == BI_RLE4) {
        DecodeRle(info, data + pixelStart, size - pixelStart, *out);
    } else {
        const uint64_t stride = (static_cast<uint64_t>(info.Width) * b + 31) / 32 * 4;
        if (stride * static_cast<uint64_t>(info.Height) > size - pixelStart) BadBmp("truncated pixels");
        DecodeUncompressed(info, data + pixelStart, *out);
    }
    return out;
}

namespace {

// The file and info headers of an uncompressed bottom-up BMP whose rows take stride bytes each.
std::string BmpHeaders(const TBitmap32& bitmap, uint16_t bits, uint32_t stride) {
    const uint32_t imageSize = stride * static_cast<uint32_t>(bitmap.Height);
    std::string s;
    s.reserve(54 + imageSize);
    s += "BM";
    Append32(s, 54 + imageSize);
    Append32(s, 0);
    Append32(s, 54);
    Append32(s, 40);
    Append32(s, static_cast<uint32_t>(bitmap.Width));
    Append32(s, static_cast<uint32_t>(bitmap.Height));  // positive: bottom-up
    Append16(s, 1);
    Append16(s, bits);
    Append32(s, BI_RGB);
    Append32(s, imageSize);
    Append32(s, 0);
    Append32(s, 0);
    Append32(s, 0);
    Append32(s, 0);
    return s;
}

}  // namespace

std::string EncodeBmp32(const TBitmap32& bitmap) {
    std::string s = BmpHeaders(bitmap, 32, static_cast<uint32_t>(bitmap.Width) * 4);
    for (int32_t y = bitmap.Height - 1; y >= 0; --y) {
        const uint32_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < bitmap.Width; ++x)
            Append32(s, row[x]);
    }
    return s;
}

std::string EncodeBmp15(const TBitmap32& bitmap) {
    const uint32_t stride = (static_cast<uint32_t>(bitmap.Width) * 2 + 3) & ~3u;
    std::string s = BmpHeaders(bitmap, 16, stride);
    for (int32_t y = bitmap.Height - 1; y >= 0; --y) {
        const uint32_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < bitmap.Width; ++x) {
            const uint32_t c = row[x];
            Append16(s, static_cast<uint16_t>(((c >> 9) & 0x7C00) | ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F)));
        }
        s.append(stride - static_cast<uint32_t>(bitmap.Width) * 2, '\0');
    }
    return s;
}

std::unique_ptr<TBitmap32> DecodeJpeg(const uint8_t* data, size_t size, TJpegOutput output) {
    const bool grey = output == TJpegOutput::Grey236;
    TJpegDecoder d;
    if (!JpegReadHeader(d, data, size)) throw EJpegHeaderError("JPEG: unreadable header");
    if (!SizeAllowed(d.Info.image_width, d.Info.image_height)) throw ECodecError("JPEG: bad size");
    d.Info.scale_num = 1;
    d.Info.scale_denom = 1;
    d.Info.dct_method = JDCT_ISLOW;
    d.Info.do_fancy_upsampling = TRUE;
    d.Info.do_block_smoothing = FALSE;
    d.Info.buffered_image = FALSE;
    if (grey) {
        d.Info.out_color_space = JCS_GRAYSCALE;
        d.Info.quantize_colors = TRUE;
        d.Info.desired_number_of_colors = 236;
    } else {
        d.Info.out_color_space = JCS_RGB;
        d.Info.quantize_colors = FALSE;
    }
    auto out = std::make_unique<TBitmap32>(static_cast<int32_t>(d.Info.image_width),
                                           static_cast<int32_t>(d.Info.image_height));
    out->SourceBits = grey ? 8 : 24;
    std::vector<uint8_t> row(static_cast<size_t>(out->Width) * 3 + 16);
    if (!JpegDecodeRows(d, *out, row.data(), grey)) throw ECodecError("JPEG: damaged data");
    return out;
}

std::string EncodeJpeg(const TBitmap32& bitmap, int32_t quality) {
    TJpegEncoder e;
    std::vector<uint8_t> row(static_cast<size_t>(std::max(bitmap.Width, 0)) * 3 + 16);
    if (!JpegEncodeRows(e, bitmap, row.data(), std::clamp(quality, 1, 100))) throw ECodecError("JPEG: cannot encode");
    return std::string(reinterpret_cast<const char*>(e.Buffer), e.Length);
}

std::unique_ptr<TBitmap32> DecodePng(const uint8_t* data, size_t size) {
    TPngDecoder d;
    d.Data = data;
    d.Size = size;
    d.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
    if (!d.Png) throw ECodecError("PNG: no memory");
    d.Info = png_create_info_struct(d.Png);
    if (!d.Info) throw ECodecError("PNG: no memory");
    if (!PngReadHeader(d)) throw ECodecError("PNG: damaged header");

    static constexpr int ChannelsOf[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = d.ColourType >= 0 && d.ColourType <= 6 ? ChannelsOf[d.ColourType] : 0;
    if (channels == 0 || !SizeAllowed(d.Width, d.Height) || d.RowBytes != size_t(d.Width) * size_t(channels))
        throw ECodecError("PNG: unsupported picture");
    // Deflate expands one byte into at most 1032, which bounds the picture the file can hold.
    const uint64_t packedRow = (uint64_t(d.Width) * uint64_t(d.BitDepth) * uint64_t(channels) + 7) / 8 + 1;
    if (packedRow * d.Height > uint64_t(size) * 1032 + 1024) throw ECodecError("PNG: picture larger than its data");

    std::vector<uint8_t> samples(d.RowBytes * d.Height);
    std::vector<png_bytep> rows(d.Height);
    for (png_uint_32 y = 0; y < d.Height; ++y)
        rows[y] = samples.data() + y * d.RowBytes;
    if (!PngReadImage(d, rows.data())) throw ECodecError("PNG: damaged data");

    png_colorp palette = nullptr;
    int paletteSize = 0;
    if (d.ColourType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(d.Png, d.Info, &palette, &paletteSize);
    // Grey levels of fewer than 8 bits are widened to 0..255.
    const uint32_t greyScale = d.BitDepth < 8 ? 255u / ((1u << d.BitDepth) - 1) : 1u;

    auto out = std::make_unique<TBitmap32>(static_cast<int32_t>(d.Width), static_cast<int32_t>(d.Height));
    out->SourceBits = channels == 2 || channels == 4 ? 32 : 24;
    for (png_uint_32 y = 0; y < d.Height; ++y) {
        const uint8_t* s = rows[y];
        uint32_t* dst = out->ScanLine(static_cast<int32_t>(y));
        for (png_uint_32 x = 0; x < d.Width; ++x) {
            uint32_t c = 0;
            switch (d.ColourType) {
                case PNG_COLOR_TYPE_GRAY:
                    c = (s[x] * greyScale) * 0x010101u;
                    break;
                case PNG_COLOR_TYPE_GRAY_ALPHA:
                    c = (static_cast<uint32_t>(s[2 * x + 1]) << 24) | (s[2 * x] * 0x010101u);
                    break;
                case PNG_COLOR_TYPE_RGB:
                    c = (static_cast<uint32_t>(s[3 * x]) << 16) | (s[3 * x + 1] << 8) | s[3 * x + 2];
                    break;
                case PNG_COLOR_TYPE_PALETTE:
                    if (s[x] < paletteSize) {
                        const png_color& p = palette[s[x]];
                        c = (static_cast<uint32_t>(p.red) << 16) | (p.green << 8) | p.blue;
                    }
                    break;
                default:
                    c = (static_cast<uint32_t>(s[4 * x + 3]) << 24) | (static_cast<uint32_t>(s[4 * x]) << 16) |
                        (s[4 * x + 1] << 8) | s[4 * x + 2];
                    break;
            }
            dst[x] = c;
        }
    }
    return out;
}

}  // namespace ImageCodecLib
