// The screen compositor of an interpreter. Every screen object records its draws into its frame
// compositor (the cell draw); this unit adds what lies between the scene and the screen: the
// background colour, frame blending, and the screen transitions with their two pictures (the held
// picture a transition brings in or takes away, and the finished frame of a transition over the
// whole screen). It renders the frame, presents it through the display component, writes
// screenshots, and saves and loads its state with JPEG copies of the held picture and the last
// frame.
//
// A transition on layer 65535 covers the whole screen and is worked out over the finished frame;
// on any other layer it is one more command of the scene on that layer, so that what lies above
// it stays untouched.
//
// An animation transition plays a ".b" file at (0, 0) on layer 65500, over the scene and below
// nothing but the top layers; its first embedded picture becomes a copy of the held picture, so
// that the animation can take the frozen scene apart.
//
// Saved state, in this order: the record (2209 bytes, little-endian; layout in TKelGraphicRecord),
// the saved state of the transition image (a screen object's, see TImageLib), then the captures
// the record's flags announce, each a stream string with the name ("Capture.jpg", then
// "Buffer.jpg"), a 32-bit byte count and that many bytes of JPEG at quality 90. A running
// animation transition goes on from where it was saved.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/ARGB8888CellDrawLib.h"
#include "media/ARGB8888Lib.h"
#include "objects/ImageLib.h"
#include "platform/ClassLib.h"
#include "script/KelScriptSeams.h"

class IAnimationSound;
class TCamera;
class TDDDD7;
class TKelScript;

enum TTransitionKind : uint8_t {
    tkNone = 0,
    tkFreeze = 1,     // the held picture stays on screen until the transition is ended
    tkFadeIn = 2,     // the held picture fades away and uncovers the scene
    tkFadeOut = 3,    // the scene fades into the held picture, which then stays (freeze)
    tkRuleIn = 4,     // a wipe through the rule picture from the held picture to the scene
    tkRuleOut = 5,    // a wipe from the scene to the held picture, which then stays
    tkColorFade = 8,  // a colour laid over the scene, moving from one colour to another
    tkAnimIn = 9,     // an animation plays over the scene until it has finished
};

// The layer that stands for the whole screen.
constexpr int32_t kWholeScreenLayer = 65535;

// The saved record.
//   0    4     background colour 0xAARRGGBB, alpha always 255
//   4    1     frame blend, 0 or 1
//   5    128   transition file (rule picture or animation), short string of 127
//   133  1     transition kind
//   134  4     elapsed ms          138  4   duration ms
//   142  4     colour fade: target colour
//   146  4     colour fade: start colour
//   150  1     colour fade: blend mode 0..6, standing for modes 2..8
//   151  1     effect-sound channel of the transition animation
//   152  1     streamed-sound channel of the transition animation
//   153  4     transition layer
//   157  1     "Capture.jpg" follows        158  1   "Buffer.jpg" follows
//   159  2     two more flags, always 0
//   161  2048  reserved
struct TKelGraphicRecord {
    static constexpr int32_t kSize = 2209;

    uint32_t BackColor = 0;
    uint8_t FrameBlend = 0;
    std::string TransitionFile;
    uint8_t Kind = tkNone;
    int32_t Elapsed = 0;
    int32_t Duration = 0;
    uint32_t FadeTarget = 0;
    uint32_t FadeStart = 0;
    uint8_t FadeMode = 0;
    uint8_t EffectChannel = 0;
    uint8_t SoundChannel = 0;
    int32_t Layer = 0;
    uint8_t Flags[4] = {};
    uint8_t Reserved[2048] = {};

    void Write(TStream& s) const;
    bool Read(TStream& s);  // false, nothing changed, when fewer than kSize bytes remain
};

class TKelGraphic final : public IScriptCompositor {
public:
    // A cell draw of 800 x 600, full redraw set; the record stays zero until Clear. The transition
    // animation plays its sounds through the sound library given (none: silent).
    explicit TKelGraphic(const TPackSet& packs, IAnimationSound* sound = nullptr);
    ~TKelGraphic() override;
    TKelGraphic(const TKelGraphic&) = delete;
    TKelGraphic& operator=(const TKelGraphic&) = delete;

    // A new size recreates the cell draw's frame and both pictures (their pixels are lost).
    void SetSize(int32_t width, int32_t height);
    // The record zeroed and the transition ended, no commands left, an opaque black background.
    void Clear() override;
    void InvalidateAll() override;
    void SetBackColor(uint32_t color) { Record.BackColor = color | 0xFF000000u; }
    void SetFrameBlend(bool on) { Record.FrameBlend = on ? 1 : 0; }

    // Holds the scene below the layer (65535: all of it) as a picture on screen. Nothing happens
    // while the screen is frozen already.
    void Freeze(int32_t layer);
    void FadeIn(int32_t ms, int32_t layer);
    void FadeOut(int32_t ms, int32_t layer);
    void RuleIn(int32_t ms, int32_t layer, const std::string& file);
    void RuleOut(int32_t ms, int32_t layer, const std::string& file);
    // From the target colour of the previous colour fade to this one; mode 0..6 blends as modes
    // 2..8. A fade to a colour of alpha 0 ends by itself, any other colour stays over the scene.
    void ColorFade(int32_t ms, int32_t layer, uint32_t color, uint8_t mode);
    // An animation (".b" file) played over the scene at a speed that makes its length last ms;
    // any other file starts nothing. An animation that cannot be loaded ends at the next update.
    void AnimIn(int32_t ms, int32_t layer, const std::string& file);
    // No file fades, a ".b" file plays an animation, any other file is a rule picture.
    void TransitionIn(int32_t ms, int32_t layer, const std::string& file);
    // No file fades and any file but a ".b" file wipes; there is no animation going out, so a
    // ".b" file starts nothing and leaves the transition as it was.
    void TransitionOut(int32_t ms, int32_t layer, const std::string& file);
    // Shows the scene again: what was on screen becomes the cell draw's frame, every band is drawn
    // again, and both pictures are opaque black.
    void EndTransition();
    void StopTransition() { EndTransition(); }
    void SetAnimEffectChannel(uint8_t channel) { Record.EffectChannel = channel; }
    void SetAnimSoundChannel(uint8_t channel) { Record.SoundChannel = channel; }
    // The rule picture's blue bytes become the alpha of the held picture; a file that cannot be
    // had or read changes nothing (false).
    bool LoadRuleImage(const std::string& file);

    void UpdateTransition(int32_t elapsed) override;
    // Records the transition and frame blend, renders the cell draw and finishes a transition over
    // the whole screen.
    bool Render(int32_t interlace, int32_t maxLayer) override;
    // What the screen shows: the finished frame of a running transition over the whole screen,
    // else the cell draw's frame.
    TARGB8888* GetScreenSurface();
    // Into the display's back buffer, then a flip: the whole transition frame, or the cell draw's
    // changed bands (all of them with full, or after a change of transition).
    void Present(TDDDD7* display, bool full, bool interlace);
    // What the screen shows, opaque, as a BMP picture.
    bool SaveScreenshot(TStream& stream);
    // False, with nothing written, when a capture cannot be encoded.
    bool SaveToStream(TStream& stream);
    // False when the stream is damaged or too short; the reason stays in Error() and the
    // compositor is left cleared.
    bool LoadFromStream(TStream& stream);
    void Nop() {}

    TARGB8888CellDraw* CellDraw() override { return Cells.get(); }
    uint32_t BackgroundColor() override { return Record.BackColor & 0xFFFFFF; }
    TTransitionKind Kind() const { return static_cast<TTransitionKind>(Record.Kind); }
    int32_t Width() const { return ScreenWidth; }
    int32_t Height() const { return ScreenHeight; }
    // The opacity step of the running transition: elapsed x 255 div duration, 0..255; 255 for a
    // transition of no duration.
    int32_t Step() const;

    // Draws the whole scene into the cell draw and renders it: (interlace, overlays, maximum
    // layer). The interpreter sets it to its Draw.
    std::function<bool(int32_t interlace, bool overlays, int32_t maxLayer)> OnDraw;

    TKelGraphicRecord Record;
    bool FullRedraw = true;
    std::unique_ptr<TARGB8888> HeldPicture;  // the frozen scene, or what a transition brings in
    std::unique_ptr<TARGB8888> WholeFrame;   // the finished frame of a transition over the screen
    // Its Interlace, linked from the media context, is also the field of interlaced whole-screen
    // transitions and presents.
    std::unique_ptr<TARGB8888CellDraw> Cells;
    // The screen object that plays an animation transition; shown only while one runs.
    ImageLib::TPtr<TImageLib> TransitionImage;
    const std::string& Error() const { return ErrorText; }
    std::string ErrorText;

private:
    void SetKind(uint8_t kind);
    void StartTransition(uint8_t kind, int32_t ms, int32_t layer);
    bool IsWholeScreenTransition() const;
    void FinishWholeScreen(int32_t interlace);
    bool ReadCapture(TStream& stream, TARGB8888& into, const char* name);
    void ResetTransitionImage();
    // Loads the file into the transition image, places it and shows it; false when the file
    // cannot be loaded (the image then shows nothing).
    bool LoadTransitionImage(const std::string& file);
    bool TransitionAnimationLoaded() const;
    void GiveHeldPictureToAnimation();

    int32_t ScreenWidth = 800;
    int32_t ScreenHeight = 600;
};

namespace KelGraphicLib {

// The compositor and the camera of an interpreter; nullptr when it has none.
TKelGraphic* GraphicOf(TKelScript& script);
TCamera* CameraOf(TKelScript& script);

// Registers the maker of each interpreter's compositor and camera. The compositor takes the
// configured screen size, draws through the interpreter's Draw and plays the sounds of its
// transition animations through the interpreter's sound library.
void Register(TObjectKindRegistry& registry);

}  // namespace KelGraphicLib
