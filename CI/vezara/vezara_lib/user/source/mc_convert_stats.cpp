// Conversions of the statistics configuration, and the reverts that rebuild
// the configuration a shot was taken with from its hardware record and
// output flags.
#include <algorithm>
#include <cmath>

#include "mc/mc_conversions.h"
#include "mc_fixedpoint_inl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "MC_CONVERT"

using mc::S;
using mc::U;

QOV_RESULT MC_EXSConvert(MC_EXS *pMC, CI_MODULE_EXS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_EXS))
        return QOV_SUCCESS;

    pCI->ui16Left = pMC->ui16Left;
    pCI->ui16Top = pMC->ui16Top;
    pCI->ui16Width = pMC->ui16Width;
    pCI->ui16Height = pMC->ui16Height;
    pCI->ui16PixelMax = mc::satTrunc<QOV_UINT16>(pMC->fPixelMax);
    return QOV_SUCCESS;
}

QOV_RESULT MC_FOSConvert(MC_FOS *pMC, CI_MODULE_FOS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_FOS))
        return QOV_SUCCESS;

    pCI->ui16Left = pMC->ui16Left;
    pCI->ui16Top = pMC->ui16Top;
    pCI->ui16Width = pMC->ui16Width;
    pCI->ui16Height = pMC->ui16Height;
    pCI->ui16ROILeft = pMC->ui16ROILeft;
    pCI->ui16ROITop = pMC->ui16ROITop;
    pCI->ui16ROIRight = static_cast<QOV_UINT16>(pMC->ui16ROILeft + pMC->ui16ROIWidth - 1);
    pCI->ui16ROIBottom = static_cast<QOV_UINT16>(pMC->ui16ROITop + pMC->ui16ROIHeight - 1);
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBSConvert(MC_WBS *pMC, CI_MODULE_WBS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_WBS))
        return QOV_SUCCESS;

    for (int r = 0; r < 2; ++r) {
        const bool active = pMC->ui8ActiveROI > r;
        pCI->aRoiLeft[r] = pMC->aRoiLeft[r];
        pCI->aRoiTop[r] = pMC->aRoiTop[r];

        const QOV_INT32 right = pMC->aRoiLeft[r] + pMC->aRoiWidth[r];
        if (right != 0) {
            pCI->aRoiRight[r] = static_cast<QOV_UINT16>(mc::clipBits(right - 1, 15, false));
        } else {
            pCI->aRoiRight[r] = 0;
            if (active)
                LOG_WARNING("WBS CI::aRoiRigh[%d] forced to 0 because (MC::aRoiLeft[%d] + MC::aRoiWidth[%d]) <= 0\n",
                            r, r, r);
        }
        const QOV_INT32 bottom = pMC->aRoiTop[r] + pMC->aRoiHeight[r];
        if (bottom != 0) {
            pCI->aRoiBottom[r] = static_cast<QOV_UINT16>(mc::clipBits(bottom - 1, 15, false));
        } else {
            pCI->aRoiBottom[r] = 0;
            if (active)
                LOG_WARNING(
                    "WBS CI::aRoiBottom[%d] forced to 0 because (MC::aRoiTop[%d] + MC::aRoiHeight[%d]) <= 0\n", r,
                    r, r);
        }
        pCI->aRMax[r] = pMC->aRMax[r];
        pCI->aGMax[r] = pMC->aGMax[r];
        pCI->aBMax[r] = pMC->aBMax[r];
        pCI->aYMax[r] = pMC->aYMax[r];
    }
    pCI->ui8ActiveROI = static_cast<QOV_UINT8>(pMC->ui8ActiveROI == 0 ? 0 : pMC->ui8ActiveROI - 1);
    pCI->ui16RGBOffset = static_cast<QOV_INT16>(S(pMC->fRGBOffset, 9, 4));
    pCI->ui16YOffset = static_cast<QOV_INT16>(S(pMC->fYOffset, 9, 4));
    return QOV_SUCCESS;
}

QOV_RESULT MC_AWSConvert(MC_AWS *pMC, CI_MODULE_AWS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_AWS))
        return QOV_SUCCESS;

    pCI->bEnable = pMC->bEnable;
    pCI->bDebugBitmap = pMC->bDebugBitmap;
    pCI->ui16Log2_R_Qeff = static_cast<QOV_UINT16>(S(pMC->fLog2_R_Qeff, 8, 5));
    pCI->ui16Log2_B_Qeff = static_cast<QOV_UINT16>(S(pMC->fLog2_B_Qeff, 8, 5));
    pCI->ui16RedDarkThresh = static_cast<QOV_UINT16>(U(pMC->fRedDarkThresh, 8, 8));
    pCI->ui16BlueDarkThresh = static_cast<QOV_UINT16>(U(pMC->fBlueDarkThresh, 8, 8));
    pCI->ui16GreenDarkThresh = static_cast<QOV_UINT16>(U(pMC->fGreenDarkThresh, 8, 8));
    pCI->ui16RedClipThresh = static_cast<QOV_UINT16>(U(pMC->fRedClipThresh, 8, 8));
    pCI->ui16BlueClipThresh = static_cast<QOV_UINT16>(U(pMC->fBlueClipThresh, 8, 8));
    pCI->ui16GreenClipThresh = static_cast<QOV_UINT16>(U(pMC->fGreenClipThresh, 8, 8));
    pCI->ui16BbDist = static_cast<QOV_UINT16>(U(pMC->fBbDist, 7, 5));
    // The grid is in CFA cells; tile sizes minus 1.
    pCI->ui16GridStartRow = static_cast<QOV_UINT16>(pMC->ui16GridStartRow / 2);
    pCI->ui16GridStartColumn = static_cast<QOV_UINT16>(pMC->ui16GridStartColumn / 2);
    pCI->ui16GridTileWidth = static_cast<QOV_UINT16>(pMC->ui16GridTileWidth / 2 - 1);
    pCI->ui16GridTileHeight = static_cast<QOV_UINT16>(pMC->ui16GridTileHeight / 2 - 1);
    for (int i = 0; i < 5; ++i) {
        pCI->sCurveCoeffs.aCurveCoeffX[i] = static_cast<QOV_INT16>(S(pMC->aCurveCoeffX[i], 5, 10));
        pCI->sCurveCoeffs.aCurveCoeffY[i] = static_cast<QOV_INT16>(S(pMC->aCurveCoeffY[i], 5, 10));
        pCI->sCurveCoeffs.aCurveOffset[i] = static_cast<QOV_INT16>(S(pMC->aCurveOffset[i], 5, 10));
        pCI->sCurveCoeffs.aCurveBoundary[i] = static_cast<QOV_INT16>(S(pMC->aCurveBoundary[i], 5, 10));
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_HISConvert(MC_HIS *pMC, CI_MODULE_HIS *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_HIS))
        return QOV_SUCCESS;

    pCI->ui16InputOffset = mc::satTrunc<QOV_UINT16>(pMC->fInputOffset);
    pCI->ui16InputScale = mc::satTrunc<QOV_UINT16>(pMC->fInputScale);
    pCI->ui16Left = pMC->ui16Left;
    pCI->ui16Top = pMC->ui16Top;
    pCI->ui16Width = pMC->ui16Width;
    pCI->ui16Height = pMC->ui16Height;
    return QOV_SUCCESS;
}

QOV_RESULT MC_FLDConvert(MC_FLD *pMC, CI_MODULE_FLD *pCI, int *eUpdateMask)
{
    if (!pMC || !pCI || !eUpdateMask)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!mc::takeUpdate(pMC, eUpdateMask, CI_UPD_FLD))
        return QOV_SUCCESS;

    // Fraction of a 100 Hz (120 Hz) period per line; 12800 = 100 x 128.
    const double linesPerSecond = pMC->ui16VTot * pMC->fFrameRate;
    const double step50 = std::clamp(12800.0 * mc::recip(linesPerSecond), 0.0, 1.0);
    const double step60 = std::clamp(15360.0 * mc::recip(linesPerSecond), 0.0, 1.0);
    pCI->ui16FracStep50 = static_cast<QOV_UINT16>(U(step50, 1, 14));
    pCI->ui16FracStep60 = static_cast<QOV_UINT16>(U(step60, 1, 14));
    pCI->ui16VertTotal = pMC->ui16VTot;
    pCI->ui16CoefDiff = pMC->ui16CoefDiff;
    pCI->ui16NFThreshold = pMC->ui16NFThreshold;
    pCI->ui32SceneChange = pMC->ui32SceneChange;
    pCI->ui8RShift = pMC->ui8RShift;
    pCI->ui8MinPN = pMC->ui8MinPN;
    pCI->ui8PN = pMC->ui8PN;
    pCI->bReset = pMC->bReset;
    return QOV_SUCCESS;
}

namespace {

bool isPowerOfTwo(QOV_UINT32 v) { return v != 0 && (v & (v - 1)) == 0; }

QOV_UINT8 floorLog2(QOV_UINT32 v)
{
    QOV_UINT8 n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

} // namespace

QOV_RESULT MC_ENSConvert(MC_ENS *pMC, CI_MODULE_ENS *pCI)
{
    if (!pMC || !pCI)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!pMC->updateNeeded)
        return QOV_SUCCESS;
    pMC->updateNeeded = QOV_FALSE;

    const QOV_UINT32 given = pMC->ui32NLines;
    const QOV_UINT32 lines = std::clamp<QOV_UINT32>(given, 8, 1024);
    if (lines != given)
        LOG_WARNING("nb of couples clipped from %d to %d (min=%d, max=%d)\n", static_cast<int>(given),
                    static_cast<int>(lines), 8, 1024);
    if (!isPowerOfTwo(lines)) {
        LOG_ERROR("nb of lines should be a power of 2 (%u given)\n", lines);
        return QOV_ERROR_FAILURE;
    }
    pCI->ui8Log2NCouples = static_cast<QOV_UINT8>(floorLog2(lines) - 3);

    const QOV_UINT32 sub = pMC->ui32KernelSubsampling;
    if (sub <= 1) {
        pCI->ui8SubExp = 0;
    } else {
        pCI->ui8SubExp = floorLog2(sub);
        if (!isPowerOfTwo(sub)) {
            LOG_ERROR("kernel subsampling should be a power of 2 (%u given)\n", sub);
            return QOV_ERROR_FAILURE;
        }
    }
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Reverts
 *-------------------------------------------------------------------------*/

QOV_RESULT MC_EXSRevert(const CI_MODULE_EXS *pCI, QOV_UINT32 eConfig, MC_EXS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bGlobalEnable = (eConfig & CI_SAVE_EXS_GLOBAL) ? QOV_TRUE : QOV_FALSE;
    pMC->bRegionEnable = (eConfig & CI_SAVE_EXS_REGION) ? QOV_TRUE : QOV_FALSE;
    pMC->ui16Left = pCI->ui16Left;
    pMC->ui16Top = pCI->ui16Top;
    pMC->ui16Width = pCI->ui16Width;
    pMC->ui16Height = pCI->ui16Height;
    pMC->fPixelMax = pCI->ui16PixelMax;
    return QOV_SUCCESS;
}

QOV_RESULT MC_FOSRevert(const CI_MODULE_FOS *pCI, QOV_UINT32 eConfig, MC_FOS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bGlobalEnable = (eConfig & CI_SAVE_FOS_GRID) ? QOV_TRUE : QOV_FALSE;
    pMC->bRegionEnable = (eConfig & CI_SAVE_FOS_ROI) ? QOV_TRUE : QOV_FALSE;
    pMC->ui16Left = pCI->ui16Left;
    pMC->ui16Top = pCI->ui16Top;
    pMC->ui16Width = pCI->ui16Width;
    pMC->ui16Height = pCI->ui16Height;
    pMC->ui16ROILeft = pCI->ui16ROILeft;
    pMC->ui16ROITop = pCI->ui16ROITop;
    pMC->ui16ROIWidth = static_cast<QOV_UINT16>(pCI->ui16ROIRight - pCI->ui16ROILeft + 1);
    pMC->ui16ROIHeight = static_cast<QOV_UINT16>(pCI->ui16ROIBottom - pCI->ui16ROITop + 1);
    return QOV_SUCCESS;
}

QOV_RESULT MC_WBSRevert(const CI_MODULE_WBS *pCI, QOV_UINT32 eConfig, MC_WBS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->ui8ActiveROI =
        (eConfig & CI_SAVE_WHITEBALANCE) ? static_cast<QOV_UINT8>(pCI->ui8ActiveROI + 1) : QOV_UINT8{0};
    pMC->fRGBOffset = mc::fixRevert(pCI->ui16RGBOffset, 9, 4, true);
    pMC->fYOffset = mc::fixRevert(pCI->ui16YOffset, 9, 4, true);
    for (int r = 0; r < 2; ++r) {
        pMC->aRoiLeft[r] = pCI->aRoiLeft[r];
        pMC->aRoiTop[r] = pCI->aRoiTop[r];
        pMC->aRoiWidth[r] =
            pCI->aRoiRight[r] == 0 ? QOV_UINT16{0} : static_cast<QOV_UINT16>(pCI->aRoiRight[r] - pCI->aRoiLeft[r] + 1);
        pMC->aRoiHeight[r] = pCI->aRoiBottom[r] == 0
                                 ? QOV_UINT16{0}
                                 : static_cast<QOV_UINT16>(pCI->aRoiBottom[r] - pCI->aRoiTop[r] + 1);
        pMC->aRMax[r] = pCI->aRMax[r];
        pMC->aGMax[r] = pCI->aGMax[r];
        pMC->aBMax[r] = pCI->aBMax[r];
        pMC->aYMax[r] = pCI->aYMax[r];
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_AWSRevert(const CI_MODULE_AWS *pCI, QOV_UINT32 eConfig, MC_AWS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bEnable = (eConfig & CI_SAVE_WHITEBALANCE_EXT) ? QOV_TRUE : QOV_FALSE;
    pMC->bDebugBitmap = pCI->bDebugBitmap;
    // S8.5 values kept in 16-bit fields: sign-extend from 16 bits.
    pMC->fLog2_R_Qeff = mc::fixRevert(static_cast<QOV_INT16>(pCI->ui16Log2_R_Qeff), 8, 5, true);
    pMC->fLog2_B_Qeff = mc::fixRevert(static_cast<QOV_INT16>(pCI->ui16Log2_B_Qeff), 8, 5, true);
    pMC->fRedDarkThresh = mc::fixRevert(pCI->ui16RedDarkThresh, 8, 8, false);
    pMC->fBlueDarkThresh = mc::fixRevert(pCI->ui16BlueDarkThresh, 8, 8, false);
    pMC->fGreenDarkThresh = mc::fixRevert(pCI->ui16GreenDarkThresh, 8, 8, false);
    pMC->fRedClipThresh = mc::fixRevert(pCI->ui16RedClipThresh, 8, 8, false);
    pMC->fBlueClipThresh = mc::fixRevert(pCI->ui16BlueClipThresh, 8, 8, false);
    pMC->fGreenClipThresh = mc::fixRevert(pCI->ui16GreenClipThresh, 8, 8, false);
    pMC->fBbDist = mc::fixRevert(pCI->ui16BbDist, 7, 5, false);
    pMC->ui16GridStartRow = static_cast<QOV_UINT16>(pCI->ui16GridStartRow * 2);
    pMC->ui16GridStartColumn = static_cast<QOV_UINT16>(pCI->ui16GridStartColumn * 2);
    pMC->ui16GridTileWidth = static_cast<QOV_UINT16>(pCI->ui16GridTileWidth * 2 + 2);
    pMC->ui16GridTileHeight = static_cast<QOV_UINT16>(pCI->ui16GridTileHeight * 2 + 2);
    for (int i = 0; i < 5; ++i) {
        pMC->aCurveCoeffX[i] = mc::fixRevert(pCI->sCurveCoeffs.aCurveCoeffX[i], 5, 10, true);
        pMC->aCurveCoeffY[i] = mc::fixRevert(pCI->sCurveCoeffs.aCurveCoeffY[i], 5, 10, true);
        pMC->aCurveOffset[i] = mc::fixRevert(pCI->sCurveCoeffs.aCurveOffset[i], 5, 10, true);
        pMC->aCurveBoundary[i] = mc::fixRevert(pCI->sCurveCoeffs.aCurveBoundary[i], 5, 10, true);
    }
    return QOV_SUCCESS;
}

QOV_RESULT MC_HISRevert(const CI_MODULE_HIS *pCI, QOV_UINT32 eConfig, MC_HIS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bGlobalEnable = (eConfig & CI_SAVE_HIST_GLOBAL) ? QOV_TRUE : QOV_FALSE;
    pMC->bRegionEnable = (eConfig & CI_SAVE_HIST_REGION) ? QOV_TRUE : QOV_FALSE;
    pMC->fInputOffset = pCI->ui16InputOffset;
    pMC->fInputScale = pCI->ui16InputScale;
    pMC->ui16Left = pCI->ui16Left;
    pMC->ui16Top = pCI->ui16Top;
    pMC->ui16Width = pCI->ui16Width;
    pMC->ui16Height = pCI->ui16Height;
    return QOV_SUCCESS;
}

// The frame rate follows from the 50 Hz step and the vertical total; when
// either is 0 (the vertical total does not travel in the load structure)
// it cannot be known and is given as 0.
QOV_RESULT MC_FLDRevert(const CI_MODULE_FLD *pCI, QOV_UINT32 eConfig, MC_FLD *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bEnable = (eConfig & CI_SAVE_FLICKER) ? QOV_TRUE : QOV_FALSE;
    pMC->ui16VTot = pCI->ui16VertTotal;
    const double step50 = mc::fixRevert(pCI->ui16FracStep50, 1, 14, false);
    const double lines = pMC->ui16VTot * step50;
    pMC->fFrameRate = lines == 0.0 ? 0.0 : 12800.0 / lines;
    pMC->ui16CoefDiff = pCI->ui16CoefDiff;
    pMC->ui16NFThreshold = pCI->ui16NFThreshold;
    pMC->ui32SceneChange = pCI->ui32SceneChange;
    pMC->ui8RShift = pCI->ui8RShift;
    pMC->ui8MinPN = pCI->ui8MinPN;
    pMC->ui8PN = pCI->ui8PN;
    pMC->bReset = pCI->bReset;
    return QOV_SUCCESS;
}

QOV_RESULT MC_ENSRevert(const CI_MODULE_ENS *pCI, QOV_UINT32 eConfig, MC_ENS *pMC)
{
    if (!pCI || !pMC)
        return QOV_ERROR_INVALID_ARGUMENT;
    pMC->bEnable = (eConfig & CI_SAVE_ENS) ? QOV_TRUE : QOV_FALSE;
    // Exponents beyond 32 bits have no meaning: they give 0.
    const QOV_UINT32 linesExp = pCI->ui8Log2NCouples + 3u;
    pMC->ui32NLines = linesExp < 32 ? (1u << linesExp) : 0;
    pMC->ui32KernelSubsampling = pCI->ui8SubExp < 32 ? (1u << pCI->ui8SubExp) : 0;
    return QOV_SUCCESS;
}
