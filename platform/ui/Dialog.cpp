#include "platform/ui/Dialog.h"

#include "platform/core/FrameworkIds.h"
#include "platform/core/StringTable.h"
#include "platform/ui/DataExchange.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ScreenFit.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QMainWindow>
#include <QPushButton>
#include <QResizeEvent>

namespace {
// Without a parent the dialog belongs to the main window, as the platform does it.
QWidget* DefaultOwner() {
    if (QWidget* active = QApplication::activeWindow())
        return active;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(top) && top->isVisible())
            return top;
    }
    return nullptr;
}
} // namespace

CDialog::CDialog(const DialogTemplate& dlgTemplate, QWidget* parent)
    : QDialog(parent ? parent : DefaultOwner()) {
    setWindowTitle(dlgTemplate.caption);
    setSizeGripEnabled(false);
    CreateTemplateControls(this, dlgTemplate);
    resize(DialogUnitsToPixels(dlgTemplate.units, font()).size());
    if (auto* ok = qobject_cast<QPushButton*>(GetDlgItem(IDOK)))
        connect(ok, &QPushButton::clicked, this, [this] { OnOK(); });
    else {
        // The handheld puts OK in the caption; here it sits in a button row at the bottom.
        m_captionOk = new QDialogButtonBox(QDialogButtonBox::Ok, this);
        connect(m_captionOk, &QDialogButtonBox::accepted, this, [this] { OnOK(); });
    }
    if (auto* cancel = qobject_cast<QPushButton*>(GetDlgItem(IDCANCEL)))
        connect(cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
}

QWidget* CDialog::GetDlgItem(int id) const {
    return ::GetDlgItem(this, id);
}

int CDialog::DoModal() {
    // Fill the main window's area, as a full-screen dialog fills the handheld's screen.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (owner)
        setGeometry(owner->geometry());
    if (m_minimumClientSize.isValid()) {
        const QSize filled = size();
        SetMinimumSizeOnScreen(this, m_minimumClientSize);
        // Larger than a small main window, it may reach past the screen's edge.
        if (size() != filled)
            FitWindowToScreen(this);
    }
    // True from the initialisation: the focus goes to the first control in tab order.
    if (OnInitDialog()) {
        QWidget* first = nextInFocusChain();
        while (first != this && !(first->focusPolicy() & Qt::TabFocus))
            first = first->nextInFocusChain();
        first->setFocus(Qt::TabFocusReason);
    }
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

bool CDialog::OnInitDialog() {
    return UpdateData(false);
}

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
    return RunDataExchange(this, saveAndValidate,
                           [this](CDataExchange* pDX) { DoDataExchange(pDX); });
}

void CDialog::OnOK() {
    if (UpdateData(true))
        QDialog::accept();
}

void CDialog::OnCancel() {
    QDialog::reject();
}

void CDialog::accept() {
    OnOK();
}

void CDialog::reject() {
    OnCancel();
}

void CDialog::OnSize(int, int, int) {}

void CDialog::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (m_captionOk) {
        const QSize hint = m_captionOk->sizeHint();
        m_captionOk->setGeometry(width() - hint.width() - 8, height() - hint.height() - 8,
                                 hint.width(), hint.height());
    }
    OnSize(0, event->size().width(), event->size().height());
}
