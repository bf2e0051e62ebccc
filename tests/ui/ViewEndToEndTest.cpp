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
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Types text as key presses; characters beyond ASCII come as key events carrying their text,
// as an input method's committed characters would.
void TypeText(QWidget* widget, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80) {
            QTest::keyClick(widget, char(ch.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(ch), {});
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(ch), {});
        }
    }
}

struct Running {
    CFrameWnd* frame = nullptr;
    CTavrinoView* view = nullptr;
    CTavrinoDoc* doc = nullptr;
};

Running Start(CTavrinoApp& app, const TestProfileFolder& profile) {
    app.SetDocumentsFolder(profile.DocumentsFolder());
    Running r;
    if (!app.InitInstance())
        return r;
    r.frame = app.m_pMainWnd;
    r.view = r.frame ? qobject_cast<CTavrinoView*>(r.frame->GetActiveView()) : nullptr;
    r.doc = static_cast<CTavrinoDoc*>(app.GetDocument());
    return r;
}

void StepDay(CDateTimeCtrl* picker, Qt::Key key) {
    picker->setFocus();
    picker->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, key);
}

} // namespace

TEST(ViewEndToEndTest, TypedMemoIsSavedReopenedAndDumpedAsTyped) {
    TestProfileFolder profile;
    const QDate today = QDate::currentDate();
    // A line break typed with Enter is stored as CR LF.
    const QString typed = QStringLiteral("朝の会議\r\n資料 3部");
    QString savedPath;
    {
        CTavrinoApp app;
        const Running r = Start(app, profile);
        ASSERT_NE(r.view, nullptr);
        ASSERT_NE(r.doc, nullptr);
        r.frame->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(r.frame));

        CEdit* memo = r.view->m_memoEdit;
        QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
        TypeText(memo, QStringLiteral("朝の会議"));
        QTest::keyClick(memo, Qt::Key_Return);
        TypeText(memo, QStringLiteral("資料 3部"));
        EXPECT_EQ(memo->GetWindowText(), typed);
        EXPECT_TRUE(r.doc->IsModified());

        // Another day, then back.
        const Qt::Key away = today.day() > 1 ? Qt::Key_Down : Qt::Key_Up;
        const Qt::Key back = away == Qt::Key_Down ? Qt::Key_Up : Qt::Key_Down;
        StepDay(r.view->m_datePicker, away);
        EXPECT_NE(r.view->m_datePicker->date(), today);
        EXPECT_EQ(memo->GetWindowText(), QString());
        StepDay(r.view->m_datePicker, back);
        EXPECT_EQ(r.view->m_datePicker->date(), today);
        EXPECT_EQ(memo->GetWindowText(), typed);

        ASSERT_TRUE(r.frame->OnCmdMsg(ID_FILE_SAVE, true));
        EXPECT_FALSE(r.doc->IsModified());
        savedPath = r.doc->GetPathName();
        ASSERT_FALSE(savedPath.isEmpty());
        EXPECT_TRUE(QFileInfo(savedPath).isFile());
        EXPECT_EQ(QFileInfo(savedPath).absolutePath(),
                  QFileInfo(profile.DocumentsFolder()).absoluteFilePath());
        // A book saved new is not remembered for the next start.
        EXPECT_EQ(profile.Remembered(), QString());
    }
    {
        CTavrinoApp app;
        const Running r = Start(app, profile);
        ASSERT_NE(r.view, nullptr);
        EXPECT_TRUE(r.doc->GetPathName().isEmpty());
        EXPECT_EQ(r.view->m_memoEdit->GetWindowText(), QString());

        ASSERT_NE(app.OpenDocumentFile(savedPath), nullptr);
        EXPECT_EQ(r.view->m_datePicker->date(), today);
        EXPECT_EQ(r.view->m_memoEdit->GetWindowText(), typed);
        EXPECT_FALSE(r.doc->IsModified());
    }
    // A book that was opened is remembered: the next start opens it by itself.
    EXPECT_EQ(profile.Remembered(), savedPath);
    {
        CTavrinoApp app;
        const Running r = Start(app, profile);
        ASSERT_NE(r.view, nullptr);
        EXPECT_EQ(r.doc->GetPathName(), savedPath);
        EXPECT_EQ(r.view->m_memoEdit->GetWindowText(), typed);
    }

    QProcess tool;
    tool.start(QStringLiteral(TAVRINO_BOOK_EXE), {QStringLiteral("dump"), savedPath});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(tool.readAllStandardOutput(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonArray days = json.object().value(QStringLiteral("days")).toArray();
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
