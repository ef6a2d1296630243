// Defective-pixel map files.
#include <cstdlib>

#include "fuzz_util.h"
#include "vezaracommon/dpf_map.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::scratchFile("defects.bin");
    fuzz::writeFile(path, data, size);
    QOV_UINT16 *defects = nullptr;
    QOV_UINT32 count = 0;
    if (DPF_Load_bin(&defects, &count, path.c_str()) == QOV_SUCCESS) {
        volatile QOV_UINT32 sum = 0;
        for (QOV_UINT32 i = 0; i < 2 * count; i++)
            sum = sum + defects[i];
    }
    free(defects);
    return 0;
}
