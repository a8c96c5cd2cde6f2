// The notification-area icon on the session D-Bus, as the desktop's status-notifier protocol has
// it: an item object with its properties and methods, a menu object beside it, and a registration
// with the desktop's watcher, which confirms that the icon is shown. Served by sd-bus, without a
// thread: Dispatch, called from the main loop, handles what arrived and never waits.
//
// Without a session bus the icon stays unconfirmed and nothing is ever shown. Without a watcher it
// waits for one: when a watcher comes (back), an icon that is up is offered to it again. While no
// watcher has accepted the icon it is not confirmed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/TrayIcon.h"

class TStatusNotifierIcon final : public ITrayIcon {
public:
    // id names the icon to the desktop (the program's name). Connects to the session bus that
    // DBUS_SESSION_BUS_ADDRESS names, or the user's.
    explicit TStatusNotifierIcon(const std::string& id);
    ~TStatusNotifierIcon() override;
    TStatusNotifierIcon(const TStatusNotifierIcon&) = delete;
    TStatusNotifierIcon& operator=(const TStatusNotifierIcon&) = delete;

    void Add(const std::string& tip, const TTrayPicture& picture, const std::vector<std::string>& menu) override;
    void Remove() override;
    bool Confirmed() const override;
    void Dispatch() override;

    // Whether a session bus was reached.
    bool Connected() const;
    // The bus name under which the item is offered while it is up; empty while it is not.
    std::string ServiceName() const;

    struct TState;

private:
    std::unique_ptr<TState> State;
};
