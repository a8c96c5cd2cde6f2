// How the desktop splits a parameter text into arguments, and what opening a bare name starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Desktop.h"
#include "platform/FileRoot.h"

namespace {

TEST(DesktopTest, ParametersSplitAsCommandLinesDo) {
    using V = std::vector<std::string>;
    const struct {
        const char* Text;
        V Args;
    } cases[] = {
        {"", {}},
        {"  a\tb  ", {"a", "b"}},
        {R"(a "b c" d)", {"a", "b c", "d"}},
        {R"("")", {""}},
        {R"(x"y z"w)", {"xy zw"}},             // quotes group inside a word and are dropped
        {R"(\"q\")", {R"("q")"}},              // a backslash makes a quote plain
        {R"(a\\b c\)", {R"(a\\b)", R"(c\)"}},  // backslashes before anything else stay
        {R"(\\\\"x y")", {R"(\\x y)"}},        // 2n backslashes before a quote: n, and the quote groups
        {R"(\\\"x)", {R"(\"x)"}},              // 2n + 1: n and a plain quote
        {R"("a ""b"" c")", {R"(a "b" c)"}},    // "" inside quotes is one quote
        {R"("open end)", {"open end"}},
        {"a;b |c $(d)", {"a;b", "|c", "$(d)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Desktop::SplitArguments(c.Text), c.Args) << c.Text;
}

TEST(DesktopTest, ABareNameIsLookedForOnThePath) {
    const TFileRoot root;
    TProgramStart start;
    ASSERT_TRUE(Desktop::PlanOpen(root, "kel-no-such-file-here", "-x 1", start));
    EXPECT_TRUE(start.SearchPath);
    EXPECT_EQ(start.Arguments, (std::vector<std::string>{"kel-no-such-file-here", "-x", "1"}));
    EXPECT_FALSE(Desktop::PlanOpen(root, "Setup.EXE", "", start));  // a program of the other system
    EXPECT_FALSE(Desktop::PlanOpen(root, "no\\such\\folder\\file", "", start));
    // What cannot start is told, and nothing is left running.
    TPosixDesktop desktop(root);
    EXPECT_FALSE(desktop.Open("kel-no-such-file-here", ""));
    EXPECT_NE(desktop.Error().find("kel-no-such-file-here"), std::string::npos) << desktop.Error();
}

}  // namespace
