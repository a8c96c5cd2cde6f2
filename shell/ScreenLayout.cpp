#include "shell/ScreenLayout.h"

#include <algorithm>

#include "foundation/uMisc.h"
#include "objects/ImageLib.h"

std::string TScreenLayout::Value(const std::string& key) const {
    return ClassLib::LowerAscii(Lines.Values(key));
}

std::vector<std::string> TScreenLayout::List(const std::string& key) const {
    return uMisc::SplitString(",", Value(key), true, true, 8)->Items;
}

int32_t TScreenLayout::Number(const std::string& text) {
    int64_t v = 0;
    if (text.find('$') != std::string::npos || !uMisc::TryStrToInt(text, 32, uMisc::THexPrefix::Dollar, v)) return 0;
    return static_cast<int32_t>(v);
}

uint32_t TScreenLayout::Color(const std::string& key) const {
    int64_t v = 0;
    return uMisc::TryStrToInt(Value(key), 32, uMisc::THexPrefix::Dollar, v) ? static_cast<uint32_t>(v) : 0;
}

int32_t TScreenLayout::Count(const std::string& key) const {
    return std::clamp(Int(key), 0, Lines.Count());
}

std::string TScreenLayout::Key(const char* family, size_t i, const char* field) {
    return std::string(family) + "[" + std::to_string(i) + "]." + field;
}

void TScreenLayout::Place(TImageLib& item, const std::string& folder, const char* family, size_t i) const {
    const std::vector<std::string> files = List(Key(family, i, "Filename"));
    auto file = [&](size_t k) { return files[k].empty() ? std::string() : folder + files[k]; };
    item.LoadImages(file(0), file(1), "", "", "", false, false);
    const std::string position = Key(family, i, "Position"), hit = Key(family, i, "HitSize");
    item.MoveTo(Number(position, 0), Number(position, 1), Number(position, 2), 0);
    item.SetHitRect(Number(hit, 0), Number(hit, 1), Number(hit, 2), Number(hit, 3));
}
