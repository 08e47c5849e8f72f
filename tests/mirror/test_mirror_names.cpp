// Addresses, the names they are saved under, links rewritten to those names,
// and robots.txt: the cases a served site rarely shows (RFC 3986's resolution
// examples, bytes Windows forbids, quoting in a rewritten link, odd blanks).

#include "mirror/HtmlLinkScanner.h"
#include "mirror/LinkConversion.h"
#include "mirror/LinkSearch.h"
#include "mirror/LocalName.h"
#include "mirror/ReadingHandover.h"
#include "mirror/RobotsRules.h"
#include "mirror/Url.h"

#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

using namespace quorlix::mirror;

class TestMirrorNames : public QObject {
    Q_OBJECT

private slots:
    void resolvesAndNames_data();
    void resolvesAndNames();
    void foreseesNames_data();
    void foreseesNames();
    void rewritesLinks_data();
    void rewritesLinks();
    void readsRobotsRules_data();
    void readsRobotsRules();
    void scansLinksAsParsed_data();
    void scansLinksAsParsed();
    void scansGeneratorsPagesAsParsed();
    void readsLargePagesBesideTheScan_data();
    void readsLargePagesBesideTheScan();
};

namespace {

// What the crawl and the conversion take from a link.
QStringList described(const PageLinks &found)
{
    QStringList out;
    for (const PageLink &link : found.links)
        out << QStringLiteral("%1 @%2+%3 %4%5%6%7%8%9%10")
                   .arg(QString::fromStdString(link.text))
                   .arg(link.offset)
                   .arg(link.length)
                   .arg(link.form == PageLink::Form::Plain ? 'p' : 'a')
                   .arg(link.isInline ? 'i' : '-')
                   .arg(link.expectsHtml ? 'h' : '-')
                   .arg(link.expectsCss ? 'c' : '-')
                   .arg(link.inCss ? 's' : '-')
                   .arg(link.followed ? 'f' : '-')
                   .arg(link.isBase ? 'b' : '-');
    if (found.noFollow)
        out << QStringLiteral("nofollow");
    return out;
}

} // namespace

void TestMirrorNames::resolvesAndNames_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("address"); // empty: no http(s) address
    QTest::addColumn<QString>("saved");

    const QString host = QStringLiteral("http://a.test:81/");
    // Against http://a.test:81/b/c/d;p?q, as in RFC 3986's examples.
    QTest::newRow("sibling") << "g" << host + "b/c/g" << "a.test+81/b/c/g";
    QTest::newRow("folder") << "g/" << host + "b/c/g/" << "a.test+81/b/c/g/index.html";
    QTest::newRow("root") << "/g" << host + "g" << "a.test+81/g";
    QTest::newRow("other host") << "//g.test/x" << "http://g.test/x" << "g.test/x";
    QTest::newRow("query only") << "?y" << host + "b/c/d;p?y" << "a.test+81/b/c/d;p@y";
    QTest::newRow("fragment only") << "#s" << host + "b/c/d;p?q" << "a.test+81/b/c/d;p@q";
    QTest::newRow("parent") << "../g" << host + "b/g" << "a.test+81/b/g";
    QTest::newRow("above the root") << "../../../g" << host + "g" << "a.test+81/g";
    QTest::newRow("dot segments") << "./g/." << host + "b/c/g/" << "a.test+81/b/c/g/index.html";
    QTest::newRow("same scheme, no slashes") << "http:g" << host + "b/c/g" << "a.test+81/b/c/g";
    QTest::newRow("upper-case scheme and host") << "HTTP://A.TEST:81/X" << host + "X" << "a.test+81/X";
    QTest::newRow("default port dropped") << "https://a.test:443/" << "https://a.test/" << "a.test/index.html";
    QTest::newRow("blanks around, tab inside") << "  g\th  " << host + "b/c/gh" << "a.test+81/b/c/gh";
    QTest::newRow("space and non-ASCII escaped") << "a b\xc3\xa9" << host + "b/c/a%20b%C3%A9" << "a.test+81/b/c/a b\xc3\xa9";
    QTest::newRow("Windows' forbidden bytes") << "a%3Ab%2Fc%2a%22%7C" << host + "b/c/a%3Ab%2Fc%2a%22%7C"
                                                 << "a.test+81/b/c/a%3Ab%2Fc%2A%22%7C";
    QTest::newRow("'..' as an escaped name") << "%2E%2E/x" << host + "b/c/%2E%2E/x" << "a.test+81/b/c/%2E%2E/x";
    QTest::newRow("a lone percent") << "100%" << host + "b/c/100%25" << "a.test+81/b/c/100%";
    QTest::newRow("control byte in the query") << "x?a%01b" << host + "b/c/x?a%01b" << "a.test+81/b/c/x@a%01b";
    QTest::newRow("mail") << "mailto:a@b.test" << QString() << QString();
    QTest::newRow("script") << "javascript:go()" << QString() << QString();
    QTest::newRow("bad port") << "http://a.test:99999/" << QString() << QString();
    QTest::newRow("no host") << "http:///x" << QString() << QString();
}

void TestMirrorNames::resolvesAndNames()
{
    QFETCH(QString, link);
    QFETCH(QString, address);
    QFETCH(QString, saved);
    const Url base = *Url::parse("http://a.test:81/b/c/d;p?q");
    const auto url = Url::resolve(base, link.toStdString());
    if (address.isEmpty()) {
        QVERIFY(!url);
        return;
    }
    QVERIFY(url);
    QCOMPARE(QString::fromStdString(url->text()), address);
    QCOMPARE(QString::fromStdString(localName(*url)), saved);
}

// A page converted during the crawl links an address still queued under
// the name foreseen for it: with -E, only where an answer of the type its
// ending suggests keeps that name.
void TestMirrorNames::foreseesNames_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("kind");        // ContentKind its ending suggests
    QTest::addColumn<QString>("foreseen"); // with -E; empty: none

    QTest::newRow("page") << "http://a.test/x/p.html" << int(ContentKind::Html) << "a.test/x/p.html";
    QTest::newRow("page, upper case, short ending")
        << "http://a.test/P.HTM" << int(ContentKind::Html) << "a.test/P.HTM";
    QTest::newRow("folder") << "http://a.test/x/" << int(ContentKind::Html) << "a.test/x/index.html";
    QTest::newRow("sheet") << "http://a.test/s.css" << int(ContentKind::Css) << "a.test/s.css";
    QTest::newRow("image") << "http://a.test/i.PNG" << int(ContentKind::Other) << "a.test/i.PNG";
    QTest::newRow("text") << "http://a.test/_sources/a.rst.txt" << int(ContentKind::Other)
                          << "a.test/_sources/a.rst.txt";
    QTest::newRow("no ending") << "http://a.test/page" << int(ContentKind::Html) << "";
    QTest::newRow("script's page") << "http://a.test/list.php" << int(ContentKind::Html) << "";
    QTest::newRow("sheet with a query") << "http://a.test/s.css?v=1" << int(ContentKind::Css) << "";
    QTest::newRow("page with a query") << "http://a.test/p.html?a=1" << int(ContentKind::Html) << "";
}

void TestMirrorNames::foreseesNames()
{
    QFETCH(QString, address);
    QFETCH(int, kind);
    QFETCH(QString, foreseen);
    const Url url = *Url::parse(address.toStdString());
    QCOMPARE(QString::fromStdString(foreseenName(url, false).value()), QString::fromStdString(localName(url)));
    const std::optional<std::string> name = foreseenName(url, true);
    QCOMPARE(QString::fromStdString(name.value_or("")), foreseen);
    if (name)
        QCOMPARE(withAdjustedExtension(localName(url), static_cast<ContentKind>(kind)), *name);
}

void TestMirrorNames::rewritesLinks_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QByteArray>("converted");
    QTest::newRow("saved: relative, quoted as a name")
        << QByteArray("<a href=\"../x/q?a=1&amp;b=2#f\">") << QByteArray("<a href=\"../x/q@a=1&amp;b=2.html#f\">");
    QTest::newRow("unquoted attribute gets quotes")
        << QByteArray("<img src=../x/p.png>") << QByteArray("<img src=\"../x/p%25%3B.png\">");
    QTest::newRow("names beyond ASCII as references")
        << QByteArray("<a href='caf%C3%A9.html'>") << QByteArray("<a href='caf&#233;&#32;1.html'>");
    QTest::newRow("not saved: absolute")
        << QByteArray("<a href=\"gone.html\">") << QByteArray("<a href=\"http://h.test/d/gone.html\">");
    QTest::newRow("absolute already: untouched")
        << QByteArray("<a href=\"http://o.test/y\">") << QByteArray("<a href=\"http://o.test/y\">");
    QTest::newRow("style sheet in a page: not HTML-quoted")
        << QByteArray("<style>a{b:url(caf%C3%A9.html)}</style>") << QByteArray("<style>a{b:url(caf\xc3\xa9 1.html)}</style>");
    QTest::newRow("attribute without a value: left as written")
        << QByteArray("<a href>x</a><a href = >y</a>") << QByteArray("<a href>x</a><a href = >y</a>");
    QTest::newRow("base is emptied")
        << QByteArray("<base href=\"/x/\"><img src=\"p.png\">") << QByteArray("<base href=\"\"><img src=\"../x/p%25%3B.png\">");
}

void TestMirrorNames::rewritesLinks()
{
    QFETCH(QByteArray, page);
    QFETCH(QByteArray, converted);
    const Url address = *Url::parse("http://h.test/d/page.html");
    const std::map<std::string, std::string> saved{
        {"http://h.test/x/q?a=1&b=2", "h.test/x/q@a=1&b=2.html"},
        {"http://h.test/x/p.png", "h.test/x/p%;.png"},
        {"http://h.test/d/caf%C3%A9.html", "h.test/d/caf\xc3\xa9 1.html"}};
    const std::string out = convertLinks(page.toStdString(), false, address, "h.test/d/page.html",
                                         [&](const std::string &url) -> const std::string * {
                                             const auto found = saved.find(url);
                                             return found == saved.end() ? nullptr : &found->second;
                                         });
    QCOMPARE(QByteArray::fromStdString(out), converted);
}

void TestMirrorNames::readsRobotsRules_data()
{
    QTest::addColumn<QByteArray>("robots");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("allowed");
    // Wget's blanks here include the vertical tab, unlike a page's.
    QTest::newRow("vertical tabs around field and path")
        << QByteArray("User-agent: *\n\vDisallow:\v/a\v\n") << QByteArray("a/x") << false;
    QTest::newRow("tabs, form feed, CR LF")
        << QByteArray("User-agent:\t*\f\r\nDisallow:\t/b \r\n") << QByteArray("b") << false;
    QTest::newRow("field and agent in upper case: wget's record wins")
        << QByteArray("USER-AGENT: WGET\nDISALLOW: /w\nUser-agent: *\nDisallow: /\n") << QByteArray("x") << true;
}

void TestMirrorNames::readsRobotsRules()
{
    QFETCH(QByteArray, robots);
    QFETCH(QByteArray, path);
    QFETCH(bool, allowed);
    QCOMPARE(RobotsRules::parse(robots.toStdString()).allows(path.toStdString()), allowed);
}

void TestMirrorNames::scansLinksAsParsed_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("scanned"); // false: the page is left to the parse
    const auto row = [](const char *name, const QByteArray &page, bool scanned = true) {
        QTest::newRow(name) << page << scanned;
    };
    row("comments", "<a href=\"a.html\"><!-- <a href=\"no.html\"> --><a href=b.html><!--> <a href=c.html> <!---> "
                    "<a href=d.html><!-- x --!><a href=e.html>");
    row("raw text",
        "<script>var s = \"<a href='no.html'>\";</script ><a href=f.html><title><a href=no.html></title>"
        "<textarea><img src=no.png></textarea><xmp><a href=no></xmp><iframe src=fr.html><a href=no>"
        "</iframe><a href=h.html><script><!-- document.write('</scr'+'ipt>') //--></script><a href=g.html>");
    row("style sheets", "<style>@import \"s.css\"; body { background: url(bg.png) }</style>"
                        "<div style=\"background:url('d.png')\"><link rel=\"stylesheet\" href=\"s2.css\">"
                        "<link rel=icon href=i.ico><link rel=next href=n.html>"
                        "<p style=\"background:url(s1.png)\" STYLE=\"background:url(s2.png)\">");
    row("attributes written every way", "<A HREF=\"Up.HTML\" HREF=\"dup.html\"><a href = 'sp ace.html' >"
                                        "<a/href=\"slash.html\"><a href=unq.html?x=1&y=2><a href>x<a href=>y"
                                        "<a href=\"\n a\tb.html \n\"></p class=\">\"><a href=et.html>");
    row("character references", "<a href=\"q?a=1&amp;b=2&#38;c=3&#x26;d&nbsp;e\"><a href=\"x?m=1&lang=en\">");
    row("every kind of address", "<base href=\"http://example.com/d/\"><img src=a.png srcset=\"a2.png 2x, a3.png 3x\">"
                                 "<picture><source srcset=\"w.webp 1x\"></picture><form action=/s><input type=image "
                                 "src=go.png></form><table background=t.png><tr><td background=td.png>"
                                 "<meta http-equiv=Refresh content=\"0; URL=next.html\">"
                                 "<meta name=ROBOTS content=NOFOLLOW><form action=f1><form action=f2></form>");
    row("SVG, doctypes, a lone '<'", "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0//EN\" \"x.dtd\"><?xml x?><p>3 < 4"
                                     "<svg><title/><a href=\"svg.html\"></a><style>a{}</style></svg><a href=s2.html>");
    row("raw text ends only at its own end tag",
        "<SCRIPT>x = '</scripts><a href=no.html>'</SCRIPT\t><a href=s1.html><style>p{}</styles>"
        "<a href=no.html></STYLE/><a href=s2.html><a title=\"a>b\" href=\"q.html\">");
    row("a style sheet to the page's end", "<a href=s0.html><style>@import url(last.css); <a href=no.html>");
    row("the page ends inside a tag", "<a href=z.html><a href=\"y.html\"");
    row("the page ends inside a value", "<a href=ok.html><a href=\"oops>...");
    row("plain text to the end", "<a href=p1.html><plaintext><a href=no.html>");
    // What only the parse reads right.
    row("a reference the scanner does not know", "<a href=\"&hellip;\">", false);
    row("a reference without its semicolon", "<a href=\"x&copy\">", false);
    row("a reference to NUL", "<a href=\"&#0;\">", false);
    row("a script hiding its end in a comment", "<script><!--<script>x</script>--></script><a href=ds.html>", false);
    row("CDATA", "<svg><![CDATA[ > <a href=x.html> ]]></svg>", false);
    row("an image tag", "<image src=x.png>", false);
    row("a second body", "<body background=b.png><p>x<body background=b2.png>", false);
    row("an image in a list box", "<select><img src=s.png></select>", false);
    row("an address not in UTF-8", "<a href=\"caf\xe9.html\">", false);
}

// Where the scanner reads a page, it finds the links the parse finds, in its
// order: the crawl follows them and the conversion rewrites them.
void TestMirrorNames::scansLinksAsParsed()
{
    QFETCH(QByteArray, page);
    QFETCH(bool, scanned);
    const std::string text = page.toStdString();
    const std::optional<PageLinks> found = scanHtmlLinks(text);
    QCOMPARE(found.has_value(), scanned);
    if (found)
        QCOMPARE(described(*found), described(findHtmlLinks(text)));
}

void TestMirrorNames::scansGeneratorsPagesAsParsed()
{
    int pages = 0;
    for (QDirIterator it(QStringLiteral(QUORLIX_FIXTURES), {QStringLiteral("*.html"), QStringLiteral("*.htm")},
                         QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const std::string page = file.readAll().toStdString();
        const std::optional<PageLinks> found = scanHtmlLinks(page);
        QVERIFY2(found, qPrintable(file.fileName()));
        QCOMPARE(described(*found), described(findHtmlLinks(page)));
        ++pages;
    }
    QVERIFY(pages > 100);
}

// A page past a megabyte is parsed for the window beside the scan of its
// tags, or after it: the crawl gets the parse's links where the tags cannot
// be read, the reading is handed on either way.
void TestMirrorNames::readsLargePagesBesideTheScan_data()
{
    QTest::addColumn<QByteArray>("end");
    QTest::addColumn<bool>("beside");
    QTest::addColumn<bool>("scanned");
    for (const bool beside : {true, false}) {
        const char *when = beside ? ", beside the scan" : ", after it";
        QTest::addRow("tags read%s", when) << QByteArray() << beside << true;
        QTest::addRow("tags left to the parse%s", when)
            << QByteArray("<svg><![CDATA[ x ]]></svg><a href=\"last.html\">l</a>") << beside << false;
    }
}

void TestMirrorNames::readsLargePagesBesideTheScan()
{
    QFETCH(QByteArray, end);
    QFETCH(bool, beside);
    QFETCH(bool, scanned);
    QByteArray page = "<html><head><title>All</title></head><body>";
    for (int i = 0; page.size() < 1100 * 1000; ++i)
        page += "<h2 id=\"f" + QByteArray::number(i) + "\">f" + QByteArray::number(i) + "</h2><p>See <a href=\"p"
                + QByteArray::number(i % 7) + ".html#x\">p</a>.</p>";
    page += end + "</body></html>";
    const std::string text = page.toStdString();
    QCOMPARE(scanHtmlLinks(text).has_value(), scanned);
    QTemporaryDir temp;
    const QString file = temp.filePath(QStringLiteral("all.html"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly) && out.write(page) == page.size());
    out.close();

    ReadingHandover handover(QFile::encodeName(temp.filePath(QStringLiteral("readings"))).toStdString());
    LinkSearch search;
    search.path = QFile::encodeName(file).toStdString();
    search.handover = &handover;
    search.readingAt = std::make_shared<HandedReadingAt>();
    std::thread reader;
    if (beside)
        search.findLinks([&] { reader = std::thread([&] { search.readPage(); }); });
    else
        search.run();
    QCOMPARE(described(search.found), described(findHtmlLinks(text)));
    QVERIFY(search.readingAt->wait().has_value());
    QCOMPARE(reader.joinable(), beside);
    if (reader.joinable())
        reader.join();
}

QTEST_GUILESS_MAIN(TestMirrorNames)
#include "test_mirror_names.moc"
