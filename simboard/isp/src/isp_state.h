// Internal state of the simulated ISP driver: connections with their memory
// objects, pipelines, shots, buffers, gaskets and data generators.
#ifndef SIMBOARD_ISP_STATE_H
#define SIMBOARD_ISP_STATE_H

#include <array>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "simboard/isp_driver.h"
#include "simboard/isp_wire.h"

namespace simboard {

// Offsets in the statistics block of a shot.
inline constexpr size_t kStatusWordOffset = 5440;
inline constexpr size_t kDefectCountersOffset = 5444;
inline constexpr size_t kTimestampsOffset = 5476;

// One object with a map id: a page-aligned range of its connection's memory
// (or an imported descriptor), mapped read-write once for the hardware.
struct MemObject {
    uint32_t id = 0;         // page index in the connection's memory
    uint32_t pages = 0;      // pages reserved
    uint32_t size = 0;       // bytes the object holds
    uint8_t *view = nullptr; // the hardware's view
    size_t viewLength = 0;
    int importFd = -1;       // own duplicate of an imported descriptor
    bool userWritable = false;
};

struct Connection {
    int fd = -1;
    uint32_t nextPage = 1;  // page 0 is never a map id
    uint64_t liveBytes = 0; // held by the objects below
    std::map<uint32_t, MemObject> objects;
};

// Output slots of a shot, in the order of the buffer ids of a trigger.
enum Slot { kEncoder, kDisplay, kHdrExtraction, kHdrInsertion, kRaw2D, kSlotCount };

// Where and how one output of a shot is written.
struct Geometry {
    uint32_t bufferId = 0;
    PIXELTYPE type{};
    uint32_t width = 0, height = 0;
    uint32_t stride = 0, offset = 0;
    uint32_t strideC = 0, offsetC = 0, linesC = 0;
    bool tiled = false;
};

struct Shot {
    int id = 0;
    IspShotState state = IspShotState::Free;
    std::array<uint32_t, CI_POOL_MAP_ID_COUNT> mapIds{};
    uint64_t sequence = 0;  // trigger order
    CI_BUFFID requested{};  // buffers, strides and offsets as the trigger named them
    std::array<Geometry, kSlotCount> outputs{};
    std::unique_ptr<CI_PIPE_INFO> info;  // configuration taken at the trigger
    uint32_t outputConfig = 0;
    uint8_t privateValue = 0;
    bool frameError = false;
    int missedFrames = 0;
    uint32_t linkedListTS = 0, interruptTS = 0;
    uint64_t linkedListSysTime = 0, interruptSysTime = 0;
};

struct Buffer {
    uint32_t id = 0;
    CI_ALLOC_BUFF type = CI_ALLOC_ENC;
    uint32_t size = 0;
    bool imported = false;
    bool tiled = false;
    int boundShot = 0;  // output buffers: the shot holding it, 0 when idle
    IspMatrixState matrix = IspMatrixState::Idle;
    CI_MODULE_LSH_MAT description{};
};

struct Pipeline {
    int id = 0;
    int ownerFd = -1;
    bool started = false;
    CI_PIPE_INFO info{};
    uint32_t receivedGroups = 0;
    unsigned updates = 0;
    std::array<uint32_t, kIspLoadStructureWords> load{};
    std::vector<unsigned> changedWords;
    std::vector<uint16_t> defects;
    uint32_t matrixInUse = 0;
    int missedFrames = 0;
    uint32_t flickerFrames = 0;  // shots since flicker detection was switched on or reset
    uint64_t nextSequence = 1;
    std::vector<std::unique_ptr<Shot>> shots;  // in id order
    std::map<uint32_t, Buffer> buffers;

    uint8_t context() const { return info.config.ui8Context; }
    uint8_t imager() const { return info.iifConfig.ui8Imager; }
};

struct GeneratorFrame {
    uint32_t id = 0;
    IspFrameState state = IspFrameState::Free;
    uint64_t sequence = 0;
    CI_DG_FRAMETRIG trigger{};
};

struct Generator {
    int id = 0;
    int ownerFd = -1;
    bool started = false;
    CI_DATAGEN setup{};
    unsigned processed = 0;
    uint64_t nextSequence = 1;
    std::vector<GeneratorFrame> frames;
};

struct Gasket {
    bool reserved = false;
    int ownerFd = -1;
    CI_GASKET request{};
    uint32_t frameCount = 0;
    uint8_t crc = 0, header = 0, ecc = 0, eccCorrected = 0;
    std::shared_ptr<GasketSource> source;
};

struct Corruption {
    IspCorruption kind;
    uint32_t value;
    unsigned index;
    unsigned times;
    unsigned skip;
    unsigned seen = 0;
};

// Tiling scheme of the profile.
struct TileScheme {
    uint32_t width, height, minStride, maxStride;
};

struct IspDriver::State {
    IspProfile profile;
    size_t pageSize = 4096;
    CI_MODULE_GMA_LUT gamma{};
    int32_t linestoreStart[2] = {-1, -1};
    uint32_t linestoreSize[2] = {0, 0};
    uint64_t clock = 0;  // nanoseconds

    std::map<int, Connection> connections;
    std::map<int, std::unique_ptr<Pipeline>> pipelines;
    int nextPipelineId = 1;
    int nextShotId = 1;
    std::array<Gasket, 4> gaskets;
    std::map<int, std::unique_ptr<Generator>> generators;
    std::map<std::pair<unsigned, uint32_t>, uint32_t> debugRegisters;

    std::deque<IspRequest> trace;
    size_t traceLimit = 256;
    std::array<unsigned, CI_IOCTL_N> counts{};
    std::vector<Corruption> corruptions;
    unsigned erroneousFrames = 0;
    unsigned droppedFrames = 0;
    std::map<void *, size_t> userMappings;

    // Real-time monitor counters.
    uint32_t framesReceived = 0, shotsDone = 0, framesDropped = 0, shotsTriggered = 0, framesInError = 0;
    std::array<uint32_t, 2> contextDone{}, contextWidth{}, contextHeight{};

    std::unique_ptr<IspImageModel> model;
    BayerFrame input;  // the frame as it arrives at a gasket
    BayerFrame image;  // the image entering a pipeline

    // --- helpers (isp_driver.cpp) ---
    Connection *connection(int fd);
    MemObject *allocateObject(Connection &conn, uint32_t size, bool userWritable, int *error);
    MemObject *importObject(Connection &conn, int fd, uint32_t size, int *error);
    void freeObject(Connection &conn, uint32_t id);
    MemObject *object(int ownerFd, uint32_t id);
    uint32_t ticks(uint64_t ns) const;
    unsigned contexts() const;
    unsigned imagers() const;
    TileScheme tileScheme() const;
    bool corruption(IspCorruption kind, uint32_t *value, unsigned index = 0);

    // --- objects (isp_requests.cpp) ---
    Pipeline *ownPipeline(int fd, int id);
    Generator *ownGenerator(int fd, int id);
    void stopCapture(Pipeline &pipeline);
    void freeShot(Pipeline &pipeline, Shot &shot);
    void destroyPipeline(Pipeline &pipeline);
    void destroyGenerator(Generator &generator);
    void closeConnection(int fd);
    bool contextActive(unsigned context) const;
    long dispatch(int fd, int index, void *arg);

    // --- frames (isp_frames.cpp) ---
    int resolveSlot(Slot slot, const Pipeline &pipeline, const CI_BUFFID &ids, const CI_PIPE_INFO &info,
                    const uint32_t *load, Geometry &geometry) const;
    int resolveOutputs(const Pipeline &pipeline, const CI_BUFFID &ids, const CI_PIPE_INFO &info,
                       const uint32_t *load, std::array<Geometry, kSlotCount> &outputs) const;
    uint32_t defaultBufferSize(const Pipeline &pipeline, CI_ALLOC_BUFF type, bool tiled) const;
    bool hasInput(unsigned gasket);
    bool deliverFrame(unsigned gasket);
    void processShot(Pipeline &pipeline, Shot &shot, bool inputError, uint64_t start, uint64_t period);
};

// A 32-bit enum field of a record as received. Records come from anywhere,
// so the field may hold a value its enum does not name: it is read as an
// integer and checked before the driver uses it as the enum.
template <class E>
int32_t rawValue(const E &field)
{
    static_assert(sizeof(E) == 4, "enum fields travel as 32 bits");
    int32_t value;
    std::memcpy(&value, &field, sizeof(value));
    return value;
}

// Image size of a pipeline's imager interface, in pixels.
inline uint32_t imagerWidth(const CI_MODULE_IIF &iif) { return 2u * (iif.ui16ImagerSize[0] + 1u); }
inline uint32_t imagerHeight(const CI_MODULE_IIF &iif) { return 2u * (iif.ui16ImagerSize[1] + 1u); }

}  // namespace simboard

#endif
