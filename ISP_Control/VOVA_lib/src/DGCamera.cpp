// The data-generator camera: frame insertion around enqueue and acquire, and
// the exposure emulated on the raw look-up curves.
#include "vova/DGCamera.h"

#include <cmath>
#include <limits>

#include "vezaracommon/userlog.h"
#include "vova/DGSensor.h"
#include "vova/ModuleDNS.h"
#include "vova/ModuleRLT.h"
#include "vova/Pipeline.h"

#define LOG_TAG "VOVA_DGCAMERA"

namespace VOVA {

bool DGCamera::supportIntDG()
{
    CI_Connection connection;
    if (!connection.getConnection()) {
        LOG_ERROR("failed to connect to driver to enquire about internal data generator\n");
        return false;
    }
    return supportIntDG(connection.getConnection());
}

bool DGCamera::supportIntDG(const CI_CONNECTION *connection)
{
    if (!connection) {
        LOG_ERROR("failed to connect to driver to enquire about internal data generator\n");
        return false;
    }
    return (connection->sHWInfo.eFunctionalities & CI_INFO_SUPPORTED_IIF_DATAGEN) != 0;
}

DGCamera::DGCamera(unsigned int contextNumber, Sensor *pSensor) : Camera(contextNumber, pSensor) {}

DGCamera::DGCamera(unsigned int contextNumber, const std::string &filename, unsigned int gasketNumber,
                   bool isInternal)
    : Camera(contextNumber)
{
    if (state == CAM_ERROR)
        return;
    sensor = new DGSensor(filename, static_cast<QOV_UINT8>(gasketNumber), isInternal);
    bOwnSensor = true;
    if (sensor->getState() == Sensor::SENSOR_ERROR) {
        LOG_ERROR("Cannot init DG sensor!\n");
        state = CAM_ERROR;
        return;
    }
    // Every acquire rewrites the raw look-up curves, which hardware of major
    // version 1 does not have: such a camera could only fail.
    if (hwInfo.rev_ui8Major < 2) {
        LOG_ERROR("The HW %d.%d has no raw look-up table to emulate the exposure of the data generator\n",
                  hwInfo.rev_ui8Major, hwInfo.rev_ui8Minor);
        state = CAM_ERROR;
        return;
    }
    if (init(0, 0) != QOV_SUCCESS)
        return;
    updateSensorInfo(ParameterList());
}

QOV_RESULT DGCamera::updateSensorInfo(const ParameterList &param)
{
    if (!sensor) {
        LOG_ERROR("sensor object is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const int wellDepth = param.getParameter(ModuleDNS::DNS_WELLDEPTH);
    sensor->uiWellDepth = wellDepth < 0 ? 0u : static_cast<unsigned int>(wellDepth);
    sensor->flReadNoise = param.getParameter(ModuleDNS::DNS_READNOISE);
    return QOV_SUCCESS;
}

QOV_RESULT DGCamera::insertFrame()
{
    if (!bOwnSensor)
        return QOV_SUCCESS;
    QOV_RESULT ret = sensor->insert();
    if (ret == QOV_SUCCESS)
        framesInserted++;
    return ret;
}

QOV_RESULT DGCamera::enqueueShot()
{
    if (!sensor) {
        LOG_ERROR("sensor object is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    LOG_INFO("enqueue shot on DG camera\n");
    QOV_RESULT ret = Camera::enqueueShot();
    if (ret != QOV_SUCCESS)
        return ret;
    return insertFrame();
}

QOV_RESULT DGCamera::enqueueSpecifiedShot(const CI_BUFFID &buffId)
{
    if (!sensor) {
        LOG_ERROR("sensor object is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    QOV_RESULT ret = Camera::enqueueSpecifiedShot(buffId);
    if (ret != QOV_SUCCESS)
        return ret;
    return insertFrame();
}

QOV_RESULT DGCamera::enqueueSpecifiedShot(CI_BUFFID &buffId)
{
    return enqueueSpecifiedShot(static_cast<const CI_BUFFID &>(buffId));
}

QOV_RESULT DGCamera::acquireShot(Shot &shot, bool block, bool updateControl)
{
    LOG_INFO("acquire shot!\n");
    QOV_RESULT ret = Camera::acquireShot(shot, block, updateControl);
    if (ret != QOV_SUCCESS || !bOwnSensor)
        return ret;
    // Only a frame that was inserted is waited for.
    if (framesInserted > 0) {
        framesInserted--;
        ret = sensor->waitProcessed();
        if (ret != QOV_SUCCESS && ret != QOV_ERROR_NOT_SUPPORTED)
            return ret;
    }
    return programExposure();
}

void DGCamera::exposureCurve(QOV_UINT32 exposure, QOV_UINT32 minExposure, QOV_UINT32 maxExposure,
                             QOV_UINT16 points[16])
{
    const double mean = std::sqrt(static_cast<double>(static_cast<QOV_UINT64>(minExposure) * maxExposure));
    double r;
    if (mean > 0.0)
        r = exposure / mean;
    else  // no range: any exposure is the brightest, none the identity
        r = exposure > 0 ? std::numeric_limits<double>::infinity() : 1.0;
    // Saturated at 65535 rather than wrapped, and strictly increasing so
    // that no level collapses onto another (or onto black).
    unsigned previous = 0;
    for (unsigned i = 0; i < 15; i++) {
        const double v = (1.0 - std::pow(1.0 - (i + 1) * 0.0625, r)) * 65536.0;
        unsigned p = v >= 65536.0 ? 65536u : static_cast<unsigned>(v);
        if (p < previous + 1)
            p = previous + 1;
        if (p > 65520u + i)
            p = 65520u + i;
        points[i] = static_cast<QOV_UINT16>(p);
        previous = p;
    }
    points[15] = 0xFFFF;
}

QOV_RESULT DGCamera::programExposure()
{
    ModuleRLT *rlt = pipeline ? static_cast<ModuleRLT *>(pipeline->getModule(STP_RLT)) : nullptr;
    if (!rlt) {
        LOG_ERROR("RLT module not found\n");
        return QOV_ERROR_FAILURE;
    }
    QOV_UINT16 curve[16];
    exposureCurve(sensor->getExposure(), sensor->getMinExposure(), sensor->getMaxExposure(), curve);
    for (auto &channel : rlt->aLUTPoints)
        for (unsigned i = 0; i < 16; i++)
            channel[i] = curve[i];
    rlt->eMode = ModuleRLT::RLT_CUBIC;
    rlt->requestUpdate();
    return QOV_SUCCESS;
}

}  // namespace VOVA
