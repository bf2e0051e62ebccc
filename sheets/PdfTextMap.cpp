#include "sheets/PdfTextMap.h"

#include <QHash>
#include <QRawFont>

#include <vector>

namespace {

// The radicals a font may draw with a kanji's glyph: the CJK radicals supplement and the Kangxi
// radicals.
constexpr char16_t kFirstRadical = 0x2E80;
constexpr char16_t kLastRadical = 0x2FDF;

// For each radical the font draws with the glyph of a kanji, that kanji; the unified ideographs
// first, then extension A.
QHash<char16_t, char16_t> KanjiOfRadicals(const QFont& font) {
    QHash<char16_t, char16_t> kanji;
    const QRawFont raw = QRawFont::fromFont(font);
    if (!raw.isValid())
        return kanji;
    const auto glyphs = [&](char16_t from, char16_t to) {
        QString chars;
        for (char16_t c = from; c <= to; ++c)
            chars.append(QChar(c));
        std::vector<quint32> indexes(std::size_t(chars.size()), 0);
        int count = int(indexes.size());
        if (!raw.glyphIndexesForChars(chars.constData(), int(chars.size()), indexes.data(), &count))
            indexes.assign(indexes.size(), 0);
        return indexes;
    };
    QHash<quint32, char16_t> ofGlyph;
    for (const auto& [from, to] :
         {std::pair<char16_t, char16_t>{0x4E00, 0x9FFF}, {0x3400, 0x4DBF}}) {
        const std::vector<quint32> found = glyphs(from, to);
        for (std::size_t i = 0; i < found.size(); ++i) {
            if (found[i] != 0 && !ofGlyph.contains(found[i]))
                ofGlyph.insert(found[i], char16_t(from + i));
        }
    }
    const std::vector<quint32> radicals = glyphs(kFirstRadical, kLastRadical);
    for (std::size_t i = 0; i < radicals.size(); ++i) {
        if (radicals[i] == 0)
            continue;
        if (const auto it = ofGlyph.constFind(radicals[i]); it != ofGlyph.constEnd())
            kanji.insert(char16_t(kFirstRadical + i), it.value());
    }
    return kanji;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The hex string tokens "<...>" of one line of a map, as offsets of their first digit and
// their lengths; '[' starts the destinations of a range.
struct Token {
    qsizetype at;
    qsizetype length;
    bool inArray;
};

std::vector<Token> TokensOf(const QByteArray& pdf, qsizetype from, qsizetype to) {
    std::vector<Token> tokens;
    bool inArray = false;
    for (qsizetype i = from; i < to; ++i) {
        if (pdf[i] == '[') {
            inArray = true;
        } else if (pdf[i] == ']') {
            inArray = false;
        } else if (pdf[i] == '<') {
            const qsizetype end = pdf.indexOf('>', i);
            if (end < 0 || end > to)
                break;
            tokens.push_back({i + 1, end - i - 1, inArray});
            i = end;
        }
    }
    return tokens;
}

// A four-digit code's value; -1 for any other token.
int CodeOf(const QByteArray& pdf, const Token& token) {
    if (token.length != 4)
        return -1;
    int value = 0;
    for (qsizetype i = 0; i < 4; ++i) {
        const int digit = HexValue(pdf[token.at + i]);
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

} // namespace

namespace PdfTextMap {

int MendKanji(QByteArray& pdf, const QFont& font) {
    static const QByteArray kMapStart("/CIDInit /ProcSet findresource begin");
    int mended = 0;
    QHash<char16_t, char16_t> kanji;
    bool known = false;
    const auto mend = [&](const Token& token) {
        const int code = CodeOf(pdf, token);
        if (code < kFirstRadical || code > kLastRadical)
            return;
        if (!known) {
            kanji = KanjiOfRadicals(font);
            known = true;
        }
        const auto it = kanji.constFind(char16_t(code));
        if (it == kanji.constEnd())
            return;
        const QByteArray digits =
            QByteArray::number(int(it.value()), 16).toUpper().rightJustified(4, '0');
        pdf.replace(token.at, 4, digits);
        ++mended;
    };
    for (qsizetype map = pdf.indexOf(kMapStart); map >= 0; map = pdf.indexOf(kMapStart, map + 1)) {
        const qsizetype end = pdf.indexOf("endcmap", map);
        if (end < 0)
            break;
        enum { none, range, single } section = none;
        for (qsizetype line = map; line < end;) {
            qsizetype next = pdf.indexOf('\n', line);
            if (next < 0 || next > end)
                next = end;
            const QByteArray text = pdf.mid(line, next - line).trimmed();
            if (text.endsWith("beginbfrange")) {
                section = range;
            } else if (text.endsWith("beginbfchar")) {
                section = single;
            } else if (text.startsWith("end")) {
                section = none;
            } else if (section != none) {
                const std::vector<Token> tokens = TokensOf(pdf, line, next);
                if (section == single && tokens.size() == 2) {
                    mend(tokens[1]);
                } else if (section == range && tokens.size() >= 3) {
                    // "<lo> <hi> [<dst> ...]" names each code; "<lo> <hi> <dst>" counts up
                    // from dst, and is mended only when it names one code.
                    if (tokens[2].inArray) {
                        for (std::size_t i = 2; i < tokens.size(); ++i)
                            mend(tokens[i]);
                    } else if (tokens.size() == 3 &&
                               CodeOf(pdf, tokens[0]) == CodeOf(pdf, tokens[1])) {
                        mend(tokens[2]);
                    }
                }
            }
            line = next + 1;
        }
    }
    return mended;
}

} // namespace PdfTextMap
