// RGB-to-YCbCr and YCbCr-to-RGB modules: key text to fields to record, the
// direction and swaps the output formats ask for, refusals, the warning on
// coefficients the hardware cannot hold, and the saved texts.
#include <gtest/gtest.h>

#include "SetupModuleFixture.h"
#include "vova/ModuleR2Y.h"
#include "vova/ModuleY2R.h"

using namespace VOVA;

namespace module_colour_plane {
using namespace vovatest;

namespace {

class ModuleColourPlaneTest : public SetupModuleFixture {};

using Rows = std::vector<std::vector<double>>;

void expectPlane(const Rows &rows, const std::vector<double> &offsets, const MC_PLANECONV &p, const std::string &what)
{
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(rows[r][c], p.aCoeff[r][c], 1e-9) << what << " row " << r << " col " << c;
        EXPECT_NEAR(offsets[r], p.aOffset[r], 1e-9) << what << " offset " << r;
    }
}

// BT709 rows Cr, Y, Cb
const std::vector<double> CR = {0.5, -0.4542, -0.0458};
const std::vector<double> Y = {0.2126, 0.7152, 0.0722};
const std::vector<double> CB = {-0.1146, -0.3854, 0.5};

TEST_F(ModuleColourPlaneTest, RgbToYccByEncoderChromaOrder)
{
    struct Case {
        pxlFormat encoder;
        Rows rows;
    } cases[] = {
        {PXL_NONE, {CR, Y, CB}},        {YVU_420_PL12_8, {CR, Y, CB}}, {YUV_420_PL12_8, {CB, Y, CR}},
        {YVU_422_PL12_8, {CR, Y, CB}},  {YUV_422_PL12_8, {CB, Y, CR}}, {YVU_420_PL12_10, {CR, Y, CB}},
        {YUV_420_PL12_10, {CB, Y, CR}}, {YVU_422_PL12_10, {CR, Y, CB}}, {YUV_422_PL12_10, {CB, Y, CR}},
    };
    ModuleR2Y *r2y = add<ModuleR2Y>();
    for (const Case &c : cases) {
        out->encoderType = c.encoder;
        mc().sR2Y.eType = YCC_TO_RGB;  // a record another conversion used
        ASSERT_EQ(QOV_SUCCESS, r2y->setup());
        EXPECT_EQ(RGB_TO_YCC, mc().sR2Y.eType);
        expectPlane(c.rows, {0, 0, 0}, mc().sR2Y, std::to_string(c.encoder));
        EXPECT_TRUE(mc().sR2Y.updateNeeded);
    }
}

TEST_F(ModuleColourPlaneTest, RgbToYccKeys)
{
    struct Case {
        const char *what;
        ParameterList list;
        Rows rows;
        std::vector<double> offsets;
    } cases[] = {
        {"BT601", listOf({{"R2Y_MATRIX", {"BT601"}}}),
         {{0.5, -0.4187, -0.0813}, {0.299, 0.587, 0.114}, {-0.1687, -0.3313, 0.5}}, {0, 0, 0}},
        // brightness is an output offset: no division by the contrast here
        {"brightness and contrast", listOf({{"R2Y_BRIGHTNESS", {"0.1"}}, {"R2Y_CONTRAST", {"0.5"}}}),
         {{0.25, -0.2271, -0.0229}, {0.1063, 0.3576, 0.0361}, {-0.0573, -0.1927, 0.25}}, {0, 25.6, 0}},
        {"offsets and multipliers",
         listOf({{"R2Y_OFFSETU", {"0.25"}}, {"R2Y_OFFSETV", {"-0.5"}}, {"R2Y_RANGE_MUL", {"0.5", "2", "3"}}}),
         {{1, -0.9084, -0.0916}, {0.1063, 0.3576, 0.0361}, {-0.2292, -0.7708, 1}}, {64, 0, -128}},
        // hue 30: Cr' = c Cr - n Cb, Cb' = c Cb + n Cr
        {"hue", listOf({{"R2Y_HUE", {"30"}}}),
         {{0.49031270189246534, -0.20064873839980749, -0.2896639634926579},
          Y,
          {0.15075348872550304, -0.5608661906181951, 0.4101127018926921}},
         {0, 0, 0}},
        // a contrast of 0 zeroes the matrix
        {"contrast 0", listOf({{"R2Y_CONTRAST", {"0"}}}), {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {0, 0, 0}},
    };
    ModuleR2Y *r2y = add<ModuleR2Y>();
    for (const Case &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, r2y->load(c.list)) << c.what;
        ASSERT_EQ(QOV_SUCCESS, r2y->setup()) << c.what;
        expectPlane(c.rows, c.offsets, mc().sR2Y, c.what);
    }
}

TEST_F(ModuleColourPlaneTest, SaturatedCoefficientsAreReported)
{
    ModuleR2Y *r2y = add<ModuleR2Y>();
    ModuleY2R *y2r = add<ModuleY2R>();
    out->displayType = RGB_888_24;
    {
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, r2y->setup());
        ASSERT_EQ(QOV_SUCCESS, y2r->setup());
        EXPECT_FALSE(log.contains("WARNING")) << log.text();
    }
    // saturation 5: Cr row red 2.5 and green -2.271, Cb row blue 2.5 pass S2.10
    r2y->load(listOf({{"R2Y_SATURATION", {"5"}}}));
    {
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, r2y->setup());
        EXPECT_EQ(3u, occurrences(log.text(), "WARNING [VOVA_MOD_R2Y]: setup() coefficient ")) << log.text();
        EXPECT_TRUE(log.contains("coefficient 0,0 of the colour-plane matrix (2.500000) is outside [-2.000000, "
                                 "1.999023]: the hardware saturates it, which shifts the colours\n"));
    }
    EXPECT_EQ(2.5, mc().sR2Y.aCoeff[0][0]);  // the record keeps the computed value
    // saturation 3 puts kB s = 5.5668 past the S3.9 field of the display converter
    y2r->load(listOf({{"Y2R_SATURATION", {"3"}}}));
    {
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, y2r->setup());
        EXPECT_EQ(2u, occurrences(log.text(), "WARNING [VOVA_MOD_Y2R]: setup() coefficient ")) << log.text();
        EXPECT_TRUE(log.contains("coefficient 2,2 of the colour-plane matrix (5.566800) is outside [-4.000000, "
                                 "3.998047]"));
    }
}

TEST_F(ModuleColourPlaneTest, YccToRgbByDisplayAndEncoder)
{
    const std::vector<double> R = {1.5748, 1, 0}, G = {-0.4681242606, 1, -0.18732430448}, B = {0, 1, 1.8556};
    const auto swapped = [](std::vector<double> row) {
        std::swap(row[0], row[2]);
        return row;
    };
    struct Case {
        pxlFormat display, encoder;
        Rows rows;
    } cases[] = {
        {RGB_888_24, YVU_420_PL12_8, {R, G, B}},
        {RGB_101010_32, YVU_422_PL12_10, {R, G, B}},
        {BGR_161616_64, YVU_420_PL12_8, {R, G, B}},
        {BGR_888_32, YVU_420_PL12_8, {B, G, R}},
        {BGR_888_24, YVU_420_PL12_8, {B, G, R}},
        {BGR_101010_32, YVU_420_PL12_8, {B, G, R}},
        // a Cb-first encoder: the inputs are exchanged back in every row
        {RGB_888_32, YUV_420_PL12_8, {swapped(R), swapped(G), swapped(B)}},
        {BGR_888_32, YUV_422_PL12_10, {swapped(B), swapped(G), swapped(R)}},
    };
    ModuleY2R *y2r = add<ModuleY2R>();
    for (const Case &c : cases) {
        out->displayType = c.display;
        out->encoderType = c.encoder;
        ASSERT_EQ(QOV_SUCCESS, y2r->setup());
        EXPECT_EQ(YCC_TO_RGB, mc().sY2R.eType);
        expectPlane(c.rows, {-128, -16, -128}, mc().sY2R,
                    std::to_string(c.display) + " from " + std::to_string(c.encoder));
    }
}

TEST_F(ModuleColourPlaneTest, YccPassKeepsEachChromaMultiplierWithItsChroma)
{
    struct Case {
        pxlFormat display, encoder;
        Rows rows;  // multipliers Y 0.9, Cb 0.8, Cr 0.7
    } cases[] = {
        {PXL_ISP_444IL3YCrCb8, YVU_420_PL12_8, {{0.7, 0, 0}, {0, 0, 0.8}, {0, 0.9, 0}}},
        {PXL_ISP_444IL3YCrCb10, YVU_420_PL12_8, {{0.7, 0, 0}, {0, 0, 0.8}, {0, 0.9, 0}}},
        {PXL_ISP_444IL3YCbCr8, YVU_420_PL12_8, {{0, 0, 0.8}, {0.7, 0, 0}, {0, 0.9, 0}}},
        {PXL_ISP_444IL3YCbCr10, YVU_420_PL12_8, {{0, 0, 0.8}, {0.7, 0, 0}, {0, 0.9, 0}}},
        {PXL_ISP_444IL3YCrCb8, YUV_420_PL12_8, {{0, 0, 0.7}, {0.8, 0, 0}, {0, 0.9, 0}}},
        {PXL_ISP_444IL3YCbCr8, YUV_420_PL12_8, {{0.8, 0, 0}, {0, 0, 0.7}, {0, 0.9, 0}}},
    };
    ModuleY2R *y2r = add<ModuleY2R>();
    // brightness 0.1 passes as 25.6 whatever the contrast; the pass ignores the matrix
    ASSERT_EQ(QOV_SUCCESS, y2r->load(listOf({{"Y2R_RANGE_MUL", {"0.9", "0.8", "0.7"}},
                                            {"Y2R_BRIGHTNESS", {"0.1"}},
                                            {"Y2R_CONTRAST", {"0.5"}},
                                            {"Y2R_SATURATION", {"4"}}})));
    y2r->eMatrix = ModuleR2YBase::JFIF;
    for (const Case &c : cases) {
        out->displayType = c.display;
        out->encoderType = c.encoder;
        ASSERT_EQ(QOV_SUCCESS, y2r->setup());
        EXPECT_EQ(YCC_TO_YCC, mc().sY2R.eType);
        expectPlane(c.rows, {0, 25.6, 0}, mc().sY2R, std::to_string(c.display) + " from " + std::to_string(c.encoder));
    }
}

TEST_F(ModuleColourPlaneTest, MatrixNamesAndRefusals)
{
    ModuleR2Y *r2y = add<ModuleR2Y>();
    ModuleY2R *y2r = add<ModuleY2R>();
    ASSERT_EQ(QOV_SUCCESS, y2r->load(listOf({{"Y2R_MATRIX", {"BT601"}}, {"Y2R_HUE", {"10"}}})));
    for (const char *name : {"JFIF", "bt709"}) {
        LogCapture log;
        // an unknown name fails before the other keys are read
        EXPECT_EQ(QOV_ERROR_FAILURE, y2r->load(listOf({{"Y2R_MATRIX", {name}}, {"Y2R_HUE", {"20"}}})));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_Y2R]: load():"));
        EXPECT_TRUE(log.contains(std::string("Invalid matrix conversion format: '") + name + "'\n"));
        EXPECT_EQ(10.0, y2r->fHue);
    }
    ParameterList saved;
    y2r->save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"BT601"}, valuesOf(saved, "Y2R_MATRIX"));

    // JFIF has no coefficients: each direction refuses it with its own code
    r2y->eMatrix = ModuleR2YBase::JFIF;
    y2r->eMatrix = ModuleR2YBase::JFIF;
    out->displayType = RGB_888_24;
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, r2y->setup());
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, y2r->setup());
    EXPECT_EQ(2u, occurrences(log.text(), "ERROR [VOVA_MOD_R2Y]: configure():"));
    EXPECT_FALSE(r2y->isSetup());
    ParameterList jfif;
    r2y->save(jfif, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"JFIF"}, valuesOf(jfif, "R2Y_MATRIX"));
}

TEST_F(ModuleColourPlaneTest, ConvertersNeedTheOutputModule)
{
    dropModules();
    ModuleR2Y *r2y = add<ModuleR2Y>();
    ModuleY2R *y2r = add<ModuleY2R>();
    LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, r2y->setup());
    EXPECT_EQ(QOV_ERROR_FAILURE, y2r->setup());
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_R2Y]: setup():"));
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_Y2R]: setup():"));
    EXPECT_EQ(2u, occurrences(log.text(), "pipeline has no output module\n"));
}

TEST_F(ModuleColourPlaneTest, SavedTexts)
{
    EXPECT_EQ("// RGB to YUV parameters\n"
              "R2Y_BRIGHTNESS 0 // double range=[-0.5,0.5]\n"
              "R2Y_CONTRAST 1 // double range=[0,2]\n"
              "R2Y_HUE 0 // double range=[-30,30]\n"
              "R2Y_MATRIX BT709 // {BT601, BT709, JFIF}\n"
              "R2Y_OFFSETU 0 // double range=[-0.5,0.5]\n"
              "R2Y_OFFSETV 0 // double range=[-0.5,0.5]\n"
              "R2Y_RANGE_MUL 1 1 1 // double[3] range=[0,2]\n"
              "R2Y_SATURATION 1 // double range=[0.1,10]\n"
              "\n\n",
              savedText(ModuleR2Y(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ("// YUV to RGB parameters\n"
              "Y2R_BRIGHTNESS 0 // double range=[-0.5,0.5]\n"
              "Y2R_CONTRAST 1 // double range=[0.1,10]\n"
              "Y2R_HUE 0 // double range=[-30,30]\n"
              "Y2R_MATRIX BT709 // {BT601, BT709, JFIF}\n"
              "Y2R_OFFSETU -0.5 // double range=[-0.5,0.5]\n"
              "Y2R_OFFSETV -0.5 // double range=[-0.5,0.5]\n"
              "Y2R_RANGE_MUL 1 1 1 // double[3] range=[0,2]\n"
              "Y2R_SATURATION 1 // double range=[0.1,10]\n"
              "\n\n",
              savedText(ModuleY2R(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ("// RGB to YUV parameters\n"
              "R2Y_BRIGHTNESS -0.5\n"
              "R2Y_CONTRAST 0\n"
              "R2Y_HUE -30\n"
              "R2Y_MATRIX BT709 // string\n"
              "R2Y_OFFSETU -0.5\n"
              "R2Y_OFFSETV -0.5\n"
              "R2Y_RANGE_MUL 0 0 0\n"
              "R2Y_SATURATION 0.1\n"
              "\n\n",
              savedText(ModuleR2Y(), ModuleBase::SAVE_MIN, true));
    ParameterList max;
    ModuleY2R().save(max, ModuleBase::SAVE_MAX);
    EXPECT_EQ(std::vector<std::string>{"10"}, valuesOf(max, "Y2R_CONTRAST"));
    EXPECT_EQ(std::vector<std::string>{"BT709"}, valuesOf(max, "Y2R_MATRIX"));
    EXPECT_EQ(std::vector<std::string>(3, "2"), valuesOf(max, "Y2R_RANGE_MUL"));
}

}  // namespace
}  // namespace module_colour_plane
