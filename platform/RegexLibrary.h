// The regular-expression library: Perl-style match, substitute, translate and split on Shift-JIS
// text, linked into the program and reached the way an outside library would be, through a
// module with named exports.
//
// Pattern forms (the delimiter "/" may be any ASCII punctuation other than "\"):
//   match and split   "m/re/flags" or "/re/flags"      flags: i m s x g k
//   substitute        "s/re/replacement/flags"         flags: i m s x g k
//   translate         "tr/list/list/flags", "y/.../"   flags: d (delete) s (squeeze)
// "i" ignores case, "m" makes ^ and $ match at line ends, "s" lets "." match a line end, "x" allows
// blanks and comments in the expression, "g" replaces every match (substitute only). "k" asks for
// Shift-JIS text, which every call assumes anyway. In a replacement "$1", "${12}", "\1" name a
// group and "$&" the whole match; "\n", "\t", "\r" are control characters and "\" before any other
// character takes that character as it stands. Translation lists hold characters and ranges
// ("a-z", "ａ-ｚ"); a shorter second list repeats its last character, an empty one repeats the
// first list.
//
// Text is matched character by character: a Shift-JIS lead byte and the byte after it are one
// character, so a trail byte of "\" or "[" never acts on its own. Every piece of a result is made of
// the caller's own bytes, which therefore come back exactly as they went in. Runaway patterns stop
// at fixed match, depth and memory limits and then count as no match.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace RegexLibrary {

// The result record. The library creates it on the first call that is passed a null record
// pointer, and keeps, recompiles or refills it on later calls; the caller releases it with Free.
// Pointers of the group and piece tables point into the text of the call that filled them.
struct TRegexRecord {
    const char* OutP = nullptr;           // output of a substitution or translation, NUL-terminated
    const char* OutEndP = nullptr;        // its terminating NUL
    int32_t SplitCount = 0;               // pieces of the last split
    const char* const* SplitP = nullptr;  // per piece: first byte, just after the last byte
    const char* ParaP = nullptr;          // the pattern text the record was compiled from
    const char* const* StartP = nullptr;  // group k (0: the whole match): first byte, or null
    const char* const* EndP = nullptr;    // group k: just after its last byte, or null
    int32_t Nparens = 0;                  // groups in the pattern, not counting the whole match

protected:
    TRegexRecord() = default;
    ~TRegexRecord() = default;
};

constexpr size_t kMessageSize = 80;  // the message buffer the caller passes, NUL included

// The four text calls return 1 on success and 0 otherwise; an error also leaves a message (at
// most 79 bytes) in msg, which is left untouched when there is none. Success is: a match found,
// at least one substitution made, a valid translation, a valid split (also of an empty text, which
// has no pieces). text..textEnd is the text; textEnd is the address of its terminating NUL.
using TTextCall = int32_t (*)(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec,
                              char* msg);
using TSplitCall = int32_t (*)(const char* pattern, const char* text, const char* textEnd, int32_t limit,
                               TRegexRecord** rec, char* msg);
using TFreeCall = void (*)(TRegexRecord* rec);
using TVersionCall = const char* (*)();

int32_t Match(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg);
int32_t Subst(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg);
int32_t Trans(const char* pattern, const char* text, const char* textEnd, TRegexRecord** rec, char* msg);
// Pieces between the matches. A limit above 0 caps the number of pieces (the last one holds the
// rest of the text); 0 drops empty pieces at the end, below 0 keeps them. An empty match at the
// start of a piece does not end it, so an expression that matches nothing splits into characters.
int32_t Split(const char* pattern, const char* text, const char* textEnd, int32_t limit, TRegexRecord** rec, char* msg);
void Free(TRegexRecord* rec);  // null is allowed
const char* Version();

// Records alive and patterns compiled so far: the cost of reuse made visible.
int32_t LiveRecords();
int32_t CompileCount();

// The library as a module. Loading always finds it, since it is part of the program, unless the
// fault switches below say otherwise; tests use them to reach the failure paths of a loader.
struct TModule;
using TProc = void (*)();
TModule* LoadModule(const std::string& path);             // null when the load fails
TProc GetExport(TModule* module, std::string_view name);  // null for an unknown name
void FreeModule(TModule* module);

struct TLoadFaults {
    bool FailLoad = false;      // LoadModule returns null
    std::string MissingExport;  // GetExport returns null for this name
};
TLoadFaults& LoadFaults();

}  // namespace RegexLibrary
