#include "platform/ui/DataExchange.h"

#include "platform/core/StringTable.h"
#include "platform/ui/Controls.h"
#include "platform/ui/MessageBox.h"

bool RunDataExchange(QWidget* window, bool saveAndValidate,
                     const std::function<void(CDataExchange*)>& exchange) {
    CDataExchange dx(window, saveAndValidate);
    try {
        exchange(&dx);
    } catch (...) {
        AfxMessageBox(LoadString(AFX_IDP_INTERNAL_FAILURE));
        return false;
    }
    return true;
}

void DDX_Text(CDataExchange* pDX, int nIDC, QString& value) {
    QWidget* control = GetDlgItem(pDX->m_pDlgWnd, nIDC);
    if (auto* edit = qobject_cast<CEdit*>(control)) {
        if (pDX->m_bSaveAndValidate)
            value = edit->GetWindowText();
        else if (edit->GetWindowText() != value)
            edit->SetWindowText(value);
    } else if (auto* line = qobject_cast<CLineEdit*>(control)) {
        if (pDX->m_bSaveAndValidate)
            value = line->GetWindowText();
        else
            line->SetWindowText(value);
    }
}

void DDX_DateTimeCtrl(CDataExchange* pDX, int nIDC, COleDateTime& value) {
    auto* picker = qobject_cast<CDateTimeCtrl*>(GetDlgItem(pDX->m_pDlgWnd, nIDC));
    if (!picker)
        return;
    if (pDX->m_bSaveAndValidate)
        value = picker->GetTime();
    else
        picker->SetTime(value);
}
