#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "script/KelFormat.h"

namespace {

using KelFormat::TFormatArg;

TFormatArg I(int32_t v) {
    return {true, v, {}};
}
TFormatArg S(std::string_view t) {
    return {false, 0, t};
}

TEST(KelFormat, DirectivesOfTheFormatLanguage) {
    struct Case {
        const char* Format;
        std::vector<TFormatArg> Args;
        std::optional<std::string> Expected;  // nullopt: the format does not fit
    };
    const Case cases[] = {
        {"plain", {I(1)}, "plain"},
        {"%d", {I(-42)}, "-42"},
        {"%.3d", {I(7)}, "007"},
        {"%.3d", {I(-7)}, "-007"},  // precision counts digits, not the sign
        {"%.1d", {I(1234)}, "1234"},
        {"%5d|", {I(42)}, "   42|"},
        {"%-5d|", {I(42)}, "42   |"},
        {"%03d", {I(7)}, "  7"},  // a leading zero is part of the width, not a fill
        {"%6.3d", {I(5)}, "   005"},
        {"%D", {I(3)}, "3"},  // the type letter in either case
        {"%u", {I(-1)}, "4294967295"},
        {"%x", {I(255)}, "FF"},
        {"%.4x", {I(-1)}, "FFFFFFFF"},
        {"%.4X", {I(10)}, "000A"},
        {"%d", {I(INT32_MIN)}, "-2147483648"},
        {"[%s]", {S("x")}, "[x]"},
        {"%.2s", {S("abcd")}, "ab"},
        {"%-4s|", {S("ab")}, "ab  |"},
        {"%3s", {S("abcd")}, "abcd"},
        {"100%%", {I(1)}, "100%"},
        {"%0:d-%0:d", {I(5)}, "5-5"},
        {"%1:s%0:s", {S("a"), S("b")}, "ba"},
        {"%*d", {I(4), I(9)}, "   9"},
        {"%.*d", {I(3), I(9)}, "009"},
        {"%*:s", {I(1), S("z")}, "z"},
        {"%d", {S("x")}, std::nullopt},  // an integer directive with a text
        {"%s", {I(1)}, std::nullopt},    // a text directive with an integer
        {"%f", {I(1)}, std::nullopt},    // no floating-point arguments exist
        {"%e", {I(1)}, std::nullopt},
        {"%g", {I(1)}, std::nullopt},
        {"%n", {I(1)}, std::nullopt},
        {"%m", {I(1)}, std::nullopt},
        {"%p", {I(1)}, std::nullopt},
        {"%q", {I(1)}, std::nullopt},    // no such type
        {"%d%d", {I(1)}, std::nullopt},  // the second directive has no argument
        {"%2:d", {I(1)}, std::nullopt},  // index past the arguments
        {"%*d", {S("x"), I(1)}, std::nullopt},
        {"abc%", {I(1)}, std::nullopt},  // unfinished directive
        {"%5", {I(1)}, std::nullopt},
        {"%4096d", {I(1)}, std::string(4095, ' ') + "1"},
        {"%4097d", {I(1)}, std::nullopt},  // width past the cap
        {"%.99999999999d", {I(1)}, std::nullopt},
        {"%*d", {I(1 << 30), I(1)}, std::nullopt},
        {"%*d", {I(-3), I(1)}, "1"},  // a negative width pads nothing
    };
    for (const auto& c : cases) {
        std::string out = "stale";
        bool ok = KelFormat::Format(c.Format, c.Args.data(), c.Args.size(), out);
        if (c.Expected) {
            EXPECT_TRUE(ok) << c.Format;
            EXPECT_EQ(out, *c.Expected) << c.Format;
        } else {
            EXPECT_FALSE(ok) << c.Format;
            EXPECT_EQ(out, "") << c.Format;
        }
    }
}

}  // namespace
