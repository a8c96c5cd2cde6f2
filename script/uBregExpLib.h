// The regular-expression binding: the library "DLL\BREGEXP.dll" with its calls "BMatch",
// "BSubst", "BTrans", "BSplit", "BRegfree" and "BRegexpVersion", one matcher over it, and the four
// text operations the script reader's replace rules and the regular-expression commands use.
// The library is the program's own (platform/RegexLibrary.h); binding it takes the same steps as
// binding an outside one, and fails the same ways.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/ClassLib.h"
#include "platform/RegexLibrary.h"
#include "script/KelScriptSeams.h"

// Raised by the matcher when a string is asked for outside the held count or while nothing is held.
class EBRegExpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The bound library. The constructor raises std::runtime_error when the library cannot be loaded
// or one of its calls is missing.
class TBregExpDLL {
public:
    // The path is an engine path below the root.
    TBregExpDLL(const TFileRoot& root, const std::string& path);
    ~TBregExpDLL();
    TBregExpDLL(const TBregExpDLL&) = delete;
    TBregExpDLL& operator=(const TBregExpDLL&) = delete;

    RegexLibrary::TModule* Module = nullptr;
    std::string ModuleFileName;
    RegexLibrary::TTextCall BMatch = nullptr;
    RegexLibrary::TTextCall BSubst = nullptr;
    RegexLibrary::TTextCall BTrans = nullptr;
    RegexLibrary::TSplitCall BSplit = nullptr;
    RegexLibrary::TFreeCall BRegfree = nullptr;
    RegexLibrary::TVersionCall BRegexpVersion = nullptr;
};

// The matcher over a bound library. It holds the library's result record between calls, so that a
// pattern used again is not compiled again, and a copy of the last text, which the record's groups
// and pieces point into.
class TBRegExp {
public:
    explicit TBRegExp(std::unique_ptr<TBregExpDLL> dll);
    ~TBRegExp();
    TBRegExp(const TBRegExp&) = delete;
    TBRegExp& operator=(const TBRegExp&) = delete;

    // Each call reports the library's success; a library error (a message) holds nothing.
    bool Match(const std::string& pattern, const std::string& text);
    bool Split(const std::string& pattern, const std::string& text, int32_t limit);
    bool Subst(const std::string& pattern, const std::string& text);
    bool Trans(const std::string& pattern, const std::string& text);

    // Mode 1 (a match or substitution): the whole match and each group; mode 2: split pieces.
    int32_t Count() const;
    std::string Strings(int32_t index) const;  // raises EBRegExpError outside 0..Count-1
    // The output text of the last substitution or translation; "" without a record.
    std::string Output() const;

    // Releases the held record unless the new pattern begins with the record's pattern text; the
    // library itself compiles again when the whole pattern differs.
    void FreePattern(const std::string& pattern);
    // Releases the held record through the binding that made it.
    void Release();

    uint8_t Mode() const { return FMode; }
    const RegexLibrary::TRegexRecord* Record() const { return Rec; }

    // The library the matcher calls; it goes with the matcher, after the held record.
    std::unique_ptr<TBregExpDLL> DLL;

private:
    bool Call(const std::string& pattern, const std::string& text, RegexLibrary::TTextCall call, int32_t limit,
              uint8_t successMode);

    uint8_t FMode = 0;  // 0 nothing held, 1 groups or output, 2 split pieces
    std::string Target;
    RegexLibrary::TRegexRecord* Rec = nullptr;
};

// The bound library's one matcher with the four text operations, as the script reader's replace
// rules and the regular-expression words reach them.
class TScriptRegExp final : public IScriptRegExp {
public:
    explicit TScriptRegExp(std::unique_ptr<TBregExpDLL> dll) : Matcher(std::move(dll)) {}

    // The whole match and each group in group order (a group that took no part is empty); empty
    // when nothing matches or the pattern is bad.
    std::vector<std::string> Match(const std::string& pattern, const std::string& text) override;
    // The pieces of the text; empty when the call fails.
    std::vector<std::string> Split(const std::string& pattern, const std::string& text, int32_t limit) override;
    // The text after the substitution or translation the pattern describes; the text unchanged
    // when the library reports no success.
    std::string Substitute(const std::string& pattern, const std::string& text) override;
    std::string Translate(const std::string& pattern, const std::string& text) override;

    TBRegExp Matcher;
};

namespace uBregExpLib {

// Binds the library at path (below the root) with a matcher over it; null when that fails.
std::unique_ptr<TScriptRegExp> BRegExpInitialize(const TFileRoot& root, const std::string& path);

}  // namespace uBregExpLib
