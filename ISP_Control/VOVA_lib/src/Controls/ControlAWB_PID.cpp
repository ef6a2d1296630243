// The PID white-balance control: frame skipping, the two controllers over
// the chosen estimator's ratios and the correction built from their outputs.
#include "vova/ControlAWB_PID.h"

#include <cmath>

#include "vezaracommon/userlog.h"
#include "vova/Shot.h"

namespace VOVA {

const ParamDef<unsigned int> ControlAWB_PID::AWB_FRAME_DELAY("WB_FRAME_DELAY", 0, 200, 0);

const KeyTable<ControlAWB_PID> &ControlAWB_PID::keys()
{
    typedef Keys<ControlAWB_PID> K;
    static const KeyTable<ControlAWB_PID> table = K::table(K::number(AWB_FRAME_DELAY, &ControlAWB_PID::uiFramesToSkip));
    return table;
}

ControlAWB_PID::ControlAWB_PID(const std::string &logName)
    : ControlAWB(logName), uiFramesToSkip(AWB_FRAME_DELAY.def), uiFramesSkipped(0), bResetStates(true)
{
    targetTemperature = 6500.0;
    sRGain.reset();
    sBGain.reset();
}

ControlAWB_PID::~ControlAWB_PID() {}

QOV_RESULT ControlAWB_PID::load(const ParameterList &parameters)
{
    loadCalibration(parameters, true);
    family::loadTable(*this, keys(), parameters);
    if (uiFramesToSkip != AWB_FRAME_DELAY.def)
        LOG_Warning("load", __LINE__, "VOVA_CTRL_AWB",
                    "number of frames to skipped is not expected to change from default!\n");
    initialiseAWBPID(0.1, 0.01, 0.1, Uncorrected.gains[0][0], Uncorrected.gains[0][3]);
    return QOV_SUCCESS;
}

QOV_RESULT ControlAWB_PID::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    return saveWithCalibration(*this, parameters, t);
}

void ControlAWB_PID::initialiseAWBPID(double Kp, double Kd, double Ki, double flRIQE, double flBIQE)
{
    sBGain.update(Kp, Kd, Ki, flBIQE);
    sRGain.update(Kp, Kd, Ki, flRIQE);
    resetNumberOfSkipped();
}

void ControlAWB_PID::enableControl(bool enable)
{
    if (bResetStates) {
        sRGain.reset();
        sBGain.reset();
    }
    ControlAWB::enableControl(enable);
}

QOV_RESULT ControlAWB_PID::update(const Metadata &metadata)
{
    if (uiFramesSkipped < uiFramesToSkip) {
        LOG_Info("update", __LINE__, getLoggingName(), "skipping frame - skipped %u/%u", uiFramesSkipped,
                 uiFramesToSkip);
        uiFramesSkipped++;
        return QOV_SUCCESS;
    }
    uiFramesSkipped = 0;

    trackThresholds(metadata);
    if (!configured) {
        LOG_Warning("update", __LINE__, getLoggingName(),
                    "ControlAWB Statistics were not configured! Trying to configure them now.");
        configureStatistics();
    }

    const double N = imageTotalPixels;
    double R = 0.0, G = 0.0, B = 0.0;
    switch (correctionMode) {
    case WB_AC: getACAverages(metadata, N, R, G, B); break;
    case WB_WP: getWPAverages(metadata, N, R, G, B); break;
    case WB_HLW: getHLWAverages(metadata, N, R, G, B); break;
    case WB_COMBINED: {
        double ac[3], wp[3], hlw[3], rgb[3];
        getACAverages(metadata, N, ac[0], ac[1], ac[2]);
        getWPAverages(metadata, N, wp[0], wp[1], wp[2]);
        getHLWAverages(metadata, N, hlw[0], hlw[1], hlw[2]);
        for (int c = 0; c < 3; c++)
            rgb[c] = awb::combinedEstimate(wp[c], ac[c], hlw[c]);
        R = rgb[0];
        G = rgb[1];
        B = rgb[2];
        break;
    }
    case WB_NONE: break;
    default: return QOV_ERROR_OUT_OF_RANGE;
    }

    double rg, bg;
    if (correctionMode == WB_NONE) {
        rg = redBalance;
        bg = blueBalance;
    } else {
        // A black frame (no green) has no colour to balance: the ratios would
        // not be numbers and would stick the controllers.
        if (!(G > 0.0) || !std::isfinite(R / G) || !std::isfinite(B / G))
            return QOV_SUCCESS;
        rg = PIDGain(&sRGain, R / G);
        bg = PIDGain(&sBGain, B / G);
    }

    if (doAwb) {
        measuredTemperature = colorTempCorrection.getCorrelatedTemperature(1.0 / rg, 1.0, 1.0 / bg);
        currentCCM = correctionAt(measuredTemperature);
        const Matrix &ug = Uncorrected.gains;
        currentCCM.gains[0][0] = ug[0][0] * rg;
        currentCCM.gains[0][1] = ug[0][1];
        currentCCM.gains[0][2] = ug[0][2];
        currentCCM.gains[0][3] = ug[0][3] * bg;
        if (correctionMode != WB_NONE) {
            redBalance = rg;
            blueBalance = bg;
        }
        programCorrection();
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
