#include "media/uJpegLoader.h"

// jpeglib.h declares functions on FILE without including stdio.h itself.
#include <cstdio>
// clang-format off
#include <jpeglib.h>
// clang-format on

#include <csetjmp>
#include <cstring>
#include <vector>

#include "media/ImageCodecLib.h"
#include "platform/ClassLib.h"

namespace {

struct TErrorManager {
    jpeg_error_mgr Manager;  // first, so that the library's pointer is also ours
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// Errors leave the library at once by longjmp, back to the routine that called it; the routine
// keeps nothing with a destructor in its frame, so nothing is skipped. The library's text stays.
void ErrorExit(j_common_ptr info) {
    auto* error = reinterpret_cast<TErrorManager*>(info->err);
    (*info->err->format_message)(info, error->Message);
    std::longjmp(error->Jump, 1);
}
// Warnings about damaged data are neither shown nor counted against the picture.
void OutputMessage(j_common_ptr) {}
void EmitMessage(j_common_ptr, int) {}

J_DCT_METHOD LibraryDct(TJpegLoader::TDctMethod m) {
    switch (m) {
        case TJpegLoader::TDctMethod::IntegerSlow:
            return JDCT_ISLOW;
        case TJpegLoader::TDctMethod::Float:
            return JDCT_FLOAT;
        default:
            return JDCT_IFAST;
    }
}

J_DITHER_MODE LibraryDither(TJpegLoader::TDitherMode m) {
    switch (m) {
        case TJpegLoader::TDitherMode::None:
            return JDITHER_NONE;
        case TJpegLoader::TDitherMode::FloydSteinberg:
            return JDITHER_FS;
        default:
            return JDITHER_ORDERED;
    }
}

}  // namespace

struct TJpegLoader::TDecoder {
    jpeg_decompress_struct Info;
    TErrorManager Error;
    bool Created = false;
    std::vector<uint8_t> Row;
};

TJpegLoader::TJpegLoader() : Decoder(std::make_unique<TDecoder>()) {
    TDecoder& d = *Decoder;
    std::memset(&d.Info, 0, sizeof d.Info);
    d.Info.err = jpeg_std_error(&d.Error.Manager);
    d.Error.Manager.error_exit = ErrorExit;
    d.Error.Manager.output_message = OutputMessage;
    d.Error.Manager.emit_message = EmitMessage;
    d.Error.Message[0] = '\0';
    if (setjmp(d.Error.Jump) == 0) {
        jpeg_CreateDecompress(&d.Info, JPEG_LIB_VERSION, sizeof d.Info);
        d.Created = true;
    }
}

TJpegLoader::~TJpegLoader() {
    if (Decoder->Created) jpeg_destroy(reinterpret_cast<j_common_ptr>(&Decoder->Info));
}

bool TJpegLoader::LoadFromStream(TStream* stream) {
    if (!stream || stream->Remaining() <= 0) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(stream->Remaining()));
    stream->ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    return LoadFromMemory(bytes.data(), bytes.size());
}

bool TJpegLoader::LoadFromMemory(const uint8_t* data, size_t size) {
    ErrorText.clear();
    if (!data || size == 0) {
        ErrorText = "JPEG: no data";
        return false;
    }
    if (!Decoder->Created) {
        ErrorText = "JPEG: the decoder could not be created";
        return false;
    }
    return Decode(data, size);
}

bool TJpegLoader::Decode(const uint8_t* data, size_t size) {
    TDecoder& d = *Decoder;
    j_decompress_ptr info = &d.Info;
    if (setjmp(d.Error.Jump)) {
        jpeg_abort_decompress(info);
        ErrorText = std::string("JPEG: ") + d.Error.Message;
        return false;
    }
    jpeg_mem_src(info, data, static_cast<unsigned long>(size));
    jpeg_read_header(info, TRUE);
    info->scale_num = 1;
    info->scale_denom = 1;
    info->dct_method = LibraryDct(DctMethod);
    info->do_block_smoothing = FALSE;
    const bool grey = info->jpeg_color_space == JCS_GRAYSCALE;
    if (grey) {
        info->out_color_space = JCS_GRAYSCALE;
        info->quantize_colors = TRUE;
        info->desired_number_of_colors = 236;
        info->two_pass_quantize = TwoPassQuantize ? TRUE : FALSE;
        info->dither_mode = LibraryDither(DitherMode);
    } else {
        info->out_color_space = OnColourRowTarget ? JCS_EXT_BGRA : JCS_EXT_BGR;
        info->quantize_colors = FALSE;
    }
    const auto width = static_cast<int32_t>(info->image_width);
    const auto height = static_cast<int32_t>(info->image_height);
    const TJpegRowFormat format = grey ? TJpegRowFormat::Grey8 : TJpegRowFormat::Bgr24;
    const bool refused = !ImageCodecLib::SizeAllowed(width, height) || (OnSize && !OnSize(width, height, format));
    if (refused) {
        jpeg_abort_decompress(info);
        ErrorText = "JPEG: picture of " + std::to_string(width) + " x " + std::to_string(height) + " refused";
        return false;
    }
    jpeg_start_decompress(info);
    const bool direct = !grey && OnColourRowTarget;
    const int32_t components = grey ? 1 : direct ? 4 : 3;
    if (static_cast<int32_t>(info->output_width) != width || info->output_components != components) {
        jpeg_abort_decompress(info);
        ErrorText = "JPEG: unexpected output layout";
        return false;
    }
    // The row buffer starts one byte into its block: the library streams rows that are aligned
    // past the cache, and the row writers read them back at once.
    d.Row.resize(static_cast<size_t>(width) * static_cast<size_t>(components) + 1);
    const auto& onRow = grey ? OnRow8 : OnRow24;
    for (int32_t y = 0; y < height; ++y) {
        JSAMPROW row = direct ? OnColourRowTarget(y) : d.Row.data() + 1;
        if (jpeg_read_scanlines(info, &row, 1) != 1) {
            jpeg_abort_decompress(info);
            ErrorText = "JPEG: rows missing";
            return false;
        }
        if (!direct && onRow) onRow(row, y);
    }
    jpeg_finish_decompress(info);
    return true;
}
