// The PID white-balance control: one PID controller per ratio drives the
// red/green and blue/green ratios of the chosen estimator, measured after
// the gains in force, towards 1; their outputs multiply the red and blue
// gains of the 6500 K correction, and the temperature follows from the
// resulting gains. It can process one frame in several.
#ifndef VOVA_CONTROLAWB_PID_H
#define VOVA_CONTROLAWB_PID_H

#include <string>

#include "vova/ControlAWB.h"

namespace VOVA {

class ControlAWB_PID : public ControlAWB {
public:
    typedef awb::PIDState State;

    static const ParamDef<unsigned int> AWB_FRAME_DELAY;

    explicit ControlAWB_PID(const std::string &logName);
    ~ControlAWB_PID() override;

    static const char *className() { return "ControlAWB_PID"; }
    static const char *groupHeader() { return "// Auto White Balance parameters"; }
    static const KeyTable<ControlAWB_PID> &keys();
    static ParameterGroup getGroup() { return family::groupOf(groupHeader(), keys()); }

    /** The calibration, "WB_FRAME_DELAY", then both controllers around the 6500 K gains. */
    QOV_RESULT load(const ParameterList &parameters) override;
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;
    /** Resets both controllers first while bResetStates is set. */
    void enableControl(bool enable) override;
    QOV_RESULT update(const Metadata &metadata) override;
    bool hasConverged() const override { return sRGain.bConverged && sBGain.bConverged; }
    /** The target plays no part in this control. */
    void setTargetTemperature(double) override {}
    double getCorrectionTemperature() const override { return measuredTemperature; }
    virtual void setWBTSFeatures(unsigned int) {}

    void initialiseAWBPID(double Kp, double Kd, double Ki, double flRIQE, double flBIQE);
    unsigned int getNumberOfSkipped() const { return uiFramesSkipped; }
    unsigned int getNumberToSkip() const { return uiFramesToSkip; }
    void resetNumberOfSkipped() { uiFramesSkipped = uiFramesToSkip; }
    const State &getRedState() const { return sRGain; }
    const State &getBlueState() const { return sBGain; }
    bool getResetStates() const { return bResetStates; }
    void setResetStates(bool reset) { bResetStates = reset; }

    static double PIDGain(State *s, double flCurrentRatio) { return awb::PIDGain(s, flCurrentRatio); }

protected:
    State sRGain;
    State sBGain;
    unsigned int uiFramesToSkip;
    unsigned int uiFramesSkipped;
    bool bResetStates;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLAWB_PID_H
