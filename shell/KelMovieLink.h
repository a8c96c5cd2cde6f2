// The movie object as the engine core owns it (IKelMovie). The main window (and the headless
// runner) makes the movie object, keeps a pointer to it for drawing the video, and hands it to the
// engine core before TKelSystem::Setup:
//     auto movie = std::make_unique<TKelDirectShowPlayer>(devices);
//     TKelDirectShowPlayer* shown = movie.get();       // PresentOver once per idle call
//     engine->Movie = std::make_unique<TKelMovieLink>(std::move(movie));
#pragma once

#include <memory>

#include "shell/KelSystemSeams.h"

class TKelDirectShowPlayer;

class TKelMovieLink final : public IKelMovie {
public:
    explicit TKelMovieLink(std::unique_ptr<TKelDirectShowPlayer> movie);
    ~TKelMovieLink() override;

    int32_t GetState() override;
    void Close() override;
    void SaveToStream(TStream& stream) override;
    // A stream too short for a record leaves the movie closed.
    void LoadFromStream(TStream& stream) override;
    TKelDirectShowPlayer* Object() override { return Movie.get(); }

private:
    std::unique_ptr<TKelDirectShowPlayer> Movie;
};
