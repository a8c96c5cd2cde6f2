// The front end of the message forms: each call creates the form over its owner, sets caption,
// text and button captions, shows it modally and reads its result. An empty text shows nothing.
// In captions "%%%app" stands for the application's title (an empty caption is the title); in
// texts "%%%n" starts a new line. The host's backend shows the forms, over owner.
#pragma once

#include <cstdint>
#include <string_view>

class IDialogOwner;
struct TDialogHost;

namespace uDialogMisc {

void ShowDialog1(const TDialogHost& host, std::string_view caption, std::string_view text,
                 std::string_view buttonCaption, const IDialogOwner* owner);
// 1 for the first button, 0 for the second; 1 without showing anything when the text is empty.
int32_t ShowDialog2(const TDialogHost& host, std::string_view caption, std::string_view text, std::string_view button1,
                    std::string_view button2, const IDialogOwner* owner);
// 1, 0 or -1 for the first, second or third button (the third stands at the left); 1 without
// showing anything when the text is empty.
int32_t ShowDialog3(const TDialogHost& host, std::string_view caption, std::string_view text, std::string_view button1,
                    std::string_view button2, std::string_view button3, const IDialogOwner* owner);

}  // namespace uDialogMisc
