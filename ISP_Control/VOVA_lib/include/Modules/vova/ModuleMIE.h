// Image enhancer set-up: black level and the three memory-colour slots
// (luma range and gains, chroma ellipse, output brightness, contrast,
// saturation and hue).
#ifndef VOVA_MODULEMIE_H
#define VOVA_MODULEMIE_H

#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleMIE : public FamilyModule<ModuleMIE, STP_MIE> {
public:
    static constexpr int SLOTS = 3;          ///< memory colours the hardware has
    static constexpr unsigned COLOURS = 9;   ///< memory colours a setup file may describe

    static const ParamDef<double> MIE_BLC;
    static const ParamDef<unsigned> MIE_MEMORY_COLOURS;
    // Families: member c is the key "<text>_c" of colour c.
    static const ParamDefSingle<bool> MIE_ENABLED_S;
    static const ParamDef<double> MIE_YMIN_S;
    static const ParamDef<double> MIE_YMAX_S;
    static const ParamDefArray<double> MIE_CCENTER_S;
    static const ParamDefArray<double> MIE_YGAINS_S;
    static const ParamDefArray<double> MIE_CEXTENT_S;
    static const ParamDef<double> MIE_CASPECT_S;
    static const ParamDef<double> MIE_CROTATION_S;
    static const ParamDef<double> MIE_OUT_BRIGHTNESS_S;
    static const ParamDef<double> MIE_OUT_CONTRAST_S;
    static const ParamDef<double> MIE_OUT_SATURATION_S;
    static const ParamDef<double> MIE_OUT_HUE_S;

    double fBlackLevel;  ///< full range 1.0
    bool bEnabled[SLOTS];
    double aYGain[SLOTS][4];
    double aYMin[SLOTS];
    double aYMax[SLOTS];
    double aCbCenter[SLOTS];
    double aCrCenter[SLOTS];
    double aCExtent[SLOTS][4];
    double aCAspect[SLOTS];    ///< the Cb spread is 2^aspect times the Cr spread
    double aCRotation[SLOTS];  ///< in units of pi
    double aOutBrightness[SLOTS];
    double aOutContrast[SLOTS];
    double aOutStaturation[SLOTS];
    double aOutHue[SLOTS];     ///< in units of pi

    ModuleMIE();

    static void calculateMIEExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale);

    /** The header, the two single keys and the families of the nine colours. */
    static ParameterGroup GetGroup();
    static ParameterGroup getGroup() { return GetGroup(); }
    static const char *className() { return "ModuleMIE"; }
    static const char *groupHeader() { return "// Image Enhancer parameters"; }
    static const KeyTable<ModuleMIE> &keys();
    /** Needs the output module for the encoder's chroma order. */
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    QOV_BOOL8 *recordFlag(MC_PIPELINE &mc) { return &mc.sMIE.updateNeeded; }
};

/** Warns for each deprecated memory-colour key present in the list. */
void checkDeprecated(const ParameterList &parameters);

/** The rotation quantiser of the enhancer: ceil(127.5 x - 0.5) / 128. */
double mieQuantiseRotation(double x);

/**
 * Integer extent factors kb, kr of a colour and its four slice scales, by an
 * exhaustive search for k and j0..j3 with k js closest to 255 / sigma_s.
 */
void mieExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale);

/** Luma window of a slot: its lowest normalised luma and the scale over its range. */
void mieLumaWindow(double blackLevel, double yMin, double yMax, double &minY, double &scaleY);

}  // namespace VOVA

#endif  // VOVA_MODULEMIE_H
