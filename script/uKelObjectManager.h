// Script objects: the named objects of a script, each with a kind that selects the handler of
// its words and a category that the manager's broadcasts filter on. The kind classes are in
// uKelObjectKinds; the engine objects they wrap are reached through KelObjectSeams.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/uStringCache.h"
#include "platform/ClassLib.h"
#include "script/KelObjectSeams.h"

class IScriptSound;
class TKelLogData;

using TObjectCategory = uint8_t;

class TKelObjectDataCustom {
public:
    explicit TKelObjectDataCustom(std::string name);
    TKelObjectDataCustom(std::string name, TObjectKind kind, TObjectCategory category);
    virtual ~TKelObjectDataCustom() = default;
    TKelObjectDataCustom(const TKelObjectDataCustom&) = delete;
    TKelObjectDataCustom& operator=(const TKelObjectDataCustom&) = delete;

    virtual void Reset() { CameraX = CameraY = 0; }
    virtual std::string GetInfo() { return {}; }
    virtual bool SaveToStream(TStream&) { return true; }
    virtual bool LoadFromStream(TStream&) { return true; }
    virtual void Update(uint32_t /*mask*/, int32_t /*elapsed*/) {}
    virtual void Draw(TARGB8888CellDraw* /*target*/, uint32_t /*mask*/, bool /*overlay*/) {}
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
    // The screen object this object wraps, when it wraps one; key navigation reads its hot spot.
    virtual IKelScreenObject* ScreenObject() const { return nullptr; }

    const std::string& Name() const { return NameText; }
    TObjectKind Kind() const { return KindValue; }
    TObjectCategory Category() const { return CategoryValue; }
    int32_t NameHash() const { return Hash; }

    int32_t CameraX = 0;
    int32_t CameraY = 0;

protected:
    std::string NameText;
    TObjectKind KindValue = TObjectKind::None;
    TObjectCategory CategoryValue = 0;
    int32_t Hash = 0;
};

// A set of categories 0..15.
using TCategorySet = uint16_t;
constexpr TCategorySet CategoryRange(int from, int to) {
    TCategorySet s = 0;
    for (int c = from; c <= to; ++c)
        s = static_cast<TCategorySet>(s | (1u << c));
    return s;
}
constexpr TCategorySet Categories(std::initializer_list<int> list) {
    TCategorySet s = 0;
    for (int c : list)
        s = static_cast<TCategorySet>(s | (1u << c));
    return s;
}

struct TKelPoint {
    int32_t X = 0;
    int32_t Y = 0;
    bool operator==(const TKelPoint&) const = default;
};

class TKelObjectManager {
public:
    // The sound facade and the back-log store are linked; the factories hand them to the objects.
    explicit TKelObjectManager(IScriptSound* sound = nullptr, TKelLogData* backLog = nullptr);
    ~TKelObjectManager();
    TKelObjectManager(const TKelObjectManager&) = delete;
    TKelObjectManager& operator=(const TKelObjectManager&) = delete;

    // False for nullptr or a name that exists already (the object is then handed back untouched
    // in the argument, so the caller frees it).
    bool Add(std::unique_ptr<TKelObjectDataCustom>& object);
    bool Remove(std::string_view name);
    TKelObjectDataCustom* Find(std::string_view name) const;
    int32_t IndexOf(std::string_view name) const;
    void Clear();
    int32_t Count() const { return static_cast<int32_t>(Objects.size()); }
    TKelObjectDataCustom* Item(int32_t i) const;
    // The kind of object i, read without reaching the object; None out of range.
    TObjectKind KindAt(int32_t i) const {
        return i >= 0 && i < Count() ? Listed[static_cast<size_t>(i)].Kind : TObjectKind::None;
    }

    // Broadcasts over the objects of the given categories, in creation order.
    void Draw(TARGB8888CellDraw* target, uint32_t mask, TCategorySet categories, bool overlay);
    void Update(uint32_t mask, int32_t elapsed, TCategorySet categories);
    void MouseMove(uint32_t mask, int32_t x, int32_t y, TCategorySet categories);
    void MouseDown(uint32_t mask, int32_t x, int32_t y, TCategorySet categories);
    // Every object of the categories is asked; the last one that answered true, or nullptr.
    TKelObjectDataCustom* HitTest(uint32_t mask, int32_t x, int32_t y, TCategorySet categories);
    void RestoreState();

    void SetCamera(int32_t x, int32_t y) {
        CameraX = x;
        CameraY = y;
    }
    void SetCursorWeights(int32_t along, int32_t across);
    // Key navigation: the hot spot that a step from the pointer in the direction (h, v) reaches,
    // or the pointer itself. width and height are the screen size.
    TKelPoint MoveCursor(int32_t pointerX, int32_t pointerY, uint32_t mask, int32_t width, int32_t height,
                         int32_t vStep, int32_t hStep) const;

    int32_t CameraX = 0;
    int32_t CameraY = 0;
    int32_t WeightAlong = 1;
    int32_t WeightAcross = 10;
    IScriptSound* Sound = nullptr;
    TKelLogData* BackLog = nullptr;

private:
    static constexpr int32_t kCacheSlots = 16;
    // Recent look-ups: the cache maps the lower-cased name to its slot, the slot to the object.
    mutable TStringCache Cache{kCacheSlots};
    mutable std::array<TKelObjectDataCustom*, kCacheSlots> CacheObjects{};
    std::vector<std::unique_ptr<TKelObjectDataCustom>> Objects;
    // The kind and category of each object, in the objects' order: a broadcast or a search by kind
    // passes over the objects it does not concern without touching them, which on a still frame
    // is most of them.
    struct TListed {
        TObjectKind Kind;
        TObjectCategory Category;
    };
    std::vector<TListed> Listed;
};
