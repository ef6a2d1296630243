// Aptina raw captures: the text of the "_info.txt" file, a NUL, then the
// bytes of the raw file.
#include "image_fuzz.h"
#include "sim_image/image_nraw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string raw = fuzz::scratchFile("capture.raw");
    static const std::string info = fuzz::scratchFile("capture_info.txt");
    const fuzz::Split parts = fuzz::splitAtNul(data, size);
    fuzz::writeFile(info, parts.head, parts.headSize);
    fuzz::writeFile(raw, parts.tail, parts.tailSize);
    CImageAptinaRaw image;
    fuzz::loadFrames(image, raw, nullptr);
    return 0;
}
