// The pack set: every data file of a game is read through ResolveFileName and LoadFile, which look
// in the numbered packs "GameData\data0.pack" .. "data15.pack" from the highest number down, then
// in the engine core's virtual files (through the two hooks), and early in start-up on the disk.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/uFilePack.h"
#include "foundation/uHashTable.h"
#include "platform/ClassLib.h"

// A pack with its optional name table beside it: "dataN.hash" maps each entry name to its 16-bit
// entry number (512 buckets).
class THashFilePack {
public:
    static constexpr int kNameTableBuckets = 512;

    // Forms the two names by replacing the extension of baseName (an engine path below the root)
    // with ".hash" and ".pack", loads the name table and opens the pack when their files exist. Bad
    // when either fails.
    THashFilePack(const TFileRoot& root, const std::string& baseName, bool keepOpen);

    // False without a pack. With a name table: the table maps the name to an entry of that name.
    bool Exists(std::string_view name);
    // nullptr without a pack. With a name table, a name it does not map to an entry of that name
    // gives nullptr, with no linear search. Any error while reading gives nullptr.
    std::unique_ptr<TMemoryStream> Read(std::string_view name);

    bool Bad() const { return BadFlag; }
    const std::string& Error() const { return FailureText; }  // why it is bad: file and reason
    TFilePack* Pack() const { return PackValue.get(); }
    THashTable* NameTable() const { return NameTableValue.get(); }
    const std::string& NameTableFileName() const { return HashName; }
    const std::string& PackFileName() const { return PackName; }

private:
    int64_t TableEntry(const std::string& lowerName);

    bool BadFlag = false;
    std::unique_ptr<THashTable> NameTableValue;
    std::unique_ptr<TFilePack> PackValue;
    std::string HashName;
    std::string PackName;
    std::string FailureText;
};

namespace PackLib {

constexpr int kPackSlots = 16;

std::string NormalizePath(std::string_view name);

}  // namespace PackLib

// The game's pack set, held by the game context: the packs, the hooks and the game folder it reads.
class TPackSet {
public:
    using TFileExistsHook = std::function<bool(const std::string& name)>;
    using TLoadFileHook = std::function<std::unique_ptr<TMemoryStream>(const std::string& name)>;
    using TPackErrorEvent = std::function<void(const std::string& entryName)>;

    TPackSet();
    ~TPackSet();
    TPackSet(const TPackSet&) = delete;
    TPackSet& operator=(const TPackSet&) = delete;

    // Set by the engine core (the hooks) and the main window (the error event); empty until then.
    TFileExistsHook FileExistsHook;
    TLoadFileHook LoadFileHook;
    TPackErrorEvent OnPackError;
    // The data root as a full host path ending in "/", once a pack has been found; empty before
    // that and after ClosePacks.
    std::string DataPath;

    // The game's folder the set reads the disk below, its packs and loose files alike; without one
    // nothing is read from the disk. The folder's owner hands it over before the first read and
    // takes it back (null) before the folder goes.
    void UseFiles(const TFileRoot* files);

    // Opens "data0.pack" .. "data15.pack" under the data root (which ends in "\"), an engine path
    // below the game's folder. True when at least one pack was opened. A pack (or name table) that
    // exists but cannot be opened stops the set at once with false; the packs opened before it stay
    // open. On false, failure (when given) names the file and the reason. Verification starts
    // switched off.
    bool OpenPacks(const std::string& dataRoot, std::string* failure = nullptr);
    void ClosePacks();
    bool PackExists(int n) const;
    THashFilePack* Pack(int n) const;  // nullptr for an empty slot or an n outside 0..15
    void SetPackVerify(bool on);
    // The error procedure every pack of the set gets: passes the entry name to OnPackError.
    void PackChecksumError(const std::string& entryName) const;

    // The normalised name when the file exists anywhere, else "".
    std::string ResolveFileName(std::string_view name) const;
    // A new stream at position 0, owned by the caller; nullptr when the file cannot be had.
    std::unique_ptr<TMemoryStream> LoadFile(std::string_view name) const;

private:
    std::array<std::unique_ptr<THashFilePack>, PackLib::kPackSlots> Slots;
    // The game's folder the set reads the disk below; null: none.
    const TFileRoot* Files = nullptr;
};
