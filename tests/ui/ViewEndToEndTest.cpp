// From typing to the file and back: a memo typed into a fresh planner, saved, read by a second
// application lifetime and by the book tool in a process of its own.

#include "UiTestSupport.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "platform/ui/FrameWnd.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void StepDay(CDateTimeCtrl* picker, Qt::Key key) {
    picker->setFocus();
    picker->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, key);
}

} // namespace

using ViewEndToEndTest = PlannerAppTest;

TEST_F(ViewEndToEndTest, TypedMemoIsSavedReopenedAndDumpedAsTyped) {
    const QDate today = QDate::currentDate();
    // A line break typed with Enter is stored as CR LF.
    const QString typed = QStringLiteral("朝の会議\r\n資料 3部");
    QString savedPath;
    {
        // Each start is an application lifetime of its own, ended before the next.
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_NE(View(), nullptr);
        ASSERT_NE(Doc(), nullptr);
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));

        CEdit* memo = View()->m_memoEdit;
        QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        TypeText(memo, QStringLiteral("朝の会議"));
        QTest::keyClick(memo, Qt::Key_Return);
        TypeText(memo, QStringLiteral("資料 3部"));
        EXPECT_EQ(memo->GetWindowText(), typed);
        EXPECT_TRUE(Doc()->IsModified());

        // Another day, then back.
        const Qt::Key away = today.day() > 1 ? Qt::Key_Down : Qt::Key_Up;
        const Qt::Key back = away == Qt::Key_Down ? Qt::Key_Up : Qt::Key_Down;
        StepDay(View()->m_datePicker, away);
        EXPECT_NE(View()->m_datePicker->date(), today);
        EXPECT_EQ(memo->GetWindowText(), QString());
        StepDay(View()->m_datePicker, back);
        EXPECT_EQ(View()->m_datePicker->date(), today);
        EXPECT_EQ(memo->GetWindowText(), typed);

        ASSERT_TRUE(Frame()->OnCmdMsg(ID_FILE_SAVE, true));
        EXPECT_FALSE(Doc()->IsModified());
        savedPath = Doc()->GetPathName();
        ASSERT_FALSE(savedPath.isEmpty());
        EXPECT_TRUE(QFileInfo(savedPath).isFile());
        EXPECT_EQ(QFileInfo(savedPath).absolutePath(),
                  QFileInfo(m_profile.DocumentsFolder()).absoluteFilePath());
        // A book saved new is remembered: the next start opens it by itself.
        EXPECT_EQ(m_profile.Remembered(), savedPath);
        m_app.reset();
    }
    {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_NE(View(), nullptr);
        EXPECT_EQ(Doc()->GetPathName(), savedPath);
        EXPECT_EQ(View()->m_datePicker->date(), today);
        EXPECT_EQ(View()->m_memoEdit->GetWindowText(), typed);
        EXPECT_FALSE(Doc()->IsModified());
        m_app.reset();
    }

    QJsonObject json;
    ASSERT_NO_FATAL_FAILURE(DumpBook(savedPath, &json));
    const QJsonArray days = json.value(QStringLiteral("days")).toArray();
    ASSERT_EQ(days.size(), 1);
    const QJsonObject day = days[0].toObject();
    EXPECT_EQ(day.value(QStringLiteral("status")).toInt(-1), 0);
    EXPECT_EQ(day.value(QStringLiteral("day")).toString(), today.toString(Qt::ISODate));
    EXPECT_EQ(day.value(QStringLiteral("memo")).toString(), typed);
    EXPECT_EQ(day.value(QStringLiteral("heading")).toString(), QString());
    EXPECT_EQ(day.value(QStringLiteral("headingDetail")).toString(), QString());
    const QJsonArray rows = day.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 10);
    for (const QJsonValue& row : rows) {
        const QJsonObject cells = row.toObject();
        for (const char* key : {"time", "plan", "detail"})
            EXPECT_EQ(cells.value(QLatin1String(key)).toString(), QString()) << key;
    }
}
