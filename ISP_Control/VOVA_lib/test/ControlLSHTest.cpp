// The lens-shading control: the nearest-temperature choice, the table keys,
// the registration of its grids in the lens-shading module of a programmed
// camera (also in bulk by the module), the per-shot switch, reloading
// without leaking matrices, a refused matrix tried again, saving and the
// state text.
#include <sstream>

#include "control_test_support.h"
#include "module_test_support.h"
#include "vova/ControlAWB_Planckian.h"
#include "vova/ControlLSH.h"
#include "vova/ModuleLSH.h"
#include "wb_test_support.h"

using namespace VOVA;
using vovatest::listOf;

namespace {

unsigned nearest(const std::vector<unsigned> &grids, unsigned kelvin)
{
    return *nearestTemperature(grids.begin(), grids.end(), kelvin, [](unsigned t) { return t; });
}

TEST(LensShadingChoice, NearestTemperatureWithTheLowerGridOnAMidpoint)
{
    const std::vector<unsigned> grids = {2800, 4000, 6500};  // midpoints 3400 and 5250
    const std::vector<std::pair<unsigned, unsigned>> cases = {
        {1000, 2800}, {3400, 2800}, {3401, 4000}, {5250, 4000}, {5251, 6500}, {10000, 6500}, {0, 2800}};
    for (auto [kelvin, expected] : cases)
        EXPECT_EQ(expected, nearest(grids, kelvin)) << kelvin;
    // the midpoint rounds down: 3000 + 3001 / 2 = 4500
    EXPECT_EQ(3000u, nearest({3000, 6001}, 4500));
    EXPECT_EQ(6001u, nearest({3000, 6001}, 4501));
    EXPECT_EQ(5000u, nearest({5000}, 100000));
}

TEST(LensShadingTable, KeysIntoTheMapWithoutOpeningFiles)
{
    struct Case {
        const char *name;
        vovatest::Entries entries;
        QOV_RESULT result;
        std::vector<std::pair<unsigned, std::string>> table;
        std::vector<std::string> warnings;
    } const cases[] = {
        {"no count key", {}, QOV_ERROR_NO_DATA, {},
         {"WARNING [VOVA_CONTROL_LSH]: loadMatrices() Unable to load LSH corrections from parameters. "
          "'LSH_CTRL_CORRECTIONS' not defined\n"}},
        {"index 1 without a file",
         {{"LSH_CTRL_CORRECTIONS", {"3"}},
          {"LSH_CTRL_TEMPERATURE_0", {"2800"}},
          {"LSH_CTRL_FILE_0", {"a.lsh"}},
          {"LSH_CTRL_TEMPERATURE_1", {"4000"}},
          {"LSH_CTRL_TEMPERATURE_2", {"6500"}},
          {"LSH_CTRL_FILE_2", {"c.lsh"}}},
         QOV_SUCCESS,
         {{2800, "a.lsh"}, {6500, "c.lsh"}},
         {"loadMatrices() Correction 1 does not have a matrix file - ignored\n"}},
        {"a file without a temperature, and the same temperature twice",
         {{"LSH_CTRL_CORRECTIONS", {"3"}},
          {"LSH_CTRL_FILE_0", {"a.lsh"}},
          {"LSH_CTRL_TEMPERATURE_1", {"4000"}},
          {"LSH_CTRL_FILE_1", {"b.lsh"}},
          {"LSH_CTRL_TEMPERATURE_2", {"4000"}},
          {"LSH_CTRL_FILE_2", {"d.lsh"}}},
         QOV_SUCCESS,
         {{4000, "d.lsh"}},
         {"loadMatrices() Correction 0 doesn't have a matching temperature - ignored\n"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ControlLSH::GridMap grids;
        QOV_UINT8 bits = 99;
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, ControlLSH::loadMatrices(listOf(c.entries), grids, bits));
        std::vector<std::pair<unsigned, std::string>> table;
        for (const auto &entry : grids) {
            table.emplace_back(entry.first, entry.second.filename);
            EXPECT_EQ(0u, entry.second.matrixId);
        }
        EXPECT_EQ(c.table, table);
        for (const std::string &warning : c.warnings)
            EXPECT_TRUE(log.contains(warning)) << log.text();
    }
    // scales are read only with a file, clamped to [0, 100]
    ControlLSH::GridMap grids;
    QOV_UINT8 bits = 0;
    ControlLSH::loadMatrices(listOf({{"LSH_CTRL_CORRECTIONS", {"1"}},
                                     {"LSH_CTRL_BITS_DIFF", {"7"}},
                                     {"LSH_CTRL_TEMPERATURE_0", {"5000"}},
                                     {"LSH_CTRL_FILE_0", {"a.lsh"}},
                                     {"LSH_CTRL_SCALE_WB_0", {"250"}}}),
                             grids, bits);
    EXPECT_EQ(100.0, grids.at(5000).scaledWB);
    EXPECT_EQ(7, bits);
    EXPECT_EQ(1.0, ControlLSH::GridInfo(listOf({{"LSH_CTRL_SCALE_WB_0", {"3"}}}), 0).scaledWB);
}

class LensShadingControl : public vovatest::LoopCamera {
protected:
    // The camera and a control registered with it; no table loaded yet.
    void SetUp() override
    {
        LoopCamera::SetUp();
        makeCamera();
        lsh = new ControlLSH("VOVA_CTRL_LSH");
        ASSERT_EQ(QOV_SUCCESS, camera->registerControlModule(lsh));
    }
    // The three grids of the scenarios: 2800, 4000 and 6500 K.
    ParameterList table(int bits = 0)
    {
        ParameterList list;
        vovatest::addShadingTable(list,
                                  {{2800, vovatest::writeGrid(dir, "a.lsh", 1.25f)},
                                   {4000, vovatest::writeGrid(dir, "b.lsh", 1.5f)},
                                   {6500, vovatest::writeGrid(dir, "c.lsh", 1.75f)}},
                                  bits);
        return list;
    }
    // A white-balance control that reports `kelvin`, linked to the control.
    void linkTemperature(double kelvin)
    {
        awb = std::make_unique<Probe>();
        awb->set(kelvin);
        lsh->registerCtrlAWB(awb.get());
    }
    struct Probe : public ControlAWB_Planckian {
        Probe() : ControlAWB_Planckian("VOVA_CTRL_AWB") {}
        void set(double kelvin) { measuredTemperature = kelvin; }
    };

    vovatest::ScratchDir dir;
    ControlLSH *lsh = nullptr;
    std::unique_ptr<Probe> awb;
};

TEST_F(LensShadingControl, LoadingRegistersEveryGridWithTheBitsTheGridsNeed)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    {
        vovatest::LogCapture log;
        ASSERT_EQ(QOV_SUCCESS, lsh->load(table()));
        EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_LSH]: load() Calculated LSH_CTRL_BITS_DIFF 7. Consider to use "
                                 "this value in configuration file.\n"))
            << log.text();
    }
    EXPECT_EQ(3u, lsh->getLoadedGrids());
    EXPECT_EQ(3u, module.countGrid());
    std::vector<unsigned> ids;
    lsh->getMatrixIds(ids);
    ASSERT_EQ(3u, ids.size());
    for (unsigned id : ids)
        EXPECT_NE(nullptr, module.getGrid(id));
    EXPECT_EQ(ids[1], lsh->getMatrixId(4000));
    EXPECT_EQ(0u, lsh->getMatrixId(4001));
    EXPECT_EQ(4000u, lsh->getTemperature(ids[1]));
    EXPECT_EQ(1.0, lsh->getScaleWB(6500));
    EXPECT_EQ(0.0, lsh->getScaleWB(6501));
    EXPECT_EQ(static_cast<QOV_INT32>(ids[0]), lsh->chooseMatrix(3400, ControlLSH::LINEAR));
    EXPECT_EQ(static_cast<QOV_INT32>(ids[2]), lsh->chooseMatrix(5251, ControlLSH::LINEAR));
    EXPECT_EQ(ControlLSH::LINEAR, lsh->getAlgorithm());
    EXPECT_FALSE(lsh->hasConverged());
    EXPECT_EQ(QOV_SUCCESS, lsh->configureStatistics());
}

TEST_F(LensShadingControl, LoadFailures)
{
    struct Case {
        const char *name;
        ParameterList list;
        QOV_RESULT result;
        const char *message;
    } const cases[] = {
        {"no table", ParameterList(), QOV_SUCCESS, "'LSH_CTRL_CORRECTIONS' not defined"},
        {"unreadable files", [] {
             ParameterList l;
             vovatest::addShadingTable(l, {{3000, "/nonexistent/a.lsh"}});
             return l;
         }(), QOV_ERROR_NOT_SUPPORTED, " invalid bits per diff 0 selected (min 4, max 10)\n"},
        {"an unreadable file among readable ones", [&] {
             ParameterList l;
             vovatest::addShadingTable(l, {{3000, vovatest::writeGrid(dir, "a.lsh", 1.25f)}, {5000, "/nonexistent"}}, 8);
             return l;
         }(), QOV_ERROR_FAILURE, " Failed to load matrix for T=5000\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        vovatest::LogCapture log;
        EXPECT_EQ(c.result, lsh->load(c.list));
        EXPECT_TRUE(log.contains(c.message)) << log.text();
    }
    // the grid before the failing one stays registered; the failing one has no matrix
    EXPECT_NE(0u, lsh->getMatrixId(3000));
    EXPECT_EQ(0u, lsh->getMatrixId(5000));
    linkTemperature(6000);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_LSH]: update() failed to choose matrix!\n")) << log.text();

    ControlLSH lone("VOVA_CTRL_LSH");
    vovatest::LogCapture log2;
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.load(table(8)));
    EXPECT_TRUE(log2.contains("ControlLSH has no pipeline owner! Cannot load deshading matrices.\n")) << log2.text();
}

TEST_F(LensShadingControl, ReloadingReleasesTheMatricesOfTheLoadBefore)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    const ParameterList list = table(8);
    ASSERT_EQ(QOV_SUCCESS, lsh->load(list));
    std::vector<unsigned> before;
    lsh->getMatrixIds(before);
    linkTemperature(3000);
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    ASSERT_EQ(before[0], module.getCurrentMatrixId());
    for (int reload = 0; reload < 3; reload++)
        ASSERT_EQ(QOV_SUCCESS, lsh->load(list));
    // three matrices, not twelve; none of the first load's left
    EXPECT_EQ(3u, module.countGrid());
    for (unsigned id : before)
        EXPECT_EQ(nullptr, module.getGrid(id));
    // the matrix in use went with its table: the next shot programs the new one
    EXPECT_EQ(0u, lsh->getChosenMatrixId());
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_EQ(lsh->getMatrixId(2800), module.getCurrentMatrixId());
    EXPECT_EQ(2800u, lsh->getChosenTemperature());

    // a table of one grid likewise
    ParameterList one;
    vovatest::addShadingTable(one, {{4000, vovatest::writeGrid(dir, "d.lsh", 1.5f)}});
    ASSERT_EQ(QOV_SUCCESS, lsh->load(one));
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    ASSERT_NE(0u, lsh->getChosenMatrixId());
    ASSERT_EQ(QOV_SUCCESS, lsh->load(one));
    EXPECT_EQ(0u, lsh->getChosenMatrixId());
    EXPECT_EQ(1u, module.countGrid());
}

TEST_F(LensShadingControl, FollowsTheTemperatureAndProgramsOnlyChanges)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    ASSERT_EQ(QOV_SUCCESS, lsh->load(table(8)));
    EXPECT_FALSE(lsh->isEnabled());  // no white-balance control yet
    linkTemperature(2000);
    EXPECT_TRUE(lsh->isEnabled());
    EXPECT_EQ(static_cast<QOV_INT32>(lsh->getMatrixId(2800)), lsh->configureDefaultMatrix());
    EXPECT_EQ(0, lsh->configureDefaultMatrix());  // the module has a matrix already

    for (auto [kelvin, grid] : {std::pair{4700.9, 4000u}, std::pair{5300.0, 6500u}, std::pair{-20.0, 2800u}}) {
        awb->set(kelvin);
        ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
        EXPECT_EQ(lsh->getMatrixId(grid), module.getCurrentMatrixId()) << kelvin;
        EXPECT_EQ(grid, lsh->getChosenTemperature());
    }
    // the same choice programs nothing: the white-balance module is not asked to update
    module.configureMatrix(module.getCurrentMatrixId());
    static_cast<SetupModule *>(pipeline().getModule(STP_WBC))->clearFlags();
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_FALSE(pipeline().getModule(STP_WBC)->isUpdateRequested());

    // disabled, a direct update switches the matrix off
    lsh->enableControl(false);
    EXPECT_FALSE(lsh->isEnabled());
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_EQ(0u, module.getCurrentMatrixId());
    EXPECT_EQ(0u, lsh->getChosenMatrixId());
    EXPECT_EQ(0u, lsh->getChosenTemperature());
}

TEST_F(LensShadingControl, AMatrixTheModuleRefusesIsNotReportedAsInUseAndIsTriedAgain)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    // a 9 x 7 grid of 64-cell tiles does not cover the sensor: the pipeline refuses it
    LSH_GRID small{};
    LSH_AllocateMatrix(&small, 9, 7, 64);
    const std::string smallFile = dir.file("small.lsh");
    LSH_Save_bin(&small, smallFile.c_str());
    LSH_Free(&small);
    ParameterList list;
    vovatest::addShadingTable(list, {{2800, vovatest::writeGrid(dir, "a.lsh", 1.25f)}, {6500, smallFile}}, 8);
    ASSERT_EQ(QOV_SUCCESS, lsh->load(list));
    linkTemperature(2800);
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    const QOV_UINT32 good = lsh->getMatrixId(2800);
    ASSERT_EQ(good, module.getCurrentMatrixId());

    awb->set(6500);
    for (int shot = 0; shot < 2; shot++) {
        vovatest::LogCapture log;
        EXPECT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
        EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_LSH]: programCorrection() Cannot use LSH matrix " +
                                 std::to_string(lsh->getMatrixId(6500))))
            << log.text();
        EXPECT_EQ(good, module.getCurrentMatrixId());
        EXPECT_EQ(good, lsh->getChosenMatrixId());
        EXPECT_EQ(2800u, lsh->getChosenTemperature());
    }
}

TEST_F(LensShadingControl, WithoutGridsEveryShotSaysSo)
{
    ASSERT_EQ(QOV_SUCCESS, lsh->load(ParameterList()));
    linkTemperature(5000);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_TRUE(log.contains(" Cannot choose matrix: no grids were loaded\n"))
        << log.text();
    EXPECT_TRUE(log.contains("WARNING [VOVA_CTRL_LSH]: update() failed to choose matrix!\n")) << log.text();
    EXPECT_EQ(-16, lsh->chooseMatrix(5000, ControlLSH::LINEAR));
    EXPECT_EQ(-1, lsh->configureDefaultMatrix());
}

TEST_F(LensShadingControl, ChoiceWithOneGridAndOtherAlgorithms)
{
    ParameterList list;
    vovatest::addShadingTable(list, {{5000, vovatest::writeGrid(dir, "a.lsh", 1.5f)}}, 8);
    ASSERT_EQ(QOV_SUCCESS, lsh->load(list));
    const QOV_INT32 only = static_cast<QOV_INT32>(lsh->getMatrixId(5000));
    EXPECT_EQ(only, lsh->chooseMatrix(100, ControlLSH::EXPONENTIAL));
    ASSERT_EQ(QOV_SUCCESS, lsh->load(table(8)));
    vovatest::LogCapture log;
    EXPECT_EQ(-11, lsh->chooseMatrix(3000, ControlLSH::EXPONENTIAL));
    EXPECT_EQ(-11, lsh->chooseMatrix(3000, static_cast<ControlLSH::InterpolationAlgorithm>(5)));
    EXPECT_TRUE(log.contains(" Exponential not implemented\n")) << log.text();
    EXPECT_TRUE(log.contains(" Invalid algorithm\n")) << log.text();
}

TEST_F(LensShadingControl, GridsFromMemoryAddedAndRemoved)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    LSH_GRID grid{};
    LSH_CreateMatrix(&grid, vovatest::kSensorWidth / 2, vovatest::kSensorHeight / 2, 64);
    const float flat[4] = {1, 1, 1, 1};
    for (QOV_UINT8 c = 0; c < 4; c++)
        LSH_FillLinear(&grid, c, flat);
    QOV_UINT32 id = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(4200, grid, id, 1.5, 6));  // the module owns the arrays now
    EXPECT_NE(0u, id);
    EXPECT_EQ(1.5, lsh->getScaleWB(4200));
    EXPECT_EQ(nullptr, module.getGrid(id + 1000));
    {
        vovatest::LogCapture log;
        QOV_UINT32 again = 0;
        EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, lsh->addMatrix(4200, grid, again, 1.0, 6));
        EXPECT_EQ(QOV_ERROR_ALREADY_EXISTS, lsh->addMatrixInfo(4200, ControlLSH::GridInfo("", 1.0)));
        ControlLSH::GridInfo unknown("x.lsh", 1.0);
        unknown.matrixId = id + 1000;
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh->addMatrixInfo(5000, unknown));
        EXPECT_EQ(QOV_ERROR_INVALID_ARGUMENT, lsh->removeMatrix(id + 1000));
        EXPECT_EQ(QOV_ERROR_FAILURE, lsh->addMatrix(5000, "/nonexistent.lsh", again, 1.0, 6));
        EXPECT_TRUE(log.contains("Failed to load the LSH matrix /nonexistent.lsh - no matrix will be loaded\n"))
            << log.text();
        EXPECT_TRUE(log.contains("Temperature 4200 is already registered\n")) << log.text();
    }
    linkTemperature(4000);
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    EXPECT_EQ(id, lsh->getChosenMatrixId());
    ASSERT_EQ(QOV_SUCCESS, lsh->removeMatrix(id));
    EXPECT_EQ(0u, lsh->getChosenMatrixId());
    EXPECT_EQ(0u, lsh->getLoadedGrids());
    EXPECT_EQ(0u, module.countGrid());
    EXPECT_EQ(0u, module.getCurrentMatrixId());

    // a grid file read into the module under its temperature and scale
    QOV_UINT32 fromFile = 0;
    ASSERT_EQ(QOV_SUCCESS, lsh->addMatrix(5000, vovatest::writeGrid(dir, "f.lsh", 1.5f), fromFile, 2.0, 8));
    EXPECT_NE(0u, fromFile);
    EXPECT_EQ(fromFile, lsh->getMatrixId(5000));
    EXPECT_EQ(2.0, lsh->getScaleWB(5000));
    EXPECT_NE(nullptr, module.getGrid(fromFile));

    // without a pipeline there is no module to add to, remove from or program
    ControlLSH lone("VOVA_CTRL_LSH");
    LSH_GRID none{};
    QOV_UINT32 loneId = 7;
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.addMatrix(4000, none, loneId, 1.0, 6));
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.addMatrixInfo(4000, ControlLSH::GridInfo("", 1.0)));
    EXPECT_EQ(QOV_ERROR_NOT_INITIALISED, lone.removeMatrix(fromFile));
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, lone.programCorrection());
    EXPECT_EQ(-1, lone.configureDefaultMatrix());
    EXPECT_EQ(7u, loneId);
    EXPECT_EQ(0u, lone.getLoadedGrids());
    EXPECT_TRUE(log.contains("Could not find LSH module in pipeline")) << log.text();
}

TEST_F(LensShadingControl, SavedValuesLoadBackAndBoundsNameIndexZero)
{
    ASSERT_EQ(QOV_SUCCESS, lsh->load(table(9)));
    ParameterList saved;
    ASSERT_EQ(QOV_SUCCESS, lsh->save(saved, ModuleBase::SAVE_VAL));
    EXPECT_EQ("3", saved.getParameterString("LSH_CTRL_CORRECTIONS", 0, ""));
    EXPECT_EQ("9", saved.getParameterString("LSH_CTRL_BITS_DIFF", 0, ""));
    EXPECT_EQ("4000", saved.getParameterString("LSH_CTRL_TEMPERATURE_1", 0, ""));
    EXPECT_EQ(dir.file("c.lsh"), saved.getParameterString("LSH_CTRL_FILE_2", 0, ""));
    EXPECT_EQ("1", saved.getParameterString("LSH_CTRL_SCALE_WB_0", 0, ""));
    EXPECT_TRUE(saved.hasGroup("ControlLSH"));
    const ParameterGroup group = saved.getGroup("ControlLSH");
    EXPECT_EQ("// Lens shading correction parameters", group.header);
    EXPECT_EQ(2u + 3u * 200u, group.parameters.size());
    EXPECT_EQ(1u, group.parameters.count("LSH_CTRL_SCALE_WB_199"));

    ControlLSH copy("VOVA_CTRL_LSH");
    ControlLSH::GridMap grids;
    QOV_UINT8 bits = 0;
    ASSERT_EQ(QOV_SUCCESS, ControlLSH::loadMatrices(saved, grids, bits));
    EXPECT_EQ(9, bits);
    ASSERT_EQ(3u, grids.size());
    EXPECT_EQ(dir.file("b.lsh"), grids.at(4000).filename);

    EXPECT_EQ("// Lens shading correction parameters\n"
              "LSH_CTRL_BITS_DIFF 0 // int range=[0,10]\n"
              "LSH_CTRL_CORRECTIONS 0 // int range=[0,200]\n"
              "LSH_CTRL_FILE_0 <matrix file> // string\n"
              "LSH_CTRL_SCALE_WB_0 1 // double range=[0,100]\n"
              "LSH_CTRL_TEMPERATURE_0 0 // unsigned range=[0,100000]\n\n",
              vovatest::savedText(*lsh, ModuleBase::SAVE_DEF));
    EXPECT_EQ((std::vector<std::string>{"100000"}),
              vovatest::savedValues(*lsh, "LSH_CTRL_TEMPERATURE_0", ModuleBase::SAVE_MAX));
    EXPECT_EQ((std::vector<std::string>{"0"}), vovatest::savedValues(*lsh, "LSH_CTRL_SCALE_WB_0", ModuleBase::SAVE_MIN));
    EXPECT_EQ((std::vector<std::string>{"<matrix file>"}),
              vovatest::savedValues(*lsh, "LSH_CTRL_FILE_0", ModuleBase::SAVE_MIN));
    EXPECT_EQ((std::vector<std::string>{"<absent>"}),
              vovatest::savedValues(*lsh, "LSH_CTRL_FILE_1", ModuleBase::SAVE_MAX));
}

TEST_F(LensShadingControl, StateText)
{
    {
        vovatest::LogCapture log;
        std::ostringstream os;
        lsh->printState(os);
        EXPECT_EQ("  VOVA_CTRL_LSH:\n    config:\n      enabled = 1\n      pCtrlAWB = null\n    state:\n"
                  "      illuminantTemperature = 6500\n      chosenMatrixId = 0\n      getTemperature = 0\n",
                  os.str());
        EXPECT_TRUE(log.contains("Don't have corresponding temperature for matrix 0\n")) << log.text();
    }
    ASSERT_EQ(QOV_SUCCESS, lsh->load(table(8)));
    linkTemperature(4321.9);
    ASSERT_EQ(QOV_SUCCESS, lsh->update(Metadata{}));
    std::ostringstream os;
    lsh->printState(os);
    EXPECT_EQ("  VOVA_CTRL_LSH:\n    config:\n      enabled = 1\n      pCtrlAWB = VOVA_CTRL_AWB\n    state:\n"
              "      illuminantTemperature = 4321\n      chosenMatrixId = " +
                  std::to_string(lsh->getMatrixId(4000)) + "\n      getTemperature = 4000\n",
              os.str());
}

TEST_F(LensShadingControl, TheModuleRegistersTheTableInBulk)
{
    ModuleLSH &module = this->module<ModuleLSH>();
    std::vector<QOV_UINT32> ids = {77};
    ASSERT_EQ(QOV_SUCCESS, module.loadMatrices(table(8), ids));
    ASSERT_EQ(4u, ids.size());  // appended, not cleared
    EXPECT_EQ(77u, ids[0]);
    EXPECT_EQ(3u, module.countGrid());
    EXPECT_EQ(dir.file("b.lsh"), module.getFilename(ids[2]));

    EXPECT_EQ(QOV_ERROR_NO_DATA, module.loadMatrices(listOf({{"LSH_CTRL_CORRECTIONS", {"0"}}}), ids));
    ParameterList broken;
    vovatest::addShadingTable(broken, {{3000, dir.file("a.lsh")}, {4000, "/nonexistent.lsh"}}, 8);
    vovatest::LogCapture log;
    EXPECT_EQ(QOV_ERROR_FAILURE, module.loadMatrices(broken, ids));
    EXPECT_TRUE(log.contains("WARNING [VOVA_MOD_LSH]: loadMatrices() failed to load matrix 1 from file "
                             "/nonexistent.lsh\n"))
        << log.text();
    EXPECT_EQ(5u, ids.size());
    EXPECT_EQ(4u, module.countGrid());
    ParameterList unreadable;
    vovatest::addShadingTable(unreadable, {{3000, "/nonexistent.lsh"}});
    EXPECT_EQ(QOV_ERROR_NOT_SUPPORTED, module.loadMatrices(unreadable, ids));
}

}  // namespace
