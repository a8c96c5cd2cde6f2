// What the engine core reaches outside itself: the main window, the display starter, and the
// parts that their own units build (sound facade, movie object, system screens, configuration
// dialog, quick-load dialog, save games). Each is a small interface; a part that is missing is
// skipped the way this header says at each one, so the engine runs a game without a window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/ClassLib.h"

class IClipboard;
class IDesktop;
class IDialogOwner;
class IInputSource;
class IScriptSound;
class TDDDD7;
class TKelDirectShowPlayer;
class TKelScript;
class TSound;

// One line of text written straight onto the main window's canvas, over the last frame.
struct TCanvasText {
    std::string FontName;  // Shift-JIS face name
    int32_t FontHeight = 12;
    uint32_t Color = 0;       // system colour value: 0x02BBGGRR
    uint32_t BrushColor = 0;  // behind the text, same form
    int32_t X = 0, Y = 0;
    std::string Text;  // Shift-JIS
};

// The main window as the engine core uses it.
class IKelHost {
public:
    virtual ~IKelHost() = default;
    // Whether the main window is the active window of the desktop.
    virtual bool IsActiveWindow() = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void CanvasText(const TCanvasText& text) = 0;
    // Minimises the application.
    virtual void Minimize() = 0;
    // Ends the program at once, after a fatal dialog.
    virtual void Terminate() = 0;
    // The window the input device reads and forms are shown over.
    virtual IInputSource& InputSource() = 0;
    virtual const IDialogOwner* DialogOwner() = 0;
    // The desktop services the scripts' words reach; none: those words do nothing.
    virtual IClipboard* Clipboard() { return nullptr; }
    virtual IDesktop* Desktop() { return nullptr; }
};

// The display starter with the back buffer of the display device.
class IKelDisplay {
public:
    virtual ~IKelDisplay() = default;
    // False before the first mode set-up and while a mode change runs: nothing is presented then.
    virtual bool Ready() = 0;
    virtual bool IsFullScreen() = 0;
    virtual void ToggleFullScreen() = 0;
    // Locks and at once unlocks the back buffer; false when the lock fails (the buffer is lost).
    virtual bool TestBackBuffer() = 0;
    virtual bool Reinitialize() = 0;
    // The events before and after a display-mode change; empty functions clear them.
    virtual void SetDisplayResetEvents(std::function<void()> before, std::function<void()> after) = 0;
    // The display component whose back buffer frames are presented into; none without one.
    virtual TDDDD7* DisplayComponent() { return nullptr; }
};

// The finished frame of an interpreter on its way to the display. Both flags as the frame's
// redraw passes them: full, and interlaced rows only.
class IKelPresenter {
public:
    virtual ~IKelPresenter() = default;
    // Through the compositor (script modes and the rest).
    virtual void Present(TKelScript& script, bool full, bool interlaced) = 0;
    // The cell draw straight to the display (the system screens).
    virtual void PresentCellDraw(TKelScript& script, bool full, bool interlaced) = 0;
    // Whether the interpreter has a compositor with a cell draw to present.
    virtual bool CanPresent(TKelScript& script) = 0;
    virtual void InvalidateAll(TKelScript& script) = 0;
    // Flips the row parity of interlaced drawing, once per frame.
    virtual void ToggleInterlaceField() = 0;
};

// The sound facade. The interpreters are linked to its script side and its library.
class IKelSound {
public:
    virtual ~IKelSound() = default;
    virtual void SetActive(bool active) = 0;
    virtual void StopAll() = 0;
    virtual IScriptSound* ScriptSound() { return nullptr; }
    virtual TSound* Library() { return nullptr; }
};

// The movie object.
class IKelMovie {
public:
    virtual ~IKelMovie() = default;
    virtual int32_t GetState() = 0;  // 2: playing
    virtual void Close() = 0;
    virtual void SaveToStream(TStream& stream) = 0;
    virtual void LoadFromStream(TStream& stream) = 0;
    // The object the interpreters' movie words drive; null for a stand-in.
    virtual TKelDirectShowPlayer* Object() { return nullptr; }
};

// A system screen drawn inside the game window: menu, back-log, save and load.
class IKelScreen {
public:
    virtual ~IKelScreen() = default;
    virtual void Reset() = 0;
    // kind: 0 save, 1 load for the file select; 0 for the others.
    virtual void Open(int32_t kind) = 0;
    // 0 while the screen stays open; else what the screen's own unit defines.
    virtual int32_t Update(int32_t elapsed) = 0;
    virtual void Draw() = 0;
    virtual void Close() = 0;
    // The file select's chosen file and the motion name of its event; empty for the others.
    virtual std::string FileName() { return {}; }
    virtual std::string EventLabel() { return {}; }
};

// The configuration dialog.
class IKelConfigDialog {
public:
    virtual ~IKelConfigDialog() = default;
    // The game interpreter and the sound facade it plays through, once set-up has made them.
    virtual void Init(TKelScript* gameScript, IKelSound* sound) = 0;
    virtual void ApplyFonts() = 0;
    virtual void ApplyVolumes() = 0;
    virtual void ApplyMessageAlpha() = 0;
    virtual void ApplyCacheSizes() = 0;
    virtual void ApplyCrcCheck() = 0;
    virtual void ApplyConfig() = 0;
    // -1 keeps the page last shown.
    virtual void SelectPage(int32_t page) = 0;
    virtual void ShowModal() = 0;
};

// Quick saves: the next file to write, and the modal dialog that chooses one to load ("" when
// none was chosen).
class IKelQuickSaves {
public:
    virtual ~IKelQuickSaves() = default;
    virtual std::string NextQuickSaveFile() = 0;
    virtual std::string ChooseQuickLoadFile() = 0;
};

// Save games and the permission tests of an interpreter. Names are relative to "SaveData\".
class IKelGameState {
public:
    virtual ~IKelGameState() = default;
    virtual bool SaveGame(TKelScript& script, const std::string& name, bool flag) = 0;
    virtual bool LoadGame(TKelScript& script, const std::string& name) = 0;
    virtual bool SaveFileExists(TKelScript& script, const std::string& name) = 0;
    virtual bool DeleteSaveFile(TKelScript& script, const std::string& name) = 0;
    virtual bool CanSceneReturn(TKelScript& script) = 0;
    virtual void SceneReturn(TKelScript& script) = 0;
    virtual bool IsViewAllowed(TKelScript& script) = 0;
    virtual bool IsSkipAllowed(TKelScript& script) = 0;
    virtual bool IsAutoAllowed(TKelScript& script) = 0;
    virtual bool IsSceneLabelSkipAllowed(TKelScript& script) = 0;
};
