// quorlix-wget's link conversion while the crawl goes on: the mirror it
// leaves is byte for byte the one of a conversion at the end alone, and its
// list of final files names every saved file, after the file's log line,
// once its bytes no longer change. The reading it hands on with a page it
// lists is the page reader's reading of the listed bytes.

#include "html/HandedReadings.h"
#include "support/NginxServer.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using quorlix::test::NginxServer;

using Site = QMap<QString, QByteArray>;
using Bytes = QMap<QString, QByteArray>;

namespace {

const QString kTool = QStringLiteral(QUORLIX_WGET_TOOL);

QByteArray page(const QByteArray &body)
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>t</title></head><body>\n" + body
           + "\n</body></html>\n";
}

bool writeSite(const QString &root, const Site &site)
{
    for (auto it = site.begin(); it != site.end(); ++it) {
        QDir().mkpath(QFileInfo(root + QLatin1Char('/') + it.key()).path());
        QFile file(root + QLatin1Char('/') + it.key());
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

// Every file below folder (the list's own file is kept outside it).
Bytes filesUnder(const QString &folder)
{
    Bytes files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path), bytesOf(path));
    }
    return files;
}

// Everything a page's reading holds, one line for each part.
QString described(const quorlix::html::Page &page)
{
    QStringList lines;
    const auto text = [](std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); };
    lines << QStringLiteral("charset %1 title %2 h1 %3 size %4 own %5 flags %6%7%8%9")
                 .arg(text(page.charset), text(page.title), text(page.firstHeading))
                 .arg(page.size)
                 .arg(page.ownAnchorLinks)
                 .arg(page.windows1252)
                 .arg(page.linksCut)
                 .arg(page.headingsCut)
                 .arg(page.outlineLeftOut);
    for (const auto &heading : page.headings)
        lines << QStringLiteral("heading %1 %2 #%3 nav %4")
                     .arg(heading.level)
                     .arg(text(heading.text()), text(heading.anchor()))
                     .arg(heading.navigation);
    for (const auto &link : page.links)
        lines << QStringLiteral("link %1 [%2] lead [%3] outer [%4] %5%6%7%8 list %9 depth %10")
                     .arg(text(link.href()), text(link.text()), text(link.lead()), text(link.outer()))
                     .arg(link.outerLinked)
                     .arg(link.leadLinked)
                     .arg(link.first)
                     .arg(link.navigation)
                     .arg(link.list)
                     .arg(link.depth);
    for (const auto &term : page.terms)
        lines << QStringLiteral("term %1 #%2 %3").arg(text(term.text), text(term.anchor)).arg(term.minorHeading);
    lines << QStringLiteral("text ") + text(page.text);
    return lines.join(QLatin1Char('\n'));
}

// A run read as it goes: the log, and each line of the list of final files
// with the listed file's bytes read as the line came, and the reading
// handed with it when there was one.
struct WatchedRun {
    QString log;
    QStringList listed;
    QMap<QString, QByteArray> bytesWhenListed; // at the last line naming it
    QMap<QString, QString> handedWhenListed;   // the handed reading's description, for pages with one
    QStringList listedBeforeLogged;
    int pagesListedDuringCrawl = 0;

    static WatchedRun of(const QStringList &arguments, const QString &folder, bool atEnd)
    {
        WatchedRun run;
        const QString list = folder + QStringLiteral(".list");
        QDir().mkpath(folder);
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUORLIX_FINAL_FILES"), list);
        const QString readings = folder + QStringLiteral(".readings");
        quorlix::html::HandedReadings handed(QFile::encodeName(readings).toStdString());
        environment.insert(QStringLiteral("QUORLIX_PAGE_READINGS"), readings);
        if (atEnd)
            environment.insert(QStringLiteral("QUORLIX_WGET_CONVERT_AT_END"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        // A file, not a pipe: what the tool wrote is there at once.
        process.setStandardOutputFile(folder + QStringLiteral(".log"));
        process.start(kTool, arguments);
        QFile listFile(list);
        QFile logFile(folder + QStringLiteral(".log"));
        QByteArray partial;
        auto readList = [&] {
            // The list first: a file's log line is written before its list
            // line, so it is in the log read after.
            if (listFile.isOpen() || listFile.open(QIODevice::ReadOnly))
                partial += listFile.readAll();
            if (logFile.isOpen() || logFile.open(QIODevice::ReadOnly))
                run.log += QString::fromUtf8(logFile.readAll());
            for (qsizetype end; (end = partial.indexOf('\n')) >= 0; partial.remove(0, end + 1)) {
                const QString name = QString::fromUtf8(partial.left(end));
                run.listed << name;
                run.bytesWhenListed[name] = bytesOf(folder + QLatin1Char('/') + name);
                run.handedWhenListed.remove(name);
                const QByteArray &bytes = run.bytesWhenListed[name];
                if (const auto page = handed.take(name.toStdString(), stampOf(folder + QLatin1Char('/') + name),
                                                  std::string_view(bytes.constData(), size_t(bytes.size()))))
                    run.handedWhenListed[name] = described(*page);
                if (!run.log.contains(QStringLiteral("-> \"%1\" [1]").arg(name)))
                    run.listedBeforeLogged << name;
                if (name.endsWith(QLatin1String(".html")) && !run.log.contains(QLatin1String("FINISHED --")))
                    ++run.pagesListedDuringCrawl;
            }
        };
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < 60000) {
            process.waitForFinished(2);
            readList();
        }
        process.waitForFinished();
        readList();
        return run;
    }

    static quorlix::html::FileStamp stampOf(const QString &path)
    {
        struct stat info;
        if (::stat(QFile::encodeName(path).constData(), &info) != 0)
            return {};
        return quorlix::html::fileStampOf(info);
    }

    QStringList saved() const
    {
        QStringList files;
        static const QRegularExpression line(QStringLiteral("-> \"([^\"]*)\" \\[1\\]"));
        for (auto it = line.globalMatch(log); it.hasNext();)
            files << it.next().captured(1);
        files.removeDuplicates();
        files.sort();
        return files;
    }
};

} // namespace

class TestMirrorConversion : public QObject {
    Q_OBJECT

private slots:
    void sameAsAtEnd_data();
    void sameAsAtEnd();
};

void TestMirrorConversion::sameAsAtEnd_data()
{
    QTest::addColumn<Site>("site");
    QTest::addColumn<QString>("serverLines");
    QTest::addColumn<bool>("convert");     // -k
    QTest::addColumn<int>("mostListings"); // of one file
    // Listed twice with -k: converted during the crawl to the names foreseen
    // for addresses still queued, then again at the end when one is wrong.
    QTest::addColumn<QStringList>("listedTwice");
    QTest::addColumn<int>("handedAtLeast"); // pages listed with their reading

    // A slow image deep in the site keeps the crawl going while the pages
    // before it are converted and listed.
    const QByteArray slow(64 * 1024, 'x');
    const QString slowly = QStringLiteral("location = /deep/slow.png { limit_rate 64k; }\n");
    const Site site{
        {"index.html", page("<a href=\"a.html\">a</a> <a href=\"b/\">b</a> <a href=\"old.html\">old</a>"
                            " <a href=\"gone.html\">gone</a> <a href=\"http://example.invalid/x\">x</a>"
                            " <a href=\"index.html#top\">top</a> <link rel=stylesheet href=\"s.css\">"
                            " <a href=\"p.html\">p</a>")},
        // Its links wait in the queue behind the slow image while it is
        // converted: each one's name is foreseen, and each one is wrong.
        {"p.html", page("<img src=\"deep/slow.png\"> <a href=\"missing.html\">404</a> <a href=\"hop.html\">hop</a>"
                        " <a href=\"target.html\">target</a> <a href=\"notes.txt\">-E</a> <a href=\"a.html\">a</a>")},
        {"target.html", page("<a href=\"p.html\">p</a>")},
        {"notes.txt", page("<a href=\"p.html\">p</a>")},
        {"a.html", page("<a href=\"index.html\">back</a> <a href=\"deep/later.html\">later</a>"
                        " <a href=\"b/index.html\">b</a> <img src=\"i.png\"> <a href=\"page\">p</a>")},
        {"b/index.html", page("<a href=\"../a.html\">a</a> <a href=\"../deep/\">deep</a>")},
        {"new.html", page("<a href=\"old.html\">self</a> <a href=\"c.html#n\">c</a>")},
        {"c.html", page("<a href=\"new.html\">new</a> <a href=\"deep/later.html\">later</a>")},
        {"deep/index.html", page("<img src=\"slow.png\"> <a href=\"later.html\">l</a>")},
        {"deep/later.html", page("<a href=\"../c.html\">c</a> <a href=\"../page.html\">p</a>")},
        {"deep/slow.png", slow},
        {"page", page("<a href=\"a.html\">a</a>")},
        {"page.html", page("<a href=\"c.html\">c</a>")},
        {"s.css", "@import \"t.css\";\nbody { background: url(i.png) }\n"},
        {"t.css", "p { background: url(deep/slow.png) }\n"},
        {"i.png", "png"},
    };
    const QString redirect = QStringLiteral("location = /old.html { return 301 /new.html; }\n"
                                            "location = /page { default_type text/html; }\n"
                                            "location = /notes.txt { types {} default_type text/html; }\n"
                                            "location = /hop.html { return 301 /target.html; }\n");
    const QStringList p{QStringLiteral("p.html")};
    QTest::newRow("links forward and back, a redirect, a 404, pages saved twice, files saved later")
        << site << slowly + redirect << true << 2 << p << 8;
    QTest::newRow("without -k: each file final once saved")
        << site << slowly + redirect << false << 1 << QStringList() << 0;
    // moved.html comes after a.html is saved and ends on it: the address of
    // a.html is saved as moved.html from then on (as GNU Wget does), so the
    // pages converted before that link to it are converted again at the end.
    Site moved = site;
    moved["deep/later.html"] = page("<a href=\"../moved.html\">m</a> <a href=\"../c.html\">c</a>");
    QTest::newRow("a redirect onto a page saved before")
        << moved << slowly + redirect + QStringLiteral("location = /moved.html { return 301 /a.html; }\n") << true << 2
        << p << 8;

    // What a contents or an index reads of a page changes with its links'
    // converted form: "#name" becomes "page.html#name", "/r/x.html#h" a
    // name in the same folder (a heading's sign pointing back at it then),
    // a name beyond ASCII a numeric reference; a page in another charset
    // is not read as it is. The reading handed on is still the page's.
    Site read = site;
    read["index.html"] += "<a href=\"r/index.html\">r</a>";
    read["r/index.html"] = page(
        "<ul><li><a href=\"#intro\">Intro</a><ul><li><a href=\"guide.html\">Guide</a></li>"
        "<li><a href=\"guide.html#setup\">Setup</a></li><li><a href=\"caf%C3%A9.html\">caf\xc3\xa9</a></li>"
        "<li><a href=\"http://example.invalid/ext#e\">ext</a></li><li><a href=\"rooted.html\">r</a>"
        " <a href=\"latin.html\">l</a></li></ul></li></ul>"
        "<table><tr><td><a href=\"api.html\">api</a></td><td><a href=\"#more\">more</a></td></tr></table>"
        "<h2 id=\"intro\">Intro<a class=\"x\" href=\"#intro\">\xc2\xb6</a></h2><h2 id=\"more\">More</h2>");
    read["r/guide.html"] = page(
        "<dl><dt id=\"f\">f()<a href=\"#f\">#</a></dt><dd>does</dd></dl>"
        "<h3 id=\"setup\">Setup<a href=\"\">x</a></h3><ul><li><a href=\"api.html#x&amp;y\">entity</a>"
        "</li><li><a href='api.html#q'>single</a></li><li><a href=\"\">self</a></li></ul>");
    read["r/api.html"] = page("<div><div><a href=\"guide.html\">g</a> one</div><div><a href=\"index.html#more\">i</a>"
                              " two</div><div><a href=\"#top\">t</a> three</div></div>");
    read["r/rooted.html"] = page("<h2 id=\"h\">Heading<a href=\"/r/rooted.html#h\">#</a></h2><ul><li><a "
                                 "href=\"/r/api.html#x\">x</a></li></ul>");
    read["r/caf\xc3\xa9.html"] = page("<ul><li><a href=\"index.html#intro\">back</a></li></ul>");
    read["r/latin.html"] = "<html><head><meta charset=\"iso-8859-1\"><title>caf\xe9</title></head><body><ul><li>"
                           "<a href=\"#x\">x</a></li></ul></body></html>";
    QTest::newRow("readings: lists, tables, grids, headings' signs, names beyond ASCII, another charset")
        << read << slowly + redirect << true << 2 << p << 14;

    // Pages past a megabyte have their links read from their tags, and their
    // readings made after the crawl took them, one after the other, while
    // they are converted. (A link to a page that fails would have them
    // converted again at the end, when the crawl is quick to convert them
    // first: read by the window then, not handed.)
    Site large = read;
    large["r/index.html"] += "<a href=\"all.html\">all</a> <a href=\"all2.html\">all</a>";
    QByteArray all = "<h1>All</h1>";
    for (int i = 0; all.size() < 1100 * 1000; ++i)
        all += "<dl><dt id=\"f" + QByteArray::number(i) + "\">f" + QByteArray::number(i) + "()<a href=\"#f"
               + QByteArray::number(i) + "\">\xc2\xb6</a></dt><dd>See <a href=\"guide.html#f\">the guide</a>, "
               + (i == 0 ? "<a href=\"extra0.html\">more</a>" : "") + ".</dd></dl>";
    large["r/all.html"] = page(all);
    large["r/all2.html"] = page(all + "<a href=\"all.html\">the first</a>");
    large["r/extra0.html"] = page("<a href=\"all.html#f0\">back</a>");
    QTest::newRow("pages past a megabyte") << large << slowly + redirect << true << 2 << p << 17;
    // Linking to pages that fail, they are converted during the crawl under
    // the names foreseen for them, and again at the end (read from their
    // tags then too); the window reads them itself.
    Site failing = large;
    failing["r/all2.html"] = page(all + "<a href=\"gone1.html\">x</a> <a href=\"gone2.html\">y</a>");
    QTest::newRow("pages past a megabyte, converted again at the end")
        << failing << slowly + redirect << true << 2 << p << 15;
}

void TestMirrorConversion::sameAsAtEnd()
{
    QFETCH(Site, site);
    QFETCH(QString, serverLines);
    QFETCH(bool, convert);
    QFETCH(int, mostListings);
    QFETCH(QStringList, listedTwice);
    QFETCH(int, handedAtLeast);
    QTemporaryDir temp;
    QVERIFY(writeSite(temp.filePath(QStringLiteral("site")), site));
    NginxServer server(temp.filePath(QStringLiteral("site")), temp.filePath(QStringLiteral("nginx")),
                       NginxServer::Setup{serverLines, {}, {}});
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    QStringList arguments{QStringLiteral("-r"),
                          QStringLiteral("-nv"),
                          QStringLiteral("-np"),
                          QStringLiteral("--restrict-file-names=windows"),
                          QStringLiteral("-E"),
                          QStringLiteral("-p"),
                          QStringLiteral("--timeout=5"),
                          QStringLiteral("--tries=1"),
                          server.url()};
    if (convert)
        arguments.prepend(QStringLiteral("-k"));

    const QString atEndFolder = temp.filePath(QStringLiteral("at-end"));
    const QString earlyFolder = temp.filePath(QStringLiteral("early"));
    const WatchedRun atEnd = WatchedRun::of(arguments, atEndFolder, true);
    const WatchedRun early = WatchedRun::of(arguments, earlyFolder, false);
    QVERIFY2(early.log.contains(QStringLiteral("gone.html")), qPrintable(early.log));
    // The slow image holds the crawl: pages before it are final meanwhile.
    QVERIFY2(early.pagesListedDuringCrawl > 0, qPrintable(early.listed.join(QLatin1Char(' '))));

    const Bytes expected = filesUnder(atEndFolder);
    const Bytes found = filesUnder(earlyFolder);
    QCOMPARE(found.keys(), expected.keys());
    for (auto it = expected.begin(); it != expected.end(); ++it)
        QVERIFY2(found.value(it.key()) == it.value(), qPrintable(it.key() + QStringLiteral(" differs")));

    for (const QString &name : listedTwice) {
        const QString file = server.url().section(QLatin1Char('/'), 2, 2).replace(QLatin1Char(':'), QLatin1Char('+'))
                             + QLatin1Char('/') + name;
        QVERIFY2(early.listed.count(file) == 2,
                 qPrintable(file + QStringLiteral(" in ") + early.listed.join(QLatin1Char(' '))));
    }
    for (const WatchedRun *run : {&atEnd, &early}) {
        const QString folder = run == &atEnd ? atEndFolder : earlyFolder;
        QStringList listed = run->listed;
        listed.removeDuplicates();
        listed.sort();
        QCOMPARE(listed, run->saved());
        QVERIFY2(run->listedBeforeLogged.isEmpty(),
                 qPrintable(run->listedBeforeLogged.join(QLatin1Char(' ')) + run->log));
        for (const QString &name : listed) {
            QVERIFY2(run->listed.count(name) <= mostListings, qPrintable(name + QStringLiteral(" listed again")));
            QVERIFY2(run->bytesWhenListed.value(name) == bytesOf(folder + QLatin1Char('/') + name),
                     qPrintable(name + QStringLiteral(" changed after it was listed")));
        }
        for (auto handed = run->handedWhenListed.cbegin(); handed != run->handedWhenListed.cend(); ++handed) {
            const QByteArray bytes = run->bytesWhenListed.value(handed.key());
            QCOMPARE(handed.value(),
                     described(quorlix::html::readPage(std::string_view(bytes.constData(), size_t(bytes.size())),
                                                       quorlix::html::PageParts::OutlineAndText)));
        }
        QVERIFY2(run->handedWhenListed.size() >= handedAtLeast,
                 qPrintable(QStringList(run->handedWhenListed.keys()).join(QLatin1Char(' '))));
    }
}

QTEST_GUILESS_MAIN(TestMirrorConversion)
#include "test_mirror_conversion.moc"
