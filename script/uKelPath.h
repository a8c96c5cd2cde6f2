// Lists of unique strings kept in save games, and the list of search folders through which the
// interpreter finds scripts and media.
//
// Stream form (little-endian): u32 count, then each string as a stream string (16-bit length and
// the bytes). The search-folder list appends its lock flag as one byte.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

class TPackSet;  // foundation/PackLib.h

// Strings compared without regard to ASCII case; each is held once.
class TKelStringList {
public:
    TKelStringList();
    virtual ~TKelStringList() = default;
    TKelStringList(const TKelStringList&) = delete;
    TKelStringList& operator=(const TKelStringList&) = delete;

    virtual void Clear();
    // Adds the text unless it is already listed.
    virtual void Add(std::string_view text);
    // Deletes the first entry equal to the text, if any.
    virtual void Remove(std::string_view text);
    virtual bool SaveToStream(TStream* stream);
    // Replaces the list by the stored strings, taken as they are (no uniqueness test). False for a
    // nil stream and for a record that ends early or counts more strings than its bytes can
    // hold; the list is then left as it was.
    virtual bool LoadFromStream(TStream* stream);

    int32_t Count() const { return List->Count(); }
    int32_t IndexOf(std::string_view text) const { return List->IndexOf(text); }
    const std::string& operator[](int32_t i) const { return (*List)[i]; }

protected:
    // Reads the strings of a record without touching the list.
    static bool ReadStrings(TStream* stream, TStringList& out);

    std::unique_ptr<TStringList> List;
};

class TKelPath : public TKelStringList {
public:
    using TFileExistsEvent = std::function<bool(const std::string& name)>;
    using TFileFoundEvent = std::function<void(const std::string& name)>;

    // Removes every folder and clears the lock flag.
    void Clear() override;
    // A folder always ends with a backslash: one is appended when its last character is not one.
    void Add(std::string_view folder) override;
    bool SaveToStream(TStream* stream) override;
    bool LoadFromStream(TStream* stream) override;

    // The name as given when it exists, else the first folder in list order whose folder + name
    // exists; empty when nothing exists or there is no exists event. With notify, a found name is
    // also handed to the found event. True when a name was found.
    bool Resolve(std::string_view name, bool notify, std::string& found) const;

    TFileExistsEvent OnFileExists;
    TFileFoundEvent OnFileFound;
    // Set and read by the script's path words; nothing here tests it.
    uint8_t Lock = 0;
};

namespace uKelPath {
// Whether the last character (Shift-JIS aware: a trail byte may be 0x5C) is a backslash.
bool EndsWithBackslash(std::string_view text);
// The exists event the interpreter gives its search folders: the pack set resolves the name.
bool PackFileExists(const TPackSet& packs, const std::string& name);
}  // namespace uKelPath
