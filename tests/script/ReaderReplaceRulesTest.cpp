// The reader's pattern rules through the engine's own regular-expression library, on Shift-JIS
// lines whose trail bytes look like "\" and "[".
#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "script/KelReaderLib.h"
#include "script/uBregExpLib.h"
#include "tests/support/ScriptHarness.h"

namespace {

class ReaderReplaceRulesTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(RegExp, nullptr); }
    std::unique_ptr<TScriptRegExp> RegExp = uBregExpLib::BRegExpInitialize(TFileRoot(), "DLL\\BREGEXP.dll");
    TScriptHarness H{[this](TObjectKindRegistry&, TScriptLinks& links) { links.RegExp = RegExp.get(); }};
};

TEST_F(ReaderReplaceRulesTest, InterpreterReaderUsesTheLibrary) {
    // ソ and 表 end in 0x5C, ゼ in 0x5B: the patterns must see whole characters.
    ASSERT_TRUE(H.Start("\\say,ソ表ゼ-q\r\n\\say,plain"));
    TKelReader& reader = *H.Script.Reader;
    reader.AddReplace("s/表/ひょう/g"_sj, "", 2);
    reader.AddReplace("tr/q/z/", "", 4);
    ASSERT_TRUE(reader.LoadScript("test.s", true));
    EXPECT_EQ(Encoding::SjisToUtf8(reader.GetStatement()), "\\say,ソひょうゼ-z");
    EXPECT_EQ(reader.GetStatement(), "\\say,plain");
}

}  // namespace
