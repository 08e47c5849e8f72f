#include "FixtureServer.h"

#include <QDeadlineTimer>
#include <QFile>

namespace quorlix::test {

namespace {
constexpr int kStartTimeoutMs = 10000;
const QString kRequestLog = QStringLiteral("requests.log");
} // namespace

FixtureServer::FixtureServer(const QString &root, const Faults &faults)
{
    if (!mLogDir.isValid()) {
        mError = QStringLiteral("no temporary folder for the request log");
        return;
    }
    QStringList arguments{QStringLiteral(QUORLIX_FIXTURE_SERVER_SCRIPT), root, QStringLiteral("--stdin-lifeline"),
                          QStringLiteral("--request-log"), mLogDir.filePath(kRequestLog)};
    if (faults.delaySeconds > 0)
        arguments << QStringLiteral("--delay") << QString::number(faults.delaySeconds);
    for (const QString &error : faults.errors)
        arguments << QStringLiteral("--error") << error;
    for (const QString &drop : faults.drops)
        arguments << QStringLiteral("--drop") << drop;
    if (faults.dropEvery > 0)
        arguments << QStringLiteral("--drop-every") << QString::number(faults.dropEvery);

    mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mProcess.start(QStringLiteral("python3"), arguments);
    if (!mProcess.waitForStarted(kStartTimeoutMs)) {
        mError = QStringLiteral("python3 could not be started: ") + mProcess.errorString();
        return;
    }
    // Its one line of output names the port once the server listens.
    QByteArray output;
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!output.contains('\n') && !deadline.hasExpired()) {
        if (!mProcess.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        output += mProcess.readAllStandardOutput();
    }
    const QByteArray first = output.left(output.indexOf('\n'));
    if (!first.startsWith("PORT ")) {
        mError = QStringLiteral("the fixture server did not start: ") + QString::fromLocal8Bit(first);
        return;
    }
    mPort = static_cast<quint16>(first.mid(5).toUInt());
}

FixtureServer::~FixtureServer()
{
    if (mProcess.state() == QProcess::NotRunning)
        return;
    // End of its standard input stops it; force only a stuck one.
    mProcess.closeWriteChannel();
    mProcess.terminate();
    if (!mProcess.waitForFinished(3000)) {
        mProcess.kill();
        mProcess.waitForFinished(3000);
    }
}

QString FixtureServer::hostFolder() const { return QStringLiteral("127.0.0.1:%1").arg(mPort); }

QString FixtureServer::url(const QString &path) const { return QStringLiteral("http://") + hostFolder() + path; }

QStringList FixtureServer::requests() const
{
    QFile log(mLogDir.filePath(kRequestLog));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList paths = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'));
    paths.removeLast(); // after the last line's end, or a line still being written
    return paths;
}

} // namespace quorlix::test
