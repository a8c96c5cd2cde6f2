#include "shell/KelMovieLink.h"

#include "media/KelDirectShow.h"

TKelMovieLink::TKelMovieLink(std::unique_ptr<TKelDirectShowPlayer> movie) : Movie(std::move(movie)) {}

TKelMovieLink::~TKelMovieLink() = default;

int32_t TKelMovieLink::GetState() {
    return Movie ? Movie->GetState() : 0;
}

void TKelMovieLink::Close() {
    if (Movie) Movie->Close();
}

void TKelMovieLink::SaveToStream(TStream& stream) {
    if (Movie) Movie->SaveToStream(stream);
}

void TKelMovieLink::LoadFromStream(TStream& stream) {
    if (Movie) Movie->LoadFromStream(stream);
}
