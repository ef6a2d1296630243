// Shared fixture of the capture-interface tests: a fresh simulated board per
// test, a connection to its ISP driver, pipelines that pass verification,
// a sensor stand-in streaming a known Bayer frame into a gasket, capture
// of the library's log lines, images as the JUX reader leaves them and
// temporary folders.
#ifndef TEST_CI_SUPPORT_H
#define TEST_CI_SUPPORT_H

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "ci/ci_api.h"
#include "ci/ci_api_internal.h"
#include "ci/ci_gasket.h"
#include "sim_image/sim_image.h"
#include "simboard/board.h"
#include "simboard/isp_driver.h"

namespace citest {

// Collects what the library logs to stderr (errors, warnings) and stdout
// (information) while it lives.
class LogCapture {
public:
    LogCapture()
    {
        testing::internal::CaptureStderr();
        testing::internal::CaptureStdout();
    }
    ~LogCapture()
    {
        if (!m_done)
            finish();
    }
    // Everything logged, stderr then stdout; ends the capture.
    const std::string &text()
    {
        if (!m_done)
            finish();
        return m_text;
    }
    bool contains(const std::string &piece) { return text().find(piece) != std::string::npos; }

private:
    void finish()
    {
        m_text = testing::internal::GetCapturedStderr();
        m_text += testing::internal::GetCapturedStdout();
        m_done = true;
    }
    bool m_done = false;
    std::string m_text;
};

// True when `log` holds the line "<LEVEL> [CI_API]: function():<line> message"
// (the line number only for errors); `message` is given without its line end.
inline bool logged(const std::string &log, const std::string &level, const std::string &function,
                   const std::string &message)
{
    const std::string prefix = level + " [CI_API]: " + function + "()";
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos)
            end = log.size();
        const std::string line = log.substr(start, end - start);
        if (line.compare(0, prefix.size(), prefix) == 0 && line.size() >= message.size() &&
            line.compare(line.size() - message.size(), message.size(), message) == 0)
            return true;
        start = end + 1;
    }
    return false;
}
inline bool loggedError(const std::string &log, const std::string &function, const std::string &message)
{
    return logged(log, "ERROR", function, message);
}

// A sensor stand-in: every frame is the same image.
class StillSource : public simboard::GasketSource {
public:
    explicit StillSource(simboard::BayerFrame frame) : m_frame(std::move(frame)) {}
    bool streaming() const override { return true; }
    uint64_t nextFrame(simboard::BayerFrame &frame) override
    {
        frame = m_frame;
        return 33'000'000;
    }

private:
    simboard::BayerFrame m_frame;
};

// A frame whose samples are all different, wrapped to the bit depth.
inline simboard::BayerFrame rampFrame(uint32_t width, uint32_t height, uint8_t bitDepth = 10)
{
    simboard::BayerFrame frame;
    frame.width = width;
    frame.height = height;
    frame.bitDepth = bitDepth;
    frame.mosaic = MOSAIC_RGGB;
    frame.samples.resize(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < frame.samples.size(); i++)
        frame.samples[i] = static_cast<uint16_t>((i * 7 + 3) & ((1u << bitDepth) - 1));
    return frame;
}

// An image as the JUX reader leaves it: width x height samples row by row,
// all different, wrapped to the bit depth.
struct Image {
    sSimImageIn in{};
    std::vector<QOV_UINT16> samples;
    Image(QOV_UINT32 width, QOV_UINT32 height, QOV_UINT8 depth, sSimImageColourModel model = SimImage_RGGB)
    {
        samples.resize((size_t)width * height);
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = (QOV_UINT16)((i * 37 + 11) & ((1u << depth) - 1));
        in.info.ui8BitDepth = depth;
        in.info.ui32Width = width;
        in.info.ui32Height = height;
        in.info.stride = (size_t)width * 2 * sizeof(QOV_UINT16);
        in.info.eColourModel = model;
        in.pBuffer = samples.data();
    }
};

// A temporary folder named after `prefix`, removed with everything in it.
class TempFolder {
public:
    explicit TempFolder(const std::string &prefix)
    {
        std::string pattern = testing::TempDir() + prefix + "XXXXXX";
        if (mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        if (!m_path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_path, ignored);
        }
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    bool ok() const { return !m_path.empty(); }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

class CiFixture : public testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        driver = simboard::IspDriver::installed();
        ASSERT_TRUE(driver);
    }

    void TearDown() override
    {
        if (connection) {
            EXPECT_EQ(CI_DriverFinalise(connection), QOV_SUCCESS);
        }
        connection = nullptr;
        EXPECT_EQ(driver->liveObjects().total(), 0u) << "the driver still holds objects";
        EXPECT_EQ(simboard::Board::instance().openDescriptors(), 0u);
    }

    void connect(const simboard::IspProfile &profile = simboard::IspProfile::standard())
    {
        driver->setProfile(profile);
        ASSERT_EQ(CI_DriverInit(&connection), QOV_SUCCESS);
    }

    INT_PIPELINE *intOf(CI_PIPELINE *pPipeline) { return INT_CI_Pipeline(pPipeline); }

    // A pipeline on context `context` and imager 0 that passes verification:
    // no output, tone mapping bypassed, the capture rectangle width x height.
    CI_PIPELINE *newPipeline(uint32_t width = 64, uint32_t height = 32, uint8_t context = 0)
    {
        CI_PIPELINE *pPipeline = nullptr;
        EXPECT_EQ(CI_PipelineCreate(&pPipeline, connection), QOV_SUCCESS);
        if (!pPipeline)
            return nullptr;
        pPipeline->config.ui8Context = context;
        pPipeline->sImagerInterface.ui8Imager = 0;
        pPipeline->sImagerInterface.eBayerFormat = MOSAIC_RGGB;
        pPipeline->sImagerInterface.ui16ImagerSize[0] = static_cast<QOV_UINT16>(width / 2 - 1);
        pPipeline->sImagerInterface.ui16ImagerSize[1] = static_cast<QOV_UINT16>(height / 2 - 1);
        pPipeline->sImagerInterface.ui16ImagerDecimation[0] = 0;
        pPipeline->sImagerInterface.ui16ImagerDecimation[1] = 0;
        pPipeline->sToneMapping.bBypassTNM = 1;
        return pPipeline;
    }

    // Adds the Bayer data extraction (display output carrying the samples).
    static void addDataExtraction(CI_PIPELINE *pPipeline, uint32_t width, uint32_t height)
    {
        PIXELTYPE type{};
        ASSERT_EQ(PixelTransformBayer(&type, BAYER_RGGB_10, MOSAIC_RGGB), QOV_SUCCESS);
        pPipeline->config.eDispType = type;
        pPipeline->config.eDataExtraction = CI_INOUT_BLACK_LEVEL;
        pPipeline->config.ui16MaxDispOutWidth = static_cast<QOV_UINT16>(width);
        pPipeline->config.ui16MaxDispOutHeight = static_cast<QOV_UINT16>(height);
    }

    // A registered data-extraction pipeline with `shots` shots and `buffers`
    // data-extraction buffers, its line store placed.
    CI_PIPELINE *capturePipeline(uint32_t width, uint32_t height, unsigned shots, unsigned buffers,
                                 std::vector<QOV_UINT32> *pIds = nullptr)
    {
        CI_PIPELINE *pPipeline = newPipeline(width, height);
        if (!pPipeline)
            return nullptr;
        addDataExtraction(pPipeline, width, height);
        EXPECT_EQ(CI_PipelineRegister(pPipeline), QOV_SUCCESS);
        EXPECT_EQ(CI_PipelineAddPool(pPipeline, shots), QOV_SUCCESS);
        for (unsigned i = 0; i < buffers; i++) {
            QOV_UINT32 id = 0;
            EXPECT_EQ(CI_PipelineAllocateBuffer(pPipeline, CI_TYPE_DATAEXT, 0, QOV_FALSE, &id), QOV_SUCCESS);
            if (pIds)
                pIds->push_back(id);
        }
        EXPECT_EQ(CI_PipelineComputeLinestore(pPipeline), QOV_SUCCESS);
        return pPipeline;
    }

    // Feeds imager 0 with `frame` from a stand-in sensor.
    void feedImager(const simboard::BayerFrame &frame)
    {
        driver->attachSource(0, std::make_shared<StillSource>(frame));
        CI_GASKET gasket{};
        gasket.uiGasket = 0;
        gasket.uiWidth = static_cast<QOV_UINT16>(frame.width);
        gasket.uiHeight = static_cast<QOV_UINT16>(frame.height);
        ASSERT_EQ(CI_GasketAcquire(&gasket, connection), QOV_SUCCESS);
    }

    std::shared_ptr<simboard::IspDriver> driver;
    CI_CONNECTION *connection = nullptr;
};

}  // namespace citest

#endif
