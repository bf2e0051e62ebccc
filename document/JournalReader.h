#pragma once

#include "document/JournalFormat.h"

#include <QByteArray>
#include <vector>

// Reads a recovery journal back, record by record. A record it cannot take is passed over, and
// reading goes on at the next record that is whole, so that one damaged record hides no other:
// damage costs only itself. A torn end (the writer stopped half way) is where reading ends.
namespace JournalReader {

enum class Damage {
    none,
    tornTail,    // the file ends inside a record: the writer stopped half way through it
    badChecksum, // a record's bytes are not the ones the writer framed
    badLength,   // a record claims a length no record has
    unknownKind, // a record of a kind this reader does not know, with a good checksum
    badRecord,   // a good checksum over bytes that are not a header or a day as written
    noHeader,    // days with no header before them: its header is damaged, or it is not ours
    otherBook,   // a second header, naming another book, in the middle of the journal
};

struct Contents {
    bool hasHeader = false;
    JournalFormat::Header header;
    std::vector<CYoteiDay> days; // every whole day record in the order written
    int wholeRecords = 0;        // the header included
    Damage damage = Damage::none;
    qint64 damageOffset = 0; // where the first record not taken begins
    // Every place where something was passed over, in file order; a torn end is the last.
    std::vector<std::pair<Damage, qint64>> damages;

    // Damaged inside, not merely cut short at the end: such a journal is never deleted.
    bool IsDamaged() const;
};

Contents Read(const QByteArray& bytes);
// A short English name of the damage for the book tool's report.
const char* DamageName(Damage damage);

} // namespace JournalReader
