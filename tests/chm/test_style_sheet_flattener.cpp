// Style sheets as the help file stores them: imports replaced by the
// imported text, relative addresses written from the help file's root.

#include "chm/sheets/StyleSheetFlattener.h"

#include <QTest>

#include <map>

using quorlix::chm::flattenStyleSheet;
using quorlix::chm::rootRelativeAddress;
using quorlix::chm::StyleSheetFlattener;

namespace {

using Sheets = std::map<std::string, std::string>;

std::string flattened(const Sheets &sheets, const std::string &name)
{
    return flattenStyleSheet(name, sheets.at(name), [&](const std::string &imported) -> std::optional<std::string> {
        const auto found = sheets.find(imported);
        return found == sheets.end() ? std::nullopt : std::optional(found->second);
    });
}

} // namespace

class TestStyleSheetFlattener : public QObject {
    Q_OBJECT

private slots:
    void flattens_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<QString>("imported");
        QTest::addColumn<QString>("nested");
        QTest::addColumn<QString>("expected");
        // The top sheet is /s/_static/theme.css; it may import
        // /s/_static/base/b.css, which may import /s/_static/c.css.
        QTest::newRow("chain, rebased from each sheet's own folder")
            << "@import url(\"base/b.css\");\np { background: url(img/p.png) }"
            << "@import '../c.css';\nh1 { background: url('../img/h.png') }"
            << "em { src: url(fonts/e.woff?v=2#x) }"
            << "em { src: url(\"/s/_static/fonts/e.woff?v=2#x\") }\n\nh1 { background: url(\"/s/_static/img/h.png\") }\n\np { background: url(\"/s/_static/img/p.png\") }";
        QTest::newRow("media wrapped, 'all' not")
            << "@import \"base/b.css\" screen and (min-width: 10px);@import url(c.css) all;"
            << "h1{}" << "em{}"
            << "@media screen and (min-width: 10px) {\nh1{}\n}\nem{}\n";
        QTest::newRow("each sheet once, cycles cut")
            << "@import \"base/b.css\";@import \"c.css\";@import \"theme.css\";x{}"
            << "@import \"../c.css\";@import \"../theme.css\";h1{}" << "@import \"base/b.css\";em{}"
            << "em{}\nh1{}\nx{}";
        QTest::newRow("an import with a query, saved with '@'")
            << "@import \"base/b.css?v=2\";x{}" << "" << ""
            << "h1{}\nx{}";
        QTest::newRow("one @charset, first")
            << "@import \"base/b.css\";x{}" << "@charset \"utf-8\";h1{}" << ""
            << "@charset \"utf-8\";\nh1{}\nx{}";
        QTest::newRow("kept: absolute, data, root-relative, above the root, missing, after rules")
            << "a{b:url(http://x/y.png);c:url(data:image/png;base64,AA==);d:url(/r.png);e:url(../../../u.png)}"
               "@import \"c.css\";"
            << "" << ""
            << "a{b:url(http://x/y.png);c:url(data:image/png;base64,AA==);d:url(/r.png);e:url(../../../u.png)}"
               "@import \"c.css\";";
        QTest::newRow("missing import stays, its address rebased")
            << "@import \"gone.css\" print;x{}" << "" << ""
            << "@import url(\"/s/_static/gone.css\") print;x{}";
        QTest::newRow("strings and comments untouched")
            << "/* url(a.png) @import \"b.css\"; */ p::before { content: \"url(a.png)\" }" << "" << ""
            << "/* url(a.png) @import \"b.css\"; */ p::before { content: \"url(a.png)\" }";
    }

    void flattens()
    {
        QFETCH(QString, top);
        QFETCH(QString, imported);
        QFETCH(QString, nested);
        QFETCH(QString, expected);
        Sheets sheets{{"/s/_static/theme.css", top.toStdString()}};
        if (!imported.isEmpty())
            sheets["/s/_static/base/b.css"] = imported.toStdString();
        if (!nested.isEmpty())
            sheets["/s/_static/c.css"] = nested.toStdString();
        if (QByteArray(QTest::currentDataTag()).contains("query"))
            sheets["/s/_static/base/b.css@v=2"] = "h1{}";
        QCOMPARE(QString::fromStdString(flattened(sheets, "/s/_static/theme.css")), expected);
    }

    // Past the budget an import stays as written, from the root, and a sheet
    // whose addresses alone would pass it is stored as saved.
    void budget_data()
    {
        QTest::addColumn<QString>("top");
        QTest::addColumn<qulonglong>("budget");
        QTest::addColumn<QString>("expected");
        const QString importing = "@import \"base/b.css\";x{background:url(a.png)}";
        QTest::newRow("within") << importing << 10000ull << "h1{}\nx{background:url(\"/s/_static/a.png\")}";
        QTest::newRow("import past it")
            << importing << 12ull << "@import url(\"/s/_static/base/b.css\");x{background:url(\"/s/_static/a.png\")}";
        QTest::newRow("addresses past it") << "x{background:url(a.png)}" << 4ull << "x{background:url(a.png)}";
    }

    void budget()
    {
        QFETCH(QString, top);
        QFETCH(qulonglong, budget);
        QFETCH(QString, expected);
        int reads = 0;
        StyleSheetFlattener sheets(
            [&](const std::string &name) -> std::optional<std::string> {
                ++reads;
                return name == "/s/_static/base/b.css" ? std::optional<std::string>("h1{}") : std::nullopt;
            },
            budget);
        QCOMPARE(QString::fromStdString(sheets.flatten("/s/_static/theme.css", top.toStdString())), expected);
        QCOMPARE(sheets.sheetsCut(), std::uint64_t(expected.contains("h1") ? 0 : 1));
        // A sheet imported again is not read again.
        sheets.flatten("/s/_static/other.css", "@import \"base/b.css\";");
        QVERIFY(reads <= 1);
    }

    void rootRelative_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("ref");
        QTest::addColumn<QString>("expected"); // "-" for none
        QTest::newRow("beside") << "/a/b.css" << "c.png" << "/a/c.png";
        QTest::newRow("up and dot") << "/a/b/c.css" << "./../d/./e.png" << "/a/d/e.png";
        QTest::newRow("folder with a space") << "/my site/c.css" << "i%20j.png" << "/my%20site/i%20j.png";
        QTest::newRow("above the root") << "/a/c.css" << "../../x.png" << "-";
        QTest::newRow("scheme") << "/a/c.css" << "ms-its:x.chm::/y" << "-";
        QTest::newRow("fragment only") << "/a/c.css" << "#f" << "-";
    }

    void rootRelative()
    {
        QFETCH(QString, name);
        QFETCH(QString, ref);
        QFETCH(QString, expected);
        const auto got = rootRelativeAddress(name.toStdString(), ref.toStdString());
        QCOMPARE(got ? QString::fromStdString(*got) : QStringLiteral("-"), expected);
    }
};

QTEST_APPLESS_MAIN(TestStyleSheetFlattener)
#include "test_style_sheet_flattener.moc"
