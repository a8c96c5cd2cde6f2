#include "platform/headless/FakeMovies.h"

#include <algorithm>

namespace {

constexpr int64_t kRate = 44100;
constexpr int64_t kPieceFrames = 1024;

class TFakeSource final : public IMovieSource {
public:
    explicit TFakeSource(const TFakeMovie& movie) : Movie(movie) {
        Information.HasVideo = movie.HasVideo && movie.Pictures > 0;
        Information.HasAudio = movie.SoundUs > 0;
        Information.Width = Information.HasVideo ? movie.Width : 0;
        Information.Height = Information.HasVideo ? movie.Height : 0;
        Information.DurationUs = movie.DurationUs;
        OutWidth = std::max(movie.Width, 1);
        OutHeight = std::max(movie.Height, 1);
    }

    const TMovieInfo& Info() const override { return Information; }
    void SetPictureSize(int32_t width, int32_t height) override {
        OutWidth = std::max(width, 1);
        OutHeight = std::max(height, 1);
    }

    // Pictures and pieces of sound come in the order of their times, as a muxed file has them.
    TMovieStep Next(TMoviePicture& picture, TMovieSound& sound) override {
        const int64_t soundFrames = Movie.SoundUs * kRate / 1000000;
        const bool morePictures = Information.HasVideo && NextPicture < Movie.Pictures;
        const bool moreSound = NextSoundFrame < soundFrames;
        if (!morePictures && !moreSound) return TMovieStep::End;
        const int64_t pictureUs = NextPicture * Movie.PictureUs;
        const int64_t soundUs = NextSoundFrame * 1000000 / kRate;
        if (morePictures && (!moreSound || pictureUs <= soundUs)) {
            picture.TimeUs = pictureUs;
            picture.DurationUs = Movie.PictureUs;
            picture.Width = OutWidth;
            picture.Height = OutHeight;
            picture.Pixels.assign(static_cast<size_t>(OutWidth) * static_cast<size_t>(OutHeight),
                                  FakeMovies::PictureColor(NextPicture));
            ++NextPicture;
            return TMovieStep::Picture;
        }
        const int64_t n = std::min(kPieceFrames, soundFrames - NextSoundFrame);
        sound.TimeUs = soundUs;
        sound.Samples.resize(static_cast<size_t>(n) * 2);
        for (int64_t i = 0; i < n; ++i) {
            const int16_t s = FakeMovies::SoundSample(NextSoundFrame + i);
            sound.Samples[static_cast<size_t>(2 * i)] = s;
            sound.Samples[static_cast<size_t>(2 * i + 1)] = static_cast<int16_t>(-s);
        }
        NextSoundFrame += n;
        return TMovieStep::Sound;
    }

    bool Seek(int64_t timeUs) override {
        const int64_t t = std::max<int64_t>(timeUs, 0);
        const int32_t every = std::max(Movie.KeyEvery, 1);
        int64_t picture = Movie.PictureUs > 0 ? t / Movie.PictureUs : 0;
        picture = std::min<int64_t>(picture, std::max(Movie.Pictures - 1, 0));
        picture -= picture % every;
        NextPicture = static_cast<int32_t>(picture);
        // The sound restarts at the key picture's time, on a piece boundary before it.
        const int64_t frame = picture * Movie.PictureUs * kRate / 1000000;
        NextSoundFrame = frame - frame % kPieceFrames;
        return true;
    }

    std::string Error() const override { return {}; }

private:
    TFakeMovie Movie;
    TMovieInfo Information;
    int32_t OutWidth = 1;
    int32_t OutHeight = 1;
    int32_t NextPicture = 0;
    int64_t NextSoundFrame = 0;
};

}  // namespace

std::unique_ptr<IMovieSource> TFakeMovieBackend::Open(const std::string& hostPath, std::string& error) {
    Opened.push_back(hostPath);
    if (!Refuse.empty()) {
        error = Refuse;
        return nullptr;
    }
    return std::make_unique<TFakeSource>(Movie);
}
