// The Vorbis decoder binding. The engine reaches its decoder the way it would reach an outside
// library "DLL\wuvorbis.dll": a module is loaded by path, and 33 exports named "wu_" plus the
// reference decoding interface's call names are looked up one by one. Here the decoder is linked
// into the program and a resolver answers the look-ups; tests hand in a resolver of their own to
// reach the failures of a missing library or a missing export.
//
// Streams reach the decoder through four callbacks (read, seek, close, tell) that take the
// engine's TStream as their data source. Once a file is open the decoder owns that stream and
// frees it through the close callback.
#pragma once

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

// Raised when the library cannot be loaded at all.
class EVorbisLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace OggWuvorbisLib {

using TProc = void (*)();

// How a binding finds its module and the module's exports.
struct TResolver {
    // Loads the module at the full host path; false when it cannot be loaded. moduleFileName
    // receives the name the module reports for itself ("" when it cannot tell).
    std::function<bool(const std::string& fullPath, std::string& moduleFileName)> Load;
    // The export of that name, or null.
    std::function<TProc(std::string_view name)> Export;
};

// The decoder linked into the program: loading always succeeds and every export is there.
TResolver LinkedResolver();

// The 33 export names in look-up order.
constexpr int32_t kExportCount = 33;
extern const char* const kExportNames[kExportCount];

// The four callbacks over a TStream* data source.
size_t VorbisRead(void* buffer, size_t size, size_t count, void* source);
int VorbisSeek(void* source, ogg_int64_t offset, int origin);
int VorbisClose(void* source);
long VorbisTell(void* source);

}  // namespace OggWuvorbisLib

class TVorbisFileDLL {
public:
    explicit TVorbisFileDLL(bool detectCPU, OggWuvorbisLib::TResolver resolver = OggWuvorbisLib::LinkedResolver());
    ~TVorbisFileDLL() = default;
    TVorbisFileDLL(const TVorbisFileDLL&) = delete;
    TVorbisFileDLL& operator=(const TVorbisFileDLL&) = delete;

    // Loads the module (an engine path, expanded below the root, the game's folder) and looks up
    // every export. Raises EVorbisLoadError when the module cannot be loaded; false when an export
    // is missing (the binding then stays unusable).
    bool LoadDLL(const TFileRoot& root, const std::string& path);
    bool Loaded() const { return Bound; }

    // Thin wrappers over the exports the streams use.
    int ov_open_callbacks(void* source, OggVorbis_File* vf, const char* initial, long ibytes,
                          ov_callbacks callbacks) const {
        return wu_ov_open_callbacks(source, vf, initial, ibytes, callbacks);
    }
    int ov_clear(OggVorbis_File* vf) const { return wu_ov_clear(vf); }
    vorbis_info* ov_info(OggVorbis_File* vf, int link) const { return wu_ov_info(vf, link); }
    vorbis_comment* ov_comment(OggVorbis_File* vf, int link) const { return wu_ov_comment(vf, link); }
    ogg_int64_t ov_pcm_total(OggVorbis_File* vf, int link) const { return wu_ov_pcm_total(vf, link); }
    double ov_time_total(OggVorbis_File* vf, int link) const { return wu_ov_time_total(vf, link); }
    long ov_seekable(OggVorbis_File* vf) const { return wu_ov_seekable(vf); }
    int ov_time_seek(OggVorbis_File* vf, double seconds) const { return wu_ov_time_seek(vf, seconds); }
    int ov_pcm_seek(OggVorbis_File* vf, ogg_int64_t pos) const { return wu_ov_pcm_seek(vf, pos); }
    double ov_time_tell(OggVorbis_File* vf) const { return wu_ov_time_tell(vf); }
    long ov_read(OggVorbis_File* vf, char* buffer, int length, int bigEndian, int word, int sign, int* section) const {
        return wu_ov_read(vf, buffer, length, bigEndian, word, sign, section);
    }
    int32_t DetectCPUType() const { return wu_DetectCPU(); }
    void SetCPUType(int32_t code) const { wu_SetCPUType(code); }

    std::string FileName;  // the module's own name, "vorbisfile.dll" when it cannot tell
    bool DetectCPU = false;
    ov_callbacks Callbacks{};

    // The exports, in look-up order.
    void (*wu_SetCPUType)(int32_t) = nullptr;
    int32_t (*wu_DetectCPU)() = nullptr;
    void (*wu_ScaleOutput)(int32_t) = nullptr;
    vorbis_info* (*wu_ov_info)(OggVorbis_File*, int) = nullptr;
    int (*wu_ov_clear)(OggVorbis_File*) = nullptr;
    int (*wu_ov_open_callbacks)(void*, OggVorbis_File*, const char*, long, ov_callbacks) = nullptr;
    int (*wu_ov_test_callbacks)(void*, OggVorbis_File*, const char*, long, ov_callbacks) = nullptr;
    int (*wu_ov_test_open)(OggVorbis_File*) = nullptr;
    long (*wu_ov_bitrate)(OggVorbis_File*, int) = nullptr;
    long (*wu_ov_bitrate_instant)(OggVorbis_File*) = nullptr;
    long (*wu_ov_streams)(OggVorbis_File*) = nullptr;
    long (*wu_ov_serialnumber)(OggVorbis_File*, int) = nullptr;
    long (*wu_ov_seekable)(OggVorbis_File*) = nullptr;
    ogg_int64_t (*wu_ov_raw_total)(OggVorbis_File*, int) = nullptr;
    double (*wu_ov_time_total)(OggVorbis_File*, int) = nullptr;
    ogg_int64_t (*wu_ov_pcm_total)(OggVorbis_File*, int) = nullptr;
    int (*wu_ov_raw_seek)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_pcm_seek)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_pcm_seek_page)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_time_seek)(OggVorbis_File*, double) = nullptr;
    int (*wu_ov_time_seek_page)(OggVorbis_File*, double) = nullptr;
    int (*wu_ov_raw_seek_lap)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_pcm_seek_lap)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_pcm_seek_page_lap)(OggVorbis_File*, ogg_int64_t) = nullptr;
    int (*wu_ov_time_seek_lap)(OggVorbis_File*, double) = nullptr;
    int (*wu_ov_time_seek_page_lap)(OggVorbis_File*, double) = nullptr;
    ogg_int64_t (*wu_ov_raw_tell)(OggVorbis_File*) = nullptr;
    ogg_int64_t (*wu_ov_pcm_tell)(OggVorbis_File*) = nullptr;
    double (*wu_ov_time_tell)(OggVorbis_File*) = nullptr;
    vorbis_comment* (*wu_ov_comment)(OggVorbis_File*, int) = nullptr;
    long (*wu_ov_read_float)(OggVorbis_File*, float***, int, int*) = nullptr;
    long (*wu_ov_read)(OggVorbis_File*, char*, int, int, int, int, int*) = nullptr;
    int (*wu_ov_crosslap)(OggVorbis_File*, OggVorbis_File*) = nullptr;

private:
    OggWuvorbisLib::TResolver Resolver;
    bool Bound = false;
};

namespace OggWuvorbisLib {

// Binds the library at path with processor detection on, for the sound library that opens Ogg
// streams and the caches that decode whole sounds; they share it, and a stream keeps the binding
// it opened with, so that the owner letting it go never pulls the decoder from under an open file.
// Raises EVorbisLoadError when the module cannot be loaded; null when an export is missing.
std::shared_ptr<TVorbisFileDLL> LoadVorbisFileDLL(const TFileRoot& root, const std::string& path,
                                                  TResolver resolver = LinkedResolver());

}  // namespace OggWuvorbisLib
