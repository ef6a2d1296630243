// Tone mapper: luma ranges, curve adjustment and local columns worked out by
// hand, and the module from key text to record.
#include <gtest/gtest.h>

#include "vova/ModuleTNM.h"

using namespace VOVA;

TEST(ModuleTNMMaths, LumaRangesOfTheDefaultsAndAnEmptyInputRange)
{
    const double inY[2] = {-64, 64}, outY[2] = {16, 235};
    TNMLumaRanges r{};
    ASSERT_TRUE(tnmLumaRanges(inY, outY, r));
    EXPECT_DOUBLE_EQ(256.0 / 129, r.inputLumaScale);
    EXPECT_DOUBLE_EQ(64, r.inputLumaOffset);
    EXPECT_DOUBLE_EQ(0.859375, r.outputLumaScale);
    EXPECT_DOUBLE_EQ(16, r.outputLumaOffset);
    EXPECT_DOUBLE_EQ(220.0 / 129, r.chromaIOScale);

    // a range of one value is allowed; "1 0" holds none and would divide by zero
    const double single[2] = {5, 5}, empty[2] = {1, 0}, reversed[2] = {10, -10};
    EXPECT_TRUE(tnmLumaRanges(single, outY, r));
    EXPECT_DOUBLE_EQ(256, r.inputLumaScale);
    TNMLumaRanges untouched{1, 2, 3, 4, 5};
    EXPECT_FALSE(tnmLumaRanges(empty, outY, untouched));
    EXPECT_FALSE(tnmLumaRanges(reversed, outY, untouched));
    EXPECT_EQ(1, untouched.inputLumaScale);
    EXPECT_EQ(5, untouched.chromaIOScale);
}

TEST(ModuleTNMMaths, CurveAdjustmentPivotsOnHalfAndClamps)
{
    struct Case {
        double point, contrast, brightness, expected;
    } cases[] = {
        {0.25, 2, 0, 0}, {0.5, 2, 0, 0.5}, {0.75, 2, 0, 1},      {0.3, 1, 0.1, 0.4},
        {0.95, 1, 0.1, 1}, {0.2, 0, 0, 0.5}, {0.015625, 1, 0, 0.015625}, {0.6, 1, -1, 0},
    };
    for (const Case &c : cases)
        EXPECT_DOUBLE_EQ(c.expected, tnmAdjustCurvePoint(c.point, c.contrast, c.brightness))
            << c.point << " " << c.contrast << " " << c.brightness;
}

TEST(ModuleTNMMaths, LocalColumnsByImageWidth)
{
    struct Case {
        QOV_UINT32 width;
        QOV_UINT16 columns;
    } cases[] = {{1920, 16}, {640, 16}, {638, 15}, {40, 1}, {79, 1}, {80, 2}, {38, 0}, {0, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(c.columns, tnmLocalColumns(c.width)) << c.width;
}
