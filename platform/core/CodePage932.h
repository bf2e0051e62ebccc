#pragma once

#include <QByteArrayView>
#include <QString>

// Decodes 8-bit text of code page 932 exactly as Microsoft's table for 932 maps it.
QString DecodeCodePage932(QByteArrayView bytes);
