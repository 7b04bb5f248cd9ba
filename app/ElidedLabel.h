#pragma once

#include <QLabel>

// A one-line label that never asks for the room of its whole text: what
// does not fit ends in "…", and the whole text shows as its tooltip.
class TElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TElidedLabel(QWidget *parent = nullptr);

    QSize minimumSizeHint() const override;
    bool elided() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    QRect textRect() const;
};
