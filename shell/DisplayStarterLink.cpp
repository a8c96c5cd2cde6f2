#include "shell/DisplayStarterLink.h"

#include "foundation/DisplayComponent.h"
#include "foundation/DisplayStarter.h"

bool TDirectXPackDisplay::Ready() {
    return Pack.Started;
}

bool TDirectXPackDisplay::IsFullScreen() {
    return Pack.DDDD->Mode.FullScreen != 0;
}

void TDirectXPackDisplay::ToggleFullScreen() {
    Pack.ToggleFullScreen();
}

bool TDirectXPackDisplay::TestBackBuffer() {
    TDDDDGenSurface* back = Pack.DDDD->BackBuffer.get();
    TDisplayLock lock;
    if (!back || !back->Lock(lock)) return false;
    back->Unlock();
    return true;
}

bool TDirectXPackDisplay::Reinitialize() {
    return Pack.DDDD->Reinitialize();
}

void TDirectXPackDisplay::SetDisplayResetEvents(std::function<void()> before, std::function<void()> after) {
    Pack.OnBeforeChange = std::move(before);
    Pack.OnAfterChange = std::move(after);
}

TDDDD7* TDirectXPackDisplay::DisplayComponent() {
    return Pack.DDDD;
}
