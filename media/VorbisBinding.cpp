#include "media/VorbisBinding.h"

#include <climits>
#include <cstring>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"

namespace OggWuvorbisLib {

const char* const kExportNames[kExportCount] = {"wu_SetCPUType",        "wu_DetectCPU",
                                                "wu_ScaleOutput",       "wu_ov_info",
                                                "wu_ov_clear",          "wu_ov_open_callbacks",
                                                "wu_ov_test_callbacks", "wu_ov_test_open",
                                                "wu_ov_bitrate",        "wu_ov_bitrate_instant",
                                                "wu_ov_streams",        "wu_ov_serialnumber",
                                                "wu_ov_seekable",       "wu_ov_raw_total",
                                                "wu_ov_time_total",     "wu_ov_pcm_total",
                                                "wu_ov_raw_seek",       "wu_ov_pcm_seek",
                                                "wu_ov_pcm_seek_page",  "wu_ov_time_seek",
                                                "wu_ov_time_seek_page", "wu_ov_raw_seek_lap",
                                                "wu_ov_pcm_seek_lap",   "wu_ov_pcm_seek_page_lap",
                                                "wu_ov_time_seek_lap",  "wu_ov_time_seek_page_lap",
                                                "wu_ov_raw_tell",       "wu_ov_pcm_tell",
                                                "wu_ov_time_tell",      "wu_ov_comment",
                                                "wu_ov_read_float",     "wu_ov_read",
                                                "wu_ov_crosslap"};

namespace {

// The linked decoder has one code path for every processor: detection reports 0 and the other
// two tuning calls change nothing.
int32_t LinkedDetectCPU() {
    return 0;
}
void LinkedSetCPUType(int32_t) {}
void LinkedScaleOutput(int32_t) {}

template <typename F>
TProc AsProc(F f) {
    return reinterpret_cast<TProc>(f);
}

TProc LinkedExport(std::string_view name) {
    static const struct {
        const char* Name;
        TProc Proc;
    } table[] = {
        {"wu_SetCPUType", AsProc(&LinkedSetCPUType)},
        {"wu_DetectCPU", AsProc(&LinkedDetectCPU)},
        {"wu_ScaleOutput", AsProc(&LinkedScaleOutput)},
        {"wu_ov_info", AsProc(&::ov_info)},
        {"wu_ov_clear", AsProc(&::ov_clear)},
        {"wu_ov_open_callbacks", AsProc(&::ov_open_callbacks)},
        {"wu_ov_test_callbacks", AsProc(&::ov_test_callbacks)},
        {"wu_ov_test_open", AsProc(&::ov_test_open)},
        {"wu_ov_bitrate", AsProc(&::ov_bitrate)},
        {"wu_ov_bitrate_instant", AsProc(&::ov_bitrate_instant)},
        {"wu_ov_streams", AsProc(&::ov_streams)},
        {"wu_ov_serialnumber", AsProc(&::ov_serialnumber)},
        {"wu_ov_seekable", AsProc(&::ov_seekable)},
        {"wu_ov_raw_total", AsProc(&::ov_raw_total)},
        {"wu_ov_time_total", AsProc(&::ov_time_total)},
        {"wu_ov_pcm_total", AsProc(&::ov_pcm_total)},
        {"wu_ov_raw_seek", AsProc(&::ov_raw_seek)},
        {"wu_ov_pcm_seek", AsProc(&::ov_pcm_seek)},
        {"wu_ov_pcm_seek_page", AsProc(&::ov_pcm_seek_page)},
        {"wu_ov_time_seek", AsProc(&::ov_time_seek)},
        {"wu_ov_time_seek_page", AsProc(&::ov_time_seek_page)},
        {"wu_ov_raw_seek_lap", AsProc(&::ov_raw_seek_lap)},
        {"wu_ov_pcm_seek_lap", AsProc(&::ov_pcm_seek_lap)},
        {"wu_ov_pcm_seek_page_lap", AsProc(&::ov_pcm_seek_page_lap)},
        {"wu_ov_time_seek_lap", AsProc(&::ov_time_seek_lap)},
        {"wu_ov_time_seek_page_lap", AsProc(&::ov_time_seek_page_lap)},
        {"wu_ov_raw_tell", AsProc(&::ov_raw_tell)},
        {"wu_ov_pcm_tell", AsProc(&::ov_pcm_tell)},
        {"wu_ov_time_tell", AsProc(&::ov_time_tell)},
        {"wu_ov_comment", AsProc(&::ov_comment)},
        {"wu_ov_read_float", AsProc(&::ov_read_float)},
        {"wu_ov_read", AsProc(&::ov_read)},
        {"wu_ov_crosslap", AsProc(&::ov_crosslap)},
    };
    for (const auto& e : table)
        if (name == e.Name) return e.Proc;
    return nullptr;
}

}  // namespace

TResolver LinkedResolver() {
    TResolver r;
    r.Load = [](const std::string& fullPath, std::string& moduleFileName) {
        moduleFileName = fullPath;
        return true;
    };
    r.Export = &LinkedExport;
    return r;
}

// The callbacks run inside the decoder's C code: nothing may be thrown through it.

size_t VorbisRead(void* buffer, size_t size, size_t count, void* source) {
    if (size == 0 || count == 0 || !source) return 0;
    if (count > static_cast<size_t>(INT64_MAX) / size) return 0;
    try {
        const int64_t n = static_cast<TStream*>(source)->Read(buffer, static_cast<int64_t>(size * count));
        return n > 0 ? static_cast<size_t>(n) : 0;
    } catch (...) {
        return 0;
    }
}

int VorbisSeek(void* source, ogg_int64_t offset, int origin) {
    if (!source) return -1;
    TSeekOrigin o;
    switch (origin) {
        case SEEK_SET:
            o = TSeekOrigin::Beginning;
            break;
        case SEEK_CUR:
            o = TSeekOrigin::Current;
            break;
        case SEEK_END:
            o = TSeekOrigin::End;
            break;
        default:
            return -1;
    }
    try {
        const int64_t pos = static_cast<TStream*>(source)->Seek(offset, o);
        // The decoder treats -1 as the only failure; any other value is the new position.
        return pos < 0 ? -1 : static_cast<int>(pos > INT_MAX ? INT_MAX : pos);
    } catch (...) {
        return -1;
    }
}

int VorbisClose(void* source) {
    std::unique_ptr<TStream> owned(static_cast<TStream*>(source));
    return 0;
}

long VorbisTell(void* source) {
    if (!source) return -1;
    try {
        return static_cast<long>(static_cast<TStream*>(source)->Position());
    } catch (...) {
        return -1;
    }
}

}  // namespace OggWuvorbisLib

TVorbisFileDLL::TVorbisFileDLL(bool detectCPU, OggWuvorbisLib::TResolver resolver)
    : DetectCPU(detectCPU), Resolver(std::move(resolver)) {}

namespace {

template <typename T>
void BindExport(const OggWuvorbisLib::TResolver& resolver, const char* name, T& field) {
    OggWuvorbisLib::TProc proc = resolver.Export ? resolver.Export(name) : nullptr;
    if (!proc) throw std::runtime_error("関数("_sj + name + ")の所得に失敗しました"_sj);
    field = reinterpret_cast<T>(proc);
}

}  // namespace

bool TVorbisFileDLL::LoadDLL(const TFileRoot& root, const std::string& path) {
    Bound = false;
    std::string full;
    try {
        full = Encoding::Utf8ToSjis(root.HostPathForWrite(path));
    } catch (...) {
        full = path;
    }
    std::string moduleName;
    if (!Resolver.Load || !Resolver.Load(Encoding::SjisToUtf8(full), moduleName))
        throw EVorbisLoadError("wuvorbis.dllが存在しません。\r\n("_sj + full + ")");
    FileName = moduleName.empty() ? std::string("vorbisfile.dll") : Encoding::Utf8ToSjis(moduleName).substr(0, 255);

    using namespace OggWuvorbisLib;
    try {
        const char* const* n = kExportNames;
        BindExport(Resolver, *n++, wu_SetCPUType);
        BindExport(Resolver, *n++, wu_DetectCPU);
        BindExport(Resolver, *n++, wu_ScaleOutput);
        BindExport(Resolver, *n++, wu_ov_info);
        BindExport(Resolver, *n++, wu_ov_clear);
        BindExport(Resolver, *n++, wu_ov_open_callbacks);
        BindExport(Resolver, *n++, wu_ov_test_callbacks);
        BindExport(Resolver, *n++, wu_ov_test_open);
        BindExport(Resolver, *n++, wu_ov_bitrate);
        BindExport(Resolver, *n++, wu_ov_bitrate_instant);
        BindExport(Resolver, *n++, wu_ov_streams);
        BindExport(Resolver, *n++, wu_ov_serialnumber);
        BindExport(Resolver, *n++, wu_ov_seekable);
        BindExport(Resolver, *n++, wu_ov_raw_total);
        BindExport(Resolver, *n++, wu_ov_time_total);
        BindExport(Resolver, *n++, wu_ov_pcm_total);
        BindExport(Resolver, *n++, wu_ov_raw_seek);
        BindExport(Resolver, *n++, wu_ov_pcm_seek);
        BindExport(Resolver, *n++, wu_ov_pcm_seek_page);
        BindExport(Resolver, *n++, wu_ov_time_seek);
        BindExport(Resolver, *n++, wu_ov_time_seek_page);
        BindExport(Resolver, *n++, wu_ov_raw_seek_lap);
        BindExport(Resolver, *n++, wu_ov_pcm_seek_lap);
        BindExport(Resolver, *n++, wu_ov_pcm_seek_page_lap);
        BindExport(Resolver, *n++, wu_ov_time_seek_lap);
        BindExport(Resolver, *n++, wu_ov_time_seek_page_lap);
        BindExport(Resolver, *n++, wu_ov_raw_tell);
        BindExport(Resolver, *n++, wu_ov_pcm_tell);
        BindExport(Resolver, *n++, wu_ov_time_tell);
        BindExport(Resolver, *n++, wu_ov_comment);
        BindExport(Resolver, *n++, wu_ov_read_float);
        BindExport(Resolver, *n++, wu_ov_read);
        BindExport(Resolver, *n++, wu_ov_crosslap);
    } catch (const std::runtime_error&) {
        return false;
    }
    Callbacks = {&VorbisRead, &VorbisSeek, &VorbisClose, &VorbisTell};
    if (DetectCPU) SetCPUType(DetectCPUType());
    Bound = true;
    return true;
}

namespace OggWuvorbisLib {

std::shared_ptr<TVorbisFileDLL> LoadVorbisFileDLL(const TFileRoot& root, const std::string& path, TResolver resolver) {
    auto dll = std::make_shared<TVorbisFileDLL>(true, std::move(resolver));
    if (!dll->LoadDLL(root, path)) return nullptr;
    return dll;
}

}  // namespace OggWuvorbisLib
