#pragma once

#include "document/JournalFormat.h"

#include <QByteArray>
#include <vector>

// Reads a recovery journal back, record by record, and stops at the first record it cannot take
// whole. Every record before that point is kept; the verdict names what stopped it.
namespace JournalReader {

enum class Damage {
    none,
    tornTail,    // the file ends inside a record: the writer stopped half way through it
    badChecksum, // a record's bytes are not the ones the writer framed
    badLength,   // a record claims a length no record has
    unknownKind, // a record of a kind this reader does not know, with a good checksum
    badRecord,   // a good checksum over bytes that are not a header or a day as written
    noHeader,    // the first record is not a journal's header: not a journal, or not ours
    otherBook,   // a second header, naming another book, in the middle of the journal
};

struct Contents {
    bool hasHeader = false;
    JournalFormat::Header header;
    std::vector<CYoteiDay> days; // every day record in the order written
    int wholeRecords = 0;        // the header included
    Damage damage = Damage::none;
    qint64 damageOffset = 0; // where the first record not taken begins
};

Contents Read(const QByteArray& bytes);
// A short English name of the damage for the book tool's report.
const char* DamageName(Damage damage);

} // namespace JournalReader
