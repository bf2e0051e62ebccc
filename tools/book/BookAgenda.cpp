#include "tools/book/BookAgenda.h"

#include "tools/book/BookText.h"

#include <QLocale>
#include <QStringList>
#include <map>

namespace BookAgenda {

namespace {

QString Joined(std::initializer_list<const QString*> parts) {
    QStringList kept;
    for (const QString* part : parts) {
        if (!part->isEmpty())
            kept << BookText::OneLine(*part);
    }
    return kept.join(u' ');
}

// The lines of a day as the agenda shows them, without their indentation; memo lines marked.
struct Line {
    QString text;
    bool memo;
};

std::vector<Line> DayLines(const CYoteiDay& day) {
    std::vector<Line> lines;
    if (const QString heading = Joined({&day.m_heading, &day.m_headingDetail}); !heading.isEmpty())
        lines.push_back({QStringLiteral("■ ") + heading, false});
    for (int r = 0; r < CYoteiDay::kRows; ++r) {
        if (const QString row = Joined({&day.m_times[r], &day.m_plans[r], &day.m_details[r]});
            !row.isEmpty())
            lines.push_back({row, false});
    }
    if (!day.m_dayMemo.isEmpty()) {
        for (const QString& line : BookText::Lines(day.m_dayMemo))
            lines.push_back({line, true});
    }
    return lines;
}

// Both sides of a search in one form: compatibility forms folded (full-width letters, half-width
// kana) and case folded.
QString SearchForm(const QString& text) {
    return text.normalized(QString::NormalizationForm_KC)
        .toCaseFolded()
        .normalized(QString::NormalizationForm_KC);
}

} // namespace

std::vector<const CYoteiDay*> DaysInRange(const DayList& days, const QDate& from, const QDate& to) {
    std::map<QDate, const CYoteiDay*> shown;
    for (const auto& day : days) {
        COleDateTime::Fields f;
        // The planner never finds a record whose date has a time of day.
        if (!day->m_dayDate.GetFields(f) || !(day->m_dayDate == day->m_dayDate.DatePart()))
            continue;
        const QDate date(f.year, f.month, f.day);
        if (date >= from && date <= to)
            shown.emplace(date, day.get());
    }
    std::vector<const CYoteiDay*> result;
    for (const auto& [date, day] : shown) {
        if (!DayLines(*day).empty())
            result.push_back(day);
    }
    return result;
}

QString Text(const std::vector<const CYoteiDay*>& days) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QString out;
    for (const CYoteiDay* day : days) {
        if (!out.isEmpty())
            out += u'\n';
        COleDateTime::Fields f;
        day->m_dayDate.GetFields(f);
        out += japanese.toString(QDate(f.year, f.month, f.day), QLocale::LongFormat) + u'\n';
        for (const Line& line : DayLines(*day))
            out += (line.memo ? QStringLiteral("    ") : QStringLiteral("  ")) + line.text + u'\n';
    }
    return out;
}

DayList Copies(const std::vector<const CYoteiDay*>& days) {
    DayList copies;
    for (const CYoteiDay* day : days)
        copies.push_back(std::make_unique<CYoteiDay>(*day));
    return copies;
}

std::vector<Match> Find(const DayList& days, const QString& pattern) {
    const QString wanted = SearchForm(pattern);
    std::vector<Match> matches;
    for (const auto& day : days) {
        Match m{day.get(), {}};
        for (const Line& line : DayLines(*day)) {
            if (SearchForm(line.text).contains(wanted))
                m.lines << line.text;
        }
        if (!m.lines.isEmpty())
            matches.push_back(std::move(m));
    }
    return matches;
}

QString FindText(const std::vector<Match>& matches) {
    QString out;
    for (const Match& m : matches) {
        QString date = BookText::DayText(m.day->m_dayDate);
        if (date.isEmpty())
            date = QStringLiteral("-");
        for (const QString& line : m.lines)
            out += date + QStringLiteral(": ") + line + u'\n';
    }
    return out;
}

} // namespace BookAgenda
