// The console command runner against real child programs: what its listeners
// receive, how it fails, how a cancel ends the child, and what the child sees.

#include "support/ChildProcesses.h"
#include "support/FakeTerminatorPlatform.h"
#include "support/RecordingDialogs.h"
#include "process/DOSOutputs.h"

#include <QFile>
#include <QTimer>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <stdexcept>
#include <unistd.h>

using quorlix::process::DOSOutputs;
using quorlix::process::TerminatorPlatform;
using quorlix::runtime::MsgIcon;
using quorlix::test::childCommand;
using quorlix::test::FakeTerminatorPlatform;
using quorlix::test::RecordingDialogs;

namespace {

// Everything a runner tells its listeners, in order.
class EventLog {
public:
    explicit EventLog(DOSOutputs &runner)
    {
        QObject::connect(&runner, &DOSOutputs::ReceiveOutputs, [this](QString &chunk) {
            chunks << chunk;
            sequence << QStringLiteral("chunk");
            if (onChunk)
                onChunk(chunk);
        });
        QObject::connect(&runner, &DOSOutputs::Complete, [this] {
            sequence << QStringLiteral("complete");
            if (onComplete)
                onComplete();
        });
    }

    QString text() const { return chunks.join(QString()); }
    int completes() const { return int(sequence.count(QStringLiteral("complete"))); }
    // Whether no chunk but the last is empty, and that one is.
    bool onlyLastChunkEmpty() const
    {
        for (qsizetype i = 0; i + 1 < chunks.size(); ++i)
            if (chunks.at(i).isEmpty())
                return false;
        return !chunks.isEmpty() && chunks.last().isEmpty();
    }

    QStringList chunks;
    QStringList sequence;
    std::function<void(QString &)> onChunk;
    std::function<void()> onComplete;
};

QString letters(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QLatin1Char(char('a' + i % 26));
    return text;
}

} // namespace

class TestRunner : public QObject {
    Q_OBJECT
private slots:
    void cleanup();

    void silentChild();
    void chunksOfAtMost256Bytes_data();
    void chunksOfAtMost256Bytes();
    void chattyChildArrivesWholeAndInOrder();
    void failingChildStillCompletes_data();
    void failingChildStillCompletes();
    void childOutlivingItsOutputIsReaped();
    void missingProgram_data();
    void missingProgram();
    void emptyCommandLine();
    void argumentIsStored();
    void multibyteCharacterSplitAcrossReads();
    void cancelMidRun_data();
    void cancelMidRun();
    void cancelEndsWholeProcessGroup();
    void cancelBeforeRunHasNoEffect();
    void cancelFromCompleteListenerHasNoEffect();
    void nestedRunIsRefused();
    void loopRunByAListenerDoesNotSpinOnOutput_data();
    void loopRunByAListenerDoesNotSpinOnOutput();
    void ownerDroppingItsReferenceDoesNotEndRun();
    void listenerThatThrowsLeavesRunnerUsable();
    void childSeesOnlyItsThreeDescriptors();
    void childLeadsGroupWithoutTerminal();

private:
    RecordingDialogs mDialogs;
    QTemporaryDir mScratch;
};

void TestRunner::cleanup()
{
    // Every child is reaped once the event loop has had a moment.
    QTRY_VERIFY_WITH_TIMEOUT(quorlix::test::noChildLeft(), 10000);
    QVERIFY(mDialogs.messages.empty());
    mDialogs.messages.clear();
}

void TestRunner::silentChild()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("silent")));
    QCOMPARE(log.sequence, QStringList({"chunk", "complete"}));
    QCOMPARE(log.chunks, QStringList({""}));
    QVERIFY(result.isEmpty());
    QVERIFY(runner->Outputs().isEmpty());
    QVERIFY(!runner->isRunning());
}

void TestRunner::chunksOfAtMost256Bytes_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("chunkSizes");
    // One write of at most a pipe's atomic size is all there at the first read.
    QTest::newRow("300") << 300 << QList<int>{256, 44, 0};
    QTest::newRow("256") << 256 << QList<int>{256, 0};
    QTest::newRow("1") << 1 << QList<int>{1, 0};
    QTest::newRow("4096") << 4096 << QList<int>(16, 256) + QList<int>{0};
}

void TestRunner::chunksOfAtMost256Bytes()
{
    QFETCH(int, size);
    QFETCH(QList<int>, chunkSizes);

    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("bytes %1").arg(size)));
    QList<int> sizes;
    for (const QString &chunk : log.chunks)
        sizes << int(chunk.size());
    QCOMPARE(sizes, chunkSizes);
    QCOMPARE(log.sequence.last(), QStringLiteral("complete"));
    QCOMPARE(log.completes(), 1);
    QCOMPARE(log.text(), letters(size));
    QCOMPARE(runner->Outputs(), log.text());
    QCOMPARE(result, log.text());
}

void TestRunner::chattyChildArrivesWholeAndInOrder()
{
    const int lines = 20000;
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("chatty %1").arg(lines)));

    QString expected;
    for (int i = 1; i <= lines; ++i)
        expected += QStringLiteral("line %1 of %2\n").arg(i).arg(lines);
    QCOMPARE(result, expected);
    QCOMPARE(log.text(), expected);
    QCOMPARE(runner->Outputs(), expected);
    QVERIFY(log.onlyLastChunkEmpty());
    for (const QString &chunk : log.chunks)
        QVERIFY(chunk.size() <= DOSOutputs::kReadSize);
    QCOMPARE(log.completes(), 1);
    QCOMPARE(log.sequence.last(), QStringLiteral("complete"));
}

void TestRunner::failingChildStillCompletes_data()
{
    QTest::addColumn<int>("code");
    QTest::newRow("exit 3") << 3;
    // Only a failed start is "not found", not a child's own exit code.
    QTest::newRow("exit 127") << 127;
}

void TestRunner::failingChildStillCompletes()
{
    QFETCH(int, code);
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("exit %1").arg(code))), QStringLiteral("failing\n"));
    QCOMPARE(log.completes(), 1);
}

void TestRunner::childOutlivingItsOutputIsReaped()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("linger"))), QStringLiteral("closing\n"));
    QCOMPARE(log.completes(), 1);
    // cleanup() checks that the child, still running here, is reaped later.
}

void TestRunner::missingProgram_data()
{
    QTest::addColumn<QString>("commandLine");

    QVERIFY(mScratch.isValid());
    QFile notExecutable(mScratch.filePath(QStringLiteral("plain")));
    QVERIFY(notExecutable.open(QIODevice::WriteOnly));
    notExecutable.write("#!/bin/sh\necho should not run\n");
    notExecutable.close();

    QTest::newRow("absolute path") << "/no/such/folder/program -x";
    QTest::newRow("bare name") << "no-such-program-quorlix";
    QTest::newRow("relative with backslash") << "no\\such\\program";
    QTest::newRow("folder") << "\"" + mScratch.path() + "\"";
    QTest::newRow("file without execute bit") << "\"" + notExecutable.fileName() + "\"";
    QTest::newRow("only blanks") << "   ";
    QTest::newRow("empty quotes") << "\"\" arg";
}

void TestRunner::missingProgram()
{
    QFETCH(QString, commandLine);
    auto runner = DOSOutputs::create();
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("bytes 5"))), QStringLiteral("abcde"));
    const qint64 previousChild = runner->lastProcessId();

    EventLog log(*runner);
    QCOMPARE(runner->ExecuteCommand(commandLine), QString());
    QCOMPARE(mDialogs.messages.size(), std::size_t(1));
    QCOMPARE(mDialogs.messages.front().text, QStringLiteral("File or command not found"));
    QCOMPARE(mDialogs.messages.front().icon, MsgIcon::Stop);
    QCOMPARE(mDialogs.messages.front().title, QStringLiteral("quorlix"));
    mDialogs.messages.clear();
    QVERIFY(log.sequence.isEmpty());
    QCOMPARE(runner->Outputs(), QStringLiteral("abcde"));
    QCOMPARE(runner->CommandLine(), commandLine);
    QCOMPARE(runner->lastProcessId(), previousChild);
    QVERIFY(!runner->isRunning());
}

void TestRunner::emptyCommandLine()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    QCOMPARE(runner->ExecuteCommand(), QString());
    QCOMPARE(runner->ExecuteCommand(QString()), QString());
    QCOMPARE(mDialogs.messages.size(), std::size_t(2));
    for (const RecordingDialogs::Message &message : mDialogs.messages) {
        QCOMPARE(message.text, QStringLiteral("Command Line empty"));
        QCOMPARE(message.icon, MsgIcon::Stop);
        QCOMPARE(message.title, QStringLiteral("quorlix"));
    }
    mDialogs.messages.clear();
    QVERIFY(log.sequence.isEmpty());
    QVERIFY(runner->CommandLine().isEmpty());
    QCOMPARE(runner->lastProcessId(), 0);
}

void TestRunner::argumentIsStored()
{
    auto runner = DOSOutputs::create();
    const QString line = childCommand(QStringLiteral("args one \"two three\" \"\" C:\\x\\"));
    QCOMPARE(runner->ExecuteCommand(line), QStringLiteral("one\ntwo three\n\nC:\\x\\\n"));
    QCOMPARE(runner->CommandLine(), line);

    // Without an argument the stored line runs again.
    QCOMPARE(runner->ExecuteCommand(), QStringLiteral("one\ntwo three\n\nC:\\x\\\n"));

    runner->setCommandLine(childCommand(QStringLiteral("args four")));
    QCOMPARE(runner->ExecuteCommand(), QStringLiteral("four\n"));
}

void TestRunner::multibyteCharacterSplitAcrossReads()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("split")));
    QCOMPARE(result, QStringLiteral("caf\u00e9!\n"));
    QCOMPARE(log.text(), result);
    // The pause between the two halves is longer than a pass's wait: passes
    // without output, and the half character, raise nothing.
    QVERIFY2(log.onlyLastChunkEmpty(), qPrintable(log.chunks.join(QLatin1Char('|'))));
    QVERIFY(!result.contains(QChar::ReplacementCharacter));
    QCOMPARE(log.completes(), 1);
}

void TestRunner::cancelMidRun_data()
{
    QTest::addColumn<bool>("fromListener");
    QTest::newRow("from a chunk's listener") << true;
    QTest::newRow("from a timer while waiting") << false;
}

void TestRunner::cancelMidRun()
{
    QFETCH(bool, fromListener);
    auto runner = DOSOutputs::create();
    auto platform = std::make_shared<FakeTerminatorPlatform>(TerminatorPlatform::system());
    runner->setTerminatorPlatform(platform);
    EventLog log(*runner);
    int chunksAtCancel = -1;
    auto cancel = [&] {
        if (chunksAtCancel < 0) {
            chunksAtCancel = int(log.chunks.size());
            runner->Cancel();
        }
    };
    if (fromListener)
        log.onChunk = [&](QString &) {
            if (log.chunks.size() == 3)
                cancel();
        };
    else
        // Armed by the first chunk, so that a slow start on a busy machine
        // cannot leave the cancel before any output.
        log.onChunk = [&](QString &) {
            if (log.chunks.size() == 1)
                QTimer::singleShot(100, runner.get(), cancel);
        };

    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("ticker")));

    QVERIFY(chunksAtCancel > 0);
    QCOMPARE(int(log.chunks.size()), chunksAtCancel);
    QCOMPARE(log.completes(), 0);
    QCOMPARE(result, log.text());
    QCOMPARE(runner->Outputs(), result);
    QVERIFY(result.startsWith(QStringLiteral("tick\n")));
    QVERIFY(!runner->isRunning());

    const auto pid = std::int32_t(runner->lastProcessId());
    QVERIFY(pid > 0);
    QCOMPARE(platform->versionQueries, 1);
    QCOMPARE(platform->windowQueries, std::vector<std::int32_t>{pid});
    QCOMPARE(platform->posted.size(), std::size_t(1));
    QCOMPARE(platform->posted.front().first, pid);
    QCOMPARE(platform->posted.front().second, TerminatorPlatform::CloseMessage::Close);
    QVERIFY(platform->terminated.empty());
}

void TestRunner::cancelEndsWholeProcessGroup()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("signals"));

    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    log.onChunk = [&](QString &) {
        const QString text = log.text();
        if (text.contains(QStringLiteral("parent ready")) && text.contains(QStringLiteral("grandchild ready")))
            runner->Cancel();
    };
    runner->ExecuteCommand(childCommand(QStringLiteral("group \"%1\"").arg(file)));
    QCOMPARE(log.completes(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(quorlix::test::recordedSignals(file),
                              QStringList({QStringLiteral("grandchild %1").arg(SIGTERM),
                                           QStringLiteral("parent %1").arg(SIGTERM)}),
                              10000);
}

void TestRunner::cancelBeforeRunHasNoEffect()
{
    auto runner = DOSOutputs::create();
    auto platform = std::make_shared<FakeTerminatorPlatform>(TerminatorPlatform::system());
    runner->setTerminatorPlatform(platform);
    EventLog log(*runner);
    runner->Cancel();
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("bytes 3"))), QStringLiteral("abc"));
    QCOMPARE(log.sequence, QStringList({"chunk", "chunk", "complete"}));
    QVERIFY(platform->windowQueries.empty());
}

void TestRunner::cancelFromCompleteListenerHasNoEffect()
{
    auto runner = DOSOutputs::create();
    auto platform = std::make_shared<FakeTerminatorPlatform>(TerminatorPlatform::system());
    runner->setTerminatorPlatform(platform);
    EventLog log(*runner);
    log.onComplete = [&] { runner->Cancel(); };
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("bytes 4"))), QStringLiteral("abcd"));
    QCOMPARE(log.completes(), 1);
    QVERIFY(platform->windowQueries.empty());

    // The next run starts afresh.
    log.onComplete = nullptr;
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("bytes 2"))), QStringLiteral("ab"));
    QCOMPARE(log.completes(), 2);
    QVERIFY(platform->windowQueries.empty());
}

void TestRunner::nestedRunIsRefused()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    QString nestedResult = QStringLiteral("not called");
    QStringList eventsDuringNested;
    qint64 childBefore = 0;
    qint64 childAfter = 0;
    log.onChunk = [&](QString &) {
        if (log.chunks.size() != 1)
            return;
        const qsizetype before = log.sequence.size();
        childBefore = runner->lastProcessId();
        nestedResult = runner->ExecuteCommand(childCommand(QStringLiteral("bytes 7")));
        childAfter = runner->lastProcessId();
        eventsDuringNested = log.sequence.mid(before);
    };
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("chatty 500")));

    QCOMPARE(nestedResult, QString());
    QCOMPARE(runner->CommandLine(), childCommand(QStringLiteral("chatty 500")));
    QVERIFY(eventsDuringNested.isEmpty());
    QCOMPARE(childAfter, childBefore);
    QCOMPARE(log.completes(), 1);
    QVERIFY(result.startsWith(QStringLiteral("line 1 of 500\n")));
    QVERIFY(result.endsWith(QStringLiteral("line 500 of 500\n")));
    QCOMPARE(result, log.text());
    QCOMPARE(runner->Outputs(), result);
}

void TestRunner::loopRunByAListenerDoesNotSpinOnOutput_data()
{
    QTest::addColumn<bool>("fromWait");
    QTest::newRow("opened by a chunk's listener") << false;
    QTest::newRow("opened while the runner waits for output") << true;
}

// A box opened while the child's output waits unread runs its own event
// loop: the runner's watch on the pipe must not wake that loop over and over.
void TestRunner::loopRunByAListenerDoesNotSpinOnOutput()
{
    QFETCH(bool, fromWait);
    struct WakeCounter : QObject {
        int wakes = 0;
        bool eventFilter(QObject *, QEvent *e) override { return (wakes += e->type() == QEvent::SockAct), false; }
    } counter;
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    const auto box = [&] {
        QCoreApplication::instance()->installEventFilter(&counter);
        QEventLoop loop;
        QTimer::singleShot(300, &loop, &QEventLoop::quit);
        loop.exec();
        QCoreApplication::instance()->removeEventFilter(&counter);
    };
    if (fromWait) // the ticker writes a line every 20 ms: the runner mostly waits
        QTimer::singleShot(100, [&] { box(), runner->Cancel(); });
    else
        log.onChunk = [&](QString &) { log.chunks.size() == 1 ? box() : void(); };
    const QString result = runner->ExecuteCommand(
        childCommand(fromWait ? QStringLiteral("ticker") : QStringLiteral("chatty 500")));

    QVERIFY2(counter.wakes <= 3, qPrintable(QString::number(counter.wakes)));
    if (!fromWait)
        QVERIFY(result.endsWith(QStringLiteral("line 500 of 500\n")));
}

void TestRunner::ownerDroppingItsReferenceDoesNotEndRun()
{
    auto owner = DOSOutputs::create();
    std::weak_ptr<DOSOutputs> watch = owner;
    DOSOutputs *runner = owner.get();
    EventLog log(*runner);
    log.onChunk = [&](QString &) { owner.reset(); };
    const QString result = runner->ExecuteCommand(childCommand(QStringLiteral("chatty 100")));
    QVERIFY(!owner);
    QVERIFY(watch.expired());
    QCOMPARE(log.completes(), 1);
    QVERIFY(result.endsWith(QStringLiteral("line 100 of 100\n")));
}

void TestRunner::listenerThatThrowsLeavesRunnerUsable()
{
    auto runner = DOSOutputs::create();
    EventLog log(*runner);
    log.onChunk = [](QString &) { throw std::runtime_error("listener failed"); };
    bool thrown = false;
    try {
        runner->ExecuteCommand(childCommand(QStringLiteral("chatty 2000")));
    } catch (const std::runtime_error &) {
        thrown = true;
    }
    QVERIFY(thrown);
    QVERIFY(!runner->isRunning());

    // The run is over: the next one runs normally, and the child of the
    // failed one is still reaped (see cleanup).
    log.onChunk = nullptr;
    QCOMPARE(runner->ExecuteCommand(childCommand(QStringLiteral("bytes 3"))), QStringLiteral("abc"));
    QCOMPARE(log.completes(), 1);
}

void TestRunner::childSeesOnlyItsThreeDescriptors()
{
    // Descriptors of ours that are inheritable must still not reach it.
    const int inheritable = ::open("/dev/null", O_RDONLY);
    int extraPipe[2];
    QVERIFY(inheritable >= 0);
    QVERIFY(::pipe(extraPipe) == 0);

    auto runner = DOSOutputs::create();
    const QString listing = runner->ExecuteCommand(childCommand(QStringLiteral("fds")));
    ::close(inheritable);
    ::close(extraPipe[0]);
    ::close(extraPipe[1]);

    QMap<int, QString> targets;
    for (const QString &line : listing.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        targets.insert(line.left(blank).toInt(), line.mid(blank + 1));
    }
    QCOMPARE(targets.keys(), QList<int>({0, 1, 2}));
    QCOMPARE(targets.value(0), QStringLiteral("/dev/null"));
    QVERIFY2(targets.value(1).startsWith(QStringLiteral("pipe:")), qPrintable(listing));
    QCOMPARE(targets.value(2), targets.value(1));
}

void TestRunner::childLeadsGroupWithoutTerminal()
{
    auto runner = DOSOutputs::create();
    const QStringList fields =
        runner->ExecuteCommand(childCommand(QStringLiteral("session"))).trimmed().split(QLatin1Char(' '));
    QCOMPARE(fields.size(), 4);
    const QString pid = QString::number(runner->lastProcessId());
    QCOMPARE(fields.at(0), pid);
    QCOMPARE(fields.at(1), pid); // process group
    QCOMPARE(fields.at(2), pid); // session: no controlling terminal comes with it
    QVERIFY2(fields.at(3) != QStringLiteral("0"), "the child could open /dev/tty");
}

QTEST_GUILESS_MAIN(TestRunner)
#include "test_runner.moc"
