// Imported buffers of every output kind, sized by the buffer-size rule of
// their pixel type (YUV, RGB or Bayer) as an importer computes them: each one
// takes the frame the driver's own buffer takes, laid out as the rule says,
// whether the output's lines are a multiple of 64 bytes or not.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ci/ci_alloc_info.h"
#include "ci/ci_api.h"
#include "mc/mc_conversions.h"
#include "mc/mc_structs.h"
#include "test_ci_support.h"

namespace ciimport {

struct OutputCase {
    const char *name;
    CI_BUFFTYPE buffer;
    pxlFormat format;
    QOV_UINT32 width;
    bool linesOf64;  // the output's line bytes are a multiple of 64
};

constexpr QOV_UINT32 kHeight = 16;

const OutputCase kOutputs[] = {
    {"EncoderNV12", CI_TYPE_ENCODER, YUV_420_PL12_8, 64, true},
    {"EncoderNV12Narrow", CI_TYPE_ENCODER, YUV_420_PL12_8, 40, false},
    {"Encoder422TenBit", CI_TYPE_ENCODER, YUV_422_PL12_10, 48, true},
    {"Encoder422TenBitNarrow", CI_TYPE_ENCODER, YUV_422_PL12_10, 36, false},
    {"DisplayRGB32", CI_TYPE_DISPLAY, RGB_888_32, 64, true},
    {"DisplayRGB32Narrow", CI_TYPE_DISPLAY, RGB_888_32, 40, false},
    {"DisplayBGR24", CI_TYPE_DISPLAY, BGR_888_24, 64, true},
    {"DisplayBGR24Narrow", CI_TYPE_DISPLAY, BGR_888_24, 40, false},
    {"DisplayYCbCr444", CI_TYPE_DISPLAY, PXL_ISP_444IL3YCbCr8, 64, true},
    {"DisplayYCbCr444Narrow", CI_TYPE_DISPLAY, PXL_ISP_444IL3YCbCr8, 40, false},
    {"DataExtraction8", CI_TYPE_DATAEXT, BAYER_RGGB_8, 64, true},
    {"DataExtraction8Narrow", CI_TYPE_DATAEXT, BAYER_RGGB_8, 40, false},
    {"DataExtraction10", CI_TYPE_DATAEXT, BAYER_RGGB_10, 48, true},
    {"DataExtraction10Narrow", CI_TYPE_DATAEXT, BAYER_RGGB_10, 64, false},
    {"DataExtraction12", CI_TYPE_DATAEXT, BAYER_RGGB_12, 128, true},
    {"DataExtraction12Narrow", CI_TYPE_DATAEXT, BAYER_RGGB_12, 64, false},
    {"HDRExtraction", CI_TYPE_HDREXT, BGR_101010_32, 64, true},
    {"HDRExtractionNarrow", CI_TYPE_HDREXT, BGR_101010_32, 40, false},
    {"HDRInsertion", CI_TYPE_HDRINS, BGR_161616_64, 32, true},
    {"HDRInsertionNarrow", CI_TYPE_HDRINS, BGR_161616_64, 36, false},
    {"Raw2DTiff10", CI_TYPE_RAW2D, BAYER_TIFF_10, 256, true},
    {"Raw2DTiff10Narrow", CI_TYPE_RAW2D, BAYER_TIFF_10, 64, false},
    {"Raw2DTiff12", CI_TYPE_RAW2D, BAYER_TIFF_12, 128, true},
    {"Raw2DTiff12Narrow", CI_TYPE_RAW2D, BAYER_TIFF_12, 40, false},
};

// What one shot's output holds: the bytes of each line of its planes, and
// the layout the driver reported.
struct Captured {
    std::vector<QOV_UINT8> lines;
    QOV_UINT32 stride = 0, height = 0, strideC = 0, heightC = 0;
};

class ImportedOutputs : public citest::CiFixture, public testing::WithParamInterface<OutputCase> {
protected:
    // A new w x h pipeline with the case's output switched on, converted
    // from the default floating-point setup; the output's pixel type in `type`.
    CI_PIPELINE *pipelineWithOutput(const OutputCase &c, PIXELTYPE &type)
    {
        CI_PIPELINE *p = newPipeline(c.width, kHeight);
        if (!p)
            return nullptr;
        auto mc = std::make_unique<MC_PIPELINE>();
        EXPECT_EQ(MC_IIFInit(&mc->sIIF), QOV_SUCCESS);
        mc->sIIF.ui8Imager = 0;
        mc->sIIF.eBayerFormat = MOSAIC_RGGB;
        mc->sIIF.ui16ImagerSize[0] = static_cast<QOV_UINT16>(c.width / 2);
        mc->sIIF.ui16ImagerSize[1] = kHeight / 2;
        EXPECT_EQ(MC_PipelineInit(mc.get(), &connection->sHWInfo), QOV_SUCCESS);
        mc->sTNM.bBypassTNM = QOV_TRUE;  // local columns too narrow for the tone mapper
        mc->eDEPoint = CI_INOUT_NONE;
        switch (c.buffer) {
        case CI_TYPE_ENCODER: mc->eEncOutput = c.format; break;
        case CI_TYPE_DISPLAY: mc->eDispOutput = c.format; break;
        case CI_TYPE_DATAEXT:
            mc->eDispOutput = c.format;
            mc->eDEPoint = CI_INOUT_BLACK_LEVEL;
            break;
        case CI_TYPE_HDREXT: mc->eHDRExtOutput = c.format; break;
        case CI_TYPE_HDRINS: mc->eHDRInsertion = c.format; break;
        default: mc->eRaw2DExtOutput = c.format; break;
        }
        int mask = 0;
        EXPECT_EQ(MC_PipelineConvert(mc.get(), p, &mask), QOV_SUCCESS);
        switch (c.buffer) {
        case CI_TYPE_ENCODER: type = p->config.eEncType; break;
        case CI_TYPE_DISPLAY:
        case CI_TYPE_DATAEXT: type = p->config.eDispType; break;
        case CI_TYPE_HDREXT: type = p->config.eHDRExtType; break;
        case CI_TYPE_HDRINS: type = p->config.eHDRInsType; break;
        default: type = p->config.eRaw2DExtraction; break;
        }
        EXPECT_EQ(type.eFmt, c.format);
        return p;
    }

    // The buffer layout of the rule for the pixel type's family.
    static QOV_RESULT sizeRule(const PIXELTYPE &type, QOV_UINT32 width, CI_SIZEINFO &size)
    {
        switch (type.eBuffer) {
        case TYPE_YUV: return CI_ALLOC_YUVSizeInfo(&type, width, kHeight, nullptr, &size);
        case TYPE_RGB: return CI_ALLOC_RGBSizeInfo(&type, width, kHeight, nullptr, &size);
        case TYPE_BAYER: return CI_ALLOC_Raw2DSizeInfo(&type, width, kHeight, nullptr, &size);
        default: return QOV_ERROR_NOT_SUPPORTED;
        }
    }

    // Captures one frame into buffer `id` of the case's kind; the written
    // output's lines of `lineBytes` (and `lineBytesC` for the chroma plane).
    void capture(CI_PIPELINE *p, CI_BUFFTYPE buffer, QOV_UINT32 id, QOV_UINT32 lineBytes, QOV_UINT32 lineBytesC,
                 Captured &out)
    {
        CI_BUFFID ids{};
        switch (buffer) {
        case CI_TYPE_ENCODER: ids.encId = id; break;
        case CI_TYPE_DISPLAY:
        case CI_TYPE_DATAEXT: ids.dispId = id; break;
        case CI_TYPE_HDREXT: ids.idHDRExt = id; break;
        case CI_TYPE_HDRINS: ids.idHDRIns = id; break;
        default: ids.idRaw2D = id; break;
        }
        ASSERT_EQ(CI_PipelineTriggerSpecifiedShoot(p, &ids), QOV_SUCCESS);
        CI_SHOT *shot = nullptr;
        ASSERT_EQ(CI_PipelineAcquireShot(p, &shot), QOV_SUCCESS);
        ASSERT_NE(shot, nullptr);
        EXPECT_EQ(shot->bFrameError, 0);
        const void *data = nullptr;
        QOV_UINT32 offset = 0, offsetC = 0;
        switch (buffer) {
        case CI_TYPE_ENCODER:
            data = shot->pEncoderOutput;
            out.stride = shot->aEncYSize[0], out.height = shot->aEncYSize[1];
            out.strideC = shot->aEncCbCrSize[0], out.heightC = shot->aEncCbCrSize[1];
            offset = shot->aEncOffset[0], offsetC = shot->aEncOffset[1];
            break;
        case CI_TYPE_DISPLAY:
        case CI_TYPE_DATAEXT:
            data = shot->pDisplayOutput;
            out.stride = shot->aDispSize[0], out.height = shot->aDispSize[1], offset = shot->ui32DispOffset;
            break;
        case CI_TYPE_HDREXT:
            data = shot->pHDRExtOutput;
            out.stride = shot->aHDRExtSize[0], out.height = shot->aHDRExtSize[1], offset = shot->ui32HDRExtOffset;
            break;
        case CI_TYPE_RAW2D:
            data = shot->pRaw2DExtOutput;
            out.stride = shot->aRaw2DSize[0], out.height = shot->aRaw2DSize[1], offset = shot->ui32Raw2DOffset;
            break;
        default: break;  // an HDR insertion is read, never written
        }
        if (buffer != CI_TYPE_HDRINS) {
            ASSERT_NE(data, nullptr);
            const QOV_UINT8 *bytes = static_cast<const QOV_UINT8 *>(data);
            for (QOV_UINT32 y = 0; y < out.height; ++y)
                out.lines.insert(out.lines.end(), bytes + offset + size_t{y} * out.stride,
                                 bytes + offset + size_t{y} * out.stride + lineBytes);
            for (QOV_UINT32 y = 0; y < out.heightC; ++y)
                out.lines.insert(out.lines.end(), bytes + offsetC + size_t{y} * out.strideC,
                                 bytes + offsetC + size_t{y} * out.strideC + lineBytesC);
        }
        ASSERT_EQ(CI_PipelineReleaseShot(p, shot), QOV_SUCCESS);
    }
};

TEST_P(ImportedOutputs, BufferOfTheSizeRuleTakesTheFrameOfTheDriversOwn)
{
    const OutputCase &c = GetParam();
    connect();
    feedImager(citest::rampFrame(c.width, kHeight));
    PIXELTYPE type{};
    CI_PIPELINE *p = pipelineWithOutput(c, type);
    ASSERT_NE(p, nullptr);
    const QOV_UINT32 lineBytes = (c.width + type.ui8PackedElements - 1) / type.ui8PackedElements * type.ui8PackedStride;
    ASSERT_EQ(lineBytes % 64 == 0, c.linesOf64) << lineBytes << " bytes a line";
    CI_SIZEINFO size{};
    ASSERT_EQ(sizeRule(type, c.width, size), QOV_SUCCESS);
    const QOV_UINT32 lineBytesC =
        size.ui32CStride == 0 ? 0
                              : (c.width * 2 / type.ui8HSubsampling + type.ui8PackedElements - 1) /
                                    type.ui8PackedElements * type.ui8PackedStride;
    const QOV_UINT32 bytes = size.ui32Stride * size.ui32Height + size.ui32CStride * size.ui32CHeight;

    ASSERT_EQ(CI_PipelineRegister(p), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineAddPool(p, 1), QOV_SUCCESS);
    QOV_UINT32 allocated = 0, imported = 0;
    ASSERT_EQ(CI_PipelineAllocateBuffer(p, c.buffer, 0, QOV_FALSE, &allocated), QOV_SUCCESS);
    // exactly the rule's bytes: an importer rounds them up to its pages at most
    const int fd = memfd_create("imported", 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, bytes), 0);
    ASSERT_EQ(CI_PipelineImportBuffer(p, c.buffer, bytes, QOV_FALSE, static_cast<QOV_UINT32>(fd), &imported),
              QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineComputeLinestore(p), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineStartCapture(p), QOV_SUCCESS);

    Captured own, theirs;
    capture(p, c.buffer, allocated, lineBytes, lineBytesC, own);
    capture(p, c.buffer, imported, lineBytes, lineBytesC, theirs);
    if (c.buffer != CI_TYPE_HDRINS) {
        EXPECT_EQ(theirs.stride, size.ui32Stride);
        EXPECT_EQ(theirs.height, size.ui32Height);
        EXPECT_EQ(theirs.strideC, size.ui32CStride);
        EXPECT_EQ(theirs.heightC, size.ui32CHeight);
        EXPECT_NE(own.lines, std::vector<QOV_UINT8>(own.lines.size(), 0)) << "the frame is written";
        EXPECT_EQ(theirs.lines, own.lines);
    }

    ASSERT_EQ(CI_PipelineStopCapture(p), QOV_SUCCESS);
    ASSERT_EQ(CI_PipelineDeleteShots(p), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineDeregisterBuffer(p, allocated), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineDeregisterBuffer(p, imported), QOV_SUCCESS);
    EXPECT_EQ(CI_PipelineDestroy(p), QOV_SUCCESS);
    close(fd);
}

INSTANTIATE_TEST_SUITE_P(Outputs, ImportedOutputs, testing::ValuesIn(kOutputs),
                         [](const testing::TestParamInfo<OutputCase> &info) { return std::string(info.param.name); });

}  // namespace ciimport
