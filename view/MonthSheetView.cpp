#include "view/MonthSheetView.h"

#include "document/TavrinoDoc.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

namespace {
// The days the date picker can show.
const QDate kFirstDate(100, 1, 1);
const QDate kLastDate(9999, 12, 31);
} // namespace

CMonthSheetView::CMonthSheetView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("monthSheet"));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("月の予定"));
    setAccessibleDescription(
        QStringLiteral("矢印キーで日を、Page Up と Page Down で月を移ります。Enter またはダブル"
                       "クリックでその日を開き、Escape で日の表示に戻ります"));
    hide();
    if (parent) {
        parent->installEventFilter(this);
        setGeometry(parent->rect());
    }
}

QRectF CMonthSheetView::SheetRect() const {
    return QRectF(rect()).adjusted(8, 4, -8, -8);
}

void CMonthSheetView::ShowMonth(const CTavrinoDoc* doc, const QDate& date) {
    m_doc = doc;
    m_sheet = MonthSheet(date);
    if (m_doc)
        m_sheet.Fill(m_doc->m_days);
    m_selected = QDate();
    m_pressDate = QDate();
    Select(date);
}

void CMonthSheetView::Select(const QDate& date) {
    if (!date.isValid())
        return;
    const QDate day = std::clamp(date, kFirstDate, kLastDate);
    if (day.year() != m_sheet.Year() || day.month() != m_sheet.Month()) {
        m_sheet = MonthSheet(day);
        if (m_doc)
            m_sheet.Fill(m_doc->m_days);
    }
    m_selected = day;
    m_sheet.SetSelected(day);
    m_sheet.SetToday(QDate::currentDate());
    update();
}

QString CMonthSheetView::DayText(const QDate& date) const {
    const MonthSheet::Day* day = m_sheet.DayOf(date);
    if (!day)
        return QString();
    QStringList lines{QLocale(QLocale::Japanese).toString(date, QLocale::LongFormat)};
    if (!day->holiday.isEmpty())
        lines << day->holiday;
    if (!day->heading.isEmpty())
        lines << QStringLiteral("■") + day->heading;
    for (const MonthSheet::Row& row : day->rows)
        lines << (row.time.isEmpty() ? row.text : row.time + u' ' + row.text);
    return lines.join(u'\n');
}

bool CMonthSheetView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QDate date = m_sheet.DateAt(SheetRect(), font(), help->pos(), this);
        if (date.isValid())
            QToolTip::showText(help->globalPos(), DayText(date), this);
        else
            QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}

bool CMonthSheetView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parent() && event->type() == QEvent::Resize)
        setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void CMonthSheetView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    m_sheet.Draw(painter, SheetRect(), font());
}

void CMonthSheetView::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Left:
        Select(m_selected.addDays(-1));
        break;
    case Qt::Key_Right:
        Select(m_selected.addDays(1));
        break;
    case Qt::Key_Up:
        Select(m_selected.addDays(-7));
        break;
    case Qt::Key_Down:
        Select(m_selected.addDays(7));
        break;
    case Qt::Key_PageUp:
        Select(m_selected.addMonths(-1));
        break;
    case Qt::Key_PageDown:
        Select(m_selected.addMonths(1));
        break;
    case Qt::Key_Home:
        Select(QDate(m_selected.year(), m_selected.month(), 1));
        break;
    case Qt::Key_End:
        Select(QDate(m_selected.year(), m_selected.month(), m_selected.daysInMonth()));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        emit dayOpened(m_selected);
        break;
    case Qt::Key_Escape:
        emit closeRequested();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void CMonthSheetView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const QDate date = m_sheet.DateAt(SheetRect(), font(), event->position(), this);
    // A grey day of a neighbouring month turns the sheet to that month.
    if (date.isValid())
        Select(date);
    m_pressDate = date;
    event->accept();
}

void CMonthSheetView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    QDate date = m_sheet.DateAt(SheetRect(), font(), event->position(), this);
    // The day the double click's first press chose: when it turned the month, another day is
    // under the pointer now.
    if (date.isValid() && m_pressDate.isValid())
        date = m_pressDate;
    m_pressDate = QDate();
    if (date.isValid()) {
        Select(date);
        emit dayOpened(date);
    }
    event->accept();
}
