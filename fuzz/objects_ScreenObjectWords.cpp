// The words of the screen objects with arbitrary arguments, run through an interpreter whose frames
// update and draw its objects. Each line of the input is one statement: its first byte picks the
// object (an image, a system image, the wait cursor, the system cursor), its second byte the word
// of that object's table, and the rest of the line is the argument text as a script would write it.
// In the argument text a byte from 0xF0 up stands for one of the tokens below (the ends of the
// 32-bit range, the files served in memory, motion names), so that short inputs reach the values
// that matter. After each statement a frame runs and draws; at the end every object must save a
// state that loads again and consumes exactly what was written, and nothing may be raised.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/ErrorLogLib.h"
#include "foundation/PackLib.h"
#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Lib.h"
#include "media/AnimationBmpWriter.h"
#include "objects/ImageLib.h"
#include "objects/KelCursorImage.h"
#include "objects/KelGraphicLib.h"
#include "objects/KelImageCommands.h"
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
    "1000000000",
};

class TSoundCounts final : public IScriptSound {
public:
    int32_t StreamChannelCount() override { return 4; }
    int32_t EffectChannelCount() override { return 3; }
    bool SwapChannels(bool, int32_t, int32_t) override { return false; }
};

std::string Bmp(int32_t w, int32_t h, uint32_t colour) {
    TARGB8888 picture;
    picture.SetSize(w, h);
    picture.FillRect(0, 0, w, h, colour);
    TMemoryStream s;
    picture.SaveToStream(&s);
    return s.AsString();
}

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
    file.Images = {{"a.bmp", static_cast<uint8_t>(TImageType::Bmp), Bmp(16, 8, 0xFF00FF00)},
                   {"b.bmp", static_cast<uint8_t>(TImageType::Bmp), Bmp(3, 5, 0x80FF0000)}};
    file.Sounds = {{"hum.ogg", static_cast<uint8_t>(TSoundType::Ogg), "OggS" + std::string(40, '\x01')}};
    return Write(file);
}

struct TWorld {
    TWorld() {
        Clock::SetCurrent(&FakeClock);
        SystemConfigLib::Config.ScreenWidth = 64;
        SystemConfigLib::Config.ScreenHeight = 32;
        Files["anim.b"] = Animation();
        Files["hum.b"] = Files["anim.b"];
        Files["pic.bmp"] = Bmp(24, 12, 0xFF0000FF);
        Files["bad.png"] = "\x89PNG\r\n\x1a\n broken";
        PackLib::FileExistsHook = [this](const std::string& n) { return Files.count(n) > 0; };
        PackLib::LoadFileHook = [this](const std::string& n) -> std::unique_ptr<TMemoryStream> {
            auto it = Files.find(n);
            return it == Files.end() ? nullptr : std::make_unique<TMemoryStream>(it->second);
        };
        KelGraphicLib::Register(Kinds);
        KelScreenObjects::Register(Kinds);
        KelCursorImage::Register(Kinds);
        KelImageCommands::Register(Kinds);
        Script.Kinds = &Kinds;
        Script.Words.General = &KelGeneralCommands::Handler();
        TScriptLinks links;
        links.Sound = &Sound;
        Script.Setup(links);
        for (const char* line : {"\\var,img,image", "\\var,simg,system", "\\var,list,lines"})
            Script.ExecuteLine(line);
        Targets = {Script.Evaluate("image").Text, Script.Evaluate("system").Text, Script.Evaluate("csr").Text,
                   Script.Evaluate("scsr").Text};
    }

    TFakeClock FakeClock;
    TSoundCounts Sound;
    std::map<std::string, std::string> Files;
    TObjectKindRegistry Kinds;
    TKelScript Script;
    std::vector<std::string> Targets;  // object names, by the first byte of a line
};

std::string Arguments(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0xF0)
            out += kTokens[byte - 0xF0];
        else
            out += c;
    }
    return out;
}

TImageLib* ImageOf(TKelScript& script, const std::string& name) {
    TKelObjectDataCustom* object = script.Objects->Find(name);
    auto* link = object ? dynamic_cast<TKelScreenObjectLink<TImageLib>*>(object->ScreenObject()) : nullptr;
    return link ? &link->Object() : nullptr;
}

// Saves and loads again, consuming exactly what was written.
void CheckSaved(TImageLib& image) {
    TMemoryStream saved;
    if (!image.SaveToStream(&saved)) std::abort();
    saved.SetPosition(0);
    auto copy = ImageLib::Make<TImageLib>();
    if (!copy->LoadFromStream(&saved) || saved.Remaining() != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TKelScript& script = world.Script;
    ErrorLogLib::ClearErrorLog();
    ErrorLogLib::ErrorFlag = false;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto words = KelImageCommands::ImageWords();
    size_t at = 0;
    for (int statements = 0; at < bytes.size() && statements < 64; ++statements) {
        size_t end = bytes.find('\n', at);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (line.size() < 2) continue;
        const auto pick = static_cast<uint8_t>(line[0]), word = static_cast<uint8_t>(line[1]);
        TScriptRoutine* routine = script.CurrentRoutine();
        if (!routine) std::abort();
        routine->ScopeNames[0] = world.Targets[pick % world.Targets.size()];
        script.ExecuteLine(std::string("\\") + words[word % words.size()] + "," + Arguments(line.substr(2)));
        ErrorLogLib::ErrorFlag = false;
        world.FakeClock.Now += 16;
        script.Execute(16, false);
        script.Draw(0, true, 0xFFFF);
        ErrorLogLib::ErrorFlag = false;
    }
    for (const std::string& name : {world.Targets[0], world.Targets[1]})
        if (TImageLib* image = ImageOf(script, name)) CheckSaved(*image);
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
