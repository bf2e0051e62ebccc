// Start-up against a real profile in a temporary folder, and the open-path procedure.

#include "UiTestSupport.h"

#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"

#include <QAbstractButton>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace {

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

// Every modal window shown while it lives is recorded and closed (a box with its default
// answer for OK, Cancel for the save question).
class ModalRecorder {
public:
    QStringList texts;
    QList<QMessageBox::Icon> icons;
    QStringList captions;

private:
    void Record(QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            texts.append(box->text());
            icons.append(box->icon());
            captions.append(box->windowTitle());
        } else {
            texts.append(modal->objectName());
            icons.append(QMessageBox::NoIcon);
            captions.append(modal->windowTitle());
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    PopupWatcher m_watcher{[this](QWidget* modal) { Record(modal); }};
};

class AppStartupTest : public PlannerAppTest {
protected:
    void Start(const QStringList& extraArgs = {}) {
        StartApp(QStringList{QStringLiteral("tavrino")} + extraArgs);
        frame = Frame();
        doc = Doc();
    }

    void ExpectEmptyUntitledBook() {
        EXPECT_TRUE(doc->GetDays().empty());
        EXPECT_TRUE(doc->GetPathName().isEmpty());
        EXPECT_FALSE(doc->IsModified());
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));
        EXPECT_TRUE(frame->isVisible());
    }

    CMainFrame* frame = nullptr;
    CTavrinoDoc* doc = nullptr;
    const COleDateTime july7 = Day(2009, 7, 7);
};

TEST_F(AppStartupTest, FirstStartAndEmptyRememberedValueGiveAnEmptyUntitledBook) {
    {
        ModalRecorder boxes;
        Start();
        ExpectEmptyUntitledBook();
        EXPECT_TRUE(boxes.texts.isEmpty());
    }
    // Nothing read, nothing remembered.
    EXPECT_TRUE(m_profile.Remembered().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(m_profile.DocumentsFolder() + QStringLiteral("/無題.dat")));
}

TEST_F(AppStartupTest, EmptyRememberedValueIsLikeNone) {
    m_profile.Remember(QString());
    ModalRecorder boxes;
    Start();
    ExpectEmptyUntitledBook();
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(AppStartupTest, CommandLinePathIsIgnoredWithoutRememberedFile) {
    const QString given = m_profile.File(QStringLiteral("given.dat"));
    WriteBook(given, july7, QStringLiteral("引数"));
    ModalRecorder boxes;
    Start({given});
    ExpectEmptyUntitledBook();
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(AppStartupTest, RememberedFileIsReopenedAndWinsOverCommandLine) {
    const QString remembered = m_profile.File(QStringLiteral("予定帳.dat"));
    const QString given = m_profile.File(QStringLiteral("given.dat"));
    WriteBook(remembered, july7, QStringLiteral("会議"));
    WriteBook(given, july7, QStringLiteral("引数"));
    m_profile.Remember(remembered);

    ModalRecorder boxes;
    Start({QStringLiteral("-x"), given});
    EXPECT_TRUE(boxes.texts.isEmpty());
    ASSERT_EQ(doc->GetDays().size(), 1u);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("会議"));
    EXPECT_EQ(doc->GetPathName(), remembered);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("予定帳.dat - Tavrino"));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(m_profile.Remembered(), remembered);
}

TEST_F(AppStartupTest, MissingRememberedFileWarnsThenStartsEmptyAndKeepsTheValue) {
    const QString missing = m_profile.File(QStringLiteral("どこか.dat"));
    m_profile.Remember(missing);

    ModalRecorder boxes;
    Start();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], missing + QStringLiteral(" が見つかりませんでした。"));
    EXPECT_EQ(boxes.icons[0], QMessageBox::Warning);
    EXPECT_EQ(boxes.captions[0], QStringLiteral("Tavrino"));
    ExpectEmptyUntitledBook();
    EXPECT_EQ(m_profile.Remembered(), missing);
}

TEST_F(AppStartupTest, GarbageRememberedFileWarnsThenStartsEmpty) {
    const QString garbage = m_profile.File(QStringLiteral("garbage.dat"));
    WriteBytes(garbage, QByteArray("\x01\x00\x00\x00garbage", 11));
    m_profile.Remember(garbage);

    ModalRecorder boxes;
    Start();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], QStringLiteral("予期しないファイル形式です。"));
    EXPECT_EQ(boxes.icons[0], QMessageBox::Warning);
    ExpectEmptyUntitledBook();
    EXPECT_EQ(m_profile.Remembered(), garbage);
}

TEST_F(AppStartupTest, RememberedEmptyFileOpensAsEmptyBookWithoutRewritingTheProfile) {
    const QString empty = m_profile.File(QStringLiteral("empty.dat"));
    WriteBytes(empty, QByteArray());
    // Written in another spelling than the one the program would store, so a rewrite shows.
    const QString spelled = m_profile.Path() + QStringLiteral("/./empty.dat");
    m_profile.Remember(spelled);
    const QString conf = m_profile.ConfigFolder() + QStringLiteral("/VELKORAN/Tavrino.conf");
    const QByteArray confBefore = ReadBytes(conf);
    ASSERT_FALSE(confBefore.isEmpty());

    ModalRecorder boxes;
    Start();
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_TRUE(doc->GetDays().empty());
    EXPECT_EQ(doc->GetPathName(), empty);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("empty.dat - Tavrino"));
    EXPECT_EQ(m_profile.Remembered(), spelled);
    EXPECT_EQ(ReadBytes(conf), confBefore);
    EXPECT_EQ(QFileInfo(empty).size(), 0);
}

TEST_F(AppStartupTest, OpeningAnotherFileRemembersIt) {
    const QString a = m_profile.File(QStringLiteral("a.dat"));
    const QString b = m_profile.File(QStringLiteral("b.dat"));
    WriteBook(a, july7, QStringLiteral("A"));
    WriteBook(b, july7, QStringLiteral("B"));
    m_profile.Remember(a);
    Start();
    ASSERT_EQ(m_app->OpenDocumentFile(b), doc);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("B"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("b.dat - Tavrino"));
    EXPECT_EQ(m_profile.Remembered(), b);
}

// A file that cannot be read leaves the open book as it was, unsaved change included.
TEST_F(AppStartupTest, FailedOpenKeepsTheOpenBook) {
    const QString a = m_profile.File(QStringLiteral("a.dat"));
    const QString garbage = m_profile.File(QStringLiteral("garbage.dat"));
    WriteBook(a, july7, QStringLiteral("A"));
    WriteBytes(garbage, QByteArray("\x02\x00\x00\x00", 4));
    m_profile.Remember(a);
    Start();

    // Unmodified: nothing asked, the message, and the book stays.
    {
        ModalRecorder boxes;
        EXPECT_EQ(m_app->OpenDocumentFile(garbage), nullptr);
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], QStringLiteral("予期しないファイル形式です。"));
    }
    EXPECT_EQ(doc->GetPathName(), a);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("A"));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("a.dat - Tavrino"));
    EXPECT_EQ(m_profile.Remembered(), a);

    // Modified, the change not saved (No): the change is still there afterwards.
    const COleDateTime july8 = Day(2009, 7, 8);
    doc->SelectDay(july8);
    doc->SetPlan(0, QStringLiteral("未保存"));
    doc->CommitCurrentDay();
    bool asked = false;
    OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        asked = box->text() == QStringLiteral("a.dat への変更を保存しますか?");
        box->button(QMessageBox::No)->click();
        OnNextModal([](QWidget* next) {
            if (auto* box = qobject_cast<QMessageBox*>(next))
                box->button(QMessageBox::Ok)->click();
        });
    });
    EXPECT_EQ(m_app->OpenDocumentFile(garbage), nullptr);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("未保存"));
    EXPECT_EQ(doc->GetPathName(), a);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("a.dat - Tavrino"));
}

// The file already open, named again in any spelling, is neither read again nor saved, and an
// unsaved change survives.
TEST_F(AppStartupTest, ReopeningTheOpenFileKeepsTheDocument) {
    const QString path = m_profile.File(QStringLiteral("book.dat"));
    WriteBook(path, july7, QStringLiteral("古い"));
    m_profile.Remember(path);
    Start();

    const COleDateTime july8 = Day(2009, 7, 8);
    doc->SelectDay(july8);
    doc->SetPlan(0, QStringLiteral("未保存"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(doc->IsModified());
    WriteBook(path, july7, QStringLiteral("外で変更"));
    const QByteArray onDisk = ReadBytes(path);

    const QString savedCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(m_profile.Path()));
    ModalRecorder boxes;
    const QStringList spellings = {path, QLatin1Char('"') + path + QLatin1Char('"'),
                                   QStringLiteral("book.dat"), QStringLiteral("./book.dat")};
    for (const QString& spelling : spellings) {
        SCOPED_TRACE(spelling.toStdString());
        EXPECT_EQ(m_app->OpenDocumentFile(spelling), doc);
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("古い"));
        EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("未保存"));
        EXPECT_EQ(ReadBytes(path), onDisk);
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("book.dat - Tavrino"));
    }
    QDir::setCurrent(savedCwd);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(QLatin1Char('|')).toStdString();
}

// White space belongs to the name: a file whose name ends in a space is that file, quoted or not.
TEST_F(AppStartupTest, NameEndingInASpaceOpensThatFile) {
    const QString plain = m_profile.File(QStringLiteral("book.dat"));
    const QString spaced = plain + QLatin1Char(' ');
    WriteBook(plain, july7, QStringLiteral("無印"));
    WriteBook(spaced, july7, QStringLiteral("空白"));
    m_profile.Remember(spaced);
    Start();
    EXPECT_EQ(doc->GetPathName(), spaced);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("空白"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("book.dat  - Tavrino"));

    ASSERT_EQ(m_app->OpenDocumentFile(plain), doc);
    ASSERT_EQ(m_app->OpenDocumentFile(QLatin1Char('"') + spaced + QLatin1Char('"')), doc);
    EXPECT_EQ(doc->GetPathName(), spaced);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("空白"));
}

// A first-time user's book, saved once, is what the next start opens: a book saved is remembered
// as a book read is.
TEST_F(AppStartupTest, BookSavedNewIsRememberedAndReopened) {
    Start();
    doc->SelectDay(july7);
    doc->SetPlan(0, QStringLiteral("新規"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(frame->OnCmdMsg(57603, true));
    const QString saved = m_profile.DocumentsFolder() + QStringLiteral("/無題.dat");
    EXPECT_TRUE(QFileInfo(saved).isFile());
    EXPECT_EQ(doc->GetPathName(), saved);
    EXPECT_EQ(m_profile.Remembered(), saved);

    m_app.reset();
    ModalRecorder boxes;
    Start();
    EXPECT_EQ(doc->GetPathName(), saved);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("新規"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題.dat - Tavrino"));
    EXPECT_TRUE(boxes.texts.isEmpty());
}

} // namespace
