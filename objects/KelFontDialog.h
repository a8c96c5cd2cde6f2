// The engine's side of the font settings form: it edits one of the 8 font slots of the live
// configuration while the form is open, applies every change to the game's fonts at once
// (through the configuration's font hooks), and draws the preview with the engine's own text
// drawing, so that the slot looks exactly as the game's text will. The form itself
// (platform/ScriptForms.h) shows State and Preview and reports the player's changes here.
//
// Preview: a 396 x 51 grey picture (0xFF888888) with a black one-pixel frame. The preview text is
// cut into byte pairs, one pair a cell of CharWidth pixels from x = 10, the cells shading from
// black (first) to white (last) in equal steps; a text of one pair draws it black. The text is
// drawn at CharWidth x CharHeight with the slot's font, centred vertically.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ScriptForms.h"

class TErrorLog;
class TFontTable;  // media/ARGB8888Font.h
class TSystemConfig;
class TPackSet;  // foundation/PackLib.h

class TKelFontDialog final : public IFontFormModel {
public:
    // The form as created over the game's configuration: slot 0, the start preview, its face list
    // filled, the fonts applied (their glyph files read through the pack set). A glyph file that
    // cannot be loaded is named in the log, when one is given. The preview draws with the fonts
    // given, the game's, which the configuration's hooks reach; without them it shows no text.
    TKelFontDialog(TSystemConfig& config, const TPackSet& packs, TErrorLog* log = nullptr, TFontTable* fonts = nullptr);

    // Chooses the slot to edit and the preview, keeping what is not given: a slot outside 0..7,
    // an empty text and sizes that are not positive leave the values as they are. Remembers the
    // slot's settings for Cancel.
    void Setup(int32_t slot, const std::string& previewText, int32_t charWidth, int32_t charHeight);

    std::vector<std::string> FaceNames() override;
    TFontFormState State() override { return Controls; }
    void ControlsChanged(const TFontFormState& controls) override;
    uint32_t StyleColorForDialog() override;
    void StyleColorChosen(uint32_t toolkitColor) override;
    void Cancel() override;
    std::vector<uint32_t> Preview() override;

    // The game's fonts follow the configuration.
    void ApplyFonts();

    std::string PreviewText;
    int32_t CharWidth = 32;
    int32_t CharHeight = 32;
    bool Updating = false;  // set while the form fills its own controls: changes are ignored
    int32_t Slot = 0;
    std::string SavedName;
    int32_t SavedStyle = 0;
    int32_t SavedStyleColor = 0;
    int32_t SavedAA = 0;
    TErrorLog* Log = nullptr;
    TFontTable* Fonts = nullptr;
    TSystemConfig& Config;

private:
    const TPackSet& Packs;
    // The controls filled from the slot's settings; the face stays selected as it was when the
    // slot's name is not in the list.
    void Refresh();
    TFontFormState Controls;
};
