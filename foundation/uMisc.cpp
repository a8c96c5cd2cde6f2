#include "foundation/uMisc.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "platform/LittleEndian.h"

// ---- TStringWriter ----

namespace {
constexpr int32_t kWriterStep = 128;

// Capacity for n characters: the next multiple of 128 strictly above n (at least 128).
int32_t CapacityFor(int64_t n) {
    if (n < 0) n = 0;
    int64_t cap = (n / kWriterStep + 1) * kWriterStep;
    if (cap > std::numeric_limits<int32_t>::max()) throw std::length_error("TStringWriter: text too long");
    return static_cast<int32_t>(cap);
}
}  // namespace

TStringWriter::TStringWriter() : Buffer(static_cast<size_t>(kWriterStep), '\0') {}

void TStringWriter::Append(std::string_view s) {
    if (s.empty()) return;
    int64_t need = static_cast<int64_t>(LengthValue) + static_cast<int64_t>(s.size());
    if (need >= CapacityValue)
        SetCapacity(static_cast<int32_t>(std::min<int64_t>(need, std::numeric_limits<int32_t>::max())));
    std::memcpy(Buffer.data() + LengthValue, s.data(), s.size());
    LengthValue = static_cast<int32_t>(need);
}

void TStringWriter::Append(char c) {
    if (LengthValue + 1 >= CapacityValue) SetCapacity(LengthValue + 1);
    Buffer[static_cast<size_t>(LengthValue++)] = c;
}

void TStringWriter::AppendPChar(const char* s) {
    if (s) Append(std::string_view(s));
}

std::string TStringWriter::GetString() const {
    return Buffer.substr(0, static_cast<size_t>(LengthValue));
}

void TStringWriter::Clear() {
    Buffer.assign(static_cast<size_t>(kWriterStep), '\0');
    Buffer.shrink_to_fit();
    CapacityValue = kWriterStep;
    LengthValue = 0;
}

void TStringWriter::SetCapacity(int32_t n) {
    // The capacity never drops to or below the length: the text already written is kept.
    int32_t cap = CapacityFor(std::max(n, LengthValue));
    if (cap == CapacityValue) return;
    Buffer.resize(static_cast<size_t>(cap));
    if (cap < CapacityValue) Buffer.shrink_to_fit();
    CapacityValue = cap;
}

namespace uMisc {

// ---- colours ----

namespace {
uint32_t Channel(uint32_t c, int shift) {
    return (c >> shift) & 0xFF;
}
}  // namespace

uint32_t ARGBToPaletteRGB(uint32_t colour) {
    return 0x02000000u | (Channel(colour, 0) << 16) | (Channel(colour, 8) << 8) | Channel(colour, 16);
}

uint32_t BlendARGB(uint32_t a, uint32_t b, int32_t t) {
    // A weight outside 0..255 would carry into the next channel; it is held to the nearer end.
    auto w = static_cast<uint32_t>(std::clamp(t, 0, 255));
    uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8)
        r |= ((Channel(a, shift) * (255 - w) + Channel(b, shift) * w) / 255) << shift;
    return r;
}

uint32_t MulARGB(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8)
        r |= (Channel(a, shift) * Channel(b, shift) / 255) << shift;
    return r;
}

uint32_t AddARGB(uint32_t a, uint32_t b) {
    uint32_t r = 0;
    for (int shift = 0; shift < 32; shift += 8)
        r |= std::min<uint32_t>(Channel(a, shift) + Channel(b, shift), 255) << shift;
    return r;
}

// ---- stream strings ----

void WriteStreamString(TStream* stream, std::string_view s) {
    if (!stream) return;
    // Longer strings keep the low 16 bits of their length and that many leading bytes, so the
    // record stays self-consistent.
    auto n = static_cast<uint16_t>(s.size() & 0xFFFF);
    LittleEndian::Write16(*stream, n);
    if (n) stream->WriteBuffer(s.data(), n);
}

bool ReadStreamString(TStream* stream, std::string& s) {
    if (!stream) return false;
    uint16_t n = 0;
    if (!LittleEndian::Read16(*stream, n)) {
        s.clear();
        return false;
    }
    s.assign(n, '\0');
    int64_t read = n ? stream->Read(s.data(), static_cast<int64_t>(n)) : 0;
    if (read < static_cast<int64_t>(n)) {
        s.resize(static_cast<size_t>(read < 0 ? 0 : read));
        return false;
    }
    return true;
}

// ---- Shift-JIS ----

namespace {

// Byte length of the character at byte i: 2 for a lead byte with a byte after it, else 1.
size_t CharLen(std::string_view text, size_t i) {
    return IsSJISLeadByte(static_cast<uint8_t>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// Characters that may not end a line (opening brackets), 24 bytes:
// ([{<（「〔［｛〈《『【＜
constexpr std::string_view kLineEndForbidden =
    "\x28\x5B\x7B\x3C\x81\x69\x81\x75\x81\x6B\x81\x6D\x81\x6F\x81\x71\x81\x73\x81\x77\x81\x79\x81\x83";

// Characters that may not start a line (closing punctuation, small kana, marks), 132 bytes. It
// begins with an ASCII space and an ideographic space; ＄, － and ～ occur twice.
//  　),.>]}、。，＞」〕］｝〉》』】：；:;ゝゞヽヾ々っゃゅょぁぃぅぇぉゎッャュョァィゥェォヮヵヶ・♪♭♯￥＄Σ☆★※！？!?＄～-－－―～
constexpr std::string_view kLineStartForbidden =
    "\x20\x81\x40\x29\x2C\x2E\x3E\x5D\x7D\x81\x41\x81\x42\x81\x43\x81\x84\x81\x76\x81\x6C\x81\x6E\x81\x70\x81\x72"
    "\x81\x74\x81\x78\x81\x7A\x81\x46\x81\x47\x3A\x3B\x81\x54\x81\x55\x81\x52\x81\x53\x81\x58\x82\xC1\x82\xE1\x82"
    "\xE3\x82\xE5\x82\x9F\x82\xA1\x82\xA3\x82\xA5\x82\xA7\x82\xEC\x83\x62\x83\x83\x83\x85\x83\x87\x83\x40\x83\x42"
    "\x83\x44\x83\x46\x83\x48\x83\x8E\x83\x95\x83\x96\x81\x45\x81\xF4\x81\xF3\x81\xF2\x81\x8F\x81\x90\x83\xB0\x81"
    "\x99\x81\x9A\x81\xA6\x81\x49\x81\x48\x21\x3F\x81\x90\x81\x60\x2D\x81\x7C\x81\x7C\x81\x5C\x81\x60";

static_assert(kLineEndForbidden.size() == 24);
static_assert(kLineStartForbidden.size() == 132);

// The 150 one-byte characters and, position for position, their two-byte forms.
//  abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ
// ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜｦﾝｧｨｩｪｫｯｬｭｮ
// 1234567890-^\!"#$%&()=~|@[`{;:]+*},./<>?_'
constexpr std::string_view kHalfList =
    " abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
    "\xB1\xB2\xB3\xB4\xB5\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4\xC5\xC6\xC7\xC8\xC9\xCA\xCB"
    "\xCC\xCD\xCE\xCF\xD0\xD1\xD2\xD3\xD4\xD5\xD6\xD7\xD8\xD9\xDA\xDB\xDC\xA6\xDD\xA7\xA8\xA9\xAA\xAB\xAF\xAC\xAD"
    "\xAE"
    "1234567890-^\\!\"#$%&()=~|@[`{;:]+*},./<>?_'";

// 　ａｂｃｄｅｆｇｈｉｊｋｌｍｎｏｐｑｒｓｔｕｖｗｘｙｚＡＢＣＤＥＦＧＨＩＪＫＬＭＮＯＰＱＲＳＴＵＶＷＸＹＺ
// アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワヲンァィゥェォッャュョ
// １２３４５６７８９０－＾￥！”＃＄％＆（）＝～｜＠［‘｛；：］＋＊｝、．／＜＞？＿’
constexpr std::string_view kFullList =
    "\x81\x40\x82\x81\x82\x82\x82\x83\x82\x84\x82\x85\x82\x86\x82\x87\x82\x88\x82\x89\x82\x8A\x82\x8B\x82\x8C\x82"
    "\x8D\x82\x8E\x82\x8F\x82\x90\x82\x91\x82\x92\x82\x93\x82\x94\x82\x95\x82\x96\x82\x97\x82\x98\x82\x99\x82\x9A"
    "\x82\x60\x82\x61\x82\x62\x82\x63\x82\x64\x82\x65\x82\x66\x82\x67\x82\x68\x82\x69\x82\x6A\x82\x6B\x82\x6C\x82"
    "\x6D\x82\x6E\x82\x6F\x82\x70\x82\x71\x82\x72\x82\x73\x82\x74\x82\x75\x82\x76\x82\x77\x82\x78\x82\x79"
    "\x83\x41\x83\x43\x83\x45\x83\x47\x83\x49\x83\x4A\x83\x4C\x83\x4E\x83\x50\x83\x52\x83\x54\x83\x56\x83\x58\x83"
    "\x5A\x83\x5C\x83\x5E\x83\x60\x83\x63\x83\x65\x83\x67\x83\x69\x83\x6A\x83\x6B\x83\x6C\x83\x6D\x83\x6E\x83\x71"
    "\x83\x74\x83\x77\x83\x7A\x83\x7D\x83\x7E\x83\x80\x83\x81\x83\x82\x83\x84\x83\x86\x83\x88\x83\x89\x83\x8A\x83"
    "\x8B\x83\x8C\x83\x8D\x83\x8F\x83\x92\x83\x93\x83\x40\x83\x42\x83\x44\x83\x46\x83\x48\x83\x62\x83\x83\x83\x85"
    "\x83\x87"
    "\x82\x50\x82\x51\x82\x52\x82\x53\x82\x54\x82\x55\x82\x56\x82\x57\x82\x58\x82\x4F\x81\x7C\x81\x4F\x81\x8F\x81"
    "\x49\x81\x68\x81\x94\x81\x90\x81\x93\x81\x95\x81\x69\x81\x6A\x81\x81\x81\x60\x81\x62\x81\x97\x81\x6D\x81\x65"
    "\x81\x6F\x81\x47\x81\x46\x81\x6E\x81\x7B\x81\x96\x81\x70\x81\x41\x81\x44\x81\x5E\x81\x83\x81\x84\x81\x48\x81"
    "\x51\x81\x66";

static_assert(kHalfList.size() == 150);
static_assert(kFullList.size() == 300);

// Voiced and semi-voiced katakana and their half-width forms (base and mark 0xDE or 0xDF).
// ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポ
constexpr std::string_view kFullVoiced =
    "\x83\x4B\x83\x4D\x83\x4F\x83\x51\x83\x53\x83\x55\x83\x57\x83\x59\x83\x5B\x83\x5D\x83\x5F\x83\x61\x83\x64\x83"
    "\x66\x83\x68\x83\x6F\x83\x72\x83\x75\x83\x78\x83\x7B\x83\x70\x83\x73\x83\x76\x83\x79\x83\x7C";
// ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ
constexpr std::string_view kHalfVoiced =
    "\xB6\xDE\xB7\xDE\xB8\xDE\xB9\xDE\xBA\xDE\xBB\xDE\xBC\xDE\xBD\xDE\xBE\xDE\xBF\xDE\xC0\xDE\xC1\xDE\xC2\xDE\xC3"
    "\xDE\xC4\xDE\xCA\xDE\xCB\xDE\xCC\xDE\xCD\xDE\xCE\xDE\xCA\xDF\xCB\xDF\xCC\xDF\xCD\xDF\xCE\xDF";

static_assert(kFullVoiced.size() == 50);
static_assert(kHalfVoiced.size() == 50);

constexpr std::string_view kIdeographicSpace = "\x81\x40";

// Index of the two-byte unit `pair` in a list of two-byte units, or -1.
int PairIndex(std::string_view list, char b1, char b2) {
    for (size_t k = 0; k + 1 < list.size(); k += 2)
        if (list[k] == b1 && list[k + 1] == b2) return static_cast<int>(k / 2);
    return -1;
}

bool InCharSet(std::string_view set, std::string_view ch) {
    if (ch.empty()) return false;
    for (size_t i = 0; i < set.size();) {
        size_t n = CharLen(set, i);
        if (set.substr(i, n) == ch) return true;
        i += n;
    }
    return false;
}

}  // namespace

int32_t SJISLength(std::string_view text) {
    int32_t count = 0;
    for (size_t i = 0; i < text.size(); i += CharLen(text, i))
        ++count;
    return count;
}

std::string SJISCopy(std::string_view text, int32_t start, int32_t count) {
    if (count <= 0) return {};
    if (start < 1) start = 1;
    size_t i = 0;
    for (int32_t ch = 1; ch < start && i < text.size(); ++ch)
        i += CharLen(text, i);
    size_t from = i;
    for (int32_t n = 0; n < count && i < text.size(); ++n)
        i += CharLen(text, i);
    return std::string(text.substr(from, i - from));
}

int32_t SJISPos(std::string_view sub, std::string_view text) {
    if (sub.empty() || text.empty()) return 0;
    int32_t ch = 1;
    for (size_t i = 0; i < text.size(); i += CharLen(text, i), ++ch)
        if (text.compare(i, sub.size(), sub) == 0) return ch;
    return 0;
}

bool IsLineEndForbidden(std::string_view ch) {
    return InCharSet(kLineEndForbidden, ch);
}

bool IsLineStartForbidden(std::string_view ch) {
    return InCharSet(kLineStartForbidden, ch);
}

std::string ToFullWidth(std::string_view text) {
    std::string r;
    r.reserve(text.size() * 2);
    for (size_t i = 0; i < text.size();) {
        size_t n = CharLen(text, i);
        if (n == 2) {
            r.append(text.substr(i, 2));
            i += 2;
            continue;
        }
        char b = text[i];
        // A half-width base followed by its voiced or semi-voiced mark becomes one character.
        if (i + 1 < text.size()) {
            int k = PairIndex(kHalfVoiced, b, text[i + 1]);
            if (k >= 0) {
                r.append(kFullVoiced.substr(static_cast<size_t>(k) * 2, 2));
                i += 2;
                continue;
            }
        }
        size_t k = kHalfList.find(b);
        r.append(k == std::string_view::npos ? kIdeographicSpace : kFullList.substr(k * 2, 2));
        ++i;
    }
    return r;
}

std::string ToHalfWidth(std::string_view text) {
    std::string r;
    r.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        size_t n = CharLen(text, i);
        if (n == 1) {
            r += text[i++];
            continue;
        }
        int k = PairIndex(kFullVoiced, text[i], text[i + 1]);
        if (k >= 0) {
            r.append(kHalfVoiced.substr(static_cast<size_t>(k) * 2, 2));
        } else if ((k = PairIndex(kFullList, text[i], text[i + 1])) >= 0) {
            r += kHalfList[static_cast<size_t>(k)];
        } else {
            r += ' ';
        }
        i += 2;
    }
    return r;
}

// ---- other routines ----

std::unique_ptr<TStringList> SplitString(std::string_view delimiter, std::string_view text, bool stripBlanks,
                                         bool stopAtComment, int32_t minimumCount) {
    auto list = std::make_unique<TStringList>();
    // Only the delimiter's first two bytes take part; a one-byte delimiter has a second byte of 0.
    const char d1 = delimiter.size() > 0 ? delimiter[0] : '\0';
    const char d2 = delimiter.size() > 1 ? delimiter[1] : '\0';
    TStringWriter item;
    int64_t depth = 0;  // one counter for all three bracket kinds; may go below 0
    bool inQuotes = false;
    bool examined = false;
    char last1 = 0, last2 = 0;  // the last character examined
    auto endItem = [&] {
        list->Add(item.GetString());
        item.Clear();
    };

    size_t i = 0;
    while (i < text.size()) {
        size_t n = CharLen(text, i);
        char c1 = text[i];
        char c2 = n == 2 ? text[i + 1] : '\0';
        i += n;
        examined = true;
        last1 = c1;
        last2 = c2;
        bool single = n == 1;

        // CR LF ends an item whatever the depth and the quotes; the pair itself is not kept.
        if (single && c1 == '\r' && i < text.size() && text[i] == '\n') {
            endItem();
            ++i;
            continue;
        }
        // Blanks go everywhere, between quotes too.
        if (stripBlanks && single && (c1 == ' ' || c1 == '\t')) continue;
        // "//" ends the line, between quotes too.
        if (stopAtComment && single && c1 == '/' && i < text.size() && text[i] == '/') break;
        if (single) {
            if (c1 == '"') {
                inQuotes = !inQuotes;
            } else if (c1 == '(' || c1 == '[' || c1 == '{') {
                ++depth;
            } else if (c1 == ')' || c1 == ']' || c1 == '}') {
                --depth;
            }
        }
        if (depth == 0 && !inQuotes && c1 == d1 && c2 == d2) {
            endItem();
            continue;
        }
        item.Append(text.substr(i - n, n));
    }

    if (item.Length() > 0) list->Add(item.GetString());
    // A delimiter as the last character leaves one empty item after it.
    if (examined && last1 == d1 && last2 == d2) list->Add(std::string());
    while (list->Count() < minimumCount)
        list->Add(std::string());
    return list;
}

std::string StrToHex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string r;
    r.reserve(bytes.size() * 2);
    for (char c : bytes) {
        auto b = static_cast<uint8_t>(c);
        r += kDigits[b & 0x0F];  // low nibble first
        r += kDigits[b >> 4];
    }
    return r;
}

namespace {
uint8_t HexDigit(char c) {
    if (c >= '0' && c <= '9') return static_cast<uint8_t>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<uint8_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<uint8_t>(c - 'a' + 10);
    return 0;
}
}  // namespace

std::string HexToStr(std::string_view text) {
    std::string r;
    r.reserve(text.size() / 2);
    for (size_t i = 0; i + 1 < text.size(); i += 2)
        r += static_cast<char>(HexDigit(text[i]) | (HexDigit(text[i + 1]) << 4));
    return r;
}

std::string HexString(std::string_view text, bool decode) {
    return decode ? HexToStr(text) : StrToHex(text);
}

int32_t WeightedSum(std::string_view text) {
    uint32_t sum = 0;
    for (size_t i = 0; i < text.size(); ++i)
        sum += static_cast<uint32_t>(static_cast<uint8_t>(text[i])) * ((i + 1) & 255);
    return static_cast<int32_t>(sum);
}

bool TryStrToInt(std::string_view text, int bits, THexPrefix prefixes, int64_t& value) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (prefixes == THexPrefix::DollarOr0x && i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size()) return false;
    const uint64_t allBits = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    // Decimal: up to 2^(bits-1) - 1, or 2^(bits-1) with a minus sign.
    const uint64_t limit = hex ? allBits : (uint64_t{1} << (bits - 1)) - (negative ? 0 : 1);
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        uint64_t digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<uint64_t>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<uint64_t>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<uint64_t>(c - 'A' + 10);
        else
            return false;
        const uint64_t base = hex ? 16 : 10;
        if (v > (limit - digit) / base) return false;
        v = v * base + digit;
    }
    if (negative) v = 0 - v;
    v &= allBits;
    if (bits < 64 && ((v >> (bits - 1)) & 1)) v |= ~allBits;  // sign-extended from `bits` bits
    value = static_cast<int64_t>(v);
    return true;
}

int32_t StrToKey4(std::string_view text) {
    uint32_t key = 0;
    for (size_t i = 0; i < text.size() && i < 4; ++i)
        key |= (static_cast<uint32_t>(text[i]) & 0x7F) << (8 * i);
    return static_cast<int32_t>(key);
}

bool StrToBoolDef(std::string_view text, bool def) {
    auto same = [](std::string_view a, std::string_view upper) {
        if (a.size() != upper.size()) return false;
        for (size_t i = 0; i < a.size(); ++i) {
            char c = a[i];
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            if (c != upper[i]) return false;
        }
        return true;
    };
    if (same(text, "TRUE")) return true;
    if (same(text, "FALSE")) return false;
    return def;
}

int32_t StrLen(const char* s) {
    return s ? static_cast<int32_t>(std::strlen(s)) : 0;
}

// ---- scramblers, byte-pair compression, checksums, checked streams ----

// ---- string and buffer scramblers ----

std::string XorScrambleString(std::string_view text, uint32_t key) {
    // The key is folded in on all 32 bits before the mask; only the low byte of the position counts.
    const uint32_t k = (static_cast<uint32_t>(text.size()) + (key ^ 0xA7u)) & 0xFFu;
    std::string r(text);
    for (size_t n = 0; n < r.size(); ++n) {
        const uint32_t i = static_cast<uint32_t>(n + 1) & 0xFFu;
        const uint32_t m = ((i ^ k) + i) & 0xFFu;
        r[n] = static_cast<char>(static_cast<uint8_t>(r[n]) ^ m);
    }
    return r;
}

std::string ScrambleString(std::string_view text, bool, uint32_t key) {
    return XorScrambleString(text, key);
}

namespace {
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the checksum reads its 16-bit words directly");

constexpr uint32_t kScrambleLaneStart = 0x6E2B91D4u;
constexpr uint32_t kScrambleLaneStep = 0x3F8A0C67u;
constexpr uint32_t kScrambleSeedMask = 0x8B54E21Au;

using LittleEndian::Get32;
using LittleEndian::Put32;
}  // namespace

namespace {

// The scrambler's state between words: the two key lanes and the two halves of the last plain
// word.
struct TScrambleLanes {
    uint32_t L0, L1, F0, F1;
};

#if defined(__SSE2__)
// Each word's key is (the last key + a constant) xor the last plain word, a chain of one add and
// one xor per word that nothing can shorten. Both lanes go through one vector register (the low
// two of its four lanes), eight words a round: the loads, stores and shuffles run beside the
// chain. When unscrambling, the plain word that feeds the next key is the key xor the stored word,
// computed beside the next add.
template <bool Decode>
size_t ScrambleRounds(uint8_t* p, size_t words, TScrambleLanes& s) {
    const __m128i step = _mm_set1_epi32(static_cast<int>(kScrambleLaneStep));
    __m128i l = _mm_setr_epi32(static_cast<int>(s.L0), static_cast<int>(s.L1), 0, 0);
    __m128i f = _mm_setr_epi32(static_cast<int>(s.F0), static_cast<int>(s.F1), 0, 0);
    constexpr size_t kRound = 8;
    size_t k = 0;
    for (; k + kRound <= words; k += kRound, p += kRound * 8) {
        __m128i out[kRound];  // the other form of each word, in the low half
        for (size_t h = 0; h < kRound / 2; ++h) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * h));
            const __m128i w1 = _mm_srli_si128(w, 8);
            const __m128i l0 = _mm_xor_si128(_mm_add_epi32(l, step), f);
            out[2 * h] = _mm_xor_si128(l0, w);
            f = Decode ? out[2 * h] : w;
            l = _mm_xor_si128(_mm_add_epi32(l0, step), f);
            out[2 * h + 1] = _mm_xor_si128(l, w1);
            f = Decode ? out[2 * h + 1] : w1;
        }
        for (size_t h = 0; h < kRound / 2; ++h)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16 * h), _mm_unpacklo_epi64(out[2 * h], out[2 * h + 1]));
    }
    s.L0 = static_cast<uint32_t>(_mm_cvtsi128_si32(l));
    s.L1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(l, 4)));
    s.F0 = static_cast<uint32_t>(_mm_cvtsi128_si32(f));
    s.F1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(f, 4)));
    return k;
}
#else
template <bool Decode>
size_t ScrambleRounds(uint8_t*, size_t, TScrambleLanes&) {
    return 0;
}
#endif

template <bool Decode>
void ScrambleWords(void* buffer, size_t size, uint32_t key) {
    auto* p = static_cast<uint8_t*>(buffer);
    const size_t words = size / 8;
    const uint32_t seed = (static_cast<uint32_t>(size) + key) ^ kScrambleSeedMask;
    TScrambleLanes s{kScrambleLaneStart, kScrambleLaneStart, seed, seed};
    const size_t done = ScrambleRounds<Decode>(p, words, s);
    p += done * 8;
    for (size_t k = done; k < words; ++k, p += 8) {
        s.L0 = (s.L0 + kScrambleLaneStep) ^ s.F0;
        s.L1 = (s.L1 + kScrambleLaneStep) ^ s.F1;
        const uint32_t w0 = Get32(p), w1 = Get32(p + 4);
        const uint32_t x0 = w0 ^ s.L0, x1 = w1 ^ s.L1;
        Put32(p, x0);
        Put32(p + 4, x1);
        s.F0 = Decode ? x0 : w0;  // the feedback is the plain word
        s.F1 = Decode ? x1 : w1;
    }
}

}  // namespace

void ScrambleBufferEncode(void* buffer, size_t size, uint32_t key) {
    ScrambleWords<false>(buffer, size, key);
}

void ScrambleBufferDecode(void* buffer, size_t size, uint32_t key) {
    ScrambleWords<true>(buffer, size, key);
}

void ScrambleBuffer(void* buffer, size_t size, bool decode, uint32_t key) {
    if (!buffer) return;
    if (decode)
        ScrambleBufferDecode(buffer, size, key);
    else
        ScrambleBufferEncode(buffer, size, key);
}

// ---- byte-pair compression ----

namespace {

using LittleEndian::Append16;
using LittleEndian::Append32;

// One block at a time: at most 8192 bytes and fewer than 200 distinct byte values, so at least 56
// codes stay free to stand for pairs. Pair counts live in a hash of 8192 slots with 8-bit
// saturating counts. Ties between pair counts go to the lowest slot: stored files depend on it.
class TPairCompressor {
public:
    static constexpr int kBlockSize = 8192;
    static constexpr int kHashSize = 8192;
    static constexpr int kMaxChars = 200;
    static constexpr int kThreshold = 3;

    void Run(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
        size_t pos = 0;
        do {
            ReadBlock(src, n, pos);
            CompressBlock();
            WriteBlock(out);
        } while (pos < n);
    }

private:
    int Lookup(uint8_t a, uint8_t b) {
        int index = (a ^ (b << 5)) & (kHashSize - 1);
        // A slot whose count is 0 is free whatever pair it last held. A full table cannot occur in
        // practice; the probe count only keeps a pathological block from looping for ever.
        for (int probes = 0; (Left[index] != a || Right[index] != b) && Count[index] != 0 && probes < kHashSize;
             ++probes)
            index = (index + 1) & (kHashSize - 1);
        Left[index] = a;
        Right[index] = b;
        return index;
    }

    void ReadBlock(const uint8_t* src, size_t n, size_t& pos) {
        std::memset(Count, 0, sizeof Count);
        for (int c = 0; c < 256; ++c) {
            LeftCode[c] = static_cast<uint8_t>(c);
            RightCode[c] = 0;
            Used[c] = false;
        }
        Size = 0;
        int used = 0;
        while (Size < kBlockSize && used < kMaxChars && pos < n) {
            const uint8_t c = src[pos++];
            if (Size > 0) {
                const int index = Lookup(Buffer[Size - 1], c);
                if (Count[index] < 255) ++Count[index];
            }
            Buffer[Size++] = c;
            if (!Used[c]) {
                Used[c] = true;
                ++used;
            }
        }
    }

    bool IsLiteral(int c) const { return LeftCode[c] == c; }

    void CompressBlock() {
        int code = 256;
        for (;;) {
            // The next free code: a literal whose byte value does not occur in the block.
            for (--code; code >= 0; --code)
                if (IsLiteral(code) && !Used[code]) break;
            if (code < 0) break;

            int best = 2;
            uint8_t leftCh = 0, rightCh = 0;
            for (int index = 0; index < kHashSize; ++index)
                if (Count[index] > best) {
                    best = Count[index];
                    leftCh = Left[index];
                    rightCh = Right[index];
                }
            if (best < kThreshold) break;

            const auto c = static_cast<uint8_t>(code);
            const int oldSize = Size - 1;
            int w = 0, r = 0;
            for (; r < oldSize; ++r) {
                if (Buffer[r] == leftCh && Buffer[r + 1] == rightCh) {
                    if (r > 0) {
                        int index = Lookup(Buffer[w - 1], leftCh);
                        if (Count[index] > 1) --Count[index];
                        index = Lookup(Buffer[w - 1], c);
                        if (Count[index] < 255) ++Count[index];
                    }
                    if (r < oldSize - 1) {
                        int index = Lookup(rightCh, Buffer[r + 2]);
                        if (Count[index] > 1) --Count[index];
                        index = Lookup(c, Buffer[r + 2]);
                        if (Count[index] < 255) ++Count[index];
                    }
                    Buffer[w++] = c;
                    ++r;
                    --Size;
                } else {
                    Buffer[w++] = Buffer[r];
                }
            }
            if (r == oldSize) Buffer[w] = Buffer[r];  // the last byte, when no pair took it

            LeftCode[code] = leftCh;
            RightCode[code] = rightCh;
            Count[Lookup(leftCh, rightCh)] = 1;
        }
    }

    // The pair table: runs of literal codes as one count byte (127 + run length, at most 127
    // codes), runs of pair codes as (run length - 1) followed by their entries. A pair run may
    // take in single literals between pairs; their entries are the code itself.
    void WriteBlock(std::vector<uint8_t>& out) {
        int c = 0;
        while (c < 256) {
            int len;
            if (IsLiteral(c)) {
                len = 1;
                ++c;
                while (len < 127 && c < 256 && IsLiteral(c)) {
                    ++len;
                    ++c;
                }
                out.push_back(static_cast<uint8_t>(len + 127));
                len = 0;
                if (c == 256) break;
            } else {
                len = 0;
                ++c;
                while ((len < 127 && c < 256 && !IsLiteral(c)) || (len < 125 && c < 254 && !IsLiteral(c + 1))) {
                    ++len;
                    ++c;
                }
                out.push_back(static_cast<uint8_t>(len));
                c -= len + 1;
            }
            for (int i = 0; i <= len; ++i, ++c) {
                out.push_back(LeftCode[c]);
                if (!IsLiteral(c)) out.push_back(RightCode[c]);
            }
        }
        Append16(out, static_cast<uint16_t>(Size));
        out.insert(out.end(), Buffer, Buffer + Size);
    }

    uint8_t Buffer[kBlockSize];
    uint8_t LeftCode[256], RightCode[256];
    bool Used[256];
    uint8_t Left[kHashSize], Right[kHashSize], Count[kHashSize];
    int Size = 0;
};

void CompressInto(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
    out.clear();
    out.reserve(0x80000);
    Append32(out, kBPEMagic);
    Append32(out, 1);  // 16-bit block lengths
    Append32(out, static_cast<uint32_t>(n));
    auto compressor = std::make_unique<TPairCompressor>();
    compressor->Run(src, n, out);
}

// Expands one stream. Within a block, the first complete expansion of a pair code is found again
// in the output and copied from there, so that each later occurrence costs one copy; runs of
// literal codes are copied as they stand, and a block without pairs (what an entry that does not
// compress becomes) is one copy. Every limit of the format is checked: the pair table stays within
// the 256 codes, blocks stay within the source, the output within its declared size, and a code
// never needs more than the 256 pending codes that the format allows (the stack of the reference
// expander).
class TPairExpander {
public:
    static constexpr int kStackSize = 256;
    static constexpr size_t kSlack = 16;

    TPairExpander() {
        for (int c = 0; c < 256; ++c) {
            Left[c] = static_cast<uint8_t>(c);
            Right[c] = 0;
            MakeLiteral(c);
        }
    }

    bool Run(const uint8_t* src, size_t n, std::vector<uint8_t>& out) {
        if (n < 4) return false;
        size_t pos;
        uint32_t flags, size;
        if (Get32(src) == kBPEMagic) {
            if (n < 12) return false;
            flags = Get32(src + 4);
            size = Get32(src + 8);
            pos = 12;
        } else {
            flags = 0;  // the headerless form: 32-bit block lengths
            size = Get32(src);
            pos = 4;
        }
        if (size > kBPEMaxSize) return false;
        // The whole size is reserved but filled only as far as the output goes, so that a stream
        // declaring much more than it holds costs no more than what it holds. The reserved memory
        // never moves, so Out stays valid while the vector grows into it.
        out.clear();
        out.reserve(size + kSlack);
        Buffer = &out;
        Out = out.data();
        OutSize = size;
        OutPos = 0;
        Filled = 0;
        const bool shortLengths = (flags & 1) != 0;
        while (pos < n) {
            if (!ReadTable(src, n, pos)) return false;
            uint32_t length;
            if (shortLengths) {
                if (n - pos < 2) return false;
                length = LittleEndian::Get16(src + pos);
                pos += 2;
            } else {
                if (n - pos < 4) return false;
                length = Get32(src + pos);
                pos += 4;
            }
            if (length > n - pos) return false;
            if (!ExpandBlock(src + pos, length)) return false;
            pos += length;
        }
        if (OutPos != OutSize) return false;
        out.resize(size);  // drops the slack, keeps the memory
        return true;
    }

private:
    // A literal code expands to itself: one byte, no pending codes.
    void MakeLiteral(int c) {
        Left[c] = static_cast<uint8_t>(c);
        IsPair[c] = 0;
        State[c] = 2;
        Length[c] = 1;
        Need[c] = 0;
    }

    bool ReadTable(const uint8_t* src, size_t n, size_t& pos) {
        // The codes that stood for pairs in the last block stand for themselves again; the others
        // never changed.
        for (int k = 0; k < PairCount; ++k)
            MakeLiteral(Pairs[k]);
        PairCount = 0;
        int c = 0;
        for (;;) {
            if (pos >= n) return false;
            int count = src[pos++];
            if (count > 127) {
                c += count - 127;
                count = 0;
                if (c > 256) return false;
                if (c == 256) break;
            }
            if (c + count + 1 > 256) return false;
            for (int i = 0; i <= count; ++i, ++c) {
                if (pos >= n) return false;
                const uint8_t left = src[pos++];
                if (left == c) continue;  // an entry that names its own code is a literal
                if (pos >= n) return false;
                Left[c] = left;
                Right[c] = src[pos++];
                IsPair[c] = 1;
                State[c] = 0;
                FirstAt[c] = -1;
                Pairs[PairCount++] = static_cast<uint8_t>(c);
            }
            if (c == 256) break;
        }
        return true;
    }

    static constexpr uint64_t kHuge = uint64_t(1) << 40;  // beyond any declared size
    static constexpr int kTooDeep = kStackSize + 1;

    // The expanded length of a pair code and the pending codes its expansion needs, following the
    // reference order: a pair pushes its right and then its left element.
    void Measure(int c) {
        State[c] = 1;
        const int l = Left[c], r = Right[c];
        bool cyclic = false;
        for (int child : {l, r}) {
            if (State[child] == 1)
                cyclic = true;
            else if (State[child] == 0)
                Measure(child);
        }
        if (cyclic) {
            Length[c] = kHuge;
            Need[c] = kTooDeep;
        } else {
            const uint64_t length = Length[l] + Length[r];
            Length[c] = length < kHuge ? length : kHuge;
            int need = 1 + Need[l] > Need[r] ? 1 + Need[l] : Need[r];
            if (need < 2) need = 2;
            Need[c] = need < kTooDeep ? need : kTooDeep;
        }
        State[c] = 2;
    }

    // Writes the expansion of a measured code at pos, with room for it and the slack; returns the
    // position after it.
    size_t Emit(int c, size_t pos) {
        uint8_t* const out = Out;
        if (!IsPair[c]) {
            out[pos] = static_cast<uint8_t>(c);
            return pos + 1;
        }
        if (FirstAt[c] >= 0) {
            const auto length = static_cast<size_t>(Length[c]);
            const uint8_t* from = out + FirstAt[c];
            if (length <= kSlack) {
                // Short expansions move as one 16-byte word through a register; the bytes past the
                // length land in what is written next, or in the slack past the end.
                uint8_t word[kSlack];
                std::memcpy(word, from, kSlack);
                std::memcpy(out + pos, word, kSlack);
            } else {
                std::memcpy(out + pos, from, length);
            }
            return pos + length;
        }
        const size_t start = pos;
        pos = Emit(Left[c], pos);
        pos = Emit(Right[c], pos);
        FirstAt[c] = static_cast<int64_t>(start);
        return pos;
    }

    // Makes room for n more bytes at pos (and the slack) within the reserved memory, which never
    // moves. The vector's growth fills the new part with zeros once, just before it is written.
    void Room(size_t pos, size_t n) {
        const size_t want = pos + n + kSlack;
        if (want <= Filled) return;
        size_t grown = Filled * 2;
        if (grown < want) grown = want;
        if (grown < 65536) grown = 65536;
        if (grown > OutSize + kSlack) grown = OutSize + kSlack;
        Buffer->resize(grown);
        Filled = grown;
    }

    bool ExpandBlock(const uint8_t* packed, uint32_t length) {
        size_t pos = OutPos;
        if (PairCount == 0) {
            if (length > OutSize - pos) return false;
            Room(pos, length);
            std::memcpy(Out + pos, packed, length);
            OutPos = pos + length;
            return true;
        }
        const uint8_t* p = packed;
        const uint8_t* const end = packed + length;
        while (p < end) {
            const uint8_t* q = p;
            while (q < end && !IsPair[*q])
                ++q;
            if (q != p) {
                const auto run = static_cast<size_t>(q - p);
                if (run > OutSize - pos) return false;
                Room(pos, run);
                if (run <= kSlack && end - p >= static_cast<std::ptrdiff_t>(kSlack)) {
                    // As in Emit: one word, the bytes past the run overwritten later or slack.
                    uint8_t word[kSlack];
                    std::memcpy(word, p, kSlack);
                    std::memcpy(Out + pos, word, kSlack);
                } else {
                    std::memcpy(Out + pos, p, run);
                }
                pos += run;
                p = q;
                if (p == end) break;
            }
            const int c = *p++;
            if (State[c] != 2) Measure(c);
            if (Need[c] > kStackSize || Length[c] > OutSize - pos) return false;
            Room(pos, static_cast<size_t>(Length[c]));
            pos = Emit(c, pos);
        }
        OutPos = pos;
        return true;
    }

    uint8_t Left[256], Right[256];
    uint8_t IsPair[256];
    uint8_t State[256];  // 0 unmeasured, 1 being measured, 2 measured
    uint8_t Pairs[256];  // the pair codes of the current block
    int PairCount = 0;
    int Need[256];
    uint64_t Length[256];
    int64_t FirstAt[256];
    std::vector<uint8_t>* Buffer = nullptr;
    uint8_t* Out = nullptr;  // the reserved memory of Buffer
    size_t OutSize = 0, OutPos = 0;
    size_t Filled = 0;  // bytes of Buffer made so far
};

}  // namespace

std::unique_ptr<TMemoryStream> BPECompress(const TMemoryStream& source) {
    auto r = std::make_unique<TMemoryStream>();
    CompressInto(source.Memory(), source.Data.size(), r->Data);
    r->SetPosition(0);
    return r;
}

std::string BPECompressBytes(const void* data, size_t size) {
    std::vector<uint8_t> out;
    CompressInto(static_cast<const uint8_t*>(data), size, out);
    return std::string(out.begin(), out.end());
}

std::unique_ptr<TMemoryStream> BPEExpand(const TMemoryStream& source) {
    auto r = std::make_unique<TMemoryStream>();
    TPairExpander expander;
    if (!expander.Run(source.Memory(), source.Data.size(), r->Data)) return nullptr;
    r->SetPosition(0);
    return r;
}

bool BPEExpandBytes(const void* data, size_t size, std::string& out) {
    std::vector<uint8_t> bytes;
    TPairExpander expander;
    if (!expander.Run(static_cast<const uint8_t*>(data), size, bytes)) return false;
    out.assign(bytes.begin(), bytes.end());
    return true;
}

std::unique_ptr<TMemoryStream> PackStream(std::unique_ptr<TMemoryStream>& source, bool expand) {
    if (!source) return nullptr;
    auto r = expand ? BPEExpand(*source) : BPECompress(*source);
    if (r) source.reset();
    return r;
}

// ---- checksums ----

namespace {
// Eight 16-bit lanes: two 8-byte words side by side. Additions wrap in each lane.
typedef uint16_t TChecksumLanes __attribute__((vector_size(16)));

inline TChecksumLanes LoadLanes(const uint8_t* p) {
    TChecksumLanes v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
}  // namespace

uint32_t Checksum64(const void* buffer, size_t size) {
    if (!buffer) return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    const size_t words = size / 8;
    constexpr uint16_t kStep = 0x0307;
    // Word k (from 1) adds (word xor k * 0x0307) in each of its four lanes. Eight words at a time
    // go through four accumulators of two words each, which the compiler keeps in registers; the
    // key of each accumulator moves on by eight steps a round. Sums of lanes commute, so folding
    // the accumulators at the end gives the word-by-word sum.
    constexpr int kRound = 8;
    const auto key = [](int k) { return static_cast<uint16_t>(kStep * k); };
    TChecksumLanes q0 = {key(1), key(1), key(1), key(1), key(2), key(2), key(2), key(2)};
    TChecksumLanes q1 = q0 + key(2), q2 = q0 + key(4), q3 = q0 + key(6);
    const TChecksumLanes step = q0 - q0 + key(kRound);
    TChecksumLanes s0 = {}, s1 = {}, s2 = {}, s3 = {};
    size_t k = 0;
    for (; k + kRound <= words; k += kRound) {
        const uint8_t* w = p + k * 8;
        s0 += LoadLanes(w) ^ q0;
        s1 += LoadLanes(w + 16) ^ q1;
        s2 += LoadLanes(w + 32) ^ q2;
        s3 += LoadLanes(w + 48) ^ q3;
        q0 += step;
        q1 += step;
        q2 += step;
        q3 += step;
    }
    const TChecksumLanes all = s0 + s1 + s2 + s3;
    uint16_t s[4];
    for (int j = 0; j < 4; ++j)
        s[j] = static_cast<uint16_t>(all[j] + all[j + 4]);
    for (; k < words; ++k) {
        const uint16_t q = key(static_cast<int>((k + 1) & 0xFFFF));
        uint16_t w[4];
        std::memcpy(w, p + k * 8, 8);
        for (int j = 0; j < 4; ++j)
            s[j] = static_cast<uint16_t>(s[j] + (w[j] ^ q));
    }
    const uint32_t low = s[0] | (static_cast<uint32_t>(s[1]) << 16);
    const uint32_t high = s[2] | (static_cast<uint32_t>(s[3]) << 16);
    return low ^ high;
}

uint16_t CRC16(const void* buffer, size_t size) {
    if (!buffer) return 0;
    const auto* p = static_cast<const uint8_t*>(buffer);
    uint32_t r = 0;  // bit n is r_n
    for (size_t i = 0; i < size; ++i)
        for (int bit = 0; bit < 8; ++bit) {
            const uint32_t f = (r >> 15) & 1;
            r = ((r << 1) | ((p[i] >> bit) & 1u)) & 0xFFFF;
            if (f) r ^= 0x1021;  // r0, r5, r12
        }
    // r0 goes to bit 15, r15 to bit 0.
    uint16_t result = 0;
    for (int bit = 0; bit < 16; ++bit)
        if (r & (1u << bit)) result |= static_cast<uint16_t>(1u << (15 - bit));
    return result;
}

std::string CRC16Hex(const void* buffer, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    const uint16_t v = CRC16(buffer, size);
    std::string r(4, '0');
    for (int i = 0; i < 4; ++i)
        r[static_cast<size_t>(i)] = digits[(v >> (12 - 4 * i)) & 0xF];
    return r;
}

// ---- checked streams ----

bool WriteCheckedStream(TMemoryStream* source, TStream* destination) {
    if (!source || !destination) return false;
    const auto size = static_cast<uint32_t>(source->Data.size());
    uint8_t header[12];
    Put32(header, kCheckedMagic);
    Put32(header + 4, Checksum64(source->Memory(), source->Data.size()));
    Put32(header + 8, size);
    destination->WriteBuffer(header, sizeof header);
    destination->WriteBuffer(source->Memory(), static_cast<int64_t>(size));
    return true;
}

std::unique_ptr<TMemoryStream> ReadCheckedStream(TStream* stream) {
    if (!stream) return nullptr;
    uint8_t magic[4] = {};
    if (stream->Read(magic, 4) != 4 || Get32(magic) != kCheckedMagic) return nullptr;
    uint8_t fields[8];
    stream->ReadBuffer(fields, sizeof fields);
    const uint32_t checksum = Get32(fields), size = Get32(fields + 4);
    if (size > static_cast<uint64_t>(stream->Remaining())) throw EStreamError("stream read error");
    auto body = std::make_unique<TMemoryStream>();
    body->Data.resize(size);
    if (size) stream->ReadBuffer(body->Memory(), size);
    if (Checksum64(body->Memory(), size) != checksum) return nullptr;
    body->SetPosition(0);
    return body;
}

}  // namespace uMisc
