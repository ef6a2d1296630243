// The white-balance control: statistics regions and thresholds, the three
// estimators, the shared temperature estimate and the programming of gains
// and colour matrix.
#include "vova/ControlAWB.h"

#include <algorithm>

#include "vezaracommon/userlog.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleWBC.h"
#include "vova/ModuleWBS.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

namespace VOVA {

namespace {

// Region 1's fixed thresholds, single-precision values widened to double.
const double kRegion1ChannelMax = static_cast<float>(0.45);
const double kRegion1LumaThreshold = static_cast<float>(0.9);

// The estimate all plain white-balance controls smooth together; created
// by the first update with that control's target.
struct SharedEstimate {
    bool created = false;
    double temperature = 0.0;
};
SharedEstimate &sharedEstimate()
{
    static SharedEstimate estimate;
    return estimate;
}

}  // namespace

const ParamDef<double> ControlAWB::AWB_ESTIMATION_SCALE("WB_ESTIMATION_SCALE", 0.0, 20.0, 1.0);
const ParamDef<double> ControlAWB::AWB_ESTIMATION_OFFSET("WB_ESTIMATION_OFFSET", -6500.0, 6500.0, 0.0);
const ParamDef<double> ControlAWB::AWB_TARGET_TEMPERATURE("WB_TARGET_TEMPERATURE", 0.0, 100000.0, 6500.0);
const ParamDef<double> ControlAWB::AWB_TARGET_PIXELRATIO("WB_TARGET_PIXEL_RATIO", 0.0, 1.0,
                                                         static_cast<float>(0.075));

const KeyTable<ControlAWB> &ControlAWB::keys()
{
    typedef Keys<ControlAWB> K;
    static const KeyTable<ControlAWB> table =
        K::table(K::number(AWB_ESTIMATION_SCALE, &ControlAWB::estimationScale),
                 K::number(AWB_ESTIMATION_OFFSET, &ControlAWB::estimationOffset),
                 K::number(AWB_TARGET_TEMPERATURE, &ControlAWB::targetTemperature),
                 K::number(AWB_TARGET_PIXELRATIO, &ControlAWB::targetPixelRatio));
    return table;
}

const char *ControlAWB::CorrectionName(Correction_Types type)
{
    switch (type) {
    case WB_NONE: return "NONE";
    case WB_AC: return "Average Colour";
    case WB_WP: return "White Patch";
    case WB_HLW: return "High Luminance White";
    case WB_COMBINED: return "Combined";
    }
    return "unknown";
}

ControlAWB::ControlAWB(const std::string &logName)
    : FamilyControl<ControlAWB, CTRL_AWB>(logName),
      imageTotalPixels(4294967295u),
      HLWThreshold(0.75),
      WPThresholdR(0.4),
      WPThresholdG(0.4),
      WPThresholdB(0.4),
      estimationScale(AWB_ESTIMATION_SCALE.def),
      estimationOffset(AWB_ESTIMATION_OFFSET.def),
      correctionMode(WB_AC),
      targetTemperature(AWB_TARGET_TEMPERATURE.def),
      targetPixelRatio(AWB_TARGET_PIXELRATIO.def),
      redBalance(1.0),
      blueBalance(1.0),
      statisticsRegionProgrammed(false),
      measuredTemperature(0.0),
      correctionTemperature(0.0),
      doAwb(true),
      configured(false),
      cachedTemperature(std::nan(""))
{
    currentCCM = colorTempCorrection.getColorCorrection(targetTemperature);
    inverseCCM = currentCCM;
    inverseCCM.inv();
}

ControlAWB::~ControlAWB() {}

void ControlAWB::loadCalibration(const ParameterList &parameters, bool warnMissing6500)
{
    colorTempCorrection.loadParameters(parameters);
    cachedTemperature = std::nan("");
    if (warnMissing6500 && colorTempCorrection.getCorrectionIndex(6500.0) < 0)
        LOG_Warning("load", __LINE__, "VOVA_CTRL_AWB", "loaded temperature correction does not have 6500K entry!\n");
    Uncorrected = colorTempCorrection.getColorCorrection(6500.0);
}

const ColorCorrection &ControlAWB::correctionAt(double temperature)
{
    if (temperature != cachedTemperature) {
        cachedCorrection = colorTempCorrection.getColorCorrection(temperature);
        cachedTemperature = temperature;
    }
    return cachedCorrection;
}

QOV_RESULT ControlAWB::load(const ParameterList &parameters)
{
    loadCalibration(parameters, false);
    return FamilyControl<ControlAWB, CTRL_AWB>::load(parameters);
}

QOV_RESULT ControlAWB::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    return saveWithCalibration(*this, parameters, t);
}

QOV_RESULT ControlAWB::setPipelineOwner(Pipeline *pipeline)
{
    QOV_RESULT ret = FamilyControl<ControlAWB, CTRL_AWB>::setPipelineOwner(pipeline);
    if (ret != QOV_SUCCESS) {
        LOG_Error("setPipelineOwner", __LINE__, getLoggingName(), "parent's setPipelineOwner failed");
        return ret;
    }
    if (!pipeline)
        return QOV_SUCCESS;
    const Sensor *sensor = pipeline->getSensor();
    if (sensor) {
        imageTotalPixels = sensor->uiWidth * sensor->uiHeight;
    } else {
        LOG_Warning("setPipelineOwner", __LINE__, getLoggingName(),
                    "Pipeline set but imageTotalPixels cannot be computed because pipeline does not have a sensor!\n");
        imageTotalPixels = 4294967295u;
    }
    return QOV_SUCCESS;
}

void ControlAWB::writeThresholds(ModuleWBS &wbs) const
{
    wbs.aRedMaxTH[0] = WPThresholdR;
    wbs.aGreenMaxTH[0] = WPThresholdG;
    wbs.aBlueMaxTH[0] = WPThresholdB;
    wbs.aYHLWTH[0] = HLWThreshold;
    wbs.aRedMaxTH[1] = kRegion1ChannelMax;
    wbs.aGreenMaxTH[1] = kRegion1ChannelMax;
    wbs.aBlueMaxTH[1] = kRegion1ChannelMax;
    wbs.aYHLWTH[1] = kRegion1LumaThreshold;
    wbs.requestUpdate();
}

QOV_RESULT ControlAWB::configureStatistics()
{
    if (!getPipelineOwner()) {
        LOG_Error("configureStatistics", __LINE__, getLoggingName(),
                  "ControlAWB has no pipeline owner! Cannot configure statistics.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleWBS *wbs = ownerModule<ModuleWBS>();
    configured = false;
    if (!wbs) {
        LOG_Error("configureStatistics", __LINE__, getLoggingName(), "ControlAWB cannot find WBS module.");
        return QOV_ERROR_WRONG_STATE;
    }
    if (!statisticsRegionProgrammed) {
        const Sensor *sensor = getSensor();
        if (!sensor) {
            LOG_Error("configureStatistics", __LINE__, getLoggingName(),
                      "ControlAWB has no sensor! Cannot configure the statistics regions.\n");
            return QOV_ERROR_NOT_INITIALISED;
        }
        for (int region = 0; region < 2; region++) {
            wbs->aROIStartCoord[region][0] = 0;
            wbs->aROIStartCoord[region][1] = 0;
            wbs->aROIEndCoord[region][0] = sensor->uiWidth - 1;
            wbs->aROIEndCoord[region][1] = sensor->uiHeight - 1;
        }
        wbs->ui32NROIEnabled = 2;
        statisticsRegionProgrammed = true;
    }
    writeThresholds(*wbs);
    configured = true;
    return QOV_SUCCESS;
}

void ControlAWB::estimateWPThresholds(const Metadata &metadata, double imagePixels, double targetPixelRatio,
                                      Threshold &infoR, Threshold &infoG, Threshold &infoB, double &thresholdR,
                                      double &thresholdG, double &thresholdB)
{
    const MC_STATS_WBS_WP *wp = metadata.whiteBalanceStats.whitePatch;
    const QOV_UINT32 *count1 = wp[1].channelCount;
    const double largest = std::max(count1[0], std::max(count1[1], count1[2]));
    const double target = largest / imagePixels + targetPixelRatio;
    thresholdR = estimateThreshold(infoR, wp[0].channelCount[0] / imagePixels, target);
    thresholdG = estimateThreshold(infoG, wp[0].channelCount[1] / imagePixels, target);
    thresholdB = estimateThreshold(infoB, wp[0].channelCount[2] / imagePixels, target);
}

double ControlAWB::estimateHLWThreshold(const Metadata &metadata, double imagePixels, double targetPixelRatio,
                                        Threshold &infoY)
{
    const MC_STATS_WBS_HLW *hlw = metadata.whiteBalanceStats.highLuminance;
    return estimateThreshold(infoY, hlw[0].lumaCount / imagePixels,
                             hlw[1].lumaCount / imagePixels * 1.25 + targetPixelRatio);
}

void ControlAWB::getACAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                               double &blue)
{
    const QOV_UINT32 *acc = metadata.whiteBalanceStats.averageColor[0].channelAccumulated;
    red = acc[0] / imagePixels;
    green = acc[1] / imagePixels;
    blue = acc[2] / imagePixels;
}

void ControlAWB::averagesOrAverageColour(bool usable, const double average[3], const Metadata &metadata,
                                         double imagePixels, double &red, double &green, double &blue)
{
    if (!usable) {
        getACAverages(metadata, imagePixels, red, green, blue);
        return;
    }
    red = average[0];
    green = average[1];
    blue = average[2];
}

void ControlAWB::getHLWAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                                double &blue)
{
    const MC_STATS_WBS_HLW *hlw = metadata.whiteBalanceStats.highLuminance;
    double avg[3];
    bool usable = hlw[0].lumaCount != 0;
    for (int c = 0; c < 3 && usable; c++)
        usable = awb::differenceAverage(hlw[0].channelAccumulated[c], hlw[1].channelAccumulated[c], hlw[0].lumaCount,
                                        hlw[1].lumaCount, avg[c]);
    averagesOrAverageColour(usable, avg, metadata, imagePixels, red, green, blue);
}

void ControlAWB::getWPAverages(const Metadata &metadata, double imagePixels, double &red, double &green,
                               double &blue)
{
    const MC_STATS_WBS_WP *wp = metadata.whiteBalanceStats.whitePatch;
    double avg[3] = {0.0, 0.0, 0.0};
    bool usable = wp[0].channelCount[0] != 0 && wp[0].channelCount[1] != 0 && wp[0].channelCount[2] != 0;
    for (int c = 0; c < 3 && usable; c++) {
        if (!awb::differenceAverage(wp[0].channelAccumulated[c], wp[1].channelAccumulated[c], wp[0].channelCount[c],
                                    wp[1].channelCount[c], avg[c]))
            avg[c] = 0.0;
        usable = avg[c] != 0.0;
    }
    averagesOrAverageColour(usable, avg, metadata, imagePixels, red, green, blue);
}

void ControlAWB::trackThresholds(const Metadata &metadata)
{
    const double N = imageTotalPixels;
    estimateWPThresholds(metadata, N, targetPixelRatio, thresholdInfoR, thresholdInfoG, thresholdInfoB, WPThresholdR,
                         WPThresholdG, WPThresholdB);
    HLWThreshold = estimateHLWThreshold(metadata, N, targetPixelRatio, thresholdInfoY);
    if (ModuleWBS *wbs = ownerModule<ModuleWBS>())
        writeThresholds(*wbs);
}

QOV_RESULT ControlAWB::update(const Metadata &metadata)
{
    trackThresholds(metadata);

    const double N = imageTotalPixels;
    double rgb[3][3];  // HLW, WP, AC
    getHLWAverages(metadata, N, rgb[0][0], rgb[0][1], rgb[0][2]);
    getWPAverages(metadata, N, rgb[1][0], rgb[1][1], rgb[1][2]);
    getACAverages(metadata, N, rgb[2][0], rgb[2][1], rgb[2][2]);

    const Matrix &ug = Uncorrected.gains;
    double temperature[3];
    for (int k = 0; k < 3; k++) {
        double r, g, b;
        invertColorCorrection(rgb[k][0], rgb[k][1], rgb[k][2], inverseCCM, r, g, b);
        r *= ug[0][0];
        g *= (ug[0][1] + ug[0][2]) / 2.0;
        b *= ug[0][3];
        temperature[k] = correctTemperature(colorTempCorrection.getCorrelatedTemperature(r, g, b), estimationOffset,
                                            estimationScale);
    }
    const double T_HLW = temperature[0], T_WP = temperature[1], T_AC = temperature[2];

    SharedEstimate &shared = sharedEstimate();
    if (!shared.created) {
        shared.temperature = targetTemperature;
        shared.created = true;
    }
    double &E = shared.temperature;
    switch (correctionMode) {
    case WB_AC: E = 0.5 * E + 0.5 * T_AC; break;
    case WB_WP: E = 0.5 * E + 0.5 * T_WP; break;
    case WB_HLW: E = 0.5 * E + 0.5 * T_HLW; break;
    case WB_COMBINED: E = 0.5 * E + 0.5 * awb::combinedEstimate(T_WP, T_AC, T_HLW); break;
    case WB_NONE: E = colorTempCorrection.getCorrelatedTemperature(1.0 / redBalance, 1.0, 1.0 / blueBalance); break;
    }
    measuredTemperature = E;
    correctionTemperature = 6500.0 - (targetTemperature - E);

    if (doAwb) {
        const Matrix &measured = correctionAt(E).gains;
        const double rb = measured[0][0] / ug[0][0];
        const double bb = measured[0][3] / ug[0][3];
        currentCCM = correctionAt(correctionTemperature);
        if (correctionMode == WB_NONE) {
            currentCCM.gains[0][0] *= redBalance / rb;
            currentCCM.gains[0][3] *= blueBalance / bb;
        } else {
            redBalance = rb;
            blueBalance = bb;
        }
        programCorrection();
        inverseCCM = currentCCM;
        inverseCCM.inv();
    }
    return QOV_SUCCESS;
}

QOV_RESULT ControlAWB::programCorrection()
{
    for (Pipeline *pipeline : pipelineList) {
        ModuleWBC *wbc = static_cast<ModuleWBC *>(pipeline->getModule(STP_WBC));
        ModuleCCM *ccm = static_cast<ModuleCCM *>(pipeline->getModule(STP_CCM));
        if (!wbc || !ccm)
            continue;
        for (int c = 0; c < 4; c++)
            wbc->aWBGain[c] = currentCCM.gains[0][c];
        wbc->requestUpdate();
        for (int i = 0; i < 3; i++) {
            for (int j = 0; j < 3; j++)
                ccm->aMatrix[3 * i + j] = currentCCM.coefficients[i][j];
            ccm->aOffset[i] = currentCCM.offsets[0][i];
        }
        ccm->requestUpdate();
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
