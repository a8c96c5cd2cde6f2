#include "media/ImageEffectLib.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "foundation/uMisc.h"
#include "platform/ClassLib.h"

namespace ImageEffectLib {

namespace {

struct TNamedKind {
    std::string_view Name;
    TEffectKind Kind;
};
constexpr TNamedKind kKinds[] = {
    {"zoom", TEffectKind::Zoom},   {"blur", TEffectKind::Blur},     {"bright", TEffectKind::Bright},
    {"gamma", TEffectKind::Gamma}, {"range", TEffectKind::Range},   {"toneline", TEffectKind::ToneLine},
    {"color", TEffectKind::Color}, {"chroma", TEffectKind::Chroma}, {"mirror", TEffectKind::Mirror},
};

// An argument as written: empty, not a number, or a number. Some defaults tell the first two apart.
struct TArgument {
    bool Empty = true;
    std::optional<int64_t> Value;

    int64_t Or(int64_t fallback) const { return Value.value_or(fallback); }
};

TArgument ArgumentOf(const std::string& element) {
    TArgument a;
    a.Empty = element.empty();
    int64_t v = 0;
    if (!a.Empty && uMisc::TryStrToInt(element, 64, uMisc::THexPrefix::DollarOr0x, v)) a.Value = v;
    return a;
}

int32_t Int(int64_t v) {
    return static_cast<int32_t>(
        std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

// A percentage as the fraction the effects take.
float Percent(int64_t v) {
    return static_cast<float>(static_cast<double>(v) / 100);
}

}  // namespace

TImageEffectList TImageEffectList::Parse(std::string_view text) {
    TImageEffectList list;
    const std::string lowered = ClassLib::LowerAscii(text);
    const auto items = uMisc::SplitString("\\", lowered, true, true, 0);
    for (int i = 0; i < items->Count(); ++i) {
        const auto elements = uMisc::SplitString(",", (*items)[i], true, true, 16);
        const std::string& name = (*elements)[0];
        const auto known =
            std::find_if(std::begin(kKinds), std::end(kKinds), [&](const TNamedKind& k) { return k.Name == name; });
        if (known == std::end(kKinds)) continue;
        TArgument a[4];
        for (int j = 0; j < 4; ++j)
            a[j] = ArgumentOf((*elements)[j + 1]);
        TEffect e;
        e.Kind = known->Kind;
        switch (e.Kind) {
            case TEffectKind::Zoom: {
                const int64_t zoomX = a[2].Or(100);
                e.Args = {a[0].Or(0), a[1].Or(0), zoomX, a[3].Empty ? zoomX : a[3].Or(100)};
                break;
            }
            case TEffectKind::Blur: {
                const int64_t width = a[0].Or(4);
                e.Args = {width, a[1].Empty ? width : a[1].Or(4), 0, 0};
                break;
            }
            case TEffectKind::Bright:
                e.Args = {a[0].Or(0), a[1].Or(0), 0, 0};
                break;
            case TEffectKind::Gamma:
                e.Args = {a[0].Or(100), 0, 0, 0};
                break;
            case TEffectKind::Range:
                e.Args = {a[0].Or(0), a[1].Or(255), 0, 0};
                break;
            case TEffectKind::ToneLine:
                e.Args = {a[0].Or(0), a[1].Or(0), a[2].Or(255), a[3].Or(255)};
                break;
            case TEffectKind::Color:
                e.Args = {static_cast<int64_t>(static_cast<uint32_t>(a[0].Or(0))), a[1].Or(0), 0, 0};
                break;
            case TEffectKind::Chroma:
                e.Args = {a[0].Or(0), 0, 0, 0};
                break;
            case TEffectKind::Mirror:
                e.Args = {a[0].Or(0), a[1].Or(0), 0, 0};
                break;
        }
        if (e.Kind != TEffectKind::Color)
            for (int64_t& v : e.Args)
                v = Int(v);
        list.Items.push_back(e);
    }
    return list;
}

void TImageEffectList::ApplyTo(TARGB8888& picture) const {
    for (const TEffect& e : Items) {
        const auto& a = e.Args;
        switch (e.Kind) {
            case TEffectKind::Zoom:
                picture.Zoom(Int(a[0]), Int(a[1]), Percent(a[2]), Percent(a[3]));
                break;
            case TEffectKind::Blur:
                picture.Blur(Int(a[0]), Int(a[1]));
                break;
            case TEffectKind::Bright:
                picture.Bright(Percent(a[0]), Percent(a[1]));
                break;
            case TEffectKind::Gamma:
                picture.Gamma(Percent(a[0]));
                break;
            case TEffectKind::Range:
                picture.Range(Int(a[0]), Int(a[1]));
                break;
            case TEffectKind::ToneLine:
                picture.ToneLine(Int(a[0]), Int(a[1]), Int(a[2]), Int(a[3]));
                break;
            case TEffectKind::Color:
                if (a[1] >= 0 && a[1] <= 5)
                    picture.ColorTone(static_cast<uint32_t>(a[0]), static_cast<uint8_t>(a[1] + 2));
                break;
            case TEffectKind::Chroma:
                picture.Chroma(Percent(a[0]));
                break;
            case TEffectKind::Mirror:
                picture.Mirror(a[0] == 1, a[1] == 1);
                break;
        }
    }
}

}  // namespace ImageEffectLib

void TImageEffect::SetEffect(std::string_view effect, const TARGB8888* picture) {
    if (ClassLib::SameTextAscii(effect, Effect)) return;
    Effect = std::string(effect);
    ApplyEffects(picture);
}

void TImageEffect::ApplyEffects(const TARGB8888* picture) {
    EffectPicture.reset();
    if (Effect.empty() || !picture) return;
    EffectPicture = std::make_unique<TARGB8888>();
    EffectPicture->Assign(picture);
    ImageEffectLib::TImageEffectList::Parse(Effect).ApplyTo(*EffectPicture);
}
