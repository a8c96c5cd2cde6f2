#include "platform/Application.h"

namespace Application {
namespace {
std::string& TitleRef() {
    static std::string title = "Untitle";
    return title;
}
}  // namespace

const std::string& Title() {
    return TitleRef();
}
void SetTitle(std::string_view title) {
    TitleRef() = std::string(title);
}

}  // namespace Application
