#include "objects/KelInputCommands.h"

#include "foundation/ErrorLogLib.h"
#include "foundation/uInputDevice.h"
#include "objects/ButtonLib.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "script/KelCalculationLib.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr int32_t kResultElements = 16;

// "kl": the key codes that satisfy the mode now, one result element each. A 17th key and every
// further one is reported as a write beyond the results, but only logged: it is a key the player
// holds, not a fault of the script, so the script goes on.
void MatchingKeys(TKelCommandArgs& a, TInput* input) {
    const int32_t mode = a.Int(1);
    a.ClearResults();
    if (!input) return;
    const std::unique_ptr<TStringList> keys = input->GetMatchingKeys(mode);
    for (int32_t k = 0; k < keys->Count(); ++k) {
        int64_t code = 0;
        KelCalculationLib::TryStrToInt64((*keys)[k], code);
        if (k < kResultElements) {
            a.SetInt(k, static_cast<int32_t>(code));
            continue;
        }
        const bool stopped = a.Script().Log().ErrorFlag;
        a.SetInt(k, static_cast<int32_t>(code));
        a.Script().Log().ErrorFlag = stopped;
    }
}

void MoveFocus(TKelScript& target, const std::string& direction) {
    const std::string d = ClassLib::LowerAscii(direction);
    if (d == "up")
        target.SelectUp();
    else if (d == "down")
        target.SelectDown();
    else if (d == "left")
        target.SelectLeft();
    else if (d == "right")
        target.SelectRight();
}

// A clicked button or dragged bar: its countdown, user integers and strings.
struct TRecentTarget {
    int32_t* Countdown = nullptr;
    const IKelUserData* ButtonData = nullptr;
    const TImageScrollBar* Bar = nullptr;
    int32_t UserInt(int32_t i) const { return ButtonData ? ButtonData->UserInt(i) : Bar->UserInt(i); }
    std::string UserString(int32_t i) const { return ButtonData ? ButtonData->UserString(i) : Bar->UserString(i); }
};

TRecentTarget RecentOf(TKelObjectDataCustom& object, TObjectKind kind) {
    TRecentTarget t;
    if (object.Kind() != kind) return t;
    if (kind == TObjectKind::Button) {
        if (auto* link = dynamic_cast<TButtonLink*>(object.ScreenObject())) {
            t.Countdown = &link->Object().ButtonRecord.ClickCountdown;
            t.ButtonData = link;
        }
    } else if (auto* data = dynamic_cast<TKelObjectDataScrollBar*>(&object)) {
        if (auto* link = dynamic_cast<TKelScrollBarLink*>(data->ScrollBar())) {
            t.Countdown = &link->Object().Record.DragCountdown;
            t.Bar = &link->Object();
        }
    }
    return t;
}

// "gbc", "gsc": the first object of the kind, in object order, whose countdown still runs.
void TakeRecent(TKelCommandArgs& a, TObjectKind kind) {
    a.ClearResults();
    const TKelObjectManager* objects = a.Script().Objects.get();
    for (int32_t i = 0; objects && i < objects->Count(); ++i) {
        TKelObjectDataCustom* object = objects->Item(i);
        const TRecentTarget t = object ? RecentOf(*object, kind) : TRecentTarget();
        if (!t.Countdown || *t.Countdown <= 0) continue;
        *t.Countdown = 0;
        a.SetObj(0, object->Name());
        for (int32_t k = 0; k < 4; ++k) {
            a.SetInt(k, t.UserInt(k));
            a.SetStr(k, t.UserString(k));
        }
        return;
    }
}

}  // namespace

namespace KelInputCommands {

bool DoInputCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TInput* input = script.Links.Input;
    TScriptStateBlock& target = script.TargetScript().State;
    switch (code) {
        case Cmd("k"): {
            const TKeyCode key = a.Int(1);
            a.ClearResults();
            a.SetInt(0, input && input->Check(key) ? 1 : 0);
            return true;
        }
        case Cmd("kl"):
            MatchingKeys(a, input);
            return true;
        case Cmd("sc"):
            a.ClearResults();
            if (script.RecentClickFrames > 0) {
                a.SetInt(0, 1);
                script.RecentClickFrames = 1;
            }
            return true;
        case Cmd("sk"): {
            const TKeyCode key = a.Int(1);
            if (input) input->SendKey(key);
            return true;
        }
        case Cmd("mp"):
            a.ClearResults();
            if (input) {
                a.SetInt(0, input->MouseX);
                a.SetInt(1, input->MouseY);
            }
            return true;
        case Cmd("smp"): {
            const auto [x, y] = a.Ints<2>();
            if (input) input->SetMousePos(x, y);
            return true;
        }
        case Cmd("mw"):
            a.ClearResults();
            if (input) a.SetInt(0, input->WheelDelta);
            return true;
        case Cmd("ms"):
            target.CursorVisible = a.Int(1) == 1 ? 1 : 0;
            return true;
        case Cmd("mh"):
            target.CursorHideTime = static_cast<uint32_t>(a.Int(1));
            return true;
        case Cmd("bs"):
            MoveFocus(script.TargetScript(), a.Text(1));
            return true;
        case Cmd("bsv"): {
            const auto [x, y] = a.Ints<2>();
            target.CursorWeightX = x;
            target.CursorWeightY = y;
            return true;
        }
        case Cmd("?bsv"):
            a.ClearResults();
            a.SetInt(0, target.CursorWeightX);
            a.SetInt(1, target.CursorWeightY);
            return true;
        case Cmd("gbc"):
            TakeRecent(a, TObjectKind::Button);
            return true;
        case Cmd("gsc"):
            TakeRecent(a, TObjectKind::ScrollBar);
            return true;
        default:
            return false;
    }
}

bool DoSystemKeyCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelSystemKey* keys = script.TargetScript().SystemKeys.get();
    switch (code) {
        case Cmd("i"):
            if (keys) keys->Clear();
            return true;
        case Cmd("a"): {
            const TKeyCode key = a.Int(1);
            const std::string action = a.Text(2);
            const std::string label = a.Label(3);
            const int32_t number = a.Int(4);
            if (keys) keys->Add(key, action, "", std::to_string(number), label);
            return true;
        }
        case Cmd("d"): {
            const TKeyCode key = a.Int(1);
            if (keys) keys->Remove(key);
            return true;
        }
        case Cmd("lk"): {
            const bool locked = a.Int(1) == 1;
            if (keys) keys->Lock = locked ? 1 : 0;
            return true;
        }
        case Cmd("?lk"):
            a.ClearResults();
            a.SetInt(0, keys && keys->Lock != 0 ? 1 : 0);
            return true;
        default:
            return false;
    }
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Input, DoInputCommand);
    registry.RegisterHandler(TObjectKind::SystemKey, DoSystemKeyCommand);
}

}  // namespace KelInputCommands
