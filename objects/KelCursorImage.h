// The interpreter's two cursor images: the wait cursor, whose motion follows what the script is
// waiting for, and the system cursor, which plays the motions the engine core leaves after saves
// and loads. Each is a plain image drawn over the interpreter's objects, at its own position and
// without the camera's offset, into the interpreter's compositor. Scripts reach them through the
// kinds "csr" and "scsr".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "objects/ImageLib.h"
#include "script/KelScriptSeams.h"

class TKelScript;

class TKelCursorImage final : public IScriptCursorImage {
public:
    // Draws into the compositor the interpreter has when drawing, and plays its sounds through the
    // interpreter's sound library.
    explicit TKelCursorImage(TKelScript& script);

    void Clear() override { Picture->Clear(); }
    void Draw(uint32_t mask) override;
    void Update(uint32_t mask, int32_t elapsed) override { Picture->Update(mask, elapsed); }
    bool HasMotion(const std::string& name) override { return Picture->MotionIndexOf(name) >= 0; }
    void SetMotion(const std::string& name, bool force) override { Picture->SetMotion(name, force); }

    TImageLib& Image() const { return *Picture; }

private:
    TKelScript& Script;
    ImageLib::TPtr<TImageLib> Picture;
};

namespace KelCursorImage {

// Makes every interpreter set up with the registry own its two cursor images.
void Register(TObjectKindRegistry& registry);

}  // namespace KelCursorImage
