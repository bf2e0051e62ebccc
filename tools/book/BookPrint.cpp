#include "tools/book/BookPrint.h"

#include "platform/core/Exceptions.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"
#include "sheets/Paper.h"
#include "sheets/PdfTextMap.h"
#include "sheets/SheetPrint.h"
#include "tools/book/BookIo.h"

#include <QBuffer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>

namespace {

QString FileError(const QString& path, int error) {
    return CFileException(FileFailureCause(path, error), path).GetErrorMessage();
}

bool WriteOut(const QString& path, const QByteArray& bytes, QString& message) {
    if (path == QLatin1String("-")) {
        errno = 0;
        if (std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) ==
                std::size_t(bytes.size()) &&
            std::fflush(stdout) == 0)
            return true;
        message =
            CFileException(CFileException::CauseFromErrno(errno), QString()).GetErrorMessage();
        return false;
    }
    // Whole or not at all: a PDF cut short by a full disk is not left in the old one's place.
    QSaveFile file(path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        message = FileError(path, errno);
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        const int error = errno;
        file.cancelWriting();
        message = FileError(path, error);
        return false;
    }
    return true;
}

} // namespace

namespace BookPrint {

QString CheckOptions(const QString& layout, const QString& paper, bool facing) {
    if (layout.isNull())
        return QStringLiteral("print needs --layout day, week or month");
    if (!SheetPrint::LayoutNamed(layout))
        return QStringLiteral("--layout needs day, week or month, not '%1'").arg(layout);
    const QString papers = Paper::Names().join(QStringLiteral(", "));
    if (paper.isNull())
        return QStringLiteral("print needs --paper (%1)").arg(papers);
    if (!Paper::Find(paper))
        return QStringLiteral("--paper needs one of %1, not '%2'").arg(papers, paper);
    if (facing && layout != QLatin1String("week"))
        return QStringLiteral("--facing is for --layout week");
    return QString();
}

Outcome Run(const Request& rq) {
    Outcome outcome;
    // A PDF written over the book it prints would end the book.
    const QFileInfo book(rq.book);
    const QFileInfo out(rq.out);
    if (rq.out != QLatin1String("-") && book.exists() && out.exists() &&
        book.canonicalFilePath() == out.canonicalFilePath()) {
        outcome.message =
            QStringLiteral("%1: the PDF would replace the book it prints").arg(rq.out);
        return outcome;
    }

    BookIo::ReadResult read = BookIo::Read(rq.book);
    if (!read.ok) {
        outcome.message = read.message;
        return outcome;
    }
    CBookModel model;
    model = std::move(read.days);

    // This command alone draws: it makes its GUI application, never on a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tavrino-book";
    static char* argv[] = {name, nullptr};
    QGuiApplication application(argc, argv);

    SheetPrint::Request request;
    request.layout = *SheetPrint::LayoutNamed(rq.layout);
    request.from = rq.from;
    request.to = rq.to;
    request.facing = rq.facing;

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setResolution(1200);
        writer.setPageLayout(Paper::PageLayout(*Paper::Find(rq.paper)));
        writer.setCreator(QStringLiteral("tavrino-book"));
        writer.setTitle(QFileInfo(rq.book).fileName());
        if (!SheetPrint::Print(writer, model, request, &outcome.pages)) {
            outcome.message = LoadString(IDP_PRINT_FAILED).arg(rq.out);
            return outcome;
        }
    }
    QByteArray pdf = buffer.data();
    PdfTextMap::MendKanji(pdf, SheetPrint::Font(10));
    outcome.ok = WriteOut(rq.out, pdf, outcome.message);
    return outcome;
}

} // namespace BookPrint
