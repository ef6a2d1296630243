// The auto-exposure loop. Each shot is metered from the region and global
// histograms into a brightness in [-1, 1]; the error to the target
// brightness scales the exposure x gain product, which is split into an
// exposure time and a sensor gain under the loop's and the sensor's limits,
// optionally in whole flicker periods of the lamp in force. The arithmetic
// lives in vova/ExposureMath.h; this class holds the state, the keys, the
// statistics set-up and the sensor programming.
#ifndef VOVA_CONTROLAE_H
#define VOVA_CONTROLAE_H

#include <string>

#include "mc/mc_structs.h"
#include "vova/ControlFamily.h"
#include "vova/ExposureMath.h"

namespace VOVA {

class ControlAE : public FamilyControl<ControlAE, CTRL_AE> {
public:
    static const ParamDefSingle<bool> AE_FLICKER;
    static const ParamDefSingle<bool> AE_FLICKER_AUTODETECT;
    static const ParamDef<double> AE_FLICKER_FREQ;
    static const ParamDefSingle<bool> AE_BLC_AUTO;
    static const ParamDef<double> AE_BLC_LEVEL;
    static const ParamDef<double> AE_TARGET_BRIGHTNESS;
    static const ParamDef<double> AE_UPDATE_SPEED;
    static const ParamDef<double> AE_BRACKET_SIZE;
    static const ParamDef<double> AE_TARGET_GAIN;
    static const ParamDef<double> AE_MIN_GAIN;
    static const ParamDef<double> AE_MAX_GAIN;
    static const ParamDef<unsigned int> AE_MIN_EXPOSURE;
    static const ParamDef<unsigned int> AE_MAX_EXPOSURE;

    static const Grid7x7 &WEIGHT_7X7_A;   ///< broad centre weighting
    static const Grid7x7 &WEIGHT_7X7_B;   ///< narrow centre weighting
    static const Grid7x7 &BACKLIGHT_7X7;  ///< foreground mask of the backlight measure
    static const Grid7x7 WEIGHT_7X7;      ///< centre weighting of getWeightedStats

    explicit ControlAE(const std::string &logName);

    static const char *className() { return "ControlAE"; }
    static const char *groupHeader() { return "// Auto Exposure parameters"; }
    static const KeyTable<ControlAE> &keys();

    std::ostream &printState(std::ostream &os) const override;
    QOV_RESULT programCorrection() override;
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override;
    /** |target - current brightness| below the bracket. */
    bool hasConverged() const override;

    // metering
    static void normalizeHistogram(const QOV_UINT32 *sourceH, double *destinationH, int nBins);
    static void getHistogramStats(const double *nHistogram, int nBins, double &avgValue, double &underExposureF,
                                  double &overExposureF);
    static double getWeightedStats(const Grid7x7 &gridStats);
    static double getWeightedStatsBlended(const Grid7x7 &gridStats, double combinationWeight);
    static void getBackLightMeasure(const Grid7x7 &gridStats, double &foregroundAvg, double &backgroundAvg);
    static double getAverageBrightness(const MC_STATS_HIS &histogram);
    /** The metered brightness; fills the region grids and moves the backlight level. */
    double getBrightnessMetering(const MC_STATS_HIS &histogram, const MC_STATS_EXS &expClipping);

    // accessors
    double getTargetBrightness() const { return targetBrightness; }
    void setTargetBrightness(double value) { targetBrightness = value; }
    double getCurrentBrightness() const { return currentBrightness; }
    double getUpdateSpeed() const { return updateSpeed; }
    void setUpdateSpeed(double value);
    double getTargetBracket() const { return targetBracket; }
    void setTargetBracket(double value) { targetBracket = value; }
    double getTargetAeGain() const;
    double getMinAeGain() const;
    double getMaxAeGain() const;
    void setTargetAeGain(double value);
    void setMinAeGain(double value);
    void setMaxAeGain(double value);
    microseconds_t getMinAeExposure() const;
    microseconds_t getMaxAeExposure() const;
    void setMinAeExposure(microseconds_t value);
    void setMaxAeExposure(microseconds_t value);
    double getFixedAeGain() const { return fFixedAeGain; }
    void setFixedAeGain(double value);
    microseconds_t getFixedAeExposure() const { return uiFixedAeExposure; }
    void setFixedAeExposure(microseconds_t value);
    void enableFixedAeGain(bool enable) { change(useFixedAeGain, enable); }
    void enableFixedAeExposure(bool enable) { change(useFixedAeExposure, enable); }
    void enableFlickerRejection(bool enable, double freq = 0.0);
    void enableAutoFlickerRejection(bool enable) { change(autoFlickerRejection, enable); }
    bool getFlickerRejection() const { return flickerRejection; }
    bool getAutoFlickerRejection() const { return autoFlickerRejection; }
    double getFlickerFreqConfig() const { return flickerFreqConfig; }
    double getFlickerRejectionFrequency() const { return autoFlickerRejection ? flickerFreq : flickerFreqConfig; }
    void enableBlcAuto(bool enable) { change(blcAuto, enable); }
    bool getBlcAuto() const { return blcAuto; }
    void setBlcLevel(double value);
    double getBlcLevel() const { return blcAuto ? blcLevel : blcLevelConfig; }
    bool isUnderexposed() const { return underexposed; }
    double getApertureFactor() const;
    double getNewGain() const { return fNewGain; }
    microseconds_t getNewExposure() const { return uiNewExposure; }

protected:
    /** The exposure x gain product for the next shot from the metering. */
    double autoExposureCtrl(double metering, double target, double prev) const;
    /** Chooses uiNewExposure, fNewGain and underexposed for the product P0 under the limits. */
    void getAutoExposure(double prevProduct, microseconds_t minE, microseconds_t maxE, double minG, double maxG);
    /** Stores a setting, marking the settings changed when it differs. */
    template <class T> void change(T &field, T value)
    {
        if (field != value)
            settingsUpdated = true;
        field = value;
    }

    double currentBrightness = 0.0;
    double averageBrightness = 0.0;
    double targetBrightness;
    double updateSpeed;
    bool flickerRejection;
    bool autoFlickerRejection;
    bool autoFlickerDetectionSupported = false;
    double flickerFreqConfig;
    double flickerFreq = 0.0;
    bool blcAuto;
    double blcLevelConfig;
    double blcLevel = 0.0;
    double targetBracket;
    bool underexposed = false;
    bool configured = false;
    double fMinAeGain;
    double fMaxAeGain;
    double fMinSensorGain = 1.0;
    double fMaxSensorGain;
    double fTargetAeGain;
    microseconds_t uiMinAeExposure;
    microseconds_t uiMaxAeExposure;
    microseconds_t uiMinSensorExposure = 1;
    microseconds_t uiMaxSensorExposure = 4294967295u;
    double fSensorFrameDuration = 0.0;
    double fNewGain = 1.0;
    microseconds_t uiNewExposure = 0;
    double fFixedAeGain = 0.0;
    bool useFixedAeGain = false;
    microseconds_t uiFixedAeExposure = 0;
    bool useFixedAeExposure = false;
    bool doAE = true;
    bool settingsUpdated = true;

    Grid7x7 regionBrightness = {};
    Grid7x7 regionOverExp = {};
    Grid7x7 regionUnderExp = {};
    Grid7x7 regionRatio = {};

private:
    friend struct ControlAEKeys;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLAE_H
