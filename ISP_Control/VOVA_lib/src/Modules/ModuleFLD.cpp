// Flicker detection: ten keys; the frame timing follows the sensor when the
// pipeline has one.
#include "vova/ModuleFLD.h"

#include <memory>

#include "vova/Sensor.h"

namespace VOVA {

namespace {

// A number read from the sensor when there is one (as it is, not clamped),
// from its key otherwise; saved as an ordinary number key.
template <class T, class F>
std::unique_ptr<const KeyBinding<ModuleFLD>> timing(const ParamDef<T> &def, F ModuleFLD::*field,
                                                    F (*fromSensor)(const Sensor &))
{
    std::shared_ptr<const KeyBinding<ModuleFLD>> plain = Keys<ModuleFLD>::number(def, field);
    return Keys<ModuleFLD>::custom(
        def.name,
        [plain, field, fromSensor](ModuleFLD &m, const ParameterList &list) {
            if (const Sensor *s = m.sensor()) {
                m.*field = fromSensor(*s);
                return QOV_SUCCESS;
            }
            return plain->load(m, list);
        },
        [plain](const ModuleFLD &m, ParameterList &list, ModuleBase::SaveType t) { plain->save(m, list, t); });
}

double sensorFrameRate(const Sensor &s) { return s.flFrameRate; }
QOV_INT32 sensorVTotal(const Sensor &s) { return static_cast<QOV_INT32>(s.nVTot); }

}  // namespace

const ParamDefSingle<bool> ModuleFLD::FLD_ENABLE("FLD_ENABLE", false);
const ParamDef<double> ModuleFLD::FLD_FRAMERATE("FLD_FRAME_RATE", 1.0, 255.0, 30.0);
const ParamDef<int> ModuleFLD::FLD_VTOT("FLD_VTOT", 0, 16383, 525);
const ParamDef<int> ModuleFLD::FLD_SCENECHANGE("FLD_SCENE_CHANGE_TH", 0, 1048575, 300000);
const ParamDef<int> ModuleFLD::FLD_MINPN("FLD_MIN_PN", 0, 63, 4);
const ParamDef<int> ModuleFLD::FLD_PN("FLD_PN", 0, 63, 16);
const ParamDef<int> ModuleFLD::FLD_NFTH("FLD_NF_TH", 0, 32767, 15000);
const ParamDef<int> ModuleFLD::FLD_COEFDIFF("FLD_COEF_DIFF_TH", 0, 32767, 50);
const ParamDef<int> ModuleFLD::FLD_RSHIFT("FLD_RSHIFT", 0, 63, 10);
const ParamDefSingle<bool> ModuleFLD::FLD_RESET("FLD_RESET", false);

const KeyTable<ModuleFLD> &ModuleFLD::keys()
{
    typedef Keys<ModuleFLD> K;
    static const KeyTable<ModuleFLD> table = K::table(
        K::flag(FLD_ENABLE, &ModuleFLD::bEnable), timing(FLD_FRAMERATE, &ModuleFLD::fFrameRate, sensorFrameRate),
        timing(FLD_VTOT, &ModuleFLD::iVTotal, sensorVTotal), K::number(FLD_SCENECHANGE, &ModuleFLD::iScheneChangeTH),
        K::number(FLD_MINPN, &ModuleFLD::iMinPN), K::number(FLD_PN, &ModuleFLD::iPN),
        K::number(FLD_NFTH, &ModuleFLD::iNF_TH), K::number(FLD_COEFDIFF, &ModuleFLD::iCoeffDiffTH),
        K::number(FLD_RSHIFT, &ModuleFLD::iRShift), K::flag(FLD_RESET, &ModuleFLD::bReset));
    return table;
}

ModuleFLD::ModuleFLD() : FamilyModule("VOVA_MOD_FLD") { load(ParameterList()); }

const Sensor *ModuleFLD::sensor() const { return pipeline ? pipeline->getSensor() : nullptr; }

QOV_RESULT ModuleFLD::writeRecord(MC_PIPELINE &mc)
{
    MC_FLD &fld = mc.sFLD;
    fld.bEnable = bEnable ? QOV_TRUE : QOV_FALSE;
    fld.fFrameRate = fFrameRate;
    fld.ui16VTot = static_cast<QOV_UINT16>(iVTotal);
    fld.ui32SceneChange = static_cast<QOV_UINT32>(iScheneChangeTH);
    fld.ui8MinPN = static_cast<QOV_UINT8>(iMinPN);
    fld.ui8PN = static_cast<QOV_UINT8>(iPN);
    fld.ui16CoefDiff = static_cast<QOV_UINT16>(iCoeffDiffTH);
    fld.ui16NFThreshold = static_cast<QOV_UINT16>(iNF_TH);
    fld.ui8RShift = static_cast<QOV_UINT8>(iRShift);
    fld.bReset = bReset ? QOV_TRUE : QOV_FALSE;
    return QOV_SUCCESS;
}

}  // namespace VOVA
