#include "tools/book/JsonParser.h"

#include <cstring>

namespace Json {

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

namespace {

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
        } else if (ParseLiteral("true") || ParseLiteral("false")) {
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

} // namespace

Value Parse(const QByteArray& text) {
    return Parser(text).ParseDocument();
}

} // namespace Json
