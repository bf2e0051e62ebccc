#pragma once

#include <QDate>
#include <QString>

// tavrino-book print: the planner's printed pages written as a PDF, without a display.
namespace BookPrint {

struct Request {
    QString layout; // day, week or month
    QString paper;  // a name Paper knows
    QDate from;     // the days asked for; each layout prints the weeks or months holding them
    QDate to;
    bool facing = false; // a week on two facing pages
    QString book;
    QString out; // the PDF; - for standard output
};

// What is wrong with the layout and the paper named; an empty string when all is well.
QString CheckOptions(const QString& layout, const QString& paper, bool facing);

struct Outcome {
    bool ok = false;
    QString message; // on failure, the planner's text
    int pages = 0;
};

// Reads the book and writes the PDF, in a GUI application of its own on the offscreen platform:
// the fonts and the PDF writer need one, a display they do not.
Outcome Run(const Request& request);

} // namespace BookPrint
