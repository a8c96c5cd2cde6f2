#include "objects/KelUtilityCommands.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <optional>

#include "foundation/Checksum.h"
#include "foundation/ErrorLogLib.h"
#include "foundation/GameContext.h"
#include "foundation/PackLib.h"
#include "foundation/Scramblers.h"
#include "foundation/ShiftJis.h"
#include "foundation/UniqueId.h"
#include "foundation/uDllSystemInfo.h"
#include "foundation/uMisc.h"
#include "foundation/uMisc_Math.h"
#include "platform/Clock.h"
#include "platform/Desktop.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"

namespace {

// ---- math ----

// The nearest integer, ties to even, as a 64-bit integer cut to its low 32 bits; 0 for a value
// that is no number or that rounds to beyond the 64-bit range.
int32_t Nearest(long double x) {
    if (!std::isfinite(x)) return 0;
    const long double r = std::nearbyint(x);
    constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
    if (r >= kLimit || r < -kLimit) return 0;
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(r))));
}

long double Radians(int32_t thousandths) {
    return static_cast<long double>(thousandths) / 1000.0L;
}

// The minimum or maximum of the arguments written, each evaluated once in order; 0 without any.
int32_t Extreme(TKelCommandArgs& a, bool largest) {
    std::optional<int32_t> kept;
    for (int32_t i = 1; i <= a.Count(); ++i) {
        if (a.Empty(i)) continue;
        const int32_t v = a.Int(i);
        if (!kept || (largest ? v > *kept : v < *kept)) kept = v;
    }
    return kept.value_or(0);
}

std::optional<int32_t> MathValue(TKelCommandArgs& a, int32_t code) {
    switch (code) {
        case Cmd("rnd"): {
            const uint32_t range = a.Empty(1) ? 0xFFFFFFu : static_cast<uint32_t>(a.Int(1));
            return static_cast<int32_t>(a.Script().Random().Random(range));
        }
        case Cmd("sin"):
            return Nearest(1000.0L * uMisc_Math::TableSinRad(static_cast<float>(Radians(a.Int(1)))));
        case Cmd("cos"):
            return Nearest(1000.0L * uMisc_Math::TableNegCosRad(static_cast<float>(Radians(a.Int(1)))));
        case Cmd("tan"):
            return Nearest(1000.0L * std::tan(Radians(a.Int(1))));
        case Cmd("atan"): {
            const auto [x, y] = a.Ints<2>();
            return Nearest(1000.0L * uMisc_Math::TableAtan2Rad(x, y));
        }
        case Cmd("abs"): {
            const int32_t v = a.Int(1);
            return v < 0 ? static_cast<int32_t>(0u - static_cast<uint32_t>(v)) : v;
        }
        case Cmd("sqr"): {
            const auto v = static_cast<uint32_t>(a.Int(1));
            return static_cast<int32_t>(v * v);
        }
        case Cmd("sqrt"):
            return Nearest(std::sqrt(static_cast<long double>(a.Int(1))));
        case Cmd("pow"): {
            const auto [base, exponent] = a.Ints<2>();
            return Nearest(std::pow(static_cast<long double>(base), static_cast<long double>(exponent)));
        }
        case Cmd("min"):
            return Extreme(a, false);
        case Cmd("max"):
            return Extreme(a, true);
        default:
            return std::nullopt;
    }
}

// ---- misc ----

// The key of the pack entry names scrambles the texts of "code".
constexpr uint32_t kCodeKey = 0xE5;

std::string Code(TKelCommandArgs& a) {
    const bool decode = a.Int(2) != 0;  // the direction is evaluated first
    const std::string text = a.Text(1);
    if (!decode) return uMisc::HexString(uMisc::ScrambleString(text, false, kCodeKey), false);
    return uMisc::ScrambleString(uMisc::HexString(text, true), true, kCodeKey);
}

std::string CurrentFolder() {
    std::string buf(4096, '\0');
    if (!getcwd(buf.data(), buf.size())) return "\\";
    buf.resize(std::char_traits<char>::length(buf.c_str()));
    return Encoding::Utf8ToSjis(buf) + "\\";
}

// "ptof": a data file, found through the target's search folders, written out to the disk.
void PackToFile(TKelCommandArgs& a) {
    const std::string name = a.Text(1);
    const std::string diskFile = a.Text(2);
    const std::string found = a.ResolveTargetFile(name);
    std::unique_ptr<TMemoryStream> stream = found.empty() ? nullptr : a.Script().Packs().LoadFile(found);
    if (!stream) {
        a.Script().Log().ErrorLog("\\fout:指定されたファイルが見つかりません"_sj);
        return;
    }
    // A failed write is not reported.
    if (const TFileRoot* files = a.Script().Links.Files) stream->SaveToFile(*files, diskFile);
}

bool MiscWord(TKelCommandArgs& a, int32_t code) {
    auto text = [&](std::string s) {
        a.ClearResults();
        a.SetStr(0, s);
    };
    auto number = [&](int32_t v) {
        a.ClearResults();
        a.SetInt(0, v);
    };
    switch (code) {
        case Cmd("crc"): {
            const std::string s = a.Text(1);
            text(uMisc::CRC16Hex(s.data(), s.size()));
            return true;
        }
        case Cmd("code"):
            text(Code(a));
            return true;
        case Cmd("id"):
            text(uMisc_Win::CreateUniqueID());
            return true;
        case Cmd("tgt"):
            number(static_cast<int32_t>(a.Script().Links.Clock ? a.Script().Links.Clock->NowMs() : 0));
            return true;
        case Cmd("gcd"):
            text(CurrentFolder());
            return true;
        case Cmd("efn"):
            text(KelUtilityCommands::FileNamePart(a.Text(1)));
            return true;
        case Cmd("efe"):
            text(KelUtilityCommands::ExtensionPart(a.Text(1)));
            return true;
        case Cmd("exp"):
            text(KelUtilityCommands::FolderPart(a.Text(1)));
            return true;
        case Cmd("cfe"): {
            const std::string path = a.Text(1);
            text(KelUtilityCommands::ChangeExtension(path, a.Text(2)));
            return true;
        }
        case Cmd("gsf"):
            text(Encoding::Utf8ToSjis(Desktop::SpecialFolder(a.Int(1))) + "\\");
            return true;
        case Cmd("gfe"):
            number(a.Script().Links.Files && a.Script().Links.Files->FileExists(a.Text(1)) ? 1 : 0);
            return true;
        case Cmd("exct"): {
            const std::string file = a.Text(1);
            const std::string parameters = a.Text(2);
            if (IDesktop* desktop = a.Script().Links.Desktop) desktop->Open(file, parameters);
            return true;
        }
        case Cmd("ptof"):
            PackToFile(a);
            return true;
        case Cmd("info"):
            text(KelUtilityCommands::SystemInfo(
                a.Script().Links.Context ? a.Script().Links.Context->SystemInfo.get() : nullptr, a.Text(1)));
            return true;
        case Cmd("glpk"):
            number(a.Script().Packs().PackExists(a.Int(1)) ? 1 : 0);
            return true;
        default:
            return false;
    }
}

// Where the file name starts (after the last delimiter) and where its extension starts (the last
// "." of the name; the path's size without one).
struct TPathParts {
    size_t Name = 0;
    size_t Extension = 0;
};

TPathParts Parts(std::string_view path) {
    TPathParts p;
    size_t dot = std::string_view::npos;
    for (size_t i = 0; i < path.size(); ++i) {
        const auto b = static_cast<uint8_t>(path[i]);
        if (uMisc::IsSJISLeadByte(b)) {
            ++i;
        } else if (b == '\\' || b == ':') {
            p.Name = i + 1;
            dot = std::string_view::npos;
        } else if (b == '.') {
            dot = i;
        }
    }
    p.Extension = dot == std::string_view::npos ? path.size() : dot;
    return p;
}

}  // namespace

namespace KelUtilityCommands {

std::string FileNamePart(std::string_view path) {
    return std::string(path.substr(Parts(path).Name));
}

std::string ExtensionPart(std::string_view path) {
    return std::string(path.substr(Parts(path).Extension));
}

std::string FolderPart(std::string_view path) {
    return std::string(path.substr(0, Parts(path).Name));
}

std::string ChangeExtension(std::string_view path, std::string_view extension) {
    std::string out(path.substr(0, Parts(path).Extension));
    out.append(extension);
    return out;
}

std::string SystemInfo(const TDllSystemInfo* library, const std::string& key) {
    std::string answer = library ? library->GetInfo(key) : std::string();
    const std::string low = ClassLib::LowerAscii(key);
    bool size = false;
    for (const char* k : {"mem,avail", "mem,total", "drive,avail", "drive,total"})
        size = size || low.find(k) != std::string::npos;
    int64_t bytes = 0;
    if (size && uMisc::TryStrToInt(answer, 64, uMisc::THexPrefix::Dollar, bytes) && bytes >= 0 &&
        answer.find_first_not_of("0123456789") == std::string::npos)
        answer = std::to_string(bytes / 1024 / 1024);
    return answer;
}

bool DoMathCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    const std::optional<int32_t> v = MathValue(a, code);
    if (!v) return false;
    a.ClearResults();
    a.SetInt(0, *v);
    return true;
}

bool DoMiscCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    return MiscWord(a, code);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Math, DoMathCommand);
    registry.RegisterHandler(TObjectKind::Misc, DoMiscCommand);
}

}  // namespace KelUtilityCommands
