// Driver connection: opening against the simulated driver, the line store,
// the connection-level queries and the finalisation.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_datagen.h"
#include "test_ci_support.h"

namespace {

using citest::CiFixture;
using citest::LogCapture;
using citest::loggedError;
using simboard::IspProfile;

class Connection : public CiFixture {};

TEST_F(Connection, OpensWithTheDriversHardwareDescription)
{
    connect();
    const CI_HWINFO &hw = connection->sHWInfo;
    const CI_HWINFO &expected = IspProfile::standard().info;
    EXPECT_EQ(memcmp(&hw, &expected, sizeof(CI_HWINFO)), 0);
    EXPECT_EQ(hw.uiSizeOfPipeline, 16352u);
    EXPECT_EQ(driver->liveObjects().connections, 1u);
    const CI_MODULE_GMA_LUT gamma = driver->gammaTable();
    EXPECT_EQ(memcmp(&connection->sGammaLUT, &gamma, sizeof(CI_MODULE_GMA_LUT)), 0);
}

TEST_F(Connection, RefusesANullOutput)
{
    LogCapture log;
    EXPECT_EQ(CI_DriverInit(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverInit", "ppConnection is NULL"));
}

TEST_F(Connection, FailedOpeningsLeaveNothingOpen)
{
    struct Case {
        const char *name;
        void (*arrange)(simboard::IspDriver &);
        QOV_RESULT expected;
        const char *message;
    } cases[] = {
        {"incompatible pipeline size",
         [](simboard::IspDriver &d) { d.setProfile(IspProfile::wrongPipelineSize()); }, QOV_ERROR_FAILURE,
         "The kernel-side CI_PIPELINE driver is not compatible with the user-side. Are you using the correct "
         "driver/app?"},
        {"information refused", [](simboard::IspDriver &d) { d.planFault(CI_INFO_GET, -EINVAL); },
         QOV_ERROR_INVALID_ARGUMENT, "Failed to ask for driver informations (returned -22)"},
        {"no device", [](simboard::IspDriver &d) { d.refuseOpen(-ENOENT); }, QOV_ERROR_FAILURE,
         "Failed to initialise the device"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        c.arrange(*driver);
        CI_CONNECTION *pConnection = nullptr;
        LogCapture log;
        EXPECT_EQ(CI_DriverInit(&pConnection), c.expected);
        EXPECT_EQ(pConnection, nullptr);
        EXPECT_TRUE(loggedError(log.text(), "CI_DriverInit", c.message)) << log.text();
        EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
        EXPECT_EQ(driver->liveObjects().connections, 0u);
    }
}

// Line-store verification on hardware with line store M and single-context
// widths W0, W1; sizes worked out by hand from the placement rules.
TEST_F(Connection, VerifiesLinestoreProposals)
{
    struct Case {
        const char *name;
        QOV_UINT8 nContexts;
        QOV_UINT32 maxLinestore;
        QOV_UINT16 single0, single1;
        QOV_INT32 start0, start1;
        QOV_RESULT expected;
        QOV_UINT32 size0, size1;
        const char *message;
    } cases[] = {
        {"second start bounds the first", 2, 4096, 4096, 2048, 0, 2048, QOV_SUCCESS, 2048, 2048, nullptr},
        {"first start bounds nothing after it", 2, 8192, 8192, 4096, 4096, 0, QOV_SUCCESS, 4096, 4096, nullptr},
        {"second start bounds a first start past 0", 2, 8192, 8192, 8192, 1000, 3000, QOV_SUCCESS, 2000, 5192,
         nullptr},
        {"first start past 0 bounds the second", 2, 8192, 8192, 8192, 3000, 1000, QOV_SUCCESS, 5192, 2000, nullptr},
        {"single width bounds", 2, 8192, 1000, 4096, 0, -1, QOV_SUCCESS, 1000, 0, nullptr},
        {"second context disabled", 2, 8192, 8192, 4096, 0, -1, QOV_SUCCESS, 8192, 0, nullptr},
        {"same start", 2, 8192, 8192, 4096, 0, 0, QOV_ERROR_FAILURE, 0, 0,
         "linestore for context 0 and 1 start at the same position"},
        {"all disabled", 2, 8192, 8192, 4096, -1, -1, QOV_ERROR_FAILURE, 0, 0, "all context's linestore are disabled"},
        {"one context disabled", 1, 8192, 8192, 4096, -1, 0, QOV_ERROR_FAILURE, 0, 0,
         "all context's linestore are disabled"},
        {"start at the end", 2, 8192, 8192, 4096, 8192, -1, QOV_ERROR_OUT_OF_RANGE, 0, 0,
         "failed to compute linestores' size"},
        {"no context", 0, 8192, 8192, 4096, 0, -1, QOV_ERROR_FAILURE, 0, 0, "all context's linestore are disabled"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        IspProfile profile = IspProfile::standard();
        profile.info.config_ui8NContexts = c.nContexts;
        profile.info.ui32MaxLineStore = c.maxLinestore;
        profile.info.context_aMaxWidthSingle[0] = c.single0;
        profile.info.context_aMaxWidthSingle[1] = c.single1;
        driver->setProfile(profile);
        CI_CONNECTION *pConnection = nullptr;
        ASSERT_EQ(CI_DriverInit(&pConnection), QOV_SUCCESS);

        CI_LINESTORE proposal{};
        proposal.aStart[0] = c.start0;
        proposal.aStart[1] = c.start1;
        LogCapture log;
        EXPECT_EQ(CI_DriverVerifLinestore(pConnection, &proposal), c.expected);
        if (c.expected == QOV_SUCCESS) {
            EXPECT_EQ(proposal.aSize[0], c.size0);
            EXPECT_EQ(proposal.aSize[1], c.size1);
        } else {
            EXPECT_TRUE(loggedError(log.text(), "CI_DriverVerifLinestore", c.message)) << log.text();
        }
        EXPECT_EQ(CI_DriverFinalise(pConnection), QOV_SUCCESS);
    }
}

TEST_F(Connection, LinestoreMessagesNameTheirStep)
{
    IspProfile profile = IspProfile::oneContext();
    connect(profile);
    CI_LINESTORE proposal{};
    proposal.aStart[0] = -1;
    {
        LogCapture log;
        EXPECT_EQ(CI_DriverVerifLinestore(connection, &proposal), QOV_ERROR_FAILURE);
        EXPECT_TRUE(citest::logged(log.text(), "INFO", "CI_DriverVerifLinestore", "context 0 linestore disabled"))
            << log.text();
    }
    proposal.aStart[0] = static_cast<QOV_INT32>(connection->sHWInfo.ui32MaxLineStore);
    LogCapture log;
    EXPECT_EQ(CI_DriverVerifLinestore(connection, &proposal), QOV_ERROR_OUT_OF_RANGE);
    EXPECT_TRUE(loggedError(log.text(), "CI_LinestoreComputeSizes",
                            "context 0 linestore start (8192) is outside of the maximum possible linestore (8192)"))
        << log.text();
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverVerifLinestore", "failed to compute linestores' size"));
}

TEST_F(Connection, SetsAndRefreshesTheLinestore)
{
    connect();
    CI_LINESTORE proposal{};
    proposal.aStart[0] = 0;
    proposal.aStart[1] = 4096;
    ASSERT_EQ(CI_DriverSetLinestore(connection, &proposal), QOV_SUCCESS);
    EXPECT_EQ(connection->sLinestoreStatus.aSize[0], 4096u);
    EXPECT_EQ(connection->sLinestoreStatus.aSize[1], 4096u);
    EXPECT_EQ(driver->linestore().aStart[1], 4096);

    connection->sLinestoreStatus = CI_LINESTORE{};
    ASSERT_EQ(CI_DriverGetLinestore(connection), QOV_SUCCESS);
    EXPECT_EQ(connection->sLinestoreStatus.aStart[0], 0);
    EXPECT_EQ(connection->sLinestoreStatus.aStart[1], 4096);

    // A proposal that fails verification never reaches the driver.
    driver->clearRequests();
    proposal.aStart[1] = 0;
    LogCapture log;
    EXPECT_EQ(CI_DriverSetLinestore(connection, &proposal), QOV_ERROR_FAILURE);
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverSetLinestore", "Given linestore is not correct"));
    EXPECT_EQ(driver->requestCount(CI_LINESTORE_SET), 0u);
    EXPECT_EQ(connection->sLinestoreStatus.aStart[1], 4096);
}

TEST_F(Connection, RefreshingQueriesKeepTheRecordOnFailure)
{
    connect();
    CI_MODULE_GMA_LUT lut{};
    for (int i = 0; i < 63; i++)
        lut.aRedPoints[i] = lut.aGreenPoints[i] = lut.aBluePoints[i] = static_cast<QOV_UINT16>(i * 3);
    ASSERT_EQ(CI_DriverSetGammaLUT(connection, &lut), QOV_SUCCESS);
    EXPECT_EQ(memcmp(&connection->sGammaLUT, &lut, sizeof(lut)), 0);
    CI_MODULE_GMA_LUT kept = driver->gammaTable();
    EXPECT_EQ(memcmp(&kept, &lut, sizeof(lut)), 0);

    driver->planFault(CI_GMALUT_GET, -EINVAL);
    connection->sGammaLUT.aRedPoints[0] = 77;
    LogCapture log;
    EXPECT_EQ(CI_DriverGetGammaLUT(connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(connection->sGammaLUT.aRedPoints[0], 77);
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverGetGammaLUT", "Failed to update the Gamma LUT information"));
    EXPECT_EQ(CI_DriverGetGammaLUT(connection), QOV_SUCCESS);
    EXPECT_EQ(connection->sGammaLUT.aRedPoints[0], 0);
}

TEST_F(Connection, ValueQueries)
{
    connect();
    QOV_UINT32 stamp = 0;
    QOV_UINT64 systemTime = 0;
    QOV_UINT32 dpf = 0;
    driver->advanceClock(5'000'000);
    EXPECT_EQ(CI_DriverGetTimestamp(connection, &stamp), QOV_SUCCESS);
    EXPECT_EQ(stamp, driver->hardwareTimestamp());
    EXPECT_EQ(CI_DriverGetSystemTime(connection, &systemTime), QOV_SUCCESS);
    EXPECT_GT(systemTime, 0u);
    EXPECT_EQ(CI_DriverGetAvailableInternalDPFBuffer(connection, &dpf), QOV_SUCCESS);
    EXPECT_EQ(dpf, connection->sHWInfo.config_ui32DPFInternalSize);

    LogCapture log;
    EXPECT_EQ(CI_DriverGetTimestamp(connection, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DriverGetAvailableInternalDPFBuffer(connection, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    driver->planFault(CI_SYSTIME_GET, -ETIME);
    EXPECT_EQ(CI_DriverGetSystemTime(connection, &systemTime), QOV_ERROR_TIMEOUT);
    const std::string &text = log.text();
    EXPECT_TRUE(loggedError(text, "CI_DriverGetTimestamp", "pConnection or puiCurrentStamp is NULL"));
    EXPECT_TRUE(loggedError(text, "CI_DriverGetAvailableInternalDPFBuffer", "puiAvailableDPF is NULL"));
    EXPECT_TRUE(loggedError(text, "CI_DriverGetSystemTime", "Failed to get the system time"));
}

// Each connection-level request the driver refuses: its answer is passed
// on, the failure named, and neither the connection record nor the
// caller's output is changed.
TEST_F(Connection, EveryRefusedQueryIsReportedAndChangesNothing)
{
    connect();
    CI_LINESTORE placed{};
    placed.aStart[0] = 0;
    placed.aStart[1] = 4096;
    ASSERT_EQ(CI_DriverSetLinestore(connection, &placed), QOV_SUCCESS);
    CI_MODULE_GMA_LUT lut{};
    for (int i = 0; i < 63; i++)
        lut.aRedPoints[i] = lut.aGreenPoints[i] = lut.aBluePoints[i] = static_cast<QOV_UINT16>(i * 5 + 1);
    ASSERT_EQ(CI_DriverSetGammaLUT(connection, &lut), QOV_SUCCESS);
    const CI_CONNECTION before = *connection;

    QOV_UINT32 value32 = 0xA5A5A5A5;
    QOV_UINT64 value64 = 0xA5A5A5A5A5A5A5A5;
    CI_LINESTORE proposal{};
    proposal.aStart[0] = 2048;
    proposal.aStart[1] = 0;
    CI_MODULE_GMA_LUT other{};
    other.aGreenPoints[3] = 999;
    const struct {
        const char *function;
        CI_eIOCTL request;
        int answer;
        QOV_RESULT expected;
        const char *message;
        std::function<QOV_RESULT()> call;
    } cases[] = {
        {"CI_DriverGetLinestore", CI_LINESTORE_GET, -EINVAL, QOV_ERROR_INVALID_ARGUMENT,
         "Failed to update the linestore information", [&] { return CI_DriverGetLinestore(connection); }},
        {"CI_DriverSetLinestore", CI_LINESTORE_SET, -EBUSY, QOV_ERROR_FAILURE, "Failed to propose a new linestore",
         [&] { return CI_DriverSetLinestore(connection, &proposal); }},
        {"CI_DriverGetGammaLUT", CI_GMALUT_GET, -ETIME, QOV_ERROR_TIMEOUT,
         "Failed to update the Gamma LUT information", [&] { return CI_DriverGetGammaLUT(connection); }},
        {"CI_DriverSetGammaLUT", CI_GMALUT_SET, -ENOMEM, QOV_ERROR_NO_MEMORY, "Failed to set a new Gamma LUT",
         [&] { return CI_DriverSetGammaLUT(connection, &other); }},
        {"CI_DriverGetTimestamp", CI_TIMEST_GET, -ECANCELED, QOV_ERROR_WRONG_STATE, "Failed to get the timestamp",
         [&] { return CI_DriverGetTimestamp(connection, &value32); }},
        {"CI_DriverGetSystemTime", CI_SYSTIME_GET, -EALREADY, QOV_ERROR_NOT_AVAILABLE,
         "Failed to get the system time", [&] { return CI_DriverGetSystemTime(connection, &value64); }},
        {"CI_DriverGetAvailableInternalDPFBuffer", CI_DPFINT_GET, -EEXIST, QOV_ERROR_ALREADY_EXISTS,
         "Failed to get the current DPF internal buffer value",
         [&] { return CI_DriverGetAvailableInternalDPFBuffer(connection, &value32); }},
        {"CI_DriverDebugRegRead", CI_DEBUG_REG, -E2BIG, QOV_ERROR_TOO_LARGE, "Failed to read register value",
         [&] { return CI_DriverDebugRegRead(connection, 1, 0x40, &value32); }},
        {"CI_DriverDebugRegWrite", CI_DEBUG_REG, -EOPNOTSUPP, QOV_ERROR_NOT_SUPPORTED,
         "Failed to write register value", [&] { return CI_DriverDebugRegWrite(connection, 1, 0x40, 7); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.function);
        driver->planFault(c.request, c.answer);
        LogCapture log;
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_TRUE(loggedError(log.text(), c.function, c.message)) << log.text();
        EXPECT_EQ(memcmp(&connection->sLinestoreStatus, &before.sLinestoreStatus, sizeof(CI_LINESTORE)), 0);
        EXPECT_EQ(memcmp(&connection->sGammaLUT, &before.sGammaLUT, sizeof(CI_MODULE_GMA_LUT)), 0);
        EXPECT_EQ(value32, 0xA5A5A5A5u);
        EXPECT_EQ(value64, 0xA5A5A5A5A5A5A5A5u);
    }
    // The driver kept what it had.
    EXPECT_EQ(driver->linestore().aStart[0], 0);
    EXPECT_EQ(driver->gammaTable().aGreenPoints[3], lut.aGreenPoints[3]);
    EXPECT_FALSE(driver->debugRegister(1, 0x40).has_value());
}

TEST_F(Connection, DebugRegisters)
{
    connect();
    ASSERT_EQ(CI_DriverDebugRegWrite(connection, 1, 0x40, 0xCAFE), QOV_SUCCESS);
    QOV_UINT32 value = 0;
    ASSERT_EQ(CI_DriverDebugRegRead(connection, 1, 0x40, &value), QOV_SUCCESS);
    EXPECT_EQ(value, 0xCAFEu);
    EXPECT_EQ(driver->debugRegister(1, 0x40).value_or(0), 0xCAFEu);

    // The bank travels as 8 bits.
    driver->clearRequests();
    ASSERT_EQ(CI_DriverDebugRegRead(connection, 0x101, 0x40, &value), QOV_SUCCESS);
    ASSERT_FALSE(driver->requests().empty());
    EXPECT_EQ(driver->requests().back().record.at(1), 1);
    EXPECT_EQ(driver->requests().back().record.at(0), 1);  // bRead
}

TEST_F(Connection, DebugWithoutKernelSupport)
{
    connect(IspProfile::noDebug());
    QOV_UINT32 value = 0;
    LogCapture log;
    EXPECT_EQ(CI_DriverDebugRegRead(connection, 0, 0, &value), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CI_DriverDebugRegWrite(connection, 0, 0, 1), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverDebugRegRead", "Kernel side does not support debug functions"));
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverDebugRegWrite", "Kernel side does not support debug functions"));
}

TEST_F(Connection, FinaliseDestroysPipelinesAndGenerators)
{
    connect();
    CI_PIPELINE *pFirst = newPipeline();
    CI_PIPELINE *pSecond = newPipeline(64, 32, 1);
    ASSERT_EQ(CI_PipelineRegister(pFirst), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pFirst, 2), QOV_SUCCESS);
    CI_DATAGEN *pDatagen = nullptr;
    ASSERT_EQ(CI_DatagenCreate(&pDatagen, connection), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().pipelines, 1u);
    EXPECT_EQ(driver->liveObjects().generators, 1u);
    (void)pSecond;

    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    connection = nullptr;
    EXPECT_EQ(driver->requestCount(CI_PIPELINE_DEREGISTER), 1u);
    EXPECT_EQ(driver->liveObjects().total(), 0u);
}

// A capture that cannot be stopped does not keep its pipeline alive past the
// connection: everything is freed (the sanitizers check) and the device closes.
TEST_F(Connection, FinaliseFreesAPipelineWhoseStopFails)
{
    connect();
    CI_PIPELINE *pPipeline = capturePipeline(64, 32, 2, 1);
    ASSERT_EQ(CI_PipelineStartCapture(pPipeline), QOV_SUCCESS);
    driver->planFault(CI_CAPTURE_STOP, -EINVAL, 0);

    LogCapture log;
    EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    connection = nullptr;
    EXPECT_TRUE(loggedError(log.text(), "CI_PipelineDestroy", "could not stop the capture before destruction"));
    EXPECT_EQ(driver->liveObjects().total(), 0u);
}

// A close that reports an error (EIO, EINTR) has released the descriptor all
// the same: the connection is freed (the sanitizers check) and the error told.
TEST_F(Connection, FinaliseFreesTheConnectionWhenTheCloseReportsAnError)
{
    for (int error : {EIO, EINTR}) {
        connect();
        simboard::Board &board = simboard::Board::instance();
        board.failCall(board.trace().size(), {simboard::CallFault::ERROR, -error});  // the close is the next call
        LogCapture log;
        EXPECT_EQ(CI_DriverFinalise(connection), QOV_ERROR_FAILURE);
        connection = nullptr;
        EXPECT_TRUE(loggedError(log.text(), "CI_DriverFinalise", "Failed to close the device (returned -1)"))
            << log.text();
        EXPECT_EQ(board.openDescriptors(), 0u);
        EXPECT_EQ(driver->liveObjects().total(), 0u);
    }
}

TEST_F(Connection, FinaliseRefusesNull)
{
    LogCapture log;
    EXPECT_EQ(CI_DriverFinalise(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_TRUE(loggedError(log.text(), "CI_DriverFinalise", "pConnection is NULL"));
}

}  // namespace
