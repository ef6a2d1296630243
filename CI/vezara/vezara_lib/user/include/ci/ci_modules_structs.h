// Fixed-point records of the ISP modules as the driver and the load structure
// take them, the statistics configuration of a pipeline, the update-mask bits,
// and the fixed layout of the per-shot statistics block.
//
// Every record is native little-endian with natural alignment. Gaps are
// spelled out as reserved bytes (sent as zero) so that the layout never
// depends on the compiler's padding; the static_asserts pin every offset.
#ifndef CI_MODULES_STRUCTS_H
#define CI_MODULES_STRUCTS_H

#include <cstddef>

#include "qov_types.h"
#include "vezaracommon/pixel_format.h"

static_assert(sizeof(MOSAICType) == 4 && sizeof(HDR_MODES) == 4, "hardware enums travel as 32 bits");

/*-------------------------------------------------------------------------
 * Update mask
 *-------------------------------------------------------------------------*/

// Bits of an update mask (an int): the groups of the load structure to
// rewrite, then the tables the driver writes from the pipeline information.
enum CI_MODULE_UPDATE : QOV_INT32 {
    CI_UPD_GRP_0 = 1,
    CI_UPD_GRP_1 = 2,
    CI_UPD_GRP_2 = 4,
    CI_UPD_GRP_3 = 8,
    CI_UPD_GRP_4 = 16,
    CI_UPD_GRP_5 = 32,
    CI_UPD_GRP_6 = 64,
    CI_UPD_LSH_REG = 128,   // lens-shading matrix registers
    CI_UPD_DPF_INPUT = 256, // defect-map input (also the alias of DPF with a replaced map)
    CI_UPD_AWS_REG = 512,   // white-balance-tile curve registers
    CI_UPD_HDR = 1024,      // HDR tables (also the alias of the HDR module)
    CI_UPD_ALL = 2047,

    // Per module: exactly the bits its conversion sets. IIF and ENS have none:
    // they travel inside the pipeline information itself.
    CI_UPD_BLC = CI_UPD_GRP_0,
    CI_UPD_RLT = CI_UPD_GRP_0,
    CI_UPD_EXS = CI_UPD_GRP_0,
    CI_UPD_LSH = CI_UPD_GRP_0 | CI_UPD_LSH_REG,
    CI_UPD_WBC = CI_UPD_GRP_0 | CI_UPD_GRP_2,
    CI_UPD_DNS = CI_UPD_GRP_1,
    CI_UPD_DPF = CI_UPD_GRP_1,
    CI_UPD_LCA = CI_UPD_GRP_1,
    CI_UPD_FOS = CI_UPD_GRP_1,
    CI_UPD_CCM = CI_UPD_GRP_2,
    CI_UPD_MGM = CI_UPD_GRP_2,
    CI_UPD_GMA = CI_UPD_GRP_2,
    CI_UPD_R2Y = CI_UPD_GRP_2,
    CI_UPD_WBS = CI_UPD_GRP_2,
    CI_UPD_HIS = CI_UPD_GRP_2,
    CI_UPD_MIE = CI_UPD_GRP_3,
    CI_UPD_TNM = CI_UPD_GRP_3,
    CI_UPD_FLD = CI_UPD_GRP_3,
    CI_UPD_SHA = CI_UPD_GRP_4,
    CI_UPD_ESC = CI_UPD_GRP_5,
    CI_UPD_DSC = CI_UPD_GRP_6,
    CI_UPD_Y2R = CI_UPD_GRP_6,
    CI_UPD_DGM = CI_UPD_GRP_6,
    CI_UPD_AWS = CI_UPD_GRP_0 | CI_UPD_AWS_REG,
};

static_assert(sizeof(CI_MODULE_UPDATE) == 4);
static_assert(CI_UPD_ALL == 2047);
static_assert(CI_UPD_LSH == 129 && CI_UPD_WBC == 5 && CI_UPD_AWS == 513);
static_assert(CI_UPD_DPF_INPUT == 256 && CI_UPD_HDR == 1024);

// Statistics output flags of a pipeline and of every shot (eOutputConfig).
enum CI_SAVE_CONFIG_FLAGS : QOV_UINT32 {
    CI_SAVE_NO_STATS = 0,
    CI_SAVE_EXS_GLOBAL = 1,
    CI_SAVE_EXS_REGION = 2,
    CI_SAVE_FOS_ROI = 4,
    CI_SAVE_FOS_GRID = 8,
    CI_SAVE_WHITEBALANCE = 16,
    CI_SAVE_WHITEBALANCE_EXT = 32,
    CI_SAVE_HIST_GLOBAL = 64,
    CI_SAVE_HIST_REGION = 128,
    CI_SAVE_FLICKER = 256,
    CI_SAVE_CRC = 512,
    CI_SAVE_TIMESTAMP = 1024,
    CI_SAVE_ENS = 2048,
    CI_SAVE_ALL = 4095,
};

static_assert(sizeof(CI_SAVE_CONFIG_FLAGS) == 4);

/*-------------------------------------------------------------------------
 * Enumerations shared with the floating-point configuration
 *-------------------------------------------------------------------------*/

enum CI_RLT_MODES : QOV_INT32 {
    CI_RLT_DISABLED = 0,
    CI_RLT_LINEAR = 1,
    CI_RLT_CUBIC = 2,
};

// How the white-balance block treats RGB values above its thresholds.
enum WBC_MODES : QOV_INT32 {
    WBC_SATURATION = 0,
    WBC_THRESHOLD = 1,
};

enum ePlaneConvType : QOV_INT32 {
    RGB_TO_YCC = 0,
    YCC_TO_RGB = 1,
    YCC_TO_YCC = 2,
};

// Bits of the defective-pixel enable field.
enum DPFEnable : QOV_INT32 {
    CI_DPF_DETECT_ENABLED = 1,
    CI_DPF_WRITE_MAP_ENABLED = 2,
    CI_DPF_READ_MAP_ENABLED = 4,
};

static_assert(sizeof(CI_RLT_MODES) == 4 && sizeof(WBC_MODES) == 4 && sizeof(ePlaneConvType) == 4);

/*-------------------------------------------------------------------------
 * Bayer front end
 *-------------------------------------------------------------------------*/

// Imager interface. Sizes are in 2x2 CFA cells minus 1.
typedef struct CI_MODULE_IIF {
    QOV_UINT16 ui16ScalerBottomBorder; // 0, 2 or 4 lines
    QOV_UINT8 ui8Imager;
    QOV_UINT8 aReserved0[1];
    MOSAICType eBayerFormat;
    QOV_UINT16 ui16BuffThreshold;
    QOV_UINT16 ui16ImagerOffset[2];
    QOV_UINT16 ui16ImagerSize[2];
    QOV_UINT16 ui16ImagerDecimation[2];
    QOV_UINT8 ui8BlackBorderOffset;
    QOV_UINT8 aReserved1[1];
} CI_MODULE_IIF;

static_assert(sizeof(CI_MODULE_IIF) == 24);
static_assert(offsetof(CI_MODULE_IIF, ui16ScalerBottomBorder) == 0);
static_assert(offsetof(CI_MODULE_IIF, ui8Imager) == 2);
static_assert(offsetof(CI_MODULE_IIF, eBayerFormat) == 4);
static_assert(offsetof(CI_MODULE_IIF, ui16BuffThreshold) == 8);
static_assert(offsetof(CI_MODULE_IIF, ui16ImagerOffset) == 10);
static_assert(offsetof(CI_MODULE_IIF, ui16ImagerSize) == 14);
static_assert(offsetof(CI_MODULE_IIF, ui16ImagerDecimation) == 18);
static_assert(offsetof(CI_MODULE_IIF, ui8BlackBorderOffset) == 22);

// Black level.
typedef struct CI_MODULE_BLC {
    QOV_BOOL8 bRowAverage;
    QOV_BOOL8 bBlackFrame;
    QOV_UINT16 ui16RowReciprocal; // U1.9
    QOV_UINT16 ui16PixelMax;      // U6.2
    QOV_INT8 i8FixedOffset[4];
} CI_MODULE_BLC;

static_assert(sizeof(CI_MODULE_BLC) == 10);
static_assert(offsetof(CI_MODULE_BLC, bBlackFrame) == 1);
static_assert(offsetof(CI_MODULE_BLC, ui16RowReciprocal) == 2);
static_assert(offsetof(CI_MODULE_BLC, ui16PixelMax) == 4);
static_assert(offsetof(CI_MODULE_BLC, i8FixedOffset) == 6);

// Raw look-up table: 16 points per CFA channel.
typedef struct CI_MODULE_RLT {
    CI_RLT_MODES eMode;
    QOV_UINT16 aPoints[4][16];
} CI_MODULE_RLT;

static_assert(sizeof(CI_MODULE_RLT) == 132);
static_assert(offsetof(CI_MODULE_RLT, aPoints) == 4);

// Lens-shading gradients: S-1.12 values as 16-bit two's complement.
typedef struct CI_MODULE_LSH {
    QOV_UINT16 aGradientsX[4];
    QOV_UINT16 aGradientsY[4];
} CI_MODULE_LSH;

static_assert(sizeof(CI_MODULE_LSH) == 16);
static_assert(offsetof(CI_MODULE_LSH, aGradientsY) == 8);

// White balance.
typedef struct CI_MODULE_WBC {
    QOV_UINT16 aGain[4]; // U6.10
    QOV_UINT16 aClip[4]; // U9.4
    WBC_MODES eRGBThresholdMode;
    QOV_UINT16 aRGBThreshold[3]; // unsigned 9 bits
    QOV_UINT8 aRGBGain[3];       // U4.4
    QOV_UINT8 aReserved0[3];
} CI_MODULE_WBC;

static_assert(sizeof(CI_MODULE_WBC) == 32);
static_assert(offsetof(CI_MODULE_WBC, aClip) == 8);
static_assert(offsetof(CI_MODULE_WBC, eRGBThresholdMode) == 16);
static_assert(offsetof(CI_MODULE_WBC, aRGBThreshold) == 20);
static_assert(offsetof(CI_MODULE_WBC, aRGBGain) == 26);

// Denoiser.
typedef struct CI_MODULE_DNS {
    QOV_BOOL8 bCombineChannels;
    QOV_INT8 i8Log2PixThresh;     // S3.3
    QOV_UINT16 aPixThresLUT[21];  // U8.5
} CI_MODULE_DNS;

static_assert(sizeof(CI_MODULE_DNS) == 44);
static_assert(offsetof(CI_MODULE_DNS, i8Log2PixThresh) == 1);
static_assert(offsetof(CI_MODULE_DNS, aPixThresLUT) == 2);

// Defect-map input of the defective-pixel block; apDefectInput (x, y pairs)
// is owned by the record that holds it.
typedef struct CI_MODULE_DPF_INPUT {
    QOV_UINT16 *apDefectInput;
    QOV_UINT32 ui32NDefect;
    QOV_UINT16 ui16InternalBufSize;
    QOV_UINT8 aReserved0[2];
} CI_MODULE_DPF_INPUT;

static_assert(sizeof(void *) == 8, "records are laid out for 64-bit pointers");
static_assert(sizeof(CI_MODULE_DPF_INPUT) == 16);
static_assert(offsetof(CI_MODULE_DPF_INPUT, ui32NDefect) == 8);
static_assert(offsetof(CI_MODULE_DPF_INPUT, ui16InternalBufSize) == 12);

// Defective pixels.
typedef struct CI_MODULE_DPF {
    QOV_UINT8 eDPFEnable; // DPFEnable bits
    QOV_UINT8 ui8Threshold;
    QOV_UINT8 ui8Weight; // U6.0
    QOV_UINT8 ui8PositiveThreshold;
    QOV_UINT8 ui8NegativeThreshold;
    QOV_UINT8 aSkip[2];
    QOV_UINT8 aReserved0[1];
    QOV_UINT16 aOffset[2];
    QOV_UINT8 aReserved1[4];
    CI_MODULE_DPF_INPUT sInput;
} CI_MODULE_DPF;

static_assert(sizeof(CI_MODULE_DPF) == 32);
static_assert(offsetof(CI_MODULE_DPF, ui8Threshold) == 1);
static_assert(offsetof(CI_MODULE_DPF, ui8Weight) == 2);
static_assert(offsetof(CI_MODULE_DPF, ui8PositiveThreshold) == 3);
static_assert(offsetof(CI_MODULE_DPF, ui8NegativeThreshold) == 4);
static_assert(offsetof(CI_MODULE_DPF, aSkip) == 5);
static_assert(offsetof(CI_MODULE_DPF, aOffset) == 8);
static_assert(offsetof(CI_MODULE_DPF, sInput) == 16);

// Lateral chromatic aberration.
typedef struct CI_MODULE_LCA {
    QOV_INT16 aCoeffRed[3][2]; // S5.7
    QOV_UINT16 aOffsetRed[2];
    QOV_INT16 aCoeffBlue[3][2]; // S5.7
    QOV_UINT16 aOffsetBlue[2];
    QOV_UINT8 aShift[2]; // signed shift kept in 8 bits
    QOV_UINT8 aDec[2];
} CI_MODULE_LCA;

static_assert(sizeof(CI_MODULE_LCA) == 36);
static_assert(offsetof(CI_MODULE_LCA, aOffsetRed) == 12);
static_assert(offsetof(CI_MODULE_LCA, aCoeffBlue) == 16);
static_assert(offsetof(CI_MODULE_LCA, aOffsetBlue) == 28);
static_assert(offsetof(CI_MODULE_LCA, aShift) == 32);
static_assert(offsetof(CI_MODULE_LCA, aDec) == 34);

/*-------------------------------------------------------------------------
 * Colour, tone and scaling
 *-------------------------------------------------------------------------*/

// Colour matrix.
typedef struct CI_MODULE_CCM {
    QOV_INT16 aCoeff[3][4]; // S3.9
    QOV_INT16 aOffset[3];
} CI_MODULE_CCM;

static_assert(sizeof(CI_MODULE_CCM) == 30);
static_assert(offsetof(CI_MODULE_CCM, aOffset) == 24);

// Gamut mapper (main and display).
typedef struct CI_MODULE_GAMUTMAPPER {
    QOV_INT16 i16ClipMin;   // S10.2 of value x 256
    QOV_UINT16 ui16ClipMax; // S10.2 of value x 256
    QOV_UINT16 ui16SrcNorm; // S10.2 of value x 256
    QOV_UINT16 aSlope[3];   // U2.10
    QOV_INT16 aCoeff[6];    // S2.6
} CI_MODULE_GAMUTMAPPER;

typedef CI_MODULE_GAMUTMAPPER CI_MODULE_MGM;
typedef CI_MODULE_GAMUTMAPPER CI_MODULE_DGM;

static_assert(sizeof(CI_MODULE_GAMUTMAPPER) == 24);
static_assert(offsetof(CI_MODULE_GAMUTMAPPER, ui16ClipMax) == 2);
static_assert(offsetof(CI_MODULE_GAMUTMAPPER, ui16SrcNorm) == 4);
static_assert(offsetof(CI_MODULE_GAMUTMAPPER, aSlope) == 6);
static_assert(offsetof(CI_MODULE_GAMUTMAPPER, aCoeff) == 12);

// Gamma: only the bypass; the curve belongs to the driver connection.
typedef struct CI_MODULE_GMA {
    QOV_BOOL8 bBypass;
} CI_MODULE_GMA;

static_assert(sizeof(CI_MODULE_GMA) == 1);

// Colour-plane converter (RGB to YCC and YCC to RGB).
typedef struct CI_MODULE_PLANECONV {
    ePlaneConvType eType;
    QOV_INT16 aCoeff[3][3];
    QOV_INT16 aOffset[3];
} CI_MODULE_PLANECONV;

typedef CI_MODULE_PLANECONV CI_MODULE_R2Y;
typedef CI_MODULE_PLANECONV CI_MODULE_Y2R;

static_assert(sizeof(CI_MODULE_PLANECONV) == 28);
static_assert(offsetof(CI_MODULE_PLANECONV, aCoeff) == 4);
static_assert(offsetof(CI_MODULE_PLANECONV, aOffset) == 22);

// Image enhancer: vibrancy and three memory colours.
typedef struct CI_MODULE_MIE {
    QOV_UINT16 ui16BlackLevel; // U8.2
    QOV_BOOL8 bVibrancy;
    QOV_UINT8 aReserved0[1];
    QOV_UINT16 aVibrancySatMul[32]; // U4.8
    QOV_BOOL8 bMemoryColour;
    QOV_UINT8 aReserved1[1];
    QOV_INT16 aYOffset[3];
    QOV_INT16 aCOffset[3]; // S9.1
    QOV_UINT8 aYScale[3];  // U2.4
    QOV_UINT8 aCScale[3];  // U4.4
    QOV_INT8 aRot[6];      // S1.7
    QOV_UINT16 aGaussMinY[3];
    QOV_UINT8 aGaussScaleY[3]; // U4.4
    QOV_INT8 aGaussCB[3];      // low byte of a signed 10-bit value
    QOV_INT8 aGaussCR[3];
    QOV_INT8 aGaussRot[6]; // S1.7
    QOV_UINT8 aGaussKB[3];
    QOV_UINT8 aGaussKR[3];
    QOV_UINT8 aGaussScale[12];
    QOV_UINT8 aGaussGain[12]; // U0.8
    QOV_UINT8 aReserved2[1];
} CI_MODULE_MIE;

static_assert(sizeof(CI_MODULE_MIE) == 146);
static_assert(offsetof(CI_MODULE_MIE, bVibrancy) == 2);
static_assert(offsetof(CI_MODULE_MIE, aVibrancySatMul) == 4);
static_assert(offsetof(CI_MODULE_MIE, bMemoryColour) == 68);
static_assert(offsetof(CI_MODULE_MIE, aYOffset) == 70);
static_assert(offsetof(CI_MODULE_MIE, aCOffset) == 76);
static_assert(offsetof(CI_MODULE_MIE, aYScale) == 82);
static_assert(offsetof(CI_MODULE_MIE, aCScale) == 85);
static_assert(offsetof(CI_MODULE_MIE, aRot) == 88);
static_assert(offsetof(CI_MODULE_MIE, aGaussMinY) == 94);
static_assert(offsetof(CI_MODULE_MIE, aGaussScaleY) == 100);
static_assert(offsetof(CI_MODULE_MIE, aGaussCB) == 103);
static_assert(offsetof(CI_MODULE_MIE, aGaussCR) == 106);
static_assert(offsetof(CI_MODULE_MIE, aGaussRot) == 109);
static_assert(offsetof(CI_MODULE_MIE, aGaussKB) == 115);
static_assert(offsetof(CI_MODULE_MIE, aGaussKR) == 118);
static_assert(offsetof(CI_MODULE_MIE, aGaussScale) == 121);
static_assert(offsetof(CI_MODULE_MIE, aGaussGain) == 133);

// Tone mapper.
typedef struct CI_MODULE_TNM {
    QOV_UINT16 aCurve[63]; // U1.11
    QOV_BOOL8 bBypassTNM;
    QOV_UINT8 aReserved0[1];
    QOV_UINT16 histFlattenMin;          // U0.11
    QOV_UINT16 histFlattenThreshold[2]; // U0.11, U4.12
    QOV_UINT16 histNormFactor;          // U0.16
    QOV_UINT16 histNormLastFactor;      // U0.16
    QOV_UINT16 chromaSaturationScale;   // U4.8
    QOV_UINT16 chromaConfigurationScale; // U6.10
    QOV_UINT16 chromaIOScale;           // U2.14
    QOV_UINT16 localColWidth[2];        // width, U0.16 reciprocal
    QOV_UINT16 localColumns;
    QOV_UINT16 columnsIdx;
    QOV_UINT16 localWeights;  // U0.10
    QOV_UINT16 updateWeights; // U0.16
    QOV_UINT16 inputLumaOffset;  // U8.4
    QOV_UINT16 outputLumaOffset; // U8.4
    QOV_UINT16 inputLumaScale;   // U4.12
    QOV_UINT16 outputLumaScale;  // U4.12
} CI_MODULE_TNM;

static_assert(sizeof(CI_MODULE_TNM) == 164);
static_assert(offsetof(CI_MODULE_TNM, bBypassTNM) == 126);
static_assert(offsetof(CI_MODULE_TNM, histFlattenMin) == 128);
static_assert(offsetof(CI_MODULE_TNM, histFlattenThreshold) == 130);
static_assert(offsetof(CI_MODULE_TNM, histNormFactor) == 134);
static_assert(offsetof(CI_MODULE_TNM, histNormLastFactor) == 136);
static_assert(offsetof(CI_MODULE_TNM, chromaSaturationScale) == 138);
static_assert(offsetof(CI_MODULE_TNM, chromaConfigurationScale) == 140);
static_assert(offsetof(CI_MODULE_TNM, chromaIOScale) == 142);
static_assert(offsetof(CI_MODULE_TNM, localColWidth) == 144);
static_assert(offsetof(CI_MODULE_TNM, localColumns) == 148);
static_assert(offsetof(CI_MODULE_TNM, columnsIdx) == 150);
static_assert(offsetof(CI_MODULE_TNM, localWeights) == 152);
static_assert(offsetof(CI_MODULE_TNM, updateWeights) == 154);
static_assert(offsetof(CI_MODULE_TNM, inputLumaOffset) == 156);
static_assert(offsetof(CI_MODULE_TNM, outputLumaOffset) == 158);
static_assert(offsetof(CI_MODULE_TNM, inputLumaScale) == 160);
static_assert(offsetof(CI_MODULE_TNM, outputLumaScale) == 162);

// Sharpening.
typedef struct CI_MODULE_SHA {
    QOV_UINT8 ui8Threshold;
    QOV_UINT8 ui8Strength;
    QOV_UINT8 ui8Detail; // U0.6
    QOV_BOOL8 bDenoiseBypass;
    QOV_UINT8 aGainWeight[6];
    QOV_UINT8 ui8ELWScale;
    QOV_INT8 i8ELWOffset;
    QOV_UINT8 aDNSimil[7];
    QOV_UINT8 aDNAvoid[7];
} CI_MODULE_SHA;

static_assert(sizeof(CI_MODULE_SHA) == 26);
static_assert(offsetof(CI_MODULE_SHA, bDenoiseBypass) == 3);
static_assert(offsetof(CI_MODULE_SHA, aGainWeight) == 4);
static_assert(offsetof(CI_MODULE_SHA, ui8ELWScale) == 10);
static_assert(offsetof(CI_MODULE_SHA, i8ELWOffset) == 11);
static_assert(offsetof(CI_MODULE_SHA, aDNSimil) == 12);
static_assert(offsetof(CI_MODULE_SHA, aDNAvoid) == 19);

// Scaler (encoder and display). Tap matrices are 4 phases x taps.
typedef struct CI_MODULE_SCALER {
    QOV_BOOL8 bIsDisplay; // selects the register set the record is loaded into
    QOV_BOOL8 bBypassScaler;
    QOV_UINT16 aOutputSize[2]; // width / 2 - 1, height - 1
    QOV_UINT8 aReserved0[2];
    QOV_UINT32 aPitch[2]; // U6.15
    QOV_BOOL8 bChromaInter;
    QOV_BOOL8 bOutput422;
    QOV_UINT16 aOffset[2];
    QOV_INT8 VLuma[32];
    QOV_INT8 HLuma[64];
    QOV_INT8 VChroma[16];
    QOV_INT8 HChroma[32];
    QOV_UINT8 aReserved1[2];
} CI_MODULE_SCALER;

typedef CI_MODULE_SCALER CI_MODULE_ESC;
typedef CI_MODULE_SCALER CI_MODULE_DSC;

static_assert(sizeof(CI_MODULE_SCALER) == 168);
static_assert(offsetof(CI_MODULE_SCALER, bBypassScaler) == 1);
static_assert(offsetof(CI_MODULE_SCALER, aOutputSize) == 2);
static_assert(offsetof(CI_MODULE_SCALER, aPitch) == 8);
static_assert(offsetof(CI_MODULE_SCALER, bChromaInter) == 16);
static_assert(offsetof(CI_MODULE_SCALER, bOutput422) == 17);
static_assert(offsetof(CI_MODULE_SCALER, aOffset) == 18);
static_assert(offsetof(CI_MODULE_SCALER, VLuma) == 22);
static_assert(offsetof(CI_MODULE_SCALER, HLuma) == 54);
static_assert(offsetof(CI_MODULE_SCALER, VChroma) == 118);
static_assert(offsetof(CI_MODULE_SCALER, HChroma) == 134);

// HDR merge.
typedef struct CI_MODULE_HDR {
    HDR_MODES eHDRMode;
    MOSAICType eBayerMode;
    QOV_BOOL8 bLongExpFirst;
    QOV_UINT8 aReserved0[1];
    QOV_UINT16 aFrameSize[2];
    QOV_UINT16 aBlackLevel[2];
    QOV_UINT8 aReserved1[2];
    QOV_UINT32 ui32LineGap;
    QOV_UINT16 ui16ExposureRatio; // U8.8
    QOV_UINT16 ui16Gain;          // U8.8
    QOV_UINT16 aWeightCurve[4096]; // U1.8
    QOV_UINT16 aWBCGains[4];       // U3.10
    QOV_UINT16 aLumCoeffs[3];      // U0.12
    QOV_UINT16 aTNMCurve[3328];    // U12.0 of value x 4096
    QOV_BOOL8 bUpdateWeight;       // a weight-curve entry changed in the last conversion
    QOV_BOOL8 bUpdateTNM;          // a tone-curve entry changed in the last conversion
} CI_MODULE_HDR;

static_assert(sizeof(CI_MODULE_HDR) == 14892);
static_assert(offsetof(CI_MODULE_HDR, eBayerMode) == 4);
static_assert(offsetof(CI_MODULE_HDR, bLongExpFirst) == 8);
static_assert(offsetof(CI_MODULE_HDR, aFrameSize) == 10);
static_assert(offsetof(CI_MODULE_HDR, aBlackLevel) == 14);
static_assert(offsetof(CI_MODULE_HDR, ui32LineGap) == 20);
static_assert(offsetof(CI_MODULE_HDR, ui16ExposureRatio) == 24);
static_assert(offsetof(CI_MODULE_HDR, ui16Gain) == 26);
static_assert(offsetof(CI_MODULE_HDR, aWeightCurve) == 28);
static_assert(offsetof(CI_MODULE_HDR, aWBCGains) == 8220);
static_assert(offsetof(CI_MODULE_HDR, aLumCoeffs) == 8228);
static_assert(offsetof(CI_MODULE_HDR, aTNMCurve) == 8234);
static_assert(offsetof(CI_MODULE_HDR, bUpdateWeight) == 14890);
static_assert(offsetof(CI_MODULE_HDR, bUpdateTNM) == 14891);

/*-------------------------------------------------------------------------
 * Statistics configuration
 *-------------------------------------------------------------------------*/

// Exposure statistics: grid start and tile size.
typedef struct CI_MODULE_EXS {
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
    QOV_UINT16 ui16PixelMax;
} CI_MODULE_EXS;

static_assert(sizeof(CI_MODULE_EXS) == 10);
static_assert(offsetof(CI_MODULE_EXS, ui16PixelMax) == 8);

// Focus statistics: grid and region of interest (inclusive corners).
typedef struct CI_MODULE_FOS {
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
    QOV_UINT16 ui16ROILeft;
    QOV_UINT16 ui16ROITop;
    QOV_UINT16 ui16ROIRight;
    QOV_UINT16 ui16ROIBottom;
} CI_MODULE_FOS;

static_assert(sizeof(CI_MODULE_FOS) == 16);
static_assert(offsetof(CI_MODULE_FOS, ui16ROILeft) == 8);
static_assert(offsetof(CI_MODULE_FOS, ui16ROIBottom) == 14);

// White-balance statistics: two regions (inclusive corners).
typedef struct CI_MODULE_WBS {
    QOV_UINT16 aRoiLeft[2];
    QOV_UINT16 aRoiTop[2];
    QOV_UINT16 aRoiRight[2];
    QOV_UINT16 aRoiBottom[2];
    QOV_UINT8 ui8ActiveROI; // number of regions - 1
    QOV_UINT8 aReserved0[1];
    QOV_INT16 ui16RGBOffset; // S9.4
    QOV_INT16 ui16YOffset;   // S9.4
    QOV_UINT16 aRMax[2];
    QOV_UINT16 aGMax[2];
    QOV_UINT16 aBMax[2];
    QOV_UINT16 aYMax[2];
} CI_MODULE_WBS;

static_assert(sizeof(CI_MODULE_WBS) == 38);
static_assert(offsetof(CI_MODULE_WBS, aRoiTop) == 4);
static_assert(offsetof(CI_MODULE_WBS, aRoiRight) == 8);
static_assert(offsetof(CI_MODULE_WBS, aRoiBottom) == 12);
static_assert(offsetof(CI_MODULE_WBS, ui8ActiveROI) == 16);
static_assert(offsetof(CI_MODULE_WBS, ui16RGBOffset) == 18);
static_assert(offsetof(CI_MODULE_WBS, ui16YOffset) == 20);
static_assert(offsetof(CI_MODULE_WBS, aRMax) == 22);
static_assert(offsetof(CI_MODULE_WBS, aGMax) == 26);
static_assert(offsetof(CI_MODULE_WBS, aBMax) == 30);
static_assert(offsetof(CI_MODULE_WBS, aYMax) == 34);

// Curve of the white-balance tile statistics, S5.10 each.
typedef struct CI_AWS_CURVE_COEFFS {
    QOV_INT16 aCurveCoeffX[5];
    QOV_INT16 aCurveCoeffY[5];
    QOV_INT16 aCurveOffset[5];
    QOV_INT16 aCurveBoundary[5];
} CI_AWS_CURVE_COEFFS;

static_assert(sizeof(CI_AWS_CURVE_COEFFS) == 40);
static_assert(offsetof(CI_AWS_CURVE_COEFFS, aCurveCoeffY) == 10);
static_assert(offsetof(CI_AWS_CURVE_COEFFS, aCurveOffset) == 20);
static_assert(offsetof(CI_AWS_CURVE_COEFFS, aCurveBoundary) == 30);

// White-balance tile statistics. Grid values are in CFA cells.
typedef struct CI_MODULE_AWS {
    QOV_BOOL8 bEnable;
    QOV_BOOL8 bDebugBitmap;
    QOV_UINT16 ui16Log2_R_Qeff; // S8.5
    QOV_UINT16 ui16Log2_B_Qeff; // S8.5
    QOV_UINT16 ui16RedDarkThresh;   // U8.8
    QOV_UINT16 ui16BlueDarkThresh;  // U8.8
    QOV_UINT16 ui16GreenDarkThresh; // U8.8
    QOV_UINT16 ui16RedClipThresh;   // U8.8
    QOV_UINT16 ui16BlueClipThresh;  // U8.8
    QOV_UINT16 ui16GreenClipThresh; // U8.8
    QOV_UINT16 ui16BbDist;          // U7.5
    QOV_UINT16 ui16GridStartRow;
    QOV_UINT16 ui16GridStartColumn;
    QOV_UINT16 ui16GridTileWidth;
    QOV_UINT16 ui16GridTileHeight;
    CI_AWS_CURVE_COEFFS sCurveCoeffs;
} CI_MODULE_AWS;

static_assert(sizeof(CI_MODULE_AWS) == 68);
static_assert(offsetof(CI_MODULE_AWS, ui16Log2_R_Qeff) == 2);
static_assert(offsetof(CI_MODULE_AWS, ui16Log2_B_Qeff) == 4);
static_assert(offsetof(CI_MODULE_AWS, ui16RedDarkThresh) == 6);
static_assert(offsetof(CI_MODULE_AWS, ui16GreenClipThresh) == 16);
static_assert(offsetof(CI_MODULE_AWS, ui16BbDist) == 18);
static_assert(offsetof(CI_MODULE_AWS, ui16GridStartRow) == 20);
static_assert(offsetof(CI_MODULE_AWS, ui16GridTileHeight) == 26);
static_assert(offsetof(CI_MODULE_AWS, sCurveCoeffs) == 28);

// Histogram statistics.
typedef struct CI_MODULE_HIS {
    QOV_UINT16 ui16InputOffset;
    QOV_UINT16 ui16InputScale;
    QOV_UINT16 ui16Left;
    QOV_UINT16 ui16Top;
    QOV_UINT16 ui16Width;
    QOV_UINT16 ui16Height;
} CI_MODULE_HIS;

static_assert(sizeof(CI_MODULE_HIS) == 12);
static_assert(offsetof(CI_MODULE_HIS, ui16Left) == 4);

// Flicker detection.
typedef struct CI_MODULE_FLD {
    QOV_UINT16 ui16FracStep50; // U1.14
    QOV_UINT16 ui16FracStep60; // U1.14
    QOV_UINT16 ui16VertTotal;
    QOV_UINT16 ui16CoefDiff;
    QOV_UINT16 ui16NFThreshold;
    QOV_UINT8 aReserved0[2];
    QOV_UINT32 ui32SceneChange;
    QOV_UINT8 ui8RShift;
    QOV_UINT8 ui8MinPN;
    QOV_UINT8 ui8PN;
    QOV_BOOL8 bReset;
} CI_MODULE_FLD;

static_assert(sizeof(CI_MODULE_FLD) == 20);
static_assert(offsetof(CI_MODULE_FLD, ui16VertTotal) == 4);
static_assert(offsetof(CI_MODULE_FLD, ui16NFThreshold) == 8);
static_assert(offsetof(CI_MODULE_FLD, ui32SceneChange) == 12);
static_assert(offsetof(CI_MODULE_FLD, ui8RShift) == 16);
static_assert(offsetof(CI_MODULE_FLD, bReset) == 19);

// Encoder statistics.
typedef struct CI_MODULE_ENS {
    QOV_UINT8 ui8Log2NCouples; // log2 of the line count - 3
    QOV_UINT8 ui8SubExp;       // log2 of the kernel subsampling
} CI_MODULE_ENS;

static_assert(sizeof(CI_MODULE_ENS) == 2);

// Statistics configuration of a pipeline (the stats member of CI_PIPELINE).
typedef struct CI_PIPELINE_STATS {
    CI_MODULE_EXS sExposureStats;
    CI_MODULE_FOS sFocusStats;
    CI_MODULE_WBS sWhiteBalanceStats;
    CI_MODULE_AWS sAutoWhiteBalanceStats;
    CI_MODULE_HIS sHistStats;
    CI_MODULE_FLD sFlickerStats;
    CI_MODULE_ENS sEncStats;
    QOV_UINT8 aReserved0[2];
} CI_PIPELINE_STATS;

static_assert(sizeof(CI_PIPELINE_STATS) == 168);
static_assert(offsetof(CI_PIPELINE_STATS, sExposureStats) == 0);
static_assert(offsetof(CI_PIPELINE_STATS, sFocusStats) == 10);
static_assert(offsetof(CI_PIPELINE_STATS, sWhiteBalanceStats) == 26);
static_assert(offsetof(CI_PIPELINE_STATS, sAutoWhiteBalanceStats) == 64);
static_assert(offsetof(CI_PIPELINE_STATS, sHistStats) == 132);
static_assert(offsetof(CI_PIPELINE_STATS, sFlickerStats) == 144);
static_assert(offsetof(CI_PIPELINE_STATS, sEncStats) == 164);

/*-------------------------------------------------------------------------
 * Hardware load structure
 *-------------------------------------------------------------------------*/

// The per-pipeline register image the ISP loads: little-endian 32-bit words.
inline constexpr QOV_UINT32 CI_LOADSTRUCT_HW2_WORDS = 317;
inline constexpr QOV_UINT32 CI_LOADSTRUCT_HW2_SIZE = 1268;
static_assert(CI_LOADSTRUCT_HW2_WORDS * 4 == CI_LOADSTRUCT_HW2_SIZE);

/*-------------------------------------------------------------------------
 * Statistics block of a shot (read-only mapping, byte offsets)
 *-------------------------------------------------------------------------*/

inline constexpr QOV_UINT32 CI_STATS_BLOCK_SIZE = 6108;
inline constexpr QOV_UINT32 CI_STATS_GRID = 7; // tiles per row and per column

// Exposure: whole-image clipped counts (32 bits per CFA channel), then per
// tile 16-bit counts at 64 + 64 x row + 8 x column + 2 x channel.
inline constexpr QOV_UINT32 CI_STATS_EXS_GLOBAL_OFFSET = 0;
inline constexpr QOV_UINT32 CI_STATS_EXS_REGION_OFFSET = 64;
inline constexpr QOV_UINT32 CI_STATS_EXS_REGION_ROW_STRIDE = 64;
inline constexpr QOV_UINT32 CI_STATS_EXS_REGION_TILE_STRIDE = 8;

// Focus: region-of-interest sharpness, then per tile at 576 + 64 x row + 4 x column.
inline constexpr QOV_UINT32 CI_STATS_FOS_ROI_OFFSET = 512;
inline constexpr QOV_UINT32 CI_STATS_FOS_GRID_OFFSET = 576;
inline constexpr QOV_UINT32 CI_STATS_FOS_GRID_ROW_STRIDE = 64;
inline constexpr QOV_UINT32 CI_STATS_FOS_GRID_TILE_STRIDE = 4;

// White balance: two regions of thirteen 32-bit words, 64 bytes apart.
inline constexpr QOV_UINT32 CI_STATS_WBS_OFFSET = 1024;
inline constexpr QOV_UINT32 CI_STATS_WBS_REGION_STRIDE = 64;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_RED_SUM = 0;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_RED_COUNT = 4;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_GREEN_SUM = 8;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_GREEN_COUNT = 12;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_BLUE_SUM = 16;
inline constexpr QOV_UINT32 CI_STATS_WBS_WP_BLUE_COUNT = 20;
inline constexpr QOV_UINT32 CI_STATS_WBS_AC_RED_SUM = 24;
inline constexpr QOV_UINT32 CI_STATS_WBS_AC_GREEN_SUM = 28;
inline constexpr QOV_UINT32 CI_STATS_WBS_AC_BLUE_SUM = 32;
inline constexpr QOV_UINT32 CI_STATS_WBS_HLW_RED_SUM = 36;
inline constexpr QOV_UINT32 CI_STATS_WBS_HLW_GREEN_SUM = 40;
inline constexpr QOV_UINT32 CI_STATS_WBS_HLW_BLUE_SUM = 44;
inline constexpr QOV_UINT32 CI_STATS_WBS_HLW_LUMA_COUNT = 48;

// Histograms: 64 global bins, then 16 bins per tile at 1408 + 64 x (7 x row + column).
inline constexpr QOV_UINT32 CI_STATS_HIS_GLOBAL_OFFSET = 1152;
inline constexpr QOV_UINT32 CI_STATS_HIS_GLOBAL_BINS = 64;
inline constexpr QOV_UINT32 CI_STATS_HIS_REGION_OFFSET = 1408;
inline constexpr QOV_UINT32 CI_STATS_HIS_REGION_TILE_STRIDE = 64;
inline constexpr QOV_UINT32 CI_STATS_HIS_REGION_BINS = 16;

// White-balance tiles at 4544 + 128 x row + 16 x column: red, blue, green
// (unsigned 27.5), then the CFA cell count in bits 0-21.
inline constexpr QOV_UINT32 CI_STATS_AWS_OFFSET = 4544;
inline constexpr QOV_UINT32 CI_STATS_AWS_ROW_STRIDE = 128;
inline constexpr QOV_UINT32 CI_STATS_AWS_TILE_STRIDE = 16;
inline constexpr QOV_UINT32 CI_STATS_AWS_RED = 0;
inline constexpr QOV_UINT32 CI_STATS_AWS_BLUE = 4;
inline constexpr QOV_UINT32 CI_STATS_AWS_GREEN = 8;
inline constexpr QOV_UINT32 CI_STATS_AWS_NUM_CFAS = 12;
inline constexpr QOV_UINT32 CI_STATS_AWS_NUM_CFAS_MASK = 0x3FFFFF;

// Status word: bit 0 frame error, bits 16-23 the pipeline's private value.
inline constexpr QOV_UINT32 CI_STATS_STATUS_OFFSET = 5440;
inline constexpr QOV_UINT32 CI_STATS_STATUS_FRAME_ERROR = 0x1;
inline constexpr QOV_UINT32 CI_STATS_STATUS_PRIVATE_SHIFT = 16;
inline constexpr QOV_UINT32 CI_STATS_STATUS_PRIVATE_MASK = 0xFF;

// Defective-pixel counters.
inline constexpr QOV_UINT32 CI_STATS_DPF_FIXED_OFFSET = 5444;
inline constexpr QOV_UINT32 CI_STATS_DPF_MAP_MODIFICATIONS_OFFSET = 5448;
inline constexpr QOV_UINT32 CI_STATS_DPF_MAP_DROPPED_OFFSET = 5452;

// Flicker status in bits 0-2.
inline constexpr QOV_UINT32 CI_STATS_FLD_STATUS_OFFSET = 5456;
inline constexpr QOV_UINT32 CI_STATS_FLD_STATUS_MASK = 0x7;

// Timestamps.
inline constexpr QOV_UINT32 CI_STATS_TS_START_FRAME_IN_OFFSET = 5476;
inline constexpr QOV_UINT32 CI_STATS_TS_END_FRAME_IN_OFFSET = 5480;
inline constexpr QOV_UINT32 CI_STATS_TS_START_FRAME_OUT_OFFSET = 5484;
inline constexpr QOV_UINT32 CI_STATS_TS_END_FRAME_ENC_OUT_OFFSET = 5488;
inline constexpr QOV_UINT32 CI_STATS_TS_END_FRAME_DISP_OUT_OFFSET = 5492;

// The areas follow one another without overlap and fit in the block.
static_assert(CI_STATS_EXS_REGION_OFFSET + (CI_STATS_GRID - 1) * CI_STATS_EXS_REGION_ROW_STRIDE +
                  CI_STATS_GRID * CI_STATS_EXS_REGION_TILE_STRIDE <= CI_STATS_FOS_ROI_OFFSET);
static_assert(CI_STATS_FOS_GRID_OFFSET + (CI_STATS_GRID - 1) * CI_STATS_FOS_GRID_ROW_STRIDE +
                  CI_STATS_GRID * CI_STATS_FOS_GRID_TILE_STRIDE <= CI_STATS_WBS_OFFSET);
static_assert(CI_STATS_WBS_OFFSET + CI_STATS_WBS_REGION_STRIDE + CI_STATS_WBS_HLW_LUMA_COUNT + 4 <=
              CI_STATS_HIS_GLOBAL_OFFSET);
static_assert(CI_STATS_HIS_GLOBAL_OFFSET + 4 * CI_STATS_HIS_GLOBAL_BINS <= CI_STATS_HIS_REGION_OFFSET);
static_assert(CI_STATS_HIS_REGION_OFFSET + CI_STATS_GRID * CI_STATS_GRID * CI_STATS_HIS_REGION_TILE_STRIDE ==
              CI_STATS_AWS_OFFSET);
static_assert(CI_STATS_AWS_OFFSET + (CI_STATS_GRID - 1) * CI_STATS_AWS_ROW_STRIDE +
                  CI_STATS_GRID * CI_STATS_AWS_TILE_STRIDE <= CI_STATS_STATUS_OFFSET);
static_assert(CI_STATS_TS_END_FRAME_DISP_OUT_OFFSET + 4 <= CI_STATS_BLOCK_SIZE);

#endif
