// The index file's fast reading against the HTML parser's: wherever the
// fast reading answers, its keywords are the parser's, nesting, places and
// references alike; where the parser would arrange the markup otherwise, it
// leaves the file to the parser.

#include "chm/system/IndexKeywords.h"
#include "chm/system/PlainIndexKeywords.h"

#include <QTest>

#include <string>

using namespace quorlix::chm;

Q_DECLARE_METATYPE(std::string)

namespace {

std::string entry(const std::string &name, const std::string &local = "a.html")
{
    return "<LI> <OBJECT type=\"text/sitemap\">\n\t<param name=\"Name\" value=\"" + name
           + "\">\n\t<param name=\"Local\" value=\"" + local + "\">\n\t</OBJECT>\n";
}

std::string described(const std::vector<IndexKeyword> &keywords)
{
    std::string text;
    for (const IndexKeyword &keyword : keywords) {
        text += keyword.text + " [" + std::to_string(keyword.depth) + "@" + std::to_string(keyword.lastLevelAt) + "]";
        for (const std::string &place : keyword.places)
            text += " " + place;
        text += "\n";
    }
    return text;
}

} // namespace

class TestIndexKeywords : public QObject {
    Q_OBJECT

private slots:
    void plainReadingIsTheParsers_data()
    {
        QTest::addColumn<std::string>("file");
        QTest::addColumn<bool>("plain"); // whether the fast reading answers
        const std::string head = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n"
                                 "<meta name=\"GENERATOR\" content=\"Quorlix\">\n</HEAD><BODY>\n"
                                 "<OBJECT type=\"text/site properties\">\n</OBJECT>\n";
        QTest::newRow("nested, as Quorlix writes it")
            << head + "<UL>\n" + entry("open") + "<UL>\n" + entry("in os", "os.html#open") + entry("in io", "io.html")
                   + "</UL>\n" + entry("close") + "</UL>\n</BODY></HTML>\n"
            << true;
        QTest::newRow("three levels, references, several places")
            << "<UL>" + entry("caf&#233; &amp; &lt;bar&gt; &#x2014; &quot;q&quot;") + "<UL>" + entry("x&#8217;y")
                   + "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"deep\">"
                     "<param name=\"Local\" value=\"a.html#1\"><param name=\"Local\" value=\"b.html\">"
                     "<param name=\"Local\" value=\"\"></OBJECT></UL></UL></UL>"
            << true;
        QTest::newRow("closed items, a list right in a list")
            << "<UL>" + entry("a") + "</LI><UL>" + entry("under nothing") + "</UL>" + entry("b") + "<UL><UL>"
                   + entry("under b") + "</UL></UL></UL>"
            << true;
        QTest::newRow("an item without a name passes its list on")
            << "<UL>" + entry("top") + "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Local\" value=\"x\">"
                   "</OBJECT><UL>" + entry("under top") + "</UL></UL></UL>"
            << true;
        QTest::newRow("only the first sitemap object of an item counts")
            << std::string("<UL><LI><OBJECT type=\"text/other\"><param name=\"Name\" value=\"no\"></OBJECT>"
                   "<OBJECT type=\"text/sitemap\"><param name=\"name\" value=\"first\"><param name=\"Name\" "
                   "value=\"again\"><param name=\"local\" value=\"f.html\"></OBJECT>"
                   "<OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"second\"></OBJECT></UL>")
            << true;
        QTest::newRow("case, quotes and comments as the parser reads them")
            << std::string("<ul><!-- a comment --><li><object TYPE='text/sitemap'><PARAM Name=Name VALUE=\"x y\">"
                   "<param name=\"NAME\" value=\"not a name key\"><param value=\"Local\" name=\"Local\"/>"
                   "</object></ul>")
            << true;
        QTest::newRow("items outside any list") << entry("loose") + "<UL>" + entry("under loose") + "</UL>" << true;
        QTest::newRow("an object after its item's own list") << "<UL><LI><UL>" + entry("inner")
                                                                    + "</UL><OBJECT type=\"text/sitemap\"><param "
                                                                      "name=\"Name\" value=\"outer\"></OBJECT></UL>"
                                                             << false;
        QTest::newRow("a name given twice") << std::string("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
                                               "value=\"a\" value name=\"Local\" value=\"b\"></OBJECT></UL>")
                                            << false;
        QTest::newRow("another element") << "<UL><LI><B>bold</B>" + entry("x") + "</UL>" << false;
        QTest::newRow("a legacy reference") << "<UL>" + entry("&copy; 2024") + "</UL>" << false;
        QTest::newRow("a reference without its semicolon") << "<UL>" + entry("a &amp b") + "</UL>" << false;
        QTest::newRow("a reference the parser replaces") << "<UL>" + entry("&#150;") + "</UL>" << false;
        QTest::newRow("an item inside an open object")
            << "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">" + entry("b") + "</UL>"
            << false;
        QTest::newRow("a list closed that was not open") << entry("a") + "</UL>" + entry("b") << false;
        QTest::newRow("an empty comment") << "<UL><!-->" + entry("a") + "</UL>" << false;
        QTest::newRow("a value cut off") << std::string("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a")
                                         << false;
    }

    void plainReadingIsTheParsers()
    {
        QFETCH(std::string, file);
        QFETCH(bool, plain);
        const auto fast = readPlainIndexKeywords(file);
        QCOMPARE(fast.has_value(), plain);
        const std::vector<IndexKeyword> parsed = parsedIndexKeywords(file);
        if (fast)
            QCOMPARE(described(*fast), described(parsed));
        QCOMPARE(described(readIndexKeywords(file)), described(parsed));
    }
};

QTEST_APPLESS_MAIN(TestIndexKeywords)
#include "test_index_keywords.moc"
