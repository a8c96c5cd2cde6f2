#include "script/uKelObjectManager.h"

#include <algorithm>
#include <cstdlib>

#include "foundation/uMisc.h"

TKelObjectDataCustom::TKelObjectDataCustom(std::string name) : NameText(std::move(name)) {
    Hash = uMisc::WeightedSum(ClassLib::LowerAscii(NameText));
}

TKelObjectDataCustom::TKelObjectDataCustom(std::string name, TObjectKind kind, TObjectCategory category)
    : TKelObjectDataCustom(std::move(name)) {
    KindValue = kind;
    CategoryValue = category;
}

// ---- manager ----

TKelObjectManager::TKelObjectManager(IScriptSound* sound, TKelLogData* backLog) : Sound(sound), BackLog(backLog) {}

TKelObjectManager::~TKelObjectManager() {
    Clear();
}

bool TKelObjectManager::Add(std::unique_ptr<TKelObjectDataCustom>& object) {
    if (!object || IndexOf(object->Name()) >= 0) return false;
    Listed.push_back({object->Kind(), object->Category()});
    try {
        Objects.push_back(std::move(object));
    } catch (...) {
        Listed.pop_back();
        throw;
    }
    return true;
}

bool TKelObjectManager::Remove(std::string_view name) {
    int32_t i = IndexOf(name);
    if (i < 0) return false;
    Cache.Remove(ClassLib::LowerAscii(name));
    // Taken out of the list before it is freed, so that its destructor never sees itself listed.
    std::unique_ptr<TKelObjectDataCustom> gone = std::move(Objects[static_cast<size_t>(i)]);
    Objects.erase(Objects.begin() + i);
    Listed.erase(Listed.begin() + i);
    return true;
}

TKelObjectDataCustom* TKelObjectManager::Find(std::string_view name) const {
    if (name.empty()) return nullptr;
    int32_t slot = Cache.IndexOf(ClassLib::LowerAscii(name));
    if (slot >= 0) return CacheObjects[static_cast<size_t>(slot)];
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : Objects[static_cast<size_t>(i)].get();
}

int32_t TKelObjectManager::IndexOf(std::string_view name) const {
    if (name.empty()) return -1;
    std::string low = ClassLib::LowerAscii(name);
    int32_t hash = uMisc::WeightedSum(low);
    for (size_t i = 0; i < Objects.size(); ++i) {
        TKelObjectDataCustom* o = Objects[i].get();
        if (o->NameHash() != hash || !ClassLib::SameTextAscii(o->Name(), low)) continue;
        Cache.Add(low, 0);
        CacheObjects[static_cast<size_t>(Cache.IndexOf(low))] = o;
        return static_cast<int32_t>(i);
    }
    return -1;
}

void TKelObjectManager::Clear() {
    Cache.Clear();
    CacheObjects.fill(nullptr);
    std::vector<std::unique_ptr<TKelObjectDataCustom>> gone;
    gone.swap(Objects);
    Listed.clear();
    while (!gone.empty())
        gone.pop_back();
    WeightAlong = 1;
    WeightAcross = 10;
}

TKelObjectDataCustom* TKelObjectManager::Item(int32_t i) const {
    return i >= 0 && i < Count() ? Objects[static_cast<size_t>(i)].get() : nullptr;
}

// The broadcasts walk by index and look at the list's size at every step: an object's event may
// reach the script and change the list.
namespace {
bool InSet(TCategorySet categories, TObjectCategory category) {
    return category < 16 && (categories & (1u << category)) != 0;
}
}  // namespace

void TKelObjectManager::Draw(TARGB8888CellDraw* target, uint32_t mask, TCategorySet categories, bool overlay) {
    for (size_t i = 0; i < Objects.size(); ++i)
        if (InSet(categories, Listed[i].Category)) Objects[i]->Draw(target, mask, overlay);
}

void TKelObjectManager::Update(uint32_t mask, int32_t elapsed, TCategorySet categories) {
    for (size_t i = 0; i < Objects.size(); ++i) {
        if (!InSet(categories, Listed[i].Category)) continue;
        TKelObjectDataCustom* o = Objects[i].get();
        o->CameraX = CameraX;
        o->CameraY = CameraY;
        o->Update(mask, elapsed);
    }
}

void TKelObjectManager::MouseMove(uint32_t mask, int32_t x, int32_t y, TCategorySet categories) {
    for (size_t i = 0; i < Objects.size(); ++i)
        if (InSet(categories, Listed[i].Category)) Objects[i]->MouseMove(mask, x, y);
}

void TKelObjectManager::MouseDown(uint32_t mask, int32_t x, int32_t y, TCategorySet categories) {
    for (size_t i = 0; i < Objects.size(); ++i)
        if (InSet(categories, Listed[i].Category)) Objects[i]->MouseDown(mask, x, y);
}

TKelObjectDataCustom* TKelObjectManager::HitTest(uint32_t mask, int32_t x, int32_t y, TCategorySet categories) {
    TKelObjectDataCustom* last = nullptr;
    for (size_t i = 0; i < Objects.size(); ++i)
        if (InSet(categories, Listed[i].Category) && Objects[i]->HitTest(mask, x, y)) last = Objects[i].get();
    // A click event may have freed the object that answered.
    for (const auto& o : Objects)
        if (o.get() == last) return last;
    return nullptr;
}

void TKelObjectManager::RestoreState() {
    for (size_t i = 0; i < Objects.size(); ++i)
        Objects[i]->RestoreState();
}

void TKelObjectManager::SetCursorWeights(int32_t along, int32_t across) {
    WeightAlong = along < 1 ? 1 : along;
    WeightAcross = across < 1 ? 10 : across;
}

// ---- key navigation ----

TKelPoint TKelObjectManager::MoveCursor(int32_t pointerX, int32_t pointerY, uint32_t mask, int32_t width,
                                        int32_t height, int32_t vStep, int32_t hStep) const {
    // Hot spots: the click points of the enabled screen objects that take input under the mask.
    // Scroll bars wrap no screen object of their own here and offer none.
    constexpr TCategorySet kNavigable = Categories({1, 2, 3, 7, 8});
    std::vector<TKelPoint> spots;
    for (const auto& o : Objects) {
        if (!InSet(kNavigable, o->Category())) continue;
        IKelScreenObject* screen = o->ScreenObject();
        if (!screen) continue;
        TKelScreenObjectInfo info = screen->Info();
        if ((info.InputMask & mask) == 0 || !info.Enabled || (info.ClickX == 0 && info.ClickY == 0)) continue;
        spots.push_back({static_cast<int32_t>(static_cast<uint32_t>(info.X) + static_cast<uint32_t>(info.ClickX)),
                         static_cast<int32_t>(static_cast<uint32_t>(info.Y) + static_cast<uint32_t>(info.ClickY))});
    }

    // Costs in 64 bits: positions and weights come from scripts and may be far apart.
    const int64_t wx = hStep != 0 ? WeightAlong : WeightAcross;
    const int64_t wy = vStep != 0 ? WeightAlong : WeightAcross;
    const int64_t h = hStep, v = vStep;
    constexpr int64_t kNothing = 0x10000;
    TKelPoint best{pointerX, pointerY};
    int64_t cost = kNothing;
    for (const TKelPoint& s : spots) {
        const int64_t dx = int64_t{s.X} - pointerX, dy = int64_t{s.Y} - pointerY;
        const int64_t adx = std::llabs(dx), ady = std::llabs(dy);
        if (s.X < 0 || s.Y < 0 || s.X > width || s.Y > height) continue;
        if (adx < 4 && ady < 4) continue;
        if (dx * h < 0 || dy * v < 0) continue;
        if (std::llabs(dy * v + dx * h) < 4) continue;
        // On the line of movement a spot counts a quarter of its plain distance.
        if ((h != 0 && ady < 3) || (v != 0 && adx < 3)) {
            const int64_t c = (adx + ady) / 4;
            if (c < cost) {
                cost = c;
                best = s;
            }
        }
        const int64_t c = adx * wx + ady * wy;
        if (c < cost) {
            cost = c;
            best = s;
        }
    }
    if (cost != kNothing) return best;

    // Nothing lies that way: the nearest spot overall, unless it is about where the pointer is.
    const TKelPoint* nearest = nullptr;
    int64_t lowest = 0;
    for (const TKelPoint& s : spots) {
        const int64_t c = std::llabs(int64_t{s.X} - pointerX) * wx + std::llabs(int64_t{s.Y} - pointerY) * wy;
        if (!nearest || c < lowest) {
            nearest = &s;
            lowest = c;
        }
    }
    if (nearest && lowest >= 50) return *nearest;
    return {pointerX, pointerY};
}
