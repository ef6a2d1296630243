#include "simboard/board.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "simboard/bounded_log.h"

#ifndef SIMBOARD_DEFAULT_ROOT
#define SIMBOARD_DEFAULT_ROOT ""
#endif

namespace simboard {

int Device::open(int, int) { return 0; }
void Device::close(int) {}
int Device::ioctl(int, unsigned long, void *) { return -ENOTTY; }
ssize_t Device::read(int, void *, size_t) { return -EINVAL; }
ssize_t Device::write(int, const void *, size_t) { return -EINVAL; }
void *Device::mmap(int, void *, size_t, int, int, off_t, int *error)
{
    *error = ENODEV;
    return MAP_FAILED;
}
void Device::munmap(void *, size_t) {}
size_t Device::answerSize(unsigned long) const { return 0; }

namespace {

// Flips every bit of the bytes a call returned.
void corrupt(void *data, size_t length)
{
    auto *bytes = static_cast<uint8_t *>(data);
    for (size_t n = 0; n < length; ++n)
        bytes[n] = static_cast<uint8_t>(~bytes[n]);
}

}  // namespace

Board &Board::instance()
{
    static Board board;
    return board;
}

Board::Board() : m_root(SIMBOARD_DEFAULT_ROOT) { installDefaultDevices(*this); }

void Board::reset()
{
    // Close what tests left open so that devices release their state.
    while (!m_open.empty())
        close(m_open.begin()->first);
    for (auto &[address, mapping] : m_mappings)
        ::munmap(address, mapping.length);
    m_mappings.clear();
    m_devices.clear();
    m_faults.clear();
    m_callFaults.clear();
    clearTrace();
    m_root = SIMBOARD_DEFAULT_ROOT;
    installDefaultDevices(*this);
}

void Board::registerDevice(const std::string &path, std::shared_ptr<Device> device)
{
    m_devices[path] = std::move(device);
}

void Board::unregisterDevice(const std::string &path) { m_devices.erase(path); }

std::shared_ptr<Device> Board::device(const std::string &path) const
{
    auto it = m_devices.find(path);
    return it == m_devices.end() ? nullptr : it->second;
}

void Board::injectFault(const std::string &path, unsigned long request, long answer,
                        unsigned times, unsigned skip)
{
    m_faults.push_back(Fault{path, request, answer, times, skip});
}

void Board::clearFaults()
{
    m_faults.clear();
    m_callFaults.clear();
}

void Board::failCall(size_t index, CallFault fault) { m_callFaults[index] = fault; }

const CallFault *Board::callFault() const
{
    auto it = m_callFaults.find(m_calls);
    return it == m_callFaults.end() ? nullptr : &it->second;
}

bool Board::accepts(const TraceEntry &entry, CallFault::Kind kind) const
{
    switch (kind) {
    case CallFault::ERROR:
        return entry.kind != TraceEntry::MUNMAP;
    case CallFault::SHORT:
        if (entry.kind == TraceEntry::READ || entry.kind == TraceEntry::WRITE)
            return entry.result > 0;
        [[fallthrough]];
    case CallFault::CORRUPT:
        if (entry.kind == TraceEntry::READ)
            return entry.result > 0;
        if (entry.kind != TraceEntry::IOCTL || entry.result < 0)
            return false;
        if (auto device = this->device(entry.path))
            return device->answerSize(entry.request) != 0;
        return false;
    }
    return false;
}

bool Board::faultAnswer(const std::string &path, unsigned long request, long *answer)
{
    // Every plan counts every call of its request; the first plan due answers.
    bool planned = false;
    for (Fault &fault : m_faults) {
        if (fault.path != path || fault.request != request)
            continue;
        unsigned call = fault.seen++;
        if (planned || call < fault.skip)
            continue;
        if (fault.times != 0 && call - fault.skip >= fault.times)
            continue;
        *answer = fault.answer;
        planned = true;
    }
    return planned;
}

void Board::record(TraceEntry entry)
{
    ++m_calls;
    appendBounded(m_trace, std::move(entry), kTraceLimit);
}

bool Board::serves(const std::string &path) const { return m_devices.count(path) != 0; }

bool Board::isSimulated(int fd) const { return m_open.count(fd) != 0; }

int Board::open(const std::string &path, int flags)
{
    auto device = this->device(path);
    if (!device)
        return -ENOENT;
    long answer = 0;
    const CallFault *planned = callFault();
    if (planned && planned->kind == CallFault::ERROR) {
        record({TraceEntry::OPEN, path, -1, 0, 0, 0, 0, planned->error, true});
        return static_cast<int>(planned->error);
    }
    if (faultAnswer(path, OPEN_REQUEST, &answer) && answer < 0) {
        record({TraceEntry::OPEN, path, -1, 0, 0, 0, 0, answer});
        return static_cast<int>(answer);
    }
    // A real descriptor, so that numbers never collide with real files.
    int fd = memfd_create("simboard-device", MFD_CLOEXEC);
    if (fd < 0)
        return -errno;
    int result = device->open(fd, flags);
    if (result < 0) {
        ::close(fd);
        record({TraceEntry::OPEN, path, -1, 0, 0, 0, 0, result});
        return result;
    }
    m_open[fd] = OpenFile{path, device};
    record({TraceEntry::OPEN, path, fd, 0, 0, 0, 0, fd});
    return fd;
}

int Board::close(int fd)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;
    m_open.erase(it);
    file.device->close(fd);
    ::close(fd);
    const CallFault *planned = callFault();
    const long answer = planned && planned->kind == CallFault::ERROR ? planned->error : 0;
    record({TraceEntry::CLOSE, file.path, fd, 0, 0, 0, 0, answer, answer != 0});
    return static_cast<int>(answer);
}

long Board::ioctl(int fd, unsigned long request, void *arg)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;  // the handler may close descriptors
    const CallFault *planned = callFault();
    long answer = 0;
    bool injected = false;
    if (planned && planned->kind == CallFault::ERROR) {
        answer = planned->error;
        injected = true;
    } else if (!faultAnswer(file.path, request, &answer)) {
        const size_t size = planned && arg ? file.device->answerSize(request) : 0;
        std::vector<uint8_t> before(size);
        if (size)
            std::memcpy(before.data(), arg, size);
        answer = file.device->ioctl(fd, request, arg);
        if (size && answer >= 0) {
            // A short answer leaves the second half of the record as the caller passed it.
            if (planned->kind == CallFault::SHORT)
                std::memcpy(static_cast<uint8_t *>(arg) + size / 2, before.data() + size / 2, size - size / 2);
            else
                corrupt(arg, size);
            injected = true;
        }
    }
    record({TraceEntry::IOCTL, file.path, fd, request, 0, 0, 0, answer, injected});
    return answer;
}

ssize_t Board::transfer(int fd, TraceEntry::Kind kind, void *readBuffer, size_t length,
                        const std::function<long(Device &, size_t)> &move)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;
    const CallFault *planned = callFault();
    long answer = 0;
    bool injected = false;
    if (planned && planned->kind == CallFault::ERROR) {
        answer = planned->error;
        injected = true;
    } else if (planned && planned->kind == CallFault::SHORT && length > 0) {
        answer = length > 1 ? move(*file.device, length / 2) : 0;
        injected = true;
    } else if (!faultAnswer(file.path, kind, &answer)) {
        answer = move(*file.device, length);
        if (planned && planned->kind == CallFault::CORRUPT && readBuffer && answer > 0) {
            corrupt(readBuffer, static_cast<size_t>(answer));
            injected = true;
        }
    }
    record({kind, file.path, fd, 0, length, 0, 0, answer, injected});
    return answer;
}

ssize_t Board::read(int fd, void *buffer, size_t length)
{
    return transfer(fd, TraceEntry::READ, buffer, length,
                    [fd, buffer](Device &device, size_t n) { return device.read(fd, buffer, n); });
}

ssize_t Board::write(int fd, const void *buffer, size_t length)
{
    return transfer(fd, TraceEntry::WRITE, nullptr, length,
                    [fd, buffer](Device &device, size_t n) { return device.write(fd, buffer, n); });
}

void *Board::mmap(void *address, size_t length, int prot, int flags, int fd, off_t offset,
                  int *error)
{
    auto it = m_open.find(fd);
    if (it == m_open.end()) {
        *error = EBADF;
        return MAP_FAILED;
    }
    OpenFile file = it->second;
    const CallFault *planned = callFault();
    if (planned && planned->kind == CallFault::ERROR) {
        *error = static_cast<int>(-planned->error);
        record({TraceEntry::MMAP, file.path, fd, 0, length, offset, prot, planned->error, true});
        return MAP_FAILED;
    }
    *error = 0;
    void *mapped = file.device->mmap(fd, address, length, prot, flags, offset, error);
    if (mapped == MAP_FAILED && *error == 0)
        *error = ENODEV;  // a failed mapping always reports an errno
    long result = mapped == MAP_FAILED ? -*error : 0;
    record({TraceEntry::MMAP, file.path, fd, 0, length, offset, prot, result});
    if (mapped != MAP_FAILED)
        m_mappings[mapped] = Mapping{length, file.device, file.path};
    return mapped;
}

bool Board::munmap(void *address, size_t length)
{
    auto it = m_mappings.find(address);
    if (it == m_mappings.end())
        return false;
    Mapping mapping = it->second;
    m_mappings.erase(it);
    mapping.device->munmap(address, length);
    record({TraceEntry::MUNMAP, mapping.path, -1, 0, length, 0, 0, 0});
    return true;
}

}  // namespace simboard
