// The simulated board: a registry of simulated devices behind the device seam,
// with the test-facing controls to inject faults and read the trace of calls.
#ifndef SIMBOARD_BOARD_H
#define SIMBOARD_BOARD_H

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simboard {

// A simulated device node. Every handler answers like the kernel does:
// 0 or a positive value on success, a negated errno on failure.
class Device {
public:
    virtual ~Device() = default;
    // A new descriptor on this device was opened.
    virtual int open(int fd, int flags);
    // The descriptor is being closed: release what it owns.
    virtual void close(int fd);
    virtual int ioctl(int fd, unsigned long request, void *arg);
    virtual ssize_t read(int fd, void *buffer, size_t length);
    virtual ssize_t write(int fd, const void *buffer, size_t length);
    // Maps device memory. Returns a real mapping (for instance of a memfd)
    // or MAP_FAILED with *error set to the errno to report.
    virtual void *mmap(int fd, void *address, size_t length, int prot, int flags, off_t offset,
                       int *error);
    // A mapping made by mmap() is being removed.
    virtual void munmap(void *address, size_t length);
    // Bytes of the record at `arg` that `request` writes back to the caller
    // (0: it writes nothing back, or the argument is a value).
    virtual size_t answerSize(unsigned long request) const;
};

// One entry of the trace: every call that reached a simulated device.
struct TraceEntry {
    enum Kind { OPEN, CLOSE, IOCTL, READ, WRITE, MMAP, MUNMAP } kind;
    std::string path;     // device path
    int fd = -1;
    unsigned long request = 0;  // ioctl request
    size_t length = 0;          // read, write, mmap and munmap length
    off_t offset = 0;           // mmap offset in bytes
    int prot = 0;               // mmap protection
    long result = 0;            // answer given (negated errno on failure)
    bool injected = false;      // the answer came from a planned call fault
};

// A fault planned on one call, whatever its device and request.
struct CallFault {
    enum Kind {
        ERROR,    // the call fails with `error` (a negated errno) and does nothing
        SHORT,    // the call is done; a read or write answers half the length, an
                  // ioctl fills only the first half of its record
        CORRUPT,  // the call is done; the bytes it returns are flipped
    } kind = ERROR;
    long error = 0;
};

class Board {
public:
    // The board of this process, with its default devices installed.
    static Board &instance();

    // Removes every device, descriptor, fault and trace entry, restores the
    // default root folder and installs the default devices again.
    void reset();

    void registerDevice(const std::string &path, std::shared_ptr<Device> device);
    void unregisterDevice(const std::string &path);
    std::shared_ptr<Device> device(const std::string &path) const;

    // Makes `path` answer `request` with `answer` (a negated errno, or a
    // non-negative value) instead of its handler, for `times` calls after
    // skipping `skip` calls of that request; times 0 means every call.
    // Faults on open use request OPEN_REQUEST.
    static constexpr unsigned long OPEN_REQUEST = ~0ul;
    void injectFault(const std::string &path, unsigned long request, long answer,
                     unsigned times = 1, unsigned skip = 0);
    void clearFaults();
    // Gives `fault` to the call that will take place `index` in the trace
    // (counted since the trace was last cleared). An error on close still
    // closes the descriptor, as the kernel does; unmapping never fails.
    // SHORT and CORRUPT apply to reads, to writes (SHORT) and to ioctls
    // that write a record back; on any other call they are ignored.
    void failCall(size_t index, CallFault fault);
    // Whether a fault of `kind` changes what the traced call does.
    bool accepts(const TraceEntry &entry, CallFault::Kind kind) const;

    // The newest calls: at most kTraceLimit, the older half dropped when full.
    static constexpr size_t kTraceLimit = 32768;
    const std::vector<TraceEntry> &trace() const { return m_trace; }
    void clearTrace()
    {
        m_trace.clear();
        m_calls = 0;
    }

    // Folder that holds the board's fixed files (device-tree model, board file).
    const std::string &root() const { return m_root; }
    void setRoot(const std::string &root) { m_root = root; }

    // Called by the device seam.
    bool serves(const std::string &path) const;
    bool isSimulated(int fd) const;
    int open(const std::string &path, int flags);  // descriptor, or -errno
    int close(int fd);
    long ioctl(int fd, unsigned long request, void *arg);
    ssize_t read(int fd, void *buffer, size_t length);
    ssize_t write(int fd, const void *buffer, size_t length);
    void *mmap(void *address, size_t length, int prot, int flags, int fd, off_t offset, int *error);
    // True when the range belonged to a simulated mapping (the caller unmaps it).
    bool munmap(void *address, size_t length);

    // Number of descriptors open on simulated devices.
    size_t openDescriptors() const { return m_open.size(); }
    // Number of mappings of simulated devices not yet unmapped.
    size_t liveMappings() const { return m_mappings.size(); }

private:
    Board();
    struct Fault {
        std::string path;
        unsigned long request;
        long answer;
        unsigned times;
        unsigned skip;
        unsigned seen = 0;
    };
    struct OpenFile {
        std::string path;
        std::shared_ptr<Device> device;
    };
    struct Mapping {
        size_t length;
        std::shared_ptr<Device> device;
        std::string path;
    };
    bool faultAnswer(const std::string &path, unsigned long request, long *answer);
    // The call fault planned for the call about to be traced, if any.
    const CallFault *callFault() const;
    // A read or a write: `move` transfers that many bytes with the device;
    // a corrupted answer flips the bytes read into `readBuffer`.
    ssize_t transfer(int fd, TraceEntry::Kind kind, void *readBuffer, size_t length,
                     const std::function<long(Device &, size_t)> &move);
    void record(TraceEntry entry);

    std::map<std::string, std::shared_ptr<Device>> m_devices;
    std::map<int, OpenFile> m_open;
    std::map<void *, Mapping> m_mappings;
    std::vector<Fault> m_faults;
    std::vector<TraceEntry> m_trace;
    size_t m_calls = 0;  // calls traced since the trace was cleared, dropped ones too
    std::map<size_t, CallFault> m_callFaults;
    std::string m_root;
};

// Installs the devices of the default simulated board (defined once in the
// simulated board's sources).
void installDefaultDevices(Board &board);

}  // namespace simboard

#endif
