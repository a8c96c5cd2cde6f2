#include "foundation/uFilePack.h"

#include <cstring>

#include "foundation/uHashTable.h"
#include "foundation/uMisc.h"
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

TFilePack::TFilePack(const std::string& fileName, bool keepOpen) : KeepOpen(keepOpen) {
    Open(fileName);
}

TFilePack::~TFilePack() = default;

bool TFilePack::OpenFile() {
    if (File) return true;
    try {
        File = std::make_unique<TFileStream>(FileNameValue, TFileMode::OpenRead);
    } catch (const EStreamError&) {
        return false;
    }
    return true;
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
    bool ok = false;
    try {
        ok = OpenFile();
        if (ok) {
            BaseOffset = 0;
            EndOffset = File->Size();
            uint8_t trailer[kTrailer10Size];
            if (EndOffset < kTrailer10Size) {
                InvalidFlag = true;
                ok = false;
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
                    ok = false;
                }
            }
        }
    } catch (const EStreamError&) {
        ok = false;
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
        return false;
    }
    std::vector<uint8_t> trailer(kTrailer20Size);
    File->Seek(EndOffset - kTrailer20Size, TSeekOrigin::Beginning);
    File->ReadBuffer(trailer.data(), kTrailer20Size);
    uMisc::ScrambleBuffer(trailer.data(), 32, true, SignatureKey);
    if (FieldText(trailer.data(), 32) != kSignature) {
        InvalidFlag = true;
        return false;
    }
    const uint32_t tableSize = Get32(trailer.data() + 32);
    CountValue = Get32(trailer.data() + 1076);
    IndexOffset = Get32(trailer.data() + 1080);
    ThirdValue = Get32(trailer.data() + 1084);
    const int64_t tableEnd = EndOffset - kTrailer20Size;
    if (tableSize > tableEnd) return false;
    const int64_t tableStart = tableEnd - tableSize;

    TMemoryStream table;
    table.Data.resize(tableSize);
    File->Seek(BaseOffset + tableStart, TSeekOrigin::Beginning);
    File->ReadBuffer(table.Memory(), tableSize);
    NameTable = std::make_unique<THashTable>(kNameTableBuckets);
    NameTable->ValueSize = 2;
    if (!NameTable->LoadFromStream(&table)) return false;
    return ReadIndex(tableStart);
}

// The index lies between the index offset and indexEnd (the name table or the trailer). Its
// entries and the records' ranges are checked against the file before anything is allocated.
bool TFilePack::ReadIndex(int64_t indexEnd) {
    if (IndexOffset > indexEnd) return false;
    const int64_t indexSize = indexEnd - IndexOffset;
    if (static_cast<int64_t>(CountValue) > indexSize / kMinIndexEntry) return false;

    std::vector<uint8_t> index(static_cast<size_t>(indexSize));
    File->Seek(BaseOffset + IndexOffset, TSeekOrigin::Beginning);
    if (indexSize > 0) File->ReadBuffer(index.data(), indexSize);
    Names.reserve(CountValue);
    Records.reserve(CountValue);
    size_t pos = 0;
    for (uint32_t i = 0; i < CountValue; ++i) {
        if (index.size() - pos < 2) return false;
        const size_t len = index[pos] | (static_cast<size_t>(index[pos + 1]) << 8);
        pos += 2;
        if (index.size() - pos < len + TFilePackRecord::kSize) return false;
        Names.push_back(uMisc::ScrambleString(std::string_view(reinterpret_cast<const char*>(index.data() + pos), len),
                                              true, kNameKey));
        pos += len;
        const uint8_t* r = index.data() + pos;
        TFilePackRecord rec;
        rec.Offset = static_cast<int64_t>(Get32(r) | (static_cast<uint64_t>(Get32(r + 4)) << 32));
        rec.StoredSize = Get32(r + 8);
        rec.Reserved = Get32(r + 12);
        rec.Compressed = Get32(r + 16);
        rec.Scrambled = Get32(r + 20);
        rec.Checksum = Get32(r + 24);
        pos += TFilePackRecord::kSize;
        if (rec.Offset < 0 || rec.Offset > EndOffset || rec.StoredSize > EndOffset - rec.Offset) return false;
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
