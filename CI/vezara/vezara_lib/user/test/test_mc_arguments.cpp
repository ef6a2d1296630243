// Missing arguments of the conversion library: every pointer a function
// takes, left out one at a time, is refused with an invalid-argument result
// (or the function's neutral answer) and nothing is written.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

using mctest::createdPipeline;
using mctest::defaultPipeline;
using mctest::standardHw;

struct NullCase {
    const char *name;
    std::function<QOV_RESULT()> call;
};

class McArguments : public testing::Test
{
  protected:
    CI_HWINFO hw = standardHw();
    std::unique_ptr<MC_PIPELINE> mc = defaultPipeline(hw, 64, 32);
    std::unique_ptr<CI_PIPELINE> ci = createdPipeline();
    int mask = 0;

    // Runs every case; each must give QOV_ERROR_INVALID_ARGUMENT and leave
    // the update mask alone.
    void expectRefused(const std::vector<NullCase> &cases)
    {
        for (const NullCase &c : cases) {
            mask = 0x4000;
            testing::internal::CaptureStderr();
            testing::internal::CaptureStdout();
            const QOV_RESULT result = c.call();
            testing::internal::GetCapturedStdout();
            testing::internal::GetCapturedStderr();
            EXPECT_EQ(result, QOV_ERROR_INVALID_ARGUMENT) << c.name;
            EXPECT_EQ(mask, 0x4000) << c.name;
        }
    }
};

TEST_F(McArguments, InitsRefuseMissingRecords)
{
    MC_PIPELINE &p = *mc;
    const MC_IIF *iif = &p.sIIF;
    expectRefused({
        {"PipelineInit record", [&] { return MC_PipelineInit(nullptr, &hw); }},
        {"PipelineInit hardware", [&] { return MC_PipelineInit(&p, nullptr); }},
        {"IIF", [&] { return MC_IIFInit(nullptr); }},
        {"BLC", [&] { return MC_BLCInit(nullptr, 10); }},
        {"RLT", [&] { return MC_RLTInit(nullptr); }},
        {"LSH", [&] { return MC_LSHInit(nullptr); }},
        {"WBC", [&] { return MC_WBCInit(nullptr); }},
        {"DNS", [&] { return MC_DNSInit(nullptr); }},
        {"DPF record", [&] { return MC_DPFInit(nullptr, &hw, iif); }},
        {"DPF hardware", [&] { return MC_DPFInit(&p.sDPF, nullptr, iif); }},
        {"DPF imager", [&] { return MC_DPFInit(&p.sDPF, &hw, nullptr); }},
        {"LCA record", [&] { return MC_LCAInit(nullptr, iif); }},
        {"LCA imager", [&] { return MC_LCAInit(&p.sLCA, nullptr); }},
        {"CCM", [&] { return MC_CCMInit(nullptr); }},
        {"MGM", [&] { return MC_MGMInit(nullptr); }},
        {"GMA", [&] { return MC_GMAInit(nullptr); }},
        {"R2Y", [&] { return MC_R2YInit(nullptr); }},
        {"MIE", [&] { return MC_MIEInit(nullptr); }},
        {"TNM", [&] { return MC_TNMInit(nullptr, iif, &hw); }},
        {"SHA", [&] { return MC_SHAInit(nullptr); }},
        {"ESC record", [&] { return MC_ESCInit(nullptr, iif); }},
        {"ESC imager", [&] { return MC_ESCInit(&p.sESC, nullptr); }},
        {"DSC record", [&] { return MC_DSCInit(nullptr, iif); }},
        {"DSC imager", [&] { return MC_DSCInit(&p.sDSC, nullptr); }},
        {"Y2R", [&] { return MC_Y2RInit(nullptr); }},
        {"DGM", [&] { return MC_DGMInit(nullptr); }},
        {"HDR", [&] { return MC_HDRInit(nullptr); }},
        {"EXS record", [&] { return MC_EXSInit(nullptr, iif); }},
        {"EXS imager", [&] { return MC_EXSInit(&p.sEXS, nullptr); }},
        {"FOS record", [&] { return MC_FOSInit(nullptr, iif); }},
        {"FOS imager", [&] { return MC_FOSInit(&p.sFOS, nullptr); }},
        {"WBS record", [&] { return MC_WBSInit(nullptr, iif); }},
        {"WBS imager", [&] { return MC_WBSInit(&p.sWBS, nullptr); }},
        {"AWS record", [&] { return MC_AWSInit(nullptr, iif); }},
        {"AWS imager", [&] { return MC_AWSInit(&p.sAWS, nullptr); }},
        {"HIS record", [&] { return MC_HISInit(nullptr, iif); }},
        {"HIS imager", [&] { return MC_HISInit(&p.sHIS, nullptr); }},
        {"FLD record", [&] { return MC_FLDInit(nullptr, iif); }},
        {"FLD imager", [&] { return MC_FLDInit(&p.sFLD, nullptr); }},
        {"ENS", [&] { return MC_ENSInit(nullptr); }},
    });
    MC_DPFFree(nullptr); // nothing to free, no crash
}

TEST_F(McArguments, ConversionsRefuseMissingRecordsAndMasks)
{
    MC_PIPELINE &p = *mc;
    CI_PIPELINE &c = *ci;
    const MC_IIF *iif = &p.sIIF;
    CI_PIPELINE_STATS &s = c.stats;
    expectRefused({
        {"Pipeline mc", [&] { return MC_PipelineConvert(nullptr, &c, &mask); }},
        {"Pipeline ci", [&] { return MC_PipelineConvert(&p, nullptr, &mask); }},
        {"IIF mc", [&] { return MC_IIFConvert(nullptr, &c.sImagerInterface); }},
        {"IIF ci", [&] { return MC_IIFConvert(&p.sIIF, nullptr); }},
        {"BLC mc", [&] { return MC_BLCConvert(nullptr, &c.sBlackCorrection, &mask); }},
        {"BLC ci", [&] { return MC_BLCConvert(&p.sBLC, nullptr, &mask); }},
        {"BLC mask", [&] { return MC_BLCConvert(&p.sBLC, &c.sBlackCorrection, nullptr); }},
        {"RLT mc", [&] { return MC_RLTConvert(nullptr, &c.sRawLUT, &mask); }},
        {"RLT ci", [&] { return MC_RLTConvert(&p.sRLT, nullptr, &mask); }},
        {"RLT mask", [&] { return MC_RLTConvert(&p.sRLT, &c.sRawLUT, nullptr); }},
        {"LSH mc", [&] { return MC_LSHConvert(nullptr, &c.sDeshading, &mask); }},
        {"LSH ci", [&] { return MC_LSHConvert(&p.sLSH, nullptr, &mask); }},
        {"LSH mask", [&] { return MC_LSHConvert(&p.sLSH, &c.sDeshading, nullptr); }},
        {"WBC mc", [&] { return MC_WBCConvert(nullptr, &c.sWhiteBalance, &mask); }},
        {"WBC ci", [&] { return MC_WBCConvert(&p.sWBC, nullptr, &mask); }},
        {"WBC mask", [&] { return MC_WBCConvert(&p.sWBC, &c.sWhiteBalance, nullptr); }},
        {"DNS mc", [&] { return MC_DNSConvert(nullptr, &c.sDenoiser, &mask); }},
        {"DNS ci", [&] { return MC_DNSConvert(&p.sDNS, nullptr, &mask); }},
        {"DNS mask", [&] { return MC_DNSConvert(&p.sDNS, &c.sDenoiser, nullptr); }},
        {"DPF mc", [&] { return MC_DPFConvert(nullptr, iif, &c.sDefectivePixels, &mask); }},
        {"DPF imager", [&] { return MC_DPFConvert(&p.sDPF, nullptr, &c.sDefectivePixels, &mask); }},
        {"DPF ci", [&] { return MC_DPFConvert(&p.sDPF, iif, nullptr, &mask); }},
        {"DPF mask", [&] { return MC_DPFConvert(&p.sDPF, iif, &c.sDefectivePixels, nullptr); }},
        {"LCA mc", [&] { return MC_LCAConvert(nullptr, &c.sChromaAberration, &mask); }},
        {"LCA ci", [&] { return MC_LCAConvert(&p.sLCA, nullptr, &mask); }},
        {"LCA mask", [&] { return MC_LCAConvert(&p.sLCA, &c.sChromaAberration, nullptr); }},
        {"CCM mc", [&] { return MC_CCMConvert(nullptr, &c.sColourCorrection, &mask); }},
        {"CCM ci", [&] { return MC_CCMConvert(&p.sCCM, nullptr, &mask); }},
        {"CCM mask", [&] { return MC_CCMConvert(&p.sCCM, &c.sColourCorrection, nullptr); }},
        {"MGM mc", [&] { return MC_MGMConvert(nullptr, &c.sMainGamutMapper, &mask); }},
        {"MGM ci", [&] { return MC_MGMConvert(&p.sMGM, nullptr, &mask); }},
        {"MGM mask", [&] { return MC_MGMConvert(&p.sMGM, &c.sMainGamutMapper, nullptr); }},
        {"DGM mc", [&] { return MC_DGMConvert(nullptr, &c.sDisplayGamutMapper, &mask); }},
        {"DGM ci", [&] { return MC_DGMConvert(&p.sDGM, nullptr, &mask); }},
        {"DGM mask", [&] { return MC_DGMConvert(&p.sDGM, &c.sDisplayGamutMapper, nullptr); }},
        {"GMA mc", [&] { return MC_GMAConvert(nullptr, &c.sGammaCorrection, &mask); }},
        {"GMA ci", [&] { return MC_GMAConvert(&p.sGMA, nullptr, &mask); }},
        {"GMA mask", [&] { return MC_GMAConvert(&p.sGMA, &c.sGammaCorrection, nullptr); }},
        {"R2Y mc", [&] { return MC_R2YConvert(nullptr, &c.sRGBToYCC, &mask); }},
        {"R2Y ci", [&] { return MC_R2YConvert(&p.sR2Y, nullptr, &mask); }},
        {"R2Y mask", [&] { return MC_R2YConvert(&p.sR2Y, &c.sRGBToYCC, nullptr); }},
        {"Y2R mc", [&] { return MC_Y2RConvert(nullptr, &c.sYCCToRGB, &mask); }},
        {"Y2R ci", [&] { return MC_Y2RConvert(&p.sY2R, nullptr, &mask); }},
        {"Y2R mask", [&] { return MC_Y2RConvert(&p.sY2R, &c.sYCCToRGB, nullptr); }},
        {"MIE mc", [&] { return MC_MIEConvert(nullptr, &c.sImageEnhancer, &hw, &mask); }},
        {"MIE ci", [&] { return MC_MIEConvert(&p.sMIE, nullptr, &hw, &mask); }},
        {"MIE mask", [&] { return MC_MIEConvert(&p.sMIE, &c.sImageEnhancer, &hw, nullptr); }},
        {"TNM mc", [&] { return MC_TNMConvert(nullptr, iif, 2, &c.sToneMapping, &mask); }},
        {"TNM imager", [&] { return MC_TNMConvert(&p.sTNM, nullptr, 2, &c.sToneMapping, &mask); }},
        {"TNM ci", [&] { return MC_TNMConvert(&p.sTNM, iif, 2, nullptr, &mask); }},
        {"TNM mask", [&] { return MC_TNMConvert(&p.sTNM, iif, 2, &c.sToneMapping, nullptr); }},
        {"SHA mc", [&] { return MC_SHAConvert(nullptr, &c.sSharpening, &hw, &mask); }},
        {"SHA ci", [&] { return MC_SHAConvert(&p.sSHA, nullptr, &hw, &mask); }},
        {"SHA mask", [&] { return MC_SHAConvert(&p.sSHA, &c.sSharpening, &hw, nullptr); }},
        {"ESC mc", [&] { return MC_ESCConvert(nullptr, &c.sEncoderScaler, QOV_FALSE, &mask); }},
        {"ESC ci", [&] { return MC_ESCConvert(&p.sESC, nullptr, QOV_FALSE, &mask); }},
        {"ESC mask", [&] { return MC_ESCConvert(&p.sESC, &c.sEncoderScaler, QOV_FALSE, nullptr); }},
        {"DSC mc", [&] { return MC_DSCConvert(nullptr, &c.sDisplayScaler, &mask); }},
        {"DSC ci", [&] { return MC_DSCConvert(&p.sDSC, nullptr, &mask); }},
        {"DSC mask", [&] { return MC_DSCConvert(&p.sDSC, &c.sDisplayScaler, nullptr); }},
        {"HDR mc", [&] { return MC_HDRConvert(nullptr, &p.sWBC, &c.sHDR, &mask); }},
        {"HDR white balance", [&] { return MC_HDRConvert(&p.sHDR, nullptr, &c.sHDR, &mask); }},
        {"HDR ci", [&] { return MC_HDRConvert(&p.sHDR, &p.sWBC, nullptr, &mask); }},
        {"HDR mask", [&] { return MC_HDRConvert(&p.sHDR, &p.sWBC, &c.sHDR, nullptr); }},
        {"EXS mc", [&] { return MC_EXSConvert(nullptr, &s.sExposureStats, &mask); }},
        {"EXS ci", [&] { return MC_EXSConvert(&p.sEXS, nullptr, &mask); }},
        {"EXS mask", [&] { return MC_EXSConvert(&p.sEXS, &s.sExposureStats, nullptr); }},
        {"FOS mc", [&] { return MC_FOSConvert(nullptr, &s.sFocusStats, &mask); }},
        {"FOS ci", [&] { return MC_FOSConvert(&p.sFOS, nullptr, &mask); }},
        {"FOS mask", [&] { return MC_FOSConvert(&p.sFOS, &s.sFocusStats, nullptr); }},
        {"WBS mc", [&] { return MC_WBSConvert(nullptr, &s.sWhiteBalanceStats, &mask); }},
        {"WBS ci", [&] { return MC_WBSConvert(&p.sWBS, nullptr, &mask); }},
        {"WBS mask", [&] { return MC_WBSConvert(&p.sWBS, &s.sWhiteBalanceStats, nullptr); }},
        {"AWS mc", [&] { return MC_AWSConvert(nullptr, &s.sAutoWhiteBalanceStats, &mask); }},
        {"AWS ci", [&] { return MC_AWSConvert(&p.sAWS, nullptr, &mask); }},
        {"AWS mask", [&] { return MC_AWSConvert(&p.sAWS, &s.sAutoWhiteBalanceStats, nullptr); }},
        {"HIS mc", [&] { return MC_HISConvert(nullptr, &s.sHistStats, &mask); }},
        {"HIS ci", [&] { return MC_HISConvert(&p.sHIS, nullptr, &mask); }},
        {"HIS mask", [&] { return MC_HISConvert(&p.sHIS, &s.sHistStats, nullptr); }},
        {"FLD mc", [&] { return MC_FLDConvert(nullptr, &s.sFlickerStats, &mask); }},
        {"FLD ci", [&] { return MC_FLDConvert(&p.sFLD, nullptr, &mask); }},
        {"FLD mask", [&] { return MC_FLDConvert(&p.sFLD, &s.sFlickerStats, nullptr); }},
        {"ENS mc", [&] { return MC_ENSConvert(nullptr, &s.sEncStats); }},
        {"ENS ci", [&] { return MC_ENSConvert(&p.sENS, nullptr); }},
    });
    // Every record is still waiting for its conversion.
    EXPECT_TRUE(p.sBLC.updateNeeded);
    EXPECT_TRUE(p.sTNM.updateNeeded);
    EXPECT_TRUE(p.sENS.updateNeeded);
}

TEST_F(McArguments, RevertsExtractionsAndChecksRefuseMissingRecords)
{
    MC_PIPELINE &p = *mc;
    CI_PIPELINE &c = *ci;
    CI_PIPELINE_STATS &s = c.stats;
    std::vector<QOV_UINT8> blob(64 * 1024);
    MC_STATS_EXS exs;
    MC_STATS_FOS fos;
    MC_STATS_HIS his;
    MC_STATS_WBS wbs;
    MC_STATS_AWS aws;
    MC_STATS_FLD fld;
    MC_STATS_TIMESTAMP stamps;
    MC_STATS_DPF dpf;
    CI_MODULE_LSH_MAT lsh{};
    CI_MODULE_SCALER *scaler = &c.sEncoderScaler;
    expectRefused({
        {"DPF revert ci", [&] { return MC_DPFRevert(nullptr, 0, &p.sDPF); }},
        {"DPF revert mc", [&] { return MC_DPFRevert(&c.sDefectivePixels, 0, nullptr); }},
        {"EXS revert ci", [&] { return MC_EXSRevert(nullptr, 0, &p.sEXS); }},
        {"EXS revert mc", [&] { return MC_EXSRevert(&s.sExposureStats, 0, nullptr); }},
        {"FOS revert ci", [&] { return MC_FOSRevert(nullptr, 0, &p.sFOS); }},
        {"FOS revert mc", [&] { return MC_FOSRevert(&s.sFocusStats, 0, nullptr); }},
        {"WBS revert ci", [&] { return MC_WBSRevert(nullptr, 0, &p.sWBS); }},
        {"WBS revert mc", [&] { return MC_WBSRevert(&s.sWhiteBalanceStats, 0, nullptr); }},
        {"AWS revert ci", [&] { return MC_AWSRevert(nullptr, 0, &p.sAWS); }},
        {"AWS revert mc", [&] { return MC_AWSRevert(&s.sAutoWhiteBalanceStats, 0, nullptr); }},
        {"HIS revert ci", [&] { return MC_HISRevert(nullptr, 0, &p.sHIS); }},
        {"HIS revert mc", [&] { return MC_HISRevert(&s.sHistStats, 0, nullptr); }},
        {"FLD revert ci", [&] { return MC_FLDRevert(nullptr, 0, &p.sFLD); }},
        {"FLD revert mc", [&] { return MC_FLDRevert(&s.sFlickerStats, 0, nullptr); }},
        {"ENS revert ci", [&] { return MC_ENSRevert(nullptr, 0, &p.sENS); }},
        {"ENS revert mc", [&] { return MC_ENSRevert(&s.sEncStats, 0, nullptr); }},
        {"EXS extract blob", [&] { return MC_EXSExtract(nullptr, &exs); }},
        {"EXS extract stats", [&] { return MC_EXSExtract(blob.data(), nullptr); }},
        {"FOS extract blob", [&] { return MC_FOSExtract(nullptr, &fos); }},
        {"FOS extract stats", [&] { return MC_FOSExtract(blob.data(), nullptr); }},
        {"HIS extract blob", [&] { return MC_HISExtract(nullptr, &his); }},
        {"HIS extract stats", [&] { return MC_HISExtract(blob.data(), nullptr); }},
        {"WBS extract blob", [&] { return MC_WBSExtract(nullptr, &wbs); }},
        {"WBS extract stats", [&] { return MC_WBSExtract(blob.data(), nullptr); }},
        {"AWS extract blob", [&] { return MC_AWSExtract(nullptr, &aws); }},
        {"AWS extract stats", [&] { return MC_AWSExtract(blob.data(), nullptr); }},
        {"FLD extract blob", [&] { return MC_FLDExtract(nullptr, &fld); }},
        {"FLD extract stats", [&] { return MC_FLDExtract(blob.data(), nullptr); }},
        {"timestamps blob", [&] { return MC_TimestampExtract(nullptr, &stamps); }},
        {"timestamps stats", [&] { return MC_TimestampExtract(blob.data(), nullptr); }},
        {"DPF extract blob", [&] { return MC_DPFExtract(nullptr, &dpf); }},
        {"DPF extract stats", [&] { return MC_DPFExtract(blob.data(), nullptr); }},
        {"IIF check record", [&] { return CI_ModuleIIF_verif(nullptr, 0, &hw); }},
        {"IIF check hardware", [&] { return CI_ModuleIIF_verif(&c.sImagerInterface, 0, nullptr); }},
        {"LSH check record", [&] { return CI_ModuleLSH_verif(nullptr, &c.sImagerInterface, &hw); }},
        {"LSH check imager", [&] { return CI_ModuleLSH_verif(&lsh, nullptr, &hw); }},
        {"LSH check hardware", [&] { return CI_ModuleLSH_verif(&lsh, &c.sImagerInterface, nullptr); }},
        {"scaler check", [&] { return CI_ModuleScaler_verif(nullptr); }},
        {"WBC check", [&] { return CI_ModuleWBC_verif(nullptr); }},
        {"TNM check", [&] { return CI_ModuleTNM_verif(nullptr); }},
        {"DPF check record", [&] { return CI_ModuleDPF_verif(nullptr, &hw); }},
        {"DPF check hardware", [&] { return CI_ModuleDPF_verif(&c.sDefectivePixels, nullptr); }},
        {"EXS check", [&] { return CI_StatsEXS_verif(nullptr); }},
        {"FLD check", [&] { return CI_StatsFLD_verif(nullptr); }},
        {"WBS check", [&] { return CI_StatsWBS_verif(nullptr); }},
        {"HIS check", [&] { return CI_StatsHIS_verif(nullptr); }},
        {"AWS check record", [&] { return CI_StatsAWS_verif(nullptr, &c.sImagerInterface); }},
        {"AWS check imager", [&] { return CI_StatsAWS_verif(&s.sAutoWhiteBalanceStats, nullptr); }},
    });
    EXPECT_EQ(CI_ModuleScaler_verif(scaler), QOV_SUCCESS); // the bypassed scaler passes
    EXPECT_EQ(CI_StatsENS_verif(nullptr), QOV_SUCCESS);     // nothing to check

    // Tap computations without a matrix: nothing to fill, nothing passes.
    QOV_CalculateScalerCoefficients(8, 1.0, nullptr, QOV_TRUE);
    EXPECT_FALSE(scalerVerifTaps(nullptr, 8));
}

TEST_F(McArguments, LoadStructureAndLensShadingRefuseMissingRecords)
{
    std::vector<char> loadStructure(INT_CI_SizeLS_HW2());
    CI_SHOT shot{};
    CI_PIPELINE_STATS stats{};
    LSH_GRID grid{};
    CI_LSHMAT matrix{};
    std::vector<QOV_UINT8> data(4096);
    matrix.data = data.data();
    expectRefused({
        {"load pipeline", [&] { return INT_CI_Load_HW2(nullptr, &hw, loadStructure.data(), -1); }},
        {"load hardware", [&] { return INT_CI_Load_HW2(ci.get(), nullptr, loadStructure.data(), -1); }},
        {"load structure", [&] { return INT_CI_Load_HW2(ci.get(), &hw, nullptr, -1); }},
        {"revert shot", [&] { return INT_CI_Revert_HW2(nullptr, &stats); }},
        {"revert stats", [&] { return INT_CI_Revert_HW2(&shot, nullptr); }},
        {"grid", [&] { return MC_LSHConvertGrid(nullptr, 8, &matrix); }},
        {"matrix", [&] { return MC_LSHConvertGrid(&grid, 8, nullptr); }},
        {"matrix data", [&] {
             CI_LSHMAT empty{};
             return MC_LSHConvertGrid(&grid, 8, &empty);
         }},
        {"pre-check grid", [&] { return MC_LSHPreCheckTest(nullptr, 8); }},
    });
    testing::internal::CaptureStderr();
    int maxDiff = 7;
    QOV_UINT32 line = 5, stride = 6;
    EXPECT_EQ(MC_LSHComputeMinBitdiff(nullptr, &maxDiff), 0);
    EXPECT_EQ(MC_LSHGetSizes(nullptr, 8, &line, &stride), 0u);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(maxDiff, 7);
    EXPECT_EQ(line, 5u);
    EXPECT_EQ(stride, 6u);
}

} // namespace
