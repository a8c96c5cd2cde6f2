#include "script/KelSystemCommands.h"

#include <array>

#include "foundation/SystemConfigLib.h"
#include "foundation/uMisc.h"
#include "platform/Application.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"

namespace {

constexpr uint32_t kAllGroups = 0xFFFFFF;  // "in" and "out" without a value
constexpr size_t kDescriptionCapacity = 63;
constexpr size_t kFileCapacity = 127;
constexpr uint32_t kDefaultLinesPerFrame = 2048;

TKelScript& Target(TKelScript& s) {
    return s.State.TargetParent != 0 ? s.OwnerScript() : s;
}

// The arguments of a statement as these words read them: an empty argument is never evaluated and
// reads as 0 or an empty text.
class TArgs {
public:
    TArgs(TKelScript& script, TStringList& args) : S(script), L(args) {}
    const std::string& Raw(int32_t i) const {
        static const std::string none;
        return i >= 1 && i < L.Count() ? L[i] : none;
    }
    bool Empty(int32_t i) const { return Raw(i).empty(); }
    int32_t Int(int32_t i) const { return Empty(i) ? 0 : S.Evaluate(Raw(i)).Value; }
    std::string Text(int32_t i) const { return Empty(i) ? std::string() : S.Evaluate(Raw(i)).Text; }
    std::string Label(int32_t i) const { return S.GetLabelArgument(Raw(i)); }
    // An integer, or the value given for an empty argument.
    uint32_t MaskOr(int32_t i, uint32_t whenEmpty) const {
        return Empty(i) ? whenEmpty : static_cast<uint32_t>(Int(i));
    }

private:
    TKelScript& S;
    TStringList& L;
};

void ResultInt(TKelScript& s, int32_t value) {
    s.ClearResults();
    s.SetResultInt("ResultInt", 0, value);
}

void ResultStr(TKelScript& s, const std::string& text) {
    s.ClearResults();
    s.SetResultStr("ResultStr", 0, text);
}

void Request(TKelScript& s, TSystemRequest code, std::string argument) {
    s.Request = code;
    s.RequestArgument = std::move(argument);
}

std::string Cut(std::string text, size_t capacity) {
    if (text.size() > capacity) text.resize(capacity);
    return text;
}

// The requests a label argument may turn into a run of the system script.
struct TLabelRequest {
    int32_t Code;
    TSystemRequest Request;
};
constexpr TLabelRequest kLabelRequests[] = {
    {Cmd("ee"), srExitConfirm}, {Cmd("m"), srMenu},          {Cmd("h"), srLog},    {Cmd("rr"), srResetConfirm},
    {Cmd("s"), srSave},         {Cmd("l"), srLoad},          {Cmd("c"), srConfig}, {Cmd("qs"), srQuickSave},
    {Cmd("ql"), srQuickLoad},   {Cmd("rsr"), srSceneReturn},
};

// The layout files of the system screens, by word.
std::string* ScreenFile(TScriptStateBlock& state, int32_t code) {
    switch (code) {
        case Cmd("lf"):
            return &state.LoadScreenFile;
        case Cmd("sf"):
            return &state.SaveScreenFile;
        case Cmd("mf"):
            return &state.MenuScreenFile;
        case Cmd("hf"):
            return &state.LogScreenFile;
        default:
            return nullptr;
    }
}

// "dat d" and "dat c" answer a name that reads as a number with that number, whatever happened;
// scripts that number their slots rely on it.
int32_t NumberOrOutcome(const std::string& name, bool done) {
    int64_t number = 0;
    if (uMisc::TryStrToInt(name, 32, uMisc::THexPrefix::Dollar, number)) return static_cast<int32_t>(number);
    return done ? 1 : 0;
}

TKelSaveData ReadHeader(const TKelScript& s, const std::string& name, bool& ok) {
    const TFileRoot* root = s.Links.Files;
    TKelSaveData save(s.Config().Config.CodeKey);
    ok = root && TKelScript::SaveFileExists(*root, name) &&
         save.LoadFromFile(*root, KelSaveData::SaveFilePath(name), false, false);
    return save;
}

// Replaces the four descriptions of a save file, keeping everything else of it.
bool ChangeDescriptions(const TKelScript& s, const std::string& name, const std::array<std::string, 4>& descriptions) {
    const TFileRoot* root = s.Links.Files;
    const std::string path = KelSaveData::SaveFilePath(name);
    TKelSaveData save(s.Config().Config.CodeKey);
    if (path.empty() || !root || !save.LoadFromFile(*root, path, true, true)) return false;
    for (size_t k = 0; k < 4; ++k)
        save.Header.Descriptions[k] = Cut(descriptions[k], kFileCapacity);
    return save.SaveToFile(*root, path, save.Header.Scrambled != 0, save.Header.Compressed != 0);
}

}  // namespace

namespace KelSystemCommands {

bool DoSysCommand(TKelScript& s, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TArgs a(s, args);
    TKelScript& t = Target(s);
    TScriptStateBlock& state = t.State;
    for (const TLabelRequest& r : kLabelRequests)
        if (r.Code == code) {
            Request(s, r.Request, a.Label(1));
            return true;
        }
    if (std::string* file = ScreenFile(state, code)) {
        *file = Cut(a.Text(1), kFileCapacity);
        return true;
    }
    switch (code) {
        case Cmd("e"):
            Request(s, srExit, "");
            return true;
        case Cmd("fm"):
            Request(s, srMinimize, "");
            return true;
        case Cmd("r"): {
            std::string label = a.Label(1);
            Request(s, srResetLabel, label + "," + a.Text(2));
            return true;
        }
        case Cmd("sr"):
        case Cmd("sret"):
            state.SceneReturnLabel = Cut(a.Label(1), kFileCapacity);
            return true;
        case Cmd("?sr"):
            ResultStr(s, state.SceneReturnLabel);
            return true;
        case Cmd("p"): {
            const int32_t mode = a.Int(1);
            if (mode == 0)
                t.StopRunMode();
            else if (mode >= 1 && mode <= 4)
                state.RunMode = static_cast<TRunMode>(mode);
            return true;
        }
        case Cmd("?p"):
            ResultInt(s, static_cast<int32_t>(state.RunMode));
            return true;
        case Cmd("skp"):
            ResultInt(s, s.Config().Config.Skipping ? 1 : 0);
            return true;
        case Cmd("in"):
            state.UpdateMask = a.MaskOr(1, kAllGroups);
            return true;
        case Cmd("?in"):
            ResultInt(s, static_cast<int32_t>(state.UpdateMask));
            return true;
        case Cmd("out"):
            state.DrawMask = a.MaskOr(1, kAllGroups);
            return true;
        case Cmd("?out"):
            ResultInt(s, static_cast<int32_t>(state.DrawMask));
            return true;
        case Cmd("n"):
            for (int32_t k = 0; k < 4; ++k) {
                const std::string text = a.Text(k + 1);
                state.SaveDescriptions[k] =
                    text.empty() ? std::string() : Cut(TKelScript::StripBracketed(text), kDescriptionCapacity);
            }
            return true;
        case Cmd("?n"):
            s.ClearResults();
            for (int32_t k = 0; k < 4; ++k)
                s.SetResultStr("ResultStr", k, state.SaveDescriptions[k]);
            return true;
        case Cmd("lk"):
            state.Locks = a.MaskOr(1, TScriptStateBlock::kAllLocks);
            return true;
        case Cmd("?lk"):
            ResultInt(s, static_cast<int32_t>(state.Locks));
            return true;
        case Cmd("lkc"):
            state.CustomLocks = static_cast<uint32_t>(a.Int(1));
            return true;
        case Cmd("?lkc"):
            ResultInt(s, static_cast<int32_t>(state.CustomLocks));
            return true;
        case Cmd("ckc"):
            state.CustomStates = static_cast<uint32_t>(a.Int(1));
            return true;
        case Cmd("?ckc"):
            ResultInt(s, static_cast<int32_t>(state.CustomStates));
            return true;
        case Cmd("run"): {
            const int32_t lines = a.Int(1);
            state.LinesPerFrame = lines < 1 ? kDefaultLinesPerFrame : static_cast<uint32_t>(lines);
            return true;
        }
        case Cmd("?run"):
            ResultInt(s, static_cast<int32_t>(state.LinesPerFrame));
            return true;
        case Cmd("ss"):
            state.SceneSkipEnabled = a.Int(1) != 0 ? 1 : 0;
            return true;
        case Cmd("?ss"):
            s.ClearResults();
            if (state.SceneSkipEnabled) s.SetResultInt("ResultInt", 0, 1);
            return true;
        case Cmd("v"):
            t.VersionText = a.Text(1);
            return true;
        case Cmd("?v"):
            ResultStr(s, t.VersionText);
            return true;
        case Cmd("ap"):
            s.AutoModeWait() = a.Int(1);
            return true;
        case Cmd("?ap"):
            ResultInt(s, s.AutoModeWait());
            return true;
        case Cmd("fc"):
            s.Config().Config.FormCaption = a.Text(1);
            return true;
        case Cmd("?fc"):
            ResultStr(s, s.Config().Config.FormCaption);
            return true;
        case Cmd("tc"):
            if (s.Links.Title) *s.Links.Title = a.Text(1);
            return true;
        case Cmd("?tc"):
            ResultStr(s, s.Links.Title ? *s.Links.Title : std::string(Application::kUntitled));
            return true;
        default:
            return false;
    }
}

bool DoDatCommand(TKelScript& s, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TArgs a(s, args);
    switch (code) {
        case Cmd("l"): {
            const std::string name = a.Text(1);
            const bool loaded = Target(s).LoadGame(name);
            ResultInt(s, loaded ? 1 : 0);
            return true;
        }
        case Cmd("s"): {
            const std::string name = a.Text(1);
            const bool saved = Target(s).SaveGame(name, true);
            ResultInt(s, saved ? 1 : 0);
            return true;
        }
        case Cmd("g"): {
            const std::string name = a.Text(1);
            bool ok = false;
            ReadHeader(s, name, ok);
            ResultInt(s, ok ? 1 : 0);
            return true;
        }
        case Cmd("d"): {
            const std::string name = a.Text(1);
            const bool deleted = s.Links.Files && TKelScript::DeleteSaveFile(*s.Links.Files, name);
            ResultInt(s, NumberOrOutcome(name, deleted));
            return true;
        }
        case Cmd("c"): {
            const std::string name = a.Text(1);
            std::array<std::string, 4> descriptions;
            for (int32_t k = 0; k < 4; ++k)
                descriptions[static_cast<size_t>(k)] = a.Text(k + 2);
            const bool written = ChangeDescriptions(s, name, descriptions);
            ResultInt(s, NumberOrOutcome(name, written));
            return true;
        }
        case Cmd("gd"): {
            const std::string name = a.Text(1);
            s.ClearResults();
            bool ok = false;
            const TKelSaveData save = ReadHeader(s, name, ok);
            if (!ok) return true;
            std::array<int32_t, 6> date{};
            KelSaveData::DecodeDate(save.Header.Date, date);
            for (int32_t k = 0; k < 6; ++k)
                s.SetResultInt("ResultInt", k, date[static_cast<size_t>(k)]);
            for (int32_t k = 0; k < 4; ++k)
                s.SetResultStr("ResultStr", k, save.Header.Descriptions[static_cast<size_t>(k)]);
            return true;
        }
        default:
            return false;
    }
}

bool DoSysDatCommand(TKelScript& s, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TArgs a(s, args);
    switch (code) {
        case Cmd("l"):
            Target(s).LoadSystemData(a.Text(1));
            return true;
        case Cmd("s"):
            Target(s).SaveSystemData(a.Text(1));
            return true;
        case Cmd("i"):
            Target(s).Variables->Clear(TVariableScope::System);
            return true;
        default:
            return false;
    }
}

bool DoExtendCommand(TKelScript& s, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TArgs a(s, args);
    switch (code) {
        case Cmd("s"):
            s.RequestArgument = a.Text(1);
            if (s.ExtensionHooks[0]) s.ExtensionHooks[0](s);
            s.DelayFrames();
            return true;
        case Cmd("i"):
            if (s.ExtensionHooks[1]) s.ExtensionHooks[1](s);
            s.DelayFrames();
            return true;
        default:
            return false;
    }
}

bool DoTCPCommand(TKelScript&, int32_t, TStringList&, TKelObjectDataCustom&) {
    return true;
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::System, DoSysCommand);
    registry.RegisterHandler(TObjectKind::GameData, DoDatCommand);
    registry.RegisterHandler(TObjectKind::SystemData, DoSysDatCommand);
    registry.RegisterHandler(TObjectKind::Extend, DoExtendCommand);
    registry.RegisterHandler(TObjectKind::TCP, DoTCPCommand);
}

}  // namespace KelSystemCommands
