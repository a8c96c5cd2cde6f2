// The words of buttons and scroll bars with arbitrary arguments. Each line of the input is one
// statement: its first byte picks the object (a button, a system button, a scroll bar) and its
// second byte the word, from the image, message-window and button words for a button and the bar's own table for
// the bar; the rest of the line is the argument text. Bytes from 0xF0 up in the argument text
// stand for the tokens below. A frame runs after each statement, moving the pointer and pressing
// the left button now and then, so that clicks and drags meet whatever the words left. At the
// end every object saves a state that loads again and consumes exactly what was written, and the
// bar's value lies within 0..max.
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
#include "foundation/uInputDevice.h"
#include "fuzz/FuzzObjects.h"
#include "fuzz/FuzzSupport.h"
#include "media/ARGB8888Lib.h"
#include "media/AnimationBmpWriter.h"
#include "media/MediaContext.h"
#include "objects/ButtonLib.h"
#include "objects/KelButtonCommands.h"
#include "objects/KelImageCommands.h"
#include "objects/KelMessageCommands.h"
#include "objects/KelScreenObjects.h"
#include "objects/ScrollBarLib.h"
#include "platform/Clock.h"
#include "platform/InputSource.h"
#include "platform/headless/HeadlessInput.h"
#include "script/KelGeneralCommands.h"
#include "script/KelScriptLib.h"
#include "script/uKelObjectKinds.h"

namespace {

const char* const kTokens[16] = {
    "-2147483648", "2147483647",   "0x80000000", "-1",          "0",           "1",
    "255",         "256",          "\"btn.b\"",  "\"thumb.b\"", "\"track.b\"", "\"lost.b\"",
    "\"*OnLock\"", "\"*OnCheck\"", "100",        "1000000000",
};

// w x h, hit over the whole frame, with the motions of every state of a button.
std::string Animation(int32_t w, int32_t h) {
    using namespace AnimationBmpWriter;
    TLayer draw;
    draw.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::Draw);
    TLayer hit;
    hit.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::HitArea);
    hit.Keys[0].DstW = static_cast<int16_t>(w);
    hit.Keys[0].DstH = static_cast<int16_t>(h);
    TFile file;
    file.Width = w;
    file.Height = h;
    for (const char* name : {"*Enable", "*Disable", "*OnMouse", "*OffMouse", "*OnClick", "*OnCheckClick", "*OnLock",
                             "*OnLockOnMouse", "*OnCheck", "*OnCheckOffMouse", "*OffLock"})
        file.Motions.push_back({name, {draw, hit}});
    file.Images = {{"p.bmp", static_cast<uint8_t>(TImageType::Bmp), FuzzObjects::Bmp(w, h, 0xFF4080C0)}};
    return Write(file);
}

struct TWorld {
    TWorld() {
        Context.Settings.ScreenWidth = 128;
        Context.Settings.ScreenHeight = 64;
        Files["btn.b"] = Animation(24, 12);
        Files["thumb.b"] = Animation(4, 8);
        Files["track.b"] = Animation(60, 8);
        FuzzSupport::ServeFiles(Context.Packs, Files);
        KelScreenObjects::Register(Kinds);
        KelImageCommands::Register(Kinds);
        KelButtonCommands::Register(Kinds);
        Script.Kinds = &Kinds;
        Script.Words.General = &KelGeneralCommands::Handler();
        TScriptLinks links;
        links.Context = &Context.Context;
        links.Sound = &Sound;
        links.Input = &Input;
        links.Clock = &FakeClock;
        links.Media = &Media;
        Script.Setup(links);
        for (const char* line : {"\\var,btn,b", "\\var,sbtn,s", "\\var,bar,v"})
            Script.ExecuteLine(line);
        Targets = {Script.Evaluate("b").Text, Script.Evaluate("s").Text, Script.Evaluate("v").Text};
        ButtonWords.assign(KelImageCommands::ImageWords().begin(), KelImageCommands::ImageWords().end());
        for (auto words : {KelMessageCommands::MessageWords(), KelButtonCommands::ButtonWords()})
            ButtonWords.insert(ButtonWords.end(), words.begin(), words.end());
    }

    FuzzSupport::TFuzzContext Context;
    TFakeClock FakeClock;
    FuzzObjects::TSoundCounts Sound;
    THeadlessInputSource InputSource;
    TInput Input{InputSource, FakeClock};
    std::map<std::string, std::string> Files;
    TObjectKindRegistry Kinds;
    TMediaContext Media;
    TKelScript Script;
    std::vector<std::string> Targets;  // object names, by the first byte of a line
    std::vector<const char*> ButtonWords;
};

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TWorld world;
    TKelScript& script = world.Script;
    world.Context.Log.ClearErrorLog();
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto barWords = KelButtonCommands::ScrollBarWords();
    FuzzSupport::ForEachStatement(bytes, 64, [&](std::string_view line, int statements) {
        const auto pick = static_cast<uint8_t>(line[0]) % world.Targets.size();
        const auto word = static_cast<uint8_t>(line[1]);
        TScriptRoutine* routine = script.CurrentRoutine();
        Check(routine != nullptr);
        routine->ScopeNames[0] = world.Targets[pick];
        const char* name =
            pick == 2 ? barWords[word % barWords.size()] : world.ButtonWords[word % world.ButtonWords.size()];
        script.ExecuteLine(std::string("\\") + name + "," + FuzzSupport::ExpandTokens(line.substr(2), kTokens));
        // The pointer wanders over the objects, the left button held on every other statement.
        world.InputSource.PointerAt = {(word * 7) % 128, (word * 3) % 64};
        if (statements % 2)
            world.InputSource.Press(VirtualKey::LButton);
        else
            world.InputSource.Release(VirtualKey::LButton);
        world.FakeClock.Now += 16;
        world.Input.Update();
        script.Execute(16, false);
        world.Context.Log.ErrorFlag = false;
    });
    world.InputSource.Release(VirtualKey::LButton);

    TKelObjectDataCustom* bar = script.Objects->Find(world.Targets[2]);
    auto* barLink =
        bar ? dynamic_cast<TKelScrollBarLink*>(dynamic_cast<TKelObjectDataScrollBar&>(*bar).ScrollBar()) : nullptr;
    Check(barLink != nullptr);
    const TImageScrollBar& scroll = barLink->Object();
    Check(scroll.GetMax() >= 1 && scroll.GetValue() >= 0 && scroll.GetValue() <= scroll.GetMax());
    TImageScrollBar barCopy(world.Context.Packs);
    FuzzSupport::CheckSavedInto(barLink->Object(), barCopy);
    for (size_t i = 0; i < 2; ++i) {
        TKelObjectDataCustom* object = script.Objects->Find(world.Targets[i]);
        auto* link = object ? dynamic_cast<TButtonLink*>(object->ScreenObject()) : nullptr;
        Check(link != nullptr);
        auto copy = ImageLib::Make<TButtonLib>(world.Context.Packs);
        FuzzSupport::CheckSavedInto(link->Object(), *copy);
    }
    // The next input starts from cleared objects.
    for (const std::string& target : world.Targets) {
        script.CurrentRoutine()->ScopeNames[0] = target;
        script.ExecuteLine("\\i");
    }
    script.HoldFrames = 0;
    return 0;
}
