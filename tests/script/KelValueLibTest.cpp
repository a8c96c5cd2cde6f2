#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "foundation/StreamStrings.h"
#include "foundation/uMisc.h"
#include "platform/Encoding.h"
#include "script/KelValueLib.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/TestData.h"

namespace {

// The interpreter's side of object variables: a set of live objects, each with a state byte that
// is saved and loaded, and a log of every call.
struct TFakeObjects {
    std::map<std::string, uint8_t> Live;
    std::vector<std::string> Calls;
    std::set<std::string> FailCreate, FailFree;
    uint8_t NextState = 1;
    TErrorLog* Log = nullptr;

    TObjectVariableCallbacks Callbacks() {
        TObjectVariableCallbacks c;
        c.Log = Log;
        c.Create = [this](const std::string& cls, const std::string& var, const std::string& name) {
            Calls.push_back("create " + cls + " " + var + " " + name);
            if (FailCreate.count(name) || Live.count(name)) return false;
            Live[name] = NextState++;
            return true;
        };
        c.Free = [this](const std::string& cls, const std::string& var, const std::string& name) {
            Calls.push_back("free " + cls + " " + var + " " + name);
            if (FailFree.count(name)) return false;
            return Live.erase(name) == 1;
        };
        c.Save = [this](TStream& s, const std::string&, const std::string&, const std::string& name) {
            uint8_t state = Live.count(name) ? Live[name] : 0;
            s.WriteBuffer(&state, 1);
            return true;
        };
        c.Load = [this](TStream& s, const std::string& cls, const std::string& var, const std::string& name) {
            Calls.push_back("load " + cls + " " + var + " " + name);
            uint8_t state = 0;
            s.ReadBuffer(&state, 1);  // raises on a short stream, as an object's loader does
            Live[name] = state;
            return true;
        };
        return c;
    }
};

// A small evaluator: integer literals and variable names (with index lists), enough to drive
// dimension and index expressions.
class TFakeEvaluator : public IVariableEvaluator {
public:
    TCalcValue Calculate(const std::string& text, int32_t level) override {
        if (!text.empty() && (isdigit(static_cast<unsigned char>(text[0])) || text[0] == '-'))
            return TCalcValue::Integer(KelValueLib::StrToIntDef0(text), text);
        TCalcValue v = TCalcValue::Integer(0);
        if (!Vars || Vars->ReadVariable(text, level, v) == TVariableScope::None) return TCalcValue::ErrorValue();
        return v;
    }
    std::unique_ptr<TStringList> IndexList(const std::string& token) override {
        auto list = std::make_unique<TStringList>();
        if (token.empty()) return list;
        if (token.back() != ']') {
            list->Add(token);
            return list;
        }
        size_t open = token.find('[');
        list->Add(token.substr(0, open));
        std::string inner = token.substr(open + 1, token.size() - open - 2), item;
        int depth = 0;
        for (char c : inner) {
            if (c == '[') ++depth;
            if (c == ']') --depth;
            if (c == ',' && depth == 0) {
                list->Add(item);
                item.clear();
            } else if (c != ' ') {
                item += c;
            }
        }
        list->Add(item);
        return list;
    }
    TKelVariables* Vars = nullptr;
};

class KelValueLibTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        Objects.Log = &Log;
        Vars = std::make_unique<TKelVariables>(Objects.Callbacks(), Evaluator);
        Evaluator.Vars = Vars.get();
    }
    void TearDown() override { Vars.reset(); }
    // The messages logged since the last call, without the "[ERROR]:" prefix.
    std::vector<std::string> TakeMessages() {
        std::vector<std::string> out;
        for (const std::string& line : Log.ErrorList.Items)
            out.push_back(line.substr(8));
        Log.ClearErrorLog();
        Log.ErrorFlag = false;
        return out;
    }
    bool Var(const std::string& decl, TCalcValueType type, int32_t level, TVariableScope scope = TVariableScope::Local,
             const std::string& cls = "", uint8_t reference = 0, uint16_t flags = KelValueLib::kAllRights) {
        return Vars->DeclareVariable(decl, cls, reference, flags, scope, type, level);
    }
    TCalcValue Read(const std::string& name, int32_t level) {
        TCalcValue v = TCalcValue::Integer(0);
        Vars->ReadVariable(name, level, v);
        return v;
    }

    TFakeObjects Objects;
    TFakeEvaluator Evaluator;
    std::unique_ptr<TKelVariables> Vars;
};

const auto kInt = TCalcValueType::Integer;
const auto kStr = TCalcValueType::String;
const auto kObj = TCalcValueType::Object;

TEST_F(KelValueLibTest, FlatIndexFollowsTheLastIndexFastestAndOnlyTheFlatIndexIsChecked) {
    ASSERT_TRUE(Var("a[3,4]", kInt, 0));
    TValueArrayCustom* a = Vars->LocalVariables().Items(0)->Array();
    EXPECT_EQ(a->Count, 12);
    EXPECT_EQ(a->Dims, (std::array<int32_t, 4>{4, 3, 1, 1}));
    for (int k = 0; k < 12; ++k)
        ASSERT_TRUE(Vars->SetVariableInteger("a[0," + std::to_string(k) + "]", 0, 100 + k));

    struct Case {
        const char* ref;
        int32_t expected;  // -1: outside
    } cases[] = {
        {"a[2,3]", 111}, {"a[0,11]", 111}, {"a[0,5]", 105}, {"a[1,1]", 105}, {"a[1,-1]", 103},
        {"a[0,3]", 103}, {"a", 100},       {"a[1]", 101},   {"a[3,0]", -1},  {"a[0,-1]", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ref);
        TCalcValue v = Read(c.ref, 0);
        if (c.expected < 0) {
            EXPECT_EQ(v.Value, 0);
            EXPECT_EQ(TakeMessages(), std::vector<std::string>{"範囲外の配列を読み込もうとしました:a"_sj});
        } else {
            EXPECT_EQ(v.Value, c.expected);
            EXPECT_EQ(v.Text, std::to_string(c.expected));
            EXPECT_TRUE(TakeMessages().empty());
        }
    }
    EXPECT_FALSE(Vars->SetVariableInteger("a[12]", 0, 1));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"範囲外の配列に書き込もうとしました:a"_sj});
}

TEST_F(KelValueLibTest, FourDimensionsUseAllFourIndexesAndDimensionsBelowOneBecomeOne) {
    ASSERT_TRUE(Var("q[2,3,4,5]", kInt, 0));
    ASSERT_TRUE(Var("z[0,-3]", kInt, 0));
    ASSERT_TRUE(Var("n[k]", kInt, 0));  // an undefined name evaluates to the error value, integer 0
    TakeMessages();
    TValueArrayCustom* q = Vars->LocalVariables().Items(0)->Array();
    EXPECT_EQ(q->Dims, (std::array<int32_t, 4>{5, 4, 3, 2}));
    EXPECT_EQ(q->Count, 120);
    // q[1,2,3,4] = 4 + 3*5 + 2*20 + 1*60
    ASSERT_TRUE(Vars->SetVariableInteger("q[1,2,3,4]", 0, 7));
    EXPECT_EQ(static_cast<TValueArrayInteger*>(q)->Items[119], 7);
    EXPECT_EQ(Read("q[1,2,3,4]", 0).Value, 7);
    EXPECT_EQ(Read("q[0,2,3,4]", 0).Value, 0);
    EXPECT_EQ(Vars->LocalVariables().Items(1)->Array()->Count, 1);
    EXPECT_EQ(Vars->LocalVariables().Items(2)->Array()->Count, 1);

    // More than four dimensions or indexes: refused with a message, nothing declared or written.
    EXPECT_FALSE(Var("f[1,2,3,4,5]", kInt, 0));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"配列の次元が多すぎます:f"_sj});
    EXPECT_EQ(Vars->GetVariableScope("f", 0), TVariableScope::None);
    EXPECT_FALSE(Vars->SetVariableInteger("q[0,1,2,3,4]", 0, 9));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"配列の次元が多すぎます:q"_sj});
}

TEST_F(KelValueLibTest, OversizedDeclarationsAreRefusedWithAMessageAndDeclareNothing) {
    const char* decls[] = {"big[65536,65536]", "big[2147483647,2147483647,2147483647,2147483647]", "big[4194305]",
                           "big[2049,2048]"};
    for (const char* decl : decls) {
        SCOPED_TRACE(decl);
        EXPECT_FALSE(Var(decl, kObj, 0, TVariableScope::Game, "btn"));
        EXPECT_EQ(TakeMessages(), std::vector<std::string>{"配列の要素数が多すぎます:big"_sj});
        EXPECT_EQ(Vars->GameVariables().Count(), 0);
    }
    EXPECT_TRUE(Objects.Calls.empty());
    EXPECT_TRUE(Var("big[2048,2048]", kInt, 0, TVariableScope::Game));  // exactly the cap
    EXPECT_EQ(Vars->GameVariables().Items(0)->Array()->Count, KelValueLib::kMaxElements);
}

TEST_F(KelValueLibTest, ScopeSearchGoesFromLocalAtTheLevelToGameToSystem) {
    ASSERT_TRUE(Var("s", kInt, 3, TVariableScope::System));
    ASSERT_TRUE(Var("g", kInt, 3, TVariableScope::Game));
    ASSERT_TRUE(Var("l", kInt, 2, TVariableScope::Local));
    // System and game variables carry level 0 whatever the declaring depth.
    EXPECT_EQ(Vars->SystemVariables().Items(0)->OwnerLevel(), 0);
    EXPECT_EQ(Vars->GameVariables().Items(0)->OwnerLevel(), 0);
    EXPECT_EQ(Vars->LocalVariables().Items(0)->OwnerLevel(), 2);

    struct Case {
        const char* name;
        int32_t level;
        TVariableScope scope;
    } cases[] = {
        {"S", 5, TVariableScope::System}, {"g", 0, TVariableScope::Game}, {"L", 2, TVariableScope::Local},
        {"l", 1, TVariableScope::None},   {"l", 3, TVariableScope::None}, {"l[4]", 2, TVariableScope::Local},
        {"x", 0, TVariableScope::None},   {"", 0, TVariableScope::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Vars->GetVariableScope(c.name, c.level), c.scope) << c.name << c.level;

    // Redeclaring a visible name keeps it, in whichever scope it lives, without a message.
    ASSERT_TRUE(Vars->SetVariableInteger("g", 2, 42));
    EXPECT_FALSE(Var("G", kStr, 2, TVariableScope::Local));
    EXPECT_FALSE(Var("g[10]", kStr, 2, TVariableScope::System));
    EXPECT_EQ(Read("g", 2).Value, 42);
    EXPECT_TRUE(TakeMessages().empty());

    // A local of the same name shadows the game variable at its own level only.
    EXPECT_FALSE(Var("s", kInt, 1, TVariableScope::Local));  // the system variable is visible
    EXPECT_EQ(Vars->LocalVariables().Count(), 1);
    ASSERT_TRUE(Var("h", kInt, 0, TVariableScope::Game));
    ASSERT_TRUE(Vars->LocalVariables().Declare("h", "", 1, 1, 1, 1, 1, kInt, 0xFF, 0));
    EXPECT_EQ(Vars->GetVariableScope("h", 1), TVariableScope::Local);
    EXPECT_EQ(Vars->GetVariableScope("h", 0), TVariableScope::Game);

    // Returning from depth 2 to depth 1 drops the level-2 locals.
    Vars->LocalVariables().DeleteAboveOwner(1);
    EXPECT_EQ(Vars->GetVariableScope("l", 2), TVariableScope::None);
    EXPECT_EQ(Vars->GetVariableScope("h", 1), TVariableScope::Local);

    // Undefined names in assignments.
    EXPECT_FALSE(Vars->SetVariableInteger("nope[1]", 0, 1));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"未定義の変数：nope"_sj});
}

TEST_F(KelValueLibTest, TablesInUseFollowTheOverridesSoTwoScriptsShareSystemVariables) {
    TFakeEvaluator childEvaluator;
    TKelVariables child(Objects.Callbacks(), childEvaluator);
    childEvaluator.Vars = &child;
    child.SetScopeTables(&Vars->SystemVariables(), nullptr, nullptr);

    ASSERT_TRUE(child.DeclareVariable("shared", "", 0, 0xFF, TVariableScope::System, kInt, 0));
    ASSERT_TRUE(child.SetVariableInteger("shared", 0, 5));
    EXPECT_EQ(Read("shared", 0).Value, 5);
    ASSERT_TRUE(Var("mine", kInt, 0, TVariableScope::Game));
    EXPECT_EQ(child.GetVariableScope("mine", 0), TVariableScope::None);

    // Switching reports off covers the overriding table too.
    child.SetErrorReport(false);
    EXPECT_FALSE(Vars->SystemVariables().ErrorReport);
    child.SetVariableInteger("shared[3]", 0, 1);
    child.SetVariableInteger("none", 0, 1);
    EXPECT_TRUE(TakeMessages().empty());
    child.SetErrorReport(true);
    child.SetScopeTables(nullptr, nullptr, nullptr);
    EXPECT_EQ(child.GetVariableScope("shared", 0), TVariableScope::None);
}

TEST_F(KelValueLibTest, WritesTakeTheFieldOfTheElementTypeAndReadsFillTheOtherField) {
    ASSERT_TRUE(Var("i", kInt, 0));
    ASSERT_TRUE(Var("s", kStr, 0));
    ASSERT_TRUE(Var("o", kObj, 0, TVariableScope::Local, "obj", 1));
    struct Case {
        const char* target;
        TCalcValue value;
        TCalcValueType type;
        int32_t readValue;
        const char* readText;
    } cases[] = {
        // A string with no integer reading stores 0; one with a reading stores its value field.
        {"i", TCalcValue::String("abc", 0), kInt, 0, "0"},
        {"i", TCalcValue::String("$1F", 31), kInt, 31, "31"},
        // 1+2 is 3 with the text 12: a string variable keeps the text.
        {"s", TCalcValue::Integer(3, "12"), kStr, 12, "12"},
        {"s", TCalcValue::String("0x10"), kStr, 16, "0x10"},
        {"s", TCalcValue::String(" -7"), kStr, -7, " -7"},
        {"s", TCalcValue::String("4294967295"), kStr, 0, "4294967295"},
        {"s", TCalcValue::String("$FFFFFFFF"), kStr, -1, "$FFFFFFFF"},
        {"s", TCalcValue::String("12a"), kStr, 0, "12a"},
        {"o", TCalcValue::String("img1"), kObj, 0, "img1"},
        {"o", TCalcValue::Integer(5, "5"), kObj, 0, "5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.target) + "=" + c.value.Text);
        ASSERT_TRUE(Vars->SetVariable(c.target, 0, c.value));
        TCalcValue v = Read(c.target, 0);
        EXPECT_EQ(v.Type, c.type);
        EXPECT_EQ(v.Value, c.readValue);
        EXPECT_EQ(v.Text, c.readText);
    }
    // The table's own writers build (0, n, empty), (1, 0, text), (2, 0, name).
    TValue& local = Vars->LocalVariables();
    EXPECT_TRUE(local.WriteInteger("S", {0}, false, 9, 0));
    EXPECT_EQ(Read("s", 0).Text, "");
    EXPECT_TRUE(local.WriteString("i", {0}, false, "77", 0));
    EXPECT_EQ(Read("i", 0).Value, 0);
    EXPECT_TRUE(local.WriteObject("o", {0}, false, "btn3", 0));
    EXPECT_EQ(Read("o", 0).Text, "btn3");
    EXPECT_FALSE(local.WriteInteger("missing", {0}, true, 1, 0));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"変数が宣言されていません:missing"_sj});
}

TEST_F(KelValueLibTest, FlagsLockReadsWritesAndDeletionUnlessForced) {
    TValue& game = Vars->GameVariables();
    ASSERT_TRUE(game.Declare("ro", "", 2, 1, 1, 1, 0, kInt, KelValueLib::kReadable, 0));
    ASSERT_TRUE(game.Declare("wo", "", 1, 1, 1, 1, 0, kStr, KelValueLib::kWritable, 0));
    const int32_t wo = game.FindIndex("WO", 0);

    EXPECT_FALSE(Vars->SetVariableInteger("ro[1]", 0, 3));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"変数に書き込みロックがかかっています:ro"_sj});
    EXPECT_TRUE(game.WriteInteger("ro", {1}, true, 3, 0));
    EXPECT_EQ(Read("ro[1]", 0).Value, 3);

    TCalcValue v = TCalcValue::Integer(1);
    EXPECT_FALSE(game.ReadByIndex(wo, 0, 0, 0, 0, 0, v, false));
    EXPECT_TRUE(v.IsError());
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"変数に読み込みロックがかかっています:wo"_sj});
    EXPECT_TRUE(game.ReadByIndex(wo, 0, 0, 0, 0, 0, v, true));
    // No such record: the error value, silently.
    v = TCalcValue::Integer(1);
    EXPECT_FALSE(game.ReadByIndex(-1, 0, 0, 0, 0, 0, v, false));
    EXPECT_FALSE(game.ReadByIndex(99, 0, 0, 0, 0, 0, v, false));
    EXPECT_TRUE(v.IsError());
    EXPECT_TRUE(TakeMessages().empty());

    // Init: write-locked, missing, and forced.
    EXPECT_FALSE(Vars->InitVariable("ro", 0));
    EXPECT_FALSE(Vars->InitVariable("zz", 0));
    EXPECT_EQ(TakeMessages(), (std::vector<std::string>{"変数に書き込みロックがかかっています:ro"_sj,
                                                        "変数が宣言されていません:zz"_sj}));
    EXPECT_TRUE(game.InitVariable("ro", 0, true));
    EXPECT_EQ(Read("ro[1]", 0).Value, 0);

    // Not deletable: found (true) but kept; force removes it.
    EXPECT_TRUE(Vars->DeleteVariable("ro", 0));
    EXPECT_NE(game.FindIndex("ro", 0), -1);
    EXPECT_FALSE(Vars->DeleteVariable("zz", 0));
    EXPECT_TRUE(game.Delete("ro", 0, true));
    EXPECT_EQ(game.FindIndex("ro", 0), -1);
    EXPECT_EQ(game.FindIndex("wo", 0), 0);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(KelValueLibTest, OwningObjectArraysCreateAndFreeTheirObjectsThroughTheCallbacks) {
    ASSERT_TRUE(Var("b[3]", kObj, 0, TVariableScope::Local, "btn", 0, KelValueLib::kOwningArray));
    EXPECT_EQ(Objects.Calls,
              (std::vector<std::string>{"create btn b 0_b,0", "create btn b 0_b,1", "create btn b 0_b,2"}));
    EXPECT_EQ(Read("b[2]", 0).Text, "0_b,2");
    EXPECT_EQ(Read("b[2]", 0).Type, kObj);
    // Not writable: the element names stay.
    EXPECT_FALSE(Vars->SetVariable("b[0]", 0, TCalcValue::String("x")));
    TakeMessages();

    // A reference array owns nothing.
    ASSERT_TRUE(Var("r[4]", kObj, 0, TVariableScope::Local, "obj", 1));
    EXPECT_EQ(Objects.Calls.size(), 3u);
    EXPECT_EQ(Read("r[3]", 0).Text, "");

    Objects.Calls.clear();
    EXPECT_TRUE(Vars->DeleteVariable("B", 0));
    EXPECT_EQ(Objects.Calls, (std::vector<std::string>{"free btn b 0_b,0", "free btn b 0_b,1", "free btn b 0_b,2"}));
    EXPECT_TRUE(Objects.Live.empty());
    Vars->LocalVariables().Clear();
    EXPECT_EQ(Objects.Calls.size(), 3u);

    // Failures are reported with the element name; the declaration itself stands.
    Objects.Calls.clear();
    Objects.FailCreate = {"2_Sel,1"};
    ASSERT_TRUE(Var("Sel[2]", kObj, 2, TVariableScope::Local, "img", 0, KelValueLib::kOwningArray));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Objectの生成に失敗しました：2_Sel,1"_sj});
    EXPECT_EQ(Objects.Live.size(), 1u);
    // Leaving level 2 frees the level-2 locals; the element whose object never came reports.
    Vars->LocalVariables().DeleteAboveOwner(1);
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"Objectの解放に失敗しました：2_Sel,1"_sj});
    EXPECT_TRUE(Objects.Live.empty());
}

// One record's bytes, laid out by hand.
std::string RecordBytes() {
    TMemoryStream s;
    auto u8 = [&](uint8_t v) { s.WriteBuffer(&v, 1); };
    auto u16 = [&](uint16_t v) { u8(v & 0xFF), u8(v >> 8); };
    auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
    u32(1);                                  // records
    u16(0xFFFE);                             // owner level -2
    u16(0x00FF);                             // flags
    u32(97 * 1 + 98 * 2);                    // hash of "ab": bytes weighted by position
    u8(0), u8(0), u32(0);                    // integer, reference flag, owner number
    uMisc::WriteStreamString(&s, "Ab");      // name
    uMisc::WriteStreamString(&s, "");        // class name
    u32(3), u32(2), u32(1), u32(1), u32(6);  // d0..d3, count
    for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 0xFFFFFFFFu})
        u32(v);
    return s.AsString();
}

TEST_F(KelValueLibTest, StreamLayoutIsFieldByFieldLittleEndian) {
    TValue t(Objects.Callbacks());
    ASSERT_TRUE(t.Declare("Ab", "", 3, 2, 1, 1, -2, kInt, 0xFF, 0));
    auto* a = static_cast<TValueArrayInteger*>(t.Items(0)->Array());
    a->Items = {1, 2, 3, 4, 5, -1};
    TMemoryStream s;
    t.SaveToStream(s);
    EXPECT_EQ(s.AsString(), RecordBytes());

    TMemoryStream in(RecordBytes());
    TValue u(Objects.Callbacks());
    ASSERT_TRUE(u.LoadFromStream(in));
    EXPECT_EQ(u.FindIndex("aB", -2), 0);
    EXPECT_EQ(static_cast<TValueArrayInteger*>(u.Items(0)->Array())->Items, a->Items);
}

TEST_F(KelValueLibTest, SaveAndLoadRoundTripRecreatesRecordsAndOwnedObjects) {
    TValue& game = Vars->GameVariables();
    ASSERT_TRUE(Var("n[2,3]", kInt, 0, TVariableScope::Game));
    ASSERT_TRUE(Var("t[2]", kStr, 0, TVariableScope::Game));
    ASSERT_TRUE(Var("own[2]", kObj, 0, TVariableScope::Game, "btn", 0, KelValueLib::kOwningArray));
    ASSERT_TRUE(Var("ref", kObj, 0, TVariableScope::Game, "obj", 1));
    ASSERT_TRUE(game.Declare("ResultInt", "int", 16, 1, 1, 1, 0, kInt, 3, 0));
    ASSERT_TRUE(game.Declare("n", "", 1, 1, 1, 1, 4, kInt, 0x0F, 0));  // same name, other level
    ASSERT_TRUE(Vars->SetVariableInteger("n[1,2]", 0, -5));
    ASSERT_TRUE(Vars->SetVariable("t[1]", 0, TCalcValue::String("日本語"_sj)));
    ASSERT_TRUE(Vars->SetVariable("ref", 0, TCalcValue::Object("0_own,1")));
    Objects.Live["0_own,0"] = 0x40;
    Objects.Live["0_own,1"] = 0x41;

    TMemoryStream saved;
    game.SaveToStream(saved);

    // Loading clears the table first (freeing its objects), then the load callback brings them back.
    Objects.Calls.clear();
    saved.SetPosition(0);
    ASSERT_TRUE(game.LoadFromStream(saved));
    EXPECT_EQ(saved.Remaining(), 0);
    EXPECT_EQ(Objects.Calls, (std::vector<std::string>{"free btn own 0_own,0", "free btn own 0_own,1",
                                                       "load btn own 0_own,0", "load btn own 0_own,1"}));
    EXPECT_EQ(Objects.Live, (std::map<std::string, uint8_t>{{"0_own,0", 0x40}, {"0_own,1", 0x41}}));

    ASSERT_EQ(game.Count(), 6);
    EXPECT_EQ(game.Items(5)->OwnerLevel(), 4);
    EXPECT_EQ(game.Items(5)->Flags, 0x0F);
    EXPECT_EQ(game.Items(4)->NameHash(), KelValueLib::NameHash("resultint"));
    EXPECT_EQ(game.Items(2)->Array()->Reference, 0);
    EXPECT_EQ(game.Items(2)->Array()->ClassName, "btn");
    EXPECT_EQ(game.Items(0)->Array()->Dims, (std::array<int32_t, 4>{3, 2, 1, 1}));
    EXPECT_EQ(Read("n[1,2]", 0).Value, -5);
    EXPECT_EQ(Read("t[1]", 0).Text, "日本語"_sj);
    EXPECT_EQ(Read("ref", 0).Text, "0_own,1");
    EXPECT_EQ(Read("own[1]", 0).Text, "0_own,1");

    TMemoryStream again;
    game.SaveToStream(again);
    EXPECT_EQ(again.AsString(), saved.AsString());
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(KelValueLibTest, DamagedStreamsFailCleanlyAndFreeWhatTheyLoaded) {
    TValue& game = Vars->GameVariables();
    ASSERT_TRUE(Var("a[3]", kInt, 0, TVariableScope::Game));
    ASSERT_TRUE(Var("own[3]", kObj, 0, TVariableScope::Game, "btn", 0, KelValueLib::kOwningArray));
    ASSERT_TRUE(Var("s[2]", kStr, 0, TVariableScope::Game));
    TMemoryStream saved;
    game.SaveToStream(saved);
    const std::string bytes = saved.AsString();
    game.Clear();
    Objects.Live.clear();

    // Every truncation fails, keeps whole records only, and leaks no object.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        TMemoryStream in(bytes.substr(0, cut));
        TValue t(Objects.Callbacks());
        EXPECT_FALSE(t.LoadFromStream(in));
        for (int32_t i = 0; i < t.Count(); ++i) {
            const TValueArrayCustom* a = t.Items(i)->Array();
            EXPECT_EQ(a->Count, a->Dims[0]);
        }
        t.Clear();
        EXPECT_TRUE(Objects.Live.empty());
        TakeMessages();
    }

    // Counts larger than the bytes that remain are refused before anything is allocated.
    auto patched = [&](std::initializer_list<std::pair<size_t, uint32_t>> fields) {
        std::string b = bytes;
        for (auto [at, v] : fields)
            for (int k = 0; k < 4; ++k)
                b[at + k] = static_cast<char>(v >> (8 * k));
        return b;
    };
    const size_t dimsAt = 4 + 2 + 2 + 4 + 1 + 1 + 4 + 3 + 2, countAt = dimsAt + 16;
    for (const std::string& bad : {
             patched({{0, 0xFFFFFFFF}}),                        // records
             patched({{dimsAt, 4000000}, {countAt, 4000000}}),  // elements, within the cap
             patched({{dimsAt, 5000000}, {countAt, 5000000}}),  // elements, above the cap
             patched({{countAt, 0x7FFFFFFF}}),                  // count that is not the product
             patched({{dimsAt, 0xFFFFFFFD}}),                   // negative dimension
         }) {
        TMemoryStream in(bad);
        TValue t(Objects.Callbacks());
        EXPECT_FALSE(t.LoadFromStream(in));
        EXPECT_EQ(t.Count(), 0);
    }
}

TEST_F(KelValueLibTest, ARecordWithoutArrayIsNeverFoundAndIsSavedAgain) {
    TMemoryStream s;
    auto u8 = [&](uint8_t v) { s.WriteBuffer(&v, 1); };
    u8(2), u8(0), u8(0), u8(0);                // two records
    u8(0), u8(0), u8(7), u8(0);                // level 0, flags 7
    u8(0), u8(0), u8(0), u8(0);                // hash
    u8(9), u8(0), u8(0), u8(0), u8(0), u8(0);  // unknown type: no array follows
    uMisc::WriteStreamString(&s, "");          // name: hash 0 matches the empty name
    uMisc::WriteStreamString(&s, "cls");
    TValue src(Objects.Callbacks());
    ASSERT_TRUE(src.Declare("x", "", 1, 1, 1, 1, 0, kInt, 0xFF, 0));
    TMemoryStream tail;
    src.SaveToStream(tail);
    s.WriteBuffer(tail.Memory() + 4, tail.Size() - 4);

    s.SetPosition(0);
    TValue t(Objects.Callbacks());
    ASSERT_TRUE(t.LoadFromStream(s));
    ASSERT_EQ(t.Count(), 2);
    EXPECT_EQ(t.Items(0)->Array(), nullptr);
    EXPECT_EQ(t.FindIndex("", 0), -1);
    EXPECT_EQ(t.FindIndex("x", 0), 1);
    TCalcValue v;
    EXPECT_FALSE(t.ReadByIndex(0, 0, 0, 0, 0, 0, v, true));
    EXPECT_FALSE(t.WriteByIndex(0, 0, 0, 0, 0, 0, TCalcValue::Integer(1), true, "q"));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"変数が宣言されていません:q"_sj});

    TMemoryStream out;
    t.SaveToStream(out);
    std::string expected = s.AsString();
    expected[12] = 3;  // saved with the type of a record without array
    expected[13] = 1;
    EXPECT_EQ(out.AsString(), expected);
}

TEST_F(KelValueLibTest, IndexedLookUpAgreesWithTheLinearSearch) {
    // Few names, a few levels (now and then one below 0 or one far above the others) and random
    // deletions, compared against the first-match scan.
    const int32_t levels[] = {0, 1, 2, 3, -1, 300};
    const char* names[] = {"a",
                           "A",
                           "b",
                           "ab",
                           "ba",
                           "日",
                           "\x83"
                           "A",
                           "\x83"
                           "a",
                           "Long_Name"};
    std::mt19937 rng(7);
    TValue t(Objects.Callbacks());
    for (int step = 0; step < 3000; ++step) {
        std::string name = names[rng() % std::size(names)];
        int32_t level = levels[rng() % 16 == 0 ? 4 + rng() % 2 : rng() % 4];
        switch (rng() % 4) {
            case 0:
            case 1:
                t.Declare(name, "", 1, 1, 1, 1, level, kInt, static_cast<uint16_t>(rng() % 8), 0);
                break;
            case 2:
                t.Delete(name, level, rng() % 2 == 0);
                break;
            default: {
                const int32_t above = rng() % 8 == 0 ? -2 : static_cast<int32_t>(rng() % 4);
                t.DeleteAboveOwner(above);
                for (int32_t i = 0; i < t.Count(); ++i)
                    ASSERT_LE(t.Items(i)->OwnerLevel(), above) << "step " << step;
                break;
            }
        }
        for (const char* probe : names) {
            for (int32_t lv : levels) {
                int32_t expected = -1;
                for (int32_t i = 0; i < t.Count() && expected < 0; ++i) {
                    TValueData* r = t.Items(i);
                    if (r->OwnerLevel() == lv && r->NameHash() == KelValueLib::NameHash(probe) &&
                        ClassLib::SameTextAscii(r->Name(), probe))
                        expected = i;
                }
                ASSERT_EQ(t.FindIndex(probe, lv), expected) << probe << " " << lv << " step " << step;
            }
        }
    }
    // The two-byte names differ in the trail byte only: different characters, different variables.
    EXPECT_NE(KelValueLib::NameHash("\x83"
                                    "A"),
              KelValueLib::NameHash("\x83"
                                    "a"));
    for (const char* n : names)
        EXPECT_EQ(KelValueLib::NameHash(n), static_cast<uint32_t>(uMisc::WeightedSum(ClassLib::LowerAscii(n))));
    // ASCII first, then a two-byte character whose trail byte is a capital; the bytes around the
    // capitals; a half-width kana (no lead byte) before a capital; weights past 255 wrap.
    for (const std::string& n : {std::string("Ab\x83"
                                             "Az"),
                                 std::string("@[`{Z"), std::string("\xb1Q"), std::string(300, 'Q')})
        EXPECT_EQ(KelValueLib::NameHash(n), static_cast<uint32_t>(uMisc::WeightedSum(ClassLib::LowerAscii(n)))) << n;
}

TEST_F(KelValueLibTest, RecordsFreedOnReturnComeBackAsNewDeclarations) {
    // Integer and string records dropped by DeleteAboveOwner are reused by later declarations:
    // each must look exactly like a fresh one, whatever the old one held.
    TValue t(Objects.Callbacks());
    ASSERT_TRUE(t.Declare("ParamInt", "", 16, 1, 1, 1, 1, kInt, KelValueLib::kAllRights, 0));
    ASSERT_TRUE(t.Declare("ParamStr", "", 4, 2, 1, 1, 1, kStr, KelValueLib::kAllRights, 0));
    for (int32_t k = 0; k < 8; ++k) {
        ASSERT_TRUE(t.WriteInteger("ParamInt", {k, 0, 0, 0}, false, 100 + k, 1));
        ASSERT_TRUE(t.WriteString("ParamStr", {k % 4, k / 4, 0, 0}, false, "old", 1));
    }
    t.DeleteAboveOwner(0);
    EXPECT_EQ(t.Count(), 0);
    EXPECT_EQ(t.FindIndex("ParamInt", 1), -1);
    EXPECT_EQ(t.FindIndex("ParamStr", 1), -1);

    ASSERT_TRUE(t.Declare("s", "", 3, 1, 1, 1, 2, kStr, KelValueLib::kReadable, 0));
    ASSERT_TRUE(t.Declare("Other", "", 2, 3, 1, 1, 1, kInt, KelValueLib::kReadable, 0));
    ASSERT_EQ(t.Count(), 2);
    for (int32_t i = 0; i < 2; ++i) {
        const TValueData* r = t.Items(i);
        const TValueArrayCustom* a = r->Array();
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(r->Flags, KelValueLib::kReadable);
        EXPECT_EQ(r->OwnerLevel(), i == 0 ? 2 : 1);
        EXPECT_EQ(r->NameHash(), KelValueLib::NameHash(r->Name()));
        EXPECT_TRUE(a->ClassName.empty());
        EXPECT_EQ(a->Reference, 0);
        EXPECT_EQ(a->OwnerNumber, 0);
    }
    const auto& s = static_cast<const TValueArrayString&>(*t.Items(0)->Array());
    EXPECT_EQ(s.Name, "s");
    EXPECT_EQ(s.Count, 3);
    EXPECT_EQ(s.Dims, (std::array<int32_t, 4>{3, 1, 1, 1}));
    EXPECT_EQ(s.Items, (std::vector<std::string>{"", "", ""}));
    const auto& o = static_cast<const TValueArrayInteger&>(*t.Items(1)->Array());
    EXPECT_EQ(o.Name, "Other");
    EXPECT_EQ(o.Count, 6);
    EXPECT_EQ(o.Dims, (std::array<int32_t, 4>{2, 3, 1, 1}));
    EXPECT_EQ(o.Items, std::vector<int32_t>(6, 0));
    EXPECT_EQ(t.FindIndex("other", 1), 1);
    EXPECT_EQ(t.FindIndex("S", 2), 0);
    // Declared read-only: writes without force are refused.
    EXPECT_FALSE(t.WriteInteger("Other", {0, 0, 0, 0}, false, 5, 1));
    EXPECT_EQ(TakeMessages().size(), 1u);
}

TEST_F(KelValueLibTest, ASubroutineFrameDeclaredAgainKeepsItsLookUpsOnlyWhenItIsTheSame) {
    // A frame of three parameters at level 1 is looked up, dropped by a return and declared again
    // in some way; the look-ups remembered before the return must read what fresh ones read.
    using TSteps = std::function<void(TKelVariables&)>;
    auto param = [](TKelVariables& v, const char* name, TCalcValueType type, int32_t count, int32_t level) {
        const int32_t dims[4] = {count, 1, 1, 1};
        v.Declare(TVariableScope::Local, name, "", dims, level, type, KelValueLib::kAllRights, false);
    };
    auto frame = [param](TKelVariables& v, int32_t level) {
        param(v, "ParamCount", kInt, 1, level);
        param(v, "ParamInt", kInt, 16, level);
        param(v, "ParamStr", kStr, 16, level);
    };
    struct TCase {
        const char* Name;
        TSteps Again;
    };
    const TCase cases[] = {
        {"the same frame", [frame](TKelVariables& v) { frame(v, 1); }},
        {"another local first",  // an object array, which takes no spare record
         [frame, param](TKelVariables& v) {
             param(v, "a", kObj, 1, 1);
             frame(v, 1);
         }},
        {"another local after",
         [frame, param](TKelVariables& v) {
             frame(v, 1);
             param(v, "a", kStr, 1, 1);
         }},
        {"another order",
         [param](TKelVariables& v) {
             param(v, "ParamStr", kStr, 16, 1);
             param(v, "ParamInt", kInt, 16, 1);
             param(v, "ParamCount", kInt, 1, 1);
         }},
        {"in part",
         [param](TKelVariables& v) {
             param(v, "ParamCount", kInt, 1, 1);
             param(v, "ParamStr", kStr, 16, 1);
         }},
        {"another type",
         [param](TKelVariables& v) {
             param(v, "ParamCount", kInt, 1, 1);
             param(v, "ParamInt", kStr, 16, 1);
             param(v, "ParamStr", kStr, 16, 1);
         }},
        {"one deleted after",
         [frame](TKelVariables& v) {
             frame(v, 1);
             v.DeleteVariable("ParamInt", 1);
         }},
        {"at another level", [frame](TKelVariables& v) { frame(v, 2); }},
        {"after a game variable",
         [frame](TKelVariables& v) {
             const int32_t one[4] = {1, 1, 1, 1};
             v.Declare(TVariableScope::Game, "ParamInt", "", one, 0, kInt, KelValueLib::kAllRights, false);
             frame(v, 1);
         }},
        {"twice returned",
         [frame](TKelVariables& v) {
             frame(v, 1);
             v.DeleteAboveOwner(0);
             frame(v, 1);
         }},
        {"cleared between",
         [frame](TKelVariables& v) {
             v.Clear(TVariableScope::Local);
             frame(v, 1);
         }},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TKelVariables vars(Objects.Callbacks(), Evaluator);
        vars.SetErrorReport(false);
        const int32_t one[4] = {1, 1, 1, 1};
        vars.Declare(TVariableScope::Game, "a", "", one, 0, kInt, KelValueLib::kAllRights, false);
        frame(vars, 1);
        const char* probes[] = {"a", "ParamCount", "ParamInt", "ParamStr"};
        std::vector<TVariableMemo> memos(std::size(probes));
        TCalcValue v;
        for (size_t k = 0; k < memos.size(); ++k)
            vars.ReadFound(probes[k], KelValueLib::NameHash(probes[k]), {}, 1, v, memos[k]);
        bool written = false;
        vars.WriteFound("ParamInt", {}, 1, TCalcValue::Int(7), written);
        vars.DeleteAboveOwner(0);
        c.Again(vars);
        for (size_t k = 0; k < memos.size(); ++k) {
            TCalcValue remembered = TCalcValue::Integer(-1), fresh = TCalcValue::Integer(-1);
            const uint32_t hash = KelValueLib::NameHash(probes[k]);
            EXPECT_EQ(vars.ReadFound(probes[k], hash, {}, 1, remembered, memos[k]),
                      vars.ReadFound(probes[k], hash, {}, 1, fresh))
                << probes[k];
            EXPECT_EQ(remembered, fresh) << probes[k];
        }
    }
}

TEST_F(KelValueLibTest, RememberedLookUpsAgreeWithFreshOnes) {
    // Random declarations, deletions, returns of subroutine frames (declared again whole, in
    // another order, in part or with another type), writes, saves and loads: after every step each
    // remembered look-up (a scope search or a record of one table) reads what a fresh one reads.
    Vars->SetErrorReport(false);
    const char* names[] = {"a", "A", "b", "ParamCount", "ParamInt", "ParamStr", "\x93\xfa"};
    struct TFrameVar {
        const char* Name;
        TCalcValueType Type;
        int32_t Count;
    };
    const TFrameVar frame[] = {{"ParamCount", kInt, 1}, {"ParamInt", kInt, 16}, {"ParamStr", kStr, 16}};
    const TVariableScope scopes[] = {TVariableScope::Local, TVariableScope::Game, TVariableScope::System};
    std::map<std::pair<std::string, int32_t>, TVariableMemo> searches;
    std::map<std::tuple<int, std::string, int32_t>, TRecordMemo> records;
    std::vector<std::tuple<std::string, int32_t, TVariableMemo>> kept(64, {"a", 0, TVariableMemo{}});
    std::mt19937 rng(11);
    auto declare = [&](TVariableScope scope, const std::string& name, TCalcValueType type, int32_t count,
                       int32_t level) {
        const int32_t dims[4] = {count, 1, 1, 1};
        Vars->Declare(scope, name, "", dims, level, type, KelValueLib::kAllRights, false);
    };
    for (int step = 0; step < 3000; ++step) {
        const std::string name = names[rng() % std::size(names)];
        const int32_t level = static_cast<int32_t>(rng() % 4);
        switch (rng() % 10) {
            case 0:
            case 1:
                declare(scopes[rng() % 3], name, rng() % 2 ? kInt : kStr, 1 + static_cast<int32_t>(rng() % 3), level);
                break;
            case 2:
                Vars->DeleteVariable(name, level);
                break;
            case 3:
            case 4:
                Vars->DeleteAboveOwner(static_cast<int32_t>(rng() % 3));
                break;
            case 5:
            case 6: {
                // A call: the frame at one level above, mostly as it was before; otherwise in another
                // order, in part, with another type, or with another local before or after it.
                const int32_t at = 1 + static_cast<int32_t>(rng() % 3);
                const int variant = rng() % 10;
                if (variant == 4) declare(TVariableScope::Local, "a", kInt, 1, at);
                for (int k = 0; k < 3; ++k) {
                    const TFrameVar& v = frame[variant == 1 ? 2 - k : k];
                    if (variant == 2 && k == 1) continue;
                    declare(TVariableScope::Local, v.Name, variant == 3 && k == 0 ? kStr : v.Type, v.Count, at);
                }
                if (variant == 5) declare(TVariableScope::Local, "b", kStr, 1, at);
                break;
            }
            case 7: {
                TVariableIndexes idx;
                idx.I[0] = static_cast<int32_t>(rng() % 3);
                bool written = false;
                Vars->WriteFound(name, idx, level, TCalcValue::Int(static_cast<int32_t>(rng() % 100)), written);
                break;
            }
            case 8: {
                const TVariableScope scope = scopes[rng() % 3];
                TMemoryStream saved;
                Vars->SaveToStream(scope, saved);
                if (rng() % 2) declare(scope, name, kInt, 1, level);
                saved.SetPosition(0);
                ASSERT_TRUE(Vars->LoadFromStream(scope, saved));
                break;
            }
            default:
                if (rng() % 8 == 0) Vars->Clear(scopes[rng() % 3]);
                break;
        }
        // Memos that sat unused since some earlier step, as those of code not run for a while.
        for (size_t k = 0; k < kept.size(); ++k) {
            auto [probe, at, memo] = kept[k];
            TCalcValue remembered = TCalcValue::Integer(-1), fresh = TCalcValue::Integer(-1);
            const uint32_t hash = KelValueLib::NameHash(probe);
            ASSERT_EQ(Vars->ReadFound(probe, hash, {}, at, remembered, memo),
                      Vars->ReadFound(probe, hash, {}, at, fresh))
                << probe << " at " << at << ", kept memo " << k << ", step " << step;
            ASSERT_EQ(remembered, fresh) << probe << " at " << at << ", kept memo " << k << ", step " << step;
        }
        for (const char* probe : names) {
            for (int32_t at = 0; at < 4; ++at) {
                TVariableIndexes idx;
                idx.I[0] = at % 2;
                TCalcValue remembered = TCalcValue::Integer(-1), fresh = TCalcValue::Integer(-1);
                const uint32_t hash = KelValueLib::NameHash(probe);
                const TVariableScope a = Vars->ReadFound(probe, hash, idx, at, remembered, searches[{probe, at}]);
                const TVariableScope b = Vars->ReadFound(probe, hash, idx, at, fresh);
                ASSERT_EQ(a, b) << probe << " at " << at << ", step " << step;
                ASSERT_EQ(remembered, fresh) << probe << " at " << at << ", step " << step;
                if (rng() % 16 == 0) kept[rng() % kept.size()] = {probe, at, searches[{probe, at}]};
                for (int t = 0; t < 3; ++t) {
                    TValue& table = *Vars->Table(scopes[t]);
                    const int32_t tableLevel = t == 0 ? at : 0;
                    ASSERT_EQ(table.FindRecord(probe, hash, tableLevel, records[{t, probe, at}]),
                              table.Items(table.FindIndex(probe, tableLevel)))
                        << probe << " in table " << t << " at " << at << ", step " << step;
                }
            }
        }
    }
}

}  // namespace
