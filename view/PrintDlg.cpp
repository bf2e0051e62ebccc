#include "view/PrintDlg.h"

#include "platform/core/Exceptions.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/ScreenFit.h"
#include "sheets/Paper.h"
#include "sheets/PdfTextMap.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>

namespace {

// The days the date edits can name, as the planner's picker.
const QDate kFirstDate(100, 1, 1);
const QDate kLastDate(9999, 12, 31);

const SheetPrint::Layout kLayouts[] = {SheetPrint::Layout::Day, SheetPrint::Layout::Week,
                                       SheetPrint::Layout::Month};

QDateEdit* DateEdit(const QDate& date, const QString& name, QWidget* parent) {
    auto* edit = new QDateEdit(parent);
    edit->setObjectName(name);
    edit->setCalendarPopup(true);
    // A date typed counts once it is whole: each keystroke would redraw every page.
    edit->setKeyboardTracking(false);
    edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    edit->setDateRange(kFirstDate, kLastDate);
    edit->setMinimumWidth(
        edit->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00")) * 3 / 2 + 24);
    edit->setDate(std::clamp(date.isValid() ? date : QDate::currentDate(), kFirstDate, kLastDate));
    return edit;
}

// What a failure names: the PDF file, or the printer.
QString PrinterName(const QPrinter* printer) {
    if (printer->outputFormat() == QPrinter::PdfFormat || printer->printerName().isEmpty())
        return QDir::toNativeSeparators(printer->outputFileName());
    return printer->printerName();
}

} // namespace

CPrintDlg::CPrintDlg(const CBookModel& book, const Options& options, QPrinter* printer,
                     QWidget* parent)
    : QPrintPreviewDialog(printer, parent), m_book(book), m_printer(printer) {
    setObjectName(QStringLiteral("printDialog"));
    m_preview = findChild<QPrintPreviewWidget*>();
    if (const std::optional<QPageSize> size = Paper::Find(options.paper))
        m_printer->setPageLayout(Paper::PageLayout(*size));

    auto* choices = new QWidget(this);
    choices->setObjectName(QStringLiteral("printChoices"));
    auto* grid = new QGridLayout(choices);
    const auto label = [&](const QString& text, QWidget* buddy, int row, int column) {
        auto* l = new QLabel(text, choices);
        l->setBuddy(buddy);
        grid->addWidget(l, row, column);
    };

    m_layout = new QComboBox(choices);
    m_layout->setObjectName(QStringLiteral("printLayout"));
    const QStringList layouts = LoadString(IDS_PRINT_LAYOUTS).split(u'\n');
    for (std::size_t i = 0; i < std::size(kLayouts); ++i)
        m_layout->addItem(layouts.value(qsizetype(i)), int(kLayouts[i]));
    m_layout->setCurrentIndex(m_layout->findData(int(options.request.layout)));
    label(LoadString(IDS_PRINT_LAYOUT), m_layout, 0, 0);
    grid->addWidget(m_layout, 0, 1);

    m_paper = new QComboBox(choices);
    m_paper->setObjectName(QStringLiteral("printPaper"));
    for (const QString& name : Paper::Names())
        m_paper->addItem(Paper::Label(name), name);
    m_paper->setCurrentIndex(std::max(m_paper->findData(options.paper), 0));
    label(LoadString(IDS_PRINT_PAPER), m_paper, 0, 2);
    grid->addWidget(m_paper, 0, 3);

    m_facing = new QCheckBox(LoadString(IDS_PRINT_FACING), choices);
    m_facing->setObjectName(QStringLiteral("printFacing"));
    m_facing->setChecked(options.request.facing);
    grid->addWidget(m_facing, 0, 4);

    const QStringList range = LoadString(IDS_PRINT_RANGE).split(u'\n');
    m_from = DateEdit(options.request.from, QStringLiteral("printFrom"), choices);
    m_to = DateEdit(std::max(options.request.to, options.request.from), QStringLiteral("printTo"),
                    choices);
    label(range.value(0), m_from, 1, 0);
    grid->addWidget(m_from, 1, 1);
    grid->addWidget(new QLabel(range.value(1), choices), 1, 2, Qt::AlignCenter);
    grid->addWidget(m_to, 1, 3);
    grid->setColumnStretch(5, 1);

    // Above Qt's tool bar and preview.
    if (auto* box = qobject_cast<QBoxLayout*>(layout()))
        box->insertWidget(0, choices);
    m_facing->setEnabled(options.request.layout == SheetPrint::Layout::Week);

    connect(this, &QPrintPreviewDialog::paintRequested, this, &CPrintDlg::PaintPages);
    connect(m_layout, &QComboBox::currentIndexChanged, this, &CPrintDlg::OnChoiceChanged);
    connect(m_facing, &QCheckBox::toggled, this, &CPrintDlg::OnChoiceChanged);
    connect(m_paper, &QComboBox::currentIndexChanged, this, &CPrintDlg::OnPaperChanged);
    connect(m_from, &QDateEdit::dateChanged, this, [this] { OnRangeChanged(true); });
    connect(m_to, &QDateEdit::dateChanged, this, [this] { OnRangeChanged(false); });

    // A page to look at, not the handheld's screen: at least a little larger than the window.
    QSize size(720, 680);
    if (parent)
        size = size.expandedTo(parent->window()->size());
    resize(size);
    FitWindowToScreen(this);
}

CPrintDlg::Options CPrintDlg::GetOptions() const {
    Options options;
    options.request.layout = SheetPrint::Layout(m_layout->currentData().toInt());
    options.request.from = m_from->date();
    options.request.to = m_to->date();
    options.request.facing = m_facing->isChecked();
    options.paper = m_paper->currentData().toString();
    return options;
}

void CPrintDlg::PaintPages(QPrinter* printer) {
    // Qt's page set-up may have put the printer on another of the papers.
    const QString paper = Paper::NameOf(printer->pageLayout().pageSize());
    if (!paper.isEmpty() && paper != m_paper->currentData().toString()) {
        const QSignalBlocker block(m_paper);
        m_paper->setCurrentIndex(m_paper->findData(paper));
    }
    m_failed = !SheetPrint::Print(*printer, m_book, GetOptions().request, &m_pages);
    if (m_failed)
        AfxMessageBox(LoadString(IDP_PRINT_FAILED).arg(PrinterName(printer)), MessageButtons::Ok,
                      this);
}

void CPrintDlg::OnChoiceChanged() {
    m_facing->setEnabled(GetOptions().request.layout == SheetPrint::Layout::Week);
    m_preview->updatePreview();
}

void CPrintDlg::OnPaperChanged() {
    if (const std::optional<QPageSize> size = Paper::Find(m_paper->currentData().toString())) {
        // A printer that refuses the page as set keeps its margins and takes the size alone.
        if (!m_printer->setPageLayout(Paper::PageLayout(*size)))
            m_printer->setPageSize(*size);
    }
    m_preview->updatePreview();
}

void CPrintDlg::OnRangeChanged(bool fromChanged) {
    // The other end follows the one moved: the first day before the last, and not too far.
    {
        const QSignalBlocker blockFrom(m_from);
        const QSignalBlocker blockTo(m_to);
        const QDate from = m_from->date();
        const QDate to = m_to->date();
        if (fromChanged && (to < from || to > from.addYears(kLongestRangeYears)))
            m_to->setDate(to < from ? from : from.addYears(kLongestRangeYears));
        else if (!fromChanged && (from > to || from < to.addYears(-kLongestRangeYears)))
            m_from->setDate(from > to ? to : to.addYears(-kLongestRangeYears));
    }
    m_preview->updatePreview();
}

bool CPrintDlg::MendPdfFile(const QString& path, QWidget* parent) {
    QByteArray pdf;
    try {
        pdf = ReadWholeFile(path);
    } catch (const CFileException& e) {
        AfxMessageBox(e.GetErrorMessage(), MessageButtons::Ok, parent);
        return false;
    }
    if (PdfTextMap::MendKanji(pdf, SheetPrint::Font(10)) == 0)
        return true;
    QSaveFile file(path);
    errno = 0;
    bool ok = file.open(QIODevice::WriteOnly);
    int error = errno;
    if (ok) {
        ok = file.write(pdf) == pdf.size() && file.commit();
        error = errno;
    }
    if (!ok)
        AfxMessageBox(CFileException(FileFailureCause(path, error), path).GetErrorMessage(),
                      MessageButtons::Ok, parent);
    return ok;
}
