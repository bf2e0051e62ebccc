// The main window on the desktop: it fits the screen, reopens where it was closed (remembered
// apart from the profile), is sharp at 200%, and every control is announced in Japanese.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "editing/YoteiIns.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QAccessible>
#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

class DesktopWindowTest : public PlannerAppTest {
protected:
    QString StateFile() const {
        return m_profile.ConfigFolder() + QStringLiteral("/Tavrino/window.ini");
    }
    void Restart() {
        m_app.reset();
        StartApp();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    }
};

TEST_F(DesktopWindowTest, ReopensWhereItWasClosedAndStaysOnScreen) {
    StartApp();
    const QRect firstStart = Frame()->geometry();
    EXPECT_EQ(Frame()->centralWidget()->size(), QSize(480, 536));
    Frame()->setGeometry(60, 40, 520, 480);
    const QRect closedAt = Frame()->geometry();
    ASSERT_TRUE(Frame()->close());
    ASSERT_TRUE(QFile::exists(StateFile()));
    // Only the file read last is in the profile.
    QSettings profile(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
    for (const QString& key : profile.allKeys())
        EXPECT_EQ(key, QStringLiteral("Recent File List/File_dat"));

    Restart();
    EXPECT_EQ(Frame()->geometry(), closedAt);
    EXPECT_NE(Frame()->geometry(), firstStart);

    // Closed where no screen is any more: back on the screen.
    Frame()->move(5000, 4000);
    ASSERT_TRUE(Frame()->close());
    Restart();
    EXPECT_TRUE(Frame()->screen()->availableGeometry().contains(Frame()->frameGeometry()))
        << Frame()->frameGeometry().x() << "," << Frame()->frameGeometry().y();
}

// Run in a process of its own on a 1920 x 1080 screen at 200%: the form is taller than the
// screen, so the window shrinks and the menu bar at the bottom stays in view.
TEST_F(DesktopWindowTest, DISABLED_FitsASmallScreen) {
    StartApp();
    const QRect area = Frame()->screen()->availableGeometry();
    ASSERT_EQ(area.size(), QSize(960, 540));
    EXPECT_TRUE(area.contains(Frame()->frameGeometry()));
    CCommandBar* bar = Frame()->GetCommandBar();
    const QRect barOnScreen(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    EXPECT_TRUE(area.contains(barOnScreen));
    EXPECT_EQ(Frame()->width(), 480);
    if (const QString shot = ShotPath(QStringLiteral("window-200.png")); !shot.isEmpty())
        Frame()->grab().save(shot);
}

TEST(DesktopWindowScreen, FitsASmallScreenAtTwiceTheScale) {
    QTemporaryDir dir;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile json(config);
    ASSERT_TRUE(json.open(QIODevice::WriteOnly));
    json.write(R"({"screens":[{"name":"small","x":0,"y":0,"width":1920,"height":1080,
                   "logicalDpi":96,"logicalBaseDpi":96}]})");
    json.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_also_run_disabled_tests"),
                 QStringLiteral("--gtest_filter=DesktopWindowTest.DISABLED_FitsASmallScreen")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// At 200% the image buttons and the icon draw their twice-as-large images, not blurred ones.
TEST_F(DesktopWindowTest, ImagesAreSharpAtTwiceTheScale) {
    StartApp();
    const QImage strip =
        QImage(QStringLiteral(":/toolbar@2x.xpm")).convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(strip.size(), QSize(512, 64));
    CCommandBar* bar = Frame()->GetCommandBar();
    for (int i = 0; i < bar->GetButtonCount(); ++i) {
        const QImage shown = bar->GetButton(i)->icon().pixmap(QSize(32, 32), 2.0).toImage();
        EXPECT_EQ(shown.convertToFormat(QImage::Format_ARGB32), strip.copy(64 * i, 0, 64, 64))
            << "button " << i + 1;
        // And the 16-colour original at 100%.
        EXPECT_EQ(bar->GetButton(i)
                      ->icon()
                      .pixmap(QSize(32, 32), 1.0)
                      .toImage()
                      .convertToFormat(QImage::Format_ARGB32),
                  QImage(QStringLiteral(":/toolbar.xpm"))
                      .convertToFormat(QImage::Format_ARGB32)
                      .copy(32 * i, 0, 32, 32));
    }
    EXPECT_EQ(Frame()->windowIcon().pixmap(QSize(32, 32), 2.0).size(), QSize(64, 64));
}

QString Announced(QWidget* widget, QAccessible::Text kind) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(kind) : QStringLiteral("<none>");
}

// A screen reader announces every control by a Japanese name and description.
TEST_F(DesktopWindowTest, ControlsAreAnnouncedInJapanese) {
    StartApp();
    CTavrinoView* view = View();
    const QList<QPair<QWidget*, QString>> form = {
        {static_cast<QWidget*>(view->m_datePicker), QStringLiteral("日付")},
        {static_cast<QWidget*>(view->m_listCtrl), QStringLiteral("予定の一覧")},
        {static_cast<QWidget*>(view->m_memoEdit), QStringLiteral("メモ")},
        {static_cast<QWidget*>(Frame()->GetCommandBar()->GetMenuButton()),
         QStringLiteral("メニュー")},
    };
    for (const auto& [widget, name] : form) {
        EXPECT_EQ(Announced(widget, QAccessible::Name), name);
        EXPECT_FALSE(Announced(widget, QAccessible::Description).isEmpty()) << name.toStdString();
    }
    const QStringList buttons = {
        QStringLiteral("編集"),     QStringLiteral("ボタン 2"),
        QStringLiteral("ボタン 3"), QStringLiteral("挿入"),
        QStringLiteral("削除"),     QStringLiteral("日"),
        QStringLiteral("月"),       QStringLiteral("バージョン情報 Tavrino...")};
    CCommandBar* bar = Frame()->GetCommandBar();
    for (int i = 0; i < bar->GetButtonCount(); ++i) {
        EXPECT_EQ(Announced(bar->GetButton(i), QAccessible::Name), buttons[i]);
        EXPECT_FALSE(Announced(bar->GetButton(i), QAccessible::Description).isEmpty());
    }
    EXPECT_EQ(Announced(bar->GetButton(0), QAccessible::Description),
              QStringLiteral("メニュー › 行操作 › 編集"));

    CYoteiIns dialog;
    const QList<QPair<int, QString>> fields = {{IDC_TIME, QStringLiteral("時間")},
                                               {IDC_PLAN, QStringLiteral("予定")},
                                               {IDC_DETAIL, QStringLiteral("詳細")},
                                               {IDOK, QStringLiteral("OK")},
                                               {IDCANCEL, QStringLiteral("キャンセル")}};
    for (const auto& [id, name] : fields) {
        EXPECT_EQ(Announced(dialog.GetDlgItem(id), QAccessible::Name), name);
        EXPECT_FALSE(Announced(dialog.GetDlgItem(id), QAccessible::Description).isEmpty());
    }
}

} // namespace
