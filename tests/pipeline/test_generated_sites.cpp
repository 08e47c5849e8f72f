// Contents and index of sites that real documentation generators built
// (doxygen, makeinfo, sphinx; tests/fixtures/generators, rebuilt by its
// script): a reader finds the site's names by typing them into the Index,
// no keyword is furniture found on many pages, the contents nest as the
// site does and cover every page. And the rules that get there: keyword
// text, reading order, links between saved pages, long lists.

#include "pipeline/ContentsFile.h"
#include "pipeline/ContentsTree.h"
#include "pipeline/IndexFile.h"
#include "pipeline/KeywordText.h"
#include "pipeline/LinkTarget.h"
#include "support/GeneratedSites.h"

#include <QTest>

using namespace quorlix;
using namespace quorlix::pipeline;

namespace {

const QString kGenerators = QStringLiteral(QUORLIX_FIXTURES "/generators/");

// The pages each keyword leads to, itself and its entries together.
QHash<QString, QSet<QString>> pagesOfKeywords(const QByteArray &index)
{
    QHash<QString, QSet<QString>> pages;
    QString keyword;
    for (const testing::SitemapLine &line : testing::sitemapLines(index)) {
        if (line.depth == 0)
            keyword = line.name;
        pages[keyword].insert(line.local.section(QLatin1Char('#'), 0, 0));
    }
    return pages;
}

} // namespace

class TestGeneratedSites : public QObject {
    Q_OBJECT
private slots:
    void generatedSite_data();
    void generatedSite();
    void nestedAsTheSiteNestsIt_data();
    void nestedAsTheSiteNestsIt();
    void keywordText_data();
    void keywordText();
    void readingOrder_data();
    void readingOrder();
    void linkTargets_data();
    void linkTargets();
    void longListsSplit();
    void topEntryWithoutAscii();
};

void TestGeneratedSites::generatedSite_data()
{
    QTest::addColumn<QString>("generator");
    QTest::newRow("doxygen") << "doxygen";
    QTest::newRow("makeinfo") << "texinfo";
    QTest::newRow("sphinx") << "sphinx";
}

void TestGeneratedSites::generatedSite()
{
    QFETCH(QString, generator);
    const testing::ReadSite site = testing::readSite(kGenerators + generator + QStringLiteral("/site"));
    QVERIFY(site.pages.size() >= 15);
    const IndexFile index = MakeIndexFile(site.files, site.pages);
    const ContentsFile contents = MakeContentsFile(site.files, site.pages);
    // The window lets go of the links only index pages need: the same index.
    SavedPages lighter = site.pages;
    LetGoOfLinksNoIndexReads(lighter);
    QCOMPARE(MakeIndexFile(site.files, lighter).bytes, index.bytes);

    QStringList missing;
    const double share =
        testing::findableShare(index.bytes, testing::sampledNames(kGenerators + generator + QStringLiteral("/names.txt")), &missing);
    QVERIFY2(share >= 0.9, qPrintable(QStringLiteral("%1 % found; not: %2").arg(share * 100).arg(missing.join(", "))));

    const QHash<QString, QSet<QString>> keywordPages = pagesOfKeywords(index.bytes);
    for (auto it = keywordPages.cbegin(); it != keywordPages.cend(); ++it)
        QVERIFY2(it->size() * 10 <= site.pages.size(), qPrintable(it.key()));

    const QList<testing::SitemapLine> lines = testing::sitemapLines(contents.bytes);
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first().name, QString::fromStdString(site.pages.value(site.files.first()).title));
    QCOMPARE(lines.first().local, site.files.first());
    QHash<QString, int> siblings; // by depth and parent line
    QSet<QString> covered;
    QList<int> parents{-1};
    for (int i = 0; i < lines.size(); ++i) {
        parents.resize(lines[i].depth + 1);
        QVERIFY(++siblings[QStringLiteral("%1/%2").arg(lines[i].depth).arg(parents.value(lines[i].depth - 1))] <= 250);
        parents << i;
        covered.insert(lines[i].local.section(QLatin1Char('#'), 0, 0));
    }
    for (const QString &file : site.pages.keys())
        QVERIFY2(covered.contains(file), qPrintable(file));
}

void TestGeneratedSites::nestedAsTheSiteNestsIt_data()
{
    QTest::addColumn<QString>("generator");
    QTest::addColumn<QStringList>("expected"); // consecutive entries, indented by depth
    QTest::newRow("makeinfo's table of contents")
        << "texinfo" << QStringList{" Library interface", "  Opening a frobber", "  Frobbing a buffer", "  Closing a frobber", " Tips and tricks"};
    QTest::newRow("sphinx's toctree") << "sphinx" << QStringList{" User guide", "  Installing", "  First steps"};
    QTest::newRow("doxygen's member lists below their classes")
        << "doxygen" << QStringList{" tally::Clock Class Reference", "  Member List", " tally::Counter Class Reference"};
    QTest::newRow("sub-entries: sphinx's join()")
        << "sphinx:index" << QStringList{"join()", " in module widgetry.paths", " widgetry.core.Widget method", " widgetry.core.Window method"};
    QTest::newRow("sub-entries: a member of two classes")
        << "doxygen:index" << QStringList{"name()", " tally::Counter", " tally::Histogram"};
}

void TestGeneratedSites::nestedAsTheSiteNestsIt()
{
    QFETCH(QString, generator);
    QFETCH(QStringList, expected);
    const testing::ReadSite site = testing::readSite(kGenerators + generator.section(QLatin1Char(':'), 0, 0) + QStringLiteral("/site"));
    const QByteArray bytes = generator.endsWith(QLatin1String(":index")) ? MakeIndexFile(site.files, site.pages).bytes
                                                                       : MakeContentsFile(site.files, site.pages).bytes;
    QStringList outline;
    for (const testing::SitemapLine &line : testing::sitemapLines(bytes))
        outline << QString(line.depth, QLatin1Char(' ')) + line.name;
    const qsizetype at = outline.indexOf(expected.first());
    QVERIFY2(at >= 0, qPrintable(outline.join('\n')));
    QCOMPARE(outline.mid(at, expected.size()), expected);
}

void TestGeneratedSites::keywordText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::newRow("section number") << "16.2 Options for the linker" << "Options for the linker";
    QTest::newRow("deep number with dot") << "1.1.10. Comparisons" << "Comparisons";
    QTest::newRow("appendix") << "A.3 Copying" << "Copying";
    QTest::newRow("member sign") << "\u25c6\u00a0push_back()" << "push_back()";
    QTest::newRow("permalink signs") << "Usage \u00b6" << "Usage";
    QTest::newRow("hash before") << "# Install #" << "Install";
    QTest::newRow("a number that is the name") << "1984" << "1984";
    QTest::newRow("a version in the name") << "3.11 What's new" << "What's new";
    QTest::newRow("a name that starts with a hash") << "#include" << "#include";
    QTest::newRow("a number and nothing after") << "2. " << "2.";
}

void TestGeneratedSites::keywordText()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    QCOMPARE(CleanedKeyword(text), keyword);
}

void TestGeneratedSites::readingOrder_data()
{
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("numbers by value") << QStringList{"Chapter 2", "chapter 10", "Chapter 11", "chapter 100"};
    QTest::newRow("case only breaks ties") << QStringList{"apple", "Banana", "banana", "cherry"};
    QTest::newRow("leading zeros") << QStringList{"v007", "v8", "v09"};
    QTest::newRow("prefix first") << QStringList{"join", "join()", "joinpath"};
    QTest::newRow("zeros and case") << QStringList{"B01", "b01", "b1", "B1x"};
    QTest::newRow("accents among their letters") << QStringList{"Caf\u00e9", "cafe\u0301s", "Eclair", "\u00c9t\u00e9", "ete2", "Gr\u00f6\u00dfe", "\u00dcber"};
    QTest::newRow("beyond the BMP") << QStringList{"Straße", "ΣΊΣΥΦΟΣ", "\U00010400a", "\U00010428b"};
}

void TestGeneratedSites::readingOrder()
{
    QFETCH(QStringList, sorted);
    QStringList shuffled = sorted;
    std::reverse(shuffled.begin(), shuffled.end());
    std::sort(shuffled.begin(), shuffled.end(), [](const QString &a, const QString &b) { return NaturalCompare(a, b) < 0; });
    QCOMPARE(shuffled, sorted);
    // The index compares folded texts without folding them first.
    for (const QString &a : sorted)
        for (const QString &b : sorted)
            QCOMPARE(NaturalCompareFolded(a, b), NaturalCompare(a.toCaseFolded(), b.toCaseFolded()));
    QCOMPARE(SplitQualifier(QStringLiteral("join() (in module os.path)")),
             qMakePair(QStringLiteral("join()"), QStringLiteral("in module os.path")));
    QCOMPARE(SplitQualifier(QStringLiteral("f(x)")), qMakePair(QStringLiteral("f(x)"), QString()));
}

void TestGeneratedSites::linkTargets_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("place"); // "" when it leads out of the saved files
    QTest::newRow("sibling") << "b.html" << "h/doc/b.html";
    QTest::newRow("anchor elsewhere") << "../api/x.html#join" << "h/api/x.html#join";
    QTest::newRow("own anchor") << "#top" << "h/doc/a.html#top";
    QTest::newRow("escaped") << "my%20page.html#a%20b" << "h/doc/my page.html#a b";
    QTest::newRow("folder") << "sub/" << "h/doc/sub/index.html";
    QTest::newRow("query dropped") << "b.html?x=1" << "h/doc/b.html";
    QTest::newRow("other site") << "https://example.org/x.html" << "";
    QTest::newRow("mail") << "mailto:a@b" << "";
    QTest::newRow("from the root") << "/x.html" << "";
    QTest::newRow("above the output folder") << "../../../x.html" << "";
    QTest::newRow("escaped climb") << "%2e%2e/%2e%2e/%2e%2e/x.html" << "";
}

void TestGeneratedSites::linkTargets()
{
    QFETCH(QString, href);
    QFETCH(QString, place);
    const LinkTarget target = ResolvedLink(QStringLiteral("h/doc/a.html"), href.toStdString());
    QCOMPARE(target.file.isEmpty() ? QString() : target.place(), place);
}

void TestGeneratedSites::longListsSplit()
{
    // 400 entries, half of them starting with "a": by letters; 700 of one
    // letter: in parts.
    std::vector<ContentsNode> nodes;
    for (int i = 0; i < 400; ++i)
        nodes.push_back(ContentsNode{(i % 2 ? QStringLiteral("b%1") : QStringLiteral("a%1")).arg(i), QString::number(i), {}});
    SplitLongLists(nodes);
    QStringList names;
    for (const ContentsNode &node : nodes)
        names << QStringLiteral("%1:%2").arg(node.name).arg(node.children.size());
    QCOMPARE(names, (QStringList{"A:200", "B:200"}));
    std::vector<ContentsNode> many(700, ContentsNode{QStringLiteral("same"), QStringLiteral("x"), {}});
    SplitLongLists(many);
    names.clear();
    for (const ContentsNode &node : many)
        names << QStringLiteral("%1:%2").arg(node.name).arg(node.children.size());
    QCOMPARE(names, (QStringList{"S (1):250", "S (2):250", "S (3):200"}));
}

void TestGeneratedSites::topEntryWithoutAscii()
{
    // A viewer that drops what is not ASCII still has a name for the top.
    const QStringList files{"docs.example.jp/index.html", "docs.example.jp/a.html"};
    SavedPages pages{{files[0], html::Page{}}, {files[1], html::Page{}}};
    pages[files[0]].title = "\u30b7\u30b9\u30c6\u30e0\u7ba1\u7406";
    pages[files[1]].title = "\u7b2c3\u7ae0";
    const QList<testing::SitemapLine> lines = testing::sitemapLines(MakeContentsFile(files, pages).bytes);
    QCOMPARE(lines.value(0).name, QString("\u30b7\u30b9\u30c6\u30e0\u7ba1\u7406 (docs.example.jp)"));
    QCOMPARE(lines.value(1).name, QString("\u7b2c3\u7ae0"));
}

QTEST_GUILESS_MAIN(TestGeneratedSites)
#include "test_generated_sites.moc"
