// What the draws of the image library share: the interlace rule, the kernels in use, and the copy
// of a source that is also the destination.
#pragma once

#include <cstdint>
#include <memory>

#include "media/ARGB8888Kernels.h"
#include "media/ARGB8888Lib.h"

namespace ARGB8888DrawSupport {

// Whether a draw leaves destination row y alone: while the destination is linked to an interlace
// field (its Interlace), only rows of the field's parity are written.
inline bool RowSkipped(const TInterlace* field, int64_t y) {
    return field && field->Skips(y);
}

// A draw reads its source while it writes its destination. When both are the same bitmap the
// source is read from a copy taken first, so that the result does not depend on the order in
// which a kernel visits the pixels.
inline const TBitmap32& Unaliased(const TBitmap32& source, const TBitmap32& dest, std::unique_ptr<TBitmap32>& copy) {
    if (&source != &dest) return source;
    copy = std::make_unique<TBitmap32>(source);
    return *copy;
}

inline ARGB8888Kernels::TKernelSet Kernels() {
    return ARGB8888Kernels::ActiveSet();
}

}  // namespace ARGB8888DrawSupport
