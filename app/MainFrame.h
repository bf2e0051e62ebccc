#pragma once

#include "platform/ui/FrameWnd.h"

class CCommandBar;

// The main frame: the form above, the menu bar at the bottom.
class CMainFrame : public CFrameWnd {
    Q_OBJECT
public:
    CMainFrame();
    ~CMainFrame() override;

    CCommandBar* GetCommandBar() const { return m_commandBar; }

    // The form's client area when the frame is first shown: the handheld's portrait screen.
    static constexpr int kInitialClientWidth = 480;
    static constexpr int kInitialClientHeight = 536;

protected:
    bool PreCreateWindow() override;
    int OnCreate() override;
    void OnMenuKey() override;

private:
    CCommandBar* m_commandBar = nullptr;
};
