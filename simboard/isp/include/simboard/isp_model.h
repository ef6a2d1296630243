// What the simulated ISP does with one input frame: the seam between the
// driver (which owns shots, buffers and timing) and the model of the image
// pipeline and its statistics.
#ifndef SIMBOARD_ISP_MODEL_H
#define SIMBOARD_ISP_MODEL_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ci_kernel/ci_ioctrl.h"

namespace simboard {

// A Bayer frame: width x height samples, row by row, of bitDepth bits.
struct BayerFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 10;
    MOSAICType mosaic = MOSAIC_RGGB;
    std::vector<uint16_t> samples;
    // Mains frequency of the lamp lighting the scene (50 or 60), 0 for none:
    // what the flicker detection finds.
    unsigned lampHz = 0;
};

// One output of a shot, as its trigger bound it. `memory` is null when the
// output was not triggered or its buffer cannot hold it (the driver checked
// the geometry: every plane below fits in `size` bytes).
struct OutputBinding {
    uint8_t *memory = nullptr;
    size_t size = 0;
    PIXELTYPE type{};
    uint32_t width = 0;   // pixels of the image written
    uint32_t height = 0;  // lines
    uint32_t stride = 0;  // bytes per line of the main plane
    uint32_t offset = 0;  // byte offset of the main plane
    uint32_t strideC = 0; // chroma plane of a semi-planar YUV output
    uint32_t offsetC = 0;
    uint32_t linesC = 0;
    bool tiled = false;
    uint32_t tileWidth = 0;  // bytes, when tiled
    uint32_t tileHeight = 0; // lines, when tiled
};

// Everything the model needs to turn one frame into a shot's outputs and
// statistics.
struct ShotFrame {
    const BayerFrame *image = nullptr;     // the image entering the pipeline (capture rectangle applied)
    const CI_PIPE_INFO *info = nullptr;    // the pipeline information the shot was triggered with
    const uint32_t *loadStructure = nullptr; // the shot's load-structure snapshot (317 words)
    const CI_MODULE_GMA_LUT *gamma = nullptr; // the device's gamma curve, or null for none
    uint32_t outputConfig = 0;             // CI_SAVE_CONFIG_FLAGS of the shot
    uint8_t *statistics = nullptr;         // statistics block, zeroed before the model runs
    size_t statisticsSize = 0;
    uint8_t *dpfOutput = nullptr;          // defect-pixel output, or null
    size_t dpfSize = 0;
    uint8_t *ensOutput = nullptr;          // encoder-statistics output, or null
    size_t ensSize = 0;
    bool dataExtraction = false;           // the display output carries Bayer data
    OutputBinding encoder;
    OutputBinding display;
    OutputBinding hdrExtraction;
    OutputBinding raw2D;
    OutputBinding hdrInsertion;            // read, never written
    // The lens-shading matrix in use (encoded grid and its description), or null.
    const uint8_t *lshMatrix = nullptr;
    size_t lshMatrixSize = 0;
    CI_MODULE_LSH_MAT lshDescription{};
    // The defect map the pipeline received: x, y pairs.
    const uint16_t *defects = nullptr;
    size_t defectCount = 0;
    // Frames since flicker detection was switched on or reset, this one included.
    uint32_t flickerFrame = 0;
    bool frameError = false;               // set by the model when the frame is erroneous
};

// The image pipeline and the statistics of the simulated ISP. The driver
// writes the status word, the defect counters and the timestamps of the
// statistics block itself after the model ran.
class IspImageModel {
public:
    virtual ~IspImageModel() = default;
    virtual void process(ShotFrame &frame) = 0;
};

// The default model: data-extraction and RAW 2D outputs carry the input's
// Bayer samples; encoder, display and HDR-extraction outputs a plain
// demosaic (one colour per 2x2 cell, nearest sampling) of the input at the
// output size; the statistics stay zero.
std::unique_ptr<IspImageModel> makePlainImageModel();

// The driver's model: every stage of the image pipeline follows the shot's
// load structure and pipeline information (the arithmetic chosen for each
// stage is written beside the model), and the statistics enabled by the
// shot's output flags are measured where the control loops read them.
std::unique_ptr<IspImageModel> makePipelineImageModel();

// Bytes of one line of `width` pixels in `type`: whole packing groups.
uint32_t packedLineBytes(const PIXELTYPE &type, uint32_t width);

}  // namespace simboard

#endif
