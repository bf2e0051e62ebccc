// Helpers shared by the widget tests.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "view/TavrinoView.h"

#include <QDialog>
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
    m_app->SetDataFolder(m_profile.DataFolder());
    m_app->SetConfigFolder(m_profile.ConfigFolder() + QStringLiteral("/Tavrino"));
    if (arguments)
        m_app->SetArguments(*arguments);
    if (kind)
        m_app->SetPlatformKind(*kind);
    m_app->SetFileSystem(m_fileSystem);
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

namespace {
// Closes every open menu, innermost first.
void CloseMenus() {
    for (int i = 0; i < 16 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
}
} // namespace

PopupWatcher::PopupWatcher(std::function<void(QWidget*)> action, Kind kind, int limit)
    : m_action(std::move(action)), m_kind(kind), m_limit(limit) {
    m_timer.setInterval(10);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer.start();
}

PopupWatcher::~PopupWatcher() = default;

void PopupWatcher::Poll() {
    if (m_limit > 0 && m_count >= m_limit)
        return;
    m_elapsed += m_timer.interval();
    // One closed since is new when it shows again (the bar's menu is the same object each time).
    if (m_last && !m_last->isVisible())
        m_last = nullptr;
    QWidget* popup = nullptr;
    if (m_kind == Kind::Modal) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible() && modal->isActiveWindow())
            popup = modal;
    } else if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
        if (menu->isVisible())
            popup = menu;
    }
    if (!popup || m_inHand.contains(popup) || popup == m_last) {
        if (m_timeoutMs > 0 && m_elapsed > m_timeoutMs && m_inHand.isEmpty()) {
            if (m_kind == Kind::Menu)
                CloseMenus();
            Stop();
        }
        return;
    }
    ++m_count;
    m_last = popup;
    m_inHand.append(popup);
    const QPointer<QWidget> guard(popup);
    m_action(popup);
    m_inHand.removeOne(popup);
    if (m_kind == Kind::Modal && guard && guard->isVisible()) {
        ADD_FAILURE() << "a modal window was left open: " << guard->objectName().toStdString();
        if (auto* dialog = qobject_cast<QDialog*>(guard.data()))
            dialog->reject();
        else
            guard->close();
    }
    if (m_limit > 0 && m_count >= m_limit)
        Stop();
}

void PopupWatcher::Stop() {
    m_timer.stop();
    // Not from within its own timer's signal: once control is back in the event loop.
    if (m_ownsItself && m_inHand.isEmpty())
        QMetaObject::invokeMethod(
            qApp, [this] { delete this; }, Qt::QueuedConnection);
}

void OnNextModal(std::function<void(QWidget*)> action, int timeoutMs) {
    auto* watcher = new PopupWatcher(std::move(action), PopupWatcher::Kind::Modal, 1);
    watcher->SetTimeout(timeoutMs);
    watcher->DeleteWhenDone();
}

void OnNextPopup(std::function<void(QMenu*)> action, int timeoutMs) {
    auto* watcher = new PopupWatcher(
        [action = std::move(action)](QWidget* popup) { action(static_cast<QMenu*>(popup)); },
        PopupWatcher::Kind::Menu, 1);
    watcher->SetTimeout(timeoutMs);
    watcher->DeleteWhenDone();
}

bool ClickMenu(CCommandBar* bar, const QStringList& path) {
    qsizetype step = 0;
    // Each item is looked for in the menu its predecessor opened, not in the menu clicked before
    // (both may hold an item of that name).
    PopupWatcher walk(
        [&](QWidget* popup) {
            auto* menu = static_cast<QMenu*>(popup);
            for (QAction* action : menu->actions()) {
                if (action->text() == path.value(step)) {
                    ++step;
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
                    return;
                }
            }
            CloseMenus(); // the path leads nowhere
        },
        PopupWatcher::Kind::Menu, int(path.size()));
    walk.SetTimeout(5000);
    QTest::mouseClick(bar->GetMenuButton(), Qt::LeftButton);
    // The menu runs its own loop, so the walk is usually over when the click returns.
    return QTest::qWaitFor([&] { return step == path.size(); }, 5000);
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
