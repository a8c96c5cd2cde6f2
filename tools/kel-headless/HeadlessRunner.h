// Runs a game folder without a window: the engine core on a fake clock, the headless input source
// fed from a small script of input events, dialogs answered from a queue. The program kel-headless
// and the engine's tests share it.
#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "foundation/ddsd7.h"
#include "foundation/uDialogMisc.h"
#include "media/ARGB8888Font.h"
#include "media/KelDirectShow.h"
#include "media/OggWuvorbisLib.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileSystem.h"
#include "platform/Movie.h"
#include "platform/PlatformHost.h"
#include "platform/SystemFonts.h"
#include "platform/headless/HeadlessDialogs.h"
#include "platform/headless/HeadlessInput.h"
#include "platform/headless/ManualAudio.h"
#include "script/KelScriptLib.h"
#include "script/uBregExpLib.h"
#include "script/uScriptReplaceDLL.h"
#include "shell/KelMovieLink.h"
#include "shell/KelSoundLink.h"
#include "shell/KelSystemLib.h"
#include "tools/kel-headless/HeadlessScreen.h"

// The main window of a headless run: it is always the active window unless the input script says
// otherwise, and it records what the engine core shows on it.
class THeadlessHost final : public IKelHost {
public:
    bool IsActiveWindow() override { return Source.Active; }
    void SetCaption(const std::string& caption) override {
        Caption = caption;
        ++CaptionUpdates;
    }
    void CanvasText(const TCanvasText& text) override { Texts.push_back(text); }
    void Minimize() override { ++Minimized; }
    void Terminate() override { Terminated = true; }
    IInputSource& InputSource() override { return Source; }
    const IDialogOwner* DialogOwner() override { return nullptr; }

    THeadlessInputSource Source;
    std::string Caption;  // Shift-JIS
    int CaptionUpdates = 0;
    std::vector<TCanvasText> Texts;
    int Minimized = 0;
    bool Terminated = false;
};

// One line of an input script: "FRAME ACTION [ARGS]".
struct THeadlessEvent {
    int64_t Frame = 0;
    std::string Action;  // down, up, move, wheel, active, dialog
    int32_t A = 0, B = 0;
};

namespace HeadlessRunner {

inline const char* InputFormatHelp() {
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
           "                     dialog with no answer queued takes its first button\n";
}

// A decimal or "0x" hexadecimal number with an optional "-", nothing else around it; false for
// anything else and for a number outside the 64-bit range.
inline bool ParseNumber(const std::string& text, int64_t& out) {
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

// False, with the line and what is wrong with it, for a line that is no event.
inline bool ParseInputScript(const std::string& text, std::vector<THeadlessEvent>& events, std::string& error) {
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
        const size_t want = (a == "move" || a == "click") ? 4 : 3;
        if (a != "down" && a != "up" && a != "tap" && a != "move" && a != "click" && a != "wheel" && a != "active" &&
            a != "dialog")
            return fail("unknown action");
        if (w.size() != want) return fail("wrong number of arguments");
        int64_t x = 0, y = 0;
        if (!ParseNumber(w[2], x) || (want == 4 && !ParseNumber(w[3], y))) return fail("not a number");
        if ((a == "down" || a == "up" || a == "tap") && (x < 0 || x > 255)) return fail("no virtual key");
        if (a == "active" && x != 0 && x != 1) return fail("active takes 0 or 1");
        if (a == "dialog" && x < 0) return fail("no button number");
        if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return fail("number out of range");
        const auto ax = static_cast<int32_t>(x), ay = static_cast<int32_t>(y);
        if (a == "tap" || a == "click") {
            if (a == "click") events.push_back({frame, "move", ax, ay});
            const int32_t vk = a == "click" ? 1 : ax;
            events.push_back({frame, "down", vk, 0});
            events.push_back({frame + 1, "up", vk, 0});
        } else {
            events.push_back({frame, a, ax, ay});
        }
    }
    return true;
}

}  // namespace HeadlessRunner

// A game folder run headless. The folder holds "GameData\data0.pack" and the rest of a game as it
// would stand beside the program.
class THeadlessGame {
public:
    THeadlessGame() {
        Clock::SetCurrent(&FakeClock);
        Dialogs::SetCurrent(&Answers);
        ARGB8888Font::Install(Devices.Fonts);
    }
    ~THeadlessGame() {
        Engine.reset();  // the sound library goes with it, before its component
        Sound.reset();
        OggWuvorbisLib::FreeVorbisFileDLL();
        PackLib::OnPackError = nullptr;
        uScriptReplaceDLL::ScriptReplaceFinalize();
        uScriptReplaceDLL::SetLibraryFolder("");
        uBregExpLib::BRegExpFinalize();
        PackLib::ClosePacks();
        ARGB8888Font::Install(nullptr);
        Dialogs::SetCurrent(nullptr);
        Clock::SetCurrent(nullptr);
    }
    THeadlessGame(const THeadlessGame&) = delete;
    THeadlessGame& operator=(const THeadlessGame&) = delete;

    // The start-up of the main window as far as a headless run has it: packs, message table, game
    // settings, the user's settings file (read, never written), the pack checksum switch, the
    // script libraries, then the engine core's set-up and start. False with a message when the
    // game cannot start.
    bool Open(const std::string& hostFolder, std::string& error) {
        FileSystem::SetRoot(hostFolder);
        ErrorLogLib::SetLogFolder(hostFolder);
        ErrorLogLib::ClearErrorLog();
        ErrorLogLib::ErrorFlag = false;
        SystemConfigLib::InitDefaults();
        SystemConfigLib::LoadDiskMessageTable();
        // The program refuses to start with this text; the runner adds which pack failed and why.
        std::string packFailure;
        if (!PackLib::OpenPacks("GameData\\", &packFailure)) {
            error = "起動に必要なデータがみつからないため起動できません。 (" + Encoding::SjisToUtf8(packFailure) +
                    " in " + hostFolder + ")";
            return false;
        }
        SystemConfigLib::LoadPackMessageTable();
        if (!SystemConfigLib::LoadSystemSettings()) {
            error = "System\\etc\\Game.dat is missing from the packs";
            return false;
        }
        SystemConfigLib::LoadUserDefaults();
        SystemConfigLib::LoadUserSettings();
        // As the program does: entries are verified by the "CRCCheck" setting (1 by default), and a
        // damaged one shows its dialog and ends the game.
        PackLib::SetPackVerify(SystemConfigLib::Config.CRCCheck == 1);
        PackLib::OnPackError = [this](const std::string& entry) {
            if (std::find(DamagedEntries.begin(), DamagedEntries.end(), entry) == DamagedEntries.end())
                DamagedEntries.push_back(entry);
            if (Host.Terminated) return;  // the game is ending already
            const TStringList& m = SystemConfigLib::MessageTable;
            uDialogMisc::ShowDialog1("", m.Values("CRCCHECKERROR"), m.Values("OK"), nullptr);
            Host.Terminate();
        };
        // The regular-expression library is required, the line-replace library optional.
        if (!uBregExpLib::BRegExpInitialize("DLL\\BREGEXP.dll")) {
            error = "the regular-expression library could not be loaded";
            return false;
        }
        uScriptReplaceDLL::SetLibraryFolder(hostFolder);  // the game folder stands beside the program
        uScriptReplaceDLL::ScriptReplaceInitialize("DLL\\SCRREP.dll");
        // The sound component as the main window sets it up, on the manual device.
        Sound = std::make_unique<TDDSD7>(Devices.Audio);
        Sound->SetChannelCount(16);
        ddsd7::DuplicateStaticBuffers = false;
        Sound->Initialize();
        OggWuvorbisLib::LoadVorbisFileDLL("DLL\\wuvorbis.dll");
        Host.Source.Game = {SystemConfigLib::Config.ScreenWidth, SystemConfigLib::Config.ScreenHeight};
        Host.Caption = SystemConfigLib::Config.GameTitle;
        if (!Screen.Start(error)) return false;
        Engine = std::make_unique<TKelSystem>();
        // The movie object as the main window makes it. Its sound waits for the decoder, since the
        // run's time passes only as fast as the run mixes.
        Engine->Movie = std::make_unique<TKelMovieLink>(std::make_unique<TKelDirectShowPlayer>(
            TMovieDevices{.Backend = Devices.Movies, .Sound = Sound.get(), .WaitForDecoder = true}));
        Engine->Sound = std::make_unique<TKelSoundLink>(*Sound, SystemConfigLib::Config.StreamLength);
        if (!Engine->Setup(Host, &Screen.Seam)) {
            error = "the engine could not be set up";
            return false;
        }
        Screen.Starter.ChangeDisplayMode();  // the configuration's display mode, as applying it does
        Engine->Start();
        return true;
    }

    // Calls the frame as the main window's idle handler would until the given number of frames
    // has come due, the engine asked to exit or the program was ended. Idle calls that neither run
    // a frame nor sleep let one millisecond pass.
    void Run(int64_t frames) {
        const int64_t target = FramesRun + frames;
        while (FramesRun < target && !Exited && !Host.Terminated) {
            ApplyEvents();
            const int64_t last = Engine->LastFrameTime;
            const uint32_t before = FakeClock.Now;
            const uint8_t result = Engine->Frame();
            if (Engine->LastFrameTime != last)
                ++FramesRun;
            else if (FakeClock.Now == before)
                FakeClock.Now += 1;
            if (result == KelSystemLib::kmExit) Exited = true;
            PresentMovie();
            MixSound();
        }
    }

    // Writes what the run mixes from now on to a RIFF wave file; FinishSound completes it.
    bool CaptureSound(const std::string& hostPath, std::string& error) {
        Capturing = WaveFile.Open(hostPath, error);
        return Capturing;
    }
    bool FinishSound(std::string& error) { return std::exchange(Capturing, false) ? WaveFile.Close(error) : true; }

    // What the game did: frames, mode, caption, dialogs, the error log, and the variables.
    std::string Report(const std::vector<std::string>& extraVariables = {}) {
        std::ostringstream out;
        out << "frames: " << FramesRun << ", time: " << FakeClock.Now << " ms, mode: " << int(Engine->Mode)
            << ", error state: " << int(Engine->ErrorState) << (Exited ? ", exit requested" : "")
            << (Host.Terminated ? ", ended by the engine" : "") << "\n";
        out << "caption: " << Printable(Host.Caption) << "\n";
        for (const auto& d : Answers.Shown)
            out << "dialog: " << Printable(d.Text) << " -> button " << d.Pressed << "\n";
        for (const auto& e : DamagedEntries)
            out << "damaged pack entry: " << Printable(e) << "\n";
        const auto& errors = ErrorLogLib::ErrorList;
        out << "error log: " << (errors.Count() == 0 ? "empty" : std::to_string(errors.Count()) + " lines") << "\n";
        for (int i = 0; i < errors.Count(); ++i)
            out << "  " << Printable(errors[i]) << "\n";
        TKelScript& game = *Engine->GameScript;
        IScriptVariables& vars = *game.Variables;
        vars.SetErrorReport(false);
        const bool flag = ErrorLogLib::ErrorFlag;
        for (auto [scope, title] : {std::pair{TVariableScope::System, "system variables:"},
                                    std::pair{TVariableScope::Game, "game variables:"}}) {
            std::vector<std::string> names = vars.VariableNames(scope);
            for (const auto& n : extraVariables)
                if (vars.FindVariable(Encoding::Utf8ToSjis(n), 0) == scope) names.push_back(Encoding::Utf8ToSjis(n));
            out << title << (names.empty() ? " none listed" : "") << "\n";
            for (const auto& n : names)
                out << "  " << Printable(n) << " = " << Elements(vars, scope, n) << "\n";
        }
        vars.SetErrorReport(true);
        ErrorLogLib::ErrorFlag = flag;
        return out.str();
    }

    TFakeClock FakeClock;
    // The installed faces are the real ones: FreeType needs no window.
    TFreeTypeFonts Fonts;
    TManualAudioDevice Audio;
    TFfmpegMovies Movies;
    TPlatformHost Devices{.Audio = &Audio, .Fonts = &Fonts, .Movies = &Movies};
    std::unique_ptr<TDDSD7> Sound;
    THeadlessHost Host;
    THeadlessScreen Screen;
    THeadlessDialogs Answers;
    std::unique_ptr<TKelSystem> Engine;
    std::vector<THeadlessEvent> Events;
    int64_t FramesRun = 0;
    bool Exited = false;
    std::vector<std::string> DamagedEntries;  // pack entries that failed their checksum

    // The movie object the engine core owns; null before Open.
    TKelDirectShowPlayer* Movie() { return Engine && Engine->Movie ? Engine->Movie->Object() : nullptr; }

private:
    // The video over the frame, as the main window draws it after each idle call's frame.
    void PresentMovie() {
        TKelDirectShowPlayer* movie = Movie();
        if (movie && movie->PresentOver(Screen.DDDD) == TMoviePresent::Hidden) Engine->Repaint();
    }

    // The sound device plays as far as the fake clock has come, exactly as much as a window would
    // have played by then.
    void MixSound() {
        const uint64_t due = uint64_t{FakeClock.Now} * AudioMixer::kRate / 1000;
        if (due > Audio.FramesRendered()) {
            Mixed.resize((due - Audio.FramesRendered()) * 2);
            Audio.Render(Mixed.data(), static_cast<uint32_t>(Mixed.size() / 2));
            if (Capturing) WaveFile.Append(Mixed.data(), static_cast<uint32_t>(Mixed.size() / 2));
        }
        TDDSD7::DeliverThreadFailures();
    }

    void ApplyEvents() {
        for (const auto& e : Events) {
            if (e.Frame != FramesRun || AppliedUpTo > FramesRun) continue;
            if (e.Action == "down")
                Host.Source.Press(static_cast<uint8_t>(e.A));
            else if (e.Action == "up")
                Host.Source.Release(static_cast<uint8_t>(e.A));
            else if (e.Action == "move")
                Host.Source.PointerAt = {e.A, e.B};
            else if (e.Action == "wheel")
                Host.Source.Wheel(e.A);
            else if (e.Action == "active")
                Host.Source.Active = e.A != 0;
            else if (e.Action == "dialog")
                Answers.Click(e.A);
        }
        AppliedUpTo = FramesRun + 1;
    }

    // Engine text as the report prints it: UTF-8, control bytes escaped.
    static std::string Printable(const std::string& sjis) {
        return Encoding::PrintableUtf8(Encoding::SjisToUtf8(sjis));
    }

    // The elements of a variable, at most 16 of them.
    static std::string Elements(IScriptVariables& vars, TVariableScope scope, const std::string& name) {
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

    int64_t AppliedUpTo = 0;
    TWaveFileWriter WaveFile;
    bool Capturing = false;
    std::vector<int16_t> Mixed;
};
