// Image enhancer set-up. Each memory colour is an ellipse in the chroma
// plane over a luma window; the ellipse's spreads become integer factors
// that the hardware multiplies, found by a small exhaustive search.
#include "vova/ModuleMIE.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "vova/ModuleOUT.h"
#include "vova/OutputOrder.h"

namespace VOVA {

double mieQuantiseRotation(double x) { return std::ceil(127.5 * x - 0.5) / 128.0; }

void mieExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale)
{
    double sigmaB[4], sigmaR[4];
    double smallest = 510.0;
    for (int s = 0; s < 4; s++) {
        sigmaB[s] = extent[s] * std::sqrt(std::pow(2.0, aspect));
        sigmaR[s] = extent[s] * std::sqrt(std::pow(2.0, -aspect));
        smallest = std::min({smallest, sigmaB[s], sigmaR[s]});
    }
    const double floorSigma = 1.0 / 255.0;
    if (smallest < floorSigma) {
        const double lift = floorSigma / smallest;
        for (int s = 0; s < 4; s++) {
            sigmaB[s] *= lift;
            sigmaR[s] *= lift;
        }
    }
    const double *sigma = aspect >= 0 ? sigmaB : sigmaR;
    const int K = static_cast<int>(std::trunc(std::pow(2.0, aspect >= 0 ? -aspect : aspect) * 256.0)) - 1;

    double best = 50000.0;
    int bestK = 0, bestJ[4] = {0, 0, 0, 0};
    for (int k = 0; k < K; k++) {
        int j[4];
        double total = 0.0;
        for (int s = 0; s < 4; s++) {
            const double t = 255.0 / sigma[s];
            double error = std::fabs(t);
            j[s] = 0;
            for (int c = 1; c <= 254; c++) {
                const double e = std::fabs(c * k - t);
                if (e < error) {
                    error = e;
                    j[s] = c;
                }
            }
            total += error;
        }
        if (k == 0 || total < best) {
            best = total;
            bestK = k;
            std::copy(j, j + 4, bestJ);
        }
    }
    for (int s = 0; s < 4; s++)
        scale[s] = bestJ[s];
    if (aspect >= 0) {
        kb = bestK;
        kr = static_cast<int>(std::floor(std::pow(2.0, aspect) * bestK));
    } else {
        kr = bestK;
        kb = static_cast<int>(std::floor(std::pow(2.0, -aspect) * bestK));
    }
}

void mieLumaWindow(double blackLevel, double yMin, double yMax, double &minY, double &scaleY)
{
    const double lo = 0.25 + 0.5 * (blackLevel + yMin);
    const double hi = 0.25 + 0.5 * yMax;
    minY = lo;
    scaleY = lo < hi ? (1.0 - lo) / (hi - lo) : 16.0;
}

}  // namespace VOVA

// ---------------------------------------------------------------------------
// The module: up to nine described colours, of which the first three enabled
// ones fill the hardware slots.

namespace VOVA {

namespace {

const double CCENTER_DEFAULTS[2] = {0, 0};
const double YGAINS_DEFAULTS[4] = {0, 0, 0, 0};
const double CEXTENT_DEFAULTS[4] = {0.5, 0.5, 0.5, 0.5};
const double PI = 3.14159;

// One family of per-colour keys: read member c into a slot, write a slot as member i.
struct SlotKey {
    std::string family;
    std::function<void(ModuleMIE &, const ParameterList &, unsigned colour, int slot)> load;
    std::function<void(const ModuleMIE &, ParameterList &, ModuleBase::SaveType, int slot)> save;
};

std::vector<std::string> texts(const double *values, unsigned n)
{
    std::vector<std::string> out;
    for (unsigned i = 0; i < n; i++)
        out.push_back(toString(values[i]));
    return out;
}

template <class Def> void saveMemberBound(const Def &def, int slot, ParameterList &list, ModuleBase::SaveType t)
{
    family::saveBound(def.indexed(static_cast<unsigned>(slot)), list, t);
}

SlotKey scalarSlot(const ParamDef<double> &def, double (ModuleMIE::*field)[ModuleMIE::SLOTS])
{
    return {def.name,
            [&def, field](ModuleMIE &m, const ParameterList &list, unsigned colour, int slot) {
                (m.*field)[slot] = list.getParameter(def.indexed(colour));
            },
            [&def, field](const ModuleMIE &m, ParameterList &list, ModuleBase::SaveType t, int slot) {
                if (t == ModuleBase::SAVE_VAL)
                    list.addParameter(def.indexed(slot), (m.*field)[slot], true);
                else
                    saveMemberBound(def, slot, list, t);
            }};
}

SlotKey arraySlot(const ParamDefArray<double> &def, double (ModuleMIE::*field)[ModuleMIE::SLOTS][4])
{
    return {def.name,
            [&def, field](ModuleMIE &m, const ParameterList &list, unsigned colour, int slot) {
                const ParamDefArray<double> member = def.indexed(colour);
                for (unsigned j = 0; j < 4; j++)
                    (m.*field)[slot][j] = list.getParameter(member, j);
            },
            [&def, field](const ModuleMIE &m, ParameterList &list, ModuleBase::SaveType t, int slot) {
                if (t == ModuleBase::SAVE_VAL)
                    list.addParameter(def.indexed(slot), texts((m.*field)[slot], 4), true);
                else
                    saveMemberBound(def, slot, list, t);
            }};
}

// The families after the enabled flag, in the order a colour is read.
const std::vector<SlotKey> &slotKeys()
{
    static const std::vector<SlotKey> keys = {
        {ModuleMIE::MIE_CCENTER_S.name,
         [](ModuleMIE &m, const ParameterList &list, unsigned colour, int slot) {
             const ParamDefArray<double> member = ModuleMIE::MIE_CCENTER_S.indexed(colour);
             m.aCbCenter[slot] = list.getParameter(member, 0);
             m.aCrCenter[slot] = list.getParameter(member, 1);
         },
         [](const ModuleMIE &m, ParameterList &list, ModuleBase::SaveType t, int slot) {
             const double centre[2] = {m.aCbCenter[slot], m.aCrCenter[slot]};
             if (t == ModuleBase::SAVE_VAL)
                 list.addParameter(ModuleMIE::MIE_CCENTER_S.indexed(slot), texts(centre, 2), true);
             else
                 saveMemberBound(ModuleMIE::MIE_CCENTER_S, slot, list, t);
         }},
        arraySlot(ModuleMIE::MIE_YGAINS_S, &ModuleMIE::aYGain),
        arraySlot(ModuleMIE::MIE_CEXTENT_S, &ModuleMIE::aCExtent),
        scalarSlot(ModuleMIE::MIE_YMIN_S, &ModuleMIE::aYMin),
        scalarSlot(ModuleMIE::MIE_YMAX_S, &ModuleMIE::aYMax),
        scalarSlot(ModuleMIE::MIE_CASPECT_S, &ModuleMIE::aCAspect),
        scalarSlot(ModuleMIE::MIE_CROTATION_S, &ModuleMIE::aCRotation),
        scalarSlot(ModuleMIE::MIE_OUT_BRIGHTNESS_S, &ModuleMIE::aOutBrightness),
        scalarSlot(ModuleMIE::MIE_OUT_CONTRAST_S, &ModuleMIE::aOutContrast),
        scalarSlot(ModuleMIE::MIE_OUT_SATURATION_S, &ModuleMIE::aOutStaturation),
        scalarSlot(ModuleMIE::MIE_OUT_HUE_S, &ModuleMIE::aOutHue),
    };
    return keys;
}

QOV_RESULT loadColours(ModuleMIE &m, const ParameterList &list)
{
    checkDeprecated(list);
    const unsigned n = list.getParameter(ModuleMIE::MIE_MEMORY_COLOURS);
    const ParameterList none;
    for (int slot = 0; slot < ModuleMIE::SLOTS; slot++) {
        m.bEnabled[slot] = false;
        for (const SlotKey &key : slotKeys())
            key.load(m, none, 0, slot);
    }
    unsigned count = 0;
    for (unsigned c = 0; c < n; c++) {
        if (!list.getParameter(ModuleMIE::MIE_ENABLED_S.indexed(c)))
            continue;
        if (count < static_cast<unsigned>(ModuleMIE::SLOTS)) {
            const int slot = static_cast<int>(count);
            m.bEnabled[slot] = true;
            for (const SlotKey &key : slotKeys())
                key.load(m, list, c, slot);
        }
        count++;
    }
    if (count > static_cast<unsigned>(ModuleMIE::SLOTS))
        LOG_Warning("load", __LINE__, m.getLoggingName(),
                    "Number of enabled memory colours in parameters is %d while HW only supports %d - the first %d "
                    "were enabled the other ignored.\n",
                    count, ModuleMIE::SLOTS, ModuleMIE::SLOTS);
    return QOV_SUCCESS;
}

void saveColours(const ModuleMIE &m, ParameterList &list, ModuleBase::SaveType t)
{
    if (t == ModuleBase::SAVE_VAL)
        list.addParameter(ModuleMIE::MIE_MEMORY_COLOURS, static_cast<unsigned>(ModuleMIE::SLOTS), true);
    else
        family::saveBound(ModuleMIE::MIE_MEMORY_COLOURS, list, t);
    for (int slot = 0; slot < ModuleMIE::SLOTS; slot++) {
        const ParamDefSingle<bool> enabled = ModuleMIE::MIE_ENABLED_S.indexed(slot);
        if (t == ModuleBase::SAVE_VAL)
            list.addParameter(enabled, m.bEnabled[slot], true);
        else
            family::saveBound(enabled, list, t);
        for (const SlotKey &key : slotKeys())
            key.save(m, list, t, slot);
    }
}

}  // namespace

const ParamDef<double> ModuleMIE::MIE_BLC("MIE_BLACK_LEVEL", 0.0, 1.0, 0.0625);
const ParamDef<unsigned> ModuleMIE::MIE_MEMORY_COLOURS("MIE_MEMORY_COLOURS", 0, COLOURS, 3);
const ParamDefSingle<bool> ModuleMIE::MIE_ENABLED_S("MIE_ENABLED", false);
const ParamDef<double> ModuleMIE::MIE_YMIN_S("MIE_YMIN", 0.0, 1.0, 0.0);
const ParamDef<double> ModuleMIE::MIE_YMAX_S("MIE_YMAX", 0.0, 2.0, 1.0);
const ParamDefArray<double> ModuleMIE::MIE_CCENTER_S("MIE_CCENTER", -0.5, 0.5, CCENTER_DEFAULTS, 2);
const ParamDefArray<double> ModuleMIE::MIE_YGAINS_S("MIE_YGAINS", 0.0, 1.0, YGAINS_DEFAULTS, 4);
const ParamDefArray<double> ModuleMIE::MIE_CEXTENT_S("MIE_CEXTENT", 0.0039, 4.0, CEXTENT_DEFAULTS, 4);
const ParamDef<double> ModuleMIE::MIE_CASPECT_S("MIE_CASPECT", -2.0, 2.0, 0.0);
const ParamDef<double> ModuleMIE::MIE_CROTATION_S("MIE_CROTATION", -1.0, 1.0, 0.0);
const ParamDef<double> ModuleMIE::MIE_OUT_BRIGHTNESS_S("MIE_OUT_BRIGHTNESS", -1.0, 1.0, 0.0);
const ParamDef<double> ModuleMIE::MIE_OUT_CONTRAST_S("MIE_OUT_CONTRAST", 0.0, 4.0, 1.0);
const ParamDef<double> ModuleMIE::MIE_OUT_SATURATION_S("MIE_OUT_SATURATION", 0.0, 4.0, 1.0);
const ParamDef<double> ModuleMIE::MIE_OUT_HUE_S("MIE_OUT_HUE", -1.0, 1.0, 0.0);

void checkDeprecated(const ParameterList &parameters)
{
    static const std::vector<std::string> deprecated = {
        "MIE_MC_ON",         "MIE_MC_YMIN",       "MIE_MC_YMAX",       "MIE_MC_YGAIN_1",    "MIE_MC_YGAIN_2",
        "MIE_MC_YGAIN_3",    "MIE_MC_YGAIN_4",    "MIE_MC_CB0",        "MIE_MC_CR0",        "MIE_MC_CEXTENT_1",
        "MIE_MC_CEXTENT_2",  "MIE_MC_CEXTENT_3",  "MIE_MC_CEXTENT_4",  "MIE_MC_CASPECT",    "MIE_MC_CROTATION",
        "MIE_MC_BRIGHTNESS", "MIE_MC_CONTRAST",   "MIE_MC_SATURATION", "MIE_MC_HUE",
    };
    for (const std::string &key : deprecated)
        if (parameters.exists(key))
            LOG_Warning("checkDeprecated", __LINE__, "VOVA_MOD_MIE", "%s is deprecated! Update your MIE settings.\n",
                        key.c_str());
}

const KeyTable<ModuleMIE> &ModuleMIE::keys()
{
    typedef Keys<ModuleMIE> K;
    static const KeyTable<ModuleMIE> table =
        K::table(K::number(MIE_BLC, &ModuleMIE::fBlackLevel), K::custom(MIE_MEMORY_COLOURS.name, loadColours, saveColours));
    return table;
}

ParameterGroup ModuleMIE::GetGroup()
{
    ParameterGroup group;
    group.header = groupHeader();
    group.parameters.insert(MIE_BLC.name);
    group.parameters.insert(MIE_MEMORY_COLOURS.name);
    for (unsigned c = 0; c < COLOURS; c++) {
        group.parameters.insert(MIE_ENABLED_S.indexed(c).name);
        for (const SlotKey &key : slotKeys())
            group.parameters.insert(key.family + "_" + std::to_string(c));
    }
    return group;
}

ModuleMIE::ModuleMIE() : FamilyModule("VOVA_MOD_MIE") { load(ParameterList()); }

void ModuleMIE::calculateMIEExtentParameters(double aspect, const double *extent, int &kb, int &kr, double *scale)
{
    mieExtentParameters(aspect, extent, kb, kr, scale);
}

QOV_RESULT ModuleMIE::writeRecord(MC_PIPELINE &mc)
{
    const ModuleOUT *out = requireOutputModule(pipeline, getLoggingName());
    if (!out)
        return QOV_ERROR_FAILURE;
    const bool swap = isCbFirstEncoder(out->encoderType);
    MC_MIE &r = mc.sMIE;

    r.fBlackLevel = (fBlackLevel + 0.25) * 256.0;
    r.bMemoryColour = QOV_FALSE;
    for (int i = 0; i < SLOTS; i++) {
        if (bEnabled[i])
            r.bMemoryColour = QOV_TRUE;
        r.aYOffset[i] = (aOutBrightness[i] + 1.0) * 0.5;
        r.aYScale[i] = aOutContrast[i];
        r.aCScale[i] = aOutStaturation[i] * aOutContrast[i];
        const double phi = aOutHue[i] * PI;
        r.aRot[2 * i] = mieQuantiseRotation(std::cos(phi));
        r.aRot[2 * i + 1] = mieQuantiseRotation(std::sin(phi));
        for (int j = 0; j < 4; j++)
            r.aGaussGain[4 * i + j] = bEnabled[i] ? aYGain[i][j] : 0.0;
        mieLumaWindow(fBlackLevel, aYMin[i], aYMax[i], r.aGaussMinY[i], r.aGaussScaleY[i]);
        r.aGaussCB[i] = aCbCenter[i] + 0.5;
        r.aGaussCR[i] = aCrCenter[i] + 0.5;
        const double psi = aCRotation[i] * PI;
        r.aGaussRot[2 * i] = mieQuantiseRotation(std::cos(psi));
        r.aGaussRot[2 * i + 1] = mieQuantiseRotation(std::sin(psi));
        int kb = 0, kr = 0;
        calculateMIEExtentParameters(aCAspect[i], aCExtent[i], kb, kr, &r.aGaussScale[4 * i]);
        r.aGaussKB[i] = kb;
        r.aGaussKR[i] = kr;
        if (swap) {
            r.aRot[2 * i + 1] = -r.aRot[2 * i + 1];
            r.aGaussRot[2 * i + 1] = -r.aGaussRot[2 * i + 1];
            std::swap(r.aGaussCB[i], r.aGaussCR[i]);
            std::swap(r.aGaussKB[i], r.aGaussKR[i]);
        }
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
