// A message window's saved state from arbitrary bytes: the input is what follows the screen
// object's part of the save (the 668-byte record, the main text and the log copy), put behind the
// saved part of a cleared screen object. A refused load leaves the window cleared; an accepted one
// has its read positions inside its texts, its inked area inside its text area, its bitmap inside
// the size limit and its text alpha and state in range, and still types, draws and saves a state
// that loads again and consumes exactly what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/PackLib.h"
#include "fuzz/FuzzFonts.h"
#include "media/ARGB8888CellDrawLib.h"
#include "objects/MessageLib.h"
#include "platform/ClassLib.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void CheckInvariants(const TMessageLib& w) {
    Check(w.MainPos >= 0 && static_cast<size_t>(w.MainPos) <= w.MainText.size());
    Check(w.InsertPos >= 0 && static_cast<size_t>(w.InsertPos) <= w.InsertString.size());
    const int32_t width = w.AreaWidth(), height = w.AreaHeight();
    Check(width >= 0 && height >= 0 && width <= MessageLib::kMaxTextSide && height <= MessageLib::kMaxTextSide);
    Check(w.TextBitmap.Width() <= MessageLib::kMaxTextSide && w.TextBitmap.Height() <= MessageLib::kMaxTextSide);
    if (!w.InkEmpty()) Check(w.InkMinX >= 0 && w.InkMaxX <= width && w.InkMinY >= 0 && w.InkMaxY <= height);
    Check(w.TextAlpha >= 0 && w.TextAlpha <= MessageLib::kOpaqueText);
    Check(static_cast<uint8_t>(w.GetState()) <= static_cast<uint8_t>(TMessageState::PageFull));
    Check(w.SuppressVoiceStop == 0);
}

// The saved part of a cleared screen object, which every input follows.
const std::string& ObjectPart() {
    static const std::string bytes = [] {
        const TPackSet packs;
        auto image = ImageLib::Make<TImageLib>(packs);
        TMemoryStream s;
        image->SaveToStream(&s);
        return s.AsString();
    }();
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TFontTable& fonts = FuzzFonts::Install();
    static const std::unique_ptr<TARGB8888CellDraw> cells = [] {
        auto c = std::make_unique<TARGB8888CellDraw>();
        c->SetScreenSize(64, 64);
        return c;
    }();

    TMemoryStream input(ObjectPart() + std::string(reinterpret_cast<const char*>(data), size));
    const TPackSet packs;  // without files: nothing the input names is read
    auto window = ImageLib::Make<TMessageLib>(packs);
    window->Fonts = &fonts;
    if (!window->LoadFromStream(&input)) {
        Check(window->MakeRecord() == TMessageRecord{} && !window->IsVisible() && window->MainText.empty());
        return 0;
    }
    CheckInvariants(*window);
    for (int i = 0; i < 4; ++i) {
        window->Update(255, 40);
        window->Draw(cells.get(), 0xFFFFFFFF, 0, 0);
        CheckInvariants(*window);
        window->Advance(1);
        CheckInvariants(*window);
    }
    cells->Render(0xFF000000, false, 0x7FFFFFFF);

    TMemoryStream saved;
    Check(window->SaveToStream(&saved));
    saved.SetPosition(0);
    auto again = ImageLib::Make<TMessageLib>(packs);
    again->Fonts = &fonts;
    Check(again->LoadFromStream(&saved));
    Check(saved.Remaining() == 0);
    CheckInvariants(*again);
    return 0;
}
