// Board files: read for two sensor positions from the simulated board's
// root, the way a sensor driver reads them when it opens.
#include <filesystem>
#include <string>

#include "fuzz_util.h"
#include "sensors/sensor_board.h"
#include "simboard/board.h"

namespace {

// The simulated board's root moved to a scratch folder holding the model
// "Fuzz"; its board file is the input.
std::string boardFilePath()
{
    static const std::string path = [] {
        const std::string root = fuzz::scratchFile("root");
        std::filesystem::create_directories(root + "/proc/device-tree");
        std::filesystem::create_directories(root + "/etc/vezara/boardcfg");
        const uint8_t model[] = {'F', 'u', 'z', 'z', 0};
        fuzz::writeFile(root + "/proc/device-tree/model", model, sizeof(model));
        simboard::Board::instance().setRoot(root);
        return root + "/etc/vezara/boardcfg/Fuzz.cfg";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::writeFile(boardFilePath(), data, size);
    for (QOV_UINT8 position : {0, 1}) {
        board_params params{};
        GetBoardParameters(position, &params);
    }
    return 0;
}
