// quorlix-wget against GNU Wget on the same served sites with the same
// options: the same files under the same names, and every converted link
// pointing where Wget's points.

#include "MirrorRun.h"
#include "support/NginxServer.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using quorlix::test::MirrorRun;
using quorlix::test::NginxServer;

using Site = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Site)

namespace {

const QStringList kOptions = {QStringLiteral("-r"), QStringLiteral("-nv"), QStringLiteral("-np"),
                              QStringLiteral("--restrict-file-names=windows"), QStringLiteral("-k"),
                              QStringLiteral("-E"), QStringLiteral("-p"), QStringLiteral("--timeout=5"),
                              QStringLiteral("--tries=1")};

QByteArray page(const QByteArray &body, const QByteArray &head = QByteArray())
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>t</title>" + head + "</head><body>\n" + body
           + "\n</body></html>\n";
}

bool writeSite(const QString &root, const Site &site)
{
    for (auto it = site.begin(); it != site.end(); ++it) {
        const QString path = root + QLatin1Char('/') + it.key();
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

// The link lists with quorlix-wget's numeric character references already
// decoded by the page reader; links inside scripts are not compared.
void compareRuns(const MirrorRun &ours, const MirrorRun &gnu)
{
    if (ours.files != gnu.files)
        qWarning().noquote() << "files\n ours:" << ours.files << "\n GNU: " << gnu.files;
    QCOMPARE(ours.files, gnu.files);
    for (auto it = gnu.links.begin(); it != gnu.links.end(); ++it) {
        if (ours.links.value(it.key()) != it.value()) {
            qWarning().noquote() << "links differ in" << it.key() << "\n ours:" << ours.links.value(it.key())
                                 << "\n GNU: " << it.value();
            QFAIL("a converted link points elsewhere than GNU Wget's");
        }
    }
    // Scripts read the exit status: a site without robots.txt is no failure.
    QCOMPARE(ours.exitCode, gnu.exitCode);
}

} // namespace

class TestMirrorReference : public QObject {
    Q_OBJECT

private slots:
    void sameAsGnuWget_data();
    void sameAsGnuWget();
    void servedFolders_data();
    void servedFolders();
    void requisitesFromAnotherHost();
    void standInPicksDownloader_data();
    void standInPicksDownloader();
};

void TestMirrorReference::sameAsGnuWget_data()
{
    QTest::addColumn<Site>("site");
    QTest::addColumn<QString>("serverLines");
    QTest::addColumn<QString>("start");     // quorlix-wget's start address
    QTest::addColumn<QString>("gnuStart");  // GNU Wget's (a folder's with its slash)
    QTest::addColumn<QStringList>("extra"); // further options for both

    const QString none;
    QTest::newRow("redirects, folder address without its slash")
        << Site{{"docs/index.html", page("<a href=\"sub\">s</a> <a href=\"old.html\">o</a> <a href=\"loop.html\">l</a>"
                                          " <a href=\"away.html\">a</a>")},
                {"docs/sub/index.html", page("<a href=\"../new.html\">n</a> <a href=\"x.html\">x</a>")},
                {"docs/sub/x.html", page("x")},
                {"docs/new.html", page("<a href=\"sub/\">s</a>")},
                {"other/page.html", page("outside")}}
        << QStringLiteral("location = /docs/old.html { return 301 /docs/new.html; }\n"
                          "location = /docs/loop.html { return 302 /docs/loop.html; }\n"
                          "location = /docs/away.html { return 301 /other/page.html; }")
        << QStringLiteral("docs") << QStringLiteral("docs/") << QStringList();
    QTest::newRow("404 and 500 answers")
        << Site{{"index.html", page("<a href=\"gone.html\">g</a> <a href=\"broken.html\">b</a> <img src=\"nope.png\">"
                                    " <a href=\"ok.html\">ok</a>")},
                {"ok.html", page("<a href=\"gone.html#top\">g</a>")}}
        << QStringLiteral("location = /broken.html { return 500; }") << QString() << QString() << QStringList();
    QTest::newRow("robots.txt obeyed, and ignored with -e robots=off")
        << Site{{"robots.txt", "User-agent: *\nDisallow: /private/\n"},
                {"index.html", page("<a href=\"private/a.html\">p</a> <a href=\"public/b.html\">b</a>")},
                {"private/a.html", page("p")},
                {"public/b.html", page("<a href=\"../private/c.html\">c</a>")},
                {"private/c.html", page("c")}}
        << none << QString() << QString() << QStringList();
    QTest::newRow("one request at a time with --wait and --random-wait")
        << Site{{"index.html", page("<a href=\"a.html\">a</a> <img src=\"i.png\">")},
                {"a.html", page("<a href=\"index.html\">i</a>")}, {"i.png", "i"}}
        << none << QString() << QString()
        << QStringList{QStringLiteral("-w"), QStringLiteral("0.05"), QStringLiteral("--random-wait")};
    QTest::newRow("robots.txt off")
        << Site{{"robots.txt", "User-agent: *\nDisallow: /\n"},
                {"index.html", page("<a href=\"a.html\">a</a>")},
                {"a.html", page("a")}}
        << none << QString() << QString() << QStringList{QStringLiteral("-e"), QStringLiteral("robots=off")};
    QTest::newRow("query strings")
        << Site{{"index.html", page("<a href=\"list?page=2&amp;sort=name\">l</a> <a href=\"a.html?x=1\">a</a>"
                                    " <a href=\"a.html?\">e</a> <a href=\"?q=%2Fslash\">q</a>",
                                    "<link rel=\"stylesheet\" href=\"/style.css?v=3\">")},
                {"list", page("<a href=\"list?page=3\">next</a>")},
                {"a.html", page("a")},
                {"style.css", "body { color: black }\n"}}
        << QStringLiteral("location = /list { default_type text/html; }") << QString() << QString() << QStringList();
    QTest::newRow("names beyond ASCII, spaces and escapes")
        << Site{{"index.html", page("<a href=\"caf\xc3\xa9.html\">c</a> <a href=\"na%C3%AFve/\xc3\xbc.html\">n</a>"
                                    " <a href=\"two words.html\">t</a> <a href=\"100%25.html\">p</a>"
                                    " <a href=\"semi;colon.html\">s</a> <a href=\"x%2Fy.html\">x</a>")},
                {"caf\xc3\xa9.html", page("<a href=\"index.html#\xc3\xa9t\xc3\xa9\">home</a>")},
                {"na\xc3\xafve/\xc3\xbc.html", page("<a href=\"../caf%C3%A9.html\">c</a>")},
                {"two words.html", page("t")},
                {"100%.html", page("p")},
                {"semi;colon.html", page("s")}}
        << none << QString() << QString() << QStringList();
    // Their UTF-8 holds bytes 0x80 to 0x9F ("П" is D0 9F, "シ" E3 82 B7).
    QTest::newRow("names in Cyrillic and Japanese")
        << Site{{"index.html", page("<a href=\"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.html\">ru</a>"
                                    " <a href=\"%E3%82%B7%E3%82%B9%E3%83%86%E3%83%A0/\">ja</a>")},
                {"\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.html", page("<a href=\"index.html\">home</a>")},
                {"\xe3\x82\xb7\xe3\x82\xb9\xe3\x83\x86\xe3\x83\xa0/index.html",
                 page("<img src=\"\xe5\x9b\xb3.png\"> <a "
                      "href=\"../\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82.html\">ru</a>")},
                {"\xe3\x82\xb7\xe3\x82\xb9\xe3\x83\x86\xe3\x83\xa0/\xe5\x9b\xb3.png", "png"}}
        << none << QString() << QString() << QStringList();
    QTest::newRow("style sheets: @import, url(), <style> and style=")
        << Site{{"index.html", page("<div style=\"background: url('img/a.png')\">d</div> <img srcset=\"img/b.png 1x, img/c.png 2x\" src=\"img/b.png\">",
                                    "<link rel=\"stylesheet\" href=\"css/main.css\"><style>@import url(css/extra.css);"
                                    " h1 { background: url(\"img/h.png\") }</style>")},
                {"css/main.css", "@import \"base.css\";\nbody { background: url(../img/bg.png) }\n/* url(no.png) */\n"},
                {"css/base.css", "p { background: url( 'fonts/../../img/p.png' ) }\n"},
                {"css/extra.css", "a { background: url(missing.png) }\n"},
                {"img/a.png", "a"}, {"img/b.png", "b"}, {"img/c.png", "c"}, {"img/h.png", "h"},
                {"img/bg.png", "bg"}, {"img/p.png", "p"}}
        << none << QString() << QString() << QStringList();
    QTest::newRow("page requisites above the start folder (-p)")
        << Site{{"docs/index.html", page("<img src=\"/shared/logo.png\"> <a href=\"../shared/page.html\">no</a>"
                                         " <a href=\"guide.html\">g</a>",
                                         "<link rel=\"stylesheet\" href=\"../shared/site.css\"><link rel=\"icon\" href=\"/favicon.ico\">")},
                {"docs/guide.html", page("<script src=\"../shared/app.js\"></script>")},
                {"shared/site.css", "body { background: url(bg.png) }\n"},
                {"shared/bg.png", "bg"}, {"shared/logo.png", "logo"}, {"shared/app.js", "1;"},
                {"shared/page.html", page("not mirrored")}, {"favicon.ico", "ico"}}
        << none << QStringLiteral("docs/") << QStringLiteral("docs/") << QStringList();
    Site deep;
    QString path;
    for (int level = 0; level < 9; ++level) {
        const QString next = path + QStringLiteral("d%1/").arg(level);
        deep.insert(path + QStringLiteral("index.html"),
                    page(QStringLiteral("<a href=\"d%1/\">down</a> <img src=\"i%1.png\"> <iframe src=\"f%1.html\"></iframe>")
                             .arg(level).toUtf8()));
        deep.insert(path + QStringLiteral("i%1.png").arg(level), "i");
        deep.insert(path + QStringLiteral("f%1.html").arg(level), page("<img src=\"fi.png\"> <a href=\"x.html\">x</a>"));
        deep.insert(path + QStringLiteral("fi.png"), "fi");
        deep.insert(path + QStringLiteral("x.html"), page("x"));
        path = next;
    }
    QTest::newRow("a tree deeper than 5 levels") << deep << none << QString() << QString() << QStringList();
    QTest::newRow("a tree with -l 2") << deep << none << QString() << QString() << QStringList{QStringLiteral("-l"), QStringLiteral("2")};
    QTest::newRow("link cycles and one file by several addresses")
        << Site{{"index.html", page("<a href=\"a.html\">a</a> <a href=\"./\">self</a> <a href=\"\">empty</a>"
                                    " <a href=\"sub/../b.html\">b</a> <a href=\"alias.html\">alias</a>"
                                    " <a href=\"HTTP://127.0.0.1:PORT/a.html#x\">abs</a> <a href=\"b.html?\">q</a>")},
                {"a.html", page("<a href=\"b.html\">b</a> <a href=\"index.html\">i</a>")},
                {"b.html", page("<a href=\"a.html\">a</a> <a href=\"./index.html\">i</a> <a href=\"mailto:x@y.z\">m</a>"
                                " <a href=\"javascript:void(0)\">j</a> <a href=\"x:y.html\">xy</a>")}}
        << QStringLiteral("location = /alias.html { return 301 /a.html; }") << QString() << QString() << QStringList();
    const QByteArray longName = QByteArray("long-").append(QByteArray(300, 'n'));
    QTest::newRow("names too long for the file system")
        << Site{{"index.html", page("<a href=\"" + longName + ".html\">l</a> <a href=\"" + longName + "/x.html\">d</a>"
                                    " <a href=\"q.html?" + longName + "\">q</a>")},
                {"q.html", page("q")}}
        << QStringLiteral("location ~ ^/long- { default_type text/html; return 200 '<a href=\"y.html\">y</a>'; }")
        << QString() << QString() << QStringList();
    QTest::newRow("malformed pages")
        << Site{{"index.html", "<html><body><a href=\"a.html\"><p><table><a href='b.html'>b<td><img src=c.png >"
                               "<a href=d.html>d</a><style>x{background:url(\"e.png</style><a href=\"f.html\">"},
                {"a.html", "<a href=index.html>i"}, {"b.html", "b"}, {"d.html", "d"}, {"f.html", "f"},
                {"c.png", "c"}, {"e.png", "e"}}
        << none << QString() << QString() << QStringList();
}

void TestMirrorReference::sameAsGnuWget()
{
    QFETCH(Site, site);
    QFETCH(QString, serverLines);
    QFETCH(QString, start);
    QFETCH(QString, gnuStart);
    QFETCH(QStringList, extra);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString root = temp.filePath(QStringLiteral("site"));
    QVERIFY(QDir().mkpath(root));
    NginxServer server(root, temp.filePath(QStringLiteral("nginx")), {serverLines, QString(), QString()});
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    // Pages may name the server's own address.
    Site served;
    for (auto it = site.begin(); it != site.end(); ++it)
        served.insert(it.key(), QByteArray(it.value()).replace("PORT", QByteArray::number(server.port())));
    QVERIFY(writeSite(root, served));

    const MirrorRun gnu = MirrorRun::of(QStringLiteral("/usr/bin/wget"), kOptions + extra + QStringList{server.url() + gnuStart},
                                        temp.filePath(QStringLiteral("gnu")));
    const MirrorRun ours = MirrorRun::of(QStringLiteral(QUORLIX_WGET_TOOL), kOptions + extra + QStringList{server.url() + start},
                                         temp.filePath(QStringLiteral("ours")));
    QVERIFY2(!gnu.files.isEmpty(), qPrintable(gnu.log));
    compareRuns(ours, gnu);
    // The start page is logged first: it becomes the help file's default topic.
    const auto firstLine = [](const QString &log) {
        const qsizetype at = log.indexOf(QLatin1String(" -> \""));
        return at < 0 ? QString() : log.mid(at, log.indexOf(QLatin1Char('\n'), at) - at);
    };
    QCOMPARE(firstLine(ours.log), firstLine(gnu.log));
    QVERIFY2(ours.log.contains(QLatin1String("\nFINISHED --")), qPrintable(ours.log));
    QVERIFY(ours.log.contains(QLatin1String("\nDownloaded: ")));
}

void TestMirrorReference::servedFolders_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("generatedFiles");
    QTest::newRow("fixture site") << QStringLiteral(QUORLIX_FIXTURE_SITE) << 0;
    QTest::newRow("generated site") << QString() << 400;
}

void TestMirrorReference::servedFolders()
{
    QFETCH(QString, folder);
    QFETCH(int, generatedFiles);
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    if (generatedFiles > 0) {
        folder = temp.filePath(QStringLiteral("site"));
        QCOMPARE(QProcess::execute(QStringLiteral("python3"), {QStringLiteral(QUORLIX_GENERATE_SITE), folder,
                                                               QStringLiteral("--files"),
                                                               QString::number(generatedFiles)}),
                 0);
    }
    NginxServer server(folder, temp.filePath(QStringLiteral("nginx")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    const MirrorRun gnu = MirrorRun::of(QStringLiteral("/usr/bin/wget"), kOptions + QStringList{server.url()},
                                        temp.filePath(QStringLiteral("gnu")));
    const MirrorRun ours = MirrorRun::of(QStringLiteral(QUORLIX_WGET_TOOL), kOptions + QStringList{server.url()},
                                         temp.filePath(QStringLiteral("ours")));
    QVERIFY(gnu.files.size() > 3);
    compareRuns(ours, gnu);
}

// Pages on 127.0.0.1 whose style sheet, images, font, script and icon come
// from localhost on another port, as from a CDN. quorlix-wget fetches them
// without -H and names them as GNU Wget does with -H; unlike GNU Wget with
// -H, it mirrors no page of that host.
void TestMirrorReference::requisitesFromAnotherHost()
{
    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    const QString pages = temp.filePath(QStringLiteral("pages"));
    const QString cdn = temp.filePath(QStringLiteral("cdn"));
    QVERIFY(QDir().mkpath(pages) && QDir().mkpath(cdn));
    NginxServer pageServer(pages, temp.filePath(QStringLiteral("nginx-pages")));
    NginxServer cdnServer(cdn, temp.filePath(QStringLiteral("nginx-cdn")));
    QVERIFY2(pageServer.isListening() && cdnServer.isListening(),
             qPrintable(pageServer.errorString() + cdnServer.errorString()));
    const QByteArray other = "http://localhost:" + QByteArray::number(cdnServer.port()) + "/";
    QVERIFY(writeSite(pages, {{"index.html", page("<img src=\"" + other + "logo.png\" srcset=\"" + other
                                                      + "logo2x.png 2x\">"
                                                        " <a href=\""
                                                      + other + "other.html\">o</a> <a href=\"guide.html\">g</a>",
                                                  "<link rel=\"stylesheet\" href=\"" + other
                                                      + "theme.css\">"
                                                        "<link rel=\"icon\" href=\""
                                                      + other
                                                      + "icon.ico\">"
                                                        "<script src=\""
                                                      + other + "js/app.js\"></script>")},
                              {"guide.html", page("<img src=\"" + other + "logo.png\"> <iframe src=\"" + other
                                                  + "frame.html\"></iframe>")}}));
    QVERIFY(writeSite(cdn, {{"theme.css", "@import \"more.css\";\nbody { background: url(img/bg.png) }\n"
                                          "@font-face { font-family: f; src: url(fonts/f.woff2) format(\"woff2\") }\n"},
                            {"more.css", "h1 { color: red }\n"},
                            {"img/bg.png", "bg"},
                            {"fonts/f.woff2", "font"},
                            {"logo.png", "logo"},
                            {"logo2x.png", "logo2x"},
                            {"icon.ico", "ico"},
                            {"js/app.js", "1;"},
                            {"other.html", page("<a href=\"deeper.html\">d</a>")},
                            {"deeper.html", page("d")},
                            {"frame.html", page("f")}}));

    const MirrorRun gnu = MirrorRun::of(QStringLiteral("/usr/bin/wget"),
                                        kOptions
                                            + QStringList{QStringLiteral("-H"), QStringLiteral("-D"),
                                                          QStringLiteral("127.0.0.1,localhost"), pageServer.url()},
                                        temp.filePath(QStringLiteral("gnu")));
    const MirrorRun ours = MirrorRun::of(QStringLiteral(QUORLIX_WGET_TOOL), kOptions + QStringList{pageServer.url()},
                                         temp.filePath(QStringLiteral("ours")));
    const QString cdnFolder = QStringLiteral("localhost+%1/").arg(cdnServer.port());
    // GNU Wget's, less the pages it crawled on that host (-H crawls it).
    QStringList requisites = gnu.files.filter(cdnFolder);
    requisites.removeIf([](const QString &name) { return name.endsWith(QLatin1String(".html")); });
    QVERIFY2(requisites.size() == 8, qPrintable(gnu.files.join(QLatin1Char('\n')) + gnu.log));
    QCOMPARE(ours.files.filter(cdnFolder), requisites);
    QCOMPARE(ours.files, gnu.files.filter(pageServer.hostFolder()) + requisites);
    for (const QString &name : requisites)
        QVERIFY2(ours.log.contains(QLatin1String("-> \"") + name + QLatin1String("\" [1]")), qPrintable(ours.log));
    // The links to them are converted as GNU Wget's are; the links to the
    // other host's pages (a link, a frame) stay the addresses they were.
    const auto withoutPages = [](QStringList links) {
        links.removeIf([](const QString &link) {
            return link.contains(QLatin1String("localhost")) && link.endsWith(QLatin1String(".html"));
        });
        return links;
    };
    for (const QString &file :
         gnu.links.keys().filter(pageServer.hostFolder()) + requisites.filter(QStringLiteral(".css")))
        QCOMPARE(withoutPages(ours.links.value(file)), withoutPages(gnu.links.value(file)));
    QVERIFY(ours.links.value(pageServer.hostFolder() + QStringLiteral("/index.html"))
                .contains(QString::fromUtf8(other) + QStringLiteral("other.html")));
    QVERIFY(ours.links.value(pageServer.hostFolder() + QStringLiteral("/guide.html"))
                .contains(QString::fromUtf8(other) + QStringLiteral("frame.html")));
    QCOMPARE(ours.exitCode, 0);
}

void TestMirrorReference::standInPicksDownloader_data()
{
    QTest::addColumn<QString>("choice");      // QUORLIX_WGET
    QTest::addColumn<QStringList>("after");   // typed after the address
    QTest::addColumn<bool>("saysGnu");
    QTest::newRow("quorlix-wget by default") << QString() << QStringList() << false;
    QTest::newRow("GNU Wget when picked") << QStringLiteral("wget") << QStringList() << false;
    QTest::newRow("GNU Wget for an option quorlix-wget does not take")
        << QString() << QStringList{QStringLiteral("--no-cookies")} << true;
}

void TestMirrorReference::standInPicksDownloader()
{
    QFETCH(QString, choice);
    QFETCH(QStringList, after);
    QFETCH(bool, saysGnu);
    QTemporaryDir temp;
    NginxServer server(QStringLiteral(QUORLIX_FIXTURE_SITE), temp.filePath(QStringLiteral("nginx")));
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    // The program's own command line, as the window runs it.
    const QString out = temp.filePath(QStringLiteral("out"));
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (choice.isEmpty())
        environment.remove(QStringLiteral("QUORLIX_WGET"));
    else
        environment.insert(QStringLiteral("QUORLIX_WGET"), choice);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(qEnvironmentVariable("QUORLIX_SOURCE_DIR") + QStringLiteral("/bin/wget"),
                  QStringList{QStringLiteral("-U"), QStringLiteral("Quorlix"), QStringLiteral("-r"), QStringLiteral("-nv"),
                              QStringLiteral("-np"), QStringLiteral("--random-wait"), QStringLiteral("-P"), out, server.url()}
                      + after);
    QVERIFY(process.waitForFinished(60000));
    const QString log = QString::fromUtf8(process.readAll());
    QCOMPARE(log.contains(QLatin1String("downloading with GNU Wget")), saysGnu);
    QVERIFY2(log.contains(QLatin1String("-> \"") + out + QLatin1Char('/') + server.hostFolder()
                          + QLatin1String("/index.html\"")),
             qPrintable(log));
    QVERIFY2(QFileInfo::exists(out + QLatin1Char('/') + server.hostFolder() + QStringLiteral("/docs/caf\u00e9.html")),
             qPrintable(log));
}

QTEST_GUILESS_MAIN(TestMirrorReference)
#include "test_mirror_reference.moc"
