// The full-text search index ($FIftiMain) as readers walk it: down the index
// nodes by last words, along the leaf, into the scale/root packed location
// codes; and through python3-chm's search in a compiled help file.

#include "chm/container/ChmWriter.h"
#include "chm/prepared/PreparedContent.h"
#include "chm/prepared/PreparedContentWriter.h"
#include "chm/search/FullTextIndex.h"
#include "chm/search/PageWords.h"
#include "chm/search/SearchIndexThread.h"
#include "chm/search/WordTable.h"
#include "chm/search/WordSplitter.h"
#include "chm/system/InternalFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <stdexcept>

using namespace quorlix::chm;
namespace html = quorlix::html;

namespace {

using Bytes = std::vector<std::uint8_t>;
using PagePositions = std::map<std::uint32_t, std::vector<std::uint32_t>>; // topic -> word positions

// Reads the index the way viewers do.
class IndexReader {
public:
    explicit IndexReader(Bytes file) : f_(std::move(file)) {}

    std::uint32_t u32(std::size_t at) const { return f_[at] | f_[at + 1] << 8 | f_[at + 2] << 16 | std::uint32_t(f_[at + 3]) << 24; }
    std::uint16_t u16(std::size_t at) const { return std::uint16_t(f_[at] | f_[at + 1] << 8); }

    // The pages of a word's entry (title hits or all), empty when it has none.
    PagePositions find(const std::string &word, bool titles) const
    {
        std::size_t node = u32(0x14);
        for (int depth = u16(0x18); depth > 1; --depth) {
            std::size_t next = 0;
            forEachEntry(node, 2, 6, [&](const std::string &last, std::size_t at) {
                if (!next && word <= last)
                    next = u32(at);
            });
            if (!next)
                return {};
            node = next;
        }
        PagePositions found;
        forEachEntry(node, 8, 0, [&](const std::string &entry, std::size_t at) {
            if (entry == word && f_[at] == (titles ? 1 : 0))
                found = locations(at + 1);
        });
        return found;
    }

    // Every word along the chain of leaves, from the first.
    std::vector<std::string> words() const
    {
        std::size_t node = u32(0x14);
        for (int depth = u16(0x18); depth > 1; --depth)
            node = u32(node + 2 + 2 + f_[node + 2] - 1);
        std::vector<std::string> all;
        for (std::uint32_t leaves = 0; node; node = u32(node), ++leaves) {
            forEachEntry(node, 8, 0, [&](const std::string &word, std::size_t at) {
                if (!f_[at])
                    all.push_back(word);
            });
            if (leaves > u32(0x10))
                qFatal("leaf chain longer than the leaf count");
        }
        return all;
    }

private:
    template <typename F> void forEachEntry(std::size_t node, std::size_t header, std::size_t index, F onEntry) const
    {
        const std::size_t end = node + 4096 - u16(node + (index ? 0 : 6));
        std::string word;
        for (std::size_t at = node + header; at < end;) {
            word.resize(f_[at + 1]);
            word.append(reinterpret_cast<const char *>(&f_[at + 2]), f_[at] - 1);
            at += 2 + f_[at] - 1;
            onEntry(word, at);
            if (index) {
                at += index;
            } else {
                at += 1;
                while (f_[at++] & 0x80) {}
                at += 6;
                while (f_[at++] & 0x80) {}
            }
        }
    }

    PagePositions locations(std::size_t entry) const
    {
        std::size_t at = entry;
        auto takeCount = [&] {
            std::size_t value = 0;
            for (int shift = 0;; shift += 7) {
                value |= std::size_t(f_[at] & 0x7F) << shift;
                if (!(f_[at++] & 0x80))
                    return value;
            }
        };
        const std::size_t count = takeCount();
        std::size_t pos = u32(at);
        at += 6;
        const std::size_t size = takeCount();
        const std::size_t end = pos + size;
        int bit = 7;
        auto takeBit = [&] {
            const bool one = f_[pos] >> bit & 1;
            if (--bit < 0) bit = 7, ++pos;
            return one;
        };
        auto take = [&](int root) {
            int ones = 0;
            while (takeBit()) ++ones;
            const int bits = ones ? root + ones - 1 : root;
            std::uint32_t value = 0;
            for (int i = 0; i < bits; ++i) value = value << 1 | takeBit();
            return ones ? value | 1u << bits : value;
        };
        PagePositions pages;
        std::uint32_t topic = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint32_t delta = take(f_[0x1F]);
            if (i > 0 && delta == 0)
                qFatal("topic %u is listed twice for one word", topic);
            topic += delta;
            std::uint32_t location = 0;
            for (std::uint32_t hits = take(f_[0x21]); hits; --hits)
                pages[topic].push_back(location += take(f_[0x23]));
            if (bit != 7) bit = 7, ++pos;
        }
        if (pos != end)
            qFatal("location codes end at %zu, not at %zu", pos, end);
        return pages;
    }

    Bytes f_;
};

struct Page {
    const char *title, *text;
};

const Page corpus[] = {
    {"Getting started", "Install the program. Run it once."},
    {"Café menu", "The café serves Crème brûlée and ÉCLAIRS. Москва 2024 read_file"},
    {"Reference", "Install notes: the program reads __init__ files. x "
                  "abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz"},
    {"Zebra", "the end"},
};

Bytes corpusIndex()
{
    FullTextIndexBuilder builder;
    for (std::uint32_t topic = 0; topic < std::size(corpus); ++topic)
        builder.addDocument(topic, corpus[topic].title, corpus[topic].text);
    return builder.build();
}

std::vector<std::uint32_t> topicsOf(const PagePositions &pages)
{
    std::vector<std::uint32_t> topics;
    for (const auto &page : pages)
        topics.push_back(page.first);
    return topics;
}

} // namespace

using Topics = std::vector<std::uint32_t>;
Q_DECLARE_METATYPE(Topics)
Q_DECLARE_METATYPE(std::string)

class TestFullTextIndex : public QObject {
    Q_OBJECT

private slots:
    void splitsWords_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("words");
        QTest::newRow("punctuation") << QByteArray("Hello, world! It's (fine).") << "hello@0 world@1 it@2 s@3 fine@4";
        QTest::newRow("numbers and identifiers") << QByteArray("v2.10 __init__ read_file") << "v2@0 10@1 init@2 read_file@3";
        QTest::newRow("accents lower-cased") << QByteArray("ÀÉÎÕÜ Ÿ Łódź ΣΟΦΙΑ ЖУК") << "àéîõü@0 ÿ@1 łódź@2 σοφια@3 жук@4";
        QTest::newRow("unicode separators") << QByteArray("a\u00A0b\u2014c\u201Cd\u201D e\u3001f") << "a@0 b@1 c@2 d@3 e@4 f@5";
        QTest::newRow("kana and ideographs in pairs")
            << QByteArray("東京タワーは高い。大阪Qt") << "東京@0 京タ@1 タワ@2 ワー@3 ーは@4 は高@5 高い@6 い@7 大阪@8 阪@9 qt@10";
        QTest::newRow("malformed bytes separate") << QByteArray("ab\xff" "cd\xe2\x80" "ef\xc3") << "ab@0 cd@1 ef@2";
        QTest::newRow("long word skipped, position kept")
            << "a " + QByteArray(70, 'q') + " b " + QByteArray(64, 'z') << "a@0 b@2 " + QString(64, 'z') + "@3";
    }

    void splitsWords()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, words);
        WordSplitter splitter({text.constData(), std::size_t(text.size())});
        std::string word, found;
        std::size_t position = 0;
        while (splitter.next(word, position))
            found += (found.empty() ? "" : " ") + word + "@" + std::to_string(position);
        QCOMPARE(QString::fromStdString(found), words);
    }

    void findsWords_data()
    {
        QTest::addColumn<std::string>("word");
        QTest::addColumn<Topics>("everywhere");
        QTest::addColumn<Topics>("inTitles");
        QTest::newRow("one page") << std::string("once") << Topics{0} << Topics{};
        QTest::newRow("two pages") << std::string("install") << Topics{0, 2} << Topics{};
        QTest::newRow("all pages") << std::string("the") << Topics{0, 1, 2, 3} << Topics{};
        QTest::newRow("title only") << std::string("zebra") << Topics{3} << Topics{3};
        QTest::newRow("title and text, in code page 1252") << std::string("caf\xe9") << Topics{1} << Topics{1};
        QTest::newRow("accented capitals") << std::string("\xe9" "clairs") << Topics{1} << Topics{};
        QTest::newRow("not in the code page: UTF-8") << std::string("москва") << Topics{1} << Topics{};
        QTest::newRow("number") << std::string("2024") << Topics{1} << Topics{};
        QTest::newRow("identifier") << std::string("read_file") << Topics{1} << Topics{};
        QTest::newRow("underscores trimmed") << std::string("init") << Topics{2} << Topics{};
        QTest::newRow("single letter") << std::string("x") << Topics{2} << Topics{};
        QTest::newRow("long word skipped") << std::string("abcdefghijklmnopqrstuvwxyzabcdefghijklmnopqrstuvwxyz"
                                                          "abcdefghijklmnopqrstuvwxyz") << Topics{} << Topics{};
        QTest::newRow("prefix is not the word") << std::string("instal") << Topics{} << Topics{};
    }

    void findsWords()
    {
        QFETCH(std::string, word);
        QFETCH(Topics, everywhere);
        QFETCH(Topics, inTitles);
        const IndexReader reader(corpusIndex());
        QCOMPARE(topicsOf(reader.find(word, false)), everywhere);
        QCOMPARE(topicsOf(reader.find(word, true)), inTitles);
    }

    void storesWordPositions()
    {
        const IndexReader reader(corpusIndex());
        // Title words come first: "Getting started" are 0 and 1, then "Install the program".
        QCOMPARE(reader.find("program", false), (PagePositions{{0, {4}}, {2, {4}}}));
        QCOMPARE(reader.find("the", false).at(1), (std::vector<std::uint32_t>{2}));
        QCOMPARE(reader.find("caf\xe9", false).at(1), (std::vector<std::uint32_t>{0, 3}));
        QCOMPARE(reader.find("caf\xe9", true).at(1), (std::vector<std::uint32_t>{0}));
        QCOMPARE(reader.u32(0x04), 4u);
    }

    void storesWordsInTheLanguagesCodePage_data()
    {
        QTest::addColumn<int>("languageId");
        QTest::addColumn<QString>("text");
        QTest::addColumn<std::string>("stored");
        QTest::addColumn<int>("codePage");
        QTest::newRow("Russian") << 0x419 << "Москва" << std::string("\xec\xee\xf1\xea\xe2\xe0") << 1251;
        QTest::newRow("Japanese") << 0x411 << "東" << std::string("\x93\x8c") << 932;
        QTest::newRow("Greek") << 0x408 << "ΣΟΦΙΑ" << std::string("\xf3\xef\xf6\xe9\xe1") << 1253;
    }

    void storesWordsInTheLanguagesCodePage()
    {
        QFETCH(int, languageId);
        QFETCH(QString, text);
        QFETCH(std::string, stored);
        QFETCH(int, codePage);
        FullTextIndexBuilder builder(static_cast<std::uint32_t>(languageId));
        builder.addDocument(0, "", text.toStdString());
        const IndexReader reader(builder.build());
        QCOMPARE(reader.words(), std::vector<std::string>{stored});
        QCOMPARE(reader.u32(0x7A), std::uint32_t(codePage));
        QCOMPARE(reader.u32(0x7E), std::uint32_t(languageId));
    }

    // Enough words for many leaves and one or two levels of index nodes.
    void findsWordsAmongThousandsOfPages_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<int>("depth");
        QTest::newRow("one index level") << 3000 << 2;
        QTest::newRow("two index levels") << 80000 << 3;
    }

    void findsWordsAmongThousandsOfPages()
    {
        QFETCH(int, pages);
        QFETCH(int, depth);
        FullTextIndexBuilder builder;
        for (int i = 0; i < pages; ++i) {
            const std::string text = "common unique" + std::to_string(i) + " group" + std::to_string(i % 50);
            builder.addDocument(std::uint32_t(i), "Page " + std::to_string(i), text);
        }
        const IndexReader reader(builder.build());
        QCOMPARE(int(reader.u16(0x18)), depth);
        QCOMPARE(reader.u32(0x04), std::uint32_t(pages));
        const auto words = reader.words();
        QCOMPARE(words.size(), std::size_t(pages + 50 + 2 + pages)); // uniqueN, groupN, common, page, title numbers
        QVERIFY(std::is_sorted(words.begin(), words.end()));
        QVERIFY(std::adjacent_find(words.begin(), words.end()) == words.end());
        for (int i = 0; i < pages; i += pages / 97)
            QCOMPARE(topicsOf(reader.find("unique" + std::to_string(i), false)), Topics{std::uint32_t(i)});
        QCOMPARE(reader.find("common", false).size(), std::size_t(pages));
        QCOMPARE(reader.find("group7", false).size(), std::size_t(pages / 50));
        QCOMPARE(reader.find("page", true).size(), std::size_t(pages));
        QCOMPARE(reader.find("uniquex", false).size(), std::size_t(0));
    }

    // A large page's hits grouped by word, few words or many: each word's
    // positions as they stand, in order, the title's first, its page listed
    // once.
    void findsEveryPositionOnALargePage_data()
    {
        QTest::addColumn<int>("vocabulary");
        QTest::newRow("a thousand words") << 1000;
        QTest::newRow("past 65,536 words") << 70001;
    }

    void findsEveryPositionOnALargePage()
    {
        QFETCH(int, vocabulary);
        constexpr int kWords = 150000;
        const auto wordAt = [&](int position) { return (position * 7919) % vocabulary; };
        std::string text;
        for (int position = 1; position < kWords; ++position)
            text += "w" + std::to_string(wordAt(position)) + " ";
        FullTextIndexBuilder builder;
        builder.addDocument(0, "Small", "w1 w2");
        builder.addDocument(1, "w" + std::to_string(wordAt(0)), text);
        const IndexReader reader(builder.build());
        for (const int word : {0, 1, 2, vocabulary / 3, vocabulary - 1}) {
            std::vector<std::uint32_t> expected;
            for (int position = 0; position < kWords; ++position)
                if (wordAt(position) == word)
                    expected.push_back(std::uint32_t(position));
            const PagePositions found = reader.find("w" + std::to_string(word), false);
            QCOMPARE(found.at(1), expected);
            QCOMPARE(found.count(0), std::size_t(word == 1 || word == 2));
        }
    }

    // Built on a thread of its own, the index is the same bytes, also when
    // the compile hands texts over faster than they are taken and when
    // every other page comes split before, against a word list numbered
    // otherwise, and read by the thread itself; a page out of order, or
    // words that cannot be read, fail the build, not the thread.
    void buildsTheSameOnAThreadOfItsOwn()
    {
        FullTextIndexBuilder builder(0x0407);
        SearchIndexThread thread(0x0409);
        std::string text;
        for (int i = 0; i < 8000; ++i)
            text += "w" + std::to_string(i % 997) + " ";
        const auto title = [](int i) { return "Page " + std::to_string(i); };
        WordTable table;
        table.idOf("w996"), table.idOf("unused"); // numbered otherwise than the index's own
        std::vector<PageWords> split(700);
        for (int i = 0; i < 700; i += 2)
            split[i].split(title(i), text + std::to_string(i), table);
        std::vector<std::string_view> words;
        for (std::uint32_t id = 0; id < table.size(); ++id)
            words.push_back(table.word(id));
        for (int i = 0; i < 700; ++i) {
            builder.addDocument(std::uint32_t(i), title(i), text + std::to_string(i));
            if (i % 2)
                thread.addDocument(std::uint32_t(i), title(i), text + std::to_string(i));
            else
                thread.addSplitDocument(
                    std::uint32_t(i), [&split, i] { return split[i]; }, words);
        }
        thread.setLanguageId(0x0407);
        QVERIFY(thread.build() == builder.build());

        SearchIndexThread disordered(0x0409);
        disordered.addDocument(2, "b", "two");
        disordered.addDocument(1, "a", "one");
        disordered.addDocument(3, "c", "three");
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, disordered.build());

        SearchIndexThread unreadable(0x0409);
        unreadable.addDocument(0, "a", "one");
        unreadable.addSplitDocument(
            1, []() -> PageWords { throw std::runtime_error("cannot read"); }, words);
        for (std::uint32_t i = 2; i < 100; ++i)
            unreadable.addSplitDocument(
                i, [&split] { return split[0]; }, words);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, unreadable.build());
    }

    // A page's words as the prepared content keeps them read back the same;
    // bytes that are not such words (cut short, a word the list lacks,
    // positions that go back, bytes after the end) are refused.
    void pageWordsReadBackOrRefused_data()
    {
        QTest::addColumn<QString>("damage");
        for (const char *damage : {"none", "cut short", "a byte after", "a word the list lacks", "a position repeated"})
            QTest::newRow(damage) << QString::fromLatin1(damage);
    }
    void pageWordsReadBackOrRefused()
    {
        QFETCH(QString, damage);
        WordTable table;
        PageWords page;
        page.split("A title", "Its text, with words: " + std::string(300, 'x') + " the title again", table);
        if (damage == "a position repeated")
            page.hits[3] = page.hits[2];
        Bytes bytes;
        page.appendTo(bytes);
        if (damage == "cut short")
            bytes.pop_back();
        if (damage == "a byte after")
            bytes.push_back(0);
        const std::optional<PageWords> back = PageWords::from(bytes,
                                                              damage == "a word the list lacks" ? 2 : table.size());
        QCOMPARE(back.has_value(), damage == "none");
        if (back)
            QVERIFY(back->titleWords == 2 && back->hits == page.hits);
    }

    // The compile reads the pages' words from the prepared content in its
    // own order: mostly the order they were prepared in, read ahead in
    // pieces, at times backwards or past a piece's end.
    void preparedWordsReadInAnyOrder()
    {
        QTemporaryDir folder;
        const std::string path = folder.filePath("prepared").toStdString();
        std::vector<std::pair<std::string, html::Page>> pages;
        PreparedContentWriter writer(path, 1);
        for (int i = 0; i < 40; ++i) {
            // Every seventh page's words are longer than a piece.
            std::string text = "<title>Page " + std::to_string(i) + "</title><p>word" + std::to_string(i);
            for (int w = 0; w < (i % 7 == 0 ? 200'000 : 3); ++w)
                text += " w" + std::to_string(w % 500);
            pages.emplace_back("/p" + std::to_string(i) + ".html",
                               html::readPage(text, html::PageParts::OutlineAndText));
            writer.add(pages.back().first, text, &pages.back().second, std::nullopt);
        }
        QVERIFY(writer.finish());
        for (const bool backwards : {false, true}) {
            const std::unique_ptr<PreparedContent> content = PreparedContent::open(path);
            QVERIFY(content);
            if (backwards)
                std::reverse(pages.begin(), pages.end());
            for (const auto &[name, page] : pages) {
                WordTable table;
                PageWords expected;
                expected.split(html::topicTitle(page.title, page.firstHeading), page.text, table);
                const PageWords read = content->words(*content->find(name));
                QCOMPARE(read.titleWords, expected.titleWords);
                QCOMPARE(read.hits.size(), expected.hits.size());
                for (std::size_t i = 0; i < read.hits.size(); ++i)
                    QVERIFY(PageWords::positionOf(read.hits[i]) == PageWords::positionOf(expected.hits[i])
                            && content->words()[PageWords::wordOf(read.hits[i])]
                                   == table.word(PageWords::wordOf(expected.hits[i])));
            }
        }
    }

    // A help file holding the index, searched by python3-chm (chmlib underneath):
    // whole words, prefixes, titles only; each search prints the titles and pages it names.
    void python3ChmFindsPages_data()
    {
        QTest::addColumn<int>("pages"); // 0: the corpus; else pages of generated words
        QTest::addColumn<QStringList>("searches");
        QTest::addColumn<QString>("found");
        QTest::newRow("corpus")
            << 0
            << QStringList{"install 1 0", "once 1 0", "café 1 0", "café 1 1", "zebra 1 0", "москва 0 0", "inst 0 0",
                           "the 1 1", "nowhere 0 0"}
            << "install 1 0 Getting started=page0.html;Reference=page2.html\n"
               "once 1 0 Getting started=page0.html\n"
               "café 1 0 Café menu=page1.html\n"
               "café 1 1 Café menu=page1.html\n"
               "zebra 1 0 Zebra=page3.html\n"
               "москва 0 0 Café menu=page1.html\n"
               "inst 0 0 Getting started=page0.html;Reference=page2.html\n"
               "the 1 1 \n"
               "nowhere 0 0 \n";
        QTest::newRow("two index levels")
            << 80000 << QStringList{"unique0 1 0", "unique41234 1 0", "unique79999 1 0", "unique7999 0 0", "59999 1 1"}
            << "unique0 1 0 Page 0=page0.html\n"
               "unique41234 1 0 Page 41234=page41234.html\n"
               "unique79999 1 0 Page 79999=page79999.html\n"
               "unique7999 0 0 Page 79990=page79990.html;Page 79991=page79991.html;Page 79992=page79992.html;"
               "Page 79993=page79993.html;Page 79994=page79994.html;Page 79995=page79995.html;"
               "Page 79996=page79996.html;Page 79997=page79997.html;Page 79998=page79998.html;"
               "Page 79999=page79999.html;Page 7999=page7999.html\n"
               "59999 1 1 Page 59999=page59999.html\n";
    }

    void python3ChmFindsPages()
    {
        QFETCH(int, pages);
        QFETCH(QStringList, searches);
        QFETCH(QString, found);
        if (QProcess::execute("/usr/bin/python3", {"-c", "import chm.chm"}) != 0)
            QSKIP("python3-chm is not installed");
        QTemporaryDir dir;
        const std::string path = dir.filePath("search.chm").toStdString();
        ChmWriter writer(path, {});
        std::vector<Topic> topics;
        FullTextIndexBuilder builder;
        for (std::size_t i = 0; i < (pages ? std::size_t(pages) : std::size(corpus)); ++i) {
            const std::string name = "/page" + std::to_string(i) + ".html";
            const std::string title = pages ? "Page " + std::to_string(i) : corpus[i].title;
            const std::string text = pages ? "unique" + std::to_string(i) : corpus[i].text;
            if (!pages) // search reads no page; these are here to be opened
                writer.addFile(name, {reinterpret_cast<const std::uint8_t *>(text.data()), text.size()});
            topics.push_back({name, title});
            builder.addDocument(std::uint32_t(i), title, text);
        }
        InternalFileSettings settings;
        settings.title = "Search";
        settings.defaultTopic = "page0.html";
        settings.compiledFileName = "search.chm";
        settings.fullTextSearch = true;
        for (const StoredFile &file : buildInternalFiles(settings, topics))
            writer.addFile(file.name, file.bytes, file.compressed);
        writer.addFile("/$FIftiMain", builder.build());
        writer.finish();

        const char *script = R"(
import sys
from chm import chm
f = chm.CHMFile()
assert f.LoadCHM(sys.argv[1].encode())
for search in sys.argv[2:]:
    word, whole, titles = search.split()
    try:
        query = word.encode('cp1252')
    except UnicodeError:
        query = word.encode()
    found = f.Search(query, int(whole), int(titles))[1]
    print(search, ';'.join(sorted(t.decode('cp1252') + '=' + u.decode() for t, u in found.items())))
)";
        QProcess python;
        python.start("/usr/bin/python3", QStringList{"-c", script, QString::fromStdString(path)} + searches);
        QVERIFY(python.waitForFinished(60000));
        QCOMPARE(QString::fromUtf8(python.readAllStandardError()), QString());
        QCOMPARE(QString::fromUtf8(python.readAllStandardOutput()), found);
    }
};

QTEST_GUILESS_MAIN(TestFullTextIndex)
#include "test_full_text_index.moc"
