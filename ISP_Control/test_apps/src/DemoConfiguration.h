// Bramble's one record of what it was told: the command-line options and
// the run-time toggles its keys change, with the operations that push them
// into the control loops and setup modules once per frame.
#ifndef BRAMBLE_DEMOCONFIGURATION_H
#define BRAMBLE_DEMOCONFIGURATION_H

#include <string>

#include "ci/ci_api_structs.h"
#include "qov_types.h"
#include "vezaracommon/pixel_format.h"
#include "vova/ControlAWB_Planckian.h"

namespace VOVA {
class Camera;
class ControlAWB;
class ParameterList;
}  // namespace VOVA

enum aeFlickerSetting_t {
    AE_FLICKER_OFF = 0,
    AE_FLICKER_AUTO = 1,
    AE_FLICKER_50HZ = 2,
    AE_FLICKER_60HZ = 3,
    AE_FLICKER_MAX = 4,
};

// The values of the white-balance control's correction types, and the
// Planckian control.
enum awbControlAlgorithm_t {
    WB_NONE = 0,
    WB_AC = 1,
    WB_WP = 2,
    WB_HLW = 3,
    WB_COMBINED = 4,
    WB_PLANCKIAN = 5,
};

// The Planckian control's smoothing figures the options start from and clip to.
constexpr float kDefaultWeightBase = static_cast<float>(VOVA::ControlAWB_Planckian::DEFAULT_WEIGHT_BASE);
constexpr int kTemporalStretchMin = VOVA::ControlAWB_Planckian::TEMPORAL_STRETCH_MIN;
constexpr int kTemporalStretchMax = VOVA::ControlAWB_Planckian::TEMPORAL_STRETCH_MAX;
constexpr int kDefaultTemporalStretch = VOVA::ControlAWB_Planckian::DEFAULT_TEMPORAL_STRETCH;

struct DemoConfiguration {
    bool controlAE = true;
    double targetBrightness = 0.0;
    bool flickerRejection = false;
    bool monitorAE = false;
    bool autoFlickerRejection = false;
    double flickerRejectionFreq = 0.0;
    aeFlickerSetting_t currentAeFlicker = AE_FLICKER_OFF;

    bool controlTNM = true;
    bool autoToneMapping = false;
    bool localToneMapping = false;
    bool adaptiveToneMapping = false;

    bool controlDNS = true;
    bool autoDenoiserISO = false;

    bool controlLBC = true;
    bool autoLBC = false;

    bool controlAF = true;
    bool monitorAF = false;

    bool controlAWB = true;
    bool enableAWB = true;
    int targetAWB = 0;
    awbControlAlgorithm_t AWBAlgorithm = WB_PLANCKIAN;
    bool WBTSEnabled = false;
    bool WBTSEnabledOverride = false;
    float WBTSWeightsBase = kDefaultWeightBase;
    bool WBTSWeightsBaseOverride = false;
    int WBTSTemporalStretch = kTemporalStretchMin;
    bool WBTSTemporalStretchOverride = false;
    QOV_UINT32 WBTSFeatures = 0;
    bool WBTSFeaturesOverride = false;
    bool monitorAWB = false;

    bool controlLSH = true;
    bool bEnableLSH = false;

    bool measureAAA = false, measureAF = false, measureAE = false, measureAWB = false, measureMODULES = false,
         measureVerbose = false;

    bool alwaysHasDisplay = true;
    bool updateASAP = false;

    bool bSaveDisplay = false;
    bool bSaveEncoder = false;
    bool bSaveDE = false;
    bool bSaveHDR = false;
    bool bSaveRaw2D = false;

    bool bEnableDPF = false;
    bool bResetCapture = false;
    bool bTestStopStart = false;

    QOV_UINT64 ulEnqueueDelay = 0;
    QOV_UINT64 ulRandomDelayLow = 0;
    QOV_UINT64 ulRandomDelayHigh = 0;

    pxlFormat originalYUV = PXL_NONE;
    pxlFormat originalRGB = PXL_NONE;
    pxlFormat originalBayer = PXL_NONE;
    CI_INOUT_POINTS originalDEPoint = CI_INOUT_NONE;
    pxlFormat originalHDR = PXL_NONE;
    pxlFormat originalTiff = PXL_NONE;

    int nBuffers = 2;
    int sensorMode = 0;
    QOV_BOOL8 sensorFlip[2] = {false, false};
    QOV_UINT32 uiSensorInitExposure = 0;
    QOV_FLOAT flSensorInitGain = 0.0f;

    char *pszVezaraSetupArgsFile = nullptr;
    char *pszSensor = nullptr;
    char *pszInputJUX = nullptr;
    QOV_UINT32 gasket = 0;
    QOV_UINT32 aBlanking[2] = {100, 14};
    QOV_BOOL8 useLocalBuffers = false;

    DemoConfiguration() = default;
    ~DemoConfiguration();
    DemoConfiguration(const DemoConfiguration &) = delete;
    DemoConfiguration &operator=(const DemoConfiguration &) = delete;

    // Parses the command line: 0 when the run can start, 1 otherwise (the
    // usage printed).
    int loadParameters(int argc, char **argv);

    VOVA::ControlAWB *instantiateControlAwb(QOV_UINT8 hwMajor, QOV_UINT8 hwMinor);
    VOVA::ControlAWB *getControlAwb(VOVA::Camera *camera) const;

    void nextAeFlickerMode();
    aeFlickerSetting_t getFlickerModeFromState();
    std::string getFlickerModeStr() const;

    void loadFormats(const VOVA::ParameterList &parameters, bool generateDefault);
    void applyConfiguration(VOVA::Camera &cam);

    // Acts on one key read in the capture loop; false for the exit key.
    // `bSaveOriginals` is set for the save-all key only.
    bool handleKey(int key, VOVA::Camera &cam, bool &bSaveOriginals);

private:
    void setFlickerFields(aeFlickerSetting_t mode);
};

void printUsage();

#endif
