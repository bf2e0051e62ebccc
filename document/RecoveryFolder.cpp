#include "document/RecoveryFolder.h"

#include "platform/core/FileSync.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <algorithm>

namespace RecoveryFolder {

QString Path(const QString& dataFolder) {
    return QDir(dataFolder).filePath(QStringLiteral("recovery"));
}

QString DeclinedPath(const QString& recoveryFolder) {
    return QDir(recoveryFolder).filePath(QStringLiteral("declined"));
}

namespace {

void Release(Offer& offer) {
    if (offer.lock)
        offer.lock->unlock();
    offer.lock.reset();
}

} // namespace

std::vector<Offer> Offers(const QString& recoveryFolder) {
    std::vector<Offer> offers;
    const QDir dir(recoveryFolder);
    const QStringList names =
        dir.entryList({QStringLiteral("*.journal")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        Offer offer;
        offer.path = dir.filePath(name);
        auto lock = std::make_shared<QLockFile>(offer.path + QStringLiteral(".lock"));
        lock->setStaleLockTime(0);
        // Held: a running planner is writing it. A dead planner's lock is taken over.
        if (!lock->tryLock(0))
            continue;
        offer.lock = std::move(lock);
        QFile file(offer.path);
        if (!file.open(QIODevice::ReadOnly)) {
            Release(offer);
            continue;
        }
        const QByteArray bytes = file.readAll();
        file.close();
        offer.contents = JournalReader::Read(bytes);
        if (!offer.contents.days.empty()) {
            offers.push_back(std::move(offer));
            continue;
        }
        // Nothing to give back: a planner that died before its first day was written, or
        // before even its header was.
        if (offer.contents.hasHeader || bytes.isEmpty())
            QFile::remove(offer.path);
        Release(offer);
    }
    std::stable_sort(offers.begin(), offers.end(), [](const Offer& a, const Offer& b) {
        return a.contents.header.createdMsecs < b.contents.header.createdMsecs;
    });
    return offers;
}

bool Decline(Offer& offer) {
    const QFileInfo info(offer.path);
    const QString declined = DeclinedPath(info.absolutePath());
    bool moved = QDir().mkpath(declined);
    if (moved) {
        const QString target = QDir(declined).filePath(info.fileName());
        QFile::remove(target);
        moved = QFile::rename(offer.path, target);
    }
    if (moved) {
        FileSync::SyncFolder(info.absolutePath());
        // The oldest go first; names begin with the time the journal began.
        QDir dir(declined);
        QStringList kept = dir.entryList({QStringLiteral("*.journal")}, QDir::Files, QDir::Name);
        while (kept.size() > kDeclinedKept)
            QFile::remove(dir.filePath(kept.takeFirst()));
    }
    Release(offer);
    return moved;
}

void Remove(Offer& offer) {
    QFile::remove(offer.path);
    Release(offer);
}

} // namespace RecoveryFolder
