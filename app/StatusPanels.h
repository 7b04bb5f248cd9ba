#pragma once

#include <QList>
#include <QWidget>

class QLabel;

// A status bar made of fixed-width text panels, with room for widgets laid
// over them at fixed places (the gauge and the lamps).
class TStatusPanels : public QWidget
{
    Q_OBJECT

public:
    explicit TStatusPanels(const QList<int> &widths, QWidget *parent = nullptr);

    int count() const { return int(m_panels.size()); }
    QString text(int index) const;
    void setText(int index, const QString &text);
    int panelWidth(int index) const;
    void setPanelWidth(int index, int width);

private:
    QList<QLabel *> m_panels;
};
