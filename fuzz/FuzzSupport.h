// What the fuzz targets share.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include "foundation/ErrorLogLib.h"

namespace FuzzSupport {

// Points the error log at a folder that does not exist: it keeps its lines in memory and touches
// no file, which would otherwise cost more than the work under test. Safe to call for every input.
inline void KeepErrorLogInMemory() {
    static const bool done = [] {
        std::error_code ec;
        ErrorLogLib::SetLogFolder((std::filesystem::temp_directory_path(ec) / "kel-fuzz-no-such-folder/x").string());
        return true;
    }();
    (void)done;
}

}  // namespace FuzzSupport
