// The image pipeline and the statistics of the simulated ISP, driven by the
// register words of the shot's load-structure snapshot (isp_config.h holds
// the decoded words and the arithmetic chosen for each stage).
//
// A frame goes through three passes over planes of one value per 2x2 cell:
//  1. Bayer front end, one plane per cell position: black level and scaling
//     to 12 bits, raw curve, lens shading, white-balance gains and clips,
//     denoiser, defective pixels, chromatic aberration.
//  2. Colour, per cell: demosaic, colour matrix, main gamut clip (the HDR
//     insertion replaces the colour here, the HDR extraction taps it),
//     gamma, RGB to YCC, tone mapper; then sharpening on the luma plane.
//  3. Outputs: the encoder and display scalers sample the planes; the
//     display goes through YCC to RGB and the display gamut clip.
//
// Statistics, where the control loops read them:
//  - exposure clipping on the raw samples (scaled to 12 bits, before the
//    black level) against the pixel maximum, counted per colour channel;
//  - white-balance tiles on the cells before the white-balance gains, per
//    CFA cell: sums of log2 of the 12-bit channels (27.5 fixed point);
//  - white-balance regions after the gains and the colour matrix, per
//    pixel, sums in 8-bit units (12-bit value / 16) so that a 16-megapixel
//    image stays below 2^32; thresholds compare the 12-bit value with twice
//    the register (11 fractional bits of the range);
//  - histograms per pixel on the luma of the gamma-corrected colour, before
//    the RGB-to-YCC picture controls and the tone mapper:
//    Y = (77 R + 150 G + 29 B) / 256 in 12 bits, input
//    ((Y - offset) x scale) >> 15, 64 global bins and 16 per tile;
//  - focus per pixel: |dx| + |dy| of that luma in 8-bit units between
//    neighbouring cells;
//  - flicker: "waiting" for the first frames after it is switched on, then
//    the scene's lamp;
//  - defective-pixel counters and output list;
//  - encoder statistics: per band of lines, an 8-byte entry: the sum of the
//    absolute luma differences (8-bit) between neighbouring cells, taken
//    at every `subsampling`-th cell column, and the number of differences.
// A block whose output flag is off reads zeros.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "isp_config.h"
#include "isp_pack.h"
#include "simboard/isp_model.h"

// The frame loops are compiled for AVX2 beside the baseline where the
// compiler can choose between them at run time.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SIMBOARD_VECTOR_CLONES [[gnu::target_clones("avx2", "default")]]
#else
#define SIMBOARD_VECTOR_CLONES
#endif

namespace simboard {

namespace {

using namespace pack;
using namespace isp;

// Byte offsets of the statistics block.
constexpr size_t kExsGlobal = 0, kExsRegion = 64, kFosRoi = 512, kFosGrid = 576, kWbsRegion = 1024,
                 kHisGlobal = 1152, kHisRegion = 1408, kAwsTiles = 4544, kDefectCounters = 5444,
                 kFlickerStatus = 5456;
// Flicker status codes of the hardware.
constexpr uint32_t kNoFlicker = 0, kFlicker50Hz = 1, kFlicker60Hz = 2, kFlickerWaiting = 4;

inline void addSaturated(uint32_t &sum, uint64_t value)
{
    const uint64_t total = sum + value;
    sum = total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

inline uint16_t clamp12(int32_t v) { return static_cast<uint16_t>(std::clamp<int32_t>(v, 0, kMax12)); }

// Tile index (0 to 6) of every coordinate, -1 outside the grid.
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

// Pixels of cell c (pixels 2c and 2c + 1) inside [first, last].
inline uint32_t pixelsInside(uint32_t c, uint32_t first, uint32_t last)
{
    return (2 * c >= first && 2 * c <= last ? 1u : 0u) + (2 * c + 1 >= first && 2 * c + 1 <= last ? 1u : 0u);
}

bool isYcc444(pxlFormat format) { return format >= PXL_ISP_444IL3YCrCb8 && format <= PXL_ISP_444IL3YCbCr10; }

struct Triple {
    uint16_t a, b, c;
};

// Piecewise curve through (0, 0), the points at x = (i + 1) / n of the range
// and (1, 1); linear or Catmull-Rom between them.
double curveAt(const double *knotsY, int knots, double x, bool cubic)
{
    // knotsY[0] is the value at 0, knotsY[knots - 1] the value at 1.
    const double pos = std::clamp(x, 0.0, 1.0) * (knots - 1);
    const int i = std::min(static_cast<int>(pos), knots - 2);
    const double t = pos - i;
    const double p1 = knotsY[i], p2 = knotsY[i + 1];
    if (!cubic)
        return p1 + (p2 - p1) * t;
    const double p0 = i > 0 ? knotsY[i - 1] : p1, p3 = i + 2 < knots ? knotsY[i + 2] : p2;
    return p1 + 0.5 * t * (p2 - p0 + t * (2 * p0 - 5 * p1 + 4 * p2 - p3 + t * (3 * (p1 - p2) + p3 - p0)));
}

// A 3x3 matrix of the configuration held in locals, so that the loops using
// it keep its coefficients in registers.
struct Matrix3 {
    int32_t a, b, c, d, e, f, g, h, i;
    explicit Matrix3(const int32_t (&m)[3][3])
        : a(m[0][0]), b(m[0][1]), c(m[0][2]), d(m[1][0]), e(m[1][1]), f(m[1][2]), g(m[2][0]), h(m[2][1]), i(m[2][2])
    {
    }
};

// Mean of the four nearest values (left, right, above, below; at the ends
// of the row its second value stands in for the missing neighbour), rounded.
// The sum of four 12-bit values and the rounding stay within 16 bits.
inline void neighbourMeans(const uint16_t *__restrict row, const uint16_t *__restrict up,
                           const uint16_t *__restrict down, uint16_t *__restrict mean, size_t w)
{
    mean[0] = static_cast<uint16_t>((row[1] + row[1] + up[0] + down[0] + 2) >> 2);
    for (size_t i = 1; i + 1 < w; ++i) {
        const uint16_t sum = static_cast<uint16_t>(row[i - 1] + row[i + 1] + up[i] + down[i] + 2);
        mean[i] = static_cast<uint16_t>(sum >> 2);
    }
    mean[w - 1] = static_cast<uint16_t>((row[w - 2] + row[w - 2] + up[w - 1] + down[w - 1] + 2) >> 2);
}

// The least and the greatest of the three rows in every column.
inline void columnExtremes(const uint16_t *__restrict a, const uint16_t *__restrict b, const uint16_t *__restrict c,
                           uint16_t *__restrict lo, uint16_t *__restrict hi, size_t w)
{
    for (size_t i = 0; i < w; ++i) {
        const uint16_t x = a[i], y = b[i], z = c[i];
        lo[i] = std::min(std::min(x, y), z);
        hi[i] = std::max(std::max(x, y), z);
    }
}

template <class F>
inline void applyRow(const uint16_t *__restrict in, const uint16_t *__restrict mean, uint16_t *__restrict out, size_t w,
                     F f)
{
    for (size_t i = 0; i < w; ++i)
        out[i] = static_cast<uint16_t>(f(in[i], mean[i]));
}

// Each value moved towards its mean by at most its threshold, in 16-bit
// lanes: values, means and thresholds are 12-bit.
inline void pullTowards(const uint16_t *__restrict in, const uint16_t *__restrict mean,
                        const uint16_t *__restrict threshold, uint16_t *__restrict out, size_t w)
{
    for (size_t i = 0; i < w; ++i) {
        const int16_t v = static_cast<int16_t>(in[i]), t = static_cast<int16_t>(threshold[i]);
        const int16_t d = static_cast<int16_t>(static_cast<int16_t>(mean[i]) - v);
        out[i] = static_cast<uint16_t>(v + std::clamp<int16_t>(d, static_cast<int16_t>(-t), t));
    }
}

// Counts bin (values[i] >> 6) of the four interleaved copies in `counts`
// for i in [begin, end), so that runs of one value do not wait on each other.
inline void countBins(const uint16_t *values, size_t begin, size_t end, uint32_t (&counts)[4][64])
{
    size_t i = begin;
    for (; i + 4 <= end; i += 4) {
        ++counts[0][values[i] >> 6];
        ++counts[1][values[i + 1] >> 6];
        ++counts[2][values[i + 2] >> 6];
        ++counts[3][values[i + 3] >> 6];
    }
    for (; i < end; ++i)
        ++counts[0][values[i] >> 6];
}

// Each value twice, as 8-bit samples: an output at twice the cells' width.
inline void pairUp8(const uint16_t *__restrict in, uint8_t *__restrict out, size_t pairs, unsigned shift)
{
    for (size_t i = 0; i < pairs; ++i)
        out[2 * i] = out[2 * i + 1] = static_cast<uint8_t>(in[i] >> shift);
}

// Two planes interleaved as 8-bit samples: chroma pairs of a 4:2:x output
// at twice the cells' width.
inline void interleave8(const uint16_t *__restrict a, const uint16_t *__restrict b, uint8_t *__restrict out,
                        size_t pairs, unsigned shift)
{
    for (size_t i = 0; i < pairs; ++i) {
        out[2 * i] = static_cast<uint8_t>(a[i] >> shift);
        out[2 * i + 1] = static_cast<uint8_t>(b[i] >> shift);
    }
}

// Each 32-bit word twice, little-endian bytes.
inline void pairUp32(const uint32_t *__restrict in, uint8_t *__restrict out, size_t pairs)
{
    for (size_t i = 0; i < pairs; ++i) {
        std::memcpy(out + 8 * i, &in[i], 4);
        std::memcpy(out + 8 * i + 4, &in[i], 4);
    }
}

// out[i] = table[in[i]]: a loop the compiler can turn into vector gathers.
template <class Table, class Index, class Out>
inline void lookUp(const Table *__restrict table, const Index *__restrict in, Out *__restrict out, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        out[i] = static_cast<Out>(table[in[i]]);
}

class PipelineImageModel : public IspImageModel {
public:
    PipelineImageModel()
    {
        // log2 of every 12-bit value, 5 fractional bits (0 for 0, never used).
        m_log2.resize(kMax12 + 1);
        for (uint32_t v = 1; v <= kMax12; ++v)
            m_log2[v] = static_cast<int32_t>(std::lround(std::log2(static_cast<double>(v)) * 32.0));
    }

    void process(ShotFrame &frame) override { run(frame); }

private:
    // The whole frame in one function with every stage inlined, built for
    // the wider vectors of the machine when it has them.
    SIMBOARD_VECTOR_CLONES [[gnu::flatten]] void run(ShotFrame &frame)
    {
        const BayerFrame &image = *frame.image;
        if (image.width < 2 || image.height < 2 || image.bitDepth == 0 || image.bitDepth > 16 ||
            image.samples.size() < static_cast<size_t>(image.width) * image.height)
            return;
        static const uint32_t kZeroWords[317] = {};
        const uint32_t *words = frame.loadStructure ? frame.loadStructure : kZeroWords;
        m_front.decode(words);
        m_correct.decode(words);
        m_colour.decode(words);
        m_stats.decode(words);
        m_encoderScaler.decode(words, 238, 239, 278, 279);
        m_displayScaler.decode(words, 240, 241, 303, 304);
        MOSAICType mosaic = frame.info ? frame.info->iifConfig.eBayerFormat : image.mosaic;
        if (mosaic < MOSAIC_RGGB || mosaic > MOSAIC_BGGR)
            mosaic = image.mosaic;
        mosaicLayout(mosaic, &m_red, &m_blue);
        m_green0 = m_red == 0 || m_blue == 0 ? 1 : 0;
        m_green1 = 3 - m_green0;
        m_flags = frame.outputConfig;
        m_cellsW = image.width / 2;
        m_cellsH = image.height / 2;
        m_cells = static_cast<size_t>(m_cellsW) * m_cellsH;
        for (auto *row : {&m_rowR, &m_rowG, &m_rowB, &m_rowLuma, &m_rowWork, &m_gammaRow[0], &m_gammaRow[1], &m_gammaRow[2]})
            row->resize(m_cellsW);
        prepareTables(image.bitDepth, frame.gamma);
        resetStatistics();

        frontEnd(image, frame);
        if (m_correct.lcaOn)
            chromaticAberration();
        colour(frame);
        if (m_colour.shaStrength != 0)
            sharpen();
        if (frame.ensOutput && (m_flags & CI_SAVE_ENS) && frame.info)
            encoderStatistics(frame);
        writeStatistics(frame);

        if (frame.display.memory) {
            if (frame.dataExtraction)
                writeBayer(frame.display, image, m_samples, m_line);
            else
                writeColour(frame.display, Path::Display);
        }
        if (frame.raw2D.memory)
            writeBayer(frame.raw2D, image, m_samples, m_line);
        if (frame.encoder.memory)
            writeColour(frame.encoder, Path::Encoder);
        if (frame.hdrExtraction.memory)
            writeColour(frame.hdrExtraction, Path::Linear);
    }

    enum class Path { Encoder, Display, Linear };

    /*----------------------------------------------------------- tables */

    void prepareTables(uint8_t bitDepth, const CI_MODULE_GMA_LUT *gamma)
    {
        const uint32_t levels = 1u << bitDepth;
        m_inputMax = levels - 1;
        // The lowest input sample that reaches the exposure pixel maximum.
        m_exsThreshold = levels;
        for (uint32_t s = 0; s < levels; ++s) {
            if (expandBits(s, bitDepth, 12) >= m_stats.exsPixelMax) {
                m_exsThreshold = s;
                break;
            }
        }
        if (m_correct.dnsOn)
            m_rowThreshold.resize(m_cellsW);
        // The tables depend on these values only: a frame configured as the
        // one before keeps its tables.
        const QOV_UINT16 *curves[3] = {nullptr, nullptr, nullptr};
        if (gamma && !m_colour.gammaBypass) {
            curves[0] = gamma->aRedPoints;
            curves[1] = gamma->aGreenPoints;
            curves[2] = gamma->aBluePoints;
        }
        std::vector<uint32_t> &key = m_tableKeyScratch;
        key.assign({bitDepth, static_cast<uint32_t>(m_red), m_front.rltMode, curves[0] != nullptr, m_colour.tnmBypass,
                    m_colour.tnmInOffset, m_colour.tnmInScale, m_colour.tnmOutOffset, m_colour.tnmOutScale,
                    m_correct.dnsOn});
        for (int c = 0; c < 4; ++c) {
            key.push_back(static_cast<uint32_t>(m_front.blackOffset[c]));
            key.insert(key.end(), m_front.rltPoints[c], m_front.rltPoints[c] + 16);
        }
        for (int ch = 0; ch < 3 && curves[0]; ++ch)
            key.insert(key.end(), curves[ch], curves[ch] + 63);
        key.insert(key.end(), m_colour.tnmCurve, m_colour.tnmCurve + 63);
        key.insert(key.end(), m_correct.dnsPoints, m_correct.dnsPoints + 21);
        if (key == m_tableKey) {
            if (m_correct.dnsOn && m_dnsFlat)
                std::fill(m_rowThreshold.begin(), m_rowThreshold.end(), m_dnsThreshold[0]);
            return;
        }
        m_tableKey.swap(key);
        double rlt[4][17];
        for (int p = 0; p < 4; ++p) {
            rlt[p][0] = 0.0;
            for (int k = 0; k < 16; ++k)
                rlt[p][k + 1] = m_front.rltPoints[p][k] * (4096.0 / 65536.0);
        }
        for (int p = 0; p < 4; ++p) {
            m_pre[p].resize(levels);
            for (uint32_t s = 0; s < levels; ++s) {
                const int32_t black = static_cast<int32_t>(s) + m_front.blackOffset[channel(p)];
                uint32_t v = expandBits(static_cast<uint32_t>(std::clamp<int32_t>(black, 0, static_cast<int32_t>(m_inputMax))),
                                        bitDepth, 12);
                if (m_front.rltMode)
                    v = clamp12(static_cast<int32_t>(std::lround(curveAt(rlt[channel(p)], 17, v / 4096.0, m_front.rltMode == 3))));
                m_pre[p][s] = static_cast<int32_t>(v | (static_cast<uint32_t>(m_log2[v]) << 16));
            }
        }
        // Gamma: 63 points spread evenly over the 12-bit range, linear between them.
        for (int ch = 0; ch < 3; ++ch) {
            m_gamma[ch].resize(kMax12 + 1);
            for (uint32_t v = 0; v <= kMax12; ++v) {
                if (!curves[ch]) {
                    m_gamma[ch][v] = static_cast<int32_t>(v);
                    continue;
                }
                const uint32_t pos = v * 62, i = pos / kMax12, frac = pos % kMax12;
                const int32_t p0 = std::min<uint32_t>(curves[ch][i], kMax12);
                const int32_t p1 = i < 62 ? std::min<uint32_t>(curves[ch][i + 1], kMax12) : p0;
                m_gamma[ch][v] = p0 + (p1 - p0) * static_cast<int32_t>(frac) / static_cast<int32_t>(kMax12);
            }
        }
        // Tone mapper on 10-bit luma.
        m_tnm.resize(1024);
        double knots[65];
        knots[0] = 0.0;
        for (int i = 0; i < 63; ++i)
            knots[i + 1] = m_colour.tnmCurve[i] / 2048.0;
        knots[64] = 1.0;
        for (uint32_t y = 0; y < 1024; ++y) {
            if (m_colour.tnmBypass) {
                m_tnm[y] = static_cast<int32_t>(y);
                continue;
            }
            const double x = (y / 4.0 - m_colour.tnmInOffset / 16.0) * (m_colour.tnmInScale / 4096.0) / 256.0;
            const double out = curveAt(knots, 65, x, false) * 256.0 * (m_colour.tnmOutScale / 4096.0) +
                               m_colour.tnmOutOffset / 16.0;
            m_tnm[y] = static_cast<int32_t>(std::clamp<long>(std::lround(out * 4.0), 0, 1023));
        }
        // Denoiser thresholds by level, 12-bit units.
        if (m_correct.dnsOn) {
            m_dnsThreshold.resize(kMax12 + 1);
            for (uint32_t v = 0; v <= kMax12; ++v) {
                const uint32_t pos = v * 20, i = pos / 4096, frac = pos % 4096;
                const uint32_t a = m_correct.dnsPoints[i], b = m_correct.dnsPoints[std::min<uint32_t>(i + 1, 20)];
                // U8.5 of the 8-bit range: x 16 / 32 in 12-bit units.
                m_dnsThreshold[v] = static_cast<uint16_t>((a * (4096 - frac) + b * frac) / 4096 / 2);
            }
            // One threshold for every level (equal points) needs no look-up:
            // the row of thresholds is filled once.
            m_dnsFlat = std::all_of(m_dnsThreshold.begin(), m_dnsThreshold.end(),
                                    [this](uint16_t t) { return t == m_dnsThreshold[0]; });
            m_rowThreshold.assign(m_cellsW, m_dnsThreshold[0]);
        }
    }

    /*------------------------------------------------------- front end */

    std::vector<uint16_t> &plane(int p) { return m_planes[p]; }

    // Colour channel (0 R, 1 G1 on the red row, 2 G2 on the blue row, 3 B)
    // of cell position p: the mosaic is RGGB mirrored so that red lands on
    // its position, and the same mirroring takes a position to its channel.
    int channel(int p) const { return p ^ m_red; }

    // The Bayer front end row by row: scaling, black level and raw curve,
    // exposure clipping, lens shading, the white-balance tiles (before the
    // gains), the gains, then the denoiser and the defective pixels.
    void frontEnd(const BayerFrame &image, const ShotFrame &frame)
    {
        for (int p = 0; p < 4; ++p)
            m_planes[p].resize(m_cells);
        const bool shading = prepareLensShading(frame);
        const bool denoise = m_correct.dnsOn;
        const bool defects = prepareDefects(frame);
        const bool tiles = m_flags & CI_SAVE_WHITEBALANCE_EXT;
        if (tiles) {
            // Runs of cells in one tile column.
            gridIndex(m_awsCol, m_cellsW, m_stats.awsCol, m_stats.awsTileW);
            m_awsSegments.clear();
            for (size_t cx = 0; cx < m_cellsW; ++cx) {
                if (m_awsCol[cx] < 0)
                    continue;
                if (!m_awsSegments.empty() && m_awsSegments.back().end == cx && m_awsSegments.back().first == m_awsCol[cx])
                    ++m_awsSegments.back().end;
                else
                    m_awsSegments.push_back(Segment{cx, cx + 1, m_awsCol[cx], -1, 1});
            }
        }
        const bool exsGlobal = m_flags & CI_SAVE_EXS_GLOBAL, exsRegion = m_flags & CI_SAVE_EXS_REGION;
        if (exsRegion)
            gridIndex(m_exsCol, image.width, m_stats.exsLeft, m_stats.exsWidth);
        const uint32_t maxIn = m_inputMax, threshold = m_exsThreshold;
        // Without lens shading the tiles see the raw curve's values: their
        // red and blue log2 come with the look-up, one row of each kept.
        m_tileLogs = tiles && !shading;
        for (auto &row : m_rowLog2)
            row.resize(m_tileLogs ? m_cellsW : 0);
        for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
            for (int p = 0; p < 4; ++p) {
                const uint32_t y = 2 * cy + (p >> 1);
                const uint16_t *__restrict src = image.samples.data() + static_cast<size_t>(y) * image.width + (p & 1);
                uint16_t *__restrict dst = m_planes[p].data() + static_cast<size_t>(cy) * m_cellsW;
                const int32_t *lut = m_pre[p].data();
                uint32_t clipped = 0;
                const size_t cells = m_cellsW;  // a local: the stores below cannot change it
                if (m_tileLogs && (p == m_red || p == m_blue)) {
                    uint16_t *__restrict logs = m_rowLog2[p == m_blue].data();
                    for (size_t cx = 0; cx < cells; ++cx) {
                        const uint32_t s = std::min<uint32_t>(src[2 * cx], maxIn);
                        const int32_t entry = lut[s];
                        dst[cx] = static_cast<uint16_t>(entry);
                        logs[cx] = static_cast<uint16_t>(entry >> 16);
                        clipped += s >= threshold;
                    }
                } else {
                    for (size_t cx = 0; cx < cells; ++cx) {
                        const uint32_t s = std::min<uint32_t>(src[2 * cx], maxIn);
                        dst[cx] = static_cast<uint16_t>(lut[s]);
                        clipped += s >= threshold;
                    }
                }
                if (clipped == 0 || !(exsGlobal || exsRegion))
                    continue;
                m_exsGlobal[channel(p)] += clipped;
                if (!exsRegion || y < m_stats.exsTop || m_stats.exsHeight == 0)
                    continue;
                const uint32_t ty = (y - m_stats.exsTop) / m_stats.exsHeight;
                if (ty >= static_cast<uint32_t>(kGrid))
                    continue;
                for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
                    const int8_t tx = m_exsCol[2 * cx + (p & 1)];
                    if (tx >= 0 && std::min<uint32_t>(src[2 * cx], maxIn) >= threshold) {
                        uint16_t &n = m_exsRegion[ty][tx][channel(p)];
                        n = n == UINT16_MAX ? n : static_cast<uint16_t>(n + 1);
                    }
                }
            }
            if (shading)
                lensShadingRow(cy);
            if (tiles)
                whiteBalanceTilesRow(cy);
            whiteBalanceGainsRow(cy);
            // The neighbourhood stages follow one and two rows behind.
            if (denoise && cy >= 1)
                denoiseRow(cy - 1);
            if (defects && cy >= 2)
                defectRow(cy - 2);
        }
        if (denoise && m_cellsH >= 1)
            denoiseRow(m_cellsH - 1);
        for (uint32_t cy = m_cellsH >= 2 ? m_cellsH - 2 : 0; defects && cy < m_cellsH; ++cy)
            defectRow(cy);
    }

    // Gains of the encoded matrix, one row of vertices per channel.
    bool decodeMatrix(const ShotFrame &frame)
    {
        const CI_MODULE_LSH_MAT &d = frame.lshDescription;
        const uint32_t w = d.ui16Width, h = d.ui16Height, bits = d.ui8BitsPerDiff;
        if (!frame.lshMatrix || w < 1 || h < 1 || bits < 4 || bits > 10 || d.ui32Stride == 0 ||
            static_cast<uint64_t>(d.ui32Stride) * 4 * h > frame.lshMatrixSize ||
            2 + (static_cast<uint64_t>(bits) * (w - 1) + 7) / 8 > d.ui32Stride)
            return false;
        m_lshW = w, m_lshH = h, m_lshTile = d.ui8TileSizeLog2;
        m_lshGains.assign(static_cast<size_t>(4) * w * h, 0);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t c = 0; c < 4; ++c) {
                const uint8_t *line = frame.lshMatrix + static_cast<size_t>(d.ui32Stride) * (4 * y + c);
                int32_t value = line[0] | (line[1] << 8);
                int32_t *out = m_lshGains.data() + (static_cast<size_t>(c) * h + y) * w;
                out[0] = value;
                uint64_t bitPos = 0;
                for (uint32_t x = 1; x < w; ++x, bitPos += bits) {
                    uint32_t raw = 0;
                    for (uint32_t b = 0; b < bits; ++b) {
                        const uint64_t at = bitPos + b;
                        raw |= ((line[2 + at / 8] >> (at % 8)) & 1u) << b;
                    }
                    value += signExtend(raw, bits);
                    out[x] = value;
                }
            }
        return true;
    }

    // The matrix in use and the bilinear weights of every cell column; false without one.
    bool prepareLensShading(const ShotFrame &frame)
    {
        if (!decodeMatrix(frame))
            return false;
        // Bilinear weights of every cell column (16 fractional bits).
        const double tile = std::ldexp(1.0, m_lshTile);
        m_lshX0.resize(m_cellsW);
        m_lshFx.resize(m_cellsW);
        for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
            const double pos = std::min(2.0 * cx / tile, static_cast<double>(m_lshW - 1));
            m_lshX0[cx] = std::min(static_cast<uint32_t>(pos), m_lshW > 1 ? m_lshW - 2 : 0);
            m_lshFx[cx] = m_lshW > 1 ? static_cast<uint32_t>(std::lround((pos - m_lshX0[cx]) * 65536)) : 0;
        }
        m_lshRowGain.resize(m_lshW);
        return true;
    }

    void lensShadingRow(uint32_t cy)
    {
        const double tile = std::ldexp(1.0, m_lshTile);
        int32_t *rowGain = m_lshRowGain.data();
        const double pos = std::min(2.0 * cy / tile, static_cast<double>(m_lshH - 1));
        const uint32_t y0 = std::min(static_cast<uint32_t>(pos), m_lshH > 1 ? m_lshH - 2 : 0);
        const int64_t fy = m_lshH > 1 ? std::lround((pos - y0) * 65536) : 0;
        for (int c = 0; c < 4; ++c) {
            const int32_t *g = m_lshGains.data() + static_cast<size_t>(c) * m_lshH * m_lshW;
            const int32_t *r0 = g + static_cast<size_t>(y0) * m_lshW;
            const int32_t *r1 = m_lshH > 1 ? r0 + m_lshW : r0;
            for (uint32_t x = 0; x < m_lshW; ++x)
                rowGain[x] = static_cast<int32_t>((r0[x] * (65536 - fy) + r1[x] * fy) >> 16);
            uint16_t *row = m_planes[c].data() + static_cast<size_t>(cy) * m_cellsW;
            for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
                const uint32_t x0 = m_lshX0[cx];
                const int64_t a = rowGain[x0], b = m_lshW > 1 ? rowGain[x0 + 1] : a;
                const int64_t gain = (a * (65536 - m_lshFx[cx]) + b * m_lshFx[cx]) >> 16;
                row[cx] = clamp12(static_cast<int32_t>((row[cx] * gain) >> 10));
            }
        }
    }

    // Tiles over the cells before the gains: a cell counts when no channel
    // is 0, dark or clipped (thresholds U8.8 of the 8-bit range).
    void whiteBalanceTilesRow(uint32_t cy)
    {
        const StatsConfig &st = m_stats;
        const int32_t *__restrict log2 = m_log2.data();
        if (cy < st.awsRow)
            return;
        const uint32_t ty = (cy - st.awsRow) / st.awsTileH;
        if (ty >= static_cast<uint32_t>(kGrid))
            return;
        const size_t row = static_cast<size_t>(cy) * m_cellsW;
        const uint16_t *__restrict pr = m_planes[m_red].data() + row, *__restrict pb = m_planes[m_blue].data() + row;
        const uint16_t *__restrict pg0 = m_planes[m_green0].data() + row;
        const uint16_t *__restrict pg1 = m_planes[m_green1].data() + row;
        const int32_t darkR = static_cast<int32_t>(st.awsDark[0]), clipR = static_cast<int32_t>(st.awsClip[0]);
        const int32_t darkG = static_cast<int32_t>(st.awsDark[1]), clipG = static_cast<int32_t>(st.awsClip[1]);
        const int32_t darkB = static_cast<int32_t>(st.awsDark[2]), clipB = static_cast<int32_t>(st.awsClip[2]);
        // The row's sums, red and blue's log2 of cell cx from logR(cx) and logB(cx).
        auto sums = [&](auto logR, auto logB) {
            for (const Segment &seg : m_awsSegments) {
                const int8_t tx = seg.first;
                const size_t begin = seg.begin, end = seg.end;
                uint32_t red = 0, green = 0, blue = 0, cells = 0;
                for (size_t cx = begin; cx < end; ++cx) {
                    const int32_t r = pr[cx], g = (pg0[cx] + pg1[cx]) >> 1, b = pb[cx];
                    const int32_t counted = (r != 0) & (g != 0) & (b != 0) & (r * 16 >= darkR) & (r * 16 <= clipR) &
                                            (g * 16 >= darkG) & (g * 16 <= clipG) & (b * 16 >= darkB) & (b * 16 <= clipB);
                    const int32_t mask = -counted;
                    red += static_cast<uint32_t>(logR(cx) & mask);
                    green += static_cast<uint32_t>(log2[g] & mask);
                    blue += static_cast<uint32_t>(logB(cx) & mask);
                    cells += static_cast<uint32_t>(counted);
                }
                AwsTile &tile = m_aws[ty][tx];
                addSaturated(tile.red, red);
                addSaturated(tile.green, green);
                addSaturated(tile.blue, blue);
                tile.cells += cells;
            }
        };
        if (m_tileLogs) {
            const uint16_t *__restrict logR = m_rowLog2[0].data(), *__restrict logB = m_rowLog2[1].data();
            sums([logR](size_t cx) { return int32_t{logR[cx]}; }, [logB](size_t cx) { return int32_t{logB[cx]}; });
        } else {
            sums([log2, pr](size_t cx) { return log2[pr[cx]]; }, [log2, pb](size_t cx) { return log2[pb[cx]]; });
        }
    }

    void whiteBalanceGainsRow(uint32_t cy)
    {
        for (int p = 0; p < 4; ++p) {
            const uint32_t gain = m_front.gain[channel(p)], clip = std::min(m_front.clip[channel(p)], kMax12);
            uint16_t *__restrict v = m_planes[p].data() + static_cast<size_t>(cy) * m_cellsW;
            const size_t cells = m_cellsW;  // a local: the stores below cannot change it
            if (gain < 16384) {
                // (v x 16) x (gain x 4) >> 16 is (v x gain) >> 10 in 16-bit lanes.
                const uint16_t gain4 = static_cast<uint16_t>(gain * 4), clip16 = static_cast<uint16_t>(clip);
                for (size_t i = 0; i < cells; ++i) {
                    const uint16_t v16 = static_cast<uint16_t>(v[i] << 4);
                    const uint16_t scaled = static_cast<uint16_t>((static_cast<uint32_t>(v16) * gain4) >> 16);
                    v[i] = std::min(scaled, clip16);
                }
                continue;
            }
            for (size_t i = 0; i < cells; ++i)
                v[i] = static_cast<uint16_t>(std::min((v[i] * gain) >> 10, clip));
        }
    }

    // Rewrites a plane in place: every value becomes f(value, mean of its
    // four nearest neighbours), the neighbours read before any change.
    template <class F>
    void filterPlane(std::vector<uint16_t> &plane, F f)
    {
        const size_t w = m_cellsW;
        if (w < 2)
            return;
        m_scratch.resize(2 * w);
        uint16_t *above = m_scratch.data(), *current = above + w;
        m_rowMean.resize(w);
        uint16_t *mean = m_rowMean.data();
        for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
            uint16_t *dst = plane.data() + static_cast<size_t>(cy) * w;
            std::copy(dst, dst + w, current);
            neighbourMeans(current, cy > 0 ? above : current, cy + 1 < m_cellsH ? dst + w : current, mean, w);
            applyRow(current, mean, dst, w, f);
            std::swap(above, current);
        }
    }

    // Denoises cell row `cy` of every plane once the row below is in; the
    // originals of the row above and of this one are kept aside.
    void denoiseRow(uint32_t cy)
    {
        const size_t w = m_cellsW;
        if (w < 2)
            return;
        const uint16_t *threshold = m_dnsThreshold.data();
        m_rowMean.resize(w);
        for (int p = 0; p < 4; ++p) {
            std::vector<uint16_t> &kept = m_dnsKept[p];
            kept.resize(2 * w);
            uint16_t *above = kept.data() + (cy & 1) * w, *current = kept.data() + ((cy + 1) & 1) * w;
            uint16_t *dst = m_planes[p].data() + static_cast<size_t>(cy) * w;
            std::copy(dst, dst + w, current);
            neighbourMeans(current, cy > 0 ? above : current, cy + 1 < m_cellsH ? dst + w : current,
                           m_rowMean.data(), w);
            if (!m_dnsFlat)
                lookUp(threshold, current, m_rowThreshold.data(), w);
            pullTowards(current, m_rowMean.data(), m_rowThreshold.data(), dst, w);
        }
    }

    // Detection against the eight same-position neighbours and correction
    // of the pixels of the defect map; the corrections are counted and, when
    // the write map is on, listed in the defect output.
    // The defect map as marks per cell and the output list; false when
    // neither detection nor the map is on.
    bool prepareDefects(const ShotFrame &frame)
    {
        const uint8_t enable = frame.info ? frame.info->dpfConfig.eDPFEnable : 0;
        const bool readMap = (enable & CI_DPF_READ_MAP_ENABLED) && frame.defects && frame.defectCount > 0;
        m_writeMap = (enable & CI_DPF_WRITE_MAP_ENABLED) != 0;
        m_dpfOutput = frame.dpfOutput;
        m_dpfCapacity = frame.dpfOutput ? frame.dpfSize / 8 : 0;
        m_readMap = readMap;
        if ((!m_correct.dpfDetect && !readMap) || m_cellsW < 3 || m_cellsH < 3)
            return false;
        m_dpfFlags.resize(m_cellsW);
        m_columnLo.resize(m_cellsW);
        m_columnHi.resize(m_cellsW);
        if (readMap) {
            m_marks.assign(m_cells, 0);
            for (size_t k = 0; k < frame.defectCount; ++k) {
                const uint32_t x = frame.defects[2 * k], y = frame.defects[2 * k + 1];
                if (x / 2 < m_cellsW && y / 2 < m_cellsH)
                    m_marks[static_cast<size_t>(y / 2) * m_cellsW + x / 2] |= static_cast<uint8_t>(1u << ((y & 1) * 2 + (x & 1)));
            }
        }
        return true;
    }

    // Detection and correction of cell row `cy`, its neighbours final.
    void defectRow(uint32_t cy)
    {
        const bool readMap = m_readMap;
        const int16_t base = static_cast<int16_t>(16 * (m_correct.dpfThreshold + 1));  // at most 4096
        const uint16_t weight256 = static_cast<uint16_t>(m_correct.dpfWeight * 256);     // weight at most 63
        const uint32_t w = m_cellsW;
        {
            for (int p = 0; p < 4; ++p) {
                uint16_t *plane = m_planes[p].data();
                // Rows above and below, mirrored at the image's edges.
                const uint16_t *up = plane + static_cast<size_t>(cy > 0 ? cy - 1 : cy + 1) * w;
                const uint16_t *mid = plane + static_cast<size_t>(cy) * w;
                const uint16_t *down = plane + static_cast<size_t>(cy + 1 < m_cellsH ? cy + 1 : cy - 1) * w;
                uint8_t *__restrict flags = m_dpfFlags.data();
                // The extremes of every column of the three rows, shared by
                // the neighbourhoods on its left and right.
                uint16_t *__restrict columnLo = m_columnLo.data(), *__restrict columnHi = m_columnHi.data();
                columnExtremes(up, mid, down, columnLo, columnHi, w);
                auto flag = [&](size_t l, size_t cx, size_t r) {
                    const uint16_t above = up[cx], below = down[cx], loL = columnLo[l], loR = columnLo[r];
                    const uint16_t hiL = columnHi[l], hiR = columnHi[r];
                    const uint16_t lo = std::min(std::min(loL, loR), std::min(above, below));
                    const uint16_t hi = std::max(std::max(hiL, hiR), std::max(above, below));
                    // (weight x spread) / 16 as the high half of (spread x 16) x
                    // (weight x 256), in 16-bit lanes: t at most 4096 + 63 x 4095 / 16.
                    const uint16_t spread16 = static_cast<uint16_t>((hi - lo) << 4);
                    const int16_t t = static_cast<int16_t>(base + static_cast<uint16_t>((static_cast<uint32_t>(spread16) * weight256) >> 16));
                    const int16_t v = static_cast<int16_t>(mid[cx]);
                    return static_cast<uint8_t>((v > static_cast<int16_t>(hi + t)) | (v < static_cast<int16_t>(lo - t)));
                };
                flags[0] = flag(1, 0, 1);
                for (size_t cx = 1; cx + 1 < w; ++cx)
                    flags[cx] = flag(cx - 1, cx, cx + 1);
                flags[w - 1] = flag(w - 2, w - 1, w - 2);
                uint8_t any = 0;
                for (size_t cx = 0; cx < w; ++cx)
                    any |= flags[cx];
                if (!m_correct.dpfDetect)
                    std::fill(flags, flags + w, 0);
                const uint8_t *marks = readMap ? m_marks.data() + static_cast<size_t>(cy) * w : nullptr;
                if (!marks && !(any && m_correct.dpfDetect))
                    continue;
                for (uint32_t cx = 0; cx < w; ++cx) {
                    // Without the map, runs of eight clear flags are passed at once.
                    for (uint64_t eight = 0; !marks && cx + 8 <= w; cx += 8) {
                        std::memcpy(&eight, flags + cx, 8);
                        if (eight != 0)
                            break;
                    }
                    if (cx >= w)
                        break;
                    const bool marked = marks && ((marks[cx] >> p) & 1);
                    if (!flags[cx] && !marked)
                        continue;
                    const size_t l = cx > 0 ? cx - 1 : cx + 1, r = cx + 1 < w ? cx + 1 : cx - 1;
                    const uint16_t n[8] = {up[l], up[cx], up[r], mid[l], mid[r], down[l], down[cx], down[r]};
                    uint16_t sorted[8];
                    std::copy(n, n + 8, sorted);
                    std::nth_element(sorted, sorted + 4, sorted + 8);
                    const uint16_t upper = sorted[4];
                    const uint16_t lower = *std::max_element(sorted, sorted + 4);
                    const uint16_t corrected = static_cast<uint16_t>((upper + lower + 1) / 2);
                    const int32_t deviation = std::abs(static_cast<int32_t>(mid[cx]) - corrected);
                    plane[static_cast<size_t>(cy) * w + cx] = corrected;
                    recordDefect(2 * cx + (p & 1), 2 * cy + (p >> 1), corrected,
                                 static_cast<uint32_t>(std::min(255, deviation / 16)), flags[cx] != 0);
                }
            }
        }
    }

    // One output entry: coordinate word (x bits 0-12, y bits 16-28), then the
    // corrected value (bits 0-15), confidence (16-23) and status (bit 31:
    // found by detection, clear for a pixel of the defect map).
    void recordDefect(uint32_t x, uint32_t y, uint16_t value, uint32_t confidence, bool detected)
    {
        ++m_dpfFixed;
        if (!m_writeMap)
            return;
        ++m_dpfModifications;
        if (m_dpfWritten >= m_dpfCapacity) {
            ++m_dpfDropped;
            return;
        }
        uint8_t *entry = m_dpfOutput + 8 * m_dpfWritten++;
        store32(entry, (x & 0x1FFF) | ((y & 0x1FFF) << 16));
        store32(entry + 4, value | (confidence << 16) | (detected ? 1u << 31 : 0u));
    }

    // Red and blue read from displaced cells, separable per direction.
    void chromaticAberration()
    {
        const uint32_t size[2] = {m_cellsW, m_cellsH};
        for (int colour = 0; colour < 2; ++colour) {
            std::vector<uint32_t> source[2];
            for (int d = 0; d < 2; ++d) {
                source[d].resize(size[d]);
                const double scale = std::ldexp(1.0, static_cast<int>(m_correct.lcaShift[d]));
                for (uint32_t c = 0; c < size[d]; ++c) {
                    const double t = (2.0 * c - m_correct.lcaOffset[colour][d]) / scale;
                    double shift = 0.0, power = t;
                    for (int i = 0; i < 3; ++i, power *= t / 1024.0)
                        shift += m_correct.lcaCoeff[colour][i][d] / 128.0 * power / 64.0;
                    const long cell = std::lround((2.0 * c + shift) / 2.0);
                    source[d][c] = static_cast<uint32_t>(std::clamp<long>(cell, 0, size[d] - 1));
                }
            }
            const int p = colour == 0 ? m_red : m_blue;
            // The plane's values move aside; every cell of the plane is rewritten.
            m_scratch.swap(m_planes[p]);
            m_planes[p].resize(m_cells);
            // Runs of consecutive source columns (the displacement changes
            // slowly) are copied as blocks; many short runs are looked up.
            std::vector<uint32_t> runStarts;
            for (uint32_t c = 0; c < m_cellsW; ++c)
                if (c == 0 || source[0][c] != source[0][c - 1] + 1)
                    runStarts.push_back(c);
            const bool blocks = runStarts.size() * 8 <= m_cellsW;
            runStarts.push_back(m_cellsW);
            for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
                const uint16_t *src = m_scratch.data() + static_cast<size_t>(source[1][cy]) * m_cellsW;
                uint16_t *dst = m_planes[p].data() + static_cast<size_t>(cy) * m_cellsW;
                if (!blocks) {
                    lookUp(src, source[0].data(), dst, m_cellsW);
                    continue;
                }
                for (size_t k = 0; k + 1 < runStarts.size(); ++k)
                    std::memcpy(dst + runStarts[k], src + source[0][runStarts[k]],
                                (runStarts[k + 1] - runStarts[k]) * sizeof(uint16_t));
            }
        }
    }

    /*---------------------------------------------------------- colour */

    // The HDR insertion's colour of cell row `cy` (its top-left pixels) in 12 bits.
    void insertionRow(const OutputBinding &in, uint32_t cy)
    {
        const uint32_t y = std::min(2 * cy, in.height - 1);
        const uint8_t *line = in.memory + in.offset + static_cast<size_t>(y) * in.stride;
        const pxlFormat format = in.type.eFmt;
        const bool reversed = blueFirst(format);
        for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
            const uint32_t x = std::min(2 * cx, in.width - 1);
            uint32_t v[3] = {0, 0, 0};
            switch (format) {
            case BGR_161616_64:
                for (int k = 0; k < 3; ++k)
                    v[k] = (line[8 * x + 2 * k] | (line[8 * x + 2 * k + 1] << 8)) >> 4;
                break;
            case RGB_101010_32:
            case BGR_101010_32: {
                uint32_t word;
                std::memcpy(&word, line + 4 * x, 4);
                for (int k = 0; k < 3; ++k)
                    v[k] = expandBits((word >> (10 * k)) & 0x3FF, 10, 12);
                break;
            }
            default: {
                const uint32_t step = format == RGB_888_32 || format == BGR_888_32 ? 4 : 3;
                for (int k = 0; k < 3; ++k)
                    v[k] = expandBits(line[step * x + k], 8, 12);
                break;
            }
            }
            // Memory order to R, G, B.
            m_insert[cx] = reversed ? Triple{static_cast<uint16_t>(v[2]), static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[0])}
                                    : Triple{static_cast<uint16_t>(v[0]), static_cast<uint16_t>(v[1]), static_cast<uint16_t>(v[2])};
        }
    }

    bool insertionUsable(const OutputBinding &in) const
    {
        const pxlFormat f = in.type.eFmt;
        return in.memory && in.width > 0 && in.height > 0 &&
               (f == BGR_161616_64 || f == RGB_101010_32 || f == BGR_101010_32 || f == RGB_888_24 ||
                f == BGR_888_24 || f == RGB_888_32 || f == BGR_888_32);
    }

    void colour(const ShotFrame &frame)
    {
        const bool keepLinear = frame.hdrExtraction.memory != nullptr;
        const bool insert = insertionUsable(frame.hdrInsertion);
        const bool wbs = (m_flags & CI_SAVE_WHITEBALANCE) != 0;
        const bool his = m_flags & (CI_SAVE_HIST_GLOBAL | CI_SAVE_HIST_REGION);
        const bool fos = m_flags & (CI_SAVE_FOS_ROI | CI_SAVE_FOS_GRID);
        for (auto *p : {&m_y, &m_cr, &m_cb})
            p->resize(m_cells);
        if (keepLinear)
            m_linear.resize(m_cells);
        if (insert)
            m_insert.resize(m_cellsW);
        m_luma8.assign(fos ? 2 * static_cast<size_t>(m_cellsW) : 0, 0);
        if (his)
            prepareHistogramGrid();
        if (fos)
            prepareFocusGrid();
        const uint32_t wbsRegions = wbs ? 1 + (m_stats.wbsTwo ? 1 : 0) : 0;
        if (wbs)
            prepareWbsRegions(wbsRegions);

        const ColourConfig &c = m_colour;
        const size_t w = m_cellsW;
        int32_t *__restrict r = m_rowR.data(), *__restrict g = m_rowG.data(), *__restrict b = m_rowB.data();
        int32_t *__restrict luma = m_rowLuma.data();
        for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
            const size_t row = static_cast<size_t>(cy) * w;
            // Demosaic, colour matrix and main gamut clip; or the HDR insertion.
            if (insert) {
                insertionRow(frame.hdrInsertion, cy);
                for (size_t cx = 0; cx < w; ++cx)
                    r[cx] = m_insert[cx].a, g[cx] = m_insert[cx].b, b[cx] = m_insert[cx].c;
            } else {
                const uint16_t *__restrict pr = m_planes[m_red].data() + row, *__restrict pb = m_planes[m_blue].data() + row;
                const uint16_t *__restrict pg0 = m_planes[m_green0].data() + row;
                const uint16_t *__restrict pg1 = m_planes[m_green1].data() + row;
                const int32_t lo = std::max<int32_t>(c.mgmMin, 0), hi = std::min<int32_t>(c.mgmMax, kMax12);
                const Matrix3 m(c.ccm);
                const int32_t o0 = c.ccmOffset[0], o1 = c.ccmOffset[1], o2 = c.ccmOffset[2];
                for (size_t cx = 0; cx < w; ++cx) {
                    const int32_t sr = pr[cx], sg = (pg0[cx] + pg1[cx]) >> 1, sb = pb[cx];
                    r[cx] = std::clamp(((m.a * sr + m.b * sg + m.c * sb) >> 9) + o0, lo, hi);
                    g[cx] = std::clamp(((m.d * sr + m.e * sg + m.f * sb) >> 9) + o1, lo, hi);
                    b[cx] = std::clamp(((m.g * sr + m.h * sg + m.i * sb) >> 9) + o2, lo, hi);
                }
            }
            if (keepLinear)
                for (size_t cx = 0; cx < w; ++cx)
                    m_linear[row + cx] = Triple{static_cast<uint16_t>(r[cx]), static_cast<uint16_t>(g[cx]), static_cast<uint16_t>(b[cx])};
            if (wbs)
                wbsRow(cy, wbsRegions);
            // Gamma.
            const int32_t *__restrict g0 = m_gamma[0].data(), *__restrict g1 = m_gamma[1].data();
            const int32_t *__restrict g2 = m_gamma[2].data();
            int32_t *__restrict gr = m_gammaRow[0].data(), *__restrict gg = m_gammaRow[1].data();
            int32_t *__restrict gb = m_gammaRow[2].data();
            lookUp(g0, r, gr, w);
            lookUp(g1, g, gg, w);
            lookUp(g2, b, gb, w);
            if (his || fos) {
                for (size_t cx = 0; cx < w; ++cx)
                    luma[cx] = (77 * gr[cx] + 150 * gg[cx] + 29 * gb[cx]) >> 8;
                if (his)
                    histogramRow(cy);
                if (fos)
                    focusRow(cy);
            }
            // RGB to YCC on 10 bits, then the tone mapper on luma.
            uint16_t *__restrict outY = m_y.data() + row, *__restrict outCr = m_cr.data() + row;
            uint16_t *__restrict outCb = m_cb.data() + row;
            int32_t *__restrict y = m_rowWork.data();
            const Matrix3 m(c.r2y);
            const int32_t o0 = c.r2yOffset[0] + 512, o1 = c.r2yOffset[1], o2 = c.r2yOffset[2] + 512;
            for (size_t cx = 0; cx < w; ++cx) {
                const int32_t in0 = gr[cx] >> 2, in1 = gg[cx] >> 2, in2 = gb[cx] >> 2;
                const int32_t cr = ((m.a * in0 + m.b * in1 + m.c * in2) >> 10) + o0;
                const int32_t yy = ((m.d * in0 + m.e * in1 + m.f * in2) >> 10) + o1;
                const int32_t cb = ((m.g * in0 + m.h * in1 + m.i * in2) >> 10) + o2;
                outCr[cx] = static_cast<uint16_t>(std::clamp(cr, 0, 1023));
                y[cx] = std::clamp(yy, 0, 1023);
                outCb[cx] = static_cast<uint16_t>(std::clamp(cb, 0, 1023));
            }
            lookUp(m_tnm.data(), y, outY, w);
        }
        if (his)
            flushHistogram();
    }

    // Unsharp mask on the luma plane, cored by the threshold.
    void sharpen()
    {
        const int32_t threshold = static_cast<int32_t>(m_colour.shaThreshold) * 4;
        const int32_t strength = static_cast<int32_t>(m_colour.shaStrength);
        filterPlane(m_y, [threshold, strength](int32_t v, int32_t mean) {
            int32_t d = v - mean;
            d = d > threshold ? d - threshold : d < -threshold ? d + threshold : 0;
            return std::clamp(v + d * strength / 64, 0, 1023);
        });
    }

    /*------------------------------------------------------ statistics */

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
        m_dpfFixed = m_dpfModifications = m_dpfDropped = m_dpfWritten = 0;
    }

    // Runs of cells whose two pixel columns lie in the same pair of tiles.
    struct Segment {
        size_t begin, end;
        int8_t first, second;  // tile of the left and of the right pixel column, -1 for none
        uint32_t firstPixels;  // pixels of each cell in `first`: 2 when both columns are
    };

    void segments(std::vector<Segment> &out, const std::vector<int8_t> &pixelTiles) const
    {
        out.clear();
        for (size_t cx = 0; cx < m_cellsW; ++cx) {
            int8_t first = pixelTiles[2 * cx], second = pixelTiles[2 * cx + 1];
            const uint32_t firstPixels = first == second ? 2 : 1;
            if (first == second)
                second = -1;
            if (first < 0 && second < 0)
                continue;
            if (!out.empty() && out.back().end == cx && out.back().first == first && out.back().second == second &&
                out.back().firstPixels == firstPixels)
                ++out.back().end;
            else
                out.push_back(Segment{cx, cx + 1, first, second, firstPixels});
        }
    }

    // Tile of every pixel column and row.
    void prepareHistogramGrid()
    {
        gridIndex(m_hisCol, 2 * m_cellsW, m_stats.hisLeft, m_stats.hisWidth);
        gridIndex(m_hisRow, 2 * m_cellsH, m_stats.hisTop, m_stats.hisHeight);
        segments(m_hisSegments, m_hisCol);
        m_rowBins.resize(m_cellsW);
        m_hisCounts.assign(m_hisSegments.size() + 1, {});
        m_hisRows = -1;
    }

    void prepareFocusGrid()
    {
        gridIndex(m_fosCol, 2 * m_cellsW, m_stats.fosLeft, m_stats.fosWidth);
        gridIndex(m_fosRow, 2 * m_cellsH, m_stats.fosTop, m_stats.fosHeight);
        segments(m_fosSegments, m_fosCol);
        m_roiColumns.resize(m_cellsW);
        for (uint32_t cx = 0; cx < m_cellsW; ++cx)
            m_roiColumns[cx] = static_cast<uint8_t>(pixelsInside(cx, m_stats.roiLeft, m_stats.roiRight));
    }

    // Each cell stands for its four pixels, each counted in its own tile.
    // The cells' 64-bin counts pile up per run of one tile column while the
    // rows fall in the same tiles, then go into the bins with their weights
    // (a region bin is four global bins).
    void histogramRow(uint32_t cy)
    {
        // ((luma - offset) x scale) stays within 32 bits: 4095 x 65535.
        const int32_t offset = static_cast<int32_t>(m_stats.hisOffset), scale = static_cast<int32_t>(m_stats.hisScale);
        uint16_t *__restrict bins = m_rowBins.data();
        const int32_t *__restrict luma = m_rowLuma.data();
        const size_t w = m_cellsW;
        for (size_t cx = 0; cx < w; ++cx)
            bins[cx] = clamp12(((luma[cx] - offset) * scale) >> 15);
        // The cell's two pixel rows: in one tile, in two, or partly outside.
        const bool region = (m_flags & CI_SAVE_HIST_REGION) && (m_hisRow[2 * cy] >= 0 || m_hisRow[2 * cy + 1] >= 0);
        const int32_t rows = region ? (m_hisRow[2 * cy] + 1) | ((m_hisRow[2 * cy + 1] + 1) << 8) : -1;
        if (rows != m_hisRows)
            flushHistogram();
        m_hisRows = rows;
        const size_t gap = m_hisSegments.size();
        if (!region) {
            countBins(bins, 0, w, m_hisCounts[gap].n);
            return;
        }
        size_t done = 0;
        for (size_t k = 0; k < gap; ++k) {
            const Segment &seg = m_hisSegments[k];
            countBins(bins, done, seg.begin, m_hisCounts[gap].n);
            countBins(bins, seg.begin, seg.end, m_hisCounts[k].n);
            done = seg.end;
        }
        countBins(bins, done, w, m_hisCounts[gap].n);
    }

    // The counts piled up so far into the bins.
    void flushHistogram()
    {
        uint32_t total[64] = {};
        const int8_t rowTiles[2] = {static_cast<int8_t>((m_hisRows & 0xFF) - 1), static_cast<int8_t>(((m_hisRows >> 8) & 0xFF) - 1)};
        const bool sameRow = rowTiles[0] == rowTiles[1];
        for (size_t k = 0; k < m_hisCounts.size(); ++k) {
            uint32_t counts[64];
            for (int b = 0; b < 64; ++b)
                counts[b] = m_hisCounts[k].n[0][b] + m_hisCounts[k].n[1][b] + m_hisCounts[k].n[2][b] + m_hisCounts[k].n[3][b];
            m_hisCounts[k] = BinCounts{};
            for (int b = 0; b < 64; ++b)
                total[b] += counts[b];
            if (k == m_hisSegments.size() || m_hisRows < 0)
                continue;
            const Segment &seg = m_hisSegments[k];
            for (int dy = 0; dy < (sameRow ? 1 : 2); ++dy) {
                const int8_t ty = rowTiles[dy];
                if (ty < 0)
                    continue;
                const uint32_t rows = sameRow ? 2 : 1;
                for (int b = 0; b < 64; ++b) {
                    if (seg.first >= 0)
                        m_hisRegion[ty][seg.first][b >> 2] += counts[b] * seg.firstPixels * rows;
                    if (seg.second >= 0)
                        m_hisRegion[ty][seg.second][b >> 2] += counts[b] * rows;
                }
            }
        }
        if (m_flags & CI_SAVE_HIST_GLOBAL)
            for (int b = 0; b < 64; ++b)
                m_hisGlobal[b] += 4 * total[b];
    }

    // |dx| + |dy| of the 8-bit luma between neighbouring cells, for each of
    // the cell's pixels.
    void focusRow(uint32_t cy)
    {
        const size_t w = m_cellsW;
        int32_t *__restrict cur = m_luma8.data() + (cy & 1) * w;
        const int32_t *__restrict up = m_luma8.data() + ((cy + 1) & 1) * w;
        const int32_t *__restrict luma = m_rowLuma.data();
        int32_t *__restrict energy = m_rowWork.data();
        for (size_t cx = 0; cx < w; ++cx)
            cur[cx] = luma[cx] >> 4;
        energy[0] = cy > 0 ? std::abs(cur[0] - up[0]) : 0;
        for (size_t cx = 1; cx < w; ++cx)
            energy[cx] = std::abs(cur[cx] - cur[cx - 1]) + (cy > 0 ? std::abs(cur[cx] - up[cx]) : 0);
        const StatsConfig &st = m_stats;
        if (m_flags & CI_SAVE_FOS_ROI) {
            const uint32_t rows = pixelsInside(cy, st.roiTop, st.roiBottom);
            if (rows != 0) {
                // A row's sum stays within 32 bits: at most 510 x 2 a cell.
                uint32_t sum = 0;
                const uint8_t *columns = m_roiColumns.data();
                for (size_t cx = 0; cx < w; ++cx)
                    sum += static_cast<uint32_t>(energy[cx]) * columns[cx];
                addSaturated(m_fosRoi, static_cast<uint64_t>(sum) * rows);
            }
        }
        if (!(m_flags & CI_SAVE_FOS_GRID))
            return;
        for (const Segment &seg : m_fosSegments) {
            uint32_t sum = 0;
            const size_t end = seg.end;
            for (size_t cx = seg.begin; cx < end; ++cx)
                sum += static_cast<uint32_t>(energy[cx]);
            for (int dy = 0; dy < 2; ++dy) {
                const int8_t ty = m_fosRow[2 * cy + dy];
                if (ty < 0)
                    continue;
                if (seg.first >= 0)
                    addSaturated(m_fosGrid[ty][seg.first], static_cast<uint64_t>(sum) * seg.firstPixels);
                if (seg.second >= 0)
                    addSaturated(m_fosGrid[ty][seg.second], sum);
            }
        }
    }

    void prepareWbsRegions(uint32_t regions)
    {
        for (uint32_t n = 0; n < regions; ++n) {
            m_wbsRowPixels[n].resize(m_cellsH);
            m_wbsColumnRuns[n].clear();
            for (uint32_t cx = 0; cx < m_cellsW; ++cx) {
                const uint32_t pixels = pixelsInside(cx, m_stats.wbsLeft[n], m_stats.wbsRight[n]);
                std::vector<ColumnRun> &runs = m_wbsColumnRuns[n];
                if (pixels == 0)
                    continue;
                if (!runs.empty() && runs.back().end == cx && runs.back().pixels == pixels)
                    ++runs.back().end;
                else
                    runs.push_back(ColumnRun{cx, cx + 1, pixels});
            }
            for (uint32_t cy = 0; cy < m_cellsH; ++cy)
                m_wbsRowPixels[n][cy] = static_cast<uint8_t>(pixelsInside(cy, m_stats.wbsTop[n], m_stats.wbsBottom[n]));
        }
        m_wbsSameColumns = regions == 2 && m_stats.wbsLeft[0] == m_stats.wbsLeft[1] && m_stats.wbsRight[0] == m_stats.wbsRight[1];
    }

    struct ColumnRun {
        size_t begin, end;
        uint32_t pixels;  // pixels of each cell inside the region: 1 or 2
    };
    struct WbsSums {
        uint32_t ac[3], wp[3], wpCount[3], hl[3], hlCount;
    };

    // The row's linear colour (m_rowR, G, B) over the column runs of `N`
    // regions with those same columns (thresholds `limits`: R, G, B, Y)
    // into `sums`, every cell weighted by its pixels inside: the sums of a
    // run of cells times their number.
    template <int N>
    void wbsRuns(const std::vector<ColumnRun> &runs, const int32_t (*limits)[4], WbsSums *sums) const
    {
        const int32_t *__restrict r = m_rowR.data(), *__restrict g = m_rowG.data(), *__restrict b = m_rowB.data();
        for (const ColumnRun &run : runs) {
            uint32_t rac[3] = {0, 0, 0}, rwp[N][3] = {}, rwpCount[N][3] = {}, rhl[N][3] = {}, rhlCount[N] = {};
            const size_t end = run.end;
            for (size_t cx = run.begin; cx < end; ++cx) {
                const uint32_t vr = static_cast<uint32_t>(r[cx] >> 4), vg = static_cast<uint32_t>(g[cx] >> 4);
                const uint32_t vb = static_cast<uint32_t>(b[cx] >> 4);
                rac[0] += vr, rac[1] += vg, rac[2] += vb;
                const int32_t luma = (77 * r[cx] + 150 * g[cx] + 29 * b[cx]) >> 8;
                for (int n = 0; n < N; ++n) {
                    const uint32_t mr = r[cx] > limits[n][0], mg = g[cx] > limits[n][1], mb = b[cx] > limits[n][2];
                    rwp[n][0] += vr * mr, rwp[n][1] += vg * mg, rwp[n][2] += vb * mb;
                    rwpCount[n][0] += mr, rwpCount[n][1] += mg, rwpCount[n][2] += mb;
                    const uint32_t mh = luma > limits[n][3];
                    rhl[n][0] += vr * mh, rhl[n][1] += vg * mh, rhl[n][2] += vb * mh;
                    rhlCount[n] += mh;
                }
            }
            const uint32_t k = run.pixels;
            for (int n = 0; n < N; ++n) {
                for (int ch = 0; ch < 3; ++ch) {
                    sums[n].ac[ch] += rac[ch] * k, sums[n].wp[ch] += rwp[n][ch] * k;
                    sums[n].wpCount[ch] += rwpCount[n][ch] * k, sums[n].hl[ch] += rhl[n][ch] * k;
                }
                sums[n].hlCount += rhlCount[n] * k;
            }
        }
    }

    // The row into the regions it crosses; two regions over the same
    // columns are summed in one pass.
    void wbsRow(uint32_t cy, uint32_t regions)
    {
        int32_t limits[2][4];
        WbsSums sums[2] = {};
        for (uint32_t n = 0; n < regions; ++n)
            for (int k = 0; k < 4; ++k)
                limits[n][k] = 2 * static_cast<int32_t>(m_stats.wbsMax[n][k]);
        const bool rows[2] = {regions > 0 && m_wbsRowPixels[0][cy] != 0, regions > 1 && m_wbsRowPixels[1][cy] != 0};
        if (rows[0] && rows[1] && m_wbsSameColumns) {
            wbsRuns<2>(m_wbsColumnRuns[0], limits, sums);
        } else {
            for (uint32_t n = 0; n < regions; ++n)
                if (rows[n])
                    wbsRuns<1>(m_wbsColumnRuns[n], limits + n, sums + n);
        }
        for (uint32_t n = 0; n < regions; ++n) {
            if (!rows[n])
                continue;
            const uint32_t pixelRows = m_wbsRowPixels[n][cy];
            WbsRegion &region = m_wbs[n];
            for (int ch = 0; ch < 3; ++ch) {
                addSaturated(region.acSum[ch], static_cast<uint64_t>(sums[n].ac[ch]) * pixelRows);
                addSaturated(region.wpSum[ch], static_cast<uint64_t>(sums[n].wp[ch]) * pixelRows);
                addSaturated(region.hlwSum[ch], static_cast<uint64_t>(sums[n].hl[ch]) * pixelRows);
                region.wpCount[ch] += sums[n].wpCount[ch] * pixelRows;
            }
            region.hlwCount += sums[n].hlCount * pixelRows;
        }
    }

    void encoderStatistics(const ShotFrame &frame)
    {
        const uint32_t lines = 1u << std::min<unsigned>(frame.info->ensConfig.ui8Log2NCouples + 3u, 16u);
        const uint32_t step = 1u << std::min<unsigned>(frame.info->ensConfig.ui8SubExp, 15u);
        const size_t bands = std::min<size_t>(frame.ensSize / 8, (2 * m_cellsH + lines - 1) / lines);
        std::memset(frame.ensOutput, 0, frame.ensSize);
        std::vector<uint32_t> sums(bands, 0), counts(bands, 0);
        for (uint32_t cy = 0; cy < m_cellsH; ++cy) {
            const uint16_t *row = m_y.data() + static_cast<size_t>(cy) * m_cellsW;
            uint64_t sum = 0;
            uint32_t count = 0;
            if (step == 1) {
                uint32_t differences = 0;
                const size_t cells = m_cellsW;  // a local: the stores below cannot change it
                for (size_t cx = 1; cx < cells; ++cx)
                    differences += static_cast<uint32_t>(std::abs((row[cx] >> 2) - (row[cx - 1] >> 2)));
                sum = differences;
                count = m_cellsW - 1;
            } else {
                for (uint32_t cx = step; cx < m_cellsW; cx += step, ++count)
                    sum += static_cast<uint32_t>(std::abs((row[cx] >> 2) - (row[cx - 1] >> 2)));
            }
            for (uint32_t line = 2 * cy; line < 2 * cy + 2; ++line) {
                const size_t band = line / lines;
                if (band < bands) {
                    addSaturated(sums[band], sum);
                    counts[band] += count;
                }
            }
        }
        for (size_t band = 0; band < bands; ++band) {
            store32(frame.ensOutput + 8 * band, sums[band]);
            store32(frame.ensOutput + 8 * band + 4, counts[band]);
        }
    }

    uint32_t flickerStatus(const ShotFrame &frame) const
    {
        if (frame.flickerFrame <= m_stats.fldWaiting)
            return kFlickerWaiting;
        switch (frame.image->lampHz) {
        case 50: return kFlicker50Hz;
        case 60: return kFlicker60Hz;
        default: return kNoFlicker;
        }
    }

    void writeStatistics(const ShotFrame &frame) const
    {
        uint8_t *block = frame.statistics;
        if (!block || frame.statisticsSize < kFlickerStatus + 4)
            return;
        auto put16 = [block](size_t at, uint32_t v) {
            block[at] = static_cast<uint8_t>(v);
            block[at + 1] = static_cast<uint8_t>(v >> 8);
        };
        const uint32_t flags = m_flags;
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
        const unsigned regions = (flags & CI_SAVE_WHITEBALANCE) ? 1 + (m_stats.wbsTwo ? 1 : 0) : 0;
        for (unsigned n = 0; n < regions; ++n) {
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
        store32(block + kDefectCounters, m_dpfFixed);
        store32(block + kDefectCounters + 4, m_dpfModifications);
        store32(block + kDefectCounters + 8, m_dpfDropped);
        if (flags & CI_SAVE_FLICKER)
            store32(block + kFlickerStatus, flickerStatus(frame));
    }

    /*--------------------------------------------------------- outputs */

    // Cell of every output column and row, through the path's scaler.
    void mapCells(const OutputBinding &out, Path path)
    {
        const ScalerConfig *scaler = path == Path::Encoder ? &m_encoderScaler
                                     : path == Path::Display ? &m_displayScaler
                                                             : nullptr;
        const uint32_t counts[2] = {out.width, out.height}, cells[2] = {m_cellsW, m_cellsH};
        std::vector<uint32_t> *maps[2] = {&m_cellX, &m_cellY};
        for (int d = 0; d < 2; ++d) {
            std::vector<uint32_t> &map = *maps[d];
            map.resize(counts[d]);
            uint64_t pitch = 0, offset = 0;  // pitch in 1/32768 pixel
            if (scaler && scaler->bypass)
                pitch = 32768;
            else if (scaler && scaler->pitch[d] != 0)
                pitch = scaler->pitch[d], offset = scaler->offset[d];
            for (uint32_t o = 0; o < counts[d]; ++o) {
                const uint64_t cell = pitch != 0 ? (offset + ((o * pitch) >> 15)) / 2
                                                 : static_cast<uint64_t>(o) * cells[d] / counts[d];
                map[o] = static_cast<uint32_t>(std::min<uint64_t>(cell, cells[d] - 1));
            }
        }
        m_pairX = true;
        for (uint32_t o = 0; o < out.width && m_pairX; ++o)
            m_pairX = m_cellX[o] == o / 2;
    }

    // Colours of cell row `cy`: the display converter's outputs after the
    // display gamut clip (10 bits), or linear R, G, B (12 bits) for the HDR
    // extraction.
    void colourRow(Path path, uint32_t cy)
    {
        const size_t row = static_cast<size_t>(cy) * m_cellsW;
        const size_t w = m_cellsW;
        if (path == Path::Linear) {
            std::copy(m_linear.begin() + static_cast<std::ptrdiff_t>(row),
                      m_linear.begin() + static_cast<std::ptrdiff_t>(row + w), m_row.begin());
            return;
        }
        const uint16_t *__restrict cr = m_cr.data() + row, *__restrict y = m_y.data() + row;
        const uint16_t *__restrict cb = m_cb.data() + row;
        Triple *__restrict out = m_row.data();
        const ColourConfig &c = m_colour;
        const int32_t lo = std::max(c.dgmMin, 0), hi = std::min(c.dgmMax, 1023);
        for (size_t cx = 0; cx < w; ++cx) {
            const int32_t in0 = cr[cx] + c.y2rOffset[0], in1 = y[cx] + c.y2rOffset[1], in2 = cb[cx] + c.y2rOffset[2];
            const int32_t r = (c.y2r[0][0] * in0 + c.y2r[0][1] * in1 + c.y2r[0][2] * in2) >> 9;
            const int32_t g = (c.y2r[1][0] * in0 + c.y2r[1][1] * in1 + c.y2r[1][2] * in2) >> 9;
            const int32_t b = (c.y2r[2][0] * in0 + c.y2r[2][1] * in1 + c.y2r[2][2] * in2) >> 9;
            out[cx] = Triple{static_cast<uint16_t>(std::clamp(r, lo, hi)), static_cast<uint16_t>(std::clamp(g, lo, hi)),
                             static_cast<uint16_t>(std::clamp(b, lo, hi))};
        }
    }

    void writeColour(const OutputBinding &out, Path path)
    {
        if (out.width == 0 || out.height == 0 || m_cellsW == 0 || m_cellsH == 0)
            return;
        if (path == Path::Linear && m_linear.size() < m_cells)
            return;
        mapCells(out, path);
        if (m_row.size() < m_cellsW)
            m_row.resize(m_cellsW);
        const bool semiPlanar = out.type.eBuffer == TYPE_YUV && !isYcc444(out.type.eFmt);
        if (semiPlanar && path == Path::Encoder)
            writeSemiPlanar(out);
        else if (!semiPlanar && path != Path::Encoder)
            writePacked(out, path);
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
        // 8-bit lines of a linear output filled to their end are written in
        // place; a line showing the same cells as the one above is a copy of it.
        const bool inPlace = !out.tiled && depth == 8 && lumaBytes == out.width && chromaBytes == chromaSamples &&
                             chromaSamples % 2 == 0;
        const uint8_t *previousLuma = nullptr, *previousChroma = nullptr;
        uint32_t lumaRow = UINT32_MAX, chromaRow = UINT32_MAX;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = m_cellY[oy];
            const size_t row = static_cast<size_t>(cy) * m_cellsW;
            const bool withChroma = oy % vsub == 0 && oy / vsub < out.linesC;
            uint8_t *luma = inPlace ? out.memory + out.offset + static_cast<size_t>(oy) * out.stride : m_line.data();
            if (cy != lumaRow) {
                lumaRow = cy;
                const uint16_t *y = m_y.data() + row;
                const uint32_t *cellX = m_cellX.data();
                if (depth == 8 && m_pairX) {
                    pairUp8(y, luma, out.width / 2, shift);
                    if (out.width % 2)
                        luma[out.width - 1] = static_cast<uint8_t>(y[cellX[out.width - 1]] >> shift);
                } else if (depth == 8) {
                    for (uint32_t ox = 0; ox < out.width; ++ox)
                        luma[ox] = static_cast<uint8_t>(y[cellX[ox]] >> shift);
                } else {
                    for (uint32_t ox = 0; ox < out.width; ++ox)
                        m_samples[ox] = static_cast<uint16_t>(y[cellX[ox]] >> shift);
                    packSamples(depth, m_samples.data(), out.width, luma);
                }
            } else if (inPlace) {
                std::memcpy(luma, previousLuma, lumaBytes);
            }
            if (!inPlace)
                placeLine(out, out.offset, out.stride, oy, luma, lumaBytes);
            previousLuma = luma;
            if (!withChroma)
                continue;
            uint8_t *chroma =
                inPlace ? out.memory + out.offsetC + static_cast<size_t>(oy / vsub) * out.strideC : m_lineC.data();
            if (cy != chromaRow) {
                chromaRow = cy;
                const uint16_t *cr = m_cr.data() + row, *cb = m_cb.data() + row;
                if (depth == 8 && m_pairX && hsub == 2 && out.width % 2 == 0) {
                    interleave8(cr, cb, chroma, chromaSamples / 2, shift);
                } else {
                    for (uint32_t k = 0; 2 * k + 1 < chromaSamples; ++k) {
                        const uint32_t cell = m_cellX[std::min(k * hsub, out.width - 1)];
                        m_samples[2 * k] = static_cast<uint16_t>(cr[cell] >> shift);
                        m_samples[2 * k + 1] = static_cast<uint16_t>(cb[cell] >> shift);
                    }
                    packSamples(depth, m_samples.data(), chromaSamples, chroma);
                }
            } else if (inPlace) {
                std::memcpy(chroma, previousChroma, chromaBytes);
            }
            if (!inPlace)
                placeLine(out, out.offsetC, out.strideC, oy / vsub, chroma, chromaBytes);
            previousChroma = chroma;
        }
    }

    void writePacked(const OutputBinding &out, Path path)
    {
        const pxlFormat format = out.type.eFmt;
        const uint32_t bytes = packedLineBytes(out.type, out.width);
        lineBuffer(m_line, bytes);
        uint32_t row = UINT32_MAX;
        const uint8_t *previous = nullptr;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = m_cellY[oy];
            // A linear output's lines are written in place; a row showing the
            // same cells as the one above is a copy of it.
            uint8_t *line = out.tiled ? m_line.data() : out.memory + out.offset + static_cast<size_t>(oy) * out.stride;
            if (cy != row) {
                row = cy;
                if (!displayWords(path, format, cy))
                    colourRow(path, cy);
                packPixels(format, path, out.width, line);
            } else if (!out.tiled) {
                std::memcpy(line, previous, bytes);
            }
            if (out.tiled)
                placeLine(out, out.offset, out.stride, oy, m_line.data(), bytes);
            previous = line;
        }
    }

    // The display's 8-bit words of cell row `cy` straight from the planes
    // (YCC to RGB, display gamut clip, memory order: row 0 in bits 16-23,
    // row 2 in bits 0-7, as memoryOrder puts them) for the RGB formats of
    // 3 and 4 bytes; false for the other formats and paths.
    bool displayWords(Path path, pxlFormat format, uint32_t cy)
    {
        if (path != Path::Display || !(format == RGB_888_24 || format == BGR_888_24 || format == RGB_888_32 ||
                                       format == BGR_888_32))
            return false;
        const size_t row = static_cast<size_t>(cy) * m_cellsW;
        const uint16_t *__restrict cr = m_cr.data() + row, *__restrict y = m_y.data() + row;
        const uint16_t *__restrict cb = m_cb.data() + row;
        m_cellWords.resize(m_cellsW);
        uint32_t *__restrict words = m_cellWords.data();
        const Matrix3 m(m_colour.y2r);
        const int32_t o0 = m_colour.y2rOffset[0], o1 = m_colour.y2rOffset[1], o2 = m_colour.y2rOffset[2];
        const int32_t lo = std::max(m_colour.dgmMin, 0), hi = std::min(m_colour.dgmMax, 1023);
        const size_t cells = m_cellsW;  // a local: the stores below cannot change it
        for (size_t cx = 0; cx < cells; ++cx) {
            const int32_t in0 = cr[cx] + o0, in1 = y[cx] + o1, in2 = cb[cx] + o2;
            const int32_t v0 = std::clamp((m.a * in0 + m.b * in1 + m.c * in2) >> 9, lo, hi);
            const int32_t v1 = std::clamp((m.d * in0 + m.e * in1 + m.f * in2) >> 9, lo, hi);
            const int32_t v2 = std::clamp((m.g * in0 + m.h * in1 + m.i * in2) >> 9, lo, hi);
            words[cx] = static_cast<uint32_t>(v2 >> 2) | (static_cast<uint32_t>(v1 >> 2) << 8) |
                        (static_cast<uint32_t>(v0 >> 2) << 16);
        }
        m_wordsReady = true;
        return true;
    }

    // Every cell of m_row as the 32-bit word of `format` (8 or 10 bits a
    // value, in memory order; see memoryOrder).
    void cellWords(Path path, pxlFormat format, unsigned depth)
    {
        const unsigned from = path == Path::Display ? 10 : 12;
        const unsigned shift = from - depth, lane = depth;
        int order[3];
        memoryOrder(path, format, order);
        const Triple *__restrict row = m_row.data();
        uint32_t *__restrict words = m_cellWords.data();
        const size_t cells = m_cellsW;  // a local: the stores below cannot change it
        for (size_t cx = 0; cx < cells; ++cx) {
            const uint16_t v[3] = {row[cx].a, row[cx].b, row[cx].c};
            words[cx] = static_cast<uint32_t>(v[order[0]] >> shift) | (static_cast<uint32_t>(v[order[1]] >> shift) << lane) |
                        (static_cast<uint32_t>(v[order[2]] >> shift) << (2 * lane));
        }
    }

    // Which of a pixel's three values goes first, second and third in
    // memory. The display converter's rows go out last row first, so that
    // row 0 sits in the top bits (the library computes R in row 0 for the
    // RGB formats and swaps rows 0 and 2 for the BGR ones); a 4:4:4 pass
    // puts luma, row 2, first, then rows 0 and 1. R, G, B of the linear
    // path follow the format's order.
    static void memoryOrder(Path path, pxlFormat format, int (&order)[3])
    {
        if (path == Path::Display && isYcc444(format))
            order[0] = 2, order[1] = 0, order[2] = 1;
        else if (path == Path::Display || blueFirst(format))
            order[0] = 2, order[1] = 1, order[2] = 0;
        else
            order[0] = 0, order[1] = 1, order[2] = 2;
    }

    // A pixel's three values in memory order, scaled to `depth` bits.
    static Triple inMemoryOrder(const Triple &c, Path path, pxlFormat format, unsigned depth)
    {
        int order[3];
        memoryOrder(path, format, order);
        const uint16_t v[3] = {c.a, c.b, c.c};
        const unsigned from = path == Path::Display ? 10 : 12;
        return Triple{static_cast<uint16_t>(expandBits(v[order[0]], from, depth)),
                      static_cast<uint16_t>(expandBits(v[order[1]], from, depth)),
                      static_cast<uint16_t>(expandBits(v[order[2]], from, depth))};
    }

    // Packs the row's pixels in `format`. Formats of up to 4 bytes a pixel
    // pack each cell once and copy its bytes to the pixels showing it (the
    // line buffer has 4 bytes to spare for the last 3-byte pixel).
    void packPixels(pxlFormat format, Path path, uint32_t width, uint8_t *p)
    {
        uint32_t step = 4;
        unsigned depth = 10;
        switch (format) {
        case RGB_888_24:
        case BGR_888_24:
        case PXL_ISP_444IL3YCrCb8:
        case PXL_ISP_444IL3YCbCr8:
            step = 3, depth = 8;
            break;
        case RGB_888_32:
        case BGR_888_32:
            depth = 8;
            break;
        case RGB_101010_32:
        case BGR_101010_32:
        case PXL_ISP_444IL3YCrCb10:
        case PXL_ISP_444IL3YCbCr10:
            break;
        case BGR_161616_64:
            for (uint32_t x = 0; x < width; ++x, p += 8) {
                const Triple m = inMemoryOrder(m_row[m_cellX[x]], path, format, 16);
                const uint16_t v[4] = {m.a, m.b, m.c, 0};
                for (int k = 0; k < 4; ++k)
                    p[2 * k] = static_cast<uint8_t>(v[k]), p[2 * k + 1] = static_cast<uint8_t>(v[k] >> 8);
            }
            return;
        default:
            return;
        }
        if (!m_wordsReady) {
            m_cellWords.resize(m_cellsW);
            cellWords(path, format, depth);
        }
        m_wordsReady = false;
        const uint32_t *words = m_cellWords.data();
        const uint32_t *cellX = m_cellX.data();
        // Every store stays within the line's `width` x `step` bytes, so that
        // the line may be written straight into the output.
        if (step == 3 && m_pairX && width >= 2) {
            // Two 3-byte pixels a cell: one 8-byte store, the next cell's
            // overwriting its last two bytes; the last cell stores 6 bytes.
            const uint32_t pairs = width / 2;
            for (uint32_t i = 0; i + 1 < pairs; ++i) {
                const uint64_t two = words[i] | (static_cast<uint64_t>(words[i]) << 24);
                std::memcpy(p + 6 * i, &two, 8);
            }
            const uint64_t last = words[pairs - 1] | (static_cast<uint64_t>(words[pairs - 1]) << 24);
            std::memcpy(p + 6 * (pairs - 1), &last, 6);
            if (width % 2)
                std::memcpy(p + 3 * (width - 1), &words[cellX[width - 1]], 3);
            return;
        }
        if (step == 4 && m_pairX) {
            pairUp32(words, p, width / 2);
            if (width % 2)
                std::memcpy(p + 4 * (width - 1), &words[cellX[width - 1]], 4);
            return;
        }
        for (uint32_t x = 0; x < width; ++x, p += step)
            std::memcpy(p, &words[cellX[x]], step);
    }

    struct AwsTile {
        uint32_t red, blue, green, cells;
    };
    struct WbsRegion {
        uint32_t wpSum[3], wpCount[3], acSum[3], hlwSum[3], hlwCount;
    };

    FrontConfig m_front{};
    CorrectionConfig m_correct{};
    ColourConfig m_colour{};
    StatsConfig m_stats{};
    ScalerConfig m_encoderScaler{}, m_displayScaler{};
    uint32_t m_flags = 0;
    int m_red = 0, m_blue = 3, m_green0 = 1, m_green1 = 2;
    uint32_t m_inputMax = 0, m_exsThreshold = 0;
    // Input sample -> black level, 12 bits, raw curve (bits 0-15) and its
    // log2 for the white-balance tiles (bits 16-31).
    std::vector<int32_t> m_pre[4];
    std::vector<int32_t> m_gamma[3];
    std::vector<int32_t> m_tnm;       // 10-bit luma through the tone mapper
    std::vector<uint16_t> m_dnsThreshold;
    bool m_dnsFlat = false;  // every level has the threshold m_dnsThreshold[0]
    std::vector<int32_t> m_log2;
    std::vector<uint32_t> m_tableKey, m_tableKeyScratch;  // what the tables were made from
    bool m_tileLogs = false;               // m_rowLog2 holds the tiles' red and blue log2
    std::vector<uint16_t> m_rowLog2[2];    // red, blue: one cell row
    uint32_t m_cellsW = 0, m_cellsH = 0;
    size_t m_cells = 0;
    std::vector<uint16_t> m_planes[4];  // Bayer front end, one value per cell and position
    std::vector<uint16_t> m_scratch;
    std::vector<uint16_t> m_y, m_cr, m_cb;  // after RGB to YCC and the tone mapper
    std::vector<Triple> m_linear;           // after the colour matrix, when the HDR extraction needs it
    std::vector<Triple> m_insert;
    std::vector<int32_t> m_luma8;           // focus luma of two cell rows
    std::vector<int32_t> m_rowR, m_rowG, m_rowB, m_rowLuma, m_rowWork;  // one cell row
    std::vector<int32_t> m_gammaRow[3];
    std::vector<uint16_t> m_rowMean, m_rowThreshold;  // one cell row of the neighbourhood filters
    std::vector<uint16_t> m_rowBins;
    struct BinCounts {
        uint32_t n[4][64];
    };
    std::vector<BinCounts> m_hisCounts;  // per histogram segment, then the cells outside them
    int32_t m_hisRows = -1;              // tiles of the rows counted in m_hisCounts, -1 for none
    std::vector<Segment> m_hisSegments, m_fosSegments, m_awsSegments;
    std::vector<uint8_t> m_roiColumns;
    uint32_t m_lshW = 0, m_lshH = 0, m_lshTile = 0;
    std::vector<int32_t> m_lshGains;
    std::vector<uint32_t> m_lshX0, m_lshFx;
    std::vector<int32_t> m_lshRowGain;
    std::vector<uint8_t> m_marks, m_dpfFlags;
    std::vector<uint16_t> m_columnLo, m_columnHi;  // extremes of the defect detection's columns
    std::vector<uint16_t> m_dnsKept[4];  // originals of two rows per plane
    bool m_writeMap = false, m_readMap = false;
    uint8_t *m_dpfOutput = nullptr;
    size_t m_dpfCapacity = 0, m_dpfWritten = 0;
    uint32_t m_dpfFixed = 0, m_dpfModifications = 0, m_dpfDropped = 0;
    std::vector<Triple> m_row;
    std::vector<uint32_t> m_cellX, m_cellY;
    std::vector<uint32_t> m_cellWords;
    bool m_pairX = false;  // output column x shows cell x / 2
    bool m_wordsReady = false;  // m_cellWords holds the row being packed
    std::vector<uint16_t> m_samples;
    std::vector<uint8_t> m_line, m_lineC;
    std::vector<int8_t> m_exsCol, m_hisCol, m_hisRow, m_fosCol, m_fosRow, m_awsCol;
    std::vector<ColumnRun> m_wbsColumnRuns[2];  // cells of each region's columns
    std::vector<uint8_t> m_wbsRowPixels[2];
    bool m_wbsSameColumns = false;  // both regions take the same columns

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
