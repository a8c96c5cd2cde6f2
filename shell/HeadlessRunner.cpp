#include "shell/HeadlessRunner.h"

#include <charconv>
#include <filesystem>
#include <sstream>
#include <utility>

#include "foundation/ErrorLogLib.h"
#include "foundation/SoundComponent.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/KelDirectShow.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/HostFiles.h"
#include "platform/NativeLibrary.h"
#include "script/KelScriptLib.h"
#include "shell/KelMovieLink.h"

namespace {

// Engine text as the report prints it: UTF-8, control bytes escaped.
std::string Printable(const std::string& sjis) {
    return Encoding::PrintableUtf8(Encoding::SjisToUtf8(sjis));
}

// The elements of a variable, at most 16 of them.
std::string Elements(IScriptVariables& vars, TVariableScope scope, const std::string& name) {
    std::string text;
    for (int32_t k = 0; k < 16; ++k) {
        TVariableIndexes idx;
        idx.I[0] = k;
        TCalcValue v;
        if (!vars.ReadElement(scope, name, idx, 0, v, true)) break;
        if (k > 0) text += ", ";
        if (v.Type == TCalcValueType::Integer)
            text += std::to_string(v.Value);
        else
            text.append(1, '"').append(Printable(v.Text)).append(1, '"');
    }
    return text;
}

}  // namespace

// ---- the host ----

void THeadlessHost::SetCaption(const std::string& caption) {
    Caption = caption;
    ++CaptionUpdates;
    if (Form) Form->SetCaption(caption);
}

void THeadlessHost::CanvasText(const TCanvasText& text) {
    const int64_t frame = FrameCounter ? *FrameCounter : 0;
    if (frame != TextsFrame) Texts.clear();
    TextsFrame = frame;
    Texts.push_back(text);
    if (Form) Form->CanvasText(text);
}

void THeadlessHost::Terminate() {
    Terminated = true;
    if (Form) Form->Terminate();
}

// ---- the input script ----

namespace HeadlessRunner {

const char* InputFormatHelp() {
    return "Input script: one event a line, \"FRAME ACTION ARGUMENTS\"; FRAME counts the frames run\n"
           "before the event (0: before the first one). Blank lines and lines starting with \"#\"\n"
           "are ignored. Numbers are decimal or 0x hexadecimal, with an optional minus sign; a\n"
           "number outside its range is an error (frames 0..9223372036854775806, coordinates\n"
           "and wheel turns 32-bit signed).\n"
           "  FRAME down VK      a virtual key goes down (1 left, 2 right, 4 middle button,\n"
           "                     13 Enter, 27 Escape, 32 Space, 65..90 letters, ...)\n"
           "  FRAME up VK        the key goes up again\n"
           "  FRAME tap VK       down before frame FRAME, up before the frame after it\n"
           "  FRAME move X Y     the pointer moves to a game pixel\n"
           "  FRAME click X Y    move, then tap the left button\n"
           "  FRAME wheel DELTA  the wheel turns (+120 a notch away from the user)\n"
           "  FRAME active 0|1   the window loses or gets the focus\n"
           "  FRAME dialog N     queues the answer of a dialog: its button N (0 the first); a\n"
           "                     dialog with no answer queued takes its first button\n"
           "  FRAME pick LINE    queues the answer of the quick-load window: its line LINE (0\n"
           "                     the first, the newest save), then OK; a window with no answer\n"
           "                     queued is cancelled\n"
           "  FRAME page N       queues an action of the player on the next settings form (the\n"
           "                     configuration, the quick-load window): show its page N (0 the\n"
           "                     first)\n"
           "  FRAME set NAME V   queues: set its control NAME (a bar, list, box) to the value V\n"
           "  FRAME press NAME   queues: press its button NAME; once the queued actions are\n"
           "                     taken, a form that is still open takes its default button\n"
           "  FRAME save NAME    saves the game into the file NAME of the game's SaveData\\\n"
           "                     folder, between two frames, as the save screen does\n"
           "  FRAME load NAME    loads the game from that file, between two frames, as the\n"
           "                     load screen does; the frames and the sound go on from there\n";
}

bool ParseNumber(const std::string& text, int64_t& out) {
    const bool negative = !text.empty() && text[0] == '-';
    std::string_view digits = std::string_view(text).substr(negative ? 1 : 0);
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits.remove_prefix(2);
        base = 16;
    }
    if (digits.empty() || digits[0] == '-' || digits[0] == '+') return false;
    uint64_t magnitude = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (ec != std::errc() || end != digits.data() + digits.size()) return false;
    const uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
    if (magnitude > limit) return false;
    out = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

bool ParseInputScript(const std::string& text, std::vector<THeadlessEvent>& events, std::string& error) {
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string s; words >> s;)
            w.push_back(s);
        if (w.empty() || w[0][0] == '#') continue;
        auto fail = [&](const std::string& why) {
            error = "line " + std::to_string(lineNo) + ": " + why + ": " + Encoding::PrintableUtf8(line);
            return false;
        };
        int64_t frame = 0;
        if (!ParseNumber(w[0], frame) || frame < 0) return fail("no frame number");
        if (frame == INT64_MAX) return fail("frame number out of range");
        if (w.size() < 2) return fail("no action");
        const std::string& a = w[1];
        // A tap ends in the frame after its own, which must be a frame number as well.
        if ((a == "tap" || a == "click") && frame == INT64_MAX - 1) return fail("frame number out of range");
        const size_t want = (a == "move" || a == "click" || a == "set") ? 4 : 3;
        if (a != "down" && a != "up" && a != "tap" && a != "move" && a != "click" && a != "wheel" && a != "active" &&
            a != "dialog" && a != "pick" && a != "page" && a != "set" && a != "press" && a != "save" && a != "load")
            return fail("unknown action");
        if (w.size() != want) return fail("wrong number of arguments");
        if (a == "save" || a == "load" || a == "press") {
            events.push_back({frame, a, 0, 0, Encoding::Utf8ToSjis(w[2])});
            continue;
        }
        if (a == "set") {
            int64_t value = 0;
            if (!ParseNumber(w[3], value)) return fail("not a number");
            if (value < INT32_MIN || value > INT32_MAX) return fail("number out of range");
            events.push_back({frame, a, static_cast<int32_t>(value), 0, w[2]});
            continue;
        }
        int64_t x = 0, y = 0;
        if (!ParseNumber(w[2], x) || (want == 4 && !ParseNumber(w[3], y))) return fail("not a number");
        if ((a == "down" || a == "up" || a == "tap") && (x < 0 || x > 255)) return fail("no virtual key");
        if (a == "active" && x != 0 && x != 1) return fail("active takes 0 or 1");
        if (a == "dialog" && x < 0) return fail("no button number");
        if (a == "pick" && x < 0) return fail("no line number");
        if (a == "page" && x < 0) return fail("no page number");
        if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return fail("number out of range");
        const auto ax = static_cast<int32_t>(x), ay = static_cast<int32_t>(y);
        if (a == "tap" || a == "click") {
            if (a == "click") events.push_back({frame, "move", ax, ay, {}});
            const int32_t vk = a == "click" ? 1 : ax;
            events.push_back({frame, "down", vk, 0, {}});
            events.push_back({frame + 1, "up", vk, 0, {}});
        } else {
            events.push_back({frame, a, ax, ay, {}});
        }
    }
    return true;
}

bool LoadInputScript(const std::string& path, std::vector<THeadlessEvent>& events, std::string& error) {
    std::string text;
    if (!HostFiles::Read(path, text)) {
        error = "cannot read " + path;
        return false;
    }
    if (ParseInputScript(text, events, error)) return true;
    error = path + ": " + error;
    return false;
}

}  // namespace HeadlessRunner

// ---- the game ----

THeadlessGame::THeadlessGame() = default;

THeadlessGame::~THeadlessGame() {
    Close();
}

bool THeadlessGame::Open(const std::string& hostFolder, std::string& error) {
    Close();
    Files.SetFolder(hostFolder);

    Form = std::make_unique<TForm1>(*Window, Devices);
    Form->WriteSettings = false;
    // A movie's sound waits for its decoder: the run's time passes only as fast as it mixes.
    Form->MovieWaitsForDecoder = true;
    Form->EngineHost = &Host;
    // A game folder made for a check may lack the system-information library; the one built
    // with the runner (build/SystemInfo.so beside build/tools/ and build/tests/) stands in.
    const std::string own = FileSystem::ProgramFolder() + "/../SystemInfo.so";
    std::error_code ec;
    if (NativeLibrary::Find("DLL\\SystemInfo.dll", hostFolder).empty() && std::filesystem::is_regular_file(own, ec))
        Form->SystemInfoLibrary = own;
    Host.Form = Form.get();
    RunEvents.Form = Form.get();
    Window->SetEvents(&RunEvents);
    Window->Show();
    Form->StartUp();
    if (Form->State != 1) {
        error = Answers.Shown.empty() ? "the start ended" : Encoding::SjisToUtf8(Answers.Shown.back().Text);
        if (!Form->StartFailure.empty())
            error += " (" + Encoding::SjisToUtf8(Form->StartFailure) + " in " + hostFolder + ")";
        return false;
    }
    // The run's time begins with its first frame: the start's pause is not counted, so the
    // sound device and the frames start together from 0 ms.
    FakeClock.Now = 0;
    Engine = Form->Engine.get();
    Sound = Form->DDSD71.get();
    if (Host.CaptionUpdates == 0) Host.Caption = Form->Context.Config.Config.GameTitle;
    return true;
}

void THeadlessGame::Close() {
    Engine = nullptr;
    Sound = nullptr;
    Host.Form = nullptr;
    RunEvents.Form = nullptr;
    Form.reset();
    FramesRun = 0;
    Exited = false;
    AppliedUpTo = 0;
}

void THeadlessGame::Run(int64_t frames) {
    if (!Form) return;
    const int64_t target = FramesRun + frames;
    while (FramesRun < target && Form->State == 1 && !Form->Ended()) {
        ApplyEvents();
        Window->PumpEvents();
        const int64_t last = Engine->LastFrameTime;
        const uint32_t before = FakeClock.Now;
        Form->AppIdle();
        if (Engine->LastFrameTime != last)
            ++FramesRun;
        else if (FakeClock.Now == before)
            FakeClock.Now += 1;
        MixSound();
    }
    Exited = Form->Closed;
}

bool THeadlessGame::CaptureSound(const std::string& hostPath, std::string& error) {
    Capturing = WaveFile.Open(hostPath, error);
    return Capturing;
}

bool THeadlessGame::FinishSound(std::string& error) {
    return std::exchange(Capturing, false) ? WaveFile.Close(error) : true;
}

std::string THeadlessGame::Report(const std::vector<std::string>& extraVariables) {
    std::ostringstream out;
    out << "frames: " << FramesRun << ", time: " << FakeClock.Now << " ms, mode: " << int(Engine->Mode)
        << ", error state: " << int(Engine->ErrorState) << (Exited ? ", exit requested" : "")
        << (Form && Form->Terminated ? ", ended by a failure" : "") << "\n";
    out << "caption: " << Printable(Host.Caption) << "\n";
    for (const auto& d : Answers.Shown)
        out << "dialog: " << Printable(d.Text) << " -> button " << d.Pressed << "\n";
    for (const auto& f : Forms.Shown)
        out << "form: " << Printable(f.Caption) << " -> " << f.ClosedBy << "\n";
    for (const auto& f : ScriptForms.Shown)
        out << "form: " << f.Kind << " " << Printable(f.Caption) << " -> " << f.Result << "\n";
    if (Form)
        for (const auto& e : Form->DamagedEntries)
            out << "damaged pack entry: " << Printable(e) << "\n";
    const auto& errors = Form->Context.Log.ErrorList;
    out << "error log: " << (errors.Count() == 0 ? "empty" : std::to_string(errors.Count()) + " lines") << "\n";
    for (int i = 0; i < errors.Count(); ++i)
        out << "  " << Printable(errors[i]) << "\n";
    TKelScript& game = *Engine->GameScript;
    IScriptVariables& vars = *game.Variables;
    vars.SetErrorReport(false);
    const bool flag = Form->Context.Log.ErrorFlag;
    for (auto [scope, title] :
         {std::pair{TVariableScope::System, "system variables:"}, std::pair{TVariableScope::Game, "game variables:"}}) {
        std::vector<std::string> names = vars.VariableNames(scope);
        for (const auto& n : extraVariables)
            if (vars.FindVariable(Encoding::Utf8ToSjis(n), 0) == scope) names.push_back(Encoding::Utf8ToSjis(n));
        out << title << (names.empty() ? " none listed" : "") << "\n";
        for (const auto& n : names)
            out << "  " << Printable(n) << " = " << Elements(vars, scope, n) << "\n";
    }
    vars.SetErrorReport(true);
    Form->Context.Log.ErrorFlag = flag;
    return out.str();
}

TKelDirectShowPlayer* THeadlessGame::Movie() {
    return Engine && Engine->Movie ? Engine->Movie->Object() : nullptr;
}

// The sound device plays as far as the fake clock has come, exactly as much as a window would
// have played by then.
void THeadlessGame::MixSound() {
    const uint64_t due = uint64_t{FakeClock.Now} * AudioMixer::kRate / 1000;
    if (due > Audio.FramesRendered()) {
        Mixed.resize((due - Audio.FramesRendered()) * 2);
        Audio.Render(Mixed.data(), static_cast<uint32_t>(Mixed.size() / 2));
        if (Capturing) WaveFile.Append(Mixed.data(), static_cast<uint32_t>(Mixed.size() / 2));
    }
    if (Sound) Sound->DeliverThreadFailures();
}

void THeadlessGame::ApplyEvents() {
    for (const auto& e : Events) {
        if (e.Frame != FramesRun || AppliedUpTo > FramesRun) continue;
        if (e.Action == "down")
            Source.Press(static_cast<uint8_t>(e.A));
        else if (e.Action == "up")
            Source.Release(static_cast<uint8_t>(e.A));
        else if (e.Action == "move")
            Source.PointerAt = {e.A, e.B};
        else if (e.Action == "wheel")
            Source.Wheel(e.A);
        else if (e.Action == "active")
            Source.Active = e.A != 0;
        else if (e.Action == "dialog")
            Answers.Click(e.A);
        else if (e.Action == "pick") {
            Forms.Set("FileListBox", e.A);
            Forms.Click("OkButton");
        } else if (e.Action == "page")
            Forms.ShowPage(e.A);
        else if (e.Action == "set")
            Forms.Set(e.Name, e.A);
        else if (e.Action == "press")
            Forms.Click(e.Name);
        else if (e.Action == "save" && Engine->GameState)
            Engine->GameState->SaveGame(*Engine->GameScript, e.Name, true);
        else if (e.Action == "load" && Engine->GameState)
            Engine->GameState->LoadGame(*Engine->GameScript, e.Name);
    }
    AppliedUpTo = FramesRun + 1;
}
