#pragma once

#include "platform/core/FileIdentity.h"
#include "document/YoteiDay.h"

#include <QByteArray>
#include <QString>
#include <memory>

class CArchive;
class QBuffer;

// The bytes of a recovery journal. A journal is a run of records, each framed as
//   checksum  u32  CRC-32C of the kind byte and the payload
//   length    u32  bytes of the payload
//   kind      u8   header or day
//   payload
// all little-endian. The first record is the header (which book, and its file as it was read or
// last saved); every later one is a day in the book file's own day-record bytes. The frame lets
// a reader stop at the last whole record when the writer died half way through one.
namespace JournalFormat {

constexpr qint64 kFrameSize = 9;
// No day the program can hold comes near this; a larger length is damage, not a record.
constexpr quint32 kMaxPayload = 1u << 30;

enum Kind : quint8 {
    kHeaderKind = 1,
    kDayKind = 2,
};

// "TVJL", then the format version, open the header's payload.
constexpr quint32 kMagic = 0x4C4A5654;
constexpr quint32 kVersion = 1;

struct Header {
    QString bookPath;    // absolute path of the book, empty for an untitled one
    FileIdentity base;   // the book file as it was read or last saved
    qint64 createdMsecs; // when the journal began (UTC), to offer older journals first

    bool operator==(const Header&) const = default;
};

// One whole record: frame and payload.
QByteArray Record(Kind kind, const QByteArray& payload);
QByteArray HeaderPayload(const Header& header);
// The day exactly as the book file stores it.
QByteArray DayPayload(const CYoteiDay& day);

// DayPayload for every keystroke: one archive kept for all of them, since a fresh archive sets
// aside room for a whole file.
class DayEncoder {
public:
    DayEncoder();
    ~DayEncoder();
    QByteArray Encode(const CYoteiDay& day);

private:
    QByteArray m_bytes;
    std::unique_ptr<QBuffer> m_device;
    std::unique_ptr<CArchive> m_archive;
};

// Decoders of the two payloads; false when the bytes are not what the writer writes.
bool ReadHeaderPayload(const QByteArray& payload, Header& header);
bool ReadDayPayload(const QByteArray& payload, CYoteiDay& day);

} // namespace JournalFormat
