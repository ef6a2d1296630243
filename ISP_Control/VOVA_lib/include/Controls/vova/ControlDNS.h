// The denoiser control: hands the sensor's programmed gain to the denoiser
// module of every pipeline on each shot, so that the denoiser's noise model
// follows the gain the exposure control has just set. No keys, no
// statistics.
#ifndef VOVA_CONTROLDNS_H
#define VOVA_CONTROLDNS_H

#include <string>

#include "vova/ControlFamily.h"

namespace VOVA {

class ControlDNS : public FamilyControl<ControlDNS, CTRL_DNS> {
public:
    ControlDNS(double defaultGain, const std::string &logName);

    static const char *className() { return "ControlDNS"; }
    static const char *groupHeader() { return ""; }
    static const KeyTable<ControlDNS> &keys();

    QOV_RESULT programCorrection() override;
    /** Takes the owner's sensor gain; no sensor fails with QOV_ERROR_NOT_INITIALISED. */
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override { return QOV_SUCCESS; }
    bool hasConverged() const override { return true; }

    double getSensorGain() const { return fSensorGain; }

protected:
    double fSensorGain;  ///< the gain handed to the denoiser modules
};

}  // namespace VOVA

#endif  // VOVA_CONTROLDNS_H
