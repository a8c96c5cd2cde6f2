#include "foundation/uMisc.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "foundation/ShiftJis.h"

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
        size_t n = SJISCharBytes(text, i);
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

}  // namespace uMisc
