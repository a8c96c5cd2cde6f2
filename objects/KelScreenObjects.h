// Screen objects as the scripts reach them. A script object of an image kind holds one
// TKelScreenObjectLink, which owns the engine object (a TImageLib or a class derived from it) and
// hands the interpreter's calls on to it; message windows and buttons take the same link with
// their own interface and add what that interface asks for.
//
// Register makes declaring "img" and "simg" objects in a script create real images, and "msg"
// objects real message windows. An interpreter's images play their animations' sounds through the
// sound library it is linked to; without one they are silent. Its message windows play their
// voices on that library's streams, hand finished messages to its back-log and type at the
// configuration's "MessageSpeed".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "objects/ImageLib.h"
#include "objects/MessageLib.h"
#include "script/KelObjectSeams.h"
#include "script/KelScriptSeams.h"

class TKelScript;

namespace KelScreenObjects {

// What the information texts and key navigation read of an image.
TKelScreenObjectInfo InfoOf(const TImageLib& image);
// The sound of an interpreter's images: its sound library's, none without one.
IAnimationSound* AnimationSoundOf(TKelScript& script);
// Makers for the keywords "img", "simg" and "msg".
void Register(TObjectKindRegistry& registry);

}  // namespace KelScreenObjects

template <typename TImage, typename TInterface = IKelScreenObject>
class TKelScreenObjectLink : public TInterface, public IKelUserData {
public:
    explicit TKelScreenObjectLink(ImageLib::TPtr<TImage> image) : Image(std::move(image)) {}

    void Clear() override { Image->Clear(); }
    void Update(uint32_t mask, int32_t elapsed) override { Image->Update(mask, elapsed); }
    void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) override {
        Image->Draw(target, mask, dx, dy);
    }
    bool SaveToStream(TStream& s) override { return Image->SaveToStream(&s); }
    bool LoadFromStream(TStream& s) override { return Image->LoadFromStream(&s); }
    void RestoreState() override { Image->RestoreState(); }
    void CaptureState() override { Image->CaptureState(); }
    int32_t Z() const override { return Image->Record.Z; }
    TKelScreenObjectInfo Info() const override { return KelScreenObjects::InfoOf(*Image); }
    void MouseMove(uint32_t mask, int32_t x, int32_t y) override { Image->MouseMove(mask, x, y); }

    int32_t UserInt(int32_t index) const override { return Image->UserInt(index); }
    std::string UserString(int32_t index) const override { return Image->UserString(index); }

    TImage& Object() const { return *Image; }

protected:
    ImageLib::TPtr<TImage> Image;
};

// A script's message window: the frame step asks it whether a page waits or text is still typing.
class TMessageLink final : public TKelScreenObjectLink<TMessageLib, IKelMessageObject>, public IKelMessageProgress {
public:
    using TKelScreenObjectLink::TKelScreenObjectLink;
    void Advance(uint32_t mask) override { Image->Advance(mask); }
    bool PageFull() const override { return Image->GetState() == TMessageState::PageFull; }
    bool Typing() const override { return Image->GetState() == TMessageState::Printing; }
};
