// Script objects: the named objects of a script, each with a kind that selects the handler of
// its words and a category that the manager's broadcasts filter on. Kinds that do work through an
// engine object (images, message windows, buttons, sounds, files, lists, plug-ins) derive from
// TKelObjectDataCustom in the subsystems that build those engine objects.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"

using TObjectKind = uint8_t;
using TObjectCategory = uint8_t;

class TKelObjectDataCustom {
public:
    explicit TKelObjectDataCustom(std::string name);
    TKelObjectDataCustom(std::string name, TObjectKind kind, TObjectCategory category);
    virtual ~TKelObjectDataCustom() = default;

    virtual void Reset() { CameraX = CameraY = 0; }
    virtual std::string GetInfo() { return {}; }
    virtual bool SaveToStream(TStream&) { return true; }
    virtual bool LoadFromStream(TStream&) { return true; }
    virtual void Update(uint32_t /*mask*/, int32_t /*elapsed*/) {}
    virtual void Draw(uint32_t /*mask*/, bool /*overlay*/) {}
    virtual void MouseMove(uint32_t /*mask*/, int32_t /*x*/, int32_t /*y*/) {}
    virtual void MouseDown(uint32_t /*mask*/, int32_t /*x*/, int32_t /*y*/) {}
    virtual bool HitTest(uint32_t /*mask*/, int32_t /*x*/, int32_t /*y*/) { return false; }
    virtual void RestoreState() {}
    virtual void CaptureState() {}
    // Exchanges the engine objects that two script objects of the same kind wrap; false when the
    // kind wraps none.
    virtual bool SwapEngineObject(TKelObjectDataCustom& /*other*/) { return false; }
    // The type name of a plug-in object (kind 34); empty for every other kind.
    virtual std::string PluginTypeName() const { return {}; }

    const std::string& Name() const { return NameText; }
    TObjectKind Kind() const { return KindValue; }
    TObjectCategory Category() const { return CategoryValue; }
    int32_t NameHash() const { return Hash; }

    int32_t CameraX = 0;
    int32_t CameraY = 0;

protected:
    std::string NameText;
    TObjectKind KindValue = 0;
    TObjectCategory CategoryValue = 0;
    int32_t Hash = 0;
};

// A set of categories 0..15.
using TCategorySet = uint16_t;
constexpr TCategorySet CategoryRange(int from, int to) {
    TCategorySet s = 0;
    for (int c = from; c <= to; ++c) s = static_cast<TCategorySet>(s | (1u << c));
    return s;
}

class TKelObjectManager {
public:
    TKelObjectManager();
    ~TKelObjectManager();

    // False for nullptr or a name that exists already (the object is then handed back untouched
    // in the argument, so the caller frees it).
    bool Add(std::unique_ptr<TKelObjectDataCustom>& object);
    bool Remove(std::string_view name);
    TKelObjectDataCustom* Find(std::string_view name) const;
    int32_t IndexOf(std::string_view name) const;
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(Objects.size()); }
    TKelObjectDataCustom* Item(int32_t i) const;

    void Draw(uint32_t mask, TCategorySet categories, bool overlay);
    void Update(uint32_t mask, int32_t elapsed, TCategorySet categories);
    void SetCamera(int32_t x, int32_t y) { CameraX = x; CameraY = y; }
    void SetCursorWeights(int32_t along, int32_t across);

    int32_t CameraX = 0;
    int32_t CameraY = 0;
    int32_t WeightAlong = 1;
    int32_t WeightAcross = 10;

private:
    std::vector<std::unique_ptr<TKelObjectDataCustom>> Objects;
};
