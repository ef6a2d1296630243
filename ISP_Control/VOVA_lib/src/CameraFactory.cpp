// The module and loop lists by hardware version, and the population of a
// camera's pipeline.
#include "vova/CameraFactory.h"

#include <vector>

#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ControlAE.h"
#include "vova/ControlAF.h"
#include "vova/ControlAWB_PID.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlDNS.h"
#include "vova/ControlLBC.h"
#include "vova/ControlLSH.h"
#include "vova/ControlTNM.h"
#include "vova/ModuleAWS.h"
#include "vova/ModuleBLC.h"
#include "vova/ModuleCCM.h"
#include "vova/ModuleDGM.h"
#include "vova/ModuleDNS.h"
#include "vova/ModuleDPF.h"
#include "vova/ModuleDSC.h"
#include "vova/ModuleENS.h"
#include "vova/ModuleESC.h"
#include "vova/ModuleEXS.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleGMA.h"
#include "vova/ModuleHDR.h"
#include "vova/ModuleHIS.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleLCA.h"
#include "vova/ModuleLSH.h"
#include "vova/ModuleMGM.h"
#include "vova/ModuleMIE.h"
#include "vova/ModuleOUT.h"
#include "vova/ModuleR2Y.h"
#include "vova/ModuleRLT.h"
#include "vova/ModuleSHA.h"
#include "vova/ModuleTNM.h"
#include "vova/ModuleVIB.h"
#include "vova/ModuleWBC.h"
#include "vova/ModuleWBS.h"
#include "vova/ModuleY2R.h"
#include "vova/PerfTime.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"

#define LOG_TAG "VOVA_CAM_FACTORY"

namespace VOVA {

namespace {

// Which hardware versions get a module or loop.
enum Versions { ALWAYS, MAJOR_2_UP, BEFORE_2_6, FROM_2_6 };

bool included(Versions v, unsigned major, unsigned minor)
{
    switch (v) {
    case ALWAYS:
        return true;
    case MAJOR_2_UP:
        return major >= 2;
    case BEFORE_2_6:
        return !CameraFactory::isVersion2_6OrLater(major, minor);
    case FROM_2_6:
        return CameraFactory::isVersion2_6OrLater(major, minor);
    }
    return false;
}

template <class M> SetupModule *make() { return new M(); }

struct ModuleEntry {
    SetupModule *(*create)();
    Versions versions;
};

// The setup modules in registration order. A module joins with one line
// here once its class exists; the complete order is: OUT, IIF, EXS, BLC,
// LSH, WBC (before 2.6) or WBC2_6 (from 2.6), FOS, DNS, DPF, ENS, LCA, CCM,
// MGM, GMA, WBS, HIS, R2Y, MIE, VIB, TNM, FLD, SHA, ESC, DSC, Y2R, DGM, HDR,
// RLT (major 2 and up), AWS (from 2.6).
const ModuleEntry kModules[] = {
    {make<ModuleOUT>, ALWAYS},
    {make<ModuleIIF>, ALWAYS},
    {make<ModuleEXS>, ALWAYS},
    {make<ModuleBLC>, ALWAYS},
    {make<ModuleLSH>, ALWAYS},
    {make<ModuleWBC>, BEFORE_2_6},
    {make<ModuleWBC2_6>, FROM_2_6},
    {make<ModuleFOS>, ALWAYS},
    {make<ModuleDNS>, ALWAYS},
    {make<ModuleDPF>, ALWAYS},
    {make<ModuleENS>, ALWAYS},
    {make<ModuleLCA>, ALWAYS},
    {make<ModuleCCM>, ALWAYS},
    {make<ModuleMGM>, ALWAYS},
    {make<ModuleGMA>, ALWAYS},
    {make<ModuleWBS>, ALWAYS},
    {make<ModuleHIS>, ALWAYS},
    {make<ModuleR2Y>, ALWAYS},
    {make<ModuleMIE>, ALWAYS},
    {make<ModuleVIB>, ALWAYS},
    {make<ModuleTNM>, ALWAYS},
    {make<ModuleFLD>, ALWAYS},
    {make<ModuleSHA>, ALWAYS},
    {make<ModuleESC>, ALWAYS},
    {make<ModuleDSC>, ALWAYS},
    {make<ModuleY2R>, ALWAYS},
    {make<ModuleDGM>, ALWAYS},
    {make<ModuleHDR>, ALWAYS},
    {make<ModuleRLT>, MAJOR_2_UP},
    {make<ModuleAWS>, FROM_2_6},
};

// The control loops in creation order, each with its log name; the
// white-balance loop is the PID one when major <= 2 and minor <= 5, the
// Planckian one otherwise.
struct ControlEntry {
    ControlModule *(*create)();
    bool (*applies)(unsigned major, unsigned minor);
};
bool anyVersion(unsigned, unsigned) { return true; }
bool pidWhiteBalance(unsigned major, unsigned minor) { return major <= 2 && minor <= 5; }
bool planckianWhiteBalance(unsigned major, unsigned minor) { return !pidWhiteBalance(major, minor); }
template <class C> ControlModule *makeLoop(const char *logName) { return new C(logName); }
const std::vector<ControlEntry> kControls = {
    {[] { return makeLoop<ControlAE>("VOVA_CTRL_AE"); }, anyVersion},
    {[] { return makeLoop<ControlAF>("VOVA_CTRL_AF"); }, anyVersion},
    {[]() -> ControlModule * { return new ControlDNS(1.0, "VOVA_CTRL_DNS"); }, anyVersion},
    {[] { return makeLoop<ControlLBC>("VOVA_CTRL_LBC"); }, anyVersion},
    {[] { return makeLoop<ControlTNM>("VOVA_CTRL_TNM"); }, anyVersion},
    {[] { return makeLoop<ControlLSH>("VOVA_CTRL_LSH"); }, anyVersion},
    {[] { return makeLoop<ControlAWB_PID>("VOVA_CTRL_AWB-PID"); }, pidWhiteBalance},
    {[] { return makeLoop<ControlAWB_Planckian>("VOVA_CTRL_AWB"); }, planckianWhiteBalance},
};

}  // namespace

std::list<SetupModule *> CameraFactory::setupModulesFromHWVersion(unsigned int major, unsigned int minor)
{
    std::list<SetupModule *> modules;
    if (major == 0) {
        LOG_ERROR("major version has to be >0\n");
        return modules;
    }
    for (const ModuleEntry &entry : kModules)
        if (included(entry.versions, major, minor))
            modules.push_back(entry.create());
    return modules;
}

std::list<ControlModule *> CameraFactory::controlModulesFromHWVersion(unsigned int major, unsigned int minor)
{
    std::list<ControlModule *> controls;
    if (major == 0) {
        LOG_ERROR("major version has to be >0\n");
        return controls;
    }
    for (const ControlEntry &entry : kControls)
        if (entry.applies(major, minor))
            controls.push_back(entry.create());
    return controls;
}

QOV_RESULT CameraFactory::populateCameraFromHWVersion(Camera &camera, Sensor *sensor, int perf)
{
    if (camera.state == Camera::CAM_ERROR) {
        LOG_ERROR("Unable to perform operation, camera is in error state.\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (camera.state == Camera::CAM_CAPTURING) {
        LOG_ERROR("Cannot replace the modules of a capturing camera: stop the capture first\n");
        return QOV_ERROR_WRONG_STATE;
    }
    Pipeline *pipeline = camera.getPipeline();
    const unsigned major = camera.hwInfo.rev_ui8Major;
    const unsigned minor = camera.hwInfo.rev_ui8Minor;
    if (!pipeline || major == 0) {
        LOG_ERROR("Invalid major version in Camera HW info, the connection to the driver seems broken\n");
        return QOV_ERROR_FAILURE;
    }
    std::list<SetupModule *> modules = setupModulesFromHWVersion(major, minor);
    if (modules.empty()) {
        LOG_ERROR("Failed to get module list for HW version %d.%d\n", major, minor);
        return QOV_ERROR_FAILURE;
    }
    while (!modules.empty()) {
        SetupModule *module = modules.front();
        modules.pop_front();
        QOV_RESULT ret = pipeline->registerModule(module);
        if (ret != QOV_SUCCESS) {
            delete module;
            for (SetupModule *rest : modules)
                delete rest;
            return ret;
        }
        if (perf >= 1)
            LOG_Perf_Register(module, perf > 1);
    }
    ModuleIIF *iif = static_cast<ModuleIIF *>(pipeline->getModule(STP_IIF));
    if (iif && sensor) {
        iif->aCropBR[0] = sensor->uiWidth - 1;
        iif->aCropBR[1] = sensor->uiHeight - 1;
        iif->requestUpdate();
        pipeline->setupAll();
    }
    camera.state = Camera::CAM_REGISTERED;
    return QOV_SUCCESS;
}

}  // namespace VOVA
