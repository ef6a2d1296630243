// Bramble's side of the control loops: creating and registering them,
// reading back what the setup file gave them, pushing the toggles of the
// keys into them, and their status lines.
#ifndef BRAMBLE_DEMOCONTROLS_H
#define BRAMBLE_DEMOCONTROLS_H

#include "DemoConfiguration.h"
#include "qov_types.h"

namespace VOVA {
class Camera;
class Shot;
class TemperatureCorrection;
}  // namespace VOVA
class PerfControls;

// Creates and registers the loops the configuration asks for, in their
// start-up order; `monitors` receives those with a monitor flag.
void registerControls(DemoConfiguration &config, VOVA::Camera &cam, QOV_UINT8 hwMajor, QOV_UINT8 hwMinor,
                      PerfControls &monitors);
// Reads back into the configuration what the setup file gave the loops.
void readBackControls(DemoConfiguration &config, VOVA::Camera &cam);
// Pushes the loop toggles and a hand-chosen correction into the loops.
void applyControlToggles(DemoConfiguration &config, VOVA::Camera &cam);
// Switches the lens-shading control and matrix; true when the capture must
// restart to load a matrix.
bool applyLensShading(DemoConfiguration &config, VOVA::Camera &cam);
// Loads correction `target` by hand into the colour-matrix and gain modules.
void loadCorrection(VOVA::Camera &cam, int target, const VOVA::TemperatureCorrection *corrections);

// Keys acting at once.
void stepExposureTarget(DemoConfiguration &config, VOVA::Camera &cam, bool up);
void focusCommand(VOVA::Camera &cam, int key);
void pushFlickerMode(DemoConfiguration &config, VOVA::Camera &cam);
void pushSmoothing(DemoConfiguration &config, VOVA::Camera &cam, bool enabled, float weightBase, int stretch);

// "number of LSH matrices" when the lens-shading control exists.
void logLensShadingGrids(VOVA::Camera &cam);

// The per-loop lines of the per-frame printout: exposure to light-based
// control, then (after the defective-pixel lines) lens shading.
void printControlLines(const DemoConfiguration &config, VOVA::Camera &cam, const VOVA::Shot &shot);
void printLensShadingLine(const DemoConfiguration &config, VOVA::Camera &cam);

// The next exposure of "+" and "-" without an exposure control: 100 us up or
// down, held within the sensor's range.
unsigned long steppedExposure(unsigned long current, unsigned long minimum, unsigned long maximum, bool up);

#endif
