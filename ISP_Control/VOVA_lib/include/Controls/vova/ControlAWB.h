// The white-balance control and base of its PID and Planckian variants: the
// multi-temperature colour calibration, the correction in force and its
// inverse, the estimators over the white-balance statistics (average colour,
// white patch, high-luminance white, each measured between two regions of
// different thresholds), the trackers that keep region 0's thresholds
// informative, and the writing of gains and colour matrix into every
// pipeline.
#ifndef VOVA_CONTROLAWB_H
#define VOVA_CONTROLAWB_H

#include <cmath>
#include <string>

#include "vova/AWBArithmetic.h"
#include "vova/ColorCorrection.h"
#include "vova/ControlFamily.h"
#include "vova/TemperatureCorrection.h"

namespace VOVA {

class ModuleWBS;

class ControlAWB : public FamilyControl<ControlAWB, CTRL_AWB> {
public:
    typedef awb::Threshold Threshold;
    typedef awb::TS_State TS_State;
    using enum awb::TS_State;

    enum Correction_Types { WB_NONE = 0, WB_AC = 1, WB_WP = 2, WB_HLW = 3, WB_COMBINED = 4 };
    /** "NONE", "Average Colour", "White Patch", "High Luminance White", "Combined"; "unknown" otherwise. */
    static const char *CorrectionName(Correction_Types type);

    static const ParamDef<double> AWB_ESTIMATION_SCALE;
    static const ParamDef<double> AWB_ESTIMATION_OFFSET;
    static const ParamDef<double> AWB_TARGET_TEMPERATURE;
    static const ParamDef<double> AWB_TARGET_PIXELRATIO;

    explicit ControlAWB(const std::string &logName);
    ~ControlAWB() override;

    static const char *className() { return "ControlAWB"; }
    static const char *groupHeader() { return "// Auto White Balance parameters"; }
    static const KeyTable<ControlAWB> &keys();

    /** The calibration, its 6500 K correction, then the four keys. */
    QOV_RESULT load(const ParameterList &parameters) override;
    /** The group and four keys, then the calibration's (whose result is returned). */
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;
    /** Gains into every pipeline's gain module, matrix and offsets into its colour-matrix module. */
    QOV_RESULT programCorrection() override;
    /** The base operation, then the image's pixel count from the pipeline's sensor. */
    QOV_RESULT setPipelineOwner(Pipeline *pipeline) override;
    QOV_RESULT update(const Metadata &metadata) override;
    /** Both statistics regions over the whole image once, and the thresholds on every call. */
    QOV_RESULT configureStatistics() override;
    bool hasConverged() const override { return true; }

    virtual void setTargetTemperature(double temperature) { targetTemperature = temperature; }
    virtual double getTargetTemperature() const { return targetTemperature; }
    virtual double getMeasuredTemperature() const { return measuredTemperature; }
    virtual double getCorrectionTemperature() const { return correctionTemperature; }

    void setCorrectionMode(Correction_Types mode) { correctionMode = mode; }
    Correction_Types getCorrectionMode() const { return correctionMode; }
    void setRedBalance(double balance) { redBalance = balance; }
    double getRedBalance() const { return redBalance; }
    void setBlueBalance(double balance) { blueBalance = balance; }
    double getBlueBalance() const { return blueBalance; }
    const TemperatureCorrection &getTemperatureCorrections() const { return colorTempCorrection; }
    TemperatureCorrection &getTemperatureCorrectionsMutable()
    {
        cachedTemperature = std::nan("");
        return colorTempCorrection;
    }

    // Estimators over the white-balance statistics; imagePixels is N, the
    // pixel count the sums and counts are divided by.
    static double estimateThreshold(Threshold &t, double meteredRatio, double targetRatio)
    {
        return awb::estimateThreshold(t, meteredRatio, targetRatio);
    }
    static void estimateWPThresholds(const Metadata &metadata, double imagePixels, double targetPixelRatio,
                                     Threshold &infoR, Threshold &infoG, Threshold &infoB, double &thresholdR,
                                     double &thresholdG, double &thresholdB);
    static double estimateHLWThreshold(const Metadata &metadata, double imagePixels, double targetPixelRatio,
                                       Threshold &infoY);
    static void getACAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                              double &blue);
    /** Between the two regions' luma thresholds; the average colour when no pixel lies there. */
    static void getHLWAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                               double &blue);
    /** Between the two regions' channel thresholds; the average colour when a channel has no pixel there. */
    static void getWPAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                              double &blue);
    static void colorTransform(double R, double G, double B, const ColorCorrection &C, double &oR, double &oG,
                               double &oB)
    {
        awb::colorTransform(R, G, B, C, oR, oG, oB);
    }
    static void invertColorCorrection(double R, double G, double B, const ColorCorrection &I, double &iR,
                                      double &iG, double &iB)
    {
        awb::invertColorCorrection(R, G, B, I, iR, iG, iB);
    }
    static double correctTemperature(double T, double offset, double scale)
    {
        return awb::correctTemperature(T, offset, scale);
    }
    static double correctTemperature2(double T, double offset, double scale)
    {
        return awb::correctTemperature2(T, offset, scale);
    }

protected:
    /**
     * The calibration's correction at a temperature, computed again only
     * when the temperature differs from the last one asked for (the blend
     * builds several matrices).
     */
    const ColorCorrection &correctionAt(double temperature);
    /** The three averages, or the average colour when they are not usable. */
    static void averagesOrAverageColour(bool usable, const double average[3], const Metadata &metadata,
                                        double imagePixels, double &red, double &green, double &blue);
    /**
     * Tracks region 0's thresholds on the shot's statistics and writes them
     * into the owner's statistics module, so that the next shots are
     * measured with them.
     */
    void trackThresholds(const Metadata &metadata);
    /** Region 0's tracked and region 1's fixed thresholds into the module; update requested. */
    void writeThresholds(ModuleWBS &wbs) const;
    /** Saves the class's group and keys, then the calibration's; returns the calibration's result. */
    template <class C> QOV_RESULT saveWithCalibration(const C &control, ParameterList &parameters,
                                                      ModuleBase::SaveType t) const
    {
        static const ParameterGroup group = C::getGroup();
        parameters.addGroup(C::className(), group);
        family::saveTable(control, C::keys(), parameters, t);
        return colorTempCorrection.saveParameters(parameters, t);
    }
    /**
     * The calibration and its 6500 K correction; with warnMissing6500, a
     * warning when that temperature is not calibrated.
     */
    void loadCalibration(const ParameterList &parameters, bool warnMissing6500);

    unsigned int imageTotalPixels;
    TemperatureCorrection colorTempCorrection;
    ColorCorrection Uncorrected;
    ColorCorrection currentCCM;
    ColorCorrection inverseCCM;
    double HLWThreshold;
    double WPThresholdR;
    double WPThresholdG;
    double WPThresholdB;
    Threshold thresholdInfoR;
    Threshold thresholdInfoG;
    Threshold thresholdInfoB;
    Threshold thresholdInfoY;
    double estimationScale;
    double estimationOffset;
    Correction_Types correctionMode;
    double targetTemperature;
    double targetPixelRatio;
    double redBalance;
    double blueBalance;
    bool statisticsRegionProgrammed;
    double measuredTemperature;
    double correctionTemperature;
    bool doAwb;
    bool configured;

private:
    ColorCorrection cachedCorrection;
    double cachedTemperature;  ///< of cachedCorrection; NaN when none
};

}  // namespace VOVA

#endif  // VOVA_CONTROLAWB_H
