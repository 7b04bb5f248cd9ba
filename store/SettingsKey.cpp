#include "SettingsKey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

TSettingsKey::TSettingsKey(QString filePath)
    : m_path(std::move(filePath))
{
}

void TSettingsKey::open()
{
    m_values.clear();
    m_corrupt = false;
    m_dirty = false;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_unreadable.clear();
    const QFileInfo info(m_path);
    if (!info.exists() && !info.isSymLink())
        return;
    QFile file(m_path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        // Never replace what we could not read: it may hold the user's settings.
        m_unreadable = info.isDir() ? QStringLiteral("it is a directory") : file.errorString();
        return;
    }
    if (file.size() > SettingsFile::kMaxFileSize) {
        m_corrupt = true;
        return;
    }
    const auto values = SettingsFile::decode(file.readAll(), kKeyPath);
    if (values)
        m_values = *values;
    else
        m_corrupt = true;
}

bool TSettingsKey::close(QString *error)
{
    if (!m_dirty)
        return true;
    if (!m_unreadable.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1 could not be read (%2), so it was left as it is.").arg(m_path, m_unreadable);
        return false;
    }
    if (m_corrupt) {
        // Keep what the user had: the unreadable file goes aside, not away.
        const QString aside = m_path + QStringLiteral(".corrupt");
        QFile::remove(aside);
        if (!QFile::copy(m_path, aside)) {
            if (error)
                *error = QStringLiteral("%1 is damaged and could not be kept as %2, so it was left as it is.")
                             .arg(m_path, aside);
            return false;
        }
    }
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    // It holds passwords: for the user's eyes alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(SettingsFile::encode(kKeyPath, m_values));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    m_corrupt = false;
    m_dirty = false;
    return true;
}

std::optional<QString> TSettingsKey::readString(const QString &name) const
{
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd())
        return QString();
    if (it->kind != TSettingsValue::Text)
        return std::nullopt;
    // A text ends at its first NUL character, as the registry reads it.
    const qsizetype nul = it->text.indexOf(QChar(0));
    return nul < 0 ? it->text : it->text.left(nul);
}

std::optional<qint32> TSettingsKey::readInteger(const QString &name) const
{
    const auto it = m_values.constFind(name);
    if (it == m_values.constEnd() || it->kind != TSettingsValue::Number)
        return std::nullopt;
    return it->number;
}

std::optional<bool> TSettingsKey::readBool(const QString &name) const
{
    const auto value = readInteger(name);
    if (!value)
        return std::nullopt;
    return *value != 0;
}

void TSettingsKey::writeString(const QString &name, const QString &value)
{
    m_values.insert(name, TSettingsValue::fromText(value));
    m_dirty = true;
}

void TSettingsKey::writeInteger(const QString &name, qint32 value)
{
    m_values.insert(name, TSettingsValue::fromNumber(value));
    m_dirty = true;
}

void TSettingsKey::writeBool(const QString &name, bool value)
{
    writeInteger(name, value ? 1 : 0);
}
