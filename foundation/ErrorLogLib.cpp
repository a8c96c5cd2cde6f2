#include "foundation/ErrorLogLib.h"

#include <string>

namespace ErrorLogLib {

TStringList ErrorList;
bool ErrorFlag = false;

void ErrorLog(std::string_view message) {
    ErrorFlag = true;
    WriteErrorLog("[ERROR]:" + std::string(message));
}

void WriteErrorLog(std::string_view line) { ErrorList.Add(std::string(line)); }

void ClearErrorLog() { ErrorList.Clear(); }

}  // namespace ErrorLogLib
