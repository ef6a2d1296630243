// Output formats: format-name tables, the seven keys and the formats written
// into MC_PIPELINE by what the hardware supports.
#include "vova/ModuleOUT.h"

#include <vector>

#include "vova/ModuleDPF.h"
#include "vova/ModuleFLD.h"
#include "vova/ModuleFOS.h"
#include "vova/ModuleHIS.h"
#include "vova/ModuleWBS.h"
#include "vova/Pipeline.h"

#define LOG_TAG "VOVA_MOD_GLOB"

namespace VOVA {

namespace {

struct NamedFormat {
    std::string name;
    pxlFormat format;
};

// Encoder and packed 4:4:4 names are the common library's names of the formats.
const std::vector<NamedFormat> &encoderTable()
{
    static const std::vector<NamedFormat> table = [] {
        std::vector<NamedFormat> t;
        for (int f = YVU_420_PL12_8; f <= YUV_422_PL12_10; f++)
            t.push_back({FormatString(static_cast<pxlFormat>(f)), static_cast<pxlFormat>(f)});
        return t;
    }();
    return table;
}

const std::vector<NamedFormat> &deprecatedEncoderTable()
{
    static const std::vector<NamedFormat> table = {
        {"420PL12YUV8", YVU_420_PL12_8},
        {"422PL12YUV8", YVU_422_PL12_8},
        {"420PL12YUV10", YVU_420_PL12_10},
        {"422PL12YUV10", YVU_422_PL12_10},
    };
    return table;
}

const std::vector<NamedFormat> &displayTable()
{
    static const std::vector<NamedFormat> table = [] {
        std::vector<NamedFormat> t = {
            {"RGB888_24", RGB_888_24},       {"RGB888_32", RGB_888_32},   {"RGB101010_32", RGB_101010_32},
            {"BGR888_24", BGR_888_24},       {"BGR888_32", BGR_888_32},   {"BGR101010_32", BGR_101010_32},
            {"BGR161616_64", BGR_161616_64},
        };
        for (int f = PXL_ISP_444IL3YCrCb8; f <= PXL_ISP_444IL3YCbCr10; f++)
            t.push_back({FormatString(static_cast<pxlFormat>(f)), static_cast<pxlFormat>(f)});
        return t;
    }();
    return table;
}

const std::vector<NamedFormat> &bayerTable()
{
    static const std::vector<NamedFormat> table = {
        {"BAYER8", BAYER_RGGB_8},   {"BAYER10", BAYER_RGGB_10}, {"BAYER12", BAYER_RGGB_12},
        {"TIFF10", BAYER_TIFF_10},  {"TIFF12", BAYER_TIFF_12},
    };
    return table;
}

pxlFormat lookUp(const std::vector<NamedFormat> &table, const std::string &name, bool failIfInvalid)
{
    if (name == "NONE")
        return PXL_NONE;
    for (const NamedFormat &entry : table)
        if (entry.name == name)
            return entry.format;
    return failIfInvalid ? PXL_INVALID : PXL_NONE;
}

// "{NONE, a, b}" from the formats given.
std::string nameList(std::initializer_list<pxlFormat> formats)
{
    std::string list("{");
    list += ModuleOUT::getPixelFormatString(PXL_NONE);
    for (pxlFormat f : formats) {
        list += ", ";
        list += ModuleOUT::getPixelFormatString(f);
    }
    list += "}";
    return list;
}

std::string rangeList(int first, int last)
{
    std::string list("{");
    list += ModuleOUT::getPixelFormatString(PXL_NONE);
    for (int f = first; f <= last; f++) {
        list += ", ";
        list += ModuleOUT::getPixelFormatString(static_cast<pxlFormat>(f));
    }
    list += "}";
    return list;
}

// The pipeline's module of class M, or null when it has none.
template <class M> const M *registered(const Pipeline &pipeline)
{
    return dynamic_cast<const M *>(pipeline.getModule(M::id));
}

// Whether any statistics block of the pipeline is switched on.
bool anyStatisticsOn(const Pipeline &pipeline)
{
    const ModuleFOS *fos = registered<ModuleFOS>(pipeline);
    const ModuleHIS *his = registered<ModuleHIS>(pipeline);
    const ModuleWBS *wbs = registered<ModuleWBS>(pipeline);
    const ModuleFLD *fld = registered<ModuleFLD>(pipeline);
    const ModuleDPF *dpf = registered<ModuleDPF>(pipeline);
    return (fos && (fos->bEnableROI || fos->bEnableGrid)) || (his && (his->bEnableGlobal || his->bEnableROI)) ||
           (wbs && wbs->ui32NROIEnabled != 0) || (fld && fld->bEnable) || (dpf && dpf->bWrite);
}

// A format key of the table: its field written by name; SAVE_DEF lists the names it takes.
std::unique_ptr<const KeyBinding<ModuleOUT>> formatKey(const ParamDefSingle<std::string> &def,
                                                      pxlFormat ModuleOUT::*field, std::string (*info)())
{
    return Keys<ModuleOUT>::custom(def.name, nullptr, [&def, field, info](const ModuleOUT &m, ParameterList &list,
                                                                         ModuleBase::SaveType t) {
        if (t == ModuleBase::SAVE_VAL) {
            list.addParameter(def, ModuleOUT::getPixelFormatString(m.*field), true);
        } else if (t == ModuleBase::SAVE_DEF) {
            Parameter p(def.name, def.def);
            p.setInfo(info());
            list.addParameter(p, true);
        } else {
            family::saveBound(def, list, t);
        }
    });
}

}  // namespace

const ParamDefSingle<std::string> ModuleOUT::ENCODER_TYPE("OUT_ENC", "NONE");
const ParamDefSingle<std::string> ModuleOUT::DISPLAY_TYPE("OUT_DISP", "NONE");
const ParamDefSingle<std::string> ModuleOUT::DATAEXTRA_TYPE("OUT_DE", "NONE");
const ParamDef<int> ModuleOUT::DATAEXTRA_POINT("OUT_DE_POINT", 1, 3, 1);
const ParamDefSingle<std::string> ModuleOUT::HDREXTRA_TYPE("OUT_DE_HDF", "NONE");
const ParamDefSingle<std::string> ModuleOUT::HDRINS_TYPE("OUT_DI_HDF", "NONE");
const ParamDefSingle<std::string> ModuleOUT::RAW2DEXTRA_TYPE("OUT_DE_RAW2D", "NONE");

const KeyTable<ModuleOUT> &ModuleOUT::keys()
{
    typedef Keys<ModuleOUT> K;
    static const KeyTable<ModuleOUT> table = K::table(
        formatKey(ENCODER_TYPE, &ModuleOUT::encoderType, [] { return rangeList(YVU_420_PL12_8, YUV_422_PL12_10); }),
        formatKey(DISPLAY_TYPE, &ModuleOUT::displayType,
                  [] {
                      return nameList({RGB_888_24, RGB_888_32, RGB_101010_32, BGR_888_24, BGR_888_32, BGR_101010_32,
                                       PXL_ISP_444IL3YCrCb8, PXL_ISP_444IL3YCbCr8, PXL_ISP_444IL3YCrCb10,
                                       PXL_ISP_444IL3YCbCr10});
                  }),
        formatKey(DATAEXTRA_TYPE, &ModuleOUT::dataExtractionType,
                  [] { return nameList({BAYER_RGGB_8, BAYER_RGGB_10, BAYER_RGGB_12}); }),
        K::number(DATAEXTRA_POINT, &ModuleOUT::dataExtractionPoint, -1),
        formatKey(HDREXTRA_TYPE, &ModuleOUT::hdrExtractionType, [] { return nameList({BGR_101010_32}); }),
        formatKey(HDRINS_TYPE, &ModuleOUT::hdrInsertionType, [] { return nameList({BGR_161616_64}); }),
        formatKey(RAW2DEXTRA_TYPE, &ModuleOUT::raw2DExtractionType,
                  [] { return nameList({BAYER_TIFF_10, BAYER_TIFF_12}); }));
    return table;
}

ModuleOUT::ModuleOUT() : FamilyModule("VOVA_MOD_GLOB") { load(ParameterList()); }

pxlFormat ModuleOUT::getPixelFormatEncoder(const std::string &name, bool failIfInvalid)
{
    for (const NamedFormat &entry : deprecatedEncoderTable()) {
        if (entry.name == name) {
            LOG_Warning(__func__, __LINE__, LOG_TAG, "deprecated %s format used - use %s instead\n", name.c_str(),
                        getPixelFormatString(entry.format).c_str());
            return entry.format;
        }
    }
    return lookUp(encoderTable(), name, failIfInvalid);
}

pxlFormat ModuleOUT::getPixelFormatDisplay(const std::string &name, bool failIfInvalid)
{
    return lookUp(displayTable(), name, failIfInvalid);
}

pxlFormat ModuleOUT::getPixelFormatBayer(const std::string &name, bool failIfInvalid)
{
    return lookUp(bayerTable(), name, failIfInvalid);
}

pxlFormat ModuleOUT::getPixelFormat(const std::string &name)
{
    pxlFormat f = getPixelFormatEncoder(name, false);
    if (f == PXL_NONE)
        f = getPixelFormatDisplay(name, false);
    if (f == PXL_NONE)
        f = getPixelFormatBayer(name, false);
    return f;
}

std::string ModuleOUT::getPixelFormatString(pxlFormat format)
{
    if (format == PXL_NONE)
        return "NONE";
    for (const auto *table : {&encoderTable(), &displayTable(), &bayerTable()})
        for (const NamedFormat &entry : *table)
            if (entry.format == format)
                return entry.name;
    return FormatString(format);
}

QOV_RESULT ModuleOUT::load(const ParameterList &parameters)
{
    encoderType = getPixelFormatEncoder(parameters.getParameter(ENCODER_TYPE), true);
    displayType = getPixelFormatDisplay(parameters.getParameter(DISPLAY_TYPE), true);
    dataExtractionType = getPixelFormat(parameters.getParameter(DATAEXTRA_TYPE));
    const int point = parameters.getParameter(DATAEXTRA_POINT) - 1;
    dataExtractionPoint = static_cast<CI_INOUT_POINTS>(point);
    const bool formatOff = dataExtractionType == PXL_NONE;
    const bool pointOff = dataExtractionPoint == CI_INOUT_NONE;
    if (formatOff != pointOff)
        LOG_Warning("load", __LINE__, LOG_TAG,
                    "DE point %d forced to NONE and DE format %s forced to NONE because one of them is NONE\n", point,
                    formatOff ? "NONE" : FormatString(dataExtractionType));
    if (formatOff || pointOff) {
        dataExtractionType = PXL_NONE;
        dataExtractionPoint = CI_INOUT_NONE;
    }
    hdrExtractionType = getPixelFormat(parameters.getParameter(HDREXTRA_TYPE));
    hdrInsertionType = getPixelFormat(parameters.getParameter(HDRINS_TYPE));
    raw2DExtractionType = getPixelFormat(parameters.getParameter(RAW2DEXTRA_TYPE));
    for (pxlFormat f : {encoderType, displayType, dataExtractionType, hdrExtractionType, hdrInsertionType,
                        raw2DExtractionType}) {
        if (f == PXL_INVALID) {
            LOG_Error("load", __LINE__, LOG_TAG, "INVALID PIXEL FORMAT \n");
            return QOV_ERROR_INVALID_ARGUMENT;
        }
    }
    return QOV_SUCCESS;
}

void ModuleOUT::wholeImageRegion(const MC_IIF &iif, QOV_UINT32 start[2], QOV_UINT32 end[2])
{
    for (int i = 0; i < 2; i++) {
        start[i] = 0;
        const QOV_UINT32 pixels = 2u * iif.ui16ImagerSize[i];
        end[i] = pixels ? pixels - 1 : 0;
    }
}

QOV_RESULT ModuleOUT::writeRecord(MC_PIPELINE &mc)
{
    PIXELTYPE type{};
    mc.eEncOutput = encoderType;
    mc.eDispOutput = PXL_NONE;
    mc.eDEPoint = CI_INOUT_NONE;
    if (PixelTransformDisplay(&type, displayType) == QOV_SUCCESS) {
        mc.eDispOutput = displayType;
    } else if (dataExtractionPoint != CI_INOUT_NONE && dataExtractionType != PXL_NONE) {
        mc.eDEPoint = dataExtractionPoint;
        mc.eDispOutput = dataExtractionType;
    }

    const CI_CONNECTION *connection = pipeline->getConnection();
    const CI_HWINFO *hw = connection ? &connection->sHWInfo : nullptr;
    const QOV_UINT32 functions = hw ? hw->eFunctionalities : 0;
    const int major = hw ? hw->rev_ui8Major : 0;
    const int minor = hw ? hw->rev_ui8Minor : 0;
    struct Capability {
        QOV_UINT32 bit;
        pxlFormat requested;
        pxlFormat *target;
        const char *message;
    } const capabilities[] = {
        {CI_INFO_SUPPORTED_HDR_EXT, hdrExtractionType, &mc.eHDRExtOutput,
         "HDR Extraction format ignored because HW %d.%d does not support it\n"},
        {CI_INFO_SUPPORTED_HDR_INS, hdrInsertionType, &mc.eHDRInsertion,
         "HDR Insertion format ignored because HW %d.%d does not support it\n"},
        {CI_INFO_SUPPORTED_RAW2D_EXT, raw2DExtractionType, &mc.eRaw2DExtOutput,
         "RAW2D Extraction format ignored because HW %d.%d does not support it\n"},
    };
    for (const Capability &c : capabilities) {
        if (functions & c.bit) {
            *c.target = c.requested;
        } else {
            if (c.requested != PXL_NONE)
                LOG_Warning("setup", __LINE__, LOG_TAG, c.message, major, minor);
            *c.target = PXL_NONE;
        }
    }
    // The hardware produces no data extraction at the filter line store
    // alone unless a statistics block runs: switch the focus region on.
    const bool deAlone = dataExtractionPoint == CI_INOUT_FILTER_LINESTORE && dataExtractionType != PXL_NONE &&
                         encoderType == PXL_NONE && hdrExtractionType == PXL_NONE &&
                         raw2DExtractionType == PXL_NONE;
    if (deAlone && !anyStatisticsOn(*pipeline)) {
        if (auto *fos = dynamic_cast<ModuleFOS *>(pipeline->getModule(STP_FOS))) {
            LOG_Warning("setup", __LINE__, LOG_TAG, "DE workaround: enabling FOS because only DE point 2 enabled.\n");
            fos->bEnableROI = true;
            wholeImageRegion(mc.sIIF, fos->aRoiStartCoord, fos->aRoiEndCoord);
            fos->requestUpdate();
        }
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
