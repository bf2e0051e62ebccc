#include "app/PlannerBook.h"

#include "document/TavrinoDoc.h"

namespace {

COleDateTime DateOf(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

QDate QDateOf(const COleDateTime& date) {
    COleDateTime::Fields f;
    return date.GetFields(f) ? QDate(f.year, f.month, f.day) : QDate();
}

} // namespace

CPlannerBook::CPlannerBook(CTavrinoDoc* doc, Hooks hooks) : m_doc(doc), m_hooks(std::move(hooks)) {}

std::map<QDate, CYoteiDay> CPlannerBook::Days(const QDate& from, const QDate& to) {
    std::map<QDate, CYoteiDay> days;
    m_unsettled.clear();
    m_heldBack.clear();
    for (const CYoteiDay* day : m_doc->m_days.DaysBetween(DateOf(from), DateOf(to))) {
        const QDate date = QDateOf(day->m_dayDate);
        if (!date.isValid())
            continue;
        // Saving is where the user's changes leave the machine: the sync sees the file's version.
        if (m_doc->IsDayUnsaved(day->m_dayDate)) {
            if (const CYoteiDay* saved = m_doc->FileVersion(day->m_dayDate))
                days.emplace(date, *saved);
            continue;
        }
        days.emplace(date, *day);
    }
    return days;
}

void CPlannerBook::Write(const std::map<QDate, CYoteiDay>& days,
                         std::function<void(bool, const QString&)> done) {
    m_unsettled.clear();
    m_heldBack.clear();
    const bool dialogOpen = m_hooks.dialogOpen && m_hooks.dialogOpen();
    const bool composing = m_hooks.composing && m_hooks.composing();
    const COleDateTime shown = m_doc->GetCurrentDay().m_dayDate.DatePart();
    std::set<QDate> applied;
    for (const auto& [date, day] : days) {
        const COleDateTime when = DateOf(date);
        if (dialogOpen || m_doc->IsDayUnsaved(when) || (composing && when == shown)) {
            m_heldBack.insert(date);
            continue;
        }
        CYoteiDay copy = day;
        copy.m_dayDate = when;
        m_doc->CommitDay(copy);
        applied.insert(date);
    }
    if (!applied.empty() && m_hooks.refresh)
        m_hooks.refresh(applied.count(QDateOf(shown)) > 0);
    m_unsettled = m_heldBack;
    if (!applied.empty()) {
        // The book's own changes are the user's to save: the sync's are saved with them only
        // when there are none.
        bool onlyOurs = true;
        for (const COleDateTime& unsaved : m_doc->UnsavedDays())
            onlyOurs = onlyOurs && applied.count(QDateOf(unsaved));
        const bool saved = onlyOurs && m_doc->DoFileSave(SaveKind::automatic);
        if (!saved)
            m_unsettled.insert(applied.begin(), applied.end());
    }
    done(true, QString());
}
