// The libgpiod 1.x functions the system calls, acting on the simulated
// GPIO lines. Declared by the installed <gpiod.h>, so the signatures are
// those of the real library. Failures set errno as the library does.
#include <gpiod.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "simboard/gpio.h"

using simboard::GpioBank;
using simboard::GpioOp;

struct gpiod_line {
    gpiod_chip *chip = nullptr;
    unsigned offset = 0;
    bool requested = false;
};

struct gpiod_chip {
    std::string name;
    std::vector<std::unique_ptr<gpiod_line>> lines;  // created on first use
};

struct gpiod_chip *gpiod_chip_open_by_name(const char *name)
{
    GpioBank &bank = GpioBank::instance();
    if (!name || !bank.chipExists(name)) {
        errno = ENOENT;
        return nullptr;
    }
    if (bank.fault(GpioOp::Open, name, 0)) {
        errno = EIO;
        return nullptr;
    }
    auto *chip = new gpiod_chip;
    chip->name = name;
    chip->lines.resize(bank.lineCount(name));
    bank.chipOpened();
    return chip;
}

void gpiod_chip_close(struct gpiod_chip *chip)
{
    if (!chip)
        return;
    GpioBank &bank = GpioBank::instance();
    for (auto &line : chip->lines) {
        if (line && line->requested)
            bank.release(chip->name, line->offset);
    }
    bank.chipClosed();
    delete chip;
}

const char *gpiod_chip_name(struct gpiod_chip *chip) { return chip ? chip->name.c_str() : nullptr; }

struct gpiod_line *gpiod_chip_get_line(struct gpiod_chip *chip, unsigned int offset)
{
    if (!chip || offset >= chip->lines.size()) {
        errno = EINVAL;
        return nullptr;
    }
    if (GpioBank::instance().fault(GpioOp::GetLine, chip->name, offset)) {
        errno = EIO;
        return nullptr;
    }
    auto &line = chip->lines[offset];
    if (!line) {
        line = std::make_unique<gpiod_line>();
        line->chip = chip;
        line->offset = offset;
    }
    return line.get();
}

int gpiod_line_request_output(struct gpiod_line *line, const char *consumer, int default_val)
{
    if (!line) {
        errno = EINVAL;
        return -1;
    }
    GpioBank &bank = GpioBank::instance();
    if (line->requested || bank.fault(GpioOp::Request, line->chip->name, line->offset)) {
        errno = EBUSY;
        return -1;
    }
    if (!bank.request(line->chip->name, line->offset, consumer ? consumer : "", default_val)) {
        errno = EBUSY;  // requested through another handle of the chip
        return -1;
    }
    line->requested = true;
    return 0;
}

int gpiod_line_set_value(struct gpiod_line *line, int value)
{
    if (!line || !line->requested) {
        errno = EPERM;
        return -1;
    }
    GpioBank &bank = GpioBank::instance();
    if (bank.fault(GpioOp::Set, line->chip->name, line->offset) ||
        !bank.set(line->chip->name, line->offset, value)) {
        errno = EIO;
        return -1;
    }
    return 0;
}
