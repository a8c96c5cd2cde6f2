#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/Encoding.h"
#include "script/uScriptReplaceDLL.h"
#include "tests/support/TestData.h"

namespace {

int gCalls = 0;

void Upper(char* line) {
    ++gCalls;
    for (char* p = line; *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 32);
    }
}

// Host path of the C library this program runs with: a real shared library without "SRReplace".
std::string CLibraryPath() {
    Dl_info info{};
    EXPECT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    return info.dli_fname ? info.dli_fname : "";
}

class ScriptReplaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        Folder = TestData::ScratchDir();
        gCalls = 0;
    }
    std::string Folder;
};

TEST_F(ScriptReplaceTest, MissingOrUnloadableLibraryIsAbsent) {
    using namespace uScriptReplaceDLL;
    EXPECT_EQ(ScriptReplaceInitialize("DLL\\SCRREP.dll", Folder), nullptr);

    // A file that is there but is no loadable library, found without regard to case.
    ASSERT_TRUE(std::filesystem::create_directory(Folder + "/dll"));
    std::ofstream(Folder + "/dll/scrrep.dll") << "MZ not for this system";
    EXPECT_EQ(ScriptReplaceInitialize("DLL\\SCRREP.dll", Folder), nullptr);

    // A real library that lacks the call.
    std::string libc = CLibraryPath();
    ASSERT_FALSE(libc.empty());
    EXPECT_EQ(ScriptReplaceInitialize(libc, Folder), nullptr);
    try {
        TScriptReplaceDLL bound(libc, Folder);
        ADD_FAILURE() << "bound a library without SRReplace";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "関数(SRReplace)の所得に失敗しました"_sj);
    }
    try {
        TScriptReplaceDLL bound("DLL\\NONE.dll", Folder);
        ADD_FAILURE() << "bound a missing library";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Not Found SCRREP.DLL \r\n(", 0), 0u);
    }
    // A file that is no library: the loader's reason follows the message.
    const std::string junk = TestData::ScratchDir() + "/junk.so";
    std::ofstream(junk) << "not a library";
    std::string failure;
    EXPECT_EQ(ScriptReplaceInitialize(junk, Folder, &failure), nullptr);
    EXPECT_EQ(failure.rfind("Not Found SCRREP.DLL \r\n(", 0), 0u) << failure;
    EXPECT_NE(failure.find(")\r\n"), std::string::npos) << failure;
    EXPECT_NE(failure.find("junk.so", failure.find(")\r\n")), std::string::npos) << failure;
}

TEST_F(ScriptReplaceTest, ReplaceRewritesLinesThatFitTheBuffer) {
    TScriptReplaceDLL upper(&Upper);
    EXPECT_TRUE(upper.Active());
    EXPECT_EQ(upper.Replace("abc"), "ABC");
    EXPECT_EQ(upper.Replace(""), "");
    const std::string sjis = "ソa表"_sj;  // trail bytes pass through as they are
    EXPECT_EQ(upper.Replace(sjis), "ソA表"_sj);

    std::string longest(1023, 'a');  // with its NUL it fills the buffer exactly
    EXPECT_EQ(upper.Replace(longest), std::string(1023, 'A'));
    gCalls = 0;
    std::string tooLong(1024, 'a');
    EXPECT_EQ(upper.Replace(tooLong), tooLong);
    EXPECT_EQ(upper.Replace(std::string(5000, 'b')), std::string(5000, 'b'));
    EXPECT_EQ(gCalls, 0);

    // A call that leaves no NUL gives at most the buffer.
    TScriptReplaceDLL filler([](char* line) { std::memset(line, 'x', TScriptReplaceDLL::kBufferSize); });
    EXPECT_EQ(filler.Replace("a"), std::string(1024, 'x'));
}

}  // namespace
