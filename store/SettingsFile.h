#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>
#include <QMetaType>

#include <optional>

// One named value of the settings key: text, or a 32-bit number.
struct TSettingsValue
{
    enum Kind { Text, Number };
    Kind kind = Text;
    QString text;
    qint32 number = 0;

    static TSettingsValue fromText(const QString &t) { return {Text, t, 0}; }
    static TSettingsValue fromNumber(qint32 n) { return {Number, {}, n}; }
    bool operator==(const TSettingsValue &o) const
    {
        return kind == o.kind && (kind == Text ? text == o.text : number == o.number);
    }
};

using TSettingsValues = QMap<QString, TSettingsValue>;

// The settings file is a readable export of one key:
//
//   Trawlix Settings Version 1
//
//   [\SoftWare\Trawlix]
//   "DownloadDir"="/home/me/Downloads"
//   "MaxTreads"=dword:00000004
//
// Texts are UTF-8 with \\ \" \r \n \t and \xHH escapes for control characters.
namespace SettingsFile {

inline constexpr qsizetype kMaxFileSize = 16 * 1024 * 1024;
inline constexpr qsizetype kMaxTextLength = 1024 * 1024;

QByteArray encode(const QString &keyPath, const TSettingsValues &values);
// Nothing when the text is not a settings file of this key.
std::optional<TSettingsValues> decode(const QByteArray &data, const QString &keyPath);

} // namespace SettingsFile
Q_DECLARE_METATYPE(TSettingsValue)
