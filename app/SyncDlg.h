#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

class CalDavClient;
class CalDavDiscovery;
class CPlannerSync;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

// ツール › 同期...: the calendar the open book is kept in step with (the account the book tool
// remembers too), a try of the connection that names the calendar found or to be made, the
// server's changes that wait for the user's save, and how the last sync went.
class CSyncDlg : public QDialog {
    Q_OBJECT
public:
    CSyncDlg(CPlannerSync* sync, const QString& bookPath, QWidget* parent = nullptr);
    ~CSyncDlg() override;

    QLineEdit* AddressEdit() const { return m_address; }
    QLineEdit* UserEdit() const { return m_user; }
    QLineEdit* PasswordEdit() const { return m_password; }
    QPushButton* TryButton() const { return m_try; }
    QLabel* TryResult() const { return m_tryResult; }
    QListWidget* WaitingList() const { return m_waiting; }
    QPlainTextEdit* LastSync() const { return m_last; }

    void accept() override;

private:
    // The address as a calendar collection's URL (ending with a slash); invalid when it is none.
    QUrl CalendarUrl() const;
    void TryConnection();
    // Finds the calendar the address leads to and says what was found; then runs once it is.
    void Resolve(std::function<void()> then);
    void ShowLastSync();

    CPlannerSync* m_sync;
    QString m_bookPath;
    QLineEdit* m_address;
    QLineEdit* m_user;
    QLineEdit* m_password;
    QPushButton* m_try;
    QLabel* m_tryResult;
    QListWidget* m_waiting;
    QPlainTextEdit* m_last;
    QPushButton* m_ok;
    CalDavClient* m_client;
    CalDavDiscovery* m_discovery;
    QUrl m_resolved;       // the calendar found (or to be made) by the last try
    QString m_resolvedFor; // the address and user it was found for
};
