#pragma once

#include "platform/ui/Dialog.h"

class CEdit;
class QPushButton;

// The entry dialog: the time, plan and detail of one row. It knows nothing of the list or the
// document; it only exchanges three texts with its caller.
class CYoteiIns : public CDialog {
    Q_OBJECT
public:
    explicit CYoteiIns(QWidget* parent = nullptr);
    ~CYoteiIns() override;

    QString m_time;
    QString m_plan;
    CEdit* m_detailEdit = nullptr;
    QString m_detail;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnSize(int type, int cx, int cy) override;

private:
    // The detail field grows with the client area; the buttons keep 25 pixels to the bottom.
    void Layout();
};
