// The simulated sensor PHY driver ("/dev/sensor_phy%d"): takes the three
// write requests carrying the 32-byte PHY record and records every switch.
#ifndef SIMBOARD_SENSOR_PHY_H
#define SIMBOARD_SENSOR_PHY_H

#include <cstdint>
#include <string>
#include <vector>

#include "simboard/board.h"

namespace simboard {

// The PHY record, decoded from its little-endian byte layout.
struct PhyRecord {
    uint32_t type = 0;  // 1 HiSPi, 2 LVDS, 4 GPIO, 8 MIPI
    uint8_t enable = 0;
    uint8_t clkEn = 0;
    uint8_t pixelRes = 0;
    uint8_t mipiLanes = 0;
    uint8_t mipiHsFreqRange = 0;
    uint16_t mipiOscFreq = 0;
    uint8_t numPhys = 0;
    uint8_t altMode = 0;
    uint8_t fillerEn = 0;
    uint8_t lsbFirst = 0;
    uint32_t frameWidth = 0;
    uint32_t frameHeight = 0;
    uint32_t clkFreq = 0;
    uint8_t resetGpio = 0;
    uint8_t enableMux = 0;

    static PhyRecord decode(const uint8_t (&bytes)[32]);
};

struct PhySwitch {
    unsigned long request = 0;
    PhyRecord record;
};

class SensorPhyDevice : public Device {
public:
    static constexpr unsigned long kCtrl = 0x8020F000ul;
    static constexpr unsigned long kReset = 0x8020F003ul;
    static constexpr unsigned long kMux = 0x8020F004ul;
    static constexpr uint32_t kTypeMipi = 8;

    explicit SensorPhyDevice(unsigned number) : m_number(number) {}
    static std::string path(unsigned number);

    int ioctl(int fd, unsigned long request, void *arg) override;

    unsigned number() const { return m_number; }
    // Every request accepted, in order.
    const std::vector<PhySwitch> &switches() const { return m_switches; }
    void clearSwitches() { m_switches.clear(); }
    // The record last applied with the switch request.
    const PhyRecord &state() const { return m_state; }
    bool enabled() const { return m_state.enable != 0; }
    // Gasket the PHY's output lands on: MIPI PHY n feeds MIPI input n, the
    // other link types the parallel input 2 + n.
    unsigned gasket() const;

private:
    unsigned m_number;
    PhyRecord m_state;
    std::vector<PhySwitch> m_switches;
};

}  // namespace simboard

#endif
