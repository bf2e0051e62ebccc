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

namespace {

// Decodes the bytes into out, or only counts the UTF-16 units when out is null. Run once to
// count and once to write, it gives each text a string of exactly its size.
qsizetype Decode(const std::uint8_t* in, qsizetype size, char16_t* out) {
    qsizetype units = 0;
    const auto put = [&](char16_t unit) {
        if (out)
            out[units] = unit;
        ++units;
    };
    qsizetype i = 0;
    while (i < size) {
        const std::uint8_t b = in[i];
        const std::uint8_t row = kLeadRow[b];
        if (row == kNone) {
            put(b < 0x80 ? char16_t(b) : kCp932Single[b]);
            ++i;
            continue;
        }
        const std::uint8_t column = i + 1 < size ? kTrailColumn[in[i + 1]] : kNone;
        if (column == kNone) {
            put(kDefaultChar);
            ++i;
        } else {
            put(kCp932Double[row][column]);
            i += 2;
        }
    }
    return units;
}

} // namespace

QString DecodeCodePage932(QByteArrayView bytes) {
    const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
    QString result(Decode(in, bytes.size(), nullptr), Qt::Uninitialized);
    Decode(in, bytes.size(), reinterpret_cast<char16_t*>(result.data()));
    return result;
}
