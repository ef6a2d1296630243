// Lens shading: the gradient keys and record, and the matrix registry that
// turns grids into driver matrices, switches between them and removes them.
#include "vova/ModuleLSH.h"

#include <algorithm>

#include "mc/mc_conversions.h"
#include "vova/ControlLSH.h"

namespace VOVA {

namespace {
const double kNoGradient[4] = {0.0, 0.0, 0.0, 0.0};
// The key that replaced "LSH_MATRIX_FILE": the lens-shading control's files.
const char *const kDeprecatedMatrixFile = "LSH_MATRIX_FILE";
const char *const kControlFileKey = "LSH_CTRL_FILE";
}  // namespace

ModuleLSH::lsh_mat::lsh_mat() : sGrid(), matrixId(0), wbScale(1.0) {}

ModuleLSH::lsh_mat::~lsh_mat() { LSH_Free(&sGrid); }

const ParamDefArray<double> ModuleLSH::LSH_GRADIENT_X("LSH_GRADIENTX", -4.0, 4.0, kNoGradient, 4);
const ParamDefArray<double> ModuleLSH::LSH_GRADIENT_Y("LSH_GRADIENTY", -4.0, 4.0, kNoGradient, 4);
const ParamDefSingle<bool> ModuleLSH::LSH_MATRIX("LSH_MATRIX_ENABLE", false);

const KeyTable<ModuleLSH> &ModuleLSH::keys()
{
    typedef Keys<ModuleLSH> K;
    static const KeyTable<ModuleLSH> table =
        K::table(K::array(LSH_GRADIENT_X, &ModuleLSH::aGradientX), K::array(LSH_GRADIENT_Y, &ModuleLSH::aGradientY),
                 K::flag(LSH_MATRIX, &ModuleLSH::bEnableMatrix));
    return table;
}

ModuleLSH::ModuleLSH() : FamilyModule("VOVA_MOD_LSH")
{
    load(ParameterList());
    currentMatId = 0;
}

ModuleLSH::~ModuleLSH()
{
    CI_PIPELINE *ci = capturePipeline();
    if (ci && currentMatId != 0)
        CI_PipelineUpdateLSHMatrix(ci, 0);
    for (lsh_mat *mat : list_grid) {
        if (ci && CI_PipelineDeregisterLSHMatrix(ci, mat->matrixId) != QOV_SUCCESS)
            LOG_Warning("~ModuleLSH", __LINE__, getLoggingName(), "failed to free matrixId %d\n",
                        static_cast<int>(mat->matrixId));
        delete mat;
    }
}

QOV_RESULT ModuleLSH::load(const ParameterList &parameters)
{
    QOV_RESULT ret = FamilyModule::load(parameters);
    if (parameters.exists(kDeprecatedMatrixFile))
        LOG_Warning("load", __LINE__, getLoggingName(), "Deprecated %s parameter found - use %s_X\n",
                    kDeprecatedMatrixFile, kControlFileKey);
    return ret;
}

QOV_RESULT ModuleLSH::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    QOV_RESULT ret = FamilyModule::save(parameters, t);
    if (t == ModuleBase::SAVE_VAL) {
        const lsh_mat *current = find(currentMatId);
        if (current && !current->filename.empty())
            parameters.addParameter(Parameter(kControlFileKey, current->filename), true);
    }
    return ret;
}

QOV_RESULT ModuleLSH::writeRecord(MC_PIPELINE &mc)
{
    for (int c = 0; c < 4; c++) {
        mc.sLSH.aGradients[c][0] = aGradientX[c];
        mc.sLSH.aGradients[c][1] = aGradientY[c];
    }
    return QOV_SUCCESS;
}

CI_PIPELINE *ModuleLSH::capturePipeline() const { return pipeline ? pipeline->getCIPipeline() : nullptr; }

ModuleLSH::lsh_mat *ModuleLSH::find(QOV_UINT32 matrixId) const
{
    if (matrixId == 0)
        return nullptr;
    auto it = std::find_if(list_grid.begin(), list_grid.end(),
                           [matrixId](const lsh_mat *m) { return m->matrixId == matrixId; });
    return it == list_grid.end() ? nullptr : *it;
}

QOV_RESULT ModuleLSH::updateCIMatrix(const LSH_GRID *pGrid, QOV_UINT8 ui8BitsPerDiff, QOV_UINT32 matId)
{
    CI_PIPELINE *ci = capturePipeline();
    CI_LSHMAT matrix{};
    if (CI_PipelineAcquireLSHMatrix(ci, matId, &matrix) != QOV_SUCCESS) {
        LOG_Error("updateCIMatrix", __LINE__, getLoggingName(), "Failed to acquire the LSH matrix %d\n",
                  static_cast<int>(matId));
        return QOV_ERROR_FAILURE;
    }
    const CI_MODULE_LSH_MAT previous = matrix.config;
    if (MC_LSHConvertGrid(pGrid, ui8BitsPerDiff, &matrix) != QOV_SUCCESS) {
        LOG_Error("updateCIMatrix", __LINE__, getLoggingName(), "Failed to convert the LSH matrix %d\n",
                  static_cast<int>(matId));
        // A matrix that held an encoding gets it back and is handed back to
        // the driver, so that it can be used, encoded again or removed. A
        // new matrix has no encoding to hand back: its caller frees it.
        if (previous.ui8BitsPerDiff != 0 &&
            MC_LSHConvertGrid(pGrid, previous.ui8BitsPerDiff, &matrix) == QOV_SUCCESS) {
            matrix.config = previous;
            CI_PipelineReleaseLSHMatrix(ci, &matrix);
        }
        return QOV_ERROR_FAILURE;
    }
    if (const MC_PIPELINE *mc = pipeline->getMCPipeline()) {
        const Global_Setup setup = pipeline->getGlobalSetup();
        matrix.config.ui16SkipX = mc->sIIF.ui16ImagerDecimation[0];
        matrix.config.ui16SkipY = mc->sIIF.ui16ImagerDecimation[1];
        matrix.config.ui16OffsetX = static_cast<QOV_UINT16>(mc->sIIF.ui16ImagerOffset[0] / setup.CFA_WIDTH);
        matrix.config.ui16OffsetY = static_cast<QOV_UINT16>(mc->sIIF.ui16ImagerOffset[1] / setup.CFA_HEIGHT);
    }
    if (CI_PipelineReleaseLSHMatrix(ci, &matrix) != QOV_SUCCESS) {
        LOG_Error("updateCIMatrix", __LINE__, getLoggingName(), "Failed to release the LSH matrix %d\n",
                  static_cast<int>(matId));
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT ModuleLSH::loadMatrix(const LSH_GRID &sGrid, QOV_UINT32 &out_matId, const std::string &filename,
                                 double wbScale, QOV_UINT8 bitsPerDif)
{
    CI_PIPELINE *ci = capturePipeline();
    if (!ci) {
        LOG_Error("loadMatrix", __LINE__, getLoggingName(), "Pipeline pointer is NULL\n");
        return QOV_ERROR_WRONG_STATE;
    }
    const QOV_UINT8 bits = bitsPerDif != 0 ? bitsPerDif : MC_LSHComputeMinBitdiff(&sGrid, nullptr);
    QOV_UINT32 id = 0;
    if (CI_PipelineAllocateLSHMatrix(ci, MC_LSHGetSizes(&sGrid, bits, nullptr, nullptr), &id) != QOV_SUCCESS) {
        LOG_Error("loadMatrix", __LINE__, getLoggingName(), "Failed to allocate LSH matrix buffer\n");
        return QOV_ERROR_FAILURE;
    }
    QOV_RESULT ret = updateCIMatrix(&sGrid, bits, id);
    if (ret != QOV_SUCCESS) {
        LOG_Error("loadMatrix", __LINE__, getLoggingName(), "Failed to update CI LSH matrix\n");
        CI_PipelineDeregisterLSHMatrix(ci, id);
        return ret;
    }
    lsh_mat *mat = new lsh_mat();
    mat->sGrid = sGrid;
    mat->filename = filename;
    mat->wbScale = wbScale;
    mat->matrixId = id;
    list_grid.push_back(mat);
    out_matId = id;
    return QOV_SUCCESS;
}

QOV_RESULT ModuleLSH::readGridFile(const std::string &filename, LSH_GRID &grid, const char *logName)
{
    if (LSH_Load_bin(&grid, filename.c_str()) == QOV_SUCCESS)
        return QOV_SUCCESS;
    LOG_Warning("addMatrix", __LINE__, logName, "Failed to load the LSH matrix %s - no matrix will be loaded\n",
                filename.c_str());
    LSH_Free(&grid);
    return QOV_ERROR_FAILURE;
}

QOV_RESULT ModuleLSH::addMatrix(const std::string &filename, QOV_UINT32 &out_matId, double wbScale,
                                QOV_UINT8 ui8BitsPerDiff)
{
    LSH_GRID grid{};
    if (readGridFile(filename, grid, getLoggingName()) != QOV_SUCCESS)
        return QOV_ERROR_FAILURE;
    QOV_RESULT ret = loadMatrix(grid, out_matId, filename, wbScale, ui8BitsPerDiff);
    if (ret != QOV_SUCCESS)
        LSH_Free(&grid);
    return ret;
}

QOV_RESULT ModuleLSH::addMatrix(const LSH_GRID &sGrid, QOV_UINT32 &out_matId, double wbScale,
                                QOV_UINT8 ui8BitsPerDiff)
{
    return loadMatrix(sGrid, out_matId, std::string(), wbScale, ui8BitsPerDiff);
}

QOV_RESULT ModuleLSH::configureMatrix(QOV_UINT32 matrixId)
{
    if (matrixId != 0 && !find(matrixId)) {
        LOG_Error("configureMatrix", __LINE__, getLoggingName(), "matrix %d not found\n", static_cast<int>(matrixId));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    CI_PIPELINE *ci = capturePipeline();
    if (!ci) {
        LOG_Error("configureMatrix", __LINE__, getLoggingName(), "Pipeline pointer is NULL\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (CI_PipelineUpdateLSHMatrix(ci, matrixId) != QOV_SUCCESS) {
        LOG_Error("configureMatrix", __LINE__, getLoggingName(), "Failed to change config to use LSH matrix %d\n",
                  static_cast<int>(matrixId));
        return QOV_ERROR_FAILURE;
    }
    // The white-balance gains carry the matrix's scale: set them up again.
    if (SetupModule *wbc = pipeline->getModule(STP_WBC))
        wbc->requestUpdate();
    currentMatId = matrixId;
    return QOV_SUCCESS;
}

QOV_RESULT ModuleLSH::removeMatrix(QOV_UINT32 matrixId)
{
    lsh_mat *mat = find(matrixId);
    if (!mat)
        return QOV_ERROR_INVALID_ARGUMENT;
    CI_PIPELINE *ci = capturePipeline();
    if (ci) {
        // Never free a buffer the hardware still reads.
        if (matrixId == currentMatId) {
            QOV_RESULT ret = configureMatrix(0);
            if (ret != QOV_SUCCESS)
                return ret;
        }
        if (CI_PipelineDeregisterLSHMatrix(ci, matrixId) != QOV_SUCCESS) {
            LOG_Error("removeMatrix", __LINE__, getLoggingName(), "Failed to deregister CI LSH matrix %d\n",
                      static_cast<int>(matrixId));
            return QOV_ERROR_FAILURE;
        }
    }
    if (matrixId == currentMatId)
        currentMatId = 0;
    list_grid.remove(mat);
    delete mat;
    if (!ci) {
        LOG_Error("removeMatrix", __LINE__, getLoggingName(), "Pipeline pointer is NULL\n");
        return QOV_ERROR_WRONG_STATE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT ModuleLSH::updateGrid(QOV_UINT32 matrixId, QOV_UINT8 ui8BitsPerDiff)
{
    lsh_mat *mat = find(matrixId);
    if (!mat)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!capturePipeline()) {
        LOG_Error("updateGrid", __LINE__, getLoggingName(), "Pipeline pointer is NULL\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_RESULT ret = updateCIMatrix(&mat->sGrid, ui8BitsPerDiff, matrixId);
    if (ret != QOV_SUCCESS)
        LOG_Error("updateGrid", __LINE__, getLoggingName(), "Failed to update CI LSH matrix\n");
    return ret;
}

QOV_RESULT ModuleLSH::saveMatrix(QOV_UINT32 matrixId, const std::string &filename) const
{
    const lsh_mat *mat = find(matrixId);
    if (!mat)
        return QOV_ERROR_INVALID_ARGUMENT;
    return LSH_Save_bin(&mat->sGrid, filename.c_str());
}

LSH_GRID *ModuleLSH::getGrid(QOV_UINT32 matrixId)
{
    lsh_mat *mat = find(matrixId);
    return mat ? &mat->sGrid : nullptr;
}

std::string ModuleLSH::getFilename(QOV_UINT32 matrixId) const
{
    const lsh_mat *mat = find(matrixId);
    return mat ? mat->filename : std::string();
}

double ModuleLSH::getCurrentScaleWB() const
{
    const lsh_mat *mat = find(currentMatId);
    return mat ? mat->wbScale : 1.0;
}

QOV_UINT32 ModuleLSH::getMatrixId(unsigned int m) const
{
    if (m >= list_grid.size())
        return 0;
    return (*std::next(list_grid.begin(), m))->matrixId;
}

QOV_RESULT ModuleLSH::loadMatrices(const ParameterList &parameters, std::vector<QOV_UINT32> &matrixIdList)
{
    ControlLSH::GridMap grids;
    QOV_UINT8 bitsPerDiff = 0;
    ControlLSH::loadMatrices(parameters, grids, bitsPerDiff);
    if (grids.empty())
        return QOV_ERROR_NO_DATA;
    QOV_RESULT ret = ControlLSH::settleBitsPerDiff(grids, bitsPerDiff, getLoggingName(), "loadMatrices");
    if (ret != QOV_SUCCESS)
        return ret;
    int position = 0;
    for (const auto &entry : grids) {
        QOV_UINT32 id = 0;
        if (addMatrix(entry.second.filename, id, entry.second.scaledWB, bitsPerDiff) != QOV_SUCCESS) {
            LOG_Warning("loadMatrices", __LINE__, getLoggingName(), "failed to load matrix %d from file %s\n", position,
                        entry.second.filename.c_str());
            return QOV_ERROR_FAILURE;
        }
        matrixIdList.push_back(id);
        position++;
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
