// Pipeline contexts: defaults, verification, registration and updates, line
// store placement, start and stop, queries and destruction, against the
// simulated driver.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "test_ci_support.h"

namespace {

using citest::CiFixture;
using citest::LogCapture;
using citest::loggedError;
using simboard::IspProfile;

class Pipeline : public CiFixture {};

PIXELTYPE rgb(pxlFormat format)
{
    PIXELTYPE type{};
    EXPECT_EQ(PixelTransformRGB(&type, format), QOV_SUCCESS);
    return type;
}

PIXELTYPE bayer(pxlFormat format)
{
    PIXELTYPE type{};
    EXPECT_EQ(PixelTransformBayer(&type, format, MOSAIC_RGGB), QOV_SUCCESS);
    return type;
}

PIXELTYPE yuv(pxlFormat format)
{
    PIXELTYPE type{};
    EXPECT_EQ(PixelTransformYUV(&type, format), QOV_SUCCESS);
    return type;
}

TEST_F(Pipeline, CreationDefaults)
{
    connect();
    CI_PIPELINE *pPipeline = nullptr;
    ASSERT_EQ(CI_PipelineCreate(&pPipeline, connection), QOV_SUCCESS);
    const CI_PIPELINE &p = *pPipeline;
    EXPECT_EQ(p.config.ui8Context, 2);           // one past the last context
    EXPECT_EQ(p.sImagerInterface.ui8Imager, 4);  // one past the last imager
    EXPECT_EQ(p.config.eDataExtraction, CI_INOUT_NONE);
    EXPECT_EQ(p.config.eOutputConfig, 0u);
    EXPECT_EQ(p.config.ui16SysBlackLevel, 64);
    EXPECT_EQ(p.sBlackCorrection.ui16PixelMax, 255);  // the largest U6.2 register value
    EXPECT_EQ(p.sDenoiser.bCombineChannels, 1);
    EXPECT_EQ(p.sRGBToYCC.eType, RGB_TO_YCC);
    EXPECT_EQ(p.sYCCToRGB.eType, YCC_TO_RGB);
    EXPECT_EQ(p.sSharpening.bDenoiseBypass, 1);
    EXPECT_EQ(p.sEncoderScaler.bIsDisplay, 0);
    EXPECT_EQ(p.sEncoderScaler.bBypassScaler, 1);
    EXPECT_EQ(p.sDisplayScaler.bIsDisplay, 1);
    EXPECT_EQ(p.sDisplayScaler.bBypassScaler, 1);
    EXPECT_EQ(p.sDefectivePixels.sInput.apDefectInput, nullptr);
    EXPECT_EQ(p.config.eEncType.eFmt, PXL_NONE);

    LogCapture log;
    EXPECT_EQ(CI_PipelineCreate(&pPipeline, connection), QOV_ERROR_IN_USE);
    EXPECT_EQ(CI_PipelineCreate(nullptr, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineCreate", "pipeline alread allocated"));
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineCreate", "ppPipeline or pConnection is NULL"));
}

// One rule of the verification per case, on a pipeline that passes otherwise.
TEST_F(Pipeline, VerificationRules)
{
    using Edit = std::function<void(CI_PIPELINE &)>;
    struct Case {
        const char *name;
        IspProfile (*profile)();
        Edit edit;
        QOV_RESULT expected;
        const char *message;  // null: the rule logs nothing
    } cases[] = {
        {"valid", IspProfile::standard, [](CI_PIPELINE &) {}, QOV_SUCCESS, nullptr},
        {"context left at its default", IspProfile::standard, [](CI_PIPELINE &p) { p.config.ui8Context = 2; },
         QOV_ERROR_NOT_SUPPORTED, "chosen context 2 is not supported (max 2)"},
        {"HDR extraction without the hardware", IspProfile::noFunctionalities,
         [](CI_PIPELINE &p) { p.config.eHDRExtType = rgb(BGR_101010_32); }, QOV_ERROR_NOT_SUPPORTED,
         "The HDR Extraction point is not supported by HW version 2.7"},
        {"RAW 2D without the hardware", IspProfile::noFunctionalities,
         [](CI_PIPELINE &p) { p.config.eRaw2DExtraction = bayer(BAYER_TIFF_10); }, QOV_ERROR_NOT_SUPPORTED, nullptr},
        {"tiling without the hardware", IspProfile::noFunctionalities,
         [](CI_PIPELINE &p) { p.config.bSupportTiling = 1; }, QOV_ERROR_NOT_SUPPORTED,
         "Tiling support is not possible with HW version 2.7"},
        {"16-bit display", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eDispType = rgb(BGR_161616_64); }, QOV_ERROR_NOT_SUPPORTED,
         "The RGB format BI_BGR64 cannot be used for display output"},
        {"TIFF display", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eDispType = bayer(BAYER_TIFF_12);
             p.config.eDataExtraction = CI_INOUT_BLACK_LEVEL;
         },
         QOV_ERROR_NOT_SUPPORTED,
         "The Bayer TIFF format TIFF12 can only be used for Raw 2D Extraction - please use other format e.g. RGGB10"},
        {"HDR extraction format", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eHDRExtType = rgb(BGR_888_32); }, QOV_ERROR_NOT_SUPPORTED,
         "The HDR Extraction format can only be BI_BGR32-10bit for this version of the HW (found BI_BGR32)"},
        {"HDR insertion format", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eHDRInsType = rgb(BGR_101010_32); }, QOV_ERROR_NOT_SUPPORTED,
         "The HDR Insertion format can only be BI_BGR64 for this version of the HW (found BI_BGR32-10bit)"},
        {"RAW 2D format", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eRaw2DExtraction = bayer(BAYER_RGGB_10); }, QOV_ERROR_NOT_SUPPORTED,
         "The Raw2D output format RGGB10 is not supported - it needsto be a TIFF format"},
        {"imager interface", IspProfile::standard,
         [](CI_PIPELINE &p) { p.sImagerInterface.ui16BuffThreshold = 8192; }, QOV_ERROR_FAILURE,
         "The Imager Interface values are not correct!"},
        {"white balance", IspProfile::standard,
         [](CI_PIPELINE &p) { p.sWhiteBalance.eRGBThresholdMode = static_cast<WBC_MODES>(2); },
         QOV_ERROR_NOT_SUPPORTED, "The WBC configuration is not correct!"},
        {"defective pixels", IspProfile::standard,
         [](CI_PIPELINE &p) { p.sDefectivePixels.eDPFEnable = CI_DPF_WRITE_MAP_ENABLED; }, QOV_ERROR_FAILURE,
         "The defective pixel setup is not correct!"},
        {"tone mapping", IspProfile::standard, [](CI_PIPELINE &p) { p.sToneMapping.bBypassTNM = 0; },
         QOV_ERROR_FAILURE, "The Tone Mapping configuration is not correct"},
        {"422 scaler for a 420 encoder", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eEncType = yuv(YUV_420_PL12_8);
             p.sEncoderScaler.bOutput422 = 1;
         },
         QOV_ERROR_FAILURE,
         "The encoder scaler is configured to output 422 while pipeline output is configured for 420"},
        {"encoder scaler taps", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.sEncoderScaler.bBypassScaler = 0;
             p.sEncoderScaler.aOutputSize[1] = 31;
             p.sEncoderScaler.HLuma[0] = -128;
         },
         QOV_ERROR_FAILURE, "The encoder scaler values are not correct!"},
        {"display scaler taps", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.sDisplayScaler.bBypassScaler = 0;
             p.sDisplayScaler.VLuma[0] = -128;
         },
         QOV_ERROR_FAILURE, "The display scaler values are not correct!"},
        {"exposure statistics", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eOutputConfig = CI_SAVE_EXS_REGION; }, QOV_ERROR_FAILURE,
         "Exposure statistics configuration is not correct!"},
        {"exposure grid unchecked without region statistics", IspProfile::standard,
         [](CI_PIPELINE &p) { p.config.eOutputConfig = CI_SAVE_EXS_GLOBAL; }, QOV_SUCCESS, nullptr},
        {"white-balance statistics", IspProfile::standard,
         [](CI_PIPELINE &p) { p.stats.sWhiteBalanceStats.ui8ActiveROI = 2; }, QOV_ERROR_FAILURE,
         "White Balance statistics configuration is not correct!"},
        {"white-balance tiles", IspProfile::standard,
         [](CI_PIPELINE &p) { p.stats.sAutoWhiteBalanceStats.bEnable = 1; }, QOV_ERROR_FAILURE,
         "Auto White Balance statistics configuration is not correct!"},
        {"histograms", IspProfile::standard, [](CI_PIPELINE &p) { p.config.eOutputConfig = CI_SAVE_HIST_REGION; },
         QOV_ERROR_FAILURE, "Histogram statistics configuration is not correct!"},
        {"flicker", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eOutputConfig = CI_SAVE_FLICKER;
             p.stats.sFlickerStats.ui8MinPN = 8;
             p.stats.sFlickerStats.ui8PN = 4;
         },
         QOV_ERROR_FAILURE, "The flicker detection values are not correct!"},
        {"encoder larger than its buffers", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eEncType = yuv(YUV_420_PL12_8);
             p.sEncoderScaler.aOutputSize[0] = 31;  // 64 pixels
             p.sEncoderScaler.aOutputSize[1] = 31;
             p.config.ui16MaxEncOutWidth = 62;
             p.config.ui16MaxEncOutHeight = 32;
         },
         QOV_ERROR_FAILURE, "Encoder output size is too big for allocated buffers"},
        {"encoder fits its buffers exactly", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eEncType = yuv(YUV_420_PL12_8);
             p.sEncoderScaler.aOutputSize[0] = 31;
             p.sEncoderScaler.aOutputSize[1] = 31;
             p.config.ui16MaxEncOutWidth = 64;
             p.config.ui16MaxEncOutHeight = 32;
         },
         QOV_SUCCESS, nullptr},
        {"display taller than its buffers", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eDispType = rgb(RGB_888_32);
             p.sDisplayScaler.aOutputSize[0] = 31;
             p.sDisplayScaler.aOutputSize[1] = 31;
             p.config.ui16MaxDispOutWidth = 64;
             p.config.ui16MaxDispOutHeight = 31;
         },
         QOV_ERROR_FAILURE, "Display output size is too big for allocated buffers"},
        {"16-bit extraction is not a display", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eDispType = rgb(BGR_161616_64);
             p.config.eDataExtraction = CI_INOUT_BLACK_LEVEL;
             p.config.ui16MaxDispOutWidth = 64;
             p.config.ui16MaxDispOutHeight = 32;
         },
         QOV_SUCCESS, nullptr},
        {"data extraction without a size", IspProfile::standard,
         [](CI_PIPELINE &p) {
             p.config.eDispType = bayer(BAYER_RGGB_10);
             p.config.eDataExtraction = CI_INOUT_FILTER_LINESTORE;
             p.config.ui16MaxDispOutWidth = 64;
         },
         QOV_ERROR_FAILURE, "Data Extraction is enabled but display output size is 0"},
        {"context beyond the hardware", IspProfile::oneContext, [](CI_PIPELINE &p) { p.config.ui8Context = 1; },
         QOV_ERROR_NOT_SUPPORTED, "maximum number of context is 1 (using 1)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        driver->setProfile(c.profile());
        CI_CONNECTION *pConnection = nullptr;
        ASSERT_EQ(CI_DriverInit(&pConnection), QOV_SUCCESS);
        connection = pConnection;
        CI_PIPELINE *pPipeline = newPipeline();
        ASSERT_NE(pPipeline, nullptr);
        c.edit(*pPipeline);
        {
            LogCapture log;
            EXPECT_EQ(CI_PipelineVerify(pPipeline), c.expected);
            if (c.message) {
                EXPECT_TRUE(loggedError(log.text(), "CI_PipelineVerify", c.message)) << log.text();
            } else if (c.expected != QOV_SUCCESS) {
                EXPECT_EQ(log.text().find("CI_PipelineVerify"), std::string::npos) << log.text();
            }
        }
        EXPECT_EQ(CI_DriverFinalise(pConnection), QOV_SUCCESS);
        connection = nullptr;
    }
}

TEST_F(Pipeline, RegistrationLoadsTheWholeConfigurationOnce)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    const int id = intOf(pPipeline)->ui32Identifier;
    ASSERT_GT(id, 0);
    auto view = driver->pipeline(id);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->updates, 1u);
    EXPECT_EQ(view->receivedGroups, 0x7Fu);
    EXPECT_EQ(driver->requestCount(CI_CONFIG_UPDATE), 1u);

    LogCapture log;
    EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineRegister", "already registered!"));
    EXPECT_EQ(driver->requestCount(CI_PIPELINE_REGISTER), 1u);
}

TEST_F(Pipeline, DefaultRecordsFitTheirRegisters)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    LogCapture log;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(log.text().find("does not fit"), std::string::npos) << log.text();
}

// The registration hands the driver every record it keeps, as the caller set it.
TEST_F(Pipeline, RegistrationCarriesEveryRecordTheDriverKeeps)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    pPipeline->config.ui8PrivateValue = 0x5C;
    pPipeline->sImagerInterface.ui8BlackBorderOffset = 6;
    pPipeline->stats.sEncStats.ui8Log2NCouples = 3;
    pPipeline->stats.sEncStats.ui8SubExp = 2;
    pPipeline->sDeshading.aGradientsX[1] = 0x123;
    pPipeline->sDeshading.aGradientsY[3] = 0x456;
    pPipeline->sDefectivePixels.ui8Threshold = 9;
    pPipeline->stats.sAutoWhiteBalanceStats.sCurveCoeffs.aCurveBoundary[4] = -77;
    pPipeline->sHDR.ui32LineGap = 17;
    pPipeline->sHDR.aBlackLevel[1] = 33;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    auto view = driver->pipeline(intOf(pPipeline)->ui32Identifier);
    ASSERT_TRUE(view);
    const CI_PIPE_INFO &info = view->info;
    EXPECT_EQ(info.config.ui8PrivateValue, 0x5C);
    EXPECT_EQ(info.config.ui8Context, pPipeline->config.ui8Context);
    EXPECT_EQ(info.iifConfig.ui8BlackBorderOffset, 6);
    EXPECT_EQ(info.iifConfig.ui16ImagerSize[0], pPipeline->sImagerInterface.ui16ImagerSize[0]);
    EXPECT_EQ(info.ensConfig.ui8Log2NCouples, 3);
    EXPECT_EQ(info.ensConfig.ui8SubExp, 2);
    EXPECT_EQ(info.lshConfig.aGradientsX[1], 0x123);
    EXPECT_EQ(info.lshConfig.aGradientsY[3], 0x456);
    EXPECT_EQ(info.dpfConfig.ui8Threshold, 9);
    EXPECT_EQ(info.sAWSCurveCoeffs.aCurveBoundary[4], -77);
    EXPECT_EQ(info.hdrConfig.ui32LineGap, 17u);
    EXPECT_EQ(info.hdrConfig.aBlackLevel[1], 33);
}

TEST_F(Pipeline, RegistrationAnswers)
{
    struct Case {
        const char *name;
        long answer;
        QOV_RESULT expected;
        const char *message;
    } cases[] = {
        {"id 0", 0, QOV_ERROR_FAILURE, "Failed to register the configuration (returned 0 - 0 is invalid ID)"},
        {"refused", -EINVAL, QOV_ERROR_INVALID_ARGUMENT,
         "Failed to register the configuration (returned -22 - 0 is invalid ID)"},
    };
    connect();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        CI_PIPELINE *pPipeline = newPipeline();
        driver->planFault(CI_PIPELINE_REGISTER, c.answer);
        {
            LogCapture log;
            EXPECT_EQ(CI_PipelineRegister(pPipeline), c.expected);
            EXPECT_TRUE(loggedError(log.text(), "CI_PipelineRegister", c.message)) << log.text();
            EXPECT_EQ(intOf(pPipeline)->ui32Identifier, 0);
            EXPECT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_ERROR_NOT_INITIALISED);
        }
        EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
    }
}

// A refused first update undoes the registration: the driver never got the
// configuration, so the pipeline must not look registered.
TEST_F(Pipeline, FailedFirstUpdateUndoesTheRegistration)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    driver->planFault(CI_CONFIG_UPDATE, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineRegister", "Failed to do the 1st update!"));
        EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineUpdate", "Failed to update the capture (ret -22)"));
    }
    EXPECT_EQ(intOf(pPipeline)->ui32Identifier, 0);
    EXPECT_TRUE(driver->pipelineIds().empty());

    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    auto view = driver->pipeline(intOf(pPipeline)->ui32Identifier);
    ASSERT_TRUE(view);
    EXPECT_EQ(view->receivedGroups, 0x7Fu);
}

// A configuration that fails verification never reaches the driver.
TEST_F(Pipeline, RegistrationOfAWrongConfigurationSendsNothing)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    pPipeline->config.ui8Context = 2; // the standard hardware has 2 contexts
    driver->clearRequests();
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineRegister", "Configuration is not correct!")) << log.text();
    }
    EXPECT_EQ(intOf(pPipeline)->ui32Identifier, 0);
    EXPECT_TRUE(driver->requests().empty());
    pPipeline->config.ui8Context = 1;
    EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
}

TEST_F(Pipeline, LoadStructureRefusedByTheHardwareVersion)
{
    connect(IspProfile::version(3, 0));
    CI_PIPELINE *pPipeline = newPipeline();
    LogCapture log;
    EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineUpdate", "failed to write the load structure!"));
    EXPECT_EQ(driver->requestCount(CI_CONFIG_UPDATE), 0u);
    EXPECT_TRUE(driver->pipelineIds().empty());
}

TEST_F(Pipeline, UpdateSendsTheMaskAndReportsFailedGroups)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    int failure = 99;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineUpdate(pPipeline, CI_UPD_ALL, &failure), QOV_ERROR_NOT_INITIALISED);
        EXPECT_EQ(failure, 0);
        EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineUpdate", "The capture is not registered"));
    }
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);

    driver->clearRequests();
    ASSERT_EQ(CI_PipelineUpdateASAP(pPipeline, CI_UPD_GRP_3, &failure), QOV_SUCCESS);
    ASSERT_EQ(driver->requests().size(), 1u);
    const std::vector<uint8_t> &record = driver->requests().back().record;
    ASSERT_EQ(record.size(), sizeof(CI_PIPE_PARAM));
    CI_PIPE_PARAM sent;
    memcpy(&sent, record.data(), sizeof(sent));
    EXPECT_EQ(sent.eUpdateMask, CI_UPD_GRP_3);
    EXPECT_EQ(sent.bUpdateASAP, 1);
    EXPECT_EQ(sent.identifier, intOf(pPipeline)->ui32Identifier);
    EXPECT_EQ(sent.loadstructure, intOf(pPipeline)->pLoadStructure);
    EXPECT_EQ(sent.info.config.ui8Context, 0);

    // While capturing, the driver refuses the lens-shading registers and
    // names them in the mask it writes back.
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineUpdate(pPipeline, CI_UPD_LSH, &failure), QOV_ERROR_IN_USE);
    EXPECT_EQ(failure, CI_UPD_LSH_REG);

    // A configuration that no longer verifies is not sent.
    driver->clearRequests();
    pPipeline->sToneMapping.bBypassTNM = 0;
    LogCapture log;
    EXPECT_EQ(CI_PipelineUpdate(pPipeline, CI_UPD_TNM, nullptr), QOV_ERROR_FAILURE);
    EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineUpdate", "failed to verify the capture"));
    EXPECT_EQ(driver->requestCount(CI_CONFIG_UPDATE), 0u);
}

TEST_F(Pipeline, LinestorePlacement)
{
    connect();
    // Context 1 captures 1920 pixels at [0, 1920); context 0 needs 1920 too.
    CI_PIPELINE *pRunning = newPipeline(1920, 32, 1);
    CI_PIPELINE *pPipeline = newPipeline(1920, 32, 0);
    ASSERT_EQ(CI_PipelineRegister(pRunning), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    CI_LINESTORE linestore{};
    linestore.aStart[0] = 1920;
    linestore.aStart[1] = 0;
    ASSERT_EQ(CI_DriverSetLinestore(connection, &linestore), QOV_SUCCESS);
    ASSERT_EQ(connection->sLinestoreStatus.aSize[1], 1920u);
    ASSERT_EQ(CI_PipelineStartCapture(pRunning), QOV_SUCCESS);

    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(connection->sLinestoreStatus.aStart[0], 1920);
    EXPECT_EQ(connection->sLinestoreStatus.aStart[1], 0);
    EXPECT_EQ(driver->linestore().aStart[0], 1920);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    LogCapture log;
    EXPECT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineComputeLinestore", "cannot change linestore of started pipeline!"));
}

// A context running behind the first free pixels leaves the gap before it.
TEST_F(Pipeline, LinestorePlacementInTheGapBeforeARunningContext)
{
    connect();
    CI_PIPELINE *pRunning = newPipeline(64, 32, 1);
    CI_PIPELINE *pPipeline = newPipeline(2048, 32, 0);
    ASSERT_EQ(CI_PipelineRegister(pRunning), QOV_SUCCESS);
    CI_LINESTORE linestore{};
    linestore.aStart[0] = -1;
    linestore.aStart[1] = 2048; // [2048, 6144): its single-context width
    ASSERT_EQ(CI_DriverSetLinestore(connection, &linestore), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pRunning), QOV_SUCCESS);

    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(driver->linestore().aStart[0], 0);
    EXPECT_EQ(driver->linestore().aStart[1], 2048);
    EXPECT_EQ(connection->sLinestoreStatus.aSize[0], 2048u);
}

// Each reason the placement is refused: the result, the message, and no
// line store sent.
TEST_F(Pipeline, LinestorePlacementRefusals)
{
    IspProfile profile = IspProfile::standard();
    profile.info.context_aMaxWidthMult[1] = 2000;
    connect(profile);
    CI_PIPELINE *pOther = newPipeline(64, 32, 1);
    CI_PIPELINE *pSame = newPipeline(64, 32, 0);
    CI_PIPELINE *pPipeline = newPipeline(64, 32, 0);
    ASSERT_EQ(CI_PipelineRegister(pOther), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineRegister(pSame), QOV_SUCCESS);
    struct Case {
        const char *name;
        std::function<void()> arrange;
        QOV_RESULT expected;
        std::string message;
    } cases[] = {
        {"no such context", [&] { pPipeline->config.ui8Context = 2; }, QOV_ERROR_NOT_SUPPORTED,
         "chosen context 2 is not supported (max 2)"},
        {"line store not read", [&] { driver->planFault(CI_LINESTORE_GET, -ETIME); }, QOV_ERROR_TIMEOUT,
         "Failed to access the driver to get current linestore!"},
        {"line store not taken", [&] { driver->planFault(CI_LINESTORE_SET, -EINVAL); }, QOV_ERROR_INVALID_ARGUMENT,
         "computed linestore refused"},
        {"other context wider than it may be beside another", [&] {
             CI_LINESTORE linestore{};
             linestore.aStart[0] = -1;
             linestore.aStart[1] = 0; // 4096 pixels, above its 2000
             ASSERT_EQ(CI_DriverSetLinestore(connection, &linestore), QOV_SUCCESS);
             ASSERT_EQ(CI_PipelineStartCapture(pOther), QOV_SUCCESS);
         },
         QOV_ERROR_NOT_SUPPORTED,
         "Context 1 is running using more than its multi-context size - cannot reserve linestore for context ctx 0"},
        {"own context running", [&] {
             ASSERT_EQ(CI_PipelineStopCapture(pOther), QOV_SUCCESS);
             CI_LINESTORE linestore{};
             linestore.aStart[0] = 0;
             linestore.aStart[1] = -1;
             ASSERT_EQ(CI_DriverSetLinestore(connection, &linestore), QOV_SUCCESS);
             ASSERT_EQ(CI_PipelineStartCapture(pSame), QOV_SUCCESS);
         },
         QOV_ERROR_NOT_SUPPORTED, "context is already active: no point to compute a linestore for it (will not start)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        pPipeline->config.ui8Context = 0;
        c.arrange();
        const CI_LINESTORE before = driver->linestore();
        driver->clearRequests();
        QOV_RESULT result;
        std::string text;
        {
            LogCapture log;
            result = CI_PipelineComputeLinestore(pPipeline);
            text = log.text();
        }
        EXPECT_EQ(result, c.expected);
        EXPECT_TRUE(loggedError(text, "CI_PipelineComputeLinestore", c.message)) << text;
        EXPECT_EQ(driver->linestore().aStart[0], before.aStart[0]);
        EXPECT_EQ(driver->linestore().aStart[1], before.aStart[1]);
    }
}

TEST_F(Pipeline, LinestoreTooNarrow)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline(4098, 32, 1);  // context 1 is 4096 wide alone
    LogCapture log;
    EXPECT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineComputeLinestore",
                            "cannot fit ctx 1 into linestore (need 4098, biggest gap found is 4096)"))
        << log.text();
    EXPECT_EQ(driver->requestCount(CI_LINESTORE_SET), 0u);
}

TEST_F(Pipeline, StartAndStop)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineStartCapture(pPipeline), QOV_ERROR_NOT_INITIALISED);
        EXPECT_EQ(CI_PipelineStopCapture(pPipeline), QOV_ERROR_NOT_SUPPORTED);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineStartCapture", "the pipeline is not registered!"));
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineStopCapture", "pipeline capture is not started"));
        EXPECT_EQ(driver->requestCount(CI_CAPTURE_STOP), 0u);
    }
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineIsStarted(pPipeline), QOV_TRUE);
    EXPECT_TRUE(driver->pipeline(intOf(pPipeline)->ui32Identifier)->started);
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineIsStarted(pPipeline), QOV_FALSE);
}

// A non-negative driver answer to start or stop is a success, never a code.
TEST_F(Pipeline, PositiveStartAndStopAnswersAreSuccess)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CAPTURE_START, 5);
    EXPECT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    EXPECT_TRUE(intOf(pPipeline)->bStarted);
    driver->planFault(CI_CAPTURE_STOP, 3);
    EXPECT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    EXPECT_FALSE(intOf(pPipeline)->bStarted);
}

TEST_F(Pipeline, IsStartedAnswersAFailedQueryAsItsCode)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CAPTURE_ISSTARTED, -EINVAL);
    LogCapture log;
    EXPECT_EQ(CI_PipelineIsStarted(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_FALSE(intOf(pPipeline)->bStarted);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineIsStarted", "Failed to verify if the capture was started"));
    EXPECT_EQ(CI_PipelineIsStarted(nullptr), QOV_FALSE);
}

TEST_F(Pipeline, QueriesOfAnUnregisteredPipeline)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    LogCapture log;
    EXPECT_EQ(CI_PipelineHasWaiting(pPipeline), -1);
    EXPECT_EQ(CI_PipelineHasBuffers(pPipeline), -1);
    EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), -1);
    EXPECT_EQ(CI_PipelineHasPending(pPipeline), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailableShots(pPipeline), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailableBuffers(pPipeline), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailable(pPipeline), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasWaiting(nullptr), -1);
    const std::string &text = log.text();
    EXPECT_TRUE(loggedError(text, "CI_PipelineHasWaiting", "pipeline is not registered"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineHasPending", "Capture is not registered"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineHasAvailableShots", "configuration is not registered"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineHasBuffers", "configuration is not registered"));
    EXPECT_TRUE(loggedError(text, "CI_PipelineHasWaiting", "pPipeline is NULL"));
    EXPECT_EQ(driver->requestCount(CI_CAPTURE_HASAVAILABLE), 0u);
}

TEST_F(Pipeline, QueriesOfARegisteredPipeline)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    {
        // answers of none are answers, not failures: nothing is logged
        LogCapture quiet;
        EXPECT_EQ(CI_PipelineHasAvailableShots(pPipeline), QOV_TRUE);
        EXPECT_EQ(CI_PipelineHasAvailableBuffers(pPipeline), QOV_TRUE);
        EXPECT_EQ(CI_PipelineHasAvailable(pPipeline), QOV_TRUE);
        EXPECT_EQ(CI_PipelineHasBuffers(pPipeline), 1);
        EXPECT_EQ(CI_PipelineHasLSHBuffers(pPipeline), 0);
        EXPECT_EQ(CI_PipelineHasPending(pPipeline), QOV_FALSE);
        EXPECT_EQ(CI_PipelineHasWaiting(pPipeline), 0);
        EXPECT_EQ(quiet.text(), "");
    }

    driver->planFault(CI_CAPTURE_HASAVAILABLE, -ETIME);
    driver->planFault(CI_CAPTURE_HASWAITING, -ETIME);
    LogCapture log;
    EXPECT_EQ(CI_PipelineHasAvailableShots(pPipeline), QOV_ERROR_TIMEOUT);
    EXPECT_EQ(CI_PipelineHasWaiting(pPipeline), -ETIME);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineHasAvailableShots",
                            "Failed to verify if the configuration has available shots (returned -62)"));
    EXPECT_TRUE(
        loggedError(log.text(), "CI_PipelineHasWaiting", "Failed to verify if the capture has waiting buffers"));
}

TEST_F(Pipeline, DestructionStopsFirstAndKeepsThePipelineWhenItCannot)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    const int id = intOf(pPipeline)->ui32Identifier;

    driver->planFault(CI_CAPTURE_STOP, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDestroy", "could not stop the capture before destruction"));
    }
    EXPECT_EQ(CI_PipelineHasBuffers(pPipeline), 1);  // still whole

    ASSERT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
    EXPECT_FALSE(driver->pipeline(id).has_value());
    EXPECT_EQ(driver->liveObjects().shots, 0u);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);
    EXPECT_EQ(driver->liveObjects().userMappings, 0u);
}

// Shots the driver will not clear do not stop the destruction.
TEST_F(Pipeline, DestructionGoesOnWhenTheShotsCannotBeCleared)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    const int id = intOf(pPipeline)->ui32Identifier;
    driver->planFault(CI_CONFIG_DELPOOL, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDestroy", "Failed to clear the shots")) << log.text();
    }
    EXPECT_FALSE(driver->pipeline(id).has_value());
    EXPECT_EQ(driver->liveObjects().userMappings, 0u);
}

TEST_F(Pipeline, DestructionReportsAFailedDeregistration)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_PIPELINE_DEREGISTER, -EINVAL);
    LogCapture log;
    EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDestroy", "Failed to deregister the configuration (returned -22)"));
    // The pipeline is gone on the library's side; the connection's close
    // releases what the driver kept.
}

}  // namespace
