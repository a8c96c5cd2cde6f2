// The picture cache: pictures decoded from ".bmp", ".jpg", ".png" or ".argb" items, shared by
// name among the animations that embed them. An item with any other extension gives an empty
// picture; one that cannot be decoded gives nothing.
#pragma once

#include <memory>

#include "media/ARGB8888Lib.h"
#include "media/uCache.h"

class TARGB8888Manager : public TCache<TARGB8888> {
public:
    using TCache::TCache;
    TCacheHandle<TARGB8888> GetImage(TStream& stream, int32_t size, const std::string& name) {
        return Acquire(stream, size, name);
    }
    // Where a JPEG the decoder refuses is told of: the main window's message forms while it lives.
    TDialogHost Notices;
    // Loads of memory pictures so far: each load is cached under a name with the next number, so
    // that no picture of an earlier load is taken for it.
    uint32_t MemoryLoads = 0;

protected:
    std::unique_ptr<TARGB8888> LoadData(TStream& stream, int32_t size, const std::string& name) override;
    int64_t DataSize(const TARGB8888& picture) const override;
};
