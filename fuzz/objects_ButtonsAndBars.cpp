// The saved state of a scroll bar or a button read from any bytes. The first byte picks the
// loader (even: the bar, odd: the button), the rest is the save data. Any name ending in ".b" is a small animation with
// a hit area over its frame, and one ending in ".bmp" a small picture, so that saved file names load. A refused load
// leaves the object cleared; an accepted one runs a frame, takes a press and a drag, draws, and saves a state that
// loads again and consumes exactly what was written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundation/PackLib.h"
#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Font.h"
#include "media/AnimationBmpWriter.h"
#include "objects/ButtonLib.h"
#include "objects/ScrollBarLib.h"
#include "platform/ClassLib.h"

namespace {

std::string Picture() {
    TARGB8888 picture;
    picture.SetSize(8, 4);
    TMemoryStream s;
    picture.SaveToStream(&s);
    return s.AsString();
}

std::string Animation() {
    AnimationBmpWriter::TLayer draw;
    draw.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::Draw);
    AnimationBmpWriter::TLayer hit;
    hit.Keys[0].Kind = static_cast<uint8_t>(TABMPKind::HitArea);
    hit.Keys[0].DstW = 8;
    hit.Keys[0].DstH = 4;
    AnimationBmpWriter::TFile file;
    file.Width = 8;
    file.Height = 4;
    file.Motions.push_back({"*Enable", {draw, hit}});
    file.Images.push_back({"pic", static_cast<uint8_t>(AnimationBmpWriter::TImageType::Bmp), Picture()});
    return AnimationBmpWriter::Write(file);
}

bool EndsWith(const std::string& name, const char* end) {
    const std::string low = ClassLib::LowerAscii(name);
    const std::string tail(end);
    return low.size() >= tail.size() && low.compare(low.size() - tail.size(), tail.size(), tail) == 0;
}

void Check(bool ok) {
    if (!ok) std::abort();
}

void ScrollBar(const TPackSet& packs, TStream& input, TARGB8888CellDraw& cells) {
    TImageScrollBar bar(packs);
    if (!bar.LoadFromStream(&input)) {
        Check(bar.Record == TScrollBarRecord{} && !bar.IsEnabled());
        return;
    }
    Check(bar.GetMax() >= 1 && bar.GetValue() >= 0 && bar.GetValue() <= bar.GetMax());
    Check(bar.TrackEnd > bar.TrackStart);
    bar.Update(0xFFFFFFFF, 16);
    bar.MouseDown(0xFFFFFFFF, bar.Record.X + 3, bar.Record.Y + 2);
    bar.MouseMove(0xFFFFFFFF, TImageScrollBar::kLeftButton, bar.Record.X + 6, bar.Record.Y + 1);
    Check(bar.GetValue() >= 0 && bar.GetValue() <= bar.GetMax());
    bar.Draw(&cells, 0xFFFFFFFF, 0, 0);
    cells.Render(0xFF000000, false, 0x7FFFFFFF);

    TMemoryStream saved;
    Check(bar.SaveToStream(&saved));
    saved.SetPosition(0);
    TImageScrollBar again(packs);
    Check(again.LoadFromStream(&saved));
    Check(saved.Remaining() == 0);
    Check(again.Record == bar.Record);
}

void Button(const TPackSet& packs, TStream& input, TARGB8888CellDraw& cells) {
    static TFontTable fonts;  // system faces without a provider: captions take no glyphs
    auto button = ImageLib::Make<TButtonLib>(packs);
    button->Fonts = &fonts;
    if (!button->LoadFromStream(&input)) {
        Check(button->ButtonRecord == TButtonRecord{} && !button->IsEnabled());
        return;
    }
    // Hover, both states and a click in whatever state was loaded, then a frame.
    const int32_t x = button->Record.X + 3, y = button->Record.Y + 2;
    button->MouseMove(0xFFFFFFFF, x, y);
    button->SetLocked(!button->IsLocked());
    button->SetChecked(!button->IsChecked());
    button->SetLocked(false);
    const bool taken = button->Click(0xFFFFFFFF, x, y);
    Check(!taken || button->ButtonRecord.ClickCountdown == TButtonLib::kClickUpdates);
    button->Update(0xFFFFFFFF, 16);
    button->MouseMove(0xFFFFFFFF, x + 100, y);
    button->Draw(&cells, 0xFFFFFFFF, 0, 0);
    cells.Render(0xFF000000, false, 0x7FFFFFFF);

    TMemoryStream saved;
    Check(button->SaveToStream(&saved));
    saved.SetPosition(0);
    auto again = ImageLib::Make<TButtonLib>(packs);
    Check(again->LoadFromStream(&saved));
    Check(saved.Remaining() == 0);
    Check(again->ButtonRecord == button->ButtonRecord);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string picture = Picture(), animation = Animation();
    TPackSet packs;
    packs.FileExistsHook = [](const std::string& name) { return EndsWith(name, ".b") || EndsWith(name, ".bmp"); };
    packs.LoadFileHook = [](const std::string& name) -> std::unique_ptr<TMemoryStream> {
        if (EndsWith(name, ".b")) return std::make_unique<TMemoryStream>(animation);
        if (EndsWith(name, ".bmp")) return std::make_unique<TMemoryStream>(picture);
        return nullptr;
    };
    static const std::unique_ptr<TARGB8888CellDraw> cells = [] {
        auto c = std::make_unique<TARGB8888CellDraw>();
        c->SetScreenSize(64, 64);
        return c;
    }();
    if (size == 0) return 0;
    TMemoryStream input(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
    if (data[0] & 1)
        Button(packs, input, *cells);
    else
        ScrollBar(packs, input, *cells);
    return 0;
}
