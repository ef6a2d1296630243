// The auto-focus control: a contrast figure from the centre-weighted 7 x 7
// focus-statistics grid of every shot, and on a trigger a scan of the
// sensor's focus range in two passes (rough over the whole range, fine
// around the sharpest distance found) ending on the sharpest distance.
// Between scans the focus moves a step nearer or farther on command.
#ifndef VOVA_CONTROLAF_H
#define VOVA_CONTROLAF_H

#include <string>

#include "vova/ControlFamily.h"
#include "vova/GridWeights.h"

namespace VOVA {

namespace focus {

/** One step of a pass from the read-back distance: a tenth of the pass (at least one unit), within the pass. */
unsigned passStep(unsigned last, unsigned scanInit, unsigned scanEnd);

/** The fine pass around the best distance: a fifth of the rough range (at most best / 2) each side, within [lo, hi]. */
void finePass(unsigned best, unsigned scanInit, unsigned scanEnd, unsigned lo, unsigned hi, unsigned &fineInit,
              unsigned &fineEnd);

/** The distance a tenth nearer; always at least one unit nearer (down to 0). */
unsigned closer(unsigned distance);

/** The distance a tenth farther; always at least one unit farther. */
unsigned further(unsigned distance);

}  // namespace focus

class ControlAF : public FamilyControl<ControlAF, CTRL_AF> {
public:
    enum State { AF_IDLE = 0, AF_SCANNING = 1, AF_FOCUSED = 2, AF_OUT = 3 };
    enum ScanState {
        AF_SCAN_STOP = 0,
        AF_SCAN_INIT = 1,
        AF_SCAN_ROUGH = 2,
        AF_SCAN_FINE = 3,
        AF_SCAN_REFINE = 4,
        AF_SCAN_POSITIONING = 5,
        AF_SCAN_FINISHED = 6
    };
    enum Command { AF_TRIGGER = 0, AF_STOP = 1, AF_FOCUS_CLOSER = 2, AF_FOCUS_FURTHER = 3, AF_NONE = 4 };

    static const ParamDef<double> AF_CENTER_WEIGTH;
    static const Grid7x7 &WEIGHT_7X7_CENTRAL;
    static const Grid7x7 &WEIGHT_7X7_SPREAD;

    explicit ControlAF(const std::string &logName);

    static const char *className() { return "ControlAF"; }
    static const char *groupHeader() { return "// Auto Focus parameters"; }
    static const KeyTable<ControlAF> &keys();

    std::ostream &printState(std::ostream &os) const override;
    /** The focus is set by runAF: always QOV_ERROR_NOT_SUPPORTED. */
    QOV_RESULT programCorrection() override { return QOV_ERROR_NOT_SUPPORTED; }
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override;
    bool hasConverged() const override { return currentState != AF_SCANNING; }
    /** One step of the focus state machine. */
    virtual void runAF(unsigned lastFocusDistance, double lastSharpness, Command command);

    void setCommand(Command command) { lastCommand = command; }
    State getState() const { return currentState; }
    ScanState getScanState() const { return scanState; }
    unsigned getBestFocusDistance() const { return bestFocusDistance; }
    double getCenterWeight() const { return centerWeigth; }
    double getSharpness() const { return lastSharpness; }
    unsigned getTargetFocusDistance() const { return targetFocusDistance; }

    static double sharpnessGridMetering(const Metadata &shotMetadata, double centreWeight);
    static const char *StateName(State state);
    static const char *ScanStateName(ScanState state);
    static const char *CommandName(Command command);

protected:
    /** Records the sharpest distance of the pass. */
    void noteSharpness(unsigned last, double sharpness);

    bool flagInitialized = false;
    double bestSharpness = 0.0;
    unsigned bestFocusDistance = 0;
    unsigned minFocusDistance = 0;
    unsigned maxFocusDistance = 0;
    unsigned targetFocusDistance = 0;
    double lastSharpness = 0.0;
    State currentState = AF_IDLE;
    State nextState = AF_IDLE;
    ScanState scanState = AF_SCAN_STOP;
    Command lastCommand = AF_NONE;
    unsigned scanInit = 0;
    unsigned scanEnd = 0;
    double normalizeFactor = 1.0;
    double centerWeigth;
};

}  // namespace VOVA

#endif  // VOVA_CONTROLAF_H
