// Driver connection: opening and closing the device, the hardware
// description, the line store, the gamma table and the connection-level
// queries.
#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

namespace {

// Number of capture contexts the line store describes.
constexpr QOV_UINT32 kLinestoreContexts = 2;

void freeConnection(INT_CONNECTION *pIntConnection)
{
    free(pIntConnection);
}

// Fills aSize of an allocation that has passed the context checks. The
// messages carry the name of the size computation.
QOV_RESULT CI_LinestoreComputeSizes(const CI_HWINFO &hw, QOV_UINT32 nContexts, CI_LINESTORE *pLinestore)
{
    const QOV_UINT32 maxLinestore = hw.ui32MaxLineStore;
    QOV_UINT64 sum = 0;

    for (QOV_UINT32 i = 0; i < nContexts; i++) {
        if (pLinestore->aStart[i] < 0) {
            pLinestore->aSize[i] = 0;
            continue;
        }
        const QOV_UINT32 start = static_cast<QOV_UINT32>(pLinestore->aStart[i]);
        if (start >= maxLinestore) {
            LOG_ERROR("context %d linestore start (%u) is outside of the maximum possible linestore (%u)\n",
                      static_cast<int>(i), start, maxLinestore);
            return QOV_ERROR_OUT_OF_RANGE;
        }
        QOV_UINT32 size = std::min<QOV_UINT32>(maxLinestore - start, hw.context_aMaxWidthSingle[i]);
        for (QOV_UINT32 j = 0; j < nContexts; j++) {
            // The next context's part starts where this one must end.
            if (j != i && pLinestore->aStart[j] > pLinestore->aStart[i])
                size = std::min<QOV_UINT32>(size, static_cast<QOV_UINT32>(pLinestore->aStart[j]) - start);
        }
        pLinestore->aSize[i] = size;
        sum += size;
    }

    if (sum > maxLinestore) {
        LOG_ERROR("internal error while computing the linestore sizes: sum>maximum\n");
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

// Destroys the pipelines still on the connection; a capture that cannot be
// stopped does not keep a pipeline alive, so that nothing points at the
// connection once it is freed (closing the device releases the driver side).
void destroyPipelines(INT_CONNECTION *pIntConnection)
{
    sCell_T *pCell = List_getHead(&pIntConnection->sList_pipelines);
    while (pCell) {
        sCell_T *pNext = List_getNext(pCell);
        INT_CI_PipelineDestroy(static_cast<INT_PIPELINE *>(pCell->object), QOV_TRUE);
        pCell = pNext;
    }
}

void destroyGenerators(INT_CONNECTION *pIntConnection)
{
    sCell_T *pCell = List_getHead(&pIntConnection->sList_datagen);
    while (pCell) {
        sCell_T *pNext = List_getNext(pCell);
        INT_CI_DatagenFinalise(static_cast<INT_INTDATAGEN *>(pCell->object));
        pCell = pNext;
    }
}

}  // namespace

QOV_RESULT CI_DriverInit(CI_CONNECTION **ppConnection)
{
    if (!ppConnection) {
        LOG_ERROR("ppConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    INT_CONNECTION *pIntConnection = static_cast<INT_CONNECTION *>(calloc(1, sizeof(INT_CONNECTION)));
    if (!pIntConnection) {
        LOG_ERROR("failed to create internal connection object (%lu B)\n",
                  static_cast<unsigned long>(sizeof(INT_CONNECTION)));
        return QOV_ERROR_NO_MEMORY;
    }

    QOV_RESULT ret = List_init(&pIntConnection->sList_pipelines);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to create internal pipeline list\n");
        freeConnection(pIntConnection);
        return ret;
    }
    ret = List_init(&pIntConnection->sList_datagen);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to create internal datagen list\n");
        freeConnection(pIntConnection);
        return ret;
    }

    pIntConnection->fileDesc = SYS_IO_Open(CI_DEVICE_NAME, O_RDWR, nullptr);
    if (!pIntConnection->fileDesc) {
        LOG_ERROR("Failed to initialise the device\n");
        freeConnection(pIntConnection);
        return QOV_ERROR_FAILURE;
    }

    int answer = CI_DriverRequest(pIntConnection->fileDesc, CI_IOCTL_INFO_GET, &pIntConnection->publicConnection);
    if (answer < 0) {
        LOG_ERROR("Failed to ask for driver informations (returned %d)\n", answer);
        SYS_IO_Close(pIntConnection->fileDesc);
        freeConnection(pIntConnection);
        return toQovResult(answer);
    }

    if (pIntConnection->publicConnection.sHWInfo.uiSizeOfPipeline != sizeof(CI_PIPELINE)) {
        LOG_ERROR("The kernel-side CI_PIPELINE driver is not compatible with the user-side. Are you using the "
                  "correct driver/app?\n");
        SYS_IO_Close(pIntConnection->fileDesc);
        freeConnection(pIntConnection);
        return QOV_ERROR_FAILURE;
    }

    *ppConnection = &pIntConnection->publicConnection;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverFinalise(CI_CONNECTION *pConnection)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);

    destroyPipelines(pIntConnection);
    destroyGenerators(pIntConnection);

    QOV_RESULT closed = SYS_IO_Close(pIntConnection->fileDesc);
    if (closed != 0) {
        const bool released = errno != EBADF;
        LOG_ERROR("Failed to close the device (returned %d)\n", closed);
        // The descriptor is gone all the same (and its handle with it):
        // keeping the connection would only leak it.
        if (released) {
            pIntConnection->fileDesc = nullptr;
            freeConnection(pIntConnection);
        }
        return QOV_ERROR_FAILURE;
    }
    pIntConnection->fileDesc = nullptr;
    freeConnection(pIntConnection);
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverVerifLinestore(CI_CONNECTION *pConnection, CI_LINESTORE *pLinestore)
{
    if (!pLinestore || !pConnection) {
        LOG_ERROR("pLinestore or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const CI_HWINFO &hw = pConnection->sHWInfo;
    // The record describes two contexts; a larger count is read as two.
    const QOV_UINT32 nContexts = std::min<QOV_UINT32>(hw.config_ui8NContexts, kLinestoreContexts);

    if (nContexts == 0) {
        LOG_ERROR("all context's linestore are disabled\n");
        return QOV_ERROR_FAILURE;
    }

    QOV_UINT32 nEnabled = 0;
    for (QOV_UINT32 i = 0; i < nContexts; i++) {
        if (pLinestore->aStart[i] < 0)
            LOG_INFO("context %d linestore disabled\n", static_cast<int>(i));
        else
            nEnabled++;
    }
    if (nEnabled == 0) {
        LOG_ERROR("all context's linestore are disabled\n");
        return QOV_ERROR_FAILURE;
    }

    if (nContexts == 2 && nEnabled == 2 && pLinestore->aStart[0] == pLinestore->aStart[1]) {
        LOG_ERROR("linestore for context %d and %d start at the same position\n", 0, 1);
        return QOV_ERROR_FAILURE;
    }

    QOV_RESULT ret = CI_LinestoreComputeSizes(hw, nContexts, pLinestore);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to compute linestores' size\n");
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetLinestore(CI_CONNECTION *pConnection)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    CI_LINESTORE linestore{};
    int answer = CI_DriverRequest(pIntConnection->fileDesc, CI_IOCTL_LINESTORE_GET, &linestore);
    if (answer < 0) {
        LOG_ERROR("Failed to update the linestore information\n");
        return toQovResult(answer);
    }
    pConnection->sLinestoreStatus = linestore;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverSetLinestore(CI_CONNECTION *pConnection, CI_LINESTORE *pLinestore)
{
    if (!pLinestore || !pConnection) {
        LOG_ERROR("pLinestore or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = CI_DriverVerifLinestore(pConnection, pLinestore);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Given linestore is not correct\n");
        return ret;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    int answer = CI_DriverRequest(pIntConnection->fileDesc, CI_IOCTL_LINESTORE_SET, pLinestore);
    if (answer < 0) {
        LOG_ERROR("Failed to propose a new linestore\n");
        return toQovResult(answer);
    }
    if (pLinestore != &pConnection->sLinestoreStatus)
        pConnection->sLinestoreStatus = *pLinestore;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetGammaLUT(CI_CONNECTION *pConnection)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    CI_MODULE_GMA_LUT gammaLUT{};
    int answer = CI_DriverRequest(pIntConnection->fileDesc, CI_IOCTL_GMALUT_GET, &gammaLUT);
    if (answer < 0) {
        LOG_ERROR("Failed to update the Gamma LUT information\n");
        return toQovResult(answer);
    }
    pConnection->sGammaLUT = gammaLUT;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverSetGammaLUT(CI_CONNECTION *pConnection, const CI_MODULE_GMA_LUT *pNewGammaLUT)
{
    if (!pConnection || !pNewGammaLUT) {
        LOG_ERROR("pConnection or pNewGammaLUT is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    // The driver only reads the table.
    int answer = CI_DriverRequest(pIntConnection->fileDesc, CI_IOCTL_GMALUT_SET,
                                  const_cast<CI_MODULE_GMA_LUT *>(pNewGammaLUT));
    if (answer < 0) {
        LOG_ERROR("Failed to set a new Gamma LUT\n");
        return toQovResult(answer);
    }
    if (pNewGammaLUT != &pConnection->sGammaLUT)
        pConnection->sGammaLUT = *pNewGammaLUT;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetTimestamp(CI_CONNECTION *pConnection, QOV_UINT32 *puiCurrentStamp)
{
    if (!pConnection || !puiCurrentStamp) {
        LOG_ERROR("pConnection or puiCurrentStamp is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_UINT32 stamp = 0;
    int answer = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_TIMEST_GET, &stamp);
    if (answer < 0) {
        LOG_ERROR("Failed to get the timestamp\n");
        return toQovResult(answer);
    }
    *puiCurrentStamp = stamp;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetSystemTime(CI_CONNECTION *pConnection, QOV_UINT64 *pui64SystemTime)
{
    if (!pConnection || !pui64SystemTime) {
        LOG_ERROR("pConnection or pui64SystemTime is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_UINT64 systemTime = 0;
    int answer = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_SYSTIME_GET, &systemTime);
    if (answer < 0) {
        LOG_ERROR("Failed to get the system time\n");
        return toQovResult(answer);
    }
    *pui64SystemTime = systemTime;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverGetAvailableInternalDPFBuffer(CI_CONNECTION *pConnection, QOV_UINT32 *puiAvailableDPF)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!puiAvailableDPF) {
        LOG_ERROR("puiAvailableDPF is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_UINT32 available = 0;
    int answer = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_DPFINT_GET, &available);
    if (answer < 0) {
        LOG_ERROR("Failed to get the current DPF internal buffer value\n");
        return toQovResult(answer);
    }
    *puiAvailableDPF = available;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverDebugRegRead(CI_CONNECTION *pConnection, QOV_UINT32 eBank, QOV_UINT32 ui32Offset,
                                 QOV_UINT32 *pResult)
{
    if (!pConnection || !pResult) {
        LOG_ERROR("pConnection or pResult is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_DEBUG_REG_PARAM param{};
    param.bRead = QOV_TRUE;
    param.eBank = static_cast<QOV_UINT8>(eBank);
    param.ui32Offset = ui32Offset;
    param.ui32Value = 0;
    int answer = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_DEBUG_REG, &param);
    if (answer == -ENOTTY) {
        LOG_ERROR("Kernel side does not support debug functions\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (answer < 0) {
        LOG_ERROR("Failed to read register value\n");
        return toQovResult(answer);
    }
    *pResult = param.ui32Value;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DriverDebugRegWrite(CI_CONNECTION *pConnection, QOV_UINT32 eBank, QOV_UINT32 ui32Offset,
                                  QOV_UINT32 ui32Value)
{
    if (!pConnection) {
        LOG_ERROR("pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_DEBUG_REG_PARAM param{};
    param.bRead = QOV_FALSE;
    param.eBank = static_cast<QOV_UINT8>(eBank);
    param.ui32Offset = ui32Offset;
    param.ui32Value = ui32Value;
    int answer = CI_DriverRequest(INT_CI_Connection(pConnection)->fileDesc, CI_IOCTL_DEBUG_REG, &param);
    if (answer == -ENOTTY) {
        LOG_ERROR("Kernel side does not support debug functions\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (answer < 0) {
        LOG_ERROR("Failed to write register value\n");
        return toQovResult(answer);
    }
    return QOV_SUCCESS;
}
