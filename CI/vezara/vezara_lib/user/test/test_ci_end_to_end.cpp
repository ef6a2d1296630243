// End-to-end capture through the library against the simulated ISP: a JUX
// file is played into an imager by the internal data generator and comes
// back out of the data extraction, shot by shot, with its statistics block
// and the statistics configuration it was taken with.
//
// Every case runs the whole life cycle: connection, a pipeline converted
// from its floating-point configuration, registration, output buffers
// (driver-allocated, or imported from descriptors), the shot pool, the
// generator and its frames, two frames played in and captured (twice over
// for the small image), and the teardown down to a driver that holds
// nothing and a board with no open descriptor.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_alloc_info.h"
#include "ci/ci_api.h"
#include "ci/ci_converter.h"
#include "ci/ci_datagen.h"
#include "ci/ci_gasket.h"
#include "mc/mc_conversions.h"
#include "mc/mc_structs.h"
#include "sim_image/sim_image.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"
#include "simboard/isp_model.h"
#include "test_ci_support.h"

namespace {

using citest::TempFolder;

// One wire format of the generator, the Bayer order of the file, and the
// data-extraction format the samples come back in with that format's
// packing: `elements` samples of `outDepth` bits packed from the least
// significant bit of `groupBytes` little-endian bytes.
struct Wire {
    const char *name;
    CI_CONV_FMT format;
    QOV_UINT8 depth;
    QOV_UINT8 gasket;  // a gasket of the standard profile with that receiver
    sSimImageColourModel order;
    MOSAICType mosaic;
    pxlFormat extraction;
    unsigned outDepth;
    unsigned elements;
    unsigned groupBytes;
    bool fullSize;  // also captured at 1920 x 1080
};

// 14-bit samples come out of the 12-bit extraction without their 2 low bits.
const Wire kWires[] = {
    {"Parallel10", CI_DGFMT_PARALLEL, 10, 2, SimImage_RGGB, MOSAIC_RGGB, BAYER_RGGB_10, 10, 3, 4, true},
    {"Parallel12", CI_DGFMT_PARALLEL, 12, 3, SimImage_GRBG, MOSAIC_GRBG, BAYER_RGGB_12, 12, 16, 24, false},
    {"Mipi10", CI_DGFMT_MIPI, 10, 0, SimImage_GBRG, MOSAIC_GBRG, BAYER_RGGB_10, 10, 3, 4, false},
    {"Mipi12", CI_DGFMT_MIPI, 12, 1, SimImage_BGGR, MOSAIC_BGGR, BAYER_RGGB_12, 12, 16, 24, false},
    {"Mipi14", CI_DGFMT_MIPI, 14, 0, SimImage_RGGB, MOSAIC_RGGB, BAYER_RGGB_12, 12, 16, 24, true},
    {"MipiLineFramed10", CI_DGFMT_MIPI_LF, 10, 1, SimImage_GRBG, MOSAIC_GRBG, BAYER_RGGB_10, 10, 3, 4, false},
    {"MipiLineFramed12", CI_DGFMT_MIPI_LF, 12, 0, SimImage_GBRG, MOSAIC_GBRG, BAYER_RGGB_12, 12, 16, 24, true},
    {"MipiLineFramed14", CI_DGFMT_MIPI_LF, 14, 1, SimImage_BGGR, MOSAIC_BGGR, BAYER_RGGB_12, 12, 16, 24, false},
};

// 22 x 18 is the smallest image whose default statistics pass verification
// (a histogram tile of at least 10 x 8 CFA cells) and that ends every
// packing group part-way: 11 cells per line is odd (the RAW10 and RAW14
// packers' last group holds one pixel) and not a multiple of 3 (the
// parallel 10-bit packer's last group holds 2 pixels, the 10-bit extraction
// word one sample); 9 cell rows is odd too.
struct Size {
    QOV_UINT32 width, height;
};
const Size kFullSize{1920, 1080};
const Size kSmallSize{22, 18};

enum class Buffers { Allocated, Imported };

struct Case {
    Wire wire;
    Size size;
    Buffers buffers;
};

std::vector<Case> allCases()
{
    std::vector<Case> cases;
    for (const Wire &wire : kWires) {
        for (const Size &size : {kFullSize, kSmallSize}) {
            if (size.width == kFullSize.width && !wire.fullSize)
                continue;
            for (Buffers buffers : {Buffers::Allocated, Buffers::Imported})
                cases.push_back(Case{wire, size, buffers});
        }
    }
    return cases;
}

std::string caseName(const Case &c)
{
    return std::string(c.wire.name) + "_" + std::to_string(c.size.width) + "x" + std::to_string(c.size.height) +
           (c.buffers == Buffers::Allocated ? "_Allocated" : "_Imported");
}
void PrintTo(const Case &c, std::ostream *os) { *os << caseName(c); }

constexpr unsigned kFrames = 2;
constexpr QOV_UINT32 kHBlanking = 130;
constexpr QOV_UINT32 kVBlanking = 20;
constexpr QOV_UINT8 kPrivateValue = 0xA7;

// The sample at (x, y) of frame f of the input file.
QOV_UINT16 inputSample(QOV_UINT32 x, QOV_UINT32 y, unsigned f, unsigned depth)
{
    return static_cast<QOV_UINT16>((x * 7 + y * 13 + f * 29) & ((1u << depth) - 1));
}

// Sample i of a line packed as the extraction format packs it.
QOV_UINT16 packedSample(const QOV_UINT8 *line, QOV_UINT32 i, const Wire &w)
{
    const QOV_UINT8 *group = line + static_cast<size_t>(i / w.elements) * w.groupBytes;
    const unsigned bit = (i % w.elements) * w.outDepth;
    const unsigned bytes = (bit % 8 + w.outDepth + 7) / 8;
    QOV_UINT32 window = 0;
    for (unsigned b = 0; b < bytes; ++b)
        window |= static_cast<QOV_UINT32>(group[bit / 8 + b]) << (8 * b);
    return static_cast<QOV_UINT16>((window >> (bit % 8)) & ((1u << w.outDepth) - 1));
}

// Compares every sample of an image with its expected value: empty when all
// match, else how many differ and where the first one is.
template <typename Actual, typename Expected>
std::string differences(const Size &size, Actual actual, Expected expected)
{
    size_t count = 0;
    std::string first;
    for (QOV_UINT32 y = 0; y < size.height; ++y) {
        for (QOV_UINT32 x = 0; x < size.width; ++x) {
            const QOV_UINT16 a = actual(x, y), e = expected(x, y);
            if (a != e && count++ == 0)
                first = std::to_string(x) + "," + std::to_string(y) + " is " + std::to_string(a) + " instead of " +
                        std::to_string(e);
        }
    }
    return count == 0 ? std::string() : std::to_string(count) + " samples differ, the first at " + first;
}

// Bytes of one converted line of `width` samples: the packed samples, and
// for MIPI the long packet around them (4-byte header, 2-byte checksum) and
// the line-start and line-end packets of the line-framed format.
// *pPacket receives the long packet's size (parallel: the line's).
QOV_UINT32 wireLineBytes(const Wire &w, QOV_UINT32 width, QOV_UINT32 *pPacket)
{
    const QOV_UINT32 pixels = width / 2;  // two samples each
    QOV_UINT32 payload = 0;
    if (w.format == CI_DGFMT_PARALLEL && w.depth == 10)
        payload = pixels / 3 * 8 + (pixels % 3 == 2 ? 8 : pixels % 3 == 1 ? 4 : 0);
    else if (w.depth == 12)
        payload = 3 * pixels;
    else  // RAW10 or RAW14: groups of 2 pixels, a last single pixel as a whole group
        payload = (pixels + 1) / 2 * (w.depth == 10 ? 5 : 7);
    *pPacket = w.format == CI_DGFMT_PARALLEL ? payload : payload + 6;
    if (w.format == CI_DGFMT_PARALLEL)
        return payload;
    return payload + 6 + (w.format == CI_DGFMT_MIPI_LF ? 8 : 0);
}

// The simulated ISP's own image model (Bayer outputs carry the input
// samples), which also measures the global histogram of every frame: 64
// bins of the samples' 6 most significant bits, written where the
// statistics block holds it (32-bit bins from byte 1152).
class HistogramModel : public simboard::IspImageModel {
public:
    void process(simboard::ShotFrame &frame) override
    {
        m_plain->process(frame);
        const simboard::BayerFrame &image = *frame.image;
        QOV_UINT32 bins[64] = {};
        for (QOV_UINT16 sample : image.samples)
            ++bins[(sample >> (image.bitDepth - 6)) & 63];
        if (frame.statistics && frame.statisticsSize >= 1152 + sizeof(bins))
            memcpy(frame.statistics + 1152, bins, sizeof(bins));
    }

private:
    std::unique_ptr<simboard::IspImageModel> m_plain = simboard::makePlainImageModel();
};

// Writes a Bayer JUX file of kFrames frames of the input pattern.
void writeJux(const std::string &path, const Size &size, unsigned depth, sSimImageColourModel order)
{
    sSimImageOut out;
    ASSERT_EQ(SimImageOut_init(&out), QOV_SUCCESS);
    out.info.eColourModel = order;
    out.info.ui8BitDepth = static_cast<QOV_UINT8>(depth);
    out.info.ui32Width = size.width;
    out.info.ui32Height = size.height;
    ASSERT_EQ(SimImageOut_create(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_open(&out, path.c_str()), QOV_SUCCESS);
    // One cell is its top-left, top-right, bottom-left, bottom-right sample.
    std::vector<QOV_UINT16> cells(static_cast<size_t>(size.width) * size.height);
    for (unsigned f = 0; f < kFrames; ++f) {
        size_t k = 0;
        for (QOV_UINT32 cy = 0; cy < size.height / 2; ++cy) {
            for (QOV_UINT32 cx = 0; cx < size.width / 2; ++cx) {
                cells[k++] = inputSample(2 * cx, 2 * cy, f, depth);
                cells[k++] = inputSample(2 * cx + 1, 2 * cy, f, depth);
                cells[k++] = inputSample(2 * cx, 2 * cy + 1, f, depth);
                cells[k++] = inputSample(2 * cx + 1, 2 * cy + 1, f, depth);
            }
        }
        ASSERT_EQ(SimImageOut_addFrame(&out, cells.data(), cells.size() * sizeof(QOV_UINT16)), QOV_SUCCESS);
        ASSERT_EQ(SimImageOut_write(&out), QOV_SUCCESS);
    }
    ASSERT_EQ(SimImageOut_close(&out), QOV_SUCCESS);
    ASSERT_EQ(SimImageOut_clean(&out), QOV_SUCCESS);
}

class EndToEnd : public testing::TestWithParam<Case> {
protected:
    static void SetUpTestSuite() { s_folder = std::make_unique<TempFolder>("ci_e2e_"); }
    static void TearDownTestSuite() { s_folder.reset(); }

    // The input file of a bit depth and a size, written by the first case
    // that needs it (the cases of one depth and size share it).
    static std::string inputFile(const Wire &w, const Size &size)
    {
        const std::string path =
            s_folder->file("input_" + std::to_string(w.depth) + "_" + std::to_string(w.order) + "_" +
                           std::to_string(size.width) + "x" + std::to_string(size.height) + ".jux");
        if (!std::filesystem::exists(path))
            writeJux(path, size, w.depth, w.order);
        return path;
    }

    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
        driver->setProfile(simboard::IspProfile::standard());
        driver->setImageModel(std::make_unique<HistogramModel>());
        SimImageIn_init(&image);
    }

    void TearDown() override
    {
        // Whatever a failed step left behind, so that the next case starts clean.
        CI_ConverterClear(&converter);
        SimImageIn_close(&image);
        if (connection)
            CI_DriverFinalise(connection);
        for (const Mapping &view : ownViews)
            munmap(view.address, view.length);
        for (int fd : importFds)
            close(fd);
        simboard::Board::instance().reset();
    }

    // The statistics configuration the pipeline starts with: exposure
    // statistics on a grid of its own, one white-balance region, the other
    // statistics at their defaults.
    void configureStatistics(const Size &size)
    {
        MC_EXS &exs = mc->sEXS;
        exs.ui16Left = 4;
        exs.ui16Top = 2;
        exs.ui16Width = 8;
        exs.ui16Height = 10;
        exs.fPixelMax = 1000.0;
        exs.updateNeeded = QOV_TRUE;
        MC_WBS &wbs = mc->sWBS;
        wbs.ui8ActiveROI = 1;
        wbs.aRoiLeft[0] = 2;
        wbs.aRoiTop[0] = 4;
        wbs.aRoiWidth[0] = static_cast<QOV_UINT16>(size.width - 4);
        wbs.aRoiHeight[0] = static_cast<QOV_UINT16>(size.height - 6);
        wbs.updateNeeded = QOV_TRUE;
    }

    std::shared_ptr<simboard::IspDriver> driver;
    CI_CONNECTION *connection = nullptr;
    std::unique_ptr<MC_PIPELINE> mc = std::make_unique<MC_PIPELINE>();
    sSimImageIn image{};
    CI_CONVERTER converter{};
    // Imported buffers: their descriptors and the importer's own mappings.
    struct Mapping {
        void *address;
        size_t length;
    };
    std::vector<int> importFds;
    std::vector<Mapping> ownViews;
    static std::unique_ptr<TempFolder> s_folder;
};

std::unique_ptr<TempFolder> EndToEnd::s_folder;

TEST_P(EndToEnd, CaptureOfAJuxFile)
{
    const Case &c = GetParam();
    const Wire &w = c.wire;
    const Size &size = c.size;
    const QOV_UINT32 cellsX = size.width / 2, cellsY = size.height / 2;

    // The input file.
    ASSERT_TRUE(s_folder && s_folder->ok());
    const std::string path = inputFile(w, size);
    if (HasFatalFailure())
        return;
    ASSERT_EQ(SimImageIn_loadJUX(&image, path.c_str()), QOV_SUCCESS);
    ASSERT_EQ(image.nFrames, kFrames);
    ASSERT_EQ(image.info.ui32Width, size.width);
    ASSERT_EQ(image.info.ui32Height, size.height);
    ASSERT_EQ(image.info.ui8BitDepth, w.depth);
    ASSERT_EQ(image.info.eColourModel, w.order);

    // Connection and pipeline, converted from the floating-point configuration.
    ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    CI_PIPELINE *pipeline = nullptr;
    ASSERT_EQ(CI_PipelineCreate(&pipeline, connection), QOV_SUCCESS);
    pipeline->config.ui8Context = 0;

    ASSERT_EQ(MC_IIFInit(&mc->sIIF), QOV_SUCCESS);
    mc->sIIF.ui8Imager = w.gasket;
    mc->sIIF.eBayerFormat = w.mosaic;
    mc->sIIF.ui16ImagerSize[0] = static_cast<QOV_UINT16>(cellsX);
    mc->sIIF.ui16ImagerSize[1] = static_cast<QOV_UINT16>(cellsY);
    ASSERT_EQ(MC_PipelineInit(mc.get(), &connection->sHWInfo), QOV_SUCCESS);
    mc->eDispOutput = w.extraction;
    mc->eDEPoint = CI_INOUT_BLACK_LEVEL;
    // The tone mapper needs local columns of at least 40 pixels: 16 of them
    // do not fit the small image, where it is bypassed (the extraction is
    // taken before it anyway).
    if (size.width < 16 * 40)
        mc->sTNM.bBypassTNM = QOV_TRUE;
    configureStatistics(size);
    int mask = 0;
    ASSERT_EQ(MC_PipelineConvert(mc.get(), pipeline, &mask), QOV_SUCCESS);
    EXPECT_EQ(pipeline->config.eDataExtraction, CI_INOUT_BLACK_LEVEL);
    EXPECT_EQ(pipeline->config.eDispType.eFmt, w.extraction);
    EXPECT_EQ(pipeline->config.eDispType.eMosaic, w.mosaic);
    EXPECT_EQ(pipeline->config.ui16MaxDispOutWidth, size.width);
    EXPECT_EQ(pipeline->config.ui16MaxDispOutHeight, size.height);
    // Timestamps, and exposure, focus, histogram and flicker statistics by
    // default; white balance with its region.
    const QOV_UINT32 outputs = CI_SAVE_TIMESTAMP | CI_SAVE_EXS_GLOBAL | CI_SAVE_EXS_REGION | CI_SAVE_FOS_ROI |
                               CI_SAVE_FOS_GRID | CI_SAVE_WHITEBALANCE | CI_SAVE_HIST_GLOBAL |
                               CI_SAVE_HIST_REGION | CI_SAVE_FLICKER;
    EXPECT_EQ(pipeline->config.eOutputConfig, outputs);
    pipeline->config.ui8PrivateValue = kPrivateValue;
    ASSERT_EQ(CI_PipelineRegister(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(pipeline, kFrames), QOV_SUCCESS);

    // Data-extraction buffers sized by the Bayer buffer-size rule: whole
    // packing groups per line, lines not rounded to the memory alignment.
    CI_SIZEINFO layout{};
    ASSERT_EQ(CI_ALLOC_Raw2DSizeInfo(&pipeline->config.eDispType, size.width, size.height, nullptr, &layout),
              QOV_SUCCESS);
    const QOV_UINT32 stride = (size.width + w.elements - 1) / w.elements * w.groupBytes;
    ASSERT_EQ(layout.ui32Stride, stride);
    ASSERT_EQ(layout.ui32Height, size.height);
    const QOV_UINT32 bufferSize = stride * size.height;
    std::vector<QOV_UINT32> bufferIds;
    for (unsigned i = 0; i < kFrames; ++i) {
        QOV_UINT32 id = 0;
        if (c.buffers == Buffers::Allocated) {
            ASSERT_EQ(CI_PipelineAllocateBuffer(pipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &id), QOV_SUCCESS);
        } else {
            const int fd = memfd_create("dmabuf", 0);
            ASSERT_GE(fd, 0);
            importFds.push_back(fd);
            ASSERT_EQ(ftruncate(fd, bufferSize), 0);
            ASSERT_EQ(CI_PipelineImportBuffer(pipeline, CI_TYPE_DATAEXT, bufferSize, QOV_FALSE,
                                              static_cast<QOV_UINT32>(fd), &id),
                      QOV_SUCCESS);
            QOV_UINT32 found = 0;
            ASSERT_EQ(CI_PipelineFindBufferFromImportFd(pipeline, static_cast<QOV_UINT32>(fd), &found), QOV_SUCCESS);
            EXPECT_EQ(found, id);
            void *view = mmap(nullptr, bufferSize, PROT_READ, MAP_SHARED, fd, 0);
            ASSERT_NE(view, MAP_FAILED);
            ownViews.push_back(Mapping{view, bufferSize});
        }
        ASSERT_NE(id, 0u);
        CI_BUFFER_INFO info{};
        ASSERT_EQ(CI_PipelineGetBufferInfo(pipeline, id, &info), QOV_SUCCESS);
        EXPECT_GE(info.ui32Size, bufferSize);
        bufferIds.push_back(id);
    }
    ASSERT_EQ(CI_PipelineComputeLinestore(pipeline), QOV_SUCCESS);

    // The generator feeding the pipeline's imager in the case's wire format.
    CI_DATAGEN *datagen = nullptr;
    ASSERT_EQ(CI_DatagenCreate(&datagen, connection), QOV_SUCCESS);
    datagen->ui8IIFDGIndex = 0;
    datagen->eFormat = w.format;
    datagen->ui8FormatBitdepth = w.depth;
    datagen->ui8Gasket = w.gasket;
    datagen->eBayerMosaic = w.mosaic;
    ASSERT_EQ(CI_ConverterConfigure(&converter, w.format, w.depth), QOV_SUCCESS);
    // A line and the frame-start packet that precedes line 0, in 64-byte lines.
    QOV_UINT32 packetBytes = 0;
    const QOV_UINT32 wireLine = wireLineBytes(w, size.width, &packetBytes);
    const QOV_UINT32 wireStride = (wireLine + (w.format == CI_DGFMT_PARALLEL ? 0 : 4) + 63) / 64 * 64;
    const QOV_UINT32 frameSize = CI_ConverterFrameSize(&converter, size.width, size.height);
    ASSERT_EQ(frameSize, wireStride * size.height);
    for (unsigned i = 0; i < kFrames; ++i)
        ASSERT_EQ(CI_DatagenAllocateFrame(datagen, frameSize, nullptr), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenStart(datagen), QOV_SUCCESS);

    ASSERT_EQ(CI_PipelineStartCapture(pipeline), QOV_SUCCESS);
    EXPECT_TRUE(CI_PipelineIsStarted(pipeline));

    // The file's frames in order, and for the small image a second round
    // through the same shots and buffers in reverse order. The exposure
    // statistics change before every trigger after the first; each shot
    // keeps the configuration of its trigger.
    const unsigned order[2][kFrames] = {{0, 1}, {1, 0}};
    const unsigned rounds = size.width == kFullSize.width ? 1 : 2;
    unsigned triggers = 0;
    QOV_UINT32 previousStart = 0;
    for (unsigned round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        for (unsigned k = 0; k < kFrames; ++k, ++triggers) {
            if (triggers > 0) {
                mc->sEXS.fPixelMax = 1000.0 * (triggers + 1);
                mc->sEXS.updateNeeded = QOV_TRUE;
                mask = 0;
                ASSERT_EQ(MC_PipelineConvert(mc.get(), pipeline, &mask), QOV_SUCCESS);
                EXPECT_EQ(mask & CI_UPD_EXS, CI_UPD_EXS);
                ASSERT_EQ(CI_PipelineUpdate(pipeline, mask, nullptr), QOV_SUCCESS);
            }
            ASSERT_EQ(CI_PipelineTriggerShoot(pipeline), QOV_SUCCESS);
        }

        // Play the file in.
        for (unsigned f : order[round]) {
            SCOPED_TRACE("input frame " + std::to_string(f));
            ASSERT_EQ(SimImageIn_convertFrame(&image, static_cast<QOV_INT32>(f)), QOV_SUCCESS);
            const std::string input = differences(
                size, [&](QOV_UINT32 x, QOV_UINT32 y) { return image.pBuffer[size_t{y} * size.width + x]; },
                [&](QOV_UINT32 x, QOV_UINT32 y) { return inputSample(x, y, f, w.depth); });
            ASSERT_EQ(input, "") << "the image read from the JUX file";
            CI_DG_FRAME *frame = CI_DatagenGetAvailableFrame(datagen);
            ASSERT_NE(frame, nullptr);
            ASSERT_EQ(CI_ConverterConvertFrame(&converter, &image, frame), QOV_SUCCESS);
            EXPECT_EQ(frame->ui32Stride, wireStride);
            EXPECT_EQ(frame->ui32PacketWidth, packetBytes);
            EXPECT_EQ(frame->ui32Width, size.width);
            EXPECT_EQ(frame->ui32Height, size.height);
            EXPECT_EQ(frame->eBayerMosaic, w.mosaic);
            frame->ui32HorizontalBlanking = kHBlanking;
            frame->ui32VerticalBlanking = kVBlanking;
            ASSERT_EQ(CI_DatagenInsertFrame(frame), QOV_SUCCESS);
            ASSERT_EQ(CI_DatagenWaitProcessedFrame(datagen, QOV_TRUE), QOV_SUCCESS);
        }

        // The gasket took the frames without a wire error.
        CI_GASKET_INFO gasket{};
        ASSERT_EQ(CI_GasketGetInfo(&gasket, w.gasket, connection), QOV_SUCCESS);
        EXPECT_EQ(gasket.ui32FrameCount, (round + 1) * kFrames);
        EXPECT_EQ(gasket.ui8MipiCrcError, 0);
        EXPECT_EQ(gasket.ui8MipiHdrError, 0);
        EXPECT_EQ(gasket.ui8MipiEccError, 0);
        EXPECT_EQ(gasket.ui8MipiEccCorrected, 0);

        for (unsigned k = 0; k < kFrames; ++k) {
            const unsigned f = order[round][k];
            SCOPED_TRACE("shot of frame " + std::to_string(f));
            CI_SHOT *shot = nullptr;
            ASSERT_EQ(CI_PipelineAcquireShot(pipeline, &shot), QOV_SUCCESS);
            ASSERT_NE(shot, nullptr);
            EXPECT_EQ(shot->bFrameError, 0);
            EXPECT_EQ(shot->i32MissedFrames, 0);
            EXPECT_EQ(shot->ui8PrivateValue, kPrivateValue);
            EXPECT_EQ(shot->eOutputConfig, outputs);
            EXPECT_EQ(shot->dispId, bufferIds[k]);
            ASSERT_NE(shot->pDisplayOutput, nullptr);
            EXPECT_EQ(shot->aDispSize[0], stride);
            EXPECT_EQ(shot->aDispSize[1], size.height);
            EXPECT_EQ(shot->bDispTiled, 0);

            // The data extraction carries the input samples.
            const QOV_UINT8 *out = static_cast<const QOV_UINT8 *>(shot->pDisplayOutput) + shot->ui32DispOffset;
            const QOV_UINT32 outStride = shot->aDispSize[0];
            const std::string extraction = differences(
                size, [&](QOV_UINT32 x, QOV_UINT32 y) { return packedSample(out + size_t{y} * outStride, x, w); },
                [&](QOV_UINT32 x, QOV_UINT32 y) {
                    return static_cast<QOV_UINT16>(inputSample(x, y, f, w.depth) >> (w.depth - w.outDepth));
                });
            EXPECT_EQ(extraction, "") << "the data extraction";
            if (c.buffers == Buffers::Imported) {
                EXPECT_EQ(memcmp(ownViews[k].address, shot->pDisplayOutput, bufferSize), 0)
                    << "the importer sees the shot";
            }

            // The statistics block: the histogram the ISP measured on this
            // frame, and the frame's progress through the pipeline stamped
            // by the driver.
            ASSERT_NE(shot->pStatistics, nullptr);
            ASSERT_GE(shot->statsSize, 5496u);
            auto histogram = std::make_unique<MC_STATS_HIS>();
            auto exposure = std::make_unique<MC_STATS_EXS>();
            MC_STATS_FLD flicker{};
            MC_STATS_DPF defects{};
            MC_STATS_TIMESTAMP stamps{};
            EXPECT_EQ(MC_HISExtract(shot->pStatistics, histogram.get()), QOV_SUCCESS);
            EXPECT_EQ(MC_EXSExtract(shot->pStatistics, exposure.get()), QOV_SUCCESS);
            EXPECT_EQ(MC_FLDExtract(shot->pStatistics, &flicker), QOV_SUCCESS);
            EXPECT_EQ(MC_DPFExtract(shot->pStatistics, &defects), QOV_SUCCESS);
            EXPECT_EQ(MC_TimestampExtract(shot->pStatistics, &stamps), QOV_SUCCESS);
            std::vector<QOV_UINT32> bins(64, 0);
            for (QOV_UINT32 y = 0; y < size.height; ++y)
                for (QOV_UINT32 x = 0; x < size.width; ++x)
                    ++bins[inputSample(x, y, f, w.depth) >> (w.depth - 6)];
            EXPECT_EQ(std::vector<QOV_UINT32>(histogram->globalHistogram, histogram->globalHistogram + 64), bins);
            EXPECT_EQ(histogram->regionHistograms[6][6][15], 0u);
            EXPECT_EQ(exposure->globalClipped[0], 0u);
            EXPECT_EQ(exposure->regionClipped[6][6][3], 0u);
            EXPECT_EQ(flicker.flickerStatus, FLD_NO_FLICKER);
            EXPECT_EQ(defects.ui32FixedPixels, 0u);
            EXPECT_EQ(defects.ui32NOutCorrection, 0u);
            // Frame in, frame out, output written, in that order; the interrupt last.
            EXPECT_LT(stamps.ui32StartFrameIn, stamps.ui32StartFrameOut);
            EXPECT_LT(stamps.ui32StartFrameOut, stamps.ui32EndFrameIn);
            EXPECT_LT(stamps.ui32EndFrameIn, stamps.ui32EndFrameDispOut);
            EXPECT_LT(stamps.ui32EndFrameDispOut, shot->ui32InterruptTS);
            if (round + k > 0) {
                // Frames follow each other at (width + blanking) x (height +
                // blanking) pixel clocks, one pixel per clock of the reference clock.
                EXPECT_EQ(stamps.ui32StartFrameIn - previousStart,
                          (size.width + kHBlanking) * (size.height + kVBlanking));
            }
            previousStart = stamps.ui32StartFrameIn;

            // The statistics configuration of the shot's trigger.
            CI_PIPELINE_STATS config{};
            ASSERT_EQ(CI_PipelineExtractConfig(shot, &config), QOV_SUCCESS);
            MC_EXS exs{};
            MC_WBS wbs{};
            ASSERT_EQ(MC_EXSRevert(&config.sExposureStats, shot->eOutputConfig, &exs), QOV_SUCCESS);
            ASSERT_EQ(MC_WBSRevert(&config.sWhiteBalanceStats, shot->eOutputConfig, &wbs), QOV_SUCCESS);
            EXPECT_EQ(exs.bGlobalEnable, QOV_TRUE);
            EXPECT_EQ(exs.bRegionEnable, QOV_TRUE);
            EXPECT_EQ(exs.ui16Left, 4);
            EXPECT_EQ(exs.ui16Top, 2);
            EXPECT_EQ(exs.ui16Width, 8);
            EXPECT_EQ(exs.ui16Height, 10);
            EXPECT_EQ(exs.fPixelMax, 1000.0 * (round * kFrames + k + 1));
            EXPECT_EQ(wbs.ui8ActiveROI, 1);
            EXPECT_EQ(wbs.aRoiLeft[0], 2);
            EXPECT_EQ(wbs.aRoiTop[0], 4);
            EXPECT_EQ(wbs.aRoiWidth[0], size.width - 4);
            EXPECT_EQ(wbs.aRoiHeight[0], size.height - 6);
            EXPECT_EQ(wbs.fYOffset, -0.5);

            ASSERT_EQ(CI_PipelineReleaseShot(pipeline, shot), QOV_SUCCESS);
            EXPECT_EQ(shot->pDisplayOutput, nullptr);
        }
        EXPECT_FALSE(CI_PipelineHasAcquired(pipeline));
    }

    // Stop and take everything down, one object at a time.
    ASSERT_EQ(CI_PipelineStopCapture(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenStop(datagen), QOV_SUCCESS);
    ASSERT_EQ(CI_DatagenDestroy(datagen), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().generators, 0u);
    EXPECT_EQ(driver->liveObjects().generatorFrames, 0u);
    ASSERT_EQ(CI_PipelineDeleteShots(pipeline), QOV_SUCCESS);
    for (QOV_UINT32 id : bufferIds)
        ASSERT_EQ(CI_PipelineDeregisterBuffer(pipeline, id), QOV_SUCCESS);
    EXPECT_EQ(driver->liveObjects().shots, 0u);
    EXPECT_EQ(driver->liveObjects().buffers, 0u);
    ASSERT_EQ(CI_PipelineDestroy(pipeline), QOV_SUCCESS);
    ASSERT_EQ(CI_ConverterClear(&converter), QOV_SUCCESS);
    ASSERT_EQ(SimImageIn_close(&image), QOV_SUCCESS);
    ASSERT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
    connection = nullptr;
    for (const Mapping &view : ownViews)
        EXPECT_EQ(munmap(view.address, view.length), 0);
    ownViews.clear();
    for (int fd : importFds)
        EXPECT_EQ(close(fd), 0);
    importFds.clear();

    const simboard::IspLiveObjects live = driver->liveObjects();
    EXPECT_EQ(live.total(), 0u) << "connections " << live.connections << ", pipelines " << live.pipelines
                                << ", shots " << live.shots << ", buffers " << live.buffers << ", generators "
                                << live.generators << ", frames " << live.generatorFrames << ", memory objects "
                                << live.memoryObjects << ", user mappings " << live.userMappings;
    EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Captures, EndToEnd, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case> &info) { return caseName(info.param); });

}  // namespace
