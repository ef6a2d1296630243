// Simulated GPIO lines. On the simulated board the libgpiod 1.x functions
// the system calls (gpiod_chip_open_by_name, gpiod_chip_get_line,
// gpiod_line_request_output, gpiod_line_set_value, gpiod_chip_close, and
// gpiod_chip_name) are defined here, against the installed <gpiod.h>, and
// act on these lines. Every value driven is recorded.
#ifndef SIMBOARD_GPIO_H
#define SIMBOARD_GPIO_H

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace simboard {

struct GpioEvent {
    enum Kind {
        REQUEST,  // requested as an output; `value` is the initial value
        SET,      // value driven
        RELEASE,  // released (its chip was closed)
    } kind;
    std::string chip;  // "gpiochip%d"
    unsigned line = 0;
    int value = 0;     // the value as passed by the caller (the line's level is value != 0)
    std::string consumer;

    bool operator==(const GpioEvent &) const = default;
};

enum class GpioOp { Open, GetLine, Request, Set };

class GpioBank {
public:
    static GpioBank &instance();

    // Chips "gpiochip0" to "gpiochip<chips-1>" with `lines` lines each, all
    // free; clears the events, the faults and the open-chip count.
    void reset(unsigned chips = 8, unsigned lines = 32);

    const std::vector<GpioEvent> &events() const { return m_events; }
    void clearEvents() { m_events.clear(); }
    // Events of one line, in order.
    std::vector<GpioEvent> eventsOf(const std::string &chip, unsigned line) const;

    // Level of a line (last value driven, as 0 or 1); none if never driven.
    std::optional<int> level(const std::string &chip, unsigned line) const;
    bool requested(const std::string &chip, unsigned line) const;
    // Chips opened and not yet closed.
    int openChips() const { return m_openChips; }

    // Called after a line was requested, driven or released, so that what
    // is wired to it (the simulated chips' reset and power-down inputs)
    // follows its level. Kept across reset().
    using LineListener = std::function<void(const std::string &chip, unsigned line)>;
    void setListener(LineListener listener) { m_listener = std::move(listener); }

    // Makes operation `op` on `chip` (and `line`, ignored for Open) fail
    // for `times` calls after skipping `skip`; times 0 means every call.
    void injectFault(GpioOp op, const std::string &chip, unsigned line = 0, unsigned times = 1,
                     unsigned skip = 0);

    // Used by the gpiod functions.
    bool chipExists(const std::string &chip) const;
    unsigned lineCount(const std::string &chip) const;
    bool fault(GpioOp op, const std::string &chip, unsigned line);
    bool request(const std::string &chip, unsigned line, const std::string &consumer, int value);
    bool set(const std::string &chip, unsigned line, int value);
    void release(const std::string &chip, unsigned line);
    void chipOpened() { ++m_openChips; }
    void chipClosed() { --m_openChips; }

private:
    GpioBank() { reset(); }
    struct Line {
        bool requested = false;
        std::optional<int> level;
    };
    struct Fault {
        GpioOp op;
        std::string chip;
        unsigned line;
        unsigned times;
        unsigned skip;
        unsigned seen = 0;
    };
    Line *find(const std::string &chip, unsigned line);
    void notify(const std::string &chip, unsigned line) const
    {
        if (m_listener)
            m_listener(chip, line);
    }
    const Line *find(const std::string &chip, unsigned line) const;

    std::vector<std::vector<Line>> m_chips;
    std::vector<GpioEvent> m_events;
    std::vector<Fault> m_faults;
    int m_openChips = 0;
    LineListener m_listener;
};

}  // namespace simboard

#endif
