// The text file behind the script's "file" object: the lines of a file read through the packs.
//
// Stream form: the file name as a stream string; loading reads the file again.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ClassLib.h"

class TPackSet;  // foundation/PackLib.h

class TFileIOLib {
public:
    // Files are found and read through the pack set.
    explicit TFileIOLib(const TPackSet& packs);
    TFileIOLib(const TFileIOLib&) = delete;
    TFileIOLib& operator=(const TFileIOLib&) = delete;

    // No lines, no file name.
    void Clear();
    // Resolves the name through the pack set, reads it (packs first) and splits it into lines at
    // CR LF, LF or CR. On success the file name becomes the resolved name. False for a name that
    // does not resolve or cannot be read; the lines then stay as they were.
    bool LoadFile(std::string_view name);
    // The value of the first line "key=value" (the key compared without regard to ASCII case);
    // empty when there is none.
    std::string GetValue(std::string_view key) const;
    // The line at the index; empty for an index outside the lines.
    std::string GetLine(int32_t index) const;

    bool SaveToStream(TStream* stream) const;
    // Reads the file name and, when it is not empty, loads that file again. False for a nil
    // stream or a name that ends early (nothing changes then); a file that can no longer be read
    // leaves the object empty.
    bool LoadFromStream(TStream* stream);

    const TStringList& Lines() const { return *LineList; }
    const std::string& FileName() const { return Name; }

private:
    const TPackSet& Packs;
    std::unique_ptr<TStringList> LineList;
    std::string Name;
};
