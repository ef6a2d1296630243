// The register words of a shot's load structure, decoded once per frame
// into the values the simulated ISP's stages and statistics work with.
//
// Where the register meaning leaves the arithmetic open, the model decides it
// here, once:
//  - Internal range: 12-bit values. Input of fewer bits is scaled to 12 by
//    repeating its top bits (a 10-bit 1023 becomes 4095), so a saturated
//    sensor reaches the top of the range.
//  - Colour channels: black level, raw curve, white-balance gains and clips
//    and the exposure counts come per colour channel, in the order R, G1
//    (green of the red row), G2 (green of the blue row), B; a cell position
//    takes the values of the channel the mosaic puts there (on BGGR the
//    top-left position takes the B values).
//  - Black level: the fixed offset of the channel is added in input units
//    before the scaling.
//  - Raw look-up curve: 16 points per channel, point k the output
//    (65535 full scale) at input 256 (k + 1), the curve starting at 0, 0;
//    linear or cubic (Catmull-Rom) between the points.
//  - Lens shading: the matrix in use holds U3.10 gains on vertices 2^tile
//    pixels apart from the image's top-left; a cell takes the gains at its
//    top-left pixel, bilinear between vertices; matrix channel c is cell
//    position c.
//  - White-balance gains U6.10 and clips (U9.4 of the 8-bit range, so the
//    field is a 12-bit level) per channel.
//  - Denoiser: every sample moves towards the mean of its four nearest
//    samples of the same cell position by at most the threshold of its
//    level: the 21 points (U8.5, 8-bit units) lie 4096 / 20 apart.
//  - Defective pixels: a sample beyond its eight same-position neighbours
//    by more than 16 (threshold + 1) plus weight / 16 times their spread is
//    replaced by their median; the pixels of the defect map always are.
//  - Lateral chromatic aberration: red and blue are read from a displaced
//    position, per direction (c0 t + c1 t^2 / 1024 + c2 t^3 / 1024^2) / 64
//    pixels (coefficients S5.7) with t = (position - offset) / 2^shift: a
//    coefficient c0 of 1.0 moves a pixel 1024 pixels from the centre by 16.
//  - Demosaic: one colour per 2x2 cell: its red and blue samples and the
//    mean of its greens; every pixel of the cell carries that colour.
//  - Colour matrix S3.9 with offsets in 12-bit units; the main gamut mapper
//    clips at its minimum and maximum (units of 1/1024 of the range), the
//    display gamut mapper likewise on the 10-bit display values.
//  - Gamma: 63 points spread evenly over the 12-bit range, linear between.
//  - RGB to YCC on 10-bit values: S2.10 rows Cr, Y, Cb plus S8.2 offsets;
//    the chroma rows are centred on 512 (the bias is the hardware's own, so
//    a zero offset gives half range). Luma leaves full range (0 to 1023).
//  - Tone mapper, on 8-bit luma Y = Y10 / 4: x = (Y - input offset) x input
//    scale / 256 (offsets U8.4, scales U4.12), the global curve through
//    (0, 0), ((i + 1) / 64, point i) (U1.11) and (1, 1), then
//    Y = curve x 256 x output scale + output offset: with the library's
//    defaults the output is studio-range luma, 16 to 236. Bypassed, luma
//    passes intact. Chroma is not changed.
//  - Sharpening on luma: the difference from the mean of the four
//    neighbouring cells, cored by the threshold (8-bit units), times
//    strength / 64, is added.
//  - Scalers: output pixel x samples input pixel offset + x x pitch (U6.15),
//    nearest cell; a pitch of 0 (never loaded) stretches the image to the
//    output size; bypassed, the output samples the input one to one.
//  - YCC to RGB (S3.9, S9.2 offsets added to its Cr, Y, Cb inputs) on the
//    10-bit values, with no gain on luma: the library's defaults (luma 16
//    to 236, the converter taking 16 off) put display white at 220 of 255.
//    A 4:4:4 display output carries the converter's rows in memory order
//    row 2, row 0, row 1 (Y, then the chroma pair, for the library's 4:4:4
//    pass).
//  - RGB display outputs carry the converter's rows in memory order row 2,
//    row 1, row 0: row 0 in the top bits of the pixel. The library computes
//    R, G, B in rows 0, 1, 2 and swaps rows 0 and 2 for the BGR formats, so
//    an RGB_888_32 pixel is B, G, R, X in memory (the display's XR24, the
//    image files' BI_RGB32) and a BGR_888_32 one R, G, B, X (XB24). The
//    linear (HDR extraction) path packs R, G, B in the same format order:
//    blue first for the RGB formats and BGR_161616_64 (B, G, R, 0), red
//    first for the other BGR formats; the HDR insertion is read likewise.
#ifndef SIMBOARD_ISP_CONFIG_H
#define SIMBOARD_ISP_CONFIG_H

#include <algorithm>
#include <cstdint>

#include "isp_pack.h"

namespace simboard::isp {

constexpr uint32_t kMax12 = 4095;
constexpr int kGrid = 7;

inline int32_t signExtend(uint32_t value, unsigned bits)
{
    const uint32_t m = 1u << (bits - 1);
    value &= (1u << bits) - 1;
    return static_cast<int32_t>(value ^ m) - static_cast<int32_t>(m);
}

inline uint32_t field(uint32_t word, unsigned lo, unsigned hi) { return (word >> lo) & ((1u << (hi - lo + 1)) - 1); }

using pack::expandBits;

// Bayer front end: black level, raw curve, white balance.
struct FrontConfig {
    // Per colour channel R, G1, G2, B.
    int32_t blackOffset[4];  // input units
    unsigned rltMode;        // 0 off, 1 linear, 3 cubic
    uint16_t rltPoints[4][16];
    uint32_t gain[4];        // U6.10
    uint32_t clip[4];        // 12-bit level

    void decode(const uint32_t *w)
    {
        for (int c = 0; c < 4; ++c) {
            blackOffset[c] = static_cast<int8_t>(w[5] >> (8 * c));
            gain[c] = (w[49 + c / 2] >> (16 * (c % 2))) & 0xFFFF;
            clip[c] = std::min<uint32_t>(field(w[51 + c / 2], 16 * (c % 2), 16 * (c % 2) + 12), kMax12 + 1);
            for (int k = 0; k < 16; ++k)
                rltPoints[c][k] = static_cast<uint16_t>(w[7 + 8 * c + k / 2] >> (16 * (k % 2)));
        }
        rltMode = w[6] & 3;
        if (!(rltMode & 1))
            rltMode = 0;
    }
};

// Denoiser, defective pixels, chromatic aberration.
struct CorrectionConfig {
    uint16_t dnsPoints[21];  // U8.5
    bool dnsOn;
    bool dpfDetect;
    uint32_t dpfThreshold, dpfWeight;
    int32_t lcaCoeff[2][3][2];  // [red, blue][i][x, y], S5.7
    int32_t lcaOffset[2][2];    // [red, blue][x, y], pixels
    unsigned lcaShift[2];
    bool lcaOn;

    void decode(const uint32_t *w)
    {
        dnsOn = false;
        for (int k = 0; k < 21; ++k) {
            dnsPoints[k] = static_cast<uint16_t>(field(w[61 + k / 2], 16 * (k % 2), 16 * (k % 2) + 12));
            dnsOn = dnsOn || dnsPoints[k] != 0;
        }
        dpfDetect = (w[73] & 1) != 0;
        dpfThreshold = field(w[74], 0, 7);
        dpfWeight = field(w[74], 16, 21);
        lcaOn = false;
        for (int i = 0; i < 3; ++i)
            for (int colour = 0; colour < 2; ++colour)
                for (int d = 0; d < 2; ++d) {
                    lcaCoeff[colour][i][d] = signExtend(field(w[77 + 2 * i + colour], 16 * d, 16 * d + 11), 12);
                    lcaOn = lcaOn || lcaCoeff[colour][i][d] != 0;
                }
        for (int colour = 0; colour < 2; ++colour)
            for (int d = 0; d < 2; ++d)
                lcaOffset[colour][d] = static_cast<int32_t>(field(w[83 + colour], 16 * d, 16 * d + 13));
        lcaShift[0] = field(w[85], 8, 9);
        lcaShift[1] = field(w[85], 24, 25);
    }
};

// Colour and tone: matrix, gamut mappers, gamma, converters, tone mapper,
// sharpening.
struct ColourConfig {
    int32_t ccm[3][3];       // S3.9
    int32_t ccmOffset[3];    // 12-bit units
    int32_t mgmMin, mgmMax;  // 12-bit levels
    bool gammaBypass;
    int32_t r2y[3][3];       // S2.10, rows Cr, Y, Cb
    int32_t r2yOffset[3];    // 10-bit units, added to the outputs
    bool tnmBypass;
    uint16_t tnmCurve[63];   // U1.11
    uint32_t tnmInOffset, tnmInScale, tnmOutOffset, tnmOutScale;  // U8.4, U4.12
    uint32_t shaThreshold, shaStrength;
    int32_t y2r[3][3];       // S3.9, columns Cr, Y, Cb
    int32_t y2rOffset[3];    // 10-bit units, added to the inputs
    int32_t dgmMin, dgmMax;  // 10-bit levels

    void decode(const uint32_t *w)
    {
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
        // A mapper never loaded (minimum and maximum 0) does not clip.
        mapperClip(w[96], 4, &mgmMin, &mgmMax);
        mapperClip(w[311], 1, &dgmMin, &dgmMax);
        tnmBypass = (w[215] & 1) != 0;
        for (int i = 0; i < 63; ++i)
            tnmCurve[i] = static_cast<uint16_t>(field(w[183 + i / 2], 16 * (i % 2), 16 * (i % 2) + 11));
        tnmInOffset = field(w[224], 0, 11), tnmInScale = field(w[224], 16, 31);
        tnmOutOffset = field(w[225], 0, 11), tnmOutScale = field(w[225], 16, 31);
        shaThreshold = field(w[231], 0, 7);
        shaStrength = field(w[231], 8, 15);
    }

private:
    static void mapperClip(uint32_t word, int32_t unit, int32_t *low, int32_t *high)
    {
        const int32_t lo = signExtend(field(word, 0, 11), 12), hi = signExtend(field(word, 16, 27), 12);
        if (lo == 0 && hi == 0) {
            *low = INT32_MIN / 2, *high = INT32_MAX / 2;
            return;
        }
        *low = lo * unit, *high = hi * unit;
    }
};

// One scaler: output position x reads input pixel offset + x x pitch.
struct ScalerConfig {
    uint32_t pitch[2];   // U6.15, 0 when never loaded
    uint32_t offset[2];  // pixels
    bool bypass;

    void decode(const uint32_t *w, unsigned vPitch, unsigned vSetup, unsigned hPitch, unsigned hSetup)
    {
        pitch[0] = w[hPitch], pitch[1] = w[vPitch];
        offset[0] = field(w[hSetup], 16, 29), offset[1] = field(w[vSetup], 16, 30);
        bypass = (w[hSetup] >> 31) != 0;
    }
};

// Statistics configuration.
struct StatsConfig {
    uint32_t exsLeft, exsTop, exsWidth, exsHeight, exsPixelMax;
    uint32_t awsCol, awsRow, awsTileW, awsTileH;  // cells
    uint32_t awsDark[3], awsClip[3];              // U8.8, R G B
    uint32_t fosLeft, fosTop, fosWidth, fosHeight;
    uint32_t roiLeft, roiTop, roiRight, roiBottom;
    uint32_t wbsLeft[2], wbsTop[2], wbsRight[2], wbsBottom[2];
    uint32_t wbsMax[2][4];  // R, G, B, Y thresholds, 11 fractional bits
    bool wbsTwo;            // the second region is active
    uint32_t hisOffset, hisScale, hisLeft, hisTop, hisWidth, hisHeight;
    uint32_t fldWaiting;    // frames the flicker detection waits

    void decode(const uint32_t *w)
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
        wbsTwo = (w[119] & 1) != 0;
        hisOffset = field(w[130], 0, 9), hisScale = field(w[130], 16, 31);
        hisLeft = field(w[131], 0, 13), hisTop = field(w[131], 16, 29);
        hisWidth = field(w[132], 0, 13), hisHeight = field(w[132], 16, 29);
        fldWaiting = std::max<uint32_t>(field(w[229], 12, 17), 1);
    }
};

}  // namespace simboard::isp

#endif
