// The plain image model of the simulated ISP: Bayer outputs carry the input
// samples, colour outputs a one-colour-per-cell demosaic scaled by nearest
// sampling. The image pipeline proper (black level, lens shading, white
// balance, colour matrix, gamma, tone mapping, scalers) and the statistics
// measured on the pixels replace this model through IspImageModel.
#include <algorithm>
#include <cstring>

#include "simboard/isp_model.h"
#include "isp_pack.h"

namespace simboard {

uint32_t packedLineBytes(const PIXELTYPE &type, uint32_t width)
{
    if (type.ui8PackedElements == 0)
        return 0;
    return (width + type.ui8PackedElements - 1) / type.ui8PackedElements * type.ui8PackedStride;
}

namespace {

using namespace pack;

struct Rgb {
    uint16_t r, g, b;
};

bool isYcc444(pxlFormat format) { return format >= PXL_ISP_444IL3YCrCb8 && format <= PXL_ISP_444IL3YCbCr10; }

class PlainImageModel : public IspImageModel {
public:
    void process(ShotFrame &frame) override
    {
        const BayerFrame &image = *frame.image;
        if (image.width < 2 || image.height < 2)
            return;
        MOSAICType mosaic = frame.info ? frame.info->iifConfig.eBayerFormat : image.mosaic;
        if (mosaic < MOSAIC_RGGB || mosaic > MOSAIC_BGGR)
            mosaic = image.mosaic;
        if (frame.display.memory) {
            if (frame.dataExtraction)
                writeBayer(frame.display, image, m_samples, m_line);
            else
                writeColour(frame.display, image, mosaic);
        }
        if (frame.raw2D.memory)
            writeBayer(frame.raw2D, image, m_samples, m_line);
        if (frame.encoder.memory)
            writeColour(frame.encoder, image, mosaic);
        if (frame.hdrExtraction.memory)
            writeColour(frame.hdrExtraction, image, mosaic);
        // Statistics measured on the pixels belong here; they stay zero.
    }

private:
    // Cell row of the image that output row `oy` samples.
    static uint32_t cellRow(const BayerFrame &image, const OutputBinding &out, uint32_t oy)
    {
        uint32_t cy = static_cast<uint32_t>(static_cast<uint64_t>(oy) * image.height / out.height) / 2;
        return std::min(cy, image.height / 2 - 1);
    }

    // Colour of every cell of cell row `cy`, in `depth` bits.
    void demosaicRow(const BayerFrame &image, MOSAICType mosaic, uint32_t cy, unsigned depth)
    {
        int red, blue;
        mosaicLayout(mosaic, &red, &blue);
        const int shift = static_cast<int>(image.bitDepth) - static_cast<int>(depth);
        auto scale = [shift](uint32_t v) {
            return static_cast<uint16_t>(shift >= 0 ? v >> shift : v << -shift);
        };
        const uint16_t *top = image.samples.data() + static_cast<size_t>(2 * cy) * image.width;
        const uint16_t *bottom = top + image.width;
        const uint32_t cells = image.width / 2;
        for (uint32_t cx = 0; cx < cells; ++cx) {
            const uint32_t cell[4] = {top[2 * cx], top[2 * cx + 1], bottom[2 * cx], bottom[2 * cx + 1]};
            const uint32_t green = (cell[0] + cell[1] + cell[2] + cell[3] - cell[red] - cell[blue]) / 2;
            m_cellRgb[cx] = Rgb{scale(cell[red]), scale(green), scale(cell[blue])};
        }
    }

    void prepareColumns(const BayerFrame &image, uint32_t outWidth)
    {
        if (m_cellX.size() < outWidth)
            m_cellX.resize(outWidth);
        if (m_cellRgb.size() < image.width / 2) {
            m_cellRgb.resize(image.width / 2);
            m_cellLuma.resize(image.width / 2);
        }
        const uint32_t cellColumns = image.width / 2;
        for (uint32_t ox = 0; ox < outWidth; ++ox) {
            uint32_t cx = static_cast<uint32_t>(static_cast<uint64_t>(ox) * image.width / outWidth) / 2;
            m_cellX[ox] = std::min(cx, cellColumns - 1);
        }
    }

    void writeColour(const OutputBinding &out, const BayerFrame &image, MOSAICType mosaic)
    {
        if (out.width == 0 || out.height == 0)
            return;
        prepareColumns(image, out.width);
        if (out.type.eBuffer == TYPE_YUV && !isYcc444(out.type.eFmt))
            writeSemiPlanar(out, image, mosaic);
        else
            writePacked(out, image, mosaic);
    }

    // Plain full-range conversion to Y, Cb, Cr of `depth` bits.
    static void toYcc(const Rgb &c, unsigned depth, uint32_t *y, uint32_t *cb, uint32_t *cr)
    {
        const int32_t half = 1 << (depth - 1);
        const int32_t r = c.r, g = c.g, b = c.b;
        const int32_t maxValue = (1 << depth) - 1;
        *y = static_cast<uint32_t>(std::clamp((77 * r + 150 * g + 29 * b + 128) >> 8, 0, maxValue));
        *cb = static_cast<uint32_t>(std::clamp(((-43 * r - 85 * g + 128 * b + 128 + (half << 8)) >> 8), 0, maxValue));
        *cr = static_cast<uint32_t>(std::clamp(((128 * r - 107 * g - 21 * b + 128 + (half << 8)) >> 8), 0, maxValue));
    }

    // Rows that sample the same cell row are identical: each is computed once.
    void writeSemiPlanar(const OutputBinding &out, const BayerFrame &image, MOSAICType mosaic)
    {
        const unsigned depth = out.type.ui8BitDepth;
        const uint32_t hsub = std::max<uint32_t>(out.type.ui8HSubsampling, 1);
        const uint32_t vsub = std::max<uint32_t>(out.type.ui8VSubsampling, 1);
        const bool crFirst = out.type.eFmt == YVU_420_PL12_8 || out.type.eFmt == YVU_422_PL12_8 ||
                             out.type.eFmt == YVU_420_PL12_10 || out.type.eFmt == YVU_422_PL12_10;
        const uint32_t chromaSamples = out.width * 2 / hsub;
        const uint32_t lumaBytes = packedLineBytes(out.type, out.width);
        const uint32_t chromaBytes = packedLineBytes(out.type, chromaSamples);
        if (m_samples.size() < std::max(out.width, chromaSamples))
            m_samples.resize(std::max(out.width, chromaSamples));
        if (m_line.size() < lumaBytes)
            m_line.resize(lumaBytes);
        if (m_lineC.size() < chromaBytes)
            m_lineC.resize(chromaBytes);
        uint32_t lumaRow = UINT32_MAX, chromaRow = UINT32_MAX;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = cellRow(image, out, oy);
            const bool withChroma = oy % vsub == 0 && oy / vsub < out.linesC;
            if (cy != lumaRow || (withChroma && cy != chromaRow))
                demosaicRow(image, mosaic, cy, depth);
            if (cy != lumaRow) {
                lumaRow = cy;
                const uint32_t cells = image.width / 2;
                for (uint32_t cx = 0; cx < cells; ++cx) {  // one luma per cell
                    const Rgb &c = m_cellRgb[cx];
                    m_cellLuma[cx] = static_cast<uint16_t>(
                        std::min<int32_t>((77 * c.r + 150 * c.g + 29 * c.b + 128) >> 8, (1 << depth) - 1));
                }
                for (uint32_t ox = 0; ox < out.width; ++ox)
                    m_samples[ox] = m_cellLuma[m_cellX[ox]];
                std::memset(m_line.data(), 0, lumaBytes);
                packSamples(depth, m_samples.data(), out.width, m_line.data());
            }
            placeLine(out, out.offset, out.stride, oy, m_line.data(), lumaBytes);
            if (!withChroma)
                continue;
            if (cy != chromaRow) {
                chromaRow = cy;
                // One (Cb, Cr) pair per chroma position, from its first pixel.
                for (uint32_t k = 0; 2 * k + 1 < chromaSamples; ++k) {
                    uint32_t y, cb, cr;
                    toYcc(m_cellRgb[m_cellX[k * hsub]], depth, &y, &cb, &cr);
                    m_samples[2 * k] = static_cast<uint16_t>(crFirst ? cr : cb);
                    m_samples[2 * k + 1] = static_cast<uint16_t>(crFirst ? cb : cr);
                }
                std::memset(m_lineC.data(), 0, chromaBytes);
                packSamples(depth, m_samples.data(), chromaSamples, m_lineC.data());
            }
            placeLine(out, out.offsetC, out.strideC, oy / vsub, m_lineC.data(), chromaBytes);
        }
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

    void writePacked(const OutputBinding &out, const BayerFrame &image, MOSAICType mosaic)
    {
        const pxlFormat format = out.type.eFmt;
        const unsigned depth = format == BGR_161616_64 ? 16 : out.type.ui8BitDepth;
        const uint32_t bytes = packedLineBytes(out.type, out.width);
        if (m_line.size() < bytes)
            m_line.resize(bytes);
        uint32_t row = UINT32_MAX;
        for (uint32_t oy = 0; oy < out.height; ++oy) {
            const uint32_t cy = cellRow(image, out, oy);
            if (cy != row) {
                row = cy;
                demosaicRow(image, mosaic, cy, depth);
                std::memset(m_line.data(), 0, bytes);
                packPixels(format, depth, out.width, m_line.data());
            }
            placeLine(out, out.offset, out.stride, oy, m_line.data(), bytes);
        }
    }

    // Packs the row's colours in `format`; the format is chosen once per row.
    void packPixels(pxlFormat format, unsigned depth, uint32_t width, uint8_t *p) const
    {
        const Rgb *cells = m_cellRgb.data();
        const uint32_t *cellX = m_cellX.data();
        auto c = [cells, cellX](uint32_t x) -> const Rgb & { return cells[cellX[x]]; };
        switch (format) {
        case RGB_888_24:
        case RGB_888_32:
        case BGR_888_24:
        case BGR_888_32: {
            const bool blue = blueFirst(format);
            const uint32_t step = format == RGB_888_24 || format == BGR_888_24 ? 3 : 4;
            for (uint32_t x = 0; x < width; ++x, p += step) {
                p[0] = static_cast<uint8_t>(blue ? c(x).b : c(x).r);
                p[1] = static_cast<uint8_t>(c(x).g);
                p[2] = static_cast<uint8_t>(blue ? c(x).r : c(x).b);
            }
            break;
        }
        case RGB_101010_32:
        case BGR_101010_32: {
            const bool blue = blueFirst(format);
            for (uint32_t x = 0; x < width; ++x, p += 4)
                store32(p, (blue ? c(x).b : c(x).r) | (c(x).g << 10) | (static_cast<uint32_t>(blue ? c(x).r : c(x).b) << 20));
            break;
        }
        case BGR_161616_64:
            for (uint32_t x = 0; x < width; ++x, p += 8) {
                const uint16_t v[4] = {c(x).b, c(x).g, c(x).r, 0};
                for (int k = 0; k < 4; ++k)
                    p[2 * k] = static_cast<uint8_t>(v[k]), p[2 * k + 1] = static_cast<uint8_t>(v[k] >> 8);
            }
            break;
        case PXL_ISP_444IL3YCrCb8:
        case PXL_ISP_444IL3YCbCr8:
        case PXL_ISP_444IL3YCrCb10:
        case PXL_ISP_444IL3YCbCr10: {
            const bool crFirst = format == PXL_ISP_444IL3YCrCb8 || format == PXL_ISP_444IL3YCrCb10;
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t y, cb, cr;
                toYcc(c(x), depth, &y, &cb, &cr);
                const uint32_t second = crFirst ? cr : cb, third = crFirst ? cb : cr;
                if (depth == 10) {
                    store32(p, y | (second << 10) | (third << 20));
                    p += 4;
                } else {
                    p[0] = static_cast<uint8_t>(y), p[1] = static_cast<uint8_t>(second), p[2] = static_cast<uint8_t>(third);
                    p += 3;
                }
            }
            break;
        }
        default:
            break;
        }
    }

    std::vector<uint8_t> m_line;
    std::vector<uint8_t> m_lineC;
    std::vector<uint16_t> m_samples;
    std::vector<uint32_t> m_cellX;
    std::vector<Rgb> m_cellRgb;  // colour of each cell of the current cell row
    std::vector<uint16_t> m_cellLuma;
};

}  // namespace

std::unique_ptr<IspImageModel> makePlainImageModel() { return std::make_unique<PlainImageModel>(); }

}  // namespace simboard
