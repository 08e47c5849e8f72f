// The system files as readers walk them: #SYSTEM's records, and a topic
// number through #TOPICS to its title in #STRINGS and its name through
// #URLTBL and #URLSTR, with the block rules block-wise readers rely on, and
// #URLTBL's keys and order as Windows' viewer searches them.

#include "chm/language/LanguageId.h"
#include "chm/system/IndexKeywords.h"
#include "chm/system/InternalFiles.h"
#include "chm/system/KeywordIndex.h"
#include "chm/system/PlainIndexKeywords.h"
#include "chm/system/UrlHash.h"

#include <QTest>

#include <algorithm>
#include <map>
#include <optional>

using namespace quorlix::chm;

Q_DECLARE_METATYPE(std::vector<quorlix::chm::Topic>)
Q_DECLARE_METATYPE(std::string)
Q_DECLARE_METATYPE(std::vector<std::string>)

namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t dwordAt(const Bytes &bytes, std::size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | std::uint32_t(bytes[at + 3]) << 24;
}

std::uint16_t wordAt(const Bytes &bytes, std::size_t at)
{
    return std::uint16_t(bytes[at] | bytes[at + 1] << 8);
}

std::string stringAt(const Bytes &bytes, std::size_t at)
{
    std::string text;
    while (at < bytes.size() && bytes[at] != 0)
        text.push_back(char(bytes[at++]));
    return text;
}

const StoredFile &fileNamed(const std::vector<StoredFile> &files, const std::string &name)
{
    for (const StoredFile &file : files)
        if (file.name == name)
            return file;
    qFatal("no %s", name.c_str());
}

// #SYSTEM's records by code, each with where it ends.
std::map<int, std::pair<Bytes, std::size_t>> systemRecords(const Bytes &system)
{
    std::map<int, std::pair<Bytes, std::size_t>> records;
    std::size_t at = 4;
    while (at + 4 <= system.size()) {
        const int code = wordAt(system, at);
        const std::size_t length = wordAt(system, at + 2);
        Bytes data(system.begin() + long(at + 4), system.begin() + long(at + 4 + length));
        at += 4 + length;
        records[code] = {data, at};
    }
    if (at != system.size())
        qFatal("#SYSTEM records overrun the file");
    return records;
}

std::vector<Topic> manyTopics(int count)
{
    std::vector<Topic> topics;
    for (int i = 0; i < count; ++i)
        topics.push_back({"/site/section" + std::to_string(i % 17) + "/page" + std::to_string(i) + ".html",
                          "Page number " + std::to_string(i) + std::string(i % 90, 'x')});
    return topics;
}

// A keyword found the way a viewer looks one up in the binary index: from
// the root block down through index blocks (each entry names the block its
// keyword starts) to a listing block. Returns its topics, or nothing.
std::optional<std::vector<std::uint32_t>> lookUp(const Bytes &tree, const std::u16string &wanted)
{
    const auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    const auto before = [&](const std::u16string &a, const std::u16string &b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [&](char16_t x, char16_t y) { return fold(x) < fold(y); });
    };
    // Reads an entry at at: its text, topics, and where its topics end.
    const auto entry = [&](std::size_t at, std::u16string &text, std::vector<std::uint32_t> &topics) {
        text.clear();
        for (; wordAt(tree, at); at += 2)
            text.push_back(char16_t(wordAt(tree, at)));
        at += 2 + 2 + 2 + 4 + 4;
        const std::uint32_t pairs = dwordAt(tree, at);
        topics.clear();
        for (std::uint32_t i = 0; i < pairs; ++i)
            topics.push_back(dwordAt(tree, at + 4 + 4 * i));
        return at + 4 + 4 * pairs;
    };
    const std::uint32_t lastListing = dwordAt(tree, 0x1a);
    std::uint32_t block = dwordAt(tree, 0x1e);
    std::u16string text;
    std::vector<std::uint32_t> topics;
    for (int level = wordAt(tree, 0x2a); level > 1; --level) {
        if (block <= lastListing)
            return std::nullopt;
        const std::size_t start = 0x4c + std::size_t(block) * kKeywordBlockSize;
        std::uint32_t child = dwordAt(tree, start + 4);
        std::size_t at = start + 8;
        for (int i = wordAt(tree, start + 2); i > 0; --i) {
            at = entry(at, text, topics);
            if (before(wanted, text))
                break;
            child = dwordAt(tree, at);
            at += 4;
        }
        block = child;
    }
    const std::size_t start = 0x4c + std::size_t(block) * kKeywordBlockSize;
    std::size_t at = start + 12;
    for (int i = wordAt(tree, start + 2); i > 0; --i) {
        at = entry(at, text, topics) + 8;
        if (text == wanted)
            return topics;
    }
    return std::nullopt;
}

std::string sitemapEntry(const std::string &name, const std::string &local = "a.html")
{
    return "<LI> <OBJECT type=\"text/sitemap\">\n\t<param name=\"Name\" value=\"" + name
           + "\">\n\t<param name=\"Local\" value=\"" + local + "\">\n\t</OBJECT>\n";
}

std::string describedKeywords(const std::vector<IndexKeyword> &keywords)
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

class TestChmSystemFiles : public QObject {
    Q_OBJECT

private slots:
    void topicsResolveAsReadersWalkThem_data()
    {
        QTest::addColumn<std::vector<Topic>>("topics");
        QTest::addColumn<std::uint32_t>("languageId");
        QTest::addColumn<std::vector<std::string>>("storedTitles");
        QTest::newRow("no topics") << std::vector<Topic>{} << 0x0409u << std::vector<std::string>{};
        QTest::newRow("non-ASCII titles, western")
            << std::vector<Topic>{{"/site/index.html", "Fixture site"},
                                  {"/site/docs/caf\xc3\xa9.html", "Caf\xc3\xa9 \xe2\x82\xac"},
                                  {"/site/docs/ru.html", "\xd0\x9c\xd0\xb8\xd1\x80"},
                                  {"/site/bad.html", "Bad \xe9 byte"},
                                  {"/site/docs/untitled.html", ""}}
            << 0x0409u << std::vector<std::string>{"Fixture site", "Caf\xe9 \x80", "???", "Bad \xe9 byte", "untitled.html"};
        QTest::newRow("non-ASCII titles, Russian")
            << std::vector<Topic>{{"/ru.html", "\xd0\x9c\xd0\xb8\xd1\x80"}} << 0x0419u
            << std::vector<std::string>{"\xcc\xe8\xf0"};
        QTest::newRow("names alike but for case: equal keys")
            << std::vector<Topic>{{"/site/b.html", "b"}, {"/site/B.HTML", "B"}, {"/site/a.html", "a"}} << 0x0409u
            << std::vector<std::string>{"b", "B", "a"};
        std::vector<std::string> many;
        for (const Topic &topic : manyTopics(5000))
            many.push_back(topic.title);
        QTest::newRow("5000 topics, many blocks") << manyTopics(5000) << 0x0409u << many;
    }

    void topicsResolveAsReadersWalkThem()
    {
        QFETCH(std::vector<Topic>, topics);
        QFETCH(std::uint32_t, languageId);
        QFETCH(std::vector<std::string>, storedTitles);
        InternalFileSettings settings{"Title", "site/index.html", "output.hhc", "output.hhk", "output.chm", languageId};
        const auto files = buildInternalFiles(settings, topics);
        const Bytes &topicTable = fileNamed(files, "/#TOPICS").bytes;
        const Bytes &urlTable = fileNamed(files, "/#URLTBL").bytes;
        const Bytes &urlStrings = fileNamed(files, "/#URLSTR").bytes;
        const Bytes &strings = fileNamed(files, "/#STRINGS").bytes;

        // Pages first, then the contents and index files.
        const std::size_t rows = topics.size() + 2;
        QCOMPARE(topicTable.size(), rows * 16);
        QCOMPARE(urlTable.size(), rows * 12 + rows / 341 * 4);
        QCOMPARE(int(strings.at(0)), 0);
        QCOMPARE(int(urlStrings.at(0)), 0);
        for (std::size_t topic = 0; topic < rows; ++topic) {
            const std::size_t entry = topic * 16;
            const bool page = topic < topics.size();
            const std::uint32_t title = dwordAt(topicTable, entry + 4);
            const std::uint32_t urlEntry = dwordAt(topicTable, entry + 8);
            QCOMPARE(urlEntry % 4096 + 12 <= 4092, true);
            QCOMPARE(std::size_t(dwordAt(urlTable, urlEntry + 4)), topic);
            const std::uint32_t urlString = dwordAt(urlTable, urlEntry + 8);
            const std::string name = stringAt(urlStrings, urlString + 8);
            QCOMPARE(urlString / 4096, (urlString + 8 + name.size()) / 4096);
            QCOMPARE(dwordAt(urlTable, urlEntry), urlHash(name));
            if (!page) {
                QCOMPARE(name, std::string(topic == topics.size() ? "output.hhc" : "output.hhk"));
                QCOMPARE(title, 0xffffffffu);
                QCOMPARE(int(wordAt(topicTable, entry + 12)), 2);
                continue;
            }
            QCOMPARE("/" + name, topics[topic].name);
            QCOMPARE(int(wordAt(topicTable, entry + 12)), 6);
            QCOMPARE(stringAt(strings, title), storedTitles[topic]);
            QCOMPARE(title / 4096, (title + storedTitles[topic].size()) / 4096); // within one block
        }
        for (std::size_t pad = 4092; pad + 4 <= urlTable.size(); pad += 4096)
            QCOMPARE(dwordAt(urlTable, pad), 4096u);
        // Sorted by key as Microsoft's compiler sorts; equal keys in topic order.
        std::vector<std::pair<std::uint32_t, std::uint32_t>> entries; // key, topic
        for (std::size_t at = 0; at + 12 <= urlTable.size(); at += at % 4096 == 4080 ? 16 : 12)
            entries.emplace_back(dwordAt(urlTable, at), dwordAt(urlTable, at + 4));
        QCOMPARE(entries.size(), rows);
        QVERIFY(std::is_sorted(entries.begin(), entries.end()));

        const Bytes &header = fileNamed(files, "/#IDXHDR").bytes;
        QCOMPARE(header.size(), std::size_t(4096));
        QCOMPARE(stringAt(header, 0).substr(0, 4), std::string("T#SM"));
        QCOMPARE(std::size_t(dwordAt(header, 12)), rows);
    }

    // What python3-chm does not look at: the language record's flags and
    // time, and where the records viewers need sit.
    void systemFileRecords()
    {
        InternalFileSettings settings{"Caf\xc3\xa9", "site/index.html", "output.hhc", "output.hhk", "Output.CHM",
                                    0x0409, true, 1700000000};
        const auto files = buildInternalFiles(settings, {{"/site/index.html", "Home"}});
        const StoredFile &system = fileNamed(files, "/#SYSTEM");
        QVERIFY(!system.compressed);
        QCOMPARE(dwordAt(system.bytes, 0), 3u);
        const auto records = systemRecords(system.bytes);
        QCOMPARE(stringAt(records.at(3).first, 0), std::string("Caf\xe9"));
        QCOMPARE(stringAt(records.at(6).first, 0), std::string("output"));
        const Bytes &language = records.at(4).first;
        QCOMPARE(language.size(), std::size_t(36));
        QCOMPARE(dwordAt(language, 0), 0x0409u);
        QCOMPARE(dwordAt(language, 8), 1u);                         // full-text search
        QCOMPARE(dwordAt(language, 12) | dwordAt(language, 16), 0u); // no binary index
        const std::uint64_t filetime = dwordAt(language, 20) | std::uint64_t(dwordAt(language, 24)) << 32;
        QCOMPARE(filetime, (1700000000ull + 11644473600ull) * 10000000ull);
        QCOMPARE(dwordAt(records.at(10).first, 0), 1700000000u);
        // Viewers read only the first 4096 bytes after the version.
        for (int code : {0, 1, 2, 3, 4})
            QVERIFY(records.at(code).second <= 4 + 4095);
        QCOMPARE(fileNamed(files, "/#ITBITS").bytes.size(), std::size_t(0));
    }

    // Microsoft's compiler names the index file in #SYSTEM by its #URLTBL key.
    void systemFileNamesIndexByKey()
    {
        InternalFileSettings settings;
        settings.indexFile = "output.hhk";
        settings.keywords = {{"Home", 0, 0, {"site/index.html"}}};
        const auto files = buildInternalFiles(settings, {{"/site/index.html", "Home"}});
        const auto records = systemRecords(fileNamed(files, "/#SYSTEM").bytes);
        QCOMPARE(dwordAt(records.at(7).first, 0), urlHash("output.hhk"));
    }

    // Values read from help files Microsoft's compiler wrote.
    void urlHashAsMicrosoftsCompiler_data()
    {
        QTest::addColumn<std::string>("url");
        QTest::addColumn<std::uint32_t>("key");
        QTest::newRow("index.htm") << std::string("index.htm") << 419420449u;
        QTest::newRow("toc.hhc") << std::string("toc.hhc") << 262941145u;
        QTest::newRow("in a folder") << std::string("topics/getting_started.htm") << 2364980769u;
        QTest::newRow("upper case, contents") << std::string("XL15Con_offline.hhc") << 0x15ed6037u;
        QTest::newRow("upper case, index") << std::string("XL15Con_offline.hhk") << 0x15ed603fu;
        QTest::newRow("long, wraps") << std::string("html/1e9ef356-44e6-480b-bc60-a1263fd2ee90.htm") << 0x11a40u;
        // Windows reads '\' as '/'.
        QTest::newRow("backslash") << std::string("topics\\getting_started.htm") << 2364980769u;
    }

    void urlHashAsMicrosoftsCompiler()
    {
        QFETCH(std::string, url);
        QFETCH(std::uint32_t, key);
        QCOMPARE(urlHash(url), key);
    }

    // Every keyword is found from the root, whatever the tree's depth, and
    // the header carries Microsoft's values.
    void keywordIndexLooksUp_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("length");
        QTest::addColumn<int>("depth");
        QTest::newRow("one listing block") << 8 << 10 << 1;
        QTest::newRow("listing blocks under one index block") << 300 << 20 << 2;
        QTest::newRow("two levels of index blocks") << 6000 << 20 << 3;
        QTest::newRow("four levels of index blocks") << 6000 << 120 << 5;
    }

    void keywordIndexLooksUp()
    {
        QFETCH(int, count);
        QFETCH(int, length);
        QFETCH(int, depth);
        std::vector<BinaryKeyword> keywords;
        for (int i = count - 1; i >= 0; --i) {
            std::u16string text = u"Keyword " + std::u16string(std::size_t(length), i % 2 ? u'a' : u'B');
            for (char c : std::to_string(i))
                text.push_back(char16_t(c));
            keywords.push_back({text, 0, 0, {std::uint32_t(i), std::uint32_t(i + 1)}});
        }
        const KeywordIndexFiles files = buildKeywordIndex(keywords, 1252, 0x0409);
        const Bytes &tree = files.tree;
        QCOMPARE(tree.size() % kKeywordBlockSize, std::size_t(0x4c));
        QCOMPARE(int(wordAt(tree, 0x2a)), depth);
        QCOMPARE(dwordAt(tree, 0x26), std::uint32_t((tree.size() - 0x4c) / kKeywordBlockSize));
        QCOMPARE(dwordAt(tree, 0x2c), std::uint32_t(count));
        QCOMPARE(wordAt(tree, 0x02), std::uint16_t(0x0104)); // as Microsoft's compiler writes
        QCOMPARE(dwordAt(tree, 0x3c), std::uint32_t(10031));
        QCOMPARE(files.data.size(), std::size_t(13 * count));
        QCOMPARE(std::size_t(wordAt(files.map, 0)) * 8 + 2, files.map.size());
        for (const BinaryKeyword &keyword : keywords) {
            const auto topics = lookUp(tree, keyword.text);
            QVERIFY2(topics, "a keyword cannot be found from the root");
            QCOMPARE(*topics, keyword.topics);
        }
        QVERIFY(!lookUp(tree, u"Keyword absent"));
    }

    // Texts equal but for letter case keep the order they came in, as
    // Microsoft's compiler sorts them.
    void keywordIndexKeepsEqualTextsInOrder()
    {
        // Enough of them for a sort to take them apart: "apple" in each way
        // of writing its first four letters, among others.
        std::vector<std::u16string> given{u"b", u"\u00c9t\u00e9", u"a", u"\u00e9t\u00e9"};
        for (int upper = 0; upper < 16; ++upper) {
            std::u16string apple = u"apple";
            for (std::size_t i = 0; i < 4; ++i)
                if (upper & (1 << i))
                    apple[i] = char16_t(apple[i] - 32);
            given.insert(given.begin() + (upper % 2 ? 1 : 3), apple);
        }
        std::vector<BinaryKeyword> keywords;
        for (const std::u16string &text : given)
            keywords.push_back({text, 0, 0, {std::uint32_t(keywords.size())}});
        const Bytes tree = buildKeywordIndex(keywords, 1252, 0x0409).tree;
        // The one listing block's entries in order: each a text, its fields
        // and topics, then two more numbers.
        std::vector<std::u16string> order;
        std::size_t at = 0x4c + 12;
        for (int i = wordAt(tree, 0x4c + 2); i > 0; --i) {
            std::u16string text;
            for (; wordAt(tree, at); at += 2)
                text.push_back(char16_t(wordAt(tree, at)));
            at += 2 + 2 + 2 + 4 + 4;
            at += 4 + 4 * std::size_t(dwordAt(tree, at)) + 8;
            order.push_back(text);
        }
        std::vector<std::u16string> sorted{u"a"};
        for (const std::u16string &text : given)
            if (text.size() == 5)
                sorted.push_back(text); // the apples as they came
        sorted.insert(sorted.end(), {u"b", u"\u00c9t\u00e9", u"\u00e9t\u00e9"});
        QVERIFY(order == sorted);
    }

    void languageIdFromProject_data()
    {
        QTest::addColumn<std::string>("value");
        QTest::addColumn<std::uint32_t>("languageId");
        QTest::newRow("Quorlix's own line") << std::string("0x089 English (standard)") << 0x0089u;
        QTest::newRow("US English") << std::string("0x409 English (United States)") << 0x0409u;
        QTest::newRow("Russian") << std::string(" 0x0419 Russian") << 0x0419u;
        QTest::newRow("Chinese, no prefix") << std::string("804") << 0x0804u;
        QTest::newRow("neutral sublanguage") << std::string("0x009") << 0x0009u;
        QTest::newRow("no number") << std::string("English") << 0x0409u;
        QTest::newRow("empty") << std::string() << 0x0409u;
        QTest::newRow("zero") << std::string("0x0") << 0x0409u;
        QTest::newRow("too large") << std::string("0x12345") << 0x0409u;
    }

    void languageIdFromProject()
    {
        QFETCH(std::string, value);
        QFETCH(std::uint32_t, languageId);
        QCOMPARE(quorlix::chm::languageIdFromProject(value), languageId);
    }

    // The index file's fast reading against the HTML parser's: wherever
    // the fast reading answers, its keywords are the parser's, nesting,
    // places and references alike; where the parser would arrange the
    // markup otherwise, it leaves the file to the parser.
    void plainReadingIsTheParsers_data()
    {
        QTest::addColumn<std::string>("file");
        QTest::addColumn<bool>("plain"); // whether the fast reading answers
        const std::string head = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n"
                                 "<meta name=\"GENERATOR\" content=\"Quorlix\">\n</HEAD><BODY>\n"
                                 "<OBJECT type=\"text/site properties\">\n</OBJECT>\n";
        QTest::newRow("nested, as Quorlix writes it")
            << head + "<UL>\n" + sitemapEntry("open") + "<UL>\n" + sitemapEntry("in os", "os.html#open") + sitemapEntry("in io", "io.html")
                   + "</UL>\n" + sitemapEntry("close") + "</UL>\n</BODY></HTML>\n"
            << true;
        QTest::newRow("three levels, references, several places")
            << "<UL>" + sitemapEntry("caf&#233; &amp; &lt;bar&gt; &#x2014; &quot;q&quot;") + "<UL>" + sitemapEntry("x&#8217;y")
                   + "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"deep\">"
                     "<param name=\"Local\" value=\"a.html#1\"><param name=\"Local\" value=\"b.html\">"
                     "<param name=\"Local\" value=\"\"></OBJECT></UL></UL></UL>"
            << true;
        QTest::newRow("closed items, a list right in a list")
            << "<UL>" + sitemapEntry("a") + "</LI><UL>" + sitemapEntry("under nothing") + "</UL>" + sitemapEntry("b") + "<UL><UL>"
                   + sitemapEntry("under b") + "</UL></UL></UL>"
            << true;
        QTest::newRow("an item without a name passes its list on")
            << "<UL>" + sitemapEntry("top") + "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Local\" value=\"x\">"
                   "</OBJECT><UL>" + sitemapEntry("under top") + "</UL></UL></UL>"
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
        QTest::newRow("items outside any list") << sitemapEntry("loose") + "<UL>" + sitemapEntry("under loose") + "</UL>" << true;
        QTest::newRow("an object after its item's own list") << "<UL><LI><UL>" + sitemapEntry("inner")
                                                                    + "</UL><OBJECT type=\"text/sitemap\"><param "
                                                                      "name=\"Name\" value=\"outer\"></OBJECT></UL>"
                                                             << false;
        QTest::newRow("a name given twice") << std::string("<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" "
                                               "value=\"a\" value name=\"Local\" value=\"b\"></OBJECT></UL>")
                                            << false;
        QTest::newRow("another element") << "<UL><LI><B>bold</B>" + sitemapEntry("x") + "</UL>" << false;
        QTest::newRow("a legacy reference") << "<UL>" + sitemapEntry("&copy; 2024") + "</UL>" << false;
        QTest::newRow("a reference without its semicolon") << "<UL>" + sitemapEntry("a &amp b") + "</UL>" << false;
        QTest::newRow("a reference the parser replaces") << "<UL>" + sitemapEntry("&#150;") + "</UL>" << false;
        QTest::newRow("an item inside an open object")
            << "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"a\">" + sitemapEntry("b") + "</UL>"
            << false;
        QTest::newRow("a list closed that was not open") << sitemapEntry("a") + "</UL>" + sitemapEntry("b") << false;
        QTest::newRow("an empty comment") << "<UL><!-->" + sitemapEntry("a") + "</UL>" << false;
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
            QCOMPARE(describedKeywords(*fast), describedKeywords(parsed));
        QCOMPARE(describedKeywords(readIndexKeywords(file)), describedKeywords(parsed));
    }
};

QTEST_APPLESS_MAIN(TestChmSystemFiles)
#include "test_chm_system_files.moc"
