#include "platform/ui/FrameWnd.h"

#include "platform/core/Document.h"
#include "platform/core/StringTable.h"
#include "platform/ui/Dialog.h"
#include "platform/ui/View.h"
#include "platform/ui/WinApp.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>

CFrameWnd::CFrameWnd() {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CFrameWnd::~CFrameWnd() {
    qApp->removeEventFilter(this);
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
    // The title follows the document's name also when it changes outside a command (a save
    // at the end of the session): checked whenever the program is idle.
    if (auto* dispatcher = QAbstractEventDispatcher::instance())
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &CFrameWnd::OnUpdateFrameTitle);
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
    const bool handled = (m_pActiveView && m_pActiveView->OnCmdMsg(nID, execute)) ||
                         (m_pDocument && m_pDocument->OnCmdMsg(nID, execute)) ||
                         CCmdTarget::OnCmdMsg(nID, execute) ||
                         (m_pApp && m_pApp->OnCmdMsg(nID, execute));
    // A command may have given the document a new name (保存 of an untitled book).
    if (handled && execute)
        OnUpdateFrameTitle();
    return handled;
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

void CFrameWnd::closeEvent(QCloseEvent* event) {
    // Closing asks the document first; a refusal keeps the program running.
    if (m_pDocument && !m_pDocument->SaveModified()) {
        event->ignore();
        return;
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
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget)
        return false;
    QWidget* window = widget->window();
    const bool inFrame = window == this;
    // The program's own dialogs: the keys are taken from their fields too, but run nothing.
    const bool inDialog = !inFrame && qobject_cast<CDialog*>(window) != nullptr;
    if (!inFrame && !inDialog)
        return false;
    const Accelerator* accel = FindAccelerator(static_cast<QKeyEvent*>(event));
    if (!accel)
        return false;
    // The accelerator wins over the edits' own claim on the key (their shortcut override).
    if (type == QEvent::KeyPress && inFrame && OnCmdMsg(accel->command, false))
        OnCmdMsg(accel->command, true);
    event->accept();
    return true;
}
