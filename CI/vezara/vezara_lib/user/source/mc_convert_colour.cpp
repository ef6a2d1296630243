// Conversions of the RGB and YUV back end: colour matrix, gamut mappers,
// gamma, colour-plane converters, image enhancer, tone mapper, sharpening,
// scalers and the HDR merge.
#include <cmath>

#include "mc/mc_conversions.h"
#include "mc_fixedpoint_inl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "MC_CONVERT"

using mc::S;
using mc::U;

QOV_RESULT MC_CCMConvert(MC_CCM *pMC, CI_MODULE_CCM *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_CCM))
        return QOV_SUCCESS;

    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 4; ++j)
            pCI->aCoeff[i][j] = static_cast<QOV_INT16>(S(pMC->aCoeff[i][j], 3, 9));
        pCI->aOffset[i] = mc::satTrunc<QOV_INT16>(pMC->aOffset[i]);
    }
    return QOV_SUCCESS;
}

namespace {

void gamutMapperConvert(const MC_GAMUTMAPPER *pMC, CI_MODULE_GAMUTMAPPER *pCI)
{
    pCI->i16ClipMin = static_cast<QOV_INT16>(S(pMC->fClipMin * 256.0, 10, 2));
    pCI->ui16ClipMax = static_cast<QOV_UINT16>(S(pMC->fClipMax * 256.0, 10, 2));
    pCI->ui16SrcNorm = static_cast<QOV_UINT16>(S(pMC->fSrcNorm * 256.0, 10, 2));
    for (int i = 0; i < 3; ++i)
        pCI->aSlope[i] = static_cast<QOV_UINT16>(U(pMC->aSlope[i], 2, 10));
    for (int i = 0; i < 6; ++i)
        pCI->aCoeff[i] = static_cast<QOV_INT16>(S(pMC->aCoeff[i], 2, 6));
}

void planeConvert(const MC_PLANECONV *pMC, CI_MODULE_PLANECONV *pCI, int coeffInt, int coeffFract, int offInt,
                  int offFract)
{
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j)
            pCI->aCoeff[i][j] = static_cast<QOV_INT16>(S(pMC->aCoeff[i][j], coeffInt, coeffFract));
        pCI->aOffset[i] = static_cast<QOV_INT16>(S(pMC->aOffset[i], offInt, offFract));
    }
}

} // namespace

QOV_RESULT MC_MGMConvert(MC_MGM *pMC, CI_MODULE_MGM *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_MGM))
        return QOV_SUCCESS;
    gamutMapperConvert(pMC, pCI);
    return QOV_SUCCESS;
}

QOV_RESULT MC_DGMConvert(MC_MGM *pMC, CI_MODULE_MGM *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_DGM))
        return QOV_SUCCESS;
    gamutMapperConvert(pMC, pCI);
    return QOV_SUCCESS;
}

QOV_RESULT MC_GMAConvert(MC_GMA *pMC, CI_MODULE_GMA *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_GMA))
        return QOV_SUCCESS;
    pCI->bBypass = pMC->bBypass;
    return QOV_SUCCESS;
}

QOV_RESULT MC_R2YConvert(MC_R2Y *pMC, CI_MODULE_R2Y *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_R2Y))
        return QOV_SUCCESS;
    planeConvert(pMC, pCI, 2, 10, 8, 2);
    return QOV_SUCCESS;
}

QOV_RESULT MC_Y2RConvert(MC_Y2R *pMC, CI_MODULE_Y2R *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_Y2R))
        return QOV_SUCCESS;
    planeConvert(pMC, pCI, 3, 9, 9, 2);
    return QOV_SUCCESS;
}

QOV_RESULT MC_MIEConvert(MC_MIE *pMC, CI_MODULE_MIE *pCI, const CI_HWINFO * /*pHWInfo*/, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_MIE))
        return QOV_SUCCESS;

    pCI->ui16BlackLevel = static_cast<QOV_UINT16>(U(pMC->fBlackLevel, 8, 2));
    pCI->bVibrancy = pMC->bVibrancy;
    for (int i = 0; i < 32; ++i)
        pCI->aVibrancySatMul[i] = static_cast<QOV_UINT16>(U(pMC->aVibrancySatMul[i], 4, 8));
    pCI->bMemoryColour = pMC->bMemoryColour;

    // The hardware has three memory colours.
    for (int i = 0; i < 3; ++i) {
        const QOV_INT32 yOffset = mc::satTrunc<QOV_INT32>(pMC->aYOffset[i] * 16383.0 - 8192.0);
        pCI->aYOffset[i] = static_cast<QOV_INT16>(mc::clipBits(yOffset, 14, true));
        pCI->aCOffset[i] = static_cast<QOV_INT16>(S(pMC->aCOffset[i], 9, 1));
        pCI->aYScale[i] = static_cast<QOV_UINT8>(U(pMC->aYScale[i], 2, 4));
        pCI->aCScale[i] = static_cast<QOV_UINT8>(U(pMC->aCScale[i], 4, 4));
        const QOV_INT32 minY = mc::satTrunc<QOV_INT32>(pMC->aGaussMinY[i] * 1023.0);
        pCI->aGaussMinY[i] = static_cast<QOV_UINT16>(mc::clipBits(minY, 10, false));
        pCI->aGaussScaleY[i] = static_cast<QOV_UINT8>(U(pMC->aGaussScaleY[i], 4, 4));
        // A 10-bit centre kept in an 8-bit field: only its low byte survives.
        const QOV_INT32 cb = mc::satTrunc<QOV_INT32>(pMC->aGaussCB[i] * 1023.0 - 512.0);
        const QOV_INT32 cr = mc::satTrunc<QOV_INT32>(pMC->aGaussCR[i] * 1023.0 - 512.0);
        pCI->aGaussCB[i] = static_cast<QOV_INT8>(mc::clipBits(cb, 10, true));
        pCI->aGaussCR[i] = static_cast<QOV_INT8>(mc::clipBits(cr, 10, true));
        pCI->aGaussKB[i] = static_cast<QOV_UINT8>(U(pMC->aGaussKB[i], 8, 0));
        pCI->aGaussKR[i] = static_cast<QOV_UINT8>(U(pMC->aGaussKR[i], 8, 0));
    }
    for (int i = 0; i < 6; ++i) {
        pCI->aRot[i] = static_cast<QOV_INT8>(S(pMC->aRot[i], 1, 7));
        pCI->aGaussRot[i] = static_cast<QOV_INT8>(S(pMC->aGaussRot[i], 1, 7));
    }
    for (int i = 0; i < 12; ++i) {
        const QOV_INT32 scale = mc::satTrunc<QOV_INT32>(pMC->aGaussScale[i]);
        pCI->aGaussScale[i] = static_cast<QOV_UINT8>(mc::clipBits(scale, 8, false));
        pCI->aGaussGain[i] = static_cast<QOV_UINT8>(U(pMC->aGaussGain[i], 0, 8));
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_TNMConvert(MC_TNM *pMC, const MC_IIF *pIIF, QOV_UINT8 ui8Paralelism, CI_MODULE_TNM *pCI,
                         int *eUpdateMask)
{
    if (!pMC || !pIIF || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_TNM))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_TNM{};
    for (int i = 0; i < 63; ++i)
        pCI->aCurve[i] = static_cast<QOV_UINT16>(U(pMC->aCurve[i], 1, 11));
    pCI->bBypassTNM = pMC->bBypassTNM;
    pCI->histFlattenMin = static_cast<QOV_UINT16>(U(pMC->histFlattenMin, 0, 11));
    const double t = pMC->histFlattenThreshold;
    pCI->histFlattenThreshold[0] = static_cast<QOV_UINT16>(U(t, 0, 11));
    pCI->histFlattenThreshold[1] = static_cast<QOV_UINT16>(U(t == 0.0 ? 1.0 : mc::recip(1.0 - t), 4, 12));

    // Column width in pixels; no columns at all gives width 0, which the
    // tone-mapper check refuses.
    const QOV_INT64 imagerWidth = 2 * static_cast<QOV_INT64>(pIIF->ui16ImagerSize[0]);
    const QOV_INT64 columns = pMC->ui16LocalColumns;
    const QOV_UINT16 colWidth =
        columns == 0 ? 0 : static_cast<QOV_UINT16>((imagerWidth + columns - 1) / columns);
    const double parallelism = ui8Paralelism;
    pCI->histNormFactor = static_cast<QOV_UINT16>(U(mc::recip(parallelism * colWidth), 0, 16));
    const double lastWidth = static_cast<double>(imagerWidth - (columns - 1) * colWidth);
    pCI->histNormLastFactor = static_cast<QOV_UINT16>(U(mc::recip(parallelism * lastWidth), 0, 16));

    pCI->chromaSaturationScale = static_cast<QOV_UINT16>(U(pMC->chromaSaturationScale, 4, 8));
    pCI->chromaConfigurationScale = static_cast<QOV_UINT16>(U(pMC->chromaConfigurationScale, 6, 10));
    pCI->chromaIOScale = static_cast<QOV_UINT16>(U(pMC->chromaIOScale, 2, 14));
    pCI->localColWidth[0] = colWidth;
    pCI->localColWidth[1] = colWidth == 0 ? 0 : static_cast<QOV_UINT16>(U(1.0 / colWidth, 0, 16));
    pCI->localColumns = static_cast<QOV_UINT16>(pMC->ui16LocalColumns - 1);
    pCI->columnsIdx = pMC->ui16ColumnsIndex;
    pCI->localWeights = static_cast<QOV_UINT16>(U(pMC->localWeights, 0, 10));
    pCI->updateWeights = static_cast<QOV_UINT16>(U(pMC->updateWeights, 0, 16));
    pCI->inputLumaOffset = static_cast<QOV_UINT16>(U(pMC->inputLumaOffset, 8, 4));
    pCI->outputLumaOffset = static_cast<QOV_UINT16>(U(pMC->outputLumaOffset, 8, 4));
    pCI->inputLumaScale = static_cast<QOV_UINT16>(U(pMC->inputLumaScale, 4, 12));
    pCI->outputLumaScale = static_cast<QOV_UINT16>(U(pMC->outputLumaScale, 4, 12));
    return QOV_SUCCESS;
}

QOV_RESULT MC_SHAConvert(MC_SHA *pMC, CI_MODULE_SHA *pCI, const CI_HWINFO * /*pHWInfo*/, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_SHA))
        return QOV_SUCCESS;

    pCI->ui8Threshold = static_cast<QOV_UINT8>(U(pMC->ui16Threshold, 8, 0));
    pCI->ui8Strength = mc::satTrunc<QOV_UINT8>(pMC->fStrength);
    pCI->ui8Detail = static_cast<QOV_UINT8>(U(pMC->fDetail, 0, 6));
    pCI->bDenoiseBypass = pMC->bDenoise ? QOV_FALSE : QOV_TRUE;
    for (int i = 0; i < 6; ++i)
        pCI->aGainWeight[i] = mc::satTrunc<QOV_UINT8>(pMC->aGainWeigth[i]);
    pCI->ui8ELWScale = mc::satTrunc<QOV_UINT8>(pMC->fELWScale);
    pCI->i8ELWOffset = static_cast<QOV_INT8>(pMC->i16ELWOffset & 0xFF);
    for (int i = 0; i < 7; ++i) {
        pCI->aDNSimil[i] = static_cast<QOV_UINT8>(U(pMC->aDNSimil[i], 8, 0));
        pCI->aDNAvoid[i] = static_cast<QOV_UINT8>(U(pMC->aDNAvoid[i], 8, 0));
    }
    return QOV_SUCCESS;
}

namespace {

// Bypass, output size and offset of a scaler; then the pitch check.
QOV_RESULT scalerCommon(QOV_BOOL8 bypass, const QOV_UINT16 *outputSize, const QOV_UINT16 *offset,
                        const double *pitch, CI_MODULE_SCALER *pCI)
{
    pCI->bBypassScaler = bypass;
    pCI->aOutputSize[0] = outputSize[0] < 2 ? 0 : static_cast<QOV_UINT16>(outputSize[0] / 2 - 1);
    pCI->aOutputSize[1] = outputSize[1] == 0 ? 0 : static_cast<QOV_UINT16>(outputSize[1] - 1);
    pCI->aOffset[0] = offset[0];
    pCI->aOffset[1] = offset[1];

    // Not ">= 1.0" also catches NaN; an infinite pitch has no taps either.
    if (!(pitch[0] >= 1.0) || !(pitch[1] >= 1.0) || std::isinf(pitch[0]) || std::isinf(pitch[1])) {
        LOG_ERROR("upsampling not supported: pitch < 1.0 is not valid (given: %f %f)\n", pitch[0], pitch[1]);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    pCI->aPitch[0] = static_cast<QOV_UINT32>(U(pitch[0], 6, 15));
    pCI->aPitch[1] = static_cast<QOV_UINT32>(U(pitch[1], 6, 15));
    return QOV_SUCCESS;
}

} // namespace

QOV_RESULT MC_ESCConvert(MC_ESC *pMC, CI_MODULE_ESC *pCI, QOV_BOOL8 bOutput422, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_ESC))
        return QOV_SUCCESS;

    QOV_RESULT ret = scalerCommon(pMC->bBypassESC, pMC->aOutputSize, pMC->aOffset, pMC->aPitch, pCI);
    if (ret != QOV_SUCCESS)
        return ret;
    pCI->bChromaInter = pMC->bChromaInter;
    pCI->bOutput422 = bOutput422;

    if (!pMC->bBypassESC) {
        const double h = pMC->aPitch[0];
        const double v = pMC->aPitch[1];
        QOV_CalculateScalerCoefficients(16, h, pCI->HLuma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(8, v, pCI->VLuma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(8, h, pCI->HChroma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(4, bOutput422 ? v : 2.0 * v, pCI->VChroma, pMC->bAdjustCutoff);
    }
    if (CI_ModuleScaler_verif(pCI) != QOV_SUCCESS) {
        LOG_ERROR("failed to configure ESC taps\n");
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_DSCConvert(MC_DSC *pMC, CI_MODULE_DSC *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_DSC))
        return QOV_SUCCESS;

    QOV_RESULT ret = scalerCommon(pMC->bBypassDSC, pMC->aOutputSize, pMC->aOffset, pMC->aPitch, pCI);
    if (ret != QOV_SUCCESS)
        return ret;

    if (!pMC->bBypassDSC) {
        const double h = pMC->aPitch[0];
        const double v = pMC->aPitch[1];
        QOV_CalculateScalerCoefficients(8, h, pCI->HLuma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(4, v, pCI->VLuma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(4, h, pCI->HChroma, pMC->bAdjustCutoff);
        QOV_CalculateScalerCoefficients(2, v, pCI->VChroma, pMC->bAdjustCutoff);
    }
    ret = CI_ModuleScaler_verif(pCI);
    if (ret == QOV_ERROR_FAILURE) {
        LOG_ERROR("failed to configure DSC taps\n");
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_HDRConvert(MC_HDR *pMC, const MC_WBC *pWBC, CI_MODULE_HDR *pCI, int *eUpdateMask)
{
    if (!pMC || !pWBC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_HDR))
        return QOV_SUCCESS;

    pCI->eHDRMode = pMC->eHDRMode;
    pCI->eBayerMode = pMC->eBayerMode;
    pCI->bLongExpFirst = pMC->bLongExpFirst;
    for (int d = 0; d < 2; ++d) {
        pCI->aFrameSize[d] = pMC->aFrameSize[d];
        pCI->aBlackLevel[d] = pMC->aBlackLevel[d];
    }
    pCI->ui32LineGap = pMC->ui32LineGap;
    pCI->ui16ExposureRatio = static_cast<QOV_UINT16>(U(pMC->fExposureRatio, 8, 8));
    pCI->ui16Gain = static_cast<QOV_UINT16>(U(pMC->fGain, 8, 8));
    for (int c = 0; c < 4; ++c)
        pCI->aWBCGains[c] = static_cast<QOV_UINT16>(U(pWBC->aGain[c], 3, 10));
    for (int i = 0; i < 3; ++i)
        pCI->aLumCoeffs[i] = static_cast<QOV_UINT16>(U(pMC->aLumCoeffs[i], 0, 12));

    // The tables are large: flag a change so that the driver can skip them.
    bool weightChanged = false;
    for (QOV_UINT32 i = 0; i < MC_HDR_WEIGHT_POINTS; ++i) {
        const QOV_UINT16 v = static_cast<QOV_UINT16>(U(pMC->aWeightCurve[i], 1, 8));
        if (v != pCI->aWeightCurve[i]) {
            pCI->aWeightCurve[i] = v;
            weightChanged = true;
        }
    }
    bool tnmChanged = false;
    for (QOV_UINT32 i = 0; i < MC_HDR_TNM_POINTS; ++i) {
        const QOV_UINT16 v = static_cast<QOV_UINT16>(U(pMC->aTNMCurve[i] * 4096.0, 12, 0));
        if (v != pCI->aTNMCurve[i]) {
            pCI->aTNMCurve[i] = v;
            tnmChanged = true;
        }
    }
    pCI->bUpdateWeight = weightChanged ? QOV_TRUE : QOV_FALSE;
    pCI->bUpdateTNM = tnmChanged ? QOV_TRUE : QOV_FALSE;
    return QOV_SUCCESS;
}
