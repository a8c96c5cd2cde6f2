// kelanim: writes animations (".b") from a text description.
#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "foundation/uMisc.h"
#include "media/AnimationBmpWriter.h"
#include "platform/ClassLib.h"
#include "platform/Encoding.h"
#include "platform/HostFiles.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelanim: writes an animation (\".b\") from a text description.\n"
    "\n"
    "Usage:\n"
    "  kelanim <description> <animation.b>\n"
    "  kelanim --help\n"
    "\n"
    "The description is UTF-8 text, one statement a line; \"#\" starts a comment, words are\n"
    "separated by blanks and a word with blanks is written in double quotes. Numbers are\n"
    "decimal, or hexadecimal after \"0x\" or \"$\". File names are relative to the\n"
    "description's folder.\n"
    "\n"
    "  format abmp11|abmp10|abmp7   the file's format (default abmp11)\n"
    "  data abdata11|abdata10       the data block's version (default: as the format)\n"
    "  name TEXT                    the animation data's name\n"
    "  size WIDTH HEIGHT            the size a screen object takes for the animation\n"
    "  length MS                    the natural playing length (abdata11)\n"
    "  text TEXT                    free text for the scripts (abdata11)\n"
    "  image NAME FILE [type=N]     an embedded picture: .bmp, .jpg, .png, .m (movie), .argb\n"
    "                               or .b (a nested animation); abmp7 takes one .bmp, .jpg or\n"
    "                               .png picture\n"
    "  sound NAME FILE [type=N]     an embedded sound: .wav or .ogg (abmp7: .ogg)\n"
    "  motion NAME                  starts a motion\n"
    "  layer NAME [version=13] [stack=apply|push|pop|N] [count=N]\n"
    "                               starts a layer of the motion: 32 key frames, at 0, 1000,\n"
    "                               2000, ... ms until given otherwise\n"
    "  key N FIELD=VALUE ...        sets key frame N (0..31) of the layer\n"
    "\n"
    "Key frame fields:\n"
    "  time  kind (none fill draw stretch rotate blend hit nested, or a number)  blend (0..7:\n"
    "  alpha, screen, multiply, difference, lighten, darken, add, subtract)  image  image2\n"
    "  src=X,Y,W,H  dst=X,Y,W,H  param  param2  depth  angle  add=RRGGBB  mul=RRGGBB  alpha\n"
    "  srccurve  dstcurve (hold linear bspline decelerate accelerate hermite shake, or a\n"
    "  number)  srctension  dsttension (percent)  srcanchor  dstanchor (0..8)  lerp (1: blend\n"
    "  the colours)  cmd (none jump start randomwait lipsync motion wait end sound\n"
    "  randomwaitcs waitcs stopsound settime sync, or a number)  args=A,B,C,D\n"
    "Layers of versions below 13 keep their rectangles as corners (x1,y1,x2,y2), and in\n"
    "versions 10 and 11 the kinds 4 and 5 are a frame blend and a hit area.\n"
    "abmp7 key frame fields: time  kind (0..20)  src=X1,Y1,X2,Y2  dst=X1,Y1,X2,Y2  depth\n"
    "  colour=AARRGGBB  srccurve  dstcurve  lerp  cmd  arg\n"
    "\n"
    "Exit codes: 0 success, 1 a description or file that cannot be read or written, 2 wrong\n"
    "usage.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "kelanim: %s\n(see kelanim --help)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelanim: %s\n", message.c_str());
    return 1;
}

// A mistake in the description; the line is added where it is caught.
struct EDescription : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Blank-separated words; double quotes hold blanks; "#" outside quotes ends the line.
std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false, any = false;
    for (char c : line) {
        if (quoted) {
            if (c == '"')
                quoted = false;
            else
                word += c;
        } else if (c == '"') {
            quoted = any = true;
        } else if (c == '#') {
            break;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (any) words.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (quoted) throw EDescription("a quote is not closed");
    if (any) words.push_back(word);
    return words;
}

int64_t Number(const std::string& text, int64_t low, int64_t high) {
    int64_t v = 0;
    if (!uMisc::TryStrToInt(text, 64, uMisc::THexPrefix::DollarOr0x, v) || v < low || v > high)
        throw EDescription("\"" + text + "\" is not a number from " + std::to_string(low) + " to " +
                           std::to_string(high));
    return v;
}

// A number, or one of the names (their place in the list).
int64_t NamedNumber(const std::string& text, const std::vector<const char*>& names, int64_t high) {
    for (size_t i = 0; i < names.size(); ++i)
        if (ClassLib::SameTextAscii(text, names[i])) return static_cast<int64_t>(i);
    return Number(text, 0, high);
}

std::vector<int64_t> List(const std::string& text, size_t count, int64_t low, int64_t high) {
    std::vector<int64_t> values;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        values.push_back(Number(text.substr(start, comma - start), low, high));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (values.size() != count) throw EDescription("\"" + text + "\" must hold " + std::to_string(count) + " numbers");
    return values;
}

const std::vector<const char*> kKinds = {"none", "fill", "draw", "stretch", "rotate", "blend", "hit", "nested"};
const std::vector<const char*> kCurves = {"hold", "linear", "bspline", "decelerate", "accelerate", "hermite", "shake"};
const std::vector<const char*> kCommands = {"none",   "jump",      "start",   "randomwait", "lipsync",
                                            "motion", "wait",      "end",     "sound",      "randomwaitcs",
                                            "waitcs", "stopsound", "settime", "sync"};

void SetKey(TABMPKeyFrame& k, const std::string& field, const std::string& value) {
    auto u8 = [&] { return static_cast<uint8_t>(Number(value, 0, 255)); };
    auto i16 = [&] { return static_cast<int16_t>(Number(value, INT16_MIN, INT16_MAX)); };
    auto i32 = [&] { return static_cast<int32_t>(Number(value, INT32_MIN, INT32_MAX)); };
    auto colour = [&] { return static_cast<uint32_t>(Number(value, 0, UINT32_MAX)); };
    auto rect = [&](int16_t& x, int16_t& y, int16_t& w, int16_t& h) {
        const auto v = List(value, 4, INT16_MIN, INT16_MAX);
        x = static_cast<int16_t>(v[0]);
        y = static_cast<int16_t>(v[1]);
        w = static_cast<int16_t>(v[2]);
        h = static_cast<int16_t>(v[3]);
    };
    const std::map<std::string, std::function<void()>> fields = {
        {"time", [&] { k.Time = i32(); }},
        {"kind", [&] { k.Kind = static_cast<uint8_t>(NamedNumber(value, kKinds, 255)); }},
        {"blend", [&] { k.Blend = u8(); }},
        {"image", [&] { k.Image = u8(); }},
        {"image2", [&] { k.Image2 = u8(); }},
        {"src", [&] { rect(k.SrcX, k.SrcY, k.SrcW, k.SrcH); }},
        {"dst", [&] { rect(k.DstX, k.DstY, k.DstW, k.DstH); }},
        {"param", [&] { k.Param = i32(); }},
        {"param2", [&] { k.Param2 = i32(); }},
        {"depth", [&] { k.Depth = i16(); }},
        {"angle", [&] { k.Angle = i16(); }},
        {"add", [&] { k.AddColor = colour(); }},
        {"mul", [&] { k.MulColor = colour(); }},
        {"alpha", [&] { k.Alpha = u8(); }},
        {"srccurve", [&] { k.SrcCurve = static_cast<uint8_t>(NamedNumber(value, kCurves, 255)); }},
        {"dstcurve", [&] { k.DstCurve = static_cast<uint8_t>(NamedNumber(value, kCurves, 255)); }},
        {"srctension", [&] { k.SrcTension = u8(); }},
        {"dsttension", [&] { k.DstTension = u8(); }},
        {"srcanchor", [&] { k.SrcAnchor = u8(); }},
        {"dstanchor", [&] { k.DstAnchor = u8(); }},
        {"lerp", [&] { k.ColorLerp = u8(); }},
        {"cmd", [&] { k.Command = static_cast<uint8_t>(NamedNumber(value, kCommands, 255)); }},
        {"args",
         [&] {
             const auto v = List(value, 4, 0, 255);
             k.Arg1 = static_cast<uint8_t>(v[0]);
             k.Arg2 = static_cast<uint8_t>(v[1]);
             k.Arg3 = static_cast<uint8_t>(v[2]);
             k.Arg4 = static_cast<uint8_t>(v[3]);
         }},
    };
    const auto it = fields.find(ClassLib::LowerAscii(field));
    if (it == fields.end()) throw EDescription("no key frame field \"" + field + "\"");
    it->second();
}

void SetOldKey(TABMP7KeyFrame& k, const std::string& field, const std::string& value) {
    auto u8 = [&] { return static_cast<uint8_t>(Number(value, 0, 255)); };
    auto corners = [&](std::array<int16_t, 4>& r) {
        const auto v = List(value, 4, INT16_MIN, INT16_MAX);
        for (size_t i = 0; i < 4; ++i)
            r[i] = static_cast<int16_t>(v[i]);
    };
    const std::map<std::string, std::function<void()>> fields = {
        {"time", [&] { k.Time = static_cast<int32_t>(Number(value, INT32_MIN, INT32_MAX)); }},
        {"kind", [&] { k.Kind = u8(); }},
        {"src", [&] { corners(k.Src); }},
        {"dst", [&] { corners(k.Dst); }},
        {"depth", [&] { k.Depth = static_cast<int16_t>(Number(value, INT16_MIN, INT16_MAX)); }},
        {"colour", [&] { k.Colour = static_cast<uint32_t>(Number(value, 0, UINT32_MAX)); }},
        {"srccurve", [&] { k.SrcCurve = static_cast<uint8_t>(NamedNumber(value, kCurves, 255)); }},
        {"dstcurve", [&] { k.DstCurve = static_cast<uint8_t>(NamedNumber(value, kCurves, 255)); }},
        {"lerp", [&] { k.ColorLerp = u8(); }},
        {"cmd", [&] { k.Command = static_cast<uint8_t>(NamedNumber(value, kCommands, 255)); }},
        {"arg", [&] { k.Arg = u8(); }},
    };
    const auto it = fields.find(ClassLib::LowerAscii(field));
    if (it == fields.end()) throw EDescription("no old key frame field \"" + field + "\"");
    it->second();
}

// Extensions and the record types they stand for.
const std::map<std::string, uint8_t> kImageTypes = {{".bmp", 0}, {".jpg", 1},  {".jpeg", 1}, {".png", 2},
                                                    {".m", 4},   {".argb", 5}, {".b", 6}};
const std::map<std::string, uint8_t> kSoundTypes = {{".wav", 0}, {".ogg", 1}};

// Splits "key=value"; false for a word without "=".
bool Option(const std::string& word, std::string& key, std::string& value) {
    const size_t eq = word.find('=');
    if (eq == std::string::npos) return false;
    key = ClassLib::LowerAscii(word.substr(0, eq));
    value = word.substr(eq + 1);
    return true;
}

class TDescription {
public:
    explicit TDescription(fs::path folder) : Folder(std::move(folder)) {}

    void Statement(const std::vector<std::string>& w) {
        const std::string word = ClassLib::LowerAscii(w[0]);
        auto args = [&](size_t low, size_t high) {
            if (w.size() - 1 < low || w.size() - 1 > high)
                throw EDescription("\"" + w[0] + "\" takes " + std::to_string(low) + (high > low ? " or more" : "") +
                                   " arguments");
        };
        if (word == "format") {
            args(1, 1);
            const std::string f = ClassLib::LowerAscii(w[1]);
            if (f != "abmp11" && f != "abmp10" && f != "abmp7")
                throw EDescription("the formats are abmp11, abmp10 and abmp7");
            if (!New.Motions.empty() || !Old.Motions.empty()) throw EDescription("the format comes before the motions");
            Old7 = f == "abmp7";
            New.Version = New.DataVersion = f == "abmp10" ? 10 : 11;
        } else if (word == "data") {
            args(1, 1);
            const std::string d = ClassLib::LowerAscii(w[1]);
            if (d != "abdata11" && d != "abdata10") throw EDescription("the data blocks are abdata11 and abdata10");
            New.DataVersion = d == "abdata10" ? 10 : 11;
        } else if (word == "name") {
            args(1, 1);
            New.Name = Encoding::Utf8ToSjis(w[1]);
        } else if (word == "size") {
            args(2, 2);
            New.Width = static_cast<int32_t>(Number(w[1], INT32_MIN, INT32_MAX));
            New.Height = static_cast<int32_t>(Number(w[2], INT32_MIN, INT32_MAX));
        } else if (word == "length") {
            args(1, 1);
            New.Length = static_cast<int32_t>(Number(w[1], INT32_MIN, INT32_MAX));
        } else if (word == "text") {
            args(1, 1);
            New.Text = Encoding::Utf8ToSjis(w[1]);
        } else if (word == "image" || word == "sound") {
            args(2, 3);
            Item(word == "image", w);
        } else if (word == "motion") {
            args(1, 1);
            if (Old7)
                Old.Motions.push_back({Encoding::Utf8ToSjis(w[1]), {}});
            else
                New.Motions.push_back({Encoding::Utf8ToSjis(w[1]), {}});
        } else if (word == "layer") {
            args(1, 4);
            Layer(w);
        } else if (word == "key") {
            args(1, 40);
            Key(w);
        } else {
            throw EDescription("no statement \"" + w[0] + "\"");
        }
    }

    std::string Write() const { return Old7 ? AnimationBmpWriter::WriteABMP7(Old) : AnimationBmpWriter::Write(New); }

private:
    void Item(bool image, const std::vector<std::string>& w) {
        const fs::path file = Folder / fs::u8path(w[2]);
        AnimationBmpWriter::TItem item;
        item.Name = Encoding::Utf8ToSjis(w[1]);
        if (!HostFiles::Read(file, item.Data)) throw EDescription("cannot read " + file.string());
        const auto& types = image ? kImageTypes : kSoundTypes;
        const auto t = types.find(ClassLib::LowerAscii(file.extension().string()));
        std::string key, value;
        if (w.size() > 3) {
            if (!Option(w[3], key, value) || key != "type") throw EDescription("expected type=N, not " + w[3]);
            item.Type = static_cast<uint8_t>(Number(value, 0, 255));
        } else if (t != types.end()) {
            item.Type = t->second;
        } else {
            throw EDescription("no type for " + file.filename().string() + ": give type=N");
        }
        if (!Old7) {
            (image ? New.Images : New.Sounds).push_back(item);
        } else if (!image) {
            Old.Sounds.push_back(item);
        } else {
            if (!Old.Picture.empty()) throw EDescription("abmp7 holds one picture");
            if (item.Type > 3) throw EDescription("abmp7 pictures are .bmp, .jpg or .png");
            Old.Picture = item.Data;
            Old.PictureType = item.Type;
        }
    }

    void Layer(const std::vector<std::string>& w) {
        if (Old7 ? Old.Motions.empty() : New.Motions.empty()) throw EDescription("a layer needs a motion before it");
        const std::string name = Encoding::Utf8ToSjis(w[1]);
        if (Old7) {
            if (w.size() > 2) throw EDescription("abmp7 layers have only a name");
            AnimationBmpWriter::TOldLayer layer;
            layer.Name = name;
            for (int32_t k = 0; k < AnimationBmpLib::kKeyCount; ++k)
                layer.Keys[k].Time = k * 1000;
            Old.Motions.back().Layers.push_back(layer);
            return;
        }
        AnimationBmpWriter::TLayer layer;
        layer.Name = name;
        for (size_t i = 2; i < w.size(); ++i) {
            std::string key, value;
            if (!Option(w[i], key, value)) throw EDescription("expected NAME=VALUE, not " + w[i]);
            if (key == "version")
                layer.Version = static_cast<int32_t>(Number(value, 10, 13));
            else if (key == "stack")
                layer.KeyStackMode = static_cast<uint8_t>(NamedNumber(value, {"apply", "push", "pop"}, 255));
            else if (key == "count")
                layer.CountByte = static_cast<uint8_t>(Number(value, 0, 255));
            else
                throw EDescription("no layer option \"" + key + "\"");
        }
        New.Motions.back().Layers.push_back(layer);
    }

    void Key(const std::vector<std::string>& w) {
        const auto index = static_cast<size_t>(Number(w[1], 0, AnimationBmpLib::kKeyCount - 1));
        for (size_t i = 2; i < w.size(); ++i) {
            std::string key, value;
            if (!Option(w[i], key, value)) throw EDescription("expected FIELD=VALUE, not " + w[i]);
            if (Old7)
                SetOldKey(OldLayer().Keys[index], key, value);
            else
                SetKey(NewLayer().Keys[index], key, value);
        }
    }

    AnimationBmpWriter::TLayer& NewLayer() {
        if (New.Motions.empty() || New.Motions.back().Layers.empty()) throw EDescription("a key needs a layer");
        return New.Motions.back().Layers.back();
    }
    AnimationBmpWriter::TOldLayer& OldLayer() {
        if (Old.Motions.empty() || Old.Motions.back().Layers.empty()) throw EDescription("a key needs a layer");
        return Old.Motions.back().Layers.back();
    }

    fs::path Folder;
    bool Old7 = false;
    AnimationBmpWriter::TFile New;
    AnimationBmpWriter::TOldFile Old;
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() != 2) return Usage("takes a description and the animation to write");
    const fs::path description(args[0]);
    std::string text;
    if (!HostFiles::Read(description, text)) return Fail("cannot read " + description.string());

    TDescription d(description.parent_path());
    int32_t lineNumber = 0;
    size_t start = 0;
    try {
        while (start <= text.size()) {
            const size_t end = std::min(text.find('\n', start), text.size());
            ++lineNumber;
            const std::vector<std::string> words = Words(text.substr(start, end - start));
            if (!words.empty()) d.Statement(words);
            start = end + 1;
        }
    } catch (const EDescription& e) {
        return Fail(description.string() + ":" + std::to_string(lineNumber) + ": " + e.what());
    }
    std::string bytes;
    try {
        bytes = d.Write();
    } catch (const std::exception& e) {
        return Fail(description.string() + ": " + e.what());
    }
    if (!HostFiles::Write(args[1], bytes)) return Fail("cannot write " + args[1]);
    return 0;
}
