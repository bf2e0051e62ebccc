// Saving before the book is replaced or the window closes: the question on the desktop, the
// silent save on the handheld and at the end of the session, and what a failed save does.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/View.h"
#include "resources/Resource.h"

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>

namespace {

// A book file's plan for the date, read back by the core.
QString PlanOnDisk(const QString& path, const COleDateTime& date) {
    CTavrinoDoc doc;
    if (!doc.OnOpenDocument(path))
        return QStringLiteral("<unreadable>");
    return StoredPlan(&doc, date);
}

// What a message box looked like when it was answered.
struct SeenBox {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Answers the message boxes shown while it lives, in order, each by clicking the given button
// with the mouse; a box beyond the script is answered with its escape button.
class BoxScript {
public:
    explicit BoxScript(std::deque<QMessageBox::StandardButton> answers)
        : m_answers(std::move(answers)), m_watcher([this](QWidget* modal) { Answer(modal); }) {}

    std::vector<SeenBox> seen;

private:
    void Answer(QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box)
            return;
        SeenBox record;
        record.text = box->text();
        record.icon = box->icon();
        record.buttons = box->standardButtons();
        if (auto* def = box->defaultButton())
            record.defaultButton = box->standardButton(def);
        seen.push_back(record);
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        if (!m_answers.empty()) {
            answer = m_answers.front();
            m_answers.pop_front();
        }
        QAbstractButton* button = box->button(answer);
        if (!button)
            button = box->escapeButton();
        if (button)
            QTest::mouseClick(button, Qt::LeftButton);
        else
            box->reject();
    }

    std::deque<QMessageBox::StandardButton> m_answers;
    PopupWatcher m_watcher;
};

class AppSaveTest : public PlannerAppTest {
protected:
    void Start(PlatformKind kind = PlatformKind::Desktop) {
        StartApp(QStringList{QStringLiteral("tavrino")}, kind);
        frame = Frame();
        doc = Doc();
    }

    // Starts with book.dat (july 7: "保存済み") remembered and open.
    void StartWithBook(PlatformKind kind = PlatformKind::Desktop) {
        bookPath = m_profile.File(QStringLiteral("book.dat"));
        WriteBook(bookPath, july7, QStringLiteral("保存済み"));
        m_profile.Remember(bookPath);
        Start(kind);
        ASSERT_EQ(doc->GetPathName(), bookPath);
    }

    // An unsaved change on july 8.
    void Change() {
        doc->SelectDay(july8);
        doc->SetPlan(0, QStringLiteral("変更"));
        doc->CommitCurrentDay();
        ASSERT_TRUE(doc->IsModified());
    }

    void PressCtrlN() { QTest::keyClick(frame, Qt::Key_N, Qt::ControlModifier); }
    void ClickSave() {
        EXPECT_TRUE(ClickMenu(frame->GetCommandBar(),
                              {QStringLiteral("ファイル"), QStringLiteral("保存")}));
    }

    // Another planner saves the book over ours: july 7 becomes "他の計画".
    QByteArray OtherProgramWritesTheBook() {
        WriteBook(bookPath, july7, QStringLiteral("他の計画"));
        return ReadBytes(bookPath);
    }

    QString KeptBesideText(const QString& copy) const {
        return bookPath +
               QStringLiteral(" は他のプログラムによって変更されていたため、上書きせず"
                              "に ") +
               copy + QStringLiteral(" に保存しました。");
    }

    void ExpectNewBook() {
        EXPECT_TRUE(doc->GetDays().empty());
        EXPECT_TRUE(doc->GetPathName().isEmpty());
        EXPECT_FALSE(doc->IsModified());
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));
    }

    void ExpectUnchanged(const QString& title) {
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("変更"));
        EXPECT_EQ(frame->windowTitle(), title);
    }

    CMainFrame* frame = nullptr;
    CTavrinoDoc* doc = nullptr;
    QString bookPath;
    const COleDateTime july7 = Day(2009, 7, 7);
    const COleDateTime july8 = Day(2009, 7, 8);
};

TEST_F(AppSaveTest, QuestionForAnUntitledBookAndYesSavesThenStartsNew) {
    Start();
    Change();
    BoxScript boxes({QMessageBox::Yes});
    PressCtrlN();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("無題 への変更を保存しますか?"));
    EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(boxes.seen[0].defaultButton, QMessageBox::Yes);
    const QString saved = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    EXPECT_EQ(PlanOnDisk(saved, july8), QStringLiteral("変更"));
    EXPECT_EQ(m_profile.Remembered(), saved);
    ExpectNewBook();
}

TEST_F(AppSaveTest, QuestionNamesTheFileAndCtrlNFromTheMemoWorksToo) {
    StartWithBook();
    Change();
    BoxScript boxes({QMessageBox::Yes});
    auto* memo = frame->findChild<CFormView*>()->GetDlgItem(IDC_MEMO);
    ASSERT_NE(memo, nullptr);
    memo->setFocus();
    QTest::keyClick(memo, Qt::Key_N, Qt::ControlModifier);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, QStringLiteral("book.dat への変更を保存しますか?"));
    EXPECT_EQ(PlanOnDisk(bookPath, july8), QStringLiteral("変更"));
    ExpectNewBook();
}

TEST_F(AppSaveTest, NoDiscardsTheChange) {
    StartWithBook();
    Change();
    const QByteArray before = ReadBytes(bookPath);
    BoxScript boxes({QMessageBox::No});
    PressCtrlN();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(ReadBytes(bookPath), before);
    ExpectNewBook();
}

TEST_F(AppSaveTest, CancelKeepsEverything) {
    StartWithBook();
    Change();
    const QByteArray before = ReadBytes(bookPath);
    BoxScript boxes({QMessageBox::Cancel});
    PressCtrlN();
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(ReadBytes(bookPath), before);
    EXPECT_EQ(doc->GetPathName(), bookPath);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("保存済み"));
    ExpectUnchanged(QStringLiteral("book.dat - Tavrino"));
}

TEST_F(AppSaveTest, FailedSaveOfTheBooksPathCancelsTheReplacement) {
    StartWithBook();
    Change();
    // The file became a folder: writing to it fails.
    ASSERT_TRUE(QFile::remove(bookPath));
    ASSERT_TRUE(QDir().mkdir(bookPath));
    BoxScript boxes({QMessageBox::Yes, QMessageBox::Ok});
    PressCtrlN();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_EQ(boxes.seen[1].icon, QMessageBox::Warning);
    EXPECT_EQ(doc->GetPathName(), bookPath);
    ExpectUnchanged(QStringLiteral("book.dat - Tavrino"));
}

TEST_F(AppSaveTest, FailedSaveOfAnUntitledBookCancelsTheReplacement) {
    const QString plain = m_profile.File(QStringLiteral("plain"));
    {
        QFile file(plain);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    Start();
    m_app->SetDocumentsFolder(plain + QStringLiteral("/documents"));
    Change();
    BoxScript boxes({QMessageBox::Yes, QMessageBox::Ok});
    PressCtrlN();
    ASSERT_EQ(boxes.seen.size(), 2u);
    EXPECT_TRUE(doc->GetPathName().isEmpty());
    ExpectUnchanged(QStringLiteral("無題 - Tavrino"));
}

TEST_F(AppSaveTest, HandheldSavesWithoutAskingBeforeNewAndOnClose) {
    StartWithBook(PlatformKind::Handheld);
    Change();
    {
        BoxScript boxes({});
        PressCtrlN();
        EXPECT_TRUE(boxes.seen.empty());
    }
    EXPECT_EQ(PlanOnDisk(bookPath, july8), QStringLiteral("変更"));
    ExpectNewBook();

    // Closing the window: the book, now with a path of its own, is saved as well.
    Change();
    ASSERT_EQ(frame->OnCmdMsg(ID_FILE_SAVE, true), true);
    const QString saved = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    ASSERT_EQ(doc->GetPathName(), saved);
    doc->SelectDay(july7);
    doc->SetPlan(0, QStringLiteral("閉じる前"));
    doc->CommitCurrentDay();
    BoxScript boxes({});
    EXPECT_TRUE(frame->close());
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(PlanOnDisk(saved, july7), QStringLiteral("閉じる前"));
    EXPECT_EQ(m_profile.Remembered(), saved);
}

TEST_F(AppSaveTest, ClosingOnTheDesktopAsksAndCancelKeepsTheWindow) {
    StartWithBook();
    Change();
    {
        BoxScript boxes({QMessageBox::Cancel});
        EXPECT_FALSE(frame->close());
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].text, QStringLiteral("book.dat への変更を保存しますか?"));
    }
    EXPECT_TRUE(frame->isVisible());
    ExpectUnchanged(QStringLiteral("book.dat - Tavrino"));

    BoxScript boxes({QMessageBox::Yes});
    EXPECT_TRUE(frame->close());
    EXPECT_EQ(boxes.seen.size(), 1u);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(PlanOnDisk(bookPath, july8), QStringLiteral("変更"));
}

TEST_F(AppSaveTest, SessionEndSavesWithoutAsking) {
    StartWithBook();
    Change();
    BoxScript boxes({});
    m_app->OnSessionEnding();
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(PlanOnDisk(bookPath, july8), QStringLiteral("変更"));
}

TEST_F(AppSaveTest, SessionEndSavesAnUntitledBookAndTheTitleFollows) {
    Start();
    Change();
    BoxScript boxes({});
    m_app->OnSessionEnding();
    EXPECT_TRUE(boxes.seen.empty());
    const QString saved = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    EXPECT_EQ(PlanOnDisk(saved, july8), QStringLiteral("変更"));
    EXPECT_EQ(m_profile.Remembered(), saved);
    // The document tells the frame at once: no pass of the event loop is needed.
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題.dat - Tavrino"));
}

TEST_F(AppSaveTest, UnmodifiedBookIsReplacedAtOnce) {
    StartWithBook();
    BoxScript boxes({});
    PressCtrlN();
    EXPECT_TRUE(boxes.seen.empty());
    ExpectNewBook();
}

// Two planners on one book: a touch raises no question, another's save does, No keeps both the
// file and the unsaved change, Yes overwrites and the backup holds what was overwritten.
TEST_F(AppSaveTest, BookChangedByAnotherProgramIsOverwrittenOnlyAfterTheQuestion) {
    StartWithBook();
    Change();
    {
        QFile file(bookPath);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(3600),
                                     QFileDevice::FileModificationTime));
    }
    {
        BoxScript boxes({});
        ClickSave();
        EXPECT_TRUE(boxes.seen.empty());
    }
    EXPECT_FALSE(doc->IsModified());

    const QByteArray others = OtherProgramWritesTheBook();
    doc->SelectDay(july8);
    doc->SetPlan(0, QStringLiteral("上書き"));
    doc->CommitCurrentDay();
    {
        BoxScript boxes({QMessageBox::No});
        ClickSave();
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].text,
                  bookPath +
                      QStringLiteral(" は他のプログラムによって変更されています。上書きしますか?"));
        EXPECT_EQ(boxes.seen[0].buttons, QMessageBox::Yes | QMessageBox::No);
        EXPECT_EQ(boxes.seen[0].defaultButton, QMessageBox::No);
    }
    EXPECT_EQ(ReadBytes(bookPath), others);
    EXPECT_TRUE(doc->IsModified());

    {
        BoxScript boxes({QMessageBox::Yes});
        ClickSave();
        EXPECT_EQ(boxes.seen.size(), 1u);
    }
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(PlanOnDisk(bookPath, july8), QStringLiteral("上書き"));
    const QDir backups(m_app->GetDataFolder() + QStringLiteral("/backups"));
    const QStringList kept = backups.entryList(QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(ReadBytes(backups.filePath(kept[0])), others);
}

// Where no question may be asked, both versions are kept: the book goes beside the other's file
// under the next free name and carries it from then on, and the user is told at once.
TEST_F(AppSaveTest, HandheldKeepsBothVersionsWhenAnotherProgramChangedTheBook) {
    StartWithBook(PlatformKind::Handheld);
    Change();
    const QByteArray others = OtherProgramWritesTheBook();
    BoxScript boxes({QMessageBox::Ok});
    ClickSave();
    const QString copy = m_profile.File(QStringLiteral("book1.dat"));
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, KeptBesideText(copy));
    EXPECT_EQ(ReadBytes(bookPath), others);
    EXPECT_EQ(PlanOnDisk(copy, july8), QStringLiteral("変更"));
    EXPECT_EQ(doc->GetPathName(), copy);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(m_profile.Remembered(), copy);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("book1.dat - Tavrino"));
}

// At the end of a session nobody can be told: the next start says where the book went, once,
// and opens it.
TEST_F(AppSaveTest, SessionEndKeepsBothVersionsAndTheNextStartSaysSo) {
    StartWithBook();
    Change();
    const QByteArray others = OtherProgramWritesTheBook();
    {
        BoxScript boxes({});
        m_app->OnSessionEnding();
        EXPECT_TRUE(boxes.seen.empty());
    }
    const QString copy = m_profile.File(QStringLiteral("book1.dat"));
    EXPECT_EQ(ReadBytes(bookPath), others);
    EXPECT_EQ(PlanOnDisk(copy, july8), QStringLiteral("変更"));

    m_app.reset();
    {
        BoxScript boxes({QMessageBox::Ok});
        Start();
        ASSERT_EQ(boxes.seen.size(), 1u);
        EXPECT_EQ(boxes.seen[0].text, KeptBesideText(copy));
    }
    EXPECT_EQ(doc->GetPathName(), copy);
    EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("変更"));

    m_app.reset();
    BoxScript boxes({});
    Start();
    EXPECT_TRUE(boxes.seen.empty());
}

} // namespace
