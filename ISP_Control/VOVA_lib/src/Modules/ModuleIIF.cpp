// Imager interface: the capture rectangle and decimation, limited to the
// sensor, and the imager record in 2x2 cells.
#include "vova/ModuleIIF.h"

#include <algorithm>

#include "vova/Sensor.h"

#define LOG_TAG "VOVA_MOD_IIF"

namespace VOVA {

namespace {
const int kZero[2] = {0, 0};
const int kOne[2] = {1, 1};

// The names of the Bayer orders as the setup file writes them.
const MOSAICType kMosaics[] = {MOSAIC_RGGB, MOSAIC_GRBG, MOSAIC_GBRG, MOSAIC_BGGR};

std::string mosaicList()
{
    std::string list("{");
    for (size_t i = 0; i < sizeof(kMosaics) / sizeof(kMosaics[0]); i++) {
        if (i)
            list += ", ";
        list += ModuleIIF::getMosaicString(kMosaics[i]);
    }
    list += "}";
    return list;
}
}  // namespace

const ParamDefArray<int> ModuleIIF::IIF_CAPRECT_TL("IIF_CAP_RECT_TL", 0, 8192, kZero, 2);
const ParamDefArray<int> ModuleIIF::IIF_CAPRECT_BR("IIF_CAP_RECT_BR", 0, 8192, kZero, 2);
const ParamDefArray<int> ModuleIIF::IIF_DECIMATION("IIF_DECIMATION", 1, 16, kOne, 2);
const ParamDefSingle<std::string> ModuleIIF::IIF_BAYERFMT("IIF_BAYER_FORMAT", "RGGB");

const KeyTable<ModuleIIF> &ModuleIIF::keys()
{
    typedef Keys<ModuleIIF> K;
    static const KeyTable<ModuleIIF> table = K::table(
        // Each corner coordinate is limited to the sensor: the top-left may
        // reach the sensor size, the bottom-right stops at the last pixel
        // and defaults to it.
        K::custom(
            IIF_CAPRECT_TL.name,
            [](ModuleIIF &m, const ParameterList &list) {
                const Sensor *s = m.sensor();
                const int limit[2] = {static_cast<int>(s->uiWidth), static_cast<int>(s->uiHeight)};
                for (unsigned i = 0; i < 2; i++)
                    m.aCropTL[i] = static_cast<QOV_UINT32>(std::min(list.getParameter(IIF_CAPRECT_TL, i), limit[i]));
                return QOV_SUCCESS;
            },
            [](const ModuleIIF &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t != ModuleBase::SAVE_VAL)
                    return family::saveBound(IIF_CAPRECT_TL, list, t);
                list.addParameter(IIF_CAPRECT_TL, {toString(m.aCropTL[0]), toString(m.aCropTL[1])}, true);
            }),
        K::custom(
            IIF_CAPRECT_BR.name,
            [](ModuleIIF &m, const ParameterList &list) {
                const Sensor *s = m.sensor();
                const int size[2] = {static_cast<int>(s->uiWidth), static_cast<int>(s->uiHeight)};
                for (unsigned i = 0; i < 2; i++) {
                    const int whole = std::clamp(size[i], IIF_CAPRECT_BR.min, IIF_CAPRECT_BR.max) - 1;
                    const int value = list.getParameter<int>(IIF_CAPRECT_BR.name, static_cast<int>(i),
                                                             IIF_CAPRECT_BR.min, IIF_CAPRECT_BR.max, whole);
                    m.aCropBR[i] = static_cast<QOV_UINT32>(std::min(value, size[i] - 1));
                }
                return QOV_SUCCESS;
            },
            [](const ModuleIIF &m, ParameterList &list, ModuleBase::SaveType t) {
                if (t != ModuleBase::SAVE_VAL)
                    return family::saveBound(IIF_CAPRECT_BR, list, t);
                list.addParameter(IIF_CAPRECT_BR, {toString(m.aCropBR[0]), toString(m.aCropBR[1])}, true);
            }),
        K::array(IIF_DECIMATION, &ModuleIIF::aDecimation, -1),
        // Written from the sensor, never read.
        K::custom(IIF_BAYERFMT.name, nullptr, [](const ModuleIIF &m, ParameterList &list, ModuleBase::SaveType t) {
            if (t == ModuleBase::SAVE_VAL) {
                if (const Sensor *s = m.sensor())
                    list.addParameter(IIF_BAYERFMT, getMosaicString(s->eBayerFormat), true);
                else
                    LOG_Warning("save", __LINE__, LOG_TAG,
                                "Cannot save sensor's Bayer format as attached pipeline does not have a sensor!\n");
            } else if (t == ModuleBase::SAVE_DEF) {
                Parameter p(IIF_BAYERFMT.name, IIF_BAYERFMT.def);
                p.setInfo(mosaicList());
                list.addParameter(p, true);
            } else {
                family::saveBound(IIF_BAYERFMT, list, t);
            }
        }));
    return table;
}

ModuleIIF::ModuleIIF() : FamilyModule("VOVA_MOD_IIF")
{
    for (unsigned i = 0; i < 2; i++) {
        aDecimation[i] = static_cast<QOV_UINT32>(IIF_DECIMATION.defaultOf(i) - 1);
        aCropTL[i] = static_cast<QOV_UINT32>(IIF_CAPRECT_TL.defaultOf(i));
        aCropBR[i] = static_cast<QOV_UINT32>(IIF_CAPRECT_BR.defaultOf(i));
    }
}

const Sensor *ModuleIIF::sensor() const { return pipeline ? pipeline->getSensor() : nullptr; }

std::string ModuleIIF::getMosaicString(MOSAICType mosaic)
{
    switch (mosaic) {
    case MOSAIC_GRBG:
        return "GRBG";
    case MOSAIC_GBRG:
        return "GBRG";
    case MOSAIC_BGGR:
        return "BGGR";
    default:
        return "RGGB";
    }
}

QOV_RESULT ModuleIIF::load(const ParameterList &parameters)
{
    if (!pipeline) {
        LOG_Error("load", __LINE__, LOG_TAG, "Pipeline pointer not setup!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    if (!sensor()) {
        LOG_Error("load", __LINE__, LOG_TAG, "Pipeline does not have a sensor to get information from!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    return loadKeys(parameters);
}

QOV_RESULT ModuleIIF::writeRecord(MC_PIPELINE &mc)
{
    const Sensor *s = sensor();
    if (!s) {
        LOG_Error("setup", __LINE__, LOG_TAG, "Pipeline does not have a sensor to get information from!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    QOV_UINT32 cells[2];
    for (unsigned i = 0; i < 2; i++) {
        // Both corners are inclusive: the rectangle spans BR - TL + 1 pixels.
        const QOV_INT64 span = static_cast<QOV_INT64>(aCropBR[i]) - aCropTL[i] + 2;
        const QOV_INT64 n = span > 0 ? span / (2 * (static_cast<QOV_INT64>(aDecimation[i]) + 1)) : 0;
        if (n < 1 || n > 0xFFFF) {
            LOG_Error("setup", __LINE__, LOG_TAG,
                      "Capture rectangle (%u, %u) to (%u, %u) with decimation %u x %u holds no whole 2x2 cell\n",
                      aCropTL[0], aCropTL[1], aCropBR[0], aCropBR[1], aDecimation[0] + 1, aDecimation[1] + 1);
            return QOV_ERROR_INVALID_ARGUMENT;
        }
        cells[i] = static_cast<QOV_UINT32>(n);
    }
    mc.sIIF.ui8Imager = static_cast<QOV_UINT8>(s->uiImager);
    mc.sIIF.eBayerFormat = s->eBayerFormat;
    for (unsigned i = 0; i < 2; i++) {
        mc.sIIF.ui16ImagerOffset[i] = static_cast<QOV_UINT16>(aCropTL[i]);
        mc.sIIF.ui16ImagerDecimation[i] = static_cast<QOV_UINT16>(aDecimation[i]);
        mc.sIIF.ui16ImagerSize[i] = static_cast<QOV_UINT16>(cells[i]);
    }
    mc.sIIF.ui8BlackBorderOffset = 0;
    return QOV_SUCCESS;
}

}  // namespace VOVA
