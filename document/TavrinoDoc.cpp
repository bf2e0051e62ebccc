#include "document/TavrinoDoc.h"

#include "document/BookLock.h"
#include "document/RecentFile.h"
#include "document/RecoveryJournal.h"
#include "platform/core/Archive.h"
#include "platform/core/Profile.h"
#include "platform/core/StringTable.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString FullPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}
} // namespace

CTavrinoDoc::CTavrinoDoc() : m_nRowCount(0) {
    // With the row count still 0 the reset touches only the date and the day's own texts; the
    // rows are empty from construction.
    ResetCurrentDay(COleDateTime::GetCurrentTime());
    m_nRowCount = CYoteiDay::kRows;
}

CTavrinoDoc::~CTavrinoDoc() = default;

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

namespace {
// The same texts: what a user, a phone and the file see of a day. A day not held is empty.
bool SameTexts(const CYoteiDay* a, const CYoteiDay* b) {
    static const CYoteiDay empty;
    const CYoteiDay& x = a ? *a : empty;
    const CYoteiDay& y = b ? *b : empty;
    return x.m_heading == y.m_heading && x.m_headingDetail == y.m_headingDetail &&
           x.m_times == y.m_times && x.m_plans == y.m_plans && x.m_details == y.m_details &&
           x.m_dayMemo == y.m_dayMemo;
}
} // namespace

bool CTavrinoDoc::IsDayUnsaved(const COleDateTime& date) const {
    const COleDateTime day = date.DatePart();
    const auto saved = m_savedVersions.find(day.m_dt);
    if (day.m_status != COleDateTime::valid || saved == m_savedVersions.end())
        return false;
    return !SameTexts(m_days.Find(day), saved->second ? &*saved->second : nullptr);
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
        if (!SameTexts(m_days.Find(day), version ? &*version : nullptr))
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
}

bool CTavrinoDoc::IsChangedOnDisk(const QString& path, const QByteArray* current) const {
    // Only a file this document read or wrote can have been changed by someone else; one that
    // was deleted is simply written again.
    return !m_identityPath.isEmpty() && FullPath(path) == m_identityPath && current &&
           !m_identity.Matches(current);
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
