#pragma once

#include <QApplication>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

// Runs action on the next modal window (a message box or a dialog) once it is shown. The
// action must close it, or the code under test never returns.
inline void OnNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000) {
    auto* timer = new QTimer;
    auto elapsed = std::make_shared<int>(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action, elapsed, timeoutMs] {
        *elapsed += 10;
        QWidget* modal = QApplication::activeModalWidget();
        if ((modal && modal->isVisible()) || *elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            if (modal)
                action(modal);
        }
    });
    timer->start();
}

// A profile and a documents folder of the test's own, in a temporary folder: the real profile
// code reads and writes <dir>/config/VELKORAN/Tavrino.conf.
class TestProfileFolder {
public:
    TestProfileFolder() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, ConfigFolder());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, ConfigFolder());
    }
    QString Path() const { return m_dir.path(); }
    QString ConfigFolder() const { return m_dir.path() + QStringLiteral("/config"); }
    QString DocumentsFolder() const { return m_dir.path() + QStringLiteral("/documents"); }
    QString File(const QString& name) const { return m_dir.filePath(name); }
    // The remembered path, read through a fresh QSettings as the next start would.
    QString Remembered() const {
        QSettings settings(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
        return settings.value(QStringLiteral("Recent File List/File_dat")).toString();
    }
    void Remember(const QString& path) const {
        QSettings settings(QStringLiteral("VELKORAN"), QStringLiteral("Tavrino"));
        settings.setValue(QStringLiteral("Recent File List/File_dat"), path);
    }

private:
    QTemporaryDir m_dir;
};
