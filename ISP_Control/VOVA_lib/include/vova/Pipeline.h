// One capture context as the control core sees it: the registry of setup
// modules (owned, keyed and walked by SetupID), the floating-point
// configuration they write (MC_PIPELINE), its register-ready form handed to
// the driver (CI_PIPELINE), and the capture operations: shots and buffers,
// start and stop, trigger, acquire and release.
#ifndef VOVA_PIPELINE_H
#define VOVA_PIPELINE_H

#include <map>

#include "ci/ci_api.h"
#include "mc/mc_structs.h"
#include "qov_types.h"
#include "vova/Module.h"
#include "vova/ParameterList.h"
#include "vova/Shot.h"

namespace VOVA {

class Sensor;
class ModuleOUT;

enum CtxStatus {
    VOVA_Ctx_UNINIT = 0,
    VOVA_Ctx_INIT = 1,   ///< created, nothing sent to the driver
    VOVA_Ctx_SETUP = 2,  ///< configuration registered with the driver
    VOVA_Ctx_READY = 3,  ///< shots or buffers exist: a capture can start
    VOVA_Ctx_ERROR = 4,  ///< final
};

/** Image geometry and sensor figures for the modules, shots and the saving code. */
struct Global_Setup {
    QOV_UINT32 CFA_WIDTH = 2;
    QOV_UINT32 CFA_HEIGHT = 2;
    QOV_UINT32 ui32Sensor_width = 0;
    QOV_UINT32 ui32Sensor_height = 0;
    QOV_UINT32 ui32Sensor_bitdepth = 0;
    QOV_UINT32 ui32Sensor_imager = 0;
    double fSensor_gain = 0.0;
    QOV_UINT32 ui32Sensor_well_depth = 0;
    MOSAICType eSensor_bayer_format = MOSAIC_NONE;
    double fSensor_read_noise = 0.0;
    HDR_MODES eSensorHDRMode = HDR_NONE;
    QOV_BOOL8 bSensorLongExpFirst = QOV_FALSE;
    QOV_UINT32 ui32SensorLineGap = 0;
    QOV_UINT32 ui32ImageWidth = 0;   ///< 2 x the imager-interface size
    QOV_UINT32 ui32ImageHeight = 0;
    QOV_UINT32 ui32BlackBorder = 0;
    QOV_UINT32 ui32EncWidth = 0xFFFFFFFF;  ///< all ones until computed
    QOV_UINT32 ui32EncHeight = 0xFFFFFFFF;
    QOV_UINT32 ui32DispWidth = 0xFFFFFFFF;
    QOV_UINT32 ui32DispHeight = 0xFFFFFFFF;
    QOV_UINT32 ui32SystemBlack = 64;
};

class Pipeline {
public:
    typedef std::map<SetupID, SetupModule *> ModuleRegistry;

    /** Usable only when the status ends at VOVA_Ctx_INIT. */
    Pipeline(CI_CONNECTION *pCIConnection, unsigned int ctxNumber, Sensor *sensor);
    ~Pipeline();
    Pipeline(const Pipeline &) = delete;
    Pipeline &operator=(const Pipeline &) = delete;

    // --- module registry ---

    /**
     * Takes ownership and stores the module under its id. Another module
     * already under that id is deleted; the same object registered again
     * stays in place.
     */
    QOV_RESULT registerModule(SetupModule *module);
    void clearModules();
    SetupModule *getModule(SetupID id);
    const SetupModule *getModule(SetupID id) const;
    ModuleRegistry::const_iterator getModulesStart() const { return moduleRegistry.begin(); }
    ModuleRegistry::const_iterator getModulesEnd() const { return moduleRegistry.end(); }

    // --- accessors ---

    CI_CONNECTION *getConnection() const { return pCIConnection; }
    MC_PIPELINE *getMCPipeline() { return pMCPipeline; }
    const MC_PIPELINE *getMCPipeline() const { return pMCPipeline; }
    CI_PIPELINE *getCIPipeline() { return pCIPipeline; }
    const CI_PIPELINE *getCIPipeline() const { return pCIPipeline; }
    Sensor *getSensor() { return sensor; }
    const Sensor *getSensor() const { return sensor; }
    void setSensor(Sensor *s) { sensor = s; }
    bool tilingEnabled() const { return bEnableTiling; }
    void setTilingEnabled(bool enable) { bEnableTiling = enable; }
    /** The largest outputs the context provides for; a size above 65535 is refused. */
    QOV_RESULT setDisplayDimensions(QOV_UINT32 width, QOV_UINT32 height);
    QOV_RESULT setEncoderDimensions(QOV_UINT32 width, QOV_UINT32 height);
    QOV_UINT32 getMaxDisplayWidth() const { return ui32MaxDisplayWidth; }
    QOV_UINT32 getMaxDisplayHeight() const { return ui32MaxDisplayHeight; }
    QOV_UINT32 getMaxEncoderWidth() const { return ui32MaxEncoderWidth; }
    QOV_UINT32 getMaxEncoderHeight() const { return ui32MaxEncoderHeight; }
    CtxStatus getStatus() const { return ctxStatus; }
    QOV_INT8 getContextNumber() const { return ui8ContextNumber; }
    /** Update groups converted but not yet accepted by the driver. */
    int getPendingUpdates() const { return pendingUpdateMask; }
    /** The registered output-format module, null when none. */
    const ModuleOUT *getOutputModule() const;

    // --- loading, saving and setting up modules ---

    QOV_RESULT reloadAll(const ParameterList &parameters);
    QOV_RESULT reloadAllModules(const ParameterList &parameters);
    QOV_RESULT reloadModule(SetupID id, const ParameterList &parameters);
    QOV_RESULT reloadAllGlobals(const ParameterList &parameters);
    QOV_RESULT saveAll(ParameterList &parameters, ModuleBase::SaveType t) const;
    QOV_RESULT saveModule(SetupID id, ParameterList &parameters, ModuleBase::SaveType t) const;
    QOV_RESULT setupModule(SetupID id);
    QOV_RESULT setupAllGlobals();
    QOV_RESULT setupAllModules();
    /** The output module, the imager interface, then every other module in id order. */
    QOV_RESULT setupAll();
    QOV_RESULT setupByPriority(modulePriority priority);
    QOV_RESULT setupPending();
    /** Sets up every module with an update request and clears its flags. */
    QOV_RESULT setupRequested();

    // --- configuration and capture ---

    QOV_RESULT verifyConfiguration() const;
    /**
     * Converts the changed records and sends them: the first time as the
     * registration, later as an update. While the capture runs the
     * lens-shading, defect-input and white-balance-tile registers are held
     * back; whatever the driver has not accepted stays pending and goes with
     * the next update.
     */
    QOV_RESULT programPipeline(bool bUpdateASAP);
    QOV_RESULT addShots(unsigned int num);
    QOV_RESULT deleteShots();
    QOV_RESULT allocateBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ui32Size, bool isTiled, QOV_UINT32 *pBufferId);
    QOV_RESULT importBuffer(CI_BUFFTYPE eBuffer, QOV_UINT32 ionFd, QOV_UINT32 ui32Size, bool isTiled,
                            QOV_UINT32 *pBufferId);
    QOV_RESULT deregisterBuffer(QOV_UINT32 uiBufferID);
    QOV_RESULT startCapture();
    QOV_RESULT stopCapture();
    QOV_RESULT programShot();
    QOV_RESULT programSpecifiedShot(const CI_BUFFID &buffId);
    QOV_RESULT getFirstAvailableBuffers(CI_BUFFID &buffId);
    QOV_RESULT getAvailableHDRInsertion(CI_BUFFER &HDRInsertion, QOV_UINT32 id);
    QOV_RESULT acquireShot(Shot &shot, bool block);
    QOV_RESULT processShot(Shot &shot, CI_SHOT *pCIBuffer);
    /** Hands the shot back and empties it, so that it cannot be released twice. */
    QOV_RESULT releaseShot(Shot &shot);
    Global_Setup getGlobalSetup(QOV_RESULT *ret = nullptr) const;

    /** Whether the capture runs; a failed driver query is returned as its code. */
    QOV_RESULT isStarted(bool &started) const;

private:
    bool inError(const char *function, unsigned line) const;
    /** Sets up the modules `select` picks, in id order; `clear` clears their flags after. */
    QOV_RESULT setupWalk(bool (*select)(const SetupModule &, int), int arg, bool clear);
    QOV_RESULT reload(const ParameterList &parameters, bool withGlobals);
    /** READY and capturing; otherwise the refusal is logged and returned. */
    QOV_RESULT readyToTrigger() const;
    static bool isGlobal(SetupID id);

    ModuleRegistry moduleRegistry;
    Sensor *sensor = nullptr;
    CI_CONNECTION *pCIConnection = nullptr;
    CI_PIPELINE *pCIPipeline = nullptr;
    MC_PIPELINE *pMCPipeline = nullptr;
    QOV_UINT32 ui32MaxDisplayWidth = 0;
    QOV_UINT32 ui32MaxDisplayHeight = 0;
    QOV_UINT32 ui32MaxEncoderWidth = 0;
    QOV_UINT32 ui32MaxEncoderHeight = 0;
    bool bEnableTiling = false;
    QOV_INT8 ui8ContextNumber = 0;
    CtxStatus ctxStatus = VOVA_Ctx_ERROR;
    int pendingUpdateMask = 0;

    static const SetupID globalModulesID[2];
};

}  // namespace VOVA

#endif  // VOVA_PIPELINE_H
