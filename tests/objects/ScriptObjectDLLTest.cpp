// Plug-in object libraries, with the example library and the test libraries the build makes: the
// set loaded from the settings (paths, order, refusals and their messages), script objects of a
// plug-in's type and their words, what the probe library sees of every call (under
// AddressSanitizer its reading of the whole block is the check of the block's size), saves, and
// the start of a game that names plug-ins.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "foundation/SystemConfigLib.h"
#include "objects/ScriptObjectDLL.h"
#include "platform/Encoding.h"
#include "script/KelGeneralCommands.h"
#include "script/uKelObjectKinds.h"
#include "shell/HeadlessRunner.h"
#include "tests/support/GameFixture.h"
#include "tests/support/ScriptHarness.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;

namespace {

std::string Utf8(const std::string& sjis) {
    return Encoding::SjisToUtf8(sjis);
}

// The probe library opened a second time by the test, so that its counts stay readable while the
// engine loads and frees it. Counts are taken relative to the moment the view was made.
class TProbeView {
public:
    enum TEvent { Initialize, Finalize, Create, Destroy, Init, Operate, Clean, Count };

    TProbeView() : Handle(dlopen(KEL_PROBE_PLUGIN, RTLD_NOW | RTLD_LOCAL)) {
        if (!Handle) return;
        Counts = reinterpret_cast<const int32_t* (*)()>(dlsym(Handle, "ProbeCounts"))();
        LastName = reinterpret_cast<const char* (*)()>(dlsym(Handle, "ProbeLastName"));
        for (int i = 0; i < Count; ++i)
            Start[i] = Counts[i];
    }
    ~TProbeView() {
        if (Handle) dlclose(Handle);
    }
    int32_t operator[](TEvent e) const { return Counts[e] - Start[e]; }
    std::string Name() const { return LastName(); }

    void* Handle;
    const int32_t* Counts = nullptr;
    const char* (*LastName)() = nullptr;
    int32_t Start[Count] = {};
};

// Settings that name plug-in libraries: (path, type name) per entry, from entry 0.
TSystemData Settings(const std::vector<std::pair<std::string, std::string>>& entries) {
    TSystemData config;
    for (size_t i = 0; i < entries.size(); ++i) {
        config.DLLObjectPaths[i] = entries[i].first;
        config.DLLObjectNames[i] = entries[i].second;
    }
    return config;
}

// ---- the set ----

TEST(PluginSetTest, LoadsTheNamedFilesInOrderAndFreesThemFromTheFirst) {
    TProbeView probe;
    ASSERT_NE(probe.Handle, nullptr) << dlerror();
    const std::string dir = TestData::ScratchDir();
    fs::create_directories(dir + "/Dll");
    fs::copy_file(KEL_COUNTER_PLUGIN, dir + "/Dll/CounterObject.so");
    // The game's folder as a relative path: the library is loaded by its absolute path all the same.
    const std::string folder = fs::relative(dir).string();
    {
        TKelDLLCustomObject set(Settings({{"DLL\\Missing.dll", "Ghost"},  // no file: passed over
                                          {KEL_PROBE_PLUGIN, "Probe"},
                                          {"", ""},
                                          {"dll\\counterobject.DLL", "COUNTER"}}),  // found as the ".so"
                                folder);
        ASSERT_EQ(set.Count(), 2);
        EXPECT_EQ(set.GetName(0), "probe");
        EXPECT_EQ(set.GetName(1), "counter");
        const std::string loaded = Utf8(set.GetItem(1).ModuleFileName);
        EXPECT_TRUE(fs::path(loaded).is_absolute()) << loaded;
        EXPECT_TRUE(fs::equivalent(loaded, dir + "/Dll/CounterObject.so")) << loaded;
        EXPECT_EQ(probe[TProbeView::Initialize], 1);
        EXPECT_EQ(probe[TProbeView::Finalize], 0);
    }
    EXPECT_EQ(probe[TProbeView::Finalize], 1);
}

TEST(PluginSetTest, ALibraryThatCannotBeBoundStopsTheLoadWithItsMessage) {
    const std::string junk = TestData::ScratchDir() + "/junk.so";
    std::ofstream(junk) << "not a library";
    struct TCase {
        std::string Path;
        std::string Message;  // the whole message, or its start when Prefix
        bool Prefix;
    } cases[] = {
        {KEL_PROBE_PLUGIN_NO_TIME_MOVE, "関数(ObjectTimeMove)の所得に失敗しました", false},
        {junk, "Not Found ObjectDLL \r\n(" + junk + ")\r\n", true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Path);
        TProbeView probe;
        std::string message;
        try {
            // The probe before the failing library is freed again; the one after it is never loaded.
            TKelDLLCustomObject set(
                Settings({{KEL_PROBE_PLUGIN, "before"}, {c.Path, "bad"}, {KEL_PROBE_PLUGIN, "after"}}), "/");
            ADD_FAILURE() << "loaded";
        } catch (const EScriptObjectDLL& e) {
            message = Utf8(e.what());
        }
        if (c.Prefix) {
            EXPECT_EQ(message.rfind(c.Message, 0), 0u) << message;
            // The loader's own reason follows, naming the file.
            EXPECT_NE(message.find("junk.so", c.Message.size()), std::string::npos) << message;
        } else {
            EXPECT_EQ(message, c.Message);
        }
        EXPECT_EQ(probe[TProbeView::Initialize], 1);
        EXPECT_EQ(probe[TProbeView::Finalize], 1);
    }
}

// ---- script objects ----

// An interpreter with the engine's general words and a plug-in set; the set outlives it.
class PluginScriptTest : public ::testing::Test {
protected:
    void Open(const std::vector<std::pair<std::string, std::string>>& entries) {
        H.reset();
        Set = std::make_unique<TKelDLLCustomObject>(Settings(entries), "/");
        H = std::make_unique<TScriptHarness>([this](TObjectKindRegistry& kinds, TScriptLinks& links) {
            ScriptObjectDLL::Register(kinds);
            links.Plugins = Set.get();
        });
        H->Script.Words.General = &KelGeneralCommands::Handler();
    }
    void TearDown() override { H.reset(); }
    void Run(std::initializer_list<std::string> statements) { H->Execute(statements); }
    // The script object an object variable names.
    TKelObjectDataCustom* Object(const std::string& variable) { return H->Script.Objects->Find(H->Var(variable).Text); }

    std::unique_ptr<TKelDLLCustomObject> Set;
    std::unique_ptr<TScriptHarness> H;
};

TEST_F(PluginScriptTest, TheExampleCountsWithIntegerAndTextArguments) {
    Open({{KEL_COUNTER_PLUGIN, "Counter"}});
    Run({"\\gvar,counter,apples,pears", "\\scp,apples", "\\add,40", "\\add"});
    EXPECT_EQ(H->ResultInt(0), 41);
    Run({"\\label,\"赤いりんご\"", "\\get"});
    EXPECT_EQ(H->ResultInt(0), 41);
    EXPECT_EQ(H->ResultStr(0), "赤いりんご=41");
    // Each object is an instance of its own.
    Run({"\\scp,pears", "\\add,-2", "\\get"});
    EXPECT_EQ(H->ResultStr(0), "=-2");
    // A word that answers 1 leaves the results alone; an answer of 2 clears them first.
    Run({"\\set,0"});
    EXPECT_EQ(H->ResultStr(0), "=-2");
    Run({"\\get"});
    EXPECT_EQ(H->ResultInt(0), 0);
    EXPECT_EQ(H->ResultStr(0), "=0");
    EXPECT_TRUE(H->Errors().empty()) << H->FirstError();
    ASSERT_NE(Object("apples"), nullptr);
    EXPECT_EQ(Object("apples")->Kind(), TObjectKind::DLLObject);
    EXPECT_EQ(Object("apples")->GetInfo(), "ObjectName(counter)");

    // A word the library does not answer is an undefined command of the type.
    Run({"\\scp,apples", "\\nosuch,1"});
    EXPECT_EQ(H->FirstError(), "未定義の命令：0_apples,0(counter).\\nosuch,1");
}

TEST_F(PluginScriptTest, AResetInitialisesTheInstanceAndFreeingDestroysIt) {
    Open({{KEL_COUNTER_PLUGIN, "counter"}, {KEL_PROBE_PLUGIN, "probe"}});
    TProbeView probe;
    Run({"\\gvar,counter,c", "\\gvar,probe,p", "\\scp,c", "\\add,7", "\\label,\"x\""});
    Object("c")->Reset();
    Object("p")->Reset();
    Run({"\\get"});
    EXPECT_EQ(H->ResultStr(0), "=0");
    EXPECT_EQ(probe[TProbeView::Init], 1);
    EXPECT_EQ(probe[TProbeView::Create], 1);
    Run({"\\del,p"});
    EXPECT_EQ(probe[TProbeView::Destroy], 1);
}

TEST_F(PluginScriptTest, TypeNamesReplaceKeywordsAndTheLastLibraryWins) {
    Open({{KEL_COUNTER_PLUGIN, "List"}, {KEL_COUNTER_PLUGIN, "twice"}, {KEL_PROBE_PLUGIN, "TWICE"}});
    TProbeView probe;
    Run({"\\gvar,list,l", "\\gvar,twice,t", "\\scp,t", "\\echo,5"});
    ASSERT_NE(Object("l"), nullptr);
    EXPECT_EQ(Object("l")->Kind(), TObjectKind::DLLObject);
    EXPECT_EQ(H->ResultInt(0), 5);
    EXPECT_EQ(probe[TProbeView::Create], 1);
    EXPECT_TRUE(H->Errors().empty()) << H->FirstError();
}

TEST_F(PluginScriptTest, EveryCallGetsAWholeZeroedBlockAndTheResultsItAnswers) {
    Open({{KEL_PROBE_PLUGIN, "probe"}});
    TProbeView probe;
    const std::string a255(255, 'a'), a254(254, 'a');
    Run({"\\gvar,probe,p", "\\scp,p", "\\echo,1,,\"text\",4,\"7\",-1,\"\",8"});
    const int32_t ints[8] = {1, 0, 0, 4, 7, -1, 0, 8};
    const char* texts[8] = {"1", "", "text", "4", "7", "-1", "", "8"};
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(H->ResultInt(i), ints[i]) << i;
        EXPECT_EQ(H->ResultStr(i), texts[i]) << i;
    }
    // Texts of 256 bytes or more arrive cut to 255, never inside a two-byte character; so does
    // the command word.
    const std::string longTexts = "\\echo,\"" + std::string(300, 'a') + "\",\"" + a254 + "あ\"";
    Run({longTexts, "\\NAME" + std::string(300, 'e')});
    EXPECT_EQ(H->ResultInt(0), 255);
    EXPECT_EQ(H->ResultStr(0), "\\NAME" + std::string(250, 'e'));
    EXPECT_EQ(probe.Name(), "\\NAME" + std::string(250, 'e'));
    Run({longTexts});
    EXPECT_EQ(H->ResultStr(0), a255);
    EXPECT_EQ(H->ResultStr(1), a254);

    // A block filled to its last byte: every text is read to its 256th byte and no further.
    Run({"\\fill"});
    for (int32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(H->ResultInt(i), 0x78787878) << i;
        EXPECT_EQ(H->ResultStr(i), std::string(256, 'x')) << i;
    }
    // An answer of 1 leaves the results as they were, whatever the block holds.
    Run({"\\echo,9", "\\keep"});
    EXPECT_EQ(H->ResultInt(0), 9);
    EXPECT_EQ(H->ResultStr(1), "");
    // Every call, the ones after a filled block included, saw a clean block and name buffer.
    EXPECT_EQ(probe[TProbeView::Operate], 7);
    EXPECT_EQ(probe[TProbeView::Clean], probe[TProbeView::Operate]);
    EXPECT_TRUE(H->Errors().empty()) << H->FirstError();
}

TEST_F(PluginScriptTest, SavesHoldNothingOfTheInstanceAndLoadMakeItAnew) {
    Open({{KEL_COUNTER_PLUGIN, "counter"}, {KEL_PROBE_PLUGIN, "probe"}});
    TProbeView probe;
    Run({"\\gvar,counter,c", "\\gvar,probe,p", "\\gvar,str,after", "\\cal,after=\"kept\"", "\\scp,c", "\\add,3"});
    TMemoryStream object;
    ASSERT_TRUE(Object("c")->SaveToStream(object));
    EXPECT_EQ(object.Size(), 0);

    TMemoryStream saved;
    H->Script.Variables->SaveToStream(TVariableScope::Game, saved);
    saved.SetPosition(0);
    ASSERT_TRUE(H->Script.Variables->LoadFromStream(TVariableScope::Game, saved));
    EXPECT_EQ(saved.Position(), saved.Size());
    EXPECT_EQ(H->Var("after").Text, "kept");
    EXPECT_EQ(probe[TProbeView::Destroy], 1);
    EXPECT_EQ(probe[TProbeView::Create], 2);
    // The counter is a new instance.
    Run({"\\scp,c", "\\get"});
    EXPECT_EQ(H->ResultStr(0), "=0");
    EXPECT_TRUE(H->Errors().empty()) << H->FirstError();
}

// ---- a game that names plug-ins ----

TEST(PluginStartTest, TheStartLoadsTheSettingsLibrariesOrEndsWithTheirMessage) {
    struct TCase {
        std::string Entry;   // the "DLLObject[0]" setting
        std::string Dialog;  // the start of the one dialog shown; empty: the game runs
    } cases[] = {
        {"DLL\\CounterObject.dll,counter", ""},
        {std::string(KEL_PROBE_PLUGIN_NO_TIME_MOVE) + ",probe", "関数(ObjectTimeMove)の所得に失敗しました"},
        {"DLL\\junk.dll,junk", "Not Found ObjectDLL \r\n("},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Entry);
        const std::string dir = TestData::ScratchDir();
        GameFixture::Write(dir,
                           {{"System\\etc\\Game.dat",
                             "ScreenWidth=64\r\nScreenHeight=48\r\nConfigStartupSkip=TRUE\r\n"
                             "DLLObject[0]=" +
                                 c.Entry + "\r\n"},
                            {"System\\etc\\Message.txt", "OK=ＯＫ\r\n"},
                            {"startup.s",
                             "@@reset\r\n@@top\r\n\\gvar,counter,c\r\n\\scp,c\r\n\\add,41\r\n\\add\r\n"
                             "\\wait,100000\r\n"}},
                           KEL_SYSTEMINFO_LIBRARY);
        fs::copy_file(KEL_COUNTER_PLUGIN, dir + "/DLL/CounterObject.so");
        std::ofstream(dir + "/DLL/junk.dll") << "MZ: not for this system";
        THeadlessGame game;
        std::string error;
        const bool started = game.Open(dir, error);
        EXPECT_EQ(started, c.Dialog.empty()) << error;
        if (!started) {
            ASSERT_EQ(game.Answers.Shown.size(), 1u);
            EXPECT_EQ(Utf8(game.Answers.Shown[0].Text).rfind(c.Dialog, 0), 0u) << Utf8(game.Answers.Shown[0].Text);
            EXPECT_TRUE(game.Form->Ended());
            continue;
        }
        game.Run(1);
        TKelScript& script = *game.Engine->GameScript;
        TCalcValue result;
        ASSERT_TRUE(script.Variables->ReadElement(TVariableScope::Game, "ResultInt", {}, 0, result, true));
        EXPECT_EQ(result.Value, 42);
        EXPECT_EQ(game.Form->Context.Log.ErrorList.Count(), 0);
    }
}

}  // namespace
