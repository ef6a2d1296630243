// The driver's request numbers, connection-level requests, profiles,
// gaskets, debug registers and the fault plan.
#include "isp_test_support.h"

namespace isp_requests_test {
namespace {

using namespace isptest;
using simboard::IspProfile;

// The 41 request numbers as the protocol fixes them.
constexpr unsigned long kNumbers[41] = {
    0x40082100, 0x40082101, 0x80082102, 0x40082103, 0x80082104, 0x40082105, 0x40082106, 0x40082107, 0x40082108,
    0x80082109, 0x8004210a, 0xc008210b, 0x8004210c, 0x8008210d, 0xc008210e, 0x8008210f, 0x80082110, 0x80082111,
    0x80082112, 0x80042113, 0x80042114, 0x80082115, 0xc0082116, 0x80082117, 0x80042118, 0x80042119, 0xc008211a,
    0x8004211b, 0x8008211c, 0x8004211d, 0xc008211e, 0x8004211f, 0x80082120, 0x80042121, 0x80042122, 0xc0082123,
    0xc0082124, 0x80082125, 0x80082126, 0x80082127, 0xc0082128,
};

using IspRequests = IspTest;

TEST_F(IspRequests, AnswersEveryRequestNumberAndOnlyThose)
{
    int fd = openDevice();
    ASSERT_GE(fd, 0);
    for (unsigned n = 0; n < 41; ++n) {
        const bool byValue = ((kNumbers[n] >> 16) & 0x3FFF) == 4;
        // A null record or an unknown id: refused, but never as an unknown request.
        long result = rawRequest(fd, kNumbers[n], byValue ? reinterpret_cast<void *>(intptr_t{9999}) : nullptr);
        EXPECT_NE(result, -ENOTTY) << "request " << n;
        EXPECT_LT(result, 0) << "request " << n;
        EXPECT_EQ(driver->requestCount(static_cast<CI_eIOCTL>(n)), 1u) << "request " << n;
    }
    const unsigned long strangers[] = {
        0xc0082129,  // one past the last request
        0x40042100,  // information request with the size of an int
        0x80082100,  // information request with the wrong direction
        0x40082200,  // another type byte
        0x0,
    };
    for (unsigned long number : strangers) {
        CI_CONNECTION record{};
        EXPECT_EQ(rawRequest(fd, number, &record), -ENOTTY) << std::hex << number;
    }
}

TEST_F(IspRequests, InformationOfTheDefaultProfile)
{
    int fd = openDevice();
    CI_CONNECTION c;
    std::memset(&c, 0xCD, sizeof(c));
    ASSERT_EQ(request(fd, CI_INFO_GET, &c), 0);
    const CI_HWINFO &hw = c.sHWInfo;
    EXPECT_EQ(hw.rev_ui8Major, 2);
    EXPECT_EQ(hw.rev_ui8Minor, 7);
    EXPECT_EQ(hw.ui16ConfigId, 7);
    EXPECT_EQ(hw.rev_uid, 4242u);
    EXPECT_EQ(hw.config_ui8NContexts, 2);
    EXPECT_EQ(hw.config_ui8NImagers, 4);
    EXPECT_EQ(hw.config_ui8NIIFDataGenerator, 1);
    EXPECT_EQ(hw.config_ui8Parallelism, 1);
    EXPECT_EQ(hw.config_ui8NRTMRegisters, 8);
    EXPECT_EQ(hw.uiSizeOfPipeline, 16352u);
    EXPECT_EQ(hw.uiSizeOfLoadStruct, 1268u);
    EXPECT_EQ(hw.eFunctionalities, 31u);
    EXPECT_EQ(hw.uiTiledScheme, 256u);
    EXPECT_EQ(hw.mmu_ui32PageSize, static_cast<uint32_t>(getpagesize()));
    EXPECT_EQ(hw.ui32RefClockMhz, 400u);
    EXPECT_EQ(hw.context_aMaxWidthSingle[0], 8192);
    EXPECT_EQ(hw.context_aMaxWidthSingle[1], 4096);
    EXPECT_EQ(hw.context_aPendingQueue[0], 4);
    EXPECT_EQ(hw.gasket_aType[0], CI_GASKET_MIPI);
    EXPECT_EQ(hw.gasket_aType[2], CI_GASKET_PARALLEL);
    EXPECT_EQ(hw.ui32MaxLineStore, 8192u);
    // Line store at power-up; the reserved bytes are zero.
    EXPECT_EQ(c.sLinestoreStatus.aStart[0], -1);
    EXPECT_EQ(c.sLinestoreStatus.aStart[1], -1);
    EXPECT_EQ(c.sLinestoreStatus.aSize[0], 0u);
    EXPECT_EQ(c.sLinestoreStatus.aActive[0], 0);
    EXPECT_EQ(c.aReserved0[0], 0);
    // A monotone gamma curve from 0.
    EXPECT_EQ(c.sGammaLUT.aRedPoints[0], 0);
    for (int i = 1; i < 63; ++i)
        EXPECT_GT(c.sGammaLUT.aGreenPoints[i], c.sGammaLUT.aGreenPoints[i - 1]);
}

TEST_F(IspRequests, ProfilesChangeWhatTheDriverReportsAndAccepts)
{
    struct Case {
        const char *name;
        IspProfile profile;
        void (*check)(int fd, const CI_HWINFO &hw);
    } cases[] = {
        {"2.5", IspProfile::version(2, 5), [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.rev_ui8Minor, 5); }},
        {"2.4", IspProfile::version(2, 4), [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.rev_ui8Minor, 4); }},
        {"1.0", IspProfile::version(1, 0), [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.rev_ui8Major, 1); }},
        {"3.0", IspProfile::version(3, 0), [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.rev_ui8Major, 3); }},
        {"pipeline size", IspProfile::wrongPipelineSize(),
         [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.uiSizeOfPipeline, 16356u); }},
        {"load size", IspProfile::wrongLoadStructureSize(),
         [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.uiSizeOfLoadStruct, 1264u); }},
        {"scheme 512", IspProfile::tilingScheme512(),
         [](int, const CI_HWINFO &hw) { EXPECT_EQ(hw.uiTiledScheme, 512u); }},
        {"no functionalities", IspProfile::noFunctionalities(),
         [](int fd, const CI_HWINFO &hw) {
             EXPECT_EQ(hw.eFunctionalities, 0u);
             EXPECT_EQ(requestValue(fd, CI_IIFDG_REGISTER, -1), -EOPNOTSUPP);
             PipeSetup setup;
             setup.raw2D = BAYER_TIFF_10;
             CI_PIPE_INFO info = makeInfo(setup);
             EXPECT_EQ(request(fd, CI_PIPELINE_REGISTER, &info), -EOPNOTSUPP);
             setup.raw2D = PXL_NONE;
             setup.tiling = true;
             info = makeInfo(setup);
             EXPECT_EQ(request(fd, CI_PIPELINE_REGISTER, &info), -EOPNOTSUPP);
         }},
        {"one context", IspProfile::oneContext(),
         [](int fd, const CI_HWINFO &hw) {
             EXPECT_EQ(hw.config_ui8NContexts, 1);
             PipeSetup setup;
             setup.context = 1;
             CI_PIPE_INFO info = makeInfo(setup);
             EXPECT_EQ(request(fd, CI_PIPELINE_REGISTER, &info), -EINVAL);
         }},
        {"no debug", IspProfile::noDebug(),
         [](int fd, const CI_HWINFO &) {
             CI_DEBUG_REG_PARAM reg{};
             reg.bRead = 1;
             EXPECT_EQ(request(fd, CI_DEBUG_REG, &reg), -ENOTTY);
         }},
    };
    for (Case &c : cases) {
        SCOPED_TRACE(c.name);
        driver->setProfile(c.profile);
        int fd = openDevice();
        CI_CONNECTION connection{};
        ASSERT_EQ(request(fd, CI_INFO_GET, &connection), 0);
        c.check(fd, connection.sHWInfo);
        closeDevice(fd);
    }
}

TEST_F(IspRequests, OpensOnlyReadWrite)
{
    EXPECT_EQ(PLATFORM_Open(simboard::kIspDevicePath, O_RDONLY), -1);
    EXPECT_EQ(errno, EACCES);
    driver->refuseOpen(-ENOENT);
    EXPECT_EQ(openDevice(), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_GE(openDevice(), 0);  // the refusal was planned once
}

TEST_F(IspRequests, LinestoreRules)
{
    int fd = openDevice();
    struct Case {
        int32_t start0, start1;
        long result;
        uint32_t size0, size1;
    } cases[] = {
        {-1, -1, -EINVAL, 0, 0},        // every context disabled
        {0, 0, -EINVAL, 0, 0},          // both at the same position
        {8192, -1, -EINVAL, 0, 0},      // beyond the line store
        {0, -1, 0, 8192, 0},            // context 0 alone: its single-context width
        {0, 4096, 0, 4096, 4096},       // stopped by the other's start
        {2048, 0, 0, 6144, 2048},       // context 1 first: 2048, then 8192 - 2048 for context 0
    };
    for (const Case &c : cases) {
        EXPECT_EQ(setLinestore(fd, c.start0, c.start1), c.result) << c.start0 << " " << c.start1;
        if (c.result != 0)
            continue;
        CI_LINESTORE ls{};
        ASSERT_EQ(request(fd, CI_LINESTORE_GET, &ls), 0);
        EXPECT_EQ(ls.aStart[0], c.start0);
        EXPECT_EQ(ls.aStart[1], c.start1);
        EXPECT_EQ(ls.aSize[0], c.size0);
        EXPECT_EQ(ls.aSize[1], c.size1);
    }
}

TEST_F(IspRequests, LinestoreOfACapturingContextCannotMove)
{
    int fd = openDevice();
    PipeSetup setup;
    int id = startedPipeline(fd, setup, 1);
    CI_LINESTORE ls{};
    ASSERT_EQ(request(fd, CI_LINESTORE_GET, &ls), 0);
    EXPECT_EQ(ls.aActive[0], 1);
    EXPECT_EQ(ls.aActive[1], 0);
    EXPECT_EQ(setLinestore(fd, 1024, -1), -EADDRINUSE);
    EXPECT_EQ(setLinestore(fd, 0, 4096), -EADDRINUSE);  // would shrink context 0
    ASSERT_EQ(requestValue(fd, CI_CAPTURE_STOP, id), 0);
    EXPECT_EQ(setLinestore(fd, 0, 4096), 0);
}

TEST_F(IspRequests, GammaTableIsSharedByConnections)
{
    int a = openDevice(), b = openDevice();
    CI_MODULE_GMA_LUT table{};
    for (int i = 0; i < 63; ++i)
        table.aRedPoints[i] = table.aGreenPoints[i] = table.aBluePoints[i] = static_cast<uint16_t>(i * 3);
    ASSERT_EQ(request(a, CI_GMALUT_SET, &table), 0);
    CI_MODULE_GMA_LUT read{};
    ASSERT_EQ(request(b, CI_GMALUT_GET, &read), 0);
    EXPECT_EQ(std::memcmp(&read, &table, sizeof(table)), 0);
}

TEST_F(IspRequests, TimestampsFollowTheVirtualClock)
{
    int fd = openDevice();
    QOV_UINT32 ticks = 0;
    QOV_UINT64 system = 0;
    ASSERT_EQ(request(fd, CI_TIMEST_GET, &ticks), 0);
    ASSERT_EQ(request(fd, CI_SYSTIME_GET, &system), 0);
    EXPECT_EQ(system, driver->now());
    EXPECT_EQ(ticks, static_cast<uint32_t>(system * 400 / 1000));
    driver->advanceClock(1000);  // 1 us at 400 MHz
    QOV_UINT32 later = 0;
    ASSERT_EQ(request(fd, CI_TIMEST_GET, &later), 0);
    EXPECT_EQ(later - ticks, 400u);
    // The 32-bit counter wraps (after about 10.7 s).
    driver->advanceClock(11'000'000'000ull);
    ASSERT_EQ(request(fd, CI_TIMEST_GET, &later), 0);
    EXPECT_EQ(later, static_cast<uint32_t>(driver->now() * 400 / 1000));
}

TEST_F(IspRequests, GasketsHaveOneOwner)
{
    int a = openDevice(), b = openDevice();
    CI_GASKET g{};
    g.uiGasket = 1;
    g.uiWidth = 1920;
    g.uiHeight = 1080;
    ASSERT_EQ(request(a, CI_GASKET_ACQUIRE, &g), 0);
    EXPECT_EQ(request(b, CI_GASKET_ACQUIRE, &g), -EADDRINUSE);
    EXPECT_EQ(requestValue(b, CI_GASKET_RELEASE, 1), -EINVAL);  // not its gasket
    EXPECT_EQ(requestValue(a, CI_GASKET_RELEASE, 0), -EINVAL);  // not reserved
    g.uiGasket = 4;
    EXPECT_EQ(request(a, CI_GASKET_ACQUIRE, &g), -EINVAL);

    CI_GASKET_PARAM info{};
    info.uiGasket = 1;
    ASSERT_EQ(request(b, CI_GASKET_GETINFO, &info), 0);
    EXPECT_EQ(info.sGasketInfo.eType, CI_GASKET_MIPI);
    EXPECT_EQ(info.sGasketInfo.ui8MipiEnabledLanes, 4);
    EXPECT_EQ(info.sGasketInfo.ui32FrameCount, 0u);
    info.uiGasket = 2;
    ASSERT_EQ(request(b, CI_GASKET_GETINFO, &info), 0);
    EXPECT_EQ(info.sGasketInfo.eType, 0);  // not reserved, not fed

    ASSERT_EQ(requestValue(a, CI_GASKET_RELEASE, 1), 0);
    EXPECT_EQ(requestValue(a, CI_GASKET_RELEASE, 1), -EINVAL);
    g.uiGasket = 1;
    EXPECT_EQ(request(b, CI_GASKET_ACQUIRE, &g), 0);
    EXPECT_EQ(driver->gasket(1).ownerFd, b);
}

TEST_F(IspRequests, DebugRegisters)
{
    int fd = openDevice();
    CI_DEBUG_REG_PARAM reg{};
    reg.eBank = 1;
    reg.ui32Offset = 0x40;
    reg.ui32Value = 0xDEADBEEF;
    ASSERT_EQ(request(fd, CI_DEBUG_REG, &reg), 0);
    reg.bRead = 1;
    reg.ui32Value = 0;
    ASSERT_EQ(request(fd, CI_DEBUG_REG, &reg), 0);
    EXPECT_EQ(reg.ui32Value, 0xDEADBEEFu);
    EXPECT_EQ(driver->debugRegister(1, 0x40), 0xDEADBEEFu);

    // Identity registers of bank 0 are read-only: revision 1.2.7.0.
    reg = CI_DEBUG_REG_PARAM{};
    reg.ui32Offset = 4;
    reg.ui32Value = 5;
    ASSERT_EQ(request(fd, CI_DEBUG_REG, &reg), 0);
    reg.bRead = 1;
    ASSERT_EQ(request(fd, CI_DEBUG_REG, &reg), 0);
    EXPECT_EQ(reg.ui32Value, 0x01020700u);

    struct {
        uint8_t bank;
        uint32_t offset;
    } bad[] = {{4, 0}, {0, 2}, {1, 0x4000}};
    for (const auto &b : bad) {
        reg.eBank = b.bank;
        reg.ui32Offset = b.offset;
        EXPECT_EQ(request(fd, CI_DEBUG_REG, &reg), -EINVAL) << int(b.bank) << " " << b.offset;
    }
    EXPECT_EQ(request(fd, CI_DEBUG_REG, nullptr), -EFAULT);
}

TEST_F(IspRequests, PlannedFaultsAnswerInsteadOfTheDriver)
{
    int fd = openDevice();
    // Calls 2 and 3 of the information request fail; the others reach the driver.
    driver->planFault(CI_INFO_GET, -EINVAL, 2, 1);
    CI_CONNECTION c{};
    EXPECT_EQ(request(fd, CI_INFO_GET, &c), 0);
    EXPECT_EQ(request(fd, CI_INFO_GET, &c), -EINVAL);
    EXPECT_EQ(request(fd, CI_INFO_GET, &c), -EINVAL);
    EXPECT_EQ(request(fd, CI_INFO_GET, &c), 0);
    EXPECT_EQ(driver->requestCount(CI_INFO_GET), 2u);  // the planned answers never reached it

    // A positive answer where an id is expected, then the real one.
    driver->planFault(CI_PIPELINE_REGISTER, 0);
    PipeSetup setup;
    CI_PIPE_INFO info = makeInfo(setup);
    EXPECT_EQ(request(fd, CI_PIPELINE_REGISTER, &info), 0);
    EXPECT_GT(request(fd, CI_PIPELINE_REGISTER, &info), 0);
    EXPECT_EQ(driver->pipelineIds().size(), 1u);
}

TEST_F(IspRequests, TraceKeepsTheRecordsAsReceived)
{
    int fd = openDevice();
    CI_GASKET g{};
    g.uiGasket = 3;
    g.bParallel = 1;
    g.ui8ParallelBitdepth = 12;
    ASSERT_EQ(request(fd, CI_GASKET_ACQUIRE, &g), 0);
    ASSERT_EQ(requestValue(fd, CI_GASKET_RELEASE, 3), 0);
    const auto &trace = driver->requests();
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_EQ(trace[0].index, CI_GASKET_ACQUIRE);
    EXPECT_EQ(trace[0].number, 0x8008211cu);
    ASSERT_EQ(trace[0].record.size(), sizeof(CI_GASKET));
    CI_GASKET sent;
    std::memcpy(&sent, trace[0].record.data(), sizeof(sent));
    EXPECT_EQ(sent.uiGasket, 3);
    EXPECT_EQ(sent.ui8ParallelBitdepth, 12);
    EXPECT_EQ(trace[1].index, CI_GASKET_RELEASE);
    EXPECT_EQ(trace[1].argument, 3);
    EXPECT_EQ(trace[1].result, 0);
}

}  // namespace
}  // namespace isp_requests_test
