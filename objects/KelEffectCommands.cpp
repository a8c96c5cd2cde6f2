#include "objects/KelEffectCommands.h"

#include "objects/KelCameraLib.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelLogdataLib.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"

namespace {

// The forms of "fdi" and "fdo". Picture transitions fade without a file, wipe through a rule
// picture, or (going in) play a ".b" animation; the form number itself does not choose among them.
enum TTransitionForm : int32_t {
    tfPicture0 = 0,
    tfPicture1 = 1,
    tfColor = 2,
    tfPicture3 = 3,
};

// The interpreter whose service the words reach.
TKelScript& Target(TKelScript& s) {
    return s.TargetScript();
}

// A layer argument: the whole screen when it is left out.
int32_t LayerOrScreen(const TKelCommandArgs& a, int32_t i) {
    return a.Empty(i) ? kWholeScreenLayer : a.Int(i);
}

void Transition(TKelScript& s, TKelGraphic* g, const TKelCommandArgs& a, bool in) {
    const int32_t form = a.Int(1), ms = a.Int(2);
    switch (form) {
        case tfPicture0:
        case tfPicture1:
        case tfPicture3: {
            const std::string file = a.File(3);
            const int32_t layer = LayerOrScreen(a, 4);
            if (!g) break;
            if (in)
                g->TransitionIn(ms, layer, file);
            else
                g->TransitionOut(ms, layer, file);
            break;
        }
        case tfColor: {
            const auto color = static_cast<uint32_t>(a.Int(3));
            const auto mode = static_cast<uint8_t>(a.Int(4));
            const int32_t layer = LayerOrScreen(a, 5);
            if (!g) break;
            // A colour fade starts from where the last one was going. Coming in, the colour covers
            // the screen at once and then clears; going out, it rises from clear and stays.
            const uint32_t clear = color & 0x00FFFFFFu;
            if (in) {
                g->ColorFade(0, layer, color, mode);
                g->ColorFade(ms, layer, clear, mode);
            } else {
                g->ColorFade(ms, layer, clear, mode);
                g->ColorFade(ms, layer, color, mode);
            }
            break;
        }
        default:
            break;
    }
    // The transition starts with this frame: the next step must not count the time spent until now.
    s.HoldFrameSteps();
}

}  // namespace

namespace KelEffectCommands {

bool DoEffectCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelGraphic* g = KelGraphicLib::GraphicOf(Target(script));
    switch (code) {
        case Cmd("bg"): {
            const auto color = static_cast<uint32_t>(a.Int(1));
            if (g) g->SetBackColor(color);
            return true;
        }
        case Cmd("?bg"):
            a.ClearResults();
            if (g) a.SetInt(0, static_cast<int32_t>(g->Record.BackColor));
            return true;
        case Cmd("i"):
            if (g) g->EndTransition();
            return true;
        case Cmd("fdi"):
        case Cmd("fdo"):
            Transition(script, g, a, code == Cmd("fdi"));
            return true;
        case Cmd("c"): {
            const int32_t layer = LayerOrScreen(a, 1);
            if (g) g->Freeze(layer);
            return true;
        }
        case Cmd("cc"):
            // Accepted with its layer and left without effect: scripts use it and expect no
            // message.
            a.Int(1);
            if (g) g->Nop();
            return true;
        case Cmd("?c"):
            a.ClearResults();
            if (g) a.SetInt(0, g->Kind() == tkFreeze ? 1 : 0);
            return true;
        case Cmd("mb"): {
            const bool on = a.Int(1) == 1;
            if (g) g->SetFrameBlend(on);
            return true;
        }
        case Cmd("?mb"):
            a.ClearResults();
            if (g) a.SetInt(0, g->Record.FrameBlend);
            return true;
        case Cmd("sc"):
        case Cmd("dc"): {
            const bool effect = code == Cmd("dc");
            const int32_t channel = a.Channel(1, effect);
            if (channel < 0 || !g) return true;
            if (effect)
                g->SetAnimEffectChannel(static_cast<uint8_t>(channel));
            else
                g->SetAnimSoundChannel(static_cast<uint8_t>(channel));
            return true;
        }
        case Cmd("?sc"):
            a.ClearResults();
            if (g) a.SetInt(0, g->Record.SoundChannel);
            return true;
        case Cmd("?dc"):
            a.ClearResults();
            if (g) a.SetInt(0, g->Record.EffectChannel);
            return true;
        default:
            return false;
    }
}

bool DoLogCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelLogData* log = Target(script).Links.BackLog;
    switch (code) {
        case Cmd("i"):
            if (log) log->Clear();
            return true;
        case Cmd("t"): {
            // Speaker, text and voice are stored as written; quotes stay part of them.
            const auto [volume, gain] = a.Ints<2>(4);
            if (log) log->Add(a.Raw(2), a.Raw(1), a.Raw(3), 0, 0, volume, gain);
            return true;
        }
        case Cmd("o"): {
            const std::string speaker = a.Text(1), text = a.Text(2), voice = a.Text(3);
            const auto [volume, gain] = a.Ints<2>(4);
            if (log) log->Add(text, speaker, voice, 0, 0, volume, gain);
            return true;
        }
        case Cmd("?o"): {
            const int32_t i = a.Int(1);
            a.ClearResults();
            if (!log) return true;
            a.SetStr(0, log->GetName(i));
            a.SetStr(1, log->GetText(i));
            a.SetStr(2, log->GetVoice(i));
            a.SetInt(0, log->GetVolume(i));
            a.SetInt(1, log->GetValue4(i));
            return true;
        }
        case Cmd("?c"):
            a.ClearResults();
            if (log) a.SetInt(0, log->Count);
            return true;
        default:
            return false;
    }
}

bool DoCameraCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TCamera* camera = KelGraphicLib::CameraOf(Target(script));
    switch (code) {
        case Cmd("i"):
            if (camera) camera->Reset();
            return true;
        case Cmd("p"): {
            const auto [x, y, ms] = a.Ints<3>();
            if (camera) camera->MoveTo(x, y, ms);
            return true;
        }
        case Cmd("?p"):
            a.ClearResults();
            if (!camera) return true;
            a.SetInt(0, camera->TargetX);
            a.SetInt(1, camera->TargetY);
            return true;
        case Cmd("mm"): {
            const int32_t curve = a.Int(1);
            if (camera) camera->SetCurve(static_cast<uint8_t>(curve));
            return true;
        }
        case Cmd("?mm"):
            a.ClearResults();
            if (camera) a.SetInt(0, camera->Curve);
            return true;
        default:
            return false;
    }
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Effect, DoEffectCommand);
    registry.RegisterHandler(TObjectKind::Log, DoLogCommand);
    registry.RegisterHandler(TObjectKind::Camera, DoCameraCommand);
}

}  // namespace KelEffectCommands
