// A site whose look comes from another host, converted through the window
// with the real downloader and help compiler: pages on 127.0.0.1:P1 take
// their style sheet (with a background image and a web font), a logo and a
// script from localhost:P2 and link to a page there. The requisites belong
// inside the help file under the other host's folder, the page does not, and
// however the other host fails, the pages still make a help file.

#include "app/MainWindow.h"
#include "support/ChmReader.h"
#include "support/FileBytes.h"
#include "support/FixtureServer.h"
#include "support/PrivateDisplay.h"
#include "support/RecordingDialogs.h"

#include <QBuffer>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <optional>

using quorlix::MainWindow;
using quorlix::test::ChmReader;
using quorlix::test::FixtureServer;
using quorlix::test::GroupProcess;
using quorlix::test::PrivateDisplay;
using quorlix::test::readFile;
using quorlix::test::RecordingDialogs;
using quorlix::test::startViewer;
using quorlix::test::takeScreenshot;
using quorlix::test::waitForWindowTitle;
using quorlix::test::writeFile;

namespace {

// What the other host serves: every requisite the pages name, by its path
// there, and a page the start host links to.
const QStringList kRequisites{QStringLiteral("css/theme.css"), QStringLiteral("img/back.png"),
                              QStringLiteral("img/logo.png"), QStringLiteral("fonts/face.woff2"),
                              QStringLiteral("js/menu.js")};
const QString kOtherPage = QStringLiteral("docs/other.html");

QByteArray png(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The other host's files; none of them depends on its port.
void writeOtherHost(const QString &root)
{
    writeFile(root + "/css/theme.css",
              "@font-face { font-family: Face; src: url(\"../fonts/face.woff2\") format(\"woff2\"); }\n"
              "body { background-color: #2e8b57; background-image: url(../img/back.png);\n"
              "       background-repeat: no-repeat; background-position: right bottom; font-family: Face; }\n");
    writeFile(root + "/img/back.png", png(24, 24, QColor(0x1e, 0x90, 0xff)));
    writeFile(root + "/img/logo.png", png(160, 80, QColor(0xdc, 0x14, 0x3c)));
    // Not a font a viewer can use: the bytes only have to arrive unchanged.
    writeFile(root + "/fonts/face.woff2", QByteArray("wOF2\0\1\0\0", 8) + QByteArray(200, '\x5a'));
    writeFile(root + "/js/menu.js", "document.title = document.title;\n");
    writeFile(root + "/" + kOtherPage, "<!DOCTYPE html><html><head><title>Other host</title></head>"
                                       "<body><a href=\"more.html\">More</a></body></html>\n");
}

// The start host's pages, each with the other host's sheet, logo and script.
void writeStartHost(const QString &root, const QString &other)
{
    const QByteArray head = "<link rel=\"stylesheet\" href=\"" + other.toUtf8()
                            + "css/theme.css\">"
                              "<script src=\""
                            + other.toUtf8() + "js/menu.js\"></script>";
    const QByteArray logo = "<p><img src=\"" + other.toUtf8() + "img/logo.png\" alt=\"Logo\"></p>";
    writeFile(root + "/index.html", "<!DOCTYPE html><html><head><title>Two hosts</title>" + head + "</head><body>"
                                        + logo + "<h1>Two hosts</h1><p><a href=\"guide.html\">Guide</a> and <a href=\""
                                        + other.toUtf8() + kOtherPage.toUtf8()
                                        + "\">a page on the other host</a>.</p></body></html>\n");
    writeFile(root + "/guide.html", "<!DOCTYPE html><html><head><title>Guide</title>" + head + "</head><body>" + logo
                                        + "<h1>Guide</h1><p><a href=\"index.html\">Back</a></p></body></html>\n");
}

QStringList projectFiles(const QString &folder)
{
    const QString project = QString::fromUtf8(readFile(folder + "/output.HHP"));
    const qsizetype start = project.indexOf(QStringLiteral("[FILES]\r\n"));
    const qsizetype end = project.indexOf(QStringLiteral("\r\n\r\n"), start);
    if (start < 0 || end < 0)
        return {QStringLiteral("<no [FILES] in output.HHP>")};
    return project.mid(start + 9, end - start - 9).split(QStringLiteral("\r\n"));
}

} // namespace

class TestOtherHosts : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requisitesFromOtherHost_data();
    void requisitesFromOtherHost();
    void sheetAndLogoShowInKchmviewer();

private:
    // Serves both hosts (the other one refusing when !hostUp, answering the
    // errors otherwise), types the start page's address into the window and
    // clicks "Execute"; returns once the conversion is over.
    void convertTwoHosts(bool hostUp, const QStringList &errors);

    std::unique_ptr<QTemporaryDir> mTemp;
    std::unique_ptr<RecordingDialogs> mDialogs;
    std::unique_ptr<MainWindow> mWindow;
    QString mFolder;
    QString mOtherRoot;
    quint16 mOtherPort = 0;
    std::unique_ptr<FixtureServer> mOther; // none when it refuses
    std::unique_ptr<FixtureServer> mStart;
};

void TestOtherHosts::init()
{
    mTemp = std::make_unique<QTemporaryDir>();
    QVERIFY(mTemp->isValid());
    mFolder = mTemp->filePath(QStringLiteral("out"));
    mDialogs = std::make_unique<RecordingDialogs>();
    mWindow = std::make_unique<MainWindow>();
    mWindow->Label2->setText(mFolder);
    mWindow->show();
    QVERIFY(QTest::qWaitForWindowExposed(mWindow.get()));
}

void TestOtherHosts::cleanup()
{
    mStart.reset();
    mOther.reset();
    mWindow.reset();
    mDialogs.reset();
    mTemp.reset();
}

void TestOtherHosts::convertTwoHosts(bool hostUp, const QStringList &errors)
{
    mOtherRoot = mTemp->filePath(QStringLiteral("other"));
    writeOtherHost(mOtherRoot);
    FixtureServer::Faults faults;
    faults.errors = errors;
    mOther = std::make_unique<FixtureServer>(mOtherRoot, faults);
    QVERIFY2(mOther->isListening(), qPrintable(mOther->errorString()));
    mOtherPort = mOther->port();
    // A host that refuses: the port of a server that has ended.
    if (!hostUp)
        mOther.reset();
    const QString startRoot = mTemp->filePath(QStringLiteral("start"));
    writeStartHost(startRoot, QStringLiteral("http://localhost:%1/").arg(mOtherPort));
    mStart = std::make_unique<FixtureServer>(startRoot);
    QVERIFY2(mStart->isListening(), qPrintable(mStart->errorString()));

    QTest::keyClicks(mWindow->txtCommand, mStart->url());
    QTest::mouseClick(mWindow->cmdExecute, Qt::LeftButton);
}

void TestOtherHosts::requisitesFromOtherHost_data()
{
    QTest::addColumn<bool>("hostUp");
    QTest::addColumn<QStringList>("errors"); // the other host's faults, as FixtureServer takes them
    QTest::addColumn<QStringList>("saved");  // of kRequisites, those that must be in the help file
    QTest::addColumn<QString>("failure");    // the downloader's line for the other host's fault

    QTest::newRow("served") << true << QStringList() << kRequisites << QString();
    QTest::newRow("one missing") << true << QStringList{QStringLiteral("404:/img/logo.png")}
                                 << QStringList{kRequisites[0], kRequisites[1], kRequisites[3], kRequisites[4]}
                                 << QStringLiteral("/img/logo.png:\n.* ERROR 404: ");
    // The downloader exits with status 4 (a network failure): the pages
    // were saved all the same. The host's first fault (its robots.txt) gives
    // it up: its requisites end at once, each with its line.
    QTest::newRow("refused") << false << QStringList() << QStringList()
                             << QStringLiteral("/robots.txt:\nfailed: Connection refused\\.[\\s\\S]*"
                                               "/css/theme.css: The host was given up after an earlier failure\\.");
}

void TestOtherHosts::requisitesFromOtherHost()
{
    QFETCH(bool, hostUp);
    QFETCH(QStringList, errors);
    QFETCH(QStringList, saved);
    QFETCH(QString, failure);

    convertTwoHosts(hostUp, errors);
    if (QTest::currentTestFailed())
        return;

    // The conversion ends with the help file in the viewer and no box.
    const QString pane = mWindow->outputsText();
    QVERIFY2(mDialogs->messages.empty(),
             qPrintable(mDialogs->messages.empty() ? QString() : mDialogs->messages.front().text + "\n" + pane));
    QCOMPARE(mWindow->cmdExecute->text(), QStringLiteral("Execute"));
    const QString compiled = mFolder + "/output.chm";
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));
    QCOMPARE(mDialogs->shellCalls[0].arguments, QStringList{compiled});
    if (!failure.isEmpty())
        QVERIFY2(pane.contains(QRegularExpression(failure)), qPrintable(pane));

    // The project lists the start host's pages and, under the other host's
    // folder, what came from there; the other host's page is not among them.
    const QString startFolder = mStart->hostFolder().replace(QLatin1Char(':'), QLatin1Char('+'));
    const QString otherFolder = QStringLiteral("localhost+%1").arg(mOtherPort);
    QStringList expected{startFolder + "/index.html"};
    for (const QString &path : saved)
        expected << otherFolder + QLatin1Char('/') + path;
    expected << startFolder + "/guide.html";
    QStringList listed = projectFiles(mFolder);
    // The order among the requisites is the order their answers came in.
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    QCOMPARE(listed, expected);
    QVERIFY2(!QFile::exists(mFolder + QLatin1Char('/') + otherFolder + QLatin1Char('/') + kOtherPage),
             qPrintable(pane));
    if (mOther)
        QVERIFY(!mOther->requests().contains(QLatin1Char('/') + kOtherPage));

    // Each requisite is in the help file with the bytes the other host sent.
    {
        ChmReader chm(compiled);
        QVERIFY2(chm.isOpen(), qPrintable(compiled));
        for (const QString &path : saved) {
            const std::optional<QByteArray> stored = chm.lookUp(otherFolder + QLatin1Char('/') + path);
            QVERIFY2(stored.has_value(), qPrintable("not in output.chm: " + otherFolder + "/" + path));
            if (!path.endsWith(QStringLiteral(".css")))
                QCOMPARE(*stored, readFile(mOtherRoot + QLatin1Char('/') + path));
        }
        QVERIFY(!chm.lookUp(otherFolder + QLatin1Char('/') + kOtherPage));
        // The pages name what was saved by its place in the help file, what
        // was not by its address; the other host's page stays an address.
        const std::optional<QByteArray> startPage = chm.lookUp(startFolder + "/index.html");
        QVERIFY(startPage.has_value());
        for (const QString &path : kRequisites) {
            if (path.startsWith(QStringLiteral("fonts/")) || path.startsWith(QStringLiteral("img/back")))
                continue; // named by the sheet, not the page
            const QString local = "\"../" + otherFolder + QLatin1Char('/') + path + "\"";
            const QString remote = QStringLiteral("\"http://localhost:%1/%2\"").arg(mOtherPort).arg(path);
            QVERIFY2(startPage->contains((saved.contains(path) ? local : remote).toUtf8()), startPage->constData());
        }
        QVERIFY2(
            startPage->contains(QStringLiteral("\"http://localhost:%1/%2\"").arg(mOtherPort).arg(kOtherPage).toUtf8()),
            startPage->constData());
    }

    // Every link between the files inside the help file finds its file there.
    QProcess links;
    links.setProcessChannelMode(QProcess::MergedChannels);
    links.start(QStringLiteral("tools/measure-links"),
                {QStringLiteral("--chm"), compiled, QStringLiteral("--target"), QStringLiteral("100")});
    QVERIFY(links.waitForFinished(60000));
    const QString report = QString::fromUtf8(links.readAll());
    QVERIFY2(links.exitStatus() == QProcess::NormalExit && links.exitCode() == 0, qPrintable(report));
    static const QRegularExpression internal(QStringLiteral("; (\\d+) links between saved files, (\\d+) resolve,"));
    const QRegularExpressionMatch counts = internal.match(report);
    QVERIFY2(counts.hasMatch(), qPrintable(report));
    QCOMPARE(counts.captured(2), counts.captured(1));
}

// The page as a reader sees it: kchmviewer (which, unlike xchm, applies
// style sheets) on a private X server shows the start page with the other
// host's sheet and logo, on a screenshot counted pixel by pixel.
// Set QUORLIX_VIEWER_SHOTS to a folder to keep the screenshot.
void TestOtherHosts::sheetAndLogoShowInKchmviewer()
{
    for (const QString &tool :
         {QStringLiteral("Xvfb"), QStringLiteral("xdotool"), QStringLiteral("kchmviewer"), QStringLiteral("import")})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(tool + QStringLiteral(" is not installed")));
    convertTwoHosts(true, {});
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(mDialogs->shellCalls.size(), size_t(1));

    PrivateDisplay display;
    QVERIFY2(!display.name().isEmpty(), "Xvfb did not start");
    const QString home = mTemp->filePath(QStringLiteral("home"));
    QVERIFY(QDir().mkpath(home));
    GroupProcess viewer;
    startViewer(viewer, QStringLiteral("kchmviewer"), mFolder + "/output.chm", display.name(), home);
    QVERIFY2(viewer.process().waitForStarted(10000), qPrintable(viewer.process().errorString()));
    const QString expected = QStringLiteral("kchmviewer - Quorlix");
    const QStringList titles = waitForWindowTitle(display.name(), QStringLiteral("kchmviewer"), expected, 30000);
    QVERIFY2(titles.contains(expected), qPrintable(titles.join(QStringLiteral(", "))));
    // The page is drawn a moment after the title names the file.
    const QString shot = mTemp->filePath(QStringLiteral("kchmviewer.png"));
    const QRgb sheet = qRgb(0x2e, 0x8b, 0x57);
    const QRgb logo = qRgb(0xdc, 0x14, 0x3c);
    const auto count = [](const QImage &image, QRgb colour) {
        qsizetype pixels = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                pixels += image.pixel(x, y) == colour;
        return pixels;
    };
    // The whole logo (160 x 80) and the sheet's colour around it.
    constexpr qsizetype kLogoPixels = 160 * 80;
    constexpr qsizetype kSheetPixels = 100000;
    QImage image;
    const QDeadlineTimer deadline(10000);
    do {
        QTest::qWait(500);
        takeScreenshot(display.name(), shot);
        image = QImage(shot).convertToFormat(QImage::Format_RGB32);
    } while ((count(image, logo) < kLogoPixels || count(image, sheet) < kSheetPixels) && !deadline.hasExpired());
    if (const QString shots = qEnvironmentVariable("QUORLIX_VIEWER_SHOTS"); !shots.isEmpty())
        QFile::copy(shot, QDir(shots).filePath(QStringLiteral("kchmviewer-other-hosts.png")));
    QVERIFY2(!image.isNull(), "no screenshot");
    QCOMPARE_GE(count(image, logo), kLogoPixels);
    QCOMPARE_GE(count(image, sheet), kSheetPixels);
}

QTEST_MAIN(TestOtherHosts)
#include "test_other_hosts.moc"
