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

QString DamagedPath(const QString& recoveryFolder) {
    return QDir(recoveryFolder).filePath(QStringLiteral("damaged"));
}

namespace {

void Release(Offer& offer) {
    if (offer.lock)
        offer.lock->unlock();
    offer.lock.reset();
}

// Moves the journal into folder under its own name; false when it stays where it is.
bool MoveInto(const Offer& offer, const QString& folder) {
    const QFileInfo info(offer.path);
    if (!QDir().mkpath(folder))
        return false;
    const QString target = QDir(folder).filePath(info.fileName());
    QFile::remove(target);
    if (!QFile::rename(offer.path, target))
        return false;
    FileSync::SyncFolder(info.absolutePath());
    FileSync::SyncFolder(folder);
    return true;
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
        // before even its header was. Damage is kept, never deleted.
        if (offer.contents.IsDamaged())
            SetAside(offer);
        else if (offer.contents.hasHeader || bytes.isEmpty())
            QFile::remove(offer.path);
        Release(offer);
    }
    // A journal whose header is damaged has no time of its own; its name begins with it.
    std::stable_sort(offers.begin(), offers.end(), [](const Offer& a, const Offer& b) {
        if (a.contents.hasHeader && b.contents.hasHeader)
            return a.contents.header.createdMsecs < b.contents.header.createdMsecs;
        return QFileInfo(a.path).fileName() < QFileInfo(b.path).fileName();
    });
    return offers;
}

bool Decline(Offer& offer) {
    if (offer.contents.IsDamaged())
        return SetAside(offer);
    const QString declined = DeclinedPath(QFileInfo(offer.path).absolutePath());
    const bool moved = MoveInto(offer, declined);
    if (moved) {
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
    if (offer.contents.IsDamaged()) {
        SetAside(offer);
        return;
    }
    QFile::remove(offer.path);
    Release(offer);
}

bool SetAside(Offer& offer) {
    const bool moved = MoveInto(offer, DamagedPath(QFileInfo(offer.path).absolutePath()));
    Release(offer);
    return moved;
}

} // namespace RecoveryFolder
