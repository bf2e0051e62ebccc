#include "editing/YoteiIns.h"

#include "platform/ui/Controls.h"
#include "platform/ui/DataExchange.h"
#include "resources/Templates.h"

#include <QPushButton>

CYoteiIns::CYoteiIns(QWidget* parent) : CDialog(Resources::EntryDialogTemplate(), parent) {
    setObjectName(QStringLiteral("entryDialog"));
    // Announced by their labels, as a screen reader reads a form.
    const struct {
        int id;
        const char16_t* name;
        const char16_t* description;
    } texts[] = {
        {IDC_TIME, u"時間", u"この行の時間。Enter で OK"},
        {IDC_PLAN, u"予定", u"この行の予定。Enter で OK"},
        {IDC_DETAIL, u"詳細", u"この行の詳細。Enter で改行"},
        {IDOK, u"OK", u"入力した内容で行を書き換えて閉じます"},
        {IDCANCEL, u"キャンセル", u"何も変えずに閉じます"},
    };
    for (const auto& text : texts) {
        QWidget* control = GetDlgItem(text.id);
        control->setAccessibleName(QString::fromUtf16(text.name));
        control->setAccessibleDescription(QString::fromUtf16(text.description));
    }
    // Usable whole: キャンセル with the detail field's right margin beside it, and three lines of
    // detail above the buttons.
    if (const auto* detail = qobject_cast<const CEdit*>(GetDlgItem(IDC_DETAIL)))
        SetMinimumClientSize(QSize(290 + 150 + 15, 130 + detail->MinimumHeightForLines(3) + 80));
}

CYoteiIns::~CYoteiIns() = default;

void CYoteiIns::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_TIME, m_time);
    DDX_Text(pDX, IDC_PLAN, m_plan);
    DDX_Control(pDX, IDC_DETAIL, m_detailEdit);
    DDX_Text(pDX, IDC_DETAIL, m_detail);
    DDX_Control(pDX, IDOK, m_okButton);
    DDX_Control(pDX, IDCANCEL, m_cancelButton);
}

bool CYoteiIns::OnInitDialog() {
    CDialog::OnInitDialog();
    Layout();
    return true;
}

void CYoteiIns::OnSize(int type, int cx, int cy) {
    CDialog::OnSize(type, cx, cy);
    if (!m_detailEdit)
        return;
    Layout();
}

void CYoteiIns::Layout() {
    const int right = width();
    const int bottom = height();
    MoveWindow(m_detailEdit, 90, 130, right - 105, bottom - 210);
    MoveWindow(m_okButton, 60, bottom - 70, 150, 45);
    MoveWindow(m_cancelButton, 290, bottom - 70, 150, 45);
}
