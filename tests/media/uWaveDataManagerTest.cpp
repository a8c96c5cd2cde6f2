// RIFF waves into the engine's sound format, and the picture and sound caches over their decoders.
#include <gtest/gtest.h>

#include <cstring>

#include "media/AnimationBmpLib.h"
#include "media/MediaContext.h"
#include "media/uWaveDataManager.h"
#include "tests/support/ImageFixtures.h"
#include "tests/support/SoundFixtures.h"

namespace {

using SoundWriter::FmtPayload;
using SoundWriter::RiffChunk;

std::string Header() {
    std::string s = "RIFF";
    SoundWriter::Put32(s, 0);
    return s + "WAVE";
}

std::string Pcm16(const std::vector<int16_t>& v) {
    return SoundWriter::SampleBytes(v);
}

// A stream that is not a memory stream, so the reader takes its other path.
class TPlainStream : public TStream {
public:
    explicit TPlainStream(std::string bytes) : M(bytes) {}
    int64_t Read(void* b, int64_t n) override { return M.Read(b, n); }
    int64_t Write(const void* b, int64_t n) override { return M.Write(b, n); }
    int64_t Seek(int64_t o, TSeekOrigin origin) override { return M.Seek(o, origin); }
    void SetSize(int64_t n) override { M.SetSize(n); }

private:
    TMemoryStream M;
};

TEST(RiffWave, Matrix) {
    const std::vector<int16_t> frames = {1, 2, 3, 4};  // two stereo frames or four mono samples
    const std::string data = RiffChunk("data", Pcm16(frames));
    struct TCase {
        const char* Name;
        std::string Bytes;
        bool Refused;
        std::vector<int16_t> Want;
    };
    const TCase cases[] = {
        {"stereo 44100: unchanged",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)) + data,
         false,
         {1, 2, 3, 4}},
        {"mono 44100: both channels",
         Header() + RiffChunk("fmt ", FmtPayload(1, 1, 44100, 16)) + data,
         false,
         {1, 1, 2, 2, 3, 3, 4, 4}},
        {"stereo 22050: frames twice",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 22050, 16)) + data,
         false,
         {1, 2, 1, 2, 3, 4, 3, 4}},
        {"mono 22050: four times",
         Header() + RiffChunk("fmt ", FmtPayload(1, 1, 22050, 16)) + data,
         false,
         {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4}},
        {"lower-case identifiers, fact, no header first",
         RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)) + RiffChunk("fact", std::string(4, '\0')) + "riff" +
             std::string(4, '\0') + "wave" + RiffChunk("DATA", Pcm16(frames)),
         false,
         {1, 2, 3, 4}},
        {"a longer fmt chunk is skipped",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16) + std::string(6, '\x7F')) + data,
         false,
         {1, 2, 3, 4}},
        {"ends before data: empty", Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)), false, {}},
        {"data size past the end: cut",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)) + "data" + std::string("\xFF\xFF\xFF\xFF", 4) +
             Pcm16({5, 6, 7, 8}),
         false,
         {5, 6, 7, 8}},
        {"not whole frames: last bytes silent",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)) + RiffChunk("data", Pcm16({9, 8, 7})),
         false,
         {9, 8, 0}},
        {"24 bits", Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 24)) + data, true, {}},
        {"8 bits", Header() + RiffChunk("fmt ", FmtPayload(1, 1, 44100, 8)) + data, true, {}},
        {"48000 Hz", Header() + RiffChunk("fmt ", FmtPayload(1, 2, 48000, 16)) + data, true, {}},
        {"3 channels", Header() + RiffChunk("fmt ", FmtPayload(1, 3, 44100, 16)) + data, true, {}},
        {"format tag 0xFFFE", Header() + RiffChunk("fmt ", FmtPayload(0xFFFE, 2, 44100, 16)) + data, true, {}},
        {"LIST before data",
         Header() + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)) + RiffChunk("LIST", "INFOxxxx") + data,
         true,
         {}},
        {"form type other than WAVE", "RIFF" + std::string(4, '\0') + "AVI " + data, true, {}},
        {"data before fmt", Header() + data + RiffChunk("fmt ", FmtPayload(1, 2, 44100, 16)), true, {}},
    };
    for (const TCase& c : cases) {
        for (bool memory : {true, false}) {
            SCOPED_TRACE(testing::Message() << c.Name << (memory ? " (memory)" : " (stream)"));
            TMemoryStream m(c.Bytes);
            TPlainStream p(c.Bytes);
            TStream& s = memory ? static_cast<TStream&>(m) : p;
            s.Seek(3, TSeekOrigin::Beginning);  // the reader starts at the beginning anyway
            auto pcm = uWaveDataManager::LoadWaveRiff(&s);
            if (c.Refused) {
                EXPECT_EQ(pcm, nullptr);
                continue;
            }
            ASSERT_NE(pcm, nullptr);
            EXPECT_EQ(pcm->Position(), 0);
            std::vector<int16_t> got(static_cast<size_t>(pcm->Size()) / 2);
            if (!got.empty()) std::memcpy(got.data(), pcm->Memory(), got.size() * 2);
            EXPECT_EQ(got, c.Want);
        }
    }
    EXPECT_EQ(uWaveDataManager::LoadWaveRiff(nullptr), nullptr);
}

TEST(WaveDataManager, DecodesByExtensionAndSkipsTheItem) {
    SoundFixtures::TVorbisBinding binding;
    TWaveDataManager cache(0);
    cache.Decoder = binding.Decoder;
    const std::string wav = SoundWriter::EncodeRiff(SoundWriter::Sine(22050, 1, 100, 440, 0.5), 22050, 1);
    const std::string& ogg = SoundFixtures::ToneOgg(44100, 2, 0.1);
    struct TCase {
        const char* Name;
        std::string Bytes;
        int64_t Size;  // of the result; -1 for none
    };
    const TCase cases[] = {
        {"Sound.WAV", wav, 100 * 8},
        {"sound.ogg", ogg, 32768},
        {"sound.mp3", wav, -1},
        {"broken.ogg", "OggS and nothing", -1},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream item(c.Bytes);
        auto h = cache.GetWave(item, static_cast<int32_t>(c.Bytes.size()), c.Name);
        EXPECT_EQ(item.Position(), static_cast<int64_t>(c.Bytes.size()));  // past the item, decoded or not
        if (c.Size < 0) {
            EXPECT_FALSE(h);
            continue;
        }
        ASSERT_TRUE(h);
        EXPECT_EQ(h->Size(), c.Size);
        EXPECT_EQ(cache.List().back()->ObjectSize, c.Size);
        cache.Release(h);
    }
}

TEST(ARGB8888Manager, PicturesByExtension) {
    ImageFixtures::TBmp bmp;
    bmp.Width = 3, bmp.Height = 2, bmp.Bits = 24;
    bmp.Pixels.assign(6, 0x123456);
    const std::string bytes = ImageFixtures::WriteBmp(bmp);
    TMediaContext media;
    TARGB8888Manager& cache = media.Pictures;
    EXPECT_EQ(cache.GetCapacity(), 0);
    EXPECT_EQ(media.Sounds.GetCapacity(), 0);
    struct TCase {
        const char* Name;
        std::string Bytes;
        bool Loads;
        int32_t Width;
        int64_t DataSize;
    };
    const TCase cases[] = {
        {"pic.BMP", bytes, true, 3, 3 * 2 * 4},
        {"pic.txt", bytes, true, 0, 0},  // an unknown extension: an empty picture
        {"bad.png", "not a png", false, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMemoryStream s(c.Bytes);
        auto h = cache.GetImage(s, static_cast<int32_t>(c.Bytes.size()), c.Name);
        EXPECT_EQ(s.Position(), static_cast<int64_t>(c.Bytes.size()));
        ASSERT_EQ(static_cast<bool>(h), c.Loads);
        if (!h) continue;
        EXPECT_EQ(h->Width(), c.Width);
        EXPECT_EQ(cache.List().back()->ObjectSize, c.DataSize);
        cache.Release(h);
    }
}

}  // namespace
