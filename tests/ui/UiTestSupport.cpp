// Helpers shared by the widget tests.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "view/TavrinoView.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMenu>
#include <QProcess>
#include <QTest>
#include <QToolButton>

void PlannerAppTest::StartApp(const std::optional<QStringList>& arguments,
                              std::optional<PlatformKind> kind) {
    m_app = std::make_unique<CTavrinoApp>();
    m_app->SetDocumentsFolder(m_profile.DocumentsFolder());
    if (arguments)
        m_app->SetArguments(*arguments);
    if (kind)
        m_app->SetPlatformKind(*kind);
    ASSERT_TRUE(m_app->InitInstance());
    ASSERT_NE(Frame(), nullptr);
    ASSERT_NE(View(), nullptr);
    ASSERT_NE(Doc(), nullptr);
}

CMainFrame* PlannerAppTest::Frame() const {
    return qobject_cast<CMainFrame*>(m_app->m_pMainWnd);
}

CTavrinoView* PlannerAppTest::View() const {
    CMainFrame* frame = Frame();
    return frame ? qobject_cast<CTavrinoView*>(frame->GetActiveView()) : nullptr;
}

CTavrinoDoc* PlannerAppTest::Doc() const {
    return static_cast<CTavrinoDoc*>(m_app->GetDocument());
}

CListCtrl* PlannerAppTest::List() const {
    return View()->m_listCtrl;
}

CEdit* PlannerAppTest::Memo() const {
    return View()->m_memoEdit;
}

void TypeText(QWidget* field, const QString& text) {
    for (const QChar ch : text) {
        if (ch.unicode() < 0x80)
            QTest::keyClick(field, ch.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(ch), Qt::NoModifier);
    }
}

void RetypeText(QWidget* field, const QString& text) {
    field->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Delete);
    TypeText(field, text);
}

MenuClicker::MenuClicker(QStringList path) : m_path(std::move(path)) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        m_elapsed += 10;
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        // The next item is looked for in the sub-menu the last click opened, not in the menu
        // clicked (both may hold an item of that name).
        if (m_step < m_path.size() && menu && menu != m_clicked) {
            for (QAction* action : menu->actions()) {
                if (action->text() == m_path[m_step]) {
                    ++m_step;
                    m_clicked = menu;
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
                    return;
                }
            }
        }
        if (m_elapsed > 5000) {
            m_timer.stop();
            if (menu)
                menu->close();
        }
    });
    m_timer.start();
}

bool ClickMenu(CCommandBar* bar, const QStringList& path) {
    MenuClicker clicker(path);
    QTest::mouseClick(bar->GetMenuButton(), Qt::LeftButton);
    // The menu runs its own loop, so the walk is usually over when the click returns.
    return QTest::qWaitFor([&] { return clicker.Done(); }, 5000);
}

QRect Ltrb(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QSize(right - left, bottom - top));
}

QString ShotPath(const QString& name) {
    const QString dir = qEnvironmentVariable("TAVRINO_SCREENSHOT_DIR");
    return dir.isEmpty() ? QString() : QDir(dir).filePath(name);
}

COleDateTime Day(int year, int month, int day) {
    COleDateTime date;
    date.SetDateTime(year, month, day, 0, 0, 0);
    return date;
}

void WriteBook(const QString& path, const COleDateTime& date, const QString& plan) {
    CTavrinoDoc doc;
    doc.SelectDay(date);
    doc.SetPlan(0, plan);
    doc.CommitCurrentDay();
    ASSERT_TRUE(doc.OnSaveDocument(path)) << path.toStdString();
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString StoredPlan(const CTavrinoDoc* doc, const COleDateTime& date) {
    for (const auto& day : doc->GetDays()) {
        if (day->m_dayDate.DatePart() == date.DatePart())
            return day->GetPlan(0);
    }
    return QStringLiteral("<no day>");
}

void DumpBook(const QString& path, QJsonObject* json) {
    QProcess tool;
    tool.start(QStringLiteral(TAVRINO_BOOK_EXE), {QStringLiteral("dump"), path});
    ASSERT_TRUE(tool.waitForFinished(30000));
    ASSERT_EQ(tool.exitStatus(), QProcess::NormalExit);
    ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(tool.readAllStandardOutput(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    *json = document.object();
}
