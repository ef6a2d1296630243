// The loops closed on the simulated camera: each scenario points the
// camera at a scene, lets the registered loops run shot by shot as the
// capture program does (two buffers in flight), and checks the frame limits
// the loops must meet.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "control_test_support.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlDNS.h"
#include "vova/ControlLBC.h"
#include "vova/ControlTNM.h"
#include "vova/ModuleDNS.h"
#include "vova/ModuleTNM.h"

using namespace VOVA;

namespace {

// S5K3P9 (sensor-table entry 15) in its 1280 x 720 mode at 120 frames per
// second, with a lens actuator.
constexpr int kFocusSensorId = 15;
constexpr int kFocusSensorMode = 6;

class LoopScenario : public vovatest::LoopCamera {
protected:
    void SetUp() override
    {
        LoopCamera::SetUp();
        inFlight = 2;
    }
    // Frames until the exposure loop has converged, at most `limit`; -1 when it never did.
    int framesToConverge(ControlAE &ae, int limit)
    {
        for (int n = 1; n <= limit; n++) {
            EXPECT_EQ(QOV_SUCCESS, frame());
            if (std::fabs(ae.getTargetBrightness() - ae.getCurrentBrightness()) < 0.05)
                return n;
        }
        return -1;
    }
    void expectStaysConverged(ControlAE &ae, int frames)
    {
        for (int n = 0; n < frames; n++) {
            ASSERT_EQ(QOV_SUCCESS, frame());
            EXPECT_LT(std::fabs(ae.getTargetBrightness() - ae.getCurrentBrightness()), 0.05) << "frame " << n;
        }
    }
};

// The exposure loop on the colour chart from a given exposure and gain,
// set before the first shot is enqueued.
class ExposureScenario : public LoopScenario {
protected:
    ControlAE *startFrom(unsigned long exposure, double gain)
    {
        makeCamera();
        ae = new ControlAE("VOVA_CTRL_AE");
        EXPECT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
        start();
        EXPECT_EQ(QOV_SUCCESS, sensor().setExposure(exposure));
        EXPECT_EQ(QOV_SUCCESS, sensor().setGain(gain));
        return ae;
    }
    ControlAE *ae = nullptr;
};

TEST_F(ExposureScenario, ConvergesFromADarkStartWithin25FramesAndStays)
{
    scene().lightLevel = 0.5;
    startFrom(50, 1.0);
    const int frames = framesToConverge(*ae, 25);
    EXPECT_GT(frames, 0);
    std::printf("dark start: %d frames\n", frames);
    expectStaysConverged(*ae, 8);
}

TEST_F(ExposureScenario, ConvergesFromASaturatedStartWithin25FramesAndStays)
{
    scene().lightLevel = 0.5;
    startFrom(30000, 8.0);
    const int frames = framesToConverge(*ae, 25);
    EXPECT_GT(frames, 0);
    std::printf("saturated start: %d frames\n", frames);
    expectStaysConverged(*ae, 8);
}

// After the light drops eight times the exposure ends at the frame limit
// and the gain makes up the rest.
TEST_F(ExposureScenario, ConvergesAgainAfterTheLightDropsEightTimes)
{
    scene().lightLevel = 4.0;
    startFrom(2000, 1.0);
    ASSERT_GT(framesToConverge(*ae, 25), 0);
    expectStaysConverged(*ae, 3);
    const unsigned long bright = sensor().getExposure();
    const double brightGain = sensor().getGain();
    std::printf("bright: exposure %lu gain %g\n", bright, brightGain);

    scene().lightLevel /= 8.0;
    for (int i = 0; i < 3; i++)  // the shots already under way still show the bright scene
        ASSERT_EQ(QOV_SUCCESS, frame());
    const int frames = framesToConverge(*ae, 25);
    std::printf("after the drop: %d frames, exposure %lu gain %g\n", frames, sensor().getExposure(),
                sensor().getGain());
    EXPECT_GT(frames, 0);
    expectStaysConverged(*ae, 5);
    // the frame limit, within the sensor's longest exposure
    const unsigned long frameLimit =
        std::min(static_cast<unsigned long>(1000000.0 / sensor().flFrameRate), sensor().getMaxExposure());
    EXPECT_EQ(frameLimit, ae->getNewExposure());
    EXPECT_GT(sensor().getGain(), 1.5);
}

// Under a lamp on 50 Hz mains with rejection on, every exposure of a
// flicker period or more is a whole number of 10 ms: at the configured
// frequency from the first shot, and with automatic detection once the
// detector has stopped waiting (its first shots keep no frequency).
TEST_F(ExposureScenario, FlickerRejectionKeepsWholeFlickerPeriods)
{
    scene().lampHz = 50;
    scene().lightLevel = 0.5;
    for (bool automatic : {false, true}) {
        SCOPED_TRACE(automatic ? "detected" : "configured");
        if (!camera) {
            startFrom(700, 1.0);
        } else {
            ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(700));
            ASSERT_EQ(QOV_SUCCESS, sensor().setGain(1.0));
        }
        ae->enableFlickerRejection(true, automatic ? 0.0 : 50.0);
        int longOnes = 0;
        bool detected = false;
        for (int n = 0; n < 20; n++) {
            ASSERT_EQ(QOV_SUCCESS, frame([&detected](const Shot &shot) {
                detected = detected || shot.metadata.flickerStats.flickerStatus == FLD_50HZ;
            }));
            const microseconds_t e = ae->getNewExposure();
            if (e >= 10000 && (!automatic || detected)) {
                longOnes++;
                EXPECT_EQ(0u, e % 10000) << "frame " << n << ": " << e;
            }
        }
        EXPECT_EQ(50.0, ae->getFlickerRejectionFrequency());
        EXPECT_GT(longOnes, 5);
        EXPECT_TRUE(ae->hasConverged());
    }
}

// A frame shorter than the flicker period (120 frames per second under a
// 50 Hz lamp) has no whole period: the loop keeps the frame as its limit
// instead of dividing by a limit of 0.
TEST_F(LoopScenario, ExposureAtAFrameShorterThanTheFlickerPeriodStaysFinite)
{
    scene().lampHz = 50;
    scene().lightLevel = 0.05;
    makeCamera("S5K3P9", kFocusSensorId, kFocusSensorMode, ParameterList());
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    ae->enableFlickerRejection(true, 50.0);
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(ae));
    start();
    for (int n = 0; n < 12; n++) {
        ASSERT_EQ(QOV_SUCCESS, frame());
        EXPECT_TRUE(std::isfinite(ae->getNewGain())) << n;
        EXPECT_GT(ae->getNewExposure(), 0u) << n;
        EXPECT_LE(ae->getNewExposure(), 8334u) << n;
    }
    EXPECT_GT(sensor().getGain(), 1.0);
}

// The denoiser, tone-mapping and light-based loops behind the exposure loop:
// the denoiser takes the gain programmed on the same shot, the light level
// and the tone curve settle.
TEST_F(LoopScenario, LoopsBehindTheExposureFollowItAndSettle)
{
    scene().lightLevel = 0.2;
    makeCamera();
    auto *ae = new ControlAE("VOVA_CTRL_AE");
    auto *tnm = new ControlTNM("VOVA_CTRL_TNM");
    auto *dns = new ControlDNS(1.0, "VOVA_CTRL_DNS");
    auto *lbc = new ControlLBC("VOVA_CTRL_LBC");
    for (ControlModule *c : std::initializer_list<ControlModule *>{ae, tnm, dns, lbc})
        ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(c));
    lbc->setUpdateSpeed(0.5);
    LightCorrection darkSet;
    darkSet.lightLevel = 0.2;
    darkSet.sharpness = 0.1;
    lbc->addConfiguration(darkSet);
    start();
    ASSERT_EQ(QOV_SUCCESS, sensor().setExposure(500));

    std::vector<double> levels, curveMid;
    for (int n = 0; n < 30; n++) {
        ASSERT_EQ(QOV_SUCCESS, frame());
        EXPECT_EQ(sensor().getGain(), module<ModuleDNS>().fSensorGain) << n;
        EXPECT_EQ(sensor().getGain(), dns->getSensorGain()) << n;
        levels.push_back(lbc->getLightLevel());
        curveMid.push_back(module<ModuleTNM>().aCurve[31]);
        EXPECT_EQ(tnm->getMappingCurve()[0][32], module<ModuleTNM>().aCurve[31]) << n;
    }
    EXPECT_TRUE(ae->hasConverged());
    EXPECT_GT(sensor().getGain(), 1.0);  // the dim scene needs gain, which the denoiser got
    std::printf("light level %g -> %g, curve midpoint %g -> %g\n", levels[0], levels.back(), curveMid[0],
                curveMid.back());
    EXPECT_NEAR(levels[28], levels[29], 0.01 * levels[29]);
    EXPECT_NEAR(curveMid[28], curveMid[29], 1e-3);
    EXPECT_NE(1.0, levels.back());
    EXPECT_NEAR(lbc->getMeteredLightLevel(), lbc->getLightLevel(), 0.05 * lbc->getLightLevel());
}

// Auto focus on the S5K3P9's lens: a trigger scans the range and ends
// focused near the scene's in-focus position, and the scan always ends.
TEST_F(LoopScenario, AutoFocusTriggeredEndsFocusedNearTheInFocusPosition)
{
    scene().map = simboard::SceneMap::Texture;
    scene().inFocusPosition = 450;
    makeCamera("S5K3P9", kFocusSensorId, kFocusSensorMode, ParameterList());
    auto *af = new ControlAF("VOVA_CTRL_AF");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(af));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());  // the first update initialises
    af->setCommand(ControlAF::AF_TRIGGER);
    int frames = 0;
    bool scanned = false;
    while (frames < 80) {
        ASSERT_EQ(QOV_SUCCESS, frame());
        frames++;
        scanned = scanned || !af->hasConverged();
        if (scanned && af->getState() == ControlAF::AF_FOCUSED)
            break;
    }
    ASSERT_EQ(ControlAF::AF_FOCUSED, af->getState()) << frames;
    ASSERT_EQ(QOV_SUCCESS, frame());
    const int lens = chip->focus().value_or(-1000);
    std::printf("focus: %d frames, distance %u, lens %d, in focus at %d\n", frames, sensor().getFocusDistance(), lens,
                scene().inFocusPosition);
    EXPECT_NEAR(scene().inFocusPosition, lens, 80);
    EXPECT_EQ(af->getBestFocusDistance(), sensor().getFocusDistance());
}

}  // namespace
