// The month sheet: which days of a book it takes, and what it draws where and in which colour,
// read back from a paint device that records every text drawn on it.

#include "sheets/MonthSheet.h"
#include "RecordingDevice.h"

#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

COleDateTime Date(int year, int month, int day, double timeOfDay = 0) {
    return COleDateTime(COleDateTime(year, month, day, 0, 0, 0).m_dt + timeOfDay);
}

CYoteiDay& AddDay(DayList& book, const COleDateTime& date) {
    book.push_back(std::make_unique<CYoteiDay>());
    book.back()->m_dayDate = date;
    return *book.back();
}

// May 2019, the ten days off of the enthronement, written out of order as a book may be.
DayList MayBook() {
    DayList book;
    AddDay(book, Date(2019, 6, 2)).SetPlan(0, QStringLiteral("枠の外"));
    CYoteiDay& trip = AddDay(book, Date(2019, 5, 10));
    trip.SetHeading(QStringLiteral("出張（大阪）"));
    trip.SetTime(0, QStringLiteral("09"));
    trip.SetPlan(0, QStringLiteral("新幹線"));
    trip.SetTime(1, QStringLiteral("13"));
    trip.SetPlan(1, QStringLiteral("打ち合わせ"));
    CYoteiDay& full = AddDay(book, Date(2019, 5, 21));
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        full.SetTime(r, QStringLiteral("%1").arg(8 + r, 2, 10, QLatin1Char('0')));
        full.SetPlan(r, QStringLiteral("予定%1").arg(r + 1));
    }
    AddDay(book, Date(2019, 5, 14)).SetHeading(QStringLiteral("一つ目"));
    AddDay(book, Date(2019, 5, 14)).SetHeading(QStringLiteral("二つ目"));
    CYoteiDay& timetable = AddDay(book, Date(2019, 5, 15));
    for (int r = 0; r < CYoteiDay::kRows; ++r)
        timetable.SetTime(r, QStringLiteral("%1").arg(8 + r, 2, 10, QLatin1Char('0')));
    CYoteiDay& details = AddDay(book, Date(2019, 5, 16));
    details.SetDetail(3, QStringLiteral("詳細だけ"));
    details.SetPlan(5, QStringLiteral("朝\r\n会議"));
    AddDay(book, Date(2019, 5, 17, 0.5)).SetPlan(0, QStringLiteral("昼から"));
    AddDay(book, Date(2019, 4, 30)).SetPlan(0, QStringLiteral("前月"));
    AddDay(book, Date(2019, 6, 1)).SetPlan(0, QStringLiteral("翌月"));
    AddDay(book, COleDateTime(Date(2019, 5, 20).m_dt, COleDateTime::invalid))
        .SetPlan(0, QStringLiteral("無効"));
    AddDay(book, COleDateTime(std::numeric_limits<double>::quiet_NaN()))
        .SetPlan(0, QStringLiteral("NaN"));
    return book;
}

QString Plans(const MonthSheet::Day* day) {
    QStringList texts;
    for (const MonthSheet::Row& row : day->rows)
        texts << row.time + u'|' + row.text;
    return texts.join(u',');
}

TEST(MonthSheet, WholeWeeksFromSunday) {
    const MonthSheet february(QDate(2015, 2, 14));
    EXPECT_EQ(february.Weeks(), 4);
    EXPECT_EQ(february.FirstDay(), QDate(2015, 2, 1));
    EXPECT_EQ(february.LastDay(), QDate(2015, 2, 28));
    const MonthSheet may(QDate(2019, 5, 31));
    EXPECT_EQ(may.Year(), 2019);
    EXPECT_EQ(may.Month(), 5);
    EXPECT_EQ(may.FirstDay(), QDate(2019, 4, 28));
    EXPECT_EQ(may.LastDay(), QDate(2019, 6, 1));
    const MonthSheet august(QDate(2026, 8, 1));
    EXPECT_EQ(august.Weeks(), 6);
    EXPECT_EQ(august.FirstDay(), QDate(2026, 7, 26));
    EXPECT_EQ(august.LastDay(), QDate(2026, 9, 5));
    EXPECT_EQ(august.DayOf(QDate(2026, 7, 25)), nullptr);
    EXPECT_EQ(august.DayOf(QDate(2026, 9, 5))->date, QDate(2026, 9, 5));
}

// Through the book model's date index, the sheet takes exactly what the pass over the list
// takes: the first record of each day, dates held twice and dates with a time of day included.
TEST(MonthSheet, TheDateIndexGivesWhatThePassGives) {
    for (const QDate month : {QDate(2019, 5, 1), QDate(2019, 4, 1), QDate(2019, 6, 1)}) {
        MonthSheet pass(month);
        pass.Fill(MayBook());
        CBookModel book;
        book = MayBook();
        MonthSheet indexed(month);
        indexed.Fill(book);
        for (QDate d = pass.FirstDay(); d <= pass.LastDay(); d = d.addDays(1)) {
            SCOPED_TRACE(d.toString(Qt::ISODate).toStdString());
            EXPECT_EQ(indexed.DayOf(d)->hasText, pass.DayOf(d)->hasText);
            EXPECT_EQ(indexed.DayOf(d)->heading, pass.DayOf(d)->heading);
            EXPECT_EQ(Plans(indexed.DayOf(d)), Plans(pass.DayOf(d)));
            EXPECT_EQ(indexed.DayOf(d)->holiday, pass.DayOf(d)->holiday);
        }
    }
}

TEST(MonthSheet, TakesTheDaysThePlannerShowsAndTheHolidays) {
    MonthSheet sheet(QDate(2019, 5, 1));
    sheet.Fill(MayBook());

    const MonthSheet::Day* trip = sheet.DayOf(QDate(2019, 5, 10));
    EXPECT_TRUE(trip->hasText);
    EXPECT_EQ(trip->heading, QStringLiteral("出張（大阪）"));
    EXPECT_EQ(Plans(trip), QStringLiteral("09|新幹線,13|打ち合わせ"));
    EXPECT_EQ(sheet.DayOf(QDate(2019, 5, 21))->rows.size(), 10u);
    // A date held twice shows its first record.
    EXPECT_EQ(sheet.DayOf(QDate(2019, 5, 14))->heading, QStringLiteral("一つ目"));
    // Times alone are no rows, but the day holds text.
    EXPECT_TRUE(sheet.DayOf(QDate(2019, 5, 15))->rows.empty());
    EXPECT_TRUE(sheet.DayOf(QDate(2019, 5, 15))->hasText);
    // A row with only a detail shows the detail; a line break becomes a space.
    EXPECT_EQ(Plans(sheet.DayOf(QDate(2019, 5, 16))), QStringLiteral("|詳細だけ,|朝 会議"));
    // A date with a time of day is its calendar day.
    EXPECT_EQ(Plans(sheet.DayOf(QDate(2019, 5, 17))), QStringLiteral("|昼から"));
    // The neighbouring months' days on the grid, and nothing beyond it or without a date.
    EXPECT_EQ(Plans(sheet.DayOf(QDate(2019, 4, 30))), QStringLiteral("|前月"));
    EXPECT_EQ(Plans(sheet.DayOf(QDate(2019, 6, 1))), QStringLiteral("|翌月"));
    EXPECT_FALSE(sheet.DayOf(QDate(2019, 5, 20))->hasText);
    EXPECT_FALSE(sheet.DayOf(QDate(2019, 5, 1))->hasText);

    EXPECT_EQ(sheet.DayOf(QDate(2019, 4, 29))->holiday, QStringLiteral("昭和の日"));
    EXPECT_EQ(sheet.DayOf(QDate(2019, 4, 30))->holiday, QStringLiteral("休日"));
    EXPECT_EQ(sheet.DayOf(QDate(2019, 5, 1))->holiday, QStringLiteral("休日（祝日扱い）"));
    EXPECT_EQ(sheet.DayOf(QDate(2019, 5, 6))->holiday, QStringLiteral("休日"));
    EXPECT_TRUE(sheet.DayOf(QDate(2019, 5, 7))->holiday.isEmpty());

    // Filled again from another book, nothing of the first stays.
    DayList other;
    AddDay(other, Date(2019, 5, 2)).SetMemo(QStringLiteral("メモ"));
    sheet.Fill(other);
    EXPECT_FALSE(sheet.DayOf(QDate(2019, 5, 10))->hasText);
    EXPECT_TRUE(sheet.DayOf(QDate(2019, 5, 10))->heading.isEmpty());
    EXPECT_TRUE(sheet.DayOf(QDate(2019, 5, 2))->hasText);
    EXPECT_EQ(sheet.DayOf(QDate(2019, 5, 1))->holiday, QStringLiteral("休日（祝日扱い）"));
}

TEST(MonthSheet, DaysBefore1900AndAtTheEdgeOfTheCalendar) {
    // Before 1900 the fraction counts away from zero: 25 December 1899 06:00 is -5.25.
    DayList book;
    AddDay(book, COleDateTime(-5.25)).SetPlan(0, QStringLiteral("聖夜の朝"));
    AddDay(book, COleDateTime(-1.0)).SetPlan(0, QStringLiteral("大晦日前"));
    MonthSheet december(QDate(1899, 12, 1));
    december.Fill(book);
    EXPECT_EQ(Plans(december.DayOf(QDate(1899, 12, 25))), QStringLiteral("|聖夜の朝"));
    EXPECT_EQ(Plans(december.DayOf(QDate(1899, 12, 29))), QStringLiteral("|大晦日前"));
    EXPECT_TRUE(december.DayOf(QDate(1899, 12, 24))->rows.empty());

    // The first month a date can name: its grid begins in the year 99.
    DayList first;
    AddDay(first, Date(100, 1, 1)).SetPlan(0, QStringLiteral("最初の日"));
    MonthSheet january(QDate(100, 1, 1));
    january.Fill(first);
    EXPECT_LT(january.FirstDay(), QDate(100, 1, 1));
    EXPECT_EQ(Plans(january.DayOf(QDate(100, 1, 1))), QStringLiteral("|最初の日"));
}

TEST(MonthSheet, RowsThatFitAndTheNumberLeftOut) {
    struct Case {
        bool heading;
        int rows, lines;
        MonthSheet::Fit fit;
    };
    const Case cases[] = {
        {false, 0, 3, {0, 0, 0}}, {true, 2, 3, {1, 2, 0}},   {true, 3, 3, {1, 1, 2}},
        {false, 4, 4, {0, 4, 0}}, {false, 10, 4, {0, 3, 7}}, {true, 5, 1, {1, 0, 5}},
        {false, 5, 0, {0, 0, 5}}, {true, 0, 0, {0, 0, 0}},   {false, 2, -3, {0, 0, 2}},
    };
    for (const Case& c : cases) {
        const MonthSheet::Fit fit = MonthSheet::FitRows(c.heading, c.rows, c.lines);
        EXPECT_EQ(fit.heading, c.fit.heading) << c.rows << " rows in " << c.lines;
        EXPECT_EQ(fit.rows, c.fit.rows) << c.rows << " rows in " << c.lines;
        EXPECT_EQ(fit.hidden, c.fit.hidden) << c.rows << " rows in " << c.lines;
    }
}

TEST(MonthSheet, DrawsEachDayInItsCellInItsColours) {
    MonthSheet sheet(QDate(2019, 5, 1));
    sheet.Fill(MayBook());
    sheet.SetToday(QDate(2019, 5, 9));
    sheet.SetSelected(QDate(2019, 5, 21));
    const QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    RecordingDevice device(QSize(480, 536));
    const QRectF area(8, 4, 464, 524);
    {
        QPainter painter(&device);
        sheet.Draw(painter, area, font);
    }
    const auto cell = [&](int month, int day) {
        return sheet.CellRect(area, font, QDate(2019, month, day), &device);
    };
    const QColor red = MonthSheet::HolidayColour();
    const QColor blue = MonthSheet::SaturdayColour();

    EXPECT_EQ(device.Find(QStringLiteral("2019年5月")).text, QStringLiteral("2019年5月"));
    EXPECT_EQ(device.Find(QStringLiteral("日")).colour, red);
    EXPECT_EQ(device.Find(QStringLiteral("土")).colour, blue);
    EXPECT_NE(device.Find(QStringLiteral("月")).colour, red);

    // A Saturday is blue, a Saturday holiday red, a Sunday red, a weekday holiday red with its
    // name; the neighbouring month's days are grey whatever they are.
    EXPECT_EQ(device.Find(QStringLiteral("11"), cell(5, 11)).colour, blue);
    EXPECT_EQ(device.Find(QStringLiteral("4"), cell(5, 4)).colour, red);
    EXPECT_EQ(device.Find(QStringLiteral("12"), cell(5, 12)).colour, red);
    EXPECT_EQ(device.Find(QStringLiteral("3"), cell(5, 3)).colour, red);
    EXPECT_EQ(device.Find(QStringLiteral("憲法記念日"), cell(5, 3)).colour, red);
    const QColor ink = device.Find(QStringLiteral("22"), cell(5, 22)).colour;
    EXPECT_NE(ink, red);
    EXPECT_NE(ink, blue);
    const QColor grey = device.Find(QStringLiteral("29"), cell(4, 29)).colour;
    EXPECT_NE(grey, red);
    EXPECT_NE(grey, ink);
    EXPECT_EQ(device.Find(QStringLiteral("前月"), cell(4, 30)).colour, grey);
    EXPECT_EQ(device.Find(QStringLiteral("1"), cell(6, 1)).colour, grey);

    // A day with text has a bold date, and its heading and rows in its cell.
    EXPECT_TRUE(device.Find(QStringLiteral("10"), cell(5, 10)).bold);
    EXPECT_FALSE(device.Find(QStringLiteral("9"), cell(5, 9)).bold);
    const QStringList trip = device.TextsIn(cell(5, 10));
    EXPECT_TRUE(trip.contains(QStringLiteral("09")));
    EXPECT_TRUE(trip.contains(QStringLiteral("新幹線")));
    EXPECT_TRUE(trip.join(QString()).contains(QStringLiteral("出張")));

    // More rows than fit: the first ones, then "…" with the number of those not shown.
    const QStringList full = device.TextsIn(cell(5, 21));
    const int shown = int(full.filter(QRegularExpression(QStringLiteral("^予定\\d+$"))).size());
    EXPECT_GT(shown, 0);
    EXPECT_LT(shown, 10);
    for (int r = 1; r <= shown; ++r)
        EXPECT_TRUE(full.contains(QStringLiteral("予定%1").arg(r))) << r;
    EXPECT_TRUE(full.contains(QStringLiteral("…%1").arg(10 - shown)))
        << full.join(u' ').toStdString();

    // On a larger page every row fits and nothing is marked.
    RecordingDevice page(QSize(1600, 2200));
    {
        QPainter painter(&page);
        sheet.Draw(painter, QRectF(0, 0, 1600, 2200), font);
    }
    const QStringList all =
        page.TextsIn(sheet.CellRect(QRectF(0, 0, 1600, 2200), font, QDate(2019, 5, 21), &page));
    EXPECT_EQ(all.filter(QRegularExpression(QStringLiteral("^予定\\d+$"))).size(), 10);
    EXPECT_TRUE(all.filter(QStringLiteral("…")).isEmpty());
}

TEST(MonthSheet, TodayTheSelectedDayAndTheNeighbouringMonthsAsPixels) {
    MonthSheet sheet(QDate(2019, 5, 1));
    sheet.Fill(MayBook());
    sheet.SetToday(QDate(2019, 5, 9));
    sheet.SetSelected(QDate(2019, 5, 21));
    const QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    QImage image(480, 536, QImage::Format_RGB32);
    image.fill(Qt::black);
    const QRectF area(8, 4, 464, 524);
    {
        QPainter painter(&image);
        sheet.Draw(painter, area, font);
    }
    // A point near the bottom right of a cell, clear of the rules and the texts.
    const auto corner = [&](int month, int day) {
        const QRectF cell = sheet.CellRect(area, font, QDate(2019, month, day), &image);
        return image.pixelColor((cell.bottomRight() - QPointF(4, 4)).toPoint());
    };
    EXPECT_EQ(corner(5, 22), QColor(Qt::white));
    EXPECT_EQ(corner(5, 9), QColor(0xff, 0xf1, 0xb8));
    const QColor neighbour = corner(4, 29);
    EXPECT_NE(neighbour, QColor(Qt::white));
    EXPECT_EQ(corner(6, 1), neighbour);
    // The selected day's frame runs inside its cell's left edge; the day beside it has none.
    const auto framed = [&](int day) {
        const QRectF cell = sheet.CellRect(area, font, QDate(2019, 5, day), &image);
        for (int dx = 0; dx <= 4; ++dx) {
            const QColor c = image.pixelColor(int(cell.left()) + dx, int(cell.center().y()));
            if (c.blue() > c.red() + 60)
                return true;
        }
        return false;
    };
    EXPECT_TRUE(framed(21));
    EXPECT_FALSE(framed(23));
}

TEST(MonthSheet, PointsFindTheirDays) {
    MonthSheet sheet(QDate(2026, 8, 1));
    const QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    QImage image(700, 500, QImage::Format_RGB32);
    const QRectF area(10, 10, 680, 480);
    for (QDate d = sheet.FirstDay(); d <= sheet.LastDay(); d = d.addDays(1)) {
        const QRectF cell = sheet.CellRect(area, font, d, &image);
        ASSERT_FALSE(cell.isEmpty());
        EXPECT_EQ(sheet.DateAt(area, font, cell.center(), &image), d);
        EXPECT_EQ(sheet.DateAt(area, font, cell.topLeft() + QPointF(1, 1), &image), d);
    }
    EXPECT_FALSE(sheet.DateAt(area, font, QPointF(300, 12), &image).isValid()); // the title
    EXPECT_FALSE(sheet.DateAt(area, font, QPointF(5, 300), &image).isValid());
    EXPECT_TRUE(sheet.CellRect(area, font, QDate(2026, 9, 6), &image).isEmpty());
}

} // namespace
