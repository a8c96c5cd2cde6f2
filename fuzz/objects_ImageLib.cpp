// A screen object's saved state from arbitrary bytes. Any name ending in ".bmp" is a small
// picture, so saved file names and memory pictures load. A refused load leaves the object
// cleared; an accepted one runs a frame, draws, and saves a state that loads again and consumes
// exactly what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/PackLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "objects/ImageLib.h"
#include "platform/ClassLib.h"

namespace {

const std::string& Picture() {
    static const std::string bytes = [] {
        TARGB8888 picture;
        picture.SetSize(4, 4);
        TMemoryStream s;
        picture.SaveToStream(&s);
        return s.AsString();
    }();
    return bytes;
}

bool IsPictureName(const std::string& name) {
    return name.size() >= 4 && ClassLib::LowerAscii(name.substr(name.size() - 4)) == ".bmp";
}

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TPackSet packs;
    packs.FileExistsHook = [](const std::string& name) { return IsPictureName(name); };
    packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        return IsPictureName(name) ? std::make_unique<TMemoryStream>(Picture()) : nullptr;
    };
    static const std::unique_ptr<TARGB8888CellDraw> cells = [] {
        auto c = std::make_unique<TARGB8888CellDraw>();
        c->SetScreenSize(64, 64);
        return c;
    }();

    TMemoryStream input(std::string(reinterpret_cast<const char*>(data), size));
    auto image = ImageLib::Make<TImageLib>(packs);
    if (!image->LoadFromStream(&input)) {
        Check(image->Record.Files[0].empty() && !image->IsVisible());
        for (const auto& slot : image->MemoryStreams)
            Check(slot == nullptr);
        return 0;
    }
    image->Update(255, 16);
    image->MouseMove(255, 10, 10);
    image->Draw(cells.get(), 0xFFFFFFFF, 0, 0);
    cells->Render(0xFF000000, false, 0x7FFFFFFF);
    (void)image->HitTest(1, 1);

    TMemoryStream saved;
    Check(image->SaveToStream(&saved));
    saved.SetPosition(0);
    auto again = ImageLib::Make<TImageLib>(packs);
    Check(again->LoadFromStream(&saved));
    Check(saved.Remaining() == 0);
    return 0;
}
