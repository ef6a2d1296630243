// The lens-shading control: a table of calibrated lens-shading grids by
// colour temperature, registered as matrices of the owner pipeline's
// lens-shading module when the parameters are loaded; on every shot the
// temperature the white-balance control has just measured picks the grid of
// the nearest calibration temperature, and the module switches to it when
// the choice changes. No interpolation, no statistics.
#ifndef VOVA_CONTROLLSH_H
#define VOVA_CONTROLLSH_H

#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vezaracommon/lsh_grid.h"
#include "vova/ControlFamily.h"

namespace VOVA {

class ControlAWB;
class ModuleLSH;

/**
 * The entry of the nearest calibration temperature in [first, last)
 * (ascending by kelvin(entry), not empty): walking up, the upper of two
 * neighbours is taken when the temperature lies above their midpoint
 * T1 + (T2 - T1) / 2 in integer arithmetic; a temperature on a midpoint
 * keeps the lower one.
 */
template <class It, class Kelvin> It nearestTemperature(It first, It last, unsigned int temperature, Kelvin kelvin)
{
    It choice = first;
    for (It next = std::next(first); next != last; choice = next++) {
        const unsigned int low = kelvin(*choice), high = kelvin(*next);
        if (low + (high - low) / 2 >= temperature)
            break;
    }
    return choice;
}

class ControlLSH : public FamilyControl<ControlLSH, CTRL_LSH> {
public:
    enum InterpolationAlgorithm { LINEAR = 0, EXPONENTIAL = 1 };

    /** One calibration grid: its matrix in the module, its file and its white-balance scale. */
    struct GridInfo {
        QOV_UINT32 matrixId;  ///< 0 while not registered
        std::string filename;  ///< empty for a grid handed over in memory
        double scaledWB;

        GridInfo(const std::string &filename, double scaledWb);
        /** The file and scale keys of index i. */
        GridInfo(const ParameterList &params, int i);
    };
    typedef std::map<unsigned int, GridInfo> GridMap;

    static const ParamDef<int> LSH_CORRECTIONS;
    static const ParamDef<int> LSH_CTRL_BITS_DIFF;
    static const ParamDef<unsigned int> LSH_CTRL_TEMPERATURE_S;
    static const ParamDefSingle<std::string> LSH_FILE_S;
    static const ParamDef<double> LSH_CTRL_SCALE_WB_S;
    static const std::string LSH_CTRL_FILE_DEF;

    explicit ControlLSH(const std::string &logtag);
    ~ControlLSH() override;

    static const char *className() { return "ControlLSH"; }
    static const char *groupHeader() { return "// Lens shading correction parameters"; }
    /** The table's keys are numbered: load and save handle them, not the family's bindings. */
    static const KeyTable<ControlLSH> &keys();
    /** The header, the two counts and the three numbered keys of every index 0 to 199. */
    static ParameterGroup getGroup();

    /**
     * Reads the table and registers every grid in the owner's lens-shading
     * module; the matrices of the previous load are released first.
     */
    QOV_RESULT load(const ParameterList &parameters) override;
    QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const override;
    std::ostream &printState(std::ostream &os) const override;
    /** Hands the chosen matrix to the owner's module; the module's refusal is returned. */
    QOV_RESULT programCorrection() override;
    /** Enabled and linked to a white-balance control. */
    bool isEnabled() const override;
    /** Follows the white-balance control's temperature; a matrix the module refuses is tried again next shot. */
    QOV_RESULT update(const Metadata &metadata) override;
    QOV_RESULT configureStatistics() override { return QOV_SUCCESS; }
    bool hasConverged() const override { return false; }

    void registerCtrlAWB(ControlAWB *pAWB) { pCtrlAWB = pAWB; }
    /** Programs the lowest-temperature grid when the module has no matrix yet: its id, 0, or -1. */
    QOV_INT32 configureDefaultMatrix();
    QOV_INT32 chooseMatrix(unsigned int temperature, InterpolationAlgorithm algo) const;
    QOV_RESULT addMatrix(unsigned int temperature, const LSH_GRID &sGrid, QOV_UINT32 &matrixId, double wbScale,
                         QOV_UINT8 ui8BitsPerDiff);
    QOV_RESULT addMatrix(unsigned int temperature, const std::string &filename, QOV_UINT32 &matrixId, double wbScale,
                         QOV_UINT8 ui8BitsPerDiff);
    QOV_RESULT removeMatrix(QOV_UINT32 matrixId);
    QOV_RESULT addMatrixInfo(unsigned int temperature, const GridInfo &info);

    QOV_UINT32 getChosenMatrixId() const { return chosenMatrixId; }
    QOV_UINT32 getChosenTemperature() const;
    QOV_UINT32 getTemperature(QOV_UINT32 matrixId) const;
    QOV_UINT32 getMatrixId(unsigned int temperature) const;
    double getScaleWB(unsigned int temperature) const;
    InterpolationAlgorithm getAlgorithm() const { return algorithm; }
    QOV_UINT32 getLoadedGrids() const { return static_cast<QOV_UINT32>(grids.size()); }
    void getMatrixIds(std::vector<unsigned int> &ids) const;

    /** The table keys into `grids` (not emptied first) and the bits per difference; no file is opened. */
    static QOV_RESULT loadMatrices(const ParameterList &parameters, GridMap &grids, QOV_UINT8 &maxBitsPerDiff);
    /** The largest minimum bits per difference of the readable grid files; 0 when none can be read. */
    static QOV_UINT8 findBiggestBitsPerDiff(const GridMap &grids);
    /**
     * Bits per difference below 4 are computed from the grids (with a
     * warning naming the value found); outside 4 to 10 afterwards:
     * QOV_ERROR_NOT_SUPPORTED with an error. Messages under `tag`.
     */
    static QOV_RESULT settleBitsPerDiff(const GridMap &grids, QOV_UINT8 &bitsPerDiff, const char *tag,
                                        const char *function);

protected:
    QOV_UINT32 illuminantTemperature;
    GridMap grids;
    InterpolationAlgorithm algorithm;
    QOV_UINT32 chosenMatrixId;
    ControlAWB *pCtrlAWB;
    QOV_UINT8 maxBitsPerDiff;

private:
    ModuleLSH *lshModule() const;
    /** The temperature whose grid has the id, or none. */
    const GridMap::value_type *findMatrix(QOV_UINT32 matrixId) const;
    /** Frees, in the module, the matrices this control registered. */
    void releaseRegistered(ModuleLSH &module);

    std::set<QOV_UINT32> registeredIds;  ///< matrices this control registered and has not removed
};

}  // namespace VOVA

#endif  // VOVA_CONTROLLSH_H
