// The simulated display: one connector with the board's modes, one CRTC and
// one plane, dumb buffers in shared memory that export as descriptors, and
// framebuffers whose last scanned-out contents are kept for tests and users.
// The libdrm functions the system calls act on it (libdrm_sim.cpp).
#ifndef SIMBOARD_DISPLAY_H
#define SIMBOARD_DISPLAY_H

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "simboard/board.h"

namespace simboard {

struct DisplayMode {
    std::string name;
    unsigned width = 0;   // hdisplay
    unsigned height = 0;  // vdisplay
    unsigned htotal = 0;
    unsigned vtotal = 0;
};

// Where the plane shows a framebuffer: the rectangle on the CRTC, and the
// rectangle taken from the framebuffer in 16.16 fixed point.
struct PlaneGeometry {
    int32_t crtcX = 0, crtcY = 0;
    uint32_t crtcWidth = 0, crtcHeight = 0;
    uint32_t srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
};

// What a framebuffer shows: `pixels` holds `height` rows of `pitch` bytes in
// the DRM format `format` (four-character code).
struct DisplayFrame {
    unsigned width = 0;
    unsigned height = 0;
    unsigned pitch = 0;
    uint32_t format = 0;
    std::vector<uint8_t> pixels;
};

class DisplayDevice : public Device {
public:
    static constexpr const char *kPath = "/dev/dri/card0";
    static constexpr uint32_t kConnectorId = 31;
    static constexpr uint32_t kCrtcId = 41;
    static constexpr uint32_t kPlaneId = 51;

    DisplayDevice();

    // The display installed on the board of this process, or null.
    static std::shared_ptr<DisplayDevice> installed();

    // Board settings.
    const std::vector<DisplayMode> &modes() const { return m_modes; }
    void addMode(const DisplayMode &mode) { m_modes.push_back(mode); }
    void removeModes() { m_modes.clear(); }
    void setConnectorPresent(bool present) { m_hasConnector = present; }
    void setCrtcPresent(bool present) { m_hasCrtc = present; }
    void setPlanePresent(bool present) { m_hasPlane = present; }
    // PNG written with the last scanned-out frame when the last descriptor
    // on the display closes; empty for none.
    void setPngPath(const std::string &path) { m_pngPath = path; }
    const std::string &pngPath() const { return m_pngPath; }

    // Inspection: live objects and the most that were alive at once.
    size_t liveFramebuffers() const { return m_framebuffers.size(); }
    size_t liveDumbBuffers() const { return m_dumbs.size(); }
    size_t livePlaneResources() const { return m_planeResources; }
    size_t peakFramebuffers() const { return m_peakFramebuffers; }
    size_t peakDumbBuffers() const { return m_peakDumbs; }
    size_t peakPlaneResources() const { return m_peakPlaneResources; }
    unsigned scanouts() const { return m_scanouts; }
    // Descriptors exported from dumb buffers that are still open, and the
    // most that were open at once when one more was exported.
    size_t openExports() const;
    size_t peakOpenExports() const { return m_peakOpenExports; }
    // The frame scanned out last (its contents now, or as they were when its
    // framebuffer went away); false when nothing was ever scanned out.
    bool lastFrame(DisplayFrame &frame) const;
    // Writes the last scanned-out frame as an 8-bit RGB PNG image.
    bool writePng(const std::string &path, std::string &error) const;

    // The libdrm side (errno values negated, 0 on success).
    bool owns(int fd) const { return m_fds.count(fd) != 0; }
    int addFramebuffer(int fd, uint32_t width, uint32_t height, uint32_t format, uint32_t handle, uint32_t pitch,
                       uint32_t offset, uint32_t *id);
    int removeFramebuffer(int fd, uint32_t id);
    int scanOut(uint32_t crtc, uint32_t framebuffer);
    // The CRTC scans `framebuffer` out from (x, y) at the mode's size, which
    // the framebuffer must cover.
    int setCrtc(uint32_t crtc, uint32_t framebuffer, uint32_t x, uint32_t y, unsigned width, unsigned height);
    // The source rectangle must lie within the framebuffer.
    int showOnPlane(uint32_t plane, uint32_t crtc, uint32_t framebuffer, const PlaneGeometry &geometry);
    // The geometry of the last framebuffer put on the plane.
    const PlaneGeometry &planeGeometry() const { return m_planeGeometry; }
    bool hasConnector() const { return m_hasConnector; }
    bool hasCrtc() const { return m_hasCrtc; }
    bool hasPlane() const { return m_hasPlane; }
    void planeResourcesMade();
    void planeResourcesFreed();

    // Device
    int open(int fd, int flags) override;
    void close(int fd) override;
    int ioctl(int fd, unsigned long request, void *arg) override;
    void *mmap(int fd, void *address, size_t length, int prot, int flags, off_t offset, int *error) override;
    size_t answerSize(unsigned long request) const override;

private:
    struct Memory;  // a memfd and its size
    struct Dumb {
        int owner;
        std::shared_ptr<Memory> memory;
    };
    struct Framebuffer {
        int owner;
        uint32_t width, height, format, pitch, offset;
        std::shared_ptr<Memory> memory;
    };
    struct Export {
        int fd;
        dev_t device;
        ino_t inode;
    };
    static bool stillOpen(const Export &e);
    void snapshotIfShown(uint32_t framebuffer);
    bool frameOf(const Framebuffer &fb, DisplayFrame &frame) const;

    std::vector<DisplayMode> m_modes;
    bool m_hasConnector = true, m_hasCrtc = true, m_hasPlane = true;
    std::string m_pngPath;
    std::set<int> m_fds;
    std::map<uint32_t, Dumb> m_dumbs;
    std::map<uint32_t, Framebuffer> m_framebuffers;
    uint32_t m_nextHandle = 1, m_nextFramebuffer = 100;
    size_t m_planeResources = 0;
    size_t m_peakFramebuffers = 0, m_peakDumbs = 0, m_peakPlaneResources = 0, m_peakOpenExports = 0;
    std::vector<Export> m_exports;
    unsigned m_scanouts = 0;
    PlaneGeometry m_planeGeometry;
    uint32_t m_shown = 0;          // framebuffer scanned out last, 0 when gone
    bool m_haveSnapshot = false;   // m_snapshot holds the last frame shown
    DisplayFrame m_snapshot;
};

}  // namespace simboard

#endif
