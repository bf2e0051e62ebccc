#include "document/TavrinoDoc.h"

#include "document/BookLock.h"
#include "document/RecentFile.h"
#include "document/RecoveryJournal.h"
#include "platform/core/Archive.h"
#include "platform/core/Profile.h"
#include "platform/core/StringTable.h"

#include "platform/core/Exceptions.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <new>

namespace {
QString FullPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Whether the file at path, as current holds it, is no longer what was last read or written at
// identityPath.
bool ChangedSince(const QString& identityPath, const FileIdentity& identity, const QString& path,
                  const QByteArray* current) {
    // Only a file this document read or wrote can have been changed by someone else; one that
    // was deleted is simply written again.
    return !identityPath.isEmpty() && FullPath(path) == identityPath && current &&
           !identity.Matches(current);
}
} // namespace

struct CTavrinoDoc::BackgroundSave {
    int serial = 0;
    QString path;
    QThread* thread = nullptr;
    std::function<void(bool)> done;
    // Written by the thread, read here once it has ended.
    SafeWrite::Outcome outcome;
    bool changedOnDisk = false;
    QString serializeFailure;
    // For each calendar day changed since the save began: what the save writes for it.
    std::map<double, std::optional<CYoteiDay>> before;
    bool changed = false; // anything stored since it began, a day left as it was included
};

CTavrinoDoc::CTavrinoDoc() : m_nRowCount(0) {
    // With the row count still 0 the reset touches only the date and the day's own texts; the
    // rows are empty from construction.
    ResetCurrentDay(COleDateTime::GetCurrentTime());
    m_nRowCount = CYoteiDay::kRows;
}

CTavrinoDoc::~CTavrinoDoc() {
    if (m_background) {
        m_background->thread->wait();
        delete m_background->thread;
    }
}

void CTavrinoDoc::ResetCurrentDay(const COleDateTime& date) {
    m_currentDay.m_dayDate = date.DatePart();
    m_currentDay.SetHeading(QString());
    m_currentDay.SetHeadingDetail(QString());
    for (int r = 0; r < m_nRowCount; ++r) {
        m_currentDay.SetTime(r, QString());
        m_currentDay.SetPlan(r, QString());
        m_currentDay.SetDetail(r, QString());
    }
    m_currentDay.SetMemo(QString());
}

void CTavrinoDoc::SelectDay(const COleDateTime& date) {
    const COleDateTime day = date.DatePart();
    const CYoteiDay* stored = m_days.Find(day);
    if (!stored) {
        ResetCurrentDay(day);
        return;
    }
    m_currentDay.m_dayDate = stored->m_dayDate.DatePart();
    m_currentDay.SetHeading(stored->GetHeading());
    m_currentDay.SetHeadingDetail(stored->GetHeadingDetail());
    for (int r = 0; r < m_nRowCount; ++r) {
        m_currentDay.SetTime(r, stored->GetTime(r));
        m_currentDay.SetPlan(r, stored->GetPlan(r));
        m_currentDay.SetDetail(r, stored->GetDetail(r));
    }
    m_currentDay.SetMemo(stored->GetMemo());
}

bool CTavrinoDoc::DayHasText(const COleDateTime& date) const {
    const CYoteiDay* stored = m_days.Find(date);
    return stored && stored->HasText();
}

std::vector<COleDateTime> CTavrinoDoc::DaysWithText(const COleDateTime& first,
                                                    const COleDateTime& last) const {
    std::vector<COleDateTime> marked;
    COleDateTime previous(0.0, COleDateTime::invalid);
    // The positions come by day and, within a day, in list order: the first is the day's.
    for (const std::size_t pos : m_days.PositionsBetween(first, last)) {
        const COleDateTime day = m_days[pos]->m_dayDate.DatePart();
        if (day == previous)
            continue;
        previous = day;
        if (m_days[pos]->HasText())
            marked.push_back(day);
    }
    return marked;
}

void CTavrinoDoc::CommitCurrentDay() {
    auto day = std::make_unique<CYoteiDay>();
    day->m_dayDate = m_currentDay.m_dayDate.DatePart();
    day->SetHeading(m_currentDay.GetHeading());
    day->SetHeadingDetail(m_currentDay.GetHeadingDetail());
    for (int r = 0; r < m_nRowCount; ++r) {
        day->SetTime(r, m_currentDay.GetTime(r));
        day->SetPlan(r, m_currentDay.GetPlan(r));
        day->SetDetail(r, m_currentDay.GetDetail(r));
    }
    day->SetMemo(m_currentDay.GetMemo());
    Store(std::move(day));
}

void CTavrinoDoc::CommitDay(const CYoteiDay& day) {
    Store(std::make_unique<CYoteiDay>(day));
}

bool CTavrinoDoc::IsDayUnsaved(const COleDateTime& date) const {
    const COleDateTime day = date.DatePart();
    const auto saved = m_savedVersions.find(day.m_dt);
    if (day.m_status != COleDateTime::valid || saved == m_savedVersions.end())
        return false;
    return !CYoteiDay::SameTexts(m_days.Find(day), saved->second ? &*saved->second : nullptr);
}

const CYoteiDay* CTavrinoDoc::FileVersion(const COleDateTime& date) const {
    const COleDateTime day = date.DatePart();
    if (const auto saved = m_savedVersions.find(day.m_dt); saved != m_savedVersions.end())
        return saved->second ? &*saved->second : nullptr;
    return m_days.Find(day);
}

std::vector<COleDateTime> CTavrinoDoc::UnsavedDays() const {
    std::vector<COleDateTime> days;
    for (const auto& [count, version] : m_savedVersions) {
        const COleDateTime day(count);
        if (!CYoteiDay::SameTexts(m_days.Find(day), version ? &*version : nullptr))
            days.push_back(day);
    }
    return days;
}

void CTavrinoDoc::Store(std::unique_ptr<CYoteiDay> day) {
    const CYoteiDay& stored = *day;
    // The first change of a day since the file was read or saved keeps what the file holds.
    const COleDateTime date = day->m_dayDate.DatePart();
    if (date.m_status == COleDateTime::valid && !m_savedVersions.count(date.m_dt)) {
        const CYoteiDay* held = m_days.Find(date);
        m_savedVersions.emplace(date.m_dt, held ? std::optional<CYoteiDay>(*held) : std::nullopt);
    }
    if (m_background && date.m_status == COleDateTime::valid) {
        m_background->changed = true;
        if (!m_background->before.count(date.m_dt)) {
            const CYoteiDay* held = m_days.Find(date);
            m_background->before.emplace(date.m_dt,
                                         held ? std::optional<CYoteiDay>(*held) : std::nullopt);
        }
    }
    m_days.Commit(std::move(day));
    SetModifiedFlag(true);
    m_changesDeclined = false;
    if (m_pJournal)
        m_pJournal->RecordDay(stored, GetPathName(), m_identity);
}

void CTavrinoDoc::DeleteContents() {
    m_days.clear();
}

bool CTavrinoDoc::OnNewDocument() {
    BeforeFileWork();
    m_savedVersions.clear();
    m_identityPath.clear();
    m_identity = FileIdentity();
    m_bookLock.reset();
    if (!CDocument::OnNewDocument())
        return false;
    DiscardJournal();
    return true;
}

bool CTavrinoDoc::SaveModified() {
    const bool replaceable = CDocument::SaveModified();
    // Still modified after a yes means No was the answer.
    m_changesDeclined = replaceable && IsModified();
    return replaceable;
}

void CTavrinoDoc::DiscardJournal() {
    m_changesDeclined = false;
    if (m_pJournal)
        m_pJournal->Discard();
}

void CTavrinoDoc::OnFileRead(const QString& path, const QByteArray& bytes) {
    m_savedVersions.clear();
    m_identityPath = FullPath(path);
    m_identity = FileIdentity::OfBytes(path, bytes);
    // An empty file is an empty book that was never written as one; it is not remembered.
    if (!bytes.isEmpty())
        RememberFile(path);
    DiscardJournal();
    HoldBook(path, true);
}

void CTavrinoDoc::OnFileWritten(const QString& path, const FileIdentity& identity) {
    m_savedVersions.clear();
    m_identityPath = FullPath(path);
    m_identity = identity;
    // A book just saved is the one to reopen, or a first save would look lost at the next start.
    RememberFile(path);
    DiscardJournal();
    HoldBook(path, false);
    if (m_settling && m_settling->changed) {
        // A save in the background wrote the book as it was when it began: what changed since
        // is unsaved against that, and goes into the fresh journal again.
        m_savedVersions = std::move(m_settling->before);
        for (const auto& [count, version] : m_savedVersions) {
            const CYoteiDay* now = m_days.Find(COleDateTime(count));
            if (m_pJournal && now)
                m_pJournal->RecordDay(*now, GetPathName(), m_identity);
        }
    }
}

bool CTavrinoDoc::IsChangedOnDisk(const QString& path, const QByteArray* current) const {
    return ChangedSince(m_identityPath, m_identity, path, current);
}

void CTavrinoDoc::SaveInBackground(std::function<void(bool)> done) {
    BeforeFileWork();
    // The program saves on its own only a book that has its file.
    if (GetPathName().isEmpty()) {
        done(false);
        return;
    }
    auto save = std::make_unique<BackgroundSave>();
    save->serial = ++m_backgroundSerial;
    save->path = GetPathName();
    save->done = std::move(done);
    // The thread writes a copy of the book; the days are shared texts, so the copy is cheap.
    auto days = std::make_shared<DayList>();
    days->reserve(m_days.List().size());
    for (const auto& day : m_days.List())
        days->push_back(std::make_unique<CYoteiDay>(*day));
    BackgroundSave* out = save.get();
    save->thread = QThread::create([out, days, writer = MakeWriter(SaveKind::automatic),
                                    rowCount = m_nRowCount, identityPath = m_identityPath,
                                    identity = m_identity]() mutable {
        QByteArray bytes;
        try {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            CArchive ar(&buffer, QFileInfo(out->path).absoluteFilePath());
            BookFile::WriteDays(ar, rowCount, *days);
            ar.Flush();
        } catch (const CException& e) {
            out->serializeFailure = SaveLoadExceptionText(out->path, &e, FileOperation::save);
            return;
        } catch (const std::bad_alloc&) {
            const CMemoryException e;
            out->serializeFailure = SaveLoadExceptionText(out->path, &e, FileOperation::save);
            return;
        }
        days.reset();
        try {
            out->outcome = writer.Replace(out->path, bytes, [&](const QByteArray* current) {
                // No question can be asked from here: the usual save asks it afterwards.
                if (!ChangedSince(identityPath, identity, out->path, current))
                    return SafeWrite::Verdict::write;
                out->changedOnDisk = true;
                return SafeWrite::Verdict::keep;
            });
        } catch (const std::bad_alloc&) {
            out->outcome = SafeWrite::Outcome();
            out->outcome.failure = FileStatus::Failed(ENOMEM, out->path);
        }
    });
    connect(save->thread, &QThread::finished, this, [this, serial = save->serial] {
        if (m_background && m_background->serial == serial)
            SettleBackgroundSave();
    });
    m_background = std::move(save);
    m_background->thread->start();
}

void CTavrinoDoc::BeforeFileWork() {
    if (m_background)
        SettleBackgroundSave();
}

void CTavrinoDoc::SettleBackgroundSave() {
    const std::unique_ptr<BackgroundSave> save = std::move(m_background);
    save->thread->wait();
    delete save->thread;
    bool saved = false;
    if (!save->serializeFailure.isEmpty()) {
        if (CDocumentHost* host = GetHost())
            host->ShowPassiveMessage(save->serializeFailure);
        else
            ShowMessage(save->serializeFailure);
    } else if (save->outcome.Saved()) {
        // Nothing renames the book while it is saved in the background: each save and opening
        // settles this one first.
        m_settling = save.get();
        AfterSave(save->path, save->outcome, SaveKind::automatic);
        m_settling = nullptr;
        if (save->changed)
            SetModifiedFlag(true);
        saved = true;
    } else if (save->changedOnDisk) {
        // Another program changed the file: the usual save asks, unless the user changed the
        // book meanwhile; then their own save will.
        saved = !save->changed && DoFileSave(SaveKind::automatic);
    } else if (save->outcome.kind == SafeWrite::Outcome::failed) {
        ReportSaveFailure(save->path, save->outcome, SaveKind::automatic);
    }
    if (save->done)
        save->done(saved);
}

void CTavrinoDoc::HoldBook(const QString& path, bool tellWhenHeld) {
    CDocumentHost* host = GetHost();
    const QString dataFolder = host ? host->GetDataFolder() : QString();
    if (dataFolder.isEmpty()) {
        m_bookLock.reset();
        return;
    }
    if (!m_bookLock || m_bookLock->BookPath() != BookLock::CanonicalBookPath(path))
        m_bookLock = std::make_unique<BookLock>(dataFolder, path);
    if (!m_bookLock->TryLock() && tellWhenHeld)
        host->ShowNotice(LoadString(IDP_BOOK_IN_USE).arg(FullPath(path)));
}

void CTavrinoDoc::RememberFile(const QString& path) {
    if (CDocumentHost* host = GetHost(); host && host->GetProfile())
        host->GetProfile()->WriteProfileString(kRecentFileSection, kRecentFileEntry,
                                               FullPath(path));
}

void CTavrinoDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        BookFile::WriteDays(ar, m_nRowCount, m_days.List());
        return;
    }
    // Read into a fresh book and take it only when the whole file has been read, so that a
    // damaged file leaves the open book as it was.
    DayList fresh;
    BookFile::ReadDays(ar, m_nRowCount, fresh);
    DeleteContents();
    m_days = std::move(fresh);
}
