#include "platform/Desktop.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"

extern char** environ;

namespace Desktop {
namespace {

constexpr const char* kOpener = "xdg-open";

bool IsAddress(std::string_view name) {
    const size_t scheme = name.find("://");
    if (scheme != std::string_view::npos && scheme > 0) {
        for (size_t i = 0; i < scheme; ++i) {
            const char c = name[i];
            const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                            (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
            if (!ok) return false;
        }
        return true;
    }
    return ClassLib::LowerAscii(name.substr(0, 7)) == "mailto:";
}

// The extension of the last segment, lower-cased, with its dot; empty when there is none.
std::string Extension(const std::string& utf8) {
    const size_t slash = utf8.find_last_of("/\\");
    const size_t dot = utf8.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return ClassLib::LowerAscii(std::string_view(utf8).substr(dot));
}

bool IsWindowsProgram(const std::string& utf8) {
    const std::string ext = Extension(utf8);
    for (const char* e : {".exe", ".com", ".bat", ".cmd", ".pif", ".scr", ".lnk", ".msi"})
        if (ext == e) return true;
    return false;
}

std::string Home() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') return pw->pw_dir;
    return {};
}

// An XDG base folder from its variable when that holds an absolute path, else below the home.
std::string BaseFolder(const char* variable, const char* fallback) {
    if (const char* v = std::getenv(variable); v && v[0] == '/') return v;
    const std::string home = Home();
    return home.empty() ? std::string() : home + "/" + fallback;
}

// A user folder from "user-dirs.dirs": lines XDG_<KEY>_DIR="$HOME/..." or "/...". Without one the
// desktop is "Desktop" below the home and every other folder the home itself.
std::string UserFolder(const char* key) {
    const std::string home = Home();
    if (home.empty()) return {};
    const std::string config = BaseFolder("XDG_CONFIG_HOME", ".config");
    const std::string prefix = std::string("XDG_") + key + "_DIR=\"";
    std::ifstream in(config + "/user-dirs.dirs");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) != 0) continue;
        const size_t end = line.find('"', prefix.size());
        if (end == std::string::npos) continue;
        std::string value = line.substr(prefix.size(), end - prefix.size());
        if (value.rfind("$HOME", 0) == 0)
            value = home + value.substr(5);
        else if (value.empty() || value[0] != '/')
            continue;
        while (value.size() > 1 && value.back() == '/')
            value.pop_back();
        return value;
    }
    return std::string(key) == "DESKTOP" ? home + "/Desktop" : home;
}

}  // namespace

std::vector<std::string> SplitArguments(std::string_view p) {
    std::vector<std::string> out;
    size_t i = 0;
    while (true) {
        while (i < p.size() && (p[i] == ' ' || p[i] == '\t'))
            ++i;
        if (i >= p.size()) break;
        std::string arg;
        bool quoted = false;
        while (i < p.size()) {
            const char c = p[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                size_t n = 0;
                for (; i < p.size() && p[i] == '\\'; ++i)
                    ++n;
                if (i < p.size() && p[i] == '"') {
                    // Half the backslashes stay; an odd one makes the quote plain, else the quote
                    // groups and is read next.
                    arg.append(n / 2, '\\');
                    if (n % 2 == 1) {
                        arg.push_back('"');
                        ++i;
                    }
                } else {
                    arg.append(n, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && i + 1 < p.size() && p[i + 1] == '"') {
                    arg.push_back('"');
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
                continue;
            }
            arg.push_back(c);
            ++i;
        }
        out.push_back(std::move(arg));
    }
    return out;
}

bool PlanOpen(const TFileRoot& root, const std::string& name, const std::string& parameters, TProgramStart& start) {
    start = TProgramStart();
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    const std::string utf8 = Encoding::SjisToUtf8(name);
    auto opener = [&](const std::string& target) {
        start.Program = kOpener;
        start.Arguments = {kOpener, target};
        start.SearchPath = true;
        return true;
    };
    if (IsAddress(utf8)) return opener(utf8);
    if (IsWindowsProgram(utf8)) return false;
    auto program = [&](const std::string& file, bool search) {
        start.Program = file;
        start.Arguments = {file};
        for (std::string& a : SplitArguments(Encoding::SjisToUtf8(parameters)))
            start.Arguments.push_back(std::move(a));
        start.SearchPath = search;
        return true;
    };
    const std::string host = root.HostPath(name);
    struct stat st;
    if (!host.empty() && stat(host.c_str(), &st) == 0) {
        if (S_ISREG(st.st_mode) && access(host.c_str(), X_OK) == 0) return program(host, false);
        return opener(host);
    }
    if (utf8.find_first_of("/\\:") == std::string::npos) return program(utf8, true);
    return false;
}

std::string SpecialFolder(int32_t folder) {
    switch (folder) {
        case 0x00:  // the desktop
        case 0x10:  // the desktop's folder
            return UserFolder("DESKTOP");
        case 0x05:
            return UserFolder("DOCUMENTS");
        case 0x27:
            return UserFolder("PICTURES");
        case 0x0D:
            return UserFolder("MUSIC");
        case 0x0E:
            return UserFolder("VIDEOS");
        case 0x1A:  // the roaming and the local application data
        case 0x1C:
            return BaseFolder("XDG_DATA_HOME", ".local/share");
        default:
            return {};
    }
}

}  // namespace Desktop

TPosixDesktop::~TPosixDesktop() {
    CollectEnded();
}

void TPosixDesktop::CollectEnded() {
    std::erase_if(Children, [](pid_t pid) {
        int status = 0;
        return waitpid(pid, &status, WNOHANG) != 0;  // ended (collected now), or not ours any more
    });
}

bool TPosixDesktop::Open(const std::string& name, const std::string& parameters) {
    TProgramStart start;
    if (!Desktop::PlanOpen(Root, name, parameters, start)) {
        LastError = "nothing to start for " + Encoding::SjisToUtf8(name);
        return false;
    }
    return Start(start);
}

bool TPosixDesktop::Start(const TProgramStart& start) {
    CollectEnded();
    if (start.Program.empty() || start.Arguments.empty()) {
        LastError = "no program";
        return false;
    }
    std::vector<char*> argv;
    for (const std::string& a : start.Arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    // The child starts with no signal blocked and default handlers, in a session of its own, so
    // that what the engine set up for itself does not reach the program.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
    pid_t pid = 0;
    const int rc = start.SearchPath ? posix_spawnp(&pid, start.Program.c_str(), nullptr, &attr, argv.data(), environ)
                                    : posix_spawn(&pid, start.Program.c_str(), nullptr, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        LastError = start.Program + ": " + std::strerror(rc);
        return false;
    }
    Children.push_back(pid);
    LastError.clear();
    return true;
}
