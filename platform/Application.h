// The application object's few facts that lower units read: its title, which dialogs show in
// their captions. The main window owns the title and hands it down; until the game's settings
// give one it is "Untitle".
#pragma once

#include <string_view>

namespace Application {

constexpr std::string_view kUntitled = "Untitle";  // Shift-JIS

}  // namespace Application
