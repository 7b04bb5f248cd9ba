#include "StatusPanels.h"

#include <QHBoxLayout>
#include <QLabel>

TStatusPanels::TStatusPanels(const QList<int> &widths, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int width : widths) {
        auto *panel = new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFixedWidth(width);
        panel->setVisible(width > 0);
        layout->addWidget(panel);
        m_panels << panel;
    }
    layout->addStretch();
    setFixedHeight(22);
}

QString TStatusPanels::text(int index) const
{
    return m_panels.at(index)->text();
}

void TStatusPanels::setText(int index, const QString &text)
{
    m_panels.at(index)->setText(text);
}

int TStatusPanels::panelWidth(int index) const
{
    return m_panels.at(index)->width();
}

void TStatusPanels::setPanelWidth(int index, int width)
{
    m_panels.at(index)->setFixedWidth(width);
    m_panels.at(index)->setVisible(width > 0);
}
