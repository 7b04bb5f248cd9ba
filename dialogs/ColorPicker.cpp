#include "ColorPicker.h"

#include "ColorValue.h"

#include <QColorDialog>
#include <QPainter>

namespace {
constexpr int kChooseRole = Qt::UserRole + 1;
}

TColorPicker::TColorPicker(const QColor &defaultColor, QWidget *parent)
    : QComboBox(parent)
    , m_default(defaultColor)
{
    addItem(swatch(defaultColor), tr("Default"), ColorValue::kDefaultColor);
    for (const auto &entry : ColorValue::namedColors())
        addItem(swatch(ColorValue::toColor(entry.value, m_default)), entry.name, entry.value);
    for (const auto &entry : ColorValue::systemColors())
        addItem(swatch(ColorValue::toColor(entry.value, m_default, palette())), entry.name, entry.value);
    addItem(tr("Custom..."));
    setItemData(count() - 1, true, kChooseRole);
    setMaxVisibleItems(16);
    setCurrentIndex(0);
    connect(this, &QComboBox::activated, this, &TColorPicker::entryActivated);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (!itemData(index, kChooseRole).toBool()) {
            m_lastIndex = index;
            emit colorChanged();
        }
    });
}

QIcon TColorPicker::swatch(const QColor &color) const
{
    QPixmap pixmap(16, 12);
    pixmap.fill(color);
    QPainter p(&pixmap);
    p.setPen(Qt::darkGray);
    p.drawRect(0, 0, 15, 11);
    return pixmap;
}

qint32 TColorPicker::colorValue() const
{
    const int index = currentIndex();
    if (index < 0 || itemData(index, kChooseRole).toBool())
        return 0;
    return itemData(index).toInt();
}

QColor TColorPicker::color() const
{
    return ColorValue::toColor(colorValue(), m_default, palette());
}

int TColorPicker::customIndex() const
{
    for (int i = 0; i < count(); ++i) {
        if (itemText(i) == tr("Custom"))
            return i;
    }
    return -1;
}

void TColorPicker::setCustomColor(const QColor &color)
{
    const qint32 value = ColorValue::fromColor(color);
    int index = customIndex();
    if (index < 0) {
        index = count() - 1; // just before "Custom..."
        insertItem(index, tr("Custom"));
    }
    setItemIcon(index, swatch(color));
    setItemData(index, value);
    setCurrentIndex(index);
}

void TColorPicker::setColorValue(qint32 value)
{
    for (int i = 0; i < count(); ++i) {
        if (!itemData(i, kChooseRole).toBool() && itemText(i) != tr("Custom") && itemData(i).toInt() == value) {
            setCurrentIndex(i);
            return;
        }
    }
    setCustomColor(ColorValue::toColor(value, m_default, palette()));
}

void TColorPicker::entryActivated(int index)
{
    if (!itemData(index, kChooseRole).toBool())
        return;
    const QColor chosen = QColorDialog::getColor(color(), this, tr("Choose a colour"));
    if (chosen.isValid())
        setCustomColor(chosen);
    else
        setCurrentIndex(m_lastIndex);
}
