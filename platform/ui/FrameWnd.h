#pragma once

#include "platform/core/CmdTarget.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <vector>

class CDocument;
class CView;
class CWinApp;

// One entry of an accelerator table: Ctrl (or other modifiers) + key -> command.
struct Accelerator {
    int key;
    Qt::KeyboardModifiers modifiers;
    int command;
};

// The main frame: it holds the view, routes commands and translates accelerators before the
// focused control sees the key.
class CFrameWnd : public QMainWindow, public CCmdTarget {
    Q_OBJECT
public:
    using ViewFactory = std::function<CView*()>;

    CFrameWnd();
    ~CFrameWnd() override;

    // Creates the frame's window parts: PreCreateWindow, then OnCreate; false when either fails.
    bool LoadFrame(CWinApp* app, CDocument* document, ViewFactory viewFactory);

    CView* GetActiveView() const { return m_pActiveView; }

    // Command routing: the view, its document, the frame, the application; first handler wins.
    bool OnCmdMsg(int nID, bool execute) override;

    void LoadAccelTable(std::vector<Accelerator> table) { m_accelerators = std::move(table); }
    // The title: the document's title, " - ", the program's name.
    void OnUpdateFrameTitle();
    void InitialUpdateFrame();
    void ActivateFrame();

    // The size and position the window was closed with, from its own file (kept on a visible
    // screen); false when none was kept. The file is written again when the window closes.
    bool RestoreWindowState(const QString& stateFile);
    // Shrinks the window to its screen's available area where it is larger, so that no edge,
    // and no bar along it, is out of reach; and keeps it from being made smaller than its view
    // and bars need, as far as the screen has room.
    void FitToScreen();
    void UpdateMinimumSize();

signals:
    // A command's availability may have changed: the document's state or a message map did.
    void CommandStateChanged();

protected:
    // F10, as desktop menu bars open: the frame's menu, walked with the arrow keys.
    virtual void OnMenuKey() {}
    virtual bool PreCreateWindow();
    // WM_CREATE: 0 to go on, -1 to make creation fail. The base creates the view.
    virtual int OnCreate();

    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const Accelerator* FindAccelerator(const QKeyEvent* key) const;
    // The targets a command visits, in order: view, document, frame, application.
    std::vector<CCmdTarget*> RoutingPath();

    CWinApp* m_pApp = nullptr;
    CDocument* m_pDocument = nullptr;
    CView* m_pActiveView = nullptr;
    ViewFactory m_viewFactory;
    std::vector<Accelerator> m_accelerators;
    QString m_stateFile;
    // The control in the middle of an input method's composition: its keys belong to the input
    // method until the text is committed.
    QPointer<QWidget> m_composing;

public:
    // Whether a control of the window holds text an input method is still composing.
    bool IsComposing() const { return m_composing != nullptr; }
};
