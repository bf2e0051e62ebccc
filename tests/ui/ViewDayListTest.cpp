// The day list and the memo against the document's working day: showing, storing, the selected
// row, inserted rows and cell texts of any content.

#include "UiTestSupport.h"
#include "document/TavrinoDoc.h"
#include "platform/ui/Controls.h"
#include "view/TavrinoView.h"

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Form {
    CTavrinoDoc doc;
    CTavrinoView view;
    Form() {
        view.SetDocument(&doc);
        view.resize(480, 536);
        view.show();
        QCoreApplication::processEvents();
        view.OnInitialUpdate();
    }
    CListCtrl* List() const { return view.m_listCtrl; }
    CEdit* Memo() const { return view.m_memoEdit; }
};

COleDateTime Today() {
    return COleDateTime::GetCurrentTime().DatePart();
}

// Fills the document's working day with texts that name their place.
void FillWorkingDay(CTavrinoDoc& doc) {
    doc.SetHeading(QStringLiteral("見出し"));
    doc.SetHeadingDetail(QStringLiteral("見出しの詳細"));
    for (int row = 0; row < 10; ++row) {
        doc.SetTime(row, QStringLiteral("t%1").arg(row));
        doc.SetPlan(row, QStringLiteral("予定%1").arg(row));
        doc.SetDetail(row, QStringLiteral("詳細%1").arg(row));
    }
    doc.SetMemo(QStringLiteral("メモ\r\n二行目"));
}

void ClickItem(CListCtrl* list, int item, Qt::KeyboardModifiers modifiers = {}) {
    const QRect cell = list->visualRect(list->model()->index(item, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, cell.center());
}

} // namespace

TEST(ViewDayListTest, ShowDayPutsHeadingRowsAndMemoInTheirPlaces) {
    Form form;
    CListCtrl* list = form.List();
    FillWorkingDay(form.doc);
    form.view.SetCellText(0, 0, QStringLiteral("stale"));
    form.view.ShowDay();

    EXPECT_EQ(list->GetItemText(0, 0), QString());
    EXPECT_EQ(list->GetItemText(0, 1), QStringLiteral("見出し"));
    EXPECT_EQ(list->GetItemText(0, 2), QStringLiteral("見出しの詳細"));
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(list->GetItemText(row + 1, 0), QStringLiteral("t%1").arg(row));
        EXPECT_EQ(list->GetItemText(row + 1, 1), QStringLiteral("予定%1").arg(row));
        EXPECT_EQ(list->GetItemText(row + 1, 2), QStringLiteral("詳細%1").arg(row));
    }
    EXPECT_EQ(form.Memo()->GetWindowText(), QStringLiteral("メモ\r\n二行目"));
    EXPECT_EQ(form.view.m_memo, QStringLiteral("メモ\r\n二行目"));
    // Showing is not storing.
    EXPECT_TRUE(form.doc.GetDays().empty());
    EXPECT_FALSE(form.doc.IsModified());
}

TEST(ViewDayListTest, StoreDayCopiesEveryCellAndTheMemoAndCommits) {
    Form form;
    CListCtrl* list = form.List();
    form.view.SetCellText(0, 0, QStringLiteral("never stored"));
    form.view.SetCellText(0, 1, QStringLiteral("H"));
    form.view.SetCellText(0, 2, QStringLiteral("HD"));
    for (int row = 0; row < 10; ++row) {
        form.view.SetCellText(row + 1, 0, QStringLiteral("%1時").arg(row));
        form.view.SetCellText(row + 1, 1, QStringLiteral("p%1").arg(row));
        form.view.SetCellText(row + 1, 2, QStringLiteral("d%1").arg(row));
    }
    form.Memo()->SetWindowText(QStringLiteral("memo"));
    form.view.StoreDay();

    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    const CYoteiDay& stored = *form.doc.GetDays()[0];
    EXPECT_EQ(stored.m_dayDate, Today());
    EXPECT_EQ(stored.GetHeading(), QStringLiteral("H"));
    EXPECT_EQ(stored.GetHeadingDetail(), QStringLiteral("HD"));
    for (int row = 0; row < 10; ++row) {
        EXPECT_EQ(stored.GetTime(row), QStringLiteral("%1時").arg(row));
        EXPECT_EQ(stored.GetPlan(row), QStringLiteral("p%1").arg(row));
        EXPECT_EQ(stored.GetDetail(row), QStringLiteral("d%1").arg(row));
    }
    EXPECT_EQ(stored.GetMemo(), QStringLiteral("memo"));
    EXPECT_TRUE(form.doc.IsModified());
    // Storing leaves the list as it was, the heading row's first cell included.
    EXPECT_EQ(list->GetItemText(0, 0), QStringLiteral("never stored"));
}

TEST(ViewDayListTest, StoreDayOfAnEmptyDayStillMakesARecord) {
    Form form;
    form.view.StoreDay();
    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    CYoteiDay empty;
    empty.m_dayDate = Today();
    EXPECT_EQ(*form.doc.GetDays()[0], empty);
    EXPECT_TRUE(form.doc.IsModified());
    // Storing again replaces the record rather than adding one.
    form.view.StoreDay();
    EXPECT_EQ(form.doc.GetDays().size(), 1u);
}

TEST(ViewDayListTest, SelectedRowIsTheFirstSelectedItemOrTheCount) {
    Form form;
    CListCtrl* list = form.List();
    EXPECT_EQ(form.view.GetSelectedRow(), 11);
    ClickItem(list, 7);
    ClickItem(list, 3, Qt::ControlModifier);
    EXPECT_EQ(form.view.GetSelectedRow(), 3);
    ClickItem(list, 3, Qt::ControlModifier);
    EXPECT_EQ(form.view.GetSelectedRow(), 7);
    ClickItem(list, 0);
    EXPECT_EQ(form.view.GetSelectedRow(), 0);
    list->clearSelection();
    EXPECT_EQ(form.view.GetSelectedRow(), 11);
    // With an inserted row the count is 12.
    form.view.InsertRow(5);
    EXPECT_EQ(form.view.GetSelectedRow(), 12);
}

TEST(ViewDayListTest, InsertRowAddsAnEmptyItemAndSetCellTextFillsOneCell) {
    Form form;
    CListCtrl* list = form.List();
    for (int item = 0; item < 11; ++item)
        form.view.SetCellText(item, 1, QStringLiteral("i%1").arg(item));
    form.view.InsertRow(3);
    ASSERT_EQ(list->GetItemCount(), 12);
    for (int column = 0; column < 3; ++column)
        EXPECT_EQ(list->GetItemText(3, column), QString());
    EXPECT_EQ(list->GetItemText(2, 1), QStringLiteral("i2"));
    EXPECT_EQ(list->GetItemText(4, 1), QStringLiteral("i3"));
    EXPECT_EQ(list->GetItemText(11, 1), QStringLiteral("i10"));

    form.view.SetCellText(3, 2, QStringLiteral("新しい"));
    EXPECT_EQ(list->GetItemText(3, 2), QStringLiteral("新しい"));
    EXPECT_EQ(list->GetItemText(3, 1), QString());
    EXPECT_EQ(list->GetItemText(3, 0), QString());
}

TEST(ViewDayListTest, CellsAndMemoKeepAnyTextUnchangedAndDrawOnOneLine) {
    Form form;
    CListCtrl* list = form.List();
    const QString huge = QString(100000, QChar(0x3042));
    const QString awkward =
        QStringLiteral("a\r\nb\nc") + QChar(0xD800) + QStringLiteral("d") + QChar(0xDC00);
    const int rowHeight = list->rowHeight(1);

    form.view.SetCellText(1, 1, huge);
    form.view.SetCellText(1, 2, awkward);
    form.view.SetCellText(0, 1, awkward);
    form.Memo()->SetWindowText(awkward);
    form.view.StoreDay();
    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    const CYoteiDay& stored = *form.doc.GetDays()[0];
    EXPECT_EQ(stored.GetPlan(0), huge);
    EXPECT_EQ(stored.GetDetail(0), awkward);
    EXPECT_EQ(stored.GetHeading(), awkward);
    EXPECT_EQ(stored.GetMemo(), awkward);

    // Back through the document into the controls and out again.
    form.view.SetCellText(1, 1, QString());
    form.view.SetCellText(1, 2, QString());
    form.Memo()->SetWindowText(QString());
    form.doc.SelectDay(Today());
    form.view.ShowDay();
    EXPECT_EQ(list->GetItemText(1, 1), huge);
    EXPECT_EQ(list->GetItemText(1, 2), awkward);
    EXPECT_EQ(form.Memo()->GetWindowText(), awkward);

    // One line per cell: the row keeps its height and the drawn text has no line break.
    list->repaint();
    EXPECT_EQ(list->rowHeight(1), rowHeight);
    auto* delegate = qobject_cast<QStyledItemDelegate*>(list->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const QString drawn = delegate->displayText(awkward, QLocale());
    EXPECT_FALSE(drawn.contains(QLatin1Char('\n')));
    EXPECT_FALSE(drawn.contains(QLatin1Char('\r')));
}

// A detail with line breaks is drawn whole on its one line, a return mark for each break: the
// same pixels as a text that holds the marks themselves.
TEST(ViewDayListTest, LineBreaksAreDrawnAsReturnMarksWithTheWholeText) {
    Form form;
    CListCtrl* list = form.List();
    const QString mark(QChar(0x21B5));
    const QStringList broken = {
        QStringLiteral("朝会\r\n資料"),
        QStringLiteral("朝会\n資料"),
        QStringLiteral("朝会\r資料"),
        QStringLiteral("朝会") + QChar(QChar::LineSeparator) + QStringLiteral("資料"),
    };
    for (int i = 0; i < broken.size(); ++i)
        form.view.SetCellText(i + 1, 2, broken[i]);
    form.view.SetCellText(6, 2, QStringLiteral("朝会") + mark + QStringLiteral("資料"));
    form.view.SetCellText(7, 2, QStringLiteral("朝会\r\n\r\n資料"));
    form.view.SetCellText(8, 2, QStringLiteral("朝会") + mark + mark + QStringLiteral("資料"));
    list->clearSelection();
    list->setCurrentIndex(QModelIndex());
    QCoreApplication::processEvents();

    const QImage shown = list->viewport()->grab().toImage();
    const auto cell = [&](int item) {
        return shown.copy(list->visualRect(list->model()->index(item, 2)));
    };
    const QImage expected = cell(6);
    ASSERT_NE(expected, cell(9)) << "the marked text draws nothing";
    for (int i = 0; i < broken.size(); ++i)
        EXPECT_EQ(cell(i + 1), expected) << "break " << i << " is not drawn as one mark";
    EXPECT_EQ(cell(7), cell(8)) << "two breaks are two marks";
    // The data keeps its breaks.
    for (int i = 0; i < broken.size(); ++i)
        EXPECT_EQ(list->GetItemText(i + 1, 2), broken[i]);
    if (const QString shot = ShotPath(QStringLiteral("line-breaks.png")); !shot.isEmpty())
        list->grab().save(shot);
}

TEST(ViewDayListTest, ShowDayLeavesSelectionFocusAndScrollingAlone) {
    Form form;
    CListCtrl* list = form.List();
    CEdit* memo = form.Memo();
    form.view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.view));
    ClickItem(list, 2);
    ClickItem(list, 6, Qt::ControlModifier);
    ASSERT_EQ(QApplication::focusWidget(), list);
    const QModelIndex current = list->currentIndex();

    // Room to scroll in both: a wide column and a long memo.
    list->setColumnWidth(2, 3000);
    QCoreApplication::processEvents();
    list->horizontalScrollBar()->setValue(700);
    ASSERT_EQ(list->horizontalScrollBar()->value(), 700);
    QString memoText;
    for (int line = 0; line < 200; ++line)
        memoText += QStringLiteral("line %1\r\n").arg(line);
    form.doc.SetMemo(memoText);
    form.view.ShowDay();
    QCoreApplication::processEvents();
    memo->verticalScrollBar()->setValue(90);
    ASSERT_EQ(memo->verticalScrollBar()->value(), 90);

    FillWorkingDay(form.doc);
    form.doc.SetMemo(memoText);
    form.view.ShowDay();

    EXPECT_EQ(list->GetItemText(3, 2), QStringLiteral("詳細2"));
    EXPECT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(list->currentIndex(), current);
    for (int item = 0; item < 11; ++item)
        EXPECT_EQ(list->IsItemSelected(item), item == 2 || item == 6) << item;
    EXPECT_EQ(list->horizontalScrollBar()->value(), 700);
    EXPECT_EQ(memo->verticalScrollBar()->value(), 90);
}

TEST(ViewDayListTest, TheViewsOwnWritesAreNoUserChanges) {
    Form form;
    QSignalSpy dateChanges(form.view.m_datePicker, &CDateTimeCtrl::dateTimeChange);
    QSignalSpy memoChanges(form.Memo(), &CEdit::change);

    FillWorkingDay(form.doc);
    form.view.ShowDay();
    form.view.m_date.SetDateTime(2001, 2, 3, 0, 0, 0);
    form.view.m_memo = QStringLiteral("from the member");
    form.view.UpdateData(false);
    EXPECT_EQ(form.view.m_datePicker->date(), QDate(2001, 2, 3));
    EXPECT_EQ(form.Memo()->GetWindowText(), QStringLiteral("from the member"));
    form.view.resize(640, 376);
    QCoreApplication::processEvents();
    form.view.OnInitialUpdate();

    EXPECT_EQ(dateChanges.count(), 0);
    EXPECT_EQ(memoChanges.count(), 0);
    EXPECT_TRUE(form.doc.GetDays().empty());
    EXPECT_FALSE(form.doc.IsModified());
}

TEST(ViewDayListTest, PasteAndDeletionInTheMemoStoreTheDay) {
    Form form;
    CEdit* memo = form.Memo();
    form.view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.view));
    QApplication::clipboard()->setText(QStringLiteral("貼り付け\n二行"));
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClick(memo, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    EXPECT_EQ(form.doc.GetDays()[0]->GetMemo(), QStringLiteral("貼り付け\r\n二行"));
    EXPECT_TRUE(form.doc.IsModified());

    form.doc.SetModifiedFlag(false);
    QTest::keyClick(memo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(memo, Qt::Key_Delete);
    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    EXPECT_EQ(form.doc.GetDays()[0]->GetMemo(), QString());
    EXPECT_TRUE(form.doc.IsModified());
}

TEST(ViewDayListTest, EditingTheMemoKeepsTheOtherCharactersAsTheyWere) {
    Form form;
    CEdit* memo = form.Memo();
    form.view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form.view));
    // A no-break space and a lone line feed from a book written elsewhere.
    const QString stored =
        QStringLiteral("価格") + QChar(0x00A0) + QStringLiteral("100円\r\n次の行\n");
    form.doc.SetMemo(stored);
    form.view.ShowDay();
    QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClick(memo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(memo, '!');
    ASSERT_EQ(form.doc.GetDays().size(), 1u);
    // Once edited, every line break reads back as CR LF.
    EXPECT_EQ(form.doc.GetDays()[0]->GetMemo(),
              QStringLiteral("価格") + QChar(0x00A0) + QStringLiteral("100円\r\n次の行\r\n!"));
}
