// One capture context: the module registry and its walks, programming the
// converted configuration, shots, buffers and the capture.
#include "vova/Pipeline.h"

#include <cstdlib>

#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleOUT.h"
#include "vova/Sensor.h"

#define LOG_TAG "VOVA_PIPELINE"

namespace VOVA {

namespace {

// Update bits whose registers the driver takes only while the capture is stopped.
const int kStoppedOnlyUpdates = CI_UPD_LSH_REG | CI_UPD_DPF_INPUT | CI_UPD_AWS_REG;

// A yes/no query of the driver answers 0 or 1, or the code of its failure.
QOV_RESULT driverAnswer(QOV_BOOL8 answer, bool &yes)
{
    if (answer != QOV_FALSE && answer != QOV_TRUE)
        return static_cast<QOV_RESULT>(answer);
    yes = answer == QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_UINT16 saturate16(QOV_UINT32 v) { return v > 0xFFFF ? 0xFFFF : static_cast<QOV_UINT16>(v); }

}  // namespace

const SetupID Pipeline::globalModulesID[2] = {STP_OUT, STP_IIF};

#define REFUSE_IN_ERROR()                       \
    do {                                        \
        if (inError(__func__, __LINE__))        \
            return QOV_ERROR_WRONG_STATE;       \
    } while (0)

bool Pipeline::inError(const char *function, unsigned line) const
{
    if (ctxStatus != VOVA_Ctx_ERROR)
        return false;
    LOG_Error(function, line, LOG_TAG, "Pipeline is in error state\n");
    return true;
}

Pipeline::Pipeline(CI_CONNECTION *connection, unsigned int ctxNumber, Sensor *pSensor)
{
    if (!connection) {
        LOG_ERROR("Invalid CI_CONNETION parameter.\n");
        return;
    }
    if (!pSensor) {
        LOG_ERROR("Invalid sensor parameter.\n");
        return;
    }
    pCIConnection = connection;
    sensor = pSensor;
    pMCPipeline = static_cast<MC_PIPELINE *>(calloc(1, sizeof(MC_PIPELINE)));
    if (!pMCPipeline) {
        LOG_ERROR("allocating MC pipeline failed.\n");
        return;
    }
    if (CI_PipelineCreate(&pCIPipeline, pCIConnection) != QOV_SUCCESS || !pCIPipeline) {
        pCIPipeline = nullptr;
        LOG_ERROR("allocating CI Pipeline.\n");
        return;
    }
    ui8ContextNumber = static_cast<QOV_INT8>(ctxNumber);
    pCIPipeline->config.ui8Context = static_cast<QOV_UINT8>(ctxNumber);
    pCIPipeline->sImagerInterface.ui8Imager = static_cast<QOV_UINT8>(sensor->uiImager);

    MC_IIFInit(&pMCPipeline->sIIF);
    pMCPipeline->sIIF.ui16ImagerSize[0] = static_cast<QOV_UINT16>(sensor->uiWidth / 2);
    pMCPipeline->sIIF.ui16ImagerSize[1] = static_cast<QOV_UINT16>(sensor->uiHeight / 2);
    ui32MaxDisplayWidth = ui32MaxEncoderWidth = sensor->uiWidth;
    ui32MaxDisplayHeight = ui32MaxEncoderHeight = sensor->uiHeight;
    MC_PipelineInit(pMCPipeline, &pCIConnection->sHWInfo);

    const unsigned contexts = pCIConnection->sHWInfo.config_ui8NContexts;
    if (ctxNumber < contexts) {
        bEnableTiling = false;
        ctxStatus = VOVA_Ctx_INIT;
    } else {
        LOG_ERROR("Invalid context number - max supported is %d\n", static_cast<int>(contexts) - 1);
    }
}

Pipeline::~Pipeline()
{
    clearModules();
    if (pCIPipeline)
        CI_PipelineDestroy(pCIPipeline);
    if (pMCPipeline) {
        MC_DPFFree(&pMCPipeline->sDPF);
        free(pMCPipeline);
    }
}

/*-------------------------------------------------------------------------
 * Module registry
 *-------------------------------------------------------------------------*/

QOV_RESULT Pipeline::registerModule(SetupModule *module)
{
    if (!module) {
        LOG_ERROR("Given module is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const SetupID id = module->getModuleID();
    auto it = moduleRegistry.find(id);
    if (it != moduleRegistry.end()) {
        if (it->second == module)
            return QOV_SUCCESS;  // already held: nothing to replace
        LOG_WARNING("Module with id = %d was previously registered\n", id);
        delete it->second;
    }
    module->setPipeline(this);
    moduleRegistry[id] = module;
    return QOV_SUCCESS;
}

void Pipeline::clearModules()
{
    for (auto &entry : moduleRegistry)
        delete entry.second;
    moduleRegistry.clear();
}

SetupModule *Pipeline::getModule(SetupID id)
{
    auto it = moduleRegistry.find(id);
    return it == moduleRegistry.end() ? nullptr : it->second;
}

const SetupModule *Pipeline::getModule(SetupID id) const
{
    auto it = moduleRegistry.find(id);
    return it == moduleRegistry.end() ? nullptr : it->second;
}

const ModuleOUT *Pipeline::getOutputModule() const { return static_cast<const ModuleOUT *>(getModule(STP_OUT)); }

QOV_RESULT Pipeline::setDisplayDimensions(QOV_UINT32 width, QOV_UINT32 height)
{
    if (width > 0xFFFF || height > 0xFFFF) {
        LOG_ERROR("Display size %ux%u is larger than the hardware can describe (65535)\n", width, height);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    ui32MaxDisplayWidth = width;
    ui32MaxDisplayHeight = height;
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::setEncoderDimensions(QOV_UINT32 width, QOV_UINT32 height)
{
    if (width > 0xFFFF || height > 0xFFFF) {
        LOG_ERROR("Encoder size %ux%u is larger than the hardware can describe (65535)\n", width, height);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    ui32MaxEncoderWidth = width;
    ui32MaxEncoderHeight = height;
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Loading, saving and setting up modules
 *-------------------------------------------------------------------------*/

QOV_RESULT Pipeline::reloadAll(const ParameterList &parameters) { return reload(parameters, true); }

QOV_RESULT Pipeline::reloadAllModules(const ParameterList &parameters) { return reload(parameters, false); }

bool Pipeline::isGlobal(SetupID id) { return id == globalModulesID[0] || id == globalModulesID[1]; }

QOV_RESULT Pipeline::reload(const ParameterList &parameters, bool withGlobals)
{
    REFUSE_IN_ERROR();
    for (auto &entry : moduleRegistry) {
        if (!withGlobals && isGlobal(entry.first))
            continue;
        QOV_RESULT ret = entry.second->load(parameters);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to load module: %d\n", entry.first);
            return ret;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::reloadModule(SetupID id, const ParameterList &parameters)
{
    REFUSE_IN_ERROR();
    SetupModule *module = getModule(id);
    if (!module) {
        LOG_ERROR("Module not found: id=%d\n", id);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = module->load(parameters);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to load module id=%d\n", id);
    return ret;
}

QOV_RESULT Pipeline::reloadAllGlobals(const ParameterList &parameters)
{
    REFUSE_IN_ERROR();
    for (int i = 0; i < 2; i++) {
        QOV_RESULT ret = reloadModule(globalModulesID[i], parameters);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to reload global module %d=module%d\n", i, globalModulesID[i]);
            return ret;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::saveAll(ParameterList &parameters, ModuleBase::SaveType t) const
{
    for (const auto &entry : moduleRegistry) {
        QOV_RESULT ret = entry.second->save(parameters, t);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to save module: %d=%s\n", entry.first, ModuleBase::setupIDName(entry.first));
            return ret;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::saveModule(SetupID id, ParameterList &parameters, ModuleBase::SaveType t) const
{
    const SetupModule *module = getModule(id);
    if (!module) {
        LOG_ERROR("Module not found: id=%d\n", id);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = module->save(parameters, t);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to save module: %d\n", id);
    return ret;
}

QOV_RESULT Pipeline::setupModule(SetupID id)
{
    REFUSE_IN_ERROR();
    SetupModule *module = getModule(id);
    if (!module) {
        LOG_ERROR("Module not found: id=%d\n", id);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = module->setup();
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Error configuring module: %d\n", id);
    return ret;
}

QOV_RESULT Pipeline::setupAllGlobals()
{
    REFUSE_IN_ERROR();
    for (int i = 0; i < 2; i++) {
        QOV_RESULT ret = setupModule(globalModulesID[i]);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to setup global module %d=module%d\n", i, globalModulesID[i]);
            return ret;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::setupAllModules()
{
    REFUSE_IN_ERROR();
    for (auto &entry : moduleRegistry) {
        if (isGlobal(entry.first))
            continue;
        QOV_RESULT ret = entry.second->setup();
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Error configuring module: %d=%s\n", entry.first, ModuleBase::setupIDName(entry.first));
            return ret;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::setupAll()
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = setupAllGlobals();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to setup global modules\n");
        return ret;
    }
    ret = setupAllModules();
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to setup modules\n");
    return ret;
}

QOV_RESULT Pipeline::setupWalk(bool (*select)(const SetupModule &, int), int arg, bool clear)
{
    REFUSE_IN_ERROR();
    for (auto &entry : moduleRegistry) {
        SetupModule *module = entry.second;
        if (!select(*module, arg))
            continue;
        QOV_RESULT ret = module->setup();
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to configure module: %d\n", entry.first);
            return ret;
        }
        if (clear)
            module->clearFlags();
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::setupByPriority(modulePriority priority)
{
    return setupWalk([](const SetupModule &m, int p) { return static_cast<int>(m.getPriority()) <= p; },
                     static_cast<int>(priority), false);
}

QOV_RESULT Pipeline::setupPending()
{
    return setupWalk([](const SetupModule &m, int) { return !m.isSetup(); }, 0, false);
}

QOV_RESULT Pipeline::setupRequested()
{
    return setupWalk([](const SetupModule &m, int) { return m.isUpdateRequested(); }, 0, true);
}

/*-------------------------------------------------------------------------
 * Configuration
 *-------------------------------------------------------------------------*/

QOV_RESULT Pipeline::verifyConfiguration() const
{
    const ModuleOUT *out = getOutputModule();
    if (!out) {
        LOG_ERROR("Pipeline has no registered ModuleOUT!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const CI_HWINFO &hw = pCIConnection->sHWInfo;
    if (bEnableTiling && !(hw.eFunctionalities & CI_INFO_SUPPORTED_TILING)) {
        LOG_ERROR("The HW %d.%d does not support tiled output\n", hw.rev_ui8Major, hw.rev_ui8Minor);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (out->hdrExtractionType != PXL_NONE && !(hw.eFunctionalities & CI_INFO_SUPPORTED_HDR_EXT)) {
        LOG_ERROR("The HW %d.%d does not support HDR Extraction point\n", hw.rev_ui8Major, hw.rev_ui8Minor);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (out->raw2DExtractionType != PXL_NONE && !(hw.eFunctionalities & CI_INFO_SUPPORTED_RAW2D_EXT)) {
        LOG_ERROR("The HW %d.%d does not support RAW2D Extraction point\n", hw.rev_ui8Major, hw.rev_ui8Minor);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::isStarted(bool &started) const
{
    started = false;
    QOV_RESULT ret = driverAnswer(CI_PipelineIsStarted(pCIPipeline), started);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to ask the driver whether the capture runs (returned %d)\n", ret);
    return ret;
}

QOV_RESULT Pipeline::programPipeline(bool bUpdateASAP)
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = verifyConfiguration();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Configuration not supported\n");
        return ret;
    }
    int converted = 0;
    ret = MC_PipelineConvert(pMCPipeline, pCIPipeline, &converted);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to convert the pipeline (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    CI_PIPELINE_CONFIG &config = pCIPipeline->config;
    config.ui16MaxEncOutWidth = saturate16(ui32MaxEncoderWidth);
    config.ui16MaxEncOutHeight = saturate16(ui32MaxEncoderHeight);
    config.ui16MaxDispOutWidth = saturate16(ui32MaxDisplayWidth);
    config.ui16MaxDispOutHeight = saturate16(ui32MaxDisplayHeight);
    config.bSupportTiling =
        (bEnableTiling && (pCIConnection->sHWInfo.eFunctionalities & CI_INFO_SUPPORTED_TILING)) ? QOV_TRUE : QOV_FALSE;

    if (ctxStatus == VOVA_Ctx_SETUP || ctxStatus == VOVA_Ctx_READY) {
        // What earlier updates could not deliver goes with this one.
        int mask = converted | pendingUpdateMask;
        int held = 0;
        bool started = false;
        ret = isStarted(started);
        if (ret != QOV_SUCCESS) {
            pendingUpdateMask = mask;
            return QOV_ERROR_FAILURE;
        }
        if (started) {
            held = mask & kStoppedOnlyUpdates;
            mask &= ~kStoppedOnlyUpdates;
        }
        int failure = 0;
        ret = bUpdateASAP ? CI_PipelineUpdateASAP(pCIPipeline, mask, &failure)
                          : CI_PipelineUpdate(pCIPipeline, mask, &failure);
        if (ret != QOV_SUCCESS) {
            pendingUpdateMask = mask | held;
            LOG_ERROR("Failed to update the pipeline configuration for module %d (returned %d)\n", failure, ret);
            return QOV_ERROR_FAILURE;
        }
        pendingUpdateMask = held;
        return QOV_SUCCESS;
    }
    if (ctxStatus == VOVA_Ctx_INIT) {
        ret = CI_PipelineRegister(pCIPipeline);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("Failed to register the pipeline configuration (returned %d)\n", ret);
            return QOV_ERROR_FAILURE;
        }
        // The registration sends the whole configuration.
        pendingUpdateMask = 0;
        ctxStatus = VOVA_Ctx_SETUP;
    }
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Shots and buffers
 *-------------------------------------------------------------------------*/

QOV_RESULT Pipeline::addShots(unsigned int num)
{
    REFUSE_IN_ERROR();
    if (num == 0) {
        LOG_ERROR("At least one buffer must be requested.\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = CI_PipelineAddPool(pCIPipeline, num);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to add Shots to the pipeline (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    bool available = false;
    ret = driverAnswer(CI_PipelineHasAvailableShots(pCIPipeline), available);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to ask the driver for available shots (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    if (available)
        ctxStatus = VOVA_Ctx_READY;
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::deleteShots()
{
    REFUSE_IN_ERROR();
    bool started = false;
    if (isStarted(started) != QOV_SUCCESS)
        return QOV_ERROR_FAILURE;
    if (started) {
        LOG_ERROR("Pipeline is started - cannot delete shots\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (CI_PipelineHasPending(pCIPipeline)) {
        LOG_ERROR("Pipeline has pending Shots - cannot delete shots\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (CI_PipelineHasAcquired(pCIPipeline)) {
        LOG_ERROR("Pipeline has acquired Shots - cannot delete shots\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret = CI_PipelineDeleteShots(pCIPipeline);
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to delete Pipeline's shots\n");
    return ret;
}

QOV_RESULT Pipeline::allocateBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size, bool isTiled, QOV_UINT32 *pBufferId)
{
    REFUSE_IN_ERROR();
    if (ctxStatus != VOVA_Ctx_SETUP && ctxStatus != VOVA_Ctx_READY) {
        LOG_ERROR("Context is not set up. Unabel to allocate buffer\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret =
        CI_PipelineAllocateBuffer(pCIPipeline, eBuffer, ui32Size, isTiled ? QOV_TRUE : QOV_FALSE, pBufferId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to allocate buffer (ret=%d)\n", ret);
        ctxStatus = VOVA_Ctx_ERROR;
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::importBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ionFd, QOV_UINT32 ui32Size, bool isTiled,
                                  QOV_UINT32 *pBufferId)
{
    if (eBuffer == CI_TYPE_NONE || ionFd == 0) {
        LOG_ERROR("eBuffer is NONE or ionFD is 0\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    REFUSE_IN_ERROR();
    if (ctxStatus != VOVA_Ctx_SETUP && ctxStatus != VOVA_Ctx_READY) {
        LOG_ERROR("Context is not set up. Unable to import buffer\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret =
        CI_PipelineImportBuffer(pCIPipeline, eBuffer, ui32Size, isTiled ? QOV_TRUE : QOV_FALSE, ionFd, pBufferId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to import buffer (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    ctxStatus = VOVA_Ctx_READY;
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::deregisterBuffer(QOV_UINT32 uiBufferID)
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = CI_PipelineDeregisterBuffer(pCIPipeline, uiBufferID);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to deregister buffer %u (returned %d)\n", uiBufferID, ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

/*-------------------------------------------------------------------------
 * Capture
 *-------------------------------------------------------------------------*/

QOV_RESULT Pipeline::startCapture()
{
    REFUSE_IN_ERROR();
    if (ctxStatus != VOVA_Ctx_READY) {
        LOG_ERROR("Pipeline not ready for starting capture.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    bool started = false;
    if (isStarted(started) != QOV_SUCCESS)
        return QOV_ERROR_FAILURE;
    if (started) {
        LOG_WARNING("capture already started.\n");
        return QOV_SUCCESS;
    }
    QOV_RESULT ret = CI_PipelineComputeLinestore(pCIPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to compute the linestore before starting the capture (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    ret = CI_PipelineStartCapture(pCIPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to start capture (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::stopCapture()
{
    REFUSE_IN_ERROR();
    if (ctxStatus != VOVA_Ctx_READY) {
        LOG_ERROR("Pipeline not ready.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret = CI_PipelineStopCapture(pCIPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to stop the capture (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::readyToTrigger() const
{
    if (ctxStatus != VOVA_Ctx_READY) {
        LOG_ERROR("Pipeline not ready for programming a shot\n");
        return QOV_ERROR_WRONG_STATE;
    }
    bool started = false;
    if (isStarted(started) != QOV_SUCCESS)
        return QOV_ERROR_FAILURE;
    if (!started) {
        LOG_ERROR("Capture not started, unable to program shot.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::programShot()
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = readyToTrigger();
    if (ret != QOV_SUCCESS)
        return ret;
    ret = CI_PipelineTriggerShoot(pCIPipeline);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Could not capture a frame (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::programSpecifiedShot(const CI_BUFFID &buffId)
{
    QOV_RESULT ret = readyToTrigger();
    if (ret != QOV_SUCCESS)
        return ret;
    ret = CI_PipelineTriggerSpecifiedShoot(pCIPipeline, &buffId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Could not trigger specified shoot (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::getFirstAvailableBuffers(CI_BUFFID &buffId)
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = CI_PipelineFindFirstAvailable(pCIPipeline, &buffId);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to find first available buffer (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::getAvailableHDRInsertion(CI_BUFFER &HDRInsertion, QOV_UINT32 id)
{
    REFUSE_IN_ERROR();
    QOV_RESULT ret = CI_PipelineAcquireHDRBuffer(pCIPipeline, &HDRInsertion, id);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to find available HDR buffer (id=%d returned %d)\n", id, ret);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::acquireShot(Shot &shot, bool block)
{
    REFUSE_IN_ERROR();
    CI_SHOT *pCIBuffer = nullptr;
    QOV_RESULT ret;
    if (block) {
        ret = CI_PipelineAcquireShot(pCIPipeline, &pCIBuffer);
        if (ret != QOV_SUCCESS || !pCIBuffer) {
            LOG_ERROR("Failed to acquire buffer with blocking call (returned %d, pCIBuffer=0x%p)\n", ret,
                      static_cast<void *>(pCIBuffer));
            return QOV_ERROR_FAILURE;
        }
    } else {
        ret = CI_PipelineAcquireShotNB(pCIPipeline, &pCIBuffer);
        if (ret == QOV_ERROR_NOT_AVAILABLE)
            return ret;
        if (ret != QOV_SUCCESS || !pCIBuffer) {
            LOG_ERROR("Failed to acquire buffer with non-blocking call (returned %d, pCIBuffer=0x%p)\n", ret,
                      static_cast<void *>(pCIBuffer));
            return QOV_ERROR_FAILURE;
        }
    }
    ret = processShot(shot, pCIBuffer);
    if (ret != QOV_SUCCESS) {
        // The shot cannot be described: hand it straight back to the driver.
        CI_PipelineReleaseShot(pCIPipeline, pCIBuffer);
        shot.clear();
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::processShot(Shot &shot, CI_SHOT *pCIBuffer)
{
    shot.clear();
    const ModuleOUT *out = getOutputModule();
    if (!out) {
        LOG_ERROR("Pipeline has no registered ModuleOUT!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    const Global_Setup setup = getGlobalSetup(nullptr);
    shot.configure(pCIBuffer, *out, setup);
    return QOV_SUCCESS;
}

QOV_RESULT Pipeline::releaseShot(Shot &shot)
{
    if (!shot.pCIBuffer) {
        LOG_ERROR("The shot holds no acquired buffers\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = CI_PipelineReleaseShot(pCIPipeline, shot.pCIBuffer);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to release the buffer (returned %d)\n", ret);
        return QOV_ERROR_FAILURE;
    }
    // Every pointer of the shot went back with it.
    shot.clear();
    return QOV_SUCCESS;
}

Global_Setup Pipeline::getGlobalSetup(QOV_RESULT *ret) const
{
    Global_Setup g;
    QOV_RESULT result = QOV_SUCCESS;
    if (!sensor) {
        LOG_ERROR("Pipeline does not have a sensor!\n");
        if (ret)
            *ret = QOV_ERROR_WRONG_STATE;
        return g;
    }
    g.ui32Sensor_width = sensor->uiWidth;
    g.ui32Sensor_height = sensor->uiHeight;
    g.ui32Sensor_bitdepth = sensor->uiBitDepth;
    g.ui32Sensor_imager = sensor->uiImager;
    g.fSensor_gain = sensor->getGain();
    g.ui32Sensor_well_depth = sensor->uiWellDepth;
    g.eSensor_bayer_format = sensor->eBayerFormat;
    g.fSensor_read_noise = sensor->flReadNoise;
    g.eSensorHDRMode = sensor->eHDRMode;
    g.bSensorLongExpFirst = sensor->bLongExpFirst ? QOV_TRUE : QOV_FALSE;
    g.ui32SensorLineGap = sensor->ui32LineGap;
    g.ui32ImageWidth = sensor->uiWidth;
    g.ui32ImageHeight = sensor->uiHeight;
    if (ctxStatus == VOVA_Ctx_ERROR) {
        LOG_ERROR("Pipeline is in error state\n");
        if (ret)
            *ret = QOV_ERROR_WRONG_STATE;
        return g;
    }
    g.ui32ImageWidth = 2u * pMCPipeline->sIIF.ui16ImagerSize[0];
    g.ui32ImageHeight = 2u * pMCPipeline->sIIF.ui16ImagerSize[1];
    g.ui32EncWidth = pMCPipeline->sESC.aOutputSize[0];
    g.ui32EncHeight = pMCPipeline->sESC.aOutputSize[1];
    const ModuleOUT *out = getOutputModule();
    if (!out) {
        LOG_ERROR("Pipeline has no registered ModuleOUT!\n");
        if (ret)
            *ret = QOV_ERROR_WRONG_STATE;
        return g;
    }
    if (out->dataExtractionPoint == CI_INOUT_NONE || out->dataExtractionType == PXL_NONE) {
        g.ui32DispWidth = pMCPipeline->sDSC.aOutputSize[0];
        g.ui32DispHeight = pMCPipeline->sDSC.aOutputSize[1];
    } else {
        g.ui32DispWidth = g.ui32ImageWidth;
        g.ui32DispHeight = g.ui32ImageHeight;
    }
    const ModuleBLC *blc = static_cast<const ModuleBLC *>(getModule(STP_BLC));
    if (blc)
        g.ui32SystemBlack = blc->ui32SystemBlack;
    else
        LOG_WARNING("Pipeline has no registered ModuleBLC\n");
    if (ret)
        *ret = result;
    return g;
}

}  // namespace VOVA
