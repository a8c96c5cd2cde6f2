// The notification-area icon behind one small interface, and the window it stands in for.
//
// A backend puts one icon up with a tip and a menu, tells when the desktop has confirmed that the
// icon is shown, and reports the icon's clicks and the notification area coming back after it was
// gone. The D-Bus backend (platform/dbus/StatusNotifierIcon) is the real one; the null one below
// serves where there is no session bus: it never confirms an icon, so a window's taskbar button
// is never taken away for an icon nobody sees.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A picture for the icon: 0xAARRGGBB row by row from the top; empty for none.
struct TTrayPicture {
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;
};

class ITrayIcon {
public:
    virtual ~ITrayIcon() = default;
    // Puts the icon up with a tip and the captions of its menu's items (Shift-JIS); when it is up
    // already, offers it to the notification area again.
    virtual void Add(const std::string& tip, const TTrayPicture& picture, const std::vector<std::string>& menu) = 0;
    virtual void Remove() = 0;
    // Whether the desktop has confirmed that the icon is shown now.
    virtual bool Confirmed() const = 0;
    // Handles whatever the desktop sent since the last call, without waiting; the events below are
    // called from here.
    virtual void Dispatch() = 0;

    std::function<void()> OnActivate;         // the icon was clicked
    std::function<void(size_t item)> OnMenu;  // an item of its menu was chosen
    std::function<void()> OnAreaCreated;      // the notification area came (back)
};

class TNullTrayIcon final : public ITrayIcon {
public:
    void Add(const std::string&, const TTrayPicture&, const std::vector<std::string>&) override {}
    void Remove() override {}
    bool Confirmed() const override { return false; }
    void Dispatch() override {}
};

// The window whose taskbar button the icon can stand in for.
class ITaskbarWindow {
public:
    virtual ~ITaskbarWindow() = default;
    // Whether the window is minimised.
    virtual bool Iconic() = 0;
    // Shows or hides the window's button in the taskbar; the window itself stays as it is.
    virtual void SetTaskbarButton(bool shown) = 0;
    // Brings the window back from being minimised and makes it active.
    virtual void Restore() = 0;
};
