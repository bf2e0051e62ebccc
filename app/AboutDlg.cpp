#include "app/AboutDlg.h"

#include "resources/Templates.h"

CAboutDlg::CAboutDlg() : CDialog(Resources::AboutTemplate()) {
    setObjectName(QStringLiteral("aboutDialog"));
    // Tapping the version text runs an empty handler.
    OnCommand(IDC_VERSION, [] {});
}

bool CAboutDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    return true;
}
