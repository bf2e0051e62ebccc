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
#include <QTimer>
#include <gtest/gtest.h>

namespace {

COleDateTime Day(int year, int month, int day) {
    COleDateTime date;
    date.SetDateTime(year, month, day, 0, 0, 0);
    return date;
}

// A book with one day whose first plan is the given text, written by the core.
void WriteBook(const QString& path, const COleDateTime& date, const QString& plan) {
    CTavrinoDoc doc;
    doc.SelectDay(date);
    doc.SetPlan(0, plan);
    doc.CommitCurrentDay();
    ASSERT_TRUE(doc.OnSaveDocument(path)) << path.toStdString();
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The plan of row 0 stored for the date, or a marker when the day is not in the book.
QString StoredPlan(CTavrinoDoc* doc, const COleDateTime& date) {
    for (const auto& day : doc->GetDays()) {
        if (day->m_dayDate.DatePart() == date.DatePart())
            return day->GetPlan(0);
    }
    return QStringLiteral("<no day>");
}

// Every modal window shown while it lives is recorded and closed (a box with its default
// answer for OK, Cancel for the save question).
class ModalRecorder {
public:
    ModalRecorder() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isVisible())
                return;
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
        });
        m_timer.start();
    }

    QStringList texts;
    QList<QMessageBox::Icon> icons;
    QStringList captions;

private:
    QTimer m_timer;
};

class AppStartupTest : public ::testing::Test {
protected:
    void Start(const QStringList& extraArgs = {}) {
        app = std::make_unique<CTavrinoApp>();
        app->SetDocumentsFolder(folder.DocumentsFolder());
        app->SetArguments(QStringList{QStringLiteral("tavrino")} + extraArgs);
        ASSERT_TRUE(app->InitInstance());
        frame = qobject_cast<CMainFrame*>(app->m_pMainWnd);
        doc = static_cast<CTavrinoDoc*>(app->GetDocument());
        ASSERT_NE(frame, nullptr);
        ASSERT_NE(doc, nullptr);
    }

    void ExpectEmptyUntitledBook() {
        EXPECT_TRUE(doc->GetDays().empty());
        EXPECT_TRUE(doc->GetPathName().isEmpty());
        EXPECT_FALSE(doc->IsModified());
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("無題 - Tavrino"));
        EXPECT_TRUE(frame->isVisible());
    }

    TestProfileFolder folder;
    std::unique_ptr<CTavrinoApp> app;
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
    EXPECT_TRUE(folder.Remembered().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(folder.DocumentsFolder() + QStringLiteral("/無題.dat")));
}

TEST_F(AppStartupTest, EmptyRememberedValueIsLikeNone) {
    folder.Remember(QString());
    ModalRecorder boxes;
    Start();
    ExpectEmptyUntitledBook();
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(AppStartupTest, CommandLinePathIsIgnoredWithoutRememberedFile) {
    const QString given = folder.File(QStringLiteral("given.dat"));
    WriteBook(given, july7, QStringLiteral("引数"));
    ModalRecorder boxes;
    Start({given});
    ExpectEmptyUntitledBook();
    EXPECT_TRUE(boxes.texts.isEmpty());
}

TEST_F(AppStartupTest, RememberedFileIsReopenedAndWinsOverCommandLine) {
    const QString remembered = folder.File(QStringLiteral("予定帳.dat"));
    const QString given = folder.File(QStringLiteral("given.dat"));
    WriteBook(remembered, july7, QStringLiteral("会議"));
    WriteBook(given, july7, QStringLiteral("引数"));
    folder.Remember(remembered);

    ModalRecorder boxes;
    Start({QStringLiteral("-x"), given});
    EXPECT_TRUE(boxes.texts.isEmpty());
    ASSERT_EQ(doc->GetDays().size(), 1u);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("会議"));
    EXPECT_EQ(doc->GetPathName(), remembered);
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("予定帳.dat - Tavrino"));
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(folder.Remembered(), remembered);
}

TEST_F(AppStartupTest, MissingRememberedFileWarnsThenStartsEmptyAndKeepsTheValue) {
    const QString missing = folder.File(QStringLiteral("どこか.dat"));
    folder.Remember(missing);

    ModalRecorder boxes;
    Start();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], missing + QStringLiteral(" が見つかりませんでした。"));
    EXPECT_EQ(boxes.icons[0], QMessageBox::Warning);
    EXPECT_EQ(boxes.captions[0], QStringLiteral("Tavrino"));
    ExpectEmptyUntitledBook();
    EXPECT_EQ(folder.Remembered(), missing);
}

TEST_F(AppStartupTest, GarbageRememberedFileWarnsThenStartsEmpty) {
    const QString garbage = folder.File(QStringLiteral("garbage.dat"));
    WriteBytes(garbage, QByteArray("\x01\x00\x00\x00garbage", 11));
    folder.Remember(garbage);

    ModalRecorder boxes;
    Start();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], QStringLiteral("予期しないファイル形式です。"));
    EXPECT_EQ(boxes.icons[0], QMessageBox::Warning);
    ExpectEmptyUntitledBook();
    EXPECT_EQ(folder.Remembered(), garbage);
}

TEST_F(AppStartupTest, RememberedEmptyFileOpensAsEmptyBookWithoutRewritingTheProfile) {
    const QString empty = folder.File(QStringLiteral("empty.dat"));
    WriteBytes(empty, QByteArray());
    // Written in another spelling than the one the program would store, so a rewrite shows.
    const QString spelled = folder.Path() + QStringLiteral("/./empty.dat");
    folder.Remember(spelled);
    const QString conf = folder.ConfigFolder() + QStringLiteral("/VELKORAN/Tavrino.conf");
    const QByteArray confBefore = ReadBytes(conf);
    ASSERT_FALSE(confBefore.isEmpty());

    ModalRecorder boxes;
    Start();
    EXPECT_TRUE(boxes.texts.isEmpty());
    EXPECT_TRUE(doc->GetDays().empty());
    EXPECT_EQ(doc->GetPathName(), empty);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("empty.dat - Tavrino"));
    EXPECT_EQ(folder.Remembered(), spelled);
    EXPECT_EQ(ReadBytes(conf), confBefore);
    EXPECT_EQ(QFileInfo(empty).size(), 0);
}

TEST_F(AppStartupTest, OpeningAnotherFileRemembersIt) {
    const QString a = folder.File(QStringLiteral("a.dat"));
    const QString b = folder.File(QStringLiteral("b.dat"));
    WriteBook(a, july7, QStringLiteral("A"));
    WriteBook(b, july7, QStringLiteral("B"));
    folder.Remember(a);
    Start();
    ASSERT_EQ(app->OpenDocumentFile(b), doc);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("B"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("b.dat - Tavrino"));
    EXPECT_EQ(folder.Remembered(), b);
}

// A file that cannot be read leaves the open book as it was, unsaved change included.
TEST_F(AppStartupTest, FailedOpenKeepsTheOpenBook) {
    const QString a = folder.File(QStringLiteral("a.dat"));
    const QString garbage = folder.File(QStringLiteral("garbage.dat"));
    WriteBook(a, july7, QStringLiteral("A"));
    WriteBytes(garbage, QByteArray("\x02\x00\x00\x00", 4));
    folder.Remember(a);
    Start();

    // Unmodified: nothing asked, the message, and the book stays.
    {
        ModalRecorder boxes;
        EXPECT_EQ(app->OpenDocumentFile(garbage), nullptr);
        ASSERT_EQ(boxes.texts.size(), 1);
        EXPECT_EQ(boxes.texts[0], QStringLiteral("予期しないファイル形式です。"));
    }
    EXPECT_EQ(doc->GetPathName(), a);
    EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("A"));
    EXPECT_FALSE(doc->IsModified());
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("a.dat - Tavrino"));
    EXPECT_EQ(folder.Remembered(), a);

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
    EXPECT_EQ(app->OpenDocumentFile(garbage), nullptr);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("未保存"));
    EXPECT_EQ(doc->GetPathName(), a);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("a.dat - Tavrino"));
}

// The file already open, named again in any spelling, is neither read again nor saved, and an
// unsaved change survives.
TEST_F(AppStartupTest, ReopeningTheOpenFileKeepsTheDocument) {
    const QString path = folder.File(QStringLiteral("book.dat"));
    WriteBook(path, july7, QStringLiteral("古い"));
    folder.Remember(path);
    Start();

    const COleDateTime july8 = Day(2009, 7, 8);
    doc->SelectDay(july8);
    doc->SetPlan(0, QStringLiteral("未保存"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(doc->IsModified());
    WriteBook(path, july7, QStringLiteral("外で変更"));
    const QByteArray onDisk = ReadBytes(path);

    const QString savedCwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.Path()));
    ModalRecorder boxes;
    const QStringList spellings = {path, QLatin1Char('"') + path + QLatin1Char('"'),
                                   QStringLiteral("book.dat"), QStringLiteral("./book.dat")};
    for (const QString& spelling : spellings) {
        SCOPED_TRACE(spelling.toStdString());
        EXPECT_EQ(app->OpenDocumentFile(spelling), doc);
        EXPECT_TRUE(doc->IsModified());
        EXPECT_EQ(StoredPlan(doc, july7), QStringLiteral("古い"));
        EXPECT_EQ(StoredPlan(doc, july8), QStringLiteral("未保存"));
        EXPECT_EQ(ReadBytes(path), onDisk);
        EXPECT_EQ(frame->windowTitle(), QStringLiteral("book.dat - Tavrino"));
    }
    QDir::setCurrent(savedCwd);
    EXPECT_TRUE(boxes.texts.isEmpty()) << boxes.texts.join(QLatin1Char('|')).toStdString();
}

TEST_F(AppStartupTest, BookSavedNewIsNotRemembered) {
    Start();
    doc->SelectDay(july7);
    doc->SetPlan(0, QStringLiteral("新規"));
    doc->CommitCurrentDay();
    ASSERT_TRUE(frame->OnCmdMsg(57603, true));
    const QString saved = folder.DocumentsFolder() + QStringLiteral("/無題.dat");
    EXPECT_TRUE(QFileInfo(saved).isFile());
    EXPECT_EQ(doc->GetPathName(), saved);
    EXPECT_TRUE(folder.Remembered().isEmpty());

    app.reset();
    ModalRecorder boxes;
    Start();
    ExpectEmptyUntitledBook();
    EXPECT_TRUE(boxes.texts.isEmpty());
}

} // namespace
