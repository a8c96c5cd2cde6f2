// How the engine core's finished frames reach the display: through each interpreter's screen
// compositor (its transitions included), or straight from its cell draw for the system screens;
// and the row parity of interlaced drawing, flipped once a frame.
#pragma once

#include "shell/KelSystemSeams.h"

struct TInterlace;

class TKelGraphicPresenter final : public IKelPresenter {
public:
    // The display is asked for its component at every present, so a display that is set up later
    // or restarted is followed; none presents nothing. The field is the media context's, which the
    // screens' cell draws are linked to; none: nothing flips.
    TKelGraphicPresenter(IKelDisplay* display, TInterlace* field) : Display(display), Field(field) {}

    void Present(TKelScript& script, bool full, bool interlaced) override;
    void PresentCellDraw(TKelScript& script, bool full, bool interlaced) override;
    bool CanPresent(TKelScript& script) override;
    void InvalidateAll(TKelScript& script) override;
    void ToggleInterlaceField() override;

private:
    IKelDisplay* Display;
    TInterlace* Field;
};
