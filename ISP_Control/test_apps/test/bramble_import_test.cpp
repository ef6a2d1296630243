// Runs with buffers Bramble allocates on the display device and imports into
// the camera ("-importBuffers"): a data-extraction save of the data
// generator's sample, and the descriptors of those buffers across restarts.
#include <vector>

#include "bramble_test_support.h"
#include "sim_image/sim_image.h"

namespace brambletest {
namespace {

const std::string kSampleJux = kData + "/bramble/datagen_3frames_256x144_10bit_rggb.jux";
const std::vector<std::string> kImportedSample = {"-sensor",    "IIF",         "-DG_inputJUX", kSampleJux,
                                                  "-setupFile", kSensorSetup, "-importBuffers"};

// The data extraction of the 256 x 144 sample has lines of 344 bytes, not a
// multiple of 64: its imported buffer holds them exactly as the Bayer size
// rule lays them out, and the save restarts the capture on it.
TEST_F(BrambleRun, ImportedDataExtractionOfTheSampleIsSaved)
{
    const RunResult r = run(kImportedSample, "..f....x");
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_FALSE(r.contains("Failed to add a frame to be captured")) << r.output;
    EXPECT_EQ(2u, r.count("re-starting capture to enable alternative output"));
    sSimImageIn image;
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_init(&image));
    ASSERT_EQ(QOV_SUCCESS, SimImageIn_loadJUX(&image, (dir / "dataExtraction0.jux").c_str())) << r.output;
    EXPECT_EQ(256u, image.info.ui32Width);
    EXPECT_EQ(144u, image.info.ui32Height);
    EXPECT_EQ(QOV_SUCCESS, SimImageIn_convertFrame(&image, 0));
    SimImageIn_close(&image);
}

// Every restart gives the imported buffers back to the display device and
// closes their descriptors before the next start exports new ones: however
// many restarts, no more descriptors are open at once than one start imports,
// and no more dumb buffers live than it needs beside the display's own.
TEST_F(BrambleRun, RestartsCloseTheDescriptorsOfImportedBuffers)
{
    const RunResult r = run(kImportedSample, "f..f..x");
    ASSERT_EQ(0, r.status) << r.output;
    ASSERT_EQ(4u, r.count("re-starting capture to enable alternative output"));
    // one buffer of the display or of the data extraction for each of 2 shots, at each of 5 starts
    EXPECT_EQ(10u, r.count("DMABUF handle="));
    EXPECT_EQ(2u, display->peakOpenExports());
    EXPECT_EQ(0u, display->openExports());
    EXPECT_LE(display->peakDumbBuffers(), 3u);
    EXPECT_EQ(0u, display->liveDumbBuffers());
}

}  // namespace
}  // namespace brambletest
