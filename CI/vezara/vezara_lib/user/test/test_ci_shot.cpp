// Buffers, the shot pool, triggers, acquisitions and releases, against the
// simulated driver with a stand-in sensor feeding imager 0.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "platform/device_io.h"
#include "test_ci_support.h"

namespace {

using citest::CiFixture;
using citest::LogCapture;
using citest::loggedError;
using simboard::IspCorruption;
using simboard::IspShotState;

// The buffers of one trigger: display, encoder, HDR insertion, RAW 2D ids.
CI_BUFFID buffers(QOV_UINT32 disp, QOV_UINT32 enc = 0, QOV_UINT32 hdrIns = 0, QOV_UINT32 raw2D = 0)
{
    CI_BUFFID ids{};
    ids.dispId = disp;
    ids.encId = enc;
    ids.idHDRIns = hdrIns;
    ids.idRaw2D = raw2D;
    return ids;
}

class Shots : public CiFixture {
protected:
    // A 64 x 32 ramp captured to a small encoder output and a data
    // extraction, one buffer each, the capture started.
    void startEncoderAndDataExtraction(CI_PIPELINE *&pPipeline, QOV_UINT32 &encId, QOV_UINT32 &dispId)
    {
        connect();
        feedImager(citest::rampFrame(64, 32));
        pPipeline = newPipeline(64, 32);
        addDataExtraction(pPipeline, 64, 32);
        ASSERT_EQ(PixelTransformYUV(&pPipeline->config.eEncType, YUV_420_PL12_8), QOV_SUCCESS);
        pPipeline->config.ui16MaxEncOutWidth = 64;
        pPipeline->config.ui16MaxEncOutHeight = 32;
        pPipeline->sEncoderScaler.aOutputSize[0] = 31;
        pPipeline->sEncoderScaler.aOutputSize[1] = 31;
        ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_ENCODER, 0, QOV_FALSE, &encId), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &dispId), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    }

    bool bufferAvailable(CI_PIPELINE *pPipeline, QOV_UINT32 id)
    {
        CI_BUFFER_INFO info{};
        EXPECT_EQ(CI_PipelineGetBufferInfo(pPipeline, id, &info), QOV_SUCCESS);
        return info.bAvailable != 0;
    }

    IspShotState driverShotState(CI_PIPELINE *pPipeline, int shotId)
    {
        auto view = driver->pipeline(intOf(pPipeline)->ui32Identifier);
        EXPECT_TRUE(view);
        for (const auto &shot : view->shots) {
            if (shot.id == shotId)
                return shot.state;
        }
        ADD_FAILURE() << "no shot " << shotId;
        return IspShotState::Free;
    }

    // Starts a data-extraction capture of a ramp image on imager 0.
    CI_PIPELINE *startedCapture(unsigned shots, unsigned buffers, std::vector<QOV_UINT32> *pIds,
                                uint32_t width = 64, uint32_t height = 32)
    {
        feedImager(citest::rampFrame(width, height));
        CI_PIPELINE *pPipeline = capturePipeline(width, height, shots, buffers, pIds);
        EXPECT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
        return pPipeline;
    }
};

// Sample i of a line of 10-bit Bayer data, three samples to a little-endian
// 32-bit word from its least significant bits.
uint16_t bayer10Sample(const uint8_t *line, uint32_t i)
{
    uint32_t word;
    memcpy(&word, line + 4 * (i / 3), 4);
    return static_cast<uint16_t>((word >> (10 * (i % 3))) & 0x3FF);
}

TEST_F(Shots, PoolShotsAreMappedOnce)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_ERROR_NOT_INITIALISED);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAddPool", "configuration is not registered"));
    }
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, 0), QOV_SUCCESS);
        EXPECT_TRUE(citest::logged(log.text(), "WARNING", "CI_PipelineAddPool", "no buffer to add..."));
    }
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 3), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().shots, 3u);
    // Statistics and load structure of each shot; no defect map, no encoder statistics.
    EXPECT_EQ(driver->liveObjects().userMappings, 6u);
    EXPECT_EQ(CI_PipelineHasAvailableShots(pPipeline), QOV_TRUE);

    for (sCell_T *pCell = List_getHead(&intOf(pPipeline)->sList_shots); pCell; pCell = List_getNext(pCell)) {
        const INT_SHOT *pShot = static_cast<const INT_SHOT *>(pCell->object);
        EXPECT_GT(pShot->iIdentifier, 0);
        EXPECT_NE(pShot->publicShot.pStatistics, nullptr);
        EXPECT_NE(pShot->publicShot.pLoadStruct, nullptr);
        EXPECT_EQ(pShot->publicShot.pDefectPixelMap, nullptr);
        EXPECT_EQ(pShot->publicShot.statsSize, CI_STATS_BLOCK_SIZE);
        EXPECT_FALSE(pShot->bAcquired);
    }
}

TEST_F(Shots, PoolFailuresKeepTheShotsAddedBefore)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CONFIG_ADDPOOL, -ENOMEM, 1, 1);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, 3), QOV_ERROR_NO_MEMORY);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAddPool",
                                "Failed to add buffer 1/3 to the configuration (returned -12)"));
    }
    EXPECT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 1u);

    driver->corrupt(IspCorruption::AddPoolMapId, 0x7FFF, CI_POOL_MAP_ID_STAT);
    const size_t mappings = driver->liveObjects().userMappings;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAddPool", "Failed to map the statistics to user-space 0/1"));
    }
    EXPECT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 1u);
    EXPECT_EQ(driver->liveObjects().userMappings, mappings);
}

// A shot the driver made but the library could not map leaves neither side:
// the pool stays as it was and the capture runs on the earlier shot.
TEST_F(Shots, UnmappedShotLeavesThePoolAsItWas)
{
    struct Case {
        const char *name;
        IspCorruption kind;
        uint32_t value;
        unsigned index;
        const char *message;
    };
    const Case cases[] = {
        {"unknown statistics map id", IspCorruption::AddPoolMapId, 0x7FFF, CI_POOL_MAP_ID_STAT,
         "Failed to map the statistics to user-space 0/1"},
        {"statistics size 0", IspCorruption::AddPoolStatsSize, 0, 0,
         "Failed to map the statistics to user-space 0/1"},
        {"unknown load-structure map id", IspCorruption::AddPoolMapId, 0x7FFF, CI_POOL_MAP_ID_LOAD,
         "Failed to map the load structure to user-space 0/1"},
    };
    connect();
    feedImager(citest::rampFrame(64, 32));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<QOV_UINT32> ids;
        CI_PIPELINE *pPipeline = capturePipeline(64, 32, 1, 1, &ids);
        ASSERT_NE(pPipeline, nullptr);
        const size_t mappings = driver->liveObjects().userMappings;
        const size_t objects = driver->liveObjects().memoryObjects;

        driver->corrupt(c.kind, c.value, c.index);
        {
            LogCapture log;
            EXPECT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_ERROR_FAILURE);
            EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAddPool", c.message)) << log.text();
        }
        ASSERT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 1u);
        EXPECT_EQ(driver->liveObjects().shots, 1u);
        EXPECT_EQ(driver->liveObjects().userMappings, mappings);
        EXPECT_EQ(driver->liveObjects().memoryObjects, objects);
        const INT_SHOT *pKept = static_cast<const INT_SHOT *>(List_getHead(&intOf(pPipeline)->sList_shots)->object);
        EXPECT_EQ(driverShotState(pPipeline, pKept->iIdentifier), IspShotState::Free);

        ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
        for (int frame = 0; frame < 2; frame++) {
            ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
            CI_SHOT *pShot = nullptr;
            ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
            EXPECT_EQ(pShot, &pKept->publicShot);
            ASSERT_NE(pShot->pStatistics, nullptr);
            EXPECT_EQ(pShot->dispId, ids[0]);
            if (frame == 0) {
                // A failed addition could not rebuild the pool under an acquired shot.
                LogCapture log;
                EXPECT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_ERROR_WRONG_STATE);
                EXPECT_TRUE(loggedError(log.text(), "CI_PipelineAddPool",
                                        "Cannot add shots while one is acquired - release it beforehand"));
                EXPECT_EQ(driver->liveObjects().shots, 1u);
            }
            ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
        }
        ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineDeregisterBuffer(pPipeline, ids[0]), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
    }
}

// A count beyond INT_MAX is a request for shots like any other: they are
// added until the driver runs out, and its refusal is reported.
TEST_F(Shots, HugePoolIsAddedUntilTheDriverRefuses)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CONFIG_ADDPOOL, -ENOMEM, 1, 2);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, 0x80000000u), QOV_ERROR_NO_MEMORY);
    }
    EXPECT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 2u);
    EXPECT_EQ(driver->liveObjects().shots, 2u);
}

TEST_F(Shots, BufferCreationChecks)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline();
    addDataExtraction(pPipeline, 64, 32);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, nullptr),
                  QOV_ERROR_NOT_INITIALISED);
        EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineCreateBuffer", "Pipeline is not registered"));
    }
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->clearRequests();

    struct Case {
        const char *name;
        CI_BUFFTYPE type;
        QOV_BOOL8 tiled;
        QOV_UINT32 fd;
        QOV_RESULT expected;
        const char *function;
        const char *message;
    } cases[] = {
        {"no type", CI_TYPE_NONE, 0, 0, QOV_ERROR_INVALID_ARGUMENT, "QOV_CI_PipelineCreateBuffer",
         "pPipeline is NULL or buffer type is NONE"},
        {"encoder off", CI_TYPE_ENCODER, 0, 0, QOV_ERROR_NOT_SUPPORTED, "QOV_CI_PipelineCreateBuffer",
         "Given buffer type 1 is not configured in current Pipeline setup (encoder=0, display=3, hdrExt=0, hdrIns=0, "
         "raw2D=0)"},
        {"display of a Bayer output", CI_TYPE_DISPLAY, 0, 0, QOV_ERROR_NOT_SUPPORTED, "QOV_CI_PipelineCreateBuffer",
         "Given buffer type 2 is not configured in current Pipeline setup (encoder=0, display=3, hdrExt=0, hdrIns=0, "
         "raw2D=0)"},
        {"tiled without tiling support", CI_TYPE_DATAEXT, 1, 0, QOV_ERROR_NOT_SUPPORTED, "QOV_CI_PipelineCreateBuffer",
         "Pipeline is not configured to support tiling, use bSupportTiling before registration to allow "
         "impotation/allocation of tiled buffers"},
        {"unknown type", static_cast<CI_BUFFTYPE>(7), 0, 0, QOV_ERROR_FAILURE, "QOV_CI_PipelineCreateBuffer",
         "unsupoprted buffer format configured!"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        QOV_UINT32 id = 0;
        LogCapture log;
        EXPECT_EQ(CI_PipelineAllocateBuffer(pPipeline, c.type, 0, c.tiled, &id), c.expected);
        EXPECT_TRUE(loggedError(log.text(), c.function, c.message)) << log.text();
        EXPECT_EQ(id, 0u);
    }
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineImportBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, 0, nullptr),
                  QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineImportBuffer", "Given buffer ID 0 is invalid!"));
    }
    EXPECT_EQ(driver->requestCount(CI_CREATE_BUFF), 0u);
}

TEST_F(Shots, BufferTheLibraryCannotMapIsGivenBack)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 1, 0);
    driver->planFault(CI_CREATE_BUFF, -ENOMEM);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, nullptr), QOV_ERROR_NO_MEMORY);
        EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineCreateBuffer",
                                "Failed to create buffers in kernel space (returned -12)"));
    }
    // The driver reports more bytes than it can map.
    driver->corrupt(IspCorruption::CreateBufferSize, 1u << 24);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, nullptr), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "QOV_CI_PipelineCreateBuffer", "Failed to map Buffer to user-space"));
    }
    EXPECT_EQ(CI_PipelineHasBuffers(pPipeline), 0);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);
}

// A buffer's information says whether it was made tiled.
TEST_F(Shots, BufferInfoSaysWhetherTheBufferIsTiled)
{
    connect();
    CI_PIPELINE *pPipeline = newPipeline(64, 32);
    ASSERT_NE(pPipeline, nullptr);
    PIXELTYPE type{};
    ASSERT_EQ(PixelTransformRGB(&type, RGB_888_32), QOV_SUCCESS);
    pPipeline->config.eDispType = type;
    pPipeline->config.ui16MaxDispOutWidth = 64;
    pPipeline->config.ui16MaxDispOutHeight = 32;
    pPipeline->config.bSupportTiling = 1;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    for (QOV_BOOL8 tiled : {QOV_TRUE, QOV_FALSE}) {
        QOV_UINT32 id = 0;
        ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DISPLAY, 0, tiled, &id), QOV_SUCCESS);
        CI_BUFFER_INFO info{};
        ASSERT_EQ(CI_PipelineGetBufferInfo(pPipeline, id, &info), QOV_SUCCESS);
        EXPECT_EQ(info.bIsTiled, tiled);
    }
}

TEST_F(Shots, ImportedBuffers)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 1, 0);
    const int fd = memfd_create("dmabuf", 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 65536), 0);

    QOV_UINT32 id = 0;
    ASSERT_EQ(CI_PipelineImportBuffer(pPipeline, CI_TYPE_DATAEXT, 32768, QOV_FALSE, static_cast<QOV_UINT32>(fd), &id),
              QOV_SUCCESS);
    ASSERT_NE(id, 0u);
    QOV_UINT32 found = 0;
    ASSERT_EQ(CI_PipelineFindBufferFromImportFd(pPipeline, static_cast<QOV_UINT32>(fd), &found), QOV_SUCCESS);
    EXPECT_EQ(found, id);
    CI_BUFFER_INFO info{};
    ASSERT_EQ(CI_PipelineGetBufferInfo(pPipeline, id, &info), QOV_SUCCESS);
    EXPECT_EQ(info.id, id);
    EXPECT_EQ(info.ionFd, static_cast<QOV_UINT32>(fd));
    EXPECT_GE(info.ui32Size, 32768u);
    EXPECT_EQ(info.type, CI_ALLOC_DISP);
    EXPECT_EQ(info.bAvailable, 1);
    EXPECT_EQ(info.bIsTiled, 0);

    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineFindBufferFromImportFd(pPipeline, 977, &found), QOV_ERROR_FAILURE);
        EXPECT_EQ(CI_PipelineGetBufferInfo(pPipeline, 4242, &info), QOV_ERROR_FAILURE);
        EXPECT_EQ(CI_PipelineGetBufferInfo(pPipeline, 0, &info), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_NE(log.text().find("Failed to find provided ionFd=977"), std::string::npos);
        EXPECT_NE(log.text().find("Failed to find provided buffId=4242"), std::string::npos);
    }
    ASSERT_EQ(CI_PipelineDeregisterBuffer(pPipeline, id), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);
    close(fd);
}

TEST_F(Shots, TriggerRules)
{
    connect();
    std::vector<QOV_UINT32> ids;
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1, &ids);
    driver->clearRequests();
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineTriggerShoot", "pipeline capture is not started"));
        EXPECT_EQ(driver->requestCount(CI_CAPTURE_TRIGGER), 0u);
    }
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    EXPECT_FALSE(bufferAvailable(pPipeline, ids[0]));
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineFindFirstAvailable",
                                "Failed to find an available display output buffer!"));
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineTriggerShoot", "Failed to find first available buffers"));
    }
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeregisterBuffer(pPipeline, ids[0]), QOV_ERROR_WRONG_STATE);
        EXPECT_EQ(CI_PipelineDeregisterBuffer(pPipeline, 4242), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeregisterBuffer",
                                "Cannot deregister a buffer that is acquired or pending for capture - release it "
                                "beforehand"));
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeregisterBuffer",
                                "Buffer 4242 not found in userspace buffer list!"));
    }
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    EXPECT_TRUE(bufferAvailable(pPipeline, ids[0]));
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    struct Case {
        const char *name;
        CI_BUFFID ids;
        const char *message;
    } cases[] = {
        {"unknown display buffer", buffers(0x99), "Failed to find specified display output buffer 0x99!"},
        {"display buffer in the encoder slot", buffers(0, ids[0]), nullptr},
        {"display buffer in the RAW 2D slot", buffers(0, 0, 0, ids[0]), nullptr},
        {"display buffer in the HDR-insertion slot", buffers(0, 0, ids[0]), nullptr},
    };
    const std::string id = std::to_string(ids[0]);
    const std::string wrongSlot[] = {"", "Specified buffer " + id + " for Encoder is not an Encoder buffer",
                                     "Specified buffer " + id + " for Raw2D is not a Raw2D buffer",
                                     "Specified buffer " + id + " for HDRIns is not an HDRIns buffer"};
    driver->clearRequests();
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); i++) {
        SCOPED_TRACE(cases[i].name);
        LogCapture log;
        EXPECT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, &cases[i].ids), QOV_ERROR_NOT_AVAILABLE);
        const std::string message = cases[i].message ? cases[i].message : wrongSlot[i];
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineTriggerShoot", message)) << log.text();
        EXPECT_TRUE(bufferAvailable(pPipeline, ids[0]));
    }
    EXPECT_EQ(driver->requestCount(CI_CAPTURE_TRIGGER), 0u);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, nullptr), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineTriggerSpecifiedShoot", "pPipeline or pBuffId is NULL"));
    }
}

TEST_F(Shots, TriggerOnACaptureTheDriverStopped)
{
    connect();
    std::vector<QOV_UINT32> ids;
    CI_PIPELINE *pPipeline = startedCapture(2, 1, &ids);
    driver->corrupt(IspCorruption::TriggerStopsCapture);
    LogCapture log;
    EXPECT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_ERROR_WRONG_STATE);
    EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineTriggerShoot", "Failed to add a frame to be captured"));
    EXPECT_TRUE(citest::logged(log.text(), "INFO", "QOV_PipelineTriggerShoot", "Capture was stopped!")) << log.text();
    EXPECT_FALSE(intOf(pPipeline)->bStarted);
    EXPECT_TRUE(bufferAvailable(pPipeline, ids[0]));
}

// A non-negative driver answer to a trigger is a success, never a code.
TEST_F(Shots, PositiveTriggerAnswerIsSuccess)
{
    connect();
    std::vector<QOV_UINT32> ids;
    CI_PIPELINE *pPipeline = startedCapture(1, 1, &ids);
    driver->planFault(CI_CAPTURE_TRIGGER, 4);
    EXPECT_EQ(CI_PipelineTriggerShootNB(pPipeline), QOV_SUCCESS);
    EXPECT_FALSE(bufferAvailable(pPipeline, ids[0]));
}

TEST_F(Shots, CaptureCycle)
{
    connect();
    const simboard::BayerFrame frame = citest::rampFrame(64, 32);
    feedImager(frame);
    CI_PIPELINE *pPipeline = newPipeline(64, 32);
    addDataExtraction(pPipeline, 64, 32);
    pPipeline->config.ui8PrivateValue = 0x5A;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 2), QOV_SUCCESS);
    QOV_UINT32 bufferId = 0;
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &bufferId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_NE(pShot, nullptr);
    EXPECT_EQ(pShot->dispId, bufferId);
    ASSERT_NE(pShot->pDisplayOutput, nullptr);
    EXPECT_EQ(pShot->aDispSize[1], 32u);
    EXPECT_EQ(pShot->bFrameError, 0);
    EXPECT_EQ(pShot->ui8PrivateValue, 0x5A);
    EXPECT_NE(pShot->ui32InterruptTS, 0u);
    EXPECT_GE(pShot->ui64InterruptSysTime, pShot->ui64LinkedListSysTime);
    EXPECT_EQ(pShot->encId, 0u);
    EXPECT_EQ(pShot->pEncoderOutput, nullptr);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_TRUE);
    EXPECT_FALSE(bufferAvailable(pPipeline, bufferId));

    // The data extraction carries the input samples.
    const uint8_t *out = static_cast<const uint8_t *>(pShot->pDisplayOutput) + pShot->ui32DispOffset;
    for (uint32_t y = 0; y < 32; y += 7) {
        for (uint32_t x = 0; x < 64; x += 5)
            ASSERT_EQ(bayer10Sample(out + y * pShot->aDispSize[0], x), frame.samples[y * 64 + x]) << x << "," << y;
    }

    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    EXPECT_TRUE(bufferAvailable(pPipeline, bufferId));
    EXPECT_EQ(pShot->pDisplayOutput, nullptr);
    EXPECT_EQ(pShot->dispId, bufferId);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_ERROR_NOT_INITIALISED);
        CI_SHOT foreign{};
        EXPECT_EQ(CI_PipelineReleaseShot(pPipeline, &foreign), QOV_ERROR_NOT_INITIALISED);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineReleaseShot",
                                "pPipeline is not registered or buffer was not acquired"));
    }
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().shots, 0u);
    ASSERT_EQ(CI_PipelineDeregisterBuffer(pPipeline, bufferId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
}

TEST_F(Shots, EncoderAndDataExtractionTogether)
{
    CI_PIPELINE *pPipeline = nullptr;
    QOV_UINT32 encId = 0, dispId = 0;
    ASSERT_NO_FATAL_FAILURE(startEncoderAndDataExtraction(pPipeline, encId, dispId));

    CI_BUFFID first{};
    ASSERT_EQ(CI_PipelineFindFirstAvailable(pPipeline, &first), QOV_SUCCESS);
    EXPECT_EQ(first.encId, encId);
    EXPECT_EQ(first.dispId, dispId);
    EXPECT_EQ(first.idHDRExt, 0u);
    EXPECT_EQ(first.encStrideY, 0u);

    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->encId, encId);
    EXPECT_NE(pShot->pEncoderOutput, nullptr);
    EXPECT_GE(pShot->aEncYSize[0], 64u);
    EXPECT_EQ(pShot->aEncYSize[1], 32u);
    EXPECT_EQ(pShot->aEncCbCrSize[1], 16u);
    EXPECT_EQ(pShot->dispId, dispId);
    EXPECT_NE(pShot->pDisplayOutput, nullptr);
    EXPECT_FALSE(bufferAvailable(pPipeline, encId));
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->pEncoderOutput, nullptr);
    EXPECT_EQ(pShot->encId, encId);
    EXPECT_TRUE(bufferAvailable(pPipeline, encId));
}

// The HDR extraction and RAW 2D outputs: their buffers, their place in the
// acquired shot, and their release.
TEST_F(Shots, HdrExtractionAndRaw2DOutputs)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline(64, 32);
    ASSERT_EQ(PixelTransformRGB(&pPipeline->config.eHDRExtType, BGR_101010_32), QOV_SUCCESS);
    ASSERT_EQ(PixelTransformBayer(&pPipeline->config.eRaw2DExtraction, BAYER_TIFF_10, MOSAIC_RGGB), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
    QOV_UINT32 hdrId = 0, rawId = 0;
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_HDREXT, 0, QOV_FALSE, &hdrId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_RAW2D, 0, QOV_FALSE, &rawId), QOV_SUCCESS);
    ASSERT_NE(hdrId, rawId);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    CI_BUFFID first{};
    ASSERT_EQ(CI_PipelineFindFirstAvailable(pPipeline, &first), QOV_SUCCESS);
    EXPECT_EQ(first.idHDRExt, hdrId);
    EXPECT_EQ(first.idRaw2D, rawId);
    EXPECT_EQ(first.encId, 0u);
    EXPECT_EQ(first.dispId, 0u);

    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->HDRExtId, hdrId);
    EXPECT_NE(pShot->pHDRExtOutput, nullptr);
    EXPECT_GE(pShot->aHDRExtSize[0], 64u * 4);
    EXPECT_EQ(pShot->aHDRExtSize[1], 32u);
    EXPECT_EQ(pShot->raw2DExtId, rawId);
    EXPECT_NE(pShot->pRaw2DExtOutput, nullptr);
    EXPECT_NE(pShot->pRaw2DExtOutput, pShot->pHDRExtOutput);
    EXPECT_GE(pShot->aRaw2DSize[0], 64u * 10 / 8);
    EXPECT_EQ(pShot->aRaw2DSize[1], 32u);
    EXPECT_EQ(pShot->encId, 0u);
    EXPECT_EQ(pShot->pDisplayOutput, nullptr);
    EXPECT_FALSE(bufferAvailable(pPipeline, hdrId));
    EXPECT_FALSE(bufferAvailable(pPipeline, rawId));
    {
        // Neither is an HDR insertion buffer.
        LogCapture log;
        CI_BUFFER frame{};
        EXPECT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &frame, hdrId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineReleaseHDRBuffer(pPipeline, rawId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(frame.data, nullptr);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineReleaseHDRBuffer",
                                "Buffer " + std::to_string(rawId) + " is not of HDR insertion type!"));
    }

    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->pHDRExtOutput, nullptr);
    EXPECT_EQ(pShot->pRaw2DExtOutput, nullptr);
    EXPECT_EQ(pShot->HDRExtId, hdrId);
    EXPECT_EQ(pShot->raw2DExtId, rawId);
    EXPECT_TRUE(bufferAvailable(pPipeline, hdrId));
    EXPECT_TRUE(bufferAvailable(pPipeline, rawId));
}

// Strides and offsets given with a trigger are where the driver writes each
// output, and the acquired shot reports them.
TEST_F(Shots, GivenLayoutsReachTheShot)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline(64, 32);
    ASSERT_EQ(PixelTransformYUV(&pPipeline->config.eEncType, YUV_420_PL12_8), QOV_SUCCESS);
    pPipeline->config.ui16MaxEncOutWidth = 64;
    pPipeline->config.ui16MaxEncOutHeight = 32;
    pPipeline->sEncoderScaler.aOutputSize[0] = 31;
    pPipeline->sEncoderScaler.aOutputSize[1] = 31;
    ASSERT_EQ(PixelTransformRGB(&pPipeline->config.eHDRExtType, BGR_101010_32), QOV_SUCCESS);
    ASSERT_EQ(PixelTransformBayer(&pPipeline->config.eRaw2DExtraction, BAYER_TIFF_10, MOSAIC_RGGB), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
    CI_BUFFID ids{};
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_ENCODER, 16384, QOV_FALSE, &ids.encId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_HDREXT, 16384, QOV_FALSE, &ids.idHDRExt), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_RAW2D, 16384, QOV_FALSE, &ids.idRaw2D), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    ids.encStrideY = 128;
    ids.encStrideC = 192;
    ids.encOffsetY = 256;
    ids.encOffsetC = 4480;
    ids.HDRExtStride = 320;
    ids.HDRExtOffset = 512;
    ids.raw2DStride = 96;
    ids.raw2DOffset = 100;
    ASSERT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, &ids), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_NE(pShot, nullptr);

    EXPECT_EQ(pShot->aEncYSize[0], 128u);
    EXPECT_EQ(pShot->aEncYSize[1], 32u);
    EXPECT_EQ(pShot->aEncCbCrSize[0], 192u);
    EXPECT_EQ(pShot->aEncCbCrSize[1], 16u);
    EXPECT_EQ(pShot->aEncOffset[0], 256u);
    EXPECT_EQ(pShot->aEncOffset[1], 4480u);
    EXPECT_EQ(pShot->bEncTiled, 0);
    EXPECT_EQ(pShot->aHDRExtSize[0], 320u);
    EXPECT_EQ(pShot->aHDRExtSize[1], 32u);
    EXPECT_EQ(pShot->ui32HDRExtOffset, 512u);
    EXPECT_EQ(pShot->bHDRExtTiled, 0);
    EXPECT_EQ(pShot->aRaw2DSize[0], 96u);
    EXPECT_EQ(pShot->aRaw2DSize[1], 32u);
    EXPECT_EQ(pShot->ui32Raw2DOffset, 100u);

    // the RAW 2D output starts at its offset: nothing before it is written
    ASSERT_NE(pShot->pRaw2DExtOutput, nullptr);
    const QOV_UINT8 *raw = static_cast<const QOV_UINT8 *>(pShot->pRaw2DExtOutput);
    EXPECT_EQ(std::count(raw, raw + 100, 0), 100);
    EXPECT_LT(std::count(raw + 100, raw + 180, 0), 80);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
}

TEST_F(Shots, NonBlockingAcquisitionWithNothingReadyIsQuiet)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(2, 1, nullptr);
    CI_SHOT *pShot = nullptr;
    LogCapture log;
    EXPECT_EQ(CI_PipelineAcquireShotNB(pPipeline, &pShot), QOV_ERROR_NOT_AVAILABLE);
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(log.text(), "");
}

TEST_F(Shots, StatusWordOfTheStatistics)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(1, 1, nullptr);
    driver->corrupt(IspCorruption::AcquireStatusWord, 0x00AB0001);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->bFrameError, 1);
    EXPECT_EQ(pShot->ui8PrivateValue, 0xAB);
    EXPECT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
}

// A statistics block too short to hold the status word is not read past
// its end: the frame flags come from the driver's answer.
TEST_F(Shots, ShortStatisticsBlockIsNotReadPastItsEnd)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline();
    addDataExtraction(pPipeline, 64, 32);
    pPipeline->config.ui8PrivateValue = 0x21;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    driver->corrupt(IspCorruption::AddPoolStatsSize, 64);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, nullptr), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    driver->markFramesErroneous(1);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->statsSize, 64u);
    EXPECT_EQ(pShot->bFrameError, 1);
    EXPECT_EQ(pShot->ui8PrivateValue, 0x21);
    EXPECT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
}

// An output the answer does not name leaves neither its id nor its mapping
// from an earlier acquisition of the same shot.
TEST_F(Shots, OutputsFollowEachAnswer)
{
    connect();
    std::vector<QOV_UINT32> ids;
    CI_PIPELINE *pPipeline = startedCapture(1, 1, &ids);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    EXPECT_EQ(pShot->dispId, ids[0]);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);

    const CI_BUFFID none{};
    ASSERT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, &none), QOV_SUCCESS);
    CI_SHOT *pAgain = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pAgain), QOV_SUCCESS);
    EXPECT_EQ(pAgain, pShot);
    EXPECT_EQ(pAgain->dispId, 0u);
    EXPECT_EQ(pAgain->pDisplayOutput, nullptr);
    EXPECT_EQ(pAgain->HDRExtId, 0u);
    EXPECT_EQ(pAgain->pHDRExtOutput, nullptr);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pAgain), QOV_SUCCESS);
}

// A shot the library does not know is handed back, so the pool keeps its size.
TEST_F(Shots, UnknownShotIsGivenBack)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline();
    addDataExtraction(pPipeline, 64, 32);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    // A shot added behind the library's back: the oldest, so the next trigger uses it.
    CI_POOL_PARAM pool{};
    pool.configId = static_cast<QOV_UINT32>(intOf(pPipeline)->ui32Identifier);
    const int fd = INT_CI_Connection(connection)->fileDesc->file;
    ASSERT_EQ(PLATFORM_Ioctl(fd, CI_IOCTL_CONFIG_ADDPOOL, &pool), 0);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
    QOV_UINT32 bufferId = 0;
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &bufferId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    LogCapture log;
    EXPECT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_ERROR_FAILURE);
    EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineAcquireBuffer",
                            "Failed to find the acquired buffer in the user side list! param.shotId=" +
                                std::to_string(pool.iShotId)))
        << log.text();
    // the give-back itself worked: nothing is said of it
    EXPECT_EQ(log.text().find("Failed to release a buffer"), std::string::npos) << log.text();
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(driverShotState(pPipeline, pool.iShotId), IspShotState::Free);
    EXPECT_TRUE(bufferAvailable(pPipeline, bufferId));
}

// A buffer the library does not know makes the acquisition fail without
// leaving the shot stuck with the caller.
TEST_F(Shots, UnknownBufferDoesNotLeaveTheShotAcquired)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(1, 1, nullptr);
    const int shotId = static_cast<INT_SHOT *>(List_getHead(&intOf(pPipeline)->sList_shots)->object)->iIdentifier;
    driver->corrupt(IspCorruption::AcquireBufferId, 999, 1);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineAcquireBuffer",
                                "Failed to find the acquired the specified disp buffer (id=999) in the user side list!"))
            << log.text();
    }
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
    EXPECT_EQ(driverShotState(pPipeline, shotId), IspShotState::Free);
    EXPECT_EQ(CI_PipelineHasAvailableShots(pPipeline), QOV_TRUE);
}

// Each request of the capture cycle the driver refuses: the driver's answer
// is returned, the failure named, and the pipeline is as it was, so the same
// step succeeds when asked again.
TEST_F(Shots, EveryRefusedCaptureStepLeavesThePipelineAsItWas)
{
    connect();
    std::vector<QOV_UINT32> ids;
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1, &ids);
    ASSERT_EQ(ids.size(), 1u);

    driver->planFault(CI_CAPTURE_START, -ECANCELED);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineStartCapture(pPipeline), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineStartCapture", "Failed to start the capture"))
            << log.text();
    }
    EXPECT_FALSE(intOf(pPipeline)->bStarted);
    EXPECT_EQ(CI_PipelineIsStarted(pPipeline), QOV_FALSE);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);

    driver->planFault(CI_CAPTURE_HASAVAILABLE, -EINVAL);
    driver->planFault(CI_CAPTURE_HASAVAILABLE, -EINVAL, 1, 1);
    driver->planFault(CI_CAPTURE_HASWAITING, -ETIME);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineHasWaiting(pPipeline), -ETIME);
        EXPECT_EQ(CI_PipelineHasAvailableBuffers(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(CI_PipelineHasAvailable(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineHasAvailableBuffers",
                                "Failed to verify if the configuration has available buffers (returned -22)"));
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineHasAvailable",
                                "Failed to verify if the configuration has available buffers & shots (returned -22)"));
    }

    CI_SHOT *pShot = nullptr;
    driver->planFault(CI_CAPTURE_ACQUIRE, -ETIME);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_ERROR_TIMEOUT);
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineAcquireBuffer",
                                "Failed to acquire a buffer (returned -62 - shot id 0)"))
            << log.text();
    }
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_NE(pShot, nullptr);
    const void *output = pShot->pDisplayOutput;
    ASSERT_NE(output, nullptr);

    driver->planFault(CI_CAPTURE_RELEASE, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineReleaseShot", "Failed to release a buffer (returned -22)"));
    }
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_TRUE);
    EXPECT_EQ(pShot->pDisplayOutput, output);
    EXPECT_FALSE(bufferAvailable(pPipeline, ids[0]));
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    EXPECT_TRUE(bufferAvailable(pPipeline, ids[0]));
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);

    driver->planFault(CI_DEREGISTER_BUFF, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeregisterBuffer(pPipeline, ids[0]), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeregisterBuffer",
                                "Failed to deregister buffer " + std::to_string(ids[0])));
    }
    EXPECT_TRUE(bufferAvailable(pPipeline, ids[0])); // back in the list, still mapped
    EXPECT_EQ(CI_PipelineHasBuffers(pPipeline), 1);
    EXPECT_EQ(driver->liveObjects().buffers, 1u);
    ASSERT_EQ(CI_PipelineDeregisterBuffer(pPipeline, ids[0]), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);

    // The library's shots go whatever the driver answers; the result says so.
    driver->planFault(CI_CONFIG_DELPOOL, -EINVAL);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_ERROR_INVALID_ARGUMENT);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeleteShots", "Failed to remove shots (ret=11)"))
            << log.text();
    }
    EXPECT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 0u);
    EXPECT_EQ(driver->liveObjects().shots, 2u);
    ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().shots, 0u);
}

// An acquisition answer that names no shot gives the caller none.
TEST_F(Shots, AnswerWithoutAShotIsNoShot)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(1, 1, nullptr);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    driver->corrupt(IspCorruption::AcquireShotId, 0);
    CI_SHOT *pShot = nullptr;
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_ERROR_FAILURE);
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineAcquireBuffer",
                                "Failed to acquire a buffer (returned 0 - shot id 0)"))
            << log.text();
    }
    EXPECT_EQ(pShot, nullptr);
    EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
}

// A shot whose second buffer the library does not know is given back with
// the first: the buffer it already held is free again once the driver takes
// the shot back, and stays queued when the driver refuses it.
TEST_F(Shots, UnknownSecondBufferGivesTheFirstBack)
{
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "give-back refused" : "given back");
        CI_PIPELINE *pPipeline = nullptr;
        QOV_UINT32 encId = 0, dispId = 0;
        ASSERT_NO_FATAL_FAILURE(startEncoderAndDataExtraction(pPipeline, encId, dispId));
        ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);

        driver->corrupt(IspCorruption::AcquireBufferId, 999, 1);
        if (refused)
            driver->planFault(CI_CAPTURE_RELEASE, -EINVAL);
        CI_SHOT *pShot = nullptr;
        {
            LogCapture log;
            EXPECT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_ERROR_FAILURE);
        }
        EXPECT_EQ(pShot, nullptr);
        EXPECT_EQ(CI_PipelineHasAcquired(pPipeline), QOV_FALSE);
        EXPECT_EQ(bufferAvailable(pPipeline, encId), !refused);
        EXPECT_FALSE(bufferAvailable(pPipeline, dispId)); // its id never came back
        ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
        EXPECT_TRUE(bufferAvailable(pPipeline, encId));
        EXPECT_TRUE(bufferAvailable(pPipeline, dispId));
        ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        connection = nullptr;
    }
}

// An acquired shot carries the driver's time stamps: the linked list's, which
// the statistics' start of frame repeats (the clock stands still from trigger
// to frame), and the later interrupt's.
TEST_F(Shots, AcquiredShotsCarryTheDriversTimestamps)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(2, 2, nullptr);
    for (int i = 0; i < 2; i++)
        ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    QOV_UINT32 previous = 0;
    for (int i = 0; i < 2; i++) {
        CI_SHOT *pShot = nullptr;
        ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
        QOV_UINT32 frameStart;
        memcpy(&frameStart, static_cast<const char *>(pShot->pStatistics) + CI_STATS_TS_START_FRAME_IN_OFFSET,
               sizeof(frameStart));
        EXPECT_EQ(pShot->ui32LinkedListTS, frameStart) << i;
        EXPECT_GT(pShot->ui32InterruptTS, pShot->ui32LinkedListTS) << i;
        EXPECT_GT(pShot->ui64InterruptSysTime, pShot->ui64LinkedListSysTime) << i;
        EXPECT_GE(pShot->ui32LinkedListTS, previous) << i;
        previous = pShot->ui32InterruptTS;
        ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    }
}

// Shots still in the caller's hands are not freed under it.
TEST_F(Shots, DeletingShotsWaitsForTheirRelease)
{
    connect();
    CI_PIPELINE *pPipeline = startedCapture(2, 1, nullptr);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    {
        LogCapture log;
        EXPECT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_ERROR_WRONG_STATE);
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDeleteShots",
                                "Cannot delete the shots while one is acquired - release it beforehand"));
    }
    EXPECT_EQ(driver->liveObjects().shots, 2u);
    QOV_UINT32 status;
    memcpy(&status, static_cast<const char *>(pShot->pStatistics) + CI_STATS_STATUS_OFFSET, sizeof(status));
    EXPECT_EQ(status & 1u, 0u);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().shots, 0u);
    EXPECT_EQ(List_nElem(&intOf(pPipeline)->sList_shots), 0u);
}

#if defined(__GLIBC__)
// Deleting the shots gives their records back to the allocator: adding and
// deleting a pool over and over does not grow the memory in use.
TEST_F(Shots, DeletedShotsGoBackToTheAllocator)
{
    connect();
    constexpr unsigned kShots = 8;
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, kShots, 1);
    ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
    driver->clearRequests();
    const long before = static_cast<long>(mallinfo2().uordblks);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, kShots), QOV_SUCCESS);
    const long held = static_cast<long>(mallinfo2().uordblks) - before;
    if (held < static_cast<long>(kShots * sizeof(INT_SHOT)))
        GTEST_SKIP() << "shots come from another allocator (a sanitizer's)";
    ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
    for (int round = 0; round < 200; ++round) {
        ASSERT_EQ(CI_PipelineAddPool(pPipeline, kShots), QOV_SUCCESS);
        ASSERT_EQ(CI_PipelineDeleteShots(pPipeline), QOV_SUCCESS);
        driver->clearRequests(); // the driver's log of requests is not the library's
    }
    // The driver's own records grow by steps and come back; two hundred rounds
    // that each kept their shots would hold far more than two pools.
    EXPECT_LT(static_cast<long>(mallinfo2().uordblks) - before, 2 * held);
    EXPECT_EQ(CI_PipelineDestroy(pPipeline), QOV_SUCCESS);
}
#endif

TEST_F(Shots, HDRInsertionBuffers)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline();
    addDataExtraction(pPipeline, 64, 32);
    ASSERT_EQ(PixelTransformRGB(&pPipeline->config.eHDRInsType, BGR_161616_64), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 2), QOV_SUCCESS);
    QOV_UINT32 dispId = 0, insId = 0;
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &dispId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_HDRINS, 0, QOV_FALSE, &insId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);

    const std::string ins = std::to_string(insId);
    CI_BUFFER frame{};
    ASSERT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &frame, 0), QOV_SUCCESS);
    EXPECT_EQ(frame.id, insId);
    ASSERT_NE(frame.data, nullptr);
    memset(frame.data, 0x11, 64);  // the caller fills it
    {
        LogCapture log;
        CI_BUFFER other{};
        EXPECT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &other, insId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &other, dispId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &other, 4242), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_ERROR_NOT_SUPPORTED);
        const std::string &text = log.text();
        EXPECT_TRUE(loggedError(text, "CI_PipelineAcquireHDRBuffer",
                                "HDRIns Buffer " + ins + " is already reserved or not available!"));
        EXPECT_TRUE(loggedError(text, "CI_PipelineAcquireHDRBuffer",
                                "Buffer " + std::to_string(dispId) + " is not of HDR insertion type!"));
        EXPECT_TRUE(loggedError(text, "CI_PipelineAcquireHDRBuffer", "Could not find Buffer (id=4242)"));
        EXPECT_TRUE(loggedError(text, "QOV_PipelineTriggerShoot",
                                "Cannot use first available buffer when using HDR Insertion - specific buffers should "
                                "be specified!"));
    }

    const CI_BUFFID named = buffers(dispId, 0, insId);
    ASSERT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, &named), QOV_SUCCESS);
    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);
    {
        // Still queued until the capture stops.
        LogCapture log;
        EXPECT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &frame, insId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineTriggerSpecifiedShoot(pPipeline, &named), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_EQ(CI_PipelineReleaseHDRBuffer(pPipeline, insId), QOV_ERROR_NOT_AVAILABLE);
        EXPECT_TRUE(loggedError(log.text(), "QOV_PipelineTriggerShoot",
                                "HDRIns buffer " + ins + " found but it is not available for capture"));
        EXPECT_TRUE(loggedError(log.text(), "CI_PipelineReleaseHDRBuffer",
                                "HDRIns Buffer " + ins + " is not reserved or not available!"));
    }
    ASSERT_EQ(CI_PipelineStopCapture(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAcquireHDRBuffer(pPipeline, &frame, insId), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineReleaseHDRBuffer(pPipeline, insId), QOV_SUCCESS);
}

TEST_F(Shots, StatisticsConfigurationOfAShot)
{
    connect();
    feedImager(citest::rampFrame(64, 32));
    CI_PIPELINE *pPipeline = newPipeline();
    addDataExtraction(pPipeline, 64, 32);
    pPipeline->config.eOutputConfig = CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION;
    CI_MODULE_EXS &exs = pPipeline->stats.sExposureStats;
    exs.ui16Left = 2;
    exs.ui16Top = 4;
    exs.ui16Width = 7;
    exs.ui16Height = 9;
    exs.ui16PixelMax = 1000;
    CI_MODULE_ENS &ens = pPipeline->stats.sEncStats;
    ens.ui8Log2NCouples = 3;
    ens.ui8SubExp = 2;
    ASSERT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pPipeline, 1), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, nullptr), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);

    // The pipeline changes after the trigger; the shot keeps what it was taken with.
    exs.ui16PixelMax = 500;
    ens.ui8Log2NCouples = 5;
    ens.ui8SubExp = 1;
    ASSERT_EQ(CI_PipelineUpdate(pPipeline, CI_UPD_EXS, nullptr), QOV_SUCCESS);

    CI_SHOT *pShot = nullptr;
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    CI_PIPELINE_STATS stats;
    memset(&stats, 0xFF, sizeof(stats));
    ASSERT_EQ(CI_PipelineExtractConfig(pShot, &stats), QOV_SUCCESS);
    EXPECT_EQ(stats.sExposureStats.ui16Left, 2);
    EXPECT_EQ(stats.sExposureStats.ui16Top, 4);
    EXPECT_EQ(stats.sExposureStats.ui16Width, 7);
    EXPECT_EQ(stats.sExposureStats.ui16Height, 9);
    EXPECT_EQ(stats.sExposureStats.ui16PixelMax, 1000);
    EXPECT_EQ(stats.sEncStats.ui8Log2NCouples, 3);
    EXPECT_EQ(stats.sEncStats.ui8SubExp, 2);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);

    // The next shot is taken with the update.
    ASSERT_EQ(CI_PipelineTriggerShoot(pPipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAcquireShot(pPipeline, &pShot), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineExtractConfig(pShot, &stats), QOV_SUCCESS);
    EXPECT_EQ(stats.sExposureStats.ui16PixelMax, 500);
    EXPECT_EQ(stats.sEncStats.ui8Log2NCouples, 5);
    EXPECT_EQ(stats.sEncStats.ui8SubExp, 1);
    ASSERT_EQ(CI_PipelineReleaseShot(pPipeline, pShot), QOV_SUCCESS);

    LogCapture log;
    EXPECT_EQ(CI_PipelineExtractConfig(pShot, &stats), QOV_ERROR_NOT_INITIALISED);
    EXPECT_EQ(CI_PipelineExtractConfig(nullptr, &stats), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineExtractConfig", "pShot is not acquired!"));
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineExtractConfig", "pShot or pConfig is NULL"));
}

}  // namespace
