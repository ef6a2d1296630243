// JUX files: read by the image class (and written again), and opened as a
// frame stream the way the data generator reads them.
#include "image_fuzz.h"
#include "sim_image/image_jux.h"
#include "sim_image/sim_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::scratchFile("image.jux");
    fuzz::writeFile(path, data, size);
    fuzz::loadAndSave<CImageJux, JUXSAVEFORMAT>(path, nullptr);
    sSimImageIn in;
    SimImageIn_init(&in);
    if (SimImageIn_loadJUX(&in, path.c_str()) == QOV_SUCCESS) {
        for (QOV_INT32 f : {0, 1, static_cast<QOV_INT32>(in.nFrames) - 1})
            if (f >= 0)
                SimImageIn_convertFrame(&in, f);
    }
    SimImageIn_close(&in);
    unsigned segments = 0, frames = 0;
    SimImageIn_checkMultiSegment(path.c_str(), &segments, &frames);
    return 0;
}
