#include "foundation/uFilePack.h"

#include <cstring>

#include "foundation/Checksum.h"
#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/uHashTable.h"
#include "platform/LittleEndian.h"

namespace {
using LittleEndian::Get32;

// The text of a NUL-padded field, lower-cased.
std::string FieldText(const uint8_t* p, size_t size) {
    size_t n = 0;
    while (n < size && p[n])
        ++n;
    return ClassLib::LowerAscii(std::string(reinterpret_cast<const char*>(p), n));
}

// The smallest index entry: an empty name and a record.
constexpr int64_t kMinIndexEntry = 2 + TFilePackRecord::kSize;
}  // namespace

TFilePack::TFilePack(const TFileRoot& root, const std::string& fileName, bool keepOpen)
    : KeepOpen(keepOpen), Root(root) {
    Open(fileName);
}

TFilePack::~TFilePack() = default;

bool TFilePack::OpenFile() {
    if (File) return true;
    try {
        File = std::make_unique<TFileStream>(Root, FileNameValue, TFileMode::OpenRead);
    } catch (const EStreamError& e) {
        FailureText = e.what();
        return false;
    }
    return true;
}

bool TFilePack::Fail(std::string why) {
    FailureText = std::move(why);
    return false;
}

void TFilePack::CloseUnlessKept() {
    if (!KeepOpen) File.reset();
}

bool TFilePack::Open(const std::string& fileName) {
    FileNameValue = fileName;
    NameTable.reset();
    File.reset();
    Records.clear();
    Names.clear();
    CountValue = IndexOffset = ThirdValue = 0;
    InvalidFlag = false;
    FailureText.clear();
    bool ok = false;
    try {
        ok = OpenFile();
        if (ok) {
            BaseOffset = 0;
            EndOffset = File->Size();
            uint8_t trailer[kTrailer10Size];
            if (EndOffset < kTrailer10Size) {
                InvalidFlag = true;
                ok = Fail("file of " + std::to_string(EndOffset) + " bytes is too short for a trailer");
            } else {
                File->Seek(EndOffset - kTrailer10Size, TSeekOrigin::Beginning);
                File->ReadBuffer(trailer, kTrailer10Size);
                const std::string version = FieldText(trailer, 16);
                if (version == kVersion10)
                    ok = ReadTrailer10(trailer);
                else if (version == kVersion20)
                    ok = ReadTrailer20();
                else {
                    InvalidFlag = true;
                    ok = Fail("unknown trailer at offset " + std::to_string(EndOffset - kTrailer10Size));
                }
            }
        }
    } catch (const EStreamError& e) {
        ok = Fail(e.what());
    }
    if (!ok) {
        Records.clear();
        Names.clear();
        CountValue = 0;
        NameTable.reset();
    }
    OpenedFlag = ok;
    CloseUnlessKept();
    return ok;
}

bool TFilePack::ReadTrailer10(const uint8_t* trailer) {
    CountValue = Get32(trailer + 16);
    IndexOffset = Get32(trailer + 20);
    ThirdValue = Get32(trailer + 24);
    return ReadIndex(EndOffset - kTrailer10Size);
}

bool TFilePack::ReadTrailer20() {
    if (EndOffset < kTrailer20Size) {
        InvalidFlag = true;
        return Fail("file of " + std::to_string(EndOffset) + " bytes is too short for a 2.0 trailer");
    }
    std::vector<uint8_t> trailer(kTrailer20Size);
    const int64_t trailerStart = EndOffset - kTrailer20Size;
    File->Seek(trailerStart, TSeekOrigin::Beginning);
    File->ReadBuffer(trailer.data(), kTrailer20Size);
    uMisc::ScrambleBuffer(trailer.data(), 32, true, SignatureKey);
    if (FieldText(trailer.data(), 32) != kSignature) {
        InvalidFlag = true;
        return Fail("wrong signature at offset " + std::to_string(trailerStart));
    }
    const uint32_t tableSize = Get32(trailer.data() + 32);
    CountValue = Get32(trailer.data() + 1076);
    IndexOffset = Get32(trailer.data() + 1080);
    ThirdValue = Get32(trailer.data() + 1084);

    // A name table that does not load leaves an empty one: look-ups then search the index.
    NameTable = std::make_unique<THashTable>(kNameTableBuckets);
    NameTable->ValueSize = 2;
    if (tableSize > trailerStart) return ReadIndex(trailerStart);
    const int64_t tableStart = trailerStart - tableSize;
    TMemoryStream table;
    table.Data.resize(tableSize);
    File->Seek(BaseOffset + tableStart, TSeekOrigin::Beginning);
    File->ReadBuffer(table.Memory(), tableSize);
    NameTable->LoadFromStream(&table);
    return ReadIndex(tableStart);
}

// The index lies between the index offset and indexEnd (the name table or the trailer); its
// entries are checked against that range before anything is allocated. A record whose bytes lie
// outside the file is kept: only reading that entry fails.
bool TFilePack::ReadIndex(int64_t indexEnd) {
    if (IndexOffset > indexEnd)
        return Fail("index offset " + std::to_string(IndexOffset) + " lies past the index end " +
                    std::to_string(indexEnd));
    const int64_t indexSize = indexEnd - IndexOffset;
    if (static_cast<int64_t>(CountValue) > indexSize / kMinIndexEntry)
        return Fail(std::to_string(CountValue) + " entries do not fit the index of " + std::to_string(indexSize) +
                    " bytes at offset " + std::to_string(IndexOffset));

    std::vector<uint8_t> index(static_cast<size_t>(indexSize));
    File->Seek(BaseOffset + IndexOffset, TSeekOrigin::Beginning);
    if (indexSize > 0) File->ReadBuffer(index.data(), indexSize);
    Names.reserve(CountValue);
    Records.reserve(CountValue);
    size_t pos = 0;
    auto runsPast = [&](uint32_t i) {
        return Fail("index entry " + std::to_string(i) + " runs past the index end " + std::to_string(indexEnd));
    };
    for (uint32_t i = 0; i < CountValue; ++i) {
        if (index.size() - pos < 2) return runsPast(i);
        const size_t len = LittleEndian::Get16(index.data() + pos);
        pos += 2;
        if (index.size() - pos < len + TFilePackRecord::kSize) return runsPast(i);
        Names.push_back(uMisc::ScrambleString(std::string_view(reinterpret_cast<const char*>(index.data() + pos), len),
                                              true, kNameKey));
        pos += len;
        const uint8_t* r = index.data() + pos;
        TFilePackRecord rec;
        rec.Offset = static_cast<int64_t>(LittleEndian::Get64(r));
        rec.StoredSize = Get32(r + 8);
        rec.Reserved = Get32(r + 12);
        rec.Compressed = Get32(r + 16);
        rec.Scrambled = Get32(r + 20);
        rec.Checksum = Get32(r + 24);
        pos += TFilePackRecord::kSize;
        Records.push_back(rec);
    }
    return true;
}

bool TFilePack::Contains(std::string_view name) const {
    return IndexOf(ClassLib::LowerAscii(name)) >= 0;
}

int32_t TFilePack::IndexOf(std::string_view lowerName) const {
    for (size_t i = 0; i < Names.size(); ++i)
        if (Names[i] == lowerName) return static_cast<int32_t>(i);
    return -1;
}

void TFilePack::Unscramble(TMemoryStream& s) {
    uMisc::ScrambleBuffer(s.Memory(), s.Data.size(), true, 0);
}

std::unique_ptr<TMemoryStream> TFilePack::Expand(std::unique_ptr<TMemoryStream>& s) {
    return uMisc::PackStream(s, true);
}

std::unique_ptr<TMemoryStream> TFilePack::ReadByIndex(int64_t n) {
    if (n < 0 || n >= static_cast<int64_t>(Records.size())) return nullptr;
    const TFilePackRecord& rec = Records[static_cast<size_t>(n)];
    if (rec.Offset < 0 || rec.Offset > EndOffset || rec.StoredSize > EndOffset - rec.Offset) return nullptr;
    std::unique_ptr<TMemoryStream> s;
    try {
        if (!OpenFile()) return nullptr;
        s = std::make_unique<TMemoryStream>();
        s->Data.resize(rec.StoredSize);
        File->Seek(BaseOffset + rec.Offset, TSeekOrigin::Beginning);
        if (rec.StoredSize) File->ReadBuffer(s->Memory(), rec.StoredSize);
    } catch (const EStreamError&) {
        CloseUnlessKept();
        return nullptr;
    }
    CloseUnlessKept();
    if (Verify && rec.StoredSize < kVerifyLimit && uMisc::Checksum64(s->Memory(), s->Data.size()) != rec.Checksum) {
        if (ErrorProc) ErrorProc(Names[static_cast<size_t>(n)]);
        return nullptr;
    }
    if (rec.Scrambled) Unscramble(*s);
    if (rec.Compressed) {
        s = Expand(s);
        if (!s) return nullptr;
    }
    s->SetPosition(0);
    return s;
}

std::unique_ptr<TMemoryStream> TFilePack::ReadByName(std::string_view name) {
    const std::string lower = ClassLib::LowerAscii(name);
    int64_t n = -1;
    if (NameTable) {
        uint16_t number = 0;
        if (NameTable->Get(lower, &number, 2) && number < Names.size() && Names[number] == lower) n = number;
    }
    if (n < 0) n = IndexOf(lower);
    return ReadByIndex(n);
}
