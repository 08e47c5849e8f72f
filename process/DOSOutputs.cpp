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

#include <algorithm>
#include <cerrno>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

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

namespace {

// Waits for the child's output while the window's events run, until it has
// written something or closed its output, or a pass's wait is over. Made
// once for a run: a notifier registered with the event loop for each wait
// costs the loop two system calls, and a large site's log takes tens of
// thousands of waits.
class OutputWait {
public:
    explicit OutputWait(int fd) : mFd(fd)
    {
        if (!QCoreApplication::instance())
            return;
        mNotifier.emplace(fd, QSocketNotifier::Read);
        mTimeout.setSingleShot(true);
        QObject::connect(&*mNotifier, &QSocketNotifier::activated, &mTimeout, [this] { wake(); });
        QObject::connect(&mTimeout, &QTimer::timeout, &mTimeout, [this] { wake(); });
    }
    OutputWait(const OutputWait &) = delete;
    OutputWait &operator=(const OutputWait &) = delete;

    // A pass of the runner starts: events are let run, output is read.
    void passStarts() { mUnwaitedWakes = 0; }

    void wait(int timeoutMs)
    {
        if (!mNotifier) {
            posix::waitReadable(mFd, timeoutMs);
            return;
        }
        if (!mNotifier->isEnabled())
            mNotifier->setEnabled(true);
        QElapsedTimer clock;
        clock.start();
        QEventLoop loop;
        mLoop = &loop;
        mWoken = false;
        mUnwaitedWakes = 0;
        mTimeout.start(timeoutMs);
        loop.exec();
        mLoop = nullptr;
        mTimeout.stop();
        // An event loop that returns by itself (the application is quitting)
        // must not turn this into a busy loop.
        if (!mWoken) {
            const int left = timeoutMs - static_cast<int>(clock.elapsed());
            if (left > 0)
                posix::waitReadable(mFd, left);
        }
    }

private:
    void wake()
    {
        if (mLoop && !mWoken) {
            mWoken = true;
            mLoop->quit();
            return;
        }
        // Between waits the notifier stays on and says only that there is
        // output, which the next read takes: once each time the runner lets
        // events run. Said again and again, another loop runs meanwhile (a
        // box the user opened, even from inside the wait) and would spin on
        // it: off until the next wait.
        if (++mUnwaitedWakes > 1)
            mNotifier->setEnabled(false);
    }

    const int mFd;
    std::optional<QSocketNotifier> mNotifier;
    QTimer mTimeout;
    QEventLoop *mLoop = nullptr;
    bool mWoken = false;
    int mUnwaitedWakes = 0;
};

} // namespace

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
    // Watches the read end: gone before it is closed, whose number the
    // next pipe may be given.
    std::optional<OutputWait> outputWait(std::in_place, pipe.readFd);
    const auto endRun = [&] {
        outputWait.reset();
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
    // The pipe is emptied a large piece at a time and handed on in chunks of
    // at most kReadSize bytes, as reads of that size would take them: a
    // large site's log came to 80,000 reads, one for each chunk.
    std::vector<char> piece(kPieceSize);
    std::size_t pieceAt = 0, pieceEnd = 0;
    const char *chunkStart = piece.data();
    const auto readChunk = [&] {
        if (pieceAt == pieceEnd) {
            const ssize_t got = posix::readSome(pipe.readFd, piece.data(), piece.size());
            if (got <= 0)
                return std::pair(got, got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
            pieceAt = 0;
            pieceEnd = static_cast<std::size_t>(got);
        }
        const std::size_t taken = std::min<std::size_t>(kReadSize, pieceEnd - pieceAt);
        chunkStart = piece.data() + pieceAt;
        pieceAt += taken;
        return std::pair(static_cast<ssize_t>(taken), false);
    };
    for (;;) {
        outputWait->passStarts();
        runtime::DoEvents();
        // The read end does not block: output already there is read without
        // a wait, and only an empty pipe is waited on.
        ssize_t got;
        bool nothingYet;
        std::tie(got, nothingYet) = readChunk();
        if (nothingYet && !mCancelled) {
            outputWait->wait(kPassWaitMs);
            std::tie(got, nothingYet) = readChunk();
        }
        const bool succeeded = got > 0 || nothingYet;
        if (mCancelled)
            break;
        if (nothingYet)
            continue;
        QString chunk = decoder.decode(QByteArrayView(chunkStart, got > 0 ? got : 0));
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
        outputWait->passStarts();
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
