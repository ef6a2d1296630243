// The internal data-generator sensor ("IIF Datagen") against the simulated
// ISP: small Bayer JUX files written per test are played in through the
// sensor interface, captured by a pipeline on the generator's gasket and
// compared sample by sample with the file's frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_gasket.h"
#include "sensor_test_support.h"
#include "sensorapi/sensorapi.h"
#include "sim_image/sim_image.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/isp_model.h"

namespace {

constexpr QOV_UINT16 kDatagen = 0;  // "IIF Datagen" in the sensor table
const char kDatagenLog[] = "IntDG_SENSOR";  // its tag in the log

using sensortest::Log;
using sensortest::RecordingModel;

// Sample (x, y) of frame f of the files the tests write: every frame differs.
QOV_UINT16 fileSample(unsigned x, unsigned y, unsigned f, unsigned depth)
{
    return static_cast<QOV_UINT16>((x * 3 + y * 7 + f * 41 + 1) & ((1u << depth) - 1));
}

class DgSensorTest : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
        ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
        std::string pattern = testing::TempDir() + "dg_sensor_XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }

    void TearDown() override
    {
        if (handle) {
            EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
            handle = nullptr;
            // the sensor leaves nothing of its generator behind on the connection
            EXPECT_EQ(driver->liveObjects().generators, 0u);
            EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
        }
        if (connection) {
            EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        }
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        std::filesystem::remove_all(folder);
        simboard::Board::instance().reset();
    }

    // Writes a JUX file of `frames` frames of fileSample values.
    std::string writeJux(const std::string &name, unsigned frames, unsigned width = 32, unsigned height = 16,
                         unsigned depth = 10, sSimImageColourModel model = SimImage_RGGB)
    {
        const std::string path = folder + "/" + name;
        sSimImageOut out;
        SimImageOut_init(&out);
        out.info.eColourModel = model;
        out.info.ui8BitDepth = static_cast<QOV_UINT8>(depth);
        out.info.ui32Width = width;
        out.info.ui32Height = height;
        out.info.isBGR = QOV_FALSE;
        EXPECT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
        EXPECT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
        const bool bayer = model >= SimImage_RGGB;
        for (unsigned f = 0; f < frames; ++f) {
            std::vector<QOV_UINT8> bytes;
            auto put = [&](QOV_UINT16 v) {
                bytes.push_back(static_cast<QOV_UINT8>(v));
                if (depth > 8)
                    bytes.push_back(static_cast<QOV_UINT8>(v >> 8));
            };
            if (bayer) {
                // 2x2 cells: top-left, top-right, bottom-left, bottom-right
                for (unsigned cy = 0; cy < height / 2; ++cy)
                    for (unsigned cx = 0; cx < width / 2; ++cx) {
                        put(fileSample(2 * cx, 2 * cy, f, depth));
                        put(fileSample(2 * cx + 1, 2 * cy, f, depth));
                        put(fileSample(2 * cx, 2 * cy + 1, f, depth));
                        put(fileSample(2 * cx + 1, 2 * cy + 1, f, depth));
                    }
            } else {  // four 16-bit samples per pixel
                for (unsigned i = 0; i < width * height * 4; ++i)
                    put(static_cast<QOV_UINT16>(i & 0x3FF));
            }
            EXPECT_EQ(SimImageOut_addFrame(&out, bytes.data(), bytes.size()), QOV_SUCCESS);
            EXPECT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
        }
        EXPECT_EQ(SimImageOut_close(&out), QOV_SUCCESS);
        return path;
    }

    // Opens the sensor with the connection and a file.
    void open(const std::string &path)
    {
        ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
        ASSERT_NE(handle, nullptr);
        ASSERT_EQ(IIFDG_ExtendedSetConnection(handle, connection), QOV_SUCCESS);
        Log log(kDatagenLog);  // the file change is reported
        ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, path.c_str()), QOV_SUCCESS);
    }

    SENSOR_STATE state()
    {
        SENSOR_STATUS status{};
        EXPECT_EQ(Sensor_GetState(handle, &status), QOV_SUCCESS);
        return status.eState;
    }

    // The generator the sensor registered, as the driver sees it.
    std::optional<simboard::IspGeneratorView> generator() const
    {
        for (auto it = driver->requests().rbegin(); it != driver->requests().rend(); ++it) {
            if (it->index == CI_IIFDG_REGISTER && it->argument == -1 && it->result >= 0)
                return driver->generator(static_cast<int>(it->result));
        }
        return std::nullopt;
    }

    // A capturing pipeline on `gasket` for width x height frames with
    // `shots` shots triggered; every image reaching it is recorded.
    void capture(QOV_UINT8 gasket, unsigned shots, QOV_UINT32 width = 32, QOV_UINT32 height = 16)
    {
        driver->setImageModel(std::make_unique<RecordingModel>(images));
        CI_PIPELINE *pipeline = nullptr;
        ASSERT_EQ(CI_PipelineCreate(&pipeline, connection), QOV_SUCCESS);
        pipeline->config.ui8Context = 0;
        pipeline->sImagerInterface.ui8Imager = gasket;
        pipeline->sImagerInterface.eBayerFormat = MOSAIC_RGGB;
        pipeline->sImagerInterface.ui16ImagerSize[0] = static_cast<QOV_UINT16>(width / 2 - 1);
        pipeline->sImagerInterface.ui16ImagerSize[1] = static_cast<QOV_UINT16>(height / 2 - 1);
        pipeline->sToneMapping.bBypassTNM = 1;
        ASSERT_EQ(CI_PipelineRegister(pipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineAddPool(pipeline, shots), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineComputeLinestore(pipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineStartCapture(pipeline), QOV_SUCCESS);
        for (unsigned i = 0; i < shots; ++i)
            ASSERT_EQ(CI_PipelineTriggerShoot(pipeline), QOV_SUCCESS);
    }

    // Which file frame each recorded image is (-1: none of the first `frames`).
    std::vector<int> recordedFrames(unsigned frames, unsigned depth = 10) const
    {
        std::vector<int> found;
        for (const simboard::BayerFrame &image : *images) {
            int which = -1;
            for (unsigned f = 0; f < frames && which < 0; ++f) {
                bool same = image.samples.size() == size_t{image.width} * image.height;
                for (unsigned y = 0; same && y < image.height; ++y)
                    for (unsigned x = 0; same && x < image.width; ++x)
                        same = image.samples[size_t{y} * image.width + x] == fileSample(x, y, f, depth);
                if (same)
                    which = static_cast<int>(f);
            }
            found.push_back(which);
        }
        return found;
    }

    void insertAndWait(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i) {
            ASSERT_EQ(Sensor_Insert(handle), QOV_SUCCESS) << "insertion " << i;
            ASSERT_EQ(Sensor_WaitProcessed(handle), QOV_SUCCESS) << "insertion " << i;
        }
    }

    std::shared_ptr<simboard::IspDriver> driver;
    CI_CONNECTION *connection = nullptr;
    SENSOR_HANDLE handle = nullptr;
    std::string folder;
    std::shared_ptr<std::vector<simboard::BayerFrame>> images = std::make_shared<std::vector<simboard::BayerFrame>>();
};

TEST_F(DgSensorTest, CreationTouchesNoHardwareAndStartsFromTheDefaults)
{
    driver->clearRequests();
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    EXPECT_TRUE(driver->requests().empty());
    EXPECT_EQ(state(), SENSOR_STATE_UNINITIALISED);

    QOV_UINT32 buffers = 0, cap = 7, hb = 7, vb = 7;
    QOV_UINT8 gasket = 7, dg = 7;
    QOV_BOOL8 video = 7, preload = 7;
    const char *file = "x";
    EXPECT_EQ(IIFDG_ExtendedGetNbBuffers(handle, &buffers), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCap(handle, &cap), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetBlanking(handle, &hb, &vb), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetGasket(handle, &gasket), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetDatagen(handle, &dg), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetIsVideo(handle, &video), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetPreload(handle, &preload), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetSourceFile(handle, &file), QOV_SUCCESS);
    EXPECT_EQ(buffers, 1u);
    EXPECT_EQ(cap, 0u);
    EXPECT_EQ(hb, 0u);
    EXPECT_EQ(vb, 0u);
    EXPECT_EQ(gasket, 0);
    EXPECT_EQ(dg, 0);
    EXPECT_EQ(video, QOV_FALSE);
    EXPECT_EQ(preload, QOV_FALSE);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(handle), 0u);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 0u);

    // no focus, no flash
    QOV_UINT16 lo = 0, hi = 0;
    EXPECT_EQ(Sensor_GetFocusRange(handle, &lo, &hi), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_ConfigureFlash(handle, QOV_FALSE, 0, 0, 0), QOV_ERROR_NOT_SUPPORTED);

    // without a file there is no mode; the description is partial
    Log log(kDatagenLog);
    SENSOR_MODE mode{};
    EXPECT_EQ(Sensor_GetMode(handle, 1, &mode), QOV_ERROR_OUT_OF_RANGE);
    EXPECT_EQ(Sensor_GetMode(handle, 0, &mode), QOV_ERROR_WRONG_STATE);
    SENSOR_INFO info{};
    EXPECT_EQ(Sensor_GetInfo(handle, &info), QOV_ERROR_WRONG_STATE);
    EXPECT_STREQ(info.pszSensorName, "IIF Datagen");
    EXPECT_STREQ(info.pszSensorVersion, "not-verified");
    EXPECT_EQ(info.eBayerOriginal, MOSAIC_RGGB);
    EXPECT_EQ(info.eBayerEnabled, MOSAIC_RGGB);
    EXPECT_TRUE(info.bBackFacing);
    EXPECT_TRUE(log.error("IIFDG_GetMode", "only supports mode 0\n"));
    EXPECT_TRUE(log.error("IIFDG_GetMode", "must specify the source JUX file before getMode\n"));
    EXPECT_TRUE(log.has("WARNING", "IIFDG_GetInfo", "need the connection to have been set to get version\n"));
    EXPECT_TRUE(log.has("WARNING", "IIFDG_GetInfo",
                        "need a filename to have been selected before getting "
                        "all dg sensor information!\n"));
}

TEST_F(DgSensorTest, ModeAndDescriptionComeFromTheFile)
{
    driver->setProfile(simboard::IspProfile::version(2, 5));
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    open(writeJux("vga.jux", 1, 640, 480, 10, SimImage_GRBG));
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetGasket(handle, 2), QOV_SUCCESS);

    SENSOR_INFO info{};
    ASSERT_EQ(Sensor_GetInfo(handle, &info), QOV_SUCCESS);
    EXPECT_EQ(info.sMode.ui8BitDepth, 10);
    EXPECT_EQ(info.sMode.ui16Width, 640);
    EXPECT_EQ(info.sMode.ui16Height, 480);
    EXPECT_EQ(info.sMode.ui16HorizontalTotal, 740);
    EXPECT_EQ(info.sMode.ui16VerticalTotal, 494);
    EXPECT_DOUBLE_EQ(info.sMode.flFrameRate, 11.0);
    EXPECT_DOUBLE_EQ(info.sMode.flPixelRate, 4021160.0);  // 740 x 494 x 11
    EXPECT_EQ(info.sMode.ui8SupportFlipping, 0);
    EXPECT_EQ(info.sMode.ui32ExposureMin, 0u);
    EXPECT_EQ(info.sMode.ui32ExposureMax, 0u);
    EXPECT_EQ(info.sMode.ui8MipiLanes, 0);
    EXPECT_EQ(info.eBayerOriginal, MOSAIC_GRBG);
    EXPECT_EQ(info.eBayerEnabled, MOSAIC_GRBG);
    EXPECT_EQ(info.ui8Imager, 2);
    EXPECT_EQ(info.sStatus.ui16CurrentMode, 0);
    EXPECT_EQ(info.sStatus.eState, SENSOR_STATE_UNINITIALISED);
    const CI_HWINFO &hw = connection->sHWInfo;
    EXPECT_EQ(hw.rev_ui8Major, 2);
    EXPECT_EQ(hw.rev_ui8Minor, 5);
    EXPECT_EQ(std::string(info.pszSensorVersion), "2.5." + std::to_string(hw.rev_ui8Maint));
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 1u);

    // blanking is kept in 16 bits
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 65536 + 100, 70000), QOV_SUCCESS);
    QOV_UINT32 hb = 0, vb = 0;
    ASSERT_EQ(IIFDG_ExtendedGetBlanking(handle, &hb, &vb), QOV_SUCCESS);
    EXPECT_EQ(hb, 100u);
    EXPECT_EQ(vb, 4464u);
}

TEST_F(DgSensorTest, ModeFlipsExposureAndGain)
{
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    QOV_UINT32 lo = 0, hi = 0, exposure = 0;
    QOV_UINT8 contexts = 9;
    {
        Log log(kDatagenLog);  // exposures need the mode, and so the file
        EXPECT_EQ(Sensor_GetExposureRange(handle, &lo, &hi, &contexts), QOV_ERROR_WRONG_STATE);
        EXPECT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(log.error("IIFDG_GetExposureRange", "could not get sensor mode\n"));
        EXPECT_TRUE(log.error("IIFDG_GetExposure", "could not get exposure ranges\n"));
    }
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, writeJux("one.jux", 1).c_str()), QOV_SUCCESS);

    Log log(kDatagenLog);
    EXPECT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    EXPECT_EQ(Sensor_SetMode(handle, 1, SENSOR_FLIP_NONE), QOV_ERROR_OUT_OF_RANGE);
    EXPECT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_VERTICAL), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.error("IIFDG_SetMode", "supports only mode 0!\n"));
    EXPECT_TRUE(log.error("IIFDG_SetMode", "cannot enable flipping!\n"));

    // 1e6 / 11 frames per second, a thousandth of it, the geometric mean
    ASSERT_EQ(Sensor_GetExposureRange(handle, &lo, &hi, &contexts), QOV_SUCCESS);
    EXPECT_EQ(lo, 90u);
    EXPECT_EQ(hi, 90909u);
    EXPECT_EQ(contexts, 0);
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_SUCCESS);
    EXPECT_EQ(exposure, 2860u);
    EXPECT_EQ(Sensor_GetExposure(handle, &exposure, 1), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_SetExposure(handle, 89, 0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Sensor_SetExposure(handle, 90910, 0), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(Sensor_SetExposure(handle, 90909, 3),
              QOV_SUCCESS);  // the context is not consulted
    ASSERT_EQ(Sensor_GetExposure(handle, &exposure, 0), QOV_SUCCESS);
    EXPECT_EQ(exposure, 90909u);
    EXPECT_TRUE(log.error("IIFDG_GetExposure", "supports only sensor context 0\n"));
    EXPECT_TRUE(log.error("IIFDG_SetExposure", "given exposure 89 is illegal (mode=0 min=90 max=90909)\n"));

    double gmin = 0, gmax = 0, gain = 0;
    ASSERT_EQ(Sensor_GetGainRange(handle, &gmin, &gmax, &contexts), QOV_SUCCESS);
    EXPECT_EQ(gmin, 1.0);
    EXPECT_EQ(gmax, 1.0);
    EXPECT_EQ(contexts, 0);
    ASSERT_EQ(Sensor_GetCurrentGain(handle, &gain, 0), QOV_SUCCESS);
    EXPECT_EQ(gain, 1.0);
    EXPECT_EQ(Sensor_SetGain(handle, 1.5, 0), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_SetGain(handle, 1.0, 0), QOV_SUCCESS);
    EXPECT_TRUE(log.error("IIFDG_SetGain", "cannot change gain\n"));
}

TEST_F(DgSensorTest, StillFramesArePlayedIntoTheGasket)
{
    open(writeJux("three.jux", 3));
    ASSERT_EQ(IIFDG_ExtendedSetGasket(handle, 2), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetNbBuffers(handle, 2), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 120, 20), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetPreload(handle, QOV_TRUE), QOV_SUCCESS);
    capture(2, 3);
    ASSERT_EQ(Sensor_SetMode(handle, 0, SENSOR_FLIP_NONE), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_EQ(state(), SENSOR_STATE_RUNNING);

    auto view = generator();
    ASSERT_TRUE(view.has_value());
    EXPECT_TRUE(view->started);
    EXPECT_EQ(view->setup.ui8Gasket, 2);
    EXPECT_EQ(view->setup.ui8IIFDGIndex, 0);
    EXPECT_EQ(view->setup.eFormat, CI_DGFMT_PARALLEL);
    EXPECT_EQ(view->setup.ui8FormatBitdepth, 10);
    EXPECT_EQ(view->setup.eBayerMosaic, MOSAIC_RGGB);
    EXPECT_EQ(view->setup.bPreload, QOV_TRUE);
    EXPECT_EQ(view->frames.size(), 2u);

    // without video playback every insertion sends frame 0
    insertAndWait(3);
    EXPECT_EQ(recordedFrames(3), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(handle), 0u);
    EXPECT_EQ(driver->gasket(2).frameCount, 3u);
    unsigned sent = 0;
    for (const simboard::IspRequest &r : driver->requests()) {
        if (r.index != CI_IIFDG_RELEASE)
            continue;
        CI_DG_FRAMETRIG trig{};
        ASSERT_EQ(r.record.size(), sizeof(trig));
        memcpy(&trig, r.record.data(), sizeof(trig));
        EXPECT_EQ(trig.bTrigger, QOV_TRUE);
        EXPECT_EQ(trig.uiWidth, 32);
        EXPECT_EQ(trig.uiHeight, 16);
        EXPECT_EQ(trig.uiHorizontalBlanking, 120);
        EXPECT_EQ(trig.uiVerticalBlanking, 20);
        ++sent;
    }
    EXPECT_EQ(sent, 3u);

    {
        // every frame, returned by the hardware, is destroyed without a word
        Log stop(kDatagenLog);
        ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
        EXPECT_EQ(stop.text().find("WARNING"), std::string::npos) << stop.text();
    }
    EXPECT_EQ(state(), SENSOR_STATE_UNINITIALISED);
    EXPECT_EQ(driver->liveObjects().generators, 0u);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);

    // enabled again, playback starts over from the first frame
    ASSERT_EQ(IIFDG_ExtendedSetIsVideo(handle, QOV_TRUE), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Insert(handle), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(handle), 1u);
    ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(handle), 0u);
}

struct PlaybackCase {
    const char *name;
    QOV_UINT32 cap;
    std::vector<int> frames;  // the file frames of successive insertions
};

class DgPlaybackTest : public DgSensorTest, public testing::WithParamInterface<PlaybackCase> {};

TEST_P(DgPlaybackTest, VideoWrapsAtTheFrameCap)
{
    const PlaybackCase &c = GetParam();
    open(writeJux("three.jux", 3));
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetIsVideo(handle, QOV_TRUE), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetFrameCap(handle, c.cap), QOV_SUCCESS);
    capture(0, static_cast<unsigned>(c.frames.size()));
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    insertAndWait(static_cast<unsigned>(c.frames.size()));
    EXPECT_EQ(recordedFrames(3), c.frames);
}

INSTANTIATE_TEST_SUITE_P(Caps, DgPlaybackTest,
                         testing::Values(PlaybackCase{"WholeFile", 3, {0, 1, 2, 0, 1}},
                                         PlaybackCase{"CapOfTwo", 2, {0, 1, 0, 1}}, PlaybackCase{"CapOfOne", 1, {0, 0}},
                                         // no cap plays the whole file instead of running past its end
                                         PlaybackCase{"NoCap", 0, {0, 1, 2, 0}}),
                         [](const testing::TestParamInfo<PlaybackCase> &info) { return info.param.name; });

TEST_F(DgSensorTest, FrameCapCannotExceedTheFile)
{
    open(writeJux("three.jux", 3));
    QOV_UINT32 cap = 0;
    ASSERT_EQ(IIFDG_ExtendedGetFrameCap(handle, &cap), QOV_SUCCESS);
    EXPECT_EQ(cap, 3u);  // a new file is played whole
    Log log(kDatagenLog);
    EXPECT_EQ(IIFDG_ExtendedSetFrameCap(handle, 5), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.error("IIFDG_ExtendedSetFrameCap", "currently loaded image is 3 frames - proposed cap of "
                                                       "5 is not possible\n"));
    ASSERT_EQ(IIFDG_ExtendedGetFrameCap(handle, &cap), QOV_SUCCESS);
    EXPECT_EQ(cap, 3u);
}

// Each Bayer order of the file: reported by GetInfo and set up in the generator.
TEST_F(DgSensorTest, FileBayerOrderReachesInfoAndGenerator)
{
    const std::pair<sSimImageColourModel, MOSAICType> orders[] = {
        {SimImage_RGGB, MOSAIC_RGGB},
        {SimImage_GRBG, MOSAIC_GRBG},
        {SimImage_GBRG, MOSAIC_GBRG},
        {SimImage_BGGR, MOSAIC_BGGR},
    };
    for (const auto &[model, mosaic] : orders) {
        const std::string path = writeJux("order" + std::to_string(int(model)) + ".jux", 1, 32, 16, 10, model);
        if (!handle) {
            open(path);
        } else {
            ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, path.c_str()), QOV_SUCCESS);
        }
        SENSOR_INFO info{};
        ASSERT_EQ(Sensor_GetInfo(handle, &info), QOV_SUCCESS);
        EXPECT_EQ(info.eBayerOriginal, mosaic) << model;
        EXPECT_EQ(info.eBayerEnabled, mosaic) << model;
        ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
        EXPECT_EQ(generator()->setup.eBayerMosaic, mosaic) << model;
        ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    }
}

struct DepthCase {
    unsigned fileDepth;
    QOV_UINT8 wireDepth;  // 0: refused
};

class DgDepthTest : public DgSensorTest, public testing::WithParamInterface<DepthCase> {};

TEST_P(DgDepthTest, FileDepthChoosesTheParallelWire)
{
    const DepthCase &c = GetParam();
    open(writeJux("depth.jux", 1, 32, 16, c.fileDepth));
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    if (c.wireDepth == 0) {
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(log.error("IIFDG_Enable", "input bit depth " + std::to_string(c.fileDepth) +
                                                  " isn't supported (PARALLEL max is 12b)\n"));
        EXPECT_EQ(driver->liveObjects().generators, 0u);
        EXPECT_EQ(state(), SENSOR_STATE_UNINITIALISED);
        return;
    }
    capture(0, 1);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_EQ(generator()->setup.ui8FormatBitdepth, c.wireDepth);
    insertAndWait(1);
    EXPECT_EQ(recordedFrames(1, c.fileDepth), (std::vector<int>{0}));
}

INSTANTIATE_TEST_SUITE_P(Depths, DgDepthTest,
                         testing::Values(DepthCase{8, 10}, DepthCase{10, 10}, DepthCase{11, 12}, DepthCase{12, 12},
                                         DepthCase{14, 0}),
                         [](const testing::TestParamInfo<DepthCase> &info) {
                             return "Depth" + std::to_string(info.param.fileDepth);
                         });

TEST_F(DgSensorTest, SettingsOfTheGeneratorAreRefusedWhileRunning)
{
    const std::string path = writeJux("three.jux", 3);
    open(path);
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);

    struct Refused {
        const char *function;
        const char *what;
        std::function<QOV_RESULT()> call;
    };
    const std::vector<Refused> refused = {
        {"IIFDG_ExtendedSetSourceFile", "parameter source file",
         [&] { return IIFDG_ExtendedSetSourceFile(handle, path.c_str()); }},
        {"IIFDG_ExtendedSetGasket", "gasket", [&] { return IIFDG_ExtendedSetGasket(handle, 1); }},
        {"IIFDG_ExtendedSetDatagen", "Datagen context", [&] { return IIFDG_ExtendedSetDatagen(handle, 1); }},
        {"IIFDG_ExtendedSetNbBuffers", "number of buffers", [&] { return IIFDG_ExtendedSetNbBuffers(handle, 4); }},
        {"IIFDG_ExtendedSetPreload", "the preload option", [&] { return IIFDG_ExtendedSetPreload(handle, QOV_TRUE); }},
    };
    for (const Refused &r : refused) {
        Log log(kDatagenLog);
        EXPECT_EQ(r.call(), QOV_ERROR_NOT_ALLOWED) << r.function;
        EXPECT_TRUE(log.error(r.function, std::string("sensor is in wrong state 2 to change ") + r.what + "\n"))
            << log.text();
    }
    QOV_UINT8 gasket = 9, dg = 9;
    QOV_UINT32 buffers = 0;
    QOV_BOOL8 preload = 9;
    IIFDG_ExtendedGetGasket(handle, &gasket);
    IIFDG_ExtendedGetDatagen(handle, &dg);
    IIFDG_ExtendedGetNbBuffers(handle, &buffers);
    IIFDG_ExtendedGetPreload(handle, &preload);
    EXPECT_EQ(gasket, 0);
    EXPECT_EQ(dg, 0);
    EXPECT_EQ(buffers, 1u);
    EXPECT_EQ(preload, QOV_FALSE);

    // playback settings act on the next insertion, running or not
    EXPECT_EQ(IIFDG_ExtendedSetBlanking(handle, 200, 30), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetFrameCap(handle, 2), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetIsVideo(handle, QOV_TRUE), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Insert(handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_WaitProcessed(handle), QOV_SUCCESS);
    CI_DG_FRAMETRIG trig{};
    for (const simboard::IspRequest &r : driver->requests()) {
        if (r.index == CI_IIFDG_RELEASE)
            memcpy(&trig, r.record.data(), sizeof(trig));
    }
    EXPECT_EQ(trig.uiHorizontalBlanking, 200);
    EXPECT_EQ(trig.uiVerticalBlanking, 30);
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(handle), 1u);

    // stopped, the settings change again
    ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetGasket(handle, 1), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetNbBuffers(handle, 4), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, path.c_str()), QOV_SUCCESS);
}

TEST_F(DgSensorTest, FrameOperationsNeedARunningGenerator)
{
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    Log log(kDatagenLog);
    EXPECT_EQ(Sensor_Enable(handle),
              QOV_ERROR_NOT_INITIALISED);  // neither file nor connection
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, writeJux("one.jux", 1).c_str()), QOV_SUCCESS);
    EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NOT_INITIALISED);  // no connection
    EXPECT_EQ(Sensor_Insert(handle), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(Sensor_WaitProcessed(handle), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(Sensor_Disable(handle), QOV_ERROR_NOT_INITIALISED);
    EXPECT_TRUE(log.error("IIFDG_Enable", "selecting a connection and an input file is "
                                          "needed before enabling the sensor!\n"));
    EXPECT_TRUE(log.error("IIFDG_Insert", "cannot insert before enabling the sensor!\n"));
    EXPECT_TRUE(log.error("IIFDG_WaitProcessed", "cannot wait for processed frame if not enabled!\n"));
    EXPECT_TRUE(log.error("IIFDG_Disable", "cannot disable before enabling the sensor!\n"));
    EXPECT_EQ(driver->liveObjects().generators, 0u);
}

TEST_F(DgSensorTest, FailedInsertionsGiveTheFrameBack)
{
    open(writeJux("three.jux", 3));
    ASSERT_EQ(IIFDG_ExtendedSetIsVideo(handle, QOV_TRUE), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    auto allFree = [&] {
        const auto view = generator();
        if (!view)
            return false;
        for (const auto &[id, frameState] : view->frames) {
            if (frameState != simboard::IspFrameState::Free)
                return false;
        }
        return true;
    };
    {
        // the blanking of a new sensor is below the generator's minimum
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Insert(handle), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(log.error("IIFDG_Insert", "failed to trigger frame!\n"));
        EXPECT_TRUE(allFree());
    }
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    {
        // no frame free in the driver
        driver->planFault(CI_IIFDG_ACQUIRE, -EALREADY);
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Insert(handle), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_TRUE(log.error("IIFDG_Insert", "failed to acquire an available frame\n"));
    }
    {
        // the file lost its later frames after it was opened
        const std::string path = folder + "/three.jux";
        ASSERT_EQ(truncate(path.c_str(), std::filesystem::file_size(path) - 32 * 16 * 2 * 2), 0);
        ASSERT_EQ(IIFDG_ExtendedGetFrameNO(handle),
                  1u);  // frame 0 went out in the first attempt
        Log log(kDatagenLog);
        EXPECT_NE(Sensor_Insert(handle), QOV_SUCCESS);
        EXPECT_TRUE(log.error("IIFDG_Insert", "failed to load frame 1 from '" + path + "'\n")) << log.text();
        EXPECT_TRUE(allFree());
    }
    // nothing is left taken: every frame is destroyed by Disable
    ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
}

// Disable when the driver will not stop the generator: the failure is
// reported and the generator keeps running for a later Disable. Frames the
// driver will not hand back for destruction are each reported, and go with
// the generator.
TEST_F(DgSensorTest, DisableFailures)
{
    open(writeJux("one.jux", 1));
    ASSERT_EQ(IIFDG_ExtendedSetNbBuffers(handle, 2), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    {
        driver->planFault(CI_IIFDG_STOP, -EIO);
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Disable(handle), QOV_ERROR_FAILURE);
        EXPECT_TRUE(log.error("IIFDG_Disable", "failed to stop the data-generator!\n")) << log.text();
        EXPECT_EQ(state(), SENSOR_STATE_RUNNING);
        EXPECT_EQ(driver->liveObjects().generatorFrames, 2u);
    }
    {
        driver->planFault(CI_IIFDG_ACQUIRE, -EALREADY, 0);
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
        EXPECT_TRUE(log.has("WARNING", "IIFDG_Disable", "failed to get frame 1/2 for destruction\n")) << log.text();
        EXPECT_TRUE(log.has("WARNING", "IIFDG_Disable", "failed to get frame 2/2 for destruction\n")) << log.text();
        EXPECT_EQ(state(), SENSOR_STATE_UNINITIALISED);
        EXPECT_EQ(driver->liveObjects().generators, 0u);
        EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
    }
}

TEST_F(DgSensorTest, EnableFailuresLeaveNoGenerator)
{
    const std::string path = writeJux("one.jux", 1);
    open(path);
    {
        // one generator on the standard ISP: index 1 is refused at the start
        ASSERT_EQ(IIFDG_ExtendedSetDatagen(handle, 1), QOV_SUCCESS);
        Log log(kDatagenLog);
        EXPECT_NE(Sensor_Enable(handle), QOV_SUCCESS);
        EXPECT_TRUE(log.error("IIFDG_Enable", "failed to start datagen!\n"));
        EXPECT_EQ(driver->liveObjects().generators, 0u);
        EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
        ASSERT_EQ(IIFDG_ExtendedSetDatagen(handle, 0), QOV_SUCCESS);
    }
    {
        ASSERT_EQ(IIFDG_ExtendedSetNbBuffers(handle, 3), QOV_SUCCESS);
        driver->planFault(CI_IIFDG_ALLOCATE, -ENOMEM, 1, 1);
        Log log(kDatagenLog);
        EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NO_MEMORY);
        EXPECT_TRUE(log.error("IIFDG_Enable", "failed to allocate frame 2/3\n")) << log.text();
        EXPECT_EQ(driver->liveObjects().generators, 0u);
        EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
        EXPECT_EQ(state(), SENSOR_STATE_UNINITIALISED);
    }
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_EQ(generator()->frames.size(), 3u);
}

TEST_F(DgSensorTest, HardwareWithoutGeneratorRefusesEnable)
{
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    driver->setProfile(simboard::IspProfile::noFunctionalities());
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    open(writeJux("one.jux", 1));
    Log log(kDatagenLog);
    EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.error("IIFDG_Enable", "failed to create datagen object! Can HW support it?\n"));
}

TEST_F(DgSensorTest, DestroyStopsARunningGenerator)
{
    open(writeJux("one.jux", 1));
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetNbBuffers(handle, 2), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Insert(handle), QOV_SUCCESS);
    Log log(kDatagenLog);
    ASSERT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
    handle = nullptr;
    EXPECT_TRUE(log.has("WARNING", "IIFDG_Destroy", "destroying a running sensor! forces to stop\n"));
    EXPECT_EQ(log.text().find("ERROR"), std::string::npos) << "the stop succeeded";
    EXPECT_EQ(driver->liveObjects().generators, 0u);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
}

TEST_F(DgSensorTest, DestroyFreesAGeneratorTheDriverDoesNotReportStarted)
{
    open(writeJux("one.jux", 1));
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    // the started query fails: the sensor looks idle although it holds a
    // generator
    driver->planFault(CI_IIFDG_ISSTARTED, -EIO, 0);
    Log log(kDatagenLog);
    EXPECT_EQ(state(), SENSOR_STATE_IDLE);
    ASSERT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
    handle = nullptr;
    EXPECT_EQ(driver->liveObjects().generators, 0u);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
}

TEST_F(DgSensorTest, SourceFileChanges)
{
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    const std::string good = writeJux("three.jux", 3);
    const std::string missing = folder + "/absent.jux";
    {
        Log log(kDatagenLog);
        ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, good.c_str()), QOV_SUCCESS);
        EXPECT_TRUE(log.has("INFO", "IIFDG_ExtendedSetSourceFile",
                            "change input file to '" + good + "' containing 3 frames\n"));
    }
    const char *file = nullptr;
    ASSERT_EQ(IIFDG_ExtendedGetSourceFile(handle, &file), QOV_SUCCESS);
    EXPECT_EQ(std::string(file), good);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 3u);
    {
        Log log(kDatagenLog);
        EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, missing.c_str()), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(log.error("IIFDG_ExtendedSetSourceFile", "failed to load '" + missing + "'\n"));
        EXPECT_TRUE(log.has("INFO", "IIFDG_ExtendedSetSourceFile",
                            "change input file to '" + missing + "' containing 0 frames\n"));
    }
    ASSERT_EQ(IIFDG_ExtendedGetSourceFile(handle, &file), QOV_SUCCESS);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 0u);

    // a file whose frames are counted before it is refused (planes of
    // different depths): no frames remain
    const std::string mixed = writeJux("mixed.jux", 3);
    {
        std::fstream file(mixed, std::ios::in | std::ios::out | std::ios::binary);
        std::string head(512, '\0');
        file.read(head.data(), static_cast<std::streamsize>(head.size()));
        const size_t at = head.find("BITDEPTH=10 10 10 10");
        ASSERT_NE(at, std::string::npos);
        file.clear();
        file.seekp(static_cast<std::streamoff>(at));
        file.write("BITDEPTH=10 10 10 12", 20);
    }
    {
        Log log(kDatagenLog);
        EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, mixed.c_str()), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(log.has("INFO", "IIFDG_ExtendedSetSourceFile",
                            "change input file to '" + mixed + "' containing 0 frames\n"));
    }
    QOV_UINT32 cap = 9;
    ASSERT_EQ(IIFDG_ExtendedGetFrameCap(handle, &cap), QOV_SUCCESS);
    EXPECT_EQ(cap, 0u);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 0u);

    Log log(kDatagenLog);
    EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(log.error("IIFDG_ExtendedSetSourceFile", "NULL filename given\n"));
}

// A file whose frames the generator cannot send is refused when it is opened,
// with its size and the limits: the gasket's own width (here gasket 2 takes
// 1024 pixels, the others 8192) and the tallest frame. The largest accepted
// frames run through the generator; a gasket chosen after the file must take
// it as well, and a connection given after the file brings the check to Enable.
TEST_F(DgSensorTest, FramesBeyondTheGeneratorAreRefusedWhenTheFileOpens)
{
    simboard::IspProfile profile = simboard::IspProfile::standard();
    profile.info.gasket_aMaxWidth[2] = 1024;
    driver->setProfile(profile);
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    ASSERT_EQ(connection->sHWInfo.gasket_aMaxWidth[0], 8192);

    auto refusal = [](const std::string &path, unsigned width, unsigned height, unsigned maxWidth, unsigned gasket) {
        return "frames of " + std::to_string(width) + "x" + std::to_string(height) + " in '" + path +
               "' are larger than the data generator takes: at most " + std::to_string(maxWidth) +
               " pixels wide on gasket " + std::to_string(gasket) + " and 16384 lines high\n";
    };
    const struct {
        unsigned width, height;
        bool accepted;
    } sizes[] = {
        {8192, 2, true},   {8194, 2, false}, {65534, 2, false}, {65536, 2, false},
        {2, 16384, true},  {2, 16386, false}, {2, 65536, false},
    };
    for (const auto &size : sizes) {
        SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
        const std::string path = writeJux("frame.jux", 1, size.width, size.height);
        ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
        ASSERT_EQ(IIFDG_ExtendedSetConnection(handle, connection), QOV_SUCCESS);
        Log log(kDatagenLog);
        if (size.accepted) {
            ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, path.c_str()), QOV_SUCCESS);
            SENSOR_MODE mode{};
            ASSERT_EQ(Sensor_GetMode(handle, 0, &mode), QOV_SUCCESS);
            EXPECT_EQ(mode.ui16Width, size.width);
            EXPECT_EQ(mode.ui16Height, size.height);
            ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
            ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
            insertAndWait(1);
            ASSERT_EQ(Sensor_Disable(handle), QOV_SUCCESS);
        } else {
            EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, path.c_str()), QOV_ERROR_NOT_SUPPORTED);
            EXPECT_TRUE(log.error("IIFDG_ExtendedSetSourceFile", refusal(path, size.width, size.height, 8192, 0)))
                << log.text();
            const char *file = "x";
            EXPECT_EQ(IIFDG_ExtendedGetSourceFile(handle, &file), QOV_SUCCESS);
            EXPECT_EQ(file, nullptr);
            EXPECT_EQ(IIFDG_ExtendedGetFrameCount(handle), 0u);
        }
        EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
        handle = nullptr;
    }

    // The gasket's own limit: 1026 pixels fit gasket 0, not gasket 2, which is
    // then refused and gasket 0 kept; 1024 fit both.
    const std::string wide = writeJux("wide.jux", 1, 1026, 2);
    open(wide);
    {
        Log log(kDatagenLog);
        EXPECT_EQ(IIFDG_ExtendedSetGasket(handle, 2), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(log.error("IIFDG_ExtendedSetGasket", refusal(wide, 1026, 2, 1024, 2))) << log.text();
    }
    QOV_UINT8 gasket = 9;
    ASSERT_EQ(IIFDG_ExtendedGetGasket(handle, &gasket), QOV_SUCCESS);
    EXPECT_EQ(gasket, 0);
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, writeJux("fits.jux", 1, 1024, 2).c_str()), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetGasket(handle, 2), QOV_SUCCESS);
    {
        Log log(kDatagenLog);  // and on gasket 2 a wider file is refused as it opens
        EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, wide.c_str()), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(log.error("IIFDG_ExtendedSetSourceFile", refusal(wide, 1026, 2, 1024, 2))) << log.text();
    }
    EXPECT_EQ(Sensor_Destroy(handle), QOV_SUCCESS);
    handle = nullptr;

    // Without a connection only the mode's 16-bit width bounds the file; the
    // gasket's limit then holds when the generator is enabled.
    const std::string wider = writeJux("wider.jux", 1, 65534, 2);
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, wider.c_str()), QOV_SUCCESS);
    {
        Log log(kDatagenLog);
        const std::string widest = writeJux("widest.jux", 1, 65536, 2);
        EXPECT_EQ(IIFDG_ExtendedSetSourceFile(handle, widest.c_str()), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(log.error("IIFDG_ExtendedSetSourceFile", refusal(widest, 65536, 2, 65535, 0))) << log.text();
    }
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, wider.c_str()), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetConnection(handle, connection), QOV_SUCCESS);
    driver->clearRequests();
    Log log(kDatagenLog);
    EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.error("IIFDG_Enable", refusal(wider, 65534, 2, 8192, 0))) << log.text();
    EXPECT_TRUE(driver->requests().empty());
}

TEST_F(DgSensorTest, RgbFilesAreRefused)
{
    open(writeJux("rgb.jux", 1, 8, 4, 10, SimImage_RGB64));
    ASSERT_EQ(IIFDG_ExtendedSetBlanking(handle, 100, 14), QOV_SUCCESS);
    Log log(kDatagenLog);
    SENSOR_INFO info{};
    EXPECT_EQ(Sensor_GetInfo(handle, &info), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(Sensor_Enable(handle), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(log.error("IIFDG_GetInfo", "un-expected image format!\n"));
    EXPECT_TRUE(log.error("IIFDG_Enable", "un-expected input format!\n"));
    EXPECT_EQ(driver->liveObjects().generators, 0u);
}

TEST_F(DgSensorTest, ConnectionIsSetOnce)
{
    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    CI_CONNECTION *other = nullptr;
    ASSERT_EQ(CI_DriverInit(&other), QOV_SUCCESS);
    Log log(kDatagenLog);
    EXPECT_EQ(IIFDG_ExtendedSetConnection(handle, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(log.error("IIFDG_ExtendedSetConnection", "NULL conn given\n"));
    ASSERT_EQ(IIFDG_ExtendedSetConnection(handle, connection), QOV_SUCCESS);
    EXPECT_EQ(IIFDG_ExtendedSetConnection(handle, other), QOV_ERROR_ALREADY_EXISTS);
    // the first connection stays: the other one may go
    ASSERT_EQ(CI_DriverFinalise(other), QOV_SUCCESS);
    ASSERT_EQ(IIFDG_ExtendedSetSourceFile(handle, writeJux("one.jux", 1).c_str()), QOV_SUCCESS);
    ASSERT_EQ(Sensor_Enable(handle), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().generators, 1u);
}

TEST_F(DgSensorTest, ExtensionsRefuseMissingHandlesAndPointers)
{
    Log log(kDatagenLog);
    QOV_UINT32 u32 = 0;
    QOV_UINT8 u8 = 0;
    QOV_BOOL8 b8 = 0;
    const char *name = nullptr;
    const std::vector<std::function<QOV_RESULT(SENSOR_HANDLE)>> all = {
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetConnection(h, nullptr); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetSourceFile(h, "x"); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetSourceFile(h, &name); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetGasket(h, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetGasket(h, &u8); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetDatagen(h, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetDatagen(h, &u8); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetFrameCap(h, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetFrameCap(h, &u32); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetIsVideo(h, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetIsVideo(h, &b8); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetNbBuffers(h, 1); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetNbBuffers(h, &u32); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetBlanking(h, 0, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetBlanking(h, &u32, &u32); },
        [](SENSOR_HANDLE h) { return IIFDG_ExtendedSetPreload(h, 0); },
        [&](SENSOR_HANDLE h) { return IIFDG_ExtendedGetPreload(h, &b8); },
    };
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i](nullptr), QOV_ERROR_NOT_INITIALISED) << "extension " << i;
    EXPECT_EQ(IIFDG_ExtendedGetFrameNO(nullptr), 17u);
    EXPECT_EQ(IIFDG_ExtendedGetFrameCount(nullptr), 17u);
    EXPECT_TRUE(log.error("IIFDG_ExtendedSetGasket", "NULL handle given\n"));

    // a handle of another driver is not taken for the generator's
    SENSOR_FUNCS foreign{};
    for (size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(all[i](&foreign), QOV_ERROR_INVALID_ARGUMENT) << "extension " << i;

    ASSERT_EQ(Sensor_Initialise(kDatagen, &handle), QOV_SUCCESS);
    const struct {
        const char *function;
        const char *message;
        std::function<QOV_RESULT()> call;
    } getters[] = {
        {"IIFDG_ExtendedGetSourceFile", "NULL filename given\n",
         [&] { return IIFDG_ExtendedGetSourceFile(handle, nullptr); }},
        {"IIFDG_ExtendedGetGasket", "NULL pGasket given\n", [&] { return IIFDG_ExtendedGetGasket(handle, nullptr); }},
        {"IIFDG_ExtendedGetDatagen", "NULL pContext given\n",
         [&] { return IIFDG_ExtendedGetDatagen(handle, nullptr); }},
        {"IIFDG_ExtendedGetFrameCap", "NULL pFrameCap given\n",
         [&] { return IIFDG_ExtendedGetFrameCap(handle, nullptr); }},
        {"IIFDG_ExtendedGetIsVideo", "NULL pIsVideo given\n",
         [&] { return IIFDG_ExtendedGetIsVideo(handle, nullptr); }},
        {"IIFDG_ExtendedGetNbBuffers", "NULL pNBuffers given\n",
         [&] { return IIFDG_ExtendedGetNbBuffers(handle, nullptr); }},
        {"IIFDG_ExtendedGetBlanking", "NULL pHBlanking or pVBlanking given\n",
         [&] { return IIFDG_ExtendedGetBlanking(handle, &u32, nullptr); }},
        {"IIFDG_ExtendedGetPreload", "pbPreload is NULL\n", [&] { return IIFDG_ExtendedGetPreload(handle, nullptr); }},
    };
    for (const auto &g : getters) {
        EXPECT_EQ(g.call(), QOV_ERROR_INVALID_ARGUMENT) << g.function;
        EXPECT_TRUE(log.error(g.function, g.message)) << g.function;
    }
}

}  // namespace
