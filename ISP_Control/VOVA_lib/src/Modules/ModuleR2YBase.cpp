// Colour-plane matrices from the picture controls. The standard matrix gives
// the RGB-to-YCbCr rows and the YCbCr-to-RGB constants; contrast scales all
// channels, saturation and the hue rotation act on the chroma plane, and the
// range multipliers scale Y, Cb and Cr last. Offsets are in 1/256 of the range.
#include "vova/ModuleR2YBase.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "vezaracommon/userlog.h"

namespace VOVA {

namespace {

const char *const CONFIGURE_TAG = "VOVA_MOD_R2Y";

struct StdCoefficients {
    double y[3], cb[3], cr[3];  // RGB-to-YCbCr rows over R, G, B
    double kR, kB, gR, gB;      // YCbCr-to-RGB constants
};

const StdCoefficients STD_COEFFICIENTS[2] = {
    // BT601
    {{0.299, 0.587, 0.114},
     {-0.1687, -0.3313, 0.5},
     {0.5, -0.4187, -0.0813},
     1.402,
     1.772,
     -0.5093697,
     -0.1942078},
    // BT709
    {{0.2126, 0.7152, 0.0722},
     {-0.1146, -0.3854, 0.5},
     {0.5, -0.4542, -0.0458},
     1.5748,
     1.8556,
     -0.2972595,
     -0.1009508},
};

const StdCoefficients *coefficientsOf(ModuleR2YBase::StdMatrix matrix)
{
    if (matrix == ModuleR2YBase::BT601 || matrix == ModuleR2YBase::BT709)
        return &STD_COEFFICIENTS[matrix];
    return nullptr;
}

void swapColumns(double (&coeff)[3][3])
{
    for (auto &row : coeff)
        std::swap(row[0], row[2]);
}

void swapRows(double (&coeff)[3][3], double (&offset)[3])
{
    for (int c = 0; c < 3; c++)
        std::swap(coeff[0][c], coeff[2][c]);
    std::swap(offset[0], offset[2]);
}

}  // namespace

QOV_RESULT ModuleR2YBase::configure(MC_PLANECONV &plane, bool bSwapInput, bool bSwapOutput) const
{
    const double b = fBrightness, k = fContrast, s = fSaturation;
    const double m0 = aRangeMult[0], m1 = aRangeMult[1], m2 = aRangeMult[2];
    const double kNonZero = k == 0.0 ? 1.0 : k;
    const double theta = (2.0 * fHue) * 3.14159265358 / 360.0;
    const double c = std::cos(theta), n = std::sin(theta);

    double coeff[3][3] = {};
    double offset[3] = {};

    switch (plane.eType) {
    case RGB_TO_YCC: {
        const StdCoefficients *std = coefficientsOf(eMatrix);
        if (!std) {
            LOG_Error("configure", __LINE__, CONFIGURE_TAG, "Invalid matrix conversion format: %d\n", eMatrix);
            return QOV_ERROR_WRONG_STATE;
        }
        if (bSwapInput)
            LOG_Warning("configure", __LINE__, CONFIGURE_TAG, "Swaping input to R2Y has no effects!\n");
        for (int i = 0; i < 3; i++) {
            coeff[0][i] = k * s * m2 * (c * std->cr[i] - n * std->cb[i]);
            coeff[1][i] = k * m0 * std->y[i];
            coeff[2][i] = k * s * m1 * (c * std->cb[i] + n * std->cr[i]);
        }
        offset[0] = 256.0 * fOffsetU;
        offset[1] = 256.0 * b;
        offset[2] = 256.0 * fOffsetV;
        if (bSwapOutput)
            swapRows(coeff, offset);
        break;
    }
    case YCC_TO_RGB: {
        const StdCoefficients *std = coefficientsOf(eMatrix);
        if (!std) {
            LOG_Error("configure", __LINE__, CONFIGURE_TAG, "Invalid matrix conversion format: %d\n", eMatrix);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        const double kR = std->kR, kB = std->kB, gR = std->gR, gB = std->gB;
        coeff[0][0] = k * s * m2 * kR * c;
        coeff[0][1] = k * m0;
        coeff[0][2] = -k * s * m2 * kR * n;
        coeff[1][0] = k * s * (gR * kR * m2 * c + gB * kB * m1 * n);
        coeff[1][1] = k * m0;
        coeff[1][2] = k * s * (gB * kB * m1 * c - gR * kR * m2 * n);
        coeff[2][0] = k * s * m1 * kB * n;
        coeff[2][1] = k * m0;
        coeff[2][2] = k * s * m1 * kB * c;
        offset[0] = 256.0 * fOffsetU;
        offset[1] = 256.0 * b / kNonZero - 16.0;
        offset[2] = 256.0 * fOffsetV;
        if (bSwapInput)
            swapColumns(coeff);
        if (bSwapOutput)
            swapRows(coeff, offset);
        break;
    }
    case YCC_TO_YCC: {
        // A pass of the YCbCr planes with only the range multipliers and the
        // brightness (an input offset, not scaled by a contrast that is not
        // applied). Output 0 takes input 0 with the output swap, input 2
        // without; it holds Cr exactly when one of the two swaps is set, and
        // gets the multiplier of the chroma it holds.
        const bool crFirst = bSwapInput != bSwapOutput;
        const double first = crFirst ? m2 : m1;
        const double second = crFirst ? m1 : m2;
        if (bSwapOutput) {
            coeff[0][0] = first;
            coeff[1][2] = second;
        } else {
            coeff[0][2] = first;
            coeff[1][0] = second;
        }
        coeff[2][1] = m0;
        offset[1] = 256.0 * b;
        break;
    }
    default:
        LOG_Error("configure", __LINE__, CONFIGURE_TAG, "Invalid plane value\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    std::memcpy(plane.aCoeff, coeff, sizeof(coeff));
    std::memcpy(plane.aOffset, offset, sizeof(offset));
    return QOV_SUCCESS;
}

const char *ModuleR2YBase::stdMatrixName(StdMatrix matrix)
{
    switch (matrix) {
    case BT601:
        return "BT601";
    case BT709:
        return "BT709";
    case JFIF:
        return "JFIF";
    }
    return "UNKNOWN";
}

ModuleR2YBase::StdMatrix ModuleR2YBase::stdIndex(const char *name)
{
    if (name && std::strcmp(name, "BT709") == 0)
        return BT709;
    return BT601;
}

const double ModuleR2YBase::RANGE_MULT_DEFAULTS[3] = {1, 1, 1};

QOV_RESULT ModuleR2YBase::loadMatrix(const std::string &name, const char *tag)
{
    if (name == "BT601") {
        eMatrix = BT601;
    } else if (name == "BT709") {
        eMatrix = BT709;
    } else {
        LOG_Error("load", __LINE__, tag, "Invalid matrix conversion format: '%s'\n", name.c_str());
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

void ModuleR2YBase::saveMatrix(const ParamDefSingle<std::string> &def, StdMatrix matrix, ParameterList &list,
                               ModuleBase::SaveType t)
{
    if (t == ModuleBase::SAVE_VAL) {
        if (matrix == BT601 || matrix == BT709 || matrix == JFIF)
            list.addParameter(def, std::string(stdMatrixName(matrix)), true);
    } else if (t == ModuleBase::SAVE_DEF) {
        Parameter p(def.name, def.def);
        p.setInfo(std::string("{") + stdMatrixName(BT601) + ", " + stdMatrixName(BT709) + ", " +
                  stdMatrixName(JFIF) + "}");
        list.addParameter(p, true);
    } else {
        family::saveBound(def, list, t);
    }
}

unsigned ModuleR2YBase::warnCutCoefficients(const MC_PLANECONV &plane, int intBits, int fractBits,
                                            const char *tag)
{
    const double scale = std::ldexp(1.0, fractBits);
    const double lowest = -std::ldexp(1.0, intBits + fractBits - 1);
    const double highest = -lowest - 1.0;
    unsigned cut = 0;
    for (int r = 0; r < 3; r++) {
        for (int c = 0; c < 3; c++) {
            const double v = plane.aCoeff[r][c];
            const double field = std::round(v * scale);
            if (field >= lowest && field <= highest)
                continue;
            cut++;
            LOG_Warning("setup", __LINE__, tag,
                        "coefficient %d,%d of the colour-plane matrix (%lf) is outside [%lf, %lf]: "
                        "the hardware saturates it, which shifts the colours\n",
                        r, c, v, lowest / scale, highest / scale);
        }
    }
    return cut;
}

}  // namespace VOVA
