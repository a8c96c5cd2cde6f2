// The desktop's clipboard through SDL. SDL carries text only (UTF-8); what else the clipboard
// offers is asked of the X server: the clipboard's owner lists its types ("TARGETS"), and an
// image type among them means a picture. A picture is put on the clipboard by whoever can (the
// program hands the toolkit's writer in); without one SetPicture changes nothing.
//
// Asking the owner for its types waits for its answer, and a program cannot answer itself while it
// waits: so what this program put on the clipboard itself is remembered, together with the X
// window that took the clipboard for it, and only another owner is asked. Without an X server
// (another video driver) no picture is ever reported.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/Clipboard.h"

class TSdlClipboard final : public IClipboard {
public:
    // Puts a picture on the desktop's clipboard; true when it is there. The writer's connection to
    // the X server must have delivered the change when it returns (an XSync), so that the new
    // owner can be read back.
    using TPictureWriter = std::function<bool(const uint32_t* pixels, int32_t width, int32_t height)>;

    // The window is the program's; its connection to the X server is the one SDL puts text with.
    explicit TSdlClipboard(SDL_Window* window, TPictureWriter pictureWriter = nullptr);
    ~TSdlClipboard() override;
    TSdlClipboard(const TSdlClipboard&) = delete;
    TSdlClipboard& operator=(const TSdlClipboard&) = delete;

    void SetText(const std::string& sjis) override;
    std::string Text() override;
    bool HasText() override;
    bool HasPicture() override;
    bool SetPicture(const uint32_t* pixels, int32_t width, int32_t height) override;

    // How long another owner may take to list its types.
    static constexpr int kAnswerMs = 500;

private:
    enum class TOwner : uint8_t { Nobody, OurText, OurPicture, Other };
    TOwner Owner();
    // The owner's types include an image type; false when it does not answer in time.
    bool OwnerOffersImage();
    unsigned long CurrentOwner();

    SDL_Window* Window;
    TPictureWriter PictureWriter;
    // Opens the connection below on first use (it costs the start-up a round trip to the server);
    // false without an X server.
    bool Connect();

    // A connection of our own for asking the server, with a window that receives the answers; null
    // without an X server or before the clipboard is first used.
    bool Tried = false;
    void* Connection = nullptr;  // Display*
    unsigned long Requestor = 0;
    unsigned long TextOwner = 0, PictureOwner = 0;
};
