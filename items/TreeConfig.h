#pragma once

#include <QColor>
#include <QString>

// The settings the item tree reads while it adds and paints items. The
// configuration window implements it; tests use a plain struct.
class TTreeConfig
{
public:
    virtual ~TTreeConfig() = default;
    virtual QColor color(int slot) const = 0;
    virtual bool autoSelectEnabled() const = 0;
    virtual QString autoSelectFileTypes() const = 0;
};

// Fixed values, for tests and for a tree used before the configuration exists.
class TFixedTreeConfig : public TTreeConfig
{
public:
    QColor colors[7] = {Qt::black, Qt::blue, Qt::darkGreen, Qt::black,
                        Qt::darkBlue, Qt::darkMagenta, Qt::white};
    bool autoSelect = false;
    QString autoSelectTypes = QStringLiteral("jpg,jpeg");

    QColor color(int slot) const override { return colors[qBound(0, slot, 6)]; }
    bool autoSelectEnabled() const override { return autoSelect; }
    QString autoSelectFileTypes() const override { return autoSelectTypes; }
};
