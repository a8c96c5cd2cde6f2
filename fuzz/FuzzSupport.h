// What the fuzz targets share.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <system_error>

#include "foundation/GameContext.h"
#include "foundation/PackLib.h"
#include "platform/ClassLib.h"

namespace FuzzSupport {

// A game context whose error log keeps its lines in memory: it points at a folder that does not
// exist and touches no file, which would otherwise cost more than the work under test.
struct TFuzzContext {
    TFuzzContext() {
        std::error_code ec;
        Log.SetLogFolder((std::filesystem::temp_directory_path(ec) / "kel-fuzz-no-such-folder/x").string());
    }
    TGameContext Context;
    TErrorLog& Log = Context.Log;
    TSystemData& Settings = Context.Config.Config;
    TPackSet& Packs = Context.Packs;
};

// Reads an input front to back; past its end every byte reads 0.
class TByteReader {
public:
    TByteReader(const uint8_t* data, size_t size) : Data(data), Size(size) {}
    bool Done() const { return Pos >= Size; }
    // The next byte without taking it.
    uint8_t Peek() const { return Pos < Size ? Data[Pos] : 0; }
    uint8_t Byte() { return Pos < Size ? Data[Pos++] : 0; }
    // Four bytes, little-endian.
    uint32_t U32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(Byte()) << (8 * i);
        return v;
    }
    // The float whose bit pattern is the next four bytes: NaNs and infinities included.
    float FloatBits() {
        const uint32_t bits = U32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }

private:
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
};

// The pack set answers with the files of the map, by their exact names, and nothing else. The map
// must outlive the hooks; files added later are served as well.
inline void ServeFiles(TPackSet& packs, const std::map<std::string, std::string>& files) {
    packs.FileExistsHook = [&files](const std::string& n) { return files.count(n) > 0; };
    packs.LoadFileHook = [&files](const std::string& n) -> std::unique_ptr<TMemoryStream> {
        auto it = files.find(n);
        return it == files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
    };
}

// Calls statement(line, index) for each line of the input, up to maxStatements lines; a line of
// fewer than two bytes is passed over but counts.
template <class TStatement>
void ForEachStatement(std::string_view bytes, int maxStatements, TStatement&& statement) {
    size_t at = 0;
    for (int index = 0; at < bytes.size() && index < maxStatements; ++index) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (line.size() < 2) continue;
        statement(line, index);
    }
}

// The argument text with each byte from 0xF0 up replaced by the token it stands for.
inline std::string ExpandTokens(std::string_view text, std::span<const char* const, 16> tokens) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0xF0)
            out += tokens[byte - 0xF0];
        else
            out += c;
    }
    return out;
}

// Saves object and loads the bytes into copy, which must consume exactly what was written.
template <class TObject, class TCopy>
void CheckSavedInto(TObject& object, TCopy& copy) {
    TMemoryStream saved;
    if (!object.SaveToStream(&saved)) std::abort();
    saved.SetPosition(0);
    if (!copy.LoadFromStream(&saved) || saved.Remaining() != 0) std::abort();
}

}  // namespace FuzzSupport
