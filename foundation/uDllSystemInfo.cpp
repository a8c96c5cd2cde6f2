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

namespace uDllSystemInfo {

std::unique_ptr<TDllSystemInfo> DllSystemInfo;

bool DllSystemInfoInitialize(const TFileRoot& root, const std::string& path) {
    DllSystemInfo = std::make_unique<TDllSystemInfo>();
    return DllSystemInfo->LoadDLL(root, path);
}

void DllSystemInfoFinalize() {
    DllSystemInfo.reset();
}

}  // namespace uDllSystemInfo
