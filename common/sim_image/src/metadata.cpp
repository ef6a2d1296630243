#include "sim_image/metadata.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

const int kFormatBufferSize = 500;

char *copyText(const char *text, size_t len)
{
    char *copy = static_cast<char *>(malloc(len + 1));
    if (!copy)
        return nullptr;
    if (len)
        memcpy(copy, text, len);
    copy[len] = '\0';
    return copy;
}

size_t textLen(const char *text, QOV_INT32 len)
{
    if (!text)
        return 0;
    return len < 0 ? strlen(text) : static_cast<size_t>(len);
}

void freeItem(MDITEM *item)
{
    free(item->name);
    free(item->sVal);
    free(item);
}

// Prints a double as "%.10lf" without trailing zeros or a trailing point.
void formatDouble(char (&buf)[kFormatBufferSize], double value)
{
    snprintf(buf, sizeof(buf), "%.10lf", value);
    if (strchr(buf, '.')) {
        size_t n = strlen(buf);
        while (n > 0 && buf[n - 1] == '0')
            buf[--n] = '\0';
        if (n > 0 && buf[n - 1] == '.')
            buf[--n] = '\0';
    }
    if (buf[0] == '\0')
        snprintf(buf, sizeof(buf), "0");
}

bool isBlank(char c)
{
    return isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

CMetaData::CMetaData() : list(nullptr), m_tail(nullptr) {}

CMetaData::~CMetaData()
{
    Unload();
}

void CMetaData::Unload()
{
    MDITEM *item = list;
    while (item) {
        MDITEM *next = item->next;
        freeItem(item);
        item = next;
    }
    list = nullptr;
    m_tail = nullptr;
}

QOV_INT32 CMetaData::GetNItems() const
{
    QOV_INT32 n = 0;
    for (const MDITEM *item = list; item; item = item->next)
        n++;
    return n;
}

MDITEM *CMetaData::GetMetaAt(QOV_INT32 index) const
{
    MDITEM *item = list;
    for (QOV_INT32 i = 0; item && i < index; i++)
        item = item->next;
    return item;
}

const char *CMetaData::GetMetaName(QOV_INT32 index) const
{
    const MDITEM *item = GetMetaAt(index);
    return item ? item->name : nullptr;
}

MDITEM *CMetaData::Find(const char *name, QOV_INT32 prefixLen) const
{
    if (!name)
        return nullptr;
    const size_t len = textLen(name, prefixLen);
    for (MDITEM *item = list; item; item = item->next) {
        if (strlen(item->name) == len && strncasecmp(item->name, name, len) == 0)
            return item;
    }
    return nullptr;
}

bool CMetaData::appendNew(const char *name, QOV_INT32 nameLen, const char *value, QOV_INT32 valueLen)
{
    MDITEM *item = static_cast<MDITEM *>(malloc(sizeof(MDITEM)));
    if (!item)
        return false;
    item->name = copyText(name, textLen(name, nameLen));
    item->sVal = copyText(value ? value : "", textLen(value, valueLen));
    item->next = nullptr;
    if (!item->name || !item->sVal) {
        freeItem(item);
        return false;
    }
    if (m_tail)
        m_tail->next = item;
    else
        list = item;
    m_tail = item;
    return true;
}

bool CMetaData::Add(const char *name, QOV_INT32 nameLen, const char *value, QOV_INT32 valueLen,
                    whatIfExistsEnum whatIfExists, const char *separatorOnAppend)
{
    if (!name)
        return false;
    if (whatIfExists == IFEX_IGNORE)
        return appendNew(name, nameLen, value, valueLen);

    MDITEM *item = Find(name, static_cast<QOV_INT32>(textLen(name, nameLen)));
    if (!item)
        return appendNew(name, nameLen, value, valueLen);

    const size_t vlen = textLen(value, valueLen);
    const char *v = value ? value : "";
    switch (whatIfExists) {
    case IFEX_FAIL:
        return false;
    case IFEX_REPLACE: {
        if (strlen(item->sVal) == vlen && strncmp(item->sVal, v, vlen) == 0)
            return true;
        char *copy = copyText(v, vlen);
        if (!copy)
            return false;
        free(item->sVal);
        item->sVal = copy;
        return true;
    }
    case IFEX_APPEND: {
        const char *sep = separatorOnAppend ? separatorOnAppend : "";
        const size_t oldLen = strlen(item->sVal);
        const size_t sepLen = strlen(sep);
        char *joined = static_cast<char *>(malloc(oldLen + sepLen + vlen + 1));
        if (!joined)
            return false;
        memcpy(joined, item->sVal, oldLen);
        memcpy(joined + oldLen, sep, sepLen);
        if (vlen)
            memcpy(joined + oldLen + sepLen, v, vlen);
        joined[oldLen + sepLen + vlen] = '\0';
        free(item->sVal);
        item->sVal = joined;
        return true;
    }
    default:
        return false;
    }
}

bool CMetaData::Add(const MDITEM *pItem)
{
    if (!pItem)
        return false;
    return Add(pItem->name, -1, pItem->sVal, -1, IFEX_REPLACE, " ");
}

bool CMetaData::UpdateStr(const char *fieldName, const char *newValue, whatIfExistsEnum whatIfExists)
{
    return Add(fieldName, -1, newValue, -1, whatIfExists, " ");
}

bool CMetaData::UpdateStrFmt(const char *fieldName, whatIfExistsEnum whatIfExists, const char *newValueFmt, ...)
{
    char buf[kFormatBufferSize];
    va_list args;
    va_start(args, newValueFmt);
    vsnprintf(buf, sizeof(buf), newValueFmt, args);
    va_end(args);
    return UpdateStr(fieldName, buf, whatIfExists);
}

bool CMetaData::UpdateInt(const char *fieldName, QOV_INT32 newValue, whatIfExistsEnum whatIfExists)
{
    return UpdateStrFmt(fieldName, whatIfExists, "%d", newValue);
}

bool CMetaData::UpdateDouble(const char *fieldName, double newValue, whatIfExistsEnum whatIfExists)
{
    char buf[kFormatBufferSize];
    formatDouble(buf, newValue);
    return UpdateStr(fieldName, buf, whatIfExists);
}

const char *CMetaData::AddFromString(const char *str, whatIfExistsEnum whatIfExists, const char *separatorOnAppend)
{
    if (!str)
        return nullptr;
    const char *lineEnd = strchr(str, '\n');
    const size_t len = lineEnd ? static_cast<size_t>(lineEnd - str) : strlen(str);
    if (len == 0)
        return nullptr;
    const char *eq = static_cast<const char *>(memchr(str, '=', len));
    if (!eq)
        return nullptr;
    const QOV_INT32 nameLen = static_cast<QOV_INT32>(eq - str);
    const QOV_INT32 valueLen = static_cast<QOV_INT32>(len) - nameLen - 1;
    if (!Add(str, nameLen, eq + 1, valueLen, whatIfExists, separatorOnAppend))
        return nullptr;
    return lineEnd ? lineEnd + 1 : str + len;
}

const char *CMetaData::GetMetaStr(const char *name, const char *defVal) const
{
    const MDITEM *item = Find(name);
    return item ? item->sVal : defVal;
}

// Token number index of the value split at white space; the last one when the
// value has fewer and extendLast is set; null when there is none.
const char *CMetaData::valueToken(const char *name, QOV_INT32 index, bool extendLast) const
{
    const MDITEM *item = Find(name);
    if (!item || index < 0)
        return nullptr;
    const char *p = item->sVal;
    const char *last = nullptr;
    QOV_INT32 i = 0;
    while (*p) {
        while (*p && isBlank(*p))
            p++;
        if (!*p)
            break;
        if (i == index)
            return p;
        last = p;
        i++;
        while (*p && !isBlank(*p))
            p++;
    }
    return extendLast ? last : nullptr;
}

QOV_INT32 CMetaData::GetMetaInt(const char *name, QOV_INT32 defVal, QOV_INT32 index, bool extendLast) const
{
    const char *token = valueToken(name, index, extendLast);
    if (!token)
        return defVal;
    char *end = nullptr;
    errno = 0;
    const long long v = strtoll(token, &end, 10);
    if (end == token)
        return defVal;
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<QOV_INT32>(v);
}

QOV_INT32 CMetaData::GetMetaInt(const char *name) const
{
    return GetMetaInt(name, INT_MAX, 0, false);
}

double CMetaData::GetMetaDouble(const char *name, double defVal, QOV_INT32 index, bool extendLast) const
{
    const char *token = valueToken(name, index, extendLast);
    if (!token)
        return defVal;
    char *end = nullptr;
    const double v = strtod(token, &end);
    return end == token ? defVal : v;
}

QOV_INT32 CMetaData::GetMetaValCount(const char *name) const
{
    const MDITEM *item = Find(name);
    if (!item)
        return 0;
    QOV_INT32 n = 0;
    const char *p = item->sVal;
    while (*p) {
        while (*p && isBlank(*p))
            p++;
        if (!*p)
            break;
        n++;
        while (*p && !isBlank(*p))
            p++;
    }
    return n;
}

QOV_INT32 CMetaData::GetMetaEnum(const char *name, QOV_INT32 defVal, const char *enumStrings) const
{
    const MDITEM *item = Find(name);
    if (!item || !enumStrings)
        return defVal;
    QOV_INT32 i = 0;
    for (const char *s = enumStrings; *s; s += strlen(s) + 1, i++) {
        if (strcasecmp(s, item->sVal) == 0)
            return i;
    }
    return defVal;
}

const char *CMetaData::GetMetaSubStr(const char *name, const char *defVal, QOV_INT32 index, QOV_INT32 *pLen,
                                     char separator) const
{
    const MDITEM *item = Find(name);
    if (!item) {
        if (pLen)
            *pLen = defVal ? static_cast<QOV_INT32>(strlen(defVal)) : 0;
        return defVal;
    }
    if (index < 0)
        return nullptr;
    const char *p = item->sVal;
    for (QOV_INT32 i = 0; i < index; i++) {
        p = strchr(p, separator);
        if (!p || separator == '\0')
            return nullptr;
        p++;
    }
    while (*p && *p != separator && isBlank(*p))
        p++;
    const char *end = separator ? strchr(p, separator) : nullptr;
    if (pLen)
        *pLen = static_cast<QOV_INT32>(end ? end - p : static_cast<QOV_INT32>(strlen(p)));
    return p;
}

bool CMetaData::UpdateSubItem(const char *name, QOV_INT32 nameLen, QOV_INT32 subIndex, const char *value,
                              QOV_INT32 valueLen, char separator)
{
    if (!name || subIndex < 0)
        return false;
    MDITEM *item = Find(name, static_cast<QOV_INT32>(textLen(name, nameLen)));
    if (!item) {
        if (!Add(name, nameLen, "", 0, IFEX_IGNORE, nullptr))
            return false;
        item = Find(name, static_cast<QOV_INT32>(textLen(name, nameLen)));
        if (!item)
            return false;
    }
    const char *v = value ? value : "";
    const size_t vlen = textLen(value, valueLen);
    const char *old = item->sVal;
    const size_t oldLen = strlen(old);

    size_t start = 0;
    while (start < oldLen && old[start] == separator)
        start++;
    size_t count = 1;
    for (size_t i = start; i < oldLen; i++)
        if (old[i] == separator)
            count++;

    if (count <= static_cast<size_t>(subIndex)) {
        // Extend: the separator and the new value for every missing sub-item.
        const size_t add = (static_cast<size_t>(subIndex) - count + 1) * (1 + vlen);
        char *grown = static_cast<char *>(malloc(oldLen + add + 1));
        if (!grown)
            return false;
        memcpy(grown, old, oldLen);
        size_t pos = oldLen;
        for (size_t k = count; k <= static_cast<size_t>(subIndex); k++) {
            grown[pos++] = separator;
            memcpy(grown + pos, v, vlen);
            pos += vlen;
        }
        grown[pos] = '\0';
        free(item->sVal);
        item->sVal = grown;
        return true;
    }

    // Locate the sub-item and the separator before it.
    size_t pos = start;
    size_t sepPos = 0;
    bool hasSep = false;
    for (QOV_INT32 k = 0; k < subIndex; k++) {
        const char *s = static_cast<const char *>(memchr(old + pos, separator, oldLen - pos));
        if (!s) {
            // Runs of separators count more sub-items than the walk finds: the
            // missing one is an empty sub-item after the whole value.
            sepPos = oldLen;
            hasSep = true;
            pos = oldLen;
            break;
        }
        sepPos = static_cast<size_t>(s - old);
        hasSep = true;
        pos = sepPos + 1;
        while (pos < oldLen && old[pos] == separator)
            pos++;
    }
    const char *endSep = static_cast<const char *>(memchr(old + pos, separator, oldLen - pos));
    const size_t end = endSep ? static_cast<size_t>(endSep - old) : oldLen;

    if (end - pos == vlen) {
        memcpy(item->sVal + pos, v, vlen);
        return true;
    }
    const size_t prefix = hasSep ? sepPos : pos;
    char *rebuilt = static_cast<char *>(malloc(prefix + 1 + vlen + (oldLen - end) + 1));
    if (!rebuilt)
        return false;
    size_t n = 0;
    memcpy(rebuilt, old, prefix);
    n += prefix;
    if (hasSep)
        rebuilt[n++] = separator;
    memcpy(rebuilt + n, v, vlen);
    n += vlen;
    memcpy(rebuilt + n, old + end, oldLen - end);
    n += oldLen - end;
    rebuilt[n] = '\0';
    free(item->sVal);
    item->sVal = rebuilt;
    return true;
}

bool CMetaData::UpdateSubStr(const char *fieldName, QOV_INT32 subIndex, const char *newValue, char separator)
{
    return UpdateSubItem(fieldName, -1, subIndex, newValue, -1, separator);
}

bool CMetaData::UpdateSubStrFmt(const char *fieldName, QOV_INT32 subIndex, char separator, const char *newValueFmt,
                                ...)
{
    char buf[kFormatBufferSize];
    va_list args;
    va_start(args, newValueFmt);
    vsnprintf(buf, sizeof(buf), newValueFmt, args);
    va_end(args);
    return UpdateSubStr(fieldName, subIndex, buf, separator);
}

bool CMetaData::UpdateSubInt(const char *fieldName, QOV_INT32 subIndex, QOV_INT32 newValue, char separator)
{
    return UpdateSubStrFmt(fieldName, subIndex, separator, "%d", newValue);
}

bool CMetaData::UpdateSubDouble(const char *fieldName, QOV_INT32 subIndex, double newValue, char separator)
{
    char buf[kFormatBufferSize];
    formatDouble(buf, newValue);
    return UpdateSubStr(fieldName, subIndex, buf, separator);
}

void CMetaData::Del(MDITEM *pItem)
{
    if (!pItem)
        return;
    MDITEM *prev = nullptr;
    for (MDITEM *item = list; item; prev = item, item = item->next) {
        if (item != pItem)
            continue;
        if (prev)
            prev->next = item->next;
        else
            list = item->next;
        if (m_tail == item)
            m_tail = prev;
        freeItem(item);
        return;
    }
}

bool CMetaData::Rename(MDITEM *pItem, const char *newName)
{
    if (!pItem || !newName)
        return false;
    char *copy = copyText(newName, strlen(newName));
    if (!copy)
        return false;
    free(pItem->name);
    pItem->name = copy;
    return true;
}

bool CMetaData::Rename(const char *fieldName, const char *newName)
{
    if (!fieldName || !newName)
        return false;
    const size_t len = strlen(fieldName);
    for (MDITEM *item = list; item; item = item->next) {
        if (strlen(item->name) == len && strncasecmp(item->name, fieldName, len) == 0)
            Rename(item, newName);
    }
    return true;
}

bool CMetaData::CopyFrom(const CMetaData *pOther)
{
    if (!pOther)
        return false;
    if (pOther == this)
        return true;
    Unload();
    for (const MDITEM *item = pOther->list; item; item = item->next)
        Add(item);
    return true;
}

bool CMetaData::MergeFrom(const CMetaData *pOther, whatIfExistsEnum whatIfExists)
{
    if (!pOther || pOther == this)
        return true;
    if (whatIfExists == IFEX_REPLACE) {
        MDITEM *item = list;
        while (item) {
            MDITEM *next = item->next;
            if (pOther->Find(item->name))
                Del(item);
            item = next;
        }
        for (const MDITEM *o = pOther->list; o; o = o->next)
            appendNew(o->name, -1, o->sVal, -1);
        return true;
    }
    for (const MDITEM *o = pOther->list; o; o = o->next)
        Add(o->name, -1, o->sVal, -1, whatIfExists, " ");
    return true;
}

void CMetaData::SwapWith(CMetaData *pOther)
{
    if (!pOther)
        return;
    MDITEM *l = list;
    list = pOther->list;
    pOther->list = l;
    MDITEM *t = m_tail;
    m_tail = pOther->m_tail;
    pOther->m_tail = t;
}

// ---------------------------------------------------------------------------

void CBitStreamRW::SetPos(QOV_UINT8 *pStreamData)
{
    pStream = pStreamData;
    bitPos = 0;
}

// Only the bytes that hold bits of the field are touched.
QOV_UINT32 CBitStreamRW::ReadBitsUns(QOV_INT8 Nbits)
{
    if (Nbits < 1 || Nbits > 32 || !pStream)
        return 0;
    QOV_UINT64 value = 0;
    int got = 0;
    while (got < Nbits) {
        const int take = (8 - bitPos < Nbits - got) ? 8 - bitPos : Nbits - got;
        const QOV_UINT32 bits = (static_cast<QOV_UINT32>(*pStream) >> bitPos) & ((1u << take) - 1u);
        value |= static_cast<QOV_UINT64>(bits) << got;
        got += take;
        bitPos = static_cast<QOV_UINT8>(bitPos + take);
        if (bitPos == 8) {
            pStream++;
            bitPos = 0;
        }
    }
    return static_cast<QOV_UINT32>(value);
}

QOV_INT32 CBitStreamRW::ReadBitsSig(QOV_INT8 Nbits)
{
    const QOV_UINT32 v = ReadBitsUns(Nbits);
    if (Nbits < 1 || Nbits >= 32)
        return static_cast<QOV_INT32>(v);
    const QOV_UINT32 sign = 1u << (Nbits - 1);
    return static_cast<QOV_INT32>((v ^ sign) - sign);
}

void CBitStreamRW::WriteBitsUns(QOV_UINT32 val, QOV_INT8 Nbits)
{
    if (Nbits < 1 || Nbits > 32 || !pStream)
        return;
    int done = 0;
    while (done < Nbits) {
        if (bitPos == 0)
            *pStream = 0;
        const int take = (8 - bitPos < Nbits - done) ? 8 - bitPos : Nbits - done;
        const QOV_UINT32 bits = (val >> done) & ((1u << take) - 1u);
        *pStream = static_cast<QOV_UINT8>(*pStream | (bits << bitPos));
        done += take;
        bitPos = static_cast<QOV_UINT8>(bitPos + take);
        if (bitPos == 8) {
            pStream++;
            bitPos = 0;
        }
    }
}

void CBitStreamRW::WriteBitsSig(QOV_INT32 val, QOV_INT8 Nbits)
{
    WriteBitsUns(static_cast<QOV_UINT32>(val), Nbits);
}

void CBitStreamRW::AdvanceToByteBoundary()
{
    if (bitPos != 0) {
        pStream++;
        bitPos = 0;
    }
}
