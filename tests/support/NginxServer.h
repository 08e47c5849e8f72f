#pragma once

#include <QProcess>
#include <QString>

namespace quorlix::test {

// nginx (Debian's nginx-light) serving one folder on 127.0.0.1 from a
// configuration of its own, in the foreground, for as long as this lives.
// serverLines go into its server block as they are (locations, redirects,
// error answers); with a certificate and key it serves HTTPS.
class NginxServer {
public:
    struct Setup {
        QString serverLines;
        QString certificate; // PEM files: HTTPS when both are given
        QString key;
    };
    NginxServer(const QString &root, const QString &workFolder) : NginxServer(root, workFolder, Setup()) {}
    NginxServer(const QString &root, const QString &workFolder, const Setup &setup);
    ~NginxServer();
    NginxServer(const NginxServer &) = delete;
    NginxServer &operator=(const NginxServer &) = delete;

    bool isListening() const { return mPort != 0; }
    QString errorString() const { return mError; }
    quint16 port() const { return mPort; }
    // "http://127.0.0.1:PORT/" (https with a certificate).
    QString url() const;
    // "127.0.0.1+PORT": the folder Wget saves the site under on Windows' rules.
    QString hostFolder() const { return QStringLiteral("127.0.0.1+%1").arg(mPort); }

private:
    QProcess mProcess;
    quint16 mPort = 0;
    bool mTls = false;
    QString mError;
};

} // namespace quorlix::test
