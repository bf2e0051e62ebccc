// Our own because the core links QtCore alone, and Qt offers only CRC-16 (qChecksum); zlib's
// crc32 is the other polynomial. Slicing by eight: a few lines more than one table, about four
// times faster, which matters when a 100-year book is checksummed on every read and save.
#include "platform/core/Crc32c.h"

#include <QtEndian>

#include <array>
#include <cstring>

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

} // namespace

quint32 Crc32c(const void* data, qsizetype size, quint32 crc) {
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
