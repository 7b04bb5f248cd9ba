#include "WSocket.h"

#include "SocketErrors.h"
#include "WSocket_p.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace WSocketRules;

void TWSocket::onWritable()
{
    if (m_fd < 0)
        return;
    if (m_state == wsConnecting) {
        int error = 0;
        socklen_t len = sizeof(error);
        getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &len);
        connectCompleted(SocketErrorFromErrno(error));
        return;
    }
    m_writeNotifier->setEnabled(false);
    sendStep();
    if (m_fd >= 0 && allSent() && OnDataSent)
        runHandler(OnDataSent, this, 0);
}

void TWSocket::connectCompleted(int error)
{
    if (m_fd < 0)
        return;
    m_writeNotifier->setEnabled(false);
    changeState(wsConnected);
    if (error == 0)
        m_readNotifier->setEnabled(true);
    runHandler(OnSessionConnected, this, error);
    if (error != 0 && m_state != wsClosed)
        Close();
}

void TWSocket::onReadable()
{
    if (m_fd < 0)
        return;
    const quint64 generation = m_generation;
    int pending = 0;
    if (ioctl(m_fd, FIONREAD, &pending) == 0 && pending > 0) {
        receiveLoop(0, kReadBudget);
        return;
    }
    if (generation != m_generation)
        return;
    // Readable with nothing to read: the peer closed, or the connection failed.
    char probe;
    ssize_t n;
    do {
        n = ::recv(m_fd, &probe, 1, MSG_PEEK);
    } while (n < 0 && errno == EINTR);
    if (n == 0)
        peerClosed(0);
    else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        peerClosed(lastSocketError());
}

void TWSocket::peerClosed(int error)
{
    if (m_state == wsConnecting)
        return;
    const quint64 generation = m_generation;
    receiveLoop(0, -1);
    // The reader may have closed this connection, or even started the next
    // one, while taking the last data: then its close was told already.
    if (generation != m_generation || m_fd < 0)
        return;
    if (!m_closeReported) {
        m_closeReported = true;
        runHandler(OnSessionClosed, this, error);
    }
    if (m_state != wsClosed)
        Close();
}

void TWSocket::receiveLoop(int error, qint64 budget)
{
    const quint64 generation = m_generation;
    const qint64 start = m_readCount;
    for (;;) {
        m_lastError = 0;
        m_readProgress = false;
        try {
            if (OnDataAvailable) {
                runHandler(OnDataAvailable, this, error);
            } else {
                char discard[1024];
                Receive(discard, sizeof(discard));
            }
        } catch (...) {
            // A failing handler ends this pass of reading; the data stays pending.
            if (generation == m_generation && m_fd >= 0 && !m_readProgress)
                stallReading();
            return;
        }
        if (generation != m_generation || m_fd < 0)
            return;
        if (m_lastError != 0) {
            // A connection that broke while we read (a reset, say) is closed
            // with its error; the next read would only see an ordinary end.
            if (m_lastError != SocketError::WouldBlock && budget >= 0)
                peerClosed(m_lastError);
            return;
        }
        if (budget >= 0 && m_readCount - start >= budget)
            return; // the notifier fires again at the next turn of the loop
        int pending = 0;
        if (ioctl(m_fd, FIONREAD, &pending) != 0) {
            m_lastError = lastSocketError();
            return;
        }
        if (pending == 0)
            return;
        if (!m_readProgress) {
            // The handler takes nothing more: wait until it reads again, or the peer closes.
            stallReading();
            return;
        }
    }
}

void TWSocket::stallReading()
{
    if (!m_readNotifier || m_readStalled)
        return;
    m_readStalled = true;
    m_readNotifier->setEnabled(false);
    m_stallTimer->start();
}

void TWSocket::pollStalledClose()
{
    if (m_fd < 0 || !m_readStalled) {
        m_stallTimer->stop();
        return;
    }
    pollfd watch{m_fd, POLLRDHUP, 0};
    if (::poll(&watch, 1, 0) > 0 && (watch.revents & (POLLRDHUP | POLLHUP | POLLERR))) {
        m_stallTimer->stop();
        peerClosed(0);
    }
}

int TWSocket::Receive(void *buffer, int size)
{
    if (m_fd < 0) {
        m_lastError = SocketError::NotSocket;
        return -1;
    }
    if (m_readStalled) {
        m_readStalled = false;
        m_stallTimer->stop();
        m_readNotifier->setEnabled(true);
    }
    ssize_t n;
    do {
        n = ::recv(m_fd, buffer, size_t(qMax(size, 0)), 0);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_lastError = lastSocketError();
        return -1;
    }
    m_readCount += n;
    if (n > 0)
        m_readProgress = true;
    return int(n);
}

int TWSocket::Send(const void *data, int len)
{
    if (m_state != wsConnected) {
        m_lastError = SocketError::NotConnected;
        errorReport(QStringLiteral("Send"));
        return -1;
    }
    if (len <= 0)
        return 0;
    const char *bytes = static_cast<const char *>(data);
    int left = len;
    if (m_sendQueue.empty())
        m_sendQueue.emplace_back();
    while (left > 0) {
        const int taken = m_sendQueue.back().append(bytes, left);
        bytes += taken;
        left -= taken;
        if (left > 0)
            m_sendQueue.emplace_back();
    }
    sendStep();
    // The data-sent event comes from the event loop, never from inside Send.
    if (m_fd >= 0 && allSent())
        postNotification([this] {
            if (allSent() && OnDataSent)
                runHandler(OnDataSent, this, 0);
        });
    return len;
}

bool TWSocket::allSent() const
{
    return m_sendQueue.empty() || (m_sendQueue.size() == 1 && m_sendQueue.front().unread() == 0);
}

void TWSocket::sendStep()
{
    if (m_fd < 0)
        return;
    while (!m_sendQueue.empty()) {
        TBuffer &chunk = m_sendQueue.front();
        int count = 0;
        const char *data = chunk.peek(&count);
        if (count == 0) {
            if (m_sendQueue.size() == 1)
                return;
            m_sendQueue.pop_front();
            continue;
        }
        ssize_t n;
        do {
            n = ::send(m_fd, data, size_t(count), MSG_NOSIGNAL | (m_sendFlags == wsSendUrgent ? MSG_OOB : 0));
        } while (n < 0 && errno == EINTR);
        if (n == 0)
            return;
        if (n < 0) {
            const int error = lastSocketError();
            switch (error) {
            case SocketError::ConnReset:
            case SocketError::NotSocket:
            case SocketError::NotConnected:
            case SocketError::InvalidArgument:
            case SocketError::ConnAborted:
                m_closeReported = true;
                Close();
                runHandler(OnSessionClosed, this, error);
                return;
            case SocketError::WouldBlock:
                m_writeNotifier->setEnabled(true);
                return;
            default:
                m_lastError = error;
                errorReport(QStringLiteral("TryToSend failed"));
                return;
            }
        }
        if (OnSendData)
            OnSendData(this, int(n));
        chunk.consume(int(n));
        if (n < count) {
            m_writeNotifier->setEnabled(true);
            return;
        }
    }
}
