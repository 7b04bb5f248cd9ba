#include "StatusPanels.h"

#include <QHBoxLayout>
#include <QEvent>
#include <QLabel>

#include "ElidedLabel.h"

TStatusPanels::TStatusPanels(const QList<int> &widths, QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (int width : widths) {
        auto *panel = m_panels.isEmpty() ? new TElidedLabel(this) : new QLabel(this);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        if (m_panels.isEmpty()) {
            panel->setMinimumWidth(kFirstPanelMinimum);
            layout->addWidget(panel, 1);
        } else {
            panel->setFixedWidth(width);
            layout->addWidget(panel);
        }
        panel->setVisible(width > 0);
        m_panels << panel;
    }
    setFixedHeight(22);
}

QWidget *TStatusPanels::panel(int index) const
{
    return m_panels.at(index);
}

void TStatusPanels::place(int index, QWidget *widget, const QRect &geometry)
{
    widget->setParent(m_panels.at(index));
    widget->setGeometry(geometry);
}

void TStatusPanels::fill(int index, QWidget *widget, const QMargins &margins)
{
    QLabel *panel = m_panels.at(index);
    widget->setParent(panel);
    widget->setGeometry(panel->rect().marginsRemoved(margins));
    m_fills << std::make_pair(widget, margins);
    panel->installEventFilter(this);
}

bool TStatusPanels::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize) {
        for (const auto &[widget, margins] : std::as_const(m_fills)) {
            if (widget->parent() == watched)
                widget->setGeometry(static_cast<QWidget *>(watched)->rect().marginsRemoved(margins));
        }
    }
    return QWidget::eventFilter(watched, event);
}

QString TStatusPanels::text(int index) const
{
    return m_panels.at(index)->text();
}

void TStatusPanels::setText(int index, const QString &text)
{
    QLabel *panel = m_panels.at(index);
    panel->setText(text);
    // A count that outgrows its panel widens it rather than lose its digits.
    if (index > 0 && !panel->isHidden()) {
        const int needed = panel->sizeHint().width();
        if (needed > panel->maximumWidth()) {
            panel->setFixedWidth(needed);
            emit widened();
        }
    }
}

void TStatusPanels::keepWhole(int index, const QString &text)
{
    QLabel *panel = m_panels.at(index);
    const int frame = 2 * panel->frameWidth() + 6;
    panel->setMinimumWidth(std::max(kFirstPanelMinimum, panel->fontMetrics().horizontalAdvance(text) + frame));
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
