// Shots: filling from a capture-interface shot (sizes, raw blocks, the
// defect-map check), releasing, frame errors and control loops on acquire,
// saving a camera's parameters, and the camera factory's lists.
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

// Byte offset of the defect-pixel counters in the statistics block.
const size_t kDPFCounters = 5444;

std::vector<QOV_UINT8> readBinary(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<QOV_UINT8>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A loop that counts the shots it saw and can fail.
class CountingLoop : public ControlModuleBase<CTRL_AE> {
public:
    CountingLoop(int *updates, bool fail) : ControlModuleBase<CTRL_AE>("TEST_AE"), m_updates(updates), m_fail(fail) {}
    QOV_RESULT load(const ParameterList &) override { return QOV_SUCCESS; }
    QOV_RESULT save(ParameterList &, ModuleBase::SaveType) const override { return QOV_SUCCESS; }
    QOV_RESULT programCorrection() override { return QOV_SUCCESS; }
    QOV_RESULT update(const Metadata &) override
    {
        ++*m_updates;
        return m_fail ? QOV_ERROR_FAILURE : QOV_SUCCESS;
    }
    QOV_RESULT configureStatistics() override { return QOV_SUCCESS; }
    bool hasConverged() const override { return false; }

private:
    int *m_updates;
    bool m_fail;
};

class CapturingCamera : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        placeChip();
        camera = std::make_unique<Camera>(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
        ParameterList list;
        list.addParameter(Parameter("OUT_DISP", "RGB888_24"), true);
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(list));
        ASSERT_EQ(QOV_SUCCESS, camera->program());
        ASSERT_EQ(QOV_SUCCESS, camera->allocateBufferPool(2));
    }
    void TearDown() override
    {
        camera.reset();
        vovatest::BoardTest::TearDown();
    }
    std::unique_ptr<Camera> camera;
};

// A shot acquired from the board, then described again from its
// capture-interface record with some of the record's fields replaced (the
// record's own values are put back before the release).
TEST_F(CapturingCamera, RawBlocksTakeTheDriversSizesAndTheDefectCountIsCheckedWithoutWrapping)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    EXPECT_EQ(simboard::kIspStatisticsSize, shot.stats.size);
    CI_SHOT *ci = shot.pCIBuffer;
    const CI_SHOT original = *ci;
    std::vector<QOV_UINT8> statistics(8192, 0), dpf(80, 0);
    memcpy(statistics.data(), ci->pStatistics, simboard::kIspStatisticsSize);
    ci->pStatistics = statistics.data();
    ci->statsSize = 8192;
    ci->pDefectPixelMap = dpf.data();
    ci->uiDPFSize = 80;
    std::vector<QOV_UINT8> ens(64, 0);
    ci->pENSOutput = ens.data();
    ci->uiENSSize = 64;
    ci->aDispSize[0] = 280000;  // more than 16 bits hold

    ModuleOUT out;
    out.displayType = BGR_888_32;
    Global_Setup setup;
    setup.ui32DispWidth = 70000;
    setup.ui32DispHeight = 2;
    struct Case {
        QOV_UINT32 modifications;
        QOV_UINT32 size;  // of the defect-map block; 0: refused
    } const cases[] = {
        {11, 0},           // 88 bytes expected, 80 held
        {10, 80},          // fits exactly
        {0x20000001u, 0},  // 8 x (2^29 + 1) would wrap to 8 in 32 bits
    };
    for (const Case &c : cases) {
        const QOV_UINT32 counters[3] = {0, c.modifications, 0};
        memcpy(statistics.data() + kDPFCounters, counters, sizeof counters);
        Shot described;
        vovatest::LogCapture log;
        described.configure(ci, out, setup);
        EXPECT_EQ(c.size, described.DPF.size) << c.modifications;
        EXPECT_EQ(c.size == 0,
                  log.contains("nb of correct pixels given by HW does not fit in buffer! DPF buffer not loaded"))
            << c.modifications;
        EXPECT_EQ(8192u, described.stats.size);
        EXPECT_EQ(8192u, described.stats.stride);
        EXPECT_EQ(4u, described.stats.elementSize);
        EXPECT_EQ(c.size == 0 ? 0u : 8u, described.DPF.elementSize);
        EXPECT_EQ(c.size == 0 ? 0u : 80u, described.DPF.stride);
        EXPECT_EQ(ens.data(), described.ENS.data);
        EXPECT_EQ(64u, described.ENS.stride);
        EXPECT_EQ(64u, described.ENS.size);
        EXPECT_EQ(8u, described.ENS.elementSize);
        EXPECT_EQ(280000u, described.DISPLAY.stride);
        EXPECT_EQ(70000u, described.DISPLAY.width);
        EXPECT_EQ(nullptr, described.DISPLAY.firstDataCbCr());
    }
    *ci = original;
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

// Every output and counter of the capture-interface record distinct: each
// lands in its own description and field, with its own size of the setup.
TEST_F(CapturingCamera, EveryOutputOfTheRecordLandsInItsOwnDescription)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    CI_SHOT *ci = shot.pCIBuffer;
    const CI_SHOT original = *ci;
    QOV_UINT8 memory[4] = {};
    ci->aEncYSize[0] = 2001, ci->aEncYSize[1] = 2002;
    ci->aEncCbCrSize[0] = 2003, ci->aEncCbCrSize[1] = 2004;
    ci->aEncOffset[0] = 2005, ci->aEncOffset[1] = 2006;
    ci->bEncTiled = 1, ci->pEncoderOutput = &memory[0], ci->encId = 21;
    ci->aDispSize[0] = 1001, ci->aDispSize[1] = 1002;
    ci->bDispTiled = 1, ci->pDisplayOutput = &memory[1], ci->dispId = 22;
    ci->aHDRExtSize[0] = 3001, ci->aHDRExtSize[1] = 3002;
    ci->bHDRExtTiled = 1, ci->pHDRExtOutput = &memory[2], ci->HDRExtId = 23;
    ci->aRaw2DSize[0] = 4001, ci->aRaw2DSize[1] = 4002;
    ci->pRaw2DExtOutput = &memory[3], ci->raw2DExtId = 24;
    ci->i32MissedFrames = 7, ci->bFrameError = 1;
    ci->ui32LinkedListTS = 31, ci->ui32InterruptTS = 32;
    ci->ui64LinkedListSysTime = 33, ci->ui64InterruptSysTime = 34;
    ci->uiDPFSize = 0, ci->pDefectPixelMap = &memory[0];  // sizes 0: no block, whatever the pointers
    ci->uiENSSize = 0, ci->pENSOutput = &memory[1];

    ModuleOUT out;
    out.displayType = RGB_888_32;
    out.encoderType = YUV_422_PL12_8;
    out.dataExtractionType = BAYER_RGGB_10;  // the display wins
    out.hdrExtractionType = BGR_101010_32;
    out.raw2DExtractionType = BAYER_TIFF_12;
    Global_Setup setup;
    setup.ui32DispWidth = 301, setup.ui32DispHeight = 302;
    setup.ui32ImageWidth = 401, setup.ui32ImageHeight = 402;
    setup.ui32EncWidth = 501, setup.ui32EncHeight = 502;
    struct Expected {
        QOV_UINT32 width, height, stride, vstride;
        const QOV_UINT8 *data;
        QOV_UINT32 id;
        bool tiled;
        pxlFormat format;
    };
    auto expect = [](const Expected &e, const Buffer &b, const char *what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(e.width, b.width);
        EXPECT_EQ(e.height, b.height);
        EXPECT_EQ(e.stride, b.stride);
        EXPECT_EQ(e.vstride, b.vstride);
        EXPECT_EQ(e.data, b.data);
        EXPECT_EQ(e.id, b.id);
        EXPECT_EQ(e.tiled, b.isTiled);
        EXPECT_EQ(e.format, b.pxlFormat);
    };
    Shot d;
    d.configure(ci, out, setup);
    expect({301, 302, 1001, 1002, &memory[1], 22, true, RGB_888_32}, d.DISPLAY, "display");
    EXPECT_EQ(nullptr, d.BAYER.data);
    expect({501, 502, 2001, 2002, &memory[0], 21, true, YUV_422_PL12_8}, d.YUV, "encoder");
    EXPECT_EQ(2003u, d.YUV.strideCbCr);
    EXPECT_EQ(2004u, d.YUV.vstrideCbCr);
    EXPECT_EQ(2005u, d.YUV.offset);
    EXPECT_EQ(2006u, d.YUV.offsetCbCr);
    expect({401, 402, 3001, 3002, &memory[2], 23, true, BGR_101010_32}, d.HDREXT, "HDR extraction");
    expect({401, 402, 4001, 4002, &memory[3], 24, false, BAYER_TIFF_12}, d.RAW2DEXT, "RAW 2D extraction");
    EXPECT_EQ(7, d.iMissedFrames);
    EXPECT_TRUE(d.bFrameError);
    EXPECT_EQ(31u, d.metadata.timestamps.ui32LinkedListUpdated);
    EXPECT_EQ(32u, d.metadata.timestamps.ui32InterruptServiced);
    EXPECT_EQ(33u, d.metadata.timestamps.ui64LinkedListSysTime);
    EXPECT_EQ(34u, d.metadata.timestamps.ui64InterruptSysTime);
    EXPECT_EQ(ci, d.pCIBuffer);
    for (const Statistics *block : {&d.DPF, &d.ENS}) {
        EXPECT_EQ(nullptr, block->data);
        EXPECT_EQ(0u, block->size);
        EXPECT_EQ(0u, block->elementSize);
    }

    // without a display the shared output is the data extraction, at the image size
    out.displayType = PXL_NONE;
    out.encoderType = out.hdrExtractionType = out.raw2DExtractionType = PXL_NONE;
    ci->bFrameError = 0;
    Shot e;
    e.configure(ci, out, setup);
    expect({401, 402, 1001, 1002, &memory[1], 22, true, BAYER_RGGB_10}, e.BAYER, "data extraction");
    for (const Buffer *b : {&e.DISPLAY, &e.YUV, &e.HDREXT, &e.RAW2DEXT})
        EXPECT_EQ(nullptr, b->data);
    EXPECT_FALSE(e.bFrameError);

    *ci = original;
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

// Without waiting: nothing while no shot is queued, then the completed shot,
// described like one acquired with waiting.
TEST_F(CapturingCamera, ANonBlockingAcquireTakesACompletedShot)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    Shot shot;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_AVAILABLE, camera->tryAcquireShot(shot));
        EXPECT_FALSE(log.contains("ERROR")) << log.text();
    }
    EXPECT_EQ(nullptr, shot.pCIBuffer);
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    ASSERT_EQ(QOV_SUCCESS, camera->tryAcquireShot(shot));
    ASSERT_NE(nullptr, shot.pCIBuffer);
    EXPECT_NE(nullptr, shot.DISPLAY.data);
    EXPECT_EQ(RGB_888_24, shot.DISPLAY.pxlFormat);
    EXPECT_EQ(vovatest::kSensorWidth, shot.DISPLAY.width);
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

// A driver that reports a statistics block shorter than the hardware layout:
// nothing is read past its end (the fuzzer's input, whose block is 2911
// bytes, is kept as the file), and a whole block is still extracted.
TEST_F(CapturingCamera, StatisticsBlockShorterThanTheLayoutIsNotRead)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    CI_SHOT *ci = shot.pCIBuffer;
    const CI_SHOT original = *ci;
    // The fuzz input: 4 bytes of output bits, the load structure, the block.
    const std::vector<QOV_UINT8> input = readBinary(VEZARA_TESTDATA "/vova/shot_stats_short_block.bin");
    const size_t blockAt = 4 + CI_LOADSTRUCT_HW2_SIZE;
    ASSERT_GT(input.size(), blockAt);
    const std::vector<QOV_UINT8> fromFuzzer(input.begin() + blockAt, input.end());
    const std::vector<QOV_UINT8> whole(static_cast<const QOV_UINT8 *>(ci->pStatistics),
                                       static_cast<const QOV_UINT8 *>(ci->pStatistics) + CI_STATS_BLOCK_SIZE);
    struct Case {
        const std::vector<QOV_UINT8> &block;
        bool extracted;
    } const cases[] = {{fromFuzzer, false}, {whole, true}};
    for (const Case &c : cases) {
        // Exactly the reported length, so that AddressSanitizer sees any read past it.
        std::vector<QOV_UINT8> block(c.block);
        ci->pStatistics = block.data();
        ci->statsSize = static_cast<QOV_UINT32>(block.size());
        Shot described;
        vovatest::LogCapture log;
        described.configure(ci, ModuleOUT(), Global_Setup());
        EXPECT_EQ(!c.extracted, log.contains("statistics not extracted")) << block.size() << log.text();
        EXPECT_EQ(block.size(), described.stats.size);
        const MC_STATS_HIS &expected = c.extracted ? shot.metadata.histogramStats : MC_STATS_HIS{};
        EXPECT_EQ(0, memcmp(&expected, &described.metadata.histogramStats, sizeof expected)) << block.size();
    }
    *ci = original;
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

TEST_F(CapturingCamera, DisplayWinsOverDataExtractionAndNeitherForOtherFormats)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot acquired;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(acquired));
    Global_Setup setup;
    setup.ui32ImageWidth = 64;
    setup.ui32ImageHeight = 48;
    ModuleOUT out;
    out.dataExtractionType = BAYER_RGGB_10;
    out.dataExtractionPoint = CI_INOUT_BLACK_LEVEL;
    Shot shot;
    shot.configure(acquired.pCIBuffer, out, setup);
    EXPECT_EQ(BAYER_RGGB_10, shot.BAYER.pxlFormat);
    EXPECT_EQ(64u, shot.BAYER.width);
    EXPECT_EQ(nullptr, shot.DISPLAY.data);

    out.displayType = RGB_888_24;
    shot.clear();
    shot.configure(acquired.pCIBuffer, out, setup);
    EXPECT_EQ(RGB_888_24, shot.DISPLAY.pxlFormat);
    EXPECT_EQ(nullptr, shot.BAYER.data);

    out.displayType = YVU_420_PL12_8;     // not a display format
    out.dataExtractionType = RGB_888_24;  // not a Bayer format
    shot.clear();
    shot.configure(acquired.pCIBuffer, out, setup);
    EXPECT_EQ(nullptr, shot.DISPLAY.data);
    EXPECT_EQ(nullptr, shot.BAYER.data);

    // clearing forgets every output's description
    out.displayType = PXL_NONE;
    out.dataExtractionType = BAYER_RGGB_10;
    out.encoderType = YVU_420_PL12_8;
    shot.configure(acquired.pCIBuffer, out, setup);
    ASSERT_EQ(YVU_420_PL12_8, shot.YUV.pxlFormat);
    ASSERT_EQ(BAYER_RGGB_10, shot.BAYER.pxlFormat);
    shot.clear();
    for (const Buffer *b : {&shot.DISPLAY, &shot.YUV, &shot.BAYER, &shot.HDREXT, &shot.RAW2DEXT}) {
        EXPECT_EQ(PXL_NONE, b->pxlFormat);
        EXPECT_EQ(0u, b->width);
    }
    EXPECT_EQ(nullptr, shot.pCIBuffer);
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(acquired));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

TEST_F(CapturingCamera, AReleasedShotCannotBeReleasedAgain)
{
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    EXPECT_NE(nullptr, shot.stats.data);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(nullptr, shot.DISPLAY.data);
    EXPECT_EQ(nullptr, shot.HDREXT.data);
    EXPECT_EQ(nullptr, shot.RAW2DEXT.data);
    EXPECT_EQ(nullptr, shot.stats.data);
    EXPECT_EQ(nullptr, shot.DPF.data);
    EXPECT_EQ(nullptr, shot.ENS.data);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, camera->releaseShot(shot));
    EXPECT_TRUE(log.contains("The shot holds no acquired buffers")) << log.text();
    EXPECT_EQ(1u, driver->requestCount(CI_CAPTURE_RELEASE));
}

TEST_F(CapturingCamera, ErroneousFramesRunNoLoopAndAFailingLoopFailsTheAcquire)
{
    int updates = 0;
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(new CountingLoop(&updates, false)));
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    driver->markFramesErroneous(1);
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    Shot shot;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
        EXPECT_TRUE(log.contains("frame is erroneous - skipping control module writing")) << log.text();
    }
    EXPECT_TRUE(shot.bFrameError);
    EXPECT_EQ(0, updates);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));

    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    EXPECT_EQ(1, updates);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));

    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(new CountingLoop(&updates, true)));
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, camera->acquireShot(shot));
        EXPECT_TRUE(log.contains("Unable to run control modules")) << log.text();
    }
    EXPECT_NE(nullptr, shot.pCIBuffer);  // still acquired: the caller releases it
    EXPECT_EQ(Camera::CAM_CAPTURING, camera->state);
    EXPECT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

TEST_F(CapturingCamera, AShotAcquiredWithoutTheLoopsRunsNone)
{
    int updates = 0;
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(new CountingLoop(&updates, false)));
    ASSERT_EQ(QOV_SUCCESS, camera->startCapture());
    Shot shot;
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot, true, false));
    EXPECT_EQ(0, updates);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    ASSERT_EQ(QOV_SUCCESS, camera->enqueueShot());
    ASSERT_EQ(QOV_SUCCESS, camera->acquireShot(shot));
    EXPECT_EQ(1, updates);
    ASSERT_EQ(QOV_SUCCESS, camera->releaseShot(shot));
    EXPECT_EQ(QOV_SUCCESS, camera->stopCapture());
}

// A camera whose pipeline has no sensor (as a derived camera may build it).
class PipelineOnlyCamera : public Camera {
public:
    explicit PipelineOnlyCamera(Sensor &pipelineSensor) : Camera(0)
    {
        pipeline = new Pipeline(getConnection(), 0, &pipelineSensor);
    }
};

TEST_F(CapturingCamera, SavingTheParametersOfACameraWithoutSensorSavesTheRest)
{
    ParameterList saved;
    EXPECT_EQ(QOV_SUCCESS, camera->saveParameters(saved));
    EXPECT_TRUE(saved.exists("SENSOR_GAIN"));
    EXPECT_TRUE(saved.exists("OUT_DISP"));

    Sensor figures;
    PipelineOnlyCamera bare(figures);
    ASSERT_EQ(nullptr, bare.getSensor());
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(bare, nullptr));
    ParameterList partial;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, bare.saveParameters(partial));
    EXPECT_TRUE(log.contains("Saving the parameters of the sensor failed.")) << log.text();
    EXPECT_FALSE(partial.exists("SENSOR_GAIN"));
    EXPECT_TRUE(partial.exists("BLC_SYS_BLACK"));
}

/*-------------------------------------------------------------------------
 * Camera factory
 *-------------------------------------------------------------------------*/

TEST(FactoryLists, ModuleListsFollowTheHardwareVersion)
{
    // registration order: 27 modules on major 1, RLT from major 2, AWS from 2.6
    const std::vector<SetupID> always = {STP_OUT, STP_IIF, STP_EXS, STP_BLC, STP_LSH, STP_WBC, STP_FOS,
                                         STP_DNS, STP_DPF, STP_ENS, STP_LCA, STP_CCM, STP_MGM, STP_GMA,
                                         STP_WBS, STP_HIS, STP_R2Y, STP_MIE, STP_VIB, STP_TNM, STP_FLD,
                                         STP_SHA, STP_ESC, STP_DSC, STP_Y2R, STP_DGM, STP_HDR};
    std::vector<SetupID> major2 = always;
    major2.push_back(STP_RLT);
    std::vector<SetupID> from2_6 = major2;
    from2_6.push_back(STP_AWS);
    struct Version {
        unsigned major, minor;
        std::vector<SetupID> modules;
        const char *whiteBalance;      // log name of the white-balance gain module
        const char *whiteBalanceLoop;  // log name of the white-balance loop
    } const versions[] = {{1, 0, always, "VOVA_MOD_WBC", "VOVA_CTRL_AWB-PID"},
                          {1, 6, always, "VOVA_MOD_WBC", "VOVA_CTRL_AWB"},  // the loop rule looks at the minor alone
                          {2, 0, major2, "VOVA_MOD_WBC", "VOVA_CTRL_AWB-PID"},
                          {2, 5, major2, "VOVA_MOD_WBC", "VOVA_CTRL_AWB-PID"},
                          {2, 6, from2_6, "VOVA_MOD_WBC2_6", "VOVA_CTRL_AWB"},
                          {3, 0, from2_6, "VOVA_MOD_WBC2_6", "VOVA_CTRL_AWB"}};
    for (const Version &v : versions) {
        std::list<SetupModule *> modules = CameraFactory::setupModulesFromHWVersion(v.major, v.minor);
        std::vector<SetupID> ids;
        for (SetupModule *m : modules) {
            ids.push_back(m->getModuleID());
            if (m->getModuleID() == STP_WBC) {
                EXPECT_STREQ(v.whiteBalance, m->getLoggingName()) << v.major << "." << v.minor;
            }
            delete m;
        }
        EXPECT_EQ(v.modules, ids) << v.major << "." << v.minor;
        // the loops built so far, in creation order, with their log names
        std::vector<std::pair<ControlID, std::string>> loops;
        for (ControlModule *c : CameraFactory::controlModulesFromHWVersion(v.major, v.minor)) {
            loops.emplace_back(c->getModuleID(), c->getLoggingName());
            delete c;
        }
        EXPECT_EQ((std::vector<std::pair<ControlID, std::string>>{{CTRL_AE, "VOVA_CTRL_AE"},
                                                                  {CTRL_AF, "VOVA_CTRL_AF"},
                                                                  {CTRL_DNS, "VOVA_CTRL_DNS"},
                                                                  {CTRL_LBC, "VOVA_CTRL_LBC"},
                                                                  {CTRL_TNM, "VOVA_CTRL_TNM"},
                                                                  {CTRL_LSH, "VOVA_CTRL_LSH"},
                                                                  {CTRL_AWB, v.whiteBalanceLoop}}),
                  loops)
            << v.major << "." << v.minor;
    }
    vovatest::LogCapture log;
    EXPECT_TRUE(CameraFactory::setupModulesFromHWVersion(0, 9).empty());
    EXPECT_TRUE(CameraFactory::controlModulesFromHWVersion(0, 9).empty());
    EXPECT_TRUE(log.contains("major version has to be >0")) << log.text();
    EXPECT_FALSE(CameraFactory::isVersion2_6OrLater(2, 5));
    EXPECT_TRUE(CameraFactory::isVersion2_6OrLater(2, 6));
    EXPECT_TRUE(CameraFactory::isVersion2_6OrLater(3, 0));
    EXPECT_FALSE(CameraFactory::isVersion2_6OrLater(1, 9));
}

class Factory : public vovatest::BoardTest {};

TEST_F(Factory, PopulatingSetsTheCaptureRectangleToTheWholeSensor)
{
    Sensor sensor;
    sensor.uiWidth = 1920;
    sensor.uiHeight = 1080;
    Camera camera(0, &sensor);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, &sensor));
    EXPECT_EQ(Camera::CAM_REGISTERED, camera.state);
    const ModuleIIF *iif = static_cast<const ModuleIIF *>(camera.getPipeline()->getModule(STP_IIF));
    ASSERT_NE(nullptr, iif);
    EXPECT_EQ(1919u, iif->aCropBR[0]);
    EXPECT_EQ(1079u, iif->aCropBR[1]);
    EXPECT_TRUE(iif->isSetup());
    EXPECT_TRUE(iif->isUpdateRequested());  // sent again with the next pass of requested modules
    EXPECT_EQ(960, camera.getPipeline()->getMCPipeline()->sIIF.ui16ImagerSize[0]);

    Camera other(1, &sensor);
    ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(other, nullptr));
    const ModuleIIF *untouched = static_cast<const ModuleIIF *>(other.getPipeline()->getModule(STP_IIF));
    EXPECT_EQ(0u, untouched->aCropBR[0]);
    EXPECT_FALSE(untouched->isSetup());
    EXPECT_FALSE(untouched->isUpdateRequested());

    Camera noPipeline(0);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, CameraFactory::populateCameraFromHWVersion(noPipeline, nullptr));
    EXPECT_TRUE(log.contains("Invalid major version in Camera HW info, the connection to the driver seems broken"));
    EXPECT_EQ(Camera::CAM_CONNECTED, noPipeline.state);
}

}  // namespace
