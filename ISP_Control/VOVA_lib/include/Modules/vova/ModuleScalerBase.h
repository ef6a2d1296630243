// The setting and set-up shared by the encoder and display scalers: the
// rectangle, its type, the pitches and the cut-off flag, their keys, and the
// pitch, offset and output size written into a scaler record.
#ifndef VOVA_MODULESCALERBASE_H
#define VOVA_MODULESCALERBASE_H

#include <string>

#include "vova/ModuleFamily.h"
#include "vova/ScalerGeometry.h"

namespace VOVA {

class ModuleScalerBase {
public:
    ScalerRectType eRectType = SCALER_RECT_CROP;
    QOV_UINT32 aRect[4] = {0, 0, 0, 0};  ///< meaning by eRectType, image pixels
    double aPitch[2] = {1.0, 1.0};       ///< input per output pixel; below 1: computed
    bool bAdjustTaps = false;            ///< adjust the filter cut-off to the pitch

    /** The texts one scaler logs with. */
    struct Messages {
        const char *block;         ///< "ESC" or "DSC"
        const char *invalidType;   ///< load: unknown rectangle type name (%s)
        const char *forceWidth;
        const char *widthTooBig;   ///< %d width, %d image width
        const char *forceType;
        const char *forceHeight;
        const char *heightTooBig;  ///< %d height, %d image height
    };

    /** The definitions of one scaler's keys. */
    struct Definitions {
        const ParamDefSingle<std::string> &rectType;
        const ParamDefSingle<bool> &adjustCutoff;
        const ParamDefArray<double> &pitch;
        const ParamDefArray<int> &rect;
    };

    /** "cliprect", "croprect" or "outsize"; null for another value. */
    static const char *rectTypeName(ScalerRectType type);

    /**
     * The bindings of a scaler M in read order: the rectangle type (an
     * unknown name fails the load before anything else is read), the extra
     * binding if any, the cut-off flag, the pitches and the rectangle.
     */
    template <class M>
    static KeyTable<M> keyTable(const Definitions &defs, const Messages &messages,
                                std::unique_ptr<const KeyBinding<M>> extra)
    {
        typedef Keys<M> K;
        const ParamDefSingle<std::string> &rectType = defs.rectType;
        KeyTable<M> table;
        table.push_back(K::custom(
            rectType.name,
            [&rectType, &messages](M &m, const ParameterList &list) {
                return m.loadRectType(list.getParameter(rectType), m.getLoggingName(), messages);
            },
            [&rectType](const M &m, ParameterList &list, ModuleBase::SaveType t) {
                saveRectType(rectType, m.eRectType, list, t);
            }));
        if (extra)
            table.push_back(std::move(extra));
        table.push_back(K::flag(defs.adjustCutoff, static_cast<bool M::*>(&ModuleScalerBase::bAdjustTaps)));
        table.push_back(K::array(defs.pitch, static_cast<double(M::*)[2]>(&ModuleScalerBase::aPitch)));
        table.push_back(K::array(defs.rect, static_cast<QOV_UINT32(M::*)[4]>(&ModuleScalerBase::aRect)));
        return table;
    }

protected:
    QOV_RESULT loadRectType(const std::string &name, const char *tag, const Messages &messages);
    static void saveRectType(const ParamDefSingle<std::string> &def, ScalerRectType type, ParameterList &list,
                             ModuleBase::SaveType t);

    /**
     * Computes the pitches asked for (storing them, the forced type and a
     * missing output size back into the fields) and the output over the
     * image of the imager-interface record. Refuses a rectangle that is
     * reversed or makes the scaler read past the image. Writes the three
     * arrays only on success; an unknown type leaves outputSize as it was.
     */
    QOV_RESULT computeOutput(const MC_IIF &iif, const Messages &messages, const char *tag, bool evenHeight,
                             QOV_UINT16 outputSize[2], QOV_UINT16 offset[2], double pitch[2]);

    static const double PITCH_DEFAULTS[2];
    static const int RECT_DEFAULTS[4];
};

}  // namespace VOVA

#endif  // VOVA_MODULESCALERBASE_H
