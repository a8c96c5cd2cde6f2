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
class IClipboard;      // platform/Clipboard.h
class IDesktop;        // platform/Desktop.h
class IConfigForms;    // platform/ConfigForms.h
class IScriptForms;    // platform/ScriptForms.h
class TFileRoot;       // platform/FileRoot.h
class IClock;          // platform/Clock.h
class IDialogs;        // platform/Dialogs.h
class TModalLoop;      // platform/Dialogs.h

struct TPlatformHost {
    IDisplayDevice* Display = nullptr;

    // The sound device: SDL audio in the program, the manual device in the runner and tests.
    IAudioDevice* Audio = nullptr;

    IFontProvider* Fonts = nullptr;

    IMovieBackend* Movies = nullptr;

    // The desktop's clipboard, and its way of opening files and starting programs: the real ones
    // in the program, in-memory ones that record what was asked in the runner and tests.
    IClipboard* Clipboard = nullptr;
    IDesktop* Desktop = nullptr;
    // The settings forms: the start-up settings, game-pad and configuration dialogs. Without them
    // the start-up dialog is not shown and the configuration dialog leaves the settings alone.
    IConfigForms* Forms = nullptr;

    // The forms that script words open: FLTK in the program, the answerer in the runner and tests.
    IScriptForms* ScriptForms = nullptr;

    // The game's folder, which relative engine paths start from. The main window moves it to the
    // game's folder before the start-up.
    TFileRoot* Files = nullptr;
    // The clock the engine reads: the system clock in the program, a fake one in the runner and
    // tests. A main window needs one.
    IClock* Clock = nullptr;

    // The message forms: FLTK in the program, the answerer in the runner and tests. Without them
    // no form is shown and each ends with no button pressed.
    IDialogs* Dialogs = nullptr;
    // The loop the message and settings forms above run in: the owner of the game window sets its
    // hooks there and cancels an open form through it. None where the forms were given none.
    TModalLoop* Modal = nullptr;
};
