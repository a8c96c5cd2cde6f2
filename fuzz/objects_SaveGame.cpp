// Save games read from any bytes. The first byte chooses how the rest is taken:
//   bit 0 clear  the rest is a whole save file, checked as LoadGame checks one;
//   bit 0 set    the rest is the body of a save file that is made around it under the game's key
//                with its checksum right (bit 1: compressed as well), so that every record of the
//                body is reached;
//   bit 2        the sound library is linked, whose record takes 25118 bytes of every body; without
//                it that record is left out, and small bodies reach the records after it.
// A game that loads runs a few frames and is saved again, and what it wrote must load again. The
// world: an interpreter on a 32 x 24 screen with its compositor, camera and cursors, screen
// objects, a back-log, a movie object that finds no movies, and in the packs the script "game.s",
// a picture "pic.bmp" and the sounds of the sound targets.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/SystemConfigLib.h"
#include "fuzz/FuzzObjects.h"
#include "fuzz/FuzzSound.h"
#include "fuzz/FuzzSupport.h"
#include "media/KelDirectShow.h"
#include "objects/KelCursorImage.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelLogdataLib.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelSaveRecords.h"
#include "objects/KelScreenObjects.h"
#include "script/KelGeneralCommands.h"
#include "script/KelSaveData.h"
#include "script/KelScriptLib.h"

namespace {

constexpr uint8_t kBody = 1, kCompressed = 2, kWithSound = 4;

struct TWorld {
    TWorld() {
        Sounds.Context.Settings.ScreenWidth = 32;
        Sounds.Context.Settings.ScreenHeight = 24;
        Sounds.Context.Settings.ThumWidth = 8;
        Sounds.Context.Settings.ThumHeight = 6;
        Sounds.Files["game.s"] =
            "@@main\r\n\\gvar,img,pic\r\n\\gvar,msg,mw\r\n\\gvar,int,n\r\n\\scp,pic\r\n\\l,\"pic.bmp\"\r\n\\e\r\n"
            "\\scp,mw\r\n\\t,{a[c,$FFFF0000]b}\r\n\\msg\r\n\\cal,n=n+1\r\n\\wait,50\r\n\\jmp,@@main\r\n";
        Sounds.Files["pic.bmp"] = FuzzObjects::Bmp(6, 4, 0xFF336699);
        KelGraphicLib::Register(Kinds);
        KelCursorImage::Register(Kinds);
        KelScreenObjects::Register(Kinds);
        KelImageCommands::Register(Kinds);
        KelMessageCommands::Register(Kinds);
        KelSaveRecords::Register(Kinds);
        for (TKelScript* script : {&Silent, &WithSound}) {
            script->Kinds = &Kinds;
            script->Words.General = &KelGeneralCommands::Handler();
            TScriptLinks links;
            links.Context = &Sounds.Context.Context;
            links.BackLog = &Log;
            links.Movie = &Movie;
            links.SoundLibrary = script == &WithSound ? Sounds.Sound.get() : nullptr;
            if (!script->Setup(links)) std::abort();
        }
    }

    FuzzSound::TSoundWorld Sounds;
    TObjectKindRegistry Kinds;
    TKelLogData Log;
    TKelDirectShowPlayer Movie{TMovieDevices{.Log = &Sounds.Context.Log}};
    // An interpreter for each form; a load resets it, and so does every input.
    TKelScript Silent, WithSound;
};

// A few frames of whatever was loaded, at a bounded number of lines each.
void Run(TKelScript& script) {
    script.State.LinesPerFrame = std::min<uint32_t>(script.State.LinesPerFrame, 64);
    for (int frame = 0; frame < 3; ++frame) {
        script.Execute(16, true);
        script.Draw(0, true, 0xFFFF);
        script.Log().ErrorFlag = false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    if (size < 1) return 0;
    const uint8_t mode = data[0];
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    world.Log.Clear();
    world.Sounds.Sound->StopAll();
    world.Movie.Close();
    TKelScript& script = (mode & kWithSound) ? world.WithSound : world.Silent;
    script.Reset();

    TMemoryStream file(rest);
    if (mode & kBody) {
        TKelSaveData save(world.Sounds.Context.Settings.CodeKey);
        save.SetHeader({}, "");
        save.SetBody(TMemoryStream(rest));
        file.Clear();
        save.SaveToStream(file, true, (mode & kCompressed) != 0);
        file.SetPosition(0);
    }
    if (script.LoadGameFromStream(file)) {
        Run(script);
        TMemoryStream again;
        if (!script.SaveGameToStream(again, true)) std::abort();
        again.SetPosition(0);
        if (!script.LoadGameFromStream(again)) std::abort();
        Run(script);
    }
    world.Sounds.Context.Log.ClearErrorLog();
    world.Sounds.Context.Log.ErrorFlag = false;
    return 0;
}
