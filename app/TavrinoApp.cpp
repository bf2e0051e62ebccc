#include "app/TavrinoApp.h"

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "document/RecentFile.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/FrameWnd.h"
#include "platform/ui/SingleDocTemplate.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QFont>

CTavrinoApp::CTavrinoApp() {
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
}

bool CTavrinoApp::InitInstance() {
    // A font with Japanese glyphs, about the 9 points of the handheld's templates.
    QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);

    SetRegistryKey(QStringLiteral("VELKORAN"));
    const QString remembered = GetProfileString(kRecentFileSection, kRecentFileEntry, QString());

    AddDocTemplate(new CSingleDocTemplate(
        IDR_MAINFRAME_RES, [] { return new CTavrinoDoc; }, [] { return new CMainFrame; },
        [] { return new CTavrinoView; }));

    // The command line is parsed, but the remembered file decides what start-up does.
    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!remembered.isEmpty()) {
        cmdInfo.m_nShellCommand = CCommandLineInfo::FileOpen;
        cmdInfo.m_strFileName = remembered;
    } else {
        cmdInfo.m_nShellCommand = CCommandLineInfo::FileNew;
    }

    if (!ProcessShellCommand(cmdInfo)) {
        if (cmdInfo.m_nShellCommand != CCommandLineInfo::FileOpen)
            return false;
        // The remembered file could not be read and its message has been shown. Start with an
        // empty book rather than failing at every start; the value stays, since the file may
        // come back (a removable card, a network folder).
        OnFileNew();
        if (!GetDocument())
            return false;
    }
    m_pMainWnd->show();
    // What the end of the last session could not say, such as where a book was saved.
    ShowKeptNotices();
    return true;
}

void CTavrinoApp::OnAppAbout() {
    CAboutDlg aboutDlg;
    aboutDlg.DoModal();
}
