// The hardware load structure: 317 little-endian 32-bit register words that
// the ISP loads per context. The records of CI_PIPELINE are packed group by
// group as the update mask asks; the statistics words are written on every
// load; a shot's statistics configuration is read back from the shot's own
// copy of the structure.
#include <cstdio>

#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

namespace {

constexpr const char *kStructName = "VEZARA_LOAD_STRUCTURE";

constexpr QOV_UINT32 mask(unsigned width) { return width >= 32 ? 0xFFFFFFFFu : (1u << width) - 1u; }

// Packs fields into words. A field named by the register tables is checked
// against its width first; a value out of range is reported on standard
// output and then masked and written anyway.
class Packer
{
  public:
    explicit Packer(char *loadstruct) : bytes_(reinterpret_cast<QOV_UINT8 *>(loadstruct)) {}

    void step(const char *name) { step_ = name; }

    // Unsigned field in bits lo..hi; checkBits narrows the tested width.
    QOV_UINT32 u(QOV_UINT32 value, unsigned lo, unsigned hi, const char *reg = nullptr,
                 const char *field = nullptr, unsigned checkBits = 0) const
    {
        const unsigned width = hi - lo + 1;
        const unsigned tested = checkBits ? checkBits : width;
        if (field && tested < 32 && value > mask(tested))
            report(static_cast<int>(value), reg, field);
        return (value & mask(width)) << lo;
    }

    // Signed field: reported outside -2^w .. 2^w - 1, stored as its low bits.
    QOV_UINT32 s(QOV_INT32 value, unsigned lo, unsigned hi, const char *reg = nullptr,
                 const char *field = nullptr) const
    {
        const unsigned width = hi - lo + 1;
        if (field && width < 31) {
            const QOV_INT64 limit = QOV_INT64{1} << width;
            if (value < -limit || value > limit - 1)
                report(value, reg, field);
        }
        return (static_cast<QOV_UINT32>(value) & mask(width)) << lo;
    }

    void put(unsigned index, QOV_UINT32 value) const
    {
        QOV_UINT8 *p = bytes_ + 4 * index;
        p[0] = static_cast<QOV_UINT8>(value);
        p[1] = static_cast<QOV_UINT8>(value >> 8);
        p[2] = static_cast<QOV_UINT8>(value >> 16);
        p[3] = static_cast<QOV_UINT8>(value >> 24);
    }

  private:
    void report(int value, const char *reg, const char *field) const
    {
        printf("%s: %d does not fit in %s:%s:%s\n", step_, value, kStructName, reg ? reg : "", field);
    }

    QOV_UINT8 *bytes_;
    const char *step_ = "";
};

QOV_UINT32 readWord(const QOV_UINT8 *bytes, unsigned index)
{
    const QOV_UINT8 *p = bytes + 4 * index;
    return static_cast<QOV_UINT32>(p[0]) | static_cast<QOV_UINT32>(p[1]) << 8 |
           static_cast<QOV_UINT32>(p[2]) << 16 | static_cast<QOV_UINT32>(p[3]) << 24;
}

/*-------------------------------------------------------------------------
 * Scaler tap layouts (tap t of phase p is matrix entry p x taps + t)
 *-------------------------------------------------------------------------*/

// A: 8 taps in two words.
void tapsA(const Packer &pk, const QOV_INT8 *t, unsigned word)
{
    pk.put(word, pk.s(t[0], 0, 4) | pk.s(t[1], 8, 12) | pk.s(t[2], 16, 21) | pk.s(t[3], 24, 30));
    pk.put(word + 1, pk.s(t[4], 0, 6) | pk.s(t[5], 8, 13) | pk.s(t[6], 16, 20) | pk.s(t[7], 24, 28));
}

// B: 16 taps in four words.
void tapsB(const Packer &pk, const QOV_INT8 *t, unsigned word)
{
    pk.put(word, pk.s(t[0], 0, 3) | pk.s(t[1], 8, 11) | pk.s(t[2], 16, 19) | pk.s(t[3], 24, 27));
    pk.put(word + 1, pk.s(t[4], 0, 4) | pk.s(t[5], 8, 12) | pk.s(t[6], 16, 21) | pk.s(t[7], 24, 30));
    pk.put(word + 2, pk.s(t[8], 0, 6) | pk.s(t[9], 8, 13) | pk.s(t[10], 16, 20) | pk.s(t[11], 24, 28));
    pk.put(word + 3, pk.s(t[12], 0, 3) | pk.s(t[13], 8, 11) | pk.s(t[14], 16, 19) | pk.s(t[15], 24, 27));
}

// C: 4 taps in one word.
QOV_UINT32 tapsC(const Packer &pk, const QOV_INT8 *t)
{
    return pk.s(t[0], 0, 5) | pk.s(t[1], 8, 14) | pk.s(t[2], 16, 22) | pk.s(t[3], 24, 29);
}

/*-------------------------------------------------------------------------
 * Groups
 *-------------------------------------------------------------------------*/

void loadGroup0(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_BLC &blc = p.sBlackCorrection;
    pk.step("HW_CI_Load_BLC");
    pk.put(3, pk.u(blc.bRowAverage, 0, 0, "BLACK_CONTROL", "BLACK_MODE") |
                  pk.u(blc.bBlackFrame, 8, 8, "BLACK_CONTROL", "BLACK_FRAME"));
    pk.put(4, pk.u(blc.ui16PixelMax, 0, 7, "BLACK_ANALYSIS", "BLACK_PIXEL_MAX") |
                  pk.u(blc.ui16RowReciprocal, 16, 25, "BLACK_ANALYSIS", "BLACK_ROW_RECIPROCAL"));
    pk.put(5, pk.s(blc.i8FixedOffset[0], 0, 7) | pk.s(blc.i8FixedOffset[1], 8, 15) |
                  pk.s(blc.i8FixedOffset[2], 16, 23) | pk.s(blc.i8FixedOffset[3], 24, 31));

    const CI_MODULE_RLT &rlt = p.sRawLUT;
    pk.step("HW_CI_Load_RLT");
    QOV_UINT32 mode;
    switch (rlt.eMode) {
    case CI_RLT_DISABLED:
        mode = 0;
        break;
    case CI_RLT_LINEAR:
        mode = 1;
        break;
    case CI_RLT_CUBIC:
        mode = 3; // enabled, cubic interpolation
        break;
    default:
        LOG_ERROR("unknown RLT mode value!\n");
        mode = 1;
        break;
    }
    pk.put(6, mode);
    for (unsigned c = 0; c < 4; ++c) {
        for (unsigned k = 0; k < 8; ++k)
            pk.put(7 + 8 * c + k, pk.u(rlt.aPoints[c][2 * k], 0, 15) | pk.u(rlt.aPoints[c][2 * k + 1], 16, 31));
    }

    const CI_MODULE_WBC &wbc = p.sWhiteBalance;
    pk.step("HW_CI_Load_LSH_WB");
    pk.put(49, pk.u(wbc.aGain[0], 0, 15) | pk.u(wbc.aGain[1], 16, 31));
    pk.put(50, pk.u(wbc.aGain[2], 0, 15) | pk.u(wbc.aGain[3], 16, 31));
    pk.put(51, pk.u(wbc.aClip[0], 0, 12, "LSH_CLIP_0", "WHITE_BALANCE_CLIP_0") |
                   pk.u(wbc.aClip[1], 16, 28, "LSH_CLIP_0", "WHITE_BALANCE_CLIP_1"));
    pk.put(52, pk.u(wbc.aClip[2], 0, 12, "LSH_CLIP_1", "WHITE_BALANCE_CLIP_2") |
                   pk.u(wbc.aClip[3], 16, 28, "LSH_CLIP_1", "WHITE_BALANCE_CLIP_3"));
}

// The chromatic-aberration shift field holds 0 to 3. The record's shift is
// signed in 8 bits (a small imager's default is negative); it is held to the
// field without a report, since the default is not the user's value.
QOV_UINT32 lcaFieldShift(QOV_UINT8 shift)
{
    const int s = static_cast<QOV_INT8>(shift);
    return s < 0 ? 0u : (s > 3 ? 3u : static_cast<QOV_UINT32>(s));
}

void loadGroup1(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_DNS &dns = p.sDenoiser;
    const QOV_UINT16 *lut = dns.aPixThresLUT;
    pk.step("HW_CI_Load_DNS");
    for (unsigned k = 0; k < 4; ++k)
        pk.put(61 + k,
               pk.u(lut[2 * k], 0, 12, "PIX_THRESH_LUT_SEC0_POINTS", "PIX_THRESH_LUT_POINTS_0TO7_0") |
                   pk.u(lut[2 * k + 1], 16, 28, "PIX_THRESH_LUT_SEC0_POINTS", "PIX_THRESH_LUT_POINTS_0TO7_1"));
    for (unsigned k = 0; k < 3; ++k)
        pk.put(65 + k, pk.u(lut[8 + 2 * k], 0, 12) | pk.u(lut[9 + 2 * k], 16, 28));
    for (unsigned k = 0; k < 3; ++k)
        pk.put(68 + k, pk.u(lut[14 + 2 * k], 0, 12) | pk.u(lut[15 + 2 * k], 16, 28));
    pk.put(71, pk.u(lut[20], 0, 12, "PIX_THRESH_LUT_SEC3_POINTS", "PIX_THRESH_LUT_POINT_20"));
    pk.put(72, pk.u(dns.bCombineChannels, 0, 0, "DENOISE_CONTROL", "DENOISE_COMBINE_1_2") |
                   pk.s(dns.i8Log2PixThresh, 1, 6, "DENOISE_CONTROL", "LOG2_GREYSC_PIXTHRESH_MULT"));

    const CI_MODULE_DPF &dpf = p.sDefectivePixels;
    pk.step("HW_CI_Load_DPF");
    pk.put(73, dpf.eDPFEnable & CI_DPF_DETECT_ENABLED);
    pk.put(74, pk.u(dpf.ui8Threshold, 0, 7) | pk.u(dpf.ui8Weight, 16, 21, "DPF_SENSITIVITY", "DPF_WEIGHT"));
    pk.put(76, pk.u(dpf.ui8PositiveThreshold, 0, 7) | pk.u(dpf.ui8NegativeThreshold, 16, 23));

    const CI_MODULE_LCA &lca = p.sChromaAberration;
    pk.step("HW_CI_Load_LCA");
    for (unsigned i = 0; i < 3; ++i) {
        pk.put(77 + 2 * i, pk.s(lca.aCoeffRed[i][0], 0, 11, "LAT_CA_DELTA_COEFF_RED", "LAT_CA_COEFF_X_RED") |
                               pk.s(lca.aCoeffRed[i][1], 16, 27, "LAT_CA_DELTA_COEFF_RED", "LAT_CA_COEFF_Y_RED"));
        pk.put(78 + 2 * i,
               pk.s(lca.aCoeffBlue[i][0], 0, 11, "LAT_CA_DELTA_COEFF_BLUE", "LAT_CA_COEFF_X_BLUE") |
                   pk.s(lca.aCoeffBlue[i][1], 16, 27, "LAT_CA_DELTA_COEFF_BLUE", "LAT_CA_COEFF_Y_BLUE"));
    }
    pk.put(83, pk.u(lca.aOffsetRed[0], 0, 13) | pk.u(lca.aOffsetRed[1], 16, 29));
    pk.put(84, pk.u(lca.aOffsetBlue[0], 0, 13) | pk.u(lca.aOffsetBlue[1], 16, 29));
    pk.put(85, pk.u(lca.aDec[0], 0, 3, "LAT_CA_NORMALIZATION", "LAT_CA_DEC_X") |
                   pk.u(lcaFieldShift(lca.aShift[0]), 8, 9, "LAT_CA_NORMALIZATION", "LAT_CA_SHIFT_X") |
                   pk.u(lca.aDec[1], 16, 19, "LAT_CA_NORMALIZATION", "LAT_CA_DEC_Y") |
                   pk.u(lcaFieldShift(lca.aShift[1]), 24, 25, "LAT_CA_NORMALIZATION", "LAT_CA_SHIFT_Y"));
}

// Gamut mapper words (main at 96, display at 311). Clip maximum and source
// norm are S10.2 values kept in unsigned members.
void loadGamutMapper(Packer &pk, const CI_MODULE_GAMUTMAPPER &g, unsigned word, const char *coreReg,
                     const char *srcNormField)
{
    pk.put(word, pk.s(g.i16ClipMin, 0, 11) | pk.s(static_cast<QOV_INT16>(g.ui16ClipMax), 16, 27));
    pk.put(word + 1, pk.s(static_cast<QOV_INT16>(g.ui16SrcNorm), 0, 11, coreReg, srcNormField));
    pk.put(word + 2, pk.u(g.aSlope[0], 0, 11) | pk.u(g.aSlope[1], 16, 27));
    pk.put(word + 3, pk.u(g.aSlope[2], 0, 11));
    pk.put(word + 4,
           pk.s(g.aCoeff[0], 0, 7) | pk.s(g.aCoeff[1], 8, 15) | pk.s(g.aCoeff[2], 16, 23) | pk.s(g.aCoeff[3], 24, 31));
    pk.put(word + 5, pk.s(g.aCoeff[4], 0, 7) | pk.s(g.aCoeff[5], 8, 15));
}

void loadGroup2(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_WBC &wbc = p.sWhiteBalance;
    pk.step("HW_CI_Load_WBC");
    pk.put(86, pk.u(wbc.aRGBGain[0], 0, 7) | pk.u(wbc.aRGBGain[1], 8, 15) | pk.u(wbc.aRGBGain[2], 16, 23));
    QOV_UINT32 mode = 0;
    if (wbc.eRGBThresholdMode == WBC_THRESHOLD)
        mode = 1u << 30;
    else if (wbc.eRGBThresholdMode != WBC_SATURATION)
        LOG_ERROR("unknown mode %d - using mode %d\n", static_cast<int>(wbc.eRGBThresholdMode), 0);
    pk.put(87, pk.u(wbc.aRGBThreshold[0], 0, 8, "WBC_THRESHOLD", "WBC_THRES_0") |
                   pk.u(wbc.aRGBThreshold[1], 10, 18, "WBC_THRESHOLD", "WBC_THRES_1") |
                   pk.u(wbc.aRGBThreshold[2], 20, 28, "WBC_THRESHOLD", "WBC_THRES_2") | mode);

    const CI_MODULE_CCM &ccm = p.sColourCorrection;
    pk.step("HW_CI_Load_CCM");
    for (unsigned i = 0; i < 3; ++i) {
        pk.put(88 + 2 * i, pk.s(ccm.aCoeff[i][0], 0, 11, "CC_COEFFS_A", "CC_COEFF_0") |
                               pk.s(ccm.aCoeff[i][1], 16, 27, "CC_COEFFS_A", "CC_COEFF_1"));
        pk.put(89 + 2 * i, pk.s(ccm.aCoeff[i][2], 0, 11, "CC_COEFFS_B", "CC_COEFF_2") |
                               pk.s(ccm.aCoeff[i][3], 16, 27, "CC_COEFFS_B", "CC_COEFF_3"));
    }
    pk.put(94, pk.s(ccm.aOffset[0], 0, 11) | pk.s(ccm.aOffset[1], 16, 27));
    pk.put(95, pk.s(ccm.aOffset[2], 0, 11));

    pk.step("HW_CI_Load_MGM");
    loadGamutMapper(pk, p.sMainGamutMapper, 96, "MGM_CORE_IN_OUT", "MGM_SRC_NORM");

    pk.step("HW_CI_Load_GMA");
    pk.put(114, pk.u(p.sGammaCorrection.bBypass, 0, 0));

    const CI_MODULE_R2Y &r2y = p.sRGBToYCC;
    pk.step("HW_CI_Load_R2Y");
    for (unsigned i = 0; i < 3; ++i) {
        pk.put(124 + 2 * i,
               pk.s(r2y.aCoeff[i][0], 0, 11, "RGB_TO_YCC_MATRIX_COEFFS", "RGB_TO_YCC_COEFF_COL_0") |
                   pk.s(r2y.aCoeff[i][1], 16, 27, "RGB_TO_YCC_MATRIX_COEFFS", "RGB_TO_YCC_COEFF_COL_1"));
        pk.put(125 + 2 * i,
               pk.s(r2y.aCoeff[i][2], 0, 11, "RGB_TO_YCC_MATRIX_COEFF_OFFSET", "RGB_TO_YCC_COEFF_COL_2") |
                   pk.s(r2y.aOffset[i], 16, 25, "RGB_TO_YCC_MATRIX_COEFF_OFFSET", "RGB_TO_YCC_OFFSET"));
    }
}

void loadGroup3(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_MIE &mie = p.sImageEnhancer;
    pk.step("HW_CI_Load_MIE");
    pk.put(133, pk.u(mie.bMemoryColour, 0, 0, "MIE_VIB_PARAMS_0", "MIE_MC_ON") |
                    pk.u(mie.bVibrancy, 1, 1, "MIE_VIB_PARAMS_0", "MIE_VIB_ON") |
                    pk.u(mie.ui16BlackLevel, 2, 11, "MIE_VIB_PARAMS_0", "MIE_BLACK_LEVEL"));
    if (mie.bVibrancy) {
        for (unsigned k = 0; k < 16; ++k)
            pk.put(134 + k, pk.u(mie.aVibrancySatMul[2 * k], 0, 11, "MIE_VIB_FUN", "MIE_VIB_SATMULT_0") |
                                pk.u(mie.aVibrancySatMul[2 * k + 1], 16, 31, "MIE_VIB_FUN", "MIE_VIB_SATMULT_1", 12));
    }
    if (mie.bMemoryColour) {
        for (unsigned i = 0; i < 3; ++i) {
            pk.put(150 + i, pk.s(mie.aYOffset[i], 0, 13, "MIE_MC_PARAMS_Y", "MIE_MC_YOFF") |
                                pk.u(mie.aYScale[i], 14, 19, "MIE_MC_PARAMS_Y", "MIE_MC_YSCALE"));
            pk.put(153 + i, pk.s(mie.aCOffset[i], 0, 9, "MIE_MC_PARAMS_C", "MIE_MC_COFF") |
                                pk.u(mie.aCScale[i], 10, 17));
            pk.put(156 + i, pk.s(mie.aRot[2 * i], 0, 7) | pk.s(mie.aRot[2 * i + 1], 8, 15));
            pk.put(159 + i, pk.u(mie.aGaussMinY[i], 0, 9, "MIE_MC_GAUSS_PARAMS_0", "MIE_MC_GAUSS_MINY") |
                                pk.u(mie.aGaussScaleY[i], 16, 23));
            // The 8-bit centres sign-extended to the 10-bit fields.
            pk.put(162 + i, pk.s(mie.aGaussCB[i], 0, 9) | pk.s(mie.aGaussCR[i], 16, 25));
            pk.put(165 + i, pk.s(mie.aGaussRot[2 * i], 0, 7) | pk.s(mie.aGaussRot[2 * i + 1], 8, 15));
            pk.put(168 + i, pk.u(mie.aGaussKB[i], 0, 7) | pk.u(mie.aGaussKR[i], 8, 15));
        }
        for (unsigned k = 0; k < 6; ++k) {
            pk.put(171 + k, pk.u(mie.aGaussScale[2 * k], 0, 7) | pk.u(mie.aGaussScale[2 * k + 1], 8, 15));
            pk.put(177 + k, pk.u(mie.aGaussGain[2 * k], 0, 7) | pk.u(mie.aGaussGain[2 * k + 1], 16, 23));
        }
    }

    const CI_MODULE_TNM &tnm = p.sToneMapping;
    pk.step("HW_CI_Load_TNM");
    if (!tnm.bBypassTNM) {
        for (unsigned k = 0; k < 31; ++k)
            pk.put(183 + k, pk.u(tnm.aCurve[2 * k], 0, 11, "TNM_GLOBAL_CURVE", "TNM_CURVE_POINT_0") |
                                pk.u(tnm.aCurve[2 * k + 1], 16, 27, "TNM_GLOBAL_CURVE", "TNM_CURVE_POINT_1"));
        pk.put(214, pk.u(tnm.aCurve[62], 0, 11));
    }
    pk.put(215, tnm.bBypassTNM ? 1u : 0u);
    if (!tnm.bBypassTNM) {
        pk.put(216, pk.u(tnm.histFlattenMin, 0, 10, "TNM_HIST_FLATTEN_0", "TNM_HIST_FLATTEN_MIN") |
                        pk.u(tnm.histFlattenThreshold[0], 16, 26, "TNM_HIST_FLATTEN_0", "TNM_HIST_FLATTEN_THRES"));
        pk.put(217, pk.u(tnm.histFlattenThreshold[1], 0, 15));
        pk.put(218, pk.u(tnm.histNormLastFactor, 0, 15) | pk.u(tnm.histNormFactor, 16, 31));
        pk.put(219, pk.u(tnm.chromaSaturationScale, 0, 11, "TNM_CHR_0", "TNM_CHR_SAT_SCALE") |
                        pk.u(tnm.chromaConfigurationScale, 16, 31));
        pk.put(220, pk.u(tnm.chromaIOScale, 0, 15));
        pk.put(221, pk.u(tnm.localColWidth[0], 0, 13, "TNM_LOCAL_COL", "TNM_LOCAL_COL_WIDTH") |
                        pk.u(tnm.localColWidth[1], 16, 31));
        pk.put(222, pk.u(tnm.columnsIdx, 0, 6, "TNM_CTX_LOCAL_COL", "TNM_CTX_LOCAL_COL_IDX") |
                        pk.u(tnm.localColumns, 16, 20, "TNM_CTX_LOCAL_COL", "TNM_CTX_LOCAL_COLS"));
        pk.put(223, pk.u(tnm.localWeights, 0, 9, "TNM_WEIGHTS", "TNM_LOCAL_WEIGHT") |
                        pk.u(tnm.updateWeights, 16, 31));
    }
    pk.put(224, pk.u(tnm.inputLumaOffset, 0, 11, "TNM_INPUT_LUMA", "TNM_INPUT_LUMA_OFFSET") |
                    pk.u(tnm.inputLumaScale, 16, 31));
    pk.put(225, pk.u(tnm.outputLumaOffset, 0, 11, "TNM_OUTPUT_LUMA", "TNM_OUTPUT_LUMA_OFFSET") |
                    pk.u(tnm.outputLumaScale, 16, 31));
}

void loadGroup4(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_SHA &sha = p.sSharpening;
    pk.step("HW_CI_Load_SHA");
    pk.put(231, pk.u(sha.ui8Threshold, 0, 7) | pk.u(sha.ui8Strength, 8, 15) |
                    pk.u(sha.ui8Detail, 16, 21, "SHA_PARAMS_0", "SHA_DETAIL") |
                    pk.u(sha.bDenoiseBypass, 22, 22, "SHA_PARAMS_0", "SHA_DENOISE_BYPASS"));
    // Gain weights 3 to 5 are not loaded.
    pk.put(232, pk.u(sha.aGainWeight[0], 0, 5, "SHA_PARAMS_1", "SHA_GWEIGHT_0") |
                    pk.u(sha.aGainWeight[1], 6, 11, "SHA_PARAMS_1", "SHA_GWEIGHT_1") |
                    pk.u(sha.aGainWeight[2], 12, 17, "SHA_PARAMS_1", "SHA_GWEIGHT_2"));
    pk.put(233, pk.u(sha.ui8ELWScale, 0, 7) | pk.s(sha.i8ELWOffset, 8, 14));
    if (!sha.bDenoiseBypass) {
        pk.put(234, pk.u(sha.aDNSimil[0], 0, 7) | pk.u(sha.aDNSimil[1], 8, 15) | pk.u(sha.aDNSimil[2], 16, 23) |
                        pk.u(sha.aDNSimil[3], 24, 31));
        pk.put(235, pk.u(sha.aDNSimil[4], 0, 7) | pk.u(sha.aDNSimil[5], 8, 15) | pk.u(sha.aDNSimil[6], 16, 23));
        pk.put(236, pk.u(sha.aDNAvoid[0], 0, 7) | pk.u(sha.aDNAvoid[1], 8, 15) | pk.u(sha.aDNAvoid[2], 16, 23) |
                        pk.u(sha.aDNAvoid[3], 24, 31));
        pk.put(237, pk.u(sha.aDNAvoid[4], 0, 7) | pk.u(sha.aDNAvoid[5], 8, 15) | pk.u(sha.aDNAvoid[6], 16, 23));
    }
}

void loadEncoderSet(Packer &pk, const CI_MODULE_SCALER &sc)
{
    pk.step("HW_CI_Load_ESC");
    pk.put(238, sc.aPitch[1]);
    pk.put(239, pk.u(sc.aOutputSize[1], 0, 14, "ENC_SCAL_V_SETUP", "ENC_SCAL_OUTPUT_ROWS") |
                    pk.u(sc.aOffset[1], 16, 30, "ENC_SCAL_V_SETUP", "ENC_SCAL_V_OFFSET") |
                    pk.u(sc.bOutput422, 31, 31));
    pk.put(278, sc.aPitch[0]);
    pk.put(279, pk.u(sc.aOutputSize[0], 1, 13, "ENC_SCAL_H_SETUP", "ENC_SCAL_OUTPUT_COLUMNS") |
                    pk.u(sc.aOffset[0], 16, 29, "ENC_SCAL_H_SETUP", "ENC_SCAL_H_OFFSET") |
                    pk.u(sc.bChromaInter, 30, 30, "ENC_SCAL_H_SETUP", "ENC_SCAL_CHROMA_MODE") |
                    pk.u(sc.bBypassScaler, 31, 31, "ENC_SCAL_H_SETUP", "ENC_SCAL_BYPASS"));
    // Taps only for a running scaler, as the hardware sees the bypass bit.
    if (sc.bBypassScaler & 1)
        return;
    pk.put(280, 0);
    for (unsigned p = 0; p < 4; ++p) {
        tapsA(pk, sc.VLuma + 8 * p, 242 + 2 * p);
        pk.put(250 + p, tapsC(pk, sc.VChroma + 4 * p));
        tapsB(pk, sc.HLuma + 16 * p, 254 + 4 * p);
        tapsA(pk, sc.HChroma + 8 * p, 270 + 2 * p);
    }
}

void loadDisplaySet(Packer &pk, const CI_MODULE_SCALER &sc)
{
    pk.step("HW_CI_Load_DSC");
    pk.put(240, sc.aPitch[1]);
    pk.put(241, pk.u(sc.aOutputSize[1], 0, 14, "DISP_SCAL_V_SETUP", "DISP_SCAL_OUTPUT_ROWS") |
                    pk.u(sc.aOffset[1], 16, 30, "DISP_SCAL_V_SETUP", "DISP_SCAL_V_OFFSET"));
    pk.put(303, sc.aPitch[0]);
    pk.put(304, pk.u(sc.aOutputSize[0], 1, 13, "DISP_SCAL_H_SETUP", "DISP_SCAL_OUTPUT_COLUMNS") |
                    pk.u(sc.aOffset[0], 16, 29, "DISP_SCAL_H_SETUP", "DISP_SCAL_H_OFFSET") |
                    pk.u(sc.bBypassScaler, 31, 31, "DISP_SCAL_H_SETUP", "DISP_SCAL_BYPASS"));
    if (sc.bBypassScaler & 1)
        return;
    for (unsigned p = 0; p < 4; ++p) {
        pk.put(283 + p, tapsC(pk, sc.VLuma + 4 * p));
        pk.put(287 + p, pk.s(sc.VChroma[2 * p], 0, 6) | pk.s(sc.VChroma[2 * p + 1], 8, 14));
        tapsA(pk, sc.HLuma + 8 * p, 291 + 2 * p);
        pk.put(299 + p, tapsC(pk, sc.HChroma + 4 * p));
    }
}

// A scaler record goes to the register set its bIsDisplay names.
void loadScaler(Packer &pk, const CI_MODULE_SCALER &sc)
{
    if (sc.bIsDisplay)
        loadDisplaySet(pk, sc);
    else
        loadEncoderSet(pk, sc);
}

void loadGroup6Colour(Packer &pk, const CI_PIPELINE &p)
{
    const CI_MODULE_Y2R &y2r = p.sYCCToRGB;
    pk.step("HW_CI_Load_Y2R");
    for (unsigned i = 0; i < 3; ++i) {
        pk.put(305 + 2 * i,
               pk.s(y2r.aCoeff[i][0], 0, 11, "YCC_TO_RGB_MATRIX_COEFFS", "YCC_TO_RGB_COEFF_COL_0") |
                   pk.s(y2r.aCoeff[i][1], 16, 27, "YCC_TO_RGB_MATRIX_COEFFS", "YCC_TO_RGB_COEFF_COL_1"));
        pk.put(306 + 2 * i,
               pk.s(y2r.aCoeff[i][2], 0, 11, "YCC_TO_RGB_MATRIX_COEFF_OFFSET", "YCC_TO_RGB_COEFF_COL_2") |
                   pk.s(y2r.aOffset[i], 16, 26, "YCC_TO_RGB_MATRIX_COEFF_OFFSET", "YCC_TO_RGB_OFFSET"));
    }
    pk.step("HW_CI_Load_DGM");
    loadGamutMapper(pk, p.sDisplayGamutMapper, 311, "DGM_CORE_IN_OUT", "DGM_SRC_NORM");
}

void loadStatistics(Packer &pk, const CI_PIPELINE_STATS &st)
{
    const CI_MODULE_EXS &exs = st.sExposureStats;
    pk.step("HW_CI_Load_EXS");
    pk.put(0, pk.u(exs.ui16Left, 0, 15) | pk.u(exs.ui16Top, 16, 31));
    pk.put(1, pk.u(exs.ui16Width, 0, 13, "EXS_GRID_TILE", "EXS_GRID_TILE_WIDTH") |
                  pk.u(exs.ui16Height, 16, 29, "EXS_GRID_TILE", "EXS_GRID_TILE_HEIGHT"));
    pk.put(2, pk.u(exs.ui16PixelMax, 0, 11));

    const CI_MODULE_AWS &aws = st.sAutoWhiteBalanceStats;
    pk.step("HW_CI_Load_AWS");
    pk.put(39, pk.u(aws.ui16GridStartColumn, 0, 15) | pk.u(aws.ui16GridStartRow, 16, 31));
    pk.put(40, pk.u(aws.ui16GridTileWidth, 0, 11, "AWS_GRID_TILE", "AWS_GRID_TILE_CFA_WIDTH_MIN1") |
                   pk.u(aws.ui16GridTileHeight, 16, 27, "AWS_GRID_TILE", "AWS_GRID_TILE_CFA_HEIGHT_MIN1"));
    // S8.5 values kept in 16-bit unsigned members.
    pk.put(41, pk.s(static_cast<QOV_INT16>(aws.ui16Log2_R_Qeff), 0, 12, "AWS_LOG2_QEFF", "AWS_LOG2_R_QEFF") |
                   pk.s(static_cast<QOV_INT16>(aws.ui16Log2_B_Qeff), 16, 28, "AWS_LOG2_QEFF", "AWS_LOG2_B_QEFF"));
    pk.put(42, pk.u(aws.ui16RedDarkThresh, 0, 15) | pk.u(aws.ui16GreenDarkThresh, 16, 31));
    pk.put(43, pk.u(aws.ui16BlueDarkThresh, 0, 15) | pk.u(aws.ui16RedClipThresh, 16, 31));
    pk.put(44, pk.u(aws.ui16GreenClipThresh, 0, 15) | pk.u(aws.ui16BlueClipThresh, 16, 31));
    pk.put(45, pk.u(aws.ui16BbDist, 0, 11));
    pk.put(46, aws.bDebugBitmap ? 1u : 0u);

    const CI_MODULE_FOS &fos = st.sFocusStats;
    pk.step("HW_CI_Load_FOS");
    pk.put(57, pk.u(fos.ui16Left, 0, 15) | pk.u(fos.ui16Top, 16, 31));
    pk.put(58, pk.u(fos.ui16Width, 0, 13) | pk.u(fos.ui16Height, 16, 29));
    pk.put(59, pk.u(fos.ui16ROILeft, 1, 15, "FOS_ROI_COORDS_START", "FOS_ROI_START_COL") |
                   pk.u(fos.ui16ROITop, 16, 30, "FOS_ROI_COORDS_START", "FOS_ROI_START_ROW"));
    pk.put(60, pk.u(fos.ui16ROIRight, 0, 14, "FOS_ROI_COORDS_END", "FOS_ROI_END_COL") |
                   pk.u(fos.ui16ROIBottom, 16, 30, "FOS_ROI_COORDS_END", "FOS_ROI_END_ROW"));

    const CI_MODULE_WBS &wbs = st.sWhiteBalanceStats;
    pk.step("HW_CI_Load_WBS");
    for (unsigned r = 0; r < 2; ++r) {
        pk.put(115 + r, pk.u(wbs.aRoiLeft[r], 0, 14, "WBS_ROI_START_COORDS", "WBS_ROI_COL_START") |
                            pk.u(wbs.aRoiTop[r], 16, 30, "WBS_ROI_START_COORDS", "WBS_ROI_ROW_START"));
        pk.put(117 + r, pk.u(wbs.aRoiRight[r], 0, 14, "WBS_ROI_END_COORDS", "WBS_ROI_COL_END") |
                            pk.u(wbs.aRoiBottom[r], 16, 30, "WBS_ROI_END_COORDS", "WBS_ROI_ROW_END"));
    }
    pk.put(119, pk.u(wbs.ui8ActiveROI, 0, 0, "WBS_MISC", "WBS_ROI_ACT") |
                    pk.s(wbs.ui16RGBOffset, 4, 16, "WBS_MISC", "WBS_RGB_OFFSET") |
                    pk.s(wbs.ui16YOffset, 18, 30, "WBS_MISC", "WBS_Y_OFFSET"));
    for (unsigned r = 0; r < 2; ++r) {
        pk.put(120 + r, pk.u(wbs.aRMax[r], 0, 11, "WBS_RGBY_TH_0", "WBS_RMAX_TH") |
                            pk.u(wbs.aGMax[r], 12, 23, "WBS_RGBY_TH_0", "WBS_GMAX_TH"));
        pk.put(122 + r, pk.u(wbs.aBMax[r], 0, 11, "WBS_RGBY_TH_1", "WBS_BMAX_TH") |
                            pk.u(wbs.aYMax[r], 12, 23, "WBS_RGBY_TH_1", "WBS_YHLW_TH"));
    }

    const CI_MODULE_HIS &his = st.sHistStats;
    pk.step("HW_CI_Load_HIS");
    pk.put(130, pk.u(his.ui16InputOffset, 0, 9, "HIS_INPUT_RANGE", "HIS_INPUT_OFFSET") |
                    pk.u(his.ui16InputScale, 16, 31));
    pk.put(131, pk.u(his.ui16Left, 0, 13, "HIS_REGION_GRID_START_COORDS", "HIS_REGION_GRID_COL_START") |
                    pk.u(his.ui16Top, 16, 29, "HIS_REGION_GRID_START_COORDS", "HIS_REGION_GRID_ROW_START"));
    pk.put(132, pk.u(his.ui16Width, 0, 13) | pk.u(his.ui16Height, 16, 29));

    const CI_MODULE_FLD &fld = st.sFlickerStats;
    pk.step("HW_CI_Load_FLD");
    pk.put(226, pk.u(fld.ui16FracStep50, 0, 14, "FLD_FRAC_STEP", "FLD_FRAC_STEP_50") |
                    pk.u(fld.ui16FracStep60, 16, 30, "FLD_FRAC_STEP", "FLD_FRAC_STEP_60"));
    pk.put(227, pk.u(fld.ui16CoefDiff, 0, 14, "FLD_TH", "FLD_COEF_DIFF_TH") |
                    pk.u(fld.ui16NFThreshold, 16, 30, "FLD_TH", "FLD_NF_TH"));
    pk.put(228, pk.u(fld.ui32SceneChange, 0, 19));
    pk.put(229, pk.u(fld.ui8RShift, 0, 5, "FLD_DFT", "FLD_RSHIFT") | pk.u(fld.ui8MinPN, 6, 11, "FLD_DFT", "FLD_MIN_PN") |
                    pk.u(fld.ui8PN, 12, 17, "FLD_DFT", "FLD_PN"));
    pk.put(230, pk.u(fld.bReset, 0, 0));
}

} // namespace

QOV_UINT32 INT_CI_SizeLS_HW2()
{
    return CI_LOADSTRUCT_HW2_SIZE;
}

QOV_RESULT INT_CI_Load_HW2(const CI_PIPELINE *pPipeline, const CI_HWINFO *pHWInfo, char *loadstruct,
                           int eUpdateMask)
{
    if (!pPipeline || !pHWInfo || !loadstruct) {
        LOG_ERROR("pPipeline, pHWInfo or loadstruct is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pHWInfo->rev_ui8Major != 2) {
        LOG_ERROR("Should only be called with HW %d.X\n", 2);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (pHWInfo->uiSizeOfLoadStruct != CI_LOADSTRUCT_HW2_SIZE) {
        LOG_ERROR("Different load structure size from user/kernel\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const bool v24 = pHWInfo->rev_ui8Minor == 4;
    const CI_PIPELINE &p = *pPipeline;
    Packer pk(loadstruct);

    if (eUpdateMask & CI_UPD_GRP_0)
        loadGroup0(pk, p);
    if (eUpdateMask & CI_UPD_GRP_1)
        loadGroup1(pk, p);
    if (eUpdateMask & CI_UPD_GRP_2)
        loadGroup2(pk, p);
    if (eUpdateMask & CI_UPD_GRP_3) {
        loadGroup3(pk, p);
        if (v24)
            LOG_Error("HW_CI_Load_MIE_2_4", __LINE__, LOG_TAG, "not implemented yet\n");
    }
    if (eUpdateMask & CI_UPD_GRP_4) {
        loadGroup4(pk, p);
        if (v24)
            LOG_Error("HW_CI_Load_SHA_2_4", __LINE__, LOG_TAG, "not implemented yet\n");
    }
    if (eUpdateMask & CI_UPD_GRP_5)
        loadScaler(pk, p.sEncoderScaler);
    if (eUpdateMask & CI_UPD_GRP_6) {
        loadScaler(pk, p.sDisplayScaler);
        loadGroup6Colour(pk, p);
    }
    loadStatistics(pk, p.stats);
    return QOV_SUCCESS;
}

QOV_RESULT INT_CI_Revert_HW2(const CI_SHOT *pShot, CI_PIPELINE_STATS *pStats)
{
    if (!pShot || !pStats) {
        LOG_ERROR("pShot or pStats is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pShot->pLoadStruct) {
        LOG_ERROR("the shot has no load structure to read back\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const QOV_UINT8 *b = static_cast<const QOV_UINT8 *>(pShot->pLoadStruct);
    QOV_UINT32 w;

    CI_MODULE_EXS &exs = pStats->sExposureStats;
    w = readWord(b, 0);
    exs.ui16Left = static_cast<QOV_UINT16>(w & 0xFFFF);
    exs.ui16Top = static_cast<QOV_UINT16>(w >> 16);
    w = readWord(b, 1);
    exs.ui16Width = static_cast<QOV_UINT16>(w & 0x3FFF);
    exs.ui16Height = static_cast<QOV_UINT16>((w >> 16) & 0x3FFF);
    exs.ui16PixelMax = static_cast<QOV_UINT16>(readWord(b, 2) & 0xFFF);

    CI_MODULE_FOS &fos = pStats->sFocusStats;
    w = readWord(b, 57);
    fos.ui16Left = static_cast<QOV_UINT16>(w & 0xFFFF);
    fos.ui16Top = static_cast<QOV_UINT16>(w >> 16);
    w = readWord(b, 58);
    fos.ui16Width = static_cast<QOV_UINT16>(w & 0x3FFF);
    fos.ui16Height = static_cast<QOV_UINT16>((w >> 16) & 0x3FFF);
    w = readWord(b, 59);
    fos.ui16ROILeft = static_cast<QOV_UINT16>((w >> 1) & 0x7FFF);
    fos.ui16ROITop = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);
    w = readWord(b, 60);
    fos.ui16ROIRight = static_cast<QOV_UINT16>(w & 0x7FFF);
    fos.ui16ROIBottom = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);

    CI_MODULE_WBS &wbs = pStats->sWhiteBalanceStats;
    for (unsigned r = 0; r < 2; ++r) {
        w = readWord(b, 115 + r);
        wbs.aRoiLeft[r] = static_cast<QOV_UINT16>(w & 0x7FFF);
        wbs.aRoiTop[r] = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);
        w = readWord(b, 117 + r);
        wbs.aRoiRight[r] = static_cast<QOV_UINT16>(w & 0x7FFF);
        wbs.aRoiBottom[r] = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);
        w = readWord(b, 120 + r);
        wbs.aRMax[r] = static_cast<QOV_UINT16>(w & 0xFFF);
        wbs.aGMax[r] = static_cast<QOV_UINT16>((w >> 12) & 0xFFF);
        w = readWord(b, 122 + r);
        wbs.aBMax[r] = static_cast<QOV_UINT16>(w & 0xFFF);
        wbs.aYMax[r] = static_cast<QOV_UINT16>((w >> 12) & 0xFFF);
    }
    w = readWord(b, 119);
    wbs.ui8ActiveROI = static_cast<QOV_UINT8>(w & 0x1);
    // Unsigned 13-bit values: the WBS revert takes them as S9.4.
    wbs.ui16RGBOffset = static_cast<QOV_INT16>((w >> 4) & 0x1FFF);
    wbs.ui16YOffset = static_cast<QOV_INT16>((w >> 18) & 0x1FFF);

    CI_MODULE_HIS &his = pStats->sHistStats;
    w = readWord(b, 130);
    his.ui16InputOffset = static_cast<QOV_UINT16>(w & 0x3FF);
    his.ui16InputScale = static_cast<QOV_UINT16>(w >> 16);
    w = readWord(b, 131);
    his.ui16Left = static_cast<QOV_UINT16>(w & 0x3FFF);
    his.ui16Top = static_cast<QOV_UINT16>((w >> 16) & 0x3FFF);
    w = readWord(b, 132);
    his.ui16Width = static_cast<QOV_UINT16>(w & 0x3FFF);
    his.ui16Height = static_cast<QOV_UINT16>((w >> 16) & 0x3FFF);

    CI_MODULE_FLD &fld = pStats->sFlickerStats;
    w = readWord(b, 226);
    fld.ui16FracStep50 = static_cast<QOV_UINT16>(w & 0x7FFF);
    fld.ui16FracStep60 = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);
    w = readWord(b, 227);
    fld.ui16CoefDiff = static_cast<QOV_UINT16>(w & 0x7FFF);
    fld.ui16NFThreshold = static_cast<QOV_UINT16>((w >> 16) & 0x7FFF);
    fld.ui32SceneChange = readWord(b, 228) & 0xFFFFF;
    w = readWord(b, 229);
    fld.ui8RShift = static_cast<QOV_UINT8>(w & 0x3F);
    fld.ui8MinPN = static_cast<QOV_UINT8>((w >> 6) & 0x3F);
    fld.ui8PN = static_cast<QOV_UINT8>((w >> 12) & 0x3F);
    fld.bReset = static_cast<QOV_BOOL8>(readWord(b, 230) & 0x1);

    CI_MODULE_ENS &ens = pStats->sEncStats;
    ens.ui8Log2NCouples = static_cast<QOV_UINT8>(readWord(b, 281) & 0x7);
    ens.ui8SubExp = static_cast<QOV_UINT8>(readWord(b, 282) & 0x7);
    return QOV_SUCCESS;
}
