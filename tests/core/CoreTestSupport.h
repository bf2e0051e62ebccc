#pragma once

// Helpers shared by the core tests: a hand-built book file, a host that records what the
// document shows and asks, and small readers of a document's days.

#include "document/TavrinoDoc.h"
#include "platform/core/Document.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Profile.h"
#include "resources/Resource.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtEndian>
#include <cerrno>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <vector>

// The operating system's file calls with faults put in on purpose: a rule fails one call of a
// kind (the nth whose file's path contains a text), lets writes report success without storing
// anything, or runs an action just before such a call (another program at work in between).
class FaultyFileSystem : public FileSystem {
public:
    enum class Call {
        open,
        read,
        write,
        truncate,
        sync,
        rename,
        renameNoReplace,
        link,
        remove,
        syncFolder,
        makeFolder
    };

    // Fails the nth matching call (0: every one from then on) with error.
    void Fail(Call call, int error, const QString& pathContains = {}, int nth = 1) {
        m_rules.push_back({call, pathContains, nth, error, false, nullptr, 0});
    }
    // Matching writes report success and store nothing, as a failing disk may.
    void LoseWrites(const QString& pathContains) {
        m_rules.push_back({Call::write, pathContains, 0, 0, true, nullptr, 0});
    }
    void Before(Call call, std::function<void()> action, const QString& pathContains = {},
                int nth = 1) {
        m_rules.push_back({call, pathContains, nth, 0, false, std::move(action), 0});
    }
    void Clear() { m_rules.clear(); }

    FileStatus Open(const QString& path, int flags, int mode, int& fd) override {
        if (int e = Hit(Call::open, path))
            return Fault(e, path);
        FileStatus s = FileSystem::Open(path, flags, mode, fd);
        if (s.ok())
            m_paths[fd] = path;
        return s;
    }
    void Close(int fd) override {
        m_paths.erase(fd);
        FileSystem::Close(fd);
    }
    FileStatus ReadAt(int fd, qint64 offset, char* data, qint64 size, qint64& got) override {
        if (int e = Hit(Call::read, m_paths[fd]))
            return Fault(e, m_paths[fd]);
        return FileSystem::ReadAt(fd, offset, data, size, got);
    }
    FileStatus WriteAt(int fd, qint64 offset, const char* data, qint64 size) override {
        if (int e = Hit(Call::write, m_paths[fd]))
            return e < 0 ? FileStatus::Ok() : Fault(e, m_paths[fd]);
        return FileSystem::WriteAt(fd, offset, data, size);
    }
    FileStatus Truncate(int fd, qint64 size) override {
        if (int e = Hit(Call::truncate, m_paths[fd]))
            return Fault(e, m_paths[fd]);
        return FileSystem::Truncate(fd, size);
    }
    FileStatus SyncData(int fd) override {
        if (int e = Hit(Call::sync, m_paths[fd]))
            return Fault(e, m_paths[fd]);
        return FileSystem::SyncData(fd);
    }
    FileStatus Rename(const QString& from, const QString& to) override {
        if (int e = Hit(Call::rename, to))
            return Fault(e, to);
        return FileSystem::Rename(from, to);
    }
    FileStatus RenameNoReplace(const QString& from, const QString& to) override {
        if (int e = Hit(Call::renameNoReplace, to))
            return Fault(e, to);
        return FileSystem::RenameNoReplace(from, to);
    }
    FileStatus Link(const QString& from, const QString& to) override {
        if (int e = Hit(Call::link, to))
            return Fault(e, to);
        return FileSystem::Link(from, to);
    }
    FileStatus Remove(const QString& path) override {
        if (int e = Hit(Call::remove, path))
            return Fault(e, path);
        return FileSystem::Remove(path);
    }
    FileStatus SyncFolder(const QString& folder) override {
        if (int e = Hit(Call::syncFolder, folder))
            return Fault(e, folder);
        return FileSystem::SyncFolder(folder);
    }
    FileStatus MakeFolder(const QString& folder, int mode) override {
        if (int e = Hit(Call::makeFolder, folder))
            return Fault(e, folder);
        return FileSystem::MakeFolder(folder, mode);
    }

    // Every call that was failed, as "call path".
    QStringList faults;

private:
    struct Rule {
        Call call;
        QString pathContains;
        int nth;
        int error;
        bool silent;
        std::function<void()> before;
        int seen;
    };

    // The error for this call (-1: pretend it worked), or 0 to make it for real.
    int Hit(Call call, const QString& path) {
        for (Rule& rule : m_rules) {
            if (rule.call != call || !path.contains(rule.pathContains))
                continue;
            ++rule.seen;
            if (rule.nth != 0 && rule.seen != rule.nth)
                continue;
            if (rule.before) {
                rule.before();
                continue;
            }
            faults << QStringLiteral("%1 %2").arg(int(call)).arg(path);
            return rule.silent ? -1 : rule.error;
        }
        return 0;
    }
    static FileStatus Fault(int error, const QString& path) {
        return FileStatus::Failed(error, path);
    }

    std::vector<Rule> m_rules;
    std::map<int, QString> m_paths;
};

// Little-endian bytes of a book file, built by hand so the tests do not trust the writer.
struct Bytes {
    QByteArray b;
    Bytes& hex(const char* h) {
        b += QByteArray::fromHex(h);
        return *this;
    }
    template <typename T>
    Bytes& le(T v) {
        v = qToLittleEndian(v);
        b.append(reinterpret_cast<const char*>(&v), sizeof v);
        return *this;
    }
    Bytes& u32(quint32 v) { return le(v); }
    Bytes& date(double v, quint32 status = 0) {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        return u32(status).le(bits);
    }
    // The short UTF-16 form; longer strings are built with hex().
    Bytes& str(const QString& s) {
        hex("FFFEFF").le(quint8(s.size()));
        for (QChar c : s)
            le(c.unicode());
        return *this;
    }
    // A record whose memo is given and whose other 32 strings are empty.
    Bytes& record(double d, const QString& memo = QString(), quint32 status = 0) {
        date(d, status);
        for (int i = 0; i < 32; ++i)
            str(QString());
        return str(memo);
    }
    operator QByteArray() const { return b; }
};

// One day, 7 July 2009, row 0 "08" / "会議", everything else empty: 156 bytes.
inline QByteArray WorkedExampleBook() {
    Bytes book;
    book.hex("01000000 00000000 0000000020 88E340 FFFEFF00 FFFEFF00 FFFEFF02 30003800"
             "FFFEFF02 1A4F708B FFFEFF00");
    for (int i = 0; i < 28; ++i)
        book.hex("FFFEFF00");
    return book;
}

// Records the messages, the notices and the questions; answers with answer (and overwrite for
// the question before a changed file is overwritten), and offers the profile and the documents
// folder the test sets (the default folder while none is set) and a data folder of its own.
class RecordingHost : public CDocumentHost {
public:
    PlatformKind GetPlatformKind() const override { return kind; }
    void ShowMessage(const QString& text) override { messages << text; }
    int AskSaveChanges(const QString& text) override {
        questions << text;
        return answer;
    }
    int AskOverwrite(const QString& text) override {
        questions << text;
        return overwrite;
    }
    void ShowNotice(const QString& text) override { notices << text; }
    bool CanAskUser() const override { return canAsk; }
    CProfile* GetProfile() override { return profile.get(); }
    QString GetDocumentsFolder() const override {
        return docs.isEmpty() ? CDocumentHost::GetDocumentsFolder() : docs;
    }
    QString GetDataFolder() const override { return data.isEmpty() ? dataDir.path() : data; }
    FileSystem& GetFileSystem() const override { return fs ? *fs : FileSystem::Default(); }

    PlatformKind kind = PlatformKind::Desktop;
    bool canAsk = true;
    int answer = IDNO;
    int overwrite = IDNO;
    QStringList messages, questions, notices;
    std::unique_ptr<CProfile> profile;
    QString docs;
    QString data;
    QTemporaryDir dataDir;
    FileSystem* fs = nullptr;
};

// Writes data to name in dir and returns the file's path.
inline QString PutFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data) {
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    EXPECT_EQ(f.write(data), data.size());
    return path;
}

// The stored dates of the book's days in their order, as raw values.
inline std::vector<double> Dates(const CTavrinoDoc& doc) {
    std::vector<double> out;
    for (const auto& d : doc.GetDays())
        out.push_back(d->m_dayDate.GetValue());
    return out;
}
