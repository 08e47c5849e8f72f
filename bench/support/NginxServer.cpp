#include "NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace quorlix::bench {

namespace {

[[noreturn]] void fail(const QString &why)
{
    std::fprintf(stderr, "bench: %s\n", qPrintable(why));
    std::exit(1);
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return connected;
}

} // namespace

NginxServer::NginxServer(const QString &root, const QString &workFolder)
{
    QDir().mkpath(workFolder);
    mPort = freePort();
    QByteArray config;
    config += "daemon off;\nworker_processes 1;\n";
    // Run as root, nginx would hand its worker to "nobody", which may not
    // read a private temporary folder.
    if (::geteuid() == 0)
        config += "user root;\n";
    const QByteArray work = QFile::encodeName(workFolder);
    config += "pid " + work + "/nginx.pid;\nerror_log " + work + "/error.log;\n";
    config += "events { worker_connections 1024; }\nhttp {\n  include /etc/nginx/mime.types;\n";
    config += "  access_log off;\n  keepalive_requests 100000;\n  sendfile on;\n";
    for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += QByteArray("  ") + temp + "_temp_path " + work + "/" + temp + ";\n";
    config += "  server { listen 127.0.0.1:" + QByteArray::number(mPort) + "; root \""
              + QFile::encodeName(QDir(root).absolutePath()) + "\"; }\n}\n";
    QFile file(workFolder + QStringLiteral("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size())
        fail(QStringLiteral("cannot write the nginx configuration"));
    file.close();

    mProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    mProcess.start(QStringLiteral("nginx"), {QStringLiteral("-p"), workFolder, QStringLiteral("-e"),
                                             workFolder + QStringLiteral("/error.log"), QStringLiteral("-c"),
                                             file.fileName()});
    if (!mProcess.waitForStarted(10000))
        fail(QStringLiteral("nginx could not be started (Debian package nginx-light): ") + mProcess.errorString());
    const QDeadlineTimer deadline(10000);
    while (!accepts(mPort)) {
        if (deadline.hasExpired() || mProcess.state() == QProcess::NotRunning)
            fail(QStringLiteral("nginx did not listen; see ") + workFolder + QStringLiteral("/error.log"));
        QThread::msleep(50);
    }
}

NginxServer::~NginxServer()
{
    // nginx ends its worker on SIGQUIT or SIGTERM sent to the master.
    mProcess.terminate();
    if (!mProcess.waitForFinished(5000)) {
        mProcess.kill();
        mProcess.waitForFinished(5000);
    }
}

quint16 NginxServer::freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        fail(QStringLiteral("no free port"));
    ::close(fd);
    return ntohs(address.sin_port);
}

} // namespace quorlix::bench
