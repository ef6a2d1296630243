#include "vezaracommon/lsh_grid.h"

#include "vezaracommon/userlog.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/types.h>

#define LOG_TAG "LSH_OUT"

// The file reader's helpers log under the name of the public function.
#define LOAD_ERROR(...) LOG_Error("LSH_Load_bin", __LINE__, LOG_TAG, __VA_ARGS__)

namespace {

const char LSH_MAGIC[4] = {'L', 'S', 'H', '\0'};
const QOV_UINT32 LSH_MAX_DIMENSION = 0xFFFF;

bool isPowerOfTwo(QOV_UINT32 value)
{
    return value != 0 && (value & (value - 1)) == 0;
}

bool hasAnyMatrix(const LSH_GRID *pLSH)
{
    for (const LSH_FLOAT *pMatrix : pLSH->apMatrix)
    {
        if (pMatrix)
            return true;
    }
    return false;
}

bool hasAllMatrices(const LSH_GRID *pLSH)
{
    for (const LSH_FLOAT *pMatrix : pLSH->apMatrix)
    {
        if (!pMatrix)
            return false;
    }
    return true;
}

size_t pointCount(const LSH_GRID *pLSH)
{
    return static_cast<size_t>(pLSH->ui16Width) * pLSH->ui16Height;
}

bool canFill(const LSH_GRID *pLSH, QOV_UINT8 c)
{
    return c < LSH_NUM_CHANNELS && pLSH->apMatrix[c] && pLSH->ui16Width > 1 &&
           pLSH->ui16Height > 1;
}

// Bilinear blend of the four corner values at (x, y) in [0, 1]^2.
double blend(double x, double y, double c0, double c1, double c2, double c3)
{
    return (1.0 - y) * ((1.0 - x) * c0 + x * c1) + y * ((1.0 - x) * c2 + x * c3);
}

// Number of bytes left in a seekable file after the current position, or -1
// when it cannot be told (the reads then detect a short file).
off_t remainingBytes(FILE *pFile)
{
    off_t pos = ftello(pFile);
    if (pos < 0 || fseeko(pFile, 0, SEEK_END) != 0)
        return -1;
    off_t end = ftello(pFile);
    if (fseeko(pFile, pos, SEEK_SET) != 0)
        return -1;
    return end < pos ? -1 : end - pos;
}

QOV_RESULT readGrid(LSH_GRID *pLSH, FILE *pFile)
{
    char magic[sizeof(LSH_MAGIC)];
    if (fread(magic, 1, sizeof(magic), pFile) != sizeof(magic))
        return QOV_ERROR_FAILURE;
    if (memcmp(magic, LSH_MAGIC, 3) != 0)
    {
        LOAD_ERROR("Wrong LSH file format - %s couldn't be read\n", "LSH");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    QOV_INT32 version = 0;
    if (fread(&version, sizeof(version), 1, pFile) != 1)
    {
        LOAD_ERROR("Failed to read LSH file format\n");
        return QOV_ERROR_FAILURE;
    }
    if (version != LSH_VERSION)
    {
        LOAD_ERROR("wrong LSH file format - version %d found, version %d supported\n", version,
                  LSH_VERSION);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    QOV_INT32 sizes[3];  // width, height, tile size
    if (fread(sizes, sizeof(sizes[0]), 3, pFile) != 3)
    {
        LOAD_ERROR("failed to read %d int at the beginning of the file\n", 3);
        return QOV_ERROR_FAILURE;
    }
    // The grid holds 16-bit sizes: a larger value would be silently cut and
    // the channels misread.
    for (QOV_INT32 size : sizes)
    {
        if (size < 0 || static_cast<QOV_UINT32>(size) > LSH_MAX_DIMENSION)
        {
            LOAD_ERROR("lsh grid size out of range (w=%d h=%d tile=%d, at most %u)!\n", sizes[0],
                      sizes[1], sizes[2], LSH_MAX_DIMENSION);
            return QOV_ERROR_FAILURE;
        }
    }
    pLSH->ui16Width = static_cast<QOV_UINT16>(sizes[0]);
    pLSH->ui16Height = static_cast<QOV_UINT16>(sizes[1]);
    pLSH->ui16TileSize = static_cast<QOV_UINT16>(sizes[2]);

    const size_t nPoints = pointCount(pLSH);
    if (nPoints == 0)
    {
        LOAD_ERROR("lsh grid size is 0 (w=%d h=%d)!\n", sizes[0], sizes[1]);
        return QOV_ERROR_FAILURE;
    }
    const size_t channelBytes = nPoints * sizeof(LSH_FLOAT);

    // A truncated file is refused before its matrices are allocated, so that
    // a header announcing a huge grid costs no memory.
    const off_t remaining = remainingBytes(pFile);
    if (remaining >= 0 && static_cast<QOV_UINT64>(remaining) < LSH_NUM_CHANNELS * channelBytes)
    {
        const size_t c = static_cast<size_t>(remaining) / channelBytes;
        const size_t nRead = (static_cast<size_t>(remaining) - c * channelBytes) / sizeof(LSH_FLOAT);
        LOAD_ERROR("Failed to read channel %d - read %d/%lu Bytes\n", static_cast<int>(c),
                  static_cast<int>(nRead), static_cast<unsigned long>(channelBytes));
        return QOV_ERROR_FAILURE;
    }

    for (int c = 0; c < LSH_NUM_CHANNELS; c++)
    {
        pLSH->apMatrix[c] = static_cast<LSH_FLOAT *>(malloc(channelBytes));
        if (!pLSH->apMatrix[c])
        {
            LOAD_ERROR("Failed to allocate matrix for channel %d (%ld Bytes)\n", c,
                      static_cast<long>(channelBytes));
            LSH_Free(pLSH);
            return QOV_ERROR_NO_MEMORY;
        }
    }

    for (int c = 0; c < LSH_NUM_CHANNELS; c++)
    {
        const size_t nRead = fread(pLSH->apMatrix[c], sizeof(LSH_FLOAT), nPoints, pFile);
        if (nRead != nPoints)
        {
            LOAD_ERROR("Failed to read channel %d - read %d/%lu Bytes\n", c,
                      static_cast<int>(nRead), static_cast<unsigned long>(channelBytes));
            LSH_Free(pLSH);
            return QOV_ERROR_FAILURE;
        }
    }
    return QOV_SUCCESS;
}

// A gain that is not a finite number is taken as the file gives it, but not
// silently: the hardware encoding would turn a NaN into a gain of 0.
void warnNonFiniteGains(const LSH_GRID *pLSH, const char *filename)
{
    const size_t nPoints = pointCount(pLSH);
    size_t nBad = 0;
    int firstChannel = 0;
    size_t firstPoint = 0;
    for (int c = 0; c < LSH_NUM_CHANNELS; c++)
    {
        for (size_t i = 0; i < nPoints; i++)
        {
            if (!std::isfinite(pLSH->apMatrix[c][i]) && nBad++ == 0)
            {
                firstChannel = c;
                firstPoint = i;
            }
        }
    }
    if (nBad == 0)
        return;
    LOG_Warning("LSH_Load_bin", __LINE__, LOG_TAG,
                "%s holds %lu gains that are not finite numbers, the first %f in channel %d at grid point "
                "(%lu, %lu)\n",
                filename, static_cast<unsigned long>(nBad), pLSH->apMatrix[firstChannel][firstPoint], firstChannel,
                static_cast<unsigned long>(firstPoint % pLSH->ui16Width),
                static_cast<unsigned long>(firstPoint / pLSH->ui16Width));
}

bool writeGrid(const LSH_GRID *pLSH, FILE *pFile)
{
    const QOV_INT32 header[4] = {LSH_VERSION, pLSH->ui16Width, pLSH->ui16Height,
                                 pLSH->ui16TileSize};
    if (fwrite(LSH_MAGIC, 1, sizeof(LSH_MAGIC), pFile) != sizeof(LSH_MAGIC) ||
        fwrite(header, sizeof(header[0]), 4, pFile) != 4)
        return false;
    const size_t nPoints = pointCount(pLSH);
    for (const LSH_FLOAT *pMatrix : pLSH->apMatrix)
    {
        if (fwrite(pMatrix, sizeof(LSH_FLOAT), nPoints, pFile) != nPoints)
            return false;
    }
    return true;
}

// Closes a file written to and reports whether everything reached it.
QOV_RESULT closeWritten(FILE *pFile, bool bWritten, const char *filename, const char *function)
{
    bWritten = !ferror(pFile) && bWritten;
    if (fclose(pFile) != 0 || !bWritten)
    {
        LOG_Error(function, __LINE__, LOG_TAG, "Failed to write %s\n", filename);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

}  // namespace

QOV_RESULT LSH_AllocateMatrix(LSH_GRID *pLSH, QOV_UINT16 uiGridWidth, QOV_UINT16 ui16GridHeight,
                              QOV_UINT16 ui16TileSize)
{
    if (!pLSH)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (hasAnyMatrix(pLSH))
        return QOV_ERROR_ALREADY_EXISTS;
    if (!isPowerOfTwo(ui16TileSize))
        return QOV_ERROR_NOT_SUPPORTED;
    if (uiGridWidth == 0 || ui16GridHeight == 0)
    {
        LOG_ERROR("lsh grid size is 0 (w=%d h=%d)!\n", uiGridWidth, ui16GridHeight);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    pLSH->ui16Width = uiGridWidth;
    pLSH->ui16Height = ui16GridHeight;
    pLSH->ui16TileSize = ui16TileSize;
    const size_t nPoints = pointCount(pLSH);
    for (LSH_FLOAT *&pMatrix : pLSH->apMatrix)
    {
        pMatrix = static_cast<LSH_FLOAT *>(calloc(nPoints, sizeof(LSH_FLOAT)));
        if (!pMatrix)
        {
            LSH_Free(pLSH);
            LOG_ERROR("failed to allocate matrix\n");
            return QOV_ERROR_NO_MEMORY;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT LSH_CreateMatrix(LSH_GRID *pLSH, QOV_UINT16 ui16Width, QOV_UINT16 ui16Height,
                            QOV_UINT16 ui16TileSize)
{
    if (!pLSH)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (hasAnyMatrix(pLSH))
        return QOV_ERROR_ALREADY_EXISTS;
    if (!isPowerOfTwo(ui16TileSize))
        return QOV_ERROR_NOT_SUPPORTED;

    // One point per started tile plus the closing one.
    const QOV_UINT32 gridWidth = ui16Width / ui16TileSize + 1 + (ui16Width % ui16TileSize ? 1 : 0);
    const QOV_UINT32 gridHeight =
        ui16Height / ui16TileSize + 1 + (ui16Height % ui16TileSize ? 1 : 0);
    if (gridWidth > LSH_MAX_DIMENSION || gridHeight > LSH_MAX_DIMENSION)
    {
        LOG_ERROR("lsh grid of %ux%u points is too large (at most %u)\n", gridWidth, gridHeight,
                  LSH_MAX_DIMENSION);
        return QOV_ERROR_TOO_LARGE;
    }
    return LSH_AllocateMatrix(pLSH, static_cast<QOV_UINT16>(gridWidth),
                              static_cast<QOV_UINT16>(gridHeight), ui16TileSize);
}

QOV_RESULT LSH_FillLinear(LSH_GRID *pLSH, QOV_UINT8 c, const float *aCorners)
{
    if (!pLSH || !aCorners)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!canFill(pLSH, c))
        return QOV_ERROR_FAILURE;

    LOG_INFO("generate linear LSH %ux%u grid (tile size is %u CFA) - corners %f %f %f %f\n",
             pLSH->ui16Width, pLSH->ui16Height, pLSH->ui16TileSize, aCorners[0], aCorners[1],
             aCorners[2], aCorners[3]);

    const unsigned width = pLSH->ui16Width;
    const unsigned height = pLSH->ui16Height;
    LSH_FLOAT *pMatrix = pLSH->apMatrix[c];
    for (unsigned r = 0; r < height; r++)
    {
        const float y = static_cast<float>(r) / static_cast<float>(height - 1);
        for (unsigned k = 0; k < width; k++)
        {
            const float x = static_cast<float>(k) / static_cast<float>(width - 1);
            pMatrix[r * width + k] = static_cast<LSH_FLOAT>(
                blend(x, y, aCorners[0], aCorners[1], aCorners[2], aCorners[3]));
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT LSH_FillBowl(LSH_GRID *pLSH, QOV_UINT8 c, const float *aCorners)
{
    if (!pLSH || !aCorners)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (!canFill(pLSH, c))
        return QOV_ERROR_FAILURE;

    const double centre = aCorners[4];
    LOG_INFO("generate bowl LSH %ux%u grid (tile size is %u CFA) - corners %f %f %f %f center "
             "%f\n",
             pLSH->ui16Width, pLSH->ui16Height, pLSH->ui16TileSize, aCorners[0], aCorners[1],
             aCorners[2], aCorners[3], aCorners[4]);

    const unsigned width = pLSH->ui16Width;
    const unsigned height = pLSH->ui16Height;
    LSH_FLOAT *pMatrix = pLSH->apMatrix[c];
    for (unsigned r = 0; r < height; r++)
    {
        const double y = static_cast<double>(r) / (height - 1);
        const double a = cos((y - 0.5) * M_PI);
        for (unsigned k = 0; k < width; k++)
        {
            const double x = static_cast<double>(k) / (width - 1);
            const double b = cos((x - 0.5) * M_PI);
            // Deviation from the centre, zero at the centre and full at the
            // corners.
            const double deviation = blend(x, y, aCorners[0] - centre, aCorners[1] - centre,
                                           aCorners[2] - centre, aCorners[3] - centre);
            pMatrix[r * width + k] =
                static_cast<LSH_FLOAT>(centre + deviation * ((1.0 - b) + (1.0 - a)) / 2.0);
        }
    }
    return QOV_SUCCESS;
}

void LSH_Free(LSH_GRID *pLSH)
{
    if (!pLSH)
        return;
    for (LSH_FLOAT *&pMatrix : pLSH->apMatrix)
    {
        free(pMatrix);
        pMatrix = nullptr;
    }
}

QOV_RESULT LSH_Save_bin(const LSH_GRID *pLSH, const char *filename)
{
    if (!pLSH || !filename || !hasAllMatrices(pLSH))
        return QOV_ERROR_INVALID_ARGUMENT;

    FILE *pFile = fopen(filename, "wb");
    if (!pFile)
    {
        LOG_ERROR("Failed to open %s\n", filename);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    return closeWritten(pFile, writeGrid(pLSH, pFile), filename, __func__);
}

QOV_RESULT LSH_Load_bin(LSH_GRID *pLSH, const char *filename)
{
    if (!pLSH || !filename)
        return QOV_ERROR_INVALID_ARGUMENT;
    // Loading over held matrices would lose them.
    if (hasAnyMatrix(pLSH))
    {
        LOG_ERROR("LSH grid already holds matrices - %s not loaded\n", filename);
        return QOV_ERROR_ALREADY_EXISTS;
    }

    FILE *pFile = fopen(filename, "rb");
    if (!pFile)
    {
        LOG_ERROR("Failed to open file %s\n", filename);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    QOV_RESULT ret = readGrid(pLSH, pFile);
    fclose(pFile);
    if (ret == QOV_SUCCESS)
        warnNonFiniteGains(pLSH, filename);
    return ret;
}

QOV_RESULT LSH_Save_txt(const LSH_GRID *pLSH, const char *filename)
{
    if (!pLSH || !filename || !hasAllMatrices(pLSH))
        return QOV_ERROR_INVALID_ARGUMENT;

    FILE *pFile = fopen(filename, "w");
    if (!pFile)
    {
        LOG_ERROR("Failed to open output file %s\n", filename);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    const unsigned width = pLSH->ui16Width;
    const unsigned height = pLSH->ui16Height;
    fprintf(pFile, "LSH matrix %ux%u, tile size %u, 4 channels\n", width, height,
            static_cast<unsigned>(pLSH->ui16TileSize));
    for (unsigned c = 0; c < LSH_NUM_CHANNELS; c++)
    {
        fprintf(pFile, "channel %u\n", c);
        const LSH_FLOAT *pMatrix = pLSH->apMatrix[c];
        for (unsigned r = 0; r < height; r++)
        {
            for (unsigned k = 0; k < width; k++)
                fprintf(pFile, "%f ", static_cast<double>(pMatrix[r * width + k]));
            fprintf(pFile, "\n");
        }
    }
    return closeWritten(pFile, true, filename, __func__);
}

QOV_RESULT LSH_Save_pgm(const LSH_GRID *pLSH, const char *filename)
{
    if (!pLSH || !filename || !hasAllMatrices(pLSH))
        return QOV_ERROR_INVALID_ARGUMENT;

    FILE *pFile = fopen(filename, "w");
    if (!pFile)
    {
        LOG_ERROR("Failed to open %s\n", filename);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    const size_t nPoints = pointCount(pLSH);
    // The range always includes [0, 3] at least partly: min starts at 3 and
    // max at 0.
    LSH_FLOAT minValue = 3.0f;
    LSH_FLOAT maxValue = 0.0f;
    for (const LSH_FLOAT *pMatrix : pLSH->apMatrix)
    {
        for (size_t i = 0; i < nPoints; i++)
        {
            if (pMatrix[i] < minValue)
                minValue = pMatrix[i];
            if (pMatrix[i] > maxValue)
                maxValue = pMatrix[i];
        }
    }
    const LSH_FLOAT range = minValue == maxValue ? maxValue + 1.0f - minValue : maxValue - minValue;

    const unsigned width = pLSH->ui16Width;
    const unsigned height = pLSH->ui16Height;
    fprintf(pFile, "P2\n%u %u 255\n", width, LSH_NUM_CHANNELS * height);
    for (const LSH_FLOAT *pMatrix : pLSH->apMatrix)
    {
        for (unsigned r = 0; r < height; r++)
        {
            for (unsigned k = 0; k < width; k++)
            {
                const LSH_FLOAT scaled = (pMatrix[r * width + k] - minValue) / range * 255.0f;
                // Not-a-number and infinite values are clamped before the
                // conversion to an integer.
                int grey = 0;
                if (scaled >= 255.0f)
                    grey = 255;
                else if (scaled > 0.0f)
                    grey = static_cast<int>(scaled);
                fprintf(pFile, "%d ", grey);
            }
            fprintf(pFile, "\n");
        }
    }
    return closeWritten(pFile, true, filename, __func__);
}
