#include "objects/KelMessageCommands.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "foundation/ErrorLogLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/MessageLib.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr const char* kMessageWords[] = {
    "t",  "o",  "n",  "tp",  "oc", "orc", "opc", "opr", "orb", "lg", "ac",  "wf",  "wv",   "sk", "sv",  "agc", "w",
    "cc", "gt", "mc", "?mc", "ls", "ap",  "?ap", "as",  "?as", "ns", "?ns", "nsw", "?nsw", "ts", "?tp", "bg",
};
static_assert(std::size(kMessageWords) == 33);

// Every input bit: the advance of "mc" happens whatever the window's input mask.
constexpr uint32_t kAllInput = 0xFFFFFFFFu;

std::string Decimal(const char* word, int32_t value) {
    return std::string("[") + word + "," + std::to_string(value) + "]";
}

// A colour as upper-case hexadecimal digits without leading zeros: 255 is "$FF".
std::string Colour(const char* word, int32_t value) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%X", static_cast<uint32_t>(value));
    return std::string("[") + word + ",$" + digits + "]";
}

// "o": the value of an expression as text. A token the evaluator left unresolved is reported as
// written; an error value (which the evaluator has reported already) and an object's name append
// an empty text, which still opens the window and starts the typing.
void AppendValue(TKelCommandArgs& a, TMessageLib& window) {
    const TCalcValue value = a.Value(1);
    switch (value.Type) {
        case TCalcValueType::Integer:
            window.AddText(std::to_string(value.Value));
            return;
        case TCalcValueType::String:
            window.AddText(value.Text);
            return;
        case TCalcValueType::Token:
            a.Script().Log().ErrorLog("\\o：不正な値が入力されました："_sj + a.Raw(1));
            window.AddText("");
            return;
        default:
            window.AddText("");
            return;
    }
}

// "wf": the voice of the line, played at once unless the second argument says otherwise. A name
// that no search folder holds forgets the voice quietly; a file that is there but does not decode
// is reported, and the script goes on.
void Voice(TKelScript& script, TKelCommandArgs& a, TMessageLib& window) {
    const std::string file = a.File(1);
    const int32_t play = a.Empty(2) ? 1 : a.Int(2);
    if (!window.PlayVoice(file, play == 1) && !file.empty())
        script.Log().ErrorLog("\\wf：ボイスの再生に失敗："_sj + file);
    // Loading the voice takes its time: the next frame step must not count it.
    script.HoldFrameSteps();
}

TMessageLib* WindowOf(TKelObjectDataCustom& object) {
    auto* link = dynamic_cast<TKelScreenObjectLink<TMessageLib, IKelMessageObject>*>(object.ScreenObject());
    return link ? &link->Object() : nullptr;
}

}  // namespace

namespace KelMessageCommands {

std::span<const char* const> MessageWords() {
    return kMessageWords;
}

bool DoMessageCommand(TKelScript& script, int32_t code, TStringList& args, TMessageLib& window) {
    if (KelImageCommands::DoImageCommand(script, code, args, window)) return true;
    TKelCommandArgs a(script, args);
    switch (code) {
        // ---- text and inline commands
        case Cmd("t"):
            window.AddText(a.Literal(1));
            return true;
        case Cmd("o"):
            AppendValue(a, window);
            return true;
        case Cmd("n"):
            // The typesetter turns a pen past the page's end one line at a time: a step beyond the
            // largest page would keep a flush scrolling for thousands of lines and a reader
            // turning pages for ever.
            window.AddText(Decimal("n", std::min(a.Int(1), MessageLib::kMaxTextSide)));
            return true;
        case Cmd("tp"): {
            const auto [x, y] = a.Ints<2>();
            window.AddText("[p," + std::to_string(x) + "," + std::to_string(y) + "]");
            return true;
        }
        case Cmd("oc"):
            window.AddText(Colour("c", a.Int(1)));
            return true;
        case Cmd("orc"):
            window.AddText(Colour("rc", a.Int(1)));
            return true;
        case Cmd("opc"):
            window.AddText("[pc," + a.Text(1) + "]");
            return true;
        case Cmd("opr"):
            window.AddText("[pr," + a.Text(1) + "]");
            return true;
        case Cmd("orb"): {
            const std::string base = a.Text(1);
            window.AddText("[rb," + base + "," + a.Text(2) + "]");
            return true;
        }
        // ---- the back-log, the speaker and the voice
        case Cmd("lg"):
            window.AddToLog();
            return true;
        case Cmd("ac"):
            window.SetSpeakerName(a.Text(1));
            return true;
        case Cmd("wf"):
            Voice(script, a, window);
            return true;
        case Cmd("wv"):
            window.SetVoiceVolume(a.Int(1));
            return true;
        case Cmd("sk"):
            // A start before the voice's beginning is its beginning.
            window.SetVoiceStart(std::max(a.Int(1), 0));
            return true;
        case Cmd("sv"):
            window.SetVoiceSkipLevel(a.Int(1));
            return true;
        case Cmd("agc"):
            window.SetVoiceAutoGain(a.Int(1));
            return true;
        // ---- typing
        case Cmd("w"):
            // A negative wait is no wait.
            window.Wait(std::max(a.Int(1), 0));
            return true;
        case Cmd("cc"):
            window.ClearText();
            return true;
        case Cmd("gt"):
            a.ClearResults();
            a.SetInt(0, window.HasPendingText() ? 1 : 0);
            return true;
        case Cmd("mc"):
            window.Advance(kAllInput);
            return true;
        case Cmd("?mc"):
            a.ClearResults();
            a.SetInt(0, static_cast<int32_t>(window.GetState()));
            return true;
        // ---- options and layout
        case Cmd("ls"):
            window.SetVertical((a.Int(1) & 0xFF) != 0);
            return true;
        case Cmd("ap"):
            window.SetAutoWait(a.Int(1) == 1);
            return true;
        case Cmd("?ap"):
            a.ClearResults();
            a.SetInt(0, window.AutoWait);
            return true;
        case Cmd("as"):
            window.SetAutoScroll(a.Int(1) == 1);
            return true;
        case Cmd("?as"):
            a.ClearResults();
            a.SetInt(0, window.AutoScroll);
            return true;
        case Cmd("ns"):
            window.SetMargin(a.Int(1));
            return true;
        case Cmd("?ns"):
            a.ClearResults();
            a.SetInt(0, window.Margin);
            return true;
        case Cmd("nsw"):
            window.SetHangingSet(a.Text(1));
            return true;
        case Cmd("?nsw"):
            a.ClearResults();
            a.SetStr(0, window.HangingSet);
            return true;
        case Cmd("ts"): {
            const auto [left, top, right, bottom] = a.Ints<4>();
            window.SetTextRect(left, top, right, bottom);
            return true;
        }
        case Cmd("?tp"):
            a.ClearResults();
            a.SetInt(0, window.PenX);
            a.SetInt(1, window.PenY);
            return true;
        case Cmd("bg"):
            // Older scripts give their windows a background this way; the frame's picture is the
            // background here, so the word is taken and changes nothing.
            return true;
        default:
            return false;
    }
}

bool ForwardMsgCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    if (TMessageLib* window = WindowOf(object)) return DoMessageCommand(script, code, args, *window);
    if (code == Cmd("gt")) script.ClearResults();
    return KelImageCommands::AcceptWithoutTarget(script, code, KelImageCommands::ImageWords()) ||
           KelImageCommands::AcceptWithoutTarget(script, code, kMessageWords);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Message, ForwardMsgCommand);
}

}  // namespace KelMessageCommands
