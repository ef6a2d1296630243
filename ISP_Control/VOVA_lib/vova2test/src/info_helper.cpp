// Gasket and real-time monitor printouts, one value a line.
#include "vovatest/info_helper.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "ci/ci_gasket.h"
#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/Sensor.h"

#define LOG_TAG "INFO_HELPER"

namespace {

std::string hex(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace

void PrintGasketInfo(VOVA::Camera &camera, std::ostream &os)
{
    const VOVA::Sensor *sensor = camera.getSensor();
    const unsigned gasket = sensor ? sensor->uiImager : 0;
    CI_GASKET_INFO info{};
    if (!camera.getConnection() ||
        CI_GasketGetInfo(&info, static_cast<QOV_UINT8>(gasket), camera.getConnection()) != QOV_SUCCESS) {
        LOG_ERROR("failed to get information about gasket %u\n", gasket);
        return;
    }
    os << "Gasket " << gasket << " ";
    if (info.eType & CI_GASKET_PARALLEL) {
        os << "is enabled (Parallel) - frame count " << info.ui32FrameCount << std::endl;
    } else if (info.eType & CI_GASKET_MIPI) {
        os << "is enabled (MIPI) - frame count " << info.ui32FrameCount << std::endl;
        os << "Gasket MIPI FIFO " << unsigned{info.ui8MipiFifoFull} << " - Enabled lanes "
           << unsigned{info.ui8MipiEnabledLanes} << std::endl;
        os << "Gasket MIPI CRC Error " << hex(info.ui8MipiCrcError) << std::endl;
        os << "Gasket MIPI Header Error " << hex(info.ui8MipiHdrError) << std::endl;
        os << "Gasket MIPI ECC Error " << hex(info.ui8MipiEccError) << std::endl;
        os << "Gasket MIPI ECC Correted " << hex(info.ui8MipiEccCorrected) << std::endl;
        os << "Gasket MIPI SOT Error Count " << hex(info.ui16MipiSotErrorCnt) << std::endl;
    } else {
        os << "is disabled" << std::endl;
    }
}

void PrintRTMInfo(VOVA::Camera &camera, std::ostream &os)
{
    CI_CONNECTION *connection = camera.getConnection();
    CI_RTM_INFO rtm{};
    if (!connection || CI_DriverGetRTMInfo(connection, &rtm) != QOV_SUCCESS) {
        LOG_ERROR("failed to get RTM information\n");
        return;
    }
    const unsigned registers = std::min<unsigned>(connection->sHWInfo.config_ui8NRTMRegisters, 8);
    const unsigned contexts = std::min<unsigned>(connection->sHWInfo.config_ui8NContexts, 2);
    for (unsigned i = 0; i < registers; ++i)
        os << "RTM Core " << i << " " << hex(rtm.aRTMEntries[i]) << std::endl;
    for (unsigned c = 0; c < contexts; ++c) {
        os << "RTM Context " << c << " status " << hex(rtm.context_status[c]) << std::endl;
        os << "RTM Context " << c << " linked list emptiness " << hex(rtm.context_linkEmptyness[c]) << std::endl;
        for (unsigned i = 0; i < registers; ++i)
            os << "RTM Context " << c << " position " << i << " " << hex(rtm.context_position[c][i]) << std::endl;
    }
}
