#pragma once

#include <QtGlobal>

// CRC-32C (Castagnoli), the checksum of a book file's identity and of the recovery journal's
// records. crc is the value so far (0 to start), so a long input can be fed in pieces.
quint32 Crc32c(const void* data, qsizetype size, quint32 crc = 0);
