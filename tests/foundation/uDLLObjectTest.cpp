#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>

#include "foundation/UniqueId.h"
#include "foundation/uDllSystemInfo.h"
#include "platform/FileRoot.h"
#include "tests/support/TestData.h"

namespace {

// Host path of the C library: a real shared library without "Get".
std::string CLibraryPath() {
    Dl_info info{};
    EXPECT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    return info.dli_fname ? info.dli_fname : "";
}

class DLLObjectTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(Folder + "/dll"); }
    std::string Folder = TestData::ScratchDir();
    TFileRoot Files{Folder};
};

TEST_F(DLLObjectTest, LoadingFailsWithAReasonAndKeepsTheFirstLibrary) {
    TDllSystemInfo info;
    EXPECT_FALSE(info.LoadDLL(Files, "DLL\\SystemInfo.dll"));
    EXPECT_NE(info.Error().find("no such library"), std::string::npos);

    std::ofstream(Folder + "/dll/systeminfo.dll") << "MZ not for this system";
    EXPECT_FALSE(info.LoadDLL(Files, "DLL\\SystemInfo.dll"));
    EXPECT_EQ(info.Module, nullptr);
    EXPECT_FALSE(info.Error().empty());

    // A real library without the export still binds, and answers nothing.
    std::string libc = CLibraryPath();
    ASSERT_TRUE(info.LoadDLL(Files, libc));
    EXPECT_EQ(info.Get, nullptr);
    EXPECT_EQ(info.GetInfo("OS,Name"), "");
    void* first = info.Module;
    EXPECT_FALSE(info.LoadDLL(Files, libc));
    EXPECT_EQ(info.Module, first);
    EXPECT_FALSE(info.ModuleFileName.empty());
}

int32_t FailingGet(const char*, char* buffer) {
    std::strcpy(buffer, "written anyway");
    return 0;
}
int32_t FullGet(const char*, char* buffer) {
    std::memset(buffer, 'x', TDllSystemInfo::kBufferSize);
    return 1;
}

TEST_F(DLLObjectTest, AnswersFollowTheResultAndTheBuffer) {
    TDllSystemInfo info;
    info.Get = &FailingGet;
    EXPECT_EQ(info.GetInfo("OS,Name"), "");
    info.Get = &FullGet;
    EXPECT_EQ(info.GetInfo("OS,Name"), std::string(1024, 'x'));
}

#ifdef KEL_SYSTEMINFO_LIBRARY
// The program's own library, found under its Windows name in a game's "DLL" folder.
TEST_F(DLLObjectTest, TheSystemInformationLibraryAnswersByKey) {
    std::filesystem::copy_file(KEL_SYSTEMINFO_LIBRARY, Folder + "/dll/SystemInfo.so");
    TDllSystemInfo info;
    ASSERT_TRUE(info.LoadDLL(Files, "DLL\\SystemInfo.dll"));
    EXPECT_NE(info.Get, nullptr);
    EXPECT_FALSE(info.GetInfo("OS,Name").empty());
    EXPECT_FALSE(info.GetInfo("os,build").empty());
    EXPECT_EQ(info.GetInfo("No,Such,Key"), "");
    EXPECT_EQ(info.GetInfo("DirectX,Version"), "");
    for (const char* key : {"MEM,TotalMemory", "Mem,Total", "MEM,AvailMemory"}) {
        std::string bytes = info.GetInfo(key);
        ASSERT_FALSE(bytes.empty()) << key;
        EXPECT_EQ(bytes.find_first_not_of("0123456789"), std::string::npos) << key;
    }
    std::string drives = info.GetInfo("DRIVE,drives");
    EXPECT_NE(drives.find('/'), std::string::npos);
    EXPECT_FALSE(info.GetInfo("DRIVE,Total,/").empty());
}

// The ".so" of a ".dll" name is tried first; one that does not load gives way to the name as
// written, and the reason of the first failure is kept when neither loads.
TEST_F(DLLObjectTest, AnUnloadableSoGivesWayToTheNameAsWritten) {
    std::ofstream(Folder + "/dll/systeminfo.so") << "not a library";
    TDllSystemInfo broken;
    EXPECT_FALSE(broken.LoadDLL(Files, "DLL\\SystemInfo.dll"));
    EXPECT_NE(broken.Error().find("systeminfo.so: "), std::string::npos) << broken.Error();

    std::filesystem::copy_file(KEL_SYSTEMINFO_LIBRARY, Folder + "/dll/SystemInfo.dll");
    TDllSystemInfo info;
    ASSERT_TRUE(info.LoadDLL(Files, "DLL\\SystemInfo.dll")) << info.Error();
    EXPECT_NE(info.ModuleFileName.find("SystemInfo.dll"), std::string::npos);
    EXPECT_NE(info.Get, nullptr);
}
#endif

TEST(MiscWinTest, MixingKeepsValuesApartAndIdentifiersAreHex) {
    std::set<uint32_t> seen;
    for (uint32_t v = 0; v < 4096; ++v)
        seen.insert(uMisc_Win::MixBits(v * 0x9E3779B9u));
    EXPECT_EQ(seen.size(), 4096u);

    std::string a = uMisc_Win::CreateUniqueID(), b = uMisc_Win::CreateUniqueID();
    EXPECT_EQ(a.size(), 32u);
    EXPECT_EQ(a.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_NE(a, b);
}

}  // namespace
