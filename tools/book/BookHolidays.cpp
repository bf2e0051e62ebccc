#include "tools/book/BookHolidays.h"

#include "document/JapaneseHolidays.h"

namespace BookHolidays {

QString ParseYear(const QString& option, const QString& text, int& year) {
    bool ok = text.size() == 4;
    for (const QChar c : text)
        ok = ok && c >= u'0' && c <= u'9';
    const int value = ok ? text.toInt() : 0;
    if (!ok || value < JapaneseHolidays::kFirstYear || value > JapaneseHolidays::kLastYear)
        return QStringLiteral("%1 needs a year from %2 to %3, not '%4'")
            .arg(option)
            .arg(JapaneseHolidays::kFirstYear)
            .arg(JapaneseHolidays::kLastYear)
            .arg(text);
    year = value;
    return QString();
}

QByteArray Text(int fromYear, int toYear) {
    QByteArray out;
    for (int year = fromYear; year <= toYear; ++year) {
        for (const JapaneseHolidays::Holiday& h : JapaneseHolidays::OfYear(year)) {
            out += h.date.toString(Qt::ISODate).toLatin1();
            out += '\t';
            out += h.name.toUtf8();
            out += '\n';
        }
    }
    return out;
}

} // namespace BookHolidays
