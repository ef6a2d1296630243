// The simulated board's sensor wiring, taken from its board file: the same
// tokens the drivers read ("-Key value", "#" to the end of the line, the
// last occurrence of a key winning), of which the clock, the power-down
// value and each position's bus and reset and power-down lines matter here.
#include <cmath>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <string>

#include "simboard/sensor_chip.h"

namespace simboard {

namespace {

// The first line of the device-tree model, without its NUL.
std::string boardModel(const std::string &root)
{
    std::ifstream in(root + "/proc/device-tree/model", std::ios::binary);
    std::string model;
    std::getline(in, model);
    const size_t end = model.find('\0');
    return end == std::string::npos ? model : model.substr(0, end);
}

std::map<std::string, std::string> boardKeys(const std::string &path)
{
    std::map<std::string, std::string> keys;
    std::ifstream in(path);
    std::string line;
    std::string key;
    while (std::getline(in, line)) {
        std::istringstream tokens(line.substr(0, line.find('#')));
        std::string token;
        while (tokens >> token) {
            if (key.empty()) {
                key = token;
            } else {
                keys[key] = token;
                key.clear();
            }
        }
    }
    return keys;
}

bool number(const std::map<std::string, std::string> &keys, const std::string &key, double *value)
{
    auto it = keys.find(key);
    if (it == keys.end())
        return false;
    try {
        *value = std::stod(it->second);
    } catch (const std::exception &) {
        return false;
    }
    return true;
}

// A number of `key` that, cut to a whole one, fits an int; a larger one (or
// one that is no number at all) counts as no value, as an unreadable one does.
bool integer(const std::map<std::string, std::string> &keys, const std::string &key, int *value)
{
    double parsed = 0;
    if (!number(keys, key, &parsed) || !(parsed > std::numeric_limits<int>::min() - 1.0) ||
        !(parsed < std::numeric_limits<int>::max() + 1.0))
        return false;
    *value = static_cast<int>(parsed);
    return true;
}

}  // namespace

BoardWiring BoardWiring::read(const std::string &root)
{
    BoardWiring wiring;
    const auto keys = boardKeys(root + "/etc/vezara/boardcfg/" + boardModel(root) + ".cfg");
    double value = 0;
    if (number(keys, "-Board_clock_frequency", &value) && value > 0 && std::isfinite(value))
        wiring.clockMHz = value;
    if (number(keys, "-Board_pwdn_value", &value))
        wiring.pwdnValue = value != 0;
    for (int n = 0;; ++n) {
        const std::string prefix = "-Sensor" + std::to_string(n) + "_";
        int whole = 0;
        if (!integer(keys, prefix + "i2c", &whole))
            break;
        Position position;
        position.bus = whole;
        if (integer(keys, prefix + "gpiochip_reset", &whole))
            position.resetChip = "gpiochip" + std::to_string(whole);
        if (integer(keys, prefix + "gpio_reset", &whole))
            position.resetLine = whole;
        if (integer(keys, prefix + "gpiochip_pwdn", &whole))
            position.pwdnChip = "gpiochip" + std::to_string(whole);
        if (integer(keys, prefix + "gpio_pwdn", &whole))
            position.pwdnLine = whole;
        wiring.positions.push_back(position);
    }
    return wiring;
}

const BoardWiring::Position *BoardWiring::onBus(int bus) const
{
    for (const Position &position : positions) {
        if (position.bus == bus)
            return &position;
    }
    return nullptr;
}

}  // namespace simboard
