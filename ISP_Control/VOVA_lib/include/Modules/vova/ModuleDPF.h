// Defective pixels: on-line detection and correction, writing the detected
// defects out as a map, and correcting the pixels of an input map read from
// a file. The module owns the input map; the record borrows it.
#ifndef VOVA_MODULEDPF_H
#define VOVA_MODULEDPF_H

#include <string>

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleDPF : public FamilyModule<ModuleDPF, STP_DPF> {
public:
    static const ParamDefSingle<bool> DPF_DETECT_ENABLE;
    static const ParamDefSingle<bool> DPF_READ_ENABLE;
    static const ParamDefSingle<bool> DPF_WRITE_ENABLE;
    static const ParamDef<int> DPF_THRESHOLD;
    static const ParamDef<double> DPF_WEIGHT;
    static const ParamDefSingle<std::string> DPF_READ_MAP_FILE;

    bool bDetect;                 ///< detect and correct defective pixels on line
    bool bRead;                   ///< correct the pixels of the input map
    bool bWrite;                  ///< write the detected defects out (turns detection on)
    QOV_UINT32 ui32Threshold;     ///< detection threshold, 0 to 63
    double fWeight;               ///< detection weight, 0 to 255
    QOV_UINT16 *pDefectMap;       ///< input map: x, y pairs in file order; owned, null when none
    QOV_UINT32 ui32NbDefects;     ///< pairs in pDefectMap
    std::string readMapFilename;  ///< the file the input map was read from

    ModuleDPF();
    /** Frees the map and makes sure the record no longer points at it. */
    ~ModuleDPF() override;
    ModuleDPF(const ModuleDPF &) = delete;
    ModuleDPF &operator=(const ModuleDPF &) = delete;

    /** An input map with at least one pair is held. */
    bool hasInputMap() const { return pDefectMap && ui32NbDefects != 0; }

    static const char *className() { return "ModuleDPF"; }
    static const char *groupHeader() { return "// Defective Pixels parameters"; }
    static const KeyTable<ModuleDPF> &keys();
    /** The record borrows the input map only when it holds pairs. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sDPF.updateNeeded; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEDPF_H
