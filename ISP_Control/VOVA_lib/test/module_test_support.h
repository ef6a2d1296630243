// Shared pieces of the setup-module tests: a pipeline on the simulated
// board (over a sensor without a chip, whose figures a test may set) to
// register modules into, a camera from the factory on a simulated sensor,
// setup lists built in place, the saved text of a module, and a table
// runner that takes each row from key text to field to record.
#ifndef VOVA_MODULE_TEST_SUPPORT_H
#define VOVA_MODULE_TEST_SUPPORT_H

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/Connection.h"
#include "vova/Module.h"
#include "vova/ParameterFileParser.h"
#include "vova/ParameterList.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova_test_support.h"

namespace vovatest {

typedef std::vector<std::pair<std::string, std::vector<std::string>>> Entries;

/** A setup list holding the given keys and values. */
inline VOVA::ParameterList listOf(const Entries &entries)
{
    VOVA::ParameterList list;
    for (const auto &e : entries)
        list.addParameter(VOVA::Parameter(e.first, e.second), true);
    return list;
}

/** A group of the setup file: its header line and the keys it lists. */
inline VOVA::ParameterGroup groupOf(const std::string &header, std::initializer_list<std::string> keys)
{
    VOVA::ParameterGroup g;
    g.header = header;
    g.parameters.insert(keys.begin(), keys.end());
    return g;
}

/** The module saved in kind t, as the grouped setup file writes it; with
 *  `ungrouped`, followed by the keys no group lists. */
inline std::string savedText(const VOVA::ModuleBase &module, VOVA::ModuleBase::SaveType t, bool ungrouped = false)
{
    VOVA::ParameterList list;
    EXPECT_EQ(QOV_SUCCESS, module.save(list, t));
    std::ostringstream os;
    VOVA::ParameterFileParser::saveGrouped(list, os, ungrouped);
    return os.str();
}

/** The values the module saves for one key in kind t. */
inline std::vector<std::string> savedValues(const VOVA::ModuleBase &module, const std::string &key,
                                            VOVA::ModuleBase::SaveType t = VOVA::ModuleBase::SAVE_VAL)
{
    VOVA::ParameterList list;
    EXPECT_EQ(QOV_SUCCESS, module.save(list, t));
    const VOVA::Parameter *p = list.getParameter(key);
    return p ? p->getValues() : std::vector<std::string>{"<absent>"};
}

/** Saving into a list that already holds the module's keys (saved at a
 *  bound) gives every key the values a save into an empty list gives. */
inline void expectSaveOverwrites(const VOVA::ModuleBase &module)
{
    typedef VOVA::ModuleBase B;
    for (B::SaveType t : {B::SAVE_VAL, B::SAVE_MIN, B::SAVE_MAX, B::SAVE_DEF}) {
        VOVA::ParameterList fresh;
        EXPECT_EQ(QOV_SUCCESS, module.save(fresh, t));
        for (B::SaveType before : {B::SAVE_MIN, B::SAVE_MAX}) {
            if (before == t)
                continue;
            VOVA::ParameterList list;
            EXPECT_EQ(QOV_SUCCESS, module.save(list, before));
            EXPECT_EQ(QOV_SUCCESS, module.save(list, t));
            for (const auto &entry : fresh) {
                const VOVA::Parameter *p = list.getParameter(entry.first);
                ASSERT_NE(nullptr, p) << entry.first;
                EXPECT_EQ(entry.second.getValues(), p->getValues())
                    << entry.first << " saved as " << t << " after " << before;
                EXPECT_EQ(entry.second.getInfo(), p->getInfo()) << entry.first;
            }
        }
    }
}

/** One row: a list of keys, the field it loads and the record value it sets up. */
template <class M> struct KeyRow {
    Entries entries;
    std::function<double(const M &)> field;
    double fieldValue;
    std::function<double(const MC_PIPELINE &)> record;
    double recordValue;
};

class ModuleTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        connection = std::make_unique<VOVA::CI_Connection>();
        ASSERT_NE(nullptr, connection->getConnection());
        sensor = std::make_unique<VOVA::Sensor>();
        pipeline = std::make_unique<VOVA::Pipeline>(connection->getConnection(), 0, sensor.get());
        ASSERT_NE(nullptr, pipeline->getMCPipeline());
    }
    void TearDown() override
    {
        pipeline.reset();
        sensor.reset();
        connection.reset();
        BoardTest::TearDown();
    }

    /** A new module of class M registered in the pipeline, which owns it. */
    template <class M> M &add()
    {
        M *module = new M();
        EXPECT_EQ(QOV_SUCCESS, pipeline->registerModule(module));
        return *module;
    }

    MC_PIPELINE &mc() { return *pipeline->getMCPipeline(); }

    /** Each row loaded alone into the module (every other key at its default), then set up. */
    template <class M> void checkRows(M &module, const std::vector<KeyRow<M>> &rows)
    {
        for (const KeyRow<M> &row : rows) {
            std::string trace;
            for (const auto &e : row.entries) {
                trace += e.first;
                for (const auto &v : e.second)
                    trace += " " + v;
                trace += "; ";
            }
            SCOPED_TRACE(trace);
            ASSERT_EQ(QOV_SUCCESS, module.load(listOf(row.entries)));
            EXPECT_EQ(row.fieldValue, row.field(module));
            ASSERT_EQ(QOV_SUCCESS, module.setup());
            EXPECT_EQ(row.recordValue, row.record(mc()));
        }
    }

    std::unique_ptr<VOVA::CI_Connection> connection;
    std::unique_ptr<VOVA::Sensor> sensor;
    std::unique_ptr<VOVA::Pipeline> pipeline;
};

/** The setup file of the camera tests. */
inline std::string cameraSetupFile() { return std::string(VEZARA_TESTDATA) + "/vova/camera_setup.txt"; }

/** Defect maps: two defects, and none. */
inline const std::string kTwoDefects = std::string(VEZARA_TESTDATA) + "/vova/dpf_two_defects.bin";
inline const std::string kEmptyMap = std::string(VEZARA_TESTDATA) + "/vova/dpf_empty.bin";

/** A lens-shading grid file, a bowl. */
inline const std::string kBowl = std::string(VEZARA_TESTDATA) + "/vova/lsh_bowl.lsh";

/**
 * A camera on the simulated OV5695 with the factory's modules, loaded from
 * the camera tests' setup file plus the given keys and programmed, so that
 * its capture pipeline is registered with the driver.
 */
class CameraModuleTest : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        chip = placeChip();
        camera = std::make_unique<VOVA::Camera>(0, kSensorId, kSensorMode, SENSOR_FLIP_NONE);
        ASSERT_EQ(VOVA::Camera::CAM_CONNECTED, camera->state);
        ASSERT_EQ(QOV_SUCCESS, VOVA::CameraFactory::populateCameraFromHWVersion(*camera, camera->getSensor()));
    }
    void TearDown() override
    {
        camera.reset();
        chip.reset();
        BoardTest::TearDown();
    }

    /** Loads the setup file with `extra` on top and programs the camera. */
    void loadAndProgram(const Entries &extra = {})
    {
        VOVA::ParameterList setup = VOVA::ParameterFileParser::parseFile(cameraSetupFile());
        ASSERT_TRUE(setup.validFlag);
        for (const auto &e : extra)
            setup.addParameter(VOVA::Parameter(e.first, e.second), true);
        ASSERT_EQ(QOV_SUCCESS, camera->loadParameters(setup));
        ASSERT_EQ(QOV_SUCCESS, camera->program());
    }

    /** The registered module of class M under id. */
    template <class M> M &module(VOVA::SetupID id)
    {
        M *m = dynamic_cast<M *>(camera->getPipeline()->getModule(id));
        EXPECT_NE(nullptr, m);
        return *m;
    }

    /** The driver's view of the camera's pipeline. */
    std::optional<simboard::IspPipelineView> driverPipeline()
    {
        const auto ids = driver->pipelineIds();
        if (ids.empty())
            return std::nullopt;
        return driver->pipeline(ids.front());
    }

    std::shared_ptr<simboard::SimChip> chip;
    std::unique_ptr<VOVA::Camera> camera;
};

}  // namespace vovatest

#endif
