#include "script/uKelObjectManager.h"

#include "foundation/uMisc.h"

TKelObjectDataCustom::TKelObjectDataCustom(std::string name) : NameText(std::move(name)) {
    Hash = uMisc::WeightedSum(ClassLib::LowerAscii(NameText));
}

TKelObjectDataCustom::TKelObjectDataCustom(std::string name, TObjectKind kind, TObjectCategory category)
    : TKelObjectDataCustom(std::move(name)) {
    KindValue = kind;
    CategoryValue = category;
}

TKelObjectManager::TKelObjectManager() = default;
TKelObjectManager::~TKelObjectManager() { Clear(); }

bool TKelObjectManager::Add(std::unique_ptr<TKelObjectDataCustom>& object) {
    if (!object || IndexOf(object->Name()) >= 0) return false;
    Objects.push_back(std::move(object));
    return true;
}

bool TKelObjectManager::Remove(std::string_view name) {
    int32_t i = IndexOf(name);
    if (i < 0) return false;
    // Taken out of the list before it is freed, so that its destructor never sees itself listed.
    std::unique_ptr<TKelObjectDataCustom> gone = std::move(Objects[static_cast<size_t>(i)]);
    Objects.erase(Objects.begin() + i);
    return true;
}

TKelObjectDataCustom* TKelObjectManager::Find(std::string_view name) const {
    int32_t i = IndexOf(name);
    return i < 0 ? nullptr : Objects[static_cast<size_t>(i)].get();
}

int32_t TKelObjectManager::IndexOf(std::string_view name) const {
    if (name.empty()) return -1;
    std::string low = ClassLib::LowerAscii(name);
    int32_t hash = uMisc::WeightedSum(low);
    for (size_t i = 0; i < Objects.size(); ++i)
        if (Objects[i]->NameHash() == hash && ClassLib::SameTextAscii(Objects[i]->Name(), low))
            return static_cast<int32_t>(i);
    return -1;
}

void TKelObjectManager::Clear() {
    std::vector<std::unique_ptr<TKelObjectDataCustom>> gone;
    gone.swap(Objects);
    while (!gone.empty()) gone.pop_back();
    WeightAlong = 1;
    WeightAcross = 10;
}

TKelObjectDataCustom* TKelObjectManager::Item(int32_t i) const {
    return i >= 0 && i < Count() ? Objects[static_cast<size_t>(i)].get() : nullptr;
}

void TKelObjectManager::Draw(uint32_t mask, TCategorySet categories, bool overlay) {
    for (size_t i = 0; i < Objects.size(); ++i)
        if (categories & (1u << Objects[i]->Category())) Objects[i]->Draw(mask, overlay);
}

void TKelObjectManager::Update(uint32_t mask, int32_t elapsed, TCategorySet categories) {
    for (size_t i = 0; i < Objects.size(); ++i) {
        TKelObjectDataCustom* o = Objects[i].get();
        if (!(categories & (1u << o->Category()))) continue;
        o->CameraX = CameraX;
        o->CameraY = CameraY;
        o->Update(mask, elapsed);
    }
}

void TKelObjectManager::SetCursorWeights(int32_t along, int32_t across) {
    WeightAlong = along < 1 ? 1 : along;
    WeightAcross = across < 1 ? 10 : across;
}
