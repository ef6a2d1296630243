// Shared fixture of the setup-module tests: on the board of the core's
// tests, a connection and a pipeline over a sensor of a chosen size holding
// the two global modules; helpers to register modules and load them from
// key text.
#ifndef SETUP_MODULE_FIXTURE_H
#define SETUP_MODULE_FIXTURE_H

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "vova/Connection.h"
#include "vova/ModuleIIF.h"
#include "vova/ModuleOUT.h"
#include "vova/ParameterFileParser.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "module_test_support.h"
#include "vova_test_support.h"

namespace vovatest {

/** The values of one saved key, empty when absent. */
inline std::vector<std::string> valuesOf(const VOVA::ParameterList &list, const std::string &key)
{
    const VOVA::Parameter *p = list.getParameter(key);
    return p ? std::vector<std::string>(p->begin(), p->end()) : std::vector<std::string>();
}

/** How many times piece occurs in text. */
inline size_t occurrences(const std::string &text, const std::string &piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        n++;
    return n;
}

class SetupModuleFixture : public BoardTest {
protected:
    void SetUp() override
    {
        BoardTest::SetUp();
        connection = std::make_unique<VOVA::CI_Connection>();
        ASSERT_TRUE(connection->getConnection());
        makePipeline(1920, 1080);
    }

    void TearDown() override
    {
        pipeline.reset();
        sensor.reset();
        connection.reset();
        BoardTest::TearDown();
    }

    /** A new pipeline over a sensor of width x height, holding an output and an imager-interface module. */
    void makePipeline(unsigned width, unsigned height)
    {
        pipeline.reset();
        sensor = std::make_unique<VOVA::Sensor>();
        sensor->uiWidth = width;
        sensor->uiHeight = height;
        pipeline = std::make_unique<VOVA::Pipeline>(connection->getConnection(), 0, sensor.get());
        ASSERT_TRUE(pipeline->getMCPipeline());
        out = add<VOVA::ModuleOUT>();
        iif = add<VOVA::ModuleIIF>();
        iif->aCropBR[0] = width - 1;
        iif->aCropBR[1] = height - 1;
    }

    /** Registers a new module of class M in the pipeline. */
    template <class M> M *add()
    {
        M *module = new M();
        EXPECT_EQ(QOV_SUCCESS, pipeline->registerModule(module));
        return module;
    }

    /** Deletes every registered module, the output and imager-interface modules included. */
    void dropModules()
    {
        pipeline->clearModules();
        out = nullptr;
        iif = nullptr;
    }

    MC_PIPELINE &mc() { return *pipeline->getMCPipeline(); }

    std::unique_ptr<VOVA::CI_Connection> connection;
    std::unique_ptr<VOVA::Sensor> sensor;
    std::unique_ptr<VOVA::Pipeline> pipeline;
    VOVA::ModuleOUT *out = nullptr;
    VOVA::ModuleIIF *iif = nullptr;
};

}  // namespace vovatest

#endif  // SETUP_MODULE_FIXTURE_H
