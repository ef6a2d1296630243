// Lens-shading grid files.
#include "fuzz_util.h"
#include "vezaracommon/lsh_grid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = fuzz::scratchFile("grid.lsh");
    fuzz::writeFile(path, data, size);
    LSH_GRID grid{};
    if (LSH_Load_bin(&grid, path.c_str()) == QOV_SUCCESS) {
        // Every point of every channel is there to be read.
        volatile float sum = 0;
        for (int c = 0; c < 4; c++)
            for (int i = 0; i < grid.ui16Width * grid.ui16Height; i++)
                sum = sum + grid.apMatrix[c][i];
    }
    LSH_Free(&grid);
    return 0;
}
