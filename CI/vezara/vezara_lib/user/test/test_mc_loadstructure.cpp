// The hardware load structure: words of a small default pipeline worked
// out by hand from the register layouts, group selection, range reports,
// and the read-back of a shot's statistics configuration.
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

constexpr QOV_UINT32 kSentinel = 0xCDCDCDCDu;

using mctest::contains;

class McLoadStructure : public testing::Test
{
  protected:
    McLoadStructure() : bytes(1268, 0xCD) {}

    // The default floating-point pipeline of a 128 x 96 imager, converted.
    void convertDefault()
    {
        int mask = 0;
        testing::internal::CaptureStderr();
        ASSERT_EQ(MC_PipelineConvert(mc.get(), ci.get(), &mask), QOV_SUCCESS);
        testing::internal::GetCapturedStderr();
    }

    QOV_RESULT load(int mask, std::string *out = nullptr)
    {
        testing::internal::CaptureStdout();
        const QOV_RESULT r = INT_CI_Load_HW2(ci.get(), &hw, reinterpret_cast<char *>(bytes.data()), mask);
        const std::string text = testing::internal::GetCapturedStdout();
        if (out)
            *out = text;
        return r;
    }

    QOV_UINT32 word(unsigned i) const
    {
        return bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | static_cast<QOV_UINT32>(bytes[4 * i + 3]) << 24;
    }

    // One field of the structure: how to set it, where it lands, and a value.
    struct Field {
        std::string name;
        int group;
        std::function<void(CI_PIPELINE &, int)> set;
        unsigned index, lo, width;
        int value;
        unsigned stored = 0;  // bits the word keeps, where wider than the range checked
    };

    // Each field set alone on a created pipeline whose optional words are all
    // written: the word changes in exactly the field's bits, which hold the
    // value's low bits, and no report is added. With oneBitBeyond, each value
    // is also given one bit wider than its field (reported, not checked
    // here): its bits beyond the field change nothing.
    void expectFieldsHold(const std::vector<Field> &fields, bool oneBitBeyond = false)
    {
        for (const Field &f : fields) {
            expectFieldHolds(f, f.value, true);
            if (oneBitBeyond && f.width < 30)
                expectFieldHolds(f, f.value * 2 + 1, false);
        }
    }

    void expectFieldHolds(const Field &f, int value, bool fits)
    {
        SCOPED_TRACE(f.name + " = " + std::to_string(value));
        ci = mctest::createdPipeline();
        ci->sBlackCorrection.ui16PixelMax = 0;
        ci->sImageEnhancer.bMemoryColour = 1;
        ci->sImageEnhancer.bVibrancy = 1;
        ci->sSharpening.bDenoiseBypass = 0;
        ci->sEncoderScaler.bBypassScaler = 0;
        ci->sDisplayScaler.bBypassScaler = 0;
        std::string baseline, reports;
        ASSERT_EQ(load(f.group, &baseline), QOV_SUCCESS);
        const QOV_UINT32 before = word(f.index);
        f.set(*ci, value);
        ASSERT_EQ(load(f.group, &reports), QOV_SUCCESS);
        std::istringstream lines(reports);
        for (std::string line; fits && std::getline(lines, line);)
            EXPECT_TRUE(contains(baseline, line.c_str())) << line;
        const unsigned kept = fits || !f.stored ? f.width : f.stored;
        const QOV_UINT32 field = static_cast<QOV_UINT32>(value) & ((1u << kept) - 1u);
        EXPECT_EQ(word(f.index) ^ before, field << f.lo)
            << "word " << f.index << std::hex << " is 0x" << word(f.index);
    }

    CI_HWINFO hw = mctest::standardHw();
    std::unique_ptr<MC_PIPELINE> mc = mctest::defaultPipeline(hw, 64, 48);
    std::unique_ptr<CI_PIPELINE> ci = mctest::createdPipeline();
    std::vector<QOV_UINT8> bytes;
};

// Sets a member of CI_PIPELINE from an int, in the member's own type.
#define MEMBER(m) [](CI_PIPELINE &p, int v) { p.m = static_cast<std::remove_reference_t<decltype(p.m)>>(v); }

struct Word {
    unsigned index;
    QOV_UINT32 value;
};

TEST_F(McLoadStructure, SmallDefaultPipelineWordByWord)
{
    convertDefault();
    std::string reports;
    ASSERT_EQ(load(CI_UPD_ALL, &reports), QOV_SUCCESS);
    EXPECT_EQ(reports, ""); // every default value fits its field

    const Word expected[] = {
        // Exposure grid: start 64/14, 48/14; tile 64/7 and 8 (48 <= 55); pixel max 255.
        {0, 0x00030004}, {1, 0x00080009}, {2, 0x000000FF},
        // Black level: no row averaging; 1023 saturates U6.2 to 255; no offsets.
        {3, 0}, {4, 0x000000FF}, {5, 0},
        // Raw look-up table disabled.
        {6, 0}, {7, 0}, {38, 0},
        // White-balance tiles: start 0; tiles 128/7 = 18 and 16 px -> 8, 7 CFA - 1;
        // log2 efficiencies 255 saturate S8.5 to 4095; clips 255.0 = 0xFF00; distance 127 = 0xFE0.
        {39, 0}, {40, 0x00070008}, {41, 0x0FFF0FFF}, {42, 0}, {43, 0xFF000000}, {44, 0xFF00FF00},
        {45, 0x00000FE0}, {46, 0},
        // White-balance gains 1.0 (U6.10) and clips 512 (saturated U9.4).
        {49, 0x04000400}, {50, 0x04000400}, {51, 0x1FFF1FFF}, {52, 0x1FFF1FFF},
        // Focus: grid 0,0 of 128 x 96; ROI 32,24 to 95,71 (left in bits 1-15).
        {57, 0}, {58, 0x00600080}, {59, 0x00180040}, {60, 0x0047005F},
        // Denoiser: LUT 0; log2 0.25 = -16 (6 bits 0x30) in bits 1-6.
        {61, 0}, {71, 0}, {72, 0x00000060},
        // Defective pixels: detection off; weight 16 in bits 16-21.
        {73, 0}, {74, 0x00100000}, {76, 0},
        // Chromatic aberration: centres 32, 24; shifts -3 (x: 64 cells) and -4 (y: 48 cells) held to
        // the field's 0.
        {77, 0}, {82, 0}, {83, 0x00180020}, {84, 0x00180020}, {85, 0},
        // RGB gains 1.0 (U4.4 16); thresholds 510 in three 9-bit fields, threshold mode bit 30.
        {86, 0x00101010}, {87, 0x5FE7F9FE},
        // Identity colour matrix: 1.0 = 512 in S3.9.
        {88, 0x00000200}, {89, 0}, {90, 0x02000000}, {91, 0}, {92, 0}, {93, 0x00000200}, {94, 0}, {95, 0},
        // Main gamut mapper: clip -512 (0xE00) and 1536; norm 1024; slopes 1024, 1024, 0.
        {96, 0x06000E00}, {97, 0x00000400}, {98, 0x04000400}, {99, 0}, {100, 0}, {101, 0},
        {114, 0},
        // White-balance statistics: region 0 at 32,24 to 95,71, region 1 empty;
        // none active; Y offset -0.5 = -8 = 0x1FF8 in bits 18-30; maxima 9.
        {115, 0x00180020}, {116, 0}, {117, 0x0047005F}, {118, 0}, {119, 0x7FE00000},
        {120, 0x00009009}, {121, 0x00009009}, {122, 0x00009009}, {123, 0x00009009},
        // RGB to YCC, S2.10 rows {450, -409, -41}, {187, 629, 63}, {-103, -346, 450}; offset 0.5 = 2.
        {124, 0x0E6701C2}, {125, 0x00000FD7}, {126, 0x027500BB}, {127, 0x0002003F}, {128, 0x0EA60F99},
        {129, 0x000001C2},
        // Histograms: scale 1; grid at 32,24 with 64 x 48 tiles.
        {130, 0x00010000}, {131, 0x00180020}, {132, 0x00300040},
        // Image enhancer off.
        {133, 0},
        // Tone curve (i + 1) / 64 in U1.11: 32, 64, ... 2016.
        {183, 0x00400020}, {213, 0x07C007A0}, {214, 0x000007E0}, {215, 0},
        {216, 0}, {217, 0x00001000},
        // 128 px in 16 columns of 8: 1 / (2 x 8) in U0.16 = 4096 twice.
        {218, 0x10001000}, {219, 0x04000100}, {220, 0x00007000}, {221, 0x20000008}, {222, 0x000F0000},
        {223, 0}, {224, 0x10100010}, {225, 0x0DC00100},
        // Flicker: 96 lines x 30 fps: both steps saturate to 1.0 (U1.14 16384).
        {226, 0x40004000}, {227, 0x05DC0032}, {228, 0x000493E0}, {229, 0x0000410A}, {230, 0},
        // Sharpening: detail 1.0 saturates U0.6 at 63; denoiser bypassed; edge scale 4.
        {231, 0x007F0000}, {232, 0}, {233, 0x00000004},
        // Encoder scaler 128 x 96 at pitch 1.0 (U6.15 0x8000), 4:2:2, running.
        {238, 0x00008000}, {239, 0x8000005F}, {278, 0x00008000}, {279, 0x0000007E}, {280, 0},
        // Identity phase 0: 63 on the centre tap and 1 on the next.
        {242, 0x3F000000}, {243, 0x00000001},
        // Phase 1 at pitch 1: {-1, 3, -5, 62, 9, -4, 1, -1}.
        {244, 0x3E3B031F}, {245, 0x1F013C09},
        {250, 0x00013F00},
        {254, 0}, {255, 0x3F000000}, {256, 0x00000001}, {257, 0},
        {270, 0x3F000000}, {271, 0x00000001},
        // Display scaler, same sizes.
        {240, 0x00008000}, {241, 0x0000005F}, {303, 0x00008000}, {304, 0x0000007E},
        {283, 0x00013F00}, {287, 0x0000013F}, {291, 0x3F000000}, {292, 0x00000001}, {299, 0x00013F00},
        // YCC to RGB, S3.9: {806, 512, 0}, {-240, 512, -96}, {0, 512, 950}; offsets -512, -64, -512 in 11 bits.
        {305, 0x02000326}, {306, 0x06000000}, {307, 0x02000F10}, {308, 0x07C00FA0}, {309, 0x02000000},
        {310, 0x060003B6},
        // Display gamut mapper as the main one.
        {311, 0x06000E00}, {312, 0x00000400}, {313, 0x04000400}, {314, 0}, {315, 0}, {316, 0},
    };
    for (const Word &w : expected)
        EXPECT_EQ(word(w.index), w.value) << "word " << w.index << std::hex << " is 0x" << word(w.index);

    // Words the library never writes, and those of disabled features.
    for (unsigned i : {47u, 48u, 53u, 56u, 75u, 102u, 113u, 281u, 282u, 134u, 149u, 150u, 182u, 234u, 237u})
        EXPECT_EQ(word(i), kSentinel) << "word " << i;
}

// Distinct values in the fields the default pipeline leaves at 0: each must
// land at its own bits (values worked out by hand from the register layouts).
TEST_F(McLoadStructure, EveryFieldLandsAtItsBits)
{
    CI_PIPELINE &p = *ci;
    for (int i = 0; i < 21; ++i)
        p.sDenoiser.aPixThresLUT[i] = static_cast<QOV_UINT16>(100 + i);
    p.sDenoiser.bCombineChannels = 1;
    p.sDenoiser.i8Log2PixThresh = -1;
    p.sDefectivePixels.eDPFEnable = 5;
    p.sDefectivePixels.ui8Threshold = 0x21;
    p.sDefectivePixels.ui8Weight = 0x3F;
    p.sDefectivePixels.ui8PositiveThreshold = 7;
    p.sDefectivePixels.ui8NegativeThreshold = 9;
    CI_MODULE_LCA &lca = p.sChromaAberration;
    lca.aCoeffRed[1][0] = -1;
    lca.aCoeffRed[1][1] = 0x123;
    lca.aCoeffBlue[2][0] = 5;
    lca.aCoeffBlue[2][1] = -2048;
    lca.aOffsetRed[0] = 0x1234;
    lca.aOffsetRed[1] = 0x2345;
    lca.aDec[0] = 3;
    lca.aDec[1] = 0xF;
    lca.aShift[0] = 1;
    lca.aShift[1] = 3;

    p.sWhiteBalance.aRGBGain[0] = 1;
    p.sWhiteBalance.aRGBGain[1] = 2;
    p.sWhiteBalance.aRGBGain[2] = 3;
    const QOV_INT16 gmCoeffs[6] = {-1, 2, -3, 4, 5, -6};
    for (int i = 0; i < 6; ++i) {
        p.sMainGamutMapper.aCoeff[i] = gmCoeffs[i];
        p.sDisplayGamutMapper.aCoeff[i] = gmCoeffs[i];
    }
    p.sGammaCorrection.bBypass = 1;

    CI_MODULE_MIE &mie = p.sImageEnhancer;
    mie.bMemoryColour = 1;
    mie.bVibrancy = 1;
    mie.ui16BlackLevel = 341;
    mie.aVibrancySatMul[0] = 0x123;
    mie.aVibrancySatMul[1] = 0xABC;
    mie.aVibrancySatMul[30] = 1;
    mie.aVibrancySatMul[31] = 0xFFF;
    mie.aYOffset[0] = -8192;
    mie.aYScale[0] = 0x3F;
    mie.aYOffset[2] = 100;
    mie.aYScale[2] = 1;
    mie.aCOffset[1] = -1;
    mie.aCScale[1] = 0xAB;
    mie.aRot[0] = -128;
    mie.aRot[1] = 127;
    mie.aGaussMinY[2] = 1023;
    mie.aGaussScaleY[2] = 0x12;
    mie.aGaussCB[0] = -104;
    mie.aGaussCR[0] = 103;
    mie.aGaussRot[4] = -1;
    mie.aGaussRot[5] = 1;
    mie.aGaussKB[1] = 0x34;
    mie.aGaussKR[1] = 0x56;
    mie.aGaussScale[10] = 0x9A;
    mie.aGaussScale[11] = 0xBC;
    mie.aGaussGain[0] = 0x80;
    mie.aGaussGain[1] = 0x7F;

    CI_MODULE_TNM &tnm = p.sToneMapping;
    tnm.histFlattenThreshold[1] = 0xBEEF;
    tnm.columnsIdx = 0x45;
    tnm.localColumns = 0x1F;
    tnm.localWeights = 0x3FF;
    tnm.updateWeights = 0xFFFF;

    CI_MODULE_SHA &sha = p.sSharpening;
    sha.ui8Threshold = 0x10;
    sha.ui8Strength = 0x20;
    sha.ui8Detail = 0x3F;
    sha.bDenoiseBypass = 0;
    const QOV_UINT8 weights[6] = {63, 1, 32, 9, 9, 9};
    for (int i = 0; i < 6; ++i)
        sha.aGainWeight[i] = weights[i];
    sha.ui8ELWScale = 4;
    sha.i8ELWOffset = -64;
    for (int i = 0; i < 7; ++i) {
        sha.aDNSimil[i] = static_cast<QOV_UINT8>(1 + i);
        sha.aDNAvoid[i] = static_cast<QOV_UINT8>(0x10 + i);
    }

    CI_MODULE_AWS &aws = p.stats.sAutoWhiteBalanceStats;
    aws.ui16GridStartColumn = 5;
    aws.ui16GridStartRow = 9;
    aws.ui16RedDarkThresh = 0x1111;
    aws.ui16GreenDarkThresh = 0x2222;
    aws.ui16BlueDarkThresh = 0x3333;
    aws.ui16RedClipThresh = 0x4444;
    aws.ui16BlueClipThresh = 0x5555;
    aws.ui16GreenClipThresh = 0x6666;
    aws.bDebugBitmap = 7;
    p.stats.sFlickerStats.bReset = 1;
    p.stats.sFlickerStats.ui32SceneChange = 0xFFFFF;

    std::string reports;
    ASSERT_EQ(load(CI_UPD_GRP_1 | CI_UPD_GRP_2 | CI_UPD_GRP_3 | CI_UPD_GRP_4 | CI_UPD_GRP_6, &reports),
              QOV_SUCCESS);
    EXPECT_EQ(reports, "");

    const Word expected[] = {
        // Denoiser thresholds in pairs (0-12, 16-28); combine in bit 0, -1 in bits 1-6.
        {61, 0x00650064}, {64, 0x006B006A}, {65, 0x006D006C}, {67, 0x00710070}, {68, 0x00730072},
        {70, 0x00770076}, {71, 0x00000078}, {72, 0x0000007F},
        // Defective pixels: detection bit only; threshold and weight; signed thresholds.
        {73, 1}, {74, 0x003F0021}, {76, 0x00090007},
        // Chromatic aberration: row 1 red, row 2 blue, red centre, normalisation.
        {77, 0}, {79, 0x01230FFF}, {82, 0x08000005}, {83, 0x23451234}, {85, 0x030F0103},
        {86, 0x00030201}, {100, 0x04FD02FF}, {101, 0x0000FA05}, {114, 1}, {315, 0x04FD02FF}, {316, 0x0000FA05},
        // Image enhancer.
        {133, 0x00000557}, {134, 0x0ABC0123}, {149, 0x0FFF0001}, {150, 0x000FE000}, {151, 0},
        {152, 0x00004064}, {154, 0x0002AFFF}, {156, 0x00007F80}, {161, 0x001203FF}, {162, 0x00670398},
        {167, 0x000001FF}, {169, 0x00005634}, {176, 0x0000BC9A}, {177, 0x007F0080},
        // Tone mapper words that are whole or narrow fields.
        {217, 0x0000BEEF}, {222, 0x001F0045}, {223, 0xFFFF03FF},
        // Sharpening with its denoiser on.
        {231, 0x003F2010}, {232, 0x0002007F}, {233, 0x00004004}, {234, 0x04030201}, {235, 0x00070605},
        {236, 0x13121110}, {237, 0x00161514},
        // Statistics.
        {39, 0x00090005}, {42, 0x22221111}, {43, 0x44443333}, {44, 0x55556666}, {46, 1},
        {228, 0x000FFFFF}, {230, 1},
    };
    for (const Word &w : expected)
        EXPECT_EQ(word(w.index), w.value) << "word " << w.index << std::hex << " is 0x" << word(w.index);
}

// The chromatic-aberration shifts of the initial record reach their 2-bit
// fields (0 to 3) held to them, for small and large imagers, without a range
// report.
TEST_F(McLoadStructure, InitialChromaAberrationShiftsFitTheirFields)
{
    const struct {
        QOV_UINT16 width, height;
        QOV_UINT32 word85;
    } cases[] = {
        {8, 6, 0x00000000},        // negative: held to 0
        {300, 600, 0x00000000},    // -1; 0
        {4000, 2049, 0x00000100},  // 1; 0
        {5000, 3000, 0x01000200},  // 2; 1
        {9000, 20000, 0x03000300}, // 3; 4 held to 3
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        mc = mctest::defaultPipeline(hw, c.width, c.height);
        ci = mctest::createdPipeline();
        convertDefault();
        std::string reports;
        ASSERT_EQ(load(CI_UPD_GRP_1, &reports), QOV_SUCCESS);
        EXPECT_FALSE(contains(reports, "LAT_CA")) << reports;
        EXPECT_EQ(word(85), c.word85) << std::hex << word(85);
    }
}

TEST_F(McLoadStructure, MaskSelectsTheGroups)
{
    convertDefault();
    ASSERT_EQ(load(0), QOV_SUCCESS);
    for (unsigned i : {3u, 49u, 61u, 86u, 183u, 231u, 238u, 240u, 305u})
        EXPECT_EQ(word(i), kSentinel) << "word " << i;
    EXPECT_EQ(word(0), 0x00030004u); // statistics always
    EXPECT_EQ(word(226), 0x40004000u);

    // Bits above the groups change nothing here.
    ASSERT_EQ(load(CI_UPD_LSH_REG | CI_UPD_DPF_INPUT | CI_UPD_AWS_REG | CI_UPD_HDR), QOV_SUCCESS);
    EXPECT_EQ(word(3), kSentinel);

    ASSERT_EQ(load(CI_UPD_GRP_4), QOV_SUCCESS);
    EXPECT_EQ(word(231), 0x007F0000u);
    EXPECT_EQ(word(183), kSentinel);
}

TEST_F(McLoadStructure, RawLookUpTableCubic)
{
    ci->sRawLUT.eMode = CI_RLT_CUBIC;
    for (int k = 0; k < 16; ++k)
        ci->sRawLUT.aPoints[0][k] = static_cast<QOV_UINT16>(100 * k);
    ci->sRawLUT.aPoints[3][15] = 65535;
    ASSERT_EQ(load(CI_UPD_GRP_0), QOV_SUCCESS);
    EXPECT_EQ(word(6), 3u);
    EXPECT_EQ(word(7), 100u << 16);
    EXPECT_EQ(word(8), 200u | 300u << 16);
    EXPECT_EQ(word(38), 65535u << 16);

    ci->sRawLUT.eMode = static_cast<CI_RLT_MODES>(7);
    testing::internal::CaptureStderr();
    ASSERT_EQ(load(CI_UPD_GRP_0), QOV_SUCCESS);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "unknown RLT mode value!\n"));
    EXPECT_EQ(word(6), 1u);
}

// The raw look-up table from the floating-point record to its words: every
// point of every channel distinct, the linear mode.
TEST_F(McLoadStructure, RawLookUpTableFromTheFloatingPointRecord)
{
    mc->sRLT.eMode = CI_RLT_LINEAR;
    for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 16; ++k)
            mc->sRLT.aPoints[c][k] = static_cast<QOV_UINT16>(16000 * c + 997 * k + 1);
    convertDefault();
    EXPECT_EQ(ci->sRawLUT.eMode, CI_RLT_LINEAR);
    ASSERT_EQ(load(CI_UPD_GRP_0), QOV_SUCCESS);
    EXPECT_EQ(word(6), 1u);
    for (unsigned c = 0; c < 4; ++c)
        for (unsigned k = 0; k < 8; ++k)
            EXPECT_EQ(word(7 + 8 * c + k), mc->sRLT.aPoints[c][2 * k] | QOV_UINT32(mc->sRLT.aPoints[c][2 * k + 1]) << 16)
                << "channel " << c << " pair " << k;
}

TEST_F(McLoadStructure, RangeReportsThenMasks)
{
    ci->sColourCorrection.aCoeff[0][1] = -256;
    std::string reports;
    ASSERT_EQ(load(CI_UPD_GRP_2, &reports), QOV_SUCCESS);
    EXPECT_EQ(word(88) >> 16, 0xF00u);
    EXPECT_FALSE(contains(reports, "CC_COEFF_1"));

    // A signed field reports only below -2^w: -4096 passes silently as its low bits.
    ci->sColourCorrection.aCoeff[0][1] = -4096;
    ASSERT_EQ(load(CI_UPD_GRP_2, &reports), QOV_SUCCESS);
    EXPECT_FALSE(contains(reports, "CC_COEFF_1")) << reports;
    EXPECT_EQ(word(88) >> 16, 0u);

    ci->sColourCorrection.aCoeff[0][1] = -4097;
    ci->sBlackCorrection.bRowAverage = 2;
    ASSERT_EQ(load(CI_UPD_GRP_0 | CI_UPD_GRP_2, &reports), QOV_SUCCESS);
    EXPECT_TRUE(contains(reports, "HW_CI_Load_CCM: -4097 does not fit in VEZARA_LOAD_STRUCTURE:CC_COEFFS_A:CC_COEFF_1\n"));
    EXPECT_EQ(word(88) >> 16, 0xFFFu);
    EXPECT_TRUE(contains(reports, "HW_CI_Load_BLC: 2 does not fit in VEZARA_LOAD_STRUCTURE:BLACK_CONTROL:BLACK_MODE\n"));
    EXPECT_EQ(word(3), 0u);

    // A field of the statistics: a tile wider than 14 bits.
    ci->stats.sExposureStats.ui16Width = 20000;
    ASSERT_EQ(load(0, &reports), QOV_SUCCESS);
    EXPECT_TRUE(contains(reports,
                         "HW_CI_Load_EXS: 20000 does not fit in VEZARA_LOAD_STRUCTURE:EXS_GRID_TILE:EXS_GRID_TILE_WIDTH\n"));
    EXPECT_EQ(word(1) & 0x3FFF, 20000u & 0x3FFF);

    // A scaler's bypass is one bit: 2 is reported under its register and field.
    ci->sEncoderScaler.bBypassScaler = 2;
    ci->sDisplayScaler.bBypassScaler = 2;
    ASSERT_EQ(load(CI_UPD_GRP_5 | CI_UPD_GRP_6, &reports), QOV_SUCCESS);
    EXPECT_TRUE(contains(
        reports, "HW_CI_Load_ESC: 2 does not fit in VEZARA_LOAD_STRUCTURE:ENC_SCAL_H_SETUP:ENC_SCAL_BYPASS\n"))
        << reports;
    EXPECT_TRUE(contains(
        reports, "HW_CI_Load_DSC: 2 does not fit in VEZARA_LOAD_STRUCTURE:DISP_SCAL_H_SETUP:DISP_SCAL_BYPASS\n"))
        << reports;

    ci->sWhiteBalance.eRGBThresholdMode = static_cast<WBC_MODES>(5);
    testing::internal::CaptureStderr();
    ASSERT_EQ(load(CI_UPD_GRP_2), QOV_SUCCESS);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "unknown mode 5 - using mode 0\n"));
    EXPECT_EQ(word(87) & (1u << 30), 0u);
}

// Every signed field at its most negative value keeps its two's complement.
// A field packed one bit short drops the sign bit; one bit long spills it
// into the neighbour.
// The focus grid's tile is 14 bits wide and high: nothing of a larger value
// spills into the next bit.
TEST_F(McLoadStructure, FocusTileBeyondItsFieldsIsMasked)
{
    for (const bool height : {false, true}) {
        SCOPED_TRACE(height ? "height" : "width");
        ci = mctest::createdPipeline();
        (height ? ci->stats.sFocusStats.ui16Height : ci->stats.sFocusStats.ui16Width) = 16384 + 5;
        ASSERT_EQ(load(0), QOV_SUCCESS);
        EXPECT_EQ(word(58), height ? 5u << 16 : 5u);
    }
}

TEST_F(McLoadStructure, SignedFieldsKeepNegativeValues)
{
    std::vector<Field> fields = {
        {"BLC offset 0", CI_UPD_GRP_0, MEMBER(sBlackCorrection.i8FixedOffset[0]), 5, 0, 8, -128},
        {"BLC offset 1", CI_UPD_GRP_0, MEMBER(sBlackCorrection.i8FixedOffset[1]), 5, 8, 8, -128},
        {"BLC offset 2", CI_UPD_GRP_0, MEMBER(sBlackCorrection.i8FixedOffset[2]), 5, 16, 8, -128},
        {"BLC offset 3", CI_UPD_GRP_0, MEMBER(sBlackCorrection.i8FixedOffset[3]), 5, 24, 8, -128},
        {"DNS log2 threshold", CI_UPD_GRP_1, MEMBER(sDenoiser.i8Log2PixThresh), 72, 1, 6, -32},
        {"LCA red x", CI_UPD_GRP_1, MEMBER(sChromaAberration.aCoeffRed[2][0]), 81, 0, 12, -2048},
        {"LCA red y", CI_UPD_GRP_1, MEMBER(sChromaAberration.aCoeffRed[2][1]), 81, 16, 12, -2048},
        {"LCA blue x", CI_UPD_GRP_1, MEMBER(sChromaAberration.aCoeffBlue[1][0]), 80, 0, 12, -2048},
        {"LCA blue y", CI_UPD_GRP_1, MEMBER(sChromaAberration.aCoeffBlue[1][1]), 80, 16, 12, -2048},
        {"CCM 0", CI_UPD_GRP_2, MEMBER(sColourCorrection.aCoeff[2][0]), 92, 0, 12, -2048},
        {"CCM 1", CI_UPD_GRP_2, MEMBER(sColourCorrection.aCoeff[2][1]), 92, 16, 12, -2048},
        {"CCM 2", CI_UPD_GRP_2, MEMBER(sColourCorrection.aCoeff[1][2]), 91, 0, 12, -2048},
        {"CCM 3", CI_UPD_GRP_2, MEMBER(sColourCorrection.aCoeff[1][3]), 91, 16, 12, -2048},
        {"CCM offset 0", CI_UPD_GRP_2, MEMBER(sColourCorrection.aOffset[0]), 94, 0, 12, -2048},
        {"CCM offset 1", CI_UPD_GRP_2, MEMBER(sColourCorrection.aOffset[1]), 94, 16, 12, -2048},
        {"CCM offset 2", CI_UPD_GRP_2, MEMBER(sColourCorrection.aOffset[2]), 95, 0, 12, -2048},
        {"R2Y col 0", CI_UPD_GRP_2, MEMBER(sRGBToYCC.aCoeff[2][0]), 128, 0, 12, -2048},
        {"R2Y col 1", CI_UPD_GRP_2, MEMBER(sRGBToYCC.aCoeff[2][1]), 128, 16, 12, -2048},
        {"R2Y col 2", CI_UPD_GRP_2, MEMBER(sRGBToYCC.aCoeff[1][2]), 127, 0, 12, -2048},
        {"R2Y offset", CI_UPD_GRP_2, MEMBER(sRGBToYCC.aOffset[2]), 129, 16, 10, -512},
        {"MIE Y offset", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aYOffset[2]), 152, 0, 14, -8192},
        {"MIE C offset", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aCOffset[2]), 155, 0, 10, -512},
        {"MIE rotation 4", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aRot[4]), 158, 0, 8, -128},
        {"MIE rotation 5", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aRot[5]), 158, 8, 8, -128},
        {"MIE centre CB", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aGaussCB[2]), 164, 0, 10, -128},
        {"MIE centre CR", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aGaussCR[2]), 164, 16, 10, -128},
        {"MIE gauss rotation 4", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aGaussRot[4]), 167, 0, 8, -128},
        {"MIE gauss rotation 5", CI_UPD_GRP_3, MEMBER(sImageEnhancer.aGaussRot[5]), 167, 8, 8, -128},
        {"SHA edge offset", CI_UPD_GRP_4, MEMBER(sSharpening.i8ELWOffset), 233, 8, 7, -64},
        {"Y2R col 0", CI_UPD_GRP_6, MEMBER(sYCCToRGB.aCoeff[2][0]), 309, 0, 12, -2048},
        {"Y2R col 1", CI_UPD_GRP_6, MEMBER(sYCCToRGB.aCoeff[2][1]), 309, 16, 12, -2048},
        {"Y2R col 2", CI_UPD_GRP_6, MEMBER(sYCCToRGB.aCoeff[1][2]), 308, 0, 12, -2048},
        {"Y2R offset", CI_UPD_GRP_6, MEMBER(sYCCToRGB.aOffset[2]), 310, 16, 11, -1024},
        {"AWS log2 R", 0, MEMBER(stats.sAutoWhiteBalanceStats.ui16Log2_R_Qeff), 41, 0, 13, -4096},
        {"AWS log2 B", 0, MEMBER(stats.sAutoWhiteBalanceStats.ui16Log2_B_Qeff), 41, 16, 13, -4096},
        // The statistics offsets are kept as 13-bit values already.
        {"WBS RGB offset", 0, MEMBER(stats.sWhiteBalanceStats.ui16RGBOffset), 119, 4, 13, 0x1000},
        {"WBS Y offset", 0, MEMBER(stats.sWhiteBalanceStats.ui16YOffset), 119, 18, 13, 0x1000},
    };
    // Both gamut mappers.
    const struct {
        const char *name;
        int group;
        CI_MODULE_GAMUTMAPPER CI_PIPELINE::*record;
        unsigned word;
    } mappers[] = {{"MGM", CI_UPD_GRP_2, &CI_PIPELINE::sMainGamutMapper, 96},
                   {"DGM", CI_UPD_GRP_6, &CI_PIPELINE::sDisplayGamutMapper, 311}};
    for (const auto &m : mappers) {
        const auto rec = m.record;
        const std::string n = m.name;
        fields.push_back({n + " clip min", m.group, [rec](CI_PIPELINE &p, int v) { (p.*rec).i16ClipMin = static_cast<QOV_INT16>(v); }, m.word, 0, 12, -2048});
        fields.push_back({n + " clip max", m.group, [rec](CI_PIPELINE &p, int v) { (p.*rec).ui16ClipMax = static_cast<QOV_UINT16>(v); }, m.word, 16, 12, -2048});
        fields.push_back({n + " source norm", m.group, [rec](CI_PIPELINE &p, int v) { (p.*rec).ui16SrcNorm = static_cast<QOV_UINT16>(v); }, m.word + 1, 0, 12, -2048});
        for (unsigned c = 0; c < 6; ++c)
            fields.push_back({n + " coefficient " + std::to_string(c), m.group,
                              [rec, c](CI_PIPELINE &p, int v) { (p.*rec).aCoeff[c] = static_cast<QOV_INT16>(v); },
                              m.word + 4 + c / 4, 8 * (c % 4), 8, -128});
    }
    // Scaler taps of the last phase, by layout: {bit, width} of each tap in
    // the words of the layout.
    using Lane = std::pair<unsigned, unsigned>;
    const std::vector<std::vector<Lane>> layoutA = {{{0, 5}, {8, 5}, {16, 6}, {24, 7}}, {{0, 7}, {8, 6}, {16, 5}, {24, 5}}};
    const std::vector<std::vector<Lane>> layoutB = {
        {{0, 4}, {8, 4}, {16, 4}, {24, 4}}, layoutA[0], layoutA[1], {{0, 4}, {8, 4}, {16, 4}, {24, 4}}};
    const std::vector<std::vector<Lane>> layoutC = {{{0, 6}, {8, 7}, {16, 7}, {24, 6}}};
    const std::vector<std::vector<Lane>> displayVChroma = {{{0, 7}, {8, 7}}};
    using Taps = QOV_INT8 *(*)(CI_MODULE_SCALER &);
    const struct {
        const char *name;
        int group;
        CI_MODULE_SCALER CI_PIPELINE::*record;
        Taps taps;
        const std::vector<std::vector<Lane>> &layout;
        unsigned firstWord; // of the last phase
    } sets[] = {
        {"encoder V luma", CI_UPD_GRP_5, &CI_PIPELINE::sEncoderScaler, [](CI_MODULE_SCALER &s) { return s.VLuma; }, layoutA, 248},
        {"encoder V chroma", CI_UPD_GRP_5, &CI_PIPELINE::sEncoderScaler, [](CI_MODULE_SCALER &s) { return s.VChroma; }, layoutC, 253},
        {"encoder H luma", CI_UPD_GRP_5, &CI_PIPELINE::sEncoderScaler, [](CI_MODULE_SCALER &s) { return s.HLuma; }, layoutB, 266},
        {"encoder H chroma", CI_UPD_GRP_5, &CI_PIPELINE::sEncoderScaler, [](CI_MODULE_SCALER &s) { return s.HChroma; }, layoutA, 276},
        {"display V luma", CI_UPD_GRP_6, &CI_PIPELINE::sDisplayScaler, [](CI_MODULE_SCALER &s) { return s.VLuma; }, layoutC, 286},
        {"display V chroma", CI_UPD_GRP_6, &CI_PIPELINE::sDisplayScaler, [](CI_MODULE_SCALER &s) { return s.VChroma; }, displayVChroma, 290},
        {"display H luma", CI_UPD_GRP_6, &CI_PIPELINE::sDisplayScaler, [](CI_MODULE_SCALER &s) { return s.HLuma; }, layoutA, 297},
        {"display H chroma", CI_UPD_GRP_6, &CI_PIPELINE::sDisplayScaler, [](CI_MODULE_SCALER &s) { return s.HChroma; }, layoutC, 302},
    };
    for (const auto &set : sets) {
        unsigned perPhase = 0;
        for (const auto &word : set.layout)
            perPhase += static_cast<unsigned>(word.size());
        unsigned tap = 3 * perPhase;
        for (unsigned w = 0; w < set.layout.size(); ++w) {
            for (const Lane &lane : set.layout[w]) {
                const auto rec = set.record;
                const Taps taps = set.taps;
                fields.push_back({std::string(set.name) + " tap " + std::to_string(tap), set.group,
                                  [rec, taps, tap](CI_PIPELINE &p, int v) { taps(p.*rec)[tap] = static_cast<QOV_INT8>(v); },
                                  set.firstWord + w, lane.first, lane.second, -(1 << (lane.second - 1))});
                ++tap;
            }
        }
    }

    expectFieldsHold(fields);
}

// Every unsigned field at its largest value: all its bits set, none beyond;
// a value one bit wider sets no bit beyond either.
TEST_F(McLoadStructure, UnsignedFieldsHoldTheirLargestValues)
{
    const int g0 = CI_UPD_GRP_0, g1 = CI_UPD_GRP_1, g2 = CI_UPD_GRP_2, g3 = CI_UPD_GRP_3, g4 = CI_UPD_GRP_4,
              g5 = CI_UPD_GRP_5, g6 = CI_UPD_GRP_6, stats = 0;
#define FIELD(group, m, index, lo, width) {#m, group, MEMBER(m), index, lo, width, (1 << (width)) - 1}
    const std::vector<Field> fields = {
        FIELD(g0, sBlackCorrection.ui16PixelMax, 4, 0, 8),
        FIELD(g0, sBlackCorrection.ui16RowReciprocal, 4, 16, 10),
        FIELD(g0, sRawLUT.aPoints[3][14], 38, 0, 16),
        FIELD(g0, sRawLUT.aPoints[3][15], 38, 16, 16),
        FIELD(g0, sWhiteBalance.aGain[0], 49, 0, 16),
        FIELD(g0, sWhiteBalance.aGain[1], 49, 16, 16),
        FIELD(g0, sWhiteBalance.aGain[2], 50, 0, 16),
        FIELD(g0, sWhiteBalance.aGain[3], 50, 16, 16),
        FIELD(g0, sWhiteBalance.aClip[0], 51, 0, 13),
        FIELD(g0, sWhiteBalance.aClip[1], 51, 16, 13),
        FIELD(g0, sWhiteBalance.aClip[2], 52, 0, 13),
        FIELD(g0, sWhiteBalance.aClip[3], 52, 16, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[0], 61, 0, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[7], 64, 16, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[8], 65, 0, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[13], 67, 16, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[14], 68, 0, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[19], 70, 16, 13),
        FIELD(g1, sDenoiser.aPixThresLUT[20], 71, 0, 13),
        FIELD(g1, sDefectivePixels.ui8Threshold, 74, 0, 8),
        FIELD(g1, sDefectivePixels.ui8Weight, 74, 16, 6),
        FIELD(g1, sDefectivePixels.ui8PositiveThreshold, 76, 0, 8),
        FIELD(g1, sDefectivePixels.ui8NegativeThreshold, 76, 16, 8),
        FIELD(g1, sChromaAberration.aOffsetRed[0], 83, 0, 14),
        FIELD(g1, sChromaAberration.aOffsetRed[1], 83, 16, 14),
        FIELD(g1, sChromaAberration.aOffsetBlue[0], 84, 0, 14),
        FIELD(g1, sChromaAberration.aOffsetBlue[1], 84, 16, 14),
        FIELD(g1, sChromaAberration.aDec[0], 85, 0, 4),
        FIELD(g1, sChromaAberration.aDec[1], 85, 16, 4),
        FIELD(g2, sWhiteBalance.aRGBGain[0], 86, 0, 8),
        FIELD(g2, sWhiteBalance.aRGBGain[1], 86, 8, 8),
        FIELD(g2, sWhiteBalance.aRGBGain[2], 86, 16, 8),
        FIELD(g2, sWhiteBalance.aRGBThreshold[0], 87, 0, 9),
        FIELD(g2, sWhiteBalance.aRGBThreshold[1], 87, 10, 9),
        FIELD(g2, sWhiteBalance.aRGBThreshold[2], 87, 20, 9),
        FIELD(g2, sMainGamutMapper.aSlope[0], 98, 0, 12),
        FIELD(g2, sMainGamutMapper.aSlope[1], 98, 16, 12),
        FIELD(g2, sMainGamutMapper.aSlope[2], 99, 0, 12),
        FIELD(g6, sDisplayGamutMapper.aSlope[0], 313, 0, 12),
        FIELD(g6, sDisplayGamutMapper.aSlope[1], 313, 16, 12),
        FIELD(g6, sDisplayGamutMapper.aSlope[2], 314, 0, 12),
        FIELD(g3, sImageEnhancer.ui16BlackLevel, 133, 2, 10),
        FIELD(g3, sImageEnhancer.aVibrancySatMul[30], 149, 0, 12),
        {"sImageEnhancer.aVibrancySatMul[31]", g3, MEMBER(sImageEnhancer.aVibrancySatMul[31]), 149, 16, 12, 4095,
         16},  // checked on 12 bits, kept on 16
        FIELD(g3, sImageEnhancer.aYScale[2], 152, 14, 6),
        FIELD(g3, sImageEnhancer.aCScale[2], 155, 10, 8),
        FIELD(g3, sImageEnhancer.aGaussMinY[2], 161, 0, 10),
        FIELD(g3, sImageEnhancer.aGaussScaleY[2], 161, 16, 8),
        FIELD(g3, sImageEnhancer.aGaussKB[2], 170, 0, 8),
        FIELD(g3, sImageEnhancer.aGaussKR[2], 170, 8, 8),
        FIELD(g3, sImageEnhancer.aGaussScale[10], 176, 0, 8),
        FIELD(g3, sImageEnhancer.aGaussScale[11], 176, 8, 8),
        FIELD(g3, sImageEnhancer.aGaussGain[10], 182, 0, 8),
        FIELD(g3, sImageEnhancer.aGaussGain[11], 182, 16, 8),
        FIELD(g3, sToneMapping.aCurve[60], 213, 0, 12),
        FIELD(g3, sToneMapping.aCurve[61], 213, 16, 12),
        FIELD(g3, sToneMapping.aCurve[62], 214, 0, 12),
        FIELD(g3, sToneMapping.histFlattenMin, 216, 0, 11),
        FIELD(g3, sToneMapping.histFlattenThreshold[0], 216, 16, 11),
        FIELD(g3, sToneMapping.histFlattenThreshold[1], 217, 0, 16),
        FIELD(g3, sToneMapping.histNormLastFactor, 218, 0, 16),
        FIELD(g3, sToneMapping.histNormFactor, 218, 16, 16),
        FIELD(g3, sToneMapping.chromaSaturationScale, 219, 0, 12),
        FIELD(g3, sToneMapping.chromaConfigurationScale, 219, 16, 16),
        FIELD(g3, sToneMapping.chromaIOScale, 220, 0, 16),
        FIELD(g3, sToneMapping.localColWidth[0], 221, 0, 14),
        FIELD(g3, sToneMapping.localColWidth[1], 221, 16, 16),
        FIELD(g3, sToneMapping.columnsIdx, 222, 0, 7),
        FIELD(g3, sToneMapping.localColumns, 222, 16, 5),
        FIELD(g3, sToneMapping.localWeights, 223, 0, 10),
        FIELD(g3, sToneMapping.updateWeights, 223, 16, 16),
        FIELD(g3, sToneMapping.inputLumaOffset, 224, 0, 12),
        FIELD(g3, sToneMapping.inputLumaScale, 224, 16, 16),
        FIELD(g3, sToneMapping.outputLumaOffset, 225, 0, 12),
        FIELD(g3, sToneMapping.outputLumaScale, 225, 16, 16),
        FIELD(g4, sSharpening.ui8Threshold, 231, 0, 8),
        FIELD(g4, sSharpening.ui8Strength, 231, 8, 8),
        FIELD(g4, sSharpening.ui8Detail, 231, 16, 6),
        FIELD(g4, sSharpening.aGainWeight[0], 232, 0, 6),
        FIELD(g4, sSharpening.aGainWeight[1], 232, 6, 6),
        FIELD(g4, sSharpening.aGainWeight[2], 232, 12, 6),
        FIELD(g4, sSharpening.ui8ELWScale, 233, 0, 8),
        FIELD(g4, sSharpening.aDNSimil[3], 234, 24, 8),
        FIELD(g4, sSharpening.aDNSimil[6], 235, 16, 8),
        FIELD(g4, sSharpening.aDNAvoid[3], 236, 24, 8),
        FIELD(g4, sSharpening.aDNAvoid[6], 237, 16, 8),
        FIELD(g5, sEncoderScaler.aOutputSize[1], 239, 0, 15),
        FIELD(g5, sEncoderScaler.aOffset[1], 239, 16, 15),
        FIELD(g5, sEncoderScaler.aOutputSize[0], 279, 1, 13),
        FIELD(g5, sEncoderScaler.aOffset[0], 279, 16, 14),
        FIELD(g6, sDisplayScaler.aOutputSize[1], 241, 0, 15),
        FIELD(g6, sDisplayScaler.aOffset[1], 241, 16, 15),
        FIELD(g6, sDisplayScaler.aOutputSize[0], 304, 1, 13),
        FIELD(g6, sDisplayScaler.aOffset[0], 304, 16, 14),
        FIELD(stats, stats.sExposureStats.ui16Left, 0, 0, 16),
        FIELD(stats, stats.sExposureStats.ui16Top, 0, 16, 16),
        FIELD(stats, stats.sExposureStats.ui16Width, 1, 0, 14),
        FIELD(stats, stats.sExposureStats.ui16Height, 1, 16, 14),
        FIELD(stats, stats.sExposureStats.ui16PixelMax, 2, 0, 12),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GridStartColumn, 39, 0, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GridStartRow, 39, 16, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GridTileWidth, 40, 0, 12),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GridTileHeight, 40, 16, 12),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16RedDarkThresh, 42, 0, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GreenDarkThresh, 42, 16, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16BlueDarkThresh, 43, 0, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16RedClipThresh, 43, 16, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16GreenClipThresh, 44, 0, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16BlueClipThresh, 44, 16, 16),
        FIELD(stats, stats.sAutoWhiteBalanceStats.ui16BbDist, 45, 0, 12),
        FIELD(stats, stats.sFocusStats.ui16Left, 57, 0, 16),
        FIELD(stats, stats.sFocusStats.ui16Top, 57, 16, 16),
        FIELD(stats, stats.sFocusStats.ui16Width, 58, 0, 14),
        FIELD(stats, stats.sFocusStats.ui16Height, 58, 16, 14),
        FIELD(stats, stats.sFocusStats.ui16ROILeft, 59, 1, 15),
        FIELD(stats, stats.sFocusStats.ui16ROITop, 59, 16, 15),
        FIELD(stats, stats.sFocusStats.ui16ROIRight, 60, 0, 15),
        FIELD(stats, stats.sFocusStats.ui16ROIBottom, 60, 16, 15),
        FIELD(stats, stats.sWhiteBalanceStats.aRoiLeft[1], 116, 0, 15),
        FIELD(stats, stats.sWhiteBalanceStats.aRoiTop[1], 116, 16, 15),
        FIELD(stats, stats.sWhiteBalanceStats.aRoiRight[1], 118, 0, 15),
        FIELD(stats, stats.sWhiteBalanceStats.aRoiBottom[1], 118, 16, 15),
        FIELD(stats, stats.sWhiteBalanceStats.aRMax[1], 121, 0, 12),
        FIELD(stats, stats.sWhiteBalanceStats.aGMax[1], 121, 12, 12),
        FIELD(stats, stats.sWhiteBalanceStats.aBMax[1], 123, 0, 12),
        FIELD(stats, stats.sWhiteBalanceStats.aYMax[1], 123, 12, 12),
        FIELD(stats, stats.sHistStats.ui16InputOffset, 130, 0, 10),
        FIELD(stats, stats.sHistStats.ui16InputScale, 130, 16, 16),
        FIELD(stats, stats.sHistStats.ui16Left, 131, 0, 14),
        FIELD(stats, stats.sHistStats.ui16Top, 131, 16, 14),
        FIELD(stats, stats.sHistStats.ui16Width, 132, 0, 14),
        FIELD(stats, stats.sHistStats.ui16Height, 132, 16, 14),
        FIELD(stats, stats.sFlickerStats.ui16FracStep50, 226, 0, 15),
        FIELD(stats, stats.sFlickerStats.ui16FracStep60, 226, 16, 15),
        FIELD(stats, stats.sFlickerStats.ui16CoefDiff, 227, 0, 15),
        FIELD(stats, stats.sFlickerStats.ui16NFThreshold, 227, 16, 15),
        FIELD(stats, stats.sFlickerStats.ui32SceneChange, 228, 0, 20),
        FIELD(stats, stats.sFlickerStats.ui8RShift, 229, 0, 6),
        FIELD(stats, stats.sFlickerStats.ui8MinPN, 229, 6, 6),
        FIELD(stats, stats.sFlickerStats.ui8PN, 229, 12, 6),
    };
#undef FIELD
    expectFieldsHold(fields, true);
}

// A value too wide for its field is reported under its packing step,
// register and field: one field of every step that names its fields.
TEST_F(McLoadStructure, RangeReportsNameTheirStepRegisterAndField)
{
    const struct {
        int group;
        std::function<void(CI_PIPELINE &, int)> set;
        int value;
        const char *report;
    } cases[] = {
        {CI_UPD_GRP_0, MEMBER(sBlackCorrection.ui16RowReciprocal), 1024,
         "HW_CI_Load_BLC: 1024 does not fit in VEZARA_LOAD_STRUCTURE:BLACK_ANALYSIS:BLACK_ROW_RECIPROCAL\n"},
        {CI_UPD_GRP_0, MEMBER(sWhiteBalance.aClip[3]), 8192,
         "HW_CI_Load_LSH_WB: 8192 does not fit in VEZARA_LOAD_STRUCTURE:LSH_CLIP_1:WHITE_BALANCE_CLIP_3\n"},
        {CI_UPD_GRP_1, MEMBER(sDenoiser.aPixThresLUT[20]), 8192,
         "HW_CI_Load_DNS: 8192 does not fit in VEZARA_LOAD_STRUCTURE:PIX_THRESH_LUT_SEC3_POINTS:PIX_THRESH_LUT_POINT_20\n"},
        {CI_UPD_GRP_1, MEMBER(sDefectivePixels.ui8Weight), 64,
         "HW_CI_Load_DPF: 64 does not fit in VEZARA_LOAD_STRUCTURE:DPF_SENSITIVITY:DPF_WEIGHT\n"},
        {CI_UPD_GRP_1, MEMBER(sChromaAberration.aCoeffBlue[2][1]), -4097,
         "HW_CI_Load_LCA: -4097 does not fit in VEZARA_LOAD_STRUCTURE:LAT_CA_DELTA_COEFF_BLUE:LAT_CA_COEFF_Y_BLUE\n"},
        {CI_UPD_GRP_2, MEMBER(sWhiteBalance.aRGBThreshold[2]), 512,
         "HW_CI_Load_WBC: 512 does not fit in VEZARA_LOAD_STRUCTURE:WBC_THRESHOLD:WBC_THRES_2\n"},
        {CI_UPD_GRP_2, MEMBER(sColourCorrection.aCoeff[2][3]), 4096,
         "HW_CI_Load_CCM: 4096 does not fit in VEZARA_LOAD_STRUCTURE:CC_COEFFS_B:CC_COEFF_3\n"},
        {CI_UPD_GRP_2, MEMBER(sMainGamutMapper.ui16SrcNorm), 4096,
         "HW_CI_Load_MGM: 4096 does not fit in VEZARA_LOAD_STRUCTURE:MGM_CORE_IN_OUT:MGM_SRC_NORM\n"},
        {CI_UPD_GRP_2, MEMBER(sRGBToYCC.aOffset[1]), 1024,
         "HW_CI_Load_R2Y: 1024 does not fit in VEZARA_LOAD_STRUCTURE:RGB_TO_YCC_MATRIX_COEFF_OFFSET:RGB_TO_YCC_OFFSET\n"},
        {CI_UPD_GRP_3, MEMBER(sImageEnhancer.aGaussMinY[1]), 1024,
         "HW_CI_Load_MIE: 1024 does not fit in VEZARA_LOAD_STRUCTURE:MIE_MC_GAUSS_PARAMS_0:MIE_MC_GAUSS_MINY\n"},
        {CI_UPD_GRP_3, MEMBER(sToneMapping.localWeights), 1024,
         "HW_CI_Load_TNM: 1024 does not fit in VEZARA_LOAD_STRUCTURE:TNM_WEIGHTS:TNM_LOCAL_WEIGHT\n"},
        {CI_UPD_GRP_4, MEMBER(sSharpening.aGainWeight[2]), 64,
         "HW_CI_Load_SHA: 64 does not fit in VEZARA_LOAD_STRUCTURE:SHA_PARAMS_1:SHA_GWEIGHT_2\n"},
        {CI_UPD_GRP_5, MEMBER(sEncoderScaler.aOutputSize[1]), 32768,
         "HW_CI_Load_ESC: 32768 does not fit in VEZARA_LOAD_STRUCTURE:ENC_SCAL_V_SETUP:ENC_SCAL_OUTPUT_ROWS\n"},
        {CI_UPD_GRP_6, MEMBER(sDisplayScaler.aOutputSize[1]), 32768,
         "HW_CI_Load_DSC: 32768 does not fit in VEZARA_LOAD_STRUCTURE:DISP_SCAL_V_SETUP:DISP_SCAL_OUTPUT_ROWS\n"},
        {CI_UPD_GRP_6, MEMBER(sYCCToRGB.aOffset[2]), 2048,
         "HW_CI_Load_Y2R: 2048 does not fit in VEZARA_LOAD_STRUCTURE:YCC_TO_RGB_MATRIX_COEFF_OFFSET:YCC_TO_RGB_OFFSET\n"},
        {CI_UPD_GRP_6, MEMBER(sDisplayGamutMapper.ui16SrcNorm), 4096,
         "HW_CI_Load_DGM: 4096 does not fit in VEZARA_LOAD_STRUCTURE:DGM_CORE_IN_OUT:DGM_SRC_NORM\n"},
        {0, MEMBER(stats.sAutoWhiteBalanceStats.ui16GridTileHeight), 4096,
         "HW_CI_Load_AWS: 4096 does not fit in VEZARA_LOAD_STRUCTURE:AWS_GRID_TILE:AWS_GRID_TILE_CFA_HEIGHT_MIN1\n"},
        {0, MEMBER(stats.sFocusStats.ui16ROIBottom), 32768,
         "HW_CI_Load_FOS: 32768 does not fit in VEZARA_LOAD_STRUCTURE:FOS_ROI_COORDS_END:FOS_ROI_END_ROW\n"},
        {0, MEMBER(stats.sWhiteBalanceStats.aBMax[1]), 4096,
         "HW_CI_Load_WBS: 4096 does not fit in VEZARA_LOAD_STRUCTURE:WBS_RGBY_TH_1:WBS_BMAX_TH\n"},
        {0, MEMBER(stats.sHistStats.ui16InputOffset), 1024,
         "HW_CI_Load_HIS: 1024 does not fit in VEZARA_LOAD_STRUCTURE:HIS_INPUT_RANGE:HIS_INPUT_OFFSET\n"},
        {0, MEMBER(stats.sFlickerStats.ui8MinPN), 64,
         "HW_CI_Load_FLD: 64 does not fit in VEZARA_LOAD_STRUCTURE:FLD_DFT:FLD_MIN_PN\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.report);
        ci = mctest::createdPipeline();
        ci->sBlackCorrection.ui16PixelMax = 0;
        ci->sImageEnhancer.bMemoryColour = 1;
        ci->sEncoderScaler.bBypassScaler = 0;
        ci->sDisplayScaler.bBypassScaler = 0;
        c.set(*ci, c.value);
        std::string reports;
        ASSERT_EQ(load(c.group, &reports), QOV_SUCCESS);
        EXPECT_EQ(reports, c.report);
    }
}

TEST_F(McLoadStructure, BypassedEncoderScalerWritesOnlyItsSetup)
{
    ci->sEncoderScaler.bBypassScaler = 1;
    ci->sEncoderScaler.aOutputSize[0] = 959;
    ci->sEncoderScaler.aOffset[0] = 4;
    ASSERT_EQ(load(CI_UPD_GRP_5), QOV_SUCCESS);
    EXPECT_EQ(word(279), (959u << 1) | (4u << 16) | (1u << 31));
    EXPECT_EQ(word(238), 0u);
    EXPECT_EQ(word(278), 0u);
    EXPECT_EQ(word(239), 0u);
    for (unsigned i : {280u, 242u, 250u, 254u, 277u, 240u})
        EXPECT_EQ(word(i), kSentinel) << "word " << i;
}

TEST_F(McLoadStructure, RecordsGoToTheSetTheirFlagNames)
{
    // A display record that claims to be an encoder loads the encoder set.
    ci->sDisplayScaler.bIsDisplay = 0;
    ci->sDisplayScaler.bBypassScaler = 1;
    ci->sDisplayScaler.aOffset[1] = 9;
    ASSERT_EQ(load(CI_UPD_GRP_6), QOV_SUCCESS);
    EXPECT_EQ(word(239), 9u << 16);
    EXPECT_EQ(word(241), kSentinel);
}

TEST_F(McLoadStructure, BypassedToneMapperWritesBypassAndLuma)
{
    convertDefault();
    ci->sToneMapping.bBypassTNM = QOV_TRUE;
    ASSERT_EQ(load(CI_UPD_GRP_3), QOV_SUCCESS);
    EXPECT_EQ(word(215), 1u);
    EXPECT_EQ(word(224), 0x10100010u);
    EXPECT_EQ(word(225), 0x0DC00100u);
    for (unsigned i : {183u, 214u, 216u, 223u})
        EXPECT_EQ(word(i), kSentinel) << "word " << i;
}

TEST_F(McLoadStructure, HardwareVersionAndSize)
{
    hw.rev_ui8Major = 3;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load(CI_UPD_ALL), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "Should only be called with HW 2.X\n"));
    for (unsigned i = 0; i < 317; ++i)
        ASSERT_EQ(word(i), kSentinel) << i;

    hw.rev_ui8Major = 2;
    hw.uiSizeOfLoadStruct = 1264;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load(CI_UPD_ALL), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(contains(testing::internal::GetCapturedStderr(), "Different load structure size from user/kernel\n"));
    EXPECT_EQ(word(0), kSentinel);

    hw.uiSizeOfLoadStruct = 1268;
    hw.rev_ui8Minor = 4;
    testing::internal::CaptureStderr();
    EXPECT_EQ(load(CI_UPD_ALL), QOV_SUCCESS);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(contains(err, "HW_CI_Load_MIE_2_4():"));
    EXPECT_TRUE(contains(err, "HW_CI_Load_SHA_2_4():"));
    EXPECT_TRUE(contains(err, "not implemented yet\n"));
    EXPECT_EQ(word(231), 0x00400000u); // written as for every 2.x

    EXPECT_EQ(INT_CI_SizeLS_HW2(), 1268u);
}

// The statistics configuration of a shot comes from the shot's own copy of
// the load structure, not from its statistics block.
TEST_F(McLoadStructure, ShotStatisticsConfigurationReadsBack)
{
    convertDefault();
    std::fill(bytes.begin(), bytes.end(), 0); // as the driver's copy
    ASSERT_EQ(load(CI_UPD_ALL), QOV_SUCCESS);

    std::vector<QOV_UINT8> statistics(6108, 0xFF);
    CI_SHOT shot{};
    shot.pLoadStruct = bytes.data();
    shot.pStatistics = statistics.data();
    CI_PIPELINE_STATS back{};
    ASSERT_EQ(INT_CI_Revert_HW2(&shot, &back), QOV_SUCCESS);

    const CI_PIPELINE_STATS &sent = ci->stats;
    EXPECT_EQ(0, memcmp(&back.sExposureStats, &sent.sExposureStats, sizeof(CI_MODULE_EXS)));
    EXPECT_EQ(0, memcmp(&back.sFocusStats, &sent.sFocusStats, sizeof(CI_MODULE_FOS)));
    EXPECT_EQ(0, memcmp(&back.sHistStats, &sent.sHistStats, sizeof(CI_MODULE_HIS)));
    EXPECT_EQ(back.sWhiteBalanceStats.aRoiRight[0], 95);
    EXPECT_EQ(back.sWhiteBalanceStats.aRoiBottom[0], 71);
    EXPECT_EQ(back.sWhiteBalanceStats.aYMax[1], 9);
    EXPECT_EQ(back.sWhiteBalanceStats.ui16YOffset, 0x1FF8); // unsigned 13 bits
    EXPECT_EQ(back.sFlickerStats.ui16FracStep50, 16384);
    EXPECT_EQ(back.sFlickerStats.ui32SceneChange, 300000u);
    EXPECT_EQ(back.sFlickerStats.ui8PN, 4);
    EXPECT_EQ(back.sFlickerStats.ui16VertTotal, 0); // does not travel in the structure
    EXPECT_EQ(back.sAutoWhiteBalanceStats.ui16BbDist, 0);

    MC_WBS wbs{};
    ASSERT_EQ(MC_WBSRevert(&back.sWhiteBalanceStats, 0, &wbs), QOV_SUCCESS);
    EXPECT_EQ(wbs.fYOffset, -0.5);
    EXPECT_EQ(wbs.aRoiWidth[0], 64);
    MC_ENS ens{};
    ASSERT_EQ(MC_ENSRevert(&back.sEncStats, 0, &ens), QOV_SUCCESS);
    EXPECT_EQ(ens.ui32NLines, 8u);

    shot.pLoadStruct = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(INT_CI_Revert_HW2(&shot, &back), QOV_ERROR_NOT_INITIALISED);
    testing::internal::GetCapturedStderr();
}

#undef MEMBER

} // namespace
