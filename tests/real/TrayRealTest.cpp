// The tray icon on a private session bus under a real X server: a small notification-area watcher
// written here takes the icon's registration; the icon's menu item and a click show the window;
// the four modes put the icon up and take the window's taskbar button away as their table says;
// a watcher that comes back gets the icon again; and without a watcher nothing is hidden.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/dbus/StatusNotifierIcon.h"
#include "platform/sdl/SdlMainWindow.h"
#include "platform/sdl/SdlTaskbar.h"
#include "shell/uTaskBarIcon.h"
#include "tests/real/XServer.h"
#include "tests/support/TestData.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A process of the test's own that ends with the test's process.
pid_t Spawn(const std::vector<std::string>& argv) {
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(1);
        const int quiet = open("/dev/null", O_RDWR);
        dup2(quiet, 1);
        dup2(quiet, 2);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

void Stop(pid_t& pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    pid = 0;
}

// The notification area's watcher, on a thread and a connection of its own. It keeps the items
// registered with it for as long as their bus names are owned.
class TWatcher {
public:
    TWatcher() {
        Thread = std::thread([this] { Run(); });
        std::unique_lock<std::mutex> hold(Lock);
        Changed.wait_for(hold, std::chrono::seconds(5), [this] { return Ready; });
    }
    ~TWatcher() {
        Quit = true;
        Thread.join();
    }
    bool Serving() {
        std::lock_guard<std::mutex> hold(Lock);
        return Owned;
    }
    std::set<std::string> Items() {
        std::lock_guard<std::mutex> hold(Lock);
        return Registered;
    }
    int Registrations() {
        std::lock_guard<std::mutex> hold(Lock);
        return Count;
    }

private:
    static int Register(sd_bus_message* call, void* data, sd_bus_error*) {
        auto* self = static_cast<TWatcher*>(data);
        const char* service = nullptr;
        const int r = sd_bus_message_read(call, "s", &service);
        if (r < 0) return r;
        {
            std::lock_guard<std::mutex> hold(self->Lock);
            self->Registered.insert(service);
            ++self->Count;
        }
        return sd_bus_reply_method_return(call, "");
    }
    static int NameGone(sd_bus_message* signal, void* data, sd_bus_error*) {
        auto* self = static_cast<TWatcher*>(data);
        const char *name = nullptr, *oldOwner = nullptr, *newOwner = nullptr;
        if (sd_bus_message_read(signal, "sss", &name, &oldOwner, &newOwner) >= 0 && newOwner && !*newOwner) {
            std::lock_guard<std::mutex> hold(self->Lock);
            self->Registered.erase(name);
        }
        return 0;
    }
    static int Property(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                        sd_bus_error*) {
        if (std::string(property) == "IsStatusNotifierHostRegistered") return sd_bus_message_append(reply, "b", 1);
        if (std::string(property) == "ProtocolVersion") return sd_bus_message_append(reply, "i", 0);
        return sd_bus_message_append(reply, "as", 0);
    }

    void Run() {
        static const sd_bus_vtable vtable[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", Register, 0),
            SD_BUS_METHOD("RegisterStatusNotifierHost", "s", "", Register, 0),
            SD_BUS_PROPERTY("RegisteredStatusNotifierItems", "as", Property, 0, 0),
            SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", Property, 0, 0),
            SD_BUS_PROPERTY("ProtocolVersion", "i", Property, 0, 0),
            SD_BUS_VTABLE_END,
        };
        sd_bus* bus = nullptr;
        sd_bus_slot *object = nullptr, *match = nullptr;
        bool owned = sd_bus_open_user(&bus) >= 0 &&
                     sd_bus_add_object_vtable(bus, &object, "/StatusNotifierWatcher", "org.kde.StatusNotifierWatcher",
                                              vtable, this) >= 0 &&
                     sd_bus_match_signal(bus, &match, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus", "NameOwnerChanged", NameGone, this) >= 0 &&
                     sd_bus_request_name(bus, "org.kde.StatusNotifierWatcher", 0) >= 0;
        {
            std::lock_guard<std::mutex> hold(Lock);
            Ready = true;
            Owned = owned;
        }
        Changed.notify_all();
        while (owned && !Quit) {
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            sd_bus_wait(bus, 10000);
        }
        sd_bus_slot_unref(match);
        sd_bus_slot_unref(object);
        if (bus) sd_bus_flush_close_unref(bus);
    }

    std::thread Thread;
    std::atomic<bool> Quit{false};
    std::mutex Lock;
    std::condition_variable Changed;
    bool Ready = false, Owned = false;
    std::set<std::string> Registered;
    int Count = 0;
};

// The window's taskbar button as the tray last set it, passed on to the real window.
class TRecordingTaskbar final : public ITaskbarWindow {
public:
    explicit TRecordingTaskbar(SDL_Window* window) : Real(window) {}
    bool Iconic() override { return Real.Iconic(); }
    void SetTaskbarButton(bool shown) override {
        ButtonShown = shown;
        Real.SetTaskbarButton(shown);
    }
    void Restore() override { Real.Restore(); }
    TSdlTaskbarWindow Real;
    bool ButtonShown = true;
};

class TrayRealTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) GTEST_SKIP() << "no X display; run under xvfb-run";
        // The window manager comes first: SDL looks for one once, as its video starts, and without
        // one it moves the keyboard focus itself, which a minimised window refuses.
        if (!XServer::WindowManagerRunning()) {
            Manager = Spawn({"evilwm", "-fn", "fixed"});
            ASSERT_TRUE(Until(std::chrono::seconds(10), [this] {
                if (XServer::WindowManagerRunning()) return true;
                // A manager ends at once while the last test's is still leaving the server: start
                // it again.
                if (waitpid(Manager, nullptr, WNOHANG) == Manager) Manager = Spawn({"evilwm", "-fn", "fixed"});
                return false;
            })) << "evilwm did not come up (tools/setup.sh installs it)";
        }
        {
            TSdlMainWindow probe("probe", 16, 16);
            if (probe.Failed() || !XServer::Available(probe.Handle()))
                GTEST_SKIP() << "no X display could be opened (" << probe.Error() << "); run under xvfb-run";
        }
        Dir = TestData::ScratchDir();
        if (const char* old = std::getenv("DBUS_SESSION_BUS_ADDRESS")) OldBus = old, HadBus = true;
        const std::string address = "unix:path=" + Dir + "/bus";
        Daemon = Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
        ASSERT_GT(Daemon, 0);
        ASSERT_TRUE(Until(std::chrono::seconds(10), [&] { return fs::exists(Dir + "/bus"); }))
            << "dbus-daemon did not come up (tools/setup.sh installs it)";
        setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        Window = std::make_unique<TSdlMainWindow>("tray", 200, 100);
        ASSERT_FALSE(Window->Failed());
        Window->Show();
        Taskbar = std::make_unique<TRecordingTaskbar>(Window->Handle());
        auto icon = std::make_unique<TStatusNotifierIcon>("kel");
        Icon = icon.get();
        ASSERT_TRUE(Icon->Connected());
        // Polled by the test as the states change; the timer is the unit tests' concern.
        Tray = std::make_unique<TTaskTray>(*Taskbar, std::move(icon), false, Clock, Title);
        Menu.Items = {{"表示"_sj, [this] { Window->Restore(); }}};
        Tray->PopupMenu = &Menu;
        Tray->Icon = {2, 1, {0xFFFF0000, 0xFF0000FF}};
        // The window manager frames the window and gives it the keyboard.
        Pump([&] { return (SDL_GetWindowFlags(Window->Handle()) & SDL_WINDOW_INPUT_FOCUS) != 0; });
        Tray->Poll();
    }
    void TearDown() override {
        Tray.reset();
        Watcher.reset();
        Taskbar.reset();
        Window.reset();
        if (HadBus)
            setenv("DBUS_SESSION_BUS_ADDRESS", OldBus.c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        Stop(Manager);
        Stop(Daemon);
    }

    static bool Until(std::chrono::milliseconds within, const std::function<bool()>& done) {
        const auto until = Clock::now() + within;
        while (!done()) {
            if (Clock::now() > until) return false;
            usleep(5000);
        }
        return true;
    }
    // Serves the window and the icon until the condition holds, five seconds at most.
    bool Pump(const std::function<bool()>& done) {
        return Until(std::chrono::seconds(5), [&] {
            Window->PumpEvents();
            Tray->Idle();
            return done();
        });
    }
    // Minimised as the desktop minimises it; restored as the program restores it.
    bool SetMinimized(bool minimized) {
        if (!minimized) Window->Restore();
        // The window manager may still be writing the state of a window it has just framed: the
        // mark is made again until it holds.
        const bool reached = Pump([&] {
            if (minimized && !Taskbar->Iconic()) XServer::MarkMinimized(Window->Handle());
            return Taskbar->Iconic() == minimized;
        });
        Tray->Poll();
        return reached;
    }
    // Whether the watcher holds the icon now, with the desktop's confirmation, after the bus had
    // the time to settle.
    bool IconIs(bool up) {
        return Pump([&] { return Watcher->Items().size() == (up ? 1u : 0u) && Icon->Confirmed() == up; });
    }
    // A call to the icon's objects from another connection, as the desktop would make it. The
    // icon is served meanwhile.
    bool CallIcon(const char* path, const char* interface, const char* member, const char* types, int32_t a,
                  const char* b) {
        const std::string service = Icon->ServiceName();
        auto call = std::async(std::launch::async, [=] {
            sd_bus* bus = nullptr;
            if (sd_bus_open_user(&bus) < 0) return false;
            sd_bus_set_method_call_timeout(bus, 5000000);
            sd_bus_message* reply = nullptr;
            sd_bus_error error = SD_BUS_ERROR_NULL;
            const std::string t = types;
            int r =
                t == "isvu" ? sd_bus_call_method(bus, service.c_str(), path, interface, member, &error, &reply, types,
                                                 a, b, "s", "", 0u)
                : t == "iias"
                    // The whole tree below the item, with every property.
                    ? sd_bus_call_method(bus, service.c_str(), path, interface, member, &error, &reply, types, a, -1, 0)
                    : sd_bus_call_method(bus, service.c_str(), path, interface, member, &error, &reply, types, a, 0);
            if (r >= 0 && std::string(member) == "GetLayout") {
                // The label of the one entry below the root.
                const char* label = nullptr;
                uint32_t revision = 0;
                int32_t id = 0;
                r = sd_bus_message_read(reply, "u", &revision);
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'r', "ia{sv}av") : r;
                r = r >= 0 ? sd_bus_message_read(reply, "i", &id) : r;
                r = r >= 0 ? sd_bus_message_skip(reply, "a{sv}") : r;
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'a', "v") : r;
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'v', "(ia{sv}av)") : r;
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'r', "ia{sv}av") : r;
                r = r >= 0 ? sd_bus_message_read(reply, "i", &id) : r;
                const char* key = nullptr;
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'a', "{sv}") : r;
                r = r >= 0 ? sd_bus_message_enter_container(reply, 'e', "sv") : r;
                r = r >= 0 ? sd_bus_message_read(reply, "s", &key) : r;
                r = r >= 0 && key && std::string(key) == "label" ? sd_bus_message_read(reply, "v", "s", &label) : -1;
                r = r >= 0 && id == 1 && label && std::string(label) == "表示" ? 1 : -1;
            }
            sd_bus_message_unref(reply);
            sd_bus_error_free(&error);
            sd_bus_flush_close_unref(bus);
            return r >= 0;
        });
        if (!Pump([&] { return call.wait_for(std::chrono::seconds(0)) == std::future_status::ready; })) {
            call.wait();
            return false;
        }
        return call.get();
    }

    std::string Dir, OldBus;
    bool HadBus = false;
    pid_t Daemon = 0, Manager = 0;
    std::unique_ptr<TWatcher> Watcher;
    std::unique_ptr<TSdlMainWindow> Window;
    std::unique_ptr<TRecordingTaskbar> Taskbar;
    TStatusNotifierIcon* Icon = nullptr;
    TPopupMenu Menu;
    TSystemClock Clock;
    std::string Title{Application::kUntitled};
    std::unique_ptr<TTaskTray> Tray;
};

TEST_F(TrayRealTest, TheFourModesTheMenuAndTheClickWithAWatcher) {
    Watcher = std::make_unique<TWatcher>();
    ASSERT_TRUE(Watcher->Serving());
    struct TCase {
        int32_t Mode;
        bool IconRestored, IconMinimized, ButtonMinimized;
    };
    const TCase cases[] = {
        {0, false, false, true},
        {1, true, true, true},
        {2, true, true, false},
        {3, false, true, false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Mode);
        Tray->SetMode(c.Mode);
        EXPECT_TRUE(IconIs(c.IconRestored));
        EXPECT_TRUE(Taskbar->ButtonShown);
        ASSERT_TRUE(SetMinimized(true));
        EXPECT_TRUE(IconIs(c.IconMinimized));
        EXPECT_TRUE(Pump([&] { return Taskbar->ButtonShown == c.ButtonMinimized; }));
        ASSERT_TRUE(SetMinimized(false));
        EXPECT_TRUE(IconIs(c.IconRestored));
        EXPECT_TRUE(Taskbar->ButtonShown);
    }

    // Mode 3, minimised: the icon's menu holds "表示", which shows the window; the poll then takes
    // the icon away and gives the button back.
    ASSERT_TRUE(SetMinimized(true));
    ASSERT_TRUE(IconIs(true));
    EXPECT_TRUE(CallIcon("/MenuBar", "com.canonical.dbusmenu", "GetLayout", "iias", 0, nullptr));
    EXPECT_TRUE(CallIcon("/MenuBar", "com.canonical.dbusmenu", "Event", "isvu", 1, "clicked"));
    EXPECT_TRUE(Pump([&] { return !Taskbar->Iconic(); }));
    Tray->Poll();
    EXPECT_TRUE(IconIs(false));
    EXPECT_TRUE(Taskbar->ButtonShown);
    // A click on the icon does the same.
    ASSERT_TRUE(SetMinimized(true));
    ASSERT_TRUE(IconIs(true));
    EXPECT_TRUE(CallIcon("/StatusNotifierItem", "org.kde.StatusNotifierItem", "Activate", "ii", 0, nullptr));
    EXPECT_TRUE(Taskbar->ButtonShown);
    EXPECT_TRUE(Pump([&] { return !Taskbar->Iconic(); }));

    // The watcher goes and comes back: the icon of mode 1 is offered to the new one.
    ASSERT_TRUE(SetMinimized(false));
    Tray->SetMode(1);
    ASSERT_TRUE(IconIs(true));
    Watcher.reset();
    EXPECT_TRUE(Pump([&] { return !Icon->Confirmed(); }));
    Watcher = std::make_unique<TWatcher>();
    ASSERT_TRUE(Watcher->Serving());
    EXPECT_TRUE(IconIs(true));
    EXPECT_EQ(Watcher->Registrations(), 1);
}

TEST_F(TrayRealTest, WithoutAWatcherNothingIsHidden) {
    for (const int32_t mode : {2, 3}) {
        SCOPED_TRACE(mode);
        Tray->SetMode(mode);
        ASSERT_TRUE(SetMinimized(true));
        // The bus answers the offer with an error at once; a few hundred milliseconds of serving
        // the icon never take the button away.
        bool hidden = false;
        Until(std::chrono::milliseconds(300), [&] {
            Window->PumpEvents();
            Tray->Idle();
            hidden = hidden || !Taskbar->ButtonShown || Icon->Confirmed();
            return false;
        });
        EXPECT_FALSE(hidden);
        EXPECT_TRUE(Tray->IconShown);
        ASSERT_TRUE(SetMinimized(false));
    }
}

}  // namespace
