// The simulated display through the libdrm calls and the device seam, as the
// capture program uses it: modes, dumb buffers, framebuffers, scan-out and
// the PNG image of the last frame.
#include <drm.h>
#include <drm_fourcc.h>
#include <drm_mode.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/device_io.h"
#include "simboard/board.h"
#include "simboard/display.h"

using simboard::DisplayDevice;

namespace {

class DisplayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        simboard::Board::instance().reset();
        display = DisplayDevice::installed();
        ASSERT_NE(nullptr, display);
        fd = PLATFORM_Open(DisplayDevice::kPath, O_RDWR | O_NONBLOCK);
        ASSERT_GE(fd, 0);
    }
    void TearDown() override
    {
        if (fd >= 0)
            PLATFORM_Close(fd);
        EXPECT_EQ(0u, display->liveFramebuffers());
        EXPECT_EQ(0u, display->liveDumbBuffers());
    }
    drm_mode_create_dumb dumb(uint32_t width, uint32_t height, uint32_t bpp)
    {
        drm_mode_create_dumb create{};
        create.width = width;
        create.height = height;
        create.bpp = bpp;
        EXPECT_EQ(0, drmIoctl(fd, DRM_IOCTL_MODE_CREATE_DUMB, &create));
        return create;
    }
    std::shared_ptr<DisplayDevice> display;
    int fd = -1;
};

TEST_F(DisplayTest, OneConnectorWithTheModeTableOneCrtcOnePlane)
{
    drmModeRes *res = drmModeGetResources(fd);
    ASSERT_NE(nullptr, res);
    ASSERT_EQ(1, res->count_connectors);
    ASSERT_EQ(1, res->count_crtcs);
    drmModeConnector *c = drmModeGetConnector(fd, res->connectors[0]);
    ASSERT_NE(nullptr, c);
    const struct {
        const char *name;
        unsigned width, height, htotal;
    } expected[] = {{"4096x2160", 4096, 2160, 4176}, {"2560x1600", 2560, 1600, 2720}, {"1920x1200", 1920, 1200, 2052},
                    {"1920x1080", 1920, 1080, 2200}, {"1280x768", 1280, 768, 1440},    {"1280x720", 1280, 720, 1650},
                    {"720x1600", 720, 1600, 992}};
    ASSERT_EQ(7, c->count_modes);
    for (int i = 0; i < c->count_modes; ++i) {
        EXPECT_STREQ(expected[i].name, c->modes[i].name);
        EXPECT_EQ(expected[i].width, c->modes[i].hdisplay);
        EXPECT_EQ(expected[i].height, c->modes[i].vdisplay);
        EXPECT_EQ(expected[i].htotal, c->modes[i].htotal);
    }
    drmModeFreeConnector(c);
    drmModeFreeResources(res);

    drmModePlaneRes *planes = drmModeGetPlaneResources(fd);
    ASSERT_NE(nullptr, planes);
    EXPECT_EQ(1u, planes->count_planes);
    EXPECT_EQ(1u, display->livePlaneResources());
    drmModeFreePlaneResources(planes);
    EXPECT_EQ(0u, display->livePlaneResources());
    EXPECT_EQ(1u, display->peakPlaneResources());
}

TEST_F(DisplayTest, BoardSettingsRemoveTheConnectorCrtcAndPlane)
{
    display->setConnectorPresent(false);
    display->setCrtcPresent(false);
    display->setPlanePresent(false);
    drmModeRes *res = drmModeGetResources(fd);
    ASSERT_NE(nullptr, res);
    EXPECT_EQ(0, res->count_connectors);
    EXPECT_EQ(0, res->count_crtcs);
    drmModeFreeResources(res);
    EXPECT_EQ(nullptr, drmModeGetConnector(fd, DisplayDevice::kConnectorId));
    drmModePlaneRes *planes = drmModeGetPlaneResources(fd);
    EXPECT_EQ(0u, planes->count_planes);
    drmModeFreePlaneResources(planes);
    // a descriptor that is not the display's
    EXPECT_EQ(nullptr, drmModeGetResources(0));
    EXPECT_EQ(-1, drmIoctl(0, DRM_IOCTL_MODE_CREATE_DUMB, nullptr));
}

TEST_F(DisplayTest, DumbBuffersAlignTheirPitchAndShareMemoryWithTheirExport)
{
    drm_mode_create_dumb create = dumb(100, 3, 24);  // 300 bytes a row
    EXPECT_EQ(320u, create.pitch);
    EXPECT_EQ(960u, create.size);
    EXPECT_EQ(1u, display->liveDumbBuffers());

    drm_mode_map_dumb map{};
    map.handle = create.handle;
    ASSERT_EQ(0, drmIoctl(fd, DRM_IOCTL_MODE_MAP_DUMB, &map));
    void *mapped = PLATFORM_MemMap(nullptr, create.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, map.offset);
    ASSERT_NE(MAP_FAILED, mapped);
    std::memset(mapped, 0x5a, create.size);

    drm_prime_handle prime{};
    prime.handle = create.handle;
    ASSERT_EQ(0, drmIoctl(fd, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime));
    ASSERT_GE(prime.fd, 0);
    void *exported = mmap(nullptr, create.size, PROT_READ, MAP_SHARED, prime.fd, 0);
    ASSERT_NE(MAP_FAILED, exported);
    EXPECT_EQ(0x5a, static_cast<uint8_t *>(exported)[create.size - 1]);
    munmap(exported, create.size);
    close(prime.fd);
    PLATFORM_MemUnmap(mapped, create.size);

    drm_mode_destroy_dumb destroy{create.handle};
    EXPECT_EQ(0, drmIoctl(fd, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy));
    EXPECT_EQ(0u, display->liveDumbBuffers());
    EXPECT_EQ(-1, drmIoctl(fd, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy));
    EXPECT_EQ(ENOENT, errno);
}

TEST_F(DisplayTest, FramebuffersRefuseNoFormatNoHandleAndSizesBeyondTheBuffer)
{
    drm_mode_create_dumb create = dumb(64, 4, 32);
    const uint32_t offsets[4] = {0, 0, 0, 0};
    const uint32_t pitches[4] = {create.pitch, 0, 0, 0};
    const uint32_t handles[4] = {create.handle, 0, 0, 0};
    const uint32_t none[4] = {0, 0, 0, 0};
    uint32_t id = 0;
    const struct {
        uint32_t width, height, format;
        const uint32_t *handles;
        int result;
    } cases[] = {
        {64, 4, 0, handles, -EINVAL},                       // no format code
        {64, 4, DRM_FORMAT_XRGB8888, none, -EINVAL},        // no handle
        {64, 5, DRM_FORMAT_XRGB8888, handles, -EINVAL},     // taller than the buffer
        {65, 4, DRM_FORMAT_XRGB8888, handles, -EINVAL},     // wider than the pitch
        {64, 4, DRM_FORMAT_XRGB8888, handles, 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.result, drmModeAddFB2(fd, c.width, c.height, c.format, c.handles, pitches, offsets, &id, 0))
            << c.width << "x" << c.height << " format " << c.format;
    EXPECT_EQ(1u, display->liveFramebuffers());
    EXPECT_EQ(0, drmModeRmFB(fd, id));
    EXPECT_EQ(-ENOENT, drmModeRmFB(fd, id));
    EXPECT_EQ(0u, display->liveFramebuffers());
}

TEST_F(DisplayTest, KeepsTheLastScannedOutFrameAndWritesItAsPng)
{
    drm_mode_create_dumb create = dumb(4, 2, 32);
    drm_mode_map_dumb map{};
    map.handle = create.handle;
    ASSERT_EQ(0, drmIoctl(fd, DRM_IOCTL_MODE_MAP_DUMB, &map));
    auto *pixels = static_cast<uint8_t *>(
        PLATFORM_MemMap(nullptr, create.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, map.offset));
    ASSERT_NE(MAP_FAILED, static_cast<void *>(pixels));
    const uint32_t offsets[4] = {0}, pitches[4] = {create.pitch}, handles[4] = {create.handle};
    uint32_t fb = 0;
    ASSERT_EQ(0, drmModeAddFB2(fd, 4, 2, DRM_FORMAT_XRGB8888, handles, pitches, offsets, &fb, 0));
    simboard::DisplayFrame frame;
    EXPECT_FALSE(display->lastFrame(frame));

    uint32_t connector = DisplayDevice::kConnectorId;
    drmModeModeInfo mode{};
    EXPECT_EQ(-EINVAL, drmModeSetCrtc(fd, DisplayDevice::kCrtcId + 1, fb, 0, 0, &connector, 1, &mode));
    ASSERT_EQ(0, drmModeSetCrtc(fd, DisplayDevice::kCrtcId, fb, 0, 0, &connector, 1, &mode));
    pixels[0] = 0x30, pixels[1] = 0x20, pixels[2] = 0x10;  // B, G, R: contents after the scan-out count
    ASSERT_TRUE(display->lastFrame(frame));
    EXPECT_EQ(4u, frame.width);
    EXPECT_EQ(2u, frame.height);
    EXPECT_EQ(uint32_t{DRM_FORMAT_XRGB8888}, frame.format);
    EXPECT_EQ(0x10, frame.pixels[2]);
    PLATFORM_MemUnmap(pixels, create.size);

    // closing the descriptor frees its objects and writes the PNG image
    const std::string png = ::testing::TempDir() + "display_test.png";
    std::remove(png.c_str());
    display->setPngPath(png);
    ASSERT_EQ(0, PLATFORM_Close(fd));
    fd = -1;
    ASSERT_TRUE(display->lastFrame(frame));
    std::ifstream in(png, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 33u);
    EXPECT_EQ(0, bytes.compare(0, 8, "\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(0, bytes.compare(12, 4, "IHDR"));
    EXPECT_EQ(std::string("\0\0\0\4\0\0\0\2", 8), bytes.substr(16, 8));  // width 4, height 2

    // a file that cannot take the image is an error, not a truncated image
    std::string error;
    EXPECT_FALSE(display->writePng("/dev/full", error));
    EXPECT_EQ("cannot write the PNG image \"/dev/full\"", error);
}

// The CRTC scans out the mode's size from its origin in the framebuffer, and
// the plane takes a source rectangle (16.16 fixed point) of it: both must lie
// within the framebuffer. The plane keeps the geometry it was given.
TEST_F(DisplayTest, CrtcAndPlaneTakeOnlyRectanglesWithinTheFramebuffer)
{
    drm_mode_create_dumb create = dumb(8, 4, 32);
    const uint32_t offsets[4] = {0}, pitches[4] = {create.pitch}, handles[4] = {create.handle};
    uint32_t fb = 0;
    ASSERT_EQ(0, drmModeAddFB2(fd, 8, 4, DRM_FORMAT_XRGB8888, handles, pitches, offsets, &fb, 0));
    uint32_t connector = DisplayDevice::kConnectorId;
    drmModeModeInfo mode{};
    mode.hdisplay = 8;
    mode.vdisplay = 4;
    const struct {
        uint32_t x, y;
        int result;
    } origins[] = {{0, 0, 0}, {1, 0, -ENOSPC}, {0, 1, -ENOSPC}};
    for (const auto &o : origins)
        EXPECT_EQ(o.result, drmModeSetCrtc(fd, DisplayDevice::kCrtcId, fb, o.x, o.y, &connector, 1, &mode))
            << o.x << "," << o.y;
    const struct {
        uint32_t x, y, w, h;
        int result;
    } sources[] = {{0, 0, 8, 4, 0},        {0, 0, 4, 2, 0},        {4, 2, 4, 2, 0},       {0, 0, 9, 4, -ENOSPC},
                   {0, 0, 8, 5, -ENOSPC}, {1, 0, 8, 4, -ENOSPC}, {0, 1, 8, 4, -ENOSPC}};
    for (const auto &c : sources) {
        EXPECT_EQ(c.result, drmModeSetPlane(fd, DisplayDevice::kPlaneId, DisplayDevice::kCrtcId, fb, 0, 2, 3, 16, 8,
                                            c.x << 16, c.y << 16, c.w << 16, c.h << 16))
            << c.x << "," << c.y << " " << c.w << "x" << c.h;
    }
    // the geometry of the last one taken
    const simboard::PlaneGeometry &g = display->planeGeometry();
    EXPECT_EQ(2, g.crtcX);
    EXPECT_EQ(3, g.crtcY);
    EXPECT_EQ(16u, g.crtcWidth);
    EXPECT_EQ(8u, g.crtcHeight);
    EXPECT_EQ(4u << 16, g.srcX);
    EXPECT_EQ(2u << 16, g.srcY);
    EXPECT_EQ(4u << 16, g.srcWidth);
    EXPECT_EQ(2u << 16, g.srcHeight);
    EXPECT_EQ(0, drmModeRmFB(fd, fb));
    drm_mode_destroy_dumb destroy{create.handle};
    EXPECT_EQ(0, drmIoctl(fd, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy));
}

}  // namespace
