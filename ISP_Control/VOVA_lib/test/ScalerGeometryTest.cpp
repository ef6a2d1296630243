// Scaler geometry: output sizes by rectangle type worked out by hand, the
// rounding to even, and the reversed or too large rectangles that are refused.
#include <gtest/gtest.h>

#include <numeric>

#include "SetupModuleFixture.h"
#include "mc/mc_conversions.h"
#include "vova/ModuleDSC.h"
#include "vova/ModuleESC.h"
#include "vova/ScalerGeometry.h"

using namespace VOVA;

namespace scaler_geometry {
using namespace vovatest;

namespace {

class ScalerModuleTest : public SetupModuleFixture {};

struct Output {
    int w, h;
};

template <class R> Output outputOf(const R &r) { return {r.aOutputSize[0], r.aOutputSize[1]}; }

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

TEST_F(ScalerModuleTest, KeysToRecordInBothScalers)
{
    struct Case {
        const char *what;
        const char *type;
        std::vector<std::string> pitch, rect;
        Output esc, dsc;
        double hPitch, vPitch;
        int warnings;
    } cases[] = {
        {"defaults", "croprect", {"1", "1"}, {"0", "0", "0", "0"}, {1920, 1080}, {1920, 1080}, 1, 1, 0},
        {"outsize computes the pitches", "outsize", {"0", "0"}, {"0", "0", "1280", "720"}, {1280, 720}, {1280, 720},
         1.5, 1.5, 0},
        {"a crop rectangle is forced to outsize once", "croprect", {"0", "0"}, {"0", "0", "1280", "720"},
         {1280, 720}, {1280, 720}, 1.5, 1.5, 1},
        {"pitches past 16 are lowered", "croprect", {"0", "0"}, {"0", "0", "100", "50"}, {100, 50}, {100, 50}, 16, 16,
         3},
        {"a missing output size is the image's", "outsize", {"0", "0"}, {"0", "0", "0", "540"}, {1920, 540},
         {1920, 540}, 1, 2, 1},
        {"clip, odd width", "cliprect", {"1", "1"}, {"10", "10", "1001", "600"}, {990, 590}, {990, 590}, 1, 1, 0},
        {"clip, odd height", "cliprect", {"1", "1"}, {"10", "10", "1000", "601"}, {990, 590}, {990, 591}, 1, 1, 0},
        {"crop pitch 3", "croprect", {"3", "3"}, {"0", "0", "0", "0"}, {640, 360}, {640, 360}, 3, 3, 0},
        {"crop pitch 7", "croprect", {"7", "7"}, {"0", "0", "0", "0"}, {274, 154}, {274, 154}, 7, 7, 0},
        {"crop pitch 8", "croprect", {"8", "8"}, {"0", "0", "0", "0"}, {240, 134}, {240, 135}, 8, 8, 0},
    };
    ModuleESC *esc = add<ModuleESC>();
    ModuleDSC *dsc = add<ModuleDSC>();
    for (const Case &c : cases) {
        LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, esc->load(listOf({{"ESC_RECT_TYPE", {c.type}}, {"ESC_PITCH", c.pitch}, {"ESC_RECT", c.rect}})));
        ASSERT_EQ(QOV_SUCCESS, dsc->load(listOf({{"DSC_RECT_TYPE", {c.type}}, {"DSC_PITCH", c.pitch}, {"DSC_RECT", c.rect}})));
        ASSERT_EQ(QOV_SUCCESS, esc->setup()) << c.what;
        ASSERT_EQ(QOV_SUCCESS, dsc->setup()) << c.what;
        EXPECT_EQ(c.esc.w, outputOf(mc().sESC).w) << c.what;
        EXPECT_EQ(c.esc.h, outputOf(mc().sESC).h) << c.what;
        EXPECT_EQ(c.dsc.w, outputOf(mc().sDSC).w) << c.what;
        EXPECT_EQ(c.dsc.h, outputOf(mc().sDSC).h) << c.what;
        EXPECT_EQ(c.hPitch, mc().sESC.aPitch[0]) << c.what;
        EXPECT_EQ(c.vPitch, mc().sESC.aPitch[1]) << c.what;
        EXPECT_EQ(c.hPitch, esc->aPitch[0]) << c.what;
        EXPECT_EQ(c.vPitch, dsc->aPitch[1]) << c.what;
        EXPECT_EQ(static_cast<int>(c.rect[0] == "10" ? 10 : 0), mc().sESC.aOffset[0]) << c.what;
        EXPECT_EQ(2 * c.warnings, static_cast<int>(occurrences(log.text(), "WARNING ["))) << c.what << log.text();
        EXPECT_FALSE(mc().sESC.bBypassESC);
        EXPECT_TRUE(mc().sESC.bChromaInter);
        EXPECT_TRUE(mc().sESC.updateNeeded);
        EXPECT_TRUE(mc().sDSC.updateNeeded);
    }

    // the computed pitch, the type and the size are saved back
    ParameterList saved;
    esc->load(listOf({{"ESC_RECT_TYPE", {"croprect"}}, {"ESC_PITCH", {"0", "0"}}, {"ESC_RECT", {"0", "0", "0", "720"}}}));
    ASSERT_EQ(QOV_SUCCESS, esc->setup());
    esc->save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"outsize"}, valuesOf(saved, "ESC_RECT_TYPE"));
    EXPECT_EQ((std::vector<std::string>{"1", "1.5"}), valuesOf(saved, "ESC_PITCH"));
    EXPECT_EQ((std::vector<std::string>{"0", "0", "1920", "720"}), valuesOf(saved, "ESC_RECT"));
    EXPECT_EQ(1920u, pipeline->getGlobalSetup().ui32EncWidth);
    EXPECT_EQ(720u, pipeline->getGlobalSetup().ui32EncHeight);
}

TEST_F(ScalerModuleTest, CutoffSwitchAndChromaSitingReachTheRecords)
{
    ModuleESC *esc = add<ModuleESC>();
    ModuleDSC *dsc = add<ModuleDSC>();
    const struct {
        const char *cutoff, *chroma;
        bool adjust, inter;
    } cases[] = {{"1", "co-sited", true, false}, {"0", "inter", false, true}};
    for (const auto &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, esc->load(listOf({{"ESC_ADJUST_CUTOFF_FREQ", {c.cutoff}}, {"ESC_CHROMA_MODE", {c.chroma}}})));
        ASSERT_EQ(QOV_SUCCESS, dsc->load(listOf({{"DSC_ADJUST_CUTOFF_FREQ", {c.cutoff}}})));
        ASSERT_EQ(QOV_SUCCESS, esc->setup());
        ASSERT_EQ(QOV_SUCCESS, dsc->setup());
        EXPECT_EQ(c.adjust, static_cast<bool>(mc().sESC.bAdjustCutoff)) << c.cutoff;
        EXPECT_EQ(c.adjust, static_cast<bool>(mc().sDSC.bAdjustCutoff)) << c.cutoff;
        EXPECT_EQ(c.inter, static_cast<bool>(mc().sESC.bChromaInter)) << c.chroma;
    }
}

TEST_F(ScalerModuleTest, SetupRefusalsLeaveTheRecord)
{
    struct Case {
        const char *what;
        const char *type;
        std::vector<std::string> pitch, rect;
        QOV_UINT16 cells[2];
        QOV_RESULT result;
        const char *escMessage, *dscMessage;
    } cases[] = {
        {"no imager size", "croprect", {"1", "1"}, {"0", "0", "0", "0"}, {0, 540}, QOV_ERROR_WRONG_STATE,
         "IIF should have been setup beforehand!\n", "IIF should have been setup beforehand!\n"},
        {"width past the image", "croprect", {"0", "1"}, {"0", "0", "2000", "0"}, {960, 540}, QOV_ERROR_FAILURE,
         "the width 2000 to compute the ESC horizontal pitch from is bigger than the imager's width (1920)!\n",
         "the width 2000 to compute the DSC horizontal pitch from is bigger than the imager's width (1920)!\n"},
        {"height past the image", "outsize", {"0", "0"}, {"0", "0", "640", "2000"}, {960, 540}, QOV_ERROR_FAILURE,
         "ERROR - the height 2000 to compute the ESC vertical pitch from is bigger than the imager's height (1080)!\n",
         "the height 2000 to compute the DSC vertical pitch from is bigger than the imager's height (1080)!\n"},
        // right left of left once wrapped the width to 65456
        {"reversed clip", "cliprect", {"1", "1"}, {"90", "0", "10", "100"}, {960, 540}, QOV_ERROR_FAILURE,
         "the ESC rectangle cliprect 90 0 10 100 leaves no input in the width of the 1920x1080 image\n",
         "the DSC rectangle cliprect 90 0 10 100 leaves no input in the width of the 1920x1080 image\n"},
        {"crop margins past the image", "croprect", {"1", "1"}, {"0", "600", "0", "600"}, {960, 540},
         QOV_ERROR_FAILURE, "the ESC rectangle croprect 0 600 0 600 leaves no input in the height",
         "the DSC rectangle croprect 0 600 0 600 leaves no input in the height"},
        {"clip past the image", "cliprect", {"1", "1"}, {"0", "0", "2000", "100"}, {960, 540}, QOV_ERROR_FAILURE,
         "the ESC reads past the image: offset 0 plus pitch 1.000000 times output 2000 is beyond its width of 1920\n",
         "the DSC reads past the image: offset 0 plus pitch 1.000000 times output 2000 is beyond its width of 1920\n"},
        {"output too large for the pitch", "outsize", {"2", "1"}, {"0", "0", "1280", "720"}, {960, 540},
         QOV_ERROR_FAILURE, "the ESC reads past the image: offset 0 plus pitch 2.000000 times output 1280",
         "the DSC reads past the image: offset 0 plus pitch 2.000000 times output 1280"},
        {"offset pushes the input out", "outsize", {"0", "0"}, {"0", "100", "1280", "720"}, {960, 540},
         QOV_ERROR_FAILURE, "offset 100 plus pitch 1.500000 times output 720 is beyond its height of 1080",
         "offset 100 plus pitch 1.500000 times output 720 is beyond its height of 1080"},
    };
    ModuleESC *esc = add<ModuleESC>();
    ModuleDSC *dsc = add<ModuleDSC>();
    for (const Case &c : cases) {
        esc->load(listOf({{"ESC_RECT_TYPE", {c.type}}, {"ESC_PITCH", c.pitch}, {"ESC_RECT", c.rect}}));
        dsc->load(listOf({{"DSC_RECT_TYPE", {c.type}}, {"DSC_PITCH", c.pitch}, {"DSC_RECT", c.rect}}));
        mc().sIIF.ui16ImagerSize[0] = c.cells[0];
        mc().sIIF.ui16ImagerSize[1] = c.cells[1];
        mc().sESC = MC_ESC{};
        mc().sDSC = MC_DSC{};
        LogCapture log;
        EXPECT_EQ(c.result, esc->setup()) << c.what;
        EXPECT_EQ(c.result, dsc->setup()) << c.what;
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_ESC]: setup():")) << c.what;
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_DSC]: setup():")) << c.what;
        EXPECT_TRUE(log.contains(c.escMessage)) << c.what << log.text();
        EXPECT_TRUE(log.contains(c.dscMessage)) << c.what << log.text();
        EXPECT_EQ(0, mc().sESC.aOutputSize[0] + mc().sDSC.aOutputSize[0]) << c.what;
        EXPECT_EQ(0.0, mc().sESC.aPitch[0] + mc().sDSC.aPitch[0]) << c.what;
        EXPECT_FALSE(mc().sESC.updateNeeded || mc().sDSC.updateNeeded) << c.what;
    }
}

TEST_F(ScalerModuleTest, NamesOnLoadAndSave)
{
    ModuleESC esc;
    ModuleDSC dsc;
    esc.load(listOf({{"ESC_RECT_TYPE", {"cliprect"}}, {"ESC_CHROMA_MODE", {"co-sited"}}}));
    {
        LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, dsc.load(listOf({{"DSC_RECT_TYPE", {"Outsize"}}})));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_DSC]: load():"));
        EXPECT_TRUE(log.contains("Inavalid rectangle type: Outsize\n"));
    }
    {
        LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, esc.load(listOf({{"ESC_RECT_TYPE", {"size"}}, {"ESC_PITCH", {"2", "2"}}})));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_ESC]: load():"));
        EXPECT_TRUE(log.contains("Invalid rectangle type: size\n"));
        EXPECT_EQ(SCALER_RECT_CLIP, esc.eRectType);
        EXPECT_EQ(1.0, esc.aPitch[0]);
    }
    {
        // the type is read before the chroma mode fails; the rest is not read
        LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE,
                  esc.load(listOf({{"ESC_RECT_TYPE", {"outsize"}}, {"ESC_CHROMA_MODE", {"cosited"}}, {"ESC_PITCH", {"2", "2"}}})));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_ESC]: load():"));
        EXPECT_TRUE(log.contains("Invalid chroma mode: cosited\n"));
        EXPECT_EQ(SCALER_RECT_SIZE, esc.eRectType);
        EXPECT_FALSE(esc.bChromaInterstitial);
        EXPECT_EQ(1.0, esc.aPitch[0]);
    }
    ParameterList saved;
    esc.save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ(std::vector<std::string>{"co-sited"}, valuesOf(saved, "ESC_CHROMA_MODE"));
    EXPECT_EQ(std::vector<std::string>{"outsize"}, valuesOf(saved, "ESC_RECT_TYPE"));

    // a type without a name: the encoder scaler refuses, the display scaler writes croprect
    esc.eRectType = static_cast<ScalerRectType>(3);
    dsc.eRectType = static_cast<ScalerRectType>(3);
    ParameterList escList, dscList;
    {
        LogCapture log;
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, esc.save(escList, ModuleBase::SAVE_VAL));
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_ESC]: save():"));
        EXPECT_TRUE(log.contains("Invalid rectangle type: 3\n"));
    }
    EXPECT_EQ(0u, escList.size());
    EXPECT_TRUE(escList.hasGroup("ModuleESC"));
    EXPECT_EQ(QOV_SUCCESS, dsc.save(dscList, ModuleBase::SAVE_VAL));
    EXPECT_EQ(std::vector<std::string>{"croprect"}, valuesOf(dscList, "DSC_RECT_TYPE"));
}

TEST_F(ScalerModuleTest, SavedTexts)
{
    EXPECT_EQ("// Encoder pipeline Scaler parameters\n"
              "ESC_ADJUST_CUTOFF_FREQ 0 // bool {0,1}\n"
              "ESC_CHROMA_MODE inter // {inter, co-sited}\n"
              "ESC_PITCH 1 1 // double[2] range=[0,16]\n"
              "ESC_RECT 0 0 0 0 // int[4] range=[0,8192]\n"
              "ESC_RECT_TYPE croprect // {cliprect, croprect, outsize}\n"
              "\n\n",
              savedText(ModuleESC(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ("// Display pipeline Scaler parameters\n"
              "DSC_ADJUST_CUTOFF_FREQ 0 // bool {0,1}\n"
              "DSC_PITCH 1 1 // double[2] range=[0,16]\n"
              "DSC_RECT 0 0 0 0 // int[4] range=[0,8192]\n"
              "DSC_RECT_TYPE croprect // {cliprect, croprect, outsize}\n"
              "\n\n",
              savedText(ModuleDSC(), ModuleBase::SAVE_DEF, true));
    EXPECT_EQ("// Encoder pipeline Scaler parameters\n"
              "ESC_ADJUST_CUTOFF_FREQ 1\n"
              "ESC_CHROMA_MODE inter // string\n"
              "ESC_PITCH 16 16\n"
              "ESC_RECT 8192 8192 8192 8192\n"
              "ESC_RECT_TYPE croprect // string\n"
              "\n\n",
              savedText(ModuleESC(), ModuleBase::SAVE_MAX, true));
    ParameterList min;
    ModuleDSC().save(min, ModuleBase::SAVE_MIN);
    EXPECT_EQ((std::vector<std::string>{"0", "0"}), valuesOf(min, "DSC_PITCH"));
    EXPECT_EQ(std::vector<std::string>{"0"}, valuesOf(min, "DSC_ADJUST_CUTOFF_FREQ"));
}

TEST_F(ScalerModuleTest, TheConversionDerivesPitchAndTapsFromTheRecord)
{
    ModuleESC *esc = add<ModuleESC>();
    ModuleDSC *dsc = add<ModuleDSC>();
    esc->load(listOf({{"ESC_RECT_TYPE", {"outsize"}}, {"ESC_PITCH", {"2", "2"}}, {"ESC_RECT", {"8", "4", "640", "360"}}}));
    dsc->load(listOf({{"DSC_PITCH", {"3", "3"}}, {"DSC_ADJUST_CUTOFF_FREQ", {"1"}}}));
    ASSERT_EQ(QOV_SUCCESS, esc->setup());
    ASSERT_EQ(QOV_SUCCESS, dsc->setup());
    CI_MODULE_ESC ciEsc{};
    CI_MODULE_DSC ciDsc{};
    ciDsc.bIsDisplay = QOV_TRUE;  // as the pipeline's display record
    int mask = 0;
    ASSERT_EQ(QOV_SUCCESS, MC_ESCConvert(&mc().sESC, &ciEsc, QOV_FALSE, &mask));
    ASSERT_EQ(QOV_SUCCESS, MC_DSCConvert(&mc().sDSC, &ciDsc, &mask));
    EXPECT_EQ(2u << 15, ciEsc.aPitch[0]);
    EXPECT_EQ(2u << 15, ciEsc.aPitch[1]);
    EXPECT_EQ(3u << 15, ciDsc.aPitch[0]);
    EXPECT_EQ(640 / 2 - 1, ciEsc.aOutputSize[0]);
    EXPECT_EQ(360 - 1, ciEsc.aOutputSize[1]);
    EXPECT_EQ(8, ciEsc.aOffset[0]);
    EXPECT_EQ(4, ciEsc.aOffset[1]);
    EXPECT_EQ(640 / 2 - 1, ciDsc.aOutputSize[0]);
    // every phase of the taps sums to 64
    for (int phase = 0; phase < 4; phase++) {
        EXPECT_EQ(64, std::accumulate(ciEsc.HLuma + 16 * phase, ciEsc.HLuma + 16 * (phase + 1), 0)) << phase;
        EXPECT_EQ(64, std::accumulate(ciEsc.VLuma + 8 * phase, ciEsc.VLuma + 8 * (phase + 1), 0)) << phase;
        EXPECT_EQ(64, std::accumulate(ciDsc.HLuma + 8 * phase, ciDsc.HLuma + 8 * (phase + 1), 0)) << phase;
    }
}

}  // namespace
}  // namespace scaler_geometry
