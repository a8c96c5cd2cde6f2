// The thread record of save games over arbitrary bytes: a load either fails or yields a thread
// that saves to a record which loads again and saves to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz/FuzzSupport.h"
#include "script/KelScriptState.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzSupport::TFuzzContext context;
    TMemoryStream input(std::string_view(reinterpret_cast<const char*>(data), size));
    TScriptThread thread;
    thread.Log = &context.Log;
    if (thread.LoadFromStream(&input)) {
        TMemoryStream saved;
        if (!thread.SaveToStream(&saved)) std::abort();
        saved.SetPosition(0);
        TScriptThread back;
        back.Log = &context.Log;
        if (!back.LoadFromStream(&saved) || saved.Remaining() != 0) std::abort();
        TMemoryStream again;
        back.SaveToStream(&again);
        if (again.AsString() != saved.AsString()) std::abort();
    }
    return 0;
}
