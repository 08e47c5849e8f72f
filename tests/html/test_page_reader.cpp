// Reading downloaded pages: the charset they declare (or do not), their
// title and first heading, the headings a link can reach, and their text.

#include "html/Charset.h"
#include "html/FileBytes.h"
#include "html/HugePieceSupply.h"
#include "html/PageParse.h"
#include "html/PageReader.h"
#include "html/PageRecord.h"
#include "html/ParsedDocument.h"

#include <gumbo.h>

#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <algorithm>
#include <map>
#include <atomic>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

using namespace quorlix::html;

namespace {
QByteArray bytesOf(const char *text)
{
    return QByteArray(text);
}

std::string_view view(const QByteArray &bytes)
{
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// "2 Usage #usage" for each heading, then "dt term #anchor" for each
// anchored term, one a line.
QString outline(const Page &page)
{
    QStringList lines;
    for (const Heading &heading : page.headings)
        lines << QStringLiteral("%1 %2 #%3")
                     .arg(heading.level)
                     .arg(QString::fromStdString(std::string(heading.text())),
                          QString::fromStdString(std::string(heading.anchor())));
    for (const Term &term : page.terms)
        lines
            << QStringLiteral("dt %1 #%2").arg(QString::fromStdString(term.text), QString::fromStdString(term.anchor));
    return lines.join(QLatin1Char('\n'));
}
} // namespace

class TestPageReader : public QObject {
    Q_OBJECT
private slots:
    void charsetAndTitle_data();
    void charsetAndTitle();
    void headingAnchors_data();
    void headingAnchors();
    void visibleText();
    void textsOfEverySize_data();
    void textsOfEverySize();
    void pageNames_data();
    void pageNames();
    void stopsMidwayThroughABigPage();
    void deeplyNestedPage();
    void pageTooCostlyToReadIsGivenUp();
    void pagesPastTheBounds_data();
    void pagesPastTheBounds();
    void piecesHoldEveryElement_data();
    void piecesHoldEveryElement();
    void linkKeepsItsTexts_data();
    void linkKeepsItsTexts();
    void listsOfLinks_data();
    void listsOfLinks();
    void readingFinishedAfterConversion_data();
    void readingFinishedAfterConversion();
    void damagedRecordsGiveNothing_data();
    void damagedRecordsGiveNothing();
    void startsAgainWithHugePages_data();
    void startsAgainWithHugePages();
    void readsAllThatIsLeft_data();
    void readsAllThatIsLeft();
    void utf8CheckedWhereverItStands_data();
    void utf8CheckedWhereverItStands();
    void piecesSuppliedAhead_data();
    void piecesSuppliedAhead();
};

void TestPageReader::charsetAndTitle_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("firstHeading");

    QTest::newRow("meta charset, references and white space")
        << bytesOf("<!doctype html><meta charset=\"UTF-8\"><title>\n  Caf\xc3\xa9 &amp;\tCr&egrave;me &#x2014; &#8364;5 "
                   "</title><h1>A <em>first</em>\nheading</h1><h1>second</h1>")
        << "utf-8" << "Caf\u00e9 & Cr\u00e8me \u2014 \u20ac5" << "A first heading";
    QTest::newRow("http-equiv windows-1252")
        << bytesOf("<html><head><META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=windows-1252'>"
                   "<title>Caf\xe9 \x80 \x93quoted\x94</title></head></html>")
        << "windows-1252" << "Caf\u00e9 \u20ac \u201cquoted\u201d" << "";
    QTest::newRow("latin-1 label reads as windows-1252")
        << bytesOf("<meta http-equiv=content-type content=\"text/html;charset=ISO-8859-1\"><title>\x93\xe9\x94</title>")
        << "iso-8859-1" << "\u201c\u00e9\u201d" << "";
    QTest::newRow("none declared, valid UTF-8")
        << bytesOf("<title>na\xc3\xafve \xe2\x80\x94 \xf0\x9f\x98\x80</title>") << "" << "na\u00efve \u2014 \U0001F600" << "";
    QTest::newRow("none declared, not UTF-8: windows-1252")
        << bytesOf("<title>Stra\xdf" "e \x85</title><h1>\xc4rger</h1>") << "" << "Stra\u00dfe \u2026" << "\u00c4rger";
    QTest::newRow("UTF-8 declared but not UTF-8") << bytesOf("<meta charset=utf-8><title>Caf\xe9</title>") << "utf-8"
                                                  << "Caf\u00e9" << "";
    QTest::newRow("other charset through iconv")
        << bytesOf("<meta charset=koi8-r><title>\xf0\xd2\xc9\xd7\xc5\xd4</title>") << "koi8-r"
        << "\u041f\u0440\u0438\u0432\u0435\u0442" << "";
    QTest::newRow("unknown charset: as if none") << bytesOf("<meta charset=x-nonsense><title>\xc3\xa9</title>")
                                                 << "x-nonsense" << "\u00e9" << "";
    QTest::newRow("byte order mark wins")
        << bytesOf("\xef\xbb\xbf<meta charset=windows-1252><title>\xc3\xa9</title>") << "windows-1252" << "\u00e9" << "";
    QTest::newRow("meta in a comment or an attribute does not count")
        << bytesOf("<!-- <meta charset=koi8-r> --><div title='<meta charset=koi8-r>'></div>"
                   "<meta charset=utf-8><title>x</title>")
        << "utf-8" << "x" << "";
    QTest::newRow("out-of-range reference") << bytesOf("<title>a&#x2CCCCCCCCCCCCCCCC01bd;b</title>") << ""
                                            << "a\ufffdb" << "";
    QTest::newRow("XML declaration only")
        << bytesOf("<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?>\n<html><title>\xa4 \xe9</title></html>")
        << "iso-8859-15" << "\u20ac \u00e9" << "";
    QTest::newRow("no title, no heading") << bytesOf("<p>just text</p>") << "" << "" << "";
    QTest::newRow("an inline picture's title is not the page's")
        << bytesOf("<body><svg><title>icon</title></svg><title>Page</title><h1></h1><h1>Real</h1>") << "" << "Page"
        << "Real";
    QTest::newRow("empty input") << QByteArray() << "" << "" << "";
}

void TestPageReader::charsetAndTitle()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, charset);
    QFETCH(QString, title);
    QFETCH(QString, firstHeading);
    const Page page = readPage(view(bytes));
    QCOMPARE(QString::fromStdString(page.charset), charset);
    QCOMPARE(QString::fromStdString(page.title), title);
    QCOMPARE(QString::fromStdString(page.firstHeading), firstHeading);
}

void TestPageReader::headingAnchors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("own id; h5 a term for the index alone, empty headings left out")
        << bytesOf("<h1 id=top>Top</h1><h5 id=deep>Deep</h5><h2 id=e></h2><h4 id=x>Four</h4><h6>No anchor</h6>")
        << "1 Top #top\n4 Four #x\ndt Deep #deep";
    QTest::newRow("section and its permalink sign (Sphinx)")
        << bytesOf("<section id=\"usage\">\n<span id=\"label\"></span><h2>Usage<a class=\"headerlink\" href=\"#usage\">"
                   "\xc2\xb6</a></h2><p>text</p></section>")
        << "2 Usage #usage";
    QTest::newRow("other generators' permalink signs")
        << bytesOf("<h2 id=a><a class=\"doc-anchor\" href=\"#a\">\xc2\xa7</a>Examples</h2>"
                   "<h2 id=b>Setup<a class=\"hash-link\" href=\"#b\">\xe2\x80\x8b</a></h2>"
                   "<h2 id=c><a class=\"header-anchor\" href=\"#c\">#</a> Notes</h2>")
        << "2 Examples #a\n2 Setup #b\n2 Notes #c";
    QTest::newRow("div that does not begin with the heading")
        << bytesOf("<div id=d><p>before</p><h2>Late</h2></div>") << "2 Late #";
    QTest::newRow("section after its navigation line (makeinfo)")
        << bytesOf("<div id=Intro><div class=header><p>Next: <a href=#N>N</a></p></div>"
                   "<span id=Intro-1></span><h2>Intro</h2></div>")
        << "2 Intro #Intro";
    QTest::newRow("anchor inside (Doxygen) and id inside (MediaWiki)")
        << bytesOf("<h2 class=groupheader><a name=\"pub-methods\"></a>Public Member Functions</h2>"
                   "<h3><span class=mw-headline id=\"See_also\">See also</span></h3>")
        << "2 Public Member Functions #pub-methods\n3 See also #See_also";
    QTest::newRow("empty anchor right before (Javadoc)")
        << bytesOf("<p>x</p><a name=\"summary\"><!-- --></a>\n<h3>Summary</h3>") << "3 Summary #summary";
    QTest::newRow("anchor with text before is not the heading's")
        << bytesOf("<a name=\"n\">note</a><h3>Other</h3>") << "3 Other #";
    QTest::newRow("no id anywhere") << bytesOf("<body><h2>Plain <br>two lines</h2>") << "2 Plain two lines #";
    QTest::newRow("a link back to the heading it ends (Node.js), before and after link conversion")
        << bytesOf("<h2>File system<span><a class=\"mark\" href=\"#file-system\" id=\"file-system\">#</a></span>"
                   "<a aria-hidden=\"true\" class=\"legacy\" id=\"fs_file_system\"></a></h2>"
                   "<h4><code>fs.readFile(path)</code><span><a href=\"fs.html#fs_readfile\" id=\"fs_readfile\">#</a>"
                   "</span></h4><section id=s><h3>Usage <a href=\"#s\">link</a></h3></section>"
                   "<dl><dt id=f1>int f1()<a href=\"#f1\">\xc2\xa7</a></dt></dl>")
        << "2 File system #file-system\n4 fs.readFile(path) #fs_readfile\n3 Usage #s\ndt int f1() #f1";
    QTest::newRow("names that end in a sign, or in a link elsewhere, keep it")
        << bytesOf("<h2 id=c>C#</h2><h2 id=f>F<a href=\"#other\">#</a></h2>"
                   "<h2 id=x>Map<a href=\"../other/p.html#x\">#</a></h2><h2 id=t><a href=\"#t\">Title</a></h2>")
        << "2 C# #c\n2 F# #f\n2 Map# #x\n2 Title #t";
    QTest::newRow("button and no-break spaces (rustdoc)")
        << bytesOf("<h1>Struct <span>Vec</span>&nbsp;<button id=\"copy-path\">Copy item path</button></h1>")
        << "1 Struct Vec #copy-path";
}

void TestPageReader::headingAnchors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(outline(readPage(view(bytes))), expected);
}

// The parser's blocks are cut from shared pieces and reused by size once
// freed; texts on either side of the line between small and large blocks,
// in a page that uses many pieces, must come back whole and unmixed.
void TestPageReader::textsOfEverySize_data()
{
    QTest::addColumn<int>("length");
    for (const int length : {1, 15, 16, 17, 1007, 1024, 1025, 5000, 100000})
        QTest::addRow("%d characters", length) << length;
}

void TestPageReader::textsOfEverySize()
{
    QFETCH(int, length);
    const auto text = [length](int seed) {
        std::string made;
        for (int i = 0; made.size() < static_cast<std::size_t>(length); ++i)
            made += static_cast<char>('a' + (seed + i) % 26);
        return made.substr(0, static_cast<std::size_t>(length));
    };
    const int headings = std::max(2, 400000 / (2 * length + 40));
    std::string bytes = "<title>" + text(0) + "</title>";
    for (int i = 0; i < headings; ++i)
        bytes += "<h2 id=\"" + text(i) + "\" class=\"c" + std::to_string(i) + "\">" + text(i + 1) + "</h2><p>x</p>";
    const Page page = readPage(bytes, PageParts::OutlineAndText);
    QCOMPARE(page.title, text(0));
    QCOMPARE(page.headings.size(), static_cast<std::size_t>(headings));
    for (int i = 0; i < headings; ++i) {
        QCOMPARE(page.headings[i].text(), std::string_view(text(i + 1)));
        QCOMPARE(page.headings[i].anchor(), std::string_view(text(i)));
    }
}

void TestPageReader::visibleText()
{
    const QByteArray bytes("<title>T</title><style>p{}</style><script>var x='<p>';</script>"
                           "<p>One<b>Two</b></p><div>Three</div><noscript>no</noscript>\n<p>&lt;four&gt;</p>");
    QCOMPARE(readPage(view(bytes), PageParts::OutlineAndText).text, std::string("OneTwo Three <four>"));
    QCOMPARE(readPage(view(bytes)).text, std::string());
}

void TestPageReader::pageNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("page");
    for (const char *name : {"index.html", "a/b/Caf\u00e9.HTM", "x.xhtml", "ssi.shtml", "page.php", "page.php@id=3",
                             "list.asp?x=1", "v1.2/notes.htm"})
        QTest::newRow(name) << name << true;
    for (const char *name : {"style.css", "style.css@v=2", "app.js", "logo@2x.png", "README", "html", ".html",
                             "folder.html/", "data.json"})
        QTest::newRow(name) << name << false;
}

void TestPageReader::pageNames()
{
    QFETCH(QString, name);
    QFETCH(bool, page);
    QCOMPARE(isPageName(name.toStdString()), page);
}

void TestPageReader::stopsMidwayThroughABigPage()
{
    std::string big = "<title>Big</title>";
    for (int i = 0; i < 200000; ++i)
        big += "<div class=row><h2 id=h" + std::to_string(i) + ">Heading</h2><p>Some <b>text</b></p></div>";
    std::atomic<bool> stop{true};
    QVERIFY(!readPage(big, PageParts::Outline, stop));

    stop = false;
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        stop = true;
    });
    QElapsedTimer timer;
    timer.start();
    const std::optional<Page> page = readPage(big, PageParts::OutlineAndText, stop);
    stopper.join();
    QVERIFY(!page);
    qInfo("a %zu MB page given up %lld ms after the start", big.size() >> 20, static_cast<long long>(timer.elapsed()));

    std::atomic<bool> never{false};
    const std::optional<Page> whole = readPage(std::string_view(big).substr(0, 4000), PageParts::Outline, never);
    QVERIFY(whole);
    QCOMPARE(whole->title, std::string("Big"));
}

void TestPageReader::deeplyNestedPage()
{
    // Deeper than a thread's stack would allow a recursive walk or teardown.
    std::string deep;
    for (int i = 0; i < 5000; ++i)
        deep += "<span><h2 id=x>";
    deep += "text";
    const Page page = readPage(deep, PageParts::OutlineAndText);
    QCOMPARE(page.headings.size(), std::size_t(1));
    QCOMPARE(page.text, std::string("text"));
}

void TestPageReader::pageTooCostlyToReadIsGivenUp()
{
    // Gumbo's time grows with the square of the depth: this 1 MB page would
    // take it minutes.
    std::string deep = "<title>Deep</title>";
    for (int i = 0; i < 200000; ++i)
        deep += "<div>";
    deep += "<h1 id=end>End</h1>";
    QElapsedTimer timer;
    timer.start();
    const Page page = readPage(deep);
    qInfo("given up after %lld ms", static_cast<long long>(timer.elapsed()));
    QVERIFY(page.headings.empty() && page.outlineLeftOut);
    QCOMPARE(page.title, std::string("Deep"));
}

namespace {
// Pages no documentation tool writes, made to cost a reader what they can.
std::string hostilePage(const QString &kind)
{
    std::string page = "<title>Hostile</title>";
    if (kind == "nested tables") // gumbo's tree takes 50 times the page
        while (page.size() < (2u << 20))
            page += "<table><tr><td>";
    if (kind == "too large") // past the size any page is parsed whole at
        while (page.size() <= ParsedDocument::kLargestWholePage)
            page += "<h2 id=s>Section</h2><p>Words of <b>text</b> in a paragraph.</p>\n";
    if (kind == "many links")
        for (std::size_t i = 0; i < kMostLinks + 5000; ++i)
            page += "<li><a href='p.html#a" + std::to_string(i) + "'>" + std::to_string(i) + "</a></li>";
    if (kind == "a long text above many links") { // each link repeats it: gigabytes if kept whole
        std::string text;
        while (text.size() < (1u << 20))
            text += "word ";
        page += "<ul><li>" + text + "<ul>";
        for (int i = 0; i < 10000; ++i)
            page += "<li><a href='p.html#a" + std::to_string(i) + "'>x</a></li>";
        page += "</ul></li><li>" + text;
        for (int i = 0; i < 10000; ++i)
            page += " <a href='q.html#a" + std::to_string(i) + "'>" + text.substr(0, 600) + "</a>";
        page += "</li></ul>";
    }
    if (kind == "as many links as kept")
        for (std::size_t i = 0; i < kMostLinks; ++i)
            page += "<li><a href='p.html#a" + std::to_string(i) + "'>" + std::to_string(i) + "</a></li>";
    return page + "<p>Omega</p>";
}
} // namespace

void TestPageReader::pagesPastTheBounds_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("outlineLeftOut");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<int>("links");
    QTest::newRow("nested tables: given up on") << "nested tables" << true << false << 0;
    QTest::newRow("too large: title and words only") << "too large" << true << false << 0;
    QTest::newRow("many links: the first kept") << "many links" << false << true << int(kMostLinks);
    QTest::newRow("as many links as kept: whole") << "as many links as kept" << false << false << int(kMostLinks);
    QTest::newRow("a long text above many links: cut short in each")
        << "a long text above many links" << false << false << 20000;
}

// Such a page still gives its title, and its words to the search, but
// never more than the bounds: a page too large or too costly gives no
// outline, and a page of many links keeps the first ones and says so.
void TestPageReader::pagesPastTheBounds()
{
    QFETCH(QString, kind);
    QFETCH(bool, outlineLeftOut);
    QFETCH(bool, cut);
    QFETCH(int, links);
    const std::string bytes = hostilePage(kind);
    const Page page = readPage(bytes, PageParts::OutlineAndText);
    QCOMPARE(page.title, std::string("Hostile"));
    QCOMPARE(page.outlineLeftOut, outlineLeftOut);
    QCOMPARE(page.linksCut, cut);
    QCOMPARE(page.links.size(), std::size_t(links));
    for (const Link &link : page.links)
        QVERIFY(link.text().size() <= 512 && link.lead().size() <= 512 && link.outer().size() <= 512);
    QVERIFY(page.text.ends_with("Omega"));
    if (outlineLeftOut)
        QVERIFY(page.headings.empty() && page.terms.empty());
    const std::optional<Page> outline = readPage(bytes, PageParts::Outline, std::atomic<bool>{false});
    QVERIFY(outline && outline->title == page.title && outline->text.empty());
}

void TestPageReader::piecesHoldEveryElement_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("whole");
    QTest::newRow("small: whole") << 4000 << true;
    QTest::newRow("large: whole, its tree past the first megabytes") << 3000000 << true;
    QTest::newRow("too large: in pieces") << int(ParsedDocument::kLargestWholePage) + 1 << false;
}

// Cut before tags, the pieces hold each element of the page once.
void TestPageReader::piecesHoldEveryElement()
{
    QFETCH(int, size);
    QFETCH(bool, whole);
    std::string bytes;
    int written = 0;
    for (; bytes.size() < std::size_t(size); ++written)
        bytes += "<a href=x>" + std::string(written % 97, 'w') + "</a> <!-- x --> caf\u00e9 ";
    int seen = 0;
    const PageParse parse = parsePage(bytes, nullptr, [&seen](const GumboNode *root, bool) {
        std::vector<const GumboNode *> pending{root};
        while (!pending.empty()) {
            const GumboNode *node = pending.back();
            pending.pop_back();
            if (node->type != GUMBO_NODE_ELEMENT)
                continue;
            seen += node->v.element.tag == GUMBO_TAG_A;
            for (unsigned int i = 0; i < node->v.element.children.length; ++i)
                pending.push_back(static_cast<const GumboNode *>(node->v.element.children.data[i]));
        }
        return true;
    });
    QCOMPARE(parse, whole ? PageParse::Whole : PageParse::Pieces);
    QCOMPARE(seen, written);
    std::atomic<bool> stop{true};
    QCOMPARE(parsePage(bytes, &stop, [](const GumboNode *, bool) { return true; }), PageParse::Stopped);
}

void TestPageReader::linkKeepsItsTexts_data()
{
    QTest::addColumn<QStringList>("parts"); // href, text, lead, outer
    QTest::newRow("all four") << QStringList{"a.html#x", "Name", "name() : ", "Outer"};
    QTest::newRow("none") << QStringList{"", "", "", ""};
    QTest::newRow("only the last") << QStringList{"", "", "", "Outer"};
    QTest::newRow("only the first") << QStringList{"b.html", "", "", ""};
    QTest::newRow("gaps") << QStringList{"", "Text", "", "Outer"};
    QTest::newRow("UTF-8 and a long text") << QStringList{"caf\u00e9.html", QString(300, 'x'), "\u00e9", ""};
}

// The four texts share one buffer: each comes back whole, with none of its
// neighbours, also from a copy, after a copy over another link, and after a move.
void TestPageReader::linkKeepsItsTexts()
{
    QFETCH(QStringList, parts);
    std::vector<std::string> texts;
    for (const QString &part : parts)
        texts.push_back(part.toStdString());
    const auto check = [&](const Link &link) {
        QCOMPARE(std::string(link.href()), texts[0]);
        QCOMPARE(std::string(link.text()), texts[1]);
        QCOMPARE(std::string(link.lead()), texts[2]);
        QCOMPARE(std::string(link.outer()), texts[3]);
    };
    Link link(texts[0], texts[1], texts[2], texts[3]);
    link.list = 2;
    check(link);
    const Link copy = link;
    check(copy);
    QCOMPARE(copy.list, 2);
    Link assigned("other.html", "Other", "", "");
    assigned = link;
    check(assigned);
    Link moved = std::move(link);
    check(moved);
    check(copy);
    // What was moved from reads as empty, never into memory it gave away;
    // one assigned again holds its new texts.
    QVERIFY(link.href().empty() && link.text().empty() && link.lead().empty() && link.outer().empty());
    link = std::move(moved);
    check(link);
    QVERIFY(moved.outer().empty());
}

void TestPageReader::listsOfLinks_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<QString>("links"); // "href depth outer" ("nav" in navigation) each, joined by " | "
    QTest::newRow("nested definition lists (DocBook's contents)")
        << bytesOf("<dl><dt><a href=p.html>Part</a></dt><dd><dl><dt><a href=c.html>Chapter</a></dt></dl></dd></dl>")
        << "p.html 1  | c.html 2 Part";
    QTest::newRow("a term's sub-terms (DocBook's index)")
        << bytesOf("<dl><dt id=t>bugs</dt><dd><dl><dt>reporting, <a href=r.html>Reporting</a></dt></dl></dd></dl>")
        << "r.html 2 bugs";
    QTest::newRow("a table cell's link to an anchor of this page (a one-page index)")
        << bytesOf("<table><tr><td><a href=#index-x>x</a>: <a href=#Sec>Sec</a></td></tr></table><p><a href=#y>y</a>")
        << "#index-x 0 ";
    QTest::newRow("a table drawn with divs (javadoc), its navigation apart")
        << bytesOf("<nav><ul><li><a href=m.html>Module</a></li></ul></nav><div class=t><div>Class</div>"
                   "<div><a href=A.html>A</a></div><div>about A</div><div><code><a href=B.html>B</a></code></div>"
                   "<div>about <a href=C.html>C</a></div></div>")
        << "m.html 1 nav | A.html 0  | B.html 0 ";
    QTest::newRow("source lines whose tooltips start with a link are no table (doxygen)")
        << bytesOf("<div><div><a id=l1></a><a href=A.html>1</a></div><div><a id=l2></a>x</div>"
                   "<div class=ttc><div class=ttname><a href=A.html>A</a></div><div>doc</div></div>"
                   "<div class=ttc><div class=ttname><a href=B.html>B</a></div><div>doc</div></div></div>")
        << "";
    QTest::newRow("a glossary's descriptions are no list")
        << bytesOf("<dl><dt><a href=t.html>term</a></dt><dd><p>See <a href=o.html>other</a></p></dd></dl>") << "";
}

// Which links a page's lists keep, how deep in lists, below which entry.
void TestPageReader::listsOfLinks()
{
    QFETCH(QByteArray, page);
    QStringList links;
    for (const Link &link : readPage(std::string_view(page.constData(), page.size())).links)
        links << QString::fromStdString(std::string(link.href())) + ' ' + QString::number(link.depth) + ' '
                     + (link.navigation ? QString("nav") : QString::fromStdString(std::string(link.outer())));
    QTEST(links.join(" | "), "links");
}

namespace {

// The downloader's reading of page, from its own parse, kept as a record.
std::optional<EarlyReading> earlyReadingOf(std::string_view page)
{
    EarlyPageReading early(page, nullptr);
    parsePage(page, nullptr, [&early](const GumboNode *root, bool whole) {
        early.take(root, whole);
        return true;
    });
    std::optional<EarlyReading> reading = early.finish();
    return reading ? earlyReadingFromRecord(recordOfEarlyReading(*reading)) : std::nullopt;
}

} // namespace

void TestPageReader::readingFinishedAfterConversion_data()
{
    QTest::addColumn<QByteArray>("page");
    // Each href the conversion rewrites: "old=new" (old as written), or "old=?" for one
    // whose new form cannot be told.
    QTest::addColumn<QStringList>("rewritten");
    QTest::addColumn<bool>("told"); // else the page is parsed again

    const QByteArray head = "<meta charset=utf-8><title>T</title>";
    QTest::newRow("links to this page's anchors, kept once they name it")
        << head
               + "<ul><li><a href=\"#a\">A</a> and <a href=#b>B</a><ul><li><a href=x.html>X</a></li></ul></li></ul>"
                 "<h2 id=a>A<a class=headerlink href=\"#a\">\xc2\xb6</a></h2><p><a href=#b>b</a></p>"
        << QStringList{"#a=p.html#a", "#b=p.html#b"} << true;
    QTest::newRow("the same links left as they were: counted, not kept")
        << head
               + "<div><div><a href=#a>A</a> one</div><div><a href=#b>B</a> two</div></div>"
                 "<table><tr><td><a href=#c>C</a></td></tr></table>"
        << QStringList() << true;
    QTest::newRow("a grid's and a table's links turned into others")
        << head
               + "<div><div><a href=#a>A</a> one</div><div><a href=#b>B</a> two</div></div>"
                 "<table><tr><td><a href=\"/t.html\">T</a></td></tr></table>"
        << QStringList{"#a=p.html#a", "/t.html=../t.html"} << true;
    QByteArray manyLinks = head + "<ul>";
    for (std::size_t i = 0; i < kMostLinks + 3; ++i)
        manyLinks += "<li><a href=x.html#a>x</a></li>";
    QTest::newRow("more links than a reading keeps, and one to an anchor here after them")
        << manyLinks + "<li><a href=#b>b</a></li></ul>" << QStringList() << true;
    QTest::newRow("a term's sign pointing back at it either way")
        << head + "<dl><dt id=f>f()<a href=\"#f\">#</a></dt><dd>does</dd></dl>" << QStringList{"#f=p.html#f"} << true;
    QTest::newRow("a heading's sign that points back at it only once converted")
        << head + "<h2 id=h>Heading<a href=\"/d/p.html#h\">#</a></h2>" << QStringList{"/d/p.html#h=p.html#h"} << false;
    QTest::newRow("a link whose new form cannot be told")
        << head + "<ul><li><a href=\"a.html#x&amp;y\">x</a></li></ul>" << QStringList{"a.html#x&amp;y=?"} << false;
    QTest::newRow("a charset declaration pushed past the bytes looked at for one")
        << "<a href=x.html>x</a>" + QByteArray(4050, ' ') + "<meta charset=utf-8>"
        << QStringList{"x.html=" + QString(30, 'z') + ".html"} << false;
}

// The downloader's reading, finished with the links as its conversion
// wrote them, is the page reader's reading of the converted page.
void TestPageReader::readingFinishedAfterConversion()
{
    QFETCH(QByteArray, page);
    QFETCH(QStringList, rewritten);
    QFETCH(bool, told);
    // Each value rewritten where it starts (at its quote, if it has one),
    // as the downloader's link finder places it.
    struct Edit {
        qsizetype length; // of the value as it was
        QByteArray written, readBack;
    };
    std::map<qsizetype, Edit> edits; // by where the value starts
    for (const QString &pair : rewritten) {
        const QByteArray from = pair.section('=', 0, 0).toUtf8(), to = pair.section('=', 1).toUtf8();
        const QByteArray written = to == "?" ? QByteArray("a.html#x&amp;y") : to;
        for (const char quote : {'"', '\''})
            for (qsizetype at = 0; (at = page.indexOf(quote + from + quote, at)) >= 0; ++at)
                edits[at] = {from.size() + 2, quote + written + quote, to};
        for (qsizetype at = 0; (at = page.indexOf('=' + from + '>', at)) >= 0; ++at)
            edits[at + 1] = {from.size(), written, to};
    }
    QByteArray converted;
    ConvertedHrefs hrefs;
    qsizetype done = 0;
    for (const auto &[at, edit] : edits) {
        converted += page.mid(done, at - done) + edit.written;
        done = at + edit.length;
        hrefs.byOffset.emplace_back(std::uint64_t(at),
                                    edit.readBack == "?" ? std::nullopt : std::optional(edit.readBack.toStdString()));
    }
    converted += page.mid(done);
    std::optional<EarlyReading> early = earlyReadingOf(view(page));
    QVERIFY(early);
    const std::optional<Page> finished = convertedReading(std::move(*early), view(converted), hrefs);
    QCOMPARE(bool(finished), told);
    if (finished)
        QCOMPARE(QByteArray::fromStdString(recordOfPage(*finished)),
                 QByteArray::fromStdString(recordOfPage(readPage(view(converted), PageParts::OutlineAndText))));
}

void TestPageReader::damagedRecordsGiveNothing_data()
{
    QTest::addColumn<QByteArray>("kind"); // of record: page, early, conversion
    QTest::addColumn<int>("cutAt");       // bytes kept of the record, -1 all, -N all but N
    QTest::addColumn<int>("countAt");     // a length or count set past what the record holds, at this byte, -1 none
    QTest::addColumn<QByteArray>("name"); // asked for (a conversion's)
    QTest::addColumn<bool>("taken");
    QTest::newRow("a page, whole") << QByteArray("page") << -1 << -1 << QByteArray() << true;
    QTest::newRow("a page, one byte short") << QByteArray("page") << -2 << -1 << QByteArray() << false;
    QTest::newRow("a page, cut in its links") << QByteArray("page") << -120 << -1 << QByteArray() << false;
    QTest::newRow("a page, its title's length past its end") << QByteArray("page") << -1 << 8 << QByteArray() << false;
    QTest::newRow("an early reading, whole") << QByteArray("early") << -1 << -1 << QByteArray() << true;
    QTest::newRow("an early reading, one byte short") << QByteArray("early") << -2 << -1 << QByteArray() << false;
    QTest::newRow("a conversion, for its file")
        << QByteArray("conversion") << -1 << -1 << QByteArray("a/p.html") << true;
    QTest::newRow("a conversion, for another file")
        << QByteArray("conversion") << -1 << -1 << QByteArray("a/q.html") << false;
    QTest::newRow("a conversion, cut in its header")
        << QByteArray("conversion") << 20 << -1 << QByteArray("a/p.html") << false;
    QTest::newRow("a conversion, its count of links too large")
        << QByteArray("conversion") << -1 << 4 + 8 + 8 + 4 * 8 + 8 + 8 << QByteArray("a/p.html") << false;
}

// A reading kept on disk comes back whole, for its file only, or not at
// all: never a part of one, never a crash or a huge allocation.
void TestPageReader::damagedRecordsGiveNothing()
{
    QFETCH(QByteArray, kind);
    QFETCH(int, cutAt);
    QFETCH(int, countAt);
    QFETCH(QByteArray, name);
    QFETCH(bool, taken);
    const QByteArray page =
        "<title>T</title><h1 id=a>A</h1><ul><li><a href=x.html#a>x</a></li></ul><dl><dt id=t>t</dt></dl>";
    HandedConversion conversion;
    conversion.stamp = {1, 2, 7, 3};
    conversion.readingAt = 40;
    conversion.hrefs.byOffset = {{10, std::string("y.html#a")}, {30, std::nullopt}};
    std::string record = kind == "page"    ? recordOfPage(readPage(view(page), PageParts::OutlineAndText))
                         : kind == "early" ? recordOfEarlyReading(*earlyReadingOf(view(page)))
                                           : recordOfHandedConversion("a/p.html", conversion);
    const std::string whole = record;
    if (cutAt != -1)
        record.resize(cutAt >= 0 ? std::size_t(cutAt) : record.size() - std::size_t(-cutAt - 1));
    if (countAt >= 0)
        record.replace(std::size_t(countAt), 8, std::string(8, '\x7f'));
    bool back = false;
    if (kind == "page") {
        const std::optional<Page> read = pageFromRecord(record);
        back = read && recordOfPage(*read) == whole;
    } else if (kind == "early") {
        const std::optional<EarlyReading> read = earlyReadingFromRecord(record);
        back = read && recordOfEarlyReading(*read) == whole;
    } else {
        const std::optional<HandedConversion> read = handedConversionFromRecord(record, name.toStdString());
        back = read && recordOfHandedConversion("a/p.html", *read) == whole;
    }
    QCOMPARE(back, taken);
}

void TestPageReader::startsAgainWithHugePages_data()
{
    QTest::addColumn<QString>("told");     // GLIBC_TUNABLES as the tool is started; null: unset
    QTest::addColumn<QString>("tunables"); // as it runs
    QTest::addColumn<int>("starts");
    QTest::newRow("nothing told") << QString() << QStringLiteral("glibc.malloc.hugetlb=1") << 2;
    QTest::newRow("the user's own tunables kept")
        << QStringLiteral("glibc.malloc.tcache_count=5")
        << QStringLiteral("glibc.malloc.tcache_count=5:glibc.malloc.hugetlb=1") << 2;
    QTest::newRow("the user's own choice of huge pages kept")
        << QStringLiteral("glibc.malloc.hugetlb=0") << QStringLiteral("glibc.malloc.hugetlb=0") << 1;
}

// Started again once, as the same process, with its arguments as they were.
void TestPageReader::startsAgainWithHugePages()
{
    QFETCH(QString, told);
    QFETCH(QString, tunables);
    QFETCH(int, starts);
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("GLIBC_TUNABLES"));
    environment.remove(QStringLiteral("QUORLIX_TEST_STARTS"));
    if (!told.isNull())
        environment.insert(QStringLiteral("GLIBC_TUNABLES"), told);
    child.setProcessEnvironment(environment);
    const QStringList arguments{QStringLiteral("two words"), QStringLiteral("caf\u00e9"), QString()};
    child.start(QStringLiteral(QUORLIX_HUGE_PAGE_CHILD), arguments);
    QVERIFY(child.waitForStarted());
    const qint64 pid = child.processId();
    QVERIFY(child.waitForFinished(10000));
    const QStringList lines = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
    QCOMPARE(lines.mid(0, 3), QStringList({QString::number(starts), QString::number(pid), tunables}));
    QCOMPARE(lines.mid(3, arguments.size()), arguments);
}

void TestPageReader::readsAllThatIsLeft_data()
{
    QTest::addColumn<bool>("pipe");       // else a file
    QTest::addColumn<int>("size");        // of what is written
    QTest::addColumn<int>("readFrom");    // where the descriptor is when the rest is read
    QTest::addColumn<QByteArray>("held"); // what the bytes held before
    QTest::newRow("a file from its start") << false << 300000 << 0 << QByteArray();
    QTest::newRow("a file's rest, onto what was read") << false << 300000 << 1000 << QByteArray("before");
    QTest::newRow("an empty file") << false << 0 << 0 << QByteArray("kept");
    QTest::newRow("a pipe, which has no size") << true << 300000 << 0 << QByteArray("x");
}

// What is left of a descriptor is added after the bytes held, whole, sized
// from the file where it can be and read on where it cannot.
void TestPageReader::readsAllThatIsLeft()
{
    QFETCH(bool, pipe);
    QFETCH(int, size);
    QFETCH(int, readFrom);
    QFETCH(QByteArray, held);
    std::string written(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < written.size(); ++i)
        written[i] = static_cast<char>('a' + i % 23);
    std::string bytes = held.toStdString();
    int fds[2] = {-1, -1};
    if (pipe) {
        QVERIFY(::pipe(fds) == 0);
        std::thread writer([&] {
            QCOMPARE(::write(fds[1], written.data(), written.size()), static_cast<ssize_t>(written.size()));
            ::close(fds[1]);
        });
        QVERIFY(quorlix::html::readAllFrom(fds[0], bytes));
        writer.join();
        ::close(fds[0]);
    } else {
        QTemporaryFile file;
        QVERIFY(file.open());
        QCOMPARE(file.write(written.data(), qint64(written.size())), qint64(written.size()));
        QVERIFY(file.flush());
        const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        QCOMPARE(::lseek(fd, readFrom, SEEK_SET), off_t(readFrom));
        QVERIFY(quorlix::html::readAllFrom(fd, bytes));
        ::close(fd);
    }
    QCOMPARE(bytes.size(), held.size() + written.size() - std::size_t(readFrom));
    QVERIFY(bytes == held.toStdString() + written.substr(std::size_t(readFrom)));
}

// The check skips ASCII eight bytes at a time: a sequence is judged the
// same after any run of ASCII and before any end.
void TestPageReader::utf8CheckedWhereverItStands_data()
{
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<bool>("valid");
    QTest::newRow("two bytes") << QByteArray("\xC3\xA9") << true;
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << true;
    QTest::newRow("a lone continuation") << QByteArray("\x80") << false;
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("a surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("cut short") << QByteArray("\xE2\x82") << false;
    QTest::newRow("never in UTF-8") << QByteArray("\xFF") << false;
}

void TestPageReader::utf8CheckedWhereverItStands()
{
    QFETCH(QByteArray, sequence);
    QFETCH(bool, valid);
    for (int before = 0; before <= 17; ++before)
        for (int after = 0; after <= 9; ++after) {
            const std::string text = std::string(std::size_t(before), 'a') + sequence.toStdString()
                                     + std::string(std::size_t(after), 'b');
            QVERIFY2(isValidUtf8(text) == valid,
                     qPrintable(QStringLiteral("%1 before, %2 after").arg(before).arg(after)));
        }
}

// A large page's pieces come faulted in from a thread of their own: never
// more than the bound, each its own, aligned and writable; a supply stopped
// while it waits for the parse to take its pieces ends at once.
void TestPageReader::piecesSuppliedAhead_data()
{
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("ahead");
    QTest::addColumn<int>("taken");
    QTest::newRow("all taken, two ahead") << 5 << 2 << 5;
    QTest::newRow("a bound short of a piece") << 0 << 8 << 0;
    QTest::newRow("stopped while waiting") << 100 << 1 << 0;
    QTest::newRow("stopped after a few") << 100 << 3 << 4;
}

void TestPageReader::piecesSuppliedAhead()
{
    QFETCH(int, most);
    QFETCH(int, ahead);
    QFETCH(int, taken);
    const bool all = most == taken;
    HugePieceSupply supply(std::size_t(most) * kHugePieceSize + kHugePieceSize / 2, unsigned(ahead));
    std::vector<void *> pieces;
    while (void *piece = int(pieces.size()) < taken || all ? supply.take(true) : nullptr) {
        QCOMPARE(reinterpret_cast<std::uintptr_t>(piece) % kHugePieceSize, std::uintptr_t(0));
        static_cast<char *>(piece)[0] = 1;
        static_cast<char *>(piece)[kHugePieceSize - 1] = 1;
        QVERIFY(std::find(pieces.begin(), pieces.end(), piece) == pieces.end());
        pieces.push_back(piece);
    }
    QCOMPARE(int(pieces.size()), taken);
    supply.stop();
    for (void *piece : pieces)
        releaseHugePiece(piece);
}

QTEST_GUILESS_MAIN(TestPageReader)
#include "test_page_reader.moc"
