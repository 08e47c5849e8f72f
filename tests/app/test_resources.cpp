// What runs leave behind: children that outlive their output, a log of 50 MB,
// and 200 runs in a row. No zombie, no leftover child, no descriptor or
// memory that grows with the number of runs, and memory for a long log
// bounded by a small multiple of the log's own size.

#include "app/MainWindow.h"
#include "support/RecordingDialogs.h"
#include "support/ScratchCheckout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTest>

#include <unistd.h>

using quorlix::MainWindow;
using quorlix::process::DOSOutputs;
using quorlix::test::RecordingDialogs;
using quorlix::test::ScratchCheckout;
using quorlix::test::processPresent;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps freed memory in quarantine: sizes mean nothing there
// (its leak check covers what they would catch).
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

// A field of /proc/self/status in kB ("VmRSS", "VmHWM").
qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(qstrlen(field) + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

int openDescriptors() { return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size(); }

// Processes whose parent is this one, zombies included.
QList<int> childProcesses()
{
    QList<int> children;
    const QByteArray self = QByteArray::number(::getpid());
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1) == self)
            children << entry.toInt();
    }
    return children;
}

// A runner with a Complete counter, as an owner would hold it.
struct CountedRunner {
    CountedRunner() : runner(DOSOutputs::create())
    {
        QObject::connect(runner.get(), &DOSOutputs::Complete, [this] { ++completes; });
    }
    std::shared_ptr<DOSOutputs> runner;
    int completes = 0;
};

} // namespace

class TestResources : public QObject {
    Q_OBJECT
private slots:
    void childOutlivesItsOutput();
    void longLogStaysBounded();
    void manyRunsLeaveNothing();
};

void TestResources::childOutlivesItsOutput()
{
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("lingerer"));
    scratch.set(QStringLiteral("lingerer"), QStringLiteral("TALK_MS"), QStringLiteral("40"));
    scratch.set(QStringLiteral("lingerer"), QStringLiteral("LINGER_MS"), QStringLiteral("2000"));
    RecordingDialogs dialogs;
    CountedRunner run;
    const QString output = run.runner->ExecuteCommand(QStringLiteral("bin/lingerer"));

    // The run is over as soon as the output is closed ...
    QCOMPARE(run.completes, 1);
    QVERIFY(output.startsWith(QStringLiteral("working")));
    const pid_t pid = static_cast<pid_t>(run.runner->lastProcessId());
    QCOMPARE(scratch.pids(QStringLiteral("lingerer")), QList<pid_t>{pid});
    QVERIFY(processPresent(pid));
    // ... and the child is collected when it ends, while the event loop runs.
    QTRY_VERIFY_WITH_TIMEOUT(!processPresent(pid), 15000);
    QVERIFY(dialogs.messages.empty());
}

void TestResources::longLogStaysBounded()
{
    // Where sizes mean nothing a shorter log checks the rest in a fifth of
    // the time.
    constexpr qint64 kLogBytes = (kMemoryIsMeasurable ? 50 : 10) * 1024 * 1024;
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("wget"));
    scratch.set(QStringLiteral("wget"), QStringLiteral("FLOOD"), QString::number(kLogBytes));
    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));

    // The window keeps answering: a timer fires while the log pours in.
    int ticksWhileRunning = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ticksWhileRunning += window.objDOS->isRunning(); });
    ticker.start(100);
    const qint64 peakBefore = statusKb("VmHWM");
    window.cmdExecute->click();
    const qint64 peakAfter = statusKb("VmHWM");
    ticker.stop();

    // The whole log reached the pane (after the window's own first line).
    QVERIFY(window.outputsText().size() > kLogBytes);
    QVERIFY(ticksWhileRunning > 0);
    // The log holds no saved file: the user is told, nothing is compiled.
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    // The pane keeps the text (2 bytes a character, so twice the log), with
    // a block and a laid-out line for every log line (64 bytes each here,
    // shorter than most), and the log is read back from the pane once more
    // at the end.
    const qint64 grownKb = peakAfter - peakBefore;
    qInfo("log %lld kB, peak memory grew by %lld kB (%.1f times the log)", kLogBytes / 1024, grownKb,
          double(grownKb) / double(kLogBytes / 1024));
    if (kMemoryIsMeasurable)
        QVERIFY2(grownKb < 20 * kLogBytes / 1024, qPrintable(QString::number(grownKb)));
}

void TestResources::manyRunsLeaveNothing()
{
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("child"));
    scratch.set(QStringLiteral("child"), QStringLiteral("SAVE"), QStringLiteral("1"));
    RecordingDialogs dialogs;
    CountedRunner run;
    const auto runMany = [&](int runs) {
        for (int i = 0; i < runs; ++i)
            run.runner->ExecuteCommand(QStringLiteral("bin/child -P out http://127.0.0.1:9/"));
        QTRY_VERIFY_WITH_TIMEOUT(childProcesses().isEmpty(), 15000);
    };
    // The first runs set up what stays for the whole program (the reaper's
    // timer, the decoder's tables, the heap's pools).
    runMany(20);
    const int descriptors = openDescriptors();
    const qint64 memoryKb = statusKb("VmRSS");

    runMany(200);
    QCOMPARE(run.completes, 220);
    QCOMPARE(scratch.pids(QStringLiteral("child")).size(), 220);
    QCOMPARE(openDescriptors(), descriptors);
    QCOMPARE(childProcesses(), QList<int>());
    const qint64 grownKb = statusKb("VmRSS") - memoryKb;
    qInfo("200 runs: memory grew by %lld kB", grownKb);
    if (kMemoryIsMeasurable)
        QVERIFY2(grownKb < 4096, qPrintable(QString::number(grownKb)));
    QVERIFY(dialogs.messages.empty());
}

QTEST_MAIN(TestResources)
#include "test_resources.moc"
