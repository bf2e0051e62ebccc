#include "app/TavrinoApp.h"

#include "app/AboutDlg.h"
#include "app/MainFrame.h"
#include "app/PlannerSync.h"
#include "app/SyncDlg.h"
#include "document/RecentFile.h"
#include "document/RecoveryFolder.h"
#include "document/RecoveryJournal.h"
#include "document/TavrinoDoc.h"
#include "platform/core/StringTable.h"
#include "platform/ui/FrameWnd.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/SingleDocTemplate.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>

CTavrinoApp::CTavrinoApp() {
    OnCommand(ID_APP_ABOUT, [this] { OnAppAbout(); });
    OnCommand(ID_TOOLS_SYNC, [this] { OnToolsSync(); });
}

CTavrinoApp::~CTavrinoApp() {
    // The document outlives this object's members; it must not write to a journal that is gone.
    if (CTavrinoDoc* doc = GetTavrinoDoc())
        doc->SetJournal(nullptr);
}

CTavrinoDoc* CTavrinoApp::GetTavrinoDoc() const {
    return static_cast<CTavrinoDoc*>(GetDocument());
}

bool CTavrinoApp::InitInstance() {
    // A font with Japanese glyphs, about the 9 points of the handheld's templates.
    QFont font(QStringLiteral("Noto Sans CJK JP"), 9);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    // The program speaks Japanese only: Qt's own buttons and dialogs must too, also under LANG=C.
    LoadQtTranslations(QStringLiteral("ja"));

    SetRegistryKey(QStringLiteral("VELKORAN"));
    const QString remembered = GetProfileString(kRecentFileSection, kRecentFileEntry, QString());

    // A failure to write the journal is shown once the keystroke that met it has been handled,
    // in a box that leaves the keys that follow to the memo.
    m_journal = std::make_unique<CRecoveryJournal>(
        RecoveryFolder::Path(GetDataFolder()),
        [this](const QString& text) {
            QMetaObject::invokeMethod(
                this, [this, text] { Notify(text); }, Qt::QueuedConnection);
        },
        GetFileSystem());
    connect(qApp, &QCoreApplication::aboutToQuit, this, &CTavrinoApp::OnAboutToQuit);
    m_sync = std::make_unique<CPlannerSync>(this);

    AddDocTemplate(new CSingleDocTemplate(
        IDR_MAINFRAME_RES,
        [this] {
            auto* doc = new CTavrinoDoc;
            doc->SetJournal(m_journal.get());
            m_sync->Attach(doc);
            return doc;
        },
        [] { return new CMainFrame; }, [] { return new CTavrinoView; }));

    // The command line is parsed, but the remembered file decides what start-up does.
    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!remembered.isEmpty()) {
        cmdInfo.m_nShellCommand = CCommandLineInfo::FileOpen;
        cmdInfo.m_strFileName = remembered;
    } else {
        cmdInfo.m_nShellCommand = CCommandLineInfo::FileNew;
    }

    if (!ProcessShellCommand(cmdInfo)) {
        if (cmdInfo.m_nShellCommand != CCommandLineInfo::FileOpen)
            return false;
        // The remembered file could not be read and its message has been shown. Start with an
        // empty book rather than failing at every start; the value stays, since the file may
        // come back (a removable card, a network folder).
        OnFileNew();
        if (!GetDocument())
            return false;
    }
    ShowMainWindow();
    // What the end of the last session could not say, such as where a book was saved.
    ShowKeptNotices();
    OfferRecovery();
    return true;
}

void CTavrinoApp::OfferRecovery() {
    for (RecoveryFolder::Offer& offer :
         RecoveryFolder::Offers(RecoveryFolder::Path(GetDataFolder()))) {
        const JournalReader::Contents& contents = offer.contents;
        const QString& book = contents.header.bookPath;
        QString text =
            LoadString(IDP_RECOVER_CHANGES)
                .arg(book.isEmpty() ? LoadString(AFX_IDS_UNTITLED) : QFileInfo(book).fileName());
        if (!book.isEmpty() &&
            contents.header.base.CompareWith(book) != FileIdentity::Change::unchanged)
            text += LoadString(IDP_RECOVER_FILE_CHANGED);
        if (AfxMessageBox(text, MessageButtons::YesNoDefaultYes, m_pMainWnd) != IDYES) {
            // Kept aside rather than destroyed: one stray key must not throw a day away.
            RecoveryFolder::Decline(offer);
            continue;
        }
        // A journal whose book the user chose not to leave is offered again at the next start,
        // and so is one whose days could not be journaled again here.
        if (Recover(contents))
            RecoveryFolder::Remove(offer);
    }
}

bool CTavrinoApp::Recover(const JournalReader::Contents& contents) {
    CTavrinoDoc* doc = GetTavrinoDoc();
    if (!doc)
        return false;
    const QString& book = contents.header.bookPath;
    const QString open = doc->GetPathName();
    // Days whose header is damaged have no book they can be trusted to belong to: like those of
    // a vanished book, they go onto a new untitled one.
    const bool sameBook =
        contents.hasHeader &&
        (book.isEmpty()
             ? open.isEmpty()
             : (!open.isEmpty() &&
                (QFileInfo(book).canonicalFilePath() == QFileInfo(open).canonicalFilePath() ||
                 QFileInfo(book).absoluteFilePath() == QFileInfo(open).absoluteFilePath())));
    if (!sameBook) {
        // The open book's own changes are settled once, here: saved, or given up.
        if (!doc->SaveModified())
            return false;
        doc->SetModifiedFlag(false);
        // A book that is gone or unreadable has shown its message; its days go onto an empty
        // untitled book.
        if (book.isEmpty() || !OpenDocumentFile(book))
            OnFileNew();
        doc = GetTavrinoDoc();
    }
    auto* view = m_pMainWnd ? qobject_cast<CTavrinoView*>(m_pMainWnd->GetActiveView()) : nullptr;
    const COleDateTime shown = doc->GetCurrentDay().m_dayDate;
    for (const CYoteiDay& day : contents.days)
        doc->CommitDay(day);
    doc->SelectDay(shown);
    if (view)
        view->ShowDay();
    // The old journal goes only once the days are on the disk in the new one: a power cut in
    // between must leave one of the two.
    return !m_journal || m_journal->Flush();
}

void CTavrinoApp::OnAboutToQuit() {
    CTavrinoDoc* doc = GetTavrinoDoc();
    if (m_journal && (!doc || !doc->IsModified() || doc->ChangesDeclined()))
        m_journal->Discard();
}

void CTavrinoApp::OnToolsSync() {
    CTavrinoDoc* doc = GetTavrinoDoc();
    CSyncDlg dialog(m_sync.get(), doc ? doc->GetPathName() : QString(), m_pMainWnd);
    dialog.exec();
}

void CTavrinoApp::OnAppAbout() {
    CAboutDlg aboutDlg;
    aboutDlg.DoModal();
}
