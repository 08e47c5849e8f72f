// The installed tree: `cmake --install` of this build into a scratch prefix
// gives the program with its stand-ins, a launcher that starts it in the
// right folder from anywhere, a valid desktop entry and crisp icons.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QTest>

namespace {

const QString kAppDir = QStringLiteral("libexec/quorlix");

QString runAndCollect(const QString &program, const QStringList &arguments, int *exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        *exitCode = -1;
    } else {
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    return QString::fromLocal8Bit(process.readAll());
}

// The target of a /proc/<pid>/ link, or empty text once the process is gone.
QString procLink(qint64 pid, const char *name)
{
    return QFile::symLinkTarget(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
}

QStringList procEnvironment(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/environ").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList variables;
    for (const QByteArray &entry : file.readAll().split('\0'))
        variables << QString::fromLocal8Bit(entry);
    return variables;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void filesPresent_data();
    void filesPresent();
    void desktopEntryValid();
    void iconsEnlargePixelArt_data();
    void iconsEnlargePixelArt();
    void scalableIconMatchesPixelArt();
    void launcherStartsProgramInItsFolder_data();
    void launcherStartsProgramInItsFolder();

private:
    QString installed(const QString &relative) const { return mPrefix.filePath(relative); }

    QTemporaryDir mPrefix;
    QImage mArt;
};

void TestInstall::initTestCase()
{
    QVERIFY(mPrefix.isValid());
    const QString buildDir = qEnvironmentVariable("QUORLIX_BUILD_DIR");
    QVERIFY2(!buildDir.isEmpty(), "QUORLIX_BUILD_DIR is not set");
    int code = 0;
    const QString log = runAndCollect(QStringLiteral(QUORLIX_CMAKE_COMMAND),
                                      {QStringLiteral("--install"), buildDir,
                                       QStringLiteral("--prefix"), mPrefix.path()},
                                      &code);
    QVERIFY2(code == 0, qPrintable(log));

    mArt = QImage(QStringLiteral(":/icons/quorlix-32.xpm")).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(mArt.size(), QSize(32, 32));
}

void TestInstall::filesPresent_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");

    QTest::newRow("launcher") << QStringLiteral("bin/quorlix") << true;
    QTest::newRow("program") << kAppDir + QStringLiteral("/quorlix") << true;
    for (const char *standIn : {"wget", "hhc", "hhc-chmcmd", "hh", "quorlix-hhc"})
        QTest::newRow(standIn) << kAppDir + QStringLiteral("/bin/") + QLatin1String(standIn) << true;
    QTest::newRow("desktop entry") << QStringLiteral("share/applications/quorlix.desktop") << false;
    QTest::newRow("scalable icon") << QStringLiteral("share/icons/hicolor/scalable/apps/quorlix.svg")
                                   << false;
}

void TestInstall::filesPresent()
{
    QFETCH(QString, path);
    QFETCH(bool, executable);

    const QFileInfo info(installed(path));
    QVERIFY2(info.isFile(), qPrintable(path + QStringLiteral(" is missing")));
    QCOMPARE(info.isExecutable(), executable);
}

void TestInstall::desktopEntryValid()
{
    const QString entry = installed(QStringLiteral("share/applications/quorlix.desktop"));
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    QVERIFY2(!validator.isEmpty(), "desktop-file-validate is not installed (tools/setup installs it)");
    int code = 0;
    const QString complaints = runAndCollect(validator, {entry}, &code);
    QVERIFY2(code == 0 && complaints.trimmed().isEmpty(), qPrintable(complaints));

    // It starts the launcher and names the icon that was installed.
    QFile file(entry);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    QVERIFY(lines.contains(QStringLiteral("Exec=quorlix")));
    QVERIFY(lines.contains(QStringLiteral("Icon=quorlix")));
}

void TestInstall::iconsEnlargePixelArt_data()
{
    QTest::addColumn<int>("size");
    for (int size : {32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void TestInstall::iconsEnlargePixelArt()
{
    QFETCH(int, size);

    const QString path = installed(QStringLiteral("share/icons/hicolor/%1x%1/apps/quorlix.png").arg(size));
    const QImage icon = QImage(path).convertToFormat(QImage::Format_ARGB32);
    QVERIFY2(!icon.isNull(), qPrintable(path + QStringLiteral(" is missing or not a PNG")));
    QCOMPARE(icon.size(), QSize(size, size));

    // Every pixel is one of the art's, taken from the art pixel it lies on:
    // no blending, so the edges stay sharp.
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const QRgb expected = mArt.pixel(x * 32 / size, y * 32 / size);
            const QRgb actual = icon.pixel(x, y);
            if (qAlpha(expected) == 0 && qAlpha(actual) == 0)
                continue;
            if (actual != expected)
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2 is #%3, the art's is #%4")
                                     .arg(x).arg(y)
                                     .arg(actual, 8, 16, QLatin1Char('0'))
                                     .arg(expected, 8, 16, QLatin1Char('0'))));
        }
    }
}

void TestInstall::scalableIconMatchesPixelArt()
{
    // Paints the SVG's rectangles back onto a 32 x 32 grid and compares.
    QFile file(installed(QStringLiteral("share/icons/hicolor/scalable/apps/quorlix.svg")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QImage painted(32, 32, QImage::Format_ARGB32);
    painted.fill(Qt::transparent);

    QXmlStreamReader svg(&file);
    bool sawRoot = false;
    while (!svg.atEnd()) {
        if (svg.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes attributes = svg.attributes();
        if (svg.name() == QLatin1String("svg")) {
            sawRoot = true;
            QCOMPARE(attributes.value(QLatin1String("viewBox")).toString(), QStringLiteral("0 0 32 32"));
            continue;
        }
        QCOMPARE(svg.name().toString(), QStringLiteral("rect"));
        const int x = attributes.value(QLatin1String("x")).toInt();
        const int y = attributes.value(QLatin1String("y")).toInt();
        const int width = attributes.value(QLatin1String("width")).toInt();
        const QColor fill(attributes.value(QLatin1String("fill")).toString());
        QVERIFY(fill.isValid());
        for (int i = 0; i < width; ++i)
            painted.setPixel(x + i, y, fill.rgba());
    }
    QVERIFY2(!svg.hasError(), qPrintable(svg.errorString()));
    QVERIFY(sawRoot);
    QCOMPARE(painted, mArt);
}

void TestInstall::launcherStartsProgramInItsFolder_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("launcher itself") << false;
    QTest::newRow("link to the launcher elsewhere") << true;
}

void TestInstall::launcherStartsProgramInItsFolder()
{
    QFETCH(bool, throughLink);

    QString launcher = installed(QStringLiteral("bin/quorlix"));
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    if (throughLink) {
        const QString link = elsewhere.filePath(QStringLiteral("quorlix"));
        QVERIFY(QFile::link(launcher, link));
        launcher = link;
    }
    const QString appDir = QFileInfo(installed(kAppDir)).canonicalFilePath();
    const QString program = appDir + QStringLiteral("/quorlix");

    // Started from the root folder, with a PATH that knows nothing of the
    // checkout, headless.
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QStringLiteral("/"));
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(launcher, {});
    QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
    const qint64 pid = process.processId();

    // The launcher replaces itself with the program; wait for that.
    QTRY_COMPARE_WITH_TIMEOUT(procLink(pid, "exe"), program, 60000);
    // Still running a second later: the window is up, not failing at start.
    // Its environment is read only then: the exec that has just named the
    // program may not have laid out the new one yet.
    const bool endedEarly = process.waitForFinished(1000);
    const QString cwd = procLink(pid, "cwd");
    const QStringList variables = procEnvironment(pid);

    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }

    QVERIFY2(!endedEarly, qPrintable(QStringLiteral("the program ended at once with code %1")
                                         .arg(process.exitCode())));
    QCOMPARE(cwd, appDir);
    QVERIFY2(QFileInfo(cwd + QStringLiteral("/bin/wget")).isExecutable(),
             "bin/wget is not found from the program's working folder");
    QStringList path;
    for (const QString &variable : variables) {
        if (variable.startsWith(QStringLiteral("PATH=")))
            path = variable.mid(5).split(QLatin1Char(':'));
    }
    QVERIFY(!path.isEmpty());
    QCOMPARE(path.first(), appDir + QStringLiteral("/bin"));
    QVERIFY2(path.contains(QStringLiteral("/usr/bin")), "the caller's PATH is kept after it");
}

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
