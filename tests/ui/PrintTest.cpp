// 印刷... in the running planner: the menu item and Ctrl+P open the print preview of the day on
// show (the month on the month sheet), the choices redraw it, and what it prints to a PDF is the
// book tool's PDF page for page.

#include "UiTestSupport.h"

#include "../tools/PdfTestSupport.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/MonthSheetView.h"
#include "view/PrintDlg.h"
#include "view/TavrinoView.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QToolBar>
#include <gtest/gtest.h>

namespace {

CYoteiDay& AddDay(CTavrinoDoc& book, const COleDateTime& date) {
    book.m_days.push_back(std::make_unique<CYoteiDay>());
    book.m_days.back()->m_dayDate = date;
    return *book.m_days.back();
}

class PrintTest : public PlannerAppTest {
protected:
    void SetUp() override {
        m_book = m_profile.File(QStringLiteral("book.dat"));
        {
            CTavrinoDoc book;
            CYoteiDay& monday = AddDay(book, Day(2019, 5, 13));
            monday.SetTime(0, QStringLiteral("10:00"));
            monday.SetPlan(0, QStringLiteral("月例会議"));
            monday.SetDetail(0, QStringLiteral("見積書を持参"));
            CYoteiDay& full = AddDay(book, Day(2019, 5, 15));
            full.SetHeading(QStringLiteral("忙しい日"));
            for (int r = 0; r < CYoteiDay::kRows; ++r) {
                full.SetTime(r, QStringLiteral("%1:00").arg(8 + r, 2, 10, QLatin1Char('0')));
                full.SetPlan(r, QStringLiteral("予定%1").arg(r + 1));
            }
            full.SetMemo(QStringLiteral("一日中ふさがっている"));
            AddDay(book, Day(2019, 5, 18)).SetPlan(0, QStringLiteral("土曜の買い物"));
            AddDay(book, Day(2019, 5, 21)).SetHeading(QStringLiteral("翌週の見出し"));
            ASSERT_TRUE(book.OnSaveDocument(m_book));
        }
        m_profile.Remember(m_book);
        ASSERT_NO_FATAL_FAILURE(StartApp());
        Frame()->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
        View()->m_datePicker->setFocus();
        View()->m_datePicker->setDate(QDate(2019, 5, 15));
    }

    CCommandBar* Bar() const { return Frame()->GetCommandBar(); }

    // Opens 印刷... by the menu and runs check on the dialog once its first preview is drawn;
    // check closes it.
    void WithPrintDialog(const std::function<void(CPrintDlg*)>& check, bool byKey = false) {
        bool seen = false;
        OnNextModal([&](QWidget* modal) {
            auto* dialog = qobject_cast<CPrintDlg*>(modal);
            ASSERT_NE(dialog, nullptr) << modal->metaObject()->className();
            seen = true;
            QTRY_VERIFY_WITH_TIMEOUT(dialog->PageCount() > 0, 5000);
            check(dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        if (byKey) {
            QTest::keyClick(List(), Qt::Key_P, Qt::ControlModifier);
        } else {
            ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("ファイル"), QStringLiteral("印刷...")}));
        }
        QTRY_VERIFY_WITH_TIMEOUT(seen, 5000);
    }

    QString m_book;
};

TEST_F(PrintTest, OpensOnTheDayOnShowAndRedrawsForEachChoice) {
    WithPrintDialog([&](CPrintDlg* dialog) {
        EXPECT_EQ(dialog->LayoutBox()->currentText(), QStringLiteral("日"));
        EXPECT_EQ(dialog->PaperBox()->currentData().toString(), QStringLiteral("a4"));
        EXPECT_EQ(dialog->FromEdit()->date(), QDate(2019, 5, 15));
        EXPECT_EQ(dialog->ToEdit()->date(), QDate(2019, 5, 15));
        EXPECT_FALSE(dialog->FacingBox()->isEnabled());
        EXPECT_EQ(dialog->Preview()->pageCount(), 1);
        if (const QString shot = ShotPath(QStringLiteral("print-day.png")); !shot.isEmpty())
            dialog->grab().save(shot);

        // 週 by the keyboard: the week of the 15th, Monday to Sunday, on one page.
        dialog->LayoutBox()->setFocus();
        QTest::keyClick(dialog->LayoutBox(), Qt::Key_Down);
        EXPECT_EQ(dialog->LayoutBox()->currentText(), QStringLiteral("週"));
        EXPECT_TRUE(dialog->FacingBox()->isEnabled());
        QTRY_COMPARE(dialog->Preview()->pageCount(), 1);
        // On two facing pages, and to the end of the next week: four pages.
        QTest::mouseClick(dialog->FacingBox(), Qt::LeftButton);
        QTRY_COMPARE(dialog->Preview()->pageCount(), 2);
        RetypeText(dialog->ToEdit(), QStringLiteral("2019/05/21"));
        QTest::keyClick(dialog->ToEdit(), Qt::Key_Tab);
        EXPECT_EQ(dialog->ToEdit()->date(), QDate(2019, 5, 21));
        QTRY_COMPARE(dialog->Preview()->pageCount(), 4);
        // The first day moved past the last takes the last with it.
        RetypeText(dialog->FromEdit(), QStringLiteral("2019/06/01"));
        QTest::keyClick(dialog->FromEdit(), Qt::Key_Tab);
        EXPECT_EQ(dialog->ToEdit()->date(), QDate(2019, 6, 1));
        QTRY_COMPARE(dialog->Preview()->pageCount(), 2);

        // A paper of another size is the printer's page.
        dialog->PaperBox()->setFocus();
        QTest::keyClick(dialog->PaperBox(), Qt::Key_End);
        EXPECT_EQ(dialog->PaperBox()->currentData().toString(), QStringLiteral("m5"));
        const QSizeF mm = dialog->printer()->pageLayout().fullRect(QPageLayout::Millimeter).size();
        EXPECT_NEAR(mm.width(), 62, 0.5);
        EXPECT_NEAR(mm.height(), 105, 0.5);
        if (const QString shot = ShotPath(QStringLiteral("print-week-m5.png")); !shot.isEmpty())
            dialog->grab().save(shot);
    });
}

// Ctrl+P from the list; on the month sheet the month is what prints first, and 印刷... is not
// among the commands the sheet greys.
TEST_F(PrintTest, CtrlPAndTheMonthSheet) {
    WithPrintDialog(
        [&](CPrintDlg* dialog) {
            EXPECT_EQ(dialog->LayoutBox()->currentText(), QStringLiteral("日"));
            EXPECT_EQ(dialog->FromEdit()->date(), QDate(2019, 5, 15));
        },
        true);

    ASSERT_TRUE(ClickMenu(Bar(), {QStringLiteral("表示"), QStringLiteral("月")}));
    ASSERT_TRUE(View()->IsMonthSheetShown());
    QTest::keyClick(View()->GetMonthSheet(), Qt::Key_Right);
    EXPECT_TRUE(Frame()->OnCmdMsg(ID_FILE_PRINT, false));
    bool seen = false;
    OnNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<CPrintDlg*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->LayoutBox()->currentText(), QStringLiteral("月"));
        EXPECT_EQ(dialog->FromEdit()->date(), QDate(2019, 5, 16));
        QTRY_COMPARE(dialog->Preview()->pageCount(), 1);
        if (const QString shot = ShotPath(QStringLiteral("print-month.png")); !shot.isEmpty())
            dialog->grab().save(shot);
        // The paper chosen stays for the next time.
        dialog->PaperBox()->setFocus();
        TypeText(dialog->PaperBox(), QStringLiteral("Bible"));
        dialog->reject();
    });
    QTest::keyClick(View()->GetMonthSheet(), Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(seen, 5000);
    EXPECT_TRUE(View()->IsMonthSheetShown());
    WithPrintDialog([&](CPrintDlg* dialog) {
        EXPECT_EQ(dialog->PaperBox()->currentData().toString(), QStringLiteral("bible"));
        EXPECT_EQ(dialog->LayoutBox()->currentText(), QStringLiteral("月"));
    });
}

// A printer that cannot be printed on (here a PDF in a folder that is not there) is named in a
// box; nothing is said to be printed.
TEST_F(PrintTest, APrinterThatFailsIsNamed) {
    const QString nowhere = m_profile.File(QStringLiteral("no/such/folder/book.pdf"));
    QStringList texts;
    WithPrintDialog([&](CPrintDlg* dialog) {
        dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog->printer()->setOutputFileName(nowhere);
        OnNextModal([&](QWidget* modal) {
            if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                texts << box->text();
                EXPECT_EQ(box->icon(), QMessageBox::Warning);
            }
            QTest::keyClick(modal, Qt::Key_Return);
        });
        dialog->Preview()->print();
        EXPECT_TRUE(dialog->PrintFailed());
    });
    ASSERT_EQ(texts.size(), 1);
    EXPECT_EQ(texts[0],
              QStringLiteral("%1 で印刷できませんでした。").arg(QDir::toNativeSeparators(nowhere)));
    EXPECT_FALSE(QFile::exists(nowhere));
}

// The week of the 15th and the next one, on B6 facing pages: the print preview's print button,
// the platform's print dialog to a PDF file, and the tool's PDF of the same choices, page for page.
TEST_F(PrintTest, PrintsToAPdfTheToolsPages) {
    const QString printed = m_profile.File(QStringLiteral("planner.pdf"));
    bool asked = false;
    WithPrintDialog([&](CPrintDlg* dialog) {
        dialog->LayoutBox()->setFocus();
        TypeText(dialog->LayoutBox(), QStringLiteral("週"));
        dialog->PaperBox()->setFocus();
        TypeText(dialog->PaperBox(), QStringLiteral("B6"));
        ASSERT_EQ(dialog->PaperBox()->currentData().toString(), QStringLiteral("b6"));
        QTest::mouseClick(dialog->FacingBox(), Qt::LeftButton);
        RetypeText(dialog->ToEdit(), QStringLiteral("2019/05/21"));
        QTest::keyClick(dialog->ToEdit(), Qt::Key_Tab);
        QTRY_COMPARE(dialog->Preview()->pageCount(), 4);

        // What the print dialog offers as the file: the user keeps it.
        dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
        dialog->printer()->setOutputFileName(printed);
        QToolBar* bar = dialog->findChild<QToolBar*>();
        ASSERT_NE(bar, nullptr);
        QAction* print = bar->actions().constLast();
        OnNextModal([&](QWidget* modal) {
            asked = true;
            auto* platform = qobject_cast<QPrintDialog*>(modal);
            ASSERT_NE(platform, nullptr) << modal->metaObject()->className();
            if (const QString shot = ShotPath(QStringLiteral("print-dialog.png")); !shot.isEmpty())
                platform->grab().save(shot);
            auto* buttons = platform->findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        QTest::mouseClick(bar->widgetForAction(print), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dialog->isVisible(), 10000);
    });
    ASSERT_TRUE(asked);
    ASSERT_TRUE(QFile::exists(printed));

    const QString written = m_profile.File(QStringLiteral("tool.pdf"));
    int status = -1;
    PdfTest::Run(QStringLiteral(TAVRINO_BOOK_EXE),
                 {QStringLiteral("print"), QStringLiteral("--layout"), QStringLiteral("week"),
                  QStringLiteral("--paper"), QStringLiteral("b6"), QStringLiteral("--facing"),
                  QStringLiteral("--from"), QStringLiteral("2019-05-15"), QStringLiteral("--to"),
                  QStringLiteral("2019-05-21"), m_book, written},
                 &status);
    ASSERT_EQ(status, 0);

    const PdfTest::Info planner = PdfTest::ReadInfo(printed);
    const PdfTest::Info tool = PdfTest::ReadInfo(written);
    EXPECT_EQ(planner.pages, 4);
    EXPECT_EQ(tool.pages, 4);
    EXPECT_EQ(planner.points, tool.points);
    const std::vector<QImage> ours = PdfTest::Render(printed, 40, 1, 4);
    const std::vector<QImage> theirs = PdfTest::Render(written, 40, 1, 4);
    ASSERT_EQ(ours.size(), 4u);
    ASSERT_EQ(theirs.size(), 4u);
    for (std::size_t page = 0; page < ours.size(); ++page)
        EXPECT_EQ(PdfTest::PixelsApart(ours[page], theirs[page], 0), 0) << "page " << page + 1;
    // The planner's file names its kanji as the tool's does: 月 is not the radical ⽉.
    EXPECT_TRUE(PdfTest::Text(printed, 1, 1).contains(QStringLiteral("月例会議")));
}

} // namespace
