#include "objects/KelLogdataLib.h"

#include <algorithm>

#include "foundation/ShiftJis.h"
#include "foundation/StreamStrings.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc.h"
#include "platform/ClassLib.h"
#include "platform/LittleEndian.h"
#include "script/KelCalculationLib.h"

namespace {

size_t CharLength(std::string_view text, size_t i) {
    return uMisc::IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

}  // namespace

void TKelLogData::Clear() {
    for (int32_t i = 0; i < kEntryCount; ++i) {
        const auto k = static_cast<size_t>(i);
        Speakers[k].clear();
        Texts[k].clear();
        Voices[k].clear();
        VoiceStarts[k] = 0;
        SkipLevels[k] = 0;
        Volumes[k] = 255;
        AutoGains[k] = 0;
    }
    Count = 0;
}

void TKelLogData::Add(std::string_view text, std::string_view speaker, std::string_view voice, int32_t voiceStart,
                      int32_t skipLevel, int32_t volume, int32_t autoGain) {
    if (text.empty()) return;
    const auto k = static_cast<size_t>(Head);
    Texts[k] = StripTrailingNewLines(std::string(text));
    Speakers[k] = speaker;
    Voices[k] = voice;
    VoiceStarts[k] = voiceStart;
    SkipLevels[k] = skipLevel;
    Volumes[k] = volume;
    AutoGains[k] = autoGain;
    Head = (Head + 1) % kEntryCount;
    Count = std::min(Count + 1, kEntryCount);
}

int32_t TKelLogData::SlotOf(int32_t i) const {
    if (i < 0 || i >= Count) return -1;
    const int32_t slot = Head - i - 1;
    return slot < 0 ? slot + kEntryCount : slot;
}

std::string TKelLogData::GetText(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? std::string() : Texts[static_cast<size_t>(slot)];
}

std::string TKelLogData::GetName(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? std::string() : Speakers[static_cast<size_t>(slot)];
}

std::string TKelLogData::GetVoice(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? std::string() : Voices[static_cast<size_t>(slot)];
}

int32_t TKelLogData::GetValue1(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? 0 : VoiceStarts[static_cast<size_t>(slot)];
}

int32_t TKelLogData::GetValue2(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? 0 : SkipLevels[static_cast<size_t>(slot)];
}

int32_t TKelLogData::GetVolume(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? 0 : Volumes[static_cast<size_t>(slot)];
}

int32_t TKelLogData::GetValue4(int32_t i) const {
    const int32_t slot = SlotOf(i);
    return slot < 0 ? 0 : AutoGains[static_cast<size_t>(slot)];
}

std::string TKelLogData::StripTrailingNewLines(std::string text) {
    while (text.size() >= 2 && text.back() == ']') {
        // The nearest "[" before the closing bracket, byte by byte.
        size_t open = std::string::npos;
        for (size_t i = text.size() - 2; i-- > 0;)
            if (text[i] == '[') {
                open = i;
                break;
            }
        if (open == std::string::npos || text[open + 1] != 'n') break;
        text.resize(open);
    }
    return text;
}

std::string TKelLogData::GetPlainText(int32_t i) const {
    const std::string text = GetText(i);
    std::string plain;
    for (size_t pos = 0; pos < text.size();) {
        if (text[pos] != '[') {
            const size_t n = CharLength(text, pos);
            plain.append(text, pos, n);
            pos += n;
            continue;
        }
        // Here a command ends at the first "]" (no nesting); one never closed shows nothing.
        size_t end = pos + 1;
        while (end < text.size() && text[end] != ']')
            end += CharLength(text, end);
        if (end >= text.size()) break;
        const std::string command = ClassLib::LowerAscii(std::string_view(text).substr(pos + 1, end - pos - 1));
        pos = end + 1;
        const auto items = uMisc::SplitString(",", command, false, false, 0);
        const int32_t count = items->Count();
        const std::string word = count > 0 ? (*items)[0] : std::string();
        if (word == "lim" && count == 3) {
            int64_t n = 0;
            if (!KelCalculationLib::TryStrToInt64((*items)[1], n)) n = 0;
            plain += uMisc::SJISCopy((*items)[2], 1, static_cast<int32_t>(std::clamp<int64_t>(n, 0, INT32_MAX)));
        } else if ((word == "pc" || word == "pr") && count == 2) {
            plain += (*items)[1];
        } else if (word == "rb" && count == 3) {
            plain += (*items)[1];
        }
    }
    return plain;
}

void TKelLogData::SaveToStream(TStream& stream) const {
    LittleEndian::Write32(stream, static_cast<uint32_t>(Count));
    LittleEndian::Write32(stream, static_cast<uint32_t>(Head));
    for (size_t k = 0; k < static_cast<size_t>(kEntryCount); ++k) {
        uMisc::WriteStreamString(&stream, Speakers[k]);
        uMisc::WriteStreamString(&stream, Texts[k]);
        uMisc::WriteStreamString(&stream, Voices[k]);
        LittleEndian::Write32(stream, static_cast<uint32_t>(SkipLevels[k]));
        LittleEndian::Write32(stream, static_cast<uint32_t>(VoiceStarts[k]));
        LittleEndian::Write32(stream, static_cast<uint32_t>(Volumes[k]));
        LittleEndian::Write32(stream, static_cast<uint32_t>(AutoGains[k]));
    }
}

bool TKelLogData::LoadFromStream(TStream& stream) {
    TKelLogData loaded;
    uint32_t count = 0, head = 0;
    if (!LittleEndian::Read32(stream, count) || !LittleEndian::Read32(stream, head)) return false;
    for (size_t k = 0; k < static_cast<size_t>(kEntryCount); ++k) {
        uint32_t values[4];
        if (!uMisc::ReadStreamString(&stream, loaded.Speakers[k]) ||
            !uMisc::ReadStreamString(&stream, loaded.Texts[k]) || !uMisc::ReadStreamString(&stream, loaded.Voices[k]))
            return false;
        for (uint32_t& v : values)
            if (!LittleEndian::Read32(stream, v)) return false;
        loaded.SkipLevels[k] = static_cast<int32_t>(values[0]);
        loaded.VoiceStarts[k] = static_cast<int32_t>(values[1]);
        loaded.Volumes[k] = static_cast<int32_t>(values[2]);
        loaded.AutoGains[k] = static_cast<int32_t>(values[3]);
    }
    Speakers = std::move(loaded.Speakers);
    Texts = std::move(loaded.Texts);
    Voices = std::move(loaded.Voices);
    VoiceStarts = loaded.VoiceStarts;
    SkipLevels = loaded.SkipLevels;
    Volumes = loaded.Volumes;
    AutoGains = loaded.AutoGains;
    Count = std::clamp(static_cast<int32_t>(count), 0, kEntryCount);
    Head = static_cast<int32_t>(head % static_cast<uint32_t>(kEntryCount));
    return true;
}

namespace KelLogdataLib {

int32_t FindVoiceName(const TSystemData& config, std::string_view name) {
    const auto& lists = config.ActorLists;
    for (int32_t channel = 0; channel < static_cast<int32_t>(lists.size()); ++channel)
        for (const std::string& item : lists[static_cast<size_t>(channel)].Items)
            if (item == "*" || ClassLib::SameTextAscii(item, name)) return channel;
    return -1;
}

int32_t VoiceChannelOfName(const TSystemData& config, std::string_view name) {
    const int32_t channel = FindVoiceName(config, name);
    return channel >= 0 ? channel : kVoiceChannelCount - 1;
}

}  // namespace KelLogdataLib
