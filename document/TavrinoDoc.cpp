#include "document/TavrinoDoc.h"

#include "document/BookLock.h"
#include "document/RecentFile.h"
#include "document/RecoveryJournal.h"
#include "platform/core/Archive.h"
#include "platform/core/Profile.h"
#include "platform/core/StringTable.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

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
    for (const auto& stored : m_days) {
        if (stored->m_dayDate == day) {
            m_currentDay.m_dayDate = stored->m_dayDate.DatePart();
            m_currentDay.SetHeading(stored->GetHeading());
            m_currentDay.SetHeadingDetail(stored->GetHeadingDetail());
            for (int r = 0; r < m_nRowCount; ++r) {
                m_currentDay.SetTime(r, stored->GetTime(r));
                m_currentDay.SetPlan(r, stored->GetPlan(r));
                m_currentDay.SetDetail(r, stored->GetDetail(r));
            }
            m_currentDay.SetMemo(stored->GetMemo());
            return;
        }
    }
    ResetCurrentDay(day);
}

bool CTavrinoDoc::DayHasText(const COleDateTime& date) const {
    const COleDateTime day = date.DatePart();
    for (const auto& stored : m_days) {
        if (stored->m_dayDate == day)
            return stored->HasText();
    }
    return false;
}

std::vector<COleDateTime> CTavrinoDoc::DaysWithText(const COleDateTime& first,
                                                    const COleDateTime& last) const {
    const COleDateTime from = first.DatePart();
    const COleDateTime to = last.DatePart();
    std::vector<std::pair<COleDateTime, bool>> seen; // first record of each day in the range
    for (const auto& stored : m_days) {
        const COleDateTime& date = stored->m_dayDate;
        // The raw count is within a day of the calendar day, also before 1900 where the
        // fraction counts the other way: a cheap test keeps the exact one for the few near.
        if (date.m_status != COleDateTime::valid || date.m_dt < from.m_dt - 2 ||
            date.m_dt > to.m_dt + 2)
            continue;
        const COleDateTime day = date.DatePart();
        if (day < from || to < day)
            continue;
        const bool known = std::any_of(seen.begin(), seen.end(),
                                       [&](const auto& entry) { return entry.first == day; });
        if (!known)
            seen.emplace_back(day, stored->HasText());
    }
    std::vector<COleDateTime> marked;
    for (const auto& [day, hasText] : seen) {
        if (hasText)
            marked.push_back(day);
    }
    return marked;
}

CTavrinoDoc::Position CTavrinoDoc::FindDayPosition(const COleDateTime& date) const {
    for (std::size_t i = 0; i < m_days.size(); ++i) {
        if (date == m_days[i]->m_dayDate)
            return {Position::found, i};
        if (date < m_days[i]->m_dayDate)
            return {Position::insertBefore, i};
    }
    return {Position::append, m_days.size()};
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

    const CYoteiDay& stored = *day;
    const Position pos = FindDayPosition(day->m_dayDate);
    switch (pos.kind) {
    case Position::found:
        m_days[pos.index] = std::move(day);
        break;
    case Position::insertBefore:
        m_days.insert(m_days.begin() + std::ptrdiff_t(pos.index), std::move(day));
        break;
    case Position::append:
        m_days.push_back(std::move(day));
        break;
    }
    SetModifiedFlag(true);
    m_changesDeclined = false;
    if (m_pJournal)
        m_pJournal->RecordDay(stored, GetPathName(), m_identity);
}

void CTavrinoDoc::CommitDay(const CYoteiDay& day) {
    m_currentDay = day;
    CommitCurrentDay();
}

void CTavrinoDoc::DeleteContents() {
    m_days.clear();
}

bool CTavrinoDoc::OnNewDocument() {
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
    m_identityPath = FullPath(path);
    m_identity = FileIdentity::OfBytes(path, bytes);
    // An empty file is an empty book that was never written as one; it is not remembered.
    if (!bytes.isEmpty())
        RememberFile(path);
    DiscardJournal();
    HoldBook(path, true);
}

void CTavrinoDoc::OnFileWritten(const QString& path, const FileIdentity& identity) {
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
        BookFile::WriteDays(ar, m_nRowCount, m_days);
        return;
    }
    // Read into a fresh book and take it only when the whole file has been read, so that a
    // damaged file leaves the open book as it was.
    DayList fresh;
    BookFile::ReadDays(ar, m_nRowCount, fresh);
    DeleteContents();
    m_days = std::move(fresh);
}
