// HDR merge: weight and tone curves worked out by hand, the refused or
// replaced undefined values, and the module from key text to record.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mc/mc_structs.h"
#include "SetupModuleFixture.h"
#include "vova/ModuleHDR.h"

using namespace VOVA;

namespace module_hdr {
using namespace vovatest;

namespace {
class ModuleHDRTest : public SetupModuleFixture {};

TEST(ModuleHDRMaths, NormalMergeWeights)
{
    std::vector<double> w(MC_HDR_WEIGHT_POINTS);
    hdrMergeWeightCurve(0, 16, w.data(), MC_HDR_WEIGHT_POINTS);
    EXPECT_EQ(1.0, w[0]);  // both exposures weigh 0
    // a = 0.5 weighs 1; b = 1/32 gives t = 1/16 and 1/256 (3 - 1/8)
    const double b2048 = (1.0 / 256) * (3 - 0.125);
    EXPECT_NEAR(1 / (1 + b2048), w[2048], 1e-15);
    EXPECT_NEAR(0.989, w[2048], 5e-4);
    EXPECT_NEAR(0.0000166, w[4095], 1e-7);

    // the long exposure's black level narrows its range: at 4096 - 96 it weighs 0
    hdrMergeWeightCurve(96, 16, w.data(), MC_HDR_WEIGHT_POINTS);
    EXPECT_EQ(0.0, w[4000]);
    EXPECT_EQ(0.0, w[4095]);
    EXPECT_NEAR(1 / (1 + b2048), w[2000], 2e-3);
}

TEST(ModuleHDRMaths, ToneCurveAxisAndIdentity)
{
    EXPECT_EQ(255 * std::ldexp(1.0, -20), hdrToneCurveInput(255));
    EXPECT_EQ(256 * std::ldexp(1.0, -20), hdrToneCurveInput(256));
    EXPECT_EQ(512 * std::ldexp(1.0, -20), hdrToneCurveInput(512));
    EXPECT_EQ(0.998046875, hdrToneCurveInput(3327));

    std::vector<double> curve(MC_HDR_TNM_POINTS);
    hdrToneCurve(1, 1, curve.data());
    for (unsigned i = 0; i < MC_HDR_TNM_POINTS; i++)
        ASSERT_NEAR(hdrToneCurveInput(i), curve[i], 1e-15) << i;

    // scale 4, white 0.5: x = 0.25 (point 2816) gives 0.25 (4 + 1) / 2, and
    // x = 0.5 (point 3072) gives 0.5 (4 + 2) / 3 = 1; above it clamps to 1
    hdrToneCurve(4, 0.5, curve.data());
    EXPECT_EQ(0.25, hdrToneCurveInput(2816));
    EXPECT_NEAR(0.625, curve[2816], 1e-15);
    EXPECT_NEAR(1.0, curve[3072], 1e-15);
    EXPECT_EQ(1.0, curve[3327]);
}

TEST(ModuleHDRMaths, WhitePointZeroGivesTheLimitCurve)
{
    std::vector<double> curve(MC_HDR_TNM_POINTS, -1.0);
    hdrToneCurve(1, 0, curve.data());
    EXPECT_EQ(0.0, curve[0]);
    for (unsigned i = 1; i < MC_HDR_TNM_POINTS; i++)
        ASSERT_EQ(1.0, curve[i]) << i;
}

TEST_F(ModuleHDRTest, ExposureRatioFromTheKeyOrTheSensorDepth)
{
    ModuleHDR *hdr = add<ModuleHDR>();
    struct Case {
        const char *what;
        ParameterList list;
        unsigned depth;
        double ratio, gain;
        bool warns;
    } cases[] = {
        {"10-bit", listOf({}), 10, 16, 16, false},
        {"12-bit", listOf({}), 12, 64, 4, false},
        {"8-bit", listOf({}), 8, 4, 64, false},
        {"key clamped up", listOf({{"HDR_EXPOSURE_RATIO", {"0.5"}}}), 14, 1, 256, false},
        {"key clamped down", listOf({{"HDR_EXPOSURE_RATIO", {"300"}}}), 10, 256, 1, false},
        {"key read as it is", listOf({{"HDR_EXPOSURE_RATIO", {"8"}}}), 10, 8, 32, false},
    };
    for (const Case &c : cases) {
        sensor->uiBitDepth = c.depth;
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, hdr->load(c.list)) << c.what;
        EXPECT_EQ(c.ratio, hdr->fExposureRatio) << c.what;
        ASSERT_EQ(QOV_SUCCESS, hdr->setup()) << c.what;
        EXPECT_EQ(c.ratio, mc().sHDR.fExposureRatio) << c.what;
        EXPECT_EQ(c.gain, mc().sHDR.fGain) << c.what;
        EXPECT_EQ(c.warns, log.contains("WARNING [VOVA_MOD_HDR]")) << c.what << log.text();
    }
}

TEST_F(ModuleHDRTest, UndefinedRatioMergesWithTheStatedFallback)
{
    ModuleHDR *hdr = add<ModuleHDR>();
    struct Case {
        const char *what;
        ParameterList list;
        const char *loadWarning;
    } cases[] = {
        {"14-bit sensor, no key", listOf({}), "WARNING [VOVA_MOD_HDR]: load() Could not define exposure ratio for "
                                            "sensor bit-depth 14\n"},
        {"unreadable key", listOf({{"HDR_EXPOSURE_RATIO", {"abc"}}}), nullptr},
    };
    sensor->uiBitDepth = 14;
    for (const Case &c : cases) {
        {
            LogCapture log;
            ASSERT_EQ(QOV_SUCCESS, hdr->load(c.list)) << c.what;
            if (c.loadWarning) {
                EXPECT_TRUE(log.contains(c.loadWarning)) << c.what << log.text();
            }
        }
        EXPECT_EQ(0.0, hdr->fExposureRatio) << c.what;
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, hdr->setup()) << c.what;
        EXPECT_TRUE(log.contains("WARNING [VOVA_MOD_HDR]: setup() exposure ratio 0.000000 is not defined (no "
                                 "HDR_EXPOSURE_RATIO key and no 8 to 12-bit sensor): merging with the ratio "
                                 "1.000000\n"))
            << c.what << log.text();
        // the record holds the fallback, never an infinite gain or NaN weights
        EXPECT_EQ(1.0, mc().sHDR.fExposureRatio);
        EXPECT_EQ(256.0, mc().sHDR.fGain);
        for (QOV_UINT32 i = 0; i < MC_HDR_WEIGHT_POINTS; i++)
            ASSERT_TRUE(std::isfinite(mc().sHDR.aWeightCurve[i])) << i;
        EXPECT_EQ(1.0, mc().sHDR.aWeightCurve[0]);
        EXPECT_DOUBLE_EQ(0.5, mc().sHDR.aWeightCurve[100]);
        EXPECT_EQ(0.0, hdr->fExposureRatio);  // the module keeps its field
    }
    // a module never loaded in a pipeline has no sensor to follow; set up in
    // one, it takes the ratio of the sensor's depth
    ModuleHDR *fresh = new ModuleHDR();
    EXPECT_EQ(0.0, fresh->fExposureRatio);
    ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(fresh));
    sensor->uiBitDepth = 10;
    LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, fresh->setup());
    EXPECT_FALSE(log.contains("WARNING [VOVA_MOD_HDR]")) << log.text();
    EXPECT_EQ(16.0, mc().sHDR.fExposureRatio);
    EXPECT_EQ(16.0, mc().sHDR.fGain);
    EXPECT_EQ(0.0, fresh->fExposureRatio);
}

TEST_F(ModuleHDRTest, RecordFromTheSensorAndTheKeys)
{
    sensor->eHDRMode = static_cast<HDR_MODES>(1);
    sensor->bLongExpFirst = true;
    sensor->ui32LineGap = 12;
    sensor->eBayerFormat = MOSAIC_GRBG;
    ModuleHDR *hdr = add<ModuleHDR>();
    ASSERT_EQ(QOV_SUCCESS, hdr->load(listOf({{"HDR_BLACK_LEVEL", {"64", "5000"}},
                                            {"HDR_LUM_COEFFS", {"0.3", "0.6", "0.1"}},
                                            {"HDR_EXPOSURE_RATIO", {"16"}},
                                            {"HDR_TNM_WHITE", {"0"}}})));
    ASSERT_EQ(QOV_SUCCESS, hdr->setup());
    const MC_HDR &r = mc().sHDR;
    EXPECT_EQ(static_cast<HDR_MODES>(1), r.eHDRMode);
    EXPECT_TRUE(r.bLongExpFirst);
    EXPECT_EQ(12u, r.ui32LineGap);
    EXPECT_EQ(MOSAIC_GRBG, r.eBayerMode);
    EXPECT_EQ(1920, r.aFrameSize[0]);
    EXPECT_EQ(1080, r.aFrameSize[1]);
    EXPECT_EQ(64, r.aBlackLevel[0]);
    EXPECT_EQ(4095, r.aBlackLevel[1]);
    EXPECT_EQ((std::vector<double>{0.3, 0.6, 0.1}), std::vector<double>(r.aLumCoeffs, r.aLumCoeffs + 3));
    // a white point of 0 gives the limit curve, not 0/0
    EXPECT_EQ(0.0, r.aTNMCurve[0]);
    EXPECT_EQ(1.0, r.aTNMCurve[1]);
    // the long exposure above black 4095 saturates at once
    EXPECT_EQ(1.0, r.aWeightCurve[0]);
    EXPECT_EQ(0.0, r.aWeightCurve[1]);
    EXPECT_TRUE(r.updateNeeded);
}

TEST_F(ModuleHDRTest, MergeModes)
{
    ModuleHDR *hdr = add<ModuleHDR>();
    struct Case {
        const char *name;
        ModuleHDR::MergeMode mode;
        double first, last;
    } cases[] = {
        {"LONG_ONLY", ModuleHDR::HDR_MERGE_LONG_ONLY, 1, 1},
        {"SHORT_ONLY", ModuleHDR::HDR_MERGE_SHORT_ONLY, 0, 0},
        // near 0 both hats grow as the square: 1 / (1 + 1/16^2)
        {"long_only", ModuleHDR::HDR_MERGE_NORMAL, 256.0 / 257, 0.0000166},
        {"NORMAL", ModuleHDR::HDR_MERGE_NORMAL, 256.0 / 257, 0.0000166},
    };
    for (const Case &c : cases) {
        hdr->load(listOf({{"HDR_MERGE_MODE", {c.name}}, {"HDR_EXPOSURE_RATIO", {"16"}}}));
        EXPECT_EQ(c.mode, hdr->eMergeMode) << c.name;
        ASSERT_EQ(QOV_SUCCESS, hdr->setup());
        EXPECT_NEAR(c.first, mc().sHDR.aWeightCurve[1], 1e-5) << c.name;
        EXPECT_NEAR(c.last, mc().sHDR.aWeightCurve[4095], 1e-7) << c.name;
        ParameterList saved;
        hdr->save(saved, ModuleBase::SAVE_VAL);
        EXPECT_EQ(std::vector<std::string>{ModuleHDR::getMergeModeString(c.mode)}, valuesOf(saved, "HDR_MERGE_MODE"));
    }
    EXPECT_EQ("NORMAL", ModuleHDR::getMergeModeString(static_cast<ModuleHDR::MergeMode>(7)));
}

TEST_F(ModuleHDRTest, SavedTexts)
{
    EXPECT_EQ("// High Dynamic Range parameters\n"
              "HDR_BLACK_LEVEL 0 0 // int[2] range=[0,4095]\n"
              "HDR_EXPOSURE_RATIO 0 // double range=[1,256]\n"
              "HDR_LUM_COEFFS 0.2126 0.7152 0.0722 // double[3] range=[0,1]\n"
              "HDR_MERGE_MODE NORMAL // {NORMAL, SHORT_ONLY, LONG_ONLY}\n"
              "HDR_TNM_SCALE 1 // double range=[0,1e+08]\n"
              "HDR_TNM_WHITE 1 // double range=[0,1e+08]\n"
              "\n\n",
              savedText(ModuleHDR(), ModuleBase::SAVE_DEF, true));
    ParameterList min, max;
    ModuleHDR().save(min, ModuleBase::SAVE_MIN);
    ModuleHDR().save(max, ModuleBase::SAVE_MAX);
    EXPECT_FALSE(min.exists("HDR_MERGE_MODE"));
    EXPECT_FALSE(max.exists("HDR_MERGE_MODE"));
    EXPECT_EQ(std::vector<std::string>{"1"}, valuesOf(min, "HDR_EXPOSURE_RATIO"));
    EXPECT_EQ((std::vector<std::string>{"4095", "4095"}), valuesOf(max, "HDR_BLACK_LEVEL"));
    EXPECT_EQ(std::vector<std::string>{"1e+08"}, valuesOf(max, "HDR_TNM_WHITE"));
}

}  // namespace
}  // namespace module_hdr
