// The 41 requests of the simulated ISP driver. Every handler answers like a
// kernel driver: 0 or a value on success, a negated errno on failure, and
// changes nothing when it refuses.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "ci/ci_datagen.h"
#include "isp_state.h"

namespace simboard {

namespace {

using State = IspDriver::State;

// Update group of each load-structure word: 0-6, kStatsGroup for the
// statistics words (always taken), kNeverWritten for the rest.
constexpr uint8_t kStatsGroup = 7;
constexpr uint8_t kNeverWritten = 0xFF;

struct WordGroups {
    std::array<uint8_t, kIspLoadStructureWords> group{};
    constexpr WordGroups()
    {
        for (auto &g : group)
            g = kNeverWritten;
        auto set = [this](unsigned first, unsigned last, uint8_t value) {
            for (unsigned w = first; w <= last; ++w)
                group[w] = value;
        };
        set(0, 2, kStatsGroup);
        set(39, 46, kStatsGroup);
        set(57, 60, kStatsGroup);
        set(115, 123, kStatsGroup);
        set(130, 132, kStatsGroup);
        set(226, 230, kStatsGroup);
        set(3, 38, 0);
        set(49, 52, 0);
        set(61, 74, 1);
        set(76, 85, 1);
        set(86, 101, 2);
        set(114, 114, 2);
        set(124, 129, 2);
        set(133, 225, 3);
        set(231, 237, 4);
        set(238, 239, 5);  // encoder scaler register set
        set(242, 280, 5);
        set(240, 241, 6);  // display scaler register set, YCC to RGB, display gamut mapper
        set(283, 316, 6);
    }
};
constexpr WordGroups kWordGroups;

// The encoder-statistics registers, which the library leaves to the driver:
// it programs them from the pipeline information, in bits 0-2 of each word.
constexpr unsigned kEnsLinesWord = 281;
constexpr unsigned kEnsSubsamplingWord = 282;

void loadEncoderStatistics(std::array<uint32_t, kIspLoadStructureWords> &load, const CI_MODULE_ENS &ens)
{
    load[kEnsLinesWord] = ens.ui8Log2NCouples & 0x7u;
    load[kEnsSubsamplingWord] = ens.ui8SubExp & 0x7u;
}

constexpr int kTableBits = CI_UPD_LSH_REG | CI_UPD_DPF_INPUT | CI_UPD_AWS_REG;

// Tallest frame a generator sends.
constexpr uint32_t kMaxFrameHeight = CI_DATAGEN_MAX_HEIGHT;

int intArgument(void *arg) { return static_cast<int>(reinterpret_cast<intptr_t>(arg)); }

// Only called on records whose formats passed pixelTypeKnown().
bool outputOn(const PIXELTYPE &type) { return type.eBuffer != TYPE_NONE; }

// How the ISP stores each format it reads or writes.
struct Storage {
    pxlFormat format;
    FORMAT_TYPES buffer;
    uint8_t hSubsampling, vSubsampling, bitDepth, packedElements, packedStride;
};

constexpr Storage kStorage[] = {
    {YVU_420_PL12_8, TYPE_YUV, 2, 2, 8, 1, 1},          {YUV_420_PL12_8, TYPE_YUV, 2, 2, 8, 1, 1},
    {YVU_422_PL12_8, TYPE_YUV, 2, 1, 8, 1, 1},          {YUV_422_PL12_8, TYPE_YUV, 2, 1, 8, 1, 1},
    {YVU_420_PL12_10, TYPE_YUV, 2, 2, 10, 6, 8},        {YUV_420_PL12_10, TYPE_YUV, 2, 2, 10, 6, 8},
    {YVU_422_PL12_10, TYPE_YUV, 2, 1, 10, 6, 8},        {YUV_422_PL12_10, TYPE_YUV, 2, 1, 10, 6, 8},
    {RGB_888_24, TYPE_RGB, 1, 1, 8, 1, 3},              {RGB_888_32, TYPE_RGB, 1, 1, 8, 1, 4},
    {RGB_101010_32, TYPE_RGB, 1, 1, 10, 1, 4},          {BGR_888_24, TYPE_RGB, 1, 1, 8, 1, 3},
    {BGR_888_32, TYPE_RGB, 1, 1, 8, 1, 4},              {BGR_101010_32, TYPE_RGB, 1, 1, 10, 1, 4},
    {BGR_161616_64, TYPE_RGB, 1, 1, 16, 1, 8},          {BAYER_RGGB_8, TYPE_BAYER, 1, 1, 8, 4, 4},
    {BAYER_RGGB_10, TYPE_BAYER, 1, 1, 10, 3, 4},        {BAYER_RGGB_12, TYPE_BAYER, 1, 1, 12, 16, 24},
    {BAYER_TIFF_10, TYPE_BAYER, 1, 1, 10, 4, 5},        {BAYER_TIFF_12, TYPE_BAYER, 1, 1, 12, 2, 3},
    {PXL_ISP_444IL3YCrCb8, TYPE_YUV, 1, 1, 8, 1, 3},    {PXL_ISP_444IL3YCbCr8, TYPE_YUV, 1, 1, 8, 1, 3},
    {PXL_ISP_444IL3YCrCb10, TYPE_YUV, 1, 1, 10, 1, 4},  {PXL_ISP_444IL3YCbCr10, TYPE_YUV, 1, 1, 10, 1, 4},
};

// An output that is off, or a format the ISP knows described with its own
// storage: the image model writes lines of exactly that packing.
bool pixelTypeKnown(const PIXELTYPE &type)
{
    const int32_t buffer = rawValue(type.eBuffer);
    if (buffer == TYPE_NONE)
        return true;
    const int32_t format = rawValue(type.eFmt);
    for (const Storage &s : kStorage) {
        if (s.format != format)
            continue;
        return buffer == s.buffer && type.ui8HSubsampling == s.hSubsampling &&
               type.ui8VSubsampling == s.vSubsampling && type.ui8BitDepth == s.bitDepth &&
               type.ui8PackedElements == s.packedElements && type.ui8PackedStride == s.packedStride;
    }
    return false;
}

// Checks a pipeline configuration against the hardware.
int checkInfo(const State &s, const CI_PIPE_INFO &info)
{
    const CI_HWINFO &hw = s.profile.info;
    if (info.config.ui8Context >= s.contexts() || info.iifConfig.ui8Imager >= s.imagers())
        return -EINVAL;
    const CI_PIPELINE_CONFIG &c = info.config;
    for (const PIXELTYPE *type : {&c.eEncType, &c.eDispType, &c.eHDRExtType, &c.eHDRInsType, &c.eRaw2DExtraction}) {
        if (!pixelTypeKnown(*type))
            return -EINVAL;
    }
    const int32_t mosaic = rawValue(info.iifConfig.eBayerFormat);
    if (mosaic < MOSAIC_NONE || mosaic > MOSAIC_BGGR)
        return -EINVAL;
    if ((outputOn(info.config.eHDRExtType) && !(hw.eFunctionalities & CI_INFO_SUPPORTED_HDR_EXT)) ||
        (outputOn(info.config.eHDRInsType) && !(hw.eFunctionalities & CI_INFO_SUPPORTED_HDR_INS)) ||
        (outputOn(info.config.eRaw2DExtraction) && !(hw.eFunctionalities & CI_INFO_SUPPORTED_RAW2D_EXT)) ||
        (info.config.bSupportTiling && !(hw.eFunctionalities & CI_INFO_SUPPORTED_TILING)))
        return -EOPNOTSUPP;
    return 0;
}

// Checks that a capture of `info` fits its context's line store and limits.
int checkCapture(const State &s, const CI_PIPE_INFO &info)
{
    const unsigned c = info.config.ui8Context;
    const uint32_t width = imagerWidth(info.iifConfig), height = imagerHeight(info.iifConfig);
    if (s.linestoreStart[c] < 0 || s.linestoreSize[c] < width)
        return -EINVAL;
    if (width > s.profile.info.context_aMaxWidthSingle[c] || height > s.profile.info.context_aMaxHeight[c])
        return -EINVAL;
    return 0;
}

CI_LINESTORE linestoreRecord(const State &s)
{
    CI_LINESTORE ls{};
    for (unsigned c = 0; c < 2; ++c) {
        ls.aStart[c] = s.linestoreStart[c];
        ls.aSize[c] = s.linestoreSize[c];
        ls.aActive[c] = s.contextActive(c) ? 1 : 0;
    }
    return ls;
}

Shot *findShot(Pipeline &p, int id)
{
    for (auto &shot : p.shots) {
        if (shot->id == id)
            return shot.get();
    }
    return nullptr;
}

// The oldest shot in `state` (trigger order), or null.
Shot *oldestShot(Pipeline &p, IspShotState state)
{
    Shot *oldest = nullptr;
    for (auto &shot : p.shots) {
        if (shot->state == state && (!oldest || shot->sequence < oldest->sequence))
            oldest = shot.get();
    }
    return oldest;
}

unsigned countShots(const Pipeline &p, IspShotState state)
{
    unsigned n = 0;
    for (const auto &shot : p.shots)
        n += shot->state == state ? 1 : 0;
    return n;
}

void unbindBuffers(Pipeline &p, const Shot &shot)
{
    for (auto &[id, buffer] : p.buffers) {
        if (buffer.boundShot == shot.id)
            buffer.boundShot = 0;
    }
}

Buffer *findBuffer(Pipeline &p, uint32_t id)
{
    auto it = p.buffers.find(id);
    return it == p.buffers.end() ? nullptr : &it->second;
}

GeneratorFrame *findFrame(Generator &g, uint32_t id)
{
    for (GeneratorFrame &frame : g.frames) {
        if (frame.id == id)
            return &frame;
    }
    return nullptr;
}

/*-------------------------------------------------------------------------
 * Connection-level requests
 *-------------------------------------------------------------------------*/

long infoGet(State &s, void *arg)
{
    auto *c = static_cast<CI_CONNECTION *>(arg);
    std::memset(c, 0, sizeof(*c));
    c->sLinestoreStatus = linestoreRecord(s);
    c->sHWInfo = s.profile.info;
    c->sGammaLUT = s.gamma;
    return 0;
}

long linestoreSet(State &s, const CI_LINESTORE &ls)
{
    const unsigned n = s.contexts();
    const uint32_t m = s.profile.info.ui32MaxLineStore;
    int32_t start[2] = {-1, -1};
    uint32_t size[2] = {0, 0};
    bool any = false;
    for (unsigned c = 0; c < n; ++c) {
        start[c] = ls.aStart[c] < 0 ? -1 : ls.aStart[c];
        any = any || start[c] >= 0;
        if (start[c] >= 0 && static_cast<uint32_t>(start[c]) >= m)
            return -EINVAL;
    }
    if (!any || (n == 2 && start[0] >= 0 && start[0] == start[1]))
        return -EINVAL;
    for (unsigned c = 0; c < n; ++c) {
        if (start[c] < 0)
            continue;
        uint32_t sz = std::min<uint32_t>(m - static_cast<uint32_t>(start[c]),
                                         s.profile.info.context_aMaxWidthSingle[c]);
        const unsigned other = 1 - c;
        if (n == 2 && start[other] > start[c])
            sz = std::min<uint32_t>(sz, static_cast<uint32_t>(start[other] - start[c]));
        size[c] = sz;
    }
    for (unsigned c = 0; c < 2; ++c) {
        if (s.contextActive(c) && (start[c] != s.linestoreStart[c] || size[c] != s.linestoreSize[c]))
            return -EADDRINUSE;
    }
    for (unsigned c = 0; c < 2; ++c) {
        s.linestoreStart[c] = start[c];
        s.linestoreSize[c] = size[c];
    }
    return 0;
}

long dpfInternal(State &s, void *arg)
{
    int64_t available = s.profile.info.config_ui32DPFInternalSize;
    for (const auto &[id, p] : s.pipelines) {
        if (p->started && (p->info.dpfConfig.eDPFEnable & CI_DPF_READ_MAP_ENABLED))
            available -= p->info.dpfConfig.sInput.ui16InternalBufSize;
    }
    *static_cast<QOV_UINT32 *>(arg) = static_cast<QOV_UINT32>(std::max<int64_t>(available, 0));
    return 0;
}

// Real-time monitor: core entries 0 frames received, 1 shots completed,
// 2 frames dropped for lack of a shot, 3 shots triggered, 4 frames in error;
// per context its capture status, whether no shot is queued, and positions
// 0 shots completed, 1 shots queued, 2 and 3 the last frame's width and height.
long rtmGet(State &s, void *arg)
{
    auto *r = static_cast<CI_RTM_INFO *>(arg);
    std::memset(r, 0, sizeof(*r));
    r->aRTMEntries[0] = s.framesReceived;
    r->aRTMEntries[1] = s.shotsDone;
    r->aRTMEntries[2] = s.framesDropped;
    r->aRTMEntries[3] = s.shotsTriggered;
    r->aRTMEntries[4] = s.framesInError;
    for (unsigned c = 0; c < 2; ++c) {
        unsigned queued = 0;
        for (const auto &[id, p] : s.pipelines) {
            if (p->started && p->context() == c)
                queued += countShots(*p, IspShotState::Queued);
        }
        r->context_status[c] = s.contextActive(c) ? 1 : 0;
        r->context_linkEmptyness[c] = queued == 0 ? 1 : 0;
        r->context_position[c][0] = s.contextDone[c];
        r->context_position[c][1] = queued;
        r->context_position[c][2] = s.contextWidth[c];
        r->context_position[c][3] = s.contextHeight[c];
    }
    return 0;
}

long debugRequest(State &s, void *arg)
{
    if (!s.profile.debugSupport)
        return -ENOTTY;
    if (!arg)
        return -EFAULT;
    auto *d = static_cast<CI_DEBUG_REG_PARAM *>(arg);
    constexpr unsigned kBanks = 4;
    constexpr uint32_t kBankSize = 0x4000;
    if (d->eBank >= kBanks || d->ui32Offset % 4 != 0 || d->ui32Offset >= kBankSize)
        return -EINVAL;
    // Bank 0 starts with read-only identity registers.
    const CI_HWINFO &hw = s.profile.info;
    const bool identity = d->eBank == 0 && d->ui32Offset < 16;
    uint32_t identityValue = 0;
    switch (d->ui32Offset) {
    case 0:
        identityValue = (uint32_t{hw.ui8GroupId} << 24) | (uint32_t{hw.ui8AllocationId} << 16) | hw.ui16ConfigId;
        break;
    case 4:
        identityValue = (uint32_t{hw.rev_ui8Designer} << 24) | (uint32_t{hw.rev_ui8Major} << 16) |
                        (uint32_t{hw.rev_ui8Minor} << 8) | hw.rev_ui8Maint;
        break;
    case 8: identityValue = hw.rev_uid; break;
    default: identityValue = hw.uiChangelist; break;
    }
    if (d->bRead) {
        if (identity) {
            d->ui32Value = identityValue;
        } else {
            auto it = s.debugRegisters.find({d->eBank, d->ui32Offset});
            d->ui32Value = it == s.debugRegisters.end() ? 0 : it->second;
        }
    } else if (!identity) {
        s.debugRegisters[{d->eBank, d->ui32Offset}] = d->ui32Value;
    }
    return 0;
}

/*-------------------------------------------------------------------------
 * Pipelines and their configuration
 *-------------------------------------------------------------------------*/

long pipelineRegister(State &s, int fd, const CI_PIPE_INFO &info)
{
    if (int error = checkInfo(s, info))
        return error;
    auto pipeline = std::make_unique<Pipeline>();
    pipeline->id = s.nextPipelineId++;
    pipeline->ownerFd = fd;
    pipeline->info = info;
    pipeline->info.dpfConfig.sInput.apDefectInput = nullptr;  // never followed
    loadEncoderStatistics(pipeline->load, info.ensConfig);
    const int id = pipeline->id;
    s.pipelines[id] = std::move(pipeline);
    return id;
}

uint32_t encoderStatsSize(const CI_PIPE_INFO &info)
{
    if (!(info.config.eOutputConfig & CI_SAVE_ENS))
        return 0;
    const uint32_t lines = 1u << std::min<unsigned>(info.ensConfig.ui8Log2NCouples + 3u, 16u);
    const uint32_t groups = (imagerHeight(info.iifConfig) + lines - 1) / lines;
    return 8 * std::max<uint32_t>(groups, 1);  // one 8-byte entry per group of lines
}

long addPool(State &s, int fd, CI_POOL_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    if (!p)
        return -EINVAL;
    Connection &conn = *s.connection(fd);
    auto shot = std::make_unique<Shot>();
    const uint32_t sizes[CI_POOL_MAP_ID_COUNT] = {kIspStatisticsSize, p->info.config.ui32DPFWriteMapSize,
                                                  encoderStatsSize(p->info), kIspLoadStructureSize};
    for (unsigned k = 0; k < CI_POOL_MAP_ID_COUNT; ++k) {
        if (sizes[k] == 0)
            continue;
        int error = 0;
        MemObject *object = s.allocateObject(conn, sizes[k], false, &error);
        if (!object) {
            for (unsigned j = 0; j < k; ++j)
                s.freeObject(conn, shot->mapIds[j]);
            return -error;
        }
        shot->mapIds[k] = object->id;
    }
    shot->id = s.nextShotId++;
    shot->info = std::make_unique<CI_PIPE_INFO>();

    param.iShotId = shot->id;
    CI_SHOT &sample = param.sample;
    std::memset(&sample, 0, sizeof(sample));
    sample.statsSize = kIspStatisticsSize;
    sample.uiDPFSize = sizes[CI_POOL_MAP_ID_DPF];
    sample.uiENSSize = sizes[CI_POOL_MAP_ID_ENS];
    sample.loadSize = kIspLoadStructureSize;
    if (outputOn(p->info.config.eHDRInsType)) {
        const uint32_t width = imagerWidth(p->info.iifConfig);
        const uint32_t line = packedLineBytes(p->info.config.eHDRInsType, width);
        sample.aHDRInsSize[0] = (line + 63) / 64 * 64;
        sample.aHDRInsSize[1] = imagerHeight(p->info.iifConfig);
        sample.ui32HDRInsOffset = 0;
    }
    for (unsigned k = 0; k < CI_POOL_MAP_ID_COUNT; ++k) {
        param.aMemMapIds[k] = shot->mapIds[k];
        s.corruption(IspCorruption::AddPoolMapId, &param.aMemMapIds[k], k);
    }
    s.corruption(IspCorruption::AddPoolStatsSize, &sample.statsSize);
    p->shots.push_back(std::move(shot));
    return 0;
}

long configUpdate(State &s, int fd, CI_PIPE_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, param.identifier);
    if (!p)
        return -EINVAL;
    if (!param.loadstructure)
        return -EFAULT;
    const CI_PIPE_INFO &info = param.info;
    if (int error = checkInfo(s, info))
        return error;
    const int mask = param.eUpdateMask;
    if (p->started) {
        if (info.config.ui8Context != p->context() || info.iifConfig.ui8Imager != p->imager())
            return -EADDRINUSE;
        if (mask & kTableBits) {
            // These tables reach the hardware only while the capture is stopped.
            param.eUpdateMask = mask & kTableBits;
            return -EADDRINUSE;
        }
        if (int error = checkCapture(s, info))
            return error;
    }
    const CI_MODULE_DPF_INPUT &input = info.dpfConfig.sInput;
    if (mask & CI_UPD_DPF_INPUT) {
        if (input.ui32NDefect > 0 && !input.apDefectInput)
            return -EFAULT;
        // At most one defect per pixel of a capture the context can take:
        // the count alone decides how much is read and kept.
        const unsigned context = info.config.ui8Context;
        const uint64_t width = std::min<uint64_t>(imagerWidth(info.iifConfig),
                                                  s.profile.info.context_aMaxWidthSingle[context]);
        const uint64_t height = std::min<uint64_t>(imagerHeight(info.iifConfig),
                                                   s.profile.info.context_aMaxHeight[context]);
        if (input.ui32NDefect > width * height)
            return -E2BIG;
    }

    // Load structure: the statistics words always, the words of the groups of the mask only.
    std::array<uint32_t, kIspLoadStructureWords> received;
    std::memcpy(received.data(), param.loadstructure, kIspLoadStructureSize);
    std::array<uint32_t, kIspLoadStructureWords> load = p->load;
    for (unsigned w = 0; w < kIspLoadStructureWords; ++w) {
        const uint8_t group = kWordGroups.group[w];
        if (group == kStatsGroup || (group < 7 && (mask & (1 << group))))
            load[w] = received[w];
    }
    loadEncoderStatistics(load, info.ensConfig);
    p->changedWords.clear();
    for (unsigned w = 0; w < kIspLoadStructureWords; ++w) {
        if (load[w] != p->load[w])
            p->changedWords.push_back(w);
    }
    p->load = load;

    CI_PIPE_INFO kept = info;
    if (!(mask & CI_UPD_LSH_REG))
        kept.lshConfig = p->info.lshConfig;
    if (mask & CI_UPD_DPF_INPUT)
        p->defects.assign(input.apDefectInput, input.apDefectInput + 2 * static_cast<size_t>(input.ui32NDefect));
    else
        kept.dpfConfig.sInput = p->info.dpfConfig.sInput;
    kept.dpfConfig.sInput.apDefectInput = nullptr;
    if (!(mask & CI_UPD_AWS_REG))
        kept.sAWSCurveCoeffs = p->info.sAWSCurveCoeffs;
    if (!(mask & CI_UPD_HDR))
        kept.hdrConfig = p->info.hdrConfig;
    p->info = kept;
    p->receivedGroups |= static_cast<uint32_t>(mask) & 0x7F;
    ++p->updates;

    if (param.bUpdateASAP) {
        // Shots not yet processed take the new configuration.
        for (auto &shot : p->shots) {
            if (shot->state != IspShotState::Queued)
                continue;
            *shot->info = p->info;
            shot->outputConfig = p->info.config.eOutputConfig;
            shot->privateValue = p->info.config.ui8PrivateValue;
            if (MemObject *snapshot = s.object(p->ownerFd, shot->mapIds[CI_POOL_MAP_ID_LOAD]))
                std::memcpy(snapshot->view, p->load.data(), kIspLoadStructureSize);
        }
    }
    return 0;
}

/*-------------------------------------------------------------------------
 * Buffers and lens-shading matrices
 *-------------------------------------------------------------------------*/

long createBuffer(State &s, int fd, CI_ALLOC_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    if (!p)
        return -EINVAL;
    const CI_PIPELINE_CONFIG &config = p->info.config;
    const uint32_t functionalities = s.profile.info.eFunctionalities;
    const CI_ALLOC_BUFF type = param.type;
    switch (type) {
    case CI_ALLOC_ENC:
        if (config.eEncType.eBuffer != TYPE_YUV)
            return -EINVAL;
        break;
    case CI_ALLOC_DISP:
        if (!outputOn(config.eDispType))
            return -EINVAL;
        break;
    case CI_ALLOC_HDREXT:
        if (!(functionalities & CI_INFO_SUPPORTED_HDR_EXT))
            return -EOPNOTSUPP;
        if (!outputOn(config.eHDRExtType))
            return -EINVAL;
        break;
    case CI_ALLOC_HDRINS:
        if (!(functionalities & CI_INFO_SUPPORTED_HDR_INS))
            return -EOPNOTSUPP;
        if (!outputOn(config.eHDRInsType))
            return -EINVAL;
        break;
    case CI_ALLOC_RAW2D:
        if (!(functionalities & CI_INFO_SUPPORTED_RAW2D_EXT))
            return -EOPNOTSUPP;
        if (!outputOn(config.eRaw2DExtraction))
            return -EINVAL;
        break;
    case CI_ALLOC_LSHMAT:
        if (param.uiSize == 0)
            return -EINVAL;
        break;
    default:
        return -EINVAL;
    }
    const bool tiled = param.bTiled != 0;
    if (tiled) {
        if (type == CI_ALLOC_RAW2D || type == CI_ALLOC_HDRINS || type == CI_ALLOC_LSHMAT)
            return -EINVAL;
        if (!(functionalities & CI_INFO_SUPPORTED_TILING))
            return -EOPNOTSUPP;
        if (!config.bSupportTiling)
            return -EINVAL;
    }
    Connection &conn = *s.connection(fd);
    const bool userWritable = type == CI_ALLOC_HDRINS || type == CI_ALLOC_LSHMAT;
    int error = 0;
    MemObject *object = nullptr;
    if (param.fd != 0) {
        object = s.importObject(conn, static_cast<int>(param.fd), param.uiSize, &error);
        if (object)
            object->userWritable = userWritable;
    } else {
        uint64_t size = param.uiSize != 0 ? param.uiSize : s.defaultBufferSize(*p, type, tiled);
        if (size == 0)
            return -EINVAL;
        size = (size + s.pageSize - 1) / s.pageSize * s.pageSize;
        if (size > UINT32_MAX)
            return -E2BIG;
        object = s.allocateObject(conn, static_cast<uint32_t>(size), userWritable, &error);
    }
    if (!object)
        return -error;
    Buffer buffer;
    buffer.id = object->id;
    buffer.type = type;
    buffer.size = object->size;
    buffer.imported = param.fd != 0;
    buffer.tiled = tiled;
    p->buffers[buffer.id] = buffer;
    param.uiMemMapId = buffer.id;
    param.uiSize = buffer.size;
    s.corruption(IspCorruption::CreateBufferMapId, &param.uiMemMapId);
    s.corruption(IspCorruption::CreateBufferSize, &param.uiSize);
    return 0;
}

long deregisterBuffer(State &s, int fd, const CI_ALLOC_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    if (!p)
        return -EINVAL;
    Buffer *buffer = findBuffer(*p, param.uiMemMapId);
    if (!buffer || buffer->type != param.type)
        return -EINVAL;
    if (buffer->boundShot != 0)
        return -EADDRINUSE;
    if (buffer->type == CI_ALLOC_LSHMAT && p->matrixInUse == buffer->id)
        p->matrixInUse = 0;  // lens shading switches off with its matrix
    s.freeObject(*s.connection(p->ownerFd), buffer->id);
    p->buffers.erase(param.uiMemMapId);
    return 0;
}

Buffer *findMatrix(Pipeline &p, uint32_t id)
{
    Buffer *buffer = findBuffer(p, id);
    return buffer && buffer->type == CI_ALLOC_LSHMAT ? buffer : nullptr;
}

long getMatrix(State &s, int fd, const CI_LSH_GET_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    Buffer *matrix = p ? findMatrix(*p, param.matrixId) : nullptr;
    if (!matrix)
        return -EINVAL;
    if (matrix->matrix != IspMatrixState::Idle)
        return -EALREADY;
    matrix->matrix = IspMatrixState::User;
    return 0;
}

long setMatrix(State &s, int fd, const CI_LSH_SET_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    Buffer *matrix = p ? findMatrix(*p, param.matrixId) : nullptr;
    if (!matrix || matrix->matrix != IspMatrixState::User)
        return -EINVAL;
    const CI_MODULE_LSH_MAT &d = param.config;
    if (d.ui8BitsPerDiff < 4 || d.ui8BitsPerDiff > 10 ||
        static_cast<uint64_t>(d.ui32Stride) * d.ui16Height > matrix->size)
        return -EINVAL;
    matrix->description = d;
    matrix->matrix = IspMatrixState::Idle;
    return 0;
}

long changeMatrix(State &s, int fd, const CI_LSH_CHANGE_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, static_cast<int>(param.configId));
    if (!p)
        return -EINVAL;
    Buffer *next = nullptr;
    if (param.matrixId != 0) {
        next = findMatrix(*p, param.matrixId);
        if (!next)
            return -EINVAL;
        if (next->matrix != IspMatrixState::Idle)
            return -EALREADY;
    }
    if (Buffer *previous = findMatrix(*p, p->matrixInUse))
        previous->matrix = IspMatrixState::Idle;
    if (next)
        next->matrix = IspMatrixState::InUse;
    p->matrixInUse = param.matrixId;
    return 0;
}

/*-------------------------------------------------------------------------
 * Capture
 *-------------------------------------------------------------------------*/

long captureStart(State &s, int fd, int id)
{
    Pipeline *p = s.ownPipeline(fd, id);
    if (!p)
        return -EINVAL;
    if (p->started)
        return -EALREADY;
    if (s.contextActive(p->context()))
        return -EADDRINUSE;
    if (p->updates == 0)  // nothing was ever loaded
        return -EINVAL;
    if (int error = checkCapture(s, p->info))
        return error;
    p->started = true;
    p->missedFrames = 0;
    p->flickerFrames = 0;  // flicker detection waits again after a restart
    return 0;
}

long captureTrigger(State &s, int fd, CI_BUFFER_TRIGG &param)
{
    Pipeline *p = s.ownPipeline(fd, param.captureId);
    if (!p || param.shotId != 0)
        return -EINVAL;
    uint32_t unused = 0;
    if (s.corruption(IspCorruption::TriggerStopsCapture, &unused))
        s.stopCapture(*p);
    if (!p->started)
        return -ECANCELED;
    const CI_BUFFID &ids = param.bufferIds;
    const uint32_t slotIds[kSlotCount] = {ids.encId, ids.dispId, ids.idHDRExt, ids.idHDRIns, ids.idRaw2D};
    const CI_ALLOC_BUFF slotTypes[kSlotCount] = {CI_ALLOC_ENC, CI_ALLOC_DISP, CI_ALLOC_HDREXT, CI_ALLOC_HDRINS,
                                                 CI_ALLOC_RAW2D};
    for (unsigned k = 0; k < kSlotCount; ++k) {
        if (slotIds[k] == 0)
            continue;
        Buffer *buffer = findBuffer(*p, slotIds[k]);
        if (!buffer || buffer->type != slotTypes[k])
            return -EINVAL;
        if (buffer->boundShot != 0)
            return -EADDRINUSE;
    }
    std::array<Geometry, kSlotCount> outputs{};
    if (int error = s.resolveOutputs(*p, ids, p->info, p->load.data(), outputs))
        return error;
    Shot *shot = nullptr;
    for (auto &candidate : p->shots) {  // the free shot with the lowest id
        if (candidate->state == IspShotState::Free) {
            shot = candidate.get();
            break;
        }
    }
    if (!shot)  // only this thread could free one: never wait
        return param.bBlocking ? -ETIME : -EALREADY;

    shot->state = IspShotState::Queued;
    shot->sequence = p->nextSequence++;
    shot->requested = ids;
    shot->outputs = outputs;
    *shot->info = p->info;
    shot->outputConfig = p->info.config.eOutputConfig;
    shot->privateValue = p->info.config.ui8PrivateValue;
    shot->frameError = false;
    shot->missedFrames = 0;
    shot->linkedListTS = s.ticks(s.clock);
    shot->linkedListSysTime = s.clock;
    shot->interruptTS = 0;
    shot->interruptSysTime = 0;
    if (MemObject *snapshot = s.object(p->ownerFd, shot->mapIds[CI_POOL_MAP_ID_LOAD]))
        std::memcpy(snapshot->view, p->load.data(), kIspLoadStructureSize);
    for (unsigned k = 0; k < kSlotCount; ++k) {
        if (slotIds[k] != 0)
            findBuffer(*p, slotIds[k])->boundShot = shot->id;
    }
    ++s.shotsTriggered;
    if (s.hasInput(p->imager()))
        s.deliverFrame(p->imager());
    return 0;
}

void fillShot(State &s, const Pipeline &p, const Shot &shot, CI_SHOT &out)
{
    std::memset(&out, 0, sizeof(out));
    const auto &o = shot.outputs;
    if (o[kEncoder].bufferId) {
        out.encId = o[kEncoder].bufferId;
        out.aEncYSize[0] = o[kEncoder].stride;
        out.aEncYSize[1] = o[kEncoder].height;
        out.aEncCbCrSize[0] = o[kEncoder].strideC;
        out.aEncCbCrSize[1] = o[kEncoder].linesC;
        out.aEncOffset[0] = o[kEncoder].offset;
        out.aEncOffset[1] = o[kEncoder].offsetC;
        out.bEncTiled = o[kEncoder].tiled;
    }
    if (o[kDisplay].bufferId) {
        out.dispId = o[kDisplay].bufferId;
        out.aDispSize[0] = o[kDisplay].stride;
        out.aDispSize[1] = o[kDisplay].height;
        out.ui32DispOffset = o[kDisplay].offset;
        out.bDispTiled = o[kDisplay].tiled;
    }
    if (o[kHdrExtraction].bufferId) {
        out.HDRExtId = o[kHdrExtraction].bufferId;
        out.aHDRExtSize[0] = o[kHdrExtraction].stride;
        out.aHDRExtSize[1] = o[kHdrExtraction].height;
        out.ui32HDRExtOffset = o[kHdrExtraction].offset;
        out.bHDRExtTiled = o[kHdrExtraction].tiled;
    }
    if (o[kHdrInsertion].bufferId) {
        out.aHDRInsSize[0] = o[kHdrInsertion].stride;
        out.aHDRInsSize[1] = o[kHdrInsertion].height;
        out.ui32HDRInsOffset = o[kHdrInsertion].offset;
    }
    if (o[kRaw2D].bufferId) {
        out.raw2DExtId = o[kRaw2D].bufferId;
        out.aRaw2DSize[0] = o[kRaw2D].stride;
        out.aRaw2DSize[1] = o[kRaw2D].height;
        out.ui32Raw2DOffset = o[kRaw2D].offset;
    }
    out.loadSize = kIspLoadStructureSize;
    out.statsSize = kIspStatisticsSize;
    const MemObject *dpf = s.object(p.ownerFd, shot.mapIds[CI_POOL_MAP_ID_DPF]);
    const MemObject *ens = s.object(p.ownerFd, shot.mapIds[CI_POOL_MAP_ID_ENS]);
    out.uiDPFSize = dpf ? dpf->size : 0;
    out.uiENSSize = ens ? ens->size : 0;
    out.ui8PrivateValue = shot.privateValue;
    out.bFrameError = shot.frameError ? 1 : 0;
    out.i32MissedFrames = shot.missedFrames;
    out.ui32LinkedListTS = shot.linkedListTS;
    out.ui32InterruptTS = shot.interruptTS;
    out.ui64LinkedListSysTime = shot.linkedListSysTime;
    out.ui64InterruptSysTime = shot.interruptSysTime;
    out.eOutputConfig = shot.outputConfig;
}

long captureAcquire(State &s, int fd, CI_BUFFER_PARAM &param)
{
    Pipeline *p = s.ownPipeline(fd, param.captureId);
    if (!p)
        return -EINVAL;
    Shot *shot = oldestShot(*p, IspShotState::Done);
    // A queued shot completes when its input can arrive now; bounded, never waits.
    for (size_t guard = p->shots.size() + 1; !shot && guard > 0; --guard) {
        if (!p->started || !oldestShot(*p, IspShotState::Queued) || !s.hasInput(p->imager()))
            break;
        if (!s.deliverFrame(p->imager()))
            break;
        shot = oldestShot(*p, IspShotState::Done);
    }
    if (!shot) {
        if (!param.bBlocking)
            return -EALREADY;
        if (!p->started && !oldestShot(*p, IspShotState::Queued))
            return -ECANCELED;
        return -ETIME;
    }
    shot->state = IspShotState::Acquired;
    param.shotId = shot->id;
    fillShot(s, *p, *shot, param.shot);

    uint32_t value = 0;
    if (s.corruption(IspCorruption::AcquireShotId, &value))
        param.shotId = static_cast<int>(value);
    QOV_UINT32 *ids[4] = {&param.shot.encId, &param.shot.dispId, &param.shot.HDRExtId, &param.shot.raw2DExtId};
    for (unsigned k = 0; k < 4; ++k)
        s.corruption(IspCorruption::AcquireBufferId, ids[k], k);
    if (s.corruption(IspCorruption::AcquireMissedFrames, &value))
        param.shot.i32MissedFrames = static_cast<int>(value);
    MemObject *stats = s.object(p->ownerFd, shot->mapIds[CI_POOL_MAP_ID_STAT]);
    if (s.corruption(IspCorruption::AcquireFrameError, &value)) {
        param.shot.bFrameError = 1;
        if (stats)
            stats->view[kStatusWordOffset] |= 1;
    }
    if (s.corruption(IspCorruption::AcquireStatusWord, &value) && stats)
        std::memcpy(stats->view + kStatusWordOffset, &value, 4);
    return 0;
}

long captureRelease(State &s, int fd, const CI_BUFFER_TRIGG &param)
{
    Pipeline *p = s.ownPipeline(fd, param.captureId);
    Shot *shot = p ? findShot(*p, param.shotId) : nullptr;
    if (!shot || shot->state != IspShotState::Acquired)
        return -EINVAL;
    shot->state = IspShotState::Free;
    unbindBuffers(*p, *shot);
    return 0;
}

/*-------------------------------------------------------------------------
 * Gaskets
 *-------------------------------------------------------------------------*/

long gasketAcquire(State &s, int fd, const CI_GASKET &request)
{
    if (request.uiGasket >= s.imagers())
        return -EINVAL;
    Gasket &g = s.gaskets[request.uiGasket];
    if (g.reserved)
        return -EADDRINUSE;
    g.reserved = true;
    g.ownerFd = fd;
    g.request = request;
    g.frameCount = 0;
    g.crc = g.header = g.ecc = g.eccCorrected = 0;
    return 0;
}

long gasketRelease(State &s, int fd, int number)
{
    if (number < 0 || static_cast<unsigned>(number) >= s.imagers())
        return -EINVAL;
    Gasket &g = s.gaskets[static_cast<unsigned>(number)];
    if (!g.reserved || g.ownerFd != fd)
        return -EINVAL;
    g.reserved = false;
    g.ownerFd = -1;
    return 0;
}

long gasketInfo(State &s, CI_GASKET_PARAM &param)
{
    if (param.uiGasket >= s.imagers())
        return -EINVAL;
    const unsigned n = param.uiGasket;
    const Gasket &g = s.gaskets[n];
    bool fed = false;
    for (const auto &[id, generator] : s.generators)
        fed = fed || (generator->started && generator->setup.ui8Gasket == n);
    CI_GASKET_INFO &info = param.sGasketInfo;
    std::memset(&info, 0, sizeof(info));
    info.eType = (g.reserved || fed) ? s.profile.info.gasket_aType[n] : 0;
    info.ui32FrameCount = g.frameCount;
    if (info.eType & CI_GASKET_MIPI)
        info.ui8MipiEnabledLanes = s.profile.info.gasket_aImagerPortWidth[n];
    info.ui8MipiCrcError = g.crc;
    info.ui8MipiHdrError = g.header;
    info.ui8MipiEccError = g.ecc;
    info.ui8MipiEccCorrected = g.eccCorrected;
    return 0;
}

/*-------------------------------------------------------------------------
 * Internal data generators
 *-------------------------------------------------------------------------*/

long generatorRegister(State &s, int fd, int id)
{
    if (id >= 0) {
        Generator *g = s.ownGenerator(fd, id);
        if (!g)
            return -EINVAL;
        s.destroyGenerator(*g);
        return 0;
    }
    if (id != -1)
        return -EINVAL;
    if (!(s.profile.info.eFunctionalities & CI_INFO_SUPPORTED_IIF_DATAGEN))
        return -EOPNOTSUPP;
    for (int slot = 0; slot < s.profile.info.config_ui8NIIFDataGenerator; ++slot) {
        if (s.generators.count(slot))
            continue;
        auto g = std::make_unique<Generator>();
        g->id = slot;
        g->ownerFd = fd;
        s.generators[slot] = std::move(g);
        return slot;
    }
    return -EADDRINUSE;
}

long generatorStart(State &s, int fd, const CI_DG_PARAM &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    if (!g)
        return -EINVAL;
    if (g->started)
        return -EALREADY;
    const CI_DATAGEN &dg = param.sDG;
    const int32_t mosaic = rawValue(dg.eBayerMosaic);
    if (dg.ui8IIFDGIndex >= s.profile.info.config_ui8NIIFDataGenerator ||
        !wireFormatSupported(static_cast<uint32_t>(dg.eFormat), dg.ui8FormatBitdepth) ||
        dg.ui8Gasket >= s.imagers() || mosaic < MOSAIC_RGGB || mosaic > MOSAIC_BGGR)
        return -EINVAL;
    for (const auto &[id, other] : s.generators) {
        if (other->started && other->setup.ui8Gasket == dg.ui8Gasket)
            return -EADDRINUSE;
    }
    g->setup = dg;
    g->started = true;
    return 0;
}

long generatorStop(State &s, int fd, int id)
{
    Generator *g = s.ownGenerator(fd, id);
    if (!g)
        return -EINVAL;
    for (GeneratorFrame &frame : g->frames) {
        if (frame.state == IspFrameState::Queued)
            frame.state = IspFrameState::Free;
    }
    g->processed = 0;
    g->started = false;
    return 0;
}

long generatorAllocate(State &s, int fd, CI_DG_FRAMEINFO &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    if (!g || param.uiSize == 0)
        return -EINVAL;
    if (g->started)
        return -EADDRINUSE;
    int error = 0;
    MemObject *object = s.allocateObject(*s.connection(fd), param.uiSize, true, &error);
    if (!object)
        return -error;
    GeneratorFrame frame;
    frame.id = object->id;
    g->frames.push_back(frame);
    param.mmapId = object->id;
    param.uiFrameId = object->id;
    return 0;
}

long generatorAcquire(State &s, int fd, CI_DG_FRAMEINFO &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    if (!g)
        return -EINVAL;
    GeneratorFrame *frame = nullptr;
    if (param.uiFrameId == 0) {
        for (GeneratorFrame &candidate : g->frames) {
            if (candidate.state == IspFrameState::Free && (!frame || candidate.id < frame->id))
                frame = &candidate;
        }
        if (!frame)
            return -EALREADY;
    } else {
        frame = findFrame(*g, param.uiFrameId);
        if (!frame)
            return -EINVAL;
        if (frame->state != IspFrameState::Free)
            return -EALREADY;
    }
    frame->state = IspFrameState::User;
    param.uiFrameId = frame->id;
    param.mmapId = frame->id;
    if (const MemObject *object = s.object(g->ownerFd, frame->id))
        param.uiSize = object->size;
    s.corruption(IspCorruption::GeneratorAcquireFrameId, &param.uiFrameId);
    return 0;
}

long generatorRelease(State &s, int fd, const CI_DG_FRAMETRIG &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    GeneratorFrame *frame = g ? findFrame(*g, param.uiFrameId) : nullptr;
    if (!frame || frame->state != IspFrameState::User)
        return -EINVAL;
    if (!param.bTrigger) {
        frame->state = IspFrameState::Free;
        return 0;
    }
    if (!g->started)
        return -ECANCELED;
    // Width and height above 0, an even width, a stride of whole 64-byte
    // units holding a line, and every line (and a frame end) in the frame.
    const auto format = static_cast<WireFormat>(g->setup.eFormat);
    const uint64_t frameBytes =
        wireFrameBytes(format, g->setup.ui8FormatBitdepth, param.uiWidth, param.uiHeight, param.uiStride);
    const MemObject *object = s.object(g->ownerFd, frame->id);
    if (frameBytes == 0 || !object || frameBytes > object->size || param.uiHeight > kMaxFrameHeight ||
        param.uiStride % 64 != 0 || param.uiHorizontalBlanking < 100 || param.uiVerticalBlanking < 14 ||
        param.uiWidth > s.profile.info.gasket_aMaxWidth[g->setup.ui8Gasket])
        return -EINVAL;
    frame->state = IspFrameState::Queued;
    frame->sequence = g->nextSequence++;
    frame->trigger = param;
    s.deliverFrame(g->setup.ui8Gasket);
    return 0;
}

long generatorWait(State &s, int fd, const CI_DG_FRAMEWAIT &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    if (!g)
        return -EINVAL;
    if (g->processed == 0 && g->started) {
        const bool queued = std::any_of(g->frames.begin(), g->frames.end(), [](const GeneratorFrame &f) {
            return f.state == IspFrameState::Queued;
        });
        if (queued)
            s.deliverFrame(g->setup.ui8Gasket);
    }
    if (g->processed > 0) {
        --g->processed;
        return 0;
    }
    return param.bBlocking ? -ETIME : -EALREADY;
}

long generatorFree(State &s, int fd, const CI_DG_FRAMEINFO &param)
{
    Generator *g = s.ownGenerator(fd, param.datagenId);
    GeneratorFrame *frame = g ? findFrame(*g, param.uiFrameId) : nullptr;
    if (!frame)
        return -EINVAL;
    if (frame->state == IspFrameState::Queued)
        return -EADDRINUSE;
    s.freeObject(*s.connection(g->ownerFd), frame->id);
    g->frames.erase(g->frames.begin() + (frame - g->frames.data()));
    return 0;
}

}  // namespace

/*-------------------------------------------------------------------------
 * Objects
 *-------------------------------------------------------------------------*/

Pipeline *IspDriver::State::ownPipeline(int fd, int id)
{
    auto it = pipelines.find(id);
    if (it == pipelines.end() || it->second->ownerFd != fd)
        return nullptr;
    return it->second.get();
}

Generator *IspDriver::State::ownGenerator(int fd, int id)
{
    auto it = generators.find(id);
    if (it == generators.end() || it->second->ownerFd != fd)
        return nullptr;
    return it->second.get();
}

bool IspDriver::State::contextActive(unsigned context) const
{
    for (const auto &[id, p] : pipelines) {
        if (p->started && p->context() == context)
            return true;
    }
    return false;
}

void IspDriver::State::stopCapture(Pipeline &pipeline)
{
    for (auto &shot : pipeline.shots) {
        if (shot->state == IspShotState::Queued || shot->state == IspShotState::Done) {
            shot->state = IspShotState::Free;
            unbindBuffers(pipeline, *shot);
        }
    }
    pipeline.started = false;
}

void IspDriver::State::freeShot(Pipeline &pipeline, Shot &shot)
{
    unbindBuffers(pipeline, shot);
    if (Connection *conn = connection(pipeline.ownerFd)) {
        for (uint32_t id : shot.mapIds)
            freeObject(*conn, id);
    }
}

void IspDriver::State::destroyPipeline(Pipeline &pipeline)
{
    stopCapture(pipeline);
    for (auto &shot : pipeline.shots)
        freeShot(pipeline, *shot);
    if (Connection *conn = connection(pipeline.ownerFd)) {
        for (const auto &[id, buffer] : pipeline.buffers)
            freeObject(*conn, id);
    }
    pipelines.erase(pipeline.id);
}

void IspDriver::State::destroyGenerator(Generator &generator)
{
    if (Connection *conn = connection(generator.ownerFd)) {
        for (const GeneratorFrame &frame : generator.frames)
            freeObject(*conn, frame.id);
    }
    generators.erase(generator.id);
}

void IspDriver::State::closeConnection(int fd)
{
    // What the connection owns goes, as a driver's release handler would do it.
    for (auto it = pipelines.begin(); it != pipelines.end();) {
        Pipeline &p = *(it++)->second;
        if (p.ownerFd == fd)
            destroyPipeline(p);
    }
    for (auto it = generators.begin(); it != generators.end();) {
        Generator &g = *(it++)->second;
        if (g.ownerFd == fd)
            destroyGenerator(g);
    }
    for (Gasket &g : gaskets) {
        if (g.reserved && g.ownerFd == fd) {
            g.reserved = false;
            g.ownerFd = -1;
        }
    }
    if (Connection *conn = connection(fd)) {
        while (!conn->objects.empty())
            freeObject(*conn, conn->objects.begin()->first);
    }
    connections.erase(fd);
}

long IspDriver::State::dispatch(int fd, int index, void *arg)
{
    // Requests that pass an int by value.
    switch (index) {
    case CI_PIPELINE_DEREGISTER: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        if (!p)
            return -EINVAL;
        destroyPipeline(*p);
        return 0;
    }
    case CI_CONFIG_DELPOOL: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        if (!p)
            return -EINVAL;
        for (auto &shot : p->shots)
            freeShot(*p, *shot);
        p->shots.clear();
        return 0;
    }
    case CI_CAPTURE_START:
        return captureStart(*this, fd, intArgument(arg));
    case CI_CAPTURE_STOP: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        if (!p)
            return -EINVAL;
        stopCapture(*p);
        return 0;
    }
    case CI_CAPTURE_ISSTARTED: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        return p ? (p->started ? 1 : 0) : -EINVAL;
    }
    case CI_CAPTURE_HASWAITING: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        if (!p)
            return -EINVAL;
        const unsigned queued = countShots(*p, IspShotState::Queued);
        const unsigned depth = profile.info.context_aPendingQueue[p->context()];
        return queued > depth ? queued - depth : 0;
    }
    case CI_CAPTURE_HASPENDING: {
        Pipeline *p = ownPipeline(fd, intArgument(arg));
        if (!p)
            return -EINVAL;
        return countShots(*p, IspShotState::Queued) + countShots(*p, IspShotState::Done);
    }
    case CI_GASKET_RELEASE:
        return gasketRelease(*this, fd, intArgument(arg));
    case CI_IIFDG_REGISTER:
        return generatorRegister(*this, fd, intArgument(arg));
    case CI_IIFDG_ISSTARTED: {
        Generator *g = ownGenerator(fd, intArgument(arg));
        return g ? (g->started ? 1 : 0) : -EINVAL;
    }
    case CI_IIFDG_STOP:
        return generatorStop(*this, fd, intArgument(arg));
    case CI_DEBUG_REG:
        return debugRequest(*this, arg);
    default:
        break;
    }

    // Requests that carry a record.
    if (!arg)
        return -EFAULT;
    switch (index) {
    case CI_INFO_GET:
        return infoGet(*this, arg);
    case CI_LINESTORE_GET:
        *static_cast<CI_LINESTORE *>(arg) = linestoreRecord(*this);
        return 0;
    case CI_LINESTORE_SET:
        return linestoreSet(*this, *static_cast<const CI_LINESTORE *>(arg));
    case CI_GMALUT_GET:
        *static_cast<CI_MODULE_GMA_LUT *>(arg) = gamma;
        return 0;
    case CI_GMALUT_SET:
        gamma = *static_cast<const CI_MODULE_GMA_LUT *>(arg);
        return 0;
    case CI_TIMEST_GET:
        *static_cast<QOV_UINT32 *>(arg) = ticks(clock);
        return 0;
    case CI_SYSTIME_GET:
        *static_cast<QOV_UINT64 *>(arg) = clock;
        return 0;
    case CI_DPFINT_GET:
        return dpfInternal(*this, arg);
    case CI_RTM_GET:
        return rtmGet(*this, arg);
    case CI_PIPELINE_REGISTER:
        return pipelineRegister(*this, fd, *static_cast<const CI_PIPE_INFO *>(arg));
    case CI_CONFIG_ADDPOOL:
        return addPool(*this, fd, *static_cast<CI_POOL_PARAM *>(arg));
    case CI_CONFIG_UPDATE:
        return configUpdate(*this, fd, *static_cast<CI_PIPE_PARAM *>(arg));
    case CI_CREATE_BUFF:
        return createBuffer(*this, fd, *static_cast<CI_ALLOC_PARAM *>(arg));
    case CI_DEREGISTER_BUFF:
        return deregisterBuffer(*this, fd, *static_cast<const CI_ALLOC_PARAM *>(arg));
    case CI_PIPELINE_GET_LSH:
        return getMatrix(*this, fd, *static_cast<const CI_LSH_GET_PARAM *>(arg));
    case CI_PIPELINE_SET_LSH:
        return setMatrix(*this, fd, *static_cast<const CI_LSH_SET_PARAM *>(arg));
    case CI_PIPELINE_CHANGE_LSH:
        return changeMatrix(*this, fd, *static_cast<const CI_LSH_CHANGE_PARAM *>(arg));
    case CI_CAPTURE_TRIGGER:
        return captureTrigger(*this, fd, *static_cast<CI_BUFFER_TRIGG *>(arg));
    case CI_CAPTURE_ACQUIRE:
        return captureAcquire(*this, fd, *static_cast<CI_BUFFER_PARAM *>(arg));
    case CI_CAPTURE_RELEASE:
        return captureRelease(*this, fd, *static_cast<const CI_BUFFER_TRIGG *>(arg));
    case CI_CAPTURE_HASAVAILABLE: {
        auto *avail = static_cast<CI_HAS_AVAIL *>(arg);
        Pipeline *p = ownPipeline(fd, avail->captureId);
        if (!p)
            return -EINVAL;
        avail->uiShots = countShots(*p, IspShotState::Free);
        avail->uiBuffers = 0;
        for (const auto &[id, buffer] : p->buffers)
            avail->uiBuffers += (buffer.type != CI_ALLOC_LSHMAT && buffer.boundShot == 0) ? 1 : 0;
        return 0;
    }
    case CI_GASKET_ACQUIRE:
        return gasketAcquire(*this, fd, *static_cast<const CI_GASKET *>(arg));
    case CI_GASKET_GETINFO:
        return gasketInfo(*this, *static_cast<CI_GASKET_PARAM *>(arg));
    case CI_IIFDG_START:
        return generatorStart(*this, fd, *static_cast<const CI_DG_PARAM *>(arg));
    case CI_IIFDG_ALLOCATE:
        return generatorAllocate(*this, fd, *static_cast<CI_DG_FRAMEINFO *>(arg));
    case CI_IIFDG_ACQUIRE:
        return generatorAcquire(*this, fd, *static_cast<CI_DG_FRAMEINFO *>(arg));
    case CI_IIFDG_RELEASE:
        return generatorRelease(*this, fd, *static_cast<const CI_DG_FRAMETRIG *>(arg));
    case CI_IIFDG_WAITPROCESSED:
        return generatorWait(*this, fd, *static_cast<const CI_DG_FRAMEWAIT *>(arg));
    case CI_IIFDG_FREE:
        return generatorFree(*this, fd, *static_cast<const CI_DG_FRAMEINFO *>(arg));
    default:
        return -ENOTTY;
    }
}

}  // namespace simboard
