// The camera: construction, the state machine of the set-up steps, the
// buffer pool, start and stop, and the per-frame enqueue and acquire.
#include "vova/Camera.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

#define LOG_TAG "VOVA_CAMERA"

namespace VOVA {

#define REFUSE_IN_ERROR(code)              \
    do {                                   \
        if (inError(__func__, __LINE__))   \
            return code;                   \
    } while (0)

#define REQUIRE_PIPELINE()                 \
    do {                                   \
        if (noPipeline(__func__, __LINE__)) \
            return QOV_ERROR_FAILURE;      \
    } while (0)

const char *Camera::StateName(State s)
{
    static const char *const names[] = {"CAM_ERROR",  "CAM_DISCONNECTED", "CAM_CONNECTED", "CAM_REGISTERED",
                                        "CAM_SET_UP", "CAM_PROGRAMMED",   "CAM_READY",     "CAM_CAPTURING"};
    const int i = static_cast<int>(s);
    return (i >= 0 && i < 8) ? names[i] : "unknown";
}

bool Camera::inError(const char *function, unsigned line) const
{
    if (state != CAM_ERROR)
        return false;
    LOG_Error(function, line, LOG_TAG, "Unable to perform operation, camera is in error state.\n");
    return true;
}

bool Camera::noPipeline(const char *function, unsigned line) const
{
    if (pipeline)
        return false;
    LOG_Error(function, line, LOG_TAG, "Camera pipeline not defined (== NULL)\n");
    return true;
}

Camera::Camera(unsigned int contextNumber) : ctxNumber(contextNumber)
{
    if (!ciConnection.getConnection()) {
        LOG_ERROR("Error connecting to CI\n");
        state = CAM_ERROR;
        return;
    }
    state = CAM_CONNECTED;
    hwInfo = ciConnection.getConnection()->sHWInfo;
}

Camera::Camera(unsigned int contextNumber, int sensorId, int sensorMode, int sensorFlipping) : Camera(contextNumber)
{
    if (state == CAM_ERROR)
        return;
    sensor = new Sensor(sensorId);
    bOwnSensor = true;
    init(sensorMode, sensorFlipping);
}

Camera::Camera(unsigned int contextNumber, Sensor *pSensor) : Camera(contextNumber)
{
    if (state == CAM_ERROR)
        return;
    if (!pSensor) {
        LOG_ERROR("Given sensor is NULL\n");
        state = CAM_ERROR;
        return;
    }
    sensor = pSensor;
    bOwnSensor = false;
    init(-1, 0);
}

QOV_RESULT Camera::init(int sensorMode, int sensorFlipping)
{
    if (!sensor) {
        LOG_ERROR("Camera has no sensor!\n");
        state = CAM_ERROR;
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (sensorMode >= 0) {
        QOV_RESULT ret = sensor->configure(sensorMode, sensorFlipping);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Unable to initialize the sensor for mode %d with flipping 0x%x\n", sensorMode, sensorFlipping);
            state = CAM_ERROR;
            return ret;
        }
    }
    pipeline = new Pipeline(ciConnection.getConnection(), ctxNumber, sensor);
    return QOV_SUCCESS;
}

Camera::~Camera()
{
    if (state == CAM_CAPTURING) {
        LOG_WARNING("Camera in capture state, should be stopped before destroying.\n");
        stopCapture();
    }
    delete pipeline;
    pipeline = nullptr;
    if (bOwnSensor)
        delete sensor;
    sensor = nullptr;
    control.clearModules();
}

QOV_RESULT Camera::registerControlModule(ControlModule *module)
{
    return control.registerControlModule(module, pipeline);
}

std::ostream &Camera::printState(std::ostream &os) const
{
    os << "Camera:" << std::endl;
    os << "  state = " << StateName(state) << std::endl;
    os << "  ctx = " << ctxNumber << std::endl;
    os << "  ownSensor = " << (bOwnSensor ? 1 : 0) << std::endl;
    return control.printAllState(os);
}

/*-------------------------------------------------------------------------
 * Parameters and set-up
 *-------------------------------------------------------------------------*/

QOV_RESULT Camera::modulesRegistered(const char *function, unsigned line, const char *refusal,
                                     const char *warning)
{
    if (state == CAM_CONNECTED) {
        LOG_Error(function, line, LOG_TAG, "%s", refusal);
        state = CAM_ERROR;
        return QOV_ERROR_WRONG_STATE;
    }
    if (state < CAM_REGISTERED || state > CAM_PROGRAMMED)
        LOG_Warning(function, line, LOG_TAG, "%s", warning);
    return QOV_SUCCESS;
}

QOV_RESULT Camera::loadParameters(const ParameterList &parameters)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    QOV_RESULT ret = modulesRegistered(__func__, __LINE__, "Camera modules must be registered before loading parameters.\n",
                                       "Possible invalid camera state for registering pipeline modules\n");
    if (ret != QOV_SUCCESS)
        return ret;
    REQUIRE_PIPELINE();
    if (bOwnSensor && sensor && (ret = sensor->load(parameters)) != QOV_SUCCESS) {
        LOG_ERROR("error loading setup parameters in the sensor.\n");
        return ret;
    }
    if ((ret = pipeline->reloadAll(parameters)) != QOV_SUCCESS) {
        LOG_ERROR("error loading setup parameters in the pipeline.\n");
        return ret;
    }
    if ((ret = control.loadAll(parameters)) != QOV_SUCCESS) {
        LOG_ERROR("error loading control parameters in the pipeline\n");
        return ret;
    }
    if ((ret = pipeline->setupAll()) != QOV_SUCCESS) {
        LOG_ERROR("Setting up pipeline modules.\n");
        return ret;
    }
    if (state == CAM_REGISTERED)
        state = CAM_SET_UP;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::loadControlParameters(const ParameterList &parameters)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    QOV_RESULT ret = control.loadAll(parameters);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("error loading control parameters in the pipeline\n");
    return ret;
}

QOV_RESULT Camera::saveParameters(ParameterList &parameters, ModuleBase::SaveType t) const
{
    REQUIRE_PIPELINE();
    bool failed = false;
    if (!sensor || sensor->save(parameters, t) != QOV_SUCCESS) {
        LOG_WARNING("Saving the parameters of the sensor failed.\n");
        failed = true;
    }
    if (pipeline->saveAll(parameters, t) != QOV_SUCCESS) {
        LOG_WARNING("Saving the parameter of the modules failed.\n");
        failed = true;
    }
    if (control.saveAll(parameters, t) != QOV_SUCCESS) {
        LOG_ERROR("Saving the parameter of the controls failed.\n");
        failed = true;
    }
    return failed ? QOV_ERROR_FAILURE : QOV_SUCCESS;
}

QOV_RESULT Camera::setupModules()
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    QOV_RESULT ret = modulesRegistered(__func__, __LINE__, "Camera modules must be registered before set up.\n",
                                       "Possible invalid camera state for setting up modules.\n");
    if (ret != QOV_SUCCESS)
        return ret;
    REQUIRE_PIPELINE();
    ret = pipeline->setupAll();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("setting up modules.\n");
        return ret;
    }
    if (state == CAM_REGISTERED)
        state = CAM_SET_UP;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::setupModule(SetupID id)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (state != CAM_REGISTERED && state != CAM_SET_UP)
        LOG_WARNING("Possible invalid camera state for setting up module.\n");
    REQUIRE_PIPELINE();
    return pipeline->setupModule(id);
}

QOV_RESULT Camera::program()
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (state < CAM_SET_UP) {
        LOG_ERROR("Error programming pipeline. Camera modules must be set up before programming the pipeline.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    REQUIRE_PIPELINE();
    QOV_RESULT ret = pipeline->programPipeline(bUpdateASAP);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Unable to program pipeline\n");
        return ret;
    }
    if (state == CAM_SET_UP)
        state = CAM_PROGRAMMED;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Shots and buffers
 *-------------------------------------------------------------------------*/

QOV_RESULT Camera::addShots(unsigned int num)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (state < CAM_PROGRAMMED) {
        LOG_ERROR("Invalid camera state %d\n", state);
        state = CAM_ERROR;
        return QOV_ERROR_WRONG_STATE;
    }
    REQUIRE_PIPELINE();
    if (num == 0) {
        LOG_ERROR("Given number of Shots to add is too small: %d\n", num);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = pipeline->addShots(num);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Error adding buffer pool\n");
        state = CAM_ERROR;
    }
    return ret;
}

QOV_RESULT Camera::deleteShots()
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    REQUIRE_PIPELINE();
    QOV_RESULT ret = pipeline->deleteShots();
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to delete shots\n");
    return ret;
}

QOV_RESULT Camera::allocateBufferPool(unsigned int num)
{
    std::list<QOV_UINT32> ignored;
    return allocateBufferPool(num, ignored);
}

QOV_RESULT Camera::allocateBufferPool(unsigned int num, std::list<QOV_UINT32> &bufferIds)
{
    REFUSE_IN_ERROR(QOV_ERROR_FAILURE);
    REQUIRE_PIPELINE();
    if (state < CAM_PROGRAMMED) {
        LOG_ERROR("Invalid camera state (%d)\n", state);
        state = CAM_ERROR;
        return QOV_ERROR_FAILURE;
    }
    const ModuleOUT *out = pipeline->getOutputModule();
    if (!out) {
        LOG_ERROR("global module not found\n");
        return QOV_ERROR_FAILURE;
    }
    QOV_RESULT ret = pipeline->addShots(num);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to add shots\n");
        return ret;
    }
    struct Output {
        bool enabled;
        CI_BUFFTYPE type;
        const char *failure;
    };
    const bool dataExtraction = out->displayType == PXL_NONE && out->dataExtractionType != PXL_NONE;
    const Output outputs[] = {
        {out->encoderType != PXL_NONE, CI_TYPE_ENCODER, "Failed to allocate Encoder buffer %d/%d\n"},
        {out->displayType != PXL_NONE, CI_TYPE_DISPLAY, "Failed to allocate Display buffer %d/%d\n"},
        {dataExtraction, CI_TYPE_DATAEXT, "Failed to allocate Bayer buffer %d/%d\n"},
        {out->hdrExtractionType != PXL_NONE, CI_TYPE_HDREXT, "Failed to allocate HDRExt buffer %d/%d\n"},
        {out->hdrInsertionType != PXL_NONE, CI_TYPE_HDRINS, "Failed to allocate HDRIns buffer %d/%d\n"},
        {out->raw2DExtractionType != PXL_NONE, CI_TYPE_RAW2D,
         "Failed to allocate RAW2D Extraction buffer %d/%d\n"},
    };
    for (const Output &o : outputs) {
        if (!o.enabled)
            continue;
        if (o.type == CI_TYPE_DATAEXT && out->dataExtractionPoint == CI_INOUT_NONE) {
            LOG_ERROR("Data extraction enabled but data extraction point set to NONE\n");
            return QOV_ERROR_NOT_SUPPORTED;
        }
        for (unsigned int i = 0; i < num; i++) {
            QOV_UINT32 id = 0;
            ret = pipeline->allocateBuffer(o.type, 0, false, &id);
            if (ret != QOV_SUCCESS) {
                LOG_ERROR(o.failure, i + 1, num);
                return ret;
            }
            bufferIds.push_back(id);
        }
    }
    if (state == CAM_PROGRAMMED && pipeline->getStatus() == VOVA_Ctx_READY)
        state = CAM_READY;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::readyForBuffers(const char *function, unsigned line)
{
    if (state < CAM_PROGRAMMED) {
        LOG_Error(function, line, LOG_TAG, "invalid camera state (%d)\n", state);
        state = CAM_ERROR;
        return QOV_ERROR_WRONG_STATE;
    }
    if (noPipeline(function, line))
        return QOV_ERROR_FAILURE;
    // A pipeline that already has shots and buffers is ready to capture.
    if (state == CAM_PROGRAMMED && pipeline->getStatus() == VOVA_Ctx_READY)
        state = CAM_READY;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::allocateBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size, bool isTiled, QOV_UINT32 *pBufferId)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    QOV_RESULT ret = readyForBuffers(__func__, __LINE__);
    if (ret != QOV_SUCCESS)
        return ret;
    ret = pipeline->allocateBuffer(eBuffer, ui32Size, isTiled, pBufferId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Error while allocating buffer\n");
        state = CAM_ERROR;
    }
    return ret;
}

QOV_RESULT Camera::importBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ionFd, QOV_UINT32 ui32Size, bool isTiled,
                                QOV_UINT32 *pBufferId)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (ui32Size == 0) {
        LOG_ERROR("size is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = readyForBuffers(__func__, __LINE__);
    if (ret != QOV_SUCCESS)
        return ret;
    ret = pipeline->importBuffer(eBuffer, ionFd, ui32Size, isTiled, pBufferId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Error while importing buffer\n");
        state = CAM_ERROR;
    }
    return ret;
}

QOV_RESULT Camera::deregisterBuffer(QOV_UINT32 uiBufferID)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    REQUIRE_PIPELINE();
    QOV_RESULT ret = pipeline->deregisterBuffer(uiBufferID);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to deregister buffer %d\n", uiBufferID);
    return ret;
}

/*-------------------------------------------------------------------------
 * Capture
 *-------------------------------------------------------------------------*/

QOV_RESULT Camera::startCapture()
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (state != CAM_READY) {
        LOG_ERROR("Camera not ready to start capture.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (!pipeline) {
        LOG_ERROR("Camera pipeline object is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    QOV_RESULT ret = control.configureStatistics();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Could not configure the control modules statistics!\n");
        return ret;
    }
    if ((ret = pipeline->setupRequested()) != QOV_SUCCESS) {
        LOG_ERROR("Unable to setup modules before starting\n");
        return ret;
    }
    if ((ret = pipeline->programPipeline(bUpdateASAP)) != QOV_SUCCESS) {
        LOG_ERROR("Unable to program pipeline before starting\n");
        return ret;
    }
    if ((ret = pipeline->startCapture()) != QOV_SUCCESS) {
        LOG_ERROR("Unable to start capture\n");
        return ret;
    }
    if (bOwnSensor) {
        if (!sensor) {
            LOG_ERROR("Camera pipeline sensor object is NULL\n");
            pipeline->stopCapture();
            return QOV_ERROR_NOT_INITIALISED;
        }
        if ((ret = sensor->enable()) != QOV_SUCCESS) {
            LOG_ERROR("Unable to start sensor!\n");
            pipeline->stopCapture();
            return ret;
        }
    }
    state = CAM_CAPTURING;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::stopCapture()
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (!pipeline) {
        LOG_ERROR("Camera pipeline object is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (state != CAM_CAPTURING) {
        LOG_WARNING("Camera was not capturing.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (pipeline->stopCapture() != QOV_SUCCESS) {
        LOG_ERROR("stopping capture.\n");
        state = CAM_ERROR;
    }
    if (bOwnSensor) {
        if (!sensor) {
            LOG_ERROR("Camera sensor object is NULL\n");
            return QOV_ERROR_NOT_INITIALISED;
        }
        if (sensor->disable() != QOV_SUCCESS) {
            LOG_ERROR("Failed to stop the sensor!\n");
            state = CAM_ERROR;
            return QOV_ERROR_FAILURE;
        }
    }
    if (state == CAM_ERROR)
        return QOV_ERROR_FAILURE;
    state = CAM_READY;
    return QOV_SUCCESS;
}

QOV_RESULT Camera::enqueueShot() { return enqueue(nullptr); }

QOV_RESULT Camera::enqueueSpecifiedShot(const CI_BUFFID &buffIds) { return enqueue(&buffIds); }

QOV_RESULT Camera::enqueue(const CI_BUFFID *buffIds)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    if (state != CAM_CAPTURING) {
        LOG_ERROR("Camera must me programmed and buffers allocated before enqueuing a shot.\n");
        state = CAM_ERROR;
        return QOV_ERROR_WRONG_STATE;
    }
    REQUIRE_PIPELINE();
    QOV_RESULT ret = pipeline->setupRequested();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Error updating requested modules\n");
        state = CAM_ERROR;
        return ret;
    }
    if ((ret = pipeline->programPipeline(bUpdateASAP)) != QOV_SUCCESS) {
        LOG_ERROR("Error programming pipeline\n");
        state = CAM_ERROR;
        return ret;
    }
    ret = buffIds ? pipeline->programSpecifiedShot(*buffIds) : pipeline->programShot();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Error programming shot\n");
        state = CAM_ERROR;
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Camera::acquireShot(Shot &shot, bool block, bool updateControl)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    REQUIRE_PIPELINE();
    QOV_RESULT ret = pipeline->acquireShot(shot, block);
    if (ret != QOV_SUCCESS) {
        if (block)
            LOG_ERROR("Unable to get shot\n");
        return ret;
    }
    if (!updateControl)
        return QOV_SUCCESS;
    if (shot.bFrameError) {
        LOG_WARNING("frame is erroneous - skipping control module writing\n");
        return QOV_SUCCESS;
    }
    if (control.runControlModules(UPDATE_SHOT, shot.metadata) != QOV_SUCCESS) {
        LOG_ERROR("Unable to run control modules\n");
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Camera::releaseShot(Shot &shot)
{
    REFUSE_IN_ERROR(QOV_ERROR_WRONG_STATE);
    REQUIRE_PIPELINE();
    return pipeline->releaseShot(shot);
}

QOV_RESULT Camera::setDisplayDimensions(QOV_UINT32 width, QOV_UINT32 height)
{
    if (state == CAM_CAPTURING) {
        LOG_ERROR("Can't change display buffer size when pipeline is running");
        return QOV_ERROR_WRONG_STATE;
    }
    REQUIRE_PIPELINE();
    return pipeline->setDisplayDimensions(width, height);
}

QOV_RESULT Camera::setEncoderDimensions(QOV_UINT32 width, QOV_UINT32 height)
{
    if (state == CAM_CAPTURING) {
        LOG_ERROR("Can't change encoder buffer size when pipeline is running");
        return QOV_ERROR_WRONG_STATE;
    }
    REQUIRE_PIPELINE();
    return pipeline->setEncoderDimensions(width, height);
}

}  // namespace VOVA
