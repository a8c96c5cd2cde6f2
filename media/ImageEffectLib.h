// Effect texts: a list of picture effects written as text, for instance
// "zoom,320,240,150\blur,4". Items are separated by "\", the elements of an item by ","; the
// first element names the effect, the others are its integer arguments (decimal, or hexadecimal
// after "$" or "0x"). Case does not matter, blanks and tabs are dropped, and "//" ends the text.
// The effects run in order on a copy of a picture; a name that is not known is passed over.
//
// | name     | arguments (default)                                  | effect                          |
// | zoom     | x (0), y (0), zoom x % (100), zoom y % (zoom x; a    | TARGB8888::Zoom                 |
// |          | non-number gives 100)                                |                                 |
// | blur     | width (4), height (width; a non-number gives 4)      | TARGB8888::Blur                 |
// | bright   | brightness % (0), contrast % (0)                     | TARGB8888::Bright               |
// | gamma    | gamma % (100)                                        | TARGB8888::Gamma                |
// | range    | a (0), b (255)                                       | TARGB8888::Range                |
// | toneline | input low (0), output low (0), input high (255),     | TARGB8888::ToneLine             |
// |          | output high (255)                                    |                                 |
// | color    | colour 0xAARRGGBB (0; the low 32 bits of any         | TARGB8888::ColorTone with blend |
// |          | integer), tone 0..5 (0; others do nothing)           | mode tone + 2                   |
// | chroma   | amount % (0)                                         | TARGB8888::Chroma               |
// | mirror   | horizontal (0), vertical (0): 1 turns it on          | TARGB8888::Mirror               |
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/ARGB8888Lib.h"

namespace ImageEffectLib {

enum class TEffectKind : uint8_t { Zoom, Blur, Bright, Gamma, Range, ToneLine, Color, Chroma, Mirror };

// One item of an effect text with its arguments resolved (defaults filled in). Arguments beyond
// the i32 range are held at its ends, except the colour, which keeps its low 32 bits.
struct TEffect {
    TEffectKind Kind = TEffectKind::Zoom;
    std::array<int64_t, 4> Args{};
};

class TImageEffectList {
public:
    // Reads an effect text; items with an unknown name are left out.
    static TImageEffectList Parse(std::string_view text);
    // Runs every effect in order on the picture.
    void ApplyTo(TARGB8888& picture) const;

    std::vector<TEffect> Items;
};

}  // namespace ImageEffectLib

// An effect text together with the copy of a picture that shows it: what an embedded picture of
// an animation keeps besides its plain picture.
class TImageEffect {
public:
    // Takes a new effect text when it differs from Effect other than in letter case, and then
    // makes EffectPicture anew from picture; otherwise nothing changes.
    void SetEffect(std::string_view effect, const TARGB8888* picture);
    // EffectPicture := a copy of picture with Effect applied; nullptr when Effect is empty or
    // there is no picture.
    void ApplyEffects(const TARGB8888* picture);

    std::string Effect;
    std::unique_ptr<TARGB8888> EffectPicture;
};
