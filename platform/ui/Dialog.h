#pragma once

#include "platform/core/CmdTarget.h"
#include "platform/ui/DialogTemplate.h"

#include <QDialog>

class CDataExchange;
class QDialogButtonBox;

// A modal dialog built from a template. On the desktop it fills the main window's area, so it
// takes the place a full-screen dialog has on the handheld.
class CDialog : public QDialog, public CCmdTarget {
    Q_OBJECT
public:
    explicit CDialog(const DialogTemplate& dlgTemplate, QWidget* parent = nullptr);

    // Runs the dialog modally; IDOK or IDCANCEL.
    int DoModal();
    bool UpdateData(bool saveAndValidate = true);
    QWidget* GetDlgItem(int id) const;

protected:
    virtual bool OnInitDialog();
    virtual void DoDataExchange(CDataExchange* pDX);
    virtual void OnOK();
    virtual void OnCancel();
    // WM_SIZE: the kind of change and the new client size.
    virtual void OnSize(int type, int cx, int cy);
    // The smallest size at which every control is usable. DoModal keeps the dialog at least
    // this large, as far as the screen has room.
    void SetMinimumClientSize(const QSize& size) { m_minimumClientSize = size; }

    void resizeEvent(QResizeEvent* event) override;
    void accept() override;
    void reject() override;

private:
    QDialogButtonBox* m_captionOk = nullptr;
    QSize m_minimumClientSize;
};
