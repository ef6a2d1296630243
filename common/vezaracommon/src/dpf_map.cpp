#include "vezaracommon/dpf_map.h"

#include "vezaracommon/userlog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#define LOG_TAG "DPF_OUT"

// The reader's helper logs under the name of the public function.
#define LOAD_ERROR(...) LOG_Error("DPF_Load_bin", __LINE__, LOG_TAG, __VA_ARGS__)

namespace {

const QOV_UINT32 DPF_INITIAL_CAPACITY = 1024;  // pairs
const size_t PAIR_BYTES = 2 * sizeof(QOV_UINT16);

// Reads every word of the file into a growing array of pairs.
// On success *ppPairs holds *pCount pairs; on failure nothing is held.
QOV_RESULT readPairs(FILE *pFile, QOV_UINT16 **ppPairs, QOV_UINT32 *pCount)
{
    QOV_UINT32 capacity = DPF_INITIAL_CAPACITY;
    QOV_UINT16 *pPairs = static_cast<QOV_UINT16 *>(malloc(capacity * PAIR_BYTES));
    if (!pPairs)
    {
        LOAD_ERROR("failed to allocate intermediate map.\n");
        return QOV_ERROR_NO_MEMORY;
    }

    QOV_UINT32 count = 0;
    unsigned char bytes[4];
    // A trailing piece shorter than a word is ignored.
    while (fread(bytes, 1, sizeof(bytes), pFile) == sizeof(bytes))
    {
        const QOV_UINT32 word = bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                static_cast<QOV_UINT32>(bytes[3]) << 24;
        if (word & DPF_CORRUPT_MASK)
        {
            LOAD_ERROR("binary is corrupted at DPF correction %d (offset=0x%x): coord=0x%08x (coord "
                      "mask=0x%08x)\n",
                      static_cast<int>(count), count * 4u, word, DPF_COORD_MASK);
            free(pPairs);
            return QOV_ERROR_TIMEOUT;
        }
        if (count == capacity)
        {
            // The byte count of the message must fit its 32-bit field.
            const QOV_UINT32 newCapacity = capacity <= 0x3FFFFFFFu / 2 ? capacity * 2 : 0;
            QOV_UINT16 *pGrown =
                newCapacity ? static_cast<QOV_UINT16 *>(realloc(pPairs, newCapacity * PAIR_BYTES))
                            : nullptr;
            if (!pGrown)
            {
                LOAD_ERROR("failed to allocate intermediate map (%u Bytes).\n",
                          newCapacity ? newCapacity * 4u : 0xFFFFFFFFu);
                free(pPairs);
                return QOV_ERROR_NO_MEMORY;
            }
            pPairs = pGrown;
            capacity = newCapacity;
        }
        pPairs[2 * count] = static_cast<QOV_UINT16>(word & 0x1fff);
        pPairs[2 * count + 1] = static_cast<QOV_UINT16>((word >> 16) & 0x1fff);
        count++;
    }

    if (ferror(pFile))
    {
        LOAD_ERROR("failed to read DPF map after %u corrections\n", count);
        free(pPairs);
        return QOV_ERROR_FAILURE;
    }
    *ppPairs = pPairs;
    *pCount = count;
    return QOV_SUCCESS;
}

}  // namespace

QOV_RESULT DPF_Load_bin(QOV_UINT16 **ppDefect, QOV_UINT32 *pNDefects, const char *pszFilename)
{
    if (!ppDefect || !pNDefects || !pszFilename)
        return QOV_ERROR_INVALID_ARGUMENT;
    if (*ppDefect)
        return QOV_ERROR_ALREADY_EXISTS;

    FILE *pFile = fopen(pszFilename, "rb");
    if (!pFile)
    {
        LOG_ERROR("failed to open %s!\n", pszFilename);
        return QOV_ERROR_FAILURE;
    }
    QOV_UINT16 *pPairs = nullptr;
    QOV_UINT32 count = 0;
    QOV_RESULT ret = readPairs(pFile, &pPairs, &count);
    fclose(pFile);
    if (ret != QOV_SUCCESS)
        return ret;

    // At least one pair is allocated so that an empty map is still a map the
    // caller owns and frees.
    QOV_UINT16 *pResult =
        static_cast<QOV_UINT16 *>(malloc((count ? count : 1) * PAIR_BYTES));
    if (!pResult)
    {
        LOG_ERROR("failed to allocate DPF map for MC\n");
        free(pPairs);
        return QOV_ERROR_NO_MEMORY;
    }
    memcpy(pResult, pPairs, count * PAIR_BYTES);
    free(pPairs);

    *ppDefect = pResult;
    *pNDefects = count;
    LOG_INFO("INFO: Using DPF input map %s with %d elements\n", pszFilename,
             static_cast<int>(count));
    return QOV_SUCCESS;
}
