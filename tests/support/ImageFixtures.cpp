#include "tests/support/ImageFixtures.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "media/ARGB8888Lib.h"

namespace ImageFixtures {

namespace {

void U16(std::string& s, uint32_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void U32(std::string& s, uint32_t v) {
    U16(s, v & 0xFFFF);
    U16(s, v >> 16);
}

std::string PackRow(const TBmp& bmp, int32_t y) {
    std::string row;
    const uint32_t* p = bmp.Pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(bmp.Width);
    if (bmp.Bits < 8) {
        uint32_t acc = 0;
        int32_t filled = 0;
        for (int32_t x = 0; x < bmp.Width; ++x) {
            acc = (acc << bmp.Bits) | p[x];
            filled += bmp.Bits;
            if (filled == 8) row.push_back(static_cast<char>(acc)), acc = 0, filled = 0;
        }
        if (filled) row.push_back(static_cast<char>(acc << (8 - filled)));
    } else {
        for (int32_t x = 0; x < bmp.Width; ++x) {
            for (int32_t b = 0; b < bmp.Bits / 8; ++b)
                row.push_back(static_cast<char>(p[x] >> (8 * b)));
        }
    }
    while (row.size() % 4)
        row.push_back('\0');
    return row;
}

void NoMessage(j_common_ptr) {}

struct TPngSink {
    std::string Bytes;
};
void PngWrite(png_structp png, png_bytep data, size_t n) {
    static_cast<TPngSink*>(png_get_io_ptr(png))->Bytes.append(reinterpret_cast<const char*>(data), n);
}
void PngFlush(png_structp) {}

}  // namespace

std::string WriteBmp(const TBmp& bmp) {
    const bool core = bmp.HeaderSize == 12;
    const bool masksAfterHeader = bmp.Compression == 3 && bmp.HeaderSize == 40;
    const uint32_t paletteBytes = static_cast<uint32_t>(bmp.Palette.size()) * (core ? 3 : 4);
    const uint32_t offBits = 14 + bmp.HeaderSize + (masksAfterHeader ? 12 : 0) + paletteBytes;
    std::string pixels = bmp.Data;
    if (pixels.empty()) {
        for (int32_t i = 0; i < bmp.Height; ++i)
            pixels += PackRow(bmp, bmp.TopDown ? i : bmp.Height - 1 - i);
    }
    std::string s = "BM";
    U32(s, offBits + static_cast<uint32_t>(pixels.size()));
    U32(s, 0);
    U32(s, offBits);
    U32(s, static_cast<uint32_t>(bmp.HeaderSize));
    if (core) {
        U16(s, static_cast<uint32_t>(bmp.Width));
        U16(s, static_cast<uint32_t>(bmp.Height));
        U16(s, 1);
        U16(s, static_cast<uint32_t>(bmp.Bits));
    } else {
        U32(s, static_cast<uint32_t>(bmp.Width));
        U32(s, static_cast<uint32_t>(bmp.TopDown ? -bmp.Height : bmp.Height));
        U16(s, 1);
        U16(s, static_cast<uint32_t>(bmp.Bits));
        U32(s, bmp.Compression);
        U32(s, static_cast<uint32_t>(pixels.size()));
        U32(s, 2835);
        U32(s, 2835);
        U32(s, static_cast<uint32_t>(bmp.Palette.size()));
        U32(s, 0);
        if (bmp.HeaderSize > 40) {
            for (uint32_t m : bmp.Masks)
                U32(s, m);
            s.resize(14 + static_cast<size_t>(bmp.HeaderSize), '\0');
        } else if (masksAfterHeader) {
            for (int i = 0; i < 3; ++i)
                U32(s, bmp.Masks[i]);
        }
    }
    for (uint32_t c : bmp.Palette) {
        s.push_back(static_cast<char>(c & 0xFF));
        s.push_back(static_cast<char>((c >> 8) & 0xFF));
        s.push_back(static_cast<char>((c >> 16) & 0xFF));
        if (!core) s.push_back('\0');
    }
    return s + pixels;
}

std::string WritePng(const TPng& spec) {
    TPngSink sink;
    static constexpr int channelsOf[7] = {1, 0, 3, 1, 2, 0, 4};
    const int channels = channelsOf[spec.ColourType];
    // Packed rows as the file stores them.
    std::vector<std::vector<uint8_t>> rows(static_cast<size_t>(spec.Height));
    for (int32_t y = 0; y < spec.Height; ++y) {
        std::vector<uint8_t>& row = rows[static_cast<size_t>(y)];
        uint32_t acc = 0;
        int32_t filled = 0;
        for (int32_t i = 0; i < spec.Width * channels; ++i) {
            uint32_t v = spec.Samples[static_cast<size_t>(y) * static_cast<size_t>(spec.Width * channels) +
                                      static_cast<size_t>(i)];
            if (spec.BitDepth == 16) {
                row.push_back(static_cast<uint8_t>(v >> 8));
                row.push_back(static_cast<uint8_t>(v));
            } else if (spec.BitDepth == 8) {
                row.push_back(static_cast<uint8_t>(v));
            } else {
                acc = (acc << spec.BitDepth) | v;
                filled += spec.BitDepth;
                if (filled == 8) row.push_back(static_cast<uint8_t>(acc)), acc = 0, filled = 0;
            }
        }
        if (filled) row.push_back(static_cast<uint8_t>(acc << (8 - filled)));
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows)
        pointers.push_back(r.data());
    std::vector<png_color> palette;
    for (uint32_t c : spec.Palette)
        palette.push_back({static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)});
    png_color_16 key{};

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return std::string();
    }
    png_set_write_fn(png, &sink, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(spec.Width), static_cast<png_uint_32>(spec.Height), spec.BitDepth,
                 spec.ColourType, spec.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!spec.Transparency.empty()) {
        if (spec.ColourType == 3) {
            png_set_tRNS(png, info, spec.Transparency.data(), static_cast<int>(spec.Transparency.size()), nullptr);
        } else {
            key.gray = spec.Transparency[0];
            key.red = spec.Transparency[0];
            key.green = spec.Transparency.size() > 1 ? spec.Transparency[1] : 0;
            key.blue = spec.Transparency.size() > 2 ? spec.Transparency[2] : 0;
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return sink.Bytes;
}

namespace {
std::string Compress(int32_t width, int32_t height, int32_t components, J_COLOR_SPACE space,
                     const std::vector<uint8_t>& samples, int32_t quality) {
    jpeg_compress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    error.output_message = NoMessage;
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data() + info.next_scanline * static_cast<size_t>(width) *
                                                                 static_cast<size_t>(components));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string bytes(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return bytes;
}
}  // namespace

std::string WriteJpeg(int32_t width, int32_t height, bool grey, const std::vector<uint8_t>& samples, int32_t quality) {
    return Compress(width, height, grey ? 1 : 3, grey ? JCS_GRAYSCALE : JCS_RGB, samples, quality);
}

std::string WriteCmykJpeg(int32_t width, int32_t height) {
    std::vector<uint8_t> samples(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0x40);
    return Compress(width, height, 4, JCS_CMYK, samples, 90);
}

std::vector<uint32_t> DecodeJpegReference(const std::string& jpeg, bool grey236) {
    jpeg_decompress_struct info;
    jpeg_error_mgr error;
    info.err = jpeg_std_error(&error);
    error.output_message = NoMessage;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size());
    jpeg_read_header(&info, TRUE);
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    info.do_block_smoothing = FALSE;
    if (grey236) {
        info.out_color_space = JCS_GRAYSCALE;
        info.quantize_colors = TRUE;
        info.desired_number_of_colors = 236;
    } else {
        info.out_color_space = JCS_RGB;
    }
    jpeg_start_decompress(&info);
    std::vector<uint32_t> pixels;
    std::vector<uint8_t> row(info.output_width * static_cast<size_t>(info.output_components));
    while (info.output_scanline < info.output_height) {
        JSAMPROW r = row.data();
        jpeg_read_scanlines(&info, &r, 1);
        for (JDIMENSION x = 0; x < info.output_width; ++x) {
            if (grey236) {
                pixels.push_back(info.colormap[0][row[x]] * 0x010101u);
            } else {
                pixels.push_back((uint32_t(row[3 * x]) << 16) | (uint32_t(row[3 * x + 1]) << 8) | row[3 * x + 2]);
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return pixels;
}

std::string WriteArgb(uint8_t type, const std::string& picture1, const std::string& picture2,
                      const std::string& magic) {
    std::string s = magic;
    s.resize(16, '\0');
    s.push_back(static_cast<char>(type));
    U32(s, static_cast<uint32_t>(picture1.size()));
    U32(s, static_cast<uint32_t>(picture2.size()));
    return s + picture1 + picture2;
}

TPixels PixelsOf(const TARGB8888& image) {
    TPixels out;
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x)
            out.push_back(image.ScanLine(y)[x]);
    return out;
}

void SetPixels(TARGB8888& image, int32_t w, int32_t h, const TPixels& pixels) {
    image.SetSize(w, h);
    for (int32_t i = 0; i < w * h; ++i)
        image.ScanLine(i / w)[i % w] = pixels[static_cast<size_t>(i)];
}

void Filled(TARGB8888& image, int32_t w, int32_t h, uint32_t colour) {
    SetPixels(image, w, h, TPixels(static_cast<size_t>(w) * static_cast<size_t>(h), colour));
}

}  // namespace ImageFixtures
