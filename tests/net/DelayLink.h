#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>
#include <vector>

// A TCP relay on 127.0.0.1 that passes every piece of data on to the target
// port only after a delay, in each direction: a slow link for tests, without
// touching the machine's network settings.
class TDelayLink
{
public:
    TDelayLink(quint16 targetPort, int delayMs);
    ~TDelayLink();
    TDelayLink(const TDelayLink &) = delete;
    TDelayLink &operator=(const TDelayLink &) = delete;

    quint16 port() const { return m_port; }

private:
    void run();
    void relay(int client);

    quint16 m_target;
    int m_delayMs;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::vector<std::thread> m_workers; // touched by the accepting thread only
};
