// The denoiser control and the control-loop family it shows: the sensor
// gain reaching every denoiser module on the shot, pipelines without a
// denoiser skipped, no owner failing the acquire, nothing saved.
#include <sstream>

#include "control_test_support.h"
#include "vova/ControlDNS.h"
#include "vova/ModuleDNS.h"

using namespace VOVA;

namespace {

class DenoiserControl : public vovatest::LoopCamera {};

TEST_F(DenoiserControl, FollowsTheSensorGainOnTheShotItIsSet)
{
    makeCamera();
    auto *dns = new ControlDNS(1.0, "VOVA_CTRL_DNS");
    EXPECT_EQ(1.0, dns->getSensorGain());
    EXPECT_TRUE(dns->hasConverged());
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(dns));
    start();
    ASSERT_EQ(QOV_SUCCESS, frame());
    EXPECT_EQ(sensor().getGain(), module<ModuleDNS>().fSensorGain);

    for (double gain : {2.0, 4.0, 1.5}) {
        ASSERT_EQ(QOV_SUCCESS, sensor().setGain(gain));
        ASSERT_EQ(QOV_SUCCESS, frame());
        EXPECT_NEAR(gain, dns->getSensorGain(), 0.05);
        EXPECT_EQ(dns->getSensorGain(), module<ModuleDNS>().fSensorGain);
        EXPECT_EQ(sensor().getGain(), dns->getSensorGain());
    }
    // disabled: the module keeps the last gain written
    dns->enableControl(false);
    ASSERT_EQ(QOV_SUCCESS, sensor().setGain(3.0));
    ASSERT_EQ(QOV_SUCCESS, frame());
    EXPECT_NEAR(1.5, module<ModuleDNS>().fSensorGain, 0.05);
}

TEST_F(DenoiserControl, WritesEveryPipelineOfItsListAndSkipsThoseWithoutADenoiser)
{
    makeCamera();
    Pipeline second(camera->getConnection(), 1, camera->getSensor());
    Pipeline bare(camera->getConnection(), 1, camera->getSensor());
    auto *secondDns = new ModuleDNS();
    ASSERT_EQ(QOV_SUCCESS, second.registerModule(secondDns));

    ControlDNS dns(1.0, "VOVA_CTRL_DNS");
    ASSERT_EQ(QOV_SUCCESS, dns.addPipeline(camera->getPipeline()));
    ASSERT_EQ(QOV_SUCCESS, dns.addPipeline(&bare));
    ASSERT_EQ(QOV_SUCCESS, dns.addPipeline(&second));
    ASSERT_EQ(QOV_SUCCESS, dns.setPipelineOwner(camera->getPipeline()));
    module<ModuleDNS>().clearFlags();
    Metadata metadata{};
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, dns.update(metadata));
    EXPECT_EQ(sensor().getGain(), secondDns->fSensorGain);
    EXPECT_EQ(sensor().getGain(), module<ModuleDNS>().fSensorGain);
    EXPECT_TRUE(secondDns->isUpdateRequested());
    EXPECT_TRUE(module<ModuleDNS>().isUpdateRequested());
    EXPECT_EQ("", log.text());
}

TEST_F(DenoiserControl, WithoutAnOwnerEveryUpdateFailsAndTheAcquireReportsIt)
{
    ControlDNS lone(2.5, "VOVA_CTRL_DNS");
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.update(Metadata{}));
        EXPECT_TRUE(log.contains("VOVA_CTRL_DNS")) << log.text();
        EXPECT_TRUE(log.contains("ControlDNS has no sensor!")) << log.text();
    }
    EXPECT_EQ(2.5, lone.getSensorGain());

    makeCamera();
    auto *dns = new ControlDNS(1.0, "VOVA_CTRL_DNS");
    ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(dns));
    ASSERT_EQ(QOV_SUCCESS, dns->setPipelineOwner(nullptr));
    start();
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, frame());
    EXPECT_TRUE(log.contains("ControlDNS has no sensor!")) << log.text();
    EXPECT_TRUE(log.contains("Failed to update module with id 4")) << log.text();
}

TEST(DenoiserControlKeys, SavesNoGroupAndNoKeyAndLoadsAnything)
{
    ControlDNS dns(1.0, "VOVA_CTRL_DNS");
    ParameterList list;
    list.addParameter(Parameter("DNS_STRENGTH", "3"), true);
    EXPECT_EQ(QOV_SUCCESS, dns.load(list));
    for (ModuleBase::SaveType t : {ModuleBase::SAVE_VAL, ModuleBase::SAVE_MIN, ModuleBase::SAVE_MAX,
                                   ModuleBase::SAVE_DEF}) {
        ParameterList saved;
        EXPECT_EQ(QOV_SUCCESS, dns.save(saved, t));
        EXPECT_EQ(0u, saved.size());
        EXPECT_EQ(0u, saved.getGroup("ControlDNS").parameters.size());
    }
    EXPECT_EQ("", ControlDNS::getGroup().header);
    EXPECT_TRUE(ControlDNS::getGroup().parameters.empty());
    EXPECT_EQ(CTRL_DNS, dns.getModuleID());
    std::ostringstream os;
    dns.printState(os);
    EXPECT_EQ("  VOVA_CTRL_DNS:\n    config:\n      enabled = 1\n", os.str());
}

}  // namespace
