#pragma once

#include "SettingsFile.h"

#include <optional>

// The per-user settings key, kept in a file: opened for one load or save
// step, read and written by value name, and written back whole and
// atomically when closed after a change. Values it does not know are kept.
class TSettingsKey
{
public:
    static inline const QString kKeyPath = QStringLiteral("\\SoftWare\\Trawlix");

    explicit TSettingsKey(QString filePath);

    // Reads the file; a missing file is an empty key, and so is a file that
    // cannot be parsed (it is kept aside as <file>.corrupt on the next save)
    // or read at all (it is never replaced).
    void open();
    // Writes the key back if anything was written. False, with the reason,
    // when the file could not be replaced; the previous file is then intact.
    bool close(QString *error = nullptr);

    // An absent text reads as empty; a value of the other kind fails.
    std::optional<QString> readString(const QString &name) const;
    // Absent or of the other kind: fails.
    std::optional<qint32> readInteger(const QString &name) const;
    std::optional<bool> readBool(const QString &name) const;

    void writeString(const QString &name, const QString &value);
    void writeInteger(const QString &name, qint32 value);
    void writeBool(const QString &name, bool value);

    bool wasCorrupt() const { return m_corrupt; }
    // Why the file exists but could not be read; empty when it was read.
    QString unreadableReason() const { return m_unreadable; }
    const TSettingsValues &values() const { return m_values; }
    QString filePath() const { return m_path; }

private:
    QString m_path;
    TSettingsValues m_values;
    bool m_corrupt = false;
    QString m_unreadable;
    bool m_dirty = false;
};
