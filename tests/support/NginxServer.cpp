#include "NginxServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

#include <csignal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quorlix::test {

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A port nothing listens on now (the system's pick for port 0).
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
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

NginxServer::NginxServer(const QString &root, const QString &workFolder, const Setup &setup)
{
    QDir().mkpath(workFolder);
    const quint16 port = freePort();
    if (port == 0) {
        mError = QStringLiteral("no free port");
        return;
    }
    mTls = !setup.certificate.isEmpty() && !setup.key.isEmpty();
    QByteArray config;
    config += "daemon off;\nworker_processes 1;\n";
    // Run as root, nginx would hand its worker to "nobody", which may not
    // read a private temporary folder.
    if (::geteuid() == 0)
        config += "user root;\n";
    const QByteArray work = QFile::encodeName(workFolder);
    config += "pid " + work + "/nginx.pid;\nerror_log " + work + "/error.log;\n";
    config += "events { worker_connections 512; }\nhttp {\n  include /etc/nginx/mime.types;\n";
    config += "  access_log off;\n  keepalive_requests 100000;\n";
    for (const char *temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        config += QByteArray("  ") + temp + "_temp_path " + work + "/" + temp + ";\n";
    config += "  server {\n    listen 127.0.0.1:" + QByteArray::number(port) + (mTls ? " ssl" : "") + ";\n";
    if (mTls)
        config += "    ssl_certificate \"" + QFile::encodeName(setup.certificate) + "\";\n    ssl_certificate_key \""
                  + QFile::encodeName(setup.key) + "\";\n";
    config += "    root \"" + QFile::encodeName(QDir(root).absolutePath()) + "\";\n";
    config += setup.serverLines.toUtf8() + "\n  }\n}\n";
    QFile file(workFolder + QStringLiteral("/nginx.conf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        mError = QStringLiteral("cannot write the nginx configuration");
        return;
    }
    file.close();

    mProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    // A test or bench that ends without its destructors (a timeout's kill,
    // an exit on failure) takes its server with it.
    mProcess.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    mProcess.start(QStringLiteral("nginx"), {QStringLiteral("-p"), workFolder, QStringLiteral("-e"),
                                             workFolder + QStringLiteral("/error.log"), QStringLiteral("-c"),
                                             file.fileName()});
    if (!mProcess.waitForStarted(10000)) {
        mError = QStringLiteral("nginx could not be started (Debian package nginx-light): ") + mProcess.errorString();
        return;
    }
    const QDeadlineTimer deadline(10000);
    while (!accepts(port)) {
        if (deadline.hasExpired() || mProcess.state() == QProcess::NotRunning) {
            mError = QStringLiteral("nginx did not listen; see ") + workFolder + QStringLiteral("/error.log");
            return;
        }
        QThread::msleep(20);
    }
    mPort = port;
}

NginxServer::~NginxServer()
{
    if (mProcess.state() == QProcess::NotRunning)
        return;
    // nginx ends its worker on SIGQUIT or SIGTERM sent to the master.
    mProcess.terminate();
    if (!mProcess.waitForFinished(5000)) {
        mProcess.kill();
        mProcess.waitForFinished(5000);
    }
}

QString NginxServer::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(mTls ? QStringLiteral("https") : QStringLiteral("http")).arg(mPort);
}

} // namespace quorlix::test
