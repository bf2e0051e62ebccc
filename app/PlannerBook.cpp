#include "app/PlannerBook.h"

#include "document/TavrinoDoc.h"

#include <QElapsedTimer>
#include <QTimer>

namespace {

// The longest the book's part of a sync keeps the window from the user's events at a time.
constexpr qint64 kSliceNs = 1'000'000;

COleDateTime DateOf(const QDate& date) {
    return COleDateTime(date.year(), date.month(), date.day(), 0, 0, 0);
}

QDate QDateOf(const COleDateTime& date) {
    COleDateTime::Fields f;
    return date.GetFields(f) ? QDate(f.year, f.month, f.day) : QDate();
}

} // namespace

struct CPlannerBook::Writing {
    int run = 0;
    std::map<QDate, CYoteiDay> days;
    std::map<QDate, CYoteiDay>::const_iterator next;
    std::set<QDate> applied;
    std::function<void(bool, const QString&)> done;
};

CPlannerBook::CPlannerBook(CTavrinoDoc* doc, Hooks hooks) : m_doc(doc), m_hooks(std::move(hooks)) {}

void CPlannerBook::Later(std::function<void()> step) {
    // The document outlives this object when the program ends.
    QTimer::singleShot(0, m_doc, [alive = std::weak_ptr<bool>(m_alive), step = std::move(step)] {
        if (!alive.expired())
            step();
    });
}

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
    m_shown = days;
    return days;
}

void CPlannerBook::Write(const std::map<QDate, CYoteiDay>& days,
                         std::function<void(bool, const QString&)> done) {
    m_unsettled.clear();
    m_heldBack.clear();
    auto writing = std::make_shared<Writing>();
    writing->run = ++m_run;
    writing->days = days;
    writing->next = writing->days.begin();
    writing->done = std::move(done);
    // From the event loop, as every later part: the caller's turn ends first.
    Later([this, writing] { WriteSome(writing); });
}

void CPlannerBook::WriteSome(const std::shared_ptr<Writing>& writing) {
    if (writing->run != m_run)
        return;
    QElapsedTimer slice;
    slice.start();
    bool dayOnShowChanged = false;
    const bool dialogOpen = m_hooks.dialogOpen && m_hooks.dialogOpen();
    const bool composing = m_hooks.composing && m_hooks.composing();
    const COleDateTime shown = m_doc->GetCurrentDay().m_dayDate.DatePart();
    while (writing->next != writing->days.end() && slice.nsecsElapsed() < kSliceNs) {
        const auto& [date, day] = *writing->next++;
        const COleDateTime when = DateOf(date);
        const auto seen = m_shown.find(date);
        // The day as the sync would see it now; the user may have changed and saved it since.
        const bool changedSince = !CYoteiDay::SameTexts(
            m_doc->FileVersion(when), seen != m_shown.end() ? &seen->second : nullptr);
        if (dialogOpen || m_doc->IsDayUnsaved(when) || changedSince ||
            (composing && when == shown)) {
            m_heldBack.insert(date);
            continue;
        }
        CYoteiDay copy = day;
        copy.m_dayDate = when;
        m_doc->CommitDay(copy);
        writing->applied.insert(date);
        dayOnShowChanged = dayOnShowChanged || when == shown;
    }
    const bool last = writing->next == writing->days.end();
    // The day on show is shown again in the turn it changed, before the user's next key edits
    // the copy the window holds.
    if (m_hooks.refresh && (dayOnShowChanged || (last && !writing->applied.empty())))
        m_hooks.refresh(dayOnShowChanged);
    if (!last) {
        Later([this, writing] { WriteSome(writing); });
        return;
    }
    Finish(writing);
}

void CPlannerBook::Finish(const std::shared_ptr<Writing>& writing) {
    m_unsettled = m_heldBack;
    const std::set<QDate>& applied = writing->applied;
    if (applied.empty()) {
        writing->done(true, QString());
        return;
    }
    // The book's own changes are the user's to save: the sync's are saved with them only when
    // there are none.
    bool onlyOurs = true;
    for (const COleDateTime& unsaved : m_doc->UnsavedDays())
        onlyOurs = onlyOurs && applied.count(QDateOf(unsaved));
    if (!onlyOurs) {
        m_unsettled.insert(applied.begin(), applied.end());
        writing->done(true, QString());
        return;
    }
    m_doc->SaveInBackground([this, alive = std::weak_ptr<bool>(m_alive), writing](bool saved) {
        if (alive.expired() || writing->run != m_run)
            return;
        if (!saved)
            m_unsettled.insert(writing->applied.begin(), writing->applied.end());
        writing->done(true, QString());
    });
}
