// The interpreter's frame step (declared with TKelScript in KelScriptLib.h): key actions and
// system buttons, pointer routing, the run modes, the countdown and end tests of the waits, the
// statement loop under the lines-per-frame budget, the permission tests, the scene return, the
// save-file routines and the two label-log feeds.
#include <cstdint>
#include <string>

#include "foundation/ErrorLogLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/uInputDevice.h"
#include "platform/Clock.h"
#include "platform/FileRoot.h"
#include "script/KelCalculationLib.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"
#include "script/uLabelLog.h"

namespace {

constexpr TCategorySet kSystemObjects = Categories({7, 8});   // system images and system buttons
constexpr TCategorySet kGameObjects = Categories({1, 2, 3});  // images, message windows, buttons and bars
constexpr TCategorySet kButtons = Categories({3});
constexpr TCategorySet kMessageWindows = Categories({2});
constexpr TCategorySet kSystemButtons = Categories({8});
constexpr int32_t kSelectSaveRecheck = 40;  // calls between two tests of the select-save file
constexpr int32_t kPressedLookMs = 10;      // how long a pressed system button is shown
constexpr const char* kSelectSaveFile = "SelectSaveData.svd";

int32_t Sub0(int32_t value, int32_t elapsed) {
    int64_t v = int64_t{value} - elapsed;
    return v < 0 ? 0 : static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v);
}

// 1000 times a playing time, wrapped to 32 bits as the result variables hold it.
int32_t Thousandfold(int32_t ms) {
    return static_cast<int32_t>(static_cast<uint32_t>(ms) * 1000u);
}

IKelUserData* UserData(TKelObjectDataCustom* o) {
    return o ? dynamic_cast<IKelUserData*>(o->ScreenObject()) : nullptr;
}

std::string ActionName(IKelUserData* data) {
    return data ? ClassLib::LowerAscii(data->UserString(0)) : std::string();
}

// The request and the lock bit of the key actions that ask the host for something.
struct TKeyRequest {
    int32_t Action;
    uint32_t Lock;
    uint8_t Request;
};
constexpr TKeyRequest kKeyRequests[] = {
    {kaMenu, lkMenu, srMenu},
    {kaLog, lkLog, srLog},
    {kaScreen, lkScreen, srFullScreen},
    {kaReset, lkReset, srResetConfirm},
    {kaExit, lkReset, srExitConfirm},
    {kaLoad, lkLoad, srLoad},
    {kaSave, lkSave, srSave},
    {kaView, lkView, srView},
    {kaConfig, lkConfig, srConfig},
    {kaMinimize, lkMinimize, srMinimize},
    {kaAuto, lkAuto, srAuto},
    {kaSkip, lkSkip, srSkip},
    {kaLogSkip, lkSkip, srSkipRead},
    {kaQuickSave, lkSave, srQuickSave},
    {kaQuickLoad, lkLoad, srQuickLoad},
    {kaSelectLoad, lkLoad, srSelectLoad},
    {kaSceneReturn, lkJump, srSceneReturn},
};

struct TNamedAction {
    const char* Name;
    int32_t Code;
};
constexpr TNamedAction kKeyActionNames[] = {
    {"click", kaClick},
    {"keyclick", kaKeyClick},
    {"skipclick", kaSkipClick},
    {"menu", kaMenu},
    {"log", kaLog},
    {"screen", kaScreen},
    {"reset", kaReset},
    {"exit", kaExit},
    {"load", kaLoad},
    {"save", kaSave},
    {"view", kaView},
    {"config", kaConfig},
    {"minimize", kaMinimize},
    {"auto", kaAuto},
    {"skip", kaSkip},
    {"logskip", kaLogSkip},
    {"sceneskipload", kaSceneSkipLoad},
    {"sceneskipnoload", kaSceneSkipNoLoad},
    {"quicksave", kaQuickSave},
    {"quickload", kaQuickLoad},
    {"selectload", kaSelectLoad},
    {"scenereturn", kaSceneReturn},
    {"selectleft", kaSelectLeft},
    {"selectright", kaSelectRight},
    {"selectup", kaSelectUp},
    {"selectdown", kaSelectDown},
    {"custom", kaCustom},
};

// System buttons that ask the host directly, by their lower-cased action name.
struct TButtonRequest {
    const char* Name;
    uint8_t Request;
};
constexpr TButtonRequest kButtonRequests[] = {
    {"custom", srEnterSystem},
    {"screen", srFullScreen},
    {"log", srLog},
    {"config", srConfig},
    {"configvolume", srVolumePage},
    {"configvoice", srVoicePage},
    {"menu", srMenu},
    {"save", srSave},
    {"load", srLoad},
    {"reset", srResetConfirm},
    {"exit", srExitConfirm},
    {"minimize", srMinimize},
    {"quicksave", srQuickSave},
    {"quickload", srQuickLoad},
    {"selectload", srSelectLoad},
    {"scenereturn", srSceneReturn},
};

// System buttons that show a run mode: pressed again while checked, they end it.
struct TModeButton {
    const char* Name;
    uint8_t Request;
    TRunMode Mode;
};
constexpr TModeButton kModeButtons[] = {
    {"view", srView, TRunMode::View},
    {"auto", srAuto, TRunMode::Auto},
    {"skip", srSkip, TRunMode::Skip},
    {"logskip", srSkipRead, TRunMode::SkipRead},
};

// System buttons that are locked exactly while their bit is set.
struct TLockedButton {
    const char* Name;
    uint32_t Lock;
};
constexpr TLockedButton kLockedButtons[] = {
    {"screen", lkScreen},     {"log", lkLog},        {"config", lkConfig},  {"menu", lkMenu},
    {"save", lkSave},         {"load", lkLoad},      {"reset", lkReset},    {"exit", lkReset},
    {"minimize", lkMinimize}, {"quicksave", lkSave}, {"quickload", lkLoad},
};

}  // namespace

// ---- frame step ----

void TKelScript::Execute(int32_t elapsed, bool inputAllowed) {
    Request = srNone;
    RequestArgument.clear();
    const bool inputOn = inputAllowed && State.RunMode != TRunMode::View;

    if (Links.Compositor && Links.WindowColor) {
        uint32_t bg = Links.Compositor->BackgroundColor();
        uint32_t color = 0x02000000u | ((bg & 0xFFu) << 16) | (bg & 0xFF00u) | ((bg >> 16) & 0xFFu);
        if (Links.WindowColor->Color() != color) Links.WindowColor->SetColor(color);
    }
    if (Links.Input) {
        Links.Input->SetCursorVisible(State.CursorVisible != 0);
        Links.Input->SetCursorHideTime(static_cast<int32_t>(State.CursorHideTime));
    }
    if (Objects) Objects->SetCursorWeights(State.CursorWeightX, State.CursorWeightY);

    Config().Config.Skipping = State.RunMode == TRunMode::Skip || State.RunMode == TRunMode::SkipRead;
    if (RecentClickFrames > 0) --RecentClickFrames;

    // Any bound key ends auto, skip and view; in view mode that is all the key does.
    int32_t number = 0;
    const int32_t action = ReadKeyAction(number);
    if (State.RunMode != TRunMode::Normal && action != kaNone) StopRunMode();

    if (inputOn && Links.Input) {
        const int32_t px = Links.Input->MouseX, py = Links.Input->MouseY;
        MouseMoveObjects(px, py);
        if (Links.Input->Check(1)) MouseDownObjects(px, py);  // left button pressed in this frame
        switch (action) {
            case kaClick:
                Click(px, py, false);
                break;
            case kaKeyClick:
                Click(kNoPoint, kNoPoint, false);
                break;
            case kaSkipClick:
                Click(kNoPoint, kNoPoint, false);
                Config().Config.Skipping = true;
                break;
            default:
                KeyAction(action, number);
        }
    }

    switch (State.RunMode) {
        case TRunMode::Auto:
            if (State.Locks & lkAuto) {
                StopRunMode();
            } else if (AutoModeWait() == 0) {
                TScriptRoutine* r = CurrentRoutine();
                if (r && (r->WaitState == wsClick || r->WaitState == wsMessagePage) && r->WaitTime < 1 &&
                    !VoicePlaying())
                    Click(kNoPoint, kNoPoint, true);
            }
            break;
        case TRunMode::Skip:
        case TRunMode::SkipRead:
            if (State.Locks & lkSkip) {
                StopRunMode();
            } else if (TScriptRoutine* r = CurrentRoutine(); r && r->WaitState > wsEvent) {
                Click(kNoPoint, kNoPoint, true);
            }
            break;
        default:
            break;
    }

    uint64_t clock = uint64_t{State.ScriptClock} + static_cast<uint32_t>(elapsed < 0 ? 0 : elapsed);
    State.ScriptClock =
        static_cast<uint32_t>(clock > TScriptStateBlock::kAllLocks ? TScriptStateBlock::kAllLocks : clock);
    if (FrameDelay > 0) --FrameDelay;
    if (HoldFrames > 0 && --HoldFrames > 0) elapsed = 0;
    elapsed += ExtraElapsed;
    ExtraElapsed = 0;

    // A wait without a limit holds -1 and keeps it. The clock wait holds a point on the script
    // clock, not a span: counting it down too would end the wait halfway there.
    if (TScriptRoutine* r = CurrentRoutine(); r && r->WaitTime > 0 && r->WaitState != wsClock) {
        r->WaitTime = Sub0(r->WaitTime, elapsed);
        r->WaitTime2 = Sub0(r->WaitTime2, elapsed);
    }

    if (elapsed > 0) {
        UpdateSystemButtons();
        if (Links.Camera) Links.Camera->Advance(elapsed);
        UpdateCursorLabel();
        if (Links.Cursor) Links.Cursor->Update(State.UpdateMask, elapsed);
        ApplyPendingCursorLabel();
        if (Links.SystemCursor) Links.SystemCursor->Update(State.UpdateMask, elapsed);
        if (Objects) {
            if (Links.Camera) Objects->SetCamera(Links.Camera->OffsetX(), Links.Camera->OffsetY());
            Objects->Update(State.UpdateMask, elapsed, CategoryRange(1, 11));
        }
        if (Links.Compositor) Links.Compositor->UpdateTransition(elapsed);
    }
    AutoModeWait() = Sub0(AutoModeWait(), elapsed);

    if (Reader) {
        const uint32_t budget = State.LinesPerFrame < 1 ? 1 : State.LinesPerFrame;
        int32_t place = -1;
        for (uint32_t pass = 0; pass < budget && FrameDelay <= 0 && Request == srNone; ++pass) {
            TScriptRoutine* r = CurrentRoutine();
            if (!r) break;
            if (r->WaitState == wsNone) {
                const std::string_view statement = Reader->NextStatement(place);
                ExecuteStatement(statement, place);
            } else {
                RunWaitTest(*r);
            }
            r = CurrentRoutine();
            if (!r || r->WaitState > wsStop || Log().ErrorFlag) break;
        }
    }
    if (Config().Config.Skipping) AutoModeWait() = 0;
}

// The end test of a wait, run by one pass of the line loop; it sets the state to 0 when the wait
// is over. True when the pass ended the wait.
bool TKelScript::RunWaitTest(TScriptRoutine& r) {
    bool done = false;
    switch (r.WaitState) {
        case wsStop:
            SetResultInt("ResultStopInt", 0, r.WaitTime);
            r.WaitTime = 0;
            ExtraElapsed += r.WaitTime2;
            r.WaitTime2 = 0;
            done = true;
            break;
        case wsEvent:
            // The event label runs as a subroutine on every pass until the wait runs out; its
            // statements count against the budget.
            if (r.WaitTime == 0)
                done = true;
            else
                CallSubroutineByLabel(r.EventLabel, r.EventArgument);
            break;
        case wsTimer:
        case wsClick:  // a limit of -1 never runs out
            done = r.WaitTime == 0;
            break;
        case wsClock:
            done = int64_t{r.WaitTime} <= int64_t{State.ScriptClock};
            break;
        case wsSoundPosition: {
            const int32_t state = Links.Sound ? Links.Sound->StreamState(r.SoundChannel) : 0;
            // The playing time in ms, times 1000, against the wait time.
            done = state < 2 || (Links.Sound && int64_t{Links.Sound->StreamPlayingTimeMs(r.SoundChannel)} * 1000 >=
                                                    int64_t{r.WaitTime});
            break;
        }
        case wsMessageTyping:
        case wsMessagePage:
            r.WaitState = MessageWaitState();
            return r.WaitState == wsNone;
        case wsButton:
            if (r.WaitTime == 0) {
                SetResultObj("ResultBtn", 0, "");
                SetResultInt("ResultBtnInt", 0, 0);
                SetResultStr("ResultBtnStr", 0, "");
                done = true;
            }
            break;
        case wsSoundEnd: {
            const int32_t state = Links.Sound ? Links.Sound->StreamState(r.SoundChannel) : 0;
            done = state != 2 && state != 3;
            break;
        }
        default:
            // A state from a damaged save game: nothing can end it but a click or a jump.
            break;
    }
    if (done) r.WaitState = wsNone;
    return done;
}

TWaitState TKelScript::MessageWaitState() const {
    bool typing = false;
    for (int32_t i = 0; Objects && i < Objects->Count(); ++i) {
        if (Objects->KindAt(i) != TObjectKind::Message) continue;
        TKelObjectDataCustom* o = Objects->Item(i);
        auto* progress = dynamic_cast<IKelMessageProgress*>(o->ScreenObject());
        if (!progress) continue;
        if (progress->PageFull()) return wsMessagePage;
        typing = typing || progress->Typing();
    }
    return typing ? wsMessageTyping : wsNone;
}

bool TKelScript::VoicePlaying() const {
    if (!Links.Sound) return false;
    const int32_t n = Links.Sound->StreamChannelCount();
    for (int32_t ch = 0; ch < n; ++ch)
        if (Links.Sound->StreamGroup(ch) == 1 && Links.Sound->StreamState(ch) >= 2) return true;
    return false;
}

// ---- clicks ----

void TKelScript::Click(int32_t x, int32_t y, bool automatic) {
    RecentClickFrames = 4;
    AutoModeWait() = 0;
    if (!automatic) StopRunMode();
    if (!(x == kNoPoint && y == kNoPoint) && SystemButtonAction(x, y)) {
        RecentClickFrames = 0;
        return;
    }
    if (TScriptRoutine* r = CurrentRoutine()) ClickWait(*r, x, y);
}

void TKelScript::ClickWait(TScriptRoutine& r, int32_t x, int32_t y) {
    switch (r.WaitState) {
        case wsEvent:
            if (Objects && Objects->HitTest(State.UpdateMask, x, y, kButtons)) RecentClickFrames = 0;
            break;
        case wsClick:
            if (r.WaitTime2 > 0) ExtraElapsed += r.WaitTime2;
            SetResultInt("ResultClkInt", 0, r.WaitTime);
            r.WaitTime = 0;
            r.WaitTime2 = 0;
            r.WaitState = wsNone;
            break;
        case wsClock:
        case wsSoundPosition: {
            int32_t at = static_cast<int32_t>(State.ScriptClock);
            if (r.WaitState == wsSoundPosition)
                at = Thousandfold(Links.Sound ? Links.Sound->StreamPlayingTimeMs(r.SoundChannel) : 0);
            SetResultInt("ResultClkInt", 0, at);
            if (!r.ClickLabel.empty()) {
                std::string label = r.ClickLabel;
                r.WaitState = wsNone;
                ExecuteLine("\\jmp," + label);
            }
            break;
        }
        case wsMessageTyping:
        case wsMessagePage:
            if (Objects) Objects->HitTest(0xFFFFFFFFu, x, y, kMessageWindows);
            break;
        case wsButton: {
            if (State.RunMode != TRunMode::Normal) StopRunMode();
            TKelObjectDataCustom* hit = Objects ? Objects->HitTest(State.UpdateMask, x, y, kButtons) : nullptr;
            if (!hit) break;
            std::string name = hit->Name();
            IKelUserData* data = UserData(hit);
            int32_t ints[4] = {0, 0, 0, 0};
            std::string strs[4];
            for (int32_t i = 0; data && i < 4; ++i) {
                ints[i] = data->UserInt(i);
                strs[i] = data->UserString(i);
            }
            // The button's click event may have run script: the routine is looked up again.
            TScriptRoutine* now = CurrentRoutine();
            if (!now || now->WaitState != wsButton) break;
            now->WaitState = wsNone;
            now->WaitTime = 0;
            SetResultObj("ResultBtn", 0, name);
            for (int32_t i = 0; i < 4; ++i) {
                SetResultInt("ResultBtnInt", i, ints[i]);
                SetResultStr("ResultBtnStr", i, strs[i]);
            }
            break;
        }
        case wsSoundEnd:
            r.WaitState = wsNone;
            break;
        default:
            break;
    }
}

// ---- key actions ----

int32_t TKelScript::KeyActionCode(std::string_view actionName) {
    std::string low = ClassLib::LowerAscii(actionName);
    for (const auto& a : kKeyActionNames)
        if (low == a.Name) return a.Code;
    return kaNone;
}

int32_t TKelScript::ReadKeyAction(int32_t& number) {
    number = 0;
    TSystemKeyData* key = SystemKeys ? SystemKeys->GetPressed() : nullptr;
    if (!key) return kaNone;
    const int32_t code = KeyActionCode(key->ActionName);
    if (code == kaNone) return kaNone;
    RequestArgument = key->Label;
    int64_t v = 0;
    if (KelCalculationLib::TryStrToInt64(key->NumberText, v) && v >= INT32_MIN && v <= INT32_MAX)
        number = static_cast<int32_t>(v);
    return code;
}

void TKelScript::KeyAction(int32_t action, int32_t number) {
    switch (action) {
        case kaSelectLeft:
            SelectLeft();
            return;
        case kaSelectRight:
            SelectRight();
            return;
        case kaSelectUp:
            SelectUp();
            return;
        case kaSelectDown:
            SelectDown();
            return;
        case kaCustom:
            if ((State.CustomLocks & static_cast<uint32_t>(number)) == 0) Request = srEnterSystem;
            return;
        default:
            break;
    }
    for (const auto& k : kKeyRequests)
        if (k.Action == action) {
            if ((State.Locks & k.Lock) == 0) Request = k.Request;
            return;
        }
}

void TKelScript::StopRunMode() {
    State.RunMode = TRunMode::Normal;
    Config().Config.Skipping = false;
}

// ---- pointer ----

void TKelScript::MouseMoveObjects(int32_t x, int32_t y) {
    if (!Objects) return;
    TScriptRoutine* r = CurrentRoutine();
    const bool waitsForObjects = r && (r->WaitState == wsEvent || r->WaitState == wsButton);
    Objects->MouseMove(State.UpdateMask, x, y, waitsForObjects ? kSystemObjects | kGameObjects : kSystemObjects);
}

void TKelScript::MouseDownObjects(int32_t x, int32_t y) {
    if (!Objects) return;
    TScriptRoutine* r = CurrentRoutine();
    const bool waitsForObjects = r && (r->WaitState == wsEvent || r->WaitState == wsButton);
    Objects->MouseDown(State.UpdateMask, x, y, waitsForObjects ? kSystemObjects | kGameObjects : kSystemObjects);
}

void TKelScript::MoveFocus(int32_t vStep, int32_t hStep) {
    if (!Objects || !Links.Input) return;
    TKelPoint p = Objects->MoveCursor(Links.Input->MouseX, Links.Input->MouseY, State.UpdateMask,
                                      Config().Config.ScreenWidth, Config().Config.ScreenHeight, vStep, hStep);
    Links.Input->SetMousePos(p.X, p.Y);
}

// ---- system buttons ----

void TKelScript::UpdateSystemButtons() {
    for (int32_t i = 0; Objects && i < Objects->Count(); ++i) {
        if (Objects->KindAt(i) != TObjectKind::SysButton) continue;
        TKelObjectDataCustom* o = Objects->Item(i);
        IKelUserData* data = UserData(o);
        auto* button = dynamic_cast<IKelButtonState*>(o->ScreenObject());
        const std::string name = ActionName(data);
        if (!button || name.empty()) continue;
        auto show = [button](bool locked, bool checked) {
            button->SetLocked(locked);
            button->SetChecked(checked);
        };
        if (name == "custom") {
            if (State.CustomLocks & static_cast<uint32_t>(data->UserInt(0)))
                show(true, false);
            else
                show(false, (State.CustomStates & static_cast<uint32_t>(data->UserInt(1))) != 0);
            continue;
        }
        if (name == "selectload") {
            show((State.Locks & lkLoad) != 0 || !SelectSaveExists(false), false);
            continue;
        }
        for (const auto& b : kLockedButtons)
            if (name == b.Name) show((State.Locks & b.Lock) != 0, false);
        for (const auto& m : kModeButtons) {
            if (name != m.Name) continue;
            bool allowed = m.Mode == TRunMode::View   ? IsViewAllowed()
                           : m.Mode == TRunMode::Auto ? IsAutoAllowed()
                           : m.Mode == TRunMode::Skip ? IsSkipAllowed()
                                                      : IsSceneLabelSkipAllowed();
            if (allowed)
                show(false, State.RunMode == m.Mode);
            else
                show(true, false);
        }
    }
}

bool TKelScript::SystemButtonAction(int32_t x, int32_t y) {
    if (!Objects) return false;
    TKelObjectDataCustom* hit = Objects->HitTest(State.UpdateMask, x, y, kSystemButtons);
    if (!hit) return false;
    const std::string objectName = hit->Name();
    IKelUserData* data = UserData(hit);
    const std::string name = ActionName(data);
    const std::string label = data ? data->UserString(1) : std::string();
    // The pressed look is shown before the host acts.
    Objects->Update(State.UpdateMask, kPressedLookMs, kSystemButtons);
    if (Links.Clock) Links.Clock->SleepMs(kPressedLookMs);

    for (const auto& b : kButtonRequests)
        if (name == b.Name) {
            RequestArgument = label;
            Request = b.Request;
            if (b.Request == srSelectLoad) SelectSaveExists(true);
            return true;
        }
    for (const auto& m : kModeButtons)
        if (name == m.Name) {
            RequestArgument = label;
            TKelObjectDataCustom* still = Objects->Find(objectName);
            auto* button = still ? dynamic_cast<IKelButtonState*>(still->ScreenObject()) : nullptr;
            if (button && button->Checked()) {
                StopRunMode();
                button->SetChecked(false);
            } else {
                Request = m.Request;
                if (button) button->SetChecked(true);
            }
            return true;
        }
    return false;
}

// ---- cursors ----

void TKelScript::UpdateCursorLabel() {
    if (!Links.Cursor) return;
    const TScriptRoutine* r = CurrentRoutine();
    const TRunMode mode = State.RunMode;
    const char* name = "*Default";
    switch (r ? r->WaitState : wsNone) {
        case wsTimer:
            if (mode == TRunMode::Normal) name = "*OnWait";
            break;
        case wsClick:
            if (r->WaitTime < 0 && mode == TRunMode::Normal)
                name = "*OnClick";
            else if (r->WaitTime < 0 && mode == TRunMode::Auto)
                name = "*OnAuto";
            break;
        case wsMessageTyping:
            if (mode == TRunMode::Normal) name = "*OnMessage";
            break;
        case wsMessagePage:
            if (mode == TRunMode::Normal)
                name = "*OnScroll";
            else if (mode == TRunMode::Auto)
                name = "*OnAuto";
            break;
        case wsButton:
            name = "*OnButton";
            break;
        case wsSoundEnd:
            if (mode == TRunMode::Normal) name = "*OnWave";
            break;
        default:
            break;
    }
    std::string motion = name;
    if (!Links.Cursor->HasMotion(motion)) motion = "*Default";
    Links.Cursor->SetMotion(motion, false);
}

void TKelScript::ApplyPendingCursorLabel() {
    if (!Links.SystemCursor || PendingCursorLabel.empty()) return;
    Links.SystemCursor->SetMotion(PendingCursorLabel, true);
    PendingCursorLabel.clear();
}

// ---- permissions and the scene return ----

namespace {
bool InButtonWait(const TKelScript& s) {
    const TScriptRoutine* r = s.Thread ? s.Thread->TopRoutine() : nullptr;
    return r && r->WaitState == wsButton;
}
}  // namespace

bool TKelScript::IsViewAllowed() const {
    return (State.Locks & lkView) == 0;
}

bool TKelScript::IsAutoAllowed() const {
    return !InButtonWait(*this) && (State.Locks & lkAuto) == 0;
}

bool TKelScript::IsSkipAllowed() const {
    return !InButtonWait(*this) && (State.Locks & lkSkip) == 0;
}

bool TKelScript::IsSceneLabelSkipAllowed() const {
    return !InButtonWait(*this) && (State.Locks & lkSkip) == 0 && IsReadPosition();
}

bool TKelScript::IsReadPosition() const {
    if (!Links.ReadTextLog || !Reader) return false;
    // The scene: the current label when it is a scene label, else the innermost routine that
    // returns into one.
    std::string key;
    int32_t line = 0;
    const std::string label = Reader->GetLabelName();
    if (KelScriptLib::IsSceneLabel(label)) {
        key = Reader->GetFileName() + label;
        line = Reader->GetLineInLabel();
    } else {
        const TScriptBlock* root = nullptr;
        for (int32_t i = Thread ? Thread->Count() - 1 : -1; i >= 0 && !root; --i) {
            const TScriptBlock* b = Thread->Routine(i)->Block(0);
            if (b && KelScriptLib::IsSceneLabel(b->LabelName)) root = b;
        }
        if (!root) return false;
        key = root->FileName + root->LabelName;
        line = root->LineInLabel;
    }
    return Links.ReadTextLog->GetCount(key) > line;
}

bool TKelScript::IsSceneSkipEnabled() const {
    return (State.Locks & lkJump) == 0 && State.SceneSkipEnabled != 0;
}

bool TKelScript::CanSceneReturn() const {
    return (State.Locks & lkJump) == 0 && Reader && Thread &&
           !ClassLib::SameTextAscii(Reader->GetLabelName(), State.SceneReturnLabel) &&
           Thread->FindRoutineByLabel(State.SceneReturnLabel) >= 0;
}

bool TKelScript::SceneReturn() {
    if (!CanSceneReturn()) return false;
    ExecuteCommandString("\\ret," + State.SceneReturnLabel);
    if (TScriptRoutine* r = CurrentRoutine()) {
        r->WaitState = wsNone;
        r->WaitTime = 0;
        r->WaitTime2 = 0;
    }
    return true;
}

// ---- save files ----

bool TKelScript::CheckSaveDirectory(const TFileRoot& root, const std::string& folder) {
    return root.DirectoryExists(folder) || root.ForceDirectories(folder);
}

bool TKelScript::SaveFileExists(const TFileRoot& root, const std::string& name) {
    const std::string path = KelSaveData::SaveFilePath(name);
    return !path.empty() && root.FileExists(path);
}

bool TKelScript::DeleteSaveFile(const TFileRoot& root, const std::string& name) {
    const std::string path = KelSaveData::SaveFilePath(name);
    return !path.empty() && root.DeleteFile(path);
}

bool TKelScript::SelectSaveExists(bool force) {
    if (++SelectSaveCheckCount < kSelectSaveRecheck && !force) return SelectSaveKnown != 0;
    SelectSaveKnown = Links.Files && SaveFileExists(*Links.Files, kSelectSaveFile) ? 1 : 0;
    SelectSaveCheckCount = 0;
    return SelectSaveKnown != 0;
}

// ---- label-log feeds ----

void TKelScript::OnPathFileFound(const std::string& name) {
    uLabelLog::FileUseFeed(Links.FileUseLog, FileLogSuspended != 0, FileLogPatterns, name);
}

void TKelScript::OnReaderLine(const std::string& key, int32_t lineOffset) {
    if (uLabelLog::ReadTextFeed(Links.ReadTextLog, ReadLogSuspended != 0, key, lineOffset, State.RunMode))
        StopRunMode();
}
