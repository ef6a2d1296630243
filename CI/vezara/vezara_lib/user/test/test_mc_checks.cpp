// Hardware value checks at their boundaries.
#include <string>

#include <gtest/gtest.h>

#include "mc_test_support.h"

namespace {

class McChecks : public testing::Test
{
  protected:
    void SetUp() override { testing::internal::CaptureStderr(); }
    void TearDown() override { testing::internal::GetCapturedStderr(); }
    CI_HWINFO hw = mctest::standardHw();
};

TEST_F(McChecks, ImagerBufferThreshold)
{
    CI_MODULE_IIF iif{};
    iif.ui16BuffThreshold = 4096; // the context's maximum single width
    EXPECT_EQ(CI_ModuleIIF_verif(&iif, 0, &hw), QOV_ERROR_FAILURE);
    iif.ui16BuffThreshold = 4095;
    EXPECT_EQ(CI_ModuleIIF_verif(&iif, 0, &hw), QOV_SUCCESS);
    EXPECT_EQ(CI_ModuleIIF_verif(&iif, 1, &hw), QOV_ERROR_FAILURE); // context 1 is 2048 wide
    EXPECT_EQ(CI_ModuleIIF_verif(&iif, 2, &hw), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CI_ModuleIIF_verif(nullptr, 0, &hw), QOV_ERROR_INVALID_ARGUMENT);
}

TEST_F(McChecks, ToneMapperColumns)
{
    const struct {
        QOV_UINT16 width;
        QOV_UINT16 columns;
        QOV_RESULT result;
    } cases[] = {{39, 15, QOV_ERROR_FAILURE}, {40, 15, QOV_SUCCESS},   {16383, 15, QOV_SUCCESS},
                 {16384, 15, QOV_ERROR_FAILURE}, {120, 32, QOV_SUCCESS}, {120, 33, QOV_ERROR_FAILURE}};
    for (const auto &c : cases) {
        CI_MODULE_TNM tnm{};
        tnm.localColWidth[0] = c.width;
        tnm.localColumns = c.columns;
        EXPECT_EQ(CI_ModuleTNM_verif(&tnm), c.result) << c.width << " " << c.columns;
        tnm.bBypassTNM = QOV_TRUE;
        EXPECT_EQ(CI_ModuleTNM_verif(&tnm), QOV_SUCCESS);
    }
}

TEST_F(McChecks, FlickerPeaks)
{
    const struct {
        QOV_UINT8 minPN;
        QOV_UINT8 pn;
        QOV_RESULT result;
    } cases[] = {{4, 8, QOV_SUCCESS}, {4, 4, QOV_SUCCESS}, {4, 6, QOV_ERROR_FAILURE}, {8, 4, QOV_ERROR_FAILURE},
                 {2, 8, QOV_ERROR_FAILURE}};
    for (const auto &c : cases) {
        CI_MODULE_FLD fld{};
        fld.ui8MinPN = c.minPN;
        fld.ui8PN = c.pn;
        EXPECT_EQ(CI_StatsFLD_verif(&fld), c.result) << int(c.minPN) << " " << int(c.pn);
    }
}

TEST_F(McChecks, StatisticsGrids)
{
    CI_MODULE_WBS wbs{};
    wbs.ui8ActiveROI = 1;
    EXPECT_EQ(CI_StatsWBS_verif(&wbs), QOV_SUCCESS);
    wbs.ui8ActiveROI = 2;
    EXPECT_EQ(CI_StatsWBS_verif(&wbs), QOV_ERROR_FAILURE);

    CI_MODULE_EXS exs{};
    exs.ui16Width = 7;
    exs.ui16Height = 7;
    EXPECT_EQ(CI_StatsEXS_verif(&exs), QOV_SUCCESS);
    exs.ui16Height = 6;
    EXPECT_EQ(CI_StatsEXS_verif(&exs), QOV_ERROR_FAILURE);
    exs.ui16Height = 7;
    exs.ui16Width = 6;
    EXPECT_EQ(CI_StatsEXS_verif(&exs), QOV_ERROR_FAILURE);

    CI_MODULE_HIS his{};
    his.ui16Width = 10;
    his.ui16Height = 8;
    EXPECT_EQ(CI_StatsHIS_verif(&his), QOV_SUCCESS);
    his.ui16Width = 9;
    EXPECT_EQ(CI_StatsHIS_verif(&his), QOV_ERROR_FAILURE);
    his.ui16Width = 10;
    his.ui16Height = 7;
    EXPECT_EQ(CI_StatsHIS_verif(&his), QOV_ERROR_FAILURE);

    CI_MODULE_IIF iif{};
    iif.ui16ImagerSize[0] = 99; // 100 CFA cells
    iif.ui16ImagerSize[1] = 49;
    CI_MODULE_AWS aws{};
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_SUCCESS); // disabled
    aws.bEnable = QOV_TRUE;
    aws.ui16GridTileWidth = 7;
    aws.ui16GridTileHeight = 7;
    aws.ui16GridStartColumn = 200;
    aws.ui16GridStartRow = 100;
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_SUCCESS);
    aws.ui16GridStartColumn = 201;
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_ERROR_FAILURE);
    aws.ui16GridStartColumn = 200;
    aws.ui16GridStartRow = 101;
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_ERROR_FAILURE);
    aws.ui16GridStartRow = 100;
    aws.ui16GridTileWidth = 6;
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_ERROR_FAILURE);
    aws.ui16GridTileWidth = 7;
    aws.ui16GridTileHeight = 6;
    EXPECT_EQ(CI_StatsAWS_verif(&aws, &iif), QOV_ERROR_FAILURE);

    CI_MODULE_ENS ens{};
    EXPECT_EQ(CI_StatsENS_verif(&ens), QOV_SUCCESS);
}

TEST_F(McChecks, WhiteBalanceMode)
{
    CI_MODULE_WBC wbc{};
    wbc.eRGBThresholdMode = WBC_THRESHOLD;
    EXPECT_EQ(CI_ModuleWBC_verif(&wbc), QOV_SUCCESS);
    wbc.eRGBThresholdMode = static_cast<WBC_MODES>(2);
    EXPECT_EQ(CI_ModuleWBC_verif(&wbc), QOV_ERROR_NOT_SUPPORTED);
    wbc.eRGBThresholdMode = static_cast<WBC_MODES>(-1);
    EXPECT_EQ(CI_ModuleWBC_verif(&wbc), QOV_ERROR_NOT_SUPPORTED);
}

TEST_F(McChecks, LensShadingMatrix)
{
    CI_MODULE_IIF iif{};
    iif.ui16ImagerSize[0] = 63; // 64 x 48 CFA cells
    iif.ui16ImagerSize[1] = 47;
    CI_MODULE_LSH_MAT mat{};
    mat.ui8BitsPerDiff = 6;
    mat.ui8TileSizeLog2 = 3; // 8
    mat.ui16Width = 9;
    mat.ui16Height = 7;
    hw.ui32MaxLineStore = 1999;
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_ERROR_NOT_SUPPORTED);
    hw.ui32MaxLineStore = 2000;
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_SUCCESS);

    mat.ui8TileSizeLog2 = 4; // 16: any line store
    mat.ui16Width = 5;
    mat.ui16Height = 4;
    hw.ui32MaxLineStore = 1999;
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_SUCCESS);
    mat.ui16Height = 2; // 2 x 16 = 32 does not cover row 47
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_ERROR_NOT_SUPPORTED);
    mat.ui16Height = 4;
    mat.ui16SkipX = 16;
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_ERROR_NOT_SUPPORTED);
    mat.ui16SkipX = 15;
    mat.ui8BitsPerDiff = 11;
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_ERROR_NOT_SUPPORTED);
    mat.ui8BitsPerDiff = 4;
    mat.ui8TileSizeLog2 = 200; // no shift overflow
    EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &hw), QOV_SUCCESS);
    EXPECT_EQ(CI_ModuleLSH_verif(nullptr, &iif, &hw), QOV_ERROR_INVALID_ARGUMENT);
}

// One field at a time moved to either side of its limit, from a matrix of
// 16-CFA tiles that covers a 64 x 64 imager exactly.
TEST_F(McChecks, LensShadingMatrixLimits)
{
    struct Case {
        const char *what;
        void (*change)(CI_MODULE_LSH_MAT &, CI_MODULE_IIF &, CI_HWINFO &);
        QOV_RESULT result;
    };
    const Case cases[] = {
        {"as is", [](CI_MODULE_LSH_MAT &, CI_MODULE_IIF &, CI_HWINFO &) {}, QOV_SUCCESS},
        {"3 bits", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui8BitsPerDiff = 3; },
         QOV_ERROR_NOT_SUPPORTED},
        {"4 bits", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui8BitsPerDiff = 4; }, QOV_SUCCESS},
        {"10 bits", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui8BitsPerDiff = 10; }, QOV_SUCCESS},
        {"11 bits", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui8BitsPerDiff = 11; },
         QOV_ERROR_NOT_SUPPORTED},
        {"skip x 15", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16SkipX = 15; }, QOV_SUCCESS},
        {"skip x 16", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16SkipX = 16; },
         QOV_ERROR_NOT_SUPPORTED},
        {"skip y 15", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16SkipY = 15; }, QOV_SUCCESS},
        {"skip y 16", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16SkipY = 16; },
         QOV_ERROR_NOT_SUPPORTED},
        {"imager 65 wide", [](CI_MODULE_LSH_MAT &, CI_MODULE_IIF &i, CI_HWINFO &) { i.ui16ImagerSize[0] = 64; },
         QOV_ERROR_NOT_SUPPORTED},
        {"imager 65 high", [](CI_MODULE_LSH_MAT &, CI_MODULE_IIF &i, CI_HWINFO &) { i.ui16ImagerSize[1] = 64; },
         QOV_ERROR_NOT_SUPPORTED},
        {"3 tiles across", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16Width = 3; },
         QOV_ERROR_NOT_SUPPORTED},
        {"3 tiles down", [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &) { m.ui16Height = 3; },
         QOV_ERROR_NOT_SUPPORTED},
        {"8-CFA tiles, line store 1999",
         [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &h) {
             m.ui8TileSizeLog2 = 3;
             m.ui16Width = m.ui16Height = 8;
             h.ui32MaxLineStore = 1999;
         },
         QOV_ERROR_NOT_SUPPORTED},
        {"8-CFA tiles, line store 2000",
         [](CI_MODULE_LSH_MAT &m, CI_MODULE_IIF &, CI_HWINFO &h) {
             m.ui8TileSizeLog2 = 3;
             m.ui16Width = m.ui16Height = 8;
             h.ui32MaxLineStore = 2000;
         },
         QOV_SUCCESS},
        {"16-CFA tiles, line store 1999",
         [](CI_MODULE_LSH_MAT &, CI_MODULE_IIF &, CI_HWINFO &h) { h.ui32MaxLineStore = 1999; }, QOV_SUCCESS},
    };
    for (const Case &c : cases) {
        CI_MODULE_LSH_MAT mat{};
        mat.ui8BitsPerDiff = 6;
        mat.ui8TileSizeLog2 = 4;
        mat.ui16Width = 4;
        mat.ui16Height = 4;
        CI_MODULE_IIF iif{};
        iif.ui16ImagerSize[0] = 63;
        iif.ui16ImagerSize[1] = 63;
        CI_HWINFO info = hw;
        c.change(mat, iif, info);
        EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, &info), c.result) << c.what;
        if (c.result == QOV_SUCCESS) {
            EXPECT_EQ(CI_ModuleLSH_verif(&mat, nullptr, &info), QOV_ERROR_INVALID_ARGUMENT) << c.what;
            EXPECT_EQ(CI_ModuleLSH_verif(&mat, &iif, nullptr), QOV_ERROR_INVALID_ARGUMENT) << c.what;
        }
    }
}

TEST_F(McChecks, DefectivePixels)
{
    const struct {
        QOV_UINT8 enable;
        QOV_RESULT result;
    } cases[] = {{2, QOV_ERROR_FAILURE}, {3, QOV_SUCCESS}, {6, QOV_ERROR_FAILURE}, {5, QOV_SUCCESS}, {0, QOV_SUCCESS}};
    for (const auto &c : cases) {
        CI_MODULE_DPF dpf{};
        dpf.eDPFEnable = c.enable;
        EXPECT_EQ(CI_ModuleDPF_verif(&dpf, &hw), c.result) << int(c.enable);
    }

    CI_MODULE_DPF dpf{};
    dpf.sInput.ui32NDefect = 3;
    EXPECT_EQ(CI_ModuleDPF_verif(&dpf, &hw), QOV_ERROR_INVALID_ARGUMENT);
    QOV_UINT16 map[6] = {};
    dpf.sInput.apDefectInput = map;
    dpf.sInput.ui16InternalBufSize = 2048;
    EXPECT_EQ(CI_ModuleDPF_verif(&dpf, &hw), QOV_SUCCESS);
    dpf.sInput.ui16InternalBufSize = 2049;
    EXPECT_EQ(CI_ModuleDPF_verif(&dpf, &hw), QOV_ERROR_NOT_SUPPORTED);
}

TEST_F(McChecks, MissingRecordsAreRefused)
{
    const CI_MODULE_IIF iif{};
    const QOV_RESULT results[] = {
        CI_ModuleIIF_verif(&iif, 0, nullptr),     CI_ModuleWBC_verif(nullptr), CI_ModuleTNM_verif(nullptr),
        CI_ModuleDPF_verif(nullptr, &hw),         CI_StatsEXS_verif(nullptr),  CI_StatsFLD_verif(nullptr),
        CI_StatsWBS_verif(nullptr),               CI_StatsHIS_verif(nullptr),  CI_StatsAWS_verif(nullptr, &iif),
        CI_ModuleLSH_verif(nullptr, &iif, &hw),
    };
    for (size_t i = 0; i < sizeof(results) / sizeof(results[0]); ++i)
        EXPECT_EQ(results[i], QOV_ERROR_INVALID_ARGUMENT) << "check " << i;
    CI_MODULE_DPF dpf{};
    CI_MODULE_AWS aws{};
    EXPECT_EQ(CI_ModuleDPF_verif(&dpf, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_StatsAWS_verif(&aws, nullptr), QOV_ERROR_INVALID_ARGUMENT);
}

} // namespace
