#include "sync/SyncState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

namespace {

// 2: entries name the occurrence of a repeating event they are.
const int kSchemaVersion = 2;

const char* UseName(EventText::Use use) {
    switch (use) {
    case EventText::Use::placed:
        return "placed";
    case EventText::Use::followed:
        return "followed";
    case EventText::Use::listed:
        return "listed";
    case EventText::Use::ignored:
        return "ignored";
    }
    return "ignored";
}

EventText::Use UseOf(const QString& name) {
    if (name == QLatin1String("placed"))
        return EventText::Use::placed;
    if (name == QLatin1String("followed"))
        return EventText::Use::followed;
    if (name == QLatin1String("listed"))
        return EventText::Use::listed;
    return EventText::Use::ignored;
}

const char* SlotName(DayEvents::Slot slot) {
    switch (slot) {
    case DayEvents::Slot::heading:
        return "heading";
    case DayEvents::Slot::row:
        return "row";
    case DayEvents::Slot::memo:
        return "memo";
    case DayEvents::Slot::memoLine:
        return "memo-line";
    }
    return "row";
}

DayEvents::Slot SlotOf(const QString& name) {
    if (name == QLatin1String("heading"))
        return DayEvents::Slot::heading;
    if (name == QLatin1String("memo"))
        return DayEvents::Slot::memo;
    if (name == QLatin1String("memo-line"))
        return DayEvents::Slot::memoLine;
    return DayEvents::Slot::row;
}

// Texts are stored as they are; an empty QString must not become NULL.
QVariant Text(const QString& s) {
    return s.isNull() ? QStringLiteral("") : s;
}

} // namespace

struct SyncState::Statements {
    explicit Statements(const QSqlDatabase& db) : item(db), clear(db), entry(db) {}
    QSqlQuery item;
    QSqlQuery clear;
    QSqlQuery entry;
};

SyncState::SyncState() = default;

SyncState::~SyncState() {
    Close();
}

void SyncState::Close() {
    m_put.reset();
    m_inTransaction = false;
    if (m_connection.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
    m_connection.clear();
}

bool SyncState::Exec(const QString& sql) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    if (q.exec(sql))
        return true;
    m_error = q.lastError().text();
    return false;
}

bool SyncState::Open(const QString& file, bool dryRun, QString& problem) {
    Close();
    const QFileInfo info(file);
    const bool inMemory = dryRun && !info.exists();
    if (!inMemory && !QDir().mkpath(info.absolutePath())) {
        problem = QStringLiteral("%1: the folder cannot be made").arg(info.absolutePath());
        return false;
    }
    if (!inMemory)
        QFile::setPermissions(info.absolutePath(), QFileDevice::ReadOwner |
                                                       QFileDevice::WriteOwner |
                                                       QFileDevice::ExeOwner);
    if (!inMemory && !info.exists()) {
        // Made first, readable by the user alone: it holds the calendar's texts.
        QFile made(file);
        if (!made.open(QIODevice::WriteOnly)) {
            problem = QStringLiteral("%1: %2").arg(file, made.errorString());
            return false;
        }
        made.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    m_connection = QStringLiteral("tavrino-sync-") + QUuid::createUuid().toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    if (!db.isValid()) {
        problem = QStringLiteral("Qt's SQLite driver is missing (Debian: libqt6sql6-sqlite)");
        Close();
        return false;
    }
    db.setDatabaseName(inMemory ? QStringLiteral(":memory:") : file);
    if (!db.open()) {
        problem = QStringLiteral("%1: %2").arg(file, db.lastError().text());
        Close();
        return false;
    }
    const bool made =
        Exec(QStringLiteral("PRAGMA foreign_keys = ON")) &&
        // A write-ahead log: each record is one commit with one flush, and whole after a kill.
        (inMemory || Exec(QStringLiteral("PRAGMA journal_mode = WAL"))) &&
        Exec(QStringLiteral("PRAGMA synchronous = FULL")) &&
        Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, "
                            "value TEXT NOT NULL)")) &&
        Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS items (href TEXT PRIMARY KEY, "
                            "uid TEXT NOT NULL, etag BLOB NOT NULL, pending INTEGER NOT NULL, "
                            "newer INTEGER NOT NULL, use TEXT NOT NULL, base BLOB NOT NULL)")) &&
        Exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS entries (href TEXT NOT NULL REFERENCES items(href) "
            "ON DELETE CASCADE, seq INTEGER NOT NULL, date TEXT NOT NULL, slot TEXT NOT NULL, "
            "row INTEGER NOT NULL, prior_time TEXT NOT NULL, time TEXT NOT NULL, "
            "plan TEXT NOT NULL, detail TEXT NOT NULL, occurrence TEXT NOT NULL DEFAULT '', "
            "PRIMARY KEY (href, seq))"));
    if (!made) {
        problem = QStringLiteral("%1: %2").arg(file, m_error);
        Close();
        return false;
    }
    const QString version = Meta(QStringLiteral("schema"));
    if (version == QLatin1String("1")) {
        // A state from before occurrences were named: its repeating events are matched by date
        // once more, and named from then on.
        if (!Exec(QStringLiteral("ALTER TABLE entries ADD COLUMN occurrence TEXT NOT NULL "
                                 "DEFAULT ''")) ||
            !SetMeta(QStringLiteral("schema"), QString::number(kSchemaVersion))) {
            problem = QStringLiteral("%1: %2").arg(file, m_error);
            Close();
            return false;
        }
    } else if (version.isEmpty()) {
        SetMeta(QStringLiteral("schema"), QString::number(kSchemaVersion));
    } else if (version.toInt() != kSchemaVersion) {
        problem = QStringLiteral("%1: a sync state of another version (%2)").arg(file, version);
        Close();
        return false;
    }
    return true;
}

QString SyncState::Meta(const QString& key) const {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
    q.addBindValue(key);
    if (q.exec() && q.next())
        return q.value(0).toString();
    return QString();
}

bool SyncState::SetMeta(const QString& key, const QString& value) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO meta (key, value) VALUES (?, ?)"));
    q.addBindValue(key);
    q.addBindValue(Text(value));
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}

std::map<QString, StateItem> SyncState::Items() const {
    std::map<QString, StateItem> items;
    const QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT href, uid, etag, pending, use, base, newer FROM items"))) {
        m_error = q.lastError().text();
        return items;
    }
    while (q.next()) {
        StateItem item;
        item.href = q.value(0).toString();
        item.uid = q.value(1).toString();
        item.etag = q.value(2).toByteArray();
        item.pending = q.value(3).toInt() != 0;
        item.use = UseOf(q.value(4).toString());
        item.base = q.value(5).toByteArray();
        item.newerThanToken = q.value(6).toInt() != 0;
        items.emplace(item.href, std::move(item));
    }
    QSqlQuery e(db);
    e.setForwardOnly(true);
    if (!e.exec(QStringLiteral("SELECT href, date, slot, row, prior_time, time, plan, detail, "
                               "occurrence FROM entries ORDER BY href, seq"))) {
        m_error = e.lastError().text();
        return items;
    }
    while (e.next()) {
        const auto it = items.find(e.value(0).toString());
        if (it == items.end())
            continue;
        DayEvents::Entry entry;
        entry.date = QDate::fromString(e.value(1).toString(), Qt::ISODate);
        entry.slot = SlotOf(e.value(2).toString());
        entry.row = e.value(3).toInt();
        entry.priorTime = e.value(4).toString();
        entry.fields = {e.value(5).toString(), e.value(6).toString(), e.value(7).toString()};
        entry.occurrence = e.value(8).toString();
        it->second.entries.push_back(entry);
    }
    return items;
}

bool SyncState::Put(const StateItem& item) {
    // One item is one commit (or part of the caller's transaction, which a failure rolls back
    // whole): never an item without its entries.
    if (m_inTransaction)
        return PutItem(item);
    if (!Exec(QStringLiteral("SAVEPOINT item")))
        return false;
    if (PutItem(item))
        return Exec(QStringLiteral("RELEASE item"));
    const QString error = m_error;
    Exec(QStringLiteral("ROLLBACK TO item"));
    Exec(QStringLiteral("RELEASE item"));
    m_error = error;
    return false;
}

bool SyncState::PutItem(const StateItem& item) {
    if (!m_put) {
        auto put = std::make_unique<Statements>(QSqlDatabase::database(m_connection, false));
        if (!put->item.prepare(QStringLiteral(
                "INSERT OR REPLACE INTO items (href, uid, etag, pending, newer, use, base) "
                "VALUES (?, ?, ?, ?, ?, ?, ?)")) ||
            !put->clear.prepare(QStringLiteral("DELETE FROM entries WHERE href = ?")) ||
            !put->entry.prepare(QStringLiteral(
                "INSERT INTO entries (href, seq, date, slot, row, prior_time, time, plan, "
                "detail, occurrence) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"))) {
            m_error = put->item.lastError().text() + put->clear.lastError().text() +
                      put->entry.lastError().text();
            return false;
        }
        m_put = std::move(put);
    }
    QSqlQuery& q = m_put->item;
    q.addBindValue(item.href);
    q.addBindValue(Text(item.uid));
    q.addBindValue(item.etag.isNull() ? QByteArray("") : item.etag);
    q.addBindValue(item.pending ? 1 : 0);
    q.addBindValue(item.newerThanToken ? 1 : 0);
    q.addBindValue(QString::fromLatin1(UseName(item.use)));
    q.addBindValue(item.base.isNull() ? QByteArray("") : item.base);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    // INSERT OR REPLACE deletes the old row, and with it (by the foreign key) its entries.
    QSqlQuery& clear = m_put->clear;
    clear.addBindValue(item.href);
    if (!clear.exec()) {
        m_error = clear.lastError().text();
        return false;
    }
    QSqlQuery& e = m_put->entry;
    int seq = 0;
    for (const DayEvents::Entry& entry : item.entries) {
        e.addBindValue(item.href);
        e.addBindValue(seq++);
        e.addBindValue(entry.date.toString(Qt::ISODate));
        e.addBindValue(QString::fromLatin1(SlotName(entry.slot)));
        e.addBindValue(entry.row);
        e.addBindValue(Text(entry.priorTime));
        e.addBindValue(Text(entry.fields.time));
        e.addBindValue(Text(entry.fields.plan));
        e.addBindValue(Text(entry.fields.detail));
        e.addBindValue(Text(entry.occurrence));
        if (!e.exec()) {
            m_error = e.lastError().text();
            return false;
        }
    }
    return true;
}

bool SyncState::Remove(const QString& href) {
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.prepare(QStringLiteral("DELETE FROM items WHERE href = ?"));
    q.addBindValue(href);
    if (q.exec())
        return true;
    m_error = q.lastError().text();
    return false;
}

bool SyncState::ClearNewerThanToken() {
    return Exec(QStringLiteral("UPDATE items SET newer = 0"));
}

bool SyncState::Begin() {
    m_inTransaction = Exec(QStringLiteral("BEGIN IMMEDIATE"));
    return m_inTransaction;
}

bool SyncState::Commit() {
    const bool committed = Exec(QStringLiteral("COMMIT"));
    m_inTransaction = m_inTransaction && !committed;
    return committed;
}

void SyncState::Rollback() {
    m_inTransaction = false;
    Exec(QStringLiteral("ROLLBACK"));
}
