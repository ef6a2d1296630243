// Image metadata (an ordered list of named text values) and a bit-field stream.
#ifndef SIM_IMAGE_METADATA_H
#define SIM_IMAGE_METADATA_H

#include "qov_types.h"

// What an addition does when an item of the same name already exists.
enum whatIfExistsEnum {
    IFEX_FAIL = 0,     // nothing changes, the addition answers false
    IFEX_REPLACE = 1,  // the first item's value becomes the new value
    IFEX_APPEND = 2,   // the first item's value becomes old + separator + new
    IFEX_IGNORE = 3,   // a new item is appended even if the name exists
};

typedef struct metaDataItemStr {
    char *name;  // owned; compared without regard to case
    char *sVal;  // owned; never null
    struct metaDataItemStr *next;
} MDITEM;

// Items keep the order in which they were added; a name may occur more than once
// and every lookup finds its first occurrence. A length below 0 means the whole
// zero-terminated text.
class CMetaData {
public:
    MDITEM *list;

    CMetaData();
    ~CMetaData();
    CMetaData(const CMetaData &) = delete;
    CMetaData &operator=(const CMetaData &) = delete;

    void Unload();

    QOV_INT32 GetNItems() const;
    MDITEM *GetMetaAt(QOV_INT32 index) const;
    const char *GetMetaName(QOV_INT32 index) const;
    MDITEM *Find(const char *name, QOV_INT32 prefixLen = -1) const;

    bool Add(const char *name, QOV_INT32 nameLen, const char *value, QOV_INT32 valueLen,
             whatIfExistsEnum whatIfExists, const char *separatorOnAppend);
    bool Add(const MDITEM *pItem);
    bool UpdateStr(const char *fieldName, const char *newValue, whatIfExistsEnum whatIfExists = IFEX_REPLACE);
    bool UpdateStrFmt(const char *fieldName, whatIfExistsEnum whatIfExists, const char *newValueFmt, ...)
        __attribute__((format(printf, 4, 5)));
    bool UpdateInt(const char *fieldName, QOV_INT32 newValue, whatIfExistsEnum whatIfExists = IFEX_REPLACE);
    bool UpdateDouble(const char *fieldName, double newValue, whatIfExistsEnum whatIfExists = IFEX_REPLACE);

    // Reads one "name=value" line (ended by a line feed or the end of the text)
    // and adds it. The name ends at the first '=' so that a value may hold '='.
    // Returns where the next line starts, or null (nothing added) for an empty
    // line, a line without '=' or a refused addition.
    const char *AddFromString(const char *str, whatIfExistsEnum whatIfExists, const char *separatorOnAppend);

    const char *GetMetaStr(const char *name, const char *defVal) const;
    QOV_INT32 GetMetaInt(const char *name, QOV_INT32 defVal, QOV_INT32 index, bool extendLast) const;
    QOV_INT32 GetMetaInt(const char *name) const;
    double GetMetaDouble(const char *name, double defVal, QOV_INT32 index, bool extendLast) const;
    QOV_INT32 GetMetaValCount(const char *name) const;
    // enumStrings: zero-terminated texts one after the other, ended by an empty text.
    QOV_INT32 GetMetaEnum(const char *name, QOV_INT32 defVal, const char *enumStrings) const;
    const char *GetMetaSubStr(const char *name, const char *defVal, QOV_INT32 index, QOV_INT32 *pLen,
                              char separator) const;

    bool UpdateSubItem(const char *name, QOV_INT32 nameLen, QOV_INT32 subIndex, const char *value,
                       QOV_INT32 valueLen, char separator);
    bool UpdateSubStr(const char *fieldName, QOV_INT32 subIndex, const char *newValue, char separator);
    bool UpdateSubStrFmt(const char *fieldName, QOV_INT32 subIndex, char separator, const char *newValueFmt, ...)
        __attribute__((format(printf, 5, 6)));
    bool UpdateSubInt(const char *fieldName, QOV_INT32 subIndex, QOV_INT32 newValue, char separator);
    bool UpdateSubDouble(const char *fieldName, QOV_INT32 subIndex, double newValue, char separator);

    void Del(MDITEM *pItem);
    bool Rename(MDITEM *pItem, const char *newName);
    bool Rename(const char *fieldName, const char *newName);
    bool CopyFrom(const CMetaData *pOther);
    bool MergeFrom(const CMetaData *pOther, whatIfExistsEnum whatIfExists);
    void SwapWith(CMetaData *pOther);

private:
    MDITEM *m_tail;  // last item, so that reading a long section appends in constant time

    bool appendNew(const char *name, QOV_INT32 nameLen, const char *value, QOV_INT32 valueLen);
    const char *valueToken(const char *name, QOV_INT32 index, bool extendLast) const;
};

// Bit fields of 1 to 32 bits in a byte buffer, least significant bit first.
class CBitStreamRW {
public:
    QOV_UINT8 *pStream;  // the byte being read or written
    QOV_UINT8 bitPos;    // bits of that byte already used (0 to 7)

    CBitStreamRW() : pStream(nullptr), bitPos(0) {}

    void SetPos(QOV_UINT8 *pStreamData);
    QOV_UINT32 ReadBitsUns(QOV_INT8 Nbits);
    QOV_INT32 ReadBitsSig(QOV_INT8 Nbits);
    // A write that starts on a byte boundary clears that byte first.
    void WriteBitsUns(QOV_UINT32 val, QOV_INT8 Nbits);
    void WriteBitsSig(QOV_INT32 val, QOV_INT8 Nbits);
    void AdvanceToByteBoundary();
};

#endif
