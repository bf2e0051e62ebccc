#include "tools/book/BookJson.h"

#include "tools/book/BookText.h"

#include <array>
#include <cmath>
#include <cstring>
#include <optional>
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

// ---- Reading ----

struct Value {
    enum Type { Null, Bool, Number, String, Array, Object } type = Null;
    int line = 0;
    int column = 0;
    bool boolean = false;
    QByteArray number;         // the text as written, already held to the JSON grammar
    QString string;            // UTF-16 code units, lone surrogates included
    std::vector<Value> items;  // an array's elements, or an object's member values
    std::vector<QString> keys; // an object's member names, one for each item
};

const char* TypeName(Value::Type type) {
    switch (type) {
    case Value::Null:
        return "null";
    case Value::Bool:
        return "a boolean";
    case Value::Number:
        return "a number";
    case Value::String:
        return "a string";
    case Value::Array:
        return "an array";
    case Value::Object:
        return "an object";
    }
    return "a value";
}

struct Failure {
    int line;
    int column;
    QString message;
};

class Parser {
public:
    explicit Parser(const QByteArray& text) : m_text(text) {}

    Value ParseDocument() {
        // A byte-order mark some editors put first.
        if (m_text.startsWith("\xEF\xBB\xBF"))
            m_pos = 3;
        SkipSpace();
        Value root = ParseValue(0);
        SkipSpace();
        if (m_pos < m_text.size())
            Fail(QStringLiteral("unexpected text after the JSON value"));
        return root;
    }

private:
    static constexpr int kMaxDepth = 64;

    [[noreturn]] void Fail(const QString& message) const { Fail(m_line, m_column, message); }
    [[noreturn]] static void Fail(int line, int column, const QString& message) {
        throw Failure{line, column, message};
    }

    bool AtEnd() const { return m_pos >= m_text.size(); }
    unsigned char Peek() const { return AtEnd() ? 0 : static_cast<unsigned char>(m_text[m_pos]); }

    // Columns count characters: UTF-8 continuation bytes do not move them.
    void Advance() {
        const unsigned char c = Peek();
        ++m_pos;
        if (c == '\n') {
            ++m_line;
            m_column = 1;
        } else if ((c & 0xC0) != 0x80) {
            ++m_column;
        }
    }

    void SkipSpace() {
        while (!AtEnd()) {
            const unsigned char c = Peek();
            if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
                break;
            Advance();
        }
    }

    void Expect(char c, const char* what) {
        if (Peek() != static_cast<unsigned char>(c))
            Fail(QStringLiteral("expected %1").arg(QLatin1StringView(what)));
        Advance();
    }

    Value ParseValue(int depth) {
        if (depth > kMaxDepth)
            Fail(QStringLiteral("nested too deeply"));
        Value v;
        v.line = m_line;
        v.column = m_column;
        if (AtEnd())
            Fail(QStringLiteral("unexpected end of the JSON text"));
        const unsigned char c = Peek();
        if (c == '{') {
            v.type = Value::Object;
            ParseObject(v, depth);
        } else if (c == '[') {
            v.type = Value::Array;
            ParseArray(v, depth);
        } else if (c == '"') {
            v.type = Value::String;
            v.string = ParseString();
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            v.type = Value::Number;
            v.number = ParseNumber();
        } else if (ParseLiteral("true")) {
            v.type = Value::Bool;
            v.boolean = true;
        } else if (ParseLiteral("false")) {
            v.type = Value::Bool;
        } else if (ParseLiteral("null")) {
            v.type = Value::Null;
        } else {
            Fail(QStringLiteral("expected a JSON value"));
        }
        return v;
    }

    bool ParseLiteral(const char* word) {
        const qsizetype n = qsizetype(std::strlen(word));
        if (m_text.mid(m_pos, n) != word)
            return false;
        for (qsizetype i = 0; i < n; ++i)
            Advance();
        return true;
    }

    void ParseObject(Value& v, int depth) {
        Advance(); // {
        SkipSpace();
        if (Peek() == '}') {
            Advance();
            return;
        }
        for (;;) {
            SkipSpace();
            if (Peek() != '"')
                Fail(QStringLiteral("expected a member name in double quotes"));
            const int keyLine = m_line;
            const int keyColumn = m_column;
            QString key = ParseString();
            for (const QString& known : v.keys) {
                if (known == key)
                    throw Failure{keyLine, keyColumn,
                                  QStringLiteral("member \"%1\" given twice").arg(key)};
            }
            SkipSpace();
            Expect(':', "':' after the member name");
            SkipSpace();
            Value member = ParseValue(depth + 1);
            v.keys.push_back(std::move(key));
            v.items.push_back(std::move(member));
            SkipSpace();
            if (Peek() == ',') {
                Advance();
                continue;
            }
            Expect('}', "',' or '}'");
            return;
        }
    }

    void ParseArray(Value& v, int depth) {
        Advance(); // [
        SkipSpace();
        if (Peek() == ']') {
            Advance();
            return;
        }
        for (;;) {
            SkipSpace();
            v.items.push_back(ParseValue(depth + 1));
            SkipSpace();
            if (Peek() == ',') {
                Advance();
                continue;
            }
            Expect(']', "',' or ']'");
            return;
        }
    }

    QByteArray ParseNumber() {
        const qsizetype start = m_pos;
        auto digits = [this] {
            if (!(Peek() >= '0' && Peek() <= '9'))
                Fail(QStringLiteral("expected a digit"));
            while (Peek() >= '0' && Peek() <= '9')
                Advance();
        };
        if (Peek() == '-')
            Advance();
        if (Peek() == '0') {
            Advance();
            if (Peek() >= '0' && Peek() <= '9')
                Fail(QStringLiteral("a number may not start with 0"));
        } else {
            digits();
        }
        if (Peek() == '.') {
            Advance();
            digits();
        }
        if (Peek() == 'e' || Peek() == 'E') {
            Advance();
            if (Peek() == '+' || Peek() == '-')
                Advance();
            digits();
        }
        return m_text.mid(start, m_pos - start);
    }

    char16_t ParseHex4() {
        char16_t u = 0;
        for (int i = 0; i < 4; ++i) {
            const unsigned char c = Peek();
            int d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                Fail(QStringLiteral("expected four hex digits after \\u"));
            u = char16_t(u * 16 + d);
            Advance();
        }
        return u;
    }

    // One UTF-8 sequence, held to the standard: no overlong forms, no encoded surrogates.
    char32_t ParseUtf8() {
        // Damage is reported where the sequence starts.
        const int line = m_line;
        const int column = m_column;
        const unsigned char lead = Peek();
        int extra;
        char32_t cp;
        char32_t min;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            cp = lead & 0x1F;
            min = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            cp = lead & 0x0F;
            min = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            cp = lead & 0x07;
            min = 0x10000;
        } else {
            Fail(line, column, QStringLiteral("invalid UTF-8"));
        }
        Advance();
        for (int i = 0; i < extra; ++i) {
            const unsigned char c = Peek();
            if ((c & 0xC0) != 0x80)
                Fail(line, column, QStringLiteral("invalid UTF-8"));
            cp = (cp << 6) | (c & 0x3F);
            Advance();
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            Fail(line, column, QStringLiteral("invalid UTF-8"));
        return cp;
    }

    QString ParseString() {
        Advance(); // "
        QString out;
        for (;;) {
            if (AtEnd())
                Fail(QStringLiteral("unterminated string"));
            const unsigned char c = Peek();
            if (c == '"') {
                Advance();
                return out;
            }
            if (c < 0x20)
                Fail(QStringLiteral("control character in a string (write it as an escape)"));
            if (c == '\\') {
                Advance();
                const unsigned char e = Peek();
                switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += QChar(e);
                    break;
                case 'b':
                    out += u'\b';
                    break;
                case 'f':
                    out += u'\f';
                    break;
                case 'n':
                    out += u'\n';
                    break;
                case 'r':
                    out += u'\r';
                    break;
                case 't':
                    out += u'\t';
                    break;
                case 'u':
                    Advance();
                    // Each escape is one UTF-16 code unit: a pair of escapes makes a pair, a lone
                    // surrogate stays what it was.
                    out += QChar(ParseHex4());
                    continue;
                default:
                    Fail(QStringLiteral("unknown escape in a string"));
                }
                Advance();
                continue;
            }
            if (c < 0x80) {
                out += QChar(c);
                Advance();
                continue;
            }
            const char32_t cp = ParseUtf8();
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
        }
    }

    const QByteArray& m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    int m_column = 1;
};

// ---- From values to days ----

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
        Parser parser(json);
        const Value root = parser.ParseDocument();
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
