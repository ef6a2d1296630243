// Imager interface: which part of the sensor image enters the pipeline (the
// capture rectangle, corners inclusive), its decimation, the imager input
// the sensor feeds and its Bayer order. A global module: set up right after
// the output module, before every other one. Unlike the others it needs the
// pipeline's sensor to load and to set up.
#ifndef VOVA_MODULEIIF_H
#define VOVA_MODULEIIF_H

#include <string>

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleIIF : public FamilyModule<ModuleIIF, STP_IIF> {
public:
    static const ParamDefArray<int> IIF_CAPRECT_TL;
    static const ParamDefArray<int> IIF_CAPRECT_BR;
    static const ParamDefArray<int> IIF_DECIMATION;
    static const ParamDefSingle<std::string> IIF_BAYERFMT;

    QOV_UINT32 aDecimation[2];  ///< decimation minus one, x then y
    QOV_UINT32 aCropTL[2];      ///< top-left corner, sensor pixels
    QOV_UINT32 aCropBR[2];      ///< bottom-right corner (inclusive), sensor pixels

    /** Copies the key defaults: loading needs the sensor. */
    ModuleIIF();

    /** Reads the rectangle, limited to the sensor, and the decimation. */
    QOV_RESULT load(const ParameterList &parameters) override;

    static std::string getMosaicString(MOSAICType mosaic);

    static const char *className() { return "ModuleIIF"; }
    static const char *groupHeader() { return "// Imager Interface parameters"; }
    static const KeyTable<ModuleIIF> &keys();
    /** Refuses a rectangle that holds no whole 2x2 cell (top-left right of or below bottom-right). */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sIIF.updateNeeded; }

private:
    const Sensor *sensor() const;
};

}  // namespace VOVA

#endif  // VOVA_MODULEIIF_H
