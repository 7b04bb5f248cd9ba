#pragma once

#include <QList>
#include <QWidget>

class QLabel;

// A status bar made of text panels, the first of which takes what room is
// left (down to a minimum), the others of fixed width. Widgets laid over a
// panel (the gauge, the lamps) belong to that panel and move with it, so
// they never cover another panel's text.
class TStatusPanels : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kFirstPanelMinimum = 100;

    explicit TStatusPanels(const QList<int> &widths, QWidget *parent = nullptr);

    QWidget *panel(int index) const;
    // Puts a widget on a panel at a place of its own within it.
    void place(int index, QWidget *widget, const QRect &geometry);
    // Puts a widget on a panel, filling it but for the margins, as it resizes.
    void fill(int index, QWidget *widget, const QMargins &margins);

    int count() const { return int(m_panels.size()); }
    QString text(int index) const;
    // Texts longer than the first panel end in "…" there, whole in its tooltip.
    void setText(int index, const QString &text);
    // The first panel never gets narrower than this text.
    void keepWhole(int index, const QString &text);
    int panelWidth(int index) const;
    void setPanelWidth(int index, int width);

signals:
    // A panel took more room for its text: the window may need more.
    void widened();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QList<QLabel *> m_panels;
    QList<std::pair<QWidget *, QMargins>> m_fills;
};
