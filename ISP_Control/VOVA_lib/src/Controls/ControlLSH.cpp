// The lens-shading control: the calibration table and its keys, the
// registration of its grids in the lens-shading module, and the
// nearest-temperature choice per shot.
#include "vova/ControlLSH.h"

#include <algorithm>

#include "mc/mc_conversions.h"
#include "vezaracommon/userlog.h"
#include "vova/ControlAWB.h"
#include "vova/ModuleLSH.h"
#include "vova/Pipeline.h"

namespace VOVA {

namespace {

const char *kTableTag = "VOVA_CONTROL_LSH";
constexpr QOV_UINT8 kMinBitsPerDiff = 4;
constexpr QOV_UINT8 kMaxBitsPerDiff = 10;

}  // namespace

const ParamDef<int> ControlLSH::LSH_CORRECTIONS("LSH_CTRL_CORRECTIONS", 0, 200, 0);
const ParamDef<int> ControlLSH::LSH_CTRL_BITS_DIFF("LSH_CTRL_BITS_DIFF", 0, 10, 0);
const ParamDef<unsigned int> ControlLSH::LSH_CTRL_TEMPERATURE_S("LSH_CTRL_TEMPERATURE", 0, 100000, 0);
const ParamDefSingle<std::string> ControlLSH::LSH_FILE_S("LSH_CTRL_FILE", "");
const ParamDef<double> ControlLSH::LSH_CTRL_SCALE_WB_S("LSH_CTRL_SCALE_WB", 0.0, 100.0, 1.0);
const std::string ControlLSH::LSH_CTRL_FILE_DEF = "<matrix file>";

ControlLSH::GridInfo::GridInfo(const std::string &file, double scaledWb) : matrixId(0), filename(file), scaledWB(scaledWb) {}

ControlLSH::GridInfo::GridInfo(const ParameterList &params, int i)
    : matrixId(0), filename(params.getParameter(LSH_FILE_S.indexed(i))), scaledWB(LSH_CTRL_SCALE_WB_S.def)
{
    if (!filename.empty())
        scaledWB = params.getParameter(LSH_CTRL_SCALE_WB_S.indexed(i));
}

const KeyTable<ControlLSH> &ControlLSH::keys()
{
    static const KeyTable<ControlLSH> none;
    return none;
}

ParameterGroup ControlLSH::getGroup()
{
    ParameterGroup group;
    group.header = groupHeader();
    group.parameters.insert(LSH_CTRL_BITS_DIFF.name);
    group.parameters.insert(LSH_CORRECTIONS.name);
    for (int i = 0; i < LSH_CORRECTIONS.max; i++) {
        group.parameters.insert(LSH_CTRL_TEMPERATURE_S.indexed(i).name);
        group.parameters.insert(LSH_FILE_S.indexed(i).name);
        group.parameters.insert(LSH_CTRL_SCALE_WB_S.indexed(i).name);
    }
    return group;
}

ControlLSH::ControlLSH(const std::string &logtag)
    : FamilyControl<ControlLSH, CTRL_LSH>(logtag),
      illuminantTemperature(6500),
      algorithm(LINEAR),
      chosenMatrixId(0),
      pCtrlAWB(nullptr),
      maxBitsPerDiff(0)
{
}

ControlLSH::~ControlLSH() {}

ModuleLSH *ControlLSH::lshModule() const { return ownerModule<ModuleLSH>(); }

bool ControlLSH::isEnabled() const { return enabled && pCtrlAWB; }

QOV_RESULT ControlLSH::loadMatrices(const ParameterList &parameters, GridMap &grids, QOV_UINT8 &maxBitsPerDiff)
{
    if (!parameters.exists(LSH_CORRECTIONS.name)) {
        LOG_Warning("loadMatrices", __LINE__, kTableTag,
                    "Unable to load LSH corrections from parameters. '%s' not defined\n", LSH_CORRECTIONS.name.c_str());
        return QOV_ERROR_NO_DATA;
    }
    maxBitsPerDiff = static_cast<QOV_UINT8>(parameters.getParameter(LSH_CTRL_BITS_DIFF));
    const int n = parameters.getParameter(LSH_CORRECTIONS);
    for (int i = 0; i < n; i++) {
        const GridInfo info(parameters, i);
        if (info.filename.empty()) {
            LOG_Warning("loadMatrices", __LINE__, kTableTag, "Correction %d does not have a matrix file - ignored\n", i);
            continue;
        }
        const ParamDef<unsigned int> temperatureKey = LSH_CTRL_TEMPERATURE_S.indexed(i);
        const unsigned int temperature = parameters.getParameter(temperatureKey);
        if (temperature == temperatureKey.def) {
            LOG_Warning("loadMatrices", __LINE__, kTableTag, "Correction %d doesn't have a matching temperature - ignored\n",
                        i);
            continue;
        }
        grids.insert_or_assign(temperature, info);
    }
    return QOV_SUCCESS;
}

QOV_UINT8 ControlLSH::findBiggestBitsPerDiff(const GridMap &grids)
{
    QOV_UINT8 biggest = 0;
    for (const auto &entry : grids) {
        LSH_GRID grid{};
        if (LSH_Load_bin(&grid, entry.second.filename.c_str()) == QOV_SUCCESS)
            biggest = std::max(biggest, MC_LSHComputeMinBitdiff(&grid, nullptr));
        LSH_Free(&grid);
    }
    return biggest;
}

QOV_RESULT ControlLSH::settleBitsPerDiff(const GridMap &grids, QOV_UINT8 &bitsPerDiff, const char *tag,
                                         const char *function)
{
    if (bitsPerDiff < kMinBitsPerDiff) {
        bitsPerDiff = findBiggestBitsPerDiff(grids);
        LOG_Warning(function, __LINE__, tag, "Calculated %s %d. Consider to use this value in configuration file.\n",
                    LSH_CTRL_BITS_DIFF.name.c_str(), bitsPerDiff);
    }
    if (bitsPerDiff < kMinBitsPerDiff || bitsPerDiff > kMaxBitsPerDiff) {
        LOG_Error(function, __LINE__, tag, "invalid bits per diff %d selected (min %d, max %d)\n", bitsPerDiff,
                  kMinBitsPerDiff, kMaxBitsPerDiff);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

void ControlLSH::releaseRegistered(ModuleLSH &module)
{
    for (QOV_UINT32 id : registeredIds) {
        // Only what is still the module's: someone may have removed it since.
        if (module.getGrid(id) && module.removeMatrix(id) != QOV_SUCCESS)
            LOG_Warning("load", __LINE__, getLoggingName(), "failed to remove matrix %d previously added\n", id);
        if (chosenMatrixId == id)
            chosenMatrixId = 0;
    }
    registeredIds.clear();
}

QOV_RESULT ControlLSH::load(const ParameterList &parameters)
{
    // A reload rebuilds the table: the matrices of the previous one would
    // otherwise stay registered for good.
    if (ModuleLSH *module = lshModule())
        releaseRegistered(*module);
    grids.clear();

    loadMatrices(parameters, grids, maxBitsPerDiff);
    if (grids.empty())
        return QOV_SUCCESS;

    const QOV_RESULT ret = settleBitsPerDiff(grids, maxBitsPerDiff, getLoggingName(), "load");
    if (ret != QOV_SUCCESS)
        return ret;
    if (!getPipelineOwner()) {
        LOG_Error("load", __LINE__, getLoggingName(), "ControlLSH has no pipeline owner! Cannot load deshading matrices.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleLSH *module = lshModule();
    if (!module) {
        LOG_Error("load", __LINE__, getLoggingName(), "ControlLSH can't find ModuleLSH!\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    for (auto &entry : grids) {
        QOV_UINT32 id = 0;
        if (module->addMatrix(entry.second.filename, id, entry.second.scaledWB, maxBitsPerDiff) != QOV_SUCCESS) {
            LOG_Error("load", __LINE__, getLoggingName(), "Failed to load matrix for T=%d\n", entry.first);
            return QOV_ERROR_FAILURE;
        }
        entry.second.matrixId = id;
        registeredIds.insert(id);
    }
    return QOV_SUCCESS;
}

QOV_RESULT ControlLSH::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    static const ParameterGroup group = getGroup();
    parameters.addGroup(className(), group);
    if (t == SAVE_VAL) {
        unsigned int i = 0;
        for (const auto &entry : grids) {
            parameters.addParameter(LSH_CTRL_TEMPERATURE_S.indexed(i), entry.first, true);
            parameters.addParameter(LSH_FILE_S.indexed(i), entry.second.filename, true);
            parameters.addParameter(LSH_CTRL_SCALE_WB_S.indexed(i), entry.second.scaledWB, true);
            i++;
        }
        parameters.addParameter(LSH_CORRECTIONS, static_cast<int>(grids.size()), true);
        parameters.addParameter(LSH_CTRL_BITS_DIFF, static_cast<int>(maxBitsPerDiff), true);
    } else if (t == SAVE_MIN || t == SAVE_MAX || t == SAVE_DEF) {
        // The bounds and defaults of index 0 stand for the whole family; the
        // file is a placeholder.
        const ParamDefSingle<std::string> file(LSH_FILE_S.indexed(0).name, LSH_CTRL_FILE_DEF);
        family::saveBound(LSH_CTRL_TEMPERATURE_S.indexed(0), parameters, t);
        family::saveBound(file, parameters, t);
        family::saveBound(LSH_CTRL_SCALE_WB_S.indexed(0), parameters, t);
        family::saveBound(LSH_CORRECTIONS, parameters, t);
        family::saveBound(LSH_CTRL_BITS_DIFF, parameters, t);
    }
    return QOV_SUCCESS;
}

QOV_INT32 ControlLSH::chooseMatrix(unsigned int temperature, InterpolationAlgorithm algo) const
{
    if (grids.empty()) {
        LOG_Error("chooseMatrix", __LINE__, getLoggingName(), "Cannot choose matrix: no grids were loaded\n");
        return -16;
    }
    if (grids.size() == 1)
        return static_cast<QOV_INT32>(grids.begin()->second.matrixId);
    if (algo == EXPONENTIAL) {
        LOG_Error("chooseMatrix", __LINE__, getLoggingName(), "Exponential not implemented\n");
        return -11;
    }
    if (algo != LINEAR) {
        LOG_Error("chooseMatrix", __LINE__, getLoggingName(), "Invalid algorithm\n");
        return -11;
    }
    const auto chosen = nearestTemperature(grids.begin(), grids.end(), temperature,
                                           [](const GridMap::value_type &entry) { return entry.first; });
    return static_cast<QOV_INT32>(chosen->second.matrixId);
}

QOV_RESULT ControlLSH::update(const Metadata &)
{
    if (isEnabled()) {
        const double measured = pCtrlAWB->getMeasuredTemperature();
        illuminantTemperature = measured > 0.0 ? static_cast<QOV_UINT32>(std::min(measured, 4294967295.0)) : 0;
        const QOV_INT32 id = chooseMatrix(illuminantTemperature, algorithm);
        if (id < 1) {
            LOG_Warning("update", __LINE__, getLoggingName(), "failed to choose matrix!\n");
        } else if (static_cast<QOV_UINT32>(id) != chosenMatrixId) {
            const QOV_UINT32 previous = chosenMatrixId;
            chosenMatrixId = static_cast<QOV_UINT32>(id);
            // A matrix the module did not take is not the one in use: keep
            // the previous choice so that the next shot tries again.
            if (programCorrection() != QOV_SUCCESS)
                chosenMatrixId = previous;
        }
    } else if (chosenMatrixId != 0) {
        chosenMatrixId = 0;
        programCorrection();
    }
    return QOV_SUCCESS;
}

QOV_RESULT ControlLSH::programCorrection()
{
    ModuleLSH *module = lshModule();
    if (!module) {
        LOG_Error("programCorrection", __LINE__, getLoggingName(), "Could not find LSH module in pipeline\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_RESULT ret = module->configureMatrix(chosenMatrixId);
    if (ret != QOV_SUCCESS)
        LOG_Warning("programCorrection", __LINE__, getLoggingName(), "Cannot use LSH matrix %d\n", chosenMatrixId);
    return ret;
}

QOV_INT32 ControlLSH::configureDefaultMatrix()
{
    ModuleLSH *module = lshModule();
    if (!module) {
        LOG_Error("configureDefaultMatrix", __LINE__, getLoggingName(), "Could not find LSH module in pipeline\n");
        return -1;
    }
    if (module->getCurrentMatrixId() != 0)
        return 0;
    if (grids.empty()) {
        LOG_Error("configureDefaultMatrix", __LINE__, getLoggingName(),
                  "cannot set default matrix without loading matrices first\n");
        return -1;
    }
    const QOV_UINT32 id = grids.begin()->second.matrixId;
    if (module->configureMatrix(id) != QOV_SUCCESS) {
        LOG_Error("configureDefaultMatrix", __LINE__, getLoggingName(), "failed to set default matrix to %d", id);
        return -1;
    }
    chosenMatrixId = id;
    return static_cast<QOV_INT32>(id);
}

QOV_RESULT ControlLSH::addMatrix(unsigned int temperature, const LSH_GRID &sGrid, QOV_UINT32 &matrixId,
                                 double wbScale, QOV_UINT8 ui8BitsPerDiff)
{
    GridInfo info("", wbScale);
    if (!getPipelineOwner()) {
        LOG_Error("addMatrix", __LINE__, getLoggingName(), "ControlLSH has no pipeline owner! Cannot load deshading matrices.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (grids.count(temperature)) {
        LOG_Error("addMatrix", __LINE__, getLoggingName(), "Temperature %d is already registered\n", temperature);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    ModuleLSH *module = lshModule();
    if (!module || module->addMatrix(sGrid, info.matrixId, wbScale, ui8BitsPerDiff) != QOV_SUCCESS) {
        LOG_Error("addMatrix", __LINE__, getLoggingName(), "failed to add matrix to Module LSH\n");
        return QOV_ERROR_FAILURE;
    }
    if (addMatrixInfo(temperature, info) != QOV_SUCCESS) {
        LOG_Error("addMatrix", __LINE__, getLoggingName(), "failed to add matrix information to Control LSH\n");
        if (module->removeMatrix(info.matrixId) != QOV_SUCCESS)
            LOG_Error("addMatrix", __LINE__, getLoggingName(), "failed to remove matrix %d previously added\n",
                      info.matrixId);
        matrixId = 0;
        return QOV_ERROR_NO_DATA;
    }
    registeredIds.insert(info.matrixId);
    matrixId = info.matrixId;
    return QOV_SUCCESS;
}

QOV_RESULT ControlLSH::addMatrix(unsigned int temperature, const std::string &filename, QOV_UINT32 &matrixId,
                                 double wbScale, QOV_UINT8 ui8BitsPerDiff)
{
    LSH_GRID grid{};
    if (ModuleLSH::readGridFile(filename, grid, getLoggingName()) != QOV_SUCCESS)
        return QOV_ERROR_FAILURE;
    const QOV_RESULT ret = addMatrix(temperature, grid, matrixId, wbScale, ui8BitsPerDiff);
    // On success, and after QOV_ERROR_NO_DATA, the module took the arrays over.
    if (ret != QOV_SUCCESS && ret != QOV_ERROR_NO_DATA)
        LSH_Free(&grid);
    return ret;
}

QOV_RESULT ControlLSH::addMatrixInfo(unsigned int temperature, const GridInfo &info)
{
    if (grids.count(temperature)) {
        LOG_Error("addMatrixInfo", __LINE__, getLoggingName(), "temperatur %d already present\n", temperature);
        return QOV_ERROR_ALREADY_EXISTS;
    }
    if (!getPipelineOwner()) {
        LOG_Error("addMatrixInfo", __LINE__, getLoggingName(),
                  "ControlLSH has no pipeline owner! Cannot load deshading matrices.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleLSH *module = lshModule();
    if (!module || !module->getGrid(info.matrixId)) {
        LOG_Error("addMatrixInfo", __LINE__, getLoggingName(), "cannot find matrix %d in LSH module\n", info.matrixId);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    grids.insert_or_assign(temperature, info);
    return QOV_SUCCESS;
}

QOV_RESULT ControlLSH::removeMatrix(QOV_UINT32 matrixId)
{
    if (!getPipelineOwner()) {
        LOG_Error("removeMatrix", __LINE__, getLoggingName(),
                  "ControlLSH has no pipeline owner! Cannot load deshading matrices.\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    ModuleLSH *module = lshModule();
    if (!module || !module->getGrid(matrixId)) {
        LOG_Error("removeMatrix", __LINE__, getLoggingName(), "cannot find matrix %d in LSH module\n", matrixId);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    auto entry = std::find_if(grids.begin(), grids.end(), [&](const auto &e) { return e.second.matrixId == matrixId; });
    if (entry == grids.end()) {
        LOG_Error("removeMatrix", __LINE__, getLoggingName(), "cannot find matrix %d in LSH control\n", matrixId);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const QOV_RESULT ret = module->removeMatrix(matrixId);
    if (ret != QOV_SUCCESS) {
        LOG_Error("removeMatrix", __LINE__, getLoggingName(), "failed to remove matrix %d from Module LSH\n", matrixId);
        return ret;
    }
    grids.erase(entry);
    registeredIds.erase(matrixId);
    if (chosenMatrixId == matrixId)
        chosenMatrixId = 0;
    return QOV_SUCCESS;
}

const ControlLSH::GridMap::value_type *ControlLSH::findMatrix(QOV_UINT32 matrixId) const
{
    for (const auto &entry : grids)
        if (entry.second.matrixId == matrixId)
            return &entry;
    return nullptr;
}

QOV_UINT32 ControlLSH::getChosenTemperature() const
{
    const GridMap::value_type *entry = chosenMatrixId ? findMatrix(chosenMatrixId) : nullptr;
    return entry ? entry->first : 0;
}

QOV_UINT32 ControlLSH::getTemperature(QOV_UINT32 matrixId) const
{
    if (const GridMap::value_type *entry = findMatrix(matrixId))
        return entry->first;
    LOG_Warning("getTemperature", __LINE__, getLoggingName(), "Don't have corresponding temperature for matrix %d\n",
              matrixId);
    return 0;
}

QOV_UINT32 ControlLSH::getMatrixId(unsigned int temperature) const
{
    auto it = grids.find(temperature);
    return it == grids.end() ? 0 : it->second.matrixId;
}

double ControlLSH::getScaleWB(unsigned int temperature) const
{
    auto it = grids.find(temperature);
    return it == grids.end() ? 0.0 : it->second.scaledWB;
}

void ControlLSH::getMatrixIds(std::vector<unsigned int> &ids) const
{
    ids.clear();
    for (const auto &entry : grids)
        ids.push_back(entry.second.matrixId);
}

std::ostream &ControlLSH::printState(std::ostream &os) const
{
    os << "  " << logName << ":" << std::endl;
    os << "    config:" << std::endl;
    os << "      enabled = " << (enabled ? 1 : 0) << std::endl;
    if (pCtrlAWB)
        os << "      pCtrlAWB = " << pCtrlAWB->getLoggingName() << std::endl;
    else
        os << "      pCtrlAWB = null" << std::endl;
    os << "    state:" << std::endl;
    os << "      illuminantTemperature = " << illuminantTemperature << std::endl;
    os << "      chosenMatrixId = " << chosenMatrixId << std::endl;
    os << "      getTemperature = " << getTemperature(chosenMatrixId) << std::endl;
    return os;
}

}  // namespace VOVA
