#include <gtest/gtest.h>

#include "platform/Viewport.h"

using namespace Viewport;

namespace {

TEST(ViewportTest, FitsTheGameCentredAtItsAspectRatio) {
    struct Case {
        TSize window, game;
        TRect expected;
    };
    const Case cases[] = {
        {{640, 480}, {640, 480}, {0, 0, 640, 480}},
        {{1280, 960}, {640, 480}, {0, 0, 1280, 960}},
        {{1920, 1080}, {640, 480}, {240, 0, 1440, 1080}},  // bars left and right
        {{800, 800}, {800, 600}, {0, 100, 800, 600}},      // bars above and below
        {{801, 600}, {800, 600}, {0, 0, 800, 600}},        // a one-pixel bar rounds to the left
        {{1366, 768}, {800, 600}, {171, 0, 1024, 768}},
        {{0, 0}, {640, 480}, {0, 0, 640, 480}},
        {{640, 480}, {0, 0}, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Fit(c.window, c.game), c.expected) << c.window.W << "x" << c.window.H;
    }
}

TEST(ViewportTest, MapsWindowPointsToGamePixels) {
    struct Case {
        TSize window, game;
        TPoint at, expected;
    };
    const Case cases[] = {
        {{640, 480}, {640, 480}, {123, 456}, {123, 456}},
        {{640, 480}, {640, 480}, {-3, 700}, {-3, 700}},
        {{1280, 960}, {640, 480}, {1, 1}, {0, 0}},
        {{1280, 960}, {640, 480}, {1279, 959}, {639, 479}},
        {{1920, 1080}, {640, 480}, {240, 0}, {0, 0}},
        {{1920, 1080}, {640, 480}, {1679, 1079}, {639, 479}},
        {{1920, 1080}, {640, 480}, {239, 540}, {-1, 240}},    // on the left bar: outside the game
        {{1920, 1080}, {640, 480}, {1680, 540}, {640, 240}},  // on the right bar
        {{1920, 1080}, {640, 480}, {0, 0}, {-107, 0}},
        {{1280, 960}, {640, 480}, {2, 3}, {1, 1}},
        {{800, 800}, {800, 600}, {400, 99}, {400, -1}},
        {{320, 240}, {640, 480}, {160, 120}, {321, 241}},  // a smaller window: its pixel covers two
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowToGame(c.at, c.window, c.game), c.expected)
            << c.window.W << "x" << c.window.H << " at " << c.at.X << "," << c.at.Y;
    }
}

TEST(ViewportTest, GamePixelsMapBackToThemselves) {
    const TSize game{640, 480};
    for (TSize window : {TSize{640, 480}, TSize{1920, 1080}, TSize{1366, 768}, TSize{700, 1000}}) {
        for (TPoint p : {TPoint{0, 0}, TPoint{639, 479}, TPoint{320, 1}, TPoint{1, 240}, TPoint{517, 333}}) {
            const TPoint w = GameToWindow(p, window, game);
            const TRect r = Fit(window, game);
            EXPECT_GE(w.X, r.X);
            EXPECT_LT(w.X, r.X + r.W);
            EXPECT_EQ(WindowToGame(w, window, game), p) << window.W << "x" << window.H;
        }
    }
}

}  // namespace
