#pragma once

#include <QString>
#include <functional>
#include <memory>

class CDocument;
class CFrameWnd;
class CView;
class CWinApp;

// Binds the one document, the one frame and the one view. They are made once, on the first new
// or open, and reused for every later one.
class CSingleDocTemplate {
public:
    using DocumentFactory = std::function<CDocument*()>;
    using FrameFactory = std::function<CFrameWnd*()>;
    using ViewFactory = std::function<CView*()>;

    CSingleDocTemplate(int resourceId, DocumentFactory document, FrameFactory frame,
                       ViewFactory view);
    ~CSingleDocTemplate();

    // The new-document procedure for an empty path, otherwise the reading part of the open-path
    // procedure. Returns the document, or null when it failed (its message already shown).
    CDocument* OpenDocumentFile(const QString& path, CWinApp* app);

    CDocument* GetDocument() const { return m_document.get(); }
    CFrameWnd* GetFrame() const { return m_frame.get(); }
    // One of the seven fields of the document-template string.
    QString GetDocString(int index) const;

private:
    bool CreateDocumentAndFrame(CWinApp* app);
    void DestroyDocumentAndFrame();
    void SetDefaultTitle();

    int m_resourceId;
    DocumentFactory m_documentFactory;
    FrameFactory m_frameFactory;
    ViewFactory m_viewFactory;
    std::unique_ptr<CFrameWnd> m_frame;
    std::unique_ptr<CDocument> m_document;
};
