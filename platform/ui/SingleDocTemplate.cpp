#include "platform/ui/SingleDocTemplate.h"

#include "platform/core/Document.h"
#include "platform/core/StringTable.h"
#include "platform/ui/FrameWnd.h"
#include "platform/ui/MessageBox.h"
#include "platform/ui/View.h"
#include "platform/ui/WinApp.h"

#include <QApplication>
#include <QGuiApplication>

namespace {
// The wait cursor for the length of a file operation.
class WaitCursor {
public:
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};
} // namespace

CSingleDocTemplate::CSingleDocTemplate(int resourceId, DocumentFactory document, FrameFactory frame,
                                       ViewFactory view)
    : m_resourceId(resourceId), m_documentFactory(std::move(document)),
      m_frameFactory(std::move(frame)), m_viewFactory(std::move(view)) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    DestroyDocumentAndFrame();
}

QString CSingleDocTemplate::GetDocString(int index) const {
    const QStringList fields = LoadString(m_resourceId).split(QLatin1Char('\n'));
    return index >= 0 && index < fields.size() ? fields[index] : QString();
}

bool CSingleDocTemplate::CreateDocumentAndFrame(CWinApp* app) {
    m_document.reset(m_documentFactory ? m_documentFactory() : nullptr);
    if (m_document) {
        m_document->SetHost(app);
        m_frame.reset(m_frameFactory ? m_frameFactory() : nullptr);
        if (m_frame && m_frame->LoadFrame(app, m_document.get(), m_viewFactory))
            return true;
    }
    AfxMessageBox(LoadString(AFX_IDP_FAILED_TO_CREATE_DOC));
    DestroyDocumentAndFrame();
    return false;
}

void CSingleDocTemplate::DestroyDocumentAndFrame() {
    // The frame holds the view, which refers to the document: the frame goes first.
    m_frame.reset();
    m_document.reset();
}

void CSingleDocTemplate::SetDefaultTitle() {
    const QString name = GetDocString(1);
    m_document->SetTitle(name.isEmpty() ? LoadString(AFX_IDS_UNTITLED) : name);
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const QString& path, CWinApp* app) {
    bool created = false;
    if (m_document) {
        if (!m_document->SaveModified())
            return nullptr;
    } else {
        if (!CreateDocumentAndFrame(app))
            return nullptr;
        created = true;
    }

    if (path.isEmpty()) {
        SetDefaultTitle();
        if (!m_document->OnNewDocument()) {
            if (created)
                DestroyDocumentAndFrame();
            return nullptr;
        }
    } else {
        const WaitCursor wait;
        const bool wasModified = m_document->IsModified();
        m_document->SetModifiedFlag(false);
        if (!m_document->OnOpenDocument(path)) {
            // The document has shown its message and kept its book, path and title.
            if (created) {
                DestroyDocumentAndFrame();
            } else if (!m_document->IsModified()) {
                m_document->SetModifiedFlag(wasModified);
            } else {
                SetDefaultTitle();
                m_document->OnNewDocument();
            }
            return nullptr;
        }
        m_document->SetPathName(path);
    }
    m_frame->InitialUpdateFrame();
    return m_document.get();
}
