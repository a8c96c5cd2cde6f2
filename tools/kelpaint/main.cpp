// kelpaint: draws the demo game's pictures (backgrounds, characters, buttons, a message frame, a
// rule image for wipes, the frames of a small motion movie) as PNG files, so that the demo needs
// no picture files of its own in the repository.
#include <png.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kHelp[] =
    "kelpaint: draws the demo game's pictures.\n"
    "\n"
    "Usage:\n"
    "  kelpaint demo <folder>\n"
    "      Writes below <folder>: image/title.png, image/park.png, image/sky.png,\n"
    "      image/flowers.png and image/ending.png (backgrounds of 800 x 600), image/hana.png\n"
    "      and image/sora.png (two characters, two frames side by side: eyes open and\n"
    "      closed), image/btn_start.png, btn_sky.png and btn_flowers.png (buttons over their\n"
    "      lit state), image/msg_frame.png (a message window's frame) with\n"
    "      image/blank.png (a 4 x 4 stand-in for its text),\n"
    "      image/bar_thumb.png and image/bar_track.png (a horizontal scroll bar),\n"
    "      image/rule_wipe.png (a grey rule picture for wipes), sparkle/frameNN.png (the\n"
    "      frames of a twinkling star, for kelmovie), image/menu_button.png (a system-menu button\n"
    "      in its four states), System/Menu/menu_*.png (the menu's panel and button faces) and,\n"
    "      for the back-log screen, System/Log/voice.png (the voice icon), System/Log/hana.png\n"
    "      and sora.png (the characters' faces) and System/Log/thumb.png and track.png (a\n"
    "      vertical bar), and for the save and load screens image/fs_slot.png and\n"
    "      image/fs_button.png (a slot and a small button in their four states) and\n"
    "      System/FileSelect/fs_*.png (the small buttons' faces, the empty slot's picture and\n"
    "      the newest save's mark).\n"
    "  kelpaint --help\n"
    "\n"
    "Exit codes: 0 success, 1 a picture could not be written, 2 wrong usage.\n";

// A picture of 0xAARRGGBB pixels, drawn over with alpha.
struct TPicture {
    int W, H;
    std::vector<uint32_t> Px;
    TPicture(int w, int h, uint32_t fill = 0) : W(w), H(h), Px(static_cast<size_t>(w) * h, fill) {}

    void Blend(int x, int y, uint32_t c) {
        if (x < 0 || y < 0 || x >= W || y >= H) return;
        uint32_t& d = Px[static_cast<size_t>(y) * W + x];
        const uint32_t a = c >> 24, da = d >> 24;
        if (a == 0) return;
        const uint32_t oa = a + da * (255 - a) / 255;
        auto ch = [&](int s) {
            const uint32_t sc = (c >> s) & 0xFF, dc = (d >> s) & 0xFF;
            return oa ? (sc * a + dc * da * (255 - a) / 255) / oa : 0;
        };
        d = (oa << 24) | (ch(16) << 16) | (ch(8) << 8) | ch(0);
    }
    void Rect(int x, int y, int w, int h, uint32_t c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i)
                Blend(i, j, c);
    }
    // A filled ellipse centred on (cx, cy).
    void Ellipse(double cx, double cy, double rx, double ry, uint32_t c) {
        for (int j = static_cast<int>(cy - ry) - 1; j <= cy + ry + 1; ++j)
            for (int i = static_cast<int>(cx - rx) - 1; i <= cx + rx + 1; ++i) {
                const double dx = (i + 0.5 - cx) / rx, dy = (j + 0.5 - cy) / ry;
                if (dx * dx + dy * dy <= 1.0) Blend(i, j, c);
            }
    }
    void RoundRect(int x, int y, int w, int h, int r, uint32_t c) {
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) {
                const int dx = std::max({x + r - i, 0, i - (x + w - 1 - r)});
                const int dy = std::max({y + r - j, 0, j - (y + h - 1 - r)});
                if (dx * dx + dy * dy <= r * r) Blend(i, j, c);
            }
    }
    // A vertical gradient between two colours.
    void Gradient(int y0, int y1, uint32_t top, uint32_t bottom) {
        for (int j = y0; j < y1; ++j) {
            const double t = y1 - y0 > 1 ? double(j - y0) / (y1 - y0 - 1) : 0;
            auto mix = [&](int s) {
                return static_cast<uint32_t>(std::lround(((top >> s) & 0xFF) * (1 - t) + ((bottom >> s) & 0xFF) * t));
            };
            Rect(0, j, W, 1, (mix(24) << 24) | (mix(16) << 16) | (mix(8) << 8) | mix(0));
        }
    }
    // A triangle filled by its edges' half-planes.
    void Triangle(double x0, double y0, double x1, double y1, double x2, double y2, uint32_t c) {
        const int l = static_cast<int>(std::min({x0, x1, x2})), r = static_cast<int>(std::max({x0, x1, x2}));
        const int t = static_cast<int>(std::min({y0, y1, y2})), b = static_cast<int>(std::max({y0, y1, y2}));
        auto side = [](double ax, double ay, double bx, double by, double px, double py) {
            return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
        };
        for (int j = t; j <= b; ++j)
            for (int i = l; i <= r; ++i) {
                const double px = i + 0.5, py = j + 0.5;
                const double s0 = side(x0, y0, x1, y1, px, py), s1 = side(x1, y1, x2, y2, px, py),
                             s2 = side(x2, y2, x0, y0, px, py);
                if ((s0 >= 0 && s1 >= 0 && s2 >= 0) || (s0 <= 0 && s1 <= 0 && s2 <= 0)) Blend(i, j, c);
            }
    }
    // Text in a 5 x 7 block font, each dot a square of the given size.
    void Text(int x, int y, const std::string& text, int dot, uint32_t c);
    int TextWidth(const std::string& text, int dot) const { return static_cast<int>(text.size()) * 6 * dot - dot; }
    void TextCentred(int cx, int y, const std::string& text, int dot, uint32_t c) {
        Text(cx - TextWidth(text, dot) / 2, y, text, dot, c);
    }
};

// The letters the pictures use, seven rows of five dots each.
struct TGlyph {
    char Ch;
    const char* Rows[7];
};
const TGlyph kGlyphs[] = {
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"####.", "....#", "....#", ".###.", "....#", "....#", "####."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".####", "#....", "#....", "#....", "#....", "#....", ".####"}},
    {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'G', {".####", "#....", "#....", "#.###", "#...#", "#...#", ".###."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "#####"}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'Q', {".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'U', {"#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'X', {"#...#", "#...#", ".#.#.", "..#..", ".#.#.", "#...#", "#...#"}},
    {'Y', {"#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."}},
};

void TPicture::Text(int x, int y, const std::string& text, int dot, uint32_t c) {
    for (size_t k = 0; k < text.size(); ++k) {
        const auto g =
            std::find_if(std::begin(kGlyphs), std::end(kGlyphs), [&](const TGlyph& g) { return g.Ch == text[k]; });
        if (g == std::end(kGlyphs)) continue;  // a blank
        for (int j = 0; j < 7; ++j)
            for (int i = 0; i < 5; ++i)
                if (g->Rows[j][i] == '#') Rect(x + static_cast<int>(k) * 6 * dot + i * dot, y + j * dot, dot, dot, c);
    }
}

// The same sequence of stars on every build.
uint32_t NextRandom(uint32_t& seed) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) & 0xFFFFFF;
}

TPicture Title() {
    TPicture p(800, 600);
    p.Gradient(0, 600, 0xFF141036, 0xFF6A3C78);
    uint32_t seed = 7;
    for (int k = 0; k < 140; ++k) {
        const int x = NextRandom(seed) % 800, y = NextRandom(seed) % 380;
        const uint32_t a = 120 + NextRandom(seed) % 136;
        p.Rect(x, y, 2, 2, (a << 24) | 0xFFFFF0);
    }
    // A crescent: the disc of the moon without the part a second disc covers.
    for (int y = 50; y < 170; ++y)
        for (int x = 580; x < 700; ++x) {
            const double mx = x + 0.5 - 640, my = y + 0.5 - 110, sx = x + 0.5 - 662, sy = y + 0.5 - 96;
            if (mx * mx + my * my <= 56 * 56 && sx * sx + sy * sy > 50 * 50) p.Blend(x, y, 0xFFF8F0C8);
        }
    for (int k = 0; k < 5; ++k)
        p.Ellipse(80 + k * 180, 600, 220, 120 + (k % 2) * 40, 0xFF2A1C3A);
    p.TextCentred(403, 123, "KEL", 18, 0x80000000);
    p.TextCentred(400, 120, "KEL", 18, 0xFFFFE9A8);
    p.TextCentred(400, 262, "DEMO", 5, 0xFFE8D8FF);
    return p;
}

TPicture Park() {
    TPicture p(800, 600);
    p.Gradient(0, 420, 0xFF5AA8F0, 0xFFCDE8FA);
    p.Ellipse(120, 90, 46, 46, 0xFFFFF4B0);
    for (auto [x, y] : {std::pair{300, 80}, {560, 130}, {700, 60}}) {
        p.Ellipse(x, y, 60, 22, 0xE0FFFFFF);
        p.Ellipse(x + 30, y - 14, 36, 20, 0xE0FFFFFF);
    }
    p.Ellipse(250, 470, 420, 110, 0xFF6FBF5A);
    p.Ellipse(650, 480, 380, 100, 0xFF5EAE4C);
    p.Rect(0, 470, 800, 130, 0xFF58A046);
    p.Rect(0, 540, 800, 60, 0xFFC8A878);  // the path
    p.Rect(665, 280, 26, 200, 0xFF7A5030);
    p.Ellipse(678, 250, 90, 80, 0xFF3E8A38);
    p.Ellipse(640, 290, 60, 50, 0xFF48963E);
    p.Ellipse(720, 290, 60, 50, 0xFF48963E);
    p.Rect(60, 450, 140, 10, 0xFF8A6A4A);  // a bench
    p.Rect(70, 460, 10, 40, 0xFF6A4A30);
    p.Rect(180, 460, 10, 40, 0xFF6A4A30);
    return p;
}

TPicture Ending() {
    TPicture p(800, 600);
    p.Gradient(0, 600, 0xFF000000, 0xFF1A2450);
    uint32_t seed = 11;
    for (int k = 0; k < 90; ++k) {
        const int x = NextRandom(seed) % 800, y = NextRandom(seed) % 600;
        p.Rect(x, y, 2, 2, 0xC0FFFFFF);
    }
    p.TextCentred(400, 230, "THE END", 12, 0xFFF0E6C8);
    p.TextCentred(400, 360, "KEL DEMO", 4, 0xFF9AA8D8);
    return p;
}

// The sky the two look up at: clouds drifting over a hill.
TPicture Sky() {
    TPicture p(800, 600);
    p.Gradient(0, 600, 0xFF2E78D8, 0xFFB8DCF8);
    for (auto [x, y, w] : {std::tuple{160, 120, 90}, {470, 90, 120}, {650, 230, 80}, {300, 300, 110}}) {
        p.Ellipse(x, y, w, w / 3, 0xF0FFFFFF);
        p.Ellipse(x - w / 3, y - w / 6, w / 2, w / 4, 0xF0FFFFFF);
        p.Ellipse(x + w / 3, y - w / 5, w / 2, w / 4, 0xF0FFFFFF);
    }
    p.Ellipse(400, 640, 560, 150, 0xFF6FBF5A);
    return p;
}

// The flower bed: rows of flowers in the grass under a pale sky.
TPicture Flowers() {
    TPicture p(800, 600);
    p.Gradient(0, 300, 0xFF9ACCF2, 0xFFE8F4FC);
    p.Rect(0, 300, 800, 300, 0xFF58A046);
    const uint32_t petals[] = {0xFFF0607A, 0xFFFFD040, 0xFFFFFFFF, 0xFFB070E0};
    uint32_t seed = 5;
    for (int row = 0; row < 6; ++row)
        for (int k = 0; k < 14; ++k) {
            const int x = k * 60 + (row % 2) * 30 + static_cast<int>(NextRandom(seed) % 12), y = 330 + row * 45;
            const double r = 7 + row * 2;
            p.Rect(x - 1, y, 3, static_cast<int>(r) * 2, 0xFF3E7A30);
            for (int q = 0; q < 4; ++q)
                p.Ellipse(x + (q % 2 ? r : -r) * 0.7, y + (q / 2 ? r : -r) * 0.7, r * 0.7, r * 0.7,
                          petals[(row + k) % 4]);
            p.Ellipse(x, y, r * 0.45, r * 0.45, 0xFFFFE070);
        }
    return p;
}

// A character of two frames side by side (eyes open, eyes closed), 200 x 380 each.
TPicture Character(uint32_t hair, uint32_t dress, bool longHair) {
    TPicture p(400, 380);
    for (int f = 0; f < 2; ++f) {
        const int o = f * 200;
        const uint32_t skin = 0xFFFFE0C8;
        if (longHair) p.RoundRect(o + 48, 50, 104, 150, 40, hair);
        p.Triangle(o + 100, 150, o + 30, 370, o + 170, 370, dress);
        p.Rect(o + 88, 140, 24, 20, skin);
        p.Ellipse(o + 100, 95, 52, 58, skin);
        p.Ellipse(o + 100, 62, 56, 34, hair);
        p.Rect(o + 46, 60, 12, longHair ? 60 : 36, hair);
        p.Rect(o + 142, 60, 12, longHair ? 60 : 36, hair);
        if (f == 0) {
            p.Ellipse(o + 80, 100, 7, 10, 0xFF302040);
            p.Ellipse(o + 120, 100, 7, 10, 0xFF302040);
            p.Ellipse(o + 82, 96, 2.5, 3, 0xFFFFFFFF);
            p.Ellipse(o + 122, 96, 2.5, 3, 0xFFFFFFFF);
        } else {
            p.Rect(o + 72, 102, 16, 3, 0xFF302040);
            p.Rect(o + 112, 102, 16, 3, 0xFF302040);
        }
        p.Ellipse(o + 70, 118, 8, 4, 0x60FF6080);
        p.Ellipse(o + 130, 118, 8, 4, 0x60FF6080);
        p.Rect(o + 92, 128, 16, 3, 0xFFC05060);
    }
    return p;
}

// A button of 240 x 56 over its lit state.
TPicture Button(const std::string& label) {
    TPicture p(240, 112);
    for (int s = 0; s < 2; ++s) {
        const int y = s * 56;
        p.RoundRect(2, y + 2, 236, 52, 14, s ? 0xFFFFE9A8 : 0xC0E8D8FF);
        p.RoundRect(6, y + 6, 228, 44, 11, s ? 0xFF6A3C78 : 0xE0241A48);
        p.TextCentred(120, y + 14, label, 4, s ? 0xFFFFFFFF : 0xFFE8D8FF);
    }
    return p;
}

// A button of the system menu, 240 x 56, in four states one below the other: plain, lit under
// the pointer, dimmed while locked, and checked (a mark at its left).
TPicture MenuButton(const std::string& label) {
    TPicture p(240, 224);
    const uint32_t frame[] = {0xC0E8D8FF, 0xFFFFE9A8, 0x80A0A0B0, 0xFFFFE9A8};
    const uint32_t face[] = {0xE0241A48, 0xFF6A3C78, 0xC0303038, 0xE0241A48};
    const uint32_t text[] = {0xFFE8D8FF, 0xFFFFFFFF, 0xFF808088, 0xFFFFE9A8};
    for (int s = 0; s < 4; ++s) {
        const int y = s * 56;
        p.RoundRect(2, y + 2, 236, 52, 14, frame[s]);
        p.RoundRect(6, y + 6, 228, 44, 11, face[s]);
        p.TextCentred(120, y + 18, label, 3, text[s]);
        if (s == 3) p.RoundRect(16, y + 20, 16, 16, 8, 0xFFFFE9A8);
    }
    return p;
}

// A slot of the save and load screens, 370 x 130, in the four states of a button: a frame with
// room for the thumbnail at the left (the text is typed at the right).
TPicture SlotButton() {
    TPicture p(370, 520);
    const uint32_t frame[] = {0xC0E8D8FF, 0xFFFFE9A8, 0x80A0A0B0, 0xFFFFE9A8};
    const uint32_t face[] = {0xE0241A48, 0xFF4A2C68, 0xC0303038, 0xFF6A3C78};
    for (int s = 0; s < 4; ++s) {
        const int y = s * 130;
        p.RoundRect(2, y + 2, 366, 126, 14, frame[s]);
        p.RoundRect(6, y + 6, 358, 118, 11, face[s]);
        p.Rect(8, y + 4, 164, 122, 0xFF101018);
    }
    return p;
}

// A small button of the save and load screens, 170 x 48, in four states.
TPicture SmallButton(const std::string& label) {
    TPicture p(170, 192);
    const uint32_t frame[] = {0xC0E8D8FF, 0xFFFFE9A8, 0x80A0A0B0, 0xFFFFE9A8};
    const uint32_t face[] = {0xE0241A48, 0xFF6A3C78, 0xC0303038, 0xFF6A3C78};
    const uint32_t text[] = {0xFFE8D8FF, 0xFFFFFFFF, 0xFF808088, 0xFFFFE9A8};
    for (int s = 0; s < 4; ++s) {
        const int y = s * 48;
        p.RoundRect(2, y + 2, 166, 44, 12, frame[s]);
        p.RoundRect(5, y + 5, 160, 38, 10, face[s]);
        p.TextCentred(85, y + 17, label, 2, text[s]);
    }
    return p;
}

// A character's face for the back-log: hair around a round face, 48 x 48.
TPicture Face(uint32_t hair, uint32_t accent) {
    TPicture p(48, 48);
    p.Ellipse(24, 24, 23, 23, accent);
    p.Ellipse(24, 22, 19, 19, hair);
    p.Ellipse(24, 28, 15, 15, 0xFFFFE0CC);
    p.Ellipse(18, 28, 2, 3, 0xFF302020);
    p.Ellipse(30, 28, 2, 3, 0xFF302020);
    return p;
}

TPicture MessageFrame() {
    TPicture p(760, 170);
    p.RoundRect(0, 0, 760, 170, 18, 0xD0F0F4FF);
    p.RoundRect(4, 4, 752, 162, 15, 0xC0182040);
    return p;
}

// Grey levels that fall from the left edge to the right one: a wipe in along them uncovers the new
// scene from the left, the brightest parts first.
TPicture RuleWipe() {
    TPicture p(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const uint32_t v = static_cast<uint32_t>(255 - std::clamp((x + y / 4) * 255 / 950, 0, 255));
            p.Px[static_cast<size_t>(y) * 800 + x] = 0xFF000000 | v << 16 | v << 8 | v;
        }
    return p;
}

// Frame k of a star that turns and pulses, 96 x 96.
TPicture Sparkle(int k, int count) {
    TPicture p(96, 96);
    const double a = k * M_PI / 2 / count, s = 0.6 + 0.4 * std::sin(k * 2 * M_PI / count);
    for (int arm = 0; arm < 4; ++arm) {
        const double t = a + arm * M_PI / 2;
        const double tipX = 48 + 44 * s * std::cos(t), tipY = 48 + 44 * s * std::sin(t);
        const double sideX = 8 * std::cos(t + M_PI / 2), sideY = 8 * std::sin(t + M_PI / 2);
        p.Triangle(48 + sideX, 48 + sideY, tipX, tipY, 48 - sideX, 48 - sideY, 0xE0FFF6C0);
    }
    p.Ellipse(48, 48, 10 * s + 4, 10 * s + 4, 0xFFFFFFFF);
    return p;
}

bool Write(const fs::path& path, const TPicture& p) {
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::vector<uint8_t> rgba(p.Px.size() * 4);
    for (size_t i = 0; i < p.Px.size(); ++i) {
        rgba[4 * i] = static_cast<uint8_t>(p.Px[i] >> 16);
        rgba[4 * i + 1] = static_cast<uint8_t>(p.Px[i] >> 8);
        rgba[4 * i + 2] = static_cast<uint8_t>(p.Px[i]);
        rgba[4 * i + 3] = static_cast<uint8_t>(p.Px[i] >> 24);
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(p.W);
    image.height = static_cast<png_uint_32>(p.H);
    image.format = PNG_FORMAT_RGBA;
    if (png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr)) return true;
    std::fprintf(stderr, "kelpaint: %s: %s\n", path.c_str(), image.message);
    png_image_free(&image);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (args.size() != 2 || args[0] != "demo") {
        std::fputs("kelpaint: wrong usage\n(see kelpaint --help)\n", stderr);
        return 2;
    }
    const fs::path out = args[1], image = out / "image";
    bool ok = Write(image / "title.png", Title()) && Write(image / "park.png", Park()) &&
              Write(image / "ending.png", Ending()) &&
              Write(image / "hana.png", Character(0xFF5A3020, 0xFFE86A8A, true)) &&
              Write(image / "sora.png", Character(0xFF20283A, 0xFF4A78C8, false)) &&
              Write(image / "btn_start.png", Button("START")) && Write(image / "sky.png", Sky()) &&
              Write(image / "flowers.png", Flowers()) && Write(image / "btn_sky.png", Button("THE SKY")) &&
              Write(image / "btn_flowers.png", Button("FLOWERS")) && Write(image / "msg_frame.png", MessageFrame()) &&
              Write(image / "rule_wipe.png", RuleWipe());
    // A horizontal bar: the thumb travels along the track.
    TPicture thumb(24, 32), track(320, 32);
    thumb.RoundRect(0, 0, 24, 32, 8, 0xFFFFE9A8);
    thumb.RoundRect(4, 4, 16, 24, 5, 0xFF6A3C78);
    track.RoundRect(0, 10, 320, 12, 6, 0xA0E8D8FF);
    ok = ok && Write(image / "bar_thumb.png", thumb) && Write(image / "bar_track.png", track) &&
         Write(image / "blank.png", TPicture(4, 4));
    // The system menu: a panel, and the faces of its buttons, which replace the picture of the
    // button animation (image/menu_button.png, for kelanim).
    const fs::path menu = out / "System" / "Menu";
    TPicture panel(320, 580);
    panel.RoundRect(0, 0, 320, 580, 18, 0xD0F0F4FF);
    panel.RoundRect(4, 4, 312, 572, 15, 0xE0182040);
    ok = ok && Write(menu / "menu_panel.png", panel) && Write(image / "menu_button.png", MenuButton(""));
    for (const char* label : {"RETURN", "SAVE", "LOAD", "QUICK LOAD", "LOG", "MARK", "CONFIG", "TITLE", "EXIT"}) {
        std::string file = "menu_" + std::string(label) + ".png";
        std::replace(file.begin(), file.end(), ' ', '_');
        std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
        ok = ok && Write(menu / file, MenuButton(label));
    }
    // The back-log screen: a voice icon, a face for each character, a vertical bar.
    const fs::path log = out / "System" / "Log";
    TPicture voice(24, 24), thumb2(16, 40), track2(16, 440);
    voice.Ellipse(12, 12, 11, 11, 0xE0FFF6C0);
    voice.Rect(6, 9, 5, 6, 0xFF6A3C78);
    voice.Triangle(10, 12, 17, 5, 17, 19, 0xFF6A3C78);
    thumb2.RoundRect(0, 0, 16, 40, 6, 0xFFFFE9A8);
    track2.RoundRect(5, 0, 6, 440, 3, 0xA0E8D8FF);
    ok = ok && Write(log / "voice.png", voice) && Write(log / "hana.png", Face(0xFF5A3020, 0xFFE86A8A)) &&
         Write(log / "sora.png", Face(0xFF20283A, 0xFF4A78C8)) && Write(log / "thumb.png", thumb2) &&
         Write(log / "track.png", track2);
    // The save and load screens: the slots and the small buttons (faces of the button animations
    // fs_slot.b and fs_button.b), the picture of an empty slot and the mark of the newest save.
    const fs::path files = out / "System" / "FileSelect";
    TPicture noData(160, 120, 0xFF202030), mark(56, 24);
    noData.TextCentred(80, 53, "NO DATA", 2, 0xFF808090);
    mark.RoundRect(0, 0, 56, 24, 8, 0xFFFFE9A8);
    mark.TextCentred(28, 5, "NEW", 2, 0xFF6A3C78);
    ok = ok && Write(image / "fs_slot.png", SlotButton()) && Write(image / "fs_button.png", SmallButton("")) &&
         Write(files / "fs_nodata.png", noData) && Write(files / "fs_new.png", mark);
    for (const char* label : {"1", "2", "3", "4", "RETURN", "DELETE", "QUICK SAVE", "QUICK LOAD"}) {
        std::string file = "fs_" + std::string(label) + ".png";
        std::replace(file.begin(), file.end(), ' ', '_');
        std::transform(file.begin(), file.end(), file.begin(), [](unsigned char c) { return std::tolower(c); });
        ok = ok && Write(files / file, SmallButton(label));
    }
    constexpr int kSparkleFrames = 12;
    for (int k = 0; ok && k < kSparkleFrames; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "frame%02d.png", k);
        ok = Write(out / "sparkle" / name, Sparkle(k, kSparkleFrames));
    }
    return ok ? 0 : 1;
}
