// Script variables: three tables per interpreter (system "svar", game "gvar", local "var"), each a
// list of records. A variable always holds an array, with one to four dimensions, whose elements
// are all integers, all strings or all object names; a plain variable is a one-element array. Object arrays may own
// script objects: growing one creates its objects, shrinking or deleting it frees them, and saving or loading it saves
// or loads their states, all through four callbacks of the interpreter.
//
// Records are kept in declaration order; a look-up takes the first record whose owner level, name
// hash and name (without regard to case) match, and the stream keeps that order. A hash index over
// (owner level, name hash) finds the candidates; it never changes which record is found.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/ClassLib.h"
#include "script/KelCalcValue.h"
#include "script/KelScriptSeams.h"

namespace KelValueLib {
// Variable flags.
constexpr uint16_t kReadable = 1, kWritable = 2, kDeletable = 4;
constexpr uint16_t kAllRights = 0xFF;    // "int", "str", "obj" declared by scripts
constexpr uint16_t kOwningArray = 0xFD;  // object-kind declarations: readable, deletable, not writable
// The most elements one array may hold. Declarations above it are refused: no game needs them,
// and a typo in a dimension must not exhaust memory.
constexpr int64_t kMaxElements = int64_t{1} << 22;

// The name hash: the weighted byte sum of the name with ASCII letters lower-cased (never the
// trail byte of a two-byte character).
uint32_t NameHash(std::string_view name);
// Equality without regard to ASCII case, two-byte characters kept whole.
bool SameName(std::string_view a, std::string_view b);
// The integer reading of a text as 32 bits (uMisc::TryStrToInt with "$" or "0x" for hexadecimal);
// 0 when the text is not such a number.
int32_t StrToIntDef0(std::string_view text);
// The message for a declaration or reference with more than four dimensions or indexes, to which
// the name is appended.
const std::string& TooManyIndexesMessage();
}  // namespace KelValueLib

// One array: name, dimensions and elements. d0 is the last dimension written in a declaration and
// i0 the last index written; the flat index is i0 + i1*d0 + i2*d0*d1 + i3*d0*d1*d2, and only the
// flat index is checked against the element count.
class TValueArrayCustom {
public:
    TValueArrayCustom(std::string name, TCalcValueType elementType) : Name(std::move(name)), ElementType(elementType) {}
    virtual ~TValueArrayCustom() = default;
    TValueArrayCustom(const TValueArrayCustom&) = delete;
    TValueArrayCustom& operator=(const TValueArrayCustom&) = delete;

    virtual void SetLength(int32_t count) = 0;
    // Reads element flat into value: integer (0, v, empty), string (1, 0, text), object (2, 0, name).
    // False (value untouched) outside the array.
    virtual bool ReadElement(int64_t flat, TCalcValue& value) const = 0;
    // Stores the field of value that this array's element type keeps; false outside the array.
    virtual bool WriteElement(int64_t flat, const TCalcValue& value) = 0;
    // Dimensions, count, elements.
    virtual void SaveToStream(TStream& stream) const;
    // Dimensions, count, elements, into a new array. False when the stream is damaged or too
    // short; an object array then keeps the elements whose loads completed.
    virtual bool LoadFromStream(TStream& stream);

    // Sets the dimensions and the length to their product; 0, 0, 0, 0 empties the array. Ignored
    // when CheckedCount refuses the dimensions.
    void SetDimensions(int32_t d0, int32_t d1, int32_t d2, int32_t d3);
    // The product of the dimensions, or -1 when a dimension is negative or the product exceeds
    // kMaxElements.
    static int64_t CheckedCount(int32_t d0, int32_t d1, int32_t d2, int32_t d3);
    // The flat index of an element, in 64 bits so that no index wraps into the array.
    int64_t FlatIndex(int32_t i0, int32_t i1, int32_t i2, int32_t i3) const;

    std::string Name;                  // as declared, case kept
    std::string ClassName;             // object arrays: the declaring type keyword; empty for others
    const TCalcValueType ElementType;  // Integer, String or Object
    int32_t Count = 0;                 // number of elements
    uint8_t Reference = 0;             // object arrays: 1 names only, 0 owns its objects
    int32_t OwnerNumber = 0;           // object arrays: the declaring level, part of element names
    std::array<int32_t, 4> Dims{0, 0, 0, 0};

protected:
    // The elements as the stream holds them; called with the count already set.
    virtual void SaveElements(TStream& stream) const = 0;
    virtual bool LoadElements(TStream& stream, int32_t count) = 0;
};

class TValueArrayInteger final : public TValueArrayCustom {
public:
    explicit TValueArrayInteger(std::string name) : TValueArrayCustom(std::move(name), TCalcValueType::Integer) {}
    void SetLength(int32_t count) override;
    bool ReadElement(int64_t flat, TCalcValue& value) const override;
    bool WriteElement(int64_t flat, const TCalcValue& value) override;
    std::vector<int32_t> Items;

protected:
    void SaveElements(TStream& stream) const override;
    bool LoadElements(TStream& stream, int32_t count) override;
};

class TValueArrayString final : public TValueArrayCustom {
public:
    explicit TValueArrayString(std::string name) : TValueArrayCustom(std::move(name), TCalcValueType::String) {}
    void SetLength(int32_t count) override;
    bool ReadElement(int64_t flat, TCalcValue& value) const override;
    bool WriteElement(int64_t flat, const TCalcValue& value) override;
    std::vector<std::string> Items;

protected:
    void SaveElements(TStream& stream) const override;
    bool LoadElements(TStream& stream, int32_t count) override;
};

// Object names. An owning array (Reference 0) names its element k "<owner>_<name>,<k>" and
// creates and frees the object of each element as the length changes; a reference array only
// holds names.
class TValueArrayObject final : public TValueArrayCustom {
public:
    TValueArrayObject(std::string name, std::string className, uint8_t reference, int32_t ownerNumber,
                      const TObjectVariableCallbacks& callbacks);
    ~TValueArrayObject() override;  // frees the owned objects
    void SetLength(int32_t count) override;
    bool ReadElement(int64_t flat, TCalcValue& value) const override;
    bool WriteElement(int64_t flat, const TCalcValue& value) override;
    std::string ElementName(int32_t k) const;
    std::vector<std::string> Items;

protected:
    void SaveElements(TStream& stream) const override;
    bool LoadElements(TStream& stream, int32_t count) override;

private:
    TObjectVariableCallbacks Callbacks;
};

// One variable: its owner level, flags, name hash and array. Level and hash are fixed at creation
// (the table indexes by them); the flags may change.
class TValueData {
public:
    int16_t OwnerLevel() const { return Level; }
    uint32_t NameHash() const { return Hash; }
    TValueArrayCustom* Array() const { return ArrayData.get(); }
    // The variable's name; for a record without array the name it was loaded with.
    const std::string& Name() const { return ArrayData ? ArrayData->Name : StoredName; }
    bool Readable() const { return (Flags & KelValueLib::kReadable) != 0; }
    bool Writable() const { return (Flags & KelValueLib::kWritable) != 0; }
    bool Deletable() const { return (Flags & KelValueLib::kDeletable) != 0; }

    uint16_t Flags = 7;

private:
    friend class TValue;
    int16_t Level = 0;
    uint32_t Hash = 0;
    std::unique_ptr<TValueArrayCustom> ArrayData;
    // A loaded record of an unknown element type has no array; it keeps its two names so that it
    // is saved again as it came, and no look-up ever finds it.
    std::string StoredName, StoredClassName;
    int32_t Position = 0;  // index in the table's list
};

using TValueIndexes = std::array<int32_t, 4>;  // i0 (last written) .. i3

// The record a look-up by name found in one table at one owner level, kept by a caller that looks
// the same name up again and again, with the level's version (TValue::LevelVersion) at the time.
struct TRecordMemo {
    uint64_t Version = 0;
    int32_t Level = 0;
    TValueData* Record = nullptr;
};

// One variable table.
class TValue {
public:
    explicit TValue(const TObjectVariableCallbacks& callbacks);
    ~TValue();  // Clear
    TValue(const TValue&) = delete;
    TValue& operator=(const TValue&) = delete;

    // Declares a variable of element type 0, 1 or 2 at the level. False for an empty name, a name
    // already declared at this level, another type, or an element count above kMaxElements (that
    // one with a message).
    bool Declare(std::string_view name, std::string_view className, int32_t d0, int32_t d1, int32_t d2, int32_t d3,
                 int32_t level, TCalcValueType type, uint16_t flags, uint8_t reference);
    // The same with the name's hash (KelValueLib::NameHash) computed by the caller, giving the new
    // record or nullptr.
    TValueData* Declare(std::string_view name, uint32_t hash, std::string_view className, int32_t d0, int32_t d1,
                        int32_t d2, int32_t d3, int32_t level, TCalcValueType type, uint16_t flags, uint8_t reference);
    // Frees the record when force is set or it is deletable. True when the record was found, also
    // when it stays.
    bool Delete(std::string_view name, int32_t level, bool force);
    void Clear();
    // Frees every record whose owner level is above the level (a subroutine returned).
    void DeleteAboveOwner(int32_t level);

    // The first record with this owner level whose name equals the name without regard to case;
    // -1 when none.
    int32_t FindIndex(std::string_view name, int32_t level) const;
    // The same with the name's hash (KelValueLib::NameHash) computed by the caller.
    int32_t FindIndex(std::string_view name, uint32_t hash, int32_t level) const;
    // The record FindIndex finds, through a memo of the last answer for this name; nullptr when
    // there is none.
    TValueData* FindRecord(std::string_view name, uint32_t hash, int32_t level, TRecordMemo& memo) const;

    bool ReadByIndex(int32_t recordIndex, int32_t i0, int32_t i1, int32_t i2, int32_t i3, int32_t level,
                     TCalcValue& value, bool force);
    // The same for a record of this table.
    bool ReadRecord(TValueData& record, int32_t i0, int32_t i1, int32_t i2, int32_t i3, TCalcValue& value, bool force);
    bool WriteRecord(TValueData& record, int32_t i0, int32_t i1, int32_t i2, int32_t i3, const TCalcValue& value,
                     bool force);
    // askedName names the variable in the message for a record index that names no record.
    bool WriteByIndex(int32_t recordIndex, int32_t i0, int32_t i1, int32_t i2, int32_t i3, int32_t level,
                      const TCalcValue& value, bool force, std::string_view askedName = {});
    bool WriteValue(std::string_view name, const TValueIndexes& indexes, bool force, const TCalcValue& value,
                    int32_t level);
    bool WriteInteger(std::string_view name, const TValueIndexes& indexes, bool force, int32_t value, int32_t level);
    bool WriteString(std::string_view name, const TValueIndexes& indexes, bool force, std::string_view text,
                     int32_t level);
    bool WriteObject(std::string_view name, const TValueIndexes& indexes, bool force, std::string_view objectName,
                     int32_t level);
    // Every element back to 0, empty text or empty name; no object is created or freed.
    bool InitVariable(std::string_view name, int32_t level, bool force);
    // The same for a record of this table; name is the name asked for, for the message.
    bool InitRecord(TValueData& record, std::string_view name, bool force);

    void SaveToStream(TStream& stream) const;
    // Clears the table, then reads it. False when the stream is damaged or too short: the records
    // read completely stay, the one being read is dropped (with any objects it had loaded).
    bool LoadFromStream(TStream& stream);

    int32_t Count() const { return static_cast<int32_t>(List.size()); }
    TValueData* Items(int32_t index) const;  // nullptr outside the list

    // A number that changes whenever a record of the owner level is added to or taken from the
    // table (also by Clear and LoadFromStream). No two tables and no two states of a level ever
    // share a number, so a look-up remembered with the numbers of the levels it searched stays
    // right while they stay the same.
    uint64_t LevelVersion(int32_t level) const {
        return static_cast<uint32_t>(level) < static_cast<uint32_t>(kCountedLevels)
                   ? LevelVersions[static_cast<size_t>(level)]
                   : OtherVersion;
    }

    bool ErrorReport = true;  // messages are written only while set

private:
    void Report(std::string_view message, std::string_view name) const;
    // resumes: the record is the next one of the retired frame being declared again.
    void Append(std::unique_ptr<TValueData> record, bool resumes = false);
    std::unique_ptr<TValueData> Detach(int32_t index);
    static uint64_t Key(int32_t level, uint32_t hash);

    TObjectVariableCallbacks Callbacks;
    std::vector<std::unique_ptr<TValueData>> List;
    // (owner level, name hash) -> the records with that key, in list order. Records without an
    // array are not indexed. Every variable read goes through it, so it is open addressing on a
    // power of two; a key whose records are all gone keeps its slot (as a free list for the next
    // declaration of that key) until the table grows.
    class TRecordIndex {
    public:
        const std::vector<TValueData*>* Find(uint64_t key) const {
            if (Slots.empty()) return nullptr;
            for (size_t i = Mix(key) & Mask;; i = (i + 1) & Mask) {
                if (!Slots[i].Used) return nullptr;
                if (Slots[i].Key == key) return &Slots[i].Records;
            }
        }
        std::vector<TValueData*>* Find(uint64_t key) {
            return const_cast<std::vector<TValueData*>*>(std::as_const(*this).Find(key));
        }
        std::vector<TValueData*>& Get(uint64_t key);
        void Clear() {
            Slots.clear();
            Mask = Used = 0;
        }

    private:
        struct TSlot {
            bool Used = false;
            uint64_t Key = 0;
            std::vector<TValueData*> Records;
        };
        static size_t Mix(uint64_t key) {
            key ^= key >> 31;
            key *= 0x9E3779B97F4A7C15ull;
            return static_cast<size_t>(key ^ (key >> 29));
        }
        std::vector<TSlot> Slots;
        size_t Mask = 0, Used = 0;
    };
    TRecordIndex Index;
    // Records per owner level, for the levels 0 to kCountedLevels - 1.
    static constexpr int32_t kCountedLevels = 256;
    std::vector<int32_t> LevelRecords;
    int32_t UncountedRecords = 0;  // records of other levels
    void CountAtLevel(int32_t level, int32_t change);
    // LevelVersion: the number of each counted level, and the one of all other levels.
    std::array<uint64_t, kCountedLevels> LevelVersions{};
    uint64_t OtherVersion = 0;
    void ResetVersions();
    // Integer and string records freed by DeleteAboveOwner (subroutine parameters and locals),
    // kept for the next declarations of their element type; freeing them has no other effect.
    std::vector<std::unique_ptr<TValueData>> Spare;
    std::unique_ptr<TValueData> TakeSpare(TCalcValueType type, std::string_view name);
    std::unique_ptr<TValueData> TakeSpareAt(size_t i, std::string_view name);
    // The records one return took from a single level, all kept as spares, in list order, with the
    // level's version before. A subroutine declares the same parameters on every call: when the
    // next declarations at that level take exactly these records again, in this order, the level
    // holds what it held then, and gets its version back, so that the look-ups remembered for it
    // hold again. Any other change of the table ends the frame.
    struct TRetiredFrame {
        bool Valid = false;
        int32_t Level = 0;
        uint64_t Version = 0;
        std::vector<TValueData*> Records;
        size_t Declared = 0;  // how many of them are declared again
    };
    TRetiredFrame Retired;
    // The list DeleteAboveOwner detaches into, kept for its storage (taken out while in use).
    std::vector<std::unique_ptr<TValueData>> Detached;
};

// What the variable code needs of the expression evaluator.
class IVariableEvaluator {
public:
    virtual ~IVariableEvaluator() = default;
    // Evaluates an expression at an owner level (dimension and index expressions).
    virtual TCalcValue Calculate(const std::string& text, int32_t level) = 0;
    // The name and the index expressions of a token: a[i,j+1] gives a, i, j+1; a token that does
    // not end with "]" gives itself alone; an empty token gives nothing.
    virtual std::unique_ptr<TStringList> IndexList(const std::string& token) = 0;
};

struct TVariableLocation {
    TVariableScope Scope = TVariableScope::None;
    int32_t Index = -1;  // record index in the table of that scope
};

// Where a scope search for one name found its record, kept beside the name by a caller that looks
// it up again and again, with the versions of the three table levels the search went through.
// Handed back to the search, it stands for the search while those versions stay.
struct TVariableMemo {
    int32_t Level = 0;
    uint64_t LocalVersion = 0, GameVersion = 0, SystemVersion = 0;
    TVariableScope Scope = TVariableScope::None;
    TValueData* Record = nullptr;
};

// The variable part of an evaluator: its three own tables, the overrides that replace them, and
// the scope search from the local table (at the caller's level) to the game table to the system
// table (both at level 0). It serves the interpreter as its IScriptVariables. Names with index
// lists and declarations need the evaluator, which is linked at construction or later.
class TKelVariables final : public IScriptVariables {
public:
    explicit TKelVariables(const TObjectVariableCallbacks& callbacks, IVariableEvaluator* evaluator = nullptr);
    TKelVariables(const TObjectVariableCallbacks& callbacks, IVariableEvaluator& evaluator)
        : TKelVariables(callbacks, &evaluator) {}
    void SetEvaluator(IVariableEvaluator* evaluator) { Evaluator = evaluator; }

    // The tables in use: the override when set, else the own table.
    TValue& SystemVariables() const { return SystemOverride ? *SystemOverride : *OwnSystem; }
    TValue& GameVariables() const { return GameOverride ? *GameOverride : *OwnGame; }
    TValue& LocalVariables() const { return LocalOverride ? *LocalOverride : *OwnLocal; }
    TValue* Table(TVariableScope scope) const;
    // Overrides, not owned; nullptr returns to the own table.
    void SetScopeTables(TValue* system, TValue* game, TValue* local);
    // The flag of this part ("未定義の変数：" of SetVariable) and of each table in use.
    void SetErrorReport(bool flag) override;

    // A name with an index list is looked up by its bare name: the scope and the record index.
    TVariableLocation Locate(std::string_view name, int32_t level) const;
    // FindVariable and then ReadElement (WriteElement without force) of a bare name, with one
    // scope search: the scope found, None (value untouched, nothing reported) when no scope holds
    // the name. The evaluator's operand reads and assignments.
    TVariableScope ReadFound(std::string_view bare, const TVariableIndexes& idx, int32_t level, TCalcValue& value);
    TVariableScope WriteFound(std::string_view bare, const TVariableIndexes& idx, int32_t level,
                              const TCalcValue& value, bool& written);
    // The same for a name without index list whose hash (KelValueLib::NameHash) is known.
    TVariableScope ReadFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx, int32_t level,
                             TCalcValue& value);
    TVariableScope WriteFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx, int32_t level,
                              const TCalcValue& value, bool& written);
    // The same with a memo of the search, which they use when it still holds and fill otherwise.
    TVariableScope ReadFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx, int32_t level,
                             TCalcValue& value, TVariableMemo& memo);
    TVariableScope WriteFound(std::string_view bare, uint32_t hash, const TVariableIndexes& idx, int32_t level,
                              const TCalcValue& value, bool& written, TVariableMemo& memo);
    TVariableScope GetVariableScope(std::string_view name, int32_t level) const;
    // A declaration is a name with an optional bracketed list of up to four dimension expressions.
    // False, silently, when the name is visible from this level already.
    bool DeclareVariable(std::string_view declaration, const std::string& className, bool reference, uint16_t flags,
                         TVariableScope scope, TCalcValueType type, int32_t level) override;
    bool DeleteVariable(std::string_view name, int32_t level) override;
    bool InitVariable(std::string_view name, int32_t level);
    // Writes a name with an optional index list, found by the scope search, without force.
    bool SetVariable(std::string_view name, int32_t level, const TCalcValue& value);
    bool SetVariableInteger(std::string_view name, int32_t level, int32_t value);
    // Reads a name with an optional index list. The scope it was found in; None (no message, the
    // value untouched) when no scope holds it, so that the caller can word the message.
    TVariableScope ReadVariable(std::string_view name, int32_t level, TCalcValue& value);

    // The bare name and the evaluated indexes of a reference (last written first; missing ones
    // 0). False, with a message, for more than four indexes.
    bool EvaluateIndexes(std::string_view name, int32_t level, std::string& bareName, TValueIndexes& indexes);

    // ---- IScriptVariables: bare names; the local table at the level, the others at level 0 ----
    TVariableScope FindVariable(std::string_view name, int32_t level) override;
    bool ReadElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                     TCalcValue& value, bool force) override;
    bool WriteElement(TVariableScope scope, std::string_view name, const TVariableIndexes& idx, int32_t level,
                      const TCalcValue& value, bool force) override;
    bool Declare(TVariableScope scope, const std::string& name, const std::string& className, const int32_t dims[4],
                 int32_t level, TCalcValueType type, uint16_t flags, bool reference) override;
    bool InitVariable(TVariableScope scope, std::string_view name, int32_t level, bool force) override;
    void Clear(TVariableScope scope) override;
    void DeleteAboveOwner(int32_t level) override;
    // The system table in use by the other tables becomes this one's system override; the game and
    // local tables stay this one's own.
    void UseSystemTableOf(IScriptVariables* other) override;
    std::vector<std::string> VariableNames(TVariableScope scope) override;
    void SaveToStream(TVariableScope scope, TStream& stream) override;
    bool LoadFromStream(TVariableScope scope, TStream& stream) override;

    bool ErrorReport = true;

private:
    TVariableLocation LocateBare(std::string_view bare, uint32_t hash, int32_t level) const;
    // The scope and record of a bare name, through the memo when it holds; None when no scope holds
    // the name.
    TVariableScope LocateRecord(std::string_view bare, uint32_t hash, int32_t level, TVariableMemo& memo,
                                TValueData*& record) const;
    std::unique_ptr<TStringList> Split(std::string_view name) const;
    std::string BareName(std::string_view name) const;
    static int32_t TableLevel(TVariableScope scope, int32_t level) {
        return scope == TVariableScope::Local ? level : 0;
    }

    IVariableEvaluator* Evaluator = nullptr;
    TErrorLog* Log = nullptr;  // the callbacks' log
    std::unique_ptr<TValue> OwnSystem, OwnGame, OwnLocal;
    TValue* SystemOverride = nullptr;
    TValue* GameOverride = nullptr;
    TValue* LocalOverride = nullptr;
};
