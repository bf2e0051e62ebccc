// The form inside the real main window, in portrait and in landscape, with Japanese content.
// With TAVRINO_SHOT_DIR set the window is also saved as portrait.png and landscape.png there,
// to be looked at.

#include "UiTestSupport.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "platform/ui/FrameWnd.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QDir>
#include <QFontMetrics>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void SaveShot(QWidget* window, const QString& name) {
    const QString folder = qEnvironmentVariable("TAVRINO_SHOT_DIR");
    if (folder.isEmpty())
        return;
    QDir().mkpath(folder);
    EXPECT_TRUE(window->grab().save(QDir(folder).filePath(name)));
}

// Resizes the frame so that its view gets exactly the given client size.
void SetViewClientSize(CFrameWnd* frame, QWidget* view, const QSize& size) {
    const QSize extra = frame->size() - view->size();
    frame->resize(size + extra);
    QTRY_COMPARE(view->size(), size);
}

} // namespace

using ViewLookTest = PlannerAppTest;

TEST_F(ViewLookTest, MainWindowInPortraitAndLandscape) {
    StartApp();
    CFrameWnd* frame = Frame();
    CTavrinoView* view = View();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(frame));

    // The frame starts with the handheld's portrait client area.
    ASSERT_EQ(view->size(), QSize(480, 536));
    ASSERT_TRUE(frame->OnCmdMsg(ID_DATA_TIME, true));
    view->SetCellText(3, 1, QStringLiteral("打ち合わせ（第二会議室）"));
    view->SetCellText(3, 2, QStringLiteral("資料を十部印刷して持っていく"));
    CEdit* memo = view->m_memoEdit;
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    TypeText(memo, QStringLiteral("買い物：牛乳、卵"));
    QTest::keyClick(memo, Qt::Key_Return);
    TypeText(memo, QStringLiteral("午後は歯医者"));

    CListCtrl* list = view->m_listCtrl;
    EXPECT_EQ(list->GetItemText(1, 0), QStringLiteral("08"));
    EXPECT_EQ(list->GetItemText(10, 0), QStringLiteral("17"));
    EXPECT_EQ(list->geometry(), QRect(15, 60, 450, 290));
    EXPECT_EQ(memo->geometry(), QRect(15, 365, 450, 131));
    EXPECT_EQ(list->GetColumnWidth(2), 232);
    // All eleven items fit the list's 290 pixels without scrolling.
    const int lastBottom = list->visualRect(list->model()->index(10, 0)).bottom();
    EXPECT_LT(lastBottom, list->viewport()->height());
    // The picker's field holds the widest Japanese long date of a year.
    CDateTimeCtrl* picker = view->m_datePicker;
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    const QString format = japanese.dateFormat(QLocale::LongFormat);
    const QFontMetrics metrics(picker->font());
    int widest = 0;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1))
        widest = std::max(widest, metrics.horizontalAdvance(japanese.toString(d, format)));
    const QLineEdit* field = picker->findChild<QLineEdit*>();
    ASSERT_NE(field, nullptr);
    EXPECT_GE(field->contentsRect().width(), widest);
    SaveShot(frame, QStringLiteral("portrait.png"));

    // Turned to landscape, widened, and back: the detail column takes the rest of the list at
    // every size, so the list never scrolls sideways, and the first widths come back.
    const auto expectFilled = [&](const QSize& client, int listWidth) {
        SCOPED_TRACE(testing::Message() << client.width() << "x" << client.height());
        SetViewClientSize(frame, view, client);
        // The scroll bars follow the columns once the events are through, before any painting.
        QCoreApplication::processEvents();
        EXPECT_EQ(list->width(), listWidth);
        EXPECT_EQ(list->GetColumnWidth(0), 60);
        EXPECT_EQ(list->GetColumnWidth(1), 150);
        EXPECT_EQ(list->GetColumnWidth(2), listWidth - 218);
        EXPECT_LE(60 + 150 + list->GetColumnWidth(2), list->viewport()->width());
        EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
    };
    expectFilled(QSize(640, 376), 396);
    EXPECT_EQ(list->geometry(), QRect(15, 60, 396, 290));
    EXPECT_EQ(memo->geometry(), QRect(426, 60, 199, 290));
    SaveShot(frame, QStringLiteral("landscape.png"));
    expectFilled(QSize(960, 536), 610);
    SaveShot(frame, QStringLiteral("widened.png"));
    expectFilled(QSize(600, 700), 570);
    expectFilled(QSize(480, 536), 450);
    EXPECT_EQ(list->GetColumnWidth(2), 232);
}
