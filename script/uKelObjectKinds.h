// The kinds of script objects. Most carry only their name to the handler of their kind; images,
// message windows, buttons, scroll bars, sound channels, text files, string lists and plug-in
// objects wrap the engine object that does the work. Text files and string lists belong to this
// subsystem and are made here. For the others, the subsystem that builds the engine object
// registers a factory for its keyword that hands it to the constructor here; without one the
// interpreter makes the script object with no engine object, and its operations do nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "script/KelFileIO.h"
#include "script/uKelObjectManager.h"

class TInput;

// Kinds without an engine object differ only in kind and category.
template <TObjectKind K, TObjectCategory C>
class TKelObjectDataPlain : public TKelObjectDataCustom {
public:
    explicit TKelObjectDataPlain(std::string name) : TKelObjectDataCustom(std::move(name), K, C) {}
};

using TKelObjectDataSystem = TKelObjectDataPlain<TObjectKind::System, 0>;
using TKelObjectDataGameData = TKelObjectDataPlain<TObjectKind::GameData, 0>;
using TKelObjectDataSystemData = TKelObjectDataPlain<TObjectKind::SystemData, 0>;
using TKelObjectDataEffect = TKelObjectDataPlain<TObjectKind::Effect, 4>;
using TKelObjectDataSysCursor = TKelObjectDataPlain<TObjectKind::SysCursor, 5>;
using TKelObjectDataCursor = TKelObjectDataPlain<TObjectKind::Cursor, 6>;
using TKelObjectDataLog = TKelObjectDataPlain<TObjectKind::Log, 0>;
using TKelObjectDataCamera = TKelObjectDataPlain<TObjectKind::Camera, 10>;
using TKelObjectDataReplace = TKelObjectDataPlain<TObjectKind::Replace, 0>;
using TKelObjectDataPath = TKelObjectDataPlain<TObjectKind::Path, 0>;
using TKelObjectDataDirectShow = TKelObjectDataPlain<TObjectKind::DirectShow, 11>;
using TKelObjectDataTCP = TKelObjectDataPlain<TObjectKind::TCP, 0>;
using TKelObjectDataDialog = TKelObjectDataPlain<TObjectKind::Dialog, 0>;
using TKelObjectDataSkipLog = TKelObjectDataPlain<TObjectKind::SkipLog, 0>;
using TKelObjectDataFileLog = TKelObjectDataPlain<TObjectKind::FileLog, 0>;
using TKelObjectMath = TKelObjectDataPlain<TObjectKind::Math, 0>;
using TKelObjectConfig = TKelObjectDataPlain<TObjectKind::Config, 0>;
using TKelObjectMisc = TKelObjectDataPlain<TObjectKind::Misc, 0>;
using TKelObjectInput = TKelObjectDataPlain<TObjectKind::Input, 0>;
using TKelObjectSystemKey = TKelObjectDataPlain<TObjectKind::SystemKey, 0>;
using TKelObjectClipboard = TKelObjectDataPlain<TObjectKind::Clipboard, 0>;
using TKelObjectDialogs = TKelObjectDataPlain<TObjectKind::Dialogs, 0>;
using TKelObjectDataExtend = TKelObjectDataPlain<TObjectKind::Extend, 9>;

// A channel of a sound library (not owned); the channel is the object's element index.
class TKelObjectDataSoundChannel : public TKelObjectDataCustom {
public:
    // "file(%s)state(%d)vol(%d)type(%d)" from the channel's record.
    std::string GetInfo() override;
    IKelSoundChannels* Library = nullptr;

protected:
    TKelObjectDataSoundChannel(std::string name, TObjectKind kind, IKelSoundChannels* library)
        : TKelObjectDataCustom(std::move(name), kind, 0), Library(library) {}
};

class TKelObjectDataSound final : public TKelObjectDataSoundChannel {
public:
    TKelObjectDataSound(std::string name, IKelSoundChannels* streams)
        : TKelObjectDataSoundChannel(std::move(name), TObjectKind::Sound, streams) {}
};

class TKelObjectDataDirectSound final : public TKelObjectDataSoundChannel {
public:
    TKelObjectDataDirectSound(std::string name, IKelSoundChannels* effects)
        : TKelObjectDataSoundChannel(std::move(name), TObjectKind::DirectSound, effects) {}
};

// The screen-object set: a screen object drawn with the camera offset unless it is an overlay.
class TKelObjectDataScreen : public TKelObjectDataCustom {
public:
    void Reset() override;
    // "xyza(%d,%d,%d,%d)file(%s,%s)show(%d)motion(%d,%s)".
    std::string GetInfo() override;
    bool SaveToStream(TStream& s) override;
    bool LoadFromStream(TStream& s) override;
    void Update(uint32_t mask, int32_t elapsed) override;
    void Draw(TARGB8888CellDraw* target, uint32_t mask, bool overlay) override;
    void MouseMove(uint32_t mask, int32_t x, int32_t y) override;
    void RestoreState() override;
    void CaptureState() override;
    bool SwapEngineObject(TKelObjectDataCustom& other) override;
    IKelScreenObject* ScreenObject() const override { return Engine.get(); }

    bool IsOverlay() const { return Engine && Engine->Z() >= kOverlayLayer; }

protected:
    TKelObjectDataScreen(std::string name, TObjectKind kind, TObjectCategory category,
                         std::unique_ptr<IKelScreenObject> engine)
        : TKelObjectDataCustom(std::move(name), kind, category), Engine(std::move(engine)) {}
    // The point in the object's coordinates: the camera offset added unless it is an overlay.
    int32_t ShiftX(int32_t x) const;
    int32_t ShiftY(int32_t y) const;

    std::unique_ptr<IKelScreenObject> Engine;
};

class TKelObjectDataImage : public TKelObjectDataScreen {
public:
    TKelObjectDataImage(std::string name, std::unique_ptr<IKelScreenObject> image)
        : TKelObjectDataScreen(std::move(name), TObjectKind::Image, 1, std::move(image)) {}

protected:
    TKelObjectDataImage(std::string name, TObjectKind kind, TObjectCategory category,
                        std::unique_ptr<IKelScreenObject> image)
        : TKelObjectDataScreen(std::move(name), kind, category, std::move(image)) {}
};

class TKelObjectDataSysImage final : public TKelObjectDataImage {
public:
    TKelObjectDataSysImage(std::string name, std::unique_ptr<IKelScreenObject> image)
        : TKelObjectDataImage(std::move(name), TObjectKind::SysImage, 7, std::move(image)) {}
};

class TKelObjectDataMessage final : public TKelObjectDataScreen {
public:
    TKelObjectDataMessage(std::string name, std::unique_ptr<IKelMessageObject> window)
        : TKelObjectDataScreen(std::move(name), TObjectKind::Message, 2, std::move(window)) {}
    // Advances the window wherever the point is, and never reports a hit.
    bool HitTest(uint32_t mask, int32_t x, int32_t y) override;
    IKelMessageObject* Window() const { return static_cast<IKelMessageObject*>(Engine.get()); }
};

class TKelObjectDataButton : public TKelObjectDataScreen {
public:
    TKelObjectDataButton(std::string name, std::unique_ptr<IKelButtonObject> button)
        : TKelObjectDataScreen(std::move(name), TObjectKind::Button, 3, std::move(button)) {}
    // The button's click; true when it took it.
    bool HitTest(uint32_t mask, int32_t x, int32_t y) override;
    IKelButtonObject* Button() const { return static_cast<IKelButtonObject*>(Engine.get()); }

protected:
    TKelObjectDataButton(std::string name, TObjectKind kind, TObjectCategory category,
                         std::unique_ptr<IKelButtonObject> button)
        : TKelObjectDataScreen(std::move(name), kind, category, std::move(button)) {}
};

class TKelObjectDataSysButton final : public TKelObjectDataButton {
public:
    TKelObjectDataSysButton(std::string name, std::unique_ptr<IKelButtonObject> button)
        : TKelObjectDataButton(std::move(name), TObjectKind::SysButton, 8, std::move(button)) {}
};

// A scroll bar (owned) and the input device (linked), whose left button drags the thumb.
class TKelObjectDataScrollBar final : public TKelObjectDataCustom {
public:
    TKelObjectDataScrollBar(std::string name, TInput* input, std::unique_ptr<IKelScrollBarObject> bar)
        : TKelObjectDataCustom(std::move(name), TObjectKind::ScrollBar, 3), Input(input), Bar(std::move(bar)) {}

    void Reset() override;
    // "xyza(%d,%d,%d,%d)file(%s,%s)show(%d)".
    std::string GetInfo() override;
    bool SaveToStream(TStream& s) override;
    bool LoadFromStream(TStream& s) override;
    void Update(uint32_t mask, int32_t elapsed) override;
    void Draw(TARGB8888CellDraw* target, uint32_t mask, bool overlay) override;
    void MouseMove(uint32_t mask, int32_t x, int32_t y) override;
    void MouseDown(uint32_t mask, int32_t x, int32_t y) override;
    void RestoreState() override;
    void CaptureState() override;
    bool SwapEngineObject(TKelObjectDataCustom& other) override;

    IKelScrollBarObject* ScrollBar() const { return Bar.get(); }
    bool IsOverlay() const { return Bar && Bar->Z() >= kOverlayLayer; }

    // The key code of the left button held.
    static constexpr int32_t kLeftButtonHeld = 0x40001;
    static constexpr uint32_t kLeftButtonShift = 8;

    TInput* Input = nullptr;

private:
    std::unique_ptr<IKelScrollBarObject> Bar;
};

// A text file read through the packs (owned).
class TKelObjectDataFile final : public TKelObjectDataCustom {
public:
    TKelObjectDataFile(std::string name, const TPackSet& packs)
        : TKelObjectDataCustom(std::move(name), TObjectKind::File, 0), File(std::make_unique<TFileIOLib>(packs)) {}
    void Reset() override;           // the file is cleared
    std::string GetInfo() override;  // "file(%s)" with the loaded file's name
    // The file's name; loading reads that file again.
    bool SaveToStream(TStream& s) override;
    bool LoadFromStream(TStream& s) override;
    bool SwapEngineObject(TKelObjectDataCustom& other) override;
    TFileIOLib& TextFile() const { return *File; }

private:
    std::unique_ptr<TFileIOLib> File;
};

class TKelObjectDataStringList final : public TKelObjectDataCustom {
public:
    explicit TKelObjectDataStringList(std::string name)
        : TKelObjectDataCustom(std::move(name), TObjectKind::StringList, 0), List(std::make_unique<TStringList>()) {}
    void Reset() override;
    std::string GetInfo() override;  // "Lines(%d)"
    // A 32-bit count, then each line as a stream string.
    bool SaveToStream(TStream& s) override;
    // Clears the list first; false, with the lines read so far, when the stream ends early.
    bool LoadFromStream(TStream& s) override;
    bool SwapEngineObject(TKelObjectDataCustom& other) override;
    TStringList& Lines() { return *List; }

private:
    std::unique_ptr<TStringList> List;
};

// An instance of a plug-in object type (owned).
class TKelObjectDataDLLObject final : public TKelObjectDataCustom {
public:
    TKelObjectDataDLLObject(std::string name, std::string typeName, std::unique_ptr<IKelPluginInstance> instance)
        : TKelObjectDataCustom(std::move(name), TObjectKind::DLLObject, 0),
          TypeName(std::move(typeName)),
          Instance(std::move(instance)) {}
    void Reset() override;
    std::string GetInfo() override;  // "ObjectName(%s)" with the type name
    bool SaveToStream(TStream& s) override;
    bool LoadFromStream(TStream& s) override;
    bool SwapEngineObject(TKelObjectDataCustom& other) override;
    std::string PluginTypeName() const override { return TypeName; }
    IKelPluginInstance* Plugin() const { return Instance.get(); }

private:
    std::string TypeName;
    std::unique_ptr<IKelPluginInstance> Instance;
};

namespace uKelObjectKinds {

// The script object of a kind as the interpreter makes it when no factory is registered for the
// kind's keyword: text files and string lists with their own engine object, the kinds of other
// subsystems with none; text files read through the pack set. nullptr for kind 25, 34 and any
// number outside the table.
std::unique_ptr<TKelObjectDataCustom> CreateObject(TObjectKind kind, const std::string& name, const TPackSet& packs);

}  // namespace uKelObjectKinds
