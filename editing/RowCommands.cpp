// The row commands of the view: edit, insert and delete one item of the day list. They change
// the list's cells; the closing step then stores the whole list into the document.

#include "editing/YoteiIns.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

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
        if (dialog.DoModal() == IDOK) {
            SetCellText(selected, 0, dialog.m_time);
            SetCellText(selected, 1, dialog.m_plan);
            SetCellText(selected, 2, dialog.m_detail);
        }
    }
    EndRowCommand();
}

void CTavrinoView::OnRowInsert() {
    const int count = m_listCtrl->GetItemCount();
    const int selected = GetSelectedRow();
    if (selected > 0 && selected < count) {
        CYoteiIns dialog;
        if (dialog.DoModal() == IDOK) {
            // The last row falls off; the rows from the selected one move down by one.
            m_listCtrl->DeleteItem(count - 1);
            InsertRow(selected);
            SetCellText(selected, 0, dialog.m_time);
            SetCellText(selected, 1, dialog.m_plan);
            SetCellText(selected, 2, dialog.m_detail);
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
