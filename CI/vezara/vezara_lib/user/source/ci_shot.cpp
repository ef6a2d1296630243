// Buffers, the shot pool and the capture of shots: buffer creation and
// removal, triggers, acquisitions and releases, and the HDR-insertion
// buffers the caller fills.
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

namespace {

INT_BUFFER *bufferOf(sCell_T *pCell)
{
    return static_cast<INT_BUFFER *>(pCell->object);
}

INT_BUFFER *findBuffer(INT_PIPELINE *pIntPipeline, QOV_UINT32 id)
{
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_buffers); pCell; pCell = List_getNext(pCell)) {
        if (static_cast<QOV_UINT32>(bufferOf(pCell)->ID) == id)
            return bufferOf(pCell);
    }
    return nullptr;
}

// A buffer named for one output of a trigger, with the messages given when
// it is not the pipeline's, not of that output's type, or not available.
struct TriggerSlot {
    QOV_UINT32 id; // 0: the output is not captured
    CI_ALLOC_BUFF type;
    const char *notFound;     // takes the id
    const char *wrongType;    // takes the buffer's ID
    const char *notAvailable; // takes the id
};

// *ppBuffer is the slot's buffer, or null when the slot names none; the
// messages are logged under the caller's name.
QOV_RESULT findTriggerBuffer(const char *function, INT_PIPELINE *pIntPipeline, const TriggerSlot &slot,
                             INT_BUFFER **ppBuffer)
{
    *ppBuffer = nullptr;
    if (!slot.id)
        return QOV_SUCCESS;
    INT_BUFFER *pBuffer = findBuffer(pIntPipeline, slot.id);
    if (!pBuffer) {
        LOG_Error(function, __LINE__, LOG_TAG, slot.notFound, slot.id);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pBuffer->type != slot.type) {
        LOG_Error(function, __LINE__, LOG_TAG, slot.wrongType, pBuffer->ID);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pBuffer->eStatus != INT_BUFFER_AVAILABLE) {
        LOG_Error(function, __LINE__, LOG_TAG, slot.notAvailable, slot.id);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    *ppBuffer = pBuffer;
    return QOV_SUCCESS;
}

INT_SHOT *findShot(INT_PIPELINE *pIntPipeline, int id)
{
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_shots); pCell; pCell = List_getNext(pCell)) {
        INT_SHOT *pShot = static_cast<INT_SHOT *>(pCell->object);
        if (pShot->iIdentifier == id)
            return pShot;
    }
    return nullptr;
}

// The private shot of a public record, when it belongs to the pipeline.
INT_SHOT *findPublicShot(INT_PIPELINE *pIntPipeline, const CI_SHOT *pShot)
{
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_shots); pCell; pCell = List_getNext(pCell)) {
        INT_SHOT *pIntShot = static_cast<INT_SHOT *>(pCell->object);
        if (&pIntShot->publicShot == pShot)
            return pIntShot;
    }
    return nullptr;
}

void unmapBuffer(INT_BUFFER *pBuffer)
{
    if (pBuffer->memory)
        SYS_IO_MemUnmap(nullptr, pBuffer->memory, pBuffer->uiSize);
    pBuffer->memory = nullptr;
}

void unmapShot(INT_SHOT *pShot)
{
    for (int i = 0; i < CI_POOL_MAP_ID_COUNT; i++) {
        if (pShot->apMemory[i])
            SYS_IO_MemUnmap(nullptr, pShot->apMemory[i], pShot->aMemorySize[i]);
        pShot->apMemory[i] = nullptr;
    }
}

// Gives a driver buffer back when the library cannot keep it.
void dropDriverBuffer(INT_PIPELINE *pIntPipeline, const CI_ALLOC_PARAM &created)
{
    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.type = created.type;
    param.uiMemMapId = created.uiMemMapId;
    CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_DEREGISTER_BUFF, &param);
}

// The output slots of a shot: what the trigger names and the acquisition
// hands back (HDR insertion is named in the trigger only).
enum OutputSlot { SLOT_ENC, SLOT_DISP, SLOT_HDREXT, SLOT_RAW2D, SLOT_COUNT };

constexpr CI_ALLOC_BUFF kSlotType[SLOT_COUNT] = {CI_ALLOC_ENC, CI_ALLOC_DISP, CI_ALLOC_HDREXT, CI_ALLOC_RAW2D};

QOV_UINT32 answerId(const CI_SHOT &answer, int slot)
{
    switch (slot) {
    case SLOT_ENC:
        return answer.encId;
    case SLOT_DISP:
        return answer.dispId;
    case SLOT_HDREXT:
        return answer.HDRExtId;
    default:
        return answer.raw2DExtId;
    }
}

INT_BUFFER **heldBuffer(INT_SHOT *pShot, int slot)
{
    switch (slot) {
    case SLOT_ENC:
        return &pShot->pEncOutput;
    case SLOT_DISP:
        return &pShot->pDispOutput;
    case SLOT_HDREXT:
        return &pShot->pHDRExtOutput;
    default:
        return &pShot->pRaw2DExtOutput;
    }
}

// The buffer the driver names for a slot: one of the pipeline's buffers of
// that slot's type that the library queued in a trigger.
INT_BUFFER *findAnsweredBuffer(INT_PIPELINE *pIntPipeline, int slot, QOV_UINT32 id)
{
    INT_BUFFER *pBuffer = findBuffer(pIntPipeline, id);
    if (!pBuffer || pBuffer->type != kSlotType[slot] || pBuffer->eStatus != INT_BUFFER_PENDING)
        return nullptr;
    return pBuffer;
}

// Copies one output of the driver's answer into the public shot.
void fillOutput(CI_SHOT *pPublic, int slot, const CI_SHOT &answer, const INT_BUFFER *pBuffer)
{
    void *memory = pBuffer ? pBuffer->memory : nullptr;
    const QOV_UINT32 id = pBuffer ? static_cast<QOV_UINT32>(pBuffer->ID) : 0;
    switch (slot) {
    case SLOT_ENC:
        pPublic->encId = id;
        pPublic->pEncoderOutput = memory;
        if (pBuffer) {
            memcpy(pPublic->aEncYSize, answer.aEncYSize, sizeof(answer.aEncYSize));
            memcpy(pPublic->aEncCbCrSize, answer.aEncCbCrSize, sizeof(answer.aEncCbCrSize));
            memcpy(pPublic->aEncOffset, answer.aEncOffset, sizeof(answer.aEncOffset));
            pPublic->bEncTiled = answer.bEncTiled;
        }
        break;
    case SLOT_DISP:
        pPublic->dispId = id;
        pPublic->pDisplayOutput = memory;
        if (pBuffer) {
            memcpy(pPublic->aDispSize, answer.aDispSize, sizeof(answer.aDispSize));
            pPublic->ui32DispOffset = answer.ui32DispOffset;
            pPublic->bDispTiled = answer.bDispTiled;
        }
        break;
    case SLOT_HDREXT:
        pPublic->HDRExtId = id;
        pPublic->pHDRExtOutput = memory;
        if (pBuffer) {
            memcpy(pPublic->aHDRExtSize, answer.aHDRExtSize, sizeof(answer.aHDRExtSize));
            pPublic->ui32HDRExtOffset = answer.ui32HDRExtOffset;
            pPublic->bHDRExtTiled = answer.bHDRExtTiled;
        }
        break;
    default:
        pPublic->raw2DExtId = id;
        pPublic->pRaw2DExtOutput = memory;
        if (pBuffer) {
            memcpy(pPublic->aRaw2DSize, answer.aRaw2DSize, sizeof(answer.aRaw2DSize));
            pPublic->ui32Raw2DOffset = answer.ui32Raw2DOffset;
        }
        break;
    }
}

void clearOutputMapping(CI_SHOT *pPublic, int slot)
{
    switch (slot) {
    case SLOT_ENC:
        pPublic->pEncoderOutput = nullptr;
        break;
    case SLOT_DISP:
        pPublic->pDisplayOutput = nullptr;
        break;
    case SLOT_HDREXT:
        pPublic->pHDRExtOutput = nullptr;
        break;
    default:
        pPublic->pRaw2DExtOutput = nullptr;
        break;
    }
}

// Hands a shot the library cannot keep back to the driver, so that the pool
// keeps its size. The buffers the driver bound to it are free again once it
// is released: those the shot already holds, and the answer's other buffers
// still queued on the library's side. On a refused release they stay queued
// (PENDING) until the capture stops.
void giveBackShot(INT_PIPELINE *pIntPipeline, int shotId, const CI_SHOT &answer, INT_SHOT *pShot)
{
    CI_BUFFER_TRIGG param{};
    param.captureId = pIntPipeline->ui32Identifier;
    param.bBlocking = QOV_FALSE;
    param.shotId = shotId;
    int released = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_RELEASE, &param);
    if (released < 0)
        LOG_Error("QOV_PipelineAcquireBuffer", __LINE__, LOG_TAG, "Failed to release a buffer (returned %d)\n",
                  released);
    const INT_BUFFER_STATUS freed = released < 0 ? INT_BUFFER_PENDING : INT_BUFFER_AVAILABLE;

    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        if (pShot && *heldBuffer(pShot, slot)) {
            (*heldBuffer(pShot, slot))->eStatus = freed;
            *heldBuffer(pShot, slot) = nullptr;
            clearOutputMapping(&pShot->publicShot, slot);
        } else if (released >= 0) {
            INT_BUFFER *pBuffer = findAnsweredBuffer(pIntPipeline, slot, answerId(answer, slot));
            if (pBuffer)
                pBuffer->eStatus = INT_BUFFER_AVAILABLE;
        }
    }
    if (pShot)
        pShot->bAcquired = QOV_FALSE;
}

// The status word of the statistics block: bit 0 frame error, bits 16 to 23
// the pipeline's private value. Read only when the block is mapped and long
// enough; otherwise the driver's own answer is kept.
void readStatus(const INT_SHOT *pShot, const CI_SHOT &answer, CI_SHOT *pPublic)
{
    const void *stats = pShot->apMemory[CI_POOL_MAP_ID_STAT];
    if (stats && pShot->aMemorySize[CI_POOL_MAP_ID_STAT] >= CI_STATS_STATUS_OFFSET + sizeof(QOV_UINT32)) {
        QOV_UINT32 status;
        memcpy(&status, static_cast<const char *>(stats) + CI_STATS_STATUS_OFFSET, sizeof(status));
        pPublic->bFrameError = (status & CI_STATS_STATUS_FRAME_ERROR) ? QOV_TRUE : QOV_FALSE;
        pPublic->ui8PrivateValue =
            static_cast<QOV_UINT8>((status >> CI_STATS_STATUS_PRIVATE_SHIFT) & CI_STATS_STATUS_PRIVATE_MASK);
    } else {
        pPublic->bFrameError = answer.bFrameError ? QOV_TRUE : QOV_FALSE;
        pPublic->ui8PrivateValue = answer.ui8PrivateValue;
    }
}

QOV_RESULT QOV_CI_PipelineCreateBuffer(CI_PIPELINE *pPipeline, CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size,
                                       QOV_BOOL8 bTiled, QOV_UINT32 ionFd, QOV_UINT32 *pBufferId)
{
    if (!pPipeline || eBuffer == CI_TYPE_NONE) {
        LOG_ERROR("pPipeline is NULL or buffer type is NONE\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("Pipeline is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (bTiled && !pIntPipeline->bSupportTiling) {
        LOG_ERROR("Pipeline is not configured to support tiling, use bSupportTiling before registration to allow "
                  "impotation/allocation of tiled buffers\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    const CI_PIPELINE_CONFIG &config = pPipeline->config;
    bool configured;
    CI_ALLOC_BUFF allocType;
    int prot = PROT_READ;
    switch (eBuffer) {
    case CI_TYPE_ENCODER:
        configured = config.eEncType.eBuffer == TYPE_YUV;
        allocType = CI_ALLOC_ENC;
        break;
    case CI_TYPE_DISPLAY:
        configured = config.eDispType.eBuffer == TYPE_RGB || config.eDispType.eBuffer == TYPE_YUV;
        allocType = CI_ALLOC_DISP;
        break;
    case CI_TYPE_DATAEXT:
        configured = config.eDispType.eBuffer == TYPE_BAYER;
        allocType = CI_ALLOC_DISP;
        break;
    case CI_TYPE_HDREXT:
        configured = config.eHDRExtType.eBuffer == TYPE_RGB;
        allocType = CI_ALLOC_HDREXT;
        break;
    case CI_TYPE_HDRINS:
        configured = config.eHDRInsType.eBuffer == TYPE_RGB;
        allocType = CI_ALLOC_HDRINS;
        prot = PROT_WRITE;
        break;
    case CI_TYPE_RAW2D:
        configured = config.eRaw2DExtraction.eBuffer == TYPE_BAYER;
        allocType = CI_ALLOC_RAW2D;
        break;
    default:
        LOG_ERROR("unsupoprted buffer format configured!\n");
        return QOV_ERROR_FAILURE;
    }
    if (!configured) {
        LOG_ERROR("Given buffer type %d is not configured in current Pipeline setup (encoder=%d, display=%d, "
                  "hdrExt=%d, hdrIns=%d, raw2D=%d)\n",
                  static_cast<int>(eBuffer), static_cast<int>(config.eEncType.eBuffer),
                  static_cast<int>(config.eDispType.eBuffer), static_cast<int>(config.eHDRExtType.eBuffer),
                  static_cast<int>(config.eHDRInsType.eBuffer), static_cast<int>(config.eRaw2DExtraction.eBuffer));
        return QOV_ERROR_NOT_SUPPORTED;
    }

    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.fd = ionFd;
    param.type = allocType;
    param.bTiled = bTiled ? QOV_TRUE : QOV_FALSE;
    param.uiSize = ui32Size;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CREATE_BUFF, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to create buffers in kernel space (returned %d)\n", answer);
        return toQovResult(answer);
    }

    INT_BUFFER *pBuffer = static_cast<INT_BUFFER *>(calloc(1, sizeof(INT_BUFFER)));
    if (!pBuffer) {
        LOG_ERROR("Failed to allocate new internal Buffer\n");
        dropDriverBuffer(pIntPipeline, param);
        return QOV_ERROR_NO_MEMORY;
    }
    pBuffer->ID = static_cast<QOV_INT32>(param.uiMemMapId);
    pBuffer->ionFd = static_cast<QOV_INT32>(ionFd);
    pBuffer->type = allocType;
    pBuffer->uiSize = param.uiSize;
    pBuffer->bIsTiled = param.bTiled;
    pBuffer->eStatus = INT_BUFFER_AVAILABLE;
    pBuffer->bHDRReserved = QOV_FALSE;
    pBuffer->sCell.object = pBuffer;

    pBuffer->memory = param.uiMemMapId != 0 ? SYS_IO_MemMap2(deviceOf(pIntPipeline), pBuffer->uiSize, prot, MAP_SHARED,
                                                             static_cast<off_t>(param.uiMemMapId))
                                            : nullptr;
    if (!pBuffer->memory) {
        LOG_ERROR("Failed to map Buffer to user-space\n");
        free(pBuffer);
        dropDriverBuffer(pIntPipeline, param);
        return QOV_ERROR_FAILURE;
    }

    QOV_RESULT ret = List_pushBack(&pIntPipeline->sList_buffers, &pBuffer->sCell);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to add buffer to the Pipeline list!\n");
        unmapBuffer(pBuffer);
        free(pBuffer);
        dropDriverBuffer(pIntPipeline, param);
        return ret;
    }
    if (pBufferId)
        *pBufferId = param.uiMemMapId;
    return QOV_SUCCESS;
}

QOV_RESULT QOV_PipelineTriggerShoot(CI_PIPELINE *pPipeline, const CI_BUFFID *pGivenIds, QOV_BOOL8 bBlocking)
{
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    const CI_PIPELINE_CONFIG &config = pPipeline->config;

    if (!pIntPipeline->bStarted) {
        LOG_ERROR("pipeline capture is not started\n");
        return QOV_ERROR_WRONG_STATE;
    }

    CI_BUFFID ids{};
    if (pGivenIds) {
        ids = *pGivenIds;
    } else {
        if (config.eHDRInsType.eFmt != PXL_NONE) {
            LOG_ERROR("Cannot use first available buffer when using HDR Insertion - specific buffers should be "
                      "specified!\n");
            return QOV_ERROR_NOT_SUPPORTED;
        }
        QOV_RESULT ret = CI_PipelineFindFirstAvailable(pPipeline, &ids);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to find first available buffers\n");
            return ret;
        }
    }

    // Every named buffer must be one of the pipeline's, of its slot's type,
    // and available.
    const TriggerSlot slots[] = {
        {ids.encId, CI_ALLOC_ENC, "Failed to find specified encoder output buffer %#x!\n",
         "Specified buffer %d for Encoder is not an Encoder buffer\n",
         "Encoder buffer %u found but it is not available for capture\n"},
        {ids.dispId, CI_ALLOC_DISP, "Failed to find specified display output buffer %#x!\n",
         "Specified buffer %d for Display is not a Display buffer\n",
         "Display buffer %u found but it is not available for capture\n"},
        {ids.idHDRExt, CI_ALLOC_HDREXT, "Failed to find specified HDR extraction output buffer %u!\n",
         "Specified buffer %d for HDRExt is not an HDRExt buffer\n",
         "HDR Extraction buffer %u found but it is not available for capture\n"},
        {ids.idHDRIns, CI_ALLOC_HDRINS, "Failed to find specified HDRIns buffer %u!\n",
         "Specified buffer %d for HDRIns is not an HDRIns buffer\n",
         "HDRIns buffer %u found but it is not available for capture\n"},
        {ids.idRaw2D, CI_ALLOC_RAW2D, "Failed to find specified RAW2D extraction output buffer %u!\n",
         "Specified buffer %d for Raw2D is not a Raw2D buffer\n",
         "Raw2D buffer %u found but it is not available for capture\n"},
    };
    INT_BUFFER *queued[std::size(slots)] = {};
    for (std::size_t i = 0; i < std::size(slots); ++i) {
        QOV_RESULT ret = findTriggerBuffer(__func__, pIntPipeline, slots[i], &queued[i]);
        if (ret != QOV_SUCCESS)
            return ret;
    }
    INT_BUFFER *const pHDRIns = queued[3];

    CI_BUFFER_TRIGG param{};
    param.captureId = pIntPipeline->ui32Identifier;
    param.bBlocking = bBlocking;
    param.shotId = 0;
    param.bufferIds = ids;

    for (INT_BUFFER *pBuffer : queued) {
        if (pBuffer)
            pBuffer->eStatus = INT_BUFFER_PENDING;
    }
    if (pHDRIns)
        pHDRIns->bHDRReserved = QOV_FALSE;

    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_TRIGGER, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to add a frame to be captured\n");
        if (answer == -ECANCELED && !CI_PipelineIsStarted(pPipeline))
            LOG_INFO("Capture was stopped!\n");
        for (INT_BUFFER *pBuffer : queued) {
            if (pBuffer)
                pBuffer->eStatus = INT_BUFFER_AVAILABLE;
        }
        return toQovResult(answer);
    }
    return QOV_SUCCESS;
}

QOV_RESULT QOV_PipelineAcquireBuffer(CI_PIPELINE *pPipeline, CI_SHOT **ppBuffer, QOV_BOOL8 bBlocking)
{
    if (!pPipeline || !ppBuffer) {
        LOG_ERROR("pPipeline or ppBuffer is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("pPipeline is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }

    CI_BUFFER_PARAM param{};
    param.captureId = pIntPipeline->ui32Identifier;
    param.bBlocking = bBlocking;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_ACQUIRE, &param);
    if (answer < 0) {
        if (bBlocking)
            LOG_ERROR("Failed to acquire a buffer (returned %d - shot id %d)\n", answer, param.shotId);
        return toQovResult(answer);
    }
    if (param.shotId <= 0) {
        if (bBlocking)
            LOG_ERROR("Failed to acquire a buffer (returned %d - shot id %d)\n", answer, param.shotId);
        return QOV_ERROR_FAILURE;
    }
    const CI_SHOT &shotAnswer = param.shot;

    INT_SHOT *pShot = findShot(pIntPipeline, param.shotId);
    if (!pShot || pShot->bAcquired) {
        LOG_ERROR("Failed to find the acquired buffer in the user side list! param.shotId=%d\n", param.shotId);
        if (!pShot)
            giveBackShot(pIntPipeline, param.shotId, shotAnswer, nullptr);
        return QOV_ERROR_FAILURE;
    }

    pShot->bAcquired = QOV_TRUE;
    CI_SHOT *pPublic = &pShot->publicShot;
    pPublic->ui32LinkedListTS = shotAnswer.ui32LinkedListTS;
    pPublic->ui32InterruptTS = shotAnswer.ui32InterruptTS;
    pPublic->ui64LinkedListSysTime = shotAnswer.ui64LinkedListSysTime;
    pPublic->ui64InterruptSysTime = shotAnswer.ui64InterruptSysTime;

    static const char *const kSlotName[SLOT_COUNT] = {"enc", "disp", "HDRExt", "Raw2dExt"};
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        const QOV_UINT32 id = answerId(shotAnswer, slot);
        INT_BUFFER *pBuffer = nullptr;
        if (id != 0) {
            pBuffer = findAnsweredBuffer(pIntPipeline, slot, id);
            if (!pBuffer) {
                LOG_ERROR("Failed to find the acquired the specified %s buffer (id=%d) in the user side list!\n",
                          kSlotName[slot], static_cast<int>(id));
                giveBackShot(pIntPipeline, param.shotId, shotAnswer, pShot);
                return QOV_ERROR_FAILURE;
            }
            pBuffer->eStatus = INT_BUFFER_ACQUIRED;
            *heldBuffer(pShot, slot) = pBuffer;
        }
        fillOutput(pPublic, slot, shotAnswer, pBuffer);
    }

    readStatus(pShot, shotAnswer, pPublic);
    pPublic->i32MissedFrames = shotAnswer.i32MissedFrames;
    pPublic->eOutputConfig = shotAnswer.eOutputConfig;
    *ppBuffer = pPublic;
    return QOV_SUCCESS;
}

}  // namespace

void INT_CI_PipelineResetPendingBuffers(INT_PIPELINE *pIntPipeline)
{
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_buffers); pCell; pCell = List_getNext(pCell)) {
        if (bufferOf(pCell)->eStatus == INT_BUFFER_PENDING)
            bufferOf(pCell)->eStatus = INT_BUFFER_AVAILABLE;
    }
}

void INT_CI_PipelineFreeShots(INT_PIPELINE *pIntPipeline)
{
    while (sCell_T *pCell = List_popFront(&pIntPipeline->sList_shots)) {
        INT_SHOT *pShot = static_cast<INT_SHOT *>(pCell->object);
        unmapShot(pShot);
        free(pShot);
    }
}

QOV_BOOL8 INT_CI_PipelineFreeBuffers(INT_PIPELINE *pIntPipeline)
{
    while (sCell_T *pCell = List_popFront(&pIntPipeline->sList_buffers)) {
        INT_BUFFER *pBuffer = bufferOf(pCell);
        unmapBuffer(pBuffer);
        free(pBuffer);
    }
    return List_isEmpty(&pIntPipeline->sList_buffers);
}

namespace {

// Asks the driver for one shot and maps its outputs into *pShot (zeroed by
// the caller). *pCreated tells whether the driver made the shot, which it
// keeps even when a mapping is refused.
QOV_RESULT addDriverShot(INT_PIPELINE *pIntPipeline, INT_SHOT *pShot, int i, int n, bool *pCreated)
{
    *pCreated = false;
    CI_POOL_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CONFIG_ADDPOOL, &param);
    if (answer < 0) {
        LOG_Error("CI_PipelineAddPool", __LINE__, LOG_TAG,
                  "Failed to add buffer %d/%d to the configuration (returned %d)\n", i, n, answer);
        return toQovResult(answer);
    }
    *pCreated = true;

    // The driver's pointer fields mean nothing here: every mapping is ours.
    pShot->publicShot = param.sample;
    CI_SHOT &shot = pShot->publicShot;
    pShot->iIdentifier = param.iShotId;
    shot.pEncoderOutput = nullptr;
    shot.pDisplayOutput = nullptr;
    shot.pHDRExtOutput = nullptr;
    shot.pRaw2DExtOutput = nullptr;

    const QOV_UINT32 sizes[CI_POOL_MAP_ID_COUNT] = {shot.statsSize, shot.uiDPFSize, shot.uiENSSize, shot.loadSize};
    static const char *const kMapFailure[CI_POOL_MAP_ID_COUNT] = {
        "Failed to map the statistics to user-space %d/%d\n",
        "Failed to map the DPF output to user-space %d/%d\n",
        "Failed to map the ENS output to user-space %d/%d\n",
        "Failed to map the load structure to user-space %d/%d\n",
    };
    for (int m = 0; m < CI_POOL_MAP_ID_COUNT; m++) {
        if (param.aMemMapIds[m] == 0)
            continue;
        pShot->apMemory[m] = SYS_IO_MemMap2(deviceOf(pIntPipeline), sizes[m], PROT_READ, MAP_SHARED,
                                            static_cast<off_t>(param.aMemMapIds[m]));
        if (!pShot->apMemory[m]) {
            LOG_Error("CI_PipelineAddPool", __LINE__, LOG_TAG, kMapFailure[m], i, n);
            unmapShot(pShot);
            return QOV_ERROR_FAILURE;
        }
        pShot->aMemorySize[m] = sizes[m];
    }
    shot.pStatistics = pShot->apMemory[CI_POOL_MAP_ID_STAT];
    shot.pDefectPixelMap = pShot->apMemory[CI_POOL_MAP_ID_DPF];
    shot.pENSOutput = pShot->apMemory[CI_POOL_MAP_ID_ENS];
    shot.pLoadStruct = pShot->apMemory[CI_POOL_MAP_ID_LOAD];
    return QOV_SUCCESS;
}

// The driver holds a shot the library could not map, and no request removes
// a single shot: every shot leaves the driver and the shots of the library's
// list are added again in place (new ids and mappings), so that library and
// driver agree on the pool. None is acquired (the caller would hold stale
// mappings); triggered ones are dropped with their buffers freed. When the
// rebuild fails too, both are left without shots.
void rollBackPool(INT_PIPELINE *pIntPipeline)
{
    CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CONFIG_DELPOOL, pIntPipeline->ui32Identifier);
    INT_CI_PipelineResetPendingBuffers(pIntPipeline);

    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_shots); pCell; pCell = List_getNext(pCell)) {
        INT_SHOT *pShot = static_cast<INT_SHOT *>(pCell->object);
        unmapShot(pShot);
        INT_SHOT fresh{};
        bool created = false;
        if (addDriverShot(pIntPipeline, &fresh, 0, 1, &created) != QOV_SUCCESS) {
            LOG_Error("CI_PipelineAddPool", __LINE__, LOG_TAG, "Failed to restore the shots: the pool is empty\n");
            INT_CI_PipelineFreeShots(pIntPipeline);
            CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CONFIG_DELPOOL, pIntPipeline->ui32Identifier);
            return;
        }
        pShot->iIdentifier = fresh.iIdentifier;
        std::memcpy(pShot->apMemory, fresh.apMemory, sizeof(pShot->apMemory));
        std::memcpy(pShot->aMemorySize, fresh.aMemorySize, sizeof(pShot->aMemorySize));
        pShot->publicShot.pStatistics = fresh.publicShot.pStatistics;
        pShot->publicShot.pDefectPixelMap = fresh.publicShot.pDefectPixelMap;
        pShot->publicShot.pENSOutput = fresh.publicShot.pENSOutput;
        pShot->publicShot.pLoadStruct = fresh.publicShot.pLoadStruct;
    }
}

}  // namespace

QOV_RESULT CI_PipelineAddPool(CI_PIPELINE *pPipeline, QOV_UINT32 ui32NBuffers)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (ui32NBuffers == 0) {
        LOG_WARNING("no buffer to add...\n");
        return QOV_SUCCESS;
    }
    // A failed addition rebuilds the pool, which an acquired shot's record
    // and mappings must not be pulled from under.
    if (CI_PipelineHasAcquired(pPipeline)) {
        LOG_ERROR("Cannot add shots while one is acquired - release it beforehand\n");
        return QOV_ERROR_WRONG_STATE;
    }

    // Counted unsigned: a count above INT_MAX must not read as "nothing to add".
    const int n = static_cast<int>(ui32NBuffers);
    for (QOV_UINT32 shotIndex = 0; shotIndex < ui32NBuffers; shotIndex++) {
        const int i = static_cast<int>(shotIndex);
        INT_SHOT *pShot = static_cast<INT_SHOT *>(calloc(1, sizeof(INT_SHOT)));
        if (!pShot) {
            LOG_ERROR("Failed to allocate one of new buffer (%luB) %d/%d\n",
                      static_cast<unsigned long>(sizeof(INT_SHOT)), i, n);
            return QOV_ERROR_NO_MEMORY;
        }
        bool created = false;
        QOV_RESULT ret = addDriverShot(pIntPipeline, pShot, i, n, &created);
        if (ret != QOV_SUCCESS) {
            free(pShot);
            // A refused request leaves the driver's pool as the library's;
            // a shot the driver made but the library could not map does not.
            if (created)
                rollBackPool(pIntPipeline);
            return ret;
        }
        pShot->sCell.object = pShot;
        List_pushBack(&pIntPipeline->sList_shots, &pShot->sCell);
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineDeleteShots(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("pipeline is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    // An acquired shot is still in the caller's hands: its record and
    // mappings must outlive it.
    if (CI_PipelineHasAcquired(pPipeline)) {
        LOG_ERROR("Cannot delete the shots while one is acquired - release it beforehand\n");
        return QOV_ERROR_WRONG_STATE;
    }

    INT_CI_PipelineFreeShots(pIntPipeline);

    int answer = CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CONFIG_DELPOOL, pIntPipeline->ui32Identifier);
    if (answer < 0) {
        QOV_RESULT ret = toQovResult(answer);
        LOG_ERROR("Failed to remove shots (ret=%d)\n", ret);
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineAllocateBuffer(CI_PIPELINE *pPipeline, CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size,
                                     QOV_BOOL8 bTiled, QOV_UINT32 *pBufferId)
{
    return QOV_CI_PipelineCreateBuffer(pPipeline, eBuffer, ui32Size, bTiled, 0, pBufferId);
}

QOV_RESULT CI_PipelineImportBuffer(CI_PIPELINE *pPipeline, CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size,
                                   QOV_BOOL8 bTiled, QOV_UINT32 ionFd, QOV_UINT32 *pBufferId)
{
    if (ionFd == 0) {
        LOG_ERROR("Given buffer ID %d is invalid!\n", static_cast<int>(ionFd));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_CI_PipelineCreateBuffer(pPipeline, eBuffer, ui32Size, bTiled, ionFd, pBufferId);
}

QOV_RESULT CI_PipelineDeregisterBuffer(CI_PIPELINE *pPipeline, QOV_UINT32 bufferId)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_BUFFER *pBuffer = findBuffer(pIntPipeline, bufferId);
    if (!pBuffer) {
        LOG_ERROR("Buffer %d not found in userspace buffer list!\n", static_cast<int>(bufferId));
        return QOV_ERROR_WRONG_STATE;
    }
    if (pBuffer->eStatus != INT_BUFFER_AVAILABLE) {
        LOG_ERROR("Cannot deregister a buffer that is acquired or pending for capture - release it beforehand\n");
        return QOV_ERROR_WRONG_STATE;
    }

    List_detach(&pBuffer->sCell);
    CI_ALLOC_PARAM param{};
    param.configId = static_cast<QOV_UINT32>(pIntPipeline->ui32Identifier);
    param.type = pBuffer->type;
    param.uiMemMapId = static_cast<QOV_UINT32>(pBuffer->ID);
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_DEREGISTER_BUFF, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to deregister buffer %d\n", pBuffer->ID);
        List_pushBack(&pIntPipeline->sList_buffers, &pBuffer->sCell);
        return toQovResult(answer);
    }
    unmapBuffer(pBuffer);
    free(pBuffer);
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineFindBufferFromImportFd(const CI_PIPELINE *pPipeline, QOV_UINT32 ionFd, QOV_UINT32 *pBufferId)
{
    if (!pPipeline || !pBufferId || ionFd == 0) {
        LOG_ERROR("pPipeline or pBufferId is NULL or ionFd is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = const_cast<INT_PIPELINE *>(INT_CI_Pipeline(pPipeline));
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_buffers); pCell; pCell = List_getNext(pCell)) {
        if (static_cast<QOV_UINT32>(bufferOf(pCell)->ionFd) == ionFd) {
            *pBufferId = static_cast<QOV_UINT32>(bufferOf(pCell)->ID);
            return QOV_SUCCESS;
        }
    }
    LOG_ERROR("Failed to find provided ionFd=%d", static_cast<int>(ionFd));
    return QOV_ERROR_FAILURE;
}

QOV_RESULT CI_PipelineGetBufferInfo(const CI_PIPELINE *pPipeline, QOV_UINT32 buffId, CI_BUFFER_INFO *pInfo)
{
    if (!pPipeline || !pInfo || buffId == 0) {
        LOG_ERROR("pPipeline or pBufferId is NULL or buffId is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = const_cast<INT_PIPELINE *>(INT_CI_Pipeline(pPipeline));
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const INT_BUFFER *pBuffer = findBuffer(pIntPipeline, buffId);
    if (!pBuffer) {
        LOG_ERROR("Failed to find provided buffId=%d", static_cast<int>(buffId));
        return QOV_ERROR_FAILURE;
    }
    *pInfo = CI_BUFFER_INFO{};
    pInfo->id = static_cast<QOV_UINT32>(pBuffer->ID);
    pInfo->ionFd = static_cast<QOV_UINT32>(pBuffer->ionFd);
    pInfo->ui32Size = pBuffer->uiSize;
    pInfo->type = pBuffer->type;
    pInfo->bAvailable = pBuffer->eStatus == INT_BUFFER_AVAILABLE ? QOV_TRUE : QOV_FALSE;
    pInfo->bIsTiled = pBuffer->bIsTiled;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineFindFirstAvailable(CI_PIPELINE *pPipeline, CI_BUFFID *pIds)
{
    if (!pPipeline || !pIds) {
        LOG_ERROR("pPipeline or pIds is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    const CI_PIPELINE_CONFIG &config = pPipeline->config;
    *pIds = CI_BUFFID{};

    struct Output {
        pxlFormat format;
        CI_ALLOC_BUFF type;
        QOV_UINT32 *pId;
        const char *failure;
    };
    const Output outputs[] = {
        {config.eEncType.eFmt, CI_ALLOC_ENC, &pIds->encId, "Failed to find an available encoder output buffer!\n"},
        {config.eDispType.eFmt, CI_ALLOC_DISP, &pIds->dispId, "Failed to find an available display output buffer!\n"},
        {config.eHDRExtType.eFmt, CI_ALLOC_HDREXT, &pIds->idHDRExt,
         "Failed to find an available HDR Extraction output buffer!\n"},
        {config.eRaw2DExtraction.eFmt, CI_ALLOC_RAW2D, &pIds->idRaw2D,
         "Failed to find an available Raw2D Extraction output buffer!\n"},
    };
    for (const Output &output : outputs) {
        if (output.format == PXL_NONE)
            continue;
        for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_buffers); pCell; pCell = List_getNext(pCell)) {
            const INT_BUFFER *pBuffer = bufferOf(pCell);
            if (pBuffer->type == output.type && pBuffer->eStatus == INT_BUFFER_AVAILABLE) {
                *output.pId = static_cast<QOV_UINT32>(pBuffer->ID);
                break;
            }
        }
        if (*output.pId == 0) {
            LOG_Error(__func__, __LINE__, LOG_TAG, "%s", output.failure);
            return QOV_ERROR_NOT_AVAILABLE;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineTriggerShoot(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_PipelineTriggerShoot(pPipeline, nullptr, QOV_TRUE);
}

QOV_RESULT CI_PipelineTriggerShootNB(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_PipelineTriggerShoot(pPipeline, nullptr, QOV_FALSE);
}

QOV_RESULT CI_PipelineTriggerSpecifiedShoot(CI_PIPELINE *pPipeline, const CI_BUFFID *pBuffId)
{
    if (!pPipeline || !pBuffId) {
        LOG_ERROR("pPipeline or pBuffId is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_PipelineTriggerShoot(pPipeline, pBuffId, QOV_TRUE);
}

QOV_RESULT CI_PipelineTriggerSpecifiedShootNB(CI_PIPELINE *pPipeline, const CI_BUFFID *pBuffId)
{
    if (!pPipeline || !pBuffId) {
        LOG_ERROR("pPipeline or pBuffId is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return QOV_PipelineTriggerShoot(pPipeline, pBuffId, QOV_FALSE);
}

QOV_RESULT CI_PipelineAcquireShot(CI_PIPELINE *pPipeline, CI_SHOT **ppBuffer)
{
    return QOV_PipelineAcquireBuffer(pPipeline, ppBuffer, QOV_TRUE);
}

QOV_RESULT CI_PipelineAcquireShotNB(CI_PIPELINE *pPipeline, CI_SHOT **ppBuffer)
{
    return QOV_PipelineAcquireBuffer(pPipeline, ppBuffer, QOV_FALSE);
}

QOV_RESULT CI_PipelineReleaseShot(CI_PIPELINE *pPipeline, CI_SHOT *pShot)
{
    if (!pPipeline || !pShot) {
        LOG_ERROR("pPipeline or pBuffer is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_SHOT *pIntShot = isRegistered(pIntPipeline) ? findPublicShot(pIntPipeline, pShot) : nullptr;
    if (!pIntShot || !pIntShot->bAcquired) {
        LOG_ERROR("pPipeline is not registered or buffer was not acquired\n");
        return QOV_ERROR_NOT_INITIALISED;
    }

    CI_BUFFER_TRIGG param{};
    param.captureId = pIntPipeline->ui32Identifier;
    param.bBlocking = QOV_FALSE;
    param.shotId = pIntShot->iIdentifier;
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_RELEASE, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to release a buffer (returned %d)\n", answer);
        return toQovResult(answer);
    }

    pIntShot->bAcquired = QOV_FALSE;
    for (int slot = 0; slot < SLOT_COUNT; slot++) {
        INT_BUFFER **ppHeld = heldBuffer(pIntShot, slot);
        if (*ppHeld) {
            (*ppHeld)->eStatus = INT_BUFFER_AVAILABLE;
            *ppHeld = nullptr;
            clearOutputMapping(&pIntShot->publicShot, slot);
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineExtractConfig(const CI_SHOT *pShot, CI_PIPELINE_STATS *pConfig)
{
    if (!pShot || !pConfig) {
        LOG_ERROR("pShot or pConfig is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const INT_SHOT *pIntShot = INT_CI_Shot(pShot);
    if (!pIntShot->bAcquired) {
        LOG_ERROR("pShot is not acquired!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    *pConfig = CI_PIPELINE_STATS{};
    // The configuration is read back from the shot's own copy of the load
    // structure, which the driver took when the shot was triggered.
    if (!pIntShot->apMemory[CI_POOL_MAP_ID_LOAD] || pShot->pLoadStruct != pIntShot->apMemory[CI_POOL_MAP_ID_LOAD] ||
        pIntShot->aMemorySize[CI_POOL_MAP_ID_LOAD] < INT_CI_SizeLS_HW2()) {
        LOG_ERROR("The shot has no load structure to read the statistics configuration from\n");
        return QOV_ERROR_NOT_AVAILABLE;
    }
    return INT_CI_Revert_HW2(pShot, pConfig);
}

QOV_RESULT CI_PipelineAcquireHDRBuffer(CI_PIPELINE *pPipeline, CI_BUFFER *pFrame, QOV_UINT32 id)
{
    if (!pPipeline || !pFrame) {
        LOG_ERROR("pPipeline or pFrame is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    INT_BUFFER *pBuffer = nullptr;
    if (id == 0) {
        for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_buffers); pCell; pCell = List_getNext(pCell)) {
            INT_BUFFER *pCandidate = bufferOf(pCell);
            if (pCandidate->type == CI_ALLOC_HDRINS && pCandidate->eStatus == INT_BUFFER_AVAILABLE &&
                !pCandidate->bHDRReserved) {
                pBuffer = pCandidate;
                break;
            }
        }
    } else {
        pBuffer = findBuffer(pIntPipeline, id);
    }
    if (!pBuffer) {
        LOG_ERROR("Could not find Buffer (id=%d)\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pBuffer->type != CI_ALLOC_HDRINS) {
        LOG_ERROR("Buffer %d is not of HDR insertion type!\n", pBuffer->ID);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pBuffer->bHDRReserved || pBuffer->eStatus != INT_BUFFER_AVAILABLE) {
        LOG_ERROR("HDRIns Buffer %d is already reserved or not available!\n", pBuffer->ID);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    pBuffer->bHDRReserved = QOV_TRUE;
    pFrame->id = static_cast<QOV_UINT32>(pBuffer->ID);
    pFrame->data = pBuffer->memory;
    pFrame->ui32Size = pBuffer->uiSize;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineReleaseHDRBuffer(CI_PIPELINE *pPipeline, QOV_UINT32 id)
{
    if (!pPipeline || id == 0) {
        LOG_ERROR("pPipeline is NULL or id is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_BUFFER *pBuffer = findBuffer(INT_CI_Pipeline(pPipeline), id);
    if (!pBuffer) {
        LOG_ERROR("Could not find Buffer (id=%d)\n", static_cast<int>(id));
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (pBuffer->type != CI_ALLOC_HDRINS) {
        LOG_ERROR("Buffer %d is not of HDR insertion type!\n", pBuffer->ID);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    if (!pBuffer->bHDRReserved || pBuffer->eStatus != INT_BUFFER_AVAILABLE) {
        LOG_ERROR("HDRIns Buffer %d is not reserved or not available!\n", pBuffer->ID);
        return QOV_ERROR_NOT_AVAILABLE;
    }
    pBuffer->bHDRReserved = QOV_FALSE;
    return QOV_SUCCESS;
}
