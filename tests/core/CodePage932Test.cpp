#include "platform/core/CodePage932.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <map>
#include <optional>
#include <string>

namespace {

// glibc's CP932 agrees with Windows on every code it assigns but rejects these single bytes.
const std::map<unsigned, char16_t> kWindowsOnlySingles = {
    {0x80, u'\u0080'}, {0xA0, u'\uF8F0'}, {0xFD, u'\uF8F1'}, {0xFE, u'\uF8F2'}, {0xFF, u'\uF8F3'}};

bool IsLead(unsigned b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsTrail(unsigned b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

class Iconv {
public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok())
            iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // The whole of input converted, or nothing if iconv rejects any of it.
    std::optional<std::string> Convert(const std::string& input) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string output(input.size() * 4 + 16, '\0');
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char* out = output.data();
        size_t outLeft = output.size();
        if (iconv(cd_, &in, &inLeft, &out, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return std::nullopt;
        output.resize(output.size() - outLeft);
        return output;
    }

private:
    iconv_t cd_;
};

// What iconv makes of a cp932 sequence that should yield one character, if anything.
std::optional<char16_t> IconvChar(Iconv& toUtf32, const std::string& bytes) {
    const auto utf32 = toUtf32.Convert(bytes);
    if (!utf32 || utf32->size() != 4)
        return std::nullopt;
    const auto* u = reinterpret_cast<const unsigned char*>(utf32->data());
    const char32_t c = u[0] | u[1] << 8 | u[2] << 16 | static_cast<char32_t>(u[3]) << 24;
    return c <= 0xFFFF ? std::optional<char16_t>(static_cast<char16_t>(c)) : std::nullopt;
}

QString Decode(const std::string& bytes) {
    return DecodeCodePage932(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

QString Hex(const std::string& bytes) {
    return QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toHex(' '));
}

QString Units(const QString& text) {
    QString units;
    for (QChar c : text)
        units += QStringLiteral(" U+%1").arg(c.unicode(), 4, 16, QChar(u'0'));
    return units;
}

} // namespace

// Every single byte, every lead byte followed by every possible byte, and all of them in one
// buffer, against glibc's CP932 with Windows' additions.
TEST(CodePage932, WholeTableMatchesIconvWithWindowsAdditions) {
    Iconv toUtf32("UTF-32LE", "CP932");
    ASSERT_TRUE(toUtf32.ok()) << "iconv lacks CP932";

    QString mismatches;
    std::string allBytes;
    QString allExpected;
    auto check = [&](const std::string& bytes, const QString& expected) {
        // A lone lead byte would pair with whatever follows it in the combined buffer.
        if (!IsLead(static_cast<unsigned char>(bytes.back()))) {
            allBytes += bytes;
            allExpected += expected;
        }
        const QString got = Decode(bytes);
        if (got != expected && mismatches.count(u'\n') < 20)
            mismatches += Hex(bytes) + QStringLiteral(": got") + Units(got) +
                          QStringLiteral(", expected") + Units(expected) + u'\n';
    };

    std::map<unsigned, char16_t> single;
    for (unsigned b = 0; b < 256; ++b) {
        const std::string bytes(1, char(b));
        const auto fromIconv = IconvChar(toUtf32, bytes);
        if (kWindowsOnlySingles.contains(b)) {
            EXPECT_FALSE(fromIconv) << "iconv now maps byte " << b;
            single[b] = kWindowsOnlySingles.at(b);
        } else if (IsLead(b)) {
            EXPECT_FALSE(fromIconv) << "iconv maps lead byte " << b << " alone";
            single[b] = u'\u30FB';
        } else {
            ASSERT_TRUE(fromIconv) << "iconv rejects byte " << b;
            single[b] = *fromIconv;
        }
        check(bytes, QString(QChar(single[b])));
    }

    int mapped = 0;
    for (unsigned lead = 0; lead < 256; ++lead) {
        if (!IsLead(lead))
            continue;
        for (unsigned next = 0; next < 256; ++next) {
            const std::string bytes{char(lead), char(next)};
            if (!IsTrail(next)) {
                check(bytes, QString(QChar(u'\u30FB')) + QChar(single[next]));
                continue;
            }
            const auto fromIconv = IconvChar(toUtf32, bytes);
            mapped += fromIconv.has_value();
            check(bytes, QString(QChar(fromIconv.value_or(u'\u30FB'))));
        }
    }
    EXPECT_TRUE(mismatches.isEmpty()) << mismatches.toStdString();
    const QString all = Decode(allBytes);
    qsizetype firstDifference = 0;
    while (firstDifference < qMin(all.size(), allExpected.size()) &&
           all[firstDifference] == allExpected[firstDifference])
        ++firstDifference;
    EXPECT_TRUE(all == allExpected) << "combined buffer differs from character " << firstDifference;
    // JIS X 0208, NEC row 13, NEC-selected and IBM extensions, and the 1880 user-defined codes.
    EXPECT_EQ(mapped, 6879 + 83 + 374 + 388 + 1880);
}

TEST(CodePage932, KnownWindowsMappings) {
    const std::map<std::string, char16_t> known = {
        {"\x80", u'\u0080'},     {"\xA0", u'\uF8F0'},     {"\xFD", u'\uF8F1'},
        {"\xFE", u'\uF8F2'},     {"\xFF", u'\uF8F3'},     {"\x1A", u'\u001A'},
        {"\x1C", u'\u001C'},     {"\x7F", u'\u007F'},     {"\x5C", u'\u005C'},
        {"\x7E", u'\u007E'},     {"\xB1", u'\uFF71'},     {"\x81\x45", u'\u30FB'},
        {"\x81\x5F", u'\uFF3C'}, {"\x81\x60", u'\uFF5E'}, {"\x81\x61", u'\u2225'},
        {"\x81\x7C", u'\uFF0D'}, {"\x81\x91", u'\uFFE0'}, {"\x81\x92", u'\uFFE1'},
        {"\x81\xCA", u'\uFFE2'}, {"\x87\x40", u'\u2460'}, {"\xFA\x40", u'\u2170'},
        {"\xED\x40", u'\u7E8A'}, {"\xF0\x40", u'\uE000'}, {"\xF9\xFC", u'\uE757'},
        {"\x93\xFA", u'\u65E5'}, {"\x88\x9F", u'\u4E9C'}, {"\xEA\xA4", u'\u7199'},
    };
    for (const auto& [bytes, expected] : known)
        EXPECT_EQ(Decode(bytes), QString(QChar(expected))) << Hex(bytes).toStdString();
    EXPECT_EQ(Decode("ABC"), QStringLiteral("ABC"));
}

TEST(CodePage932, MixedText) {
    EXPECT_EQ(Decode("A\x93\xFA\xB1"
                     "BC\x87\x40\\~"),
              QString::fromUtf8("A日ｱBC①\\~"));
    EXPECT_EQ(Decode(std::string("a\0b", 3)), QString::fromUtf8("a\0b", 3));
    EXPECT_TRUE(Decode("").isEmpty());
}

// An unassigned lead+trail pair is one default character; a lead byte that has no trail byte
// after it is one default character and the byte after it stands alone.
TEST(CodePage932, BytesWithoutMapping) {
    const QString dot(QChar(u'\u30FB'));
    EXPECT_EQ(Decode("\x85\x40"), dot);
    EXPECT_EQ(Decode("\xEB\x9F"
                     "A"),
              dot + QChar(u'A'));
    EXPECT_EQ(Decode("\xFC\xFC"), dot);
    EXPECT_EQ(Decode("\x81\n"
                     "A"),
              dot + QChar(u'\n') + QChar(u'A'));
    EXPECT_EQ(Decode("\x81\x7F"), dot + QChar(u'\x7F'));
    EXPECT_EQ(Decode("\x9F\xFD"), dot + QChar(u'\uF8F1'));
    EXPECT_EQ(Decode("\x81\x81\x81"), QChar(u'\uFF1D') + dot);
    EXPECT_EQ(Decode("AB\xE0"), QStringLiteral("AB") + dot);
    EXPECT_EQ(Decode("\x81"), dot);
    // The view ends at the lead byte even though a trail byte follows in memory.
    EXPECT_EQ(DecodeCodePage932(QByteArrayView("A\x81\x40", 2)), QChar(u'A') + dot);
}

TEST(CodePage932, RoundTripThroughIconvEncoding) {
    Iconv toCp932("CP932", "UTF-8");
    ASSERT_TRUE(toCp932.ok());
    for (const char* text : {"朝①②③④昼⑤⑥放", "50分時程"}) {
        const auto bytes = toCp932.Convert(text);
        ASSERT_TRUE(bytes) << text;
        EXPECT_EQ(Decode(*bytes), QString::fromUtf8(text)) << text;
    }
    EXPECT_EQ(Hex(*toCp932.Convert("①")), QStringLiteral("87 40"));
}
