// The frame path of the simulated ISP: an input frame reaches a gasket (from
// a data generator or a sensor), every started pipeline on that gasket turns
// it into its oldest queued shot, and the virtual clock advances one frame.
#include <algorithm>
#include <cstring>

#include "isp_state.h"

namespace simboard {

namespace {

using State = IspDriver::State;

constexpr uint32_t kMaxImageSide = 16384;

uint64_t align64(uint64_t x) { return (x + 63) / 64 * 64; }

uint64_t nextPowerOfTwo(uint64_t x)
{
    uint64_t p = 1;
    while (p < x)
        p <<= 1;
    return p;
}

uint64_t roundUp(uint64_t x, uint64_t multiple) { return (x + multiple - 1) / multiple * multiple; }

struct LayoutRequest {
    PIXELTYPE type{};
    uint32_t width = 0, height = 0;
    bool semiPlanar = false;  // luma plane and interleaved chroma plane
    bool bayer = false;       // data or RAW 2D extraction: linear lines not rounded to the memory alignment
    bool tiled = false;
    uint32_t stride = 0, strideC = 0, offset = 0, offsetC = 0;  // 0: the driver's default
};

// Lays out one output in a buffer: the given strides and offsets, or the
// defaults of the buffer-size rules.
int layout(const TileScheme &tiles, const LayoutRequest &r, Geometry &g)
{
    const uint32_t line = packedLineBytes(r.type, r.width);
    if (r.width == 0 || r.height == 0 || line == 0)
        return -EINVAL;
    g.type = r.type;
    g.width = r.width;
    g.height = r.height;
    g.tiled = r.tiled;
    uint32_t lineC = 0;
    if (r.semiPlanar) {
        const uint32_t hsub = std::max<uint32_t>(r.type.ui8HSubsampling, 1);
        const uint32_t vsub = std::max<uint32_t>(r.type.ui8VSubsampling, 1);
        lineC = packedLineBytes(r.type, r.width * 2 / hsub);
        g.linesC = r.height / vsub;
        if (lineC == 0 || g.linesC == 0)
            return -EINVAL;
    }
    uint64_t stride, strideC = 0;
    if (r.bayer && !r.tiled) {
        stride = line;
    } else if (r.tiled) {
        stride = std::max<uint64_t>(nextPowerOfTwo(std::max(align64(line), align64(lineC))), tiles.minStride);
        if (stride > tiles.maxStride)
            return -EINVAL;
        strideC = r.semiPlanar ? stride : 0;
    } else {
        stride = align64(line);
        strideC = r.semiPlanar ? align64(lineC) : 0;
    }
    if (r.stride != 0)
        stride = r.stride;
    if (r.semiPlanar && r.strideC != 0)
        strideC = r.strideC;
    if (stride < line || (r.semiPlanar && strideC < lineC))
        return -EINVAL;
    if (r.tiled && (stride % tiles.width != 0 || strideC % tiles.width != 0))
        return -EINVAL;
    const uint64_t lines = r.tiled ? roundUp(r.height, tiles.height) : r.height;
    const uint64_t offsetC = r.offsetC != 0 ? r.offsetC : r.offset + stride * lines;
    if (stride > UINT32_MAX || strideC > UINT32_MAX || offsetC > UINT32_MAX)
        return -EINVAL;
    g.stride = static_cast<uint32_t>(stride);
    g.strideC = static_cast<uint32_t>(strideC);
    g.offset = r.offset;
    g.offsetC = r.semiPlanar ? static_cast<uint32_t>(offsetC) : 0;
    return 0;
}

uint64_t layoutEnd(const TileScheme &tiles, const Geometry &g)
{
    const uint64_t lines = g.tiled ? roundUp(g.height, tiles.height) : g.height;
    uint64_t end = g.offset + static_cast<uint64_t>(g.stride) * lines;
    if (g.strideC != 0) {
        const uint64_t linesC = g.tiled ? roundUp(g.linesC, tiles.height) : g.linesC;
        end = std::max(end, g.offsetC + static_cast<uint64_t>(g.strideC) * linesC);
    }
    return end;
}

const PIXELTYPE &slotType(const CI_PIPELINE_CONFIG &config, Slot slot)
{
    switch (slot) {
    case kEncoder: return config.eEncType;
    case kDisplay: return config.eDispType;
    case kHdrExtraction: return config.eHDRExtType;
    case kHdrInsertion: return config.eHDRInsType;
    default: return config.eRaw2DExtraction;
    }
}

// Encoder and display output sizes from the scaler words of the load structure.
void scalerSize(const uint32_t *load, unsigned rowsWord, unsigned columnsWord, uint32_t *width, uint32_t *height)
{
    *width = 2 * (((load[columnsWord] >> 1) & 0x1FFF) + 1);
    *height = (load[rowsWord] & 0x7FFF) + 1;
}

void addSaturated(uint8_t &counter, unsigned count)
{
    counter = static_cast<uint8_t>(std::min<unsigned>(counter + count, 255));
}

void store32(uint8_t *p, uint32_t value) { std::memcpy(p, &value, 4); }

}  // namespace

int IspDriver::State::resolveSlot(Slot slot, const Pipeline &pipeline, const CI_BUFFID &ids,
                                  const CI_PIPE_INFO &info, const uint32_t *load, Geometry &geometry) const
{
    geometry = Geometry{};
    LayoutRequest r;
    uint32_t id = 0;
    switch (slot) {
    case kEncoder:
        id = ids.encId, r.stride = ids.encStrideY, r.strideC = ids.encStrideC;
        r.offset = ids.encOffsetY, r.offsetC = ids.encOffsetC;
        break;
    case kDisplay: id = ids.dispId, r.stride = ids.dispStride, r.offset = ids.dispOffset; break;
    case kHdrExtraction: id = ids.idHDRExt, r.stride = ids.HDRExtStride, r.offset = ids.HDRExtOffset; break;
    case kHdrInsertion: id = ids.idHDRIns, r.stride = ids.HDRInsStride, r.offset = ids.HDRInsOffset; break;
    default: id = ids.idRaw2D, r.stride = ids.raw2DStride, r.offset = ids.raw2DOffset; break;
    }
    if (id == 0)
        return 0;
    auto it = pipeline.buffers.find(id);
    if (it == pipeline.buffers.end())
        return -EINVAL;
    r.type = slotType(info.config, slot);
    if (r.type.eBuffer == TYPE_NONE)
        return -EINVAL;  // a buffer for an output that is off
    r.width = imagerWidth(info.iifConfig);
    r.height = imagerHeight(info.iifConfig);
    if (slot == kEncoder)
        scalerSize(load, 239, 279, &r.width, &r.height);
    else if (slot == kDisplay && r.type.eBuffer != TYPE_BAYER)
        scalerSize(load, 241, 304, &r.width, &r.height);
    r.semiPlanar = slot == kEncoder;
    r.bayer = slot == kRaw2D || r.type.eBuffer == TYPE_BAYER;
    r.tiled = it->second.tiled;
    const TileScheme tiles = tileScheme();
    if (int error = layout(tiles, r, geometry))
        return error;
    geometry.bufferId = id;
    if (layoutEnd(tiles, geometry) > it->second.size)
        return -EINVAL;  // never write past a buffer
    return 0;
}

int IspDriver::State::resolveOutputs(const Pipeline &pipeline, const CI_BUFFID &ids, const CI_PIPE_INFO &info,
                                     const uint32_t *load, std::array<Geometry, kSlotCount> &outputs) const
{
    for (unsigned k = 0; k < kSlotCount; ++k) {
        if (int error = resolveSlot(static_cast<Slot>(k), pipeline, ids, info, load, outputs[k]))
            return error;
    }
    return 0;
}

uint32_t IspDriver::State::defaultBufferSize(const Pipeline &pipeline, CI_ALLOC_BUFF type, bool tiled) const
{
    const CI_PIPELINE_CONFIG &config = pipeline.info.config;
    LayoutRequest r;
    r.tiled = tiled;
    r.width = imagerWidth(pipeline.info.iifConfig);
    r.height = imagerHeight(pipeline.info.iifConfig);
    switch (type) {
    case CI_ALLOC_ENC:
        r.type = config.eEncType;
        r.semiPlanar = true;
        r.width = config.ui16MaxEncOutWidth;
        r.height = config.ui16MaxEncOutHeight;
        break;
    case CI_ALLOC_DISP:
        r.type = config.eDispType;
        r.width = config.ui16MaxDispOutWidth;
        r.height = config.ui16MaxDispOutHeight;
        r.bayer = r.type.eBuffer == TYPE_BAYER;
        break;
    case CI_ALLOC_HDREXT: r.type = config.eHDRExtType; break;
    case CI_ALLOC_HDRINS: r.type = config.eHDRInsType; break;
    case CI_ALLOC_RAW2D:
        r.type = config.eRaw2DExtraction;
        r.bayer = true;
        break;
    default: return 0;
    }
    Geometry g;
    if (layout(tileScheme(), r, g) != 0)
        return 0;
    const uint64_t end = layoutEnd(tileScheme(), g);
    return end > UINT32_MAX ? 0 : static_cast<uint32_t>(end);
}

namespace {

// The started generator feeding `gasket` and its oldest queued frame.
bool queuedGeneratorFrame(State &s, unsigned gasket, Generator **generator, GeneratorFrame **frame)
{
    for (auto &[id, g] : s.generators) {
        if (!g->started || g->setup.ui8Gasket != gasket)
            continue;
        GeneratorFrame *oldest = nullptr;
        for (GeneratorFrame &f : g->frames) {
            if (f.state == IspFrameState::Queued && (!oldest || f.sequence < oldest->sequence))
                oldest = &f;
        }
        if (oldest) {
            *generator = g.get();
            *frame = oldest;
            return true;
        }
    }
    return false;
}

}  // namespace

bool IspDriver::State::hasInput(unsigned gasket)
{
    if (gasket >= imagers())
        return false;
    Generator *generator;
    GeneratorFrame *frame;
    if (queuedGeneratorFrame(*this, gasket, &generator, &frame))
        return true;
    const Gasket &g = gaskets[gasket];
    return g.reserved && g.source && g.source->streaming();
}

bool IspDriver::State::deliverFrame(unsigned gasket)
{
    if (gasket >= imagers())
        return false;
    Gasket &port = gaskets[gasket];
    Generator *generator = nullptr;
    GeneratorFrame *frame = nullptr;
    bool inputError = false;
    uint64_t period = 0;
    if (queuedGeneratorFrame(*this, gasket, &generator, &frame)) {
        const CI_DG_FRAMETRIG &t = frame->trigger;
        const CI_DATAGEN &setup = generator->setup;
        input.width = t.uiWidth;
        input.height = t.uiHeight;
        input.bitDepth = setup.ui8FormatBitdepth;
        input.mosaic = setup.eBayerMosaic;
        input.lampHz = 0;
        input.samples.resize(static_cast<size_t>(t.uiWidth) * t.uiHeight);
        WireErrors errors;
        const MemObject *memory = object(generator->ownerFd, frame->id);
        if (!memory || !decodeWireFrame(memory->view, memory->size, t.uiStride, t.uiWidth, t.uiHeight,
                                        static_cast<WireFormat>(setup.eFormat), setup.ui8FormatBitdepth,
                                        input.samples.data(), errors)) {
            std::fill(input.samples.begin(), input.samples.end(), 0);
            inputError = true;
        }
        addSaturated(port.header, errors.header);
        addSaturated(port.ecc, errors.ecc);
        addSaturated(port.eccCorrected, errors.eccCorrected);
        addSaturated(port.crc, errors.crc);
        inputError = inputError || errors.frameError();
        // (W + HB) x (H + VB) pixel clocks at the reference clock.
        const uint64_t clocks = static_cast<uint64_t>(t.uiWidth + t.uiHorizontalBlanking) *
                                (t.uiHeight + t.uiVerticalBlanking);
        const uint64_t pixelRate = std::max<uint64_t>(profile.info.ui32RefClockMhz, 1) *
                                   std::max<uint64_t>(profile.info.config_ui8PixPerClock, 1);
        period = clocks * 1000 / pixelRate;
    } else if (port.reserved && port.source && port.source->streaming()) {
        period = port.source->nextFrame(input);
        if (period == 0)
            return false;
        if (input.width > kMaxImageSide || input.height > kMaxImageSide || input.bitDepth == 0 ||
            input.bitDepth > 16) {
            // Nothing usable: the frame arrives, all of its pixels missing.
            input.width = input.height = 0;
            input.bitDepth = 16;
            inputError = true;
        }
        const size_t expected = static_cast<size_t>(input.width) * input.height;
        if (input.width < 2 || input.height < 2 || input.samples.size() < expected)
            inputError = true;
        input.samples.resize(expected);
    } else {
        return false;
    }

    ++port.frameCount;
    ++framesReceived;
    const uint64_t start = clock;
    const bool lost = droppedFrames > 0;
    if (lost)
        --droppedFrames;
    for (auto &[id, p] : pipelines) {
        if (!p->started || p->imager() != gasket)
            continue;
        if (lost) {
            ++p->missedFrames;
            ++framesDropped;
            continue;
        }
        Shot *shot = nullptr;
        for (auto &candidate : p->shots) {
            if (candidate->state == IspShotState::Queued && (!shot || candidate->sequence < shot->sequence))
                shot = candidate.get();
        }
        if (!shot) {  // no shot to capture into: the frame is dropped
            ++p->missedFrames;
            ++framesDropped;
            continue;
        }
        processShot(*p, *shot, inputError, start, period);
    }
    clock = start + std::max<uint64_t>(period, 1);
    if (frame) {
        frame->state = IspFrameState::Free;
        ++generator->processed;
    }
    return true;
}

void IspDriver::State::processShot(Pipeline &pipeline, Shot &shot, bool inputError, uint64_t start,
                                   uint64_t period)
{
    bool frameError = inputError;
    if (erroneousFrames > 0) {
        --erroneousFrames;
        frameError = true;
    }
    const CI_PIPE_INFO &info = *shot.info;

    // The capture rectangle: offset, size in 2x2 cells, decimation.
    const CI_MODULE_IIF &iif = info.iifConfig;
    uint32_t width = imagerWidth(iif), height = imagerHeight(iif);
    if (width > kMaxImageSide || height > kMaxImageSide) {
        frameError = true;
        width = height = 0;
    }
    const uint64_t dx = iif.ui16ImagerDecimation[0] + 1u, dy = iif.ui16ImagerDecimation[1] + 1u;
    const uint64_t ox = iif.ui16ImagerOffset[0], oy = iif.ui16ImagerOffset[1];
    const BayerFrame *pipelineInput = &image;
    if (ox == 0 && oy == 0 && dx == 1 && dy == 1 && width == input.width && height == input.height) {
        pipelineInput = &input;  // the whole frame: no copy
    } else {
        image.width = width;
        image.height = height;
        image.bitDepth = input.bitDepth;
        image.mosaic = input.mosaic;
        image.lampHz = input.lampHz;
        image.samples.resize(static_cast<size_t>(width) * height);
        for (uint32_t r = 0; r < height; ++r) {
            uint16_t *dst = image.samples.data() + static_cast<size_t>(r) * width;
            const uint64_t iy = oy + (r / 2) * 2 * dy + (r & 1);
            if (iy >= input.height) {
                std::fill(dst, dst + width, 0);
                frameError = true;
                continue;
            }
            const uint16_t *src = input.samples.data() + iy * input.width;
            if (dx == 1) {
                const uint64_t n = ox < input.width ? std::min<uint64_t>(width, input.width - ox) : 0;
                std::copy(src + ox, src + ox + n, dst);
                std::fill(dst + n, dst + width, 0);
                frameError = frameError || n < width;
                continue;
            }
            for (uint32_t c = 0; c < width; ++c) {
                const uint64_t ix = ox + (c / 2) * 2 * dx + (c & 1);
                if (ix < input.width) {
                    dst[c] = src[ix];
                } else {
                    dst[c] = 0;
                    frameError = true;
                }
            }
        }
    }

    MemObject *stats = object(pipeline.ownerFd, shot.mapIds[CI_POOL_MAP_ID_STAT]);
    MemObject *loadCopy = object(pipeline.ownerFd, shot.mapIds[CI_POOL_MAP_ID_LOAD]);
    MemObject *dpf = object(pipeline.ownerFd, shot.mapIds[CI_POOL_MAP_ID_DPF]);
    MemObject *ens = object(pipeline.ownerFd, shot.mapIds[CI_POOL_MAP_ID_ENS]);
    const auto *load = reinterpret_cast<const uint32_t *>(loadCopy->view);

    ShotFrame frame;
    frame.image = pipelineInput;
    frame.info = &info;
    frame.loadStructure = load;
    frame.gamma = &gamma;
    frame.outputConfig = shot.outputConfig;
    frame.statistics = stats->view;
    frame.statisticsSize = kIspStatisticsSize;
    std::memset(stats->view, 0, kIspStatisticsSize);
    if (dpf) {
        frame.dpfOutput = dpf->view;
        frame.dpfSize = dpf->size;
    }
    if (ens) {
        frame.ensOutput = ens->view;
        frame.ensSize = ens->size;
    }
    frame.dataExtraction = info.config.eDispType.eBuffer == TYPE_BAYER;
    if (auto matrix = pipeline.buffers.find(pipeline.matrixInUse); matrix != pipeline.buffers.end()) {
        if (MemObject *grid = object(pipeline.ownerFd, matrix->first)) {
            frame.lshMatrix = grid->view;
            frame.lshMatrixSize = grid->size;
            frame.lshDescription = matrix->second.description;
        }
    }
    frame.defects = pipeline.defects.data();
    frame.defectCount = pipeline.defects.size() / 2;
    // Flicker detection counts its frames from the shot that switched it on
    // or reset it.
    const bool flickerReset = (load[230] & 1) != 0;
    pipeline.flickerFrames = (shot.outputConfig & CI_SAVE_FLICKER) && !flickerReset ? pipeline.flickerFrames + 1 : 0;
    frame.flickerFrame = pipeline.flickerFrames;
    OutputBinding *bindings[kSlotCount] = {&frame.encoder, &frame.display, &frame.hdrExtraction,
                                           &frame.hdrInsertion, &frame.raw2D};
    const TileScheme tiles = tileScheme();
    for (unsigned k = 0; k < kSlotCount; ++k) {
        if (shot.outputs[k].bufferId == 0)
            continue;
        Geometry g;
        if (resolveSlot(static_cast<Slot>(k), pipeline, shot.requested, info, load, g) != 0 || width == 0) {
            frameError = true;  // the output no longer fits its buffer: skipped
            continue;
        }
        shot.outputs[k] = g;
        MemObject *memory = object(pipeline.ownerFd, g.bufferId);
        OutputBinding &b = *bindings[k];
        b.memory = memory->view;
        b.size = pipeline.buffers[g.bufferId].size;
        b.type = g.type;
        b.width = g.width;
        b.height = g.height;
        b.stride = g.stride;
        b.offset = g.offset;
        b.strideC = g.strideC;
        b.offsetC = g.offsetC;
        b.linesC = g.linesC;
        b.tiled = g.tiled;
        b.tileWidth = tiles.width;
        b.tileHeight = tiles.height;
    }
    if (width != 0) {
        model->process(frame);
        frameError = frameError || frame.frameError;
    }

    // Status word, defect counters (left 0 by the model) and timestamps.
    const uint64_t startOut = start + period / 32, endIn = start + period * 7 / 8;
    const uint64_t endOut = start + period * 29 / 32, interrupt = start + period * 15 / 16;
    store32(stats->view + kStatusWordOffset, (frameError ? 1u : 0u) | (uint32_t{shot.privateValue} << 16));
    store32(stats->view + kTimestampsOffset, ticks(start));
    store32(stats->view + kTimestampsOffset + 4, ticks(endIn));
    store32(stats->view + kTimestampsOffset + 8, ticks(startOut));
    store32(stats->view + kTimestampsOffset + 12, ticks(endOut));
    store32(stats->view + kTimestampsOffset + 16, ticks(endOut));

    shot.state = IspShotState::Done;
    // The HDR-insertion input has been read: its buffer is free for another
    // trigger, while the outputs stay with the shot until it is released.
    auto insertion = pipeline.buffers.find(shot.outputs[kHdrInsertion].bufferId);
    if (insertion != pipeline.buffers.end() && insertion->second.boundShot == shot.id)
        insertion->second.boundShot = 0;
    shot.frameError = frameError;
    shot.missedFrames = pipeline.missedFrames;
    pipeline.missedFrames = 0;
    shot.interruptTS = ticks(interrupt);
    shot.interruptSysTime = interrupt;
    ++shotsDone;
    framesInError += frameError ? 1 : 0;
    const unsigned c = pipeline.context() < 2 ? pipeline.context() : 0;
    ++contextDone[c];
    contextWidth[c] = width;
    contextHeight[c] = height;
}

}  // namespace simboard
