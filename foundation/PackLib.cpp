#include "foundation/PackLib.h"

#include <filesystem>

#include "foundation/ShiftJis.h"
#include "foundation/uMisc.h"
#include "platform/FileRoot.h"

// ---- THashFilePack ----

namespace {
// The name with its extension (from the last "." of the last segment) replaced.
std::string ChangeExt(const std::string& name, const char* ext) {
    size_t dot = std::string::npos;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (uMisc::IsSJISLeadByte(b)) {
            ++i;
        } else if (b == '.') {
            dot = i;
        } else if (b == '\\' || b == '/' || b == ':') {
            dot = std::string::npos;
        }
    }
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ext;
}

// The lower-cased extension with its dot, or "".
std::string ExtractExt(std::string_view name) {
    const std::string n(name);
    const std::string without = ChangeExt(n, "");
    return ClassLib::LowerAscii(n.substr(without.size()));
}
}  // namespace

THashFilePack::THashFilePack(const TFileRoot& root, const std::string& baseName, bool keepOpen)
    : HashName(ChangeExt(baseName, ".hash")), PackName(ChangeExt(baseName, ".pack")) {
    if (root.FileExists(HashName)) {
        NameTableValue = std::make_unique<THashTable>(kNameTableBuckets);
        NameTableValue->ValueSize = 2;
        if (!NameTableValue->LoadFromFile(root, HashName)) {
            BadFlag = true;
            FailureText = HashName + ": the name table cannot be read";
        }
    }
    if (root.FileExists(PackName)) {
        PackValue = std::make_unique<TFilePack>(root, PackName, keepOpen);
        if (PackValue->Invalid() || !PackValue->Opened()) {
            BadFlag = true;
            FailureText = PackName + ": " + PackValue->Error();
        }
    }
}

// The entry number the name table gives, when that entry has this name; else -1. A table that
// names another entry is wrong, and is not believed.
int64_t THashFilePack::TableEntry(const std::string& lowerName) {
    uint16_t number = 0;
    if (!NameTableValue->Get(lowerName, &number, 2)) return -1;
    if (number >= PackValue->Count() || PackValue->EntryName(number) != lowerName) return -1;
    return number;
}

bool THashFilePack::Exists(std::string_view name) {
    if (!PackValue) return false;
    const std::string lower = ClassLib::LowerAscii(name);
    if (NameTableValue) return TableEntry(lower) >= 0;
    return PackValue->Contains(lower);
}

std::unique_ptr<TMemoryStream> THashFilePack::Read(std::string_view name) {
    if (!PackValue) return nullptr;
    try {
        const std::string lower = ClassLib::LowerAscii(name);
        if (NameTableValue) return PackValue->ReadByIndex(TableEntry(lower));
        return PackValue->ReadByName(lower);
    } catch (const std::exception&) {
        return nullptr;
    }
}

// ---- the pack set ----

namespace PackLib {

std::string NormalizePath(std::string_view name) {
    std::string r;
    r.reserve(name.size());
    for (size_t i = 0; i < name.size();) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (uMisc::IsSJISLeadByte(b) && i + 1 < name.size()) {
            r.append(name.substr(i, 2));
            i += 2;
            continue;
        }
        ++i;
        if (b == '/' || b == '\\') {
            if (r.empty()) continue;  // leading separators vanish
            r.push_back('\\');
            if (i < name.size() && name[i] == '\\') ++i;  // two backslashes become one
            continue;
        }
        r.push_back(static_cast<char>(b));
    }
    if (r.find("..") == std::string::npos) return r;

    std::vector<std::string> items = uMisc::SplitString("\\", r, false, false, 0)->Items;
    for (size_t i = 0; i < items.size();) {
        if (i >= 1 && items[i] == ".." && items[i - 1] != "..") {
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i - 1),
                        items.begin() + static_cast<std::ptrdiff_t>(i + 1));
            --i;
        } else {
            ++i;
        }
    }
    std::string joined;
    for (const auto& item : items) {
        if (!joined.empty()) joined.push_back('\\');
        joined += item;
    }
    return joined;
}

}  // namespace PackLib

TPackSet::TPackSet() = default;
TPackSet::~TPackSet() = default;

void TPackSet::UseFiles(const TFileRoot* files) {
    Files = files;
}

bool TPackSet::OpenPacks(const std::string& dataRoot, std::string* failure) {
    int opened = 0;
    if (failure) failure->clear();
    for (int n = 0; n < PackLib::kPackSlots; ++n) {
        Slots[static_cast<size_t>(n)].reset();
        const std::string name = dataRoot + "data" + std::to_string(n) + ".pack";
        if (!Files || !Files->FileExists(name)) continue;
        if (DataPath.empty()) {
            std::error_code ec;
            const std::string host = Files->HostPath(dataRoot);
            DataPath = std::filesystem::absolute(host.empty() ? std::string(".") : host, ec).string();
            if (DataPath.empty() || DataPath.back() != '/') DataPath += '/';
        }
        auto pack = std::make_unique<THashFilePack>(*Files, name, true);
        // A damaged pack stops the set at once: running on without it would show older data.
        if (pack->Bad()) {
            if (failure) *failure = pack->Error();
            return false;
        }
        pack->Pack()->ErrorProc = [this](const std::string& entryName) { PackChecksumError(entryName); };
        Slots[static_cast<size_t>(n)] = std::move(pack);
        ++opened;
    }
    SetPackVerify(false);
    if (opened == 0 && failure) *failure = "no pack " + dataRoot + "data0.pack .. data15.pack";
    return opened > 0;
}

void TPackSet::ClosePacks() {
    for (auto& s : Slots)
        s.reset();
    DataPath.clear();
}

bool TPackSet::PackExists(int n) const {
    return Pack(n) != nullptr;
}

THashFilePack* TPackSet::Pack(int n) const {
    if (n < 0 || n >= PackLib::kPackSlots) return nullptr;
    return Slots[static_cast<size_t>(n)].get();
}

void TPackSet::SetPackVerify(bool on) {
    for (auto& s : Slots)
        if (s && s->Pack()) s->Pack()->Verify = on;
}

void TPackSet::PackChecksumError(const std::string& entryName) const {
    if (OnPackError) OnPackError(entryName);
}

std::string TPackSet::ResolveFileName(std::string_view name) const {
    if (name.empty()) return std::string();
    const std::string n = PackLib::NormalizePath(name);
    if (Files && Files->FileExists(n)) return n;
    for (int k = PackLib::kPackSlots - 1; k >= 0; --k)
        if (Slots[static_cast<size_t>(k)] && Slots[static_cast<size_t>(k)]->Exists(n)) return n;
    if (FileExistsHook && FileExistsHook(n)) return n;
    return std::string();
}

std::unique_ptr<TMemoryStream> TPackSet::LoadFile(std::string_view name) const {
    const std::string n = ResolveFileName(name);
    if (n.empty()) return nullptr;
    for (int k = PackLib::kPackSlots - 1; k >= 0; --k) {
        auto& pack = Slots[static_cast<size_t>(k)];
        if (pack && pack->Exists(n)) return pack->Read(n);  // final, nil included
    }
    if (LoadFileHook) return LoadFileHook(n);
    // Scenario scripts are never read from the disk here.
    if (ExtractExt(name) != ".s" && Files && Files->FileExists(n)) {
        auto s = std::make_unique<TMemoryStream>();
        if (s->LoadFromFile(*Files, n)) return s;
    }
    return nullptr;
}
