// tavrino-book holidays against an independent list: the npm package @holiday-jp/holiday_jp's
// dates and names for 1970 to 2030, taken once into data/ as the package gives them.

#include "document/JapaneseHolidays.h"

#include <QDate>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun Holidays(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAVRINO_BOOK_EXE), QStringList{QStringLiteral("holidays")} + args);
    EXPECT_TRUE(p.waitForFinished(30000));
    ToolRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// The package names a substitute holiday after the holiday it replaces ("文化の日 振替休日")
// where the government's list says 休日, and gives 2019's 体育の日 the name it took the year
// after; everything else is compared as it stands.
QString AsTheGovernmentNamesIt(QString name) {
    if (name.endsWith(QStringLiteral(" 振替休日")))
        return QStringLiteral("休日");
    if (name == QStringLiteral("体育の日（スポーツの日）"))
        return QStringLiteral("体育の日");
    return name;
}

// Lines "YYYY-MM-DD<TAB>name" of each year.
QMap<int, QStringList> ByYear(const QStringList& lines) {
    QMap<int, QStringList> years;
    for (const QString& line : lines)
        years[line.left(4).toInt()] << line;
    return years;
}

TEST(BookHolidays, AgreesWithAnIndependentListIn1970To2030) {
    QFile file(QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/holiday_jp-1970-2030.tsv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList theirs;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = line.split(u'\t');
        ASSERT_EQ(fields.size(), 2) << line.toStdString();
        theirs << fields[0] + u'\t' + AsTheGovernmentNamesIt(fields[1]);
    }
    const ToolRun run =
        Holidays({QStringLiteral("--from"), QStringLiteral("1970"), QStringLiteral("--to=2030")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.endsWith(u'\n'));
    QStringList ours = run.out.split(u'\n');
    ours.removeLast();

    const QMap<int, QStringList> expected = ByYear(theirs);
    const QMap<int, QStringList> got = ByYear(ours);
    ASSERT_EQ(expected.size(), 61);
    EXPECT_EQ(got.size(), 61);
    for (int year = 1970; year <= 2030; ++year)
        EXPECT_EQ(got.value(year), expected.value(year)) << year;
}

TEST(BookHolidays, YearsByDefaultAndWhatTheHelpSaysOfTheForecast) {
    // Without options: this year's.
    const ToolRun thisYear = Holidays({});
    ASSERT_EQ(thisYear.exitCode, 0);
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_TRUE(thisYear.out.startsWith(year + QStringLiteral("-01-01\t元日\n")));
    EXPECT_EQ(thisYear.out.count(QRegularExpression(QStringLiteral("^") + year,
                                                    QRegularExpression::MultilineOption)),
              thisYear.out.count(u'\n'));
    // --to defaults to --from: one year.
    const ToolRun one = Holidays({QStringLiteral("--from=2026")});
    ASSERT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out.count(u'\n'), 18);
    EXPECT_TRUE(one.out.endsWith(QStringLiteral("2026-11-23\t勤労感謝の日\n")));

    // The help names the first year that is a forecast, which follows the published years.
    QProcess help;
    help.start(QStringLiteral(TAVRINO_BOOK_EXE), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(30000));
    const QString text = QString::fromUtf8(help.readAllStandardOutput()).simplified();
    EXPECT_TRUE(text.contains(QStringLiteral("holidays [--from YYYY] [--to YYYY]")));
    EXPECT_TRUE(text.contains(QStringLiteral("Up to %1 the dates are those of the government's "
                                             "list; from %2 on they are a forecast")
                                  .arg(JapaneseHolidays::kPublishedThrough)
                                  .arg(JapaneseHolidays::kPublishedThrough + 1)))
        << text.toStdString();
}

TEST(BookHolidays, BadYearsAreUsageErrors) {
    for (const QStringList& args : {
             QStringList{QStringLiteral("--from"), QStringLiteral("1947")},
             QStringList{QStringLiteral("--to"), QStringLiteral("2151"), QStringLiteral("--from"),
                         QStringLiteral("2000")},
             QStringList{QStringLiteral("--from=20x0")},
             QStringList{QStringLiteral("--from=2026-01-01")},
             QStringList{QStringLiteral("--from=2030"), QStringLiteral("--to=2029")},
             QStringList{QStringLiteral("--from")},
             QStringList{QStringLiteral("--json")},
             QStringList{QStringLiteral("book.dat")},
         }) {
        const ToolRun run = Holidays(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.contains(QStringLiteral("Try 'tavrino-book --help'")));
    }
    EXPECT_TRUE(Holidays({QStringLiteral("book.dat")})
                    .err.contains(QStringLiteral("holidays takes no file name")));
    EXPECT_TRUE(
        Holidays({QStringLiteral("--from=1947")})
            .err.contains(QStringLiteral("--from needs a year from 1948 to 2150, not '1947'")));
}

} // namespace
