#include "media/uWaveDataManager.h"

#include <cstring>
#include <vector>

#include "media/ARGB8888Lib.h"
#include "media/OggDataLib.h"
#include "platform/LittleEndian.h"

namespace {

// A chunk identifier cut at its first 0 byte, compared without regard to ASCII case.
bool SameId(const uint8_t* id, std::string_view want) {
    size_t n = 0;
    while (n < 4 && id[n] != 0)
        ++n;
    return ClassLib::SameTextAscii(std::string_view(reinterpret_cast<const char*>(id), n), want);
}

bool Read16(TStream& s, uint16_t& v) {
    uint8_t b[2];
    if (s.Read(b, 2) != 2) return false;
    v = LittleEndian::Get16(b);
    return true;
}

// d bytes of 16-bit samples into the engine's format; out holds room for the whole result.
void Convert(const uint8_t* in, int64_t d, int32_t channels, int32_t rate, uint8_t* out) {
    const bool stereo = channels == 2;
    const int64_t frames = stereo ? d / 4 : d / 2;
    if (stereo && rate == 44100) {
        std::memcpy(out, in, static_cast<size_t>(frames * 4));
        return;
    }
    if (rate == 44100) {  // mono
        for (int64_t f = 0; f < frames; ++f, in += 2, out += 4) {
            out[0] = out[2] = in[0];
            out[1] = out[3] = in[1];
        }
        return;
    }
    for (int64_t f = 0; f < frames; ++f, out += 8) {
        uint8_t frame[4] = {in[0], in[1], in[stereo ? 2 : 0], in[stereo ? 3 : 1]};
        in += stereo ? 4 : 2;
        std::memcpy(out, frame, 4);
        std::memcpy(out + 4, frame, 4);
    }
}

}  // namespace

std::unique_ptr<TMemoryStream> TWaveDataManager::LoadData(TStream& stream, int32_t size, const std::string& name) {
    const int64_t start = stream.Position();
    std::unique_ptr<TMemoryStream> pcm;
    try {
        const std::string ext = ARGB8888Lib::ExtensionOf(name);
        if (ext == ".wav")
            pcm = uWaveDataManager::LoadWaveRiff(&stream);
        else if (ext == ".ogg")
            pcm = OggDataLib::DecodeToPCMStream(Decoder, &stream, name, Log);
        if (size != 0) stream.SetPosition(start + size);
    } catch (const std::exception&) {
        if (size != 0) stream.SetPosition(start + size);
        return nullptr;
    }
    return pcm;
}

int64_t TWaveDataManager::DataSize(const TMemoryStream& pcm) const {
    return static_cast<int64_t>(pcm.Data.size());
}

namespace uWaveDataManager {

std::unique_ptr<TMemoryStream> LoadWaveRiff(TStream* stream) {
    if (!stream) return nullptr;
    auto result = std::make_unique<TMemoryStream>();
    TStream& s = *stream;
    s.SetPosition(0);
    int32_t channels = 0, rate = 0;  // of the accepted "fmt " chunk; 0 before it
    while (true) {
        uint8_t id[4];
        if (s.Read(id, 4) != 4) return result;
        bool ok = false;
        uint32_t size = 0;
        if (SameId(id, "RIFF")) {
            uint8_t form[4];
            if (!LittleEndian::Read32(s, size) || s.Read(form, 4) != 4) return result;
            ok = SameId(form, "WAVE");
        } else if (SameId(id, "fmt ")) {
            if (!LittleEndian::Read32(s, size)) return result;
            const int64_t end = s.Position() + size;
            uint16_t tag = 0, ch = 0, align = 0, bits = 0;
            uint32_t sampleRate = 0, average = 0;
            if (!Read16(s, tag)) return result;
            ok = tag == 1;
            if (ok) {
                if (!Read16(s, ch)) return result;
                ok = ch == 1 || ch == 2;
            }
            if (ok) {
                if (!LittleEndian::Read32(s, sampleRate)) return result;
                ok = sampleRate == 44100 || sampleRate == 22050;
            }
            if (ok) {
                if (!LittleEndian::Read32(s, average) || !Read16(s, align) || !Read16(s, bits)) return result;
                ok = bits == 16;
            }
            if (ok) {
                s.SetPosition(end);
                channels = ch;
                rate = static_cast<int32_t>(sampleRate);
            }
        } else if (SameId(id, "fact")) {
            uint32_t count = 0;
            if (!LittleEndian::Read32(s, size)) return result;
            const int64_t end = s.Position() + size;
            if (!LittleEndian::Read32(s, count)) return result;
            s.SetPosition(end);
            ok = true;
        } else if (SameId(id, "data")) {
            // Without an accepted format there is nothing to convert the samples by.
            if (channels == 0) return nullptr;
            if (!LittleEndian::Read32(s, size)) return result;
            const int64_t d = std::min<int64_t>(size, s.Remaining());
            const int64_t outSize = d * (channels == 1 ? 2 : 1) * (rate == 22050 ? 2 : 1);
            result->Data.assign(static_cast<size_t>(outSize), 0);
            const int64_t at = s.Position();
            if (d == 0) {
                // nothing to convert
            } else if (auto* memory = dynamic_cast<TMemoryStream*>(&s)) {
                // Straight from the memory, without a copy.
                Convert(memory->Memory() + at, d, channels, rate, result->Memory());
            } else {
                std::vector<uint8_t> bytes(static_cast<size_t>(d));
                s.ReadBuffer(bytes.data(), d);
                Convert(bytes.data(), d, channels, rate, result->Memory());
            }
            s.SetPosition(at + size);
            result->SetPosition(0);
            return result;
        }
        if (!ok) return nullptr;
    }
}

}  // namespace uWaveDataManager
