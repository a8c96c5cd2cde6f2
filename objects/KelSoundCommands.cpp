#include "objects/KelSoundCommands.h"

#include <algorithm>

#include "foundation/ErrorLogLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/AnimationBmpLib.h"
#include "media/KelDirectShow.h"
#include "media/uSoundLib.h"
#include "platform/Encoding.h"
#include "script/KelCommandArgs.h"
#include "script/KelScriptLib.h"

namespace {

// The names "gp" gives the play states 0..3.
const char* StateName(int32_t state) {
    static const char* const names[] = {"NoFile", "Stop", "Play", "LoopPlay"};
    return state >= 0 && state <= 3 ? names[state] : "";
}

}  // namespace

namespace KelSoundCommands {

bool DoSoundCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    TKelCommandArgs a(script, args);
    TSSound* streams = script.Links.SoundLibrary ? script.Links.SoundLibrary->SSound.get() : nullptr;
    const int32_t ch = TKelScript::ObjectElementIndex(object);
    // The library answers for an invalid channel too; a missing library is an empty one.
    static const TSSoundStreamRecord kNoRecord;
    const TSSoundStreamRecord& record = streams ? streams->Record(ch) : kNoRecord;
    switch (code) {
        case Cmd("l"): {
            const std::string name = a.File(1);
            if (!streams || !streams->LoadStream(ch, name, sgMusic, false, 0))
                script.Log().ErrorLog("\\l：サウンドデータのロードに失敗："_sj + name);
            script.HoldFrameSteps();
            return true;
        }
        case Cmd("?l"):
            a.ClearResults();
            a.SetStr(0, record.Name);
            return true;
        case Cmd("i"):
            if (streams) streams->FreeStream(ch);
            return true;
        case Cmd("p"): {
            const bool loop = a.Int(1) == 1;
            if (streams) streams->Play(ch, loop);
            return true;
        }
        case Cmd("s"): {
            const bool rewind = a.Int(1) == 0;
            if (!streams) return true;
            if (rewind)
                streams->Stop(ch);
            else
                streams->Pause(ch);
            return true;
        }
        case Cmd("?p"): {
            const int32_t state = streams ? streams->GetState(ch) : psNONE;
            a.ClearResults();
            a.SetInt(0, state == psPLAY ? 1 : state == psLOOP ? 2 : 0);
            return true;
        }
        case Cmd("gp"): {
            const int32_t state = streams ? streams->GetState(ch) : psNONE;
            a.SetInt(0, state);
            a.SetStr(0, StateName(state));
            return true;
        }
        case Cmd("v"): {
            const auto [volume, fade] = a.Ints<2>();
            if (streams) streams->SetVolume(ch, volume, fade);
            return true;
        }
        case Cmd("?v"):
            a.ClearResults();
            a.SetInt(0, record.Volume);
            return true;
        case Cmd("gv"):
            a.SetInt(0, streams ? streams->GetVolume(ch) : 255);
            a.SetStr(0, "");
            return true;
        case Cmd("gf"): {
            const std::string name = streams ? streams->GetName(ch) : std::string();
            a.SetStr(0, name);
            a.SetInt(0, name.empty() ? 0 : 1);
            return true;
        }
        case Cmd("gt"):
            a.SetInt(0, streams ? streams->GetLengthMs(ch) : 0);
            a.SetStr(0, "");
            return true;
        case Cmd("tt"):
        case Cmd("?tt"):
            a.ClearResults();
            a.SetInt(0, streams ? streams->GetLengthMs(ch) : 0);
            return true;
        case Cmd("sk"): {
            const int32_t ms = a.Int(1);
            if (streams) streams->SeekMs(ch, ms);
            return true;
        }
        case Cmd("?sk"):
            a.ClearResults();
            a.SetInt(0, streams ? streams->GetPositionMs(ch) : 0);
            return true;
        case Cmd("?nt"):
            a.ClearResults();
            a.SetInt(0, streams ? streams->GetPlayingTimeMs(ch) : 0);
            return true;
        case Cmd("?nv"): {
            const int32_t which = a.Int(1);
            a.ClearResults();
            const double level = streams ? streams->GetLevel(ch, which) : 0.0;
            a.SetInt(0, AnimationBmpLib::RoundHalfEven(level * 256.0));
            return true;
        }
        case Cmd("sv"): {
            const int32_t threshold = a.Int(1);
            if (streams) streams->SkipSilence(ch, threshold);
            return true;
        }
        case Cmd("t"): {
            const auto group = static_cast<uint32_t>(a.Int(1));
            if (streams) streams->SetGroup(ch, group);
            return true;
        }
        case Cmd("?t"):
            a.ClearResults();
            a.SetInt(0, static_cast<int32_t>(record.Group));
            return true;
        case Cmd("agc"): {
            const auto [limit, initialGain, rate, noiseFloor] = a.Ints<4>();
            if (!streams) return true;
            // With the limit alone it is the voices' gain control of the message windows.
            if (a.Empty(4))
                streams->SetAutoGain(ch, limit);
            else
                streams->SetAGC(ch, initialGain, noiseFloor, limit, rate);
            return true;
        }
        case Cmd("?agc"):
            a.ClearResults();
            a.SetInt(0, record.AGCLimit);
            a.SetInt(1, record.AGCInitialGain);
            a.SetInt(2, record.AGCRate);
            a.SetInt(3, record.AGCNoiseFloor);
            return true;
        case Cmd("eq"): {
            // Four gains and a fade, or eight gains and a fade: which one, the count of arguments
            // tells.
            a.Pad(10);
            const std::array<int32_t, 10> v = a.Ints<10>();
            if (!streams) return true;
            if (a.Empty(7))
                streams->SetEqualizer4(ch, v.data(), v[4]);
            else if (a.Empty(10))
                streams->SetEqualizer8(ch, v.data(), v[8]);
            return true;
        }
        case Cmd("sw"): {
            const auto [first, second] = a.Ints<2>();
            const int32_t last = streams ? streams->Count() - 1 : -1;
            if (last < 0) return true;
            streams->SwapStreams(std::clamp(first, 0, last), std::clamp(second, 0, last));
            return true;
        }
        default:
            return false;
    }
}

bool DoDirectSoundCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom& object) {
    TKelCommandArgs a(script, args);
    TDSound* effects = script.Links.SoundLibrary ? script.Links.SoundLibrary->DSound.get() : nullptr;
    const int32_t ch = TKelScript::ObjectElementIndex(object);
    static const TDSoundChannelRecord kNoRecord;
    const TDSoundChannelRecord& record = effects ? effects->Record(ch) : kNoRecord;
    switch (code) {
        case Cmd("l"): {
            const std::string name = a.File(1);
            if (!effects || !effects->LoadSound(ch, name, sgEffect, false, 0))
                script.Log().ErrorLog("\\l:サウンドデータのロードに失敗："_sj + name);
            script.HoldFrameSteps();
            return true;
        }
        case Cmd("p"): {
            const bool loop = a.Int(1) == 1;
            if (effects) effects->Play(ch, loop, 0);
            return true;
        }
        case Cmd("s"):
            if (effects) effects->Stop(ch);
            return true;
        case Cmd("i"):
            if (effects) effects->FreeChannel(ch);
            return true;
        case Cmd("v"):
        case Cmd("mv"): {
            const int32_t volume = a.Int(1);
            if (effects) effects->SetVolume(ch, volume);
            return true;
        }
        case Cmd("?v"):
        case Cmd("gv"):
            a.ClearResults();
            a.SetInt(0, record.Volume);
            return true;
        case Cmd("gp"): {
            const int32_t state = effects ? effects->GetState(ch) : psNONE;
            a.SetInt(0, state);
            a.SetStr(0, StateName(state));
            return true;
        }
        case Cmd("gf"):
            a.ClearResults();
            a.SetStr(0, record.Name);
            return true;
        default:
            return false;
    }
}

bool DoDirectShowCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelDirectShowPlayer* movie = script.Links.Movie;
    switch (code) {
        case Cmd("l"): {
            // The movie object looks under "movie\" itself; the search folders play no part.
            const std::string name = a.Text(1);
            const bool opened = movie && movie->Open(name);
            if (!opened && script.Config().Config.MovieDecoder != 0)
                script.Log().ErrorLog("\\l:ムービーファイルのロードに失敗："_sj + name);
            script.DelayFrames();
            return true;
        }
        case Cmd("?l"):
            a.ClearResults();
            if (movie) a.SetStr(0, movie->State().FileName);
            return true;
        case Cmd("p"):
            if (movie) movie->Play();
            script.DelayFrames();
            return true;
        case Cmd("s"):
            if (movie) movie->Pause();
            return true;
        case Cmd("?p"):
            a.ClearResults();
            if (movie) a.SetInt(0, movie->GetState() == DirectShowLib::mpsPlaying ? 1 : 0);
            return true;
        case Cmd("i"):
            if (movie) movie->Close();
            script.DelayFrames();
            return true;
        case Cmd("v"): {
            const int32_t volume = a.Int(1);
            if (movie) movie->SetVolume(volume);
            return true;
        }
        case Cmd("?v"):
            a.ClearResults();
            if (movie) a.SetInt(0, movie->State().Volume);
            return true;
        case Cmd("pp"): {
            const auto [left, top] = a.Ints<2>();
            if (movie) movie->SetPosition(left, top);
            return true;
        }
        case Cmd("?pp"):
            a.ClearResults();
            if (!movie) return true;
            a.SetInt(0, movie->State().Left);
            a.SetInt(1, movie->State().Top);
            return true;
        case Cmd("ss"): {
            const auto [width, height] = a.Ints<2>();
            if (movie) movie->SetSize(width, height);
            return true;
        }
        case Cmd("?ss"):
            a.ClearResults();
            if (!movie) return true;
            a.SetInt(0, movie->State().Width);
            a.SetInt(1, movie->State().Height);
            return true;
        case Cmd("sk"): {
            const int32_t ms = a.Int(1);
            if (movie) movie->Seek(ms);
            return true;
        }
        case Cmd("?sk"):
            a.ClearResults();
            if (movie) a.SetInt(0, movie->GetPosition());
            return true;
        case Cmd("tt"):
        case Cmd("?tt"):
            a.ClearResults();
            if (movie) a.SetInt(0, movie->GetLength());
            return true;
        default:
            return false;
    }
}

void Register(TObjectKindRegistry& registry) {
    registry.RegisterHandler(TObjectKind::Sound, DoSoundCommand);
    registry.RegisterHandler(TObjectKind::DirectSound, DoDirectSoundCommand);
    registry.RegisterHandler(TObjectKind::DirectShow, DoDirectShowCommand);
}

}  // namespace KelSoundCommands
