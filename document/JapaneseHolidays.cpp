// Our own rules: neither Qt nor any C or C++ library Debian ships knows Japan's holidays, and
// the lists kept for other languages end at a fixed year, where the planner shows any year.

#include "document/JapaneseHolidays.h"

#include <algorithm>

namespace JapaneseHolidays {

namespace {

// Where the law changed: in force, substitute holidays, citizens' holidays, the 2007 rules.
const QDate kLawInForce(1948, 7, 20);
const QDate kSubstitutesFrom(1973, 4, 12);
const QDate kCitizensFrom(1985, 12, 27);
constexpr int kRules2007 = 2007;

const QString kNewYear = QStringLiteral("元日");
const QString kComingOfAge = QStringLiteral("成人の日");
const QString kFoundation = QStringLiteral("建国記念の日");
const QString kEmperor = QStringLiteral("天皇誕生日");
const QString kVernal = QStringLiteral("春分の日");
const QString kShowa = QStringLiteral("昭和の日");
const QString kConstitution = QStringLiteral("憲法記念日");
const QString kGreenery = QStringLiteral("みどりの日");
const QString kChildren = QStringLiteral("こどもの日");
const QString kMarine = QStringLiteral("海の日");
const QString kMountain = QStringLiteral("山の日");
const QString kAged = QStringLiteral("敬老の日");
const QString kAutumnal = QStringLiteral("秋分の日");
const QString kHealthSports = QStringLiteral("体育の日");
const QString kSports = QStringLiteral("スポーツの日");
const QString kCulture = QStringLiteral("文化の日");
const QString kLabour = QStringLiteral("勤労感謝の日");
const QString kRestDay = QStringLiteral("休日");
// The enthronement days of 2019 counted as national holidays for the two rules.
const QString kRestDayAsHoliday = QStringLiteral("休日（祝日扱い）");

struct Entry {
    QDate date;
    QString name;
    // A national holiday: a Sunday one gives a substitute and two of them enclose a citizens'
    // holiday. The one-off days before 2019 were rest days of their own laws only.
    bool national;
};

QDate NthMonday(int year, int month, int n) {
    const QDate first(year, month, 1);
    const int toMonday = (Qt::Monday - first.dayOfWeek() + 7) % 7;
    return first.addDays(toMonday + 7 * (n - 1));
}

// The equinox day by the formula of the national observatory's tables: the mean day of the
// equinox in 1980 moved by the tropical year's excess over 365 days, less the leap days.
int EquinoxDay(int year, double base1900, double base1980, double base2100) {
    if (year < 1900 || year > kLastYear)
        return 0;
    const double drift = 0.242194 * (year - 1980);
    // Integer division truncates towards zero, as the formula's int() does.
    if (year < 1980)
        return int(base1900 + drift - (year - 1983) / 4);
    const double base = year < 2100 ? base1980 : base2100;
    return int(base + drift - (year - 1980) / 4);
}

bool Contains(const std::vector<Entry>& entries, const QDate& date) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return e.date == date; });
}

bool IsNational(const std::vector<Entry>& entries, const QDate& date) {
    return std::any_of(entries.begin(), entries.end(),
                       [&](const Entry& e) { return e.national && e.date == date; });
}

// The national holidays of the year with the days they fell on then.
std::vector<Entry> NationalHolidays(int year) {
    std::vector<Entry> days;
    const auto add = [&](int month, int day, const QString& name) {
        days.push_back({QDate(year, month, day), name, true});
    };
    const auto addDate = [&](const QDate& date, const QString& name) {
        days.push_back({date, name, true});
    };

    add(1, 1, kNewYear);
    if (year < 2000)
        add(1, 15, kComingOfAge);
    else
        addDate(NthMonday(year, 1, 2), kComingOfAge);
    if (year >= 1967)
        add(2, 11, kFoundation);
    if (year >= 2020)
        add(2, 23, kEmperor);
    add(3, VernalEquinoxDay(year), kVernal);
    if (year <= 1988)
        add(4, 29, kEmperor);
    else if (year <= 2006)
        add(4, 29, kGreenery);
    else
        add(4, 29, kShowa);
    add(5, 3, kConstitution);
    if (year >= 2007)
        add(5, 4, kGreenery);
    add(5, 5, kChildren);
    // The Olympic years moved three days around the games.
    if (year == 2020) {
        add(7, 23, kMarine);
        add(7, 24, kSports);
        add(8, 10, kMountain);
    } else if (year == 2021) {
        add(7, 22, kMarine);
        add(7, 23, kSports);
        add(8, 8, kMountain);
    } else {
        if (year >= 1996 && year <= 2002)
            add(7, 20, kMarine);
        else if (year >= 2003)
            addDate(NthMonday(year, 7, 3), kMarine);
        if (year >= 2016)
            add(8, 11, kMountain);
    }
    if (year >= 1966 && year <= 2002)
        add(9, 15, kAged);
    else if (year >= 2003)
        addDate(NthMonday(year, 9, 3), kAged);
    add(9, AutumnalEquinoxDay(year), kAutumnal);
    if (year >= 1966 && year <= 1999)
        add(10, 10, kHealthSports);
    else if (year >= 2000 && year <= 2019)
        addDate(NthMonday(year, 10, 2), kHealthSports);
    else if (year >= 2022)
        addDate(NthMonday(year, 10, 2), kSports);
    add(11, 3, kCulture);
    add(11, 23, kLabour);
    if (year >= 1989 && year <= 2018)
        add(12, 23, kEmperor);

    // The enthronement of 2019: its two days count as national holidays.
    if (year == 2019) {
        add(5, 1, kRestDayAsHoliday);
        add(10, 22, kRestDayAsHoliday);
    }
    // The law's first year begins on the day it came into force.
    std::erase_if(days, [](const Entry& e) { return e.date < kLawInForce; });
    std::sort(days.begin(), days.end(),
              [](const Entry& a, const Entry& b) { return a.date < b.date; });
    return days;
}

// A Sunday holiday's substitute: until 2006 the Monday after it, from 2007 the first day after
// it that is no national holiday.
void AddSubstitutes(int year, std::vector<Entry>& days) {
    std::vector<Entry> substitutes;
    for (const Entry& e : days) {
        if (!e.national || e.date < kSubstitutesFrom || e.date.dayOfWeek() != Qt::Sunday)
            continue;
        QDate next = e.date.addDays(1);
        if (year >= kRules2007) {
            while (IsNational(days, next))
                next = next.addDays(1);
        }
        if (!Contains(days, next) && !Contains(substitutes, next))
            substitutes.push_back({next, kRestDay, false});
    }
    days.insert(days.end(), substitutes.begin(), substitutes.end());
}

// A day between two national holidays: until 2006 only a weekday other than Sunday that is no
// substitute; from 2007 any day that is no national holiday.
void AddCitizensHolidays(int year, std::vector<Entry>& days) {
    std::vector<Entry> enclosed;
    for (const Entry& e : days) {
        const QDate between = e.date.addDays(1);
        if (!e.national || between < kCitizensFrom || !IsNational(days, between.addDays(1)))
            continue;
        if (IsNational(days, between))
            continue;
        if (year < kRules2007 && (between.dayOfWeek() == Qt::Sunday || Contains(days, between)))
            continue;
        if (!Contains(days, between))
            enclosed.push_back({between, kRestDay, false});
    }
    days.insert(days.end(), enclosed.begin(), enclosed.end());
}

// Days of the imperial family's ceremonies, each made a rest day by a law of its own.
void AddOneOffDays(int year, std::vector<Entry>& days) {
    const auto add = [&](int month, int day, const QString& name) {
        days.push_back({QDate(year, month, day), name, false});
    };
    switch (year) {
    case 1959:
        add(4, 10, QStringLiteral("結婚の儀"));
        break;
    case 1989:
        add(2, 24, QStringLiteral("大喪の礼"));
        break;
    case 1990:
        add(11, 12, QStringLiteral("即位礼正殿の儀"));
        break;
    case 1993:
        add(6, 9, QStringLiteral("結婚の儀"));
        break;
    default:
        break;
    }
}

} // namespace

int VernalEquinoxDay(int year) {
    return EquinoxDay(year, 20.8357, 20.8431, 21.8510);
}

int AutumnalEquinoxDay(int year) {
    return EquinoxDay(year, 23.2588, 23.2488, 24.2488);
}

std::vector<Holiday> OfYear(int year) {
    if (year < kFirstYear || year > kLastYear)
        return {};
    std::vector<Entry> days = NationalHolidays(year);
    AddSubstitutes(year, days);
    AddCitizensHolidays(year, days);
    AddOneOffDays(year, days);
    std::sort(days.begin(), days.end(),
              [](const Entry& a, const Entry& b) { return a.date < b.date; });
    std::vector<Holiday> holidays;
    holidays.reserve(days.size());
    for (Entry& e : days)
        holidays.push_back({e.date, std::move(e.name)});
    return holidays;
}

std::vector<Holiday> Between(const QDate& first, const QDate& last) {
    std::vector<Holiday> holidays;
    if (!first.isValid() || !last.isValid() || last < first)
        return holidays;
    const int from = std::max(first.year(), kFirstYear);
    const int to = std::min(last.year(), kLastYear);
    for (int year = from; year <= to; ++year) {
        for (Holiday& h : OfYear(year)) {
            if (first <= h.date && h.date <= last)
                holidays.push_back(std::move(h));
        }
    }
    return holidays;
}

QString NameOf(const QDate& date) {
    for (const Holiday& h : Between(date, date))
        return h.name;
    return QString();
}

} // namespace JapaneseHolidays
