// The display on a real SDL window: a pattern presented through the display component is read
// back from the X server, in a window and in full screen, and a pointer at a window pixel lands
// on the game pixel the picture shows there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <functional>

#include "foundation/DisplayComponent.h"
#include "platform/Encoding.h"
#include "platform/sdl/SdlDisplay.h"
#include "platform/sdl/SdlInput.h"
#include "tests/real/XServer.h"

namespace {

constexpr int32_t kW = 640, kH = 480;

// A distinct colour in each quadrant, and a white dot every 16 pixels.
uint32_t Pattern(int32_t x, int32_t y) {
    if (x % 16 == 0 && y % 16 == 0) return 0xFFFFFFFF;
    const bool right = x >= kW / 2, bottom = y >= kH / 2;
    return right ? (bottom ? 0xFF0000FF : 0xFF00FF00) : (bottom ? 0xFFFFFF00 : 0xFFFF0000);
}

class SdlDisplayTest : public ::testing::Test {
protected:
    // The window, its display, input and display component. SDL learns at the start of its video
    // whether a window manager runs, so one that is wanted must be started before.
    void Make() {
        std::string error;
        Window = SdlDisplay::CreateMainWindow("display test", kW, kH, error);
        if (!Window) GTEST_SKIP() << "no X display could be opened (" << error << "); run under xvfb-run";
        if (!XServer::Available(Window.get())) GTEST_SKIP() << "the window is not an X11 window";
        Screen = std::make_unique<TSdlDisplay>(Window.get());
        Input = std::make_unique<TSdlInputSource>(Window.get(), Viewport::TSize{kW, kH});
        DDDD = std::make_unique<TDDDD7>(Screen.get());
        DDDD->AutoDisplayModeInitialize = false;
        DDDD->VsyncAtWindowed = false;
        DDDD->OnHalt = [this](const std::string& reason) { Halts.push_back(Encoding::SjisToUtf8(reason)); };
        DDDD->Loaded();
    }
    void TearDown() override {
        DDDD.reset();
        Input.reset();
        Screen.reset();
        Window.reset();
        if (SDL_WasInit(SDL_INIT_VIDEO)) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        if (ManagerPid > 0) {
            kill(ManagerPid, SIGTERM);
            waitpid(ManagerPid, nullptr, 0);
        }
    }

    // Full screen is granted by the window manager. Under a bare X server the test starts a small
    // one (tools/setup.sh installs it), quiet and bound to end with the test's process, and ends it
    // again. Empty when one runs, else why not.
    std::string EnsureWindowManager() {
        if (XServer::WindowManagerRunning()) return "";
        const pid_t parent = getpid();
        ManagerPid = fork();
        if (ManagerPid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent) _exit(1);
            const int quiet = open("/dev/null", O_RDWR);
            dup2(quiet, 1);
            dup2(quiet, 2);
            execlp("evilwm", "evilwm", "-fn", "fixed", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (ManagerPid < 0) {
            ManagerPid = 0;
            return "no process could be started for it";
        }
        // A loaded machine may take a while to start it.
        for (int i = 0; i < 1000; ++i) {
            if (XServer::WindowManagerRunning()) return "";
            int status = 0;
            if (waitpid(ManagerPid, &status, WNOHANG) == ManagerPid) {
                ManagerPid = 0;
                return WIFEXITED(status) && WEXITSTATUS(status) == 127 ? "evilwm is not installed (tools/setup.sh)"
                                                                       : "evilwm ended at once";
            }
            usleep(10000);
        }
        return "evilwm did not come up within 10 s";
    }

    // Hands the window's events to the display and the input until the condition holds (3 s at
    // most: the X server and the window manager answer in their own time).
    bool PumpUntil(const std::function<bool()>& done) {
        for (int i = 0; i < 300; ++i) {
            SDL_Event e;
            while (SDL_PollEvent(&e)) {
                Screen->HandleEvent(e);
                Input->HandleEvent(e);
            }
            if (done()) return true;
            SDL_Delay(10);
        }
        return false;
    }

    bool WindowSizeIs(int32_t w, int32_t h) {
        return PumpUntil([&] {
            int cw, ch;
            SDL_GetWindowSize(Window.get(), &cw, &ch);
            return cw == w && ch == h;
        });
    }

    std::vector<uint32_t> Screenshot(int32_t& w, int32_t& h) {
        std::vector<uint32_t> out;
        w = h = 0;
        EXPECT_TRUE(XServer::Read(Window.get(), out, w, h));
        return out;
    }

    // The pattern scaled onto a back buffer of w x h.
    static uint32_t ScaledPattern(int32_t x, int32_t y, int32_t w, int32_t h) {
        return Pattern(x * kW / w, y * kH / h);
    }

    void DrawPattern(int32_t w = kW, int32_t h = kH) {
        TDisplayLock lock;
        ASSERT_TRUE(DDDD->BackBuffer->Lock(lock));
        std::vector<uint32_t> row(w);
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x)
                row[x] = ScaledPattern(x, y, w, h);
            Display::StoreRect(lock, 0, y, w, 1, row.data(), w);
        }
        DDDD->BackBuffer->Changed(0, h);
        DDDD->BackBuffer->Unlock();
        DDDD->Flip();
    }

    // The pixels of the window that do not show the pattern drawn at w x h; -1 when the window
    // has another size.
    int WrongPixels(int32_t w, int32_t h) {
        int32_t sw = 0, sh = 0;
        const std::vector<uint32_t> shot = Screenshot(sw, sh);
        if (sw != w || sh != h) return -1;
        int wrong = 0;
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                wrong += shot[static_cast<size_t>(y) * w + x] != (ScaledPattern(x, y, w, h) & 0xFFFFFF);
        return wrong;
    }

    // The game pixel reported for a pointer moved to a window pixel.
    Viewport::TPoint PointerAt(int32_t wx, int32_t wy) {
        SDL_WarpMouseInWindow(Window.get(), wx, wy);
        PumpUntil([&] {
            int x, y;
            SDL_GetMouseState(&x, &y);
            return x == wx && y == wy;
        });
        return Input->Pointer();
    }

    TSdlWindowPtr Window;
    std::unique_ptr<TSdlDisplay> Screen;
    std::unique_ptr<TSdlInputSource> Input;
    std::unique_ptr<TDDDD7> DDDD;
    std::vector<std::string> Halts;
    pid_t ManagerPid = 0;
};

TEST_F(SdlDisplayTest, AWindowShowsTheFrameOneToOne) {
    Make();
    if (IsSkipped()) return;
    ASSERT_TRUE(DDDD->Start()) << (Halts.empty() ? "" : Halts[0]);
    EXPECT_FALSE(Screen->ScreenSaverEnabled());
    SDL_ShowWindow(Window.get());
    ASSERT_TRUE(PumpUntil([&] { return (SDL_GetWindowFlags(Window.get()) & SDL_WINDOW_SHOWN) != 0; }));
    DrawPattern();

    int32_t w = 0, h = 0;
    const std::vector<uint32_t> shot = Screenshot(w, h);
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);
    int wrong = 0;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x)
            wrong += shot[static_cast<size_t>(y) * w + x] != (Pattern(x, y) & 0xFFFFFF);
    EXPECT_EQ(wrong, 0) << "of " << kW * kH << " pixels";
    EXPECT_EQ(PointerAt(123, 45), (Viewport::TPoint{123, 45}));
    EXPECT_EQ(PointerAt(639, 479), (Viewport::TPoint{639, 479}));
    EXPECT_TRUE(Halts.empty());
}

// The renderer that cleared the window before the display opened, and the one of an opening, serve
// the next opening; a texture of another size is not shown in the new frame's place.
TEST_F(SdlDisplayTest, TheWindowsFillAndAnEarlierOpeningLeaveTheNextOpeningItsOwnFrame) {
    Make();
    if (IsSkipped()) return;
    SDL_ShowWindow(Window.get());
    ASSERT_TRUE(PumpUntil([&] { return (SDL_GetWindowFlags(Window.get()) & SDL_WINDOW_SHOWN) != 0; }));
    Screen->FillBlackWhileClosed();
    SDL_Renderer* fill = SDL_GetRenderer(Window.get());
    ASSERT_NE(fill, nullptr);
    ASSERT_TRUE(DDDD->Start()) << (Halts.empty() ? "" : Halts[0]);
    EXPECT_EQ(SDL_GetRenderer(Window.get()), fill);
    DrawPattern();
    EXPECT_EQ(WrongPixels(kW, kH), 0);

    for (const auto& [w, h] : {std::pair{kW / 2, kH / 2}, std::pair{kW, kH}}) {
        DDDD->InitializeWindowed(w, h);
        ASSERT_TRUE(Halts.empty()) << Halts[0];
        ASSERT_TRUE(WindowSizeIs(w, h));
        DrawPattern(w, h);
        EXPECT_EQ(WrongPixels(w, h), 0) << "at " << w << " x " << h;
    }
    Screen->Close();
    Screen->FillBlackWhileClosed();
    int32_t sw = 0, sh = 0;
    const std::vector<uint32_t> shot = Screenshot(sw, sh);
    EXPECT_EQ(std::count(shot.begin(), shot.end(), 0u), static_cast<std::ptrdiff_t>(shot.size()));
}

TEST_F(SdlDisplayTest, FullScreenScalesTheFrameAndTheWindowComesBack) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display (DISPLAY unset); run under xvfb-run";
    const std::string noManager = EnsureWindowManager();
    if (!noManager.empty()) GTEST_SKIP() << "full screen needs a window manager: " << noManager;
    Make();
    if (IsSkipped()) return;
    ASSERT_TRUE(DDDD->Start()) << (Halts.empty() ? "" : Halts[0]);
    SDL_ShowWindow(Window.get());
    DDDD->InitializeFullScreen(kW, kH, 32, 0, "");
    ASSERT_TRUE(Halts.empty()) << Halts[0];
    const Viewport::TSize desktop = Screen->DesktopSize();
    ASSERT_TRUE(WindowSizeIs(desktop.W, desktop.H)) << "the window did not take the desktop's size";
    DrawPattern();

    int32_t w = 0, h = 0;
    std::vector<uint32_t> shot = Screenshot(w, h);
    ASSERT_EQ(w, desktop.W);
    ASSERT_EQ(h, desktop.H);
    const Viewport::TRect r = Viewport::Fit({w, h}, {kW, kH});
    EXPECT_EQ(Screen->FrameRect(), r);
    // The centre of every 8th game pixel shows that pixel's colour; the bars stay black.
    int wrong = 0;
    for (int32_t gy = 4; gy < kH; gy += 8)
        for (int32_t gx = 4; gx < kW; gx += 8) {
            const Viewport::TPoint at = Viewport::GameToWindow({gx, gy}, {w, h}, {kW, kH});
            wrong += shot[static_cast<size_t>(at.Y) * w + at.X] != (Pattern(gx, gy) & 0xFFFFFF);
        }
    EXPECT_EQ(wrong, 0);
    if (r.Y > 0) {
        EXPECT_EQ(shot[0], 0u);
        EXPECT_LT(PointerAt(w / 2, 0).Y, 0);  // a bar lies outside the game, not on its edge
    }
    if (r.X > 0) {
        EXPECT_EQ(shot[static_cast<size_t>(h / 2) * w], 0u);
        EXPECT_LT(PointerAt(0, h / 2).X, 0);
    }
    const Viewport::TPoint inside = Viewport::GameToWindow({100, 50}, {w, h}, {kW, kH});
    EXPECT_EQ(PointerAt(inside.X, inside.Y), (Viewport::TPoint{100, 50}));

    DDDD->InitializeWindowed(kW, kH);
    ASSERT_TRUE(WindowSizeIs(kW, kH));
    DrawPattern();
    shot = Screenshot(w, h);
    ASSERT_EQ(w, kW);
    EXPECT_EQ(shot[static_cast<size_t>(300) * w + 500], Pattern(500, 300) & 0xFFFFFF);
    EXPECT_EQ(PointerAt(600, 400), (Viewport::TPoint{600, 400}));
    EXPECT_TRUE(Halts.empty());
}

}  // namespace
