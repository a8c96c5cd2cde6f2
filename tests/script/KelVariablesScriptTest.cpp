// The variable tables as the interpreter uses them: scopes across subroutine levels and between
// the game script and the system script, dimensions and bounds, typed reads and writes through the
// evaluator, owning object arrays and their objects, and tables saved and loaded again.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/Encoding.h"
#include "script/KelScriptLib.h"
#include "script/KelValueLib.h"
#include "script/uKelObjectKinds.h"
#include "tests/support/ScriptHarness.h"

namespace {

using T = TCalcValueType;
using S = TVariableScope;
using Strings = std::vector<std::string>;

const std::string kBad = "[ERROR]:計算式が間違っています。";

std::string Lines(std::initializer_list<const char*> lines) {
    std::string out;
    for (const char* l : lines)
        out += std::string(l) + "\r\n";
    return out;
}

TVariableScope ScopeOf(const std::string& letter) {
    return letter == "s" ? S::System : letter == "g" ? S::Game : S::Local;
}

// Declares as the declaring words do: type int, str or obj (a reference array), or an object-kind
// keyword for an owning array. The declaration may carry dimension expressions.
bool Dim(TKelScript& s, TVariableScope scope, const std::string& type, const std::string& declaration) {
    IScriptVariables& v = *s.Variables;
    if (type == "int")
        return v.DeclareVariable(declaration, "", false, KelValueLib::kAllRights, scope, T::Integer, s.Depth());
    if (type == "str")
        return v.DeclareVariable(declaration, "", false, KelValueLib::kAllRights, scope, T::String, s.Depth());
    if (type == "obj")
        return v.DeclareVariable(declaration, "obj", true, KelValueLib::kAllRights, scope, T::Object, s.Depth());
    return v.DeclareVariable(declaration, type, false, KelValueLib::kOwningArray, scope, T::Object, s.Depth());
}

// A headless interpreter with test words: "\dim,scope,type,declaration" (scope l, g or s);
// "\del,name"; "\has,name" traces the scope found from the current depth; "\isob,name" traces
// whether the object exists; "\out,a,b,..." traces evaluated arguments; "\cal,expr"; "\halt".
struct TRig {
    TRig() {
        H.General.OnWord = [this](TKelScript& s, int32_t code, TStringList& args) {
            switch (code) {
                case Cmd("dim"):
                    Dim(s, ScopeOf(args[1]), args[2], args[3]);
                    return true;
                case Cmd("del"):
                    s.Variables->DeleteVariable(args[1], s.Depth());
                    return true;
                case Cmd("has"):
                    Trace.push_back(args[1] + ":" +
                                    std::to_string(static_cast<int>(s.Variables->FindVariable(args[1], s.Depth()))));
                    return true;
                case Cmd("isob"): {
                    std::string name = s.GetTextArgument(args[1]);
                    const bool exists = s.Objects->Find(name) != nullptr;
                    name.push_back(':');
                    name.push_back(exists ? '1' : '0');
                    Trace.push_back(name);
                    return true;
                }
                case Cmd("out"): {
                    std::string line;
                    for (int32_t i = 1; i < args.Count() && !args[i].empty(); ++i) {
                        if (i > 1) line.push_back(' ');
                        line.append(s.Evaluate(args[i]).Text);
                    }
                    Trace.push_back(Encoding::SjisToUtf8(line));
                    return true;
                }
                case Cmd("cal"):
                    s.Evaluate(args[1]);
                    return true;
                case Cmd("halt"):
                    s.CurrentRoutine()->WaitState = wsClick;
                    s.CurrentRoutine()->WaitTime = -1;
                    return true;
                default:
                    return false;
            }
        };
    }
    void Run(const std::string& script, int frames = 3) {
        ASSERT_TRUE(H.Start(script, "@@main"));
        for (int f = 0; f < frames && !H.Context.Log.ErrorFlag; ++f)
            H.Step();
    }
    TKelVariables& Tables() { return dynamic_cast<TKelVariables&>(*H.Script.Variables); }
    // The first error-log line, or empty.
    std::string FirstError() {
        Strings e = H.Errors();
        return e.empty() ? std::string() : e[0];
    }
    TScriptHarness H;
    Strings Trace;
};

TEST(KelVariablesScopes, LocalsBelongToTheirLevelAndDieWithIt) {
    TRig rig;
    rig.Run(Lines({"@@main", "\\dim,l,int,x", "\\dim,g,int,g", "\\dim,s,int,sv", "\\cal,x=1", "\\cal,g=2", "\\cal,sv=3",
                   "\\sub,@@a", "\\has,y", "\\has,z", "\\out,x,g,sv", "\\halt",
                   // Level 1: the level-0 local is invisible; g is visible, so declaring it again
                   // (even as a string) keeps the integer and its value.
                   "@@a", "\\has,x", "\\dim,l,int,y", "\\dim,l,str,g", "\\dim,g,int,g", "\\cal,y=5", "\\sub,@@b",
                   "\\has,y", "\\out,y", "\\ret",
                   // Level 2: the level-1 local is invisible, the game and system ones are seen.
                   "@@b", "\\has,y", "\\has,g", "\\has,sv", "\\dim,l,int,z", "\\has,z", "\\ret"}),
            5);
    EXPECT_EQ(rig.Trace, (Strings{"x:0", "y:0", "g:2", "sv:1", "z:3", "y:3", "5", "y:0", "z:0", "1 2 3"}));
    EXPECT_TRUE(rig.H.Errors().empty());
    // The returns freed the locals of levels 1 and 2, not just hid them.
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("y", 1), S::None);
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("z", 2), S::None);
    EXPECT_EQ(rig.Tables().LocalVariables().Count(), 1);  // x
    EXPECT_EQ(rig.H.Var("g").Type, T::Integer);
    EXPECT_EQ(rig.H.Var("g").Value, 2);
}

TEST(KelVariablesScopes, TheSystemScriptSharesTheSystemTableOnly) {
    TRig rig;
    ASSERT_TRUE(Dim(rig.H.Script, S::System, "int", "sv"));
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "int", "g"));
    rig.H.Eval("sv=3");

    TKelScript child;
    child.Kinds = &rig.H.Kinds;
    ASSERT_TRUE(child.Setup(TScriptLinks{.Context = &rig.H.Context.Context}, &rig.H.Script));
    EXPECT_EQ(child.Variables->FindVariable("sv", 0), S::System);
    EXPECT_EQ(child.Variables->FindVariable("g", 0), S::None);
    EXPECT_EQ(child.Evaluate("sv").Value, 3);
    child.Evaluate("sv=9");
    EXPECT_EQ(rig.H.Var("sv").Value, 9);
    // A system variable declared by either script is the other's too; game variables are not.
    ASSERT_TRUE(Dim(child, S::System, "str", "shared"));
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("shared", 0), S::System);
    EXPECT_FALSE(Dim(rig.H.Script, S::Game, "int", "shared"));
    // Each script's reset clears its own game table; the shared system table survives.
    child.Reset();
    rig.H.Script.Reset();
    EXPECT_EQ(child.Evaluate("sv").Value, 9);
    EXPECT_EQ(rig.H.Var("sv").Value, 9);
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("g", 0), S::None);
    // Reports switched off on the child's evaluator are off for the shared table as well.
    child.Calculation->SetErrorReport(false);
    EXPECT_FALSE(
        rig.H.Script.Variables->WriteElement(S::System, "sv", TVariableIndexes{{9}}, 0, TCalcValue::Int(1), false));
    child.Calculation->SetErrorReport(true);
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelVariablesArrays, DeclarationsGiveTheirDimensions) {
    TRig rig;
    rig.H.Declare(S::Game, "n", T::Integer, {1}, "2");
    struct Case {
        std::string declaration;
        bool declared;
        std::array<int32_t, 4> dims;
        int32_t count;
        std::string error;
    } cases[] = {
        {"a[3,4]", true, {4, 3, 1, 1}, 12, ""},
        {"z[0,-5]", true, {1, 1, 1, 1}, 1, ""},  // below 1 becomes 1
        {"w[n+1]", true, {3, 1, 1, 1}, 3, ""},
        {"q[2,3,4,5]", true, {5, 4, 3, 2}, 120, ""},
        {"plain", true, {1, 1, 1, 1}, 1, ""},
        {"a[9]", false, {}, 0, ""},  // exists: nothing changes, nothing is reported
        {"v[1,1,1,1,1]", false, {}, 0, "[ERROR]:配列の次元が多すぎます:v"},
        {"big[4096,4096]", false, {}, 0, "[ERROR]:配列の要素数が多すぎます:big"},
    };
    for (const auto& c : cases) {
        rig.H.ClearErrors();
        EXPECT_EQ(Dim(rig.H.Script, S::Local, "int", c.declaration), c.declared) << c.declaration;
        EXPECT_EQ(rig.FirstError(), c.error) << c.declaration;
        if (!c.declared) continue;
        TValue& t = rig.Tables().LocalVariables();
        TValueArrayCustom* a = t.Items(t.FindIndex(KelCalculationLib::NameBeforeBracket(c.declaration), 0))->Array();
        EXPECT_EQ(a->Dims, c.dims) << c.declaration;
        EXPECT_EQ(a->Count, c.count) << c.declaration;
    }
    // The redeclared a kept its dimensions.
    EXPECT_EQ(rig.Tables().LocalVariables().Items(0)->Array()->Count, 12);
}

TEST(KelVariablesArrays, OnlyTheFlatIndexIsChecked) {
    TRig rig;
    rig.H.Declare(S::Game, "n", T::Integer, {1}, "2");
    ASSERT_TRUE(Dim(rig.H.Script, S::Local, "int", "a[3,4]"));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 4; ++j)
            rig.H.Eval("a[" + std::to_string(i) + "," + std::to_string(j) + "]=" + std::to_string(i * 10 + j));
    ASSERT_TRUE(rig.H.Errors().empty());
    const std::string outside = "[ERROR]:範囲外の配列を読み込もうとしました:a";
    struct Case {
        std::string expr;
        TCalcValue result;
        std::string error;
    } cases[] = {
        {"a[2,3]", TCalcValue::Int(23), ""},
        {"a[0,11]", TCalcValue::Int(23), ""},  // the last element, reached through i0 alone
        {"a[0,5]", TCalcValue::Int(11), ""},
        {"a[1,-1]", TCalcValue::Int(3), ""},
        {"a[n,n+1]", TCalcValue::Int(23), ""},
        {"a", TCalcValue::Int(0), ""},
        // Outside: integer 0 after the table's message.
        {"a[3,0]", TCalcValue::Integer(0), outside},
        {"a[0,-1]", TCalcValue::Integer(0), outside},
        {"a[1,0,0]", TCalcValue::Integer(0), outside},  // i2 counts
        {"a[1,1,1,1,1]", TCalcValue::ErrorValue(), "[ERROR]:配列の次元が多すぎます:a"},
        {"a[0,12]=1", TCalcValue::ErrorValue(), "[ERROR]:範囲外の配列に書き込もうとしました:a"},
        {"a[1,1,1,1,1]=1", TCalcValue::ErrorValue(), "[ERROR]:配列の次元が多すぎます:a"},
    };
    for (const auto& c : cases) {
        rig.H.ClearErrors();
        EXPECT_EQ(rig.H.Eval(c.expr), c.result) << c.expr;
        EXPECT_EQ(rig.FirstError(), c.error) << c.expr;
    }

    // Four dimensions: all four indexes take part, the last written varying fastest.
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "int", "q[2,3,4,5]"));
    rig.H.ClearErrors();
    EXPECT_EQ(rig.H.Eval("q[1,2,3,4]=7").Value, 1);
    EXPECT_EQ(rig.H.Var("q", 4 + 3 * 5 + 2 * 5 * 4 + 1 * 5 * 4 * 3), TCalcValue::Int(7));
    EXPECT_EQ(rig.H.Var("q", 118), TCalcValue::Int(0));
    EXPECT_EQ(rig.H.Eval("q[0,0,0,119]").Value, 7);
    EXPECT_EQ(rig.H.Eval("q[1,2,3,3]").Value, 0);
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelVariablesValues, ElementsKeepTheFieldOfTheirType) {
    TRig rig;
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "int", "i"));
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "str", "s"));
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "obj", "o"));
    struct Case {
        std::string assignment;
        std::string variable;
        TCalcValue stored;
    } cases[] = {
        {"i=\"abc\"", "i", TCalcValue::Int(0)},  // a string with no integer reading stores 0
        {"i=\"$1F\"", "i", TCalcValue::Int(31)},
        {"i=\" 12\"", "i", TCalcValue::Int(12)},
        {"i=\"4294967295\"", "i", TCalcValue::Int(0)},  // no 32-bit decimal reading
        {"i=1+2", "i", TCalcValue::Int(3)},
        {"s=1+2", "s", TCalcValue::String("12", 12)},  // the text field of an integer result
        {"s=2*3", "s", TCalcValue::String("2", 2)},
        {"s=\"x\"+5", "s", TCalcValue::String("x5")},
        {"s=-7", "s", TCalcValue::String("-7", -7)},
        {"s=\"漢字\"", "s", TCalcValue::String("漢字")},
        {"o=\"btn1\"", "o", TCalcValue::Object("btn1")},
        {"o=5", "o", TCalcValue::Object("5")},
    };
    for (const auto& c : cases) {
        rig.H.ClearErrors();
        EXPECT_EQ(rig.H.Eval(c.assignment), TCalcValue::Int(1)) << c.assignment;
        TCalcValue v = rig.H.Var(c.variable);
        v.Text = Encoding::SjisToUtf8(v.Text);
        EXPECT_EQ(v, c.stored) << c.assignment;
        EXPECT_TRUE(rig.H.Errors().empty()) << c.assignment;
    }
    // A string element and a string literal of the same text read as the same integer.
    for (const std::string text :
         {"$1F", "0x10", " 12", "\t7", "-2147483648", "2147483648", "$FFFFFFFF", "$100000000", "12abc", "", "+5"}) {
        rig.H.Script.Variables->WriteElement(S::Game, "s", {}, 0, TCalcValue::Str(text), true);
        const int32_t expected = KelValueLib::StrToIntDef0(text);
        EXPECT_EQ(rig.H.Eval("s").Value, expected) << text;
        EXPECT_EQ(rig.H.Eval("\"" + text + "\"").Value, expected) << text;
        EXPECT_EQ(rig.H.Eval("s*1").Value, expected) << text;
    }
}

TEST(KelVariablesValues, LocksAndForcedWrites) {
    TRig rig;
    IScriptVariables& v = *rig.H.Script.Variables;
    const int32_t one[4] = {1, 1, 1, 1};
    ASSERT_TRUE(v.Declare(S::Game, "ro", "", one, 0, T::Integer, KelValueLib::kReadable, false));
    ASSERT_TRUE(v.Declare(S::Game, "wo", "", one, 0, T::Integer, KelValueLib::kWritable, false));
    struct Case {
        std::string expr;
        TCalcValue result;
        Strings errors;
    } cases[] = {
        {"ro=1", TCalcValue::ErrorValue(), {"[ERROR]:変数に書き込みロックがかかっています:ro", kBad}},
        {"wo=1", TCalcValue::Int(1), {}},
        {"wo",
         TCalcValue::ErrorValue(),
         {"[ERROR]:変数に読み込みロックがかかっています:wo", "[ERROR]:未定義の変数：wo"}},
        {"ResultInt[15]=4", TCalcValue::Int(1), {}},
        {"ResultInt[16]=4", TCalcValue::ErrorValue(), {"[ERROR]:範囲外の配列に書き込もうとしました:ResultInt", kBad}},
        {"nosuch=1", TCalcValue::ErrorValue(), {"[ERROR]:未定義の変数：nosuch", kBad}},
    };
    for (const auto& c : cases) {
        rig.H.ClearErrors();
        EXPECT_EQ(rig.H.Eval(c.expr), c.result) << c.expr;
        EXPECT_EQ(rig.H.Errors(), c.errors) << c.expr;
    }
    // The interpreter's setters write with force; an unforced init of a locked variable fails.
    rig.H.ClearErrors();
    rig.H.Script.SetResultInt("ro", 0, 5);
    EXPECT_EQ(rig.H.Eval("ro").Value, 5);
    EXPECT_FALSE(v.InitVariable(S::Game, "ro", 0, false));
    EXPECT_EQ(rig.FirstError(), "[ERROR]:変数に書き込みロックがかかっています:ro");
    rig.H.ClearErrors();
    rig.H.Script.ResetVariable("ro");
    EXPECT_EQ(rig.H.Eval("ro").Value, 0);
    EXPECT_FALSE(v.WriteElement(S::Game, "gone", {}, 0, TCalcValue::Int(1), true));
    EXPECT_EQ(rig.FirstError(), "[ERROR]:変数が宣言されていません:gone");
    // With reports off nothing is written to the log, and the results are the same.
    rig.H.ClearErrors();
    rig.H.Script.Calculation->SetErrorReport(false);
    EXPECT_EQ(rig.H.Eval("wo"), TCalcValue::ErrorValue());
    EXPECT_EQ(rig.H.Eval("ResultInt[99]"), TCalcValue::Integer(0));
    EXPECT_FALSE(v.WriteElement(S::Game, "ro", {}, 0, TCalcValue::Int(1), false));
    rig.H.Script.Calculation->SetErrorReport(true);
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelVariablesObjects, OwningArraysMakeAndFreeTheirObjects) {
    TRig rig;
    TKelObjectManager& objects = *rig.H.Script.Objects;
    const int32_t builtins = objects.Count();
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "btn", "sel[3]"));
    for (const char* name : {"0_sel,0", "0_sel,1", "0_sel,2"}) {
        ASSERT_NE(objects.Find(name), nullptr) << name;
        EXPECT_EQ(objects.Find(name)->Kind(), TObjectKind::Button) << name;
    }
    EXPECT_EQ(rig.H.Eval("sel[1]"), TCalcValue::Object("0_sel,1"));
    // Readable and deletable, not writable.
    EXPECT_EQ(rig.H.Eval("sel[0]=\"x\""), TCalcValue::ErrorValue());
    EXPECT_EQ(rig.FirstError(), "[ERROR]:変数に書き込みロックがかかっています:sel");
    rig.H.ClearErrors();
    EXPECT_TRUE(rig.H.Script.Variables->DeleteVariable("sel", 0));
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("sel", 0), S::None);
    EXPECT_EQ(objects.Count(), builtins);
    // A built-in singleton is found but not deletable: it stays with its object.
    EXPECT_TRUE(rig.H.Script.Variables->DeleteVariable("sys", 0));
    EXPECT_EQ(rig.H.Script.Variables->FindVariable("sys", 0), S::Game);
    EXPECT_NE(objects.Find("0_sys,0"), nullptr);
    EXPECT_TRUE(rig.H.Errors().empty());

    // Failures of the callbacks are reported per element; the variable exists all the same.
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "nosuch", "bad[2]"));
    EXPECT_EQ(rig.H.Errors(),
              (Strings{"[ERROR]:Objectの生成に失敗しました：0_bad,0", "[ERROR]:Objectの生成に失敗しました：0_bad,1"}));
    rig.H.ClearErrors();
    ASSERT_TRUE(Dim(rig.H.Script, S::Game, "list", "gone[2]"));
    ASSERT_TRUE(objects.Remove("0_gone,1"));
    EXPECT_TRUE(rig.H.Script.Variables->DeleteVariable("gone", 0));
    EXPECT_EQ(rig.H.Errors(), (Strings{"[ERROR]:Objectの解放に失敗しました：0_gone,1"}));
    EXPECT_EQ(objects.Find("0_gone,0"), nullptr);
    rig.H.ClearErrors();

    // A routine's owning arrays are named by its level and freed when it returns; a reset frees
    // the game table's.
    rig.Run(Lines({"@@main", "\\dim,g,img,keep[2]", "\\sub,@@a", "\\isob,{1_tmp,0}", "\\isob,{0_keep,1}", "\\halt",
                   "@@a", "\\dim,l,list,tmp[2]", "\\isob,{1_tmp,1}", "\\ret"}));
    EXPECT_EQ(rig.Trace, (Strings{"1_tmp,1:1", "1_tmp,0:0", "0_keep,1:1"}));
    EXPECT_TRUE(rig.H.Errors().empty());
    rig.H.Script.Reset();
    EXPECT_EQ(objects.Count(), builtins);
    EXPECT_EQ(objects.Find("0_keep,0"), nullptr);
}

// What a table holds, record by record, for comparisons.
struct TRecordImage {
    int16_t Level;
    uint16_t Flags;
    uint32_t Hash;
    std::string Name, ClassName;
    T Type;
    uint8_t Reference;
    int32_t Owner;
    std::array<int32_t, 4> Dims;
    std::vector<TCalcValue> Elements;
    bool operator==(const TRecordImage&) const = default;
};

std::vector<TRecordImage> Image(TValue& t) {
    std::vector<TRecordImage> out;
    for (int32_t i = 0; i < t.Count(); ++i) {
        TValueData* r = t.Items(i);
        TValueArrayCustom* a = r->Array();
        TRecordImage image{r->OwnerLevel(), r->Flags,     r->NameHash(),  a->Name, a->ClassName,
                           a->ElementType,  a->Reference, a->OwnerNumber, a->Dims, {}};
        for (int32_t k = 0; k < a->Count; ++k) {
            TCalcValue v;
            a->ReadElement(k, v);
            image.Elements.push_back(v);
        }
        out.push_back(std::move(image));
    }
    return out;
}

// The objects that the owning arrays of the tables name.
int32_t OwnedElements(TKelVariables& tables) {
    int32_t n = 0;
    for (TValue* t : {&tables.GameVariables(), &tables.LocalVariables(), &tables.SystemVariables()})
        for (int32_t i = 0; i < t->Count(); ++i)
            if (TValueArrayCustom* a = t->Items(i)->Array(); a && a->ElementType == T::Object && a->Reference == 0)
                n += a->Count;
    return n;
}

TEST(KelVariablesStreams, TablesComeBackWithTheirObjects) {
    TRig rig;
    TKelScript& s = rig.H.Script;
    ASSERT_TRUE(Dim(s, S::Game, "int", "score[2,3]"));
    ASSERT_TRUE(Dim(s, S::Game, "str", "name"));
    ASSERT_TRUE(Dim(s, S::Game, "obj", "pick"));
    ASSERT_TRUE(Dim(s, S::Game, "list", "notes[2]"));
    ASSERT_TRUE(Dim(s, S::Local, "int", "tmp[4]"));
    ASSERT_TRUE(Dim(s, S::System, "str", "flags"));
    rig.H.Eval("score[1,2]=-5");
    rig.H.Eval("name=\"花子\"");
    rig.H.Eval("pick=notes[1]");
    rig.H.Eval("tmp[3]=9");
    rig.H.Eval("flags=\"a,b\"");
    rig.H.Eval("ResultStr[2]=\"kept\"");
    auto* list = dynamic_cast<TKelObjectDataStringList*>(s.Objects->Find("0_notes,1"));
    ASSERT_NE(list, nullptr);
    list->Lines().Add("line one");
    list->Lines().Add("line two");
    ASSERT_TRUE(rig.H.Errors().empty());

    TKelVariables& tables = rig.Tables();
    const auto game = Image(tables.GameVariables()), local = Image(tables.LocalVariables()),
               system = Image(tables.SystemVariables());
    const int32_t objectCount = s.Objects->Count();
    TMemoryStream gameStream, localStream, systemStream;
    s.Variables->SaveToStream(S::Game, gameStream);
    s.Variables->SaveToStream(S::Local, localStream);
    s.Variables->SaveToStream(S::System, systemStream);

    // A reset empties the game and local tables and frees their objects; loading brings back the
    // records and, through the load callback, the objects with their states.
    s.Reset();
    s.Variables->Clear(S::System);
    ASSERT_EQ(s.Objects->Find("0_notes,1"), nullptr);
    for (TMemoryStream* m : {&gameStream, &localStream, &systemStream})
        m->SetPosition(0);
    ASSERT_TRUE(s.Variables->LoadFromStream(S::Game, gameStream));
    ASSERT_TRUE(s.Variables->LoadFromStream(S::Local, localStream));
    ASSERT_TRUE(s.Variables->LoadFromStream(S::System, systemStream));
    EXPECT_EQ(gameStream.Remaining(), 0);
    EXPECT_TRUE(Image(tables.GameVariables()) == game);
    EXPECT_TRUE(Image(tables.LocalVariables()) == local);
    EXPECT_TRUE(Image(tables.SystemVariables()) == system);
    EXPECT_EQ(s.Objects->Count(), objectCount);
    list = dynamic_cast<TKelObjectDataStringList*>(s.Objects->Find("0_notes,1"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->Lines().Items, (Strings{"line one", "line two"}));
    EXPECT_EQ(rig.H.Eval("score[1,2]").Value, -5);
    EXPECT_EQ(rig.H.Eval("name").Text, "花子");
    EXPECT_EQ(rig.H.Eval("pick").Text, "0_notes,1");
    EXPECT_TRUE(rig.H.Errors().empty());
}

TEST(KelVariablesStreams, ADamagedTableLoadsWhatIsWholeAndLeaksNoObject) {
    TRig rig;
    TKelScript& s = rig.H.Script;
    ASSERT_TRUE(Dim(s, S::Game, "list", "notes[3]"));
    ASSERT_TRUE(Dim(s, S::Game, "str", "after"));
    for (const char* name : {"0_notes,0", "0_notes,2"})
        dynamic_cast<TKelObjectDataStringList*>(s.Objects->Find(name))->Lines().Add("text");
    TMemoryStream saved;
    s.Variables->SaveToStream(S::Game, saved);
    const std::string bytes = saved.AsString();
    TKelVariables& tables = rig.Tables();

    // Every cut of the stream fails cleanly: the objects alive are exactly those that the loaded
    // owning arrays name, and every name the tables hold finds its object.
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        TMemoryStream damaged(std::string_view(bytes).substr(0, cut));
        EXPECT_FALSE(s.Variables->LoadFromStream(S::Game, damaged)) << cut;
        EXPECT_EQ(s.Objects->Count(), OwnedElements(tables)) << cut;
        TValue& t = tables.GameVariables();
        for (int32_t i = 0; i < t.Count(); ++i) {
            auto* a = dynamic_cast<TValueArrayObject*>(t.Items(i)->Array());
            if (!a || a->Reference != 0) continue;
            for (const std::string& item : a->Items) {
                EXPECT_NE(s.Objects->Find(item), nullptr) << cut << " " << item;
            }
        }
    }
    // An object state that cannot be read stops the load there: nothing after it is read as names.
    std::string badState = bytes;
    const size_t state = badState.find("0_notes,0") + 9;  // the first list's line count
    badState.replace(state, 4, "\xFF\xFF\xFF\x7F");
    TMemoryStream corrupt(badState);
    EXPECT_FALSE(s.Variables->LoadFromStream(S::Game, corrupt));
    EXPECT_EQ(s.Objects->Find("text"), nullptr);
    EXPECT_EQ(tables.GameVariables().FindIndex("notes", 0), -1);
    EXPECT_EQ(s.Objects->Count(), OwnedElements(tables));
    // A record count beyond what the bytes can hold is refused before anything is made.
    std::string huge = bytes;
    huge[0] = huge[1] = huge[2] = huge[3] = '\xFF';
    TMemoryStream tooMany(huge);
    EXPECT_FALSE(s.Variables->LoadFromStream(S::Game, tooMany));
    EXPECT_EQ(tables.GameVariables().Count(), 0);
    EXPECT_EQ(s.Objects->Count(), 0);
    // And the whole stream still loads.
    TMemoryStream whole(bytes);
    EXPECT_TRUE(s.Variables->LoadFromStream(S::Game, whole));
    EXPECT_EQ(s.Objects->Count(), OwnedElements(tables));
    EXPECT_EQ(dynamic_cast<TKelObjectDataStringList*>(s.Objects->Find("0_notes,2"))->Lines().Items, Strings{"text"});
}

}  // namespace
