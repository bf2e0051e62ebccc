#pragma once

#include "document/BookFile.h"
#include "document/BookModel.h"
#include "document/YoteiDay.h"
#include "platform/core/Document.h"

#include "platform/core/FileIdentity.h"
#include <functional>
#include <map>
#include <optional>
#include <vector>

class BookLock;
class CRecoveryJournal;

// The schedule book (m_days, the book model) and the working day the view shows.
class CTavrinoDoc : public CDocument {
public:
    CTavrinoDoc();
    ~CTavrinoDoc() override;

    // Accessors and mutators of the working day. They neither store it nor touch the flag.
    QString GetHeading() const { return m_currentDay.GetHeading(); }
    void SetHeading(const QString& text) { m_currentDay.SetHeading(text); }
    QString GetHeadingDetail() const { return m_currentDay.GetHeadingDetail(); }
    void SetHeadingDetail(const QString& text) { m_currentDay.SetHeadingDetail(text); }
    QString GetTime(int row) const { return m_currentDay.GetTime(row); }
    void SetTime(int row, const QString& text) { m_currentDay.SetTime(row, text); }
    QString GetPlan(int row) const { return m_currentDay.GetPlan(row); }
    void SetPlan(int row, const QString& text) { m_currentDay.SetPlan(row, text); }
    QString GetDetail(int row) const { return m_currentDay.GetDetail(row); }
    void SetDetail(int row, const QString& text) { m_currentDay.SetDetail(row, text); }
    QString GetMemo() const { return m_currentDay.GetMemo(); }
    void SetMemo(const QString& text) { m_currentDay.SetMemo(text); }

    // Makes the working day a copy of the stored day of that calendar date, or an empty one.
    void SelectDay(const COleDateTime& date);
    // Stores a copy of the working day in date order and sets the modified flag; the recovery
    // journal, when there is one, has the day before this returns.
    void CommitCurrentDay();
    // Stores a copy of day as CommitCurrentDay stores the working day, flag and journal
    // included, and leaves the working day as it is: a recovered change put back, a day that
    // another calendar changed.
    void CommitDay(const CYoteiDay& day);
    // Makes the working day an empty day of the date's calendar day.
    void ResetCurrentDay(const COleDateTime& date);

    // Whether the day SelectDay would show for that calendar date (the first record of the
    // date) holds any text.
    bool DayHasText(const COleDateTime& date) const;
    // The calendar days from first to last, in date order, whose first record holds any text;
    // a record with a time of day counts for its calendar day here.
    std::vector<COleDateTime> DaysWithText(const COleDateTime& first,
                                           const COleDateTime& last) const;

    // Whether the day of that calendar date differs from the file as it was last read or saved:
    // judged by the texts, not by the modified flag (a cancelled command stores a day unchanged
    // and sets the flag all the same). A day the file did not hold counts as an empty one.
    bool IsDayUnsaved(const COleDateTime& date) const;
    // Every such day's date, in date order.
    std::vector<COleDateTime> UnsavedDays() const;
    // The day of that calendar date as the file holds it (as last read or saved); null where the
    // file holds no such day. Valid until the next commit.
    const CYoteiDay* FileVersion(const COleDateTime& date) const;

    // The program's own save (the days a sync brought in), written on another thread so that the
    // window goes on while the disk works. The file gets the book as it is now, without a new
    // backup; done(saved) runs on this thread once the file holds it, or once the failure has
    // been told without taking the keys. Days changed meanwhile stay unsaved and in the journal.
    // A file another program changed is left to the usual save, which asks, when nothing was
    // changed meanwhile; otherwise to the user's next save. Every other save, opening or
    // replacing of the book waits for it first.
    void SaveInBackground(std::function<void(bool saved)> done);
    bool IsSavingInBackground() const { return m_background != nullptr; }

    // An empty list needs no answer of its own: its new record is appended.
    using Position = CBookModel::Position;
    Position FindDayPosition(const COleDateTime& date) const { return m_days.FindPosition(date); }

    // The journal that keeps every commit until the book is saved or replaced; none for the
    // book tool. The document does not own it.
    void SetJournal(CRecoveryJournal* journal) { m_pJournal = journal; }
    CRecoveryJournal* GetJournal() const { return m_pJournal; }
    // True when the user answered No to the save question and nothing was stored since: the
    // changes were given up, and so is their journal when the program ends.
    bool ChangesDeclined() const { return m_changesDeclined; }

    // Empties the book: opening a file replaces it and a new document starts empty.
    void DeleteContents() override;
    bool OnNewDocument() override;
    bool SaveModified() override;
    // Loading reads into a fresh list and takes it only when the whole file was read.
    void Serialize(CArchive& ar) override;

    const DayList& GetDays() const { return m_days.List(); }
    const CYoteiDay& GetCurrentDay() const { return m_currentDay; }
    // The book file as it was when this document last read or wrote it.
    const QString& GetFileIdentityPath() const { return m_identityPath; }
    const FileIdentity& GetFileIdentity() const { return m_identity; }

    int m_nRowCount;
    CBookModel m_days;
    CYoteiDay m_currentDay;

protected:
    // Where the book meets its file: each read and each save remembers the file's identity, and
    // the file as the one to reopen at the next start; the journal of the changes before it ends.
    void OnFileRead(const QString& path, const QByteArray& bytes) override;
    void OnFileWritten(const QString& path, const FileIdentity& identity) override;
    bool IsChangedOnDisk(const QString& path, const QByteArray* current) const override;
    void BeforeFileWork() override;

private:
    struct BackgroundSave;
    // Waits for the save in the background, if any, and takes its outcome in.
    void SettleBackgroundSave();
    void Store(std::unique_ptr<CYoteiDay> day);
    void RememberFile(const QString& path);
    void DiscardJournal();
    // Holds the book's lock while it is open here, so that the book tool leaves it alone; tells
    // the user when another planner holds it already.
    void HoldBook(const QString& path, bool tellWhenHeld);

    QString m_identityPath;
    FileIdentity m_identity;
    CRecoveryJournal* m_pJournal = nullptr;
    bool m_changesDeclined = false;
    std::unique_ptr<BookLock> m_bookLock;
    // For each calendar day committed since the book was last read or saved (by its day count):
    // what the file holds for it, or nothing where it holds no such day.
    std::map<double, std::optional<CYoteiDay>> m_savedVersions;
    std::unique_ptr<BackgroundSave> m_background;
    int m_backgroundSerial = 0;
    // While a background save is settled: its record of the days changed since it began.
    BackgroundSave* m_settling = nullptr;
};
