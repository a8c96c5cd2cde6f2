#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "script/KelCalculationLib.h"
#include "tests/support/ScriptHarness.h"

namespace {

using T = TCalcValueType;

std::vector<std::string> Items(const TStringList& l) {
    return l.Items;
}

TEST(KelCalculationText, SplitParametersKeepsBracesQuotesAndBracketsTogether) {
    struct Case {
        std::string text;
        int32_t min;
        std::vector<std::string> items;
    };
    const std::vector<Case> cases = {
        {"\\msg, a , b", 0, {"\\msg", "a", "b"}},
        {"a,,b,", 0, {"a", "", "b"}},
        {"f(a,b),\"x,y\",{p,\"q\",r},[1,2]", 0, {"f(a,b)", "\"x,y\"", "{p,\"q\",r}", "[1,2]"}},
        // a quote inside braces does not count, one after them does
        {"{\"}\",a", 0, {"{\"}\",a"}},
        {"a", 3, {"a", "", ""}},
        {"   ", 9, {}},
        {Encoding::Utf8ToSjis("表,b"), 0, {Encoding::Utf8ToSjis("表"), "b"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Items(KelCalculationLib::SplitParameters(c.text, ',', c.min)), c.items) << c.text;
}

TEST(KelCalculationText, BracketsNamesAndIndexLists) {
    EXPECT_EQ(KelCalculationLib::BracketContents("\"a b\""), "a b");
    EXPECT_EQ(KelCalculationLib::BracketContents("x( 1 + (2) ) tail"), "1+(2)");
    EXPECT_EQ(KelCalculationLib::BracketContents("a[i,\"]\"]"), "i,\"]\"");
    EXPECT_EQ(KelCalculationLib::BracketContents("(open"), "open");
    EXPECT_EQ(KelCalculationLib::NameBeforeBracket(" a b[1]"), "ab");
    EXPECT_EQ(Items(KelCalculationLib::IndexList("a[i,j+1]", ',')), (std::vector<std::string>{"a", "i", "j+1"}));
    EXPECT_EQ(Items(KelCalculationLib::IndexList("plain", ',')), (std::vector<std::string>{"plain"}));
    EXPECT_TRUE(Items(KelCalculationLib::IndexList("", ',')).empty());
}

// A fresh interpreter with a few variables: x = 4, y, i = 1 (integers), s = "abc", t (strings),
// a[5] with a[2] = 10, m[3,4].
struct TCalcRig {
    explicit TCalcRig(bool cache) {
        static_cast<TKelCalculation*>(H.Script.Calculation.get())->UseCache = cache;
        H.Declare(TVariableScope::Game, "x", T::Integer, {1}, "4");
        H.Declare(TVariableScope::Game, "y", T::Integer);
        H.Declare(TVariableScope::Local, "i", T::Integer, {1}, "1");
        H.Declare(TVariableScope::Game, "s", T::String, {1}, "abc");
        H.Declare(TVariableScope::Game, "t", T::String);
        H.Declare(TVariableScope::Game, "a", T::Integer, {5});
        H.Declare(TVariableScope::Game, "m", T::Integer, {3, 4});
        TVariableIndexes two;
        two.I[0] = 2;
        H.Script.Variables->WriteElement(TVariableScope::Game, "a", two, 0, TCalcValue::Int(10), true);
    }
    TScriptHarness H;
};

struct TCalcCase {
    std::string expr;
    TCalcValue result;
    std::vector<std::string> errors;
    std::string after = "";  // a variable to check afterwards, "name=value"
};

const std::string kBad = "[ERROR]:計算式が間違っています。";
const std::string kUndefined = "[ERROR]:未定義の変数：";

std::string Nested(int levels) {
    std::string e;
    for (int k = 0; k < levels; ++k)
        e += "1+2*(";
    e += "1";
    e += std::string(static_cast<size_t>(levels), ')');
    return e;
}

TCalcCase C(std::string expr, TCalcValue result, std::vector<std::string> errors, std::string after = "") {
    return TCalcCase{std::move(expr), std::move(result), std::move(errors), std::move(after)};
}

const std::vector<TCalcCase>& Cases() {
    static const std::vector<TCalcCase> cases = {
        // precedence and folding
        C("1+2*3", {T::Integer, 7, "12"}, {}),
        C("(1+2)*3", {T::Integer, 9, "12"}, {}),
        C("10-2-3", {T::Integer, 5, "10"}, {}),
        C("2*3%4", {T::Integer, 2, "2"}, {}),
        C("1<2==1", {T::Integer, 1, "1"}, {}),
        C("1 2+0", {T::Integer, 12, "120"}, {}),
        C("x==4&&s==\"ABC\"", {T::Integer, 1, "4"}, {}),
        // every operator, with 32-bit wrap
        C("2147483647+1", {T::Integer, INT32_MIN, "21474836471"}, {}),
        C("0-2147483647-2", {T::Integer, INT32_MAX, "0"}, {}),
        C("65536*65536", {T::Integer, 0, "65536"}, {}),
        C("7/0", {T::Integer, 0, "7"}, {}),
        C("7%0", {T::Integer, 0, "7"}, {}),
        C("-7/2", {T::Integer, -3, "-7"}, {}),
        C("-7%2", {T::Integer, -1, "-7"}, {}),
        C("-2147483648/-1", {T::Integer, INT32_MIN, "-2147483648"}, {}),
        C("-2147483648%-1", {T::Integer, 0, "-2147483648"}, {}),
        C("1<<33", {T::Integer, 2, "1"}, {}),
        C("-1>>28", {T::Integer, 15, "-1"}, {}),
        C("12&10", {T::Integer, 8, "1210"}, {}),
        C("12|3", {T::Integer, 15, "12"}, {}),
        C("12^10", {T::Integer, 6, "12"}, {}),
        C("3!=4", {T::Integer, 1, "3"}, {}),
        C("3<=3", {T::Integer, 1, "3"}, {}),
        C("3>=4", {T::Integer, 0, "3"}, {}),
        C("3>4", {T::Integer, 0, "3"}, {}),
        C("-3<2", {T::Integer, 1, "-3"}, {}),
        C("1&&2", {T::Integer, 0, "1"}, {}),
        C("1||2", {T::Integer, 1, "1"}, {}),
        C("0||0", {T::Integer, 0, "0"}, {}),
        // numbers and literals
        C("$1F", {T::Integer, 31, "$1F"}, {}),
        C("0x1F", {T::Integer, 31, "0x1F"}, {}),
        C("4294967295", {T::Integer, -1, "4294967295"}, {}),
        C("-5", {T::Integer, -5, "-5"}, {}),
        C("\"say '''hi'''\"", {T::String, 0, "say \"hi\""}, {}),
        C("\"12\"", {T::String, 12, "12"}, {}),
        // strings and integers mixed
        C("\"ABC\"==\"abc\"", {T::Integer, 1, "ABC"}, {}),
        C("\"b\">\"A\"", {T::Integer, 1, "b"}, {}),
        C("s+5", {T::String, 5, "abc5"}, {}),
        C("5+\"円\"", {T::Integer, 5, "5円"}, {}),
        C("s&\"d\"", {T::String, 0, "abcd"}, {}),
        C("s<\"abd\"", {T::Integer, 1, "abc"}, {}),
        C("-x", {T::Integer, -4, "-4"}, {}),
        C("^x", {T::Integer, -5, "-5"}, {}),
        // assignment, increments, indexes
        C("x=1+2", {T::Integer, 1, "1"}, {}, "x=3"),
        C("t=1+2", {T::Integer, 1, "1"}, {}, "t=12"),
        C("t=2*3", {T::Integer, 1, "1"}, {}, "t=2"),
        C("x=\"7\"", {T::Integer, 1, "1"}, {}, "x=7"),
        C("x++", {T::Integer, 5, "5"}, {}, "x=5"),
        C("x--", {T::Integer, 3, "3"}, {}, "x=3"),
        C("y=x++ + 1", {T::Integer, 1, "1"}, {}, "y=6"),
        C("x + a[i+1]*2", {T::Integer, 24, "410"}, {}),
        C("m[2,3]=9", {T::Integer, 1, "1"}, {}, "m=0"),
        C("a[i+1]", {T::Integer, 10, "10"}, {}),
        // faults
        C("", TCalcValue::ErrorValue(), {}),
        C("(1+2", {T::Integer, 3, "12"}, {"[ERROR]:カッコが正しく閉じられていません"}),
        C("^5", TCalcValue::ErrorValue(), {kUndefined + "^5", "[ERROR]:計算中エラーが発生しました。"}),
        C("a b", TCalcValue::ErrorValue(), {kUndefined + "a b", kUndefined + "a b"}),
        C("a b+0", TCalcValue::ErrorValue(), {kUndefined + "ab", kBad}),
        C("\"a\"&&1", TCalcValue::ErrorValue(), {kBad}),
        C("zz=1", TCalcValue::ErrorValue(), {kUndefined + "zz", kBad}),
        C("1=2", TCalcValue::ErrorValue(), {kBad}),
        C("a=b=c", TCalcValue::ErrorValue(), {kUndefined + "b", kUndefined + "c", kBad}),
        C("1+", TCalcValue::ErrorValue(), {kUndefined + "1+", kUndefined + "1+"}),
        C("*", TCalcValue::ErrorValue(), {kUndefined + "*", kUndefined + "*"}),
        C("1**2", TCalcValue::ErrorValue(), {kBad}),
        C("a[9]", {T::Integer, 0, ""}, {"[ERROR]:範囲外の配列を読み込もうとしました:a"}),
        // more than 128 pending operands: the surplus is dropped
        C(Nested(65), TCalcValue::ErrorValue(), {kBad}),
        // nested past the cap
        C(std::string(150, '(') + "1" + std::string(150, ')'), TCalcValue::ErrorValue(), {kBad}),
        // a number index is read as its evaluation would be, up to the cap and past it
        C(std::string(97, '(') + "a[2]" + std::string(97, ')'), {T::Integer, 10, "10"}, {}),
        C(std::string(98, '(') + "a[2]" + std::string(98, ')'), {T::Integer, 0, "0"}, {kBad}),
    };
    return cases;
}

std::string Utf8(const std::string& sj) {
    return Encoding::SjisToUtf8(sj);
}

TEST(KelCalculation, TableOfExpressionsCachedAndAfresh) {
    for (bool cache : {false, true}) {
        for (const auto& c : Cases()) {
            SCOPED_TRACE((cache ? "cached: " : "afresh: ") + c.expr.substr(0, 60));
            TCalcRig rig(cache);
            TCalcValue v = rig.H.Eval(c.expr);
            EXPECT_EQ(v.Type, c.result.Type);
            EXPECT_EQ(v.Value, c.result.Value);
            EXPECT_EQ(v.Text, c.result.Text);
            EXPECT_EQ(rig.H.Errors(), c.errors);
            if (!c.after.empty()) {
                std::string name = c.after.substr(0, c.after.find('='));
                std::string want = c.after.substr(c.after.find('=') + 1);
                TCalcValue got = rig.H.Var(name);
                EXPECT_EQ(Utf8(got.Text), want) << name;
            }
        }
    }
}

TEST(KelCalculation, CachedEvaluationReplaysIncrementsAndMessages) {
    // Evaluated again and again, a cached text does what a fresh one does, side effects included.
    for (const auto& c : Cases()) {
        SCOPED_TRACE(c.expr.substr(0, 60));
        TCalcRig fresh(false), cached(true);
        for (int round = 0; round < 3; ++round) {
            fresh.H.ClearErrors();
            TCalcValue a = fresh.H.Eval(c.expr);
            std::vector<std::string> freshErrors = fresh.H.Errors();
            cached.H.ClearErrors();
            TCalcValue b = cached.H.Eval(c.expr);
            EXPECT_EQ(a, b);
            EXPECT_EQ(freshErrors, cached.H.Errors());
            for (const char* name : {"x", "y", "t"})
                EXPECT_EQ(fresh.H.Var(name), cached.H.Var(name));
        }
    }
}

TEST(KelCalculation, NestedEvaluationLeavesPendingOperandsAlone) {
    TCalcRig rig(true);
    // The index is evaluated while x waits on the stack.
    EXPECT_EQ(rig.H.Eval("x+a[i+1]").Value, 14);
    EXPECT_EQ(rig.H.Eval("x+a[a[2]-8]").Value, 14);
    // The same text at another depth sees other locals: i is local to depth 0.
    rig.H.Script.Thread->Add()->Add()->Kind = TBlockKind::RoutineRoot;
    EXPECT_TRUE(rig.H.Eval("i").IsError());
}

TEST(KelCalculation, ErrorReportOffKeepsTheLogQuiet) {
    TCalcRig rig(true);
    rig.H.Script.Calculation->SetErrorReport(false);
    EXPECT_TRUE(rig.H.Eval("nothing+1").IsError());
    EXPECT_TRUE(rig.H.Eval("(1").Value == 1);
    EXPECT_TRUE(rig.H.Errors().empty());
    rig.H.Script.Calculation->SetErrorReport(true);
    rig.H.Eval("(1");
    EXPECT_EQ(rig.H.Errors().size(), 1u);  // the cached bracket fault is reported again
}

TEST(KelCalculation, AnExpressionThatStartsTooManyEvaluationsGivesTheErrorValue) {
    // Every increment is an evaluation; one on an element evaluates the element's index again,
    // with the increments in it. Nested a few levels deep such lines would run for hours; here
    // one level over a wide index passes the count.
    for (const int increments : {100, TKelCalculation::kMaxEvaluations / 2}) {
        SCOPED_TRACE(increments);
        std::string index;
        for (int k = 0; k < increments; ++k)
            index += "x--+";
        TCalcRig rig(true);
        const TCalcValue v = rig.H.Eval("a[0*(" + index + "0)]--");
        if (increments == 100) {
            EXPECT_FALSE(v.IsError());
            EXPECT_TRUE(rig.H.Errors().empty());
        } else {
            EXPECT_TRUE(v.IsError());
            EXPECT_EQ(rig.H.Errors(), std::vector<std::string>{kBad});  // one report for all refusals
        }
        EXPECT_EQ(rig.H.Eval("1+1").Value, 2);  // the next expression counts afresh
    }
}

}  // namespace
