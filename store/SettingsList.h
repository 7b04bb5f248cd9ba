#pragma once

#include <QString>
#include <QStringList>

// A whole list kept in one text value: every entry followed by CR LF.
namespace SettingsList {

QString join(const QStringList &entries);
// Cuts at every CR, LF or CR LF; the break after the last entry adds none.
QStringList split(const QString &text);

} // namespace SettingsList
