#include <gtest/gtest.h>

#include "foundation/PackLib.h"
#include "foundation/uInputDevice.h"
#include "platform/headless/HeadlessInput.h"
#include "script/uKelObjectKinds.h"
#include "script/uKelObjectManager.h"
#include "tests/support/ScriptHarness.h"

namespace {

// A prefix and a number; built by appending (GCC 12 warns falsely about "literal" + temporary).
std::string Numbered(std::string prefix, int64_t n) {
    prefix += std::to_string(n);
    return prefix;
}

// What the fake engine objects did, one line per call: "<name>:<operation>:<arguments>".
struct TFakeWorld {
    std::vector<std::string> Log;
    int Alive = 0;
    void Clear() { Log.clear(); }
};

// One fake for every engine-object interface: it records each call and answers from its fields.
// Buttons take a click inside their rectangle when enabled and their input mask meets the mask.
template <typename Base>
class TFakeEngine final : public Base {
public:
    TFakeEngine(TFakeWorld& world, std::string id) : World(world), Id(std::move(id)) { ++World.Alive; }
    ~TFakeEngine() { --World.Alive; }

    void Clear() { Note("clear", ""); }
    void Update(uint32_t mask, int32_t elapsed) { Note("update", Args({int64_t{mask}, elapsed})); }
    void Draw(TARGB8888CellDraw*, uint32_t mask, int32_t dx, int32_t dy) {
        Note("draw", Args({int64_t{mask}, dx, dy}));
    }
    bool SaveToStream(TStream& s) {
        s.Write(Id.data(), static_cast<int64_t>(Id.size()));
        return true;
    }
    bool LoadFromStream(TStream&) { return true; }
    void RestoreState() { Note("restore", ""); }
    void CaptureState() { Note("capture", ""); }
    int32_t Z() const { return Data.Z; }
    TKelScreenObjectInfo Info() const { return Data; }
    void MouseMove(uint32_t mask, int32_t x, int32_t y) { Note("move", Args({int64_t{mask}, x, y})); }
    void MouseMove(uint32_t mask, uint32_t shift, int32_t x, int32_t y) {
        Note("move", Args({int64_t{mask}, int64_t{shift}, x, y}));
    }
    void MouseDown(uint32_t mask, int32_t x, int32_t y) { Note("down", Args({int64_t{mask}, x, y})); }
    void Advance(uint32_t mask) { Note("advance", Args({int64_t{mask}})); }
    bool Click(uint32_t mask, int32_t x, int32_t y) {
        Note("click", Args({int64_t{mask}, x, y}));
        return Data.Enabled && (Data.InputMask & mask) != 0 && x >= HitLeft && x < HitRight && y >= 0 && y < 100;
    }

    TFakeWorld& World;
    std::string Id;
    TKelScreenObjectInfo Data;
    int32_t HitLeft = 0, HitRight = 0;

private:
    static std::string Args(std::initializer_list<int64_t> values) {
        std::string out;
        for (int64_t v : values) {
            if (!out.empty()) out += ',';
            out += std::to_string(v);
        }
        return out;
    }
    void Note(const char* op, const std::string& args) { World.Log.push_back(Id + ":" + op + ":" + args); }
};

using TFakeImage = TFakeEngine<IKelScreenObject>;
using TFakeMessage = TFakeEngine<IKelMessageObject>;
using TFakeButton = TFakeEngine<IKelButtonObject>;
using TFakeBar = TFakeEngine<IKelScrollBarObject>;

class TFakePlugin final : public IKelPluginInstance {
public:
    explicit TFakePlugin(TFakeWorld& world) : World(world) { ++World.Alive; }
    ~TFakePlugin() override { --World.Alive; }
    void Init() override { World.Log.push_back("plugin:init:"); }
    TFakeWorld& World;
};

class TFakeChannels final : public IKelSoundChannels {
public:
    TKelSoundChannelInfo ChannelInfo(int32_t channel) const override {
        if (channel != 3) return {};
        return {"bgm\\title.ogg", 2, 200, 0};
    }
};

class KelObjectManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The engine objects of the kinds that have one are fakes named after the script object.
        auto screen = [this](const std::string& keyword, auto make) {
            H.Kinds.RegisterFactory(keyword, [make](TKelScript&, const std::string& name) { return make(name); });
        };
        screen("img", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataImage>(n, Engine<TFakeImage>(n));
        });
        screen("simg", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataSysImage>(n, Engine<TFakeImage>(n));
        });
        screen("msg", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataMessage>(n, Engine<TFakeMessage>(n));
        });
        screen("btn", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataButton>(n, Engine<TFakeButton>(n));
        });
        screen("sbtn", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataSysButton>(n, Engine<TFakeButton>(n));
        });
        screen("bar", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataScrollBar>(n, Input.get(), Engine<TFakeBar>(n));
        });
        screen("snd", [this](const std::string& n) { return std::make_unique<TKelObjectDataSound>(n, &Channels); });
        screen("Widget", [this](const std::string& n) {
            return std::make_unique<TKelObjectDataDLLObject>(n, "widget", std::make_unique<TFakePlugin>(World));
        });
    }

    template <typename T>
    std::unique_ptr<T> Engine(const std::string& name) {
        auto e = std::make_unique<T>(World, name);
        Made[name] = e.get();
        return e;
    }
    template <typename T>
    T& Fake(const std::string& name) {
        return *static_cast<T*>(Made.at(name));
    }
    TKelObjectDataCustom* Object(const std::string& name) { return H.Script.Objects->Find(name); }
    void Create(const std::string& keyword, const std::string& name) {
        ASSERT_TRUE(H.Script.OnObjectCreate(keyword, name)) << keyword << " " << name;
    }

    TFakeWorld World;
    TFakeChannels Channels;
    std::map<std::string, void*> Made;
    THeadlessInputSource Source;
    std::unique_ptr<TInput> Input;
    TScriptHarness H;
};

TEST_F(KelObjectManagerTest, DeclaringAndFreeingObjectVariablesMakesAndFreesEveryKind) {
    struct Kind {
        const char* keyword;
        TObjectKind kind;
        int category;
    } kinds[] = {
        {"sys", TObjectKind::System, 0},       {"dat", TObjectKind::GameData, 0},
        {"sdat", TObjectKind::SystemData, 0},  {"snd", TObjectKind::Sound, 0},
        {"dsnd", TObjectKind::DirectSound, 0}, {"img", TObjectKind::Image, 1},
        {"msg", TObjectKind::Message, 2},      {"btn", TObjectKind::Button, 3},
        {"bar", TObjectKind::ScrollBar, 3},    {"eff", TObjectKind::Effect, 4},
        {"scsr", TObjectKind::SysCursor, 5},   {"csr", TObjectKind::Cursor, 6},
        {"log", TObjectKind::Log, 0},          {"cam", TObjectKind::Camera, 10},
        {"rep", TObjectKind::Replace, 0},      {"path", TObjectKind::Path, 0},
        {"show", TObjectKind::DirectShow, 11}, {"simg", TObjectKind::SysImage, 7},
        {"sbtn", TObjectKind::SysButton, 8},   {"file", TObjectKind::File, 0},
        {"tcp", TObjectKind::TCP, 0},          {"dlg", TObjectKind::Dialog, 0},
        {"slog", TObjectKind::SkipLog, 0},     {"flog", TObjectKind::FileLog, 0},
        {"math", TObjectKind::Math, 0},        {"list", TObjectKind::StringList, 0},
        {"cfg", TObjectKind::Config, 0},       {"misc", TObjectKind::Misc, 0},
        {"inp", TObjectKind::Input, 0},        {"skey", TObjectKind::SystemKey, 0},
        {"clip", TObjectKind::Clipboard, 0},   {"dlgs", TObjectKind::Dialogs, 0},
        {"WIDGET", TObjectKind::DLLObject, 0}, {"ext", TObjectKind::Extend, 9},
    };
    const int32_t builtins = H.Script.Objects->Count();
    for (const auto& k : kinds) {
        std::string var = std::string("v") + k.keyword;
        ASSERT_TRUE(H.DeclareObjects(TVariableScope::Local, var, k.keyword, {2})) << k.keyword;
        for (int i = 0; i < 2; ++i) {
            TKelObjectDataCustom* o = Object(Numbered("0_" + var + ",", i));
            ASSERT_NE(o, nullptr) << k.keyword;
            EXPECT_EQ(o->Kind(), k.kind) << k.keyword;
            EXPECT_EQ(o->Category(), k.category) << k.keyword;
        }
    }
    EXPECT_TRUE(H.Errors().empty());
    EXPECT_EQ(H.Script.Objects->Count(), builtins + 2 * static_cast<int32_t>(std::size(kinds)));
    EXPECT_EQ(World.Alive, 2 * 7);  // the fakes of the seven kinds that own a fake engine object here
    EXPECT_EQ(TKelScript::KindKeyword(*Object("0_vWIDGET,1")), "widget");

    H.Script.Variables->DeleteAboveOwner(-1);
    EXPECT_EQ(H.Script.Objects->Count(), builtins);
    EXPECT_EQ(World.Alive, 0);
    // There is no kind 25, and the interpreter cannot make a plug-in object by itself.
    EXPECT_EQ(uKelObjectKinds::CreateObject(static_cast<TObjectKind>(25), "x", H.Context.Packs), nullptr);
    EXPECT_EQ(uKelObjectKinds::CreateObject(TObjectKind::DLLObject, "x", H.Context.Packs), nullptr);
    // Without a factory a kind with an engine object is still made; it does nothing.
    H.Kinds.UnregisterFactory("img");
    Create("img", "bare");
    EXPECT_EQ(Object("bare")->ScreenObject(), nullptr);
    EXPECT_EQ(Object("bare")->GetInfo(), "");
}

TEST_F(KelObjectManagerTest, NamesAreUniqueWithoutRegardToCaseAndLookUpsFollowRemovals) {
    TKelObjectManager& m = *H.Script.Objects;
    Create("list", "Pic");
    EXPECT_FALSE(H.Script.OnObjectCreate("img", "PIC"));
    EXPECT_FALSE(H.Script.OnObjectCreate("list", "pic"));
    EXPECT_EQ(World.Alive, 0);  // the refused image was freed
    EXPECT_EQ(m.Find("pIC"), m.Find("Pic"));
    EXPECT_EQ(m.Find(""), nullptr);
    EXPECT_EQ(m.IndexOf(""), -1);

    // More names than the look-up cache holds, each looked up several times, in two orders.
    for (int i = 0; i < 40; ++i)
        Create("list", Numbered("n", i));
    for (int pass = 0; pass < 3; ++pass)
        for (int i = 0; i < 40; ++i) {
            int k = pass == 1 ? 39 - i : i;
            TKelObjectDataCustom* o = m.Find(Numbered("N", k));
            ASSERT_NE(o, nullptr);
            EXPECT_EQ(o->Name(), Numbered("n", k));
        }
    // A removed name is gone even right after a look-up put it in the cache; a new object may take it.
    ASSERT_NE(m.Find("n39"), nullptr);
    EXPECT_TRUE(H.Script.OnObjectDelete("N39"));
    EXPECT_EQ(m.Find("n39"), nullptr);
    EXPECT_FALSE(H.Script.OnObjectDelete("n39"));
    Create("img", "N39");
    ASSERT_NE(m.Find("n39"), nullptr);
    EXPECT_EQ(m.Find("n39")->Kind(), TObjectKind::Image);
    // A reset empties the list and the cache.
    H.Script.Reset();
    EXPECT_EQ(m.Find("n5"), nullptr);
    EXPECT_EQ(m.Find("n39"), nullptr);
    EXPECT_EQ(World.Alive, 0);
}

TEST_F(KelObjectManagerTest, FrameStepsAndDrawsReachTheirCategoriesWithTheCameraOffset) {
    Create("img", "a");
    Create("img", "top");
    Create("list", "l");
    Create("simg", "s");
    Create("msg", "m");
    Create("btn", "b");
    Fake<TFakeImage>("top").Data.Z = 1000;
    Fake<TFakeImage>("a").Data.Z = 999;
    H.Script.Objects->SetCamera(5, -7);
    H.Script.State.UpdateMask = 0x21;
    H.Step(16);
    // The pointer (far away while the input device is locked after the reset) reaches the system
    // objects first.
    EXPECT_EQ(World.Log, (std::vector<std::string>{"s:move:33,-100000,-100000", "a:update:33,16", "top:update:33,16",
                                                   "s:update:33,16", "m:update:33,16", "b:update:33,16"}));
    EXPECT_EQ(Object("a")->CameraX, 5);
    EXPECT_EQ(Object("b")->CameraY, -7);
    EXPECT_EQ(Object("l")->CameraX, 0);  // category 0 is never broadcast to

    // Overlays (layer 1000 and up) stand still and come only with the cursors.
    World.Clear();
    H.Script.State.DrawMask = 0x30;
    H.Script.Draw(0, false, 0xFFFF);
    EXPECT_EQ(World.Log,
              (std::vector<std::string>{"a:draw:48,-5,7", "s:draw:48,-5,7", "m:draw:48,-5,7", "b:draw:48,-5,7"}));
    World.Clear();
    H.Script.Draw(0, true, 0xFFFF);
    EXPECT_EQ(World.Log, (std::vector<std::string>{"a:draw:48,-5,7", "top:draw:48,0,0", "s:draw:48,-5,7",
                                                   "m:draw:48,-5,7", "b:draw:48,-5,7"}));

    // The categories select; the order is always that of creation.
    World.Clear();
    H.Script.Objects->Draw(nullptr, 1, Categories({7, 2}), true);
    H.Script.Objects->Update(1, 5, Categories({3}));
    H.Script.Objects->RestoreState();
    EXPECT_EQ(World.Log, (std::vector<std::string>{"s:draw:1,-5,7", "m:draw:1,-5,7", "b:update:1,5", "a:restore:",
                                                   "top:restore:", "s:restore:", "m:restore:", "b:restore:"}));

    // A removal takes the object's category with it: the ones after it keep theirs.
    EXPECT_TRUE(H.Script.OnObjectDelete("l"));
    World.Clear();
    H.Script.Objects->Update(1, 5, Categories({2, 3}));
    EXPECT_EQ(World.Log, (std::vector<std::string>{"m:update:1,5", "b:update:1,5"}));
}

TEST_F(KelObjectManagerTest, HitTestClicksEveryButtonAndReportsTheLastThatTookIt) {
    Create("btn", "b1");
    Create("msg", "m");
    Create("btn", "b2");
    Create("btn", "b3");
    Create("sbtn", "sys");
    auto setup = [this](const char* name, int32_t left, int32_t right, uint32_t mask) {
        auto& b = Fake<TFakeButton>(name);
        b.HitLeft = left;
        b.HitRight = right;
        b.Data.InputMask = mask;
        b.Data.Enabled = true;
    };
    setup("b1", 0, 100, 1);
    setup("b2", 50, 150, 1);
    setup("b3", 0, 200, 2);  // takes nothing under mask 1
    setup("sys", 0, 200, 1);
    TKelObjectManager& m = *H.Script.Objects;
    const TCategorySet game = CategoryRange(1, 6);

    EXPECT_EQ(m.HitTest(1, 60, 10, game), Object("b2"));
    EXPECT_EQ(World.Log,
              (std::vector<std::string>{"b1:click:1,60,10", "m:advance:1", "b2:click:1,60,10", "b3:click:1,60,10"}));
    EXPECT_EQ(m.HitTest(1, 20, 10, game), Object("b1"));
    EXPECT_EQ(m.HitTest(1, 20, 10, Categories({8})), Object("sys"));
    // The message window advances wherever the point is and is never the hit.
    World.Clear();
    EXPECT_EQ(m.HitTest(1, 500, 10, game), nullptr);
    EXPECT_EQ(World.Log[1], "m:advance:1");
    EXPECT_EQ(m.HitTest(1, 500, 10, Categories({2})), nullptr);

    // The camera moves the point into the buttons' coordinates, except for overlays.
    m.SetCamera(100, 0);
    m.Update(1, 0, game);
    EXPECT_EQ(m.HitTest(1, 20, 10, game), Object("b2"));  // 120: b1 misses, b2 takes it
    Fake<TFakeButton>("b1").Data.Z = 1000;
    EXPECT_EQ(m.HitTest(1, 20, 10, game), Object("b2"));
    World.Clear();
    EXPECT_EQ(m.HitTest(1, 70, 10, game), Object("b1"));  // b2 saw 170 and missed
    EXPECT_EQ(World.Log[0], "b1:click:1,70,10");
    EXPECT_EQ(World.Log[2], "b2:click:1,170,10");
}

TEST_F(KelObjectManagerTest, PointerEventsAreShiftedAndTheLeftButtonDragsScrollBars) {
    Input = std::make_unique<TInput>(Source, H.Clock);
    Create("img", "i");
    Create("bar", "bar");
    Create("bar", "topbar");
    Fake<TFakeBar>("topbar").Data.Z = 1000;
    TKelObjectManager& m = *H.Script.Objects;
    m.SetCamera(10, 20);
    m.Update(3, 0, CategoryRange(1, 11));
    World.Clear();

    m.MouseMove(3, 1, 2, CategoryRange(1, 11));
    m.MouseDown(3, 1, 2, CategoryRange(1, 11));
    H.Clock.SleepMs(1000);  // past the input device's start-up pause
    Source.Press(VirtualKey::LButton);
    Input->Update();
    m.MouseMove(3, 1, 2, Categories({3}));
    EXPECT_EQ(World.Log, (std::vector<std::string>{"i:move:3,11,22", "bar:move:3,0,11,22", "topbar:move:3,0,1,2",
                                                   "bar:down:3,11,22", "topbar:down:3,1,2", "bar:move:3,8,11,22",
                                                   "topbar:move:3,8,1,2"}));
}

TEST_F(KelObjectManagerTest, KeyNavigationWalksToTheCheapestHotSpot) {
    struct Spot {
        int32_t x, y;
        bool enabled = true;
        uint32_t mask = 1;
    };
    struct Case {
        const char* what;
        std::vector<Spot> spots;
        int32_t v, h;
        TKelPoint expected;
    } cases[] = {
        {"straight ahead beats near but aside", {{300, 100}, {130, 130}}, 0, 1, {300, 100}},
        {"across the move costs ten times more", {{130, 130}, {170, 110}}, 0, 1, {170, 110}},
        {"nothing ahead: the nearest overall", {{40, 100}, {20, 100}}, 0, 1, {40, 100}},
        {"nothing ahead and the nearest is close: stay", {{60, 100}}, 0, 1, {100, 100}},
        {"moving down, on the line", {{100, 300}, {130, 160}, {102, 500}}, 1, 0, {100, 300}},
        {"moving up, the only spot below is far", {{100, 400}}, -1, 0, {100, 400}},
        {"disabled and masked spots do not count",
         {{150, 100, false}, {160, 100, true, 2}, {400, 100}},
         0,
         1,
         {400, 100}},
        {"off the screen ahead is skipped, then the nearest", {{900, 100}, {40, 100}}, 0, 1, {40, 100}},
        {"within 4 px is no move", {{102, 101}}, 0, 1, {100, 100}},
        {"no spots", {}, 0, 1, {100, 100}},
    };
    for (const auto& c : cases) {
        H.Script.Objects->Clear();
        Made.clear();
        int n = 0;
        for (const auto& s : c.spots) {
            std::string name = Numbered("b", n++);
            Create("btn", name);
            auto& d = Fake<TFakeButton>(name).Data;
            d.X = s.x - 5;  // the click point lies inside the object
            d.Y = s.y - 5;
            d.ClickX = d.ClickY = 5;
            d.Enabled = s.enabled;
            d.InputMask = s.mask;
        }
        EXPECT_EQ(H.Script.Objects->MoveCursor(100, 100, 1, 800, 600, c.v, c.h), c.expected) << c.what;
    }

    // An object without a click point, a scroll bar and an object outside the navigable
    // categories offer no hot spot.
    H.Script.Objects->Clear();
    Create("img", "noclick");
    Fake<TFakeImage>("noclick").Data = {300, 100, 0, 255, "", "", true, 0, "", 255, 0, 0};
    Create("bar", "bar");
    Fake<TFakeBar>("bar").Data = {295, 95, 0, 255, "", "", true, 0, "", 255, 5, 5};
    EXPECT_EQ(H.Script.Objects->MoveCursor(100, 100, 1, 800, 600, 0, 1), (TKelPoint{100, 100}));
    Create("simg", "sys");
    Fake<TFakeImage>("sys").Data = {295, 95, 0, 255, "", "", true, 0, "", 255, 5, 5};
    EXPECT_EQ(H.Script.Objects->MoveCursor(100, 100, 1, 800, 600, 0, 1), (TKelPoint{300, 100}));

    // Weights below 1 fall back to 1 along and 10 across; they change which spot is cheaper.
    TKelObjectManager& m = *H.Script.Objects;
    m.Clear();
    Create("btn", "near-aside");
    Fake<TFakeButton>("near-aside").Data = {125, 155, 0, 255, "", "", true, 0, "", 255, 5, 5};  // (130, 160)
    Create("btn", "far-ahead");
    Fake<TFakeButton>("far-ahead").Data = {495, 105, 0, 255, "", "", true, 0, "", 255, 5, 5};  // (500, 110)
    EXPECT_EQ(m.MoveCursor(100, 100, 1, 800, 600, 0, 1), (TKelPoint{500, 110}));  // 400 + 10 * 10 < 30 + 10 * 60
    m.SetCursorWeights(5, 1);
    EXPECT_EQ(m.MoveCursor(100, 100, 1, 800, 600, 0, 1), (TKelPoint{130, 160}));  // 5 * 30 + 60 < 5 * 400 + 10
    m.SetCursorWeights(0, -3);
    EXPECT_EQ(m.WeightAlong, 1);
    EXPECT_EQ(m.WeightAcross, 10);
    m.SetCursorWeights(2, 3);
    H.Script.Reset();
    EXPECT_EQ(m.WeightAlong, 1);
    EXPECT_EQ(m.WeightAcross, 10);
}

TEST_F(KelObjectManagerTest, InformationTextsOfTheKinds) {
    Create("img", "i");
    Fake<TFakeImage>("i").Data = {1, -2, 3, 128, "cg\\a.png", "cg\\b.png", true, 2, "*OnMouse", 255, 0, 0};
    Create("bar", "bar");
    Fake<TFakeBar>("bar").Data = {5, 6, 7, 255, "thumb.png", "track.png", false, 1, "x", 255, 0, 0};
    Create("list", "l");
    static_cast<TKelObjectDataStringList*>(Object("l"))->Lines().SetText("a\r\nb\r\nc\r\n");
    Create("file", "f");
    H.Context.Packs.FileExistsHook = [](const std::string& name) { return name == "Script\\A.txt"; };
    H.Context.Packs.LoadFileHook = [](const std::string&) { return std::make_unique<TMemoryStream>("k=v\r\n"); };
    ASSERT_TRUE(static_cast<TKelObjectDataFile*>(Object("f"))->TextFile().LoadFile("Script/A.txt"));
    Create("snd", "0_snd,3");
    Create("snd", "0_snd,4");
    Create("Widget", "w");
    const std::pair<const char*, const char*> cases[] = {
        {"i", "xyza(1,-2,3,128)file(cg\\a.png,cg\\b.png)show(1)motion(2,*OnMouse)"},
        {"bar", "xyza(5,6,7,255)file(thumb.png,track.png)show(0)"},
        {"l", "Lines(3)"},
        {"f", "file(Script\\A.txt)"},
        {"0_snd,3", "file(bgm\\title.ogg)state(2)vol(200)type(0)"},
        {"0_snd,4", "file()state(0)vol(0)type(0)"},
        {"w", "ObjectName(widget)"},
        {"0_sys,0", ""},
    };
    for (const auto& [name, text] : cases)
        EXPECT_EQ(Object(name)->GetInfo(), text) << name;
}

TEST_F(KelObjectManagerTest, StringListsSaveTheirLinesAndRefuseAShortStream) {
    Create("list", "l");
    auto& lines = static_cast<TKelObjectDataStringList*>(Object("l"))->Lines();
    lines.Add("ab");
    lines.Add("");
    TMemoryStream s;
    ASSERT_TRUE(H.Script.OnObjectSave(s, "L"));
    EXPECT_EQ(s.AsString(), std::string("\x02\0\0\0\x02\0ab\0\0", 10));
    s.SetPosition(0);
    ASSERT_TRUE(H.Script.OnObjectLoad(s, "list", "copy"));
    EXPECT_EQ(static_cast<TKelObjectDataStringList*>(Object("copy"))->Lines().Items, lines.Items);
    EXPECT_FALSE(H.Script.OnObjectSave(s, "nobody"));

    // A count that the remaining bytes cannot hold is refused before anything is read; a stream
    // that ends inside a line keeps the lines before it.
    const std::pair<std::string, std::vector<std::string>> bad[] = {
        {std::string("\xFF\xFF\xFF\xFF\x01\0a", 7), {}},
        {std::string("\x03\0\0\0\x01\0a\x05\0ab\0\0", 13), {"a"}},
        {std::string("\x01\0", 2), {}},
    };
    for (const auto& [bytes, kept] : bad) {
        lines.Add("old");
        TMemoryStream b(bytes);
        EXPECT_FALSE(Object("l")->LoadFromStream(b));
        EXPECT_EQ(lines.Items, kept);
    }
    lines.Add("x");
    Object("l")->Reset();
    EXPECT_EQ(lines.Count(), 0);
}

TEST_F(KelObjectManagerTest, TextFilesSaveTheirNameAndReadTheFileAgainOnLoad) {
    std::string text = "a=1\r\nb=2\r\n";
    H.Context.Packs.FileExistsHook = [](const std::string& name) { return name == "data\\t.txt"; };
    H.Context.Packs.LoadFileHook = [&](const std::string&) { return std::make_unique<TMemoryStream>(text); };
    Create("file", "f");
    TFileIOLib& file = static_cast<TKelObjectDataFile*>(Object("f"))->TextFile();
    ASSERT_TRUE(file.LoadFile("data\\t.txt"));
    TMemoryStream s;
    ASSERT_TRUE(H.Script.OnObjectSave(s, "f"));
    EXPECT_EQ(s.AsString(), std::string("\x0A\0data\\t.txt", 12));

    text = "a=3\r\n";  // the file changed since the save: the load reads it as it is now
    s.SetPosition(0);
    ASSERT_TRUE(H.Script.OnObjectLoad(s, "file", "g"));
    TFileIOLib& loaded = static_cast<TKelObjectDataFile*>(Object("g"))->TextFile();
    EXPECT_EQ(loaded.FileName(), "data\\t.txt");
    EXPECT_EQ(loaded.GetValue("a"), "3");
    EXPECT_EQ(Object("g")->GetInfo(), "file(data\\t.txt)");

    Object("f")->Reset();
    EXPECT_EQ(file.FileName(), "");
    EXPECT_EQ(file.Lines().Count(), 0);
    EXPECT_EQ(Object("f")->GetInfo(), "file()");
}

TEST_F(KelObjectManagerTest, ResetAndSwapReachTheWrappedObjects) {
    Create("img", "p");
    Create("img", "q");
    Create("bar", "b1");
    Create("bar", "b2");
    Create("Widget", "w");
    Object("p")->CameraX = 4;
    Object("p")->Reset();
    Object("b1")->Reset();
    Object("w")->Reset();
    Object("p")->CaptureState();
    EXPECT_EQ(Object("p")->CameraX, 0);
    EXPECT_EQ(World.Log, (std::vector<std::string>{"p:clear:", "b1:clear:", "plugin:init:", "p:capture:"}));

    ASSERT_TRUE(H.Script.SwapObjects("p", "Q"));
    EXPECT_EQ(Object("p")->ScreenObject(), static_cast<IKelScreenObject*>(&Fake<TFakeImage>("q")));
    ASSERT_TRUE(H.Script.SwapObjects("b1", "b2"));
    EXPECT_EQ(static_cast<TKelObjectDataScrollBar*>(Object("b1"))->ScrollBar(), &Fake<TFakeBar>("b2"));
    EXPECT_FALSE(H.Script.SwapObjects("p", "b1"));
    // Saving goes to the engine object now wrapped.
    TMemoryStream s;
    ASSERT_TRUE(H.Script.OnObjectSave(s, "p"));
    EXPECT_EQ(s.AsString(), "q");
}

}  // namespace
