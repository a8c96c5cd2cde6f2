// Movie files made with FFmpeg's own encoders and muxers, for the movie tests and the benchmark:
// a few pictures, each one colour (or a textured scene that moves), and a tone. Header-only, so
// that the benchmark can use it without the test support library.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace MovieFixtures {

struct TSpec {
    int32_t Width = 64;
    int32_t Height = 48;
    int32_t Pictures = 10;
    int32_t Fps = 10;
    int32_t KeyEvery = 4;
    const char* VideoCodec = "mpeg4";  // empty: no video
    bool Textured = false;             // a moving scene instead of one colour a picture
    int32_t SoundRate = 22050;         // 0: no sound
    int32_t SoundChannels = 1;
    int32_t SoundMs = 1000;
    double ToneHz = 441.0;
    int16_t ToneAmplitude = 8000;
    const char* Container = "matroska";
};

// Picture i is all this colour (0xFFRRGGBB), unless textured.
inline uint32_t PictureColor(int32_t i) {
    static const uint32_t colors[] = {0xFFE01010, 0xFF10E010, 0xFF1010E0, 0xFFE0E010, 0xFF10E0E0,
                                      0xFFE010E0, 0xFF808080, 0xFFF0F0F0, 0xFF202020, 0xFFE08020};
    return colors[static_cast<size_t>(i) % (sizeof colors / sizeof colors[0])];
}

// The tone's sample at frame n of the file's own rate.
inline int16_t ToneSample(const TSpec& spec, int64_t n) {
    return static_cast<int16_t>(spec.ToneAmplitude *
                                std::sin(2 * 3.14159265358979 * spec.ToneHz * static_cast<double>(n) / spec.SoundRate));
}

namespace Detail {

inline std::string Text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

inline void Scene(const TSpec& spec, int32_t index, std::vector<uint32_t>& pixels) {
    for (int32_t y = 0; y < spec.Height; ++y)
        for (int32_t x = 0; x < spec.Width; ++x) {
            uint32_t c;
            if (!spec.Textured) {
                c = PictureColor(index);
            } else {
                const double s = std::sin((x + 4 * index) * 0.013) * 0.5 + 0.5;
                const double k = std::cos((y - 3 * index) * 0.021) * 0.5 + 0.5;
                auto r = static_cast<uint32_t>(255 * s), g = static_cast<uint32_t>(255 * k),
                     b = static_cast<uint32_t>(128 + 100 * s * k);
                if ((((x + 5 * index) / 97) + (y / 61)) % 5 == 0) r = 255 - r, g = 40, b = 220;
                const uint32_t grain = (static_cast<uint32_t>(x * 7919 + y * 104729 + index * 31) >> 3) % 12;
                c = 0xFF000000u | std::min(255u, r + grain) << 16 | std::min(255u, g + grain) << 8 |
                    std::min(255u, b + grain);
            }
            pixels[static_cast<size_t>(y) * static_cast<size_t>(spec.Width) + static_cast<size_t>(x)] = c;
        }
}

// Sends a frame (or null to drain) and writes what comes out.
inline int Encode(AVFormatContext* out, AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
    int r = avcodec_send_frame(codec, frame);
    if (r < 0) return r;
    AVPacket* packet = av_packet_alloc();
    while ((r = avcodec_receive_packet(codec, packet)) >= 0) {
        av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
        packet->stream_index = stream->index;
        r = av_interleaved_write_frame(out, packet);
        if (r < 0) break;
    }
    av_packet_free(&packet);
    return r == AVERROR(EAGAIN) || r == AVERROR_EOF ? 0 : r;
}

}  // namespace Detail

// Writes the movie to a host path; empty on success, else why not.
inline std::string WriteMovie(const std::string& hostPath, const TSpec& spec) {
    AVFormatContext* out = nullptr;
    int r = avformat_alloc_output_context2(&out, nullptr, spec.Container, hostPath.c_str());
    if (r < 0) return "muxer: " + Detail::Text(r);
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    AVStream* videoStream = nullptr;
    AVStream* audioStream = nullptr;
    std::string error;
    auto fail = [&](const std::string& why) {
        if (error.empty()) error = why;
    };
    const bool globalHeader = (out->oformat->flags & AVFMT_GLOBALHEADER) != 0;

    if (spec.VideoCodec && *spec.VideoCodec) {
        const AVCodec* encoder = avcodec_find_encoder_by_name(spec.VideoCodec);
        if (!encoder) encoder = avcodec_find_encoder_by_name("mpeg4");
        video = avcodec_alloc_context3(encoder);
        video->width = spec.Width;
        video->height = spec.Height;
        video->time_base = {1, spec.Fps};
        video->framerate = {spec.Fps, 1};
        video->pix_fmt = AV_PIX_FMT_YUV420P;
        video->gop_size = spec.KeyEvery;
        video->max_b_frames = 0;
        video->flags |= AV_CODEC_FLAG_QSCALE;
        video->global_quality = FF_QP2LAMBDA * 2;
        if (globalHeader) video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((r = avcodec_open2(video, encoder, nullptr)) < 0) fail("video encoder: " + Detail::Text(r));
        videoStream = avformat_new_stream(out, nullptr);
        videoStream->time_base = video->time_base;
        avcodec_parameters_from_context(videoStream->codecpar, video);
    }
    if (spec.SoundRate > 0) {
        const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
        audio = avcodec_alloc_context3(encoder);
        audio->sample_rate = spec.SoundRate;
        audio->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&audio->ch_layout, spec.SoundChannels);
        audio->time_base = {1, spec.SoundRate};
        if (globalHeader) audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if ((r = avcodec_open2(audio, encoder, nullptr)) < 0) fail("sound encoder: " + Detail::Text(r));
        audioStream = avformat_new_stream(out, nullptr);
        audioStream->time_base = audio->time_base;
        avcodec_parameters_from_context(audioStream->codecpar, audio);
    }
    if (error.empty() && (r = avio_open(&out->pb, hostPath.c_str(), AVIO_FLAG_WRITE)) < 0)
        fail("open: " + Detail::Text(r));
    if (error.empty() && (r = avformat_write_header(out, nullptr)) < 0) fail("header: " + Detail::Text(r));

    if (error.empty()) {
        AVFrame* picture = av_frame_alloc();
        AVFrame* sound = av_frame_alloc();
        std::vector<uint32_t> pixels(static_cast<size_t>(spec.Width) * static_cast<size_t>(spec.Height));
        SwsContext* toYuv = video ? sws_getContext(spec.Width, spec.Height, AV_PIX_FMT_RGB32, spec.Width, spec.Height,
                                                   AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr)
                                  : nullptr;
        const int64_t soundFrames = spec.SoundRate > 0 ? int64_t{spec.SoundRate} * spec.SoundMs / 1000 : 0;
        constexpr int64_t kPiece = 1024;
        int32_t nextPicture = 0;
        int64_t nextSound = 0;
        // Pictures and sound in the order of their times.
        while (error.empty() && ((video && nextPicture < spec.Pictures) || nextSound < soundFrames)) {
            const double pictureAt = video && nextPicture < spec.Pictures ? double(nextPicture) / spec.Fps : 1e18;
            const double soundAt = nextSound < soundFrames ? double(nextSound) / spec.SoundRate : 1e18;
            if (pictureAt <= soundAt) {
                Detail::Scene(spec, nextPicture, pixels);
                picture->format = AV_PIX_FMT_YUV420P;
                picture->width = spec.Width;
                picture->height = spec.Height;
                av_frame_get_buffer(picture, 0);
                av_frame_make_writable(picture);
                const uint8_t* from[1] = {reinterpret_cast<const uint8_t*>(pixels.data())};
                const int stride[1] = {spec.Width * 4};
                sws_scale(toYuv, from, stride, 0, spec.Height, picture->data, picture->linesize);
                picture->pts = nextPicture++;
                if ((r = Detail::Encode(out, video, videoStream, picture)) < 0) fail("video: " + Detail::Text(r));
                av_frame_unref(picture);
            } else {
                const int64_t n = std::min(kPiece, soundFrames - nextSound);
                sound->format = AV_SAMPLE_FMT_S16;
                sound->sample_rate = spec.SoundRate;
                av_channel_layout_copy(&sound->ch_layout, &audio->ch_layout);
                sound->nb_samples = static_cast<int>(n);
                av_frame_get_buffer(sound, 0);
                auto* s = reinterpret_cast<int16_t*>(sound->data[0]);
                for (int64_t i = 0; i < n; ++i)
                    for (int32_t c = 0; c < spec.SoundChannels; ++c)
                        s[i * spec.SoundChannels + c] = ToneSample(spec, nextSound + i);
                sound->pts = nextSound;
                nextSound += n;
                if ((r = Detail::Encode(out, audio, audioStream, sound)) < 0) fail("sound: " + Detail::Text(r));
                av_frame_unref(sound);
            }
        }
        if (error.empty() && video && (r = Detail::Encode(out, video, videoStream, nullptr)) < 0)
            fail("video: " + Detail::Text(r));
        if (error.empty() && audio && (r = Detail::Encode(out, audio, audioStream, nullptr)) < 0)
            fail("sound: " + Detail::Text(r));
        if (error.empty() && (r = av_write_trailer(out)) < 0) fail("trailer: " + Detail::Text(r));
        sws_freeContext(toYuv);
        av_frame_free(&picture);
        av_frame_free(&sound);
    }
    if (out->pb) avio_closep(&out->pb);
    avcodec_free_context(&video);
    avcodec_free_context(&audio);
    avformat_free_context(out);
    return error;
}

}  // namespace MovieFixtures
