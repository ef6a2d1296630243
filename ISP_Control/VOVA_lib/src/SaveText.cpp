// The statistics of a shot as indented text, one value per line, after the
// state of the camera that took it; and the hardware information printer.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <sstream>

#include "vezaracommon/userlog.h"
#include "vova/Camera.h"
#include "vova/Pipeline.h"
#include "vova/Save.h"

#define LOG_TAG "VOVA_Save"

namespace VOVA {

namespace {

// printf into a string of whatever length the values need.
std::string format(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
    if (length > 0)
        vsnprintf(text.data(), text.size() + 1, fmt, again);
    va_end(again);
    return text;
}

template <typename T, size_t N> std::string list(const char *element, const T (&values)[N])
{
    std::string text = "(";
    for (size_t i = 0; i < N; i++) {
        if (i)
            text += " ";
        text += format(element, values[i]);
    }
    return text + ")";
}

template <size_t N> std::string unsignedList(const QOV_UINT32 (&values)[N]) { return list("%u", values); }

// Writes the lines of the text statistics; a line that cannot be written is
// reported and writing goes on, the first failure being kept as the result.
class TextWriter {
public:
    TextWriter(SaveFile *file) : file(file) {}

    void text(const char *what, const std::string &line)
    {
        QOV_RESULT ret = SaveFile_write(file, line.data(), line.size());
        if (ret != QOV_SUCCESS) {
            LOG_Warning("saveTxtStats", __LINE__, LOG_TAG, "failed to write \"%s\" to file\n", what);
            if (result == QOV_SUCCESS)
                result = ret;
        }
    }
    void value(const char *what, const std::string &name, const std::string &value)
    {
        text(what, "      " + name + " = " + value + "\n");
    }
    void d(const char *what, const std::string &name, int v) { value(what, name, format("%d", v)); }
    void u(const char *what, const std::string &name, unsigned v) { value(what, name, format("%u", v)); }
    void f(const char *what, const std::string &name, double v) { value(what, name, format("%f", v)); }

    QOV_RESULT result = QOV_SUCCESS;

private:
    SaveFile *file;
};

std::string cell(const char *name, int i, int j) { return format("%s[%d][%d]", name, i, j); }

QOV_UINT32 word(const QOV_UINT8 *p)
{
    QOV_UINT32 w;
    memcpy(&w, p, sizeof(w));
    return w;
}

void exposure(TextWriter &w, const MC_EXS &c, const MC_STATS_EXS &s)
{
    w.text("EXS header", "  Exposure Statistics:\n    config:\n");
    const char *cfg = "clippingConfig";
    w.d(cfg, "bGlobalEnable", c.bGlobalEnable);
    w.d(cfg, "bRegionEnable", c.bRegionEnable);
    w.u(cfg, "ui16Left", c.ui16Left);
    w.u(cfg, "ui16Top", c.ui16Top);
    w.u(cfg, "ui16Width", c.ui16Width);
    w.u(cfg, "ui16Height", c.ui16Height);
    w.f(cfg, "fPixelMax", c.fPixelMax);
    w.text("EXS header", "    content:\n");
    w.value("clippingStats", "globalClipped", unsignedList(s.globalClipped));
    w.text("EXS comment", "      # regionClipped[vertical][horizontal]\n");
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            w.value("clippingStats", cell("regionClipped", i, j), unsignedList(s.regionClipped[i][j]));
}

void histogram(TextWriter &w, const MC_HIS &c, const MC_STATS_HIS &s)
{
    w.text("HIS header", "\n  Histogram Statistics:\n    config:\n");
    const char *cfg = "histogramConfig";
    w.d(cfg, "bGlobalEnable", c.bGlobalEnable);
    w.d(cfg, "bRegionEnable", c.bRegionEnable);
    w.f(cfg, "fInputOffset", c.fInputOffset);
    w.f(cfg, "fInputScale", c.fInputScale);
    w.u(cfg, "ui16Left", c.ui16Left);
    w.u(cfg, "ui16Top", c.ui16Top);
    w.u(cfg, "ui16Width", c.ui16Width);
    w.u(cfg, "ui16Height", c.ui16Height);
    w.text("HIS header", "    content:\n");
    w.value("histogramStats", "globalHistogram", unsignedList(s.globalHistogram));
    w.text("HIS comment", "      # regionHistograms[vertical][horizontal]\n");
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            w.value("histogramStats", cell("regionHistograms", i, j), unsignedList(s.regionHistograms[i][j]));
}

void focus(TextWriter &w, const MC_FOS &c, const MC_STATS_FOS &s)
{
    w.text("FOS header", "\n  Focus Statistics:\n    config:\n");
    const char *cfg = "focusConfig";
    w.d(cfg, "bGlobalEnable", c.bGlobalEnable);
    w.d(cfg, "bRegionEnable", c.bRegionEnable);
    w.d(cfg, "ui16Left", c.ui16Left);
    w.d(cfg, "ui16Top", c.ui16Top);
    w.d(cfg, "ui16Width", c.ui16Width);
    w.d(cfg, "ui16Height", c.ui16Height);
    w.d(cfg, "ui16ROILeft", c.ui16ROILeft);
    w.d(cfg, "ui16ROITop", c.ui16ROITop);
    w.d(cfg, "ui16ROIWidth", c.ui16ROIWidth);
    w.d(cfg, "ui16ROIHeight", c.ui16ROIHeight);
    w.text("FOS header", "    content:\n");
    w.u("focusStats", "ROISharpness", s.ROISharpness);
    w.text("FOS comment", "      # gridSharpness[vertical][horizontal]\n");
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++)
            w.u("focusStats", cell("gridSharpness", i, j), s.gridSharpness[i][j]);
}

void whiteBalance(TextWriter &w, const MC_WBS &c, const MC_STATS_WBS &s)
{
    w.text("WBS header", "\n  White Balance Statistics:\n    config:\n");
    const char *cfg = "whiteBalanceConfig";
    w.u(cfg, "ui8ActiveROI", c.ui8ActiveROI);
    w.f(cfg, "fRGBOffset", c.fRGBOffset);
    w.f(cfg, "fYOffset", c.fYOffset);
    for (int k = 0; k < 2; k++) {
        w.u(cfg, format("aRoiLeft[%d]", k), c.aRoiLeft[k]);
        w.u(cfg, format("aRoiTop[%d]", k), c.aRoiTop[k]);
        w.u(cfg, format("aRoiWidth[%d]", k), c.aRoiWidth[k]);
        w.u(cfg, format("aRoiHeight[%d]", k), c.aRoiHeight[k]);
        w.u(cfg, format("aRMax[%d]", k), c.aRMax[k]);
        w.u(cfg, format("aGMax[%d]", k), c.aGMax[k]);
        w.u(cfg, format("aBMax[%d]", k), c.aBMax[k]);
        w.u(cfg, format("aYMax[%d]", k), c.aYMax[k]);
    }
    w.text("WBS header", "    content:\n");
    const char *st = "whiteBalanceStats";
    for (int k = 0; k < 2; k++) {
        w.value(st, format("whitePatch[%d].channelAccumulated", k), unsignedList(s.whitePatch[k].channelAccumulated));
        w.value(st, format("whitePatch[%d].channelCount", k), unsignedList(s.whitePatch[k].channelCount));
        w.value(st, format("averageColor[%d].channelCount", k), unsignedList(s.averageColor[k].channelAccumulated));
        w.value(st, format("highLuminance[%d].channelAccumulated", k),
                unsignedList(s.highLuminance[k].channelAccumulated));
        w.u(st, format("highLuminance[%d].lumaCount", k), s.highLuminance[k].lumaCount);
    }
}

void autoWhiteBalance(TextWriter &w, const MC_AWS &c, const MC_STATS_AWS &s)
{
    w.text("AWS header", "\n  Auto White Balance Statistics:\n    config:\n");
    const char *cfg = "autoWhiteBalanceConfig";
    w.d(cfg, "bEnable", c.bEnable);
    w.d(cfg, "bDebugBitmap", c.bDebugBitmap);
    w.f(cfg, "fLog2_R_Qeff", c.fLog2_R_Qeff);
    w.f(cfg, "fLog2_B_Qeff", c.fLog2_B_Qeff);
    w.f(cfg, "fRedDarkThresh", c.fRedDarkThresh);
    w.f(cfg, "fBlueDarkThresh", c.fBlueDarkThresh);
    w.f(cfg, "fGreenDarkThresh", c.fGreenDarkThresh);
    w.f(cfg, "fRedClipThresh", c.fRedClipThresh);
    w.f(cfg, "fBlueClipThresh", c.fBlueClipThresh);
    w.f(cfg, "fGreenClipThresh", c.fGreenClipThresh);
    w.f(cfg, "fBbDist", c.fBbDist);
    w.u(cfg, "ui16GridStartRow", c.ui16GridStartRow);
    w.u(cfg, "ui16GridStartColumn", c.ui16GridStartColumn);
    w.u(cfg, "ui16GridTileWidth", c.ui16GridTileWidth);
    w.u(cfg, "ui16GridTileHeight", c.ui16GridTileHeight);
    w.value(cfg, "aCurveCoeffX", list("%f", c.aCurveCoeffX));
    w.value(cfg, "aCurveCoeffY", list("%f", c.aCurveCoeffY));
    w.value(cfg, "aCurveOffset", list("%f", c.aCurveOffset));
    w.value(cfg, "aCurveBoundary", list("%f", c.aCurveBoundary));
    w.text("AWS header", "    content:\n");
    w.text("AWS comment", "      # tileStats[vertical][horizontal]\n");
    const char *st = "autoWhiteBalanceStats";
    for (int i = 0; i < 7; i++)
        for (int j = 0; j < 7; j++) {
            const MC_TILE_STATS_AWS &t = s.tileStats[i][j];
            const std::string name = cell("autoWhiteBalanceStats.tileStats", i, j);
            w.f(st, name + ".fCollectedRed", t.fCollectedRed);
            w.f(st, name + ".fCollectedBlue", t.fCollectedBlue);
            w.f(st, name + ".fCollectedGreen", t.fCollectedGreen);
            w.u(st, name + ".numCFAs", t.numCFAs);
        }
}

void flicker(TextWriter &w, const MC_FLD &c, const MC_STATS_FLD &s)
{
    w.text("FLD header", "\n  Flicker Detection:\n    config:\n");
    const char *cfg = "flickerConfig";
    w.d(cfg, "bEnable", c.bEnable);
    w.u(cfg, "ui16VTot", c.ui16VTot);
    w.f(cfg, "fFrameRate", c.fFrameRate);
    w.u(cfg, "ui16CoefDiff", c.ui16CoefDiff);
    w.u(cfg, "ui16NFThreshold", c.ui16NFThreshold);
    w.u(cfg, "ui32SceneChange", c.ui32SceneChange);
    w.u(cfg, "ui8RShift", c.ui8RShift);
    w.u(cfg, "ui8MinPN", c.ui8MinPN);
    w.u(cfg, "ui8PN", c.ui8PN);
    w.d(cfg, "bReset", c.bReset);
    w.text("FLD header", "    content:\n");
    w.text("FLD comment", format("      # status: %d=WAITING, %d=50Hz, %d=60Hz, %d=NO_FLICKER, %d=UNDERTERMINED\n",
                                 FLD_WAITING, FLD_50HZ, FLD_60HZ, FLD_NO_FLICKER, FLD_UNDETERMINED));
    w.d("flickerStats", "flickerStatus", s.flickerStatus);
}

void timestamps(TextWriter &w, const MC_STATS_TIMESTAMP &t)
{
    w.text("TS header", "\n  Timestamps:\n    content:\n");
    const char *st = "timestamps";
    w.u(st, "ui32LinkedListUpdated", t.ui32LinkedListUpdated);
    w.u(st, "ui32StartFrameIn", t.ui32StartFrameIn);
    w.u(st, "ui32EndFrameIn", t.ui32EndFrameIn);
    w.u(st, "ui32StartFrameOut", t.ui32StartFrameOut);
    w.u(st, "ui32EndFrameEncOut", t.ui32EndFrameEncOut);
    w.u(st, "ui32EndFrameDispOut", t.ui32EndFrameDispOut);
    w.u(st, "ui32InterruptServiced", t.ui32InterruptServiced);
}

void defects(TextWriter &w, const MC_DPF &c, const MC_STATS_DPF &s, const Statistics &block)
{
    w.text("DPF header", "\n  Defective Pixels:\n    config:\n");
    w.text("DPF comment", format("      # bitmask of %d=DETECT, %d=WRITE, %d=READ\n", 1, 2, 4));
    const char *cfg = "defectiveConfig";
    w.u(cfg, "eDPFEnable", c.eDPFEnable);
    w.u(cfg, "ui32NDefect", c.ui32NDefect);
    w.text("DPF comment", "      # pair of coordinate (x, y)\n");
    const char *input = "defectiveConfig.apDefectInput";
    if (c.ui32NDefect != 0 && c.apDefectInput) {
        std::string line = "      apDefectInput =";
        for (QOV_UINT32 k = 0; k < c.ui32NDefect; k++)
            line += format(" (%d %d)", c.apDefectInput[2 * k], c.apDefectInput[2 * k + 1]);
        w.text(input, line + "\n");
    } else {
        w.text(input, "      apDefectInput = null\n");
    }
    w.u(cfg, "ui16NbLines", c.ui16NbLines);
    w.value(cfg, "aSkip", list("%u", c.aSkip));
    w.value(cfg, "aOffset", list("%u", c.aOffset));
    w.u(cfg, "ui8Threshold", c.ui8Threshold);
    w.f(cfg, "fWeight", c.fWeight);
    w.text("DPF header", "    content:\n");
    const char *st = "defectiveStats";
    w.u(st, "ui32FixedPixels", s.ui32FixedPixels);
    w.u(st, "ui32MapModifications", s.ui32MapModifications);
    w.u(st, "ui32DroppedMapModifications", s.ui32DroppedMapModifications);
    w.u(st, "ui32NOutCorrection", s.ui32NOutCorrection);
    w.text("DPF header", "      # tuple of (x, y, data, confidence, status)\n");
    // Only the entries the block holds: it may be absent or shorter than the count.
    QOV_UINT32 entries = block.data && block.elementSize >= 8 ? block.size / block.elementSize : 0;
    if (entries > s.ui32NOutCorrection)
        entries = s.ui32NOutCorrection;
    if (entries == 0) {
        w.text(input, "      apDefectOutput = null\n");
        return;
    }
    w.text("DPF header", "      apDefectOutput =");
    std::string tuples;
    for (QOV_UINT32 k = 0; k < entries; k++) {
        const QOV_UINT8 *entry = block.data + static_cast<size_t>(k) * block.elementSize;
        const QOV_UINT32 coords = word(entry), value = word(entry + 4);
        tuples += format(" (%d %d %d %d %d)", static_cast<int>(coords & 0x1FFF), static_cast<int>((coords >> 16) & 0x1FFF),
                         static_cast<int>(value & 0xFFFF), static_cast<int>((value >> 16) & 0xFF),
                         static_cast<int>(value >> 31));
    }
    w.text("DPF.data", tuples + "\n");
}

void encoderStats(TextWriter &w, const MC_ENS &c, const Statistics &block)
{
    w.text("ENS header", "\n  Encoder Statistics\n    config:\n");
    const char *cfg = "encodeStatsConfig";
    w.d(cfg, "bEnable", c.bEnable);
    w.u(cfg, "ui32NLines", c.ui32NLines);
    w.u(cfg, "ui32KernelSubsampling", c.ui32KernelSubsampling);
    w.text("ENS header", "    content:\n");
    const QOV_UINT32 elements = block.elementSize ? block.size / block.elementSize : 0;
    w.text("ENS.ui32NOutElements", format("      ui32NOutElements = %d\n", static_cast<int>(elements)));
    w.text("ENS comment", "      # pair of (counter, entropy)\n");
    if (block.size == 0 || block.elementSize < 8 || !block.data || elements == 0) {
        w.text("ENS.data", "      apStatsOutput = null\n");
        return;
    }
    w.text("ENS.data", "      apStatsOutput =");
    std::string pairs;
    for (QOV_UINT32 k = 0; k < elements; k++) {
        const QOV_UINT8 *element = block.data + static_cast<size_t>(k) * block.elementSize;
        pairs += format(" (%d %d)", static_cast<int>(word(element)), static_cast<int>(word(element + 4)));
    }
    w.text("ENS.ui32NOutElements", pairs);
    w.text("ENS.data", "\n");
}

}  // namespace

QOV_RESULT Save::saveTxtStats(const Shot &shot)
{
    QOV_RESULT ret = checkBytes(__func__, __LINE__, "File is not open, cannot save text statistics\n");
    if (ret != QOV_SUCCESS)
        return ret;
    const Metadata &m = shot.metadata;
    TextWriter w(file);
    w.text("Frame header", "Frame:\n");
    exposure(w, m.clippingConfig, m.clippingStats);
    histogram(w, m.histogramConfig, m.histogramStats);
    focus(w, m.focusConfig, m.focusStats);
    whiteBalance(w, m.whiteBalanceConfig, m.whiteBalanceStats);
    autoWhiteBalance(w, m.autoWhiteBalanceConfig, m.autoWhiteBalanceStats);
    flicker(w, m.flickerConfig, m.flickerStats);
    timestamps(w, m.timestamps);
    defects(w, m.defectiveConfig, m.defectiveStats, shot.DPF);
    encoderStats(w, m.encodeStatsConfig, shot.ENS);
    return w.result;
}

QOV_RESULT Save::saveCameraState(const Camera &camera)
{
    std::ostringstream text;
    text << camera << std::endl;
    const std::string state = text.str();
    QOV_RESULT ret = SaveFile_write(file, state.data(), state.size());
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to save camera state\n");
    return ret;
}

QOV_RESULT Save::SingleTxtStats(const Camera &camera, const Shot &shot, const std::string &filename)
{
    const Pipeline *context = camera.getPipeline();
    if (!context) {
        LOG_ERROR("Camera pipeline not defined (== NULL)\n");
        return QOV_ERROR_FAILURE;
    }
    Save save;
    QOV_RESULT ret = save.open(Bytes, *context, filename);
    if (ret != QOV_SUCCESS)
        return ret;
    ret = save.saveCameraState(camera);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to save camera state to '%s'\n", filename.c_str());
        save.close();
        return ret;
    }
    ret = save.saveTxtStats(shot);
    QOV_RESULT closed = save.close();
    if (ret == QOV_SUCCESS)
        ret = closed;
    if (ret != QOV_SUCCESS)
        LOG_ERROR("failed to save text statistics output to '%s'\n", filename.c_str());
    return ret;
}

}  // namespace VOVA

/*-------------------------------------------------------------------------
 * Hardware information
 *-------------------------------------------------------------------------*/

namespace {

const char *const kFirst = "  ";
const char *const kSecond = "    ";

// Zero-padded to `width` digits; the stream's fill character is restored.
struct Padded {
    unsigned long value;
    int width;
};

std::ostream &operator<<(std::ostream &os, const Padded &p)
{
    const char fill = os.fill('0');
    os << std::setw(p.width) << p.value;
    os.fill(fill);
    return os;
}

unsigned n(QOV_UINT8 v) { return v; }

}  // namespace

std::ostream &operator<<(std::ostream &os, const CI_HWINFO &info)
{
    os << "HW Information:" << std::endl;
    os << kFirst << "version = " << n(info.rev_ui8Major) << "." << n(info.rev_ui8Minor) << "." << n(info.rev_ui8Maint)
       << std::endl;
    os << kFirst << "config = " << Padded{info.ui16ConfigId, 3} << std::endl;
    os << kFirst << "uid = " << Padded{info.rev_uid, 8} << std::endl;
    os << kFirst << "parallelism = " << n(info.config_ui8Parallelism) << std::endl;
    os << kFirst << "pixels per clock = " << n(info.config_ui8PixPerClock) << std::endl;
    os << kFirst << "bit depth = " << n(info.config_ui8BitDepth) << std::endl;
    os << kFirst << "contexts = " << n(info.config_ui8NContexts) << std::endl;
    os << kFirst << "gaskets = " << n(info.config_ui8NImagers) << std::endl;
    os << kFirst << "iif datagen = " << n(info.config_ui8NIIFDataGenerator) << std::endl;
    os << kFirst << "max linestore = " << info.ui32MaxLineStore << std::endl;
    os << kFirst << "DPF internal = " << info.config_ui32DPFInternalSize << std::endl;
    os << kFirst << "LSH RAM size = " << info.ui32LSHRamSizeBits << " bits" << std::endl;

    os << kFirst << "features =";
    if (info.eFunctionalities == 0)
        os << " none";
    static const struct {
        QOV_UINT32 bit;
        const char *name;
    } kFeatures[] = {
        {CI_INFO_SUPPORTED_TILING, " TILING"},       {CI_INFO_SUPPORTED_HDR_EXT, " HDR_EXT"},
        {CI_INFO_SUPPORTED_HDR_INS, " HDR_INS"},     {CI_INFO_SUPPORTED_RAW2D_EXT, " RAW2D_EXT"},
        {CI_INFO_SUPPORTED_IIF_DATAGEN, " IIF_DG"},  {CI_INFO_SUPPORTED_IIF_PARTERNGEN, " IIF_DG_PATTERN"},
    };
    for (const auto &feature : kFeatures)
        if (info.eFunctionalities & feature.bit)
            os << feature.name;
    os << std::endl;
    os << kFirst << "ref clock = " << info.ui32RefClockMhz << " Mhz" << std::endl;

    // The record describes at most two contexts and four gaskets.
    const unsigned contexts = info.config_ui8NContexts < 2 ? info.config_ui8NContexts : 2;
    for (unsigned c = 0; c < contexts; c++) {
        os << std::endl;
        os << kFirst << "Context " << c << ":" << std::endl;
        os << kSecond << "bit depth = " << n(info.context_aBitDepth[c]) << std::endl;
        os << kSecond << "max size (single) = " << info.context_aMaxWidthSingle[c] << "x" << info.context_aMaxHeight[c]
           << std::endl;
        os << kSecond << "max size (multi) = " << info.context_aMaxWidthMult[c] << "x" << info.context_aMaxHeight[c]
           << std::endl;
    }
    const unsigned gaskets = info.config_ui8NImagers < 4 ? info.config_ui8NImagers : 4;
    for (unsigned g = 0; g < gaskets; g++) {
        os << std::endl;
        os << kFirst << "Gasket " << g << ":" << std::endl;
        os << kSecond << "bit depth = " << n(info.gasket_aBitDepth[g]) << std::endl;
        os << kSecond << "format =";
        if (info.gasket_aType[g] == 0)
            os << " none";
        if (info.gasket_aType[g] & 1)
            os << " MIPI";
        if (info.gasket_aType[g] & 2)
            os << " PARALLEL";
        os << std::endl;
        if (info.gasket_aType[g] & 1)
            os << kSecond << "MIPI lanes = " << n(info.gasket_aImagerPortWidth[g]) << std::endl;
    }

    os << std::endl;
    os << "MMU version " << n(info.mmu_ui8RevMajor) << "." << n(info.mmu_ui8RevMinor) << "." << n(info.mmu_ui8RevMaint)
       << std::endl;
    os << std::endl;
    os << "SW Information:" << std::endl;
    os << kFirst << "changelist = " << info.uiChangelist << std::endl;
    os << kFirst << "mmucontrol = " << n(info.mmu_ui8Enabled) << std::endl;
    os << kFirst << "tiling scheme = " << info.uiTiledScheme << "x" << (info.uiTiledScheme ? 4096 / info.uiTiledScheme : 0)
       << std::endl;
    os << kFirst << "mmu page size = " << info.mmu_ui32PageSize << std::endl;
    os << std::endl;
    return os;
}
