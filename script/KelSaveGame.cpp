// Save games and the system data of the interpreter (declared with TKelScript in KelScriptLib.h).
//
// Body of a save game, the records one after another, each in its owner's own stream format:
//    1  thread: routines, blocks, waits             10  camera
//    2  reader: position, current line, replaces    11  movie object
//    3  search folders and their lock flag          12  text-input dialog settings
//    4  back-log                                    13  game variables, with the objects they own
//    5  sound: effect channels, then streams        14  local variables
//    6  wait cursor                                 15  (nothing: no host adds a record here)
//    7  system cursor                               16  the 1199-byte state block
//    8  compositor: record, transition image,       17  1 byte: read-text logging suspended
//       captures                                    18  1 byte: file-use logging suspended, then the
//    9  key bindings and their lock flag                64 file-log patterns as short strings of 15
// Records 4, 5, 8, 10 and 11 belong to services above the script engine and go through the
// registry's save-record service (IScriptSaveRecords).
//
// "SystemData.dat" in the save folder is a checked stream of a 304-byte header (offset 0: magic
// "KELSYSDATA12", NUL-padded to 16 bytes; offset 16: the 32-byte check block of the key; the rest
// zero) and three blocks, each a u32 size and its bytes: the system variables (byte-pair
// compressed, then scrambled with the key), the file-use log and the read-text log.
#include <algorithm>
#include <exception>

#include "foundation/CheckedStream.h"
#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/ShiftJis.h"
#include "foundation/SystemConfigLib.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"
#include "script/uLabelLog.h"

namespace {

constexpr int32_t kSystemHeaderSize = 304;
constexpr int32_t kMagicSize = 16;
constexpr const char* kSystemMagic = "KELSYSDATA12";
constexpr int32_t kPatternCapacity = 15;
constexpr uint32_t kWholeScreen = 0xFFFF;

uint32_t Key(const TKelScript& s) {
    return s.Config().Config.CodeKey;
}

std::string_view Bytes(const TMemoryStream& s) {
    return {reinterpret_cast<const char*>(s.Memory()), static_cast<size_t>(s.Data.size())};
}

void WriteBlock(TStream& s, std::string_view bytes) {
    LittleEndian::Write32(s, static_cast<uint32_t>(bytes.size()));
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

bool ReadBlock(TStream& s, std::string& bytes) {
    uint32_t size = 0;
    if (!LittleEndian::Read32(s, size) || size > s.Remaining()) return false;
    bytes.assign(size, '\0');
    s.ReadBuffer(bytes.data(), size);
    return true;
}

// A label log's record, or that of an empty log when the interpreter has none.
std::string LabelLogBytes(TLabelLog* log) {
    TLabelLog empty;
    TMemoryStream s;
    (log ? log : &empty)->SaveToStream(&s);
    return std::string(Bytes(s));
}

bool LabelLogLoads(const std::string& bytes, TLabelLog& log) {
    TMemoryStream s(bytes);
    return log.LoadFromStream(&s) && s.Remaining() == 0;
}

}  // namespace

// ---- save games ----

void TKelScript::WriteGameBody(TStream& s) {
    IScriptSaveRecords* records = Kinds ? Kinds->SaveRecords() : nullptr;
    bool ok = true;
    auto record = [&](TSaveRecord which) {
        if (records) ok = records->Save(*this, which, s) && ok;
    };
    auto cursor = [&](IScriptCursorImage* image) {
        if (image) ok = image->SaveToStream(s) && ok;
    };
    ok = Thread->SaveToStream(&s);
    Reader->SaveToStream(&s);
    ok = Path->SaveToStream(&s) && ok;
    record(TSaveRecord::BackLog);
    record(TSaveRecord::Sound);
    cursor(Links.Cursor);
    cursor(Links.SystemCursor);
    record(TSaveRecord::Compositor);
    ok = SystemKeys->SaveToStream(&s) && ok;
    record(TSaveRecord::Camera);
    record(TSaveRecord::Movie);
    if (Links.TextDialog) Links.TextDialog->SaveToStream(&s);
    Variables->SaveToStream(TVariableScope::Game, s);
    Variables->SaveToStream(TVariableScope::Local, s);
    State.Write(s);
    TRecordWriter flags(2 + 64 * (kPatternCapacity + 1));
    flags.U8(ReadLogSuspended);
    flags.U8(FileLogSuspended);
    for (const auto& pattern : FileLogPatterns)
        flags.Short(pattern, kPatternCapacity);
    flags.WriteTo(s);
    if (!ok) throw EStreamError("a record of the game could not be written");
}

bool TKelScript::ReadGameBody(TStream& s) {
    IScriptSaveRecords* records = Kinds ? Kinds->SaveRecords() : nullptr;
    auto record = [&](TSaveRecord which) { return !records || records->Load(*this, which, s); };
    auto cursor = [&](IScriptCursorImage* image) { return !image || image->LoadFromStream(s); };
    if (!Thread->LoadFromStream(&s) || !Reader->LoadFromStream(&s) || !Path->LoadFromStream(&s)) return false;
    if (!record(TSaveRecord::BackLog) || !record(TSaveRecord::Sound)) return false;
    if (!cursor(Links.Cursor) || !cursor(Links.SystemCursor) || !record(TSaveRecord::Compositor)) return false;
    if (!SystemKeys->LoadFromStream(&s) || !record(TSaveRecord::Camera) || !record(TSaveRecord::Movie)) return false;
    if (Links.TextDialog && !Links.TextDialog->LoadFromStream(&s)) return false;
    if (!Variables->LoadFromStream(TVariableScope::Game, s) || !Variables->LoadFromStream(TVariableScope::Local, s))
        return false;
    if (!State.Read(s)) return false;
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(s, 2 + 64 * (kPatternCapacity + 1), bytes)) return false;
    TRecordReader r(bytes);
    ReadLogSuspended = r.U8();
    FileLogSuspended = r.U8();
    for (auto& pattern : FileLogPatterns)
        pattern = r.Short(kPatternCapacity);
    // A body that goes on past its last record was not written as these records read it.
    return s.Remaining() == 0;
}

bool TKelScript::SaveGameToStream(TStream& file, bool compressed) {
    TMemoryStream body;
    try {
        WriteGameBody(body);
    } catch (const EStreamError&) {
        return false;
    }
    IScriptSaveRecords* records = Kinds ? Kinds->SaveRecords() : nullptr;
    std::array<std::string, 4> descriptions;
    std::copy(std::begin(State.SaveDescriptions), std::end(State.SaveDescriptions), descriptions.begin());
    TKelSaveData save(Key(*this));
    save.SetHeader(descriptions, records ? records->NewestLogText(*this) : std::string());
    save.SetBody(body);
    if (records) save.SetThumbnail(records->Thumbnail(*this, Config().Config.ThumWidth, Config().Config.ThumHeight));
    return save.SaveToStream(file, true, compressed);
}

bool TKelScript::SaveGame(const std::string& name, bool compressed) {
    const std::string path = KelSaveData::SaveFilePath(name);
    if (path.empty() || !Links.Files) return false;
    SaveSystemData(KelSaveData::kSystemDataFile);
    SaveSystemData(KelSaveData::kSystemDataBackup);
    TMemoryStream file;
    return SaveGameToStream(file, compressed) && Links.Files->WriteFileReplace(path, Bytes(file));
}

void TKelScript::LoadFailed() {
    if (Links.SaveData)
        Links.SaveData->ResetAfterFailedLoad(*this);
    else
        Reset();
    if (Links.Dialogs) Links.Dialogs->ShowMessage("ReadSaveFileError", "OK");
}

bool TKelScript::LoadGameFromStream(TStream& file) {
    TKelSaveData save(Key(*this));
    if (!save.LoadFromStream(file, true, false)) {
        if (Links.Dialogs) Links.Dialogs->ShowMessage("ReadSaveFileError", "OK");
        return false;
    }
    Reset();
    bool restored = false;
    try {
        restored = ReadGameBody(*save.Body);
    } catch (const std::exception&) {
        restored = false;
    }
    if (!restored) {
        LoadFailed();
        return false;
    }
    if (Links.Compositor) Links.Compositor->InvalidateAll();
    StopRunMode();
    Draw(0, true, kWholeScreen);
    return true;
}

bool TKelScript::LoadGame(const std::string& name) {
    const std::string path = KelSaveData::SaveFilePath(name);
    if (path.empty() || !Links.Files || !Links.Files->FileExists(path)) return false;
    SaveSystemData(KelSaveData::kSystemDataFile);
    std::string bytes;
    if (!Links.Files->ReadFile(path, bytes)) bytes.clear();  // unreadable: refused as damaged
    TMemoryStream file(bytes);
    return LoadGameFromStream(file);
}

// ---- system data ----

bool TKelScript::SaveSystemData(const std::string& name) {
    if (Parent) return false;
    if (!Initialised) return true;
    const std::string path = KelSaveData::SaveFilePath(name);
    if (path.empty() || !Links.Files) return false;

    TMemoryStream variables;
    Variables->SaveToStream(TVariableScope::System, variables);
    std::string packed = uMisc::BPECompressBytes(variables.Memory(), variables.Data.size());
    uMisc::ScrambleBufferEncode(packed.data(), packed.size(), Key(*this));

    TMemoryStream content;
    TRecordWriter header(kSystemHeaderSize);
    const std::string_view magic = kSystemMagic;
    for (int32_t i = 0; i < kMagicSize; ++i)
        header.U8(i < static_cast<int32_t>(magic.size()) ? static_cast<uint8_t>(magic[static_cast<size_t>(i)]) : 0);
    for (char c : KelSaveData::CheckBlock(Key(*this)))
        header.U8(static_cast<uint8_t>(c));
    header.Zero(kSystemHeaderSize - header.Size());
    header.WriteTo(content);
    WriteBlock(content, packed);
    WriteBlock(content, LabelLogBytes(Links.FileUseLog));
    WriteBlock(content, LabelLogBytes(Links.ReadTextLog));

    TMemoryStream file;
    uMisc::WriteCheckedStream(&content, &file);
    return Links.Files->WriteFileReplace(path, Bytes(file));
}

bool TKelScript::LoadSystemData(const std::string& name) {
    if (Parent) return false;
    const std::string path = KelSaveData::SaveFilePath(name);
    std::string bytes;
    if (path.empty() || !Links.Files || !Links.Files->FileExists(path) || !Links.Files->ReadFile(path, bytes))
        return false;

    // Everything is checked before anything changes.
    std::string variables, fileUse, readText;
    try {
        TMemoryStream file(bytes);
        std::unique_ptr<TMemoryStream> content = uMisc::ReadCheckedStream(&file);
        if (!content) return false;
        std::vector<uint8_t> header;
        if (!ReadRecordBytes(*content, kSystemHeaderSize, header)) return false;
        const std::string_view head(reinterpret_cast<const char*>(header.data()), header.size());
        if (KelSaveData::MagicText(head.substr(0, kMagicSize)) != kSystemMagic) return false;
        if (head.substr(kMagicSize, 32) != KelSaveData::CheckBlock(Key(*this))) return false;
        if (!ReadBlock(*content, variables) || !ReadBlock(*content, fileUse) || !ReadBlock(*content, readText))
            return false;
        if (content->Remaining() != 0) return false;
    } catch (const EStreamError&) {
        return false;
    }
    uMisc::ScrambleBufferDecode(variables.data(), variables.size(), Key(*this));
    std::string expanded;
    if (!uMisc::BPEExpandBytes(variables.data(), variables.size(), expanded)) return false;
    TLabelLog probe;
    if (!LabelLogLoads(fileUse, probe) || !LabelLogLoads(readText, probe)) return false;

    // The table as it was comes back when the stored one turns out to lie.
    TMemoryStream before;
    Variables->SaveToStream(TVariableScope::System, before);
    bool loaded = false;
    try {
        TMemoryStream stream(expanded);
        loaded = Variables->LoadFromStream(TVariableScope::System, stream) && stream.Remaining() == 0;
    } catch (const std::exception&) {
        loaded = false;
    }
    if (!loaded) {
        before.SetPosition(0);
        try {
            Variables->LoadFromStream(TVariableScope::System, before);
        } catch (const std::exception&) {
            Variables->Clear(TVariableScope::System);
        }
        return false;
    }
    if (Links.FileUseLog) LabelLogLoads(fileUse, *Links.FileUseLog);
    if (Links.ReadTextLog) LabelLogLoads(readText, *Links.ReadTextLog);
    return true;
}

// ---- descriptions ----

std::string TKelScript::StripBracketed(std::string_view text) {
    std::string out;
    int32_t depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const size_t n = uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (n == 1 && text[i] == '[') {
            ++depth;
        } else if (n == 1 && text[i] == ']') {
            --depth;
        } else if (depth == 0) {
            out.append(text.substr(i, n));
        }
        i += n - 1;
    }
    return out;
}
