#include "app/SyncDlg.h"

#include "app/PlannerSync.h"
#include "platform/core/StringTable.h"
#include "platform/ui/MessageBox.h"
#include "sync/CalDavClient.h"
#include "sync/CalDavDiscovery.h"
#include "sync/DavXml.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QString LongDate(const QDate& date) {
    return QLocale(QLocale::Japanese).toString(date, QStringLiteral("yyyy年M月d日 (ddd)"));
}
} // namespace

CSyncDlg::CSyncDlg(CPlannerSync* sync, const QString& bookPath, QWidget* parent)
    : QDialog(parent), m_sync(sync), m_bookPath(bookPath), m_client(new CalDavClient(this)),
      m_discovery(new CalDavDiscovery(*m_client, this)) {
    setWindowTitle(LoadString(IDS_SYNC_CAPTION));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    m_address = new QLineEdit(this);
    m_address->setPlaceholderText(QStringLiteral("https://"));
    m_user = new QLineEdit(this);
    m_password = new QLineEdit(this);
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(LoadString(IDS_SYNC_ADDRESS), m_address);
    form->addRow(LoadString(IDS_SYNC_USER), m_user);
    form->addRow(LoadString(IDS_SYNC_PASSWORD), m_password);
    layout->addLayout(form);

    m_try = new QPushButton(LoadString(IDS_SYNC_TRY), this);
    m_try->setAutoDefault(false);
    m_tryResult = new QLabel(this);
    m_tryResult->setWordWrap(true);
    auto* tryRow = new QHBoxLayout;
    tryRow->addWidget(m_try);
    tryRow->addWidget(m_tryResult, 1);
    layout->addLayout(tryRow);

    layout->addWidget(new QLabel(LoadString(IDS_SYNC_WAITING), this));
    m_waiting = new QListWidget(this);
    m_waiting->setMaximumHeight(90);
    layout->addWidget(m_waiting);
    layout->addWidget(new QLabel(LoadString(IDS_SYNC_LAST), this));
    m_last = new QPlainTextEdit(this);
    m_last->setReadOnly(true);
    m_last->setMaximumHeight(110);
    layout->addWidget(m_last);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSyncDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSyncDlg::reject);
    connect(m_try, &QPushButton::clicked, this, &CSyncDlg::TryConnection);

    if (const std::optional<SyncAccount::Account> account = m_sync->Account()) {
        m_address->setText(account->calendar.toString());
        m_user->setText(account->user);
        m_password->setText(m_sync->KnownPassword(*account));
    }
    // The account belongs to a book file: an untitled book has none to keep it under.
    if (m_bookPath.isEmpty()) {
        m_tryResult->setText(LoadString(IDS_SYNC_SAVE_FIRST));
        for (QWidget* control : {static_cast<QWidget*>(m_address), static_cast<QWidget*>(m_user),
                                 static_cast<QWidget*>(m_password), static_cast<QWidget*>(m_try),
                                 static_cast<QWidget*>(m_ok)})
            control->setEnabled(false);
    }
    const QList<QDate> waiting = m_sync->Waiting();
    for (const QDate& day : waiting)
        m_waiting->addItem(LongDate(day));
    if (waiting.isEmpty())
        m_waiting->addItem(LoadString(IDS_SYNC_NONE));
    ShowLastSync();
    resize(520, sizeHint().height());
}

CSyncDlg::~CSyncDlg() {
    m_client->AbortAll();
}

QUrl CSyncDlg::CalendarUrl() const {
    const QString text = m_address->text().trimmed();
    if (!text.contains(QLatin1String("://")))
        return QUrl();
    QUrl url(text);
    if (!url.isValid() || url.host().isEmpty())
        return QUrl();
    // A calendar is a collection: its address ends with a slash.
    if (!url.path().endsWith(u'/'))
        url.setPath(url.path() + u'/');
    return url;
}

void CSyncDlg::ShowLastSync() {
    const CPlannerSync::Last& last = m_sync->LastSync();
    QStringList text;
    if (!last.failure.isEmpty())
        text << last.failure;
    if (last.when.isValid()) {
        text << LoadString(IDS_SYNC_LAST_RESULT)
                    .arg(QLocale(QLocale::Japanese)
                             .toString(last.when, QStringLiteral("M月d日 H:mm")))
                    .arg(last.changes)
                    .arg(last.conflicts.size());
        text << last.lines << last.conflicts;
    } else if (last.failure.isEmpty()) {
        text << LoadString(IDS_SYNC_NEVER);
    }
    m_last->setPlainText(text.join(u'\n'));
}

void CSyncDlg::TryConnection() {
    Resolve({});
}

void CSyncDlg::Resolve(std::function<void()> then) {
    const QUrl url = CalendarUrl();
    const QString problem = url.isValid() ? CalDavClient::UrlProblem(url, !m_user->text().isEmpty())
                                          : m_address->text();
    if (!url.isValid() || !problem.isEmpty()) {
        m_tryResult->setText(LoadString(IDP_SYNC_BAD_ADDRESS).arg(problem));
        if (then)
            AfxMessageBox(m_tryResult->text(), MessageButtons::Ok, this);
        return;
    }
    m_tryResult->setText(LoadString(IDS_SYNC_TRYING));
    m_resolved = QUrl();
    m_client->AbortAll();
    m_client->SetCredentials(m_user->text(), m_password->text());
    const QString bookName = QFileInfo(m_bookPath).completeBaseName();
    const QString asked = m_address->text() + u'\n' + m_user->text();
    // A server's address or a calendar home leads to the calendar named after the book, as the
    // book tool finds it; a calendar's own address is taken as it is.
    m_discovery->Find(url, false, [this, url, bookName, asked, then](const DavDiscovery& found) {
        if (!found.ok()) {
            const QString why = found.loginRefused
                                    ? LoadString(IDP_SYNC_LOGIN_REFUSED).arg(m_user->text())
                                    : found.failure;
            m_tryResult->setText(LoadString(IDP_SYNC_FAILED).arg(url.host(), why));
            if (then)
                AfxMessageBox(m_tryResult->text(), MessageButtons::Ok, this);
            return;
        }
        if (found.isCalendar) {
            m_resolved = found.url;
            const DavCalendar* named = found.calendars.empty() ? nullptr : &found.calendars.front();
            m_tryResult->setText(
                LoadString(IDS_SYNC_FOUND)
                    .arg(named ? named->name : found.url.path().section(u'/', -2, -2)));
        } else if (found.missing) {
            m_resolved = url;
            m_tryResult->setText(LoadString(IDS_SYNC_WILL_MAKE).arg(bookName));
        } else if (const DavCalendar* named = CalDavDiscovery::Named(found.calendars, bookName)) {
            m_resolved = named->url;
            m_tryResult->setText(LoadString(IDS_SYNC_FOUND).arg(named->name));
        } else {
            m_resolved = CalDavDiscovery::NewCalendarUrl(found.home, bookName);
            m_tryResult->setText(LoadString(IDS_SYNC_WILL_MAKE).arg(bookName));
        }
        m_resolvedFor = asked;
        if (then)
            then();
    });
}

void CSyncDlg::accept() {
    const auto keep = [this] {
        m_sync->SetUp({m_resolved, m_user->text()}, m_password->text());
        QDialog::accept();
    };
    // The calendar the address leads to, found now unless the last try found it already.
    if (m_resolved.isValid() && m_resolvedFor == m_address->text() + u'\n' + m_user->text())
        keep();
    else
        Resolve(keep);
}
