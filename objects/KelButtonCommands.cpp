#include "objects/KelButtonCommands.h"

#include <algorithm>
#include <limits>

#include "foundation/ErrorLogLib.h"
#include "objects/ButtonLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/KelSharedImageWords.h"
#include "objects/ScrollBarLib.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr const char* kButtonWords[] = {"lk", "?lk", "ck", "?ck", "bc", "?bc"};

constexpr const char* kScrollBarWords[] = {
    "i",   "in", "?in", "out", "?out", "ui", "?ui", "us", "?us", "sc", "?sc", "dc",
    "?dc", "l",  "?l",  "p",   "?p",   "e",  "?e",  "d",  "v",   "?v", "mv",  "?mv",
};
static_assert(std::size(kScrollBarWords) == 24);

// A state word takes the low byte of its argument: 256 unlocks as 0 does.
bool LowByteSet(int32_t value) {
    return (static_cast<uint32_t>(value) & 0xFFu) != 0;
}

int32_t Sum(int32_t a, int32_t b) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(int64_t{a} + b, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

TButtonLib* ButtonOf(TKelObjectDataCustom& object) {
    auto* link = dynamic_cast<TButtonLink*>(object.ScreenObject());
    return link ? &link->Object() : nullptr;
}

TImageScrollBar* ScrollBarOf(TKelObjectDataCustom& object) {
    auto* data = dynamic_cast<TKelObjectDataScrollBar*>(&object);
    auto* link = data ? dynamic_cast<TKelScrollBarLink*>(data->ScrollBar()) : nullptr;
    return link ? &link->Object() : nullptr;
}

// "l" on a bar: both pictures through the search folders. A name that no folder holds becomes
// the empty name, which leaves that picture empty without a message.
void LoadBar(TKelCommandArgs& a, TImageScrollBar& bar) {
    const std::string thumb = a.File(1), track = a.File(2);
    const bool vertical = a.Int(3) != 0;
    if (!bar.Load(thumb, track, vertical))
        a.Script().Log().ErrorLog("\\l：画像にロードに失敗："_sj + thumb + ":" + track);
}

}  // namespace

namespace KelButtonCommands {

std::span<const char* const> ButtonWords() {
    return kButtonWords;
}

std::span<const char* const> ScrollBarWords() {
    return kScrollBarWords;
}

bool DoButtonCommand(TKelScript& script, int32_t code, TStringList& args, TButtonLib& button) {
    if (KelMessageCommands::DoMessageCommand(script, code, args, button)) return true;
    TKelCommandArgs a(script, args);
    TButtonRecord& r = button.ButtonRecord;
    switch (code) {
        case Cmd("lk"):
            button.SetLocked(LowByteSet(a.Int(1)));
            return true;
        case Cmd("?lk"):
            a.ClearResults();
            a.SetInt(0, button.IsLocked() ? 1 : 0);
            return true;
        case Cmd("ck"):
            button.SetChecked(LowByteSet(a.Int(1)));
            return true;
        case Cmd("?ck"):
            a.ClearResults();
            a.SetInt(0, button.IsChecked() ? 1 : 0);
            return true;
        case Cmd("bc"): {
            const TImageRecord& place = button.Record;
            button.Click(script.State.UpdateMask, Sum(place.X, place.ClickX), Sum(place.Y, place.ClickY));
            return true;
        }
        case Cmd("?bc"):
            a.ClearResults();
            if (r.ClickCountdown >= 1) {
                a.SetInt(0, 1);
                r.ClickCountdown = 1;
            }
            return true;
        default:
            return false;
    }
}

bool DoScrollBarCommand(TKelScript& script, int32_t code, TStringList& args, TImageScrollBar& bar) {
    TKelCommandArgs a(script, args);
    const TScrollBarRecord& r = bar.Record;
    if (KelSharedImageWords::DoSharedImageWord(a, code, bar, r, bar.Thumb->Record)) return true;
    switch (code) {
        case Cmd("i"):
            bar.Clear();
            return true;
        case Cmd("l"):
            LoadBar(a, bar);
            return true;
        case Cmd("?l"):
            a.ClearResults();
            a.SetStr(0, r.ThumbFile);
            a.SetStr(1, r.TrackFile);
            return true;
        case Cmd("p"): {
            const auto [x, y, z] = a.Ints<3>();
            bar.SetPos(x, y, z);
            return true;
        }
        case Cmd("?p"):
            a.ClearResults();
            a.SetInt(0, r.X);
            a.SetInt(1, r.Y);
            a.SetInt(2, r.Z);
            return true;
        case Cmd("e"):
            bar.Enable();
            return true;
        case Cmd("?e"):
            a.ClearResults();
            a.SetInt(0, bar.IsEnabled() ? 1 : 0);
            return true;
        case Cmd("d"):
            bar.Disable();
            return true;
        case Cmd("v"):
            bar.SetValue(a.Int(1));
            return true;
        case Cmd("mv"):
            bar.SetMax(a.Int(1));
            return true;
        case Cmd("?v"):
        case Cmd("?mv"):
            a.ClearResults();
            if (bar.IsEnabled()) a.SetInt(0, code == Cmd("?v") ? bar.GetValue() : bar.GetMax());
            return true;
        default:
            return false;
    }
}

bool ForwardBtnCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    if (TButtonLib* button = ButtonOf(object)) return DoButtonCommand(script, code, args, *button);
    if (code == Cmd("gt")) script.ClearResults();  // a query by its meaning, not by its name
    return KelImageCommands::AcceptWithoutTarget(script, code, KelImageCommands::ImageWords()) ||
           KelImageCommands::AcceptWithoutTarget(script, code, KelMessageCommands::MessageWords()) ||
           KelImageCommands::AcceptWithoutTarget(script, code, kButtonWords);
}

bool ForwardBarCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    if (TImageScrollBar* bar = ScrollBarOf(object)) return DoScrollBarCommand(script, code, args, *bar);
    return KelImageCommands::AcceptWithoutTarget(script, code, kScrollBarWords);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Button, ForwardBtnCommand);
    registry.RegisterHandler(TObjectKind::SysButton, ForwardBtnCommand);
    registry.RegisterHandler(TObjectKind::ScrollBar, ForwardBarCommand);
}

}  // namespace KelButtonCommands
