#include "platform/VideoLibraries.h"

#include <mutex>

#include "platform/NativeLibrary.h"

// The build passes the sonames it read from the libraries it found; a build that could not read
// them falls back on the names the libraries' major versions give on this system.
#define KEL_VIDEO_STRING(x) #x
#define KEL_VIDEO_SONAME(base, major) "lib" base ".so." KEL_VIDEO_STRING(major)
#ifndef KEL_SONAME_AVUTIL
#define KEL_SONAME_AVUTIL KEL_VIDEO_SONAME("avutil", LIBAVUTIL_VERSION_MAJOR)
#endif
#ifndef KEL_SONAME_SWRESAMPLE
#define KEL_SONAME_SWRESAMPLE KEL_VIDEO_SONAME("swresample", LIBSWRESAMPLE_VERSION_MAJOR)
#endif
#ifndef KEL_SONAME_SWSCALE
#define KEL_SONAME_SWSCALE KEL_VIDEO_SONAME("swscale", LIBSWSCALE_VERSION_MAJOR)
#endif
#ifndef KEL_SONAME_AVCODEC
#define KEL_SONAME_AVCODEC KEL_VIDEO_SONAME("avcodec", LIBAVCODEC_VERSION_MAJOR)
#endif
#ifndef KEL_SONAME_AVFORMAT
#define KEL_SONAME_AVFORMAT KEL_VIDEO_SONAME("avformat", LIBAVFORMAT_VERSION_MAJOR)
#endif

namespace {

// A library's major version as its version function gives it.
unsigned Major(unsigned version) {
    return version >> 16;
}

}  // namespace

bool TVideoLibraries::Load(const TVideoLibraryNames& names, std::string& error) {
    Ready = Fill(names, Failure);
    if (Ready)
        Failure.clear();
    else
        error = Failure;
    return Ready;
}

bool TVideoLibraries::Fill(const TVideoLibraryNames& names, std::string& error) {
    // Each library before those that need it.
    struct TOpened {
        void* Util;
        void* Resample;
        void* Scale;
        void* Codec;
        void* Format;
    } handles{};
    const std::pair<void**, const std::string*> order[] = {{&handles.Util, &names.Util},
                                                           {&handles.Resample, &names.Resample},
                                                           {&handles.Scale, &names.Scale},
                                                           {&handles.Codec, &names.Codec},
                                                           {&handles.Format, &names.Format}};
    for (const auto& [handle, name] : order) {
        std::string why;
        *handle = NativeLibrary::Open(*name, &why);
        if (!*handle) {
            error = "cannot load the video library " + *name + ": " + why;
            return false;
        }
    }
#define KEL_VIDEO_RESOLVE(library, function)                                                            \
    function = reinterpret_cast<decltype(function)>(NativeLibrary::Symbol(handles.library, #function)); \
    if (!function) {                                                                                    \
        error = "the video library " + names.library + " has no " #function;                            \
        return false;                                                                                   \
    }
    KEL_VIDEO_FUNCTIONS(KEL_VIDEO_RESOLVE)
#undef KEL_VIDEO_RESOLVE
    // The structures the backend reads are laid out as the headers it was built with say; a
    // library of another major version lays them out otherwise.
    const std::pair<const std::string*, bool> versions[] = {
        {&names.Util, Major(avutil_version()) == LIBAVUTIL_VERSION_MAJOR},
        {&names.Resample, Major(swresample_version()) == LIBSWRESAMPLE_VERSION_MAJOR},
        {&names.Scale, Major(swscale_version()) == LIBSWSCALE_VERSION_MAJOR},
        {&names.Codec, Major(avcodec_version()) == LIBAVCODEC_VERSION_MAJOR},
        {&names.Format, Major(avformat_version()) == LIBAVFORMAT_VERSION_MAJOR}};
    for (const auto& [name, same] : versions)
        if (!same) {
            error = "the video library " + *name + " is of another version than the program was built for";
            return false;
        }
    return true;
}

namespace VideoLibraries {

const TVideoLibraryNames& BuiltNames() {
    static const TVideoLibraryNames names{.Util = KEL_SONAME_AVUTIL,
                                          .Resample = KEL_SONAME_SWRESAMPLE,
                                          .Scale = KEL_SONAME_SWSCALE,
                                          .Codec = KEL_SONAME_AVCODEC,
                                          .Format = KEL_SONAME_AVFORMAT};
    return names;
}

const TVideoLibraries& Shared() {
    static TVideoLibraries libraries;
    static std::once_flag once;
    std::call_once(once, [] {
        std::string error;
        if (!libraries.Load(BuiltNames(), error)) return;
        // Failures reach the engine as results with the library's reason; its own printing would
        // only repeat them on the console.
        libraries.av_log_set_level(AV_LOG_QUIET);
    });
    return libraries;
}

}  // namespace VideoLibraries
