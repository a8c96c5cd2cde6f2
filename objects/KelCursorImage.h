// The images an interpreter keeps for itself beside its script objects: the wait cursor, whose
// motion follows what the script is waiting for, the system cursor, which plays the motions the
// engine core leaves after saves and loads, and the skip indicator. The cursors are plain images
// drawn over the interpreter's objects, at their own positions and without the camera's offset,
// into the interpreter's compositor; scripts reach them through the kinds "csr" and "scsr", and a
// saved game holds the record of each.
//
// The skip indicator is loaded once, when the interpreter is set up, from "System\etc\DebugSkip.b"
// when the packs hold that name, else from "System\SceneSkip\SceneSkip.b". Resets keep it and
// nothing draws it.
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
    // The image's state as a screen object saves it.
    bool SaveToStream(TStream& stream) override { return Picture->SaveToStream(&stream); }
    bool LoadFromStream(TStream& stream) override { return Picture->LoadFromStream(&stream); }

    TImageLib& Image() const { return *Picture; }

private:
    TKelScript& Script;
    ImageLib::TPtr<TImageLib> Picture;
};

namespace KelCursorImage {

extern const char* const kDebugSkipFile;  // "System\etc\DebugSkip.b"
extern const char* const kSceneSkipFile;  // "System\SceneSkip\SceneSkip.b"

// Makes every interpreter set up with the registry own its two cursor images and its skip
// indicator.
void Register(TObjectKindRegistry& registry);

}  // namespace KelCursorImage
