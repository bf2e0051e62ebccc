// tavrino-book: the schedule book file on the command line, without the planner's windows.

#include "platform/core/Exceptions.h"
#include "tools/book/BookCheck.h"
#include "tools/book/BookExport.h"
#include "tools/book/BookIo.h"
#include "tools/book/BookJson.h"
#include "tools/book/BookText.h"

#include <QDateTime>
#include <QDir>
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
                         save, which replaces it atomically. Days are written in
                         the order given; nothing is sorted or merged. A book
                         the planner wrote comes back byte for byte; texts an
                         older writer stored as 8-bit text come back in the
                         planner's UTF-16 form, and bytes after the last
                         record are not kept.
  check FILE             Summarise the book: days, first and last date, dates held
                         twice, records out of order, dates with a time of day,
                         trailing bytes after the last record. On a damaged file
                         the planner's message and the number of whole days before
                         the damage go to stderr (exit 1).
  export --format ics|csv FILE
                         Print the book as iCalendar or CSV (see below).
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

Exit status:
  0  success
  1  a file could not be read or written, or the JSON is malformed; the message
     (for JSON: JSON:LINE:COLUMN: what) goes to stderr and nothing to stdout,
     except the salvaged days of dump --salvage
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

// Why a file could not be opened, picked as the planner picks it.
QString OpenFailureText(const QString& path, int error) {
    const QFileInfo info(path);
    CFileException::Cause cause;
    if (info.isDir())
        cause = CFileException::accessDenied;
    else if (!info.exists() && !info.absoluteDir().exists())
        cause = CFileException::badPath;
    else if (error)
        cause = CFileException::CauseFromErrno(error);
    else
        cause = info.exists() ? CFileException::accessDenied : CFileException::fileNotFound;
    return CFileException(cause, path).GetErrorMessage();
}

bool ReadInput(const QString& path, QByteArray& bytes, QString& message) {
    QFile file;
    errno = 0;
    const bool opened =
        path == QLatin1String("-")
            ? file.open(stdin, QIODevice::ReadOnly)
            : (file.setFileName(path), !QFileInfo(path).isDir() && file.open(QIODevice::ReadOnly));
    if (!opened) {
        message = OpenFailureText(path, errno);
        return false;
    }
    bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        message = CFileException(CFileException::hardIO, path).GetErrorMessage();
        return false;
    }
    return true;
}

struct Arguments {
    QString command;
    std::vector<QString> files;
    bool salvage = false;
    QString format;
};

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
        } else if (arg == QLatin1String("--format") && parsed.command == QLatin1String("export")) {
            if (i + 1 >= args.size())
                return QStringLiteral("--format needs ics or csv");
            parsed.format = args[++i];
        } else if (arg.startsWith(QLatin1String("--format=")) &&
                   parsed.command == QLatin1String("export")) {
            parsed.format = arg.mid(9);
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
    QByteArray json;
    QString message;
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
    if (!BookIo::Write(a.files[1], std::move(days), message)) {
        PrintError(message);
        return kFileFailure;
    }
    return kSuccess;
}

int Check(const Arguments& a) {
    const BookIo::ReadResult book = BookIo::Read(a.files[0]);
    if (!book.ok) {
        PrintError(QStringLiteral("%1\nwhole days before the damage: %2")
                       .arg(book.message)
                       .arg(book.days.size()));
        return kFileFailure;
    }
    return Print(
        BookText::ToUtf8(BookCheck::Summary(book.days, book.storedCount, book.trailingBytes)));
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
    return Print(BookExport::Ics(book.days, stamp));
}

} // namespace

int main(int argc, char** argv) {
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
        {"dump", 1, Dump}, {"build", 2, Build}, {"check", 1, Check}, {"export", 1, Export}};
    for (const Command& c : commands) {
        if (a.command != QLatin1String(c.name))
            continue;
        if (a.files.size() != c.files)
            return Usage(QStringLiteral("%1 takes %2 file name%3")
                             .arg(a.command)
                             .arg(c.files)
                             .arg(c.files > 1 ? QStringLiteral("s") : QString()));
        if (a.command == QLatin1String("export") && a.format != QLatin1String("ics") &&
            a.format != QLatin1String("csv"))
            return Usage(QStringLiteral("export needs --format ics or --format csv"));
        return c.run(a);
    }
    return Usage(QStringLiteral("unknown command '%1'").arg(a.command));
}
