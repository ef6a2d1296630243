// Bramble's camera: building the control core's camera for an image sensor
// or the internal data generator, starting a capture with driver or imported
// buffers and the initial exposure and gain, stopping it after draining the
// pending shots, and the per-frame printouts.
#include "LoopCamera.h"

#include <cstdio>
#include <cstring>
#include <iostream>

#include "DemoControls.h"
#include "ci/ci_api.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/CameraFactory.h"
#include "vova/DGCamera.h"
#include "vova/ModuleDPF.h"
#include "vova/Pipeline.h"
#include "vova/Sensor.h"
#include "vova/Shot.h"
#include "vovatest/info_helper.h"

#define LOG_TAG "Bramble"

namespace {

// The data generator's name in the sensor table; a prefix of it selects it.
constexpr const char *kDataGeneratorName = "IIF Datagen";

// Timestamp of the previous printed frame's start.
QOV_UINT32 lastTSIn = 0;

}  // namespace

void resetTimestamps() { lastTSIn = 0; }

LoopCamera::LoopCamera(DemoConfiguration &configuration) : config(configuration)
{
    const char *name = config.pszSensor ? config.pszSensor : "";
    VOVA::Sensor *sensor = nullptr;
    if (std::strncmp(name, kDataGeneratorName, std::strlen(name)) == 0) {
        isDatagen = INT_DG;
        if (!VOVA::DGCamera::supportIntDG()) {
            LOG_ERROR("trying to use internal data generator but it is not supported by HW!\n");
            return;
        }
        if (!config.pszInputJUX) {
            LOG_ERROR("trying to use internal data generator but not input JUX provided!\n");
            return;
        }
        camera = new VOVA::DGCamera(0, config.pszInputJUX, config.gasket, true);
        if (camera->state != VOVA::Camera::CAM_ERROR && camera->getSensor()) {
            const SENSOR_HANDLE handle = camera->getSensor()->getHandle();
            IIFDG_ExtendedSetNbBuffers(handle, static_cast<QOV_UINT32>(config.nBuffers));
            IIFDG_ExtendedSetBlanking(handle, config.aBlanking[0], config.aBlanking[1]);
            IIFDG_ExtendedSetFrameCap(handle, IIFDG_ExtendedGetFrameCount(handle));
        }
    } else {
        isDatagen = NO_DG;
        const int flip =
            (config.sensorFlip[0] ? SENSOR_FLIP_HORIZONTAL : 0) | (config.sensorFlip[1] ? SENSOR_FLIP_VERTICAL : 0);
        camera = new VOVA::Camera(0, VOVA::Sensor::GetSensorId(name), config.sensorMode, flip);
        sensor = camera->getSensor();
    }

    if (camera->state == VOVA::Camera::CAM_ERROR) {
        LOG_ERROR("failed to create camera correctly\n");
        delete camera;
        camera = nullptr;
        return;
    }
    const int perf = (config.measureMODULES ? 1 : 0) + (config.measureVerbose ? 1 : 0);
    VOVA::CameraFactory::populateCameraFromHWVersion(*camera, sensor, perf);
    camera->bUpdateASAP = config.updateASAP;
    hwMajor = camera->hwInfo.rev_ui8Major;
    hwMinor = camera->hwInfo.rev_ui8Minor;
    currMatrixId = 0;
    missedFrames = 0;
}

LoopCamera::~LoopCamera()
{
    // The camera and its buffer pool go first: closing the display keeps its
    // last frame, which needs the memory a large pool may hold.
    delete camera;
    closeDisplay();
    releaseImported();
}

int LoopCamera::startCapture()
{
    if (!camera)
        return 1;
    if (!buffersIds.empty()) {
        LOG_ERROR("Buffers still exists - camera was not stopped beforehand\n");
        return 1;
    }
    logLensShadingGrids(*camera);
    if (config.useLocalBuffers) {
        if (camera->addShots(config.nBuffers) != QOV_SUCCESS) {
            LOG_ERROR("Adding shots failed.\n");
            return 1;
        }
        const CI_PIPELINE *ci = camera->getPipeline()->getCIPipeline();
        if (!ci) {
            LOG_ERROR("No CI pipeline\n");
            return 1;
        }
        const struct {
            const PIXELTYPE &type;
            CI_BUFFTYPE buffer;
        } outputs[] = {
            {ci->config.eEncType, CI_TYPE_ENCODER},
            {ci->config.eDispType, ci->config.eDispType.eBuffer == TYPE_BAYER ? CI_TYPE_DATAEXT : CI_TYPE_DISPLAY},
            {ci->config.eHDRExtType, CI_TYPE_HDREXT},
            {ci->config.eRaw2DExtraction, CI_TYPE_RAW2D},
        };
        for (int n = 0; n < config.nBuffers; ++n) {
            for (const auto &o : outputs) {
                QOV_HANDLE handle = nullptr;
                QOV_UINT32 id = 0;
                const QOV_RESULT ret = allocAndImport(o.type, o.buffer, false, &handle, &id);
                if (ret == QOV_ERROR_ZERO_SIZE)
                    continue;
                if (ret != QOV_SUCCESS)
                    return 1;
                buffersIds.push_back(id);
                buffers.push_back(handle);
            }
        }
    } else if (camera->allocateBufferPool(config.nBuffers, buffersIds) != QOV_SUCCESS) {
        LOG_ERROR("allocating buffers failed.\n");
        return 1;
    }

    missedFrames = 0;
    if (camera->startCapture() != QOV_SUCCESS) {
        LOG_ERROR("starting capture failed.\n");
        return 1;
    }
    for (int i = 0; i < config.nBuffers - 1; ++i) {
        if (camera->enqueueShot() != QOV_SUCCESS) {
            LOG_ERROR("pre-enqueuing shot %d/%d failed.\n", i + 1, config.nBuffers - 1);
            return 1;
        }
    }
    VOVA::Sensor *sensor = camera->getSensor();
    if (sensor && config.uiSensorInitExposure != 0 && sensor->setExposure(config.uiSensorInitExposure) != QOV_SUCCESS)
        LOG_WARNING("failed to set sensor to initial exposure of %u us\n", config.uiSensorInitExposure);
    if (sensor && config.flSensorInitGain > 1.0f && sensor->setGain(config.flSensorInitGain) != QOV_SUCCESS)
        LOG_WARNING("failed to set sensor to initial gain of %lf\n", static_cast<double>(config.flSensorInitGain));
    return 0;
}

int LoopCamera::stopCapture()
{
    if (!camera)
        return 1;
    const CI_PIPELINE *ci = camera->getPipeline() ? camera->getPipeline()->getCIPipeline() : nullptr;
    for (int n = 1; ci && CI_PipelineHasPending(ci); ++n) {
        VOVA::Shot shot;
        if (camera->acquireShot(shot, true) != QOV_SUCCESS) {
            LOG_ERROR("acquire shot %d/%d before stopping failed.\n", n, config.nBuffers - 1);
            printInfo();
            return 1;
        }
        camera->releaseShot(shot);
    }
    if (camera->stopCapture() != QOV_SUCCESS) {
        LOG_ERROR("Failed to Stop the capture!\n");
        return 1;
    }
    logLensShadingGrids(*camera);
    for (QOV_UINT32 id : buffersIds) {
        if (camera->deregisterBuffer(id) != QOV_SUCCESS) {
            LOG_ERROR("Failed to deregister buffer ID=%d!\n", id);
            return 1;
        }
    }
    buffersIds.clear();
    buffers.clear();
    releaseImported();
    // The next start adds a pool of its own: without this every restart
    // would leave nBuffers more shots in the driver.
    if (camera->deleteShots() != QOV_SUCCESS)
        return 1;
    LOG_INFO("total number of missed frames: %d\n", missedFrames);
    return 0;
}

void LoopCamera::printInfo()
{
    if (!camera)
        return;
    std::cout << std::endl;
    PrintGasketInfo(*camera, std::cout);
    PrintRTMInfo(*camera, std::cout);
    std::cout << std::endl;
}

void LoopCamera::printInfo(const VOVA::Shot &shot, const DemoConfiguration &cfg, double clockMhz)
{
    if (shot.bFrameError)
        puts("=== Frame is erroneous! ===");
    if (shot.iMissedFrames != 0) {
        missedFrames += shot.iMissedFrames;
        printf("=== Missed %d frames before acquiring that one! ===\n", shot.iMissedFrames);
    }
    const auto &ts = shot.metadata.timestamps;
    printf("TS: LLUp %u - StartIn %u - EndIn %u - StartOut %u - EndEncOut %u - EndDispOut %u - Interrupt %u\n",
           ts.ui32LinkedListUpdated, ts.ui32StartFrameIn, ts.ui32EndFrameIn, ts.ui32StartFrameOut,
           ts.ui32EndFrameEncOut, ts.ui32EndFrameDispOut, ts.ui32InterruptServiced);
    if (lastTSIn != 0) {
        const QOV_UINT32 d = ts.ui32StartFrameIn - lastTSIn;
        printf("Difference from last timestamps is %u tick (FPS ~%.2lf with %.2lfMhz clock)\n", d,
               clockMhz * 1000000.0 / d, clockMhz);
    }
    lastTSIn = ts.ui32StartFrameIn;
    if (const VOVA::Sensor *sensor = camera->getSensor())
        printf("Sensor: exposure %.4lfms - gain %.2f\n", sensor->getExposure() / 1000.0, sensor->getGain());
    printControlLines(cfg, *camera, shot);
    if (const auto *dpf = dynamic_cast<const VOVA::ModuleDPF *>(camera->getPipeline()->getModule(VOVA::STP_DPF))) {
        printf("DPF: detect %d\n", dpf->bDetect ? 1 : 0);
        if (cfg.bEnableDPF)
            printf("    fixed=%d written=%d (threshold=%d weight=%f)\n", shot.metadata.defectiveStats.ui32FixedPixels,
                   shot.metadata.defectiveStats.ui32NOutCorrection, dpf->ui32Threshold, dpf->fWeight);
    }
    printLensShadingLine(cfg, *camera);
}
