// The settings dialogs as FLTK windows, driven by xdotool through the X server as a player would:
// every page shown and photographed into the test's output folder (build/tests/shots/), a control
// changed and its setting checked while the dialog is open and afterwards; and the program kel
// itself started on a game that shows its start-up dialog.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "foundation/SystemConfigLib.h"
#include "media/ARGB8888Font.h"
#include "media/MediaContext.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/SystemFonts.h"
#include "platform/fltk/FltkConfigForms.h"
#include "platform/fltk/FltkDialogs.h"
#include "shell/KelConfigLib.h"
#include "shell/PadMenuLib.h"
#include "shell/StartupMenuLib.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/ContextFixture.h"
#include "tests/support/GameFixture.h"
#include "tests/support/ToolRun.h"

// The X headers last: their macros (None, Bool, Status) would clash with names above.
// clang-format off
#include <FL/Fl.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xutil.h>
// clang-format on

namespace fs = std::filesystem;

namespace {

const char* kMessages =
    "OK=ＯＫ\r\nCONFIGRESET_Text=このページの設定を初期値に戻しますか？\r\nCONFIGRESET_Yes=はい(Y)\r\n"
    "CONFIGRESET_No=いいえ(N)\r\nAPPCLOSE_Text=終了しますか？\r\nAPPCLOSE_Exit=終了\r\nAPPCLOSE_Reset=タイトルへ\r\n"
    "APPCLOSE_Cancel=キャンセル\r\n";

bool HaveXdotool() {
    return std::system("command -v xdotool >/dev/null 2>&1") == 0;
}

// xdotool in the background, so that the form's loop runs (and opens the menus it clicks) while
// the commands go on.
void Xdo(const std::string& args) {
    std::system(("timeout 10 xdotool " + args + " >/dev/null 2>&1 &").c_str());
}

// The window's pixels as the X server holds them, written as a PNG.
void Shot(Fl_Window* w, const std::string& name) {
    Fl::flush();
    XSync(fl_display, False);
    XImage* image = XGetImage(fl_display, fl_xid(w), 0, 0, w->w(), w->h(), AllPlanes, ZPixmap);
    ASSERT_NE(image, nullptr);
    std::vector<uint32_t> pixels(static_cast<size_t>(w->w()) * w->h());
    for (int y = 0; y < w->h(); ++y)
        for (int x = 0; x < w->w(); ++x)
            pixels[static_cast<size_t>(y) * w->w() + x] = 0xFF000000u | (XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    fs::create_directories("shots");
    std::ofstream("shots/" + name + ".png", std::ios::binary) << AnimationFixtures::Png(w->w(), w->h(), pixels);
}

// Steps taken from the forms' loop, one turn at a time: each step is tried every turn until it
// says it is done. A step that takes more than fifteen seconds fails the test (xdotool and the X
// server can be slow on a loaded machine), and the open forms are closed through their close box
// so that nothing hangs.
class SettingsFormsTest : public ::testing::Test, public TContextFixture {
protected:
    void SetUp() override {
        if (!TFltkDialogs::DisplayAvailable()) GTEST_SKIP() << "no X display could be opened; run under xvfb-run";
        if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed (tools/setup.sh installs it)";
        ARGB8888Font::Install(Media.Fonts, &Fonts, &Context.Config);
        Modal.SetWhileModalHook([this] { Turn(); });
    }
    void TearDown() override { ARGB8888Font::Install(Media.Fonts, nullptr); }

    void Then(std::function<bool()> step) { Steps.push_back(std::move(step)); }
    // Waits for a number of turns (drawing happens meanwhile).
    void Pause(int turns) {
        auto left = std::make_shared<int>(turns);
        Then([left] { return --*left <= 0; });
    }
    void Turn() {
        if (Steps.empty()) return;
        const auto now = std::chrono::steady_clock::now();
        if (!Started) StepStart = now, Started = true;
        if (Steps.front()()) {
            Steps.pop_front();
            Started = false;
        } else if (now - StepStart > std::chrono::seconds(15)) {
            ADD_FAILURE() << "a step did not finish; " << Steps.size() << " steps left";
            Steps.clear();
            if (Fl_Window* w = Fl::modal()) w->do_callback();
        }
    }

    // Screen coordinates for xdotool: relative to the open form's X window.
    static std::string At(Fl_Window* w, int x, int y) {
        return "mousemove --window " + std::to_string(fl_xid(w)) + " " + std::to_string(x) + " " + std::to_string(y);
    }
    // Clicks a control of the form at its centre (left part for a combo box, whose menu it opens).
    void Click(const TConfigForm& form, const std::string& name) {
        const int32_t i = form.Find(name);
        ASSERT_GE(i, 0) << name;
        int x = 0, y = 0;
        TFltkConfigForms::Place(form, i, x, y);
        Xdo(At(Fl::modal(), x + form[i].Width / 2, y + form[i].Height / 2) + " click 1");
    }
    // Chooses the item after the one shown in a combo box: its menu opens, Down, Enter.
    void NextItem(const TConfigForm& form, const std::string& name) {
        const int32_t i = form.Find(name);
        int x = 0, y = 0;
        TFltkConfigForms::Place(form, i, x, y);
        Xdo(At(Fl::modal(), x + form[i].Width / 2, y + form[i].Height / 2) + " click 1 sleep 0.4 key Down Return");
    }
    // Clicks the tab of a page.
    void ClickTab(const std::string& captionUtf8) {
        Fl_Window* w = Fl::modal();
        Fl_Tabs* tabs = nullptr;
        for (int k = 0; w && k < w->children() && !tabs; ++k)
            tabs = dynamic_cast<Fl_Tabs*>(w->child(k));
        ASSERT_NE(tabs, nullptr);
        for (int x = tabs->x() + 2; x < tabs->x() + tabs->w(); x += 2) {
            Fl_Widget* page = tabs->which(x, tabs->y() + 10);
            if (page && page->label() && captionUtf8 == page->label()) {
                Xdo(At(w, x + 8, tabs->y() + 12) + " click 1");
                return;
            }
        }
        ADD_FAILURE() << "no tab " << captionUtf8;
    }
    // Shows each page in turn and photographs it once it has drawn.
    void ShowEveryPage(const TConfigForm& form, const std::string& prefix) {
        for (size_t p = 0; p < form.Pages.size(); ++p) {
            if (!form.Pages[p].Visible) continue;
            const std::string caption = Encoding::SjisToUtf8(form.Pages[p].Caption);
            Then([this, caption] {
                ClickTab(caption);
                return true;
            });
            Then([&form, p] { return form.ActivePage == static_cast<int32_t>(p); });
            Pause(8);
            Then([prefix, p] {
                Shot(Fl::modal(), prefix + "_page" + std::to_string(p));
                return true;
            });
        }
    }

    TFreeTypeFonts Fonts;
    TMediaContext Media;  // the fonts the configuration sets
    TModalLoop Modal;
    TFltkConfigForms Forms{&Modal};
    TFltkDialogs Messages{&Modal};
    TDialogHost Host{&Messages};
    TSystemClock Clock;
    std::deque<std::function<bool()>> Steps;
    bool Started = false;
    std::chrono::steady_clock::time_point StepStart;
};

std::map<std::string, std::string> ConfigGame() {
    std::string voices = "show=enable\r\n";
    const char* names[6] = {"青山", "赤井", "黄田", "緑川", "白石", "黒木"};
    for (int i = 0; i < 6; ++i)
        voices += "gui[" + std::to_string(i) + "]=$" + (i % 2 ? "C00000" : "0000C0") + "," + names[i] + ",？？？\r\n";
    return {{"System\\etc\\Game.dat", "GameTitle=設定テスト\r\nConfigStartupSkip=TRUE\r\n"},
            {"System\\etc\\Config.txt",
             "FPSLimit=60\r\nBGMVolume=204\r\nFont[0].Name=ＭＳ ゴシック\r\nFont[0].Style=2\r\n"},
            {"System\\etc\\Message.txt", kMessages},
            {"system\\font\\fontdata.dat",
             "show=enable\r\nfont[0].list[0]=ＭＳ ゴシック\r\nfont[0].list[1]=ＭＳ 明朝\r\nfont[0].list[2]=system\r\n"},
            {"system\\voice\\voicedata.dat", voices}};
}

TEST_F(SettingsFormsTest, ConfigurationDialog) {
    TOpenGame game(Context.Config, ConfigGame());
    Context.Config.LoadFontCandidateLists(game.Packs);
    Context.Config.LoadSpeakerLists(game.Packs);
    TSystemData& c = Settings;
    c.FPSLimit = 60;
    const int32_t style = c.Font[0].Style;
    TKelConfig config(Context.Config, game.Packs, nullptr, &Forms, nullptr, Host);
    config.Media = &Media;
    const TConfigForm& form = config.Form;

    // "キャンセル" after changes puts every setting back.
    Pause(10);
    Then([&] {
        NextItem(form, "ComboBox19");  // 60 FPS -> 80 FPS
        return true;
    });
    Then([&] { return c.FPSLimit == 80; });  // live
    Then([&] {
        ClickTab("フォント");
        return true;
    });
    Then([&] { return form.ActivePage == TKelConfig::pgFont; });
    Then([&] {
        Click(form, "FontCheckBold");
        return true;
    });
    Then([&] { return (c.Font[0].Style & 1) != (style & 1); });
    Then([&] {
        Click(form, "Button5");
        return true;
    });
    config.ShowModal();
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(c.FPSLimit, 60);
    EXPECT_EQ(c.Font[0].Style, style);

    // Every page, then a change kept by "設定" and written to the user's file.
    config.SelectPage(0);
    Pause(10);
    ShowEveryPage(form, "config");
    Then([&] {
        ClickTab("システム");
        return true;
    });
    Then([&] { return form.ActivePage == 0; });
    Then([&] {
        NextItem(form, "ComboBox19");
        return true;
    });
    Then([&] { return c.FPSLimit == 80; });
    Then([&] {
        Click(form, "Button4");
        return true;
    });
    config.ShowModal();
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(c.FPSLimit, 80);
    ASSERT_TRUE(Context.Config.SaveUserSettings(game.Files));  // as the program does when it ends
    std::string saved;
    game.Files.ReadFile(SystemConfigLib::kUserConfigFile, saved);
    EXPECT_NE(saved.find("FPSLimit=80\r\n"), std::string::npos) << saved;
    // The report on the information page names the game.
    EXPECT_NE(Encoding::SjisToUtf8(form[config.C.Memo].Text).find("Type   :Relese"), std::string::npos);
}

// The start-up dialog with its preview, and the game-pad dialog opened from it.
TEST_F(SettingsFormsTest, StartupAndGamePadDialogs) {
    TOpenGame game(
        Context.Config,
        {{"System\\etc\\Game.dat", "GameTitle=起動テスト\r\n"},
         {"System\\etc\\Config.txt", "FPSLimit=60\r\n"},
         {"System\\etc\\Message.txt", kMessages}},
        {{"System\\Startup\\Startup.b", AnimationBmpWriter::Write(AnimationFixtures::StateFile(
                                            240, 240, {AnimationFixtures::SolidPng(240, 240, 0xFF6080C0)}))}});
    TSystemData& c = Settings;
    c.FullScreen = 0, c.FPSLimit = 60;
    TStartupMenu menu(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Clock);
    const TConfigForm& form = menu.Form;
    std::unique_ptr<TConfigForm> padForm;
    Pause(10);
    ShowEveryPage(form, "startup");
    Then([&] {
        ClickTab("グラフィック");
        return true;
    });
    Then([&] { return form.ActivePage == 0; });
    Then([&] {
        NextItem(form, "ComboBox1");  // full screen
        return true;
    });
    Then([&] { return form[menu.C.ScreenMode].Value == 1; });
    Then([&] {
        ClickTab("ゲームパッド");
        return true;
    });
    Then([&] { return form.ActivePage == 2; });
    Then([&] {
        Click(form, "Button2");
        return true;
    });
    // The game-pad dialog is the open form now.
    Then([] { return Fl::modal() && std::string(Fl::modal()->label()) == "ゲームパッド設定"; });
    Pause(10);
    Then([] {
        Shot(Fl::modal(), "pad");
        return true;
    });
    TPadMenu layout(Forms, game.Files, nullptr, Host);  // the pad dialog's layout, for the places to click
    Then([&] {
        NextItem(layout.Form, "ComboBox4");  // wheel up: none -> button 1
        return true;
    });
    Pause(30);
    Then([&] {
        Click(layout.Form, "Button1");  // "設定完了"
        return true;
    });
    Then([] { return Fl::modal() && std::string(Fl::modal()->label()) == "起動設定"; });
    Then([&] {
        Click(form, "Button1");  // "起動"
        return true;
    });
    EXPECT_TRUE(menu.ShowModal());
    EXPECT_TRUE(Steps.empty());
    EXPECT_EQ(c.FullScreen, 1);
    // Button 1 was left click's: wheel up took it.
    const PadMenuLib::TPadSettings pad = PadMenuLib::ReadPadFile(game.Files);
    EXPECT_EQ(pad.Buttons[0], -6);
}

// A top-level window of the X server with the given title, once it is mapped; 0 while there is
// none. The title is read from _NET_WM_NAME: xdotool's name search reads WM_NAME as Latin-1,
// where FLTK and SDL keep the UTF-8 bytes, so it never matches a Japanese title. Windows of the
// other program come and go meanwhile; the errors about those that went are ignored.
Window MappedWindowTitled(const std::string& title) {
    Display* d = fl_display;
    XSync(d, False);
    const auto oldHandler = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Atom nameAtom = XInternAtom(d, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        for (unsigned int i = 0; i < count && !found; ++i) {
            Atom type = 0;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, children[i], nameAtom, 0, 256, False, utf8, &type, &format, &items, &after,
                                   &data) != Success ||
                !data)
                continue;
            XWindowAttributes a;
            if (std::string(reinterpret_cast<char*>(data), items) == title &&
                XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
                found = children[i];
            XFree(data);
        }
    if (children) XFree(children);
    XSync(d, False);
    XSetErrorHandler(oldHandler);
    return found;
}

// One pixel of a window as the X server holds it (0 for black, or when the window went).
unsigned long PixelAt(Window w, int x, int y) {
    const auto oldHandler = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    unsigned long pixel = 0;
    if (XImage* image = XGetImage(fl_display, w, x, y, 1, 1, AllPlanes, ZPixmap)) {
        pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
        XDestroyImage(image);
    }
    XSync(fl_display, False);
    XSetErrorHandler(oldHandler);
    return pixel;
}

// What programs ask of the window manager, seen through a connection of its own: a request for
// full screen goes to the root window as a message. Xvfb runs no window manager, so nothing acts
// on it and the window keeps its size; the request is what shows the program's choice.
class TFullScreenRequests {
public:
    TFullScreenRequests() : D(XOpenDisplay(nullptr)) {
        if (!D) return;
        State = XInternAtom(D, "_NET_WM_STATE", False);
        FullScreen = XInternAtom(D, "_NET_WM_STATE_FULLSCREEN", False);
        XSelectInput(D, DefaultRootWindow(D), SubstructureNotifyMask);
        XSync(D, False);
    }
    ~TFullScreenRequests() {
        if (D) XCloseDisplay(D);
    }
    // Whether the window has asked for full screen since this watch began.
    bool Asked(Window w) {
        while (D && XPending(D)) {
            XEvent e;
            XNextEvent(D, &e);
            const XClientMessageEvent& m = e.xclient;
            constexpr long kAdd = 1;
            if (e.type == ClientMessage && m.message_type == State && m.data.l[0] == kAdd &&
                (static_cast<Atom>(m.data.l[1]) == FullScreen || static_cast<Atom>(m.data.l[2]) == FullScreen))
                Windows.push_back(m.window);
        }
        return std::find(Windows.begin(), Windows.end(), w) != Windows.end();
    }

private:
    Display* D;
    Atom State = 0, FullScreen = 0;
    std::vector<Window> Windows;
};

// Polls for a window for up to ten seconds.
Window WaitForWindow(const std::string& title) {
    for (int i = 0; i < 200; ++i) {
        if (Window w = MappedWindowTitled(title)) return w;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

// The program on a game whose start-up dialog shows: full screen and 40 FPS chosen with xdotool,
// "起動" pressed; the game window then asks for full screen, its caption shows the frame limiter's
// rate, and the choices are in the user's file.
TEST_F(SettingsFormsTest, TheProgramStartsWithTheChosenSettings) {
    TOpenGame game(Context.Config,
                   {{"System\\etc\\Game.dat",
                     "GameTitle=起動\r\nFormCaption=limit %%%limit\r\nScreenWidth=320\r\nScreenHeight=240\r\n"
                     "ConfigStartupSkip=FALSE\r\n"},
                    {"System\\etc\\Message.txt", kMessages},
                    {"startup.s", "@@reset\r\n@@top\r\n\\wait,10\r\n\\jmp,@@top\r\n"}});
    fs::create_directories(game.Dir + "/DLL");
    fs::copy_file(KEL_SYSTEMINFO_LIBRARY, game.Dir + "/DLL/SystemInfo.so");
    // The player's last settings: a window at 60 FPS.
    fs::create_directories(game.Dir + "/GameData/System");
    std::ofstream(game.Dir + "/GameData/System/config.txt", std::ios::binary) << "FullScreen=0\r\nFPSLimit=60\r\n";
    // The dialog kel shows, for the places to click.
    const TStartupMenu layout(Context.Config, Forms, game.Files, game.Packs, nullptr, Host, Clock);
    TFullScreenRequests requests;
    const std::string kel = ToolRun::ToolPath("../kel");
    // Started with its output going to a file, which the test shows when it fails.
    const std::string log = game.Dir + "/kel.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    char* argv[] = {const_cast<char*>(kel.c_str()), const_cast<char*>(game.Dir.c_str()), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawn(&child, kel.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(spawned, 0) << kel;
    auto said = [&] {
        std::ifstream in(log);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    auto centre = [&](const std::string& control, int& x, int& y) {
        const int32_t i = layout.Form.Find(control);
        TFltkConfigForms::Place(layout.Form, i, x, y);
        x += layout.Form[i].Width / 2, y += layout.Form[i].Height / 2;
    };
    auto click = [&](Window w, const std::string& control, const char* then) {
        int x = 0, y = 0;
        centre(control, x, y);
        const std::string command = "timeout 10 xdotool mousemove --window " + std::to_string(w) + " " +
                                    std::to_string(x) + " " + std::to_string(y) + " click 1 " + then;
        EXPECT_EQ(std::system((command + " >/dev/null 2>&1").c_str()), 0) << command;
    };

    const Window dialog = WaitForWindow("起動設定");
    // Mapped is not yet ready for clicks: the controls are there once the dialog has drawn its
    // buttons (the window is black before).
    bool drawn = false;
    for (int i = 0; dialog && i < 200 && !drawn; ++i) {
        int x = 0, y = 0;
        centre("Button1", x, y);
        drawn = PixelAt(dialog, x, y) != 0;
        if (!drawn) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Window screen = 0;
    if (drawn) {
        click(dialog, "ComboBox1", "sleep 0.3 key Down Return sleep 0.2");  // window mode -> full screen
        click(dialog, "ComboBox5", "sleep 0.3 key Up Return sleep 0.2");    // 60 -> 40 FPS
        click(dialog, "Button1", "");                                       // "起動"
        screen = WaitForWindow("limit 40");
    }
    // The display is set up before the engine's first frame sets the caption.
    const bool fullScreen = screen && requests.Asked(screen);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_NE(dialog, 0u) << "the start-up dialog did not show; kel said: " << said();
    ASSERT_TRUE(drawn) << "the start-up dialog stayed black; kel said: " << said();
    ASSERT_NE(screen, 0u) << "no game window captioned with the frame limit 40; kel said: " << said();
    EXPECT_TRUE(fullScreen);
    std::string saved;
    std::ifstream in(game.Dir + "/GameData/System/config.txt", std::ios::binary);
    saved.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    EXPECT_NE(saved.find("FullScreen=1\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("FPSLimit=40\r\n"), std::string::npos) << saved;
}

}  // namespace
