// The image's way onto the screen: into the display component's back buffer, and onto a canvas.
#include "foundation/DisplayComponent.h"
#include "media/ARGB8888Lib.h"
#include "platform/Display.h"

TSurfaceDesc TARGB8888::SurfaceOf(const TDisplayLock& lock) {
    TSurfaceDesc d;
    d.Surface = lock.Pixels;
    d.Pitch = lock.Pitch;
    d.Width = lock.Width;
    d.Height = lock.Height;
    d.RGBBitCount = static_cast<uint32_t>(lock.Format.BitCount);
    d.RBitMask = lock.Format.RMask;
    d.GBitMask = lock.Format.GMask;
    d.BBitMask = lock.Format.BMask;
    return d;
}

bool TARGB8888::DrawToSurface(TDDDD7* display, int32_t x, int32_t y, int32_t left, int32_t top, int32_t right,
                              int32_t bottom) const {
    if (!display || !display->BackBuffer) return false;
    TDDDDGenSurface& back = *display->BackBuffer;
    TDisplayLock lock;
    if (!back.Lock(lock)) return false;
    TransferToSurface(SurfaceOf(lock), x, y, left, top, right, bottom);
    // The rows the transfer wrote, so that the next flip carries them.
    if (!ARGB8888Lib::ClipUnscaled(x, y, left, top, right, bottom, lock.Width, lock.Height, Width(), Height()))
        back.Changed(y, y + (bottom - top));
    back.Unlock();
    return true;
}

void TARGB8888::BitBltTo(IDeviceContext* dc) const {
    if (!dc || !Active || Width() == 0 || Height() == 0) return;
    dc->BitBlt(0, 0, Width(), Height(), ScanLine(0), Width());
    dc->Flush();
}
