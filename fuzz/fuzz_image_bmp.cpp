// BMP files.
#include "image_fuzz.h"
#include "sim_image/image_bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::scratchFile("image.bmp");
    fuzz::writeFile(path, data, size);
    fuzz::loadAndSave<CImageBmp, BMPSAVEFORMAT>(path, nullptr);
    return 0;
}
