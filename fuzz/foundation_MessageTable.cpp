// The message table over arbitrary bytes: loaded as the engine loads it, looked up by the keys
// the engine reads and by every key it holds, and shown through the message forms (captions
// with "%%%app", texts with "%%%n", hot keys from the button captions), answered by keys taken
// from the input. The table's lines must survive being written and read again; a form must end
// with one of its buttons.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/SystemConfigLib.h"
#include "foundation/uDialogMisc.h"
#include "platform/Dialogs.h"
#include "platform/headless/HeadlessDialogs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static THeadlessDialogs dialogs;
    const TDialogHost host{&dialogs};
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    TStringList table;
    {
        TMemoryStream s(bytes);
        SystemConfigLib::LoadStrings(table, &s);
    }
    TMemoryStream written;
    table.SaveToStream(written);
    TStringList again;
    written.SetPosition(0);
    SystemConfigLib::LoadStrings(again, &written);
    if (again.Items != table.Items) std::abort();

    for (int i = 0; i < table.Count() && i < 64; ++i)
        if (table.Values(table.Names(i)) != table.ValueFromIndex(table.IndexOfName(table.Names(i)))) std::abort();

    // The first keys of the table stand in for a dialog's texts; the input's last bytes answer.
    auto value = [&](int i) { return i < table.Count() ? table.ValueFromIndex(i) : std::string(); };
    dialogs.Answers.clear();
    dialogs.Shown.clear();
    dialogs.TypeKeys(bytes.substr(bytes.size() > 4 ? bytes.size() - 4 : 0));
    uDialogMisc::ShowDialog1(host, value(0), value(1), table.Values("OK"), nullptr);
    const int32_t two = uDialogMisc::ShowDialog2(host, value(2), value(3), value(4), value(5), nullptr);
    const int32_t three = uDialogMisc::ShowDialog3(host, value(6), value(7), value(8), value(9), value(10), nullptr);
    if (two != 0 && two != 1) std::abort();
    if (three < -1 || three > 1) std::abort();
    for (const auto& shown : dialogs.Shown)
        if (shown.Text.find("%%%n") != std::string::npos || shown.Pressed < 0) std::abort();
    for (const char* key : {"OK", "EXIT_Text", "CRCCHECKERROR", "SaveDirectoryERROR", "APPCLOSE_Text"})
        table.Values(key);
    return 0;
}
