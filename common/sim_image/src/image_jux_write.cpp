// JUX files: writing, save formats, conversion and exchange.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>

#include "jux_private.h"

using namespace jux;

namespace {

const int kHeaderSize = 64;
const QOV_INT64 kMaxTableValue = 9999999999999LL;  // 13 decimal digits

// Keys that older files carry and that are never written.
const char *const kDroppedKeys[] = {"SUBSAMPLING",       "ISO_GAIN",          "SENSOR_DENSITY",
                                    "GAMMA_BLACK_POINT", "GAMMA_WHITE_POINT", "CHANNEL_NOMINAL_RANGE"};

const char *modelName(colorModelEnum model)
{
    switch (model) {
    case CM_GRAY:
        return "Grayscale";
    case CM_RGB:
        return "RGB";
    case CM_RGBA:
        return "RGBA";
    case CM_RGGB:
        return "RGGB";
    case CM_RGBW:
        return "RGBW";
    case CM_YUV:
        return "YUV";
    case CM_YUVA:
        return "YUVA";
    default:
        return nullptr;
    }
}

// An exact copy, duplicates kept: readers use the first of several items of a
// name, so the first one is what a written file must carry.
void copyItems(CMetaData *pDst, const CMetaData *pSrc)
{
    if (pDst == pSrc)
        return;
    pDst->Unload();
    for (const MDITEM *item = pSrc->list; item; item = item->next)
        pDst->Add(item->name, -1, item->sVal, -1, IFEX_IGNORE, nullptr);
}

void deleteAll(CMetaData *pMD, const char *name)
{
    while (MDITEM *item = pMD->Find(name))
        pMD->Del(item);
}

void storeContainer(QOV_UINT8 *p, QOV_UINT32 v, int bytes)
{
    p[0] = static_cast<QOV_UINT8>(v);
    if (bytes >= 2)
        p[1] = static_cast<QOV_UINT8>(v >> 8);
    if (bytes == 4) {
        p[2] = static_cast<QOV_UINT8>(v >> 16);
        p[3] = static_cast<QOV_UINT8>(v >> 24);
    }
}

// Clamped to the range of the channel's bit depth, then placed in its container.
QOV_UINT32 encodeUnpacked(PIXEL value, int bytes, QOV_UINT8 bitDepth, bool isSigned, bool leftAligned)
{
    const int cbits = bytes * 8;
    const int n = bitDepth > cbits ? cbits : bitDepth;
    QOV_INT64 lo = 0, hi = 0;
    if (n > 0) {
        lo = isSigned ? -(QOV_INT64(1) << (n - 1)) : 0;
        hi = isSigned ? (QOV_INT64(1) << (n - 1)) - 1 : (QOV_INT64(1) << n) - 1;
    }
    // A 32-bit unsigned sample is held in the signed pixel by its bits (as
    // the reader leaves it): values from 2^31 up read negative.
    QOV_INT64 v = (!isSigned && n == 32) ? static_cast<QOV_INT64>(static_cast<QOV_UINT32>(value)) : value;
    if (v < lo)
        v = lo;
    if (v > hi)
        v = hi;
    QOV_UINT64 bits = static_cast<QOV_UINT64>(v);
    if (n < 64)
        bits &= (QOV_UINT64(1) << n) - 1;
    if (leftAligned)
        bits <<= (cbits - n);
    return static_cast<QOV_UINT32>(bits);
}

bool validMetaItem(const MDITEM *item)
{
    return !strchr(item->name, '=') && !strchr(item->name, '\n') && !strchr(item->sVal, '\n');
}

}  // namespace

// ---------------------------------------------------------------------------

const char *CImageJux::SaveFileStart(const char *filename, void *pExtra, void **pSC)
{
    if (!pSC)
        return kErrNoImageData;
    *pSC = nullptr;
    JUXSAVEFORMAT *pFormat = static_cast<JUXSAVEFORMAT *>(pExtra);
    const CImageBase *image = imageOf(pFormat);
    if (!image->IsHeaderLoaded() || !image->IsDataLoaded())
        return kErrNoImageData;
    if (!pSegInfo) {
        JUXSEGMENTINFO *seg = NewSegment();
        if (!seg)
            return kErrNoMemory;
        AddSegment(seg);
        if (!pCurrSeg)
            pCurrSeg = seg;
    }
    JUXSAVECONTEXT *ctx = new (std::nothrow) JUXSAVECONTEXT();
    if (!ctx)
        return kErrNoMemory;
    ctx->f = filename ? fopen(filename, "wb") : nullptr;
    if (!ctx->f) {
        delete ctx;
        return kErrCreatingFile;
    }
    for (auto &e : ctx->soTableSave)
        e = -1;
    ctx->pExtra = pFormat;
    ctx->segmentStarted = false;
    *pSC = ctx;
    return nullptr;
}

const char *CImageJux::StartSegment(void *pSC, bool, bool)
{
    JUXSAVECONTEXT *ctx = static_cast<JUXSAVECONTEXT *>(pSC);
    if (!ctx || !ctx->f)
        return kErrWritingFile;
    const JUXSAVEFORMAT *pFormat = ctx->pExtra;
    if (pFormat && pFormat->pMD)
        copyItems(&ctx->seg.meta, pFormat->pMD);
    else if (pCurrSeg)
        copyItems(&ctx->seg.meta, &pCurrSeg->meta);
    else
        ctx->seg.meta.Unload();

    if (ctx->seg.segmentSize > 0) {
        if (const char *err = SaveJuxSegmentEnd(ctx))
            return err;
    }
    return SaveJuxSegmentStart(ctx);
}

const char *CImageJux::SaveJuxSegmentStart(JUXSAVECONTEXT *pCtx)
{
    // A segment started but left without metadata gives its room to this one.
    if (pCtx->segmentStarted && pCtx->seg.segmentSize == 0 && fseeko(pCtx->f, pCtx->seg.segmentOffset, SEEK_SET) != 0)
        return kErrWritingFile;
    pCtx->seg.Nframes = 0;
    pCtx->seg.segmentOffset = ftello(pCtx->f);
    pCtx->seg.segmentSize = 0;
    for (auto &e : pCtx->soTableSave)
        e = -1;
    static const QOV_UINT8 kZeros[kHeaderSize] = {};
    if (pCtx->seg.segmentOffset < 0 || fwrite(kZeros, 1, kHeaderSize, pCtx->f) != kHeaderSize)
        return kErrWritingFile;
    pCtx->segmentStarted = true;
    return nullptr;
}

const char *CImageJux::SaveFileHeader(void *pSC)
{
    JUXSAVECONTEXT *ctx = static_cast<JUXSAVECONTEXT *>(pSC);
    if (!ctx || !ctx->f)
        return kErrWritingFile;
    // Without a started segment the metadata would take the header's place.
    if (!ctx->segmentStarted) {
        if (const char *err = StartSegment(ctx, true, true))
            return err;
    }
    const JUXSAVEFORMAT *pFormat = ctx->pExtra;
    CMetaData copy;
    copyItems(&copy, &ctx->seg.meta);
    RebuildBaseMetaData(pFormat, &copy);
    if (pFormat) {
        ctx->seg.meta.SwapWith(&copy);
    } else if (pCurrSeg) {
        // The description read with the image, but with the size of the frames
        // written here, so that the file reads back.
        copyItems(&ctx->seg.meta, &pCurrSeg->meta);
        ctx->seg.meta.UpdateStrFmt("FRAME_SIZE", IFEX_REPLACE, "%lld", static_cast<long long>(FrameSize64(nullptr)));
    }
    return SaveJuxMetaData(ctx);
}

const char *CImageJux::SaveJuxMetaData(JUXSAVECONTEXT *pCtx)
{
    const CImageBase *image = imageOf(pCtx->pExtra);
    if (!GetColorModelInfo(image->colorModel))
        return kErrColorModel;
    for (const MDITEM *item = pCtx->seg.meta.list; item; item = item->next)
        if (!validMetaItem(item))
            return kErrMetaItem;

    const QOV_INT64 start = ftello(pCtx->f);
    if (start < 0)
        return kErrWritingFile;
    std::string text;
    for (const MDITEM *item = pCtx->seg.meta.list; item; item = item->next) {
        bool dropped = false;
        for (const char *key : kDroppedKeys)
            dropped = dropped || strcasecmp(item->name, key) == 0;
        if (dropped)
            continue;
        text += item->name;
        text += '=';
        text += item->sVal;
        text += '\n';
    }
    if (!text.empty() && fwrite(text.data(), 1, text.size(), pCtx->f) != text.size())
        return kErrWritingFile;
    pCtx->soTableSave[SOTE_METAOFFS] = start - pCtx->seg.segmentOffset;
    pCtx->soTableSave[SOTE_METASIZE] = static_cast<QOV_INT64>(text.size());
    pCtx->seg.segmentSize = start + static_cast<QOV_INT64>(text.size()) - pCtx->seg.segmentOffset;
    return nullptr;
}

void CImageJux::RebuildBaseMetaData(const JUXSAVEFORMAT *pFormat, CMetaData *pMD)
{
    const CImageBase *image = imageOf(pFormat);
    CMetaData *target = pMD ? pMD : (pFormat && pFormat->pMD ? pFormat->pMD : (pCurrSeg ? &pCurrSeg->meta : nullptr));
    const QOV_INT32 n = image->GetNColChannels();
    if (!target || n == 0)
        return;

    target->UpdateInt("WIDTH", image->width, IFEX_REPLACE);
    target->UpdateInt("HEIGHT", image->height, IFEX_REPLACE);
    target->UpdateStr("COLOUR_FORMAT", modelName(image->colorModel), IFEX_REPLACE);

    const colorModelEnum model = image->colorModel;
    if (model == CM_RGGB || model == CM_RGBW || model == CM_YUV || model == CM_YUVA) {
        const char *hor = nullptr, *ver = nullptr, *phHor = nullptr, *phVer = nullptr;
        if (model == CM_RGGB) {
            switch (image->subsMode) {
            case SUBS_RGGB:
                phHor = "0 1 0 1";
                phVer = "0 0 1 1";
                break;
            case SUBS_GRBG:
                phHor = "1 0 1 0";
                phVer = "0 0 1 1";
                break;
            case SUBS_GBRG:
                phHor = "0 1 0 1";
                phVer = "1 1 0 0";
                break;
            case SUBS_BGGR:
                phHor = "1 0 1 0";
                phVer = "1 1 0 0";
                break;
            default:
                break;
            }
            if (image->subsMode != SUBS_UNDEF)
                hor = ver = "2 2 2 2";
        } else if (model == CM_YUV) {
            if (image->subsMode == SUBS_444) {
                hor = "1 1 1";
                ver = "1 1 1";
            } else if (image->subsMode == SUBS_422) {
                hor = "1 2 2";
                ver = "1 1 1";
            } else if (image->subsMode == SUBS_420) {
                hor = "1 2 2";
                ver = "1 2 2";
            }
        }
        // Keys not set here keep their current text, if any.
        if (hor)
            target->UpdateStr("SUBSAMPLING_HOR", hor, IFEX_REPLACE);
        if (ver)
            target->UpdateStr("SUBSAMPLING_VER", ver, IFEX_REPLACE);
        if (phHor)
            target->UpdateStr("PHASE_OFFSET_HOR", phHor, IFEX_REPLACE);
        if (phVer)
            target->UpdateStr("PHASE_OFFSET_VER", phVer, IFEX_REPLACE);
    }

    std::string depths, signs;
    for (QOV_INT32 c = 0; c < n; c++) {
        if (c) {
            depths += ' ';
            signs += ' ';
        }
        depths += std::to_string(image->chnl[c].bitDepth);
        signs += image->chnl[c].isSigned ? '1' : '0';
    }
    target->UpdateStr("BITDEPTH", depths.c_str(), IFEX_REPLACE);
    target->UpdateStr("SIGNED", signs.c_str(), IFEX_REPLACE);

    const QOV_UINT32 planes = GetNFilePlanes(pFormat);
    if (!pFormat) {
        if (!target->Find("PLANE_FORMAT") || !CheckValidMetaPlaneFormat(nullptr)) {
            std::string ones;
            for (QOV_INT32 c = 0; c < n; c++)
                ones += c ? " 1" : "1";
            target->UpdateStr("PLANE_FORMAT", ones.c_str(), IFEX_REPLACE);
        }
    } else {
        std::string planeText;
        for (QOV_UINT32 p = 0; p < planes && p < 4; p++) {
            if (p)
                planeText += ' ';
            planeText += std::to_string(GetNChannelsInPlane(static_cast<QOV_INT32>(p), pFormat));
        }
        target->UpdateStr("PLANE_FORMAT", planeText.c_str(), IFEX_REPLACE);
    }

    const packingModeEnum packing = pFormat ? pFormat->pixelFormat : pixelFormat;
    const QOV_INT32 *params = pFormat ? pFormat->pixelFormatParam : pixelFormatParam;
    if (packing == PACKM_UNPACKEDR) {
        target->UpdateStr("PIXEL_FORMAT", "unpackedR", IFEX_REPLACE);
    } else if (packing == PACKM_UNPACKEDL) {
        target->UpdateStr("PIXEL_FORMAT", "unpackedL", IFEX_REPLACE);
    } else if (packing == PACKM_GROUPPACK) {
        // The group size the data are written with, so that the file reads back.
        std::string text = "grouppacked";
        for (QOV_UINT32 p = 0; p < planes && p < 4; p++) {
            text += ' ';
            text += std::to_string(params[p] < 1 ? 1 : params[p]);
        }
        target->UpdateStr("PIXEL_FORMAT", text.c_str(), IFEX_REPLACE);
    }

    target->UpdateStrFmt("FRAME_SIZE", IFEX_REPLACE, "%lld", static_cast<long long>(FrameSize64(pFormat)));
    if (pFormat && pFormat->lineAlign > 1)
        target->UpdateInt("LINE_ALIGN", pFormat->lineAlign, IFEX_REPLACE);
    else
        deleteAll(target, "LINE_ALIGN");
}

bool CImageJux::CheckValidMetaPlaneFormat(const JUXSAVEFORMAT *pFormat) const
{
    if (!pFormat && (!pCurrSeg || !pCurrSeg->meta.Find("PLANE_FORMAT")))
        return false;
    const CImageBase *image = imageOf(pFormat);
    const COLORMODELINFO *info = GetColorModelInfo(image->colorModel);
    if (!info)
        return false;
    const QOV_INT32 n = info->Nchannels;
    if (n == 0)
        return true;
    QOV_INT32 base = 0;
    for (QOV_INT32 p = 0; p < n; p++) {
        const QOV_INT32 count = pFormat ? (p < 4 ? pFormat->planeFormat[p] : 0)
                                        : pCurrSeg->meta.GetMetaInt("PLANE_FORMAT", 0, p, false);
        if (count < 1 || count > n - base)
            return false;
        for (QOV_INT32 k = 1; k < count; k++) {
            if (image->chnl[base + k].chnlWidth != image->chnl[base].chnlWidth ||
                image->chnl[base + k].chnlHeight != image->chnl[base].chnlHeight)
                return false;
        }
        base += count;
        if (base == n)
            return true;
    }
    return false;
}

const char *CImageJux::SaveFileData(void *pSC)
{
    JUXSAVECONTEXT *ctx = static_cast<JUXSAVECONTEXT *>(pSC);
    if (!ctx || !ctx->f)
        return kErrWritingFile;
    return SaveJuxFrameData(ctx);
}

const char *CImageJux::SaveJuxFrameData(JUXSAVECONTEXT *pCtx)
{
    const JUXSAVEFORMAT *pFormat = pCtx->pExtra;
    const CImageBase *image = imageOf(pFormat);
    if (GetNFilePlanes(pFormat) < 1)
        return kErrPlaneFormat;
    if (!GetColorModelInfo(image->colorModel))
        return kErrColorModel;
    // Pixels go after the segment's metadata.
    if (pCtx->soTableSave[SOTE_METAOFFS] < 0)
        return kErrMetaNotSaved;
    Layout layout;
    if (!layoutOf(pFormat, &layout))
        return layout.error;
    if (layout.packing != PACKM_UNPACKEDR && layout.packing != PACKM_UNPACKEDL && layout.packing != PACKM_GROUPPACK)
        return kErrPackingMode;
    if (!image->IsDataLoaded())
        return kErrNoImageData;

    const QOV_INT64 frameStart = ftello(pCtx->f);
    if (frameStart < 0)
        return kErrWritingFile;
    const QOV_INT64 savedPixelOffset = pCtx->soTableSave[SOTE_PIXELSOFFS];
    if (pCtx->soTableSave[SOTE_PIXELSOFFS] < 0)
        pCtx->soTableSave[SOTE_PIXELSOFFS] = frameStart - pCtx->seg.segmentOffset;

    const char *err = nullptr;
    for (QOV_INT32 p = 0; !err && p < layout.nPlanes; p++) {
        const QOV_INT64 lineSize = lineSize64(p, pFormat);
        if (lineSize < 1 || !growLineBuffer(static_cast<size_t>(lineSize))) {
            err = lineSize < 1 ? kErrPlaneFormat : kErrNoMemory;
            break;
        }
        const COLCHANNEL *ch[4];
        for (QOV_INT32 k = 0; k < layout.count[p]; k++)
            ch[k] = &image->chnl[layout.base[p] + k];
        const QOV_INT32 c = layout.count[p];
        const QOV_INT32 w = ch[0]->chnlWidth;
        const QOV_INT32 g = layout.group[p];
        for (QOV_INT32 r = 0; r < ch[0]->chnlHeight; r++) {
            memset(m_lineBuf, 0, static_cast<size_t>(lineSize));
            const QOV_INT64 rowStart = static_cast<QOV_INT64>(r) * w;
            if (layout.packing == PACKM_GROUPPACK) {
                CBitStreamRW bits;
                bits.SetPos(m_lineBuf);
                QOV_INT32 inGroup = 0;
                for (QOV_INT32 x = 0; x < w; x++) {
                    for (QOV_INT32 k = 0; k < c; k++) {
                        const QOV_INT8 n = static_cast<QOV_INT8>(ch[k]->bitDepth > 32 ? 32 : ch[k]->bitDepth);
                        const PIXEL v = ch[k]->data[rowStart + x];
                        if (ch[k]->isSigned)
                            bits.WriteBitsSig(v, n);
                        else
                            bits.WriteBitsUns(static_cast<QOV_UINT32>(v), n);
                        if (++inGroup == g) {
                            bits.AdvanceToByteBoundary();
                            inGroup = 0;
                        }
                    }
                }
            } else {
                const bool left = layout.packing == PACKM_UNPACKEDL;
                QOV_UINT8 *dst = m_lineBuf;
                for (QOV_INT32 x = 0; x < w; x++) {
                    for (QOV_INT32 k = 0; k < c; k++) {
                        const int bytes = containerBytes(ch[k]->bitDepth);
                        storeContainer(dst,
                                       encodeUnpacked(ch[k]->data[rowStart + x], bytes, ch[k]->bitDepth,
                                                      ch[k]->isSigned, left),
                                       bytes);
                        dst += bytes;
                    }
                }
            }
            if (fwrite(m_lineBuf, 1, static_cast<size_t>(lineSize), pCtx->f) != static_cast<size_t>(lineSize)) {
                err = kErrWritingFile;
                break;
            }
        }
    }
    if (err) {
        // The frame is not counted; the next one takes its place.
        pCtx->soTableSave[SOTE_PIXELSOFFS] = savedPixelOffset;
        fseeko(pCtx->f, frameStart, SEEK_SET);
        return err;
    }
    const QOV_INT64 end = ftello(pCtx->f);
    pCtx->soTableSave[SOTE_PIXELSSIZE] = end - pCtx->seg.segmentOffset - pCtx->soTableSave[SOTE_PIXELSOFFS];
    pCtx->seg.segmentSize = end - pCtx->seg.segmentOffset;
    pCtx->seg.Nframes++;
    return nullptr;
}

const char *CImageJux::SaveJuxSegmentEnd(JUXSAVECONTEXT *pCtx)
{
    if (pCtx->soTableSave[SOTE_METAOFFS] < 0)
        return kErrMetaNotSaved;
    if (pCtx->soTableSave[SOTE_PIXELSOFFS] < 0 || pCtx->soTableSave[SOTE_PIXELSSIZE] < 0)
        return kErrPixelsNotSaved;
    char header[kHeaderSize + 1];
    int len = snprintf(header, sizeof(header), "JUX1\n%02d", 4);
    for (const QOV_INT64 e : pCtx->soTableSave) {
        if (e > kMaxTableValue)
            return kErrWritingFile;
        len += snprintf(header + len, sizeof(header) - static_cast<size_t>(len), " %013lld", static_cast<long long>(e));
    }
    len += snprintf(header + len, sizeof(header) - static_cast<size_t>(len), "\n");
    if (len != kHeaderSize)
        return kErrWritingFile;
    if (fseeko(pCtx->f, pCtx->seg.segmentOffset, SEEK_SET) != 0 || fwrite(header, 1, kHeaderSize, pCtx->f) != kHeaderSize ||
        fseeko(pCtx->f, pCtx->seg.segmentOffset + pCtx->seg.segmentSize, SEEK_SET) != 0)
        return kErrWritingFile;
    return nullptr;
}

// The file is closed and the context released whatever happens, so that no
// caller is left holding an open file; a segment that could not be completed
// leaves its zero header, which readers refuse.
const char *CImageJux::SaveFileEnd(void *pSC)
{
    JUXSAVECONTEXT *ctx = static_cast<JUXSAVECONTEXT *>(pSC);
    if (!ctx)
        return kErrMetaNotSaved;
    const char *err = ctx->f ? SaveJuxSegmentEnd(ctx) : kErrWritingFile;
    if (ctx->f && fclose(ctx->f) != 0 && !err)
        err = kErrWritingFile;
    delete ctx;
    return err;
}

const char *CImageJux::GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageBase *pIm)
{
    if (!pFmt)
        return nullptr;
    pFmt->pixelFormat = PACKM_UNPACKEDR;
    for (int k = 0; k < 4; k++) {
        pFmt->pixelFormatParam[k] = 0;
        pFmt->planeFormat[k] = 1;
    }
    pFmt->lineAlign = 1;
    pFmt->pMD = nullptr;
    pFmt->pImData = pIm;
    return nullptr;
}

const char *CImageJux::GetSaveFormat(JUXSAVEFORMAT *pFmt, CImageJux *pIm)
{
    if (!pFmt)
        return nullptr;
    if (!pIm)
        return GetSaveFormat(pFmt, static_cast<CImageBase *>(nullptr));
    pFmt->pixelFormat = pIm->pixelFormat;
    const QOV_UINT32 planes = pIm->GetNFilePlanes(nullptr);
    for (int k = 0; k < 4; k++) {
        pFmt->pixelFormatParam[k] = pIm->pixelFormatParam[k];
        const QOV_INT32 count = static_cast<QOV_UINT32>(k) < planes ? pIm->GetNChannelsInPlane(k, nullptr) : 0;
        pFmt->planeFormat[k] = static_cast<QOV_INT8>(count < -128 ? -128 : (count > 127 ? 127 : count));
    }
    pFmt->lineAlign = pIm->pCurrSeg ? pIm->pCurrSeg->meta.GetMetaInt("LINE_ALIGN", 1, 0, true) : 1;
    pFmt->pMD = pIm->pCurrSeg ? &pIm->pCurrSeg->meta : nullptr;
    pFmt->pImData = pIm;
    return nullptr;
}

QOV_INT32 CImageJux::ConvertFrom(CImageJux *pSrc, colorModelEnum newColorModel, subsamplingModeEnum newSubsMode,
                                 bool onlyCheckIfAvail)
{
    if (!pSrc || pSrc == this)
        return 1;
    // The source's description outlives the base conversion, which unloads this image.
    const QOV_INT32 result = CImageBase::ConvertFrom(pSrc, newColorModel, newSubsMode, onlyCheckIfAvail);
    if (result != 0 || onlyCheckIfAvail)
        return result;
    if (!pSegInfo) {
        JUXSEGMENTINFO *seg = NewSegment();
        if (!seg)
            return 2;
        AddSegment(seg);
    }
    pixelFormat = pSrc->pixelFormat;
    for (int k = 0; k < 4; k++)
        pixelFormatParam[k] = pSrc->pixelFormatParam[k];
    if (!pCurrSeg)
        pCurrSeg = pSegInfo;
    if (pSrc->pCurrSeg)
        copyItems(&pCurrSeg->meta, &pSrc->pCurrSeg->meta);
    else
        pCurrSeg->meta.Unload();
    RebuildBaseMetaData(nullptr, nullptr);
    return result;
}

void CImageJux::SwapWith(CImageJux *pOther)
{
    if (!pOther || pOther == this)
        return;
    CImageBase::SwapWith(pOther);
    const packingModeEnum p = pixelFormat;
    pixelFormat = pOther->pixelFormat;
    pOther->pixelFormat = p;
    for (int k = 0; k < 4; k++) {
        const QOV_INT32 t = pixelFormatParam[k];
        pixelFormatParam[k] = pOther->pixelFormatParam[k];
        pOther->pixelFormatParam[k] = t;
    }
    JUXSEGMENTINFO *s = pSegInfo;
    pSegInfo = pOther->pSegInfo;
    pOther->pSegInfo = s;
    JUXSEGMENTINFO *c = pCurrSeg;
    pCurrSeg = pOther->pCurrSeg;
    pOther->pCurrSeg = c;
}
