// The help file a conversion makes, opened in the real viewers: the fixture
// site served on a port of its own (so its folder would carry a ':' without
// the downloader's Windows file-name rules), converted through the window,
// then output.chm opened in kchmviewer and in xchm on a private Xvfb display.
// A viewer that loaded the file names its title in its window title; one that
// could not load it shows only its own name. The links between the saved
// pages must lead to files inside the help file, spelt so that the viewers
// follow them, and an address of a folder typed without its trailing slash
// must convert that folder.
//
// Set QUORLIX_VIEWER_SHOTS to a folder to keep a screenshot of each viewer.

#include "app/MainWindow.h"
#include "support/FixtureServer.h"
#include "support/PrivateDisplay.h"
#include "support/RecordingDialogs.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

using quorlix::MainWindow;
using quorlix::test::FixtureServer;
using quorlix::test::GroupProcess;
using quorlix::test::PrivateDisplay;
using quorlix::test::RecordingDialogs;
using quorlix::test::startViewer;
using quorlix::test::takeScreenshot;
using quorlix::test::waitForWindowTitle;

namespace {

const QString kSite = QStringLiteral(QUORLIX_FIXTURE_SITE);

QString projectText(const QString &folder)
{
    QFile file(folder + QStringLiteral("/output.HHP"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QString projectTitle(const QString &folder)
{
    static const QRegularExpression title(QStringLiteral("^Title=([^\r\n]*)"), QRegularExpression::MultilineOption);
    return title.match(projectText(folder)).captured(1);
}

QStringList projectFiles(const QString &folder)
{
    return projectText(folder).section(QStringLiteral("[FILES]\r\n"), 1).section(QStringLiteral("\r\n\r\n"), 0, 0)
        .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

// The address typed into the window and "Execute" clicked, as a user would;
// returns once the conversion is over, with the pane's text.
QString convertThroughWindow(const QString &folder, const QString &address,
                             std::vector<RecordingDialogs::ShellCall> *shellCalls = nullptr)
{
    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return QStringLiteral("the window did not show");
    QTest::keyClicks(window.txtCommand, address);
    QTest::mouseClick(window.cmdExecute, Qt::LeftButton);
    const QDeadlineTimer deadline(60000);
    while (window.cmdExecute->text() != QStringLiteral("Execute") && !deadline.hasExpired())
        QTest::qWait(50);
    if (shellCalls)
        *shellCalls = dialogs.shellCalls;
    return window.outputsText();
}

} // namespace

class TestViewers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void opensInViewer_data();
    void opensInViewer();
    void linksResolveInsideHelpFile();
    void folderAddressWithoutSlash();

private:
    std::unique_ptr<QTemporaryDir> mTemp;
    QString mCompiled;
    QString mTitle;
};

// One conversion through the window for all the checks of its help file.
void TestViewers::initTestCase()
{
    mTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(mTemp->isValid());
    const QString folder = mTemp->filePath(QStringLiteral("Out dir"));
    FixtureServer server(kSite);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    std::vector<RecordingDialogs::ShellCall> shellCalls;
    const QString pane = convertThroughWindow(folder, server.url(), &shellCalls);

    mCompiled = folder + QStringLiteral("/output.chm");
    QVERIFY2(QFileInfo(mCompiled).size() > 0, qPrintable(pane));
    QCOMPARE(shellCalls.size(), std::size_t(1));
    QCOMPARE(shellCalls[0].arguments, QStringList{mCompiled});
    // Saved under Windows file-name rules: no ':' in any name of the help file.
    for (const QString &file : projectFiles(folder))
        QVERIFY2(!file.contains(QLatin1Char(':')), qPrintable(file));
    mTitle = projectTitle(folder);
    QVERIFY(!mTitle.isEmpty());
}

void TestViewers::opensInViewer_data()
{
    QTest::addColumn<QString>("viewer");
    QTest::addColumn<QString>("titlePrefix"); // followed by the help file's title once it is loaded
    QTest::newRow("kchmviewer") << "kchmviewer" << "kchmviewer - ";
    QTest::newRow("xchm") << "xchm" << "xCHM v. 1.35: ";
}

void TestViewers::opensInViewer()
{
    QFETCH(QString, viewer);
    QFETCH(QString, titlePrefix);
    for (const QString &tool : {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), viewer})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));

    PrivateDisplay display;
    QVERIFY2(!display.name().isEmpty(), "Xvfb did not start");

    QTemporaryDir home;
    QVERIFY(home.isValid());
    GroupProcess viewerProcess;
    startViewer(viewerProcess, viewer, mCompiled, display.name(), home.path());
    QVERIFY2(viewerProcess.process().waitForStarted(10000), qPrintable(viewerProcess.process().errorString()));

    // The viewer shows its bare name first and the help file's title once
    // the file is loaded.
    const QString expected = titlePrefix + mTitle;
    const QString pattern = titlePrefix.section(QLatin1Char(' '), 0, 0);
    const QStringList titles = waitForWindowTitle(display.name(), pattern, expected, 30000);
    // Loaded pages take a moment more to show, for the screenshot.
    QTest::qWait(1000);
    const QString shots = qEnvironmentVariable("QUORLIX_VIEWER_SHOTS");
    if (!shots.isEmpty())
        takeScreenshot(display.name(), QDir(shots).filePath(viewer + QStringLiteral(".png")));
    const QString output = QString::fromLocal8Bit(viewerProcess.process().readAll());
    QVERIFY2(titles.contains(expected), qPrintable(QStringLiteral("window titles: \"%1\"; %2 said: %3")
                                                       .arg(titles.join(QStringLiteral("\", \"")), viewer, output)));
    viewerProcess.stop();
    QCOMPARE(viewerProcess.process().state(), QProcess::NotRunning);
}

// Every link between the saved pages (the non-ASCII name, the blank, the
// image) leads to a file in the help file, read back through chmlib.
void TestViewers::linksResolveInsideHelpFile()
{
    QProcess measure;
    measure.setProcessChannelMode(QProcess::MergedChannels);
    measure.start(QStringLiteral("tools/measure-links"),
                  {QStringLiteral("--target"), QStringLiteral("100"), QStringLiteral("--chm"), mCompiled});
    QVERIFY2(measure.waitForFinished(60000), qPrintable(measure.errorString()));
    const QString output = QString::fromLocal8Bit(measure.readAll());
    if (output.contains(QStringLiteral("python3-chm is not installed")))
        QSKIP("python3-chm is not installed");
    QVERIFY2(measure.exitStatus() == QProcess::NormalExit && measure.exitCode() == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral(" 0 of them spelt so that viewers do not follow them")), qPrintable(output));
}

// "/docs" is a folder: the server redirects to "/docs/". Converted as that
// address: its page first, only what lies below it and the pages' images.
void TestViewers::folderAddressWithoutSlash()
{
    const QString folder = mTemp->filePath(QStringLiteral("without slash"));
    FixtureServer server(kSite);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    const QString pane = convertThroughWindow(folder, server.url(QStringLiteral("/docs")));

    const QString host = server.hostFolder().replace(QLatin1Char(':'), QLatin1Char('+'));
    const QStringList files = projectFiles(folder);
    QVERIFY2(!files.isEmpty(), qPrintable(pane));
    QCOMPARE(files.first(), host + QStringLiteral("/docs/index.html"));
    for (const QString &file : files) {
        QVERIFY2(QFileInfo(folder + QLatin1Char('/') + file).isFile(), qPrintable(file));
        QVERIFY2(file.startsWith(host + QStringLiteral("/docs/")) || file.startsWith(host + QStringLiteral("/images/")),
                 qPrintable(file));
    }
    QVERIFY2(files.contains(host + QStringLiteral("/docs/deep/details.html")), qPrintable(files.join(QLatin1Char(' '))));
    QVERIFY(QFileInfo(folder + QStringLiteral("/output.chm")).size() > 0);
}

QTEST_MAIN(TestViewers)
#include "test_viewers.moc"
