#pragma once

#include "HostLookup.h"
#include "WSockBuf.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <stdexcept>

struct sockaddr_storage;
class QSocketNotifier;
class QTimer;

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};
enum TSocketSendFlags { wsSendNormal, wsSendUrgent };
enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };

class ESocketException : public std::runtime_error
{
public:
    explicit ESocketException(const QString &message)
        : std::runtime_error(message.toStdString())
    {
    }
    QString message() const { return QString::fromStdString(what()); }
};

// One TCP client socket in event form: every operation returns at once and
// the completion of a lookup, a connect, the arrival of data, the emptying of
// the send queue and the peer's close are reported as events on the thread
// that owns the socket, from its event loop.
class TWSocket : public QObject
{
    Q_OBJECT

public:
    explicit TWSocket(QObject *parent = nullptr);
    ~TWSocket() override;

    QString Addr() const { return m_addr; }
    void setAddr(const QString &addr);
    QString Port() const { return m_port; }
    void setPort(const QString &port);
    QString Proto() const { return m_proto; }
    void setProto(const QString &proto);
    QString LocalAddr() const { return m_localAddr; }
    void setLocalAddr(const QString &addr);
    QString LocalPort() const { return m_localPort; }
    void setLocalPort(const QString &port);
    QString PeerAddr() const;
    QString PeerPort() const;
    QString DnsResult() const { return m_dnsResult; }
    QStringList DnsResultList() const { return m_dnsResultList; }
    TSocketState State() const { return m_state; }
    qint64 ReadCount() const { return m_readCount; }
    // Bytes waiting to be read now; -1 with an error report on failure.
    int RcvdCount();
    int LastError() const { return m_lastError; }
    // The system's socket, -1 while closed.
    int HSocket() const { return m_fd; }
    // The text of the last error report given to an OnError handler.
    QString LastErrorMessage() const { return m_lastErrorMessage; }
    TSocketSendFlags SendFlags() const { return m_sendFlags; }
    void setSendFlags(int flags);

    bool MultiThreaded = false;
    int FlushTimeout = 60;
    TSocketLingerOnOff LingerOnOff = wsLingerOn;
    int LingerTimeout = 0;

    void LookupHost(const QString &name);
    void CancelLookup();
    void Connect();
    int Send(const void *data, int len);
    int Send(const QByteArray &data) { return Send(data.constData(), int(data.size())); }
    int Receive(void *buffer, int size);
    // Everything given to Send has gone to the system.
    bool AllSent() const { return allSent(); }
    void Close();
    void AbortSession();
    void PumpMessages();
    // Tests put a resolver of their own in place of the system's.
    void setResolver(THostLookup::Resolver resolver) { m_lookup.setResolver(std::move(resolver)); }

    std::function<void(TWSocket *, int)> OnDataAvailable;
    std::function<void(TWSocket *, int)> OnDataSent;
    std::function<void(TWSocket *, int)> OnSendData;
    std::function<void(TWSocket *, int)> OnSessionClosed;
    std::function<void(TWSocket *, int)> OnSessionAvailable;
    std::function<void(TWSocket *, int)> OnSessionConnected;
    std::function<void(TWSocket *, int)> OnDnsLookupDone;
    std::function<void(TWSocket *, TSocketState, TSocketState)> OnChangeState;
    std::function<void(TWSocket *)> OnError;
    std::function<void(TWSocket *, const std::exception &, bool &)> OnBgException;

private:
    void setDefaults();
    bool peerAddress(sockaddr_storage *peer) const;
    void changeState(TSocketState state);
    void lookupDone(const THostAddresses &found);
    void internalClose(bool shutdownFirst, int error);
    void closeHandleQuietly();
    void errorReport(const QString &function);
    void refuse(const QString &text);
    void raiseError(const QString &message);
    void changeProperty(QString &field, bool &assigned, const QString &value, const char *name);

    // Notifications from the event loop.
    void guarded(const std::function<void()> &notification);
    void onReadable();
    void onWritable();
    void connectCompleted(int error);
    void peerClosed(int error);
    // Hands arriving data to the reader until none is left or, with a budget
    // of 0 or more, until that many bytes were read; -1 reads everything.
    void receiveLoop(int error, qint64 budget);
    void sendStep();
    bool allSent() const;
    void postNotification(std::function<void()> notification);
    void stallReading();
    void pollStalledClose();

    int m_fd = -1;
    quint64 m_generation = 0; // changes with every handle: notices of an old one are dropped
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_stallTimer = nullptr;
    THostLookup m_lookup{this};

    QString m_addr, m_port, m_proto, m_localAddr, m_localPort;
    bool m_addrAssigned = false, m_portAssigned = false, m_protoAssigned = true, m_localPortAssigned = false;
    QString m_dnsResult;
    QStringList m_dnsResultList;
    TSocketState m_state = wsClosed;
    TSocketSendFlags m_sendFlags = wsSendNormal;
    qint64 m_readCount = 0;
    int m_lastError = 0;
    QString m_lastErrorMessage;
    std::deque<TBuffer> m_sendQueue;
    bool m_closeReported = false;
    bool m_destroying = false;
    bool m_readProgress = false;
    bool m_readStalled = false;
};
