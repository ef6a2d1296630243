// Bramble's display output through DRM: a mode matching the display output,
// one dumb buffer and framebuffer scanned out for the whole run with each
// frame copied into it, or, with imported buffers, the shot's own buffer put
// on a plane. Also the DRM dumb buffers made and imported as capture buffers.
#include <drm.h>
#include <drm_fourcc.h>
#include <drm_mode.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xf86drm.h>
#include <xf86drmMode.h>

#include <cerrno>
#include <cstring>

#include "LoopCamera.h"
#include "ci/ci_alloc_info.h"
#include "platform/device_io.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/ModuleOUT.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"

#define LOG_TAG "Bramble"

namespace {

constexpr const char *kDisplayDevice = "/dev/dri/card0";

}  // namespace

const input_res_tarn_mode_map g_tarn_mode_map[7] = {
    {4096, 2160, 4176, "4096x2160"}, {2560, 1600, 2720, "2560x1600"}, {1920, 1200, 2052, "1920x1200"},
    {1920, 1080, 2200, "1920x1080"}, {1280, 768, 1440, "1280x768"},   {1280, 720, 1650, "1280x720"},
    {720, 1600, 992, "720x1600"},
};

QOV_UINT32 drmFormatOf(pxlFormat format)
{
    switch (format) {
    case RGB_888_24:
        return DRM_FORMAT_RGB888;
    case RGB_888_32:
        return DRM_FORMAT_XRGB8888;
    case RGB_101010_32:
        return DRM_FORMAT_XRGB2101010;
    case BGR_888_24:
        return DRM_FORMAT_BGR888;
    case BGR_888_32:
        return DRM_FORMAT_XBGR8888;
    case BGR_101010_32:
        return DRM_FORMAT_XBGR2101010;
    default:
        return 0;
    }
}

int LoopCamera::openDisplay()
{
    g_drmfd = PLATFORM_Open(kDisplayDevice, O_RDWR | O_NONBLOCK);
    if (g_drmfd < 0) {
        LOG_ERROR("Failed to open '%s'\n", kDisplayDevice);
        return -errno;
    }
    return 0;
}

int LoopCamera::setupTarnDrm()
{
    const auto *out = dynamic_cast<const VOVA::ModuleOUT *>(camera->getPipeline()->getModule(VOVA::STP_OUT));
    PIXELTYPE type{};
    if (!out || PixelTransformRGB(&type, out->displayType) != QOV_SUCCESS) {
        LOG_ERROR("Invalid display type\n");
        return -EINVAL;
    }
    pixel_format = drmFormatOf(out->displayType);
    if (pixel_format == 0) {
        LOG_ERROR("Display format %s cannot be shown: it has no DRM format code\n", FormatString(out->displayType));
        return -EINVAL;
    }
    res = drmModeGetResources(g_drmfd);
    if (!res || res->count_connectors < 1 || res->count_crtcs < 1) {
        LOG_ERROR("The display reports no connector or no CRTC\n");
        return -ENODEV;
    }
    c = drmModeGetConnector(g_drmfd, res->connectors[0]);
    if (!c) {
        LOG_ERROR("The display reports no connector or no CRTC\n");
        return -ENODEV;
    }
    if (config.useLocalBuffers) {
        drmModePlaneRes *planes = drmModeGetPlaneResources(g_drmfd);
        const bool none = !planes || planes->count_planes < 1;
        drmModeFreePlaneResources(planes);
        if (none) {
            LOG_ERROR("The display reports no plane to show imported buffers on\n");
            return -ENODEV;
        }
    }
    const int ret = getModeTarnDrm();
    if (ret != 0) {
        LOG_ERROR("Failed to map DRM mode\n");
        return ret;
    }
    LOG_INFO("Using mode %s on connector %u\n", mode.name, c->connector_id);

    drm_mode_create_dumb create{};
    create.height = mode.vdisplay;
    create.width = mode.hdisplay;
    create.bpp = 8u * type.ui8PackedStride;
    if (drmIoctl(g_drmfd, DRM_IOCTL_MODE_CREATE_DUMB, &create) < 0) {
        LOG_ERROR("Failed to create dumb buffer, ret = %d\n", -errno);
        return -errno;
    }
    displayDumb = create.handle;
    if (!config.useLocalBuffers) {
        drm_mode_map_dumb map{};
        map.handle = create.handle;
        if (drmIoctl(g_drmfd, DRM_IOCTL_MODE_MAP_DUMB, &map) < 0) {
            LOG_ERROR("Failed to map dumb buffer, ret = %d\n", -errno);
            return -errno;
        }
        void *mapped = PLATFORM_MemMap(nullptr, create.size, PROT_READ | PROT_WRITE, MAP_SHARED, g_drmfd,
                                       static_cast<off_t>(map.offset));
        if (mapped == MAP_FAILED) {
            LOG_ERROR("Failed to map dumb buffer, ret = %d\n", -errno);
            return -errno;
        }
        fb_ptr = mapped;
        displayMapSize = create.size;
    }
    offsets[0] = 0;
    pitches[0] = create.pitch;
    bo_handles[0] = create.handle;
    int r = drmModeAddFB2(g_drmfd, mode.hdisplay, mode.vdisplay, pixel_format, bo_handles, pitches, offsets,
                          &fb_handle, 0);
    if (r != 0) {
        LOG_ERROR("Failed to create framebuffer, ret = %d\n", r);
        return r;
    }
    QOV_UINT32 connector = c->connector_id;
    r = drmModeSetCrtc(g_drmfd, res->crtcs[0], fb_handle, 0, 0, &connector, 1, &mode);
    if (r != 0) {
        LOG_ERROR("drmModeSetCrtc failed, drmModeRes.crtcs[0] = %d, ret = %d\n", res->crtcs[0], r);
        return r;
    }
    return 0;
}

int LoopCamera::getModeTarnDrm()
{
    const VOVA::Global_Setup setup = camera->getPipeline()->getGlobalSetup();
    const input_res_tarn_mode_map *row = &g_tarn_mode_map[0];
    for (const input_res_tarn_mode_map &m : g_tarn_mode_map) {
        if (m.width == setup.ui32DispWidth && m.height == setup.ui32DispHeight) {
            row = &m;
            break;
        }
    }
    for (int i = 0; c && i < c->count_modes; ++i) {
        if (c->modes[i].htotal == row->modeWidthTot && std::strcmp(c->modes[i].name, row->modeName) == 0) {
            mode = c->modes[i];
            return 0;
        }
    }
    return -EINVAL;
}

int LoopCamera::sendToTarnDrm(const VOVA::Buffer &buf)
{
    // Fetched for this frame and freed once used, so that nothing piles up.
    plane_res = drmModeGetPlaneResources(g_drmfd);
    LOG_INFO("Using mode %s on connector %u\n", mode.name, c->connector_id);
    int ret = 0;
    if (config.useLocalBuffers) {
        auto it = buffersMap.find(buf.id);
        bo_handles[0] = it != buffersMap.end() ? it->second : 0;
        LOG_INFO("Using display handle %d\n", bo_handles[0]);
        pitches[0] = buf.stride;
        QOV_UINT32 fb = 0;
        ret = drmModeAddFB2(g_drmfd, buf.width, buf.height, pixel_format, bo_handles, pitches, offsets, &fb, 0);
        if (ret != 0) {
            LOG_ERROR("Failed to create framebuffer, ret = %d\n", ret);
        } else if (!plane_res || plane_res->count_planes < 1) {
            LOG_ERROR("The display reports no plane to show imported buffers on\n");
            drmModeRmFB(g_drmfd, fb);
            ret = -ENODEV;
        } else {
            const QOV_UINT16 w = static_cast<QOV_UINT16>(buf.width), h = static_cast<QOV_UINT16>(buf.height);
            ret = drmModeSetPlane(g_drmfd, plane_res->planes[0], res->crtcs[0], fb, 0, 0, 0, w, h, 0, 0,
                                  static_cast<QOV_UINT32>(w) << 16, static_cast<QOV_UINT32>(h) << 16);
            if (ret != 0) {
                LOG_ERROR("drmModeSetPlane failed, drmModeRes.crtcs[0] = %d, ret = %d\n", res->crtcs[0], ret);
                drmModeRmFB(g_drmfd, fb);
            } else {
                // the frame shown before is replaced: its framebuffer goes
                if (shownFramebuffer)
                    drmModeRmFB(g_drmfd, shownFramebuffer);
                shownFramebuffer = fb;
                fb_handle = fb;
            }
        }
    } else if (fb_ptr) {
        // Copy what fits in the mode: rows below it and bytes past its pitch are left out.
        const QOV_UINT8 *src = buf.firstData();
        auto *dst = static_cast<QOV_UINT8 *>(fb_ptr);
        const QOV_UINT32 rows = std::min<QOV_UINT32>(buf.height, mode.vdisplay);
        const QOV_UINT32 bytes = std::min(pitches[0], buf.stride);
        for (QOV_UINT32 y = 0; y < rows; ++y) {
            std::memcpy(dst, src, bytes);
            src += buf.stride;
            dst += pitches[0];
        }
    }
    drmModeFreePlaneResources(plane_res);
    plane_res = nullptr;
    return ret;
}

QOV_SIZE LoopCamera::calcBufferSize(const PIXELTYPE &pixelType, bool bTiling)
{
    const VOVA::Sensor *sensor = camera->getSensor();
    const QOV_UINT32 width = sensor ? sensor->uiWidth : 0, height = sensor ? sensor->uiHeight : 0;
    const QOV_UINT32 page = camera->getConnection() ? camera->getConnection()->sHWInfo.mmu_ui32PageSize : 4096;
    CI_TILINGINFO tiling{};
    const CI_TILINGINFO *tile = nullptr;
    if (bTiling && CI_ALLOC_GetTileInfo(256, &tiling) == QOV_SUCCESS)
        tile = &tiling;
    CI_SIZEINFO size{};
    QOV_RESULT ret;
    switch (pixelType.eBuffer) {
    case TYPE_YUV:
        ret = CI_ALLOC_YUVSizeInfo(&pixelType, width, height, tile, &size);
        break;
    case TYPE_RGB:
        ret = CI_ALLOC_RGBSizeInfo(&pixelType, width, height, tile, &size);
        break;
    case TYPE_BAYER:
        ret = CI_ALLOC_Raw2DSizeInfo(&pixelType, width, height, tile, &size);
        break;
    case TYPE_NONE:
        return 0;
    default:
        LOG_ERROR("Invalid buffer type : %d", pixelType.eBuffer);
        return 0;
    }
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to calculate buffer size!\n");
        return 0;
    }
    const QOV_SIZE bytes = QOV_SIZE{size.ui32Stride} * size.ui32Height + QOV_SIZE{size.ui32CStride} * size.ui32CHeight;
    return page ? (bytes + page - 1) / page * page : bytes;
}

QOV_RESULT LoopCamera::allocAndImport(const PIXELTYPE &bufferType, CI_BUFFTYPE eBuffer, bool isTiled,
                                      QOV_HANDLE *buffer, QOV_UINT32 *bufferId)
{
    const QOV_SIZE size = calcBufferSize(bufferType, isTiled);
    if (size == 0)
        return QOV_ERROR_ZERO_SIZE;
    drm_mode_create_dumb create{};
    create.height = 1;
    create.width = static_cast<QOV_UINT32>(size);
    create.bpp = 8;
    if (g_drmfd < 0 || drmIoctl(g_drmfd, DRM_IOCTL_MODE_CREATE_DUMB, &create) < 0) {
        LOG_ERROR("Failed to create dumb buffer\n");
        return 1;
    }
    drm_prime_handle prime{};
    prime.handle = create.handle;
    if (drmIoctl(g_drmfd, DRM_IOCTL_PRIME_HANDLE_TO_FD, &prime) < 0) {
        LOG_ERROR("Failed to convert handle to fd\n");
        return 1;
    }
    exportedFds.push_back(prime.fd);
    QOV_UINT32 id = 0;
    if (camera->importBuffer(eBuffer, static_cast<QOV_UINT32>(prime.fd), static_cast<QOV_UINT32>(size), isTiled,
                             &id) != QOV_SUCCESS) {
        LOG_ERROR("DMABUF import to CI failed\n");
        return 1;
    }
    const QOV_HANDLE handle = reinterpret_cast<QOV_HANDLE>(static_cast<uintptr_t>(create.handle));
    LOG_INFO("DMABUF handle=0x%lx fd=%d id=%d\n", static_cast<unsigned long>(create.handle), prime.fd, id);
    if (buffer)
        *buffer = handle;
    if (bufferId)
        *bufferId = id;
    buffersMap[id] = create.handle;
    return QOV_SUCCESS;
}

// The dumb buffers and descriptors of imported buffers, once the camera no
// longer holds them.
void LoopCamera::releaseImported()
{
    for (int fd : exportedFds)
        ::close(fd);
    exportedFds.clear();
    if (g_drmfd >= 0) {
        // a framebuffer still shown keeps its memory until it is replaced
        for (const auto &entry : buffersMap) {
            drm_mode_destroy_dumb destroy{entry.second};
            drmIoctl(g_drmfd, DRM_IOCTL_MODE_DESTROY_DUMB, &destroy);
        }
    }
    buffersMap.clear();
}

void LoopCamera::closeDisplay()
{
    if (g_drmfd < 0)
        return;
    if (fb_ptr)
        PLATFORM_MemUnmap(fb_ptr, displayMapSize);
    fb_ptr = nullptr;
    drmModeFreeConnector(c);
    c = nullptr;
    drmModeFreeResources(res);
    res = nullptr;
    // Closing the device frees its framebuffers and dumb buffers.
    PLATFORM_Close(g_drmfd);
    g_drmfd = -1;
}
