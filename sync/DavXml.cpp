#include "sync/DavXml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace DavXml {

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCalDav = QStringLiteral("urn:ietf:params:xml:ns:caldav");

class Writer {
public:
    Writer() : m_xml(&m_bytes) {
        m_xml.writeStartDocument();
        m_xml.writeNamespace(kDav, QStringLiteral("D"));
        m_xml.writeNamespace(kCalDav, QStringLiteral("C"));
    }
    QXmlStreamWriter* operator->() { return &m_xml; }
    QByteArray Done() {
        m_xml.writeEndDocument();
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    QXmlStreamWriter m_xml;
};

} // namespace

QByteArray PropfindCollection(bool withSyncToken) {
    Writer w;
    w->writeStartElement(kDav, QStringLiteral("propfind"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeEmptyElement(kDav, QStringLiteral("resourcetype"));
    w->writeEmptyElement(kDav, QStringLiteral("displayname"));
    if (withSyncToken)
        w->writeEmptyElement(kDav, QStringLiteral("sync-token"));
    w->writeEndElement();
    w->writeEndElement();
    return w.Done();
}

QByteArray PropfindEtags() {
    Writer w;
    w->writeStartElement(kDav, QStringLiteral("propfind"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeEmptyElement(kDav, QStringLiteral("resourcetype"));
    w->writeEmptyElement(kDav, QStringLiteral("getetag"));
    w->writeEndElement();
    w->writeEndElement();
    return w.Done();
}

QByteArray SyncCollection(const QString& token) {
    Writer w;
    w->writeStartElement(kDav, QStringLiteral("sync-collection"));
    w->writeTextElement(kDav, QStringLiteral("sync-token"), token);
    w->writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeEmptyElement(kDav, QStringLiteral("getetag"));
    w->writeEndElement();
    w->writeEndElement();
    return w.Done();
}

QByteArray CalendarMultiget(const QStringList& hrefs) {
    Writer w;
    w->writeStartElement(kCalDav, QStringLiteral("calendar-multiget"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeEmptyElement(kDav, QStringLiteral("getetag"));
    w->writeEmptyElement(kCalDav, QStringLiteral("calendar-data"));
    w->writeEndElement();
    for (const QString& href : hrefs)
        w->writeTextElement(kDav, QStringLiteral("href"), href);
    w->writeEndElement();
    return w.Done();
}

QByteArray MkCalendar(const QString& displayName) {
    Writer w;
    w->writeStartElement(kCalDav, QStringLiteral("mkcalendar"));
    w->writeStartElement(kDav, QStringLiteral("set"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeTextElement(kDav, QStringLiteral("displayname"), displayName);
    w->writeStartElement(kCalDav, QStringLiteral("supported-calendar-component-set"));
    w->writeEmptyElement(kCalDav, QStringLiteral("comp"));
    w->writeAttribute(QStringLiteral("name"), QStringLiteral("VEVENT"));
    w->writeEndElement();
    w->writeEndElement();
    w->writeEndElement();
    w->writeEndElement();
    return w.Done();
}

QByteArray PropfindPrincipal() {
    Writer w;
    w->writeStartElement(kDav, QStringLiteral("propfind"));
    w->writeStartElement(kDav, QStringLiteral("prop"));
    w->writeEmptyElement(kDav, QStringLiteral("resourcetype"));
    w->writeEmptyElement(kDav, QStringLiteral("displayname"));
    w->writeEmptyElement(kDav, QStringLiteral("current-user-principal"));
    w->writeEmptyElement(kCalDav, QStringLiteral("calendar-home-set"));
    w->writeEndElement();
    w->writeEndElement();
    return w.Done();
}

namespace {

// "HTTP/1.1 404 Not Found" -> 404.
int StatusCode(const QString& line) {
    const QStringList parts = line.simplified().split(u' ');
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

bool Is(const QXmlStreamReader& xml, const QString& ns, const char* name) {
    return xml.namespaceUri() == ns && xml.name() == QLatin1String(name);
}

// The first href inside the current element, which is then left.
QString FirstHref(QXmlStreamReader& xml) {
    QString href;
    while (xml.readNextStartElement()) {
        if (href.isEmpty() && Is(xml, kDav, "href"))
            href = xml.readElementText().trimmed();
        else
            xml.skipCurrentElement();
    }
    return href;
}

void ReadProp(QXmlStreamReader& xml, Entry& entry) {
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "getetag")) {
            const QString etag = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entry.etag = etag.trimmed().toUtf8();
        } else if (Is(xml, kCalDav, "calendar-data")) {
            const QString data = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entry.calendarData = data.toUtf8();
        } else if (Is(xml, kDav, "displayname")) {
            const QString name = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entry.displayName = name;
        } else if (Is(xml, kDav, "sync-token")) {
            const QString token = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            entry.syncToken = token.trimmed();
            entry.hasSyncToken = true;
        } else if (Is(xml, kDav, "current-user-principal")) {
            entry.principal = FirstHref(xml);
        } else if (Is(xml, kCalDav, "calendar-home-set")) {
            entry.calendarHome = FirstHref(xml);
        } else if (Is(xml, kDav, "resourcetype")) {
            while (xml.readNextStartElement()) {
                if (Is(xml, kDav, "collection"))
                    entry.collection = true;
                else if (Is(xml, kCalDav, "calendar"))
                    entry.calendar = true;
                xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
}

// A propstat's status may come after its prop, so the prop is read into a scratch entry first.
void ReadPropstat(QXmlStreamReader& xml, Entry& entry) {
    Entry found;
    int status = 0;
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "status"))
            status = StatusCode(xml.readElementText());
        else if (Is(xml, kDav, "prop"))
            ReadProp(xml, found);
        else
            xml.skipCurrentElement();
    }
    // Properties a server does not have come in a propstat of their own (404): the item is
    // there when any propstat succeeded.
    if (status / 100 != 2) {
        if (entry.status == 0)
            entry.status = status;
        return;
    }
    entry.status = status;
    if (!found.etag.isEmpty())
        entry.etag = found.etag;
    if (!found.calendarData.isEmpty())
        entry.calendarData = found.calendarData;
    if (!found.displayName.isEmpty())
        entry.displayName = found.displayName;
    if (found.hasSyncToken) {
        entry.syncToken = found.syncToken;
        entry.hasSyncToken = true;
    }
    if (!found.principal.isEmpty())
        entry.principal = found.principal;
    if (!found.calendarHome.isEmpty())
        entry.calendarHome = found.calendarHome;
    entry.collection = entry.collection || found.collection;
    entry.calendar = entry.calendar || found.calendar;
}

} // namespace

Multistatus Parse(const QByteArray& bytes) {
    Multistatus result;
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || !Is(xml, kDav, "multistatus")) {
        result.problem = xml.hasError() ? xml.errorString()
                                        : QStringLiteral("the answer is not a WebDAV multistatus");
        return result;
    }
    while (xml.readNextStartElement()) {
        if (Is(xml, kDav, "response")) {
            Entry entry;
            int ownStatus = 0;
            while (xml.readNextStartElement()) {
                if (Is(xml, kDav, "href"))
                    entry.href = xml.readElementText().trimmed();
                else if (Is(xml, kDav, "status"))
                    ownStatus = StatusCode(xml.readElementText());
                else if (Is(xml, kDav, "propstat"))
                    ReadPropstat(xml, entry);
                else
                    xml.skipCurrentElement();
            }
            if (ownStatus != 0)
                entry.status = ownStatus;
            result.entries.push_back(std::move(entry));
        } else if (Is(xml, kDav, "sync-token")) {
            result.syncToken = xml.readElementText().trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError()) {
        result.problem = QStringLiteral("the answer is not well-formed XML: %1, line %2")
                             .arg(xml.errorString())
                             .arg(xml.lineNumber());
        return result;
    }
    result.ok = true;
    return result;
}

QString HrefKey(const QUrl& collection, const QString& href) {
    const QUrl resolved = collection.resolved(QUrl::fromEncoded(href.toUtf8(), QUrl::TolerantMode));
    return QUrl::fromPercentEncoding(resolved.path(QUrl::FullyEncoded).toUtf8());
}

QUrl ItemUrl(const QUrl& collection, const QString& path) {
    QUrl url = collection;
    url.setPath(path, QUrl::DecodedMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QString MemberKey(const QUrl& collection, const QString& name) {
    QString base = HrefKey(collection, collection.toString(QUrl::FullyEncoded));
    if (!base.endsWith(u'/'))
        base += u'/';
    return base + name;
}

} // namespace DavXml
