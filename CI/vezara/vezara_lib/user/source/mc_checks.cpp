// Checks of the fixed-point module records against the hardware's limits,
// run before a configuration goes to the driver. None changes its input.
#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

QOV_RESULT CI_ModuleIIF_verif(const CI_MODULE_IIF *pIIF, QOV_UINT8 ctx, const CI_HWINFO *pHWInfo)
{
    if (!pIIF || !pHWInfo) {
        LOG_ERROR("pIIF or pHWInfo is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (ctx >= 2) {
        LOG_ERROR("chosen context %d is not supported (max %d)\n", ctx, 2);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT16 maxWidth = pHWInfo->context_aMaxWidthSingle[ctx];
    if (pIIF->ui16BuffThreshold >= maxWidth) {
        LOG_ERROR("The buffer threshold (%d) cannot be bigger than the maximum context width-1 (%d-1)\n",
                  pIIF->ui16BuffThreshold, maxWidth);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_ModuleLSH_verif(const CI_MODULE_LSH_MAT *pLensShading, const CI_MODULE_IIF *pIIF,
                              const CI_HWINFO *pHWInfo)
{
    if (!pLensShading) {
        LOG_ERROR("pLensShading is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pIIF || !pHWInfo) {
        LOG_ERROR("pIIF or pHWInfo is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pLensShading->ui8BitsPerDiff < 4 || pLensShading->ui8BitsPerDiff > 10) {
        LOG_ERROR("LSH %u bits per difference is not supported (supports [%u ; %u] bits)\n",
                  pLensShading->ui8BitsPerDiff, 4u, 10u);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    // Tile sizes beyond 2^31 cannot be asked of the hardware; cap the shift.
    const QOV_UINT32 log2 = pLensShading->ui8TileSizeLog2 > 31 ? 31 : pLensShading->ui8TileSizeLog2;
    const QOV_UINT64 tile = QOV_UINT64{1} << log2;
    if (pLensShading->ui16SkipX >= tile || pLensShading->ui16SkipY >= tile) {
        LOG_ERROR("LSH: skip values %u,%u is too big for the tile size %u (must at least hit 1 element per tile)\n",
                  pLensShading->ui16SkipX, pLensShading->ui16SkipY, static_cast<QOV_UINT32>(tile));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (pIIF->ui16ImagerSize[0] >= tile * pLensShading->ui16Width ||
        pIIF->ui16ImagerSize[1] >= tile * pLensShading->ui16Height) {
        LOG_ERROR("LSH: grid size %dx%d with tile %d CFA does not cover the image processed by the pipeline "
                  "(%dx%d CFA)\n",
                  pLensShading->ui16Width, pLensShading->ui16Height, static_cast<int>(tile),
                  pIIF->ui16ImagerSize[0] + 1, pIIF->ui16ImagerSize[1] + 1);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (tile < 16 && pHWInfo->ui32MaxLineStore < 2000) {
        LOG_ERROR("LSH: tile size of less than 16 is not available when max active width (i.e. max line store "
                  "size) is smaller than 2000 - max active width is %u\n",
                  pHWInfo->ui32MaxLineStore);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_ModuleWBC_verif(const CI_MODULE_WBC *pWBC)
{
    if (!pWBC) {
        LOG_ERROR("pWBC is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    // Unsigned, so that a negative mode is refused as well.
    if (static_cast<QOV_UINT32>(pWBC->eRGBThresholdMode) >= 2) {
        LOG_ERROR("unsupported mode %d for WBC\n", static_cast<int>(pWBC->eRGBThresholdMode));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_ModuleTNM_verif(const CI_MODULE_TNM *pTNM)
{
    if (!pTNM) {
        LOG_ERROR("pTNM is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pTNM->bBypassTNM)
        return QOV_SUCCESS;
    if (pTNM->localColWidth[0] < 40 || pTNM->localColWidth[0] > 16383) {
        LOG_ERROR("number pixels per columns not met (val=%u min=%u max=%u)\n", pTNM->localColWidth[0], 40u,
                  16383u);
        return QOV_ERROR_FAILURE;
    }
    if (pTNM->localColumns > 32) {
        LOG_ERROR("TNM configured to use %u columns but has only %u\n", pTNM->localColumns, 32u);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_ModuleDPF_verif(const CI_MODULE_DPF *pDPF, const CI_HWINFO *pHWInfo)
{
    if (!pDPF || !pHWInfo) {
        LOG_ERROR("pDPF or pHWInfo is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if ((pDPF->eDPFEnable & (CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED)) == CI_DPF_WRITE_MAP_ENABLED) {
        LOG_ERROR("Enabling writing of the DPF map without enabling HW DPF is not valid\n");
        return QOV_ERROR_FAILURE;
    }
    if (pDPF->sInput.ui32NDefect > 0 && !pDPF->sInput.apDefectInput) {
        LOG_ERROR("number of defect > 0 while the defect map is not allocated!\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pDPF->sInput.apDefectInput && pDPF->sInput.ui16InternalBufSize > pHWInfo->config_ui32DPFInternalSize) {
        LOG_ERROR("cannot ask for DPF read size %d - total HW read size is %d\n", pDPF->sInput.ui16InternalBufSize,
                  static_cast<int>(pHWInfo->config_ui32DPFInternalSize));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsEXS_verif(const CI_MODULE_EXS *pEXS)
{
    if (!pEXS) {
        LOG_ERROR("pEXS is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pEXS->ui16Width < 7 || pEXS->ui16Height < 7) {
        LOG_ERROR("EXS sizes are too small (width %u+1 vs min %u - height %u+1 vs min %u)\n", pEXS->ui16Width, 8u,
                  pEXS->ui16Height, 8u);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsFLD_verif(const CI_MODULE_FLD *pFLD)
{
    if (!pFLD) {
        LOG_ERROR("pFLD is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pFLD->ui8MinPN % 4 != 0 || pFLD->ui8PN % 4 != 0 || pFLD->ui8PN < pFLD->ui8MinPN) {
        LOG_ERROR("ui8MinPN(%u) or ui8PN(%u) are not multiple of 4 - or ui8MinPN is bigger than ui8PN\n",
                  pFLD->ui8MinPN, pFLD->ui8PN);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsWBS_verif(const CI_MODULE_WBS *pWBS)
{
    if (!pWBS) {
        LOG_ERROR("pWBS is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pWBS->ui8ActiveROI >= 2) {
        LOG_ERROR("ui8ActiveROI(%u) is too big - max nb active ROI %u (nb ROI %u)\n", pWBS->ui8ActiveROI, 1u, 2u);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsHIS_verif(const CI_MODULE_HIS *pHIS)
{
    if (!pHIS) {
        LOG_ERROR("pHIS is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pHIS->ui16Width < 10 || pHIS->ui16Height < 8) {
        LOG_ERROR("invalid tile configuration in HIS\n");
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsAWS_verif(const CI_MODULE_AWS *pAWS, const CI_MODULE_IIF *pIIF)
{
    if (!pAWS || !pIIF) {
        LOG_ERROR("pAWS or pIIF is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pAWS->bEnable)
        return QOV_SUCCESS;
    if (pAWS->ui16GridTileWidth < 7 || pAWS->ui16GridTileHeight < 7 ||
        pAWS->ui16GridStartColumn > 2 * (pIIF->ui16ImagerSize[0] + 1) ||
        pAWS->ui16GridStartRow > 2 * (pIIF->ui16ImagerSize[1] + 1)) {
        LOG_ERROR("Invalid tile configuration in AWS from %d,%d; tile size %dx%d px\n", pAWS->ui16GridStartColumn,
                  pAWS->ui16GridStartRow, 2 * pAWS->ui16GridTileWidth + 2, 2 * pAWS->ui16GridTileHeight + 2);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_StatsENS_verif(const CI_MODULE_ENS * /*pENS*/)
{
    return QOV_SUCCESS;
}
