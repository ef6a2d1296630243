// Bramble's run-time configuration: the flicker modes, the output formats of
// the setup file, the keys, and the once-per-frame push of the toggles into
// the control loops and setup modules that also decides on a restart.
#include "DemoConfiguration.h"

#include <cstdio>
#include <cstdlib>

#include "DemoControls.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ColorCorrection.h"
#include "vova/TemperatureCorrection.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleLSH.h"
#include "vova/ModuleOUT.h"
#include "vova/ModuleWBC.h"
#include "vova/ParameterList.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"

#define LOG_TAG "Bramble"

namespace {

struct FlickerFields {
    bool rejection;
    bool automatic;
    double frequency;
    const char *name;
};
const FlickerFields kFlickerModes[AE_FLICKER_MAX] = {
    {false, false, 0.0, "OFF"}, {true, true, 0.0, "AUTO"}, {true, false, 50.0, "50Hz"}, {true, false, 60.0, "60Hz"}};

template <class M> M *moduleOf(VOVA::Camera &cam, VOVA::SetupID id)
{
    VOVA::Pipeline *pipeline = cam.getPipeline();
    return pipeline ? dynamic_cast<M *>(pipeline->getModule(id)) : nullptr;
}

// One output format of the setup file, with its default when asked for.
pxlFormat readFormat(const VOVA::ParameterList &parameters, const VOVA::ParamDefSingle<std::string> &key,
                     bool generateDefault, pxlFormat fallback, const char *message)
{
    pxlFormat format = VOVA::ModuleOUT::getPixelFormat(parameters.getParameter(key));
    if (generateDefault && format == PXL_NONE) {
        format = fallback;
        LOG_Info(__func__, __LINE__, LOG_TAG, message, FormatString(format));
    }
    return format;
}

}  // namespace

void DemoConfiguration::setFlickerFields(aeFlickerSetting_t mode)
{
    flickerRejection = kFlickerModes[mode].rejection;
    autoFlickerRejection = kFlickerModes[mode].automatic;
    flickerRejectionFreq = kFlickerModes[mode].frequency;
}

void DemoConfiguration::nextAeFlickerMode()
{
    currentAeFlicker = static_cast<aeFlickerSetting_t>((currentAeFlicker + 1) % AE_FLICKER_MAX);
    setFlickerFields(currentAeFlicker);
}

aeFlickerSetting_t DemoConfiguration::getFlickerModeFromState()
{
    if (!flickerRejection)
        return AE_FLICKER_OFF;
    if (autoFlickerRejection)
        return AE_FLICKER_AUTO;
    if (flickerRejectionFreq == 50.0)
        return AE_FLICKER_50HZ;
    if (flickerRejectionFreq == 60.0)
        return AE_FLICKER_60HZ;
    return AE_FLICKER_OFF;
}

std::string DemoConfiguration::getFlickerModeStr() const
{
    if (currentAeFlicker < AE_FLICKER_OFF || currentAeFlicker >= AE_FLICKER_MAX)
        return "FAILURE";
    return kFlickerModes[currentAeFlicker].name;
}

void DemoConfiguration::loadFormats(const VOVA::ParameterList &parameters, bool generateDefault)
{
    using VOVA::ModuleOUT;
    originalYUV = readFormat(parameters, ModuleOUT::ENCODER_TYPE, generateDefault, YVU_420_PL12_8,
                             "default YUV forced to %s\n");
    originalRGB = readFormat(parameters, ModuleOUT::DISPLAY_TYPE, generateDefault, RGB_888_32,
                             "default RGB forced to %s\n");
    originalBayer = readFormat(parameters, ModuleOUT::DATAEXTRA_TYPE, generateDefault, BAYER_RGGB_12,
                               "default DE forced to %s\n");
    originalDEPoint = static_cast<CI_INOUT_POINTS>(parameters.getParameter(ModuleOUT::DATAEXTRA_POINT) - 1);
    if (generateDefault && originalDEPoint != CI_INOUT_BLACK_LEVEL && originalDEPoint != CI_INOUT_FILTER_LINESTORE) {
        originalDEPoint = CI_INOUT_BLACK_LEVEL;
        LOG_INFO("default DE-Point forced to %d\n", 0);
    }
    originalHDR = readFormat(parameters, ModuleOUT::HDREXTRA_TYPE, generateDefault, BGR_101010_32,
                             "default HDF forced to %s\n");
    originalTiff = readFormat(parameters, ModuleOUT::RAW2DEXTRA_TYPE, generateDefault, BAYER_TIFF_12,
                              "default Raw2D forced to %s\n");
}

void DemoConfiguration::applyConfiguration(VOVA::Camera &cam)
{
    applyControlToggles(*this, cam);

    if (auto *out = moduleOf<VOVA::ModuleOUT>(cam, VOVA::STP_OUT)) {
        const pxlFormat encoder = out->encoderType, extraction = out->dataExtractionType,
                        hdr = out->hdrExtractionType, raw2D = out->raw2DExtractionType;
        out->encoderType = bSaveEncoder ? originalYUV : PXL_NONE;
        if (bSaveDE) {
            out->displayType = PXL_NONE;
            out->dataExtractionType = originalBayer;
            out->dataExtractionPoint = originalDEPoint;
        } else {
            out->dataExtractionType = PXL_NONE;
            out->dataExtractionPoint = CI_INOUT_NONE;
            const pxlFormat display = alwaysHasDisplay ? originalRGB : PXL_NONE;
            // said once, when the display comes back, not on every frame
            if (alwaysHasDisplay && out->displayType != display)
                LOG_INFO("Re-enable display to %s\n", FormatString(originalRGB));
            out->displayType = display;
        }
        out->hdrExtractionType = bSaveHDR ? originalHDR : PXL_NONE;
        out->raw2DExtractionType = bSaveRaw2D ? originalTiff : PXL_NONE;
        bResetCapture = out->encoderType != encoder || out->dataExtractionType != extraction ||
                        out->hdrExtractionType != hdr || out->raw2DExtractionType != raw2D;
    }

    if (applyLensShading(*this, cam))
        bResetCapture = true;

    if (auto *dpf = moduleOf<VOVA::ModuleDPF>(cam, VOVA::STP_DPF)) {
        dpf->bDetect = bEnableDPF;
        dpf->bWrite = bEnableDPF;
        dpf->requestUpdate();
    } else {
        bEnableDPF = false;
    }

    VOVA::Sensor *sensor = cam.getSensor();
    if (bResetCapture && sensor && cam.getControlModule(VOVA::CTRL_AE)) {
        uiSensorInitExposure = static_cast<QOV_UINT32>(sensor->getExposure());
        flSensorInitGain = static_cast<QOV_FLOAT>(sensor->getGain());
        LOG_INFO("current exposure %u gain %lf\n", uiSensorInitExposure, static_cast<double>(flSensorInitGain));
    }
}

// Loads correction `target` by hand: 0 the identity and unit gains, 1 to 9
// an entry of the white-balance control's calibration.
void loadCorrection(VOVA::Camera &cam, int target, const VOVA::TemperatureCorrection *corrections)
{
    auto *ccm = moduleOf<VOVA::ModuleCCM>(cam, VOVA::STP_CCM);
    auto *wbc = moduleOf<VOVA::ModuleWBC>(cam, VOVA::STP_WBC);
    if (target == 0) {
        const VOVA::ParameterList empty;
        for (VOVA::SetupModule *m : {static_cast<VOVA::SetupModule *>(ccm), static_cast<VOVA::SetupModule *>(wbc)}) {
            if (m) {
                m->load(empty);
                m->requestUpdate();
            }
        }
        return;
    }
    if (!corrections || target < 1 || corrections->size() < target)
        return;
    const VOVA::ColorCorrection c = corrections->getCorrection(static_cast<unsigned>(target - 1));
    if (ccm) {
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k)
                ccm->aMatrix[3 * r + k] = c.coefficients[r][k];
            ccm->aOffset[r] = c.offsets[0][r];
        }
        ccm->requestUpdate();
    }
    if (wbc) {
        for (int k = 0; k < 4; ++k)
            wbc->aWBGain[k] = c.gains[0][k];
        wbc->requestUpdate();
    }
}

bool DemoConfiguration::handleKey(int key, VOVA::Camera &cam, bool &bSaveOriginals)
{
    bSaveOriginals = false;
    bool loopActive = true;
    switch (key) {
    case '+':
    case '-':
        stepExposureTarget(*this, cam, key == '+');
        break;
    case ',':
    case '.':
    case 'm':
        focusCommand(cam, key);
        break;
    case 'p':
        nextAeFlickerMode();
        pushFlickerMode(*this, cam);
        break;
    case 'w':
        enableAWB = !enableAWB;
        break;
    case 'q':
        if (AWBAlgorithm == WB_PLANCKIAN) {
            WBTSEnabled = !WBTSEnabled;
            pushSmoothing(*this, cam, WBTSEnabled, WBTSWeightsBase, WBTSTemporalStretch);
        }
        break;
    case '0':
        if (!enableAWB) {
            WBTSEnabled = false;
            if (AWBAlgorithm == WB_PLANCKIAN)
                pushSmoothing(*this, cam, false, kDefaultWeightBase, kDefaultTemporalStretch);
            targetAWB = 0;
        }
        break;
    case 'e':
        bEnableDPF = !bEnableDPF;
        break;
    case 'r':
        bEnableLSH = !bEnableLSH;
        break;
    case 't':
        adaptiveToneMapping = !adaptiveToneMapping;
        break;
    case 'y':
        localToneMapping = !localToneMapping;
        break;
    case 'u':
        autoToneMapping = !autoToneMapping;
        break;
    case 'i':
        autoDenoiserISO = !autoDenoiserISO;
        break;
    case 'o':
        autoLBC = !autoLBC;
        break;
    case 'a':
        LOG_INFO("save ORIGINAL key pressed...\n");
        bSaveOriginals = true;
        break;
    case 's':
        bSaveDisplay = true;
        LOG_INFO("save RGB key pressed...\n");
        break;
    case 'd':
        bSaveEncoder = true;
        LOG_INFO("save YUV key pressed...\n");
        break;
    case 'f':
        bSaveDE = true;
        LOG_INFO("save DE key pressed...\n");
        break;
    case 'g':
        if (cam.hwInfo.eFunctionalities & CI_INFO_SUPPORTED_RAW2D_EXT) {
            bSaveRaw2D = true;
            LOG_INFO("save RAW2D key pressed...\n");
        } else {
            LOG_WARNING("cannot enable RAW 2D extraction, HW does not support it!\n");
        }
        break;
    case 'h':
        if (cam.hwInfo.eFunctionalities & CI_INFO_SUPPORTED_HDR_EXT) {
            bSaveHDR = true;
            LOG_INFO("save HDR key pressed...\n");
        } else {
            LOG_WARNING("cannot enable HDR extraction, HW does not support it!\n");
        }
        break;
    case '@':
        bTestStopStart = true;
        break;
    case 'x':
        LOG_INFO("exit key pressed\n");
        loopActive = false;
        break;
    default:
        break;
    }
    // Digits 1 to 9 choose a correction of the calibration by hand.
    if (key >= '1' && key <= '9' && !enableAWB) {
        const char text[2] = {static_cast<char>(key), 0};
        const long value = std::strtol(text, nullptr, 10);
        if (value >= 1 && value <= 9)
            targetAWB = static_cast<int>(value);
    }
    return loopActive;
}
