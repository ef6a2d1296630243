// Fault sweep over Bramble's scripted captures: a data-generator run and a
// run on a simulated sensor chip, each with its control loops, are recorded
// once; then every recorded driver request and I2C transfer is made to fail
// in a run of its own (each errno a driver can give, a short and a corrupted
// answer where the call returns data). Every run must end with a clear error
// or a complete capture and leave no driver object, descriptor, mapping,
// framebuffer or GPIO line behind.
//
// By default every call site (device, kind and request) fails once, in a
// shorter script on the ISP's plain image model that reaches the same sites;
// with VEZARA_FULL_SWEEP=1 (scripts/fault-sweep.sh) every call fails with
// every fault, and every run is listed.
#include <dirent.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <sstream>
#include <tuple>

#include "bramble_test_support.h"
#include "simboard/gpio.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace brambletest {
namespace {

// Whether memory was leaked so far (the sanitizer prints where it was allocated).
bool leaksFound()
{
#if defined(__SANITIZE_ADDRESS__)
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

using simboard::Board;
using simboard::CallFault;
using simboard::TraceEntry;

struct Capture {
    const char *name;
    bool sensor;  // places the run's chip before the run
    std::vector<std::string> args;
    std::string keys;       // the full sweep's script
    std::string shortKeys;  // the same calls in fewer frames, for the sweep of every call site
};

void PrintTo(const Capture &capture, std::ostream *os) { *os << capture.name; }

// Start, a few frames with a restart of the capture in the middle, stop.
const Capture kCaptures[] = {
    // 32 lines are too few for the white-balance tile statistics: no white-balance control
    {"DataGenerator", false, {"-sensor", "IIF", "-setupFile", kDgSetup, "-DG_inputJUX", kJux, "-disableAWB"}, ".a..x",
     ".a..x"},
    {"Sensor", true, {"-sensor", "OV5695_0", "-sensorMode", "2", "-setupFile", kSensorSetup}, ".a..x", "a.x"},
};

// The errors a kernel driver or the I2C adapter can answer.
const int kErrors[] = {EINVAL, EFAULT, ENOMEM, EBUSY, EIO, EINTR, EAGAIN, ETIMEDOUT, ENODEV, EPERM};
// A close always releases the descriptor; it may still report these.
const int kCloseErrors[] = {EIO, EINTR};

const char *kindName(TraceEntry::Kind kind)
{
    static const char *const names[] = {"open", "close", "ioctl", "read", "write", "mmap", "munmap"};
    return names[kind];
}

std::string describe(const TraceEntry &entry, const CallFault &fault)
{
    std::ostringstream os;
    os << kindName(entry.kind) << " " << entry.path;
    if (entry.kind == TraceEntry::IOCTL)
        os << " 0x" << std::hex << entry.request << std::dec;
    if (fault.kind == CallFault::ERROR)
        os << " -> " << strerrorname_np(static_cast<int>(-fault.error));
    else
        os << (fault.kind == CallFault::SHORT ? " -> short answer" : " -> corrupted answer");
    return os.str();
}

// Where a call is made from, as far as the trace tells: device, kind and request.
using Site = std::tuple<std::string, int, unsigned long>;
Site siteOf(const TraceEntry &entry) { return {entry.path, entry.kind, entry.request}; }

bool sameCall(const TraceEntry &a, const TraceEntry &b) { return siteOf(a) == siteOf(b) && a.length == b.length; }

size_t processDescriptors()
{
    size_t count = 0;
    if (DIR *dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

struct Planned {
    size_t index;
    CallFault fault;
};

struct Figures {
    size_t calls = 0;
    size_t runs = 0;
    size_t errors = 0;     // ended with a clear error
    size_t recovered = 0;  // completed the capture
    std::vector<std::string> problems;
    bool listRuns = false; // prints the outcome of every run
};

class BrambleFaultSweep : public BrambleRun, public testing::WithParamInterface<Capture> {
protected:
    // A fresh board; `plain` uses the ISP's plain image model, much cheaper
    // than the full pipeline but giving no statistics.
    void prepare(const Capture &capture, bool plain)
    {
        Board::instance().reset();
        simboard::Sleeps::setInstant(true);
        display = simboard::DisplayDevice::installed();
        if (plain)
            simboard::IspDriver::installed()->setImageModel(simboard::makePlainImageModel());
        if (capture.sensor)
            placeSensor();
    }

    // The calls of one fault-free run, and the number of frames it shows.
    std::vector<TraceEntry> record(const Capture &capture, const std::string &keys, bool plain, size_t *frames)
    {
        prepare(capture, plain);
        const RunResult r = run(capture.args, keys);
        EXPECT_EQ(0, r.status) << r.output;
        *frames = r.count(" - sensor ");
        return Board::instance().trace();
    }

    // Every fault that applies to a recorded call.
    static std::vector<CallFault> faultsFor(const TraceEntry &entry)
    {
        std::vector<CallFault> faults;
        const Board &board = Board::instance();
        if (entry.kind == TraceEntry::CLOSE) {
            for (int error : kCloseErrors)
                faults.push_back({CallFault::ERROR, -error});
        } else if (board.accepts(entry, CallFault::ERROR)) {
            for (int error : kErrors)
                faults.push_back({CallFault::ERROR, -error});
        }
        for (CallFault::Kind kind : {CallFault::SHORT, CallFault::CORRUPT})
            if (board.accepts(entry, kind))
                faults.push_back({kind, 0});
        return faults;
    }

    // The first call of every site, each failed once: errors taken in turn
    // from the list, and a short and a corrupted answer where the call returns data.
    static std::vector<Planned> siteFaults(const std::vector<TraceEntry> &trace)
    {
        std::vector<Planned> planned;
        std::set<Site> seen;
        size_t turn = 0;
        for (size_t index = 0; index < trace.size(); ++index) {
            if (!seen.insert(siteOf(trace[index])).second)
                continue;
            std::vector<CallFault> faults = faultsFor(trace[index]);
            if (faults.empty())
                continue;
            std::vector<CallFault> errors, data;
            for (const CallFault &fault : faults)
                (fault.kind == CallFault::ERROR ? errors : data).push_back(fault);
            if (!errors.empty())
                planned.push_back({index, errors[turn++ % errors.size()]});
            for (const CallFault &fault : data)
                planned.push_back({index, fault});
        }
        return planned;
    }

    static std::vector<Planned> everyFault(const std::vector<TraceEntry> &trace)
    {
        std::vector<Planned> planned;
        for (size_t index = 0; index < trace.size(); ++index)
            for (const CallFault &fault : faultsFor(trace[index]))
                planned.push_back({index, fault});
        return planned;
    }

    // One run with one call failing: what went wrong, empty when nothing did.
    std::string faultyRun(const Capture &capture, const std::string &keys, const TraceEntry &call,
                          const Planned &planned, size_t frames, bool plain, Figures &figures)
    {
        prepare(capture, plain);
        Board &board = Board::instance();
        board.failCall(planned.index, planned.fault);
        const size_t descriptors = processDescriptors();
        const RunResult r = run(capture.args, keys);
        ++figures.runs;

        std::vector<std::string> wrong;
        const auto &trace = board.trace();
        if (trace.size() <= planned.index || !sameCall(trace[planned.index], call))
            wrong.push_back("the run took another path before the faulty call");
        else if (!trace[planned.index].injected)
            wrong.push_back("the fault was not injected");
        if (figures.listRuns)
            std::printf("%s call %zu (%s): %s\n", capture.name, planned.index, describe(call, planned.fault).c_str(),
                        r.status == 0 ? "recovered" : "error");
        std::fflush(stdout);
        if (r.status == 0) {
            ++figures.recovered;
            if (r.count(" - sensor ") != frames || !r.contains("Exiting loop\n"))
                wrong.push_back("success without the whole capture");
        } else if (r.status == 1 && r.contains("ERROR [")) {
            ++figures.errors;
        } else {
            wrong.push_back("status " + std::to_string(r.status) + " without an error message");
        }
        if (auto driver = simboard::IspDriver::installed(); driver && driver->liveObjects().total() != 0)
            wrong.push_back(std::to_string(driver->liveObjects().total()) + " live driver objects");
        if (board.openDescriptors() != 0)
            wrong.push_back(std::to_string(board.openDescriptors()) + " open device descriptors");
        if (board.liveMappings() != 0)
            wrong.push_back(std::to_string(board.liveMappings()) + " live mappings");
        if (processDescriptors() != descriptors)
            wrong.push_back("process descriptors " + std::to_string(descriptors) + " -> " +
                            std::to_string(processDescriptors()));
        if (display && (display->liveFramebuffers() || display->liveDumbBuffers() || display->livePlaneResources()))
            wrong.push_back("display objects left");
        const auto &gpio = simboard::GpioBank::instance();
        if (gpio.openChips() != 0)
            wrong.push_back(std::to_string(gpio.openChips()) + " open GPIO chips");
        for (const auto &event : gpio.events())
            if (gpio.requested(event.chip, event.line)) {
                wrong.push_back("GPIO line " + event.chip + "/" + std::to_string(event.line) + " still requested");
                break;
            }

        if (std::getenv("VEZARA_SWEEP_VERBOSE"))
            std::printf("%s call %zu (%s):\n%s\n", capture.name, planned.index,
                        describe(call, planned.fault).c_str(), r.output.c_str());
        if (wrong.empty())
            return {};
        std::string text = std::string(capture.name) + " call " + std::to_string(planned.index) + " (" +
                           describe(call, planned.fault) + "):";
        for (const std::string &w : wrong)
            text += " " + w + ";";
        return text;
    }

    Figures sweep(const Capture &capture, bool full)
    {
        Figures figures;
        figures.listRuns = full;
        const std::string &keys = full ? capture.keys : capture.shortKeys;
        // VEZARA_SWEEP_PLAIN=1 runs the full sweep on the plain model too (the sanitizer build's pace)
        const bool plain = !full || std::getenv("VEZARA_SWEEP_PLAIN");
        size_t frames = 0;
        const std::vector<TraceEntry> trace = record(capture, keys, plain, &frames);
        figures.calls = trace.size();
        // the captures are deterministic: a second run makes the same calls
        size_t again = 0;
        const std::vector<TraceEntry> second = record(capture, keys, plain, &again);
        EXPECT_EQ(trace.size(), second.size());
        EXPECT_EQ(frames, again);
        for (size_t n = 0; n < std::min(trace.size(), second.size()); ++n)
            if (!sameCall(trace[n], second[n])) {
                ADD_FAILURE() << "call " << n << " differs between two fault-free runs";
                break;
            }
        if (!full) {
            // the shorter script on the plain model reaches every call site of the full sweep's capture
            size_t fullFrames = 0;
            std::set<Site> sites, fullSites;
            for (const TraceEntry &entry : trace)
                sites.insert(siteOf(entry));
            for (const TraceEntry &entry : record(capture, capture.keys, false, &fullFrames))
                fullSites.insert(siteOf(entry));
            EXPECT_EQ(fullSites, sites) << capture.name;
        }
        // VEZARA_SWEEP_SHARD=i/n runs the i-th of n interleaved shares of the runs
        size_t shard = 0, shards = 1;
        if (const char *share = std::getenv("VEZARA_SWEEP_SHARD"))
            if (std::sscanf(share, "%zu/%zu", &shard, &shards) != 2 || shards == 0 || shard >= shards)
                shard = 0, shards = 1;
        std::vector<Planned> plan = full ? everyFault(trace) : siteFaults(trace);
        // VEZARA_SWEEP_CALL=n keeps the runs that fail call n (with VEZARA_SWEEP_VERBOSE, to read their printout)
        if (const char *only = std::getenv("VEZARA_SWEEP_CALL"))
            std::erase_if(plan, [only](const Planned &p) { return p.index != std::strtoul(only, nullptr, 10); });
        for (size_t n = shard; n < plan.size(); n += shards) {
            const Planned &planned = plan[n];
            std::string problem = faultyRun(capture, keys, trace[planned.index], planned, frames, plain, figures);
            if (!problem.empty())
                figures.problems.push_back(std::move(problem));
        }
        // one leak check for the whole sweep (each costs a scan of the heap);
        // the sanitizer prints where the memory was allocated
        if (leaksFound())
            figures.problems.push_back(std::string(capture.name) + ": memory leaked (printed above)");
        return figures;
    }
};

TEST_P(BrambleFaultSweep, EveryFailingCallEndsCleanly)
{
    const bool full = std::getenv("VEZARA_FULL_SWEEP") && std::string(std::getenv("VEZARA_FULL_SWEEP")) == "1";
    const Capture &capture = GetParam();
    const auto start = std::chrono::steady_clock::now();
    const Figures figures = sweep(capture, full);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s sweep%s: %zu calls recorded, %zu runs: %zu clear errors, %zu recovered, %zu problems, %.1f s\n",
                capture.name, full ? " (full)" : "", figures.calls, figures.runs, figures.errors, figures.recovered,
                figures.problems.size(), seconds);
    std::fflush(stdout);
    EXPECT_GT(figures.calls, 0u);
    for (const std::string &problem : figures.problems)
        ADD_FAILURE() << problem;
}

INSTANTIATE_TEST_SUITE_P(Captures, BrambleFaultSweep, testing::ValuesIn(kCaptures),
                         [](const testing::TestParamInfo<Capture> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brambletest
