#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "platform/ClassLib.h"
#include "platform/Encoding.h"

namespace FileSystem {
namespace {

// ReplaceFile writes a file's new contents under the file's name with this and the number of the
// writing process appended.
constexpr const char* kTemporaryMark = ".tmp";

bool IsDir(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool Exists(const std::string& host) {
    struct stat st;
    return stat(host.c_str(), &st) == 0;
}

bool IsLink(const std::string& host) {
    struct stat st;
    return lstat(host.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string RealPath(const std::string& host) {
    char* real = realpath(host.c_str(), nullptr);
    if (!real) return {};
    std::string out = real;
    free(real);
    return out;
}

// Whether a symbolic link found below a folder leads outside it (a link that leads nowhere does
// not: it names nothing to read, and a write replaces it).
bool LeadsOutside(const std::string& link, const std::string& folder) {
    const std::string target = RealPath(link);
    if (target.empty()) return false;
    const std::string root = RealPath(folder);
    if (root.empty()) return true;
    return !(target == root || (target.size() > root.size() && target.compare(0, root.size(), root) == 0 &&
                                (root == "/" || target[root.size()] == '/')));
}

// Splits an engine path into its segments (Shift-JIS), dropping empty ones and ".".
std::vector<std::string> Segments(std::string_view path, bool& absolute) {
    std::vector<std::string> segs;
    absolute = !path.empty() && (path[0] == '/' || path[0] == '\\');
    std::string cur;
    auto flush = [&] {
        if (!cur.empty() && cur != ".") segs.push_back(cur);
        cur.clear();
    };
    for (size_t i = 0; i < path.size(); ++i) {
        auto b = static_cast<uint8_t>(path[i]);
        if (((b >= 0x81 && b <= 0x9F) || b >= 0xE0) && i + 1 < path.size()) {
            cur += path[i];
            cur += path[++i];  // a trail byte of 0x5C is part of the character, not a separator
        } else if (b == '\\' || b == '/') {
            flush();
        } else {
            cur += path[i];
        }
    }
    flush();
    return segs;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Finds one segment in a host folder: the exact name first, then any name equal without regard
// to ASCII case (UTF-8 letters outside ASCII compare exactly). "" when there is none.
std::string FindEntry(const std::string& folder, const std::string& name) {
    std::string exact = folder + "/" + name;
    if (Exists(exact)) return exact;
    DIR* d = opendir(folder.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = readdir(d)) {
        if (SameName(e->d_name, name)) {
            found = folder + "/" + e->d_name;
            break;
        }
    }
    closedir(d);
    return found;
}

// Below the base folder nothing is read or written through a symbolic link that leads outside it:
// such a link in the middle of a path makes the path name nothing. As the last segment it names
// nothing to read either; to a writer it names the link itself, which the writers replace and
// never open (ReplaceFile renames over it, the write modes of TFileStream refuse it).
std::string Resolve(const std::string& base, std::string_view enginePath, bool forWrite) {
    // The host reads a path up to its first zero byte: one inside would name another file than
    // the one the rest of the path names.
    if (enginePath.find('\0') != std::string_view::npos) return {};
    bool absolute = false;
    std::vector<std::string> segs = Segments(enginePath, absolute);
    std::string cur = absolute ? std::string() : base;
    if (segs.empty()) return absolute ? std::string("/") : cur;
    bool missing = false;
    for (size_t i = 0; i < segs.size(); ++i) {
        std::string name = Encoding::SjisToUtf8(segs[i]);
        if (name == "..") {
            cur += "/..";
            continue;
        }
        if (!missing) {
            std::string hit = FindEntry(cur.empty() ? std::string("/") : cur, name);
            if (!hit.empty() && !absolute && IsLink(hit) && LeadsOutside(hit, base)) {
                if (!forWrite || i + 1 < segs.size()) return {};
                return hit;
            }
            if (!hit.empty()) {
                cur = absolute && cur.empty() ? hit.substr(1) : hit;
                if (absolute && cur.rfind("//", 0) == 0) cur = cur.substr(1);
                continue;
            }
            if (!forWrite) return {};
            missing = true;
        }
        cur += "/" + name;
    }
    return cur;
}

bool MatchMask(const std::string& name, std::string_view mask) {
    // Iterative "*" and "?" matching, ASCII case folded.
    size_t n = 0, m = 0, star = std::string::npos, back = 0;
    auto low = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == '?' || low(mask[m]) == low(name[n]))) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == '*') {
            star = m++;
            back = n;
        } else if (star != std::string::npos) {
            m = star + 1;
            n = ++back;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*')
        ++m;
    return m == mask.size();
}

std::vector<std::string> List(const std::string& base, std::string_view folder, std::string_view mask, bool dirs) {
    std::vector<std::string> out;
    std::string host = HostPathIn(base, folder);
    if (host.empty()) return out;
    DIR* d = opendir(host.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        std::string full = host + "/" + name;
        if ((dirs ? IsDir(full) : IsFile(full)) && MatchMask(Encoding::Utf8ToSjis(name), mask))
            out.push_back(Encoding::Utf8ToSjis(name));
    }
    closedir(d);
    return out;
}

}  // namespace

std::string CurrentFolder() {
    char buf[4096];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string(".");
}

std::string ProgramFile() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n <= 0 ? std::string() : std::string(buf, static_cast<size_t>(n));
}

std::string ProgramFolder() {
    std::string exe = ProgramFile();
    if (exe.empty()) return CurrentFolder();
    size_t slash = exe.rfind('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : exe.substr(0, slash);
}

std::string HostPathIn(const std::string& hostBase, std::string_view enginePath) {
    return Resolve(hostBase, enginePath, false);
}
std::string HostPathForWriteIn(const std::string& hostBase, std::string_view enginePath) {
    return Resolve(hostBase, enginePath, true);
}

bool FileExistsIn(const std::string& base, std::string_view p) {
    std::string h = HostPathIn(base, p);
    return !h.empty() && IsFile(h);
}

bool DirectoryExistsIn(const std::string& base, std::string_view p) {
    std::string h = HostPathIn(base, p);
    return !h.empty() && IsDir(h);
}

bool CreateDirIn(const std::string& base, std::string_view p) {
    if (DirectoryExistsIn(base, p)) return true;
    std::string h = HostPathForWriteIn(base, p);
    return mkdir(h.c_str(), 0777) == 0 || IsDir(h);
}

bool ForceDirectoriesIn(const std::string& base, std::string_view p) {
    bool absolute = false;
    std::vector<std::string> segs = Segments(p, absolute);
    std::string prefix = absolute ? "\\" : "";
    for (const auto& s : segs) {
        prefix += s;
        if (!CreateDirIn(base, prefix)) return false;
        prefix += "\\";
    }
    return true;
}

bool DeleteFileIn(const std::string& base, std::string_view p) {
    std::string h = HostPathIn(base, p);
    return !h.empty() && IsFile(h) && unlink(h.c_str()) == 0;
}

bool RenameFileIn(const std::string& base, std::string_view from, std::string_view to) {
    std::string a = HostPathIn(base, from);
    std::string b = HostPathForWriteIn(base, to);
    return !a.empty() && std::rename(a.c_str(), b.c_str()) == 0;
}

int64_t FileSizeIn(const std::string& base, std::string_view p) {
    std::string h = HostPathIn(base, p);
    struct stat st;
    if (h.empty() || stat(h.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool ReadFileIn(const std::string& base, std::string_view p, std::string& bytes) {
    std::string h = HostPathIn(base, p);
    if (h.empty() || !IsFile(h)) return false;
    std::ifstream in(h, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

TSyncCall& SyncCallRef() {
    static TSyncCall call = &::fsync;
    return call;
}

TSyncCall SetSyncCall(TSyncCall call) {
    TSyncCall old = SyncCallRef();
    SyncCallRef() = call ? call : &::fsync;
    return old;
}

int Sync(int fd) {
    return SyncCallRef()(fd);
}

bool ReplaceFileIn(const std::string& base, std::string_view enginePath, const std::function<bool(TStream&)>& writer) {
    std::string target = HostPathForWriteIn(base, enginePath);
    if (target.empty()) return false;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    const std::string temp = target + kTemporaryMark + std::to_string(getpid());
    // A leftover of a run that died, or anything else in the temporary name's place, goes first;
    // the file is then made anew, so that nothing already there is ever written into.
    unlink(temp.c_str());
    bool ok = false;
    try {
        TFileStream s(temp, TFileMode::CreateNew);
        ok = writer(s) && s.Sync();
        ok = s.Close() && ok;
    } catch (...) {
        ok = false;
    }
    // rename replaces whatever has the target's name, a symbolic link included, and never
    // follows it.
    if (ok) ok = std::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temp.c_str());
        return false;
    }
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    ok = Sync(dir) == 0;
    close(dir);
    return ok;
}

bool WriteFileReplaceIn(const std::string& base, std::string_view enginePath, std::string_view bytes) {
    return ReplaceFileIn(base, enginePath, [&](TStream& s) {
        return s.Write(bytes.data(), static_cast<int64_t>(bytes.size())) == static_cast<int64_t>(bytes.size());
    });
}

void RemoveStaleTemporariesIn(const std::string& base, std::string_view enginePath) {
    const std::string found = HostPathIn(base, enginePath);
    const std::string target = found.empty() ? HostPathForWriteIn(base, enginePath) : found;
    const size_t slash = target.rfind('/');
    if (target.empty() || slash == std::string::npos) return;
    const std::string folder = slash == 0 ? "/" : target.substr(0, slash);
    const std::string prefix = target.substr(slash + 1) + kTemporaryMark;
    DIR* d = opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
        const pid_t pid = static_cast<pid_t>(std::stol(digits));
        // A process that is still there may be writing the file right now.
        if (pid == getpid() || (pid > 0 && (kill(pid, 0) == 0 || errno == EPERM))) continue;
        stale.push_back(folder + "/" + name);
    }
    closedir(d);
    for (const std::string& path : stale)
        unlink(path.c_str());
}

bool AppendToFile(const std::string& hostPath, std::string_view bytes, TAppend how) {
    int fd;
    if (how == TAppend::Restart) {
        fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0 && errno == ELOOP && ::unlink(hostPath.c_str()) == 0)
            fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    } else {
        fd = ::open(hostPath.c_str(),
                    O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | (how == TAppend::CreateMissing ? O_CREAT : 0), 0644);
    }
    if (fd < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done == bytes.size();
}

std::vector<std::string> ListFilesIn(const std::string& base, std::string_view folder, std::string_view mask) {
    return List(base, folder, mask, false);
}
std::vector<std::string> ListDirectoriesIn(const std::string& base, std::string_view folder, std::string_view mask) {
    return List(base, folder, mask, true);
}

}  // namespace FileSystem
