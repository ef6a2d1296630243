// The object an application drives to capture: a reference on the driver
// connection, one pipeline on a hardware context, the sensor feeding it and
// the control loops. A state machine enforces the order of the set-up
// steps; per frame the application enqueues a shot and acquires one.
#ifndef VOVA_CAMERA_H
#define VOVA_CAMERA_H

#include <list>
#include <ostream>

#include "ci/ci_api.h"
#include "qov_types.h"
#include "vova/Connection.h"
#include "vova/Control.h"
#include "vova/Module.h"
#include "vova/ParameterList.h"

namespace VOVA {

class Pipeline;
class Sensor;
class Shot;

class Camera {
public:
    enum State {
        CAM_ERROR = 0,  ///< final
        CAM_DISCONNECTED = 1,
        CAM_CONNECTED = 2,
        CAM_REGISTERED = 3,
        CAM_SET_UP = 4,
        CAM_PROGRAMMED = 5,
        CAM_READY = 6,
        CAM_CAPTURING = 7,
    };

    static const char *StateName(State state);

    /** No sensor and no pipeline: a derived camera completes it. */
    explicit Camera(unsigned int contextNumber);
    /** Opens and owns the sensor of that place in the sensor table. */
    Camera(unsigned int contextNumber, int sensorId, int sensorMode, int sensorFlipping);
    /** Uses a sensor it does not own, in the mode it already has. */
    Camera(unsigned int contextNumber, Sensor *pSensor);
    virtual ~Camera();
    Camera(const Camera &) = delete;
    Camera &operator=(const Camera &) = delete;

    virtual QOV_RESULT enqueueShot();
    virtual QOV_RESULT enqueueSpecifiedShot(const CI_BUFFID &buffIds);
    virtual QOV_RESULT acquireShot(Shot &shot, bool block, bool updateControl);
    QOV_RESULT acquireShot(Shot &shot, bool updateControl = true) { return acquireShot(shot, true, updateControl); }
    QOV_RESULT tryAcquireShot(Shot &shot, bool updateControl = true) { return acquireShot(shot, false, updateControl); }
    QOV_RESULT releaseShot(Shot &shot);

    QOV_RESULT loadParameters(const ParameterList &parameters);
    QOV_RESULT loadControlParameters(const ParameterList &parameters);
    QOV_RESULT saveParameters(ParameterList &parameters, ModuleBase::SaveType t = ModuleBase::SAVE_VAL) const;
    QOV_RESULT setupModules();
    QOV_RESULT setupModule(SetupID id);
    QOV_RESULT program();

    QOV_RESULT addShots(unsigned int num);
    QOV_RESULT deleteShots();
    /** num shots and num buffers of every output the output module enables. */
    QOV_RESULT allocateBufferPool(unsigned int num, std::list<QOV_UINT32> &bufferIds);
    QOV_RESULT allocateBufferPool(unsigned int num);
    QOV_RESULT allocateBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size, bool isTiled, QOV_UINT32 *pBufferId);
    QOV_RESULT allocateBuffer(CI_BUFFTYPE eBuffer, bool isTiled, QOV_UINT32 *pBufferId)
    {
        return allocateBuffer(eBuffer, 0, isTiled, pBufferId);
    }
    QOV_RESULT importBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ionFd, QOV_UINT32 ui32Size, bool isTiled,
                            QOV_UINT32 *pBufferId);
    QOV_RESULT deregisterBuffer(QOV_UINT32 uiBufferID);

    QOV_RESULT startCapture();
    QOV_RESULT stopCapture();

    QOV_RESULT setDisplayDimensions(QOV_UINT32 width, QOV_UINT32 height);
    QOV_RESULT setEncoderDimensions(QOV_UINT32 width, QOV_UINT32 height);

    unsigned int getContextNumber() const { return ctxNumber; }
    Pipeline *getPipeline() { return pipeline; }
    const Pipeline *getPipeline() const { return pipeline; }
    Sensor *getSensor() { return sensor; }
    const Sensor *getSensor() const { return sensor; }
    bool ownsSensor() const { return bOwnSensor; }
    void setOwnSensor(bool own) { bOwnSensor = own; }
    CI_CONNECTION *getConnection() { return ciConnection.getConnection(); }
    const CI_CONNECTION *getConnection() const { return ciConnection.getConnection(); }
    QOV_RESULT registerControlModule(ControlModule *module);
    ControlModule *getControlModule(ControlID id) const { return control.getControlModule(id); }
    std::ostream &printState(std::ostream &os) const;

protected:
    QOV_RESULT init(int sensorMode, int sensorFlipping);
    /** Sets up requested modules, sends the changes and triggers a shot (on the given buffers when not null). */
    QOV_RESULT enqueue(const CI_BUFFID *buffIds);
    /** Logs the error-state refusal when the camera is in CAM_ERROR. */
    bool inError(const char *function, unsigned line) const;
    bool noPipeline(const char *function, unsigned line) const;
    /** Refuses a camera whose modules are not registered yet; warns outside REGISTERED to PROGRAMMED. */
    /** Refuses a camera not programmed yet; a programmed camera whose pipeline is READY becomes CAM_READY. */
    QOV_RESULT readyForBuffers(const char *function, unsigned line);
    QOV_RESULT modulesRegistered(const char *function, unsigned line, const char *refusal, const char *warning);

    CI_Connection ciConnection;
    unsigned int ctxNumber;
    Pipeline *pipeline = nullptr;
    Sensor *sensor = nullptr;
    bool bOwnSensor = false;
    Control control;

public:
    CI_HWINFO hwInfo{};
    State state = CAM_DISCONNECTED;
    bool bUpdateASAP = false;
};

inline std::ostream &operator<<(std::ostream &os, const Camera &camera) { return camera.printState(os); }

}  // namespace VOVA

#endif  // VOVA_CAMERA_H
