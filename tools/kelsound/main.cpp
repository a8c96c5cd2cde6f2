// kelsound: synthesises tones into the sound files the engine plays.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/HostFiles.h"
#include "tools/kelsound/SoundWriter.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelsound: synthesises tones into Ogg Vorbis files (with loop tags) and RIFF waves.\n"
    "\n"
    "Usage:\n"
    "  kelsound ogg [options] <file>\n"
    "  kelsound wav [options] <file>\n"
    "      A sine tone.\n"
    "      --rate HZ          sample rate (default 44100); the engine plays 44100 and 22050\n"
    "      --channels N       1 or more (default 2); the engine plays 1 and 2\n"
    "      --seconds S        length (default 1)\n"
    "      --freq HZ          frequency (default 440)\n"
    "      --amplitude A      0..1 (default 0.5)\n"
    "      --quality Q        Ogg only: encoder quality -0.1..1 (default 0)\n"
    "      --loop LINE        Ogg only: a loop tag line such as \"*looptime,0,1.5,3,-1\" (slot,\n"
    "                         start, end, count) or \"*loopsample,0,66150,132300,2\"; may be\n"
    "                         given more than once; the lines go into the \"COMMENT\" field\n"
    "      --comment TEXT     Ogg only: another comment \"NAME=value\"; may be repeated\n"
    "  kelsound demo <folder>\n"
    "      Writes the demo game's sounds below <folder>: bgm/demo_theme.ogg (music that loops\n"
    "      from its second bar), voice/demo_voice.ogg (a short spoken-like clip) and\n"
    "      se/demo_chime.ogg and se/demo_chime.wav (an effect).\n"
    "  kelsound --help\n"
    "\n"
    "Exit codes: 0 success, 1 a file could not be encoded or written, 2 wrong usage.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "kelsound: %s\n(see kelsound --help)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelsound: %s\n", message.c_str());
    return 1;
}

bool WriteHostFile(const fs::path& path, const std::string& bytes) {
    std::error_code ec;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
    return HostFiles::Write(path, bytes);
}

bool ParseNumber(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == '\0' && std::isfinite(out);
}

// Notes with a soft attack and decay, summed with two overtones.
void AddNote(SoundWriter::TSamples& s, int32_t rate, int32_t channels, double at, double length, double freq,
             double amplitude) {
    const int64_t first = static_cast<int64_t>(at * rate);
    const int64_t count = static_cast<int64_t>(length * rate);
    const int64_t frames = static_cast<int64_t>(s.size()) / channels;
    for (int64_t i = 0; i < count && first + i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double env = std::min(1.0, t * 200) * std::exp(-3.0 * t / length);
        const double w = 2 * 3.14159265358979323846 * freq * t;
        const double v = amplitude * env * (std::sin(w) + 0.3 * std::sin(2 * w) + 0.1 * std::sin(3 * w)) / 1.4;
        for (int32_t c = 0; c < channels; ++c) {
            int16_t& x = s[static_cast<size_t>((first + i) * channels + c)];
            x = SoundWriter::ToSample(x / 32767.0 + v);
        }
    }
}

int Demo(const fs::path& folder) {
    using SoundWriter::TSamples;
    const int32_t rate = 44100;
    // Music: four bars of two seconds; the loop plays bars 2 to 4 again and again.
    {
        TSamples s(static_cast<size_t>(8 * rate * 2), 0);
        const double melody[] = {523.25, 659.25, 783.99, 659.25, 587.33, 698.46, 880.00, 698.46,
                                 523.25, 659.25, 783.99, 1046.5, 493.88, 587.33, 783.99, 587.33};
        for (int i = 0; i < 16; ++i) {
            AddNote(s, rate, 2, i * 0.5, 0.5, melody[i], 0.25);
            if (i % 4 == 0) AddNote(s, rate, 2, i * 0.5, 2.0, melody[i] / 4, 0.2);
        }
        const std::string ogg = SoundWriter::EncodeOgg(s, rate, 2, {SoundWriter::LoopComment({"*looptime,0,2,8,-1"})});
        if (ogg.empty() || !WriteHostFile(folder / "bgm" / "demo_theme.ogg", ogg))
            return Fail("cannot write the music");
    }
    // Voice: a mono clip at 22050 Hz whose pitch glides like speech.
    {
        const int32_t vr = 22050;
        TSamples s(static_cast<size_t>(vr * 1.2), 0);
        for (size_t i = 0; i < s.size(); ++i) {
            const double t = static_cast<double>(i) / vr;
            const double f = 180 + 40 * std::sin(2 * 3.14159265358979323846 * 1.5 * t);
            const double env = std::sin(3.14159265358979323846 * t / 1.2);
            double v = 0;
            for (int h = 1; h <= 6; ++h)
                v += std::sin(2 * 3.14159265358979323846 * f * h * t) / h;
            s[i] = SoundWriter::ToSample(0.3 * env * v);
        }
        const std::string ogg = SoundWriter::EncodeOgg(s, vr, 1, {});
        if (ogg.empty() || !WriteHostFile(folder / "voice" / "demo_voice.ogg", ogg))
            return Fail("cannot write the voice");
    }
    // Effect: a short two-note chime.
    {
        TSamples s(static_cast<size_t>(rate * 0.4 * 2), 0);
        AddNote(s, rate, 2, 0.0, 0.4, 1318.5, 0.4);
        AddNote(s, rate, 2, 0.1, 0.3, 1760.0, 0.3);
        const std::string ogg = SoundWriter::EncodeOgg(s, rate, 2, {});
        if (ogg.empty() || !WriteHostFile(folder / "se" / "demo_chime.ogg", ogg) ||
            !WriteHostFile(folder / "se" / "demo_chime.wav", SoundWriter::EncodeRiff(s, rate, 2)))
            return Fail("cannot write the effect");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage("no command");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kHelp, stdout);
        return 0;
    }
    const std::string command = args[0];
    if (command == "demo") {
        if (args.size() != 2) return Usage("demo takes one folder");
        return Demo(args[1]);
    }
    if (command != "ogg" && command != "wav") return Usage("unknown command \"" + command + "\"");

    double rate = 44100, channels = 2, seconds = 1, freq = 440, amplitude = 0.5, quality = 0;
    std::vector<std::string> loops, comments;
    std::string file;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](double& out) {
            if (i + 1 >= args.size() || !ParseNumber(args[i + 1], out)) return false;
            ++i;
            return true;
        };
        bool ok = true;
        if (a == "--rate")
            ok = value(rate);
        else if (a == "--channels")
            ok = value(channels);
        else if (a == "--seconds")
            ok = value(seconds);
        else if (a == "--freq")
            ok = value(freq);
        else if (a == "--amplitude")
            ok = value(amplitude);
        else if (a == "--quality")
            ok = value(quality);
        else if ((a == "--loop" || a == "--comment") && i + 1 < args.size())
            (a == "--loop" ? loops : comments).push_back(args[++i]);
        else if (!a.empty() && a[0] == '-')
            return Usage("unknown or incomplete option \"" + a + "\"");
        else if (file.empty())
            file = a;
        else
            return Usage("more than one file given");
        if (!ok) return Usage("option " + a + " needs a number");
    }
    if (file.empty()) return Usage("no file given");
    if (rate < 1 || rate > 192000 || channels < 1 || channels > 8 || seconds < 0 || seconds > 3600 || amplitude < 0 ||
        amplitude > 1)
        return Usage("rate 1..192000, channels 1..8, seconds 0..3600, amplitude 0..1");
    const auto r = static_cast<int32_t>(rate);
    const auto c = static_cast<int32_t>(channels);
    const SoundWriter::TSamples s = SoundWriter::Sine(r, c, static_cast<int64_t>(seconds * r), freq, amplitude);
    std::string bytes;
    if (command == "wav") {
        if (!loops.empty() || !comments.empty()) return Usage("loop tags and comments go into Ogg files only");
        bytes = SoundWriter::EncodeRiff(s, r, c);
    } else {
        if (!loops.empty()) comments.push_back(SoundWriter::LoopComment(loops));
        std::string error;
        bytes = SoundWriter::EncodeOgg(s, r, c, comments, static_cast<float>(quality), &error);
        if (bytes.empty()) return Fail(error);
    }
    if (!WriteHostFile(file, bytes)) return Fail("cannot write " + file);
    return 0;
}
