#include <string>

#include "simboard/gpio.h"

namespace simboard {

namespace {

// Index of "gpiochip<n>", or -1.
int chipIndex(const std::string &chip)
{
    static const std::string prefix = "gpiochip";
    if (chip.size() <= prefix.size() || chip.compare(0, prefix.size(), prefix) != 0)
        return -1;
    int index = 0;
    for (size_t i = prefix.size(); i < chip.size(); ++i) {
        if (chip[i] < '0' || chip[i] > '9' || index > 1000)
            return -1;
        index = index * 10 + (chip[i] - '0');
    }
    return index;
}

}  // namespace

GpioBank &GpioBank::instance()
{
    static GpioBank bank;
    return bank;
}

void GpioBank::reset(unsigned chips, unsigned lines)
{
    m_chips.assign(chips, std::vector<Line>(lines));
    m_events.clear();
    m_faults.clear();
    m_openChips = 0;
}

GpioBank::Line *GpioBank::find(const std::string &chip, unsigned line)
{
    const int index = chipIndex(chip);
    if (index < 0 || static_cast<size_t>(index) >= m_chips.size() || line >= m_chips[index].size())
        return nullptr;
    return &m_chips[index][line];
}

const GpioBank::Line *GpioBank::find(const std::string &chip, unsigned line) const
{
    return const_cast<GpioBank *>(this)->find(chip, line);
}

std::vector<GpioEvent> GpioBank::eventsOf(const std::string &chip, unsigned line) const
{
    std::vector<GpioEvent> events;
    for (const GpioEvent &e : m_events) {
        if (e.chip == chip && e.line == line)
            events.push_back(e);
    }
    return events;
}

std::optional<int> GpioBank::level(const std::string &chip, unsigned line) const
{
    const Line *l = find(chip, line);
    return l ? l->level : std::nullopt;
}

bool GpioBank::requested(const std::string &chip, unsigned line) const
{
    const Line *l = find(chip, line);
    return l && l->requested;
}

void GpioBank::injectFault(GpioOp op, const std::string &chip, unsigned line, unsigned times,
                           unsigned skip)
{
    m_faults.push_back(Fault{op, chip, line, times, skip});
}

bool GpioBank::chipExists(const std::string &chip) const
{
    const int index = chipIndex(chip);
    return index >= 0 && static_cast<size_t>(index) < m_chips.size();
}

unsigned GpioBank::lineCount(const std::string &chip) const
{
    const int index = chipIndex(chip);
    if (index < 0 || static_cast<size_t>(index) >= m_chips.size())
        return 0;
    return static_cast<unsigned>(m_chips[index].size());
}

bool GpioBank::fault(GpioOp op, const std::string &chip, unsigned line)
{
    for (Fault &f : m_faults) {
        if (f.op != op || f.chip != chip || (op != GpioOp::Open && f.line != line))
            continue;
        const unsigned call = f.seen++;
        if (call < f.skip)
            continue;
        if (f.times != 0 && call - f.skip >= f.times)
            continue;
        return true;
    }
    return false;
}

bool GpioBank::request(const std::string &chip, unsigned line, const std::string &consumer, int value)
{
    Line *l = find(chip, line);
    if (!l || l->requested)
        return false;
    l->requested = true;
    l->level = value != 0;
    m_events.push_back(GpioEvent{GpioEvent::REQUEST, chip, line, value, consumer});
    notify(chip, line);
    return true;
}

bool GpioBank::set(const std::string &chip, unsigned line, int value)
{
    Line *l = find(chip, line);
    if (!l || !l->requested)
        return false;
    l->level = value != 0;
    m_events.push_back(GpioEvent{GpioEvent::SET, chip, line, value, ""});
    notify(chip, line);
    return true;
}

void GpioBank::release(const std::string &chip, unsigned line)
{
    Line *l = find(chip, line);
    if (!l || !l->requested)
        return;
    l->requested = false;
    m_events.push_back(GpioEvent{GpioEvent::RELEASE, chip, line, 0, ""});
    notify(chip, line);
}

}  // namespace simboard
