// What the script objects ask of the engine objects they wrap. Screen objects, the sound
// libraries and plug-in instances are built by other subsystems; each offers its script
// object these few operations through a small adapter, made by the factory that the subsystem
// registers for its kind keyword (TObjectKindRegistry).
#pragma once

#include <cstdint>
#include <string>

#include "platform/ClassLib.h"

// The kinds of script objects. The number is a kind's identity in handlers and saved games; there
// is no kind 25, and 0 belongs to no kind.
enum class TObjectKind : uint8_t {
    None = 0,
    System = 1,
    GameData = 2,
    SystemData = 3,
    Sound = 4,
    DirectSound = 5,
    Image = 6,
    Message = 7,
    Button = 8,
    ScrollBar = 9,
    Effect = 10,
    SysCursor = 11,
    Cursor = 12,
    Log = 13,
    Camera = 14,
    Replace = 15,
    Path = 16,
    DirectShow = 17,
    SysImage = 18,
    SysButton = 19,
    File = 20,
    TCP = 21,
    Dialog = 22,
    SkipLog = 23,
    FileLog = 24,
    Math = 26,
    StringList = 27,
    Config = 28,
    Misc = 29,
    Input = 30,
    SystemKey = 31,
    Clipboard = 32,
    Dialogs = 33,
    DLLObject = 34,
    Extend = 35,
};

// The cell-draw target of an interpreter's compositor; drawn into by screen objects only.
class TARGB8888CellDraw;

// Layers from this one up are overlays: the camera does not shift them, and they are drawn only
// when the caller asks for overlays.
constexpr int32_t kOverlayLayer = 1000;

// What information texts and key navigation read of a screen object.
struct TKelScreenObjectInfo {
    int32_t X = 0, Y = 0, Z = 0;  // current position and layer
    int32_t Alpha = 255;
    std::string File1, File2;
    bool Enabled = false;
    int32_t MotionIndex = 0;
    std::string MotionName;  // of the current motion
    uint32_t InputMask = 255;
    int32_t ClickX = 0, ClickY = 0;  // click point, object coordinates; (0, 0) when none is set
};

// The operations that images, message windows, buttons and scroll bars share.
class IKelDrawnObject {
public:
    virtual ~IKelDrawnObject() = default;
    virtual void Clear() = 0;
    virtual void Update(uint32_t mask, int32_t elapsed) = 0;
    virtual void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) = 0;
    virtual bool SaveToStream(TStream& s) = 0;
    virtual bool LoadFromStream(TStream& s) = 0;
    virtual void RestoreState() = 0;
    virtual void CaptureState() = 0;
    virtual int32_t Z() const = 0;  // the current layer
    virtual TKelScreenObjectInfo Info() const = 0;
};

// An image: the base screen object.
class IKelScreenObject : public IKelDrawnObject {
public:
    // Stores the pointer and updates the hover motions.
    virtual void MouseMove(uint32_t mask, int32_t x, int32_t y) = 0;
};

class IKelMessageObject : public IKelScreenObject {
public:
    // The player's advance: finishes the typing, or scrolls a full page on.
    virtual void Advance(uint32_t mask) = 0;
};

class IKelButtonObject : public IKelScreenObject {
public:
    // True when the button took the click.
    virtual bool Click(uint32_t mask, int32_t x, int32_t y) = 0;
};

class IKelScrollBarObject : public IKelDrawnObject {
public:
    // shift: the modifier and button bits of the pointer event; bit 3 (8) while the left button
    // is held, which drags the thumb.
    virtual void MouseMove(uint32_t mask, uint32_t shift, int32_t x, int32_t y) = 0;
    virtual void MouseDown(uint32_t mask, int32_t x, int32_t y) = 0;
};

// One channel's record of a sound library, as the information text shows it.
struct TKelSoundChannelInfo {
    std::string File;
    int32_t State = 0;
    int32_t Volume = 0;
    int32_t Type = 0;
};

// The streamed or the effect sound library.
class IKelSoundChannels {
public:
    virtual ~IKelSoundChannels() = default;
    // A channel outside the library gives the empty record.
    virtual TKelSoundChannelInfo ChannelInfo(int32_t channel) const = 0;
};

// One instance of a plug-in object type.
class IKelPluginInstance {
public:
    virtual ~IKelPluginInstance() = default;
    virtual void Init() = 0;  // the object was reset
    virtual bool SaveToStream(TStream&) { return true; }
    virtual bool LoadFromStream(TStream&) { return true; }
};
