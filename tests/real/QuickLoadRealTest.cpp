// The quick-load window as an FLTK window under the X server: it lists the quick saves newest
// first, xdotool double-clicks the first line and the window closes with that file chosen. The
// window as it opened is kept as screenshots/quick-load.png beside the test program.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "foundation/GameContext.h"
#include "foundation/SystemConfigLib.h"
#include "platform/Dialogs.h"
#include "platform/Encoding.h"
#include "platform/FileRoot.h"
#include "platform/fltk/FltkConfigForms.h"
#include "platform/fltk/FltkDialogs.h"
#include "script/KelSaveData.h"
#include "shell/KelQuickLoad.h"
#include "tests/support/AnimationFixtures.h"
#include "tests/support/GameFixture.h"

// The X headers last: their macros (None, Bool, Status) would clash with names above.
// clang-format off
#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <X11/Xutil.h>
// clang-format on

namespace fs = std::filesystem;

namespace {

void WriteQuickSave(const TFileRoot& files, uint32_t key, int32_t slot, double date, const std::string& excerpt) {
    TKelSaveData save(key);
    save.SetHeader({"", "", "", ""}, excerpt);
    save.Header.Date = date;
    save.SetBody(TMemoryStream("x"));
    ASSERT_TRUE(save.SaveToFile(files, KelSaveData::SaveFilePath(KelQuickLoad::QuickSaveName(slot)), true, false));
}

// The window's pixels as the X server holds them.
std::string Shot(Fl_Window* w) {
    Fl::flush();
    XSync(fl_display, False);
    XImage* image = XGetImage(fl_display, fl_xid(w), 0, 0, w->w(), w->h(), AllPlanes, ZPixmap);
    if (!image) return {};
    std::vector<uint32_t> pixels(static_cast<size_t>(w->w()) * w->h());
    for (int y = 0; y < w->h(); ++y)
        for (int x = 0; x < w->w(); ++x)
            pixels[static_cast<size_t>(y) * w->w() + x] = 0xFF000000u | (XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return AnimationFixtures::Png(w->w(), w->h(), pixels);
}

TEST(QuickLoadRealTest, ADoubleClickOnTheNewestLineChoosesIt) {
    if (!TFltkDialogs::DisplayAvailable()) GTEST_SKIP() << "no X display could be opened; run under xvfb-run";
    if (std::system("command -v xdotool >/dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    TGameContext context;
    TOpenGame game(context.Config,
                   {{"System\\etc\\Game.dat", "CodeKey=$123456\r\nQuickSaveCount=4\r\n"},
                    {"System\\QuickSaveLoad\\Layout.dat",
                     "FormCaption=クイックロード\r\nOkButton=ロードする\r\nCancelButton=キャンセル\r\n"
                     "FileExistsText=%%%no:  %%%4y/%%%mm/%%%dd %%%hh:%%%nn  %%%text\r\nFileEmptyText=%%%no:  ―\r\n"}});
    game.Files.CreateDir("SaveData");
    WriteQuickSave(game.Files, context.Config.Config.CodeKey, 0, KelSaveData::EncodeDate(2026, 12, 10, 8, 0, 0),
                   "昨日のセーブ"_sj);
    WriteQuickSave(game.Files, context.Config.Config.CodeKey, 2, KelSaveData::EncodeDate(2026, 12, 11, 9, 30, 0),
                   "今日のセーブ"_sj);

    TModalLoop modal;
    TFltkConfigForms forms(&modal);
    TQuickLoadForm form(game.Files, context.Config.Config, game.Packs, &forms, nullptr);
    std::string shot;
    int turns = 0;
    const auto start = std::chrono::steady_clock::now();
    modal.SetWhileModalHook([&] {
        Fl_Window* w = Fl::modal();
        if (!w) return;
        if (++turns == 10) {
            shot = Shot(w);
            // The list's first line, a few pixels into it.
            std::system(("timeout 10 xdotool mousemove --window " + std::to_string(fl_xid(w)) +
                         " 100 8 click --repeat 2 --delay 80 1 >/dev/null 2>&1 &")
                            .c_str());
        }
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(15)) {
            ADD_FAILURE() << "the window was not closed by the double click";
            w->do_callback();
        }
    });
    form.ShowModal();
    EXPECT_EQ(form.Form[form.FileListBox].Items.size(), 4u);
    EXPECT_EQ(form.ChosenFile, "QuickSaveData2.svd");
    ASSERT_FALSE(shot.empty());
    fs::create_directories("screenshots");
    std::ofstream("screenshots/quick-load.png", std::ios::binary) << shot;
}

}  // namespace
