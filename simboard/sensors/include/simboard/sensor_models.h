// The simulated chip models, one per chip of the sensor table (the ZYNQ data
// generator included), each defined in its own model source, and the table
// that finds them by name.
#ifndef SIMBOARD_SENSOR_MODELS_H
#define SIMBOARD_SENSOR_MODELS_H

#include <optional>
#include <string>
#include <vector>

#include "simboard/sensor_chip.h"

namespace simboard {

ChipModel modelAR330();
ChipModel modelOV4688();
ChipModel modelOV4689();
ChipModel modelOV2718();
ChipModel modelOV10823();
ChipModel modelOV5647();
ChipModel modelOV5695();
ChipModel modelIMX219();
ChipModel modelIMX415();
ChipModel modelIMX335();
ChipModel modelIMX327();
ChipModel modelIMX662();
ChipModel modelGC8034();
ChipModel modelGC5035();
ChipModel modelS5K3P9();
ChipModel modelZYNQ();

// The model whose name is `name` ("OV4689", "IMX219", ...); none when unknown.
std::optional<ChipModel> chipModelByName(const std::string &name);
// Names of every model, in table order.
std::vector<std::string> chipModelNames();

}  // namespace simboard

#endif
