#include "tools/book/BookImport.h"

#include "calendar/DayPlacement.h"
#include "calendar/IcalImport.h"
#include "document/TavrinoDoc.h"
#include "platform/core/CodePage932.h"
#include "tools/book/BookIo.h"
#include "tools/book/BookText.h"

#include <QFileInfo>
#include <QStringDecoder>
#include <vector>

namespace BookImport {

namespace {

COleDateTime DateOf(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

QString Joined(std::initializer_list<QString> parts) {
    QStringList kept;
    for (const QString& part : parts) {
        if (!part.isEmpty())
            kept << BookText::OneLine(part);
    }
    return kept.join(u' ');
}

// ---- iCalendar ----

// Each day's occurrences go into the day as the book holds it, by the placement rule, and the
// day is stored when that added anything.
bool ImportIcs(const Request& rq, CBookModel& book, bool& changed, Outcome& outcome) {
    const QDate today = QDate::currentDate();
    const QDate from = rq.from.isValid() ? rq.from : today.addYears(-1);
    const QDate to = rq.to.isValid() ? rq.to : today.addYears(1);
    const IcalImport::ReadResult read = IcalImport::Read(rq.input, from, to, rq.strict);
    for (const QString& warning : read.warnings)
        outcome.errors << rq.inName + u':' + warning;
    if (!read.ok) {
        outcome.errors
            << QStringLiteral("%1:%2: %3").arg(rq.inName).arg(read.line).arg(read.problem);
        return false;
    }
    const std::vector<Occurrence>& all = read.occurrences;
    for (std::size_t first = 0, next = 0; first < all.size(); first = next) {
        while (next < all.size() && all[next].date == all[first].date)
            ++next;
        const QDate date = all[first].date;
        const CYoteiDay* stored = book.Find(DateOf(date));
        CYoteiDay day = stored ? *stored : CYoteiDay();
        day.m_dayDate = DateOf(date);
        const std::vector<DayPlacement::Placed> placed =
            DayPlacement::Place(day, std::vector<Occurrence>(all.begin() + std::ptrdiff_t(first),
                                                             all.begin() + std::ptrdiff_t(next)));
        if (placed.empty())
            continue;
        const QString dayText = date.toString(Qt::ISODate);
        for (const DayPlacement::Placed& p : placed) {
            if (p.row >= 0)
                outcome.out +=
                    QStringLiteral("%1 row %2: %3\n").arg(dayText).arg(p.row + 1).arg(p.line);
            else
                outcome.out += QStringLiteral("%1 memo: %2\n").arg(dayText, p.line);
        }
        book.Commit(day);
        changed = true;
    }
    return true;
}

// ---- CSV ----

struct CsvRecord {
    int line;
    QStringList fields;
};

// RFC 4180 records; a quoted field may hold commas, quotes ("") and line breaks.
bool ParseCsv(const QString& text, std::vector<CsvRecord>& records, int& errorLine,
              QString& problem) {
    int line = 1;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        CsvRecord record{line, {}};
        QString field;
        bool endOfRecord = false;
        while (!endOfRecord) {
            field.clear();
            if (i < n && text[i] == u'"') {
                const int quoteLine = line;
                ++i;
                for (;;) {
                    if (i >= n) {
                        errorLine = quoteLine;
                        problem = QStringLiteral("a quoted field that does not end");
                        return false;
                    }
                    if (text[i] == u'"') {
                        if (i + 1 < n && text[i + 1] == u'"') {
                            field += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (text[i] == u'\n')
                        ++line;
                    field += text[i++];
                }
                if (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n') {
                    errorLine = line;
                    problem = QStringLiteral("text after the closing quote of a field");
                    return false;
                }
            } else {
                while (i < n && text[i] != u',' && text[i] != u'\r' && text[i] != u'\n') {
                    if (text[i] == u'"') {
                        errorLine = line;
                        problem = QStringLiteral("a quote inside a field that is not quoted");
                        return false;
                    }
                    field += text[i++];
                }
            }
            record.fields << field;
            if (i < n && text[i] == u',') {
                ++i;
                continue;
            }
            // End of the line: CRLF, LF, CR or the end of the text.
            if (i < n && text[i] == u'\r')
                ++i;
            if (i < n && text[i] == u'\n')
                ++i;
            ++line;
            endOfRecord = true;
        }
        if (!(record.fields.size() == 1 && record.fields[0].isEmpty())) // blank lines
            records.push_back(std::move(record));
    }
    return true;
}

// UTF-8 with or without a byte-order mark; otherwise what spreadsheets on Japanese systems save.
QString DecodeCsv(const QByteArray& bytes) {
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(body);
    if (!utf8.hasError())
        return text;
    return DecodeCodePage932(bytes);
}

enum class Slot { heading, row, memo };

bool ImportCsv(const Request& rq, CBookModel& book, bool& changed, Outcome& outcome) {
    std::vector<CsvRecord> records;
    int errorLine = 0;
    QString problem;
    auto fail = [&](int line, const QString& what) {
        outcome.errors << QStringLiteral("%1:%2: %3").arg(rq.inName).arg(line).arg(what);
        return false;
    };
    if (!ParseCsv(DecodeCsv(rq.input), records, errorLine, problem))
        return fail(errorLine, problem);
    const QStringList header = {"date", "row", "time", "plan", "detail"};
    if (records.empty() || records[0].fields != header)
        return fail(1, QStringLiteral("the header date,row,time,plan,detail expected"));

    QStringList conflicts;
    for (std::size_t k = 1; k < records.size(); ++k) {
        const CsvRecord& rec = records[k];
        if (rec.fields.size() != 5)
            return fail(rec.line,
                        QStringLiteral("5 fields expected, %1 found").arg(rec.fields.size()));
        const QString& time = rec.fields[2];
        const QString& plan = rec.fields[3];
        const QString& detail = rec.fields[4];
        COleDateTime parsed;
        if (!BookText::ParseDayText(rec.fields[0], parsed))
            return fail(rec.line, QStringLiteral("not a date YYYY-MM-DD: %1").arg(rec.fields[0]));
        COleDateTime::Fields f;
        parsed.GetFields(f);
        const QDate date(f.year, f.month, f.day);
        Slot slot = Slot::row;
        int row = -1;
        const QString& rowName = rec.fields[1];
        if (rowName == QLatin1String("heading")) {
            slot = Slot::heading;
        } else if (rowName == QLatin1String("memo")) {
            slot = Slot::memo;
        } else {
            // The number is checked before anything is counted from it: -2147483648 less one
            // is no int.
            bool number = false;
            const int n = rowName.toInt(&number);
            if (!number || n < 1 || n > CYoteiDay::kRows || rowName != QString::number(n))
                return fail(rec.line,
                            QStringLiteral("not a row (heading, 1 to 10, memo): %1").arg(rowName));
            row = n - 1;
        }
        if ((slot != Slot::row && !time.isEmpty()) || (slot == Slot::memo && !detail.isEmpty()))
            return fail(rec.line, QStringLiteral("the %1 row has no time%2")
                                      .arg(rowName, slot == Slot::memo ? " and no detail" : ""));
        if ((rq.from.isValid() && date < rq.from) || (rq.to.isValid() && date > rq.to))
            continue;

        const CYoteiDay* stored = book.Find(parsed);
        CYoteiDay day = stored ? *stored : CYoteiDay();
        day.m_dayDate = parsed;
        QStringList held;
        switch (slot) {
        case Slot::heading:
            held = {QString(), day.m_heading, day.m_headingDetail};
            break;
        case Slot::row:
            held = {day.m_times[row], day.m_plans[row], day.m_details[row]};
            break;
        case Slot::memo:
            held = {QString(), day.m_dayMemo, QString()};
            break;
        }
        const QStringList wanted = {time, plan, detail};
        if (held == wanted)
            continue;
        const QString where = QStringLiteral("%1 %2").arg(
            date.toString(Qt::ISODate),
            slot == Slot::row ? QStringLiteral("row %1").arg(row + 1) : rowName);
        if (!held.join(QString()).isEmpty()) {
            conflicts << QStringLiteral("%1:%2: %3 already holds \"%4\"")
                             .arg(rq.inName)
                             .arg(rec.line)
                             .arg(where, Joined({held[0], held[1], held[2]}));
            continue;
        }
        switch (slot) {
        case Slot::heading:
            day.m_heading = plan;
            day.m_headingDetail = detail;
            break;
        case Slot::row:
            day.m_times[row] = time;
            day.m_plans[row] = plan;
            day.m_details[row] = detail;
            break;
        case Slot::memo:
            day.m_dayMemo = plan;
            break;
        }
        book.Commit(day);
        changed = true;
        outcome.out += QStringLiteral("%1: %2\n").arg(where, Joined({time, plan, detail}));
    }
    if (!conflicts.isEmpty()) {
        outcome.errors << conflicts;
        outcome.errors << QStringLiteral("%1: nothing was written: %2 conflicts")
                              .arg(rq.book)
                              .arg(conflicts.size());
        return false;
    }
    return true;
}

} // namespace

Outcome Run(const Request& rq) {
    Outcome outcome;
    // A book open in a planner is the planner's to change; it would overwrite this import.
    QString held;
    const std::unique_ptr<BookLock> lock = rq.dryRun ? nullptr : BookIo::Hold(rq.book, held);
    if (!rq.dryRun && !lock) {
        outcome.errors << held;
        return outcome;
    }
    CTavrinoDoc doc;
    const bool exists = QFileInfo::exists(rq.book);
    FileIdentity read;
    if (exists) {
        BookIo::ReadResult book = BookIo::Read(rq.book);
        if (!book.ok) {
            outcome.errors << book.message;
            return outcome;
        }
        doc.m_days = std::move(book.days);
        read = book.identity;
    }
    // The days go into the book model directly; the document only carries it to the save.
    bool changed = false;
    const bool imported = rq.format == QLatin1String("csv")
                              ? ImportCsv(rq, doc.m_days, changed, outcome)
                              : ImportIcs(rq, doc.m_days, changed, outcome);
    if (!imported) {
        outcome.out.clear();
        return outcome;
    }
    if (!rq.dryRun && (changed || !exists)) {
        const BookIo::WriteResult written =
            BookIo::Write(rq.book, doc.m_days.List(), read, rq.fileSystem);
        outcome.errors << written.warnings;
        if (!written.ok) {
            outcome.errors << written.message;
            outcome.out.clear();
            return outcome;
        }
    }
    outcome.ok = true;
    return outcome;
}

} // namespace BookImport
