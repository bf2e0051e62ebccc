#include "platform/core/CodePage932.h"

#include <array>
#include <cstdint>

namespace {

#include "platform/core/CodePage932Table.inc"

// Bytes that cannot decode as themselves get Windows' default character for 932. A lead byte
// followed by a trail byte consumes both, mapped or not; a lead byte followed by anything else,
// or at the very end, becomes U+30FB alone and the next byte is decoded on its own.
constexpr char16_t kDefaultChar = u'\u30FB';
constexpr std::uint8_t kNone = 0xFF;

constexpr bool IsLeadByte(unsigned b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

constexpr bool IsTrailByte(unsigned b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Row of kCp932Double for each lead byte, kNone for bytes that stand alone.
constexpr std::array<std::uint8_t, 256> kLeadRow = [] {
    std::array<std::uint8_t, 256> rows{};
    std::uint8_t next = 0;
    for (unsigned b = 0; b < 256; ++b)
        rows[b] = IsLeadByte(b) ? next++ : kNone;
    return rows;
}();

// Column of kCp932Double for each trail byte, kNone for bytes that cannot follow a lead byte.
constexpr std::array<std::uint8_t, 256> kTrailColumn = [] {
    std::array<std::uint8_t, 256> columns{};
    std::uint8_t next = 0;
    for (unsigned b = 0; b < 256; ++b)
        columns[b] = IsTrailByte(b) ? next++ : kNone;
    return columns;
}();

static_assert(kLeadRow[0xFC] + 1 == std::size(kCp932Double));
static_assert(kTrailColumn[0xFC] + 1 == std::size(kCp932Double[0]));

} // namespace

QString DecodeCodePage932(QByteArrayView bytes) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const qsizetype size = bytes.size();

    // Every byte yields at most one UTF-16 unit, so the input length bounds the output.
    QString result(size, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(result.data());
    char16_t* const begin = out;

    qsizetype i = 0;
    while (i < size) {
        // Runs of ASCII dominate most books; copy them without the table lookups.
        while (i < size && in[i] < 0x80)
            *out++ = in[i++];
        if (i == size)
            break;
        const std::uint8_t b = in[i];
        const std::uint8_t row = kLeadRow[b];
        if (row == kNone) {
            *out++ = kCp932Single[b];
            ++i;
            continue;
        }
        const std::uint8_t column = i + 1 < size ? kTrailColumn[in[i + 1]] : kNone;
        if (column == kNone) {
            *out++ = kDefaultChar;
            ++i;
        } else {
            *out++ = kCp932Double[row][column];
            i += 2;
        }
    }
    result.truncate(out - begin);
    return result;
}
