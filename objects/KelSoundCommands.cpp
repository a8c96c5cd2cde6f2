#include "objects/KelSoundCommands.h"

#include "foundation/ErrorLogLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/KelDirectShow.h"
#include "objects/KelCommandArgs.h"
#include "platform/Encoding.h"
#include "script/KelScriptLib.h"

namespace KelSoundCommands {

bool DoDirectShowCommand(TKelScript& script, int32_t code, TStringList& args, TKelObjectDataCustom&) {
    TKelCommandArgs a(script, args);
    TKelDirectShowPlayer* movie = script.Links.Movie;
    switch (code) {
        case Cmd("l"): {
            // The movie object looks under "movie\" itself; the search folders play no part.
            const std::string name = a.Text(1);
            const bool opened = movie && movie->Open(name);
            if (!opened && SystemConfigLib::Config.MovieDecoder != 0)
                ErrorLogLib::ErrorLog("\\l:ムービーファイルのロードに失敗："_sj + name);
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
    registry.RegisterHandler(TObjectKind::DirectShow, DoDirectShowCommand);
}

}  // namespace KelSoundCommands
