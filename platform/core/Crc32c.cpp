// Our own because the core links QtCore alone, and Qt offers only CRC-16 (qChecksum); zlib's
// crc32 is the other polynomial. A 100-year book is checksummed on every read and save, so the
// processor's own CRC-32C instruction is used where there is one (x86-64 with SSE 4.2, about ten
// times faster), and slicing by eight elsewhere.
#include "platform/core/Crc32c.h"

#include <QtEndian>

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <nmmintrin.h>
#define TAVRINO_CRC32C_SSE42 1
#endif

namespace {

using Tables = std::array<std::array<quint32, 256>, 8>;

constexpr Tables MakeTables() {
    Tables t{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0x82F63B78u : c >> 1;
        t[0][i] = c;
    }
    for (int s = 1; s < 8; ++s)
        for (quint32 i = 0; i < 256; ++i)
            t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
    return t;
}

constexpr Tables kTables = MakeTables();

#ifdef TAVRINO_CRC32C_SSE42
__attribute__((target("sse4.2"))) quint32 Sse42(const unsigned char* p, qsizetype size,
                                                quint32 crc) {
    quint64 c = crc;
    for (; size >= 8; p += 8, size -= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        c = _mm_crc32_u64(c, word);
    }
    crc = quint32(c);
    for (; size > 0; --size)
        crc = _mm_crc32_u8(crc, *p++);
    return crc;
}

bool HaveSse42() {
    // Decided while static objects are made, before the compiler's own detection may have run.
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse4.2");
}

const bool kHaveSse42 = HaveSse42();
#endif

} // namespace

quint32 Crc32c(const void* data, qsizetype size, quint32 crc) {
#ifdef TAVRINO_CRC32C_SSE42
    if (kHaveSse42)
        return ~Sse42(static_cast<const unsigned char*>(data), size, ~crc);
#endif
    return Crc32cPortable(data, size, crc);
}

quint32 Crc32cPortable(const void* data, qsizetype size, quint32 crc) {
    const auto* p = static_cast<const unsigned char*>(data);
    crc = ~crc;
    while (size >= 8) {
        quint32 lo;
        quint32 hi;
        std::memcpy(&lo, p, 4);
        std::memcpy(&hi, p + 4, 4);
        if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN) {
            lo = qbswap(lo);
            hi = qbswap(hi);
        }
        lo ^= crc;
        crc = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
              kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
              kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
        p += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = (crc >> 8) ^ kTables[0][(crc ^ *p++) & 0xFF];
    return ~crc;
}
