// Whole files on the host, by host path, for the tools and the runner: the bytes as they are, no
// engine path mapping and no packs.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace HostFiles {

// False when the file cannot be opened or a read fails.
inline bool Read(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Creates or truncates the file; false when it cannot be opened or the bytes do not all reach it.
inline bool Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace HostFiles
