// Headerless files, described by their name: raw YUV (first byte even) and
// plain raw (odd). The name (up to the first NUL) gives the load format, the
// rest is the file.
#include <string>

#include "image_fuzz.h"
#include "sim_image/image_plraw.h"
#include "sim_image/image_yuv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const fuzz::Split parts = fuzz::splitAtNul(data + 1, size - 1);
    const std::string name(reinterpret_cast<const char *>(parts.head), parts.headSize);
    static const std::string path = fuzz::scratchFile("image.bin");
    fuzz::writeFile(path, parts.tail, parts.tailSize);
    if (data[0] & 1) {
        PLRAWLOADFORMAT format{};
        if (CImagePlRaw::GetLoadFormat(&format, name.c_str(), nullptr))
            return 0;
        fuzz::loadAndSave<CImagePlRaw, PLRAWSAVEFORMAT>(path, &format);
    } else {
        YUVLOADFORMAT format{};
        if (CImageYuv::GetLoadFormat(&format, name.c_str(), nullptr))
            return 0;
        fuzz::loadAndSave<CImageYuv, YUVSAVEFORMAT>(path, &format);
    }
    return 0;
}
