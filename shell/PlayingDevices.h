// The devices kel plays a game with in its window, made as the program makes them: the dialogs
// and forms on FLTK and the loop they run in, the fonts, the sound device, the movie backend, the
// clipboards (text through SDL, pictures through FLTK, handed over between frames), the desktop
// and the task-bar button; and the platform host that hands them, with the game's folder, to the
// main window. The program and the main-window benchmark share it, so that the benchmark starts
// what the program starts.
//
// Made after the window and ended before it; while it lives, the window's pump serves the picture
// clipboard.
#pragma once

#include <cstdint>

#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/FileRoot.h"
#include "platform/Movie.h"
#include "platform/PlatformHost.h"
#include "platform/SystemFonts.h"
#include "platform/fltk/FltkConfigForms.h"
#include "platform/fltk/FltkDialogs.h"
#include "platform/fltk/FltkPictureClipboard.h"
#include "platform/fltk/FltkScriptForms.h"
#include "platform/sdl/SdlAudio.h"
#include "platform/sdl/SdlClipboard.h"
#include "platform/sdl/SdlMainWindow.h"
#include "platform/sdl/SdlTaskbar.h"

class TPlayingDevices {
public:
    TPlayingDevices(TSdlMainWindow& window, TFileRoot& files)
        : Window(window),
          Forms(&Modal),
          Clipboard(window.Handle(), [this](const uint32_t* pixels, int32_t width,
                                            int32_t height) { return Pictures.Put(pixels, width, height); }),
          Desktop(files),
          SettingsForms(&Modal),
          Taskbar(window.Handle()),
          Host{.Display = &window.Display(),
               .Audio = &Audio,
               .Fonts = &Fonts,
               .Movies = &Movies,
               .Clipboard = &Clipboard,
               .Desktop = &Desktop,
               .Forms = &SettingsForms,
               .ScriptForms = &ScriptForms,
               .Files = &files,
               .Clock = &Clock,
               .Dialogs = &Forms,
               .Modal = &Modal} {
        Window.SetPumpHook([this] { Pictures.Serve(); });
    }
    ~TPlayingDevices() { Window.SetPumpHook(nullptr); }
    TPlayingDevices(const TPlayingDevices&) = delete;
    TPlayingDevices& operator=(const TPlayingDevices&) = delete;

private:
    TSdlMainWindow& Window;

public:
    TSystemClock Clock;
    // The loop the message and settings forms run in.
    TModalLoop Modal;
    TFltkDialogs Forms;
    TFltkScriptForms ScriptForms;
    TFreeTypeFonts Fonts;
    TSdlAudioDevice Audio;
    TFfmpegMovies Movies;
    TFltkPictureClipboard Pictures;
    TSdlClipboard Clipboard;
    TPosixDesktop Desktop;
    TFltkConfigForms SettingsForms;
    TSdlTaskbarWindow Taskbar;
    TPlatformHost Host;
};
