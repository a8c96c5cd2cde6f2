#include "script/KelSaveData.h"

#include <chrono>
#include <cmath>
#include <ctime>

#include "foundation/CheckedStream.h"
#include "foundation/Compression.h"
#include "foundation/Scramblers.h"
#include "foundation/ShiftJis.h"
#include "platform/FileRoot.h"
#include "platform/LittleEndian.h"

namespace {

constexpr int32_t kMagicSize = 16;
constexpr int32_t kCheckSize = 32;
constexpr int32_t kExcerptCharacters = 30;
// What a file written under the same key unscrambles its check block to.
constexpr std::string_view kCheckString = "pz4nx7lq2vbh9dc3mk6tr1yw8fs5ga0j";
static_assert(kCheckString.size() == kCheckSize);

constexpr int64_t kMsPerDay = 86400000;
// Day counts of 1 January of the year 1 and of 1 January of the year 10000.
constexpr double kFirstDay = -693593, kEndDay = 2958466;

// Days from 1 January 1970 of a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int32_t& year, int32_t& month, int32_t& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int32_t>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int32_t>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int32_t>(yoe + era * 400 + (month <= 2));
}

// The day count of 30 December 1899 from 1 January 1970.
const int64_t kDateBase = DaysFromCivil(1899, 12, 30);

bool ReadU32(TStream& s, uint32_t& v) {
    return LittleEndian::Read32(s, v);
}

}  // namespace

// ---- header ----

void TKelSaveHeader::Write(TStream& s) const {
    TRecordWriter w(kSize);
    for (int32_t i = 0; i < kMagicSize; ++i)
        w.U8(i < static_cast<int32_t>(Magic.size()) ? static_cast<uint8_t>(Magic[static_cast<size_t>(i)]) : 0);
    w.U8(Scrambled);
    w.U8(Compressed);
    w.F64(Date);
    for (const auto& d : Descriptions)
        w.Short(d, kTextCapacity);
    w.Short(Excerpt, kTextCapacity);
    for (int32_t i = 0; i < kCheckSize; ++i)
        w.U8(i < static_cast<int32_t>(CheckBlock.size()) ? static_cast<uint8_t>(CheckBlock[static_cast<size_t>(i)])
                                                         : 0);
    w.Zero(kSize - w.Size());
    w.WriteTo(s);
}

bool TKelSaveHeader::Read(TStream& s) {
    std::vector<uint8_t> bytes;
    if (!ReadRecordBytes(s, kSize, bytes)) return false;
    TRecordReader r(bytes);
    Magic.assign(reinterpret_cast<const char*>(bytes.data()), kMagicSize);
    r.Skip(kMagicSize);
    Scrambled = r.U8();
    Compressed = r.U8();
    Date = r.F64();
    for (auto& d : Descriptions)
        d = r.Short(kTextCapacity);
    Excerpt = r.Short(kTextCapacity);
    CheckBlock.assign(reinterpret_cast<const char*>(bytes.data() + r.Position()), kCheckSize);
    return true;
}

// ---- container ----

void TKelSaveData::Clear() {
    Header = TKelSaveHeader();
    Thumbnail.clear();
    Body.reset();
}

void TKelSaveData::SetHeader(const std::array<std::string, 4>& descriptions, std::string_view text) {
    Header = TKelSaveHeader();
    Header.Magic = KelSaveData::kSaveMagic;
    Header.Date = KelSaveData::Now();
    for (size_t i = 0; i < 4; ++i)
        Header.Descriptions[i] = descriptions[i].substr(0, TKelSaveHeader::kTextCapacity);
    Header.Excerpt = uMisc::SJISCopy(text, 1, kExcerptCharacters).substr(0, TKelSaveHeader::kTextCapacity);
}

void TKelSaveData::WriteKey() {
    Header.CheckBlock = KelSaveData::CheckBlock(Key);
}

bool TKelSaveData::CheckKey() const {
    return Header.CheckBlock == KelSaveData::CheckBlock(Key);
}

bool TKelSaveData::SaveToStream(TStream& stream, bool scrambled, bool compressed) {
    if (!Body) return false;
    Header.Scrambled = scrambled ? 1 : 0;
    Header.Compressed = compressed ? 1 : 0;
    WriteKey();
    std::string body(reinterpret_cast<const char*>(Body->Memory()), static_cast<size_t>(Body->Size()));
    if (compressed) body = uMisc::BPECompressBytes(body.data(), body.size());
    if (scrambled) uMisc::ScrambleBufferEncode(body.data(), body.size(), Key);

    TMemoryStream content;
    Header.Write(content);
    LittleEndian::Write32(content, static_cast<uint32_t>(Thumbnail.size()));
    content.WriteBuffer(Thumbnail.data(), static_cast<int64_t>(Thumbnail.size()));
    LittleEndian::Write32(content, static_cast<uint32_t>(body.size()));
    content.WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
    return uMisc::WriteCheckedStream(&content, &stream);
}

bool TKelSaveData::SaveToFile(const TFileRoot& root, const std::string& enginePath, bool scrambled, bool compressed) {
    if (enginePath.empty()) return false;
    TMemoryStream bytes;
    if (!SaveToStream(bytes, scrambled, compressed)) return false;
    return root.WriteFileReplace(
        enginePath, std::string_view(reinterpret_cast<const char*>(bytes.Memory()), static_cast<size_t>(bytes.Size())));
}

bool TKelSaveData::LoadFromFile(const TFileRoot& root, const std::string& enginePath, bool withThumbnail,
                                bool withBody) {
    std::string bytes;
    if (enginePath.empty() || !root.FileExists(enginePath) || !root.ReadFile(enginePath, bytes)) {
        ErrorText = "cannot read " + enginePath;
        return false;
    }
    TMemoryStream stream(bytes);
    return LoadFromStream(stream, withBody, withThumbnail);
}

bool TKelSaveData::LoadFromStream(TStream& stream, bool withBody, bool withThumbnail) {
    auto fail = [this](const char* why) {
        ErrorText = why;
        return false;
    };
    std::unique_ptr<TMemoryStream> content;
    try {
        content = uMisc::ReadCheckedStream(&stream);
    } catch (const EStreamError&) {
        return fail("the file is cut short");
    }
    if (!content) return fail("the file is damaged (magic or checksum)");
    TKelSaveHeader header;
    if (!header.Read(*content)) return fail("the header is cut short");
    if (KelSaveData::MagicText(header.Magic) != KelSaveData::kSaveMagic) return fail("not a save file");
    if (header.CheckBlock != KelSaveData::CheckBlock(Key)) return fail("written under another key");

    uint32_t size = 0;
    if (!ReadU32(*content, size) || size > content->Remaining()) return fail("the thumbnail is cut short");
    std::string thumbnail;
    if (withThumbnail && size > 0) {
        thumbnail.resize(size);
        content->ReadBuffer(thumbnail.data(), size);
    } else {
        content->Seek(size, TSeekOrigin::Current);
    }

    std::unique_ptr<TMemoryStream> body;
    if (withBody) {
        if (!ReadU32(*content, size) || size > content->Remaining()) return fail("the body is cut short");
        if (content->Remaining() != size) return fail("bytes follow the body");
        std::string bytes(size, '\0');
        content->ReadBuffer(bytes.data(), size);
        if (header.Scrambled) uMisc::ScrambleBufferDecode(bytes.data(), bytes.size(), Key);
        if (header.Compressed) {
            std::string expanded;
            if (!uMisc::BPEExpandBytes(bytes.data(), bytes.size(), expanded))
                return fail("the body cannot be unpacked");
            bytes = std::move(expanded);
        }
        body = std::make_unique<TMemoryStream>(bytes);
    }
    Header = std::move(header);
    Thumbnail = std::move(thumbnail);
    Body = std::move(body);
    ErrorText.clear();
    return true;
}

// ---- save folder, check block, dates ----

namespace KelSaveData {

std::string SaveFilePath(std::string_view name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/') return {};
    int32_t depth = 0;
    size_t start = 0;
    auto segment = [&](size_t end) {
        const std::string_view s = name.substr(start, end - start);
        if (s == "..")
            --depth;
        else if (!s.empty() && s != ".")
            ++depth;
        start = end + 1;
        return depth >= 0;
    };
    for (size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (b == 0 || b == ':') return {};
        if (uMisc::IsSJISLeadByte(b) && i + 1 < name.size()) {
            ++i;
            continue;
        }
        if ((b == '\\' || b == '/') && !segment(i)) return {};
    }
    if (!segment(name.size())) return {};
    return kSaveFolder + std::string(name);
}

std::string CheckBlock(uint32_t key) {
    return uMisc::ScrambleString(kCheckString, false, key);
}

std::string_view MagicText(std::string_view field) {
    return field.substr(0, field.find('\0'));
}

double Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    return EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                      local.tm_sec) +
           static_cast<double>(ms) / kMsPerDay;
}

double EncodeDate(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second) {
    const auto days = static_cast<double>(DaysFromCivil(year, month, day) - kDateBase);
    const double time = static_cast<double>((int64_t{hour} * 60 + minute) * 60 + second) * 1000 / kMsPerDay;
    // Before the base day the time of day still counts forward from midnight.
    return days < 0 ? days - time : days + time;
}

bool DecodeDate(double date, std::array<int32_t, 6>& fields) {
    fields = {};
    if (!std::isfinite(date) || date < kFirstDay || date >= kEndDay) return false;
    auto day = static_cast<int64_t>(std::trunc(date));
    auto ms = static_cast<int64_t>(std::llround(std::fabs(date - static_cast<double>(day)) * kMsPerDay));
    if (ms >= kMsPerDay) {
        ms -= kMsPerDay;
        ++day;
    }
    CivilFromDays(day + kDateBase, fields[0], fields[1], fields[2]);
    fields[3] = static_cast<int32_t>(ms / 3600000);
    fields[4] = static_cast<int32_t>(ms / 60000 % 60);
    fields[5] = static_cast<int32_t>(ms / 1000 % 60);
    return true;
}

}  // namespace KelSaveData
