#pragma once

// The benchmarks' gallery served by nginx from files on disk: plain HTTP/1.1
// on one port, TLS with HTTP/2 on another. A real web server beside our
// scripted one, for the delayed-link rows; absent when nginx is not installed.
#include "BenchCommon.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

class TNginxGallery
{
public:
    TNginxGallery(int pictures, int size, const QByteArray &certificate, const QByteArray &key)
    {
        const QString nginx = QStandardPaths::findExecutable("nginx", {"/usr/sbin", "/usr/local/sbin"});
        if (nginx.isEmpty() || !m_dir.isValid())
            return;
        // nginx's workers may run as another user: they must read the files.
        QFile::setPermissions(m_dir.path(), QFile::permissions(m_dir.path()) | QFile::ReadOther | QFile::ExeOther);
        QDir root(m_dir.path());
        root.mkpath("www/g");
        QByteArray index = "<html><body>\n";
        for (int i = 0; i < pictures; ++i) {
            const QByteArray name = "pic" + QByteArray::number(i) + ".jpg";
            index += "<a href=\"" + name + "\"><img src=\"" + name + "\"></a>\n";
            write(root.filePath("www/g/" + QString::fromLatin1(name)), picture(size, i));
        }
        write(root.filePath("www/g/index.html"), index + "</body></html>");
        write(root.filePath("server.pem"), certificate);
        write(root.filePath("server.key"), key);
        plainPort = freePort();
        securePort = freePort();
        const QString prefix = m_dir.path() + '/';
        const QByteArray config = QString("worker_processes 1;\n%1"
                                          "error_log %2error.log;\npid %2nginx.pid;\n"
                                          "events { worker_connections 1024; }\n"
                                          "http {\n access_log off;\n keepalive_requests 10000;\n"
                                          " default_type image/jpeg;\n"
                                          " client_body_temp_path %2tmp;\n proxy_temp_path %2tmp;\n"
                                          " fastcgi_temp_path %2tmp;\n uwsgi_temp_path %2tmp;\n scgi_temp_path %2tmp;\n"
                                          " server {\n  listen 127.0.0.1:%3;\n  listen 127.0.0.1:%4 ssl http2;\n"
                                          "  ssl_certificate %2server.pem;\n  ssl_certificate_key %2server.key;\n"
                                          "  root %2www;\n }\n}\n")
                                      .arg(geteuid() == 0 ? "user root;\n" : "")
                                      .arg(prefix)
                                      .arg(plainPort)
                                      .arg(securePort)
                                      .toUtf8();
        write(root.filePath("nginx.conf"), config);
        m_process.start(nginx, {"-p", prefix, "-e", prefix + "error.log", "-c", prefix + "nginx.conf", "-g", "daemon off;"});
        m_process.waitForStarted(3000);
        for (int i = 0; i < 100 && m_process.state() != QProcess::NotRunning && !QFile::exists(prefix + "nginx.pid"); ++i)
            QThread::msleep(20);
        QThread::msleep(100);
        if (!running())
        {
            QFile log(prefix + "error.log");
            log.open(QIODevice::ReadOnly);
            std::fprintf(stderr, "nginx did not start (%s): %s%s\n", qPrintable(m_process.errorString()), m_process.readAllStandardError().constData(),
                         log.readAll().constData());
        }
    }
    ~TNginxGallery()
    {
        m_process.terminate();
        m_process.waitForFinished(3000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }

    quint16 plainPort = 0;
    quint16 securePort = 0;

private:
    static void write(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
    static quint16 freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        quint16 port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    QTemporaryDir m_dir;
    QProcess m_process;
};
