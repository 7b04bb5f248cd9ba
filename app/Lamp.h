#pragma once

#include <QWidget>

// A small signal lamp with a caption; an enabled lamp is lit, a disabled one dim.
class TLamp : public QWidget
{
    Q_OBJECT

public:
    TLamp(const QString &caption, const QColor &color, QWidget *parent = nullptr);
    bool isLit() const { return isEnabled(); }
    QString caption() const { return m_caption; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_caption;
    QColor m_color;
};
