// From the floating-point configuration to the hardware: fixed-point
// primitives and scaler taps, the defaults of MC_PIPELINE, the conversion of
// every module into CI_PIPELINE and back for the statistics, lens-shading
// matrix encoding, the hardware load structure, statistics extraction and
// the hardware value checks.
//
// Field formats are written UI.F (unsigned) and SI.F (signed): I integer
// bits and F fraction bits, produced by QOV_Fix_Clip and read back by
// QOV_Fix_Revert.
#ifndef MC_CONVERSIONS_H
#define MC_CONVERSIONS_H

#include "qov_types.h"
#include "vezaracommon/lsh_grid.h"
#include "ci/ci_api_structs.h"
#include "ci/ci_modules_structs.h"
#include "mc/mc_structs.h"

/*-------------------------------------------------------------------------
 * Fixed point
 *-------------------------------------------------------------------------*/

// Saturates val to nBits signed or unsigned (upper bound first). A width of
// 0 or less gives 0. The register name is for diagnostics only.
QOV_INT32 QOV_clip(QOV_INT32 val, QOV_INT32 nBits, QOV_BOOL isSigned, const char *dbg_regname = nullptr);

// round(fl x 2^fractBits) (half away from zero for signed fields), saturated
// to intBits + fractBits bits. An infinite or out-of-range value saturates;
// NaN gives 0.
QOV_INT32 QOV_Fix_Clip(double fl, QOV_INT32 intBits, QOV_INT32 fractBits, QOV_BOOL isSigned,
                       const char *dbg_regname = nullptr);

// The value of a fixed-point field: a signed field's reg >= 2^(n-1) is
// taken as reg - 2^n (n = intBits + fractBits); a negative reg is used as it is.
double QOV_Fix_Revert(QOV_INT32 reg, QOV_INT32 intBits, QOV_INT32 fractBits, QOV_BOOL isSigned,
                      const char *dbg_regname = nullptr);

// Ten terms of the series of I0(x), or J0(x) when xIsImaginary.
double QOV_ModifiedBessel(double x, QOV_BOOL xIsImaginary);

// Polyphase taps of a scaler: 4 phases x numTaps (2, 4, 8 or 16), phase-major,
// each phase summing to 64, every tap within its hardware field.
void QOV_CalculateScalerCoefficients(QOV_UINT8 numTaps, double pitch, QOV_INT8 *coefficientMatrix,
                                     QOV_BOOL8 enable_cutoff_frequency_adjustment);

// True when every tap of the 4 phases fits its hardware field.
QOV_BOOL scalerVerifTaps(const QOV_INT8 *matrix, QOV_UINT32 nTaps);

/*-------------------------------------------------------------------------
 * Defaults of the floating-point configuration
 *-------------------------------------------------------------------------*/

// Requires sIIF to be filled first (MC_IIFInit, then the imager values).
QOV_RESULT MC_PipelineInit(MC_PIPELINE *pMCPipeline, const CI_HWINFO *pHWInfo);

QOV_RESULT MC_IIFInit(MC_IIF *pIIF);
QOV_RESULT MC_BLCInit(MC_BLC *pBLC, QOV_UINT8 bitDepth);
QOV_RESULT MC_RLTInit(MC_RLT *pRLT);
QOV_RESULT MC_LSHInit(MC_LSH *pLSH);
QOV_RESULT MC_WBCInit(MC_WBC *pWBC);
QOV_RESULT MC_DNSInit(MC_DNS *pDNS);
QOV_RESULT MC_DPFInit(MC_DPF *pDPF, const CI_HWINFO *pHWInfo, const MC_IIF *pIIF);
QOV_RESULT MC_LCAInit(MC_LCA *pLCA, const MC_IIF *pIIF);
QOV_RESULT MC_CCMInit(MC_CCM *pCCM);
QOV_RESULT MC_MGMInit(MC_MGM *pMGM);
QOV_RESULT MC_GMAInit(MC_GMA *pGMA);
QOV_RESULT MC_R2YInit(MC_R2Y *pR2Y);
QOV_RESULT MC_MIEInit(MC_MIE *pMIE);
QOV_RESULT MC_TNMInit(MC_TNM *pTNM, const MC_IIF *pIIF, const CI_HWINFO *pHWInfo);
QOV_RESULT MC_SHAInit(MC_SHA *pSHA);
QOV_RESULT MC_ESCInit(MC_ESC *pESC, const MC_IIF *pIIF);
QOV_RESULT MC_DSCInit(MC_DSC *pDSC, const MC_IIF *pIIF);
QOV_RESULT MC_Y2RInit(MC_Y2R *pY2R);
QOV_RESULT MC_DGMInit(MC_DGM *pDGM);
QOV_RESULT MC_HDRInit(MC_HDR *pHDR);
QOV_RESULT MC_EXSInit(MC_EXS *pEXS, const MC_IIF *pIIF);
QOV_RESULT MC_FOSInit(MC_FOS *pFOS, const MC_IIF *pIIF);
QOV_RESULT MC_WBSInit(MC_WBS *pWBS, const MC_IIF *pIIF);
QOV_RESULT MC_AWSInit(MC_AWS *pAWS, const MC_IIF *pIIF);
QOV_RESULT MC_HISInit(MC_HIS *pHIS, const MC_IIF *pIIF);
QOV_RESULT MC_FLDInit(MC_FLD *pFLD, const MC_IIF *pIIF);
QOV_RESULT MC_ENSInit(MC_ENS *pENS);

// Frees the input defect map, if any.
void MC_DPFFree(MC_DPF *pDPF);

/*-------------------------------------------------------------------------
 * Conversion into CI_PIPELINE. Each module conversion returns at once when
 * its record's updateNeeded is clear; otherwise it clears the flag, ORs its
 * update bits into *eUpdateMask and writes its hardware record.
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_PipelineConvert(MC_PIPELINE *pMCPipeline, CI_PIPELINE *pCIPipeline, int *eUpdateMask);

QOV_RESULT MC_IIFConvert(MC_IIF *pMC, CI_MODULE_IIF *pCI);
QOV_RESULT MC_BLCConvert(MC_BLC *pMC, CI_MODULE_BLC *pCI, int *eUpdateMask);
QOV_RESULT MC_RLTConvert(MC_RLT *pMC, CI_MODULE_RLT *pCI, int *eUpdateMask);
QOV_RESULT MC_LSHConvert(MC_LSH *pMC, CI_MODULE_LSH *pCI, int *eUpdateMask);
QOV_RESULT MC_WBCConvert(MC_WBC *pMC, CI_MODULE_WBC *pCI, int *eUpdateMask);
QOV_RESULT MC_DNSConvert(MC_DNS *pMC, CI_MODULE_DNS *pCI, int *eUpdateMask);
QOV_RESULT MC_DPFConvert(MC_DPF *pMC, const MC_IIF *pIIF, CI_MODULE_DPF *pCI, int *eUpdateMask);
QOV_RESULT MC_LCAConvert(MC_LCA *pMC, CI_MODULE_LCA *pCI, int *eUpdateMask);
QOV_RESULT MC_CCMConvert(MC_CCM *pMC, CI_MODULE_CCM *pCI, int *eUpdateMask);
QOV_RESULT MC_MGMConvert(MC_MGM *pMC, CI_MODULE_MGM *pCI, int *eUpdateMask);
QOV_RESULT MC_DGMConvert(MC_MGM *pMC, CI_MODULE_MGM *pCI, int *eUpdateMask);
QOV_RESULT MC_GMAConvert(MC_GMA *pMC, CI_MODULE_GMA *pCI, int *eUpdateMask);
QOV_RESULT MC_R2YConvert(MC_R2Y *pMC, CI_MODULE_R2Y *pCI, int *eUpdateMask);
QOV_RESULT MC_Y2RConvert(MC_Y2R *pMC, CI_MODULE_Y2R *pCI, int *eUpdateMask);
QOV_RESULT MC_MIEConvert(MC_MIE *pMC, CI_MODULE_MIE *pCI, const CI_HWINFO *pHWInfo, int *eUpdateMask);
QOV_RESULT MC_TNMConvert(MC_TNM *pMC, const MC_IIF *pIIF, QOV_UINT8 ui8Paralelism, CI_MODULE_TNM *pCI,
                         int *eUpdateMask);
QOV_RESULT MC_SHAConvert(MC_SHA *pMC, CI_MODULE_SHA *pCI, const CI_HWINFO *pHWInfo, int *eUpdateMask);
QOV_RESULT MC_ESCConvert(MC_ESC *pMC, CI_MODULE_ESC *pCI, QOV_BOOL8 bOutput422, int *eUpdateMask);
QOV_RESULT MC_DSCConvert(MC_DSC *pMC, CI_MODULE_DSC *pCI, int *eUpdateMask);
QOV_RESULT MC_HDRConvert(MC_HDR *pMC, const MC_WBC *pWBC, CI_MODULE_HDR *pCI, int *eUpdateMask);

QOV_RESULT MC_EXSConvert(MC_EXS *pMC, CI_MODULE_EXS *pCI, int *eUpdateMask);
QOV_RESULT MC_FOSConvert(MC_FOS *pMC, CI_MODULE_FOS *pCI, int *eUpdateMask);
QOV_RESULT MC_WBSConvert(MC_WBS *pMC, CI_MODULE_WBS *pCI, int *eUpdateMask);
QOV_RESULT MC_AWSConvert(MC_AWS *pMC, CI_MODULE_AWS *pCI, int *eUpdateMask);
QOV_RESULT MC_HISConvert(MC_HIS *pMC, CI_MODULE_HIS *pCI, int *eUpdateMask);
QOV_RESULT MC_FLDConvert(MC_FLD *pMC, CI_MODULE_FLD *pCI, int *eUpdateMask);
QOV_RESULT MC_ENSConvert(MC_ENS *pMC, CI_MODULE_ENS *pCI);

/*-------------------------------------------------------------------------
 * Reverts: a floating-point record rebuilt from the hardware record a shot
 * was taken with and from its output flags (CI_SAVE_CONFIG_FLAGS). The
 * output's updateNeeded is left as it was.
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_DPFRevert(const CI_MODULE_DPF *pCI, QOV_UINT32 eConfig, MC_DPF *pMC);
QOV_RESULT MC_EXSRevert(const CI_MODULE_EXS *pCI, QOV_UINT32 eConfig, MC_EXS *pMC);
QOV_RESULT MC_FOSRevert(const CI_MODULE_FOS *pCI, QOV_UINT32 eConfig, MC_FOS *pMC);
QOV_RESULT MC_WBSRevert(const CI_MODULE_WBS *pCI, QOV_UINT32 eConfig, MC_WBS *pMC);
QOV_RESULT MC_AWSRevert(const CI_MODULE_AWS *pCI, QOV_UINT32 eConfig, MC_AWS *pMC);
QOV_RESULT MC_HISRevert(const CI_MODULE_HIS *pCI, QOV_UINT32 eConfig, MC_HIS *pMC);
QOV_RESULT MC_FLDRevert(const CI_MODULE_FLD *pCI, QOV_UINT32 eConfig, MC_FLD *pMC);
QOV_RESULT MC_ENSRevert(const CI_MODULE_ENS *pCI, QOV_UINT32 eConfig, MC_ENS *pMC);

/*-------------------------------------------------------------------------
 * Lens-shading matrices
 *-------------------------------------------------------------------------*/

// Smallest bits per difference (at least 4) that hold the grid; 0 on error.
QOV_UINT8 MC_LSHComputeMinBitdiff(const LSH_GRID *pLSH, int *pMaxDiff);

// Allocation size of the matrix buffer (0 for a null grid or a size beyond
// 32 bits), with the line size and stride through the non-null pointers.
QOV_UINT32 MC_LSHGetSizes(const LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff, QOV_UINT32 *pLineSize,
                          QOV_UINT32 *pStride);

// Encodes the grid into the mapped matrix buffer and fills pMatrix->config
// (the skip and offset fields are the caller's).
QOV_RESULT MC_LSHConvertGrid(const LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff, CI_LSHMAT *pMatrix);

// Edits the grid so that every vertex is non-negative and every difference
// lies in [-512, 255] (U3.10 units).
QOV_RESULT MC_LSHPreCheckTest(LSH_GRID *pLSH, QOV_UINT8 ui8BitsPerDiff);

/*-------------------------------------------------------------------------
 * Hardware load structure (317 little-endian words)
 *-------------------------------------------------------------------------*/

QOV_UINT32 INT_CI_SizeLS_HW2();

// Packs the records of a pipeline into its load structure: the words of
// the groups 0 to 6 set in eUpdateMask, then always the statistics words.
// pHWInfo is the connection's hardware information. The pipeline update
// calls this with its public pipeline and its connection.
QOV_RESULT INT_CI_Load_HW2(const CI_PIPELINE *pPipeline, const CI_HWINFO *pHWInfo, char *loadstruct,
                           int eUpdateMask);

// The statistics configuration a shot was taken with, read from the shot's
// own copy of the load structure (pShot->pLoadStruct, the user mapping of
// the shot's CI_POOL_MAP_ID_LOAD object). pStats is cleared by the caller.
QOV_RESULT INT_CI_Revert_HW2(const CI_SHOT *pShot, CI_PIPELINE_STATS *pStats);

/*-------------------------------------------------------------------------
 * Statistics extraction from a shot's statistics block
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_EXSExtract(const void *blob, MC_STATS_EXS *pStats);
QOV_RESULT MC_FOSExtract(const void *blob, MC_STATS_FOS *pStats);
QOV_RESULT MC_HISExtract(const void *blob, MC_STATS_HIS *pStats);
QOV_RESULT MC_WBSExtract(const void *blob, MC_STATS_WBS *pStats);
QOV_RESULT MC_AWSExtract(const void *blob, MC_STATS_AWS *pStats);
QOV_RESULT MC_FLDExtract(const void *blob, MC_STATS_FLD *pStats);
QOV_RESULT MC_TimestampExtract(const void *blob, MC_STATS_TIMESTAMP *pStats);
QOV_RESULT MC_DPFExtract(const void *blob, MC_STATS_DPF *pStats);

/*-------------------------------------------------------------------------
 * Hardware value checks (nothing is changed)
 *-------------------------------------------------------------------------*/

QOV_RESULT CI_ModuleIIF_verif(const CI_MODULE_IIF *pIIF, QOV_UINT8 ctx, const CI_HWINFO *pHWInfo);
QOV_RESULT CI_ModuleLSH_verif(const CI_MODULE_LSH_MAT *pLensShading, const CI_MODULE_IIF *pIIF,
                              const CI_HWINFO *pHWInfo);
QOV_RESULT CI_ModuleScaler_verif(const CI_MODULE_SCALER *pScaler);
QOV_RESULT CI_ModuleWBC_verif(const CI_MODULE_WBC *pWBC);
QOV_RESULT CI_ModuleTNM_verif(const CI_MODULE_TNM *pTNM);
QOV_RESULT CI_ModuleDPF_verif(const CI_MODULE_DPF *pDPF, const CI_HWINFO *pHWInfo);
QOV_RESULT CI_StatsEXS_verif(const CI_MODULE_EXS *pEXS);
QOV_RESULT CI_StatsFLD_verif(const CI_MODULE_FLD *pFLD);
QOV_RESULT CI_StatsWBS_verif(const CI_MODULE_WBS *pWBS);
QOV_RESULT CI_StatsHIS_verif(const CI_MODULE_HIS *pHIS);
QOV_RESULT CI_StatsAWS_verif(const CI_MODULE_AWS *pAWS, const CI_MODULE_IIF *pIIF);
QOV_RESULT CI_StatsENS_verif(const CI_MODULE_ENS *pENS);

#endif
