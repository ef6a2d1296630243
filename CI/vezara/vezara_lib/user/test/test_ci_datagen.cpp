#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_converter.h"
#include "ci/ci_datagen.h"
#include "ci/ci_gasket.h"
#include "sim_image/sim_image.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "test_ci_support.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

using citest::Image;

size_t occurrences(const std::string &text, const std::string &what)
{
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// A connection to the simulated ISP and one generator on it, set up for
// `format`/`depth` frames into gasket 0 (MIPI), 1 (MIPI with line packets) or 2
// (parallel). At the end
// nothing may be left alive in the driver.
class DatagenTest : public ::testing::Test {
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
        CI_ConverterClear(&converter);
        if (connection) {
            EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        }
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        simboard::Board::instance().reset();
    }

    void create(CI_CONV_FMT format = CI_DGFMT_MIPI, QOV_UINT8 depth = 10)
    {
        ASSERT_EQ(CI_DatagenCreate(&datagen, connection), QOV_SUCCESS);
        datagen->eFormat = format;
        datagen->ui8FormatBitdepth = depth;
        datagen->ui8Gasket = format == CI_DGFMT_PARALLEL ? 2 : format == CI_DGFMT_MIPI_LF ? 1 : 0;
        datagen->eBayerMosaic = MOSAIC_RGGB;
        ASSERT_EQ(CI_ConverterConfigure(&converter, format, depth), QOV_SUCCESS);
    }
    // Allocates `count` frames for images of width x height, then starts.
    void allocateAndStart(unsigned count, QOV_UINT32 width = 16, QOV_UINT32 height = 4)
    {
        const QOV_UINT32 size = CI_ConverterFrameSize(&converter, width, height);
        for (unsigned i = 0; i < count; ++i) {
            QOV_UINT32 id = 0;
            ASSERT_EQ(CI_DatagenAllocateFrame(datagen, size, &id), QOV_SUCCESS);
            frameIds.push_back(id);
        }
        ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    }
    // A free frame with an image converted into it.
    CI_DG_FRAME *filledFrame(const Image &image)
    {
        CI_DG_FRAME *frame = CI_DatagenGetAvailableFrame(datagen);
        EXPECT_NE(frame, nullptr);
        if (frame) {
            EXPECT_EQ(CI_ConverterConvertFrame(&converter, &image.in, frame), QOV_SUCCESS);
        }
        return frame;
    }
    int generatorId() const
    {
        for (auto it = driver->requests().begin(); it != driver->requests().end(); ++it) {
            if (it->index == CI_IIFDG_REGISTER && it->argument == -1)
                return (int)it->result;
        }
        return 0;
    }
    const simboard::IspRequest *lastRequest(CI_eIOCTL index) const
    {
        for (auto it = driver->requests().rbegin(); it != driver->requests().rend(); ++it) {
            if (it->index == index)
                return &*it;
        }
        return nullptr;
    }

    std::shared_ptr<simboard::IspDriver> driver;
    CI_CONNECTION *connection = nullptr;
    CI_DATAGEN *datagen = nullptr;
    CI_CONVERTER converter{};
    std::vector<QOV_UINT32> frameIds;
};

TEST_F(DatagenTest, CreationRegistersAZeroRecord)
{
    create();
    CI_DATAGEN zero{};
    CI_DATAGEN *fresh = nullptr;
    // the record of a new generator is all zero
    ASSERT_EQ(driver->requestCount(CI_IIFDG_REGISTER), 1u);
    EXPECT_EQ(driver->requests().front().argument, -1);
    ASSERT_TRUE(driver->generator(generatorId()).has_value());

    CaptureStderr();
    EXPECT_EQ(CI_DatagenCreate(&datagen, connection), QOV_ERROR_IN_USE);
    EXPECT_EQ(CI_DatagenCreate(nullptr, connection), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DatagenCreate(&fresh, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    // the standard ISP has one generator: the driver refuses a second
    EXPECT_EQ(CI_DatagenCreate(&fresh, connection), QOV_ERROR_FAILURE);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("datagen alread allocated\n"), std::string::npos) << err;
    EXPECT_EQ(occurrences(err, "ppDatagen or pConnection is NULL\n"), 2u) << err;
    EXPECT_NE(err.find("Failed to get a unique DG identifier from the kernel-module\n"), std::string::npos) << err;
    EXPECT_EQ(fresh, nullptr);

    ASSERT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenCreate(&fresh, connection), QOV_SUCCESS);
    EXPECT_EQ(memcmp(fresh, &zero, sizeof(zero)), 0);
    EXPECT_EQ(CI_DatagenDestroy(fresh), QOV_SUCCESS);
}

TEST_F(DatagenTest, HardwareWithoutGeneratorIsRefusedBeforeAnyRequest)
{
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    driver->setProfile(simboard::IspProfile::noFunctionalities());
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    driver->clearRequests();
    CaptureStderr();
    EXPECT_EQ(CI_DatagenCreate(&datagen, connection), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("Current HW does not support IIF Data Generator\n"), std::string::npos);
    EXPECT_EQ(driver->requests().size(), 0u);
}

TEST_F(DatagenTest, StartSendsTheRecordAndStopsOnce)
{
    create(CI_DGFMT_PARALLEL, 12);
    datagen->bPreload = QOV_TRUE;
    datagen->eBayerMosaic = MOSAIC_GBRG;
    ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    const simboard::IspRequest *start = lastRequest(CI_IIFDG_START);
    ASSERT_NE(start, nullptr);
    // id 0, then index 0, preload 1, format 0, depth 12, gasket 2, mosaic 3
    EXPECT_EQ(start->record, (std::vector<uint8_t>{0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 12, 2, 0, 0, 3, 0, 0, 0}));
    EXPECT_TRUE(CI_DatagenIsStarted(datagen));
    EXPECT_TRUE(driver->generator(generatorId())->started);

    driver->clearRequests();
    CaptureStderr();
    EXPECT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    EXPECT_NE(GetCapturedStderr().find("DG 0 Already started\n"), std::string::npos);
    EXPECT_EQ(driver->requests().size(), 0u);

    ASSERT_EQ(CI_DatagenStop(datagen), QOV_SUCCESS);
    EXPECT_FALSE(driver->generator(generatorId())->started);
    EXPECT_FALSE(CI_DatagenIsStarted(datagen));
    driver->clearRequests();
    CaptureStderr();
    EXPECT_EQ(CI_DatagenStop(datagen), QOV_SUCCESS);
    EXPECT_NE(GetCapturedStderr().find("DG 0 Already stopped\n"), std::string::npos);
    EXPECT_EQ(driver->requests().size(), 0u);
}

// With two generators on the hardware, each one's requests name its own
// identifier: starting or stopping the second, or giving, sending, waiting
// for or destroying one of its frames, leaves the first as it was.
TEST_F(DatagenTest, EachGeneratorIsAskedForByItsOwnIdentifier)
{
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    simboard::IspProfile two = simboard::IspProfile::standard();
    two.info.config_ui8NIIFDataGenerator = 2;
    driver->setProfile(two);
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);

    create();
    const int first = generatorId();
    CI_DATAGEN *second = nullptr;
    ASSERT_EQ(CI_DatagenCreate(&second, connection), QOV_SUCCESS);
    const simboard::IspRequest *reg = lastRequest(CI_IIFDG_REGISTER);
    ASSERT_NE(reg, nullptr);
    const int secondId = (int)reg->result;
    ASSERT_NE(secondId, first);
    second->eFormat = CI_DGFMT_MIPI;
    second->ui8FormatBitdepth = 10;
    second->ui8Gasket = 1;
    second->eBayerMosaic = MOSAIC_RGGB;

    QOV_UINT32 frameId = 0;
    ASSERT_EQ(CI_DatagenAllocateFrame(second, CI_ConverterFrameSize(&converter, 16, 4), &frameId), QOV_SUCCESS);
    EXPECT_EQ(driver->generator(secondId)->frames.size(), 1u);
    EXPECT_TRUE(driver->generator(first)->frames.empty());

    ASSERT_EQ(CI_DatagenStart(second), QOV_SUCCESS);
    EXPECT_TRUE(driver->generator(secondId)->started);
    EXPECT_EQ(driver->generator(secondId)->setup.ui8Gasket, 1);
    EXPECT_FALSE(driver->generator(first)->started);

    // A frame of the second is taken, sent and waited for on the second.
    Image image(16, 4, 10);
    CI_DG_FRAME *frame = CI_DatagenGetAvailableFrame(second);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->ui32FrameID, frameId);
    ASSERT_EQ(CI_ConverterConvertFrame(&converter, &image.in, frame), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenWaitProcessedFrame(second, QOV_TRUE), QOV_SUCCESS);
    EXPECT_EQ(driver->generator(secondId)->frames.size(), 1u);
    // and destroyed there
    frame = CI_DatagenGetFrame(second, frameId);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(CI_DatagenDestroyFrame(frame), QOV_SUCCESS);
    EXPECT_TRUE(driver->generator(secondId)->frames.empty());

    ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    EXPECT_TRUE(driver->generator(first)->started);
    ASSERT_EQ(CI_DatagenStop(second), QOV_SUCCESS);
    EXPECT_FALSE(driver->generator(secondId)->started);
    EXPECT_TRUE(driver->generator(first)->started);
    EXPECT_TRUE(CI_DatagenIsStarted(datagen));
    EXPECT_FALSE(CI_DatagenIsStarted(second));

    ASSERT_EQ(CI_DatagenDestroy(second), QOV_SUCCESS);
    EXPECT_FALSE(driver->generator(secondId).has_value());
    EXPECT_TRUE(driver->generator(first).has_value());
}

TEST_F(DatagenTest, DriverRefusalsOfTheLifeCycle)
{
    create();
    datagen->eBayerMosaic = MOSAIC_NONE;  // the driver refuses the setup
    datagen->ui8Gasket = 1;
    CaptureStderr();
    EXPECT_EQ(CI_DatagenStart(datagen), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to start internal DG 0 to replace imager 1\n"), std::string::npos);
    EXPECT_FALSE(driver->generator(generatorId())->started);

    datagen->eBayerMosaic = MOSAIC_RGGB;
    ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    driver->planFault(CI_IIFDG_ISSTARTED, -EINVAL);
    CaptureStderr();
    EXPECT_FALSE(CI_DatagenIsStarted(datagen));
    EXPECT_NE(GetCapturedStderr().find("Failed to enquire if Datagen is started (returned 11)\n"), std::string::npos);

    driver->planFault(CI_IIFDG_STOP, -ETIME);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenStop(datagen), QOV_ERROR_TIMEOUT);
    EXPECT_NE(GetCapturedStderr().find("Failed to stop Datagen\n"), std::string::npos);
    EXPECT_TRUE(CI_DatagenIsStarted(datagen));

    // a stop refused on the way to destruction keeps the generator
    driver->planFault(CI_IIFDG_STOP, -EINVAL);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenDestroy(datagen), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to stop a Datagen before destroying it\n"), std::string::npos);
    EXPECT_TRUE(driver->generator(generatorId()).has_value());
    EXPECT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
}

TEST_F(DatagenTest, FramesAreAllocatedOnlyWhileStopped)
{
    create();
    QOV_UINT32 id = 0;
    ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &id), QOV_SUCCESS);
    EXPECT_NE(id, 0u);
    ASSERT_EQ(driver->generator(generatorId())->frames.size(), 1u);
    EXPECT_EQ(driver->generator(generatorId())->frames[0].first, id);
    ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, nullptr), QOV_SUCCESS);

    CaptureStderr();
    EXPECT_EQ(CI_DatagenAllocateFrame(datagen, 0, &id), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to allocate a DG frame of 0 Bytes\n"), std::string::npos);

    ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);
    driver->clearRequests();
    CaptureStderr();
    EXPECT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &id), QOV_ERROR_WRONG_STATE);
    EXPECT_NE(GetCapturedStderr().find("DG 0 is started - cannot allocate more buffers\n"), std::string::npos);
    EXPECT_EQ(driver->requests().size(), 0u);
    EXPECT_EQ(driver->generator(generatorId())->frames.size(), 2u);
}

// A frame the library cannot map goes back to the driver at once.
TEST_F(DatagenTest, FrameTheLibraryCannotMapIsGivenBack)
{
    create();
    simboard::Board &board = simboard::Board::instance();
    board.failCall(board.trace().size() + 1, {simboard::CallFault::ERROR, -ENOMEM}); // the mapping after the request
    QOV_UINT32 id = 77;
    CaptureStderr();
    EXPECT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &id), QOV_ERROR_FAILURE);
    EXPECT_NE(GetCapturedStderr().find("Failed to map a DG frame!\n"), std::string::npos);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(driver->generator(generatorId())->frames.size(), 0u);
    EXPECT_EQ(driver->requestCount(CI_IIFDG_FREE), 1u);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenGetAvailableFrame(datagen), nullptr);
    GetCapturedStderr();
    ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &id), QOV_SUCCESS);
    EXPECT_NE(CI_DatagenGetFrame(datagen, id), nullptr);
}

TEST_F(DatagenTest, FramesAreHandedOutWithTheMinimumBlanking)
{
    create();
    allocateAndStart(2);
    CI_DG_FRAME *frame = CI_DatagenGetAvailableFrame(datagen);
    ASSERT_NE(frame, nullptr);
    EXPECT_NE(frame->data, nullptr);
    EXPECT_EQ(frame->ui32AllocSize, CI_ConverterFrameSize(&converter, 16, 4));
    EXPECT_EQ(frame->ui32FrameID, frameIds[0]);
    EXPECT_EQ(frame->ui32HorizontalBlanking, 100u);
    EXPECT_EQ(frame->ui32VerticalBlanking, 14u);

    // vertical blanking 13 cannot be sent, but the frame can be given back
    frame->ui32VerticalBlanking = 13;
    CaptureStderr();
    EXPECT_EQ(CI_DatagenInsertFrame(frame), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_NE(GetCapturedStderr().find("Cannot trigger a frame with blanking H=100 V=13 (min is H=100 V=14)\n"),
              std::string::npos);
    ASSERT_EQ(CI_DatagenReleaseFrame(frame), QOV_SUCCESS);
    const simboard::IspRequest *release = lastRequest(CI_IIFDG_RELEASE);
    ASSERT_NE(release, nullptr);
    EXPECT_EQ(release->record[20], 0);  // bTrigger 0

    // got again, by id: the blanking starts over
    frame->ui32HorizontalBlanking = 500;
    CI_DG_FRAME *again = CI_DatagenGetFrame(datagen, frameIds[0]);
    ASSERT_EQ(again, frame);
    EXPECT_EQ(again->ui32HorizontalBlanking, 100u);
    EXPECT_EQ(again->ui32VerticalBlanking, 14u);

    // that frame is taken now; the other one is free
    CaptureStderr();
    EXPECT_EQ(CI_DatagenGetFrame(datagen, frameIds[0]), nullptr);
    CI_DG_FRAME *other = CI_DatagenGetAvailableFrame(datagen);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->ui32FrameID, frameIds[1]);
    EXPECT_EQ(CI_DatagenGetAvailableFrame(datagen), nullptr);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Failed to acquire DG Buffer " + std::to_string(frameIds[0]) + "\n"), std::string::npos);
    EXPECT_NE(err.find("Available list is empty\n"), std::string::npos);
    EXPECT_EQ(CI_DatagenReleaseFrame(again), QOV_SUCCESS);
    EXPECT_EQ(CI_DatagenReleaseFrame(other), QOV_SUCCESS);
}

// A frame got again comes with its whole record, whatever the caller wrote
// into it after giving it back, and can be sent as it comes.
TEST_F(DatagenTest, FrameGotAgainComesWithItsWholeRecord)
{
    const struct {
        const char *name;
        void (*scribble)(CI_DG_FRAME &);
    } cases[] = {
        {"data", [](CI_DG_FRAME &f) { f.data = nullptr; }},
        {"allocated size", [](CI_DG_FRAME &f) { f.ui32AllocSize = 1; }},
        {"frame id", [](CI_DG_FRAME &f) { f.ui32FrameID = 999; }},
        {"horizontal blanking", [](CI_DG_FRAME &f) { f.ui32HorizontalBlanking = 7; }},
        {"vertical blanking", [](CI_DG_FRAME &f) { f.ui32VerticalBlanking = 7; }},
    };
    create();
    allocateAndStart(1);
    Image image(16, 4, 10);
    CI_DG_FRAME *frame = filledFrame(image);
    ASSERT_NE(frame, nullptr);
    const CI_DG_FRAME handedOut = *frame;
    ASSERT_EQ(CI_DatagenReleaseFrame(frame), QOV_SUCCESS);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        c.scribble(*frame);
        CI_DG_FRAME *again = CI_DatagenGetFrame(datagen, frameIds[0]);
        ASSERT_EQ(again, frame);
        EXPECT_EQ(again->data, handedOut.data);
        EXPECT_EQ(again->ui32AllocSize, handedOut.ui32AllocSize);
        EXPECT_EQ(again->ui32FrameID, frameIds[0]);
        EXPECT_EQ(again->ui32HorizontalBlanking, 100u);
        EXPECT_EQ(again->ui32VerticalBlanking, 14u);
        ASSERT_EQ(CI_DatagenInsertFrame(again), QOV_SUCCESS);
        ASSERT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS);
    }
}

TEST_F(DatagenTest, ForeignFrameFromTheDriverIsGivenBack)
{
    create();
    allocateAndStart(1);
    driver->corrupt(simboard::IspCorruption::GeneratorAcquireFrameId, 999);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenGetAvailableFrame(datagen), nullptr);
    EXPECT_NE(GetCapturedStderr().find("Failed to find the frame in the user-space list!\n"), std::string::npos);
    const simboard::IspRequest *release = lastRequest(CI_IIFDG_RELEASE);
    ASSERT_NE(release, nullptr);
    CI_DG_FRAMETRIG trig;
    ASSERT_EQ(release->record.size(), sizeof(trig));
    memcpy(&trig, release->record.data(), sizeof(trig));
    EXPECT_EQ(trig.uiFrameId, 999u);
    EXPECT_EQ(trig.bTrigger, 0);
}

TEST_F(DatagenTest, InsertedFramesReachTheGasketIntact)
{
    for (CI_CONV_FMT format : {CI_DGFMT_PARALLEL, CI_DGFMT_MIPI, CI_DGFMT_MIPI_LF}) {
        create(format, 12);
        allocateAndStart(2, 22, 5);
        const QOV_UINT8 gasket = datagen->ui8Gasket;
        Image image(22, 5, 12);
        for (int round = 0; round < 3; ++round) {
            CI_DG_FRAME *frame = filledFrame(image);
            ASSERT_NE(frame, nullptr);
            frame->ui32HorizontalBlanking = 120;
            frame->ui32VerticalBlanking = 20;
            ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS) << format;
            ASSERT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS) << format;
        }
        CI_DG_FRAMETRIG trig;
        memcpy(&trig, lastRequest(CI_IIFDG_RELEASE)->record.data(), sizeof(trig));
        EXPECT_EQ(trig.uiWidth, 22);
        EXPECT_EQ(trig.uiHeight, 5);
        EXPECT_EQ(trig.uiStride, CI_ConverterFrameSize(&converter, 22, 5) / 5);
        EXPECT_EQ(trig.uiHorizontalBlanking, 120);
        EXPECT_EQ(trig.uiVerticalBlanking, 20);
        EXPECT_EQ(trig.bTrigger, 1);

        CI_GASKET_INFO info{};
        ASSERT_EQ(CI_GasketGetInfo(&info, gasket, connection), QOV_SUCCESS);
        EXPECT_EQ(info.ui32FrameCount, 3u) << format;
        EXPECT_EQ(info.ui8MipiCrcError, 0) << format;
        EXPECT_EQ(info.ui8MipiEccError, 0) << format;
        EXPECT_EQ(info.ui8MipiHdrError, 0) << format;
        ASSERT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
        datagen = nullptr;
        frameIds.clear();
    }
}

TEST_F(DatagenTest, WaitingForProcessedFrames)
{
    create();
    allocateAndStart(1);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_FALSE), QOV_ERROR_NOT_AVAILABLE);
    EXPECT_EQ(GetCapturedStderr(), "");  // not blocking: no complaint
    CaptureStderr();
    EXPECT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_ERROR_TIMEOUT);
    EXPECT_NE(GetCapturedStderr().find("Failed to wait for processed frame\n"), std::string::npos);

    Image image(16, 4, 10);
    CI_DG_FRAME *frame = filledFrame(image);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);
    driver->planFault(CI_IIFDG_WAITPROCESSED, -EINTR, 3);  // interrupted three times, then answered
    EXPECT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS);
}

TEST_F(DatagenTest, InsertionChecks)
{
    create();
    allocateAndStart(1);
    Image image(16, 4, 10);
    CI_DG_FRAME *frame = filledFrame(image);
    ASSERT_NE(frame, nullptr);
    const CI_DG_FRAME good = *frame;
    driver->clearRequests();

    const struct {
        const char *name;
        void (*spoil)(CI_DG_FRAME &);
        QOV_RESULT result;
        const char *message;
    } cases[] = {
        {"horizontal blanking", [](CI_DG_FRAME &f) { f.ui32HorizontalBlanking = 99; }, QOV_ERROR_NOT_SUPPORTED,
         "Cannot trigger a frame with blanking H=99 V=14 (min is H=100 V=14)\n"},
        {"blanking beyond 16 bits", [](CI_DG_FRAME &f) { f.ui32VerticalBlanking = 0x10000 + 20; },
         QOV_ERROR_NOT_SUPPORTED, "Cannot trigger a frame with blanking H=100 V=65556 (max is 65535)\n"},
        {"width beyond 16 bits", [](CI_DG_FRAME &f) { f.ui32Width = 0x10010; }, QOV_ERROR_NOT_SUPPORTED,
         "Cannot trigger a frame of 65552x4 (max is 65535)\n"},
        {"format", [](CI_DG_FRAME &f) { f.eFormat = CI_DGFMT_MIPI_LF; }, QOV_ERROR_WRONG_STATE,
         "Cannot trigger a frame of a different format!\n"},
        {"bit depth", [](CI_DG_FRAME &f) { f.ui8FormatBitdepth = 12; }, QOV_ERROR_WRONG_STATE,
         "Cannot trigger a frame of a different format!\n"},
        {"stride x height", [](CI_DG_FRAME &f) { f.ui32Height = 5; }, QOV_ERROR_INVALID_ARGUMENT,
         "Cannot trigger a frame that has a stride*height (64x5=320) bigger than its allocated size 256\n"},
        // 2^16 x 2^16 is 0 in 32 bits
        {"stride x height wrapping", [](CI_DG_FRAME &f) { f.ui32Stride = 0x10000; f.ui32Height = 0x10000; },
         QOV_ERROR_NOT_SUPPORTED, "Cannot trigger a frame of 16x65536 (max is 65535)\n"},
        {"stride x height wrapping in 32 bits", [](CI_DG_FRAME &f) { f.ui32Stride = 0x40000000; f.ui32Height = 4; },
         QOV_ERROR_INVALID_ARGUMENT,
         "Cannot trigger a frame that has a stride*height (1073741824x4=4294967296) bigger than its allocated size "
         "256\n"},
        {"unknown frame", [](CI_DG_FRAME &f) { f.ui32FrameID = 999; }, QOV_ERROR_INVALID_ARGUMENT,
         "Given frame 999 is not in the frame list!\n"},
        {"stride alignment", [](CI_DG_FRAME &f) { f.ui32Stride = 40; }, QOV_ERROR_NOT_SUPPORTED,
         "Memory stride has to be a multiple of SYSMEM_ALIGNMENT (64)\n"},
    };
    for (const auto &c : cases) {
        *frame = good;
        c.spoil(*frame);
        CaptureStderr();
        EXPECT_EQ(CI_DatagenInsertFrame(frame), c.result) << c.name;
        std::string err = GetCapturedStderr();
        EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
    }
    EXPECT_EQ(driver->requests().size(), 0u);

    // a release is refused only for an unknown frame or a bad stride
    *frame = good;
    frame->ui32Stride = 4000;
    CaptureStderr();
    EXPECT_EQ(CI_DatagenReleaseFrame(frame), QOV_ERROR_NOT_SUPPORTED);
    EXPECT_EQ(CI_DatagenInsertFrame(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DatagenReleaseFrame(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    std::string err = GetCapturedStderr();
    EXPECT_NE(err.find("Memory stride has to be a multiple of SYSMEM_ALIGNMENT (64)\n"), std::string::npos);
    EXPECT_EQ(occurrences(err, "pFrame is NULL\n"), 2u);

    // the driver's refusal is translated
    *frame = good;
    driver->planFault(CI_IIFDG_RELEASE, -EINVAL);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenInsertFrame(frame), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to trigger the capture of frame " + std::to_string(good.ui32FrameID)),
              std::string::npos);
    EXPECT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);

    // the largest blanking the request carries is sent as it is
    ASSERT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS);
    frame = CI_DatagenGetAvailableFrame(datagen);
    ASSERT_NE(frame, nullptr);
    frame->ui32HorizontalBlanking = 0xFFFF;
    frame->ui32VerticalBlanking = 0xFFFF;
    ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);
    CI_DG_FRAMETRIG trig;
    memcpy(&trig, lastRequest(CI_IIFDG_RELEASE)->record.data(), sizeof(trig));
    EXPECT_EQ(trig.uiHorizontalBlanking, 0xFFFF);
    EXPECT_EQ(trig.uiVerticalBlanking, 0xFFFF);
    EXPECT_EQ(trig.uiFrameId, good.ui32FrameID);
}

TEST_F(DatagenTest, DestroyingOneFrame)
{
    create();
    QOV_UINT32 first = 0, second = 0;
    ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &first), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, &second), QOV_SUCCESS);
    CI_DG_FRAME *frame = CI_DatagenGetFrame(datagen, first);
    ASSERT_NE(frame, nullptr);
    ASSERT_EQ(CI_DatagenDestroyFrame(frame), QOV_SUCCESS);
    EXPECT_EQ(driver->generator(generatorId())->frames.size(), 1u);

    // the driver's refusal is logged, the frame goes all the same
    frame = CI_DatagenGetFrame(datagen, second);
    ASSERT_NE(frame, nullptr);
    driver->planFault(CI_IIFDG_FREE, -EINVAL);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenDestroyFrame(frame), QOV_SUCCESS);
    EXPECT_NE(GetCapturedStderr().find("Failed to free device memory for Frame " + std::to_string(second) +
                                       " - returned 11\n"),
              std::string::npos);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenGetAvailableFrame(datagen), nullptr);  // the list is empty
    GetCapturedStderr();

    CaptureStderr();
    EXPECT_EQ(CI_DatagenDestroyFrame(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("pFrame is NULL\n"), std::string::npos);
}

TEST_F(DatagenTest, DestructionFreesEveryFrame)
{
    create();
    allocateAndStart(3);
    Image image(16, 4, 10);
    // one frame with the caller, one sent and processed, one never touched
    CI_DG_FRAME *held = CI_DatagenGetAvailableFrame(datagen);
    ASSERT_NE(held, nullptr);
    CI_DG_FRAME *sent = filledFrame(image);
    ASSERT_NE(sent, nullptr);
    ASSERT_EQ(CI_DatagenInsertFrame(sent), QOV_SUCCESS);
    const int id = generatorId();

    ASSERT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
    datagen = nullptr;
    EXPECT_FALSE(driver->generator(id).has_value());
    simboard::IspLiveObjects live = driver->liveObjects();
    EXPECT_EQ(live.generators, 0u);
    EXPECT_EQ(live.generatorFrames, 0u);
    EXPECT_EQ(live.userMappings, 0u);
    EXPECT_EQ(driver->requestCount(CI_IIFDG_FREE), 3u);
}

TEST_F(DatagenTest, RefusedDeregistrationKeepsTheGeneratorForTheConnection)
{
    create();
    allocateAndStart(2);
    driver->planFault(CI_IIFDG_REGISTER, -EINVAL);
    CaptureStderr();
    EXPECT_EQ(CI_DatagenDestroy(datagen), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_NE(GetCapturedStderr().find("Failed to deregister datagenerator!\n"), std::string::npos);
    // closing the connection still takes it down (checked in TearDown)
}

TEST_F(DatagenTest, FinalisingTheConnectionDestroysItsGenerators)
{
    create();
    allocateAndStart(2);
    CI_DG_FRAME *held = CI_DatagenGetAvailableFrame(datagen);
    ASSERT_NE(held, nullptr);
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    connection = nullptr;
    EXPECT_EQ(driver->liveObjects().total(), 0u);
}

// Finalising a generator (what closing the connection does to each one)
// frees it whatever fails, and returns the first failure: the stop's, then
// the frame deletions', then the deregistration's.
TEST_F(DatagenTest, FinalisingReturnsTheFirstFailure)
{
    struct Fault {
        CI_eIOCTL index;
        long answer;
    };
    struct Case {
        const char *what;
        bool started;
        std::vector<Fault> faults;
        QOV_RESULT expected;
    };
    const Case cases[] = {
        {"nothing fails", true, {}, QOV_SUCCESS},
        {"stop", true, {{CI_IIFDG_STOP, -ETIME}}, QOV_ERROR_TIMEOUT},
        {"frame deletion after a stop", true, {{CI_IIFDG_FREE, -EINVAL}}, QOV_ERROR_INVALID_ARGUMENT},
        {"frame deletion, never started", false, {{CI_IIFDG_FREE, -ENOMEM}}, QOV_ERROR_NO_MEMORY},
        {"deregistration", true, {{CI_IIFDG_REGISTER, -EINVAL}}, QOV_ERROR_INVALID_ARGUMENT},
        {"stop, then frame deletion", true, {{CI_IIFDG_STOP, -ETIME}, {CI_IIFDG_FREE, -EINVAL}}, QOV_ERROR_TIMEOUT},
        {"frame deletion, then deregistration",
         false,
         {{CI_IIFDG_FREE, -ENOMEM}, {CI_IIFDG_REGISTER, -EINVAL}},
         QOV_ERROR_NO_MEMORY},
        {"stop, then deregistration", true, {{CI_IIFDG_STOP, -EINVAL}, {CI_IIFDG_REGISTER, -ETIME}},
         QOV_ERROR_INVALID_ARGUMENT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        create();
        if (c.started) {
            allocateAndStart(2);
        } else {
            ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, nullptr), QOV_SUCCESS);
            ASSERT_EQ(CI_DatagenAllocateFrame(datagen, 4096, nullptr), QOV_SUCCESS);
        }
        for (const Fault &f : c.faults)
            driver->planFault(f.index, f.answer);
        sLinkedList_T *generators = &INT_CI_Connection(connection)->sList_datagen;
        sCell_T *cell = List_getHead(generators);
        ASSERT_NE(cell, nullptr);
        CaptureStderr();
        EXPECT_EQ(INT_CI_DatagenFinalise(static_cast<INT_INTDATAGEN *>(cell->object)), c.expected);
        GetCapturedStderr();
        datagen = nullptr;
        EXPECT_EQ(List_getHead(generators), nullptr);  // off the connection's list
        // the next closing finds nothing of it and the driver nothing left
        ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        EXPECT_EQ(driver->liveObjects().total(), 0u);
        ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
        CI_ConverterClear(&converter);
    }
}

TEST_F(DatagenTest, NullGenerator)
{
    CaptureStderr();
    EXPECT_EQ(CI_DatagenStart(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DatagenStop(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_FALSE(CI_DatagenIsStarted(nullptr));
    EXPECT_EQ(CI_DatagenAllocateFrame(nullptr, 64, nullptr), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DatagenGetAvailableFrame(nullptr), nullptr);
    EXPECT_EQ(CI_DatagenGetFrame(nullptr, 1), nullptr);
    EXPECT_EQ(CI_DatagenWaitProcessedFrame(nullptr, QOV_TRUE), QOV_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(CI_DatagenDestroy(nullptr), QOV_ERROR_INVALID_ARGUMENT);
    std::string err = GetCapturedStderr();
    EXPECT_EQ(occurrences(err, "pDatagen is NULL\n"), 8u) << err;
    EXPECT_EQ(driver->requests().size(), 0u);
}

}  // namespace
