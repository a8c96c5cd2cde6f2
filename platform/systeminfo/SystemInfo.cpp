// The system-information library that games carry in their "DLL" folder, built for this system.
// The engine calls its one export, Get(key, buffer), with keys such as "OS,Name" or
// "DRIVE,Total,/" and shows the answers on the dialogs' information pages. Keys are matched
// without regard to ASCII case; a key it does not know answers 0 and the caller shows its default.
// Answers are plain ASCII, which is also Shift-JIS.

#include <SDL.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr size_t kBufferSize = 1024;

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// "name : value" lines of a /proc file; the first line of each name wins.
std::map<std::string, std::string> ProcFields(const char* file) {
    std::map<std::string, std::string> fields;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) continue;
        fields.emplace(Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)));
    }
    return fields;
}

std::string ReadLine(const char* file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return Trim(line);
}

// A /proc/meminfo field ("12345 kB") in bytes.
std::optional<std::string> MemBytes(const char* name) {
    auto fields = ProcFields("/proc/meminfo");
    auto it = fields.find(name);
    if (it == fields.end()) return std::nullopt;
    return std::to_string(std::strtoull(it->second.c_str(), nullptr, 10) * 1024ull);
}

std::string OsName() {
    std::ifstream in("/etc/os-release");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            std::string v = line.substr(12);
            if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
            return v;
        }
    }
    utsname u{};
    return uname(&u) == 0 ? u.sysname : "Linux";
}

bool HasFlag(const std::string& flags, const char* flag) {
    std::istringstream words(flags);
    std::string w;
    while (words >> w)
        if (w == flag) return true;
    return false;
}

// The mounted file systems that stand for the drives: each mount point once, backed by a device
// (or the root), and mounted for writing, so that read-only images and the system's own pseudo
// file systems are left out.
struct TMount {
    std::string Point, Device, Type;
};
std::vector<TMount> Mounts() {
    std::vector<TMount> mounts;
    std::ifstream in("/proc/mounts");
    std::string device, point, type;
    std::string rest;
    while (in >> device >> point >> type && std::getline(in, rest)) {
        if (device.rfind("/dev/", 0) != 0 && point != "/") continue;
        bool seen = false;
        for (const TMount& m : mounts)
            seen = seen || m.Point == point;
        struct statvfs st = {};
        if (seen || statvfs(point.c_str(), &st) != 0 || (st.f_flag & ST_RDONLY) != 0) continue;
        mounts.push_back({point, device, type});
    }
    if (mounts.empty()) mounts.push_back({"/", "rootfs", ""});
    return mounts;
}

std::optional<std::string> DriveAnswer(const std::string& what, const std::string& drive) {
    for (const TMount& m : Mounts()) {
        if (m.Point != drive) continue;
        if (what == "name") return m.Device;
        if (what == "type") return std::string("Fixed");
        if (what == "filesystem") return m.Type;
        struct statvfs st = {};
        if (statvfs(drive.c_str(), &st) != 0) return std::nullopt;
        if (what == "avail") return std::to_string(static_cast<uint64_t>(st.f_bavail) * st.f_frsize);
        if (what == "total") return std::to_string(static_cast<uint64_t>(st.f_blocks) * st.f_frsize);
    }
    return std::nullopt;
}

std::optional<std::string> DisplayAnswer(const std::string& what) {
    if (!SDL_WasInit(SDL_INIT_VIDEO) || SDL_GetNumVideoDisplays() < 1) return std::nullopt;
    if (what == "name") {
        const char* n = SDL_GetDisplayName(0);
        return n ? std::optional<std::string>(n) : std::nullopt;
    }
    SDL_DisplayMode mode{};
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return std::nullopt;
    if (what == "width") return std::to_string(mode.w);
    if (what == "height") return std::to_string(mode.h);
    if (what == "color") return std::to_string(SDL_BITSPERPIXEL(mode.format));
    if (what == "refresh") return std::to_string(mode.refresh_rate);
    return std::nullopt;
}

std::optional<std::string> SoundAnswer() {
    if (!SDL_WasInit(SDL_INIT_AUDIO)) return std::nullopt;
    const char* name = SDL_GetNumAudioDevices(0) > 0 ? SDL_GetAudioDeviceName(0, 0) : nullptr;
    if (!name) name = SDL_GetCurrentAudioDriver();
    return name ? std::optional<std::string>(name) : std::nullopt;
}

std::optional<std::string> CpuAnswer(const std::string& what) {
    auto cpu = ProcFields("/proc/cpuinfo");
    auto field = [&](const char* name) -> std::optional<std::string> {
        auto it = cpu.find(name);
        return it == cpu.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
    auto flag = [&](const char* name) { return std::string(HasFlag(cpu["flags"], name) ? "Yes" : "No"); };
    if (what == "name") return field("model name");
    if (what == "famiry") return field("cpu family");
    if (what == "model") return field("model");
    if (what == "stepping") return field("stepping");
    if (what == "vender") return field("vendor_id");
    if (what == "clock") {
        auto mhz = field("cpu mhz");
        return mhz ? std::optional<std::string>(std::to_string(std::atoi(mhz->c_str()))) : std::nullopt;
    }
    if (what == "l1cache" || what == "l2cache") {
        const char* file = what == "l1cache" ? "/sys/devices/system/cpu/cpu0/cache/index0/size"
                                             : "/sys/devices/system/cpu/cpu0/cache/index2/size";
        std::string size = ReadLine(file);  // "32K"
        if (size.empty()) return std::nullopt;
        return std::to_string(std::atoi(size.c_str()));
    }
    if (what == "mmx") return flag("mmx");
    if (what == "sse") return flag("sse");
    if (what == "sse2") return flag("sse2");
    if (what == "3dnow") return flag("3dnow");
    if (what == "htt") return flag("ht");
    if (what == "x8664") return flag("lm");
    return std::nullopt;
}

std::optional<std::string> Answer(const std::string& key) {
    std::vector<std::string> parts;
    size_t start = 0;
    // The last field of drive and file keys is a path that may hold commas itself.
    for (int i = 0; i < 2; ++i) {
        size_t comma = key.find(',', start);
        if (comma == std::string::npos) break;
        parts.push_back(key.substr(start, comma - start));
        start = comma + 1;
    }
    parts.push_back(key.substr(start));
    std::string group = Lower(parts[0]);
    std::string what = parts.size() > 1 ? Lower(parts[1]) : "";
    std::string arg = parts.size() > 2 ? parts[2] : "";

    if (group == "os") {
        utsname u{};
        if (what == "name") return OsName();
        if (uname(&u) != 0) return std::nullopt;
        if (what == "build") return std::string(u.release);
        if (what == "csdversion") return std::string(u.version);
        return std::nullopt;
    }
    if (group == "cpu") return CpuAnswer(what);
    if (group == "mem") {
        if (what == "totalmemory" || what == "total") return MemBytes("memtotal");
        if (what == "availmemory" || what == "avail") return MemBytes("memavailable");
        if (what == "totalpage") return MemBytes("swaptotal");
        if (what == "availpage") return MemBytes("swapfree");
        return std::nullopt;
    }
    if (group == "display") return DisplayAnswer(what);
    if (group == "sound" && what == "name") return SoundAnswer();
    if (group == "drive") {
        if (what == "drives") {
            std::string list;
            for (const TMount& m : Mounts())
                list += (list.empty() ? "" : ",") + m.Point;
            return list;
        }
        return DriveAnswer(what, arg);
    }
    return std::nullopt;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t Get(const char* key, char* buffer) {
    if (!key || !buffer) return 0;
    std::optional<std::string> answer = Answer(key);
    if (!answer || answer->empty()) return 0;
    size_t n = answer->size() < kBufferSize ? answer->size() : kBufferSize - 1;
    std::memcpy(buffer, answer->data(), n);
    buffer[n] = '\0';
    return 1;
}
