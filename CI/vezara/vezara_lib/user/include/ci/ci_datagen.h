// The ISP's internal data generator: replays frames from memory into an
// imager input, in the wire format a sensor would send.
//
// Order of use: create, set the public record, allocate frames, start; per
// frame get an available frame, convert an image into it, set its
// blanking, insert it and wait until processed; finally stop and destroy.
// Messages carry tag "CI_API".
#ifndef CI_DATAGEN_H
#define CI_DATAGEN_H

#include "ci/ci_api_structs.h"
#include "qov_types.h"

// Blanking sent after each line and after the frame: the hardware's minimum
// and the value every frame starts with.
#define CI_DATAGEN_MIN_HBLANKING 100u
#define CI_DATAGEN_MIN_VBLANKING 14u
// Tallest frame the generator sends; the widest is the gasket's
// gasket_aMaxWidth of the hardware information.
#define CI_DATAGEN_MAX_HEIGHT 16384u

// Registers a new generator with the driver; *ppDatagen must be null and
// receives its all-zero public record.
QOV_RESULT CI_DatagenCreate(CI_DATAGEN **ppDatagen, CI_CONNECTION *pConnection);
// Stops a started generator, frees every frame and deregisters it.
QOV_RESULT CI_DatagenDestroy(CI_DATAGEN *pDatagen);

// Starts the generator with its public record.
QOV_RESULT CI_DatagenStart(CI_DATAGEN *pDatagen);
QOV_RESULT CI_DatagenStop(CI_DATAGEN *pDatagen);
// Asks the driver; a failed query answers false.
QOV_BOOL8 CI_DatagenIsStarted(CI_DATAGEN *pDatagen);

// Allocates and maps one frame buffer of ui32Size bytes (generator stopped).
QOV_RESULT CI_DatagenAllocateFrame(CI_DATAGEN *pDatagen, QOV_UINT32 ui32Size, QOV_UINT32 *pFrameID);
// Any frame the driver has free, or that frame if it is free; null when none.
// A frame got this way starts with the minimum blanking.
CI_DG_FRAME *CI_DatagenGetAvailableFrame(CI_DATAGEN *pDatagen);
CI_DG_FRAME *CI_DatagenGetFrame(CI_DATAGEN *pDatagen, QOV_UINT32 ui32FrameID);
// Queues a filled frame for sending.
QOV_RESULT CI_DatagenInsertFrame(CI_DG_FRAME *pFrame);
// Gives a frame back unsent.
QOV_RESULT CI_DatagenReleaseFrame(CI_DG_FRAME *pFrame);
// Waits until a sent frame has been processed (re-issued while interrupted).
QOV_RESULT CI_DatagenWaitProcessedFrame(CI_DATAGEN *pDatagen, QOV_BOOL8 bBlocking);
// Unmaps and frees one frame.
QOV_RESULT CI_DatagenDestroyFrame(CI_DG_FRAME *pFrame);

#endif
