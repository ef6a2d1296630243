// Bramble and the control loops: one place that knows each loop's class, so
// that the start-up, the keys, the per-frame push and the printout reach the
// loops through a handful of functions.
#include "DemoControls.h"

#include <cstdio>
#include <string>

#include "vovatest/perf_controls.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlDNS.h"
#include "vova/ControlLBC.h"
#include "vova/ControlTNM.h"
#include "vova/ModuleLSH.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

#define LOG_TAG "Bramble"

namespace {

// The white-balance line of the printout (none without a control).
void printWhiteBalanceLine(const DemoConfiguration &, VOVA::Camera &) {}

template <class C> C *controlOf(VOVA::Camera &cam, VOVA::ControlID id)
{
    return dynamic_cast<C *>(cam.getControlModule(id));
}

}  // namespace

VOVA::ControlAWB *DemoConfiguration::instantiateControlAwb(QOV_UINT8 hwMajor, QOV_UINT8 hwMinor)
{
    const bool from2_6 = hwMajor > 2 || (hwMajor == 2 && hwMinor >= 6);
    if (!from2_6 && AWBAlgorithm == WB_PLANCKIAN) {
        puts("NOTICE: HW version earlier than 2.6: Overriding AWB Planckian with AWB PID/COMBINED");
        AWBAlgorithm = WB_COMBINED;
    }
    // No white-balance control is built into this system yet.
    return nullptr;
}

VOVA::ControlAWB *DemoConfiguration::getControlAwb(VOVA::Camera *) const { return nullptr; }

void registerControls(DemoConfiguration &config, VOVA::Camera &cam, QOV_UINT8, QOV_UINT8, PerfControls &monitors)
{
    if (config.controlAE) {
        auto *ae = new VOVA::ControlAE("VOVA_CTRL_AE");
        cam.registerControlModule(ae);
        if (config.monitorAE)
            monitors.registerControlForConvergenceMonitoring(ae);
    }
    if (config.controlTNM)
        cam.registerControlModule(new VOVA::ControlTNM("VOVA_CTRL_TNM"));
    if (config.controlDNS)
        cam.registerControlModule(new VOVA::ControlDNS(1.0, "VOVA_CTRL_DNS"));
    if (config.controlLBC)
        cam.registerControlModule(new VOVA::ControlLBC("VOVA_CTRL_LBC"));
    if (config.controlAF) {
        auto *af = new VOVA::ControlAF("VOVA_CTRL_AF");
        cam.registerControlModule(af);
        if (config.monitorAF)
            monitors.registerControlForConvergenceMonitoring(af);
    }
}

void readBackControls(DemoConfiguration &config, VOVA::Camera &cam)
{
    if (auto *ae = controlOf<VOVA::ControlAE>(cam, VOVA::CTRL_AE)) {
        config.targetBrightness = ae->getTargetBrightness();
        config.flickerRejection = ae->getFlickerRejection();
        config.autoFlickerRejection = ae->getAutoFlickerRejection();
        config.flickerRejectionFreq = ae->getFlickerRejectionFrequency();
        config.currentAeFlicker = config.getFlickerModeFromState();
    }
    if (auto *tnm = controlOf<VOVA::ControlTNM>(cam, VOVA::CTRL_TNM))
        config.localToneMapping = tnm->getLocalTNM();
}

void applyControlToggles(DemoConfiguration &config, VOVA::Camera &cam)
{
    auto *ae = controlOf<VOVA::ControlAE>(cam, VOVA::CTRL_AE);
    const bool aeOn = ae && ae->isEnabled();
    auto *tnm = controlOf<VOVA::ControlTNM>(cam, VOVA::CTRL_TNM);
    if (tnm) {
        tnm->enableControl(config.autoToneMapping);
        tnm->enableLocalTNM(config.localToneMapping);
        tnm->enableAdaptiveTNM(config.adaptiveToneMapping);
        if (!aeOn)
            tnm->setAllowHISConfig(true);
    }
    if (auto *dns = controlOf<VOVA::ControlDNS>(cam, VOVA::CTRL_DNS))
        dns->enableControl(config.autoDenoiserISO);
    if (auto *lbc = controlOf<VOVA::ControlLBC>(cam, VOVA::CTRL_LBC)) {
        lbc->enableControl(config.autoLBC);
        if (!(tnm && tnm->isEnabled()) && !aeOn)
            lbc->setAllowHISConfig(true);
    }
    if (config.targetAWB >= 0 && config.getControlAwb(&cam)) {
        loadCorrection(cam, config.targetAWB, nullptr);
        config.targetAWB = -1;
    }
}

bool applyLensShading(DemoConfiguration &, VOVA::Camera &) { return false; }

unsigned long steppedExposure(unsigned long current, unsigned long minimum, unsigned long maximum, bool up)
{
    constexpr unsigned long kStep = 100;
    if (up)
        return current + kStep < maximum ? current + kStep : maximum;
    return current > minimum + kStep ? current - kStep : minimum;
}

void stepExposureTarget(DemoConfiguration &config, VOVA::Camera &cam, bool up)
{
    if (auto *ae = controlOf<VOVA::ControlAE>(cam, VOVA::CTRL_AE)) {
        config.targetBrightness += up ? 0.05 : -0.05;
        ae->setTargetBrightness(config.targetBrightness);
        return;
    }
    VOVA::Sensor *sensor = cam.getSensor();
    if (!sensor)
        return;
    sensor->setExposure(
        steppedExposure(sensor->getExposure(), sensor->getMinExposure(), sensor->getMaxExposure(), up));
}

void focusCommand(VOVA::Camera &cam, int key)
{
    auto *af = controlOf<VOVA::ControlAF>(cam, VOVA::CTRL_AF);
    if (!af)
        return;
    af->setCommand(key == ',' ? VOVA::ControlAF::AF_FOCUS_CLOSER
                   : key == '.' ? VOVA::ControlAF::AF_FOCUS_FURTHER
                                : VOVA::ControlAF::AF_TRIGGER);
}

void pushFlickerMode(DemoConfiguration &config, VOVA::Camera &cam)
{
    if (auto *ae = controlOf<VOVA::ControlAE>(cam, VOVA::CTRL_AE)) {
        ae->enableFlickerRejection(config.flickerRejection, config.flickerRejectionFreq);
        ae->enableAutoFlickerRejection(config.autoFlickerRejection);
    }
}

void pushSmoothing(DemoConfiguration &, VOVA::Camera &, bool, float, int) {}

void printControlLines(const DemoConfiguration &config, VOVA::Camera &cam, const VOVA::Shot &)
{
    if (auto *ae = controlOf<VOVA::ControlAE>(cam, VOVA::CTRL_AE)) {
        const std::string detected =
            config.currentAeFlicker == AE_FLICKER_AUTO
                ? " detected=" + std::to_string(static_cast<int>(ae->getFlickerRejectionFrequency()))
                : "";
        printf("AE %d: Metered/target brightness %f/%f (flicker %s%s) underexposed=%d\n", ae->isEnabled() ? 1 : 0,
               ae->getCurrentBrightness(), ae->getTargetBrightness(), config.getFlickerModeStr().c_str(),
               detected.c_str(), ae->isUnderexposed() ? 1 : 0);
    }
    if (auto *af = controlOf<VOVA::ControlAF>(cam, VOVA::CTRL_AF))
        printf("AF %d: state %s current distance %umm\n", af->isEnabled() ? 1 : 0,
               VOVA::ControlAF::StateName(af->getState()), af->getBestFocusDistance());
    printWhiteBalanceLine(config, cam);
    if (auto *tnm = controlOf<VOVA::ControlTNM>(cam, VOVA::CTRL_TNM))
        printf("TNMC %d: adaptive %d local %d\n", tnm->isEnabled() ? 1 : 0, tnm->getAdaptiveTNM() ? 1 : 0,
               tnm->getLocalTNM() ? 1 : 0);
    if (auto *dns = controlOf<VOVA::ControlDNS>(cam, VOVA::CTRL_DNS))
        printf("DNSC %d\n", dns->isEnabled() ? 1 : 0);
    if (auto *lbc = controlOf<VOVA::ControlLBC>(cam, VOVA::CTRL_LBC))
        printf("LBC %d: correction %.0f measured %.0f\n", lbc->isEnabled() ? 1 : 0,
               lbc->getCurrentCorrection().lightLevel, lbc->getLightLevel());
}

void printLensShadingLine(const DemoConfiguration &, VOVA::Camera &) {}
