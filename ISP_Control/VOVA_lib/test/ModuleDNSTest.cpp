// Denoiser module: keys to fields to the record, the noise model with and
// without a sensor, the guard against a well depth of 0, the deprecated
// keys and its saved group.
#include <cmath>
#include <memory>
#include <string>

#include "module_test_support.h"
#include "vova/DGSensor.h"
#include "vova/ModuleDNS.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

const double kPoints[21] = {0, 2, 4, 6, 8, 10, 12, 14, 16, 24, 32, 40, 48, 56, 64, 96, 128, 160, 192, 224, 256};

class ModuleDNSTest : public vovatest::ModuleTest {
protected:
    // A module loaded with `list` before it joins the pipeline: the figures used without a sensor.
    ModuleDNS &addWithoutSensorFigures(const ParameterList &list)
    {
        ModuleDNS *dns = new ModuleDNS();
        EXPECT_EQ(QOV_SUCCESS, dns->load(list));
        EXPECT_EQ(QOV_SUCCESS, pipeline->registerModule(dns));
        return *dns;
    }
};

TEST_F(ModuleDNSTest, KeysReachTheRecord)
{
    ModuleDNS &dns = add<ModuleDNS>();
    const std::vector<KeyRow<ModuleDNS>> rows = {
        {{}, [](auto &m) { return m.bCombine; }, 1, [](auto &r) { return r.sDNS.bCombineChannels; }, 1},
        {{}, [](auto &m) { return m.fGreyscaleThreshold; }, 0.25, [](auto &r) { return r.sDNS.fGreyscalePixelThreshold; }, 0.25},
        // strength 0: every threshold 0 whatever the sensor
        {{}, [](auto &m) { return m.fStrength; }, 0.0, [](auto &r) { return r.sDNS.aPixThresLUT[20]; }, 0.0},
        {{{"DNS_COMBINE_ENABLE", {"0"}}}, [](auto &m) { return m.bCombine; }, 0,
         [](auto &r) { return r.sDNS.bCombineChannels; }, 0},
        {{{"DNS_GREYSC_PIXTHRESH_MULT", {"0.01"}}}, [](auto &m) { return m.fGreyscaleThreshold; }, 0.07,
         [](auto &r) { return r.sDNS.fGreyscalePixelThreshold; }, 0.07},
        // the sensor's figures: bit depth 10 by default
        {{}, [](auto &m) { return m.ui32SensorBitdepth; }, 10, [](auto &r) { return r.sDNS.ui8SensorBitdepth; }, 10},
    };
    checkRows(dns, rows);
}

TEST_F(ModuleDNSTest, WithoutASensorTheFixedFiguresGiveTheTable)
{
    ModuleDNS &dns = addWithoutSensorFigures(vovatest::listOf({{"DNS_STRENGTH", {"1"}}}));
    EXPECT_EQ(1.0, dns.fSensorGain);
    EXPECT_EQ(1.0, dns.fSensorReadNoise);
    EXPECT_EQ(10u, dns.ui32SensorWellDepth);
    EXPECT_EQ(10u, dns.ui32SensorBitdepth);
    ASSERT_EQ(QOV_SUCCESS, dns.setup());
    EXPECT_DOUBLE_EQ(25.6, mc().sDNS.aPixThresLUT[0]);
    EXPECT_DOUBLE_EQ(std::sqrt(25.6 * 256 + 655.36), mc().sDNS.aPixThresLUT[20]);

    // the denoiser control's gain of 2 doubles the slope and quadruples the offset
    dns.fSensorGain = 2.0;
    dns.requestUpdate();
    ASSERT_EQ(QOV_SUCCESS, dns.setup());
    for (int i = 0; i < 21; i++)
        EXPECT_DOUBLE_EQ(std::sqrt(51.2 * kPoints[i] + 4 * 655.36), mc().sDNS.aPixThresLUT[i]) << i;

    // loaded again without a sensor, every fixed figure comes back
    ModuleDNS alone;
    alone.fSensorGain = 2.0;
    alone.fSensorReadNoise = 3.0;
    alone.ui32SensorWellDepth = 5000;
    alone.ui32SensorBitdepth = 12;
    ASSERT_EQ(QOV_SUCCESS, alone.load(vovatest::listOf({{"DNS_STRENGTH", {"1"}}})));
    EXPECT_EQ(1.0, alone.fSensorGain);
    EXPECT_EQ(1.0, alone.fSensorReadNoise);
    EXPECT_EQ(10u, alone.ui32SensorWellDepth);
    EXPECT_EQ(10u, alone.ui32SensorBitdepth);
}

TEST_F(ModuleDNSTest, SensorFiguresAreTakenWhenLoaded)
{
    sensor->uiWellDepth = 8000;
    sensor->flReadNoise = 0.0;
    sensor->uiBitDepth = 258;  // beyond the 8-bit field: its low 8 bits
    ModuleDNS &dns = add<ModuleDNS>();
    ASSERT_EQ(QOV_SUCCESS, dns.load(vovatest::listOf({{"DNS_STRENGTH", {"2"}}, {"DNS_ISO_GAIN", {"4"}}})));
    EXPECT_EQ(1.0, dns.fSensorGain);  // the sensor's, not the deprecated key's
    EXPECT_EQ(8000u, dns.ui32SensorWellDepth);
    ASSERT_EQ(QOV_SUCCESS, dns.setup());
    const double slope = 256.0 / 8000;
    for (int i = 0; i < 21; i++)
        EXPECT_DOUBLE_EQ(2 * std::sqrt(slope * kPoints[i]), mc().sDNS.aPixThresLUT[i]) << i;
    EXPECT_EQ(2, mc().sDNS.ui8SensorBitdepth);
}

TEST_F(ModuleDNSTest, TheSensorGainAndReadNoiseWhenLoadedShapeTheThresholds)
{
    // a data-generator sensor holds the gain its setup keys give
    std::unique_ptr<DGSensor> generator;
    {
        vovatest::LogCapture quiet;  // it names its frame file
        generator = std::make_unique<DGSensor>(std::string(VEZARA_TESTDATA) + "/vova/dg_3frames_640x32_10bit_rggb.jux",
                                               0, true);
    }
    ASSERT_EQ(QOV_SUCCESS, generator->load(vovatest::listOf(
                               {{"SENSOR_GAIN", {"2"}}, {"SENSOR_WELL_DEPTH", {"6400"}}, {"SENSOR_READ_NOISE", {"5"}}})));
    pipeline->setSensor(generator.get());
    ModuleDNS &dns = add<ModuleDNS>();
    ASSERT_EQ(QOV_SUCCESS, dns.load(vovatest::listOf({{"DNS_STRENGTH", {"1.5"}}})));
    EXPECT_EQ(2.0, dns.fSensorGain);
    EXPECT_EQ(5.0, dns.fSensorReadNoise);
    EXPECT_EQ(6400u, dns.ui32SensorWellDepth);
    ASSERT_EQ(QOV_SUCCESS, dns.setup());
    // slope 512 / 6400 = 0.08 per pixel value, offset (0.08 x 5)^2 = 0.16
    for (int i = 0; i < 21; i++)
        EXPECT_DOUBLE_EQ(1.5 * std::sqrt(0.08 * kPoints[i] + 0.16), mc().sDNS.aPixThresLUT[i]) << i;
    pipeline->setSensor(sensor.get());
}

TEST_F(ModuleDNSTest, AWellDepthOf0GivesAWarningAndNoThresholds)
{
    sensor->uiWellDepth = 0;
    ModuleDNS &dns = add<ModuleDNS>();
    for (const char *strength : {"1", "0"}) {
        ASSERT_EQ(QOV_SUCCESS, dns.load(vovatest::listOf({{"DNS_STRENGTH", {strength}}})));
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, dns.setup());
        EXPECT_TRUE(log.contains("WARNING [VOVA_MOD_DNS]: setup() sensor well depth is 0: the denoiser pixel "
                                 "thresholds are set to 0\n"))
            << log.text();
        for (double threshold : mc().sDNS.aPixThresLUT)
            EXPECT_EQ(0.0, threshold) << strength;
    }
}

TEST_F(ModuleDNSTest, SavedKeysDeprecationNotesAndGroup)
{
    ModuleDNS dns;
    ParameterList list;
    for (ModuleBase::SaveType t : {ModuleBase::SAVE_VAL, ModuleBase::SAVE_MIN, ModuleBase::SAVE_MAX, ModuleBase::SAVE_DEF}) {
        list.clearList();
        ASSERT_EQ(QOV_SUCCESS, dns.save(list, t));
        std::ostringstream os;
        os << list;
        const char *const values[4][3] = {{"1", "0", "0.25"}, {"0", "0", "0.07"}, {"1", "6", "14.5"}, {"1", "0", "0.25"}};
        const char *const info[4][3] = {
            {"", "", ""}, {"", "", ""}, {"", "", ""}, {" // bool {0,1}", " // double range=[0,6]", " // double range=[0.07,14.5]"}};
        EXPECT_EQ(std::string("// DNS_ISO_GAIN deprecated see SENSOR_GAIN \n"
                              "// DNS_READ_NOISE deprecated see SENSOR_READ_NOISE \n"
                              "// DNS_SENSOR_BITDEPTH deprecated see SENSOR_BITDEPTH \n"
                              "// DNS_WELL_DEPTH deprecated see SENSOR_WELL_DEPTH \n") +
                      "DNS_COMBINE_ENABLE " + values[t][0] + " " + info[t][0] + "\n" + "DNS_GREYSC_PIXTHRESH_MULT " +
                      values[t][2] + " " + info[t][2] + "\n" + "DNS_STRENGTH " + values[t][1] + " " + info[t][1] + "\n",
                  os.str())
            << t;
    }
    const ParameterGroup group = ModuleDNS::GetGroup();
    EXPECT_EQ("// Denoiser parameters", group.header);
    EXPECT_EQ((std::set<std::string>{"DNS_COMBINE_ENABLE", "DNS_STRENGTH", "DNS_GREYSC_PIXTHRESH_MULT", "DNS_ISO_GAIN",
                                     "DNS_SENSOR_BITDEPTH", "DNS_WELL_DEPTH", "DNS_READ_NOISE", "SHA_DENOISE_BYPASS",
                                     "SHA_DN_TAU_MULTIPLIER", "SHA_DN_SIGMA_MULTIPLIER"}),
              group.parameters);
    EXPECT_TRUE(list.hasGroup("ModuleDNS"));
}

}  // namespace
