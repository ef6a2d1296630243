// What the white-balance and lens-shading loop tests share: a colour
// calibration of the simulated sensor (the gains that make a grey surface
// neutral under black-body light of each temperature, identity matrices),
// and lens-shading grid files written into the test's scratch directory.
#ifndef VOVA_WB_TEST_SUPPORT_H
#define VOVA_WB_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "simboard/scene.h"
#include "vezaracommon/lsh_grid.h"
#include "vova/ParameterList.h"
#include "vova_test_support.h"

namespace vovatest {

// Small frames: the imager interface keeps one cell in 4 x 4 of the sensor
// image, so that scenarios of many frames run quickly.
inline void addSmallFrames(VOVA::ParameterList &list)
{
    list.addParameter(VOVA::Parameter("IIF_DECIMATION", std::vector<std::string>{"3", "3"}), true);
}

// The calibration temperatures of the Planckian loop tests.
inline const std::vector<double> kPlanckianCalibration = {2500, 3000, 3500, 4000, 4500,
                                                           5000, 5500, 6500, 7500, 9000};

// The gains R, G1, G2, B that neutralise grey under light of `kelvin` on
// the simulated sensor.
inline std::vector<double> neutralGains(double kelvin)
{
    simboard::Scene scene;
    scene.colourTemperature = kelvin;
    double rgb[3];
    scene.channelResponse(rgb);
    return {1.0 / rgb[0], 1.0, 1.0, 1.0 / rgb[2]};
}

// The calibration keys for these temperatures, identity matrices and no
// offsets, and the black level that removes the scene's pedestal (64 at 10
// bits, which a 12-bit sensor sees 4 times as large).
inline void addCalibration(VOVA::ParameterList &list, const std::vector<double> &temperatures, int black = 64)
{
    const std::string b = std::to_string(black);
    list.addParameter(VOVA::Parameter("BLC_SENSOR_BLACK", {b, b, b, b}), true);
    list.addParameter(VOVA::Parameter("WB_CORRECTIONS", std::to_string(temperatures.size())), true);
    for (size_t i = 0; i < temperatures.size(); i++) {
        const std::string n = std::to_string(i);
        list.addParameter(VOVA::Parameter("WB_TEMPERATURE_" + n, std::to_string(temperatures[i])), true);
        list.addParameter(VOVA::Parameter("WB_CCM_" + n, {"1", "0", "0", "0", "1", "0", "0", "0", "1"}), true);
        list.addParameter(VOVA::Parameter("WB_OFFSETS_" + n, {"0", "0", "0"}), true);
        std::vector<std::string> gains;
        for (double g : neutralGains(temperatures[i]))
            gains.push_back(std::to_string(g));
        list.addParameter(VOVA::Parameter("WB_GAINS_" + n, gains), true);
    }
}

// A scratch directory of the test, removed with it.
class ScratchDir {
public:
    ScratchDir()
    {
        const testing::TestInfo *info = testing::UnitTest::GetInstance()->current_test_info();
        m_path = std::filesystem::temp_directory_path() /
                 (std::string("vova_") + info->test_suite_name() + "_" + info->name() + "_" +
                  std::to_string(::getpid()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchDir() { std::filesystem::remove_all(m_path); }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Writes a grid of 64-cell tiles covering the camera tests' sensor, every
// channel at `gain` in the centre falling to `gain` - 0.25 at the corners;
// returns its path.
inline std::string writeGrid(const ScratchDir &dir, const std::string &name, float gain)
{
    LSH_GRID grid{};
    LSH_CreateMatrix(&grid, kSensorWidth / 2, kSensorHeight / 2, 64);
    const float corners[5] = {gain - 0.25f, gain - 0.25f, gain - 0.25f, gain - 0.25f, gain};
    for (QOV_UINT8 c = 0; c < LSH_NUM_CHANNELS; c++)
        LSH_FillBowl(&grid, c, corners);
    const std::string path = dir.file(name);
    LSH_Save_bin(&grid, path.c_str());
    LSH_Free(&grid);
    return path;
}

// The lens-shading control's table keys for (temperature, file) pairs.
inline void addShadingTable(VOVA::ParameterList &list, const std::vector<std::pair<unsigned, std::string>> &grids,
                            int bitsPerDiff = 0)
{
    list.addParameter(VOVA::Parameter("LSH_CTRL_CORRECTIONS", std::to_string(grids.size())), true);
    list.addParameter(VOVA::Parameter("LSH_CTRL_BITS_DIFF", std::to_string(bitsPerDiff)), true);
    for (size_t i = 0; i < grids.size(); i++) {
        const std::string n = std::to_string(i);
        list.addParameter(VOVA::Parameter("LSH_CTRL_TEMPERATURE_" + n, std::to_string(grids[i].first)), true);
        list.addParameter(VOVA::Parameter("LSH_CTRL_FILE_" + n, grids[i].second), true);
    }
}

}  // namespace vovatest

#endif
