// Simulated ZYNQ external data generator: no I2C target, so it never answers
// on the bus; it sends frames of the synthetic scene whenever both its
// power-down and reset lines are high (the driver raises them to start the
// source and lowers them to stop it) and its PHY is on. Place it on the bus
// of board position 0, whose lines the driver drives. It sends 8-bit
// 640 x 480 RGGB frames at 30 frames per second unless the model's format
// is changed.
#include "simboard/sensor_models.h"

namespace simboard {

ChipModel modelZYNQ()
{
    ChipModel model;
    model.name = "ZYNQ";
    model.format = ChipFrameFormat{640, 480, 8, MOSAIC_RGGB, 30.0};
    model.runLevel = 1;
    model.streaming = [](const SimChip &) { return true; };
    return model;
}

}  // namespace simboard
