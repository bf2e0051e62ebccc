#include "platform/ui/Controls.h"

#include <QCalendarWidget>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLocale>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <QTextCharFormat>
#include <QTextDocument>
#include <cmath>
#include <limits>

namespace {

// Cells are drawn on one line; a line break inside a text shows as a return mark but stays in
// the data unchanged.
class SingleLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QString displayText(const QVariant& value, const QLocale& locale) const override {
        // The marks go in before Qt's own conversion: it turns a line feed into a line
        // separator, which the cell then breaks and cuts at, showing the first line only.
        if (value.userType() != QMetaType::QString)
            return QStyledItemDelegate::displayText(value, locale);
        QString text = value.toString();
        const QChar mark(0x21B5);
        text.replace(QStringLiteral("\r\n"), mark);
        for (const QChar lineBreak :
             {QChar(QLatin1Char('\n')), QChar(QLatin1Char('\r')), QChar(QChar::LineSeparator),
              QChar(QChar::ParagraphSeparator)})
            text.replace(lineBreak, mark);
        return QStyledItemDelegate::displayText(text, locale);
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------

CListCtrl::CListCtrl(QWidget* parent) : QTableWidget(parent) {
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setShowGrid(false);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control instead of walking its cells.
    setTabKeyNavigation(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new SingleLineDelegate(this));
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(0);
}

void CListCtrl::SetExtendedStyle(unsigned style) {
    setShowGrid((style & LVS_EX_GRIDLINES) != 0);
    setSelectionBehavior((style & LVS_EX_FULLROWSELECT) ? QAbstractItemView::SelectRows
                                                        : QAbstractItemView::SelectItems);
}

int CListCtrl::InsertColumn(int position, const QString& heading, int /*format*/, int width) {
    position = std::clamp(position, 0, columnCount());
    insertColumn(position);
    setHorizontalHeaderItem(position, new QTableWidgetItem(heading));
    setColumnWidth(position, std::max(0, width));
    return position;
}

void CListCtrl::SetColumnWidth(int column, int width) {
    setColumnWidth(column, std::max(0, width));
}

int CListCtrl::GetColumnRoom() const {
    const QSize viewport = maximumViewportSize();
    int room = viewport.width();
    if (verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff &&
        verticalHeader()->length() > viewport.height())
        room -= verticalScrollBar()->sizeHint().width();
    return room;
}

bool CListCtrl::DeleteColumn(int position) {
    if (position < 0 || position >= columnCount())
        return false;
    removeColumn(position);
    return true;
}

int CListCtrl::InsertItem(int index, const QString& text) {
    index = std::clamp(index, 0, rowCount());
    insertRow(index);
    SetItemText(index, 0, text);
    return index;
}

bool CListCtrl::DeleteItem(int index) {
    if (index < 0 || index >= rowCount())
        return false;
    removeRow(index);
    return true;
}

bool CListCtrl::DeleteAllItems() {
    setRowCount(0);
    return true;
}

bool CListCtrl::SetItemText(int row, int column, const QString& text) {
    if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return false;
    if (QTableWidgetItem* cell = item(row, column)) {
        cell->setText(text);
    } else {
        auto* fresh = new QTableWidgetItem(text);
        fresh->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        setItem(row, column, fresh);
    }
    return true;
}

QString CListCtrl::GetItemText(int row, int column) const {
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

bool CListCtrl::IsItemSelected(int row) const {
    if (row < 0 || row >= rowCount())
        return false;
    const QItemSelectionModel* selection = selectionModel();
    for (int column = 0; column < columnCount(); ++column) {
        if (selection->isSelected(model()->index(row, column)))
            return true;
    }
    return false;
}

void CListCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit keyDown(VK_RETURN);
        event->accept();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void CListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableWidget::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

// ---------------------------------------------------------------------------------------------

CDateTimeCtrl::CDateTimeCtrl(QWidget* parent, bool alignPopupRight)
    : QDateEdit(parent), m_alignPopupRight(alignPopupRight) {
    setDisplayFormat(QLocale::system().dateFormat(QLocale::LongFormat));
    setCalendarPopup(true);
    setMinimumDate(QDate(100, 1, 1));
    setMaximumDate(QDate(9999, 12, 31));
    calendarWidget()->setLocale(QLocale::system());
    if (m_alignPopupRight)
        calendarWidget()->installEventFilter(this);
    connect(this, &QDateEdit::dateChanged, this, [this] { emit dateTimeChange(); });
    connect(calendarWidget(), &QCalendarWidget::currentPageChanged, this,
            [this] { emit shownMonthChanged(); });
}

void CDateTimeCtrl::SetDayMarked(const QDate& day, bool marked) {
    if (marked)
        m_markedDays.insert(day);
    else
        m_markedDays.remove(day);
    ApplyDayFormat(day);
}

void CDateTimeCtrl::SetHoliday(const QDate& day, bool holiday) {
    if (holiday)
        m_holidays.insert(day);
    else
        m_holidays.remove(day);
    ApplyDayFormat(day);
}

void CDateTimeCtrl::ApplyDayFormat(const QDate& day) {
    // Both marks are kept apart and the day's format made of both, so that marking or unmarking
    // a day with text leaves a holiday red.
    QTextCharFormat format;
    if (m_markedDays.contains(day))
        format.setFontWeight(QFont::Bold);
    if (m_holidays.contains(day))
        format.setForeground(m_holidayColour);
    // An empty format removes the date's own, so an unmarked day looks like any other.
    calendarWidget()->setDateTextFormat(day, format);
}

void CDateTimeCtrl::ClearDayMarks() {
    m_markedDays.clear();
    m_holidays.clear();
    calendarWidget()->setDateTextFormat(QDate(), QTextCharFormat());
}

void CDateTimeCtrl::SetDayColours(const QColor& sundayAndHolidays, const QColor& saturday) {
    m_holidayColour = sundayAndHolidays;
    QTextCharFormat sunday;
    sunday.setForeground(sundayAndHolidays);
    calendarWidget()->setWeekdayTextFormat(Qt::Sunday, sunday);
    QTextCharFormat saturdayFormat;
    saturdayFormat.setForeground(saturday);
    calendarWidget()->setWeekdayTextFormat(Qt::Saturday, saturdayFormat);
    for (const QDate& day : std::as_const(m_holidays))
        ApplyDayFormat(day);
}

QDate CDateTimeCtrl::FirstShownDay() const {
    // Six weeks from the week before the month's first: two weeks back always covers it.
    const QCalendarWidget* calendar = calendarWidget();
    return QDate(calendar->yearShown(), calendar->monthShown(), 1).addDays(-14);
}

QDate CDateTimeCtrl::LastShownDay() const {
    const QCalendarWidget* calendar = calendarWidget();
    return QDate(calendar->yearShown(), calendar->monthShown(), 1).addDays(45);
}

void CDateTimeCtrl::SetTime(const COleDateTime& time) {
    COleDateTime::Fields f;
    if (!time.GetFields(f))
        return;
    // The program's own writes are not a change by the user.
    const QSignalBlocker blocker(this);
    m_timeOfDay = QTime(f.hour, f.minute, f.second);
    setDate(QDate(f.year, f.month, f.day));
}

COleDateTime CDateTimeCtrl::GetTime() const {
    const QDate d = date();
    return COleDateTime(d.year(), d.month(), d.day(), m_timeOfDay.hour(), m_timeOfDay.minute(),
                        m_timeOfDay.second());
}

void CDateTimeCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        emit wmKeyDown(VK_RETURN);
    QDateEdit::keyPressEvent(event);
}

bool CDateTimeCtrl::focusNextPrevChild(bool next) {
    // Tab leaves the picker, as the platform's picker does; the arrow keys move between the
    // fields of the date.
    return QWidget::focusNextPrevChild(next);
}

bool CDateTimeCtrl::eventFilter(QObject* watched, QEvent* event) {
    // The calendar opens aligned to the picker's right edge.
    if (event->type() == QEvent::Show && watched == calendarWidget()) {
        QWidget* popup = calendarWidget()->window();
        if (popup && popup != window()) {
            const QPoint bottomRight = mapToGlobal(QPoint(width(), height()));
            int x = bottomRight.x() - popup->width();
            // Kept on the screen, like the platform's calendar: its month arrows must stay
            // reachable when the picker is near the screen's left edge.
            if (const QScreen* display = screen()) {
                const QRect area = display->availableGeometry();
                x = std::max(std::min(x, area.right() + 1 - popup->width()), area.left());
            }
            popup->move(x, popup->y());
        }
    }
    return QDateEdit::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------

namespace {
QString ToEditorForm(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}
} // namespace

CEdit::CEdit(QWidget* parent) : QPlainTextEdit(parent) {
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setTabChangesFocus(true);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        // Text still being composed is not the user's text yet.
        if (!m_setting && !m_preeditOnly)
            emit change();
    });
}

int CEdit::MinimumHeightForLines(int lines) const {
    const int margins = 2 * int(std::ceil(document()->documentMargin()));
    return lines * fontMetrics().lineSpacing() + 2 * frameWidth() + margins;
}

void CEdit::SetWindowText(const QString& text) {
    m_setting = true;
    m_setText = text;
    setPlainText(ToEditorForm(text));
    m_shownText = toPlainText();
    m_setting = false;
}

namespace {
bool IsEnter(const QKeyEvent* event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}
} // namespace

void CEdit::inputMethodEvent(QInputMethodEvent* event) {
    m_composing = !event->preeditString().isEmpty();
    m_preeditOnly = event->commitString().isEmpty() && event->replacementLength() == 0;
    QPlainTextEdit::inputMethodEvent(event);
    m_preeditOnly = false;
}

void CEdit::keyPressEvent(QKeyEvent* event) {
    // While composing, Enter belongs to the input method: no line break besides the conversion.
    if (m_composing && IsEnter(event)) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

QString CEdit::GetWindowText() const {
    const QString now = toPlainText();
    if (now == m_shownText)
        return m_setText;
    // The raw text: toPlainText() would also turn no-break spaces into spaces and some
    // noncharacters into line breaks.
    QString text = document()->toRawText();
    text.replace(QChar(QChar::ParagraphSeparator), QStringLiteral("\r\n"));
    text.replace(QChar(QChar::LineSeparator), QStringLiteral("\r\n"));
    return text;
}

// ---------------------------------------------------------------------------------------------

CLineEdit::CLineEdit(QWidget* parent) : QLineEdit(parent) {
    setMaxLength(std::numeric_limits<int>::max());
}

void CLineEdit::SetWindowText(const QString& text) {
    setText(text);
    setCursorPosition(0);
}

void CLineEdit::inputMethodEvent(QInputMethodEvent* event) {
    m_composing = !event->preeditString().isEmpty();
    QLineEdit::inputMethodEvent(event);
}

void CLineEdit::keyPressEvent(QKeyEvent* event) {
    if (m_composing && IsEnter(event)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
