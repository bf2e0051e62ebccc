#include "sync/SyncRunner.h"

#include "calendar/SyncProperties.h"
#include "sync/DavXml.h"

#include <QDateTime>
#include <algorithm>
#include <set>

namespace {

constexpr int kMultigetBatch = 100;
// A write refused because the item changed meanwhile starts another round of the whole sync,
// which sees the change; a calendar that never holds still ends the sync after these.
constexpr int kMostRounds = 3;

} // namespace

struct SyncRunner::Listing {
    bool full = false;
    std::map<QString, QByteArray> etags; // what the listing names, by href key
    std::set<QString> gone;              // named as deleted
    std::map<QString, QByteArray> texts; // fetched
    std::map<QString, QByteArray> fetchedEtags;
    QStringList toFetch;
    int next = 0;
};

SyncRunner::SyncRunner(QObject* parent) : QObject(parent), m_client(new CalDavClient(this)) {}

SyncRunner::~SyncRunner() = default;

void SyncRunner::Cancel() {
    ++m_run;
    m_done = nullptr;
    m_client->AbortAll();
    m_state.Close();
}

void SyncRunner::Start(const SyncOptions& options, SyncBook* book,
                       std::function<void(const SyncResult&)> done) {
    ++m_run;
    m_options = options;
    m_book = book;
    m_done = std::move(done);
    // A runner is used again for each sync (the planner's timer): nothing carries over.
    m_result = SyncResult();
    m_plan = SyncEngine::Plan();
    m_newToken.clear();
    m_syncTokens = false;
    m_calendarMissing = false;
    m_round = 0;
    m_anotherRound = false;
    m_uploaded.clear();
    m_client->ResetRequestCount(); // the answer observer counts the requests of this sync
    m_client->SetCredentials(options.user, options.password);
    if (const QString problem = CalDavClient::UrlProblem(options.calendar, !options.user.isEmpty());
        !problem.isEmpty()) {
        // Asked from the event loop like every other step, so done never runs inside Start.
        QMetaObject::invokeMethod(
            this, [this, problem] { Fail(problem); }, Qt::QueuedConnection);
        return;
    }
    QString problem;
    if (!m_state.Open(options.stateFile, options.dryRun, problem)) {
        QMetaObject::invokeMethod(
            this, [this, problem] { Fail(QStringLiteral("the sync state: %1").arg(problem)); },
            Qt::QueuedConnection);
        return;
    }
    Probe();
}

void SyncRunner::Fail(const QString& why) {
    m_result.err << why;
    m_result.exitCode = 1;
    m_client->AbortAll();
    m_state.Close();
    if (auto done = std::move(m_done))
        done(m_result);
}

void SyncRunner::Finish() {
    m_result.exitCode = m_result.err.isEmpty() ? 0 : 1;
    m_state.Close();
    if (auto done = std::move(m_done))
        done(m_result);
}

bool SyncRunner::Record(const std::function<bool()>& step) {
    if (step())
        return true;
    Fail(QStringLiteral("the sync state could not be written: %1").arg(m_state.LastError()));
    return false;
}

void SyncRunner::Probe() {
    // A calendar that gave us a sync token offers them: its token is not asked for again, which
    // some servers work out over every item, as costly as the listing itself.
    const bool tokenKnown = !m_state.Meta(QStringLiteral("token")).isEmpty();
    m_client->Propfind(
        m_options.calendar, 0, DavXml::PropfindCollection(!tokenKnown),
        [this, tokenKnown](const DavResponse& r) {
            if (r.status == 0) {
                Fail(QStringLiteral("could not reach %1: %2")
                         .arg(m_options.calendar.toString(), r.failure));
                return;
            }
            if (r.status == 401) {
                Fail(QStringLiteral("%1 refused the login of %2")
                         .arg(m_options.calendar.toString(),
                              m_options.user.isEmpty() ? QStringLiteral("an anonymous user")
                                                       : m_options.user));
                return;
            }
            if (r.Missing()) {
                if (!m_options.create) {
                    Fail(QStringLiteral("there is no calendar at %1 (--create "
                                        "makes one)")
                             .arg(m_options.calendar.toString()));
                } else if (m_options.dryRun) {
                    m_calendarMissing = true;
                    m_result.connected = true;
                    m_result.out << QStringLiteral("calendar: %1 (would be made)")
                                        .arg(m_options.calendar.toString());
                    Plan(std::make_shared<Listing>());
                } else {
                    MakeCalendar();
                }
                return;
            }
            const DavXml::Multistatus m = DavXml::Parse(r.body);
            if (r.status != 207 || !m.ok || m.entries.empty()) {
                Fail(QStringLiteral("%1: %2 to PROPFIND")
                         .arg(m_options.calendar.toString(), r.StatusText()));
                return;
            }
            if (!m.entries[0].calendar) {
                Fail(QStringLiteral("%1 is not a calendar").arg(m_options.calendar.toString()));
                return;
            }
            // Later requests go where the redirects led.
            m_options.calendar = r.url;
            m_result.connected = true;
            m_syncTokens = m.entries[0].hasSyncToken || tokenKnown;
            List(false);
        });
}

void SyncRunner::MakeCalendar() {
    m_client->MkCalendar(m_options.calendar, DavXml::MkCalendar(m_options.displayName),
                         [this](const DavResponse& r) {
                             if (!r.ok()) {
                                 Fail(QStringLiteral("%1: the calendar could not be made: %2")
                                          .arg(m_options.calendar.toString(), r.StatusText()));
                                 return;
                             }
                             m_result.out << QStringLiteral("calendar: %1 (made)")
                                                 .arg(m_options.calendar.toString());
                             m_options.create = false;
                             Probe();
                         });
}

void SyncRunner::List(bool full) {
    if (!m_syncTokens) {
        ListWithPropfind();
        return;
    }
    const QString token = full ? QString() : m_state.Meta(QStringLiteral("token"));
    m_client->Report(
        m_options.calendar, 1, DavXml::SyncCollection(token), [this, token](const DavResponse& r) {
            const DavXml::Multistatus m = DavXml::Parse(r.body);
            if (r.status != 207 || !m.ok) {
                // A token the server no longer knows (403 or 409 as RFC 6578 says; some
                // servers answer otherwise) is answered with the full listing.
                if (!token.isEmpty() && r.status != 0 && r.status != 401) {
                    List(true);
                    return;
                }
                // A server that no longer answers sync-collection at all is listed the plain way.
                if (r.status != 0 && r.status != 401 && r.status != 207) {
                    ListWithPropfind();
                    return;
                }
                Fail(QStringLiteral("%1: %2 to the listing of its items")
                         .arg(m_options.calendar.toString(), r.StatusText()));
                return;
            }
            auto listing = std::make_shared<Listing>();
            listing->full = token.isEmpty();
            const QString self = DavXml::HrefKey(m_options.calendar, m_options.calendar.path());
            for (const DavXml::Entry& e : m.entries) {
                const QString key = DavXml::HrefKey(m_options.calendar, e.href);
                if (key == self)
                    continue;
                if (e.status == 404)
                    listing->gone.insert(key);
                else if (e.status / 100 == 2)
                    listing->etags[key] = e.etag;
            }
            m_newToken = m.syncToken;
            Fetch(listing);
        });
}

void SyncRunner::ListWithPropfind() {
    m_client->Propfind(
        m_options.calendar, 1, DavXml::PropfindEtags(), [this](const DavResponse& r) {
            const DavXml::Multistatus m = DavXml::Parse(r.body);
            if (r.status != 207 || !m.ok) {
                Fail(QStringLiteral("%1: %2 to the listing of its items")
                         .arg(m_options.calendar.toString(), r.StatusText()));
                return;
            }
            auto listing = std::make_shared<Listing>();
            listing->full = true;
            const QString self = DavXml::HrefKey(m_options.calendar, m_options.calendar.path());
            for (const DavXml::Entry& e : m.entries) {
                const QString key = DavXml::HrefKey(m_options.calendar, e.href);
                if (key == self || e.collection || e.status / 100 != 2)
                    continue;
                listing->etags[key] = e.etag;
            }
            m_newToken.clear();
            Fetch(listing);
        });
}

void SyncRunner::Fetch(std::shared_ptr<Listing> listing) {
    if (listing->next == 0 && listing->toFetch.isEmpty()) {
        const std::map<QString, StateItem> state = m_state.Items();
        for (const auto& [key, etag] : listing->etags) {
            const auto known = state.find(key);
            if (known == state.end() || known->second.pending || known->second.etag != etag ||
                etag.isEmpty())
                listing->toFetch << key;
        }
    }
    if (listing->next >= listing->toFetch.size()) {
        Plan(listing);
        return;
    }
    const QStringList batch = listing->toFetch.mid(listing->next, kMultigetBatch);
    listing->next += int(batch.size());
    QStringList hrefs;
    for (const QString& key : batch)
        hrefs << DavXml::ItemUrl(m_options.calendar, key).path(QUrl::FullyEncoded);
    m_client->Report(m_options.calendar, 1, DavXml::CalendarMultiget(hrefs),
                     [this, listing](const DavResponse& r) {
                         const DavXml::Multistatus m = DavXml::Parse(r.body);
                         if (r.status != 207 || !m.ok) {
                             Fail(QStringLiteral("%1: %2 to fetching its items")
                                      .arg(m_options.calendar.toString(), r.StatusText()));
                             return;
                         }
                         for (const DavXml::Entry& e : m.entries) {
                             const QString key = DavXml::HrefKey(m_options.calendar, e.href);
                             if (e.status == 404) {
                                 // Deleted between the listing and now.
                                 listing->etags.erase(key);
                                 listing->gone.insert(key);
                             } else if (e.status / 100 == 2) {
                                 listing->texts[key] = e.calendarData;
                                 listing->fetchedEtags[key] = e.etag;
                             }
                         }
                         Fetch(listing);
                     });
}

void SyncRunner::Plan(const std::shared_ptr<Listing>& listing) {
    m_book->DaysFor(m_options.from, m_options.to,
                    [this, listing, run = m_run](std::map<QDate, CYoteiDay> days) {
                        if (run == m_run)
                            PlanWith(listing, std::move(days));
                    });
}

void SyncRunner::PlanWith(const std::shared_ptr<Listing>& listing,
                          std::map<QDate, CYoteiDay> days) {
    SyncEngine::Input in;
    in.from = m_options.from;
    in.to = m_options.to;
    in.zone = m_options.zone;
    in.now = QDateTime::currentDateTimeUtc();
    in.days = std::move(days);
    in.state = m_state.Items();
    const QUrl calendar = m_options.calendar;
    in.newUid = [] { return SyncProperties::NewUid(); };
    in.hrefFor = [calendar](const QString& uid) {
        return DavXml::MemberKey(calendar, SyncProperties::ResourceName(uid));
    };
    auto add = [&](const QString& key, const QByteArray& etag, const QByteArray& text) {
        SyncEngine::ServerItem item;
        item.etag = etag;
        item.text = text;
        item.event =
            EventText::Read(text, m_options.from, m_options.to, m_options.zone, m_options.user);
        in.server.emplace(key, std::move(item));
    };
    for (const auto& [key, text] : listing->texts)
        add(key, listing->fetchedEtags[key], text);
    for (const auto& [key, item] : in.state) {
        if (listing->texts.count(key) || item.pending)
            continue;
        // An incremental listing names what changed since the token: an item it does not name
        // is as it was, unless it was made after the token, when it would have been named.
        const bool present = listing->full || item.newerThanToken ? listing->etags.count(key) > 0
                                                                  : !listing->gone.count(key);
        if (present)
            add(key, item.etag, item.base);
    }
    if (m_calendarMissing)
        in.server.clear();

    m_plan = SyncEngine::Make(in);
    m_result.out << m_plan.bookChanges << m_plan.serverChanges << m_plan.listed;
    m_result.err << m_plan.conflicts << m_plan.notSent << m_plan.problems;
    if (!m_plan.stop.isEmpty() && !m_options.force) {
        Fail(QStringLiteral("stopped, nothing changed: %1").arg(m_plan.stop));
        return;
    }
    if (m_options.dryRun) {
        Finish();
        return;
    }
    WriteBook();
}

void SyncRunner::WriteBook() {
    auto record = [this] {
        // Downloaded changes and the token in one transaction, once the book holds them: a
        // sync killed before this fetches them again and finds the book already agreeing.
        const bool ok = Record([this] {
            if (!m_state.Begin())
                return false;
            bool fine = m_state.SetMeta(QStringLiteral("calendar"), m_options.calendar.toString());
            for (const StateItem& item : m_plan.agreed)
                fine = fine && m_state.Put(item);
            for (const QString& href : m_plan.forgotten)
                fine = fine && m_state.Remove(href);
            if (!m_newToken.isEmpty() && m_result.waiting.isEmpty())
                fine = fine && m_state.SetMeta(QStringLiteral("token"), m_newToken) &&
                       m_state.ClearNewerThanToken();
            if (!fine || !m_state.Commit()) {
                m_state.Rollback();
                return false;
            }
            return true;
        });
        if (ok)
            Upload(0);
    };
    if (m_plan.days.empty()) {
        record();
        return;
    }
    m_book->Write(m_plan.days, [this, record, run = m_run](bool ok, const QString& problem) {
        if (run != m_run)
            return;
        if (!ok) {
            Fail(QStringLiteral("the book could not be written: %1").arg(problem));
            return;
        }
        if (const std::set<QDate> unsettled = m_book->Unsettled(); !unsettled.empty())
            HoldBack(unsettled);
        record();
    });
}

void SyncRunner::HoldBack(const std::set<QDate>& unsettled) {
    const auto touches = [&](const std::vector<DayEvents::Entry>& entries) {
        return std::any_of(entries.begin(), entries.end(),
                           [&](const DayEvents::Entry& e) { return unsettled.count(e.date) > 0; });
    };
    const std::map<QString, StateItem> known = m_state.Items();
    const auto knownTouches = [&](const QString& href) {
        const auto it = known.find(href);
        return it != known.end() && touches(it->second.entries);
    };
    std::erase_if(m_plan.agreed, [&](const StateItem& item) {
        return touches(item.entries) || knownTouches(item.href);
    });
    m_plan.forgotten.removeIf([&](const QString& href) { return knownTouches(href); });
    std::erase_if(m_plan.uploads, [&](const SyncEngine::Upload& upload) {
        return touches(upload.record.entries) || knownTouches(upload.record.href);
    });
    m_result.waiting = QList<QDate>(unsettled.begin(), unsettled.end());
}

void SyncRunner::Upload(std::size_t index) {
    if (index >= m_plan.uploads.size()) {
        Refetch();
        return;
    }
    SyncEngine::Upload& up = m_plan.uploads[index];
    const QUrl url = DavXml::ItemUrl(m_options.calendar, up.record.href);
    auto next = [this, index] { Upload(index + 1); };
    auto failed = [this, &up](const DavResponse& r) {
        m_result.err << QStringLiteral("failed: %1: %2").arg(up.what, r.StatusText());
    };
    // No answer at all: NoAnswer tells a server out of reach from one that dropped this request.
    auto lost = [this, index](const DavResponse& r) {
        if (r.status != 0)
            return false;
        NoAnswer(index, r);
        return true;
    };
    switch (up.kind) {
    case SyncEngine::Upload::Kind::create:
        // The new UID is in the state before the PUT: a sync killed after the server took it
        // finds it there and links it instead of sending it twice.
        up.record.newerThanToken = true;
        if (!Record([&] { return m_state.Put(up.record); }))
            return;
        m_client->Put(url, up.body, QByteArray(),
                      [this, &up, next, failed, lost](const DavResponse& r) {
                          if (lost(r))
                              return; // it may have arrived: it stays pending
                          if (r.ok()) {
                              up.record.pending = false;
                              up.record.etag = r.etag;
                              up.record.base = up.body;
                              if (!Record([&] { return m_state.Put(up.record); }))
                                  return;
                              m_uploaded.push_back(up.record.href);
                          } else if (r.status == 412) {
                              m_anotherRound = true;
                          } else {
                              failed(r);
                              // Refused: the book still holds it, and the next sync offers it
                              // again.
                              if (!Record([&] { return m_state.Remove(up.record.href); }))
                                  return;
                          }
                          next();
                      });
        return;
    case SyncEngine::Upload::Kind::update:
        m_client->Put(url, up.body, up.etag, [this, &up, next, failed, lost](const DavResponse& r) {
            if (lost(r))
                return;
            if (r.ok()) {
                up.record.etag = r.etag;
                up.record.base = up.body;
                up.record.pending = false;
                if (!Record([&] { return m_state.Put(up.record); }))
                    return;
                m_uploaded.push_back(up.record.href);
            } else if (r.status == 412) {
                m_anotherRound = true; // changed meanwhile: fetched, merged and tried again
            } else {
                failed(r);
            }
            next();
        });
        return;
    case SyncEngine::Upload::Kind::remove:
        m_client->Delete(url, up.etag, [this, &up, next, failed, lost](const DavResponse& r) {
            if (lost(r))
                return;
            if (r.ok() || r.status == 404) {
                if (!Record([&] { return m_state.Remove(up.record.href); }))
                    return;
            } else if (r.status == 412) {
                m_anotherRound = true;
            } else {
                failed(r);
            }
            next();
        });
        return;
    }
}

void SyncRunner::NoAnswer(std::size_t index, const DavResponse& failure) {
    // A server may close the connection on a request it refuses before it is all sent (a body
    // too large): if it still answers, only this item failed; if not, the rest would fail alike
    // and waits for the next sync. A new item stays pending: it may have arrived.
    m_client->Propfind(m_options.calendar, 0, DavXml::PropfindCollection(),
                       [this, index, failure](const DavResponse& probe) {
                           if (probe.status == 0) {
                               m_result.err
                                   << QStringLiteral("could not reach %1: %2; %3 changes "
                                                     "to the calendar wait for the next "
                                                     "sync")
                                          .arg(m_options.calendar.toString(), failure.failure)
                                          .arg(m_plan.uploads.size() - index);
                               Finish();
                               return;
                           }
                           m_result.err << QStringLiteral("failed: %1: %2")
                                               .arg(m_plan.uploads[index].what, failure.failure);
                           Upload(index + 1);
                       });
}

void SyncRunner::Refetch() {
    if (m_uploaded.empty()) {
        RoundDone();
        return;
    }
    // Servers rewrite what they are sent: their stored text is the base of the next patch.
    QStringList hrefs;
    const std::size_t count = std::min<std::size_t>(m_uploaded.size(), kMultigetBatch);
    for (std::size_t i = 0; i < count; ++i)
        hrefs << DavXml::ItemUrl(m_options.calendar, m_uploaded[i]).path(QUrl::FullyEncoded);
    m_uploaded.erase(m_uploaded.begin(), m_uploaded.begin() + qsizetype(count));
    m_client->Report(m_options.calendar, 1, DavXml::CalendarMultiget(hrefs),
                     [this](const DavResponse& r) {
                         const DavXml::Multistatus m = DavXml::Parse(r.body);
                         if (r.status == 207 && m.ok) {
                             std::map<QString, StateItem> items = m_state.Items();
                             for (const DavXml::Entry& e : m.entries) {
                                 const QString key = DavXml::HrefKey(m_options.calendar, e.href);
                                 const auto it = items.find(key);
                                 if (e.status / 100 != 2 || it == items.end())
                                     continue;
                                 it->second.etag = e.etag;
                                 it->second.base = e.calendarData;
                                 if (!Record([&] { return m_state.Put(it->second); }))
                                     return;
                             }
                         }
                         // Without the stored text the next sync fetches it: its ETag differs.
                         Refetch();
                     });
}

void SyncRunner::RoundDone() {
    if (m_anotherRound && m_round + 1 < kMostRounds) {
        ++m_round;
        m_anotherRound = false;
        m_calendarMissing = false;
        List(false);
        return;
    }
    if (m_anotherRound)
        m_result.err << QStringLiteral("the calendar kept changing during the sync; run it again");
    Finish();
}
