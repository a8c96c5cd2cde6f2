#include <gtest/gtest.h>

#include <string>

#include "foundation/StreamStrings.h"
#include "platform/ClassLib.h"

namespace {

TEST(uMiscStreamString, RoundTripsAndEmptyIsTwoZeroBytes) {
    TMemoryStream s;
    uMisc::WriteStreamString(&s, "");
    uMisc::WriteStreamString(&s, "abc");
    uMisc::WriteStreamString(nullptr, "ignored");
    EXPECT_EQ(s.AsString(), std::string("\0\0\3\0abc", 7));

    s.SetPosition(0);
    std::string t = "old";
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "");
    EXPECT_EQ(s.Position(), 2);  // the empty string reads nothing more
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "abc");

    t = "kept";
    EXPECT_FALSE(uMisc::ReadStreamString(nullptr, t));
    EXPECT_EQ(t, "kept");
}

TEST(uMiscStreamString, LongStringKeepsLow16BitsOfItsLengthAndThatManyBytes) {
    std::string big(65536 + 5, 'x');
    big[0] = 'a';
    TMemoryStream s;
    uMisc::WriteStreamString(&s, big);
    EXPECT_EQ(s.Size(), 2 + 5);
    s.SetPosition(0);
    std::string t;
    EXPECT_TRUE(uMisc::ReadStreamString(&s, t));
    EXPECT_EQ(t, "axxxx");
}

TEST(uMiscStreamString, ShortStreamKeepsTheBytesReadAndSaysSo) {
    struct Case {
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {std::string("\x0A\0abcd", 6), "abcd"},  // declares 10, holds 4
        {std::string("\xFF\xFF", 2), ""},        // declares 65535, holds none
        {std::string("\x05", 1), ""},            // half a length
        {"", ""},
    };
    for (const auto& c : cases) {
        TMemoryStream s(c.bytes);
        std::string t = "previous";
        EXPECT_FALSE(uMisc::ReadStreamString(&s, t)) << testing::PrintToString(c.bytes);
        EXPECT_EQ(t, c.expected) << testing::PrintToString(c.bytes);
    }
}

}  // namespace
