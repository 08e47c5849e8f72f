// Faults around a conversion: outside programs missing, a site that fails
// or a downloader killed mid-run, an output folder that cannot be written,
// children that misbehave, and a user who clicks too much. Every case ends
// with the window ready again, nothing half-written, nothing left running.

#include "app/MainWindow.h"
#include "runtime/QtDialogs.h"
#include "support/ConditionTrigger.h"
#include "support/FixtureServer.h"
#include "support/RecordingDialogs.h"
#include "support/ScratchCheckout.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

using quorlix::MainWindow;
using quorlix::runtime::MsgIcon;
using quorlix::test::ConditionTrigger;
using quorlix::test::FixtureServer;
using quorlix::test::RecordingDialogs;
using quorlix::test::ScratchCheckout;
using quorlix::test::fileBytes;
using quorlix::test::processPresent;

namespace {

const QString kNotFound = QStringLiteral("File or command not found");
const QString kStillFinishing = QStringLiteral("The previous conversion is still finishing its help file.");
const QString kProjectNotWritten = QStringLiteral("The help project could not be written:");
const QString kNoFiles = QStringLiteral("No downloaded files were found in the log");

QStringList messageTexts(const RecordingDialogs &dialogs)
{
    QStringList texts;
    for (const auto &message : dialogs.messages)
        texts << message.text;
    return texts;
}

// The "[FILES]" lines of a project.
QStringList projectFiles(const QByteArray &project)
{
    const QString text = QString::fromLocal8Bit(project);
    const qsizetype from = text.indexOf(QStringLiteral("[FILES]\r\n"));
    const qsizetype to = text.indexOf(QStringLiteral("\r\n\r\n[INFOTYPES]"));
    if (from < 0 || to < from)
        return {};
    return text.mid(from + 9, to - from - 9).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// Waits until none of the processes is there any more, not even as a zombie.
bool allGone(const QList<pid_t> &pids)
{
    QDeadlineTimer deadline(15000);
    for (;;) {
        bool gone = true;
        for (pid_t pid : pids)
            gone = gone && !processPresent(pid);
        if (gone)
            return true;
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
}

// Real message boxes would wait for a person; the shell's start is real.
class RealShellDialogs final : public quorlix::runtime::Dialogs {
public:
    RealShellDialogs() { quorlix::runtime::setDialogs(this); }
    ~RealShellDialogs() override { quorlix::runtime::setDialogs(nullptr); }
    void messageBox(const QString &text, MsgIcon, const QString &) override { messages << text; }
    std::optional<QString> browseForFolder(const QString &, const QString &) override { return std::nullopt; }
    bool shellRun(const QString &program, const QStringList &arguments) override
    {
        return mReal.shellRun(program, arguments);
    }
    void endProgram(int) override {}
    QStringList messages;

private:
    quorlix::runtime::QtDialogs mReal;
};

// Limits the size of any file this process (and its children) writes, as a
// full disk would, for as long as it lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &mOld);
        mOldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = mOld;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &mOld);
        std::signal(SIGXFSZ, mOldHandler);
    }

private:
    rlimit mOld{};
    void (*mOldHandler)(int) = nullptr;
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void programMissing_data();
    void programMissing();
    void viewerMissing_data();
    void viewerMissing();
    void siteFailsMidMirror_data();
    void siteFailsMidMirror();
    void outputFolderUnwritable_data();
    void outputFolderUnwritable();
    void clickStorm_data();
    void clickStorm();
    void exitDuringDownload();
};

void TestFaults::programMissing_data()
{
    QTest::addColumn<QString>("missing");
    QTest::newRow("downloader") << "wget";
    QTest::newRow("help compiler") << "hhc";
}

void TestFaults::programMissing()
{
    QFETCH(QString, missing);
    ScratchCheckout scratch;
    for (const QString &name : {QStringLiteral("wget"), QStringLiteral("hhc")})
        if (name != missing)
            scratch.addStandin(name);
    scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("1"));
    const QString folder = scratch.path(QStringLiteral("out"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(QStringLiteral("http://127.0.0.1:9/"));
    window.cmdExecute->click();

    QCOMPARE(messageTexts(dialogs), QStringList{kNotFound});
    QCOMPARE(dialogs.messages[0].icon, MsgIcon::Stop);
    QCOMPARE(dialogs.messages[0].title, QStringLiteral("quorlix"));
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Cancel"));
    QVERIFY(dialogs.shellCalls.empty());
    // A missing compiler is found only after the project was written.
    QCOMPARE(QFile::exists(QDir(folder).filePath(QStringLiteral("output.HHP"))), missing == "hhc");
    QCOMPARE(window.txtOutputs->toPlainText().isEmpty(), missing == "wget");

    // The next click only gives the button back.
    const QString pane = window.txtOutputs->toPlainText();
    window.cmdExecute->click();
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QVERIFY(dialogs.shellCalls.empty());
    QCOMPARE(window.txtOutputs->toPlainText(), pane);
    QCOMPARE(scratch.pids(QStringLiteral("wget")).size(), missing == "wget" ? 0 : 1);
    QVERIFY(scratch.pids(QStringLiteral("hhc")).isEmpty());
}

void TestFaults::viewerMissing_data()
{
    QTest::addColumn<bool>("openerExists");
    QTest::addColumn<QString>("message");
    QTest::newRow("no opener on PATH") << false << "File not found: hh - quorlix - 53";
    QTest::newRow("opener finds no viewer") << true << "The help viewer could not be opened.";
}

void TestFaults::viewerMissing()
{
    QFETCH(bool, openerExists);
    QFETCH(QString, message);
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("wget"));
    scratch.addStandin(QStringLiteral("hhc"));
    scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("1"));
    // A PATH with no viewer on it, and the opener only when asked for.
    QDir(scratch.path()).mkdir(QStringLiteral("path"));
    if (openerExists)
        QFile::link(QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("bin/hh")),
                    scratch.path(QStringLiteral("path/hh")));
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", scratch.path(QStringLiteral("path")).toLocal8Bit());

    RealShellDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(QStringLiteral("http://127.0.0.1:9/"));
    window.cmdExecute->click();
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QTRY_COMPARE_WITH_TIMEOUT(dialogs.messages.size(), 1, 15000);
    qputenv("PATH", oldPath);
    QVERIFY2(dialogs.messages[0].startsWith(message), qPrintable(dialogs.messages[0]));
    if (openerExists)
        QVERIFY2(dialogs.messages[0].contains(QStringLiteral("no help viewer is installed")),
                 qPrintable(dialogs.messages[0]));
}

void TestFaults::siteFailsMidMirror_data()
{
    QTest::addColumn<QStringList>("errors");
    QTest::addColumn<QStringList>("drops");
    QTest::addColumn<int>("dropEvery");
    QTest::addColumn<bool>("killDownloader");
    QTest::newRow("errors for a folder") << QStringList{"500:/docs/*", "404:/images/*"} << QStringList() << 0
                                         << false;
    QTest::newRow("connections dropped") << QStringList() << QStringList{"/docs/guide.html"} << 3 << false;
    QTest::newRow("downloader killed") << QStringList() << QStringList() << 0 << true;
}

void TestFaults::siteFailsMidMirror()
{
    QFETCH(QStringList, errors);
    QFETCH(QStringList, drops);
    QFETCH(int, dropEvery);
    QFETCH(bool, killDownloader);

    FixtureServer::Faults faults;
    faults.errors = errors;
    faults.drops = drops;
    faults.dropEvery = dropEvery;
    faults.delaySeconds = killDownloader ? 0.3 : 0;
    FixtureServer server(QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/site")),
                         faults);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    ScratchCheckout scratch;
    scratch.addReal(QStringLiteral("wget"));
    scratch.addReal(QStringLiteral("hhc"));
    // A dropped connection is tried again at once, and only once.
    QFile rc(scratch.path(QStringLiteral("wgetrc")));
    QVERIFY(rc.open(QIODevice::WriteOnly));
    rc.write("tries = 2\nwaitretry = 0\n");
    rc.close();
    qputenv("WGETRC", rc.fileName().toLocal8Bit());
    const QString folder = scratch.path(QStringLiteral("out"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(server.url());
    qint64 downloader = 0;
    ConditionTrigger killer(
        [&] { return killDownloader && window.txtOutputs->toPlainText().contains(QStringLiteral("-> \"")); },
        [&] {
            downloader = window.objDOS->lastProcessId();
            ::kill(static_cast<pid_t>(downloader), SIGKILL);
        });
    window.cmdExecute->click();
    qunsetenv("WGETRC");

    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QVERIFY2(dialogs.messages.empty(), qPrintable(messageTexts(dialogs).join(QLatin1Char('\n'))));
    QCOMPARE(killer.fired(), killDownloader);
    // The project lists what was saved, and only that.
    const QStringList files = projectFiles(fileBytes(QDir(folder).filePath(QStringLiteral("output.HHP"))));
    QVERIFY(!files.isEmpty());
    QCOMPARE(files.first(), server.hostFolder() + QStringLiteral("/index.html"));
    for (const QString &file : files)
        QVERIFY2(QFileInfo(QDir(folder).filePath(file)).isFile(), qPrintable(file));
    if (!errors.isEmpty())
        for (const QString &file : files)
            QVERIFY2(!file.contains(QStringLiteral("/docs/")) && !file.contains(QStringLiteral("/images/")),
                     qPrintable(file));
    if (killDownloader)
        QVERIFY(files.size() < 6);
    QVERIFY(fileBytes(QDir(folder).filePath(QStringLiteral("output.chm"))).startsWith("ITSF"));
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(1));
    if (killDownloader)
        QVERIFY(allGone({static_cast<pid_t>(downloader)}));
}

void TestFaults::outputFolderUnwritable_data()
{
    QTest::addColumn<bool>("realDownloader");
    QTest::addColumn<QString>("folderName");
    QTest::addColumn<int>("fileSizeLimit"); // 0: none
    QTest::addColumn<QString>("message");   // what it begins with; empty: none, the conversion succeeds
    QTest::newRow("below a regular file") << false << "a file/out" << 0 << kProjectNotWritten;
    QTest::newRow("full") << false << "out" << 2048 << kProjectNotWritten;
    QTest::newRow("below a regular file, real downloader") << true << "a file/out" << 0 << kNoFiles;
    QTest::newRow("missing parents, real downloader") << true << "new/parents/out" << 0 << QString();
}

void TestFaults::outputFolderUnwritable()
{
    QFETCH(bool, realDownloader);
    QFETCH(QString, folderName);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, message);

    std::unique_ptr<FixtureServer> server;
    ScratchCheckout scratch;
    if (realDownloader) {
        server = std::make_unique<FixtureServer>(
            QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/site")));
        QVERIFY2(server->isListening(), qPrintable(server->errorString()));
        scratch.addReal(QStringLiteral("wget"));
        scratch.addReal(QStringLiteral("hhc"));
    } else {
        scratch.addStandin(QStringLiteral("wget"));
        scratch.addStandin(QStringLiteral("hhc"));
        // Enough pages that their list is larger than the limit, each page
        // itself well below it.
        scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("200"));
    }
    QFile blocker(scratch.path(QStringLiteral("a file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString folder = scratch.path(folderName);
    const QByteArray earlierProject = "an earlier project\r\n";
    if (fileSizeLimit) {
        QDir().mkpath(folder);
        QFile old(QDir(folder).filePath(QStringLiteral("output.HHP")));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(earlierProject);
    }

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(server ? server->url() : QStringLiteral("http://127.0.0.1:9/"));
    {
        std::optional<FileSizeLimit> limit;
        if (fileSizeLimit)
            limit.emplace(static_cast<rlim_t>(fileSizeLimit));
        window.cmdExecute->click();
    }

    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    const QString project = QDir(folder).filePath(QStringLiteral("output.HHP"));
    if (message.isEmpty()) {
        QVERIFY2(dialogs.messages.empty(), qPrintable(messageTexts(dialogs).join(QLatin1Char('\n'))));
        QVERIFY(fileBytes(QDir(folder).filePath(QStringLiteral("output.chm"))).startsWith("ITSF"));
        QCOMPARE(dialogs.shellCalls.size(), std::size_t(1));
        return;
    }
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    QVERIFY2(dialogs.messages[0].text.startsWith(message), qPrintable(dialogs.messages[0].text));
    QCOMPARE(dialogs.messages[0].icon, MsgIcon::Stop);
    if (message == kProjectNotWritten)
        QVERIFY2(dialogs.messages[0].text.contains(project), qPrintable(dialogs.messages[0].text));
    // Nothing compiled, nothing opened, and no half-written project.
    QVERIFY(scratch.pids(QStringLiteral("hhc")).isEmpty());
    QVERIFY(dialogs.shellCalls.empty());
    QCOMPARE(fileBytes(project), fileSizeLimit ? earlierProject : QByteArray());
    QCOMPARE(scratch.find(QStringLiteral("output\\.HHP.+")), QStringList());
}

void TestFaults::clickStorm_data()
{
    QTest::addColumn<QString>("busy"); // the stand-in that is running when the clicks come
    QTest::newRow("during the download") << "wget";
    QTest::newRow("during the compile") << "hhc";
}

void TestFaults::clickStorm()
{
    QFETCH(QString, busy);
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("wget"));
    scratch.addStandin(QStringLiteral("hhc"));
    scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("1"));
    // Runs until it is ended (the download) or for a while (the compile,
    // which cannot be cancelled).
    scratch.set(busy, QStringLiteral("TALK_MS"), busy == "wget" ? QStringLiteral("-1") : QStringLiteral("1500"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(QStringLiteral("http://127.0.0.1:9/"));
    constexpr int kClicks = 12;
    QStringList captions;
    ConditionTrigger storm([&] { return !scratch.pids(busy).isEmpty() && window.txtOutputs->toPlainText().contains(QStringLiteral("working")); },
                           [&] {
                               for (int i = 0; i < kClicks; ++i) {
                                   window.cmdExecute->click();
                                   captions << window.cmdExecute->text();
                               }
                           });
    window.cmdExecute->click();

    QVERIFY(storm.fired());
    // The first click cancels; the others find the conversion still on its
    // way out and start nothing.
    QCOMPARE(captions, QStringList(kClicks, QStringLiteral("Execute")));
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
    QCOMPARE(dialogs.messages.size(), std::size_t(kClicks - 1));
    for (const auto &message : dialogs.messages)
        QVERIFY2(message.text.startsWith(kStillFinishing), qPrintable(message.text));
    QCOMPARE(scratch.pids(QStringLiteral("wget")).size(), 1);
    const bool compiled = busy == "hhc";
    QCOMPARE(scratch.pids(QStringLiteral("hhc")).size(), compiled ? 1 : 0);
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(compiled ? 1 : 0));
    QCOMPARE(QFile::exists(scratch.path(QStringLiteral("out/output.HHP"))), compiled);
    QVERIFY(allGone(scratch.pids(QStringLiteral("wget")) + scratch.pids(QStringLiteral("hhc"))));

    // And the window is ready for the next conversion.
    scratch.set(busy, QStringLiteral("TALK_MS"), QStringLiteral("0"));
    window.cmdExecute->click();
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(compiled ? 2 : 1));
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
}

void TestFaults::exitDuringDownload()
{
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("wget"));
    scratch.addStandin(QStringLiteral("hhc"));
    scratch.set(QStringLiteral("wget"), QStringLiteral("TALK_MS"), QStringLiteral("-1"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(QStringLiteral("http://127.0.0.1:9/"));
    std::weak_ptr<quorlix::process::DOSOutputs> download = window.objDOS;
    std::vector<int> endedAtClick;
    bool stillDownloading = false;
    ConditionTrigger exit([&] { return window.txtOutputs->toPlainText().contains(QStringLiteral("working")); },
                          [&] {
                              window.cmdExit->click();
                              endedAtClick = dialogs.endCodes;
                              stillDownloading = download.lock() && download.lock()->isRunning();
                              // What the end of the program would do to the downloader here.
                              ::kill(-static_cast<pid_t>(download.lock()->lastProcessId()), SIGKILL);
                          });
    window.cmdExecute->click();

    QVERIFY(exit.fired());
    QCOMPARE(endedAtClick, std::vector<int>{0});
    QVERIFY(stillDownloading);
    QVERIFY(allGone(scratch.pids(QStringLiteral("wget"))));
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
