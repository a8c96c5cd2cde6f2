#include "tests/support/SoundFixtures.h"

#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

#include <cstring>
#include <map>
#include <mutex>
#include <tuple>

#include "media/VorbisBinding.h"
#include "platform/FileRoot.h"

namespace SoundFixtures {

const std::string& ToneOgg(int32_t rate, int32_t channels, double seconds, double freq, double amplitude,
                           const std::vector<std::string>& loopLines) {
    using TKey = std::tuple<int32_t, int32_t, double, double, double, std::vector<std::string>>;
    static std::map<TKey, std::string> made;
    static std::mutex lock;  // tests of the thread suite make fixtures too
    std::lock_guard<std::mutex> guard(lock);
    TKey key{rate, channels, seconds, freq, amplitude, loopLines};
    auto it = made.find(key);
    if (it != made.end()) return it->second;
    std::vector<std::string> comments;
    if (!loopLines.empty()) comments.push_back(SoundWriter::LoopComment(loopLines));
    const auto samples = SoundWriter::Sine(rate, channels, static_cast<int64_t>(seconds * rate + 0.5), freq, amplitude);
    return made[key] = SoundWriter::EncodeOgg(samples, rate, channels, comments);
}

const std::string& NoiseOgg() {
    static const std::string bytes = [] {
        SoundWriter::TSamples s;
        uint32_t x = 1;
        for (int i = 0; i < 44100 * 2; ++i) {
            x = x * 1664525u + 1013904223u;
            s.push_back(static_cast<int16_t>((static_cast<int32_t>(x >> 16) - 32768) / 4));
        }
        return SoundWriter::EncodeOgg(s, 44100, 2, {}, 0.5f);
    }();
    return bytes;
}

std::string SamplesOgg(const SoundWriter::TSamples& samples, int32_t rate, int32_t channels,
                       const std::vector<std::string>& comments) {
    return SoundWriter::EncodeOgg(samples, rate, channels, comments);
}

std::vector<int16_t> ReferenceDecode(const std::string& ogg) {
    std::vector<int16_t> out;
    OggVorbis_File vf;
    ov_callbacks cb{&OggWuvorbisLib::VorbisRead, &OggWuvorbisLib::VorbisSeek, &OggWuvorbisLib::VorbisClose,
                    &OggWuvorbisLib::VorbisTell};
    auto stream = std::make_unique<TMemoryStream>(ogg);
    if (ov_open_callbacks(stream.get(), &vf, nullptr, 0, cb) < 0) return out;
    stream.release();
    char buf[4096];
    int section = 0;
    long n;
    while ((n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &section)) > 0) {
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) / 2);
        std::memcpy(out.data() + at, buf, static_cast<size_t>(n));
    }
    ov_clear(&vf);
    return out;
}

namespace {

struct TPage {
    size_t At, HeaderLen, BodyLen;
};

std::vector<TPage> Pages(const std::string& ogg) {
    std::vector<TPage> pages;
    size_t at = 0;
    while (at + 27 <= ogg.size() && ogg.compare(at, 4, "OggS") == 0) {
        const size_t segments = static_cast<uint8_t>(ogg[at + 26]);
        size_t body = 0;
        for (size_t i = 0; i < segments; ++i)
            body += static_cast<uint8_t>(ogg[at + 27 + i]);
        pages.push_back({at, 27 + segments, body});
        at += 27 + segments + body;
    }
    return pages;
}

void FixChecksum(std::string& ogg, const TPage& p) {
    ogg_page page;
    page.header = reinterpret_cast<unsigned char*>(&ogg[p.At]);
    page.header_len = static_cast<long>(p.HeaderLen);
    page.body = reinterpret_cast<unsigned char*>(&ogg[p.At + p.HeaderLen]);
    page.body_len = static_cast<long>(p.BodyLen);
    ogg_page_checksum_set(&page);
}

}  // namespace

std::string CorruptMiddlePage(std::string ogg) {
    // The first two pages hold the headers; the damage goes into the audio.
    const auto pages = Pages(ogg);
    const TPage& p = pages[pages.size() <= 3 ? 2 : 2 + (pages.size() - 2) / 2];
    ogg[p.At + p.HeaderLen + p.BodyLen / 2] ^= 0x5A;
    return ogg;
}

std::string WithLastGranule(std::string ogg, int64_t granule) {
    const auto pages = Pages(ogg);
    const TPage& p = pages.back();
    for (int i = 0; i < 8; ++i)
        ogg[p.At + 6 + static_cast<size_t>(i)] = static_cast<char>((static_cast<uint64_t>(granule) >> (8 * i)) & 0xFF);
    FixChecksum(ogg, p);
    return ogg;
}

void ReadThrough(TPackSet& packs, const TPackSet& from) {
    packs.FileExistsHook = [&from](const std::string& name) { return !from.ResolveFileName(name).empty(); };
    packs.LoadFileHook = [&from](const std::string& name) { return from.LoadFile(name); };
}

TVorbisBinding::TVorbisBinding() : Decoder(OggWuvorbisLib::LoadVorbisFileDLL(TFileRoot(), "DLL\\wuvorbis.dll")) {}

TSoundLibraryRig::TSoundLibraryRig(int32_t channels, int32_t streamLength) {
    Component.SetChannelCount(channels);
    if (Component.Initialize()) Sound = std::make_unique<TSound>(Component, Packs, streamLength, Clock, Vorbis.Decoder);
}

}  // namespace SoundFixtures
