// The entry dialog on real widgets: its controls, focus and tab order, the layout on every size
// change, and what OK, キャンセル, Escape and Enter give back to the caller.

#include "UiTestSupport.h"
#include "editing/YoteiIns.h"
#include "platform/ui/Controls.h"
#include "resources/Resource.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The main window the dialog belongs to, with the handheld's client area.
class EntryDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_owner.setObjectName(QStringLiteral("ownerWindow"));
        m_owner.setGeometry(100, 80, 480, 536);
        m_owner.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_owner));
    }

    // Runs the dialog; action sees it while it is shown and must close it.
    int Run(CYoteiIns& dialog, std::function<void(CYoteiIns*)> action) {
        bool ran = false;
        OnNextModal([&](QWidget* modal) {
            ran = true;
            auto* shown = qobject_cast<CYoteiIns*>(modal);
            EXPECT_EQ(shown, &dialog);
            if (!shown) {
                modal->close();
                return;
            }
            action(shown);
        });
        const int result = dialog.DoModal();
        EXPECT_TRUE(ran);
        return result;
    }

    QMainWindow m_owner;
};

template <class T>
T* Item(QWidget* dialog, int id) {
    auto* control = qobject_cast<T*>(static_cast<CYoteiIns*>(dialog)->GetDlgItem(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
}

QPushButton* OkButton(QWidget* d) {
    return Item<QPushButton>(d, IDOK);
}
QPushButton* CancelButton(QWidget* d) {
    return Item<QPushButton>(d, IDCANCEL);
}

void ResizeShown(QWidget* dialog, int w, int h) {
    dialog->resize(w, h);
    QTRY_COMPARE(dialog->size(), QSize(w, h));
    QCoreApplication::processEvents();
}

TEST_F(EntryDialogTest, ShowsLabelsFieldsAndButtonsWithFocusInThePlanAndTabOrder) {
    CYoteiIns dialog(&m_owner);
    const int result = Run(dialog, [&](CYoteiIns* d) {
        QStringList labels;
        for (QLabel* label : d->findChildren<QLabel*>())
            labels << label->text();
        EXPECT_TRUE(labels.contains(QStringLiteral("時間")));
        EXPECT_TRUE(labels.contains(QStringLiteral("予定")));
        EXPECT_TRUE(labels.contains(QStringLiteral("詳細")));
        EXPECT_EQ(OkButton(d)->text(), QStringLiteral("OK"));
        EXPECT_EQ(CancelButton(d)->text(), QStringLiteral("キャンセル"));

        QWidget* time = Item<CLineEdit>(d, IDC_TIME);
        QWidget* plan = Item<CLineEdit>(d, IDC_PLAN);
        QWidget* detail = Item<CEdit>(d, IDC_DETAIL);
        // Each label stands left of its field, at the field's height.
        for (QLabel* label : d->findChildren<QLabel*>()) {
            QWidget* field = label->text() == QStringLiteral("時間")   ? time
                             : label->text() == QStringLiteral("予定") ? plan
                                                                       : detail;
            EXPECT_LE(label->geometry().right(), field->geometry().left())
                << label->text().toStdString();
        }

        EXPECT_EQ(QApplication::focusWidget(), plan);
        const QList<QWidget*> order = {detail, time, OkButton(d), CancelButton(d), plan};
        for (QWidget* expected : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(QApplication::focusWidget(), expected)
                << "focus on " << QApplication::focusWidget()->objectName().toStdString()
                << " instead of " << expected->objectName().toStdString();
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(EntryDialogTest, FillsTheMainWindowAndPlacesDetailAndButtonsOnEverySizeChange) {
    CYoteiIns dialog(&m_owner);
    Run(dialog, [&](CYoteiIns* d) {
        EXPECT_EQ(d->geometry(), m_owner.geometry());
        QWidget* detail = Item<CEdit>(d, IDC_DETAIL);
        QPushButton* ok = OkButton(d);
        QPushButton* cancel = CancelButton(d);
        EXPECT_TRUE(ok->isVisible());

        // The controls the rule leaves alone, with their template positions.
        QList<QWidget*> fixed = {Item<CLineEdit>(d, IDC_TIME), Item<CLineEdit>(d, IDC_PLAN)};
        for (QLabel* label : d->findChildren<QLabel*>())
            fixed << label;
        QList<QRect> fixedRects;
        for (QWidget* w : fixed)
            fixedRects << w->geometry();

        const auto expectLayout = [&](int r, int b) {
            EXPECT_EQ(d->rect(), QRect(0, 0, r, b));
            EXPECT_EQ(detail->geometry(),
                      QRect(90, 130, std::max(0, r - 105), std::max(0, b - 210)))
                << r << "x" << b;
            EXPECT_EQ(ok->geometry(), QRect(60, b - 70, 150, 45)) << r << "x" << b;
            EXPECT_EQ(cancel->geometry(), QRect(290, b - 70, 150, 45)) << r << "x" << b;
            for (int i = 0; i < fixed.size(); ++i)
                EXPECT_EQ(fixed[i]->geometry(), fixedRects[i])
                    << fixed[i]->objectName().toStdString();
        };

        expectLayout(480, 536);
        EXPECT_EQ(detail->geometry(), Ltrb(90, 130, 465, 456));
        EXPECT_EQ(ok->geometry(), Ltrb(60, 466, 210, 511));
        EXPECT_EQ(cancel->geometry(), Ltrb(290, 466, 440, 511));

        ResizeShown(d, 480, 376);
        expectLayout(480, 376);
        EXPECT_EQ(ok->geometry().top(), 306);
        EXPECT_EQ(cancel->geometry().bottom() + 1, 351);
        EXPECT_EQ(detail->geometry().top(), 130);
        EXPECT_EQ(detail->geometry().bottom() + 1, 296);

        ResizeShown(d, 640, 300);
        expectLayout(640, 300);
        // Too small for the detail: it keeps no area rather than a negative one. The dialog
        // keeps the user from such a size; the rule itself is checked below it.
        d->setMinimumSize(0, 0);
        ResizeShown(d, 100, 200);
        expectLayout(100, 200);
        EXPECT_EQ(detail->width(), 0);
        EXPECT_EQ(detail->height(), 0);

        ResizeShown(d, 480, 536);
        expectLayout(480, 536);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
}

// Opened from a main window smaller than it needs, or shrunk by the user, the dialog keeps every
// control whole: キャンセル inside, three lines of detail, nothing covering anything else.
TEST_F(EntryDialogTest, NeverSmallerThanItsControlsNeed) {
    m_owner.setGeometry(100, 80, 320, 260);
    CYoteiIns dialog(&m_owner);
    dialog.m_detail = QStringLiteral("一\r\n二\r\n三\r\n四");
    Run(dialog, [&](CYoteiIns* d) {
        // Wider than the main window, yet on the screen.
        EXPECT_TRUE(d->screen()->availableGeometry().contains(d->frameGeometry()));
        EXPECT_GT(d->width(), m_owner.width());
        for (const QSize size : {d->size(), QSize(1, 1), QSize(439, 600), QSize(600, 1)}) {
            d->resize(size);
            QCoreApplication::processEvents();
            SCOPED_TRACE(testing::Message() << d->width() << "x" << d->height());
            const QList<QWidget*> controls = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* a : controls) {
                EXPECT_TRUE(d->rect().contains(a->geometry())) << a->objectName().toStdString();
                for (QWidget* b : controls)
                    EXPECT_TRUE(a == b || !a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " and "
                        << b->objectName().toStdString();
            }
            auto* detail = Item<CEdit>(d, IDC_DETAIL);
            EXPECT_GE(detail->viewport()->height(), 3 * detail->fontMetrics().lineSpacing());
        }
        QTest::mouseClick(CancelButton(d), Qt::LeftButton);
    });
}

TEST_F(EntryDialogTest, OkCopiesTheThreeFieldsAndEmptyFieldsComeBackEmpty) {
    CYoteiIns dialog(&m_owner);
    dialog.m_time = QStringLiteral("09");
    dialog.m_plan = QStringLiteral("会議");
    dialog.m_detail = QStringLiteral("第一会議室");
    const int result = Run(dialog, [&](CYoteiIns* d) {
        EXPECT_EQ(Item<CLineEdit>(d, IDC_TIME)->text(), QStringLiteral("09"));
        EXPECT_EQ(Item<CLineEdit>(d, IDC_PLAN)->text(), QStringLiteral("会議"));
        EXPECT_EQ(Item<CEdit>(d, IDC_DETAIL)->toPlainText(), QStringLiteral("第一会議室"));
        RetypeText(Item<CLineEdit>(d, IDC_TIME), QStringLiteral("10:30"));
        RetypeText(Item<CLineEdit>(d, IDC_PLAN), QString());
        RetypeText(Item<CEdit>(d, IDC_DETAIL), QStringLiteral("remote"));
        QTest::mouseClick(OkButton(d), Qt::LeftButton);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_time, QStringLiteral("10:30"));
    EXPECT_TRUE(dialog.m_plan.isEmpty());
    EXPECT_EQ(dialog.m_detail, QStringLiteral("remote"));
}

TEST_F(EntryDialogTest, CancelAndEscapeLeaveTheMembersAsTheCallerSetThem) {
    for (const bool escape : {false, true}) {
        CYoteiIns dialog(&m_owner);
        dialog.m_time = QStringLiteral("08");
        dialog.m_plan = QStringLiteral("朝会");
        dialog.m_detail = QStringLiteral("一行目\r\n二行目");
        const int result = Run(dialog, [&](CYoteiIns* d) {
            RetypeText(Item<CLineEdit>(d, IDC_TIME), QStringLiteral("11"));
            RetypeText(Item<CLineEdit>(d, IDC_PLAN), QStringLiteral("別件"));
            RetypeText(Item<CEdit>(d, IDC_DETAIL), QStringLiteral("変更"));
            if (escape)
                QTest::keyClick(Item<CEdit>(d, IDC_DETAIL), Qt::Key_Escape);
            else
                QTest::mouseClick(CancelButton(d), Qt::LeftButton);
        });
        EXPECT_EQ(result, IDCANCEL) << "escape " << escape;
        EXPECT_EQ(dialog.m_time, QStringLiteral("08"));
        EXPECT_EQ(dialog.m_plan, QStringLiteral("朝会"));
        EXPECT_EQ(dialog.m_detail, QStringLiteral("一行目\r\n二行目"));
    }
}

TEST_F(EntryDialogTest, EnterInTimeOrPlanChoosesOkAndEnterInDetailBreaksTheLine) {
    for (const int field : {IDC_TIME, IDC_PLAN}) {
        CYoteiIns dialog(&m_owner);
        const int result = Run(dialog, [&](CYoteiIns* d) {
            RetypeText(Item<CLineEdit>(d, field), QStringLiteral("入力"));
            QTest::keyClick(Item<CLineEdit>(d, field), Qt::Key_Return);
        });
        EXPECT_EQ(result, IDOK) << field;
        EXPECT_EQ(field == IDC_TIME ? dialog.m_time : dialog.m_plan, QStringLiteral("入力"));
    }

    CYoteiIns dialog(&m_owner);
    const int result = Run(dialog, [&](CYoteiIns* d) {
        auto* detail = Item<CEdit>(d, IDC_DETAIL);
        RetypeText(detail, QStringLiteral("上"));
        QTest::keyClick(detail, Qt::Key_Return);
        TypeText(detail, QStringLiteral("下"));
        EXPECT_TRUE(d->isVisible()) << "Enter in the detail closed the dialog";
        if (d->isVisible())
            QTest::keyClick(Item<CLineEdit>(d, IDC_PLAN), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_detail, QStringLiteral("上\r\n下"));
}

// At both handheld sizes every control lies inside the client area and none covers another; the
// pictures go to TAVRINO_SHOT_DIR when it is set, for a look at fonts and label positions.
TEST_F(EntryDialogTest, ControlsStayInsideAndApartAtBothHandheldSizes) {
    CYoteiIns dialog(&m_owner);
    dialog.m_time = QStringLiteral("10");
    dialog.m_plan = QStringLiteral("営業会議（第二会議室）の準備と資料の印刷を済ませておく");
    dialog.m_detail = QStringLiteral(
        "議題：来期の予算\r\n出席：部長、課長、担当者三名\r\n持ち物：ノートパソコン");
    const QString shotDir = qEnvironmentVariable("TAVRINO_SHOT_DIR");
    Run(dialog, [&](CYoteiIns* d) {
        for (const int height : {536, 376}) {
            ResizeShown(d, 480, height);
            const QImage image = d->grab().toImage();
            EXPECT_EQ(image.size(), QSize(480, height));
            if (!shotDir.isEmpty())
                image.save(QStringLiteral("%1/entry-480x%2.png").arg(shotDir).arg(height));
            const QList<QWidget*> controls = d->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
            for (QWidget* a : controls) {
                if (!a->isVisible())
                    continue;
                EXPECT_TRUE(d->rect().contains(a->geometry()))
                    << a->objectName().toStdString() << " at height " << height;
                for (QWidget* b : controls) {
                    if (a == b || !b->isVisible())
                        continue;
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " and " << b->objectName().toStdString()
                        << " at height " << height;
                }
            }
        }
        QTest::mouseClick(CancelButton(d), Qt::LeftButton);
    });
}

} // namespace
