#include "script/KelValueLib.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <utility>

#include "foundation/ErrorLogLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "platform/LittleEndian.h"
#include "script/KelTextCache.h"

namespace {

const std::string& MsgReadLocked() {
    return "変数に読み込みロックがかかっています:"_sj;
}
const std::string& MsgReadOutside() {
    return "範囲外の配列を読み込もうとしました:"_sj;
}
const std::string& MsgUndeclared() {
    return "変数が宣言されていません:"_sj;
}
const std::string& MsgWriteLocked() {
    return "変数に書き込みロックがかかっています:"_sj;
}
const std::string& MsgWriteOutside() {
    return "範囲外の配列に書き込もうとしました:"_sj;
}
const std::string& MsgUndefined() {
    return "未定義の変数："_sj;
}
const std::string& MsgCreateFailed() {
    return "Objectの生成に失敗しました："_sj;
}
const std::string& MsgFreeFailed() {
    return "Objectの解放に失敗しました："_sj;
}
const std::string& MsgTooManyDims() {
    return "配列の次元が多すぎます:"_sj;
}
const std::string& MsgTooLarge() {
    return "配列の要素数が多すぎます:"_sj;
}

// The smallest record of a table stream: levels, flags, hash, type, reference flag, owner number
// and two empty names.
constexpr int64_t kMinRecordBytes = 2 + 2 + 4 + 1 + 1 + 4 + 2 + 2;

// The fields of a table stream, with the stream strings of the names.
class TFieldReader : public TStreamReader {
public:
    using TStreamReader::TStreamReader;
    std::string Str() {
        std::string s;
        if (Ok && !uMisc::ReadStreamString(&S, s)) Ok = false;
        return s;
    }
};

// Lead bytes of two-byte Shift-JIS characters.
bool IsLead(uint8_t b) {
    return uMisc::IsSJISLeadByte(b);
}

}  // namespace

namespace KelValueLib {

uint32_t NameHash(std::string_view name) {
    // Same as uMisc::WeightedSum of ClassLib::LowerAscii(name), without building the string.
    uint32_t sum = 0;
    size_t i = 0;
    // Names are mostly ASCII, where no byte is a lead byte and a letter is lowered by setting 0x20.
    for (; i < name.size(); ++i) {
        const uint32_t b = static_cast<uint8_t>(name[i]);
        if (b >= 0x80) break;
        sum += (b | (b - 'A' < 26u ? 0x20u : 0u)) * static_cast<uint32_t>((i + 1) & 255);
    }
    bool trail = false;
    for (; i < name.size(); ++i) {
        auto b = static_cast<uint8_t>(name[i]);
        if (trail) {
            trail = false;
        } else if (IsLead(b)) {
            trail = true;
        } else if (b >= 'A' && b <= 'Z') {
            b = static_cast<uint8_t>(b + 32);
        }
        sum += static_cast<uint32_t>(b) * static_cast<uint32_t>((i + 1) & 255);
    }
    return sum;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (EqualBytes(a.data(), b.data(), a.size())) return true;  // the usual case: the name spelt as declared
    bool trail = false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto x = static_cast<uint8_t>(a[i]);
        auto y = static_cast<uint8_t>(b[i]);
        if (trail) {
            trail = false;
            if (x != y) return false;
            continue;
        }
        // Equal so far, so a lead byte here is a lead byte in both.
        if (IsLead(x)) trail = true;
        if (x >= 'A' && x <= 'Z') x = static_cast<uint8_t>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<uint8_t>(y + 32);
        if (x != y) return false;
    }
    return true;
}

int32_t StrToIntDef0(std::string_view text) {
    int64_t v = 0;
    return uMisc::TryStrToInt(text, 32, uMisc::THexPrefix::DollarOr0x, v) ? static_cast<int32_t>(v) : 0;
}

const std::string& TooManyIndexesMessage() {
    return MsgTooManyDims();
}

}  // namespace KelValueLib

// ---- arrays ----

int64_t TValueArrayCustom::CheckedCount(int32_t d0, int32_t d1, int32_t d2, int32_t d3) {
    const int32_t dims[4] = {d0, d1, d2, d3};
    for (int32_t d : dims)
        if (d < 0) return -1;
    int64_t product = 1;
    for (int32_t d : dims) {
        product *= d;  // at most kMaxElements * 2^31: no overflow
        if (product > KelValueLib::kMaxElements) return -1;
    }
    return product;
}

void TValueArrayCustom::SetDimensions(int32_t d0, int32_t d1, int32_t d2, int32_t d3) {
    int64_t count = CheckedCount(d0, d1, d2, d3);
    if (count < 0) return;
    Dims = {d0, d1, d2, d3};
    SetLength(static_cast<int32_t>(count));
}

int64_t TValueArrayCustom::FlatIndex(int32_t i0, int32_t i1, int32_t i2, int32_t i3) const {
    if (Count <= 0) return -1;
    // With a count above zero every dimension is at least 1 and every partial product is at most
    // the count, so the terms stay far inside 64 bits; the checks guard fields set by hand.
    int64_t step = 1, flat = 0;
    const int32_t idx[4] = {i0, i1, i2, i3};
    for (int k = 0; k < 4; ++k) {
        int64_t term;
        if (__builtin_mul_overflow(static_cast<int64_t>(idx[k]), step, &term)) return -1;
        if (__builtin_add_overflow(flat, term, &flat)) return -1;
        if (k < 3 && __builtin_mul_overflow(step, static_cast<int64_t>(Dims[static_cast<size_t>(k)]), &step)) return -1;
    }
    return flat;
}

void TValueArrayCustom::SaveToStream(TStream& stream) const {
    for (int32_t d : Dims)
        LittleEndian::Write32(stream, static_cast<uint32_t>(d));
    LittleEndian::Write32(stream, static_cast<uint32_t>(Count));
    SaveElements(stream);
}

bool TValueArrayCustom::LoadFromStream(TStream& stream) {
    TFieldReader r(stream);
    std::array<int32_t, 4> dims;
    for (int32_t& d : dims)
        d = r.I32();
    int32_t count = r.I32();
    if (!r.Ok) return false;
    // A saved array always holds the product of its dimensions; anything else is damage.
    int64_t expected = CheckedCount(dims[0], dims[1], dims[2], dims[3]);
    if (expected < 0 || expected != count) return false;
    const int64_t minBytes = ElementType == TCalcValueType::Integer ? 4 : 2;
    if (count > stream.Remaining() / minBytes) return false;
    Dims = dims;
    return LoadElements(stream, count);
}

void TValueArrayInteger::SetLength(int32_t count) {
    count = std::max(count, 0);
    Items.resize(static_cast<size_t>(count), 0);
    Count = count;
}

bool TValueArrayInteger::ReadElement(int64_t flat, TCalcValue& value) const {
    if (flat < 0 || flat >= Count) return false;
    int32_t v = Items[static_cast<size_t>(flat)];
    // In place: the value's text keeps its buffer.
    char digits[16];
    auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    value.Type = TCalcValueType::Integer;
    value.Value = v;
    // Appended to the emptied text rather than assigned: the short copy costs less than the
    // general replace that assign makes.
    value.Text.clear();
    value.Text.append(digits, static_cast<size_t>(end - digits));
    return true;
}

bool TValueArrayInteger::WriteElement(int64_t flat, const TCalcValue& value) {
    if (flat < 0 || flat >= Count) return false;
    Items[static_cast<size_t>(flat)] = value.Value;
    return true;
}

void TValueArrayInteger::SaveElements(TStream& stream) const {
    for (int32_t v : Items)
        LittleEndian::Write32(stream, static_cast<uint32_t>(v));
}

bool TValueArrayInteger::LoadElements(TStream& stream, int32_t count) {
    TFieldReader r(stream);
    std::vector<int32_t> items(static_cast<size_t>(count));
    for (int32_t& v : items)
        v = r.I32();
    if (!r.Ok) return false;
    Items = std::move(items);
    Count = count;
    return true;
}

void TValueArrayString::SetLength(int32_t count) {
    count = std::max(count, 0);
    Items.resize(static_cast<size_t>(count));
    Count = count;
}

bool TValueArrayString::ReadElement(int64_t flat, TCalcValue& value) const {
    if (flat < 0 || flat >= Count) return false;
    const std::string& s = Items[static_cast<size_t>(flat)];
    value = TCalcValue::String(s, KelValueLib::StrToIntDef0(s));
    return true;
}

bool TValueArrayString::WriteElement(int64_t flat, const TCalcValue& value) {
    if (flat < 0 || flat >= Count) return false;
    Items[static_cast<size_t>(flat)] = value.Text;
    return true;
}

void TValueArrayString::SaveElements(TStream& stream) const {
    for (const std::string& s : Items)
        uMisc::WriteStreamString(&stream, s);
}

bool TValueArrayString::LoadElements(TStream& stream, int32_t count) {
    TFieldReader r(stream);
    std::vector<std::string> items(static_cast<size_t>(count));
    for (std::string& s : items) {
        s = r.Str();
        if (!r.Ok) return false;
    }
    Items = std::move(items);
    Count = count;
    return true;
}

TValueArrayObject::TValueArrayObject(std::string name, std::string className, uint8_t reference, int32_t ownerNumber,
                                     const TObjectVariableCallbacks& callbacks)
    : TValueArrayCustom(std::move(name), TCalcValueType::Object), Callbacks(callbacks) {
    ClassName = std::move(className);
    Reference = reference;
    OwnerNumber = ownerNumber;
}

TValueArrayObject::~TValueArrayObject() {
    SetLength(0);
}

std::string TValueArrayObject::ElementName(int32_t k) const {
    return std::to_string(OwnerNumber) + "_" + Name + "," + std::to_string(k);
}

void TValueArrayObject::SetLength(int32_t count) {
    count = std::max(count, 0);
    const int32_t old = static_cast<int32_t>(Items.size());
    if (count < old) {
        for (int32_t k = count; k < old; ++k) {
            std::string& item = Items[static_cast<size_t>(k)];
            if (Reference == 0 && Callbacks.Free && !Callbacks.Free(ClassName, Name, item) && Callbacks.Log)
                Callbacks.Log->ErrorLog(MsgFreeFailed() + item);
            item.clear();
        }
        Items.resize(static_cast<size_t>(count));
    } else if (count > old) {
        Items.resize(static_cast<size_t>(count));
        if (Reference == 0) {
            for (int32_t k = old; k < count; ++k) {
                std::string& item = Items[static_cast<size_t>(k)];
                item = ElementName(k);
                if (Callbacks.Create && !Callbacks.Create(ClassName, Name, item) && Callbacks.Log)
                    Callbacks.Log->ErrorLog(MsgCreateFailed() + item);
            }
        }
    }
    Count = count;
}

bool TValueArrayObject::ReadElement(int64_t flat, TCalcValue& value) const {
    if (flat < 0 || flat >= Count) return false;
    value = TCalcValue::Object(Items[static_cast<size_t>(flat)]);
    return true;
}

bool TValueArrayObject::WriteElement(int64_t flat, const TCalcValue& value) {
    if (flat < 0 || flat >= Count) return false;
    Items[static_cast<size_t>(flat)] = value.Text;
    return true;
}

void TValueArrayObject::SaveElements(TStream& stream) const {
    for (const std::string& item : Items) {
        uMisc::WriteStreamString(&stream, item);
        if (Reference == 0 && Callbacks.Save) Callbacks.Save(stream, ClassName, Name, item);
    }
}

bool TValueArrayObject::LoadElements(TStream& stream, int32_t count) {
    // The storage takes the count directly: the objects come from the load callback, not from
    // SetLength. On damage only the elements whose loads ran to the end are kept, so that freeing
    // the array frees exactly the objects that were loaded.
    TFieldReader r(stream);
    Items.assign(static_cast<size_t>(count), std::string());
    Count = count;
    for (int32_t k = 0; k < count; ++k) {
        std::string name = r.Str();
        bool ok = r.Ok;
        if (ok) {
            Items[static_cast<size_t>(k)] = std::move(name);
            if (Reference == 0 && Callbacks.Load) {
                try {
                    const std::string& item = Items[static_cast<size_t>(k)];
                    Callbacks.Load(stream, ClassName, Name, item);
                } catch (const EStreamError&) {
                    ok = false;
                }
            }
        }
        if (!ok) {
            Items.resize(static_cast<size_t>(k));
            Count = k;
            return false;
        }
    }
    return true;
}

// ---- one table ----

namespace {
// The source of the tables' level versions: every number is given once.
std::atomic<uint64_t> VersionSource{0};
uint64_t FreshVersion() {
    return VersionSource.fetch_add(1, std::memory_order_relaxed) + 1;
}
}  // namespace

TValue::TValue(const TObjectVariableCallbacks& callbacks) : Callbacks(callbacks) {
    ResetVersions();
}

void TValue::ResetVersions() {
    OtherVersion = FreshVersion();
    LevelVersions.fill(OtherVersion);
}

TValue::~TValue() {
    Clear();
}

namespace {
constexpr size_t kSpareRecords = 32;
}  // namespace

uint64_t TValue::Key(int32_t level, uint32_t hash) {
    return (static_cast<uint64_t>(static_cast<uint16_t>(level)) << 32) | hash;
}

void TValue::Report(std::string_view message, std::string_view name) const {
    if (ErrorReport && Callbacks.Log) Callbacks.Log->ErrorLog(std::string(message) + std::string(name));
}

TValueData* TValue::Items(int32_t index) const {
    if (index < 0 || index >= Count()) return nullptr;
    return List[static_cast<size_t>(index)].get();
}

void TValue::Append(std::unique_ptr<TValueData> record, bool resumes) {
    if (!resumes) Retired.Valid = false;
    // The list grows in steps of 64 records.
    if (List.size() == List.capacity()) List.reserve((List.size() / 64 + 1) * 64);
    record->Position = Count();
    if (record->ArrayData) Index.Get(Key(record->Level, record->Hash)).push_back(record.get());
    CountAtLevel(record->Level, 1);
    List.push_back(std::move(record));
}

std::unique_ptr<TValueData> TValue::Detach(int32_t index) {
    Retired.Valid = false;
    std::unique_ptr<TValueData> record = std::move(List[static_cast<size_t>(index)]);
    List.erase(List.begin() + index);
    for (size_t i = static_cast<size_t>(index); i < List.size(); ++i)
        List[i]->Position = static_cast<int32_t>(i);
    if (record->ArrayData) {
        if (auto* bucket = Index.Find(Key(record->Level, record->Hash)))
            bucket->erase(std::find(bucket->begin(), bucket->end(), record.get()));
    }
    CountAtLevel(record->Level, -1);
    return record;
}

std::vector<TValueData*>& TValue::TRecordIndex::Get(uint64_t key) {
    if (std::vector<TValueData*>* found = Find(key)) return *found;
    if ((Used + 1) * 2 > Slots.size()) {
        // Slots whose records are all gone are dropped here.
        std::vector<TSlot> old = std::move(Slots);
        size_t live = 0;
        for (const TSlot& slot : old)
            live += slot.Used && !slot.Records.empty();
        size_t size = 64;
        while (size < (live + 1) * 4)
            size *= 2;
        Slots.clear();
        Slots.resize(size);
        Mask = size - 1;
        Used = 0;
        for (TSlot& slot : old) {
            if (!slot.Used || slot.Records.empty()) continue;
            size_t i = Mix(slot.Key) & Mask;
            while (Slots[i].Used)
                i = (i + 1) & Mask;
            Slots[i] = std::move(slot);
            ++Used;
        }
    }
    size_t i = Mix(key) & Mask;
    while (Slots[i].Used)
        i = (i + 1) & Mask;
    Slots[i].Used = true;
    Slots[i].Key = key;
    Slots[i].Records.clear();
    ++Used;
    return Slots[i].Records;
}

int32_t TValue::FindIndex(std::string_view name, int32_t level) const {
    return FindIndex(name, KelValueLib::NameHash(name), level);
}

void TValue::CountAtLevel(int32_t level, int32_t change) {
    if (level < 0 || level >= kCountedLevels) {
        UncountedRecords += change;
        OtherVersion = FreshVersion();
        return;
    }
    const auto l = static_cast<size_t>(level);
    if (LevelRecords.size() <= l) LevelRecords.resize(l + 1, 0);
    LevelRecords[l] += change;
    LevelVersions[l] = FreshVersion();
}

int32_t TValue::FindIndex(std::string_view name, uint32_t hash, int32_t level) const {
    if (level < INT16_MIN || level > INT16_MAX) return -1;  // no record carries such a level
    // The local table is asked at every level before the game table; most levels hold nothing.
    if (level >= 0 && level < kCountedLevels &&
        (static_cast<size_t>(level) >= LevelRecords.size() || LevelRecords[static_cast<size_t>(level)] == 0))
        return -1;
    const std::vector<TValueData*>* bucket = Index.Find(Key(level, hash));
    if (!bucket) return -1;
    for (const TValueData* record : *bucket)
        if (KelValueLib::SameName(record->ArrayData->Name, name)) return record->Position;
    return -1;
}

bool TValue::Declare(std::string_view name, std::string_view className, int32_t d0, int32_t d1, int32_t d2, int32_t d3,
                     int32_t level, TCalcValueType type, uint16_t flags, uint8_t reference) {
    return Declare(name, KelValueLib::NameHash(name), className, d0, d1, d2, d3, level, type, flags, reference) !=
           nullptr;
}

TValueData* TValue::Declare(std::string_view name, uint32_t hash, std::string_view className, int32_t d0, int32_t d1,
                            int32_t d2, int32_t d3, int32_t level, TCalcValueType type, uint16_t flags,
                            uint8_t reference) {
    if (name.empty() || FindIndex(name, hash, level) >= 0) return nullptr;
    if (TValueArrayCustom::CheckedCount(d0, d1, d2, d3) < 0) {
        Report(MsgTooLarge(), name);
        return nullptr;
    }
    std::unique_ptr<TValueData> record;
    bool resumes = false;
    if (Retired.Valid && level == Retired.Level) {
        const TValueArrayCustom& expected = *Retired.Records[Retired.Declared]->ArrayData;
        if (expected.ElementType == type && expected.Name.size() == name.size() &&
            EqualBytes(expected.Name.data(), name.data(), name.size())) {
            for (size_t i = 0; i < Spare.size() && !resumes; ++i)
                if (Spare[i].get() == Retired.Records[Retired.Declared]) {
                    record = TakeSpareAt(i, name);
                    resumes = true;
                }
        }
    }
    if (!record) record = TakeSpare(type, name);
    if (!record) record = std::make_unique<TValueData>();
    switch (type) {
        case TCalcValueType::Integer:
            if (!record->ArrayData) record->ArrayData = std::make_unique<TValueArrayInteger>(std::string(name));
            break;
        case TCalcValueType::String:
            if (!record->ArrayData) record->ArrayData = std::make_unique<TValueArrayString>(std::string(name));
            break;
        case TCalcValueType::Object:
            record->ArrayData = std::make_unique<TValueArrayObject>(std::string(name), std::string(className),
                                                                    reference, level, Callbacks);
            break;
        default:
            return nullptr;
    }
    record->ArrayData->SetDimensions(d0, d1, d2, d3);  // an owning object array creates its objects here
    record->Level = static_cast<int16_t>(level);
    record->Flags = flags;
    record->Hash = hash;
    TValueData* declared = record.get();
    Append(std::move(record), resumes);
    if (resumes && ++Retired.Declared == Retired.Records.size()) {
        LevelVersions[static_cast<size_t>(level)] = Retired.Version;
        Retired.Valid = false;
    }
    return declared;
}

bool TValue::Delete(std::string_view name, int32_t level, bool force) {
    int32_t index = FindIndex(name, level);
    if (index < 0) return false;
    if (force || List[static_cast<size_t>(index)]->Deletable()) Detach(index).reset();
    return true;
}

std::unique_ptr<TValueData> TValue::TakeSpare(TCalcValueType type, std::string_view name) {
    // A record that had the name before, as a subroutine's parameters have, is taken first.
    size_t found = Spare.size();
    for (size_t i = Spare.size(); i-- > 0;) {
        const TValueArrayCustom& array = *Spare[i]->ArrayData;
        if (array.ElementType != type) continue;
        if (found == Spare.size()) found = i;
        if (array.Name.size() == name.size() && EqualBytes(array.Name.data(), name.data(), name.size())) {
            found = i;
            break;
        }
    }
    if (found == Spare.size()) return nullptr;
    Retired.Valid = false;  // the spare may be one of the frame's
    return TakeSpareAt(found, name);
}

std::unique_ptr<TValueData> TValue::TakeSpareAt(size_t i, std::string_view name) {
    std::unique_ptr<TValueData> record = std::move(Spare[i]);
    Spare[i] = std::move(Spare.back());  // the spares have no order
    Spare.pop_back();
    // As a new record: the name, no elements (SetDimensions fills them), default fields.
    TValueArrayCustom& array = *record->ArrayData;
    if (array.Name != name) array.Name.assign(name);
    array.Count = 0;
    array.Dims = {0, 0, 0, 0};
    if (array.ElementType == TCalcValueType::Integer)
        static_cast<TValueArrayInteger&>(array).Items.clear();
    else
        static_cast<TValueArrayString&>(array).Items.clear();
    record->Flags = 7;
    return record;
}

void TValue::Clear() {
    // Taken out first, so that a callback running while the records are freed sees an empty table.
    std::vector<std::unique_ptr<TValueData>> records = std::move(List);
    List.clear();
    Index.Clear();
    LevelRecords.clear();
    UncountedRecords = 0;
    ResetVersions();
    Retired.Valid = false;
    Spare.clear();
    for (auto& record : records)
        record.reset();
}

void TValue::DeleteAboveOwner(int32_t level) {
    // Most calls come after a subroutine call, when no record lies above the level.
    if (UncountedRecords == 0 && level >= 0) {
        bool above = false;
        for (size_t l = static_cast<size_t>(level) + 1; l < LevelRecords.size() && !above; ++l)
            above = LevelRecords[l] != 0;
        if (!above) return;
    }
    // Freeing an object array may run script callbacks, which may come back here: the buffer is
    // taken out meanwhile.
    std::vector<std::unique_ptr<TValueData>> doomed = std::move(Detached);
    doomed.clear();
    // Whether all come from one counted level, and that level's version before they go.
    int32_t frameLevel = -1;
    uint64_t frameVersion = 0;
    bool oneLevel = true;
    for (int32_t i = Count() - 1; i >= 0; --i) {
        const int32_t at = List[static_cast<size_t>(i)]->Level;
        if (at <= level) continue;
        if (doomed.empty()) {
            frameLevel = at;
            frameVersion = LevelVersion(at);
        }
        oneLevel = oneLevel && at == frameLevel;
        doomed.push_back(Detach(i));
    }
    if (doomed.empty()) {
        Detached = std::move(doomed);
        return;
    }
    // The frame is built in the storage of the last one, which the detaching ended.
    bool whole = oneLevel && frameLevel >= 0 && frameLevel < kCountedLevels;
    std::vector<TValueData*> records = std::move(Retired.Records);
    records.clear();
    // Detached from the back; freed in list order.
    for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
        const TValueArrayCustom* array = (*it)->ArrayData.get();
        if (array && array->ElementType != TCalcValueType::Object && array->ClassName.empty() &&
            array->Reference == 0 && array->OwnerNumber == 0 && Spare.size() < kSpareRecords) {
            records.push_back(it->get());
            Spare.push_back(std::move(*it));
        } else {
            whole = false;
            it->reset();
        }
    }
    doomed.clear();
    Detached = std::move(doomed);
    // When the frame is whole nothing was freed, so no callback ran; otherwise one may have changed
    // the table, and no frame stands.
    Retired.Records = std::move(records);
    Retired.Valid = whole;
    Retired.Level = frameLevel;
    Retired.Version = frameVersion;
    Retired.Declared = 0;
}

bool TValue::ReadByIndex(int32_t recordIndex, int32_t i0, int32_t i1, int32_t i2, int32_t i3,
                         [[maybe_unused]] int32_t level, TCalcValue& value, bool force) {
    TValueData* record = Items(recordIndex);
    if (!record) {
        value = TCalcValue::ErrorValue();
        return false;
    }
    return ReadRecord(*record, i0, i1, i2, i3, value, force);
}

bool TValue::ReadRecord(TValueData& record, int32_t i0, int32_t i1, int32_t i2, int32_t i3, TCalcValue& value,
                        bool force) {
    if (!record.ArrayData) {
        value = TCalcValue::ErrorValue();
        return false;
    }
    TValueArrayCustom& array = *record.ArrayData;
    if (!force && !record.Readable()) {
        Report(MsgReadLocked(), array.Name);
        value = TCalcValue::ErrorValue();
        return false;
    }
    if (!array.ReadElement(array.FlatIndex(i0, i1, i2, i3), value)) {
        Report(MsgReadOutside(), array.Name);
        return false;
    }
    return true;
}

bool TValue::WriteByIndex(int32_t recordIndex, int32_t i0, int32_t i1, int32_t i2, int32_t i3,
                          [[maybe_unused]] int32_t level, const TCalcValue& value, bool force,
                          std::string_view askedName) {
    TValueData* record = Items(recordIndex);
    if (!record || !record->ArrayData) {
        Report(MsgUndeclared(), askedName);
        return false;
    }
    return WriteRecord(*record, i0, i1, i2, i3, value, force);
}

bool TValue::WriteRecord(TValueData& record, int32_t i0, int32_t i1, int32_t i2, int32_t i3, const TCalcValue& value,
                         bool force) {
    TValueArrayCustom& array = *record.ArrayData;
    if (!force && !record.Writable()) {
        Report(MsgWriteLocked(), array.Name);
        return false;
    }
    // The element takes the field its type keeps: the integer for integer arrays, the text for
    // string and object arrays.
    if (!array.WriteElement(array.FlatIndex(i0, i1, i2, i3), value)) {
        Report(MsgWriteOutside(), array.Name);
        return false;
    }
    return true;
}

bool TValue::WriteValue(std::string_view name, const TValueIndexes& indexes, bool force, const TCalcValue& value,
                        int32_t level) {
    return WriteByIndex(FindIndex(name, level), indexes[0], indexes[1], indexes[2], indexes[3], level, value, force,
                        name);
}

bool TValue::WriteInteger(std::string_view name, const TValueIndexes& indexes, bool force, int32_t value,
                          int32_t level) {
    return WriteValue(name, indexes, force, TCalcValue::Integer(value), level);
}

bool TValue::WriteString(std::string_view name, const TValueIndexes& indexes, bool force, std::string_view text,
                         int32_t level) {
    return WriteValue(name, indexes, force, TCalcValue::String(std::string(text)), level);
}

bool TValue::WriteObject(std::string_view name, const TValueIndexes& indexes, bool force, std::string_view objectName,
                         int32_t level) {
    return WriteValue(name, indexes, force, TCalcValue::Object(std::string(objectName)), level);
}

TValueData* TValue::FindRecord(std::string_view name, uint32_t hash, int32_t level, TRecordMemo& memo) const {
    const uint64_t version = LevelVersion(level);
    if (memo.Record && memo.Version == version && memo.Level == level) return memo.Record;
    TValueData* record = Items(FindIndex(name, hash, level));
    if (record) memo = {version, level, record};
    return record;
}

bool TValue::InitVariable(std::string_view name, int32_t level, bool force) {
    int32_t index = FindIndex(name, level);
    if (index < 0) {
        Report(MsgUndeclared(), name);
        return false;
    }
    return InitRecord(*List[static_cast<size_t>(index)], name, force);
}

bool TValue::InitRecord(TValueData& record, std::string_view name, bool force) {
    if (!force && !record.Writable()) {
        Report(MsgWriteLocked(), name);
        return false;
    }
    // What writing the empty value of the element type to every element does: 0, the empty text,
    // the empty name; nothing is created or freed.
    TValueArrayCustom& array = *record.ArrayData;
    auto clearTexts = [&array](std::vector<std::string>& items) {
        for (size_t k = 0; k < items.size() && k < static_cast<size_t>(array.Count); ++k)
            items[k].clear();
    };
    switch (array.ElementType) {
        case TCalcValueType::Integer: {
            auto& items = static_cast<TValueArrayInteger&>(array).Items;
            std::fill_n(items.begin(), std::min(items.size(), static_cast<size_t>(std::max(array.Count, 0))), 0);
            break;
        }
        case TCalcValueType::String:
            clearTexts(static_cast<TValueArrayString&>(array).Items);
            break;
        default:
            clearTexts(static_cast<TValueArrayObject&>(array).Items);
            break;
    }
    return true;
}

void TValue::SaveToStream(TStream& stream) const {
    LittleEndian::Write32(stream, static_cast<uint32_t>(List.size()));
    for (const auto& record : List) {
        LittleEndian::Write16(stream, static_cast<uint16_t>(record->Level));
        LittleEndian::Write16(stream, record->Flags);
        LittleEndian::Write32(stream, record->Hash);
        const TValueArrayCustom* array = record->ArrayData.get();
        if (array) {
            LittleEndian::Write8(stream, static_cast<uint8_t>(array->ElementType));
            LittleEndian::Write8(stream, array->Reference);
            LittleEndian::Write32(stream, static_cast<uint32_t>(array->OwnerNumber));
            uMisc::WriteStreamString(&stream, array->Name);
            uMisc::WriteStreamString(&stream, array->ClassName);
            array->SaveToStream(stream);
        } else {
            LittleEndian::Write8(stream, 3);
            LittleEndian::Write8(stream, 1);
            LittleEndian::Write32(stream, 0);
            uMisc::WriteStreamString(&stream, record->StoredName);
            uMisc::WriteStreamString(&stream, record->StoredClassName);
        }
    }
}

bool TValue::LoadFromStream(TStream& stream) {
    Clear();
    try {
        TFieldReader r(stream);
        uint32_t count = r.U32();
        if (!r.Ok || count > static_cast<uint64_t>(stream.Remaining() / kMinRecordBytes)) return false;
        for (uint32_t n = 0; n < count; ++n) {
            auto record = std::make_unique<TValueData>();
            record->Level = r.I16();
            record->Flags = r.U16();
            record->Hash = r.U32();  // taken as stored
            uint8_t type = r.U8();
            uint8_t reference = r.U8();
            int32_t ownerNumber = r.I32();
            std::string name = r.Str();
            std::string className = r.Str();
            if (!r.Ok) return false;
            switch (type) {
                case 0:
                    record->ArrayData = std::make_unique<TValueArrayInteger>(std::move(name));
                    break;
                case 1:
                    record->ArrayData = std::make_unique<TValueArrayString>(std::move(name));
                    break;
                case 2:
                    record->ArrayData = std::make_unique<TValueArrayObject>(std::move(name), std::move(className),
                                                                            reference, ownerNumber, Callbacks);
                    break;
                default:
                    record->StoredName = std::move(name);
                    record->StoredClassName = std::move(className);
                    break;
            }
            // A damaged array is freed with its record; an owning one frees what it had loaded.
            if (record->ArrayData && !record->ArrayData->LoadFromStream(stream)) return false;
            Append(std::move(record));
        }
    } catch (const EStreamError&) {
        return false;
    }
    return true;
}

// ---- the three tables and the scope search ----

TKelVariables::TKelVariables(const TObjectVariableCallbacks& callbacks, IVariableEvaluator* evaluator)
    : Evaluator(evaluator),
      Log(callbacks.Log),
      OwnSystem(std::make_unique<TValue>(callbacks)),
      OwnGame(std::make_unique<TValue>(callbacks)),
      OwnLocal(std::make_unique<TValue>(callbacks)) {}

TValue* TKelVariables::Table(TVariableScope scope) const {
    switch (scope) {
        case TVariableScope::System:
            return &SystemVariables();
        case TVariableScope::Game:
            return &GameVariables();
        case TVariableScope::Local:
            return &LocalVariables();
        default:
            return nullptr;
    }
}

void TKelVariables::SetScopeTables(TValue* system, TValue* game, TValue* local) {
    SystemOverride = system;
    GameOverride = game;
    LocalOverride = local;
}

void TKelVariables::SetErrorReport(bool flag) {
    ErrorReport = flag;
    SystemVariables().ErrorReport = flag;
    GameVariables().ErrorReport = flag;
    LocalVariables().ErrorReport = flag;
}

std::unique_ptr<TStringList> TKelVariables::Split(std::string_view name) const {
    if (Evaluator) return Evaluator->IndexList(std::string(name));
    // Without an evaluator a name stands for itself.
    auto items = std::make_unique<TStringList>();
    if (!name.empty()) items->Add(std::string(name));
    return items;
}

std::string TKelVariables::BareName(std::string_view name) const {
    if (name.empty() || name.back() != ']') return std::string(name);
    std::unique_ptr<TStringList> items = Split(name);
    return items && items->Count() > 0 ? (*items)[0] : std::string();
}

TVariableLocation TKelVariables::Locate(std::string_view name, int32_t level) const {
    std::string stripped;
    std::string_view bare = name;
    if (!name.empty() && name.back() == ']') {
        stripped = BareName(name);
        bare = stripped;
    }
    return LocateBare(bare, KelValueLib::NameHash(bare), level);
}

TVariableLocation TKelVariables::LocateBare(std::string_view bare, uint32_t hash, int32_t level) const {
    int32_t index = LocalVariables().FindIndex(bare, hash, level);
    if (index >= 0) return {TVariableScope::Local, index};
    index = GameVariables().FindIndex(bare, hash, 0);
    if (index >= 0) return {TVariableScope::Game, index};
    index = SystemVariables().FindIndex(bare, hash, 0);
    if (index >= 0) return {TVariableScope::System, index};
    return {};
}

TVariableScope TKelVariables::LocateRecord(std::string_view bare, uint32_t hash, int32_t level, TVariableMemo& memo,
                                           TValueData*& record) const {
    const TValue& local = LocalVariables();
    const TValue& game = GameVariables();
    const TValue& system = SystemVariables();
    const uint64_t localVersion = local.LevelVersion(level), gameVersion = game.LevelVersion(0),
                   systemVersion = system.LevelVersion(0);
    if (memo.Record && memo.Level == level && memo.LocalVersion == localVersion && memo.GameVersion == gameVersion &&
        memo.SystemVersion == systemVersion) {
        record = memo.Record;
        return memo.Scope;
    }
    const TVariableLocation at = LocateBare(bare, hash, level);
    if (at.Scope == TVariableScope::None) return at.Scope;
    record = Table(at.Scope)->Items(at.Index);
    memo = {level, localVersion, gameVersion, systemVersion, at.Scope, record};
    return at.Scope;
}

TVariableScope TKelVariables::GetVariableScope(std::string_view name, int32_t level) const {
    return Locate(name, level).Scope;
}

bool TKelVariables::EvaluateIndexes(std::string_view name, int32_t level, std::string& bareName,
                                    TValueIndexes& indexes) {
    indexes = {0, 0, 0, 0};
    if (name.empty() || name.back() != ']') {
        bareName = std::string(name);
        return true;
    }
    std::unique_ptr<TStringList> items = Split(name);
    if (!items || items->Count() == 0) {
        bareName.clear();
        return true;
    }
    bareName = (*items)[0];
    const int32_t n = items->Count() - 1;
    if (n > 4) {
        if (ErrorReport && Log) Log->ErrorLog(MsgTooManyDims() + bareName);
        return false;
    }
    for (int32_t k = 0; k < n; ++k)
        indexes[static_cast<size_t>(k)] = Evaluator->Calculate((*items)[items->Count() - 1 - k], level).Value;
    return true;
}

bool TKelVariables::DeclareVariable(std::string_view declaration, const std::string& className, bool reference,
                                    uint16_t flags, TVariableScope scope, TCalcValueType type, int32_t level) {
    std::unique_ptr<TStringList> items = Split(declaration);
    if (!items || items->Count() == 0) return false;
    const std::string name = (*items)[0];
    // Declaring a visible name again keeps the existing variable and its contents.
    if (Locate(name, level).Scope != TVariableScope::None) return false;
    const int32_t n = items->Count() - 1;
    if (n > 4) {
        if (ErrorReport && Log) Log->ErrorLog(MsgTooManyDims() + name);
        return false;
    }
    int32_t dims[4] = {1, 1, 1, 1};
    for (int32_t k = 0; k < n; ++k) {
        int32_t v = Evaluator->Calculate((*items)[items->Count() - 1 - k], level).Value;
        dims[k] = v < 1 ? 1 : v;
    }
    TValue* table = Table(scope);
    if (!table) return false;
    return table->Declare(name, className, dims[0], dims[1], dims[2], dims[3], TableLevel(scope, level), type, flags,
                          reference ? 1 : 0);
}

bool TKelVariables::DeleteVariable(std::string_view name, int32_t level) {
    TVariableLocation at = Locate(name, level);
    if (at.Scope == TVariableScope::None) return false;
    return Table(at.Scope)->Delete(BareName(name), TableLevel(at.Scope, level), false);
}

bool TKelVariables::InitVariable(std::string_view name, int32_t level) {
    TVariableLocation at = Locate(name, level);
    if (at.Scope == TVariableScope::None) {
        if (ErrorReport && Log) Log->ErrorLog(MsgUndeclared() + std::string(name));
        return false;
    }
    return Table(at.Scope)->InitVariable(BareName(name), TableLevel(at.Scope, level), false);
}

bool TKelVariables::SetVariable(std::string_view name, int32_t level, const TCalcValue& value) {
    std::string bare;
    TValueIndexes idx;
    if (!EvaluateIndexes(name, level, bare, idx)) return false;
    TVariableLocation at = Locate(bare, level);
    if (at.Scope == TVariableScope::None) {
        if (ErrorReport && Log) Log->ErrorLog(MsgUndefined() + bare);
        return false;
    }
    return Table(at.Scope)->WriteByIndex(at.Index, idx[0], idx[1], idx[2], idx[3], TableLevel(at.Scope, level), value,
                                         false, bare);
}

bool TKelVariables::SetVariableInteger(std::string_view name, int32_t level, int32_t value) {
    return SetVariable(name, level, TCalcValue::Integer(value, std::to_string(value)));
}

TVariableScope TKelVariables::ReadVariable(std::string_view name, int32_t level, TCalcValue& value) {
    std::string bare;
    TValueIndexes idx;
    const bool indexesOk = EvaluateIndexes(name, level, bare, idx);
    TVariableLocation at = Locate(bare, level);
    if (at.Scope == TVariableScope::None) return at.Scope;
    if (!indexesOk) {
        value = TCalcValue::ErrorValue();
        return at.Scope;
    }
    Table(at.Scope)->ReadByIndex(at.Index, idx[0], idx[1], idx[2], idx[3], TableLevel(at.Scope, level), value, false);
    return at.Scope;
}

TVariableScope TKelVariables::ReadFound(std::string_view bare, const TVariableIndexes& idx, int32_t level,
                                        TCalcValue& value) {
    // FindVariable strips an index list that ReadElement would not: such a name takes both steps.
    if (!bare.empty() && bare.back() == ']') {
        TVariableScope scope = FindVariable(bare, level);
        if (scope != TVariableScope::None) ReadElement(scope, bare, idx, level, value, false);
        return scope;
    }
    return ReadFound(bare, KelValueLib::NameHash(bare), idx, level, value);
}

TVariableScope TKelVariables::ReadFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx,
                                        int32_t level, TCalcValue& value) {
    TVariableLocation at = LocateBare(bare, hash, level);
    if (at.Scope == TVariableScope::None) return at.Scope;
    Table(at.Scope)->ReadByIndex(at.Index, idx.I[0], idx.I[1], idx.I[2], idx.I[3], TableLevel(at.Scope, level), value,
                                 false);
    return at.Scope;
}

TVariableScope TKelVariables::ReadFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx,
                                        int32_t level, TCalcValue& value, TVariableMemo& memo) {
    TValueData* record = nullptr;
    const TVariableScope scope = LocateRecord(bare, hash, level, memo, record);
    if (scope != TVariableScope::None)
        Table(scope)->ReadRecord(*record, idx.I[0], idx.I[1], idx.I[2], idx.I[3], value, false);
    return scope;
}

TVariableScope TKelVariables::WriteFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx,
                                         int32_t level, const TCalcValue& value, bool& written, TVariableMemo& memo) {
    written = false;
    TValueData* record = nullptr;
    const TVariableScope scope = LocateRecord(bare, hash, level, memo, record);
    if (scope != TVariableScope::None)
        written = Table(scope)->WriteRecord(*record, idx.I[0], idx.I[1], idx.I[2], idx.I[3], value, false);
    return scope;
}

TVariableScope TKelVariables::WriteFound(std::string_view bare, const TVariableIndexes& idx, int32_t level,
                                         const TCalcValue& value, bool& written) {
    written = false;
    if (!bare.empty() && bare.back() == ']') {
        TVariableScope scope = FindVariable(bare, level);
        if (scope != TVariableScope::None) written = WriteElement(scope, bare, idx, level, value, false);
        return scope;
    }
    return WriteFound(bare, KelValueLib::NameHash(bare), idx, level, value, written);
}

TVariableScope TKelVariables::WriteFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx,
                                         int32_t level, const TCalcValue& value, bool& written) {
    written = false;
    TVariableLocation at = LocateBare(bare, hash, level);
    if (at.Scope == TVariableScope::None) return at.Scope;
    written = Table(at.Scope)->WriteByIndex(at.Index, idx.I[0], idx.I[1], idx.I[2], idx.I[3],
                                            TableLevel(at.Scope, level), value, false, bare);
    return at.Scope;
}

// ---- as the interpreter's IScriptVariables ----

TVariableScope TKelVariables::FindVariable(std::string_view name, int32_t level) {
    return Locate(name, level).Scope;
}

bool TKelVariables::ReadElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                                TCalcValue& value, bool force) {
    TValue* table = Table(scope);
    if (!table) {
        value = TCalcValue::ErrorValue();
        return false;
    }
    const int32_t at = TableLevel(scope, level);
    return table->ReadByIndex(table->FindIndex(name, at), idx.I[0], idx.I[1], idx.I[2], idx.I[3], at, value, force);
}

bool TKelVariables::WriteElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx,
                                 int32_t level, const TCalcValue& value, bool force) {
    TValue* table = Table(scope);
    if (!table) {
        if (ErrorReport && Log) Log->ErrorLog(MsgUndeclared() + std::string(name));
        return false;
    }
    const int32_t at = TableLevel(scope, level);
    return table->WriteByIndex(table->FindIndex(name, at), idx.I[0], idx.I[1], idx.I[2], idx.I[3], at, value, force,
                               name);
}

bool TKelVariables::Declare(TVariableScope scope, const std::string& name, const std::string& className,
                            const int32_t dims[4], int32_t level, TCalcValueType type, uint16_t flags, bool reference) {
    TValue* table = Table(scope);
    return table && table->Declare(name, className, dims[0], dims[1], dims[2], dims[3], TableLevel(scope, level), type,
                                   flags, reference ? 1 : 0);
}

bool TKelVariables::InitVariable(TVariableScope scope, std::string_view name, int32_t level, bool force) {
    TValue* table = Table(scope);
    if (!table) {
        if (ErrorReport && Log) Log->ErrorLog(MsgUndeclared() + std::string(name));
        return false;
    }
    return table->InitVariable(name, TableLevel(scope, level), force);
}

void TKelVariables::Clear(TVariableScope scope) {
    if (TValue* table = Table(scope)) table->Clear();
}

void TKelVariables::DeleteAboveOwner(int32_t level) {
    LocalVariables().DeleteAboveOwner(level);
}

std::vector<std::string> TKelVariables::VariableNames(TVariableScope scope) {
    std::vector<std::string> names;
    const TValue* table = Table(scope);
    for (int32_t i = 0; table && i < table->Count(); ++i)
        if (const TValueData* d = table->Items(i); d && d->OwnerLevel() == 0) names.push_back(d->Name());
    return names;
}

void TKelVariables::UseSystemTableOf(IScriptVariables* other) {
    auto* tables = dynamic_cast<TKelVariables*>(other);
    SetScopeTables(tables && tables != this ? &tables->SystemVariables() : nullptr, GameOverride, LocalOverride);
}

void TKelVariables::SaveToStream(TVariableScope scope, TStream& stream) {
    if (TValue* table = Table(scope)) table->SaveToStream(stream);
}

bool TKelVariables::LoadFromStream(TVariableScope scope, TStream& stream) {
    TValue* table = Table(scope);
    return table && table->LoadFromStream(stream);
}
