#include "sync/SyncPassword.h"

#include <qt6keychain/keychain.h>

namespace SyncPassword {

QString Service() {
    return QStringLiteral("Tavrino");
}

QString Key(const QUrl& calendar, const QString& user) {
    return user + u'@' + calendar.toString(QUrl::FullyEncoded);
}

void Read(const QUrl& calendar, const QString& user,
          std::function<void(const QString& password, const QString& problem)> done) {
    auto* job = new QKeychain::ReadPasswordJob(Service());
    job->setAutoDelete(true);
    job->setKey(Key(calendar, user));
    QObject::connect(job, &QKeychain::Job::finished, job, [done](QKeychain::Job* finished) {
        const auto* read = static_cast<QKeychain::ReadPasswordJob*>(finished);
        if (read->error() == QKeychain::NoError)
            done(read->textData(), QString());
        else
            done(QString(), read->errorString());
    });
    job->start();
}

void Write(const QUrl& calendar, const QString& user, const QString& password,
           std::function<void(const QString& problem)> done) {
    auto* job = new QKeychain::WritePasswordJob(Service());
    job->setAutoDelete(true);
    job->setKey(Key(calendar, user));
    job->setTextData(password);
    // Only the Secret Service: QtKeychain's fallback would write the password to a file.
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, job, [done](QKeychain::Job* finished) {
        done(finished->error() == QKeychain::NoError ? QString() : finished->errorString());
    });
    job->start();
}

} // namespace SyncPassword
