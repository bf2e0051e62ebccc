#include "platform/core/OleDateTime.h"

#include <QDateTime>
#include <cmath>

namespace {

// Day counts of the first and the last day the automation date can hold: 1 January 100 and
// 31 December 9999.
constexpr qint64 kMinDay = -657434;
constexpr qint64 kMaxDay = 2958465;
// 30 December 1899, the automation date's day zero, counted from 1 January 1970.
constexpr qint64 kEpochFromUnix = -25569;
constexpr qint64 kSecondsPerDay = 86400;

qint64 FloorDiv(qint64 a, qint64 b) {
    qint64 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

// Days since 1 January 1970 of a proleptic Gregorian date (month 1 to 12).
qint64 DaysFromCivil(qint64 y, qint64 m, qint64 d) {
    y -= m <= 2;
    const qint64 era = FloorDiv(y, 400);
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(qint64 z, int& year, int& month, int& day) {
    z += 719468;
    const qint64 era = FloorDiv(z, 146097);
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    day = int(doy - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = int(yoe + era * 400 + (month <= 2));
}

} // namespace

COleDateTime::COleDateTime(int year, int month, int day, int hour, int minute, int second) {
    SetDateTime(year, month, day, hour, minute, second);
}

bool COleDateTime::FieldsToValue(const Fields& f, double& value) {
    // Out-of-range fields are carried over as the platform does (30 February becomes 2 March);
    // the round trip in SetDateTime then tells that such a date is not valid.
    const qint64 months = qint64(f.year) * 12 + (qint64(f.month) - 1);
    const qint64 year = FloorDiv(months, 12);
    const qint64 month = months - year * 12 + 1;
    qint64 dayCount = DaysFromCivil(year, month, 1) - kEpochFromUnix + (qint64(f.day) - 1);
    qint64 seconds = qint64(f.hour) * 3600 + qint64(f.minute) * 60 + f.second;
    dayCount += FloorDiv(seconds, kSecondsPerDay);
    seconds -= FloorDiv(seconds, kSecondsPerDay) * kSecondsPerDay;
    if (dayCount < kMinDay || dayCount > kMaxDay)
        return false;
    const double fraction = double(seconds) / double(kSecondsPerDay);
    // Before day zero the fraction still counts forward from midnight: -1.25 is 29 December 06:00.
    value = dayCount >= 0 ? double(dayCount) + fraction : double(dayCount) - fraction;
    return true;
}

bool COleDateTime::ValueToFields(double value, Fields& f) {
    // Every hour of the first and the last day is in range; before day zero the hours of
    // 1 January 100 lie below its whole count.
    if (!(value > double(kMinDay - 1) && value < double(kMaxDay + 1)))
        return false;
    qint64 dayCount = qint64(std::trunc(value));
    qint64 seconds = std::llround(std::fabs(value - double(dayCount)) * double(kSecondsPerDay));
    if (seconds >= kSecondsPerDay) {
        ++dayCount;
        seconds -= kSecondsPerDay;
    }
    if (dayCount > kMaxDay)
        return false;
    CivilFromDays(dayCount + kEpochFromUnix, f.year, f.month, f.day);
    f.hour = int(seconds / 3600);
    f.minute = int(seconds / 60 % 60);
    f.second = int(seconds % 60);
    return true;
}

bool COleDateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    const Fields wanted{year, month, day, hour, minute, second};
    double value = 0.0;
    Fields back;
    if (FieldsToValue(wanted, value) && ValueToFields(value, back) && back == wanted) {
        m_dt = value;
        m_status = valid;
        return true;
    }
    m_dt = 0.0;
    m_status = invalid;
    return false;
}

COleDateTime COleDateTime::GetCurrentTime() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return COleDateTime(d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second());
}

bool COleDateTime::GetFields(Fields& fields) const {
    if (m_status == valid && ValueToFields(m_dt, fields))
        return true;
    fields = Fields{-1, -1, -1, -1, -1, -1};
    return false;
}

COleDateTime COleDateTime::DatePart() const {
    Fields f;
    GetFields(f);
    return COleDateTime(f.year, f.month, f.day, 0, 0, 0);
}

bool COleDateTime::operator==(const COleDateTime& other) const {
    if (m_status == invalid || other.m_status == invalid || m_status != other.m_status)
        return false;
    return m_status == null || m_dt == other.m_dt;
}

double COleDateTime::TimeLine(double value) {
    return value >= 0 ? value : 2 * std::ceil(value) - value;
}

bool COleDateTime::operator<(const COleDateTime& other) const {
    if (m_status != valid || other.m_status != valid)
        return false;
    return TimeLine(m_dt) < TimeLine(other.m_dt);
}
