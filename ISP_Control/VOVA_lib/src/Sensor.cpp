// The sensor wrapper: state machine over the sensor interface, programmed
// exposure, gain and focus, the figures of the current mode and their keys.
#include "vova/Sensor.h"

#include "vezaracommon/userlog.h"
#include "vova/ModuleFamily.h"

#define LOG_TAG "VOVA_SENSOR"

namespace VOVA {

namespace {

const unsigned int kSizeDefaults[2] = {1280, 720};

// The exposure keys are in milliseconds, the wrapper works in microseconds.
QOV_UINT32 msToUs(double ms) { return static_cast<QOV_UINT32>(ms * 1000.0 + 0.5); }

}  // namespace

const ParamDef<double> Sensor::SENSOR_EXPOSURE("SENSOR_EXPOSURE_MS", 0.0, 5000.0, 35.0);
const ParamDef<double> Sensor::SENSOR_GAIN("SENSOR_GAIN", 0.0, 128.0, 1.0);
const ParamDef<unsigned int> Sensor::SENSOR_BITDEPTH("SENSOR_BITDEPTH", 8, 16, 10);
const ParamDef<unsigned int> Sensor::SENSOR_WELLDEPTH("SENSOR_WELL_DEPTH", 0, 65535, 5000);
const ParamDef<double> Sensor::SENSOR_READNOISE("SENSOR_READ_NOISE", 0.0, 100.0, 0.0);
const ParamDef<double> Sensor::SENSOR_FRAMERATE("SENSOR_FRAME_RATE", 1.0, 255.0, 30.0);
const ParamDefArray<unsigned int> Sensor::SENSOR_SIZE("SENSOR_ACTIVE_SIZE", 0, 16384, kSizeDefaults, 2);
const ParamDef<unsigned int> Sensor::SENSOR_VTOT("SENSOR_VTOT", 0, 16383, 525);

const char *Sensor::StateName(State s)
{
    switch (s) {
    case SENSOR_ERROR:
        return "SENSOR_ERROR";
    case SENSOR_INITIALIZED:
        return "SENSOR_INITIALIZED";
    case SENSOR_ENABLED:
        return "SENSOR_ENABLED";
    case SENSOR_CONFIGURED:
        return "SENSOR_CONFIGURED";
    }
    return "UNKNOWN";
}

void Sensor::GetSensorNames(std::list<std::pair<std::string, int>> &names)
{
    const char *const *all = Sensor_ListAll();
    const QOV_UINT32 n = Sensor_NumberSensors();
    for (QOV_UINT32 i = 0; i < n; i++)
        names.emplace_back(all[i], static_cast<int>(i));
}

int Sensor::GetSensorId(const std::string &name)
{
    const char *const *all = Sensor_ListAll();
    const QOV_UINT32 n = Sensor_NumberSensors();
    for (QOV_UINT32 i = 0; i < n; i++)
        if (name == all[i])
            return static_cast<int>(i);
    return -1;
}

ParameterGroup Sensor::GetGroup()
{
    ParameterGroup group;
    group.header = "// Sensor information";
    for (const std::string &key : {SENSOR_EXPOSURE.name, SENSOR_GAIN.name, SENSOR_BITDEPTH.name, SENSOR_WELLDEPTH.name,
                                   SENSOR_READNOISE.name, SENSOR_FRAMERATE.name, SENSOR_SIZE.name, SENSOR_VTOT.name})
        group.parameters.insert(key);
    return group;
}

Sensor::Sensor()
    : programmedExposure(msToUs(SENSOR_EXPOSURE.def)), programmedGain(SENSOR_GAIN.def),
      minExposure(msToUs(SENSOR_EXPOSURE.min)), maxExposure(msToUs(SENSOR_EXPOSURE.max)), minGain(SENSOR_GAIN.min),
      maxGain(SENSOR_GAIN.max), uiWidth(SENSOR_SIZE.defaultOf(0)), uiHeight(SENSOR_SIZE.defaultOf(1)),
      nVTot(SENSOR_VTOT.def), uiBitDepth(SENSOR_BITDEPTH.def), flFrameRate(SENSOR_FRAMERATE.def),
      uiWellDepth(SENSOR_WELLDEPTH.def), flReadNoise(SENSOR_READNOISE.def)
{
}

Sensor::Sensor(int sensorId) : Sensor() { init(sensorId); }

Sensor::~Sensor()
{
    if (!hSensorHandle)
        return;
    if (state == SENSOR_ENABLED)
        Sensor_Disable(hSensorHandle);
    Sensor_Destroy(hSensorHandle);
}

QOV_RESULT Sensor::init(int sensorId)
{
    QOV_RESULT ret = QOV_ERROR_INVALID_ARGUMENT;
    if (sensorId >= 0 && sensorId <= 0xFFFF)
        ret = Sensor_Initialise(static_cast<QOV_UINT16>(sensorId), &hSensorHandle);
    if (ret != QOV_SUCCESS || !hSensorHandle) {
        hSensorHandle = nullptr;
        LOG_ERROR("Failed to get a sensor handle for identifier %d.\n", sensorId);
        state = SENSOR_ERROR;
        return ret != QOV_SUCCESS ? ret : QOV_ERROR_FAILURE;
    }
    state = SENSOR_INITIALIZED;
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::insert() { return Sensor_Insert(hSensorHandle); }

QOV_RESULT Sensor::waitProcessed() { return Sensor_WaitProcessed(hSensorHandle); }

QOV_RESULT Sensor::load(const ParameterList &) { return QOV_SUCCESS; }

QOV_RESULT Sensor::save(ParameterList &parameters, ModuleBase::SaveType t) const
{
    static const ParameterGroup group = GetGroup();
    parameters.addGroup("Sensor", group);
    if (t != ModuleBase::SAVE_VAL) {
        const auto bound = [&](const auto &def) { family::saveBound(def, parameters, t); };
        bound(SENSOR_EXPOSURE);
        bound(SENSOR_GAIN);
        bound(SENSOR_BITDEPTH);
        bound(SENSOR_WELLDEPTH);
        bound(SENSOR_READNOISE);
        bound(SENSOR_FRAMERATE);
        bound(SENSOR_SIZE);
        bound(SENSOR_VTOT);
        return QOV_SUCCESS;
    }
    parameters.addParameter(SENSOR_EXPOSURE, programmedExposure / 1000.0, true);
    parameters.addParameter(SENSOR_GAIN, programmedGain, true);
    parameters.addParameter(SENSOR_BITDEPTH, uiBitDepth, true);
    parameters.addParameter(SENSOR_WELLDEPTH, uiWellDepth, true);
    parameters.addParameter(SENSOR_READNOISE, flReadNoise, true);
    parameters.addParameter(SENSOR_FRAMERATE, flFrameRate, true);
    parameters.addParameter(SENSOR_SIZE, {toString(uiWidth), toString(uiHeight)}, true);
    parameters.addParameter(SENSOR_VTOT, nVTot, true);
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::getMode(int mode, SENSOR_MODE &sMode) const
{
    return Sensor_GetMode(hSensorHandle, static_cast<QOV_UINT16>(mode), &sMode);
}

QOV_RESULT Sensor::configure(int sensorMode, int flipping)
{
    if (state == SENSOR_ENABLED) {
        LOG_ERROR("Sensor is in state %s, expecting !=%s\n", StateName(state), StateName(state));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_RESULT ret = Sensor_SetMode(hSensorHandle, static_cast<QOV_UINT16>(sensorMode), static_cast<QOV_UINT8>(flipping));
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to set sensor's mode to %d with flipping 0x%x\n", sensorMode, flipping);
        state = SENSOR_ERROR;
        return ret;
    }
    SENSOR_INFO info{};
    ret = Sensor_GetInfo(hSensorHandle, &info);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to get sensor's info\n");
        state = SENSOR_ERROR;
        return ret;
    }
    state = SENSOR_CONFIGURED;
    uiWidth = info.sMode.ui16Width;
    uiHeight = info.sMode.ui16Height;
    uiImager = info.ui8Imager;
    nVTot = info.sMode.ui16VerticalTotal;
    eBayerFormat = info.eBayerEnabled;
    uiBitDepth = info.sMode.ui8BitDepth;
    uiWellDepth = info.ui32WellDepth;
    uiFocalLength = info.ui16FocalLength;
    flReadNoise = info.flReadNoise;
    flAperture = info.fNumber;
    eHDRMode = info.sMode.eHDRMode;
    bLongExpFirst = info.sMode.bLongExpFirst != 0;
    ui32LineGap = info.sMode.ui32LineGap;
    flFrameRate = info.sMode.flFrameRate;

    ret = Sensor_GetExposure(hSensorHandle, &programmedExposure, 0);
    if (ret != QOV_SUCCESS) {
        LOG_WARNING("Failed to get initial exposure (returned %d)\n", ret);
        state = SENSOR_ERROR;
        return QOV_ERROR_FAILURE;
    }
    ret = Sensor_GetExposureRange(hSensorHandle, &minExposure, &maxExposure, &ui8SensorContexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to get exposure range (returned %d)!\n", ret);
        state = SENSOR_ERROR;
        return QOV_ERROR_FAILURE;
    }
    ret = Sensor_GetGainRange(hSensorHandle, &minGain, &maxGain, &ui8SensorContexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to get gain range (returned %d)!\n", ret);
        state = SENSOR_ERROR;
        return QOV_ERROR_FAILURE;
    }
    programmedGain = 1.0;
    ret = Sensor_SetGain(hSensorHandle, 1.0, ui8SensorContexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to set initial gain to 1.0 (returned %d)\n", ret);
        state = SENSOR_ERROR;
        return QOV_ERROR_FAILURE;
    }
    programmedFocus = 0;
    focusSupported = false;
    if (Sensor_GetFocusRange(hSensorHandle, &minFocus, &maxFocus) == QOV_SUCCESS) {
        focusSupported = true;
        if (Sensor_GetCurrentFocus(hSensorHandle, &programmedFocus) != QOV_SUCCESS) {
            LOG_WARNING("failed to get initial focus\n");
            state = SENSOR_ERROR;
            return QOV_ERROR_FAILURE;
        }
    }

    LOG_INFO("Sensor information (mode %d)\n", sensorMode);
    LOG_INFO("\tResolution: %dx%d @ %3.2f FPS\n", uiWidth, uiHeight, flFrameRate);
    LOG_INFO("\tExposure min: %d, max: %d, programmed: %d\n", minExposure, maxExposure, programmedExposure);
    LOG_INFO("\tGain min: %f, max %f, programmed %f\n", minGain, maxGain, programmedGain);
    if (focusSupported)
        LOG_INFO("\tFocus min: %u, max %u, current %u\n", minFocus, maxFocus, programmedFocus);
    else
        LOG_INFO("\tFocus: N/A\n");
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::enable()
{
    if (state != SENSOR_CONFIGURED) {
        LOG_ERROR("Sensor is in state %s, expecting %s\n", StateName(state), StateName(SENSOR_CONFIGURED));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_RESULT ret = Sensor_Enable(hSensorHandle);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to start transmitting data from the sensor!\n");
        state = SENSOR_ERROR;
        return ret;
    }
    state = SENSOR_ENABLED;
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::disable()
{
    if (state != SENSOR_ENABLED) {
        LOG_ERROR("Sensor is in state %s, expecting %s\n", StateName(state), StateName(SENSOR_ENABLED));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_RESULT ret = Sensor_Disable(hSensorHandle);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to stop transmitting data from the sensor!\n");
        state = SENSOR_ERROR;
        return ret;
    }
    state = SENSOR_CONFIGURED;
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::setExposure(unsigned long uSeconds)
{
    if (state != SENSOR_ENABLED) {
        LOG_ERROR("Sensor is in state %s, expecting %s\n", StateName(state), StateName(SENSOR_ENABLED));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    const QOV_UINT32 us = uSeconds > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<QOV_UINT32>(uSeconds);
    QOV_RESULT ret = Sensor_SetExposure(hSensorHandle, us, ui8SensorContexts);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to set exposure to %u\n", us);
        return ret;
    }
    if (Sensor_GetExposure(hSensorHandle, &programmedExposure, ui8SensorContexts) != QOV_SUCCESS)
        LOG_WARNING("Failed to acquire new programmed exposure!\n");
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::setGain(double gain)
{
    if (state != SENSOR_ENABLED) {
        LOG_ERROR("Sensor is in state %s, expecting %s\n", StateName(state), StateName(SENSOR_ENABLED));
        return QOV_ERROR_NOT_SUPPORTED;
    }
    QOV_RESULT ret = Sensor_SetGain(hSensorHandle, gain, ui8SensorContexts);
    // What the sensor holds after the attempt, refused or not.
    if (Sensor_GetCurrentGain(hSensorHandle, &programmedGain, ui8SensorContexts) != QOV_SUCCESS)
        LOG_WARNING("Failed to acquire new programmed gain!\n");
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to set gain to %f\n", gain);
        return ret;
    }
    return QOV_SUCCESS;
}

QOV_RESULT Sensor::setFocusDistance(unsigned int focusDistance)
{
    if (!focusSupported)
        return QOV_SUCCESS;
    unsigned int distance = focusDistance;
    if (distance < minFocus || distance > maxFocus) {
        distance = distance < minFocus ? minFocus : maxFocus;
        LOG_WARNING("Requested focus distance %d out of range (%d; %d). Setting focus distance to %d\n",
                    focusDistance, minFocus, maxFocus, distance);
    }
    QOV_RESULT ret = Sensor_SetFocus(hSensorHandle, static_cast<QOV_UINT16>(distance));
    if (Sensor_GetCurrentFocus(hSensorHandle, &programmedFocus) != QOV_SUCCESS)
        LOG_WARNING("Failed to acquire new focus distance!\n");
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to set focus distance to %u\n", distance);
        return ret;
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
