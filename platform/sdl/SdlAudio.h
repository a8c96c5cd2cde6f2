// The sound device over SDL audio. The output is opened in the engine's own format (44100 Hz,
// 16-bit, stereo, chunks of 512 frames) and SDL converts for the hardware, so the engine never
// resamples. The audio callback takes the device lock for one chunk's mix and calls nothing else.
//
// On a machine where no output can be opened (no sound server, no card), SDL's dummy output is
// opened instead: the game runs and keeps time as it would, and SilenceReason says why nothing is
// heard.
#pragma once

#include <SDL.h>

#include <string>

#include "platform/Audio.h"

class TSdlAudioDevice final : public TMixingAudioDevice {
public:
    static constexpr uint16_t kChunkFrames = 512;

    TSdlAudioDevice() = default;
    ~TSdlAudioDevice() override;
    TSdlAudioDevice(const TSdlAudioDevice&) = delete;
    TSdlAudioDevice& operator=(const TSdlAudioDevice&) = delete;

    bool Open(std::string& error) override;
    std::string Error() const override { return Silence; }
    uint32_t Close() override;

    // The SDL driver the output runs on ("pulseaudio", "alsa", "dummy", ...); empty while closed.
    std::string DriverName() const;

private:
    static void SDLCALL Callback(void* self, Uint8* stream, int bytes);
    // Brings the audio subsystem up (on the named driver, or SDL's choice for null) and opens the
    // output; on failure everything is taken down again and error holds SDL's reason.
    bool OpenOn(const char* driver, std::string& error);

    SDL_AudioDeviceID Device = 0;
    std::string Silence;
};
