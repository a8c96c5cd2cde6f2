// kelpack: makes, lists and unpacks the game's data packs.
#include <fnmatch.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/ShiftJis.h"
#include "foundation/uFilePack.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/HostFiles.h"
#include "tools/kelpack/PackWriter.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelpack: makes, lists and unpacks the data packs of a game (\"GameData\\dataN.pack\").\n"
    "\n"
    "Usage:\n"
    "  kelpack create [options] <pack> <folder>\n"
    "      Packs every file below <folder>. An entry's name is the file's path relative to\n"
    "      <folder>, with \"\\\" separators, in lower case, after the prefix: the name under\n"
    "      which the engine asks for the file, relative to the program's folder. Packs the\n"
    "      folder of the game itself to get names such as gamedata\\system\\config.txt.\n"
    "      A name with no Shift-JIS (CP932) form, a name the engine would ask for in\n"
    "      another form, and two files that would get one name (names that differ only\n"
    "      in letter case, for one) are refused. An entry that compression does not\n"
    "      make smaller is stored uncompressed. A script (\".s\") or text file (\".txt\")\n"
    "      in UTF-8 with characters beyond ASCII gets a warning: the engine reads them\n"
    "      as Shift-JIS, so convert them first (iconv -f UTF-8 -t CP932).\n"
    "      --version 1|2      pack version: 2 (default) has a signature and an embedded name\n"
    "                         table; 1 is the older plain form\n"
    "      --hash             also writes the name table file beside the pack (<pack> with\n"
    "                         the extension .hash)\n"
    "      --prefix TEXT      put before every entry name (for example \"gamedata\\\")\n"
    "      --no-compress      stores every entry uncompressed\n"
    "      --no-scramble      stores every entry unscrambled\n"
    "      --store PATTERN    stores entries whose name matches uncompressed (for example\n"
    "                         \"*.ogg\"); may be given more than once\n"
    "      --plain PATTERN    stores entries whose name matches unscrambled; may be repeated\n"
    "  kelpack list <pack>\n"
    "      Shows every entry: number, stored size, expanded size, flags (C compressed,\n"
    "      S scrambled), checksum state and name; and whether the name tables are right.\n"
    "      Exits with 1 when an entry cannot be read.\n"
    "  kelpack extract <pack> <folder> [name]\n"
    "      Writes every entry (or only the one named) below <folder>, folders created as\n"
    "      needed.\n"
    "  kelpack --help\n"
    "\n"
    "Exit codes: 0 success, 1 a pack or file could not be read or written, 2 wrong usage.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "kelpack: %s\n(see kelpack --help)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelpack: %s\n", message.c_str());
    return 1;
}

// Engine paths are Shift-JIS; the command line is UTF-8.
std::string EnginePath(const std::string& hostPath) {
    return Encoding::Utf8ToSjis(hostPath);
}

// What the tool prints of names from a folder or a pack: UTF-8 with control bytes escaped, so that
// a name cannot move the cursor or change the terminal's state.
std::string Shown(const std::string& utf8) {
    return Encoding::PrintableUtf8(utf8);
}
std::string Shown(const fs::path& path) {
    return Shown(path.string());
}
std::string ShownEntry(const std::string& sjis) {
    return Shown(Encoding::SjisToUtf8(sjis));
}

bool Matches(const std::vector<std::string>& patterns, const std::string& name) {
    for (const auto& p : patterns)
        if (fnmatch(ClassLib::LowerAscii(EnginePath(p)).c_str(), name.c_str(), FNM_NOESCAPE) == 0) return true;
    return false;
}

// Scripts (".s") and text files (".txt") are read by the engine as Shift-JIS. One that is UTF-8
// with characters beyond ASCII was not converted, and would show as garbage in the game.
bool UnconvertedText(const std::string& entryName, const std::string& bytes) {
    const std::string ext = fs::path(entryName).extension().string();
    return (ext == ".s" || ext == ".txt") && Encoding::IsNonAsciiUtf8(bytes);
}

fs::path WithExtension(const std::string& path, const char* ext) {
    fs::path p(path);
    p.replace_extension(ext);
    return p;
}

int Create(const std::vector<std::string>& args) {
    PackWriter::TVersion version = PackWriter::TVersion::V20;
    bool hash = false, compress = true, scramble = true;
    std::string prefix;
    std::vector<std::string> store, plain, positional;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--version") {
            if (!value(v) || (v != "1" && v != "2")) return Usage("--version takes 1 or 2");
            version = v == "1" ? PackWriter::TVersion::V10 : PackWriter::TVersion::V20;
        } else if (a == "--hash") {
            hash = true;
        } else if (a == "--prefix") {
            if (!value(prefix)) return Usage("--prefix takes a text");
        } else if (a == "--no-compress") {
            compress = false;
        } else if (a == "--no-scramble") {
            scramble = false;
        } else if (a == "--store" || a == "--plain") {
            if (!value(v)) return Usage(a + " takes a pattern");
            (a == "--store" ? store : plain).push_back(v);
        } else if (a.rfind("--", 0) == 0) {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage("create takes a pack name and a folder");
    const std::string& packPath = positional[0];
    const fs::path folder(positional[1]);
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Fail("not a folder: " + Shown(folder));

    std::vector<PackWriter::TEntry> entries;
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file()) files.push_back(it->path());
    if (ec) return Fail("cannot read the folder " + Shown(folder) + ": " + ec.message());
    std::sort(files.begin(), files.end());
    const fs::path packAbs = fs::absolute(packPath, ec);
    // Each stored name and the file it came from: two files must never share one name, as two
    // that differ only in letter case, or in characters that have one CP932 form, would.
    std::map<std::string, fs::path> names;
    for (const fs::path& f : files) {
        if (fs::equivalent(f, packAbs, ec)) continue;  // never the pack itself
        const std::string rel = fs::relative(f, folder, ec).generic_string();
        PackWriter::TEntry e;
        std::string reason;
        if (!PackWriter::HostEntryName(prefix, rel, e.Name, reason))
            return Fail("cannot pack " + Shown(f) + ": " + reason);
        if (auto [it, added] = names.emplace(e.Name, f); !added)
            return Fail(Shown(it->second) + " and " + Shown(f) + " would both be stored as " + ShownEntry(e.Name));
        if (!HostFiles::Read(f, e.Bytes)) return Fail("cannot read " + Shown(f));
        if (e.Bytes.size() > 0xFFFFFFFFu) return Fail("too large for a pack entry: " + Shown(f));
        if (e.Name.size() > 0xFFFF) return Fail("name too long: " + Shown(f));
        if (UnconvertedText(e.Name, e.Bytes))
            std::fprintf(stderr,
                         "kelpack: warning: %s is UTF-8, but the engine reads it as Shift-JIS: convert it first "
                         "(iconv -f UTF-8 -t CP932)\n",
                         Shown(f).c_str());
        e.Compress = compress && !Matches(store, e.Name);
        e.Scramble = scramble && !Matches(plain, e.Name);
        e.CompressOnlyWhenSmaller = true;
        entries.push_back(std::move(e));
    }
    if (entries.size() > 65535) return Fail("a pack holds at most 65535 entries");
    const std::string pack = PackWriter::Pack(entries, version);
    if (pack.size() > 0xFFFFFFFFu) return Fail("the pack would exceed 4 GiB");
    if (!HostFiles::Write(packPath, pack)) return Fail("cannot write " + Shown(packPath));
    if (hash) {
        const fs::path hashPath = WithExtension(packPath, ".hash");
        if (!HostFiles::Write(hashPath, PackWriter::HashFile(entries))) return Fail("cannot write " + Shown(hashPath));
    }
    std::printf("%s: %zu entries, version %s%s\n", Shown(packPath).c_str(), entries.size(),
                version == PackWriter::TVersion::V20 ? "2.0" : "1.0", hash ? ", with name table file" : "");
    return 0;
}

// The pack is named by its absolute path, which no root changes; the root must outlive the pack.
std::unique_ptr<TFilePack> OpenPack(const TFileRoot& root, const std::string& packPath, std::string& error) {
    auto pack = std::make_unique<TFilePack>(root, EnginePath(fs::absolute(packPath).string()), true);
    if (pack->Opened()) return pack;
    std::error_code ec;
    if (!fs::is_regular_file(packPath, ec))
        error = "no such pack: " + Shown(packPath);
    else if (pack->Invalid())
        error = Shown(packPath) + " is not a pack (unknown trailer or wrong signature)";
    else
        error = Shown(packPath) + " is damaged (its index does not fit in the file)";
    return nullptr;
}

int List(const std::vector<std::string>& args) {
    if (args.size() != 1) return Usage("list takes a pack name");
    std::string error;
    const TFileRoot root;
    auto pack = OpenPack(root, args[0], error);
    if (!pack) return Fail(error);
    pack->Verify = true;
    bool checksumFailed = false;
    pack->ErrorProc = [&](const std::string&) { checksumFailed = true; };

    const fs::path hashPath = WithExtension(args[0], ".hash");
    std::unique_ptr<THashFilePack> withTable;
    std::error_code ec;
    if (fs::is_regular_file(hashPath, ec)) {
        withTable = std::make_unique<THashFilePack>(root, EnginePath(fs::absolute(args[0]).string()), false);
        if (withTable->Bad()) return Fail(Shown(hashPath) + " is damaged");
    }
    std::printf("pack %s: version %s, %u entries\n", Shown(args[0]).c_str(), pack->IsVersion20() ? "2.0" : "1.0",
                pack->Count());
    std::printf("%6s %10s %10s %-5s %-9s %s\n", "number", "stored", "size", "flags", "checksum", "name");
    int failures = 0, tableErrors = 0, fileTableErrors = 0;
    for (uint32_t i = 0; i < pack->Count(); ++i) {
        const TFilePackRecord& r = pack->Record(i);
        const std::string& name = pack->EntryName(i);
        checksumFailed = false;
        auto s = pack->ReadByIndex(i);
        const char* state = r.StoredSize >= TFilePack::kVerifyLimit ? "unchecked" : checksumFailed ? "BAD" : "ok";
        std::string size = s ? std::to_string(s->Size()) : std::string("-");
        std::string flags = std::string(r.Compressed ? "C" : "-") + (r.Scrambled ? "S" : "-");
        std::printf("%6u %10u %10s %-5s %-9s %s\n", i, r.StoredSize, size.c_str(), flags.c_str(), state,
                    ShownEntry(name).c_str());
        if (!s) {
            ++failures;
            if (!checksumFailed) std::printf("       (cannot be expanded)\n");
        }
        if (THashTable* t = pack->EmbeddedNameTable()) {
            uint16_t number = 0;
            if (!t->Get(name, &number, 2) || number != i) ++tableErrors;
        }
        if (withTable && !withTable->Exists(name)) ++fileTableErrors;
    }
    if (pack->IsVersion20()) std::printf("embedded name table: %s\n", tableErrors ? "WRONG for some names" : "ok");
    if (withTable)
        std::printf("name table file %s: %s\n", Shown(hashPath).c_str(),
                    fileTableErrors ? "WRONG for some names" : "ok");
    if (failures) return Fail(std::to_string(failures) + " entries cannot be read");
    return tableErrors || fileTableErrors ? 1 : 0;
}

// A name that stays below the output folder: no absolute path, no "..", no empty segment.
bool SafeName(const std::string& utf8) {
    if (utf8.empty() || utf8.find(':') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        const size_t end = utf8.find('/', start);
        const std::string seg = utf8.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (seg.empty() || seg == "." || seg == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

int Extract(const std::vector<std::string>& args) {
    if (args.size() != 2 && args.size() != 3) return Usage("extract takes a pack name, a folder and perhaps a name");
    std::string error;
    const TFileRoot root;
    auto pack = OpenPack(root, args[0], error);
    if (!pack) return Fail(error);
    pack->Verify = true;
    std::vector<uint32_t> which;
    if (args.size() == 3) {
        const int32_t n = pack->IndexOf(PackWriter::StoredName(EnginePath(args[2])));
        if (n < 0) return Fail("no entry named " + Shown(args[2]));
        which.push_back(static_cast<uint32_t>(n));
    } else {
        for (uint32_t i = 0; i < pack->Count(); ++i)
            which.push_back(i);
    }
    int failures = 0;
    for (uint32_t i : which) {
        std::string rel = pack->EntryName(i);
        for (size_t k = 0; k < rel.size(); ++k) {
            if (uMisc::IsSJISLeadByte(static_cast<uint8_t>(rel[k])))
                ++k;
            else if (rel[k] == '\\')
                rel[k] = '/';
        }
        rel = Encoding::SjisToUtf8(rel);
        if (!SafeName(rel)) {
            std::fprintf(stderr, "kelpack: skipped entry %u: its name leaves the folder: %s\n", i, Shown(rel).c_str());
            ++failures;
            continue;
        }
        auto s = pack->ReadByIndex(i);
        if (!s) {
            std::fprintf(stderr, "kelpack: entry %u (%s) cannot be read\n", i, Shown(rel).c_str());
            ++failures;
            continue;
        }
        const fs::path out = fs::path(args[1]) / rel;
        std::error_code ec;
        fs::create_directories(out.parent_path(), ec);
        if (!HostFiles::Write(out, s->AsString())) {
            std::fprintf(stderr, "kelpack: cannot write %s\n", Shown(out).c_str());
            ++failures;
        }
    }
    if (failures) return Fail(std::to_string(failures) + " entries were not extracted");
    std::printf("%zu entries extracted to %s\n", which.size(), Shown(args[1]).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command given");
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    try {
        if (command == "create") return Create(args);
        if (command == "list") return List(args);
        if (command == "extract") return Extract(args);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
    return Usage("unknown command " + command);
}
