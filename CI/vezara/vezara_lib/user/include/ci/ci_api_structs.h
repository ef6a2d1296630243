// Public records of the capture-interface library: the driver connection and
// hardware description, the pipeline configuration, shots and buffers,
// lens-shading matrices, gaskets, the internal data generator and its frame
// converter.
//
// Records that travel to or from the driver are native little-endian with
// natural alignment; gaps are spelled out as reserved bytes (sent as zero)
// and the static_asserts pin every size and offset.
#ifndef CI_API_STRUCTS_H
#define CI_API_STRUCTS_H

#include <cstddef>

#include "qov_types.h"
#include "vezaracommon/pixel_format.h"
#include "ci/ci_modules_structs.h"

static_assert(sizeof(PIXELTYPE) == 24, "PIXELTYPE is part of the driver's pipeline configuration");

/*-------------------------------------------------------------------------
 * Connection and hardware information
 *-------------------------------------------------------------------------*/

// Bits of CI_HWINFO.eFunctionalities.
enum CI_INFO_eSUPPORTED : QOV_UINT32 {
    CI_INFO_SUPPORTED_NONE = 0,
    CI_INFO_SUPPORTED_TILING = 1,
    CI_INFO_SUPPORTED_HDR_EXT = 2,
    CI_INFO_SUPPORTED_HDR_INS = 4,
    CI_INFO_SUPPORTED_RAW2D_EXT = 8,
    CI_INFO_SUPPORTED_IIF_DATAGEN = 16,
    CI_INFO_SUPPORTED_IIF_PARTERNGEN = 32,
};

// Line-store allocation of the two capture contexts, in pixels of one line.
typedef struct CI_LINESTORE {
    QOV_INT32 aStart[2];   // negative: the context's line store is disabled
    QOV_UINT32 aSize[2];   // computed by the verification
    QOV_BOOL8 aActive[2];  // set by the driver for a capturing context
    QOV_UINT8 aReserved0[2];
} CI_LINESTORE;

static_assert(sizeof(CI_LINESTORE) == 20);
static_assert(offsetof(CI_LINESTORE, aStart) == 0);
static_assert(offsetof(CI_LINESTORE, aSize) == 8);
static_assert(offsetof(CI_LINESTORE, aActive) == 16);

// Hardware description, as the driver reports it.
typedef struct CI_HWINFO {
    QOV_UINT8 ui8GroupId;
    QOV_UINT8 ui8AllocationId;
    QOV_UINT16 ui16ConfigId;
    QOV_UINT8 rev_ui8Designer;
    QOV_UINT8 rev_ui8Major;
    QOV_UINT8 rev_ui8Minor;
    QOV_UINT8 rev_ui8Maint;
    QOV_UINT32 rev_uid;
    QOV_UINT8 config_ui8PixPerClock;
    QOV_UINT8 config_ui8Parallelism;
    QOV_UINT8 config_ui8BitDepth;
    QOV_UINT8 config_ui8NContexts;
    QOV_UINT8 config_ui8NImagers;
    QOV_UINT8 config_ui8NIIFDataGenerator;
    QOV_UINT16 config_ui16MemLatency;
    QOV_UINT32 config_ui32DPFInternalSize;
    QOV_UINT8 config_ui8NRTMRegisters;
    QOV_UINT8 scaler_ui8EncHLumaTaps;
    QOV_UINT8 scaler_ui8EncVLumaTaps;
    QOV_UINT8 scaler_ui8EncVChromaTaps;
    QOV_UINT8 scaler_ui8DispHLumaTaps;
    QOV_UINT8 scaler_ui8DispVLumaTaps;
    QOV_UINT8 gasket_aImagerPortWidth[4];
    QOV_UINT8 gasket_aType[4];
    QOV_UINT16 gasket_aMaxWidth[4];
    QOV_UINT8 gasket_aBitDepth[4];
    QOV_UINT16 context_aMaxWidthMult[2];
    QOV_UINT16 context_aMaxHeight[2];
    QOV_UINT16 context_aMaxWidthSingle[2];
    QOV_UINT8 context_aBitDepth[2];
    QOV_UINT8 context_aPendingQueue[2];
    QOV_UINT8 aReserved0[2];
    QOV_UINT32 ui32MaxLineStore;
    QOV_UINT32 ui32LSHRamSizeBits;
    QOV_UINT32 eFunctionalities; // CI_INFO_eSUPPORTED bits
    QOV_UINT32 uiSizeOfPipeline;
    QOV_UINT32 uiSizeOfLoadStruct;
    QOV_UINT32 uiChangelist;
    QOV_UINT32 uiTiledScheme; // 256 or 512
    QOV_UINT8 mmu_ui8Enabled;
    QOV_UINT8 mmu_ui8RevMajor;
    QOV_UINT8 mmu_ui8RevMinor;
    QOV_UINT8 mmu_ui8RevMaint;
    QOV_UINT32 mmu_ui32PageSize;
    QOV_UINT32 ui32RefClockMhz;
} CI_HWINFO;

static_assert(sizeof(CI_HWINFO) == 108);
static_assert(offsetof(CI_HWINFO, ui8GroupId) == 0);
static_assert(offsetof(CI_HWINFO, ui8AllocationId) == 1);
static_assert(offsetof(CI_HWINFO, ui16ConfigId) == 2);
static_assert(offsetof(CI_HWINFO, rev_ui8Designer) == 4);
static_assert(offsetof(CI_HWINFO, rev_ui8Major) == 5);
static_assert(offsetof(CI_HWINFO, rev_ui8Minor) == 6);
static_assert(offsetof(CI_HWINFO, rev_ui8Maint) == 7);
static_assert(offsetof(CI_HWINFO, rev_uid) == 8);
static_assert(offsetof(CI_HWINFO, config_ui8PixPerClock) == 12);
static_assert(offsetof(CI_HWINFO, config_ui8Parallelism) == 13);
static_assert(offsetof(CI_HWINFO, config_ui8BitDepth) == 14);
static_assert(offsetof(CI_HWINFO, config_ui8NContexts) == 15);
static_assert(offsetof(CI_HWINFO, config_ui8NImagers) == 16);
static_assert(offsetof(CI_HWINFO, config_ui8NIIFDataGenerator) == 17);
static_assert(offsetof(CI_HWINFO, config_ui16MemLatency) == 18);
static_assert(offsetof(CI_HWINFO, config_ui32DPFInternalSize) == 20);
static_assert(offsetof(CI_HWINFO, config_ui8NRTMRegisters) == 24);
static_assert(offsetof(CI_HWINFO, scaler_ui8EncHLumaTaps) == 25);
static_assert(offsetof(CI_HWINFO, scaler_ui8EncVLumaTaps) == 26);
static_assert(offsetof(CI_HWINFO, scaler_ui8EncVChromaTaps) == 27);
static_assert(offsetof(CI_HWINFO, scaler_ui8DispHLumaTaps) == 28);
static_assert(offsetof(CI_HWINFO, scaler_ui8DispVLumaTaps) == 29);
static_assert(offsetof(CI_HWINFO, gasket_aImagerPortWidth) == 30);
static_assert(offsetof(CI_HWINFO, gasket_aType) == 34);
static_assert(offsetof(CI_HWINFO, gasket_aMaxWidth) == 38);
static_assert(offsetof(CI_HWINFO, gasket_aBitDepth) == 46);
static_assert(offsetof(CI_HWINFO, context_aMaxWidthMult) == 50);
static_assert(offsetof(CI_HWINFO, context_aMaxHeight) == 54);
static_assert(offsetof(CI_HWINFO, context_aMaxWidthSingle) == 58);
static_assert(offsetof(CI_HWINFO, context_aBitDepth) == 62);
static_assert(offsetof(CI_HWINFO, context_aPendingQueue) == 64);
static_assert(offsetof(CI_HWINFO, ui32MaxLineStore) == 68);
static_assert(offsetof(CI_HWINFO, ui32LSHRamSizeBits) == 72);
static_assert(offsetof(CI_HWINFO, eFunctionalities) == 76);
static_assert(offsetof(CI_HWINFO, uiSizeOfPipeline) == 80);
static_assert(offsetof(CI_HWINFO, uiSizeOfLoadStruct) == 84);
static_assert(offsetof(CI_HWINFO, uiChangelist) == 88);
static_assert(offsetof(CI_HWINFO, uiTiledScheme) == 92);
static_assert(offsetof(CI_HWINFO, mmu_ui8Enabled) == 96);
static_assert(offsetof(CI_HWINFO, mmu_ui8RevMajor) == 97);
static_assert(offsetof(CI_HWINFO, mmu_ui8RevMinor) == 98);
static_assert(offsetof(CI_HWINFO, mmu_ui8RevMaint) == 99);
static_assert(offsetof(CI_HWINFO, mmu_ui32PageSize) == 100);
static_assert(offsetof(CI_HWINFO, ui32RefClockMhz) == 104);

// Gamma curve of the hardware, shared by all contexts.
typedef struct CI_MODULE_GMA_LUT {
    QOV_UINT16 aRedPoints[63];
    QOV_UINT16 aGreenPoints[63];
    QOV_UINT16 aBluePoints[63];
} CI_MODULE_GMA_LUT;

static_assert(sizeof(CI_MODULE_GMA_LUT) == 378);
static_assert(offsetof(CI_MODULE_GMA_LUT, aGreenPoints) == 126);
static_assert(offsetof(CI_MODULE_GMA_LUT, aBluePoints) == 252);

// Public record of a driver connection, filled by the driver at opening.
typedef struct CI_CONNECTION {
    CI_LINESTORE sLinestoreStatus;
    CI_HWINFO sHWInfo;
    CI_MODULE_GMA_LUT sGammaLUT;
    QOV_UINT8 aReserved0[2];
} CI_CONNECTION;

static_assert(sizeof(CI_CONNECTION) == 508);
static_assert(offsetof(CI_CONNECTION, sLinestoreStatus) == 0);
static_assert(offsetof(CI_CONNECTION, sHWInfo) == 20);
static_assert(offsetof(CI_CONNECTION, sGammaLUT) == 128);

// Real-time monitor snapshot. Only the first config_ui8NRTMRegisters
// entries of aRTMEntries are valid.
typedef struct CI_RTM_INFO {
    QOV_UINT32 aRTMEntries[8];
    QOV_UINT32 context_status[2];
    QOV_UINT32 context_linkEmptyness[2];
    QOV_UINT32 context_position[2][8];
} CI_RTM_INFO;

static_assert(sizeof(CI_RTM_INFO) == 112);
static_assert(offsetof(CI_RTM_INFO, aRTMEntries) == 0);
static_assert(offsetof(CI_RTM_INFO, context_status) == 32);
static_assert(offsetof(CI_RTM_INFO, context_linkEmptyness) == 40);
static_assert(offsetof(CI_RTM_INFO, context_position) == 48);

/*-------------------------------------------------------------------------
 * Pipeline
 *-------------------------------------------------------------------------*/

// Where the display output taps Bayer data (data extraction).
enum CI_INOUT_POINTS : QOV_INT32 {
    CI_INOUT_BLACK_LEVEL = 0,
    CI_INOUT_FILTER_LINESTORE = 1,
    CI_INOUT_NONE = 2, // no extraction: the display output is the display pipeline
};

static_assert(sizeof(CI_INOUT_POINTS) == 4);

// Output formats and global settings of a pipeline.
typedef struct CI_PIPELINE_CONFIG {
    PIXELTYPE eEncType;  // eBuffer 0 when the encoder output is off
    PIXELTYPE eDispType; // display format, or the Bayer format of the data extraction
    PIXELTYPE eHDRExtType;
    PIXELTYPE eHDRInsType;
    PIXELTYPE eRaw2DExtraction;
    CI_INOUT_POINTS eDataExtraction;
    QOV_UINT32 eOutputConfig; // CI_SAVE_CONFIG_FLAGS
    QOV_BOOL8 bUseEncOutLine;
    QOV_UINT8 ui8EncOutPulse;
    QOV_UINT8 ui8Context;
    QOV_UINT8 ui8PrivateValue; // returned with every shot
    QOV_UINT16 ui16MaxEncOutWidth;
    QOV_UINT16 ui16MaxEncOutHeight;
    QOV_UINT16 ui16MaxDispOutWidth;
    QOV_UINT16 ui16MaxDispOutHeight;
    QOV_BOOL8 bSupportTiling;
    QOV_UINT8 aReserved0[3];
    QOV_UINT32 ui32DPFWriteMapSize;
    QOV_UINT16 ui16SysBlackLevel;
    QOV_UINT8 aReserved1[2];
} CI_PIPELINE_CONFIG;

static_assert(sizeof(CI_PIPELINE_CONFIG) == 152);
static_assert(offsetof(CI_PIPELINE_CONFIG, eEncType) == 0);
static_assert(offsetof(CI_PIPELINE_CONFIG, eDispType) == 24);
static_assert(offsetof(CI_PIPELINE_CONFIG, eHDRExtType) == 48);
static_assert(offsetof(CI_PIPELINE_CONFIG, eHDRInsType) == 72);
static_assert(offsetof(CI_PIPELINE_CONFIG, eRaw2DExtraction) == 96);
static_assert(offsetof(CI_PIPELINE_CONFIG, eDataExtraction) == 120);
static_assert(offsetof(CI_PIPELINE_CONFIG, eOutputConfig) == 124);
static_assert(offsetof(CI_PIPELINE_CONFIG, bUseEncOutLine) == 128);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui8EncOutPulse) == 129);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui8Context) == 130);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui8PrivateValue) == 131);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui16MaxEncOutWidth) == 132);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui16MaxEncOutHeight) == 134);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui16MaxDispOutWidth) == 136);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui16MaxDispOutHeight) == 138);
static_assert(offsetof(CI_PIPELINE_CONFIG, bSupportTiling) == 140);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui32DPFWriteMapSize) == 144);
static_assert(offsetof(CI_PIPELINE_CONFIG, ui16SysBlackLevel) == 148);

// Register-ready configuration of one capture context; the driver reports
// the same size in CI_HWINFO.uiSizeOfPipeline.
typedef struct CI_PIPELINE {
    CI_PIPELINE_CONFIG config;
    CI_MODULE_IIF sImagerInterface;
    CI_MODULE_BLC sBlackCorrection;
    QOV_UINT8 aReserved0[2];
    CI_MODULE_RLT sRawLUT;
    CI_MODULE_LSH sDeshading;
    CI_MODULE_WBC sWhiteBalance;
    CI_MODULE_DNS sDenoiser;
    QOV_UINT8 aReserved1[4];
    CI_MODULE_DPF sDefectivePixels;
    CI_MODULE_LCA sChromaAberration;
    CI_MODULE_CCM sColourCorrection;
    CI_MODULE_MGM sMainGamutMapper;
    CI_MODULE_GMA sGammaCorrection;
    QOV_UINT8 aReserved2[1];
    CI_MODULE_R2Y sRGBToYCC;
    CI_MODULE_MIE sImageEnhancer;
    CI_MODULE_TNM sToneMapping;
    CI_MODULE_SHA sSharpening;
    CI_MODULE_ESC sEncoderScaler;
    CI_MODULE_DSC sDisplayScaler;
    CI_MODULE_Y2R sYCCToRGB;
    CI_MODULE_DGM sDisplayGamutMapper;
    CI_MODULE_HDR sHDR;
    CI_PIPELINE_STATS stats;
} CI_PIPELINE;

static_assert(sizeof(CI_PIPELINE) == 16352);
static_assert(offsetof(CI_PIPELINE, config) == 0);
static_assert(offsetof(CI_PIPELINE, sImagerInterface) == 152);
static_assert(offsetof(CI_PIPELINE, sBlackCorrection) == 176);
static_assert(offsetof(CI_PIPELINE, sRawLUT) == 188);
static_assert(offsetof(CI_PIPELINE, sDeshading) == 320);
static_assert(offsetof(CI_PIPELINE, sWhiteBalance) == 336);
static_assert(offsetof(CI_PIPELINE, sDenoiser) == 368);
static_assert(offsetof(CI_PIPELINE, sDefectivePixels) == 416);
static_assert(offsetof(CI_PIPELINE, sChromaAberration) == 448);
static_assert(offsetof(CI_PIPELINE, sColourCorrection) == 484);
static_assert(offsetof(CI_PIPELINE, sMainGamutMapper) == 514);
static_assert(offsetof(CI_PIPELINE, sGammaCorrection) == 538);
static_assert(offsetof(CI_PIPELINE, sRGBToYCC) == 540);
static_assert(offsetof(CI_PIPELINE, sImageEnhancer) == 568);
static_assert(offsetof(CI_PIPELINE, sToneMapping) == 714);
static_assert(offsetof(CI_PIPELINE, sSharpening) == 878);
static_assert(offsetof(CI_PIPELINE, sEncoderScaler) == 904);
static_assert(offsetof(CI_PIPELINE, sDisplayScaler) == 1072);
static_assert(offsetof(CI_PIPELINE, sYCCToRGB) == 1240);
static_assert(offsetof(CI_PIPELINE, sDisplayGamutMapper) == 1268);
static_assert(offsetof(CI_PIPELINE, sHDR) == 1292);
static_assert(offsetof(CI_PIPELINE, stats) == 16184);

/*-------------------------------------------------------------------------
 * Shots and buffers
 *-------------------------------------------------------------------------*/

// One frame's capture. Pointer fields are user-side mappings; the driver's
// copies of them are ignored.
typedef struct CI_SHOT {
    QOV_UINT32 aEncYSize[2];    // stride, lines
    QOV_UINT32 aEncCbCrSize[2]; // stride, lines
    QOV_UINT32 aEncOffset[2];   // luma, chroma
    QOV_BOOL8 bEncTiled;
    QOV_UINT8 aReserved0[3];
    QOV_UINT32 aDispSize[2];
    QOV_UINT32 ui32DispOffset;
    QOV_BOOL8 bDispTiled;
    QOV_UINT8 aReserved1[3];
    QOV_UINT32 aHDRExtSize[2];
    QOV_UINT32 ui32HDRExtOffset;
    QOV_BOOL8 bHDRExtTiled;
    QOV_UINT8 aReserved2[3];
    QOV_UINT32 aHDRInsSize[2];
    QOV_UINT32 ui32HDRInsOffset;
    QOV_UINT32 aRaw2DSize[2];
    QOV_UINT32 ui32Raw2DOffset;
    QOV_UINT32 loadSize;
    QOV_UINT32 statsSize;
    QOV_UINT32 uiDPFSize;
    QOV_UINT32 uiENSSize;
    QOV_UINT8 ui8PrivateValue;
    QOV_BOOL8 bFrameError;
    QOV_UINT8 aReserved3[2];
    QOV_INT32 i32MissedFrames;
    QOV_UINT32 encId; // 0 when none
    void *pEncoderOutput;
    QOV_UINT32 dispId;
    QOV_UINT8 aReserved4[4];
    void *pDisplayOutput;
    QOV_UINT32 HDRExtId;
    QOV_UINT8 aReserved5[4];
    void *pHDRExtOutput;
    QOV_UINT32 raw2DExtId;
    QOV_UINT8 aReserved6[4];
    void *pRaw2DExtOutput;
    void *pLoadStruct; // the shot's own copy of the load structure, mapped read-only
    void *pStatistics; // read-only mapping of the statistics block
    void *pDefectPixelMap;
    void *pENSOutput;
    QOV_UINT32 aHDRHist[13];
    QOV_UINT32 ui32LinkedListTS;
    QOV_UINT32 ui32InterruptTS;
    QOV_UINT8 aReserved7[4];
    QOV_UINT64 ui64LinkedListSysTime;
    QOV_UINT64 ui64InterruptSysTime;
    QOV_UINT32 eOutputConfig; // CI_SAVE_CONFIG_FLAGS
    QOV_UINT8 aReserved8[4];
} CI_SHOT;

static_assert(sizeof(CI_SHOT) == 288);
static_assert(offsetof(CI_SHOT, aEncYSize) == 0);
static_assert(offsetof(CI_SHOT, aEncCbCrSize) == 8);
static_assert(offsetof(CI_SHOT, aEncOffset) == 16);
static_assert(offsetof(CI_SHOT, bEncTiled) == 24);
static_assert(offsetof(CI_SHOT, aDispSize) == 28);
static_assert(offsetof(CI_SHOT, ui32DispOffset) == 36);
static_assert(offsetof(CI_SHOT, bDispTiled) == 40);
static_assert(offsetof(CI_SHOT, aHDRExtSize) == 44);
static_assert(offsetof(CI_SHOT, ui32HDRExtOffset) == 52);
static_assert(offsetof(CI_SHOT, bHDRExtTiled) == 56);
static_assert(offsetof(CI_SHOT, aHDRInsSize) == 60);
static_assert(offsetof(CI_SHOT, ui32HDRInsOffset) == 68);
static_assert(offsetof(CI_SHOT, aRaw2DSize) == 72);
static_assert(offsetof(CI_SHOT, ui32Raw2DOffset) == 80);
static_assert(offsetof(CI_SHOT, loadSize) == 84);
static_assert(offsetof(CI_SHOT, statsSize) == 88);
static_assert(offsetof(CI_SHOT, uiDPFSize) == 92);
static_assert(offsetof(CI_SHOT, uiENSSize) == 96);
static_assert(offsetof(CI_SHOT, ui8PrivateValue) == 100);
static_assert(offsetof(CI_SHOT, bFrameError) == 101);
static_assert(offsetof(CI_SHOT, i32MissedFrames) == 104);
static_assert(offsetof(CI_SHOT, encId) == 108);
static_assert(offsetof(CI_SHOT, pEncoderOutput) == 112);
static_assert(offsetof(CI_SHOT, dispId) == 120);
static_assert(offsetof(CI_SHOT, pDisplayOutput) == 128);
static_assert(offsetof(CI_SHOT, HDRExtId) == 136);
static_assert(offsetof(CI_SHOT, pHDRExtOutput) == 144);
static_assert(offsetof(CI_SHOT, raw2DExtId) == 152);
static_assert(offsetof(CI_SHOT, pRaw2DExtOutput) == 160);
static_assert(offsetof(CI_SHOT, pLoadStruct) == 168);
static_assert(offsetof(CI_SHOT, pStatistics) == 176);
static_assert(offsetof(CI_SHOT, pDefectPixelMap) == 184);
static_assert(offsetof(CI_SHOT, pENSOutput) == 192);
static_assert(offsetof(CI_SHOT, aHDRHist) == 200);
static_assert(offsetof(CI_SHOT, ui32LinkedListTS) == 252);
static_assert(offsetof(CI_SHOT, ui32InterruptTS) == 256);
static_assert(offsetof(CI_SHOT, ui64LinkedListSysTime) == 264);
static_assert(offsetof(CI_SHOT, ui64InterruptSysTime) == 272);
static_assert(offsetof(CI_SHOT, eOutputConfig) == 280);

// Buffers of one trigger; id 0 means none, stride and offset 0 ask the
// driver for its defaults.
typedef struct CI_BUFFID {
    QOV_UINT32 encId;
    QOV_UINT32 encStrideY;
    QOV_UINT32 encStrideC;
    QOV_UINT32 encOffsetY;
    QOV_UINT32 encOffsetC;
    QOV_UINT32 dispId;
    QOV_UINT32 dispStride;
    QOV_UINT32 dispOffset;
    QOV_UINT32 idHDRExt;
    QOV_UINT32 HDRExtStride;
    QOV_UINT32 HDRExtOffset;
    QOV_UINT32 idHDRIns;
    QOV_UINT32 HDRInsStride;
    QOV_UINT32 HDRInsOffset;
    QOV_UINT32 idRaw2D;
    QOV_UINT32 raw2DStride;
    QOV_UINT32 raw2DOffset;
} CI_BUFFID;

static_assert(sizeof(CI_BUFFID) == 68);
static_assert(offsetof(CI_BUFFID, encId) == 0);
static_assert(offsetof(CI_BUFFID, encStrideY) == 4);
static_assert(offsetof(CI_BUFFID, encStrideC) == 8);
static_assert(offsetof(CI_BUFFID, encOffsetY) == 12);
static_assert(offsetof(CI_BUFFID, encOffsetC) == 16);
static_assert(offsetof(CI_BUFFID, dispId) == 20);
static_assert(offsetof(CI_BUFFID, dispStride) == 24);
static_assert(offsetof(CI_BUFFID, dispOffset) == 28);
static_assert(offsetof(CI_BUFFID, idHDRExt) == 32);
static_assert(offsetof(CI_BUFFID, HDRExtStride) == 36);
static_assert(offsetof(CI_BUFFID, HDRExtOffset) == 40);
static_assert(offsetof(CI_BUFFID, idHDRIns) == 44);
static_assert(offsetof(CI_BUFFID, HDRInsStride) == 48);
static_assert(offsetof(CI_BUFFID, HDRInsOffset) == 52);
static_assert(offsetof(CI_BUFFID, idRaw2D) == 56);
static_assert(offsetof(CI_BUFFID, raw2DStride) == 60);
static_assert(offsetof(CI_BUFFID, raw2DOffset) == 64);

// Kind of an output buffer as the caller names it.
enum CI_BUFFTYPE : QOV_INT32 {
    CI_TYPE_NONE = 0,
    CI_TYPE_ENCODER = 1,
    CI_TYPE_DISPLAY = 2,
    CI_TYPE_DATAEXT = 3,
    CI_TYPE_HDREXT = 4,
    CI_TYPE_HDRINS = 5,
    CI_TYPE_RAW2D = 6,
};

// Buffer kind as the driver knows it (values in ci_kernel/ci_ioctrl.h).
enum CI_ALLOC_BUFF : QOV_INT32;

// An HDR-insertion buffer handed to the caller for filling.
typedef struct CI_BUFFER {
    QOV_UINT32 id;
    void *data;
    QOV_UINT32 ui32Size;
} CI_BUFFER;

// Description of one output buffer of a pipeline.
typedef struct CI_BUFFER_INFO {
    QOV_UINT32 id;
    QOV_UINT32 ionFd; // 0 for driver-allocated buffers
    QOV_UINT32 ui32Size;
    CI_ALLOC_BUFF type;
    QOV_BOOL8 bAvailable;
    QOV_BOOL8 bIsTiled;
} CI_BUFFER_INFO;

/*-------------------------------------------------------------------------
 * Lens-shading matrices
 *-------------------------------------------------------------------------*/

// Hardware description of a lens-shading matrix's contents.
typedef struct CI_MODULE_LSH_MAT {
    QOV_UINT16 ui16SkipX;
    QOV_UINT16 ui16SkipY;
    QOV_UINT16 ui16OffsetX;
    QOV_UINT16 ui16OffsetY;
    QOV_UINT8 ui8TileSizeLog2;
    QOV_UINT8 ui8BitsPerDiff;
    QOV_UINT16 ui16Width;    // vertices
    QOV_UINT16 ui16Height;   // vertices
    QOV_UINT16 ui16LineSize; // encoded line size in 16-byte units, minus 1
    QOV_UINT32 ui32Stride;   // bytes between encoded lines
} CI_MODULE_LSH_MAT;

static_assert(sizeof(CI_MODULE_LSH_MAT) == 20);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16SkipX) == 0);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16SkipY) == 2);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16OffsetX) == 4);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16OffsetY) == 6);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui8TileSizeLog2) == 8);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui8BitsPerDiff) == 9);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16Width) == 10);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16Height) == 12);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui16LineSize) == 14);
static_assert(offsetof(CI_MODULE_LSH_MAT, ui32Stride) == 16);

// A lens-shading matrix buffer as the caller sees it.
typedef struct CI_LSHMAT {
    QOV_UINT32 id; // never 0
    void *data;    // write-only mapping
    QOV_UINT32 ui32Size;
    CI_MODULE_LSH_MAT config;
} CI_LSHMAT;

/*-------------------------------------------------------------------------
 * Gaskets
 *-------------------------------------------------------------------------*/

// Bits of CI_GASKET_INFO.eType (0: none).
enum CI_GASKET_TYPE : QOV_UINT8 {
    CI_GASKET_MIPI = 1,
    CI_GASKET_PARALLEL = 2,
};

// Reservation and setup of one sensor input port.
typedef struct CI_GASKET {
    QOV_UINT8 uiGasket;
    QOV_BOOL8 bParallel; // parallel receiver when true, MIPI when false
    QOV_UINT16 uiWidth;
    QOV_UINT16 uiHeight;
    QOV_BOOL8 bVSync;
    QOV_BOOL8 bHSync;
    QOV_UINT8 ui8ParallelBitdepth;
    QOV_UINT8 aReserved0[1];
} CI_GASKET;

static_assert(sizeof(CI_GASKET) == 10);
static_assert(offsetof(CI_GASKET, uiGasket) == 0);
static_assert(offsetof(CI_GASKET, bParallel) == 1);
static_assert(offsetof(CI_GASKET, uiWidth) == 2);
static_assert(offsetof(CI_GASKET, uiHeight) == 4);
static_assert(offsetof(CI_GASKET, bVSync) == 6);
static_assert(offsetof(CI_GASKET, bHSync) == 7);
static_assert(offsetof(CI_GASKET, ui8ParallelBitdepth) == 8);

// Status of one sensor input port.
typedef struct CI_GASKET_INFO {
    QOV_UINT8 eType; // CI_GASKET_TYPE bits
    QOV_UINT8 aReserved0[3];
    QOV_UINT32 ui32FrameCount;
    QOV_UINT8 ui8MipiFifoFull;
    QOV_UINT8 ui8MipiEnabledLanes;
    QOV_UINT8 ui8MipiCrcError;
    QOV_UINT8 ui8MipiHdrError;
    QOV_UINT8 ui8MipiEccError;
    QOV_UINT8 ui8MipiEccCorrected;
    QOV_UINT16 ui16MipiSotErrorCnt;
} CI_GASKET_INFO;

static_assert(sizeof(CI_GASKET_INFO) == 16);
static_assert(offsetof(CI_GASKET_INFO, eType) == 0);
static_assert(offsetof(CI_GASKET_INFO, ui32FrameCount) == 4);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiFifoFull) == 8);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiEnabledLanes) == 9);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiCrcError) == 10);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiHdrError) == 11);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiEccError) == 12);
static_assert(offsetof(CI_GASKET_INFO, ui8MipiEccCorrected) == 13);
static_assert(offsetof(CI_GASKET_INFO, ui16MipiSotErrorCnt) == 14);

/*-------------------------------------------------------------------------
 * Internal data generator and frame converter
 *-------------------------------------------------------------------------*/

// Wire format of data-generator frames.
enum CI_CONV_FMT : QOV_INT32 {
    CI_DGFMT_PARALLEL = 0,
    CI_DGFMT_MIPI = 1,
    CI_DGFMT_MIPI_LF = 2, // MIPI with line-start and line-end packets
    CI_DGFMT_N = 3,
};

static_assert(sizeof(CI_CONV_FMT) == 4);

// Setup of an internal data generator, sent when it starts.
typedef struct CI_DATAGEN {
    QOV_UINT8 ui8IIFDGIndex;
    QOV_BOOL8 bPreload;
    QOV_UINT8 aReserved0[2];
    CI_CONV_FMT eFormat;
    QOV_UINT8 ui8FormatBitdepth;
    QOV_UINT8 ui8Gasket; // the imager input whose data it replaces
    QOV_UINT8 aReserved1[2];
    MOSAICType eBayerMosaic;
} CI_DATAGEN;

static_assert(sizeof(CI_DATAGEN) == 16);
static_assert(offsetof(CI_DATAGEN, ui8IIFDGIndex) == 0);
static_assert(offsetof(CI_DATAGEN, bPreload) == 1);
static_assert(offsetof(CI_DATAGEN, eFormat) == 4);
static_assert(offsetof(CI_DATAGEN, ui8FormatBitdepth) == 8);
static_assert(offsetof(CI_DATAGEN, ui8Gasket) == 9);
static_assert(offsetof(CI_DATAGEN, eBayerMosaic) == 12);

// A data-generator frame as the caller sees it.
typedef struct CI_DG_FRAME {
    void *data; // write-only mapping of the frame buffer
    QOV_UINT32 ui32AllocSize;
    QOV_UINT32 ui32FrameID;
    CI_CONV_FMT eFormat;
    QOV_UINT8 ui8FormatBitdepth;
    MOSAICType eBayerMosaic;
    QOV_UINT32 ui32Stride;      // a multiple of 64
    QOV_UINT32 ui32Width;       // pixels per line
    QOV_UINT32 ui32PacketWidth; // bytes of one line's packet (MIPI)
    QOV_UINT32 ui32Height;
    QOV_UINT32 ui32HorizontalBlanking;
    QOV_UINT32 ui32VerticalBlanking;
} CI_DG_FRAME;

// Line converter: packs NpixelsPerCh pixels of two interleaved channels;
// with a null outPixels it only returns the byte count it would write.
typedef QOV_SIZE (*CI_CONV_LINE_FN)(void *privateData, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                                    QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels);
// Frame header or footer writer, with the same null-output rule.
typedef QOV_SIZE (*CI_CONV_FRAME_FN)(void *privateData, QOV_UINT8 *out);

// Turns images into data-generator frames of one format and bit depth.
typedef struct CI_CONVERTER {
    CI_CONV_FMT eFormat;
    QOV_UINT8 ui8FormatBitdepth;
    CI_CONV_LINE_FN pfnLineConverter;
    CI_CONV_FRAME_FN pfnHeaderWriter; // null for parallel
    CI_CONV_FRAME_FN pfnFooterWriter; // null for parallel
    void *privateData;                // owned by the converter (MIPI), else null
} CI_CONVERTER;

#endif
