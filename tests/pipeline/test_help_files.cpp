// The files beside the help project: the contents and index files written
// from the pages read while the download runs, and the check of the
// compiled help file with the line that sums it up. The round trip goes
// through the real compiler (chmcmd) and chmlib.

#include "pipeline/CompiledFileCheck.h"
#include "pipeline/ContentsFile.h"
#include "pipeline/HelpProject.h"
#include "pipeline/IndexFile.h"
#include "pipeline/KeywordText.h"
#include "pipeline/PageOutlines.h"
#include "pipeline/Sitemap.h"
#include "pipeline/TopicNames.h"
#include "html/PageReader.h"
#include "chm/system/IndexKeywords.h"
#include "chm/system/PlainIndexKeywords.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <mutex>

#include <cstdio>

using namespace quorlix;
using namespace quorlix::pipeline;

namespace {

html::Page page(const char *title, const char *firstHeading = "",
                std::vector<html::Heading> headings = {})
{
    return html::Page{"", title, firstHeading, std::move(headings), ""};
}

// A sitemap read back as one line per entry: its parameter values joined by
// "|", indented two blanks per level of lists.
QString outlineOf(const QByteArray &bytes)
{
    static const QRegularExpression param(QStringLiteral("<param name=\"(Name|Local)\" value=\"([^\"]*)\">"));
    QStringList lines;
    int depth = -1;
    QString entry;
    for (const QByteArray &raw : bytes.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line == QLatin1String("<UL>"))
            ++depth;
        else if (line == QLatin1String("</UL>"))
            --depth;
        else if (line.startsWith(QLatin1String("<LI>")))
            entry = QString(2 * depth, QLatin1Char(' '));
        else if (const auto match = param.match(line); match.hasMatch())
            entry += (entry.endsWith(QLatin1Char(' ')) || entry.isEmpty() ? QString() : QStringLiteral("|"))
                   + match.captured(2);
        else if (line == QLatin1String("</OBJECT>") && !entry.isEmpty())
            lines << std::exchange(entry, QString());
    }
    return lines.join(QLatin1Char('\n'));
}

bool isAscii(const QByteArray &bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return c > 0 && c < 0x7F; });
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// As the downloader rewrites a saved page: a new file renamed over it, so a
// reader never sees it half written.
bool replaceFile(const QString &path, const QByteArray &bytes)
{
    return writeFile(path + ".new", bytes) && std::rename(qPrintable(path + ".new"), qPrintable(path)) == 0;
}

} // namespace

class TestHelpFiles : public QObject {
    Q_OBJECT
private slots:
    void contentsTree();
    void indexKeywords();
    void largeIndexInOrder();
    void indexAlikeBeforeAndAfterLinkConversion();
    void siteEndingLeftOff_data();
    void siteEndingLeftOff();
    void escapedValues_data();
    void escapedValues();
    void summaryLine_data();
    void summaryLine();
    void outlinesReadWhileAdded();
    void cancelledOutlinesStopAtOnce();
    void finalFilesReadAtTheEndByEveryCore();
    void roundTripThroughCompilerAndChmlib();
};

void TestHelpFiles::contentsTree()
{
    // In the order the log saved them: a start page, an image, a folder
    // whose index page comes after another page in it, a folder with pages
    // only in a folder below it, pages without a title.
    const QStringList files{"h/index.html",     "h/logo.png",           "h/guide/b.html",
                            "h/guide/index.htm", "h/guide/deep/c.html", "h/api/v1/x.html",
                            "h/style.css",      "h/d.html",             "h/guide/deep/index.html",
                            "h/e.html",         "top.html"};
    const SavedPages pages{{"h/index.html", page("Home & <Caf\u00e9>")},
                           {"h/guide/b.html", page("", "B heading")},
                           {"h/guide/index.htm", page("Guide")},
                           {"h/guide/deep/c.html", page("C \u2014 \U0001F600")},
                           {"h/api/v1/x.html", page("X")},
                           {"h/d.html", page("")},
                           {"h/guide/deep/index.html", page("")},
                           {"top.html", page("Top")}};
    const ContentsFile contents = MakeContentsFile(files, pages);
    QVERIFY(isAscii(contents.bytes));
    QCOMPARE(contents.topics, 9);
    QVERIFY(contents.bytes.contains("<OBJECT type=\"text/site properties\">"));
    QCOMPARE(outlineOf(contents.bytes), QStringLiteral("Home &amp; &lt;Caf&#233;&gt;|h/index.html\n"
                                                       "  Guide|h/guide/index.htm\n"
                                                       "    B heading|h/guide/b.html\n"
                                                       "    deep|h/guide/deep/index.html\n"
                                                       "      C &#8212; &#128512;|h/guide/deep/c.html\n"
                                                       "  v1\n"
                                                       "    X|h/api/v1/x.html\n"
                                                       "  d.html|h/d.html\n"
                                                       "  e.html|h/e.html\n"
                                                       "Top|top.html"));
}

void TestHelpFiles::indexKeywords()
{
    const QStringList files{"s/a.html", "s/b.html", "s/c.html", "s/unread.html", "s/img.png"};
    const SavedPages pages{
        {"s/a.html", page("Install", "Install", {{1, "Install", "install"}, {2, "usage", "use"}, {2, "No anchor", ""}})},
        {"s/b.html", page("B page", "", {{2, "Usage", "usage"}, {3, "install", "i2"}, {2, "Usage", "again"}})},
        {"s/c.html", page("", "", {{2, "Usage", "u"}, {3, "\u00c9t\u00e9", "ete"}})},
        {"s/img.png", page("not a page")}};
    const IndexFile index = MakeIndexFile(files, pages);
    QVERIFY(isAscii(index.bytes));
    QCOMPARE(index.keywords, 6);
    // One place per page under a keyword (the title's, before the heading
    // of the same name); several places are entries below it, named by
    // their pages.
    QCOMPARE(outlineOf(index.bytes), QStringLiteral("B page|s/b.html\n"
                                                    "&#201;t&#233;|s/c.html#ete\n"
                                                    "Install|s/a.html\n"
                                                    "install|s/b.html#i2\n"
                                                    "Usage|s/b.html#usage\n"
                                                    "  B page|s/b.html#usage\n"
                                                    "  c.html|s/c.html#u\n"
                                                    "usage|s/a.html#use"));

    // The help compiler reads the index the window writes without its HTML
    // parser, and as that parser would: names with markup characters,
    // quotes and letters beyond ASCII, entries nested below a keyword, must
    // not push it off that path.
    const SavedPages tricky{
        {"s/t.html", page("A & B <c> \"q\" it\u2019s \u00e9t\u00e9 \U0001F600", "", {{2, "x &amp; y", "h"}, {2, "Same", "s"}})},
        {"s/u.html", page("U", "", {{2, "Same", "s2"}, {3, "C++ & C#", "c"}})}};
    const std::string written = MakeIndexFile({"s/t.html", "s/u.html"}, tricky).bytes.toStdString();
    const auto plain = chm::readPlainIndexKeywords(written);
    QVERIFY(plain);
    const std::vector<chm::IndexKeyword> parsed = chm::parsedIndexKeywords(written);
    QCOMPARE(plain->size(), parsed.size());
    QVERIFY(std::any_of(parsed.begin(), parsed.end(), [](const auto &keyword) { return keyword.depth == 1; }));
    for (std::size_t i = 0; i < parsed.size(); ++i) {
        QCOMPARE((*plain)[i].text, parsed[i].text);
        QCOMPARE((*plain)[i].places, parsed[i].places);
    }
}

// A large index is sorted in two halves at once and merged: the merged
// order is the one order, numbers by value and letters folded, ties by case.
void TestHelpFiles::largeIndexInOrder()
{
    QStringList files;
    SavedPages pages;
    for (int p = 0; p < 30; ++p) {
        std::vector<html::Heading> headings;
        for (int h = 0; h < 1000; ++h) {
            const int n = (p * 1000 + h) * 7919 % 30000; // each once, out of order
            const std::string cases[] = {"Item ", "item ", "ITEM "};
            headings.emplace_back(2, cases[n % 3] + std::to_string(n / 3) + (n % 2 ? "a" : "B"),
                                  "h" + std::to_string(h));
        }
        files << QStringLiteral("s/p%1.html").arg(p);
        pages.insert(files.last(), page("", "", std::move(headings)));
    }
    QStringList keywords;
    for (const QString &line : outlineOf(MakeIndexFile(files, pages).bytes).split(QLatin1Char('\n')))
        if (!line.startsWith(QLatin1Char(' ')))
            keywords << line.section(QLatin1Char('|'), 0, 0);
    QCOMPARE(keywords.size(), 30000);
    for (qsizetype i = 1; i < keywords.size(); ++i) {
        const int order = NaturalCompareFolded(keywords[i - 1], keywords[i]);
        QVERIFY2(order < 0 || (order == 0 && keywords[i - 1] < keywords[i]),
                 qPrintable(keywords[i - 1] + QStringLiteral(" before ") + keywords[i]));
    }
}

// The window reads most pages as they were saved and the rest once the
// downloader has converted their links ("#x" becomes "p.html#x"): both give
// the same index. A reference page whose terms link a type elsewhere and
// themselves, and whose list links itself (href=""), is no index of the site.
void TestHelpFiles::indexAlikeBeforeAndAfterLinkConversion()
{
    std::string saved = "<title>P</title><ul><li><a href=\"\">P</a><ul><li><a href=\"\">P</a></ul></ul><dl>";
    for (int i = 0; i < 12; ++i) {
        const std::string id = "f" + std::to_string(i);
        saved += "<dt id=" + id + ">int " + id + "(<a href=\"t.html#T\">T</a>)<a href=\"#" + id + "\">link</a></dt>";
    }
    std::string converted = saved;
    for (std::size_t at = 0; (at = converted.find("href=\"", at)) != std::string::npos; at += 7)
        if (converted[at + 6] == '#' || converted[at + 6] == '"')
            converted.insert(at + 6, "p.html");
    const QStringList files{"s/p.html", "s/t.html"};
    const html::Page target = html::readPage("<title>T</title><h2 id=T>T</h2>");
    const QByteArray before = MakeIndexFile(files, {{"s/p.html", html::readPage(saved)}, {"s/t.html", target}}).bytes;
    const QByteArray after = MakeIndexFile(files, {{"s/p.html", html::readPage(converted)}, {"s/t.html", target}}).bytes;
    QCOMPARE(before, after);
    QVERIFY(!before.contains("int f1("));
}

void TestHelpFiles::siteEndingLeftOff_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("most share it")
        << QStringList{"A \u2014 Foo 2.1 docs", "B \u2014 Foo 2.1 docs", "C \u2014 x \u2014 Foo 2.1 docs", "Foo 2.1 docs",
                       "", "Other - page"}
        << QStringList{"A", "B", "C \u2014 x", "Foo 2.1 docs", "h5", "Other - page"};
    QTest::newRow("too few pages") << QStringList{"A | Site", "B | Site"} << QStringList{"A | Site", "B | Site"};
    QTest::newRow("only some share it") << QStringList{"A - S", "B - S", "C - S", "D", "E", "F", "G"}
                                        << QStringList{"A - S", "B - S", "C - S", "D", "E", "F", "G"};
    // Each page's first <h1> is "h" and its number.
    QTest::newRow("a title several pages have gives way to the heading")
        << QStringList{"Index - S", "Index - S", "Usage - S", "h4 - S"} << QStringList{"h1", "h2", "Usage", "h4"};
}

void TestHelpFiles::siteEndingLeftOff()
{
    QFETCH(QStringList, titles);
    QFETCH(QStringList, names);
    QStringList files;
    SavedPages pages;
    for (const QString &title : titles) {
        files << QStringLiteral("s/p%1.html").arg(files.size());
        pages.insert(files.last(), page(title.toUtf8().constData(), ("h" + QByteArray::number(files.size())).constData()));
    }
    const TopicNames topics(files, pages);
    QStringList got;
    for (const QString &file : files)
        got << topics.name(file);
    QCOMPARE(got, names);
}

void TestHelpFiles::escapedValues_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("markup") << "a<b>&\"c'" << QByteArray("a&lt;b&gt;&amp;&quot;c'");
    QTest::newRow("Latin-1, BMP and beyond") << "\u00e9\u4e2d\U0001F600" << QByteArray("&#233;&#20013;&#128512;");
    // Windows' viewer reads no named reference but the four markup ones.
    QTest::newRow("typographic signs by number")
        << "\u2014\u2013\u201cq\u201d\u2019\u2026\u20ac\u00bb" << QByteArray("&#8212;&#8211;&#8220;q&#8221;&#8217;&#8230;&#8364;&#187;");
    QTest::newRow("controls") << QString::fromUtf8("a\tb\nc\x01\x7f\u0085d") << QByteArray("a b cd");
    QTest::newRow("lone surrogate dropped") << QString(QChar(0xD800)) + "x" << QByteArray("x");
}

void TestHelpFiles::escapedValues()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, expected);
    QCOMPARE(SitemapEscaped(text), expected);
}

void TestHelpFiles::summaryLine_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<bool>("search");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<qint64>("milliseconds");
    QTest::addColumn<QString>("expected");
    QTest::newRow("large") << qsizetype(2104) << true << qint64(14890000) << qint64(12449)
                           << "Help file: /o/output.chm: 2,104 files, 2,104 topics, 2,104 index keywords, "
                              "full-text search, 14.2 MB, made in 12.4 s";
    QTest::newRow("one of each") << qsizetype(1) << false << qint64(900) << qint64(50)
                                 << "Help file: /o/output.chm: 1 file, 1 topic, 1 index keyword, "
                                    "no full-text search, 900 bytes, made in 0.1 s";
}

void TestHelpFiles::summaryLine()
{
    QFETCH(qsizetype, count);
    QFETCH(bool, search);
    QFETCH(qint64, size);
    QFETCH(qint64, milliseconds);
    QFETCH(QString, expected);
    QCOMPARE(HelpFileSummary({"/o/output.chm", count, count, count, search, size, milliseconds}), expected);
}

void TestHelpFiles::outlinesReadWhileAdded()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    QVERIFY(writeFile(folder + "/h/index.html", "<title>Home</title><h2 id=a>A</h2><ul><li><a href=/late>L</a></ul>"));
    QVERIFY(writeFile(folder + "/h/x.css", "h1{}"));
    QVERIFY(writeFile(folder + "/h/1252.htm", "<title>Caf\xe9</title>"));

    PageOutlines outlines;
    outlines.start(folder);
    for (const char *name : {"/h/index.html", "/h/x.css", "/h/1252.htm", "/h/index.html", "/h/late.html"})
        outlines.add(folder + name);
    // Saved after its log line came (the downloader rewrote it): read at the end.
    QTest::qWait(50);
    QVERIFY(writeFile(folder + "/h/late.html", "<h1>Late</h1>"));
    // Written anew once read, its links converted by the downloader at its end: read again.
    QVERIFY(replaceFile(folder + "/h/index.html", "<title>Home</title><h2 id=a>A</h2><ul><li><a href=late.html>L</a></ul>"));
    // Rewritten, its links already leading to saved pages: not read again,
    // but its size is the rewritten file's (it decides a large page's headings).
    QVERIFY(replaceFile(folder + "/h/1252.htm", "<title>Caf\xe9</title><!-- longer now -->"));
    const SavedPages pages = outlines.finish();
    QCOMPARE(pages.value("h/1252.htm").size, std::size_t(38));
    QCOMPARE(pages.size(), 3);
    QCOMPARE(pages.value("h/index.html").title, std::string("Home"));
    QCOMPARE(pages.value("h/index.html").links.at(0).href(), std::string_view("late.html"));
    QCOMPARE(pages.value("h/index.html").headings.at(0).anchor(), std::string_view("a"));
    QCOMPARE(pages.value("h/1252.htm").title, std::string("Caf\u00e9"));
    QCOMPARE(pages.value("h/late.html").firstHeading, std::string("Late"));

    // Started again, nothing of the last run is left.
    outlines.start(folder);
    QVERIFY(outlines.finish().isEmpty());
}

void TestHelpFiles::cancelledOutlinesStopAtOnce()
{
    QTemporaryDir dir;
    QByteArray big = "<title>Big</title>";
    for (int i = 0; i < 60000; ++i)
        big += "<div><h2 id=h" + QByteArray::number(i) + ">Heading</h2><p>Text <b>bold</b></p></div>";
    QStringList names;
    for (int i = 0; i < 4; ++i) {
        names << dir.path() + "/big" + QString::number(i) + ".html";
        QVERIFY(writeFile(names.last(), big));
    }

    PageOutlines outlines;
    outlines.start(dir.path());
    for (const QString &name : names)
        outlines.add(name);
    QTest::qWait(30); // the first page is being parsed
    QElapsedTimer timer;
    timer.start();
    outlines.cancel();
    qInfo("cancelled in %lld ms with %d pages of %lld MB queued", static_cast<long long>(timer.elapsed()),
          int(names.size()), static_cast<long long>(big.size() >> 20));
    QVERIFY(outlines.finish().isEmpty());

    // Waiting at the end lets the window's events run, and a Cancel there
    // ends the wait.
    outlines.start(dir.path());
    for (const QString &name : names)
        outlines.add(name);
    int calls = 0;
    QVERIFY(outlines.finish([&] {
                        if (++calls == 3)
                            outlines.cancel();
                    }).isEmpty());
    QCOMPARE(calls, 3);

    // A whole read takes far longer than the cancel did.
    outlines.start(dir.path());
    outlines.add(names.first());
    QElapsedTimer whole;
    whole.start();
    QCOMPARE(outlines.finish().value("big0.html").headings.size(), std::size_t(60000));
    qInfo("a %lld MB page read whole in %lld ms", static_cast<long long>(big.size() >> 20),
          static_cast<long long>(whole.elapsed()));
}

// Files the downloader lists as final go to the sink once for every listing;
// what is left at the end is shared among threads, and a file listed again
// after it changed ends with its newer reading, in the pages and the sink.
void TestHelpFiles::finalFilesReadAtTheEndByEveryCore()
{
    QTemporaryDir dir;
    const QString folder = dir.path();
    std::mutex lock;
    QHash<QString, QList<QByteArray>> sunk;
    PageOutlines outlines;
    outlines.start(folder, [&](const QString &relative, std::string_view bytes, const html::Page *page,
                               const html::FileStamp &) {
        std::lock_guard guard(lock);
        sunk[relative] << QByteArray(bytes.data(), qsizetype(bytes.size())) + (page ? "|" + QByteArray::fromStdString(page->title) : "");
    });
    outlines.awaitFinalFiles();
    for (int i = 0; i < 60; ++i) {
        const QString name = folder + QStringLiteral("/s/p%1.html").arg(i);
        QVERIFY(writeFile(name, "<title>P" + QByteArray::number(i) + "</title><p>" + QByteArray(2000, 'x')));
        outlines.add(name);
        if (i % 2 == 0)
            outlines.addFinal(name); // listed; the others only named by the log
    }
    QVERIFY(writeFile(folder + "/s/a.css", "p{}"));
    outlines.addFinal(folder + "/s/a.css");
    QVERIFY(replaceFile(folder + "/s/p0.html", "<title>Newer</title>"));
    outlines.addFinal(folder + "/s/p0.html");
    const SavedPages pages = outlines.finish();

    QCOMPARE(pages.size(), 60);
    QCOMPARE(pages.value("s/p0.html").title, std::string("Newer"));
    QCOMPARE(pages.value("s/p59.html").title, std::string("P59"));
    QCOMPARE(sunk.size(), 31); // the listed pages and the sheet, never the unlisted
    QCOMPARE(sunk.value("s/p0.html").size(), 2);
    QCOMPARE(sunk.value("s/p0.html").last(), QByteArray("<title>Newer</title>|Newer"));
    QCOMPARE(sunk.value("s/p2.html").size(), 1);
    QCOMPARE(sunk.value("s/a.css"), QList<QByteArray>{"p{}"});
}

void TestHelpFiles::roundTripThroughCompilerAndChmlib()
{
    if (QStandardPaths::findExecutable(QStringLiteral("chmcmd")).isEmpty())
        QSKIP("chmcmd is not installed");
    QTemporaryDir dir;
    const QString folder = dir.path();
    const QList<QPair<QString, QByteArray>> site{
        {"127.0.0.1+8000/index.html", "<meta charset=utf-8><title>Caf\xc3\xa9 &amp; Co</title><h1 id=top>Top</h1>"},
        {"127.0.0.1+8000/caf\u00e9.html", "<title>Men\xfc</title><section id=s><h2>Usage</h2></section>"},
        {"127.0.0.1+8000/docs/index.html", "<h1>Docs</h1><h2 id=usage>Usage</h2>"},
        {"127.0.0.1+8000/docs/style.css@v=1", "body{}"}};
    PageOutlines outlines;
    outlines.start(folder);
    QStringList files;
    for (const auto &[name, bytes] : site) {
        QVERIFY(writeFile(folder + '/' + name, bytes));
        outlines.add(folder + '/' + name);
        files << name;
    }
    const SavedPages pages = outlines.finish();
    const ContentsFile contents = MakeContentsFile(files, pages);
    const IndexFile index = MakeIndexFile(files, pages);
    QCOMPARE(contents.topics, 3);
    QCOMPARE(index.keywords, 4); // two titles, "Top", "Usage" (twice)
    QVERIFY(writeFile(folder + '/' + kContentsFileName, contents.bytes));
    QVERIFY(writeFile(folder + '/' + kIndexFileName, index.bytes));
    const QString chm = folder + '/' + kCompiledFileName;
    QVERIFY(writeFile(folder + '/' + kProjectFileName, HelpProjectBytes(chm, files)));

    QProcess compiler;
    compiler.setWorkingDirectory(folder);
    compiler.start(QStringLiteral("chmcmd"), {QStringLiteral("--no-html-scan"), QString::fromLatin1(kProjectFileName)});
    QVERIFY(compiler.waitForFinished(60000));
    QVERIFY2(QFileInfo::exists(chm), compiler.readAll().constData());

    const CompiledFileReport report = CheckCompiledFile(chm, files, files.first());
    QVERIFY(report.opened);
    QCOMPARE(report.missing, QStringList());
    QVERIFY(!report.defaultTopicMissing);
    QVERIFY(report.hasSearch);
    QCOMPARE(report.size, QFileInfo(chm).size());

    const CompiledFileReport missing = CheckCompiledFile(chm, {files.first(), "gone.html", "b\u00e9.html"}, "x.html");
    QCOMPARE(missing.missing, QStringList({"gone.html", "b\u00e9.html"}));
    QVERIFY(missing.defaultTopicMissing);

    const CompiledFileReport notHelp = CheckCompiledFile(folder + '/' + kProjectFileName, files, files.first());
    QVERIFY(!notHelp.opened);
    QVERIFY(!CheckCompiledFile(folder + "/none.chm", files, files.first()).opened);
}

QTEST_GUILESS_MAIN(TestHelpFiles)
#include "test_help_files.moc"
