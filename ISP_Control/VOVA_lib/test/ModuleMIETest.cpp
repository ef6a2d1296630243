// Image enhancer: the extent search, the rotation quantiser and the luma
// window worked out by hand, and the module from key text to record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "vova/ModuleMIE.h"

using namespace VOVA;

TEST(ModuleMIEMaths, ExtentSearch)
{
    struct Case {
        double aspect;
        double extent[4];
        int kb, kr;
        std::vector<double> scale;
    } cases[] = {
        {0, {0.5, 0.5, 0.5, 0.5}, 3, 3, {170, 170, 170, 170}},
        {1, {0.5, 1, 2, 4}, 3, 6, {120, 60, 30, 15}},
        {-2, {4, 4, 4, 4}, 4, 1, {32, 32, 32, 32}},
    };
    for (const Case &c : cases) {
        int kb = -1, kr = -1;
        double scale[4];
        mieExtentParameters(c.aspect, c.extent, kb, kr, scale);
        EXPECT_EQ(c.kb, kb) << c.aspect;
        EXPECT_EQ(c.kr, kr) << c.aspect;
        EXPECT_EQ(c.scale, std::vector<double>(scale, scale + 4)) << c.aspect;
    }
}

TEST(ModuleMIEMaths, RotationQuantiserAndLumaWindow)
{
    EXPECT_EQ(0.9921875, mieQuantiseRotation(std::cos(0.0)));
    EXPECT_EQ(0.0, mieQuantiseRotation(std::sin(0.0)));
    EXPECT_EQ(-0.9921875, mieQuantiseRotation(std::cos(3.14159)));
    EXPECT_EQ(0.0, mieQuantiseRotation(std::sin(3.14159)));

    double minY = 0, scaleY = 0;
    mieLumaWindow(0.0625, 0, 1, minY, scaleY);
    EXPECT_DOUBLE_EQ(0.28125, minY);
    EXPECT_DOUBLE_EQ(1.5333333333333334, scaleY);
    mieLumaWindow(0.0625, 0.5, 0.5, minY, scaleY);
    EXPECT_DOUBLE_EQ(0.53125, minY);
    EXPECT_EQ(16.0, scaleY);
}
