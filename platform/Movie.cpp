#include "platform/Movie.h"

#include <algorithm>

#include "platform/VideoLibraries.h"

namespace Movie {

// Containers of ordinary movies. Playlists, lists of files, image sequences and raw streams that
// name other files are left out on purpose.
const char* const kAllowedContainers =
    "mov,mp4,m4a,3gp,3g2,mj2,matroska,webm,avi,asf,mpeg,mpegts,mpegvideo,m4v,flv,ogg";

}  // namespace Movie

namespace {

constexpr AVRational kMicroseconds{1, 1000000};
constexpr int kOutRate = 44100;

std::string ErrorText(const TVideoLibraries& L, int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    L.av_strerror(code, text, sizeof text);
    return text;
}

class TFfmpegSource final : public IMovieSource {
public:
    explicit TFfmpegSource(const TVideoLibraries& libraries) : L(libraries) {}
    ~TFfmpegSource() override {
        L.sws_freeContext(Scaler);
        L.swr_free(&Resampler);
        L.av_frame_free(&Frame);
        L.av_packet_free(&Packet);
        L.avcodec_free_context(&VideoCodec);
        L.avcodec_free_context(&AudioCodec);
        L.avformat_close_input(&Format);
    }

    bool Open(const std::string& hostPath, std::string& error);

    const TMovieInfo& Info() const override { return Information; }
    void SetPictureSize(int32_t width, int32_t height) override {
        OutWidth = std::max(width, 1);
        OutHeight = std::max(height, 1);
    }
    TMovieStep Next(TMoviePicture& picture, TMovieSound& sound) override;
    bool Seek(int64_t timeUs) override;
    std::string Error() const override { return Failure; }

private:
    bool OpenDecoder(int index, AVCodecContext*& codec, std::string& error);
    // The time of a decoded frame from the movie's start, or the fallback when it has none.
    int64_t FrameTime(int index, int64_t fallback) const;
    bool TakePicture(TMoviePicture& picture);
    bool TakeSound(TMovieSound& sound);
    void Flush();

    const TVideoLibraries& L;
    TMovieInfo Information;
    AVFormatContext* Format = nullptr;
    AVCodecContext* VideoCodec = nullptr;
    AVCodecContext* AudioCodec = nullptr;
    int VideoIndex = -1;
    int AudioIndex = -1;
    AVPacket* Packet = nullptr;
    AVFrame* Frame = nullptr;
    SwsContext* Scaler = nullptr;
    SwrContext* Resampler = nullptr;
    int64_t StartUs = 0;        // the container's first time stamp, which counts as 0
    int64_t PictureStepUs = 0;  // from the stream's frame rate
    int64_t NextPictureUs = 0;  // for pictures without a time stamp
    int64_t NextSoundUs = 0;    // the same for sound
    bool InputDone = false;     // the demuxer is through and the decoders are being drained
    bool VideoDone = false;     // the video decoder has given its last frame
    bool AudioDone = false;
    int32_t OutWidth = 1;
    int32_t OutHeight = 1;
    std::string Failure;
};

bool TFfmpegSource::OpenDecoder(int index, AVCodecContext*& codec, std::string& error) {
    const AVCodecParameters* parameters = Format->streams[index]->codecpar;
    const AVCodec* decoder = L.avcodec_find_decoder(parameters->codec_id);
    if (!decoder) {
        error = std::string("no decoder for ") + L.avcodec_get_name(parameters->codec_id);
        return false;
    }
    codec = L.avcodec_alloc_context3(decoder);
    if (!codec) {
        error = "out of memory";
        return false;
    }
    int r = L.avcodec_parameters_to_context(codec, parameters);
    if (r >= 0) {
        codec->pkt_timebase = Format->streams[index]->time_base;
        r = L.avcodec_open2(codec, decoder, nullptr);
    }
    if (r < 0) {
        error = std::string(decoder->name) + ": " + ErrorText(L, r);
        L.avcodec_free_context(&codec);
        return false;
    }
    return true;
}

bool TFfmpegSource::Open(const std::string& hostPath, std::string& error) {
    AVDictionary* options = nullptr;
    L.av_dict_set(&options, "protocol_whitelist", "file", 0);
    L.av_dict_set(&options, "format_whitelist", Movie::kAllowedContainers, 0);
    // The "file:" prefix keeps a name with a colon from being taken for another protocol.
    const std::string url = "file:" + hostPath;
    int r = L.avformat_open_input(&Format, url.c_str(), nullptr, &options);
    L.av_dict_free(&options);
    if (r < 0) {
        error = hostPath + ": " + ErrorText(L, r);
        return false;
    }
    r = L.avformat_find_stream_info(Format, nullptr);
    if (r < 0) {
        error = hostPath + ": " + ErrorText(L, r);
        return false;
    }
    VideoIndex = L.av_find_best_stream(Format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AudioIndex = L.av_find_best_stream(Format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    std::string why;
    if (VideoIndex >= 0 && !OpenDecoder(VideoIndex, VideoCodec, why)) VideoIndex = -1;
    if (AudioIndex >= 0 && !OpenDecoder(AudioIndex, AudioCodec, why)) AudioIndex = -1;
    if (VideoIndex < 0 && AudioIndex < 0) {
        error = hostPath + ": " + (why.empty() ? std::string("no video or sound") : why);
        return false;
    }
    Packet = L.av_packet_alloc();
    Frame = L.av_frame_alloc();
    if (!Packet || !Frame) {
        error = hostPath + ": out of memory";
        return false;
    }
    for (unsigned i = 0; i < Format->nb_streams; ++i)
        if (static_cast<int>(i) != VideoIndex && static_cast<int>(i) != AudioIndex)
            Format->streams[i]->discard = AVDISCARD_ALL;

    StartUs = Format->start_time == AV_NOPTS_VALUE ? 0 : Format->start_time;
    Information.HasVideo = VideoIndex >= 0;
    Information.HasAudio = AudioIndex >= 0;
    if (Format->duration != AV_NOPTS_VALUE && Format->duration > 0) Information.DurationUs = Format->duration;
    if (VideoCodec) {
        Information.Width = VideoCodec->width;
        Information.Height = VideoCodec->height;
        const AVRational rate = L.av_guess_frame_rate(Format, Format->streams[VideoIndex], nullptr);
        if (rate.num > 0 && rate.den > 0) PictureStepUs = L.av_rescale(1000000, rate.den, rate.num);
    }
    SetPictureSize(Information.Width, Information.Height);
    return true;
}

int64_t TFfmpegSource::FrameTime(int index, int64_t fallback) const {
    const int64_t pts = Frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE) return fallback;
    return L.av_rescale_q(pts, Format->streams[index]->time_base, kMicroseconds) - StartUs;
}

bool TFfmpegSource::TakePicture(TMoviePicture& picture) {
    if (Frame->width <= 0 || Frame->height <= 0 || Frame->format < 0) return false;
    Scaler = L.sws_getCachedContext(Scaler, Frame->width, Frame->height, static_cast<AVPixelFormat>(Frame->format),
                                    OutWidth, OutHeight, AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!Scaler) return false;
    picture.Width = OutWidth;
    picture.Height = OutHeight;
    picture.Pixels.resize(static_cast<size_t>(OutWidth) * static_cast<size_t>(OutHeight));
    uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(picture.Pixels.data()), nullptr, nullptr, nullptr};
    const int strides[4] = {OutWidth * 4, 0, 0, 0};
    L.sws_scale(Scaler, Frame->data, Frame->linesize, 0, Frame->height, planes, strides);
    picture.TimeUs = FrameTime(VideoIndex, NextPictureUs);
    picture.DurationUs = PictureStepUs;
    NextPictureUs = picture.TimeUs + PictureStepUs;
    return true;
}

bool TFfmpegSource::TakeSound(TMovieSound& sound) {
    if (Frame->nb_samples <= 0 || Frame->sample_rate <= 0) return false;
    if (!Resampler) {
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (L.swr_alloc_set_opts2(&Resampler, &stereo, AV_SAMPLE_FMT_S16, kOutRate, &Frame->ch_layout,
                                  static_cast<AVSampleFormat>(Frame->format), Frame->sample_rate, 0, nullptr) < 0 ||
            L.swr_init(Resampler) < 0) {
            L.swr_free(&Resampler);
            return false;
        }
    }
    const int room = L.swr_get_out_samples(Resampler, Frame->nb_samples);
    if (room <= 0) return false;
    sound.Samples.resize(static_cast<size_t>(room) * 2);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(sound.Samples.data())};
    const int made =
        L.swr_convert(Resampler, out, room, const_cast<const uint8_t**>(Frame->extended_data), Frame->nb_samples);
    if (made <= 0) return false;
    sound.Samples.resize(static_cast<size_t>(made) * 2);
    sound.TimeUs = FrameTime(AudioIndex, NextSoundUs);
    NextSoundUs = sound.TimeUs + int64_t{made} * 1000000 / kOutRate;
    return true;
}

TMovieStep TFfmpegSource::Next(TMoviePicture& picture, TMovieSound& sound) {
    while (true) {
        // What the decoders hold goes out before more of the file is read.
        if (VideoCodec && !VideoDone) {
            const int r = L.avcodec_receive_frame(VideoCodec, Frame);
            if (r == 0) {
                const bool taken = TakePicture(picture);
                L.av_frame_unref(Frame);
                if (taken) return TMovieStep::Picture;
                continue;
            }
            if (r == AVERROR_EOF) VideoDone = true;
        }
        if (AudioCodec && !AudioDone) {
            const int r = L.avcodec_receive_frame(AudioCodec, Frame);
            if (r == 0) {
                const bool taken = TakeSound(sound);
                L.av_frame_unref(Frame);
                if (taken) return TMovieStep::Sound;
                continue;
            }
            if (r == AVERROR_EOF) AudioDone = true;
        }
        // Once the decoders are being drained, one that gives no frame has nothing more to give.
        if (InputDone) return TMovieStep::End;
        const int r = L.av_read_frame(Format, Packet);
        if (r < 0) {
            if (r != AVERROR_EOF) Failure = ErrorText(L, r);
            InputDone = true;
            if (VideoCodec) L.avcodec_send_packet(VideoCodec, nullptr);
            if (AudioCodec) L.avcodec_send_packet(AudioCodec, nullptr);
            continue;
        }
        // A damaged packet is skipped; the decoder goes on with the next one.
        if (Packet->stream_index == VideoIndex)
            L.avcodec_send_packet(VideoCodec, Packet);
        else if (Packet->stream_index == AudioIndex)
            L.avcodec_send_packet(AudioCodec, Packet);
        L.av_packet_unref(Packet);
    }
}

void TFfmpegSource::Flush() {
    if (VideoCodec) L.avcodec_flush_buffers(VideoCodec);
    if (AudioCodec) L.avcodec_flush_buffers(AudioCodec);
    // Sound the resampler still holds belongs to the old position.
    L.swr_free(&Resampler);
    InputDone = VideoDone = AudioDone = false;
}

bool TFfmpegSource::Seek(int64_t timeUs) {
    const int64_t target = std::max<int64_t>(timeUs, 0) + StartUs;
    int r = L.av_seek_frame(Format, -1, target, AVSEEK_FLAG_BACKWARD);
    if (r < 0) r = L.avformat_seek_file(Format, -1, INT64_MIN, target, target, 0);
    if (r < 0) {
        Failure = ErrorText(L, r);
        return false;
    }
    Flush();
    NextPictureUs = NextSoundUs = std::max<int64_t>(timeUs, 0);
    return true;
}

}  // namespace

std::unique_ptr<IMovieSource> TFfmpegMovies::Open(const std::string& hostPath, std::string& error) {
    const TVideoLibraries& libraries = Libraries ? *Libraries : VideoLibraries::Shared();
    if (!libraries.Loaded()) {
        error = hostPath + ": " + libraries.Error();
        return nullptr;
    }
    auto source = std::make_unique<TFfmpegSource>(libraries);
    if (!source->Open(hostPath, error)) return nullptr;
    return source;
}
