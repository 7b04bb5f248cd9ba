#pragma once

#include <QColor>
#include <QString>

class QComboBox;
class QWidget;

// What the main window's own files share; nothing outside the window uses it.
namespace MainWindowLook {

inline const QString kNotActive = QStringLiteral(" Status: Not active");
inline const QString kNoImage = QStringLiteral("No picture selected");
inline const QString kTreeHint = QStringLiteral("[Context menu]");
inline const QString kEmptyTreeHint = QStringLiteral("Type the address of a page into the Url field above and press Get url.");
inline const QColor kLogoLit(200, 30, 30);

// Black or white, whichever reads better on the background.
inline QColor ReadableOn(const QColor &background)
{
    return background.lightnessF() < 0.5 ? QColor(Qt::white) : QColor(Qt::black);
}

// An editable drop-down list of the top panel.
QComboBox *editableList(QWidget *parent);

} // namespace MainWindowLook
