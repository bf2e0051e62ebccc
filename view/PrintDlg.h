#pragma once

#include "sheets/SheetPrint.h"

#include <QPrintPreviewDialog>
#include <QString>

class CBookModel;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QPrintPreviewWidget;
class QPrinter;

// 印刷...: the platform's print preview with the choices of what to print above it (the layout,
// the paper, the days and, for a week, facing pages). The pages are those the book tool writes:
// both print through the sheets.
class CPrintDlg : public QPrintPreviewDialog {
    Q_OBJECT
public:
    struct Options {
        SheetPrint::Request request;
        QString paper = QStringLiteral("a4");
    };

    // How far apart the range's first and last day may be: a preview holds every page at once.
    static constexpr int kLongestRangeYears = 2;

    // The book is read as it is whenever the preview is drawn; printer keeps the choices made in
    // the platform's dialogs for the next time.
    CPrintDlg(const CBookModel& book, const Options& options, QPrinter* printer,
              QWidget* parent = nullptr);

    Options GetOptions() const;

    QComboBox* LayoutBox() const { return m_layout; }
    QComboBox* PaperBox() const { return m_paper; }
    QCheckBox* FacingBox() const { return m_facing; }
    QDateEdit* FromEdit() const { return m_from; }
    QDateEdit* ToEdit() const { return m_to; }
    QPrintPreviewWidget* Preview() const { return m_preview; }
    // How many pages the last drawing made.
    int PageCount() const { return m_pages; }
    // Whether the last drawing failed (and the user was told).
    bool PrintFailed() const { return m_failed; }

    // After a print to a PDF file: Qt's writer names some kanji as radicals; the file is mended
    // in place. False, after telling the user, when it could not be.
    static bool MendPdfFile(const QString& path, QWidget* parent);

private:
    void PaintPages(QPrinter* printer);
    void OnChoiceChanged();
    void OnPaperChanged();
    void OnRangeChanged(bool fromChanged);

    const CBookModel& m_book;
    QPrinter* m_printer;
    QPrintPreviewWidget* m_preview = nullptr;
    QComboBox* m_layout = nullptr;
    QComboBox* m_paper = nullptr;
    QCheckBox* m_facing = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    int m_pages = 0;
    bool m_failed = false;
};
