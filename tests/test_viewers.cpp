// The help file a conversion makes, opened in the real viewers: the fixture
// site served on a port of its own (so its folder would carry a ':' without
// the downloader's Windows file-name rules), converted through the window,
// then output.chm opened in kchmviewer and in xchm on a private Xvfb display.
// A viewer that loaded the file names its title in its window title; one that
// could not load it shows only its own name.
//
// Set QUORLIX_VIEWER_SHOTS to a folder to keep a screenshot of each viewer.

#include "app/MainWindow.h"
#include "support/FixtureServer.h"
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
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

using quorlix::MainWindow;
using quorlix::test::FixtureServer;
using quorlix::test::RecordingDialogs;

namespace {

const QString kSite = QStringLiteral(QUORLIX_FIXTURE_SITE);

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

// An Xvfb server on the first free display, which it picks itself.
class PrivateDisplay {
public:
    PrivateDisplay()
    {
        mServer.process().start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"),
                                                         QStringLiteral("-screen"), QStringLiteral("0"),
                                                         QStringLiteral("1280x900x24"), QStringLiteral("-nolisten"),
                                                         QStringLiteral("tcp")});
        const QDeadlineTimer deadline(10000);
        QByteArray output;
        while (!output.contains('\n') && mServer.process().waitForReadyRead(int(deadline.remainingTime())))
            output += mServer.process().readAllStandardOutput();
        bool ok = false;
        const int number = output.trimmed().toInt(&ok);
        if (ok)
            mName = QStringLiteral(":%1").arg(number);
    }

    // ":N", or empty when the server did not start.
    QString name() const { return mName; }

private:
    GroupProcess mServer;
    QString mName;
};

// The names of the visible windows on display whose name matches pattern.
QStringList windowTitles(const QString &display, const QString &pattern)
{
    QProcess search;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    search.setProcessEnvironment(environment);
    search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                             QStringLiteral("--name"), pattern, QStringLiteral("getwindowname"),
                                             QStringLiteral("%@")});
    if (!search.waitForFinished(5000))
        return {};
    return QString::fromUtf8(search.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void takeScreenshot(const QString &display, const QString &path)
{
    QProcess import;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display);
    import.setProcessEnvironment(environment);
    import.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    import.waitForFinished(10000);
}

QString projectTitle(const QString &project)
{
    QFile file(project);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    static const QRegularExpression title(QStringLiteral("^Title=([^\r\n]*)"), QRegularExpression::MultilineOption);
    return title.match(QString::fromLocal8Bit(file.readAll())).captured(1);
}

} // namespace

class TestViewers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void opensInViewer_data();
    void opensInViewer();

private:
    std::unique_ptr<QTemporaryDir> mTemp;
    QString mCompiled;
    QString mTitle;
};

// One conversion through the window for all viewers.
void TestViewers::initTestCase()
{
    for (const char *tool : {"Xvfb", "xdotool"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QString::fromLatin1(tool))));

    mTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(mTemp->isValid());
    const QString folder = mTemp->filePath(QStringLiteral("Out dir"));
    FixtureServer server(kSite);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    RecordingDialogs dialogs;
    MainWindow window;
    window.Label2->setText(folder);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClicks(window.txtCommand, server.url());
    QTest::mouseClick(window.cmdExecute, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(window.cmdExecute->text(), QStringLiteral("Execute"), 60000);

    mCompiled = folder + QStringLiteral("/output.chm");
    QVERIFY2(QFileInfo(mCompiled).size() > 0, qPrintable(window.outputsText()));
    QCOMPARE(dialogs.shellCalls.size(), std::size_t(1));
    QCOMPARE(dialogs.shellCalls[0].arguments, QStringList{mCompiled});
    // Saved under Windows file-name rules: no ':' in any name of the help file.
    QVERIFY2(!QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot).join(QLatin1Char(' ')).contains(QLatin1Char(':')),
             qPrintable(QDir(folder).entryList().join(QLatin1Char(' '))));
    mTitle = projectTitle(folder + QStringLiteral("/output.HHP"));
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
    if (QStandardPaths::findExecutable(viewer).isEmpty())
        QSKIP(qPrintable(viewer + QStringLiteral(" is not installed")));

    PrivateDisplay display;
    QVERIFY2(!display.name().isEmpty(), "Xvfb did not start");

    // Its own home, so no settings or recent files of an earlier run count.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display.name());
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    GroupProcess viewerProcess;
    viewerProcess.process().setProcessEnvironment(environment);
    viewerProcess.process().setProcessChannelMode(QProcess::MergedChannels);
    viewerProcess.process().start(viewer, {mCompiled});
    QVERIFY2(viewerProcess.process().waitForStarted(10000), qPrintable(viewerProcess.process().errorString()));

    // The viewer shows its bare name first and the help file's title once
    // the file is loaded.
    const QString expected = titlePrefix + mTitle;
    const QString pattern = titlePrefix.section(QLatin1Char(' '), 0, 0);
    QStringList titles;
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired() && !titles.contains(expected)) {
        QTest::qWait(250);
        titles = windowTitles(display.name(), pattern);
    }
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

QTEST_MAIN(TestViewers)
#include "test_viewers.moc"
