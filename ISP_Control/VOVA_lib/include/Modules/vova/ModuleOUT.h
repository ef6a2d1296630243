// Output formats: which outputs the ISP produces and in which pixel format
// (encoder, display, data extraction with its tap point, HDR extraction and
// insertion, RAW 2D extraction). Its public fields are the system's one
// statement of the enabled outputs; setup() writes them into MC_PIPELINE,
// leaving out what the hardware cannot do. A global module: set up first.
#ifndef VOVA_MODULEOUT_H
#define VOVA_MODULEOUT_H

#include <string>

#include "ci/ci_api_structs.h"
#include "vova/ModuleFamily.h"

namespace VOVA {

class ModuleOUT : public FamilyModule<ModuleOUT, STP_OUT> {
public:
    static const ParamDefSingle<std::string> ENCODER_TYPE;
    static const ParamDefSingle<std::string> DISPLAY_TYPE;
    static const ParamDefSingle<std::string> DATAEXTRA_TYPE;
    static const ParamDef<int> DATAEXTRA_POINT;
    static const ParamDefSingle<std::string> HDREXTRA_TYPE;
    static const ParamDefSingle<std::string> HDRINS_TYPE;
    static const ParamDefSingle<std::string> RAW2DEXTRA_TYPE;

    pxlFormat encoderType = PXL_NONE;
    pxlFormat displayType = PXL_NONE;
    pxlFormat dataExtractionType = PXL_NONE;
    pxlFormat hdrExtractionType = PXL_NONE;
    pxlFormat hdrInsertionType = PXL_NONE;
    pxlFormat raw2DExtractionType = PXL_NONE;
    CI_INOUT_POINTS dataExtractionPoint = CI_INOUT_NONE;

    ModuleOUT();

    /** Reads the seven keys; an unknown encoder or display name fails. */
    QOV_RESULT load(const ParameterList &parameters) override;

    /** Encoder names (and the deprecated ones, with a warning); PXL_INVALID or PXL_NONE for others. */
    static pxlFormat getPixelFormatEncoder(const std::string &name, bool failIfInvalid);
    static pxlFormat getPixelFormatDisplay(const std::string &name, bool failIfInvalid);
    static pxlFormat getPixelFormatBayer(const std::string &name, bool failIfInvalid);
    /** Encoder, then display, then Bayer table; PXL_NONE for a name none holds. */
    static pxlFormat getPixelFormat(const std::string &name);
    /** The table name of a format; "?fmt?" for a value no table holds. */
    static std::string getPixelFormatString(pxlFormat format);

    /**
     * The focus-statistics region covering the whole image entering the
     * pipeline: from (0, 0) to its last pixel (corners inclusive). Used by
     * the data-extraction workaround of setup().
     */
    static void wholeImageRegion(const MC_IIF &iif, QOV_UINT32 start[2], QOV_UINT32 end[2]);

    static const char *className() { return "ModuleOUT"; }
    static const char *groupHeader() { return "// Output formats parameters"; }
    static const KeyTable<ModuleOUT> &keys();
    QOV_RESULT writeRecord(MC_PIPELINE &mc);
    /** No record of its own: the formats are read whole by the conversion. */
    QOV_BOOL8 *recordFlag(MC_PIPELINE &) { return nullptr; }
};

}  // namespace VOVA

#endif  // VOVA_MODULEOUT_H
