// Inline helpers shared by the conversions (fixed point, update flags), so that the per-frame
// conversions pay no call per field. The public QOV_* functions wrap them.
#ifndef MC_FIXEDPOINT_INL_H
#define MC_FIXEDPOINT_INL_H

#include <cmath>
#include <cstdint>
#include <limits>

#include "qov_types.h"

namespace mc {

// Takes a module's pending update: false when it has none; else clears its
// flag, marks the module in the update mask and gives true.
template <typename M> inline bool takeUpdate(M *pMC, int *eUpdateMask, int updateFlag)
{
    if (!pMC->updateNeeded)
        return false;
    pMC->updateNeeded = QOV_FALSE;
    *eUpdateMask |= updateFlag;
    return true;
}

// Truncation toward zero into T that saturates instead of overflowing
// (a plain cast of an out-of-range double is undefined); NaN gives 0.
template <typename T> inline T satTrunc(double v)
{
    if (std::isnan(v))
        return 0;
    constexpr double lo = static_cast<double>(std::numeric_limits<T>::min());
    constexpr double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (v <= lo)
        return std::numeric_limits<T>::min();
    if (v >= hi)
        return std::numeric_limits<T>::max();
    return static_cast<T>(v);
}

inline QOV_INT32 clipBits(QOV_INT64 v, QOV_INT32 nBits, bool isSigned)
{
    if (nBits <= 0)
        return 0;
    QOV_INT64 hi;
    QOV_INT64 lo;
    if (isSigned) {
        if (nBits > 32)
            return static_cast<QOV_INT32>(v);
        hi = (QOV_INT64{1} << (nBits - 1)) - 1;
        lo = -(QOV_INT64{1} << (nBits - 1));
    } else {
        hi = nBits >= 32 ? QOV_INT64{INT32_MAX} : (QOV_INT64{1} << nBits) - 1;
        lo = 0;
    }
    if (v > hi)
        v = hi;
    if (v < lo)
        v = lo;
    return static_cast<QOV_INT32>(v);
}

inline double pow2(QOV_INT32 e)
{
    return (e >= 0 && e < 63) ? static_cast<double>(QOV_UINT64{1} << e) : std::ldexp(1.0, e);
}

// The multiplication by a power of two is exact, so this is the single
// rounding of one fused multiply-add.
inline QOV_INT32 fixClip(double fl, QOV_INT32 intBits, QOV_INT32 fractBits, bool isSigned)
{
    if (fractBits >= 0) {
        const double round = (isSigned && fl < 0) ? -0.5 : 0.5;
        return clipBits(satTrunc<QOV_INT32>(fl * pow2(fractBits) + round), intBits + fractBits, isSigned);
    }
    const QOV_INT32 c = clipBits(satTrunc<QOV_INT32>(fl), intBits, isSigned);
    const QOV_INT32 shift = -fractBits;
    if (shift >= 31)
        return c < 0 ? -1 : 0;
    return c >> shift;
}

inline double fixRevert(QOV_INT32 reg, QOV_INT32 intBits, QOV_INT32 fractBits, bool isSigned)
{
    const QOV_INT32 n = intBits + fractBits;
    QOV_INT64 v = reg;
    if (isSigned && n > 0 && n <= 32 && v >= (QOV_INT64{1} << (n - 1)))
        v -= QOV_INT64{1} << n;
    return static_cast<double>(v) * pow2(-fractBits);
}

// Shorthands for the UI.F / SI.F notation.
inline QOV_INT32 U(double v, int i, int f) { return fixClip(v, i, f, false); }
inline QOV_INT32 S(double v, int i, int f) { return fixClip(v, i, f, true); }

// 1 / d, infinite for 0 (the fixed-point conversion then saturates).
inline double recip(double d) { return d == 0.0 ? std::numeric_limits<double>::infinity() : 1.0 / d; }

} // namespace mc

#endif
