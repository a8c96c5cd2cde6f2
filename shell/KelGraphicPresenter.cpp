#include "shell/KelGraphicPresenter.h"

#include "media/ARGB8888Lib.h"
#include "objects/KelGraphicLib.h"

namespace {

TDDDD7* ComponentOf(IKelDisplay* display) {
    return display ? display->DisplayComponent() : nullptr;
}

}  // namespace

void TKelGraphicPresenter::Present(TKelScript& script, bool full, bool interlaced) {
    if (TKelGraphic* graphic = KelGraphicLib::GraphicOf(script))
        graphic->Present(ComponentOf(Display), full, interlaced);
}

void TKelGraphicPresenter::PresentCellDraw(TKelScript& script, bool full, bool interlaced) {
    if (TKelGraphic* graphic = KelGraphicLib::GraphicOf(script))
        graphic->CellDraw()->PresentToSurface(ComponentOf(Display), full, interlaced);
}

bool TKelGraphicPresenter::CanPresent(TKelScript& script) {
    TKelGraphic* graphic = KelGraphicLib::GraphicOf(script);
    return graphic && graphic->CellDraw();
}

void TKelGraphicPresenter::InvalidateAll(TKelScript& script) {
    if (TKelGraphic* graphic = KelGraphicLib::GraphicOf(script)) graphic->InvalidateAll();
}

void TKelGraphicPresenter::ToggleInterlaceField() {
    if (Field) Field->ToggleField();
}
