#include "script/KelFileIO.h"

#include "foundation/PackLib.h"
#include "foundation/StreamStrings.h"

TFileIOLib::TFileIOLib(const TPackSet& packs) : Packs(packs), LineList(std::make_unique<TStringList>()) {}

void TFileIOLib::Clear() {
    LineList->Clear();
    Name.clear();
}

bool TFileIOLib::LoadFile(std::string_view name) {
    const std::string resolved = Packs.ResolveFileName(name);
    if (resolved.empty()) return false;
    const std::unique_ptr<TMemoryStream> stream = Packs.LoadFile(resolved);
    if (!stream) return false;
    stream->SetPosition(0);
    LineList->LoadFromStream(*stream);
    Name = resolved;
    return true;
}

std::string TFileIOLib::GetValue(std::string_view key) const {
    return LineList->Values(key);
}

std::string TFileIOLib::GetLine(int32_t index) const {
    if (index < 0 || index >= LineList->Count()) return std::string();
    return (*LineList)[index];
}

bool TFileIOLib::SaveToStream(TStream* stream) const {
    if (!stream) return false;
    uMisc::WriteStreamString(stream, Name);
    return true;
}

bool TFileIOLib::LoadFromStream(TStream* stream) {
    std::string name;
    if (!uMisc::ReadStreamString(stream, name)) return false;
    Clear();
    if (!name.empty()) LoadFile(name);
    return true;
}
