#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "simboard/board.h"
#include "simboard/gpio.h"
#include "simboard/i2c_bus.h"
#include "simboard/isp_driver.h"
#include "simboard/sensor_chip.h"
#include "simboard/sensor_phy.h"

namespace simboard {

namespace {

constexpr unsigned kDefaultBuses = 4;
constexpr unsigned kPhys = 2;
constexpr unsigned kGaskets = 4;

// Feeds one gasket of the ISP from the chip streaming into it.
class ChipGasketSource : public GasketSource {
public:
    ChipGasketSource(SensorBoard &sensors, unsigned gasket) : m_sensors(sensors), m_gasket(gasket) {}
    bool streaming() const override { return m_sensors.sourceOf(m_gasket) != nullptr; }
    uint64_t nextFrame(BayerFrame &frame) override { return m_sensors.sendFrame(m_gasket, frame); }

private:
    SensorBoard &m_sensors;
    unsigned m_gasket;
};

bool sameDefects(const std::vector<SceneDefect> &a, const std::vector<SceneDefect> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const SceneDefect &x, const SceneDefect &y) {
        return x.x == y.x && x.y == y.y && x.high == y.high;
    });
}

// Scenes that render the same frames (a flickering lamp never does: its
// phase moves from frame to frame).
bool sameScene(const Scene &a, const Scene &b)
{
    return a.map == b.map && a.lightLevel == b.lightLevel && a.colourTemperature == b.colourTemperature &&
           a.lampHz == 0 && b.lampHz == 0 && a.inFocusPosition == b.inFocusPosition &&
           a.focusDepth == b.focusDepth && a.blackLevel == b.blackLevel && sameDefects(a.defects, b.defects);
}

// The board's configuration file: named by the environment, or in its root.
void loadSettings(Board &board, Scene &scene, unsigned &delay)
{
    const char *named = std::getenv("VEZARA_SIMBOARD_CONFIG");
    const std::string path = boardSettingsPath(board);
    BoardSettings settings;
    std::vector<std::string> problems;
    if (!readBoardSettings(path, settings, problems)) {
        if (named && *named)
            std::fprintf(stderr, "simboard: cannot read the board configuration \"%s\"\n", path.c_str());
        return;
    }
    for (const std::string &problem : problems)
        std::fprintf(stderr, "simboard: %s\n", problem.c_str());
    scene = settings.scene;
    delay = settings.sensorDelay;
}

bool sameFormat(const ChipFrameFormat &a, const ChipFrameFormat &b)
{
    return a.width == b.width && a.height == b.height && a.bitDepth == b.bitDepth &&
           a.mosaic == b.mosaic;
}

}  // namespace

SensorBoard &SensorBoard::instance()
{
    static SensorBoard sensors;
    return sensors;
}

void SensorBoard::install(Board &board)
{
    m_board = &board;
    m_chips.clear();
    m_buses.clear();
    m_phys.clear();
    m_scene = Scene{};
    m_delay = 0;
    m_framesSent = 0;
    m_settings.clear();
    m_cache = Cache{};
    loadSettings(board, m_scene, m_delay);
    for (unsigned n = 0; n < kDefaultBuses; ++n)
        bus(n);
    for (unsigned n = 0; n < kPhys; ++n) {
        auto phy = std::make_shared<SensorPhyDevice>(n);
        board.registerDevice(SensorPhyDevice::path(n), phy);
        m_phys.push_back(phy);
    }
    if (auto isp = std::dynamic_pointer_cast<IspDriver>(board.device(kIspDevicePath))) {
        for (unsigned g = 0; g < kGaskets; ++g)
            isp->attachSource(g, std::make_shared<ChipGasketSource>(*this, g));
    }
    GpioBank::instance().setListener([this](const std::string &, unsigned) {
        const BoardWiring wiring = this->wiring();
        for (const auto &chip : m_chips)
            updateInputs(*chip, wiring);
    });
}

BoardWiring SensorBoard::wiring() const
{
    return m_board ? BoardWiring::read(m_board->root()) : BoardWiring{};
}

void SensorBoard::updateInputs(SimChip &chip, const BoardWiring &wiring) const
{
    bool inReset = false, poweredDown = false;
    if (const BoardWiring::Position *position = wiring.onBus(chip.bus())) {
        const GpioBank &gpio = GpioBank::instance();
        if (position->resetLine >= 0) {
            const std::optional<int> level =
                gpio.level(position->resetChip, static_cast<unsigned>(position->resetLine));
            inReset = level && *level == 0;
        }
        if (position->pwdnLine >= 0) {
            const std::optional<int> level =
                gpio.level(position->pwdnChip, static_cast<unsigned>(position->pwdnLine));
            const int runLevel = chip.model().runLevel >= 0 ? chip.model().runLevel != 0 : wiring.pwdnValue;
            poweredDown = level && *level != runLevel;
        }
    }
    chip.setInputs(inReset, poweredDown);
}

std::shared_ptr<I2cBus> SensorBoard::bus(unsigned number)
{
    if (number >= m_buses.size())
        m_buses.resize(number + 1);
    if (!m_buses[number]) {
        m_buses[number] = std::make_shared<I2cBus>(number);
        if (m_board)
            m_board->registerDevice(I2cBus::path(number), m_buses[number]);
    }
    return m_buses[number];
}

std::shared_ptr<SensorPhyDevice> SensorBoard::phy(unsigned device) const
{
    return device < m_phys.size() ? m_phys[device] : nullptr;
}

std::shared_ptr<SimChip> SensorBoard::place(unsigned busNumber, ChipModel model, int phyDevice)
{
    auto chip = std::make_shared<SimChip>(std::move(model));
    chip->m_bus = static_cast<int>(busNumber);
    chip->m_phy = phyDevice >= 0 ? phyDevice : (busNumber == 0 ? 0 : 1);
    chip->m_clockHz = [this] { return wiring().clockMHz * 1e6; };
    updateInputs(*chip, wiring());
    bus(busNumber)->attach(chip);
    m_chips.push_back(chip);
    return chip;
}

void SensorBoard::remove(const std::shared_ptr<SimChip> &chip)
{
    if (!chip)
        return;
    for (auto &b : m_buses) {
        if (b)
            b->detach(chip);
    }
    m_chips.erase(std::remove(m_chips.begin(), m_chips.end(), chip), m_chips.end());
}

void SensorBoard::removeAll()
{
    while (!m_chips.empty())
        remove(m_chips.back());
}

std::vector<std::shared_ptr<SimChip>> SensorBoard::chips() const { return m_chips; }

std::shared_ptr<SimChip> SensorBoard::sourceOf(unsigned gasket) const
{
    for (const auto &chip : m_chips) {
        if (chip->phy() < 0)
            continue;
        auto phy = this->phy(static_cast<unsigned>(chip->phy()));
        if (phy && phy->enabled() && phy->gasket() == gasket && chip->running() && chip->streaming())
            return chip;
    }
    return nullptr;
}

void SensorBoard::setSensorDelay(unsigned frames) { m_delay = std::min(frames, 2u); }

uint64_t SensorBoard::sendFrame(unsigned gasket, BayerFrame &frame)
{
    auto chip = sourceOf(gasket);
    if (!chip)
        return 0;
    const ChipFrameFormat format = chip->frameFormat();
    const double rate = format.frameRate > 0 ? format.frameRate : 30.0;
    // Exposure and gain as programmed now reach the pixels `m_delay` frames later.
    m_settings.emplace_back(chip->exposureUs(), chip->gain());
    const size_t kept = m_delay + 1;
    if (m_settings.size() > kept)
        m_settings.erase(m_settings.begin(), m_settings.end() - static_cast<std::ptrdiff_t>(kept));
    const auto [exposure, gain] = m_settings.front();
    const std::optional<int> focus = chip->focus();
    const Scene scene = m_scene.at(m_framesSent);
    if (!m_cache.valid || !sameFormat(m_cache.format, format) || m_cache.exposureUs != exposure ||
        m_cache.gain != gain || m_cache.focus != focus || !sameScene(m_cache.scene, scene)) {
        scene.render(format, exposure, gain, focus, m_cache.frame, m_framesSent / rate);
        m_cache.valid = true;
        m_cache.format = format;
        m_cache.exposureUs = exposure;
        m_cache.gain = gain;
        m_cache.focus = focus;
        m_cache.scene = scene;
    }
    frame.width = m_cache.frame.width;
    frame.height = m_cache.frame.height;
    frame.bitDepth = m_cache.frame.bitDepth;
    frame.mosaic = m_cache.frame.mosaic;
    frame.lampHz = m_cache.frame.lampHz;
    frame.samples.assign(m_cache.frame.samples.begin(), m_cache.frame.samples.end());
    ++m_framesSent;
    return std::max<uint64_t>(1, static_cast<uint64_t>(1e9 / rate));
}

}  // namespace simboard
