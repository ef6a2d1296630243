// The libdrm functions the system calls, acting on the simulated display.
// Declared by the installed <xf86drm.h> and <xf86drmMode.h>, so the
// signatures are those of the real library; results and errno follow it
// (drmIoctl: -1 and errno; the mode calls: a negated errno or null).
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "simboard/display.h"

using simboard::Board;
using simboard::DisplayDevice;

namespace {

// The display behind `fd`, or null with errno EBADF.
std::shared_ptr<DisplayDevice> displayOf(int fd)
{
    auto display = DisplayDevice::installed();
    if (!display || !display->owns(fd)) {
        errno = EBADF;
        return nullptr;
    }
    return display;
}

int result(int answer)
{
    if (answer < 0)
        errno = -answer;
    return answer;
}

// Objects handed out to the caller, with the arrays they point to.
struct Resources {
    drmModeRes res{};
    uint32_t crtc = DisplayDevice::kCrtcId;
    uint32_t connector = DisplayDevice::kConnectorId;
};
struct Connector {
    drmModeConnector connector{};
    std::unique_ptr<drmModeModeInfo[]> modes;
};
struct PlaneResources {
    drmModePlaneRes res{};
    uint32_t plane = DisplayDevice::kPlaneId;
};

}  // namespace

extern "C" {

int drmIoctl(int fd, unsigned long request, void *arg)
{
    if (!displayOf(fd))
        return -1;
    const long answer = Board::instance().ioctl(fd, request, arg);
    if (answer < 0) {
        errno = static_cast<int>(-answer);
        return -1;
    }
    return static_cast<int>(answer);
}

drmModeResPtr drmModeGetResources(int fd)
{
    auto display = displayOf(fd);
    if (!display)
        return nullptr;
    auto *r = new Resources;
    r->res.count_crtcs = display->hasCrtc() ? 1 : 0;
    r->res.crtcs = display->hasCrtc() ? &r->crtc : nullptr;
    r->res.count_connectors = display->hasConnector() ? 1 : 0;
    r->res.connectors = display->hasConnector() ? &r->connector : nullptr;
    r->res.max_width = 4096;
    r->res.max_height = 4096;
    return &r->res;
}

void drmModeFreeResources(drmModeResPtr ptr)
{
    delete reinterpret_cast<Resources *>(ptr);
}

drmModeConnectorPtr drmModeGetConnector(int fd, uint32_t connectorId)
{
    auto display = displayOf(fd);
    if (!display)
        return nullptr;
    if (!display->hasConnector() || connectorId != DisplayDevice::kConnectorId) {
        errno = ENOENT;
        return nullptr;
    }
    auto *c = new Connector;
    const auto &modes = display->modes();
    c->modes = std::make_unique<drmModeModeInfo[]>(modes.size());
    for (size_t i = 0; i < modes.size(); ++i) {
        drmModeModeInfo &m = c->modes[i];
        m.hdisplay = static_cast<uint16_t>(modes[i].width);
        m.vdisplay = static_cast<uint16_t>(modes[i].height);
        m.htotal = static_cast<uint16_t>(modes[i].htotal);
        m.vtotal = static_cast<uint16_t>(modes[i].vtotal);
        m.vrefresh = 60;
        m.clock = modes[i].htotal * modes[i].vtotal * 60 / 1000;
        std::strncpy(m.name, modes[i].name.c_str(), DRM_DISPLAY_MODE_LEN - 1);
    }
    c->connector.connector_id = connectorId;
    c->connector.connection = DRM_MODE_CONNECTED;
    c->connector.count_modes = static_cast<int>(modes.size());
    c->connector.modes = c->modes.get();
    return &c->connector;
}

void drmModeFreeConnector(drmModeConnectorPtr ptr)
{
    delete reinterpret_cast<Connector *>(ptr);
}

drmModePlaneResPtr drmModeGetPlaneResources(int fd)
{
    auto display = displayOf(fd);
    if (!display)
        return nullptr;
    auto *p = new PlaneResources;
    p->res.count_planes = display->hasPlane() ? 1 : 0;
    p->res.planes = display->hasPlane() ? &p->plane : nullptr;
    display->planeResourcesMade();
    return &p->res;
}

void drmModeFreePlaneResources(drmModePlaneResPtr ptr)
{
    if (!ptr)
        return;
    if (auto display = DisplayDevice::installed())
        display->planeResourcesFreed();
    delete reinterpret_cast<PlaneResources *>(ptr);
}

int drmModeAddFB2(int fd, uint32_t width, uint32_t height, uint32_t pixel_format, const uint32_t bo_handles[4],
                  const uint32_t pitches[4], const uint32_t offsets[4], uint32_t *buf_id, uint32_t)
{
    auto display = displayOf(fd);
    if (!display)
        return -EBADF;
    return result(
        display->addFramebuffer(fd, width, height, pixel_format, bo_handles[0], pitches[0], offsets[0], buf_id));
}

int drmModeRmFB(int fd, uint32_t bufferId)
{
    auto display = displayOf(fd);
    if (!display)
        return -EBADF;
    return result(display->removeFramebuffer(fd, bufferId));
}

int drmModeSetCrtc(int fd, uint32_t crtcId, uint32_t bufferId, uint32_t x, uint32_t y, uint32_t *connectors, int count,
                   drmModeModeInfoPtr mode)
{
    auto display = displayOf(fd);
    if (!display)
        return -EBADF;
    if (bufferId && (count != 1 || !connectors || connectors[0] != DisplayDevice::kConnectorId || !mode ||
                     !display->hasConnector()))
        return result(-EINVAL);
    return result(display->setCrtc(crtcId, bufferId, x, y, mode ? mode->hdisplay : 0, mode ? mode->vdisplay : 0));
}

int drmModeSetPlane(int fd, uint32_t plane_id, uint32_t crtc_id, uint32_t fb_id, uint32_t, int32_t crtc_x,
                    int32_t crtc_y, uint32_t crtc_w, uint32_t crtc_h, uint32_t src_x, uint32_t src_y, uint32_t src_w,
                    uint32_t src_h)
{
    auto display = displayOf(fd);
    if (!display)
        return -EBADF;
    const simboard::PlaneGeometry geometry{crtc_x, crtc_y, crtc_w, crtc_h, src_x, src_y, src_w, src_h};
    return result(display->showOnPlane(plane_id, crtc_id, fb_id, geometry));
}

}  // extern "C"
