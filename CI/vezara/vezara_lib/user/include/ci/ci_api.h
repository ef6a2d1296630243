// Operations of the capture-interface library: the driver connection, pipeline
// contexts, buffers, shots and their pool, and lens-shading matrix buffers.
//
// Every operation returns a QOV_RESULT unless stated and logs its failures
// with tag "CI_API". Gaskets, the real-time monitor, the internal data
// generator and the frame converter are declared in their own headers
// (ci/ci_gasket.h, ci/ci_datagen.h, ci/ci_converter.h) and the buffer sizes
// in ci/ci_alloc_info.h.
#ifndef CI_API_H
#define CI_API_H

#include "ci/ci_api_structs.h"
#include "ci/ci_modules_structs.h"
#include "qov_types.h"

/*-------------------------------------------------------------------------
 * Driver connection
 *-------------------------------------------------------------------------*/

// Opens a connection to the ISP driver; *ppConnection receives its public record.
QOV_RESULT CI_DriverInit(CI_CONNECTION **ppConnection);
// Destroys every pipeline and data generator of the connection, closes the
// device and frees the connection.
QOV_RESULT CI_DriverFinalise(CI_CONNECTION *pConnection);

// Checks a proposed line-store allocation and fills its aSize.
QOV_RESULT CI_DriverVerifLinestore(CI_CONNECTION *pConnection, CI_LINESTORE *pLinestore);
// Refreshes sLinestoreStatus from the driver.
QOV_RESULT CI_DriverGetLinestore(CI_CONNECTION *pConnection);
// Verifies a proposed allocation, sends it and on success keeps it in sLinestoreStatus.
QOV_RESULT CI_DriverSetLinestore(CI_CONNECTION *pConnection, CI_LINESTORE *pLinestore);

// Refreshes sGammaLUT from the driver.
QOV_RESULT CI_DriverGetGammaLUT(CI_CONNECTION *pConnection);
// Sends a gamma table and on success keeps it in sGammaLUT.
QOV_RESULT CI_DriverSetGammaLUT(CI_CONNECTION *pConnection, const CI_MODULE_GMA_LUT *pNewGammaLUT);

QOV_RESULT CI_DriverGetTimestamp(CI_CONNECTION *pConnection, QOV_UINT32 *puiCurrentStamp);
QOV_RESULT CI_DriverGetSystemTime(CI_CONNECTION *pConnection, QOV_UINT64 *pui64SystemTime);
QOV_RESULT CI_DriverGetAvailableInternalDPFBuffer(CI_CONNECTION *pConnection, QOV_UINT32 *puiAvailableDPF);

// Raw register access for debugging (the bank is sent as 8 bits).
QOV_RESULT CI_DriverDebugRegRead(CI_CONNECTION *pConnection, QOV_UINT32 eBank, QOV_UINT32 ui32Offset,
                                 QOV_UINT32 *pResult);
QOV_RESULT CI_DriverDebugRegWrite(CI_CONNECTION *pConnection, QOV_UINT32 eBank, QOV_UINT32 ui32Offset,
                                  QOV_UINT32 ui32Value);

/*-------------------------------------------------------------------------
 * Pipeline contexts
 *-------------------------------------------------------------------------*/

// Creates a pipeline on a connection; *ppPipeline must be null on entry.
QOV_RESULT CI_PipelineCreate(CI_PIPELINE **ppPipeline, CI_CONNECTION *pConnection);
QOV_RESULT CI_PipelineDestroy(CI_PIPELINE *pPipeline);

// Checks the configuration against the hardware.
QOV_RESULT CI_PipelineVerify(CI_PIPELINE *pPipeline);
// Verifies, registers with the driver and loads the whole configuration once.
QOV_RESULT CI_PipelineRegister(CI_PIPELINE *pPipeline);
// Sends the configuration with the groups of eUpdateMask (CI_MODULE_UPDATE
// bits). On failure *peFailure (when given) receives the groups that failed.
QOV_RESULT CI_PipelineUpdate(CI_PIPELINE *pPipeline, int eUpdateMask, int *peFailure);
// As CI_PipelineUpdate, asking the driver to apply it as soon as possible.
QOV_RESULT CI_PipelineUpdateASAP(CI_PIPELINE *pPipeline, int eUpdateMask, int *peFailure);

// Places this pipeline's context in the line store.
QOV_RESULT CI_PipelineComputeLinestore(CI_PIPELINE *pPipeline);

QOV_RESULT CI_PipelineStartCapture(CI_PIPELINE *pPipeline);
QOV_RESULT CI_PipelineStopCapture(CI_PIPELINE *pPipeline);

// Boolean queries of the driver answer the non-zero result code of a failed
// query, which callers take as true.
QOV_BOOL8 CI_PipelineIsStarted(CI_PIPELINE *pPipeline);
QOV_BOOL8 CI_PipelineHasPending(const CI_PIPELINE *pPipeline);
QOV_INT32 CI_PipelineHasWaiting(const CI_PIPELINE *pPipeline);
QOV_BOOL8 CI_PipelineHasAvailableShots(const CI_PIPELINE *pPipeline);
QOV_BOOL8 CI_PipelineHasAvailableBuffers(const CI_PIPELINE *pPipeline);
QOV_BOOL8 CI_PipelineHasAvailable(const CI_PIPELINE *pPipeline);
// Numbers of output buffers and of lens-shading matrices of the pipeline (-1 when unregistered).
QOV_INT32 CI_PipelineHasBuffers(const CI_PIPELINE *pPipeline);
QOV_INT32 CI_PipelineHasLSHBuffers(const CI_PIPELINE *pPipeline);
// True when a shot of the pipeline is acquired and not released.
QOV_BOOL8 CI_PipelineHasAcquired(const CI_PIPELINE *pPipeline);

/*-------------------------------------------------------------------------
 * Buffers, pool and shots
 *-------------------------------------------------------------------------*/

// Adds ui32NBuffers shots to the pipeline's pool.
QOV_RESULT CI_PipelineAddPool(CI_PIPELINE *pPipeline, QOV_UINT32 ui32NBuffers);
// Removes every shot of the pool.
QOV_RESULT CI_PipelineDeleteShots(CI_PIPELINE *pPipeline);

// Output buffers: allocated by the driver, or imported from a dma-buf descriptor.
QOV_RESULT CI_PipelineAllocateBuffer(CI_PIPELINE *pPipeline, CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size,
                                     QOV_BOOL8 bTiled, QOV_UINT32 *pBufferId);
QOV_RESULT CI_PipelineImportBuffer(CI_PIPELINE *pPipeline, CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size,
                                   QOV_BOOL8 bTiled, QOV_UINT32 ionFd, QOV_UINT32 *pBufferId);
// Removes an available buffer.
QOV_RESULT CI_PipelineDeregisterBuffer(CI_PIPELINE *pPipeline, QOV_UINT32 bufferId);

QOV_RESULT CI_PipelineFindBufferFromImportFd(const CI_PIPELINE *pPipeline, QOV_UINT32 ionFd,
                                             QOV_UINT32 *pBufferId);
QOV_RESULT CI_PipelineGetBufferInfo(const CI_PIPELINE *pPipeline, QOV_UINT32 buffId, CI_BUFFER_INFO *pInfo);
// The first available buffer of every output the configuration has (HDR insertion excepted).
QOV_RESULT CI_PipelineFindFirstAvailable(CI_PIPELINE *pPipeline, CI_BUFFID *pIds);

// Queue one shot on the first available buffers, blocking or not.
QOV_RESULT CI_PipelineTriggerShoot(CI_PIPELINE *pPipeline);
QOV_RESULT CI_PipelineTriggerShootNB(CI_PIPELINE *pPipeline);
// Queue one shot on the given buffers, blocking or not.
QOV_RESULT CI_PipelineTriggerSpecifiedShoot(CI_PIPELINE *pPipeline, const CI_BUFFID *pBuffId);
QOV_RESULT CI_PipelineTriggerSpecifiedShootNB(CI_PIPELINE *pPipeline, const CI_BUFFID *pBuffId);

// Waits for a completed shot; the NB form answers QOV_ERROR_NOT_AVAILABLE at
// once when none is ready.
QOV_RESULT CI_PipelineAcquireShot(CI_PIPELINE *pPipeline, CI_SHOT **ppBuffer);
QOV_RESULT CI_PipelineAcquireShotNB(CI_PIPELINE *pPipeline, CI_SHOT **ppBuffer);
// Gives an acquired shot and its buffers back.
QOV_RESULT CI_PipelineReleaseShot(CI_PIPELINE *pPipeline, CI_SHOT *pShot);

// The statistics configuration an acquired shot was taken with.
QOV_RESULT CI_PipelineExtractConfig(const CI_SHOT *pShot, CI_PIPELINE_STATS *pConfig);

// HDR-insertion buffers the caller fills before naming them in a trigger
// (id 0: the first free one).
QOV_RESULT CI_PipelineAcquireHDRBuffer(CI_PIPELINE *pPipeline, CI_BUFFER *pFrame, QOV_UINT32 id);
QOV_RESULT CI_PipelineReleaseHDRBuffer(CI_PIPELINE *pPipeline, QOV_UINT32 id);

/*-------------------------------------------------------------------------
 * Lens-shading matrix buffers
 *-------------------------------------------------------------------------*/

QOV_RESULT CI_PipelineAllocateLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 ui32Size, QOV_UINT32 *pMatrixId);
// Hands an idle matrix to the caller for filling.
QOV_RESULT CI_PipelineAcquireLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 id, CI_LSHMAT *pMatrix);
// Takes it back with the description in pMatrix->config.
QOV_RESULT CI_PipelineReleaseLSHMatrix(CI_PIPELINE *pPipeline, CI_LSHMAT *pMatrix);
// Makes that matrix the one the hardware uses; id 0 switches the matrix off.
QOV_RESULT CI_PipelineUpdateLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 id);
QOV_RESULT CI_PipelineDeregisterLSHMatrix(CI_PIPELINE *pPipeline, QOV_UINT32 matrixId);

#endif
