#pragma once

// Helpers shared by the core tests: a hand-built book file, a host that records what the
// document shows and asks, and small readers of a document's days.

#include "document/TavrinoDoc.h"
#include "platform/core/Document.h"
#include "platform/core/Profile.h"
#include "resources/Resource.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

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

    PlatformKind kind = PlatformKind::Desktop;
    bool canAsk = true;
    int answer = IDNO;
    int overwrite = IDNO;
    QStringList messages, questions, notices;
    std::unique_ptr<CProfile> profile;
    QString docs;
    QString data;
    QTemporaryDir dataDir;
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
