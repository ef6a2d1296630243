// The simulated ISP driver: device handlers, the memory behind map ids and
// the controls tests use.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "isp_state.h"

namespace simboard {

namespace {

// Size of the record each pointer request carries; 0 for requests that pass
// an int by value.
constexpr size_t kRecordSize[CI_IOCTL_N] = {
    sizeof(CI_CONNECTION), sizeof(CI_LINESTORE), sizeof(CI_LINESTORE), sizeof(CI_MODULE_GMA_LUT),
    sizeof(CI_MODULE_GMA_LUT), sizeof(QOV_UINT32), sizeof(QOV_UINT64), sizeof(QOV_UINT32),
    sizeof(CI_RTM_INFO), sizeof(CI_PIPE_INFO), 0, sizeof(CI_POOL_PARAM), 0, sizeof(CI_PIPE_PARAM),
    sizeof(CI_ALLOC_PARAM), sizeof(CI_ALLOC_PARAM), sizeof(CI_LSH_GET_PARAM), sizeof(CI_LSH_SET_PARAM),
    sizeof(CI_LSH_CHANGE_PARAM), 0, 0, sizeof(CI_BUFFER_TRIGG), sizeof(CI_BUFFER_PARAM),
    sizeof(CI_BUFFER_TRIGG), 0, 0, sizeof(CI_HAS_AVAIL), 0, sizeof(CI_GASKET), 0,
    sizeof(CI_GASKET_PARAM), 0, sizeof(CI_DG_PARAM), 0, 0, sizeof(CI_DG_FRAMEINFO),
    sizeof(CI_DG_FRAMEINFO), sizeof(CI_DG_FRAMETRIG), sizeof(CI_DG_FRAMEWAIT), sizeof(CI_DG_FRAMEINFO),
    sizeof(CI_DEBUG_REG_PARAM),
};

int requestIndex(unsigned long request)
{
    for (int n = 0; n < CI_IOCTL_N; ++n) {
        if (CI_IOCTL_NUMBERS[n] == request)
            return n;
    }
    return -1;
}

// Largest object the driver allocates (a hardware limit of its memory).
constexpr uint64_t kMaxObjectSize = 1ull << 30;

// Memory the ISP can hold for one connection, allocated and imported buffers
// together: a pool beyond it is refused with ENOMEM, as on the board, whatever
// the host's own limits on mappings and descriptors.
constexpr uint64_t kMaxConnectionMemory = 1ull << 30;

}  // namespace

/*------------------------------------------------------------------------
 * Memory objects
 *------------------------------------------------------------------------*/

Connection *IspDriver::State::connection(int fd)
{
    auto it = connections.find(fd);
    return it == connections.end() ? nullptr : &it->second;
}

MemObject *IspDriver::State::allocateObject(Connection &conn, uint32_t size, bool userWritable, int *error)
{
    *error = 0;
    if (size == 0 || size > kMaxObjectSize) {
        *error = size == 0 ? EINVAL : E2BIG;
        return nullptr;
    }
    const uint64_t pages = (size + pageSize - 1) / pageSize;
    const uint64_t end = (conn.nextPage + pages) * pageSize;
    if (conn.nextPage + pages > UINT32_MAX || conn.liveBytes + pages * pageSize > kMaxConnectionMemory ||
        ftruncate(conn.fd, static_cast<off_t>(end)) != 0) {
        *error = ENOMEM;
        return nullptr;
    }
    void *view = ::mmap(nullptr, pages * pageSize, PROT_READ | PROT_WRITE, MAP_SHARED, conn.fd,
                        static_cast<off_t>(conn.nextPage * pageSize));
    if (view == MAP_FAILED) {
        *error = ENOMEM;
        return nullptr;
    }
    MemObject object;
    object.id = conn.nextPage;
    object.pages = static_cast<uint32_t>(pages);
    object.size = size;
    object.view = static_cast<uint8_t *>(view);
    object.viewLength = pages * pageSize;
    object.userWritable = userWritable;
    conn.nextPage += object.pages;
    conn.liveBytes += object.viewLength;
    return &(conn.objects[object.id] = object);
}

MemObject *IspDriver::State::importObject(Connection &conn, int fd, uint32_t size, int *error)
{
    *error = 0;
    struct stat info;
    if (fd <= 0 || fcntl(fd, F_GETFD) < 0 || fstat(fd, &info) != 0) {
        *error = EBADF;
        return nullptr;
    }
    const uint64_t available = static_cast<uint64_t>(info.st_size);
    if (size == 0)
        size = static_cast<uint32_t>(std::min<uint64_t>(available, UINT32_MAX));
    if (size == 0 || size > available) {
        *error = EINVAL;
        return nullptr;
    }
    if (size > kMaxObjectSize) {
        *error = E2BIG;
        return nullptr;
    }
    if (conn.liveBytes + size > kMaxConnectionMemory) {
        *error = ENOMEM;
        return nullptr;
    }
    int own = fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) {
        *error = EMFILE;
        return nullptr;
    }
    void *view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, own, 0);
    if (view == MAP_FAILED) {
        ::close(own);
        *error = EINVAL;
        return nullptr;
    }
    // The import takes one page index so that map ids stay unique.
    MemObject object;
    object.id = conn.nextPage++;
    object.pages = 1;
    object.size = size;
    object.view = static_cast<uint8_t *>(view);
    object.viewLength = size;
    object.importFd = own;
    conn.liveBytes += object.viewLength;
    return &(conn.objects[object.id] = object);
}

void IspDriver::State::freeObject(Connection &conn, uint32_t id)
{
    auto it = conn.objects.find(id);
    if (it == conn.objects.end())
        return;
    MemObject &object = it->second;
    ::munmap(object.view, object.viewLength);
    if (object.importFd >= 0) {
        ::close(object.importFd);
    } else {
        // Release the pages; user mappings that outlive the object read zeros.
        fallocate(conn.fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                  static_cast<off_t>(object.id * pageSize), static_cast<off_t>(object.pages * pageSize));
    }
    conn.liveBytes -= object.viewLength;
    conn.objects.erase(it);
}

MemObject *IspDriver::State::object(int ownerFd, uint32_t id)
{
    Connection *conn = connection(ownerFd);
    if (!conn || id == 0)
        return nullptr;
    auto it = conn->objects.find(id);
    return it == conn->objects.end() ? nullptr : &it->second;
}

uint32_t IspDriver::State::ticks(uint64_t ns) const
{
    return static_cast<uint32_t>(ns * profile.info.ui32RefClockMhz / 1000);
}

unsigned IspDriver::State::contexts() const { return std::min<unsigned>(profile.info.config_ui8NContexts, 2); }

unsigned IspDriver::State::imagers() const { return std::min<unsigned>(profile.info.config_ui8NImagers, 4); }

TileScheme IspDriver::State::tileScheme() const
{
    if (profile.info.uiTiledScheme == 512)
        return TileScheme{512, 8, 1024, 32768};
    return TileScheme{256, 16, 512, 16384};
}

bool IspDriver::State::corruption(IspCorruption kind, uint32_t *value, unsigned index)
{
    bool applied = false;
    for (Corruption &plan : corruptions) {
        if (plan.kind != kind || plan.index != index)
            continue;
        unsigned call = plan.seen++;
        if (call < plan.skip || (plan.times != 0 && call - plan.skip >= plan.times))
            continue;
        *value = plan.value;
        applied = true;
    }
    return applied;
}

/*------------------------------------------------------------------------
 * Device handlers
 *------------------------------------------------------------------------*/

IspDriver::IspDriver() : m(std::make_unique<State>())
{
    m->profile = IspProfile::standard();
    m->pageSize = static_cast<size_t>(getpagesize());
    m->clock = 1000000;  // 1 ms after power-up: the first timestamps are not 0
    // A monotone default gamma curve (power 1/2.2) of 12-bit values.
    for (int i = 0; i < 63; ++i) {
        auto point = static_cast<QOV_UINT16>(std::lround(4095.0 * std::pow(i / 62.0, 1.0 / 2.2)));
        m->gamma.aRedPoints[i] = m->gamma.aGreenPoints[i] = m->gamma.aBluePoints[i] = point;
    }
    m->model = makePipelineImageModel();
}

IspDriver::~IspDriver()
{
    while (!m->connections.empty())
        m->closeConnection(m->connections.begin()->first);
}

std::shared_ptr<IspDriver> IspDriver::installed()
{
    return std::dynamic_pointer_cast<IspDriver>(Board::instance().device(kIspDevicePath));
}

int IspDriver::open(int fd, int flags)
{
    if ((flags & O_ACCMODE) != O_RDWR)
        return -EACCES;
    Connection conn;
    conn.fd = fd;
    m->connections[fd] = std::move(conn);
    return 0;
}

void IspDriver::close(int fd) { m->closeConnection(fd); }

int IspDriver::ioctl(int fd, unsigned long request, void *arg)
{
    IspRequest entry;
    entry.fd = fd;
    entry.number = request;
    entry.index = requestIndex(request);
    const size_t recordSize = entry.index >= 0 ? kRecordSize[entry.index] : 0;
    if (entry.index >= 0 && recordSize == 0)
        entry.argument = static_cast<long>(reinterpret_cast<intptr_t>(arg));
    const bool traced = m->traceLimit != 0;
    if (traced && recordSize != 0 && arg) {
        const auto *bytes = static_cast<const uint8_t *>(arg);
        entry.record.assign(bytes, bytes + recordSize);
    }

    long result = -ENOTTY;
    if (entry.index >= 0) {
        ++m->counts[entry.index];
        result = m->dispatch(fd, entry.index, arg);
    }

    if (!traced)
        return static_cast<int>(result);
    if (recordSize != 0 && arg) {
        const auto *bytes = static_cast<const uint8_t *>(arg);
        entry.answer.assign(bytes, bytes + recordSize);
    }
    entry.result = result;
    {
        if (m->trace.size() >= m->traceLimit)
            m->trace.pop_front();
        m->trace.push_back(std::move(entry));
    }
    return static_cast<int>(result);
}

size_t IspDriver::answerSize(unsigned long request) const
{
    // Direction code 1 (alone or with 2) marks the requests that write their record back.
    const int index = requestIndex(request);
    return index >= 0 && ((request >> 30) & 1u) ? kRecordSize[index] : 0;
}

void *IspDriver::mmap(int fd, void *address, size_t length, int prot, int flags, off_t offset, int *error)
{
    Connection *conn = m->connection(fd);
    if (!conn) {
        *error = EBADF;
        return MAP_FAILED;
    }
    if (offset < 0 || static_cast<size_t>(offset) % m->pageSize != 0 || length == 0 ||
        !(flags & MAP_SHARED)) {
        *error = EINVAL;
        return MAP_FAILED;
    }
    const size_t page = static_cast<size_t>(offset) / m->pageSize;
    auto it = page > UINT32_MAX ? conn->objects.end() : conn->objects.find(static_cast<uint32_t>(page));
    if (it == conn->objects.end() || length > it->second.size) {
        *error = EINVAL;
        return MAP_FAILED;
    }
    const MemObject &object = it->second;
    if ((prot & PROT_WRITE) && !object.userWritable) {
        *error = EACCES;
        return MAP_FAILED;
    }
    void *mapped = object.importFd >= 0 ? ::mmap(address, length, prot, flags, object.importFd, 0)
                                        : ::mmap(address, length, prot, flags, fd, offset);
    if (mapped == MAP_FAILED) {
        *error = errno;
        return MAP_FAILED;
    }
    m->userMappings[mapped] = length;
    return mapped;
}

void IspDriver::munmap(void *address, size_t) { m->userMappings.erase(address); }

/*------------------------------------------------------------------------
 * Test controls
 *------------------------------------------------------------------------*/

void IspDriver::setProfile(const IspProfile &profile) { m->profile = profile; }

const IspProfile &IspDriver::profile() const { return m->profile; }

void IspDriver::planFault(CI_eIOCTL index, long answer, unsigned times, unsigned skip)
{
    Board::instance().injectFault(kIspDevicePath, CI_IOCTL_NUMBER(index), answer, times, skip);
}

void IspDriver::refuseOpen(long error, unsigned times)
{
    Board::instance().injectFault(kIspDevicePath, Board::OPEN_REQUEST, error, times);
}

void IspDriver::corrupt(IspCorruption kind, uint32_t value, unsigned index, unsigned times, unsigned skip)
{
    m->corruptions.push_back(Corruption{kind, value, index, times, skip});
}

void IspDriver::markFramesErroneous(unsigned count) { m->erroneousFrames += count; }

void IspDriver::dropFrames(unsigned count) { m->droppedFrames += count; }

const std::deque<IspRequest> &IspDriver::requests() const { return m->trace; }

unsigned IspDriver::requestCount(CI_eIOCTL index) const
{
    return index >= 0 && index < CI_IOCTL_N ? m->counts[index] : 0;
}

void IspDriver::clearRequests()
{
    m->trace.clear();
    m->counts.fill(0);
}

void IspDriver::setRequestLimit(size_t limit)
{
    m->traceLimit = limit;
    while (m->trace.size() > limit)
        m->trace.pop_front();
}

std::vector<TraceEntry> IspDriver::mappingTrace() const
{
    std::vector<TraceEntry> result;
    for (const TraceEntry &entry : Board::instance().trace()) {
        if (entry.path == kIspDevicePath && (entry.kind == TraceEntry::MMAP || entry.kind == TraceEntry::MUNMAP))
            result.push_back(entry);
    }
    return result;
}

IspLiveObjects IspDriver::liveObjects() const
{
    IspLiveObjects live;
    live.connections = m->connections.size();
    for (const auto &[fd, conn] : m->connections)
        live.memoryObjects += conn.objects.size();
    live.pipelines = m->pipelines.size();
    for (const auto &[id, pipeline] : m->pipelines) {
        live.shots += pipeline->shots.size();
        for (const auto &[bufferId, buffer] : pipeline->buffers)
            (buffer.type == CI_ALLOC_LSHMAT ? live.matrices : live.buffers) += 1;
    }
    live.generators = m->generators.size();
    for (const auto &[id, generator] : m->generators)
        live.generatorFrames += generator->frames.size();
    for (const Gasket &gasket : m->gaskets)
        live.reservedGaskets += gasket.reserved ? 1 : 0;
    live.userMappings = m->userMappings.size();
    return live;
}

CI_LINESTORE IspDriver::linestore() const
{
    CI_LINESTORE result{};
    for (unsigned c = 0; c < 2; ++c) {
        result.aStart[c] = m->linestoreStart[c];
        result.aSize[c] = m->linestoreSize[c];
        result.aActive[c] = m->contextActive(c) ? 1 : 0;
    }
    return result;
}

std::vector<int> IspDriver::pipelineIds() const
{
    std::vector<int> ids;
    for (const auto &[id, pipeline] : m->pipelines)
        ids.push_back(id);
    return ids;
}

std::optional<IspPipelineView> IspDriver::pipeline(int id) const
{
    auto it = m->pipelines.find(id);
    if (it == m->pipelines.end())
        return std::nullopt;
    const Pipeline &p = *it->second;
    IspPipelineView view;
    view.id = p.id;
    view.ownerFd = p.ownerFd;
    view.started = p.started;
    view.info = p.info;
    view.receivedGroups = p.receivedGroups;
    view.updates = p.updates;
    view.loadStructure = p.load;
    view.changedWords = p.changedWords;
    view.defects = p.defects;
    view.matrixInUse = p.matrixInUse;
    view.missedFrames = p.missedFrames;
    for (const auto &shot : p.shots) {
        IspShotView shotView;
        shotView.id = shot->id;
        shotView.state = shot->state;
        shotView.mapIds = shot->mapIds;
        CI_BUFFID &ids = shotView.buffers;
        const auto &o = shot->outputs;
        ids.encId = o[kEncoder].bufferId;
        ids.encStrideY = o[kEncoder].stride;
        ids.encStrideC = o[kEncoder].strideC;
        ids.encOffsetY = o[kEncoder].offset;
        ids.encOffsetC = o[kEncoder].offsetC;
        ids.dispId = o[kDisplay].bufferId;
        ids.dispStride = o[kDisplay].stride;
        ids.dispOffset = o[kDisplay].offset;
        ids.idHDRExt = o[kHdrExtraction].bufferId;
        ids.HDRExtStride = o[kHdrExtraction].stride;
        ids.HDRExtOffset = o[kHdrExtraction].offset;
        ids.idHDRIns = o[kHdrInsertion].bufferId;
        ids.HDRInsStride = o[kHdrInsertion].stride;
        ids.HDRInsOffset = o[kHdrInsertion].offset;
        ids.idRaw2D = o[kRaw2D].bufferId;
        ids.raw2DStride = o[kRaw2D].stride;
        ids.raw2DOffset = o[kRaw2D].offset;
        view.shots.push_back(shotView);
    }
    for (const auto &[bufferId, buffer] : p.buffers) {
        IspBufferView b;
        b.id = buffer.id;
        b.type = buffer.type;
        b.size = buffer.size;
        b.imported = buffer.imported;
        b.tiled = buffer.tiled;
        b.bound = buffer.boundShot != 0;
        b.matrix = buffer.matrix;
        b.description = buffer.description;
        view.buffers.push_back(b);
    }
    return view;
}

IspGasketView IspDriver::gasket(unsigned gasket) const
{
    IspGasketView view;
    if (gasket >= m->gaskets.size())
        return view;
    const Gasket &g = m->gaskets[gasket];
    view.reserved = g.reserved;
    view.ownerFd = g.ownerFd;
    view.request = g.request;
    view.frameCount = g.frameCount;
    view.crcErrors = g.crc;
    view.headerErrors = g.header;
    view.eccErrors = g.ecc;
    view.eccCorrected = g.eccCorrected;
    return view;
}

std::optional<IspGeneratorView> IspDriver::generator(int id) const
{
    auto it = m->generators.find(id);
    if (it == m->generators.end())
        return std::nullopt;
    const Generator &g = *it->second;
    IspGeneratorView view;
    view.id = g.id;
    view.ownerFd = g.ownerFd;
    view.started = g.started;
    view.setup = g.setup;
    view.processed = g.processed;
    for (const GeneratorFrame &frame : g.frames)
        view.frames.emplace_back(frame.id, frame.state);
    return view;
}

CI_MODULE_GMA_LUT IspDriver::gammaTable() const { return m->gamma; }

std::optional<uint32_t> IspDriver::debugRegister(unsigned bank, uint32_t offset) const
{
    auto it = m->debugRegisters.find({bank, offset});
    if (it == m->debugRegisters.end())
        return std::nullopt;
    return it->second;
}

uint64_t IspDriver::now() const { return m->clock; }

void IspDriver::advanceClock(uint64_t nanoseconds) { m->clock += nanoseconds; }

uint32_t IspDriver::hardwareTimestamp() const { return m->ticks(m->clock); }

void IspDriver::attachSource(unsigned gasket, std::shared_ptr<GasketSource> source)
{
    if (gasket < m->gaskets.size())
        m->gaskets[gasket].source = std::move(source);
}

void IspDriver::tick()
{
    for (unsigned g = 0; g < m->imagers(); ++g) {
        if (m->hasInput(g))
            m->deliverFrame(g);
    }
}

void IspDriver::setImageModel(std::unique_ptr<IspImageModel> model)
{
    m->model = model ? std::move(model) : makePipelineImageModel();
}

}  // namespace simboard
