// Lens shading: the per-channel shading gradients of the record, and the
// registry of lens-shading matrices: grids turned into matrix buffers of the
// capture pipeline under the ids the driver gave them, one of which the
// hardware may use. The matrix in use lives in the capture pipeline, not in
// the record: switching takes effect at once through the driver.
#ifndef VOVA_MODULELSH_H
#define VOVA_MODULELSH_H

#include <list>
#include <string>
#include <vector>

#include "vezaracommon/lsh_grid.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleLSH : public FamilyModule<ModuleLSH, STP_LSH> {
public:
    /** One registered matrix; it owns the grid's four channel arrays. */
    struct lsh_mat {
        LSH_GRID sGrid;
        std::string filename;  ///< the grid file, empty for a grid given in memory
        QOV_UINT32 matrixId;   ///< the matrix buffer in the capture pipeline, never 0 once registered
        double wbScale;        ///< white-balance scale while this matrix is in use

        lsh_mat();
        ~lsh_mat();
        lsh_mat(const lsh_mat &) = delete;
        lsh_mat &operator=(const lsh_mat &) = delete;
    };

    static const ParamDefArray<double> LSH_GRADIENT_X;
    static const ParamDefArray<double> LSH_GRADIENT_Y;
    static const ParamDefSingle<bool> LSH_MATRIX;

    bool bEnableMatrix;     ///< read by the demo at start-up only
    double aGradientX[4];   ///< shading gradient along x per Bayer channel
    double aGradientY[4];   ///< shading gradient along y per Bayer channel

    ModuleLSH();
    /** Frees every matrix: the hardware is switched off the one in use first. */
    ~ModuleLSH() override;

    /** The three keys; the old "LSH_MATRIX_FILE" only gives a warning. */
    QOV_RESULT load(const ParameterList &parameters) override;
    /** The three keys; SAVE_VAL adds "LSH_CTRL_FILE" with the current matrix's file, when it has one. */
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;

    /** Reads a grid file and registers it; 0 bits per difference takes the grid's own minimum. */
    QOV_RESULT addMatrix(const std::string &filename, QOV_UINT32 &out_matId, double wbScale,
                         QOV_UINT8 ui8BitsPerDiff);
    /**
     * Reads a grid file into an empty grid; a file that cannot be read gives
     * the warning that no matrix will be loaded (under `logName`), leaves the
     * grid without arrays and QOV_ERROR_FAILURE.
     */
    static QOV_RESULT readGridFile(const std::string &filename, LSH_GRID &grid, const char *logName);
    /** Registers a grid held in memory; on success the module owns its arrays, on failure the caller keeps them. */
    QOV_RESULT addMatrix(const LSH_GRID &sGrid, QOV_UINT32 &out_matId, double wbScale, QOV_UINT8 ui8BitsPerDiff);
    /**
     * Drops a registered matrix and frees its buffer. The hardware is first
     * switched off the matrix when it is the one in use; if that fails the
     * matrix stays registered.
     */
    QOV_RESULT removeMatrix(QOV_UINT32 matrixId);
    /** Makes a registered matrix the one the hardware uses; 0 switches matrix use off. */
    QOV_RESULT configureMatrix(QOV_UINT32 matrixId);
    /** Rewrites a matrix's buffer from its grid with other bits per difference. */
    QOV_RESULT updateGrid(QOV_UINT32 matrixId, QOV_UINT8 ui8BitsPerDiff);
    QOV_RESULT saveMatrix(QOV_UINT32 matrixId, const std::string &filename) const;
    /**
     * Registers every grid of the lens-shading control's calibration table
     * ("LSH_CTRL_" keys) in ascending temperature and appends their ids; the
     * first that fails ends it (those before stay registered). An empty
     * table gives QOV_ERROR_NO_DATA.
     */
    QOV_RESULT loadMatrices(const ParameterList &parameters, std::vector<QOV_UINT32> &matrixIdList);

    /** The registered grid (still the module's), null for an unregistered id. */
    LSH_GRID *getGrid(QOV_UINT32 matrixId);
    std::string getFilename(QOV_UINT32 matrixId) const;
    QOV_UINT32 getCurrentMatrixId() const { return currentMatId; }
    /** The scale of the matrix in use; 1.0 without one. */
    double getCurrentScaleWB() const;
    bool hasGrid() const { return currentMatId != 0; }
    QOV_UINT32 countGrid() const { return static_cast<QOV_UINT32>(list_grid.size()); }
    /** The id of the m-th matrix in registration order; 0 past the end. */
    QOV_UINT32 getMatrixId(unsigned int m) const;

    static const char *className() { return "ModuleLSH"; }
    static const char *groupHeader() { return "// Lens Shading parameters"; }
    static const KeyTable<ModuleLSH> &keys();
    /** Channel c's x and y gradients as the pair c of the record. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sLSH.updateNeeded; }

protected:
    QOV_UINT32 currentMatId = 0;  ///< the matrix the hardware uses, 0 for none
    std::list<lsh_mat *> list_grid;

private:
    QOV_RESULT loadMatrix(const LSH_GRID &sGrid, QOV_UINT32 &out_matId, const std::string &filename,
                          double wbScale, QOV_UINT8 bitsPerDif);
    QOV_RESULT updateCIMatrix(const LSH_GRID *pGrid, QOV_UINT8 ui8BitsPerDiff, QOV_UINT32 matId);
    lsh_mat *find(QOV_UINT32 matrixId) const;
    CI_PIPELINE *capturePipeline() const;
};

}  // namespace VOVA

#endif  // VOVA_MODULELSH_H
