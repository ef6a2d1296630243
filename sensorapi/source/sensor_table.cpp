// The sensor table: the 24 sensors, their create functions and the listing
// of every sensor with its modes.
#include <cstdio>
#include <cstring>

#include "sensorapi/sensorapi.h"
#include "sensors/sensor_drivers.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "SENSOR"

namespace {

constexpr QOV_UINT32 kNumberSensors = 24;

const char *const Sensors[kNumberSensors + 1] = {
    "IIF Datagen", "AR330",    "OV4688",    "OV4689_0",  "OV4689_1", "OV2718_0", "OV2718_1",
    "OV10823_0",   "OV10823_1", "OV5647_0", "OV5647_1",  "IMX415",   "OV5695_0", "OV5695_1",
    "OV5695_2",    "S5K3P9",   "IMX219_0",  "IMX219_1",  "IMX335",   "IMX327",   "ZYNQ",
    "GC8034",      "GC5035",   "IMX662",    nullptr,
};

const SENSOR_CREATE_FUNC InitialiseSensors[kNumberSensors] = {
    IIFDG_Create,     AR330_Create,     OV4688_Create,    OV4689_Create_0,  OV4689_Create_1,
    OV2718_Create_0,  OV2718_Create_1,  OV10823_Create_0, OV10823_Create_1, OV5647_Create_0,
    OV5647_Create_1,  IMX415_Create,    OV5695_Create_0,  OV5695_Create_1,  OV5695_Create_2,
    S5K3P9_Create,    IMX219_Create_0,  IMX219_Create_1,  IMX335_Create,    IMX327_Create,
    ZYNQ_Create,      GC8034_Create,    GC5035_Create,    IMX662_Create,
};

const char *flipText(QOV_UINT8 flips)
{
    switch (flips) {
    case SENSOR_FLIP_NONE:
        return "flipping=none";
    case SENSOR_FLIP_HORIZONTAL:
        return "flipping=horizontal";
    case SENSOR_FLIP_BOTH:
        return "flipping=horizontal|vertical";
    default:
        return "flipping=vertical";
    }
}

void printMode(FILE *f, unsigned m, const SENSOR_MODE &mode)
{
    fprintf(f,
            "\t\tmode %2d: %5dx%5d @%.2f %ubit (total %dx%d mipi_lane=%u) exposure=(%u..%u) %s\n",
            static_cast<int>(m), mode.ui16Width, mode.ui16Height, mode.flFrameRate,
            static_cast<unsigned>(mode.ui8BitDepth), mode.ui16HorizontalTotal, mode.ui16VerticalTotal,
            static_cast<unsigned>(mode.ui8MipiLanes), mode.ui32ExposureMin, mode.ui32ExposureMax,
            flipText(mode.ui8SupportFlipping));
    fprintf(f, "\t\t         pixel rate %.4lf Mpx/s, ", mode.flPixelRate);
    double bitRate = mode.ui8BitDepth * mode.flPixelRate;
    char unit = 'M';
    if (bitRate >= 1e9) {
        bitRate /= 1000;
        unit = 'G';
    }
    if (mode.ui8MipiLanes)
        fprintf(f, "bit rate %.4lf %cbits/s (per mipi lane)\n", bitRate / mode.ui8MipiLanes, unit);
    else
        fprintf(f, "bit rate %.4lf %cbits/s\n", bitRate, unit);
}

}  // namespace

const char *const *Sensor_ListAll() { return Sensors; }

QOV_UINT32 Sensor_NumberSensors() { return kNumberSensors; }

QOV_RESULT Sensor_Initialise(QOV_UINT16 nSensor, SENSOR_HANDLE *phHandle)
{
    if (!phHandle) {
        LOG_ERROR("phHandle is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (nSensor >= kNumberSensors) {
        LOG_ERROR("nSensor=%d supports %d sensors\n", nSensor, kNumberSensors);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return InitialiseSensors[nSensor](phHandle);
}

void Sensor_PrintAllModes(FILE *f)
{
    if (!f)
        return;
    fprintf(f, "Available sensors in sensor API:\n");
    for (QOV_UINT32 s = 0; Sensors[s]; ++s) {
        SENSOR_HANDLE hHandle = nullptr;
        if (Sensor_Initialise(static_cast<QOV_UINT16>(s), &hHandle) != QOV_SUCCESS || !hHandle) {
            printf("\t%d: %s - no modes display available\n", static_cast<int>(s), Sensors[s]);
            continue;
        }
        SENSOR_INFO info;
        memset(&info, 0, sizeof(info));
        Sensor_GetInfo(hHandle, &info);
        info.pszSensorVersion[sizeof(info.pszSensorVersion) - 1] = '\0';
        fprintf(f, "\t%d: %s (v%s imager %d)\n", static_cast<int>(s), Sensors[s],
                info.pszSensorVersion, info.ui8Imager);

        SENSOR_MODE mode;
        for (unsigned m = 0; m <= 0xFFFF; ++m) {
            if (Sensor_GetMode(hHandle, static_cast<QOV_UINT16>(m), &mode) != QOV_SUCCESS)
                break;
            printMode(f, m, mode);
        }
        if (strncmp(Sensors[s], "AR330", 5) == 0)
            fprintf(f, "\t\tmode %d: special register load from file\n", 255);
        Sensor_Destroy(hHandle);
    }
}
