// Defaults of the floating-point configuration and the conversion of a
// whole MC_PIPELINE into CI_PIPELINE.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "mc/mc_conversions.h"
#include "vezaracommon/pixel_format.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "MC_PIPELINE"

/*-------------------------------------------------------------------------
 * Per-module defaults
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_IIFInit(MC_IIF *pIIF)
{
    if (!pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pIIF = MC_IIF{};
    pIIF->ui8Imager = 2;
    pIIF->eBayerFormat = MOSAIC_RGGB;
    pIIF->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_BLCInit(MC_BLC *pBLC, QOV_UINT8 bitDepth)
{
    if (!pBLC)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pBLC = MC_BLC{};
    pBLC->ui16PixelMax = std::ldexp(1.0, bitDepth) - 1.0;
    pBLC->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_RLTInit(MC_RLT *pRLT)
{
    if (!pRLT)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pRLT = MC_RLT{};
    pRLT->eMode = CI_RLT_DISABLED;
    pRLT->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_LSHInit(MC_LSH *pLSH)
{
    if (!pLSH)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pLSH = MC_LSH{};
    pLSH->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBCInit(MC_WBC *pWBC)
{
    if (!pWBC)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pWBC = MC_WBC{};
    for (int c = 0; c < 4; ++c) {
        pWBC->aGain[c] = 1.0;
        pWBC->aClip[c] = 512.0;
    }
    pWBC->eRGBThresholdMode = WBC_THRESHOLD;
    for (int c = 0; c < 3; ++c) {
        pWBC->afRGBThreshold[c] = 1.0;
        pWBC->afRGBGain[c] = 1.0;
    }
    pWBC->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_DNSInit(MC_DNS *pDNS)
{
    if (!pDNS)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pDNS = MC_DNS{};
    pDNS->fGreyscalePixelThreshold = 0.25;
    pDNS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

// Expects a record without an input map (a fresh record): it does not free one.
QOV_RESULT MC_DPFInit(MC_DPF *pDPF, const CI_HWINFO *pHWInfo, const MC_IIF *pIIF)
{
    if (!pDPF || !pHWInfo || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pDPF = MC_DPF{};
    pDPF->ui16NbLines = static_cast<QOV_UINT16>(2 * (pHWInfo->config_ui8Parallelism + 5));
    pDPF->ui32OutputMapSize = static_cast<QOV_UINT32>(pIIF->ui16ImagerSize[1]) * 256;
    for (int d = 0; d < 2; ++d) {
        pDPF->aSkip[d] = static_cast<QOV_UINT8>(pIIF->ui16ImagerDecimation[d] & 0xFF);
        pDPF->aOffset[d] = pIIF->ui16ImagerOffset[d];
    }
    pDPF->fWeight = 16.0;
    pDPF->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

void MC_DPFFree(MC_DPF *pDPF)
{
    if (!pDPF)
        return;
    free(pDPF->apDefectInput);
    pDPF->apDefectInput = nullptr;
    pDPF->ui32NDefect = 0;
}

namespace {

// Shift that brings an imager dimension of c CFA cells near 1024: 0 for
// 512..2049, positive for larger sizes, negative (kept in 8 bits) for
// smaller. The load structure holds it to what the hardware field takes.
QOV_UINT8 lcaShift(QOV_UINT32 c)
{
    if (c >= 512 && c <= 2049)
        return 0;
    if (c >= 2050) {
        int s = 1;
        while ((c >> (s + 1)) > 1024)
            ++s;
        return static_cast<QOV_UINT8>(s);
    }
    int k = 1;
    while (static_cast<QOV_UINT64>(c) << (k + 1) <= 1023)
        ++k;
    return static_cast<QOV_UINT8>(-k);
}

} // namespace

QOV_RESULT MC_LCAInit(MC_LCA *pLCA, const MC_IIF *pIIF)
{
    if (!pLCA || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (pIIF->ui16ImagerSize[0] == 0 || pIIF->ui16ImagerSize[1] == 0) {
        fputs("IIF should be configured before configuring LCA\n", stderr);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    *pLCA = MC_LCA{};
    for (int d = 0; d < 2; ++d) {
        const QOV_UINT32 c = pIIF->ui16ImagerSize[d];
        const QOV_UINT16 centre = static_cast<QOV_UINT16>((pIIF->ui16ImagerOffset[d] + c) / 2);
        pLCA->aOffsetRed[d] = centre;
        pLCA->aOffsetBlue[d] = centre;
        pLCA->aShift[d] = lcaShift(c);
    }
    pLCA->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_CCMInit(MC_CCM *pCCM)
{
    if (!pCCM)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pCCM = MC_CCM{};
    for (int i = 0; i < 3; ++i)
        pCCM->aCoeff[i][i] = 1.0;
    pCCM->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

namespace {

void gamutMapperInit(MC_GAMUTMAPPER *p)
{
    *p = MC_GAMUTMAPPER{};
    p->fClipMin = -0.5;
    p->fClipMax = 1.5;
    p->fSrcNorm = 1.0;
    p->aSlope[0] = 1.0;
    p->aSlope[1] = 1.0;
    p->aSlope[2] = 0.0;
    p->updateNeeded = QOV_TRUE;
}

} // namespace

QOV_RESULT MC_MGMInit(MC_MGM *pMGM)
{
    if (!pMGM)
        return QOV_ERROR_INVALID_ARGUMENT;
    gamutMapperInit(pMGM);
    return QOV_SUCCESS;
}

QOV_RESULT MC_DGMInit(MC_DGM *pDGM)
{
    if (!pDGM)
        return QOV_ERROR_INVALID_ARGUMENT;
    gamutMapperInit(pDGM);
    return QOV_SUCCESS;
}

QOV_RESULT MC_GMAInit(MC_GMA *pGMA)
{
    if (!pGMA)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pGMA = MC_GMA{};
    pGMA->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_R2YInit(MC_R2Y *pR2Y)
{
    if (!pR2Y)
        return QOV_ERROR_INVALID_ARGUMENT;
    static const double kCoeff[3][3] = {
        {0.439, -0.399, -0.04},
        {0.183, 0.614, 0.062},
        {-0.101, -0.338, 0.439},
    };
    static const double kOffset[3] = {0.0, 0.5, 0.0};
    *pR2Y = MC_R2Y{};
    pR2Y->eType = RGB_TO_YCC;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            pR2Y->aCoeff[i][j] = kCoeff[i][j];
        pR2Y->aOffset[i] = kOffset[i];
    }
    pR2Y->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_Y2RInit(MC_Y2R *pY2R)
{
    if (!pY2R)
        return QOV_ERROR_INVALID_ARGUMENT;
    static const double kCoeff[3][3] = {
        {1.5748, 1.0, 0.0},
        {-0.4681242606, 1.0, -0.18732430448},
        {0.0, 1.0, 1.8556},
    };
    static const double kOffset[3] = {-128.0, -16.0, -128.0};
    *pY2R = MC_Y2R{};
    // The display converter's setup module sets the real direction.
    pY2R->eType = RGB_TO_YCC;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            pY2R->aCoeff[i][j] = kCoeff[i][j];
        pY2R->aOffset[i] = kOffset[i];
    }
    pY2R->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_MIEInit(MC_MIE *pMIE)
{
    if (!pMIE)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pMIE = MC_MIE{};
    pMIE->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_TNMInit(MC_TNM *pTNM, const MC_IIF * /*pIIF*/, const CI_HWINFO * /*pHWInfo*/)
{
    if (!pTNM)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pTNM = MC_TNM{};
    for (int i = 0; i < 63; ++i)
        pTNM->aCurve[i] = (i + 1) / 64.0;
    pTNM->chromaSaturationScale = 1.0;
    pTNM->chromaConfigurationScale = 1.0;
    pTNM->chromaIOScale = 1.75;
    pTNM->ui16LocalColumns = 16;
    pTNM->inputLumaOffset = 1.0;
    pTNM->inputLumaScale = 256.0 / 255.0;
    pTNM->outputLumaOffset = 16.0;
    pTNM->outputLumaScale = 0.859375; // 220/256
    pTNM->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_SHAInit(MC_SHA *pSHA)
{
    if (!pSHA)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pSHA = MC_SHA{};
    pSHA->fDetail = 1.0;
    pSHA->aGainWeigth[1] = 1.0 / 3.0;
    pSHA->aGainWeigth[2] = 1.0 / 3.0;
    pSHA->fELWScale = 4.0;
    pSHA->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_ESCInit(MC_ESC *pESC, const MC_IIF *pIIF)
{
    if (!pESC || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pESC = MC_ESC{};
    pESC->bAdjustCutoff = QOV_TRUE;
    for (int d = 0; d < 2; ++d) {
        pESC->aOutputSize[d] = static_cast<QOV_UINT16>(2 * pIIF->ui16ImagerSize[d]);
        pESC->aPitch[d] = 1.0;
    }
    pESC->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_DSCInit(MC_DSC *pDSC, const MC_IIF *pIIF)
{
    if (!pDSC || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pDSC = MC_DSC{};
    pDSC->bAdjustCutoff = QOV_TRUE;
    for (int d = 0; d < 2; ++d) {
        pDSC->aOutputSize[d] = static_cast<QOV_UINT16>(2 * pIIF->ui16ImagerSize[d]);
        pDSC->aPitch[d] = 1.0;
    }
    pDSC->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_HDRInit(MC_HDR *pHDR)
{
    if (!pHDR)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pHDR = MC_HDR{};
    pHDR->eHDRMode = HDR_NONE;
    pHDR->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_EXSInit(MC_EXS *pEXS, const MC_IIF *pIIF)
{
    if (!pEXS || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT16 w = pIIF->ui16ImagerSize[0];
    const QOV_UINT16 h = pIIF->ui16ImagerSize[1];
    *pEXS = MC_EXS{};
    pEXS->bGlobalEnable = QOV_TRUE;
    pEXS->bRegionEnable = QOV_TRUE;
    pEXS->ui16Left = static_cast<QOV_UINT16>(w / 14);
    pEXS->ui16Top = static_cast<QOV_UINT16>(h / 14);
    pEXS->ui16Width = static_cast<QOV_UINT16>(w > 55 ? w / 7 : 8);
    pEXS->ui16Height = static_cast<QOV_UINT16>(h > 55 ? h / 7 : 8);
    pEXS->fPixelMax = 255.0;
    pEXS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_FOSInit(MC_FOS *pFOS, const MC_IIF *pIIF)
{
    if (!pFOS || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT16 w = pIIF->ui16ImagerSize[0];
    const QOV_UINT16 h = pIIF->ui16ImagerSize[1];
    *pFOS = MC_FOS{};
    pFOS->bGlobalEnable = QOV_TRUE;
    pFOS->bRegionEnable = QOV_TRUE;
    pFOS->ui16Width = static_cast<QOV_UINT16>(2 * w);
    pFOS->ui16Height = static_cast<QOV_UINT16>(2 * h);
    pFOS->ui16ROILeft = static_cast<QOV_UINT16>(w / 2);
    pFOS->ui16ROITop = static_cast<QOV_UINT16>(h / 2);
    pFOS->ui16ROIWidth = w;
    pFOS->ui16ROIHeight = h;
    pFOS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBSInit(MC_WBS *pWBS, const MC_IIF *pIIF)
{
    if (!pWBS || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT16 w = pIIF->ui16ImagerSize[0];
    const QOV_UINT16 h = pIIF->ui16ImagerSize[1];
    *pWBS = MC_WBS{};
    pWBS->ui8ActiveROI = 0;
    pWBS->fRGBOffset = 0.0;
    pWBS->fYOffset = -0.5;
    pWBS->aRoiLeft[0] = static_cast<QOV_UINT16>(w / 2);
    pWBS->aRoiTop[0] = static_cast<QOV_UINT16>(h / 2);
    pWBS->aRoiWidth[0] = w;
    pWBS->aRoiHeight[0] = h;
    for (int r = 0; r < 2; ++r) {
        pWBS->aRMax[r] = 9;
        pWBS->aGMax[r] = 9;
        pWBS->aBMax[r] = 9;
        pWBS->aYMax[r] = 9;
    }
    pWBS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_AWSInit(MC_AWS *pAWS, const MC_IIF *pIIF)
{
    if (!pAWS || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    static const double kCoeffX[5] = {0.88671875, 0.966796875, 0.998046875, 0.0, 0.0};
    static const double kCoeffY[5] = {0.4609375, 0.2548828125, 0.064453125, 0.0, 0.0};
    static const double kOffset[5] = {0.0390625, 0.255859375, 0.63671875, 0.0, 0.0};
    // The signed S5.10 register values 256, 31904 and 30816 as numbers, then
    // 16.0 twice: the same defaults as the tile statistics setup module's.
    static const double kBoundary[5] = {0.25, -0.84375, -1.90625, 16.0, 16.0};
    const QOV_UINT32 w2 = 2u * pIIF->ui16ImagerSize[0];
    const QOV_UINT32 h2 = 2u * pIIF->ui16ImagerSize[1];
    *pAWS = MC_AWS{};
    pAWS->fLog2_R_Qeff = 255.0;
    pAWS->fLog2_B_Qeff = 255.0;
    pAWS->fRedClipThresh = 255.0;
    pAWS->fBlueClipThresh = 255.0;
    pAWS->fGreenClipThresh = 255.0;
    pAWS->fBbDist = 127.0;
    pAWS->ui16GridTileWidth = static_cast<QOV_UINT16>(w2 > 111 ? w2 / 7 : 16);
    pAWS->ui16GridTileHeight = static_cast<QOV_UINT16>(h2 > 111 ? h2 / 7 : 16);
    for (int i = 0; i < 5; ++i) {
        pAWS->aCurveCoeffX[i] = kCoeffX[i];
        pAWS->aCurveCoeffY[i] = kCoeffY[i];
        pAWS->aCurveOffset[i] = kOffset[i];
        pAWS->aCurveBoundary[i] = kBoundary[i];
    }
    pAWS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_HISInit(MC_HIS *pHIS, const MC_IIF *pIIF)
{
    if (!pHIS || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    const QOV_UINT16 w = pIIF->ui16ImagerSize[0];
    const QOV_UINT16 h = pIIF->ui16ImagerSize[1];
    *pHIS = MC_HIS{};
    pHIS->bGlobalEnable = QOV_TRUE;
    pHIS->bRegionEnable = QOV_TRUE;
    pHIS->fInputOffset = 0.0;
    pHIS->fInputScale = 1.0;
    pHIS->ui16Left = static_cast<QOV_UINT16>(w / 2);
    pHIS->ui16Top = static_cast<QOV_UINT16>(h / 2);
    pHIS->ui16Width = w;
    pHIS->ui16Height = h;
    pHIS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

// Without a sensor the vertical total is taken as the imager's height in
// lines (2 per CFA row); the flicker setup module writes the sensor's.
QOV_RESULT MC_FLDInit(MC_FLD *pFLD, const MC_IIF *pIIF)
{
    if (!pFLD || !pIIF)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pFLD = MC_FLD{};
    pFLD->bEnable = QOV_TRUE;
    pFLD->ui16VTot = static_cast<QOV_UINT16>(2 * pIIF->ui16ImagerSize[1]);
    pFLD->fFrameRate = 30.0;
    pFLD->ui16CoefDiff = 50;
    pFLD->ui16NFThreshold = 1500;
    pFLD->ui32SceneChange = 300000;
    pFLD->ui8RShift = 10;
    pFLD->ui8MinPN = 4;
    pFLD->ui8PN = 4;
    pFLD->bReset = QOV_FALSE;
    pFLD->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT MC_ENSInit(MC_ENS *pENS)
{
    if (!pENS)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pENS = MC_ENS{};
    pENS->ui32NLines = 8;
    pENS->ui32KernelSubsampling = 0;
    pENS->updateNeeded = QOV_TRUE;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Whole pipeline
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_PipelineInit(MC_PIPELINE *pMCPipeline, const CI_HWINFO *pHWInfo)
{
    if (!pMCPipeline || !pHWInfo) {
        LOG_ERROR("pMCPipeline or pHWInfo is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    MC_PIPELINE *p = pMCPipeline;
    p->pHWInfo = pHWInfo;
    if (p->sIIF.ui16ImagerSize[0] == 0 || p->sIIF.ui16ImagerSize[1] == 0)
        LOG_WARNING("IIF sizes should be configured before running %s\n", "MC_PipelineInit");

    p->eEncOutput = PXL_NONE;
    p->eDispOutput = PXL_NONE;
    p->eHDRExtOutput = PXL_NONE;
    p->eHDRInsertion = PXL_NONE;
    p->eRaw2DExtOutput = PXL_NONE;
    p->eDEPoint = CI_INOUT_NONE;
    p->bEnableCRC = QOV_FALSE;
    p->bEnableTimestamp = QOV_TRUE;

    // 16 up to 10 bits, then doubling per bit (kept to 16 bits).
    const QOV_UINT32 depth = pHWInfo->context_aBitDepth[0];
    QOV_UINT32 black = 16;
    if (depth > 9)
        black = (depth - 10) >= 12 ? 0 : (16u << (depth - 10)) & 0xFFFF;
    p->ui16SystemBlackLevel = static_cast<QOV_UINT16>(black);

    const MC_IIF *iif = &p->sIIF;
    const QOV_RESULT results[] = {
        MC_BLCInit(&p->sBLC, pHWInfo->config_ui8BitDepth),
        MC_RLTInit(&p->sRLT),
        MC_LSHInit(&p->sLSH),
        MC_WBCInit(&p->sWBC),
        MC_DNSInit(&p->sDNS),
        MC_DPFInit(&p->sDPF, pHWInfo, iif),
        MC_LCAInit(&p->sLCA, iif),
        MC_CCMInit(&p->sCCM),
        MC_MGMInit(&p->sMGM),
        MC_GMAInit(&p->sGMA),
        MC_R2YInit(&p->sR2Y),
        MC_MIEInit(&p->sMIE),
        MC_TNMInit(&p->sTNM, iif, pHWInfo),
        MC_SHAInit(&p->sSHA),
        MC_ESCInit(&p->sESC, iif),
        MC_DSCInit(&p->sDSC, iif),
        MC_Y2RInit(&p->sY2R),
        MC_DGMInit(&p->sDGM),
        MC_HDRInit(&p->sHDR),
        MC_EXSInit(&p->sEXS, iif),
        MC_FOSInit(&p->sFOS, iif),
        MC_WBSInit(&p->sWBS, iif),
        MC_AWSInit(&p->sAWS, iif),
        MC_HISInit(&p->sHIS, iif),
        MC_FLDInit(&p->sFLD, iif),
        MC_ENSInit(&p->sENS),
    };
    for (QOV_RESULT r : results) {
        if (r != QOV_SUCCESS)
            return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_PipelineConvert(MC_PIPELINE *pMCPipeline, CI_PIPELINE *pCIPipeline, int *eUpdateMask)
{
    if (!pMCPipeline || !pCIPipeline || !pMCPipeline->pHWInfo || !eUpdateMask) {
        LOG_ERROR("pMCPipeline, pCIPipeline, pHWInfo or eUpdateMask is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    MC_PIPELINE *mc = pMCPipeline;
    CI_PIPELINE *ci = pCIPipeline;
    CI_PIPELINE_CONFIG *cfg = &ci->config;

    // The black-level and white-balance conversions run on copies, so that
    // the HDR mode can override them without touching the caller's values.
    MC_BLC blc = mc->sBLC;
    MC_WBC wbc = mc->sWBC;

    QOV_RESULT iifResult = MC_IIFConvert(&mc->sIIF, &ci->sImagerInterface);

    const QOV_UINT16 maxWidth = static_cast<QOV_UINT16>(2 * mc->sIIF.ui16ImagerSize[0]);
    const QOV_UINT16 maxHeight = static_cast<QOV_UINT16>(2 * mc->sIIF.ui16ImagerSize[1]);
    const bool encoderOn = mc->eEncOutput != PXL_NONE;
    const bool ensOn = mc->sENS.bEnable != 0;

    // Encoder output.
    QOV_RESULT ret;
    QOV_BOOL8 bOutput422 = QOV_TRUE;
    cfg->eEncType = PIXELTYPE{};
    ci->sImagerInterface.ui16ScalerBottomBorder = 0;
    if (encoderOn) {
        ret = PixelTransformYUV(&cfg->eEncType, mc->eEncOutput);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("unexpected YUV format given\n");
            return ret;
        }
        cfg->ui16MaxEncOutWidth = maxWidth;
        cfg->ui16MaxEncOutHeight = maxHeight;
        bOutput422 = cfg->eEncType.ui8VSubsampling == 1 ? QOV_TRUE : QOV_FALSE;
        ci->sImagerInterface.ui16ScalerBottomBorder = 4;
    } else {
        cfg->ui16MaxEncOutWidth = 0;
        cfg->ui16MaxEncOutHeight = 0;
        if (ensOn)
            ci->sImagerInterface.ui16ScalerBottomBorder = 4;
    }

    // Display output or data extraction.
    cfg->eDispType = PIXELTYPE{};
    cfg->eDataExtraction = CI_INOUT_NONE;
    if (mc->eDispOutput != PXL_NONE) {
        cfg->ui16MaxDispOutWidth = maxWidth;
        cfg->ui16MaxDispOutHeight = maxHeight;
        if (mc->eDEPoint == CI_INOUT_NONE) {
            ret = PixelTransformDisplay(&cfg->eDispType, mc->eDispOutput);
            if (ret != QOV_SUCCESS) {
                LOG_ERROR("unexpected RGB format given\n");
                return ret;
            }
            ci->sImagerInterface.ui16ScalerBottomBorder = (encoderOn || ensOn) ? 4 : 2;
        } else {
            ret = PixelTransformBayer(&cfg->eDispType, mc->eDispOutput, mc->sIIF.eBayerFormat);
            if (ret != QOV_SUCCESS) {
                LOG_ERROR("unexpected Bayer format given\n");
                return ret;
            }
            cfg->eDataExtraction = mc->eDEPoint;
        }
    } else {
        cfg->ui16MaxDispOutWidth = 0;
        cfg->ui16MaxDispOutHeight = 0;
    }

    // HDR extraction and insertion.
    cfg->eHDRExtType = PIXELTYPE{};
    if (mc->eHDRExtOutput != PXL_NONE) {
        ret = PixelTransformRGB(&cfg->eHDRExtType, mc->eHDRExtOutput);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("unexpected RGB format given for HDR extraction\n");
            return ret;
        }
    }
    cfg->eHDRInsType = PIXELTYPE{};
    if (mc->eHDRInsertion != PXL_NONE) {
        ret = PixelTransformRGB(&cfg->eHDRInsType, mc->eHDRInsertion);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("unexpected RGB format given for HDR insertion\n");
            return ret;
        }
    }

    // RAW 2D extraction: only the TIFF packings.
    cfg->eRaw2DExtraction = PIXELTYPE{};
    if (mc->eRaw2DExtOutput != PXL_NONE) {
        ret = PixelTransformBayer(&cfg->eRaw2DExtraction, mc->eRaw2DExtOutput, mc->sIIF.eBayerFormat);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("unexpected Bayer format given to Raw 2D\n");
            return ret;
        }
        if (cfg->eRaw2DExtraction.ePackedStart != PACKED_MSB) {
            LOG_ERROR("format is expected to be TIFF for Raw2D\n");
            return QOV_ERROR_NOT_SUPPORTED;
        }
    }

    *eUpdateMask = 0;

    if (mc->sHDR.eHDRMode != HDR_NONE) {
        for (int c = 0; c < 4; ++c) {
            blc.aFixedOffset[c] = 0;
            wbc.aGain[c] = 1.0;
        }
    }

    // Main modules: every conversion runs even when an earlier one failed.
    bool failed = iifResult != QOV_SUCCESS;
    failed |= MC_BLCConvert(&blc, &ci->sBlackCorrection, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_RLTConvert(&mc->sRLT, &ci->sRawLUT, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_WBCConvert(&wbc, &ci->sWhiteBalance, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_LSHConvert(&mc->sLSH, &ci->sDeshading, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_DNSConvert(&mc->sDNS, &ci->sDenoiser, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_DPFConvert(&mc->sDPF, &mc->sIIF, &ci->sDefectivePixels, eUpdateMask) != QOV_SUCCESS;
    cfg->ui32DPFWriteMapSize = mc->sDPF.ui32OutputMapSize;
    failed |= MC_LCAConvert(&mc->sLCA, &ci->sChromaAberration, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_CCMConvert(&mc->sCCM, &ci->sColourCorrection, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_MGMConvert(&mc->sMGM, &ci->sMainGamutMapper, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_GMAConvert(&mc->sGMA, &ci->sGammaCorrection, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_R2YConvert(&mc->sR2Y, &ci->sRGBToYCC, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_MIEConvert(&mc->sMIE, &ci->sImageEnhancer, mc->pHWInfo, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_TNMConvert(&mc->sTNM, &mc->sIIF, mc->pHWInfo->config_ui8Parallelism, &ci->sToneMapping,
                            eUpdateMask) != QOV_SUCCESS;
    failed |= MC_SHAConvert(&mc->sSHA, &ci->sSharpening, mc->pHWInfo, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_ESCConvert(&mc->sESC, &ci->sEncoderScaler, bOutput422, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_DSCConvert(&mc->sDSC, &ci->sDisplayScaler, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_Y2RConvert(&mc->sY2R, &ci->sYCCToRGB, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_DGMConvert(&mc->sDGM, &ci->sDisplayGamutMapper, eUpdateMask) != QOV_SUCCESS;
    failed |= MC_HDRConvert(&mc->sHDR, &mc->sWBC, &ci->sHDR, eUpdateMask) != QOV_SUCCESS;

    cfg->eOutputConfig = 0;
    if (failed) {
        LOG_ERROR("failed when converting a main module configuration\n");
        return QOV_ERROR_FAILURE;
    }

    QOV_UINT32 flags = 0;
    if (mc->bEnableCRC == 1)
        flags |= CI_SAVE_CRC;
    if (mc->bEnableTimestamp == 1)
        flags |= CI_SAVE_TIMESTAMP;

    CI_PIPELINE_STATS *stats = &ci->stats;
    bool statsFailed = false;
    statsFailed |= MC_EXSConvert(&mc->sEXS, &stats->sExposureStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sEXS.bRegionEnable == 1)
        flags |= CI_SAVE_EXS_REGION;
    if (mc->sEXS.bGlobalEnable == 1)
        flags |= CI_SAVE_EXS_GLOBAL;
    statsFailed |= MC_FOSConvert(&mc->sFOS, &stats->sFocusStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sFOS.bGlobalEnable == 1)
        flags |= CI_SAVE_FOS_GRID;
    if (mc->sFOS.bRegionEnable == 1)
        flags |= CI_SAVE_FOS_ROI;
    statsFailed |= MC_WBSConvert(&mc->sWBS, &stats->sWhiteBalanceStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sWBS.ui8ActiveROI != 0)
        flags |= CI_SAVE_WHITEBALANCE;
    statsFailed |= MC_AWSConvert(&mc->sAWS, &stats->sAutoWhiteBalanceStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sAWS.bEnable != 0)
        flags |= CI_SAVE_WHITEBALANCE_EXT;
    statsFailed |= MC_HISConvert(&mc->sHIS, &stats->sHistStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sHIS.bRegionEnable == 1)
        flags |= CI_SAVE_HIST_REGION;
    if (mc->sHIS.bGlobalEnable == 1)
        flags |= CI_SAVE_HIST_GLOBAL;
    statsFailed |= MC_FLDConvert(&mc->sFLD, &stats->sFlickerStats, eUpdateMask) != QOV_SUCCESS;
    if (mc->sFLD.bEnable == 1)
        flags |= CI_SAVE_FLICKER;
    statsFailed |= MC_ENSConvert(&mc->sENS, &stats->sEncStats) != QOV_SUCCESS;
    if (mc->sENS.bEnable == 1)
        flags |= CI_SAVE_ENS;
    cfg->eOutputConfig = flags;

    if (statsFailed) {
        LOG_ERROR("failed when converting a statistic configuration\n");
        return QOV_ERROR_FAILURE;
    }
    cfg->ui16SysBlackLevel = mc->ui16SystemBlackLevel;
    return QOV_SUCCESS;
}
