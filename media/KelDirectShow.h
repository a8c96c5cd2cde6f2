// The movie object that scripts drive and the engine core owns: it finds a movie under "movie\",
// plays it with TDirectShowPlayer, and keeps the 156-byte state record that save games store and
// that the engine core saves and restores around a display-mode change. While the "MovieDecoder"
// setting is 0 it plays nothing and only keeps the record.
//
// The main window shows the video: once per idle call, after the engine core's frame, it calls
// PresentOver with its display component.
//
// Making one:
//     TMovieDevices devices{.Backend = host.Movies, .Sound = &sound};
//     auto movie = std::make_unique<TKelDirectShowPlayer>(devices);
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/DirectShowLib.h"

class TStream;
class TDDDD7;

// The state record, little-endian: left, top, width, height (i32 each), the file name as given
// to Open (a length byte and 127 bytes), the play state, the volume and the position in
// milliseconds (i32 each).
struct TDirectShowState {
    static constexpr int32_t kSize = 156;
    static constexpr int32_t kNameCapacity = 127;

    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Width = 200;
    int32_t Height = 200;
    std::string FileName;  // Shift-JIS, at most kNameCapacity bytes
    int32_t State = 0;     // DirectShowLib::TMoviePlayState
    int32_t Volume = 255;
    int32_t Position = 0;

    void Write(TStream& stream) const;
    // False, with nothing changed and nothing taken, when fewer than kSize bytes remain.
    bool Read(TStream& stream);
};

// What PresentOver did.
enum class TMoviePresent : uint8_t {
    Nothing,    // no video shown
    Unchanged,  // a playing video whose picture is the one drawn last
    Drawn,      // the video was drawn into the back buffer and presented
    Hidden,     // the video has just gone: the caller repaints the whole game frame
};

class TKelDirectShowPlayer {
public:
    explicit TKelDirectShowPlayer(const TMovieDevices& devices);
    ~TKelDirectShowPlayer();
    TKelDirectShowPlayer(const TKelDirectShowPlayer&) = delete;
    TKelDirectShowPlayer& operator=(const TKelDirectShowPlayer&) = delete;

    // Frees the player and resets the record.
    void Close();
    // Close, then, with "MovieDecoder" not 0, opens "movie\" + name: from the data folder when
    // the packs were found there, else from the current folder. False when there is no such file,
    // and for a name that could lead out of the folder (".." or an absolute path).
    bool Open(const std::string& fileName);
    void Play();
    void Pause();
    void Stop();
    // The record keeps its position; SaveToStream takes the player's.
    void Seek(int32_t ms);
    void SetPosition(int32_t left, int32_t top);
    void SetSize(int32_t width, int32_t height);
    // The record takes the value (negative as 0); the player clamps it to 0..255.
    void SetVolume(int32_t volume);
    int32_t GetState();
    int32_t GetPosition();
    int32_t GetLength();

    void SaveToStream(TStream& stream);
    // Close, then the record read back: the file reopened, placed, sized, its volume set, sought
    // to the position and put in the saved play state. False, with the object closed and the
    // stream where it was, when the stream holds less than a record.
    bool LoadFromStream(TStream& stream);

    // Draws the video into the display's back buffer and presents it. A playing movie is redrawn
    // when its picture changes; a paused or finished one that is still shown on every call, since
    // the engine core presents the game frame under it.
    TMoviePresent PresentOver(TDDDD7& display);

    const TDirectShowState& State() const { return Record; }
    // The player of the open file; null while closed.
    TDirectShowPlayer* Player() { return Movie.get(); }

private:
    // Whether the player is reached at all.
    bool Active() const;

    TMovieDevices Devices;
    std::unique_ptr<TDirectShowPlayer> Movie;
    TDirectShowState Record;
    bool WasShown = false;
    uint64_t DrawnSerial = 0;
};

namespace KelDirectShow {

// Whether a name given to Open stays inside the movie folder: no ".." segment, no leading
// separator and no drive or stream colon. Names are Shift-JIS; a trail byte of 0x5C is no
// separator.
bool SafeName(const std::string& name);

}  // namespace KelDirectShow
