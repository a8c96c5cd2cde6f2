#include "media/uARGB8888Manager.h"

std::unique_ptr<TARGB8888> TARGB8888Manager::LoadData(TStream& stream, int32_t size, const std::string& name) {
    const int64_t start = stream.Position();
    auto picture = std::make_unique<TARGB8888>();
    try {
        // The cache hands in the lower-cased key, so the comparison can be exact.
        const std::string ext = ARGB8888Lib::ExtensionOf(name);
        if (ext == ".bmp" || ext == ".jpg" || ext == ".png" || ext == ".argb")
            picture->LoadFromStream(&stream, ext, Notices);
        if (size != 0) stream.SetPosition(start + size);
    } catch (const std::exception&) {
        if (size != 0) stream.SetPosition(start + size);
        return nullptr;
    }
    return picture;
}

int64_t TARGB8888Manager::DataSize(const TARGB8888& picture) const {
    return int64_t{picture.Width()} * picture.Height() * 4;
}
