// Missing arguments and unregistered pipelines at the library's edge: every
// pointer an operation takes, left out one at a time, is refused with its
// result, nothing reaches the driver and the caller's outputs are untouched.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_datagen.h"
#include "test_ci_support.h"

namespace {

using citest::CiFixture;
using citest::LogCapture;

struct RefusedCall {
    const char *name;
    QOV_RESULT expected;
    std::function<QOV_RESULT()> call;
};

class CiArguments : public CiFixture {
protected:
    void expectRefused(const std::vector<RefusedCall> &cases)
    {
        for (const RefusedCall &c : cases) {
            driver->clearRequests();
            QOV_RESULT result;
            {
                LogCapture log;
                result = c.call();
            }
            EXPECT_EQ(result, c.expected) << c.name;
            EXPECT_EQ(driver->requests().size(), 0u) << c.name;
        }
    }
};

TEST_F(CiArguments, ConnectionOperationsRefuseMissingArguments)
{
    connect();
    CI_LINESTORE linestore{};
    linestore.aStart[0] = 0;
    linestore.aStart[1] = -1;
    CI_MODULE_GMA_LUT lut{};
    QOV_UINT32 value = 0xA5A5A5A5;
    QOV_UINT64 time = 0xA5A5A5A5A5A5A5A5;
    const QOV_RESULT invalid = QOV_ERROR_INVALID_ARGUMENT;
    expectRefused({
        {"verify connection", invalid, [&] { return CI_DriverVerifLinestore(nullptr, &linestore); }},
        {"verify line store", invalid, [&] { return CI_DriverVerifLinestore(connection, nullptr); }},
        {"get line store", invalid, [&] { return CI_DriverGetLinestore(nullptr); }},
        {"set connection", invalid, [&] { return CI_DriverSetLinestore(nullptr, &linestore); }},
        {"set line store", invalid, [&] { return CI_DriverSetLinestore(connection, nullptr); }},
        {"get gamma", invalid, [&] { return CI_DriverGetGammaLUT(nullptr); }},
        {"set gamma connection", invalid, [&] { return CI_DriverSetGammaLUT(nullptr, &lut); }},
        {"set gamma table", invalid, [&] { return CI_DriverSetGammaLUT(connection, nullptr); }},
        {"timestamp connection", invalid, [&] { return CI_DriverGetTimestamp(nullptr, &value); }},
        {"system time connection", invalid, [&] { return CI_DriverGetSystemTime(nullptr, &time); }},
        {"system time output", invalid, [&] { return CI_DriverGetSystemTime(connection, nullptr); }},
        {"defect buffer connection", invalid, [&] { return CI_DriverGetAvailableInternalDPFBuffer(nullptr, &value); }},
        {"register read connection", invalid, [&] { return CI_DriverDebugRegRead(nullptr, 1, 0x40, &value); }},
        {"register read output", invalid, [&] { return CI_DriverDebugRegRead(connection, 1, 0x40, nullptr); }},
        {"register write connection", invalid, [&] { return CI_DriverDebugRegWrite(nullptr, 1, 0x40, 7); }},
        {"pipeline output", invalid, [&] { return CI_PipelineCreate(nullptr, connection); }},
        {"pipeline connection", invalid, [&] {
             CI_PIPELINE *pPipeline = nullptr;
             return CI_PipelineCreate(&pPipeline, nullptr);
         }},
        {"generator connection", invalid, [&] {
             CI_DATAGEN *pDatagen = nullptr;
             return CI_DatagenCreate(&pDatagen, nullptr);
         }},
    });
    EXPECT_EQ(value, 0xA5A5A5A5u);
    EXPECT_EQ(time, 0xA5A5A5A5A5A5A5A5u);
    EXPECT_EQ(linestore.aSize[0], 0u);
    EXPECT_EQ(driver->liveObjects().pipelines, 0u);
}

TEST_F(CiArguments, PipelineOperationsRefuseANullPipeline)
{
    connect();
    CI_BUFFID ids{};
    CI_SHOT *pShot = nullptr;
    CI_BUFFER frame{};
    CI_LSHMAT matrix{};
    CI_BUFFER_INFO info{};
    QOV_UINT32 id = 77;
    int failure = 0;
    const QOV_RESULT invalid = QOV_ERROR_INVALID_ARGUMENT;
    expectRefused({
        {"destroy", invalid, [&] { return CI_PipelineDestroy(nullptr); }},
        {"verify", invalid, [&] { return CI_PipelineVerify(nullptr); }},
        {"register", invalid, [&] { return CI_PipelineRegister(nullptr); }},
        {"update", invalid, [&] { return CI_PipelineUpdate(nullptr, -1, &failure); }},
        {"update at once", invalid, [&] { return CI_PipelineUpdateASAP(nullptr, -1, &failure); }},
        {"line store", invalid, [&] { return CI_PipelineComputeLinestore(nullptr); }},
        {"start", invalid, [&] { return CI_PipelineStartCapture(nullptr); }},
        {"stop", invalid, [&] { return CI_PipelineStopCapture(nullptr); }},
        {"add pool", invalid, [&] { return CI_PipelineAddPool(nullptr, 2); }},
        {"delete shots", invalid, [&] { return CI_PipelineDeleteShots(nullptr); }},
        {"allocate", invalid, [&] { return CI_PipelineAllocateBuffer(nullptr, CI_TYPE_DATAEXT, 0, QOV_FALSE, &id); }},
        {"deregister buffer", invalid, [&] { return CI_PipelineDeregisterBuffer(nullptr, 1); }},
        {"find imported", invalid, [&] { return CI_PipelineFindBufferFromImportFd(nullptr, 3, &id); }},
        {"buffer info", invalid, [&] { return CI_PipelineGetBufferInfo(nullptr, 1, &info); }},
        {"first available", invalid, [&] { return CI_PipelineFindFirstAvailable(nullptr, &ids); }},
        {"trigger", invalid, [&] { return CI_PipelineTriggerShoot(nullptr); }},
        {"trigger without waiting", invalid, [&] { return CI_PipelineTriggerShootNB(nullptr); }},
        {"trigger given", invalid, [&] { return CI_PipelineTriggerSpecifiedShoot(nullptr, &ids); }},
        {"trigger given without waiting", invalid, [&] { return CI_PipelineTriggerSpecifiedShootNB(nullptr, &ids); }},
        {"acquire", invalid, [&] { return CI_PipelineAcquireShot(nullptr, &pShot); }},
        {"acquire without waiting", invalid, [&] { return CI_PipelineAcquireShotNB(nullptr, &pShot); }},
        {"release", invalid, [&] { return CI_PipelineReleaseShot(nullptr, pShot); }},
        {"acquire HDR", invalid, [&] { return CI_PipelineAcquireHDRBuffer(nullptr, &frame, 1); }},
        {"release HDR", invalid, [&] { return CI_PipelineReleaseHDRBuffer(nullptr, 1); }},
        {"allocate matrix", invalid, [&] { return CI_PipelineAllocateLSHMatrix(nullptr, 4096, &id); }},
        {"acquire matrix", invalid, [&] { return CI_PipelineAcquireLSHMatrix(nullptr, 1, &matrix); }},
        {"release matrix", invalid, [&] { return CI_PipelineReleaseLSHMatrix(nullptr, &matrix); }},
        {"update matrix", invalid, [&] { return CI_PipelineUpdateLSHMatrix(nullptr, 1); }},
        {"deregister matrix", invalid, [&] { return CI_PipelineDeregisterLSHMatrix(nullptr, 1); }},
    });
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(CI_PipelineHasPending(nullptr), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailableShots(nullptr), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailableBuffers(nullptr), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasAvailable(nullptr), QOV_FALSE);
    EXPECT_EQ(CI_PipelineHasBuffers(nullptr), -1);
    EXPECT_EQ(CI_PipelineHasLSHBuffers(nullptr), -1);
    EXPECT_EQ(CI_PipelineHasAcquired(nullptr), QOV_FALSE);
}

TEST_F(CiArguments, PipelineOperationsRefuseMissingOutputs)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    ASSERT_NE(pPipeline, nullptr);
    CI_LSHMAT matrix{};
    const QOV_RESULT invalid = QOV_ERROR_INVALID_ARGUMENT;
    expectRefused({
        {"first available", invalid, [&] { return CI_PipelineFindFirstAvailable(pPipeline, nullptr); }},
        {"find imported", invalid, [&] { return CI_PipelineFindBufferFromImportFd(pPipeline, 3, nullptr); }},
        {"buffer info", invalid, [&] { return CI_PipelineGetBufferInfo(pPipeline, 1, nullptr); }},
        {"trigger given", invalid, [&] { return CI_PipelineTriggerSpecifiedShoot(pPipeline, nullptr); }},
        {"trigger given without waiting", invalid,
         [&] { return CI_PipelineTriggerSpecifiedShootNB(pPipeline, nullptr); }},
        {"acquire", invalid, [&] { return CI_PipelineAcquireShot(pPipeline, nullptr); }},
        {"acquire without waiting", invalid, [&] { return CI_PipelineAcquireShotNB(pPipeline, nullptr); }},
        {"release", invalid, [&] { return CI_PipelineReleaseShot(pPipeline, nullptr); }},
        {"acquire HDR", invalid, [&] { return CI_PipelineAcquireHDRBuffer(pPipeline, nullptr, 1); }},
        {"matrix of size 0", invalid, [&] { return CI_PipelineAllocateLSHMatrix(pPipeline, 0, nullptr); }},
        {"acquire matrix", invalid, [&] { return CI_PipelineAcquireLSHMatrix(pPipeline, 1, nullptr); }},
        {"acquire matrix 0", invalid, [&] { return CI_PipelineAcquireLSHMatrix(pPipeline, 0, &matrix); }},
        {"release matrix", invalid, [&] { return CI_PipelineReleaseLSHMatrix(pPipeline, nullptr); }},
        {"release matrix 0", invalid, [&] { return CI_PipelineReleaseLSHMatrix(pPipeline, &matrix); }},
        {"extract shot", invalid, [&] {
             CI_PIPELINE_STATS stats{};
             return CI_PipelineExtractConfig(nullptr, &stats);
         }},
        {"release unknown matrix", QOV_ERROR_NOT_AVAILABLE, [&] {
             matrix.id = 12345;
             return CI_PipelineReleaseLSHMatrix(pPipeline, &matrix);
         }},
        {"update unknown matrix", QOV_ERROR_NOT_AVAILABLE, [&] { return CI_PipelineUpdateLSHMatrix(pPipeline, 12345); }},
        {"release HDR not acquired", QOV_ERROR_NOT_AVAILABLE, [&] { return CI_PipelineReleaseHDRBuffer(pPipeline, 1); }},
    });
    EXPECT_EQ(driver->liveObjects().shots, 2u); // the pool is whole
    EXPECT_EQ(driver->liveObjects().buffers, 1u);
}

TEST_F(CiArguments, UnregisteredPipelineRefusesShotOperations)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_NE(pPipeline, nullptr);
    CI_SHOT *pShot = nullptr;
    CI_BUFFER_INFO info{};
    QOV_UINT32 id = 77;
    const QOV_RESULT unregistered = QOV_ERROR_NOT_INITIALISED;
    expectRefused({
        {"delete shots", unregistered, [&] { return CI_PipelineDeleteShots(pPipeline); }},
        {"acquire", unregistered, [&] { return CI_PipelineAcquireShotNB(pPipeline, &pShot); }},
        {"find imported", unregistered, [&] { return CI_PipelineFindBufferFromImportFd(pPipeline, 3, &id); }},
        {"buffer info", unregistered, [&] { return CI_PipelineGetBufferInfo(pPipeline, 1, &info); }},
    });
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(pShot, nullptr);
}

TEST_F(CiArguments, GeneratorFramesRefuseANullFrame)
{
    connect();
    expectRefused({
        {"insert", QOV_ERROR_INVALID_ARGUMENT, [] { return CI_DatagenInsertFrame(nullptr); }},
        {"release", QOV_ERROR_INVALID_ARGUMENT, [] { return CI_DatagenReleaseFrame(nullptr); }},
        {"destroy", QOV_ERROR_INVALID_ARGUMENT, [] { return CI_DatagenDestroyFrame(nullptr); }},
    });
}

}  // namespace
