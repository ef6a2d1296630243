// The colour, tone and scaling modules through a camera from the factory on
// the simulated board: a flat grey scene with identity white balance and
// colour matrix comes out as constant luma with both chroma at half range in
// the encoder frame and as equal red, green and blue in the display frame,
// at the sizes the scaler keys ask for.
#include <list>
#include <memory>
#include <set>

#include "ci/ci_gasket.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/ParameterFileParser.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vova_test_support.h"

using namespace VOVA;

namespace {

const std::string kSetupFile = std::string(VEZARA_TESTDATA) + "/vova/flat_grey_setup.txt";
constexpr unsigned kWidth = 128, kHeight = 64;

// Every frame the same flat grey Bayer image.
class FlatSource : public simboard::GasketSource {
public:
    explicit FlatSource(uint16_t level)
    {
        m_frame.width = kWidth;
        m_frame.height = kHeight;
        m_frame.bitDepth = 10;
        m_frame.mosaic = MOSAIC_RGGB;
        m_frame.samples.assign(static_cast<size_t>(kWidth) * kHeight, level);
    }
    bool streaming() const override { return true; }
    uint64_t nextFrame(simboard::BayerFrame &frame) override
    {
        frame = m_frame;
        return 33'000'000;
    }

private:
    simboard::BayerFrame m_frame;
};

class ColourOnBoard : public vovatest::BoardTest {};

TEST_F(ColourOnBoard, FlatGreyGivesNeutralEncoderAndDisplayFramesAtTheAskedSizes)
{
    driver->attachSource(0, std::make_shared<FlatSource>(400));
    Sensor sensor;
    sensor.uiWidth = kWidth;
    sensor.uiHeight = kHeight;
    sensor.uiBitDepth = 10;
    sensor.eBayerFormat = MOSAIC_RGGB;
    {
        Camera camera(0, &sensor);
        ASSERT_EQ(Camera::CAM_CONNECTED, camera.state);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(camera, camera.getSensor()));
        const ParameterList setup = ParameterFileParser::parseFile(kSetupFile);
        ASSERT_TRUE(setup.validFlag);
        ASSERT_EQ(QOV_SUCCESS, camera.loadParameters(setup));
        ASSERT_EQ(QOV_SUCCESS, camera.program());
        std::list<QOV_UINT32> ids;
        ASSERT_EQ(QOV_SUCCESS, camera.allocateBufferPool(1, ids));
        // the borrowed sensor starts nothing: the stand-in streams into gasket 0
        CI_GASKET gasket{};
        gasket.uiWidth = kWidth;
        gasket.uiHeight = kHeight;
        ASSERT_EQ(QOV_SUCCESS, CI_GasketAcquire(&gasket, camera.getConnection()));
        ASSERT_EQ(QOV_SUCCESS, camera.startCapture());
        ASSERT_EQ(QOV_SUCCESS, camera.enqueueShot());
        Shot shot;
        ASSERT_EQ(QOV_SUCCESS, camera.acquireShot(shot));
        EXPECT_FALSE(shot.bFrameError);

        // encoder: half size by its output size, constant luma, chroma at 128
        ASSERT_EQ(YVU_420_PL12_8, shot.YUV.pxlFormat);
        EXPECT_EQ(64u, shot.YUV.width);
        EXPECT_EQ(32u, shot.YUV.height);
        std::set<int> luma, chroma;
        for (unsigned y = 0; y < shot.YUV.height; y++)
            for (unsigned x = 0; x < shot.YUV.width; x++)
                luma.insert(shot.YUV.firstData()[y * shot.YUV.stride + x]);
        for (unsigned y = 0; y < shot.YUV.height / 2; y++)
            for (unsigned x = 0; x < shot.YUV.width; x++)
                chroma.insert(shot.YUV.firstDataCbCr()[y * shot.YUV.strideCbCr + x]);
        EXPECT_EQ(1u, luma.size());
        EXPECT_GT(*luma.begin(), 16);
        EXPECT_LT(*luma.begin(), 235);
        EXPECT_EQ(std::set<int>{128}, chroma);

        // display: half width by its pitch, red, green and blue equal
        ASSERT_EQ(RGB_888_32, shot.DISPLAY.pxlFormat);
        EXPECT_EQ(64u, shot.DISPLAY.width);
        EXPECT_EQ(64u, shot.DISPLAY.height);
        std::set<int> grey;
        for (unsigned y = 0; y < shot.DISPLAY.height; y++) {
            for (unsigned x = 0; x < shot.DISPLAY.width; x++) {
                const QOV_UINT8 *p = shot.DISPLAY.firstData() + y * shot.DISPLAY.stride + 4 * x;
                EXPECT_EQ(p[0], p[1]) << x << "," << y;
                EXPECT_EQ(p[1], p[2]) << x << "," << y;
                grey.insert(p[1]);
            }
        }
        EXPECT_EQ(1u, grey.size());
        EXPECT_GT(*grey.begin(), 0);
        EXPECT_LT(*grey.begin(), 255);

        // the global setup reports the scaled sizes
        const Global_Setup global = camera.getPipeline()->getGlobalSetup();
        EXPECT_EQ(64u, global.ui32EncWidth);
        EXPECT_EQ(32u, global.ui32EncHeight);
        ASSERT_EQ(QOV_SUCCESS, camera.releaseShot(shot));
        ASSERT_EQ(QOV_SUCCESS, camera.stopCapture());
        EXPECT_EQ(QOV_SUCCESS, CI_GasketRelease(&gasket, camera.getConnection()));
    }
}

}  // namespace
