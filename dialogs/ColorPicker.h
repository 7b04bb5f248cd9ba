#pragma once

#include <QComboBox>

// A drop-down list of colours: the slot's default, the standard named
// colours, the system colours, and a custom colour from the colour chooser.
class TColorPicker : public QComboBox
{
    Q_OBJECT

public:
    explicit TColorPicker(const QColor &defaultColor, QWidget *parent = nullptr);

    // The stored number of the chosen entry; 0 with nothing chosen.
    qint32 colorValue() const;
    // Selects the matching entry, or takes the colour as the custom colour.
    void setColorValue(qint32 value);
    QColor color() const;
    QColor defaultColor() const { return m_default; }
    void setCustomColor(const QColor &color);

signals:
    void colorChanged();

private:
    void entryActivated(int index);
    int customIndex() const;
    QIcon swatch(const QColor &color) const;

    QColor m_default;
    int m_lastIndex = 0;
};
