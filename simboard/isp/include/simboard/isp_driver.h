// The simulated ISP kernel driver ("/dev/vadivodov0") and the ISP behind it,
// with the controls tests use: the hardware profile, planned faults and
// corrupted answers, frames marked erroneous, the trace of requests and the
// counts of live objects.
#ifndef SIMBOARD_ISP_DRIVER_H
#define SIMBOARD_ISP_DRIVER_H

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ci_kernel/ci_ioctrl.h"
#include "simboard/board.h"
#include "simboard/isp_model.h"

namespace simboard {

inline constexpr const char *kIspDevicePath = "/dev/vadivodov0";

// Size of the statistics block of a shot and of the load structure.
inline constexpr uint32_t kIspStatisticsSize = 6108;
inline constexpr uint32_t kIspLoadStructureSize = 1268;
inline constexpr uint32_t kIspLoadStructureWords = kIspLoadStructureSize / 4;

// What the ISP reports of itself.
struct IspProfile {
    CI_HWINFO info{};
    bool debugSupport = true;  // false: the debug request answers -ENOTTY

    // Version 2.7 with every functionality, 2 contexts, 4 gaskets.
    static IspProfile standard();
    // The standard profile reporting another hardware version (2.5, 2.4, 1.0, 3.0...).
    static IspProfile version(uint8_t major, uint8_t minor);
    static IspProfile noFunctionalities();
    static IspProfile oneContext();
    static IspProfile tilingScheme512();
    static IspProfile wrongPipelineSize();       // reports 16356
    static IspProfile wrongLoadStructureSize();  // reports 1264
    static IspProfile noDebug();
};

// Objects alive in the driver; all zero once every connection is closed.
struct IspLiveObjects {
    size_t connections = 0;
    size_t pipelines = 0;
    size_t shots = 0;
    size_t buffers = 0;        // output buffers, allocated or imported
    size_t matrices = 0;       // lens-shading matrices
    size_t generators = 0;
    size_t generatorFrames = 0;
    size_t reservedGaskets = 0;
    size_t memoryObjects = 0;  // everything that has a map id
    size_t userMappings = 0;   // mappings made through the device and not yet unmapped
    size_t total() const
    {
        return connections + pipelines + shots + buffers + matrices + generators + generatorFrames +
               reservedGaskets + memoryObjects + userMappings;
    }
};

// Answers the driver can be made to corrupt (the real work is still done).
enum class IspCorruption {
    AddPoolStatsSize,        // add-pool answers `value` as statsSize
    AddPoolMapId,            // add-pool answers `value` as map id number `index` (CI_POOL_MAP_IDS)
    CreateBufferSize,        // buffer creation writes back `value` as the size
    CreateBufferMapId,       // buffer creation writes back `value` as the map id
    AcquireShotId,           // acquisition answers `value` as the shot id
    AcquireBufferId,         // acquisition answers `value` as buffer id `index` (0 enc, 1 disp, 2 HDR ext, 3 RAW 2D)
    AcquireMissedFrames,     // acquisition answers `value` missed frames
    AcquireFrameError,       // acquisition answers a frame error (answer and status word)
    AcquireStatusWord,       // the acquired shot's statistics status word becomes `value`
    TriggerStopsCapture,     // the trigger finds the capture stopped by the driver: -ECANCELED
    GeneratorAcquireFrameId, // generator frame acquisition answers `value` as the frame id
};

// One request that reached the driver.
struct IspRequest {
    int fd = -1;
    unsigned long number = 0;   // request number as received
    int index = -1;             // CI_eIOCTL value, -1 for an unknown number
    long argument = 0;          // the int of a by-value request
    std::vector<uint8_t> record;  // the record as received (pointer requests)
    std::vector<uint8_t> answer;  // the record as the driver left it
    long result = 0;
};

enum class IspShotState { Free, Queued, Done, Acquired };
enum class IspMatrixState { Idle, User, InUse };
enum class IspFrameState { Free, User, Queued };

struct IspShotView {
    int id = 0;
    IspShotState state = IspShotState::Free;
    std::array<uint32_t, CI_POOL_MAP_ID_COUNT> mapIds{};
    CI_BUFFID buffers{};  // buffers bound by the trigger, defaults resolved
};

struct IspBufferView {
    uint32_t id = 0;
    CI_ALLOC_BUFF type = CI_ALLOC_ENC;
    uint32_t size = 0;
    bool imported = false;
    bool tiled = false;
    bool bound = false;                             // output buffer bound to a shot
    IspMatrixState matrix = IspMatrixState::Idle;  // lens-shading matrices
    CI_MODULE_LSH_MAT description{};               // lens-shading matrices
};

struct IspPipelineView {
    int id = 0;
    int ownerFd = -1;
    bool started = false;
    CI_PIPE_INFO info{};
    uint32_t receivedGroups = 0;  // update groups 0-6 received at least once
    unsigned updates = 0;
    std::array<uint32_t, kIspLoadStructureWords> loadStructure{};
    std::vector<unsigned> changedWords;   // words the last update changed
    std::vector<uint16_t> defects;        // defect-map input, x and y pairs
    uint32_t matrixInUse = 0;
    int missedFrames = 0;                 // since the last completed shot
    std::vector<IspShotView> shots;
    std::vector<IspBufferView> buffers;   // output buffers and matrices
};

struct IspGasketView {
    bool reserved = false;
    int ownerFd = -1;
    CI_GASKET request{};
    uint32_t frameCount = 0;
    uint8_t crcErrors = 0;
    uint8_t headerErrors = 0;
    uint8_t eccErrors = 0;
    uint8_t eccCorrected = 0;
};

struct IspGeneratorView {
    int id = 0;
    int ownerFd = -1;
    bool started = false;
    CI_DATAGEN setup{};
    unsigned processed = 0;  // processed frames not yet waited for
    std::vector<std::pair<uint32_t, IspFrameState>> frames;
};

// A sensor model streaming into a gasket. The gasket takes its frames while
// it is reserved and the source streams.
class GasketSource {
public:
    virtual ~GasketSource() = default;
    virtual bool streaming() const = 0;
    // Fills the next frame; returns its frame period in nanoseconds (0: no frame).
    virtual uint64_t nextFrame(BayerFrame &frame) = 0;
};

class IspDriver : public Device {
public:
    IspDriver();
    ~IspDriver() override;

    // The driver registered on the board of this process.
    static std::shared_ptr<IspDriver> installed();

    // Device handlers.
    int open(int fd, int flags) override;
    void close(int fd) override;
    int ioctl(int fd, unsigned long request, void *arg) override;
    void *mmap(int fd, void *address, size_t length, int prot, int flags, off_t offset,
               int *error) override;
    void munmap(void *address, size_t length) override;
    size_t answerSize(unsigned long request) const override;

    // Hardware profile, reported from the next information request on.
    void setProfile(const IspProfile &profile);
    const IspProfile &profile() const;

    // Faults. A planned fault answers `answer` (a negated errno, or a value
    // of 0 or more) instead of the driver for calls skip+1 to skip+times of
    // request `index` (CI_eIOCTL); times 0 means every call.
    void planFault(CI_eIOCTL index, long answer, unsigned times = 1, unsigned skip = 0);
    // Makes opening the device fail with `error` (a negated errno).
    void refuseOpen(long error = -ENOENT, unsigned times = 1);
    void corrupt(IspCorruption kind, uint32_t value = 0, unsigned index = 0, unsigned times = 1,
                 unsigned skip = 0);
    // The next `count` frames processed carry a frame error.
    void markFramesErroneous(unsigned count = 1);
    // The next `count` input frames are lost before any pipeline sees them:
    // each counts as a missed frame of the pipelines on its gasket.
    void dropFrames(unsigned count = 1);

    // Requests that reached the driver (the last `limit` of them) and how
    // many of each index were made since the last clear.
    const std::deque<IspRequest> &requests() const;
    unsigned requestCount(CI_eIOCTL index) const;
    void clearRequests();
    void setRequestLimit(size_t limit);
    // Mappings made and removed through the device (from the board's trace).
    std::vector<TraceEntry> mappingTrace() const;

    IspLiveObjects liveObjects() const;

    // State queries.
    CI_LINESTORE linestore() const;
    std::vector<int> pipelineIds() const;
    std::optional<IspPipelineView> pipeline(int id) const;
    IspGasketView gasket(unsigned gasket) const;
    std::optional<IspGeneratorView> generator(int id) const;
    CI_MODULE_GMA_LUT gammaTable() const;
    std::optional<uint32_t> debugRegister(unsigned bank, uint32_t offset) const;

    // Virtual clock: nanoseconds since power-up.
    uint64_t now() const;
    void advanceClock(uint64_t nanoseconds);
    // The hardware timestamp at the current time (ticks of the reference clock).
    uint32_t hardwareTimestamp() const;

    // Frame sources and processing.
    void attachSource(unsigned gasket, std::shared_ptr<GasketSource> source);
    // Lets every gasket with a waiting input frame deliver one.
    void tick();
    void setImageModel(std::unique_ptr<IspImageModel> model);

    struct State;

private:
    std::unique_ptr<State> m;
};

}  // namespace simboard

#endif
