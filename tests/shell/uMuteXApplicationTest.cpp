// The single-instance guard's name and the screenshot lock: program files of one name guard each
// other wherever they lie and whatever the case of their letters; the lock does nothing where the
// clipboard cannot be watched, and where it can, replaces a picture with its text.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Clipboard.h"
#include "shell/uMuteXApplication.h"
#include "shell/uPrintScreenLock.h"

namespace {

TEST(SingleInstanceGuard, ProgramFilesOfOneNameShareTheGuard) {
    struct TCase {
        const char* File;
        const char* Name;
    };
    const TCase cases[] = {
        {"/usr/games/kel", "application_kel"},     {"/home/someone/Game/KEL", "application_kel"},
        {"Kel.Bin", "application_kel.bin"},        {"/opt/ゲーム/Kel", "application_kel"},
        {"/opt/x/ゲームA", "application_ゲームa"},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(uMuteXApplication::GuardName(c.File), c.Name) << c.File;
}

// A clipboard another thread may look at; it holds a picture until a text replaces it.
class TWatchedClipboard final : public IClipboard {
public:
    void SetText(const std::string& sjis) override {
        std::lock_guard<std::mutex> hold(Lock);
        Held = sjis;
        Picture = false;
    }
    std::string Text() override {
        std::lock_guard<std::mutex> hold(Lock);
        return Held;
    }
    bool HasText() override { return !Text().empty(); }
    bool HasPicture() override { return Picture; }
    bool SetPicture(const uint32_t*, int32_t, int32_t) override { return Picture = true; }
    std::atomic<bool> Picture{false};

private:
    std::mutex Lock;
    std::string Held;
};

TEST(ScreenshotLock, StartsNoThreadWhereItCannotWatchAndElseReplacesAPicture) {
    EXPECT_FALSE(uPrintScreenLock::ClipboardProbe());
    TWatchedClipboard clipboard;
    clipboard.Picture = true;
    {
        TPrintScreenLock lock(1, &clipboard);
        EXPECT_FALSE(lock.Running());
    }
    TPrintScreenLock lock(1, &clipboard, true);
    ASSERT_TRUE(lock.Running());
    lock.SetText("***");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (clipboard.Picture && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    EXPECT_EQ(clipboard.Text(), "***");
}

}  // namespace
