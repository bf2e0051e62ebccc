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

} // namespace Libical
