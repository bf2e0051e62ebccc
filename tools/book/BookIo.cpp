#include "tools/book/BookIo.h"

#include "document/TavrinoDoc.h"
#include "platform/core/Archive.h"
#include "platform/core/Exceptions.h"
#include "platform/core/FrameworkIds.h"
#include "platform/core/StringTable.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
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

// The planner's text for a file it cannot open: the document opens it once more and reports.
QString PlannerOpenMessage(const QString& path) {
    RecordingHost host;
    CTavrinoDoc doc;
    doc.SetHost(&host);
    if (!doc.OnOpenDocument(path) && !host.m_message.isEmpty())
        return host.m_message;
    // The file changed between the two readings.
    return LoadString(AFX_IDP_FAILED_TO_OPEN_DOC);
}

} // namespace

ReadResult Read(const QString& path) {
    ReadResult result;
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        result.message = PlannerOpenMessage(path);
        return result;
    }
    // A pipe tells no size: take all of it first, as the planner does.
    QByteArray pipedBytes;
    QBuffer buffer(&pipedBytes);
    QIODevice* device = &file;
    if (file.isSequential()) {
        pipedBytes = file.readAll();
        buffer.open(QIODevice::ReadOnly);
        device = &buffer;
    }
    // As in the planner, an empty file is an empty book.
    if (device->size() == 0) {
        result.ok = true;
        return result;
    }
    const QByteArray head = device->peek(4);
    if (head.size() == 4)
        result.storedCount = qFromLittleEndian<quint32>(head.constData());
    try {
        CArchive ar(device, CArchive::load, QFileInfo(path).absoluteFilePath());
        BookFile::ReadDays(ar, CYoteiDay::kRows, result.days);
        result.trailingBytes = ar.BytesRemaining();
        result.ok = true;
    } catch (const CException& e) {
        result.message =
            CDocument::SaveLoadExceptionText(path, &e, false, AFX_IDP_FAILED_TO_OPEN_DOC);
    } catch (const std::bad_alloc&) {
        result.message = LoadString(AFX_IDP_FAILED_TO_OPEN_DOC);
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
