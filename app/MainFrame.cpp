#include "app/MainFrame.h"

#include "platform/core/StringTable.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Images.h"
#include "platform/ui/View.h"
#include "resources/Resource.h"
#include "resources/Templates.h"

#include <QIcon>
#include <QPixmap>
#include <QToolButton>

// The images are compiled into the static UI library; register them before the first use.
static void InitResources() {
    Q_INIT_RESOURCE(tavrino);
}

CMainFrame::CMainFrame() {
    InitResources();
    setObjectName(QStringLiteral("mainFrame"));
    setWindowIcon(LoadScaledIcon(QStringLiteral(":/tavrino.xpm")));
}

CMainFrame::~CMainFrame() = default;

bool CMainFrame::PreCreateWindow() {
    return CFrameWnd::PreCreateWindow();
}

int CMainFrame::OnCreate() {
    if (CFrameWnd::OnCreate() == -1)
        return -1;

    m_commandBar = new CCommandBar(this);
    m_commandBar->setObjectName(QStringLiteral("commandBar"));
    m_commandBar->setProperty("childId", AFX_IDW_TOOLBAR);
    m_commandBar->SetRouter([this](int id, bool execute) { return OnCmdMsg(id, execute); });
    addToolBar(Qt::BottomToolBarArea, m_commandBar);

    if (!m_commandBar->InsertMenuBar(IDM_MENU, LoadString(IDS_MENU_CAPTION), Resources::MainMenu()))
        return -1;
    if (!m_commandBar->LoadToolBar(Resources::ToolbarCommands(),
                                   QPixmap(QStringLiteral(":/toolbar.xpm")), QSize(32, 32),
                                   QPixmap(QStringLiteral(":/toolbar@2x.xpm"))))
        return -1;
    connect(this, &CFrameWnd::CommandStateChanged, m_commandBar, &CCommandBar::UpdateButtons);
    m_commandBar->GetMenuButton()->setAccessibleDescription(
        QStringLiteral("すべてのコマンドのメニューを開きます (F10)"));
    // The two buttons without a command have no menu item to be announced by.
    for (int index : {1, 2}) {
        QToolButton* button = m_commandBar->GetButton(index);
        button->setAccessibleName(QStringLiteral("ボタン %1").arg(index + 1));
        button->setAccessibleDescription(QStringLiteral("このボタンにはコマンドがありません"));
    }

    LoadAccelTable({
        {Qt::Key_C, Qt::ControlModifier, ID_EDIT_COPY},
        {Qt::Key_X, Qt::ControlModifier, ID_EDIT_CUT},
        {Qt::Key_V, Qt::ControlModifier, ID_EDIT_PASTE},
        {Qt::Key_Z, Qt::ControlModifier, ID_EDIT_UNDO},
        {Qt::Key_N, Qt::ControlModifier, ID_FILE_NEW},
        // The desktop's keys for saving, opening and printing, beside the handheld's five.
        {Qt::Key_S, Qt::ControlModifier, ID_FILE_SAVE},
        {Qt::Key_O, Qt::ControlModifier, ID_FILE_OPEN},
        {Qt::Key_P, Qt::ControlModifier, ID_FILE_PRINT},
    });
    m_commandBar->SetShortcutHint(ID_FILE_SAVE, QKeySequence(Qt::CTRL | Qt::Key_S));
    m_commandBar->SetShortcutHint(ID_FILE_OPEN, QKeySequence(Qt::CTRL | Qt::Key_O));
    m_commandBar->SetShortcutHint(ID_FILE_PRINT, QKeySequence(Qt::CTRL | Qt::Key_P));

    // The form starts with the handheld's portrait client area; the window is freely resizable.
    resize(kInitialClientWidth, kInitialClientHeight + m_commandBar->sizeHint().height());
    return 0;
}

void CMainFrame::OnMenuKey() {
    if (QToolButton* button = m_commandBar->GetMenuButton())
        button->showMenu();
}
