#include "process/DOSOutputs.h"

#include "runtime/Runtime.h"
#include "process/ChildReaper.h"
#include "process/CommandLineSplitter.h"
#include "process/PosixProcess.h"
#include "process/cKillProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QStringDecoder>
#include <QTimer>

#include <cerrno>

namespace quorlix::process {

using runtime::MsgBox;
using runtime::MsgIcon;

std::shared_ptr<DOSOutputs> DOSOutputs::create()
{
    struct Enabler : DOSOutputs {};
    return std::make_shared<Enabler>();
}

DOSOutputs::DOSOutputs() : mTerminatorPlatform(TerminatorPlatform::system()) {}

DOSOutputs::~DOSOutputs() = default;

void DOSOutputs::setTerminatorPlatform(std::shared_ptr<TerminatorPlatform> platform)
{
    mTerminatorPlatform = platform ? std::move(platform) : TerminatorPlatform::system();
}

void DOSOutputs::waitForOutput(int fd)
{
    if (posix::waitReadable(fd, 0))
        return;
    if (!QCoreApplication::instance()) {
        posix::waitReadable(fd, kPassWaitMs);
        return;
    }
    // Keep the window responsive while waiting, and stop waiting as soon as
    // the child has written something or closed its output.
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QTimer timeout;
    timeout.setSingleShot(true);
    bool woken = false;
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
        woken = true;
        loop.quit();
    });
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&] {
        woken = true;
        loop.quit();
    });
    timeout.start(kPassWaitMs);
    loop.exec();
    notifier.setEnabled(false);
    // An event loop that returns by itself (the application is quitting)
    // must not turn this into a busy loop.
    if (!woken) {
        const int left = kPassWaitMs - static_cast<int>(clock.elapsed());
        if (left > 0)
            posix::waitReadable(fd, left);
    }
}

QString DOSOutputs::ExecuteCommand(const QString &CommandLine)
{
    // One run at a time: a nested call would share the members of the run
    // under way and leave its child unread. A refused call changes nothing.
    if (mRunning)
        return QString();
    if (!CommandLine.isEmpty())
        mCommandLine = CommandLine;
    if (mCommandLine.isEmpty()) {
        MsgBox(QStringLiteral("Command Line empty"), MsgIcon::Stop);
        return QString();
    }
    // The instance lives until this call returns, whoever lets go of it.
    const std::shared_ptr<DOSOutputs> self = weak_from_this().lock();

    posix::Pipe pipe;
    if (const int err = posix::makePipe(pipe)) {
        MsgBox(QStringLiteral("CreatePipe failed. Error: ") + QString::number(err), MsgIcon::Stop);
        return QString();
    }

    const QStringList words = SplitCommandLine(mCommandLine);
    posix::SpawnResult child;
    if (words.isEmpty()) {
        child.error = ENOENT;
    } else {
        QList<QByteArray> argv;
        argv.reserve(words.size());
        const QString program = ResolveProgram(words.first(), QDir::currentPath());
        argv << QFile::encodeName(program);
        for (qsizetype i = 1; i < words.size(); ++i)
            argv << words.at(i).toLocal8Bit();
        child = posix::spawnHidden(argv.first(), argv, pipe.writeFd);
    }
    if (child.error) {
        posix::closeFd(pipe.readFd);
        posix::closeFd(pipe.writeFd);
        MsgBox(QStringLiteral("File or command not found"), MsgIcon::Stop);
        return QString();
    }

    // Only the child holds the write end now, so the read ends when it (and
    // whatever inherited its output) is done.
    posix::closeFd(pipe.writeFd);
    mLastProcessId = child.pid;
    mOutputs.clear();
    mCancelled = false;
    mRunning = true;
    const auto endRun = [&] {
        posix::closeFd(pipe.readFd);
        mRunning = false;
    };
    // A listener that throws ends the run as well: the runner must not stay
    // "running" for good, and the child is still reaped.
    auto onThrow = qScopeGuard([&] {
        endRun();
        ChildReaper::instance().reap(child.pid);
    });

    QStringDecoder decoder(QStringDecoder::System);
    char buffer[kReadSize];
    for (;;) {
        runtime::DoEvents();
        waitForOutput(pipe.readFd);
        const ssize_t got = posix::readSome(pipe.readFd, buffer, sizeof buffer);
        const bool nothingYet = got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
        const bool succeeded = got > 0 || nothingYet;
        if (mCancelled)
            break;
        if (nothingYet)
            continue;
        QString chunk = decoder.decode(QByteArrayView(buffer, got > 0 ? got : 0));
        // Bytes that are only the start of a character wait for the rest:
        // the one empty chunk is the last one, at the end of the output.
        if (got > 0 && chunk.isEmpty())
            continue;
        if (mKeepsOutputs)
            mOutputs += chunk;
        {
            QString copy = chunk;
            emit ReceiveOutputs(copy);
        }
        runtime::DoEvents();
        if (!succeeded)
            break;
    }

    onThrow.dismiss();
    endRun();

    const bool cancelled = mCancelled;
    if (cancelled) {
        cKillProcess killer(mTerminatorPlatform);
        killer.KillProcess(static_cast<std::int32_t>(child.pid));
    }
    // Only now may the child be reaped: until then its ID still names it.
    ChildReaper::instance().reap(child.pid);
    if (!cancelled)
        emit Complete();
    return mOutputs;
}

} // namespace quorlix::process
