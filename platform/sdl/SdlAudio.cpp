#include "platform/sdl/SdlAudio.h"

TSdlAudioDevice::~TSdlAudioDevice() {
    Close();
}

void SDLCALL TSdlAudioDevice::Callback(void* self, Uint8* stream, int bytes) {
    static_cast<TSdlAudioDevice*>(self)->MixOutput(reinterpret_cast<int16_t*>(stream),
                                                   static_cast<uint32_t>(bytes) / AudioMixer::kFrameBytes);
}

bool TSdlAudioDevice::OpenOn(const char* driver, std::string& error) {
    // The hint outranks the user's SDL_AUDIODRIVER only for the stand-in output.
    if (driver) SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, driver, SDL_HINT_OVERRIDE);
    const bool up = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (driver) SDL_ResetHint(SDL_HINT_AUDIODRIVER);
    if (!up) {
        error = SDL_GetError();
        return false;
    }
    const char* current = SDL_GetCurrentAudioDriver();
    if (driver && (!current || SDL_strcmp(current, driver) != 0)) {
        error = std::string("the audio subsystem already runs on ") + (current ? current : "no driver");
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(AudioMixer::kRate);
    want.format = AUDIO_S16SYS;
    want.channels = static_cast<Uint8>(AudioMixer::kChannels);
    want.samples = kChunkFrames;
    want.callback = Callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts from the engine's format to whatever the hardware takes.
    Device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (Device == 0) {
        error = SDL_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

bool TSdlAudioDevice::Open(std::string& error) {
    if (Device != 0) return true;
    Silence.clear();
    std::string first;
    if (!OpenOn(nullptr, first)) {
        std::string second;
        if (!OpenOn("dummy", second)) {
            error = "no audio output could be opened: " + first + "; the stand-in output failed too: " + second;
            return false;
        }
        Silence = "no audio device could be opened (" + first + ")";
    }
    {
        std::lock_guard lock(Guard);
        IsOpen = true;
    }
    SDL_PauseAudioDevice(Device, 0);
    return true;
}

uint32_t TSdlAudioDevice::Close() {
    if (Device != 0) {
        // Waits for a callback in progress; the device lock is not held here.
        SDL_CloseAudioDevice(Device);
        Device = 0;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    std::lock_guard lock(Guard);
    IsOpen = false;
    OutputOn = false;
    return Mixer.Count();
}

std::string TSdlAudioDevice::DriverName() const {
    const char* name = Device != 0 ? SDL_GetCurrentAudioDriver() : nullptr;
    return name ? name : "";
}
