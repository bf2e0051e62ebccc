// tavrino-book: the schedule book file on the command line, without the planner's windows.

#include "platform/core/Exceptions.h"
#include "platform/core/SourceFile.h"
#include "tools/book/BookAgenda.h"
#include "tools/book/BookCheck.h"
#include "tools/book/BookExport.h"
#include "tools/book/BookHolidays.h"
#include "tools/book/BookIcal.h"
#include "tools/book/BookImport.h"
#include "tools/book/BookIo.h"
#include "tools/book/BookJournal.h"
#include "tools/book/BookJson.h"
#include "tools/book/BookPrint.h"
#include "tools/book/BookSync.h"
#include "tools/book/BookText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace {

enum ExitCode { kSuccess = 0, kFileFailure = 1, kBadUsage = 2 };

const char kHelp[] = R"(Usage: tavrino-book COMMAND [OPTIONS] FILE...

Reads and writes the planner's schedule book (.dat) without its windows. Files are
read exactly as the planner reads them, and failures are reported with the texts
the planner shows. The tool never writes the planner's profile: reading a book
does not make it the file the planner opens next. FILE may be a pipe such as
/dev/stdin: it is read whole first. All output is UTF-8.

Commands:
  dump FILE              Print the book as JSON on stdout.
  dump --salvage FILE    Like dump; on a damaged file print the whole days before
                         the damage (the planner's message goes to stderr, exit 1).
  build JSON OUT         Write the book OUT from JSON as dump prints it (JSON may
                         be - for stdin). OUT is written through the planner's own
                         save, which replaces it atomically and keeps the file it
                         replaces in the planner's backups folder
                         (~/.local/share/VELKORAN/Tavrino/backups/). Days are
                         written in the order given; nothing is sorted or
                         merged. A book the planner wrote comes back byte for
                         byte; texts an older writer stored as 8-bit text come
                         back in the planner's UTF-16 form, and bytes after the
                         last record are not kept.
  check FILE             Summarise the book: days, first and last date, dates held
                         twice, records out of order, dates with a time of day,
                         trailing bytes after the last record. On a damaged file
                         the planner's message, then what is damaged and where
                         (the record, the field and the byte offset where the
                         damaged item starts), and the number of whole days
                         before the damage go to stderr (exit 1).
  export --format ics|csv FILE
                         Print the book as iCalendar or CSV (see below).
  agenda [--from DATE] [--to DATE] [--json] FILE
                         Print the days from..to (default: today and the six days
                         after it) as a person reads them: the long date, then
                         the heading (after "■"), each row with text (time, plan,
                         detail) and the memo lines, indented. Days without text
                         are left out; a date held twice shows the record the
                         planner shows. --json prints those days as dump does.
  find [--json] [--count] PATTERN FILE
                         Print "DATE: line" for every line of every day that holds
                         PATTERN. Case and full-width/half-width forms are ignored
                         (NFKC and case folding on both sides: "ＡＢＣ" finds "abc",
                         "ｶﾞ" finds "ガ"). --count prints the number of days only,
                         --json the days as dump does. Exit 0 also when nothing
                         matched.
  import --format ics|csv [--from DATE] [--to DATE] [--dry-run] [--strict] IN BOOK
                         Add IN's entries to BOOK (created when missing), written
                         through the planner's own save (see below). --dry-run
                         prints "DATE row N: ..." / "DATE memo: ..." for what
                         would be added and writes nothing. --strict (ics) refuses
                         a calendar at its first line that is not valid
                         iCalendar instead of leaving that line out.
  journal FILE           Print a recovery journal (the planner's record of changes
                         not yet saved, kept in recovery/ of its data folder,
                         declined ones in recovery/declined/) as JSON:
                         {"book":PATH or null,"base":{...},"days":[...]}, with
                         the book's file as it was read or last saved in base
                         and every journaled version of a day, in the order
                         typed, in the dump form. A torn or damaged tail is
                         reported on stderr with the number of whole records;
                         the whole records are still printed (exit 0).
  holidays [--from YYYY] [--to YYYY]
                         Print the holidays of Japan of the years from..to
                         (default: this year; --to defaults to --from) as
                         "YYYY-MM-DD<TAB>name", one a line: the national holidays,
                         休日 for substitute and citizens' holidays, and the days
                         of the imperial ceremonies. Years 1948 (from 20 July,
                         when the law came into force) to 2150. Up to 2027 the
                         dates are those of the government's list; from 2028 on
                         they are a forecast by the rules in force today, with
                         the equinox days by the astronomical formula.
  sync [--url URL] [--user NAME] [--password-file FILE] [--create]
       [--from DATE] [--to DATE] [--dry-run] [--force] BOOK
                         Bring BOOK and a CalDAV calendar into agreement, both
                         ways (see below). BOOK is made when missing. Prints
                         what changed in the book ("book: ...") and on the
                         calendar ("calendar: ..."); conflicts, edits not sent
                         and failures go to stderr.
  sync --list [--url URL] [--user NAME] [--password-file FILE] [BOOK]
                         Print the calendars found from URL (or from BOOK's
                         remembered calendar), "name<TAB>URL" one a line.
  print --layout day|week|month --paper NAME [--from DATE] [--to DATE]
        [--facing] BOOK OUT
                         Write the pages the planner prints (メニュー › ファイル ›
                         印刷...) as a PDF to OUT (- for stdout), without a
                         display: day pages (the heading row, the ten rows and
                         the memo, a long text continuing on the next page),
                         weeks from Monday (one page, or two facing pages with
                         --facing) or months. --from and --to default to today:
                         the day, the week or the month holding it; --to
                         defaults to --from. NAME is a4, a5, b5, b6 (JIS B5
                         182x257 mm, JIS B6 128x182 mm), bible (95x171 mm),
                         mini6 (80x126 mm) or m5 (62x105 mm). The text is Noto
                         Sans CJK JP, embedded in the PDF. OUT is replaced whole
                         or not at all; it may not be BOOK.
  --help                 Print this text.

JSON (dump prints it compact on one line, ending with a newline):
  {"days":[{"status":0,"date":40001,"day":"2009-07-07","heading":"",
    "headingDetail":"","rows":[{"time":"08","plan":"...","detail":""},...],
    "memo":""}]}
  Days come in file order; dump always prints all ten rows.
  status  The stored date status (0 valid, 1 invalid, 2 null); any 32-bit value
          is kept. build: defaults to 0.
  date    The stored day count (days since 1899-12-30, the fraction the time of
          day) as the shortest number that reads back to the same bits. Values
          that are not numbers are strings: "Infinity", "-Infinity", "NaN" (the
          default quiet NaN) and "0x" with 16 hex digits, the raw bits, for any
          other NaN. build also takes the raw-bits string for any value.
  day     The calendar day YYYY-MM-DD; null when status is not 0 or the value is
          no calendar day. build: ignored when date is given, otherwise it gives
          the date (that day at 00:00).
  Texts   heading, headingDetail, memo and each row's time, plan and detail.
          A UTF-16 surrogate without its partner is written as \uXXXX and build
          reads it back as the same code unit. build: missing texts are "",
          missing rows are empty, more than 10 rows or an unknown member is an
          error.

export --format ics: an iCalendar (RFC 5545) calendar with one all-day event per
  day that has a calendar day and any text. UID: the date (YYYYMMDD, with -2, -3
  for a date held again) @tavrino-book. DTSTAMP: the book file's last change.
  SUMMARY: the heading, else the first plan, else the day's first line of text.
  DESCRIPTION: the heading detail, the rows with text as "time plan detail"
  lines, then the memo after an empty line.
export --format csv: RFC 4180 CSV in UTF-8 with CRLF line ends and the header
  date,row,time,plan,detail. One line per row that has any text: the heading as
  row "heading" (plan = heading, detail = heading detail), the timed rows as 1 to
  10, the memo as row "memo" (plan = memo). Rows without text are left out.
  Days without a calendar day are left out of both exports (dump shows them); a
  lone surrogate becomes U+FFFD.

DATE is YYYY-MM-DD.

import --format ics: every occurrence of every event goes to each local calendar
  day it covers (the system's time zone; TZ is respected) within --from..--to
  (default: a year before to a year after today). A TZID is converted through
  the file's VTIMEZONE, else through the system's zone data, else taken as a
  local time with a warning; UTC is converted; floating times and all-day dates
  stay. DTEND is exclusive; an event ending at 00:00 does not cover that day.
  Rules are expanded with EXDATE, RDATE and RECURRENCE-ID overrides; cancelled
  events are left out; a rule that cannot be expanded is reported and its first
  occurrence imported. RECURRENCE-ID;RANGE=THISANDFUTURE changes the occurrence
  it names and every later one: they take its SUMMARY, LOCATION, DESCRIPTION and
  length, and their starts move as its start moved. A timed event covers the
  local days from its start to its end (DTEND's local time). Each occurrence
  becomes a row: time HH:MM of its start on that day (00:00 on the days after
  the first; empty for all-day), plan the SUMMARY, detail the LOCATION and the
  DESCRIPTION. A day's occurrences go, in time order, each into the first free
  row: one with no plan, no detail and a time that is empty or the event's hour
  ("09" takes a 09:30 event). What does not fit goes into the memo, one line per
  event. An occurrence already in the day (a row with the same time, plan and
  detail, or the same memo line) is skipped, so importing a file again adds
  nothing.
  The reading forgives what calendar programs write: a line that cannot be read
  (a value libical cannot parse, a date that is no calendar date in DTSTART,
  DTEND, RRULE, RDATE, EXDATE or RECURRENCE-ID, text that is not UTF-8) is left
  out, an event without DTSTART is left out, and a missing or stray END is
  mended, each with "IN:LINE: warning: ..." on stderr (exit 0). X- properties
  (X-LIC-ERROR included), properties and parameters the reader does not know and
  empty values are ignored without a word. Only a file whose first line is not
  BEGIN:VCALENDAR is refused. With --strict every such line, any property's date
  that is no calendar date, and an event without DTSTART refuse the whole file
  (IN:LINE: what, exit 1), as before the reading forgave them.
import --format csv: the CSV that export writes, in UTF-8 (with or without a
  byte-order mark) or else code page 932. Each line goes to its date and row. A
  row that already holds a different text is a conflict: the conflicts are
  listed and nothing is written (exit 1). Export, then import into an empty book
  gives the same texts, except lone surrogates (written as U+FFFD) and dates held
  twice (the second one conflicts unless its texts are the same).
A malformed IN is reported as IN:LINE: what, and BOOK is left untouched.

sync: URL is a calendar collection, or a server's address (or a calendar
  home), https:// (or http:// to this machine only, when a password is sent).
  From a server's address the calendar is found through /.well-known/caldav,
  the user's principal and calendar home: the one whose name is the book's file
  name without its extension (report.dat: "report") is used. --create makes a
  missing calendar, named after the book; without it a mistyped URL makes
  nothing. The password is the first line
  of --password-file, else the environment variable TAVRINO_CALDAV_PASSWORD,
  else the planner's entry for the account in the desktop's keyring (service
  "Tavrino", key USER@URL); it is never taken from the command line, printed or
  written. The URL and the user
  are remembered per book (~/.config/VELKORAN/Tavrino/sync-accounts.ini, yours
  alone), so later `tavrino-book sync BOOK` repeats them; what both sides last
  agreed on is kept in ~/.local/share/VELKORAN/Tavrino/sync/.
  Only the days from --from to --to (default: a year before today to two years
  after it) are touched, on either side. A row whose plan or detail has text is
  an event (a time alone is a label and stays in the book): a clock time (9,
  09, 9:30, full-width digits too) gives an hour in the system's time zone,
  anything else (朝, ①, none) an all-day event whose summary starts with it. The
  heading and the memo are an all-day event each. Rows are matched to their
  events by their texts, so 挿入 and 削除 send nothing. An edit sends only what
  changed (summary, description, the start and end moved together); other
  properties stay as the calendar has them. 詳細's first line is an event's
  LOCATION when it has one.
  Events made elsewhere are placed as import places them; one that finds no
  free row goes into the memo as a line starting with "⇄ ", which the memo's own
  event leaves out. A row that shows an occurrence of a repeating event
  changes that occurrence alone: an edit becomes its exception on the calendar
  (RECURRENCE-ID), a cleared row leaves it out (EXDATE); the series' rule is
  never rewritten. Events over several days and invitations organised by
  someone else are shown but not written back ("not sent"). Events export
  wrote (UID ending in @tavrino-book) are named, never placed.
  When both sides changed the same entry, the calendar's version takes its place
  and the book's is kept beside it as a new event starting with 【競合】 (exit 1).
  An edit beats a deletion on either side. A sync that would delete more than
  half and more than ten of either side's entries, or follow a side that was
  emptied, stops and changes nothing; --force goes on. --dry-run lists what
  would change on each side and changes nothing. A book open in the planner is
  not written; the planner syncs it itself.

Exit status:
  0  success (sync: both sides agree)
  1  a file could not be read or written, the JSON, iCalendar or CSV is
     malformed, an import found conflicts, or a sync left conflicts, failed
     items or edits not sent, or could not reach the calendar or log in (the
     book is then untouched); the message (for JSON:
     JSON:LINE:COLUMN: what) goes to stderr and nothing to stdout, except the
     salvaged days of dump --salvage
  2  bad usage
)";

bool WriteTo(std::FILE* stream, const QByteArray& bytes) {
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) ==
               size_t(bytes.size()) &&
           std::fflush(stream) == 0;
}

void PrintError(const QString& text) {
    WriteTo(stderr, BookText::ToUtf8(text) + '\n');
}

int Usage(const QString& problem) {
    PrintError(QStringLiteral("tavrino-book: %1\nTry 'tavrino-book --help'.").arg(problem));
    return kBadUsage;
}

int Print(const QByteArray& bytes) {
    if (WriteTo(stdout, bytes))
        return kSuccess;
    const CFileException e(CFileException::CauseFromErrno(errno), QString());
    PrintError(e.GetErrorMessage());
    return kFileFailure;
}

bool ReadInput(const QString& path, QByteArray& bytes, QString& message) {
    try {
        if (path == QLatin1String("-")) {
            QFile in;
            errno = 0;
            if (!in.open(stdin, QIODevice::ReadOnly))
                throw CFileException(FileFailureCause(path, errno), path);
            bytes = ReadWholeFile(in, path);
        } else {
            bytes = ReadWholeFile(path);
        }
    } catch (const CFileException& e) {
        message = e.GetErrorMessage();
        return false;
    }
    return true;
}

struct Arguments {
    QString command;
    std::vector<QString> files;
    bool salvage = false;
    QString format;
    QString from;
    QString to;
    bool json = false;
    bool count = false;
    bool dryRun = false;
    bool strict = false;
    QString url;
    QString user;
    bool userGiven = false;
    QString passwordFile;
    bool create = false;
    bool force = false;
    QString layout;
    QString paper;
    bool facing = false;
    bool list = false;
};

// Where an option that takes a value ("--name value" or "--name=value") goes, for the commands
// that take it; null for any other.
QString* ValueTarget(Arguments& parsed, const QString& arg) {
    const QString name = arg.section(u'=', 0, 0);
    const QString& c = parsed.command;
    if (name == QLatin1String("--format") &&
        (c == QLatin1String("export") || c == QLatin1String("import")))
        return &parsed.format;
    if (c == QLatin1String("sync")) {
        if (name == QLatin1String("--url"))
            return &parsed.url;
        if (name == QLatin1String("--user")) {
            parsed.userGiven = true;
            return &parsed.user;
        }
        if (name == QLatin1String("--password-file"))
            return &parsed.passwordFile;
    }
    if (c == QLatin1String("print") && name == QLatin1String("--layout"))
        return &parsed.layout;
    if (c == QLatin1String("print") && name == QLatin1String("--paper"))
        return &parsed.paper;
    if (c != QLatin1String("agenda") && c != QLatin1String("import") &&
        c != QLatin1String("holidays") && c != QLatin1String("sync") && c != QLatin1String("print"))
        return nullptr;
    if (name == QLatin1String("--from"))
        return &parsed.from;
    if (name == QLatin1String("--to"))
        return &parsed.to;
    return nullptr;
}

// Splits the options from the file names; an empty string when all is well.
QString ParseArguments(const std::vector<QString>& args, Arguments& parsed) {
    parsed.command = args[0];
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (optionsEnded || !arg.startsWith(u'-') || arg == QLatin1String("-")) {
            parsed.files.push_back(arg);
        } else if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("--salvage") && parsed.command == QLatin1String("dump")) {
            parsed.salvage = true;
        } else if (QString* target = ValueTarget(parsed, arg)) {
            if (const qsizetype eq = arg.indexOf(u'='); eq >= 0)
                *target = arg.mid(eq + 1);
            else if (i + 1 < args.size())
                *target = args[++i];
            else
                return QStringLiteral("%1 needs a value").arg(arg);
        } else if (arg == QLatin1String("--json") && parsed.command == QLatin1String("agenda")) {
            parsed.json = true;
        } else if (arg == QLatin1String("--json") && parsed.command == QLatin1String("find")) {
            parsed.json = true;
        } else if (arg == QLatin1String("--count") && parsed.command == QLatin1String("find")) {
            parsed.count = true;
        } else if (arg == QLatin1String("--dry-run") &&
                   (parsed.command == QLatin1String("import") ||
                    parsed.command == QLatin1String("sync"))) {
            parsed.dryRun = true;
        } else if (arg == QLatin1String("--strict") && parsed.command == QLatin1String("import")) {
            parsed.strict = true;
        } else if (arg == QLatin1String("--create") && parsed.command == QLatin1String("sync")) {
            parsed.create = true;
        } else if (arg == QLatin1String("--force") && parsed.command == QLatin1String("sync")) {
            parsed.force = true;
        } else if (arg == QLatin1String("--facing") && parsed.command == QLatin1String("print")) {
            parsed.facing = true;
        } else if (arg == QLatin1String("--list") && parsed.command == QLatin1String("sync")) {
            parsed.list = true;
        } else {
            return QStringLiteral("unknown option '%1' for %2").arg(arg, parsed.command);
        }
    }
    return QString();
}

int Dump(const Arguments& a) {
    const BookIo::ReadResult book = BookIo::Read(a.files[0]);
    if (book.ok)
        return Print(BookJson::Write(book.days));
    if (a.salvage)
        Print(BookJson::Write(book.days));
    PrintError(book.message);
    return kFileFailure;
}

int Build(const Arguments& a) {
    // A book open in a planner is the planner's to write. What OUT holds now is what may be
    // replaced: anything written to it while the JSON is read is left alone.
    QString message;
    const std::unique_ptr<BookLock> lock = BookIo::Hold(a.files[1], message);
    if (!lock) {
        PrintError(message);
        return kFileFailure;
    }
    const FileIdentity out = BookIo::Identify(a.files[1]);
    QByteArray json;
    if (!ReadInput(a.files[0], json, message)) {
        PrintError(message);
        return kFileFailure;
    }
    DayList days;
    BookJson::ParseError error;
    if (!BookJson::Read(json, days, error)) {
        PrintError(QStringLiteral("%1:%2:%3: %4")
                       .arg(a.files[0])
                       .arg(error.line)
                       .arg(error.column)
                       .arg(error.message));
        return kFileFailure;
    }
    const BookIo::WriteResult written = BookIo::Write(a.files[1], days, out);
    for (const QString& warning : written.warnings)
        PrintError(warning);
    if (!written.ok) {
        PrintError(written.message);
        return kFileFailure;
    }
    return kSuccess;
}

int Check(const Arguments& a) {
    const BookIo::ReadResult book = BookIo::Read(a.files[0]);
    if (!book.ok) {
        // After the planner's text, what is damaged and where, for whoever inspects the file.
        QString text = book.message;
        if (!book.damage.isEmpty())
            text += u'\n' + book.damage;
        PrintError(text +
                   QStringLiteral("\nwhole days before the damage: %1").arg(book.days.size()));
        return kFileFailure;
    }
    return Print(BookText::ToUtf8(BookCheck::Summary(book.days, book.trailingBytes)));
}

int Export(const Arguments& a) {
    const BookIo::ReadResult book = BookIo::Read(a.files[0]);
    if (!book.ok) {
        PrintError(book.message);
        return kFileFailure;
    }
    if (a.format == QLatin1String("csv"))
        return Print(BookExport::Csv(book.days));
    QDateTime stamp = QFileInfo(a.files[0]).lastModified();
    if (!stamp.isValid())
        stamp = QDateTime::currentDateTimeUtc();
    return Print(BookIcal::Export(book.days, stamp));
}

// A DATE option: strictly YYYY-MM-DD; fallback when it was not given.
bool ParseDateOption(const QString& text, const QDate& fallback, QDate& date) {
    if (text.isNull()) {
        date = fallback;
        return true;
    }
    COleDateTime parsed;
    COleDateTime::Fields f;
    if (!BookText::ParseDayText(text, parsed) || !parsed.GetFields(f))
        return false;
    date = QDate(f.year, f.month, f.day);
    return true;
}

// The range of --from and --to: from defaults to fromDefault, to to span days after from (open
// when span is negative); an empty string when all is well.
QString ParseRange(const Arguments& a, const QDate& fromDefault, int span, QDate& first,
                   QDate& last) {
    if (!ParseDateOption(a.from, fromDefault, first))
        return QStringLiteral("--from needs a date YYYY-MM-DD, not '%1'").arg(a.from);
    if (!ParseDateOption(a.to, span >= 0 ? first.addDays(span) : QDate(), last))
        return QStringLiteral("--to needs a date YYYY-MM-DD, not '%1'").arg(a.to);
    if (first.isValid() && last.isValid() && last < first)
        return QStringLiteral("--to is before --from");
    return QString();
}

int Agenda(const Arguments& a) {
    QDate from;
    QDate to;
    if (const QString problem = ParseRange(a, QDate::currentDate(), 6, from, to);
        !problem.isEmpty())
        return Usage(problem);
    const BookIo::ReadResult book = BookIo::Read(a.files[0]);
    if (!book.ok) {
        PrintError(book.message);
        return kFileFailure;
    }
    const std::vector<const CYoteiDay*> days = BookAgenda::DaysInRange(book.days, from, to);
    if (a.json)
        return Print(BookJson::Write(BookAgenda::Copies(days)));
    return Print(BookText::ToUtf8(BookAgenda::Text(days)));
}

int Find(const Arguments& a) {
    if (a.files[0].isEmpty())
        return Usage(QStringLiteral("find needs a PATTERN that is not empty"));
    const BookIo::ReadResult book = BookIo::Read(a.files[1]);
    if (!book.ok) {
        PrintError(book.message);
        return kFileFailure;
    }
    const std::vector<BookAgenda::Match> matches = BookAgenda::Find(book.days, a.files[0]);
    if (a.count)
        return Print(QByteArray::number(qulonglong(matches.size())) + '\n');
    if (a.json) {
        std::vector<const CYoteiDay*> days;
        for (const BookAgenda::Match& m : matches)
            days.push_back(m.day);
        return Print(BookJson::Write(BookAgenda::Copies(days)));
    }
    return Print(BookText::ToUtf8(BookAgenda::FindText(matches)));
}

int Import(const Arguments& a) {
    BookImport::Request rq;
    if (const QString problem = ParseRange(a, QDate(), -1, rq.from, rq.to); !problem.isEmpty())
        return Usage(problem);
    QString message;
    if (!ReadInput(a.files[0], rq.input, message)) {
        PrintError(message);
        return kFileFailure;
    }
    rq.format = a.format;
    rq.inName = a.files[0];
    rq.book = a.files[1];
    rq.dryRun = a.dryRun;
    rq.strict = a.strict;
    const BookImport::Outcome outcome = BookImport::Run(rq);
    for (const QString& line : outcome.errors)
        PrintError(line);
    if (!outcome.ok)
        return kFileFailure;
    return a.dryRun ? Print(BookText::ToUtf8(outcome.out)) : kSuccess;
}

int Sync(const Arguments& a) {
    BookSync::Request rq;
    QDate from;
    QDate to;
    if (const QString problem = ParseRange(a, QDate(), -1, from, to); !problem.isEmpty())
        return Usage(problem);
    rq.book = a.files.empty() ? QString() : a.files[0];
    rq.list = a.list;
    rq.url = a.url;
    rq.user = a.user;
    rq.userGiven = a.userGiven;
    rq.passwordFile = a.passwordFile;
    rq.create = a.create;
    rq.dryRun = a.dryRun;
    rq.force = a.force;
    rq.from = from;
    rq.to = to;
    return BookSync::Run(rq);
}

int Journal(const Arguments& a) {
    QByteArray bytes;
    QString message;
    if (!ReadInput(a.files[0], bytes, message)) {
        PrintError(message);
        return kFileFailure;
    }
    const JournalReader::Contents contents = JournalReader::Read(bytes);
    const int printed = Print(BookJournal::Json(contents));
    if (const QString damage = BookJournal::DamageReport(a.files[0], contents); !damage.isEmpty())
        PrintError(damage);
    return printed;
}

int Holidays(const Arguments& a) {
    int from = QDate::currentDate().year();
    if (!a.from.isNull()) {
        if (const QString problem = BookHolidays::ParseYear(QStringLiteral("--from"), a.from, from);
            !problem.isEmpty())
            return Usage(problem);
    }
    int to = from;
    if (!a.to.isNull()) {
        if (const QString problem = BookHolidays::ParseYear(QStringLiteral("--to"), a.to, to);
            !problem.isEmpty())
            return Usage(problem);
    }
    if (to < from)
        return Usage(QStringLiteral("--to is before --from"));
    return Print(BookHolidays::Text(from, to));
}

int PrintPages(const Arguments& a) {
    if (const QString problem = BookPrint::CheckOptions(a.layout, a.paper, a.facing);
        !problem.isEmpty())
        return Usage(problem);
    BookPrint::Request rq;
    if (const QString problem = ParseRange(a, QDate::currentDate(), 0, rq.from, rq.to);
        !problem.isEmpty())
        return Usage(problem);
    rq.layout = a.layout;
    rq.paper = a.paper;
    rq.facing = a.facing;
    rq.book = a.files[0];
    rq.out = a.files[1];
    const BookPrint::Outcome outcome = BookPrint::Run(rq);
    if (!outcome.ok) {
        PrintError(outcome.message);
        return kFileFailure;
    }
    return kSuccess;
}

} // namespace

int main(int argc, char** argv) {
    // The planner's names, so that the backups a build keeps land in the planner's data folder.
    QCoreApplication::setOrganizationName(QStringLiteral("VELKORAN"));
    QCoreApplication::setApplicationName(QStringLiteral("Tavrino"));
    std::vector<QString> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(QFile::decodeName(argv[i]));
    if (args.empty())
        return Usage(QStringLiteral("no command given"));
    for (const QString& arg : args) {
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h"))
            return Print(QByteArray(kHelp));
    }

    Arguments a;
    if (const QString problem = ParseArguments(args, a); !problem.isEmpty())
        return Usage(problem);
    struct Command {
        const char* name;
        std::size_t files;
        int (*run)(const Arguments&);
    };
    static const Command commands[] = {
        {"dump", 1, Dump},     {"build", 2, Build},     {"check", 1, Check},
        {"export", 1, Export}, {"agenda", 1, Agenda},   {"find", 2, Find},
        {"import", 2, Import}, {"journal", 1, Journal}, {"holidays", 0, Holidays},
        {"sync", 1, Sync},     {"print", 2, PrintPages}};
    for (const Command& c : commands) {
        if (a.command != QLatin1String(c.name))
            continue;
        // sync --list needs no book: the server's address is enough.
        const bool listing = a.list && a.files.empty();
        if (a.files.size() != c.files && !listing) {
            // find's first operand is its pattern, not a file.
            if (c.run == Find)
                return Usage(QStringLiteral("find takes a pattern and a file name"));
            if (c.files == 0)
                return Usage(QStringLiteral("%1 takes no file name").arg(a.command));
            return Usage(QStringLiteral("%1 takes %2 file name%3")
                             .arg(a.command)
                             .arg(c.files)
                             .arg(c.files > 1 ? QStringLiteral("s") : QString()));
        }
        if ((a.command == QLatin1String("export") || a.command == QLatin1String("import")) &&
            a.format != QLatin1String("ics") && a.format != QLatin1String("csv"))
            return Usage(QStringLiteral("%1 needs --format ics or --format csv").arg(a.command));
        return c.run(a);
    }
    return Usage(QStringLiteral("unknown command '%1'").arg(a.command));
}
