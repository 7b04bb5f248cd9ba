#pragma once

// What the benchmarks share: a meter of how long the window could not
// answer, a wait that runs the event loop, and a gallery of pictures.
#include "ScriptedServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <functional>

using Server = TScriptedServer;

// The longest time between two ticks of a 1 ms timer: how long the window
// could not answer input.
class TGapMeter
{
public:
    TGapMeter()
    {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    qint64 longestMs() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Runs the event loop, as the program does, until done or the limit passed.
inline void waitUntil(const std::function<bool()> &done, int limitMs)
{
    QEventLoop loop;
    QElapsedTimer clock;
    clock.start();
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    check.start();
    if (!done())
        loop.exec();
}

inline QByteArray picture(int size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(seed * 31 + i);
    return bytes;
}

// A gallery page and its pictures, for our window and for wget.
struct TGallery
{
    Server server;
    int count;
    // keepAlive: served as an HTTP/1.1 server answers, connections left open.
    explicit TGallery(int pictures, int size, bool keepAlive = false)
        : count(pictures)
    {
        QByteArray index = "<html><body>\n";
        for (int i = 0; i < pictures; ++i) {
            const QByteArray name = "pic" + QByteArray::number(i) + ".jpg";
            index += "<a href=\"" + name + "\"><img src=\"" + name + "\"></a>\n";
            const QByteArray body = picture(size, i);
            server.route("/g/" + name, keepAlive ? Server::page11(body, "image/jpeg") : Server::page(body, "image/jpeg"));
        }
        index += "</body></html>";
        server.route("/g/index.html", keepAlive ? Server::page11(index) : Server::page(index));
    }
    QString url(const QString &path) const { return QString("http://127.0.0.1:%1%2").arg(server.port()).arg(path); }
};
