// The table of simulated chip models, by name.
#include "simboard/sensor_models.h"

namespace simboard {

namespace {

struct ModelEntry {
    const char *name;
    ChipModel (*make)();
};

const ModelEntry kModels[] = {
    {"AR330", modelAR330},   {"OV4688", modelOV4688}, {"OV4689", modelOV4689},
    {"OV2718", modelOV2718}, {"OV10823", modelOV10823}, {"OV5647", modelOV5647},
    {"OV5695", modelOV5695}, {"IMX219", modelIMX219}, {"IMX415", modelIMX415},
    {"IMX335", modelIMX335}, {"IMX327", modelIMX327}, {"IMX662", modelIMX662},
    {"GC8034", modelGC8034}, {"GC5035", modelGC5035}, {"S5K3P9", modelS5K3P9},
    {"ZYNQ", modelZYNQ},
};

}  // namespace

std::optional<ChipModel> chipModelByName(const std::string &name)
{
    for (const ModelEntry &entry : kModels) {
        if (name == entry.name)
            return entry.make();
    }
    return std::nullopt;
}

std::vector<std::string> chipModelNames()
{
    std::vector<std::string> names;
    for (const ModelEntry &entry : kModels)
        names.emplace_back(entry.name);
    return names;
}

}  // namespace simboard
