// Ordinary movie files, decoded by a media library: what a movie holds, its pictures converted to
// 32-bit pixels at the size the caller asks for, and its sound converted to the engine's format
// (44100 Hz, 16-bit, stereo). A source is used by one thread at a time; it decodes only when
// asked, so the caller decides which thread does the work.
//
// The program and the headless runner open movies through the FFmpeg backend (TFfmpegMovies);
// tests may hand a player any other IMovieBackend.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What a movie file holds, as read when it is opened.
class TVideoLibraries;

struct TMovieInfo {
    bool HasVideo = false;
    bool HasAudio = false;
    int32_t Width = 0;  // the pictures' own size; 0 without video
    int32_t Height = 0;
    int64_t DurationUs = 0;  // 0 when the file does not say
};

// One picture: rows top to bottom, no padding, pixels 0xAARRGGBB with alpha 255.
struct TMoviePicture {
    int64_t TimeUs = 0;      // from the start of the movie
    int64_t DurationUs = 0;  // until the next picture as the file's frame rate has it; 0 unknown
    int32_t Width = 0;
    int32_t Height = 0;
    std::vector<uint32_t> Pixels;
};

// A piece of sound in the engine's format: interleaved stereo frames, left first.
struct TMovieSound {
    int64_t TimeUs = 0;  // of the first frame, from the start of the movie
    std::vector<int16_t> Samples;
};

enum class TMovieStep : uint8_t {
    Picture,  // the picture was filled
    Sound,    // the sound was filled
    End,      // nothing more comes (after the last picture and sound, or after a read failure)
};

class IMovieSource {
public:
    virtual ~IMovieSource() = default;
    virtual const TMovieInfo& Info() const = 0;
    // The size later pictures are scaled to; at least 1 x 1.
    virtual void SetPictureSize(int32_t width, int32_t height) = 0;
    // Decodes on until one picture or one piece of sound is ready, and hands it over in the
    // matching argument (its vector's storage is reused). End stays End until a seek.
    virtual TMovieStep Next(TMoviePicture& picture, TMovieSound& sound) = 0;
    // Goes to the last key picture at or before the time, so that decoding on from there reaches
    // the time; what was decoded before is dropped. False when the file cannot be positioned; the
    // source then reads on from where it was.
    virtual bool Seek(int64_t timeUs) = 0;
    // The library's reason for the last failure to read or seek; empty when none happened.
    virtual std::string Error() const = 0;
};

class IMovieBackend {
public:
    virtual ~IMovieBackend() = default;
    // Opens a file named by a host path. Null, with the reason, when it is no movie this backend
    // can play.
    virtual std::unique_ptr<IMovieSource> Open(const std::string& hostPath, std::string& error) = 0;
};

// Movies through libavformat, libavcodec, libswscale and libswresample. Only plain local files
// are read: the file is opened by the file protocol alone, and only the demuxers of ordinary
// movie containers are allowed, so a file that is really a playlist or a list of other files is
// refused rather than followed to other files or the network.
//
// The libraries are loaded by the first Open (platform/VideoLibraries.h), not at the program's
// start; when they cannot be, every Open fails with the reason.
class TFfmpegMovies final : public IMovieBackend {
public:
    // Through the process's own table of the libraries, or the one given (which must outlive the
    // backend).
    explicit TFfmpegMovies(const TVideoLibraries* libraries = nullptr) : Libraries(libraries) {}
    std::unique_ptr<IMovieSource> Open(const std::string& hostPath, std::string& error) override;

private:
    const TVideoLibraries* Libraries;
};

namespace Movie {

// The demuxers TFfmpegMovies accepts, as the library's comma-separated list of names.
extern const char* const kAllowedContainers;

}  // namespace Movie
