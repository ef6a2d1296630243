// Conversions of the raw-domain modules: imager interface, black level, raw
// look-up table, lens-shading gradients, white balance, denoiser, defective
// pixels and lateral chromatic aberration.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "mc/mc_conversions.h"
#include "mc_fixedpoint_inl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "MC_CONVERT"

using mc::S;
using mc::U;

QOV_RESULT MC_IIFConvert(MC_IIF *pMC, CI_MODULE_IIF *pCI)
{
    if (!pMC || !pCI)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!pMC->updateNeeded)
        return QOV_SUCCESS;
    pMC->updateNeeded = QOV_FALSE;

    pCI->ui8Imager = pMC->ui8Imager;
    pCI->eBayerFormat = pMC->eBayerFormat;
    pCI->ui16BuffThreshold = static_cast<QOV_UINT16>(2 * pMC->ui16ImagerSize[0] - 1);
    for (int d = 0; d < 2; ++d) {
        pCI->ui16ImagerOffset[d] = pMC->ui16ImagerOffset[d];
        pCI->ui16ImagerSize[d] = static_cast<QOV_UINT16>(pMC->ui16ImagerSize[d] - 1);
        pCI->ui16ImagerDecimation[d] = pMC->ui16ImagerDecimation[d];
    }
    pCI->ui8BlackBorderOffset = pMC->ui8BlackBorderOffset;
    return QOV_SUCCESS;
}

QOV_RESULT MC_BLCConvert(MC_BLC *pMC, CI_MODULE_BLC *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_BLC))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_BLC{};
    pCI->bRowAverage = pMC->bRowAverage;
    pCI->bBlackFrame = pMC->bBlackFrame;
    if (pMC->bRowAverage && pMC->fRowAverage != 0.0)
        pCI->ui16RowReciprocal = static_cast<QOV_UINT16>(U(1.0 / pMC->fRowAverage, 1, 9));
    pCI->ui16PixelMax = static_cast<QOV_UINT16>(U(pMC->ui16PixelMax, 6, 2));
    if (!pMC->bRowAverage) {
        for (int c = 0; c < 4; ++c)
            pCI->i8FixedOffset[c] = pMC->aFixedOffset[c];
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_RLTConvert(MC_RLT *pMC, CI_MODULE_RLT *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_RLT))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_RLT{};
    pCI->eMode = pMC->eMode;
    // The points are already 16-bit: the unsigned 16-bit clip keeps them.
    memcpy(pCI->aPoints, pMC->aPoints, sizeof(pCI->aPoints));
    return QOV_SUCCESS;
}

QOV_RESULT MC_LSHConvert(MC_LSH *pMC, CI_MODULE_LSH *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_LSH))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_LSH{};
    for (int c = 0; c < 4; ++c) {
        pCI->aGradientsX[c] = static_cast<QOV_UINT16>(S(pMC->aGradients[c][0], -1, 12));
        pCI->aGradientsY[c] = static_cast<QOV_UINT16>(S(pMC->aGradients[c][1], -1, 12));
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBCConvert(MC_WBC *pMC, CI_MODULE_WBC *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_WBC))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_WBC{};
    for (int c = 0; c < 4; ++c) {
        pCI->aGain[c] = static_cast<QOV_UINT16>(U(pMC->aGain[c], 6, 10));
        pCI->aClip[c] = static_cast<QOV_UINT16>(U(pMC->aClip[c], 9, 4));
    }
    pCI->eRGBThresholdMode = pMC->eRGBThresholdMode;
    for (int c = 0; c < 3; ++c) {
        const QOV_INT32 t = mc::satTrunc<QOV_INT32>(pMC->afRGBThreshold[c] * 511.0 - 1.0);
        pCI->aRGBThreshold[c] = static_cast<QOV_UINT16>(mc::clipBits(t, 9, false));
        pCI->aRGBGain[c] = static_cast<QOV_UINT8>(U(pMC->afRGBGain[c], 4, 4));
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_DNSConvert(MC_DNS *pMC, CI_MODULE_DNS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_DNS))
        return QOV_SUCCESS;

    *pCI = CI_MODULE_DNS{};
    pCI->bCombineChannels = pMC->bCombineChannels;
    const double log2Thresh = std::log(pMC->fGreyscalePixelThreshold) / 0.6931471805599453;
    pCI->i8Log2PixThresh = static_cast<QOV_INT8>(S(log2Thresh, 3, 3));
    for (int i = 0; i < 21; ++i)
        pCI->aPixThresLUT[i] = static_cast<QOV_UINT16>(U(pMC->aPixThresLUT[i], 8, 5));
    return QOV_SUCCESS;
}

QOV_RESULT MC_DPFConvert(MC_DPF *pMC, const MC_IIF *pIIF, CI_MODULE_DPF *pCI, int *eUpdateMask)
{
    if (!pMC || !pIIF || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_DPF))
        return QOV_SUCCESS;

    // The driver rewrites its defect list only under CI_UPD_DPF_INPUT: ask
    // for it whenever the list changes, from a map or to one.
    if (pCI->sInput.apDefectInput || pMC->apDefectInput)
        *eUpdateMask |= CI_UPD_DPF_INPUT;
    free(pCI->sInput.apDefectInput);

    *pCI = CI_MODULE_DPF{};
    pCI->eDPFEnable = pMC->eDPFEnable;

    if (pMC->apDefectInput) {
        const QOV_UINT32 n = pMC->ui32NDefect;
        if (n == 0) {
            printf("MC_DPFConvert: a defect map without any defect is refused\n");
            return QOV_ERROR_INVALID_ARGUMENT;
        }
        QOV_UINT16 *copy = static_cast<QOV_UINT16 *>(calloc(2 * static_cast<size_t>(n), sizeof(QOV_UINT16)));
        if (!copy) {
            LOG_ERROR("failed to copy the defect map (%u defects)\n", n);
            return QOV_ERROR_NO_MEMORY;
        }
        memcpy(copy, pMC->apDefectInput, 2 * static_cast<size_t>(n) * sizeof(QOV_UINT16));
        pCI->sInput.apDefectInput = copy;
        pCI->sInput.ui32NDefect = n;

        if (pMC->ui16NbLines != 0) {
            const QOV_UINT32 lines = pMC->ui16NbLines;
            const QOV_UINT32 height = 2u * pIIF->ui16ImagerSize[1];
            const QOV_UINT32 windows = height / lines + 1;
            QOV_UINT32 *counts = static_cast<QOV_UINT32 *>(calloc(windows, sizeof(QOV_UINT32)));
            if (!counts) {
                LOG_ERROR("failed to count the defects per line window\n");
                return QOV_ERROR_NO_MEMORY;
            }
            QOV_UINT32 largest = 0;
            for (QOV_UINT32 i = 0; i < n; ++i) {
                const QOV_UINT32 y = copy[2 * i + 1];
                const QOV_UINT32 window = y / lines;
                if (window >= windows) {
                    LOG_ERROR("The given DPF map has more lines than the IIF is setup for! Found y=%d while "
                              "IIF_height=%d\n",
                              static_cast<int>(y), static_cast<int>(height));
                    free(counts);
                    return QOV_ERROR_NOT_SUPPORTED;
                }
                if (++counts[window] > largest)
                    largest = counts[window];
            }
            free(counts);
            pCI->sInput.ui16InternalBufSize = static_cast<QOV_UINT16>((largest + 1) * 4);
        }
    }

    for (int d = 0; d < 2; ++d) {
        pCI->aSkip[d] = pMC->aSkip[d];
        pCI->aOffset[d] = pMC->aOffset[d];
    }
    pCI->ui8Threshold = pMC->ui8Threshold;
    pCI->ui8Weight = static_cast<QOV_UINT8>(U(pMC->fWeight, 6, 0));
    pCI->ui8PositiveThreshold = 0;
    pCI->ui8NegativeThreshold = 0;
    return QOV_SUCCESS;
}

QOV_RESULT MC_DPFRevert(const CI_MODULE_DPF *pCI, QOV_UINT32 /*eConfig*/, MC_DPF *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    *pMC = MC_DPF{};
    pMC->eDPFEnable = pCI->eDPFEnable;
    pMC->ui32NDefect = pCI->sInput.ui32NDefect;
    for (int d = 0; d < 2; ++d) {
        pMC->aSkip[d] = pCI->aSkip[d];
        pMC->aOffset[d] = pCI->aOffset[d];
    }
    pMC->ui8Threshold = pCI->ui8Threshold;
    pMC->fWeight = mc::fixRevert(pCI->ui8Weight, 6, 0, false);
    return QOV_SUCCESS;
}

QOV_RESULT MC_LCAConvert(MC_LCA *pMC, CI_MODULE_LCA *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_LCA))
        return QOV_SUCCESS;

    for (int i = 0; i < 3; ++i) {
        for (int d = 0; d < 2; ++d) {
            pCI->aCoeffRed[i][d] = static_cast<QOV_INT16>(S(pMC->aCoeffRed[i][d], 5, 7));
            pCI->aCoeffBlue[i][d] = static_cast<QOV_INT16>(S(pMC->aCoeffBlue[i][d], 5, 7));
        }
    }
    for (int d = 0; d < 2; ++d) {
        pCI->aOffsetRed[d] = pMC->aOffsetRed[d];
        pCI->aOffsetBlue[d] = pMC->aOffsetBlue[d];
        pCI->aShift[d] = pMC->aShift[d];
        pCI->aDec[d] = pMC->aDec[d];
    }
    return QOV_SUCCESS;
}
