// The tray icon's modes on a fake icon and a fake window: what each mode shows on the mode change
// and when the poll sees the window minimised or restored, that the taskbar button goes only while
// the icon is confirmed, the icon's clicks, and the notification area coming back.
#include <gtest/gtest.h>

#include "platform/Application.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "shell/uTaskBarIcon.h"

namespace {

struct TFakeIcon final : public ITrayIcon {
    void Add(const std::string& tip, const TTrayPicture&, const std::vector<std::string>& menu) override {
        ++Adds;
        Up = true;
        Tip = tip;
        Menu = menu;
    }
    void Remove() override { Up = false; }
    bool Confirmed() const override { return Up && AreaPresent; }
    void Dispatch() override {}
    bool Up = false;
    bool AreaPresent = true;
    int Adds = 0;
    std::string Tip;
    std::vector<std::string> Menu;
};

struct TFakeWindow final : public ITaskbarWindow {
    bool Iconic() override { return Minimized; }
    void SetTaskbarButton(bool shown) override { ButtonShown = shown; }
    void Restore() override { Minimized = false; }
    bool Minimized = false;
    bool ButtonShown = true;
};

class TaskTrayTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto icon = std::make_unique<TFakeIcon>();
        Icon = icon.get();
        Tray = std::make_unique<TTaskTray>(Window, std::move(icon), true, FakeClock, Title);
        Tray->PopupMenu = &Menu;
        Tray->OnMinimize = [this](bool minimized) { Calls.push_back(minimized); };
    }
    void TearDown() override { Tray.reset(); }
    // One tick of the poll timer.
    void Tick() {
        FakeClock.Now += TTaskTray::kPollInterval;
        Tray->Idle();
    }

    TFakeClock FakeClock;
    std::string Title{Application::kUntitled};
    TFakeWindow Window;
    TFakeIcon* Icon = nullptr;
    int Shows = 0;
    TPopupMenu Menu{{{"表示"_sj, [this] { ++Shows; }}}};
    std::vector<bool> Calls;
    std::unique_ptr<TTaskTray> Tray;
};

TEST_F(TaskTrayTest, EachModeShowsWhatItsColumnSays) {
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
        TearDown();
        Calls.clear();
        Window = TFakeWindow{};
        SetUp();
        // Another mode first, so that setting the case's mode is a change.
        Tray->SetMode(c.Mode == 1 ? 0 : 1);
        Tray->SetMode(c.Mode);
        EXPECT_EQ(Icon->Up, c.IconRestored);
        EXPECT_TRUE(Window.ButtonShown);
        // The first poll finds the window restored where creation assumed it minimised.
        Tick();
        EXPECT_EQ(Calls, std::vector<bool>{false});
        Window.Minimized = true;
        Tray->Idle();  // no poll before the interval has passed
        EXPECT_EQ(Calls.size(), 1u);
        Tick();
        EXPECT_EQ(Calls, (std::vector<bool>{false, true}));
        EXPECT_EQ(Icon->Up, c.IconMinimized);
        EXPECT_EQ(Window.ButtonShown, c.ButtonMinimized);
        Window.Minimized = false;
        Tick();
        EXPECT_EQ(Icon->Up, c.IconRestored);
        EXPECT_TRUE(Window.ButtonShown);
    }
}

TEST_F(TaskTrayTest, ModeChangesOnlyOnANewValidMode) {
    Tray->SetMode(2);
    const int adds = Icon->Adds;
    Tray->SetMode(2);
    Tray->SetMode(4);
    Tray->SetMode(-1);
    EXPECT_EQ(Tray->Mode, 2);
    EXPECT_EQ(Icon->Adds, adds);
    EXPECT_TRUE(Icon->Up);
}

TEST_F(TaskTrayTest, TheButtonGoesOnlyWhileTheIconIsConfirmed) {
    Icon->AreaPresent = false;
    Tray->SetMode(3);
    Tick();
    Window.Minimized = true;
    Tick();
    EXPECT_TRUE(Icon->Up);
    EXPECT_TRUE(Window.ButtonShown);  // no notification area: the window keeps its button
    Icon->AreaPresent = true;
    Tray->Idle();
    EXPECT_FALSE(Window.ButtonShown);
    Icon->AreaPresent = false;  // the area went away: the button comes back at once
    Tray->Idle();
    EXPECT_TRUE(Window.ButtonShown);
}

TEST_F(TaskTrayTest, ClicksRestoreAndTheAreaGetsTheIconBack) {
    Tray->SetMode(3);
    Tick();
    Window.Minimized = true;
    Tick();
    ASSERT_FALSE(Window.ButtonShown);
    // A click on the icon: the button, the window, and at the next poll the restored column.
    Icon->OnActivate();
    EXPECT_TRUE(Window.ButtonShown);
    EXPECT_FALSE(Window.Minimized);
    Tick();
    EXPECT_FALSE(Icon->Up);
    EXPECT_EQ(Icon->Menu, std::vector<std::string>{"表示"_sj});
    Icon->OnMenu(0);
    Icon->OnMenu(5);  // no such item
    EXPECT_EQ(Shows, 1);

    // The area coming back puts up only an icon that was up.
    int adds = Icon->Adds;
    Icon->OnAreaCreated();
    EXPECT_EQ(Icon->Adds, adds);
    Tray->SetMode(1);
    adds = Icon->Adds;
    Icon->OnAreaCreated();
    EXPECT_EQ(Icon->Adds, adds + 1);
    EXPECT_TRUE(Icon->Up);
}

TEST_F(TaskTrayTest, TheTipIsTheTitleCutTo63BytesOnACharacterBoundary) {
    EXPECT_EQ(TTaskTray::TipOf(std::string(70, 'a')), std::string(63, 'a'));
    // 62 one-byte characters and a two-byte one that would end past 63: the latter is left out.
    EXPECT_EQ(TTaskTray::TipOf(std::string(62, 'a') + "表"_sj), std::string(62, 'a'));
    Title = std::string(64, 'b');
    Tray->SetMode(1);
    EXPECT_EQ(Icon->Tip, std::string(63, 'b'));
}

}  // namespace
