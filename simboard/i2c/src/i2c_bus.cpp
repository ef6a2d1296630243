#include "simboard/i2c_bus.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "simboard/sensor_chip.h"

namespace simboard {

std::string I2cBus::path(unsigned number) { return "/dev/i2c-" + std::to_string(number); }

int I2cBus::open(int fd, int)
{
    m_selected[fd] = -1;
    return 0;
}

void I2cBus::close(int fd) { m_selected.erase(fd); }

int I2cBus::ioctl(int fd, unsigned long request, void *arg)
{
    if (request != kI2cSlave)
        return -ENOTTY;
    // The address travels by value in the argument, as with ioctl(fd, I2C_SLAVE, addr).
    const uintptr_t address = reinterpret_cast<uintptr_t>(arg);
    if (address > 0x7F)
        return -EINVAL;
    m_selected[fd] = static_cast<int>(address);
    return 0;
}

bool I2cBus::find(int address, std::shared_ptr<SimChip> *chip, unsigned *target) const
{
    if (address < 0)
        return false;
    for (const auto &candidate : m_chips) {
        const int index = candidate->targetAt(static_cast<uint8_t>(address));
        if (index >= 0 && candidate->responding()) {
            *chip = candidate;
            *target = static_cast<unsigned>(index);
            return true;
        }
    }
    return false;
}

ssize_t I2cBus::read(int fd, void *buffer, size_t length)
{
    auto it = m_selected.find(fd);
    if (it == m_selected.end())
        return -EBADF;
    if (!buffer && length)
        return -EFAULT;
    std::shared_ptr<SimChip> chip;
    unsigned target = 0;
    if (!find(it->second, &chip, &target))
        return -ENXIO;
    return chip->busRead(target, static_cast<uint8_t *>(buffer), length);
}

ssize_t I2cBus::write(int fd, const void *buffer, size_t length)
{
    auto it = m_selected.find(fd);
    if (it == m_selected.end())
        return -EBADF;
    if (!buffer && length)
        return -EFAULT;
    std::shared_ptr<SimChip> chip;
    unsigned target = 0;
    if (!find(it->second, &chip, &target))
        return -ENXIO;
    return chip->busWrite(target, static_cast<const uint8_t *>(buffer), length);
}

void I2cBus::attach(std::shared_ptr<SimChip> chip)
{
    if (chip && std::find(m_chips.begin(), m_chips.end(), chip) == m_chips.end())
        m_chips.push_back(std::move(chip));
}

void I2cBus::detach(const std::shared_ptr<SimChip> &chip)
{
    m_chips.erase(std::remove(m_chips.begin(), m_chips.end(), chip), m_chips.end());
}

}  // namespace simboard
