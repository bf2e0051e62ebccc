#include "platform/ui/FrameWnd.h"

#include "platform/core/Document.h"
#include "platform/core/StringTable.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/ScreenFit.h"
#include "platform/ui/View.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QSettings>
#include <QWindow>

namespace {
// Copy, cut, paste, undo, redo or select all, as the platform spells them.
bool IsEditingKey(const QKeyEvent* key) {
    for (const QKeySequence::StandardKey standard :
         {QKeySequence::Copy, QKeySequence::Cut, QKeySequence::Paste, QKeySequence::Undo,
          QKeySequence::Redo, QKeySequence::SelectAll}) {
        if (key->matches(standard))
            return true;
    }
    return false;
}
} // namespace

CFrameWnd::CFrameWnd() {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CFrameWnd::~CFrameWnd() {
    qApp->removeEventFilter(this);
    // The document and the application outlive the frame.
    for (CCmdTarget* target : RoutingPath())
        target->SetCommandMapObserver(nullptr);
}

std::vector<CCmdTarget*> CFrameWnd::RoutingPath() {
    std::vector<CCmdTarget*> path;
    for (CCmdTarget* target :
         {static_cast<CCmdTarget*>(m_pActiveView), static_cast<CCmdTarget*>(m_pDocument),
          static_cast<CCmdTarget*>(this), static_cast<CCmdTarget*>(m_pApp)}) {
        if (target)
            path.push_back(target);
    }
    return path;
}

bool CFrameWnd::LoadFrame(CWinApp* app, CDocument* document, ViewFactory viewFactory) {
    m_pApp = app;
    m_pDocument = document;
    m_viewFactory = std::move(viewFactory);
    if (!PreCreateWindow())
        return false;
    if (OnCreate() == -1)
        return false;
    qApp->installEventFilter(this);
    // The title and the command states follow the document and the message maps when they
    // change, also outside a command (a save at the end of the session renames the book).
    if (m_pDocument) {
        connect(m_pDocument, &CDocument::TitleChanged, this, &CFrameWnd::OnUpdateFrameTitle);
        connect(m_pDocument, &CDocument::ModifiedChanged, this, &CFrameWnd::CommandStateChanged);
    }
    for (CCmdTarget* target : RoutingPath())
        target->SetCommandMapObserver([this] { emit CommandStateChanged(); });
    OnUpdateFrameTitle();
    return true;
}

bool CFrameWnd::PreCreateWindow() {
    return true;
}

int CFrameWnd::OnCreate() {
    if (!m_viewFactory)
        return -1;
    m_pActiveView = m_viewFactory();
    if (!m_pActiveView)
        return -1;
    m_pActiveView->SetDocument(m_pDocument);
    setCentralWidget(m_pActiveView);
    return 0;
}

bool CFrameWnd::OnCmdMsg(int nID, bool execute) {
    return (m_pActiveView && m_pActiveView->OnCmdMsg(nID, execute)) ||
           (m_pDocument && m_pDocument->OnCmdMsg(nID, execute)) ||
           CCmdTarget::OnCmdMsg(nID, execute) || (m_pApp && m_pApp->OnCmdMsg(nID, execute));
}

void CFrameWnd::OnUpdateFrameTitle() {
    const QString appTitle = LoadString(AFX_IDS_APP_TITLE);
    QString docTitle = m_pDocument ? m_pDocument->GetTitle() : QString();
    setWindowTitle(docTitle.isEmpty() ? appTitle : docTitle + QStringLiteral(" - ") + appTitle);
}

void CFrameWnd::InitialUpdateFrame() {
    // The view learns its real size before its initial update, also while the frame is hidden.
    if (QLayout* frameLayout = layout())
        frameLayout->activate();
    if (m_pActiveView)
        m_pActiveView->OnInitialUpdate();
    OnUpdateFrameTitle();
}

void CFrameWnd::ActivateFrame() {
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

namespace {
const QString kGeometryKey = QStringLiteral("geometry");
}

bool CFrameWnd::RestoreWindowState(const QString& stateFile) {
    m_stateFile = stateFile;
    const QSettings state(stateFile, QSettings::IniFormat);
    // Qt moves a geometry whose screen is gone onto one that is there.
    return restoreGeometry(state.value(kGeometryKey).toByteArray());
}

void CFrameWnd::FitToScreen() {
    UpdateMinimumSize();
    FitWindowToScreen(this);
    // On another screen the room is another.
    if (QWindow* handle = windowHandle())
        connect(handle, &QWindow::screenChanged, this, &CFrameWnd::UpdateMinimumSize,
                Qt::UniqueConnection);
}

void CFrameWnd::UpdateMinimumSize() {
    // What the view and the bars need to be usable, as the frame's layout adds them up.
    SetMinimumSizeOnScreen(this, layout() ? layout()->totalMinimumSize() : minimumSizeHint());
}

void CFrameWnd::closeEvent(QCloseEvent* event) {
    // Closing asks the document first; a refusal keeps the program running.
    if (m_pDocument && !m_pDocument->SaveModified()) {
        event->ignore();
        return;
    }
    if (!m_stateFile.isEmpty()) {
        QSettings state(m_stateFile, QSettings::IniFormat);
        state.setValue(kGeometryKey, saveGeometry());
    }
    event->accept();
}

const Accelerator* CFrameWnd::FindAccelerator(const QKeyEvent* key) const {
    const Qt::KeyboardModifiers mods =
        key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    for (const Accelerator& accel : m_accelerators) {
        if (accel.key == key->key() && accel.modifiers == mods)
            return &accel;
    }
    return nullptr;
}

bool CFrameWnd::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::InputMethod) {
        if (auto* widget = qobject_cast<QWidget*>(watched)) {
            const bool preedit = !static_cast<QInputMethodEvent*>(event)->preeditString().isEmpty();
            if (preedit)
                m_composing = widget;
            else if (m_composing == widget)
                m_composing = nullptr;
        }
        return false;
    }
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    // Also as the key travels up from the composing control to its parents.
    if (!widget || (m_composing && m_composing == QApplication::focusWidget()))
        return false;
    QWidget* window = widget->window();
    const bool inFrame = window == this;
    // The program's own dialogs: accelerators run nothing there.
    const bool inDialog = !inFrame && qobject_cast<CDialog*>(window) != nullptr;
    if (!inFrame && !inDialog)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (inFrame && key->key() == Qt::Key_F10 && key->modifiers() == Qt::NoModifier) {
        // Opened once the key is through, not inside the filter: the menu runs its own loop.
        if (type == QEvent::KeyPress)
            QMetaObject::invokeMethod(
                this, [this] { OnMenuKey(); }, Qt::QueuedConnection);
        event->accept();
        return true;
    }
    const Accelerator* accel = FindAccelerator(key);
    if (!accel)
        return false;
    // A dialog's fields keep their own editing keys, so texts can be moved between them.
    if (inDialog && IsEditingKey(key))
        return false;
    // The accelerator wins over the edits' own claim on the key (their shortcut override).
    if (type == QEvent::KeyPress && inFrame && OnCmdMsg(accel->command, false))
        OnCmdMsg(accel->command, true);
    event->accept();
    return true;
}
