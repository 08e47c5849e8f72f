// quorlix-wget's link conversion while the crawl goes on: the mirror it
// leaves is byte for byte the one of a conversion at the end alone, and its
// list of final files names every saved file, after the file's log line,
// once its bytes no longer change.

#include "support/NginxServer.h"

#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

// A run read as it goes: the log, and each line of the list of final files
// with the listed file's bytes read as the line came.
struct WatchedRun {
    QString log;
    QStringList listed;
    QMap<QString, QByteArray> bytesWhenListed; // at the last line naming it
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
        << site << slowly + redirect << true << 2 << p;
    QTest::newRow("without -k: each file final once saved") << site << slowly + redirect << false << 1 << QStringList();
    // moved.html comes after a.html is saved and ends on it: the address of
    // a.html is saved as moved.html from then on (as GNU Wget does), so the
    // pages converted before that link to it are converted again at the end.
    Site moved = site;
    moved["deep/later.html"] = page("<a href=\"../moved.html\">m</a> <a href=\"../c.html\">c</a>");
    QTest::newRow("a redirect onto a page saved before")
        << moved << slowly + redirect + QStringLiteral("location = /moved.html { return 301 /a.html; }\n") << true << 2
        << p;
}

void TestMirrorConversion::sameAsAtEnd()
{
    QFETCH(Site, site);
    QFETCH(QString, serverLines);
    QFETCH(bool, convert);
    QFETCH(int, mostListings);
    QFETCH(QStringList, listedTwice);
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
    }
}

QTEST_GUILESS_MAIN(TestMirrorConversion)
#include "test_mirror_conversion.moc"
