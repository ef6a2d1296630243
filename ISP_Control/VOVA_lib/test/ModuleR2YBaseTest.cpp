// Colour-plane matrices from the picture controls, against values worked
// out by hand from the standard coefficients: directions, chroma order and
// swaps, the 4:4:4 pass, refusals, and the warning on coefficients the
// hardware field cannot hold.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "vova/ModuleR2YBase.h"

using namespace VOVA;

namespace {

using Rows = std::vector<std::vector<double>>;

struct Plane {
    Rows rows;
    std::vector<double> offsets;
};

Plane planeOf(const MC_PLANECONV &p)
{
    Plane out;
    for (const auto &row : p.aCoeff)
        out.rows.push_back({row[0], row[1], row[2]});
    out.offsets = {p.aOffset[0], p.aOffset[1], p.aOffset[2]};
    return out;
}

void expectPlane(const Plane &expected, const MC_PLANECONV &actual, const std::string &what)
{
    Plane got = planeOf(actual);
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(expected.rows[r][c], got.rows[r][c], 1e-9) << what << " row " << r << " col " << c;
        EXPECT_NEAR(expected.offsets[r], got.offsets[r], 1e-9) << what << " offset " << r;
    }
}

MC_PLANECONV run(const ModuleR2YBase &base, ePlaneConvType type, bool swapIn, bool swapOut,
                 QOV_RESULT expected = QOV_SUCCESS)
{
    MC_PLANECONV plane{};
    plane.eType = type;
    EXPECT_EQ(expected, base.configure(plane, swapIn, swapOut));
    return plane;
}

ModuleR2YBase displayDefaults()
{
    ModuleR2YBase base;
    base.fOffsetU = -0.5;
    base.fOffsetV = -0.5;
    return base;
}

const Rows BT709_CR_Y_CB = {{0.5, -0.4542, -0.0458}, {0.2126, 0.7152, 0.0722}, {-0.1146, -0.3854, 0.5}};

}  // namespace

TEST(ModuleR2YBase, RgbToYccRowsAreCrYCbAndTheOutputSwapExchangesTheChroma)
{
    ModuleR2YBase base;
    expectPlane({BT709_CR_Y_CB, {0, 0, 0}}, run(base, RGB_TO_YCC, false, false), "BT709");
    expectPlane({{BT709_CR_Y_CB[2], BT709_CR_Y_CB[1], BT709_CR_Y_CB[0]}, {0, 0, 0}},
                run(base, RGB_TO_YCC, false, true), "BT709 swapped");

    base.eMatrix = ModuleR2YBase::BT601;
    expectPlane({{{0.5, -0.4187, -0.0813}, {0.299, 0.587, 0.114}, {-0.1687, -0.3313, 0.5}}, {0, 0, 0}},
                run(base, RGB_TO_YCC, false, false), "BT601");
}

TEST(ModuleR2YBase, RgbToYccPictureControls)
{
    // hue 30 degrees: c = cos(pi/6), n = sin(pi/6) with pi as 3.14159265358;
    // Cr' = c Cr - n Cb, Cb' = c Cb + n Cr
    ModuleR2YBase hue;
    hue.fHue = 30.0;
    expectPlane({{{0.49031270189246534, -0.20064873839980749, -0.2896639634926579},
                  BT709_CR_Y_CB[1],
                  {0.15075348872550304, -0.5608661906181951, 0.4101127018926921}},
                 {0, 0, 0}},
                run(hue, RGB_TO_YCC, false, false), "hue 30");

    // contrast scales every row, saturation and the Cr/Cb multipliers the
    // chroma rows; brightness and the chroma offsets are output offsets
    ModuleR2YBase controls;
    controls.fContrast = 0.5;
    controls.fSaturation = 2.0;
    controls.aRangeMult[0] = 0.8;
    controls.aRangeMult[1] = 0.5;
    controls.aRangeMult[2] = 1.5;
    controls.fBrightness = 0.1;
    controls.fOffsetU = 0.25;
    controls.fOffsetV = -0.125;
    expectPlane({{{0.75, -0.6813, -0.0687}, {0.08504, 0.28608, 0.02888}, {-0.0573, -0.1927, 0.25}},
                 {64, 25.6, -32}},
                run(controls, RGB_TO_YCC, false, false), "controls");

    // the input swap means nothing on the RGB side
    testing::internal::CaptureStderr();
    MC_PLANECONV swapped = run(controls, RGB_TO_YCC, true, false);
    EXPECT_NE(std::string::npos, testing::internal::GetCapturedStderr().find(
                                     "WARNING [VOVA_MOD_R2Y]: configure() Swaping input to R2Y has no effects!\n"));
    expectPlane(planeOf(run(controls, RGB_TO_YCC, false, false)), swapped, "input swap");
}

TEST(ModuleR2YBase, YccToRgbConstantsOffsetsAndSwaps)
{
    const ModuleR2YBase base = displayDefaults();
    const Plane rgb = {{{1.5748, 1, 0}, {-0.4681242606, 1, -0.18732430448}, {0, 1, 1.8556}}, {-128, -16, -128}};
    expectPlane(rgb, run(base, YCC_TO_RGB, false, false), "RGB");
    // BGR display: rows and offsets 0 and 2 exchanged
    const Plane bgr = {{rgb.rows[2], rgb.rows[1], rgb.rows[0]}, {-128, -16, -128}};
    expectPlane(bgr, run(base, YCC_TO_RGB, false, true), "BGR");
    // Cb-first encoder as well: inputs 0 and 2 exchanged in every row
    expectPlane({{{1.8556, 1, 0}, {-0.18732430448, 1, -0.4681242606}, {0, 1, 1.5748}}, {-128, -16, -128}},
                run(base, YCC_TO_RGB, true, true), "BGR from Cb-first");

    // brightness is an input offset, so it is divided by the contrast that
    // the rows then apply; a contrast of 0 divides by 1
    ModuleR2YBase bright = displayDefaults();
    bright.fBrightness = 0.1;
    bright.fContrast = 0.5;
    EXPECT_NEAR(256 * 0.1 / 0.5 - 16, run(bright, YCC_TO_RGB, false, false).aOffset[1], 1e-12);
    bright.fContrast = 0.0;
    EXPECT_NEAR(256 * 0.1 - 16, run(bright, YCC_TO_RGB, false, false).aOffset[1], 1e-12);
}

TEST(ModuleR2YBase, YccToRgbPictureControlsInEachStandard)
{
    // the rows are contrast x the standard's YCbCr-to-RGB matrix applied to
    // (m0 Y, s m1 Cb', s m2 Cr'), where Cb' = c Cb + n Cr and Cr' = c Cr - n Cb
    // turn the chroma by twice the hue (30 degrees: c = cos(pi/3), n = sin(pi/3));
    // inputs are Cr, Y, Cb
    ModuleR2YBase controls;
    controls.fContrast = 0.5;
    controls.fSaturation = 2.0;
    controls.aRangeMult[0] = 0.8;
    controls.aRangeMult[1] = 0.5;
    controls.aRangeMult[2] = 1.5;
    controls.fHue = 30.0;
    controls.fBrightness = 0.1;
    controls.fOffsetU = 0.25;
    controls.fOffsetV = -0.125;
    // the brightness offset is divided by the contrast the rows apply
    const std::vector<double> offsets = {64, 256 * 0.1 / 0.5 - 16, -32};
    struct Case {
        ModuleR2YBase::StdMatrix matrix;
        Rows rows;
    } cases[] = {
        {ModuleR2YBase::BT601,
         {{1.82125142416, 0.4, -1.051499999997},
          {-1.013724346949, 0.4, 0.386586884414},
          {0.442999999999, 0.4, 0.767298507754}}},
        {ModuleR2YBase::BT709,
         {{2.045725208822, 0.4, -1.181099999997},
          {-0.654942328832, 0.4, 0.269979392236},
          {0.463899999999, 0.4, 0.803498369632}}},
    };
    for (const Case &c : cases) {
        controls.eMatrix = c.matrix;
        const std::string what = ModuleR2YBase::stdMatrixName(c.matrix);
        expectPlane({c.rows, offsets}, run(controls, YCC_TO_RGB, false, false), what);
        expectPlane({{c.rows[2], c.rows[1], c.rows[0]}, {offsets[2], offsets[1], offsets[0]}},
                    run(controls, YCC_TO_RGB, false, true), what + " BGR");
        Rows cbFirst = c.rows;
        for (auto &row : cbFirst)
            std::swap(row[0], row[2]);
        expectPlane({cbFirst, offsets}, run(controls, YCC_TO_RGB, true, false), what + " from Cb-first");
    }
}

TEST(ModuleR2YBase, YccPassGivesEachChromaItsOwnMultiplierWhateverTheOrder)
{
    ModuleR2YBase base = displayDefaults();
    base.aRangeMult[0] = 0.9;  // Y
    base.aRangeMult[1] = 0.8;  // Cb
    base.aRangeMult[2] = 0.7;  // Cr
    base.fBrightness = 0.1;
    base.fContrast = 0.5;
    base.fSaturation = 3.0;
    base.fHue = 20.0;
    // brightness passes unscaled: the pass applies no contrast
    const std::vector<double> offsets = {0, 25.6, 0};
    struct Case {
        const char *what;
        bool swapIn, swapOut;
        Rows rows;
    } cases[] = {
        // Cr-first display, Cr-first encoder: outputs Cr, Cb, Y
        {"YCrCb from YVU", false, true, {{0.7, 0, 0}, {0, 0, 0.8}, {0, 0.9, 0}}},
        // Cb-first display, Cr-first encoder: outputs Cb, Cr, Y
        {"YCbCr from YVU", false, false, {{0, 0, 0.8}, {0.7, 0, 0}, {0, 0.9, 0}}},
        // Cr-first display, Cb-first encoder (inputs Cb, Y, Cr)
        {"YCrCb from YUV", true, false, {{0, 0, 0.7}, {0.8, 0, 0}, {0, 0.9, 0}}},
        // Cb-first display, Cb-first encoder
        {"YCbCr from YUV", true, true, {{0.8, 0, 0}, {0, 0, 0.7}, {0, 0.9, 0}}},
    };
    for (const Case &c : cases)
        expectPlane({c.rows, offsets}, run(base, YCC_TO_YCC, c.swapIn, c.swapOut), c.what);

    // the pass does not consult the standard matrix
    base.eMatrix = ModuleR2YBase::JFIF;
    run(base, YCC_TO_YCC, false, false);
}

TEST(ModuleR2YBase, RefusalsLeaveThePlaneUntouched)
{
    ModuleR2YBase jfif;
    jfif.eMatrix = ModuleR2YBase::JFIF;
    struct Case {
        int type;
        QOV_RESULT result;
        const char *message;
    } cases[] = {
        {RGB_TO_YCC, QOV_ERROR_WRONG_STATE, "Invalid matrix conversion format: 2\n"},
        {YCC_TO_RGB, QOV_ERROR_NOT_SUPPORTED, "Invalid matrix conversion format: 2\n"},
        {3, QOV_ERROR_INVALID_ARGUMENT, "Invalid plane value\n"},
    };
    for (const Case &c : cases) {
        MC_PLANECONV plane{};
        plane.eType = static_cast<ePlaneConvType>(c.type);
        plane.aCoeff[1][1] = 7.0;
        plane.aOffset[2] = 3.0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(c.result, jfif.configure(plane, false, false));
        const std::string log = testing::internal::GetCapturedStderr();
        EXPECT_EQ(0u, log.find("ERROR [VOVA_MOD_R2Y]: configure():")) << log;
        EXPECT_NE(std::string::npos, log.find(c.message)) << log;
        EXPECT_EQ(7.0, plane.aCoeff[1][1]);
        EXPECT_EQ(3.0, plane.aOffset[2]);
    }
}

TEST(ModuleR2YBase, MatrixNames)
{
    EXPECT_STREQ("BT601", ModuleR2YBase::stdMatrixName(ModuleR2YBase::BT601));
    EXPECT_STREQ("BT709", ModuleR2YBase::stdMatrixName(ModuleR2YBase::BT709));
    EXPECT_STREQ("JFIF", ModuleR2YBase::stdMatrixName(ModuleR2YBase::JFIF));
    EXPECT_STREQ("UNKNOWN", ModuleR2YBase::stdMatrixName(static_cast<ModuleR2YBase::StdMatrix>(5)));
    EXPECT_EQ(ModuleR2YBase::BT709, ModuleR2YBase::stdIndex("BT709"));
    EXPECT_EQ(ModuleR2YBase::BT601, ModuleR2YBase::stdIndex("BT601"));
    EXPECT_EQ(ModuleR2YBase::BT601, ModuleR2YBase::stdIndex("JFIF"));
    EXPECT_EQ(ModuleR2YBase::BT601, ModuleR2YBase::stdIndex(nullptr));
}

TEST(ModuleR2YBase, CoefficientsPastTheFieldRangeAreReported)
{
    // saturation 5 puts the Cr row's red and green and the Cb row's blue past
    // the S2.10 range [-2, 2047/1024]
    ModuleR2YBase saturated;
    saturated.fSaturation = 5.0;
    MC_PLANECONV plane = run(saturated, RGB_TO_YCC, false, false);
    testing::internal::CaptureStderr();
    EXPECT_EQ(3u, ModuleR2YBase::warnCutCoefficients(plane, 2, 10, "VOVA_MOD_R2Y"));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos,
              log.find("WARNING [VOVA_MOD_R2Y]: setup() coefficient 0,0 of the colour-plane matrix (2.500000) "
                       "is outside [-2.000000, 1.999023]: the hardware saturates it, which shifts the colours\n"))
        << log;
    EXPECT_NE(std::string::npos, log.find("coefficient 0,1 of the colour-plane matrix (-2.271000)"));
    EXPECT_NE(std::string::npos, log.find("coefficient 2,2 of the colour-plane matrix (2.500000)"));

    // the edges of the field: what rounds into it passes
    MC_PLANECONV edges{};
    edges.aCoeff[0][0] = 2047.0 / 1024;
    edges.aCoeff[0][1] = -2.0;
    edges.aCoeff[0][2] = 2047.49 / 1024;
    testing::internal::CaptureStderr();
    EXPECT_EQ(0u, ModuleR2YBase::warnCutCoefficients(edges, 2, 10, "T"));
    edges.aCoeff[1][0] = 2047.5 / 1024;
    edges.aCoeff[1][1] = -2.0 - 0.6 / 1024;
    EXPECT_EQ(2u, ModuleR2YBase::warnCutCoefficients(edges, 2, 10, "T"));
    // the S3.9 field of the display converter holds up to 4
    EXPECT_EQ(0u, ModuleR2YBase::warnCutCoefficients(edges, 3, 9, "T"));
    testing::internal::GetCapturedStderr();
}
