// The data-generator camera and its sensor wrapper on the simulated board: a
// JUX file from testdata played through the internal data generator, every
// output of every shot saved and read back, the exposure emulated on the raw
// look-up curves; the curve itself, the sensor's figures from a setup file,
// and the refusals.
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "sim_image/sim_image.h"
#include "vova/CameraFactory.h"
#include "vova/DGCamera.h"
#include "vova/DGSensor.h"
#include "vova/ModuleRLT.h"
#include "vova/Pipeline.h"
#include "vova/Save.h"
#include "vova/Shot.h"
#include "save_test_support.h"
#include "vova_test_support.h"

using namespace VOVA;
using vovatest::readFile;

namespace {

const std::string kJux = std::string(VEZARA_TESTDATA) + "/vova/dg_3frames_640x32_10bit_rggb.jux";
constexpr unsigned kJuxWidth = 640, kJuxHeight = 32, kFrames = 3;

// Every frame of a JUX file as 16-bit samples.
std::vector<std::vector<QOV_UINT16>> juxFrames(const std::string &path, SimImageInfo *info = nullptr)
{
    std::vector<std::vector<QOV_UINT16>> frames;
    sSimImageIn in;
    SimImageIn_init(&in);
    if (SimImageIn_loadJUX(&in, path.c_str()) != QOV_SUCCESS) {
        ADD_FAILURE() << "cannot read " << path;
        SimImageIn_close(&in);
        return frames;
    }
    if (info)
        *info = in.info;
    // Bayer frames are rows of 2x2 cells; other models are not compared
    const bool bayer = in.info.eColourModel >= SimImage_RGGB;
    const size_t samples = bayer ? in.info.stride / 2 * (in.info.ui32Height / 2) : 0;
    for (QOV_UINT32 f = 0; f < in.nFrames; f++) {
        EXPECT_EQ(QOV_SUCCESS, SimImageIn_convertFrame(&in, static_cast<QOV_INT32>(f)));
        frames.emplace_back(in.pBuffer, in.pBuffer + samples);
    }
    SimImageIn_close(&in);
    return frames;
}

// Each line of a text up to its " = ": the layout without the values.
std::vector<std::string> layout(const std::string &text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(0, line.find(" = ")));
    return lines;
}

// The curve as the emulation defines it, for an exposure inside the range.
std::vector<QOV_UINT16> plainCurve(double exposure, double minExposure, double maxExposure)
{
    const double r = exposure / std::sqrt(minExposure * maxExposure);
    std::vector<QOV_UINT16> points;
    for (int i = 0; i < 15; i++)
        points.push_back(static_cast<QOV_UINT16>((1.0 - std::pow(1.0 - (i + 1) * 0.0625, r)) * 65536.0));
    points.push_back(65535);
    return points;
}

class DGCameraTest : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        folder = std::filesystem::path(testing::TempDir()) / ("vova_dg_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override
    {
        std::filesystem::remove_all(folder);
        vovatest::BoardTest::TearDown();
    }
    std::string path(const std::string &name) { return (folder / name).string(); }

    // A capturing generator camera with the given outputs and two buffers of each.
    void start(DGCamera &camera, const std::vector<std::pair<std::string, std::string>> &keys)
    {
        ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
        ParameterList list;
        for (const auto &k : keys)
            list.addParameter(Parameter(k.first, k.second), true);
        ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(list));
        ASSERT_EQ(QOV_SUCCESS, camera.program());
        ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(2));
        ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
    }

    std::filesystem::path folder;
};

TEST(DGCameraCurve, ExposureIsEmulatedOnTheRawCurvesWithoutWrapping)
{
    struct Case {
        QOV_UINT32 exposure, minExposure, maxExposure;
        QOV_UINT16 first, last;  // points 0 and 14
    } const cases[] = {
        {1000, 100, 10000, 4096, 61440},     // r = 1: the identity ramp
        {2000, 100, 10000, 7936, 65280},     // r = 2
        {500, 100, 10000, 2081, 49152},      // r = 0.5, darker
        {40000, 100, 10000, 60577, 65534},   // r = 40: point 14 saturated, not wrapped to 0
        {0, 100, 10000, 1, 15},              // no exposure: the darkest increasing curve
        {1000, 0, 10000, 65520, 65534},      // no range: the brightest
        {0, 0, 0, 4096, 61440},              // nothing known: the identity
    };
    for (const Case &c : cases) {
        QOV_UINT16 points[16];
        DGCamera::exposureCurve(c.exposure, c.minExposure, c.maxExposure, points);
        EXPECT_EQ(c.first, points[0]) << c.exposure << " " << c.minExposure;
        EXPECT_EQ(c.last, points[14]) << c.exposure << " " << c.minExposure;
        EXPECT_EQ(65535, points[15]);
        for (int i = 1; i < 16; i++)
            EXPECT_LT(points[i - 1], points[i]) << c.exposure << " point " << i;
    }
    QOV_UINT16 identity[16];
    DGCamera::exposureCurve(1000, 100, 10000, identity);
    for (int i = 0; i < 15; i++)
        EXPECT_EQ(4096 * (i + 1), identity[i]);
}

TEST_F(DGCameraTest, SensorFiguresComeFromTheSetupFileDeprecatedKeysFirst)
{
    struct Case {
        std::vector<std::pair<std::string, std::string>> keys;
        double gain;
        unsigned wellDepth;
        double readNoise, frameRate;
        bool warned;
    } const cases[] = {
        {{}, 1.0, 5000, 0.0, 30.0, false},
        {{{"FLD_FRAME_RATE", "25"}, {"SENSOR_FRAME_RATE", "50"}}, 1.0, 5000, 0.0, 25.0, true},
        {{{"SENSOR_FRAME_RATE", "50"}, {"SENSOR_GAIN", "2.5"}, {"SENSOR_WELL_DEPTH", "900"}}, 2.5, 900, 0.0, 50.0,
         false},
        {{{"DNS_ISO_GAIN", "300"}, {"DNS_WELL_DEPTH", "-5"}, {"DNS_READ_NOISE", "1.5"}}, 128.0, 0, 1.5, 30.0, true},
        {{{"DNS_WELL_DEPTH", "70000"}, {"DNS_READ_NOISE", "150"}, {"FLD_FRAME_RATE", "0.5"}}, 1.0, 65535, 100.0, 1.0,
         true},
        {{{"SENSOR_GAIN", "-1"}, {"SENSOR_READ_NOISE", "-1"}, {"SENSOR_FRAME_RATE", "300"}}, 0.0, 5000, 0.0, 255.0,
         false},
    };
    DGSensor sensor(kJux, 0, true);
    ASSERT_EQ(Sensor::SENSOR_INITIALIZED, sensor.getState());
    for (const Case &c : cases) {
        ParameterList list;
        for (const auto &k : c.keys)
            list.addParameter(Parameter(k.first, k.second), true);
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, sensor.load(list));
        EXPECT_DOUBLE_EQ(c.gain, sensor.getGain());
        EXPECT_EQ(c.wellDepth, sensor.uiWellDepth);
        EXPECT_DOUBLE_EQ(c.readNoise, sensor.flReadNoise);
        EXPECT_DOUBLE_EQ(c.frameRate, sensor.flFrameRate);
        EXPECT_EQ(c.warned, log.contains(" is deprecated use "));
    }
    vovatest::LogCapture log;
    ParameterList list;
    list.addParameter(Parameter("FLD_FRAME_RATE", "25"), true);
    sensor.load(list);
    EXPECT_TRUE(log.contains("FLD_FRAME_RATE is deprecated use SENSOR_FRAME_RATE instead!"));
}

TEST_F(DGCameraTest, RefusalsAreClearAndUpFront)
{
    {
        vovatest::LogCapture log;
        DGSensor external(kJux, 0, false);
        EXPECT_EQ(Sensor::SENSOR_ERROR, external.getState());
        EXPECT_TRUE(log.contains("external DG not supported!"));
    }
    {
        vovatest::LogCapture log;
        DGCamera missing(0, path("absent.jux"), 0, true);
        EXPECT_EQ(Camera::CAM_ERROR, missing.state);
        EXPECT_TRUE(log.contains("Failed to setup IIFDG source file"));
        EXPECT_TRUE(log.contains("Cannot init DG sensor!"));
    }
    // without a raw look-up table every acquire could only fail: refused at construction
    driver->setProfile(simboard::IspProfile::version(1, 0));
    vovatest::LogCapture log;
    DGCamera old(0, kJux, 0, true);
    EXPECT_EQ(Camera::CAM_ERROR, old.state);
    EXPECT_TRUE(log.contains("The HW 1.0 has no raw look-up table to emulate the exposure of the data generator"));
}

// The figures a generator cannot give, from the denoiser's keys, clamped to
// their ranges; absent keys give the defaults.
TEST_F(DGCameraTest, TheSensorInfoTakesTheDenoisersKeysWithinTheirRanges)
{
    DGCamera camera(0, kJux, 0, true);
    ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
    Sensor *sensor = camera.getSensor();
    EXPECT_EQ(5000u, sensor->uiWellDepth);  // set at construction from no keys
    EXPECT_DOUBLE_EQ(0.0, sensor->flReadNoise);
    struct Case {
        const char *wellDepth, *readNoise;
        unsigned expectedWellDepth;
        double expectedReadNoise;
    } const cases[] = {
        {"1234", "2.5", 1234, 2.5}, {"70000", "150", 65535, 100.0}, {"-3", "-1", 0, 0.0}, {nullptr, nullptr, 5000, 0.0}};
    for (const Case &c : cases) {
        ParameterList list;
        if (c.wellDepth)
            list.addParameter(Parameter("DNS_WELL_DEPTH", c.wellDepth), true);
        if (c.readNoise)
            list.addParameter(Parameter("DNS_READ_NOISE", c.readNoise), true);
        ASSERT_EQ(QOV_SUCCESS, camera.updateSensorInfo(list));
        EXPECT_EQ(c.expectedWellDepth, sensor->uiWellDepth) << (c.wellDepth ? c.wellDepth : "absent");
        EXPECT_DOUBLE_EQ(c.expectedReadNoise, sensor->flReadNoise) << (c.readNoise ? c.readNoise : "absent");
    }
}

// Built around no sensor: every operation that needs the generator says so.
TEST_F(DGCameraTest, WithoutASensorNoShotIsEnqueued)
{
    vovatest::LogCapture log;
    DGCamera camera(0, static_cast<Sensor *>(nullptr));
    EXPECT_EQ(Camera::CAM_ERROR, camera.state);
    EXPECT_EQ(nullptr, camera.getSensor());
    CI_BUFFID ids{};
    const CI_BUFFID constIds{};
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, camera.enqueueShot());
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, camera.enqueueSpecifiedShot(ids));
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, camera.enqueueSpecifiedShot(constIds));
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, camera.updateSensorInfo(ParameterList()));
    size_t messages = 0;
    for (size_t at = log.text().find("sensor object is NULL"); at != std::string::npos;
         at = log.text().find("sensor object is NULL", at + 1))
        messages++;
    EXPECT_EQ(4u, messages) << log.text();
    EXPECT_FALSE(log.contains("enqueue shot on DG camera")) << log.text();
    EXPECT_EQ(0u, driver->requestCount(CI_CAPTURE_TRIGGER));
}

TEST_F(DGCameraTest, TheHardwareIsAskedWithoutOpeningTheDriverWhenAConnectionIsHeld)
{
    EXPECT_TRUE(DGCamera::supportIntDG());
    EXPECT_FALSE(DGCamera::supportExtDG());
    EXPECT_EQ(0u, driver->liveObjects().connections);
    EXPECT_FALSE(DGCamera::supportIntDG(nullptr));

    DGCamera camera(0, kJux, 0, true);
    const size_t connections = driver->liveObjects().connections;
    driver->clearRequests();
    EXPECT_TRUE(DGCamera::supportIntDG(camera.getConnection()));
    EXPECT_TRUE(driver->requests().empty());
    EXPECT_EQ(connections, driver->liveObjects().connections);

    driver->setProfile(simboard::IspProfile::noFunctionalities());
    CI_CONNECTION other{};
    EXPECT_FALSE(DGCamera::supportIntDG(&other));
}

// A generator sensor that outlives the camera borrowing it, streaming when
// the camera goes: its generator goes before its own driver connection.
TEST_F(DGCameraTest, ASensorOutlivingItsCameraClosesItsGeneratorFirst)
{
    auto sensor = std::make_unique<DGSensor>(kJux, 0, true);
    ASSERT_EQ(QOV_SUCCESS, sensor->configure(0, 0));
    {
        DGCamera camera(0, sensor.get());
        EXPECT_EQ(Camera::CAM_CONNECTED, camera.state);
        EXPECT_FALSE(camera.ownsSensor());
    }
    ASSERT_EQ(QOV_SUCCESS, sensor->enable());
    EXPECT_EQ(1u, driver->liveObjects().generators);
    // the generator cannot be stopped: it is still there when the wrapper goes
    driver->planFault(CI_IIFDG_STOP, -EIO, 0);
    vovatest::LogCapture log;
    sensor.reset();
    EXPECT_EQ(0u, driver->liveObjects().total());
}

TEST_F(DGCameraTest, PlaysAJuxFileAndSavesEveryOutputOfEveryShot)
{
    const auto input = juxFrames(kJux);
    ASSERT_EQ(kFrames, input.size());
    {
        DGCamera camera(0, kJux, 0, true);
        start(camera,
              {{"OUT_ENC", "NV21"}, {"OUT_DE", "BAYER10"}, {"OUT_DE_RAW2D", "TIFF10"}, {"OUT_DE_HDF", "BGR101010_32"}});
        const Pipeline &pipeline = *camera.getPipeline();
        const Global_Setup setup = pipeline.getGlobalSetup();
        EXPECT_EQ(kJuxWidth, setup.ui32ImageWidth);
        EXPECT_EQ(kJuxHeight, setup.ui32ImageHeight);
        const std::string encoderName = Save::getEncoderFilename(pipeline);
        ASSERT_FALSE(encoderName.empty());

        const Sensor &sensor = *camera.getSensor();
        for (unsigned f = 0; f < kFrames; f++) {
            ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
            Shot shot;
            ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
            ASSERT_FALSE(shot.bFrameError);
            if (f == 0) {
                // the curves follow the exposure the generator sensor reports
                const ModuleRLT *rlt = static_cast<const ModuleRLT *>(pipeline.getModule(STP_RLT));
                ASSERT_NE(nullptr, rlt);
                EXPECT_EQ(ModuleRLT::RLT_CUBIC, rlt->eMode);
                EXPECT_TRUE(rlt->isUpdateRequested());
                const auto curve = plainCurve(sensor.getExposure(), sensor.getMinExposure(), sensor.getMaxExposure());
                for (const auto &channel : rlt->aLUTPoints)
                    EXPECT_EQ(curve, std::vector<QOV_UINT16>(channel, channel + 16));
            }
            const std::string n = std::to_string(f);
            EXPECT_EQ(QOV_SUCCESS, Save::Single(pipeline, shot, Save::Bayer, path("de" + n + ".jux")));
            EXPECT_EQ(QOV_SUCCESS, Save::Single(pipeline, shot, Save::Bayer_TIFF, path("raw2d" + n + ".jux")));
            EXPECT_EQ(QOV_SUCCESS, Save::Single(pipeline, shot, Save::YUV, path(n + encoderName)));
            EXPECT_EQ(QOV_SUCCESS, Save::Single(pipeline, shot, Save::RGB_EXT, path("hdr" + n + ".jux")));
            EXPECT_EQ(QOV_SUCCESS, Save::SingleDPF(pipeline, shot, path("dpf" + n + ".bin")));
            EXPECT_EQ(QOV_SUCCESS, Save::SingleENS(pipeline, shot, path("ens" + n + ".bin")));
            EXPECT_EQ(QOV_SUCCESS, Save::SingleStats(pipeline, shot, path("stats" + n + ".bin")));
            EXPECT_EQ(QOV_SUCCESS, Save::SingleTxtStats(camera, shot, path("stats" + n + ".txt")));
            ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));

            // the data extraction and the raw 2D output carry the file's frame
            SimImageInfo info{};
            const auto de = juxFrames(path("de" + n + ".jux"), &info);
            ASSERT_EQ(1u, de.size());
            EXPECT_EQ(kJuxWidth, info.ui32Width);
            EXPECT_EQ(kJuxHeight, info.ui32Height);
            EXPECT_EQ(10, info.ui8BitDepth);
            EXPECT_EQ(SimImage_RGGB, info.eColourModel);
            EXPECT_EQ(input[f], de[0]) << "frame " << f;
            const auto raw2d = juxFrames(path("raw2d" + n + ".jux"));
            ASSERT_EQ(1u, raw2d.size());
            EXPECT_EQ(input[f], raw2d[0]) << "frame " << f;

            SimImageInfo hdr{};
            ASSERT_EQ(1u, juxFrames(path("hdr" + n + ".jux"), &hdr).size());
            EXPECT_EQ(kJuxWidth, hdr.ui32Width);
            EXPECT_EQ(kJuxHeight, hdr.ui32Height);
            EXPECT_EQ(10, hdr.ui8BitDepth);

            // NV21: a luma byte per pixel, then interleaved chroma over half the lines
            EXPECT_EQ(setup.ui32EncWidth * setup.ui32EncHeight * 3 / 2,
                      std::filesystem::file_size(path(n + encoderName)));
            EXPECT_EQ("#stats-" + std::to_string(simboard::kIspStatisticsSize) + "B#",
                      readFile(path("stats" + n + ".bin")).substr(0, 13));
        }
        std::ostringstream state;
        state << camera << std::endl;
        EXPECT_EQ("Camera:\n  state = CAM_CAPTURING\n  ctx = 0\n  ownSensor = 1\nControls:\n\n", state.str());
        // the camera state, then the statistics laid out line by line as in
        // the text built from the layout rules (values aside)
        const std::string text = readFile(path("stats2.txt"));
        ASSERT_EQ(0u, text.rfind(state.str(), 0));
        EXPECT_EQ(layout(readFile(std::string(VEZARA_TESTDATA) + "/vova/text_statistics.txt")),
                  layout(text.substr(state.str().size())));
        ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
    }
    EXPECT_EQ(0u, driver->liveObjects().total());
}

TEST_F(DGCameraTest, DisplayFilesTakeTheDisplaySize)
{
    DGCamera camera(0, kJux, 0, true);
    start(camera, {{"OUT_ENC", "NV21"}, {"OUT_DISP", "RGB888_32"}});
    const Pipeline &pipeline = *camera.getPipeline();
    EXPECT_EQ("display0.jux", Save::getDisplayFilename(pipeline));
    const Global_Setup setup = pipeline.getGlobalSetup();
    for (unsigned f = 0; f < 2; f++) {
        ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
        Shot shot;
        ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
        ASSERT_EQ(QOV_SUCCESS, Save::Single(pipeline, shot, Save::Display, path("display.jux")));
        ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
        SimImageInfo info{};
        ASSERT_EQ(1u, juxFrames(path("display.jux"), &info).size());
        EXPECT_EQ(setup.ui32DispWidth, info.ui32Width);
        EXPECT_EQ(setup.ui32DispHeight, info.ui32Height);
    }
    ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
}

// The wait's answer decides the acquire: "not supported" still rewrites the
// curves, any other failure is the result.
TEST_F(DGCameraTest, AWaitThatIsNotSupportedStillEmulatesTheExposure)
{
    DGCamera camera(0, kJux, 0, true);
    start(camera, {{"OUT_ENC", "NV21"}});
    ModuleRLT *rlt = static_cast<ModuleRLT *>(camera.getPipeline()->getModule(STP_RLT));
    ASSERT_NE(nullptr, rlt);
    struct Case {
        long answer;
        QOV_RESULT result;
        bool rewritten;
    } const cases[] = {{-EOPNOTSUPP, QOV_SUCCESS, true}, {-ETIME, QOV_ERROR_TIMEOUT, false}};
    for (const Case &c : cases) {
        rlt->eMode = ModuleRLT::RLT_DISABLED;
        ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
        rlt->clearFlags();
        driver->planFault(CI_IIFDG_WAITPROCESSED, c.answer);
        Shot shot;
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, camera.acquireShot(shot));
        EXPECT_EQ(c.rewritten, rlt->eMode == ModuleRLT::RLT_CUBIC) << c.answer;
        EXPECT_EQ(c.rewritten, rlt->isUpdateRequested()) << c.answer;
        ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
    }
    ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
}

// A shot enqueued on a constant buffer set has its frame too, and every
// acquire waits for exactly the frames that were inserted.
TEST_F(DGCameraTest, EveryEnqueueInsertsTheFrameItsAcquireWaitsFor)
{
    DGCamera camera(0, kJux, 0, true);
    start(camera, {{"OUT_ENC", "NV21"}, {"OUT_DE", "BAYER10"}});
    const auto input = juxFrames(kJux);
    for (unsigned f = 0; f < kFrames; f++) {
        CI_BUFFID ids{};
        ASSERT_EQ(QOV_SUCCESS, camera.getPipeline()->getFirstAvailableBuffers(ids));
        const CI_BUFFID &constant = ids;
        if (f % 2)
            ASSERT_EQ(QOV_SUCCESS, camera.enqueueSpecifiedShot(constant));
        else
            ASSERT_EQ(QOV_SUCCESS, camera.enqueueSpecifiedShot(ids));
        Shot shot;
        ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
        ASSERT_EQ(QOV_SUCCESS, Save::Single(*camera.getPipeline(), shot, Save::Bayer, path("de.jux")));
        ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
        const auto de = juxFrames(path("de.jux"));
        ASSERT_EQ(1u, de.size());
        EXPECT_EQ(input[f], de[0]) << "frame " << f;
    }
    ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
    // a shot the camera refuses has no frame inserted for it
    const unsigned inserted = driver->requestCount(CI_IIFDG_RELEASE);
    CI_BUFFID ids{};
    vovatest::LogCapture log;
    EXPECT_NE(QOV_SUCCESS, camera.enqueueShot());
    EXPECT_NE(QOV_SUCCESS, camera.enqueueSpecifiedShot(ids));
    EXPECT_EQ(inserted, driver->requestCount(CI_IIFDG_RELEASE));
}

TEST_F(DGCameraTest, ABorrowedSensorIsNeitherFedNorWaitedForNorEmulated)
{
    DGSensor sensor(kJux, 0, true);
    ASSERT_EQ(QOV_SUCCESS, sensor.configure(0, 0));
    {
        DGCamera camera(0, &sensor);
        ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
        ParameterList list;
        list.addParameter(Parameter("OUT_ENC", "NV21"), true);
        ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(list));
        ASSERT_EQ(QOV_SUCCESS, camera.program());
        ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(1));
        ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
        ASSERT_EQ(QOV_SUCCESS, sensor.enable());
        const unsigned inserted = driver->requestCount(CI_IIFDG_RELEASE);
        ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
        EXPECT_EQ(inserted, driver->requestCount(CI_IIFDG_RELEASE));
        ASSERT_EQ(QOV_SUCCESS, sensor.insert());
        Shot shot;
        ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
        const ModuleRLT *rlt = static_cast<const ModuleRLT *>(camera.getPipeline()->getModule(STP_RLT));
        ASSERT_NE(nullptr, rlt);
        EXPECT_FALSE(rlt->isUpdateRequested());
        ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
        ASSERT_EQ(QOV_SUCCESS, sensor.waitProcessed());
        ASSERT_EQ(QOV_SUCCESS, sensor.disable());
        ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
    }
}

}  // namespace
