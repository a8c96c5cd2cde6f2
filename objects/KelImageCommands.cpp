#include "objects/KelImageCommands.h"

#include <algorithm>
#include <string_view>

#include "foundation/ErrorLogLib.h"
#include "objects/ImageLib.h"
#include "objects/KelCursorImage.h"
#include "objects/KelScreenObjects.h"
#include "objects/KelSharedImageWords.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

constexpr const char* kImageWords[] = {
    "gx",   "gy",  "gz",   "gm",  "ge",   "gf",  "fr",  "ss",  "?tt", "mem", "flt", "?flt", "tmp",
    "?tmp", "lst", "?lst", "lsk", "?lsk", "sp",  "?sp", "ps",  "?ps", "in",  "?in", "out",  "?out",
    "ui",   "?ui", "us",   "?us", "sc",   "?sc", "dc",  "?dc", "l",   "?l",  "m",   "?m",   "p",
    "?p",   "?wh", "ds",   "a",   "?a",   "mm",  "?mm", "i",   "e",   "d",   "?e",  "alg",  "?alg",
};
static_assert(std::size(kImageWords) == 52);

// A layer index of the animation's 256, for the queries that read one layer.
int32_t LayerIndex(int32_t layer) {
    return std::clamp(layer, 0, AnimationBmpLib::kMaxLayers - 1);
}

// The animation's speed factor from a percentage; any 32-bit percentage gives a finite factor.
float SpeedFactor(int32_t percent) {
    return static_cast<float>(percent) / 100.0f;
}

// The easing kinds are a byte in the saved record: a kind outside it is held at its nearest end
// rather than wrapped onto another kind.
int32_t EasingKind(int32_t kind) {
    return std::clamp(kind, 0, 255);
}

// "mem": the animation's text into a string list, and into the results.
void AnimationText(TKelCommandArgs& a, TImageLib& image) {
    const std::string& text = image.Animation->Data->Text;
    TKelObjectDataCustom* object = a.Object(1);
    if (auto* list = dynamic_cast<TKelObjectDataStringList*>(object))
        list->Lines().SetText(text);
    else
        a.Script().Log().ErrorLog("\\mem:list型を引数に指定してください"_sj);
    a.ClearResults();
    a.SetStr(0, text);
}

// "?wh": the frame's size, or the size of one embedded picture.
void Size(TKelCommandArgs& a, TImageLib& image) {
    const bool frame = a.Empty(1);
    const int32_t index = a.Int(1);
    a.ClearResults();
    if (frame) {
        a.SetInt(0, image.GetWidth());
        a.SetInt(1, image.GetHeight());
        return;
    }
    const TABMPImage10& pictures = *image.Animation->Images;
    if (index < 0 || index >= pictures.Count()) return;
    if (const TARGB8888* picture = pictures.Items[static_cast<size_t>(index)]->GetImage()) {
        a.SetInt(0, picture->Width());
        a.SetInt(1, picture->Height());
    }
}

TImageLib* ImageOf(TKelObjectDataCustom& object) {
    auto* link = dynamic_cast<TKelScreenObjectLink<TImageLib>*>(object.ScreenObject());
    return link ? &link->Object() : nullptr;
}

// The cursor images the cursor kinds reach.
TKelScript& CursorOwner(TKelScript& s) {
    return s.TargetScript();
}

TImageLib* CursorOf(IScriptCursorImage* cursor) {
    auto* image = dynamic_cast<TKelCursorImage*>(cursor);
    return image ? &image->Image() : nullptr;
}

}  // namespace

namespace KelImageCommands {

std::span<const char* const> ImageWords() {
    return kImageWords;
}

bool AcceptWithoutTarget(TKelScript& script, int32_t code, std::span<const char* const> words) {
    for (const char* word : words) {
        if (Cmd(word) != code) continue;
        if (word[0] == '?') script.ClearResults();
        return true;
    }
    return false;
}

bool DoImageCommand(TKelScript& script, int32_t code, TStringList& args, TImageLib& image) {
    TKelCommandArgs a(script, args);
    TImageRecord& r = image.Record;
    if (KelSharedImageWords::DoSharedImageWord(a, code, image, r, r)) return true;
    switch (code) {
        case Cmd("gx"):
            a.SetInt(0, image.GetAnchorX(a.Int(1)));
            return true;
        case Cmd("gy"):
            a.SetInt(0, image.GetAnchorY(a.Int(1)));
            return true;
        case Cmd("gz"):
            a.SetInt(0, image.GetZ());
            return true;
        case Cmd("gm"):
            a.SetInt(0, image.GetMotionIndex());
            a.SetStr(0, image.GetCurrentMotionName());
            return true;
        case Cmd("ge"):
            a.SetInt(0, image.IsEnabled() ? 1 : 0);
            a.SetStr(0, image.IsEnabled() ? "Enable" : "Disable");
            return true;
        case Cmd("gf"):
            a.SetInt(0, r.Files[0].empty() ? 0 : 1);
            a.SetStr(0, r.Files[0]);
            return true;
        case Cmd("fr"): {
            const auto [x, y, w, h, colour] = a.Ints<5>();
            image.LoadRect(x, y, w, h, static_cast<uint32_t>(colour));
            return true;
        }
        case Cmd("ss"): {
            const auto [x1, y1, x2, y2] = a.Ints<4>();
            image.SetHitRect(x1, y1, x2, y2);
            return true;
        }
        case Cmd("?tt"):
            a.ClearResults();
            a.SetInt(0, image.Animation->Data->Length);
            return true;
        case Cmd("mem"):
            AnimationText(a, image);
            return true;
        case Cmd("flt"): {
            const int32_t index = a.Int(1);
            const std::string effect = a.Text(2);
            if (index < 0 || index >= TImageLib::kEffectCount) return true;
            image.EffectStrings[static_cast<size_t>(index)] = effect;
            image.ApplyImageEffects();
            return true;
        }
        case Cmd("?flt"): {
            const int32_t index = a.Int(1);
            a.ClearResults();
            if (index >= 0 && index < TImageLib::kEffectCount)
                a.SetStr(0, image.EffectStrings[static_cast<size_t>(index)]);
            return true;
        }
        case Cmd("tmp"):
            r.Paused = a.Int(1) == 1 ? 1 : 0;
            return true;
        case Cmd("?tmp"):
            a.ClearResults();
            a.SetInt(0, r.Paused);
            return true;
        case Cmd("lst"): {
            const auto [layer, ms] = a.Ints<2>();
            image.Animation->SetLayerWait(layer, ms);
            return true;
        }
        case Cmd("?lst"): {
            const int32_t layer = LayerIndex(a.Int(1));
            a.ClearResults();
            a.SetInt(0, image.Animation->LayerWait[static_cast<size_t>(layer)]);
            return true;
        }
        case Cmd("lsk"): {
            const auto [layer, ms] = a.Ints<2>();
            image.Animation->SetLayerTime(layer, ms);
            return true;
        }
        case Cmd("?lsk"): {
            const int32_t layer = LayerIndex(a.Int(1));
            a.ClearResults();
            a.SetInt(0, AnimationBmpLib::RoundHalfEven(image.Animation->LayerTime[static_cast<size_t>(layer)]));
            return true;
        }
        case Cmd("sp"): {
            const auto [x, y] = a.Ints<2>();
            image.SetClickPoint(x, y);
            return true;
        }
        case Cmd("?sp"):
            a.ClearResults();
            a.SetInt(0, r.ClickX);
            a.SetInt(1, r.ClickY);
            return true;
        case Cmd("ps"):
            // The record's percentage follows from the factor when the image is saved.
            image.Animation->Speed = SpeedFactor(a.Int(1));
            return true;
        case Cmd("?ps"):
            a.ClearResults();
            a.SetInt(0, AnimationBmpLib::RoundHalfEven(static_cast<double>(image.Animation->Speed) * 100.0));
            return true;
        case Cmd("l"): {
            // A name that no search folder holds becomes the empty name: a first file missing
            // empties the image and counts as done, so an optional picture never stops a game.
            TImageLib::TFiles files;
            for (size_t i = 0; i < files.size(); ++i)
                files[i] = a.File(static_cast<int32_t>(i) + 1);
            if (!image.LoadImages(files, false, false))
                script.Log().ErrorLog("\\l：画像にロードに失敗："_sj + files[0] + ":" + files[1]);
            // Loading takes its time: the next frame step must not count it, failed or not.
            script.HoldFrameSteps();
            return true;
        }
        case Cmd("?l"):
            a.ClearResults();
            for (int32_t i = 0; i < TImageLib::kFileCount; ++i)
                a.SetStr(i, r.Files[static_cast<size_t>(i)]);
            return true;
        case Cmd("m"): {
            // A number picks a motion by its index, a text by its name; either restarts it.
            const TCalcValue motion = a.Value(1);
            if (motion.Type == TCalcValueType::Integer)
                image.SetMotionByIndex(motion.Value, true);
            else if (motion.Type == TCalcValueType::String)
                image.SetMotion(motion.Text, true);
            return true;
        }
        case Cmd("?m"):
            a.ClearResults();
            a.SetInt(0, image.GetMotionIndex());
            a.SetStr(0, image.GetCurrentMotionName());
            return true;
        case Cmd("p"): {
            const auto [x, y, z, ms] = a.Ints<4>();
            image.MoveTo(x, y, z, ms);
            return true;
        }
        case Cmd("?p"): {
            const auto [horizontal, vertical] = a.Ints<2>();
            a.ClearResults();
            a.SetInt(0, image.GetAnchorX(horizontal));
            a.SetInt(1, image.GetAnchorY(vertical));
            a.SetInt(2, image.GetZ());
            return true;
        }
        case Cmd("?wh"):
            Size(a, image);
            return true;
        case Cmd("ds"): {
            const auto [left, top, right, bottom] = a.Ints<4>();
            image.SetShowRect(left, top, right, bottom);
            return true;
        }
        case Cmd("a"): {
            const auto [alpha, ms] = a.Ints<2>();
            image.FadeTo(alpha, ms);
            return true;
        }
        case Cmd("?a"):
            a.ClearResults();
            a.SetInt(0, r.AlphaTarget);
            return true;
        case Cmd("mm"):
            image.SetMoveEasing(EasingKind(a.Int(1)));
            return true;
        case Cmd("?mm"):
            a.ClearResults();
            a.SetInt(0, r.Easing);
            return true;
        // Clear, Enable and Disable are the object's own: a message window opens and closes, a
        // button shows its states.
        case Cmd("i"):
            image.Clear();
            return true;
        case Cmd("e"):
            image.Enable();
            return true;
        case Cmd("d"):
            image.Disable();
            return true;
        case Cmd("?e"):
            a.ClearResults();
            a.SetInt(0, image.IsEnabled() ? 1 : 0);
            return true;
        case Cmd("alg"): {
            const auto [horizontal, vertical] = a.Ints<2>();
            image.SetAnchor(horizontal, vertical);
            return true;
        }
        case Cmd("?alg"):
            a.ClearResults();
            a.SetInt(0, r.AnchorX);
            a.SetInt(1, r.AnchorY);
            return true;
        default:
            return false;
    }
}

bool ForwardImgCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    TImageLib* image = ImageOf(object);
    return image ? DoImageCommand(script, code, args, *image) : AcceptWithoutTarget(script, code, kImageWords);
}

bool ForwardCsrCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TImageLib* image = CursorOf(CursorOwner(script).Links.Cursor);
    return image ? DoImageCommand(script, code, args, *image) : AcceptWithoutTarget(script, code, kImageWords);
}

bool ForwardScsrCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TImageLib* image = CursorOf(CursorOwner(script).Links.SystemCursor);
    return image ? DoImageCommand(script, code, args, *image) : AcceptWithoutTarget(script, code, kImageWords);
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Image, ForwardImgCommand);
    registry.RegisterHandler(TObjectKind::SysImage, ForwardImgCommand);
    registry.RegisterHandler(TObjectKind::Cursor, ForwardCsrCommand);
    registry.RegisterHandler(TObjectKind::SysCursor, ForwardScsrCommand);
}

}  // namespace KelImageCommands
