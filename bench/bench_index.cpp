// The index and the contents written from sites that documentation
// generators built: the share of a site's names a reader finds by typing
// them into the Index tab, how much of the site's own table of contents the
// contents follow, the keywords that fail a reader (leading only to the
// site's index page, running text, found on too many pages), the longest
// list; Node.js's documentation's figures when it is installed (see
// nodeFigures); and the time to write both for Python's own documentation (a
// Sphinx site of some 500 pages) when it is installed.

#include "pipeline/ContentsFile.h"
#include "pipeline/IndexFile.h"
#include "support/GeneratedSites.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace quorlix;

namespace {

// Keywords with two entries below them named alike ("os" › "module",
// "module"), which tell a reader nothing, and a few of them.
qsizetype alikeSubEntries(const QByteArray &index, QStringList *examples = nullptr)
{
    qsizetype alike = 0;
    QString keyword;
    QSet<QString> labels;
    bool counted = false;
    for (const testing::SitemapLine &line : testing::sitemapLines(index)) {
        if (line.depth == 0) {
            keyword = line.name;
            labels.clear();
            counted = false;
        } else if (line.depth == 1 && (labels.contains(line.name) || (labels.insert(line.name), false)) && !counted) {
            counted = true;
            ++alike;
            if (examples && examples->size() < 6)
                *examples << keyword + QStringLiteral(" › ") + line.name;
        }
    }
    return alike;
}

// A file as written, to read or to look at in a viewer, where
// QUORLIX_BENCH_OUT names a folder for them.
void writeOut(const QString &name, const QByteArray &bytes)
{
    if (const QString out = qEnvironmentVariable("QUORLIX_BENCH_OUT"); !out.isEmpty()) {
        QDir().mkpath(out);
        QFile file(out + QLatin1Char('/') + name);
        if (file.open(QIODevice::WriteOnly))
            file.write(bytes);
    }
}

// Node.js's documentation, made by its own generator, which no fixture
// follows: its headings end in a link to themselves ("#"), its methods are
// named with their objects ("fs.readFile(path[, options], callback)"), and
// all.html repeats every page. Keywords that keep the "#", the share of its
// methods found by their bare names, and the keywords leading to all.html.
void nodeFigures(const QString &folder)
{
    if (!QDir(folder).exists()) {
        std::printf("Node.js's documentation: not installed at %s\n\n", qPrintable(folder));
        return;
    }
    const testing::ReadSite site = testing::readSite(folder, QStringLiteral("nodejs.org"));
    const pipeline::IndexFile index = pipeline::MakeIndexFile(site.files, site.pages);
    writeOut(QStringLiteral("node.hhk"), index.bytes);
    // Every method a heading of a page documents (h1-h6, all.html aside).
    static const QRegularExpression heading(QStringLiteral("<h[1-6][^>]*>(.*?)</h[1-6]>"));
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    static const QRegularExpression method(QStringLiteral("^(?:[A-Za-z_$][\\w$]*\\.)+([A-Za-z_$][\\w$]*)\\("));
    QSet<QString> methods;
    for (const QString &file : site.files) {
        QFile in(folder + file.mid(file.indexOf(QLatin1Char('/'))));
        if (!file.endsWith(QLatin1String(".html")) || file.endsWith(QLatin1String("/all.html"))
            || !in.open(QIODevice::ReadOnly))
            continue;
        const QString html = QString::fromUtf8(in.readAll());
        for (auto it = heading.globalMatch(html); it.hasNext();)
            if (const auto found = method.match(QString(it.next().captured(1)).remove(tag)); found.hasMatch())
                methods.insert(found.captured(1));
    }
    QStringList missing;
    const double share = testing::findableShare(index.bytes, methods.values(), &missing);
    qsizetype hashEnded = 0, toAllInOne = 0;
    QString keyword;
    bool counted = false;
    for (const testing::SitemapLine &line : testing::sitemapLines(index.bytes)) {
        if (line.depth == 0) {
            keyword = line.name;
            counted = false;
            hashEnded += keyword.endsWith(QLatin1Char('#'));
        }
        // Anchors only: the one-page manual's own title leads to it.
        if (!counted && line.local.contains(QLatin1String("/all.html#"))) {
            ++toAllInOne;
            counted = true;
        }
    }
    std::printf(
        "Node.js docs: %lld pages, index %lld keywords: %lld end in '#', %lld lead to an anchor in all.html,\n"
        "  %lld with entries alike below them; %lld methods typed bare, %.1f %% findable%s%s\n\n",
        static_cast<long long>(site.pages.size()), static_cast<long long>(index.keywords),
        static_cast<long long>(hashEnded), static_cast<long long>(toAllInOne),
        static_cast<long long>(alikeSubEntries(index.bytes)), static_cast<long long>(methods.size()), share * 100.0,
        missing.isEmpty() ? "" : "; not: ", qPrintable(QStringList(missing.mid(0, 12)).join(QStringLiteral(", "))));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString generators = QStringLiteral(QUORLIX_SOURCE_DIR "/tests/fixtures/generators");
    std::printf("Targets: findable >= 90 %%, same parent >= 85 %%, no keyword only to an index page, sentences <= 0.5 %%\n"
                "of keywords, no list over 250, no keyword on more than a tenth of the pages, no named reference\n"
                "but amp, lt, gt, quot in either file.\n\n");
    std::printf("%-15s %9s %7s %9s %8s %10s %9s %8s %7s %6s %6s\n", "site", "findable", "parent", "keywords",
                "to index", "sentences", "longest", "broad", "named", "alike", "pages");
    QStringList details;
    for (const QString &name : testing::kGeneratedSites) {
        const testing::ReadSite site = testing::readSite(generators + QLatin1Char('/') + name + QStringLiteral("/site"));
        const pipeline::IndexFile index = pipeline::MakeIndexFile(site.files, site.pages);
        const pipeline::ContentsFile contents = pipeline::MakeContentsFile(site.files, site.pages);
        writeOut(name + QStringLiteral(".hhc"), contents.bytes);
        writeOut(name + QStringLiteral(".hhk"), index.bytes);
        QStringList missing, misplaced;
        const double share = testing::findableShare(
            index.bytes, testing::sampledNames(generators + QLatin1Char('/') + name + QStringLiteral("/names.txt")),
            &missing);
        const QList<testing::SiteEntry> siteContents =
            testing::siteContents(generators + QLatin1Char('/') + name + QStringLiteral("/contents.txt"));
        const double sameParent = testing::sameParentShare(contents.bytes, siteContents, &misplaced);
        const testing::IndexFigures figures = testing::indexFigures(index.bytes, contents.bytes, site);
        const QStringList named = testing::otherNamedReferences(contents.bytes + index.bytes);
        QStringList alikeExamples;
        const qsizetype alike = alikeSubEntries(index.bytes, &alikeExamples);
        std::printf("%-15s %7.1f %% %5.1f %% %9lld %8lld %6lld %4.1f%% %9lld %8lld %7lld %6lld %6lld\n",
                    qPrintable(name), share * 100.0, sameParent * 100.0, static_cast<long long>(figures.keywords),
                    static_cast<long long>(figures.toIndexPageOnly), static_cast<long long>(figures.sentences),
                    figures.keywords ? 100.0 * double(figures.sentences) / double(figures.keywords) : 0.0,
                    static_cast<long long>(figures.longestList), static_cast<long long>(figures.broad),
                    static_cast<long long>(named.size()), static_cast<long long>(alike),
                    static_cast<long long>(site.pages.size()));
        const auto detail = [&](const char *what, const QStringList &items) {
            if (!items.isEmpty())
                details << QStringLiteral("%1, %2: %3").arg(name, QLatin1String(what), items.mid(0, 8).join(QStringLiteral(" | ")));
        };
        detail("not findable", missing);
        detail("not under their site parent", misplaced);
        detail("failing keywords", figures.examples);
        detail("named references", named);
        detail("entries alike", alikeExamples);
    }
    std::printf("\n%s\n\n", qPrintable(details.join(QLatin1Char('\n'))));
    nodeFigures(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/usr/share/doc/nodejs/api"));

    const QString python = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/usr/share/doc/python3.11/html");
    if (!QDir(python).exists()) {
        std::printf("Python's documentation: not installed at %s\n", qPrintable(python));
        return 0;
    }
    const testing::ReadSite site = testing::readSite(python, QStringLiteral("docs.python.org"));
    // CPU time as well as wall time: on a busy machine the wall clock also
    // counts the time other programs ran. The best of a few runs.
    double seconds = 1e9, cpuSeconds = 1e9;
    pipeline::ContentsFile contents;
    pipeline::IndexFile index;
    const int runs = qEnvironmentVariableIntValue("QUORLIX_BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("QUORLIX_BENCH_RUNS") : 3;
    for (int run = 0; run < runs; ++run) {
        timespec cpuStart{}, cpuEnd{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuStart);
        QElapsedTimer clock;
        clock.start();
        contents = pipeline::MakeContentsFile(site.files, site.pages);
        index = pipeline::MakeIndexFile(site.files, site.pages);
        seconds = std::min(seconds, clock.nsecsElapsed() / 1e9);
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpuEnd);
        cpuSeconds = std::min(cpuSeconds, double(cpuEnd.tv_sec - cpuStart.tv_sec) + double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9);
    }
    writeOut(QStringLiteral("python.hhc"), contents.bytes);
    writeOut(QStringLiteral("python.hhk"), index.bytes);
    // Names Python's readers look for: functions, classes, modules, methods.
    const QStringList names{"abspath", "get_key", "os.path", "join", "dataclass", "namedtuple", "asyncio",
                            "TextIOWrapper", "urlopen", "sorted", "defaultdict", "ArgumentParser", "Path", "sub",
                            "lru_cache", "json", "loads", "sqlite3", "Thread", "subprocess", "Popen", "datetime",
                            "strftime", "zipfile", "getattr", "isinstance", "ValueError", "print",
                            // by their full names, as the pages write them or anchor them
                            "os.path.join", "asyncio.Queue.join", "str.join", "collections.OrderedDict.move_to_end",
                            "re.Match.group", "functools.lru_cache", "sys.ps1", "ast.Pass"};
    QStringList missing;
    const double share = testing::findableShare(index.bytes, names, &missing);
    std::printf("Python 3.11 docs: %lld pages; contents %lld topics, index %lld keywords, written in %.3f s "
                "(%.3f s of CPU; target under 0.5 s); findable names %.1f %%%s%s\n",
                static_cast<long long>(site.pages.size()), static_cast<long long>(contents.topics),
                static_cast<long long>(index.keywords), seconds, cpuSeconds, share * 100.0, missing.isEmpty() ? "" : "  missing: ",
                qPrintable(missing.join(QStringLiteral(", "))));
    const testing::IndexFigures figures = testing::indexFigures(index.bytes, contents.bytes, site);
    const QStringList named = testing::otherNamedReferences(contents.bytes + index.bytes);
    qsizetype namedNames = 0; // names that hold one
    for (const QByteArray &bytes : {contents.bytes, index.bytes})
        for (const QByteArray &line : bytes.split('\n'))
            namedNames += line.contains("<param name=\"Name\"") && !testing::otherNamedReferences(line).isEmpty();
    QStringList alikeExamples;
    const qsizetype alike = alikeSubEntries(index.bytes, &alikeExamples);
    std::printf("  %lld keywords with entries alike below them%s%s\n", static_cast<long long>(alike),
                alike ? ", e.g. " : "", qPrintable(alikeExamples.join(QStringLiteral(" | "))));
    std::printf("  keywords only to an index page %lld, sentences %lld (%.1f %%), longest list %lld, broad keywords %lld;\n"
                "  %lld names with named references other than the four (%s)\n  e.g. %s\n",
                static_cast<long long>(figures.toIndexPageOnly), static_cast<long long>(figures.sentences),
                figures.keywords ? 100.0 * double(figures.sentences) / double(figures.keywords) : 0.0,
                static_cast<long long>(figures.longestList), static_cast<long long>(figures.broad),
                static_cast<long long>(namedNames), qPrintable(named.join(QStringLiteral(", "))),
                qPrintable(figures.examples.join(QStringLiteral(" | "))));
    return 0;
}
