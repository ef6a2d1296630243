// Simulated image-sensor chips on the simulated I2C buses.
//
// A chip is built from a ChipModel: its I2C targets (the sensor, and for
// some chips a lens actuator) with their register maps and initial values
// (the chip-identity registers the drivers check included), and decoders
// that read the registers a driver wrote: streaming on or off, exposure,
// gain, focus and the frame format. A streaming chip whose PHY and gasket
// are on feeds frames of the synthetic scene into the simulated ISP.
//
// A placed chip is wired as the board file of the simulated board says: its
// reference clock is the board's clock, and the reset and power-down lines
// of its board position (the position whose I2C bus it sits on) drive its
// inputs. Reset is active low; the power-down line lets the chip run at the
// board's power-down value. A chip held in reset returns to its power-on
// registers; in reset or powered down it is silent on the bus and sends no
// frames. A line never driven leaves the chip running.
//
// Register spaces are byte-wide and auto-incrementing, as on the chips: an
// I2C write sends the register address (1 or 2 bytes, big-endian) and then
// any number of data bytes stored at that address and the following ones; a
// write of the address alone sets the read pointer, and a read returns the
// bytes from the pointer on. A 16-bit register is two consecutive bytes,
// high byte first.
#ifndef SIMBOARD_SENSOR_CHIP_H
#define SIMBOARD_SENSOR_CHIP_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "simboard/isp_model.h"
#include "simboard/scene.h"

namespace simboard {

class Board;
class I2cBus;
class SensorPhyDevice;

// One I2C target of a chip.
struct ChipTarget {
    uint8_t address = 0;       // 7-bit bus address
    uint8_t addressBytes = 2;  // register address bytes: 1 or 2
    // Initial register values; every other register reads 0.
    std::vector<std::pair<uint16_t, uint8_t>> registers;

    // Changes (or adds) the initial value of one register.
    void setInitial(uint16_t address, uint8_t value);
};

class SimChip;

// What a simulated chip is. Every decoder is optional.
struct ChipModel {
    std::string name;                 // e.g. "OV4689"
    std::vector<ChipTarget> targets;  // targets[0] is the sensor itself
    ChipFrameFormat format;           // the frame when `frameFormat` is not given
    // Level of the power-down line at which the chip runs; -1: the board
    // file's "-Board_pwdn_value".
    int runLevel = -1;

    // True while the registers say the chip streams; without it the chip never streams.
    std::function<bool(const SimChip &)> streaming;
    // Exposure in microseconds (default 10000).
    std::function<double(const SimChip &)> exposureUs;
    // Gain multiplier, 1.0 unity (default 1.0).
    std::function<double(const SimChip &)> gain;
    // Lens position in the chip's focus units; without it the image is always sharp.
    std::function<int(const SimChip &)> focus;
    // The frame as the registers configure it (size, depth, Bayer order, rate).
    std::function<ChipFrameFormat(const SimChip &)> frameFormat;
    // Side effect of a register byte written over I2C, called after the byte
    // is stored (a software reset, a status register that follows streaming...).
    std::function<void(SimChip &, unsigned target, uint16_t address, uint8_t value)> onWrite;
};

class SimChip {
public:
    explicit SimChip(ChipModel model);

    const ChipModel &model() const { return m_model; }
    const std::string &name() const { return m_model.name; }

    // Registers as the chip holds them.
    uint8_t reg(uint16_t address, unsigned target = 0) const;
    // Two consecutive registers, high byte first.
    uint16_t reg16(uint16_t address, unsigned target = 0) const;
    // `bytes` (1 to 4) consecutive registers, big-endian.
    uint32_t regBE(uint16_t address, unsigned bytes, unsigned target = 0) const;
    // Sets a register without a bus transfer (models and tests).
    void setReg(uint16_t address, uint8_t value, unsigned target = 0);
    // Back to the model's initial registers; the write log is kept.
    void resetRegisters();

    // Every register byte written over I2C, in order; the newest ones of a
    // long run (at most kWriteLogLimit, the older half dropped when full).
    static constexpr size_t kWriteLogLimit = 65536;
    struct Write {
        unsigned target;
        uint16_t address;
        uint8_t value;
    };
    const std::vector<Write> &writes() const { return m_writes; }
    void clearWrites() { m_writes.clear(); }
    // The values written to one register, in order.
    std::vector<uint8_t> writesTo(uint16_t address, unsigned target = 0) const;
    bool wasWritten(uint16_t address, unsigned target = 0) const;
    // Number of I2C transfers (writes and reads) the chip answered.
    unsigned transfers() const { return m_transfers; }

    // A chip that does not respond leaves every transfer unacknowledged, as
    // an absent or unpowered chip does.
    void setResponding(bool responding) { m_responding = responding; }
    // Present, powered and out of reset.
    bool responding() const { return m_responding && running(); }

    // The reference clock the chip's PLL multiplies, in Hz: the board's
    // clock once the chip is placed (24 MHz before).
    double refClockHz() const;

    // The reset and power-down inputs. Entering reset restores the power-on
    // registers.
    void setInputs(bool inReset, bool poweredDown);
    bool inReset() const { return m_inReset; }
    bool poweredDown() const { return m_poweredDown; }
    bool running() const { return !m_inReset && !m_poweredDown; }

    // Decoded state.
    bool streaming() const;
    double exposureUs() const;
    double gain() const;
    std::optional<int> focus() const;
    ChipFrameFormat frameFormat() const;

    // The PHY device the chip's link goes to, and the bus it sits on.
    int phy() const { return m_phy; }
    int bus() const { return m_bus; }

    // Bus side: index of the target at a 7-bit address, or -1.
    int targetAt(uint8_t address) const;
    // A write transfer to target `target`: address bytes then data. Returns
    // the bytes accepted or a negated errno.
    long busWrite(unsigned target, const uint8_t *data, size_t length);
    // A read transfer from the read pointer on.
    long busRead(unsigned target, uint8_t *data, size_t length);

private:
    friend class SensorBoard;
    struct Space {
        std::vector<uint8_t> bytes;
        uint16_t pointer = 0;
    };
    ChipModel m_model;
    std::vector<Space> m_spaces;
    std::vector<Write> m_writes;
    unsigned m_transfers = 0;
    bool m_responding = true;
    bool m_inReset = false;
    bool m_poweredDown = false;
    std::function<double()> m_clockHz;  // set by the board that places the chip
    int m_phy = -1;
    int m_bus = -1;
};

// The sensor wiring of the simulated board, read from its board file
// ("<root>/etc/vezara/boardcfg/<model>.cfg", the model being the first line
// of "<root>/proc/device-tree/model"). Without a readable file: 24 MHz and
// no position, so no line reaches a chip.
struct BoardWiring {
    struct Position {
        int bus = -1;
        std::string resetChip;  // "gpiochip<n>"
        int resetLine = -1;     // negative: none
        std::string pwdnChip;
        int pwdnLine = -1;
    };
    double clockMHz = 24.0;
    int pwdnValue = 1;
    std::vector<Position> positions;  // by board position

    static BoardWiring read(const std::string &root);
    // The first position on I2C bus `bus`, or null.
    const Position *onBus(int bus) const;
};

// The test-facing control of the simulated sensors: which chips sit on
// which bus, the scene, the PHYs. Reset with the board.
class SensorBoard {
public:
    static SensorBoard &instance();

    // Installs the buses "/dev/i2c-0" to "/dev/i2c-3", the PHYs
    // "/dev/sensor_phy0" and "/dev/sensor_phy1" and the gasket sources into
    // the ISP of `board`; removes every chip and restores the scene and the
    // sensor delay of the board's configuration file (the file named by
    // VEZARA_SIMBOARD_CONFIG, else "etc/vezara/simboard.cfg" under the
    // board's root; the defaults without one).
    void install(Board &board);

    // Places a chip on bus `bus` ("/dev/i2c-<bus>", created when missing),
    // its link going to PHY device `phy` (-1: the board's wiring, bus 0 to
    // PHY 0, buses 1 and 2 to PHY 1). Returns the chip for inspection.
    std::shared_ptr<SimChip> place(unsigned bus, ChipModel model, int phy = -1);
    void remove(const std::shared_ptr<SimChip> &chip);
    void removeAll();
    std::vector<std::shared_ptr<SimChip>> chips() const;

    std::shared_ptr<I2cBus> bus(unsigned bus);
    std::shared_ptr<SensorPhyDevice> phy(unsigned device) const;

    Scene &scene() { return m_scene; }

    // The board's wiring as its board file says now.
    BoardWiring wiring() const;

    // Frames between programming exposure and gain and the first frame that
    // shows them, beyond the frame being triggered: 0 to 2 (larger values
    // count as 2).
    void setSensorDelay(unsigned frames);
    unsigned sensorDelay() const { return m_delay; }

    // The chip that feeds gasket `gasket` now: a streaming chip whose PHY is
    // on and lands on that gasket; null when none.
    std::shared_ptr<SimChip> sourceOf(unsigned gasket) const;
    // Frames sent into the ISP so far.
    unsigned framesSent() const { return m_framesSent; }

    // Used by the gasket sources.
    uint64_t sendFrame(unsigned gasket, BayerFrame &frame);

private:
    SensorBoard() = default;
    // Sets the reset and power-down inputs of `chip` from its lines' levels.
    void updateInputs(SimChip &chip, const BoardWiring &wiring) const;
    Board *m_board = nullptr;
    std::vector<std::shared_ptr<SimChip>> m_chips;
    std::vector<std::shared_ptr<I2cBus>> m_buses;
    std::vector<std::shared_ptr<SensorPhyDevice>> m_phys;
    Scene m_scene;
    unsigned m_framesSent = 0;
    unsigned m_delay = 0;
    // Exposure and gain of the last frames sent, newest last.
    std::vector<std::pair<double, double>> m_settings;
    // The last rendered frame, reused while nothing changes.
    struct Cache {
        bool valid = false;
        ChipFrameFormat format;
        double exposureUs = 0, gain = 0;
        std::optional<int> focus;
        Scene scene;
        BayerFrame frame;
    } m_cache;
};

}  // namespace simboard

#endif
