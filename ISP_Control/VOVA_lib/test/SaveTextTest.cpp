// Text statistics of a shot filled by hand, compared byte for byte with the
// text built from the layout rules by testdata/vova/make_text_statistics.py;
// the defect and encoder lists at their edges; the camera state; the
// hardware information printer.
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Pipeline.h"
#include "vova/Save.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "save_test_support.h"
#include "vova_test_support.h"

using namespace VOVA;
using vovatest::readFile;

namespace {

// Two defect-map entries and two encoder-statistics elements.
const QOV_UINT32 kDefectWords[4] = {(7u << 16) | 5u, 0x80AB0123u, (2u << 16) | 9u, 0x00050042u};
const QOV_UINT32 kEncoderWords[4] = {1000, 2000, 3000, 4000};
QOV_UINT16 defectInput[6] = {1, 2, 3, 4, 5, 6};

void fill(Shot &shot)
{
    Metadata &m = shot.metadata;
    m.clippingConfig = {0, 1, 0, 1, 2, 300, 200, 0.75};
    for (int k = 0; k < 4; k++)
        m.clippingStats.globalClipped[k] = 10 + k;
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            for (int k = 0; k < 4; k++)
                m.clippingStats.regionClipped[i][j][k] = i * 1000 + j * 10 + k;

    m.histogramConfig = {0, 1, 1, 0.5, 1.25, 3, 4, 5, 6};
    for (int k = 0; k < 64; k++)
        m.histogramStats.globalHistogram[k] = k * k;
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            for (int k = 0; k < 16; k++)
                m.histogramStats.regionHistograms[i][j][k] = i * 100 + j * 20 + k;

    m.focusConfig = {0, 0, 1, 10, 11, 12, 13, 14, 15, 16, 17};
    m.focusStats.ROISharpness = 4000000000u;
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            m.focusStats.gridSharpness[i][j] = i * 7 + j;

    m.whiteBalanceConfig = {0, 2, 0.1, -0.2, {1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}};
    for (unsigned k = 0; k < 2; k++) {
        for (unsigned c = 0; c < 3; c++) {
            m.whiteBalanceStats.whitePatch[k].channelAccumulated[c] = 100 * k + c;
            m.whiteBalanceStats.whitePatch[k].channelCount[c] = 200 * k + c;
            m.whiteBalanceStats.averageColor[k].channelAccumulated[c] = 300 * k + c;
            m.whiteBalanceStats.highLuminance[k].channelAccumulated[c] = 400 * k + c;
        }
        m.whiteBalanceStats.highLuminance[k].lumaCount = 500 + k;
    }

    MC_AWS &a = m.autoWhiteBalanceConfig;
    a = {0, 1, 0, 0.5, -0.5, 0.01, 0.02, 0.03, 0.9, 0.91, 0.92, 1.5, 1, 2, 3, 4, {}, {}, {}, {}};
    for (int i = 0; i < 5; i++) {
        a.aCurveCoeffX[i] = i * 0.1;
        a.aCurveCoeffY[i] = -i * 0.2;
        a.aCurveOffset[i] = i + 0.5;
        a.aCurveBoundary[i] = i * 2.0;
    }
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            m.autoWhiteBalanceStats.tileStats[i][j] = {i + j * 0.5, i * 0.25, j * 1.5,
                                                       static_cast<QOV_UINT32>(i * 7 + j)};

    m.flickerConfig = {0, 1, 525, 29.97, 3, 4, 5, 6, 7, 8, 0};
    m.flickerStats.flickerStatus = FLD_60HZ;
    m.timestamps = {1, 2, 3, 4, 5, 6, 7, 99, 99};

    m.defectiveConfig = {0, 3, defectInput, 3, 9, 0, {1, 2}, {3, 4}, 10, 0.5};
    m.defectiveStats = {11, 12, 13, 3};
    // the block holds two of the three corrections counted
    shot.DPF = {reinterpret_cast<const QOV_UINT8 *>(kDefectWords), 16, 16, 8};
    m.encodeStatsConfig = {0, 1, 16, 2};
    shot.ENS = {reinterpret_cast<const QOV_UINT8 *>(kEncoderWords), 16, 16, 8};
}

class SaveTextTest : public vovatest::BoardTest {
protected:
    void SetUp() override
    {
        vovatest::BoardTest::SetUp();
        placeChip();
        folder = std::filesystem::path(testing::TempDir()) / ("vova_text_" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        camera = std::make_unique<Camera>(0, vovatest::kSensorId, vovatest::kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(QOV_SUCCESS, CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
    }
    void TearDown() override
    {
        camera.reset();
        std::filesystem::remove_all(folder);
        vovatest::BoardTest::TearDown();
    }
    // The text statistics of `shot` as saveTxtStats writes them.
    std::string text(const Shot &shot)
    {
        const std::string file = (folder / "stats.txt").string();
        Save save;
        EXPECT_EQ(QOV_SUCCESS, save.open(Save::Bytes, *camera->getPipeline(), file));
        EXPECT_EQ(QOV_SUCCESS, save.saveTxtStats(shot));
        EXPECT_EQ(QOV_SUCCESS, save.close());
        return readFile(file);
    }
    std::filesystem::path folder;
    std::unique_ptr<Camera> camera;
};

TEST_F(SaveTextTest, EveryStatisticsBlockIsWrittenAsTheLayoutRulesSay)
{
    Shot shot;
    fill(shot);
    const std::string expected = readFile(std::string(VEZARA_TESTDATA) + "/vova/text_statistics.txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected, text(shot));
}

TEST_F(SaveTextTest, DefectAndEncoderListsAtTheirEdges)
{
    struct Case {
        const char *what;
        QOV_UINT32 nDefect;           // input pairs
        QOV_UINT32 nOut;              // corrections counted
        QOV_UINT32 dpfSize, ensSize;  // bytes the blocks hold
        QOV_UINT32 ensElement;
        const char *input, *output, *elements, *ens;
    } const cases[] = {
        {"no lists", 0, 0, 0, 0, 8, "      apDefectInput = null\n", "      apDefectOutput = null\n",
         "      ui32NOutElements = 0\n", "      apStatsOutput = null\n"},
        {"counted but no block", 3, 2, 0, 16, 0, "      apDefectInput = (1 2) (3 4) (5 6)\n",
         "      apDefectOutput = null\n", "      ui32NOutElements = 0\n", "      apStatsOutput = null\n"},
        {"block holds more than counted", 1, 1, 16, 8, 8, "      apDefectInput = (1 2)\n",
         "      apDefectOutput = (5 7 291 171 1)\n", "      ui32NOutElements = 1\n",
         "      apStatsOutput = (1000 2000)\n"},
    };
    for (const Case &c : cases) {
        Shot shot;
        fill(shot);
        shot.metadata.defectiveConfig.ui32NDefect = c.nDefect;
        shot.metadata.defectiveStats.ui32NOutCorrection = c.nOut;
        shot.DPF = {c.dpfSize ? reinterpret_cast<const QOV_UINT8 *>(kDefectWords) : nullptr, c.dpfSize, c.dpfSize, 8};
        shot.ENS.size = c.ensSize;
        shot.ENS.elementSize = c.ensElement;
        const std::string t = text(shot);
        EXPECT_NE(std::string::npos, t.find(c.input)) << c.what;
        EXPECT_NE(std::string::npos, t.find(c.output)) << c.what;
        EXPECT_NE(std::string::npos, t.find(std::string(c.elements) + "      # pair of (counter, entropy)\n" + c.ens))
            << c.what;
    }
}

// A list of any length is written whole: nothing is cut at a line buffer.
TEST_F(SaveTextTest, LongListsAreWrittenWhole)
{
    std::vector<QOV_UINT16> pairs(2 * 200);
    std::vector<QOV_UINT32> words(2 * 100);
    std::string input = "      apDefectInput =", ens = "      apStatsOutput =";
    for (unsigned k = 0; k < 200; k++) {
        pairs[2 * k] = static_cast<QOV_UINT16>(8000 + k);
        pairs[2 * k + 1] = static_cast<QOV_UINT16>(k);
        input += " (" + std::to_string(8000 + k) + " " + std::to_string(k) + ")";
    }
    for (unsigned k = 0; k < 100; k++) {
        words[2 * k] = INT_MAX - k;
        words[2 * k + 1] = k;
        ens += " (" + std::to_string(INT_MAX - k) + " " + std::to_string(k) + ")";
    }
    Shot shot;
    fill(shot);
    shot.metadata.defectiveConfig.apDefectInput = pairs.data();
    shot.metadata.defectiveConfig.ui32NDefect = 200;
    shot.ENS = {reinterpret_cast<const QOV_UINT8 *>(words.data()), 800, 800, 8};
    const std::string t = text(shot);
    EXPECT_NE(std::string::npos, t.find(input + "\n"));
    EXPECT_NE(std::string::npos, t.find(ens + "\n"));
    EXPECT_NE(std::string::npos, t.find("      ui32NOutElements = 100\n"));
}

TEST_F(SaveTextTest, TheCameraStateComesFirstAndOnlyABytesFileTakesText)
{
    Shot shot;
    fill(shot);
    const std::string file = (folder / "whole.txt").string();
    ASSERT_EQ(QOV_SUCCESS, Save::SingleTxtStats(*camera, shot, file));
    std::ostringstream state;
    state << *camera << std::endl;
    EXPECT_EQ(0u, state.str().rfind("Camera:\n  state = CAM_REGISTERED\n  ctx = 0\n  ownSensor = 1\n", 0));
    EXPECT_EQ(state.str() + text(shot), readFile(file));

    Save save;
    ASSERT_EQ(QOV_SUCCESS, save.open(Save::YUV, *camera->getPipeline(), file));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, save.saveTxtStats(shot));
    EXPECT_EQ(QOV_SUCCESS, save.close());
    EXPECT_EQ("", readFile(file));
}

CI_HWINFO sampleInfo()
{
    CI_HWINFO info{};
    info.rev_ui8Major = 2;
    info.rev_ui8Minor = 7;
    info.rev_ui8Maint = 1;
    info.ui16ConfigId = 5;
    info.rev_uid = 1234;
    info.config_ui8Parallelism = 1;
    info.config_ui8PixPerClock = 2;
    info.config_ui8BitDepth = 12;
    info.config_ui8NContexts = 2;
    info.config_ui8NImagers = 3;
    info.config_ui8NIIFDataGenerator = 1;
    info.ui32MaxLineStore = 4096;
    info.config_ui32DPFInternalSize = 256;
    info.ui32LSHRamSizeBits = 81920;
    info.eFunctionalities = CI_INFO_SUPPORTED_TILING | CI_INFO_SUPPORTED_RAW2D_EXT | CI_INFO_SUPPORTED_IIF_DATAGEN;
    info.ui32RefClockMhz = 40;
    info.context_aBitDepth[0] = 10;
    info.context_aBitDepth[1] = 8;
    info.context_aMaxWidthSingle[0] = 4096;
    info.context_aMaxWidthSingle[1] = 2048;
    info.context_aMaxWidthMult[0] = 2048;
    info.context_aMaxWidthMult[1] = 1024;
    info.context_aMaxHeight[0] = 3072;
    info.context_aMaxHeight[1] = 1536;
    info.gasket_aBitDepth[0] = 10;
    info.gasket_aBitDepth[1] = 12;
    info.gasket_aBitDepth[2] = 0;
    info.gasket_aType[0] = 1;
    info.gasket_aType[1] = 2;
    info.gasket_aType[2] = 0;
    info.gasket_aImagerPortWidth[0] = 4;
    info.mmu_ui8RevMajor = 3;
    info.mmu_ui8RevMinor = 2;
    info.mmu_ui8RevMaint = 1;
    info.uiChangelist = 777;
    info.mmu_ui8Enabled = 1;
    info.uiTiledScheme = 256;
    info.mmu_ui32PageSize = 4096;
    return info;
}

TEST(HardwareInformation, IsPrintedAsIndentedText)
{
    std::ostringstream os;
    os.fill('*');
    os << sampleInfo();
    const char *expected =
        "HW Information:\n"
        "  version = 2.7.1\n"
        "  config = 005\n"
        "  uid = 00001234\n"
        "  parallelism = 1\n"
        "  pixels per clock = 2\n"
        "  bit depth = 12\n"
        "  contexts = 2\n"
        "  gaskets = 3\n"
        "  iif datagen = 1\n"
        "  max linestore = 4096\n"
        "  DPF internal = 256\n"
        "  LSH RAM size = 81920 bits\n"
        "  features = TILING RAW2D_EXT IIF_DG\n"
        "  ref clock = 40 Mhz\n"
        "\n"
        "  Context 0:\n"
        "    bit depth = 10\n"
        "    max size (single) = 4096x3072\n"
        "    max size (multi) = 2048x3072\n"
        "\n"
        "  Context 1:\n"
        "    bit depth = 8\n"
        "    max size (single) = 2048x1536\n"
        "    max size (multi) = 1024x1536\n"
        "\n"
        "  Gasket 0:\n"
        "    bit depth = 10\n"
        "    format = MIPI\n"
        "    MIPI lanes = 4\n"
        "\n"
        "  Gasket 1:\n"
        "    bit depth = 12\n"
        "    format = PARALLEL\n"
        "\n"
        "  Gasket 2:\n"
        "    bit depth = 0\n"
        "    format = none\n"
        "\n"
        "MMU version 3.2.1\n"
        "\n"
        "SW Information:\n"
        "  changelist = 777\n"
        "  mmucontrol = 1\n"
        "  tiling scheme = 256x16\n"
        "  mmu page size = 4096\n"
        "\n";
    EXPECT_EQ(expected, os.str());
    EXPECT_EQ('*', os.fill());  // the fill character is given back
}

TEST(HardwareInformation, NoFeaturesAndNoTilingScheme)
{
    CI_HWINFO info = sampleInfo();
    info.eFunctionalities = 0;
    info.uiTiledScheme = 0;
    info.config_ui8NContexts = 1;
    std::ostringstream os;
    os << info;
    EXPECT_NE(std::string::npos, os.str().find("\n  features = none\n"));
    EXPECT_NE(std::string::npos, os.str().find("\n  tiling scheme = 0x0\n"));
    EXPECT_EQ(std::string::npos, os.str().find("Context 1:"));
}

}  // namespace
