#include "foundation/uDllSystemInfo.h"

#include <cstring>

bool TDllSystemInfo::Bind() {
    GetProc(Get, "Get");
    return true;
}

std::string TDllSystemInfo::GetInfo(const std::string& key) const {
    if (!Get) return {};
    char buffer[kBufferSize];
    std::memset(buffer, 0, sizeof buffer);
    if (Get(key.c_str(), buffer) == 0) return {};
    return std::string(buffer, strnlen(buffer, kBufferSize));
}
