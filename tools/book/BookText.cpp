#include "tools/book/BookText.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace BookText {

namespace {
constexpr quint64 kDefaultNaNBits = 0x7FF8000000000000ull;
} // namespace

void AppendCodePoint(QByteArray& out, char32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

QByteArray ToUtf8(const QString& text) {
    QByteArray out;
    out.reserve(text.size() * 3);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            AppendCodePoint(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            AppendCodePoint(out, 0xFFFD);
        } else {
            AppendCodePoint(out, u);
        }
    }
    return out;
}

QString OneLine(const QString& text) {
    QString line = text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    return line.replace(u'\r', u' ').replace(u'\n', u' ');
}

QStringList Lines(const QString& text) {
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return unified.split(u'\n');
}

QString DayText(const COleDateTime& date) {
    COleDateTime::Fields f;
    if (!date.GetFields(f))
        return QString();
    return QStringLiteral("%1-%2-%3")
        .arg(f.year, 4, 10, QLatin1Char('0'))
        .arg(f.month, 2, 10, QLatin1Char('0'))
        .arg(f.day, 2, 10, QLatin1Char('0'));
}

QByteArray DateValueText(double value) {
    if (std::isinf(value))
        return value > 0 ? QByteArrayLiteral("Infinity") : QByteArrayLiteral("-Infinity");
    if (std::isnan(value)) {
        quint64 bits;
        std::memcpy(&bits, &value, 8);
        if (bits == kDefaultNaNBits)
            return QByteArrayLiteral("NaN");
        return "0x" + QByteArray::number(bits, 16).rightJustified(16, '0');
    }
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return QByteArray(buf, result.ptr - buf);
}

bool ParseDateValue(const QByteArray& text, double& value) {
    if (text == "Infinity") {
        value = HUGE_VAL;
        return true;
    }
    if (text == "-Infinity") {
        value = -HUGE_VAL;
        return true;
    }
    if (text == "NaN") {
        std::memcpy(&value, &kDefaultNaNBits, 8);
        return true;
    }
    if (text.size() == 18 && text.startsWith("0x")) {
        quint64 bits = 0;
        const char* first = text.constData() + 2;
        const char* last = text.constData() + text.size();
        const auto result = std::from_chars(first, last, bits, 16);
        if (result.ec != std::errc() || result.ptr != last)
            return false;
        std::memcpy(&value, &bits, 8);
        return true;
    }
    // A decimal: the caller has already held it to the JSON number grammar.
    const char* first = text.constData();
    const char* last = first + text.size();
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last && std::isfinite(value);
}

bool ParseDayText(const QString& text, COleDateTime& date) {
    // Exactly four digits, dash, two digits, dash, two digits.
    if (text.size() != 10 || text[4] != u'-' || text[7] != u'-')
        return false;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9}) {
        if (text[i] < u'0' || text[i] > u'9')
            return false;
    }
    const int year = text.mid(0, 4).toInt();
    const int month = text.mid(5, 2).toInt();
    const int day = text.mid(8, 2).toInt();
    COleDateTime parsed;
    if (!parsed.SetDateTime(year, month, day, 0, 0, 0))
        return false;
    date = parsed;
    return true;
}

} // namespace BookText
