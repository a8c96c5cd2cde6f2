// The application object's few facts that lower units read: its title, which dialogs show in
// their captions. The shell sets it at start-up; until then it is "Untitle".
#pragma once

#include <string>
#include <string_view>

namespace Application {

const std::string& Title();  // Shift-JIS
void SetTitle(std::string_view title);

}  // namespace Application
