#pragma once

#include <QString>
#include <QUrl>
#include <optional>

// The calendar a book syncs with, remembered per book in the per-user configuration folder
// (never the planner's profile), so that `tavrino-book sync BOOK` and the planner repeat it. No
// password is ever kept here.
namespace SyncAccount {

struct Account {
    QUrl calendar;
    QString user;
};

// The file that remembers the accounts, readable by the user alone.
QString File();
// The key a book is known by: its canonical path, or its absolute path while it does not exist.
QString BookKey(const QString& book);

std::optional<Account> Load(const QString& book);
bool Save(const QString& book, const Account& account, QString& problem);

// The sync state of a book and a calendar in the per-user data folder: named after the book,
// with a code of the book's path and the calendar, so a book moved elsewhere starts afresh.
QString StateFile(const QString& dataFolder, const QString& book, const QUrl& calendar);

} // namespace SyncAccount
