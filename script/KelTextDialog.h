// The settings of the script's text-input dialog: what the form shows (title, prompt, the text it
// starts with) and the byte limit it enforces, and the text it gives back. The interpreter owns
// one; the "dlg" words set it up and show it, and save games carry it.
//
// Record in a save game, no header: title, prompt and text as stream strings (16-bit length, then
// the bytes), then the byte limit as a little-endian i32.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ClassLib.h"

class IDialogOwner;
class IScriptForms;

class TKelTextDialog {
public:
    explicit TKelTextDialog(const IDialogOwner* owner = nullptr, IScriptForms* forms = nullptr)
        : Owner(owner), Forms(forms) {
        Reset();
    }

    // Title, prompt and limit back to their start values; the text empty.
    void Reset();
    void SetTitle(const std::string& title) { Title = title; }
    void SetPrompt(const std::string& prompt) { Prompt = prompt; }
    void SetText(const std::string& text) { Text = text; }
    void SetMaxLength(int32_t maxLength) { MaxLength = maxLength; }  // stored unchecked; -1: no limit

    // Shows the form modally; Text then holds what the edit box held, however the form closed.
    // True when the player confirmed a text that passed the form's checks; false, Text unchanged,
    // without forms to show it on.
    bool Execute();

    // Nothing for a nil stream. Loading keeps a field whose bytes ran short as it was read so far;
    // the result says whether the whole record was there.
    void SaveToStream(TStream* stream) const;
    bool LoadFromStream(TStream* stream);

    const IDialogOwner* Owner = nullptr;
    IScriptForms* Forms = nullptr;  // linked: the host's forms
    std::string Title;
    std::string Prompt;
    int32_t MaxLength = -1;
    std::string Text;
};
