// The decoder binding: exports found through a resolver, the two failures of a load, the stream
// callbacks.
#include <gtest/gtest.h>

#include <cstdio>

#include "media/VorbisBinding.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"

namespace {

using OggWuvorbisLib::TResolver;

// The linked decoder, except for one export and with the processor calls recorded.
struct TRecording {
    static inline int32_t SetTo = -99;
    static int32_t Detect() { return 7; }
    static void Set(int32_t code) { SetTo = code; }
};

TResolver Without(std::string missing) {
    TResolver r = OggWuvorbisLib::LinkedResolver();
    auto linked = r.Export;
    r.Export = [linked, missing](std::string_view name) -> OggWuvorbisLib::TProc {
        if (name == missing) return nullptr;
        if (name == "wu_DetectCPU") return reinterpret_cast<OggWuvorbisLib::TProc>(&TRecording::Detect);
        if (name == "wu_SetCPUType") return reinterpret_cast<OggWuvorbisLib::TProc>(&TRecording::Set);
        return linked(name);
    };
    return r;
}

TEST(VorbisBinding, LinkedDecoderBindsEveryExport) {
    TVorbisFileDLL dll(false);
    ASSERT_TRUE(dll.LoadDLL(TFileRoot(), "DLL\\wuvorbis.dll"));
    EXPECT_TRUE(dll.Loaded());
    EXPECT_NE(dll.FileName.find("wuvorbis.dll"), std::string::npos);
    EXPECT_TRUE(dll.wu_ov_crosslap && dll.wu_ov_read && dll.wu_SetCPUType);
    EXPECT_EQ(dll.Callbacks.read_func, &OggWuvorbisLib::VorbisRead);
    EXPECT_EQ(dll.Callbacks.tell_func, &OggWuvorbisLib::VorbisTell);
}

TEST(VorbisBinding, ProcessorDetectionIsHandedOn) {
    TRecording::SetTo = -99;
    TVorbisFileDLL quiet(false, Without(""));
    ASSERT_TRUE(quiet.LoadDLL(TFileRoot(), "DLL\\wuvorbis.dll"));
    EXPECT_EQ(TRecording::SetTo, -99);
    const auto bound = OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll", Without(""));
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(TRecording::SetTo, 7);
    EXPECT_TRUE(bound->DetectCPU);
}

TEST(VorbisBinding, AMissingExportFailsTheLoad) {
    for (const char* name : {"wu_SetCPUType", "wu_ov_time_seek", "wu_ov_crosslap"}) {
        TVorbisFileDLL dll(true, Without(name));
        EXPECT_FALSE(dll.LoadDLL(TFileRoot(), "DLL\\wuvorbis.dll")) << name;
        EXPECT_FALSE(dll.Loaded());
        // Nothing half-bound is handed out.
        EXPECT_EQ(OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll", Without(name)), nullptr);
    }
}

TEST(VorbisBinding, AMissingLibraryRaisesWithItsFullName) {
    TResolver r = OggWuvorbisLib::LinkedResolver();
    r.Load = [](const std::string&, std::string&) { return false; };
    TVorbisFileDLL dll(true, r);
    try {
        dll.LoadDLL(TFileRoot(), "DLL\\wuvorbis.dll");
        FAIL() << "no exception";
    } catch (const EVorbisLoadError& e) {
        const std::string text = Encoding::SjisToUtf8(e.what());
        EXPECT_EQ(text.rfind("wuvorbis.dllが存在しません。\r\n(", 0), 0u) << text;
        EXPECT_NE(text.find("/DLL/wuvorbis.dll)"), std::string::npos) << text;
    }
    EXPECT_THROW(OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll", r), EVorbisLoadError);
}

TEST(VorbisBinding, CallbacksWorkOnTheEngineStream) {
    using namespace OggWuvorbisLib;
    TMemoryStream* s = std::make_unique<TMemoryStream>("0123456789").release();  // the close callback frees it
    char buf[16] = {};
    EXPECT_EQ(VorbisRead(buf, 0, 4, s), 0u);
    EXPECT_EQ(VorbisRead(buf, 4, 0, s), 0u);
    EXPECT_EQ(VorbisRead(buf, 1, 4, s), 4u);
    EXPECT_EQ(std::string(buf, 4), "0123");
    EXPECT_EQ(VorbisTell(s), 4);
    EXPECT_EQ(VorbisSeek(s, 2, SEEK_CUR), 6);
    EXPECT_EQ(VorbisSeek(s, -3, SEEK_END), 7);
    EXPECT_EQ(VorbisSeek(s, 1, SEEK_SET), 1);
    EXPECT_EQ(VorbisSeek(s, 0, 12345), -1);
    EXPECT_EQ(VorbisRead(buf, 2, 8, s), 9u);  // bytes, as many as there are
    EXPECT_EQ(VorbisClose(s), 0);
}

}  // namespace
