// Floating-point configuration of one ISP context (MC_PIPELINE), written by
// the setup modules in natural units, and the per-shot statistics records
// that the statistics extraction fills for the control loops.
//
// These records never reach the driver as they are: the conversion turns
// them into the fixed-point records of CI_PIPELINE.
#ifndef MC_STRUCTS_H
#define MC_STRUCTS_H

#include "qov_types.h"
#include "vezaracommon/pixel_format.h"
#include "ci/ci_api_structs.h"
#include "ci/ci_modules_structs.h"

/*-------------------------------------------------------------------------
 * Module records. Each begins with updateNeeded: its writer sets it when the
 * record changed, its conversion clears it.
 *-------------------------------------------------------------------------*/

// Imager interface.
typedef struct MC_MODULE_IIF {
    QOV_BOOL8 updateNeeded;
    QOV_UINT8 ui8Imager; // gasket number
    MOSAICType eBayerFormat;
    QOV_UINT16 ui16ImagerOffset[2];
    QOV_UINT16 ui16ImagerSize[2]; // in 2x2 CFA cells
    QOV_UINT16 ui16ImagerDecimation[2];
    QOV_UINT8 ui8BlackBorderOffset;
} MC_IIF;

// Black level.
typedef struct MC_BLC {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bBlackFrame;
    QOV_BOOL8 bRowAverage;
    double ui16PixelMax;
    double fRowAverage;
    QOV_INT8 aFixedOffset[4]; // per CFA channel
} MC_BLC;

// Raw look-up table: 16 curve points per CFA channel.
typedef struct MC_MODULE_RLT {
    QOV_BOOL8 updateNeeded;
    CI_RLT_MODES eMode;
    QOV_UINT16 aPoints[4][16];
} MC_RLT;

// Lens-shading gradients: per channel the x and y gradient.
typedef struct MC_LSH {
    QOV_BOOL8 updateNeeded;
    double aGradients[4][2];
} MC_LSH;

// White balance.
typedef struct MC_LSH_WBC {
    QOV_BOOL8 updateNeeded;
    double aGain[4]; // per CFA channel
    double aClip[4];
    WBC_MODES eRGBThresholdMode;
    double afRGBThreshold[3]; // R, G, B
    double afRGBGain[3];
} MC_WBC;

// Denoiser.
typedef struct MC_DNS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bCombineChannels;
    double aPixThresLUT[21];
    QOV_UINT8 ui8SensorBitdepth;
    double fGreyscalePixelThreshold;
} MC_DNS;

// Defective pixels. apDefectInput (x, y pairs) belongs to the record:
// whoever replaces it frees the old one, MC_DPFFree releases it.
typedef struct MC_DPF {
    QOV_BOOL8 updateNeeded;
    QOV_UINT8 eDPFEnable; // DPFEnable bits
    QOV_UINT16 *apDefectInput;
    QOV_UINT32 ui32NDefect;
    QOV_UINT16 ui16NbLines;
    QOV_UINT32 ui32OutputMapSize;
    QOV_UINT8 aSkip[2];
    QOV_UINT16 aOffset[2];
    QOV_UINT8 ui8Threshold;
    double fWeight;
} MC_DPF;

// Lateral chromatic aberration.
typedef struct MC_LCA {
    QOV_BOOL8 updateNeeded;
    double aCoeffRed[3][2];
    QOV_UINT16 aOffsetRed[2];
    double aCoeffBlue[3][2];
    QOV_UINT16 aOffsetBlue[2];
    QOV_UINT8 aShift[2]; // signed shift kept in 8 bits
    QOV_UINT8 aDec[2];
} MC_LCA;

// Colour matrix; all four columns are converted and loaded.
typedef struct MC_CCM {
    QOV_BOOL8 updateNeeded;
    double aCoeff[3][4];
    double aOffset[3];
} MC_CCM;

// Gamut mapper (main and display).
typedef struct MC_GAMUTMAPPER {
    QOV_BOOL8 updateNeeded;
    double fClipMin;
    double fClipMax;
    double fSrcNorm;
    double aSlope[3];
    double aCoeff[6];
} MC_GAMUTMAPPER;

typedef MC_GAMUTMAPPER MC_MGM;
typedef MC_GAMUTMAPPER MC_DGM;

// Gamma: only the bypass; the curve belongs to the connection.
typedef struct MC_MODULE_GMA {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bBypass;
} MC_GMA;

// Colour-plane converter. Rows are output planes, columns input planes;
// the hardware's YCbCr plane order is Cr, Y, Cb.
typedef struct MC_PLANECONV {
    QOV_BOOL8 updateNeeded;
    ePlaneConvType eType;
    double aCoeff[3][3];
    double aOffset[3];
} MC_PLANECONV;

typedef MC_PLANECONV MC_R2Y;
typedef MC_PLANECONV MC_Y2R;

// Image enhancer: vibrancy and memory colours. The hardware uses the first
// three memory colours: the fourth slot of each array is not converted.
typedef struct MC_MIE {
    QOV_BOOL8 updateNeeded;
    double fBlackLevel;
    QOV_BOOL8 bVibrancy;
    double aVibrancySatMul[32];
    QOV_BOOL8 bMemoryColour;
    double aYOffset[4];
    double aYScale[4];
    double aCOffset[4];
    double aCScale[4];
    double aRot[8];
    double aGaussMinY[4];
    double aGaussScaleY[4];
    double aGaussCB[4];
    double aGaussCR[4];
    double aGaussRot[8];
    double aGaussKB[4];
    double aGaussKR[4];
    double aGaussScale[12];
    double aGaussGain[12];
} MC_MIE;

// Tone mapper.
typedef struct MC_TNM {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bBypassTNM;
    QOV_BOOL8 bSetTNMtoPassDataIntact;
    double aCurve[63];
    double histFlattenMin;
    double histFlattenThreshold;
    double chromaSaturationScale;
    double chromaConfigurationScale;
    double chromaIOScale;
    QOV_UINT16 ui16LocalColumns;
    QOV_UINT16 ui16ColumnsIndex;
    double localWeights;
    double updateWeights;
    double inputLumaOffset;
    double inputLumaScale;
    double outputLumaOffset;
    double outputLumaScale;
} MC_TNM;

// Sharpening.
typedef struct MC_SHA {
    QOV_BOOL8 updateNeeded;
    QOV_UINT16 ui16Threshold;
    double fStrength;
    double fDetail;
    QOV_BOOL8 bDenoise;
    double aGainWeigth[6];
    double fELWScale;
    QOV_INT16 i16ELWOffset;
    QOV_UINT16 aDNSimil[7];
    QOV_UINT16 aDNAvoid[7];
} MC_SHA;

// Encoder scaler. Sizes and offsets in pixels; pitch = input / output.
typedef struct MC_ESC {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bBypassESC;
    QOV_BOOL8 bAdjustCutoff;
    QOV_UINT16 aOutputSize[2];
    QOV_UINT16 aOffset[2];
    double aPitch[2]; // horizontal, vertical
    QOV_BOOL8 bChromaInter;
} MC_ESC;

// Display scaler.
typedef struct MC_DSC {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bBypassDSC;
    QOV_BOOL8 bAdjustCutoff;
    QOV_UINT16 aOutputSize[2];
    QOV_UINT16 aOffset[2];
    double aPitch[2];
} MC_DSC;

inline constexpr QOV_UINT32 MC_HDR_WEIGHT_POINTS = 4096;
inline constexpr QOV_UINT32 MC_HDR_TNM_POINTS = 3328;

// HDR merge.
typedef struct MC_MODULE_HDR {
    QOV_BOOL8 updateNeeded;
    HDR_MODES eHDRMode;
    MOSAICType eBayerMode;
    QOV_BOOL8 bLongExpFirst;
    QOV_UINT16 aFrameSize[2];
    QOV_UINT32 ui32LineGap;
    QOV_UINT16 aBlackLevel[2];
    double fExposureRatio;
    double fGain;
    double aWeightCurve[MC_HDR_WEIGHT_POINTS];
    double aLumCoeffs[3];
    double aTNMCurve[MC_HDR_TNM_POINTS];
} MC_HDR;

// Exposure statistics: grid start and tile size in pixels.
typedef struct MC_EXS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bGlobalEnable;
    QOV_BOOL8 bRegionEnable;
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
    double fPixelMax;
} MC_EXS;

// Focus statistics: grid and region of interest in pixels.
typedef struct MC_FOS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bGlobalEnable;
    QOV_BOOL8 bRegionEnable;
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
    QOV_UINT16 ui16ROILeft;
    QOV_UINT16 ui16ROITop;
    QOV_UINT16 ui16ROIWidth;
    QOV_UINT16 ui16ROIHeight;
} MC_FOS;

// White-balance statistics: up to two regions.
typedef struct MC_WBS {
    QOV_BOOL8 updateNeeded;
    QOV_UINT8 ui8ActiveROI; // 0 to 2 regions
    double fRGBOffset;
    double fYOffset;
    QOV_UINT16 aRoiLeft[2];
    QOV_UINT16 aRoiTop[2];
    QOV_UINT16 aRoiWidth[2];
    QOV_UINT16 aRoiHeight[2];
    QOV_UINT16 aRMax[2];
    QOV_UINT16 aGMax[2];
    QOV_UINT16 aBMax[2];
    QOV_UINT16 aYMax[2];
} MC_WBS;

// White-balance tile statistics. Grid values in pixels.
typedef struct MC_AWS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bEnable;
    QOV_BOOL8 bDebugBitmap;
    double fLog2_R_Qeff;
    double fLog2_B_Qeff;
    double fRedDarkThresh;
    double fBlueDarkThresh;
    double fGreenDarkThresh;
    double fRedClipThresh;
    double fBlueClipThresh;
    double fGreenClipThresh;
    double fBbDist;
    QOV_UINT16 ui16GridStartRow;
    QOV_UINT16 ui16GridStartColumn;
    QOV_UINT16 ui16GridTileWidth;
    QOV_UINT16 ui16GridTileHeight;
    double aCurveCoeffX[5];
    double aCurveCoeffY[5];
    double aCurveOffset[5];
    double aCurveBoundary[5];
} MC_AWS;

// Histogram statistics.
typedef struct MC_HIS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bGlobalEnable;
    QOV_BOOL8 bRegionEnable;
    double fInputOffset;
    double fInputScale;
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
} MC_HIS;

// Flicker detection.
typedef struct MC_FLD {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bEnable;
    QOV_UINT16 ui16VTot; // sensor lines per frame
    double fFrameRate;
    QOV_UINT16 ui16CoefDiff;
    QOV_UINT16 ui16NFThreshold;
    QOV_UINT32 ui32SceneChange;
    QOV_UINT8 ui8RShift;
    QOV_UINT8 ui8MinPN;
    QOV_UINT8 ui8PN;
    QOV_BOOL8 bReset;
} MC_FLD;

// Encoder statistics.
typedef struct MC_ENS {
    QOV_BOOL8 updateNeeded;
    QOV_BOOL8 bEnable;
    QOV_UINT32 ui32NLines;
    QOV_UINT32 ui32KernelSubsampling;
} MC_ENS;

/*-------------------------------------------------------------------------
 * The whole configuration of one context (a large object: the HDR curves
 * alone are 7424 doubles).
 *-------------------------------------------------------------------------*/

typedef struct MC_PIPELINE {
    const CI_HWINFO *pHWInfo; // of the connection; set by MC_PipelineInit
    pxlFormat eEncOutput;
    pxlFormat eDispOutput; // display or data-extraction output
    pxlFormat eHDRExtOutput;
    pxlFormat eHDRInsertion;
    pxlFormat eRaw2DExtOutput;
    CI_INOUT_POINTS eDEPoint; // CI_INOUT_NONE: a real display output
    QOV_UINT16 ui16SystemBlackLevel;
    QOV_BOOL8 bEnableCRC;
    QOV_BOOL8 bEnableTimestamp;

    MC_IIF sIIF;
    MC_BLC sBLC;
    MC_RLT sRLT;
    MC_LSH sLSH;
    MC_WBC sWBC;
    MC_DNS sDNS;
    MC_DPF sDPF;
    MC_LCA sLCA;
    MC_CCM sCCM;
    MC_MGM sMGM;
    MC_GMA sGMA;
    MC_R2Y sR2Y;
    MC_MIE sMIE;
    MC_TNM sTNM;
    MC_SHA sSHA;
    MC_ESC sESC;
    MC_DSC sDSC;
    MC_Y2R sY2R;
    MC_DGM sDGM;
    MC_HDR sHDR;
    MC_EXS sEXS;
    MC_FOS sFOS;
    MC_WBS sWBS;
    MC_AWS sAWS;
    MC_HIS sHIS;
    MC_FLD sFLD;
    MC_ENS sENS;
} MC_PIPELINE;

/*-------------------------------------------------------------------------
 * Statistics of one shot, copied out of its statistics block.
 *-------------------------------------------------------------------------*/

// Exposure: clipped-pixel counts of the image and of each 7x7 tile per channel.
typedef struct MC_STATS_EXS {
    QOV_UINT32 globalClipped[4];
    QOV_UINT32 regionClipped[7][7][4];
} MC_STATS_EXS;

// Focus: sharpness of the region of interest and of each tile, row by row.
typedef struct MC_STATS_FOS {
    QOV_UINT32 ROISharpness;
    QOV_UINT32 gridSharpness[7][7];
} MC_STATS_FOS;

// Histograms: 64 bins of the image, 16 bins per tile [row][column][bin].
typedef struct MC_STATS_HIS {
    QOV_UINT32 globalHistogram[64];
    QOV_UINT32 regionHistograms[7][7][16];
} MC_STATS_HIS;

// White balance, channels red, green, blue.
typedef struct MC_STATS_WBS_WP {
    QOV_UINT32 channelAccumulated[3];
    QOV_UINT32 channelCount[3];
} MC_STATS_WBS_WP;

typedef struct MC_STATS_WBS_AC {
    QOV_UINT32 channelAccumulated[3];
} MC_STATS_WBS_AC;

typedef struct MC_STATS_WBS_HLW {
    QOV_UINT32 channelAccumulated[3];
    QOV_UINT32 lumaCount;
} MC_STATS_WBS_HLW;

typedef struct MC_STATS_WBS {
    MC_STATS_WBS_WP whitePatch[2];
    MC_STATS_WBS_AC averageColor[2];
    MC_STATS_WBS_HLW highLuminance[2];
} MC_STATS_WBS;

// White-balance tiles: sums of base-2 logarithms of the channels per tile.
typedef struct MC_TILE_STATS_AWS {
    double fCollectedRed;
    double fCollectedBlue;
    double fCollectedGreen;
    QOV_UINT32 numCFAs;
} MC_TILE_STATS_AWS;

typedef struct MC_STATS_AWS {
    MC_TILE_STATS_AWS tileStats[7][7];
} MC_STATS_AWS;

// Flicker status: the hardware's own codes, taken as they are (3 bits).
enum FLD_STATUS : QOV_INT32 {
    FLD_NO_FLICKER = 0,
    FLD_50HZ = 1,
    FLD_60HZ = 2,
    FLD_UNDETERMINED = 3,
    FLD_WAITING = 4,
};

typedef struct MC_STATS_FLD {
    FLD_STATUS flickerStatus;
} MC_STATS_FLD;

typedef struct MC_STATS_TIMESTAMP {
    QOV_UINT32 ui32LinkedListUpdated;
    QOV_UINT32 ui32StartFrameIn;
    QOV_UINT32 ui32EndFrameIn;
    QOV_UINT32 ui32StartFrameOut;
    QOV_UINT32 ui32EndFrameEncOut;
    QOV_UINT32 ui32EndFrameDispOut;
    QOV_UINT32 ui32InterruptServiced;
    QOV_UINT64 ui64LinkedListSysTime;
    QOV_UINT64 ui64InterruptSysTime;
} MC_STATS_TIMESTAMP;

typedef struct MC_STATS_DPF {
    QOV_UINT32 ui32FixedPixels;
    QOV_UINT32 ui32MapModifications;
    QOV_UINT32 ui32DroppedMapModifications;
    QOV_UINT32 ui32NOutCorrection; // modifications - dropped
} MC_STATS_DPF;

#endif
