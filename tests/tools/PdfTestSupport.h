#pragma once

// PDFs read back by poppler's tools, as a reader of the printed file meets them: its pages and
// their size, its fonts, its text and its pages as pictures.

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <vector>

namespace PdfTest {

// The standard output of a program run to its end; exitCode gets its status (-1 when it did not
// run).
inline QString Run(const QString& program, const QStringList& arguments, int* exitCode = nullptr) {
    QProcess process;
    process.start(program, arguments);
    const bool done = process.waitForFinished(120000);
    if (exitCode)
        *exitCode = done && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAllStandardOutput());
}

struct Info {
    int pages = 0;
    QSizeF points; // the first page's size
};

inline Info ReadInfo(const QString& pdf) {
    const QString text = Run(QStringLiteral("pdfinfo"), {pdf});
    Info info;
    const QRegularExpressionMatch pages =
        QRegularExpression(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption)
            .match(text);
    if (pages.hasMatch())
        info.pages = pages.captured(1).toInt();
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("^Page size:\\s+([\\d.]+) x ([\\d.]+) pts"),
                           QRegularExpression::MultilineOption)
            .match(text);
    if (size.hasMatch())
        info.points = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    return info;
}

// Each font of the file as "name emb" lines: its name and whether it is embedded (yes or no).
inline QStringList Fonts(const QString& pdf) {
    QStringList fonts;
    const QStringList lines = Run(QStringLiteral("pdffonts"), {pdf}).split(u'\n');
    for (qsizetype i = 2; i < lines.size(); ++i) {
        const QStringList fields = lines[i].split(u' ', Qt::SkipEmptyParts);
        // name, type (one or two words), encoding, emb, sub, uni, object, id
        if (fields.size() >= 7)
            fonts << fields.front() + u' ' + fields[fields.size() - 5];
    }
    return fonts;
}

// The text of pages first to last (all when 0), in the order it was drawn.
inline QString Text(const QString& pdf, int first = 0, int last = 0) {
    QStringList arguments{QStringLiteral("-raw"), QStringLiteral("-enc"), QStringLiteral("UTF-8")};
    if (first > 0)
        arguments << QStringLiteral("-f") << QString::number(first);
    if (last > 0)
        arguments << QStringLiteral("-l") << QString::number(last);
    arguments << pdf << QStringLiteral("-");
    return Run(QStringLiteral("pdftotext"), arguments);
}

// A text without its white space: what is left of it however the lines were broken.
inline QString Squeezed(const QString& text) {
    QString squeezed = text;
    squeezed.remove(QRegularExpression(QStringLiteral("\\s")));
    return squeezed;
}

// Pages first to last drawn in grey at dpi dots per inch.
inline std::vector<QImage> Render(const QString& pdf, int dpi, int first, int last) {
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    Run(QStringLiteral("pdftoppm"),
        {QStringLiteral("-gray"), QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-f"),
         QString::number(first), QStringLiteral("-l"), QString::number(last), pdf, prefix});
    std::vector<QImage> pages;
    QStringList files = QDir(dir.path()).entryList({QStringLiteral("page*.pgm")}, QDir::Files);
    files.sort();
    for (const QString& file : files)
        pages.push_back(QImage(dir.filePath(file)).convertToFormat(QImage::Format_Grayscale8));
    return pages;
}

// How many pixels of two pictures of one size differ by more than tolerance grey levels; every
// pixel when the sizes differ.
inline qint64 PixelsApart(const QImage& a, const QImage& b, int tolerance) {
    if (a.size() != b.size() || a.isNull())
        return qint64(std::max(a.width() * a.height(), b.width() * b.height())) + 1;
    const QImage ga = a.convertToFormat(QImage::Format_Grayscale8);
    const QImage gb = b.convertToFormat(QImage::Format_Grayscale8);
    qint64 apart = 0;
    for (int y = 0; y < ga.height(); ++y) {
        const uchar* ra = ga.constScanLine(y);
        const uchar* rb = gb.constScanLine(y);
        for (int x = 0; x < ga.width(); ++x) {
            if (std::abs(int(ra[x]) - int(rb[x])) > tolerance)
                ++apart;
        }
    }
    return apart;
}

} // namespace PdfTest
