// The month at a glance: days holding text are bold in the date picker's calendar, holidays and
// Sundays red and Saturdays blue, and the marks follow the book as it changes.

#include "UiTestSupport.h"

#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "sheets/MonthSheet.h"
#include "view/TavrinoView.h"

#include <QCalendarWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

std::unique_ptr<CYoteiDay> DayWith(const COleDateTime& date, const QString& memo) {
    auto day = std::make_unique<CYoteiDay>();
    day->m_dayDate = date;
    day->SetMemo(memo);
    return day;
}

class CalendarMarksTest : public PlannerAppTest {
protected:
    bool Bold(int year, int month, int day) const {
        return Calendar()->dateTextFormat(QDate(year, month, day)).fontWeight() == QFont::Bold;
    }
    QCalendarWidget* Calendar() const { return View()->m_datePicker->calendarWidget(); }
};

TEST_F(CalendarMarksTest, DaysWithTextAreBoldAndFollowTheBook) {
    // A book written elsewhere: out of order, 5 July held twice (the first record empty), a
    // day with only a time of day, and days of the neighbouring months.
    const QString path = m_profile.File(QStringLiteral("book.dat"));
    {
        CTavrinoDoc book;
        book.m_days.push_back(DayWith(Day(2009, 7, 20), QStringLiteral("会議")));
        book.m_days.push_back(DayWith(Day(2009, 9, 15), QStringLiteral("九月")));
        book.m_days.push_back(DayWith(Day(2009, 7, 5), QString()));
        book.m_days.push_back(DayWith(Day(2009, 7, 5), QStringLiteral("二つ目")));
        book.m_days.push_back(
            DayWith(COleDateTime(Day(2009, 7, 9).m_dt + 0.5), QStringLiteral("昼")));
        book.m_days.push_back(DayWith(Day(2009, 6, 30), QStringLiteral("前月")));
        book.m_days.push_back(DayWith(Day(2009, 8, 3), QStringLiteral("翌月")));
        ASSERT_TRUE(book.OnSaveDocument(path));
    }
    m_profile.Remember(path);
    StartApp();
    CDateTimeCtrl* picker = View()->m_datePicker;
    picker->setFocus();
    picker->setDate(QDate(2009, 7, 10));
    // Open the calendar as a user does, with the arrow at the picker's right, and look at it.
    QTest::mouseClick(picker, Qt::LeftButton, {},
                      QPoint(picker->width() - 6, picker->height() / 2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Calendar()->isVisible(); }, 2000));
    EXPECT_EQ(Calendar()->monthShown(), 7);
    if (const QString shot = ShotPath(QStringLiteral("calendar-marks.png")); !shot.isEmpty())
        Calendar()->window()->grab().save(shot);

    EXPECT_TRUE(Bold(2009, 7, 20));
    EXPECT_TRUE(Bold(2009, 7, 9));
    EXPECT_FALSE(Bold(2009, 7, 5)); // SelectDay shows the first, empty record
    EXPECT_TRUE(Bold(2009, 6, 30)); // neighbouring months' days in the grid
    EXPECT_TRUE(Bold(2009, 8, 3));
    EXPECT_FALSE(Bold(2009, 7, 10));
    EXPECT_FALSE(Bold(2009, 9, 15)); // not on show

    // Turning the page marks the month turned to.
    auto* next = Calendar()->findChild<QToolButton*>(QStringLiteral("qt_calendar_nextmonth"));
    ASSERT_NE(next, nullptr);
    QTest::mouseClick(next, Qt::LeftButton);
    QTest::mouseClick(next, Qt::LeftButton);
    EXPECT_EQ(Calendar()->monthShown(), 9);
    EXPECT_TRUE(Bold(2009, 9, 15));
    QTest::keyClick(Calendar(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Calendar()->isVisible(); }, 2000));

    // A memo typed on an empty day marks it at once; deleting its last text unmarks it.
    picker->setDate(QDate(2009, 7, 12));
    ASSERT_EQ(Calendar()->monthShown(), 7);
    Memo()->setFocus();
    TypeText(Memo(), QStringLiteral("x"));
    EXPECT_TRUE(Bold(2009, 7, 12));
    QTest::keyClick(Memo(), Qt::Key_Backspace);
    EXPECT_FALSE(Bold(2009, 7, 12));
    EXPECT_TRUE(Calendar()->dateTextFormat(QDate(2009, 7, 12)).properties().isEmpty());
}

TEST_F(CalendarMarksTest, HolidaysAreRedAndStayRedWhenTheyHoldText) {
    const QString path = m_profile.File(QStringLiteral("book.dat"));
    {
        CTavrinoDoc book;
        book.m_days.push_back(DayWith(Day(2019, 5, 4), QStringLiteral("買い物")));
        ASSERT_TRUE(book.OnSaveDocument(path));
    }
    m_profile.Remember(path);
    StartApp();
    CDateTimeCtrl* picker = View()->m_datePicker;
    picker->setFocus();
    picker->setDate(QDate(2019, 5, 2));
    ASSERT_EQ(Calendar()->monthShown(), 5);
    const QColor red = MonthSheet::HolidayColour();
    const QColor blue = MonthSheet::SaturdayColour();
    const auto colour = [&](int month, int day) {
        return Calendar()->dateTextFormat(QDate(2019, month, day)).foreground().color();
    };
    EXPECT_EQ(Calendar()->weekdayTextFormat(Qt::Sunday).foreground().color(), red);
    EXPECT_EQ(Calendar()->weekdayTextFormat(Qt::Saturday).foreground().color(), blue);
    EXPECT_EQ(Calendar()->weekdayTextFormat(Qt::Monday).foreground().style(), Qt::NoBrush);
    // The ten days off, 29 April (on the page as a neighbouring day) to 6 May.
    for (const QDate& day : {QDate(2019, 4, 29), QDate(2019, 4, 30), QDate(2019, 5, 1),
                             QDate(2019, 5, 2), QDate(2019, 5, 6)})
        EXPECT_EQ(colour(day.month(), day.day()), red) << day.toString().toStdString();
    EXPECT_FALSE(
        Calendar()->dateTextFormat(QDate(2019, 5, 7)).hasProperty(QTextFormat::ForegroundBrush));
    // A Saturday holiday with text: red (not the Saturday's blue) and bold.
    EXPECT_EQ(colour(5, 4), red);
    EXPECT_TRUE(Bold(2019, 5, 4));

    // Text typed on a holiday makes it bold and keeps it red; so does deleting the text again.
    Memo()->setFocus();
    TypeText(Memo(), QStringLiteral("x"));
    EXPECT_TRUE(Bold(2019, 5, 2));
    EXPECT_EQ(colour(5, 2), red);
    QTest::keyClick(Memo(), Qt::Key_Backspace);
    EXPECT_FALSE(Bold(2019, 5, 2));
    EXPECT_EQ(colour(5, 2), red);

    // Turning the page marks the next month's holidays.
    picker->setDate(QDate(2019, 7, 1));
    ASSERT_EQ(Calendar()->monthShown(), 7);
    EXPECT_EQ(colour(7, 15), red); // 海の日
    EXPECT_FALSE(
        Calendar()->dateTextFormat(QDate(2019, 5, 3)).hasProperty(QTextFormat::ForegroundBrush));
}

} // namespace
