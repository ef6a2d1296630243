// Fixed-point primitives, the polyphase taps of the encoder and display
// scalers, and the range check of those taps.
#include <cmath>
#include <cstdlib>

#include "mc/mc_conversions.h"
#include "mc_fixedpoint_inl.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

QOV_INT32 QOV_clip(QOV_INT32 val, QOV_INT32 nBits, QOV_BOOL isSigned, const char * /*dbg_regname*/)
{
    return mc::clipBits(val, nBits, isSigned != 0);
}

QOV_INT32 QOV_Fix_Clip(double fl, QOV_INT32 intBits, QOV_INT32 fractBits, QOV_BOOL isSigned,
                       const char * /*dbg_regname*/)
{
    return mc::fixClip(fl, intBits, fractBits, isSigned != 0);
}

double QOV_Fix_Revert(QOV_INT32 reg, QOV_INT32 intBits, QOV_INT32 fractBits, QOV_BOOL isSigned,
                      const char * /*dbg_regname*/)
{
    return mc::fixRevert(reg, intBits, fractBits, isSigned != 0);
}

double QOV_ModifiedBessel(double x, QOV_BOOL xIsImaginary)
{
    const double h2 = (x / 2.0) * (x / 2.0);
    double power = 1.0; // (x/2)^(2k)
    double factorial = 1.0;
    double sum = 0.0;
    for (int k = 0; k < 10; ++k) {
        const double term = power / (factorial * factorial);
        sum += (xIsImaginary && (k & 1)) ? -term : term;
        power *= h2;
        factorial *= static_cast<double>(k + 1);
    }
    return sum;
}

namespace {

constexpr double kPi = 3.141592653589793;
constexpr int kPhases = 4;
constexpr int kMaxTaps = 16;

// Width in bits of the register field of tap k of an N-tap matrix: the
// centre of the 16-tap table for 4, 8 and 16 taps; the two 7-bit fields of
// the display's vertical chroma register for 2 taps.
constexpr QOV_UINT8 kTapWidth16[kMaxTaps] = {4, 4, 4, 4, 5, 5, 6, 7, 7, 6, 5, 5, 4, 4, 4, 4};

int tapFieldWidth(QOV_UINT32 nTaps, QOV_UINT32 k)
{
    if (nTaps == 2)
        return 7;
    return kTapWidth16[(kMaxTaps - nTaps) / 2 + k];
}

bool tapsSupported(QOV_UINT32 nTaps)
{
    return nTaps == 2 || nTaps == 4 || nTaps == 8 || nTaps == 16;
}

// Moves what a tap holds beyond its field onto the taps nearest the centre
// that have room, so that the phase still sums to 64. The unity tap at
// pitch 1 (64) does not fit its 7-bit field: it becomes 63 and its
// neighbour 1.
void fitPhaseToFields(QOV_INT8 *phase, int n)
{
    int excess = 0;
    for (int k = 0; k < n; ++k) {
        const int w = tapFieldWidth(static_cast<QOV_UINT32>(n), static_cast<QOV_UINT32>(k));
        const int hi = (1 << (w - 1)) - 1;
        const int lo = -(1 << (w - 1));
        if (phase[k] > hi) {
            excess += phase[k] - hi;
            phase[k] = static_cast<QOV_INT8>(hi);
        } else if (phase[k] < lo) {
            excess += phase[k] - lo;
            phase[k] = static_cast<QOV_INT8>(lo);
        }
    }
    // Centre outward: N/2-1, N/2, N/2-2, N/2+1, ...
    for (int i = 0; i < n && excess != 0; ++i) {
        const int k = (i & 1) ? n / 2 + i / 2 : n / 2 - 1 - i / 2;
        const int w = tapFieldWidth(static_cast<QOV_UINT32>(n), static_cast<QOV_UINT32>(k));
        const int hi = (1 << (w - 1)) - 1;
        const int lo = -(1 << (w - 1));
        const int target = phase[k] + excess;
        const int fitted = target > hi ? hi : (target < lo ? lo : target);
        excess -= fitted - phase[k];
        phase[k] = static_cast<QOV_INT8>(fitted);
    }
}

} // namespace

void QOV_CalculateScalerCoefficients(QOV_UINT8 numTaps, double pitch, QOV_INT8 *coefficientMatrix,
                                     QOV_BOOL8 enable_cutoff_frequency_adjustment)
{
    if (!coefficientMatrix || !tapsSupported(numTaps))
        return;
    const int n = numTaps;
    const double adjust =
        enable_cutoff_frequency_adjustment ? std::pow(1.0 / std::sqrt(pitch), static_cast<double>(16 / n)) : 1.0;
    const double wc = (kPi / pitch) * adjust;
    const double beta = pitch < 1.6 ? 3.0 : 2.0;
    const double i0Beta = QOV_ModifiedBessel(beta, QOV_FALSE);
    const double centre = (n - 1) / 2.0;

    double rest = 0.0; // rounding error carried from tap to tap and phase to phase
    for (int p = 0; p < kPhases; ++p) {
        double phaseOffset = p * 0.125 - 0.5;
        if (pitch != 1.0)
            phaseOffset += 0.0625;

        double h[kMaxTaps];
        double sum = 0.0;
        for (int k = 0; k < n; ++k) {
            const double x = (k - centre) - phaseOffset;
            const double e = 2.0 * (x + centre) / n - 1.0;
            const double oneMinusE2 = 1.0 - e * e;
            const double arg = beta * std::sqrt(std::fabs(oneMinusE2));
            double w = 1.0;
            if (arg != 0.0) {
                const bool imaginary = mc::satTrunc<QOV_INT32>(oneMinusE2) < 0;
                w = QOV_ModifiedBessel(arg, imaginary ? QOV_TRUE : QOV_FALSE) / i0Beta;
            }
            h[k] = (x == 0.0) ? wc / kPi * w : std::sin(wc * x) / (kPi * x) * w;
            sum += h[k];
        }
        for (int k = 0; k < n; ++k)
            h[k] /= sum;

        QOV_INT8 *phase = coefficientMatrix + p * n;
        for (int i = 0; i < n; ++i) {
            const int k = (i & 1) ? n - 1 - i / 2 : i / 2; // 0, N-1, 1, N-2, ...
            const double target = 64.0 * h[k] - rest;
            const QOV_INT32 magnitude = mc::satTrunc<QOV_INT32>(std::fabs(target) + 0.5);
            const QOV_INT32 q = target < 0.0 ? -magnitude : magnitude;
            phase[k] = static_cast<QOV_INT8>(q);
            rest = phase[k] - target;
        }
        int total = 0;
        for (int k = 0; k < n; ++k)
            total += phase[k];
        if (total != 64)
            phase[n / 2] = static_cast<QOV_INT8>(phase[n / 2] + (64 - total));
        fitPhaseToFields(phase, n);
    }
}

QOV_BOOL scalerVerifTaps(const QOV_INT8 *matrix, QOV_UINT32 nTaps)
{
    if (!matrix || !tapsSupported(nTaps))
        return QOV_FALSE;
    for (QOV_UINT32 p = 0; p < kPhases; ++p) {
        for (QOV_UINT32 k = 0; k < nTaps; ++k) {
            const int w = tapFieldWidth(nTaps, k);
            const int v = matrix[p * nTaps + k];
            if (v < -(1 << (w - 1)) || v > (1 << (w - 1)) - 1)
                return QOV_FALSE;
        }
    }
    return QOV_TRUE;
}

QOV_RESULT CI_ModuleScaler_verif(const CI_MODULE_SCALER *pScaler)
{
    if (!pScaler) {
        LOG_ERROR("pScaler is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pScaler->bBypassScaler == 1)
        return QOV_SUCCESS;

    QOV_UINT32 taps = 8;
    QOV_UINT32 div = 1;
    if (pScaler->bIsDisplay) {
        if (pScaler->bIsDisplay == 1) {
            taps = 4;
            div = 2;
        }
    } else if (pScaler->bOutput422 != 1 && (pScaler->aOutputSize[1] % 2) == 0) {
        LOG_ERROR("output height must be even\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    if (!scalerVerifTaps(pScaler->VLuma, taps) || !scalerVerifTaps(pScaler->HLuma, 16 / div) ||
        !scalerVerifTaps(pScaler->VChroma, 4 / div) || !scalerVerifTaps(pScaler->HChroma, taps)) {
        LOG_ERROR("internal error while computing the scaler taps\n");
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}
