#include "platform/sdl/SdlClipboard.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <cstring>
#include <string_view>

#include "platform/Encoding.h"

namespace {

Display* Dpy(void* connection) {
    return static_cast<Display*>(connection);
}

// SDL's own connection to the X server; null on another video driver.
Display* SdlDisplay(SDL_Window* window) {
    if (!window) return nullptr;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
    return info.info.x11.display;
}

bool IsImageType(std::string_view name) {
    return name.rfind("image/", 0) == 0 || name == "PIXMAP" || name == "BITMAP";
}

}  // namespace

TSdlClipboard::TSdlClipboard(SDL_Window* window, TPictureWriter pictureWriter)
    : Window(window), PictureWriter(std::move(pictureWriter)) {}

bool TSdlClipboard::Connect() {
    if (Tried) return Connection != nullptr;
    Tried = true;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || std::strcmp(driver, "x11") != 0) return false;
    Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    Connection = d;
    Requestor = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    return true;
}

TSdlClipboard::~TSdlClipboard() {
    if (!Connection) return;
    XDestroyWindow(Dpy(Connection), Requestor);
    XCloseDisplay(Dpy(Connection));
}

unsigned long TSdlClipboard::CurrentOwner() {
    Display* d = Dpy(Connection);
    return XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False));
}

void TSdlClipboard::SetText(const std::string& sjis) {
    SDL_SetClipboardText(Encoding::SjisToUtf8(sjis).c_str());
    if (!Connect()) return;
    // SDL's request to take the clipboard reaches the server before the owner is read back.
    if (Display* sdl = SdlDisplay(Window)) XSync(sdl, False);
    TextOwner = CurrentOwner();
    if (TextOwner == PictureOwner) PictureOwner = 0;
}

TSdlClipboard::TOwner TSdlClipboard::Owner() {
    if (!Connect()) return TOwner::Other;
    const unsigned long owner = CurrentOwner();
    if (owner == None) return TOwner::Nobody;
    if (owner == TextOwner) return TOwner::OurText;
    if (owner == PictureOwner) return TOwner::OurPicture;
    return TOwner::Other;
}

std::string TSdlClipboard::Text() {
    const TOwner owner = Owner();
    if (owner == TOwner::Nobody || owner == TOwner::OurPicture) return {};
    char* text = SDL_GetClipboardText();
    std::string out = text ? Encoding::Utf8ToSjis(text) : std::string();
    SDL_free(text);
    return out;
}

bool TSdlClipboard::HasText() {
    const TOwner owner = Owner();
    if (owner == TOwner::Nobody || owner == TOwner::OurPicture) return false;
    return SDL_HasClipboardText() == SDL_TRUE;
}

bool TSdlClipboard::HasPicture() {
    switch (Owner()) {
        case TOwner::OurPicture:
            return true;
        case TOwner::Other:
            return Connection && OwnerOffersImage();
        default:
            return false;
    }
}

bool TSdlClipboard::OwnerOffersImage() {
    Display* d = Dpy(Connection);
    const Atom clipboard = XInternAtom(d, "CLIPBOARD", False);
    const Atom targets = XInternAtom(d, "TARGETS", False);
    const Atom property = XInternAtom(d, "KEL_CLIPBOARD_TARGETS", False);
    XConvertSelection(d, clipboard, targets, property, Requestor, CurrentTime);
    XFlush(d);

    bool answered = false;
    Atom answer = None;
    const uint32_t start = SDL_GetTicks();
    while (!answered) {
        while (!answered && XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type == SelectionNotify && event.xselection.requestor == Requestor) {
                answered = true;
                answer = event.xselection.property;
            }
        }
        const uint32_t waited = SDL_GetTicks() - start;
        if (answered || waited >= static_cast<uint32_t>(kAnswerMs)) break;
        pollfd fd{ConnectionNumber(d), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(static_cast<uint32_t>(kAnswerMs) - waited));
    }
    if (!answered || answer == None) return false;

    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool image = false;
    if (XGetWindowProperty(d, Requestor, property, 0, 4096, True, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !image; ++i) {
            if (char* name = XGetAtomName(d, atoms[i])) {
                image = IsImageType(name);
                XFree(name);
            }
        }
    }
    if (data) XFree(data);
    return image;
}

bool TSdlClipboard::SetPicture(const uint32_t* pixels, int32_t width, int32_t height) {
    if (!PictureWriter || !pixels || width <= 0 || height <= 0) return false;
    if (!PictureWriter(pixels, width, height)) return false;
    if (Connect()) {
        PictureOwner = CurrentOwner();
        if (PictureOwner == TextOwner) TextOwner = 0;
    }
    return true;
}
