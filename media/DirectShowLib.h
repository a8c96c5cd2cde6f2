// The player of ordinary movie files: one file at a time, decoded on a thread of its own through
// a movie backend (platform/Movie.h), its pictures scaled to the video rectangle and its sound
// played as a stream of its own on the sound component's device. The sound is the movie's clock:
// the picture shown is the last one whose time the sound has reached. A movie without sound, or a
// run without a sound device, runs on the engine's clock instead.
//
// There is no window of its own: while the video is shown, whoever presents the frame draws the
// current picture into the video rectangle of the back buffer (DrawVideo).
//
// Threads: the decoder thread reads the file ahead into a few queued pictures and some seconds of
// sound; the sound stream's thread moves sound from its queue into the device buffer as the
// device plays, and takes the pictures that have come due. Everything else runs on the main
// thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Display.h"
#include "platform/Movie.h"

class IClock;
class TDDSD7;
class TFileRoot;  // platform/FileRoot.h
class TErrorLog;
struct TSystemData;
class TPackSet;  // foundation/PackLib.h

// What a movie plays through.
struct TMovieDevices {
    IMovieBackend* Backend = nullptr;  // null: no file decodes
    TDDSD7* Sound = nullptr;           // null or not initialised: silent, on the engine's clock
    // The engine's clock, which a silent movie plays on; null: a silent movie stands still.
    IClock* Clock = nullptr;
    // The sound stream waits for the decoder instead of playing silence when the decoder has not
    // kept up. Meant for the manual sound device, on which time passes only as fast as a test or
    // the headless runner renders it, so that a run always hears the same samples.
    bool WaitForDecoder = false;
    // The game's folder, where the movie folder beside the program is looked for; null: only the
    // folder beside the packs is.
    const TFileRoot* Files = nullptr;
    // The game's error log, which hears why a movie cannot play; none: it is not written.
    TErrorLog* Log = nullptr;
    // The game's live settings, whose MovieDecoder switches movies off when 0; none: movies play,
    // as a fresh configuration has it.
    const TSystemData* Config = nullptr;
    // The game's pack set, beside whose packs the other movie folder is; null: only the folder
    // beside the program is looked in.
    const TPackSet* Packs = nullptr;
};

namespace DirectShowLib {

// The states GetState reports.
enum TMoviePlayState : int32_t {
    mpsStopped = 0,  // also: not open, or at the end
    mpsPaused = 1,
    mpsPlaying = 2,
};

// The stream volume of a volume of 0..255 (clamped), in hundredths of a decibel: 1000 x log10 of
// volume / 255, rounded, from -10000 (silent) to 0.
int32_t VolumeLevel(int32_t volume);

// Pictures are decoded at the video rectangle's size, each side at most this.
constexpr int32_t kMaxPictureSide = 2048;

}  // namespace DirectShowLib

class TDirectShowPlayer {
public:
    explicit TDirectShowPlayer(const TMovieDevices& devices);
    ~TDirectShowPlayer();
    TDirectShowPlayer(const TDirectShowPlayer&) = delete;
    TDirectShowPlayer& operator=(const TDirectShowPlayer&) = delete;

    // Closes what is open, then opens the file (a host path): false when it does not exist. A
    // file that exists but cannot be decoded still counts as opened; it stays at its end (state 0)
    // and the reason goes to the error log once. The video is placed at (Left, Top) with the
    // pictures' own size and left paused, hidden until Play.
    bool Open(const std::string& hostPath);
    // Shows the video and runs the movie from its position.
    void Play();
    void Pause();
    // Pauses and hides the video; the position stays.
    void Stop();
    // Placing or sizing the video leaves the movie paused where it is.
    void SetPosition(int32_t left, int32_t top);
    void SetSize(int32_t width, int32_t height);
    // 0..255, clamped.
    void SetVolume(int32_t volume);
    // Goes to the time (clamped into the movie), paused or playing as before.
    void Seek(int64_t ms);
    int32_t GetPosition();
    // The movie's length in milliseconds: as the file says, or once decoding has reached the end.
    int32_t GetLength();
    // DirectShowLib::TMoviePlayState: 0 when nothing is open and once the movie has reached its
    // end.
    int32_t GetState();
    void Close();

    // Whether the video is to be drawn (between Play and Stop or Close).
    bool Visible() const { return Shown; }
    // Draws the current picture into its rectangle of a locked back buffer (black until the first
    // picture is decoded) and returns the rows written, empty when nothing was drawn.
    Display::TRowSpan DrawVideo(const TDisplayLock& lock);
    // Counts the pictures that have come up, so that a caller can tell a new one from the last.
    uint64_t PictureSerial();
    // Waits, at most the time given, until the decoder has read as far ahead as it may (or to the
    // end); true when it has. For tests and the headless runner.
    bool WaitDecoded(uint32_t timeoutMs);
    // Why the open file does not decode, or failed while decoding; empty when it does.
    const std::string& Error() const { return Reason; }

    // ---- state ----
    bool Opened = false;   // a file has been opened (decodable or not)
    std::string FileName;  // host path
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 200;
    int32_t Height = 200;
    int32_t Volume = 255;
    int32_t VideoWidth = 0;  // the pictures' own size
    int32_t VideoHeight = 0;

private:
    class TPlayback;
    enum class TMode : uint8_t { Stopped, Paused, Playing };
    // Logs a failure once for the open file.
    void Report(const std::string& reason);
    void NoteReadFailure();

    TMovieDevices Devices;
    std::unique_ptr<TPlayback> Playback;  // null while closed and for a file that does not decode
    TMode Mode = TMode::Stopped;
    bool Shown = false;
    std::string Reason;
    bool Reported = false;
};
