#include "sim_image/savefile.h"

#include <cstdlib>
#include <cstring>

#include "vezaracommon/userlog.h"

#define LOG_TAG "Savefile"

namespace {

bool isOpen(const SaveFile *pFile)
{
    return pFile->saveTo || pFile->pSimImage;
}

// Releases a JUX writer whatever state it is in.
void releaseWriter(SaveFile *pFile)
{
    SimImageOut_close(pFile->pSimImage);
    SimImageOut_clean(pFile->pSimImage);
    free(pFile->pSimImage);
    pFile->pSimImage = nullptr;
}

class Lock {
public:
    explicit Lock(pthread_mutex_t *m) : m_(m) { pthread_mutex_lock(m_); }
    ~Lock() { pthread_mutex_unlock(m_); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

private:
    pthread_mutex_t *m_;
};

}  // namespace

QOV_BOOL8 SaveFile_useSaveLocks(void)
{
    return QOV_TRUE;
}

QOV_RESULT SaveFile_init(SaveFile *pFile)
{
    if (!pFile) {
        LOG_ERROR("pFile is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    pthread_mutex_init(&pFile->fileLock, nullptr);
    pFile->saveTo = nullptr;
    pFile->pSimImage = nullptr;
    pFile->ui32TimeWritten = 0;
    pFile->bInitiliasedLock = QOV_TRUE;
    return QOV_SUCCESS;
}

QOV_RESULT SaveFile_open(SaveFile *pFile, const char *filename)
{
    if (!pFile || !filename) {
        LOG_ERROR("pFile or filename is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (isOpen(pFile)) {
        LOG_ERROR("pFile->saveTo or pFile->pSimImage is not NULL (file alread opened)\n");
        return QOV_ERROR_IN_USE;
    }
    if (!pFile->bInitiliasedLock) {
        LOG_ERROR("file not initialised!\n");
        return QOV_ERROR_FAILURE;
    }
    Lock lock(&pFile->fileLock);
    pFile->ui32TimeWritten = 0;
    pFile->saveTo = fopen(filename, "wb");
    if (!pFile->saveTo) {
        LOG_ERROR("failed to open file '%s'\n", filename);
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

QOV_RESULT SaveFile_openJUX(SaveFile *pFile, const char *filename, const SimImageInfo *info)
{
    if (!pFile || !filename || !info) {
        LOG_ERROR("pFile or filename or info is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (isOpen(pFile)) {
        LOG_ERROR("pFile->saveTo or pFile->pSimImage is not NULL (file alread opened)\n");
        return QOV_ERROR_IN_USE;
    }
    if (!pFile->bInitiliasedLock) {
        LOG_ERROR("file not initialised!\n");
        return QOV_ERROR_FAILURE;
    }
    Lock lock(&pFile->fileLock);
    pFile->pSimImage = static_cast<sSimImageOut *>(calloc(1, sizeof(sSimImageOut)));
    QOV_RESULT ret = SimImageOut_init(pFile->pSimImage);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to create Sim Image object (returned %d)\n", ret);
        free(pFile->pSimImage);
        pFile->pSimImage = nullptr;
        return ret;
    }
    pFile->pSimImage->info = *info;
    ret = SimImageOut_create(pFile->pSimImage);
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("failed to create JUX file for saving (returned %d)\n", ret);
    } else {
        ret = SimImageOut_open(pFile->pSimImage, filename);
        if (ret != QOV_SUCCESS)
            LOG_ERROR("failed to open JUX file for saving (returned %d)\n", ret);
    }
    if (ret != QOV_SUCCESS) {
        // The writer stays in the record, so the file counts as open until
        // SaveFile_close (or SaveFile_destroy) releases it.
        return ret;
    }
    pFile->ui32TimeWritten = 0;
    return QOV_SUCCESS;
}

QOV_RESULT SaveFile_write(SaveFile *pFile, const void *ptr, size_t size)
{
    if (!pFile || !ptr || size == 0) {
        LOG_ERROR("pFile or ptr is NULL (or size is 0)\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!isOpen(pFile)) {
        LOG_ERROR("pFile->saveTo and pFile->pSimImage is NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!pFile->bInitiliasedLock) {
        LOG_ERROR("file not initialised!\n");
        return QOV_ERROR_FAILURE;
    }
    Lock lock(&pFile->fileLock);
    if (pFile->saveTo) {
        const size_t written = fwrite(ptr, 1, size, pFile->saveTo);
        if (written != size) {
            LOG_ERROR("failed to write to file (written %zd/%zdB)\n", written, size);
            return QOV_ERROR_FAILURE;
        }
    } else {
        // A refused frame is not written: the image would still hold the previous one.
        QOV_RESULT ret = SimImageOut_addFrame(pFile->pSimImage, ptr, size);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("failed to add a frame (returned %d)\n", ret);
            return ret;
        }
        ret = SimImageOut_write(pFile->pSimImage);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("failed to write a frame (returned %d\n", ret);
            return ret;
        }
    }
    pFile->ui32TimeWritten++;
    return QOV_SUCCESS;
}

QOV_RESULT SaveFile_writeFrame(SaveFile *pFile, const void *ptr, size_t stride, size_t size, QOV_UINT32 lines)
{
    if (!pFile || !ptr || stride == 0 || size == 0 || lines == 0) {
        LOG_ERROR("pFile(%p) or ptr(%p) or is NULL (or stride, size or lines is 0)\n", static_cast<void *>(pFile), ptr);
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (size > stride) {
        LOG_ERROR("size > stride\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (!isOpen(pFile)) {
        LOG_ERROR("pFile->saveTo and pFile->pSimImage are NULL\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    if (!pFile->bInitiliasedLock) {
        LOG_ERROR("file not initialised!\n");
        return QOV_ERROR_FAILURE;
    }
    Lock lock(&pFile->fileLock);
    const QOV_UINT8 *rows = static_cast<const QOV_UINT8 *>(ptr);
    if (pFile->saveTo) {
        for (QOV_UINT32 l = 0; l < lines; l++) {
            const size_t written = fwrite(rows + static_cast<size_t>(l) * stride, 1, size, pFile->saveTo);
            if (written != size) {
                LOG_ERROR("failed to write to file (%zd/%zdB written)\n", written, size);
                return QOV_ERROR_FAILURE;
            }
        }
    } else {
        if (size > SIZE_MAX / lines) {
            LOG_ERROR("failed to allocate the frame buffer\n");
            return QOV_ERROR_NO_MEMORY;
        }
        QOV_UINT8 *frame = static_cast<QOV_UINT8 *>(malloc(size * lines));
        if (!frame) {
            LOG_ERROR("failed to allocate the frame buffer\n");
            return QOV_ERROR_NO_MEMORY;
        }
        for (QOV_UINT32 l = 0; l < lines; l++)
            memcpy(frame + static_cast<size_t>(l) * size, rows + static_cast<size_t>(l) * stride, size);
        QOV_RESULT ret = SimImageOut_addFrame(pFile->pSimImage, frame, size * lines);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("failed to add a frame (returned %d)\n", ret);
            free(frame);
            return ret;
        }
        ret = SimImageOut_write(pFile->pSimImage);
        free(frame);
        if (ret != QOV_SUCCESS) {
            LOG_ERROR("failed to write a frame (returned %d\n", ret);
            return QOV_ERROR_FAILURE;
        }
    }
    pFile->ui32TimeWritten++;
    return QOV_SUCCESS;
}

QOV_RESULT SaveFile_close(SaveFile *pFile)
{
    if (!pFile) {
        LOG_ERROR("pFile is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pFile->bInitiliasedLock) {
        LOG_ERROR("file not initialised!\n");
        return QOV_ERROR_FAILURE;
    }
    Lock lock(&pFile->fileLock);
    QOV_RESULT ret = QOV_SUCCESS;
    if (pFile->saveTo) {
        // Buffered bytes reach the file only now: a failure here loses them.
        if (fclose(pFile->saveTo) != 0) {
            LOG_ERROR("failed to write the end of the file\n");
            ret = QOV_ERROR_FAILURE;
        }
        pFile->saveTo = nullptr;
    }
    if (pFile->pSimImage)
        releaseWriter(pFile);
    return ret;
}

QOV_RESULT SaveFile_destroy(SaveFile *pFile)
{
    if (!pFile) {
        LOG_ERROR("pFile is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (isOpen(pFile))
        SaveFile_close(pFile);
    if (pFile->bInitiliasedLock) {
        pthread_mutex_destroy(&pFile->fileLock);
        pFile->bInitiliasedLock = QOV_FALSE;
    }
    return QOV_SUCCESS;
}

// ---------------------------------------------------------------------------
// Bayer converters

namespace {

// Checks shared by every converter, in order: arguments, the word stride (word
// packings only), odd height, and a width that is not whole cells.
QOV_RESULT checkShape(const QOV_UINT16 imageSize[2], const void *pInput, void **pOutput, QOV_SIZE *pOutsize,
                      bool wordStride, QOV_SIZE stride)
{
    if (!imageSize || !pInput || !pOutput || !pOutsize) {
        LOG_ERROR("imageSize, pInput, pOutput or pOutsize is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (wordStride && stride % 4 != 0) {
        LOG_ERROR("size is not a multiple of 32b\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (imageSize[1] % 2 != 0) {
        LOG_ERROR("function does not work with odd height\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (imageSize[0] % 2 != 0) {
        LOG_ERROR("function does not work with odd width\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

// Allocates the zero-filled output of a word converter and hands it out.
QOV_RESULT allocWordOutput(const QOV_UINT16 imageSize[2], size_t bytesPerSample, void **pOutput, QOV_SIZE *pOutsize)
{
    *pOutsize = static_cast<QOV_SIZE>(imageSize[0]) * imageSize[1] * bytesPerSample;
    void *out = calloc(*pOutsize ? *pOutsize : 1, 1);
    if (!out) {
        LOG_ERROR("outputBuffer is NULL\n");
        return QOV_ERROR_NO_MEMORY;
    }
    *pOutput = out;
    return QOV_SUCCESS;
}

// Sample k of a line of 12-bit fields, least significant bit first.
QOV_UINT16 sample12(const QOV_UINT8 *line, size_t k)
{
    const size_t bit = 12 * k;
    const QOV_UINT8 *p = line + bit / 8;
    const unsigned v = static_cast<unsigned>(p[0]) | static_cast<unsigned>(p[1]) << 8;
    return static_cast<QOV_UINT16>((v >> (bit % 8)) & 0xFFF);
}

// Sample k of a line of 10-bit fields, three in each 32-bit word.
QOV_UINT16 sample10(const QOV_UINT8 *line, size_t k)
{
    const QOV_UINT8 *w = line + 4 * (k / 3);
    const QOV_UINT32 word = static_cast<QOV_UINT32>(w[0]) | static_cast<QOV_UINT32>(w[1]) << 8 |
                            static_cast<QOV_UINT32>(w[2]) << 16 | static_cast<QOV_UINT32>(w[3]) << 24;
    return static_cast<QOV_UINT16>((word >> (10 * (k % 3))) & 0x3FF);
}

template <typename Sample>
void writeCells(QOV_UINT16 *row, size_t cells, const QOV_UINT8 *even, const QOV_UINT8 *odd, Sample sample)
{
    for (size_t j = 0; j < cells; j++) {
        row[4 * j] = sample(even, 2 * j);
        row[4 * j + 1] = sample(even, 2 * j + 1);
        row[4 * j + 2] = sample(odd, 2 * j);
        row[4 * j + 3] = sample(odd, 2 * j + 1);
    }
}

// A TIFF line must hold its packed samples within the stride.
QOV_RESULT checkTiffStride(QOV_SIZE stride, size_t lineBytes, unsigned width)
{
    if (stride < lineBytes) {
        LOG_ERROR("stride %zu is too short for %u pixels (%zu bytes needed)\n", stride, width, lineBytes);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    return QOV_SUCCESS;
}

QOV_RESULT tiffLineStarts(const QOV_UINT8 *in, size_t height, QOV_SIZE stride, size_t pair, const QOV_UINT8 **pEven,
                          const QOV_UINT8 **pOdd)
{
    const QOV_UINT8 *end = in + height * stride;
    *pEven = in + 2 * pair * stride;
    *pOdd = *pEven + stride;
    if (*pEven < in || *pEven >= end) {
        LOG_ERROR("pEven 0x%p does not fit in pInput (0x%p to 0x%tx)\n", static_cast<const void *>(*pEven),
                  static_cast<const void *>(in), reinterpret_cast<ptrdiff_t>(end));
        return QOV_ERROR_FAILURE;
    }
    if (*pOdd < in || *pOdd >= end) {
        LOG_ERROR("pOdd 0x%p does not fit in pInput (0x%p to 0x%tx)\n", static_cast<const void *>(*pOdd),
                  static_cast<const void *>(in), reinterpret_cast<ptrdiff_t>(end));
        return QOV_ERROR_FAILURE;
    }
    return QOV_SUCCESS;
}

}  // namespace

QOV_RESULT convertToPlanarBayer8(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                 QOV_SIZE *pOutsize)
{
    QOV_RESULT ret = checkShape(imageSize, pInput, pOutput, pOutsize, true, stride);
    if (ret == QOV_SUCCESS)
        ret = allocWordOutput(imageSize, 1, pOutput, pOutsize);
    if (ret != QOV_SUCCESS)
        return ret;
    const size_t width = imageSize[0], pairs = imageSize[1] / 2;
    // Four samples a word; the words of the stride bound what a line gives.
    const size_t cells = (width / 2 < stride / 2) ? width / 2 : stride / 2;
    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(*pOutput);
    for (size_t l = 0; l < pairs; l++) {
        const QOV_UINT8 *even = in + 2 * l * stride;
        const QOV_UINT8 *odd = even + stride;
        QOV_UINT8 *row = out + l * 2 * width;
        for (size_t j = 0; j < cells; j++) {
            row[4 * j] = even[2 * j];
            row[4 * j + 1] = even[2 * j + 1];
            row[4 * j + 2] = odd[2 * j];
            row[4 * j + 3] = odd[2 * j + 1];
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT convertToPlanarBayer10(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                  QOV_SIZE *pOutsize)
{
    QOV_RESULT ret = checkShape(imageSize, pInput, pOutput, pOutsize, true, stride);
    if (ret == QOV_SUCCESS)
        ret = allocWordOutput(imageSize, 2, pOutput, pOutsize);
    if (ret != QOV_SUCCESS)
        return ret;
    const size_t width = imageSize[0], pairs = imageSize[1] / 2;
    // Three samples a word; only words inside the stride are read, and a row
    // they do not fill keeps its zeros.
    const size_t available = 3 * (stride / 4);
    const size_t cells = (width / 2 < available / 2) ? width / 2 : available / 2;
    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    QOV_UINT16 *out = static_cast<QOV_UINT16 *>(*pOutput);
    for (size_t l = 0; l < pairs; l++) {
        const QOV_UINT8 *even = in + 2 * l * stride;
        writeCells(out + l * 2 * width, cells, even, even + stride, sample10);
    }
    return QOV_SUCCESS;
}

QOV_RESULT convertToPlanarBayer12(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride, void **pOutput,
                                  QOV_SIZE *pOutsize)
{
    QOV_RESULT ret = checkShape(imageSize, pInput, pOutput, pOutsize, true, stride);
    if (ret == QOV_SUCCESS)
        ret = allocWordOutput(imageSize, 2, pOutput, pOutsize);
    if (ret != QOV_SUCCESS)
        return ret;
    const size_t width = imageSize[0], pairs = imageSize[1] / 2;
    // Eight samples in three words; only whole samples inside the stride count.
    const size_t available = (stride * 8) / 12;
    const size_t cells = (width / 2 < available / 2) ? width / 2 : available / 2;
    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    QOV_UINT16 *out = static_cast<QOV_UINT16 *>(*pOutput);
    for (size_t l = 0; l < pairs; l++) {
        const QOV_UINT8 *even = in + 2 * l * stride;
        writeCells(out + l * 2 * width, cells, even, even + stride, sample12);
        if (4 * cells != 2 * width) {
            LOG_ERROR("did not save the correct number of pixels %d vs %d\n", static_cast<int>(4 * cells),
                      static_cast<int>(2 * width));
            return QOV_ERROR_FAILURE;
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT convertToPlanarBayerTiff10(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                      void **pOutput, QOV_SIZE *pOutsize)
{
    QOV_RESULT ret = checkShape(imageSize, pInput, pOutput, pOutsize, false, stride);
    if (ret != QOV_SUCCESS)
        return ret;
    const size_t width = imageSize[0], height = imageSize[1];
    const size_t groups = (width + 3) / 4;
    ret = checkTiffStride(stride, 5 * groups, imageSize[0]);
    if (ret != QOV_SUCCESS)
        return ret;
    *pOutsize = width * height * 2;
    QOV_UINT16 *out = static_cast<QOV_UINT16 *>(malloc(*pOutsize ? *pOutsize : 1));
    if (!out) {
        LOG_ERROR("*pOutput is NULL\n");
        return QOV_ERROR_NO_MEMORY;
    }
    *pOutput = out;
    if (height < 2)
        return QOV_SUCCESS;
    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    for (size_t l = 0; l < height / 2; l++) {
        const QOV_UINT8 *even, *odd;
        ret = tiffLineStarts(in, height, stride, l, &even, &odd);
        if (ret != QOV_SUCCESS)
            return ret;
        QOV_UINT16 *row = out + l * 2 * width;
        size_t cell = 0;
        for (size_t g = 0; g < groups; g++) {
            QOV_UINT16 e[4], o[4];
            const QOV_UINT8 *b = even + 5 * g, *c = odd + 5 * g;
            e[0] = static_cast<QOV_UINT16>(b[0] * 4 + (b[1] >> 6));
            e[1] = static_cast<QOV_UINT16>((b[1] & 0x3F) * 16 + (b[2] >> 4));
            e[2] = static_cast<QOV_UINT16>((b[2] & 0x0F) * 64 + (b[3] >> 2));
            e[3] = static_cast<QOV_UINT16>((b[3] & 3) * 256 + b[4]);
            o[0] = static_cast<QOV_UINT16>(c[0] * 4 + (c[1] >> 6));
            o[1] = static_cast<QOV_UINT16>((c[1] & 0x3F) * 16 + (c[2] >> 4));
            o[2] = static_cast<QOV_UINT16>((c[2] & 0x0F) * 64 + (c[3] >> 2));
            o[3] = static_cast<QOV_UINT16>((c[3] & 3) * 256 + c[4]);
            for (int half = 0; half < 2 && cell < width / 2; half++, cell++) {
                row[4 * cell] = e[2 * half];
                row[4 * cell + 1] = e[2 * half + 1];
                row[4 * cell + 2] = o[2 * half];
                row[4 * cell + 3] = o[2 * half + 1];
            }
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT convertToPlanarBayerTiff12(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                      void **pOutput, QOV_SIZE *pOutsize)
{
    QOV_RESULT ret = checkShape(imageSize, pInput, pOutput, pOutsize, false, stride);
    if (ret != QOV_SUCCESS)
        return ret;
    const size_t width = imageSize[0], height = imageSize[1];
    const size_t groups = width / 2;
    ret = checkTiffStride(stride, 3 * groups, imageSize[0]);
    if (ret != QOV_SUCCESS)
        return ret;
    *pOutsize = width * height * 2;
    QOV_UINT16 *out = static_cast<QOV_UINT16 *>(malloc(*pOutsize ? *pOutsize : 1));
    if (!out) {
        LOG_ERROR("*pOutput is NULL\n");
        return QOV_ERROR_NO_MEMORY;
    }
    *pOutput = out;
    if (height < 2)
        return QOV_SUCCESS;
    const QOV_UINT8 *in = static_cast<const QOV_UINT8 *>(pInput);
    for (size_t l = 0; l < height / 2; l++) {
        const QOV_UINT8 *even, *odd;
        ret = tiffLineStarts(in, height, stride, l, &even, &odd);
        if (ret != QOV_SUCCESS)
            return ret;
        QOV_UINT16 *row = out + l * 2 * width;
        for (size_t g = 0; g < groups; g++) {
            const QOV_UINT8 *b = even + 3 * g, *c = odd + 3 * g;
            row[4 * g] = static_cast<QOV_UINT16>(b[0] * 16 + (b[1] >> 4));
            row[4 * g + 1] = static_cast<QOV_UINT16>((b[1] & 0x0F) * 256 + b[2]);
            row[4 * g + 2] = static_cast<QOV_UINT16>(c[0] * 16 + (c[1] >> 4));
            row[4 * g + 3] = static_cast<QOV_UINT16>((c[1] & 0x0F) * 256 + c[2]);
        }
    }
    return QOV_SUCCESS;
}

QOV_RESULT convertToPlanarBayer(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                QOV_UINT8 uiBayerDepth, void **pOutput, QOV_SIZE *pOutsize)
{
    switch (uiBayerDepth) {
    case 8:
        return convertToPlanarBayer8(imageSize, pInput, stride, pOutput, pOutsize);
    case 10:
        return convertToPlanarBayer10(imageSize, pInput, stride, pOutput, pOutsize);
    case 12:
        return convertToPlanarBayer12(imageSize, pInput, stride, pOutput, pOutsize);
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
}

QOV_RESULT convertToPlanarBayerTiff(const QOV_UINT16 imageSize[2], const void *pInput, QOV_SIZE stride,
                                    QOV_UINT8 uiBayerDepth, void **pOutput, QOV_SIZE *pOutsize)
{
    switch (uiBayerDepth) {
    case 10:
        return convertToPlanarBayerTiff10(imageSize, pInput, stride, pOutput, pOutsize);
    case 12:
        return convertToPlanarBayerTiff12(imageSize, pInput, stride, pOutput, pOutsize);
    default:
        return QOV_ERROR_NOT_SUPPORTED;
    }
}
