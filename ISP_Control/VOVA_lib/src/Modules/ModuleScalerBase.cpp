// Scaler set-up. A pitch below 1 asks for the pitch that maps the image onto
// the requested output size; the output then follows from the rectangle and
// the pitch, and must not make the scaler read outside the image.
#include "vova/ModuleScalerBase.h"

namespace VOVA {

namespace {
const ScalerRectType RECT_TYPES[3] = {SCALER_RECT_CLIP, SCALER_RECT_CROP, SCALER_RECT_SIZE};
}  // namespace

const double ModuleScalerBase::PITCH_DEFAULTS[2] = {1.0, 1.0};
const int ModuleScalerBase::RECT_DEFAULTS[4] = {0, 0, 0, 0};

const char *ModuleScalerBase::rectTypeName(ScalerRectType type)
{
    switch (type) {
    case SCALER_RECT_CLIP:
        return "cliprect";
    case SCALER_RECT_CROP:
        return "croprect";
    case SCALER_RECT_SIZE:
        return "outsize";
    }
    return nullptr;
}

QOV_RESULT ModuleScalerBase::loadRectType(const std::string &name, const char *tag, const Messages &messages)
{
    for (ScalerRectType type : RECT_TYPES) {
        if (name == rectTypeName(type)) {
            eRectType = type;
            return QOV_SUCCESS;
        }
    }
    LOG_Error("load", __LINE__, tag, messages.invalidType, name.c_str());
    return QOV_ERROR_FAILURE;
}

void ModuleScalerBase::saveRectType(const ParamDefSingle<std::string> &def, ScalerRectType type,
                                    ParameterList &list, ModuleBase::SaveType t)
{
    if (t == ModuleBase::SAVE_VAL) {
        const char *name = type == SCALER_RECT_CLIP || type == SCALER_RECT_SIZE ? rectTypeName(type) : "croprect";
        list.addParameter(def, std::string(name), true);
    } else if (t == ModuleBase::SAVE_DEF) {
        Parameter p(def.name, def.def);
        std::string info = "{";
        for (ScalerRectType known : RECT_TYPES)
            info += std::string(known == RECT_TYPES[0] ? "" : ", ") + rectTypeName(known);
        p.setInfo(info + "}");
        list.addParameter(p, true);
    } else {
        family::saveBound(def, list, t);
    }
}

QOV_RESULT ModuleScalerBase::computeOutput(const MC_IIF &iif, const Messages &messages, const char *tag,
                                           bool evenHeight, QOV_UINT16 outputSize[2], QOV_UINT16 offset[2],
                                           double pitch[2])
{
    if (iif.ui16ImagerSize[0] == 0 || iif.ui16ImagerSize[1] == 0) {
        LOG_Error("setup", __LINE__, tag, "IIF should have been setup beforehand!\n");
        return QOV_ERROR_WRONG_STATE;
    }
    const QOV_UINT32 image[2] = {2u * iif.ui16ImagerSize[0], 2u * iif.ui16ImagerSize[1]};
    const char *const forceSize[2] = {messages.forceWidth, messages.forceHeight};
    const char *const tooBig[2] = {messages.widthTooBig, messages.heightTooBig};
    const char *const tooBigPitch[2] = {"computed H pitch %lf too big, max %lf forced instead\n",
                                        "computed V pitch %lf too big, max %lf forced instead\n"};

    for (int d = 0; d < 2; d++) {
        if (aPitch[d] >= 1.0)
            continue;
        QOV_UINT32 &size = aRect[2 + d];
        if (size == 0) {
            size = image[d];
            LOG_Warning("setup", __LINE__, tag, "%s", forceSize[d]);
        } else if (size > image[d]) {
            LOG_Error("setup", __LINE__, tag, tooBig[d], size, image[d]);
            return QOV_ERROR_FAILURE;
        }
        if (eRectType != SCALER_RECT_SIZE)
            LOG_Warning("setup", __LINE__, tag, "%s", messages.forceType);
        eRectType = SCALER_RECT_SIZE;
        aPitch[d] = static_cast<double>(image[d]) / size;
        if (aPitch[d] > SCALER_MAX_PITCH) {
            LOG_Warning("setup", __LINE__, tag, tooBigPitch[d], aPitch[d], SCALER_MAX_PITCH);
            aPitch[d] = SCALER_MAX_PITCH;
        }
    }

    const ScalerGeometry g = scalerGeometry(eRectType, aRect, aPitch, image[0], image[1], evenHeight);
    static const char *const dimension[2] = {"width", "height"};
    for (int d = 0; g.known && d < 2; d++) {
        if (g.reversed[d]) {
            LOG_Error("setup", __LINE__, tag,
                      "the %s rectangle %s %u %u %u %u leaves no input in the %s of the %ux%u image\n",
                      messages.block, rectTypeName(eRectType), aRect[0], aRect[1], aRect[2], aRect[3], dimension[d],
                      image[0], image[1]);
            return QOV_ERROR_FAILURE;
        }
        if (g.outside[d]) {
            LOG_Error("setup", __LINE__, tag,
                      "the %s reads past the image: offset %u plus pitch %lf times output %u is beyond its %s of %u\n",
                      messages.block, aRect[d], aPitch[d], g.size[d], dimension[d], image[d]);
            return QOV_ERROR_FAILURE;
        }
    }

    for (int d = 0; d < 2; d++) {
        pitch[d] = aPitch[d];
        offset[d] = static_cast<QOV_UINT16>(aRect[d]);
        if (g.known)
            outputSize[d] = static_cast<QOV_UINT16>(g.size[d]);
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
