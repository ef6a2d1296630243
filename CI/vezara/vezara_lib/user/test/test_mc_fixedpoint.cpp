// Fixed-point primitives and scaler taps. Expected values are worked out by
// hand from the format rules (value x 2^F, rounding half away from zero,
// saturation to I + F bits) and, for the taps, from the filter design rules.
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "mc/mc_conversions.h"

namespace {

struct ClipCase {
    double value;
    int intBits;
    int fractBits;
    bool isSigned;
    QOV_INT32 expected;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(McFixedPoint, FixClipRoundsAndSaturates)
{
    const ClipCase cases[] = {
        {1.0, 6, 10, false, 1024},        // U6.10 unity
        {64.0, 6, 2, false, 255},         // 256 saturates to 8 bits
        {-0.3, 3, 9, true, -154},         // -153.6 rounds away from zero
        {-0.3, 8, 8, false, 0},           // unsigned saturates at 0
        {0.3, -1, 12, true, 1023},        // 1229 above the 11-bit signed maximum
        {0.5 / 1024.0, 0, 10, false, 1},  // exactly half rounds up
        {-0.5 / 512.0, 3, 9, true, -1},   // exactly half rounds away from zero
        {63.99, 6, 10, false, 65526},     // just inside U6.10
        {-0.01, -1, 12, true, -41},       // -40.96
        {1000.0, 8, -2, false, 63},       // negative fraction: clip to 8 bits, then / 4
        {-1000.0, 8, -2, true, -32},      // -128 >> 2
    };
    for (const ClipCase &c : cases)
        EXPECT_EQ(QOV_Fix_Clip(c.value, c.intBits, c.fractBits, c.isSigned, "test"), c.expected)
            << c.value << " as " << (c.isSigned ? "S" : "U") << c.intBits << "." << c.fractBits;
}

// Values that do not fit a 32-bit integer saturate instead of being cast,
// and NaN is taken as 0.
TEST(McFixedPoint, FixClipNonFiniteAndHugeValuesSaturate)
{
    const ClipCase cases[] = {
        {kInf, 6, 10, false, 65535},
        {-kInf, 3, 9, true, -2048},
        {kInf, 3, 9, true, 2047},
        {1e300, 8, 8, false, 65535},
        {-1e300, 8, 8, false, 0},
        {1e10, 31, 0, false, 2147483647},
        {-1e10, 31, 0, true, -1073741824}, // S31.0 holds down to -2^30
        {kNaN, 6, 10, false, 0},
        {kNaN, 3, 9, true, 0},
        {-kNaN, 8, -2, true, 0},
    };
    for (const ClipCase &c : cases)
        EXPECT_EQ(QOV_Fix_Clip(c.value, c.intBits, c.fractBits, c.isSigned), c.expected)
            << c.value << " as " << (c.isSigned ? "S" : "U") << c.intBits << "." << c.fractBits;
}

TEST(McFixedPoint, ClipSaturatesToTheFieldWidth)
{
    EXPECT_EQ(QOV_clip(5000, 12, QOV_TRUE), 2047);
    EXPECT_EQ(QOV_clip(-5000, 12, QOV_TRUE), -2048);
    EXPECT_EQ(QOV_clip(-1, 9, QOV_FALSE), 0);
    EXPECT_EQ(QOV_clip(511, 9, QOV_FALSE), 511);
    EXPECT_EQ(QOV_clip(512, 9, QOV_FALSE), 511);
    EXPECT_EQ(QOV_clip(7, 0, QOV_FALSE), 0);
}

TEST(McFixedPoint, RevertTakesSignedFieldsAsTwosComplement)
{
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(4095, 8, 5, QOV_TRUE), 127.96875);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(8191, 8, 5, QOV_TRUE), -0.03125);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(4096, 8, 5, QOV_TRUE), -128.0);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(-8, 9, 4, QOV_TRUE), -0.5);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(8184, 9, 4, QOV_TRUE), -0.5);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(8184, 9, 4, QOV_FALSE), 511.5);
    EXPECT_DOUBLE_EQ(QOV_Fix_Revert(3, 8, -2, QOV_FALSE), 12.0);
}

TEST(McFixedPoint, BesselSeries)
{
    EXPECT_DOUBLE_EQ(QOV_ModifiedBessel(0.0, QOV_FALSE), 1.0);
    // I0(2) = 1 + 1 + 1/4 + 1/36 + 1/576 + ... = 2.2795853...
    EXPECT_NEAR(QOV_ModifiedBessel(2.0, QOV_FALSE), 2.2795853023360673, 1e-12);
    // J0(2) = 1 - 1 + 1/4 - 1/36 + 1/576 - ... = 0.2238907791...
    EXPECT_NEAR(QOV_ModifiedBessel(2.0, QOV_TRUE), 0.22389077914123567, 1e-12);
}

/*-------------------------------------------------------------------------
 * Scaler taps
 *-------------------------------------------------------------------------*/

struct TapCase {
    QOV_UINT8 taps;
    double pitch;
    bool adjust;
    QOV_INT8 expected[4][16];
};

// Worked out from the design rules: windowed sinc at phase offsets
// p/8 - 1/2 (+ 1/16 off pitch 1), normalised, quantised to 64 with error
// diffusion, every tap kept within its register field.
const TapCase kTapCases[] = {
    // Pitch 1: phase 0 is the identity; 64 does not fit the 7-bit centre
    // field, so it is 63 with 1 on the next tap.
    {8, 1.0, true,
     {{0, 0, 0, 63, 1, 0, 0, 0},
      {-1, 3, -5, 62, 9, -4, 1, -1},
      {-1, 4, -9, 57, 20, -8, 3, -2},
      {-1, 4, -11, 49, 31, -11, 6, -3}}},
    {4, 1.5, true, {{10, 25, 22, 7}, {8, 23, 24, 9}, {6, 22, 25, 11}, {5, 20, 26, 13}}},
    {16, 2.0, true,
     {{1, 1, -2, -4, -2, 7, 17, 23, 18, 8, -1, -4, -2, 1, 2, 1},
      {1, 1, -1, -4, -2, 6, 16, 22, 19, 10, 0, -5, -2, 0, 2, 1},
      {1, 1, -1, -3, -3, 4, 14, 22, 20, 11, 2, -4, -3, 0, 2, 1},
      {1, 2, 0, -3, -3, 3, 14, 21, 21, 12, 2, -4, -3, -1, 1, 1}}},
    {8, 2.0, false,
     {{-4, -1, 18, 33, 22, 1, -5, 0},
      {-3, -2, 15, 33, 25, 3, -6, -1},
      {-3, -3, 12, 31, 28, 6, -6, -1},
      {-2, -3, 10, 30, 30, 8, -6, -3}}},
    {2, 2.0, true, {{31, 33}, {27, 37}, {24, 40}, {21, 43}}},
};

TEST(McScalerTaps, MatchTheDesignForSeveralPitches)
{
    for (const TapCase &c : kTapCases) {
        QOV_INT8 matrix[4 * 16];
        memset(matrix, 0x55, sizeof(matrix));
        QOV_CalculateScalerCoefficients(c.taps, c.pitch, matrix, c.adjust ? QOV_TRUE : QOV_FALSE);
        for (int p = 0; p < 4; ++p) {
            int sum = 0;
            for (int k = 0; k < c.taps; ++k) {
                EXPECT_EQ(matrix[p * c.taps + k], c.expected[p][k])
                    << int(c.taps) << " taps, pitch " << c.pitch << ", phase " << p << ", tap " << k;
                sum += matrix[p * c.taps + k];
            }
            EXPECT_EQ(sum, 64) << int(c.taps) << " taps, pitch " << c.pitch << ", phase " << p;
        }
        EXPECT_TRUE(scalerVerifTaps(matrix, c.taps));
    }
}

// Every matrix the conversions compute fits its fields, across pitches.
TEST(McScalerTaps, ComputedTapsAlwaysPassTheRangeCheck)
{
    for (QOV_UINT8 taps : {2, 4, 8, 16}) {
        for (double pitch = 1.0; pitch <= 8.0; pitch += 0.05) {
            for (QOV_BOOL8 adjust : {QOV_FALSE, QOV_TRUE}) {
                QOV_INT8 matrix[4 * 16] = {};
                QOV_CalculateScalerCoefficients(taps, pitch, matrix, adjust);
                EXPECT_TRUE(scalerVerifTaps(matrix, taps)) << int(taps) << " taps, pitch " << pitch;
            }
        }
    }
}

// The check is the register field: a w-bit field holds -2^(w-1) .. 2^(w-1)-1.
TEST(McScalerTaps, RangeCheckFollowsTheFieldWidths)
{
    QOV_INT8 two[8] = {};
    two[0] = -64;
    EXPECT_TRUE(scalerVerifTaps(two, 2));
    two[0] = -65;
    EXPECT_FALSE(scalerVerifTaps(two, 2));
    two[0] = 64; // the unity tap would read back as -64
    EXPECT_FALSE(scalerVerifTaps(two, 2));
    two[0] = 63;
    EXPECT_TRUE(scalerVerifTaps(two, 2));

    QOV_INT8 eight[32] = {};
    eight[3 * 8 + 3] = 64; // centre of phase 3, 7-bit field
    EXPECT_FALSE(scalerVerifTaps(eight, 8));
    eight[3 * 8 + 3] = 0;
    eight[0] = 15; // outer tap, 5-bit field
    EXPECT_TRUE(scalerVerifTaps(eight, 8));
    eight[0] = 16;
    EXPECT_FALSE(scalerVerifTaps(eight, 8));

    QOV_INT8 sixteen[64] = {};
    sixteen[15] = -8; // 4-bit field
    EXPECT_TRUE(scalerVerifTaps(sixteen, 16));
    sixteen[15] = -9;
    EXPECT_FALSE(scalerVerifTaps(sixteen, 16));
}

TEST(McScalerTaps, ScalerRecordCheck)
{
    CI_MODULE_SCALER esc{};
    esc.aOutputSize[1] = 1079; // height 1080
    EXPECT_EQ(CI_ModuleScaler_verif(&esc), QOV_SUCCESS);
    esc.aOutputSize[1] = 1080; // odd height with 4:2:0 output
    EXPECT_EQ(CI_ModuleScaler_verif(&esc), QOV_ERROR_NOT_SUPPORTED);
    esc.bOutput422 = QOV_TRUE;
    EXPECT_EQ(CI_ModuleScaler_verif(&esc), QOV_SUCCESS);
    esc.HLuma[63] = 8; // last tap of the 16-tap luma, 4-bit field
    EXPECT_EQ(CI_ModuleScaler_verif(&esc), QOV_ERROR_FAILURE);
    esc.bBypassScaler = 1;
    EXPECT_EQ(CI_ModuleScaler_verif(&esc), QOV_SUCCESS);

    // The display record checks 4-tap vertical luma: entries past 16 are not its.
    CI_MODULE_SCALER dsc{};
    dsc.bIsDisplay = 1;
    dsc.VLuma[20] = 100;
    EXPECT_EQ(CI_ModuleScaler_verif(&dsc), QOV_SUCCESS);
    dsc.bIsDisplay = 2; // any other non-zero value: 8 taps
    EXPECT_EQ(CI_ModuleScaler_verif(&dsc), QOV_ERROR_FAILURE);
}

} // namespace
