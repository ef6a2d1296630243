// Renders the simulated board's scene into a JUX file of 10-bit RGGB frames,
// the input the ISP's internal data generator plays: the scene of a board
// configuration file, seen at one exposure with unity gain and the lens in
// focus, one frame after another so that its changes and lamp take effect.
//   scene_jux <board.cfg> <width> <height> <frames> <exposure us> <out.jux>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_image/savefile.h"
#include "simboard/scene.h"

namespace {

bool readCount(const char *text, unsigned long &value)
{
    char *end = nullptr;
    value = std::strtoul(text, &end, 10);
    return *text != '\0' && *end == '\0' && value > 0;
}

}  // namespace

int main(int argc, char **argv)
{
    unsigned long width = 0, height = 0, frames = 0, exposureUs = 0;
    if (argc != 7 || !readCount(argv[2], width) || !readCount(argv[3], height) || !readCount(argv[4], frames) ||
        !readCount(argv[5], exposureUs) || width % 2 || height % 2 || width > 8192 || height > 8192) {
        std::fprintf(stderr,
                     "usage: %s <board.cfg> <width> <height> <frames> <exposure us> <out.jux>\n"
                     "  width and height even, at most 8192\n",
                     argv[0]);
        return 2;
    }
    simboard::BoardSettings settings;
    std::vector<std::string> problems;
    if (!simboard::readBoardSettings(argv[1], settings, problems)) {
        std::fprintf(stderr, "cannot open the board configuration '%s'\n", argv[1]);
        return 1;
    }
    for (const std::string &problem : problems)
        std::fprintf(stderr, "%s\n", problem.c_str());
    if (!problems.empty())
        return 1;

    const simboard::ChipFrameFormat format{static_cast<uint32_t>(width), static_cast<uint32_t>(height), 10,
                                           MOSAIC_RGGB, 30.0};
    SimImageInfo info{};
    info.ui8BitDepth = format.bitDepth;
    info.ui32Width = format.width;
    info.ui32Height = format.height;
    info.stride = format.width * sizeof(uint16_t);
    info.eColourModel = SimImage_RGGB;
    SaveFile file;
    SaveFile_init(&file);
    QOV_RESULT ret = SaveFile_openJUX(&file, argv[6], &info);
    // The writer takes, per pair of lines, the 2x2 cells left to right as
    // top-left, top-right, bottom-left, bottom-right samples.
    std::vector<uint16_t> cells(static_cast<size_t>(width) * height);
    simboard::BayerFrame frame;
    for (unsigned n = 0; ret == QOV_SUCCESS && n < frames; ++n) {
        settings.scene.at(n).render(format, static_cast<double>(exposureUs), 1.0, std::nullopt, frame,
                                    n / format.frameRate);
        uint16_t *out = cells.data();
        for (uint32_t y = 0; y < format.height; y += 2)
            for (uint32_t x = 0; x < format.width; x += 2)
                for (uint32_t k = 0; k < 4; ++k)
                    *out++ = frame.samples[static_cast<size_t>(y + k / 2) * format.width + x + k % 2];
        ret = SaveFile_write(&file, cells.data(), cells.size() * sizeof(uint16_t));
    }
    if (SaveFile_close(&file) != QOV_SUCCESS && ret == QOV_SUCCESS)
        ret = QOV_ERROR_FAILURE;
    SaveFile_destroy(&file);
    if (ret != QOV_SUCCESS) {
        std::fprintf(stderr, "failed to write '%s'\n", argv[6]);
        return 1;
    }
    return 0;
}
