// A simulated i2c-dev bus ("/dev/i2c-%d"): I2C_SLAVE selects the target of
// the following transfers; each write and read is one transfer to the chip
// at that address. A transfer to an address where nothing answers fails
// with ENXIO, as an unacknowledged transfer does.
#ifndef SIMBOARD_I2C_BUS_H
#define SIMBOARD_I2C_BUS_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "simboard/board.h"

namespace simboard {

class SimChip;

class I2cBus : public Device {
public:
    static constexpr unsigned long kI2cSlave = 0x0703;

    explicit I2cBus(unsigned number) : m_number(number) {}
    static std::string path(unsigned number);

    int open(int fd, int flags) override;
    void close(int fd) override;
    int ioctl(int fd, unsigned long request, void *arg) override;
    ssize_t read(int fd, void *buffer, size_t length) override;
    ssize_t write(int fd, const void *buffer, size_t length) override;

    unsigned number() const { return m_number; }
    void attach(std::shared_ptr<SimChip> chip);
    void detach(const std::shared_ptr<SimChip> &chip);
    const std::vector<std::shared_ptr<SimChip>> &chips() const { return m_chips; }

private:
    // The chip and target answering at a 7-bit address.
    bool find(int address, std::shared_ptr<SimChip> *chip, unsigned *target) const;

    unsigned m_number;
    std::vector<std::shared_ptr<SimChip>> m_chips;
    std::map<int, int> m_selected;  // descriptor -> selected address (-1: none)
};

}  // namespace simboard

#endif
