#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace quorlix::test {

// A real HTTP server on 127.0.0.1 that serves one folder, started for the
// length of a test (tests/support/fixture_server.py under python3). It can
// be told to answer slowly, to answer errors or to drop connections, so the
// program can be tried against a site that misbehaves.
class FixtureServer {
public:
    struct Faults {
        double delaySeconds = 0;     // before every answer
        QStringList errors;          // "CODE:GLOB", e.g. "500:/docs/*"
        QStringList drops;           // request paths (globs) answered by a closed connection
        int dropEvery = 0;           // every Nth request likewise (0: none)
    };

    // (Two constructors: GCC takes no default argument of a nested type
    // with member initialisers inside the enclosing class.)
    explicit FixtureServer(const QString &root) : FixtureServer(root, Faults()) {}
    FixtureServer(const QString &root, const Faults &faults);
    ~FixtureServer();
    FixtureServer(const FixtureServer &) = delete;
    FixtureServer &operator=(const FixtureServer &) = delete;

    // Whether it listens; otherwise errorString() says why not.
    bool isListening() const { return mPort != 0; }
    QString errorString() const { return mError; }

    quint16 port() const { return mPort; }
    // "127.0.0.1:PORT", the folder the downloader saves the site under.
    QString hostFolder() const;
    // "http://127.0.0.1:PORT" followed by path.
    QString url(const QString &path = QStringLiteral("/")) const;

    // The paths requested so far, percent-decoded, in arrival order.
    QStringList requests() const;

private:
    QProcess mProcess;
    QTemporaryDir mLogDir;
    quint16 mPort = 0;
    QString mError;
};

} // namespace quorlix::test
