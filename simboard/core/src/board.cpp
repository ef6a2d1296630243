#include "simboard/board.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

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
    m_trace.clear();
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

void Board::clearFaults() { m_faults.clear(); }

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

void Board::record(TraceEntry entry) { appendBounded(m_trace, std::move(entry), kTraceLimit); }

bool Board::serves(const std::string &path) const { return m_devices.count(path) != 0; }

bool Board::isSimulated(int fd) const { return m_open.count(fd) != 0; }

int Board::open(const std::string &path, int flags)
{
    auto device = this->device(path);
    if (!device)
        return -ENOENT;
    long answer = 0;
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
    record({TraceEntry::CLOSE, file.path, fd, 0, 0, 0, 0, 0});
    return 0;
}

long Board::ioctl(int fd, unsigned long request, void *arg)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;  // the handler may close descriptors
    long answer = 0;
    if (!faultAnswer(file.path, request, &answer))
        answer = file.device->ioctl(fd, request, arg);
    record({TraceEntry::IOCTL, file.path, fd, request, 0, 0, 0, answer});
    return answer;
}

ssize_t Board::read(int fd, void *buffer, size_t length)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;
    long answer = 0;
    if (!faultAnswer(file.path, TraceEntry::READ, &answer))
        answer = file.device->read(fd, buffer, length);
    record({TraceEntry::READ, file.path, fd, 0, length, 0, 0, answer});
    return answer;
}

ssize_t Board::write(int fd, const void *buffer, size_t length)
{
    auto it = m_open.find(fd);
    if (it == m_open.end())
        return -EBADF;
    OpenFile file = it->second;
    long answer = 0;
    if (!faultAnswer(file.path, TraceEntry::WRITE, &answer))
        answer = file.device->write(fd, buffer, length);
    record({TraceEntry::WRITE, file.path, fd, 0, length, 0, 0, answer});
    return answer;
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
