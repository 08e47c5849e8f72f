#pragma once

// A private X server for the suites that open the real help viewers: Xvfb
// on a display of its own, programs run there in process groups of their
// own, and what their windows show (titles, a screenshot).

#include "support/OnDisplay.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTest>

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
    PrivateDisplay()
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
            server.start(QStringLiteral("Xvfb"),
                         {QStringLiteral(":%1").arg(number), QStringLiteral("-displayfd"), QStringLiteral("1"),
                          QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1280x900x24"),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp")});
            const QDeadlineTimer deadline(10000);
            QByteArray output;
            while (!output.contains('\n') && server.state() != QProcess::NotRunning
                   && server.waitForReadyRead(int(deadline.remainingTime())))
                output += server.readAllStandardOutput();
            if (output.trimmed().toInt() == number && server.state() == QProcess::Running)
                mName = QStringLiteral(":%1").arg(number);
            else
                mServer.reset();
        }
    }

    // ":N", or empty when no server could be started.
    QString name() const { return mName; }

private:
    std::unique_ptr<GroupProcess> mServer;
    QString mName;
};

// The names of the visible windows on display whose name matches pattern.
inline QStringList windowTitles(const QString &display, const QString &pattern)
{
    return runOnDisplay(display, QStringLiteral("xdotool"),
                        {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), pattern,
                         QStringLiteral("getwindowname"), QStringLiteral("%@")},
                        5000);
}

inline void takeScreenshot(const QString &display, const QString &path)
{
    runOnDisplay(display, QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path}, 10000);
}

// Starts a help viewer on display with a home of its own (no settings or
// recent files of an earlier run count) and no session of the test's.
inline void startViewer(GroupProcess &viewer, const QString &program, const QString &file, const QString &display,
                        const QString &home)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    viewer.process().setProcessEnvironment(environment);
    viewer.process().setProcessChannelMode(QProcess::MergedChannels);
    viewer.process().start(program, {file});
}

// Waits up to timeoutMs for a window titled expected among those whose
// title matches pattern; the titles last seen.
inline QStringList waitForWindowTitle(const QString &display, const QString &pattern, const QString &expected,
                                      int timeoutMs)
{
    QStringList titles;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && !titles.contains(expected)) {
        QTest::qWait(250);
        titles = windowTitles(display, pattern);
    }
    return titles;
}

} // namespace quorlix::test
