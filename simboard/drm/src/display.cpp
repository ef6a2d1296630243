// The simulated display device: dumb buffers are memfds (pitch aligned to 64
// bytes), mapped at a per-handle offset on the device descriptor and exported
// as real descriptors of the same memory; framebuffers refer to them, and the
// one scanned out last is kept so that it can be looked at after the run.
#include "simboard/display.h"

#include <drm.h>
#include <drm_fourcc.h>
#include <drm_mode.h>
#include <fcntl.h>
#include <png.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace simboard {

struct DisplayDevice::Memory {
    int fd = -1;
    size_t size = 0;
    ~Memory()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

namespace {

constexpr uint64_t kMapStride = 1ull << 32;  // map offset of handle h: h << 32
constexpr uint64_t kMaxDumbBytes = 256ull << 20;

// Bytes per pixel of the formats the display scans out, 0 for any other.
unsigned bytesPerPixel(uint32_t format)
{
    switch (format) {
    case DRM_FORMAT_RGB888:
    case DRM_FORMAT_BGR888:
        return 3;
    case DRM_FORMAT_XRGB8888:
    case DRM_FORMAT_XBGR8888:
    case DRM_FORMAT_XRGB2101010:
    case DRM_FORMAT_XBGR2101010:
        return 4;
    default:
        return 0;
    }
}

// One pixel of a scanned-out format as 8-bit R, G, B.
void toRgb(uint32_t format, const uint8_t *p, uint8_t rgb[3])
{
    uint32_t word = 0;
    if (bytesPerPixel(format) == 4)
        word = p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
    switch (format) {
    case DRM_FORMAT_RGB888:  // bytes B, G, R
    case DRM_FORMAT_XRGB8888:
        rgb[0] = p[2], rgb[1] = p[1], rgb[2] = p[0];
        break;
    case DRM_FORMAT_BGR888:  // bytes R, G, B
    case DRM_FORMAT_XBGR8888:
        rgb[0] = p[0], rgb[1] = p[1], rgb[2] = p[2];
        break;
    case DRM_FORMAT_XRGB2101010:
        rgb[0] = (word >> 22) & 0xff, rgb[1] = (word >> 12) & 0xff, rgb[2] = (word >> 2) & 0xff;
        break;
    case DRM_FORMAT_XBGR2101010:
        rgb[2] = (word >> 22) & 0xff, rgb[1] = (word >> 12) & 0xff, rgb[0] = (word >> 2) & 0xff;
        break;
    default:
        rgb[0] = rgb[1] = rgb[2] = 0;
    }
}

}  // namespace

DisplayDevice::DisplayDevice()
    : m_modes{{"4096x2160", 4096, 2160, 4176, 2222}, {"2560x1600", 2560, 1600, 2720, 1646},
              {"1920x1200", 1920, 1200, 2052, 1235}, {"1920x1080", 1920, 1080, 2200, 1125},
              {"1280x768", 1280, 768, 1440, 790},    {"1280x720", 1280, 720, 1650, 750},
              {"720x1600", 720, 1600, 992, 1640}}
{
}

std::shared_ptr<DisplayDevice> DisplayDevice::installed()
{
    return std::dynamic_pointer_cast<DisplayDevice>(Board::instance().device(kPath));
}

int DisplayDevice::open(int fd, int)
{
    m_fds.insert(fd);
    return 0;
}

// Like the kernel, closing a descriptor frees the framebuffers and dumb
// buffers made through it. The last close writes the PNG image when asked;
// it is called from destructors, so an image that cannot be kept or written
// is a message, never an exception.
void DisplayDevice::close(int fd)
{
    for (auto it = m_framebuffers.begin(); it != m_framebuffers.end();) {
        if (it->second.owner == fd) {
            snapshotIfShown(it->first);
            it = m_framebuffers.erase(it);
        } else {
            ++it;
        }
    }
    std::erase_if(m_dumbs, [fd](const auto &d) { return d.second.owner == fd; });
    m_fds.erase(fd);
    if (m_fds.empty() && !m_pngPath.empty() && (m_shown || m_haveSnapshot)) {
        std::string error;
        try {
            if (!writePng(m_pngPath, error))
                std::fprintf(stderr, "simboard: %s\n", error.c_str());
        } catch (const std::bad_alloc &) {
            std::fprintf(stderr, "simboard: no memory to write the PNG image \"%s\"\n", m_pngPath.c_str());
        }
    }
}

size_t DisplayDevice::answerSize(unsigned long request) const
{
    return (_IOC_DIR(request) & _IOC_READ) ? _IOC_SIZE(request) : 0;
}

int DisplayDevice::ioctl(int fd, unsigned long request, void *arg)
{
    switch (request) {
    case DRM_IOCTL_MODE_CREATE_DUMB: {
        auto *create = static_cast<drm_mode_create_dumb *>(arg);
        if (create->width == 0 || create->height == 0 || create->bpp == 0 || create->bpp % 8 != 0 ||
            create->height > 16384 || create->bpp > 64)
            return -EINVAL;
        const uint64_t pitch = (uint64_t{create->width} * create->bpp / 8 + 63) / 64 * 64;
        const uint64_t size = pitch * create->height;
        if (size > kMaxDumbBytes)
            return -ENOMEM;
        auto memory = std::make_shared<Memory>();
        memory->fd = memfd_create("simboard-dumb", MFD_CLOEXEC);
        if (memory->fd < 0 || ftruncate(memory->fd, static_cast<off_t>(size)) != 0)
            return -ENOMEM;
        memory->size = size;
        const uint32_t handle = m_nextHandle++;
        m_dumbs[handle] = Dumb{fd, memory};
        m_peakDumbs = std::max(m_peakDumbs, m_dumbs.size());
        create->handle = handle;
        create->pitch = static_cast<uint32_t>(pitch);
        create->size = size;
        return 0;
    }
    case DRM_IOCTL_MODE_MAP_DUMB: {
        auto *map = static_cast<drm_mode_map_dumb *>(arg);
        if (!m_dumbs.count(map->handle))
            return -ENOENT;
        map->offset = map->handle * kMapStride;
        return 0;
    }
    case DRM_IOCTL_MODE_DESTROY_DUMB: {
        auto *destroy = static_cast<drm_mode_destroy_dumb *>(arg);
        return m_dumbs.erase(destroy->handle) ? 0 : -ENOENT;
    }
    case DRM_IOCTL_PRIME_HANDLE_TO_FD: {
        auto *prime = static_cast<drm_prime_handle *>(arg);
        auto it = m_dumbs.find(prime->handle);
        if (it == m_dumbs.end())
            return -ENOENT;
        const int exported = fcntl(it->second.memory->fd, F_DUPFD_CLOEXEC, 0);
        if (exported < 0)
            return -errno;
        prime->fd = exported;
        std::erase_if(m_exports, [](const Export &e) { return !stillOpen(e); });
        struct stat info {};
        if (fstat(exported, &info) == 0)
            m_exports.push_back(Export{exported, info.st_dev, info.st_ino});
        m_peakOpenExports = std::max(m_peakOpenExports, m_exports.size());
        return 0;
    }
    default:
        return -ENOTTY;
    }
}

// An exported descriptor counts as open while its number still refers to the
// memory it was exported from: a closed number may be taken again by any file.
bool DisplayDevice::stillOpen(const Export &e)
{
    struct stat info {};
    return fstat(e.fd, &info) == 0 && info.st_dev == e.device && info.st_ino == e.inode;
}

size_t DisplayDevice::openExports() const
{
    return static_cast<size_t>(std::count_if(m_exports.begin(), m_exports.end(), stillOpen));
}

void *DisplayDevice::mmap(int, void *address, size_t length, int prot, int flags, off_t offset, int *error)
{
    auto it = m_dumbs.find(static_cast<uint32_t>(static_cast<uint64_t>(offset) / kMapStride));
    if (offset <= 0 || static_cast<uint64_t>(offset) % kMapStride != 0 || it == m_dumbs.end() ||
        length > it->second.memory->size) {
        *error = EINVAL;
        return MAP_FAILED;
    }
    void *mapped = ::mmap(address, length, prot, flags, it->second.memory->fd, 0);
    if (mapped == MAP_FAILED)
        *error = errno;
    return mapped;
}

int DisplayDevice::addFramebuffer(int fd, uint32_t width, uint32_t height, uint32_t format, uint32_t handle,
                                  uint32_t pitch, uint32_t offset, uint32_t *id)
{
    const unsigned bpp = bytesPerPixel(format);
    auto it = m_dumbs.find(handle);
    if (bpp == 0 || width == 0 || height == 0 || it == m_dumbs.end() || uint64_t{pitch} < uint64_t{width} * bpp)
        return -EINVAL;
    const uint64_t needed = uint64_t{offset} + uint64_t{pitch} * (height - 1) + uint64_t{width} * bpp;
    if (needed > it->second.memory->size)
        return -EINVAL;
    const uint32_t fb = m_nextFramebuffer++;
    m_framebuffers[fb] = Framebuffer{fd, width, height, format, pitch, offset, it->second.memory};
    m_peakFramebuffers = std::max(m_peakFramebuffers, m_framebuffers.size());
    *id = fb;
    return 0;
}

int DisplayDevice::removeFramebuffer(int fd, uint32_t id)
{
    auto it = m_framebuffers.find(id);
    if (it == m_framebuffers.end() || it->second.owner != fd)
        return -ENOENT;
    snapshotIfShown(id);
    m_framebuffers.erase(it);
    return 0;
}

int DisplayDevice::scanOut(uint32_t crtc, uint32_t framebuffer)
{
    if (!m_hasCrtc || crtc != kCrtcId || (framebuffer && !m_framebuffers.count(framebuffer)))
        return -EINVAL;
    m_shown = framebuffer;
    m_haveSnapshot = false;
    ++m_scanouts;
    return 0;
}

int DisplayDevice::setCrtc(uint32_t crtc, uint32_t framebuffer, uint32_t x, uint32_t y, unsigned width,
                           unsigned height)
{
    if (framebuffer) {
        auto it = m_framebuffers.find(framebuffer);
        if (it != m_framebuffers.end() &&
            (uint64_t{x} + width > it->second.width || uint64_t{y} + height > it->second.height))
            return -ENOSPC;
    }
    return scanOut(crtc, framebuffer);
}

int DisplayDevice::showOnPlane(uint32_t plane, uint32_t crtc, uint32_t framebuffer, const PlaneGeometry &geometry)
{
    if (!m_hasPlane || plane != kPlaneId)
        return -EINVAL;
    if (framebuffer) {
        auto it = m_framebuffers.find(framebuffer);
        if (it != m_framebuffers.end() &&
            (uint64_t{geometry.srcX} + geometry.srcWidth > uint64_t{it->second.width} << 16 ||
             uint64_t{geometry.srcY} + geometry.srcHeight > uint64_t{it->second.height} << 16))
            return -ENOSPC;
    }
    const int ret = scanOut(crtc, framebuffer);
    if (ret == 0)
        m_planeGeometry = geometry;
    return ret;
}

void DisplayDevice::planeResourcesMade()
{
    ++m_planeResources;
    m_peakPlaneResources = std::max(m_peakPlaneResources, m_planeResources);
}

void DisplayDevice::planeResourcesFreed()
{
    if (m_planeResources)
        --m_planeResources;
}

bool DisplayDevice::frameOf(const Framebuffer &fb, DisplayFrame &frame) const
{
    frame.width = fb.width;
    frame.height = fb.height;
    frame.pitch = fb.pitch;
    frame.format = fb.format;
    try {
        frame.pixels.assign(size_t{fb.pitch} * fb.height, 0);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "simboard: no memory for the %ux%u frame on the display\n", fb.width, fb.height);
        frame.pixels.clear();
        return false;
    }
    const size_t available = fb.memory->size - fb.offset;
    const ssize_t got = pread(fb.memory->fd, frame.pixels.data(), std::min(frame.pixels.size(), available),
                              static_cast<off_t>(fb.offset));
    return got >= 0;
}

void DisplayDevice::snapshotIfShown(uint32_t framebuffer)
{
    if (framebuffer != m_shown || !framebuffer)
        return;
    m_haveSnapshot = frameOf(m_framebuffers.at(framebuffer), m_snapshot);
    m_shown = 0;
}

bool DisplayDevice::lastFrame(DisplayFrame &frame) const
{
    if (m_shown)
        return frameOf(m_framebuffers.at(m_shown), frame);
    if (!m_haveSnapshot)
        return false;
    frame = m_snapshot;
    return true;
}

namespace {

// libpng reports errors by a long jump back here; nothing with a destructor
// lives in this frame, and nothing set before the jump is used after it.
bool writePngImage(png_structp png, png_infop info, FILE *file, const DisplayFrame &frame, uint8_t *row)
{
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    png_init_io(png, file);
    png_set_compression_level(png, 1);
    png_set_IHDR(png, info, frame.width, frame.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const unsigned bpp = bytesPerPixel(frame.format);
    for (unsigned y = 0; y < frame.height; ++y) {
        const uint8_t *src = frame.pixels.data() + size_t{y} * frame.pitch;
        for (unsigned x = 0; x < frame.width; ++x)
            toRgb(frame.format, src + size_t{x} * bpp, &row[size_t{x} * 3]);
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

bool DisplayDevice::writePng(const std::string &path, std::string &error) const
{
    DisplayFrame frame;
    if (!lastFrame(frame)) {
        error = "no frame was scanned out";
        return false;
    }
    FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<uint8_t> row(size_t{frame.width} * 3);
    bool ok = png && info && writePngImage(png, info, file, frame, row.data());
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        error = "cannot write the PNG image \"" + path + "\"";
    return ok;
}

}  // namespace simboard
