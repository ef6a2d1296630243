// NRAW files.
#include "image_fuzz.h"
#include "sim_image/image_nraw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::scratchFile("image.nraw");
    fuzz::writeFile(path, data, size);
    CImageNRaw image;
    fuzz::loadFrames(image, path, nullptr);
    return 0;
}
