#include "platform/ui/Images.h"

#include <QFileInfo>
#include <QPixmap>

QString DoubleSizePath(const QString& path) {
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? path + QStringLiteral("@2x")
                   : path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}

QIcon LoadScaledIcon(const QString& path) {
    QIcon icon;
    icon.addPixmap(QPixmap(path));
    QPixmap twice(DoubleSizePath(path));
    if (!twice.isNull()) {
        twice.setDevicePixelRatio(2.0);
        icon.addPixmap(twice);
    }
    return icon;
}
