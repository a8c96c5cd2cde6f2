// The video libraries (libavformat, libavcodec, libavutil, libswscale, libswresample), loaded when
// the first movie is opened instead of at the program's start: most games show a movie seldom or
// never, and these libraries with what they pull in are most of the program's shared libraries.
// The functions the movie backend calls are reached through one table, filled from the libraries
// opened by their sonames (taken at configure time from the libraries the build found).
#pragma once

#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// The functions, each with the library it comes from.
#define KEL_VIDEO_FUNCTIONS(X)              \
    X(Util, avutil_version)                 \
    X(Util, av_strerror)                    \
    X(Util, av_log_set_level)               \
    X(Util, av_dict_set)                    \
    X(Util, av_dict_free)                   \
    X(Util, av_frame_alloc)                 \
    X(Util, av_frame_free)                  \
    X(Util, av_frame_unref)                 \
    X(Util, av_rescale)                     \
    X(Util, av_rescale_q)                   \
    X(Codec, avcodec_version)               \
    X(Codec, av_packet_alloc)               \
    X(Codec, av_packet_free)                \
    X(Codec, av_packet_unref)               \
    X(Codec, avcodec_find_decoder)          \
    X(Codec, avcodec_get_name)              \
    X(Codec, avcodec_alloc_context3)        \
    X(Codec, avcodec_free_context)          \
    X(Codec, avcodec_parameters_to_context) \
    X(Codec, avcodec_open2)                 \
    X(Codec, avcodec_send_packet)           \
    X(Codec, avcodec_receive_frame)         \
    X(Codec, avcodec_flush_buffers)         \
    X(Format, avformat_version)             \
    X(Format, avformat_open_input)          \
    X(Format, avformat_close_input)         \
    X(Format, avformat_find_stream_info)    \
    X(Format, av_find_best_stream)          \
    X(Format, av_guess_frame_rate)          \
    X(Format, av_read_frame)                \
    X(Format, av_seek_frame)                \
    X(Format, avformat_seek_file)           \
    X(Scale, swscale_version)               \
    X(Scale, sws_getCachedContext)          \
    X(Scale, sws_scale)                     \
    X(Scale, sws_freeContext)               \
    X(Resample, swresample_version)         \
    X(Resample, swr_alloc_set_opts2)        \
    X(Resample, swr_init)                   \
    X(Resample, swr_free)                   \
    X(Resample, swr_get_out_samples)        \
    X(Resample, swr_convert)

// The file names the libraries are opened by, as the dynamic loader takes them.
struct TVideoLibraryNames {
    std::string Util;
    std::string Resample;
    std::string Scale;
    std::string Codec;
    std::string Format;
};

class TVideoLibraries {
public:
    // Opens the libraries and fills the table. False, with the library or function that is
    // missing, or a library of another major version than the program was built for; the table
    // is then left unusable and Error keeps the reason. The libraries stay loaded for the rest
    // of the process.
    bool Load(const TVideoLibraryNames& names, std::string& error);
    bool Loaded() const { return Ready; }
    // Why the last Load failed; before any Load, that the libraries are not loaded.
    const std::string& Error() const { return Failure; }

#define KEL_VIDEO_FUNCTION_POINTER(library, name) decltype(&::name) name = nullptr;
    KEL_VIDEO_FUNCTIONS(KEL_VIDEO_FUNCTION_POINTER)
#undef KEL_VIDEO_FUNCTION_POINTER

private:
    bool Fill(const TVideoLibraryNames& names, std::string& error);

    bool Ready = false;
    std::string Failure = "the video libraries are not loaded";
};

namespace VideoLibraries {

// The sonames of the libraries the program was built against.
const TVideoLibraryNames& BuiltNames();
// The process's table, loaded at the first call (from any thread) by BuiltNames; when the
// libraries cannot be loaded it stays unusable, with the reason in its Error.
const TVideoLibraries& Shared();

}  // namespace VideoLibraries
