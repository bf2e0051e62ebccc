#include "tools/book/BookJson.h"

#include "tools/book/BookText.h"
#include "tools/book/JsonParser.h"

#include <array>
#include <cmath>
#include <vector>

namespace BookJson {

namespace {

// ---- Writing ----

void AppendHex4(QByteArray& out, char16_t u) {
    static const char digits[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += digits[(u >> shift) & 0xF];
}

// A lone surrogate is kept as a \u escape: UTF-8 cannot carry it and the book can hold it.
void AppendString(QByteArray& out, const QString& text) {
    out += '"';
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        switch (u) {
        case u'"':
            out += "\\\"";
            continue;
        case u'\\':
            out += "\\\\";
            continue;
        case u'\b':
            out += "\\b";
            continue;
        case u'\f':
            out += "\\f";
            continue;
        case u'\n':
            out += "\\n";
            continue;
        case u'\r':
            out += "\\r";
            continue;
        case u'\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (u < 0x20) {
            AppendHex4(out, u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < text.size() &&
                   text[i + 1].isLowSurrogate()) {
            BookText::AppendCodePoint(out, QChar::surrogateToUcs4(u, text[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            AppendHex4(out, u);
        } else {
            BookText::AppendCodePoint(out, u);
        }
    }
    out += '"';
}

void AppendMember(QByteArray& out, const char* key, const QString& text) {
    out += '"';
    out += key;
    out += "\":";
    AppendString(out, text);
}

void AppendDay(QByteArray& out, const CYoteiDay& day) {
    out += "{\"status\":";
    out += QByteArray::number(quint32(day.m_dayDate.m_status));
    out += ",\"date\":";
    // JSON has no number for infinities and NaN: those are strings.
    const QByteArray value = BookText::DateValueText(day.m_dayDate.m_dt);
    if (std::isfinite(day.m_dayDate.m_dt))
        out += value;
    else
        out += '"' + value + '"';
    out += ",\"day\":";
    const QString dayText = BookText::DayText(day.m_dayDate);
    if (dayText.isEmpty())
        out += "null";
    else
        AppendString(out, dayText);
    out += ',';
    AppendMember(out, "heading", day.m_heading);
    out += ',';
    AppendMember(out, "headingDetail", day.m_headingDetail);
    out += ",\"rows\":[";
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (r)
            out += ',';
        out += '{';
        AppendMember(out, "time", day.m_times[r]);
        out += ',';
        AppendMember(out, "plan", day.m_plans[r]);
        out += ',';
        AppendMember(out, "detail", day.m_details[r]);
        out += '}';
    }
    out += "],";
    AppendMember(out, "memo", day.m_dayMemo);
    out += '}';
}

// ---- From values to days ----

using Json::Failure;
using Json::TypeName;
using Json::Value;

[[noreturn]] void FailAt(const Value& v, const QString& message) {
    throw Failure{v.line, v.column, message};
}

void RequireType(const Value& v, Value::Type type, const QString& what) {
    if (v.type != type)
        FailAt(v, QStringLiteral("%1 must be %2, not %3")
                      .arg(what, QLatin1StringView(TypeName(type)),
                           QLatin1StringView(TypeName(v.type))));
}

// The members of an object, each checked against the names it may have.
template <std::size_t N>
std::array<const Value*, N> Members(const Value& object, const std::array<const char*, N>& names,
                                    const QString& what) {
    std::array<const Value*, N> found{};
    for (std::size_t m = 0; m < object.keys.size(); ++m) {
        const QString& key = object.keys[m];
        const Value& value = object.items[m];
        bool known = false;
        for (std::size_t i = 0; i < N; ++i) {
            if (key == QLatin1StringView(names[i])) {
                found[i] = &value;
                known = true;
            }
        }
        if (!known)
            FailAt(value, QStringLiteral("unknown member \"%1\" in %2").arg(key, what));
    }
    return found;
}

QString TextMember(const Value* v, const QString& what) {
    if (!v)
        return QString();
    RequireType(*v, Value::String, what);
    return v->string;
}

quint32 StatusFrom(const Value& v) {
    RequireType(v, Value::Number, QStringLiteral("\"status\""));
    const QByteArray& text = v.number;
    bool ok = !text.isEmpty() && text.front() != '-';
    for (char c : text)
        ok = ok && c >= '0' && c <= '9';
    const qulonglong n = ok ? text.toULongLong(&ok) : 0;
    if (!ok || n > 0xFFFFFFFFull)
        FailAt(v, QStringLiteral("\"status\" must be a whole number from 0 to 4294967295"));
    return quint32(n);
}

double DateFrom(const Value& v) {
    double value = 0;
    if (v.type == Value::Number) {
        if (!BookText::ParseDateValue(v.number, value))
            FailAt(v, QStringLiteral("\"date\" is out of range"));
        return value;
    }
    if (v.type == Value::String) {
        const QByteArray text = v.string.toLatin1();
        // Only the forms for values that are not numbers, and the raw bits.
        const bool named = text == "NaN" || text == "Infinity" || text == "-Infinity" ||
                           (text.size() == 18 && text.startsWith("0x"));
        if (v.string.size() == text.size() && named && BookText::ParseDateValue(text, value))
            return value;
        FailAt(v, QStringLiteral("\"date\" as a string must be \"NaN\", \"Infinity\", "
                                 "\"-Infinity\" or \"0x\" and 16 hex digits"));
    }
    FailAt(v, QStringLiteral("\"date\" must be a number or a string"));
}

std::unique_ptr<CYoteiDay> DayFrom(const Value& v, int index) {
    const QString what = QStringLiteral("day %1").arg(index + 1);
    RequireType(v, Value::Object, what);
    static constexpr std::array<const char*, 7> names = {"status",        "date", "day", "heading",
                                                         "headingDetail", "rows", "memo"};
    const auto m = Members(v, names, what);
    auto day = std::make_unique<CYoteiDay>();

    const quint32 status = m[0] ? StatusFrom(*m[0]) : 0;
    if (m[1] && m[1]->type != Value::Null) {
        day->m_dayDate.m_dt = DateFrom(*m[1]);
    } else if (m[2] && m[2]->type != Value::Null) {
        RequireType(*m[2], Value::String, QStringLiteral("\"day\""));
        COleDateTime date;
        if (!BookText::ParseDayText(m[2]->string, date))
            FailAt(*m[2], QStringLiteral("\"day\" must be a calendar day as YYYY-MM-DD"));
        day->m_dayDate.m_dt = date.m_dt;
    } else {
        FailAt(v, QStringLiteral("%1 has neither \"date\" nor \"day\"").arg(what));
    }
    day->m_dayDate.m_status = static_cast<COleDateTime::DateTimeStatus>(status);

    day->m_heading = TextMember(m[3], QStringLiteral("\"heading\""));
    day->m_headingDetail = TextMember(m[4], QStringLiteral("\"headingDetail\""));
    day->m_dayMemo = TextMember(m[6], QStringLiteral("\"memo\""));
    if (const Value* rows = m[5]) {
        RequireType(*rows, Value::Array, QStringLiteral("\"rows\""));
        if (rows->items.size() > std::size_t(CYoteiDay::kRows))
            FailAt(rows->items[CYoteiDay::kRows],
                   QStringLiteral("a day has at most %1 rows").arg(CYoteiDay::kRows));
        static constexpr std::array<const char*, 3> rowNames = {"time", "plan", "detail"};
        for (std::size_t r = 0; r < rows->items.size(); ++r) {
            const Value& row = rows->items[r];
            const QString rowWhat = QStringLiteral("row %1 of %2").arg(r + 1).arg(what);
            RequireType(row, Value::Object, rowWhat);
            const auto rm = Members(row, rowNames, rowWhat);
            day->m_times[r] = TextMember(rm[0], QStringLiteral("\"time\""));
            day->m_plans[r] = TextMember(rm[1], QStringLiteral("\"plan\""));
            day->m_details[r] = TextMember(rm[2], QStringLiteral("\"detail\""));
        }
    }
    return day;
}

} // namespace

QByteArray Write(const DayList& days) {
    QByteArray out = "{\"days\":[";
    for (std::size_t i = 0; i < days.size(); ++i) {
        if (i)
            out += ',';
        AppendDay(out, *days[i]);
    }
    out += "]}\n";
    return out;
}

bool Read(const QByteArray& json, DayList& days, ParseError& error) {
    try {
        const Value root = Json::Parse(json);
        RequireType(root, Value::Object, QStringLiteral("the book"));
        static constexpr std::array<const char*, 1> names = {"days"};
        const auto m = Members(root, names, QStringLiteral("the book"));
        if (!m[0])
            FailAt(root, QStringLiteral("the book has no \"days\""));
        RequireType(*m[0], Value::Array, QStringLiteral("\"days\""));
        DayList read;
        read.reserve(m[0]->items.size());
        for (std::size_t i = 0; i < m[0]->items.size(); ++i)
            read.push_back(DayFrom(m[0]->items[i], int(i)));
        days = std::move(read);
        return true;
    } catch (const Failure& f) {
        error.line = f.line;
        error.column = f.column;
        error.message = f.message;
        return false;
    }
}

} // namespace BookJson
