// Scaler geometry: output sizes by rectangle type worked out by hand, the
// rounding to even, and the reversed or too large rectangles that are refused.
#include <gtest/gtest.h>

#include "vova/ScalerGeometry.h"

using namespace VOVA;

TEST(ScalerGeometry, OutputSizeByRectangleType)
{
    struct Case {
        const char *what;
        ScalerRectType type;
        QOV_UINT32 rect[4];
        double pitch[2];
        bool evenHeight;
        QOV_UINT32 w, h;
    } cases[] = {
        {"crop defaults", SCALER_RECT_CROP, {0, 0, 0, 0}, {1, 1}, true, 1920, 1080},
        {"outsize", SCALER_RECT_SIZE, {0, 0, 1280, 720}, {1.5, 1.5}, true, 1280, 720},
        {"outsize lowered pitches", SCALER_RECT_SIZE, {0, 0, 100, 50}, {16, 16}, true, 100, 50},
        {"clip odd width, encoder", SCALER_RECT_CLIP, {10, 10, 1001, 600}, {1, 1}, true, 990, 590},
        {"clip odd width, display", SCALER_RECT_CLIP, {10, 10, 1001, 600}, {1, 1}, false, 990, 590},
        {"clip odd height, encoder", SCALER_RECT_CLIP, {10, 10, 1000, 601}, {1, 1}, true, 990, 590},
        {"clip odd height, display", SCALER_RECT_CLIP, {10, 10, 1000, 601}, {1, 1}, false, 990, 591},
        {"crop pitch 3", SCALER_RECT_CROP, {0, 0, 0, 0}, {3, 3}, true, 640, 360},
        {"crop pitch 7", SCALER_RECT_CROP, {0, 0, 0, 0}, {7, 7}, true, 274, 154},
        {"crop pitch 8, encoder", SCALER_RECT_CROP, {0, 0, 0, 0}, {8, 8}, true, 240, 134},
        {"crop pitch 8, display", SCALER_RECT_CROP, {0, 0, 0, 0}, {8, 8}, false, 240, 135},
        {"crop margins", SCALER_RECT_CROP, {100, 40, 20, 40}, {2, 2}, true, 900, 500},
        {"whole width clipped", SCALER_RECT_CLIP, {0, 0, 1920, 1080}, {1, 1}, true, 1920, 1080},
    };
    for (const Case &c : cases) {
        ScalerGeometry g = scalerGeometry(c.type, c.rect, c.pitch, 1920, 1080, c.evenHeight);
        EXPECT_TRUE(g.known) << c.what;
        EXPECT_FALSE(g.reversed[0] || g.reversed[1] || g.outside[0] || g.outside[1]) << c.what;
        EXPECT_EQ(c.w, g.size[0]) << c.what;
        EXPECT_EQ(c.h, g.size[1]) << c.what;
    }
    const QOV_UINT32 rect[4] = {0, 0, 10, 10};
    const double pitch[2] = {1, 1};
    EXPECT_FALSE(scalerGeometry(static_cast<ScalerRectType>(3), rect, pitch, 1920, 1080, true).known);
}

TEST(ScalerGeometry, ReversedRectanglesAndInputsPastTheImageAreFlagged)
{
    struct Case {
        const char *what;
        ScalerRectType type;
        QOV_UINT32 rect[4];
        double pitch[2];
        bool reversed[2], outside[2];
    } cases[] = {
        // a clip right of 10 left of 90 once wrapped to a width of 65456
        {"clip right before left", SCALER_RECT_CLIP, {90, 0, 10, 100}, {1, 1}, {true, false}, {false, false}},
        {"clip bottom before top", SCALER_RECT_CLIP, {0, 90, 100, 10}, {1, 1}, {false, true}, {false, false}},
        {"crop margins past the width", SCALER_RECT_CROP, {1000, 0, 921, 0}, {1, 1}, {true, false}, {false, false}},
        {"crop margins the whole height", SCALER_RECT_CROP, {0, 540, 0, 540}, {1, 1}, {false, false}, {false, false}},
        {"clip past the right", SCALER_RECT_CLIP, {0, 0, 2000, 1080}, {1, 1}, {false, false}, {true, false}},
        {"outsize too large for the pitch", SCALER_RECT_SIZE, {0, 0, 1280, 720}, {2, 1}, {false, false}, {true, false}},
        {"outsize shifted by its offset", SCALER_RECT_SIZE, {10, 10, 1280, 720}, {1.5, 1.5}, {false, false}, {true, true}},
        {"outsize just inside", SCALER_RECT_SIZE, {0, 0, 1280, 720}, {1.5, 1.5}, {false, false}, {false, false}},
    };
    for (const Case &c : cases) {
        ScalerGeometry g = scalerGeometry(c.type, c.rect, c.pitch, 1920, 1080, true);
        for (int d = 0; d < 2; d++) {
            EXPECT_EQ(c.reversed[d], g.reversed[d]) << c.what << " " << d;
            EXPECT_EQ(c.outside[d], g.outside[d]) << c.what << " " << d;
            if (c.reversed[d]) {
                EXPECT_EQ(0u, g.size[d]) << c.what;
            }
        }
    }
}
