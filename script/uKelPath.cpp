#include "script/uKelPath.h"

#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "platform/LittleEndian.h"

namespace uKelPath {

bool EndsWithBackslash(std::string_view text) {
    size_t i = 0;
    bool last = false;
    while (i < text.size()) {
        const auto b = static_cast<uint8_t>(text[i]);
        if (uMisc::IsSJISLeadByte(b) && i + 1 < text.size()) {
            last = false;
            i += 2;
        } else {
            last = b == '\\';
            ++i;
        }
    }
    return last;
}

bool PackFileExists(const TPackSet& packs, const std::string& name) {
    return !packs.ResolveFileName(name).empty();
}

}  // namespace uKelPath

// ---- TKelStringList ----

TKelStringList::TKelStringList() : List(std::make_unique<TStringList>()) {}

void TKelStringList::Clear() {
    List->Clear();
}

void TKelStringList::Add(std::string_view text) {
    if (IndexOf(text) < 0) List->Add(std::string(text));
}

void TKelStringList::Remove(std::string_view text) {
    const int32_t i = IndexOf(text);
    if (i >= 0) List->Delete(i);
}

bool TKelStringList::SaveToStream(TStream* stream) {
    if (!stream) return false;
    LittleEndian::Write32(*stream, static_cast<uint32_t>(List->Count()));
    for (const std::string& s : List->Items)
        uMisc::WriteStreamString(stream, s);
    return true;
}

bool TKelStringList::ReadStrings(TStream* stream, TStringList& out) {
    if (!stream) return false;
    uint32_t count = 0;
    if (!LittleEndian::Read32(*stream, count)) return false;
    // Every string takes at least its 2-byte length.
    if (static_cast<uint64_t>(count) * 2 > static_cast<uint64_t>(stream->Remaining())) return false;
    out.Items.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string s;
        if (!uMisc::ReadStreamString(stream, s)) return false;
        out.Items.push_back(std::move(s));
    }
    return true;
}

bool TKelStringList::LoadFromStream(TStream* stream) {
    TStringList read;
    if (!ReadStrings(stream, read)) return false;
    Clear();
    List->Items = std::move(read.Items);
    return true;
}

// ---- TKelPath ----

void TKelPath::Clear() {
    TKelStringList::Clear();
    Lock = 0;
}

void TKelPath::Add(std::string_view folder) {
    std::string f(folder);
    if (!uKelPath::EndsWithBackslash(f)) f += '\\';
    TKelStringList::Add(f);
}

bool TKelPath::SaveToStream(TStream* stream) {
    if (!TKelStringList::SaveToStream(stream)) return false;
    stream->WriteBuffer(&Lock, 1);
    return true;
}

bool TKelPath::LoadFromStream(TStream* stream) {
    TStringList read;
    if (!ReadStrings(stream, read)) return false;
    uint8_t lock = 0;
    if (stream->Read(&lock, 1) != 1) return false;
    List->Items = std::move(read.Items);
    Lock = lock;
    return true;
}

bool TKelPath::Resolve(std::string_view name, bool notify, std::string& found) const {
    found.clear();
    if (!OnFileExists) return false;
    std::string hit;
    std::string candidate(name);
    if (OnFileExists(candidate)) {
        hit = std::move(candidate);
    } else {
        for (const std::string& folder : List->Items) {
            candidate = folder;
            candidate += name;
            if (OnFileExists(candidate)) {
                hit = std::move(candidate);
                break;
            }
        }
    }
    if (hit.empty()) return false;
    if (notify && OnFileFound) OnFileFound(hit);
    found = std::move(hit);
    return true;
}
