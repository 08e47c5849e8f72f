// A real conversion: a fixture site served on 127.0.0.1, the window driven
// as a user would (address typed, "Execute" clicked), the real downloader
// and help compiler from bin/. The compiled file is read back with chmlib.

#include "app/MainWindow.h"
#include "process/PosixProcess.h"
#include "support/ChmReader.h"
#include "support/ConditionTrigger.h"
#include "support/FileBytes.h"
#include "support/FixtureServer.h"
#include "support/RecordingDialogs.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using quorlix::MainWindow;
using quorlix::test::ChmReader;
using quorlix::test::ConditionTrigger;
using quorlix::test::FixtureServer;
using quorlix::test::readFile;
using quorlix::test::RecordingDialogs;

namespace {

const QString kSite = QStringLiteral(QUORLIX_FIXTURE_SITE);

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void convertsFixtureSite();
    void cancelStopsDownloadAtOnce();
    void compilerRunsInTheProjectsFolder_data();
    void compilerRunsInTheProjectsFolder();

private:
    // Types the address into the URL box and clicks "Execute"; returns when
    // the click's handler has.
    void convert(const QString &address);

    std::unique_ptr<QTemporaryDir> mTemp;
    std::unique_ptr<RecordingDialogs> mDialogs;
    std::unique_ptr<MainWindow> mWindow;
    QString mFolder;
};

void TestEndToEnd::init()
{
    mTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(mTemp->isValid());
    // The window's private folders go here, to be seen gone at the end.
    qputenv("TMPDIR", QFile::encodeName(mTemp->path()));
    mFolder = mTemp->filePath(QStringLiteral("Out dir"));
    mDialogs = std::make_unique<RecordingDialogs>();
    mWindow = std::make_unique<MainWindow>();
    mWindow->Label2->setText(mFolder);
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void TestEndToEnd::cleanup()
{
    // Nothing of the conversion is left behind outside the output folder.
    QCOMPARE(QDir(mTemp->path()).entryList({"quorlix-*"}, QDir::AllEntries | QDir::Hidden), QStringList());
    qunsetenv("TMPDIR");
    mWindow.reset();
    mDialogs.reset();
    mTemp.reset();
}

void TestEndToEnd::convert(const QString &address)
{
    QTest::keyClicks(mWindow->txtCommand, address);
    QCOMPARE(mWindow->txtCommand->text(), address);
    QTest::mouseClick(mWindow->cmdExecute, Qt::LeftButton);
}

void TestEndToEnd::convertsFixtureSite()
{
    FixtureServer server(kSite);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    convert(server.url());

    QVERIFY2(mDialogs->messages.empty(), qPrintable(mDialogs->messages.empty() ? QString() : mDialogs->messages.front().text));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));

    // The start page is saved twice ("/" and "/index.html") and listed once;
    // the files in the order the downloader saved them.
    // Saved under Windows file-name rules: ":" becomes "+".
    const QString host = server.hostFolder().replace(QLatin1Char(':'), QLatin1Char('+'));
    const QStringList files{host + "/index.html",           host + "/images/logo.png",
                            host + "/docs/guide.html",      host + "/docs/two words.html",
                            host + "/docs/caf\u00e9.html", host + "/docs/deep/details.html"};
    QByteArray expected = "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + mFolder.toUtf8()
                          + "/output.chm\r\nDefault topic=" + files.first().toUtf8()
                          + "\r\nDisplay compile progress=No\r\nLanguage=0x089 English (standard)\r\n"
                            "Title=Quorlix\r\nContents file=output.hhc\r\nIndex file=output.hhk\r\n"
                            "Full-text search=Yes\r\n\r\n[FILES]\r\n";
    for (const QString &file : files)
        expected += file.toUtf8() + "\r\n";
    expected += "\r\n[INFOTYPES]\r\n\r\n";
    const QString project = mFolder + "/output.HHP";
    QCOMPARE(readFile(project), expected);

    // The contents and the index beside the project, named from the pages.
    QVERIFY(readFile(mFolder + "/output.hhc").contains("<param name=\"Name\" value=\"Fixture site\">"));
    QVERIFY(readFile(mFolder + "/output.hhk").contains("<param name=\"Name\" value=\"Fixture site\">"));

    // Every listed file is in the compiled file under its own name, with
    // the bytes that were saved (links in pages are converted on saving).
    const QString compiled = mFolder + "/output.chm";
    {
        ChmReader chm(compiled);
        QVERIFY2(chm.isOpen(), qPrintable(compiled));
        for (const QString &file : files) {
            const std::optional<QByteArray> stored = chm.lookUp(file);
            QVERIFY2(stored.has_value(), qPrintable("not in output.chm: /" + file));
            QCOMPARE(*stored, readFile(mFolder + QLatin1Char('/') + file));
            if (!file.endsWith(QStringLiteral(".html")))
                QCOMPARE(*stored, readFile(kSite + file.mid(host.size())));
        }
    }

    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].program, QStringLiteral("hh"));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{compiled});

    // The pane: a line saying what is fetched, the download log, a line
    // saying what is compiled, and the compiler's output (the same as the
    // compiler prints when run again, but for its temporary file's name).
    const QString startLine = QStringLiteral("Downloading %1 into %2\n").arg(server.url(), mFolder);
    const QString pane = mWindow->outputsText().mid(startLine.size());
    QVERIFY(mWindow->outputsText().startsWith(startLine));
    const QString lastDownloadLine = QStringLiteral("\nDownloaded: 7 files");
    const qsizetype last = pane.indexOf(lastDownloadLine);
    QVERIFY2(last > 0, qPrintable(pane));
    const qsizetype downloadEnd = pane.indexOf(QLatin1Char('\n'), last + 1) + 1;
    const QString downloadLog = pane.left(downloadEnd);
    static const QRegularExpression savedFirst(QStringLiteral("\\A\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d URL:"));
    QVERIFY2(savedFirst.match(downloadLog).hasMatch(), qPrintable(downloadLog));
    for (const QString &file : files)
        QVERIFY2(downloadLog.contains(QStringLiteral("-> \"") + mFolder + QLatin1Char('/') + file + QLatin1Char('"')),
                 qPrintable(file));
    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    compiler.start(QStringLiteral("bin/hhc"), {project});
    QVERIFY(compiler.waitForFinished(60000));
    const QString compilerLog = QString::fromLocal8Bit(compiler.readAll());
    QVERIFY(compilerLog.contains(QStringLiteral("hhc: compiled file: ") + compiled));
    // Temporary names and times differ from run to run, and the window's
    // compile takes what was compressed during the download.
    static const QRegularExpression varying(QStringLiteral("\\.hhc-\\d+\\.|\\b\\d+\\.\\d+ s\\b"));
    static const QRegularExpression prepared(
        QStringLiteral("(?m)^  \\d+ of \\d+ files were compressed while they downloaded\\n"));
    const QString compileStage =
        QString(pane.mid(downloadEnd)).remove(prepared).replace(varying, QStringLiteral("#"));
    const QString compileLog =
        QStringLiteral("Compiling %1\n").arg(project) + QString(compilerLog).replace(varying, QStringLiteral("#"));
    QCOMPARE(compileStage.left(compileLog.size()), compileLog);
    // Then the help file read back: everything listed is in it.
    static const QRegularExpression summary(QStringLiteral(
        "\\AHelp file: (.+): 6 files, 5 topics, \\d+ index keywords, full-text search, [\\d.]+ kB, made in #\n\\z"));
    const QRegularExpressionMatch figures = summary.match(compileStage.mid(compileLog.size()));
    QVERIFY2(figures.hasMatch(), qPrintable(compileStage.mid(compileLog.size())));
    QCOMPARE(figures.captured(1), compiled);
}

void TestEndToEnd::cancelStopsDownloadAtOnce()
{
    FixtureServer::Faults slow;
    slow.delaySeconds = 30;
    FixtureServer server(kSite, slow);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    QString captionAfterCancel;
    ConditionTrigger downloading([&] { return !server.requests().isEmpty(); },
                                 [&] {
                                     QTest::mouseClick(mWindow->cmdExecute, Qt::LeftButton);
                                     captionAfterCancel = mWindow->cmdExecute->text();
                                 });
    convert(server.url());

    QVERIFY(downloading.fired());
    QCOMPARE(captionAfterCancel, QStringLiteral("Execute"));
    const auto downloader = static_cast<pid_t>(mWindow->objDOS->lastProcessId());
    QVERIFY(downloader > 0);
    QTRY_VERIFY_WITH_TIMEOUT(!quorlix::posix::processGroupExists(downloader), 2000);
    QVERIFY(!QFile::exists(mFolder + "/output.HHP"));
    QVERIFY(!mWindow->hccDOS);
    QVERIFY(mDialogs->shellCalls.empty());
    QVERIFY(mDialogs->messages.empty());
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    QVERIFY(mWindow->outputsText().endsWith(QStringLiteral("\nCancelled.\n")));
}

// The stand-in takes the project's path apart itself: the compiler runs in
// the project's folder on its bare name, however the project is named, and
// the help file it checks for is the one the project names (or the
// project's own name), a carriage return at the line's end left out.
void TestEndToEnd::compilerRunsInTheProjectsFolder_data()
{
    QTest::addColumn<QString>("named");    // how the project is named: from the temporary folder's parent
    QTest::addColumn<QByteArray>("line");  // the project's Compiled file line
    QTest::addColumn<QString>("compiled"); // the help file the stand-in names, in the project's folder
    QTest::newRow("absolute, CRLF") << "ABS/Proj dir/My help.hhp" << QByteArray("Compiled file=out.chm\r\n")
                                    << "out.chm";
    QTest::newRow("relative, LF") << "Proj dir/My help.hhp" << QByteArray("Compiled file=a b.chm\n") << "a b.chm";
    QTest::newRow("bare name, no line") << "My help.hhp" << QByteArray() << "My help.chm";
    QTest::newRow("dotted folder, no line") << "v1.2/project" << QByteArray() << "project.chm";
}

void TestEndToEnd::compilerRunsInTheProjectsFolder()
{
    QFETCH(QString, named);
    QFETCH(QByteArray, line);
    QFETCH(QString, compiled);
    const QString relative = named.startsWith(QStringLiteral("ABS/")) ? named.mid(4) : named;
    const QString project = mTemp->filePath(relative);
    const QString folder = QFileInfo(project).absolutePath();
    QVERIFY(QDir().mkpath(folder));
    QFile file(project);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[OPTIONS]\r\nTitle=T\r\n" + line + "[FILES]\r\na.html\r\n");
    file.close();
    // A compiler that says where it runs and on what, and makes the file.
    const QString fake = mTemp->filePath(QStringLiteral("fake-hhc"));
    QFile script(fake);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\npwd\necho \"on $1\"\nprintf x > \"" + QFile::encodeName(compiled) + "\"\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);

    QProcess compiler;
    compiler.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUORLIX_HHC"), fake);
    compiler.setProcessEnvironment(environment);
    compiler.setWorkingDirectory(mTemp->path());
    compiler.start(QDir::current().absoluteFilePath(QStringLiteral("bin/hhc")),
                   {named.startsWith(QStringLiteral("ABS/")) ? project : relative});
    QVERIFY(compiler.waitForFinished(30000));
    const QString log = QString::fromLocal8Bit(compiler.readAll());
    QCOMPARE(compiler.exitCode(), 0);
    QCOMPARE(log, QDir(folder).canonicalPath() + QStringLiteral("\non ") + QFileInfo(project).fileName()
                      + QStringLiteral("\nhhc: compiled file: ") + compiled + QLatin1Char('\n'));
}

QTEST_MAIN(TestEndToEnd)
#include "test_end_to_end.moc"
