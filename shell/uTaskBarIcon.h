// The notification-area icon of the main window, with its four display modes and the poll that
// notices the window being minimised and restored.
//
// | Mode | Restored, and when the mode is set   | Minimised                             |
// |------|--------------------------------------|---------------------------------------|
// | 0    | taskbar button shown, icon removed   | icon removed                          |
// | 1    | taskbar button shown, icon added     | icon added                            |
// | 2    | taskbar button shown, icon added     | icon added, taskbar button hidden     |
// | 3    | taskbar button shown, icon removed   | icon added, taskbar button hidden     |
//
// The taskbar button goes only while the desktop confirms the icon (ITrayIcon::Confirmed): with
// no notification area, or when it goes away, the button stays or comes back, so that the window
// can always be reached. Everything here runs on the main thread: the poll timer and the icon's
// events are served by Idle, which the main loop calls on every idle call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/TrayIcon.h"

class IClock;

// A pop-up menu: its items' captions (Shift-JIS) and what each does when chosen.
struct TPopupMenu {
    struct TItem {
        std::string Caption;
        std::function<void()> OnClick;
    };
    std::vector<TItem> Items;
};

// The tray icon as the main window sees it.
class ITaskTray {
public:
    virtual ~ITaskTray() = default;
    virtual void SetMode(int32_t mode) = 0;
    // The poll timer's and the icon's turn.
    virtual void Idle() {}

    // Set by the main window right after creation.
    const TPopupMenu* PopupMenu = nullptr;  // not owned
    // Called with true when the application has just been minimised, with false when it has just
    // been restored.
    std::function<void(bool minimized)> OnMinimize;
    // The application's icon, shown in the notification area.
    TTrayPicture Icon;
};

class TTaskTray final : public ITaskTray {
public:
    static constexpr int64_t kPollInterval = 500;  // ms
    // The tip holds the application's title up to this many bytes, cut on a character boundary.
    static constexpr size_t kTipLength = 63;

    // The icon stands in for the owner's taskbar button. Without the timer nothing is polled; with
    // it the polls are timed on the clock. The tip shows the title as it is when the icon goes up.
    TTaskTray(ITaskbarWindow& owner, std::unique_ptr<ITrayIcon> icon, bool withTimer, IClock& clock,
              const std::string& title);
    // Destroy: the timer stops and the icon is removed.
    ~TTaskTray() override;
    TTaskTray(const TTaskTray&) = delete;
    TTaskTray& operator=(const TTaskTray&) = delete;

    // Stores a new mode of 0..3 and performs its "restored" column; the same mode again, or any
    // other value, changes nothing.
    void SetMode(int32_t mode) override;
    void Idle() override;

    void AddIcon();
    void RemoveIcon();
    void HideTaskbarButton();
    void ShowTaskbarButton();
    // Performs the current mode's column when the window's minimised state changed since the last
    // poll, after telling OnMinimize.
    void Poll();

    // What the icon reports (the hidden window's messages).
    void IconClicked();  // shows the taskbar button and restores the application
    void MenuChosen(size_t item);
    void AreaCreated();  // an icon that was up is put up again

    // The application's title as the tip shows it (Shift-JIS).
    static std::string TipOf(const std::string& title);

    bool WasMinimized = true;
    bool IconShown = false;
    bool Polling = false;
    uint8_t Mode = 0;
    bool TimerEnabled = false;
    // Whether the taskbar button is wanted; HideTaskbarButton clears it.
    bool ShowMainForm = true;
    // Whether the button is hidden now: only while it is not wanted and the icon is confirmed.
    bool ButtonHidden = false;

private:
    void PerformColumn(bool minimized);
    // Hides or shows the button as ShowMainForm and the icon's confirmation say now.
    void FollowIcon();

    ITaskbarWindow& Owner;
    IClock& Clock;
    const std::string& Title;
    std::unique_ptr<ITrayIcon> TrayIcon;
    int64_t NextPoll = 0;
};
