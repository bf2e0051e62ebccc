#include "calendar/Libical.h"

#include <QByteArray>
#include <QMutex>
#include <map>

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

icaltimezone* SharedZone(icalcomponent* calendar, const char* tzid) {
    icaltimezone* own = icalcomponent_get_timezone(calendar, tzid);
    if (!own)
        return nullptr;
    icalcomponent* definition = icaltimezone_get_component(own);
    if (!definition)
        return own;
    char* text = icalcomponent_as_ical_string_r(definition);
    const QByteArray key(text ? text : "");
    std::free(text);
    // Kept for the life of the process; a calendar of many odd zones keeps its own beyond these.
    constexpr std::size_t kMostZones = 64;
    // Freed when the process ends, so that no zone outlives the map that holds it.
    struct Zones : std::map<QByteArray, icaltimezone*> {
        ~Zones() {
            for (auto& [definition, zone] : *this)
                icaltimezone_free(zone, 1);
        }
    };
    static QMutex lock;
    static Zones zones;
    const QMutexLocker locked(&lock);
    if (const auto known = zones.find(key); known != zones.end())
        return known->second;
    if (zones.size() >= kMostZones)
        return own;
    icaltimezone* shared = icaltimezone_new();
    if (!shared || !icaltimezone_set_component(shared, icalcomponent_new_clone(definition))) {
        if (shared)
            icaltimezone_free(shared, 1);
        return own;
    }
    zones.emplace(key, shared);
    return shared;
}

} // namespace Libical
