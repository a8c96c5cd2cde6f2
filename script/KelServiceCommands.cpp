#include "script/KelServiceCommands.h"

#include "foundation/uInputDevice.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uLabelLog.h"

namespace {

constexpr const char* kReplaceWords[] = {"i", "a", "d", "lk", "?lk", "et", "nt"};
static_assert(std::size(kReplaceWords) == 7);

// The interpreter whose service the "dlg", "path" and "rep" words reach.
TKelScript& Target(TKelScript& s) {
    return s.State.TargetParent != 0 ? s.OwnerScript() : s;
}

void ResultInt(const TKelCommandArgs& a, int32_t value) {
    a.ClearResults();
    a.SetInt(0, value);
}

// The switch words shared by "path", "slog" and "flog": "lk" sets the flag for 1 and clears it
// for anything else, "?lk" reads it.
bool LockWord(const TKelCommandArgs& a, int32_t code, uint8_t& flag) {
    if (code == Cmd("lk")) {
        flag = a.Int(1) == 1 ? 1 : 0;
        return true;
    }
    if (code == Cmd("?lk")) {
        ResultInt(a, flag != 0 ? 1 : 0);
        return true;
    }
    return false;
}

// The counter words shared by the two label logs; a host without the log answers -1 and changes
// nothing.
bool CounterWord(const TKelCommandArgs& a, int32_t code, TLabelLog* log) {
    switch (code) {
        case Cmd("g"): {
            const std::string key = a.Text(1);
            ResultInt(a, log ? log->GetCount(key) : -1);
            return true;
        }
        case Cmd("s"): {
            const std::string key = a.Text(1);
            const int32_t value = a.Int(2);
            if (log) log->SetCount(key, value, true);
            return true;
        }
        case Cmd("cc"):
            if (log) log->Clear();
            return true;
        default:
            return false;
    }
}

std::string FirstBytes(std::string text, size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

}  // namespace

namespace KelServiceCommands {

std::span<const char* const> ReplaceWords() {
    return kReplaceWords;
}

bool DoDialogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelTextDialog* dialog = Target(script).Links.TextDialog;
    switch (code) {
        case Cmd("e"): {
            const bool accepted = dialog && dialog->Execute();
            // Keys and clicks made in the form must not act on the script afterwards.
            if (script.Links.Input) script.Links.Input->Reset();
            a.ClearResults();
            a.SetInt(0, accepted ? 1 : 0);
            a.SetStr(0, accepted ? dialog->Text : std::string());
            script.DelayFrames();
            return true;
        }
        case Cmd("c"): {
            const std::string prompt = a.Text(1);
            if (dialog) dialog->SetPrompt(prompt);
            return true;
        }
        case Cmd("t"): {
            const std::string title = a.Text(1);
            if (dialog) dialog->SetTitle(title);
            return true;
        }
        case Cmd("l"): {
            const int32_t limit = a.Int(1);
            if (dialog) dialog->SetMaxLength(limit);
            return true;
        }
        case Cmd("p"): {
            const std::string text = a.Text(1);
            if (dialog) dialog->SetText(text);
            return true;
        }
        case Cmd("i"):
            if (dialog) dialog->Reset();
            return true;
        default:
            return false;
    }
}

bool DoPathCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelPath* path = Target(script).Path.get();
    if (!path) return false;
    switch (code) {
        case Cmd("i"):
            path->Clear();
            return true;
        case Cmd("a"):
            path->Add(a.Text(1));
            return true;
        case Cmd("d"):
            // Removed as written: a folder listed with its final backslash goes only when the
            // script writes that backslash too.
            path->Remove(a.Text(1));
            return true;
        default:
            return LockWord(a, code, path->Lock);
    }
}

bool DoReplaceCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelReader* reader = Target(script).Reader.get();
    if (!reader) return false;
    switch (code) {
        case Cmd("i"):
            reader->ClearReplace();
            return true;
        case Cmd("a"): {
            const std::string from = a.Braced(1), to = a.Braced(2);
            const int32_t kind = a.Int(3);
            reader->AddReplace(from, to, kind);
            return true;
        }
        case Cmd("d"):
            reader->DeleteReplace(a.Braced(1));
            return true;
        case Cmd("lk"):
            reader->SetReplaceEnabled(a.Int(1) == 0 ? 1 : 0);
            return true;
        case Cmd("?lk"):
            ResultInt(a, reader->PositionRecord().ReplaceEnabled == 0 ? 1 : 0);
            return true;
        case Cmd("et"):
            reader->SetTextLinePrefix(FirstBytes(a.Braced(1), kMaxLineText));
            return true;
        case Cmd("nt"):
            reader->SetEmptyLineText(FirstBytes(a.Braced(1), kMaxLineText));
            return true;
        default:
            return false;
    }
}

bool DoSkipLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    switch (code) {
        case Cmd("i"):
            // Logging resumes; what the log holds stays.
            script.ReadLogSuspended = 0;
            return true;
        case Cmd("k"):
            ResultInt(a, script.IsReadPosition() ? 1 : 0);
            return true;
        default:
            return LockWord(a, code, script.ReadLogSuspended) || CounterWord(a, code, script.Links.ReadTextLog);
    }
}

bool DoFileLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    switch (code) {
        case Cmd("i"):
            script.FileLogSuspended = 0;
            for (std::string& pattern : script.FileLogPatterns)
                pattern.clear();
            return true;
        case Cmd("a"): {
            // Patterns are matched against lower-cased names, so they are kept lower-cased. A full
            // table takes no more; the same fragment may stand twice.
            std::string fragment = FirstBytes(ClassLib::LowerAscii(a.Text(1)), kMaxPattern);
            for (std::string& pattern : script.FileLogPatterns) {
                if (!pattern.empty()) continue;
                pattern = std::move(fragment);
                break;
            }
            return true;
        }
        case Cmd("d"): {
            // Compared exactly as written: only the lower-cased, cut form of a fragment removes it.
            const std::string fragment = a.Text(1);
            for (std::string& pattern : script.FileLogPatterns)
                if (pattern == fragment) pattern.clear();
            return true;
        }
        default:
            return LockWord(a, code, script.FileLogSuspended) || CounterWord(a, code, script.Links.FileUseLog);
    }
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Dialog, DoDialogCommand);
    registry.RegisterHandler(TObjectKind::Path, DoPathCommand);
    registry.RegisterHandler(TObjectKind::Replace, DoReplaceCommand);
    registry.RegisterHandler(TObjectKind::SkipLog, DoSkipLogCommand);
    registry.RegisterHandler(TObjectKind::FileLog, DoFileLogCommand);
}

}  // namespace KelServiceCommands
