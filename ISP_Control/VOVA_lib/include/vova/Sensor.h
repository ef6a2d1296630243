// The control core's wrapper over one sensor of the sensor interface: opens
// it by its place in the sensor table, sets its mode, starts and stops it,
// keeps the programmed exposure, gain and focus with their ranges and the
// figures of the current mode, and saves them as the "Sensor" group.
#ifndef VOVA_SENSOR_H
#define VOVA_SENSOR_H

#include <list>
#include <string>
#include <utility>

#include "qov_types.h"
#include "sensorapi/sensorapi.h"
#include "vova/Module.h"
#include "vova/Parameter.h"
#include "vova/ParameterList.h"

namespace VOVA {

class Sensor {
public:
    enum State {
        SENSOR_ERROR = 0,
        SENSOR_INITIALIZED = 1,  ///< open
        SENSOR_ENABLED = 2,      ///< streaming
        SENSOR_CONFIGURED = 3,   ///< mode set, not streaming
    };

    static const ParamDef<double> SENSOR_EXPOSURE;  ///< milliseconds
    static const ParamDef<double> SENSOR_GAIN;
    static const ParamDef<unsigned int> SENSOR_BITDEPTH;
    static const ParamDef<unsigned int> SENSOR_WELLDEPTH;
    static const ParamDef<double> SENSOR_READNOISE;
    static const ParamDef<double> SENSOR_FRAMERATE;
    static const ParamDefArray<unsigned int> SENSOR_SIZE;  ///< width, height
    static const ParamDef<unsigned int> SENSOR_VTOT;

    static const char *StateName(State state);
    /** Appends (name, index) of every entry of the sensor table. */
    static void GetSensorNames(std::list<std::pair<std::string, int>> &names);
    /** Index of the first table entry named exactly `name`; -1 when none. */
    static int GetSensorId(const std::string &name);
    /** The "Sensor information" group and its eight keys. */
    static ParameterGroup GetGroup();

    Sensor();
    explicit Sensor(int sensorId);
    virtual ~Sensor();
    Sensor(const Sensor &) = delete;
    Sensor &operator=(const Sensor &) = delete;

    virtual QOV_RESULT insert();
    virtual QOV_RESULT waitProcessed();
    /** A real sensor's figures come from the sensor itself: nothing is read. */
    virtual QOV_RESULT load(const ParameterList &parameters);
    virtual QOV_RESULT save(ParameterList &parameters, ModuleBase::SaveType t) const;

    QOV_RESULT getMode(int mode, SENSOR_MODE &sMode) const;
    /** Sets the mode and flips and reads the mode's figures; refused while enabled. */
    QOV_RESULT configure(int sensorMode, int flipping);
    QOV_RESULT enable();
    QOV_RESULT disable();

    /** Only while enabled. */
    QOV_RESULT setExposure(unsigned long uSeconds);
    /** Only while enabled; the driver's refusal is returned. */
    QOV_RESULT setGain(double gain);
    /** Clamped to the focus range; nothing without focus support. */
    QOV_RESULT setFocusDistance(unsigned int focusDistance);

    unsigned long getExposure() const { return programmedExposure; }
    unsigned long getMinExposure() const { return minExposure; }
    unsigned long getMaxExposure() const { return maxExposure; }
    double getGain() const { return programmedGain; }
    double getMinGain() const { return minGain; }
    double getMaxGain() const { return maxGain; }
    unsigned int getFocusDistance() const { return programmedFocus; }
    unsigned int getMinFocus() const { return minFocus; }
    unsigned int getMaxFocus() const { return maxFocus; }
    bool getFocusSupported() const { return focusSupported; }
    State getState() const { return state; }
    SENSOR_HANDLE getHandle() const { return hSensorHandle; }

protected:
    QOV_RESULT init(int sensorId);

    SENSOR_HANDLE hSensorHandle = nullptr;
    QOV_UINT32 programmedExposure;  ///< microseconds
    double programmedGain;
    QOV_UINT16 programmedFocus = 0;
    QOV_UINT32 minExposure;  ///< microseconds
    QOV_UINT32 maxExposure;  ///< microseconds
    QOV_UINT16 minFocus = 0;
    QOV_UINT16 maxFocus = 0;
    double minGain;
    double maxGain;
    State state = SENSOR_ERROR;
    bool focusSupported = false;

public:
    unsigned int uiWidth;
    unsigned int uiHeight;
    unsigned int uiImager = 0;
    unsigned int nVTot;
    MOSAICType eBayerFormat = MOSAIC_NONE;
    unsigned char ui8SensorContexts = 0;
    unsigned int uiBitDepth;
    double flFrameRate;
    unsigned int uiWellDepth;
    double flReadNoise;
    double flAperture = 0.0;
    unsigned int uiFocalLength = 0;
    HDR_MODES eHDRMode{};
    bool bLongExpFirst = false;
    unsigned int ui32LineGap = 0;
};

}  // namespace VOVA

#endif  // VOVA_SENSOR_H
