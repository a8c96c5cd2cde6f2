// The layout file of a system screen drawn in the game window (menu, save and load): key=value
// lines read as written, values compared lower-cased, lists split at commas, numbers in decimal or
// with a "$" hex prefix where the screen allows one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ClassLib.h"

class TImageLib;

class TScreenLayout {
public:
    explicit TScreenLayout(const TStringList& lines) : Lines(lines) {}
    // The value as written.
    std::string Text(const std::string& key) const { return Lines.Values(key); }
    std::string Value(const std::string& key) const;
    // The comma-separated items of a value, at least 8 of them.
    std::vector<std::string> List(const std::string& key) const;
    // A decimal number; anything else, a "$" number among it, is 0.
    static int32_t Number(const std::string& text);
    int32_t Number(const std::string& key, int index) const { return Number(List(key)[static_cast<size_t>(index)]); }
    int32_t Int(const std::string& key) const { return Number(Value(key)); }
    // A colour, also with the "$" prefix; 0 when it does not read.
    uint32_t Color(const std::string& key) const;
    // A count of items: a layout describes at most one item a line, so a larger count adds only
    // items that would show nothing; they are not made.
    int32_t Count(const std::string& key) const;

    // "Family[i].Field".
    static std::string Key(const char* family, size_t i, const char* field);

    // Loads item i of a family ("btn", "img") from its "Filename" pictures in the screen's folder
    // and places it at its "Position" with its "HitSize".
    void Place(TImageLib& item, const std::string& folder, const char* family, size_t i) const;

private:
    const TStringList& Lines;
};
