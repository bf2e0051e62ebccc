#include "platform/ui/FileDialog.h"

#include <QFileDialog>

QString GetOpenFilePath(QWidget* parent, const QString& title, const QString& filters) {
    // Qt's own dialog, so that it looks and behaves the same everywhere (and can be driven).
    QFileDialog dialog(parent, title, QString(), filters);
    dialog.setObjectName(QStringLiteral("openFileDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}
