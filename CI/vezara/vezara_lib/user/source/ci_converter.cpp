// The data generator's frame converter: Bayer images into the parallel and
// MIPI CSI-2 wire formats, a line at a time. Samples are packed a group per
// 64-bit store, or many per byte shuffle where the processor has AVX2 (or
// AVX-512); MIPI payload checksums fold 256 bytes per step with carry-less
// multiplies where it has them (with 256-bit multiplies, a RAW10 payload in
// the same pass that packs it, while its bytes are in the nearest cache),
// and otherwise move 8-byte words on with exclusive-ors, finishing the last
// 128 bytes through tables.
#include "ci/ci_converter.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "ci/ci_alloc_info.h"
#include "sim_image/sim_image.h"
#include "vezaracommon/pixel_format.h"
#include "vezaracommon/userlog.h"

#define LOG_TAG "CI_CONVERTER"

namespace {

constexpr QOV_UINT32 kAlignment = 64;
constexpr QOV_SIZE kShortPacket = 4;
constexpr QOV_SIZE kLongHeader = 4;
constexpr QOV_SIZE kChecksum = 2;

// The vector code the converter may use; see CI_ConverterLimitCode().
std::atomic<int> gCodeLimit{CI_CONV_CODE_ALL};

// CRC-16 with the reflected polynomial 0x8408. entry[0] advances the CRC by
// one byte; entry[k] by a byte followed by k zero bytes, so that eight bytes
// are folded in at once.
struct Crc16Tables {
    QOV_UINT16 entry[8][256];
    constexpr Crc16Tables() : entry()
    {
        for (unsigned i = 0; i < 256; ++i) {
            QOV_UINT16 crc = (QOV_UINT16)i;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 1) ? (QOV_UINT16)((crc >> 1) ^ 0x8408) : (QOV_UINT16)(crc >> 1);
            entry[0][i] = crc;
        }
        for (int k = 1; k < 8; ++k)
            for (unsigned i = 0; i < 256; ++i)
                entry[k][i] = (QOV_UINT16)((entry[k - 1][i] >> 8) ^ entry[0][entry[k - 1][i] & 0xFF]);
    }
};
constexpr Crc16Tables kCrc16;

// Advances `crc` over `length` bytes, one byte per step.
QOV_UINT32 crcBytes(QOV_UINT32 crc, const QOV_UINT8 *data, QOV_SIZE length)
{
    for (QOV_SIZE i = 0; i < length; ++i)
        crc = (crc >> 8) ^ kCrc16.entry[0][(crc ^ data[i]) & 0xFF];
    return crc;
}

// Advances `crc` over eight bytes in one step.
QOV_UINT32 crcEight(QOV_UINT32 crc, const QOV_UINT8 *b)
{
    const auto &t = kCrc16.entry;
    const QOV_UINT32 x = crc ^ (b[0] | (QOV_UINT32)b[1] << 8);
    return t[7][x & 0xFF] ^ t[6][x >> 8] ^ t[5][b[2]] ^ t[4][b[3]] ^ t[3][b[4]] ^ t[2][b[5]] ^ t[1][b[6]] ^
           t[0][b[7]];
}

#if defined(__x86_64__)
// Carry-less multiplication folds the payload 256 bytes per step, as
// sixteen 16-byte lanes, onto one 16-byte block with the same remainder,
// which then goes through the table. Bit i of a lane loaded little-endian
// is the coefficient of x^(127 - i), so a multiply of two such operands
// lands one bit low: the constants are x^(n - 1) mod G for a move of n
// bits, G = x^16 + x^12 + x^5 + 1.
constexpr QOV_UINT64 xPowerModG(unsigned n)
{
    QOV_UINT32 r = 1;
    for (unsigned i = 0; i < n; ++i) {
        r <<= 1;
        if (r & 0x10000)
            r ^= 0x11021;
    }
    QOV_UINT64 reflected = 0;  // x^k at bit 63 - k, as the lanes hold it
    for (unsigned k = 0; k < 16; ++k)
        if (r >> k & 1)
            reflected |= 1ull << (63 - k);
    return reflected;
}

// The constants that move a lane n bits on: its first 8 bytes by n + 64,
// the next 8 by n.
template <unsigned kBits>
struct MoveConstants {
    static constexpr QOV_UINT64 first = xPowerModG(kBits + 63);
    static constexpr QOV_UINT64 second = xPowerModG(kBits - 1);
};

template <unsigned kBits>
__attribute__((target("pclmul"))) __m128i moveOn(__m128i lane)
{
    const __m128i k = _mm_set_epi64x((long long)MoveConstants<kBits>::second, (long long)MoveConstants<kBits>::first);
    return _mm_xor_si128(_mm_clmulepi64_si128(lane, k, 0x00), _mm_clmulepi64_si128(lane, k, 0x11));
}

// Both lanes of a 256-bit register moved n bits on.
template <unsigned kBits>
__attribute__((target("avx2,vpclmulqdq"))) __m256i moveOnWide(__m256i lanes)
{
    const __m256i k = _mm256_set_epi64x((long long)MoveConstants<kBits>::second, (long long)MoveConstants<kBits>::first,
                                        (long long)MoveConstants<kBits>::second, (long long)MoveConstants<kBits>::first);
    return _mm256_xor_si256(_mm256_clmulepi64_epi128(lanes, k, 0x00), _mm256_clmulepi64_epi128(lanes, k, 0x11));
}

// Sixteen lanes, sixteen multiplies that do not wait for one another per
// step; with 256-bit multiplies the lanes are the halves of eight registers.
constexpr int kFoldLanes = 16;
constexpr int kFoldRegisters = kFoldLanes / 2;
constexpr QOV_SIZE kFoldStep = 16 * kFoldLanes;

// A payload is folded in registers of kWidth bytes (16 or 32) and read in
// place. The bytes before a whole number of registers go through the
// table, and their remainder enters the rest in its first two bytes, as
// the initial 0xFFFF would. The rest is folded as if registers of zeros
// preceded it up to a whole number of steps: leading zeros leave the
// remainder as it is, and no bytes are left over at its end.
struct FoldStart {
    QOV_SIZE prefix;       // bytes through the table
    QOV_UINT32 remainder;  // theirs
    int zeros;             // registers of zeros before the rest
};

template <QOV_SIZE kWidth>
FoldStart foldStart(const QOV_UINT8 *data, QOV_SIZE length)
{
    const QOV_SIZE prefix = length % kWidth;
    const QOV_SIZE rest = length - prefix;
    return {prefix, crcBytes(0xFFFF, data, prefix), (int)((kFoldStep - rest % kFoldStep) % kFoldStep / kWidth)};
}

// Lanes (or registers) onto the last one: each moved on by those after it,
// by its own constants, so that the moves do not wait for one another.
template <int... j>
__attribute__((target("pclmul"))) __m128i gatherLanes(const __m128i *lane, std::integer_sequence<int, j...>)
{
    __m128i block = lane[sizeof...(j)];
    ((block = _mm_xor_si128(block, moveOn<128 * (sizeof...(j) - j)>(lane[j]))), ...);
    return block;
}

template <int... j>
__attribute__((target("avx2,vpclmulqdq"), always_inline)) inline __m256i gatherRegisters(const __m256i *reg,
                                                                   std::integer_sequence<int, j...>)
{
    __m256i block = reg[sizeof...(j)];
    ((block = _mm256_xor_si256(block, moveOnWide<256 * (sizeof...(j) - j)>(reg[j]))), ...);
    return block;
}

// The checksum of the payload folded onto `block`.
__attribute__((target("sse2"))) QOV_UINT16 finishFold(__m128i block)
{
    QOV_UINT8 bytes[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(bytes), block);
    return (QOV_UINT16)crcEight(crcEight(0, bytes), bytes + 8);
}

__attribute__((target("pclmul"))) QOV_UINT16 foldedChecksum(const QOV_UINT8 *data, QOV_SIZE length)
{
    const FoldStart start = foldStart<16>(data, length);
    const QOV_UINT8 *rest = data + start.prefix;
    const QOV_SIZE restLength = length - start.prefix;
    __m128i lane[kFoldLanes];
    for (int j = 0; j < kFoldLanes; ++j)
        lane[j] = j < start.zeros ? _mm_setzero_si128()
                                  : _mm_loadu_si128(reinterpret_cast<const __m128i *>(rest + 16 * (j - start.zeros)));
    lane[start.zeros] = _mm_xor_si128(lane[start.zeros], _mm_cvtsi32_si128((int)start.remainder));
    for (QOV_SIZE at = kFoldStep - 16 * (QOV_SIZE)start.zeros; at < restLength; at += kFoldStep)
        for (int j = 0; j < kFoldLanes; ++j)
            lane[j] = _mm_xor_si128(moveOn<8 * kFoldStep>(lane[j]),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(rest + at + 16 * j)));
    return finishFold(gatherLanes(lane, std::make_integer_sequence<int, kFoldLanes - 1>()));
}

// `ready(n)` is called before the first n payload bytes are read, so that
// a packer can write the payload while it is being folded.
template <typename Ready>
__attribute__((target("avx2,vpclmulqdq,pclmul"), always_inline)) inline QOV_UINT16
foldedChecksumWide(const QOV_UINT8 *data, QOV_SIZE length, Ready &&ready)
{
    ready(length < 32 + kFoldStep ? length : 32 + kFoldStep);  // all the first step may read
    const FoldStart start = foldStart<32>(data, length);
    const QOV_UINT8 *rest = data + start.prefix;
    const QOV_SIZE restLength = length - start.prefix;
    __m256i reg[kFoldRegisters];
    for (int j = 0; j < kFoldRegisters; ++j)
        reg[j] = j < start.zeros ? _mm256_setzero_si256()
                                 : _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rest + 32 * (j - start.zeros)));
    reg[start.zeros] = _mm256_xor_si256(reg[start.zeros], _mm256_setr_epi32((int)start.remainder, 0, 0, 0, 0, 0, 0, 0));
    for (QOV_SIZE at = kFoldStep - 32 * (QOV_SIZE)start.zeros; at < restLength; at += kFoldStep) {
        ready(start.prefix + at + kFoldStep);
        // unrolled, so that the registers stay in registers across the packer's work
#pragma GCC unroll 8
        for (int j = 0; j < kFoldRegisters; ++j)
            reg[j] = _mm256_xor_si256(moveOnWide<8 * kFoldStep>(reg[j]),
                                      _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rest + at + 32 * j)));
    }
    const __m256i block = gatherRegisters(reg, std::make_integer_sequence<int, kFoldRegisters - 1>());
    // the first lane of the register comes 128 bits before the second
    return finishFold(
        _mm_xor_si128(moveOn<128>(_mm256_castsi256_si128(block)), _mm256_extracti128_si256(block, 1)));
}

__attribute__((target("avx2,vpclmulqdq,pclmul"))) QOV_UINT16 foldedChecksumWide(const QOV_UINT8 *data,
                                                                                QOV_SIZE length)
{
    return foldedChecksumWide(data, length, [](QOV_SIZE) {});
}

// The state an initial 0xFFFF becomes over zero bytes: column[k][i] is what
// bit i of the state becomes over 2^k of them. The checksum is linear in
// its initial state, so a fold may start from 0 and add this at the end.
struct ZeroAdvance {
    QOV_UINT16 column[8 * sizeof(QOV_SIZE)][16];
    constexpr ZeroAdvance() : column()
    {
        for (int i = 0; i < 16; ++i)  // over one zero byte
            column[0][i] = (QOV_UINT16)((1u << i >> 8) ^ kCrc16.entry[0][1u << i & 0xFF]);
        for (unsigned k = 1; k < 8 * sizeof(QOV_SIZE); ++k)
            for (int i = 0; i < 16; ++i)
                column[k][i] = apply(column[k - 1], column[k - 1][i]);
    }
    static constexpr QOV_UINT16 apply(const QOV_UINT16 *column, QOV_UINT16 state)
    {
        QOV_UINT16 moved = 0;
        for (int i = 0; i < 16; ++i)
            moved ^= (QOV_UINT16)(column[i] & -(state >> i & 1));
        return moved;
    }
};
constexpr ZeroAdvance kZeroAdvance;

// The lines of a frame share their length: the last answer is kept.
QOV_UINT16 initialStateAfter(QOV_SIZE length)
{
    thread_local QOV_SIZE lastLength = 0;
    thread_local QOV_UINT16 lastState = 0xFFFF;
    if (length != lastLength) {
        QOV_UINT16 state = 0xFFFF;
        for (unsigned k = 0; length >> k; ++k)
            if (length >> k & 1)
                state = ZeroAdvance::apply(kZeroAdvance.column[k], state);
        lastLength = length;
        lastState = state;
    }
    return lastState;
}

// With 512-bit multiplies the step's sixteen lanes are four registers. The
// payload is read as if zeros preceded it up to a whole number of steps:
// the first loads start before it with those bytes masked off (a masked
// load touches no byte it leaves out), so that no prefix goes through the
// table, and the fold starts from 0, the initial 0xFFFF added at the end.
constexpr int kFoldWideRegisters = kFoldLanes / 4;

template <unsigned kBits>
__attribute__((target("avx512f,vpclmulqdq"), always_inline)) inline __m512i moveOnAdding(__m512i lanes, __m512i sum)
{
    constexpr long long kFirst = (long long)MoveConstants<kBits>::first;
    constexpr long long kSecond = (long long)MoveConstants<kBits>::second;
    const __m512i k = _mm512_set_epi64(kSecond, kFirst, kSecond, kFirst, kSecond, kFirst, kSecond, kFirst);
    // the two products and the sum in one three-way exclusive-or
    return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(lanes, k, 0x00),
                                     _mm512_clmulepi64_epi128(lanes, k, 0x11), sum, 0x96);
}

template <int... j>
__attribute__((target("avx512f,vpclmulqdq"), always_inline)) inline __m512i gatherWideRegisters(
    const __m512i *reg, std::integer_sequence<int, j...>)
{
    __m512i block = reg[sizeof...(j)];
    ((block = moveOnAdding<512 * (sizeof...(j) - j)>(reg[j], block)), ...);
    return block;
}

__attribute__((target("avx512f,avx512bw,vpclmulqdq,avx2,pclmul"))) QOV_UINT16 foldedChecksum512(
    const QOV_UINT8 *data, QOV_SIZE length)
{
    const QOV_SIZE zeros = (kFoldStep - length % kFoldStep) % kFoldStep;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(data) - zeros;
    __m512i reg[kFoldWideRegisters];
    for (int j = 0; j < kFoldWideRegisters; ++j) {
        const QOV_SIZE from = 64 * (QOV_SIZE)j;
        const __mmask64 keep = from + 64 <= zeros ? 0 : from >= zeros ? ~0ull : ~0ull << (zeros - from);
        reg[j] = _mm512_maskz_loadu_epi8(keep, reinterpret_cast<const void *>(first + from));
    }
    for (QOV_SIZE at = kFoldStep - zeros; at < length; at += kFoldStep) {
#pragma GCC unroll 4
        for (int j = 0; j < kFoldWideRegisters; ++j)
            reg[j] = moveOnAdding<8 * kFoldStep>(reg[j], _mm512_loadu_si512(data + at + 64 * j));
    }
    const __m512i block = gatherWideRegisters(reg, std::make_integer_sequence<int, kFoldWideRegisters - 1>());
    // the register's lanes are 128 bits apart, as in a pair of 256-bit ones
    // (the masked extracts and permute here and below keep every lane: GCC
    // 12's unmasked forms warn of an uninitialised operand)
    const __m256i low = _mm512_maskz_extracti64x4_epi64(0xF, block, 0);
    const __m256i high = _mm512_maskz_extracti64x4_epi64(0xF, block, 1);
    const __m256i pair = _mm256_xor_si256(moveOnWide<256>(low), high);
    const QOV_UINT16 folded =
        finishFold(_mm_xor_si128(moveOn<128>(_mm256_castsi256_si128(pair)), _mm256_extracti128_si256(pair, 1)));
    return (QOV_UINT16)(folded ^ initialStateAfter(length));
}

// 0: no folding; 1: 128-bit multiplies; 2: 256-bit ones; 3: 512-bit ones.
int foldWidth()
{
    static const int width =
        __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx512bw") ? 3
        : __builtin_cpu_supports("vpclmulqdq") && __builtin_cpu_supports("avx2")   ? 2
        : __builtin_cpu_supports("pclmul")                                          ? 1
                                                                                    : 0;
    const int limit = gCodeLimit.load(std::memory_order_relaxed);
    const int allowed = limit == CI_CONV_CODE_PORTABLE ? 0
                        : limit == CI_CONV_CODE_128    ? 1
                        : limit == CI_CONV_CODE_256    ? 2
                                                       : 3;
    return width < allowed ? width : allowed;
}

bool canFold() { return foldWidth() > 0; }
#else
bool canFold() { return false; }
int foldWidth() { return 0; }
QOV_UINT16 foldedChecksum(const QOV_UINT8 *, QOV_SIZE) { return 0; }
QOV_UINT16 foldedChecksumWide(const QOV_UINT8 *, QOV_SIZE) { return 0; }
QOV_UINT16 foldedChecksum512(const QOV_UINT8 *, QOV_SIZE) { return 0; }
#endif

// G(x^64) = G(x)^64 = x^1024 + x^768 + x^320 + 1 is a multiple of G, so
// x^1024 = x^768 + x^320 + 1 modulo G: an 8-byte word at least 128 bytes
// before the end of a payload leaves the checksum as it is when it is added
// to the words 4, 11 and 16 further on instead. Moving every word but the
// last 16 on so takes three exclusive-ors a word and no look-up; the last
// 128 bytes then go through the tables.
constexpr QOV_SIZE kMoveNear = 4, kMoveMiddle = 11, kMoveFar = 16;  // in words

QOV_UINT64 loadWord(const QOV_UINT8 *bytes)
{
    QOV_UINT64 word;
    memcpy(&word, bytes, sizeof(word));
    return word;
}

QOV_UINT16 movedChecksum(const QOV_UINT8 *data, QOV_SIZE length)
{
    const QOV_SIZE prefix = length % 8;
    const QOV_UINT32 remainder = crcBytes(0xFFFF, data, prefix);
    const QOV_UINT8 *rest = data + prefix;
    const QOV_SIZE words = length / 8;
    if (words < 2 * kMoveFar) {
        QOV_UINT32 crc = remainder;
        for (QOV_SIZE k = 0; k < words; ++k)
            crc = crcEight(crc, rest + 8 * k);
        return (QOV_UINT16)crc;
    }
    // ring[k % 16]: word k with what earlier words added to it; the prefix's
    // remainder enters the first word, as the initial 0xFFFF would
    QOV_UINT64 ring[kMoveFar] = {};
    if constexpr (std::endian::native == std::endian::little)
        ring[0] = remainder;
    else
        ring[0] = (QOV_UINT64)(remainder & 0xFF) << 56 | (QOV_UINT64)(remainder >> 8) << 48;
    const QOV_SIZE moved = words - kMoveFar;
    QOV_SIZE k = 0;
    // sixteen words a step, so that every ring place is a constant
    for (; k + kMoveFar <= moved; k += kMoveFar) {
#pragma GCC unroll 16
        for (QOV_SIZE j = 0; j < kMoveFar; ++j)
            ring[j] ^= loadWord(rest + 8 * (k + j)) ^ ring[(j - kMoveNear) % kMoveFar] ^
                       ring[(j - kMoveMiddle) % kMoveFar];
    }
    for (; k < moved; ++k)
        ring[k % kMoveFar] ^= loadWord(rest + 8 * k) ^ ring[(k - kMoveNear) % kMoveFar] ^
                              ring[(k - kMoveMiddle) % kMoveFar];
    // the last 16 words take what the moved words add to them
    QOV_UINT32 crc = 0;
    for (QOV_SIZE j = 0; j < kMoveFar; ++j) {
        const QOV_SIZE w = moved + j;
        QOV_UINT64 sum = loadWord(rest + 8 * w) ^ ring[w % kMoveFar];
        if (j < kMoveNear)
            sum ^= ring[(w - kMoveNear) % kMoveFar];
        if (j < kMoveMiddle)
            sum ^= ring[(w - kMoveMiddle) % kMoveFar];
        QOV_UINT8 bytes[8];
        memcpy(bytes, &sum, sizeof(bytes));
        crc = crcEight(crc, bytes);
    }
    return (QOV_UINT16)crc;
}

// A payload's checksum: folded where the processor multiplies carry-less,
// otherwise moved on and finished through the tables.
constexpr QOV_SIZE kFoldedMinimum = 128;  // shorter payloads are as quick through the tables

QOV_UINT16 payloadChecksum(const QOV_UINT8 *data, QOV_SIZE length)
{
    if (length >= kFoldedMinimum && canFold()) {
        switch (foldWidth()) {
        case 3:
            return foldedChecksum512(data, length);
        case 2:
            return foldedChecksumWide(data, length);
        default:
            return foldedChecksum(data, length);
        }
    }
    return movedChecksum(data, length);
}

void putChecksum(QOV_UINT8 *out, QOV_UINT16 crc)
{
    out[0] = (QOV_UINT8)crc;
    out[1] = (QOV_UINT8)(crc >> 8);
}

// Packet-header ECC: the parity bits each data bit of the 24-bit header feeds.
constexpr QOV_UINT8 kEccSyndrome[24] = {
    0x07, 0x0B, 0x0D, 0x0E, 0x13, 0x15, 0x16, 0x19, 0x1A, 0x1C, 0x23, 0x25,
    0x26, 0x29, 0x2A, 0x2C, 0x31, 0x32, 0x34, 0x38, 0x1F, 0x2F, 0x37, 0x3B,
};

// The parity of each value of each header byte, so that the ECC takes three look-ups.
struct EccTables {
    QOV_UINT8 entry[3][256];
    constexpr EccTables() : entry()
    {
        for (int byte = 0; byte < 3; ++byte)
            for (unsigned v = 0; v < 256; ++v)
                for (int bit = 0; bit < 8; ++bit)
                    if (v >> bit & 1)
                        entry[byte][v] ^= kEccSyndrome[8 * byte + bit];
    }
};
constexpr EccTables kEcc;

QOV_UINT8 headerEcc(const QOV_UINT8 *header)
{
    return kEcc.entry[0][header[0]] ^ kEcc.entry[1][header[1]] ^ kEcc.entry[2][header[2]];
}

// Short packet, or the header of a long one: channel and type, 16-bit data, ECC.
void writePacketHeader(QOV_UINT8 *out, QOV_UINT8 virtualChannel, QOV_UINT8 dataType, QOV_UINT16 data)
{
    out[0] = (QOV_UINT8)(((virtualChannel & 0x3) << 6) | (dataType & 0x3F));
    out[1] = (QOV_UINT8)(data & 0xFF);
    out[2] = (QOV_UINT8)(data >> 8);
    out[3] = headerEcc(out);
}

QOV_SIZE writeShortPacket(const void *privateData, QOV_UINT8 dataType, QOV_UINT16 data, QOV_UINT8 *out)
{
    if (out) {
        const CI_CONV_MIPI_PRIV *priv = static_cast<const CI_CONV_MIPI_PRIV *>(privateData);
        writePacketHeader(out, priv ? priv->ui8VirtualChannel : 0, dataType, data);
    }
    return kShortPacket;
}

void putWord32(QOV_UINT8 *out, QOV_UINT32 word)
{
    out[0] = (QOV_UINT8)word;
    out[1] = (QOV_UINT8)(word >> 8);
    out[2] = (QOV_UINT8)(word >> 16);
    out[3] = (QOV_UINT8)(word >> 24);
}

void putWord64(QOV_UINT8 *out, QOV_UINT64 word)
{
    if constexpr (std::endian::native == std::endian::little) {
        memcpy(out, &word, sizeof(word));
    } else {
        putWord32(out, (QOV_UINT32)word);
        putWord32(out + 4, (QOV_UINT32)(word >> 32));
    }
}

// Calls `pack` with an accessor in(k, j) of sample j (0 or 1) of pixel pair
// k, pairs being `stride` samples apart; the usual stride of 2 (pairs side
// by side) is a constant the compiler can fold.
template <typename Pack>
void forPairs(const QOV_UINT16 *samples, QOV_UINT32 stride, Pack &&pack)
{
    if (stride == 2) {
        pack([samples](QOV_UINT32 k, QOV_UINT32 j) -> QOV_UINT32 { return samples[(QOV_SIZE)k * 2 + j]; });
    } else {
        pack([samples, stride](QOV_UINT32 k, QOV_UINT32 j) -> QOV_UINT32 {
            return samples[(QOV_SIZE)k * stride + j];
        });
    }
}

// Writes `size` bytes of groups of `kPairs` pixel pairs, `kBytes` bytes
// each (the last group may be cut), a group at a time: `group(k, pairs)`
// gives the little-endian bits of the group that starts at pair k and holds
// `pairs` pairs (fewer only for the last one). Groups go out as whole 64-bit
// words while the word stays inside the output, each store overlapping the
// next group, which then rewrites those bytes.
template <QOV_UINT32 kPairs, QOV_SIZE kBytes, typename Group>
void packGroups(QOV_UINT32 pairs, QOV_SIZE size, QOV_UINT8 *out, Group &&group)
{
    static_assert(kBytes <= 8, "a group fits one word");
    const QOV_UINT32 groups = (pairs + kPairs - 1) / kPairs;
    QOV_UINT32 g = 0;
    for (; g < groups && (QOV_SIZE)g * kBytes + 8 <= size; ++g)
        putWord64(out + (QOV_SIZE)g * kBytes, group(g * kPairs, kPairs));
    for (; g < groups; ++g) {
        const QOV_UINT32 k = g * kPairs;
        const QOV_UINT64 bits = group(k, pairs - k < kPairs ? pairs - k : kPairs);
        for (QOV_SIZE b = (QOV_SIZE)g * kBytes; b < (QOV_SIZE)(g + 1) * kBytes && b < size; ++b)
            out[b] = (QOV_UINT8)(bits >> (8 * (b - (QOV_SIZE)g * kBytes)));
    }
}

// A unit of a MIPI RAW payload: the high 8 bits of `kSamples` samples, then
// their low kDepth - 8 bits, first sample in the least significant bits.
// A RAW10 unit from its four samples side by side in one word, the first in
// the low 16 bits: the high bytes close up in two shift-and-mask steps, and
// one multiply gathers the 2-bit low parts into bits 48-55, its other
// products all falling below.
QOV_UINT64 mipi10Unit(QOV_UINT64 q)
{
    QOV_UINT64 high = q >> 2 & 0x00FF00FF00FF00FFull;
    high = (high | high >> 8) & 0x0000FFFF0000FFFFull;
    high = (high | high >> 16) & 0xFFFFFFFFull;
    const QOV_UINT64 low = (q & 0x0003000300030003ull) * 0x0001000400100040ull >> 48;
    return high | low << 32;
}

template <unsigned kDepth, unsigned kSamples>
QOV_UINT64 mipiUnit(const QOV_UINT32 *samples)
{
    if constexpr (kDepth == 10 && kSamples == 4)
        return mipi10Unit(samples[0] | (QOV_UINT64)samples[1] << 16 | (QOV_UINT64)samples[2] << 32 |
                          (QOV_UINT64)samples[3] << 48);
    constexpr unsigned kLow = kDepth - 8;
    QOV_UINT64 high = 0, low = 0;
    for (unsigned j = 0; j < kSamples; ++j) {
        high |= (QOV_UINT64)(samples[j] >> kLow & 0xFF) << (8 * j);
        low |= (QOV_UINT64)(samples[j] & ((1u << kLow) - 1)) << (kLow * j);
    }
    return high | low << (8 * kSamples);
}

// A MIPI RAW payload of units of `kSamples` samples, `kUnits` units per
// store; a unit the line does not fill is completed with zero samples.
template <unsigned kDepth, unsigned kSamples, unsigned kUnits>
QOV_SIZE writeMipiRaw(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 pairs, QOV_UINT8 *outPixels)
{
    constexpr QOV_UINT32 kUnitPairs = kSamples / 2;
    constexpr QOV_SIZE kUnitBytes = kSamples * kDepth / 8;
    const QOV_SIZE size = (QOV_SIZE)((pairs + kUnitPairs - 1) / kUnitPairs) * kUnitBytes;
    if (!outPixels)
        return size;
    QOV_UINT32 units = 0;  // whole units already written
    if constexpr (kDepth == 10 && kSamples == 4 && std::endian::native == std::endian::little) {
        // pairs side by side: a unit's four samples are one 8-byte load
        if (inStride == 2) {
            const QOV_UINT32 whole = pairs / kUnitPairs;
            const QOV_UINT32 stored = size >= 8 ? (QOV_UINT32)((size - 8) / kUnitBytes + 1) : 0;
            units = whole < stored ? whole : stored;  // each store stays inside the payload
            for (QOV_UINT32 u = 0; u < units; ++u) {
                QOV_UINT64 q;
                memcpy(&q, inPixels + 4 * (QOV_SIZE)u, sizeof(q));
                putWord64(outPixels + kUnitBytes * u, mipi10Unit(q));
            }
        }
    }
    const QOV_UINT32 rest = pairs - units * kUnitPairs;
    const QOV_SIZE restSize = size - kUnitBytes * units;
    QOV_UINT8 *out = outPixels + kUnitBytes * units;
    forPairs(inPixels + (QOV_SIZE)units * kUnitPairs * inStride, inStride, [&](auto in) {
        packGroups<kUnitPairs * kUnits, kUnitBytes * kUnits>(rest, restSize, out, [&](QOV_UINT32 k, QOV_UINT32 n) {
            QOV_UINT64 bits = 0;
            for (QOV_UINT32 u = 0; u < kUnits && u * kUnitPairs < n; ++u) {
                QOV_UINT32 samples[kSamples] = {};
                for (QOV_UINT32 p = 0; p < kUnitPairs && u * kUnitPairs + p < n; ++p) {
                    samples[2 * p] = in(k + u * kUnitPairs + p, 0);
                    samples[2 * p + 1] = in(k + u * kUnitPairs + p, 1);
                }
                bits |= mipiUnit<kDepth, kSamples>(samples) << (8 * kUnitBytes * u);
            }
            return bits;
        });
    });
    return size;
}

#if defined(__x86_64__)
// Byte shuffles pack many samples per instruction: the kernels below take
// pixel pairs side by side and answer how many pairs they packed, leaving
// the rest (and everything on a processor without AVX2) to the
// group-at-a-time code. Each 128-bit half of a register packs its own run
// of samples; every store stays inside `size` bytes.
bool canShuffle()
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && gCodeLimit.load(std::memory_order_relaxed) >= CI_CONV_CODE_256;
}

// Byte permutes across a whole 512-bit register.
bool canPermute()
{
    static const bool vbmi = __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    return vbmi && gCodeLimit.load(std::memory_order_relaxed) == CI_CONV_CODE_ALL;
}

__attribute__((target("avx2"))) __m256i loadHalves(const QOV_UINT16 *low, const QOV_UINT16 *high)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(low))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i *>(high)), 1);
}

__attribute__((target("avx2"))) __m256i bothHalves(__m128i half) { return _mm256_broadcastsi128_si256(half); }

// 10-bit parallel: each half makes four words of three samples from twelve
// samples, taken from the bytes of samples 0-7 (v0) and 4-11 (v1).
__attribute__((target("avx2"))) QOV_UINT32 shuffleParallel10(const QOV_UINT16 *samples, QOV_UINT32 pairs,
                                                               QOV_SIZE size, QOV_UINT8 *out)
{
    const __m256i mask = _mm256_set1_epi16(0x3FF);
    const __m256i a0 = bothHalves(_mm_setr_epi8(0, 1, -1, -1, 6, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i a1 = bothHalves(_mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 4, 5, -1, -1, 10, 11, -1, -1));
    const __m256i b0 = bothHalves(_mm_setr_epi8(2, 3, -1, -1, 8, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i b1 = bothHalves(_mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 6, 7, -1, -1, 12, 13, -1, -1));
    const __m256i c0 = bothHalves(_mm_setr_epi8(4, 5, -1, -1, 10, 11, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1));
    const __m256i c1 = bothHalves(_mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, 8, 9, -1, -1, 14, 15, -1, -1));
    QOV_UINT32 done = 0;
    for (QOV_SIZE at = 0; done + 12 <= pairs && at + 32 <= size; done += 12, at += 32) {
        const QOV_UINT16 *in = samples + 2 * (QOV_SIZE)done;
        const __m256i v0 = _mm256_and_si256(loadHalves(in, in + 12), mask);
        const __m256i v1 = _mm256_and_si256(loadHalves(in + 4, in + 16), mask);
        const __m256i a = _mm256_or_si256(_mm256_shuffle_epi8(v0, a0), _mm256_shuffle_epi8(v1, a1));
        const __m256i b = _mm256_or_si256(_mm256_shuffle_epi8(v0, b0), _mm256_shuffle_epi8(v1, b1));
        const __m256i c = _mm256_or_si256(_mm256_shuffle_epi8(v0, c0), _mm256_shuffle_epi8(v1, c1));
        const __m256i words =
            _mm256_or_si256(a, _mm256_or_si256(_mm256_slli_epi32(b, 10), _mm256_slli_epi32(c, 20)));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + at), words);
    }
    return done;
}

// MIPI RAW10: each 128-bit half packs two units of four samples into 10
// bytes, so that 16 samples make 20 bytes. Each sample shifted left by 6
// holds its high byte in its upper byte; the low 2-bit pairs of a unit,
// multiplied into separate bits of each sample's lower byte, add up to the
// unit's fifth byte in a sum of absolute differences against zero. The
// halves are stored whole, the second 10 bytes after the first, so that
// the next stores rewrite the last 6 bytes of each; at the end of the
// payload (kExact) the second half is stored as 8 and 2 bytes.
constexpr QOV_UINT32 kShuffleMipi10Pairs = 8;
constexpr QOV_SIZE kShuffleMipi10Bytes = 20;
constexpr QOV_SIZE kShuffleMipi10Reach = 26;  // the bytes a unit's whole stores touch

template <bool kExact = false>
__attribute__((target("avx2"), always_inline)) inline void shuffleMipi10Unit(const QOV_UINT16 *in, QOV_UINT8 *out)
{
    const __m256i two = _mm256_set1_epi16(3);
    const __m256i lowWeights = _mm256_set1_epi64x(0x0040001000040001);
    const __m256i highBytes = _mm256_set1_epi16((short)0xFF00);
    const __m256i order = bothHalves(_mm_setr_epi8(1, 3, 5, 7, 0, 9, 11, 13, 15, 8, -1, -1, -1, -1, -1, -1));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(in));
    const __m256i low = _mm256_sad_epu8(_mm256_mullo_epi16(_mm256_and_si256(v, two), lowWeights),
                                        _mm256_setzero_si256());
    const __m256i high = _mm256_and_si256(_mm256_slli_epi16(v, 6), highBytes);
    const __m256i units = _mm256_shuffle_epi8(_mm256_or_si256(high, low), order);
    const __m128i second = _mm256_extracti128_si256(units, 1);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm256_castsi256_si128(units));
    if constexpr (kExact) {
        _mm_storel_epi64(reinterpret_cast<__m128i *>(out + 10), second);
        const QOV_UINT16 last = (QOV_UINT16)_mm_extract_epi16(second, 4);
        memcpy(out + 18, &last, sizeof(last));
    } else {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 10), second);
    }
}

// Packs whole units from pair `done` on while they fit in `size` bytes,
// the last one exactly; answers the pairs then packed.
__attribute__((target("avx2"), always_inline)) inline QOV_UINT32 shuffleMipi10From(const QOV_UINT16 *samples,
                                                                                   QOV_UINT32 done, QOV_UINT32 pairs,
                                                                                   QOV_SIZE size, QOV_UINT8 *out)
{
    QOV_SIZE at = (QOV_SIZE)done / kShuffleMipi10Pairs * kShuffleMipi10Bytes;
    // a counted loop, unrolled: bounds checks per unit would cost about as
    // much as the unit itself
    const QOV_SIZE whole = (pairs - done) / kShuffleMipi10Pairs;
    const QOV_SIZE fit = at + kShuffleMipi10Reach <= size ? (size - at - kShuffleMipi10Reach) / kShuffleMipi10Bytes + 1
                                                           : 0;
    const QOV_SIZE units = whole < fit ? whole : fit;
    const QOV_UINT16 *in = samples + 2 * (QOV_SIZE)done;
    QOV_UINT8 *to = out + at;
#pragma GCC unroll 4
    for (QOV_SIZE u = 0; u < units; ++u)
        shuffleMipi10Unit(in + 2 * kShuffleMipi10Pairs * u, to + kShuffleMipi10Bytes * u);
    done += (QOV_UINT32)units * kShuffleMipi10Pairs;
    at += units * kShuffleMipi10Bytes;
    if (done + kShuffleMipi10Pairs <= pairs) {
        shuffleMipi10Unit<true>(samples + 2 * (QOV_SIZE)done, out + at);
        done += kShuffleMipi10Pairs;
    }
    return done;
}

__attribute__((target("avx2"))) QOV_UINT32 shuffleMipi10(const QOV_UINT16 *samples, QOV_UINT32 done,
                                                           QOV_UINT32 pairs, QOV_SIZE size, QOV_UINT8 *out)
{
    return shuffleMipi10From(samples, done, pairs, size, out);
}

// MIPI RAW10 with AVX-512: the arithmetic above over 32 samples, whose
// eight units one byte permute across the register gathers into its first
// 40 bytes. Registers are stored whole, each store overlapping the next
// unit, while they fit in `size` bytes; the last one is stored as its 40
// bytes. Answers the pairs packed from the first on.
constexpr QOV_UINT32 kPermuteMipi10Pairs = 16;
constexpr QOV_SIZE kPermuteMipi10Bytes = 40;
constexpr QOV_SIZE kPermuteMipi10Reach = 64;

template <bool kExact = false>
__attribute__((target("avx512f,avx512bw,avx512vbmi"), always_inline)) inline void permuteMipi10Unit(
    const QOV_UINT16 *in, QOV_UINT8 *out)
{
    alignas(64) static constexpr QOV_UINT8 kOrder[64] = {
        1,  3,  5,  7,  0,  9,  11, 13, 15, 8,  17, 19, 21, 23, 16, 25, 27, 29, 31, 24,
        33, 35, 37, 39, 32, 41, 43, 45, 47, 40, 49, 51, 53, 55, 48, 57, 59, 61, 63, 56};
    const __m512i v = _mm512_loadu_si512(in);
    const __m512i low = _mm512_sad_epu8(
        _mm512_mullo_epi16(_mm512_and_si512(v, _mm512_set1_epi16(3)), _mm512_set1_epi64(0x0040001000040001)),
        _mm512_setzero_si512());
    // (shifted & 0xFF00) | low
    const __m512i both =
        _mm512_ternarylogic_epi64(_mm512_slli_epi16(v, 6), _mm512_set1_epi16((short)0xFF00), low, 0xEA);
    const __m512i units = _mm512_maskz_permutexvar_epi8(~0ull, _mm512_load_si512(kOrder), both);
    if constexpr (kExact)
        _mm512_mask_storeu_epi8(out, (1ull << kPermuteMipi10Bytes) - 1, units);
    else
        _mm512_storeu_si512(out, units);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) QOV_UINT32 permuteMipi10(const QOV_UINT16 *samples,
                                                                                QOV_UINT32 pairs, QOV_SIZE size,
                                                                                QOV_UINT8 *out)
{
    const QOV_SIZE whole = pairs / kPermuteMipi10Pairs;
    const QOV_SIZE fit = size >= kPermuteMipi10Reach ? (size - kPermuteMipi10Reach) / kPermuteMipi10Bytes + 1 : 0;
    const QOV_SIZE units = whole < fit ? whole : fit;
#pragma GCC unroll 4
    for (QOV_SIZE u = 0; u < units; ++u)
        permuteMipi10Unit(samples + 2 * kPermuteMipi10Pairs * u, out + kPermuteMipi10Bytes * u);
    QOV_UINT32 done = (QOV_UINT32)units * kPermuteMipi10Pairs;
    if (done + kPermuteMipi10Pairs <= pairs) {
        permuteMipi10Unit<true>(samples + 2 * (QOV_SIZE)done, out + units * kPermuteMipi10Bytes);
        done += kPermuteMipi10Pairs;
    }
    return done;
}

// A RAW10 payload of `size` bytes packed and folded in one pass: the
// packer keeps kFoldLag bytes ahead of the fold, so that the fold reads
// bytes whose stores have already reached the nearest cache. Answers the
// payload's checksum; `size` is at least kFoldedMinimum.
constexpr QOV_SIZE kFoldLag = 512;

__attribute__((target("avx2,vpclmulqdq,pclmul"))) QOV_UINT16 shuffleMipi10Checked(const QOV_UINT16 *samples,
                                                                                  QOV_UINT32 pairs, QOV_SIZE size,
                                                                                  QOV_UINT8 *out)
{
    QOV_UINT32 done = 0;
    bool rest = false;  // the pairs after the last whole unit are packed
    auto ready = [&](QOV_SIZE bytes) __attribute__((target("avx2"), always_inline)) {
        const QOV_SIZE ahead = (bytes + kFoldLag) / kShuffleMipi10Bytes * kShuffleMipi10Pairs + kShuffleMipi10Pairs;
        done = shuffleMipi10From(samples, done, ahead < pairs ? (QOV_UINT32)ahead : pairs, size, out);
        if (!rest && (QOV_SIZE)done / 2 * 5 < bytes) {
            writeMipiRaw<10, 4, 1>(samples + 2 * (QOV_SIZE)done, 2, pairs - done, out + (QOV_SIZE)done / 2 * 5);
            rest = true;
        }
    };
    return foldedChecksumWide(out, size, ready);
}
#else
bool canShuffle() { return false; }
bool canPermute() { return false; }
QOV_UINT32 shuffleParallel10(const QOV_UINT16 *, QOV_UINT32, QOV_SIZE, QOV_UINT8 *) { return 0; }
QOV_UINT32 shuffleMipi10(const QOV_UINT16 *, QOV_UINT32, QOV_UINT32, QOV_SIZE, QOV_UINT8 *) { return 0; }
QOV_UINT32 permuteMipi10(const QOV_UINT16 *, QOV_UINT32, QOV_SIZE, QOV_UINT8 *) { return 0; }
QOV_UINT16 shuffleMipi10Checked(const QOV_UINT16 *, QOV_UINT32, QOV_SIZE, QOV_UINT8 *) { return 0; }
#endif

QOV_UINT64 alignUp(QOV_UINT64 x)
{
    return (x + kAlignment - 1) / kAlignment * kAlignment;
}

bool isMipi(CI_CONV_FMT format)
{
    return format == CI_DGFMT_MIPI || format == CI_DGFMT_MIPI_LF;
}

// Line stride of a converted frame. The frame-start packet precedes line 0
// and the frame-end packet follows the last line, so a one-line frame keeps
// room for both.
QOV_UINT64 frameStride(const CI_CONVERTER &conv, QOV_UINT32 width, QOV_UINT32 height)
{
    QOV_UINT64 line = conv.pfnLineConverter(conv.privateData, nullptr, 2, width / 2, nullptr);
    QOV_UINT64 header = conv.pfnHeaderWriter ? conv.pfnHeaderWriter(conv.privateData, nullptr) : 0;
    QOV_UINT64 footer = conv.pfnFooterWriter ? conv.pfnFooterWriter(conv.privateData, nullptr) : 0;
    QOV_UINT64 framing = height == 1 ? header + footer : (header > footer ? header : footer);
    return alignUp(line + framing);
}

bool mosaicOf(QOV_INT32 colourModel, MOSAICType *pMosaic)
{
    switch (colourModel) {
    case SimImage_RGGB:
        *pMosaic = MOSAIC_RGGB;
        return true;
    case SimImage_GRBG:
        *pMosaic = MOSAIC_GRBG;
        return true;
    case SimImage_GBRG:
        *pMosaic = MOSAIC_GBRG;
        return true;
    case SimImage_BGGR:
        *pMosaic = MOSAIC_BGGR;
        return true;
    default:
        return false;
    }
}

// Widens a sample of `depth` bits to 16 bits by repeating its bit pattern.
QOV_UINT16 replicateTo16(QOV_UINT32 v, int depth)
{
    QOV_UINT32 r = 0;
    for (int shift = 16 - depth; shift > -depth; shift -= depth)
        r |= shift >= 0 ? v << shift : v >> -shift;
    return (QOV_UINT16)r;
}

}  // namespace

/*-------------------------------------------------------------------------
 * Packers
 *-------------------------------------------------------------------------*/

QOV_SIZE CI_Convert_Parallel10(void *, const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                               QOV_UINT8 *outPixels)
{
    const QOV_UINT32 groups = NpixelsPerCh / 3;
    const QOV_UINT32 rest = NpixelsPerCh % 3;
    const QOV_SIZE size = (QOV_SIZE)groups * 8 + (rest == 2 ? 8 : rest == 1 ? 4 : 0);
    if (!outPixels)
        return size;
    if (inStride == 2 && canShuffle()) {
        const QOV_UINT32 done = shuffleParallel10(inPixels, NpixelsPerCh, size, outPixels);
        if (done) {
            CI_Convert_Parallel10(nullptr, inPixels + 2 * (QOV_SIZE)done, 2, NpixelsPerCh - done,
                                  outPixels + (QOV_SIZE)done / 3 * 8);
            return size;
        }
    }
    // Words of three samples each: a group of three pixel pairs fills two.
    forPairs(inPixels, inStride, [&](auto in) {
        for (QOV_UINT32 g = 0; g < groups; ++g) {
            const QOV_UINT32 k = 3 * g;
            const QOV_UINT64 low = (in(k, 0) & 0x3FFu) | (in(k, 1) & 0x3FFu) << 10 | (in(k + 1, 0) & 0x3FFu) << 20;
            const QOV_UINT64 high =
                (in(k + 1, 1) & 0x3FFu) | (in(k + 2, 0) & 0x3FFu) << 10 | (in(k + 2, 1) & 0x3FFu) << 20;
            putWord64(outPixels + (QOV_SIZE)g * 8, low | high << 32);
        }
        QOV_UINT8 *out = outPixels + (QOV_SIZE)groups * 8;
        const QOV_UINT32 k = 3 * groups;
        if (rest == 2) {
            putWord32(out, (in(k, 0) & 0x3FFu) | (in(k, 1) & 0x3FFu) << 10 | (in(k + 1, 0) & 0x3FFu) << 20);
            putWord32(out + 4, in(k + 1, 1) & 0x3FFu);
        } else if (rest == 1) {
            putWord32(out, (in(k, 0) & 0x3FFu) | (in(k, 1) & 0x3FFu) << 10);
        }
    });
    return size;
}

QOV_SIZE CI_Convert_Parallel12(void *, const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                               QOV_UINT8 *outPixels)
{
    const QOV_SIZE size = (QOV_SIZE)NpixelsPerCh * 3;
    if (!outPixels)
        return size;
    // 3 bytes per pixel pair: 12 bits of the first sample, then of the second.
    forPairs(inPixels, inStride, [&](auto in) {
        packGroups<2, 6>(NpixelsPerCh, size, outPixels, [&](QOV_UINT32 k, QOV_UINT32 pairs) {
            QOV_UINT64 bits = 0;
            for (QOV_UINT32 j = 0; j < pairs; ++j)
                bits |= (QOV_UINT64)((in(k + j, 0) & 0xFFFu) | (in(k + j, 1) & 0xFFFu) << 12) << (24 * j);
            return bits;
        });
    });
    return size;
}

QOV_SIZE MIPI_Write_10(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels)
{
    const QOV_SIZE size = writeMipiRaw<10, 4, 1>(inPixels, inStride, NpixelsPerCh, nullptr);
    if (outPixels && inStride == 2 && canShuffle()) {
        QOV_UINT32 done = canPermute() ? permuteMipi10(inPixels, NpixelsPerCh, size, outPixels) : 0;
        done = shuffleMipi10(inPixels, done, NpixelsPerCh, size, outPixels);
        writeMipiRaw<10, 4, 1>(inPixels + 2 * (QOV_SIZE)done, 2, NpixelsPerCh - done, outPixels + (QOV_SIZE)done / 2 * 5);
        return size;
    }
    return writeMipiRaw<10, 4, 1>(inPixels, inStride, NpixelsPerCh, outPixels);
}

QOV_SIZE MIPI_Write_12(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels)
{
    return writeMipiRaw<12, 2, 2>(inPixels, inStride, NpixelsPerCh, outPixels);
}

QOV_SIZE MIPI_Write_14(const QOV_UINT16 *inPixels, QOV_UINT32 inStride, QOV_UINT32 NpixelsPerCh,
                       QOV_UINT8 *outPixels)
{
    return writeMipiRaw<14, 4, 1>(inPixels, inStride, NpixelsPerCh, outPixels);
}

namespace {

// Packs a line's payload of `bytes` bytes and, where packing and folding
// go together in one pass, its checksum too; answers whether it did. (With
// 512-bit multiplies, folding the packed line from the nearest cache
// afterwards is quicker.)
bool writePayload(const CI_CONV_MIPI_PRIV *priv, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                  QOV_UINT32 NpixelsPerCh, QOV_SIZE bytes, QOV_UINT8 *out)
{
    if (priv->pfnMipiWrite == MIPI_Write_10 && inStride == 2 && bytes >= kFoldedMinimum && canShuffle() &&
        foldWidth() == 2) {
        putChecksum(out + bytes, shuffleMipi10Checked(inPixels, NpixelsPerCh, bytes, out));
        return true;
    }
    priv->pfnMipiWrite(inPixels, inStride, NpixelsPerCh, out);
    return false;
}

}  // namespace

// A MIPI line: the line-start packet (long format), the long packet's
// header, payload and checksum, and the line-end packet (long format).
QOV_SIZE CI_Convert_MIPI_Line(void *privateData, const QOV_UINT16 *inPixels, QOV_UINT32 inStride,
                              QOV_UINT32 NpixelsPerCh, QOV_UINT8 *outPixels)
{
    const CI_CONV_MIPI_PRIV *priv = static_cast<const CI_CONV_MIPI_PRIV *>(privateData);
    if (!priv || !priv->pfnMipiWrite)
        return 0;
    const QOV_SIZE bytes = priv->pfnMipiWrite(inPixels, inStride, NpixelsPerCh, nullptr);
    const QOV_SIZE lineFraming = priv->bLongFormat ? 2 * kShortPacket : 0;
    const QOV_SIZE size = kLongHeader + bytes + kChecksum + lineFraming;
    if (!outPixels)
        return size;

    QOV_UINT8 *out = outPixels;
    const QOV_UINT16 lineNumber = (QOV_UINT16)priv->i32LineNumber;
    if (priv->bLongFormat)
        out += writeShortPacket(priv, DG_MIPI_ID_LS, lineNumber, out);
    writePacketHeader(out, priv->ui8VirtualChannel, priv->ui8DataId, (QOV_UINT16)bytes);
    out += kLongHeader;
    if (!writePayload(priv, inPixels, inStride, NpixelsPerCh, bytes, out))
        putChecksum(out + bytes, payloadChecksum(out, bytes));
    out += bytes + kChecksum;
    if (priv->bLongFormat)
        writeShortPacket(priv, DG_MIPI_ID_LE, lineNumber, out);
    return size;
}

QOV_SIZE CI_Convert_MIPI_Header(void *privateData, QOV_UINT8 *out)
{
    const CI_CONV_MIPI_PRIV *priv = static_cast<const CI_CONV_MIPI_PRIV *>(privateData);
    return writeShortPacket(privateData, DG_MIPI_ID_FS, priv ? priv->ui16FrameNumber : 0, out);
}

QOV_SIZE CI_Convert_MIPI_Footer(void *privateData, QOV_UINT8 *out)
{
    const CI_CONV_MIPI_PRIV *priv = static_cast<const CI_CONV_MIPI_PRIV *>(privateData);
    return writeShortPacket(privateData, DG_MIPI_ID_FE, priv ? priv->ui16FrameNumber : 0, out);
}

/*-------------------------------------------------------------------------
 * Converter
 *-------------------------------------------------------------------------*/

QOV_RESULT CI_ConverterConfigure(CI_CONVERTER *pConverter, CI_CONV_FMT eFormat, QOV_UINT8 ui8Bitdepth)
{
    if (!pConverter) {
        LOG_ERROR("pConverter is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    // A converter configured for MIPI before owns its private data.
    if (pConverter->pfnLineConverter == CI_Convert_MIPI_Line)
        free(pConverter->privateData);
    pConverter->eFormat = eFormat;
    pConverter->ui8FormatBitdepth = ui8Bitdepth;
    pConverter->pfnLineConverter = nullptr;
    pConverter->pfnHeaderWriter = nullptr;
    pConverter->pfnFooterWriter = nullptr;
    pConverter->privateData = nullptr;

    switch (eFormat) {
    case CI_DGFMT_PARALLEL:
        if (ui8Bitdepth == 10) {
            pConverter->pfnLineConverter = CI_Convert_Parallel10;
        } else if (ui8Bitdepth == 12) {
            pConverter->pfnLineConverter = CI_Convert_Parallel12;
        } else {
            LOG_ERROR("Unsupported bitpdeth %d for parallel format\n", ui8Bitdepth);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        return QOV_SUCCESS;

    case CI_DGFMT_MIPI:
    case CI_DGFMT_MIPI_LF: {
        CI_CONV_MIPI_PRIV *priv = static_cast<CI_CONV_MIPI_PRIV *>(calloc(1, sizeof(CI_CONV_MIPI_PRIV)));
        if (!priv) {
            LOG_ERROR("Failed to create MIPI private data\n");
            return QOV_ERROR_NO_MEMORY;
        }
        priv->bLongFormat = eFormat == CI_DGFMT_MIPI_LF;
        switch (ui8Bitdepth) {
        case 12:
            priv->ui8DataId = DG_MIPI_ID_RAW12;
            priv->pfnMipiWrite = MIPI_Write_12;
            break;
        case 14:
            priv->ui8DataId = DG_MIPI_ID_RAW14;
            priv->pfnMipiWrite = MIPI_Write_14;
            break;
        case 10:
            priv->ui8DataId = DG_MIPI_ID_RAW10;
            priv->pfnMipiWrite = MIPI_Write_10;
            break;
        default:
            LOG_ERROR("Unsupported bitpdeth %d for MIPI format\n", ui8Bitdepth);
            free(priv);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        priv->ui16FrameNumber = 1;
        pConverter->privateData = priv;
        pConverter->pfnLineConverter = CI_Convert_MIPI_Line;
        pConverter->pfnHeaderWriter = CI_Convert_MIPI_Header;
        pConverter->pfnFooterWriter = CI_Convert_MIPI_Footer;
        return QOV_SUCCESS;
    }

    default:
        LOG_ERROR("Unsupported format %d\n", (int)eFormat);
        return QOV_ERROR_NOT_SUPPORTED;
    }
}

QOV_UINT32 CI_ConverterFrameSize(const CI_CONVERTER *pConverter, QOV_UINT32 ui32Width, QOV_UINT32 ui32Height)
{
    if (!pConverter) {
        LOG_ERROR("pConverter is NULL\n");
        return 0;
    }
    if (!pConverter->pfnLineConverter) {
        LOG_ERROR("pConverted was not configured properly or pFrame has no attached data\n");
        return 0;
    }
    const QOV_UINT64 size = frameStride(*pConverter, ui32Width, ui32Height) * ui32Height;
    if (size > UINT32_MAX) {
        LOG_ERROR("a frame of %ux%u is too large to be converted\n", ui32Width, ui32Height);
        return 0;
    }
    return (QOV_UINT32)size;
}

QOV_RESULT CI_ConverterConvertFrame(CI_CONVERTER *pConverter, const sSimImageIn *pImage, CI_DG_FRAME *pFrame)
{
    if (!pConverter || !pImage || !pFrame) {
        LOG_ERROR("pConverter or pImage or pFrame is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (!pConverter->pfnLineConverter || !pFrame->data) {
        LOG_ERROR("pConverted was not configured properly or pFrame has not attached data\n");
        return QOV_ERROR_NOT_INITIALISED;
    }
    LOG_PERF("start\n");

    const QOV_UINT32 width = pImage->info.ui32Width;
    const QOV_UINT32 height = pImage->info.ui32Height;
    if (!pImage->pBuffer || width < 2 || height == 0) {
        LOG_ERROR("input image of %ux%u has no samples to convert\n", width, height);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    const QOV_UINT64 stride = frameStride(*pConverter, width, height);
    const QOV_UINT64 frameBytes = stride * height;
    if (stride > UINT32_MAX || frameBytes > UINT32_MAX) {
        LOG_ERROR("a frame of %ux%u is too large to be converted\n", width, height);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    pFrame->eFormat = pConverter->eFormat;
    pFrame->ui8FormatBitdepth = pConverter->ui8FormatBitdepth;
    pFrame->ui32Stride = (QOV_UINT32)stride;
    pFrame->ui32Width = width;
    pFrame->ui32Height = height;
    if (!mosaicOf(pImage->info.eColourModel, &pFrame->eBayerMosaic)) {
        LOG_ERROR("input image needs to be BAYER!\n");
        return QOV_ERROR_FAILURE;
    }
    if (pFrame->ui32AllocSize < frameBytes) {
        LOG_ERROR("given pFrame is too small (%d Bytes) to store converted data (%dx%d = %d Bytes)\n",
                  (int)pFrame->ui32AllocSize, (int)stride, (int)height, (int)frameBytes);
        return QOV_ERROR_NOT_SUPPORTED;
    }

    void *priv = pConverter->privateData;
    CI_CONV_MIPI_PRIV *mipi = isMipi(pConverter->eFormat) ? static_cast<CI_CONV_MIPI_PRIV *>(priv) : nullptr;
    const QOV_UINT32 pixelsPerCh = width / 2;
    const QOV_SIZE lineBytes = pConverter->pfnLineConverter(priv, nullptr, 2, pixelsPerCh, nullptr);
    if (mipi) {
        // the long packet's 16-bit length field must hold the payload
        const QOV_SIZE packet = lineBytes - (mipi->bLongFormat ? 2 * kShortPacket : 0);
        if (packet - kLongHeader - kChecksum > 0xFFFF) {
            LOG_ERROR("a line of %u pixels does not fit in one MIPI packet\n", width);
            return QOV_ERROR_NOT_SUPPORTED;
        }
        pFrame->ui32PacketWidth = (QOV_UINT32)packet;
    } else {
        pFrame->ui32PacketWidth = (QOV_UINT32)lineBytes;
    }

    // Every byte the packets leave (line padding, the rest of the buffer) is zero.
    QOV_UINT8 *out = static_cast<QOV_UINT8 *>(pFrame->data);
    memset(out + frameBytes, 0, pFrame->ui32AllocSize - frameBytes);
    const QOV_SIZE header = pConverter->pfnHeaderWriter ? pConverter->pfnHeaderWriter(priv, out) : 0;

    QOV_SIZE lineStart = 0;
    for (QOV_UINT32 i = 0; i < height; ++i) {
        const QOV_SIZE inLine = i == 0 ? header : 0;
        lineStart = (QOV_SIZE)i * stride + inLine;
        if (mipi)
            mipi->i32LineNumber = (QOV_INT32)(i + 1);
        if (inLine + lineBytes > stride) {
            LOG_ERROR("incorrect number of bytes written (%d) for line %d (stride is %d)\n",
                      (int)(inLine + lineBytes), (int)i, (int)stride);
            return QOV_ERROR_FAILURE;
        }
        const QOV_UINT16 *in = pImage->pBuffer + (QOV_SIZE)i * width;
        const QOV_SIZE written = pConverter->pfnLineConverter(priv, in, 2, pixelsPerCh, out + lineStart);
        if (written != lineBytes) {
            LOG_ERROR("incorrect number of bytes written (%d) for line %d (stride is %d)\n",
                      (int)(inLine + written), (int)i, (int)stride);
            return QOV_ERROR_FAILURE;
        }
        memset(out + lineStart + lineBytes, 0, (QOV_SIZE)(i + 1) * stride - (lineStart + lineBytes));
    }
    // the frame end follows the last line's data
    if (pConverter->pfnFooterWriter)
        pConverter->pfnFooterWriter(priv, out + lineStart + lineBytes);

    LOG_PERF("done\n");
    return QOV_SUCCESS;
}

void CI_ConverterLimitCode(CI_CONV_CODE eCode)
{
    gCodeLimit.store(eCode, std::memory_order_relaxed);
}

QOV_RESULT CI_ConverterClear(CI_CONVERTER *pConverter)
{
    if (!pConverter)
        return QOV_ERROR_INVALID_ARGUMENT;
    free(pConverter->privateData);
    pConverter->privateData = nullptr;
    // The MIPI writers cannot work without their private data: a cleared
    // converter is an unconfigured one, which conversions refuse.
    pConverter->pfnLineConverter = nullptr;
    pConverter->pfnHeaderWriter = nullptr;
    pConverter->pfnFooterWriter = nullptr;
    return QOV_SUCCESS;
}

QOV_RESULT CI_Convert_HDRInsertion(const sSimImageIn *pImage, CI_BUFFER *pBuffer, QOV_BOOL8 bRescale)
{
    if (!pImage || !pBuffer || !pImage->pBuffer || !pBuffer->data) {
        LOG_ERROR("pImage or pBuffer is NULL\n");
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    if (pImage->info.eColourModel != SimImage_RGB64) {
        LOG_ERROR("given pImage needs to be RGB\n");
        return QOV_ERROR_NOT_SUPPORTED;
    }

    const QOV_UINT32 width = pImage->info.ui32Width;
    const QOV_UINT32 height = pImage->info.ui32Height;
    PIXELTYPE type{};
    if (PixelTransformRGB(&type, BGR_161616_64) != QOV_SUCCESS) {
        LOG_ERROR("Failed to get information about %s", FormatString(BGR_161616_64));
        return QOV_ERROR_FAILURE;
    }
    CI_SIZEINFO layout{};
    if (CI_ALLOC_RGBSizeInfo(&type, width, height, nullptr, &layout) != QOV_SUCCESS) {
        LOG_ERROR("Failed to get allocation information about %s for image size %dx%d",
                  FormatString(BGR_161616_64), (int)width, (int)height);
        return QOV_ERROR_FAILURE;
    }
    const QOV_UINT64 needed = (QOV_UINT64)layout.ui32Stride * layout.ui32Height;
    if (pBuffer->ui32Size < needed) {
        LOG_ERROR("a buffer of %u Bytes is too small - %u needed\n", pBuffer->ui32Size,
                  (unsigned)(needed > UINT32_MAX ? UINT32_MAX : needed));
        return QOV_ERROR_INVALID_ARGUMENT;
    }
    const int depth = pImage->info.ui8BitDepth;
    if (depth > 16) {
        LOG_ERROR("unexpected large bitdepth of %d in input image!\n", depth);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (bRescale && depth == 0) {
        LOG_ERROR("unexpected bitdepth of %d in input image!\n", depth);
        return QOV_ERROR_NOT_SUPPORTED;
    }
    if (pImage->info.stride < (QOV_SIZE)width * 4 * sizeof(QOV_UINT16)) {
        LOG_ERROR("input image lines of %zu Bytes cannot hold %u pixels\n", (size_t)pImage->info.stride, width);
        return QOV_ERROR_INVALID_ARGUMENT;
    }

    // The reader's isBGR marks samples in red, green, blue order; the output
    // is blue, green, red, 0.
    const int blue = pImage->info.isBGR ? 2 : 0;
    const int red = 2 - blue;
    const QOV_UINT8 *inBase = reinterpret_cast<const QOV_UINT8 *>(pImage->pBuffer);
    QOV_UINT8 *outBase = static_cast<QOV_UINT8 *>(pBuffer->data);
    for (QOV_UINT32 y = 0; y < height; ++y) {
        const QOV_UINT16 *in = reinterpret_cast<const QOV_UINT16 *>(inBase + (QOV_SIZE)y * pImage->info.stride);
        QOV_UINT16 *out = reinterpret_cast<QOV_UINT16 *>(outBase + (QOV_SIZE)y * layout.ui32Stride);
        for (QOV_UINT32 x = 0; x < width; ++x, in += 4, out += 4) {
            QOV_UINT16 b = in[blue], g = in[1], r = in[red];
            if (bRescale) {
                b = replicateTo16(b, depth);
                g = replicateTo16(g, depth);
                r = replicateTo16(r, depth);
            }
            out[0] = b;
            out[1] = g;
            out[2] = r;
            out[3] = 0;
        }
    }
    return QOV_SUCCESS;
}
