#include "platform/ui/MessageBox.h"

#include "platform/core/FrameworkIds.h"
#include "platform/core/StringTable.h"

#include <QApplication>
#include <QMessageBox>

int AfxMessageBox(const QString& text, MessageButtons buttons, QWidget* parent) {
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Warning, LoadString(AFX_IDS_APP_TITLE), text,
                    QMessageBox::NoButton, parent);
    if (buttons == MessageButtons::YesNoCancel) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::Cancel);
    } else if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoDefaultYes) {
        // Escape and closing the box answer No.
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(buttons == MessageButtons::YesNo ? QMessageBox::No : QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Cancel:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

QWidget* AfxNotify(const QString& text, QWidget* parent) {
    if (!parent)
        parent = QApplication::activeWindow();
    auto* box = new QMessageBox(QMessageBox::Warning, LoadString(AFX_IDS_APP_TITLE), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    // Not even a window manager that activates new windows may give it the keys.
    box->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    box->show();
    return box;
}
