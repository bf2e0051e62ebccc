#pragma once

#include "platform/core/CmdTarget.h"
#include "platform/ui/DialogTemplate.h"

#include <QWidget>

class CDataExchange;
class CDocument;

// A window that presents its document; the first stop of a command.
class CView : public QWidget, public CCmdTarget {
    Q_OBJECT
public:
    explicit CView(QWidget* parent = nullptr);

    CDocument* GetDocument() const { return m_pDocument; }
    void SetDocument(CDocument* document) { m_pDocument = document; }

    // Called when a document is attached to the view: at creation and after new and open.
    virtual void OnInitialUpdate();

private:
    CDocument* m_pDocument = nullptr;
};

// A view built from a form template. Its layout follows WM_SIZE, its members follow the
// controls through the data exchange.
class CFormView : public CView {
    Q_OBJECT
public:
    explicit CFormView(const DialogTemplate& formTemplate, QWidget* parent = nullptr);

    // Runs the data exchange from the controls (true) or towards them (false). An unexpected
    // failure is reported with "アプリケーションの内部エラーです。" and gives false.
    bool UpdateData(bool saveAndValidate = true);
    void OnInitialUpdate() override;

    QWidget* GetDlgItem(int id) const;

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    // WM_SIZE: the kind of change and the new client size.
    virtual void OnSize(int type, int cx, int cy);
    void resizeEvent(QResizeEvent* event) override;

private:
    QSize m_templateSize;
};
