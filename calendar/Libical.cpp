#include "calendar/Libical.h"

namespace Libical {

void Quiet() {
    static const bool once = [] {
        icalerror_set_errors_are_fatal(0);
        return true;
    }();
    (void)once;
}

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8 ? utf8 : "");
}

QString OccurrenceKey(icaltimetype t) {
    if (t.is_date)
        return QString::asprintf("%04d%02d%02d", t.year, t.month, t.day);
    if (t.zone && !icaltime_is_utc(t))
        t = icaltime_convert_to_zone(t, icaltimezone_get_utc_timezone());
    return QString::asprintf("%04d%02d%02dT%02d%02d%02d%s", t.year, t.month, t.day, t.hour,
                             t.minute, t.second, icaltime_is_utc(t) ? "Z" : "");
}

} // namespace Libical
