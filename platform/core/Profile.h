#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user profile: one string per section and entry under the company and application
// keys. Reading never fails: a missing value, or a profile that cannot be read, gives the default.
class CProfile {
public:
    // The user's profile for company/application (on Windows the registry key
    // Software\company\application, elsewhere Qt's native settings file).
    CProfile(const QString& company, const QString& application);
    // A profile kept in the given INI file; tests use one in a temporary folder.
    explicit CProfile(const QString& iniFilePath);
    ~CProfile();

    QString GetProfileString(const QString& section, const QString& entry,
                             const QString& defaultValue) const;
    bool WriteProfileString(const QString& section, const QString& entry, const QString& value);

private:
    std::unique_ptr<QSettings> m_settings;
};
