#include "FixtureServer.h"

#include <QDeadlineTimer>

namespace quorlix::test {

namespace {
constexpr int kStartTimeoutMs = 10000;
} // namespace

FixtureServer::FixtureServer(const QString &root, const Faults &faults)
{
    QStringList arguments{QStringLiteral(QUORLIX_FIXTURE_SERVER_SCRIPT), root, QStringLiteral("--stdin-lifeline")};
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
    // The first line names the port once the server listens.
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!mPending.contains('\n') && !deadline.hasExpired()) {
        if (!mProcess.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
        mPending += mProcess.readAllStandardOutput();
    }
    const qsizetype end = mPending.indexOf('\n');
    const QByteArray first = end < 0 ? QByteArray() : mPending.left(end);
    mPending.remove(0, end + 1);
    if (!first.startsWith("PORT ")) {
        mError = QStringLiteral("the fixture server did not start: ") + QString::fromLocal8Bit(first);
        return;
    }
    mPort = static_cast<quint16>(first.mid(5).toUInt());
    QObject::connect(&mProcess, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
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

QStringList FixtureServer::requests()
{
    while (mProcess.waitForReadyRead(0)) {
    }
    readOutput();
    return mRequests;
}

void FixtureServer::readOutput()
{
    mPending += mProcess.readAllStandardOutput();
    qsizetype end;
    while ((end = mPending.indexOf('\n')) >= 0) {
        const QByteArray line = mPending.left(end);
        mPending.remove(0, end + 1);
        if (line.startsWith("REQUEST "))
            mRequests << QString::fromUtf8(line.mid(8));
    }
}

} // namespace quorlix::test
