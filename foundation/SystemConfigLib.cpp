#include "foundation/SystemConfigLib.h"

#include <cstdio>
#include <limits>
#include <memory>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"

namespace SystemConfigLib {

namespace {

// Start values of the live record: the user settings as a first start without a user file has
// them, and a screen size until the system settings replace it.
void SetStartValues(TSystemData& d) {
    d = TSystemData{};
    d.ScreenWidth = 800;
    d.ScreenHeight = 600;
    d.FullScreen = 0;
    d.SurfaceMemory = 0;
    d.ColorMode = 1;
    d.UseGamePad = 0;
    d.FPSLimit = 40;
    d.StreamLength = 131072;
    d.Interlace = 0;
    d.CacheSize = 0;
    d.MovieDecoder = 1;
    d.CRCCheck = 1;
    d.TaskTrayMode = 0;
    d.ForceDirectSoundMode = 0;
    for (auto& f : d.Font)
        f = TFontSetting{};
    d.BGMVolume = d.VOICEVolume = d.SEVolume = 255;
    d.BGMMute = d.VOICEMute = d.SEMute = 0;
    d.MessageSpeed = 10;
    d.MessageAlpha = 255;
    d.AutoPlayWaitTime = 100;
    d.AutoPlayClickTime = 2000;
    d.ActorVolume.fill(255);
    d.ActorMute.fill(0);
}

TSystemData StartRecord() {
    TSystemData d;
    SetStartValues(d);
    return d;
}

// Numbers of the configuration files: decimal, or hexadecimal after "$" only.
bool ParseInt(std::string_view s, int bits, int64_t& out) {
    return uMisc::TryStrToInt(s, bits, uMisc::THexPrefix::Dollar, out);
}

int32_t IntValue(const TStringList& list, std::string_view key, int32_t def) {
    int64_t v;
    return ParseInt(list.Values(key), 32, v) ? static_cast<int32_t>(v) : def;
}

int64_t Int64Value(const TStringList& list, std::string_view key, int64_t def) {
    int64_t v;
    return ParseInt(list.Values(key), 64, v) ? v : def;
}

bool BoolValue(const TStringList& list, std::string_view key, bool def) {
    return uMisc::StrToBoolDef(list.Values(key), def);
}

std::string Indexed(const char* format, int32_t i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, static_cast<int>(i));
    return buf;
}

std::string Indexed(const char* format, int32_t i, int32_t j) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, static_cast<int>(i), static_cast<int>(j));
    return buf;
}

// Blanks and control bytes off both ends.
std::string Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

// The lines from the stream's position; false (and the list untouched) when it cannot be read.
bool ReadLines(TStream& stream, TStringList& list) {
    try {
        list.LoadFromStream(stream);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A value ends at the first line break, so that a text setting cannot add lines to the file.
std::string OneLine(std::string_view v) {
    return std::string(v.substr(0, v.find_first_of("\r\n")));
}

std::string Decimal(int32_t v) {
    return std::to_string(v);
}

std::string Hex6(int32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%06X", static_cast<unsigned>(static_cast<uint32_t>(v)));
    return buf;
}

void MergeUserKeys(const TSystemData& d, TStringList& list) {
    auto set = [&](const std::string& key, const std::string& value) {
        if (!value.empty()) {
            list.SetValue(key, value);
            return;
        }
        // An empty value removes the key; every line of it goes, or a later duplicate would be
        // read back in place of the value written.
        for (int i = list.IndexOfName(key); i >= 0; i = list.IndexOfName(key))
            list.Delete(i);
    };
    set("FullScreen", Decimal(d.FullScreen));
    set("SurfaceMemory", Decimal(d.SurfaceMemory));
    set("ColorMode", Decimal(d.ColorMode));
    set("UseGamePad", Decimal(d.UseGamePad));
    set("FPSLimit", Decimal(d.FPSLimit));
    set("StreamLength", Decimal(d.StreamLength));
    set("Interlace", Decimal(d.Interlace));
    set("CacheSize", Decimal(d.CacheSize));
    set("MovieDecoder", Decimal(d.MovieDecoder));
    set("CRCCheck", Decimal(d.CRCCheck));
    set("TaskTrayMode", Decimal(d.TaskTrayMode));
    set("ForceDirectSoundMode", Decimal(d.ForceDirectSoundMode));
    for (int32_t i = 0; i < kFontSlotCount; ++i) {
        const TFontSetting& f = d.Font[static_cast<size_t>(i)];
        // An empty line would vanish and the reader default would come back, so "none" stands
        // for "no face chosen".
        const std::string name = OneLine(f.Name);
        set(Indexed("Font[%d].Name", i), name.empty() ? std::string("none") : name);
        set(Indexed("Font[%d].Style", i), Decimal(f.Style));
        set(Indexed("Font[%d].AA", i), Decimal(f.AA));
        set(Indexed("Font[%d].StyleColor", i), Hex6(f.StyleColor));
    }
    set("BGMVolume", Decimal(d.BGMVolume));
    set("VOICEVolume", Decimal(d.VOICEVolume));
    set("SEVolume", Decimal(d.SEVolume));
    set("BGMMute", Decimal(d.BGMMute));
    set("VOICEMute", Decimal(d.VOICEMute));
    set("SEMute", Decimal(d.SEMute));
    set("MessageSpeed", Decimal(d.MessageSpeed));
    set("MessageAlpha", Decimal(d.MessageAlpha));
    set("AutoPlayWaitTime", Decimal(d.AutoPlayWaitTime));
    set("AutoPlayClickTime", Decimal(d.AutoPlayClickTime));
    // Channels at full volume and not muted leave no lines, so the file lists only what differs.
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        int32_t volume = d.ActorVolume[static_cast<size_t>(i)];
        int32_t mute = d.ActorMute[static_cast<size_t>(i)];
        set(Indexed("ActorVolume[%d]", i), volume == 255 ? std::string() : Decimal(volume));
        set(Indexed("ActorMute[%d]", i), mute == 0 ? std::string() : Decimal(mute));
    }
}

int32_t EnumFaces(TSystemData& d, const TFontFace& face, int32_t slot, uint8_t pitchMask) {
    if (face.CharSet != 128) return 1;
    if (!face.FullName.empty() && face.FullName[0] == '@') return 1;  // vertical variants
    std::string lower = ClassLib::LowerAscii(face.FullName);
    if (lower == "terminal" || lower == "system" || lower == "fixedsys" || lower == "small fonts") return 1;
    if (pitchMask && !(face.PitchAndFamily & pitchMask)) return 1;
    AddFontCandidate(d, slot, face.FullName, "0");
    return 1;
}

bool ValidSlot(int32_t slot) {
    return slot >= 0 && slot < kFontSlotCount;
}

}  // namespace

void LoadSystemConfig(TSystemData& d, TStream* stream) {
    if (!stream) return;
    TStringList list;
    if (!ReadLines(*stream, list)) return;
    d.ScreenWidth = IntValue(list, "ScreenWidth", 800);
    d.ScreenHeight = IntValue(list, "ScreenHeight", 600);
    d.GameTitle = list.Values("GameTitle");
    d.FormCaption = list.Values("FormCaption");
    d.CodeKey = static_cast<uint32_t>(Int64Value(list, "CodeKey", 53041)) & 0xFFFFFFu;
    d.FormCloseEventLabel = list.Values("FormCloseEventLabel");
    d.MinimizeSystemStop = static_cast<int32_t>(static_cast<uint32_t>(Int64Value(list, "MinimizeSystemStop", 0)));
    d.ThumWidth = IntValue(list, "ThumWidth", 128);
    d.ThumHeight = IntValue(list, "ThumHeight", 96);
    d.QuickSaveCount = IntValue(list, "QuickSaveCount", 8);
    d.ConfigStartupSkip = BoolValue(list, "ConfigStartupSkip", false);
    d.ConfigSoundTab = BoolValue(list, "ConfigSoundTab", true);
    d.ConfigGamePadTab = BoolValue(list, "ConfigGamePadTab", true);
    d.ConfigSpecTab = BoolValue(list, "ConfigSpecTab", true);
    d.ConfigOptionTab = BoolValue(list, "ConfigOptionTab", true);
    d.ConfigMovie = BoolValue(list, "ConfigMovie", true);
    d.ConfigCRC = BoolValue(list, "ConfigCRC", true);
    d.ConfigSurfaceMemory = BoolValue(list, "ConfigSurfaceMemory", true);
    d.ConfigForceWindowMode = BoolValue(list, "ConfigForceWindowMode", false);
    d.MulSEVolume = IntValue(list, "MulSEVolume", 256);
    d.MulBGMVolume = IntValue(list, "MulBGMVolume", 256);
    d.MulVOICEVolume = IntValue(list, "MulVOICEVolume", 256);
    // "path, type name": blanks stripped, "//" ends the value, always at least two items.
    for (int32_t i = 0; i < kDLLObjectCount; ++i) {
        auto items = uMisc::SplitString(",", list.Values(Indexed("DLLObject[%d]", i)), true, true, 2);
        const size_t k = static_cast<size_t>(i);
        d.DLLObjectPaths[k] = items && items->Count() > 0 ? (*items)[0] : std::string();
        d.DLLObjectNames[k] = items && items->Count() > 1 ? (*items)[1] : std::string();
    }
}

void LoadUserConfig(TSystemData& d, TStream* stream) {
    if (!stream) return;
    TStringList list;
    if (!ReadLines(*stream, list)) return;
    d.FullScreen = IntValue(list, "FullScreen", 0);
    d.SurfaceMemory = IntValue(list, "SurfaceMemory", 0);
    d.ColorMode = IntValue(list, "ColorMode", 1);
    d.UseGamePad = IntValue(list, "UseGamePad", 0);
    d.FPSLimit = IntValue(list, "FPSLimit", 40);
    d.StreamLength = IntValue(list, "StreamLength", 131072);
    d.Interlace = IntValue(list, "Interlace", 0);
    d.CacheSize = IntValue(list, "CacheSize", 0);
    d.MovieDecoder = IntValue(list, "MovieDecoder", 1);
    d.CRCCheck = IntValue(list, "CRCCheck", 1);
    d.TaskTrayMode = IntValue(list, "TaskTrayMode", 0);
    d.ForceDirectSoundMode = IntValue(list, "ForceDirectSoundMode", 0);
    for (int32_t i = 0; i < kFontSlotCount; ++i) {
        TFontSetting& f = d.Font[static_cast<size_t>(i)];
        f.Name = list.Values(Indexed("Font[%d].Name", i));
        if (ClassLib::SameTextAscii(f.Name, "none")) f.Name.clear();
        f.Style = IntValue(list, Indexed("Font[%d].Style", i), 0);
        f.AA = IntValue(list, Indexed("Font[%d].AA", i), 1);
        f.StyleColor = IntValue(list, Indexed("Font[%d].StyleColor", i), 0);
    }
    d.BGMVolume = IntValue(list, "BGMVolume", 255);
    d.VOICEVolume = IntValue(list, "VOICEVolume", 255);
    d.SEVolume = IntValue(list, "SEVolume", 255);
    d.BGMMute = IntValue(list, "BGMMute", 0);
    d.VOICEMute = IntValue(list, "VOICEMute", 0);
    d.SEMute = IntValue(list, "SEMute", 0);
    d.MessageSpeed = IntValue(list, "MessageSpeed", 20);
    d.MessageAlpha = IntValue(list, "MessageAlpha", 255);
    d.AutoPlayWaitTime = IntValue(list, "AutoPlayWaitTime", 100);
    d.AutoPlayClickTime = IntValue(list, "AutoPlayClickTime", 3000);
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        d.ActorVolume[static_cast<size_t>(i)] = IntValue(list, Indexed("ActorVolume[%d]", i), 255);
        d.ActorMute[static_cast<size_t>(i)] = IntValue(list, Indexed("ActorMute[%d]", i), 0);
    }
}

void SaveUserConfig(const TSystemData& d, TStream* stream) {
    if (!stream) return;
    try {
        TStringList list;
        stream->SetPosition(0);
        list.LoadFromStream(*stream);
        MergeUserKeys(d, list);
        stream->SetSize(0);
        stream->SetPosition(0);
        list.SaveToStream(*stream);
    } catch (const std::exception&) {
        // A stream that cannot be rewritten keeps what it could take; the caller's copy decides.
    }
}

void LoadUserConfigFile(const TFileRoot& root, TSystemData& d, const std::string& fileName) {
    if (!root.FileExists(fileName)) return;
    std::string bytes;
    if (!root.ReadFile(fileName, bytes)) return;
    TMemoryStream stream(bytes);
    LoadUserConfig(d, &stream);
}

bool SaveUserConfigFile(const TFileRoot& root, const TSystemData& d, const std::string& fileName) {
    std::string old;
    if (root.FileExists(fileName)) {
        // A file that is there but cannot be read is left alone: rewriting it from nothing would
        // lose the lines it holds.
        if (!root.ReadFile(fileName, old)) return false;
        root.WriteFileReplace(fileName + ".bak", old);
    } else {
        // The folder of the user's file may not exist yet on a first start.
        size_t cut = fileName.find_last_of("\\/");
        if (cut != std::string::npos) root.ForceDirectories(fileName.substr(0, cut));
    }
    TMemoryStream stream(old);
    SaveUserConfig(d, &stream);
    return root.WriteFileReplace(fileName, stream.AsString());
}

void LoadStrings(TStringList& list, TStream* stream) {
    if (!stream) return;
    ReadLines(*stream, list);
}

void LoadActorLists(TSystemData& d, TStream* stream) {
    if (!stream) return;
    TStringList list;
    if (!ReadLines(*stream, list)) return;
    for (int32_t i = 0; i < kVoiceChannelCount; ++i) {
        auto items = uMisc::SplitString(",", list.Values(Indexed("act[%d]", i)), true, true, 0);
        TStringList& actors = d.ActorLists[static_cast<size_t>(i)];
        actors.Clear();
        if (items) actors.Items = std::move(items->Items);
    }
}

void AddFontCandidate(TSystemData& d, int32_t slot, const std::string& name, const std::string& flag) {
    if (!ValidSlot(slot)) return;
    d.FontLists[static_cast<size_t>(slot)].Add(name);
    d.FontListFlags[static_cast<size_t>(slot)].Add(flag);
}

int32_t EnumAllFontsProc(TSystemData& d, const TFontFace& face, int32_t slot) {
    return EnumFaces(d, face, slot, 0);
}
int32_t EnumFixedFontsProc(TSystemData& d, const TFontFace& face, int32_t slot) {
    return EnumFaces(d, face, slot, 1);
}
int32_t EnumProportionalFontsProc(TSystemData& d, const TFontFace& face, int32_t slot) {
    return EnumFaces(d, face, slot, 2);
}

int32_t Supersampling(int32_t aa) {
    switch (aa) {
        case 0:
            return 1;
        case 1:
            return 2;
        case 2:
            return 4;
        default:
            return 2;
    }
}

TFontEffectTable FontEffects(int32_t style, int32_t styleColor) {
    TFontEffectTable t;
    const uint8_t weight = (style & 1) ? 3 : 0;
    const uint32_t colour = static_cast<uint32_t>(styleColor);
    auto layer = [&](int i, uint32_t c, int16_t x, int16_t y) {
        const size_t k = static_cast<size_t>(i);
        t.Color[k] = c;
        t.X[k] = x;
        t.Y[k] = y;
        t.Weight[k] = weight;
        t.OwnColor[k] = 1;
    };
    t.Color[15] = 0xFFFFFFFFu;
    t.Weight[15] = weight;
    if (style & 2) layer(0, colour | 0x66000000u, 2, 2);
    const uint32_t outline = colour | 0xFF000000u;
    // A thick outline replaces a thin one: both fill layers 2 to 5.
    if (style & 4) {
        layer(2, outline, -1, 0);
        layer(3, outline, 1, 0);
        layer(4, outline, 0, 1);
        layer(5, outline, 0, -1);
    }
    if (style & 8) {
        layer(2, outline, -2, 0);
        layer(3, outline, 2, 0);
        layer(4, outline, 0, 2);
        layer(5, outline, 0, -2);
        layer(6, outline, -1, -1);
        layer(7, outline, 1, -1);
        layer(8, outline, -1, 1);
        layer(9, outline, 1, 1);
    }
    return t;
}

}  // namespace SystemConfigLib

using namespace SystemConfigLib;

TSystemConfig::TSystemConfig() : Config(StartRecord()) {}

void TSystemConfig::InitDefaults() {
    SetStartValues(Config);
    DefaultConfig = TSystemData{};
}

void TSystemConfig::LoadFontLists(TSystemData& d, TStream* stream) {
    if (!stream) return;
    TStringList list;
    if (!ReadLines(*stream, list)) return;
    // Reading again (after a reset) starts the lists afresh instead of doubling them.
    for (int32_t slot = 0; slot < kFontSlotCount; ++slot) {
        d.FontLists[static_cast<size_t>(slot)].Clear();
        d.FontListFlags[static_cast<size_t>(slot)].Clear();
    }
    std::vector<TFontFace> faces;
    bool enumerated = false;
    for (int32_t slot = 0; slot < kFontSlotCount; ++slot) {
        for (int32_t c = 0; c < kFontCandidateCount; ++c) {
            std::string value = Trim(list.Values(Indexed("font[%d].list[%d]", slot, c)));
            if (value.empty()) continue;
            std::string lower = ClassLib::LowerAscii(value);
            int32_t (*proc)(TSystemData&, const TFontFace&, int32_t) = nullptr;
            if (lower == "system")
                proc = EnumAllFontsProc;
            else if (lower == "system_fix")
                proc = EnumFixedFontsProc;
            else if (lower == "system_pro")
                proc = EnumProportionalFontsProc;
            if (!proc) {
                AddFontCandidate(d, slot, value, "1");
                continue;
            }
            if (!enumerated && FontFaces) faces = FontFaces();
            enumerated = true;
            for (const TFontFace& face : faces)
                proc(d, face, slot);
        }
    }
}

void TSystemConfig::RegisterFontFaces(TFontFaceSource source) {
    FontFaces = std::move(source);
}

void TSystemConfig::RegisterFonts(TFontSlots fonts) {
    FontSlots = std::move(fonts);
}

void TSystemConfig::ApplyFonts(TSystemData& d, const TPackSet& packs, TErrorLog* log) {
    const std::string& fallback = "ＭＳ ゴシック"_sj;
    for (int32_t slot = 0; slot < kFontSlotCount; ++slot) {
        const size_t k = static_cast<size_t>(slot);
        TFontSetting& setting = d.Font[k];
        const TStringList& candidates = d.FontLists[k];
        const TStringList& flags = d.FontListFlags[k];
        std::string name = Trim(setting.Name);
        if (candidates.Count() == 0)
            name = fallback;
        else if (candidates.IndexOf(name) < 0)
            name = flags.Count() > 0 && flags[0] == "1" ? candidates[0] : fallback;
        setting.Name = name;

        IConfigFont* font = FontSlots ? FontSlots(slot) : nullptr;
        if (!font) continue;
        if (name != font->FaceName()) {
            const std::string horizontalFile = "system\\font\\" + name + ".of";
            const std::string verticalFile = "system\\font\\@" + name + ".of";
            auto horizontal = packs.LoadFile(horizontalFile);
            auto vertical = packs.LoadFile(verticalFile);
            if (horizontal || vertical) {
                std::string reason;
                try {
                    if (font->LoadBitmapFont(name, horizontal.get(), vertical.get())) continue;
                    reason = font->Error();
                } catch (const std::exception& e) {
                    reason = e.what();
                }
                // A glyph file that cannot be loaded leaves the face to the system font, so the
                // slot still draws text; the log says which file and why. Not a script error: the
                // game goes on.
                std::string files = horizontal ? horizontalFile : verticalFile;
                if (horizontal && vertical) files += ", " + verticalFile;
                if (log) log->WriteErrorLog("[FONT]:" + files + ": " + reason + "; drawn with the system font instead");
            }
            font->SetSystemFont(name, Supersampling(setting.AA), FontEffects(setting.Style, setting.StyleColor));
        } else if (!font->IsBitmapFont()) {
            // Set up again so that style and smoothing changes take effect.
            font->SetSystemFont(name, Supersampling(setting.AA), FontEffects(setting.Style, setting.StyleColor));
        }
    }
}

bool TSystemConfig::LoadSystemSettings(const TPackSet& packs) {
    auto s = packs.LoadFile(kGameDataFile);
    if (!s) return false;
    LoadSystemConfig(Config, s.get());
    return true;
}

bool TSystemConfig::LoadUserDefaults(const TPackSet& packs) {
    auto s = packs.LoadFile(kDefaultConfigFile);
    if (!s) return false;
    LoadUserConfig(DefaultConfig, s.get());
    return true;
}

void TSystemConfig::LoadUserSettings(const TFileRoot& root) {
    // A program killed while it saved the settings left its temporary files behind.
    root.RemoveStaleTemporaries(kUserConfigFile);
    root.RemoveStaleTemporaries(std::string(kUserConfigFile) + ".bak");
    LoadUserConfigFile(root, Config, kUserConfigFile);
}

bool TSystemConfig::SaveUserSettings(const TFileRoot& root) {
    return SaveUserConfigFile(root, Config, kUserConfigFile);
}

bool TSystemConfig::LoadSpeakerLists(const TPackSet& packs) {
    auto s = packs.LoadFile(kVoiceDataFile);
    if (!s) return false;
    LoadActorLists(Config, s.get());
    return true;
}

bool TSystemConfig::LoadFontCandidateLists(const TPackSet& packs) {
    auto s = packs.LoadFile(kFontDataFile);
    if (!s) return false;
    LoadFontLists(Config, s.get());
    return true;
}

bool TSystemConfig::LoadDiskMessageTable(const TFileRoot& root) {
    if (!root.FileExists(kDiskMessageFile)) return false;
    std::string bytes;
    if (!root.ReadFile(kDiskMessageFile, bytes)) return false;
    TMemoryStream s(bytes);
    LoadStrings(MessageTable, &s);
    return true;
}

bool TSystemConfig::LoadPackMessageTable(const TPackSet& packs) {
    auto s = packs.LoadFile(kPackMessageFile);
    if (!s) s = packs.LoadFile(kPackMessageTextFile);
    if (!s) return false;
    LoadStrings(MessageTable, s.get());
    return true;
}
