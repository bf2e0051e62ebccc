#pragma once

#include <QString>
#include <QUrl>
#include <functional>

// The account's password in the desktop's keyring (the Secret Service, through QtKeychain),
// where the planner keeps it; never in a file of ours.
namespace SyncPassword {

// The keyring entry of an account: one service, a key per user and calendar.
QString Service();
QString Key(const QUrl& calendar, const QString& user);

// Looks the password up; done runs from the event loop with the password, or with an empty one
// and why (no keyring running, no such entry).
void Read(const QUrl& calendar, const QString& user,
          std::function<void(const QString& password, const QString& problem)> done);

// Keeps the password in the keyring; done runs from the event loop with an empty problem once it
// is kept, or with why it is not (no keyring running: the caller keeps it for this run only).
void Write(const QUrl& calendar, const QString& user, const QString& password,
           std::function<void(const QString& problem)> done);

} // namespace SyncPassword
