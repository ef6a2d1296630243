// Lens-shading matrix buffers of a pipeline: allocation, hand-over to the
// caller for filling, the choice of the matrix the hardware uses, and removal.
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

namespace {

INT_LSHMAT *findMatrix(INT_PIPELINE *pIntPipeline, QOV_UINT32 id)
{
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_lshmat); pCell; pCell = List_getNext(pCell)) {
        INT_LSHMAT *pMatrix = static_cast<INT_LSHMAT *>(pCell->object);
        if (static_cast<QOV_UINT32>(pMatrix->ID) == id)
            return pMatrix;
    }
    return nullptr;
}

void unmapMatrix(INT_LSHMAT *pMatrix)
{
    if (pMatrix->memory)
        SYS_IO_MemUnmap(nullptr, pMatrix->memory, pMatrix->uiSize);
    pMatrix->memory = nullptr;
}

// Gives a driver matrix back when the library cannot keep it.
void dropDriverMatrix(INT_PIPELINE *pIntPipeline, QOV_UINT32 id)
{
    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.type = CI_ALLOC_LSHMAT;
    param.uiMemMapId = id;
    CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_DEREGISTER_BUFF, &param);
}

}  // namespace

QOV_BOOL8 INT_CI_PipelineFreeMatrices(INT_PIPELINE *pIntPipeline)
{
    while (sCell_T *pCell = List_popFront(&pIntPipeline->sList_lshmat)) {
        INT_LSHMAT *pMatrix = static_cast<INT_LSHMAT *>(pCell->object);
        unmapMatrix(pMatrix);
        free(pMatrix);
    }
    pIntPipeline->pMatrix = nullptr;
    return List_isEmpty(&pIntPipeline->sList_lshmat);
}

QOV_RESULT CI_PipelineAllocateLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 ui32Size, QOV_UINT32 *pMatrixId)
{
    if (!pPipeline || ui32Size == 0) {
        LOG_ERROR("pPipeline is NULL or size is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("Pipeline is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }

    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.fd = 0;
    param.type = CI_ALLOC_LSHMAT;
    param.bTiled = QOV_FALSE;
    param.uiSize = ui32Size;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CREATE_BUFF, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to create lsh matrix in kernel space (returned %d)\n", answer);
        return toQovResult(answer);
    }

    INT_LSHMAT *pMatrix = static_cast<INT_LSHMAT *>(calloc(1, sizeof(INT_LSHMAT)));
    if (!pMatrix) {
        LOG_ERROR("Failed to allocate new internal LSH matrix\n");
        dropDriverMatrix(pIntPipeline, param.uiMemMapId);
        return QOV_ERROR_NO_MEMORY;
    }
    pMatrix->ID = static_cast<QOV_INT32>(param.uiMemMapId);
    pMatrix->uiSize = param.uiSize;
    pMatrix->eStatus = INT_BUFFER_AVAILABLE;
    pMatrix->sCell.object = pMatrix;

    pMatrix->memory = param.uiMemMapId != 0 ? SYS_IO_MemMap2(deviceOf(pIntPipeline), pMatrix->uiSize, PROT_WRITE,
                                                             MAP_SHARED, static_cast<off_t>(param.uiMemMapId))
                                            : nullptr;
    if (!pMatrix->memory) {
        LOG_ERROR("Failed to map Buffer to user-space\n");
        free(pMatrix);
        dropDriverMatrix(pIntPipeline, param.uiMemMapId);
        return QOV_ERROR_FAILURE;
    }

    QOV_RESULT ret = List_pushBack(&pIntPipeline->sList_lshmat, &pMatrix->sCell);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to add buffer to the Pipeline list!\n");
        unmapMatrix(pMatrix);
        free(pMatrix);
        dropDriverMatrix(pIntPipeline, param.uiMemMapId);
        return ret;
    }
    if (pMatrixId)
        *pMatrixId = param.uiMemMapId;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineAcquireLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 id, CI_LSHMAT *pMatrix)
{
    if (!pPipeline || !pMatrix || id == 0) {
        LOG_ERROR("pPipeline or pMatrix is NULL or id is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_LSHMAT *pIntMatrix = findMatrix(pIntPipeline, id);
    if (!pIntMatrix) {
        LOG_ERROR("Could not find LSH matrix %d in user-side\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pIntMatrix->eStatus != INT_BUFFER_AVAILABLE) {
        LOG_ERROR("LSH matrix %d not available\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }

    CI_LSH_GET_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.matrixId = id;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_GET_LSH, &param);
    if (answer == -EALREADY) {
        LOG_ERROR("LSH matrix %d is not available in kernel\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (answer < 0) {
        LOG_ERROR("LSH matrix %d not found in kernel-side\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }

    pIntMatrix->eStatus = INT_BUFFER_ACQUIRED;
    pMatrix->id = static_cast<QOV_UINT32>(pIntMatrix->ID);
    pMatrix->data = pIntMatrix->memory;
    pMatrix->ui32Size = pIntMatrix->uiSize;
    pMatrix->config = pIntMatrix->config;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineReleaseLSHMatrix(CI_PIPELINE *pPipeline, CI_LSHMAT *pMatrix)
{
    if (!pPipeline || !pMatrix || pMatrix->id == 0) {
        LOG_ERROR("pPipeline or pMatrix is NULL or id is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_LSHMAT *pIntMatrix = findMatrix(pIntPipeline, pMatrix->id);
    if (!pIntMatrix) {
        LOG_ERROR("Could not find LSH matrix %d\n", static_cast<int>(pMatrix->id));
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pIntMatrix->eStatus != INT_BUFFER_ACQUIRED) {
        LOG_ERROR("LSH matrix %d not acquired\n", static_cast<int>(pMatrix->id));
        return QOV_ERROR_NOT_AVAILABLE;
    }

    pIntMatrix->config = pMatrix->config;
    CI_LSH_SET_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.matrixId = pMatrix->id;
    param.config = pIntMatrix->config;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_SET_LSH, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to update kernel side for LSH matrix %d!\n", static_cast<int>(pMatrix->id));
        return QOV_ERROR_FAILURE;
    }
    pIntMatrix->eStatus = INT_BUFFER_AVAILABLE;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineUpdateLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 id)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_LSHMAT *pIntMatrix = nullptr;
    if (id != 0) {
        pIntMatrix = findMatrix(pIntPipeline, id);
        if (!pIntMatrix) {
            LOG_ERROR("Could not find LSH matrix %d\n", static_cast<int>(id));
            return QOV_ERROR_NOT_AVAILABLE;
        }
        if (pIntMatrix->eStatus != INT_BUFFER_AVAILABLE) {
            LOG_ERROR("LSH matrix %d is not available\n", static_cast<int>(id));
            return QOV_ERROR_NOT_AVAILABLE;
        }
        if (!pIntPipeline->pConnection) {
            LOG_ERROR("pPipeline is NULL\n");
            return QOV_ERROR_INVALID_ARGUMENT;
        }
        QOV_RESULT ret = CI_ModuleLSH_verif(&pIntMatrix->config, &pPipeline->sImagerInterface,
                                            &pIntPipeline->pConnection->publicConnection.sHWInfo);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("The lens shading values are not correct!\n");
            return ret;
        }
    }

    CI_LSH_CHANGE_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.matrixId = id;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_CHANGE_LSH, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to update kernel side for LSH matrix %d!\n", static_cast<int>(id));
        return toQovResult(answer);
    }

    if (pIntPipeline->pMatrix)
        pIntPipeline->pMatrix->eStatus = INT_BUFFER_AVAILABLE;
    if (pIntMatrix)
        pIntMatrix->eStatus = INT_BUFFER_PENDING;
    pIntPipeline->pMatrix = pIntMatrix;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineDeregisterLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 matrixId)
{
    if (!pPipeline || matrixId == 0) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_LSHMAT *pIntMatrix = findMatrix(pIntPipeline, matrixId);
    if (!pIntMatrix) {
        LOG_ERROR("LSH matrix %d not found in userspace buffer list!\n", static_cast<int>(matrixId));
        return QOV_ERROR_NOT_AVAILABLE;
    }

    List_detach(&pIntMatrix->sCell);
    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.type = CI_ALLOC_LSHMAT;
    param.uiMemMapId = matrixId;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_DEREGISTER_BUFF, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to deregister LSH matrix %d\n", static_cast<int>(matrixId));
        List_pushBack(&pIntPipeline->sList_lshmat, &pIntMatrix->sCell);
        return toQovResult(answer);
    }
    // The driver switches lens shading off when the matrix in use goes.
    if (pIntPipeline->pMatrix == pIntMatrix)
        pIntPipeline->pMatrix = nullptr;
    unmapMatrix(pIntMatrix);
    free(pIntMatrix);
    return QOV_SUCCESS;
}
