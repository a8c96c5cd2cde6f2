// The images an interpreter owns beside its objects: which file its skip indicator comes from and
// that resets keep it, and the cursors' records in a saved game, also from damaged streams.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/AnimationBmpWriter.h"
#include "objects/ImageLib.h"
#include "objects/KelCursorImage.h"
#include "objects/KelImageCommands.h"
#include "objects/KelScreenObjects.h"
#include "script/KelGeneralCommands.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ScriptHarness.h"

namespace {

using AnimationFixtures::SolidPng;

std::string StateAnimation(int32_t w, int32_t h) {
    return AnimationBmpWriter::Write(AnimationFixtures::StateFile(w, h, {SolidPng(w, h, 0xFF00FF00)}));
}

TImageLib& ImageOf(IScriptCursorImage* image) {
    return dynamic_cast<TKelCursorImage&>(*image).Image();
}

class CursorSaveTest : public ::testing::Test {
protected:
    CursorSaveTest()
        : H([](TObjectKindRegistry& kinds, TScriptLinks&) {
              KelScreenObjects::Register(kinds);
              KelImageCommands::Register(kinds);
              KelCursorImage::Register(kinds);
          }) {
        H.Script.Words.General = &KelGeneralCommands::Handler();
    }
    // An interpreter set up now, with the files the harness serves at this point.
    std::unique_ptr<TKelScript> NewScript() {
        auto script = std::make_unique<TKelScript>();
        script->Kinds = &H.Kinds;
        script->Words.General = &KelGeneralCommands::Handler();
        EXPECT_TRUE(script->Setup(TScriptLinks{.Context = &H.Context.Context}));
        return script;
    }

    TScriptHarness H;
};

TEST(SkipIndicatorTest, TheDebugOneWhenThePacksHoldItAndResetsKeepIt) {
    const std::string debug = KelCursorImage::kDebugSkipFile, scene = KelCursorImage::kSceneSkipFile;
    struct Case {
        std::vector<std::string> Files;
        std::string Broken;  // served, but not an animation
        std::string Loaded;
    };
    const Case cases[] = {
        {{}, "", ""},
        {{scene}, "", scene},
        {{debug, scene}, "", debug},
        {{debug}, "", debug},
        // The debug name is there but does not load: no falling back to the scene-skip one.
        {{scene}, debug, ""},
    };
    for (const Case& c : cases) {
        TScriptHarness h;
        TObjectKindRegistry kinds;
        KelCursorImage::Register(kinds);
        for (const std::string& file : c.Files)
            h.AddRawFile(file, StateAnimation(8, 4));
        if (!c.Broken.empty()) h.AddRawFile(c.Broken, "not an animation");
        TKelScript script;
        script.Kinds = &kinds;
        ASSERT_TRUE(script.Setup(TScriptLinks{.Context = &h.Context.Context}));
        ASSERT_NE(script.SkipIndicator, nullptr);
        EXPECT_EQ(ImageOf(script.SkipIndicator.get()).Record.Files[0], c.Loaded) << c.Loaded << " " << c.Broken;
    }

    TScriptHarness h([&](TObjectKindRegistry& kinds, TScriptLinks&) { KelCursorImage::Register(kinds); });
    h.AddRawFile(scene, StateAnimation(8, 4));
    TKelScript script;
    script.Kinds = &h.Kinds;
    ASSERT_TRUE(script.Setup(TScriptLinks{.Context = &h.Context.Context}));
    script.Reset();
    EXPECT_EQ(ImageOf(script.SkipIndicator.get()).Record.Files[0], scene);
    EXPECT_NE(script.SkipIndicator.get(), script.Links.Cursor);
    EXPECT_NE(script.SkipIndicator.get(), script.Links.SystemCursor);
}

TEST_F(CursorSaveTest, CursorsSaveTheirRecordsForASavedGame) {
    H.AddRawFile("arrow.b", StateAnimation(16, 8));
    for (const char* line : {"\\scp,csr", "\\l,\"arrow.b\"", "\\e", "\\p,30,40,5,0", "\\a,128,0", "\\scp,scsr",
                             "\\fr,0,0,4,4,0xFF0000FF", "\\p,7,8,0,0"})
        H.Script.ExecuteLine(line);
    TMemoryStream saved;
    ASSERT_TRUE(H.Script.Links.Cursor->SaveToStream(saved));
    ASSERT_TRUE(H.Script.Links.SystemCursor->SaveToStream(saved));

    auto loaded = NewScript();
    saved.SetPosition(0);
    ASSERT_TRUE(loaded->Links.Cursor->LoadFromStream(saved));
    ASSERT_TRUE(loaded->Links.SystemCursor->LoadFromStream(saved));
    EXPECT_EQ(saved.Remaining(), 0);
    for (IScriptCursorImage* TScriptLinks::*cursor : {&TScriptLinks::Cursor, &TScriptLinks::SystemCursor}) {
        const TImageLib& original = ImageOf(H.Script.Links.*cursor);
        const TImageLib& copy = ImageOf(loaded->Links.*cursor);
        EXPECT_EQ(copy.Record, original.Record);
        EXPECT_EQ(copy.IsEnabled(), original.IsEnabled());
    }
    EXPECT_EQ(ImageOf(loaded->Links.Cursor).Record.Files[0], "arrow.b");
    EXPECT_EQ(ImageOf(loaded->Links.Cursor).GetWidth(), 16);

    // A stream cut short: false, and the cursor is left cleared rather than half loaded.
    const std::string bytes = saved.AsString();
    for (size_t size : {size_t{0}, size_t{10}, bytes.size() / 4}) {
        TMemoryStream cut(bytes.substr(0, size));
        EXPECT_FALSE(loaded->Links.Cursor->LoadFromStream(cut)) << size;
        EXPECT_EQ(ImageOf(loaded->Links.Cursor).Record.Files[0], "") << size;
        EXPECT_FALSE(ImageOf(loaded->Links.Cursor).IsEnabled()) << size;
    }
}

}  // namespace
