#pragma once

#include "sync/SyncRunner.h"

#include <QDate>
#include <functional>
#include <map>
#include <memory>
#include <set>

class CTavrinoDoc;

// The planner's open book as a sync sees it. What leaves the machine is what the user saved:
// a day changed since the last save shows the sync its saved version. A server change goes into
// the book only where the user is not at work: not into a day changed since the last save (or
// since the sync looked at the book), not while one of our dialogs is open, not into the day on
// show while an input method composes in it. Applied changes are saved at once when the book has
// no changes of the user's; otherwise they wait for the user's save, and count as agreed only
// once a save has written them. The work is done a little at a time between the user's events,
// and the save writes on another thread, so that typing never waits for it.
class CPlannerBook : public SyncBook {
public:
    struct Hooks {
        // Whether one of our dialogs (or any modal window) is open.
        std::function<bool()> dialogOpen;
        // Whether an input method is composing text in the window.
        std::function<bool()> composing;
        // After days were committed: the window shows them; the day on show is shown again only
        // when it is one of them, so that the user's place in it stays put otherwise.
        std::function<void(bool dayOnShowChanged)> refresh;
    };

    CPlannerBook(CTavrinoDoc* doc, Hooks hooks);

    // The record shown for each date from..to, as the sync sees it.
    std::map<QDate, CYoteiDay> Days(const QDate& from, const QDate& to);
    void DaysFor(const QDate& from, const QDate& to,
                 std::function<void(std::map<QDate, CYoteiDay>)> take) override {
        take(Days(from, to));
    }
    // done is called from the event loop once the days are in (and saved, where they are saved).
    void Write(const std::map<QDate, CYoteiDay>& days,
               std::function<void(bool ok, const QString& problem)> done) override;
    std::set<QDate> Unsettled() const override { return m_unsettled; }
    // Drops a write in progress (another book took this one's place): its done is never called.
    void Cancel() { ++m_run; }

    // The days whose server changes were held back by the last write.
    const std::set<QDate>& HeldBack() const { return m_heldBack; }

private:
    struct Writing;
    void WriteSome(const std::shared_ptr<Writing>& writing);
    void Finish(const std::shared_ptr<Writing>& writing);
    // Runs step from the event loop, unless this object is gone by then.
    void Later(std::function<void()> step);

    CTavrinoDoc* m_doc;
    Hooks m_hooks;
    std::set<QDate> m_unsettled;
    std::set<QDate> m_heldBack;
    // What the last Days showed the sync: a day that differs by the time of the write was
    // changed (and perhaps saved) meanwhile, and the sync's plan for it is out of date.
    std::map<QDate, CYoteiDay> m_shown;
    int m_run = 0;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};
