// Bramble and the control loops: one place that knows each loop's class, so
// that the start-up, the keys, the per-frame push and the printout reach the
// loops through a handful of functions.
#include "DemoControls.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "vovatest/perf_controls.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlDNS.h"
#include "vova/ControlLBC.h"
#include "vova/ControlLSH.h"
#include "vova/ControlTNM.h"
#include "vova/ModuleLSH.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

#define LOG_TAG "Bramble"

namespace {

template <class C> C *controlOf(VOVA::Camera &cam, VOVA::ControlID id)
{
    return dynamic_cast<C *>(cam.getControlModule(id));
}

VOVA::ControlAWB_Planckian *planckianOf(const DemoConfiguration &config, VOVA::Camera &cam)
{
    return dynamic_cast<VOVA::ControlAWB_Planckian *>(config.getControlAwb(&cam));
}

// The white-balance line of the printout (none without a control).
void printWhiteBalanceLine(const DemoConfiguration &config, VOVA::Camera &cam)
{
    VOVA::ControlAWB *awb = config.getControlAwb(&cam);
    if (!awb || config.AWBAlgorithm == WB_NONE)
        return;
    if (config.AWBAlgorithm == WB_PLANCKIAN) {
        printf("AWB_Planckian %d: measured temp %.0lfK\n", awb->isEnabled() ? 1 : 0, awb->getMeasuredTemperature());
        return;
    }
    printf("AWB_PID %d: converged=%d mode %s target temp %.0lfK - measured temp %.0lfK - correction temp %.0lfK\n",
           awb->isEnabled() ? 1 : 0, awb->hasConverged() ? 1 : 0,
           VOVA::ControlAWB::CorrectionName(awb->getCorrectionMode()), awb->getTargetTemperature(),
           awb->getMeasuredTemperature(), awb->getCorrectionTemperature());
}

VOVA::ModuleLSH *lensShadingModuleOf(VOVA::Camera &cam)
{
    return dynamic_cast<VOVA::ModuleLSH *>(cam.getPipeline()->getModule(VOVA::STP_LSH));
}

}  // namespace

VOVA::ControlAWB *DemoConfiguration::instantiateControlAwb(QOV_UINT8 hwMajor, QOV_UINT8 hwMinor)
{
    const bool from2_6 = hwMajor > 2 || (hwMajor == 2 && hwMinor >= 6);
    if (!from2_6 && AWBAlgorithm == WB_PLANCKIAN) {
        puts("NOTICE: HW version earlier than 2.6: Overriding AWB Planckian with AWB PID/COMBINED");
        AWBAlgorithm = WB_COMBINED;
    }
    if (AWBAlgorithm == WB_NONE)
        return nullptr;
    if (AWBAlgorithm == WB_PLANCKIAN)
        return new VOVA::ControlAWB_Planckian("VOVA_CTRL_AWB");
    return new VOVA::ControlAWB_PID("VOVA_CTRL_AWB-PID");
}

VOVA::ControlAWB *DemoConfiguration::getControlAwb(VOVA::Camera *camera) const
{
    if (!camera || !controlAWB || AWBAlgorithm == WB_NONE)
        return nullptr;
    return dynamic_cast<VOVA::ControlAWB *>(camera->getControlModule(VOVA::CTRL_AWB));
}

void registerControls(DemoConfiguration &config, VOVA::Camera &cam, QOV_UINT8 hwMajor, QOV_UINT8 hwMinor,
                      PerfControls &monitors)
{
    if (config.controlAE) {
        auto *ae = new VOVA::ControlAE("VOVA_CTRL_AE");
        cam.registerControlModule(ae);
        if (config.monitorAE)
            monitors.registerControlForConvergenceMonitoring(ae);
    }
    VOVA::ControlAWB *awb = nullptr;
    if (config.controlAWB) {
        awb = config.instantiateControlAwb(hwMajor, hwMinor);
        cam.registerControlModule(awb);
        if (awb && config.monitorAWB)
            monitors.registerControlForConvergenceMonitoring(awb);
    }
    if (config.controlLSH) {
        if (awb) {
            auto *lsh = new VOVA::ControlLSH("VOVA_CTRL_LSH");
            cam.registerControlModule(lsh);
            lsh->registerCtrlAWB(awb);
            lsh->enableControl(true);
        } else {
            LOG_WARNING("ignores creation of Control LSH as AWB is not present\n");
        }
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
    if (VOVA::ControlAWB *awb = config.getControlAwb(&cam)) {
        if (auto *planckian = planckianOf(config, cam)) {
            bool enabled = false, flashFiltering = false;
            float base = 0.0f;
            int stretch = 0;
            planckian->getWBTSAlgorithm(enabled, base, stretch);
            planckian->getFlashFiltering(flashFiltering);
            if (!config.WBTSEnabledOverride)
                config.WBTSEnabled = enabled;
            if (!config.WBTSWeightsBaseOverride)
                config.WBTSWeightsBase = base;
            if (!config.WBTSTemporalStretchOverride)
                config.WBTSTemporalStretch = stretch;
            if (!config.WBTSFeaturesOverride)
                config.WBTSFeatures = flashFiltering ? 1 : 0;
            planckian->setWBTSAlgorithm(config.WBTSEnabled, config.WBTSWeightsBase, config.WBTSTemporalStretch);
            planckian->setWBTSFeatures(config.WBTSFeatures);
        } else {
            awb->setCorrectionMode(static_cast<VOVA::ControlAWB::Correction_Types>(config.AWBAlgorithm));
            config.WBTSEnabled = false;
        }
    }
    if (auto *tnm = controlOf<VOVA::ControlTNM>(cam, VOVA::CTRL_TNM))
        config.localToneMapping = tnm->getLocalTNM();
    auto *lsh = controlOf<VOVA::ControlLSH>(cam, VOVA::CTRL_LSH);
    if (VOVA::ModuleLSH *module = lensShadingModuleOf(cam); lsh && module) {
        config.bEnableLSH = module->bEnableMatrix;
        lsh->enableControl(config.bEnableLSH);
        if (config.bEnableLSH)
            lsh->configureDefaultMatrix();
    }
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
    if (VOVA::ControlAWB *awb = config.getControlAwb(&cam)) {
        awb->enableControl(config.enableAWB);
        if (config.targetAWB >= 0) {
            loadCorrection(cam, config.targetAWB, &awb->getTemperatureCorrections());
            config.targetAWB = -1;
        }
    }
}

bool applyLensShading(DemoConfiguration &config, VOVA::Camera &cam)
{
    auto *lsh = controlOf<VOVA::ControlLSH>(cam, VOVA::CTRL_LSH);
    VOVA::ModuleLSH *module = lensShadingModuleOf(cam);
    if (!lsh || !module || lsh->isEnabled() == config.bEnableLSH)
        return false;
    lsh->enableControl(config.bEnableLSH);
    if (!config.bEnableLSH) {
        module->configureMatrix(0);
        return false;
    }
    return module->getCurrentMatrixId() == 0;
}

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
        // held within the target's range, so that the opposite key acts at once
        config.targetBrightness = std::clamp(config.targetBrightness + (up ? 0.05 : -0.05),
                                             VOVA::ControlAE::AE_TARGET_BRIGHTNESS.min,
                                             VOVA::ControlAE::AE_TARGET_BRIGHTNESS.max);
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

void pushSmoothing(DemoConfiguration &config, VOVA::Camera &cam, bool enabled, float weightBase, int stretch)
{
    if (auto *planckian = planckianOf(config, cam))
        planckian->setWBTSAlgorithm(enabled, weightBase, stretch);
}

void logLensShadingGrids(VOVA::Camera &cam)
{
    if (auto *lsh = controlOf<VOVA::ControlLSH>(cam, VOVA::CTRL_LSH))
        LOG_INFO("number of LSH matrices: %d\n", lsh->getLoadedGrids());
}

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

void printLensShadingLine(const DemoConfiguration &, VOVA::Camera &cam)
{
    if (auto *lsh = controlOf<VOVA::ControlLSH>(cam, VOVA::CTRL_LSH))
        printf("LSH: matrix %d from matrixId '%u' temp %uK\n", lsh->isEnabled() ? 1 : 0, lsh->getChosenMatrixId(),
               lsh->getChosenTemperature());
}
