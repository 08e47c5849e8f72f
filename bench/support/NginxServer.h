#pragma once

#include <QProcess>
#include <QString>

namespace quorlix::bench {

// nginx serving one folder on 127.0.0.1 from a configuration of its own, in
// the foreground, for as long as this lives. Python's http.server drops
// reused connections, which would time the server instead of the program.
// Ends the program with a message when nginx cannot be started.
class NginxServer {
public:
    NginxServer(const QString &root, const QString &workFolder);
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    quint16 port() const { return mPort; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/").arg(mPort); }

    // A port nothing listens on now (the system's pick for port 0).
    static quint16 freePort();

private:
    QProcess mProcess;
    quint16 mPort = 0;
};

} // namespace quorlix::bench
