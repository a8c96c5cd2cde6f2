#include "media/uARGB8888Movie.h"

#include <algorithm>

#include "platform/ClassLib.h"

TARGB8888Movie::TARGB8888Movie() : Image(std::make_unique<TARGB8888>()), Movie(std::make_unique<TMotionMovie>()) {
    BaseSerial = Image->Serial;
    Image->OnSetTime = [this](int32_t time) { DoSetTime(time); };
    Image->OnIsTransparent = [this] { return DoIsTransparent(); };
}

TARGB8888Movie::~TARGB8888Movie() {
    Image->SetTarget(nullptr);  // the movie's bitmap goes first
}

bool TARGB8888Movie::LoadFromStream(TStream* stream, int64_t size) {
    if (!stream) return false;
    auto bytes = std::make_unique<TMemoryStream>();
    const int64_t count = std::clamp<int64_t>(size, 0, stream->Remaining());
    bytes->SetSize(count);
    if (count > 0 && stream->Read(bytes->Memory(), count) != count) bytes->Clear();
    Image->SetTarget(nullptr);
    const bool loaded = Movie->LoadFromStream(std::move(bytes));
    Image->Changed();
    BaseSerial = Image->Serial;
    ShowPicture();
    return loaded;
}

void TARGB8888Movie::ShowPicture() {
    Image->SetTarget(Movie->GetImage());
}

TARGB8888* TARGB8888Movie::GetImage() {
    ShowPicture();
    return Image.get();
}

void TARGB8888Movie::DoSetTime(int32_t time) {
    Movie->SetTime(time);
    ShowPicture();
    Image->Serial = (static_cast<uint32_t>(Movie->DecodedPictureId()) + BaseSerial) & 0xFFFFFF;
}
