#include "calendar/SyncProperties.h"

#include <QUuid>

namespace SyncProperties {

QString NewUid() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces) + QStringLiteral("@tavrino");
}

bool IsExportUid(const QString& uid) {
    return uid.endsWith(QLatin1String("@tavrino-book"));
}

QString ResourceName(const QString& uid) {
    QString name;
    for (const QChar c : uid) {
        const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                           (c >= u'0' && c <= u'9') || c == u'-' || c == u'_' || c == u'.' ||
                           c == u'@';
        name += plain ? c : u'_';
    }
    return name + QStringLiteral(".ics");
}

namespace {

// A digit's value, full-width digits included; -1 for anything else.
int Digit(QChar c) {
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'０' && c <= u'９')
        return c.unicode() - u'０';
    return -1;
}

} // namespace

std::optional<int> ClockMinutes(const QString& time) {
    QString t = time;
    while (!t.isEmpty() && (t.front() == u' ' || t.front() == u'\u3000'))
        t.remove(0, 1);
    while (!t.isEmpty() && (t.back() == u' ' || t.back() == u'\u3000'))
        t.chop(1);
    qsizetype colon = t.indexOf(u':');
    if (colon < 0)
        colon = t.indexOf(u'：');
    const QString hourText = colon < 0 ? t : t.left(colon);
    const QString minuteText = colon < 0 ? QString() : t.mid(colon + 1);
    if (hourText.isEmpty() || hourText.size() > 2 || (colon >= 0 && minuteText.size() != 2))
        return std::nullopt;
    int hour = 0;
    for (const QChar c : hourText) {
        if (Digit(c) < 0)
            return std::nullopt;
        hour = hour * 10 + Digit(c);
    }
    int minute = 0;
    for (const QChar c : minuteText) {
        if (Digit(c) < 0)
            return std::nullopt;
        minute = minute * 10 + Digit(c);
    }
    if (hour > 23 || minute > 59)
        return std::nullopt;
    return hour * 60 + minute;
}

QString ToEventText(const QString& text) {
    QString out = text;
    out.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(u'\r', u'\n');
    return out;
}

QString ToBookText(const QString& text) {
    return ToEventText(text).replace(u'\n', QStringLiteral("\r\n"));
}

} // namespace SyncProperties
