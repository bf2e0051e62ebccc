#pragma once

#include "platform/ui/Dialog.h"

// The About box: the icon, the name and version, and a one-line notice.
class CAboutDlg : public CDialog {
    Q_OBJECT
public:
    CAboutDlg();

protected:
    bool OnInitDialog() override;
};
