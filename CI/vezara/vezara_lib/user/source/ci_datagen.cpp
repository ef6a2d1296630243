#include "ci/ci_datagen.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ci/ci_alloc_info.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "ci_kernel/ci_ioctrl.h"
#include "linkedlist.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

// A generator, in its connection's generator list.
typedef struct INT_INTDATAGEN {
    int ui32DatagenID;  // the driver's id
    QOV_BOOL8 bStarted;
    sLinkedList_T sListFrames;  // INT_DGFRAME::sCell
    sCell_T sCell;              // in the connection's generator list
    INT_CONNECTION *pConnection;
    CI_DATAGEN publicDatagen;  // the handle the caller holds
} INT_INTDATAGEN;

// A frame buffer of a generator, in the generator's frame list.
typedef struct INT_DGFRAME {
    // Authoritative copies of what the public record shows.
    void *data;
    QOV_UINT32 ui32AllocSize;
    QOV_UINT32 ui32FrameID;
    CI_DG_FRAME publicFrame;  // the handle the caller holds
    INT_INTDATAGEN *pDatagen;
    sCell_T sCell;
} INT_DGFRAME;

namespace {

constexpr QOV_UINT32 kMax16 = 0xFFFF;

INT_INTDATAGEN *privateDatagen(CI_DATAGEN *pDatagen)
{
    return reinterpret_cast<INT_INTDATAGEN *>(reinterpret_cast<char *>(pDatagen) -
                                              offsetof(INT_INTDATAGEN, publicDatagen));
}

INT_DGFRAME *privateFrame(CI_DG_FRAME *pFrame)
{
    return reinterpret_cast<INT_DGFRAME *>(reinterpret_cast<char *>(pFrame) - offsetof(INT_DGFRAME, publicFrame));
}

SYS_FILE *deviceOf(const INT_INTDATAGEN *pDatagen)
{
    return pDatagen->pConnection->fileDesc;
}

INT_DGFRAME *findFrame(INT_INTDATAGEN *pDatagen, QOV_UINT32 ui32FrameID)
{
    for (sCell_T *pCell = List_getHead(&pDatagen->sListFrames); pCell; pCell = List_getNext(pCell)) {
        INT_DGFRAME *pFrame = static_cast<INT_DGFRAME *>(pCell->object);
        if (pFrame->ui32FrameID == ui32FrameID)
            return pFrame;
    }
    return nullptr;
}

// Gives a frame the driver handed out back to it unsent.
int giveBack(INT_INTDATAGEN *pDatagen, QOV_UINT32 ui32FrameID)
{
    CI_DG_FRAMETRIG trig{};
    trig.datagenId = pDatagen->ui32DatagenID;
    trig.uiFrameId = ui32FrameID;
    trig.bTrigger = QOV_FALSE;
    return CI_DriverRequest(deviceOf(pDatagen), CI_IOCTL_IIFDG_RELEASE, &trig);
}

// Unmaps the frame, frees its driver memory and the object; the frame
// leaves the list whatever the driver answers.
QOV_RESULT QOV_deleteFrame(INT_DGFRAME *pFrame)
{
    INT_INTDATAGEN *pDatagen = pFrame->pDatagen;
    SYS_IO_MemUnmap(deviceOf(pDatagen), pFrame->data, pFrame->ui32AllocSize);

    CI_DG_FRAMEINFO info{};
    info.datagenId = pDatagen->ui32DatagenID;
    info.uiFrameId = pFrame->ui32FrameID;
    int ret = CI_DriverRequest(deviceOf(pDatagen), CI_IOCTL_IIFDG_FREE, &info);
    QOV_RESULT result = QOV_SUCCESS;
    if (ret < 0) {
        result = toQovResult(ret);
        LOG_ERROR("Failed to free device memory for Frame %d - returned %d\n", (int)pFrame->ui32FrameID, result);
    }
    List_detach(&pFrame->sCell);
    free(pFrame);
    return result;
}

// Frees every frame of the generator, those the caller or the driver still
// holds included; the first failure is returned.
QOV_RESULT deleteAllFrames(INT_INTDATAGEN *pDatagen)
{
    QOV_RESULT result = QOV_SUCCESS;
    while (sCell_T *pCell = List_getHead(&pDatagen->sListFrames)) {
        QOV_RESULT ret = QOV_deleteFrame(static_cast<INT_DGFRAME *>(pCell->object));
        if (result == QOV_SUCCESS)
            result = ret;
    }
    return result;
}

// Takes a frame from the driver (id 0: any free one) and hands out its
// public record with the minimum blanking.
CI_DG_FRAME *QOV_DatagenGetFrame(INT_INTDATAGEN *pDatagen, QOV_UINT32 ui32FrameID)
{
    CI_DG_FRAMEINFO info{};
    info.datagenId = pDatagen->ui32DatagenID;
    info.uiFrameId = ui32FrameID;
    int ret = CI_DriverRequest(deviceOf(pDatagen), CI_IOCTL_IIFDG_ACQUIRE, &info);
    if (ret < 0) {
        if (ui32FrameID != 0)
            LOG_ERROR("Failed to acquire DG Buffer %d\n", (int)ui32FrameID);
        else
            LOG_ERROR("Available list is empty\n");
        return nullptr;
    }

    INT_DGFRAME *pFrame = findFrame(pDatagen, info.uiFrameId);
    if (!pFrame) {
        LOG_ERROR("Failed to find the frame in the user-space list!\n");
        // the driver handed it over: give it back so that it is not lost
        giveBack(pDatagen, info.uiFrameId);
        return nullptr;
    }
    pFrame->publicFrame.data = pFrame->data;
    pFrame->publicFrame.ui32AllocSize = pFrame->ui32AllocSize;
    pFrame->publicFrame.ui32FrameID = pFrame->ui32FrameID;
    pFrame->publicFrame.ui32HorizontalBlanking = CI_DATAGEN_MIN_HBLANKING;
    pFrame->publicFrame.ui32VerticalBlanking = CI_DATAGEN_MIN_VBLANKING;
    return &pFrame->publicFrame;
}

// Queues a frame for sending (bTrigger true) or gives it back unsent.
QOV_RESULT QOV_DatagenTrigger(CI_DG_FRAME *pFrame, QOV_BOOL8 bTrigger)
{
    if (!pFrame) {
        LOG_ERROR("pFrame is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pDatagen = privateFrame(pFrame)->pDatagen;

    if (bTrigger) {
        if (pFrame->ui32HorizontalBlanking < CI_DATAGEN_MIN_HBLANKING ||
            pFrame->ui32VerticalBlanking < CI_DATAGEN_MIN_VBLANKING) {
            LOG_ERROR("Cannot trigger a frame with blanking H=%u V=%u (min is H=%u V=%u)\n",
                      pFrame->ui32HorizontalBlanking, pFrame->ui32VerticalBlanking, CI_DATAGEN_MIN_HBLANKING,
                      CI_DATAGEN_MIN_VBLANKING);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        // the request carries these in 16 bits
        if (pFrame->ui32HorizontalBlanking > kMax16 || pFrame->ui32VerticalBlanking > kMax16) {
            LOG_ERROR("Cannot trigger a frame with blanking H=%u V=%u (max is %u)\n",
                      pFrame->ui32HorizontalBlanking, pFrame->ui32VerticalBlanking, kMax16);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        if (pFrame->ui32Width > kMax16 || pFrame->ui32Height > kMax16) {
            LOG_ERROR("Cannot trigger a frame of %ux%u (max is %u)\n", pFrame->ui32Width, pFrame->ui32Height,
                      kMax16);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        if (pFrame->eFormat != pDatagen->publicDatagen.eFormat ||
            pFrame->ui8FormatBitdepth != pDatagen->publicDatagen.ui8FormatBitdepth) {
            LOG_ERROR("Cannot trigger a frame of a different format!\n");
            return QOV_ERROR_WRONG_STATE;
        }
        // the product in 64 bits, against the size the buffer really has
        const QOV_UINT64 needed = (QOV_UINT64)pFrame->ui32Stride * pFrame->ui32Height;
        const QOV_UINT32 allocSize = privateFrame(pFrame)->ui32AllocSize;
        if (allocSize < needed) {
            LOG_ERROR("Cannot trigger a frame that has a stride*height (%dx%d=%lld) bigger than its allocated "
                      "size %d\n",
                      (int)pFrame->ui32Stride, (int)pFrame->ui32Height, (long long)needed, (int)allocSize);
            return QOV_ERROR_INVALID_ARGUMENT;
        }
    }

    INT_DGFRAME *pListed = findFrame(pDatagen, pFrame->ui32FrameID);
    if (!pListed) {
        LOG_ERROR("Given frame %d is not in the frame list!\n", (int)pFrame->ui32FrameID);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pFrame->ui32Stride % CI_ALLOC_SYSMEM_ALIGNMENT != 0) {
        LOG_ERROR("Memory stride has to be a multiple of SYSMEM_ALIGNMENT (%d)\n", (int)CI_ALLOC_SYSMEM_ALIGNMENT);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    CI_DG_FRAMETRIG trig{};
    trig.datagenId = pDatagen->ui32DatagenID;
    trig.uiFrameId = pListed->ui32FrameID;
    trig.uiStride = pFrame->ui32Stride;
    trig.uiWidth = (QOV_UINT16)pFrame->ui32Width;
    trig.uiHeight = (QOV_UINT16)pFrame->ui32Height;
    trig.uiHorizontalBlanking = (QOV_UINT16)pFrame->ui32HorizontalBlanking;
    trig.uiVerticalBlanking = (QOV_UINT16)pFrame->ui32VerticalBlanking;
    trig.bTrigger = bTrigger ? QOV_TRUE : QOV_FALSE;
    int ret = CI_DriverRequest(deviceOf(pDatagen), CI_IOCTL_IIFDG_RELEASE, &trig);
    if (ret < 0) {
        LOG_ERROR("Failed to trigger the capture of frame %d\n", (int)pListed->ui32FrameID);
        return toQovResult(ret);
    }
    return QOV_SUCCESS;
}

}  // namespace

QOV_RESULT CI_DatagenCreate(CI_DATAGEN **ppDatagen, CI_CONNECTION *pConnection)
{
    if (!ppDatagen || !pConnection) {
        LOG_ERROR("ppDatagen or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (*ppDatagen) {
        LOG_ERROR("datagen alread allocated\n");
        return QOV_ERROR_IN_USE;
    }
    if (!(pConnection->sHWInfo.eFunctionalities & CI_INFO_SUPPORTED_IIF_DATAGEN)) {
        LOG_ERROR("Current HW does not support IIF Data Generator\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    int id = CI_DriverRequestValue(pIntConnection->fileDesc, CI_IOCTL_IIFDG_REGISTER, -1);
    if (id < 0) {
        LOG_ERROR("Failed to get a unique DG identifier from the kernel-module\n");
        return QOV_ERROR_FAILURE;
    }

    INT_INTDATAGEN *pDatagen = static_cast<INT_INTDATAGEN *>(calloc(1, sizeof(INT_INTDATAGEN)));
    if (!pDatagen) {
        LOG_ERROR("Failed to allocate INT_INTDATAGEN (%lu Bytes)\n", (unsigned long)sizeof(INT_INTDATAGEN));
        CI_DriverRequestValue(pIntConnection->fileDesc, CI_IOCTL_IIFDG_REGISTER, id);  // deregister
        return QOV_ERROR_NO_MEMORY;
    }
    pDatagen->ui32DatagenID = id;
    pDatagen->pConnection = pIntConnection;
    List_init(&pDatagen->sListFrames);
    pDatagen->sCell.object = pDatagen;
    List_pushBack(&pIntConnection->sList_datagen, &pDatagen->sCell);
    *ppDatagen = &pDatagen->publicDatagen;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DatagenStart(CI_DATAGEN *pDatagen)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    if (pIntDatagen->bStarted) {
        LOG_WARNING("DG %d Already started\n", pIntDatagen->ui32DatagenID);
        return QOV_SUCCESS;
    }
    CI_DG_PARAM param{};
    param.datagenId = pIntDatagen->ui32DatagenID;
    param.sDG.ui8IIFDGIndex = pDatagen->ui8IIFDGIndex;
    param.sDG.bPreload = pDatagen->bPreload;
    param.sDG.eFormat = pDatagen->eFormat;
    param.sDG.ui8FormatBitdepth = pDatagen->ui8FormatBitdepth;
    param.sDG.ui8Gasket = pDatagen->ui8Gasket;
    param.sDG.eBayerMosaic = pDatagen->eBayerMosaic;
    int ret = CI_DriverRequest(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_START, &param);
    if (ret < 0) {
        LOG_ERROR("Failed to start internal DG %d to replace imager %d\n", pDatagen->ui8IIFDGIndex,
                  pDatagen->ui8Gasket);
        return toQovResult(ret);
    }
    pIntDatagen->bStarted = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT CI_DatagenStop(CI_DATAGEN *pDatagen)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    if (!pIntDatagen->bStarted) {
        LOG_WARNING("DG %d Already stopped\n", pIntDatagen->ui32DatagenID);
        return QOV_SUCCESS;
    }
    int ret = CI_DriverRequestValue(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_STOP, pIntDatagen->ui32DatagenID);
    if (ret < 0) {
        LOG_ERROR("Failed to stop Datagen\n");
        return toQovResult(ret);
    }
    pIntDatagen->bStarted = QOV_FALSE;
    return QOV_SUCCESS;
}

QOV_BOOL8 CI_DatagenIsStarted(CI_DATAGEN *pDatagen)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_FALSE;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    int ret = CI_DriverRequestValue(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_ISSTARTED, pIntDatagen->ui32DatagenID);
    if (ret < 0) {
        LOG_ERROR("Failed to enquire if Datagen is started (returned %d)\n", toQovResult(ret));
        return QOV_FALSE;
    }
    pIntDatagen->bStarted = ret != 0 ? QOV_TRUE : QOV_FALSE;
    return pIntDatagen->bStarted;
}

QOV_RESULT CI_DatagenAllocateFrame(CI_DATAGEN *pDatagen, QOV_UINT32 ui32Size, QOV_UINT32 *pFrameID)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    if (pIntDatagen->bStarted) {
        LOG_WARNING("DG %d is started - cannot allocate more buffers\n", pIntDatagen->ui32DatagenID);
        return QOV_ERROR_WRONG_STATE;
    }
    INT_DGFRAME *pFrame = static_cast<INT_DGFRAME *>(calloc(1, sizeof(INT_DGFRAME)));
    if (!pFrame) {
        LOG_ERROR("Failed to allocate internal frame object of %ld Bytes\n", (long)sizeof(INT_DGFRAME));
        return QOV_ERROR_NO_MEMORY;
    }

    CI_DG_FRAMEINFO info{};
    info.datagenId = pIntDatagen->ui32DatagenID;
    info.uiSize = ui32Size;
    int ret = CI_DriverRequest(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_ALLOCATE, &info);
    if (ret < 0) {
        LOG_ERROR("Failed to allocate a DG frame of %d Bytes\n", (int)ui32Size);
        free(pFrame);
        return toQovResult(ret);
    }
    pFrame->ui32AllocSize = ui32Size;
    pFrame->ui32FrameID = info.mmapId;
    pFrame->pDatagen = pIntDatagen;
    pFrame->data = SYS_IO_MemMap2(deviceOf(pIntDatagen), ui32Size, PROT_WRITE, MAP_SHARED, info.mmapId);
    if (!pFrame->data) {
        LOG_ERROR("Failed to map a DG frame!\n");
        CI_DG_FRAMEINFO release{};  // the driver's buffer is of no use unmapped
        release.datagenId = pIntDatagen->ui32DatagenID;
        release.uiFrameId = info.mmapId;
        CI_DriverRequest(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_FREE, &release);
        free(pFrame);
        return QOV_ERROR_FAILURE;
    }
    pFrame->publicFrame.data = pFrame->data;
    pFrame->publicFrame.ui32AllocSize = ui32Size;
    pFrame->publicFrame.ui32FrameID = pFrame->ui32FrameID;
    pFrame->publicFrame.ui32HorizontalBlanking = CI_DATAGEN_MIN_HBLANKING;
    pFrame->publicFrame.ui32VerticalBlanking = CI_DATAGEN_MIN_VBLANKING;
    pFrame->sCell.object = pFrame;
    List_pushBack(&pIntDatagen->sListFrames, &pFrame->sCell);
    if (pFrameID)
        *pFrameID = pFrame->ui32FrameID;
    return QOV_SUCCESS;
}

CI_DG_FRAME *CI_DatagenGetAvailableFrame(CI_DATAGEN *pDatagen)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return nullptr;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    if (!pIntDatagen->pConnection) {
        LOG_ERROR("pDatagen does not have a connection!\n");
        return nullptr;
    }
    return QOV_DatagenGetFrame(pIntDatagen, 0);
}

CI_DG_FRAME *CI_DatagenGetFrame(CI_DATAGEN *pDatagen, QOV_UINT32 ui32FrameID)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return nullptr;
    }
    return QOV_DatagenGetFrame(privateDatagen(pDatagen), ui32FrameID);
}

QOV_RESULT CI_DatagenInsertFrame(CI_DG_FRAME *pFrame)
{
    return QOV_DatagenTrigger(pFrame, QOV_TRUE);
}

QOV_RESULT CI_DatagenReleaseFrame(CI_DG_FRAME *pFrame)
{
    return QOV_DatagenTrigger(pFrame, QOV_FALSE);
}

QOV_RESULT CI_DatagenWaitProcessedFrame(CI_DATAGEN *pDatagen, QOV_BOOL8 bBlocking)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    CI_DG_FRAMEWAIT wait{};
    wait.datagenId = pIntDatagen->ui32DatagenID;
    wait.bBlocking = bBlocking ? QOV_TRUE : QOV_FALSE;
    int ret = CI_DriverRequest(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_WAITPROCESSED, &wait);
    if (ret < 0) {
        if (bBlocking)
            LOG_ERROR("Failed to wait for processed frame\n");
        return toQovResult(ret);
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_DatagenDestroyFrame(CI_DG_FRAME *pFrame)
{
    if (!pFrame) {
        LOG_ERROR("pFrame is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_DGFRAME *pListed = findFrame(privateFrame(pFrame)->pDatagen, pFrame->ui32FrameID);
    if (!pListed) {
        LOG_ERROR("Given frame %d is not in the frame list!\n", (int)pFrame->ui32FrameID);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_deleteFrame(pListed);
    return QOV_SUCCESS;
}

QOV_RESULT CI_DatagenDestroy(CI_DATAGEN *pDatagen)
{
    if (!pDatagen) {
        LOG_ERROR("pDatagen is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_INTDATAGEN *pIntDatagen = privateDatagen(pDatagen);
    if (pIntDatagen->bStarted) {
        QOV_RESULT ret = CI_DatagenStop(pDatagen);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to stop a Datagen before destroying it\n");
            return ret;
        }
    }
    // Every frame goes, the ones the caller got and never gave back included:
    // nothing of the generator may outlive it.
    deleteAllFrames(pIntDatagen);

    if (pIntDatagen->pConnection) {
        int ret = CI_DriverRequestValue(deviceOf(pIntDatagen), CI_IOCTL_IIFDG_REGISTER, pIntDatagen->ui32DatagenID);
        if (ret < 0) {
            LOG_ERROR("Failed to deregister datagenerator!\n");
            return toQovResult(ret);
        }
        List_detach(&pIntDatagen->sCell);
    }
    free(pIntDatagen);
    return QOV_SUCCESS;
}

QOV_RESULT INT_CI_DatagenFinalise(INT_INTDATAGEN *pDatagen)
{
    if (!pDatagen)
        return QOV_ERROR_INVALID_ARGUMENT;
    QOV_RESULT result = QOV_SUCCESS;
    if (pDatagen->bStarted) {
        result = CI_DatagenStop(&pDatagen->publicDatagen);
        if (result != QOV_SUCCESS)
            LOG_ERROR("Failed to stop a Datagen before destroying it\n");
    }
    QOV_RESULT ret = deleteAllFrames(pDatagen);
    if (result == QOV_SUCCESS)
        result = ret;
    if (pDatagen->pConnection) {
        int answer = CI_DriverRequestValue(deviceOf(pDatagen), CI_IOCTL_IIFDG_REGISTER, pDatagen->ui32DatagenID);
        if (answer < 0) {
            LOG_ERROR("Failed to deregister datagenerator!\n");
            if (result == QOV_SUCCESS)
                result = toQovResult(answer);
        }
        List_detach(&pDatagen->sCell);
    }
    free(pDatagen);
    return result;
}
