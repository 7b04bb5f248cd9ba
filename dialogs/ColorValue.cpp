#include "ColorValue.h"

#include <QGuiApplication>

namespace {

qint32 rgb(int r, int g, int b)
{
    return qint32(r | (g << 8) | (b << 16));
}

struct SystemColor
{
    int index;
    QPalette::ColorRole role;
    QPalette::ColorGroup group;
};

// The system colour numbers and the palette roles that play their part here.
const SystemColor kSystem[] = {
    {5, QPalette::Base, QPalette::Active},             // window background
    {8, QPalette::Text, QPalette::Active},             // window text
    {15, QPalette::Button, QPalette::Active},          // button face
    {18, QPalette::ButtonText, QPalette::Active},      // button text
    {13, QPalette::Highlight, QPalette::Active},       // highlight
    {14, QPalette::HighlightedText, QPalette::Active}, // highlighted text
    {17, QPalette::Text, QPalette::Disabled},          // grey text
    {24, QPalette::ToolTipBase, QPalette::Active},     // info background
    {23, QPalette::ToolTipText, QPalette::Active},     // info text
    {16, QPalette::Shadow, QPalette::Active},          // button shadow
};

} // namespace

qint32 ColorValue::fromColor(const QColor &color)
{
    return rgb(color.red(), color.green(), color.blue());
}

QColor ColorValue::toColor(qint32 value, const QColor &fallback, const QPalette &palette)
{
    if (value == kDefaultColor)
        return fallback;
    if (value < 0) {
        const int index = value & 0xff;
        for (const SystemColor &s : kSystem) {
            if (s.index == index)
                return palette.color(s.group, s.role);
        }
        return fallback;
    }
    if (value > 0xffffff)
        return fallback;
    return QColor(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

const QList<ColorValue::Entry> &ColorValue::namedColors()
{
    static const QList<Entry> entries = {
        {QStringLiteral("Black"), rgb(0, 0, 0)},       {QStringLiteral("Maroon"), rgb(128, 0, 0)},
        {QStringLiteral("Green"), rgb(0, 128, 0)},     {QStringLiteral("Olive"), rgb(128, 128, 0)},
        {QStringLiteral("Navy"), rgb(0, 0, 128)},      {QStringLiteral("Purple"), rgb(128, 0, 128)},
        {QStringLiteral("Teal"), rgb(0, 128, 128)},    {QStringLiteral("Gray"), rgb(128, 128, 128)},
        {QStringLiteral("Silver"), rgb(192, 192, 192)}, {QStringLiteral("Red"), rgb(255, 0, 0)},
        {QStringLiteral("Lime"), rgb(0, 255, 0)},      {QStringLiteral("Yellow"), rgb(255, 255, 0)},
        {QStringLiteral("Blue"), rgb(0, 0, 255)},      {QStringLiteral("Fuchsia"), rgb(255, 0, 255)},
        {QStringLiteral("Aqua"), rgb(0, 255, 255)},    {QStringLiteral("White"), rgb(255, 255, 255)},
    };
    return entries;
}

const QList<ColorValue::Entry> &ColorValue::systemColors()
{
    static const QList<Entry> entries = {
        {QStringLiteral("Window background"), kSystemBase | 5},
        {QStringLiteral("Window text"), kSystemBase | 8},
        {QStringLiteral("Button face"), kSystemBase | 15},
        {QStringLiteral("Button text"), kSystemBase | 18},
        {QStringLiteral("Highlight"), kSystemBase | 13},
        {QStringLiteral("Highlighted text"), kSystemBase | 14},
        {QStringLiteral("Grey text"), kSystemBase | 17},
        {QStringLiteral("Tooltip background"), kSystemBase | 24},
        {QStringLiteral("Tooltip text"), kSystemBase | 23},
        {QStringLiteral("Shadow"), kSystemBase | 16},
    };
    return entries;
}
