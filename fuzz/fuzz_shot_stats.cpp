// A completed shot as the driver leaves it: the statistics block and the
// shot's copy of the load structure, of any size and content, read by the
// shot the way an application receives it (statistics extracted, their
// configuration read back from the load structure and reverted).
// Input: 4 bytes of statistics output bits, the load structure (up to 1268
// bytes), then the statistics block, whatever its length.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ci/ci_api_internal.h"
#include "ci/ci_modules_structs.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Shot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    QOV_UINT32 outputBits;
    memcpy(&outputBits, data, 4);
    data += 4;
    size -= 4;
    // Exactly the lengths the driver reported, so that any read beyond them is caught.
    const size_t loadSize = std::min<size_t>(size, CI_LOADSTRUCT_HW2_SIZE);
    std::vector<uint8_t> load(data, data + loadSize);
    std::vector<uint8_t> stats(data + loadSize, data + size);

    INT_SHOT shot{};
    shot.bAcquired = 1;
    shot.apMemory[CI_POOL_MAP_ID_STAT] = stats.empty() ? nullptr : stats.data();
    shot.aMemorySize[CI_POOL_MAP_ID_STAT] = static_cast<QOV_UINT32>(stats.size());
    shot.apMemory[CI_POOL_MAP_ID_LOAD] = load.empty() ? nullptr : load.data();
    shot.aMemorySize[CI_POOL_MAP_ID_LOAD] = static_cast<QOV_UINT32>(load.size());
    CI_SHOT &ci = shot.publicShot;
    ci.eOutputConfig = outputBits;
    ci.pStatistics = shot.apMemory[CI_POOL_MAP_ID_STAT];
    ci.statsSize = shot.aMemorySize[CI_POOL_MAP_ID_STAT];
    ci.pLoadStruct = shot.apMemory[CI_POOL_MAP_ID_LOAD];
    ci.loadSize = shot.aMemorySize[CI_POOL_MAP_ID_LOAD];

    static const VOVA::ModuleOUT out;
    static const VOVA::Global_Setup setup;
    VOVA::Shot result;
    result.configure(&ci, out, setup);
    return 0;
}
