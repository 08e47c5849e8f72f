// Faults around a conversion: outside programs missing, a site that fails
// or a downloader killed mid-run, a certificate refused (the box says why),
// an output folder that cannot be written, children that misbehave, and a
// user who clicks too much. Every case ends with the window ready again,
// nothing half-written, nothing left running.

#include "app/MainWindow.h"
#include "pipeline/ProjectFileStream.h"
#include "process/PosixProcess.h"
#include "runtime/QtDialogs.h"
#include "support/ConditionTrigger.h"
#include "support/FixtureServer.h"
#include "support/NginxServer.h"
#include "support/RecordingDialogs.h"
#include "support/ScratchCheckout.h"
#include "support/TestCertificates.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

using quorlix::MainWindow;
using quorlix::runtime::MsgIcon;
using quorlix::test::ConditionTrigger;
using quorlix::test::FixtureServer;
using quorlix::test::NginxServer;
using quorlix::test::RecordingDialogs;
using quorlix::test::ScratchCheckout;
using quorlix::test::fileBytes;
using quorlix::test::makeTestCertificates;
using quorlix::test::processPresent;

namespace {

const QString kNotFound = QStringLiteral("File or command not found");
const QString kStillFinishing = QStringLiteral("The previous conversion is still finishing its help file:");
const QString kStillEnding = QStringLiteral("The cancelled download is still ending:");
const QString kProjectNotWritten = QStringLiteral("The help project could not be written:");
const QString kNoFiles = QStringLiteral("No downloaded files were found in the log");
const QString kFolderNotWritable = QStringLiteral("The output folder cannot be written, so no help file was made:");

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

// Whether the process still runs: not when it is gone or has ended and
// only waits to be reaped.
bool processRunning(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.mid(close + 2, 1) != "Z";
}

// Writes an executable shell script.
void writeScript(const QString &path, const QByteArray &body)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void programMissing_data();
    void programMissing();
    void viewerMissing_data();
    void viewerMissing();
    void staleViewerSearchIndex_data();
    void staleViewerSearchIndex();
    void siteFailsMidMirror_data();
    void siteFailsMidMirror();
    void outputFolderUnwritable_data();
    void outputFolderUnwritable();
    void indexStreamKeepsEarlierOnFullDisk();
    void clickStorm_data();
    void clickStorm();
    void exitDuringDownload_data();
    void exitDuringDownload();
    void cancelThenExecuteAtOnce();
    void compileKeepsEarlierHelpFile_data();
    void compileKeepsEarlierHelpFile();
    void helpFileLacksFiles();
    void cancelWhileLastPagesAreRead();
    void certificateBoxSaysWhy_data();
    void certificateBoxSaysWhy();
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
    // Only the window's own line when the downloader never ran.
    QCOMPARE(window.txtOutputs->toPlainText().trimmed().contains(QLatin1Char('\n')), missing != "wget");

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

// kchmviewer finds its search index by the help file's name alone: the
// opener drops one older than the help file, so the search of a new
// output.chm is not made in an earlier site's words.
void TestFaults::staleViewerSearchIndex_data()
{
    QTest::addColumn<QString>("index");
    QTest::addColumn<int>("ageAgainstHelpFile"); // seconds; > 0: older
    QTest::addColumn<bool>("kept");
    QTest::newRow("older, same name") << "output.idx" << 60 << false;
    QTest::newRow("newer, same name") << "output.idx" << -60 << true;
    QTest::newRow("older, another name") << "other.idx" << 60 << true;
}

void TestFaults::staleViewerSearchIndex()
{
    QFETCH(QString, index);
    QFETCH(int, ageAgainstHelpFile);
    QFETCH(bool, kept);
    QTemporaryDir home;
    const QString helpFile = home.filePath(QStringLiteral("out dir/output.chm"));
    const QString indexFile = home.filePath(QStringLiteral(".kchmviewer/") + index);
    const QString viewer = home.filePath(QStringLiteral("bin/kchmviewer")); // notes the file it is given
    const QDateTime now = QDateTime::currentDateTime();
    using Made = std::tuple<QString, QByteArray, QDateTime>;
    for (const auto &[path, bytes, time] :
         {Made{helpFile, "x", now}, Made{indexFile, "x", now.addSecs(-ageAgainstHelpFile)},
          Made{viewer, "#!/bin/sh\nprintf %s \"$1\" >\"$HOME/o\" && mv \"$HOME/o\" \"$HOME/opened\"\n", now}}) {
        QFile file(path);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) > 0);
        QVERIFY(file.flush() && file.setFileTime(time, QFileDevice::FileModificationTime));
        QVERIFY(file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
    }
    QProcess opener;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("PATH"), QFileInfo(viewer).path() + QStringLiteral(":/usr/bin:/bin"));
    opener.setProcessEnvironment(environment);
    opener.start(QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("bin/hh")), {helpFile});
    QVERIFY(opener.waitForFinished(5000));
    QCOMPARE(opener.exitCode(), 0);
    QFile opened(home.filePath(QStringLiteral("opened")));
    QTRY_VERIFY(opened.exists());
    QVERIFY(opened.open(QIODevice::ReadOnly));
    QCOMPARE(opened.readAll(), helpFile.toUtf8());
    QCOMPARE(QFile::exists(indexFile), kept);
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
    // The downloader saves under Windows file-name rules: ":" becomes "+".
    QCOMPARE(files.first(), server.hostFolder().replace(QLatin1Char(':'), QLatin1Char('+')) + QStringLiteral("/index.html"));
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
    // The stand-in says it saved pages it could not: the log is not believed.
    QTest::newRow("below a regular file") << false << "a file/out" << 0 << kFolderNotWritable;
    QTest::newRow("full") << false << "out" << 2048 << kProjectNotWritten;
    QTest::newRow("below a regular file, real downloader") << true << "a file/out" << 0 << kFolderNotWritable;
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
    QVERIFY2(!dialogs.messages[0].text.contains(QStringLiteral("address")), qPrintable(dialogs.messages[0].text));
    QCOMPARE(dialogs.messages[0].icon, MsgIcon::Stop);
    // It names the file that could not be written: the contents file,
    // written first, so that the earlier project stays as it was.
    if (message == kProjectNotWritten)
        QVERIFY2(dialogs.messages[0].text.contains(QDir(folder).filePath(QStringLiteral("output.hhc"))),
                 qPrintable(dialogs.messages[0].text));
    // Nothing compiled, nothing opened, and no half-written project.
    QVERIFY(scratch.pids(QStringLiteral("hhc")).isEmpty());
    QVERIFY(dialogs.shellCalls.empty());
    QCOMPARE(fileBytes(project), fileSizeLimit ? earlierProject : QByteArray());
    QCOMPARE(scratch.find(QStringLiteral("output\\.(HHP|hhc|hhk).+")), QStringList());
}

void TestFaults::indexStreamKeepsEarlierOnFullDisk()
{
    // The index is written in pieces as it is made: a disk that fills up
    // half-way must leave the earlier index whole, and say why.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("output.hhk"));
    const QByteArray earlier = "an earlier index\r\n";
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write(earlier) == earlier.size());
    old.close();
    QString failure;
    {
        const FileSizeLimit limit(4096);
        quorlix::pipeline::ProjectFileStream stream(path);
        QVERIFY(stream.write(QByteArray(3000, 'a')));
        QVERIFY(!stream.write(QByteArray(3000, 'b')));
        QVERIFY(!stream.write(QByteArray(10, 'c')));
        failure = stream.commit();
    }
    QVERIFY(!failure.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), earlier);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("output.hhk")});
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
    // Each says what is really still running.
    QCOMPARE(dialogs.messages.size(), std::size_t(kClicks - 1));
    for (const auto &message : dialogs.messages)
        QVERIFY2(message.text.startsWith(busy == "wget" ? kStillEnding : kStillFinishing), qPrintable(message.text));
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

void TestFaults::exitDuringDownload_data()
{
    QTest::addColumn<bool>("realDownloader");
    QTest::newRow("stand-in that talks") << false;
    QTest::newRow("real downloader, site that never answers") << true;
}

void TestFaults::exitDuringDownload()
{
    QFETCH(bool, realDownloader);
    FixtureServer::Faults neverAnswers;
    neverAnswers.delaySeconds = 600;
    FixtureServer silent(QDir::tempPath(), neverAnswers);
    QVERIFY2(silent.isListening(), qPrintable(silent.errorString()));
    ScratchCheckout scratch;
    if (realDownloader) {
        scratch.addReal(QStringLiteral("wget"));
    } else {
        scratch.addStandin(QStringLiteral("wget"));
        scratch.set(QStringLiteral("wget"), QStringLiteral("TALK_MS"), QStringLiteral("-1"));
    }
    scratch.addStandin(QStringLiteral("hhc"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(silent.url());
    std::weak_ptr<quorlix::process::DOSOutputs> download = window.objDOS;
    std::vector<int> endedAtClick;
    bool stillDownloading = false;
    pid_t downloader = 0;
    ConditionTrigger exit([&] { return !silent.requests().isEmpty() || window.outputsText().contains(QStringLiteral("working")); },
                          [&] {
                              downloader = static_cast<pid_t>(window.objDOS->lastProcessId());
                              window.cmdExit->click();
                              endedAtClick = dialogs.endCodes;
                              stillDownloading = download.lock() && download.lock()->isRunning();
                          });
    window.cmdExecute->click();

    QVERIFY(exit.fired());
    QCOMPARE(endedAtClick, std::vector<int>{0});
    QVERIFY(stillDownloading);
    // Exit asked the downloader's group to close: nothing is left running.
    QTRY_VERIFY_WITH_TIMEOUT(!quorlix::posix::processGroupExists(downloader), 2000);
    QVERIFY(scratch.pids(QStringLiteral("hhc")).isEmpty());
}

void TestFaults::cancelThenExecuteAtOnce()
{
    // A quiet download: the runner sits in its wait when the clicks come.
    FixtureServer::Faults neverAnswers;
    neverAnswers.delaySeconds = 600;
    FixtureServer silent(QDir::tempPath(), neverAnswers);
    QVERIFY2(silent.isListening(), qPrintable(silent.errorString()));
    ScratchCheckout scratch;
    scratch.addReal(QStringLiteral("wget"));
    scratch.addStandin(QStringLiteral("hhc"));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(silent.url());
    bool goneWithinASecond = false;
    ConditionTrigger clicks([&] { return !silent.requests().isEmpty(); },
                            [&] {
                                const auto downloader = static_cast<pid_t>(window.objDOS->lastProcessId());
                                window.cmdExecute->click(); // Cancel
                                window.cmdExecute->click(); // Execute: a box says why not
                                // Held here, as below an open box, the runner reads nothing.
                                goneWithinASecond = QTest::qWaitFor([&] { return !processRunning(downloader); }, 1000);
                            });
    window.cmdExecute->click();

    QVERIFY(clicks.fired());
    QVERIFY(goneWithinASecond);
    QCOMPARE(messageTexts(dialogs).size(), 1);
    QVERIFY2(dialogs.messages[0].text.startsWith(kStillEnding), qPrintable(dialogs.messages[0].text));
    QVERIFY(window.outputsText().endsWith(QStringLiteral("\nCancelled.\n")));
    QVERIFY(!QFile::exists(scratch.path(QStringLiteral("out/output.HHP"))));
}

void TestFaults::compileKeepsEarlierHelpFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("compiler finds none of the files") << "fails";
    QTest::newRow("no quorlix-hhc built, chmcmd installed") << "unbuilt";
    QTest::newRow("window closed during the compile") << "closed";
}

void TestFaults::compileKeepsEarlierHelpFile()
{
    QFETCH(QString, how);
    ScratchCheckout scratch;
    scratch.addReal(QStringLiteral("hhc"));
    const QString folder = scratch.path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(folder));
    const QByteArray earlier = "ITSF an earlier help file";
    QFile old(QDir(folder).filePath(QStringLiteral("output.chm")));
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(earlier);
    old.close();
    const QByteArray oldPath = qgetenv("PATH");
    const QByteArray buildDir = qgetenv("QUORLIX_BUILD_DIR");
    if (how == "unbuilt")
        qunsetenv("QUORLIX_BUILD_DIR"); // and the scratch checkout has no build/
    if (how != "closed") {
        const QByteArray page = folder.toLocal8Bit() + "/h.test/gone.html";
        writeScript(scratch.path(QStringLiteral("bin/wget")),
                    "mkdir -p \"" + folder.toLocal8Bit() + "/h.test\"\necho '<p>x' > \"" + page + "\"\n"
                    "echo \"2026-12-07 10:00:00 URL:http://h.test/ [1/1] -> \\\"" + page + "\\\" [1]\"\n");
        if (how == "fails") {
            // The page the log names is gone by the time the compiler looks.
            QDir(scratch.path()).mkdir(QStringLiteral("path"));
            writeScript(scratch.path(QStringLiteral("path/gone-hhc")),
                        "rm -f \"" + page + "\"\nexec \"$QUORLIX_BUILD_DIR/chm/quorlix-hhc\" \"$@\"\n");
            qputenv("QUORLIX_HHC", scratch.path(QStringLiteral("path/gone-hhc")).toLocal8Bit());
        }
    } else {
        scratch.addStandin(QStringLiteral("wget"));
        scratch.set(QStringLiteral("wget"), QStringLiteral("SAVE"), QStringLiteral("1"));
        // A compiler that writes part of its file, then takes its time.
        QDir(scratch.path()).mkdir(QStringLiteral("path"));
        writeScript(scratch.path(QStringLiteral("path/chmcmd")),
                    "out=$(sed -n 's/^Compiled file=\\(.*\\)\\r$/\\1/p' \"$2\")\n"
                    "printf 'ITSF half' > \"$out\"\necho compiling\nexec sleep 30\n");
        qputenv("PATH", scratch.path(QStringLiteral("path")).toLocal8Bit() + ':' + oldPath);
        qputenv("QUORLIX_HHC", "chmcmd"); // the compiler on PATH, not Quorlix's own
    }

    RecordingDialogs dialogs;
    MainWindow window;
    window.show();
    window.Label2->setText(folder);
    window.txtCommand->setText(QStringLiteral("http://h.test/"));
    ConditionTrigger close([&] { return how == "closed" && window.outputsText().endsWith(QStringLiteral("compiling\n")); },
                           [&] { window.close(); });
    window.cmdExecute->click();
    qputenv("PATH", oldPath);
    qunsetenv("QUORLIX_HHC");
    qputenv("QUORLIX_BUILD_DIR", buildDir);

    QCOMPARE(close.fired(), how == "closed");
    QVERIFY(dialogs.shellCalls.empty());
    if (how != "closed") {
        // The compiler's own words, in the box and in the pane.
        const QString said = how == "fails" ? QStringLiteral("hhc: no compiled file was made")
                                            : QStringLiteral("hhc: quorlix-hhc not found: build it with");
        QCOMPARE(dialogs.messages.size(), std::size_t(1));
        QVERIFY2(dialogs.messages[0].text.startsWith(QStringLiteral("The help compiler made no help file:")),
                 qPrintable(dialogs.messages[0].text));
        QVERIFY2(dialogs.messages[0].text.contains(said), qPrintable(dialogs.messages[0].text));
        QVERIFY2(window.outputsText().contains(said), qPrintable(window.outputsText()));
    }
    // The earlier help file is as it was, and no temporary file stays.
    QCOMPARE(fileBytes(QDir(folder).filePath(QStringLiteral("output.chm"))), earlier);
    QTRY_COMPARE_WITH_TIMEOUT(scratch.find(QStringLiteral("\\.hhc-.*")), QStringList(), 5000);
}

void TestFaults::helpFileLacksFiles()
{
    FixtureServer server(QDir(qEnvironmentVariable("QUORLIX_SOURCE_DIR")).filePath(QStringLiteral("tests/fixtures/site")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    ScratchCheckout scratch;
    scratch.addReal(QStringLiteral("wget"));
    scratch.addReal(QStringLiteral("hhc"));
    // A compiler that leaves two of the listed pages out.
    const QString chmcmd = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
    QVERIFY(!chmcmd.isEmpty());
    QDir(scratch.path()).mkdir(QStringLiteral("path"));
    writeScript(scratch.path(QStringLiteral("path/chmcmd")),
                "sed -i -e '/guide\\.html/d' -e '/details\\.html/d' \"$2\"\nexec " + chmcmd.toLocal8Bit() + " \"$@\"\n");
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", scratch.path(QStringLiteral("path")).toLocal8Bit() + ':' + oldPath);
    qputenv("QUORLIX_HHC", "chmcmd");

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(server.url());
    window.cmdExecute->click();
    qputenv("PATH", oldPath);
    qunsetenv("QUORLIX_HHC");

    // Said, with the missing files named; the help file still opens.
    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    const QString host = server.hostFolder().replace(QLatin1Char(':'), QLatin1Char('+'));
    QCOMPARE(dialogs.messages[0].text, QStringLiteral("The help file lacks 2 of the 6 files the project lists:\n"
                                                      "    %1/docs/guide.html\n    %1/docs/deep/details.html\n\n"
                                                      "It opens all the same; the pages it lacks will not show.")
                                           .arg(host));
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(1));
    QVERIFY2(window.outputsText().contains(QStringLiteral(": 6 files, 5 topics, ")), qPrintable(window.outputsText()));
}

void TestFaults::cancelWhileLastPagesAreRead()
{
    // A downloader that saves one huge page and ends: reading it takes a while.
    ScratchCheckout scratch;
    scratch.addStandin(QStringLiteral("hhc"));
    const QString folder = scratch.path(QStringLiteral("out"));
    writeScript(scratch.path(QStringLiteral("bin/wget")),
                "mkdir -p \"" + folder.toLocal8Bit() + "/site\"\npage=\"" + folder.toLocal8Bit()
                    + "/site/big.html\"\n{ echo '<html><body>'; yes '<h2 id=\"a\">heading</h2><p>text</p>' | "
                      "head -n 600000; } > \"$page\"\necho \"2026-12-07 10:00:00 URL:http://h.test/ [1/1] -> \\\"$page\\\" [1]\"\n");

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.txtCommand->setText(QStringLiteral("http://h.test/"));
    QElapsedTimer sinceCancel;
    ConditionTrigger cancel([&] { return !window.objDOS->isRunning() && window.objDOS->lastProcessId() > 0; },
                            [&] {
                                window.cmdExecute->click();
                                sinceCancel.start();
                            });
    window.cmdExecute->click();

    // The wait for the page ended at once, and nothing was written or compiled.
    QVERIFY(cancel.fired());
    QVERIFY2(sinceCancel.elapsed() < 500, qPrintable(QString::number(sinceCancel.elapsed())));
    QVERIFY(window.outputsText().endsWith(QStringLiteral("\nCancelled.\n")));
    QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("output.HHP"))));
    QVERIFY(!QFile::exists(QDir(folder).filePath(QStringLiteral("output.hhc"))));
    QVERIFY(scratch.pids(QStringLiteral("hhc")).isEmpty());
    QVERIFY(dialogs.messages.empty());
    QCOMPARE(window.cmdExecute->text(), QStringLiteral("Execute"));
}

void TestFaults::certificateBoxSaysWhy_data()
{
    QTest::addColumn<QString>("downloader"); // QUORLIX_WGET
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<bool>("authorityNamed"); // --ca-certificate after the address
    QTest::addColumn<int>("cause");            // the one advice of kCertificateAdvice given

    for (const char *downloader : {"quorlix-wget", "wget"}) {
        const QString tool = QString::fromLatin1(downloader);
        QTest::addRow("%s: authority not trusted", downloader) << tool << "right" << false << 0;
        QTest::addRow("%s: another host name", downloader) << tool << "other" << true << 1;
        QTest::addRow("%s: expired", downloader) << tool << "expired" << true << 2;
    }
}

void TestFaults::certificateBoxSaysWhy()
{
    QFETCH(QString, downloader);
    QFETCH(QString, certificate);
    QFETCH(bool, authorityNamed);
    QFETCH(int, cause);
    const QString kCertificateAdvice[] = {QStringLiteral("authority this system does not trust"),
                                          QStringLiteral("made out to another host name"),
                                          QStringLiteral("expired or is not valid yet")};
    ScratchCheckout scratch;
    const QString certificates = scratch.path(QStringLiteral("certificates"));
    QVERIFY(QDir().mkpath(certificates));
    if (!makeTestCertificates(certificates))
        QSKIP("openssl could not make the test certificates");
    QVERIFY(QDir().mkpath(scratch.path(QStringLiteral("site"))));
    QFile page(scratch.path(QStringLiteral("site/index.html")));
    QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<p>x") == 4);
    page.close();
    const QString pem = certificates + QLatin1Char('/') + certificate;
    NginxServer server(scratch.path(QStringLiteral("site")), scratch.path(QStringLiteral("nginx")),
                       {QString(), pem + QStringLiteral(".pem"), pem + QStringLiteral(".key")});
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    for (const QString &name : {QStringLiteral("wget"), QStringLiteral("wget-gnu"), QStringLiteral("hhc")})
        scratch.addReal(name);
    const QByteArray oldChoice = qgetenv("QUORLIX_WGET");
    qputenv("QUORLIX_WGET", downloader.toLocal8Bit());

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(scratch.path(QStringLiteral("out")));
    window.txtCommand->setText(server.url()
                               + (authorityNamed ? QStringLiteral(" --ca-certificate=") + certificates
                                                       + QStringLiteral("/ca.pem")
                                                 : QString()));
    window.cmdExecute->click();
    qputenv("QUORLIX_WGET", oldChoice);

    QCOMPARE(dialogs.messages.size(), std::size_t(1));
    const QString text = dialogs.messages[0].text;
    QVERIFY2(text.contains(QStringLiteral("The site's certificate was not accepted.")), qPrintable(text));
    for (int advice = 0; advice < 3; ++advice)
        QVERIFY2(text.contains(kCertificateAdvice[advice]) == (advice == cause), qPrintable(text));
    QVERIFY(dialogs.shellCalls.empty());
}

QTEST_MAIN(TestFaults)
#include "test_faults.moc"
