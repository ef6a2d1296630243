#include "ci/ci_gasket.h"

#include <cstring>

#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "ci_kernel/ci_ioctrl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

QOV_RESULT CI_GasketInit(CI_GASKET *pGasket)
{
    if (!pGasket) {
        LOG_ERROR("pGasket is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    memset(pGasket, 0, sizeof(*pGasket));
    return QOV_SUCCESS;
}

QOV_RESULT CI_GasketAcquire(CI_GASKET *pGasket, CI_CONNECTION *pConnection)
{
    if (!pGasket || !pConnection) {
        LOG_ERROR("pGasket or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_GASKET request{};
    request.uiGasket = pGasket->uiGasket;
    request.bParallel = pGasket->bParallel;
    request.uiWidth = pGasket->uiWidth;
    request.uiHeight = pGasket->uiHeight;
    request.bVSync = pGasket->bVSync;
    request.bHSync = pGasket->bHSync;
    request.ui8ParallelBitdepth = pGasket->ui8ParallelBitdepth;
    int ret = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_GASKET_ACQUIRE, &request);
    if (ret < 0) {
        LOG_ERROR("Failed to acquire the gasket\n");
        return toQovResult(ret);
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_GasketRelease(CI_GASKET *pGasket, CI_CONNECTION *pConnection)
{
    if (!pGasket || !pConnection) {
        LOG_ERROR("pGasket or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    int ret = CI_DriverRequestValue(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_GASKET_RELEASE,
                                    pGasket->uiGasket);
    if (ret < 0) {
        LOG_ERROR("Failed to release the gasket\n");
        return toQovResult(ret);
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_GasketGetInfo(CI_GASKET_INFO *pGasketInfo, QOV_UINT8 uiGasket, CI_CONNECTION *pConnection)
{
    if (!pGasketInfo || !pConnection) {
        LOG_ERROR("pGasket or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_GASKET_PARAM param{};
    param.uiGasket = uiGasket;
    int ret = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_GASKET_GETINFO, &param);
    if (ret < 0) {
        LOG_ERROR("Failed to get gasket's information\n");
        return toQovResult(ret);
    }
    memcpy(pGasketInfo, &param.sGasketInfo, sizeof(CI_GASKET_INFO));
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetRTMInfo(CI_CONNECTION *pConnection, CI_RTM_INFO *pRTM)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pRTM) {
        LOG_ERROR("pRTM is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    int ret = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_RTM_GET, pRTM);
    if (ret < 0) {
        LOG_ERROR("Failed to get the RTM values\n");
        return toQovResult(ret);
    }
    return QOV_SUCCESS;
}
