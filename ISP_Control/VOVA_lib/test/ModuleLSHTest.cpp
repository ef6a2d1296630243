// Lens-shading module: gradient keys to the record and its saved text; the
// matrix registry against the simulated driver: grids from files and from
// memory made into driver matrices, switched, encoded again, removed (the
// hardware switched off the matrix in use first) and saved.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "module_test_support.h"
#include "vova/ModuleLSH.h"

using namespace VOVA;
using vovatest::KeyRow;

namespace {

class ModuleLSHTest : public vovatest::ModuleTest {};

TEST_F(ModuleLSHTest, KeysReachTheRecord)
{
    ModuleLSH &lsh = add<ModuleLSH>();
    const std::vector<KeyRow<ModuleLSH>> rows = {
        {{}, [](auto &m) { return m.aGradientX[3]; }, 0, [](auto &r) { return r.sLSH.aGradients[3][0]; }, 0},
        {{}, [](auto &m) { return m.bEnableMatrix; }, 0, [](auto &) { return 0; }, 0},
        // channel c's x and y gradients are pair c of the record; clamped to [-4, 4]
        {{{"LSH_GRADIENTX", {"0.5", "5", "-1", "-9"}}}, [](auto &m) { return m.aGradientX[1]; }, 4,
         [](auto &r) { return r.sLSH.aGradients[1][0]; }, 4},
        {{{"LSH_GRADIENTX", {"0.5", "5", "-1", "-9"}}}, [](auto &m) { return m.aGradientX[3]; }, -4,
         [](auto &r) { return r.sLSH.aGradients[3][0]; }, -4},
        {{{"LSH_GRADIENTY", {"0.25", "0.5", "0.75"}}}, [](auto &m) { return m.aGradientY[2]; }, 0.75,
         [](auto &r) { return r.sLSH.aGradients[2][1]; }, 0.75},
        {{{"LSH_GRADIENTY", {"0.25", "0.5", "0.75"}}}, [](auto &m) { return m.aGradientY[3]; }, 0,
         [](auto &r) { return r.sLSH.aGradients[3][1]; }, 0},
        {{{"LSH_MATRIX_ENABLE", {"1"}}}, [](auto &m) { return m.bEnableMatrix; }, 1, [](auto &) { return 0; }, 0},
    };
    checkRows(lsh, rows);
}

TEST_F(ModuleLSHTest, TheOldMatrixFileKeyOnlyWarns)
{
    ModuleLSH lsh;
    for (int load = 0; load < 2; load++) {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, lsh.load(vovatest::listOf({{"LSH_MATRIX_FILE", {vovatest::kBowl}}})));
        EXPECT_EQ("WARNING [VOVA_MOD_LSH]: load() Deprecated LSH_MATRIX_FILE parameter found - use LSH_CTRL_FILE_X\n",
                  log.text());
    }
    EXPECT_EQ(0u, lsh.countGrid());
}

TEST_F(ModuleLSHTest, SavedText)
{
    ModuleLSH lsh;
    EXPECT_EQ("// Lens Shading parameters\n"
              "LSH_GRADIENTX 0 0 0 0 // double[4] range=[-4,4]\n"
              "LSH_GRADIENTY 0 0 0 0 // double[4] range=[-4,4]\n"
              "LSH_MATRIX_ENABLE 0 // bool {0,1}\n\n",
              vovatest::savedText(lsh, ModuleBase::SAVE_DEF));
    EXPECT_EQ((std::vector<std::string>{"-4", "-4", "-4", "-4"}),
              vovatest::savedValues(lsh, "LSH_GRADIENTY", ModuleBase::SAVE_MIN));
    EXPECT_EQ((std::vector<std::string>{"<absent>"}), vovatest::savedValues(lsh, "LSH_CTRL_FILE"));
}

TEST_F(ModuleLSHTest, WithoutACapturePipelineNothingIsRegistered)
{
    ModuleLSH lsh;
    QOV_UINT32 id = 7;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, lsh.addMatrix(vovatest::kBowl, id, 1.0, 0));
    EXPECT_EQ(QOV_ERROR_WRONG_STATE, lsh.configureMatrix(0));
    EXPECT_TRUE(log.contains("ERROR [VOVA_MOD_LSH]: loadMatrix():")) << log.text();
    EXPECT_TRUE(log.contains(" Pipeline pointer is NULL\n")) << log.text();
    EXPECT_EQ(7u, id);
    EXPECT_EQ(0u, lsh.countGrid());
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh.removeMatrix(1));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh.updateGrid(1, 8));
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh.saveMatrix(1, "/tmp/x.lsh"));
}

TEST_F(ModuleLSHTest, ANewModuleHoldsTheDefaultsWhateverMemoryItTakes)
{
    alignas(ModuleLSH) unsigned char raw[sizeof(ModuleLSH)];
    std::memset(raw, 0xA5, sizeof(raw));
    ModuleLSH *lsh = new (raw) ModuleLSH();
    EXPECT_EQ((std::vector<std::string>{"0", "0", "0", "0"}), vovatest::savedValues(*lsh, "LSH_GRADIENTX"));
    EXPECT_EQ((std::vector<std::string>{"0", "0", "0", "0"}), vovatest::savedValues(*lsh, "LSH_GRADIENTY"));
    EXPECT_EQ((std::vector<std::string>{"0"}), vovatest::savedValues(*lsh, "LSH_MATRIX_ENABLE"));
    lsh->~ModuleLSH();
}

class LensShadingMatrices : public vovatest::CameraModuleTest {
protected:
    void SetUp() override
    {
        vovatest::CameraModuleTest::SetUp();
        loadAndProgram();
        lsh = &module<ModuleLSH>(STP_LSH);
    }

    // A grid of 12 x 9 tiles of 64 cells, flat at `level`.
    static LSH_GRID flatGrid(float level)
    {
        LSH_GRID grid{};
        EXPECT_EQ(QOV_SUCCESS, LSH_AllocateMatrix(&grid, 12, 9, 64));
        for (auto *channel : grid.apMatrix)
            for (int i = 0; i < 12 * 9; i++)
                channel[i] = level;
        return grid;
    }

    const simboard::IspBufferView *driverMatrix(const simboard::IspPipelineView &view, QOV_UINT32 id)
    {
        for (const auto &b : view.buffers)
            if (b.id == id && b.type == CI_ALLOC_LSHMAT)
                return &b;
        return nullptr;
    }

    ModuleLSH *lsh = nullptr;
};

TEST_F(LensShadingMatrices, AGridFileBecomesADriverMatrixThatCanBeUsedAndSaved)
{
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(vovatest::kBowl, id, 1.25, 0));
    ASSERT_NE(0u, id);
    EXPECT_EQ(1u, lsh->countGrid());
    EXPECT_EQ(id, lsh->getMatrixId(0));
    EXPECT_EQ(0u, lsh->getMatrixId(1));
    EXPECT_EQ(vovatest::kBowl, lsh->getFilename(id));
    ASSERT_NE(nullptr, lsh->getGrid(id));
    EXPECT_EQ(12, lsh->getGrid(id)->ui16Width);
    {
        auto view = driverPipeline();
        ASSERT_TRUE(view);
        const simboard::IspBufferView *m = driverMatrix(*view, id);
        ASSERT_NE(nullptr, m);
        EXPECT_EQ(simboard::IspMatrixState::Idle, m->matrix);
        EXPECT_EQ(12, m->description.ui16Width);
        EXPECT_EQ(9, m->description.ui16Height);
        EXPECT_EQ(6, m->description.ui8TileSizeLog2);
        EXPECT_GE(m->description.ui8BitsPerDiff, 4);
        EXPECT_EQ(0u, view->matrixInUse);
    }

    // in use: the driver switches
    EXPECT_FALSE(lsh->hasGrid());
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(id));
    EXPECT_EQ(id, driverPipeline()->matrixInUse);
    EXPECT_EQ(id, lsh->getCurrentMatrixId());
    EXPECT_TRUE(lsh->hasGrid());
    EXPECT_EQ(1.25, lsh->getCurrentScaleWB());
    EXPECT_EQ((std::vector<std::string>{vovatest::kBowl}), vovatest::savedValues(*lsh, "LSH_CTRL_FILE"));

    // saved back, the grid reads the same
    const std::string copy = testing::TempDir() + "lsh_copy_" + std::to_string(getpid()) + ".lsh";
    ASSERT_EQ(QOV_SUCCESS, lsh->saveMatrix(id, copy));
    LSH_GRID back{};
    ASSERT_EQ(QOV_SUCCESS, LSH_Load_bin(&back, copy.c_str()));
    EXPECT_EQ(lsh->getGrid(id)->apMatrix[0][5], back.apMatrix[0][5]);
    LSH_Free(&back);
    std::remove(copy.c_str());

    // an unknown id changes nothing; 0 switches matrices off
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh->configureMatrix(id + 1000));
    EXPECT_TRUE(log.contains(" matrix " + std::to_string(id + 1000) + " not found\n")) << log.text();
    EXPECT_EQ(id, lsh->getCurrentMatrixId());
    EXPECT_EQ(id, driverPipeline()->matrixInUse);
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(0));
    EXPECT_EQ(0u, driverPipeline()->matrixInUse);
    EXPECT_EQ(1.0, lsh->getCurrentScaleWB());
    EXPECT_EQ((std::vector<std::string>{"<absent>"}), vovatest::savedValues(*lsh, "LSH_CTRL_FILE"));
}

TEST_F(LensShadingMatrices, AMatrixStartsAtTheCaptureRectangleInCells)
{
    loadAndProgram({{"IIF_CAP_RECT_TL", {"64", "32"}}, {"IIF_DECIMATION", {"2", "1"}}});
    LSH_GRID grid = flatGrid(1.5f);
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(grid, id, 1.0, 0));
    auto view = driverPipeline();
    ASSERT_TRUE(view);
    const simboard::IspBufferView *m = driverMatrix(*view, id);
    ASSERT_NE(nullptr, m);
    EXPECT_EQ(32, m->description.ui16OffsetX);
    EXPECT_EQ(16, m->description.ui16OffsetY);
    EXPECT_EQ(1, m->description.ui16SkipX);
    EXPECT_EQ(0, m->description.ui16SkipY);
}

TEST_F(LensShadingMatrices, RemovingTheMatrixInUseSwitchesTheHardwareOffItFirst)
{
    LSH_GRID grid = flatGrid(1.5f);
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(grid, id, 2.0, 0));
    EXPECT_EQ("", lsh->getFilename(id));
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(id));
    driver->clearRequests();
    ASSERT_EQ(QOV_SUCCESS, lsh->removeMatrix(id));

    std::vector<int> order;
    for (const simboard::IspRequest &r : driver->requests())
        if (r.index == CI_PIPELINE_CHANGE_LSH || r.index == CI_DEREGISTER_BUFF)
            order.push_back(r.index);
    EXPECT_EQ((std::vector<int>{CI_PIPELINE_CHANGE_LSH, CI_DEREGISTER_BUFF}), order);
    EXPECT_EQ(0u, driverPipeline()->matrixInUse);
    EXPECT_EQ(0u, lsh->getCurrentMatrixId());
    EXPECT_EQ(1.0, lsh->getCurrentScaleWB());
    EXPECT_EQ(0u, lsh->countGrid());
    EXPECT_EQ(nullptr, driverMatrix(*driverPipeline(), id));

    // a refused switch keeps the matrix registered: its memory is still read
    QOV_UINT32 second = 0;
    LSH_GRID other = flatGrid(1.0f);
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(other, second, 1.0, 0));
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(second));
    driver->planFault(CI_PIPELINE_CHANGE_LSH, -EFAULT);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, lsh->removeMatrix(second));
    }
    EXPECT_EQ(1u, lsh->countGrid());
    EXPECT_EQ(second, driverPipeline()->matrixInUse);
    ASSERT_NE(nullptr, driverMatrix(*driverPipeline(), second));
}

TEST_F(LensShadingMatrices, AFailedEncodingLeavesNothingAcquired)
{
    // a new grid with a negative value: 0 bits, no matrix registered, the caller keeps its arrays
    LSH_GRID negative = flatGrid(1.0f);
    negative.apMatrix[2][7] = -0.5f;
    QOV_UINT32 id = 0;
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, lsh->addMatrix(negative, id, 1.0, 0));
        EXPECT_TRUE(log.contains(" Failed to update CI LSH matrix\n")) << log.text();
    }
    EXPECT_EQ(0u, id);
    EXPECT_EQ(0u, lsh->countGrid());
    EXPECT_EQ(0u, driver->liveObjects().matrices);
    LSH_Free(&negative);

    // encoding a registered grid again with too few bits fails and hands the matrix back
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(vovatest::kBowl, id, 1.0, 0));
    const QOV_UINT8 bits = driverMatrix(*driverPipeline(), id)->description.ui8BitsPerDiff;
    ASSERT_GT(bits, 4);
    {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_ERROR_FAILURE, lsh->updateGrid(id, 4));
        EXPECT_TRUE(log.contains(" Failed to convert the LSH matrix " + std::to_string(id) + "\n")) << log.text();
    }
    EXPECT_EQ(simboard::IspMatrixState::Idle, driverMatrix(*driverPipeline(), id)->matrix);
    EXPECT_EQ(bits, driverMatrix(*driverPipeline(), id)->description.ui8BitsPerDiff);
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(id));
    ASSERT_EQ(QOV_SUCCESS, lsh->configureMatrix(0));
    // and can be encoded again with enough bits
    ASSERT_EQ(QOV_SUCCESS, lsh->updateGrid(id, 10));
    EXPECT_EQ(10, driverMatrix(*driverPipeline(), id)->description.ui8BitsPerDiff);
}

TEST_F(LensShadingMatrices, AMissingGridFileRegistersNothing)
{
    QOV_UINT32 id = 0;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, lsh->addMatrix("/nonexistent/grid.lsh", id, 1.0, 0));
    EXPECT_TRUE(log.contains("WARNING [VOVA_MOD_LSH]: addMatrix() Failed to load the LSH matrix /nonexistent/grid.lsh - "
                             "no matrix will be loaded\n"))
        << log.text();
    EXPECT_EQ(0u, lsh->countGrid());
    EXPECT_EQ(0u, driver->liveObjects().matrices);
}

}  // namespace
