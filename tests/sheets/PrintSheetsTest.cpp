// The printed sheets: the papers, the days a range takes from the book, the week and the day
// as drawn (read back from a device that records each text), the pages a request prints, and
// the PDF writer's names for the kanji it draws.

#include "RecordingDevice.h"
#include "document/BookModel.h"
#include "sheets/DaySheet.h"
#include "sheets/MonthSheet.h"
#include "sheets/Paper.h"
#include "sheets/PdfTextMap.h"
#include "sheets/SheetDays.h"
#include "sheets/SheetPrint.h"
#include "sheets/WeekSheet.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>

namespace {

COleDateTime Date(int year, int month, int day, double timeOfDay = 0) {
    return COleDateTime(COleDateTime(year, month, day, 0, 0, 0).m_dt + timeOfDay);
}

CYoteiDay& AddDay(DayList& book, const COleDateTime& date) {
    book.push_back(std::make_unique<CYoteiDay>());
    book.back()->m_dayDate = date;
    return *book.back();
}

CBookModel Model(DayList days) {
    CBookModel model;
    model = std::move(days);
    return model;
}

const QFont kFont(QStringLiteral("Noto Sans CJK JP"), 9);

// What was drawn within rect, a line of text to a line: a line comes as one item for each
// script in it.
QString TextIn(const RecordingDevice& device, const QRectF& rect) {
    QString text;
    double baseline = 0;
    for (const RecordingEngine::Text& t : device.Texts()) {
        if (!rect.contains(t.at))
            continue;
        if (!text.isEmpty() && std::abs(t.at.y() - baseline) > 2)
            text += u'\n';
        baseline = t.at.y();
        text += t.text;
    }
    return text + u'\n';
}

// How often text was drawn, not counting it where more digits follow ("予定1" in "予定10").
qsizetype Count(const QString& drawn, const QString& text) {
    QRegularExpressionMatchIterator it =
        QRegularExpression(QRegularExpression::escape(text) + QStringLiteral("(?!\\d)"))
            .globalMatch(drawn);
    qsizetype count = 0;
    for (; it.hasNext(); it.next())
        ++count;
    return count;
}

// The week of 13 May 2019: a Monday with a row and its detail, a Wednesday with more rows than
// a box holds, a Saturday, and a day of the week before and after that are not on it.
DayList WeekBook() {
    DayList book;
    AddDay(book, Date(2019, 5, 12)).SetPlan(0, QStringLiteral("前の週"));
    CYoteiDay& monday = AddDay(book, Date(2019, 5, 13));
    monday.SetTime(0, QStringLiteral("10:00"));
    monday.SetPlan(0, QStringLiteral("月例会議"));
    monday.SetDetail(0, QStringLiteral("見積書"));
    monday.SetTime(1, QStringLiteral("11"));
    CYoteiDay& full = AddDay(book, Date(2019, 5, 15));
    full.SetHeading(QStringLiteral("忙しい日"));
    for (int r = 0; r < CYoteiDay::kRows; ++r)
        full.SetPlan(r, QStringLiteral("予定%1").arg(r + 1));
    full.SetMemo(QStringLiteral("メモ一行目\r\n\r\nメモ二行目"));
    AddDay(book, Date(2019, 5, 18, 0.5)).SetPlan(0, QStringLiteral("土曜の昼"));
    AddDay(book, Date(2019, 5, 20)).SetPlan(0, QStringLiteral("次の週"));
    return book;
}

TEST(Paper, NamesSizesAndHowEachIsSet) {
    const QStringList names = {QStringLiteral("a4"),    QStringLiteral("a5"),
                               QStringLiteral("b5"),    QStringLiteral("b6"),
                               QStringLiteral("bible"), QStringLiteral("mini6"),
                               QStringLiteral("m5")};
    EXPECT_EQ(Paper::Names(), names);
    const QSizeF sizes[] = {{210, 297}, {148, 210}, {182, 257}, {128, 182},
                            {95, 171},  {80, 126},  {62, 105}};
    double points = 100;
    for (qsizetype i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        const std::optional<QPageSize> page = Paper::Find(names[i]);
        ASSERT_TRUE(page);
        const QSizeF mm = page->size(QPageSize::Millimeter);
        EXPECT_NEAR(mm.width(), sizes[i].width(), 0.01);
        EXPECT_NEAR(mm.height(), sizes[i].height(), 0.01);
        EXPECT_EQ(Paper::NameOf(*page), names[i]);
        // Smaller paper, smaller text, but never below seven points; the refills keep their
        // holes' edge clear.
        const Paper::Style style = Paper::StyleFor(mm);
        if (i != 1 && i != 2) {
            EXPECT_LE(style.points, points);
        }
        points = style.points;
        EXPECT_GE(style.points, 7.0);
        EXPECT_EQ(style.small, i >= 4);
        EXPECT_EQ(style.margins.left() > style.margins.right(), style.small);
        EXPECT_LT(style.margins.left() + style.margins.right(), mm.width() * 0.25);
    }
    // The ISO B5 is not the planner's.
    EXPECT_TRUE(Paper::NameOf(QPageSize(QPageSize::B5)).isEmpty());
    EXPECT_FALSE(Paper::Find(QStringLiteral("B5")));
    EXPECT_FALSE(Paper::Find(QStringLiteral("letter")));
}

TEST(SheetDays, EachDayOfARangeAsTheSheetsShowIt) {
    DayList days = WeekBook();
    AddDay(days, Date(2019, 5, 13)).SetPlan(0, QStringLiteral("二つ目"));
    const CBookModel book = Model(std::move(days));
    const std::vector<const CYoteiDay*> week =
        SheetDays::Between(book, QDate(2019, 5, 13), QDate(2019, 5, 19));
    ASSERT_EQ(week.size(), 7u);
    ASSERT_NE(week[0], nullptr);
    EXPECT_EQ(week[0]->GetPlan(0), QStringLiteral("月例会議")); // the first of the day
    EXPECT_EQ(week[1], nullptr);
    ASSERT_NE(week[5], nullptr);
    EXPECT_EQ(week[5]->GetPlan(0), QStringLiteral("土曜の昼")); // at noon, on its day
    EXPECT_EQ(week[6], nullptr);
    // Days before the first a count can name are there, empty.
    const std::vector<const CYoteiDay*> edge =
        SheetDays::Between(book, QDate(99, 12, 28), QDate(100, 1, 3));
    EXPECT_EQ(edge.size(), 7u);

    // A row's time and plan, its detail beside; a time alone is no line; the memo's lines that
    // hold text follow.
    const std::vector<SheetDays::Line> lines = SheetDays::Lines(*week[0]);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].time, QStringLiteral("10:00"));
    EXPECT_EQ(lines[0].detail, QStringLiteral("見積書"));
    const std::vector<SheetDays::Line> full = SheetDays::Lines(*week[2]);
    ASSERT_EQ(full.size(), 12u);
    EXPECT_TRUE(full[10].memo);
    EXPECT_EQ(full[11].text, QStringLiteral("メモ二行目"));
}

TEST(WeekSheet, MondayToSundayInTheirBoxesAndColours) {
    WeekSheet sheet(QDate(2019, 5, 19));
    EXPECT_EQ(sheet.Monday(), QDate(2019, 5, 13));
    sheet.Fill(Model(WeekBook()));
    const QRectF area(20, 20, 560, 800);
    RecordingDevice device(QSize(600, 840));
    {
        QPainter painter(&device);
        sheet.Draw(painter, area, kFont, WeekSheet::Part::Whole);
    }
    const auto box = [&](int slot) {
        return sheet.SlotRect(area, kFont, slot, WeekSheet::Part::Whole, &device);
    };
    EXPECT_EQ(device.Find(QStringLiteral("2019年5月13日〜5月19日")).colour, SheetDays::Ink());
    // Monday to Thursday down the left, Friday to Sunday and the notes down the right.
    EXPECT_LT(box(0).left(), box(4).left());
    EXPECT_LT(box(0).top(), box(3).top());
    EXPECT_EQ(box(7).top(), box(3).top());
    const QString monday = TextIn(device, box(0));
    EXPECT_TRUE(monday.contains(QStringLiteral("5/13"))) << monday.toStdString();
    EXPECT_TRUE(monday.contains(QStringLiteral("月例会議")));
    EXPECT_TRUE(monday.contains(QStringLiteral("見積書")));
    EXPECT_TRUE(TextIn(device, box(7)).contains(QStringLiteral("メモ")));
    EXPECT_EQ(device.Find(QStringLiteral("18"), box(5)).colour, MonthSheet::SaturdayColour());
    EXPECT_EQ(device.Find(QStringLiteral("19"), box(6)).colour, MonthSheet::HolidayColour());
    EXPECT_EQ(device.Find(QStringLiteral("14"), box(1)).colour, SheetDays::Ink());
    EXPECT_TRUE(TextIn(device, box(5)).contains(QStringLiteral("土曜の昼")));
    for (const QString& outside : {QStringLiteral("前の週"), QStringLiteral("次の週")})
        EXPECT_FALSE(TextIn(device, area).contains(outside));

    // Ten rows and two memo lines in a box of fewer lines: the first ones, then "…" and how
    // many are not shown.
    const int lines = sheet.LinesPerSlot(area, kFont, WeekSheet::Part::Whole, &device);
    ASSERT_GT(lines, 2);
    ASSERT_LT(lines, 12);
    const QString full = TextIn(device, box(2));
    int shown = 0;
    while (Count(full, QStringLiteral("予定%1").arg(shown + 1)) == 1)
        ++shown;
    EXPECT_EQ(shown, lines - 2); // the heading and the mark take a line each
    EXPECT_TRUE(full.contains(QStringLiteral("忙しい日")));
    EXPECT_TRUE(full.endsWith(QStringLiteral("\n…%1\n").arg(12 - shown))) << full.toStdString();

    // A holiday is red with its name.
    WeekSheet golden(QDate(2019, 5, 6));
    golden.Fill(CBookModel());
    EXPECT_EQ(golden.DayAt(0).holiday, QStringLiteral("休日"));
    RecordingDevice holiday(QSize(600, 840));
    {
        QPainter painter(&holiday);
        golden.Draw(painter, area, kFont, WeekSheet::Part::Whole);
    }
    EXPECT_EQ(holiday.Find(QStringLiteral("休日")).colour, MonthSheet::HolidayColour());
    EXPECT_EQ(holiday.Find(QStringLiteral("5/6")).colour, MonthSheet::HolidayColour());
}

TEST(WeekSheet, TwoFacingPagesHalfTheWeekEach) {
    WeekSheet sheet(QDate(2019, 5, 13));
    sheet.Fill(Model(WeekBook()));
    const QRectF area(10, 10, 300, 500);
    RecordingDevice left(QSize(320, 520));
    RecordingDevice right(QSize(320, 520));
    {
        QPainter painter(&left);
        sheet.Draw(painter, area, kFont, WeekSheet::Part::Left);
    }
    {
        QPainter painter(&right);
        sheet.Draw(painter, area, kFont, WeekSheet::Part::Right);
    }
    const QString leftText = TextIn(left, area);
    const QString rightText = TextIn(right, area);
    EXPECT_TRUE(leftText.contains(QStringLiteral("月例会議")));
    EXPECT_TRUE(leftText.contains(QStringLiteral("16")));
    EXPECT_FALSE(leftText.contains(QStringLiteral("土曜の昼")));
    EXPECT_FALSE(leftText.contains(QStringLiteral("メモ")));
    EXPECT_TRUE(rightText.contains(QStringLiteral("土曜の昼")));
    EXPECT_TRUE(rightText.contains(QStringLiteral("メモ")));
    EXPECT_FALSE(rightText.contains(QStringLiteral("月例会議")));
    // Each page's box spans the whole width; a day of the other page has none.
    EXPECT_EQ(sheet.SlotRect(area, kFont, 4, WeekSheet::Part::Right, &right).width(), area.width());
    EXPECT_TRUE(sheet.SlotRect(area, kFont, 4, WeekSheet::Part::Left, &left).isEmpty());
}

TEST(DaySheet, EveryTextOnceAndALongMemoOnTheNextPage) {
    DayList days;
    CYoteiDay& day = AddDay(days, Date(2019, 5, 16));
    day.SetHeading(QStringLiteral("見出し"));
    day.SetHeadingDetail(QStringLiteral("見出しの詳細"));
    day.SetTime(0, QStringLiteral("09:00"));
    day.SetPlan(0, QStringLiteral("見積書"));
    day.SetDetail(0, QStringLiteral("詳細の欄に入る長い文は欄の中で折り返して次の行に続く"));
    QStringList memo;
    for (int i = 1; i <= 30; ++i)
        memo << QStringLiteral("メモの%1行目").arg(i);
    day.SetMemo(memo.join(QStringLiteral("\r\n")));
    const CBookModel book = Model(std::move(days));

    DaySheet sheet(QDate(2019, 5, 16));
    sheet.Fill(book);
    const QRectF area(10, 10, 280, 400);
    RecordingDevice device(QSize(300, 420));
    const int pages = sheet.Paginate(area, kFont, &device);
    ASSERT_GE(pages, 2);
    QString drawn;
    std::vector<QString> perPage;
    for (int page = 0; page < pages; ++page) {
        RecordingDevice one(QSize(300, 420));
        {
            QPainter painter(&one);
            sheet.DrawPage(painter, page);
        }
        perPage.push_back(TextIn(one, area));
        drawn += perPage.back();
    }
    // The date heads every page, with a word saying it goes on after the first.
    for (int page = 0; page < pages; ++page) {
        const QString& text = perPage[std::size_t(page)];
        EXPECT_TRUE(text.startsWith(QStringLiteral("2019年5月16日 (木)"))) << text.toStdString();
        EXPECT_EQ(text.contains(QStringLiteral("(続き)")), page > 0);
    }
    // Every memo line once, in order, the last ones after the first page.
    for (int i = 1; i <= 30; ++i)
        EXPECT_EQ(Count(drawn, QStringLiteral("メモの%1行目").arg(i)), 1) << i;
    EXPECT_FALSE(perPage[0].contains(QStringLiteral("メモの30行目")));
    EXPECT_LT(drawn.indexOf(QStringLiteral("メモの1行目")),
              drawn.indexOf(QStringLiteral("メモの30行目")));
    // The rows on the first page, the long detail wrapped but whole.
    for (const QString& text :
         {QStringLiteral("見出し"), QStringLiteral("見出しの詳細"), QStringLiteral("09:00"),
          QStringLiteral("見積書"),
          QStringLiteral("詳細の欄に入る長い文は欄の中で折り返して次の行に続く")})
        EXPECT_TRUE(QString(perPage[0]).remove(u'\n').contains(text)) << text.toStdString();
    EXPECT_FALSE(perPage[0].contains(
        QStringLiteral("詳細の欄に入る長い文は欄の中で折り返して次の行に続く")));

    // A detail taller than a page goes on over the pages it needs, each line once.
    DayList tall;
    QStringList lines;
    for (int i = 1; i <= 60; ++i)
        lines << QStringLiteral("詳細%1").arg(i);
    AddDay(tall, Date(2019, 5, 17)).SetDetail(4, lines.join(u'\n'));
    DaySheet long_(QDate(2019, 5, 17));
    long_.Fill(Model(std::move(tall)));
    const int tallPages = long_.Paginate(area, kFont, &device);
    ASSERT_GE(tallPages, 3);
    QString all;
    for (int page = 0; page < tallPages; ++page) {
        RecordingDevice one(QSize(300, 420));
        {
            QPainter painter(&one);
            long_.DrawPage(painter, page);
        }
        all += TextIn(one, area);
    }
    for (int i = 1; i <= 60; ++i)
        EXPECT_EQ(Count(all, QStringLiteral("詳細%1").arg(i)), 1) << i;
}

// Qt's writer names a glyph by the lowest code point the font maps to it: the radicals.
TEST(PdfTextMap, TheKanjiNotTheirRadicals) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        QPainter painter(&writer);
        painter.setFont(SheetPrint::Font(12));
        painter.drawText(QPointF(100, 400), QStringLiteral("日月火水木金土 見 一 予定"));
    }
    QByteArray pdf = buffer.data();
    const qsizetype size = pdf.size();
    // ⽉ and ⽇: the fault as the writer has it.
    ASSERT_TRUE(pdf.contains("<2F49>") || pdf.contains("<2F47>"));
    EXPECT_GE(PdfTextMap::MendKanji(pdf, SheetPrint::Font(10)), 9);
    EXPECT_EQ(pdf.size(), size);
    for (const char* kanji :
         {"<65E5>", "<6708>", "<706B>", "<6C34>", "<6728>", "<91D1>", "<571F>", "<898B>", "<4E00>"})
        EXPECT_TRUE(pdf.contains(kanji)) << kanji;
    EXPECT_FALSE(pdf.contains("<2F49>"));
    EXPECT_FALSE(QRegularExpression(QStringLiteral("<2[EF][0-9A-F]{2}>"))
                     .match(QString::fromLatin1(pdf))
                     .hasMatch());
    // Mended once, nothing is left to mend.
    EXPECT_EQ(PdfTextMap::MendKanji(pdf, SheetPrint::Font(10)), 0);
}

int PagesPrinted(const CBookModel& book, const SheetPrint::Request& request,
                 const QString& paper = QStringLiteral("a5")) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(300);
    writer.setPageLayout(Paper::PageLayout(*Paper::Find(paper)));
    int pages = -1;
    EXPECT_TRUE(SheetPrint::Print(writer, book, request, &pages));
    return pages;
}

TEST(SheetPrint, TheDaysWeeksAndMonthsOfARange) {
    using SheetPrint::Layout;
    const CBookModel book = Model(WeekBook());
    const auto request = [](Layout layout, QDate from, QDate to, bool facing = false) {
        SheetPrint::Request r;
        r.layout = layout;
        r.from = from;
        r.to = to;
        r.facing = facing;
        return r;
    };
    // The week of a Sunday is the one that ends on it; a month from its first to its last.
    const SheetPrint::Request week = request(Layout::Week, QDate(2019, 5, 19), QDate(2019, 5, 20));
    EXPECT_EQ(SheetPrint::FirstDay(week), QDate(2019, 5, 13));
    EXPECT_EQ(SheetPrint::LastDay(week), QDate(2019, 5, 26));
    const SheetPrint::Request months =
        request(Layout::Month, QDate(2019, 12, 31), QDate(2020, 2, 1));
    EXPECT_EQ(SheetPrint::FirstDay(months), QDate(2019, 12, 1));
    EXPECT_EQ(SheetPrint::LastDay(months), QDate(2020, 2, 29));
    // A last day before the first prints the first alone.
    EXPECT_EQ(SheetPrint::LastDay(request(Layout::Day, QDate(2019, 5, 3), QDate(2019, 5, 1))),
              QDate(2019, 5, 3));

    EXPECT_EQ(PagesPrinted(book, request(Layout::Day, QDate(2019, 5, 13), QDate(2019, 5, 15))), 3);
    EXPECT_EQ(PagesPrinted(book, week), 2);
    EXPECT_EQ(
        PagesPrinted(book, request(Layout::Week, QDate(2019, 5, 19), QDate(2019, 5, 20), true)), 4);
    EXPECT_EQ(PagesPrinted(book, months), 3);
    EXPECT_EQ(PagesPrinted(book, months, QStringLiteral("m5")), 3);
}

TEST(SheetPrint, TheSheetWithinThePapersMargins) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(254); // ten dots a millimetre
    writer.setPageLayout(Paper::PageLayout(*Paper::Find(QStringLiteral("m5"))));
    const Paper::Style style = Paper::StyleFor(QSizeF(62, 105));
    const QRectF right = SheetPrint::ContentRect(writer);
    EXPECT_NEAR(right.left(), style.margins.left() * 10, 2);
    EXPECT_NEAR(620 - right.right(), style.margins.right() * 10, 2);
    EXPECT_NEAR(right.top(), style.margins.top() * 10, 2);
    // A left-hand page is bound on its right.
    const QRectF left = SheetPrint::ContentRect(writer, true);
    EXPECT_NEAR(left.left(), style.margins.right() * 10, 2);
    EXPECT_NEAR(left.width(), right.width(), 1);
    // Where the device cannot print to the edge, the sheet stays where it was on the paper.
    writer.setPageMargins(QMarginsF(2, 3, 2, 3), QPageLayout::Millimeter);
    const QRectF inset = SheetPrint::ContentRect(writer);
    EXPECT_NEAR(inset.left(), right.left() - 20, 2);
    EXPECT_NEAR(inset.top(), right.top() - 30, 2);
    EXPECT_NEAR(inset.width(), right.width(), 1);
}

} // namespace
