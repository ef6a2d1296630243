// Defective pixels: five plain keys and the map-file key, which loads the
// input map once and whose bounds are a placeholder text.
#include "vova/ModuleDPF.h"

#include <cstdlib>

#include "vezaracommon/dpf_map.h"

namespace VOVA {

namespace {
const char *const kMapFileBound = "<HW DPF read file>";
}

const ParamDefSingle<bool> ModuleDPF::DPF_DETECT_ENABLE("DPF_DETECT_ENABLE", false);
const ParamDefSingle<bool> ModuleDPF::DPF_READ_ENABLE("DPF_READ_MAP_ENABLE", false);
const ParamDefSingle<bool> ModuleDPF::DPF_WRITE_ENABLE("DPF_WRITE_MAP_ENABLE", false);
const ParamDef<int> ModuleDPF::DPF_THRESHOLD("DPF_THRESHOLD", 0, 63, 0);
const ParamDef<double> ModuleDPF::DPF_WEIGHT("DPF_WEIGHT", 0.0, 255.0, 16.0);
const ParamDefSingle<std::string> ModuleDPF::DPF_READ_MAP_FILE("DPF_READ_MAP_FILE", "");

const KeyTable<ModuleDPF> &ModuleDPF::keys()
{
    typedef Keys<ModuleDPF> K;
    static const KeyTable<ModuleDPF> table = K::table(
        K::flag(DPF_DETECT_ENABLE, &ModuleDPF::bDetect), K::flag(DPF_READ_ENABLE, &ModuleDPF::bRead),
        K::flag(DPF_WRITE_ENABLE, &ModuleDPF::bWrite), K::number(DPF_THRESHOLD, &ModuleDPF::ui32Threshold),
        K::number(DPF_WEIGHT, &ModuleDPF::fWeight),
        // A map once loaded is kept: the file is read only while none is held.
        K::custom(
            DPF_READ_MAP_FILE.name,
            [](ModuleDPF &m, const ParameterList &list) {
                const Parameter *p = list.getParameter(DPF_READ_MAP_FILE.name);
                if (!p || m.hasInputMap())
                    return QOV_SUCCESS;
                m.readMapFilename = p->getString(0);
                m.ui32NbDefects = 0;
                if (DPF_Load_bin(&m.pDefectMap, &m.ui32NbDefects, m.readMapFilename.c_str()) != QOV_SUCCESS)
                    LOG_Warning("load", __LINE__, m.getLoggingName(),
                                "failed to load the DPF read map - no map will be loaded\n");
                return QOV_SUCCESS;
            },
            [](const ModuleDPF &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t == ModuleBase::SAVE_VAL)
                    list.addParameter(DPF_READ_MAP_FILE, m.readMapFilename, true);
                else if (t == ModuleBase::SAVE_DEF)
                    list.addParameter(Parameter(DPF_READ_MAP_FILE.name, kMapFileBound)
                                          .setInfo(getParameterInfo(DPF_READ_MAP_FILE)),
                                      true);
                else
                    list.addParameter(Parameter(DPF_READ_MAP_FILE.name, kMapFileBound), true);
            }));
    return table;
}

ModuleDPF::ModuleDPF() : FamilyModule("VOVA_MOD_DPF"), pDefectMap(nullptr), ui32NbDefects(0)
{
    load(ParameterList());
}

ModuleDPF::~ModuleDPF()
{
    if (pipeline) {
        MC_PIPELINE *mc = pipeline->getMCPipeline();
        if (mc && mc->sDPF.apDefectInput == pDefectMap) {
            mc->sDPF.apDefectInput = nullptr;
            mc->sDPF.ui32NDefect = 0;
        }
    }
    free(pDefectMap);
}

QOV_RESULT ModuleDPF::writeRecord(MC_PIPELINE &mc)
{
    MC_DPF &dpf = mc.sDPF;
    QOV_UINT8 enable = 0;
    if (bDetect)
        enable = CI_DPF_DETECT_ENABLED;
    if (bWrite)
        enable = CI_DPF_DETECT_ENABLED | CI_DPF_WRITE_MAP_ENABLED;
    if (bRead)
        enable |= CI_DPF_READ_MAP_ENABLED;
    dpf.eDPFEnable = enable;
    for (int d = 0; d < 2; d++) {
        dpf.aSkip[d] = static_cast<QOV_UINT8>(mc.sIIF.ui16ImagerDecimation[d]);
        dpf.aOffset[d] = mc.sIIF.ui16ImagerOffset[d];
    }
    dpf.ui8Threshold = static_cast<QOV_UINT8>(ui32Threshold);
    dpf.fWeight = fWeight;
    // A map without pairs (an empty file) is not lent: the conversion refuses it.
    dpf.apDefectInput = hasInputMap() ? pDefectMap : nullptr;
    dpf.ui32NDefect = hasInputMap() ? ui32NbDefects : 0;
    return QOV_SUCCESS;
}

}  // namespace VOVA
