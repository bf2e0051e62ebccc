// The row commands of the view: edit, insert and delete one item of the day list. They change
// the list's cells; the closing step then stores the whole list into the document.

#include "editing/YoteiIns.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QStringList>

namespace {
// The dialog's three texts into the item's cells, all three whether changed or not.
void WriteRow(CTavrinoView& view, int item, const CYoteiIns& dialog) {
    view.SetCellText(item, 0, dialog.m_time);
    view.SetCellText(item, 1, dialog.m_plan);
    view.SetCellText(item, 2, dialog.m_detail);
}
} // namespace

void CTavrinoView::OnListKeyDown(int virtualKey) {
    if (virtualKey == VK_RETURN)
        OnRowEdit();
}

void CTavrinoView::OnListDblClk() {
    const int count = m_listCtrl->GetItemCount();
    const int selected = GetSelectedRow();
    if (selected >= 0 && selected < count)
        OnRowEdit();
}

void CTavrinoView::OnDateKeyDown(int virtualKey) {
    if (virtualKey == VK_RETURN)
        OnRowEdit();
}

void CTavrinoView::OnRowEdit() {
    const int count = m_listCtrl->GetItemCount();
    const int selected = GetSelectedRow();
    // Edit takes the heading row too.
    if (selected >= 0 && selected < count) {
        CYoteiIns dialog;
        dialog.m_time = m_listCtrl->GetItemText(selected, 0);
        dialog.m_plan = m_listCtrl->GetItemText(selected, 1);
        dialog.m_detail = m_listCtrl->GetItemText(selected, 2);
        // The heading row's time is never stored: nothing typed there may look kept.
        if (selected == 0)
            dialog.GetDlgItem(IDC_TIME)->setEnabled(false);
        if (dialog.DoModal() == IDOK) {
            WriteRow(*this, selected, dialog);
        }
    }
    EndRowCommand();
}

// The row that 挿入 pushes off the end, as one memo line ("time plan detail"); empty when it
// holds no plan and no detail (a time alone is a label, which the fill-in commands write again).
QString CTavrinoView::PushedOffRowLine(int item) const {
    const QString plan = m_listCtrl->GetItemText(item, 1);
    const QString detail = m_listCtrl->GetItemText(item, 2);
    if (plan.isEmpty() && detail.isEmpty())
        return QString();
    QStringList parts;
    for (QString part : {m_listCtrl->GetItemText(item, 0), plan, detail}) {
        part.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
        part.replace(QLatin1Char('\n'), QLatin1Char(' '));
        part.replace(QLatin1Char('\r'), QLatin1Char(' '));
        if (!part.isEmpty())
            parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

void CTavrinoView::OnRowInsert() {
    const int count = m_listCtrl->GetItemCount();
    const int selected = GetSelectedRow();
    if (selected > 0 && selected < count) {
        CYoteiIns dialog;
        if (dialog.DoModal() == IDOK) {
            // The last row falls off; the rows from the selected one move down by one. What it
            // held goes to the end of the memo rather than nowhere: the day is synced, and a
            // row that vanished would vanish from the phone as well.
            if (const QString line = PushedOffRowLine(count - 1); !line.isEmpty()) {
                if (!m_memo.isEmpty() && !m_memo.endsWith(QLatin1Char('\n')))
                    m_memo += QStringLiteral("\r\n");
                m_memo += line;
            }
            m_listCtrl->DeleteItem(count - 1);
            InsertRow(selected);
            WriteRow(*this, selected, dialog);
        }
    }
    EndRowCommand();
}

void CTavrinoView::OnRowDelete() {
    const int count = m_listCtrl->GetItemCount();
    const int selected = GetSelectedRow();
    if (selected > 0 && selected < count) {
        // The rows below move up by one; an empty row takes the last place.
        m_listCtrl->DeleteItem(selected);
        InsertRow(count - 1);
    }
    EndRowCommand();
}

void CTavrinoView::EndRowCommand() {
    // Refused, cancelled and unchanged commands store the day as well.
    UpdateData(false);
    StoreDay();
}
