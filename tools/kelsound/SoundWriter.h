// Sound files the engine plays: Ogg Vorbis with loop tags in its "COMMENT" field, and RIFF waves.
// Tones are synthesised at any rate and channel count. Used by the kelsound tool and by tests and
// benchmarks that make their fixtures in code. Header-only, so that each can include it without
// another library.
#pragma once

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace SoundWriter {

// Interleaved signed 16-bit samples.
using TSamples = std::vector<int16_t>;

inline int16_t ToSample(double v) {
    const double s = std::nearbyint(v * 32767.0);
    return static_cast<int16_t>(s > 32767 ? 32767 : (s < -32767 ? -32767 : s));
}

// A sine of the given frequency (Hz) and amplitude (0..1) in every channel; channel c is shifted by
// a quarter turn per channel so that the channels can be told apart.
inline TSamples Sine(int32_t rate, int32_t channels, int64_t frames, double frequency, double amplitude) {
    TSamples s;
    s.reserve(static_cast<size_t>(frames * channels));
    const double step = 2 * 3.14159265358979323846 * frequency / rate;
    for (int64_t f = 0; f < frames; ++f)
        for (int32_t c = 0; c < channels; ++c)
            s.push_back(ToSample(amplitude * std::sin(step * static_cast<double>(f) + c * 1.5707963267948966)));
    return s;
}

// "name=value" comment text of the loop tags: lines joined with CR LF, as the engine reads them.
inline std::string LoopComment(const std::vector<std::string>& lines) {
    std::string text = "COMMENT=";
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}

// An Ogg Vorbis file of the samples; comments are "name=value" texts in UTF-8. quality is the
// encoder's -0.1 .. 1. The serial number is fixed, so the same input gives the same bytes. Empty
// with a reason in error when the encoder refuses the format.
inline std::string EncodeOgg(const TSamples& samples, int32_t rate, int32_t channels,
                             const std::vector<std::string>& comments, float quality = 0.0f,
                             std::string* error = nullptr) {
    std::string out;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (channels < 1 || rate < 1 || vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        if (error)
            *error = "the encoder has no mode for " + std::to_string(rate) + " Hz, " + std::to_string(channels) +
                     " channels";
        return out;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    for (const std::string& c : comments)
        vorbis_comment_add(&vc, c.c_str());
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x4B454C31);
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&vd, &vc, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &headerComment);
    ogg_stream_packetin(&os, &headerCode);
    ogg_page og;
    auto put = [&] {
        out.append(reinterpret_cast<const char*>(og.header), static_cast<size_t>(og.header_len))
            .append(reinterpret_cast<const char*>(og.body), static_cast<size_t>(og.body_len));
    };
    while (ogg_stream_flush(&os, &og) != 0)
        put();

    const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
    int64_t done = 0;
    bool eos = false;
    while (!eos) {
        const int64_t n = std::min<int64_t>(1024, frames - done);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(n));
            for (int64_t f = 0; f < n; ++f)
                for (int32_t c = 0; c < channels; ++c)
                    buffer[c][f] =
                        static_cast<float>(samples[static_cast<size_t>((done + f) * channels + c)]) / 32768.0f;
            vorbis_analysis_wrote(&vd, static_cast<int>(n));
            done += n;
        } else {
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (!eos && ogg_stream_pageout(&os, &og) != 0) {
                    put();
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
        if (n <= 0 && !eos) {
            // Everything is written: whatever is left in the stream goes out as the last pages.
            while (ogg_stream_flush(&os, &og) != 0)
                put();
            eos = true;
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return out;
}

inline void Put16(std::string& s, uint16_t v) {
    s.push_back(static_cast<char>(v & 0xFF));
    s.push_back(static_cast<char>(v >> 8));
}
inline void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// One chunk: the four-byte identifier, the payload's size, the payload (no pad byte).
inline std::string RiffChunk(std::string_view id, std::string_view payload) {
    std::string s(id.substr(0, 4));
    s.resize(4, '\0');
    Put32(s, static_cast<uint32_t>(payload.size()));
    s.append(payload);
    return s;
}

// The payload of a "fmt " chunk.
inline std::string FmtPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    std::string s;
    const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
    Put16(s, tag);
    Put16(s, channels);
    Put32(s, rate);
    Put32(s, rate * align);
    Put16(s, align);
    Put16(s, bits);
    return s;
}

inline std::string SampleBytes(const TSamples& samples) {
    std::string s;
    s.reserve(samples.size() * 2);
    for (int16_t v : samples)
        Put16(s, static_cast<uint16_t>(v));
    return s;
}

// A plain 16-bit PCM wave: "RIFF" + "WAVE", "fmt ", "data".
inline std::string EncodeRiff(const TSamples& samples, int32_t rate, int32_t channels) {
    const std::string body =
        RiffChunk("fmt ", FmtPayload(1, static_cast<uint16_t>(channels), static_cast<uint32_t>(rate), 16)) +
        RiffChunk("data", SampleBytes(samples));
    std::string s = "RIFF";
    Put32(s, static_cast<uint32_t>(4 + body.size()));
    return s + "WAVE" + body;
}

}  // namespace SoundWriter
