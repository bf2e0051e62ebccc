#include "sync/SyncEngine.h"

#include "calendar/SyncProperties.h"

#include <algorithm>
#include <optional>
#include <set>

namespace SyncEngine {

using DayEvents::Entry;
using DayEvents::Fields;
using DayEvents::Slot;
using EventText::Use;

QString Describe(const Entry& entry) {
    QString where;
    switch (entry.slot) {
    case Slot::heading:
        where = QStringLiteral("heading");
        break;
    case Slot::row:
        where =
            entry.row >= 0 ? QStringLiteral("row %1").arg(entry.row + 1) : QStringLiteral("row");
        break;
    case Slot::memo:
    case Slot::memoLine:
        where = QStringLiteral("memo");
        break;
    }
    QString text = DayEvents::MemoLine(entry.fields).mid(SyncProperties::kMemoLineMark.size());
    // A line names an entry; a long memo is cut.
    constexpr qsizetype kLongest = 80;
    if (text.size() > kLongest)
        text = text.left(kLongest - 1) + u'…';
    return QStringLiteral("%1 %2: %3").arg(entry.date.toString(Qt::ISODate), where, text);
}

namespace {

// Times compare as clock times when they read as one: "9" and "09:00" are the same start.
QString TimeKey(const QString& time) {
    if (const std::optional<int> minutes = SyncProperties::ClockMinutes(time))
        return QStringLiteral("@%1").arg(*minutes);
    return time;
}

bool SameTimeAndPlan(const Fields& a, const Fields& b) {
    return TimeKey(a.time) == TimeKey(b.time) && a.plan == b.plan;
}

// The book's version of an entry both sides changed, as the new event that keeps it.
Fields ConflictCopy(const Entry& b) {
    const QString& mark = SyncProperties::kConflictMark;
    switch (b.slot) {
    case Slot::heading:
        return {QString(), mark + b.fields.plan, b.fields.detail};
    case Slot::memo:
        return {QString(), mark, b.fields.plan};
    default:
        return {b.fields.time, mark + b.fields.plan, b.fields.detail};
    }
}

using Done = std::function<void(const Entry&)>;

struct SetOp {
    Entry entry;
    Fields fields;
    Done done;
};

struct PlaceOp {
    Fields fields;
    Slot preferred;
    int hint;
    Done done;
};

// One day's book entries and the changes sync makes to it.
struct DayWork {
    std::vector<Entry> book;
    std::vector<bool> used;
    QStringList knownLines;
    std::vector<SetOp> sets;
    std::vector<Entry> clears;
    std::vector<PlaceOp> places;
};

// An agreed entry: its item and its index in the item's entries.
struct Ref {
    QString href;
    std::size_t index;
    bool operator<(const Ref& o) const { return href != o.href ? href < o.href : index < o.index; }
};

// An item's outcome: the record the state gets once the book holds the changes.
struct ItemWork {
    StateItem record;
    bool forget = false;
    // An upload writes the new record when the server answers; until then the state keeps the
    // agreed entries with the server's present text, so a failed write is tried again.
    bool byUpload = false;
    std::vector<Entry> previous;
    // The book's changes of a repeating event's occurrences, sent together in one write once
    // the book's side of the item is known.
    std::vector<EventText::OccurrenceChange> changes;
    QStringList changeLines;
};

class Planner {
public:
    explicit Planner(const Input& in) : m_in(in) {}
    Plan Run();

private:
    bool InWindow(const QDate& d) const { return d >= m_in.from && d <= m_in.to; }
    DayWork& Day(const QDate& date);
    void MatchDays();
    void Decide(const QString& href, const StateItem* st, const ServerItem* sv);
    void PairEntries(ItemWork& w, const StateItem* st, const ServerItem* sv,
                     const std::vector<std::size_t>& agreed);
    void Pair(ItemWork& w, const ServerItem* sv, const Entry* a, const std::optional<Entry>& b,
              const Entry* s);
    // A new server entry: linked with a book entry that holds it already, else placed.
    void Arrive(ItemWork& w, const Entry& s);
    void Place(const QDate& date, const Fields& fields, Slot preferred, int hint, Done done);
    void ConflictCopyOf(const Entry& b, const Entry& serverVersion);
    void Create(const Entry& entry);
    void Apply();
    void Guard();
    // A line for one side, kept in the order of the days and their places.
    void BookLine(const Entry& e, const QString& what);
    QString ServerLine(const Entry& e, const QString& what);

    const Input& m_in;
    Plan m_plan;
    std::map<QDate, DayWork> m_days;
    std::map<Ref, std::optional<Entry>> m_bookOf;
    std::map<QString, ItemWork> m_items;
    std::map<QString, StateItem> m_state;
    int m_bookRemovals = 0;
    int m_occurrenceRemovals = 0;
    int m_agreedInWindow = 0;
    std::vector<std::pair<QString, QString>> m_bookLines;
    std::vector<std::pair<QString, QString>> m_serverLines;
};

bool SameEntries(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Entry& x, const Entry& y) {
        return x.date == y.date && x.slot == y.slot && x.row == y.row &&
               x.priorTime == y.priorTime && x.fields == y.fields && x.occurrence == y.occurrence;
    });
}

bool SameRecord(const StateItem& a, const StateItem& b) {
    return a.uid == b.uid && a.etag == b.etag && a.pending == b.pending && a.use == b.use &&
           a.base == b.base && SameEntries(a.entries, b.entries);
}

// Days in order, and within a day the heading, the rows from the top, then the memo.
QString OrderKey(const Entry& e) {
    const int place = e.slot == Slot::heading ? 0
                      : e.slot == Slot::row   ? 1 + std::max(e.row, 0)
                      : e.slot == Slot::memo  ? 20
                                              : 21;
    return e.date.toString(Qt::ISODate) + QStringLiteral("/%1").arg(place, 2, 10, QLatin1Char('0'));
}

void Planner::BookLine(const Entry& e, const QString& what) {
    m_bookLines.push_back({OrderKey(e), QStringLiteral("book: %1 (%2)").arg(Describe(e), what)});
}

QString Planner::ServerLine(const Entry& e, const QString& what) {
    const QString line = QStringLiteral("calendar: %1 (%2)").arg(Describe(e), what);
    m_serverLines.push_back({OrderKey(e), line});
    return line;
}

DayWork& Planner::Day(const QDate& date) {
    auto it = m_days.find(date);
    if (it != m_days.end())
        return it->second;
    DayWork& work = m_days[date];
    return work;
}

// Each agreed entry finds its book entry: the heading, the memo and memo lines by their place,
// rows by content first, (time, plan, detail) then (plan, detail), and last by their row, so
// that rows moved by 挿入 or 削除 are still the same entries.
void Planner::MatchDays() {
    std::map<QDate, std::vector<Ref>> agreedByDay;
    for (const auto& [href, item] : m_state) {
        for (std::size_t i = 0; i < item.entries.size(); ++i) {
            if (InWindow(item.entries[i].date)) {
                agreedByDay[item.entries[i].date].push_back({href, i});
                ++m_agreedInWindow;
            }
        }
    }
    std::set<QDate> dates;
    for (const auto& [date, refs] : agreedByDay)
        dates.insert(date);
    for (const auto& [date, day] : m_in.days) {
        if (InWindow(date))
            dates.insert(date);
    }
    for (const QDate& date : dates) {
        DayWork& work = Day(date);
        const std::vector<Ref>& refs = agreedByDay[date];
        for (const Ref& r : refs) {
            const Entry& a = m_state.at(r.href).entries[r.index];
            if (a.slot == Slot::memoLine)
                work.knownLines << DayEvents::MemoLine(a.fields);
        }
        const auto day = m_in.days.find(date);
        if (day != m_in.days.end())
            work.book = DayEvents::EntriesOfDay(day->second, date, work.knownLines);
        work.used.assign(work.book.size(), false);

        auto take = [&](const Ref& r, std::size_t k) {
            work.used[k] = true;
            Entry b = work.book[k];
            const Entry& a = m_state.at(r.href).entries[r.index];
            if (b.slot == Slot::memoLine)
                b.fields = a.fields; // a known line is unedited by definition
            b.priorTime = a.priorTime;
            m_bookOf[r] = b;
        };
        std::set<Ref> open;
        for (const Ref& r : refs) {
            m_bookOf[r] = std::nullopt;
            const Entry& a = m_state.at(r.href).entries[r.index];
            if (a.slot == Slot::row) {
                open.insert(r);
                continue;
            }
            for (std::size_t k = 0; k < work.book.size(); ++k) {
                if (work.used[k] || work.book[k].slot != a.slot)
                    continue;
                if (a.slot == Slot::memoLine &&
                    work.book[k].fields.plan != DayEvents::MemoLine(a.fields))
                    continue;
                take(r, k);
                break;
            }
        }
        // Rows, pass by pass; within a pass the nearest row wins.
        auto pass = [&](auto matches) {
            for (auto it = open.begin(); it != open.end();) {
                const Entry& a = m_state.at(it->href).entries[it->index];
                int best = -1;
                for (std::size_t k = 0; k < work.book.size(); ++k) {
                    const Entry& b = work.book[k];
                    if (work.used[k] || b.slot != Slot::row || !matches(a, b))
                        continue;
                    if (best < 0 || std::abs(b.row - a.row) < std::abs(work.book[best].row - a.row))
                        best = int(k);
                }
                if (best >= 0) {
                    take(*it, std::size_t(best));
                    it = open.erase(it);
                } else {
                    ++it;
                }
            }
        };
        pass([](const Entry& a, const Entry& b) { return a.fields == b.fields; });
        pass([](const Entry& a, const Entry& b) {
            return a.fields.plan == b.fields.plan && a.fields.detail == b.fields.detail;
        });
        // Last, the place: where its nearest neighbour went (挿入 and 削除 move the rows below
        // them together), else the row it had.
        for (const Ref& r : std::set<Ref>(open)) {
            const Entry& a = m_state.at(r.href).entries[r.index];
            int offset = 0;
            int nearest = CYoteiDay::kRows + 1;
            for (const Ref& other : refs) {
                const Entry& o = m_state.at(other.href).entries[other.index];
                const std::optional<Entry>& found = m_bookOf[other];
                if (open.count(other) || o.slot != Slot::row || !found ||
                    found->slot != Slot::row || std::abs(o.row - a.row) >= nearest)
                    continue;
                nearest = std::abs(o.row - a.row);
                offset = found->row - o.row;
            }
            for (const int row : {a.row + offset, a.row}) {
                for (std::size_t k = 0; k < work.book.size() && open.count(r); ++k) {
                    if (!work.used[k] && work.book[k].slot == Slot::row &&
                        work.book[k].row == row) {
                        take(r, k);
                        open.erase(r);
                    }
                }
            }
        }
    }
}

void Planner::Place(const QDate& date, const Fields& fields, Slot preferred, int hint, Done done) {
    Day(date).places.push_back({fields, preferred, hint, std::move(done)});
}

void Planner::Create(const Entry& entry) {
    Upload up;
    up.kind = Upload::Kind::create;
    const QString uid = m_in.newUid();
    up.record.href = m_in.hrefFor(uid);
    up.record.uid = uid;
    up.record.pending = true;
    up.record.use = Use::placed;
    up.record.entries = {entry};
    up.body = EventText::New(uid, entry, m_in.zone, m_in.now);
    up.what = ServerLine(entry, QStringLiteral("added"));
    m_plan.uploads.push_back(std::move(up));
}

void Planner::ConflictCopyOf(const Entry& b, const Entry& serverVersion) {
    const Fields copy = ConflictCopy(b);
    // Named where the book has it, with the calendar's text that now stands there.
    Entry shown = b;
    shown.fields = serverVersion.fields;
    m_plan.conflicts << QStringLiteral("conflict: %1 was changed on both sides; the calendar's "
                                       "version is in the book, the book's is kept beside it as "
                                       "a new event marked %2")
                            .arg(Describe(shown), SyncProperties::kConflictMark);
    Place(b.date, copy, Slot::row, b.slot == Slot::row ? b.row : -1, [this](const Entry& placed) {
        BookLine(placed, QStringLiteral("added"));
        Create(placed);
    });
}

void Planner::Arrive(ItemWork& w, const Entry& s) {
    DayWork& day = Day(s.date);
    // A book entry that holds this event already (a first sync, a lost state, a day entering
    // the window) is linked, not copied.
    for (std::size_t k = 0; k < day.book.size(); ++k) {
        if (day.used[k])
            continue;
        const Entry& b = day.book[k];
        const bool links = s.slot == Slot::memo ? b.slot == Slot::memo
                           : s.slot == Slot::heading
                               ? b.slot == Slot::heading && b.fields.plan == s.fields.plan
                               : b.slot == Slot::row && SameTimeAndPlan(b.fields, s.fields);
        if (!links)
            continue;
        day.used[k] = true;
        if (b.fields == s.fields) {
            Entry linked = b;
            linked.occurrence = s.occurrence;
            w.record.entries.push_back(linked);
            return;
        }
        // Linked, but both hold something else and neither is older: the calendar's text takes
        // the entry, the book's is kept as a new event.
        ConflictCopyOf(b, s);
        day.sets.push_back({b, s.fields, [this, &w, key = s.occurrence](const Entry& set) {
                                Entry e = set;
                                e.occurrence = key;
                                w.record.entries.push_back(e);
                                BookLine(set, QStringLiteral("changed"));
                            }});
        return;
    }
    Place(s.date, s.fields, s.slot, s.row, [this, &w, key = s.occurrence](const Entry& placed) {
        Entry e = placed;
        e.occurrence = key;
        w.record.entries.push_back(e);
        BookLine(placed, QStringLiteral("added"));
    });
}

void Planner::Pair(ItemWork& w, const ServerItem* sv, const Entry* a, const std::optional<Entry>& b,
                   const Entry* s) {
    if (!a) {
        Arrive(w, *s);
        return;
    }
    // Which occurrence of a repeating event this is: the server names it (a state from before
    // occurrences were named has none yet).
    const QString key = s ? s->occurrence : a->occurrence;
    const bool writable = sv && sv->event.use == Use::placed && !sv->event.fixed.count(key);
    auto keep = [&w, key](const Entry& e) {
        Entry kept = e;
        kept.occurrence = key;
        w.record.entries.push_back(kept);
    };
    auto set = [this, &w, key](const Entry& entry, const Fields& fields) {
        Day(entry.date).sets.push_back({entry, fields, [this, &w, key](const Entry& done) {
                                            Entry e = done;
                                            e.occurrence = key;
                                            w.record.entries.push_back(e);
                                            BookLine(done, QStringLiteral("changed"));
                                        }});
    };
    auto clear = [this](const Entry& entry) {
        Day(entry.date).clears.push_back(entry);
        ++m_bookRemovals;
        BookLine(entry, QStringLiteral("removed"));
    };

    if (!s) {
        // The server no longer has it here: deleted, cancelled, moved out of the window.
        if (!b)
            return; // gone from both sides
        if (b->fields == a->fields) {
            clear(*b);
            return;
        }
        // An edit beats a deletion: the book's version goes back to the server as a new event
        // (an occurrence the series now leaves out, too). When the event itself is still there
        // (moved away, cancelled), the two versions conflict and the book's is marked.
        if (!sv || (!a->occurrence.isEmpty() && sv->event.removed.count(a->occurrence))) {
            Create(*b);
        } else {
            m_plan.conflicts << QStringLiteral("conflict: %1 was changed in the book and moved or "
                                               "cancelled on the calendar; the book's version is "
                                               "kept as a new event marked %2")
                                    .arg(Describe(*b), SyncProperties::kConflictMark);
            Day(b->date).clears.push_back(*b);
            Place(b->date, ConflictCopy(*b), Slot::row, b->slot == Slot::row ? b->row : -1,
                  [this](const Entry& placed) {
                      BookLine(placed, QStringLiteral("added"));
                      Create(placed);
                  });
        }
        return;
    }

    const bool serverChanged = s->fields != a->fields || s->date != a->date;
    const bool bookChanged = !b || b->fields != a->fields;
    auto moveTo = [&](const Entry& from) {
        // The event went to another day: its entry leaves this day and arrives on the other.
        Day(from.date).clears.push_back(from);
        BookLine(from, QStringLiteral("moved to %1").arg(s->date.toString(Qt::ISODate)));
        Arrive(w, *s);
    };

    if (!serverChanged && !bookChanged) {
        keep(*b);
        return;
    }
    if (serverChanged && !bookChanged) {
        if (s->date == b->date)
            set(*b, s->fields);
        else
            moveTo(*b);
        return;
    }
    if (!serverChanged) {
        if (!writable) {
            const auto fixed = sv->event.fixed.find(key);
            const QString why =
                fixed != sv->event.fixed.end() ? fixed->second : sv->event.followedBecause;
            m_plan.notSent << QStringLiteral("not sent: %1 (%2: the book's changes to it stay "
                                             "in the book)")
                                  .arg(Describe(b ? *b : *a), why);
            // The state keeps the server's version, at the place the book now has it.
            Entry agreed = *a;
            if (b) {
                agreed.slot = b->slot;
                agreed.row = b->row;
            }
            keep(agreed);
            return;
        }
        if (!key.isEmpty()) {
            // An occurrence: its override or its EXDATE goes up with the item's other changes.
            w.changes.push_back({key, a->fields, b});
            if (b) {
                keep(*b);
                w.changeLines << ServerLine(*b, QStringLiteral("changed"));
            } else {
                w.changeLines << ServerLine(*a, QStringLiteral("removed"));
                ++m_occurrenceRemovals;
            }
            w.byUpload = true;
            return;
        }
        Upload up;
        up.record = w.record;
        up.record.entries.clear();
        if (b) {
            QString problem;
            up.kind = Upload::Kind::update;
            up.etag = sv->etag;
            up.body = EventText::Patch(sv->text, a->fields, *b, m_in.zone, m_in.now, problem);
            if (up.body.isEmpty()) {
                m_plan.problems << QStringLiteral("failed: %1: %2").arg(Describe(*b), problem);
                keep(*a);
                return;
            }
            up.record.entries = {*b};
            up.what = ServerLine(*b, QStringLiteral("changed"));
        } else {
            up.kind = Upload::Kind::remove;
            up.etag = sv->etag;
            up.what = ServerLine(*a, QStringLiteral("removed"));
        }
        m_plan.uploads.push_back(std::move(up));
        w.byUpload = true;
        return;
    }
    // Both sides changed it.
    if (b && b->fields == s->fields && b->date == s->date) {
        keep(*b); // the same change on both sides is agreement
        return;
    }
    if (!b) {
        // Cleared in the book, changed on the server: the edit wins and fills the book again.
        Arrive(w, *s);
        return;
    }
    ConflictCopyOf(*b, *s);
    if (s->date == b->date)
        set(*b, s->fields);
    else
        moveTo(*b);
}

void Planner::PairEntries(ItemWork& w, const StateItem* st, const ServerItem* sv,
                          const std::vector<std::size_t>& agreed) {
    const std::vector<Entry> none;
    const std::vector<Entry>& server = sv ? sv->event.entries : none;
    auto bookOf = [&](std::size_t i) { return m_bookOf[{st->href, i}]; };
    if (agreed.size() == 1 && server.size() == 1 &&
        st->entries[agreed[0]].occurrence == server[0].occurrence) {
        // One event, one day: a change of date is a move.
        Pair(w, sv, &st->entries[agreed[0]], bookOf(agreed[0]), &server[0]);
        return;
    }
    // Several days (occurrences, a long event): each with its own, the same occurrence on the
    // same date first, then the same occurrence moved to another date, then (a state that
    // does not name occurrences yet) the same date.
    std::vector<bool> serverUsed(server.size(), false);
    std::vector<const Entry*> match(agreed.size(), nullptr);
    auto pass = [&](auto fits) {
        for (std::size_t j = 0; j < agreed.size(); ++j) {
            const Entry& a = st->entries[agreed[j]];
            for (std::size_t k = 0; k < server.size() && !match[j]; ++k) {
                if (!serverUsed[k] && fits(a, server[k])) {
                    serverUsed[k] = true;
                    match[j] = &server[k];
                }
            }
        }
    };
    pass([](const Entry& a, const Entry& s) {
        return a.occurrence == s.occurrence && a.date == s.date;
    });
    pass([](const Entry& a, const Entry& s) {
        return !a.occurrence.isEmpty() && a.occurrence == s.occurrence;
    });
    pass([](const Entry& a, const Entry& s) { return a.occurrence.isEmpty() && a.date == s.date; });
    for (std::size_t j = 0; j < agreed.size(); ++j)
        Pair(w, sv, &st->entries[agreed[j]], bookOf(agreed[j]), match[j]);
    for (std::size_t k = 0; k < server.size(); ++k) {
        if (!serverUsed[k])
            Pair(w, sv, nullptr, std::nullopt, &server[k]);
    }
}

void Planner::Decide(const QString& href, const StateItem* st, const ServerItem* sv) {
    ItemWork& w = m_items[href];
    w.record.href = href;
    w.record.uid = sv ? sv->event.uid : st->uid;
    w.record.use = sv ? sv->event.use : st->use;
    w.record.etag = sv ? sv->etag : QByteArray();
    w.record.base = sv ? sv->text : QByteArray();
    std::vector<std::size_t> agreed;
    if (st)
        w.previous = st->entries;
    if (st) {
        for (std::size_t i = 0; i < st->entries.size(); ++i) {
            if (InWindow(st->entries[i].date))
                agreed.push_back(i);
            else
                w.record.entries.push_back(st->entries[i]); // days outside stay as agreed
        }
    }
    if (sv && !sv->event.problem.isEmpty()) {
        // A text we cannot read changes nothing: its entries stay as they were agreed.
        m_plan.problems << QStringLiteral("failed: %1: %2").arg(href, sv->event.problem);
        if (st)
            w.record = *st;
        else
            w.forget = true;
        return;
    }
    if (sv && sv->event.use == Use::listed && (!st || st->etag != sv->etag))
        m_plan.listed << QStringLiteral("not placed: %1 %2 (an event export wrote)")
                             .arg(sv->event.date.toString(Qt::ISODate), sv->event.summary);
    if (!sv)
        w.forget = true;
    PairEntries(w, st, sv, agreed);
}

void Planner::Apply() {
    for (auto& [date, work] : m_days) {
        if (work.sets.empty() && work.clears.empty() && work.places.empty())
            continue;
        const auto found = m_in.days.find(date);
        CYoteiDay day = found != m_in.days.end() ? found->second : CYoteiDay();
        DayEvents::DayEditor editor(day, work.knownLines);
        for (SetOp& op : work.sets) {
            editor.Set(op.entry, op.fields);
            op.done(op.entry);
        }
        for (const Entry& e : work.clears)
            editor.Clear(e);
        // Like import: the day's new events in time order, each into the first free row.
        std::stable_sort(work.places.begin(), work.places.end(),
                         [](const PlaceOp& x, const PlaceOp& y) {
                             const auto mx = SyncProperties::ClockMinutes(x.fields.time);
                             const auto my = SyncProperties::ClockMinutes(y.fields.time);
                             return mx.value_or(-1) < my.value_or(-1);
                         });
        for (PlaceOp& op : work.places)
            op.done(editor.Place(date, op.fields, op.preferred, op.hint));
        if (editor.Changed())
            m_plan.days[date] = day;
    }
}

void Planner::Guard() {
    // An occurrence taken out of its series counts as an event deleted.
    int serverRemovals = m_occurrenceRemovals;
    for (const Upload& up : m_plan.uploads)
        serverRemovals += up.kind == Upload::Kind::remove ? 1 : 0;
    int known = 0;
    for (const auto& [href, item] : m_state)
        known += !item.pending && (item.use == Use::placed || item.use == Use::followed) ? 1 : 0;
    bool bookHasAny = false;
    for (const auto& [date, work] : m_days)
        bookHasAny = bookHasAny || !work.book.empty();
    // A repeating event counts as many events as it has occurrences in the window.
    int serverItems = 0;
    for (const auto& [href, item] : m_in.server)
        serverItems += item.event.repeating ? std::max<int>(1, int(item.event.entries.size())) : 1;
    if (known > 0 && m_in.server.empty())
        m_plan.stop = QStringLiteral("the calendar is empty, but it held %1 events at the last "
                                     "sync; emptying the book too needs --force")
                          .arg(known);
    else if (!bookHasAny && m_agreedInWindow > 0 && serverRemovals > 0)
        m_plan.stop = QStringLiteral("the book holds nothing from %1 to %2, but it held %3 "
                                     "entries at the last sync; emptying the calendar too needs "
                                     "--force")
                          .arg(m_in.from.toString(Qt::ISODate), m_in.to.toString(Qt::ISODate))
                          .arg(m_agreedInWindow);
    else if (serverRemovals > 10 && serverRemovals * 2 > serverItems)
        m_plan.stop = QStringLiteral("this sync would delete %1 of the calendar's %2 events; "
                                     "that needs --force")
                          .arg(serverRemovals)
                          .arg(serverItems);
    else if (m_bookRemovals > 10 && m_bookRemovals * 2 > m_agreedInWindow)
        m_plan.stop = QStringLiteral("this sync would remove %1 of the book's %2 entries; "
                                     "that needs --force")
                          .arg(m_bookRemovals)
                          .arg(m_agreedInWindow);
}

Plan Planner::Run() {
    // A new item whose PUT never got its answer: on the server it is known again, and if it is
    // not there its book entry is new once more.
    for (const auto& [href, item] : m_in.state) {
        if (item.pending && !m_in.server.count(href)) {
            m_plan.forgotten << href;
            continue;
        }
        m_state.emplace(href, item);
    }
    MatchDays();
    std::set<QString> hrefs;
    for (const auto& [href, item] : m_state)
        hrefs.insert(href);
    for (const auto& [href, item] : m_in.server)
        hrefs.insert(href);
    for (const QString& href : hrefs) {
        const auto st = m_state.find(href);
        const auto sv = m_in.server.find(href);
        Decide(href, st != m_state.end() ? &st->second : nullptr,
               sv != m_in.server.end() ? &sv->second : nullptr);
    }
    // What the book holds that no event holds yet goes to the server.
    for (auto& [date, work] : m_days) {
        for (std::size_t k = 0; k < work.book.size(); ++k) {
            if (!work.used[k])
                Create(work.book[k]);
        }
    }
    Apply();
    for (auto& [href, w] : m_items) {
        if (!w.changes.empty()) {
            // One write for the item, once the book's side of every occurrence is known.
            const ServerItem& sv = m_in.server.at(href);
            Upload up;
            up.kind = Upload::Kind::update;
            up.etag = sv.etag;
            QString problem;
            up.body = EventText::PatchOccurrences(sv.text, w.changes, m_in.zone, m_in.now, problem);
            if (up.body.isEmpty()) {
                m_plan.problems << QStringLiteral("failed: %1: %2")
                                       .arg(w.changeLines.join(QStringLiteral("; ")), problem);
            } else {
                up.record = w.record;
                up.what = w.changeLines.join(QStringLiteral("; "));
                m_plan.uploads.push_back(std::move(up));
            }
        }
        if (w.byUpload)
            w.record.entries = w.previous;
        if (w.forget && !w.byUpload) {
            m_plan.forgotten << href;
            continue;
        }
        // A record the state holds already is not written again: a sync that changes nothing
        // writes nothing.
        const auto known = m_in.state.find(href);
        if (known != m_in.state.end() && SameRecord(known->second, w.record))
            continue;
        m_plan.agreed.push_back(std::move(w.record));
    }
    Guard();
    for (auto* lines : {&m_bookLines, &m_serverLines})
        std::stable_sort(lines->begin(), lines->end(),
                         [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& [key, line] : m_bookLines)
        m_plan.bookChanges << line;
    for (const auto& [key, line] : m_serverLines)
        m_plan.serverChanges << line;
    return std::move(m_plan);
}

} // namespace

Plan Make(const Input& input) {
    return Planner(input).Run();
}

} // namespace SyncEngine
