#include "platform/ui/View.h"

#include "platform/core/StringTable.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/MessageBox.h"

#include <QResizeEvent>
#include <exception>

CView::CView(QWidget* parent) : QWidget(parent) {}

void CView::OnInitialUpdate() {
    update();
}

CFormView::CFormView(const DialogTemplate& formTemplate, QWidget* parent) : CView(parent) {
    CreateTemplateControls(this, formTemplate);
    m_templateSize = DialogUnitsToPixels(formTemplate.units, font()).size();
    setMinimumSize(0, 0);
}

QWidget* CFormView::GetDlgItem(int id) const {
    return ::GetDlgItem(this, id);
}

void CFormView::DoDataExchange(CDataExchange*) {}

bool CFormView::UpdateData(bool saveAndValidate) {
    return RunDataExchange(this, saveAndValidate,
                           [this](CDataExchange* pDX) { DoDataExchange(pDX); });
}

void CFormView::OnInitialUpdate() {
    UpdateData(false);
    CView::OnInitialUpdate();
}

void CFormView::OnSize(int, int, int) {}

void CFormView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    OnSize(0, event->size().width(), event->size().height());
}
