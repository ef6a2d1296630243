// The image pipeline and the statistics of the simulated ISP, driven by the
// register words of the shot's load-structure snapshot.
//
// Internal range: 12-bit values. The Bayer front end works per sample
// (fixed black offset in input units, white-balance gain U6.10 and clip per
// cell position); the demosaic gives one colour per 2x2 cell (red and blue
// samples, mean of the greens); the colour matrix (S3.9, offsets in 12-bit
// units) follows; the gamma curve (63 points over the 12-bit range) feeds
// the colour converters, which work in 10 bits (R2Y S2.10 plus S8.2 output
// offsets, the chroma rows centred on 512; Y2R S3.9 with S9.2 offsets added
// to its inputs; channel order Cr, Y, Cb).
// Outputs sample the cells by nearest neighbour at their own size.
//
// Statistics, one pass over the cells:
//  - exposure clipping and histograms on the raw samples (12-bit), the
//    histogram input being ((value - offset) x scale) >> 15;
//  - white-balance sums and white-balance tiles on the cells after black
//    level and white-balance gains (tiles), and after the colour matrix
//    (region sums);
//  - focus: absolute differences of the cell luma with its left and upper
//    neighbours.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "isp_pack.h"
#include "simboard/isp_model.h"

namespace simboard {

namespace {

using namespace pack;

constexpr uint32_t kMax12 = 4095;
constexpr int kGrid = 7;

// Byte offsets of the statistics block.
constexpr size_t kExsGlobal = 0, kExsRegion = 64, kFosRoi = 512, kFosGrid = 576, kWbsRegion = 1024,
                 kHisGlobal = 1152, kHisRegion = 1408, kAwsTiles = 4544;

inline int32_t signExtend(uint32_t value, unsigned bits)
{
    const uint32_t m = 1u << (bits - 1);
    value &= (1u << bits) - 1;
    return static_cast<int32_t>(value ^ m) - static_cast<int32_t>(m);
}

inline uint32_t field(uint32_t word, unsigned lo, unsigned hi) { return (word >> lo) & ((1u << (hi - lo + 1)) - 1); }

inline void addSaturated(uint32_t &sum, uint32_t value)
{
    sum = sum > UINT32_MAX - value ? UINT32_MAX : sum + value;
}

inline uint32_t clamp12(int64_t v) { return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, kMax12)); }

// One grid of 7x7 tiles over pixel (or cell) coordinates: the tile index of
// every coordinate, -1 outside the grid.
void gridIndex(std::vector<int8_t> &index, uint32_t count, uint32_t start, uint32_t size)
{
    index.assign(count, -1);
    if (size == 0)
        return;
    for (uint32_t i = start; i < count; ++i) {
        const uint32_t t = (i - start) / size;
        if (t >= static_cast<uint32_t>(kGrid))
            break;
        index[i] = static_cast<int8_t>(t);
    }
}

inline int8_t tileOf(uint32_t coordinate, uint32_t start, uint32_t size)
{
    if (size == 0 || coordinate < start)
        return -1;
    const uint32_t t = (coordinate - start) / size;
    return t < static_cast<uint32_t>(kGrid) ? static_cast<int8_t>(t) : int8_t{-1};
}

struct Triple {
    uint16_t a, b, c;
};

// Configuration decoded from the load-structure words.
struct PipeConfig {
    int32_t blackOffset[4];  // per cell position, input units
    uint32_t gain[4];        // U6.10
    uint32_t clip[4];        // 12-bit level (U9.4 value of the clip register)
    int32_t ccm[3][3];       // S3.9
    int32_t ccmOffset[3];    // 12-bit units
    bool gammaBypass;
    int32_t r2y[3][3];       // S2.10, rows Cr, Y, Cb
    int32_t r2yOffset[3];    // S8.2: 10-bit units, added to the outputs
    int32_t y2r[3][3];       // S3.9, columns Cr, Y, Cb
    int32_t y2rOffset[3];    // S9.2: 10-bit units, added to the inputs

    void decode(const uint32_t *w)
    {
        for (int c = 0; c < 4; ++c) {
            blackOffset[c] = static_cast<int8_t>(w[5] >> (8 * c));
            gain[c] = (w[49 + c / 2] >> (16 * (c % 2))) & 0xFFFF;
            clip[c] = std::min<uint32_t>(field(w[51 + c / 2], 16 * (c % 2), 16 * (c % 2) + 12), kMax12 + 1);
        }
        for (int i = 0; i < 3; ++i) {
            ccm[i][0] = signExtend(field(w[88 + 2 * i], 0, 11), 12);
            ccm[i][1] = signExtend(field(w[88 + 2 * i], 16, 27), 12);
            ccm[i][2] = signExtend(field(w[89 + 2 * i], 0, 11), 12);
            r2y[i][0] = signExtend(field(w[124 + 2 * i], 0, 11), 12);
            r2y[i][1] = signExtend(field(w[124 + 2 * i], 16, 27), 12);
            r2y[i][2] = signExtend(field(w[125 + 2 * i], 0, 11), 12);
            r2yOffset[i] = signExtend(field(w[125 + 2 * i], 16, 25), 10);
            y2r[i][0] = signExtend(field(w[305 + 2 * i], 0, 11), 12);
            y2r[i][1] = signExtend(field(w[305 + 2 * i], 16, 27), 12);
            y2r[i][2] = signExtend(field(w[306 + 2 * i], 0, 11), 12);
            y2rOffset[i] = signExtend(field(w[306 + 2 * i], 16, 26), 11);
        }
        ccmOffset[0] = signExtend(field(w[94], 0, 11), 12);
        ccmOffset[1] = signExtend(field(w[94], 16, 27), 12);
        ccmOffset[2] = signExtend(field(w[95], 0, 11), 12);
        gammaBypass = (w[114] & 1) != 0;
    }
};

// Statistics configuration decoded from the load-structure words.
struct StatsConfig {
    uint32_t exsLeft, exsTop, exsWidth, exsHeight, exsPixelMax;
    uint32_t awsCol, awsRow, awsTileW, awsTileH;  // cells
    uint32_t awsDark[3], awsClip[3];              // U8.8, R G B
    uint32_t fosLeft, fosTop, fosWidth, fosHeight;
    uint32_t roiLeft, roiTop, roiRight, roiBottom;
    uint32_t wbsLeft[2], wbsTop[2], wbsRight[2], wbsBottom[2];
    unsigned wbsRegions;
    uint32_t wbsMax[2][4];  // R, G, B, Y thresholds, 11 fractional bits
    uint32_t hisOffset, hisScale, hisLeft, hisTop, hisWidth, hisHeight;

    void decode(const uint32_t *w, uint32_t flags)
    {
        exsLeft = field(w[0], 0, 15), exsTop = field(w[0], 16, 31);
        exsWidth = field(w[1], 0, 13), exsHeight = field(w[1], 16, 29);
        exsPixelMax = field(w[2], 0, 11);
        awsCol = field(w[39], 0, 15), awsRow = field(w[39], 16, 31);
        awsTileW = field(w[40], 0, 11) + 1, awsTileH = field(w[40], 16, 27) + 1;
        awsDark[0] = field(w[42], 0, 15), awsDark[1] = field(w[42], 16, 31), awsDark[2] = field(w[43], 0, 15);
        awsClip[0] = field(w[43], 16, 31), awsClip[1] = field(w[44], 0, 15), awsClip[2] = field(w[44], 16, 31);
        fosLeft = field(w[57], 0, 15), fosTop = field(w[57], 16, 31);
        fosWidth = field(w[58], 0, 13), fosHeight = field(w[58], 16, 29);
        roiLeft = field(w[59], 1, 15), roiTop = field(w[59], 16, 30);
        roiRight = field(w[60], 0, 14), roiBottom = field(w[60], 16, 30);
        for (int r = 0; r < 2; ++r) {
            wbsLeft[r] = field(w[115 + r], 0, 14), wbsTop[r] = field(w[115 + r], 16, 30);
            wbsRight[r] = field(w[117 + r], 0, 14), wbsBottom[r] = field(w[117 + r], 16, 30);
            wbsMax[r][0] = field(w[120 + r], 0, 11), wbsMax[r][1] = field(w[120 + r], 12, 23);
            wbsMax[r][2] = field(w[122 + r], 0, 11), wbsMax[r][3] = field(w[122 + r], 12, 23);
        }
        wbsRegions = (flags & CI_SAVE_WHITEBALANCE) ? 1 + (w[119] & 1) : 0;
        hisOffset = field(w[130], 0, 9), hisScale = field(w[130], 16, 31);
        hisLeft = field(w[131], 0, 13), hisTop = field(w[131], 16, 29);
        hisWidth = field(w[132], 0, 13), hisHeight = field(w[132], 16, 29);
    }
};

bool isYcc444(pxlFormat format) { return format >= PXL_ISP_444IL3YCrCb8 && format <= PXL_ISP_444IL3YCbCr10; }

bool isBgr(pxlFormat format)
{
    return format == BGR_888_24 || format == BGR_888_32 || format == BGR_101010_32 || format == BGR_161616_64;
}

class PipelineImageModel : public IspImageModel {
public:
    PipelineImageModel()
    {
        // log2 of every 12-bit value, 5 fractional bits (0 for 0, never used).
        m_log2.resize(kMax12 + 1);
        for (uint32_t v = 1; v <= kMax12; ++v)
            m_log2[v] = static_cast<uint16_t>(std::lround(std::log2(static_cast<double>(v)) * 32.0));
    }

    void process(ShotFrame &frame) override
    {
        const BayerFrame &image = *frame.image;
        if (image.width < 2 || image.height < 2 || image.bitDepth == 0 || image.bitDepth > 16 ||
            image.samples.size() < static_cast<size_t>(image.width) * image.height)
            return;
        static const uint32_t kZeroWords[317] = {};
        const uint32_t *words = frame.loadStructure ? frame.loadStructure : kZeroWords;
        m_pipe.decode(words);
        m_stats.decode(words, frame.outputConfig);
        MOSAICType mosaic = frame.info ? frame.info->iifConfig.eBayerFormat : image.mosaic;
        if (mosaic < MOSAIC_RGGB || mosaic > MOSAIC_BGGR)
            mosaic = image.mosaic;
        mosaicLayout(mosaic, &m_red, &m_blue);
        prepareTables(image.bitDepth, frame.gamma);

        frontEndAndStatistics(frame, image);

        if (frame.display.memory) {
            if (frame.dataExtraction)
                writeBayer(frame.display, image);
            else
                writeColour(frame.display, Path::Display);
        }
        if (frame.raw2D.memory)
            writeBayer(frame.raw2D, image);
        if (frame.encoder.memory)
            writeColour(frame.encoder, Path::Encoder);
        if (frame.hdrExtraction.memory)
            writeColour(frame.hdrExtraction, Path::Linear);
    }

private:
    enum class Path { Encoder, Display, Linear };

    void prepareTables(uint8_t bitDepth, const CI_MODULE_GMA_LUT *gamma)
    {
        const uint32_t levels = 1u << bitDepth;
        m_inputMax = levels - 1;
        m_raw12.resize(levels);
        for (int p = 0; p < 4; ++p)
            m_front[p].resize(levels);
        for (uint32_t s = 0; s < levels; ++s) {
            m_raw12[s] = static_cast<uint16_t>(rescale(s, bitDepth, 12));
            for (int p = 0; p < 4; ++p) {
                const int32_t black = static_cast<int32_t>(s) + m_pipe.blackOffset[p];
                const uint32_t v = rescale(static_cast<uint32_t>(std::clamp<int32_t>(black, 0, static_cast<int32_t>(m_inputMax))),
                                           bitDepth, 12);
                const uint32_t gained = (v * m_pipe.gain[p]) >> 10;
                m_front[p][s] = static_cast<uint16_t>(std::min({gained, m_pipe.clip[p], kMax12}));
            }
        }
        // Gamma: 63 points spread evenly over the 12-bit range, linear between them.
        const QOV_UINT16 *curves[3] = {nullptr, nullptr, nullptr};
        if (gamma && !m_pipe.gammaBypass) {
            curves[0] = gamma->aRedPoints;
            curves[1] = gamma->aGreenPoints;
            curves[2] = gamma->aBluePoints;
        }
        for (int ch = 0; ch < 3; ++ch) {
            m_gamma[ch].resize(kMax12 + 1);
            for (uint32_t v = 0; v <= kMax12; ++v) {
                if (!curves[ch]) {
                    m_gamma[ch][v] = static_cast<uint16_t>(v);
                    continue;
                }
                const uint32_t pos = v * 62, i = pos / kMax12, frac = pos % kMax12;
                const int32_t p0 = std::min<uint32_t>(curves[ch][i], kMax12);
                const int32_t p1 = i < 62 ? std::min<uint32_t>(curves[ch][i + 1], kMax12) : p0;
                m_gamma[ch][v] = static_cast<uint16_t>(p0 + (p1 - p0) * static_cast<int32_t>(frac) / static_cast<int32_t>(kMax12));
            }
        }
    }

    void resetStatistics()
    {
        std::memset(m_exsGlobal, 0, sizeof m_exsGlobal);
        std::memset(m_exsRegion, 0, sizeof m_exsRegion);
        std::memset(m_hisGlobal, 0, sizeof m_hisGlobal);
        std::memset(m_hisRegion, 0, sizeof m_hisRegion);
        std::memset(m_wbs, 0, sizeof m_wbs);
        std::memset(m_aws, 0, sizeof m_aws);
        std::memset(m_fosGrid, 0, sizeof m_fosGrid);
        m_fosRoi = 0;
    }

    // Front end of every cell into m_cells (linear colour after the colour
    // matrix) and the statistics the output flags ask for.
    void frontEndAndStatistics(const ShotFrame &frame, const BayerFrame &image)
    {
        const uint32_t flags = frame.outputConfig;
        const bool exsGlobal = flags & CI_SAVE_EXS_GLOBAL, exsRegion = flags & CI_SAVE_EXS_REGION;
        const bool hisGlobal = flags & CI_SAVE_HIST_GLOBAL, hisRegion = flags & CI_SAVE_HIST_REGION;
        const bool fosRoi = flags & CI_SAVE_FOS_ROI, fosGrid = flags & CI_SAVE_FOS_GRID;
        const bool aws = flags & CI_SAVE_WHITEBALANCE_EXT;
        const bool wbs = m_stats.wbsRegions > 0;
        const bool exs = exsGlobal || exsRegion, his = hisGlobal || hisRegion, fos = fosRoi || fosGrid;
        const StatsConfig &st = m_stats;
        resetStatistics();

        m_cellsW = image.width / 2;
        m_cellsH = image.height / 2;
        m_cells.resize(static_cast<size_t>(m_cellsW) * m_cellsH);
        gridIndex(m_exsCol, image.width, st.exsLeft, st.exsWidth);
        gridIndex(m_hisCol, image.width, st.hisLeft, st.hisWidth);
        gridIndex(m_fosCol, image.width, st.fosLeft, st.fosWidth);
        gridIndex(m_awsCol, m_cellsW, st.awsCol, st.awsTileW);
        m_lumaPrev.assign(m_cellsW, 0);
        m_lumaCur.assign(m_cellsW, 0);

        const int red = m_red, blue = m_blue;
        const int green0 = red == 0 || blue == 0 ? 1 : 0;
        const int green1 = 3 - green0;
        const uint32_t maxIn = m_inputMax;
        const int64_t hisOffset = st.hisOffset, hisScale = st.hisScale;

        for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
            const uint16_t *top = image.samples.data() + static_cast<size_t>(2 * cy) * image.width;
            const uint16_t *bottom = top + image.width;
            Triple *cells = m_cells.data() + static_cast<size_t>(cy) * m_cellsW;
            const int8_t exsRow[2] = {tileOf(2 * cy, st.exsTop, st.exsHeight), tileOf(2 * cy + 1, st.exsTop, st.exsHeight)};
            const int8_t hisRow[2] = {tileOf(2 * cy, st.hisTop, st.hisHeight), tileOf(2 * cy + 1, st.hisTop, st.hisHeight)};
            const int8_t fosRow = tileOf(2 * cy, st.fosTop, st.fosHeight);
            const int8_t awsRow = tileOf(cy, st.awsRow, st.awsTileH);
            const bool roiRow = 2 * cy >= st.roiTop && 2 * cy <= st.roiBottom;
            for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
                const uint32_t s[4] = {std::min<uint32_t>(top[2 * cx], maxIn), std::min<uint32_t>(top[2 * cx + 1], maxIn),
                                       std::min<uint32_t>(bottom[2 * cx], maxIn),
                                       std::min<uint32_t>(bottom[2 * cx + 1], maxIn)};
                const uint32_t w[4] = {m_front[0][s[0]], m_front[1][s[1]], m_front[2][s[2]], m_front[3][s[3]]};
                const int32_t r = static_cast<int32_t>(w[red]), b = static_cast<int32_t>(w[blue]);
                const int32_t g = static_cast<int32_t>((w[green0] + w[green1]) / 2);
                int32_t rgb[3];
                for (int i = 0; i < 3; ++i)
                    rgb[i] = static_cast<int32_t>(clamp12(
                        ((static_cast<int64_t>(m_pipe.ccm[i][0]) * r + static_cast<int64_t>(m_pipe.ccm[i][1]) * g +
                          static_cast<int64_t>(m_pipe.ccm[i][2]) * b) >> 9) + m_pipe.ccmOffset[i]));
                cells[cx] = Triple{static_cast<uint16_t>(rgb[0]), static_cast<uint16_t>(rgb[1]), static_cast<uint16_t>(rgb[2])};

                if (exs || his || fos) {
                    uint32_t raw[4];
                    for (int p = 0; p < 4; ++p)
                        raw[p] = m_raw12[s[p]];
                    if (exs) {
                        for (int p = 0; p < 4; ++p) {
                            if (raw[p] < st.exsPixelMax)
                                continue;
                            if (exsGlobal)
                                ++m_exsGlobal[p];
                            const int8_t tx = m_exsCol[2 * cx + (p & 1)], ty = exsRow[p >> 1];
                            if (exsRegion && tx >= 0 && ty >= 0) {
                                uint16_t &n = m_exsRegion[ty][tx][p];
                                n = n == UINT16_MAX ? n : static_cast<uint16_t>(n + 1);
                            }
                        }
                    }
                    if (his) {
                        for (int p = 0; p < 4; ++p) {
                            const uint32_t h = clamp12(((static_cast<int64_t>(raw[p]) - hisOffset) * hisScale) >> 15);
                            if (hisGlobal)
                                ++m_hisGlobal[h >> 6];
                            const int8_t tx = m_hisCol[2 * cx + (p & 1)], ty = hisRow[p >> 1];
                            if (hisRegion && tx >= 0 && ty >= 0)
                                ++m_hisRegion[ty][tx][h >> 8];
                        }
                    }
                    if (fos) {
                        const uint32_t luma = (raw[0] + raw[1] + raw[2] + raw[3]) / 4;
                        uint32_t energy = 0;
                        if (cx > 0)
                            energy += static_cast<uint32_t>(std::abs(static_cast<int32_t>(luma) - m_lumaCur[cx - 1]));
                        if (cy > 0)
                            energy += static_cast<uint32_t>(std::abs(static_cast<int32_t>(luma) - m_lumaPrev[cx]));
                        m_lumaCur[cx] = static_cast<int32_t>(luma);
                        if (fosRoi && roiRow && 2 * cx >= st.roiLeft && 2 * cx <= st.roiRight)
                            addSaturated(m_fosRoi, energy);
                        const int8_t tx = m_fosCol[2 * cx];
                        if (fosGrid && tx >= 0 && fosRow >= 0)
                            addSaturated(m_fosGrid[fosRow][tx], energy);
                    }
                }
                if (aws && awsRow >= 0 && m_awsCol[cx] >= 0)
                    awsCell(m_aws[awsRow][m_awsCol[cx]], static_cast<uint32_t>(r), static_cast<uint32_t>(g),
                            static_cast<uint32_t>(b));
                if (wbs)
                    wbsCell(2 * cx, 2 * cy, cells[cx]);
            }
            if (fos)
                std::swap(m_lumaPrev, m_lumaCur);
        }
        writeStatistics(frame);
    }

    struct AwsTile {
        uint32_t red, blue, green, cells;
    };

    // A cell counts when no channel is dark or clipped (thresholds in 8-bit
    // units with 8 fractional bits) and none is 0.
    void awsCell(AwsTile &tile, uint32_t r, uint32_t g, uint32_t b) const
    {
        const uint32_t v[3] = {r, g, b};
        for (int c = 0; c < 3; ++c) {
            const uint32_t scaled = v[c] * 16;  // 12-bit value as U8.8 of the 8-bit range
            if (v[c] == 0 || scaled < m_stats.awsDark[c] || scaled > m_stats.awsClip[c])
                return;
        }
        addSaturated(tile.red, m_log2[r]);
        addSaturated(tile.green, m_log2[g]);
        addSaturated(tile.blue, m_log2[b]);
        ++tile.cells;
    }

    struct WbsRegion {
        uint32_t wpSum[3], wpCount[3], acSum[3], hlwSum[3], hlwCount;
    };

    // Thresholds carry 11 fractional bits of the full range: level = value x 2
    // in 12-bit units. Luma: (77 R + 150 G + 29 B) / 256.
    void wbsCell(uint32_t x, uint32_t y, const Triple &c)
    {
        const uint32_t v[3] = {c.a, c.b, c.c};
        const uint32_t luma = (77 * v[0] + 150 * v[1] + 29 * v[2]) >> 8;
        for (unsigned n = 0; n < m_stats.wbsRegions; ++n) {
            if (x < m_stats.wbsLeft[n] || x > m_stats.wbsRight[n] || y < m_stats.wbsTop[n] || y > m_stats.wbsBottom[n])
                continue;
            WbsRegion &region = m_wbs[n];
            for (int ch = 0; ch < 3; ++ch) {
                addSaturated(region.acSum[ch], v[ch]);
                if (v[ch] > 2 * m_stats.wbsMax[n][ch]) {
                    addSaturated(region.wpSum[ch], v[ch]);
                    ++region.wpCount[ch];
                }
            }
            if (luma > 2 * m_stats.wbsMax[n][3]) {
                for (int ch = 0; ch < 3; ++ch)
                    addSaturated(region.hlwSum[ch], v[ch]);
                ++region.hlwCount;
            }
        }
    }

    void writeStatistics(const ShotFrame &frame) const
    {
        uint8_t *block = frame.statistics;
        if (!block || frame.statisticsSize < kAwsTiles + 128 * kGrid)
            return;
        auto put16 = [block](size_t at, uint32_t v) {
            block[at] = static_cast<uint8_t>(v);
            block[at + 1] = static_cast<uint8_t>(v >> 8);
        };
        const uint32_t flags = frame.outputConfig;
        for (int c = 0; c < 4 && (flags & CI_SAVE_EXS_GLOBAL); ++c)
            store32(block + kExsGlobal + 4 * c, m_exsGlobal[c]);
        if (flags & CI_SAVE_EXS_REGION)
            for (int r = 0; r < kGrid; ++r)
                for (int t = 0; t < kGrid; ++t)
                    for (int c = 0; c < 4; ++c)
                        put16(kExsRegion + 64 * r + 8 * t + 2 * c, m_exsRegion[r][t][c]);
        if (flags & CI_SAVE_FOS_ROI)
            store32(block + kFosRoi, m_fosRoi);
        if (flags & CI_SAVE_FOS_GRID)
            for (int r = 0; r < kGrid; ++r)
                for (int t = 0; t < kGrid; ++t)
                    store32(block + kFosGrid + 64 * r + 4 * t, m_fosGrid[r][t]);
        for (unsigned n = 0; n < m_stats.wbsRegions; ++n) {
            uint8_t *p = block + kWbsRegion + 64 * n;
            const WbsRegion &region = m_wbs[n];
            for (int ch = 0; ch < 3; ++ch) {
                store32(p + 8 * ch, region.wpSum[ch]);
                store32(p + 8 * ch + 4, region.wpCount[ch]);
                store32(p + 24 + 4 * ch, region.acSum[ch]);
                store32(p + 36 + 4 * ch, region.hlwSum[ch]);
            }
            store32(p + 48, region.hlwCount);
        }
        if (flags & CI_SAVE_HIST_GLOBAL)
            for (int bin = 0; bin < 64; ++bin)
                store32(block + kHisGlobal + 4 * bin, m_hisGlobal[bin]);
        if (flags & CI_SAVE_HIST_REGION)
            for (int r = 0; r < kGrid; ++r)
                for (int t = 0; t < kGrid; ++t)
                    for (int bin = 0; bin < 16; ++bin)
                        store32(block + kHisRegion + 64 * (kGrid * r + t) + 4 * bin, m_hisRegion[r][t][bin]);
        if (flags & CI_SAVE_WHITEBALANCE_EXT)
            for (int r = 0; r < kGrid; ++r)
                for (int t = 0; t < kGrid; ++t) {
                    uint8_t *p = block + kAwsTiles + 128 * r + 16 * t;
                    const AwsTile &tile = m_aws[r][t];
                    store32(p, tile.red);
                    store32(p + 4, tile.blue);
                    store32(p + 8, tile.green);
                    store32(p + 12, std::min<uint32_t>(tile.cells, (1u << 22) - 1));
                }
        // Flicker status: the simulated scene has no flicker, FLD_NO_FLICKER (0)
        // stays in the zeroed block.
    }

    /*---------------------------------------------------------------- outputs */

    uint8_t *lineBuffer(std::vector<uint8_t> &buffer, size_t bytes)
    {
        if (buffer.size() < bytes)
            buffer.resize(bytes);
        std::memset(buffer.data(), 0, bytes);
        return buffer.data();
    }

    void writeBayer(const OutputBinding &out, const BayerFrame &image)
    {
        const uint32_t width = std::min(out.width, image.width);
        const uint32_t bytes = packedLineBytes(out.type, out.width);
        if (m_samples.size() < out.width)
            m_samples.resize(out.width);
        for (uint32_t y = 0; y < out.height && y < image.height; ++y) {
            const uint16_t *row = image.samples.data() + static_cast<size_t>(y) * image.width;
            std::fill(m_samples.begin(), m_samples.begin() + out.width, 0);
            for (uint32_t x = 0; x < width; ++x)
                m_samples[x] = static_cast<uint16_t>(rescale(row[x], image.bitDepth, out.type.ui8BitDepth));
            uint8_t *line = lineBuffer(m_line, bytes);
            packBayer(out.type.eFmt, m_samples.data(), out.width, line);
            placeLine(out, out.offset, out.stride, y, line, bytes);
        }
    }

    // Gamma-corrected 12-bit colour of a cell.
    Triple gammaOf(const Triple &c) const { return Triple{m_gamma[0][c.a], m_gamma[1][c.b], m_gamma[2][c.c]}; }

    // RGB (12-bit, gamma applied) to Cr, Y, Cb in 10 bits; rows 0 and 2 are
    // chroma, centred on 512.
    Triple toYcc(const Triple &c) const
    {
        const int32_t in[3] = {c.a >> 2, c.b >> 2, c.c >> 2};
        uint16_t out[3];
        for (int i = 0; i < 3; ++i) {
            const int32_t v = ((m_pipe.r2y[i][0] * in[0] + m_pipe.r2y[i][1] * in[1] + m_pipe.r2y[i][2] * in[2]) >> 10) +
                              m_pipe.r2yOffset[i] + (i == 1 ? 0 : 512);
            out[i] = static_cast<uint16_t>(std::clamp(v, 0, 1023));
        }
        return Triple{out[0], out[1], out[2]};
    }

    // Cr, Y, Cb (10 bits) through the YCC-to-RGB converter.
    Triple fromYcc(const Triple &c) const
    {
        const int32_t in[3] = {c.a + m_pipe.y2rOffset[0], c.b + m_pipe.y2rOffset[1], c.c + m_pipe.y2rOffset[2]};
        uint16_t out[3];
        for (int i = 0; i < 3; ++i) {
            const int32_t v = (m_pipe.y2r[i][0] * in[0] + m_pipe.y2r[i][1] * in[1] + m_pipe.y2r[i][2] * in[2]) >> 9;
            out[i] = static_cast<uint16_t>(std::clamp(v, 0, 1023));
        }
        return Triple{out[0], out[1], out[2]};
    }

    // Colours of every cell of cell row `cy` as the output needs them:
    // encoder Cr, Y, Cb (10 bits); display the converter outputs (10 bits);
    // otherwise gamma-corrected (encoder) or linear (HDR extraction) R, G, B
    // in 12 bits.
    void colourRow(Path path, bool yuv, uint32_t cy)
    {
        const Triple *cells = m_cells.data() + static_cast<size_t>(cy) * m_cellsW;
        for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
            const Triple &c = cells[cx];
            switch (path) {
            case Path::Linear: m_row[cx] = c; break;
            case Path::Encoder: m_row[cx] = yuv ? toYcc(gammaOf(c)) : gammaOf(c); break;
            case Path::Display: m_row[cx] = fromYcc(toYcc(gammaOf(c))); break;
            }
        }
    }

    void writeColour(const OutputBinding &out, Path path)
    {
        if (out.width == 0 || out.height == 0 || m_cellsW == 0 || m_cellsH == 0)
            return;
        if (m_cellX.size() < out.width)
            m_cellX.resize(out.width);
        for (uint32_t ox = 0; ox < out.width; ++ox)
            m_cellX[ox] = std::min<uint32_t>(static_cast<uint32_t>(static_cast<uint64_t>(ox) * m_cellsW / out.width), m_cellsW - 1);
        if (m_row.size() < m_cellsW)
            m_row.resize(m_cellsW);
        const bool semiPlanar = out.type.eBuffer == TYPE_YUV && !isYcc444(out.type.eFmt);
        if (semiPlanar && path == Path::Encoder)
            writeSemiPlanar(out);
        else if (!semiPlanar)
            writePacked(out, path);
    }

    uint32_t cellRow(const OutputBinding &out, uint32_t oy) const
    {
        return std::min<uint32_t>(static_cast<uint32_t>(static_cast<uint64_t>(oy) * m_cellsH / out.height), m_cellsH - 1);
    }

    static void packSamples(unsigned depth, const uint16_t *samples, uint32_t count, uint8_t *out)
    {
        if (depth == 10) {
            pack10In32(samples, count, out);
            return;
        }
        for (uint32_t i = 0; i < count; ++i)
            out[i] = static_cast<uint8_t>(samples[i]);
    }

    // Luma plane and interleaved chroma plane; the converter's row 0 comes
    // first in the chroma pairs (the library swaps rows for U-first formats).
    void writeSemiPlanar(const OutputBinding &out)
    {
        const unsigned depth = out.type.ui8BitDepth;
        const unsigned shift = depth >= 10 ? 0 : 10 - depth;
        const uint32_t hsub = std::max<uint32_t>(out.type.ui8HSubsampling, 1);
        const uint32_t vsub = std::max<uint32_t>(out.type.ui8VSubsampling, 1);
        const uint32_t chromaSamples = out.width * 2 / hsub;
        const uint32_t lumaBytes = packedLineBytes(out.type, out.width);
        const uint32_t chromaBytes = packedLineBytes(out.type, chromaSamples);
        if (m_samples.size() < std::max(out.width, chromaSamples))
            m_samples.resize(std::max(out.width, chromaSamples));
        lineBuffer(m_line, lumaBytes);
        lineBuffer(m_lineC, chromaBytes);
        uint32_t lumaRow = UINT32_MAX, chromaRow = UINT32_MAX, colourRowDone = UINT32_MAX;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = cellRow(out, oy);
            const bool withChroma = oy % vsub == 0 && oy / vsub < out.linesC;
            if (cy != colourRowDone && (cy != lumaRow || (withChroma && cy != chromaRow))) {
                colourRow(Path::Encoder, true, cy);
                colourRowDone = cy;
            }
            if (cy != lumaRow) {
                lumaRow = cy;
                for (uint32_t ox = 0; ox < out.width; ++ox)
                    m_samples[ox] = static_cast<uint16_t>(m_row[m_cellX[ox]].b >> shift);
                std::memset(m_line.data(), 0, lumaBytes);
                packSamples(depth, m_samples.data(), out.width, m_line.data());
            }
            placeLine(out, out.offset, out.stride, oy, m_line.data(), lumaBytes);
            if (!withChroma)
                continue;
            if (cy != chromaRow) {
                chromaRow = cy;
                for (uint32_t k = 0; 2 * k + 1 < chromaSamples; ++k) {
                    const Triple &c = m_row[m_cellX[std::min(k * hsub, out.width - 1)]];
                    m_samples[2 * k] = static_cast<uint16_t>(c.a >> shift);
                    m_samples[2 * k + 1] = static_cast<uint16_t>(c.c >> shift);
                }
                std::memset(m_lineC.data(), 0, chromaBytes);
                packSamples(depth, m_samples.data(), chromaSamples, m_lineC.data());
            }
            placeLine(out, out.offsetC, out.strideC, oy / vsub, m_lineC.data(), chromaBytes);
        }
    }

    void writePacked(const OutputBinding &out, Path path)
    {
        const pxlFormat format = out.type.eFmt;
        const bool ycc444 = isYcc444(format);
        if (path == Path::Encoder && ycc444)
            return;  // no 4:4:4 encoder output
        const uint32_t bytes = packedLineBytes(out.type, out.width);
        lineBuffer(m_line, bytes);
        uint32_t row = UINT32_MAX;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = cellRow(out, oy);
            if (cy != row) {
                row = cy;
                colourRow(path, false, cy);
                std::memset(m_line.data(), 0, bytes);
                packPixels(format, path, out.width, m_line.data());
            }
            placeLine(out, out.offset, out.stride, oy, m_line.data(), bytes);
        }
    }

    // Memory order of a pixel's three values, scaled to `depth` bits. The
    // display converter's outputs go out in their own order (the library
    // swaps its rows for BGR formats; a 4:4:4 pass puts luma in row 2);
    // R, G, B of the other paths follow the format's order.
    Triple memoryOrder(const Triple &c, Path path, pxlFormat format, unsigned depth) const
    {
        Triple m = c;
        unsigned from = 12;
        if (path == Path::Display) {
            from = 10;
            if (isYcc444(format))
                m = Triple{c.c, c.a, c.b};
        } else if (isBgr(format)) {
            m = Triple{c.c, c.b, c.a};
        }
        return Triple{static_cast<uint16_t>(rescale(m.a, from, depth)), static_cast<uint16_t>(rescale(m.b, from, depth)),
                      static_cast<uint16_t>(rescale(m.c, from, depth))};
    }

    void packPixels(pxlFormat format, Path path, uint32_t width, uint8_t *p) const
    {
        switch (format) {
        case RGB_888_24:
        case BGR_888_24:
        case RGB_888_32:
        case BGR_888_32:
        case PXL_ISP_444IL3YCrCb8:
        case PXL_ISP_444IL3YCbCr8: {
            const uint32_t step = format == RGB_888_32 || format == BGR_888_32 ? 4 : 3;
            for (uint32_t x = 0; x < width; ++x, p += step) {
                const Triple m = memoryOrder(m_row[m_cellX[x]], path, format, 8);
                p[0] = static_cast<uint8_t>(m.a), p[1] = static_cast<uint8_t>(m.b), p[2] = static_cast<uint8_t>(m.c);
            }
            break;
        }
        case RGB_101010_32:
        case BGR_101010_32:
        case PXL_ISP_444IL3YCrCb10:
        case PXL_ISP_444IL3YCbCr10:
            for (uint32_t x = 0; x < width; ++x, p += 4) {
                const Triple m = memoryOrder(m_row[m_cellX[x]], path, format, 10);
                store32(p, m.a | (static_cast<uint32_t>(m.b) << 10) | (static_cast<uint32_t>(m.c) << 20));
            }
            break;
        case BGR_161616_64:
            for (uint32_t x = 0; x < width; ++x, p += 8) {
                const Triple m = memoryOrder(m_row[m_cellX[x]], path, format, 16);
                const uint16_t v[4] = {m.a, m.b, m.c, 0};
                for (int k = 0; k < 4; ++k)
                    p[2 * k] = static_cast<uint8_t>(v[k]), p[2 * k + 1] = static_cast<uint8_t>(v[k] >> 8);
            }
            break;
        default:
            break;
        }
    }

    PipeConfig m_pipe{};
    StatsConfig m_stats{};
    int m_red = 0, m_blue = 3;
    uint32_t m_inputMax = 0;
    std::vector<uint16_t> m_raw12;     // input sample -> 12 bits
    std::vector<uint16_t> m_front[4];  // input sample -> black level, gain, clip (12 bits)
    std::vector<uint16_t> m_gamma[3];
    std::vector<uint16_t> m_log2;
    uint32_t m_cellsW = 0, m_cellsH = 0;
    std::vector<Triple> m_cells;  // linear colour of every cell after the colour matrix
    std::vector<Triple> m_row;
    std::vector<uint32_t> m_cellX;
    std::vector<uint16_t> m_samples;
    std::vector<uint8_t> m_line, m_lineC;
    std::vector<int8_t> m_exsCol, m_hisCol, m_fosCol, m_awsCol;
    std::vector<int32_t> m_lumaPrev, m_lumaCur;  // cell luma of the focus measure: row above, this row

    uint32_t m_exsGlobal[4];
    uint16_t m_exsRegion[kGrid][kGrid][4];
    uint32_t m_hisGlobal[64];
    uint32_t m_hisRegion[kGrid][kGrid][16];
    WbsRegion m_wbs[2];
    AwsTile m_aws[kGrid][kGrid];
    uint32_t m_fosRoi = 0;
    uint32_t m_fosGrid[kGrid][kGrid];
};

}  // namespace

std::unique_ptr<IspImageModel> makePipelineImageModel() { return std::make_unique<PipelineImageModel>(); }

}  // namespace simboard
