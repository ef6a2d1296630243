// Pipeline contexts: creation and destruction, verification against the
// hardware, registration and updates, line-store placement, starting and
// stopping the capture, and the state queries.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_driver_request.h"
#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_API"

namespace {

// Hardware contexts a pipeline can run in.
constexpr QOV_UINT8 kMaxContexts = 2;

void setDefaults(CI_PIPELINE *pPipeline, const CI_HWINFO &hw)
{
    // Context and imager start one past the last valid value, so that a
    // pipeline whose caller never chose them fails verification.
    pPipeline->config.ui8Context = hw.config_ui8NContexts;
    pPipeline->config.eDataExtraction = CI_INOUT_NONE;
    pPipeline->config.eOutputConfig = 0;
    pPipeline->config.ui16SysBlackLevel = 64;
    pPipeline->sImagerInterface.ui8Imager = hw.config_ui8NImagers;
    // The register is U6.2 in 8 bits: its largest value, which the full scale of
    // any bit depth saturates to when converted from the floating-point record.
    pPipeline->sBlackCorrection.ui16PixelMax = 255;
    pPipeline->sDenoiser.bCombineChannels = 1;
    pPipeline->sRGBToYCC.eType = RGB_TO_YCC;
    pPipeline->sSharpening.bDenoiseBypass = 1;
    pPipeline->sEncoderScaler.bIsDisplay = 0;
    pPipeline->sEncoderScaler.bBypassScaler = 1;
    pPipeline->sDisplayScaler.bIsDisplay = 1;
    pPipeline->sDisplayScaler.bBypassScaler = 1;
    pPipeline->sYCCToRGB.eType = YCC_TO_RGB;
}

QOV_RESULT QOV_CI_PipelineUpdate(CI_PIPELINE *pPipeline, int eUpdateMask, int *peFailure, QOV_BOOL8 bUpdateASAP)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (peFailure)
        *peFailure = 0;
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);

    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("The capture is not registered\n");
        return QOV_ERROR_NOT_INITIALISED;
    }

    QOV_RESULT ret = CI_PipelineVerify(pPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to verify the capture\n");
        return ret;
    }

    CI_PIPE_PARAM param{};
    QOV_CI_PipelineToInfo(pIntPipeline, &param.info);
    param.loadstructure = pIntPipeline->pLoadStructure;
    param.identifier = pIntPipeline->ui32Identifier;
    param.eUpdateMask = eUpdateMask;
    param.bUpdateASAP = bUpdateASAP;

    ret = INT_CI_Load_HW2(pPipeline, &pIntPipeline->pConnection->publicConnection.sHWInfo,
                          pIntPipeline->pLoadStructure, eUpdateMask);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to write the load structure!\n");
        return ret;
    }

    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CONFIG_UPDATE, &param);
    if (answer < 0) {
        LOG_ERROR("Failed to update the capture (ret %d)\n", answer);
        if (peFailure)
            *peFailure = param.eUpdateMask;
        return toQovResult(answer);
    }
    return QOV_SUCCESS;
}

// Frees what the pipeline owns locally: shots, buffers, matrices, the defect
// list and the load structure (the object itself is freed by the caller).
void freePipelineMemory(INT_PIPELINE *pIntPipeline)
{
    if (!INT_CI_PipelineFreeBuffers(pIntPipeline))
        LOG_Error("CI_PipelineDestroy", __LINE__, LOG_TAG, "Failed to clear the list of buffers\n");
    if (!INT_CI_PipelineFreeMatrices(pIntPipeline))
        LOG_Error("CI_PipelineDestroy", __LINE__, LOG_TAG, "Failed to clear the list of LSH matrix\n");
    free(pIntPipeline->publicPipeline.sDefectivePixels.sInput.apDefectInput);
    pIntPipeline->publicPipeline.sDefectivePixels.sInput.apDefectInput = nullptr;
    free(pIntPipeline->pLoadStructure);
    pIntPipeline->pLoadStructure = nullptr;
}

}  // namespace

void QOV_CI_PipelineToInfo(const INT_PIPELINE *pIntPipeline, CI_PIPE_INFO *pInfo)
{
    const CI_PIPELINE &pipeline = pIntPipeline->publicPipeline;
    pInfo->config = pipeline.config;
    pInfo->iifConfig = pipeline.sImagerInterface;
    pInfo->ensConfig = pipeline.stats.sEncStats;
    pInfo->lshConfig = pipeline.sDeshading;
    pInfo->dpfConfig = pipeline.sDefectivePixels;
    pInfo->sAWSCurveCoeffs = pipeline.stats.sAutoWhiteBalanceStats.sCurveCoeffs;
    pInfo->hdrConfig = pipeline.sHDR;
}

QOV_RESULT CI_PipelineCreate(CI_PIPELINE **ppPipeline, CI_CONNECTION *pConnection)
{
    if (!ppPipeline || !pConnection) {
        LOG_ERROR("ppPipeline or pConnection is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (*ppPipeline) {
        LOG_ERROR("pipeline alread allocated\n");
        return QOV_ERROR_IN_USE;
    }

    INT_PIPELINE *pIntPipeline = static_cast<INT_PIPELINE *>(calloc(1, sizeof(INT_PIPELINE)));
    if (!pIntPipeline) {
        LOG_ERROR("failed to allocate internal configuration object (%lu B)\n",
                  static_cast<unsigned long>(sizeof(INT_PIPELINE)));
        return QOV_ERROR_NO_MEMORY;
    }
    const QOV_UINT32 loadSize = INT_CI_SizeLS_HW2();
    pIntPipeline->pLoadStructure = static_cast<char *>(calloc(1, loadSize));
    if (!pIntPipeline->pLoadStructure) {
        LOG_ERROR("failed to allocate internal load structure object (%u B)\n", loadSize);
        free(pIntPipeline);
        return QOV_ERROR_NO_MEMORY;
    }

    setDefaults(&pIntPipeline->publicPipeline, pConnection->sHWInfo);

    QOV_RESULT ret = List_init(&pIntPipeline->sList_shots);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to create the shot list\n");
    if (ret == QOV_SUCCESS) {
        ret = List_init(&pIntPipeline->sList_buffers);
        if (ret != QOV_SUCCESS)
            LOG_ERROR("failed to create the buffer list\n");
    }
    if (ret == QOV_SUCCESS) {
        ret = List_init(&pIntPipeline->sList_lshmat);
        if (ret != QOV_SUCCESS)
            LOG_ERROR("failed to create the LSH matrix list\n");
    }
    if (ret != QOV_SUCCESS) {
        free(pIntPipeline->pLoadStructure);
        free(pIntPipeline);
        *ppPipeline = nullptr;
        return ret;
    }

    INT_CONNECTION *pIntConnection = INT_CI_Connection(pConnection);
    pIntPipeline->sCell.object = pIntPipeline;
    List_pushBack(&pIntConnection->sList_pipelines, &pIntPipeline->sCell);
    pIntPipeline->pConnection = pIntConnection;
    *ppPipeline = &pIntPipeline->publicPipeline;
    return QOV_SUCCESS;
}

QOV_RESULT INT_CI_PipelineDestroy(INT_PIPELINE *pIntPipeline, QOV_BOOL8 bForce)
{
    QOV_RESULT result = QOV_SUCCESS;
    CI_PIPELINE *pPipeline = &pIntPipeline->publicPipeline;

    if (pIntPipeline->pConnection) {
        if (isRegistered(pIntPipeline) && pIntPipeline->bStarted) {
            QOV_RESULT ret = CI_PipelineStopCapture(pPipeline);
            if (ret != QOV_SUCCESS) {
                LOG_Error("CI_PipelineDestroy", __LINE__, LOG_TAG, "could not stop the capture before destruction\n");
                if (!bForce)
                    return ret;
                pIntPipeline->bStarted = QOV_FALSE;
            }
        }
        List_detach(&pIntPipeline->sCell);
    }

    if (pIntPipeline->pConnection && isRegistered(pIntPipeline)) {
        QOV_RESULT ret = CI_PipelineDeleteShots(pPipeline);
        if (ret != QOV_SUCCESS)
            LOG_Error("CI_PipelineDestroy", __LINE__, LOG_TAG, "Failed to clear the shots\n");
    }
    // Whatever the pool deletion left (acquired shots, a refused request)
    // dies with the pipeline.
    INT_CI_PipelineFreeShots(pIntPipeline);

    freePipelineMemory(pIntPipeline);

    if (pIntPipeline->pConnection && isRegistered(pIntPipeline)) {
        int answer = CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_DEREGISTER,
                                           pIntPipeline->ui32Identifier);
        if (answer < 0) {
            LOG_Error("CI_PipelineDestroy", __LINE__, LOG_TAG, "Failed to deregister the configuration (returned %d)\n",
                      answer);
            result = toQovResult(answer);
        }
    }

    free(pIntPipeline);
    return result;
}

QOV_RESULT CI_PipelineDestroy(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return INT_CI_PipelineDestroy(INT_CI_Pipeline(pPipeline), QOV_FALSE);
}

QOV_RESULT CI_PipelineVerify(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!pIntPipeline->pConnection) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const CI_HWINFO &hw = pIntPipeline->pConnection->publicConnection.sHWInfo;
    const CI_PIPELINE_CONFIG &config = pPipeline->config;
    QOV_RESULT ret;

    if (config.ui8Context >= kMaxContexts) {
        LOG_ERROR("chosen context %d is not supported (max %d)\n", config.ui8Context, kMaxContexts);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eHDRExtType.eFmt != PXL_NONE && !(hw.eFunctionalities & CI_INFO_SUPPORTED_HDR_EXT)) {
        LOG_ERROR("The HDR Extraction point is not supported by HW version %d.%d\n", hw.rev_ui8Major,
                  hw.rev_ui8Minor);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eRaw2DExtraction.eFmt != PXL_NONE && !(hw.eFunctionalities & CI_INFO_SUPPORTED_RAW2D_EXT))
        return QOV_ERROR_NOT_SUPPORTED;
    if (config.bSupportTiling && !(hw.eFunctionalities & CI_INFO_SUPPORTED_TILING)) {
        LOG_ERROR("Tiling support is not possible with HW version %d.%d\n", hw.rev_ui8Major, hw.rev_ui8Minor);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eDataExtraction == CI_INOUT_NONE && config.eDispType.ui8BitDepth > 10) {
        LOG_ERROR("The RGB format %s cannot be used for display output\n", FormatString(config.eDispType.eFmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eDispType.eFmt == BAYER_TIFF_10 || config.eDispType.eFmt == BAYER_TIFF_12) {
        LOG_ERROR("The Bayer TIFF format %s can only be used for Raw 2D Extraction - please use other format "
                  "e.g. %s\n",
                  FormatString(config.eDispType.eFmt), "RGGB10");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eHDRExtType.eFmt != PXL_NONE && config.eHDRExtType.eFmt != BGR_101010_32) {
        LOG_ERROR("The HDR Extraction format can only be %s for this version of the HW (found %s)\n",
                  "BI_BGR32-10bit", FormatString(config.eHDRExtType.eFmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eHDRInsType.eFmt != PXL_NONE && config.eHDRInsType.eFmt != BGR_161616_64) {
        LOG_ERROR("The HDR Insertion format can only be %s for this version of the HW (found %s)\n", "BI_BGR64",
                  FormatString(config.eHDRInsType.eFmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (config.eRaw2DExtraction.eFmt != PXL_NONE && config.eRaw2DExtraction.eFmt != BAYER_TIFF_10 &&
        config.eRaw2DExtraction.eFmt != BAYER_TIFF_12) {
        LOG_ERROR("The Raw2D output format %s is not supported - it needsto be a TIFF format\n",
                  FormatString(config.eRaw2DExtraction.eFmt));
        return QOV_ERROR_NOT_SUPPORTED;
    }

    ret = CI_ModuleIIF_verif(&pPipeline->sImagerInterface, config.ui8Context, &hw);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The Imager Interface values are not correct!\n");
        return ret;
    }
    if (pIntPipeline->pMatrix) {
        ret = CI_ModuleLSH_verif(&pIntPipeline->pMatrix->config, &pPipeline->sImagerInterface, &hw);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("The lens shading values are not correct!\n");
            return ret;
        }
    }
    ret = CI_ModuleWBC_verif(&pPipeline->sWhiteBalance);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The WBC configuration is not correct!\n");
        return ret;
    }
    ret = CI_ModuleDPF_verif(&pPipeline->sDefectivePixels, &hw);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The defective pixel setup is not correct!\n");
        return ret;
    }
    ret = CI_ModuleTNM_verif(&pPipeline->sToneMapping);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The Tone Mapping configuration is not correct\n");
        return ret;
    }
    if (config.eEncType.ui8VSubsampling == 2 && pPipeline->sEncoderScaler.bOutput422) {
        LOG_ERROR("The encoder scaler is configured to output 422 while pipeline output is configured for 420\n");
        return QOV_ERROR_FAILURE;
    }
    ret = CI_ModuleScaler_verif(&pPipeline->sEncoderScaler);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The encoder scaler values are not correct!\n");
        return ret;
    }
    ret = CI_ModuleScaler_verif(&pPipeline->sDisplayScaler);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("The display scaler values are not correct!\n");
        return ret;
    }

    const CI_PIPELINE_STATS &stats = pPipeline->stats;
    if (config.eOutputConfig & CI_SAVE_EXS_REGION) {
        ret = CI_StatsEXS_verif(&stats.sExposureStats);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Exposure statistics configuration is not correct!\n");
            return ret;
        }
    }
    ret = CI_StatsWBS_verif(&stats.sWhiteBalanceStats);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("White Balance statistics configuration is not correct!\n");
        return ret;
    }
    ret = CI_StatsAWS_verif(&stats.sAutoWhiteBalanceStats, &pPipeline->sImagerInterface);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Auto White Balance statistics configuration is not correct!\n");
        return ret;
    }
    if (config.eOutputConfig & (CI_SAVE_HIST_GLOBAL | CI_SAVE_HIST_REGION)) {
        ret = CI_StatsHIS_verif(&stats.sHistStats);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Histogram statistics configuration is not correct!\n");
            return ret;
        }
    }
    if (config.eOutputConfig & CI_SAVE_FLICKER) {
        ret = CI_StatsFLD_verif(&stats.sFlickerStats);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("The flicker detection values are not correct!\n");
            return ret;
        }
    }
    if (config.eOutputConfig & CI_SAVE_ENS) {
        ret = CI_StatsENS_verif(&stats.sEncStats);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("The Encoder Stats values are not correct!\n");
            return ret;
        }
    }

    // Scaler output sizes hold half the width minus 1 and the height minus 1.
    if (config.eEncType.eBuffer != TYPE_NONE) {
        const CI_MODULE_ESC &esc = pPipeline->sEncoderScaler;
        if (config.ui16MaxEncOutWidth < 2 * (esc.aOutputSize[0] + 1) ||
            config.ui16MaxEncOutHeight < esc.aOutputSize[1] + 1) {
            LOG_ERROR("Encoder output size is too big for allocated buffers\n");
            return QOV_ERROR_FAILURE;
        }
    }
    if (config.eDispType.eBuffer != TYPE_NONE && config.eDataExtraction == CI_INOUT_NONE) {
        const CI_MODULE_DSC &dsc = pPipeline->sDisplayScaler;
        if (config.ui16MaxDispOutWidth < 2 * (dsc.aOutputSize[0] + 1) ||
            config.ui16MaxDispOutHeight < dsc.aOutputSize[1] + 1) {
            LOG_ERROR("Display output size is too big for allocated buffers\n");
            return QOV_ERROR_FAILURE;
        }
    }
    if (config.eDataExtraction != CI_INOUT_NONE &&
        static_cast<QOV_UINT32>(config.ui16MaxDispOutWidth) * config.ui16MaxDispOutHeight == 0) {
        LOG_ERROR("Data Extraction is enabled but display output size is 0\n");
        return QOV_ERROR_FAILURE;
    }
    if (config.ui8Context >= hw.config_ui8NContexts) {
        LOG_ERROR("maximum number of context is %u (using %u)\n", hw.config_ui8NContexts, config.ui8Context);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineRegister(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (pIntPipeline->ui32Identifier != 0) {
        LOG_ERROR("already registered!\n");
        return QOV_ERROR_ALREADY_EXISTS;
    }

    QOV_RESULT ret = CI_PipelineVerify(pPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Configuration is not correct!\n");
        return ret;
    }

    CI_PIPE_INFO info{};
    QOV_CI_PipelineToInfo(pIntPipeline, &info);
    int answer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_REGISTER, &info);
    if (answer <= 0) {
        LOG_ERROR("Failed to register the configuration (returned %d - 0 is invalid ID)\n", answer);
        return answer < 0 ? toQovResult(answer) : QOV_ERROR_FAILURE;
    }
    pIntPipeline->ui32Identifier = answer;
    pIntPipeline->bSupportTiling = pPipeline->config.bSupportTiling ? QOV_TRUE : QOV_FALSE;

    // The first update carries everything the driver takes only from a full
    // update; a pipeline the driver never got it for is not registered.
    ret = CI_PipelineUpdate(pPipeline, CI_UPD_ALL, nullptr);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to do the 1st update!\n");
        answer = CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_PIPELINE_DEREGISTER,
                                       pIntPipeline->ui32Identifier);
        if (answer < 0)
            LOG_ERROR("Failed to deregister the configuration (returned %d)\n", answer);
        pIntPipeline->ui32Identifier = 0;
        pIntPipeline->bSupportTiling = QOV_FALSE;
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineUpdate(CI_PIPELINE *pPipeline, int eUpdateMask, int *peFailure)
{
    return QOV_CI_PipelineUpdate(pPipeline, eUpdateMask, peFailure, QOV_FALSE);
}

QOV_RESULT CI_PipelineUpdateASAP(CI_PIPELINE *pPipeline, int eUpdateMask, int *peFailure)
{
    return QOV_CI_PipelineUpdate(pPipeline, eUpdateMask, peFailure, QOV_TRUE);
}

QOV_RESULT CI_PipelineComputeLinestore(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (pIntPipeline->bStarted) {
        LOG_ERROR("cannot change linestore of started pipeline!\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!pIntPipeline->pConnection) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_CONNECTION *pConnection = &pIntPipeline->pConnection->publicConnection;
    const CI_HWINFO &hw = pConnection->sHWInfo;
    const int ctx = pPipeline->config.ui8Context;
    if (ctx >= kMaxContexts) {
        LOG_ERROR("chosen context %d is not supported (max %d)\n", ctx, kMaxContexts);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    QOV_RESULT ret = CI_DriverGetLinestore(pConnection);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to access the driver to get current linestore!\n");
        return ret;
    }
    CI_LINESTORE linestore = pConnection->sLinestoreStatus;

    if (linestore.aActive[ctx]) {
        LOG_ERROR("context is already active: no point to compute a linestore for it (will not start)\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    const QOV_INT64 needed = 2 * (static_cast<QOV_INT64>(pPipeline->sImagerInterface.ui16ImagerSize[0]) + 1);
    const QOV_INT64 maxLinestore = hw.ui32MaxLineStore;
    int running = -1;  // the other context when it is capturing
    for (int r = 0; r < kMaxContexts; r++) {
        if (r != ctx && linestore.aActive[r]) {
            if (linestore.aSize[r] > hw.context_aMaxWidthMult[r]) {
                LOG_ERROR("Context %d is running using more than its multi-context size - cannot reserve linestore "
                          "for context ctx %d\n",
                          r, ctx);
                return QOV_ERROR_NOT_SUPPORTED;
            }
            running = r;
        } else {
            linestore.aStart[r] = -1;
            linestore.aSize[r] = 0;
        }
    }

    QOV_INT64 gapStart = -1;
    QOV_INT64 biggestGap = 0;
    if (running < 0 || hw.config_ui8NContexts <= 1) {
        biggestGap = hw.context_aMaxWidthSingle[ctx];
        if (needed <= biggestGap)
            gapStart = 0;
    } else {
        const QOV_INT64 otherStart = std::max<QOV_INT64>(linestore.aStart[running], 0);
        const QOV_INT64 otherEnd = otherStart + linestore.aSize[running];
        const QOV_INT64 gapBefore = otherStart;
        const QOV_INT64 gapAfter = std::max<QOV_INT64>(maxLinestore - otherEnd, 0);
        if (needed <= gapBefore)
            gapStart = 0;
        else if (needed <= gapAfter)
            gapStart = otherEnd;
        biggestGap = std::max(gapBefore, gapAfter);
    }
    if (gapStart < 0) {
        LOG_ERROR("cannot fit ctx %d into linestore (need %d, biggest gap found is %d)\n", ctx,
                  static_cast<int>(needed), static_cast<int>(biggestGap));
        return QOV_ERROR_NOT_SUPPORTED;
    }

    linestore.aStart[ctx] = static_cast<QOV_INT32>(gapStart);
    ret = CI_DriverSetLinestore(pConnection, &linestore);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("computed linestore refused\n");
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineStartCapture(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("the pipeline is not registered!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    int answer = CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_START, pIntPipeline->ui32Identifier);
    if (answer < 0) {
        LOG_ERROR("Failed to start the capture\n");
        return toQovResult(answer);
    }
    pIntPipeline->bStarted = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT CI_PipelineStopCapture(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!pIntPipeline->bStarted) {
        LOG_ERROR("pipeline capture is not started\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    int answer = CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_STOP, pIntPipeline->ui32Identifier);
    if (answer < 0) {
        LOG_ERROR("Failed to stop the capture\n");
        return toQovResult(answer);
    }
    INT_CI_PipelineResetPendingBuffers(pIntPipeline);
    pIntPipeline->bStarted = QOV_FALSE;
    return QOV_SUCCESS;
}

QOV_BOOL8 CI_PipelineIsStarted(CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_FALSE;
    }
    INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    int answer =
        CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_ISSTARTED, pIntPipeline->ui32Identifier);
    if (answer < 0) {
        LOG_ERROR("Failed to verify if the capture was started\n");
        return static_cast<QOV_BOOL8>(toQovResult(answer));
    }
    const QOV_BOOL wasStarted = pIntPipeline->bStarted;
    pIntPipeline->bStarted = answer != 0 ? QOV_TRUE : QOV_FALSE;
    if (wasStarted && !pIntPipeline->bStarted)
        INT_CI_PipelineResetPendingBuffers(pIntPipeline);
    return static_cast<QOV_BOOL8>(pIntPipeline->bStarted);
}

QOV_BOOL8 CI_PipelineHasPending(const CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_FALSE;
    }
    const INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("Capture is not registered\n");
        return QOV_FALSE;
    }
    int answer =
        CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_HASPENDING, pIntPipeline->ui32Identifier);
    if (answer < 0) {
        LOG_ERROR("Failed to verify if the capture has pending buffers\n");
        return QOV_FALSE;
    }
    return answer > 0 ? QOV_TRUE : QOV_FALSE;
}

QOV_INT32 CI_PipelineHasWaiting(const CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return -1;
    }
    const INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("pipeline is not registered\n");
        return -1;
    }
    int answer =
        CI_DriverRequestValue(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_HASWAITING, pIntPipeline->ui32Identifier);
    if (answer < 0)
        LOG_ERROR("Failed to verify if the capture has waiting buffers\n");
    return answer;
}

namespace {

// Both availability counts; false (after its message) when the pipeline is
// null or unregistered, with *pAnswer 0.
bool queryAvailable(const char *function, const CI_PIPELINE *pPipeline, CI_HAS_AVAIL *pAvail, int *pAnswer)
{
    *pAnswer = 0;
    if (!pPipeline) {
        LOG_Error(function, __LINE__, LOG_TAG, "pPipeline is NULL\n");
        return false;
    }
    const INT_PIPELINE *pIntPipeline = INT_CI_Pipeline(pPipeline);
    if (!isRegistered(pIntPipeline)) {
        LOG_Error(function, __LINE__, LOG_TAG, "configuration is not registered\n");
        return false;
    }
    *pAvail = CI_HAS_AVAIL{};
    pAvail->captureId = pIntPipeline->ui32Identifier;
    *pAnswer = CI_DriverRequest(deviceOf(pIntPipeline), CI_IOCTL_CAPTURE_HASAVAILABLE, pAvail);
    return true;
}

}  // namespace

QOV_BOOL8 CI_PipelineHasAvailableShots(const CI_PIPELINE *pPipeline)
{
    CI_HAS_AVAIL avail{};
    int answer;
    if (!queryAvailable(__func__, pPipeline, &avail, &answer))
        return QOV_FALSE;
    if (answer < 0) {
        LOG_ERROR("Failed to verify if the configuration has available shots (returned %d)\n", answer);
        return static_cast<QOV_BOOL8>(toQovResult(answer));
    }
    return avail.uiShots > 0 ? QOV_TRUE : QOV_FALSE;
}

QOV_BOOL8 CI_PipelineHasAvailableBuffers(const CI_PIPELINE *pPipeline)
{
    CI_HAS_AVAIL avail{};
    int answer;
    if (!queryAvailable(__func__, pPipeline, &avail, &answer))
        return QOV_FALSE;
    if (answer < 0) {
        LOG_ERROR("Failed to verify if the configuration has available buffers (returned %d)\n", answer);
        return static_cast<QOV_BOOL8>(toQovResult(answer));
    }
    return avail.uiBuffers > 0 ? QOV_TRUE : QOV_FALSE;
}

QOV_BOOL8 CI_PipelineHasAvailable(const CI_PIPELINE *pPipeline)
{
    CI_HAS_AVAIL avail{};
    int answer;
    if (!queryAvailable(__func__, pPipeline, &avail, &answer))
        return QOV_FALSE;
    if (answer < 0) {
        LOG_ERROR("Failed to verify if the configuration has available buffers & shots (returned %d)\n", answer);
        return static_cast<QOV_BOOL8>(toQovResult(answer));
    }
    return (avail.uiShots > 0 && avail.uiBuffers > 0) ? QOV_TRUE : QOV_FALSE;
}

QOV_INT32 CI_PipelineHasBuffers(const CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return -1;
    }
    INT_PIPELINE *pIntPipeline = const_cast<INT_PIPELINE *>(INT_CI_Pipeline(pPipeline));
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return -1;
    }
    return static_cast<QOV_INT32>(List_nElem(&pIntPipeline->sList_buffers));
}

QOV_INT32 CI_PipelineHasLSHBuffers(const CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return -1;
    }
    INT_PIPELINE *pIntPipeline = const_cast<INT_PIPELINE *>(INT_CI_Pipeline(pPipeline));
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return -1;
    }
    return static_cast<QOV_INT32>(List_nElem(&pIntPipeline->sList_lshmat));
}

QOV_BOOL8 CI_PipelineHasAcquired(const CI_PIPELINE *pPipeline)
{
    if (!pPipeline) {
        LOG_ERROR("pPipeline is NULL\n");
        return QOV_FALSE;
    }
    INT_PIPELINE *pIntPipeline = const_cast<INT_PIPELINE *>(INT_CI_Pipeline(pPipeline));
    if (!isRegistered(pIntPipeline)) {
        LOG_ERROR("configuration is not registered\n");
        return QOV_FALSE;
    }
    for (sCell_T *pCell = List_getHead(&pIntPipeline->sList_shots); pCell; pCell = List_getNext(pCell)) {
        if (static_cast<const INT_SHOT *>(pCell->object)->bAcquired)
            return QOV_TRUE;
    }
    return QOV_FALSE;
}
