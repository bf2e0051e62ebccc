// The About box through its three ways in, its content and its closing; and the executable
// started without a display.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/DialogTemplate.h"
#include "resources/Resource.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

QLabel* Control(QWidget* dialog, int id) {
    for (auto* label : dialog->findChildren<QLabel*>()) {
        if (label->property("dlgCtrlId").toInt() == id)
            return label;
    }
    return nullptr;
}

QLabel* IconLabel(QWidget* dialog) {
    for (auto* label : dialog->findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            return label;
    }
    return nullptr;
}

class AboutTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp(QStringList{QStringLiteral("tavrino")}));
        frame = Frame();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(frame));
    }

    // Expects the About box next, checks what it shows and closes it with close.
    void ExpectAbout(std::function<void(QDialog*)> close) {
        seen = false;
        OnNextModal([this, close](QWidget* modal) {
            auto* dialog = qobject_cast<QDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            seen = true;
            caption = dialog->windowTitle();
            close(dialog);
        });
    }

    CMainFrame* frame = nullptr;
    bool seen = false;
    QString caption;
};

TEST_F(AboutTest, ContentAndLayout) {
    if (const QString shot = ShotPath(QStringLiteral("main.png")); !shot.isEmpty())
        frame->grab().save(shot);
    ExpectAbout([](QDialog* dialog) {
        if (const QString shot = ShotPath(QStringLiteral("about.png")); !shot.isEmpty())
            dialog->grab().save(shot);
        QLabel* version = Control(dialog, IDC_VERSION);
        QLabel* notice = Control(dialog, IDC_NOTICE);
        QLabel* icon = IconLabel(dialog);
        ASSERT_TRUE(version && notice && icon);
        EXPECT_EQ(version->text(), QStringLiteral("Tavrino Version 2.0.3.0"));
        EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
        EXPECT_FALSE(notice->text().isEmpty());
        EXPECT_FALSE(notice->text().contains(QLatin1Char('\n')));
        // The template's places and sizes, in dialog units.
        EXPECT_EQ(version->geometry(), DialogUnitsToPixels(QRect(12, 36, 124, 8), dialog->font()));
        EXPECT_EQ(notice->geometry(), DialogUnitsToPixels(QRect(12, 48, 91, 8), dialog->font()));
        // Each text fits its control on one line: nothing is cut off.
        for (QLabel* label : {version, notice}) {
            SCOPED_TRACE(label->text().toStdString());
            EXPECT_FALSE(label->wordWrap());
            EXPECT_LE(label->sizeHint().width(), label->width());
            EXPECT_GE(label->height(), label->fontMetrics().height());
            EXPECT_TRUE(dialog->rect().contains(label->geometry()));
        }
        EXPECT_TRUE(dialog->rect().contains(icon->geometry()));
        // The icon stands above the texts, which do not overlap.
        EXPECT_LE(icon->geometry().bottom(), version->y());
        EXPECT_FALSE(version->geometry().intersects(notice->geometry()));

        // Resizing moves none of the three.
        const QList<QRect> before = {version->geometry(), notice->geometry(), icon->geometry()};
        for (const QSize size : {QSize(300, 260), QSize(800, 600), QSize(480, 580)}) {
            dialog->resize(size);
            QCoreApplication::processEvents();
            EXPECT_EQ(QList<QRect>({version->geometry(), notice->geometry(), icon->geometry()}),
                      before);
        }

        // Clicking the version text does nothing.
        QTest::mouseClick(version, Qt::LeftButton);
        EXPECT_TRUE(dialog->isVisible());

        // OK sits in a button row at the bottom right, inside the dialog.
        auto* box = dialog->findChild<QDialogButtonBox*>();
        ASSERT_NE(box, nullptr);
        QPushButton* ok = box->button(QDialogButtonBox::Ok);
        ASSERT_NE(ok, nullptr);
        EXPECT_TRUE(ok->isVisible());
        EXPECT_TRUE(dialog->rect().contains(box->geometry()));
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    ASSERT_TRUE(frame->OnCmdMsg(ID_APP_ABOUT, true));
    EXPECT_TRUE(seen);
    EXPECT_EQ(caption, QStringLiteral("バージョン情報 Tavrino"));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));
}

TEST_F(AboutTest, EighthButtonOpensItAndEscapeClosesIt) {
    QToolButton* button = frame->GetCommandBar()->GetButton(7);
    ASSERT_NE(button, nullptr);
    ASSERT_EQ(button->property("commandId").toInt(), ID_APP_ABOUT);
    ExpectAbout([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(seen);
    EXPECT_EQ(caption, QStringLiteral("バージョン情報 Tavrino"));
}

TEST_F(AboutTest, ToolsMenuItemOpensIt) {
    ExpectAbout([](QDialog* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    bool menuSeen = false;
    OnNextPopup([&](QMenu* menu) {
        EXPECT_EQ(menu, frame->GetCommandBar()->GetMenu());
        menuSeen = true;
        for (QAction* action : menu->actions()) {
            if (action->text() != QStringLiteral("ツール") || !action->menu())
                continue;
            // Into the sub-menu and onto its only item with the keyboard, as a user would.
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Right);
            QMenu* tools = action->menu();
            QTRY_VERIFY_WITH_TIMEOUT(tools->isVisible(), 2000);
            QAction* about = tools->actions().value(0);
            ASSERT_NE(about, nullptr);
            EXPECT_EQ(about->text(), QStringLiteral("バージョン情報 Tavrino..."));
            QTest::mouseClick(tools, Qt::LeftButton, {}, tools->actionGeometry(about).center());
            return;
        }
        menu->close();
    });
    QTest::mouseClick(frame->GetCommandBar()->GetMenuButton(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(seen, 3000);
    EXPECT_TRUE(menuSeen);
    EXPECT_EQ(caption, QStringLiteral("バージョン情報 Tavrino"));
}

// Without a display to reach, the program says so in one line and exits; it does not abort.
TEST(NoDisplay, ExecutableSaysSoInOneLineAndExits) {
    const QList<QPair<const char*, QStringList>> cases = {
        {"nothing set", {}},
        {"xcb asked for", {QStringLiteral("QT_QPA_PLATFORM=xcb")}},
        // Named, but no server there.
        {"dead X display", {QStringLiteral("DISPLAY=:4711")}},
        {"dead Wayland display", {QStringLiteral("WAYLAND_DISPLAY=tavrino-no-such-display")}},
    };
    for (const auto& [name, settings] : cases) {
        SCOPED_TRACE(name);
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
        for (const QString& setting : settings)
            env.insert(setting.section(QLatin1Char('='), 0, 0),
                       setting.section(QLatin1Char('='), 1));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TAVRINO_EXE), QStringList());
        ASSERT_TRUE(process.waitForFinished(20000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        const QByteArray err = process.readAllStandardError();
        EXPECT_EQ(err.count('\n'), 1) << err.toStdString();
        EXPECT_TRUE(err.startsWith("tavrino: ")) << err.toStdString();
        EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
        EXPECT_TRUE(QDir(home.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    }
}

} // namespace
