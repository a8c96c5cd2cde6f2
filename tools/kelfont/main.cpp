// kelfont: writes a bitmap font (the two ".of" glyph sets) from an installed face.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/ARGB8888Font.h"
#include "platform/Encoding.h"
#include "platform/HostFiles.h"
#include "platform/SystemFonts.h"
#include "tools/kelfont/OfWriter.h"

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelfont: writes a bitmap font from an installed face: the glyph sets the engine draws text\n"
    "with when a font slot names the font and its files lie in the game's system\\font\\ folder.\n"
    "\n"
    "Usage:\n"
    "  kelfont [options] <face> <folder>\n"
    "      Renders the characters of the code ranges in the face the way the engine renders\n"
    "      the face as a system font, and writes the horizontal glyph set <folder>/<name>.of\n"
    "      and the vertical one <folder>/@<name>.of. <face> is a face name as a game gives it\n"
    "      (\"ＭＳ ゴシック\" and the other standard Japanese names lead to the installed IPA\n"
    "      faces) or an installed family (IPAGothic, IPAMincho, ...); an unknown name gives the\n"
    "      gothic face. Glyphs are shades of black with the use-text-colour flag set, so the\n"
    "      engine draws them in the text colour.\n"
    "      --name NAME       the font's name, which the files are named after (default: <face>)\n"
    "      --cell WxH        the cell size in pixels (default 24x24)\n"
    "      --range FROM-TO   hexadecimal character codes to include, both ends included (for\n"
    "                        example 20-7E or 889F-9872); may be given more than once. Default:\n"
    "                        every Shift-JIS character. Codes that stand for no character are\n"
    "                        left out.\n"
    "      --smooth 1|2|4    rendering at 1, 2 or 4 times the size, averaged down (default 4);\n"
    "                        1 gives glyphs without shades\n"
    "      --bold            thickened strokes\n"
    "  kelfont --help\n"
    "\n"
    "In the vertical set one-byte characters, brackets, dashes and the long vowel mark are\n"
    "turned a quarter turn clockwise, and small kana and the ideographic comma and full stop\n"
    "move towards the upper right of their cell; one-byte characters advance downwards by\n"
    "their width.\n"
    "\n"
    "Exit codes: 0 success, 1 the font could not be made or written, 2 wrong usage.\n";

int Usage(const std::string& message) {
    std::fprintf(stderr, "kelfont: %s\n(see kelfont --help)\n", message.c_str());
    return 2;
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "kelfont: %s\n", message.c_str());
    return 1;
}

bool ParseHex(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 4) return false;
    out = 0;
    for (char c : text) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d < 0) return false;
        out = out * 16 + static_cast<uint32_t>(d);
    }
    return true;
}

bool ParseCell(const std::string& text, int32_t& w, int32_t& h) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    try {
        size_t used = 0;
        w = std::stoi(text.substr(0, x), &used);
        if (used != x) return false;
        h = std::stoi(text.substr(x + 1), &used);
        if (used != text.size() - x - 1) return false;
    } catch (...) {
        return false;
    }
    return w >= 1 && h >= 1 && w <= 1024 && h <= 1024;
}

// Every code a Shift-JIS text can hold.
std::vector<uint32_t> AllCodes() {
    std::vector<uint32_t> codes;
    for (uint32_t c = 0x20; c <= 0xDF; ++c)
        if (c <= 0x7E || c >= 0xA1) codes.push_back(c);
    for (uint32_t lead = 0x81; lead <= 0xFC; ++lead) {
        if (lead >= 0xA0 && lead < 0xE0) continue;
        for (uint32_t trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F) codes.push_back(lead << 8 | trail);
    }
    return codes;
}

uint32_t CodeOf(const std::string& sjis, size_t& i) {
    const auto b = static_cast<uint8_t>(sjis[i++]);
    if (((b >= 0x81 && b <= 0x9F) || b >= 0xE0) && i < sjis.size()) return b << 8 | static_cast<uint8_t>(sjis[i++]);
    return b;
}

bool Contains(const std::string& sjisList, uint32_t code) {
    for (size_t i = 0; i < sjisList.size();)
        if (CodeOf(sjisList, i) == code) return true;
    return false;
}

// The characters that lie on their side in vertical text, and those that sit in the upper right.
const std::string& Turned() {
    return "ー－―‐～〜…‥（）〔〕［］｛｝〈〉《》「」『』【】＝＜＞：；｜＿￣"_sj;
}
const std::string& Punctuation() {
    return "、。，．"_sj;
}
const std::string& SmallKana() {
    return "ぁぃぅぇぉっゃゅょゎァィゥェォッャュョヮヵヶ"_sj;
}

struct TCell {
    std::vector<uint8_t> Pixels;  // coverage 0..255, which is also the palette index
    int32_t ExtentX = 0;
};

class TRenderer {
public:
    TRenderer(IFontProvider& provider, std::string face, int32_t smooth, int32_t weight)
        : Face(std::move(face)), Smooth(smooth), Weight(weight) {
        Cache.SetProvider(&provider);
    }

    // The glyph in a cell of w x h, moved by (dx, dy).
    TCell Render(uint32_t code, int32_t w, int32_t h, int32_t dx = 0, int32_t dy = 0) {
        const TCachedGlyph& g = Cache.Lookup(Face, code, w, h, Smooth, Weight);
        TCell cell;
        cell.Pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
        cell.ExtentX = g.ExtentX;
        for (int32_t y = 0; y < g.InkHeight; ++y)
            for (int32_t x = 0; x < g.InkWidth; ++x) {
                const int32_t cx = g.InkLeft + x + dx, cy = g.InkTop + y + dy;
                if (cx >= 0 && cx < w && cy >= 0 && cy < h)
                    cell.Pixels[static_cast<size_t>(cy * w + cx)] = g.Coverage[static_cast<size_t>(y * g.InkWidth + x)];
            }
        return cell;
    }

    // The glyph rendered in a cell of h x w and turned a quarter turn clockwise into w x h.
    TCell Turned(uint32_t code, int32_t w, int32_t h) {
        const TCell side = Render(code, h, w);
        TCell cell;
        cell.Pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
        cell.ExtentX = side.ExtentX;
        for (int32_t y = 0; y < w; ++y)
            for (int32_t x = 0; x < h; ++x)
                cell.Pixels[static_cast<size_t>(x * w + (w - 1 - y))] = side.Pixels[static_cast<size_t>(y * h + x)];
        return cell;
    }

private:
    TSystemFontCache Cache{1};
    std::string Face;
    int32_t Smooth;
    int32_t Weight;
};

uint8_t Advance(int32_t extent, int32_t cell) {
    return static_cast<uint8_t>(std::clamp((extent * 128 + cell / 2) / cell, 0, 255));
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> positional;
    std::string name;
    int32_t cellWidth = 24, cellHeight = 24, smooth = 4;
    bool bold = false;
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (a == "--name") {
            if (!value(name) || name.empty()) return Usage("--name wants a name");
        } else if (a == "--cell") {
            if (!value(v) || !ParseCell(v, cellWidth, cellHeight)) return Usage("--cell wants WxH, 1 to 1024 each");
        } else if (a == "--range") {
            const size_t dash = value(v) ? v.find('-') : std::string::npos;
            uint32_t from = 0, to = 0;
            if (dash == std::string::npos || !ParseHex(v.substr(0, dash), from) || !ParseHex(v.substr(dash + 1), to) ||
                from > to)
                return Usage("--range wants FROM-TO in hexadecimal, FROM not above TO");
            ranges.emplace_back(from, to);
        } else if (a == "--smooth") {
            if (!value(v) || (v != "1" && v != "2" && v != "4")) return Usage("--smooth wants 1, 2 or 4");
            smooth = v[0] - '0';
        } else if (a == "--bold") {
            bold = true;
        } else if (!a.empty() && a[0] == '-') {
            return Usage("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) return Usage("wants a face and a folder");
    const std::string face = Encoding::Utf8ToSjis(positional[0]);
    const fs::path folder(positional[1]);
    if (name.empty()) name = positional[0];
    if (name.find_first_of("/\\") != std::string::npos) return Usage("the name cannot hold a path separator");
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Fail("no folder " + folder.string());

    std::vector<uint32_t> codes;
    for (uint32_t code : AllCodes()) {
        bool wanted = ranges.empty();
        for (auto [from, to] : ranges)
            wanted |= code >= from && code <= to;
        // Codes that stand for no character stay out, so the engine draws them with font 0.
        if (wanted && (code == 0x20 || SystemFonts::UnicodeOf(static_cast<uint16_t>(code)) != 0)) codes.push_back(code);
    }
    if (codes.empty()) return Fail("no character in the ranges given");

    TFreeTypeFonts fonts;
    if (!fonts.Error().empty()) return Fail(fonts.Error());
    if (fonts.ResolvedFamily(face).empty()) return Fail("no installed face can be had for " + positional[0]);
    TRenderer renderer(fonts, face, smooth, bold ? 300 : 0);

    OfWriter::TGlyphSetFile horizontal, vertical;
    for (auto* set : {&horizontal, &vertical}) {
        set->CellWidth = cellWidth;
        set->CellHeight = cellHeight;
        set->UseTextColor = true;
        // Shades of black: the text colour is added to them and its alpha multiplies theirs.
        for (uint32_t i = 0; i < 256; ++i)
            set->Palette[i] = i << 24;
    }
    for (uint32_t code : codes) {
        const TCell flat = renderer.Render(code, cellWidth, cellHeight);
        horizontal.Glyphs.push_back({code, flat.Pixels, Advance(flat.ExtentX, cellWidth), 128});

        OfWriter::TGlyph up{code, flat.Pixels, 128, 128};
        if (code < 0x100 || Contains(Turned(), code)) {
            const TCell turned = renderer.Turned(code, cellWidth, cellHeight);
            up.Cell = turned.Pixels;
            if (code < 0x100) up.AdvanceY = Advance(turned.ExtentX, cellHeight);
        } else if (Contains(Punctuation(), code)) {
            up.Cell = renderer.Render(code, cellWidth, cellHeight, cellWidth * 5 / 8, -cellHeight * 5 / 8).Pixels;
        } else if (Contains(SmallKana(), code)) {
            up.Cell = renderer.Render(code, cellWidth, cellHeight, cellWidth / 8, -cellHeight / 8).Pixels;
        }
        vertical.Glyphs.push_back(std::move(up));
    }

    std::string error;
    for (auto [set, prefix] : {std::pair{&horizontal, ""}, std::pair{&vertical, "@"}}) {
        std::string bytes;
        if (!OfWriter::Write(*set, bytes, error)) return Fail(error);
        const fs::path path = folder / (std::string(prefix) + name + ".of");
        if (!HostFiles::Write(path, bytes)) return Fail("cannot write " + path.string());
    }
    std::printf("kelfont: %zu characters of %s in %dx%d cells\n", codes.size(), fonts.ResolvedFamily(face).c_str(),
                cellWidth, cellHeight);
    return 0;
}
