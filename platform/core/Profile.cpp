#include "platform/core/Profile.h"

#include <QSettings>

CProfile::CProfile(const QString& company, const QString& application)
    : m_settings(std::make_unique<QSettings>(company, application)) {}

CProfile::CProfile(const QString& iniFilePath)
    : m_settings(std::make_unique<QSettings>(iniFilePath, QSettings::IniFormat)) {}

CProfile::~CProfile() = default;

QString CProfile::GetProfileString(const QString& section, const QString& entry,
                                   const QString& defaultValue) const {
    if (m_settings->status() != QSettings::NoError)
        return defaultValue;
    const QVariant value = m_settings->value(section + QLatin1Char('/') + entry);
    if (!value.isValid() || !value.canConvert<QString>())
        return defaultValue;
    return value.toString();
}

bool CProfile::WriteProfileString(const QString& section, const QString& entry,
                                  const QString& value) {
    const QString key = section + QLatin1Char('/') + entry;
    // Every save remembers its book: a value the file holds already (another planner's writes
    // read in first) is not written again, which would cost a whole rewrite of the file.
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError && m_settings->value(key) == value)
        return true;
    m_settings->setValue(key, value);
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}
