#include "tools/book/BookJournal.h"

#include "tools/book/BookJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace BookJournal {

QByteArray Json(const JournalReader::Contents& contents) {
    QByteArray out = "{\"book\":";
    if (contents.hasHeader && !contents.header.bookPath.isEmpty()) {
        // A one-element array is the shortest way to have Qt quote a string for JSON.
        const QByteArray quoted =
            QJsonDocument(QJsonArray{contents.header.bookPath}).toJson(QJsonDocument::Compact);
        out += quoted.mid(1, quoted.size() - 2);
    } else {
        out += "null";
    }
    out += ",\"base\":";
    if (contents.hasHeader) {
        const FileIdentity& base = contents.header.base;
        out += QStringLiteral("{\"exists\":%1,\"size\":%2,\"modifiedMsecs\":%3,\"crc\":%4,"
                              "\"journalBegunMsecs\":%5}")
                   .arg(base.exists ? QStringLiteral("true") : QStringLiteral("false"))
                   .arg(base.size)
                   .arg(base.modifiedMsecs)
                   .arg(base.crc)
                   .arg(contents.header.createdMsecs)
                   .toUtf8();
    } else {
        out += "null";
    }
    // The days are written exactly as dump writes a book's: {"days":[...]} with its brace cut.
    DayList days;
    for (const CYoteiDay& day : contents.days)
        days.push_back(std::make_unique<CYoteiDay>(day));
    out += ',';
    out += BookJson::Write(days).mid(1);
    return out;
}

QString DamageReport(const QString& path, const JournalReader::Contents& contents) {
    QStringList lines;
    for (const auto& [damage, offset] : contents.damages) {
        const QString what = QString::fromLatin1(JournalReader::DamageName(damage));
        // Reading stops only at a torn end or at another book's header; anything else is
        // passed over and every whole record after it is still printed.
        const bool last =
            damage == JournalReader::Damage::tornTail || damage == JournalReader::Damage::otherBook;
        lines << QStringLiteral("tavrino-book: %1: %2 at byte %3; %4")
                     .arg(path, what)
                     .arg(offset)
                     .arg(last ? QStringLiteral("whole records before it: %1")
                                     .arg(contents.wholeRecords)
                               : QStringLiteral("passed over, reading went on"));
    }
    return lines.join(u'\n');
}

} // namespace BookJournal
