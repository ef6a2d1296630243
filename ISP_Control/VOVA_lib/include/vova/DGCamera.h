// A camera whose frames come from the ISP's internal data generator playing
// a JUX file: every enqueued shot inserts one generated frame, every acquired
// shot waits until it has been processed. The generator cannot change its
// exposure, so after every acquired shot the programmed exposure is emulated
// by rewriting the curves of the raw look-up table.
#ifndef VOVA_DGCAMERA_H
#define VOVA_DGCAMERA_H

#include <string>

#include "vova/Camera.h"

namespace VOVA {

class DGCamera : public Camera {
public:
    /**
     * Whether the hardware has an internal data generator. Asked on the
     * shared connection; when nothing holds it, the driver is opened for the
     * question and closed again: a caller that holds a connection asks with it.
     */
    static bool supportIntDG();
    /** The same, answered from a connection the caller holds: the driver is neither opened nor closed. */
    static bool supportIntDG(const CI_CONNECTION *connection);
    static bool supportExtDG() { return false; }

    /** Uses a generator sensor it does not own: no frame is inserted or waited for. */
    DGCamera(unsigned int contextNumber, Sensor *sensor);
    /** Creates and owns a generator sensor playing `filename` through the gasket. */
    DGCamera(unsigned int contextNumber, const std::string &filename, unsigned int gasketNumber, bool isInternal);

    QOV_RESULT enqueueShot() override;
    /** Inserts a frame as the non-constant overload does, so that every trigger has its frame. */
    QOV_RESULT enqueueSpecifiedShot(const CI_BUFFID &buffId) override;
    QOV_RESULT acquireShot(Shot &shot, bool block, bool updateControl) override;
    using Camera::acquireShot;
    /** Well depth and read noise of the sensor from the denoiser's keys. */
    virtual QOV_RESULT updateSensorInfo(const ParameterList &param);
    virtual QOV_RESULT enqueueSpecifiedShot(CI_BUFFID &buffId);

    /**
     * Fills the four curves of a raw look-up table for an exposure E within
     * [minExposure, maxExposure] (microseconds): point i is
     * (1 - (1 - (i + 1) / 16)^r) x 65536 with r = E / sqrt(min x max), kept
     * strictly increasing below the last point, which is 65535.
     */
    static void exposureCurve(QOV_UINT32 exposure, QOV_UINT32 minExposure, QOV_UINT32 maxExposure,
                              QOV_UINT16 points[16]);

protected:
    QOV_RESULT programExposure();
    /** After a successful enqueue: one frame for the trigger. */
    QOV_RESULT insertFrame();

    /** Frames inserted and not yet waited for. */
    unsigned int framesInserted = 0;
};

}  // namespace VOVA

#endif  // VOVA_DGCAMERA_H
