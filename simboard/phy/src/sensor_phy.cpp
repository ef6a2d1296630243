#include "simboard/sensor_phy.h"

#include <cerrno>
#include <cstring>

namespace simboard {

namespace {

uint16_t le16(const uint8_t *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

PhyRecord PhyRecord::decode(const uint8_t (&b)[32])
{
    PhyRecord r;
    r.type = le32(b + 0);
    r.enable = b[4];
    r.clkEn = b[5];
    r.pixelRes = b[6];
    r.mipiLanes = b[7];
    r.mipiHsFreqRange = b[8];
    r.mipiOscFreq = le16(b + 10);
    r.numPhys = b[12];
    r.altMode = b[13];
    r.fillerEn = b[14];
    r.lsbFirst = b[15];
    r.frameWidth = le32(b + 16);
    r.frameHeight = le32(b + 20);
    r.clkFreq = le32(b + 24);
    r.resetGpio = b[28];
    r.enableMux = b[29];
    return r;
}

std::string SensorPhyDevice::path(unsigned number) { return "/dev/sensor_phy" + std::to_string(number); }

int SensorPhyDevice::ioctl(int, unsigned long request, void *arg)
{
    if (request != kCtrl && request != kReset && request != kMux)
        return -ENOTTY;
    if (!arg)
        return -EFAULT;
    uint8_t bytes[32];
    std::memcpy(bytes, arg, sizeof(bytes));
    PhyRecord record = PhyRecord::decode(bytes);
    m_switches.push_back(PhySwitch{request, record});
    m_state = record;
    return 0;
}

unsigned SensorPhyDevice::gasket() const
{
    return m_state.type == kTypeMipi ? m_number : 2 + m_number;
}

}  // namespace simboard
