#include "simboard/sensor_chip.h"

#include <algorithm>
#include <cerrno>

#include "simboard/bounded_log.h"

namespace simboard {

void ChipTarget::setInitial(uint16_t address, uint8_t value)
{
    registers.erase(std::remove_if(registers.begin(), registers.end(),
                                   [&](const auto &r) { return r.first == address; }),
                    registers.end());
    registers.emplace_back(address, value);
}

SimChip::SimChip(ChipModel model) : m_model(std::move(model))
{
    m_spaces.resize(m_model.targets.size());
    resetRegisters();
}

void SimChip::resetRegisters()
{
    for (size_t t = 0; t < m_model.targets.size(); ++t) {
        const ChipTarget &target = m_model.targets[t];
        Space &space = m_spaces[t];
        space.bytes.assign(target.addressBytes == 1 ? 0x100 : 0x10000, 0);
        space.pointer = 0;
        for (const auto &[address, value] : target.registers) {
            if (address < space.bytes.size())
                space.bytes[address] = value;
        }
    }
}

double SimChip::refClockHz() const { return m_clockHz ? m_clockHz() : 24e6; }

void SimChip::setInputs(bool inReset, bool poweredDown)
{
    if (inReset && !m_inReset)
        resetRegisters();
    m_inReset = inReset;
    m_poweredDown = poweredDown;
}

uint8_t SimChip::reg(uint16_t address, unsigned target) const
{
    if (target >= m_spaces.size() || address >= m_spaces[target].bytes.size())
        return 0;
    return m_spaces[target].bytes[address];
}

uint16_t SimChip::reg16(uint16_t address, unsigned target) const
{
    return static_cast<uint16_t>(regBE(address, 2, target));
}

uint32_t SimChip::regBE(uint16_t address, unsigned bytes, unsigned target) const
{
    uint32_t value = 0;
    for (unsigned i = 0; i < bytes && i < 4; ++i)
        value = (value << 8) | reg(static_cast<uint16_t>(address + i), target);
    return value;
}

void SimChip::setReg(uint16_t address, uint8_t value, unsigned target)
{
    if (target < m_spaces.size() && address < m_spaces[target].bytes.size())
        m_spaces[target].bytes[address] = value;
}

std::vector<uint8_t> SimChip::writesTo(uint16_t address, unsigned target) const
{
    std::vector<uint8_t> values;
    for (const Write &w : m_writes) {
        if (w.target == target && w.address == address)
            values.push_back(w.value);
    }
    return values;
}

bool SimChip::wasWritten(uint16_t address, unsigned target) const
{
    return std::any_of(m_writes.begin(), m_writes.end(), [&](const Write &w) {
        return w.target == target && w.address == address;
    });
}

bool SimChip::streaming() const { return m_model.streaming && m_model.streaming(*this); }

double SimChip::exposureUs() const
{
    return m_model.exposureUs ? m_model.exposureUs(*this) : 10000.0;
}

double SimChip::gain() const { return m_model.gain ? m_model.gain(*this) : 1.0; }

std::optional<int> SimChip::focus() const
{
    if (!m_model.focus)
        return std::nullopt;
    return m_model.focus(*this);
}

ChipFrameFormat SimChip::frameFormat() const
{
    return m_model.frameFormat ? m_model.frameFormat(*this) : m_model.format;
}

int SimChip::targetAt(uint8_t address) const
{
    for (size_t t = 0; t < m_model.targets.size(); ++t) {
        if (m_model.targets[t].address == address)
            return static_cast<int>(t);
    }
    return -1;
}

long SimChip::busWrite(unsigned target, const uint8_t *data, size_t length)
{
    if (target >= m_spaces.size())
        return -ENXIO;
    ++m_transfers;
    Space &space = m_spaces[target];
    const size_t addressBytes = m_model.targets[target].addressBytes == 1 ? 1 : 2;
    if (length < addressBytes)
        return static_cast<long>(length);  // acknowledged, but no complete address
    uint16_t address = addressBytes == 1 ? data[0] : static_cast<uint16_t>((data[0] << 8) | data[1]);
    const size_t mask = space.bytes.size() - 1;
    for (size_t i = addressBytes; i < length; ++i) {
        space.bytes[address & mask] = data[i];
        appendBounded(m_writes, Write{target, static_cast<uint16_t>(address & mask), data[i]}, kWriteLogLimit);
        if (m_model.onWrite)
            m_model.onWrite(*this, target, static_cast<uint16_t>(address & mask), data[i]);
        address = static_cast<uint16_t>((address + 1) & mask);
    }
    space.pointer = address;
    return static_cast<long>(length);
}

long SimChip::busRead(unsigned target, uint8_t *data, size_t length)
{
    if (target >= m_spaces.size())
        return -ENXIO;
    ++m_transfers;
    Space &space = m_spaces[target];
    const size_t mask = space.bytes.size() - 1;
    for (size_t i = 0; i < length; ++i) {
        data[i] = space.bytes[space.pointer & mask];
        space.pointer = static_cast<uint16_t>((space.pointer + 1) & mask);
    }
    return static_cast<long>(length);
}

}  // namespace simboard
