#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_gasket.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// A connection to the simulated ISP driver; at the end nothing may be left alive in it.
class GasketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_NE(driver, nullptr);
        ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
        driver->clearRequests();
    }
    void TearDown() override
    {
        if (connection) {
            EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        }
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        simboard::Board::instance().reset();
    }
    // The record of the last request of that kind, as the driver received it.
    std::vector<uint8_t> lastRecord(CI_eIOCTL index) const
    {
        for (auto it = driver->requests().rbegin(); it != driver->requests().rend(); ++it) {
            if (it->index == index)
                return it->record;
        }
        return {};
    }
    std::shared_ptr<simboard::IspDriver> driver;
    CI_CONNECTION *connection = nullptr;
};

TEST_F(GasketTest, InitThenAcquireSendsAMipiRequestForGasketZero)
{
    CI_GASKET gasket;
    memset(&gasket, 0xA5, sizeof(gasket));
    ASSERT_EQ(CI_GasketInit(&gasket), QOV_SUCCESS);
    ASSERT_EQ(CI_GasketAcquire(&gasket, connection), QOV_SUCCESS);
    EXPECT_EQ(lastRecord(CI_GASKET_ACQUIRE), std::vector<uint8_t>(10, 0));
    EXPECT_TRUE(driver->gasket(0).reserved);

    ASSERT_EQ(CI_GasketRelease(&gasket, connection), QOV_SUCCESS);
    EXPECT_FALSE(driver->gasket(0).reserved);
    ASSERT_EQ(driver->requestCount(CI_GASKET_RELEASE), 1u);
    EXPECT_EQ(driver->requests().back().argument, 0);
}

TEST_F(GasketTest, ParallelRequestLayout)
{
    CI_GASKET gasket{};
    gasket.uiGasket = 2;
    gasket.bParallel = QOV_TRUE;
    gasket.uiWidth = 640;
    gasket.uiHeight = 480;
    gasket.bVSync = QOV_TRUE;
    gasket.bHSync = QOV_FALSE;
    gasket.ui8ParallelBitdepth = 12;
    ASSERT_EQ(CI_GasketAcquire(&gasket, connection), QOV_SUCCESS);
    EXPECT_EQ(lastRecord(CI_GASKET_ACQUIRE),
              (std::vector<uint8_t>{0x02, 0x01, 0x80, 0x02, 0xE0, 0x01, 0x01, 0x00, 0x0C, 0x00}));
    // the other polarities, each field at a value of its own
    CI_GASKET other{};
    other.uiGasket = 3;
    other.bParallel = QOV_TRUE;
    other.uiWidth = 0x1234;
    other.uiHeight = 0x0567;
    other.bVSync = QOV_FALSE;
    other.bHSync = QOV_TRUE;
    other.ui8ParallelBitdepth = 10;
    ASSERT_EQ(CI_GasketAcquire(&other, connection), QOV_SUCCESS);
    EXPECT_EQ(lastRecord(CI_GASKET_ACQUIRE),
              (std::vector<uint8_t>{0x03, 0x01, 0x34, 0x12, 0x67, 0x05, 0x00, 0x01, 0x0A, 0x00}));
    EXPECT_EQ(CI_GasketRelease(&other, connection), QOV_SUCCESS);

    CI_GASKET_INFO info;
    memset(&info, 0xA5, sizeof(info));
    ASSERT_EQ(CI_GasketGetInfo(&info, 2, connection), QOV_SUCCESS);
    EXPECT_EQ(lastRecord(CI_GASKET_GETINFO)[0], 2);
    EXPECT_EQ(info.eType, CI_GASKET_PARALLEL);
    EXPECT_EQ(info.ui32FrameCount, 0u);
    EXPECT_EQ(info.ui8MipiEnabledLanes, 0);
    EXPECT_EQ(info.ui8MipiCrcError, 0);

    // a free MIPI gasket reports no type; once reserved, its lanes
    ASSERT_EQ(CI_GasketGetInfo(&info, 0, connection), QOV_SUCCESS);
    EXPECT_EQ(info.eType, 0);
    CI_GASKET mipi{};
    ASSERT_EQ(CI_GasketAcquire(&mipi, connection), QOV_SUCCESS);
    ASSERT_EQ(CI_GasketGetInfo(&info, 0, connection), QOV_SUCCESS);
    EXPECT_EQ(info.eType, CI_GASKET_MIPI);
    EXPECT_EQ(info.ui8MipiEnabledLanes, 4);

    EXPECT_EQ(CI_GasketRelease(&mipi, connection), QOV_SUCCESS);
    EXPECT_EQ(CI_GasketRelease(&gasket, connection), QOV_SUCCESS);
}

TEST_F(GasketTest, DriverRefusalsAreTranslated)
{
    CI_GASKET gasket{};
    ASSERT_EQ(CI_GasketAcquire(&gasket, connection), QOV_SUCCESS);
    CaptureStderr();
    EXPECT_EQ(CI_GasketAcquire(&gasket, connection), QOV_ERROR_IN_USE);  // reserved already
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("[CI_API]: CI_GasketAcquire():"), std::string::npos) << err;
    EXPECT_NE(err.find("Failed to acquire the gasket\n"), std::string::npos) << err;
    ASSERT_EQ(CI_GasketRelease(&gasket, connection), QOV_SUCCESS);

    CaptureStderr();
    EXPECT_EQ(CI_GasketRelease(&gasket, connection), QOV_ERROR_INVALID_ARGUMENT);  // -EINVAL: not reserved
    EXPECT_NE(GetCapturedStderr().find("Failed to release the gasket\n"), std::string::npos);

    CI_GASKET_INFO info{};
    CaptureStderr();
    EXPECT_EQ(CI_GasketGetInfo(&info, 9, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to get gasket's information\n"), std::string::npos);

    driver->planFault(CI_GASKET_GETINFO, -ETIME);
    memset(&info, 0xA5, sizeof(info));
    CaptureStderr();
    EXPECT_EQ(CI_GasketGetInfo(&info, 0, connection), QOV_ERROR_TIMEOUT);
    GetCapturedStderr();
    EXPECT_EQ(info.ui32FrameCount, 0xA5A5A5A5u);  // untouched on failure
}

// A driver answer of 0 or more is a success, whatever its value, and logs no error.
TEST_F(GasketTest, EveryNonNegativeAnswerIsSuccess)
{
    CaptureStderr();
    for (const long answer : {0L, 1L, 7L}) {
        SCOPED_TRACE(answer);
        CI_GASKET gasket{};
        CI_GASKET_INFO info{};
        CI_RTM_INFO rtm{};
        driver->planFault(CI_GASKET_ACQUIRE, answer);
        EXPECT_EQ(CI_GasketAcquire(&gasket, connection), QOV_SUCCESS);
        driver->planFault(CI_GASKET_GETINFO, answer);
        EXPECT_EQ(CI_GasketGetInfo(&info, 0, connection), QOV_SUCCESS);
        driver->planFault(CI_GASKET_RELEASE, answer);
        EXPECT_EQ(CI_GasketRelease(&gasket, connection), QOV_SUCCESS);
        driver->planFault(CI_RTM_GET, answer);
        EXPECT_EQ(CI_DriverGetRTMInfo(connection, &rtm), QOV_SUCCESS);
    }
    EXPECT_EQ("", GetCapturedStderr());
}

TEST_F(GasketTest, NullArguments)
{
    CI_GASKET gasket{};
    CI_GASKET_INFO info{};
    CaptureStderr();
    EXPECT_EQ(CI_GasketInit(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("pGasket is NULL\n"), std::string::npos) << err;

    CaptureStderr();
    EXPECT_EQ(CI_GasketAcquire(nullptr, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_GasketAcquire(&gasket, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_GasketRelease(nullptr, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_GasketRelease(&gasket, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_GasketGetInfo(nullptr, 0, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_GasketGetInfo(&info, 0, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    err = GetCapturedStderr();
    size_t count = 0;
    for (size_t at = err.find("pGasket or pConnection is NULL\n"); at != std::string::npos;
         at = err.find("pGasket or pConnection is NULL\n", at + 1))
        ++count;
    EXPECT_EQ(count, 6u) << err;
    EXPECT_EQ(driver->requests().size(), 0u);
}

TEST_F(GasketTest, RealTimeMonitor)
{
    CI_RTM_INFO rtm;
    memset(&rtm, 0xA5, sizeof(rtm));
    ASSERT_EQ(CI_DriverGetRTMInfo(connection, &rtm), QOV_SUCCESS);
    EXPECT_EQ(rtm.aRTMEntries[0], 0u);        // frames received
    EXPECT_EQ(rtm.context_linkEmptyness[0], 1u);  // nothing queued
    EXPECT_EQ(driver->requestCount(CI_RTM_GET), 1u);

    CaptureStderr();
    EXPECT_EQ(CI_DriverGetRTMInfo(nullptr, &rtm), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DriverGetRTMInfo(connection, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("pConnection is NULL\n"), std::string::npos) << err;
    EXPECT_NE(err.find("pRTM is NULL\n"), std::string::npos) << err;

    driver->planFault(CI_RTM_GET, -EINVAL);
    CaptureStderr();
    EXPECT_EQ(CI_DriverGetRTMInfo(connection, &rtm), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to get the RTM values\n"), std::string::npos);
}

}  // namespace
