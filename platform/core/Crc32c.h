#pragma once

#include <QtGlobal>

// CRC-32C (Castagnoli), the checksum of a book file's identity and of the recovery journal's
// records. crc is the value so far (0 to start), so a long input can be fed in pieces.
quint32 Crc32c(const void* data, qsizetype size, quint32 crc = 0);

// The table form that Crc32c uses where the processor has no CRC-32C instruction; the same
// values, declared so that both forms can be checked on any machine.
quint32 Crc32cPortable(const void* data, qsizetype size, quint32 crc = 0);
