#pragma once

#include <QIcon>
#include <QString>

// An image and, where it exists, its twice-as-large twin named with "@2x" before the
// extension: the original draws at 100%, the twin keeps the image sharp at 200%.
QIcon LoadScaledIcon(const QString& path);
// The twin's path: ":/toolbar.xpm" -> ":/toolbar@2x.xpm".
QString DoubleSizePath(const QString& path);
