#pragma once

#include "ColorPicker.h"
#include "Lamp.h"

#include <QLabel>
#include <QList>
#include <QObject>
#include <QProgressBar>
#include <QString>

// A window's control, found by the name it carries; a missing one ends the
// test at once rather than as a crash further on.
template <typename T>
T *Part(const QObject &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
    return found;
}

template <typename T>
T *Part(const QObject *window, const QString &name)
{
    return Part<T>(*window, name);
}

// The controls that come in numbered rows; index 0 is the first.
inline QProgressBar *SlotGauge(const QObject &window, int index)
{
    return Part<QProgressBar>(window, QStringLiteral("Gauge%1").arg(index + 1));
}

inline TLamp *SlotLamp(const QObject &window, int index)
{
    return Part<TLamp>(window, QStringLiteral("Lamp%1").arg(index + 1));
}

inline TColorPicker *ColorBox(const QObject &window, int index)
{
    return Part<TColorPicker>(window, QStringLiteral("Color%1").arg(index + 1));
}

inline QList<QLabel *> LogoLetters(const QObject &window)
{
    QList<QLabel *> letters;
    for (int i = 1; QLabel *letter = window.findChild<QLabel *>(QStringLiteral("Logo%1").arg(i)); ++i)
        letters << letter;
    return letters;
}
