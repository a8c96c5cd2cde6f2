// The reader of one pack file. A pack holds the stored bytes of its entries, an index of scrambled
// names and 28-byte records, and a trailer; version 2.0 adds a signature and an embedded name table.
//
// Version 1.0 trailer, the last 28 bytes: version text "filepackver1.0" (16 bytes, NUL-padded,
// compared lower-cased), entry count, index offset, reserved.
// Version 2.0 trailer, the last 1088 bytes: the signature (32 bytes, buffer-scrambled with size 32
// and key 0), the size T of the embedded name table, 1024 reserved bytes, then the 28 bytes of the
// 1.0 layout with "filepackver2.0". The name table (a hash-table file of 256 buckets mapping each
// entry name to its 16-bit entry number) takes the T bytes before the trailer.
// Index, at the index offset: for each entry its name (a stream string, string-scrambled with the
// key 0xE5) and its record: offset (8, signed), stored size, reserved (the expanded size),
// compressed flag, scrambled flag, Checksum64 of the stored bytes.
// Entry names are the normalised lower-case paths under which the engine requests the files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ClassLib.h"

class THashTable;

struct TFilePackRecord {
    static constexpr int kSize = 28;
    int64_t Offset = 0;
    uint32_t StoredSize = 0;
    uint32_t Reserved = 0;
    uint32_t Compressed = 0;
    uint32_t Scrambled = 0;
    uint32_t Checksum = 0;
};

class TFilePack {
public:
    using TErrorProc = std::function<void(const std::string& entryName)>;

    static constexpr char kVersion10[] = "filepackver1.0";
    static constexpr char kVersion20[] = "filepackver2.0";
    static constexpr char kSignature[] = "t3mw9qzp,k2vx7rnd4hc6yb1fj8gs5le";
    static constexpr int kTrailer10Size = 28;
    static constexpr int kTrailer20Size = 1088;
    static constexpr uint32_t kNameKey = 0xE5;
    static constexpr int kNameTableBuckets = 256;
    // Entries of this size and more are never verified.
    static constexpr uint32_t kVerifyLimit = 0x1000000;

    // The file name is an engine path below the root.
    TFilePack(const TFileRoot& root, const std::string& fileName, bool keepOpen);
    ~TFilePack();
    TFilePack(const TFilePack&) = delete;
    TFilePack& operator=(const TFilePack&) = delete;

    // Reads the trailer and the index. False, with the invalid flag set, for an unknown trailer or
    // a wrong signature; false as well for a file that cannot be opened or read and for an index
    // that does not fit between its offset and the name table or trailer. Error() says why.
    // An embedded name table that does not load is left empty (look-ups search the index), and a
    // record whose bytes lie outside the file fails only when that entry is read.
    bool Open(const std::string& fileName);
    // The lower-cased name equals an entry name exactly.
    bool Contains(std::string_view name) const;
    int32_t IndexOf(std::string_view lowerName) const;  // linear search, -1 when absent
    // The entry's bytes, verified (while Verify is set), unscrambled and expanded; nullptr for a
    // number outside the entries, a record outside the file, a checksum mismatch, a read error or
    // a refused expansion.
    std::unique_ptr<TMemoryStream> ReadByIndex(int64_t n);
    // Through the embedded name table (a number that names another entry counts as absent), else
    // by linear search.
    std::unique_ptr<TMemoryStream> ReadByName(std::string_view name);

    static void Unscramble(TMemoryStream& s);
    static std::unique_ptr<TMemoryStream> Expand(std::unique_ptr<TMemoryStream>& s);

    uint32_t Count() const { return CountValue; }
    const std::string& EntryName(uint32_t i) const { return Names[i]; }
    const TFilePackRecord& Record(uint32_t i) const { return Records[i]; }
    bool Invalid() const { return InvalidFlag; }
    bool Opened() const { return OpenedFlag; }  // the last Open succeeded
    bool IsVersion20() const { return NameTable != nullptr; }
    THashTable* EmbeddedNameTable() const { return NameTable.get(); }
    const std::string& FileName() const { return FileNameValue; }
    // Why the last Open failed (with the offset concerned), or empty.
    const std::string& Error() const { return FailureText; }

    TErrorProc ErrorProc;  // called with the entry name on a checksum mismatch
    bool Verify = false;

private:
    bool ReadTrailer10(const uint8_t* trailer);
    bool ReadTrailer20();
    bool ReadIndex(int64_t indexEnd);
    bool OpenFile();
    void CloseUnlessKept();
    bool Fail(std::string why);  // keeps the reason, returns false

    std::unique_ptr<THashTable> NameTable;
    std::unique_ptr<TFileStream> File;
    std::vector<TFilePackRecord> Records;
    std::vector<std::string> Names;
    uint32_t CountValue = 0;
    uint32_t IndexOffset = 0;
    uint32_t ThirdValue = 0;
    bool KeepOpen = false;
    const TFileRoot& Root;
    std::string FileNameValue;
    int64_t BaseOffset = 0;
    int64_t EndOffset = 0;
    bool InvalidFlag = false;
    bool OpenedFlag = false;
    uint32_t SignatureKey = 0;
    std::string FailureText;
};
