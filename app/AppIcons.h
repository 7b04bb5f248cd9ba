#pragma once

#include <QIcon>

// The program's own icon and the icon it wears with the friendly name on,
// drawn at every size a desktop asks for.
namespace AppIcons {

QIcon programIcon();
QIcon disguiseIcon();

} // namespace AppIcons
