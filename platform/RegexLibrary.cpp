// The regular-expression library's implementation on PCRE2; the engine reaches it only through
// the binding of the script engine.
#include "platform/RegexLibrary.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Encoding.h"

namespace RegexLibrary {
namespace {

// ---- Shift-JIS characters and their code points ----------------------------------------------

// A lead byte and the byte after it form one character; a lead byte at the very end stands alone.
bool IsLead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || b >= 0xE0;
}

size_t CharLength(const char* s, size_t i, size_t n) {
    return IsLead(static_cast<uint8_t>(s[i])) && i + 1 < n ? 2 : 1;
}

// The character's code: its byte, or lead * 256 + trail.
uint32_t CharCode(const char* s, size_t i, size_t len) {
    auto b = static_cast<uint8_t>(s[i]);
    return len == 2 ? (uint32_t{b} << 8) | static_cast<uint8_t>(s[i + 1]) : b;
}

// Decodes a UTF-8 text that holds exactly one code point; 0xFFFFFFFF otherwise.
uint32_t SingleCodePoint(const std::string& u) {
    if (u.empty()) return 0xFFFFFFFF;
    auto b0 = static_cast<uint8_t>(u[0]);
    size_t len = b0 < 0x80 ? 1 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (len == 0 || u.size() != len) return 0xFFFFFFFF;
    uint32_t cp = len == 1 ? b0 : b0 & (0x7F >> len);
    for (size_t i = 1; i < len; ++i)
        cp = (cp << 6) | (static_cast<uint8_t>(u[i]) & 0x3F);
    return cp;
}

// Code point of a Shift-JIS character. Bytes and pairs without a Unicode counterpart get a code
// point of their own in plane 15 (private use), so that such a character in a pattern still
// matches exactly the same bytes in a text and no other.
uint32_t CodePoint(uint32_t code) {
    if (code < 0x80) return code;  // ASCII is the same in code page 932, "\" and "~" included
    static std::vector<uint32_t> table(0x10000, 0xFFFFFFFF);
    uint32_t& cp = table[code];
    if (cp == 0xFFFFFFFF) {
        char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
        std::string_view sj = code < 0x100 ? std::string_view(bytes + 1, 1) : std::string_view(bytes, 2);
        uint32_t got = SingleCodePoint(Encoding::SjisToUtf8(sj));
        // A character may never turn into ASCII: a "\" born that way would act as an escape.
        bool own = got == 0xFFFFFFFF || got < 0x80 || got == 0xFFFD || (got >= 0xD800 && got <= 0xDFFF);
        cp = own ? 0xF0000 + code : got;
    }
    return cp;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// A UTF-8 copy of Shift-JIS text. With a map, map[u] is the Shift-JIS offset of the character
// that UTF-8 offset u lies in, and map[utf8 size] is the text's length.
std::string ToUtf8(const char* s, size_t n, std::vector<size_t>* map) {
    std::string out;
    out.reserve(n * 2);
    if (map) {
        map->clear();
        map->reserve(n * 2 + 1);
    }
    for (size_t i = 0; i < n;) {
        size_t len = CharLength(s, i, n);
        AppendUtf8(out, CodePoint(CharCode(s, i, len)));
        if (map) map->resize(out.size(), i);
        i += len;
    }
    if (map) map->push_back(n);
    return out;
}

size_t Utf8Length(char lead) {
    auto b = static_cast<uint8_t>(lead);
    return b < 0xC0 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : 2;
}

// ---- Messages --------------------------------------------------------------------------------

void SetMessage(char* msg, std::string_view text) {
    if (!msg) return;
    size_t n = std::min(text.size(), kMessageSize - 1);
    std::memcpy(msg, text.data(), n);
    msg[n] = '\0';
}

// ---- Pattern forms ---------------------------------------------------------------------------

enum class TForm : uint8_t { None, Match, Subst, Trans };

bool IsDelimiter(char c) {
    auto b = static_cast<uint8_t>(c);
    return b > 0x20 && b < 0x7F && c != '\\' &&
           !((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_');
}

// Reads one delimited part from pos, character by character: "\" keeps the character after it
// (with the backslash) and the delimiter ends the part. False when the delimiter never comes.
bool ReadPart(std::string_view p, size_t& pos, char delim, std::string& out) {
    while (pos < p.size()) {
        if (p[pos] == '\\' && pos + 1 < p.size()) {
            out += '\\';
            ++pos;
        } else if (p[pos] == delim) {
            ++pos;
            return true;
        }
        size_t len = CharLength(p.data(), pos, p.size());
        out.append(p.substr(pos, len));
        pos += len;
    }
    return false;
}

struct TParsed {
    std::string Re, Second, Flags;
};

const char* ParseForm(std::string_view p, TForm form, TParsed& out) {
    size_t pos = 0;
    if (form == TForm::Match && !p.empty() && p[0] == '/') {
        pos = 1;
    } else if (form == TForm::Match && p.size() > 1 && p[0] == 'm' && IsDelimiter(p[1])) {
        pos = 2;
    } else if (form == TForm::Subst && p.size() > 1 && p[0] == 's' && IsDelimiter(p[1])) {
        pos = 2;
    } else if (form == TForm::Trans && p.size() > 2 && p[0] == 't' && p[1] == 'r' && IsDelimiter(p[2])) {
        pos = 3;
    } else if (form == TForm::Trans && p.size() > 1 && p[0] == 'y' && IsDelimiter(p[1])) {
        pos = 2;
    } else {
        return form == TForm::Subst   ? "not a substitution: s/re/replacement/"
               : form == TForm::Trans ? "not a translation: tr/list/list/"
                                      : "not a match: m/re/";
    }
    char delim = p[pos - 1];
    if (!ReadPart(p, pos, delim, out.Re)) return "missing closing delimiter";
    if (form != TForm::Match && !ReadPart(p, pos, delim, out.Second)) return "missing closing delimiter";
    out.Flags = std::string(p.substr(pos));
    std::string_view allowed = form == TForm::Trans ? "ds" : "imsxgk";
    for (char c : out.Flags) {
        if (allowed.find(c) == std::string_view::npos) return "unknown option";
    }
    return nullptr;
}

// A character of a list or replacement after "\": control characters by letter, anything else
// as it stands. pos is at the character after the backslash; returns its code.
uint32_t EscapedCode(std::string_view s, size_t& pos) {
    size_t len = CharLength(s.data(), pos, s.size());
    uint32_t code = CharCode(s.data(), pos, len);
    pos += len;
    switch (code) {
        case 'n':
            return '\n';
        case 't':
            return '\t';
        case 'r':
            return '\r';
        default:
            return code;
    }
}

void AppendCode(std::string& out, uint32_t code) {
    if (code >= 0x100) out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
}

// ---- Replacements ----------------------------------------------------------------------------

struct TReplToken {
    int32_t Group = -1;  // -1: literal text
    std::string Text;
};

std::vector<TReplToken> ParseReplacement(std::string_view s) {
    std::vector<TReplToken> tokens;
    auto literal = [&](std::string_view bytes) {
        if (tokens.empty() || tokens.back().Group >= 0) tokens.push_back({});
        tokens.back().Text.append(bytes);
    };
    auto group = [&](int32_t g) { tokens.push_back({g, {}}); };
    auto digits = [&](size_t& pos) {
        int32_t g = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            g = std::min<int32_t>(g * 10 + (s[pos] - '0'), 1000000);
            ++pos;
        }
        return g;
    };
    for (size_t pos = 0; pos < s.size();) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size()) {
            ++pos;
            if (s[pos] >= '0' && s[pos] <= '9') {
                group(s[pos++] - '0');
            } else {
                std::string bytes;
                AppendCode(bytes, EscapedCode(s, pos));
                literal(bytes);
            }
        } else if (c == '$' && pos + 1 < s.size() && s[pos + 1] >= '0' && s[pos + 1] <= '9') {
            ++pos;
            group(digits(pos));
        } else if (c == '$' && pos + 1 < s.size() && s[pos + 1] == '&') {
            pos += 2;
            group(0);
        } else if (c == '$' && pos + 2 < s.size() && s[pos + 1] == '{' && s[pos + 2] >= '0' && s[pos + 2] <= '9') {
            size_t at = pos + 2;
            int32_t g = digits(at);
            if (at < s.size() && s[at] == '}') {
                group(g);
                pos = at + 1;
            } else {
                literal(s.substr(pos, 1));
                ++pos;
            }
        } else {
            size_t len = CharLength(s.data(), pos, s.size());
            literal(s.substr(pos, len));
            pos += len;
        }
    }
    return tokens;
}

// ---- Translation lists -----------------------------------------------------------------------

struct TRange {
    uint32_t Lo, Hi;
};

const char* ParseList(std::string_view s, std::vector<TRange>& out) {
    auto item = [&](size_t& pos) {
        if (s[pos] == '\\' && pos + 1 < s.size()) {
            ++pos;
            return EscapedCode(s, pos);
        }
        size_t len = CharLength(s.data(), pos, s.size());
        uint32_t code = CharCode(s.data(), pos, len);
        pos += len;
        return code;
    };
    for (size_t pos = 0; pos < s.size();) {
        uint32_t lo = item(pos);
        if (pos + 1 < s.size() && s[pos] == '-') {
            ++pos;
            uint32_t hi = item(pos);
            if (hi < lo) return "invalid range in translation";
            out.push_back({lo, hi});
        } else {
            out.push_back({lo, lo});
        }
    }
    return nullptr;
}

// ---- The record ------------------------------------------------------------------------------

int32_t gLiveRecords = 0;
int32_t gCompileCount = 0;

pcre2_match_context* MatchContext() {
    static pcre2_match_context* context = [] {
        pcre2_match_context* c = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(c, 1000000);
        pcre2_set_depth_limit(c, 10000);
        pcre2_set_heap_limit(c, 16384);  // KiB
        return c;
    }();
    return context;
}

struct TRecord final : TRegexRecord {
    TRecord() {
        ++gLiveRecords;
        ParaP = Pattern.c_str();
    }
    ~TRecord() {
        Clear();
        --gLiveRecords;
    }
    TRecord(const TRecord&) = delete;
    TRecord& operator=(const TRecord&) = delete;

    void Clear() {
        if (Data) pcre2_match_data_free(Data);
        if (Code) pcre2_code_free(Code);
        Data = nullptr;
        Code = nullptr;
        Form = TForm::None;
        Pattern.clear();
        Repl.clear();
        From.clear();
        To.clear();
        Global = Delete = Squeeze = false;
        Nparens = 0;
        ParaP = Pattern.c_str();
    }

    TForm Form = TForm::None;
    std::string Pattern;
    pcre2_code* Code = nullptr;
    pcre2_match_data* Data = nullptr;
    bool Global = false, Delete = false, Squeeze = false;
    std::vector<TReplToken> Repl;
    std::vector<TRange> From, To;

    std::string Out;
    std::vector<const char*> Starts, Ends, Pieces;
};

// Compiles the pattern into the record unless it already holds exactly this pattern in this form.
bool Prepare(TRecord& r, const char* pattern, TForm form, char* msg) {
    if (r.Form == form && r.Pattern == pattern) return true;
    r.Clear();
    ++gCompileCount;
    TParsed parsed;
    if (const char* error = ParseForm(pattern, form, parsed)) {
        SetMessage(msg, error);
        return false;
    }
    auto has = [&](char c) { return parsed.Flags.find(c) != std::string::npos; };
    if (form == TForm::Trans) {
        const char* error = ParseList(parsed.Re, r.From);
        if (!error) error = ParseList(parsed.Second, r.To);
        if (error) {
            r.Clear();
            SetMessage(msg, error);
            return false;
        }
        r.Delete = has('d');
        r.Squeeze = has('s');
    } else {
        uint32_t options = PCRE2_UTF | PCRE2_NEVER_BACKSLASH_C;
        if (has('i')) options |= PCRE2_CASELESS;
        if (has('m')) options |= PCRE2_MULTILINE;
        if (has('s')) options |= PCRE2_DOTALL;
        if (has('x')) options |= PCRE2_EXTENDED;
        std::string re = ToUtf8(parsed.Re.data(), parsed.Re.size(), nullptr);
        int error = 0;
        PCRE2_SIZE offset = 0;
        r.Code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(re.data()), re.size(), options, &error, &offset, nullptr);
        if (!r.Code) {
            PCRE2_UCHAR text[256];
            if (pcre2_get_error_message(error, text, sizeof text) < 0) text[0] = 0;
            SetMessage(msg, reinterpret_cast<const char*>(text));
            return false;
        }
        r.Data = pcre2_match_data_create_from_pattern(r.Code, nullptr);
        uint32_t groups = 0;
        pcre2_pattern_info(r.Code, PCRE2_INFO_CAPTURECOUNT, &groups);
        r.Nparens = static_cast<int32_t>(groups);
        if (form == TForm::Subst) {
            r.Repl = ParseReplacement(parsed.Second);
            r.Global = has('g');
        }
    }
    r.Form = form;
    r.Pattern = pattern;
    r.ParaP = r.Pattern.c_str();
    return true;
}

// The record to work in: the caller's, or a new one handed to the caller.
TRecord* Acquire(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg) {
    if (!pattern || !text || !textEnd || textEnd < text || !rec) {
        SetMessage(msg, "invalid argument");
        return nullptr;
    }
    if (!*rec) *rec = std::make_unique<TRecord>().release();
    return static_cast<TRecord*>(*rec);
}

// The text being worked on: the caller's bytes, their UTF-8 copy and the offset map between them.
struct TSubject {
    TSubject(const char* t, const char* end) : Text(t), Size(static_cast<size_t>(end - t)) {
        Utf8 = ToUtf8(Text, Size, &Map);
    }
    const char* At(size_t utf8Offset) const { return Text + Map[utf8Offset]; }

    const char* Text;
    size_t Size;
    std::string Utf8;
    std::vector<size_t> Map;
};

// Finds the next match at or after pos, as repeated Perl matching does: after an empty match the
// next one may not be empty at the same place. Hitting a limit, like any other failure, ends the
// search.
bool NextMatch(TRecord& r, const TSubject& s, size_t& pos, bool& lastEmpty) {
    const std::string& u = s.Utf8;
    for (;;) {
        if (pos > u.size()) return false;
        uint32_t options = PCRE2_NO_UTF_CHECK;
        if (lastEmpty) options |= PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED;
        int rc =
            pcre2_match(r.Code, reinterpret_cast<PCRE2_SPTR>(u.data()), u.size(), pos, options, r.Data, MatchContext());
        if (rc >= 0) {
            PCRE2_SIZE* ov = pcre2_get_ovector_pointer(r.Data);
            if (ov[1] < pos || ov[1] > u.size()) return false;
            lastEmpty = ov[0] >= ov[1];
            pos = ov[1];
            return true;
        }
        if (!lastEmpty || pos >= u.size()) return false;
        lastEmpty = false;
        pos += Utf8Length(u[pos]);
    }
}

// Group k of the current match as addresses in the caller's text; both null when it took no part.
void Group(TRecord& r, const TSubject& s, int32_t k, const char*& start, const char*& end) {
    start = end = nullptr;
    if (k < 0 || k > r.Nparens) return;
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer(r.Data);
    PCRE2_SIZE a = ov[2 * k], b = ov[2 * k + 1];
    if (a == PCRE2_UNSET || b == PCRE2_UNSET || a > s.Utf8.size() || b > s.Utf8.size()) return;
    start = s.At(a);
    end = std::max(start, s.At(b));
}

void KeepGroups(TRecord& r, const TSubject& s) {
    r.Starts.assign(static_cast<size_t>(r.Nparens) + 1, nullptr);
    r.Ends.assign(static_cast<size_t>(r.Nparens) + 1, nullptr);
    for (int32_t k = 0; k <= r.Nparens; ++k)
        Group(r, s, k, r.Starts[k], r.Ends[k]);
    r.StartP = r.Starts.data();
    r.EndP = r.Ends.data();
}

void ClearResults(TRecord& r) {
    r.Out.clear();
    r.OutP = r.OutEndP = nullptr;
    r.Starts.clear();
    r.Ends.clear();
    r.Pieces.clear();
    r.StartP = r.EndP = nullptr;
    r.SplitP = nullptr;
    r.SplitCount = 0;
}

void SetOutput(TRecord& r) {
    r.OutP = r.Out.c_str();
    r.OutEndP = r.OutP + r.Out.size();
}

}  // namespace

int32_t Match(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg) {
    TRecord* r = Acquire(pattern, text, textEnd, rec, msg);
    if (!r) return 0;
    ClearResults(*r);
    if (!Prepare(*r, pattern, TForm::Match, msg)) return 0;
    TSubject s(text, textEnd);
    size_t pos = 0;
    bool lastEmpty = false;
    if (!NextMatch(*r, s, pos, lastEmpty)) return 0;
    KeepGroups(*r, s);
    return 1;
}

int32_t Subst(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg) {
    TRecord* r = Acquire(pattern, text, textEnd, rec, msg);
    if (!r) return 0;
    ClearResults(*r);
    if (!Prepare(*r, pattern, TForm::Subst, msg)) return 0;
    TSubject s(text, textEnd);
    size_t pos = 0, copied = 0;
    bool lastEmpty = false;
    int32_t count = 0;
    while (NextMatch(*r, s, pos, lastEmpty)) {
        PCRE2_SIZE* ov = pcre2_get_ovector_pointer(r->Data);
        size_t from = std::max<size_t>(ov[0], copied);
        r->Out.append(s.At(copied), s.At(from));
        for (const TReplToken& t : r->Repl) {
            if (t.Group < 0) {
                r->Out += t.Text;
            } else {
                const char *a, *b;
                Group(*r, s, t.Group, a, b);
                if (a) r->Out.append(a, b);
            }
        }
        copied = std::max<size_t>(ov[1], from);
        KeepGroups(*r, s);
        ++count;
        if (!r->Global) break;
    }
    if (count == 0) return 0;
    r->Out.append(s.At(copied), s.Text + s.Size);
    SetOutput(*r);
    return 1;
}

int32_t Trans(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg) {
    TRecord* r = Acquire(pattern, text, textEnd, rec, msg);
    if (!r) return 0;
    ClearResults(*r);
    if (!Prepare(*r, pattern, TForm::Trans, msg)) return 0;
    uint64_t toLength = 0;
    for (const TRange& t : r->To)
        toLength += t.Hi - t.Lo + 1;
    auto toCode = [&](uint64_t index) {
        for (const TRange& t : r->To) {
            if (index <= t.Hi - t.Lo) return static_cast<uint32_t>(t.Lo + index);
            index -= t.Hi - t.Lo + 1;
        }
        return r->To.back().Hi;
    };
    size_t n = static_cast<size_t>(textEnd - text);
    bool lastTranslated = false;
    uint32_t lastCode = 0;
    for (size_t i = 0; i < n;) {
        size_t len = CharLength(text, i, n);
        uint32_t code = CharCode(text, i, len);
        i += len;
        // The first occurrence in the list decides, as its position picks the replacement.
        uint64_t index = 0;
        bool found = false;
        for (const TRange& f : r->From) {
            if (code >= f.Lo && code <= f.Hi) {
                index += code - f.Lo;
                found = true;
                break;
            }
            index += f.Hi - f.Lo + 1;
        }
        if (!found) {
            AppendCode(r->Out, code);
            lastTranslated = false;
            continue;
        }
        uint32_t to = code;
        if (index < toLength) {
            to = toCode(index);
        } else if (r->Delete) {
            continue;
        } else if (toLength > 0) {
            to = r->To.back().Hi;
        }
        if (r->Squeeze && lastTranslated && to == lastCode) continue;
        AppendCode(r->Out, to);
        lastTranslated = true;
        lastCode = to;
    }
    SetOutput(*r);
    return 1;
}

int32_t Split(const char* pattern, const char* text, const char* textEnd, int32_t limit, TRegexRecord** rec,
              char* msg) {
    TRecord* r = Acquire(pattern, text, textEnd, rec, msg);
    if (!r) return 0;
    ClearResults(*r);
    if (!Prepare(*r, pattern, TForm::Match, msg)) return 0;
    TSubject s(text, textEnd);
    if (s.Size > 0) {
        std::vector<size_t> bounds;  // UTF-8 offsets, two per piece
        size_t pos = 0, fieldStart = 0;
        bool lastEmpty = false;
        while ((limit <= 0 || bounds.size() / 2 + 1 < static_cast<size_t>(limit)) && NextMatch(*r, s, pos, lastEmpty)) {
            PCRE2_SIZE* ov = pcre2_get_ovector_pointer(r->Data);
            size_t ms = std::max<size_t>(ov[0], fieldStart), me = std::max<size_t>(ov[1], ms);
            if (me == ms && ms == fieldStart) continue;  // an empty match does not end an empty piece
            bounds.push_back(fieldStart);
            bounds.push_back(ms);
            fieldStart = me;
        }
        bounds.push_back(fieldStart);
        bounds.push_back(s.Utf8.size());
        if (limit == 0) {
            while (!bounds.empty() && bounds[bounds.size() - 2] == bounds.back())
                bounds.resize(bounds.size() - 2);
        }
        for (size_t b : bounds)
            r->Pieces.push_back(s.At(b));
    }
    r->SplitCount = static_cast<int32_t>(r->Pieces.size() / 2);
    r->SplitP = r->Pieces.data();
    return 1;
}

void Free(TRegexRecord* rec) {
    // Every record is made by this library, so this is its own type.
    std::unique_ptr<TRecord> owned(static_cast<TRecord*>(rec));
}

const char* Version() {
    static const std::string version = [] {
        char pcre[64] = {0};
        pcre2_config(PCRE2_CONFIG_VERSION, pcre);
        return std::string("Kel regular expressions 1.0 (PCRE2 ") + pcre + ")";
    }();
    return version.c_str();
}

int32_t LiveRecords() {
    return gLiveRecords;
}
int32_t CompileCount() {
    return gCompileCount;
}

struct TModule {
    std::string Path;
};

TModule* LoadModule(const std::string& path) {
    if (LoadFaults().FailLoad) return nullptr;
    static TModule module;
    module.Path = path;
    return &module;
}

TProc GetExport(TModule* module, std::string_view name) {
    if (!module || name == LoadFaults().MissingExport) return nullptr;
    if (name == "BMatch") return reinterpret_cast<TProc>(&Match);
    if (name == "BSubst") return reinterpret_cast<TProc>(&Subst);
    if (name == "BTrans") return reinterpret_cast<TProc>(&Trans);
    if (name == "BSplit") return reinterpret_cast<TProc>(&Split);
    if (name == "BRegfree") return reinterpret_cast<TProc>(&Free);
    if (name == "BRegexpVersion") return reinterpret_cast<TProc>(&Version);
    return nullptr;
}

void FreeModule(TModule*) {}

TLoadFaults& LoadFaults() {
    static TLoadFaults faults;
    return faults;
}

}  // namespace RegexLibrary
