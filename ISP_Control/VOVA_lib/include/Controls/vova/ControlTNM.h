// The tone-mapping loop: every shot's global luma histogram becomes a tone
// curve (vova/ToneCurve.h) towards which a running curve moves; its inner
// points go to the tone mapper of every pipeline. With the gain-adaptive
// mode the curve is pulled towards the identity as the sensor gain rises,
// and the strength freed goes to the local tone mapping when that is on.
#ifndef VOVA_CONTROLTNM_H
#define VOVA_CONTROLTNM_H

#include <string>

#include "vova/ControlFamily.h"
#include "vova/Matrix.h"

namespace VOVA {

class ControlTNM : public FamilyControl<ControlTNM, CTRL_TNM> {
public:
    static const ParamDef<float> TNMC_TEMPERING;
    static const ParamDef<float> TNMC_HISTMIN;
    static const ParamDef<float> TNMC_HISTMAX;
    static const ParamDef<float> TNMC_SMOOTHING;
    static const ParamDef<float> TNMC_UPDATESPEED;
    static const ParamDefSingle<bool> TNMC_LOCAL;
    static const ParamDef<float> TNMC_LOCAL_STRENGTH;
    static const ParamDefSingle<bool> TNMC_ADAPTIVE;

    explicit ControlTNM(const std::string &logName);

    static const char *className() { return "ControlTNM"; }
    static const char *groupHeader() { return "// Tone Mapper Control parameters"; }
    static const KeyTable<ControlTNM> &keys();

    std::ostream &printState(std::ostream &os) const override;
    QOV_RESULT programCorrection() override;
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override;
    bool hasConverged() const override { return true; }

    QOV_RESULT setHistMin(double value) { return setChecked(histMin, value, TNMC_HISTMIN); }
    double getHistMin() const { return histMin; }
    QOV_RESULT setHistMax(double value) { return setChecked(histMax, value, TNMC_HISTMAX); }
    double getHistMax() const { return histMax; }
    QOV_RESULT setTempering(double value) { return setChecked(tempering, value, TNMC_TEMPERING); }
    double getTempering() const { return tempering; }
    QOV_RESULT setSmoothing(double value) { return setChecked(smoothing, value, TNMC_SMOOTHING); }
    double getSmoothing() const { return smoothing; }
    QOV_RESULT setUpdateSpeed(double value) { return setChecked(updateSpeed, value, TNMC_UPDATESPEED); }
    double getUpdateSpeed() const { return updateSpeed; }
    QOV_RESULT setLocalStrength(double value) { return setChecked(localStrength, value, TNMC_LOCAL_STRENGTH); }
    double getLocalStrength() const { return localStrength; }
    void enableLocalTNM(bool enable) { localTNM = enable; }
    bool getLocalTNM() const { return localTNM; }
    void enableAdaptiveTNM(bool enable) { adaptiveTNM = enable; }
    bool getAdaptiveTNM() const { return adaptiveTNM; }
    void setAllowHISConfig(bool allow) { configureHis = allow; }
    bool getAllowHISConfig() const { return configureHis; }

    double getAdaptiveStrength() const { return adaptiveStrength; }
    const Matrix &getMappingCurve() const { return mappingCurve; }

    static QOV_RESULT resetHistogram(Matrix &hist);
    static QOV_RESULT resetCurve(Matrix &curve);
    static QOV_RESULT loadHistogram(const Metadata &metadata, Matrix &hist);
    static Matrix accumulateHistogram(const Matrix &hist);
    static QOV_RESULT smoothHistogram(Matrix &hist);
    static QOV_RESULT smoothHistogram(Matrix &hist, double amount);
    static QOV_RESULT generateMappingCurve(Matrix &hist, double minHist, double maxHist, double smoothing,
                                           double tempering, double updateSpeed, Matrix &mappingCurve);

protected:
    QOV_RESULT setChecked(double &field, double value, const ParamDef<float> &def);

    double adaptiveStrength = 1.0;
    double histMin;
    double histMax;
    double smoothing;
    double tempering;
    double updateSpeed;
    Matrix histogram;
    Matrix mappingCurve;
    bool localTNM;
    bool adaptiveTNM;
    double localStrength;
    bool configureHis = false;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLTNM_H
