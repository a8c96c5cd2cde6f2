// A pack holds at most 65535 entries: its name tables map names to 16-bit numbers.
// Writes pack files and their ".hash" name tables: the format the engine reads (see
// foundation/uFilePack.h). Used by the kelpack tool and by tests that build fixture packs in code.
// Header-only, so that both can include it without another library.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Checksum.h"
#include "foundation/Compression.h"
#include "foundation/PackLib.h"
#include "foundation/Scramblers.h"
#include "foundation/ShiftJis.h"
#include "foundation/uFilePack.h"
#include "foundation/uHashTable.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace PackWriter {

enum class TVersion { V10, V20 };

struct TEntry {
    std::string Name;   // as requested by the engine; stored normalised to "\" and lower-cased
    std::string Bytes;  // the file's contents
    bool Compress = true;
    bool Scramble = true;
    // Compression is kept only when it makes the entry smaller: pictures and sounds that are
    // compressed already then cost the engine no expansion.
    bool CompressOnlyWhenSmaller = false;
};

// The stored form of one entry and its index record.
struct TStored {
    std::string Name;
    std::string Bytes;
    TFilePackRecord Record;
};

inline void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>(v >> (8 * i)));
}

// The entry name as stored: backslashes, lower-cased ASCII.
inline std::string StoredName(const std::string& name) {
    std::string n = name;
    for (size_t i = 0; i < n.size(); ++i) {
        if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(n[i])))
            ++i;
        else if (n[i] == '/')
            n[i] = '\\';
    }
    return ClassLib::LowerAscii(n);
}

// The stored name of a host file: the prefix and the file's path relative to the packed folder
// (both UTF-8, "/" or "\" between folders) in CP932, "\"-separated and lower-cased. False, with
// the reason, when the name has no exact CP932 form (a lenient conversion would make "?" of it,
// and different files would share one name) or is not the name the engine asks for (it would
// normalise the name to another one before looking it up).
inline bool HostEntryName(std::string_view prefixUtf8, std::string_view relUtf8, std::string& stored,
                          std::string& reason) {
    std::string sjis;
    if (!Encoding::Utf8ToSjisStrict(std::string(prefixUtf8) + std::string(relUtf8), sjis)) {
        reason = "the name has no Shift-JIS (CP932) form";
        return false;
    }
    std::string name = StoredName(sjis);
    const std::string asked = ClassLib::LowerAscii(PackLib::NormalizePath(name));
    if (asked != name) {
        reason = "the engine would ask for this name as " + Encoding::PrintableUtf8(Encoding::SjisToUtf8(asked));
        return false;
    }
    stored = std::move(name);
    return true;
}

// Compression first, then scrambling; the checksum covers the bytes as they lie in the file. An
// entry whose size exceeds what the expander accepts is stored uncompressed.
inline TStored Store(const TEntry& e) {
    TStored s;
    s.Name = StoredName(e.Name);
    s.Bytes = e.Bytes;
    bool compress = e.Compress && e.Bytes.size() <= uMisc::kBPEMaxSize;
    if (compress) {
        std::string packed = uMisc::BPECompressBytes(e.Bytes.data(), e.Bytes.size());
        if (e.CompressOnlyWhenSmaller && packed.size() >= e.Bytes.size())
            compress = false;
        else
            s.Bytes = std::move(packed);
    }
    if (e.Scramble) uMisc::ScrambleBuffer(s.Bytes.data(), s.Bytes.size(), false, 0);
    s.Record.StoredSize = static_cast<uint32_t>(s.Bytes.size());
    s.Record.Reserved = static_cast<uint32_t>(e.Bytes.size());
    s.Record.Compressed = compress ? 1 : 0;
    s.Record.Scrambled = e.Scramble ? 1 : 0;
    s.Record.Checksum = uMisc::Checksum64(s.Bytes.data(), s.Bytes.size());
    return s;
}

// A name table mapping each entry name to its 16-bit entry number, as a hash-table file.
inline std::string NameTable(const std::vector<std::string>& names, int32_t buckets) {
    THashTable table(buckets);
    for (size_t i = 0; i < names.size(); ++i) {
        const auto number = static_cast<uint16_t>(i);
        table.Add(names[i], &number, 2);
    }
    TMemoryStream s;
    table.SaveToStream(&s);
    return s.AsString();
}

inline std::string Pack(const std::vector<TStored>& stored, TVersion version) {
    std::string out;
    std::vector<int64_t> offsets;
    for (const TStored& s : stored) {
        offsets.push_back(static_cast<int64_t>(out.size()));
        out += s.Bytes;
    }
    const auto indexOffset = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const TStored& s = stored[i];
        const std::string scrambled = uMisc::ScrambleString(s.Name, false, TFilePack::kNameKey);
        const auto len = static_cast<uint16_t>(scrambled.size());
        out.push_back(static_cast<char>(len & 0xFF));
        out.push_back(static_cast<char>(len >> 8));
        out.append(scrambled, 0, len);
        const auto offset = static_cast<uint64_t>(offsets[i]);
        Put32(out, static_cast<uint32_t>(offset));
        Put32(out, static_cast<uint32_t>(offset >> 32));
        Put32(out, s.Record.StoredSize);
        Put32(out, s.Record.Reserved);
        Put32(out, s.Record.Compressed);
        Put32(out, s.Record.Scrambled);
        Put32(out, s.Record.Checksum);
    }
    std::string versionText(16, '\0');
    if (version == TVersion::V20) {
        std::vector<std::string> names;
        for (const TStored& st : stored)
            names.push_back(st.Name);
        const std::string table = NameTable(names, TFilePack::kNameTableBuckets);
        out += table;
        std::string signature(TFilePack::kSignature, 32);
        uMisc::ScrambleBuffer(signature.data(), 32, false, 0);
        out += signature;
        Put32(out, static_cast<uint32_t>(table.size()));
        out.append(1024, '\0');
        std::memcpy(versionText.data(), TFilePack::kVersion20, 14);
    } else {
        std::memcpy(versionText.data(), TFilePack::kVersion10, 14);
    }
    out += versionText;
    Put32(out, static_cast<uint32_t>(stored.size()));
    Put32(out, indexOffset);
    Put32(out, 0);
    return out;
}

inline std::vector<TStored> StoreAll(const std::vector<TEntry>& entries) {
    std::vector<TStored> stored;
    stored.reserve(entries.size());
    for (const TEntry& e : entries)
        stored.push_back(Store(e));
    return stored;
}

inline std::string Pack(const std::vector<TEntry>& entries, TVersion version) {
    return Pack(StoreAll(entries), version);
}

// The ".hash" file that goes beside a pack of these entries (512 buckets).
inline std::string HashFile(const std::vector<TEntry>& entries) {
    std::vector<std::string> names;
    for (const TEntry& e : entries)
        names.push_back(StoredName(e.Name));
    return NameTable(names, 512);
}

}  // namespace PackWriter
