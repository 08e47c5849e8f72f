#pragma once

// Starting the test child program (tests/children/runner_child.cpp) and
// watching what becomes of the processes a test started.

#include "process/ChildReaper.h"
#include "process/PosixProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#ifndef QUORLIX_RUNNER_CHILD
#error "QUORLIX_RUNNER_CHILD must name the test child program"
#endif

namespace quorlix::test {

inline QString childProgram() { return QStringLiteral(QUORLIX_RUNNER_CHILD); }

// A command line that starts the test child in the given mode.
inline QString childCommand(const QString &arguments)
{
    return QLatin1Char('"') + childProgram() + QStringLiteral("\" ") + arguments;
}

// The lines of a file that the children append their signals to, sorted.
inline QStringList recordedSignals(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    lines.sort();
    return lines;
}

// Children of this process that have ended and not been reaped.
inline QList<int> zombieChildren()
{
    QList<int> zombies;
    const QString self = QString::number(::getpid());
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool isPid = false;
        const int pid = entry.toInt(&isPid);
        if (!isPid)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and brackets.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(0) == "Z" && fields.at(1) == self.toLatin1())
            zombies << pid;
    }
    return zombies;
}

// Whether every child the runner handed over has been reaped and no other
// child of ours is a zombie. Asking the reaper first keeps the answer from
// flipping while a child turns from running to zombie between two looks.
inline bool noChildLeft()
{
    return process::ChildReaper::instance().pending() == 0 && zombieChildren().isEmpty();
}

// The child in "group" mode started straight through the POSIX layer: a
// process-group leader with one grandchild, both ready for a signal.
class ChildGroup {
public:
    ~ChildGroup()
    {
        if (mLeader > 0 && !mReaped) {
            posix::signalGroup(mLeader, SIGKILL);
            reapLeader();
        }
        posix::closeFd(mPipe.readFd);
    }

    bool start()
    {
        if (!mDir.isValid())
            return fail(QStringLiteral("no temporary folder"));
        mFile = mDir.filePath(QStringLiteral("signals"));
        if (const int err = posix::makePipe(mPipe))
            return fail(QStringLiteral("pipe: %1").arg(err));
        const QList<QByteArray> argv{childProgram().toLocal8Bit(), "group", mFile.toLocal8Bit()};
        const posix::SpawnResult child = posix::spawnHidden(argv.first(), argv, mPipe.writeFd);
        posix::closeFd(mPipe.writeFd);
        if (child.error)
            return fail(QStringLiteral("spawn: %1").arg(child.error));
        mLeader = child.pid;
        QByteArray said;
        QElapsedTimer clock;
        clock.start();
        while (!(said.contains("parent ready") && said.contains("grandchild ready"))) {
            if (clock.elapsed() > 10000)
                return fail(QStringLiteral("not ready: ") + QString::fromLocal8Bit(said));
            posix::waitReadable(mPipe.readFd, 100);
            char buffer[256];
            const ssize_t n = posix::readSome(mPipe.readFd, buffer, sizeof buffer);
            if (n > 0)
                said.append(buffer, n);
        }
        return true;
    }

    pid_t leader() const { return mLeader; }
    QStringList recordedSignals() const { return test::recordedSignals(mFile); }

    void reapLeader()
    {
        int status;
        ::waitpid(mLeader, &status, 0);
        mReaped = true;
    }

    QString problem;

private:
    bool fail(const QString &why)
    {
        problem = why;
        return false;
    }

    QTemporaryDir mDir;
    QString mFile;
    posix::Pipe mPipe;
    pid_t mLeader = -1;
    bool mReaped = false;
};

} // namespace quorlix::test
