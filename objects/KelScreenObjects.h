// Screen objects as the scripts reach them. A script object of an image kind holds one
// TKelScreenObjectLink, which owns the engine object (a TImageLib or a class derived from it) and
// hands the interpreter's calls on to it; message windows and buttons take the same link with
// their own interface and add what that interface asks for.
//
// Register makes declaring "img" and "simg" objects in a script create real images, "msg"
// objects real message windows, "btn" and "sbtn" objects real buttons and "bar" objects real
// scroll bars. An interpreter's images play
// their animations' sounds through the sound library it is linked to; without one they are
// silent. Its message windows play their voices on that library's streams, hand finished messages
// to its back-log and type at the configuration's "MessageSpeed".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "objects/ButtonLib.h"
#include "objects/ImageLib.h"
#include "objects/MessageLib.h"
#include "objects/ScrollBarLib.h"
#include "script/KelObjectSeams.h"
#include "script/KelScriptSeams.h"

class TKelScript;

namespace KelScreenObjects {

// What the information texts and key navigation read of an image.
TKelScreenObjectInfo InfoOf(const TImageLib& image);
// The sound of an interpreter's images: its sound library's, none without one.
IAnimationSound* AnimationSoundOf(TKelScript& script);
// Links an object made for an interpreter to that interpreter's game: its picture caches and random
// state, and for message windows and buttons also its error log, fonts, settings and the auto
// mode's wait.
void LinkToGame(TImageLib& image, TKelScript& script);
void LinkToGame(TImageScrollBar& bar, TKelScript& script);
void LinkToGame(TMessageLib& window, TKelScript& script);
// Makers for the keywords "img", "simg", "msg", "btn", "sbtn" and "bar".
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

// A script object's scroll bar, owned.
class TKelScrollBarLink final : public IKelScrollBarObject {
public:
    explicit TKelScrollBarLink(std::unique_ptr<TImageScrollBar> bar) : Bar(std::move(bar)) {}

    void Clear() override { Bar->Clear(); }
    void Update(uint32_t mask, int32_t elapsed) override { Bar->Update(mask, elapsed); }
    void Draw(TARGB8888CellDraw* target, uint32_t mask, int32_t dx, int32_t dy) override {
        Bar->Draw(target, mask, dx, dy);
    }
    bool SaveToStream(TStream& s) override { return Bar->SaveToStream(&s); }
    bool LoadFromStream(TStream& s) override { return Bar->LoadFromStream(&s); }
    void RestoreState() override { Bar->RestoreState(); }
    void CaptureState() override { Bar->CaptureState(); }
    int32_t Z() const override { return Bar->Record.Z; }
    // The bar's place and files; the alpha is the track's.
    TKelScreenObjectInfo Info() const override;
    void MouseMove(uint32_t mask, uint32_t shift, int32_t x, int32_t y) override { Bar->MouseMove(mask, shift, x, y); }
    void MouseDown(uint32_t mask, int32_t x, int32_t y) override { Bar->MouseDown(mask, x, y); }

    TImageScrollBar& Object() const { return *Bar; }

private:
    std::unique_ptr<TImageScrollBar> Bar;
};

// A script's message window: the frame step asks it whether a page waits or text is still typing.
class TMessageLink final : public TKelScreenObjectLink<TMessageLib, IKelMessageObject>, public IKelMessageProgress {
public:
    using TKelScreenObjectLink::TKelScreenObjectLink;
    void Advance(uint32_t mask) override { Image->Advance(mask); }
    bool PageFull() const override { return Image->GetState() == TMessageState::PageFull; }
    bool Typing() const override { return Image->GetState() == TMessageState::Printing; }
};

// A script's button: clicked by the object manager's hit test, locked and checked by the frame
// step's system buttons.
class TButtonLink final : public TKelScreenObjectLink<TButtonLib, IKelButtonObject>, public IKelButtonState {
public:
    using TKelScreenObjectLink::TKelScreenObjectLink;
    bool Click(uint32_t mask, int32_t x, int32_t y) override { return Image->Click(mask, x, y); }
    void SetLocked(bool locked) override { Image->SetLocked(locked); }
    void SetChecked(bool checked) override { Image->SetChecked(checked); }
    bool Checked() const override { return Image->IsChecked(); }
};
