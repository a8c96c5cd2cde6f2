// The host's devices as one object: the program builds it from the SDL, FreeType and FFmpeg
// backends, the headless runner and the tests from the in-memory ones, and hands it down to the
// units that open the display, the sound device, system fonts and movies. A member left null is
// a device this run does not have; the unit that needs it fails its start as it would on a
// machine without that device.
#pragma once

class IDisplayDevice;  // platform/Display.h
class IAudioDevice;    // platform/Audio.h
class IFontProvider;   // platform/SystemFonts.h
class IMovieBackend;   // platform/Movie.h
class IConfigForms;    // platform/ConfigForms.h

struct TPlatformHost {
    IDisplayDevice* Display = nullptr;

    // The sound device: SDL audio in the program, the manual device in the runner and tests.
    IAudioDevice* Audio = nullptr;

    IFontProvider* Fonts = nullptr;

    IMovieBackend* Movies = nullptr;

    // The settings forms: the start-up settings, game-pad and configuration dialogs. Without them
    // the start-up dialog is not shown and the configuration dialog leaves the settings alone.
    IConfigForms* Forms = nullptr;
};
