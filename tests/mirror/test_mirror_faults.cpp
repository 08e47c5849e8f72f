// quorlix-wget on sites that misbehave and folders that cannot take the
// mirror: each fault ends with a clear line, nothing crashes or hangs, and no
// partial file is left under a saved name.

#include "MirrorRun.h"
#include "support/FixtureServer.h"
#include "support/NginxServer.h"
#include "support/TestCertificates.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

using quorlix::test::FixtureServer;
using quorlix::test::MirrorRun;
using quorlix::test::NginxServer;
using quorlix::test::makeTestCertificates;

namespace {

const QString kTool = QStringLiteral(QUORLIX_WGET_TOOL);

QStringList options(const QString &address, const QStringList &extra = {})
{
    return QStringList{QStringLiteral("-r"), QStringLiteral("-nv"), QStringLiteral("-np"),
                       QStringLiteral("--restrict-file-names=windows"), QStringLiteral("-k"), QStringLiteral("-E"),
                       QStringLiteral("-p"), QStringLiteral("--timeout=1"), QStringLiteral("--tries=2")}
           + extra + QStringList{address};
}

bool write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Files the downloader left that are not finished ones: temporary bodies.
QStringList leftovers(const QString &folder)
{
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.contains(QLatin1String(".quorlix-wget")) || path.endsWith(QLatin1String(".part")))
            found << path;
    }
    return found;
}

} // namespace

class TestMirrorFaults : public QObject {
    Q_OBJECT

private slots:
    void unreachable_data();
    void unreachable();
    void servedFaults_data();
    void servedFaults();
    void stopsMidFile();
    void requisiteHostFaults_data();
    void requisiteHostFaults();
    void slowRequisiteHost();
    void certificates();
    void cancel_data();
    void cancel();
    void diskFull();
};

void TestMirrorFaults::unreachable_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("line");
    QTest::newRow("unknown host") << QStringLiteral("http://no-such-host.invalid/") << QStringLiteral("unable to resolve host address");
    QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/") << QStringLiteral("failed: Connection refused.");
}

void TestMirrorFaults::unreachable()
{
    QFETCH(QString, address);
    QFETCH(QString, line);
    QTemporaryDir temp;
    const MirrorRun run = MirrorRun::of(kTool, options(address), temp.path());
    QVERIFY2(run.log.contains(line), qPrintable(run.log));
    QVERIFY(run.exitCode != 0);
    QCOMPARE(run.files, QStringList());
    QCOMPARE(leftovers(temp.path()), QStringList());
}

void TestMirrorFaults::servedFaults_data()
{
    QTest::addColumn<QString>("serverLines");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("line");    // a line the log must hold
    QTest::addColumn<int>("savedFiles");  // -1: not counted

    QTest::newRow("redirect loop") << QStringLiteral("location = /loop.html { return 302 /loop.html; }")
                                   << QStringLiteral("loop.html") << QStringLiteral("20 redirections exceeded.") << 0;
    // An endless calendar of query pages: depth 5 ends it (pages 0 to 5).
    QTest::newRow("endless calendar")
        << QStringLiteral("location = /cal { default_type text/html; return 200 '<a href=\"cal?m=${arg_m}x\">next</a>'; }")
        << QStringLiteral("cal?m=") << QString() << 6;
    QTest::newRow("gzip answers are saved decoded")
        << QStringLiteral("gzip on; gzip_min_length 1; gzip_types text/css;") << QString() << QString() << 3;
    // nginx-light has no brotli of its own: it serves the sheet compressed ahead.
    QTest::newRow("brotli answers are saved decoded")
        << QStringLiteral("location = /s.css { types {} default_type text/css; add_header Content-Encoding br; "
                          "try_files /s.css.br =404; }")
        << QString() << QString() << 3;
    QTest::newRow("a page of 100,000 links") << QString() << QStringLiteral("big.html") << QString() << 2;
}

void TestMirrorFaults::servedFaults()
{
    QFETCH(QString, serverLines);
    QFETCH(QString, start);
    QFETCH(QString, line);
    QFETCH(int, savedFiles);
    QTemporaryDir temp;
    const QString root = temp.filePath(QStringLiteral("site"));
    QByteArray big = "<html><body>\n";
    for (int i = 0; i < 100000; ++i)
        big += "<a href=\"#n" + QByteArray::number(i) + "\">" + QByteArray::number(i) + "</a>\n";
    big += "<a href=\"small.html\">s</a></body></html>\n";
    const QByteArray sheet = QByteArray("body { color: black }\n").repeated(200);
    QVERIFY(write(root + QStringLiteral("/index.html"), "<link rel=stylesheet href=\"s.css\"><a href=\"small.html\">s</a>"));
    QVERIFY(write(root + QStringLiteral("/s.css"), sheet));
    QVERIFY(write(root + QStringLiteral("/small.html"), "<p>small</p>"));
    QVERIFY(write(root + QStringLiteral("/big.html"), big));
    const bool encoded = serverLines.contains(QLatin1String("gzip on")) || serverLines.contains(QLatin1String("Content-Encoding"));
    if (serverLines.contains(QLatin1String("Content-Encoding br"))
        && QProcess::execute(QStringLiteral("brotli"), {QStringLiteral("-k"), root + QStringLiteral("/s.css")}) != 0)
        QSKIP("no brotli command (Debian's brotli) to compress the sheet");
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")), {serverLines, QString(), QString()});
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    QElapsedTimer timer;
    timer.start();
    const MirrorRun run = MirrorRun::of(kTool, options(server.url() + start), temp.filePath(QStringLiteral("out")));
    QVERIFY2(timer.elapsed() < 30000, "the download did not end in time");
    if (!line.isEmpty())
        QVERIFY2(run.log.contains(line), qPrintable(run.log));
    if (savedFiles >= 0)
        QVERIFY2(run.files.size() == savedFiles, qPrintable(run.files.join(QLatin1Char('\n'))));
    QVERIFY(run.log.contains(QLatin1String("\nFINISHED --")));
    QCOMPARE(leftovers(temp.filePath(QStringLiteral("out"))), QStringList());
    if (encoded) {
        QFile saved(temp.filePath(QStringLiteral("out/%1/s.css").arg(server.hostFolder())));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), sheet);
    }
}

void TestMirrorFaults::requisiteHostFaults_data()
{
    QTest::addColumn<QString>("host"); // of the style sheet and images; SILENT: one that never answers
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("line"); // the first fault's own line
    QTest::addColumn<int>("givenUp");  // lines of requisites ended at once after it
    const QStringList robotsOff{QStringLiteral("-e"), QStringLiteral("robots=off")};
    // Its robots.txt fails first: the ten requisites end at once after it.
    QTest::newRow("refused") << QStringLiteral("localhost:1") << QStringList()
                             << QStringLiteral("failed: Connection refused.") << 10;
    QTest::newRow("unknown") << QStringLiteral("no-such-host.invalid") << QStringList()
                             << QStringLiteral("unable to resolve host address") << 10;
    QTest::newRow("never answers") << QStringLiteral("SILENT") << QStringList()
                                   << QStringLiteral("failed: Connection timed out") << 10;
    // The first requisite asked fails; the others, held back until the host
    // answers, end at once.
    QTest::newRow("never answers, no robots.txt")
        << QStringLiteral("SILENT") << robotsOff << QStringLiteral("failed: Connection timed out") << 9;
    QTest::newRow("refused, no robots.txt")
        << QStringLiteral("localhost:1") << robotsOff << QStringLiteral("failed: Connection refused.") << 9;
}

// A requisite on another host that fails ends that requisite alone, with its
// line: the page is saved and its links converted all the same. A host that
// cannot be reached is given up at its first fault: its other requisites end
// at once, so the run takes about one timeout, however many there are.
void TestMirrorFaults::requisiteHostFaults()
{
    QFETCH(QString, host);
    QFETCH(QStringList, extra);
    QFETCH(QString, line);
    QFETCH(int, givenUp);
    QTemporaryDir temp;
    // Listens but never accepts: a connection is made, no answer comes.
    const int silent = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QVERIFY(::bind(silent, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(silent, 8) == 0
            && ::getsockname(silent, reinterpret_cast<sockaddr *>(&address), &length) == 0);
    const std::unique_ptr<int, void (*)(int *)> closer(new int(silent), [](int *fd) {
        ::close(*fd);
        delete fd;
    });
    const bool silentHost = host == QLatin1String("SILENT");
    host.replace(QLatin1String("SILENT"), QStringLiteral("localhost:%1").arg(ntohs(address.sin_port)));
    const QString sheet = QStringLiteral("http://%1/theme.css").arg(host);
    QStringList links{sheet, QStringLiteral("local.png")};
    QString page = QStringLiteral("<link rel=stylesheet href=\"%1\"><img src=\"/local.png\">").arg(sheet);
    for (int i = 1; i <= 9; ++i) {
        links << QStringLiteral("http://%1/logo%2.png").arg(host).arg(i);
        page += QStringLiteral("<img src=\"%1\">").arg(links.last());
    }
    links << QStringLiteral("a.html");
    const QString root = temp.filePath(QStringLiteral("site"));
    page += QStringLiteral("<a href=\"a.html\">a</a>");
    QVERIFY(write(root + QStringLiteral("/index.html"), page.toUtf8()));
    QVERIFY(write(root + QStringLiteral("/local.png"), "png"));
    QVERIFY(write(root + QStringLiteral("/a.html"), "<img src=\"/local.png\">"));
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    const int timeout = 2; // seconds; after options()'s own
    extra << QStringLiteral("--timeout=%1").arg(timeout);
    QElapsedTimer timer;
    timer.start();
    const MirrorRun run = MirrorRun::of(kTool, options(server.url(), extra), temp.filePath(QStringLiteral("out")));
    // A bound on a fault, not a speed test: a try or two of a timeout for
    // each requisite take many times as long.
    QVERIFY2(timer.elapsed() < 3 * timeout * 1000, qPrintable(run.log));
    QVERIFY2(run.log.count(line) == 1, qPrintable(run.log));
    const QLatin1String givenUpLine(": The host was given up after an earlier failure.");
    QVERIFY2(run.log.count(givenUpLine) == givenUp, qPrintable(run.log));
    // A host that is slow to fail holds up its own requisites, not the
    // crawl (nor does its robots.txt).
    if (silentHost)
        QVERIFY2(run.log.indexOf(QLatin1String("/a.html [")) < run.log.indexOf(line), qPrintable(run.log));
    QVERIFY2(run.log.contains(QLatin1String("\nFINISHED --")), qPrintable(run.log));
    const QString index = server.hostFolder() + QStringLiteral("/index.html");
    QCOMPARE(run.files, QStringList({server.hostFolder() + QStringLiteral("/a.html"), index,
                                     server.hostFolder() + QStringLiteral("/local.png")}));
    QCOMPARE(run.links.value(index), links);
    QCOMPARE(leftovers(temp.filePath(QStringLiteral("out"))), QStringList());
}

// A requisite host that answers, slowly, holds up neither the start host's
// pages nor the end: its robots.txt is obeyed when it comes, its requisites
// are saved when they come, those of its sheet too.
void TestMirrorFaults::slowRequisiteHost()
{
    QTemporaryDir temp;
    const QString cdnRoot = temp.filePath(QStringLiteral("cdn"));
    QVERIFY(write(cdnRoot + QStringLiteral("/robots.txt"), "User-agent: *\nDisallow: /private/\n"));
    QVERIFY(write(cdnRoot + QStringLiteral("/theme.css"), "body { background: url(back.png) }"));
    QVERIFY(write(cdnRoot + QStringLiteral("/back.png"), "back"));
    QVERIFY(write(cdnRoot + QStringLiteral("/logo.png"), "logo"));
    QVERIFY(write(cdnRoot + QStringLiteral("/private/hidden.png"), "hidden"));
    FixtureServer::Faults slow;
    slow.delaySeconds = 1;
    FixtureServer cdn(cdnRoot, slow);
    QVERIFY2(cdn.isListening(), qPrintable(cdn.errorString()));
    const QString other = QStringLiteral("http://localhost:%1/").arg(cdn.port());
    const QString root = temp.filePath(QStringLiteral("site"));
    QVERIFY(write(root + QStringLiteral("/index.html"),
                  QStringLiteral("<link rel=stylesheet href=\"%1theme.css\"><img src=\"%1logo.png\">"
                                 "<img src=\"%1private/hidden.png\"><a href=\"a.html\">a</a>")
                      .arg(other)
                      .toUtf8()));
    QVERIFY(write(root + QStringLiteral("/a.html"), "<a href=\"b.html\">b</a>"));
    QVERIFY(write(root + QStringLiteral("/b.html"), "b"));
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    const MirrorRun run = MirrorRun::of(kTool, options(server.url(), {QStringLiteral("--timeout=5")}),
                                        temp.filePath(QStringLiteral("out")));
    QCOMPARE(run.exitCode, 0);
    const QString site = server.hostFolder() + QLatin1Char('/');
    const QString cdnFolder = QStringLiteral("localhost+%1/").arg(cdn.port());
    QCOMPARE(run.files, QStringList({site + QStringLiteral("a.html"), site + QStringLiteral("b.html"),
                                     site + QStringLiteral("index.html"), cdnFolder + QStringLiteral("back.png"),
                                     cdnFolder + QStringLiteral("logo.png"), cdnFolder + QStringLiteral("robots.txt"),
                                     cdnFolder + QStringLiteral("theme.css")}));
    // The start host's last page came before the slow host's first answer.
    QVERIFY2(run.log.indexOf(QLatin1String("/b.html [")) < run.log.indexOf(other + QStringLiteral("robots.txt [")),
             qPrintable(run.log));
    QVERIFY(!cdn.requests().contains(QStringLiteral("/private/hidden.png")));
    QCOMPARE(run.links.value(site + QStringLiteral("index.html")).value(0),
             QStringLiteral("../") + cdnFolder + QStringLiteral("theme.css"));
}

void TestMirrorFaults::stopsMidFile()
{
    // A server that promises 100,000 bytes, sends 10 and closes; or never
    // answers at all. Both are tried --tries times and then given up.
    QTemporaryDir temp;
    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(
        "import socket,sys\n"
        "s=socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1); s.bind(('127.0.0.1',0)); s.listen(8)\n"
        "print(s.getsockname()[1], flush=True)\n"
        "held=[]\n"
        "while True:\n"
        "    c,_=s.accept(); r=c.recv(4096)\n"
        "    if b'/silent' in r: held.append(c); continue\n"
        "    c.sendall(b'HTTP/1.1 200 OK\\r\\nContent-Type: text/html\\r\\nContent-Length: 100000\\r\\n\\r\\n0123456789'); c.close()\n")});
    QVERIFY(server.waitForReadyRead(10000));
    const QString port = QString::fromLatin1(server.readLine()).trimmed();
    for (const QString &path : {QStringLiteral("/cut.html"), QStringLiteral("/silent.html")}) {
        QElapsedTimer timer;
        timer.start();
        const QString folder = temp.filePath(path.mid(1));
        const MirrorRun run = MirrorRun::of(kTool, options(QStringLiteral("http://127.0.0.1:%1%2").arg(port, path)), folder);
        QVERIFY2(timer.elapsed() < 15000, qPrintable(run.log));
        QVERIFY(run.exitCode != 0);
        QVERIFY2(run.log.contains(QLatin1String("Giving up.")), qPrintable(run.log));
        QCOMPARE(run.files, QStringList());
        QCOMPARE(leftovers(folder), QStringList());
    }
    server.kill();
    server.waitForFinished();
}

void TestMirrorFaults::certificates()
{
    QTemporaryDir temp;
    if (!makeTestCertificates(temp.path()))
        QSKIP("openssl could not make the test certificates");
    const QString root = temp.filePath(QStringLiteral("site"));
    QVERIFY(write(root + QStringLiteral("/index.html"), "<a href=\"a.html\">a</a>"));
    QVERIFY(write(root + QStringLiteral("/a.html"), "a"));
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")),
                       {QString(), temp.filePath(QStringLiteral("right.pem")), temp.filePath(QStringLiteral("right.key"))});
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    // Not signed by an authority the system knows: an error naming the host.
    const MirrorRun refused = MirrorRun::of(kTool, options(server.url()), temp.filePath(QStringLiteral("refused")));
    QVERIFY2(refused.log.contains(QLatin1String("cannot verify 127.0.0.1's certificate")), qPrintable(refused.log));
    QCOMPARE(refused.files, QStringList());

    // With the test authority named, the same files as GNU Wget's.
    const QStringList trusting{QStringLiteral("--ca-certificate=") + temp.filePath(QStringLiteral("ca.pem"))};
    const MirrorRun ours = MirrorRun::of(kTool, options(server.url(), trusting), temp.filePath(QStringLiteral("ours")));
    const MirrorRun gnu = MirrorRun::of(QStringLiteral("/usr/bin/wget"), options(server.url(), trusting),
                                        temp.filePath(QStringLiteral("gnu")));
    QVERIFY2(ours.files.size() == 2, qPrintable(ours.log));
    QCOMPARE(ours.files, gnu.files);
    QCOMPARE(ours.links, gnu.links);
}

void TestMirrorFaults::cancel_data()
{
    QTest::addColumn<bool>("largePages");
    QTest::addColumn<bool>("logUnread");
    // Every answer takes 20 s: SIGTERM ends the transfers at once.
    QTest::newRow("answers that never come") << false << false;
    // Pages of many megabytes arrive at once and are parsed while the
    // transfers go on: SIGTERM ends the parses too.
    QTest::newRow("large pages being parsed") << true << false;
    // The window reads no log while a box of its own is open: the log's
    // pipe fills and the mirror waits to write. SIGTERM ends it all the same.
    QTest::newRow("a log nobody reads") << false << true;
}

void TestMirrorFaults::cancel()
{
    QFETCH(bool, largePages);
    QFETCH(bool, logUnread);
    QTemporaryDir temp;
    const QString root = temp.filePath(QStringLiteral("site"));
    QByteArray index = "x";
    if (logUnread) {
        index.clear();
        for (int page = 0; page < 1500; ++page) {
            QVERIFY(write(root + QStringLiteral("/p%1.html").arg(page), "p"));
            index += "<a href=\"p" + QByteArray::number(page) + ".html\">p</a>\n";
        }
    }
    if (largePages) {
        QByteArray large = "<html><body>\n";
        for (int i = 0; i < 300000; ++i)
            large += "<p><a href=\"#n" + QByteArray::number(i) + "\">" + QByteArray::number(i) + "</a></p>\n";
        index.clear();
        for (int page = 0; page < 3; ++page) {
            QVERIFY(write(root + QStringLiteral("/large%1.html").arg(page), large));
            index += "<a href=\"large" + QByteArray::number(page) + ".html\">l</a>\n";
        }
    }
    QVERIFY(write(root + QStringLiteral("/index.html"), index));
    std::unique_ptr<NginxServer> nginx;
    std::unique_ptr<FixtureServer> slow;
    QString address;
    if (largePages || logUnread) {
        nginx = std::make_unique<NginxServer>(root, temp.filePath(QStringLiteral("nginx")));
        QVERIFY2(nginx->isListening(), qPrintable(nginx->errorString()));
        address = nginx->url();
    } else {
        FixtureServer::Faults faults;
        faults.delaySeconds = 20;
        slow = std::make_unique<FixtureServer>(root, faults);
        QVERIFY2(slow->isListening(), qPrintable(slow->errorString()));
        address = slow->url();
    }
    const QString out = temp.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    QProcess process;
    process.setWorkingDirectory(out);
    // A pipe that is never read: its reading end is held open, and looked
    // at only to see that it is full.
    const QString fifo = temp.filePath(QStringLiteral("log"));
    QFile unread;
    if (logUnread) {
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QVERIFY(unread.open(::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC),
                            QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
        process.setStandardOutputFile(fifo);
    }
    process.start(kTool, options(address));
    QVERIFY(process.waitForStarted());
    int held = 0;
    if (logUnread) {
        QTRY_VERIFY_WITH_TIMEOUT(::ioctl(unread.handle(), FIONREAD, &held) == 0 && held > 60000, 20000);
        QTest::qWait(300);
        QVERIFY2(process.state() == QProcess::Running, "the mirror ended before it could be cancelled");
    } else if (largePages) {
        // The start page saved: the large ones come at once and are parsed.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(out + QStringLiteral("/%1/index.html").arg(nginx->hostFolder())), 10000);
        QTest::qWait(300);
        QVERIFY2(process.state() == QProcess::Running, "the mirror ended before it could be cancelled");
    } else {
        QTest::qWait(500);
    }
    QElapsedTimer timer;
    timer.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(5000));
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(leftovers(out), QStringList());
    if (slow)
        QVERIFY(!QFileInfo::exists(out + QStringLiteral("/%1/index.html").arg(slow->hostFolder())));
}

void TestMirrorFaults::diskFull()
{
    QTemporaryDir temp;
    const QString disk = temp.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    if (::mount("tmpfs", QFile::encodeName(disk).constData(), "tmpfs", 0, "size=64k") != 0)
        QSKIP("no tmpfs can be mounted here (needs root)");
    const QString root = temp.filePath(QStringLiteral("site"));
    QVERIFY(write(root + QStringLiteral("/index.html"), "<a href=\"big.bin\">b</a> <a href=\"c.html\">c</a>"));
    QVERIFY(write(root + QStringLiteral("/big.bin"), QByteArray(512 * 1024, 'x')));
    QVERIFY(write(root + QStringLiteral("/c.html"), "c"));
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    const MirrorRun run = MirrorRun::of(kTool, options(server.url()), disk);
    QVERIFY2(run.log.contains(QLatin1String("No space left on device")), qPrintable(run.log));
    QVERIFY(run.exitCode != 0);
    QVERIFY(!run.files.contains(server.hostFolder() + QStringLiteral("/big.bin")));
    QCOMPARE(leftovers(disk), QStringList());
    ::umount(QFile::encodeName(disk).constData());
}

QTEST_GUILESS_MAIN(TestMirrorFaults)
#include "test_mirror_faults.moc"
