// Private objects of the capture-interface library. The caller only ever
// holds a pointer to the first member (the public record) of each object;
// the library turns it back into the private object with the helpers below.
//
// Every private object lives in an intrusive list of its owner through an
// embedded cell (sCell) whose `object` points at the private object itself.
#ifndef CI_API_INTERNAL_H
#define CI_API_INTERNAL_H

#include <cstddef>

#include "ci/ci_api.h"
#include "ci/sys_userio.h"
#include "ci_kernel/ci_ioctrl.h"
#include "linkedlist.h"
#include "qov_types.h"

// The device every connection opens.
#define CI_DEVICE_NAME "/dev/vadivodov0"

/*-------------------------------------------------------------------------
 * Driver connection
 *-------------------------------------------------------------------------*/

struct INT_PIPELINE;
struct INT_INTDATAGEN;  // defined by the data-generator code

typedef struct INT_CONNECTION {
    CI_CONNECTION publicConnection;  // handed out by CI_DriverInit
    SYS_FILE *fileDesc;              // the open device

    // Pipeline contexts created on the connection: INT_PIPELINE::sCell,
    // object = the INT_PIPELINE*.
    sLinkedList_T sList_pipelines;

    // ---- Internal data generators (owned by the data-generator code) ----
    // Generators created on the connection: INT_INTDATAGEN::sCell, object =
    // the INT_INTDATAGEN*. A generator appends itself when created and
    // removes itself when destroyed; CI_DriverFinalise destroys those still
    // listed with INT_CI_DatagenFinalise (below).
    sLinkedList_T sList_datagen;
} INT_CONNECTION;

static_assert(offsetof(INT_CONNECTION, publicConnection) == 0);

inline INT_CONNECTION *INT_CI_Connection(CI_CONNECTION *pConnection)
{
    return reinterpret_cast<INT_CONNECTION *>(pConnection);
}
inline const INT_CONNECTION *INT_CI_Connection(const CI_CONNECTION *pConnection)
{
    return reinterpret_cast<const INT_CONNECTION *>(pConnection);
}

// Destroys one generator for CI_DriverFinalise, which calls it for every
// generator of the connection's list (reading the next cell first). Like
// CI_DatagenDestroy, but a generator whose driver requests fail still leaves
// the list and is freed, so that nothing outlives the connection (closing
// the device releases what the driver still holds). Provided by the
// data-generator code.
QOV_RESULT INT_CI_DatagenFinalise(INT_INTDATAGEN *pDatagen);

/*-------------------------------------------------------------------------
 * Output buffers, shots and lens-shading matrices of a pipeline
 *-------------------------------------------------------------------------*/

enum INT_BUFFER_STATUS : QOV_INT32 {
    INT_BUFFER_AVAILABLE = 0,  // idle on the user side
    INT_BUFFER_PENDING = 1,    // named in a trigger (matrices: the one in use)
    INT_BUFFER_ACQUIRED = 2,   // with the caller
};

// One output buffer, in the pipeline's buffer list.
typedef struct INT_BUFFER {
    QOV_INT32 ID;     // the driver's map id: the buffer id everywhere
    QOV_INT32 ionFd;  // imported descriptor, 0 when the driver allocated it
    CI_ALLOC_BUFF type;
    void *memory;       // user mapping
    QOV_UINT32 uiSize;  // its length as the driver reported it
    QOV_BOOL8 bIsTiled;
    sCell_T sCell;
    INT_BUFFER_STATUS eStatus;
    QOV_BOOL8 bHDRReserved;  // HDR-insertion buffer handed to the caller for filling
} INT_BUFFER;

// One shot of the pool, in the pipeline's shot list.
typedef struct INT_SHOT {
    int iIdentifier;  // the driver's shot id
    QOV_BOOL8 bAcquired;
    CI_SHOT publicShot;  // handed to the caller by the acquisition
    // Buffers the shot holds while acquired.
    INT_BUFFER *pEncOutput;
    INT_BUFFER *pDispOutput;
    INT_BUFFER *pHDRExtOutput;
    INT_BUFFER *pRaw2DExtOutput;
    // The shot's own mappings, indexed by CI_POOL_MAP_IDS (statistics,
    // defect-pixel output, encoder statistics, load structure), with their
    // lengths; null when the driver gave no map id. The public record points
    // at them; these copies are the ones unmapped.
    void *apMemory[CI_POOL_MAP_ID_COUNT];
    QOV_UINT32 aMemorySize[CI_POOL_MAP_ID_COUNT];
    sCell_T sCell;
} INT_SHOT;

static_assert(offsetof(INT_SHOT, publicShot) % alignof(CI_SHOT) == 0);

// The private shot of a public one handed out by the acquisition.
inline INT_SHOT *INT_CI_Shot(CI_SHOT *pShot)
{
    return reinterpret_cast<INT_SHOT *>(reinterpret_cast<char *>(pShot) - offsetof(INT_SHOT, publicShot));
}
inline const INT_SHOT *INT_CI_Shot(const CI_SHOT *pShot)
{
    return reinterpret_cast<const INT_SHOT *>(reinterpret_cast<const char *>(pShot) -
                                              offsetof(INT_SHOT, publicShot));
}

// One lens-shading matrix buffer, in the pipeline's matrix list.
typedef struct INT_LSHMAT {
    QOV_INT32 ID;        // the driver's map id: the matrix id
    void *memory;        // write-only user mapping
    QOV_UINT32 uiSize;   // its length
    INT_BUFFER_STATUS eStatus;  // AVAILABLE idle, PENDING in use, ACQUIRED with the caller
    sCell_T sCell;
    CI_MODULE_LSH_MAT config;  // the description last given by the caller
} INT_LSHMAT;

/*-------------------------------------------------------------------------
 * Pipeline context
 *-------------------------------------------------------------------------*/

typedef struct INT_PIPELINE {
    CI_PIPELINE publicPipeline;
    sLinkedList_T sList_shots;    // INT_SHOT
    sLinkedList_T sList_buffers;  // INT_BUFFER
    sLinkedList_T sList_lshmat;   // INT_LSHMAT
    int ui32Identifier;           // the driver's id; 0 while not registered
    QOV_BOOL bStarted;            // the capture is believed running
    QOV_BOOL bSupportTiling;      // config.bSupportTiling at registration
    INT_LSHMAT *pMatrix;          // the matrix the hardware uses, null when none
    sCell_T sCell;                // in the connection's pipeline list
    INT_CONNECTION *pConnection;
    char *pLoadStructure;  // INT_CI_SizeLS_HW2() bytes, written by INT_CI_Load_HW2
} INT_PIPELINE;

static_assert(offsetof(INT_PIPELINE, publicPipeline) == 0);

inline INT_PIPELINE *INT_CI_Pipeline(CI_PIPELINE *pPipeline)
{
    return reinterpret_cast<INT_PIPELINE *>(pPipeline);
}
inline const INT_PIPELINE *INT_CI_Pipeline(const CI_PIPELINE *pPipeline)
{
    return reinterpret_cast<const INT_PIPELINE *>(pPipeline);
}

// A pipeline is registered once the driver gave it an id.
inline bool isRegistered(const INT_PIPELINE *pIntPipeline)
{
    return pIntPipeline->ui32Identifier > 0;
}

// The device a pipeline's requests go to; null without a connection.
inline SYS_FILE *deviceOf(const INT_PIPELINE *pIntPipeline)
{
    return pIntPipeline->pConnection ? pIntPipeline->pConnection->fileDesc : nullptr;
}

/*-------------------------------------------------------------------------
 * Shared inner operations of the pipeline, shot and matrix code
 *-------------------------------------------------------------------------*/

// Destroys a pipeline. With bForce a capture that cannot be stopped does not
// stop the destruction (the connection is being finalised); otherwise it
// leaves the pipeline untouched. The pipeline is always freed unless that
// stop failed without bForce.
QOV_RESULT INT_CI_PipelineDestroy(INT_PIPELINE *pIntPipeline, QOV_BOOL8 bForce);
// Fills a zeroed CI_PIPE_INFO from the pipeline's configuration.
void QOV_CI_PipelineToInfo(const INT_PIPELINE *pIntPipeline, CI_PIPE_INFO *pInfo);
// Makes every PENDING output buffer of the pipeline AVAILABLE again (the
// capture stopped).
void INT_CI_PipelineResetPendingBuffers(INT_PIPELINE *pIntPipeline);
// Unmaps and frees every shot of the pipeline's list, acquired or not.
void INT_CI_PipelineFreeShots(INT_PIPELINE *pIntPipeline);
// Unmaps and frees every output buffer and lens-shading matrix; false when a
// list could not be walked to its end.
QOV_BOOL8 INT_CI_PipelineFreeBuffers(INT_PIPELINE *pIntPipeline);
QOV_BOOL8 INT_CI_PipelineFreeMatrices(INT_PIPELINE *pIntPipeline);

// The load-structure writer (INT_CI_SizeLS_HW2, INT_CI_Load_HW2,
// INT_CI_Revert_HW2) and the hardware value checks (CI_Module*_verif,
// CI_Stats*_verif) are declared in mc/mc_conversions.h.

#endif
