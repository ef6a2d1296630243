// Bramble's camera: the control core's camera with the buffers of the
// current capture and the display state, started and stopped as a whole.
#ifndef BRAMBLE_LOOPCAMERA_H
#define BRAMBLE_LOOPCAMERA_H

#include <xf86drmMode.h>

#include <list>
#include <map>
#include <vector>

#include "DemoConfiguration.h"
#include "ci/ci_api_structs.h"
#include "qov_types.h"
#include "vezaracommon/pixel_format.h"

namespace VOVA {
class Camera;
class Shot;
struct Buffer;
}  // namespace VOVA

// The display modes the demo can show, by the size of the display output.
struct input_res_tarn_mode_map {
    QOV_UINT32 width;
    QOV_UINT32 height;
    QOV_UINT32 modeWidthTot;
    char modeName[16];
};
extern const input_res_tarn_mode_map g_tarn_mode_map[7];

// The DRM four-character code of a display format; 0 for none.
QOV_UINT32 drmFormatOf(pxlFormat format);

// A run starts with the save counter at 0 and no previous timestamp.
void resetSaveCounter();
void resetTimestamps();

class LoopCamera {
public:
    enum IsDataGenerator { NO_DG = 0, INT_DG = 1, EXT_DG = 2 };

    explicit LoopCamera(DemoConfiguration &config);
    ~LoopCamera();
    LoopCamera(const LoopCamera &) = delete;
    LoopCamera &operator=(const LoopCamera &) = delete;

    int startCapture();
    int stopCapture();

    // Display output (DRM).
    int openDisplay();
    int setupTarnDrm();
    int getModeTarnDrm();
    int sendToTarnDrm(const VOVA::Buffer &buf);
    QOV_RESULT allocAndImport(const PIXELTYPE &bufferType, CI_BUFFTYPE eBuffer, bool isTiled, QOV_HANDLE *buffer,
                              QOV_UINT32 *bufferId);
    QOV_SIZE calcBufferSize(const PIXELTYPE &pixelType, bool bTiling);
    // Frees the display's objects and closes the device.
    void closeDisplay();

    void saveResults(const VOVA::Shot &shot, DemoConfiguration &config);

    void printInfo();
    void printInfo(const VOVA::Shot &shot, const DemoConfiguration &config, double clockMhz);

    VOVA::Camera *camera = nullptr;
    std::list<QOV_UINT32> buffersIds;
    std::list<QOV_HANDLE> buffers;
    int g_drmfd = -1;
    std::map<QOV_UINT32, QOV_UINT32> buffersMap;
    QOV_UINT32 offsets[4] = {0, 0, 0, 0};
    QOV_UINT32 pitches[4] = {0, 0, 0, 0};
    QOV_UINT32 bo_handles[4] = {0, 0, 0, 0};
    QOV_UINT32 pixel_format = 0;
    QOV_UINT32 fb_handle = 0;
    void *fb_ptr = nullptr;
    drmModeModeInfo mode{};
    drmModeRes *res = nullptr;
    drmModePlaneRes *plane_res = nullptr;
    drmModeConnector *c = nullptr;
    std::vector<QOV_UINT32> listMatrixId;
    QOV_UINT32 currMatrixId = 0;
    DemoConfiguration &config;
    QOV_UINT32 missedFrames = 0;
    QOV_UINT8 hwMajor = 0;
    QOV_UINT8 hwMinor = 0;
    IsDataGenerator isDatagen = NO_DG;

private:
    QOV_UINT32 displayDumb = 0;   // handle of the copy path's dumb buffer
    size_t displayMapSize = 0;    // bytes mapped at fb_ptr
    QOV_UINT32 shownFramebuffer = 0;  // framebuffer on the plane (imported buffers)
    std::list<int> exportedFds;   // descriptors of exported dumb buffers
    void releaseImported();
};

#endif
