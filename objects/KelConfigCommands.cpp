#include "objects/KelConfigCommands.h"

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/SystemConfigLib.h"
#include "objects/KelLogdataLib.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"

namespace {

// How a stored value is brought into the setting's range.
enum class TRule : uint8_t {
    Flag,     // anything but 0 becomes 1
    AtLeast,  // values below Low become Low
    Clamp,    // held within Low .. High
    Plain,    // stored as given
};

struct TSetting {
    const char* Word;
    int32_t TSystemData::*Field;
    TRule Rule;
    int32_t Low, High;
    bool Apply;   // a change leaves the request to apply the configuration
    bool Redraw;  // a change also redraws the whole screen
};

constexpr TSetting kSettings[] = {
    {"fs", &TSystemData::FullScreen, TRule::Flag, 0, 0, true, false},
    {"il", &TSystemData::Interlace, TRule::Flag, 0, 0, true, true},
    {"cm", &TSystemData::ColorMode, TRule::Flag, 0, 0, true, false},
    {"fps", &TSystemData::FPSLimit, TRule::AtLeast, 10, 0, false, false},
    {"cs", &TSystemData::CacheSize, TRule::AtLeast, 0, 0, true, false},
    {"md", &TSystemData::MovieDecoder, TRule::Flag, 0, 0, false, false},
    {"crc", &TSystemData::CRCCheck, TRule::Flag, 0, 0, true, false},
    {"sb", &TSystemData::StreamLength, TRule::AtLeast, 8192, 0, false, false},
    {"sm", &TSystemData::SurfaceMemory, TRule::Flag, 0, 0, false, false},
    {"vb", &TSystemData::BGMVolume, TRule::Clamp, 0, 255, true, false},
    {"vv", &TSystemData::VOICEVolume, TRule::Clamp, 0, 255, true, false},
    {"vs", &TSystemData::SEVolume, TRule::Clamp, 0, 255, true, false},
    {"vbm", &TSystemData::BGMMute, TRule::Flag, 0, 0, true, false},
    {"vvm", &TSystemData::VOICEMute, TRule::Flag, 0, 0, true, false},
    {"vsm", &TSystemData::SEMute, TRule::Flag, 0, 0, true, false},
    {"ms", &TSystemData::MessageSpeed, TRule::Plain, 0, 0, false, false},
    {"ma", &TSystemData::MessageAlpha, TRule::Clamp, 0, 255, true, false},
    {"mtw", &TSystemData::AutoPlayWaitTime, TRule::Plain, 0, 0, false, false},
    {"mcw", &TSystemData::AutoPlayClickTime, TRule::Plain, 0, 0, false, false},
    {"ttm", &TSystemData::TaskTrayMode, TRule::Clamp, 0, 3, false, false},
};
constexpr size_t kSettingCount = std::size(kSettings);

int32_t Ruled(const TSetting& s, int32_t v) {
    switch (s.Rule) {
        case TRule::Flag:
            return v != 0 ? 1 : 0;
        case TRule::AtLeast:
            return std::max(v, s.Low);
        case TRule::Clamp:
            return std::clamp(v, s.Low, s.High);
        case TRule::Plain:
            break;
    }
    return v;
}

// The codes of each setting's three words: store, read live, read the default.
struct TSettingCodes {
    int32_t Set, Live, Default;
};

const std::array<TSettingCodes, kSettingCount>& SettingCodes() {
    static const auto codes = [] {
        std::array<TSettingCodes, kSettingCount> c{};
        for (size_t i = 0; i < kSettingCount; ++i) {
            const std::string w = kSettings[i].Word;
            c[i] = {Cmd(w), Cmd("?" + w), Cmd("d" + w)};
        }
        return c;
    }();
    return codes;
}

// Leaves the request for the engine core to apply the whole configuration.
void ApplyLater(TKelScript& s) {
    s.Request = srApplyConfig;
}

bool SettingWord(TKelCommandArgs& a, int32_t code) {
    const auto& codes = SettingCodes();
    for (size_t i = 0; i < kSettingCount; ++i) {
        const TSetting& s = kSettings[i];
        if (code == codes[i].Set) {
            const int32_t v = Ruled(s, a.Int(1));
            int32_t& field = a.Script().Config().Config.*s.Field;
            if (field == v) return true;
            field = v;
            if (s.Apply) ApplyLater(a.Script());
            if (s.Redraw && a.Script().Links.Compositor) a.Script().Links.Compositor->InvalidateAll();
            return true;
        }
        if (code == codes[i].Live || code == codes[i].Default) {
            const TSystemConfig& config = a.Script().Config();
            const TSystemData& from = code == codes[i].Live ? config.Config : config.DefaultConfig;
            // The default of "fs" is written over the results as they stand.
            if (code != Cmd("dfs")) a.ClearResults();
            a.SetInt(0, from.*s.Field);
            return true;
        }
    }
    return false;
}

// ---- font slots ----

bool ValidSlot(const TKelCommandArgs& a, const char* word, int32_t slot) {
    if (slot >= 0 && slot < kFontSlotCount) return true;
    a.Script().Log().ErrorLog(std::string("\\") + word + ":指定された番号のフォントは存在しません。:"_sj +
                              std::to_string(slot));
    return false;
}

TFontSetting& Slot(TKelCommandArgs& a, int32_t k) {
    return a.Script().Config().Config.Font[static_cast<size_t>(k)];
}

// "faa", "fst", "fsc": one value per slot from A1 on; an empty argument leaves its slot alone.
void SlotValues(TKelCommandArgs& a, int32_t TFontSetting::*field) {
    for (int32_t k = 0; k < kFontSlotCount; ++k) {
        if (a.Empty(k + 1)) continue;
        const int32_t v = a.Int(k + 1);
        if (Slot(a, k).*field == v) continue;
        Slot(a, k).*field = v;
        ApplyLater(a.Script());
    }
}

void SlotNames(TKelCommandArgs& a) {
    for (int32_t k = 0; k < kFontSlotCount; ++k) {
        if (a.Empty(k + 1)) continue;
        const std::string name = a.Text(k + 1);
        if (ClassLib::SameTextAscii(Slot(a, k).Name, name)) continue;
        Slot(a, k).Name = name;
        ApplyLater(a.Script());
    }
}

void ReadSlots(TKelCommandArgs& a, const TSystemData& from, int32_t TFontSetting::*field) {
    a.ClearResults();
    for (int32_t k = 0; k < kFontSlotCount; ++k)
        a.SetInt(k, from.Font[static_cast<size_t>(k)].*field);
}

void ReadSlotNames(TKelCommandArgs& a, const TSystemData& from) {
    a.ClearResults();
    for (int32_t k = 0; k < kFontSlotCount; ++k)
        a.SetStr(k, from.Font[static_cast<size_t>(k)].Name);
}

// "fn2", "faa2", "fst2", "fsc2": one slot, stored and applied even when it holds the value already.
void OneSlot(TKelCommandArgs& a, const char* word, int32_t TFontSetting::*field, int32_t mask) {
    const int32_t slot = a.Int(1);
    const int32_t v = a.Int(2);
    if (!ValidSlot(a, word, slot)) return;
    Slot(a, slot).*field = v & mask;
    ApplyLater(a.Script());
}

bool FontWord(TKelCommandArgs& a, int32_t code) {
    const TSystemData& live = a.Script().Config().Config;
    const TSystemData& defaults = a.Script().Config().DefaultConfig;
    switch (code) {
        case Cmd("fn"):
            SlotNames(a);
            return true;
        case Cmd("faa"):
            SlotValues(a, &TFontSetting::AA);
            return true;
        case Cmd("fst"):
            SlotValues(a, &TFontSetting::Style);
            return true;
        case Cmd("fsc"):
            SlotValues(a, &TFontSetting::StyleColor);
            return true;
        case Cmd("fn2"): {
            const int32_t slot = a.Int(1);
            const std::string name = a.Text(2);
            if (!ValidSlot(a, "fn2", slot)) return true;
            Slot(a, slot).Name = name;
            ApplyLater(a.Script());
            return true;
        }
        case Cmd("faa2"):
            OneSlot(a, "faa2", &TFontSetting::AA, -1);
            return true;
        case Cmd("fst2"):
            OneSlot(a, "fst2", &TFontSetting::Style, -1);
            return true;
        case Cmd("fsc2"):
            OneSlot(a, "fsc2", &TFontSetting::StyleColor, 0xFFFFFF);
            return true;
        case Cmd("?fn"):
            ReadSlotNames(a, live);
            return true;
        case Cmd("dfn"):
            ReadSlotNames(a, defaults);
            return true;
        case Cmd("?faa"):
            ReadSlots(a, live, &TFontSetting::AA);
            return true;
        case Cmd("?fst"):
            ReadSlots(a, live, &TFontSetting::Style);
            return true;
        case Cmd("?fsc"):
            ReadSlots(a, live, &TFontSetting::StyleColor);
            return true;
        case Cmd("dfaa"):
            ReadSlots(a, defaults, &TFontSetting::AA);
            return true;
        case Cmd("dfst"):
            ReadSlots(a, defaults, &TFontSetting::Style);
            return true;
        case Cmd("dfsc"):
            ReadSlots(a, defaults, &TFontSetting::StyleColor);
            return true;
        default:
            return false;
    }
}

// ---- voice channels ----

// The channel of the speaker named by A1; -1, after the word's message, when no list holds it.
int32_t Channel(const TKelCommandArgs& a, const std::string& word, const std::string& name) {
    const int32_t channel = KelLogdataLib::FindVoiceName(a.Script().Config().Config, name);
    if (channel < 0) a.Script().Log().ErrorLog("\\" + word + "：指定された名前が登録されていません："_sj + name);
    return channel;
}

using TVoiceField = std::array<int32_t, kVoiceChannelCount> TSystemData::*;
struct TVoiceWord {
    const char* Word;
    TVoiceField Field;
    const TSystemData TSystemConfig::*From;  // null: a store into the live record
};
const TVoiceWord kVoiceWords[] = {
    {"cvv", &TSystemData::ActorVolume, nullptr},
    {"cvm", &TSystemData::ActorMute, nullptr},
    {"?cvv", &TSystemData::ActorVolume, &TSystemConfig::Config},
    {"?cvm", &TSystemData::ActorMute, &TSystemConfig::Config},
    {"dcvv", &TSystemData::ActorVolume, &TSystemConfig::DefaultConfig},
    {"dcvm", &TSystemData::ActorMute, &TSystemConfig::DefaultConfig},
};

bool VoiceWord(TKelCommandArgs& a, int32_t code) {
    for (const TVoiceWord& w : kVoiceWords) {
        if (code != Cmd(w.Word)) continue;
        const std::string name = a.Text(1);
        if (!w.From) {
            const int32_t v = a.Int(2);
            const int32_t channel = Channel(a, w.Word, name);
            if (channel >= 0) (a.Script().Config().Config.*w.Field)[static_cast<size_t>(channel)] = v;
            return true;
        }
        a.ClearResults();
        const int32_t channel = Channel(a, w.Word, name);
        if (channel >= 0) a.SetInt(0, ((a.Script().Config().*w.From).*w.Field)[static_cast<size_t>(channel)]);
        return true;
    }
    return false;
}

}  // namespace

namespace KelConfigCommands {

bool DoConfigCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    return SettingWord(a, code) || FontWord(a, code) || VoiceWord(a, code);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Config, DoConfigCommand);
}

std::vector<std::string> TableWords() {
    std::vector<std::string> words;
    for (const TSetting& s : kSettings)
        for (const char* prefix : {"", "?", "d"})
            words.push_back(prefix + std::string(s.Word));
    for (const TVoiceWord& w : kVoiceWords)
        words.emplace_back(w.Word);
    return words;
}

}  // namespace KelConfigCommands
