// Saving what a save key asked for: each armed output the shot carries, with
// the encoder statistics and the defect map that go with such a save, then
// the parameters in force and the shot's statistics, all under one counter.
#include <string>

#include "LoopCamera.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"
#include "vova/Pipeline.h"
#include "vova/Save.h"
#include "vova/Shot.h"

#define LOG_TAG "Bramble"

namespace {

// The counter shared by the files of one save; it grows during a run.
int saveCounter = 0;

bool isPacked444(pxlFormat format)
{
    return format >= PXL_ISP_444IL3YCrCb8 && format <= PXL_ISP_444IL3YCbCr10;
}

std::string displayName(int n, const VOVA::Buffer &display)
{
    if (!isPacked444(display.pxlFormat))
        return "display" + std::to_string(n) + ".jux";
    PIXELTYPE type{};
    PixelTransformDisplay(&type, display.pxlFormat);
    return "display" + std::to_string(n) + "-" + std::to_string(display.width) + "x" + std::to_string(display.height) +
           "-" + FormatStringForFilename(display.pxlFormat) + "-align" + std::to_string(type.ui8PackedStride) + ".yuv";
}

std::string encoderName(int n, const VOVA::Pipeline &pipeline, pxlFormat format)
{
    const VOVA::Global_Setup setup = pipeline.getGlobalSetup();
    PIXELTYPE type{};
    PixelTransformYUV(&type, format);
    return "encoder" + std::to_string(n) + "-" + std::to_string(setup.ui32EncWidth) + "x" +
           std::to_string(setup.ui32EncHeight) + "-" + FormatString(format) + "-align" +
           std::to_string(type.ui8PackedStride) + ".yuv";
}

}  // namespace

void resetSaveCounter() { saveCounter = 0; }

void LoopCamera::saveResults(const VOVA::Shot &shot, DemoConfiguration &cfg)
{
    const VOVA::Pipeline &pipeline = *camera->getPipeline();
    const int n = saveCounter;
    bool written = false;

    const struct {
        const VOVA::Buffer &buffer;
        bool &flag;
        VOVA::Save::SaveType type;
        std::string name;
        const char *message;
    } outputs[] = {
        {shot.DISPLAY, cfg.bSaveDisplay, VOVA::Save::Display, displayName(n, shot.DISPLAY),
         "saving display output to %s\n"},
        {shot.YUV, cfg.bSaveEncoder, VOVA::Save::YUV, encoderName(n, pipeline, shot.YUV.pxlFormat),
         "saving YUV output to %s\n"},
        {shot.BAYER, cfg.bSaveDE, VOVA::Save::Bayer, "dataExtraction" + std::to_string(n) + ".jux",
         "saving Bayer output to %s\n"},
        {shot.HDREXT, cfg.bSaveHDR, VOVA::Save::RGB_EXT, "hdrExtraction" + std::to_string(n) + ".jux",
         "saving HDR Extraction output to %s\n"},
        {shot.RAW2DEXT, cfg.bSaveRaw2D, VOVA::Save::Bayer_TIFF, "raw2DExtraction" + std::to_string(n) + ".jux",
         "saving RAW 2D Extraction output to %s\n"},
    };
    for (const auto &o : outputs) {
        if (o.buffer.pxlFormat == PXL_NONE || !o.flag)
            continue;
        if (VOVA::Save::Single(pipeline, shot, o.type, o.name) == QOV_SUCCESS) {
            LOG_Info(__func__, __LINE__, LOG_TAG, o.message, o.name.c_str());
            written = true;
        } else {
            LOG_WARNING("failed to saved to %s\n", o.name.c_str());
        }
        o.flag = false;
    }

    // The encoder statistics and the defect map go with a save that was
    // asked for, not on every frame while a save waits for its output.
    if (written && shot.ENS.size != 0) {
        const std::string name = "encoder_stats" + std::to_string(n) + ".dat";
        if (VOVA::Save::SingleENS(pipeline, shot, name) == QOV_SUCCESS)
            LOG_INFO("saving ENS output to %s\n", name.c_str());
        else
            LOG_WARNING("failed to save to %s\n", name.c_str());
    }
    if (written && shot.metadata.defectiveStats.ui32NOutCorrection != 0) {
        const std::string name = "defective_pixels" + std::to_string(n) + ".dat";
        if (VOVA::Save::SingleDPF(pipeline, shot, name) == QOV_SUCCESS)
            LOG_INFO("saving DPF output to %s\n", name.c_str());
        else
            LOG_WARNING("failed to save to %s\n", name.c_str());
    }
    if (!written)
        return;

    VOVA::ParameterList parameters;
    const std::string setupName = "VezaraSetupArgs_" + std::to_string(n) + ".txt";
    if (camera->saveParameters(parameters, VOVA::ModuleBase::SAVE_VAL) != QOV_SUCCESS)
        LOG_WARNING("failed to save parameters\n");
    else if (VOVA::ParameterFileParser::saveGrouped(parameters, setupName, true) != QOV_SUCCESS)
        LOG_WARNING("failed to save parameters to %s\n", setupName.c_str());
    else
        LOG_INFO("saving parameters to %s\n", setupName.c_str());

    const std::string stats = "statistics" + std::to_string(n) + ".dat";
    if (VOVA::Save::SingleStats(pipeline, shot, stats) != QOV_SUCCESS)
        LOG_WARNING("failed to open statistics %s\n", stats.c_str());
    const std::string text = "statistics" + std::to_string(n) + ".txt";
    if (VOVA::Save::SingleTxtStats(*camera, shot, text) != QOV_SUCCESS)
        LOG_WARNING("failed to open txt statistics %s\n", text.c_str());
    saveCounter = n + 1;
}
