#include "sync/SyncAccount.h"

#include "platform/core/Crc32c.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace SyncAccount {

namespace {

const QFileDevice::Permissions kOwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

QString Code(const QByteArray& bytes) {
    return QStringLiteral("%1").arg(Crc32c(bytes.constData(), bytes.size()), 8, 16,
                                    QLatin1Char('0'));
}

// A group per book, named by a code of its key: QSettings keys cannot hold a path's slashes.
QString Group(const QString& key) {
    return QStringLiteral("book-") + Code(key.toUtf8());
}

} // namespace

QString File() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("sync-accounts.ini"));
}

QString BookKey(const QString& book) {
    const QFileInfo info(book);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

std::optional<Account> Load(const QString& book) {
    if (!QFileInfo::exists(File()))
        return std::nullopt;
    const QString key = BookKey(book);
    QSettings settings(File(), QSettings::IniFormat);
    settings.beginGroup(Group(key));
    if (settings.value(QStringLiteral("book")).toString() != key)
        return std::nullopt;
    Account account;
    account.calendar = QUrl(settings.value(QStringLiteral("calendar")).toString());
    account.user = settings.value(QStringLiteral("user")).toString();
    if (!account.calendar.isValid())
        return std::nullopt;
    return account;
}

bool Save(const QString& book, const Account& account, QString& problem) {
    const QString file = File();
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
        problem =
            QStringLiteral("%1: the folder cannot be made").arg(QFileInfo(file).absolutePath());
        return false;
    }
    if (!QFileInfo::exists(file)) {
        // Made readable by the user alone before anything is in it; QSettings keeps the
        // permissions of the file it replaces.
        QFile made(file);
        if (!made.open(QIODevice::WriteOnly)) {
            problem = QStringLiteral("%1: %2").arg(file, made.errorString());
            return false;
        }
        made.setPermissions(kOwnerOnly);
    }
    const QString key = BookKey(book);
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.beginGroup(Group(key));
        settings.setValue(QStringLiteral("book"), key);
        settings.setValue(QStringLiteral("calendar"), account.calendar.toString());
        settings.setValue(QStringLiteral("user"), account.user);
        settings.endGroup();
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            problem = QStringLiteral("%1: the accounts could not be written").arg(file);
            return false;
        }
    }
    QFile::setPermissions(file, kOwnerOnly);
    return true;
}

QString StateFile(const QString& dataFolder, const QString& book, const QUrl& calendar) {
    const QString key = BookKey(book) + u'\n' + calendar.toString(QUrl::FullyEncoded);
    return QDir(dataFolder)
        .filePath(QStringLiteral("sync/%1-%2.sqlite")
                      .arg(QFileInfo(book).completeBaseName(), Code(key.toUtf8())));
}

} // namespace SyncAccount
