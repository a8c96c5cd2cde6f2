// The words of the screen objects with arbitrary arguments, run through an interpreter whose frames
// update and draw its objects. Each line of the input is one statement: its first byte picks the
// object (an image, a system image, the wait cursor, the system cursor, a message window), its
// second byte the word of that object's tables (a message window has its own words and the image
// words), and the rest of the line is the argument text as a script would write it. In the
// argument text a byte from 0xF0 up stands for one of the tokens below (the ends of the 32-bit
// range, the files served in memory, motion names, text with inline commands), so that short
// inputs reach the values that matter. After each statement a frame runs and draws; at the end
// every object must save a state that loads again and consumes exactly what was written, and
// nothing may be raised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "fuzz/FuzzObjects.h"
#include "fuzz/FuzzSupport.h"
#include "media/ARGB8888Lib.h"
#include "media/AnimationBmpWriter.h"
#include "objects/ImageLib.h"
#include "objects/KelCursorImage.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelImageCommands.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelScreenObjects.h"
#include "platform/Clock.h"
#include "script/KelGeneralCommands.h"
#include "script/KelScriptLib.h"

namespace {

const char* const kTokens[16] = {
    "-2147483648",
    "2147483647",
    "0x80000000",
    "-1",
    "0",
    "255",
    "65536",
    "\"anim.b\"",
    "\"pic.bmp\"",
    "\"bad.png\"",
    "\"hum.b\"",
    "\"*OnMouse\"",
    "lines",
    "\"rect,-5,-5,99999,99999,$ffffffff\"",
    "\"mirror,1\\\\blur,9999\"",
    "{\x82\xa0[rb,\x8e\x9a,\x82\xb6][n][w,30]\x82\xa2}",  // "あ", "字" with the ruby "じ", a new line, a wait, "い"
};

// 16 x 8 with two pictures, a hit area, named motions, a text, and a sound that does not decode.
std::string Animation() {
    using namespace AnimationBmpWriter;
    TLayer draw;
    draw.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::Draw);
    draw.Keys[1].Command = static_cast<uint8_t>(TABMPCommand::Sound);
    TLayer hit;
    hit.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::HitArea);
    hit.Keys[0].DstW = 16;
    hit.Keys[0].DstH = 8;
    TFile file;
    file.Width = 16;
    file.Height = 8;
    file.Length = 900;
    file.Text = "line one\r\nline two";
    for (const char* name : {"Idle", "*Enable", "*Disable", "*OnMouse", "*OffMouse"})
        file.Motions.push_back({name, {draw, hit}});
    file.Images = {{"a.bmp", static_cast<uint8_t>(TImageType::Bmp), FuzzObjects::Bmp(16, 8, 0xFF00FF00)},
                   {"b.bmp", static_cast<uint8_t>(TImageType::Bmp), FuzzObjects::Bmp(3, 5, 0x80FF0000)}};
    file.Sounds = {{"hum.ogg", static_cast<uint8_t>(TSoundType::Ogg), "OggS" + std::string(40, '\x01')}};
    return Write(file);
}

struct TWorld {
    TWorld() {
        Context.Settings.ScreenWidth = 64;
        Context.Settings.ScreenHeight = 32;
        Files["anim.b"] = Animation();
        Files["hum.b"] = Files["anim.b"];
        Files["pic.bmp"] = FuzzObjects::Bmp(24, 12, 0xFF0000FF);
        Files["bad.png"] = "\x89PNG\r\n\x1a\n broken";
        FuzzSupport::ServeFiles(Context.Packs, Files);
        KelGraphicLib::Register(Kinds);
        KelScreenObjects::Register(Kinds);
        KelCursorImage::Register(Kinds);
        KelImageCommands::Register(Kinds);
        KelMessageCommands::Register(Kinds);
        Script.Kinds = &Kinds;
        Script.Words.General = &KelGeneralCommands::Handler();
        TScriptLinks links;
        links.Context = &Context.Context;
        links.Sound = &Sound;
        links.Clock = &FakeClock;
        Script.Setup(links);
        for (const char* line : {"\\var,img,image", "\\var,simg,system", "\\var,list,lines", "\\var,msg,window"})
            Script.ExecuteLine(line);
        Targets = {Script.Evaluate("image").Text, Script.Evaluate("system").Text, Script.Evaluate("csr").Text,
                   Script.Evaluate("scsr").Text, Script.Evaluate("window").Text};
        const auto image = KelImageCommands::ImageWords(), message = KelMessageCommands::MessageWords();
        ImageWords.assign(image.begin(), image.end());
        WindowWords.assign(message.begin(), message.end());
        WindowWords.insert(WindowWords.end(), image.begin(), image.end());
    }

    FuzzSupport::TFuzzContext Context;
    TFakeClock FakeClock;
    FuzzObjects::TSoundCounts Sound;
    std::map<std::string, std::string> Files;
    TObjectKindRegistry Kinds;
    TKelScript Script;
    std::vector<std::string> Targets;  // object names, by the first byte of a line
    std::vector<const char*> ImageWords, WindowWords;
};

TImageLib* ImageOf(TKelScript& script, const std::string& name) {
    TKelObjectDataCustom* object = script.Objects->Find(name);
    auto* link = object ? dynamic_cast<TKelScreenObjectLink<TImageLib>*>(object->ScreenObject()) : nullptr;
    return link ? &link->Object() : nullptr;
}

TMessageLib* WindowOf(TKelScript& script, const std::string& name) {
    TKelObjectDataCustom* object = script.Objects->Find(name);
    auto* link = object ? dynamic_cast<TMessageLink*>(object->ScreenObject()) : nullptr;
    return link ? &link->Object() : nullptr;
}

// Saves and loads again into a new object of the same class, consuming exactly what was written.
template <typename TObject>
void CheckSaved(TObject& object) {
    auto copy = ImageLib::Make<TObject>(object.Packs());
    FuzzSupport::CheckSavedInto(object, *copy);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TKelScript& script = world.Script;
    world.Context.Log.ClearErrorLog();
    world.Context.Log.ErrorFlag = false;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    FuzzSupport::ForEachStatement(bytes, 64, [&](std::string_view line, int) {
        const auto pick = static_cast<uint8_t>(line[0]), word = static_cast<uint8_t>(line[1]);
        TScriptRoutine* routine = script.CurrentRoutine();
        if (!routine) std::abort();
        const size_t target = pick % world.Targets.size();
        routine->ScopeNames[0] = world.Targets[target];
        const auto& words = target == world.Targets.size() - 1 ? world.WindowWords : world.ImageWords;
        script.ExecuteLine(std::string("\\") + words[word % words.size()] + "," +
                           FuzzSupport::ExpandTokens(line.substr(2), kTokens));
        world.Context.Log.ErrorFlag = false;
        world.FakeClock.Now += 16;
        script.Execute(16, false);
        script.Draw(0, true, 0xFFFF);
        world.Context.Log.ErrorFlag = false;
    });
    for (const std::string& name : {world.Targets[0], world.Targets[1]})
        if (TImageLib* image = ImageOf(script, name)) CheckSaved(*image);
    if (TMessageLib* window = WindowOf(script, world.Targets[4])) CheckSaved(*window);
    for (IScriptCursorImage* cursor : {script.Links.Cursor, script.Links.SystemCursor})
        CheckSaved(dynamic_cast<TKelCursorImage&>(*cursor).Image());
    // The next input starts from cleared objects.
    for (const std::string& name : world.Targets) {
        script.CurrentRoutine()->ScopeNames[0] = name;
        script.ExecuteLine("\\i");
    }
    script.HoldFrames = 0;
    return 0;
}
