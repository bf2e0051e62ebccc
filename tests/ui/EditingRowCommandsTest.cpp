// The row commands on the running application: edit, insert and delete reached through the
// command routing, the command bar, Enter and double clicks, answered in the real entry dialog.

#include "UiTestSupport.h"
#include "app/MainFrame.h"
#include "app/TavrinoApp.h"
#include "document/TavrinoDoc.h"
#include "editing/YoteiIns.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"
#include "view/TavrinoView.h"

#include <QDialog>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

struct Texts {
    QString time, plan, detail;
    bool operator==(const Texts&) const = default;
};

void PrintTo(const Texts& t, std::ostream* os) {
    *os << "{" << t.time.toStdString() << "|" << t.plan.toStdString() << "|"
        << t.detail.toStdString() << "}";
}

// What the entry dialog showed when it opened, and where.
struct Seen {
    Texts texts;
    QRect geometry;
    bool focusInPlan = false;
    bool isEntryDialog = false;
    bool timeEnabled = false;
};

// Reads the dialog, types the answer into the three fields and closes with OK or キャンセル.
std::function<void(QWidget*)> Answer(Seen& seen, std::optional<Texts> typed, bool ok) {
    return [&seen, typed, ok](QWidget* modal) {
        auto* dialog = qobject_cast<CYoteiIns*>(modal);
        seen.isEntryDialog = dialog != nullptr;
        if (!dialog) {
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
            return;
        }
        auto* time = qobject_cast<CLineEdit*>(dialog->GetDlgItem(IDC_TIME));
        auto* plan = qobject_cast<CLineEdit*>(dialog->GetDlgItem(IDC_PLAN));
        auto* detail = qobject_cast<CEdit*>(dialog->GetDlgItem(IDC_DETAIL));
        seen.texts = {time->text(), plan->text(), detail->toPlainText()};
        seen.geometry = dialog->geometry();
        seen.focusInPlan = QApplication::focusWidget() == plan;
        seen.timeEnabled = time->isEnabled();
        if (typed) {
            RetypeText(time, typed->time);
            RetypeText(plan, typed->plan);
            RetypeText(detail, typed->detail);
        }
        const int button = ok ? IDOK : IDCANCEL;
        QTest::mouseClick(qobject_cast<QPushButton*>(dialog->GetDlgItem(button)), Qt::LeftButton);
    };
}

class EditingRowCommandsTest : public PlannerAppTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(StartApp());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
        ASSERT_EQ(List()->GetItemCount(), 11);
    }
    void TearDown() override {
        // Nothing asks to save when the application goes.
        if (m_app && Doc())
            Doc()->SetModifiedFlag(false);
    }

    // Stores the usual day: a heading, times "08".."17", plans P0..P9 and details D0..D9.
    void SeedDay() {
        Doc()->SetHeading(QStringLiteral("見出し"));
        Doc()->SetHeadingDetail(QStringLiteral("見出しの詳細"));
        for (int row = 0; row < 10; ++row) {
            Doc()->SetTime(row, QStringLiteral("%1").arg(row + 8, 2, 10, QLatin1Char('0')));
            Doc()->SetPlan(row, QStringLiteral("P%1").arg(row));
            Doc()->SetDetail(row, QStringLiteral("D%1").arg(row));
        }
        Doc()->SetMemo(QStringLiteral("メモ"));
        Doc()->CommitCurrentDay();
        View()->ShowDay();
        Doc()->SetModifiedFlag(false);
    }
    // The seeded item: the heading row, or a row of the seeded day.
    static Texts Seeded(int item) {
        if (item == 0)
            return {QString(), QStringLiteral("見出し"), QStringLiteral("見出しの詳細")};
        const int row = item - 1;
        return {QStringLiteral("%1").arg(row + 8, 2, 10, QLatin1Char('0')),
                QStringLiteral("P%1").arg(row), QStringLiteral("D%1").arg(row)};
    }
    std::vector<Texts> SeededItems() const {
        std::vector<Texts> items;
        for (int item = 0; item < 11; ++item)
            items.push_back(Seeded(item));
        return items;
    }

    std::vector<Texts> Items() const {
        std::vector<Texts> items;
        for (int item = 0; item < List()->GetItemCount(); ++item)
            items.push_back({List()->GetItemText(item, 0), List()->GetItemText(item, 1),
                             List()->GetItemText(item, 2)});
        return items;
    }
    // The stored record of the shown day, as the items would show it.
    std::vector<Texts> StoredItems() const {
        for (const auto& day : Doc()->GetDays()) {
            if (!(day->m_dayDate == View()->m_date.DatePart()))
                continue;
            std::vector<Texts> items{{QString(), day->GetHeading(), day->GetHeadingDetail()}};
            for (int row = 0; row < 10; ++row)
                items.push_back({day->GetTime(row), day->GetPlan(row), day->GetDetail(row)});
            return items;
        }
        return {};
    }
    std::vector<int> SelectedItems() const {
        std::vector<int> selected;
        for (int item = 0; item < List()->GetItemCount(); ++item) {
            if (List()->IsItemSelected(item))
                selected.push_back(item);
        }
        return selected;
    }

    QPoint ItemCenter(int item) {
        List()->scrollToItem(List()->item(item, 0));
        return List()->visualItemRect(List()->item(item, 0)).center();
    }
    // Clicks an item as the user selects it; with control it joins the selection.
    void ClickItem(int item, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::mouseClick(List()->viewport(), Qt::LeftButton, mods, ItemCenter(item));
    }
    void ClearSelection() { List()->clearSelection(); }

    void ClickButton(int index) {
        QToolButton* button = Frame()->GetCommandBar()->GetButton(index);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }
};

// Every way to edit opens the dialog with the selected item's texts over the main window, and
// OK puts the typed texts into that item and the stored day.
TEST_F(EditingRowCommandsTest, EveryEditTriggerEditsTheSelectedItem) {
    SeedDay();
    const std::vector<std::pair<const char*, std::function<void()>>> triggers = {
        {"command", [&] { Frame()->OnCmdMsg(ID_ROW_EDIT, true); }},
        {"first button", [&] { ClickButton(0); }},
        {"Enter in the list", [&] { QTest::keyClick(List(), Qt::Key_Return); }},
        {"Enter in the date picker",
         [&] { QTest::keyClick(View()->m_datePicker, Qt::Key_Return); }},
        {"menu",
         [&] {
             EXPECT_TRUE(ClickMenu(Frame()->GetCommandBar(),
                                   {QStringLiteral("行操作"), QStringLiteral("編集")}));
         }},
        {"double click",
         [&] { QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, ItemCenter(6)); }},
    };
    int n = 0;
    for (const auto& [name, trigger] : triggers) {
        SCOPED_TRACE(name);
        ++n;
        ClickItem(6);
        const Texts before = Items()[6];
        const Texts typed{QStringLiteral("T%1").arg(n), QStringLiteral("予定%1").arg(n),
                          QStringLiteral("詳細%1").arg(n)};
        Seen seen;
        Doc()->SetModifiedFlag(false);
        {
            PopupWatcher answer(Answer(seen, typed, true));
            trigger();
            EXPECT_EQ(answer.Count(), 1);
        }
        EXPECT_TRUE(seen.isEntryDialog);
        EXPECT_EQ(seen.texts, before);
        EXPECT_EQ(seen.geometry, Frame()->geometry());
        EXPECT_TRUE(seen.focusInPlan);
        EXPECT_TRUE(seen.timeEnabled);
        EXPECT_EQ(Items()[6], typed);
        EXPECT_EQ(StoredItems()[6], typed);
        EXPECT_TRUE(Doc()->IsModified());
    }
}

// The heading row can be edited: plan and detail become the heading and its detail. Its time is
// never stored, so the time field is disabled and takes nothing typed into it.
TEST_F(EditingRowCommandsTest, EditOfTheHeadingRowChangesTheHeadingWithTheTimeFieldDisabled) {
    SeedDay();
    ClickItem(0);
    Seen seen;
    const Texts typed{QStringLiteral("終日"), QStringLiteral("運動会"), QStringLiteral("雨天延期")};
    {
        PopupWatcher answer(Answer(seen, typed, true));
        QTest::keyClick(List(), Qt::Key_Return);
    }
    EXPECT_EQ(seen.texts, Seeded(0));
    EXPECT_FALSE(seen.timeEnabled);
    EXPECT_TRUE(seen.focusInPlan);
    EXPECT_EQ(Items()[0], (Texts{QString(), typed.plan, typed.detail}));
    EXPECT_EQ(Doc()->GetCurrentDay().GetHeading(), QStringLiteral("運動会"));
    EXPECT_EQ(Doc()->GetCurrentDay().GetHeadingDetail(), QStringLiteral("雨天延期"));
    std::vector<Texts> stored = StoredItems();
    ASSERT_EQ(stored.size(), 11u);
    EXPECT_EQ(stored[0], (Texts{QString(), QStringLiteral("運動会"), QStringLiteral("雨天延期")}));
    for (int item = 1; item < 11; ++item)
        EXPECT_EQ(stored[item], Seeded(item));

    View()->ShowDay();
    EXPECT_TRUE(List()->GetItemText(0, 0).isEmpty());
}

// A cancelled edit changes no cell even after the user changed all three fields, yet the day is
// stored and the book marked modified.
TEST_F(EditingRowCommandsTest, CancelledEditChangesNothingButMarksTheBookModified) {
    SeedDay();
    ClickItem(3);
    Seen seen;
    {
        PopupWatcher answer(Answer(
            seen, Texts{QStringLiteral("x"), QStringLiteral("y"), QStringLiteral("z")}, false));
        Frame()->OnCmdMsg(ID_ROW_EDIT, true);
        EXPECT_EQ(answer.Count(), 1);
    }
    EXPECT_EQ(Items(), SeededItems());
    EXPECT_EQ(StoredItems(), SeededItems());
    EXPECT_TRUE(Doc()->IsModified());
}

// With nothing selected, Enter in the list and the three commands ask nothing and change no
// cell, but each still stores the day: a day never stored before gets its record.
TEST_F(EditingRowCommandsTest, NothingSelectedOnlyStoresTheDay) {
    const std::vector<std::pair<const char*, std::function<void()>>> commands = {
        {"Enter in the list", [&] { QTest::keyClick(List(), Qt::Key_Return); }},
        {"edit", [&] { Frame()->OnCmdMsg(ID_ROW_EDIT, true); }},
        {"insert", [&] { ClickButton(3); }},
        {"delete", [&] { ClickButton(4); }},
    };
    for (const auto& [name, command] : commands) {
        SCOPED_TRACE(name);
        Doc()->DeleteContents();
        Doc()->SelectDay(View()->m_date);
        View()->ShowDay();
        Doc()->SetModifiedFlag(false);
        ClearSelection();
        ASSERT_TRUE(Doc()->GetDays().empty());
        const std::vector<Texts> before = Items();
        Seen seen;
        {
            PopupWatcher answer(Answer(seen, std::nullopt, false));
            command();
            EXPECT_EQ(answer.Count(), 0);
        }
        EXPECT_EQ(Items(), before);
        EXPECT_EQ(Doc()->GetDays().size(), 1u);
        EXPECT_TRUE(Doc()->IsModified());
    }
}

// Insert and delete refuse the heading row without asking, and still store the day.
TEST_F(EditingRowCommandsTest, InsertAndDeleteRefuseTheHeadingRow) {
    SeedDay();
    for (const int button : {3, 4}) {
        SCOPED_TRACE(button);
        ClickItem(0);
        Doc()->SetModifiedFlag(false);
        Seen seen;
        {
            PopupWatcher answer(Answer(seen, std::nullopt, false));
            ClickButton(button);
            EXPECT_EQ(answer.Count(), 0);
        }
        EXPECT_EQ(Items(), SeededItems());
        EXPECT_EQ(List()->GetItemCount(), 11);
        EXPECT_TRUE(Doc()->IsModified());
    }
}

// With several items selected the lowest one counts, for all three commands.
TEST_F(EditingRowCommandsTest, TheLowestSelectedItemCounts) {
    SeedDay();
    ClickItem(5);
    ClickItem(2, Qt::ControlModifier);
    ASSERT_EQ(SelectedItems(), (std::vector<int>{2, 5}));
    Seen seen;
    {
        PopupWatcher answer(Answer(seen, std::nullopt, false));
        Frame()->OnCmdMsg(ID_ROW_EDIT, true);
    }
    EXPECT_EQ(seen.texts, Seeded(2));

    const Texts typed{QStringLiteral("new"), QStringLiteral("挿入"), QString()};
    {
        PopupWatcher answer(Answer(seen, typed, true));
        ClickButton(3);
    }
    std::vector<Texts> expected = SeededItems();
    expected.insert(expected.begin() + 2, typed);
    expected.pop_back();
    EXPECT_EQ(Items(), expected);

    ClickItem(6);
    ClickItem(2, Qt::ControlModifier);
    ClickButton(4);
    expected.erase(expected.begin() + 2);
    expected.push_back({});
    EXPECT_EQ(Items(), expected);
}

// The last row's text is not dropped: it goes to the end of the memo as one line; a row with a
// time alone is a label and goes.
TEST_F(EditingRowCommandsTest, InsertShiftsTheRowsDownAndKeepsTheLastRowInTheMemo) {
    SeedDay();
    ClickItem(1);
    const Texts typed{QStringLiteral("07"), QStringLiteral("早出"), QStringLiteral("鍵を開ける")};
    Seen seen;
    {
        PopupWatcher answer(Answer(seen, typed, true));
        ClickButton(3);
        EXPECT_EQ(answer.Count(), 1);
    }
    // The dialog starts empty for a new row.
    EXPECT_EQ(seen.texts, Texts{});
    std::vector<Texts> expected{Seeded(0), typed};
    for (int item = 1; item <= 9; ++item)
        expected.push_back(Seeded(item));
    EXPECT_EQ(Items(), expected);
    EXPECT_EQ(StoredItems(), expected);
    EXPECT_EQ(Memo()->toPlainText(), QStringLiteral("メモ\n17 P9 D9"));
    EXPECT_EQ(Doc()->GetMemo(), QStringLiteral("メモ\r\n17 P9 D9"));
    // The new item is not selected; the one selected before moved down with its selection.
    EXPECT_EQ(SelectedItems(), std::vector<int>{2});

    // At the last row the typed texts take its place and its selection goes; a detail's line
    // breaks become spaces in the memo's one line.
    View()->SetCellText(10, 2, QStringLiteral("二行の\r\n詳細"));
    ClickItem(10);
    const Texts last{QStringLiteral("18"), QStringLiteral("片付け"), QString()};
    {
        PopupWatcher answer(Answer(seen, last, true));
        Frame()->OnCmdMsg(ID_ROW_INSERT, true);
    }
    expected[10] = last;
    EXPECT_EQ(Items(), expected);
    EXPECT_EQ(StoredItems(), expected);
    EXPECT_EQ(SelectedItems(), std::vector<int>{});
    EXPECT_EQ(List()->GetItemCount(), 11);
    EXPECT_EQ(Doc()->GetMemo(), QStringLiteral("メモ\r\n17 P9 D9\r\n16 P8 二行の 詳細"));

    // A last row with a time alone is a label: it goes as before.
    View()->SetCellText(10, 1, QString());
    ClickItem(1);
    {
        PopupWatcher answer(Answer(seen, Texts{}, true));
        ClickButton(3);
    }
    EXPECT_EQ(Doc()->GetMemo(), QStringLiteral("メモ\r\n17 P9 D9\r\n16 P8 二行の 詳細"));
}

TEST_F(EditingRowCommandsTest, CancelledInsertChangesNoCell) {
    SeedDay();
    ClickItem(4);
    Seen seen;
    {
        PopupWatcher answer(Answer(seen, Texts{"a", "b", "c"}, false));
        ClickButton(3);
        EXPECT_EQ(answer.Count(), 1);
    }
    EXPECT_EQ(Items(), SeededItems());
    EXPECT_EQ(SelectedItems(), std::vector<int>{4});
    EXPECT_TRUE(Doc()->IsModified());
}

TEST_F(EditingRowCommandsTest, DeleteMovesTheRowsUpAndEmptiesTheLastOne) {
    SeedDay();
    ClickItem(1);
    Seen seen;
    {
        PopupWatcher answer(Answer(seen, std::nullopt, false));
        ClickButton(4);
        EXPECT_EQ(answer.Count(), 0);
    }
    std::vector<Texts> expected{Seeded(0)};
    for (int item = 2; item <= 10; ++item)
        expected.push_back(Seeded(item));
    expected.push_back({});
    EXPECT_EQ(Items(), expected);
    EXPECT_EQ(StoredItems(), expected);
    EXPECT_EQ(Doc()->GetCurrentDay().GetTime(0), QStringLiteral("09"));
    EXPECT_EQ(Doc()->GetCurrentDay().GetTime(8), QStringLiteral("17"));
    // The deleted item's selection went with it and the new last item is not selected.
    EXPECT_EQ(SelectedItems(), std::vector<int>{});

    ClickItem(10);
    ClickItem(5, Qt::ControlModifier);
    ClickButton(4);
    expected.erase(expected.begin() + 5);
    expected.push_back({});
    EXPECT_EQ(Items(), expected);
    // The other selected item moved up by one with its selection.
    EXPECT_EQ(SelectedItems(), std::vector<int>{9});
    ClickButton(4);
    expected[9] = {};
    EXPECT_EQ(Items(), expected);
    EXPECT_EQ(StoredItems(), expected);
}

// A line break typed into the detail reaches the cell and the document as the dialog gives it.
TEST_F(EditingRowCommandsTest, LineBreakTypedInTheDetailIsKept) {
    SeedDay();
    ClickItem(2);
    {
        PopupWatcher answer([](QWidget* modal) {
            auto* dialog = qobject_cast<CYoteiIns*>(modal);
            ASSERT_NE(dialog, nullptr);
            QWidget* detail = dialog->GetDlgItem(IDC_DETAIL);
            RetypeText(detail, QStringLiteral("一行目"));
            QTest::keyClick(detail, Qt::Key_Return);
            TypeText(detail, QStringLiteral("二行目"));
            QTest::keyClick(dialog->GetDlgItem(IDC_PLAN), Qt::Key_Return);
        });
        QTest::keyClick(List(), Qt::Key_Return);
        EXPECT_EQ(answer.Count(), 1);
    }
    EXPECT_EQ(List()->GetItemText(2, 2), QStringLiteral("一行目\r\n二行目"));
    EXPECT_EQ(Doc()->GetCurrentDay().GetDetail(1), QStringLiteral("一行目\r\n二行目"));

    // Opened again untouched, it comes back exactly as stored.
    Seen seen;
    {
        PopupWatcher answer(Answer(seen, std::nullopt, true));
        QTest::keyClick(List(), Qt::Key_Return);
    }
    EXPECT_EQ(List()->GetItemText(2, 2), QStringLiteral("一行目\r\n二行目"));
}

} // namespace
