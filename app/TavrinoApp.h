#pragma once

#include "platform/ui/WinApp.h"

#include <memory>

class CPlannerSync;
class CRecoveryJournal;
class CTavrinoDoc;
namespace JournalReader {
struct Contents;
}

// The planner's application object.
class CTavrinoApp : public CWinApp {
    Q_OBJECT
public:
    CTavrinoApp();
    ~CTavrinoApp() override;

    bool InitInstance() override;
    void OnAppAbout();
    // ツール › 同期...
    void OnToolsSync();

    // Offers, one at a time and oldest first, the unsaved changes that planners which did not
    // end normally left in the recovery folder.
    void OfferRecovery();
    CRecoveryJournal* GetJournal() const { return m_journal.get(); }
    CPlannerSync* GetSync() const { return m_sync.get(); }

private:
    // Puts the journal's days back into its book, opening that book first when another is open.
    // False when the user kept the open book (Cancel at the save question).
    bool Recover(const JournalReader::Contents& contents);
    // At a normal end the journal goes, unless the book's changes were neither saved nor given
    // up (a save at the end of the session failed).
    void OnAboutToQuit();
    CTavrinoDoc* GetTavrinoDoc() const;

    std::unique_ptr<CRecoveryJournal> m_journal;
    std::unique_ptr<CPlannerSync> m_sync;
};
