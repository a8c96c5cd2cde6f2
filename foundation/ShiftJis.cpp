#include "foundation/ShiftJis.h"

namespace uMisc {

// ---- Shift-JIS ----

namespace {

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
        size_t n = SJISCharBytes(set, i);
        if (set.substr(i, n) == ch) return true;
        i += n;
    }
    return false;
}

}  // namespace

int32_t SJISLength(std::string_view text) {
    int32_t count = 0;
    for (size_t i = 0; i < text.size(); i += SJISCharBytes(text, i))
        ++count;
    return count;
}

std::string SJISCopy(std::string_view text, int32_t start, int32_t count) {
    if (count <= 0) return {};
    if (start < 1) start = 1;
    size_t i = 0;
    for (int32_t ch = 1; ch < start && i < text.size(); ++ch)
        i += SJISCharBytes(text, i);
    size_t from = i;
    for (int32_t n = 0; n < count && i < text.size(); ++n)
        i += SJISCharBytes(text, i);
    return std::string(text.substr(from, i - from));
}

int32_t SJISPos(std::string_view sub, std::string_view text) {
    if (sub.empty() || text.empty()) return 0;
    int32_t ch = 1;
    for (size_t i = 0; i < text.size(); i += SJISCharBytes(text, i), ++ch)
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
        size_t n = SJISCharBytes(text, i);
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
        size_t n = SJISCharBytes(text, i);
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

}  // namespace uMisc
