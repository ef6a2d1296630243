// Simulated OV4688: the OV4689 chip family (same identity 0x4688 at 0x300A,
// same registers), seen from the driver that streams one 1280 x 720 mode.
#include "simboard/sensor_models.h"

namespace simboard {

ChipModel modelOV4688()
{
    ChipModel model = modelOV4689();
    model.name = "OV4688";
    model.format = ChipFrameFormat{1280, 720, 10, MOSAIC_BGGR, 13.45};
    return model;
}

}  // namespace simboard
