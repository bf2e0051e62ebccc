#include "tools/book/BookIo.h"

#include "document/TavrinoDoc.h"
#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/SourceFile.h"
#include "platform/core/StringTable.h"

#include <new>

namespace BookIo {

namespace {

// Keeps what the document would show in a message box; asks nothing and has no profile.
class RecordingHost : public CDocumentHost {
public:
    PlatformKind GetPlatformKind() const override { return PlatformKind::Desktop; }
    void ShowMessage(const QString& text) override { m_message = text; }
    int AskSaveChanges(const QString&) override { return IDCANCEL; }
    bool CanAskUser() const override { return false; }

    QString m_message;
};

} // namespace

ReadResult Read(const QString& path) {
    ReadResult result;
    try {
        OpenBookSource(path, [&result](CArchive& ar) {
            BookFile::ReadDays(ar, CYoteiDay::kRows, result.days);
            result.trailingBytes = ar.BytesRemaining();
        });
        result.ok = true;
    } catch (const CException& e) {
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::open);
        if (const auto* damage = dynamic_cast<const CArchiveException*>(&e))
            result.damage = damage->Describe();
    } catch (const std::bad_alloc&) {
        const CMemoryException e;
        result.message = CDocument::SaveLoadExceptionText(path, &e, FileOperation::open);
    }
    return result;
}

bool Write(const QString& path, DayList days, QString& message) {
    RecordingHost host;
    CTavrinoDoc doc;
    doc.SetHost(&host);
    doc.m_days = std::move(days);
    if (doc.OnSaveDocument(path))
        return true;
    message = host.m_message.isEmpty() ? LoadString(AFX_IDP_FAILED_TO_SAVE_DOC) : host.m_message;
    return false;
}

} // namespace BookIo
