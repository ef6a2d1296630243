// Saving what a processed frame carries: the image outputs of a shot as JUX
// or plain files, the defect-map and encoder-statistics outputs and the raw
// statistics block as bytes, and the statistics as text with the camera's
// state. One object holds one output file at a time, opened for one kind of
// output against a pipeline whose output module, global setup, sensor and
// hardware decide the layout. Also the printer of the hardware information.
#ifndef VOVA_SAVE_H
#define VOVA_SAVE_H

#include <ostream>
#include <string>

#include "ci/ci_api.h"
#include "qov_types.h"
#include "sim_image/savefile.h"
#include "vezaracommon/pixel_format.h"
#include "vova/Shot.h"

namespace VOVA {

class Camera;
class Pipeline;

class Save {
public:
    enum SaveType {
        Bayer = 0,       ///< data extraction, JUX Bayer
        Bayer_TIFF = 1,  ///< RAW 2D extraction, JUX Bayer
        Display = 2,     ///< JUX RGB, or plain for packed 4:4:4 YCC
        RGB_EXT = 3,     ///< HDR extraction
        RGB_INS = 4,     ///< HDR insertion (SingleHDF)
        YUV = 5,         ///< encoder, plain
        Bytes = 6,       ///< the statistics writers, plain
    };

    Save() = default;
    virtual ~Save();
    Save(const Save &) = delete;
    Save &operator=(const Save &) = delete;

    /** Opens the file for one kind of output; an open object is refused with QOV_ERROR_ALREADY_EXISTS. */
    QOV_RESULT open(SaveType type, const Pipeline &context, const std::string &filename);
    /**
     * Closes the file. A failure to flush what was written is returned, so
     * that a lost write is not reported as a success.
     */
    QOV_RESULT close();

    /** Writes the shot's buffer of the opened type, untiled first when tiled. */
    QOV_RESULT save(const Shot &shot);
    /** The untiled copy save() would write; the caller frees result.data. */
    QOV_RESULT untile(const Shot &shot, Buffer &result) const;

    QOV_RESULT saveDPF(const Shot &shot);
    QOV_RESULT saveENS(const Shot &shot);
    QOV_RESULT saveStats(const Shot &shot);
    QOV_RESULT saveTxtStats(const Shot &shot);
    QOV_RESULT saveCameraState(const Camera &camera);

    QOV_RESULT saveBayer(const Buffer &bayerBuffer);
    QOV_RESULT saveTiff(const Buffer &raw2dBuffer);
    QOV_RESULT saveRGB(const Buffer &rgbBuffer);
    QOV_RESULT saveRGB(const CI_BUFFER &hdfBuffer);
    QOV_RESULT saveYUV(const Buffer &yuvBuffer);
    QOV_RESULT saveYUV_Packed(const Buffer &yuvBuffer);
    QOV_RESULT saveDisplay(const Buffer &displayBuffer);

    QOV_RESULT openBayer(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h);
    QOV_RESULT openTiff(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h);
    QOV_RESULT openDisplayFile(pxlFormat pxlFmt, unsigned w, unsigned h);
    QOV_RESULT openBytes();

    const std::string &getFilename() const { return filename; }
    bool isOpened() const { return file != nullptr; }
    SaveType format() const { return type; }

    static QOV_RESULT untileYUV(const Buffer &yuvBuffer, unsigned tileW, unsigned tileH, Buffer &result);
    static QOV_RESULT untileRGB(const Buffer &rgbBuffer, unsigned tileW, unsigned tileH, Buffer &result);

    static QOV_RESULT Single(const Pipeline &context, const Shot &shot, SaveType type, const std::string &filename);
    static QOV_RESULT SingleDPF(const Pipeline &context, const Shot &shot, const std::string &filename);
    static QOV_RESULT SingleENS(const Pipeline &context, const Shot &shot, const std::string &filename);
    static QOV_RESULT SingleStats(const Pipeline &context, const Shot &shot, const std::string &filename);
    static QOV_RESULT SingleTxtStats(const Camera &camera, const Shot &shot, const std::string &filename);
    static QOV_RESULT SingleHDF(const Pipeline &context, const CI_BUFFER &hdrBuffer, const std::string &filename);

    /** "encoder<ctx>_<w>x<h>_<format>_align<stride>.yuv"; empty for a format that is not YUV. */
    static std::string getEncoderFilename(const Pipeline &context);
    /** "display<ctx>.jux", or with size, format and alignment for packed 4:4:4 YCC; empty when unusable. */
    static std::string getDisplayFilename(const Pipeline &context);

private:
    /** Common to openBayer and openTiff: the JUX description of a Bayer file. */
    QOV_RESULT openBayerFile(pxlFormat fmt, MOSAICType mosaic, unsigned w, unsigned h, QOV_SIZE lineStride);
    /** Common to the statistics writers: the file must be open and hold bytes. */
    QOV_RESULT checkBytes(const char *function, unsigned line, const char *notOpen) const;
    /** Common to saveBayer and saveTiff. */
    QOV_RESULT saveBayerFrame(const Buffer &buffer, bool tiff);
    /** Tile width and height of the hardware's scheme. */
    void tileSize(unsigned &tileW, unsigned &tileH) const;
    /** Destroys and frees the save file. */
    QOV_RESULT release();

    std::string filename;
    SaveFile *file = nullptr;
    /** Not Bytes before the first open, so that the writers refuse a closed object's type. */
    SaveType type = Bayer;
    QOV_UINT32 tileScheme = 0;
};

}  // namespace VOVA

/** The hardware information as indented text. */
std::ostream &operator<<(std::ostream &os, const CI_HWINFO &info);

#endif  // VOVA_SAVE_H
