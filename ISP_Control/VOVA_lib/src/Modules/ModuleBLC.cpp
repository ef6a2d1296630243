// Black-level correction: two keys, and offsets written as the negated
// sensor black.
#include "vova/ModuleBLC.h"

#include <algorithm>

namespace VOVA {

namespace {
const int kSensorBlackDefaults[4] = {127, 127, 127, 127};
}

const ParamDefArray<int> ModuleBLC::BLC_SENSOR_BLACK("BLC_SENSOR_BLACK", -128, 127, kSensorBlackDefaults, 4);
const ParamDef<int> ModuleBLC::BLC_SYS_BLACK("BLC_SYS_BLACK", 0, 32767, 64);

const KeyTable<ModuleBLC> &ModuleBLC::keys()
{
    typedef Keys<ModuleBLC> K;
    static const KeyTable<ModuleBLC> table = K::table(K::array(BLC_SENSOR_BLACK, &ModuleBLC::aSensorBlack),
                                                      K::number(BLC_SYS_BLACK, &ModuleBLC::ui32SystemBlack));
    return table;
}

ModuleBLC::ModuleBLC() : FamilyModule("VOVA_MOD_BLC") { load(ParameterList()); }

QOV_RESULT ModuleBLC::writeRecord(MC_PIPELINE &mc)
{
    mc.sBLC.bBlackFrame = QOV_FALSE;
    mc.sBLC.bRowAverage = QOV_FALSE;
    // A black of -128 would negate to +128, which the signed field cannot hold.
    for (int i = 0; i < 4; i++)
        mc.sBLC.aFixedOffset[i] = static_cast<QOV_INT8>(std::clamp(-aSensorBlack[i], -128, 127));
    mc.ui16SystemBlackLevel = static_cast<QOV_UINT16>(ui32SystemBlack);
    mc.sBLC.ui16PixelMax = 64.0;
    return QOV_SUCCESS;
}

}  // namespace VOVA
