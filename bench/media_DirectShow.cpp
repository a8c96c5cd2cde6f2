// The movie backend on a two-second 800 x 600 movie (H.264 at 30 pictures a second where the
// encoder is installed, else MPEG-4 part 2; 44.1 kHz stereo sound): every picture decoded and
// converted to 32-bit pixels at its own size, and once more stretched to 1024 x 768, with the sound
// converted to the engine's format. The baseline is FFmpeg decoding the same file alone, pictures
// left in the decoder's own format. Printed at the end: the processor time each takes per second
// of video, and the ratios; run with --benchmark_repetitions and random interleaving they are
// medians.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "bench/BenchReport.h"
#include "platform/Movie.h"
#include "tests/support/MovieFixtures.h"

namespace {

constexpr double kSeconds = 2.0;

const std::string& MovieFile() {
    static const std::string path = [] {
        const std::string p = "/tmp/kel-bench-movie-" + std::to_string(::getpid()) + ".mkv";
        MovieFixtures::TSpec spec;
        spec.Width = 800;
        spec.Height = 600;
        spec.Fps = 30;
        spec.Pictures = 60;
        spec.KeyEvery = 30;
        spec.Textured = true;
        spec.VideoCodec = avcodec_find_encoder_by_name("libx264") ? "libx264" : "mpeg4";
        spec.SoundRate = 44100;
        spec.SoundChannels = 2;
        spec.SoundMs = 2000;
        const std::string error = MovieFixtures::WriteMovie(p, spec);
        if (!error.empty()) std::fprintf(stderr, "the movie could not be made: %s\n", error.c_str());
        return p;
    }();
    return path;
}

void Ours(benchmark::State& state, int32_t width, int32_t height) {
    TFfmpegMovies movies;
    TMoviePicture picture;
    TMovieSound sound;
    int pictures = 0;
    for (auto _ : state) {
        std::string error;
        auto source = movies.Open(MovieFile(), error);
        if (!source) {
            state.SkipWithError(error.c_str());
            return;
        }
        source->SetPictureSize(width, height);
        pictures = 0;
        for (TMovieStep step; (step = source->Next(picture, sound)) != TMovieStep::End;)
            if (step == TMovieStep::Picture) ++pictures;
        benchmark::DoNotOptimize(picture.Pixels.data());
    }
    if (pictures != 60) state.SkipWithError("not every picture was decoded");
}

void DecodeAlone(benchmark::State& state) {
    for (auto _ : state) {
        AVFormatContext* format = nullptr;
        if (avformat_open_input(&format, MovieFile().c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(format, nullptr) < 0) {
            state.SkipWithError("the movie does not open");
            return;
        }
        AVCodecContext* codecs[8] = {};
        for (unsigned i = 0; i < format->nb_streams && i < 8; ++i) {
            const AVCodec* decoder = avcodec_find_decoder(format->streams[i]->codecpar->codec_id);
            codecs[i] = avcodec_alloc_context3(decoder);
            avcodec_parameters_to_context(codecs[i], format->streams[i]->codecpar);
            avcodec_open2(codecs[i], decoder, nullptr);
        }
        AVPacket* packet = av_packet_alloc();
        AVFrame* frame = av_frame_alloc();
        auto drain = [&](AVCodecContext* c) {
            while (avcodec_receive_frame(c, frame) == 0)
                benchmark::DoNotOptimize(frame->data[0]);
        };
        while (av_read_frame(format, packet) >= 0) {
            if (packet->stream_index < 8 && codecs[packet->stream_index]) {
                avcodec_send_packet(codecs[packet->stream_index], packet);
                drain(codecs[packet->stream_index]);
            }
            av_packet_unref(packet);
        }
        for (AVCodecContext*& c : codecs)
            if (c) {
                avcodec_send_packet(c, nullptr);
                drain(c);
                avcodec_free_context(&c);
            }
        av_frame_free(&frame);
        av_packet_free(&packet);
        avformat_close_input(&format);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const char* ours = "movie/ours/800x600";
    const char* stretched = "movie/ours/to-1024x768";
    const char* alone = "movie/ffmpeg-decode-alone";
    benchmark::RegisterBenchmark(ours, Ours, 800, 600)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(stretched, Ours, 1024, 768)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(alone, DecodeAlone)->Unit(benchmark::kMillisecond);
    MovieFile();  // made before anything is timed
    TRatioReporter report;
    if (!report.RunBenchmarks(argc, argv)) return 1;
    std::printf("\nProcessor time per second of 800x600 video (%s)\n",
                avcodec_find_encoder_by_name("libx264") ? "H.264" : "MPEG-4 part 2");
    for (const char* name : {ours, stretched, alone}) {
        const double ms = report.MedianTime(name) * 1000 / kSeconds;
        std::printf("  %-26s %7.2f ms (%.1f%% of one core)\n", name, ms, ms / 10.0);
    }
    report.PrintTimeRatio(ours, alone, "the decoder's time");
    report.PrintTimeRatio(stretched, alone, "the decoder's time");
    std::remove(MovieFile().c_str());
    benchmark::Shutdown();
    return 0;
}
