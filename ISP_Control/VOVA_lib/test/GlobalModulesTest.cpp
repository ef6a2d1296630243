// The setup-module family through its first three modules: keys read into
// fields, the four kinds of saving with the exact default texts, the saved
// groups, and the records set-up writes, down to what reaches the driver.
#include <functional>
#include <memory>
#include <vector>

#include "mc/mc_conversions.h"
#include "vova/Connection.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleHIS.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/ModuleWBS.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

using Values = std::vector<std::string>;

ParameterList listOf(std::initializer_list<std::pair<const char *, Values>> entries)
{
    ParameterList list;
    for (const auto &e : entries)
        list.addParameter(Parameter(e.first, e.second), true);
    return list;
}

// A pipeline on the board over a sensor of the given size, with the three modules.
class GlobalModules : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        sensor.uiWidth = 1920;
        sensor.uiHeight = 1080;
        sensor.eBayerFormat = MOSAIC_GRBG;
        connection = std::make_unique<CI_Connection>();
        pipeline = std::make_unique<Pipeline>(connection->getConnection(), 0, &sensor);
        ASSERT_EQ(VOVA_Ctx_INIT, pipeline->getStatus());
        out = new ModuleOUT();
        iif = new ModuleIIF();
        blc = new ModuleBLC();
        for (SetupModule *m : std::initializer_list<SetupModule *>{out, iif, blc})
            ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(m));
    }
    void TearDown() override
    {
        pipeline.reset();
        connection.reset();
        vovatest::BoardTest::TearDown();
    }

    Sensor sensor;
    std::unique_ptr<CI_Connection> connection;
    std::unique_ptr<Pipeline> pipeline;
    ModuleOUT *out = nullptr;
    ModuleIIF *iif = nullptr;
    ModuleBLC *blc = nullptr;
};

/*-------------------------------------------------------------------------
 * Black level
 *-------------------------------------------------------------------------*/

struct BlackCase {
    ParameterList list;
    std::array<QOV_INT32, 4> black;
    QOV_UINT32 system;
    std::array<QOV_INT8, 4> offsets;
};

TEST_F(GlobalModules, BlackLevelKeysFieldsAndOffsets)
{
    const BlackCase cases[] = {
        {ParameterList(), {127, 127, 127, 127}, 64, {-127, -127, -127, -127}},
        {listOf({{"BLC_SENSOR_BLACK", {"16", "16", "16"}}}), {16, 16, 16, 127}, 64, {-16, -16, -16, -127}},
        // clamped to the range; -128 saturates to the largest offset instead of wrapping
        {listOf({{"BLC_SENSOR_BLACK", {"200", "-20", "-128", "abc"}}, {"BLC_SYS_BLACK", {"40000"}}}),
         {127, -20, -128, 127}, 32767, {-127, 20, 127, -127}},
        {listOf({{"BLC_SENSOR_BLACK", {" 5", "0", "1", "2"}}, {"BLC_SYS_BLACK", {" 5"}}}), {127, 0, 1, 2}, 64,
         {-127, 0, -1, -2}},
    };
    MC_PIPELINE &mc = *pipeline->getMCPipeline();
    for (const BlackCase &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, blc->load(c.list));
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(c.black[i], blc->aSensorBlack[i]) << i;
        EXPECT_EQ(c.system, blc->ui32SystemBlack);
        mc.sBLC.updateNeeded = QOV_FALSE;
        ASSERT_EQ(QOV_SUCCESS, blc->setup());
        EXPECT_TRUE(blc->isSetup());
        EXPECT_TRUE(mc.sBLC.updateNeeded);
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(c.offsets[i], mc.sBLC.aFixedOffset[i]) << i;
        EXPECT_EQ(c.system, mc.ui16SystemBlackLevel);
        EXPECT_DOUBLE_EQ(64.0, mc.sBLC.ui16PixelMax);
        EXPECT_FALSE(mc.sBLC.bBlackFrame);
        EXPECT_FALSE(mc.sBLC.bRowAverage);
    }
}

/*-------------------------------------------------------------------------
 * Saving: the four kinds and the groups
 *-------------------------------------------------------------------------*/

struct SavedKey {
    ModuleBase::SaveType type;
    const char *key;
    Values values;
    const char *info;
};

TEST_F(GlobalModules, SavedKeysInEveryKind)
{
    sensor.eBayerFormat = MOSAIC_BGGR;
    ASSERT_EQ(QOV_SUCCESS, iif->load(listOf({{"IIF_DECIMATION", {"2", "3"}}, {"IIF_CAP_RECT_TL", {"4", "6"}}})));
    ASSERT_EQ(QOV_SUCCESS, out->load(listOf({{"OUT_ENC", {"NV12"}}, {"OUT_DE", {"BAYER10"}}, {"OUT_DE_POINT", {"2"}}})));
    const SavedKey keys[] = {
        {ModuleBase::SAVE_VAL, "BLC_SENSOR_BLACK", {"127", "127", "127", "127"}, ""},
        {ModuleBase::SAVE_VAL, "BLC_SYS_BLACK", {"64"}, ""},
        {ModuleBase::SAVE_VAL, "IIF_CAP_RECT_TL", {"4", "6"}, ""},
        {ModuleBase::SAVE_VAL, "IIF_CAP_RECT_BR", {"1919", "1079"}, ""},
        {ModuleBase::SAVE_VAL, "IIF_DECIMATION", {"2", "3"}, ""},
        {ModuleBase::SAVE_VAL, "IIF_BAYER_FORMAT", {"BGGR"}, ""},
        {ModuleBase::SAVE_VAL, "OUT_ENC", {"NV12"}, ""},
        {ModuleBase::SAVE_VAL, "OUT_DISP", {"NONE"}, ""},
        {ModuleBase::SAVE_VAL, "OUT_DE", {"BAYER10"}, ""},
        {ModuleBase::SAVE_VAL, "OUT_DE_POINT", {"2"}, ""},
        {ModuleBase::SAVE_MIN, "BLC_SENSOR_BLACK", {"-128", "-128", "-128", "-128"}, ""},
        {ModuleBase::SAVE_MIN, "BLC_SYS_BLACK", {"0"}, ""},
        {ModuleBase::SAVE_MIN, "IIF_DECIMATION", {"1", "1"}, ""},
        {ModuleBase::SAVE_MIN, "IIF_BAYER_FORMAT", {"RGGB"}, "string"},
        {ModuleBase::SAVE_MIN, "OUT_DE_POINT", {"1"}, ""},
        {ModuleBase::SAVE_MIN, "OUT_DISP", {"NONE"}, "string"},
        {ModuleBase::SAVE_MAX, "BLC_SENSOR_BLACK", {"127", "127", "127", "127"}, ""},
        {ModuleBase::SAVE_MAX, "BLC_SYS_BLACK", {"32767"}, ""},
        {ModuleBase::SAVE_MAX, "IIF_CAP_RECT_BR", {"8192", "8192"}, ""},
        {ModuleBase::SAVE_MAX, "IIF_DECIMATION", {"16", "16"}, ""},
        {ModuleBase::SAVE_MAX, "OUT_DE_POINT", {"3"}, ""},
        {ModuleBase::SAVE_DEF, "BLC_SENSOR_BLACK", {"127", "127", "127", "127"}, "int[4] range=[-128,127]"},
        {ModuleBase::SAVE_DEF, "BLC_SYS_BLACK", {"64"}, "int range=[0,32767]"},
        {ModuleBase::SAVE_DEF, "IIF_CAP_RECT_TL", {"0", "0"}, "int[2] range=[0,8192]"},
        {ModuleBase::SAVE_DEF, "IIF_CAP_RECT_BR", {"0", "0"}, "int[2] range=[0,8192]"},
        {ModuleBase::SAVE_DEF, "IIF_DECIMATION", {"1", "1"}, "int[2] range=[1,16]"},
        {ModuleBase::SAVE_DEF, "IIF_BAYER_FORMAT", {"RGGB"}, "{RGGB, GRBG, GBRG, BGGR}"},
        {ModuleBase::SAVE_DEF, "OUT_ENC", {"NONE"},
         "{NONE, NV21, NV12, NV61, NV16, NV21-10bit, NV12-10bit, NV61-10bit, NV16-10bit}"},
        {ModuleBase::SAVE_DEF, "OUT_DISP", {"NONE"},
         "{NONE, RGB888_24, RGB888_32, RGB101010_32, BGR888_24, BGR888_32, BGR101010_32, 444IL3YCrCb8, "
         "444IL3YCbCr8, 444IL3YCrCb10, 444IL3YCbCr10}"},
        {ModuleBase::SAVE_DEF, "OUT_DE", {"NONE"}, "{NONE, BAYER8, BAYER10, BAYER12}"},
        {ModuleBase::SAVE_DEF, "OUT_DE_POINT", {"1"}, "int range=[1,3]"},
        {ModuleBase::SAVE_DEF, "OUT_DE_HDF", {"NONE"}, "{NONE, BGR101010_32}"},
        {ModuleBase::SAVE_DEF, "OUT_DI_HDF", {"NONE"}, "{NONE, BGR161616_64}"},
        {ModuleBase::SAVE_DEF, "OUT_DE_RAW2D", {"NONE"}, "{NONE, TIFF10, TIFF12}"},
    };
    for (ModuleBase::SaveType t :
         {ModuleBase::SAVE_VAL, ModuleBase::SAVE_MIN, ModuleBase::SAVE_MAX, ModuleBase::SAVE_DEF}) {
        ParameterList saved;
        ASSERT_EQ(QOV_SUCCESS, pipeline->saveAll(saved, t));
        EXPECT_EQ(2u + 4u + 7u, saved.size());
        for (const SavedKey &k : keys) {
            if (k.type != t)
                continue;
            SCOPED_TRACE(std::string(k.key) + " kind " + std::to_string(t));
            const Parameter *p = saved.getParameter(k.key);
            ASSERT_NE(nullptr, p);
            EXPECT_EQ(k.values, p->getValues());
            EXPECT_EQ(k.info, p->getInfo());
        }
    }
}

TEST_F(GlobalModules, GroupsAreRegisteredOnceUnderTheClassName)
{
    struct Group {
        const char *name;
        const char *header;
        std::set<std::string> keys;
    } const groups[] = {
        {"ModuleBLC", "// Black Level Correction parameters", {"BLC_SENSOR_BLACK", "BLC_SYS_BLACK"}},
        {"ModuleIIF", "// Imager Interface parameters",
         {"IIF_CAP_RECT_TL", "IIF_CAP_RECT_BR", "IIF_DECIMATION", "IIF_BAYER_FORMAT"}},
        {"ModuleOUT", "// Output formats parameters",
         {"OUT_ENC", "OUT_DISP", "OUT_DE", "OUT_DE_POINT", "OUT_DE_HDF", "OUT_DI_HDF", "OUT_DE_RAW2D"}},
    };
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, pipeline->saveAll(saved, ModuleBase::SAVE_VAL));
    blc->aSensorBlack[0] = 3;
    ASSERT_EQ(QOV_SUCCESS, pipeline->saveAll(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("3", saved.getParameter("BLC_SENSOR_BLACK")->getString(0));
    for (const Group &g : groups) {
        ASSERT_TRUE(saved.hasGroup(g.name)) << g.name;
        EXPECT_EQ(g.header, saved.getGroup(g.name).header);
        EXPECT_EQ(g.keys, saved.getGroup(g.name).parameters);
    }
    // a kind that is none of the four registers the group only
    ParameterList other;
    EXPECT_EQ(QOV_SUCCESS, blc->save(other, static_cast<ModuleBase::SaveType>(7)));
    EXPECT_EQ(0u, other.size());
    EXPECT_TRUE(other.hasGroup("ModuleBLC"));
}

/*-------------------------------------------------------------------------
 * Imager interface
 *-------------------------------------------------------------------------*/

struct RectCase {
    ParameterList list;
    std::array<QOV_UINT32, 2> tl, br, decimation;  // decimation as stored (minus one)
    std::array<QOV_UINT16, 2> cells;
};

TEST_F(GlobalModules, CaptureRectangleAndDecimationLimitedToTheSensor)
{
    const RectCase cases[] = {
        {ParameterList(), {0, 0}, {1919, 1079}, {0, 0}, {960, 540}},
        {listOf({{"IIF_CAP_RECT_BR", {"5000", "5000"}}}), {0, 0}, {1919, 1079}, {0, 0}, {960, 540}},
        {listOf({{"IIF_DECIMATION", {"2", "2"}}}), {0, 0}, {1919, 1079}, {1, 1}, {480, 270}},
        // an odd width of pixels: its last half cell counts
        {listOf({{"IIF_CAP_RECT_BR", {"1918", "1078"}}}), {0, 0}, {1918, 1078}, {0, 0}, {960, 540}},
        {listOf({{"IIF_DECIMATION", {"0", "40"}}, {"IIF_CAP_RECT_TL", {"8", "x"}}, {"IIF_CAP_RECT_BR", {"647", "479"}}}),
         {8, 0}, {647, 479}, {0, 15}, {320, 15}},
        // a rectangle that ends inside a cell counts that cell
        {listOf({{"IIF_CAP_RECT_BR", {"640", "480"}}}), {0, 0}, {640, 480}, {0, 0}, {321, 241}},
        {listOf({{"IIF_DECIMATION", {"2", "2"}}, {"IIF_CAP_RECT_BR", {"642", "482"}}}), {0, 0}, {642, 482}, {1, 1},
         {161, 121}},
    };
    MC_PIPELINE &mc = *pipeline->getMCPipeline();
    for (const RectCase &c : cases) {
        ASSERT_EQ(QOV_SUCCESS, iif->load(c.list));
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(c.tl[i], iif->aCropTL[i]);
            EXPECT_EQ(c.br[i], iif->aCropBR[i]);
            EXPECT_EQ(c.decimation[i], iif->aDecimation[i]);
        }
        ASSERT_EQ(QOV_SUCCESS, iif->setup());
        EXPECT_TRUE(mc.sIIF.updateNeeded);
        EXPECT_EQ(MOSAIC_GRBG, mc.sIIF.eBayerFormat);
        for (int i = 0; i < 2; i++) {
            EXPECT_EQ(c.cells[i], mc.sIIF.ui16ImagerSize[i]);
            EXPECT_EQ(c.tl[i], mc.sIIF.ui16ImagerOffset[i]);
            EXPECT_EQ(c.decimation[i], mc.sIIF.ui16ImagerDecimation[i]);
        }
    }
    // the top-left may reach the sensor size, one past the last pixel
    ASSERT_EQ(QOV_SUCCESS, iif->load(listOf({{"IIF_CAP_RECT_TL", {"5000", "5000"}}})));
    EXPECT_EQ(1920u, iif->aCropTL[0]);
    EXPECT_EQ(1080u, iif->aCropTL[1]);
}

TEST_F(GlobalModules, RectangleWithoutAWholeCellIsRefusedAtSetUpKeepingTheKeys)
{
    MC_PIPELINE &mc = *pipeline->getMCPipeline();
    const std::pair<Values, Values> rectangles[] = {
        {{"100", "0"}, {"50", "1079"}},     // top-left right of bottom-right
        {{"0", "600"}, {"1919", "599"}},    // top-left just below bottom-right
        {{"1920", "1080"}, {"5000", "5000"}},
    };
    for (const auto &r : rectangles) {
        ASSERT_EQ(QOV_SUCCESS, iif->load(listOf({{"IIF_CAP_RECT_TL", r.first}, {"IIF_CAP_RECT_BR", r.second}})));
        const QOV_UINT32 tl0 = iif->aCropTL[0], br0 = iif->aCropBR[0];
        mc.sIIF.updateNeeded = QOV_FALSE;
        iif->clearFlags();
        const MC_IIF before = mc.sIIF;
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, iif->setup());
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_IIF]: setup()")) << log.text();
        EXPECT_TRUE(log.contains("holds no whole 2x2 cell")) << log.text();
        EXPECT_FALSE(iif->isSetup());
        EXPECT_EQ(0, memcmp(&before, &mc.sIIF, sizeof before));
        EXPECT_EQ(tl0, iif->aCropTL[0]);
        EXPECT_EQ(br0, iif->aCropBR[0]);
    }
}

TEST_F(GlobalModules, ImagerInterfaceNeedsThePipelineAndItsSensor)
{
    ModuleIIF alone;
    const std::string noSensor = "Pipeline does not have a sensor to get information from!";
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, alone.load(ParameterList()));
        EXPECT_EQ(QOV_ERROR_WRONG_STATE, alone.setup());
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_IIF]: load():")) << log.text();
        EXPECT_TRUE(log.contains("Pipeline pointer not setup!")) << log.text();
        EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_IIF]: setup():")) << log.text();
        EXPECT_TRUE(log.contains("pipeline not set!")) << log.text();
    }
    pipeline->setSensor(nullptr);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, iif->load(ParameterList()));
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, iif->setup());
    ParameterList saved;
    EXPECT_EQ(QOV_SUCCESS, iif->save(saved, ModuleBase::SAVE_VAL));
    EXPECT_FALSE(saved.exists("IIF_BAYER_FORMAT"));
    EXPECT_TRUE(saved.exists("IIF_DECIMATION"));
    EXPECT_TRUE(log.contains(noSensor)) << log.text();
    EXPECT_TRUE(log.contains("Cannot save sensor's Bayer format as attached pipeline does not have a sensor!"));
    pipeline->setSensor(&sensor);
}

/*-------------------------------------------------------------------------
 * Output formats
 *-------------------------------------------------------------------------*/

struct OutCase {
    ParameterList list;
    QOV_RESULT result;
    pxlFormat enc, disp, de;
    CI_INOUT_POINTS point;
    const char *logged;  // "" when nothing is logged
};

TEST_F(GlobalModules, OutputFormatNamesAndTheDataExtractionPoint)
{
    const OutCase cases[] = {
        {ParameterList(), QOV_SUCCESS, PXL_NONE, PXL_NONE, PXL_NONE, CI_INOUT_NONE,
         "DE point 0 forced to NONE and DE format NONE forced to NONE because one of them is NONE"},
        {listOf({{"OUT_DE", {"BAYER10"}}, {"OUT_DE_POINT", {"3"}}}), QOV_SUCCESS, PXL_NONE, PXL_NONE, PXL_NONE,
         CI_INOUT_NONE, "DE point 2 forced to NONE and DE format RGGB10 forced to NONE because one of them is NONE"},
        {listOf({{"OUT_DE", {"NONE"}}, {"OUT_DE_POINT", {"3"}}}), QOV_SUCCESS, PXL_NONE, PXL_NONE, PXL_NONE,
         CI_INOUT_NONE, ""},
        {listOf({{"OUT_DE", {"NV21"}}, {"OUT_DE_POINT", {"0"}}}), QOV_SUCCESS, PXL_NONE, PXL_NONE, YVU_420_PL12_8,
         CI_INOUT_BLACK_LEVEL, ""},
        {listOf({{"OUT_DE", {"BAYER12"}}, {"OUT_DE_POINT", {"x"}}, {"OUT_DISP", {"444IL3YCbCr10"}}}), QOV_SUCCESS,
         PXL_NONE, PXL_ISP_444IL3YCbCr10, BAYER_RGGB_12, CI_INOUT_BLACK_LEVEL, ""},
        {listOf({{"OUT_ENC", {"420PL12YUV10"}}, {"OUT_DE", {"NONE"}}, {"OUT_DE_POINT", {"3"}}}), QOV_SUCCESS,
         YVU_420_PL12_10, PXL_NONE, PXL_NONE, CI_INOUT_NONE,
         "deprecated 420PL12YUV10 format used - use NV21-10bit instead"},
        {listOf({{"OUT_DISP", {"NV21"}}, {"OUT_DE_POINT", {"3"}}}), QOV_ERROR_INVALID_ARGUMENT, PXL_NONE, PXL_INVALID,
         PXL_NONE, CI_INOUT_NONE, "INVALID PIXEL FORMAT"},
    };
    for (const OutCase &c : cases) {
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, out->load(c.list));
        EXPECT_EQ(c.enc, out->encoderType);
        EXPECT_EQ(c.disp, out->displayType);
        EXPECT_EQ(c.de, out->dataExtractionType);
        EXPECT_EQ(c.point, out->dataExtractionPoint);
        if (*c.logged)
            EXPECT_TRUE(log.contains(c.logged)) << log.text();
        else
            EXPECT_EQ("", log.text());
    }
    ParameterList saved;
    out->save(saved, ModuleBase::SAVE_VAL);
    EXPECT_EQ("?fmt?", saved.getParameter("OUT_DISP")->getString(0));
}

TEST_F(GlobalModules, OutputSetupDropsWhatTheHardwareCannotDo)
{
    MC_PIPELINE &mc = *pipeline->getMCPipeline();
    out->displayType = RGB_888_32;
    out->dataExtractionType = BAYER_RGGB_10;
    out->dataExtractionPoint = CI_INOUT_BLACK_LEVEL;
    out->raw2DExtractionType = BAYER_TIFF_10;
    ASSERT_EQ(QOV_SUCCESS, out->setup());
    EXPECT_EQ(RGB_888_32, mc.eDispOutput);  // the display wins over the data extraction
    EXPECT_EQ(CI_INOUT_NONE, mc.eDEPoint);
    EXPECT_EQ(BAYER_TIFF_10, mc.eRaw2DExtOutput);

    out->displayType = PXL_NONE;
    CI_CONNECTION *c = pipeline->getConnection();
    const QOV_UINT32 functions = c->sHWInfo.eFunctionalities;
    c->sHWInfo.eFunctionalities = 0;
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, out->setup());
    c->sHWInfo.eFunctionalities = functions;
    EXPECT_EQ(BAYER_RGGB_10, mc.eDispOutput);
    EXPECT_EQ(CI_INOUT_BLACK_LEVEL, mc.eDEPoint);
    EXPECT_EQ(PXL_NONE, mc.eRaw2DExtOutput);
    EXPECT_EQ(BAYER_TIFF_10, out->raw2DExtractionType);
    EXPECT_TRUE(log.contains("RAW2D Extraction format ignored because HW 2.7 does not support it")) << log.text();
}

TEST_F(GlobalModules, WholeImageRegionEndsAtTheLastPixel)
{
    MC_IIF record{};
    record.ui16ImagerSize[0] = 960;
    record.ui16ImagerSize[1] = 540;
    QOV_UINT32 start[2], end[2];
    ModuleOUT::wholeImageRegion(record, start, end);
    EXPECT_EQ(0u, start[0]);
    EXPECT_EQ(0u, start[1]);
    EXPECT_EQ(1919u, end[0]);
    EXPECT_EQ(1079u, end[1]);
}

struct WorkaroundCase {
    const char *what;
    std::function<void(ModuleOUT &, ModuleHIS &, ModuleWBS &, ModuleFLD &, ModuleDPF &, ModuleFOS &)> change;
    bool forced;
};

TEST_F(GlobalModules, DataExtractionAloneAtPointTwoSwitchesTheFocusRegionOn)
{
    auto *fos = new ModuleFOS();
    auto *his = new ModuleHIS();
    auto *wbs = new ModuleWBS();
    auto *fld = new ModuleFLD();
    auto *dpf = new ModuleDPF();
    for (SetupModule *m : std::initializer_list<SetupModule *>{fos, his, wbs, fld, dpf})
        ASSERT_EQ(QOV_SUCCESS, pipeline->registerModule(m));
    const WorkaroundCase cases[] = {
        {"every statistics block off", [](auto &...) {}, true},
        {"display as well", [](ModuleOUT &o, auto &...) { o.displayType = RGB_888_32; }, true},
        {"point 1", [](ModuleOUT &o, auto &...) { o.dataExtractionPoint = CI_INOUT_BLACK_LEVEL; }, false},
        {"encoder as well", [](ModuleOUT &o, auto &...) { o.encoderType = YVU_420_PL12_8; }, false},
        {"RAW 2D as well", [](ModuleOUT &o, auto &...) { o.raw2DExtractionType = BAYER_TIFF_10; }, false},
        {"global histogram", [](ModuleOUT &, ModuleHIS &h, auto &...) { h.bEnableGlobal = true; }, false},
        {"regional histograms", [](ModuleOUT &, ModuleHIS &h, auto &...) { h.bEnableROI = true; }, false},
        {"white-balance region",
         [](ModuleOUT &, ModuleHIS &, ModuleWBS &w, auto &...) { w.ui32NROIEnabled = 1; }, false},
        {"flicker detection",
         [](ModuleOUT &, ModuleHIS &, ModuleWBS &, ModuleFLD &f, auto &...) { f.bEnable = true; }, false},
        {"defect map output",
         [](ModuleOUT &, ModuleHIS &, ModuleWBS &, ModuleFLD &, ModuleDPF &d, auto &) { d.bWrite = true; }, false},
        {"focus grid",
         [](ModuleOUT &, ModuleHIS &, ModuleWBS &, ModuleFLD &, ModuleDPF &, ModuleFOS &f) { f.bEnableGrid = true; },
         false},
        {"focus region",
         [](ModuleOUT &, ModuleHIS &, ModuleWBS &, ModuleFLD &, ModuleDPF &, ModuleFOS &f) {
             f.bEnableROI = true;
             f.aRoiStartCoord[0] = 8;
             f.aRoiEndCoord[1] = 100;
         },
         false},
        {"HDR extraction as well", [](ModuleOUT &o, auto &...) { o.hdrExtractionType = BGR_101010_32; }, false},
        {"HDR insertion as well", [](ModuleOUT &o, auto &...) { o.hdrInsertionType = BGR_161616_64; }, true},
        {"no format", [](ModuleOUT &o, auto &...) { o.dataExtractionType = PXL_NONE; }, false},
    };
    for (const WorkaroundCase &c : cases) {
        SCOPED_TRACE(c.what);
        for (SetupModule *m : std::initializer_list<SetupModule *>{out, fos, his, wbs, fld, dpf}) {
            m->load(ParameterList());
            m->clearFlags();
        }
        out->dataExtractionType = BAYER_RGGB_10;
        out->dataExtractionPoint = CI_INOUT_FILTER_LINESTORE;
        c.change(*out, *his, *wbs, *fld, *dpf, *fos);
        const bool regionBefore = fos->bEnableROI;
        const QOV_UINT32 startBefore = fos->aRoiStartCoord[0], endBefore = fos->aRoiEndCoord[1];
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, out->setup());
        EXPECT_EQ(c.forced, log.contains("DE workaround: enabling FOS because only DE point 2 enabled.\n"))
            << log.text();
        EXPECT_EQ(c.forced || regionBefore, fos->bEnableROI);
        EXPECT_EQ(c.forced, fos->isUpdateRequested());
        if (!c.forced) {
            EXPECT_EQ(startBefore, fos->aRoiStartCoord[0]);
            EXPECT_EQ(endBefore, fos->aRoiEndCoord[1]);
        }
        if (c.forced) {
            // the sensor's 1920 x 1080 pixels, the end corner included
            EXPECT_EQ(0u, fos->aRoiStartCoord[0]);
            EXPECT_EQ(0u, fos->aRoiStartCoord[1]);
            EXPECT_EQ(1919u, fos->aRoiEndCoord[0]);
            EXPECT_EQ(1079u, fos->aRoiEndCoord[1]);
        }
    }
}

TEST_F(GlobalModules, DataExtractionWorkaroundNeedsTheFocusModule)
{
    out->dataExtractionType = BAYER_RGGB_10;
    out->dataExtractionPoint = CI_INOUT_FILTER_LINESTORE;
    vovatest::LogCapture log;
    ASSERT_EQ(QOV_SUCCESS, out->setup());
    EXPECT_FALSE(log.contains("DE workaround")) << log.text();
}

/*-------------------------------------------------------------------------
 * What reaches the driver
 *-------------------------------------------------------------------------*/

TEST_F(GlobalModules, SetUpRecordsReachTheDriverDownToTheLoadStructure)
{
    ASSERT_EQ(QOV_SUCCESS, out->load(listOf({{"OUT_ENC", {"NV21"}}})));
    ASSERT_EQ(QOV_SUCCESS, iif->load(listOf({{"IIF_CAP_RECT_TL", {"64", "32"}},
                                             {"IIF_CAP_RECT_BR", {"1343", "751"}},
                                             {"IIF_DECIMATION", {"2", "1"}}})));
    ASSERT_EQ(QOV_SUCCESS, blc->load(listOf({{"BLC_SENSOR_BLACK", {"16", "-5", "127", "-128"}},
                                             {"BLC_SYS_BLACK", {"100"}}})));
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupAll());
    ASSERT_EQ(QOV_SUCCESS, pipeline->programPipeline(false));
    ASSERT_EQ(VOVA_Ctx_SETUP, pipeline->getStatus());
    auto view = driver->pipeline(driver->pipelineIds().at(0));
    ASSERT_TRUE(view);
    const CI_MODULE_IIF &hwIIF = view->info.iifConfig;
    EXPECT_EQ(64, hwIIF.ui16ImagerOffset[0]);
    EXPECT_EQ(32, hwIIF.ui16ImagerOffset[1]);
    EXPECT_EQ(320 - 1, hwIIF.ui16ImagerSize[0]);  // (1343 - 64 + 2) / 4 cells
    EXPECT_EQ(360 - 1, hwIIF.ui16ImagerSize[1]);  // (751 - 32 + 2) / 2 cells
    EXPECT_EQ(1, hwIIF.ui16ImagerDecimation[0]);
    EXPECT_EQ(0, hwIIF.ui16ImagerDecimation[1]);
    EXPECT_EQ(MOSAIC_GRBG, hwIIF.eBayerFormat);
    // black offsets -16, 5, -127, 127 in bytes 0 to 3 of word 5
    EXPECT_EQ(0x7F8105F0u, view->loadStructure[5]);
    EXPECT_EQ(100, view->info.config.ui16SysBlackLevel);
    EXPECT_EQ(0u, view->loadStructure[3]);  // no black frame, no row average
}

TEST_F(GlobalModules, GlobalSetupReadsTheModules)
{
    ASSERT_EQ(QOV_SUCCESS, iif->load(listOf({{"IIF_DECIMATION", {"2", "2"}}})));
    ASSERT_EQ(QOV_SUCCESS, out->load(listOf({{"OUT_DE", {"BAYER10"}}, {"OUT_DE_POINT", {"1"}}})));
    blc->ui32SystemBlack = 80;
    ASSERT_EQ(QOV_SUCCESS, pipeline->setupAll());
    QOV_RESULT ret = QOV_ERROR_FAILURE;
    Global_Setup g = pipeline->getGlobalSetup(&ret);
    EXPECT_EQ(QOV_SUCCESS, ret);
    EXPECT_EQ(960u, g.ui32ImageWidth);
    EXPECT_EQ(540u, g.ui32ImageHeight);
    EXPECT_EQ(960u, g.ui32DispWidth);  // the data extraction takes the display path at full size
    EXPECT_EQ(80u, g.ui32SystemBlack);
    EXPECT_EQ(1920u, g.ui32Sensor_width);

    pipeline->clearModules();
    vovatest::LogCapture log;
    g = pipeline->getGlobalSetup(&ret);
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, ret);
    EXPECT_EQ(0xFFFFFFFFu, g.ui32DispWidth);
    EXPECT_EQ(64u, g.ui32SystemBlack);
    EXPECT_TRUE(log.contains("Pipeline has no registered ModuleOUT!")) << log.text();
}

}  // namespace
