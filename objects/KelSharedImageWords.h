// The words an image and a scroll bar share: the input and draw masks ("in", "?in", "out",
// "?out"), the four user integers and texts ("ui", "?ui", "us", "?us") and the two channels
// ("sc", "?sc", "dc", "?dc"). The target is whatever offers the setters and user data of
// TImageLib; the masks are read back from its record, the channels from the picture that plays
// the sounds (a bar's thumb).
#pragma once

#include <cstdint>

#include "objects/ImageLib.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"

namespace KelSharedImageWords {

// True when code is one of the shared words, which it has then carried out; false for any other
// word, which is left to the caller's own table.
template <class TTarget, class TMaskRecord>
bool DoSharedImageWord(TKelCommandArgs& a, int32_t code, TTarget& target, const TMaskRecord& masks,
                       const TImageRecord& channels) {
    switch (code) {
        case Cmd("in"):
            target.SetInputMask(a.Empty(1) ? 255u : static_cast<uint32_t>(a.Int(1)));
            return true;
        case Cmd("?in"):
            a.ClearResults();
            a.SetInt(0, static_cast<int32_t>(masks.InputMask));
            return true;
        case Cmd("out"):
            target.SetDrawMask(a.Empty(1) ? 255u : static_cast<uint32_t>(a.Int(1)));
            return true;
        case Cmd("?out"):
            a.ClearResults();
            a.SetInt(0, static_cast<int32_t>(masks.DrawMask));
            return true;
        case Cmd("ui"):
            for (int32_t i = 0; i < 4; ++i)
                if (!a.Empty(i + 1)) target.SetUserInt(i, a.Int(i + 1));
            return true;
        case Cmd("?ui"):
            a.ClearResults();
            for (int32_t i = 0; i < 4; ++i)
                a.SetInt(i, target.UserInt(i));
            return true;
        case Cmd("us"):
            for (int32_t i = 0; i < 4; ++i)
                if (!a.Empty(i + 1)) target.SetUserString(i, a.Text(i + 1));
            return true;
        case Cmd("?us"):
            a.ClearResults();
            for (int32_t i = 0; i < 4; ++i)
                a.SetStr(i, target.UserString(i));
            return true;
        case Cmd("sc"):
        case Cmd("dc"): {
            const bool effect = code == Cmd("dc");
            const int32_t channel = a.Channel(1, effect);
            if (channel < 0) return true;
            if (effect)
                target.SetEffectChannel(channel);
            else
                target.SetSoundChannel(channel);
            return true;
        }
        case Cmd("?sc"):
            a.ClearResults();
            a.SetInt(0, channels.SoundChannel);
            return true;
        case Cmd("?dc"):
            a.ClearResults();
            a.SetInt(0, channels.EffectChannel);
            return true;
        default:
            return false;
    }
}

}  // namespace KelSharedImageWords
