#pragma once

// A test's own X display (an Xvfb server on a number no other suite takes),
// and running an X client (xdotool, import) on it.

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <csignal>
#include <memory>

#include <unistd.h>

namespace quorlix::test {

// A program started in a process group of its own, ended with everything it
// started when this goes out of scope.
class GroupProcess {
public:
    GroupProcess()
    {
        mProcess.setChildProcessModifier([] { ::setsid(); });
    }
    ~GroupProcess() { stop(); }
    GroupProcess(const GroupProcess &) = delete;
    GroupProcess &operator=(const GroupProcess &) = delete;

    QProcess &process() { return mProcess; }

    void stop()
    {
        if (mProcess.state() == QProcess::NotRunning)
            return;
        const auto group = static_cast<pid_t>(mProcess.processId());
        ::kill(-group, SIGTERM);
        if (!mProcess.waitForFinished(3000)) {
            ::kill(-group, SIGKILL);
            mProcess.waitForFinished(3000);
        }
        // Whatever it left in its group goes too.
        ::kill(-group, SIGKILL);
    }

private:
    QProcess mProcess;
};

// An Xvfb server on a display of its own. The number is picked from a range
// that depends on this process's ID, away from the low numbers that other
// programs on a shared machine ask for by name; a number in use is skipped
// (Xvfb then ends at once) and the next one tried.
class PrivateDisplay {
public:
    explicit PrivateDisplay(const QString &screen = QStringLiteral("1280x900x24"))
    {
        const int base = 300 + int(::getpid() % 400);
        for (int attempt = 0; attempt < 20 && mName.isEmpty(); ++attempt) {
            const int number = base + attempt;
            if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
                continue;
            mServer = std::make_unique<GroupProcess>();
            QProcess &server = mServer->process();
            server.setProcessChannelMode(QProcess::SeparateChannels);
            // -displayfd: it writes the number once it accepts connections.
            server.start(QStringLiteral("Xvfb"), {QStringLiteral(":%1").arg(number), QStringLiteral("-displayfd"),
                                                  QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                                                  screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            const QDeadlineTimer deadline(10000);
            QByteArray output;
            while (!output.contains('\n') && server.state() != QProcess::NotRunning
                   && server.waitForReadyRead(int(deadline.remainingTime())))
                output += server.readAllStandardOutput();
            // A client must get in too: a server that a colliding one
            // disturbed (on a machine where other suites run) is passed over.
            if (output.trimmed().toInt() == number && server.state() == QProcess::Running
                && acceptsClients(QStringLiteral(":%1").arg(number)))
                mName = QStringLiteral(":%1").arg(number);
            else
                mServer.reset();
        }
    }

    // ":N", or empty when no server could be started.
    QString name() const { return mName; }

private:
    static bool acceptsClients(const QString &display)
    {
        QProcess client;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), display);
        client.setProcessEnvironment(environment);
        client.start(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")});
        return client.waitForFinished(10000) && client.exitStatus() == QProcess::NormalExit
               && client.exitCode() == 0;
    }

    std::unique_ptr<GroupProcess> mServer;
    QString mName;
};

// Runs program on display to its end (at most timeoutMs); its output lines.
inline QStringList runOnDisplay(const QString &display, const QString &program, const QStringList &arguments,
                                int timeoutMs = 30000)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    if (!tool.waitForFinished(timeoutMs))
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace quorlix::test
