#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/NativeLibrary.h"
#include "tests/support/TestData.h"

namespace {

void Touch(const std::string& path) {
    std::ofstream(path) << "x";
}

TEST(NativeLibrary, FindsLibraryFilesWithoutRegardToCase) {
    std::string base = TestData::ScratchDir();
    std::filesystem::create_directory(base + "/Dll");
    EXPECT_EQ(NativeLibrary::Find("DLL\\SCRREP.dll", base), "");

    Touch(base + "/Dll/scrrep.DLL");
    EXPECT_EQ(NativeLibrary::Find("DLL\\SCRREP.dll", base), base + "/Dll/scrrep.DLL");
    Touch(base + "/Dll/ScrRep.so");  // the native name wins over the Windows one
    EXPECT_EQ(NativeLibrary::Find("dll/scrrep.dll", base), base + "/Dll/ScrRep.so");
    EXPECT_EQ(NativeLibrary::Find(base + "/Dll/ScrRep.so", "/nowhere"), base + "/Dll/ScrRep.so");

    std::filesystem::create_directory(base + "/Dll/other.dll");  // a folder is no library
    EXPECT_EQ(NativeLibrary::Find("DLL\\OTHER.dll", base), "");
    EXPECT_EQ(NativeLibrary::Find("", base), "");
    EXPECT_EQ(NativeLibrary::Expand("DLL\\X.dll", "/base"), "/base/DLL/X.dll");
}

TEST(NativeLibrary, OpensRealLibrariesAndRefusesOthers) {
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&gnu_get_libc_version), &info), 0);
    void* libc = NativeLibrary::Open(info.dli_fname);
    ASSERT_NE(libc, nullptr);
    EXPECT_NE(NativeLibrary::Symbol(libc, "gnu_get_libc_version"), nullptr);
    EXPECT_EQ(NativeLibrary::Symbol(libc, "NoSuchCallAnywhere"), nullptr);
    NativeLibrary::Close(libc);

    std::string junk = TestData::ScratchDir() + "/junk.so";
    Touch(junk);
    EXPECT_EQ(NativeLibrary::Open(junk), nullptr);
    std::string why;
    EXPECT_EQ(NativeLibrary::Open(junk, &why), nullptr);
    EXPECT_NE(why.find("junk.so"), std::string::npos) << why;  // the loader's own text
    EXPECT_EQ(NativeLibrary::Symbol(nullptr, "strlen"), nullptr);
    NativeLibrary::Close(nullptr);
}

}  // namespace
