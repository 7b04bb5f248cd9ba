#pragma once

#include <QString>

// A desktop notification through the freedesktop notification service on
// the session bus. Sent without waiting for an answer; where there is no
// session bus or no service, nothing is shown and nothing fails.
void NotifyDesktop(const QString &title, const QString &body);
