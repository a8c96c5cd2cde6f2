#include <gtest/gtest.h>

#include "platform/Encoding.h"
#include "script/KelTextDialog.h"

TEST(KelTextDialog, RecordRoundTripsAndResetRestoresStartValues) {
    TKelTextDialog d;
    EXPECT_EQ(d.Title, "テキスト入力ダイアログ"_sj);
    EXPECT_EQ(d.MaxLength, -1);
    d.SetTitle("名前"_sj);
    d.SetPrompt("p");
    d.SetText("t");
    d.SetMaxLength(10);
    TMemoryStream s;
    d.SaveToStream(&s);
    EXPECT_EQ(s.Size(), 2 + 4 + 2 + 1 + 2 + 1 + 4);

    TKelTextDialog back;
    s.SetPosition(0);
    ASSERT_TRUE(back.LoadFromStream(&s));
    EXPECT_EQ(back.Title, "名前"_sj);
    EXPECT_EQ(back.Prompt, "p");
    EXPECT_EQ(back.Text, "t");
    EXPECT_EQ(back.MaxLength, 10);

    // A record cut inside its limit is reported, not taken as whole.
    TMemoryStream cut;
    cut.WriteBuffer(s.Memory(), s.Size() - 1);
    cut.SetPosition(0);
    EXPECT_FALSE(TKelTextDialog().LoadFromStream(&cut));

    back.Reset();
    EXPECT_EQ(back.Prompt, "入力してください。"_sj);
    TMemoryStream noLimit;
    back.SaveToStream(&noLimit);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(noLimit.Memory()) + noLimit.Size() - 4, 4), "\xFF\xFF\xFF\xFF");
    EXPECT_EQ(back.Text, "");
    EXPECT_FALSE(back.Execute());  // no form to show
}
