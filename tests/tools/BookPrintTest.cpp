// tavrino-book print run as a program, its PDFs read back by poppler's tools: the page sizes
// and counts, the fonts, the text of every day, the rows a crowded box leaves out, and a page
// of each layout against a picture kept in data/.

#include "PdfTestSupport.h"
#include "document/BookFile.h"
#include "platform/core/Archive.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

ToolRun RunTool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAVRINO_BOOK_EXE), args);
    EXPECT_TRUE(p.waitForFinished(60000));
    ToolRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

CYoteiDay& AddDay(DayList& book, int year, int month, int day) {
    book.push_back(std::make_unique<CYoteiDay>());
    book.back()->m_dayDate = COleDateTime(year, month, day, 0, 0, 0);
    return *book.back();
}

// May 2019: a trip, a Monday meeting, a day with more rows than any box holds, a day whose
// memo runs over a page, and a day outside the range printed.
DayList MayBook() {
    DayList book;
    CYoteiDay& trip = AddDay(book, 2019, 5, 10);
    trip.SetHeading(QStringLiteral("出張（大阪）"));
    trip.SetHeadingDetail(QStringLiteral("新大阪駅集合"));
    trip.SetTime(0, QStringLiteral("09:00"));
    trip.SetPlan(0, QStringLiteral("新幹線"));
    trip.SetDetail(0, QStringLiteral("のぞみ213号 8号車"));
    trip.SetTime(1, QStringLiteral("13:00"));
    trip.SetPlan(1, QStringLiteral("打ち合わせ"));
    trip.SetDetail(1, QStringLiteral("本社3階会議室"));
    trip.SetMemo(QStringLiteral("切符は前日に受け取る\r\n名刺を多めに持っていく"));
    CYoteiDay& monday = AddDay(book, 2019, 5, 13);
    monday.SetTime(0, QStringLiteral("10"));
    monday.SetPlan(0, QStringLiteral("月例会議"));
    monday.SetDetail(0, QStringLiteral("資料を印刷"));
    CYoteiDay& full = AddDay(book, 2019, 5, 15);
    full.SetHeading(QStringLiteral("忙しい日"));
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        full.SetTime(r, QStringLiteral("%1:00").arg(8 + r, 2, 10, QLatin1Char('0')));
        full.SetPlan(r, QStringLiteral("予定%1").arg(r + 1));
    }
    full.SetMemo(QStringLiteral("一日中ふさがっている"));
    CYoteiDay& memo = AddDay(book, 2019, 5, 16);
    memo.SetHeading(QStringLiteral("長いメモの日"));
    QStringList lines;
    for (int i = 1; i <= 40; ++i)
        lines << QStringLiteral(
                     "第%1行：火曜と木曜の会議の資料を見直し、日曜までに月末の見積を出す")
                     .arg(i);
    memo.SetMemo(lines.join(QStringLiteral("\r\n")));
    AddDay(book, 2019, 4, 20).SetPlan(0, QStringLiteral("範囲の外"));
    return book;
}

class BookPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_book = m_dir.filePath(QStringLiteral("book.dat"));
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        CArchive ar(&buffer, QString());
        BookFile::WriteDays(ar, CYoteiDay::kRows, MayBook());
        ar.Flush();
        QFile file(m_book);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(buffer.data()), buffer.data().size());
    }

    // Prints to a file of its own; its path, or an empty string when the tool failed.
    QString Print(const QString& name, const QStringList& options) {
        const QString out = m_dir.filePath(name);
        const ToolRun run =
            RunTool(QStringList{QStringLiteral("print")} + options + QStringList{m_book, out});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.exitCode == 0 ? out : QString();
    }

    QTemporaryDir m_dir;
    QString m_book;
};

TEST_F(BookPrintTest, EachPaperItsSizeAndEachRangeItsPages) {
    struct Case {
        const char* paper;
        double width, height; // millimetres
    };
    const Case cases[] = {{"a4", 210, 297}, {"a5", 148, 210},   {"b5", 182, 257},
                          {"b6", 128, 182}, {"bible", 95, 171}, {"mini6", 80, 126},
                          {"m5", 62, 105}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paper);
        const QString pdf =
            Print(QStringLiteral("%1.pdf").arg(QLatin1String(c.paper)),
                  {QStringLiteral("--layout"), QStringLiteral("week"), QStringLiteral("--paper"),
                   QLatin1String(c.paper), QStringLiteral("--from"), QStringLiteral("2019-05-13")});
        const PdfTest::Info info = PdfTest::ReadInfo(pdf);
        EXPECT_EQ(info.pages, 1);
        // The writer sets the page in whole points.
        EXPECT_NEAR(info.points.width(), c.width * 72 / 25.4, 1.0);
        EXPECT_NEAR(info.points.height(), c.height * 72 / 25.4, 1.0);
    }
    const auto pages = [&](const QStringList& options) {
        return PdfTest::ReadInfo(Print(QStringLiteral("range.pdf"), options)).pages;
    };
    // Two weeks on facing pages; three months; a week of days, the long memo on a second page.
    EXPECT_EQ(pages({QStringLiteral("--layout=week"), QStringLiteral("--paper=b6"),
                     QStringLiteral("--facing"), QStringLiteral("--from=2019-05-19"),
                     QStringLiteral("--to=2019-05-20")}),
              4);
    EXPECT_EQ(pages({QStringLiteral("--layout=month"), QStringLiteral("--paper=a5"),
                     QStringLiteral("--from=2019-04-30"), QStringLiteral("--to=2019-06-01")}),
              3);
    EXPECT_GT(pages({QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
                     QStringLiteral("--from=2019-05-10"), QStringLiteral("--to=2019-05-16")}),
              7);
}

TEST_F(BookPrintTest, TheJapaneseFontEmbedded) {
    const QString pdf = Print(QStringLiteral("fonts.pdf"),
                              {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
                               QStringLiteral("--from=2019-05-10")});
    const QStringList fonts = PdfTest::Fonts(pdf);
    ASSERT_FALSE(fonts.isEmpty());
    for (const QString& font : fonts)
        EXPECT_TRUE(font.startsWith(QStringLiteral("NotoSansCJKjp-")) &&
                    font.endsWith(QStringLiteral(" yes")))
            << font.toStdString();
    EXPECT_TRUE(fonts.contains(QStringLiteral("NotoSansCJKjp-Regular yes")));
    EXPECT_TRUE(fonts.contains(QStringLiteral("NotoSansCJKjp-Bold yes")));
}

// Each text of each day of the range, found in the PDF as a reader's search or copy finds it:
// 月, 日, 見 as the kanji they are, not the radicals the writer would name them.
TEST_F(BookPrintTest, DayPagesHoldEveryTextOfTheRange) {
    const QString pdf =
        Print(QStringLiteral("days.pdf"),
              {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
               QStringLiteral("--from=2019-05-10"), QStringLiteral("--to=2019-05-16")});
    const QString text = PdfTest::Squeezed(PdfTest::Text(pdf));
    const DayList book = MayBook();
    int days = 0;
    for (const auto& day : book) {
        COleDateTime::Fields f;
        ASSERT_TRUE(day->m_dayDate.GetFields(f));
        const QDate date(f.year, f.month, f.day);
        const bool inRange = date >= QDate(2019, 5, 10) && date <= QDate(2019, 5, 16);
        QStringList texts{day->m_heading, day->m_headingDetail};
        for (int r = 0; r < CYoteiDay::kRows; ++r)
            texts << day->GetTime(r) << day->GetPlan(r) << day->GetDetail(r);
        texts << day->m_dayMemo.split(QStringLiteral("\r\n"));
        for (const QString& t : texts) {
            if (t.isEmpty())
                continue;
            EXPECT_EQ(text.contains(PdfTest::Squeezed(t)), inRange) << t.toStdString();
        }
        days += inRange;
    }
    EXPECT_EQ(days, 4);
    // Each day of the range heads its page, the empty ones too.
    for (int d = 10; d <= 16; ++d)
        EXPECT_TRUE(text.contains(QStringLiteral("2019年5月%1日").arg(d))) << d;

    // The long memo goes on over a page: its last line on a page of its own, under the date and
    // a word saying it goes on.
    const int pages = PdfTest::ReadInfo(pdf).pages;
    int first = 0;
    int last = 0;
    for (int page = 1; page <= pages; ++page) {
        const QString one = PdfTest::Squeezed(PdfTest::Text(pdf, page, page));
        if (one.contains(QStringLiteral("第1行：")))
            first = page;
        if (one.contains(QStringLiteral("第40行：")))
            last = page;
    }
    ASSERT_GT(first, 0);
    EXPECT_GT(last, first);
    const QString continued = PdfTest::Squeezed(PdfTest::Text(pdf, last, last));
    EXPECT_TRUE(continued.startsWith(QStringLiteral("2019年5月16日(木)(続き)")))
        << continued.toStdString();
}

// The rows of a box that cannot hold them all: the first ones, then "…" and how many are left.
TEST_F(BookPrintTest, CrowdedWeekAndMonthBoxesSayHowManyRowsAreLeftOut) {
    for (const char* layout : {"week", "month"}) {
        SCOPED_TRACE(layout);
        const QString pdf =
            Print(QStringLiteral("crowded.pdf"),
                  {QStringLiteral("--layout"), QLatin1String(layout), QStringLiteral("--paper=m5"),
                   QStringLiteral("--from=2019-05-15")});
        const QStringList lines = PdfTest::Text(pdf, 1, 1).split(u'\n');
        // The 15th's lines, from its date (after the empty 14th's, drawn on the same line on
        // the month) to its mark.
        const qsizetype date =
            lines.indexOf(QRegularExpression(QStringLiteral("(.*\\s)?15(\\s*水)?")));
        ASSERT_GE(date, 0) << lines.join(u'|').toStdString();
        qsizetype mark = -1;
        for (qsizetype i = date + 1; i < lines.size() && mark < 0; ++i) {
            if (lines[i].startsWith(u'…'))
                mark = i;
        }
        ASSERT_GT(mark, date) << lines.join(u'|').toStdString();
        const int left = lines[mark].mid(1).toInt();
        // The heading's line, then the rows shown; ten rows, and the memo's line on the week.
        const int shown = int(mark - date - 2);
        EXPECT_GE(shown, 1);
        EXPECT_EQ(shown + left, QLatin1String(layout) == QLatin1String("week") ? 11 : 10)
            << lines.mid(date, mark - date + 1).join(u'|').toStdString();
    }
}

// One page of each layout drawn at 40 dots an inch in grey, against the picture kept in data/
// (looked at when it was made). TAVRINO_PRINT_REFERENCE_DIR=folder writes new ones there.
TEST_F(BookPrintTest, OnePageOfEachLayoutAsItLooks) {
    struct Case {
        const char* name;
        QStringList options;
    };
    const Case cases[] = {
        {"print-day-a5",
         {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
          QStringLiteral("--from=2019-05-10")}},
        {"print-week-b6",
         {QStringLiteral("--layout=week"), QStringLiteral("--paper=b6"),
          QStringLiteral("--from=2019-05-13")}},
        {"print-month-a5",
         {QStringLiteral("--layout=month"), QStringLiteral("--paper=a5"),
          QStringLiteral("--from=2019-05-01")}},
    };
    const QString update = qEnvironmentVariable("TAVRINO_PRINT_REFERENCE_DIR");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString pdf = Print(QStringLiteral("look.pdf"), c.options);
        const std::vector<QImage> pages = PdfTest::Render(pdf, 40, 1, 1);
        ASSERT_EQ(pages.size(), 1u);
        const QString file = QStringLiteral("%1.png").arg(QLatin1String(c.name));
        if (!update.isEmpty()) {
            pages[0].save(QDir(update).filePath(file));
            continue;
        }
        const QImage reference(QStringLiteral(TAVRINO_SOURCE_DIR "/tests/tools/data/") + file);
        ASSERT_FALSE(reference.isNull());
        ASSERT_EQ(pages[0].size(), reference.size());
        // A little leeway for another build of the rasteriser's smoothing of edges.
        const qint64 apart = PdfTest::PixelsApart(pages[0], reference, 48);
        EXPECT_LE(apart, qint64(reference.width()) * reference.height() / 500) << apart;
    }
}

TEST_F(BookPrintTest, TodayByDefault) {
    const QDate today = QDate::currentDate();
    const QDate monday = today.addDays(1 - today.dayOfWeek());
    const QDate sunday = monday.addDays(6);
    const auto first = [&](const QString& layout) {
        const QString pdf = Print(QStringLiteral("today.pdf"), {QStringLiteral("--layout"), layout,
                                                                QStringLiteral("--paper=a5")});
        EXPECT_EQ(PdfTest::ReadInfo(pdf).pages, 1);
        return PdfTest::Squeezed(PdfTest::Text(pdf, 1, 1));
    };
    EXPECT_TRUE(first(QStringLiteral("day"))
                    .startsWith(QStringLiteral("%1年%2月%3日")
                                    .arg(today.year())
                                    .arg(today.month())
                                    .arg(today.day())));
    EXPECT_TRUE(first(QStringLiteral("week"))
                    .startsWith(QStringLiteral("%1年%2月%3日〜%4月%5日")
                                    .arg(monday.year())
                                    .arg(monday.month())
                                    .arg(monday.day())
                                    .arg(sunday.month())
                                    .arg(sunday.day())));
    EXPECT_TRUE(first(QStringLiteral("month"))
                    .startsWith(QStringLiteral("%1年%2月").arg(today.year()).arg(today.month())));
}

TEST_F(BookPrintTest, BadUsageAndAPdfThatWouldReplaceTheBook) {
    const QString out = m_dir.filePath(QStringLiteral("out.pdf"));
    const QStringList usage[] = {
        {QStringLiteral("--paper=a5"), m_book, out},
        {QStringLiteral("--layout=year"), QStringLiteral("--paper=a5"), m_book, out},
        {QStringLiteral("--layout=day"), m_book, out},
        {QStringLiteral("--layout=day"), QStringLiteral("--paper=B5"), m_book, out},
        {QStringLiteral("--layout=month"), QStringLiteral("--paper=a5"), QStringLiteral("--facing"),
         m_book, out},
        {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
         QStringLiteral("--from=2019-05-10"), QStringLiteral("--to=2019-05-09"), m_book, out},
        {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"),
         QStringLiteral("--from=2019-02-30"), m_book, out},
        {QStringLiteral("--layout=day"), QStringLiteral("--paper=a5"), m_book},
    };
    for (const QStringList& args : usage) {
        const ToolRun run = RunTool(QStringList{QStringLiteral("print")} + args);
        EXPECT_EQ(run.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(QStringLiteral("tavrino-book: "))) << run.err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }

    // The book as OUT: refused, the book as it was.
    QFile file(m_book);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const ToolRun self = RunTool({QStringLiteral("print"), QStringLiteral("--layout=day"),
                                  QStringLiteral("--paper=a5"), m_book,
                                  QDir(m_dir.path()).filePath(QStringLiteral("./book.dat"))});
    EXPECT_EQ(self.exitCode, 1);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    file.close();

    // No book, or no folder for the PDF: the planner's texts.
    const ToolRun missing =
        RunTool({QStringLiteral("print"), QStringLiteral("--layout=day"),
                 QStringLiteral("--paper=a5"), m_dir.filePath(QStringLiteral("none.dat")), out});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("none.dat")) &&
                missing.err.contains(QStringLiteral("見つかりませんでした")))
        << missing.err.toStdString();
    const QString nowhere = m_dir.filePath(QStringLiteral("no/such/folder/out.pdf"));
    const ToolRun folder = RunTool({QStringLiteral("print"), QStringLiteral("--layout=day"),
                                    QStringLiteral("--paper=a5"), m_book, nowhere});
    EXPECT_EQ(folder.exitCode, 1);
    EXPECT_TRUE(folder.err.contains(QStringLiteral("out.pdf"))) << folder.err.toStdString();
    EXPECT_FALSE(QFile::exists(out));

    // - is standard output.
    const ToolRun piped = RunTool({QStringLiteral("print"), QStringLiteral("--layout=day"),
                                   QStringLiteral("--paper=m5"), m_book, QStringLiteral("-")});
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_TRUE(piped.out.startsWith("%PDF-"));
}

} // namespace
